// `ruzirazu` about, params, help and version, run as a user runs them.
#include "tests/cli/CliTest.h"

using namespace CliTest;

namespace
{

// The row of the params table for the control of that name holds `value`
// and ends with `state`.
void ExpectRow(const std::string& table, const std::string& name, const std::string& value,
               const std::string& state = "")
{
    for (const std::string& line : Lines(table))
    {
        if (line.size() > 4 && line.compare(4, name.size(), name) == 0)
        {
            EXPECT_NE(line.find(value), std::string::npos) << line;
            EXPECT_EQ(line.substr(line.size() - std::min(line.size(), state.size())), state)
                << line;
            return;
        }
    }
    ADD_FAILURE() << "no row " << name << " in\n" << table;
}

} // namespace

TEST(Command, MistakesAndFailuresExitWithOneLineNamingWhatIsWrong)
{
    const fs::path folder = Scratch();
    fs::create_directories(folder / "a-folder");
    std::ofstream(folder / "a-file") << "in the way";
    // Every output is checked before anything is made.
    ExpectRefusals(folder, "", 2,
                   {" => ", "frobnicate => frobnicate", "about --bogus => --bogus",
                    "about --help=yes => --help"});
    // clang-format off
    ExpectRefusals(folder, "params ", 2, {
        "--crf abc => abc", "--crf => --crf",
        "--preset netflix => manual, youtube, youtube-hq, vimeo", "--mode vbr => vbr",
        "--bframes maybe => maybe", "--size 0x720 => WIDTHxHEIGHT", "--size 1920 => WIDTHxHEIGHT",
        "--size 12x => WIDTHxHEIGHT", "--segment 99999999999 => 99999999999",
        "--bitrate 60000 => 500 and 50000", "--crf 52 => 0 and 51", "--keyint 0 => 1 and 999",
        "--segment -1 => 0 and 2000", "--crf= => \"\"", "--crf 12abc => 12abc",
        "--crf 2147483648 => 2147483648", "--crf -5 => 0 and 51", "--size 16385x10 => 16385x10",
        "--size x10 => x10", "--size 10x-10 => 10x-10"});
    ExpectRefusals(folder, "", 1, {
        "about --module /nonexistent/Ruzirazu.so => /nonexistent/Ruzirazu.so",
        "params --panel a-folder => is a folder",
        "params --panel a-file/panel.png => is not a folder",
        "params --panel missing/panel.png => does not exist",
        "params --save-project a-folder => is a folder",
        "params --save-project a-file/look.json => is not a folder"});
    // clang-format on
}

TEST(Command, HelpForTheCommandAndEachSubcommandTheVersionAndTheAboutTextOfAnyModule)
{
    const fs::path folder = Scratch();
    for (const std::string command : {"", "params ", "about "})
    {
        const Outcome help = Ruzirazu(folder, command + "--help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind("Usage: ruzirazu " + command, 0), 0u) << help.out;
    }
    const Outcome version = Ruzirazu(folder, "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ruzirazu 1.", 0), 0u) << version.out;

    const Outcome outcome = Ruzirazu(folder, "about");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out.rfind("Ruzirazu v1.0\n", 0), 0u) << outcome.out;
    EXPECT_EQ(outcome.out.find('\r'), std::string::npos);
    EXPECT_NE(outcome.out.find("H.264"), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.err, "");

    const std::string module = std::string(RUZIRAZU_BINARY_DIR) + "/tests/libhost_test_module.so";
    const Outcome other = Ruzirazu(folder, "about --module " + module);
    ASSERT_EQ(other.exitCode, 0) << other.err;
    EXPECT_EQ(other.out, "from " + module + "\n");
    // The test module's global flags differ from its property list on purpose.
    EXPECT_NE(other.err.find("warning"), std::string::npos);
}

TEST(CommandParams, TheOptionsSetTheControlsWhoseStatesTheEffectComputesAndThePanelIsDrawn)
{
    const fs::path folder = Scratch();
    const Outcome outcome = Ruzirazu(folder, "params --panel panel.png --bitrate=2500 --mode crf "
                                             "--crf 30 --keyint 60 --bframes off --segment 20");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(Lines(outcome.out).size(), 10u); // a header and nine controls
    ExpectRow(outcome.out, "Presets", "None (Manual)");
    ExpectRow(outcome.out, "Rate Factor", " 30 ", "enabled");
    ExpectRow(outcome.out, "Target Bitrate (Kbps)", " 2500 ", "disabled");
    ExpectRow(outcome.out, "Key Frame Every N Frames", " 60 ");
    ExpectRow(outcome.out, "Frame Reordering", " off ");
    ExpectRow(outcome.out, "Segment Length", " 20 ");

    const EffectHost::Raster panel = EffectHost::ReadPng((folder / "panel.png").string());
    EXPECT_GT(panel.Width(), 200);
    // Nine rows (seven controls and two area titles) plus About's 135 pixels and Information's 75.
    EXPECT_GE(panel.Height(), 9 * 20 + 135 + 75);
}

TEST(CommandParams, APresetIsAppliedLastForTheLayerHeightWarningOfTheOptionsItOverrodeAndIsSaved)
{
    // The options given on the command line lose to the preset's, as they
    // would for a user who picks the preset afterwards, and are named.
    const fs::path folder = Scratch();
    const Outcome outcome = Ruzirazu(folder, "params --mode crf --bitrate 3000 --preset youtube "
                                             "--size 1920x1080 --save-project look.json");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    ExpectRow(outcome.out, "Target Bitrate (Kbps)", " 8000 ", "disabled");
    ExpectRow(outcome.out, "Mode", "", "disabled");
    ExpectRow(outcome.out, "Segment Length", "", "enabled");
    ASSERT_EQ(Lines(outcome.err).size(), 1u) << outcome.err;
    EXPECT_NE(outcome.err.find("warning"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("--mode crf"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("--bitrate 3000"), std::string::npos) << outcome.err;

    // Options that agree with the preset are not overridden.
    const Outcome taller =
        Ruzirazu(folder, "params --preset youtube --mode abr --bitrate 10000 --size 1920x1081");
    ASSERT_EQ(taller.exitCode, 0) << taller.err;
    ExpectRow(taller.out, "Target Bitrate (Kbps)", " 10000 ");
    EXPECT_EQ(taller.err, "");

    // Read into a layer of the default height, where the preset alone would
    // give 5000: the saved 8000 wins, and the options still change it further.
    const Outcome loaded = Ruzirazu(folder, "params --project look.json --keyint 48");
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    ExpectRow(loaded.out, "Presets", "YouTube (Standard Quality)");
    ExpectRow(loaded.out, "Target Bitrate (Kbps)", " 8000 ");
    ExpectRow(loaded.out, "Key Frame Every N Frames", " 48 ");
}
