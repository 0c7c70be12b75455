// ruzirazu preview on real video files, run as a user runs it: the files are
// made at test time with libavformat/libavcodec, the command is the built
// one, and what it leaves in its output folder is read back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Json.h"
#include "cli/Quality.h"
#include "host/Raster.h"
#include "tests/host/VideoFiles.h"

using CommandLine::Json;
using EffectHost::World;
namespace fs = std::filesystem;

namespace
{

struct Outcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

fs::path Scratch()
{
    const char* temp = std::getenv("TEMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const auto folder = fs::path(temp ? temp : "/tmp") / ("video-preview-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// Runs the built command in `folder` with the arguments (already quoted for
// the shell); standard output and error are kept beside, not in, the folder.
Outcome Preview(const fs::path& folder, const std::string& arguments)
{
    const fs::path out = folder.string() + ".out";
    const fs::path err = folder.string() + ".err";
    const std::string command = "cd '" + folder.string() + "' && " +
                                std::string(RUZIRAZU_BINARY_DIR) + "/bin/ruzirazu preview " +
                                arguments + " >'" + out.string() + "' 2>'" + err.string() +
                                "' </dev/null";
    const int status = std::system(command.c_str());
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    return outcome;
}

World ReadPicture(const fs::path& path)
{
    const EffectHost::Raster raster = EffectHost::ReadPng(path.string());
    World world(raster.Width(), raster.Height());
    for (int y = 0; y < raster.Height(); ++y)
    {
        for (int x = 0; x < raster.Width(); ++x)
        {
            const EffectHost::Rgba p = raster.At(x, y);
            world.At(x, y) = PF_Pixel{p.alpha, p.red, p.green, p.blue};
        }
    }
    return world;
}

std::string FrameName(const char* prefix, int frame)
{
    char name[40];
    std::snprintf(name, sizeof name, "%s_%05d.png", prefix, frame);
    return name;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line))
    {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    if (fs::exists(folder))
    {
        for (const auto& entry : fs::directory_iterator(folder))
        {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The small odd-sized 29.97 clip of these tests, or a skip when Debian's
// libavcodec lacks the encoder.
#define MAKE_CLIP(folder, file, encoderName, frameCount)                                           \
    VideoFiles::VideoSpec spec;                                                                    \
    spec.path = ((folder) / (file)).string();                                                      \
    spec.encoder = (encoderName);                                                                  \
    spec.frames = (frameCount);                                                                    \
    spec.bFrames = spec.encoder == "mpeg4" && fs::path(file).extension() == ".mp4" ? 2 : 0;        \
    if (!VideoFiles::HasEncoder(spec.encoder))                                                     \
    {                                                                                              \
        GTEST_SKIP() << "libavcodec has no " << spec.encoder << " encoder";                        \
    }                                                                                              \
    VideoFiles::WriteVideo(spec)

struct Container
{
    const char* name;
    const char* file;
    const char* encoder;
};

class OddSizedClip : public ::testing::TestWithParam<Container>
{
};

} // namespace

// ------------------------------------------------------------ end to end

TEST_P(OddSizedClip, PreviewsEveryFrameWithComparisonsAndAReport)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, GetParam().file, GetParam().encoder, 24);
    const Outcome outcome =
        Preview(folder, std::string("-i ") + GetParam().file + " -o out --compare --segment 10");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("24 frames at 30000/1001"), std::string::npos) << outcome.out;

    const fs::path out = folder / "out";
    const Json report = Json::parse(ReadFile(out / "report.json"));
    const Json& input = report.at("input");
    EXPECT_EQ(input.at("kind"), "video file");
    EXPECT_EQ(input.at("frameRate"), "30000/1001");
    EXPECT_EQ(input.at("frames"), 24);
    EXPECT_EQ(input.at("width"), 161);
    EXPECT_EQ(input.at("height"), 91);

    const std::vector<std::string> csv = Lines(ReadFile(out / "report.csv"));
    ASSERT_EQ(csv.size(), 25u);
    for (int frame = 0; frame < 24; ++frame)
    {
        std::istringstream row(csv[frame + 1]);
        std::vector<std::string> fields;
        std::string field;
        while (std::getline(row, field, ','))
        {
            fields.push_back(field);
        }
        ASSERT_EQ(fields.size(), 9u) << csv[frame + 1];
        EXPECT_EQ(std::stoi(fields[0]), frame);
        EXPECT_EQ(std::stoi(fields[1]), frame / 10);
        EXPECT_FALSE(fields[2].empty());
        EXPECT_GT(std::stoull(fields[3]), 0u);
        // The effect encodes 160 x 90 and scales back to 161 x 91, which
        // costs this sharp picture some detail (25 to 35 dB measured); a
        // neighbouring frame or swapped channels measure below 16 dB.
        const double psnrY = std::stod(fields[7]);
        EXPECT_GT(psnrY, 20.0) << csv[frame + 1];
        EXPECT_LT(psnrY, 60.0) << csv[frame + 1];

        const World compare = ReadPicture(out / FrameName("compare", frame));
        EXPECT_EQ(compare.Width(), 2 * 161);
        EXPECT_EQ(compare.Height(), 91);
        EXPECT_TRUE(fs::exists(out / FrameName("frame", frame)));
    }
    EXPECT_TRUE(fs::exists(out / "sizes.svg"));
    // A sound file is not called damaged.
    EXPECT_EQ(outcome.err.find("warning"), std::string::npos) << outcome.err;
}

TEST_P(OddSizedClip, ThePreviewOfFrameNIsFrameNOfTheFile)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, GetParam().file, GetParam().encoder, 24);
    const Outcome outcome = Preview(folder, std::string("-i ") + GetParam().file + " -o out");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    for (int frame = 0; frame < 24; ++frame)
    {
        const World preview = ReadPicture(folder / "out" / FrameName("frame", frame));
        ASSERT_EQ(preview.Width(), 161);
        const auto errorAgainst = [&](int other)
        {
            return CommandLine::MeasureQuality(VideoFiles::TestPicture(other, 161, 91), preview)
                .mseOverall;
        };
        const double own = errorAgainst(frame);
        if (frame > 0)
        {
            EXPECT_LT(own, errorAgainst(frame - 1)) << "frame " << frame;
        }
        if (frame < 23)
        {
            EXPECT_LT(own, errorAgainst(frame + 1)) << "frame " << frame;
        }
        EXPECT_EQ(VideoFiles::ReadFrameNumber(preview), frame);
    }
}

