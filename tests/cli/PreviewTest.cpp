// `ruzirazu preview` run as a user runs it, with the real module and x264,
// on the built-in clip, image sequences and video files made at test time.
// What it leaves is judged against the input's own pixels.
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <regex>
#include <tuple>

#include "cli/Json.h"
#include "cli/Quality.h"
#include "host/BuiltInClip.h"
#include "host/VideoSource.h"
#include "tests/cli/CliTest.h"
#include "tests/host/VideoFiles.h"

using namespace CliTest;
using CommandLine::Json;
using CommandLine::MeasureQuality;
using EffectHost::World;

namespace
{

// `ruzirazu preview` with its standard error on a pseudo-terminal that the
// test reads as it comes: once the test stops reading, the redrawn progress
// bar fills the terminal and the command waits where it stands.
class TerminalRun
{
  public:
    TerminalRun(const fs::path& folder, const std::string& arguments)
    {
        const std::string command = "cd '" + folder.string() + "' && TEMP='" +
                                    (folder / "temp").string() + "' exec " + RUZIRAZU_BINARY_DIR +
                                    "/bin/ruzirazu preview " + arguments + " >stdout </dev/null";
        pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
        if (pid_ == 0)
        {
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        }
    }
    ~TerminalRun()
    {
        if (pid_ > 0)
        {
            Wait();
        }
        close(terminal_);
    }
    // Reads until `text` has appeared or the terminal closes.
    bool ReadUntil(const std::string& text)
    {
        while (err_.find(text) == std::string::npos && ReadSome())
        {
        }
        return err_.find(text) != std::string::npos;
    }
    void Signal(int signal) const { kill(pid_, signal); }
    // Reads to the end and returns the exit code.
    int Wait()
    {
        while (ReadSome())
        {
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    const std::string& Err() const noexcept { return err_; }

  private:
    bool ReadSome()
    {
        char buffer[512];
        const ssize_t got = read(terminal_, buffer, sizeof buffer);
        err_.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        return got > 0;
    }

    pid_t pid_ = -1;
    int terminal_ = -1;
    std::string err_;
};

std::set<std::string> FrameNames(int first, int last, const char* prefix = "frame")
{
    std::set<std::string> names;
    for (int frame = first; frame <= last; ++frame)
    {
        names.insert(FrameName(prefix, frame));
    }
    return names;
}

Json ReportOf(const fs::path& folder)
{
    return Json::parse(ReadFile(folder / "report.json"));
}

// Writes a small odd-sized 29.97 clip of the test pictures.
VideoFiles::VideoSpec WriteClip(const fs::path& path, const std::string& encoder, int frames)
{
    VideoFiles::VideoSpec spec;
    spec.path = path.string();
    spec.encoder = encoder;
    spec.frames = frames;
    spec.bFrames = encoder == "mpeg4" && path.extension() == ".mp4" ? 2 : 0;
    VideoFiles::WriteVideo(spec);
    return spec;
}

#define SKIP_WITHOUT_ENCODERS()                                                                    \
    if (!VideoFiles::HasEncoder("mpeg4") || !VideoFiles::HasEncoder("ffv1"))                       \
    GTEST_SKIP() << "libavcodec lacks the mpeg4 or ffv1 encoder"

} // namespace

TEST(PreviewCommand, TheBuiltInClipWithEveryOutputThenARangeFromTheSavedProjectInTheSameFolder)
{
    const fs::path folder = Scratch();
    const fs::path out = folder / "out";
    const Outcome whole =
        Ruzirazu(folder, "preview --size 96x64 --duration 12 --segment 4 --keyint 7 "
                         "--compare --panel --save-project look.json -o out");
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    std::set<std::string> expected = FrameNames(0, 11);
    expected.merge(FrameNames(0, 11, "compare"));
    expected.insert({"panel.png", "report.csv", "report.json", "sizes.svg", ".ruzirazu-outputs"});
    EXPECT_EQ(Names(out), expected); // nothing half-written either

    // Each frame is the encoder's reconstruction of the clip's frame: close
    // to it, not it.
    const EffectHost::BuiltInClip clip(96, 64, 12);
    for (int frame : {0, 5, 11})
    {
        const World image = ReadPicture(out / FrameName("frame", frame));
        ASSERT_EQ(std::pair(image.Width(), image.Height()), std::pair(96, 64));
        World input(96, 64);
        clip.Frame(frame, input);
        const double psnr = MeasureQuality(input, image).PsnrOverall();
        EXPECT_GT(psnr, 24.0) << frame;
        EXPECT_TRUE(std::isfinite(psnr)) << frame;
        // Its comparison: the input on the left, the frame on the right, each
        // pixel for pixel but under its label at the top left.
        const World compare = ReadPicture(out / FrameName("compare", frame));
        ASSERT_EQ(std::pair(compare.Width(), compare.Height()), std::pair(2 * 96, 64));
        int labelPixels[2] = {0, 0};
        for (int i = 0; i < 2 * 96 * 64; ++i)
        {
            const int x = i % 192, y = i / 192;
            const PF_Pixel want = (x < 96 ? input : image).At(x % 96, y), got = compare.At(x, y);
            const bool same =
                std::tie(want.red, want.green, want.blue) == std::tie(got.red, got.green, got.blue);
            ASSERT_TRUE(same || y < 30) << frame << " at " << x << "," << y;
            labelPixels[x / 96] += !same;
        }
        EXPECT_GT(std::min(labelPixels[0], labelPixels[1]), 50) << frame;
    }
    EXPECT_NE(whole.out.find("Rendered 12 frames (0-11)"), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find("Encoded 3 segments in"), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find("30000/1001"), std::string::npos) << whole.out; // the clip's rate

    // Off a terminal, one progress line per segment and pass.
    const std::vector<std::string> progress = Lines(whole.err);
    ASSERT_EQ(progress.size(), 6u) << whole.err;
    for (std::size_t i = 0; i < progress.size(); ++i)
    {
        const std::string pass = i % 2 == 0 ? "pass 1 of 2 (analysis)" : "pass 2 of 2 (final)";
        EXPECT_EQ(progress[i].rfind(
                      "segment " + std::to_string(i / 2) + ", " + pass + ": 4 frames in ", 0),
                  0u)
            << progress[i];
    }
    EXPECT_NE(progress.back().find("frames 0-11: 100%, 0.0 s left"), std::string::npos);

    // The summary ends with the Information text of the last frame as the effect drew it.
    EXPECT_TRUE(std::regex_search(
        whole.out, std::regex(R"(Information at frame 11:\nDimensions: 96 x 64\n)"
                              R"(Frame 11 Segment 2  Type: [^\n]*\nTotal Encoded Size: [^\n]*\n)"
                              R"([^\n]*   Target: 1500[^\n]*\nMemory Usage: [^\n]*\n?$)")))
        << whole.out;
    const EffectHost::Raster panel = EffectHost::ReadPng((out / "panel.png").string());
    EXPECT_EQ(panel.Width(), 420);
    EXPECT_GT(panel.Height(), 9 * 20);
    const Json saved = ReportOf(out).at("settings");

    // A range at half resolution in constant rate factor mode, with the saved
    // segment length and key frame interval, into the same folder: the
    // earlier run's outputs go, the user's own file stays.
    std::ofstream(out / "notes.txt") << "mine";
    const Outcome range =
        Ruzirazu(folder, "preview --size 97x65 --duration 20 -f 3-9 --resolution half "
                         "--project look.json --mode crf -o out");
    ASSERT_EQ(range.exitCode, 0) << range.err;
    expected = FrameNames(3, 9);
    expected.insert({"report.csv", "report.json", "sizes.svg", "notes.txt", ".ruzirazu-outputs"});
    EXPECT_EQ(Names(out), expected);
    const EffectHost::Raster image = EffectHost::ReadPng((out / "frame_00009.png").string());
    EXPECT_EQ(std::pair(image.Width(), image.Height()), std::pair(49, 33));
    EXPECT_NE(range.out.find("half resolution (49 x 33)"), std::string::npos) << range.out;
    // The effect encodes at even sizes: the Information area says so.
    EXPECT_NE(range.out.find(":\nDimensions: 48 x 32\n", range.out.find("Information at frame")),
              std::string::npos)
        << range.out;
    // Frame 3 ends segment 0, 4-7 are segment 1, 8-9 start segment 2; one
    // pass each, numbered as the report numbers them.
    EXPECT_NE(range.out.find("Encoded 3 segments"), std::string::npos) << range.out;
    EXPECT_EQ(range.err.find("segment 0, one pass: 4 frames in "), 0u) << range.err;
    EXPECT_NE(range.err.find("\nsegment 2, one pass: 4 frames in "), std::string::npos);
    EXPECT_EQ(range.err.find("pass 1 of 2"), std::string::npos) << range.err;

    const Json report = ReportOf(out);
    const Json& frames = report.at("frames");
    ASSERT_EQ(frames.size(), 7u);
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        EXPECT_EQ(frames[i].at("frame"), 3 + i);
    }
    const Json& summary = report.at("summary");
    EXPECT_EQ(std::tuple(summary.at("frames"), summary.at("segments")), std::tuple(7, 3));
    EXPECT_TRUE(summary.at("effect").at("targetBitrateKbps").is_null());
    // The saved settings came back, and --mode changed them further.
    const Json& loaded = report.at("settings");
    ASSERT_EQ(loaded.size(), saved.size());
    for (std::size_t i = 0; i < saved.size(); ++i)
    {
        const bool mode = saved[i].at("name") == "Mode";
        EXPECT_EQ(loaded[i] == saved[i], !mode) << loaded[i];
        if (saved[i].at("name") == "Key Frame Every N Frames")
        {
            EXPECT_EQ(loaded[i].at("value"), 7);
        }
    }
}

TEST(PreviewCommand, AnImageSequenceUnder16PixelsIsWrittenTransparentBlackAndReportedUnencoded)
{
    // Files 3 to 5 of 64 x 48, at quarter resolution 16 x 12: too low to encode.
    const fs::path folder = Scratch();
    fs::create_directories(folder / "shots");
    for (int number = 3; number <= 5; ++number)
    {
        World frame(64, 48);
        EffectHost::BuiltInClip(64, 48, 10).Frame(number, frame);
        EffectHost::WritePng(
            EffectHost::RasterFromWorld(frame),
            (folder / "shots" / ("f_000" + std::to_string(number) + ".png")).string());
    }
    const Outcome outcome =
        Ruzirazu(folder, "preview -i shots/f_%04d.png --rate 25 --resolution quarter -o out");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("3 frames from shots/f_0003.png at 25/1"), std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.err.find("the layer is 16 x 12 at this resolution; the effect shows layers "
                               "under 16 x 16 as transparent black and encodes nothing"),
              std::string::npos)
        << outcome.err;
    std::set<std::string> expected = FrameNames(0, 2);
    expected.insert({".ruzirazu-outputs", "report.csv", "report.json", "sizes.svg"});
    EXPECT_EQ(Names(folder / "out"), expected);
    const EffectHost::Raster image =
        EffectHost::ReadPng((folder / "out" / "frame_00001.png").string());
    ASSERT_EQ(std::pair(image.Width(), image.Height()), std::pair(16, 12));
    EXPECT_EQ(image.CountDifferent(0, 0, 16, 12, EffectHost::Rgba{0, 0, 0, 0}), 0);
    const std::string csv = ReadFile(folder / "out" / "report.csv");
    EXPECT_NE(csv.find("\n1,,,,,,,"), std::string::npos) << csv;
}

