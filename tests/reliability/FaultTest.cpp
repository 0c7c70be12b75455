// Failures injected through the host into the real module: a suite the host
// will not give, handle allocations that fail, the user's abort at every
// point of an encode, a layer that cannot be read, a data folder that cannot
// be made. After each, the effect reports the right code and goes on working.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "effect/Parameters.h"
#include "framework/Errors.h"
#include "host/Host.h"
#include "tests/reliability/ScriptedLayer.h"

namespace
{

namespace fs = std::filesystem;
using EffectHost::CommandResult;
using EffectHost::Host;
using EffectHost::World;
using Reliability::ScriptedLayer;
using testing::HasSubstr;

constexpr A_long Width = 64;
constexpr A_long Height = 48;
constexpr A_long TimeStep = 1001;
constexpr A_long FrameCount = 12;
constexpr A_long SegmentLength = 4;

class FaultTest : public ::testing::Test
{
  protected:
    void TearDown() override { Stop(); }

    // The real module on a 12-frame layer cut into segments of 4 frames,
    // without B-frames so that frames are stored in display order.
    Host& Start(Mode mode)
    {
        Stop();
        host_ = std::make_unique<Host>();
        host_->LoadModule(RUZIRAZU_MODULE_PATH);
        const CommandResult setup = host_->GlobalSetup();
        EXPECT_TRUE(setup.Succeeded()) << setup.error << ' ' << setup.errorMessage;
        EXPECT_TRUE(host_->ParamsSetup().Succeeded());
        layer_ = std::make_shared<ScriptedLayer>(Width, Height);
        host_->SetLayerSource(layer_);
        host_->SetTime({30000, TimeStep, FrameCount * TimeStep, 0});
        Set(ParamSegmentLength, SegmentLength);
        Set(ParamMode, mode);
        Set(ParamUseBFrames, 0);
        return *host_;
    }

    void Stop()
    {
        if (host_)
        {
            host_->Unload();
            for (const std::string& defect : host_->MessagesOf(EffectHost::MessageKind::Defect))
            {
                ADD_FAILURE() << "contract breach: " << defect;
            }
            host_.reset();
        }
    }

    void Set(int position, double value)
    {
        const EffectHost::ChangeResult change = host_->ChangeParameter(position, value);
        ASSERT_TRUE(change.accepted) << change.refusal;
        ASSERT_TRUE(!change.sent || change.command.Succeeded()) << change.command.errorMessage;
    }

    // Renders a frame and keeps the frames the effect checked out for it.
    CommandResult Render(A_long frame, World& output)
    {
        const std::size_t before = host_->Checkouts().layerTimes.size();
        const CommandResult result = host_->RenderFrame(frame, output);
        checkedOut_.clear();
        const std::vector<A_long>& times = host_->Checkouts().layerTimes;
        for (std::size_t i = before; i < times.size(); ++i)
        {
            checkedOut_.push_back(times[i] / TimeStep);
        }
        return result;
    }

    World RenderOk(A_long frame)
    {
        World output(Width, Height);
        const CommandResult result = Render(frame, output);
        EXPECT_TRUE(result.Succeeded()) << result.error << ' ' << result.errorMessage;
        return output;
    }

    // Served from the store: the reuse check was the only checkout.
    bool Served() const { return checkedOut_.size() == 1; }

    std::vector<fs::path> StatsFiles() const
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(std::getenv("TEMP")))
        {
            if (entry.path().filename().string().find("RuzirazuStats") != std::string::npos)
            {
                found.push_back(entry.path());
            }
        }
        return found;
    }

    void ExpectNothingOutstanding()
    {
        EXPECT_EQ(host_->Checkouts().outstanding, 0);
        EXPECT_EQ(host_->Handles().lockedHandles, 0);
        EXPECT_TRUE(host_->MessagesOf(EffectHost::MessageKind::Defect).empty());
    }

    // What a freshly loaded effect shows for each frame of a segment after
    // encoding it whole.
    std::map<A_long, std::vector<std::uint8_t>> Reference(Mode mode, A_long first)
    {
        Start(mode);
        std::map<A_long, std::vector<std::uint8_t>> outputs;
        for (A_long f = first; f < first + SegmentLength; ++f)
        {
            outputs[f] = Reliability::PixelBytes(RenderOk(f));
        }
        Stop();
        return outputs;
    }

    std::unique_ptr<Host> host_;
    std::shared_ptr<ScriptedLayer> layer_;
    std::vector<A_long> checkedOut_;
};

// ------------------------------------------------------------ suites

