// Seeded random sequences of what a user and a compositing host do to the
// effect: controls changed, frames rendered at any time, size and preview
// resolution, input frames edited, the panel drawn, encodes aborted, the
// module unloaded and loaded again. Every render is judged twice:
//  - staleness: a frame served without encoding must have the input it had
//    when it was last encoded with the same controls (the host's own record
//    of the pixels it handed out decides, not the effect's);
//  - content: the output must be, bit for bit and in both modes, what a
//    freshly loaded effect, in a process of its own, renders for the same
//    input, controls and size. The effect keeps libx264's AVX-512 code out:
//    its macroblock-tree routine read memory it never wrote whenever a row's
//    macroblock count is not a multiple of 8, so a long-lived effect's
//    encodes depended on what earlier encodes had left in freed memory.
// After every step nothing may be left outstanding and no statistics file
// may remain. A failing sequence prints its seed and its last steps.
//
// CTest runs a few hundred steps with a fixed seed; a soak runs
//   reliability_tests --gtest_filter='Sequence*' --steps 20000 --seed 7
// or with RUZIRAZU_STEPS / RUZIRAZU_SEED in the environment; add
// --tolerate-first-look (RUZIRAZU_TOLERATE_FIRST_LOOK=1) to count the known
// stale frame at a new preview resolution instead of stopping at it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "effect/Parameters.h"
#include "host/Host.h"
#include "tests/reliability/ControlValues.h"
#include "tests/reliability/ScriptedLayer.h"

extern char** environ;

namespace
{

namespace fs = std::filesystem;
using EffectHost::CommandResult;
using EffectHost::Host;
using EffectHost::World;
using Reliability::EditScript;
using Reliability::ScriptedLayer;

constexpr A_long LayerWidth = 64;
constexpr A_long LayerHeight = 48;
constexpr A_u_long TimeScale = 30000;
constexpr A_long TimeStep = 1001;

// The controls a user changes, in the order a fresh effect gets them: the
// preset first, since choosing one rewrites the mode and the bitrate.
constexpr int ControlOrder[] = {
    ParamPresets,          ParamMode,       ParamTargetBitrate, ParamRateFactor,
    ParamKeyFrameInterval, ParamUseBFrames, ParamSegmentLength};

struct SequenceOptions
{
    long steps = 300;
    std::uint64_t seed = 20240611;
    // Lets a soak run past the known stale frame at a new preview
    // resolution (counted, not failed), to look for anything else.
    bool tolerateFirstLook = false;
};

// --steps N / --seed S on the command line win over RUZIRAZU_STEPS /
// RUZIRAZU_SEED, which win over the defaults.
SequenceOptions ReadOptions()
{
    SequenceOptions options;
    if (const char* steps = std::getenv("RUZIRAZU_STEPS"))
    {
        options.steps = std::stol(steps);
    }
    if (const char* seed = std::getenv("RUZIRAZU_SEED"))
    {
        options.seed = std::stoull(seed);
    }
    if (const char* tolerate = std::getenv("RUZIRAZU_TOLERATE_FIRST_LOOK"))
    {
        options.tolerateFirstLook = std::string(tolerate) == "1";
    }
    const std::vector<std::string> args = ::testing::internal::GetArgvs();
    for (std::size_t i = 1; i < args.size(); ++i)
    {
        if (args[i] == "--tolerate-first-look")
        {
            options.tolerateFirstLook = true;
        }
        if (i + 1 == args.size())
        {
            break;
        }
        if (args[i] == "--steps")
        {
            options.steps = std::stol(args[i + 1]);
        }
        else if (args[i] == "--seed")
        {
            options.seed = std::stoull(args[i + 1]);
        }
    }
    return options;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    double squared = 0;
    long count = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    {
        if (i % 4 == 0)
        {
            continue; // alpha
        }
        const double d = double(a[i]) - double(b[i]);
        squared += d * d;
        ++count;
    }
    return squared == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * count / squared);
}

