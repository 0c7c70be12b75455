#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>

#include "support/StringRef.h"

namespace Zovazaz::Log
{

enum Level : std::int32_t
{
    Undefined = 0,
    None = 1,
    Error = 2,
    Warning = 3,
    Info = 4,
    Verbose = 5,
    Debug = 6,
};

const char* GetLevelName(Level level) noexcept;

// Where a statement stands. `function` is the compiler's full signature of
// the enclosing function (static storage).
struct SourceLocation
{
    const char* file = nullptr;
    const char* function = nullptr;
    std::int32_t line = 0;
};

struct Record
{
    Level level = Undefined;
    std::string message;
    std::uint32_t ticks = 0;
    std::uint32_t thread = 0;
    const char* file = nullptr;
    const char* function = nullptr;
    std::int32_t line = 0;
};

// Replaces the first occurrence of each token, in the order %level, %ticks,
// %thread, %file, %line, %message.
std::string FormatPattern(StringRef pattern, const Record& record);

// The host error channel: the log hands every Error record's message to the
// sink that the plug-in framework installs. Without a sink nothing is shown.
using HostErrorSink = void (*)(const std::string& message);
void SetHostErrorSink(HostErrorSink sink) noexcept;

// The log file of one process log: opened, written and closed for every line,
// so that other processes can read it at any time.
class FileWriter
{
  public:
    // Writes `header` at once when it is not empty; `append` false makes that
    // first write start the file afresh.
    FileWriter(std::string path, bool append, StringRef header);

    // Writes the text and a line feed unless the text already ends in one. A
    // file that cannot be opened loses this line silently.
    void Write(StringRef text) noexcept;

    const std::string& GetPath() const noexcept { return path_; }

  private:
    std::string path_;
    std::atomic<bool> append_;
};

constexpr std::uint64_t LogRestartSize = 1'000'000;
constexpr const char* LogFileName = "Ruzirazu.log";
constexpr const char* LogFilePattern = "[%level] [%ticks] [%thread] %message";
constexpr const char* DebuggerPrefix = "Ruzirazu: ";

// "\nRuzirazu log starts on YYYY-MM-DD HH:MM:SS" in local time.
std::string FormatLogHeader(std::time_t now);

// A log with its file channel, debugger channel and host error channel. The
// process has one (GetLog); tests build their own on a file of their choice.
class ProcessLog
{
  public:
    // Continues the file below LogRestartSize bytes, starts it afresh from
    // that size on, and writes the header line either way.
    ProcessLog(std::string filePath, std::uint32_t startTicks);
    ProcessLog(const ProcessLog&) = delete;
    ProcessLog& operator=(const ProcessLog&) = delete;

    Level GetGateLevel() const noexcept { return Info; }
    Level GetFileThreshold() const noexcept { return fileThreshold_.load(); }
    void SetFileThreshold(Level level) noexcept { fileThreshold_.store(level); }
    std::uint32_t GetStartTicks() const noexcept { return startTicks_; }
    const std::string& GetFilePath() const noexcept { return fileWriter_.GetPath(); }

    // Hands the record to the file, debugger and host error channels in that
    // order; records at None or below go nowhere.
    void Emit(const Record& record) noexcept;

  private:
    FileWriter fileWriter_;
    std::atomic<Level> fileThreshold_{Info};
    std::uint32_t startTicks_;
};

// The process log, built on first use. Throws std::runtime_error when the
// data directory cannot be established; nothing is cached then.
ProcessLog* GetLog();

// The gate of the process log: Info for the life of the process.
Level GetGateLevel() noexcept;

// Threshold of the log file channel (Info by default).
Level GetFileThreshold();
void SetFileThreshold(Level level);

// Applies a "Log.Level" setting value: exactly "Verbose" or "Info" set the
// file threshold; anything else leaves it.
void ApplyLevelSetting(StringRef value);

// Path of the log file ("Ruzirazu.log" in the data directory).
std::string GetLogFilePath();

// The temporary that a log statement builds; emits on destruction.
class LineStream
{
  public:
    LineStream(ProcessLog& log, Level level, const SourceLocation& location);
    ~LineStream();
    LineStream(const LineStream&) = delete;
    LineStream& operator=(const LineStream&) = delete;

    std::ostream& Stream() { return stream_; }

  private:
    ProcessLog* log_;
    Record record_;
    std::ostringstream stream_;
};

// The log when a statement at `level` passes its gate, else null.
inline ProcessLog* GetLogFor(Level level)
{
    return level <= GetGateLevel() ? GetLog() : nullptr;
}

} // namespace Zovazaz::Log

// clang-format off
#define ZOVAZAZ_LOCATION ::Zovazaz::Log::SourceLocation{__FILE__, __PRETTY_FUNCTION__, __LINE__}
// clang-format on

// Usage: ZLOG(Info) << "Render frame " << index;
// Statements above the gate (Verbose, Debug) build nothing.
#define ZLOG(level)                                                                                \
    if (::Zovazaz::Log::ProcessLog* zovazazLog_ =                                                  \
            ::Zovazaz::Log::GetLogFor(::Zovazaz::Log::level);                                      \
        zovazazLog_ == nullptr)                                                                    \
    {                                                                                              \
    }                                                                                              \
    else                                                                                           \
        ::Zovazaz::Log::LineStream(*zovazazLog_, ::Zovazaz::Log::level, ZOVAZAZ_LOCATION).Stream()

// The same with an explicit location (for callbacks that log on behalf of
// another place).
#define ZLOG_AT(level, location)                                                                   \
    if (::Zovazaz::Log::ProcessLog* zovazazLog_ = ::Zovazaz::Log::GetLogFor(level);                \
        zovazazLog_ == nullptr)                                                                    \
    {                                                                                              \
    }                                                                                              \
    else                                                                                           \
        ::Zovazaz::Log::LineStream(*zovazazLog_, level, location).Stream()
