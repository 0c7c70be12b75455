#pragma once

#include <cstdarg>
#include <memory>
#include <string>

#include "codecs/AvutilLibrary.h"
#include "codecs/SwScaleLibrary.h"
#include "codecs/X264Library.h"

// The module's references to the codec libraries: empty until the first global
// set-up, assigned by every global set-up, and released only when the module
// is unloaded. A reference whose load failed stays as it was.
struct CodecLibraries
{
    CodecLibraries() = default;
    // Takes libavutil's log callback back before the libraries go, so that a
    // libavutil that someone else keeps loaded never calls into an unloaded
    // module.
    ~CodecLibraries();
    CodecLibraries(const CodecLibraries&) = delete;
    CodecLibraries& operator=(const CodecLibraries&) = delete;

    std::shared_ptr<Zovazaz::X264Library> x264;
    std::shared_ptr<Zovazaz::AvutilLibrary> avutil;
    std::shared_ptr<Zovazaz::SwScaleLibrary> swscale;
};

CodecLibraries& GetCodecLibraries() noexcept;

// The base names that global set-up loads: the real libraries unless a test
// that links the effect points them at stand-ins.
struct CodecLibraryNames
{
    std::string x264 = Zovazaz::X264Library::DefaultBaseName;
    std::string avutil = Zovazaz::AvutilLibrary::DefaultBaseName;
    std::string swscale = Zovazaz::SwScaleLibrary::DefaultBaseName;
};

CodecLibraryNames& GetCodecLibraryNames() noexcept;

// libavutil's log callback, which every library of the process shares. Every
// message of a libswscale context (class "SWScaler") at Warning, as
// "swscale: " and the message; of other contexts only errors and worse, at
// Warning, as the class's name (or "libav" without a class), ": " and the
// message. Never throws.
void AvutilLogCallback(void* context, int level, const char* format, va_list arguments);

// x264's log callback: errors at Warning, warnings at Info, info at Verbose,
// debug at Debug, as "x264: " and the message without its line feeds. Never
// throws; x264 calls it from its worker threads too.
void X264LogCallback(void* context, int level, const char* format, va_list arguments);