INSTANTIATE_TEST_SUITE_P(VideoPreview, OddSizedClip,
                         ::testing::Values(Container{"Mp4", "clip.mp4", "mpeg4"},
                                           Container{"Mkv", "clip.mkv", "mpeg4"}),
                         [](const ::testing::TestParamInfo<Container>& info)
                         { return std::string(info.param.name); });

TEST(VideoPreview, AFrameRangeGivesOneReportRowPerRenderedFrame)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, "clip.mkv", "ffv1", 30);
    const Outcome outcome =
        Preview(folder, "-i clip.mkv -o out --frames 12-20 --mode crf --crf 20");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const Json report = Json::parse(ReadFile(folder / "out" / "report.json"));
    const Json& frames = report.at("frames");
    ASSERT_EQ(frames.size(), 9u);
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        EXPECT_EQ(frames[i].at("frame"), 12 + i);
    }
    EXPECT_EQ(report.at("summary").at("frames"), 9);
    EXPECT_EQ(report.at("summary").at("segments"), 2); // 0-14, 15-29
    EXPECT_TRUE(report.at("summary").at("effect").at("targetBitrateKbps").is_null());
    EXPECT_FALSE(fs::exists(folder / "out" / "compare_00012.png"));
}

TEST(VideoPreview, APhoneClipIsPreviewedTheWayUpPlayersShowIt)
{
    // A landscape sensor's pictures with the matrix a phone held upright
    // writes: players turn them a quarter clockwise.
    const fs::path folder = Scratch();
    VideoFiles::VideoSpec spec;
    spec.path = (folder / "phone.mov").string();
    spec.encoder = "ffv1";
    spec.width = 160;
    spec.height = 90;
    spec.frames = 2;
    spec.turn = {0, 1, -1, 0};
    if (!VideoFiles::HasEncoder(spec.encoder))
    {
        GTEST_SKIP() << "libavcodec has no ffv1 encoder";
    }
    VideoFiles::WriteVideo(spec);

    const Outcome outcome = Preview(folder, "-i phone.mov -o out --mode crf --crf 0");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("90 x 160, 2 frames at 30000/1001, rotated 90° clockwise"),
              std::string::npos)
        << outcome.out;
    const Json report = Json::parse(ReadFile(folder / "out" / "report.json"));
    EXPECT_EQ(report.at("input").at("orientation"), "rotated 90° clockwise");

    const World preview = ReadPicture(folder / "out" / FrameName("frame", 1));
    ASSERT_EQ(preview.Width(), 90);
    ASSERT_EQ(preview.Height(), 160);
    const World stored = VideoFiles::TestPicture(1, 160, 90);
    World turned(90, 160);
    for (int y = 0; y < 160; ++y)
    {
        for (int x = 0; x < 90; ++x)
        {
            turned.At(x, y) = stored.At(y, 89 - x);
        }
    }
    // Lossless, so only 4:2:0 at the picture's sharp edges differs.
    EXPECT_GT(CommandLine::MeasureQuality(turned, preview).PsnrLuma(), 40.0);
}

