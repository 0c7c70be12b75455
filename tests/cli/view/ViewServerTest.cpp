// The live view's server, driven over HTTP as the page drives it: frames,
// controls, refusals, bad requests, a newer request aborting an encode, and
// random requests after which it still serves correct frames.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <nlohmann/json.hpp>
#include <random>

#include "cli/EffectControls.h"
#include "cli/Input.h"
#include "cli/Quality.h"
#include "cli/view/EffectThread.h"
#include "cli/view/ViewServer.h"
#include "host/BuiltInClip.h"
#include "host/Raster.h"
#include "host/World.h"

namespace
{

using CommandLine::EffectThread;
using CommandLine::EffectThreadSetup;
using CommandLine::ViewServer;
using Json = nlohmann::json;

constexpr int Width = 128;
constexpr int Height = 72;

EffectThreadSetup ClipSetup(int width, int height, int frames, int segmentLength)
{
    CommandLine::InputOptions input;
    input.size = {width, height};
    input.duration = frames;
    EffectThreadSetup setup;
    setup.module.modulePath = RUZIRAZU_MODULE_PATH;
    setup.input = CommandLine::OpenInput(input);
    setup.effect.segmentLength = segmentLength;
    return setup;
}

// A running view of a small built-in clip and a client that carries the token.
struct View
{
    explicit View(EffectThreadSetup setup)
        : effect(std::move(setup)), server(effect, {}), client("127.0.0.1", server.Port())
    {
        client.set_read_timeout(60, 0);
    }

    std::string Path(const std::string& path) const
    {
        return path + (path.find('?') == std::string::npos ? "?" : "&") + "token=" + server.Token();
    }
    httplib::Result Get(const std::string& path) { return client.Get(Path(path).c_str()); }
    httplib::Result Post(const std::string& path, const std::string& body)
    {
        return client.Post(Path(path).c_str(), body, "application/json");
    }
    Json State()
    {
        auto result = Get("/api/state");
        EXPECT_EQ(result->status, 200);
        return Json::parse(result->body);
    }
    Json Control(const std::string& name)
    {
        const Json controls = State()["controls"];
        const auto found =
            std::find_if(controls.begin(), controls.end(),
                         [&](const Json& control) { return control["name"] == name; });
        EXPECT_TRUE(found != controls.end()) << "no control " << name;
        return found == controls.end() ? Json{{"position", 0}} : *found;
    }
    httplib::Result Change(const std::string& name, const Json& value, const char* key = "value")
    {
        return Post("/api/control",
                    Json{{"position", Control(name)["position"]}, {key, value}}.dump());
    }

    EffectThread effect;
    ViewServer server;
    httplib::Client client;
};

// The built-in clip's frame, the source pixels: the reference.
EffectHost::World Source(int frame, int frames)
{
    EffectHost::World world(Width, Height);
    EffectHost::BuiltInClip(Width, Height, frames).FrameAt(frame * 1001, 1001, 30000, world);
    return world;
}

std::string Rgba(const EffectHost::World& world)
{
    const EffectHost::Raster raster = EffectHost::RasterFromWorld(world);
    return std::string(raster.Bytes().begin(), raster.Bytes().end());
}

// The PSNR of a frame as the server sends it, RGBA, against the source.
double Psnr(const EffectHost::World& source, const std::string& rgba)
{
    EffectHost::World picture(Width, Height);
    for (int i = 0; i < Width * Height; ++i)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(rgba.data()) + 4 * i;
        picture.At(i % Width, i / Width) = PF_Pixel{p[3], p[0], p[1], p[2]};
    }
    return CommandLine::MeasureQuality(source, picture).PsnrOverall();
}

