// The Information and About areas drawn through the host by the real module,
// with real x264 encoding small frames.
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect/Parameters.h"
#include "host/Host.h"
#include "host/Panel.h"
#include "support/Log.h"

namespace
{

using EffectHost::DrawResult;
using EffectHost::Host;
using EffectHost::MessageKind;
using EffectHost::World;

constexpr A_u_long TimeScale = 30000;
constexpr A_long TimeStep = 1001;
constexpr int LogoWidth = 155;
constexpr int LogoHeight = 120;

std::string ReadLog()
{
    std::ifstream file(Zovazaz::Log::GetLogFilePath(), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The number that follows `label` in `text`, or -1 when the label is absent.
long long NumberAfter(const std::string& text, const std::string& label)
{
    const std::size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + label.size()));
}

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

// What an encode of one segment told the log: its frames and the bytes the
// encoder produced for them.
struct SegmentSummary
{
    long long first = -1;
    long long last = -1;
    long long encodedBytes = -1;
};

class InformationPanelTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        host_ = std::make_unique<Host>();
        host_->LoadModule(RUZIRAZU_MODULE_PATH);
        ASSERT_TRUE(host_->GlobalSetup().Succeeded());
        ASSERT_TRUE(host_->ParamsSetup().Succeeded());
        host_->SetLayerSize(48, 32);
        host_->SetTime({TimeScale, TimeStep, 40 * TimeStep, 0});
        ChoosePopup(ParamMode, "Constant Rate Factor");
    }

    void TearDown() override
    {
        host_->Unload();
        for (const EffectHost::HostMessage& message : host_->Messages())
        {
            EXPECT_NE(message.kind, MessageKind::Defect) << message.text;
            EXPECT_NE(message.kind, MessageKind::Error) << message.text;
        }
    }

    void Change(int position, double value)
    {
        const EffectHost::ChangeResult result = host_->ChangeParameter(position, value);
        ASSERT_TRUE(result.accepted) << result.refusal;
        ASSERT_TRUE(result.command.Succeeded()) << result.command.errorMessage;
    }

    void ChoosePopup(int position, const std::string& item)
    {
        const EffectHost::ChangeResult result = host_->ChangePopup(position, item);
        ASSERT_TRUE(result.accepted) << result.refusal;
        ASSERT_TRUE(result.command.Succeeded()) << result.command.errorMessage;
    }

    // Renders a frame and returns the segment summary that its encode logged
    // (all -1 when nothing was encoded).
    SegmentSummary Render(A_long frame, A_long width = 48, A_long height = 32)
    {
        const std::size_t logBefore = ReadLog().size();
        World output(width, height);
        const EffectHost::CommandResult result = host_->RenderFrame(frame, output);
        EXPECT_TRUE(result.Succeeded()) << result.error << " " << result.errorMessage;
        const std::string logged = ReadLog().substr(logBefore);
        SegmentSummary summary;
        const std::size_t frames = logged.find("frames: ");
        if (frames != std::string::npos)
        {
            summary.first = NumberAfter(logged.substr(frames), "frames: ");
            summary.last = NumberAfter(logged.substr(frames), " - ");
            summary.encodedBytes = NumberAfter(logged, "Encoded size: ");
        }
        return summary;
    }

    // Draws the Information area at the current time and gives the lines the
    // effect drew, one per string.
    std::vector<std::string> DrawInformation(const PF_Rect& frame = {10, 100, 400, 175})
    {
        const std::size_t before = host_->DrawingObjects().strings.size();
        last_ = host_->DrawEvent(ParamInformation, frame);
        EXPECT_TRUE(last_.handled);
        EXPECT_TRUE(last_.command.Succeeded()) << last_.command.errorMessage;
        const std::vector<std::u16string> strings = host_->DrawingObjects().strings;
        std::vector<std::string> lines;
        for (std::size_t i = before; i < strings.size(); ++i)
        {
            lines.push_back(Narrow(strings[i]));
        }
        // The text ends with a line feed, after which nothing is left to show.
        if (!lines.empty() && lines.back().empty())
        {
            lines.pop_back();
        }
        return lines;
    }

    std::string InformationLine(A_long frame, std::size_t line)
    {
        host_->SetCurrentFrame(frame);
        const std::vector<std::string> lines = DrawInformation();
        return line < lines.size() ? lines[line] : "(no line " + std::to_string(line) + ")";
    }

    std::unique_ptr<Host> host_;
    DrawResult last_;
};