TEST(VideoPreview, TheStreamOnStandardOutputHoldsEveryFrameAndNothingElse)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, "clip.mkv", "ffv1", 12);
    const Outcome outcome = Preview(folder, "-i clip.mkv -o out --y4m -");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out.rfind("YUV4MPEG2 W161 H91 F30000:1001 ", 0), 0u);
    const std::size_t frameBytes = 161 * 91 + 2 * 81 * 46;
    const std::size_t header = outcome.out.find('\n') + 1;
    EXPECT_EQ(outcome.out.size(), header + 12 * (6 + frameBytes));
    EXPECT_NE(outcome.err.find("Rendered 12 frames"), std::string::npos) << outcome.err;
}

TEST(VideoPreview, SavedSettingsComeBackAndTheCommandLineChangesThemFurther)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, "clip.mkv", "ffv1", 4);
    const Outcome first =
        Preview(folder, "-i clip.mkv -o first --preset manual --mode crf --crf 30 "
                        "--segment 4 --keyint 7 --save-project look.json");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const Outcome second = Preview(folder, "-i clip.mkv -o second --project look.json");
    ASSERT_EQ(second.exitCode, 0) << second.err;
    const Outcome third = Preview(folder, "-i clip.mkv -o third --project look.json --crf 20");
    ASSERT_EQ(third.exitCode, 0) << third.err;

    const auto settingsOf = [&](const char* run)
    { return Json::parse(ReadFile(folder / run / "report.json")).at("settings"); };
    EXPECT_EQ(settingsOf("second"), settingsOf("first"));
    EXPECT_NE(settingsOf("third"), settingsOf("first"));
    for (const Json& setting : settingsOf("third"))
    {
        const Json& name = setting.at("name");
        if (name == "Rate Factor")
        {
            EXPECT_EQ(setting.at("value"), 20);
        }
        if (name == "Key Frame Interval")
        {
            EXPECT_EQ(setting.at("value"), 7);
        }
    }
}

// ------------------------------------------------------------ bad input

struct BadInput
{
    const char* name;
    const char* arguments;
    int exitCode;
    const char* words; // what the one line on stderr must say
};

class RefusedRun : public ::testing::TestWithParam<BadInput>
{
};

