#include "support/Log.h"

#include <regex>

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/Paths.h"
#include "support/System.h"
#include "tests/support/TestFiles.h"

using namespace Zovazaz;
using ZovazazTest::ReadFile;
using ZovazazTest::TempFolder;
using ZovazazTest::WriteFile;

namespace
{

void Write(Log::ProcessLog& log, Log::Level level, const std::string& message)
{
    Log::LineStream(log, level, ZOVAZAZ_LOCATION).Stream() << message;
}

// The file's lines after the header that starts it.
std::string LinesAfterHeader(const std::string& path)
{
    const std::string content = ReadFile(path);
    const std::size_t headerEnd = content.find('\n', 1);
    return headerEnd == std::string::npos ? "" : content.substr(headerEnd + 1);
}

std::vector<std::string> hostErrors;

} // namespace

TEST(LogPattern, RightAlignsLevelAndTicksAndReplacesTheFirstOfEachToken)
{
    Log::Record record{Log::Info, "Render frame 12", 1532, 4812, "renderer/Renderer.cpp", nullptr,
                       77};
    EXPECT_EQ(Log::FormatPattern(Log::LogFilePattern, record),
              "[   Info] [    1532] [4812] Render frame 12");
    EXPECT_EQ(Log::FormatPattern("%level %level %message %message", record),
              "   Info %level Render frame 12 %message");
    EXPECT_EQ(Log::FormatPattern("%file:%line %thread", record), "renderer/Renderer.cpp:77 4812");
}

TEST(LogFile, StartsWithALocalTimeHeaderAndContinuesAFileBelowTheLimit)
{
    TempFolder folder;
    const std::string path = folder / "Ruzirazu.log";
    const std::time_t before = std::time(nullptr);
    Log::ProcessLog{path, 0};
    const std::time_t after = std::time(nullptr);
    std::string content = ReadFile(path);
    const std::string prefix = "\nRuzirazu log starts on ";
    const auto header = [&](std::time_t t)
    { return prefix + fmt::format("{:%Y-%m-%d %H:%M:%S}", fmt::localtime(t)) + "\n"; };
    EXPECT_TRUE(content == header(before) || content == header(after)) << content;

    WriteFile(path, std::string(999'999, 'x'));
    Log::ProcessLog{path, 0};
    content = ReadFile(path);
    EXPECT_EQ(content.find_first_not_of('x'), 999'999u);
    EXPECT_EQ(content.substr(999'999, 24), prefix);

    WriteFile(path, std::string(1'000'000, 'x'));
    Log::ProcessLog{path, 0};
    content = ReadFile(path);
    EXPECT_TRUE(content.starts_with(prefix)) << content.substr(0, 40);
    EXPECT_EQ(content.find('x'), std::string::npos);

    // A file that cannot be opened loses the line quietly.
    Log::ProcessLog lost(folder / "Ruzirazu.log/Ruzirazu.log", 0);
    EXPECT_NO_THROW(Write(lost, Log::Error, "lost"));
    EXPECT_EQ(ReadFile(path), content);
}

// A message that ends in a line feed gets no second one; ticks count from
// the log's start.
TEST(LogFile, WritesPatternLinesAtOrAboveTheThresholdWithThreadAndTicksSinceStart)
{
    TempFolder folder;
    std::string path = folder / "Ruzirazu.log";
    Log::ProcessLog log(path, static_cast<std::uint32_t>(GetMilliseconds()));
    Log::LineStream(log, Log::Info, ZOVAZAZ_LOCATION).Stream() << "Render frame " << 12 << "\n";
    Write(log, Log::Warning, "careful");

    // Ticks fill eight columns.
    const std::string thread = "\\] \\[" + std::to_string(GetCurrentThreadIdentifier()) + "\\] ";
    const std::regex expected("\\[   Info\\] \\[[ 0-9]{8}" + thread + "Render frame 12\n" +
                              "\\[Warning\\] \\[([ 0-9]{8})" + thread + "careful\n");
    std::smatch match;
    const std::string lines = LinesAfterHeader(path);
    ASSERT_TRUE(std::regex_match(lines, match, expected)) << lines;
    EXPECT_LT(std::stoul(match[1]), 60'000ul) << lines;

    // The file threshold decides what is written; only error records reach
    // the host, with their raw message.
    path = folder / "threshold.log";
    hostErrors.clear();
    Log::SetHostErrorSink([](const std::string& message) { hostErrors.push_back(message); });
    Log::ProcessLog gated(path, 0);
    Write(gated, Log::Verbose, "hidden");
    Write(gated, Log::None, "never");
    Write(gated, Log::Undefined, "never");
    EXPECT_EQ(LinesAfterHeader(path), "");
    Write(gated, Log::Warning, "a warning");
    Write(gated, Log::Error, "Encoder failed");
    Log::SetHostErrorSink(nullptr);
    EXPECT_EQ(hostErrors, std::vector<std::string>{"Encoder failed"});
    EXPECT_NE(LinesAfterHeader(path).find("[  Error]"), std::string::npos);

    gated.SetFileThreshold(Log::Verbose);
    Write(gated, Log::Verbose, "shown");
    Write(gated, Log::Debug, "hidden");
    EXPECT_NE(LinesAfterHeader(path).find("[Verbose]"), std::string::npos);
    EXPECT_EQ(LinesAfterHeader(path).find("hidden"), std::string::npos);
}

// The process-wide log lives in the data folder that the test main gives
// every test process. Only the exact setting values change its threshold.
TEST(ProcessLogGate, VerboseAndDebugStatementsBuildNothingEvenWithTheVerboseSetting)
{
    Log::ApplyLevelSetting("Info");
    for (const char* value : {"verbose", " Verbose", "Verbose ", "", "Debug"})
    {
        Log::ApplyLevelSetting(value);
        EXPECT_EQ(Log::GetFileThreshold(), Log::Info) << '"' << value << '"';
    }
    Log::ApplyLevelSetting("Verbose");
    EXPECT_EQ(Log::GetFileThreshold(), Log::Verbose);
    const std::string path = Log::GetLog()->GetFilePath();
    EXPECT_TRUE(path.ends_with("/Zizerevu/Ruzirazu/Ruzirazu.log")) << path;
    const std::uint64_t sizeBefore = GetFileSize(path);
    int evaluated = 0;
    const auto count = [&] { return ++evaluated; };

    ZLOG(Verbose) << "verbose " << count();
    ZLOG(Debug) << "debug " << count();

    EXPECT_EQ(evaluated, 0);
    EXPECT_EQ(Log::GetLogFor(Log::Verbose), nullptr);
    EXPECT_EQ(GetFileSize(path), sizeBefore);

    ZLOG(Info) << "gate test " << count();
    EXPECT_EQ(evaluated, 1);
    EXPECT_GT(GetFileSize(path), sizeBefore);
    Log::ApplyLevelSetting("Info");
    EXPECT_EQ(Log::GetFileThreshold(), Log::Info);
}