TEST(PreviewCommand, RefusedRunsSayWhyInOneLineAndLeaveNothingBehind)
{
    SKIP_WITHOUT_ENCODERS();
    const fs::path folder = Scratch();
    WriteClip(folder / "clip.mkv", "ffv1", 6);
    std::ofstream(folder / "empty.mp4").close();
    std::ofstream(folder / "notes.mp4") << "not a video\n";
    std::ofstream(folder / "taken") << "a file where the output folder should go\n";
    std::ofstream(folder / "broken.json") << "{\"effect\": ";
    fs::create_directories(folder / "a-folder");
    fs::create_directories(folder / "shots");
    fs::create_directories(folder / "gap");
    for (const char* name : {"shots/s1.png", "gap/s1.png", "gap/s2.png", "gap/s4.png"})
    {
        EffectHost::WritePng(EffectHost::Raster(8, 8, {1, 2, 3, 255}), (folder / name).string());
    }
    // Every output is checked before anything is encoded; the last -o wins.
    std::vector<std::string> usage;
    for (const std::string range :
         {"", "-", "9-3", "-3", "3-", "a-b", "1-2-3", "+1-4", "1-+4", "99999999999-1"})
    {
        usage.push_back("-f '" + range + "' => \"" + range + "\"");
    }
    // clang-format off
    usage.insert(usage.end(), {
        "--bogus => --bogus", "--frames 5-2 => 5-2", "--frames abc => abc",
        "--duration 12 --frames 0-12 => 0-11",
        "--duration 12 -f 12 => 12-12 is outside the layer, whose frames are 0-11",
        "--resolution double => double", "--rate 0 => --rate", "--rate 29.97 => 29.97",
        "--duration 0 => --duration", "--panel=yes => --panel", "--crf 60 => 51",
        "--preset netflix => netflix", "--mode vbr => vbr",
        "-i 'shots/f_%04d.png' => shots/f_%04d.png", "-i shots/s1.png => s1.png",
        "-i 'shots/s%d.png' --size 8x8 => --size", "-i 'shots/s%d.png' --duration 3 => --duration",
        "-i clip.mkv --size 64x64 => --size", "-i clip.mkv --frames 3-6 => 0-5"});
    ExpectRefusals(folder, "preview -o out ", 2, usage);
    ExpectRefusals(folder, "preview -o out ", 1, {
        "-i 'gap/s%d.png' => s3.png is missing", "-i absent.mp4 => does not exist",
        "-i empty.mp4 => is empty", "-i notes.mp4 => not a video file",
        "-i clip.mkv --project none.json => none.json",
        "-i clip.mkv --project broken.json => line 1",
        "-i clip.mkv --y4m no/such.y4m => no/such.y4m",
        "--duration 2 --y4m a-folder => is a folder",
        "--duration 2 --y4m taken/look.y4m => is not a folder",
        "--duration 2 --save-project a-folder => is a folder",
        "--duration 2 --save-project missing/look.json => does not exist",
        "--duration 2 -o taken/out => Not a directory", "-i clip.mkv -o taken => taken"});
    // clang-format on
}

