#include "support/Log.h"

#include <algorithm>

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

Log::Record MakeRecord(Log::Level level, std::string message)
{
    Log::Record record;
    record.level = level;
    record.message = std::move(message);
    record.ticks = 1532;
    record.thread = 4812;
    record.file = "renderer/Renderer.cpp";
    record.line = 77;
    return record;
}

} // namespace

TEST(LogPattern, RightAlignsLevelAndTicksAndReplacesTheFirstOfEachToken)
{
    EXPECT_EQ(Log::FormatPattern(Log::LogFilePattern, MakeRecord(Log::Info, "Render frame 12")),
              "[   Info] [    1532] [4812] Render frame 12");
    EXPECT_EQ(Log::FormatPattern("[%level]", MakeRecord(Log::Error, "")), "[  Error]");
    EXPECT_EQ(Log::FormatPattern("[%level]", MakeRecord(Log::Warning, "")), "[Warning]");
    EXPECT_EQ(Log::FormatPattern("[%level]", MakeRecord(Log::Verbose, "")), "[Verbose]");
    EXPECT_EQ(Log::FormatPattern("%level %level %message %message", MakeRecord(Log::Info, "m")),
              "   Info %level m %message");
    EXPECT_EQ(Log::FormatPattern("%file:%line %thread", MakeRecord(Log::Info, "")),
              "renderer/Renderer.cpp:77 4812");
    Log::Record wide = MakeRecord(Log::Info, "");
    wide.ticks = 4294967295u;
    EXPECT_EQ(Log::FormatPattern("[%ticks]", wide), "[4294967295]");
}

// Signatures as GCC and Clang spell them in __PRETTY_FUNCTION__.
TEST(QualifiedFunctionName, DropsReturnTypeAndParametersAndKeepsOperatorNamesWhole)
{
    EXPECT_EQ(Log::QualifiedFunctionName(__PRETTY_FUNCTION__),
              "QualifiedFunctionName_DropsReturnTypeAndParametersAndKeepsOperatorNamesWhole_Test::"
              "TestBody");
    EXPECT_EQ(Log::QualifiedFunctionName("Z::Probe::Probe()"), "Z::Probe::Probe");
    EXPECT_EQ(Log::QualifiedFunctionName("static void Z::Probe::Static(int, const std::string&)"),
              "Z::Probe::Static");
    EXPECT_EQ(Log::QualifiedFunctionName("const char* Z::Probe::Pointer(void (*)(int)) const"),
              "Z::Probe::Pointer");
    EXPECT_EQ(Log::QualifiedFunctionName("bool Z::Probe::operator()(int) const"),
              "Z::Probe::operator()");
    EXPECT_EQ(Log::QualifiedFunctionName("Z::Probe::operator bool() const"),
              "Z::Probe::operator bool");
    EXPECT_EQ(Log::QualifiedFunctionName("bool Z::operator<(const Probe&, const Probe&)"),
              "Z::operator<");
    EXPECT_EQ(
        Log::QualifiedFunctionName(
            "std::pair<T, std::__cxx11::basic_string<char> > Z::Box<T>::Get(T) [with T = int]"),
        "Z::Box<T>::Get");
    EXPECT_EQ(Log::QualifiedFunctionName("void Zovazaz::Renderer::StoreFrame(int, const X &)"),
              "Zovazaz::Renderer::StoreFrame");
    EXPECT_EQ(Log::QualifiedFunctionName("const char *Zovazaz::Log::GetLevelName(Level)"),
              "Zovazaz::Log::GetLevelName");
    EXPECT_EQ(
        Log::QualifiedFunctionName("std::map<int, std::pair<A, B> > Zovazaz::Table::Rows() const"),
        "Zovazaz::Table::Rows");
    EXPECT_EQ(Log::QualifiedFunctionName("Main"), "Main");
    EXPECT_EQ(Log::QualifiedFunctionName(nullptr), "");
}

