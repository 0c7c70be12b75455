// The command's parts that need no module: the progress text and the output
// folder's atomic writes.
#include <stdexcept>

#include "cli/OutputFolder.h"
#include "cli/Preview.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "tests/cli/CliTest.h"

using namespace CommandLine;
using CliTest::Names;
namespace fs = std::filesystem;

TEST(PreviewProgress, OffATerminalALinePerSegmentPassAndOnOneABarRedrawnInPlace)
{
    // Frames 3-9 of a 10-frame layer in segments of 4 touch segments 0, 1
    // and 2 (frames 8-9): 10 frames to encode in all.
    std::ostringstream out;
    ProgressDisplay display(out, false, ProgressRange{3, 9, 10, 4});
    display.BeginRender(3);
    for (long done = 1; done <= 8; ++done) // two passes of segment 0
    {
        display.Report(done, 8, 0.1 * done, 0.1 * done);
    }
    EXPECT_TRUE(display.EndRender());
    display.BeginRender(4); // copied from the store: no progress
    EXPECT_FALSE(display.EndRender());
    display.BeginRender(9);
    display.Report(1, 2, 0.1, 1.0); // the last segment holds two frames
    display.Report(2, 2, 0.2, 1.1);
    EXPECT_TRUE(display.EndRender());
    EXPECT_EQ(display.SegmentsEncoded(), 2);
    EXPECT_EQ(out.str(), "segment 0, pass 1 of 2 (analysis): 4 frames in 0.40 s (10.0 frames/s); "
                         "frames 3-9: 20%, 1.6 s left\n"
                         "segment 0, pass 2 of 2 (final): 4 frames in 0.40 s (10.0 frames/s); "
                         "frames 3-9: 40%, 1.2 s left\n"
                         "segment 2, one pass: 2 frames in 0.20 s (10.0 frames/s); "
                         "frames 3-9: 60%, 0.7 s left\n");

    // The second pass starts the bar afresh; the line is ended once.
    std::ostringstream bar;
    ProgressDisplay terminal(bar, true, ProgressRange{0, 7, 8, 4});
    terminal.BeginRender(0);
    for (long done : {0, 3, 5})
    {
        terminal.Report(done, 8, 0.1 * done, 0.1 * done);
    }
    terminal.EndRender();
    EXPECT_EQ(bar.str(), "\r[..............................] segment 0, pass 1 of 2 (analysis): "
                         "0/4 | frames 0-7: 0%, -- s left\x1b[K"
                         "\r[######################........] segment 0, pass 1 of 2 (analysis): "
                         "3/4 | frames 0-7: 19%, 1.3 s left\x1b[K"
                         "\r[#######.......................] segment 0, pass 2 of 2 (final): 1/4 | "
                         "frames 0-7: 31%, 1.1 s left\x1b[K\n");
}

TEST(PreviewOutputFolder, FilesAppearWholeAFailedWriteLeavesNothingAndARunRemovesTheLastRunsFiles)
{
    const fs::path path = CliTest::Scratch();
    OutputFolder folder(path);
    ASSERT_TRUE(fs::is_directory(path));
    EXPECT_TRUE(fs::is_empty(path)) << "the write probe is gone";

    folder.WriteFile("a.txt",
                     [&](const std::string& temporary)
                     {
                         EXPECT_EQ(fs::path(temporary).parent_path(), path);
                         EXPECT_FALSE(fs::exists(path / "a.txt"));
                         std::ofstream(temporary) << "whole";
                     });
    EXPECT_EQ(CliTest::ReadFile(path / "a.txt"), "whole");

    // A failure leaves nothing, and replaces nothing either.
    const auto half = [](const std::string& temporary)
    {
        std::ofstream(temporary) << "half";
        throw std::runtime_error("disk full");
    };
    EXPECT_THROW(folder.WriteFile("b.txt", half), std::runtime_error);
    EXPECT_THROW(folder.WriteFile("a.txt", half), std::runtime_error);
    EXPECT_EQ(Names(path), (std::set<std::string>{"a.txt", OutputFolder::RecordName}));
    EXPECT_EQ(CliTest::ReadFile(path / "a.txt"), "whole");

    // A run removes exactly the files the earlier run wrote.
    const fs::path runs = path / "runs";
    const auto put = [](OutputFolder& run, const std::string& name) {
        run.WriteFile(name,
                      [&](const std::string& temporary) { std::ofstream(temporary) << name; });
    };
    {
        OutputFolder first(runs);
        put(first, "frame_00001.png");
        put(first, "frame_00002.png");
        put(first, "report.csv");
    }
    // Beside them: the user's own file, a written file the user changed
    // since, and a record line that would lead out of the folder.
    std::ofstream(runs / "notes.txt") << "mine";
    std::ofstream(runs / "report.csv", std::ios::app) << ",edited";
    std::ofstream(runs.parent_path() / "outside.txt") << "not the command's";
    {
        std::ofstream record(runs / OutputFolder::RecordName, std::ios::app);
        record << fs::file_size(runs.parent_path() / "outside.txt") << " "
               << fs::last_write_time(runs.parent_path() / "outside.txt").time_since_epoch().count()
               << " ../outside.txt\n";
    }
    {
        OutputFolder second(runs);
        // Nothing goes until the run writes its first file.
        EXPECT_TRUE(fs::exists(runs / "frame_00001.png"));
        put(second, "frame_00002.png");
    }
    EXPECT_EQ(Names(runs), (std::set<std::string>{"frame_00002.png", "notes.txt", "report.csv",
                                                  OutputFolder::RecordName}));
    EXPECT_TRUE(fs::exists(runs.parent_path() / "outside.txt"));
    fs::remove(runs.parent_path() / "outside.txt");

    // The next run removes this run's frame, which is all it wrote.
    {
        OutputFolder third(runs);
        put(third, "sizes.svg");
    }
    EXPECT_FALSE(fs::exists(runs / "frame_00002.png"));
    EXPECT_TRUE(fs::exists(runs / "report.csv"));
}