TEST(PreviewCommand, AnEffectErrorShowsItsMessageExitsWithOneAndLeavesNothing)
{
    // The two-pass statistics file cannot be made in a folder that does not
    // exist, so the encoder fails inside the effect.
    const fs::path folder = Scratch();
    const Outcome outcome = Ruzirazu(folder, "preview --size 32x32 --duration 3 --mode abr -o out",
                                     "TEMP='" + (folder / "missing").string() + "'");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("Video encoding failed"), std::string::npos) << outcome.err;
    EXPECT_FALSE(fs::exists(folder / "out"));
}

TEST(PreviewCommand, ASignalStopsTheEncodeWhereItStandsAndLeavesWholeFramesOnly)
{
    for (const auto& [signal, exitCode, message] :
         {std::tuple<int, int, std::string>{SIGINT, 130, "interrupted"},
          {SIGTERM, 143, "terminated"},
          {SIGHUP, 129, "hung up"}})
    {
        const fs::path folder = Scratch() / std::to_string(signal);
        fs::create_directories(folder / "temp");
        // On a terminal the bar is redrawn for every frame of both passes:
        // 600 redraws a segment, several times what the terminal holds, so
        // the command waits inside segment 1's encode once the test stops
        // reading, and gets the signal there.
        TerminalRun run(folder, "--size 64x48 --duration 900 --segment 300 --mode abr -o out");
        ASSERT_TRUE(run.ReadUntil("segment 1, pass 1 of 2 (analysis): ")) << run.Err();
        run.Signal(signal);
        EXPECT_EQ(run.Wait(), exitCode) << run.Err();
        EXPECT_NE(run.Err().find("ruzirazu: " + message), std::string::npos) << run.Err();

        // The encode stopped where it stood: segment 1 never finished, and
        // its statistics file is gone.
        EXPECT_NE(run.Err().find("segment 0, pass 2 of 2 (final): 300/300"), std::string::npos);
        EXPECT_EQ(run.Err().find("segment 1, pass 2 of 2 (final): 300/300"), std::string::npos);
        EXPECT_TRUE(fs::is_empty(folder / "temp"));
        // Segment 0's frames, every one whole, and nothing half-written.
        std::set<std::string> expected = FrameNames(0, 299);
        expected.insert(".ruzirazu-outputs");
        EXPECT_EQ(Names(folder / "out"), expected);
        for (const std::string& name : FrameNames(0, 299))
        {
            const EffectHost::Raster image = EffectHost::ReadPng((folder / "out" / name).string());
            EXPECT_EQ(std::pair(image.Width(), image.Height()), std::pair(64, 48)) << name;
        }
        EXPECT_EQ(ReadFile(folder / "stdout"), "");
    }
}