// A byte count as the panel writes it, worked out by hand for the ranges
// these small encodes produce: bytes below 1 K, else K with a truncated tenth.
std::string PanelSize(long long bytes)
{
    if (bytes < 1024)
    {
        return std::to_string(bytes) + " ";
    }
    const long long tenths = bytes * 10 / 1024 % 10;
    return std::to_string(bytes / 1024) + (tenths ? "." + std::to_string(tenths) : "") + " K";
}

TEST_F(InformationPanelTest, ReadsNotAvailableUntilTheFirstRenderAndAfterEveryUserChange)
{
    EXPECT_EQ(DrawInformation(), std::vector<std::string>{"N/A"});

    Render(3);
    EXPECT_EQ(DrawInformation().size(), 5u);

    Change(ParamRateFactor, 30);
    EXPECT_EQ(DrawInformation(), std::vector<std::string>{"N/A"});
}

TEST_F(InformationPanelTest, SecondLineShowsTheRecordOfTheFrameUnderTheTimeIndicator)
{
    // One frame per segment: the frame is the first picture of its own
    // stream, so an IDR, and the segment's bytes are the frame's bytes.
    Change(ParamSegmentLength, 1);
    const SegmentSummary summary = Render(7);
    ASSERT_EQ(summary.first, 7);
    ASSERT_EQ(summary.last, 7);
    ASSERT_GT(summary.encodedBytes, 0);

    EXPECT_EQ(InformationLine(7, 1),
              "Frame 7 Segment 7  Type: IDR  Encoded Size: " + PanelSize(summary.encodedBytes));
}

// A frame past the last record is unknown with no size; a time past the
// layer's end shows the last frame, as the output does.
TEST_F(InformationPanelTest, AFramePastTheRecordsIsUnknownAndATimePastTheLayersEndIsItsLastFrame)
{
    Change(ParamSegmentLength, 5);
    Render(2);
    EXPECT_EQ(InformationLine(20, 1), "Frame 20 Segment 4  Type: Unknown  Encoded Size: 0 ");

    const SegmentSummary summary = Render(45);
    ASSERT_EQ(summary.first, 35);
    ASSERT_EQ(summary.last, 39);

    const std::string line = InformationLine(45, 1);
    EXPECT_EQ(line.rfind("Frame 39 Segment 7  Type: ", 0), 0u) << line;
    EXPECT_EQ(line.find("Unknown"), std::string::npos) << line;
    EXPECT_EQ(line.find("Encoded Size: 0 "), std::string::npos) << line;
}

TEST_F(InformationPanelTest, TotalsCoverTheRecordsOfEverySegment)
{
    Change(ParamSegmentLength, 4);
    const SegmentSummary first = Render(1, 64, 48);
    const SegmentSummary second = Render(9, 64, 48);
    ASSERT_EQ(second.first, 8);

    // Shown at a frame of neither segment: the totals do not depend on it.
    host_->SetCurrentFrame(5);
    const std::vector<std::string> lines = DrawInformation();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Dimensions: 64 x 48");
    EXPECT_EQ(lines[1], "Frame 5 Segment 1  Type: Unknown  Encoded Size: 0 ");
    EXPECT_EQ(lines[2],
              "Total Encoded Size: " + PanelSize(first.encodedBytes + second.encodedBytes));
    // The stored frames are the only host memory the effect holds.
    EXPECT_EQ(lines[4], "Memory Usage: " +
                            PanelSize(static_cast<long long>(host_->Handles().bytesOutstanding)));
    // 8 stored frames of 1001/30000 s: bits per millisecond.
    const long long milliseconds = 8LL * TimeStep * 1000 / TimeScale;
    EXPECT_EQ(lines[3],
              "Average Bitrate: " +
                  std::to_string((first.encodedBytes + second.encodedBytes) * 8 / milliseconds));
}

TEST_F(InformationPanelTest, TargetIsShownOnlyInAverageBitrateMode)
{
    Render(0);
    const std::string constantRate = InformationLine(0, 3);
    EXPECT_EQ(constantRate.rfind("Average Bitrate: ", 0), 0u) << constantRate;
    EXPECT_EQ(constantRate.find("Target"), std::string::npos) << constantRate;

    ChoosePopup(ParamMode, "Average Bitrate");
    Change(ParamTargetBitrate, 800);
    Render(0);
    const std::string averageBitrate = InformationLine(0, 3);
    const std::string suffix = "   Target: 800";
    ASSERT_GT(averageBitrate.size(), suffix.size());
    EXPECT_EQ(averageBitrate.substr(averageBitrate.size() - suffix.size()), suffix);
}

