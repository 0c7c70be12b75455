#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "effect/CodecLibraries.h"
#include "framework/Plugin.h"
#include "host/Host.h"
#include "tests/codecs/EffectTestSupport.h"
#include "tests/codecs/StubLibraries.h"

using namespace CodecTests;
using testing::HasSubstr;

namespace
{

TEST(GlobalSetupFailure, BrokenLibraryFailsInitKeepingEarlierReferencesAndRestoringPath)
{
    // From here on the process's libavutil is the broken stand-in.
    const LibraryReference brokenAvutil = OpenReference(BROKEN_AVUTIL_PATH);
    ASSERT_NE(brokenAvutil, nullptr) << dlerror();

    PathRestorer restorer;
    Zovazaz::SetEnvironmentText("PATH", "/usr/bin:/bin");

    EffectHost::Host host;
    host.UseEntryPoint(&EntryPointFunc, nullptr, TestModulePath());
    const EffectHost::CommandResult setup = host.GlobalSetup();
    EXPECT_THAT(setup.errorMessage, HasSubstr("Function av_opt_set_int not found"));
    EXPECT_EQ(Zovazaz::GetEnvironmentText("PATH"), "/usr/bin:/bin");

    const CodecLibraries& libraries = GetCodecLibraries();
    EXPECT_NE(libraries.x264, nullptr) << "x264 was loaded before the failure";
    EXPECT_EQ(libraries.avutil, nullptr);
    EXPECT_EQ(libraries.swscale, nullptr);

    // The effect is not initialised: the host's next commands are refused.
    EXPECT_EQ(host.ParamsSetup().error, ErrorInitFailed);
    EXPECT_EQ(host.About().error, ErrorInitFailed);
}

} // namespace
