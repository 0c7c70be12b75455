#include <cstdlib>

#include "tests/framework/HostFixture.h"

using EffectHost::Host;
using EffectHost::HostOptions;

namespace
{

constexpr PF_Rect NotesFrame{10, 100, 310, 145};

// Layer, a slider, a static area drawn as text, one drawn by its callback
// and two that show their default number.
void UseDrawTable()
{
    Script().table = {ParameterDescriptor{},
                      Row(1, ParameterType_Number, u"Amount", 5, {0, 1, 0, 2}),
                      Row(2, ParameterType_Static, u"Notes", 6, {}, 3),
                      Row(3, ParameterType_Static, u"Logo", 7, {}, 4),
                      Row(4, ParameterType_Static, u"Whole", 8, {0, 7.9f}, 1),
                      Row(5, ParameterType_Static, u"Tenths", 9, {1, 7.25f, 0, 10}, 1)};
    Script().table[3].draw = [](Plugin&, DrawContext& context)
    {
        const DRAWBOT_ColorRGBA red{1.0f, 0.0f, 0.0f, 1.0f};
        context.FillRect(context.NewBrush(red), 20, 110, 30, 120);
    };
    Script().parameterText = [](std::int32_t position) -> Zovazaz::WString
    { return position == 2 ? u"one\ntwo\nthree" : u""; };
}

} // namespace

TEST_F(FrameworkTest, StaticAreasAreDrawnAsTextOrByTheirCallbackAndTheRestLeftToTheHost)
{
    UseDrawTable();
    Host& host = StartApplied();

    EXPECT_FALSE(host.DrawEvent(2, NotesFrame, PF_EA_PARAM_TITLE).handled);
    EXPECT_FALSE(host.DrawEvent(0, NotesFrame).handled);
    EXPECT_FALSE(host.DrawEvent(1, NotesFrame).handled);
    EXPECT_EQ(host.DrawingObjects().objectsCreated, 0);

    // One line per line feed; After Effects draws its own background.
    const EffectHost::DrawResult text = host.DrawEvent(2, NotesFrame);
    EXPECT_TRUE(text.handled);
    EffectHost::DrawingAccounting drawing = host.DrawingObjects();
    EXPECT_EQ(drawing.strings, (std::vector<std::u16string>{u"one", u"two", u"three"}));
    ASSERT_EQ(drawing.stringOrigins.size(), 3u);
    for (int line = 0; line < 3; ++line)
    {
        EXPECT_EQ(drawing.stringOrigins[line].x, 12.0f);
        EXPECT_EQ(drawing.stringOrigins[line].y, 113.0f + 15.0f * line);
    }
    EXPECT_EQ(drawing.fills, 0);
    EXPECT_EQ(drawing.liveObjects, 0);
    EXPECT_GT(text.surface.CountDifferent(NotesFrame.left, NotesFrame.top, NotesFrame.right,
                                          NotesFrame.bottom, host.PanelBackground()),
              0);

    // A callback replaces the text, and the objects it made are released.
    const EffectHost::DrawResult logo = host.DrawEvent(3, PF_Rect{10, 100, 310, 160});
    EXPECT_TRUE(logo.handled);
    EXPECT_EQ(host.DrawingObjects().fills, 1);
    EXPECT_EQ(host.DrawingObjects().liveObjects, 0);
    EXPECT_EQ(logo.surface.At(25, 115).red, 255);
    EXPECT_EQ(logo.surface.At(25, 115).green, 0);

    // Without a text the area shows its number with its precision.
    host.DrawEvent(4, NotesFrame);
    host.DrawEvent(5, NotesFrame);
    drawing = host.DrawingObjects();
    EXPECT_EQ(drawing.strings,
              (std::vector<std::u16string>{u"one", u"two", u"three", u"7", u"7.2"}));

    // Premiere fills the area grey before the text.
    Host& premiere = StartApplied(HostOptions{EffectHost::ApplicationPremiere, 13, 1});
    const EffectHost::DrawResult result = premiere.DrawEvent(2, NotesFrame);
    EXPECT_TRUE(result.handled);
    EXPECT_EQ(premiere.DrawingObjects().fills, 1);
    EXPECT_EQ(premiere.DrawingObjects().strings.size(), 3u);
    // A corner pixel: no text there, only the fill (16384 of 65535).
    const EffectHost::Rgba corner = result.surface.At(NotesFrame.right - 2, NotesFrame.top + 1);
    EXPECT_LE(std::abs(corner.red - 64), 1);
    EXPECT_EQ(corner.red, corner.green);
    EXPECT_EQ(corner.red, corner.blue);
    EXPECT_EQ(premiere.DrawingObjects().liveObjects, 0);
}
