// The Information and About areas drawn through the host by the real module,
// with real x264 encoding small frames; the panel's formatting, the image
// buffer and the logo's decoding linked in from the effect.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "effect/ImageBuffer.h"
#include "effect/InformationPanel.h"
#include "effect/Logo.h"
#include "host/Panel.h"
#include "support/Log.h"
#include "tests/effect/EffectFixture.h"

namespace
{

using EffectHost::DrawResult;
using namespace testing;
using EffectHost::World;

constexpr A_u_long TimeScale = 30000;
constexpr A_long TimeStep = 1001;
constexpr int LogoWidth = 155;
constexpr int LogoHeight = 120;

std::string ReadLog()
{
    std::ostringstream text;
    text << std::ifstream(Zovazaz::Log::GetLogFilePath(), std::ios::binary).rdbuf();
    return text.str();
}

// The number that follows `label` in `text`, or -1 when the label is absent.
long long NumberAfter(const std::string& text, const std::string& label)
{
    const std::size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + label.size()));
}

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

// What an encode of one segment told the log: its frames and the bytes the
// encoder produced for them.
struct SegmentSummary
{
    long long first = -1;
    long long last = -1;
    long long encodedBytes = -1;
};

class InformationPanelTest : public EffectTest
{
  protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        Applied(48, 32);
        host_->SetTime({TimeScale, TimeStep, 40 * TimeStep, 0});
        Choose(ParamMode, "Constant Rate Factor");
    }

    void TearDown() override
    {
        EffectTest::TearDown();
        EXPECT_THAT(host_->MessagesOf(EffectHost::MessageKind::Error), IsEmpty());
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
        const std::string frames = logged.substr(std::min(logged.find("frames: "), logged.size()));
        return {NumberAfter(frames, "frames: "), NumberAfter(frames, " - "),
                NumberAfter(logged, "Encoded size: ")};
    }

    // Draws the Information area at the current time and gives the lines the
    // effect drew, one per string.
    std::vector<std::string> DrawInformation()
    {
        const std::size_t before = host_->DrawingObjects().strings.size();
        const DrawResult drawn = host_->DrawEvent(ParamInformation, PF_Rect{10, 100, 400, 175});
        EXPECT_TRUE(drawn.handled);
        EXPECT_TRUE(drawn.command.Succeeded()) << drawn.command.errorMessage;
        const std::vector<std::u16string> strings = host_->DrawingObjects().strings;
        std::vector<std::string> lines;
        for (std::size_t i = before; i < strings.size(); ++i)
        {
            lines.emplace_back(strings[i].begin(), strings[i].end());
        }
        // The text ends with a line feed, after which nothing is left to show.
        if (!lines.empty() && lines.back().empty())
        {
            lines.pop_back();
        }
        return lines;
    }

    std::string Line(A_long frame, std::size_t line)
    {
        host_->SetCurrentFrame(frame);
        const std::vector<std::string> lines = DrawInformation();
        return line < lines.size() ? lines[line] : "(no line " + std::to_string(line) + ")";
    }
};

TEST_F(InformationPanelTest, TheLinesShowTheRecordUnderTheTimeIndicatorAndTheTotals)
{
    EXPECT_EQ(DrawInformation(), std::vector<std::string>{"N/A"});
    Set(ParamSegmentLength, 4);
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
    // 8 stored frames of 1001/30000 s: bits per millisecond, and no target
    // at a constant rate factor.
    const long long milliseconds = 8LL * TimeStep * 1000 / TimeScale;
    EXPECT_EQ(lines[3],
              "Average Bitrate: " +
                  std::to_string((first.encodedBytes + second.encodedBytes) * 8 / milliseconds));
    // A frame past the last record is unknown with no size.
    EXPECT_EQ(Line(20, 1), "Frame 20 Segment 5  Type: Unknown  Encoded Size: 0 ");

    // Every user change empties the panel until the next render.
    Choose(ParamMode, "Average Bitrate");
    EXPECT_EQ(DrawInformation(), std::vector<std::string>{"N/A"});
    Set(ParamTargetBitrate, 800);
    Render(0);
    EXPECT_THAT(Line(0, 3), EndsWith("   Target: 800"));

    // Times that cannot be divided still draw. No time step: frame 0 rather
    // than a division by zero.
    host_->SetTime({TimeScale, 0, 40 * TimeStep, 5 * TimeStep});
    EXPECT_THAT(DrawInformation().at(1), StartsWith("Frame 0 Segment 0  "));
    // The most negative time over a step of -1 overflows a 32-bit quotient.
    host_->SetTime({TimeScale, -1, 40 * TimeStep, std::numeric_limits<A_long>::min()});
    EXPECT_THAT(DrawInformation(), ElementsAre(_, HasSubstr("Type: Unknown"), _, _, _));
    host_->SetTime({TimeScale, TimeStep, 40 * TimeStep, 0});

    // One frame per segment: the frame is the first picture of its own
    // stream, so an IDR, and the segment's bytes are the frame's bytes.
    Set(ParamSegmentLength, 1);
    const SegmentSummary seventh = Render(7);
    ASSERT_EQ(seventh.first, 7);
    ASSERT_EQ(seventh.last, 7);
    ASSERT_GT(seventh.encodedBytes, 0);
    EXPECT_EQ(Line(7, 1),
              "Frame 7 Segment 7  Type: IDR  Encoded Size: " + PanelSize(seventh.encodedBytes));

    // A time past the layer's end shows the last frame, as the output does.
    const SegmentSummary end = Render(45);
    ASSERT_EQ(end.first, 39);
    ASSERT_EQ(end.last, 39);
    EXPECT_THAT(Line(45, 1), AllOf(StartsWith("Frame 39 Segment 39  Type: "),
                                   Not(HasSubstr("Unknown")), Not(HasSubstr("Encoded Size: 0 "))));
}

