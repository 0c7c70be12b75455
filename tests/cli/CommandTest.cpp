// `ruzirazu` about, params, help and version, run as a user runs them.
#include "tests/cli/CliTest.h"

using namespace CliTest;

namespace
{

Outcome Command(const std::string& arguments)
{
    const fs::path folder = fs::temp_directory_path() / "cli-command";
    fs::create_directories(folder);
    return Ruzirazu(folder, arguments);
}

// The row of the params table for the control of that name.
std::string RowOf(const std::string& table, const std::string& name)
{
    for (const std::string& line : Lines(table))
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

TEST(Command, MistakesAndFailuresExitWithOneLineNamingWhatIsWrong)
{
    const fs::path folder = Scratch();
    fs::create_directories(folder / "a-folder");
    std::ofstream(folder / "a-file") << "in the way";
    // Every output is checked before anything is made.
    ExpectRefusals(
        folder, "", 2,
        {" => ", "frobnicate => frobnicate", "about --bogus => --bogus",
         "about --help=yes => --help", "params --crf abc => abc", "params --crf => --crf",
         "params --preset netflix => manual, youtube, youtube-hq, vimeo",
         "params --mode vbr => vbr", "params --bframes maybe => maybe",
         "params --size 0x720 => WIDTHxHEIGHT", "params --size 1920 => WIDTHxHEIGHT",
         "params --size 12x => WIDTHxHEIGHT", "params --segment 99999999999 => 99999999999",
         "params --bitrate 60000 => 500 and 50000", "params --crf 52 => 0 and 51",
         "params --keyint 0 => 1 and 999", "params --segment -1 => 0 and 2000"});
    ExpectRefusals(folder, "", 1,
                   {"about --module /nonexistent/Ruzirazu.so => /nonexistent/Ruzirazu.so",
                    "params --panel a-folder => is a folder",
                    "params --panel a-file/panel.png => is not a folder",
                    "params --panel missing/panel.png => does not exist",
                    "params --save-project a-folder => is a folder",
                    "params --save-project a-file/look.json => is not a folder"});
}

TEST(Command, HelpForTheCommandAndEachSubcommandAndTheVersion)
{
    const Outcome main = Command("--help");
    EXPECT_EQ(main.exitCode, 0);
    EXPECT_NE(main.out.find("about"), std::string::npos);
    EXPECT_NE(main.out.find("params"), std::string::npos);
    const Outcome params = Command("params --help");
    EXPECT_EQ(params.exitCode, 0);
    for (const char* option : {"--segment", "--preset", "--mode", "--bitrate", "--crf", "--keyint",
                               "--bframes", "--size", "--panel", "--module"})
    {
        EXPECT_NE(params.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(Command("about --help").exitCode, 0);
    const Outcome version = Command("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ruzirazu 1.", 0), 0u) << version.out;
}

TEST(CommandAbout, PrintsTheModulesAboutTextWithLineBreaksOrAnotherModules)
{
    const Outcome outcome = Command("about");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out.rfind("Ruzirazu v1.0\n", 0), 0u) << outcome.out;
    EXPECT_EQ(outcome.out.find('\r'), std::string::npos);
    EXPECT_NE(outcome.out.find("H.264"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.err, "");

    const std::string module = std::string(RUZIRAZU_BINARY_DIR) + "/tests/libhost_test_module.so";
    const Outcome other = Command("about --module " + module);
    ASSERT_EQ(other.exitCode, 0) << other.err;
    EXPECT_EQ(other.out, "from " + module + "\n");
    // The test module's global flags differ from its property list on purpose.
    EXPECT_NE(other.err.find("warning"), std::string::npos);
}

TEST(CommandParams, NewEffectShowsTheRegisteredDefaultsAndWritesThePanel)
{
    const fs::path panelPath = Scratch() / "panel.png";
    const Outcome outcome = Command("params --panel " + panelPath.string());
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(Lines(outcome.out).size(), 10u); // a header and nine controls
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

    const EffectHost::Raster panel = EffectHost::ReadPng(panelPath.string());
    EXPECT_GT(panel.Width(), 200);
    // Nine rows (seven controls and two area titles) plus About's 135 pixels and Information's 75.
    EXPECT_GE(panel.Height(), 9 * 20 + 135 + 75);
}

TEST(CommandParams, APresetIsAppliedLastForTheLayerHeightWarningOfTheOptionsItOverrode)
{
    // The options given on the command line lose to the preset's, as they
    // would for a user who picks the preset afterwards, and are named.
    const Outcome outcome =
        Command("params --mode crf --bitrate 3000 --preset youtube --size 1920x1080");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const std::string bitrate = RowOf(outcome.out, "Target Bitrate (Kbps)");
    EXPECT_NE(bitrate.find(" 8000 "), std::string::npos) << bitrate;
    EXPECT_TRUE(EndsWith(bitrate, "disabled")) << bitrate;
    EXPECT_TRUE(EndsWith(RowOf(outcome.out, "Mode"), "disabled"));
    EXPECT_TRUE(EndsWith(RowOf(outcome.out, "Segment Length"), "enabled"));
    ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
    EXPECT_NE(outcome.err.find("warning"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("--mode crf"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("--bitrate 3000"), std::string::npos) << outcome.err;

    // Options that agree with the preset are not overridden.
    const Outcome taller =
        Command("params --preset youtube --mode abr --bitrate 10000 --size 1920x1081");
    ASSERT_EQ(taller.exitCode, 0) << taller.err;
    EXPECT_NE(RowOf(taller.out, "Target Bitrate (Kbps)").find(" 10000 "), std::string::npos)
        << taller.out;
    EXPECT_EQ(taller.err, "");
}

TEST(CommandParams, ConstantRateFactorEnablesItsControlAndKeepsTheBitrate)
{
    const Outcome outcome = Command("params --bitrate=2500 --mode crf --crf 30 --keyint 60 "
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

TEST(CommandParams, ProjectFilesAreMadeAndReadWithoutRendering)
{
    const fs::path folder = Scratch();
    const Outcome saved =
        Ruzirazu(folder, "params --preset youtube --size 1920x1080 --save-project look.json");
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    // Read into a layer of the default height, where the preset alone would
    // give 5000: the saved 8000 wins, and the options still change it further.
    const Outcome loaded = Ruzirazu(folder, "params --project look.json --keyint 48");
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_NE(RowOf(loaded.out, "Presets").find("YouTube (Standard Quality)"), std::string::npos)
        << loaded.out;
    EXPECT_NE(RowOf(loaded.out, "Target Bitrate (Kbps)").find(" 8000 "), std::string::npos)
        << loaded.out;
    EXPECT_NE(RowOf(loaded.out, "Key Frame Every N Frames").find(" 48 "), std::string::npos);
}