TEST_F(FaultTest, AWithheldSuiteFailsTheCommandsThatNeedItWith516AndNothingElse)
{
    // The effect acquires a suite on first use and keeps it, so each is
    // withheld from the start.
    for (const char* suite :
         {kPFHandleSuite, kPFParamUtilsSuite, kPFAppSuite, kPFEffectCustomUISuite,
          kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite})
    {
        SCOPED_TRACE(suite);
        Stop();
        layer_ = std::make_shared<ScriptedLayer>(Width, Height);
        host_ = std::make_unique<Host>();
        host_->WithholdSuite(suite);
        host_->LoadModule(RUZIRAZU_MODULE_PATH);
        std::vector<PF_Err> errors;
        errors.push_back(host_->GlobalSetup().error);
        errors.push_back(host_->ParamsSetup().error);
        host_->SetLayerSource(layer_);
        host_->SetTime({30000, TimeStep, FrameCount * TimeStep, 0});
        errors.push_back(host_->ChangeParameter(ParamMode, ModeConstantRateFactor).command.error);
        World output(Width, Height);
        errors.push_back(Render(1, output).error);
        errors.push_back(host_->DrawEvent(ParamInformation, PF_Rect{0, 0, 400, 120}).command.error);
        errors.push_back(host_->DrawEvent(ParamAbout, PF_Rect{0, 0, 400, 120}).command.error);
        for (PF_Err error : errors)
        {
            EXPECT_TRUE(error == PF_Err_NONE || error == PF_Err_BAD_CALLBACK_PARAM) << error;
        }
        EXPECT_THAT(errors, testing::Contains(PF_Err_BAD_CALLBACK_PARAM))
            << "nothing needed the suite";
        ExpectNothingOutstanding();
        // The logo image, once made, is kept for the next draw.
        EXPECT_LE(host_->DrawingObjects().liveObjects, 1);
        EXPECT_GE(host_->SuiteUsage(suite).refused, 1);

        // Offered again, the same effect works: renders, stores, draws.
        host_->OfferSuite(suite);
        const World first = RenderOk(1);
        const World again = RenderOk(1);
        EXPECT_TRUE(Served());
        EXPECT_EQ(Reliability::PixelBytes(again), Reliability::PixelBytes(first));
        EXPECT_TRUE(
            host_->DrawEvent(ParamInformation, PF_Rect{0, 0, 400, 120}).command.Succeeded());
        EXPECT_TRUE(host_->DrawEvent(ParamAbout, PF_Rect{0, 0, 400, 120}).command.Succeeded());
        ExpectNothingOutstanding();
    }
}

// ------------------------------------------------------------ handles

TEST_F(FaultTest, AFailedHandleAllocationLeavesItsFrameUnstoredAndTheNextRenderRecovers)
{
    for (Mode mode : {ModeConstantRateFactor, ModeAverageBitrate})
    {
        const auto reference = Reference(mode, SegmentLength);
        // Two handles per stored frame (luma, chroma): every allocation of a
        // segment's store fails once.
        for (int k = 1; k <= 2 * SegmentLength; ++k)
        {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", allocation " + std::to_string(k));
            Host& host = Start(mode);
            const World early = RenderOk(0);
            const int earlyHandles = host.Handles().liveHandles;

            host.FailNewHandleAt(k);
            World output(Width, Height);
            const CommandResult result = Render(SegmentLength + 1, output);
            EXPECT_EQ(result.error, PF_Err_OUT_OF_MEMORY);
            ExpectNothingOutstanding();
            EXPECT_THAT(StatsFiles(), testing::IsEmpty());
            const A_long failedFrame = SegmentLength + (k - 1) / 2;
            // The frames before the failing one are whole; the failing one
            // may keep its luma until it is encoded again.
            const int stored = earlyHandles + 2 * (failedFrame - SegmentLength);
            EXPECT_GE(host.Handles().liveHandles, stored);
            EXPECT_LE(host.Handles().liveHandles, stored + 1);

            host.FailNewHandleAt(0);
            // The failing frame was not stored: asking for it encodes again.
            RenderOk(failedFrame);
            EXPECT_GT(checkedOut_.size(), 1u);
            if (mode == ModeConstantRateFactor)
            {
                EXPECT_EQ(Reliability::PixelBytes(RenderOk(failedFrame)),
                          reference.at(failedFrame));
            }
            // Frames of other segments were never touched.
            EXPECT_EQ(Reliability::PixelBytes(RenderOk(0)), Reliability::PixelBytes(early));
            EXPECT_TRUE(Served());
            ExpectNothingOutstanding();
        }
    }
}

// ------------------------------------------------------------ abort