class LogFile : public testing::Test
{
  protected:
    void TearDown() override { Log::SetHostErrorSink(nullptr); }

    std::string LinesAfterHeader() const
    {
        const std::string content = ReadFile(path_);
        const std::size_t headerEnd = content.find('\n', 1);
        return headerEnd == std::string::npos ? "" : content.substr(headerEnd + 1);
    }

    static void Write(Log::ProcessLog& log, Log::Level level, const std::string& message)
    {
        Log::LineStream(log, level, ZOVAZAZ_LOCATION).Stream() << message;
    }

    TempFolder folder_;
    std::string path_ = folder_ / "Ruzirazu.log";
};

TEST_F(LogFile, AMissingFileStartsWithTheHeaderInLocalTime)
{
    const std::time_t before = std::time(nullptr);
    Log::ProcessLog log(path_, static_cast<std::uint32_t>(GetMilliseconds()));
    const std::time_t after = std::time(nullptr);

    const std::string content = ReadFile(path_);
    const std::string prefix = "\nRuzirazu log starts on ";
    ASSERT_TRUE(content.starts_with(prefix)) << content;
    ASSERT_TRUE(content.ends_with("\n")) << content;
    const std::string stamp = content.substr(prefix.size(), content.size() - prefix.size() - 1);
    bool matched = false;
    for (std::time_t t = before; t <= after; ++t)
    {
        matched = matched || stamp == fmt::format("{:%Y-%m-%d %H:%M:%S}", fmt::localtime(t));
    }
    EXPECT_TRUE(matched) << stamp;
}

