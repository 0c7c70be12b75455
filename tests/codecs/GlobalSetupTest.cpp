#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "codecs/LibraryCache.h"
#include "effect/CodecLibraries.h"
#include "framework/Plugin.h"
#include "host/Host.h"
#include "tests/codecs/EffectTestSupport.h"

using namespace CodecTests;
using testing::HasSubstr;

namespace
{

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

// Each test starts with the real library names and no module references,
// and puts PATH back.
class GlobalSetup : public testing::Test
{
  protected:
    GlobalSetup()
    {
        CodecLibraries& libraries = GetCodecLibraries();
        libraries.x264.reset();
        libraries.avutil.reset();
        libraries.swscale.reset();
    }
    ~GlobalSetup() override { GetCodecLibraryNames() = CodecLibraryNames{}; }

    PathRestorer restorer_;
};

TEST_F(GlobalSetup, LoadsTheSharedLibrariesAnnouncesTheEffectAndRestoresPath)
{
    Zovazaz::SetEnvironmentText("PATH", "/usr/bin:/bin");

    EffectHost::Host host;
    host.UseEntryPoint(&EntryPointFunc, nullptr, TestModulePath());
    const EffectHost::CommandResult result = host.GlobalSetup();
    ASSERT_TRUE(result.Succeeded()) << result.error << " " << result.errorMessage;

    const PF_OutData& out = result.outData;
    EXPECT_EQ(out.my_version, PF_VERSION(1, 0, 0, 0, 0));
    EXPECT_EQ(out.out_flags & (PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_CUSTOM_UI),
              PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_CUSTOM_UI);
    EXPECT_EQ(out.out_flags2 & (PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                                PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER),
              PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                  PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER);
    EXPECT_EQ(Zovazaz::GetEnvironmentText("PATH"), "/usr/bin:/bin");

    // The module's references are the process's shared instances, and x264
    // logs through the effect at the file channel's level.
    const CodecLibraries& libraries = GetCodecLibraries();
    EXPECT_EQ(libraries.x264, Zovazaz::GetX264Library());
    EXPECT_EQ(libraries.avutil, Zovazaz::GetAvutilLibrary());
    EXPECT_EQ(libraries.swscale, Zovazaz::GetSwScaleLibrary());
    EXPECT_EQ(libraries.x264->GetLogCallback(), &X264LogCallback);
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

TEST_F(GlobalSetup, FindsALibraryThatLiesOnlyBesideTheModule)
{
    Zovazaz::SetEnvironmentText("PATH", "/usr/bin:/bin");
    GetCodecLibraryNames().x264 = "stubx264_on_path";

    EffectHost::Host host;
    host.UseEntryPoint(&EntryPointFunc, nullptr, StubPathDirectory + "/Ruzirazu.so");
    const EffectHost::CommandResult result = host.GlobalSetup();
    ASSERT_TRUE(result.Succeeded()) << result.errorMessage;
    EXPECT_EQ(GetCodecLibraries().x264->GetFileName(),
              Zovazaz::FormatLibraryName("stubx264_on_path", X264_BUILD));
    EXPECT_EQ(Zovazaz::GetEnvironmentText("PATH"), "/usr/bin:/bin");
}

TEST_F(GlobalSetup, MissingLibraryFailsInitWithTheLoadersMessageKeepingEarlierReferences)
{
    Zovazaz::SetEnvironmentText("PATH", "/usr/bin:/bin");
    GetCodecLibraryNames().avutil = "zovazaz-absent";

    EffectHost::Host host;
    host.UseEntryPoint(&EntryPointFunc, nullptr, TestModulePath());
    const EffectHost::CommandResult setup = host.GlobalSetup();
    EXPECT_THAT(setup.errorMessage,
                HasSubstr("Failed to load dynamic library " +
                          Zovazaz::FormatLibraryName("zovazaz-absent", LIBAVUTIL_VERSION_MAJOR)));
    EXPECT_EQ(Zovazaz::GetEnvironmentText("PATH"), "/usr/bin:/bin");

    const CodecLibraries& libraries = GetCodecLibraries();
    EXPECT_NE(libraries.x264, nullptr) << "x264 was loaded before the failure";
    EXPECT_EQ(libraries.avutil, nullptr);
    EXPECT_EQ(libraries.swscale, nullptr);

    // The effect is not initialised: the host's next commands are refused.
    EXPECT_EQ(host.ParamsSetup().error, ErrorInitFailed);
    EXPECT_EQ(host.About().error, ErrorInitFailed);
}

TEST_F(GlobalSetup, WithoutAModuleFolderFailsAndTheEffectAnswersInitFailed)
{
    EffectHost::Host host;
    host.UseEntryPoint(&EntryPointFunc, nullptr, "");
    const EffectHost::CommandResult result = host.GlobalSetup();
    EXPECT_THAT(result.errorMessage, HasSubstr("Plugin path not available"));
    EXPECT_EQ(host.ParamsSetup().error, ErrorInitFailed);
}

TEST(LibraryLogRouting, X264MessagesAreWrittenAtTheirMappedLevelsWithoutLineFeeds)
{
    const std::string error = UniqueToken("error");
    const std::string warning = UniqueToken("warning");
    const std::string info = UniqueToken("info");
    const std::string debug = UniqueToken("debug");
    const std::string none = UniqueToken("none");
    LogFromX264(X264_LOG_ERROR, "\nfailed %s %d\n", error.c_str(), 1);
    LogFromX264(X264_LOG_WARNING, "\n\ncareful %s\n\n", warning.c_str());
    LogFromX264(X264_LOG_INFO, "note %s\n", info.c_str());
    LogFromX264(X264_LOG_DEBUG, "detail %s\n", debug.c_str());
    LogFromX264(X264_LOG_NONE, "nothing %s\n", none.c_str());

    // Only errors (as Warning) and warnings (as Info) pass the log's gate; the
    // line feeds at both ends are gone, so each message is one whole line.
    EXPECT_THAT(LogLinesWith(error),
                testing::ElementsAre(testing::AllOf(
                    HasSubstr("[Warning]"), testing::EndsWith("x264: failed " + error + " 1"))));
    EXPECT_THAT(LogLinesWith(warning),
                testing::ElementsAre(testing::AllOf(
                    HasSubstr("[   Info]"), testing::EndsWith("x264: careful " + warning))));
    EXPECT_THAT(LogLinesWith(info), testing::IsEmpty());
    EXPECT_THAT(LogLinesWith(debug), testing::IsEmpty());
    EXPECT_THAT(LogLinesWith(none), testing::IsEmpty());
}

TEST(LibraryLogRouting, ScalerMessagesAreWrittenAtWarningWhateverTheirLevel)
{
    LibraryContext scaler("SWScaler");
    const std::string quiet = UniqueToken("quiet");
    const std::string loud = UniqueToken("loud");
    LogFromAvutil(&scaler, AV_LOG_DEBUG, "scaler %s\n", quiet.c_str());
    LogFromAvutil(&scaler, AV_LOG_FATAL, "scaler %s\n", loud.c_str());
    EXPECT_THAT(LogLinesWith(quiet),
                testing::ElementsAre(testing::AllOf(
                    HasSubstr("[Warning]"), testing::EndsWith("swscale: scaler " + quiet))));
    EXPECT_THAT(LogLinesWith(loud), testing::ElementsAre(HasSubstr("[Warning]")));

    // A message longer than any fixed buffer arrives whole.
    const std::string longToken = UniqueToken(std::string(2000, 'x').c_str());
    LogFromAvutil(&scaler, AV_LOG_ERROR, "long %s end\n", longToken.c_str());
    EXPECT_THAT(LogLinesWith(longToken),
                testing::ElementsAre(testing::EndsWith(longToken + " end")));
}

// Other libraries of the host process share the callback; their chatter
// stays out of the log and their errors carry their own name.
TEST(LibraryLogRouting, OtherLibrariesAreWrittenOnlyForErrorsUnderTheirOwnName)
{
    LibraryContext decoder("h264");
    const std::string chatter = UniqueToken("chatter");
    const std::string warning = UniqueToken("warning");
    const std::string error = UniqueToken("error");
    const std::string anonymous = UniqueToken("anonymous");
    LogFromAvutil(&decoder, AV_LOG_DEBUG, "nal_unit_type %s\n", chatter.c_str());
    LogFromAvutil(&decoder, AV_LOG_WARNING, "odd %s\n", warning.c_str());
    LogFromAvutil(&decoder, AV_LOG_ERROR, "broken %s\n", error.c_str());
    LogFromAvutil(nullptr, AV_LOG_FATAL, "lost %s\n", anonymous.c_str());

    EXPECT_THAT(LogLinesWith(chatter), testing::IsEmpty());
    EXPECT_THAT(LogLinesWith(warning), testing::IsEmpty());
    EXPECT_THAT(LogLinesWith(error),
                testing::ElementsAre(testing::AllOf(HasSubstr("[Warning]"),
                                                    testing::EndsWith("] h264: broken " + error))));
    EXPECT_THAT(LogLinesWith(anonymous),
                testing::ElementsAre(testing::EndsWith("] libav: lost " + anonymous)));
}

} // namespace
