#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "codecs/LibraryCache.h"
#include "effect/CodecLibraries.h"
#include "effect/CompressionViewer.h"
#include "framework/Errors.h"
#include "support/Log.h"
#include "support/Paths.h"
#include "support/Text.h"

namespace
{

// printf-style formatting of a library's message; a message that does not fit
// the stack buffer is formatted again at its full length.
std::string FormatMessage(const char* format, va_list arguments)
{
    char buffer[512];
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (length < 0)
    {
        return {};
    }
    if (static_cast<std::size_t>(length) < sizeof buffer)
    {
        return std::string(buffer, static_cast<std::size_t>(length));
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    va_copy(copy, arguments);
    std::vsnprintf(text.data(), text.size(), format, copy);
    va_end(copy);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

} // namespace

CodecLibraries::~CodecLibraries()
{
    if (avutil)
    {
        avutil->av_log_set_callback(nullptr);
    }
}

CodecLibraries& GetCodecLibraries() noexcept
{
    static CodecLibraries libraries;
    return libraries;
}

CodecLibraryNames& GetCodecLibraryNames() noexcept
{
    static CodecLibraryNames names;
    return names;
}

void AvutilLogCallback(void* context, int level, const char* format, va_list arguments)
{
    if (format == nullptr)
    {
        return;
    }
    // The callback is the whole process's: libavformat and libavcodec of a
    // host log through it too. libswscale's own context is ours, and all of
    // its messages matter; of the others only errors, or their chatter would
    // bury everything else in the log.
    const AVClass* avClass =
        context != nullptr ? *static_cast<const AVClass* const*>(context) : nullptr;
    const char* className =
        avClass != nullptr && avClass->class_name != nullptr ? avClass->class_name : "";
    const bool fromScaler = std::strcmp(className, "SWScaler") == 0;
    if (!fromScaler && (level & 0xFF) > AV_LOG_ERROR)
    {
        return;
    }
    // An exception must not unwind into libavutil's C frames; a message that
    // cannot be logged is lost.
    try
    {
        if (fromScaler)
        {
            ZLOG(Warning) << "swscale: " << FormatMessage(format, arguments);
        }
        else
        {
            ZLOG(Warning) << (*className != '\0' ? className : "libav") << ": "
                          << FormatMessage(format, arguments);
        }
    }
    catch (...)
    {
    }
}

void X264LogCallback(void*, int level, const char* format, va_list arguments)
{
    if (level < X264_LOG_ERROR || format == nullptr)
    {
        return;
    }
    const auto logLevel = static_cast<Zovazaz::Log::Level>(level + Zovazaz::Log::Warning);
    try
    {
        const Zovazaz::Log::SourceLocation location = ZOVAZAZ_LOCATION;
        ZLOG_AT(logLevel, location)
            << "x264: " << FormatMessage(Zovazaz::TrimText(format, "\n").Str().c_str(), arguments);
    }
    catch (...)
    {
    }
}

void CompressionViewer::OnCommand_GlobalSetup()
{
    Plugin::OnCommand_GlobalSetup();
    // The same global flags as the property list, which the host compares.
    if (PF_OutData* out = GetOutData())
    {
        out->out_flags |= PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_CUSTOM_UI;
        out->out_flags2 |= PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                           PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER;
    }

    const Zovazaz::WString& moduleDirectory = GetModuleDirectory();
    if (moduleDirectory.empty())
    {
        THROW_ADOBE_EXCEPTION(ErrorInitFailed, "Plugin path not available");
    }

    // The libraries, and what they load in turn, are also found beside the
    // module while the guard lives; PATH is back as it was however this ends.
    CodecLibraries& libraries = GetCodecLibraries();
    {
        Zovazaz::ScopedPathPrepend path("PATH", Zovazaz::ToNarrow(moduleDirectory));
        try
        {
            const CodecLibraryNames& names = GetCodecLibraryNames();
            libraries.x264 = Zovazaz::GetX264Library({}, names.x264);
            libraries.avutil = Zovazaz::GetAvutilLibrary({}, names.avutil);
            libraries.swscale = Zovazaz::GetSwScaleLibrary({}, names.swscale);
        }
        catch (const std::runtime_error& error)
        {
            THROW_ADOBE_EXCEPTION(ErrorInitFailed, Zovazaz::StringRef(error.what()));
        }
    }

    libraries.avutil->av_log_set_callback(&AvutilLogCallback);
    libraries.x264->SetLogRouting(
        Zovazaz::Log::GetFileThreshold() < Zovazaz::Log::Verbose ? X264_LOG_INFO : X264_LOG_DEBUG,
        &X264LogCallback, nullptr);

    ZLOG(Verbose) << "Struct sizes: x264_param_t=" << sizeof(x264_param_t)
                  << ", x264_picture_t=" << sizeof(x264_picture_t)
                  << ", x264_nal_t=" << sizeof(x264_nal_t);
}