TEST_F(LogFile, ContinuesAFileBelowTheLimitAndStartsAfreshAtIt)
{
    WriteFile(path_, std::string(999'999, 'x'));
    Log::ProcessLog{path_, 0};
    std::string content = ReadFile(path_);
    EXPECT_EQ(content.find_first_not_of('x'), 999'999u);
    EXPECT_EQ(content.substr(999'999, 24), "\nRuzirazu log starts on ");

    WriteFile(path_, std::string(1'000'000, 'x'));
    Log::ProcessLog{path_, 0};
    content = ReadFile(path_);
    EXPECT_TRUE(content.starts_with("\nRuzirazu log starts on ")) << content.substr(0, 40);
    EXPECT_EQ(content.find('x'), std::string::npos);
}

// A message that ends in a line feed gets no second one.
TEST_F(LogFile, WritesPatternLinesWithThreadAndTicksSinceStartEachEndingOnce)
{
    Log::ProcessLog log(path_, static_cast<std::uint32_t>(GetMilliseconds()));
    Log::LineStream(log, Log::Info, ZOVAZAZ_LOCATION).Stream() << "Render frame " << 12 << "\n";
    Write(log, Log::Warning, "careful");

    const std::string thread = std::to_string(GetCurrentThreadIdentifier());
    const std::string lines = LinesAfterHeader();
    ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    const std::string first = lines.substr(0, lines.find('\n') + 1);
    const std::string next = lines.substr(first.size());
    EXPECT_EQ(first.substr(0, 11), "[   Info] [");
    EXPECT_EQ(first.substr(19), "] [" + thread + "] Render frame 12\n");
    EXPECT_EQ(next.substr(0, 11), "[Warning] [");
    EXPECT_EQ(next.substr(19), "] [" + thread + "] careful\n");
    // Ticks since start: a small number, right-aligned in eight characters.
    EXPECT_LT(std::stoul(next.substr(11, 8)), 60'000ul) << next;
}

TEST_F(LogFile, TicksWrapInThirtyTwoBits)
{
    // A start after "now" gives a difference that wraps around 2^32.
    Log::ProcessLog log(path_, static_cast<std::uint32_t>(GetMilliseconds()) + 1000);
    Write(log, Log::Info, "wrapped");

    const std::string lines = LinesAfterHeader();
    const std::size_t open = lines.find("] [") + 3;
    const unsigned long ticks = std::stoul(lines.substr(open, lines.find(']', open) - open));
    EXPECT_GT(ticks, 4'000'000'000ul);
}

std::vector<std::string> hostErrors;

// Only error records reach the host, with their raw message.
TEST_F(LogFile, TheFileThresholdDecidesWhatIsWrittenAndOnlyErrorsReachTheHost)
{
    hostErrors.clear();
    Log::SetHostErrorSink([](const std::string& message) { hostErrors.push_back(message); });
    Log::ProcessLog log(path_, 0);
    EXPECT_EQ(log.GetFileThreshold(), Log::Info);
    Write(log, Log::Verbose, "hidden");
    Write(log, Log::None, "never");
    Write(log, Log::Undefined, "never");
    EXPECT_EQ(LinesAfterHeader(), "");
    Write(log, Log::Warning, "a warning");
    Write(log, Log::Error, "Encoder failed");
    EXPECT_EQ(hostErrors, std::vector<std::string>{"Encoder failed"});
    EXPECT_NE(LinesAfterHeader().find("[  Error]"), std::string::npos);

    log.SetFileThreshold(Log::Verbose);
    Write(log, Log::Verbose, "shown");
    Write(log, Log::Debug, "hidden");
    EXPECT_NE(LinesAfterHeader().find("[Verbose]"), std::string::npos);
    EXPECT_EQ(LinesAfterHeader().find("hidden"), std::string::npos);
}

TEST_F(LogFile, AFileThatCannotBeOpenedLosesTheLineQuietly)
{
    WriteFile(folder_ / "file", "x");
    Log::ProcessLog log(folder_ / "file/Ruzirazu.log", 0);

    EXPECT_NO_THROW(Write(log, Log::Error, "lost"));
    EXPECT_EQ(ReadFile(folder_ / "file"), "x");
}

namespace
{

int evaluated = 0;

int Count()
{
    return ++evaluated;
}

} // namespace

// The process-wide log lives in the data folder that the test main gives
// every test process.
TEST(ProcessLogGate, VerboseAndDebugStatementsBuildNothingEvenWithTheVerboseSetting)
{
    Log::ApplyLevelSetting("Verbose");
    EXPECT_EQ(Log::GetFileThreshold(), Log::Verbose);
    const std::string path = Log::GetLog()->GetFilePath();
    EXPECT_EQ(path, Log::GetLogFilePath());
    EXPECT_TRUE(path.ends_with("/Zizerevu/Ruzirazu/Ruzirazu.log")) << path;
    const std::uint64_t sizeBefore = GetFileSize(path);
    evaluated = 0;

    ZLOG(Verbose) << "verbose " << Count();
    ZLOG(Debug) << "debug " << Count();

    EXPECT_EQ(evaluated, 0);
    EXPECT_EQ(Log::GetLogFor(Log::Verbose), nullptr);
    EXPECT_EQ(GetFileSize(path), sizeBefore);

    ZLOG(Info) << "gate test " << Count();
    EXPECT_EQ(evaluated, 1);
    EXPECT_GT(GetFileSize(path), sizeBefore);
    Log::ApplyLevelSetting("Info");
}

TEST(ProcessLogGate, OnlyTheExactSettingValuesChangeTheThreshold)
{
    Log::ApplyLevelSetting("Info");
    for (const char* value : {"verbose", " Verbose", "Verbose ", "", "Debug"})
    {
        Log::ApplyLevelSetting(value);
        EXPECT_EQ(Log::GetFileThreshold(), Log::Info) << '"' << value << '"';
    }
    Log::ApplyLevelSetting("Verbose");
    EXPECT_EQ(Log::GetFileThreshold(), Log::Verbose);
    Log::ApplyLevelSetting("Info");
    EXPECT_EQ(Log::GetFileThreshold(), Log::Info);
}
