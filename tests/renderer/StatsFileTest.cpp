#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
namespace fs = std::filesystem;

namespace
{

// x264 leaks the half-built encoder when its open fails; what it allocates
// meanwhile is the library's, not the renderer's, and is not reported.
class IgnoreLibraryLeaks
{
  public:
#if defined(__SANITIZE_ADDRESS__)
    IgnoreLibraryLeaks()
    {
        __lsan_disable();
    }
    ~IgnoreLibraryLeaks()
    {
        __lsan_enable();
    }
#else
    IgnoreLibraryLeaks() = default;
#endif
    IgnoreLibraryLeaks(const IgnoreLibraryLeaks&) = delete;
    IgnoreLibraryLeaks& operator=(const IgnoreLibraryLeaks&) = delete;
};

// Gives the test a temporary folder of its own with the permissions asked
// for, and puts TEMP back afterwards.
class StatsFileTest : public RendererTest
{
  protected:
    void UseTemp(fs::perms permissions)
    {
        previousTemp_ = Zovazaz::GetEnvironmentText("TEMP");
        temp_ = fs::path(previousTemp_) /
                ("stats-" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(temp_);
        fs::create_directories(temp_);
        fs::permissions(temp_, permissions);
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

    // Runs `look` when the final pass reads its second frame (its first shares
    // the render command's read), by which time the analysis pass has closed
    // its statistics file.
    void LookDuringFinalPass(std::function<void()> look)
    {
        layer_->onFrame = [this, look](A_long frame)
        {
            if (frame == 1 && std::count(layer_->rendered.begin(), layer_->rendered.end(), 1) == 2)
            {
                look();
            }
        };
    }

    std::string previousTemp_;
    fs::path temp_;
};

TEST_F(StatsFileTest, AnAverageBitrateEncodeWritesItsStatisticsBesideTheOthersAndDeletesThem)
{
    UseTemp(fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
            fs::perms::others_read | fs::perms::others_exec);
    Start(64, 48, 40);
    SetMode("Average Bitrate");
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
    EXPECT_THAT(StatsEntries(), testing::IsEmpty());
}

// A one-pass encode makes neither a statistics file nor the private folder
// that a shared temporary folder would get, and does not need the folder.
TEST_F(StatsFileTest, AConstantRateFactorEncodeLeavesNoFileAndNeedsNoTemporaryFolder)
{
    UseTemp(fs::perms::all | fs::perms::sticky_bit);
    Start(64, 48, 40);
    std::vector<std::vector<fs::path>> seen;
    layer_->onFrame = [&](A_long) { seen.push_back(StatsEntries()); };
    RenderOk(0, 64, 48);
    ASSERT_FALSE(seen.empty());
    for (const auto& entries : seen)
    {
        EXPECT_THAT(entries, testing::IsEmpty());
    }
    EXPECT_THAT(StatsEntries(), testing::IsEmpty());

    Zovazaz::SetEnvironmentText("TEMP", (temp_ / "missing").string());
    RenderOk(20, 64, 48);
}

TEST_F(StatsFileTest, ACancelledEncodeDeletesItsStatisticsFiles)
{
    UseTemp(fs::perms::owner_all);
    EffectHost::Host& host = Start(64, 48, 40);
    SetMode("Average Bitrate");
    // The user stops it halfway through the final pass.
    host.SetProgressSink(
        [&host](A_long current, A_long total)
        {
            if (current > total * 3 / 4)
            {
                host.RaiseAbort();
            }
        });
    World output(64, 48);
    const EffectHost::CommandResult result = Render(0, output);
    EXPECT_EQ(result.error, PF_Interrupt_CANCEL);
    EXPECT_THAT(StatsEntries(), testing::IsEmpty());

    // Cancelled during the analysis pass as well.
    host.RaiseAbort(false);
    host.SetProgressSink([&host](A_long, A_long) { host.RaiseAbort(); });
    EXPECT_EQ(Render(20, output).error, PF_Interrupt_CANCEL);
    EXPECT_THAT(StatsEntries(), testing::IsEmpty());
}

TEST_F(StatsFileTest, AFolderOthersCanWriteToGetsAPrivateFolderForTheStatistics)
{
    UseTemp(fs::perms::all | fs::perms::sticky_bit);
    Start(64, 48, 40);
    SetMode("Average Bitrate");
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

TEST_F(StatsFileTest, AnEncoderThatCannotOpenStopsTheRenderWithAMessage)
{
    UseTemp(fs::perms::owner_all);
    EffectHost::Host& host = Start(64, 48, 40);
    SetMode("Average Bitrate");
    // A temporary "folder" that is a file: x264 cannot write its statistics
    // there and refuses to open the analysis pass.
    const fs::path file = temp_ / "plain-file";
    std::ofstream(file) << "x";
    Zovazaz::SetEnvironmentText("TEMP", file.string());
    World output(64, 48);
    EffectHost::CommandResult result;
    {
        [[maybe_unused]] IgnoreLibraryLeaks ignore;
        result = Render(0, output);
    }
    EXPECT_THAT(result.errorMessage, testing::HasSubstr("Video encoding failed"));
    EXPECT_THAT(result.errorMessage, testing::HasSubstr("pass 0"));
    EXPECT_TRUE(checkedOut_.empty());
    EXPECT_EQ(host.Handles().lockedHandles, 0);
}

} // namespace
