#pragma once

#include <cstdint>
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
// the enclosing function (static storage); QualifiedFunctionName turns it into
// "Renderer::StoreFrame".
struct SourceLocation
{
    const char* file = nullptr;
    const char* function = nullptr;
    std::int32_t line = 0;
};

std::string QualifiedFunctionName(const char* function);

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

class ProcessLog;

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

#define ZOVAZAZ_LOCATION                                                                           \
    ::Zovazaz::Log::SourceLocation { __FILE__, __PRETTY_FUNCTION__, __LINE__ }

// Usage: ZLOG(Info) << "Render frame " << index;
// Statements above the gate (Verbose, Debug) build nothing.
#define ZLOG(level)                                                                                \
    if (::Zovazaz::Log::ProcessLog* zovazazLog_ = ::Zovazaz::Log::GetLogFor(::Zovazaz::Log::level); \
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