TEST(ViewFrames, InputIsTheSourceAndThePreviewFollowsTheControlsAsAUserChangesThem)
{
    View view(ClipSetup(Width, Height, 20, 10));
    const EffectHost::World source = Source(3, 20);

    auto input = view.Get("/api/frame?n=3&view=input");
    ASSERT_EQ(input->status, 200);
    EXPECT_EQ(input->get_header_value("X-Frame-Width"), std::to_string(Width));
    EXPECT_EQ(input->get_header_value("X-Frame-Height"), std::to_string(Height));
    EXPECT_TRUE(input->body == Rgba(source)) << "the input view must be the layer's pixels";
    // Asked for RGB, an opaque picture comes without its alpha bytes.
    auto rgb = view.Get("/api/frame?n=3&view=input&pixels=rgb");
    ASSERT_EQ(rgb->status, 200);
    EXPECT_EQ(rgb->get_header_value("X-Frame-Channels"), "3");
    std::string opaque = Rgba(source);
    for (std::size_t i = 0, j = 0; i < opaque.size(); i += 4, j += 3)
    {
        opaque.replace(j, 3, opaque, i, 3);
    }
    opaque.resize(opaque.size() / 4 * 3);
    EXPECT_TRUE(rgb->body == opaque);

    EXPECT_FALSE(view.Control("Rate Factor (0 = Max Quality)")["enabled"].get<bool>());
    ASSERT_EQ(view.Change("Mode", "Constant Rate Factor", "item")->status, 200);
    EXPECT_TRUE(view.Control("Rate Factor (0 = Max Quality)")["enabled"].get<bool>());
    EXPECT_EQ(view.Control("Mode")["value"], 2);
    ASSERT_EQ(view.Change("Rate Factor (0 = Max Quality)", 0)->status, 200);
    auto best = view.Get("/api/frame?n=3");
    ASSERT_EQ(best->status, 200);
    ASSERT_EQ(best->body.size(), 4u * Width * Height);
    // Rate factor 0 keeps the picture but for the 4:2:0 chroma of the clip's
    // sharp coloured edges; an encoded picture is never the input itself.
    const double bestPsnr = Psnr(source, best->body);
    EXPECT_GT(bestPsnr, 30.0);
    EXPECT_TRUE(std::isfinite(bestPsnr));

    const Json state = view.State();
    EXPECT_NE(state["information"].get<std::string>().find("Frame 3 Segment 0"), std::string::npos)
        << state["information"];
    // The whole first segment is stored after one render, and nothing else.
    ASSERT_EQ(state["stored"].size(), 10u) << state["stored"];
    EXPECT_EQ(std::tuple(state["stored"][0][0], state["stored"][0][1], state["stored"][9][0]),
              std::tuple(0, "IDR", 9));

    // A change drops the stored frames; the next render encodes again.
    ASSERT_EQ(view.Change("Rate Factor (0 = Max Quality)", 51)->status, 200);
    EXPECT_TRUE(view.State()["stored"].empty());
    auto worst = view.Get("/api/frame?n=3");
    ASSERT_EQ(worst->status, 200);
    EXPECT_LT(Psnr(source, worst->body), bestPsnr - 8.0) << bestPsnr;

    // A preset sets Mode and Target Bitrate as the effect decides.
    ASSERT_EQ(view.Change("Presets", "Vimeo", "item")->status, 200);
    EXPECT_EQ(view.Control("Mode")["text"], "Average Bitrate");
    EXPECT_NE(view.Control("Target Bitrate (Kbps)")["value"], 1500.0);

    // The host refuses a value outside the range, naming it.
    auto refused = view.Change("Rate Factor (0 = Max Quality)", 52);
    EXPECT_EQ(refused->status, 400);
    EXPECT_NE(refused->body.find("51"), std::string::npos) << refused->body;
    EXPECT_EQ(view.Change("Mode", "Lossless", "item")->status, 400);

    // The effect's own drawing of its panel areas.
    auto information = view.Get("/api/area?name=information");
    ASSERT_EQ(information->status, 200);
    const int width = std::stoi(information->get_header_value("X-Frame-Width"));
    const int height = std::stoi(information->get_header_value("X-Frame-Height"));
    EXPECT_EQ(height, 75);
    EXPECT_EQ(information->body.size(), static_cast<std::size_t>(width) * height * 4);
}

