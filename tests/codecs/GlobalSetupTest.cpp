#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/LibraryCache.h"
#include "effect/CodecLibraries.h"
#include "framework/Plugin.h"
#include "host/Host.h"
#include "support/Log.h"
#include "support/System.h"
#include "tests/support/TestFiles.h"

using testing::HasSubstr;

namespace
{

const std::string StubPathDirectory = CODEC_STUB_PATH_DIR;

// A module path inside the test's temporary folder: global set-up puts its
// folder in front of PATH.
std::string TestModulePath()
{
    return Zovazaz::JoinPath(Zovazaz::GetTempDirectory(), "Ruzirazu.so");
}

// The log file's lines that hold the text.
std::vector<std::string> LogLinesWith(const std::string& text)
{
    std::ifstream file(Zovazaz::Log::GetLogFilePath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
    {
        if (line.find(text) != std::string::npos)
        {
            lines.push_back(line);
        }
    }
    return lines;
}

// The one log line that holds `key`, at `level` and ending in `end`.
void ExpectOneLine(const std::string& key, const char* level, const std::string& end)
{
    EXPECT_THAT(LogLinesWith(key),
                testing::ElementsAre(testing::AllOf(HasSubstr(level), testing::EndsWith(end))));
}

void LogFromX264(int level, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    X264LogCallback(nullptr, level, format, arguments);
    va_end(arguments);
}

// A library context as libavutil sees one: its first member names its class.
struct LibraryContext
{
    explicit LibraryContext(const char* name) { avClass.class_name = name; }
    const AVClass* self = &avClass;
    AVClass avClass{};
};

void LogFromAvutil(LibraryContext* context, int level, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    AvutilLogCallback(context, level, format, arguments);
    va_end(arguments);
}

// Each test starts with the real library names, no module references and a
// PATH of its own.
class GlobalSetup : public testing::Test
{
  protected:
    GlobalSetup() { ForgetLibraries(); }
    ~GlobalSetup() override { GetCodecLibraryNames() = CodecLibraryNames{}; }

    static void ForgetLibraries()
    {
        CodecLibraries& libraries = GetCodecLibraries();
        libraries.x264.reset();
        libraries.avutil.reset();
        libraries.swscale.reset();
    }

    ZovazazTest::ScopedEnvironment path_{"PATH", "/usr/bin:/bin"};
};

TEST_F(GlobalSetup, LoadsTheSharedLibrariesRoutesTheirLogAndRestoresPath)
{
    EffectHost::Host host;
    host.UseEntryPoint(&EntryPointFunc, nullptr, TestModulePath());
    const EffectHost::CommandResult result = host.GlobalSetup();
    ASSERT_TRUE(result.Succeeded()) << result.error << " " << result.errorMessage;
    EXPECT_EQ(Zovazaz::GetEnvironmentText("PATH"), "/usr/bin:/bin");

    // The module's references are the process's shared instances, and x264
    // reports warnings too.
    const CodecLibraries& libraries = GetCodecLibraries();
    EXPECT_EQ(libraries.x264, Zovazaz::GetX264Library());
    EXPECT_EQ(libraries.avutil, Zovazaz::GetAvutilLibrary());
    EXPECT_EQ(libraries.swscale, Zovazaz::GetSwScaleLibrary());
    EXPECT_EQ(libraries.x264->GetLogLevel(), X264_LOG_INFO);

    // Messages of the real libraries now reach the log file.
    EXPECT_FALSE(libraries.swscale->GetContext(0, 16, AV_PIX_FMT_ARGB, 16, 16, AV_PIX_FMT_YUV420P,
                                               SWS_FAST_BILINEAR));
    EXPECT_THAT(LogLinesWith("swscale: 0x16 -> 16x16 is invalid scaling dimension"),
                testing::Contains(HasSubstr("[Warning]")));
    x264_param_t params;
    libraries.x264->DefaultPreset(params, -1, 0);
    Zovazaz::X264Library::SetFormat(params, 0, 0, 25, 1, false);
    EXPECT_THROW(libraries.x264->OpenEncoder(params), std::runtime_error);
    EXPECT_THAT(LogLinesWith("x264: invalid width x height (0x0)"),
                testing::Contains(HasSubstr("[Warning]")));
}

// A library that lies only beside the module is found. A missing one fails
// init with the loader's message and keeps the references loaded before it;
// so does a module without a folder. The effect then answers init failed.
TEST_F(GlobalSetup, FindsALibraryBesideTheModuleAndAFailedLoadFailsInit)
{
    GetCodecLibraryNames().x264 = "stubx264_on_path";
    {
        EffectHost::Host host;
        host.UseEntryPoint(&EntryPointFunc, nullptr, StubPathDirectory + "/Ruzirazu.so");
        const EffectHost::CommandResult result = host.GlobalSetup();
        ASSERT_TRUE(result.Succeeded()) << result.errorMessage;
        EXPECT_EQ(GetCodecLibraries().x264->GetFileName(),
                  Zovazaz::FormatLibraryName("stubx264_on_path", X264_BUILD));
        EXPECT_EQ(Zovazaz::GetEnvironmentText("PATH"), "/usr/bin:/bin");
    }

    ForgetLibraries();
    GetCodecLibraryNames() = CodecLibraryNames{};
    GetCodecLibraryNames().avutil = "zovazaz-absent";
    {
        EffectHost::Host host;
        host.UseEntryPoint(&EntryPointFunc, nullptr, TestModulePath());
        EXPECT_THAT(
            host.GlobalSetup().errorMessage,
            HasSubstr("Failed to load dynamic library " +
                      Zovazaz::FormatLibraryName("zovazaz-absent", LIBAVUTIL_VERSION_MAJOR)));
        EXPECT_EQ(Zovazaz::GetEnvironmentText("PATH"), "/usr/bin:/bin");
        const CodecLibraries& libraries = GetCodecLibraries();
        EXPECT_NE(libraries.x264, nullptr) << "x264 was loaded before the failure";
        EXPECT_EQ(libraries.avutil, nullptr);
        EXPECT_EQ(libraries.swscale, nullptr);
        EXPECT_EQ(host.ParamsSetup().error, ErrorInitFailed);
    }

    EffectHost::Host host;
    host.UseEntryPoint(&EntryPointFunc, nullptr, "");
    EXPECT_THAT(host.GlobalSetup().errorMessage, HasSubstr("Plugin path not available"));
    EXPECT_EQ(host.ParamsSetup().error, ErrorInitFailed);
}

// x264's errors (as Warning) and warnings (as Info) pass the log's gate;
// every message of the scaler is a warning; other libraries of the host
// process share the callback, but only their errors are written, under their
// own name. Line feeds at both ends are gone, so each message is one whole
// line, however long.
TEST(LibraryLogRouting, MessagesAreWrittenAtTheirMappedLevelsAsWholeLines)
{
    // Every message carries this run's token and its own word after it.
    const std::string run =
        "routing-" + std::to_string(Zovazaz::GetCurrentProcessIdentifier()) + "-token";
    const char* token = run.c_str();
    LogFromX264(X264_LOG_ERROR, "\nfailed %s error %d\n", token, 1);
    LogFromX264(X264_LOG_WARNING, "\n\ncareful %s warning\n\n", token);
    LogFromX264(X264_LOG_INFO, "note %s info\n", token);
    LogFromX264(X264_LOG_DEBUG, "detail %s debug\n", token);
    LogFromX264(X264_LOG_NONE, "nothing %s none\n", token);
    ExpectOneLine(run + " error", "[Warning]", "x264: failed " + run + " error 1");
    ExpectOneLine(run + " warning", "[   Info]", "x264: careful " + run + " warning");

    LibraryContext scaler("SWScaler");
    const std::string longText(2000, 'x');
    LogFromAvutil(&scaler, AV_LOG_DEBUG, "scaler %s quiet\n", token);
    LogFromAvutil(&scaler, AV_LOG_ERROR, "long %s %s end\n", token, longText.c_str());
    ExpectOneLine(run + " quiet", "[Warning]", "swscale: scaler " + run + " quiet");
    ExpectOneLine(run + " x", "[Warning]", "swscale: long " + run + " " + longText + " end");

    LibraryContext decoder("h264");
    LogFromAvutil(&decoder, AV_LOG_DEBUG, "nal_unit_type %s chatter\n", token);
    LogFromAvutil(&decoder, AV_LOG_WARNING, "odd %s odd\n", token);
    LogFromAvutil(&decoder, AV_LOG_ERROR, "broken %s broken\n", token);
    LogFromAvutil(nullptr, AV_LOG_FATAL, "lost %s anonymous\n", token);
    ExpectOneLine(run + " broken", "[Warning]", "] h264: broken " + run + " broken");
    ExpectOneLine(run + " anonymous", "[Warning]", "] libav: lost " + run + " anonymous");
    // Nothing else of this run: x264's info, debug and none, the decoder's
    // chatter and warning.
    EXPECT_EQ(LogLinesWith(run).size(), 6u);
}

} // namespace
