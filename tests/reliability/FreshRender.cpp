// Renders one frame with a freshly loaded effect, in a process of its own, so
// that the sequence test can compare what a long-lived effect shows with what
// a new one makes of the same input, controls and size.
//
//   reliability_fresh_render REQUEST OUTPUT
//
// REQUEST holds lines: "layer W H", "edit ..." (see ScriptedLayer),
// "time SCALE STEP TOTAL", "downsample N", "frame F", "output W H" and
// "control POSITION VALUE" (applied in the order given). OUTPUT receives the
// output world's pixels, W * H * 4 bytes of ARGB, rows without padding.
// Exit status: 0 rendered, 3 the render failed (reason on stderr), 4 a
// control did not take the value asked for, 2 a bad request.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/Host.h"
#include "tests/reliability/ControlValues.h"
#include "tests/reliability/ScriptedLayer.h"

namespace
{

struct Request
{
    std::shared_ptr<Reliability::ScriptedLayer> layer;
    EffectHost::TimeSettings time;
    int downsample = 1;
    A_long frame = 0;
    A_long outputWidth = 0;
    A_long outputHeight = 0;
    std::vector<std::pair<int, double>> controls;
};

Request ReadRequest(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
    {
        throw std::runtime_error("cannot read " + path);
    }
    Request request;
    std::string line;
    while (std::getline(file, line))
    {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "layer")
        {
            A_long width = 0;
            A_long height = 0;
            in >> width >> height;
            request.layer = std::make_shared<Reliability::ScriptedLayer>(width, height);
        }
        else if (word == "edit" && request.layer)
        {
            request.layer->AddEditLine(in);
        }
        else if (word == "time")
        {
            in >> request.time.timeScale >> request.time.timeStep >> request.time.totalTime;
        }
        else if (word == "downsample")
        {
            in >> request.downsample;
        }
        else if (word == "frame")
        {
            in >> request.frame;
        }
        else if (word == "output")
        {
            in >> request.outputWidth >> request.outputHeight;
        }
        else if (word == "control")
        {
            int position = 0;
            double value = 0;
            in >> position >> value;
            request.controls.emplace_back(position, value);
        }
        else if (!word.empty())
        {
            throw std::runtime_error("unknown request line: " + line);
        }
        if (!in && !word.empty())
        {
            throw std::runtime_error("bad request line: " + line);
        }
    }
    if (!request.layer || request.outputWidth <= 0 || request.outputHeight <= 0)
    {
        throw std::runtime_error("the request names no layer or output size");
    }
    return request;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::cerr << "usage: reliability_fresh_render REQUEST OUTPUT\n";
        return 2;
    }
    Request request;
    try
    {
        request = ReadRequest(argv[1]);
    }
    catch (const std::exception& error)
    {
        std::cerr << error.what() << '\n';
        return 2;
    }

    EffectHost::Host host;
    host.LoadModule(RUZIRAZU_MODULE_PATH);
    const EffectHost::CommandResult setup = host.GlobalSetup();
    if (!setup.Succeeded() || !host.ParamsSetup().Succeeded())
    {
        std::cerr << "set-up failed: " << setup.error << ' ' << setup.errorMessage << '\n';
        return 3;
    }
    host.SetLayerSource(request.layer);
    host.SetTime(request.time);
    host.SetDownsample(request.downsample);
    for (const auto& [position, value] : request.controls)
    {
        host.ChangeParameter(position, value);
    }
    for (const auto& [position, value] : request.controls)
    {
        if (Reliability::ControlValue(host, position) != value)
        {
            std::cerr << "control " << position << " is "
                      << Reliability::ControlValue(host, position) << ", not " << value << '\n';
            return 4;
        }
    }

    EffectHost::World output(request.outputWidth, request.outputHeight);
    const EffectHost::CommandResult result = host.RenderFrame(request.frame, output);
    if (!result.Succeeded())
    {
        std::cerr << "render failed: " << result.error << ' ' << result.errorMessage << '\n';
        return 3;
    }
    const std::vector<std::uint8_t> bytes = Reliability::PixelBytes(output);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 3;
}