// The page reads the next stored frames ahead of the user: such a request is
// served from the store, encodes nothing, and leaves the current frame (and
// the Information text) alone until the page shows the frame.
TEST(ViewFrames, AFrameReadAheadComesOnlyFromTheStoreAndLeavesTheCurrentFrame)
{
    View view(ClipSetup(Width, Height, 20, 10));
    EXPECT_EQ(view.Get("/api/frame?n=12&ahead=1")->status, 409);
    EXPECT_EQ(view.Get("/api/frame?n=12&ahead=2")->status, 400);
    ASSERT_EQ(view.Get("/api/frame?n=2")->status, 200);
    auto ahead = view.Get("/api/frame?n=3&ahead=1");
    ASSERT_EQ(ahead->status, 200);
    Json state = view.State();
    EXPECT_EQ(state["stored"].size(), 10u) << "reading ahead must not encode";
    EXPECT_NE(state["information"].get<std::string>().find("Frame 2 Segment 0"), std::string::npos)
        << state["information"];

    ASSERT_EQ(view.Post("/api/current?n=3", "{}")->status, 200);
    state = view.State();
    EXPECT_NE(state["information"].get<std::string>().find("Frame 3 Segment 0"), std::string::npos)
        << state["information"];
    EXPECT_TRUE(view.Get("/api/frame?n=3")->body == ahead->body);
}

TEST(ViewRequests, RefusedWithoutTheTokenOrForAnotherHostAndBadValuesWithAMessage)
{
    View view(ClipSetup(Width, Height, 4, 4));
    httplib::Client& client = view.client;
    EXPECT_EQ(client.Get("/api/state")->status, 403);
    EXPECT_EQ(client.Get("/")->status, 403);
    EXPECT_EQ(client.Get("/api/state?token=0123")->status, 403);
    std::string wrong = view.server.Token();
    wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
    EXPECT_EQ(client.Get(("/api/frame?n=0&token=" + wrong).c_str())->status, 403);

    // DNS rebinding: the right token, but a page of another site's name.
    auto rebound = client.Get(view.Path("/api/state").c_str(),
                              {{"Host", "attacker.example:" + std::to_string(view.server.Port())}});
    EXPECT_EQ(rebound->status, 403);
    auto foreign = client.Post(view.Path("/api/cancel").c_str(),
                               {{"Origin", "http://evil.example"}}, "{}", "application/json");
    EXPECT_EQ(foreign->status, 403);

    // The first load sets the cookie that every later request carries.
    auto page = view.Get("/");
    ASSERT_EQ(page->status, 200);
    const std::string cookie = page->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find(view.server.Token()), std::string::npos);
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    const std::string pair = cookie.substr(0, cookie.find(';'));
    EXPECT_EQ(client.Get("/api/state", {{"Cookie", "other=1; " + pair}})->status, 200);
    EXPECT_EQ(client.Get("/view.js", {{"Cookie", pair}})->status, 200);

    // Bad values get a message and 400.
    for (const char* path :
         {"/api/frame", "/api/frame?n=-1", "/api/frame?n=4", "/api/frame?n=1x",
          "/api/frame?n=99999999999999999999", "/api/frame?n=1&view=both",
          "/api/frame?n=1&pixels=bgr", "/api/frame?n=1&n=2", "/api/frame?n=1&file=/etc/passwd",
          "/api/state?after=x", "/api/area?name=../etc", "/?x=1"})
    {
        auto result = view.Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 400) << path;
        EXPECT_FALSE(Json::parse(result->body)["error"].get<std::string>().empty()) << path;
    }
    for (const char* body :
         {"", "[]", "{", R"({"position":1})", R"({"position":0,"value":1})",
          R"({"position":5,"value":"x"})", R"({"position":5,"value":1e999})",
          R"({"position":5,"value":1,"item":"a"})", R"({"position":500,"value":1})",
          R"({"position":5,"press":false})", R"({"position":5,"path":"x"})"})
    {
        auto result = view.Post("/api/control", body);
        ASSERT_TRUE(result) << body;
        EXPECT_EQ(result->status, 400) << body;
    }
    auto large = view.Post("/api/control", std::string(10000, ' '));
    EXPECT_EQ(large->status, 413);
    EXPECT_EQ(view.Get("/files/clip.mp4")->status, 404);
}

