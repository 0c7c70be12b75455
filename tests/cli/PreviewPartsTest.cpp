// The preview's parts that need no module: option values, the progress
// text, frame names and the output folder's atomic writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "cli/OutputFolder.h"
#include "cli/Preview.h"
#include "cli/Progress.h"
#include "cli/Session.h"

using namespace CommandLine;
namespace fs = std::filesystem;

namespace
{
fs::path Folder()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path folder = fs::path(std::getenv("TEMP")) /
                            ("parts-" + std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(folder);
    return folder;
}

std::size_t CountEntries(const fs::path& folder)
{
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}
} // namespace

TEST(PreviewOptions, FrameRangesAreInclusiveAndOrdered)
{
    EXPECT_EQ(ParseFrameRange("-f", "0-89"), (std::pair<A_long, A_long>{0, 89}));
    EXPECT_EQ(ParseFrameRange("-f", "7"), (std::pair<A_long, A_long>{7, 7}));
    EXPECT_EQ(ParseFrameRange("-f", "5-5"), (std::pair<A_long, A_long>{5, 5}));
    for (const std::string text :
         {"", "-", "9-3", "-3", "3-", "a-b", "1-2-3", "+1-4", "1-+4", "99999999999-1"})
    {
        EXPECT_THROW(ParseFrameRange("-f", text), UsageError) << '"' << text << '"';
    }
}

TEST(PreviewProgress, TextGivesDoneOfTotalRateAndTimeLeft)
{
    EXPECT_EQ(ProgressDisplay::Describe(2, 10, 40, 2.0),
              "segment 2: 10/40 frames, 5.0 frames/s, 6.0 s left");
    EXPECT_EQ(ProgressDisplay::Describe(1, 40, 40, 4.0),
              "segment 1: 40/40 frames, 10.0 frames/s, 0.0 s left");
    // Nothing to measure a rate by yet.
    EXPECT_EQ(ProgressDisplay::Describe(1, 0, 30, 0.0),
              "segment 1: 0/30 frames, -- frames/s, -- s left");
    EXPECT_EQ(ProgressDisplay::Describe(1, 3, 30, 0.0),
              "segment 1: 3/30 frames, -- frames/s, -- s left");
    EXPECT_EQ(ProgressDisplay::Bar(1, 5, 20, 1.0, 8).substr(0, 10), "[##......]");
    EXPECT_EQ(ProgressDisplay::Bar(1, 25, 20, 1.0, 4).substr(0, 6), "[####]");
}

TEST(PreviewProgress, PlainLinesOffATerminalAndOneSegmentPerEncodingRender)
{
    std::ostringstream out;
    ProgressDisplay display(out, false);
    display.BeginRender();
    display.Report(1, 2, 0.5);
    display.Report(2, 2, 1.0);
    EXPECT_TRUE(display.EndRender());
    display.BeginRender(); // a frame copied from the store: no progress
    EXPECT_FALSE(display.EndRender());
    display.BeginRender();
    display.Report(1, 1, 0.5);
    EXPECT_TRUE(display.EndRender());
    EXPECT_EQ(display.SegmentsEncoded(), 2);
    EXPECT_EQ(out.str(), "segment 1: 1/2 frames, 2.0 frames/s, 0.5 s left\n"
                         "segment 1: 2/2 frames, 2.0 frames/s, 0.0 s left\n"
                         "segment 2: 1/1 frames, 2.0 frames/s, 0.0 s left\n");
}

TEST(PreviewProgress, TerminalBarIsRedrawnInPlaceAndEndedOnce)
{
    std::ostringstream out;
    ProgressDisplay display(out, true);
    display.BeginRender();
    display.Report(1, 2, 1.0);
    display.Report(2, 2, 2.0);
    display.EndRender();
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 2);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_EQ(text.back(), '\n');
}

TEST(PreviewOutputFolder, FilesAppearWholeAndAFailedWriteLeavesNothing)
{
    const fs::path path = Folder();
    OutputFolder folder(path);
    ASSERT_TRUE(fs::is_directory(path));
    EXPECT_EQ(CountEntries(path), 0u) << "the write probe is gone";

    folder.WriteFile("a.txt",
                     [&](const std::string& temporary)
                     {
                         EXPECT_EQ(fs::path(temporary).parent_path(), path);
                         EXPECT_FALSE(fs::exists(path / "a.txt"));
                         std::ofstream(temporary) << "whole";
                     });
    std::ifstream written(path / "a.txt");
    std::string content;
    written >> content;
    EXPECT_EQ(content, "whole");

    EXPECT_THROW(folder.WriteFile("b.txt",
                                  [](const std::string& temporary)
                                  {
                                      std::ofstream(temporary) << "half";
                                      throw std::runtime_error("disk full");
                                  }),
                 std::runtime_error);
    // A failure replaces nothing either.
    EXPECT_THROW(folder.WriteFile("a.txt",
                                  [](const std::string& temporary)
                                  {
                                      std::ofstream(temporary) << "half";
                                      throw std::runtime_error("disk full");
                                  }),
                 std::runtime_error);
    EXPECT_EQ(CountEntries(path), 1u);
    std::ifstream again(path / "a.txt");
    again >> content;
    EXPECT_EQ(content, "whole");
}

TEST(PreviewOutputFolder, AFolderThisRunMadeGoesAgainWhenLeftEmpty)
{
    const fs::path made = Folder() / "nested" / "out";
    {
        const OutputFolder folder(made);
        EXPECT_TRUE(fs::is_directory(made));
    }
    EXPECT_FALSE(fs::exists(made));

    // One that was there already stays, empty or not.
    const fs::path existing = Folder();
    fs::create_directories(existing);
    {
        const OutputFolder folder(existing);
    }
    EXPECT_TRUE(fs::is_directory(existing));
}

TEST(PreviewOutputFolder, AFileInTheWayOrAnUnwritableFolderIsARunError)
{
    const fs::path base = Folder();
    fs::create_directories(base);
    std::ofstream(base / "file") << "x";
    EXPECT_THROW(OutputFolder(base / "file"), RunError);
    EXPECT_THROW(OutputFolder(base / "file" / "below"), RunError);
    if (::geteuid() != 0) // root writes anywhere
    {
        fs::create_directories(base / "locked");
        fs::permissions(base / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(OutputFolder(base / "locked"), RunError);
        fs::permissions(base / "locked", fs::perms::owner_all);
    }
}
