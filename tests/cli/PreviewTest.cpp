// `ruzirazu preview` run as a user runs it, on small clips, with the real
// module and x264.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "host/BuiltInClip.h"
#include "host/Raster.h"

extern char** environ;

namespace
{

namespace fs = std::filesystem;

struct Outcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

fs::path Scratch()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path folder =
        fs::path(std::getenv("TEMP")) /
        ("preview-" + std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// `ruzirazu preview`, started without a shell: stdout to a file, stderr to a pipe
// of one page, or with `terminal` to a pseudo-terminal, so a test can follow
// the progress as it comes and the command waits when the test does not
// read. TEMP is the given folder.
class Child
{
  public:
    Child(const std::vector<std::string>& arguments, const fs::path& temp, const fs::path& out,
          bool terminal = false)
    {
        int pipeEnds[2];
        std::string terminalPath;
        if (terminal)
        {
            pipeEnds[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (pipeEnds[0] < 0 || grantpt(pipeEnds[0]) != 0 || unlockpt(pipeEnds[0]) != 0)
            {
                throw std::runtime_error("cannot open a pseudo-terminal");
            }
            terminalPath = ptsname(pipeEnds[0]);
            pipeEnds[1] = -1;
        }
        else
        {
            if (pipe(pipeEnds) != 0)
            {
                throw std::runtime_error("pipe failed");
            }
            if (fcntl(pipeEnds[0], F_SETPIPE_SZ, 4096) < 0)
            {
                throw std::runtime_error("cannot shrink the pipe");
            }
        }
        std::vector<std::string> words{std::string(RUZIRAZU_BINARY_DIR) + "/bin/ruzirazu",
                                       "preview"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words)
        {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> variables{"TEMP=" + temp.string()};
        for (char** variable = environ; *variable; ++variable)
        {
            if (std::string(*variable).rfind("TEMP=", 0) != 0)
            {
                variables.emplace_back(*variable);
            }
        }
        std::vector<char*> envp;
        for (auto& variable : variables)
        {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        const std::string outPath = out.string();

        pid_ = fork();
        if (pid_ == 0)
        {
            const int output = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int input = open("/dev/null", O_RDONLY);
            const int error =
                terminal ? open(terminalPath.c_str(), O_RDWR | O_NOCTTY) : pipeEnds[1];
            dup2(input, 0);
            dup2(output, 1);
            dup2(error, 2);
            close(pipeEnds[0]);
            close(error);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (!terminal)
        {
            close(pipeEnds[1]);
        }
        err_ = pipeEnds[0];
    }
    ~Child()
    {
        if (err_ >= 0)
        {
            close(err_);
        }
        if (pid_ > 0)
        {
            Wait();
        }
    }

    // Reads stderr until `text` has appeared in it or the stream ends.
    bool ReadUntil(const std::string& text)
    {
        while (errText_.find(text) == std::string::npos)
        {
            if (!ReadSome())
            {
                return false;
            }
        }
        return true;
    }
    void Signal(int signal) const { kill(pid_, signal); }
    // Reads stderr to its end and returns the exit code.
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
    const std::string& Err() const noexcept { return errText_; }

  private:
    bool ReadSome()
    {
        char buffer[512];
        const ssize_t got = read(err_, buffer, sizeof buffer);
        if (got <= 0)
        {
            return false;
        }
        errText_.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    pid_t pid_ = -1;
    int err_ = -1;
    std::string errText_;
};

Outcome Preview(const std::vector<std::string>& arguments, const fs::path& scratch)
{
    fs::create_directories(scratch / "temp");
    Child child(arguments, scratch / "temp", scratch / "stdout");
    Outcome outcome;
    outcome.exitCode = child.Wait();
    outcome.err = child.Err();
    outcome.out = ReadFile(scratch / "stdout");
    return outcome;
}

std::set<std::string> FilesIn(const fs::path& folder)
{
    std::set<std::string> names;
    if (fs::exists(folder))
    {
        for (const auto& entry : fs::directory_iterator(folder))
        {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

// The frame files; the other outputs are not this test's concern.
std::set<std::string> FramesIn(const fs::path& folder)
{
    std::set<std::string> frames;
    for (const std::string& name : FilesIn(folder))
    {
        if (name.rfind("frame_", 0) == 0)
        {
            frames.insert(name);
        }
    }
    return frames;
}

// Hidden files are the temporary names that atomic writes use, or the
// list of what the run wrote.
bool HasTemporaryFiles(const fs::path& folder)
{
    for (const std::string& name : FilesIn(folder))
    {
        if (name.front() == '.' && name != ".ruzirazu-outputs")
        {
            return true;
        }
    }
    return false;
}

std::set<std::string> FrameNames(int first, int last)
{
    std::set<std::string> names;
    for (int frame = first; frame <= last; ++frame)
    {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%05d.png", frame);
        names.insert(name);
    }
    return names;
}

bool AnyFileNamed(const fs::path& folder, const std::string& part)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder))
    {
        if (entry.path().filename().string().find(part) != std::string::npos)
        {
            return true;
        }
    }
    return false;
}

// Peak signal to noise ratio of the colour channels, in dB.
double Psnr(const EffectHost::Raster& image, const EffectHost::World& reference)
{
    double squares = 0;
    for (int y = 0; y < image.Height(); ++y)
    {
        for (int x = 0; x < image.Width(); ++x)
        {
            const EffectHost::Rgba p = image.At(x, y);
            const PF_Pixel& q = reference.At(x, y);
            squares += std::pow(p.red - q.red, 2) + std::pow(p.green - q.green, 2) +
                       std::pow(p.blue - q.blue, 2);
        }
    }
    const double mean = squares / (3.0 * image.Width() * image.Height());
    return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

// The lines after "Information at frame N:" in the summary.
std::vector<std::string> InformationLines(const std::string& out)
{
    std::vector<std::string> lines;
    std::istringstream stream(out);
    std::string line;
    bool inside = false;
    while (std::getline(stream, line))
    {
        if (inside)
        {
            lines.push_back(line);
        }
        inside = inside || line.rfind("Information at frame", 0) == 0;
    }
    return lines;
}

} // namespace

TEST(PreviewCommand, WritesEveryFrameOfTheClipUnderItsFiveDigitIndex)
{
    const fs::path scratch = Scratch();
    const Outcome outcome =
        Preview({"--size", "96x64", "--duration", "12", "-o", (scratch / "out").string()}, scratch);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(FramesIn(scratch / "out"), FrameNames(0, 11));
    EXPECT_FALSE(HasTemporaryFiles(scratch / "out"));

    const EffectHost::BuiltInClip clip(96, 64, 12);
    for (int frame : {0, 5, 11})
    {
        const EffectHost::Raster image =
            EffectHost::ReadPng((scratch / "out" / *FrameNames(frame, frame).begin()).string());
        ASSERT_EQ(image.Width(), 96);
        ASSERT_EQ(image.Height(), 64);
        EffectHost::World input(96, 64);
        clip.Frame(frame, input);
        // The encoder's reconstruction of this very frame: close to it, not it.
        const double psnr = Psnr(image, input);
        EXPECT_GT(psnr, 24.0) << frame;
        EXPECT_LT(psnr, 99.0) << frame;
    }
    EXPECT_NE(outcome.out.find("Rendered 12 frames (0-11)"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("Encoded 1 segment in"), std::string::npos) << outcome.out;
    // The default layer is the built-in clip at 29.97.
    EXPECT_NE(outcome.out.find("30000/1001"), std::string::npos) << outcome.out;
}

TEST(PreviewCommand, RangeRendersOnlyItsFramesAndCountsTheSegmentsItEncoded)
{
    const fs::path scratch = Scratch();
    const Outcome outcome = Preview({"--size", "64x48", "--duration", "20", "--segment", "4", "-f",
                                     "3-9", "--mode", "crf", "-o", (scratch / "out").string()},
                                    scratch);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(FramesIn(scratch / "out"), FrameNames(3, 9));
    // Frame 3 ends segment 0, 4-7 are segment 1, 8-9 start segment 2.
    EXPECT_NE(outcome.out.find("Encoded 3 segments"), std::string::npos) << outcome.out;
    // Constant rate factor is one pass; the segments are numbered as the
    // report numbers them, from the layer's first frame.
    EXPECT_EQ(outcome.err.find("segment 0, one pass: 4 frames in "), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find("\nsegment 2, one pass: 4 frames in "), std::string::npos)
        << outcome.err;
    EXPECT_EQ(outcome.err.find("pass 1 of 2"), std::string::npos) << outcome.err;
}

TEST(PreviewCommand, OffATerminalProgressIsOneLinePerSegmentAndPass)
{
    const fs::path scratch = Scratch();
    const Outcome outcome = Preview({"--size", "64x48", "--duration", "30", "--segment", "10",
                                     "--mode", "abr", "-o", (scratch / "out").string()},
                                    scratch);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    std::vector<std::string> lines;
    std::istringstream stream(outcome.err);
    for (std::string line; std::getline(stream, line);)
    {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 6u) << outcome.err;
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        const std::string pass = i % 2 == 0 ? "pass 1 of 2 (analysis)" : "pass 2 of 2 (final)";
        EXPECT_EQ(
            lines[i].rfind("segment " + std::to_string(i / 2) + ", " + pass + ": 10 frames in ", 0),
            0u)
            << lines[i];
    }
    EXPECT_NE(lines.back().find("frames 0-29: 100%, 0.0 s left"), std::string::npos)
        << lines.back();
}

TEST(PreviewCommand, EndsWithTheInformationTextOfTheLastFrameAsTheEffectDrewIt)
{
    const fs::path scratch = Scratch();
    const Outcome outcome = Preview({"--size", "96x64", "--duration", "20", "--segment", "8", "-f",
                                     "2-10", "--panel", "-o", (scratch / "out").string()},
                                    scratch);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("Information at frame 10:"), std::string::npos) << outcome.out;
    const std::vector<std::string> lines = InformationLines(outcome.out);
    ASSERT_EQ(lines.size(), 5u) << outcome.out;
    EXPECT_EQ(lines[0], "Dimensions: 96 x 64");
    EXPECT_EQ(lines[1].rfind("Frame 10 Segment 1  Type: ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("Total Encoded Size: ", 0), 0u) << lines[2];
    // Average bitrate mode (the default) shows the target.
    EXPECT_NE(lines[3].find("   Target: 1500"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[4].rfind("Memory Usage: ", 0), 0u) << lines[4];

    EXPECT_EQ(FilesIn(scratch / "out").count("panel.png"), 1u);
    const EffectHost::Raster panel = EffectHost::ReadPng((scratch / "out" / "panel.png").string());
    EXPECT_EQ(panel.Width(), 420);
    EXPECT_GT(panel.Height(), 9 * 20);
}

TEST(PreviewCommand, ReducedResolutionWritesSmallerFrames)
{
    const fs::path scratch = Scratch();
    const Outcome outcome = Preview({"--size", "97x65", "--duration", "3", "--resolution", "half",
                                     "-o", (scratch / "out").string()},
                                    scratch);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const EffectHost::Raster image =
        EffectHost::ReadPng((scratch / "out" / "frame_00002.png").string());
    EXPECT_EQ(image.Width(), 49);
    EXPECT_EQ(image.Height(), 33);
    EXPECT_NE(outcome.out.find("half resolution (49 x 33)"), std::string::npos) << outcome.out;
    // The effect encodes at even sizes: the Information area says so.
    EXPECT_EQ(InformationLines(outcome.out).at(0), "Dimensions: 48 x 32");
}

TEST(PreviewCommand, ALayerUnder16PixelsIsWrittenTransparentBlackAndReportedUnencoded)
{
    // 64 x 48 at quarter resolution is 16 x 12: too low to encode.
    const fs::path scratch = Scratch();
    const Outcome outcome = Preview({"--size", "64x48", "--duration", "3", "--resolution",
                                     "quarter", "-o", (scratch / "out").string()},
                                    scratch);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("the layer is 16 x 12 at this resolution; the effect shows layers "
                               "under 16 x 16 as transparent black and encodes nothing"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(FramesIn(scratch / "out"), FrameNames(0, 2));
    EXPECT_FALSE(HasTemporaryFiles(scratch / "out"));
    const EffectHost::Raster image =
        EffectHost::ReadPng((scratch / "out" / "frame_00001.png").string());
    ASSERT_EQ(image.Width(), 16);
    ASSERT_EQ(image.Height(), 12);
    for (int y = 0; y < 12; ++y)
    {
        for (int x = 0; x < 16; ++x)
        {
            const EffectHost::Rgba p = image.At(x, y);
            ASSERT_TRUE(p.alpha == 0 && p.red == 0 && p.green == 0 && p.blue == 0) << x << "," << y;
        }
    }
    const std::string csv = ReadFile(scratch / "out" / "report.csv");
    EXPECT_NE(csv.find("\n1,,,,,,,"), std::string::npos) << csv;
}

TEST(PreviewCommand, ImageSequenceFramesCountFromItsLowestFile)
{
    const fs::path scratch = Scratch();
    const fs::path shots = scratch / "shots";
    fs::create_directories(shots);
    const EffectHost::BuiltInClip clip(48, 32, 10);
    for (int number = 3; number <= 8; ++number)
    {
        EffectHost::World frame(48, 32);
        clip.Frame(number, frame);
        char name[32];
        std::snprintf(name, sizeof name, "f_%04d.png", number);
        EffectHost::WritePng(EffectHost::RasterFromWorld(frame), (shots / name).string());
    }
    const Outcome outcome = Preview(
        {"-i", (shots / "f_%04d.png").string(), "--rate", "25", "-o", (scratch / "out").string()},
        scratch);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(FramesIn(scratch / "out"), FrameNames(0, 5));
    EXPECT_NE(outcome.out.find("6 frames from " + (shots / "f_0003.png").string() + " at 25/1"),
              std::string::npos)
        << outcome.out;
    // Frame 0 of the layer is file 3.
    EffectHost::World third(48, 32);
    clip.Frame(3, third);
    EXPECT_GT(Psnr(EffectHost::ReadPng((scratch / "out" / "frame_00000.png").string()), third),
              24.0);
}

TEST(PreviewCommand, UsageMistakesExitWithTwoAndLeaveNoOutputFolder)
{
    const fs::path scratch = Scratch();
    const fs::path shots = scratch / "shots";
    fs::create_directories(shots);
    EffectHost::WritePng(EffectHost::Raster(8, 8, {1, 2, 3, 255}), (shots / "s1.png").string());
    const std::string out = (scratch / "out").string();
    const std::vector<std::vector<std::string>> mistakes{
        {"--bogus"},
        {"--frames", "5-2"},
        {"--frames", "abc"},
        {"--duration", "12", "--frames", "0-12"},
        {"--resolution", "double"},
        {"--rate", "0"},
        {"--rate", "29.97"},
        {"--duration", "0"},
        {"--panel=yes"},
        {"-i", (scratch / "nothing_%04d.png").string()},
        {"-i", (shots / "s1.png").string()},
        {"-i", (shots / "s%d.png").string(), "--size", "8x8"},
        {"-i", (shots / "s%d.png").string(), "--duration", "3"},
        {"--crf", "60"},
    };
    for (const auto& arguments : mistakes)
    {
        std::vector<std::string> all = arguments;
        all.insert(all.end(), {"-o", out});
        const Outcome outcome = Preview(all, scratch);
        EXPECT_EQ(outcome.exitCode, 2) << arguments.front() << ": " << outcome.err;
        EXPECT_EQ(outcome.err.rfind("ruzirazu: ", 0), 0u) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_FALSE(fs::exists(out)) << arguments.front();
    }
}

TEST(PreviewCommand, RunTimeFailuresExitWithOneNamingTheCause)
{
    const fs::path scratch = Scratch();
    const fs::path shots = scratch / "shots";
    fs::create_directories(shots);
    for (int number : {1, 2, 4})
    {
        EffectHost::WritePng(EffectHost::Raster(8, 8, {1, 2, 3, 255}),
                             (shots / ("s" + std::to_string(number) + ".png")).string());
    }
    const Outcome gap =
        Preview({"-i", (shots / "s%d.png").string(), "-o", (scratch / "gap").string()}, scratch);
    EXPECT_EQ(gap.exitCode, 1);
    EXPECT_NE(gap.err.find("s3.png is missing"), std::string::npos) << gap.err;
    EXPECT_FALSE(fs::exists(scratch / "gap"));

    std::ofstream(scratch / "a-file") << "in the way";
    const Outcome file = Preview(
        {"--size", "32x32", "--duration", "2", "-o", (scratch / "a-file").string()}, scratch);
    EXPECT_EQ(file.exitCode, 1);
    EXPECT_NE(file.err.find("a-file"), std::string::npos) << file.err;
}

TEST(PreviewCommand, AnEffectErrorShowsItsMessageExitsWithOneAndLeavesNothing)
{
    // The two-pass statistics file cannot be made in a folder that does not
    // exist, so the encoder fails inside the effect.
    const fs::path scratch = Scratch();
    fs::create_directories(scratch / "temp");
    Child child(
        {"--size", "32x32", "--duration", "3", "--mode", "abr", "-o", (scratch / "out").string()},
        scratch / "missing", scratch / "stdout");
    EXPECT_EQ(child.Wait(), 1);
    EXPECT_NE(child.Err().find("Video encoding failed"), std::string::npos) << child.Err();
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

TEST(PreviewCommand, ASignalStopsTheEncodeWhereItStandsAndLeavesWholeFramesOnly)
{
    for (const auto& [signal, exitCode, message] :
         {std::tuple<int, int, std::string>{SIGINT, 130, "interrupted"},
          {SIGTERM, 143, "terminated"},
          {SIGHUP, 129, "hung up"}})
    {
        const fs::path scratch = Scratch() / std::to_string(signal);
        const fs::path temp = scratch / "temp";
        fs::create_directories(temp);
        // On a terminal the bar is redrawn for every frame of both passes:
        // 600 redraws a segment, several times what the terminal holds, so
        // the command waits inside segment 1's encode once the test stops
        // reading, and gets the signal there.
        Child child({"--size", "64x48", "--duration", "900", "--segment", "300", "--mode", "abr",
                     "-o", (scratch / "out").string()},
                    temp, scratch / "stdout", true);
        ASSERT_TRUE(child.ReadUntil("segment 1, pass 1 of 2 (analysis): ")) << child.Err();
        child.Signal(signal);
        EXPECT_EQ(child.Wait(), exitCode) << child.Err();
        EXPECT_NE(child.Err().find("ruzirazu: " + message), std::string::npos) << child.Err();

        // The encode stopped where it stood: segment 1 never finished.
        EXPECT_NE(child.Err().find("segment 0, pass 2 of 2 (final): 300/300"), std::string::npos);
        EXPECT_EQ(child.Err().find("segment 1, pass 2 of 2 (final): 300/300"), std::string::npos);
        EXPECT_FALSE(AnyFileNamed(temp, "RuzirazuStats"));
        // Segment 0's frames, every one whole, and nothing half-written.
        EXPECT_EQ(FramesIn(scratch / "out"), FrameNames(0, 299));
        EXPECT_FALSE(HasTemporaryFiles(scratch / "out"));
        for (const std::string& name : FramesIn(scratch / "out"))
        {
            const EffectHost::Raster image = EffectHost::ReadPng((scratch / "out" / name).string());
            EXPECT_EQ(image.Width(), 64) << name;
            EXPECT_EQ(image.Height(), 48) << name;
        }
        EXPECT_EQ(ReadFile(scratch / "stdout"), "");
    }
}

TEST(PreviewCommand, AReaderThatClosesTheStreamEndsTheRunAsASignalDoes)
{
    const fs::path scratch = Scratch();
    const fs::path temp = scratch / "temp";
    fs::create_directories(temp);
    // The reader takes a few frames of the first segment and goes.
    const std::string command = "(TEMP=" + temp.string() + " " + RUZIRAZU_BINARY_DIR +
                                "/bin/ruzirazu preview --size 64x48 --duration 60 --segment 30 "
                                "--mode abr --y4m - -o " +
                                (scratch / "out").string() + " 2>" + (scratch / "err").string() +
                                "; echo $? >" + (scratch / "status").string() +
                                ") | head -c 20000 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(scratch / "status"), "141\n") << ReadFile(scratch / "err");
    EXPECT_NE(ReadFile(scratch / "err").find("ruzirazu: the reader of standard output went away"),
              std::string::npos)
        << ReadFile(scratch / "err");
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_FALSE(HasTemporaryFiles(scratch / "out"));
    EXPECT_LT(FramesIn(scratch / "out").size(), 30u);
}

TEST(PreviewCommand, ARunIntoAnEarlierRunsFolderLeavesNoneOfItsOutputsButKeepsOtherFiles)
{
    const fs::path scratch = Scratch();
    const std::string out = (scratch / "out").string();
    const Outcome first =
        Preview({"--size", "32x32", "--duration", "8", "--compare", "--panel", "-o", out}, scratch);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(FilesIn(out).count("compare_00007.png"), 1u);
    std::ofstream(scratch / "out" / "notes.txt") << "mine";

    const Outcome second =
        Preview({"--size", "32x32", "--duration", "8", "-f", "2-3", "-o", out}, scratch);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    std::set<std::string> expected = FrameNames(2, 3);
    expected.insert({"report.csv", "report.json", "sizes.svg", "notes.txt", ".ruzirazu-outputs"});
    EXPECT_EQ(FilesIn(out), expected);
}

TEST(PreviewCommand, UnwritableOutputsAreRefusedBeforeAnyEncodeWithTheReason)
{
    const fs::path scratch = Scratch();
    fs::create_directories(scratch / "a-folder");
    std::ofstream(scratch / "a-file") << "in the way";
    const std::string out = (scratch / "out").string();
    for (const auto& [option, path, reason] :
         {std::tuple<std::string, std::string, std::string>{"--y4m", "a-folder", "is a folder"},
          {"--y4m", "a-file/look.y4m", "is not a folder"},
          {"--save-project", "a-folder", "is a folder"},
          {"--save-project", "missing/look.json", "does not exist"},
          {"-o", "a-file/out", "Not a directory"}})
    {
        const Outcome outcome = Preview(
            {"--size", "32x32", "--duration", "2", "-o", out, option, (scratch / path).string()},
            scratch);
        EXPECT_EQ(outcome.exitCode, 1) << option << " " << path;
        EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
        // One line: no progress, so nothing was encoded.
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_FALSE(fs::exists(out)) << option << " " << path;
    }
}
