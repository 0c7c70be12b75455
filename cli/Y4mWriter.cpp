#include "cli/Y4mWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

namespace CommandLine
{

namespace
{

std::uint8_t Clamp(double value)
{
    return static_cast<std::uint8_t>(std::lround(std::fmin(std::fmax(value, 0.0), 255.0)));
}

} // namespace

void Y4mWriter::CloseFile::operator()(std::FILE* file) const noexcept
{
    if (file != stdout)
    {
        std::fclose(file);
    }
}

Y4mWriter::Y4mWriter(const std::string& target, int width, int height, std::uint32_t rateNum,
                     std::uint32_t rateDen)
    : width_(width), height_(height), toStandardOutput_(target == "-")
{
    if (width <= 0 || height <= 0 || rateNum == 0 || rateDen == 0)
    {
        throw std::invalid_argument("A YUV4MPEG2 stream needs a size and a frame rate");
    }
    if (toStandardOutput_)
    {
        file_.reset(stdout);
    }
    else if (std::error_code error; std::filesystem::exists(target, error) &&
                                    !std::filesystem::is_regular_file(target, error))
    {
        // A named pipe or a device: written straight, never replaced.
        path_ = target;
        file_.reset(std::fopen(path_.c_str(), "wb"));
        if (!file_)
        {
            throw std::runtime_error("Cannot write \"" + target + "\": " + std::strerror(errno));
        }
    }
    else
    {
        path_ = target;
        temporary_ = path_.parent_path() /
                     fmt::format(".{}.partial-{}", path_.filename().string(), ::getpid());
        file_.reset(std::fopen(temporary_.c_str(), "wb"));
        if (!file_)
        {
            throw std::runtime_error("Cannot write \"" + target + "\": " + std::strerror(errno));
        }
    }
    const std::string header = Header(width, height, rateNum, rateDen);
    Put(header.data(), header.size());
}

Y4mWriter::~Y4mWriter()
{
    if (!temporary_.empty() && file_)
    {
        // Not finished: the stream is incomplete and must not stay.
        file_.reset();
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

std::string Y4mWriter::Header(int width, int height, std::uint32_t rateNum, std::uint32_t rateDen)
{
    return fmt::format("YUV4MPEG2 W{} H{} F{}:{} Ip A1:1 C420jpeg XYSCSS=420JPEG "
                       "XCOLORRANGE=LIMITED\n",
                       width, height, rateNum, rateDen);
}

std::vector<std::uint8_t> Y4mWriter::FramePlanes(const EffectHost::World& frame)
{
    const int width = frame.Width();
    const int height = frame.Height();
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    std::vector<std::uint8_t> planes(static_cast<std::size_t>(width) * height +
                                     2 * static_cast<std::size_t>(chromaWidth) * chromaHeight);
    std::uint8_t* luma = planes.data();
    std::uint8_t* blue = luma + static_cast<std::size_t>(width) * height;
    std::uint8_t* red = blue + static_cast<std::size_t>(chromaWidth) * chromaHeight;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const PF_Pixel& p = frame.At(x, y);
            luma[static_cast<std::size_t>(y) * width + x] =
                Clamp(16.0 + (65.481 * p.red + 128.553 * p.green + 24.966 * p.blue) / 255.0);
        }
    }
    for (int cy = 0; cy < chromaHeight; ++cy)
    {
        for (int cx = 0; cx < chromaWidth; ++cx)
        {
            double r = 0, g = 0, b = 0;
            int count = 0;
            for (int y = 2 * cy; y < std::min(2 * cy + 2, height); ++y)
            {
                for (int x = 2 * cx; x < std::min(2 * cx + 2, width); ++x)
                {
                    const PF_Pixel& p = frame.At(x, y);
                    r += p.red;
                    g += p.green;
                    b += p.blue;
                    ++count;
                }
            }
            r /= count;
            g /= count;
            b /= count;
            const std::size_t at = static_cast<std::size_t>(cy) * chromaWidth + cx;
            blue[at] = Clamp(128.0 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0);
            red[at] = Clamp(128.0 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0);
        }
    }
    return planes;
}

void Y4mWriter::Put(const void* data, std::size_t size)
{
    if (std::fwrite(data, 1, size, file_.get()) != size)
    {
        throw std::runtime_error(
            "Cannot write the YUV4MPEG2 stream to " +
            (toStandardOutput_ ? std::string("standard output") : "\"" + path_.string() + "\"") +
            ": " + std::strerror(errno));
    }
}

void Y4mWriter::Write(const EffectHost::World& frame)
{
    if (frame.Width() != width_ || frame.Height() != height_)
    {
        throw std::invalid_argument("Every frame of a YUV4MPEG2 stream has the stream's size");
    }
    static const char marker[] = "FRAME\n";
    Put(marker, sizeof marker - 1);
    planes_ = FramePlanes(frame);
    Put(planes_.data(), planes_.size());
}

void Y4mWriter::Finish()
{
    if (std::fflush(file_.get()) != 0)
    {
        throw std::runtime_error("Cannot write the YUV4MPEG2 stream: " +
                                 std::string(std::strerror(errno)));
    }
    if (temporary_.empty())
    {
        return;
    }
    file_.reset();
    std::error_code error;
    std::filesystem::rename(temporary_, path_, error);
    if (error)
    {
        std::filesystem::remove(temporary_, error);
        throw std::runtime_error("Cannot write \"" + path_.string() + "\": " + error.message());
    }
}

} // namespace CommandLine