// What the test believes the effect may have stored for a frame: the input
// script, resolution, encode size, controls and time it was encoded with.
struct Record
{
    EditScript edits;
    int downsample = 1;
    A_long encodeWidth = 0;
    A_long encodeHeight = 0;
    std::vector<double> controls;
    A_long totalTime = 0;
    // Per preview resolution, the input that the effect's hash of the frame
    // stands for: set by the encode, and by the effect's first look at
    // another resolution.
    std::map<int, EditScript> hashed;
};

class SequenceTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        options_ = ReadOptions();
        random_.seed(options_.seed);
        temp_ = fs::path(std::getenv("TEMP"));
        work_ = fs::path(RUZIRAZU_BINARY_DIR) / "test-home" /
                ("reliability-fresh-" + std::to_string(getpid()));
        fs::create_directories(work_);
        layer_ = std::make_shared<ScriptedLayer>(LayerWidth, LayerHeight);
        time_ = {TimeScale, TimeStep, 24 * TimeStep, 0};
        Load();
        // Constant rate factor first: the mode whose output is reproducible.
        Change(ParamMode, ModeConstantRateFactor);
    }

    void TearDown() override
    {
        fs::remove_all(work_);
        if (host_)
        {
            host_->Unload();
            ExpectNoDefects();
        }
        if (HasFailure() && step_ > 0)
        {
            std::cerr << "Sequence failed: replay with --seed " << options_.seed << " --steps "
                      << step_ + 1 << "\nLast steps:\n";
            for (const std::string& line : journal_)
            {
                std::cerr << "  " << line << '\n';
            }
        }
        std::cout << "steps " << step_ << ", renders " << renders_ << " (served " << served_
                  << ", encoded " << encoded_ << ", aborted " << aborted_ << "), fresh renders "
                  << freshRenders_ << "; compared bit for bit: " << crfCompared_
                  << " in constant rate factor, " << abrCompared_ << " in average bitrate";
        if (options_.tolerateFirstLook)
        {
            std::cout << "; stale at a first look at another resolution: " << staleByFirstLook_;
        }
        std::cout << '\n';
    }

    // ---- the host

    void Load()
    {
        host_ = std::make_unique<Host>();
        host_->LoadModule(RUZIRAZU_MODULE_PATH);
        const CommandResult setup = host_->GlobalSetup();
        ASSERT_TRUE(setup.Succeeded()) << setup.error << ' ' << setup.errorMessage;
        ASSERT_TRUE(host_->ParamsSetup().Succeeded());
        host_->SetLayerSource(layer_);
        host_->SetTime(time_);
        host_->SetDownsample(downsample_);
        if (!controls_.empty())
        {
            // The project keeps its control values across a reload.
            for (std::size_t i = 0; i < std::size(ControlOrder); ++i)
            {
                host_->ChangeParameter(ControlOrder[i], controls_[i]);
            }
            ASSERT_EQ(Controls(), controls_) << "the reloaded effect lost a control's value";
        }
        controls_ = Controls();
        records_.clear();
        rendererExists_ = false;
    }

    std::vector<double> Controls() const
    {
        std::vector<double> values;
        for (int position : ControlOrder)
        {
            values.push_back(Reliability::ControlValue(*host_, position));
        }
        return values;
    }

    void Change(int position, double value)
    {
        const EffectHost::ChangeResult change = host_->ChangeParameter(position, value);
        ASSERT_TRUE(change.accepted) << change.refusal;
        if (change.sent)
        {
            ASSERT_TRUE(change.command.Succeeded()) << change.command.errorMessage;
            // Any user change starts the stored frames afresh.
            records_.clear();
            rendererExists_ = false;
            EXPECT_EQ(host_->Handles().liveHandles, 0) << "stored frames survived a user change";
        }
        controls_ = Controls();
    }

    A_long FrameCount() const { return std::max<A_long>(time_.totalTime / time_.timeStep, 1); }

    // The frames of the segment that holds `frame`, as the effect cuts them.
    std::pair<A_long, A_long> SegmentOf(A_long frame) const
    {
        const auto length = static_cast<A_long>(controls_[6]);
        const A_long segment = length > 0 ? length : FrameCount();
        const A_long first = frame / segment * segment;
        return {first, std::min(FrameCount(), first + segment)};
    }

    // ---- the fresh-render oracle

    // The output a freshly loaded effect gives, or nothing when it failed.
    // `perturb`, when not 0, has glibc fill the memory the child's allocator
    // hands out and takes back with bytes made from it (MALLOC_PERTURB_), so
    // that a read of memory nobody wrote changes the picture.
    std::optional<std::vector<std::uint8_t>>
    FreshRender(A_long frame, const Record& record, A_long width, A_long height, int perturb = 0)
    {
        std::ostringstream request;
        ScriptedLayer copy(LayerWidth, LayerHeight);
        copy.edits = record.edits;
        copy.Write(request);
        request << "time " << TimeScale << ' ' << TimeStep << ' ' << record.totalTime << '\n'
                << "downsample " << record.downsample << '\n'
                << "frame " << frame << '\n'
                << "output " << width << ' ' << height << '\n';
        for (std::size_t i = 0; i < std::size(ControlOrder); ++i)
        {
            request << "control " << ControlOrder[i] << ' ' << record.controls[i] << '\n';
        }
        const std::string text = request.str();
        const std::string key = text + "perturb " + std::to_string(perturb);
        if (const auto cached = freshCache_.find(key); cached != freshCache_.end())
        {
            return cached->second;
        }

        const fs::path requestPath = work_ / "request.txt";
        const fs::path outputPath = work_ / "output.argb";
        std::ofstream(requestPath) << text;
        fs::remove(outputPath);
        std::string program = RELIABILITY_FRESH_RENDER;
        std::string requestArg = requestPath.string();
        std::string outputArg = outputPath.string();
        char* argv[] = {program.data(), requestArg.data(), outputArg.data(), nullptr};
        std::vector<std::string> variables;
        for (char** variable = environ; *variable != nullptr; ++variable)
        {
            if (!std::string_view(*variable).starts_with("MALLOC_PERTURB_="))
            {
                variables.emplace_back(*variable);
            }
        }
        if (perturb != 0)
        {
            variables.push_back("MALLOC_PERTURB_=" + std::to_string(perturb));
        }
        std::vector<char*> envp;
        for (std::string& variable : variables)
        {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        pid_t child = 0;
        if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        {
            ADD_FAILURE() << "cannot start " << program;
            return std::nullopt;
        }
        int status = 0;
        waitpid(child, &status, 0);
        ++freshRenders_;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        {
            ADD_FAILURE() << "the fresh render failed (status " << status << ") for:\n" << text;
            return std::nullopt;
        }
        std::ifstream in(outputPath, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        freshCache_[key] = bytes;
        if (freshCache_.size() > 64)
        {
            freshCache_.erase(freshCache_.begin());
        }
        return bytes;
    }

    void CompareWithFresh(A_long frame, const Record& record, const World& output)
    {
        const auto fresh = FreshRender(frame, record, output.Width(), output.Height());
        if (!fresh)
        {
            return;
        }
        const std::vector<std::uint8_t> shown = Reliability::PixelBytes(output);
        ASSERT_EQ(shown.size(), fresh->size());
        const bool twoPass = static_cast<int>(record.controls[1]) == ModeAverageBitrate;
        ++(twoPass ? abrCompared_ : crfCompared_);
        // Bit for bit: the same input and controls must give the same
        // picture. How far off a differing one is helps tell a wrong frame
        // or setting (far) from an encoder that decided differently (near).
        EXPECT_TRUE(shown == *fresh)
            << "frame " << frame << " differs from a fresh render: " << Psnr(*fresh, shown)
            << " dB, in "
            << DifferingBlockShare(*fresh, shown, output.Width(), output.Height()) * 100
            << "% of its 16 x 16 blocks";
    }

    // The share of 16 x 16 blocks of the picture in which any pixel differs.
    static double DifferingBlockShare(const std::vector<std::uint8_t>& a,
                                      const std::vector<std::uint8_t>& b, A_long width,
                                      A_long height)
    {
        const A_long columns = (width + 15) / 16;
        const A_long rows = (height + 15) / 16;
        std::vector<bool> differs(static_cast<std::size_t>(columns * rows), false);
        for (A_long y = 0; y < height; ++y)
        {
            for (A_long x = 0; x < width; ++x)
            {
                const std::size_t at = static_cast<std::size_t>((y * width + x) * 4);
                if (!std::equal(a.begin() + at, a.begin() + at + 4, b.begin() + at))
                {
                    differs[static_cast<std::size_t>((y / 16) * columns + x / 16)] = true;
                }
            }
        }
        return static_cast<double>(std::count(differs.begin(), differs.end(), true)) /
               static_cast<double>(differs.size());
    }

    // ---- actions

    void RenderStep()
    {
        const A_long count = FrameCount();
        // Now and then a time past the layer's end, which shows its last frame.
        const A_long frame = Pick(10) == 0 ? count + Pick(3) : Pick(count);
        A_long width = host_->RenderWidth();
        A_long height = host_->RenderHeight();
        if (Pick(3) == 0)
        {
            static constexpr std::pair<A_long, A_long> sizes[] = {
                {63, 47}, {47, 35}, {33, 25}, {17, 17}, {15, 20}, {16, 16}, {80, 60}, {64, 15}};
            std::tie(width, height) = sizes[Pick(std::size(sizes))];
        }
        const A_long shownFrame = std::clamp<A_long>(frame, 0, count - 1);
        const auto [first, end] = SegmentOf(shownFrame);
        const bool twoPass = static_cast<int>(controls_[1]) == ModeAverageBitrate;
        const int progressTotal = (end - first) * (twoPass ? 2 : 1);
        int abortAt = Pick(7) == 0 ? 1 + Pick(progressTotal) : 0;

        std::ostringstream what;
        what << "render frame " << frame << " at " << width << " x " << height << ", 1/"
             << downsample_ << (abortAt ? ", abort at progress " + std::to_string(abortAt) : "");
        Journal(what.str());

        int progressCalls = 0;
        host_->SetProgressSink(
            [&](A_long, A_long)
            {
                if (++progressCalls == abortAt)
                {
                    host_->RaiseAbort();
                }
            });
        const std::size_t checkoutsBefore = host_->Checkouts().layerTimes.size();
        World output(width, height);
        output.Fill(PF_Pixel{7, 7, 7, 7});
        const CommandResult result = host_->RenderFrame(frame, output);
        host_->SetProgressSink(nullptr);
        host_->RaiseAbort(false);
        ++renders_;

        const std::vector<A_long> times = host_->Checkouts().layerTimes;
        std::vector<A_long> checkedOut;
        for (std::size_t i = checkoutsBefore; i < times.size(); ++i)
        {
            checkedOut.push_back(times[i] / time_.timeStep);
        }

        if (width < 16 || height < 16)
        {
            ASSERT_TRUE(result.Succeeded()) << result.errorMessage;
            EXPECT_TRUE(checkedOut.empty());
            for (A_long y = 0; y < height; ++y)
            {
                for (A_long x = 0; x < width; ++x)
                {
                    ASSERT_EQ(output.At(x, y), (PF_Pixel{0, 0, 0, 0}));
                }
            }
            return;
        }

        const A_long evenWidth = width & ~1;
        const A_long evenHeight = height & ~1;
        // The effect keeps its stored frames only for the same settings and
        // an output no larger than it last encoded.
        if (!rendererExists_ || rendererControls_ != controls_ ||
            rendererTotalTime_ != time_.totalTime || evenWidth > rendererWidth_ ||
            evenHeight > rendererHeight_)
        {
            records_.clear();
            rendererExists_ = true;
            rendererControls_ = controls_;
            rendererTotalTime_ = time_.totalTime;
            rendererWidth_ = 0;
            rendererHeight_ = 0;
        }

        const bool served = progressCalls == 0 && checkedOut.size() == 1;
        if (served)
        {
            ASSERT_TRUE(result.Succeeded()) << result.error << ' ' << result.errorMessage;
            ASSERT_EQ(checkedOut[0], shownFrame);
            ++served_;
            const auto found = records_.find(shownFrame);
            ASSERT_NE(found, records_.end())
                << "frame " << shownFrame << " was shown without encoding, but it was never "
                << "encoded with these settings";
            Record& record = found->second;
            const World now = layer_->FrameAtResolution(shownFrame, layer_->edits, downsample_);
            const World then = layer_->FrameAtResolution(shownFrame, record.edits, downsample_);
            const bool firstLook = record.hashed.count(downsample_) == 0;
            if (firstLook)
            {
                record.hashed[downsample_] = layer_->edits;
            }
            if (Reliability::PixelBytes(now) != Reliability::PixelBytes(then))
            {
                const World hashed =
                    layer_->FrameAtResolution(shownFrame, record.hashed[downsample_], downsample_);
                if (options_.tolerateFirstLook &&
                    Reliability::PixelBytes(now) == Reliability::PixelBytes(hashed))
                {
                    ++staleByFirstLook_;
                    return;
                }
                FAIL() << "frame " << shownFrame << " was shown stale: its input changed since "
                       << "it was encoded (at 1/" << record.downsample << ", now 1/" << downsample_
                       << (firstLook ? ", the first look at this resolution" : "") << ")";
            }
            if (record.encodeWidth == evenWidth && record.encodeHeight == evenHeight)
            {
                CompareWithFresh(shownFrame, record, output);
            }
            return;
        }

        // An encode: perhaps the reuse check, then every frame of the segment
        // once per pass.
        rendererWidth_ = evenWidth;
        rendererHeight_ = evenHeight;
        std::vector<A_long> pass;
        for (A_long f = first; f < end; ++f)
        {
            pass.push_back(f);
        }
        Record record;
        record.edits = layer_->edits;
        record.downsample = downsample_;
        record.encodeWidth = evenWidth;
        record.encodeHeight = evenHeight;
        record.controls = controls_;
        record.totalTime = time_.totalTime;
        record.hashed[downsample_] = layer_->edits;
        if (abortAt > 0 && abortAt <= progressTotal)
        {
            ++aborted_;
            EXPECT_EQ(result.error, PF_Interrupt_CANCEL) << result.errorMessage;
            // Frames stored before the abort stay, with this input; the rest
            // are gone and get encoded again.
            for (A_long f = first; f < end; ++f)
            {
                records_[f] = record;
            }
            return;
        }
        ASSERT_TRUE(result.Succeeded()) << result.error << ' ' << result.errorMessage;
        ++encoded_;
        std::vector<A_long> expected;
        if (checkedOut.size() == pass.size() * (twoPass ? 2 : 1) + 1)
        {
            expected.push_back(shownFrame); // the reuse check found the frame changed
        }
        for (int p = 0; p < (twoPass ? 2 : 1); ++p)
        {
            expected.insert(expected.end(), pass.begin(), pass.end());
        }
        ASSERT_EQ(checkedOut, expected) << "the encode did not take the segment's frames";
        for (A_long f = first; f < end; ++f)
        {
            records_[f] = record;
        }
        CompareWithFresh(shownFrame, record, output);
    }

    void EditStep()
    {
        const A_long frame = Pick(FrameCount());
        Reliability::Edit edit;
        const int choice = Pick(20);
        if (choice < 11)
        {
            edit.kind = Reliability::Edit::Pixel;
            edit.x = Pick(LayerWidth);
            edit.y = Pick(LayerHeight);
            edit.value = 1 + Pick(255);
        }
        else if (choice < 16)
        {
            edit.kind = Reliability::Edit::ShiftBlock;
            edit.x = Pick(LayerWidth - 8);
            edit.y = Pick(LayerHeight - 8);
            edit.width = 6 + Pick(12);
            edit.height = 6 + Pick(12);
            edit.dx = Pick(21) - 10;
            edit.dy = Pick(9) - 4;
        }
        else if (choice < 18)
        {
            edit.kind = Reliability::Edit::Transparent;
        }
        else
        {
            Journal("restore frame " + std::to_string(frame));
            layer_->edits.erase(frame);
            return;
        }
        layer_->edits[frame].push_back(edit);
        Journal("edit frame " + std::to_string(frame) + ": kind " + std::to_string(edit.kind) +
                " at " + std::to_string(edit.x) + ", " + std::to_string(edit.y));
    }

    void ControlStep()
    {
        struct Choice
        {
            int position;
            std::vector<double> values;
        };
        static const Choice choices[] = {
            {ParamSegmentLength, {0, 1, 3, 4, 7, 15}},
            {ParamPresets, {PresetManual, PresetYouTubeStandard, PresetYouTubeHigh, PresetVimeo}},
            {ParamMode, {ModeAverageBitrate, ModeConstantRateFactor, ModeConstantRateFactor}},
            {ParamTargetBitrate, {500, 800, 1500, 4000}},
            {ParamRateFactor, {10, 18, 23, 30, 45}},
            {ParamKeyFrameInterval, {1, 3, 10, 30}},
            {ParamUseBFrames, {0, 1}},
        };
        const Choice& choice = choices[Pick(std::size(choices))];
        const double value = choice.values[Pick(choice.values.size())];
        Journal("control " + std::to_string(choice.position) + " = " + std::to_string(value));
        Change(choice.position, value);
    }

    void ResolutionStep()
    {
        downsample_ = 1 + Pick(3);
        Journal("resolution 1/" + std::to_string(downsample_));
        host_->SetDownsample(downsample_);
    }

    void DurationStep()
    {
        time_.totalTime = (Pick(2) == 0 ? 24 : 19) * TimeStep;
        Journal("duration " + std::to_string(time_.totalTime / TimeStep) + " frames");
        host_->SetTime(time_);
    }

    void PanelStep()
    {
        Journal("draw the panel");
        const EffectHost::Raster panel = host_->DrawPanel();
        EXPECT_TRUE(host_->MessagesOf(EffectHost::MessageKind::Error).empty());
    }

    void ReloadStep()
    {
        Journal("unload and load the module");
        host_->Unload();
        ExpectNoDefects();
        host_.reset();
        Load();
    }

    // ---- after every step

    void ExpectNoDefects()
    {
        for (const std::string& defect : host_->MessagesOf(EffectHost::MessageKind::Defect))
        {
            ADD_FAILURE() << "the host saw a contract breach: " << defect;
        }
    }

    void CheckInvariants()
    {
        ExpectNoDefects();
        host_->ClearMessages();
        EXPECT_EQ(host_->Checkouts().outstanding, 0) << "a checkout was not given back";
        const EffectHost::HandleAccounting handles = host_->Handles();
        EXPECT_EQ(handles.lockedHandles, 0) << "a handle was left locked";
        // Each stored frame holds two handles (luma, chroma), nothing else.
        EXPECT_EQ(handles.liveHandles % 2, 0);
        EXPECT_LE(handles.liveHandles, 2 * static_cast<int>(records_.size()))
            << "more handles than frames that can be stored";
        // The logo image is the only drawing object kept between events.
        EXPECT_LE(host_->DrawingObjects().liveObjects, 1);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(temp_))
        {
            EXPECT_EQ(entry.path().filename().string().find("RuzirazuStats"), std::string::npos)
                << "left behind: " << entry.path();
        }
    }

    int Pick(std::size_t n) { return static_cast<int>(random_() % n); }

    void Journal(std::string line)
    {
        journal_.push_back(std::to_string(step_) + ": " + std::move(line));
        if (journal_.size() > 40)
        {
            journal_.pop_front();
        }
    }

    SequenceOptions options_;
    std::mt19937_64 random_;
    fs::path temp_;
    fs::path work_;
    std::unique_ptr<Host> host_;
    std::shared_ptr<ScriptedLayer> layer_;
    EffectHost::TimeSettings time_;
    int downsample_ = 1;
    std::vector<double> controls_;

    std::map<A_long, Record> records_;
    bool rendererExists_ = false;
    std::vector<double> rendererControls_;
    A_long rendererTotalTime_ = 0;
    A_long rendererWidth_ = 0;
    A_long rendererHeight_ = 0;

    std::map<std::string, std::vector<std::uint8_t>> freshCache_;
    std::deque<std::string> journal_;
    long step_ = 0;
    long renders_ = 0;
    long served_ = 0;
    long encoded_ = 0;
    long aborted_ = 0;
    long freshRenders_ = 0;
    long crfCompared_ = 0;
    long abrCompared_ = 0;
    long staleByFirstLook_ = 0;
};