TEST_F(FaultTest, AnAbortAtAnyProgressCallOfEitherPassCancelsCleanly)
{
    for (Mode mode : {ModeConstantRateFactor, ModeAverageBitrate})
    {
        const auto reference = Reference(mode, SegmentLength);
        const int calls = mode == ModeAverageBitrate ? 2 * SegmentLength : SegmentLength;
        for (int k = 1; k <= calls; ++k)
        {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", progress call " + std::to_string(k));
            Host& host = Start(mode);
            const World early = RenderOk(0);

            int seen = 0;
            host.SetProgressSink(
                [&](A_long, A_long)
                {
                    if (++seen == k)
                    {
                        host.RaiseAbort();
                    }
                });
            World output(Width, Height);
            EXPECT_EQ(Render(SegmentLength + 2, output).error, PF_Interrupt_CANCEL);
            EXPECT_EQ(seen, k) << "the effect went on after the abort";
            EXPECT_THAT(StatsFiles(), testing::IsEmpty());
            ExpectNothingOutstanding();
            host.SetProgressSink(nullptr);
            host.RaiseAbort(false);

            // Stored before the abort: still shown, unchanged.
            EXPECT_EQ(Reliability::PixelBytes(RenderOk(0)), Reliability::PixelBytes(early));
            EXPECT_TRUE(Served());
            // Frames the final pass stored before the abort are exactly what a
            // whole encode stores; the rest are encoded afresh.
            for (A_long f = SegmentLength; f < 2 * SegmentLength; ++f)
            {
                const std::vector<std::uint8_t> shown = Reliability::PixelBytes(RenderOk(f));
                if (mode == ModeConstantRateFactor)
                {
                    EXPECT_EQ(shown, reference.at(f)) << "frame " << f;
                }
            }
            ExpectNothingOutstanding();
        }
    }
}

TEST_F(FaultTest, AnAbortRaisedWhileAFrameIsReadStopsAtTheNextCheck)
{
    for (Mode mode : {ModeConstantRateFactor, ModeAverageBitrate})
    {
        // The frame asked for is read once, for the render command, and its
        // checkouts in both passes share that read.
        const int reads = mode == ModeAverageBitrate ? 2 * SegmentLength - 1 : SegmentLength;
        for (int j = 1; j <= reads; ++j)
        {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", read " + std::to_string(j));
            Host& host = Start(mode);
            const World early = RenderOk(0);
            const std::size_t readsBefore = layer_->requested.size();
            // The abort flag is raised from outside (as by Ctrl-C) while the
            // j-th frame of the encode is read.
            std::atomic<bool> flag{false};
            host.SetAbortFlag(&flag);
            struct RaisingLayer final : EffectHost::LayerSource
            {
                std::shared_ptr<ScriptedLayer> inner;
                std::atomic<bool>* flag;
                std::size_t raiseAt;
                A_long Width() const override { return inner->Width(); }
                A_long Height() const override { return inner->Height(); }
                void FrameAt(A_long time, A_long step, A_u_long scale, World& into) const override
                {
                    inner->FrameAt(time, step, scale, into);
                    if (inner->requested.size() == raiseAt)
                    {
                        flag->store(true);
                    }
                }
            };
            auto raising = std::make_shared<RaisingLayer>();
            raising->inner = layer_;
            raising->flag = &flag;
            raising->raiseAt = readsBefore + static_cast<std::size_t>(j);
            host.SetLayerSource(raising);

            World output(Width, Height);
            EXPECT_EQ(Render(SegmentLength + 1, output).error, PF_Interrupt_CANCEL);
            // At most one more frame is read before the effect notices.
            EXPECT_LE(layer_->requested.size(), readsBefore + static_cast<std::size_t>(j) + 1);
            EXPECT_THAT(StatsFiles(), testing::IsEmpty());
            ExpectNothingOutstanding();

            flag = false;
            host.SetAbortFlag(nullptr);
            host.SetLayerSource(layer_);
            EXPECT_EQ(Reliability::PixelBytes(RenderOk(0)), Reliability::PixelBytes(early));
            EXPECT_TRUE(Served());
            RenderOk(SegmentLength + 1);
            ExpectNothingOutstanding();
        }
    }
}

// ------------------------------------------------------------ layer

