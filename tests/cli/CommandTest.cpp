#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "host/Raster.h"

namespace
{

struct Outcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::filesystem::path Scratch()
{
    const char* temp = std::getenv("TEMP");
    const auto folder =
        std::filesystem::path(temp ? temp : "/tmp") /
        ("cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(folder);
    return folder;
}

// Runs the built command with the arguments (already quoted for the shell).
Outcome RunCommand(const std::string& arguments)
{
    const auto folder = Scratch();
    const std::string command = std::string(RUZIRAZU_BINARY_DIR) + "/bin/ruzirazu " + arguments +
                                " >" + (folder / "out").string() + " 2>" +
                                (folder / "err").string() + " </dev/null";
    const int status = std::system(command.c_str());
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadFile(folder / "out");
    outcome.err = ReadFile(folder / "err");
    return outcome;
}

int LineCount(const std::string& text)
{
    int lines = 0;
    for (char c : text)
    {
        lines += c == '\n';
    }
    return lines;
}

// The row of the params table whose name starts the row after the position.
std::string RowOf(const std::string& table, const std::string& name)
{
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line))
    {
        if (line.size() > 4 && line.compare(4, name.size(), name) == 0)
        {
            return line;
        }
    }
    return {};
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

TEST(CommandUsage, MistakesExitWithTwoAndOneLineOnStderr)
{
    for (const std::string arguments :
         {"", "frobnicate", "about --bogus", "params --crf abc", "params --crf",
          "params --preset netflix", "params --mode vbr", "params --bframes maybe",
          "params --size 0x720", "params --size 1920", "params --segment 99999999999",
          "about --help=yes"})
    {
        const Outcome outcome = RunCommand(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << arguments;
        EXPECT_EQ(LineCount(outcome.err), 1) << arguments << ": " << outcome.err;
        EXPECT_EQ(outcome.err.rfind("ruzirazu: ", 0), 0u) << outcome.err;
        EXPECT_EQ(outcome.out, "") << arguments;
    }
}

TEST(CommandUsage, BadValueNamesWhatWouldBeRight)
{
    const Outcome preset = RunCommand("params --preset netflix");
    EXPECT_NE(preset.err.find("manual, youtube, youtube-hq, vimeo"), std::string::npos)
        << preset.err;
    const Outcome size = RunCommand("params --size 12x");
    EXPECT_NE(size.err.find("WIDTHxHEIGHT"), std::string::npos) << size.err;
}

TEST(CommandUsage, HelpForTheCommandAndEachSubcommand)
{
    const Outcome main = RunCommand("--help");
    EXPECT_EQ(main.exitCode, 0);
    EXPECT_NE(main.out.find("about"), std::string::npos);
    EXPECT_NE(main.out.find("params"), std::string::npos);
    const Outcome params = RunCommand("params --help");
    EXPECT_EQ(params.exitCode, 0);
    for (const char* option : {"--segment", "--preset", "--mode", "--bitrate", "--crf", "--keyint",
                               "--bframes", "--size", "--panel", "--module"})
    {
        EXPECT_NE(params.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(RunCommand("about --help").exitCode, 0);
}

TEST(CommandUsage, VersionIsTheProjects)
{
    const Outcome version = RunCommand("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ruzirazu 1.", 0), 0u) << version.out;
}

TEST(CommandAbout, MissingModuleIsARunTimeFailure)
{
    const Outcome outcome = RunCommand("about --module /nonexistent/Ruzirazu.so");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("/nonexistent/Ruzirazu.so"), std::string::npos) << outcome.err;
    EXPECT_EQ(LineCount(outcome.err), 1);
}

TEST(CommandAbout, PrintsTheModulesAboutTextWithLineBreaks)
{
    const Outcome outcome = RunCommand("about");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out.rfind("Ruzirazu v1.0\n", 0), 0u) << outcome.out;
    EXPECT_EQ(outcome.out.find('\r'), std::string::npos);
    EXPECT_NE(outcome.out.find("H.264"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.err, "");
}

TEST(CommandAbout, ModuleOptionLoadsAnotherModule)
{
    const std::string module = std::string(RUZIRAZU_BINARY_DIR) + "/tests/libhost_test_module.so";
    const Outcome outcome = RunCommand("about --module " + module);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "from " + module + "\n");
    // The test module's global flags differ from its property list on purpose.
    EXPECT_NE(outcome.err.find("warning"), std::string::npos);
}

TEST(CommandParams, NewEffectShowsTheRegisteredDefaults)
{
    const Outcome outcome = RunCommand("params");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(LineCount(outcome.out), 10); // a header and nine controls
    EXPECT_NE(RowOf(outcome.out, "Segment Length").find(" 11 "), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Segment Length").find(" 15 "), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Presets").find("None (Manual)"), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Mode").find("Average Bitrate"), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Target Bitrate (Kbps)").find("500 to 50000"), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Target Bitrate (Kbps)").find(" 1500 "), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Frame Reordering").find(" on "), std::string::npos);
    // The states the effect computes, not all enabled as registered: the
    // rate factor has no say in average-bitrate mode.
    EXPECT_TRUE(EndsWith(RowOf(outcome.out, "Rate Factor"), "disabled"));
    EXPECT_TRUE(EndsWith(RowOf(outcome.out, "Target Bitrate (Kbps)"), "enabled"));
}