TEST(ViewScheduling, ANewerFrameInAnotherSegmentAbortsTheEncode)
{
    // Long enough a segment that the encode is still running when the newer
    // request comes.
    View view(ClipSetup(640, 360, 120, 60));
    httplib::Client other("127.0.0.1", view.server.Port());
    other.set_read_timeout(60, 0);
    auto first = std::async(std::launch::async,
                            [&] { return other.Get(view.Path("/api/frame?n=1").c_str()); });
    // Waits for the first progress report of the encode.
    std::uint64_t generation = 0;
    for (;;)
    {
        const Json state =
            Json::parse(view.Get("/api/state?after=" + std::to_string(generation))->body);
        generation = state["generation"];
        if (state["progress"]["encoding"].get<bool>())
        {
            break;
        }
        ASSERT_NE(first.wait_for(std::chrono::seconds(0)), std::future_status::ready)
            << "the encode ended before it was seen";
    }
    auto second = view.Get("/api/frame?n=70");
    auto aborted = first.get();
    EXPECT_EQ(aborted->status, 409);
    EXPECT_NE(aborted->body.find("cancelled"), std::string::npos) << aborted->body;
    EXPECT_EQ(second->status, 200);

    const Json stored = view.State()["stored"];
    const auto inFirstSegment =
        std::count_if(stored.begin(), stored.end(), [](const Json& s) { return s[0] < 60; });
    EXPECT_LT(inFirstSegment, 60) << "the aborted segment was encoded whole";
    EXPECT_EQ(stored.size() - inFirstSegment, 60u) << "the newer segment must be stored whole";
}

TEST(ViewRequests, RandomRequestsLeaveTheServerServingCorrectFrames)
{
    View view(ClipSetup(Width, Height, 8, 4));
    std::mt19937 random(1234);
    const auto pick = [&](const std::vector<std::string>& from)
    { return from[random() % from.size()]; };
    const std::vector<std::string> paths{
        "/",         "/view.js",     "/view.css",   "/api/state",         "/api/frame",
        "/api/area", "/api/control", "/api/cancel", "/api/../etc/passwd", "//api/frame"};
    const std::vector<std::string> names{"n", "view", "name", "after", "token", "position", ""};
    const std::vector<std::string> values{
        "0",     "1",           "7",   "8",      "-3",  "input", "output",
        "about", "information", "%00", "%ff%fe", "1e9", "",      std::string(300, 'x')};
    // clang-format off
    const std::vector<std::string> bodies{"{}", "null", R"({"position":2,"value":12})",
        R"({"position":4,"item":"Average Bitrate"})", R"({"position":3,"item":"Vimeo"})",
        R"({"position":8,"value":true})", "\xff\xfe{", R"({"position":2,"value":-1})",
        std::string(3000, '{')};
    // clang-format on
    for (int sent = 0; sent < 400; ++sent)
    {
        std::string path = pick(paths);
        const int count = static_cast<int>(random() % 4);
        for (int i = 0; i < count; ++i)
        {
            path += (i == 0 ? "?" : "&") + pick(names) + "=" + pick(values);
        }
        if (random() % 5 != 0)
        {
            path += std::string(count == 0 ? "?" : "&") + "token=" + view.server.Token();
        }
        httplib::Headers headers{
            {"Host", random() % 8 == 0 ? "elsewhere:1" : view.server.HostHeader()}};
        if (random() % 6 == 0)
        {
            headers.emplace("Cookie", std::string(random() % 2000, ';'));
        }
        httplib::Client client("127.0.0.1", view.server.Port());
        client.set_read_timeout(30, 0);
        auto result = random() % 2 == 0
                          ? client.Get(path, headers)
                          : client.Post(path, headers, pick(bodies), "application/json");
        ASSERT_TRUE(result) << "no answer to " << path.substr(0, 200);
        EXPECT_LT(result->status, 500) << path.substr(0, 200) << ": " << result->body;
    }
    // Bytes that are not HTTP at all.
    for (int i = 0; i < 50; ++i)
    {
        std::string junk(random() % 600, '\0');
        std::generate(junk.begin(), junk.end(), [&] { return static_cast<char>(random()); });
        httplib::Client("127.0.0.1", view.server.Port()).Get("/" + junk);
    }

    auto input = view.Get("/api/frame?n=5&view=input");
    ASSERT_EQ(input->status, 200);
    EXPECT_TRUE(input->body == Rgba(Source(5, 8)));
    auto output = view.Get("/api/frame?n=5");
    ASSERT_EQ(output->status, 200);
    EXPECT_GT(Psnr(Source(5, 8), output->body), 25.0);
}

} // namespace