TEST(PreviewCommand, AReaderThatClosesTheStreamEndsTheRunAsASignalDoes)
{
    const fs::path folder = Scratch();
    fs::create_directories(folder / "temp");
    // The reader takes a few frames of the first segment and goes.
    const std::string command = "cd '" + folder.string() + "' && (TEMP=temp " +
                                RUZIRAZU_BINARY_DIR +
                                "/bin/ruzirazu preview --size 64x48 --duration 60 --segment 30 "
                                "--mode abr --y4m - -o out 2>err; echo $? >status) "
                                "| head -c 20000 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(folder / "status"), "141\n") << ReadFile(folder / "err");
    EXPECT_NE(ReadFile(folder / "err").find("ruzirazu: the reader of standard output went away"),
              std::string::npos)
        << ReadFile(folder / "err");
    EXPECT_TRUE(fs::is_empty(folder / "temp"));
    std::set<std::string> names = Names(folder / "out");
    EXPECT_EQ(names.erase(".ruzirazu-outputs"), 1u);
    EXPECT_LT(names.size(), 30u);
    EXPECT_EQ(names, FrameNames(0, static_cast<int>(names.size()) - 1));
}

TEST(PreviewCommand, VideoFilesGiveEveryFrameInPlaceWithComparisonsReportsAndTheStream)
{
    SKIP_WITHOUT_ENCODERS();
    const fs::path folder = Scratch();
    // The mp4 holds B-frames; the mkv's preview also goes to standard output.
    for (const auto& [file, streamed] : {std::pair{"clip.mp4", false}, {"clip.mkv", true}})
    {
        SCOPED_TRACE(file);
        WriteClip(folder / file, "mpeg4", 24);
        const fs::path out = folder / (std::string(file) + "-out");
        const fs::path stream = out.string() + ".y4m";
        const Outcome outcome = Ruzirazu(
            folder, std::string("preview -i ") + file + " -o " + out.string() +
                        " --compare --segment 10 --y4m " + (streamed ? "-" : stream.string()));
        ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
        const std::string summary = streamed ? outcome.err : outcome.out;
        EXPECT_NE(summary.find("24 frames at 30000/1001"), std::string::npos) << summary;
        EXPECT_NE(summary.find("Rendered 24 frames"), std::string::npos) << summary;
        // A sound file is not called damaged.
        EXPECT_EQ(outcome.err.find("warning"), std::string::npos) << outcome.err;
        if (streamed)
        {
            EXPECT_EQ(outcome.out.rfind("YUV4MPEG2 W161 H91 F30000:1001 ", 0), 0u);
            const std::size_t frameBytes = 161 * 91 + 2 * 81 * 46;
            EXPECT_EQ(outcome.out.size(), outcome.out.find('\n') + 1 + 24 * (6 + frameBytes));
            std::ofstream(stream, std::ios::binary) << outcome.out;
        }
        // The stream, read back by libavformat, holds the same frames.
        const EffectHost::VideoSource y4m(stream.string());
        const auto& described = y4m.Description();
        EXPECT_EQ(std::tuple(described.timeScale, described.timeStep, described.frameCount),
                  std::tuple(30000u, 1001, 24));

        const Json input = ReportOf(out).at("input");
        EXPECT_EQ(std::tuple(input.at("kind"), input.at("frameRate"), input.at("frames"),
                             input.at("width"), input.at("height")),
                  std::tuple("video file", "30000/1001", 24, 161, 91));
        EXPECT_TRUE(fs::exists(out / "sizes.svg"));
        const std::vector<std::string> csv = Lines(ReadFile(out / "report.csv"));
        ASSERT_EQ(csv.size(), 25u);
        for (int frame = 0; frame < 24; ++frame)
        {
            const std::vector<std::string> fields = Lines(csv[frame + 1], ',');
            ASSERT_EQ(fields.size(), 9u) << csv[frame + 1];
            EXPECT_EQ(std::pair(std::stoi(fields[0]), std::stoi(fields[1])),
                      std::pair(frame, frame / 10));
            EXPECT_FALSE(fields[2].empty());
            EXPECT_GT(std::stoull(fields[3]), 0u);
            // The effect encodes 160 x 90 and scales back to 161 x 91, which
            // costs this sharp picture some detail (25 to 35 dB measured); a
            // neighbouring frame or swapped channels measure below 16 dB.
            const double psnrY = std::stod(fields[7]);
            EXPECT_GT(psnrY, 20.0) << csv[frame + 1];
            EXPECT_LT(psnrY, 60.0) << csv[frame + 1];

            const World compare = ReadPicture(out / FrameName("compare", frame));
            EXPECT_EQ(std::pair(compare.Width(), compare.Height()), std::pair(2 * 161, 91));
            // The preview of frame N is frame N of the file: nearer to it
            // than to its neighbours, and its bars spell N.
            const World preview = ReadPicture(out / FrameName("frame", frame));
            ASSERT_EQ(preview.Width(), 161);
            const auto errorAgainst = [&](int other)
            { return MeasureQuality(VideoFiles::TestPicture(other, 161, 91), preview).mseOverall; };
            const double own = errorAgainst(frame);
            EXPECT_TRUE(frame == 0 || own < errorAgainst(frame - 1)) << frame;
            EXPECT_TRUE(frame == 23 || own < errorAgainst(frame + 1)) << frame;
            EXPECT_EQ(VideoFiles::ReadFrameNumber(preview), frame);
            World fromStream(161, 91);
            y4m.Frame(frame, fromStream);
            EXPECT_EQ(VideoFiles::ReadFrameNumber(fromStream), frame);
        }
    }
}