TEST_F(InformationPanelTest, TimesThatCannotBeDividedStillDraw)
{
    Render(3);
    // No time step: frame 0 rather than a division by zero.
    host_->SetTime({TimeScale, 0, 40 * TimeStep, 5 * TimeStep});
    EXPECT_EQ(InformationLine(0, 1).rfind("Frame 0 Segment 0  ", 0), 0u);

    // The most negative time over a step of -1 overflows a 32-bit quotient.
    host_->SetTime({TimeScale, -1, 40 * TimeStep, std::numeric_limits<A_long>::min()});
    const std::vector<std::string> lines = DrawInformation();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[1].find("Type: Unknown"), std::string::npos) << lines[1];
}

// ------------------------------------------------------------ the logo

TEST_F(InformationPanelTest, LogoIsDecodedOnceAndDrawnCentredWithItsOwnColoursEvenWhenTooWide)
{
    const EffectHost::Raster logo =
        EffectHost::ReadPng(std::string(RUZIRAZU_SOURCE_DIR) + "/effect/resources/Logo.png");
    ASSERT_EQ(logo.Width(), LogoWidth);
    ASSERT_EQ(logo.Height(), LogoHeight);

    const PF_Rect frame{20, 30, 320, 165};
    const DrawResult first = host_->DrawEvent(ParamAbout, frame);
    const DrawResult second = host_->DrawEvent(ParamAbout, frame);
    ASSERT_TRUE(first.handled && second.handled);
    ASSERT_TRUE(first.command.Succeeded()) << first.command.errorMessage;

    const EffectHost::DrawingAccounting drawing = host_->DrawingObjects();
    EXPECT_EQ(drawing.imagesCreated, 1);
    EXPECT_TRUE(drawing.strings.empty());
    EXPECT_EQ(drawing.fills, 0);
    ASSERT_EQ(drawing.imageOrigins.size(), 2u);
    const int left = 20 + (300 - LogoWidth) / 2;
    for (const DRAWBOT_PointF32& origin : drawing.imageOrigins)
    {
        EXPECT_EQ(origin.x, left);
        EXPECT_EQ(origin.y, 30);
    }
    // Where the logo is opaque the surface shows its pixels exactly: the
    // channels went to the host in the order the layout names.
    int opaque = 0;
    for (int y = 0; y < LogoHeight; ++y)
    {
        for (int x = 0; x < LogoWidth; ++x)
        {
            if (logo.At(x, y).alpha == 255)
            {
                ++opaque;
                ASSERT_EQ(second.surface.At(left + x, 30 + y), logo.At(x, y))
                    << "at " << x << ", " << y;
            }
        }
    }
    EXPECT_GT(opaque, 1000);

    // 100 wide: 55 pixels short, so the logo starts 28 left of the edge
    // (the half is rounded down).
    host_->DrawEvent(ParamAbout, PF_Rect{10, 40, 110, 175});
    host_->DrawEvent(ParamAbout, PF_Rect{10, 40, 111, 175});
    const std::vector<DRAWBOT_PointF32> narrow = host_->DrawingObjects().imageOrigins;
    ASSERT_EQ(narrow.size(), 4u);
    EXPECT_EQ(narrow[2].x, 10 - 28);
    EXPECT_EQ(narrow[2].y, 40);
    EXPECT_EQ(narrow[3].x, 10 - 27);
}

TEST_F(InformationPanelTest, OnlyTheLogoOutlivesADrawAndItGoesWithTheInstance)
{
    Render(3);
    host_->DrawPanel();
    host_->DrawPanel();

    // The whole panel twice: brushes, fonts and paths are all given back,
    // and the one logo image is kept for the next draw.
    EXPECT_EQ(host_->DrawingObjects().imagesCreated, 1);
    EXPECT_EQ(host_->DrawingObjects().liveObjects, 1);

    // Given back through the suites of the instance that made it, while it
    // still holds them; the next instance makes its own.
    ASSERT_TRUE(host_->GlobalSetdown().Succeeded());
    EXPECT_EQ(host_->DrawingObjects().liveObjects, 0);
    ASSERT_TRUE(host_->GlobalSetup().Succeeded());
    host_->DrawPanel();
    EXPECT_EQ(host_->DrawingObjects().imagesCreated, 2);
    EXPECT_EQ(host_->DrawingObjects().liveObjects, 1);
}

} // namespace