TEST(CommandParams, PresetIsAppliedLastForTheLayerHeight)
{
    // The bitrate given on the command line loses to the preset's, as it
    // would for a user who picks the preset afterwards.
    const Outcome outcome = RunCommand("params --bitrate 3000 --preset youtube --size 1920x1080");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::string bitrate = RowOf(outcome.out, "Target Bitrate (Kbps)");
    EXPECT_NE(bitrate.find(" 8000 "), std::string::npos) << bitrate;
    EXPECT_TRUE(EndsWith(bitrate, "disabled")) << bitrate;
    EXPECT_TRUE(EndsWith(RowOf(outcome.out, "Mode"), "disabled"));
    EXPECT_TRUE(EndsWith(RowOf(outcome.out, "Segment Length"), "enabled"));

    const Outcome taller = RunCommand("params --preset youtube --size 1920x1081");
    EXPECT_NE(RowOf(taller.out, "Target Bitrate (Kbps)").find(" 10000 "), std::string::npos)
        << taller.out;
}

TEST(CommandParams, ConstantRateFactorEnablesItsControlAndKeepsTheBitrate)
{
    const Outcome outcome = RunCommand("params --bitrate=2500 --mode crf --crf 30 --keyint 60 "
                                       "--bframes off --segment 20");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::string rateFactor = RowOf(outcome.out, "Rate Factor");
    EXPECT_NE(rateFactor.find(" 30 "), std::string::npos) << rateFactor;
    EXPECT_TRUE(EndsWith(rateFactor, "enabled")) << rateFactor;
    const std::string bitrate = RowOf(outcome.out, "Target Bitrate (Kbps)");
    EXPECT_NE(bitrate.find(" 2500 "), std::string::npos) << bitrate;
    EXPECT_TRUE(EndsWith(bitrate, "disabled")) << bitrate;
    EXPECT_NE(RowOf(outcome.out, "Key Frame Every N Frames").find(" 60 "), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Frame Reordering").find(" off "), std::string::npos);
    EXPECT_NE(RowOf(outcome.out, "Segment Length").find(" 20 "), std::string::npos);
}

TEST(CommandParams, ValueOutsideTheControlsRangeIsRefusedWithTheRange)
{
    for (const auto& [arguments, range] :
         {std::pair<std::string, std::string>{"params --bitrate 60000", "500 and 50000"},
          {"params --crf 52", "0 and 51"},
          {"params --keyint 0", "1 and 999"},
          {"params --segment -1", "0 and 2000"}})
    {
        const Outcome outcome = RunCommand(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << arguments;
        EXPECT_NE(outcome.err.find(range), std::string::npos) << outcome.err;
        EXPECT_EQ(LineCount(outcome.err), 1) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
}

TEST(CommandParams, PanelIsWrittenAsAPngWithBothStaticAreas)
{
    const auto path = Scratch() / "panel.png";
    std::filesystem::remove(path);
    const Outcome outcome = RunCommand("params --panel " + path.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const EffectHost::Raster panel = EffectHost::ReadPng(path.string());
    EXPECT_GT(panel.Width(), 200);
    // Nine rows (seven controls and two area titles) plus About's 135 pixels and Information's 75.
    EXPECT_GE(panel.Height(), 9 * 20 + 135 + 75);
}

TEST(CommandParams, ProjectFilesAreMadeAndReadWithoutRendering)
{
    const auto project = Scratch() / "look.json";
    std::filesystem::remove(project);
    const Outcome saved =
        RunCommand("params --preset youtube --size 1920x1080 --save-project " + project.string());
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    ASSERT_TRUE(std::filesystem::exists(project));
    // Read into a layer of the default height, where the preset alone would
    // give 5000: the saved 8000 wins, and the options still change it further.
    const Outcome loaded = RunCommand("params --project " + project.string() + " --keyint 48");
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_NE(RowOf(loaded.out, "Presets").find("YouTube (Standard Quality)"), std::string::npos)
        << loaded.out;
    EXPECT_NE(RowOf(loaded.out, "Target Bitrate (Kbps)").find(" 8000 "), std::string::npos)
        << loaded.out;
    EXPECT_NE(RowOf(loaded.out, "Key Frame Every N Frames").find(" 48 "), std::string::npos);
}

TEST(CommandParams, APresetWarnsOfTheOptionsItOverrode)
{
    const Outcome overridden =
        RunCommand("params --preset youtube --mode crf --bitrate 3000 --size 1920x1080");
    ASSERT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_EQ(LineCount(overridden.err), 1) << overridden.err;
    EXPECT_NE(overridden.err.find("warning"), std::string::npos) << overridden.err;
    EXPECT_NE(overridden.err.find("--mode crf"), std::string::npos) << overridden.err;
    EXPECT_NE(overridden.err.find("--bitrate 3000"), std::string::npos) << overridden.err;
    // Options that agree with the preset are not overridden.
    const Outcome agreeing =
        RunCommand("params --preset youtube --mode abr --bitrate 8000 --size 1920x1080");
    ASSERT_EQ(agreeing.exitCode, 0) << agreeing.err;
    EXPECT_EQ(agreeing.err, "");
}

TEST(CommandParams, UnwritableOutputsAreRefusedFirstWithTheReason)
{
    const auto scratch = Scratch();
    std::filesystem::create_directories(scratch / "a-folder");
    std::ofstream(scratch / "a-file") << "in the way";
    for (const auto& [option, path, reason] :
         {std::tuple<std::string, std::string, std::string>{"--panel", "a-folder", "is a folder"},
          {"--panel", "a-file/panel.png", "is not a folder"},
          {"--panel", "missing/panel.png", "does not exist"},
          {"--save-project", "a-folder", "is a folder"},
          {"--save-project", "a-file/look.json", "is not a folder"}})
    {
        const Outcome outcome = RunCommand("params " + option + " " + (scratch / path).string());
        EXPECT_EQ(outcome.exitCode, 1) << option << " " << path;
        EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
        EXPECT_EQ(LineCount(outcome.err), 1) << outcome.err;
        EXPECT_EQ(outcome.out, "") << option << " " << path;
    }
}