TEST(PreviewCommand, APhoneClipIsPreviewedTheWayUpPlayersShowIt)
{
    SKIP_WITHOUT_ENCODERS();
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
    VideoFiles::WriteVideo(spec);

    const Outcome outcome = Ruzirazu(folder, "preview -i phone.mov -o out --mode crf --crf 0");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("90 x 160, 2 frames at 30000/1001, rotated 90° clockwise"),
              std::string::npos)
        << outcome.out;
    EXPECT_EQ(ReportOf(folder / "out").at("input").at("orientation"), "rotated 90° clockwise");

    const World preview = ReadPicture(folder / "out" / FrameName("frame", 1));
    ASSERT_EQ(std::pair(preview.Width(), preview.Height()), std::pair(90, 160));
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
    EXPECT_GT(MeasureQuality(turned, preview).PsnrLuma(), 40.0);
}

TEST(PreviewCommand, ADamagedVideoFileIsNamedOnceAndOneCutShortFailsAtTheCut)
{
    SKIP_WITHOUT_ENCODERS();
    const fs::path folder = Scratch();
    const VideoFiles::VideoSpec damaged = WriteClip(folder / "clip.mp4", "mpeg4", 60);
    // A stretch in the middle of the pictures overwritten, as a bad copy
    // does; the container's index stays whole.
    const auto size = static_cast<std::streamoff>(fs::file_size(damaged.path));
    {
        std::fstream file(damaged.path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(size / 2);
        std::uint32_t noise = 12345;
        for (std::streamoff i = 0; i < size / 8; ++i)
        {
            noise = noise * 1664525u + 1013904223u;
            file.put(static_cast<char>(noise >> 24));
        }
    }
    const Outcome outcome = Ruzirazu(folder, "preview -i clip.mp4 -o out --segment 30 --mode crf");
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
    std::set<std::string> expected = FrameNames(0, 59);
    expected.insert({".ruzirazu-outputs", "report.csv", "report.json", "sizes.svg"});
    EXPECT_EQ(Names(folder / "out"), expected);

    // A file that ends before the frames it declares fails at the cut; every
    // frame written before it is whole, and no report describes half a run.
    const VideoFiles::VideoSpec cut = WriteClip(folder / "cut.mkv", "mpeg4", 60);
    fs::resize_file(cut.path, fs::file_size(cut.path) / 2);
    const Outcome failed = Ruzirazu(folder, "preview -i cut.mkv -o cut --segment 5 --mode crf");
    EXPECT_EQ(failed.exitCode, 1) << failed.err;
    ASSERT_FALSE(Lines(failed.err).empty());
    EXPECT_NE(Lines(failed.err).back().find("declares 60 frames"), std::string::npos) << failed.err;
    // The frames from the first on, and the record of them.
    std::set<std::string> written = Names(folder / "cut");
    ASSERT_EQ(written.erase(".ruzirazu-outputs"), 1u);
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written, FrameNames(0, static_cast<int>(written.size()) - 1));
    for (const std::string& name : written)
    {
        EXPECT_EQ(ReadPicture(folder / "cut" / name).Width(), 161) << name;
    }
}