TEST_F(FaultTest, AFailedLayerCheckoutReturnsItsCodeAndStoresNothingForThatFrame)
{
    for (Mode mode : {ModeConstantRateFactor, ModeAverageBitrate})
    {
        SCOPED_TRACE("mode " + std::to_string(mode));
        Host& host = Start(mode);
        const World early = RenderOk(0);
        const int earlyHandles = host.Handles().liveHandles;

        // The third frame of the segment cannot be read.
        layer_->failAt = SegmentLength + 2;
        World output(Width, Height);
        EXPECT_EQ(Render(SegmentLength, output).error, PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_THAT(host.LayerError(), HasSubstr("cannot be read"));
        ExpectNothingOutstanding();
        EXPECT_THAT(StatsFiles(), testing::IsEmpty());
        // At most the two frames read before it can have come out of the
        // encoder (x264 holds frames back to look ahead); in two passes the
        // analysis pass stores nothing.
        EXPECT_LE(host.Handles().liveHandles,
                  earlyHandles + (mode == ModeConstantRateFactor ? 2 * 2 : 0));
        EXPECT_GE(host.Handles().liveHandles, earlyHandles);

        layer_->failAt = -1;
        host.ClearLayerError();
        RenderOk(SegmentLength + 2);
        EXPECT_GT(checkedOut_.size(), 1u) << "a frame that could not be read was shown";
        EXPECT_EQ(Reliability::PixelBytes(RenderOk(0)), Reliability::PixelBytes(early));
        EXPECT_TRUE(Served());

        // A failure in the reuse check itself (after the host's own read of
        // the current frame, with a host that reads it again for the check):
        // the stored frame is not shown.
        host.ShareCommandLayer(false);
        layer_->failAt = 0;
        layer_->failSkip = 1;
        layer_->failSeen = 0;
        EXPECT_EQ(Render(0, output).error, PF_Err_INTERNAL_STRUCT_DAMAGED);
        ExpectNothingOutstanding();
        EXPECT_THAT(host.LayerError(), HasSubstr("frame 0"));
        layer_->failAt = -1;
        EXPECT_EQ(Reliability::PixelBytes(RenderOk(0)), Reliability::PixelBytes(early));
        EXPECT_TRUE(Served());
    }
}

// ------------------------------------------------------------ data folder

// Runs `body` in a child process and answers its exit status; the effect's
// data folder is set up once per process, so only a new one can see a bad
// folder.
int InChild(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0)
    {
        int status = 1;
        try
        {
            status = body();
        }
        catch (...)
        {
            status = 99;
        }
        std::_Exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(DataFolderFault, AnUnusableDataFolderFailsInitWithoutACrash)
{
    // XDG_DATA_HOME and HOME both run through a regular file: no data folder
    // can be made, and the current folder is no substitute.
    const fs::path home = fs::path(RUZIRAZU_BINARY_DIR) / "test-home" / "reliability-datadir";
    fs::remove_all(home);
    fs::create_directories(home);
    const fs::path file = home / "a-file";
    std::ofstream(file) << "not a folder";
    const fs::path data = file / "data";
    const fs::path userHome = file / "home";

    // Through the host: every command answers 1027 and the user is told why.
    std::string setupMessage;
    const int status = InChild(
        [&]
        {
            setenv("XDG_DATA_HOME", data.c_str(), 1);
            setenv("HOME", userHome.c_str(), 1);
            if (chdir(home.c_str()) != 0)
            {
                return 9;
            }
            Host host;
            host.LoadModule(RUZIRAZU_MODULE_PATH);
            const CommandResult setup = host.GlobalSetup();
            std::ofstream(home / "setup.txt") << setup.errorMessage << '\n' << setup.returnMessage;
            if (setup.error != ErrorInitFailed)
            {
                return 10;
            }
            if (host.ParamsSetup().error != ErrorInitFailed ||
                host.About().error != ErrorInitFailed)
            {
                return 11;
            }
            World output(Width, Height);
            if (host.RenderFrame(0, output).error != ErrorInitFailed)
            {
                return 12;
            }
            host.Unload();
            return 0;
        });
    EXPECT_EQ(status, 0);
    std::ifstream told(home / "setup.txt");
    const std::string setupText((std::istreambuf_iterator<char>(told)),
                                std::istreambuf_iterator<char>());
    EXPECT_THAT(setupText, HasSubstr("Data directory not available"));

    // Through the command: a clear message and the error exit status, and
    // no frame written.
    const fs::path output = home / "preview";
    const std::string command = "cd '" + home.string() + "' && XDG_DATA_HOME='" + data.string() +
                                "' HOME='" + userHome.string() + "' '" + RUZIRAZU_BINARY_DIR +
                                "/bin/ruzirazu' preview " + "--size 32x32 --duration 2 -o '" +
                                output.string() + "' 2>'" + (home / "stderr.txt").string() + "'";
    const int commandStatus = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(commandStatus)) << "the command did not end by itself";
    EXPECT_EQ(WEXITSTATUS(commandStatus), 1);
    std::ifstream err(home / "stderr.txt");
    const std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_THAT(text, HasSubstr("Data directory not available")) << text;
    EXPECT_FALSE(fs::exists(output / "frame_00000.png"));
    EXPECT_FALSE(fs::exists(home / "Zizerevu"));
}

} // namespace