// A frame edited while the preview showed another resolution is encoded again
// at the new resolution rather than shown from before the edit.
TEST_F(SequenceTest, AFrameEditedBeforeTheFirstLookAtAnotherResolutionIsNotShownStale)
{
    ASSERT_FALSE(HasFailure());
    World output(LayerWidth, LayerHeight);
    ASSERT_TRUE(host_->RenderFrame(2, output).Succeeded());
    const std::size_t before = host_->Checkouts().layerTimes.size();
    // The user paints over the frame, then previews at half resolution.
    Reliability::Edit edit;
    edit.kind = Reliability::Edit::ShiftBlock;
    edit.x = 10;
    edit.y = 10;
    edit.width = 16;
    edit.height = 16;
    edit.dx = 12;
    layer_->edits[2].push_back(edit);
    host_->SetDownsample(2);
    World half(host_->RenderWidth(), host_->RenderHeight());
    ASSERT_TRUE(host_->RenderFrame(2, half).Succeeded());
    EXPECT_GT(host_->Checkouts().layerTimes.size(), before + 1)
        << "the frame was shown from before the edit";
}

// A picture whose rows are not a multiple of 8 macroblocks (46 pixels make 3)
// comes out the same after other encodes in the process and whatever freed
// memory holds, in both modes. libx264's AVX-512 macroblock-tree routine read
// past the end of such a row into memory it never wrote, which changed the
// encode from one time to the next for moving texture such as this.
TEST_F(SequenceTest, ASmallEncodeIsTheSameAfterOtherEncodesAndWhateverMemoryHeld)
{
    ASSERT_FALSE(HasFailure());
    for (A_long f = 0; f < FrameCount(); ++f)
    {
        // A textured panel panning 2 pixels a frame and a band sliding 6.
        layer_->edits[f] = {{Reliability::Edit::Grain, 2, 17, 18, 12, 2 * f, 0, 99},
                            {Reliability::Edit::Grain, 0, 4, 46, 5, 6 * f, 0, 7}};
    }
    constexpr A_long Frame = 5;
    const auto render = [&](A_long width, A_long height)
    {
        World output(width, height);
        const CommandResult result = host_->RenderFrame(Frame, output);
        EXPECT_TRUE(result.Succeeded()) << result.error << ' ' << result.errorMessage;
        return Reliability::PixelBytes(output);
    };
    for (const int mode : {ModeConstantRateFactor, ModeAverageBitrate})
    {
        SCOPED_TRACE(mode == ModeAverageBitrate ? "average bitrate" : "constant rate factor");
        const int other = mode == ModeAverageBitrate ? ModeConstantRateFactor : ModeAverageBitrate;
        Change(ParamMode, mode);
        const std::vector<std::uint8_t> first = render(46, 34);
        Change(ParamMode, other);
        render(64, 48);
        render(80, 60);
        // Back to the same controls: the change drops the stored frames, so
        // this encodes the picture again.
        Change(ParamMode, mode);
        EXPECT_TRUE(render(46, 34) == first) << "a second encode in the process differs";

        Record record;
        record.edits = layer_->edits;
        record.controls = controls_;
        record.totalTime = time_.totalTime;
        for (const int perturb : {85, 170})
        {
            const auto fresh = FreshRender(Frame, record, 46, 34, perturb);
            ASSERT_TRUE(fresh);
            EXPECT_TRUE(*fresh == first) << "differs in a process with MALLOC_PERTURB_=" << perturb;
        }
    }
}

TEST_F(SequenceTest, RandomHostActionsNeverShowAStaleOrWrongFrame)
{
    ASSERT_FALSE(HasFailure());
    for (step_ = 0; step_ < options_.steps && !HasFailure(); ++step_)
    {
        const int action = Pick(100);
        if (action < 45)
        {
            RenderStep();
        }
        else if (action < 70)
        {
            EditStep();
        }
        else if (action < 82)
        {
            ControlStep();
        }
        else if (action < 88)
        {
            ResolutionStep();
        }
        else if (action < 91)
        {
            DurationStep();
        }
        else if (action < 96)
        {
            PanelStep();
        }
        else
        {
            ReloadStep();
        }
        if (!HasFailure())
        {
            CheckInvariants();
        }
    }
}

} // namespace