TEST_F(InformationPanelTest, LogoIsDecodedOnceDrawnCentredWithItsOwnColoursAndOnlyItOutlivesADraw)
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

    // The whole panel twice after a render: brushes, fonts and paths are all
    // given back, and the one logo image is kept for the next draw.
    Render(3);
    host_->DrawPanel();
    host_->DrawPanel();
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

TEST(FormatSize, CutsTheTenthOfTheLastDivisionAndClimbsFromTheUnitGiven)
{
    constexpr std::uint64_t K = 1024;
    EXPECT_EQ(FormatSize(K * K + 102 * K), u"1 M");
    EXPECT_EQ(FormatSize(5 * K * K * K + 1023 * K * K), u"5.9 G");
    EXPECT_EQ(FormatSize(3072, 1), u"3 M");
}

TEST(ImageBuffer, GrowsToExactlyTheImageNeverShrinksAndRefusesASizePast32Bits)
{
    ImageBuffer buffer;
    const auto shape = [&buffer]
    {
        return std::tuple(buffer.GetWidth(), buffer.GetHeight(), buffer.GetStride(),
                          buffer.GetCapacity());
    };
    buffer.Reset(155, 120);
    EXPECT_EQ(shape(), std::tuple(155u, 120u, 620u, 620u * 120u));
    ASSERT_NE(buffer.GetData(), nullptr);
    // The whole block is writable.
    std::memset(buffer.GetData(), 0xAB, buffer.GetCapacity());
    std::uint8_t* first = buffer.GetData();
    buffer.Reset(10, 10);
    EXPECT_EQ(buffer.GetData(), first);
    EXPECT_EQ(shape(), std::tuple(10u, 10u, 40u, 620u * 120u));
    buffer.Reset(200, 200);
    EXPECT_EQ(shape(), std::tuple(200u, 200u, 800u, 800u * 200u));
    std::memset(buffer.GetData(), 0xCD, buffer.GetCapacity());

    // 4 x 65536 x 16385 bytes wraps to 256 KiB in 32 bits.
    buffer.Reset(4, 4);
    EXPECT_THROW(buffer.Reset(65536, 16385), std::bad_alloc);
    EXPECT_EQ(shape(), std::tuple(4u, 4u, 16u, 800u * 200u));
}

TEST(Logo, AFailedDecodeKeepsNothingAndAnImageNotMadeOrReleasedIsMadeAgainFromTheKeptPixels)
{
    // An image reference the test owns; the logo only keeps and hands it back.
    static int token = 0;
    int asked = 0;
    bool refuse = false;
    const Logo::ImageMaker maker = [&](const ImageBuffer&)
    {
        ++asked;
        return refuse ? DrawContext::Image()
                      : DrawContext::Image(reinterpret_cast<DRAWBOT_ObjectRef>(&token),
                                           [](DRAWBOT_ObjectRef) {});
    };

    // A PNG cut short inside its image data is tried again each time.
    const std::vector<std::uint8_t> png(LogoPng, LogoPng + LogoPngSize / 2);
    Logo cut(png);
    EXPECT_THROW(cut.GetImage(maker), std::exception);
    EXPECT_THROW(cut.GetImage(maker), std::exception);
    EXPECT_FALSE(cut.HasImage());
    EXPECT_EQ(asked, 0);

    Logo logo(std::span<const std::uint8_t>(LogoPng, LogoPngSize));
    refuse = true;
    EXPECT_FALSE(logo.GetImage(maker));
    EXPECT_FALSE(logo.GetImage(maker));
    EXPECT_EQ(asked, 2);
    refuse = false;
    EXPECT_TRUE(logo.GetImage(maker));
    EXPECT_TRUE(logo.HasImage());
    logo.ReleaseImage();
    EXPECT_FALSE(logo.HasImage());
    EXPECT_TRUE(logo.GetImage(maker));
    EXPECT_EQ(asked, 4);
}

} // namespace
