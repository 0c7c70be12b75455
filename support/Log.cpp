#include "support/Log.h"

#include <fstream>

#include <fmt/format.h>

#include "support/LogException.h"
#include "support/Paths.h"
#include "support/Settings.h"
#include "support/System.h"

namespace Zovazaz::Log
{

namespace
{

std::atomic<HostErrorSink> hostErrorSink{nullptr};

// Replaces the first occurrence of `token` in `text`, if any.
void ReplaceFirst(std::string& text, std::string_view token, std::string_view value)
{
    const std::size_t at = text.find(token);
    if (at != std::string::npos)
    {
        text.replace(at, token.size(), value);
    }
}

} // namespace

const char* GetLevelName(Level level) noexcept
{
    switch (level)
    {
    case None:
        return "None";
    case Error:
        return "Error";
    case Warning:
        return "Warning";
    case Info:
        return "Info";
    case Verbose:
        return "Verbose";
    case Debug:
        return "Debug";
    case Undefined:
        break;
    }
    return "Undefined";
}

std::string FormatPattern(StringRef pattern, const Record& record)
{
    std::string text = pattern.Str();
    ReplaceFirst(text, "%level", fmt::format("{:>7}", GetLevelName(record.level)));
    ReplaceFirst(text, "%ticks", fmt::format("{:>8}", record.ticks));
    ReplaceFirst(text, "%thread", fmt::format("{}", record.thread));
    ReplaceFirst(text, "%file", record.file ? record.file : "");
    ReplaceFirst(text, "%line", fmt::format("{}", record.line));
    ReplaceFirst(text, "%message", record.message);
    return text;
}

void SetHostErrorSink(HostErrorSink sink) noexcept
{
    hostErrorSink.store(sink);
}

FileWriter::FileWriter(std::string path, bool append, StringRef header)
    : path_(std::move(path)), append_(append)
{
    if (!header.empty())
    {
        Write(header);
    }
}

void FileWriter::Write(StringRef text) noexcept
{
    try
    {
        // One buffered write per line, so lines of concurrent writers stay whole.
        std::string line = text.Str();
        if (line.empty() || line.back() != '\n')
        {
            line += '\n';
        }
        const std::ios::openmode mode =
            std::ios::out | std::ios::binary | (append_.load() ? std::ios::app : std::ios::trunc);
        std::ofstream file(path_, mode);
        if (!file)
        {
            return;
        }
        file.write(line.data(), static_cast<std::streamsize>(line.size()));
        append_.store(true);
    }
    catch (...)
    {
        // A line that cannot be written is dropped; the log never fails its caller.
    }
}

std::string FormatLogHeader(std::time_t now)
{
    std::tm local = {};
    ::localtime_r(&now, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
    return std::string("\nRuzirazu log starts on ") + stamp;
}

ProcessLog::ProcessLog(std::string filePath, std::uint32_t startTicks)
    : fileWriter_(filePath, GetFileSize(filePath) < LogRestartSize,
                  FormatLogHeader(std::time(nullptr))),
      startTicks_(startTicks)
{
}

void ProcessLog::Emit(const Record& record) noexcept
{
    if (record.level <= None)
    {
        return;
    }
    try
    {
        const std::string line = FormatPattern(LogFilePattern, record);
        if (record.level <= GetFileThreshold())
        {
            fileWriter_.Write(line);
        }
        if (record.level <= Verbose)
        {
            WriteDebuggerOutput(DebuggerPrefix + (line.empty() ? record.message : line));
        }
        if (record.level == Error)
        {
            if (const HostErrorSink sink = hostErrorSink.load())
            {
                sink(record.message);
            }
        }
    }
    catch (...)
    {
        // Logging must not turn a report into a new failure.
    }
}

ProcessLog* GetLog()
{
    // A static whose initialisation throws is not constructed, so the next
    // call tries again when the data directory was unavailable.
    static ProcessLog log(JoinPath(GetDataDirectory(), LogFileName),
                          static_cast<std::uint32_t>(GetMilliseconds()));
    return &log;
}

Level GetGateLevel() noexcept
{
    return Info;
}

Level GetFileThreshold()
{
    return GetLog()->GetFileThreshold();
}

void SetFileThreshold(Level level)
{
    GetLog()->SetFileThreshold(level);
}

void ApplyLevelSetting(StringRef value)
{
    const std::string_view text = value.View();
    if (text == "Verbose")
    {
        SetFileThreshold(Verbose);
    }
    else if (text == "Info")
    {
        SetFileThreshold(Info);
    }
}

std::string GetLogFilePath()
{
    return JoinPath(GetDataDirectory(), LogFileName);
}

LineStream::LineStream(ProcessLog& log, Level level, const SourceLocation& location) : log_(&log)
{
    record_.level = level;
    record_.ticks = static_cast<std::uint32_t>(GetMilliseconds()) - log.GetStartTicks();
    record_.thread = GetCurrentThreadIdentifier();
    record_.file = location.file;
    record_.function = location.function;
    record_.line = location.line;
}

LineStream::~LineStream()
{
    try
    {
        record_.message = stream_.str();
    }
    catch (...)
    {
        return;
    }
    log_->Emit(record_);
}

} // namespace Zovazaz::Log