TEST_P(RefusedRun, SaysWhatIsWrongInOneLineAndLeavesNothingBehind)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, "clip.mkv", "ffv1", 6);
    std::ofstream(folder / "empty.mp4").close();
    std::ofstream(folder / "notes.mp4") << "not a video\n";
    std::ofstream(folder / "taken") << "a file where the output folder should go\n";
    std::ofstream(folder / "broken.json") << "{\"effect\": ";
    const std::vector<std::string> before = Names(folder);

    const BadInput& bad = GetParam();
    const Outcome outcome = Preview(folder, bad.arguments);
    EXPECT_EQ(outcome.exitCode, bad.exitCode) << outcome.err;
    const std::vector<std::string> lines = Lines(outcome.err);
    ASSERT_EQ(lines.size(), 1u) << outcome.err;
    EXPECT_EQ(lines[0].rfind("ruzirazu: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(bad.words), std::string::npos) << lines[0];
    EXPECT_TRUE(outcome.out.empty()) << outcome.out;
    EXPECT_EQ(Names(folder), before) << "the run left files behind";
}

INSTANTIATE_TEST_SUITE_P(
    VideoPreview, RefusedRun,
    ::testing::Values(
        BadInput{"MissingFile", "-i absent.mp4 -o out", 1, "does not exist"},
        BadInput{"EmptyFile", "-i empty.mp4 -o out", 1, "is empty"},
        BadInput{"UnsupportedFile", "-i notes.mp4 -o out", 1, "not a video file"},
        BadInput{"PatternMatchingNothing", "-i 'shots/f_%04d.png' -o out", 2, "shots/f_%04d.png"},
        BadInput{"FramesOutsideTheLayer", "-i clip.mkv -o out --frames 3-6", 2, "0-5"},
        BadInput{"UnknownPreset", "-i clip.mkv -o out --preset netflix", 2, "netflix"},
        BadInput{"UnknownMode", "-i clip.mkv -o out --mode vbr", 2, "vbr"},
        BadInput{"NumberOutsideItsRange", "-i clip.mkv -o out --crf 99", 2, "51"},
        BadInput{"SizeOfAVideo", "-i clip.mkv -o out --size 64x64", 2, "--size"},
        BadInput{"OutputFolderIsAFile", "-i clip.mkv -o taken", 1, "taken"},
        BadInput{"MissingProject", "-i clip.mkv -o out --project none.json", 1, "none.json"},
        BadInput{"BrokenProject", "-i clip.mkv -o out --project broken.json", 1, "line 1"},
        BadInput{"StreamIntoAMissingFolder", "-i clip.mkv -o out --y4m no/such.y4m", 1,
                 "no/such.y4m"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(VideoPreview, AFileCutShortFailsAtTheCutKeepingTheFramesBefore)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, "clip.mkv", "mpeg4", 60);
    fs::resize_file(spec.path, fs::file_size(spec.path) / 2);
    const Outcome outcome = Preview(folder, "-i clip.mkv -o out --segment 5 --mode crf");
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err;
    const std::vector<std::string> lines = Lines(outcome.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("declares 60 frames"), std::string::npos) << lines.back();
    // Every frame written before the cut is whole; no report describes half a run.
    const std::vector<std::string> names = Names(folder / "out");
    ASSERT_FALSE(names.empty());
    for (const std::string& name : names)
    {
        if (name == ".ruzirazu-outputs") // the list of what the run wrote
        {
            continue;
        }
        ASSERT_EQ(name.rfind("frame_", 0), 0u) << name;
        EXPECT_EQ(ReadPicture(folder / "out" / name).Width(), 161) << name;
    }
}

TEST(VideoPreview, ADamagedFileSaysOnceWhichFramesDecodedWithErrorsAndSucceeds)
{
    const fs::path folder = Scratch();
    MAKE_CLIP(folder, "clip.mp4", "mpeg4", 60);
    // A stretch in the middle of the pictures overwritten, as a bad copy
    // does; the container's index stays whole.
    const auto size = static_cast<std::streamoff>(fs::file_size(spec.path));
    {
        std::fstream file(spec.path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(size / 2);
        std::uint32_t noise = 12345;
        for (std::streamoff i = 0; i < size / 8; ++i)
        {
            noise = noise * 1664525u + 1013904223u;
            file.put(static_cast<char>(noise >> 24));
        }
    }
    const Outcome outcome = Preview(folder, "-i clip.mp4 -o out --segment 30 --mode crf");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::string said = "clip.mp4 is damaged: libavcodec reported decoding errors at frame";
    const std::size_t at = outcome.err.find(said);
    ASSERT_NE(at, std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find(said, at + 1), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("ruzirazu: warning: ", at), outcome.err.rfind('\n', at) + 1);
    // The frames it names lie in the damaged part, not at the start.
    const std::string frames = outcome.err.substr(at + said.size());
    EXPECT_NE(frames.find_first_of("123456789"), std::string::npos) << frames;
    EXPECT_NE(frames.rfind("s 0", 0), 0u) << frames;
    EXPECT_EQ(Names(folder / "out").size(), 60u + 4u); // frames, reports, record
}
