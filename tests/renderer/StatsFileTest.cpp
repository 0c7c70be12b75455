#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "support/Paths.h"
#include "support/System.h"
#include "tests/renderer/RendererFixture.h"

using namespace RendererTests;
using testing::IsEmpty;
namespace fs = std::filesystem;

namespace
{

// Gives the test a temporary folder of its own and puts TEMP back afterwards.
class StatsFileTest : public RendererTest
{
  protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        previousTemp_ = Zovazaz::GetEnvironmentText("TEMP");
        temp_ = fs::path(previousTemp_) / "renderer-stats";
        fs::remove_all(temp_);
        fs::create_directories(temp_);
        Zovazaz::SetEnvironmentText("TEMP", temp_.string());
    }

    void TearDown() override
    {
        RendererTest::TearDown();
        if (!previousTemp_.empty())
        {
            Zovazaz::SetEnvironmentText("TEMP", previousTemp_);
        }
    }

    // Everything under the temporary folder whose name mentions the stats.
    std::vector<fs::path> StatsEntries() const
    {
        std::vector<fs::path> found;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temp_))
        {
            if (entry.path().filename().string().find("RuzirazuStats") != std::string::npos)
            {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    static std::string StatsFileName()
    {
        return "RuzirazuStats_" + std::to_string(Zovazaz::GetCurrentProcessIdentifier()) + "_" +
               std::to_string(Zovazaz::GetCurrentThreadIdentifier()) + ".txt";
    }

    // Runs `look` when the final pass reports its first frame, by which time
    // the analysis pass has closed its statistics file.
    void LookDuringFinalPass(std::function<void()> look)
    {
        host_->SetProgressSink(
            [look](A_long current, A_long total)
            {
                if (current == total / 2 + 1)
                {
                    look();
                }
            });
    }

    std::string previousTemp_;
    fs::path temp_;
};

TEST_F(StatsFileTest, TwoPassesWriteTheirStatisticsBesideTheOthersOrInAPrivateFolderAndDeleteThem)
{
    fs::permissions(temp_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    EffectHost::Host& host = Start(40);
    Choose(ParamMode, "Average Bitrate");
    bool looked = false;
    LookDuringFinalPass(
        [&]
        {
            looked = true;
            EXPECT_TRUE(fs::is_regular_file(temp_ / StatsFileName()));
            EXPECT_TRUE(fs::is_regular_file(temp_ / (StatsFileName() + ".mbtree")));
        });
    RenderOk(0, 64, 48);
    EXPECT_TRUE(looked);
    EXPECT_THAT(StatsEntries(), IsEmpty());

    // The user stops an encode halfway through the final pass, and another
    // during the analysis pass.
    host.SetProgressSink([&host](A_long current, A_long total)
                         { host.RaiseAbort(current > total * 3 / 4); });
    World output(64, 48);
    EXPECT_EQ(Render(20, output).error, PF_Interrupt_CANCEL);
    EXPECT_THAT(StatsEntries(), IsEmpty());
    host.RaiseAbort(false);
    host.SetProgressSink([&host](A_long, A_long) { host.RaiseAbort(); });
    EXPECT_EQ(Render(35, output).error, PF_Interrupt_CANCEL);
    EXPECT_THAT(StatsEntries(), IsEmpty());

    // A temporary "folder" that is a file: x264 cannot write its statistics
    // there and refuses to open the analysis pass.
    host.RaiseAbort(false);
    host.SetProgressSink(nullptr);
    const fs::path file = temp_ / "plain-file";
    std::ofstream(file) << "x";
    Zovazaz::SetEnvironmentText("TEMP", file.string());
    EffectHost::CommandResult result;
    {
#if defined(__SANITIZE_ADDRESS__)
        // x264 leaks the half-built encoder when its open fails: the
        // library's allocations, not the renderer's.
        __lsan::ScopedDisabler ignoreLibraryLeaks;
#endif
        result = Render(35, output);
    }
    EXPECT_THAT(result.errorMessage, testing::HasSubstr("Video encoding failed"));
    EXPECT_THAT(result.errorMessage, testing::HasSubstr("pass 0"));
    EXPECT_TRUE(checkedOut_.empty());
    EXPECT_EQ(host.Handles().lockedHandles, 0);

    // In a folder others can write to, a one-pass encode makes neither a
    // statistics file nor the private folder that two passes get there, and
    // does not need the folder; unloading the module removes the private one.
    fs::permissions(temp_, fs::perms::all | fs::perms::sticky_bit);
    Zovazaz::SetEnvironmentText("TEMP", temp_.string());
    Start(40);
    std::vector<std::vector<fs::path>> seen;
    host_->SetProgressSink([&](A_long, A_long) { seen.push_back(StatsEntries()); });
    RenderOk(0, 64, 48);
    ASSERT_FALSE(seen.empty());
    EXPECT_THAT(seen, testing::Each(IsEmpty()));
    EXPECT_THAT(StatsEntries(), IsEmpty());
    Zovazaz::SetEnvironmentText("TEMP", (temp_ / "missing").string());
    RenderOk(20, 64, 48);

    Zovazaz::SetEnvironmentText("TEMP", temp_.string());
    Choose(ParamMode, "Average Bitrate");
    fs::path privateFolder;
    LookDuringFinalPass(
        [&]
        {
            EXPECT_FALSE(fs::exists(temp_ / StatsFileName()));
            for (const fs::directory_entry& entry : fs::directory_iterator(temp_))
            {
                if (entry.is_directory() && fs::is_regular_file(entry.path() / StatsFileName()))
                {
                    privateFolder = entry.path();
                }
            }
        });
    RenderOk(0, 64, 48);
    ASSERT_FALSE(privateFolder.empty());
    struct stat status = {};
    ASSERT_EQ(::stat(privateFolder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_EQ(status.st_uid, ::geteuid());
    EXPECT_FALSE(fs::exists(privateFolder / StatsFileName()));

    // The next encode uses the same folder; unloading the module removes it.
    LookDuringFinalPass([&] { EXPECT_TRUE(fs::exists(privateFolder / StatsFileName())); });
    RenderOk(20, 64, 48);
    EXPECT_TRUE(fs::is_directory(privateFolder));
    host_->Unload();
    EXPECT_FALSE(fs::exists(privateFolder));
}

} // namespace
