#include <cstdlib>

#include "tests/framework/HostFixture.h"

using EffectHost::Host;
using EffectHost::HostOptions;

namespace
{

constexpr PF_Rect NotesFrame{10, 100, 310, 145};

// Layer, a slider, a static area drawn as text, a static area drawn by its
// callback.
void UseDrawTable()
{
    Script().table = {ParameterDescriptor{}, NumberRow(1, u"Amount", 5, 1, 0, 2),
                      StaticRow(2, u"Notes", 6, 3), StaticRow(3, u"Logo", 7, 4)};
    Script().table[3].draw = [](Plugin&, DrawContext& context)
    {
        const DRAWBOT_ColorRGBA red{1.0f, 0.0f, 0.0f, 1.0f};
        context.FillRect(context.NewBrush(red), 20, 110, 30, 120);
    };
    Script().parameterText = [](std::int32_t position) -> Zovazaz::WString
    { return position == 2 ? u"one\ntwo\nthree" : u"unused"; };
}

} // namespace

using DrawEvents = FrameworkTest;

TEST_F(DrawEvents, TitleAreaInputLayerAndNumberControlAreLeftToTheHost)
{
    UseDrawTable();
    Host& host = StartApplied();

    const EffectHost::DrawResult title = host.DrawEvent(2, NotesFrame, PF_EA_PARAM_TITLE);
    EXPECT_FALSE(title.handled);
    EXPECT_EQ(title.evtOutFlags & PF_EO_HANDLED_EVENT, 0);
    EXPECT_FALSE(host.DrawEvent(0, NotesFrame).handled);
    EXPECT_FALSE(host.DrawEvent(1, NotesFrame).handled);
    EXPECT_EQ(host.DrawingObjects().objectsCreated, 0);
}

TEST_F(DrawEvents, StaticTextIsDrawnOneLinePerLineFeed)
{
    UseDrawTable();
    Host& host = StartApplied();

    const EffectHost::DrawResult result = host.DrawEvent(2, NotesFrame);

    EXPECT_TRUE(result.handled);
    const EffectHost::DrawingAccounting drawing = host.DrawingObjects();
    ASSERT_EQ(drawing.strings.size(), 3u);
    EXPECT_EQ(drawing.strings[0], u"one");
    EXPECT_EQ(drawing.strings[2], u"three");
    ASSERT_EQ(drawing.stringOrigins.size(), 3u);
    const float expectedY[] = {113.0f, 128.0f, 143.0f};
    for (int line = 0; line < 3; ++line)
    {
        EXPECT_EQ(drawing.stringOrigins[line].x, 12.0f);
        EXPECT_EQ(drawing.stringOrigins[line].y, expectedY[line]);
    }
    EXPECT_EQ(drawing.fills, 0); // After Effects draws its own background
    EXPECT_EQ(drawing.liveObjects, 0);
    EXPECT_GT(result.surface.CountDifferent(NotesFrame.left, NotesFrame.top, NotesFrame.right,
                                            NotesFrame.bottom, host.PanelBackground()),
              0);
}

TEST_F(DrawEvents, PremiereFillsTheAreaGreyBeforeTheText)
{
    UseDrawTable();
    Host& host = StartApplied(HostOptions{EffectHost::ApplicationPremiere, 13, 1});

    const EffectHost::DrawResult result = host.DrawEvent(2, NotesFrame);

    EXPECT_TRUE(result.handled);
    EXPECT_EQ(host.DrawingObjects().fills, 1);
    EXPECT_EQ(host.DrawingObjects().strings.size(), 3u);
    // A corner pixel: no text there, only the fill (16384 of 65535).
    const EffectHost::Rgba corner = result.surface.At(NotesFrame.right - 2, NotesFrame.top + 1);
    EXPECT_LE(std::abs(corner.red - 64), 1);
    EXPECT_EQ(corner.red, corner.green);
    EXPECT_EQ(corner.red, corner.blue);
    EXPECT_EQ(host.DrawingObjects().liveObjects, 0);
}

TEST_F(DrawEvents, SupplierWithoutTextDrawsNothingYetHandlesTheEvent)
{
    UseDrawTable();
    Script().supplierWithoutText = true;
    Host& host = StartApplied();

    const EffectHost::DrawResult result = host.DrawEvent(2, NotesFrame);

    EXPECT_TRUE(result.handled);
    EXPECT_TRUE(host.DrawingObjects().strings.empty());
    EXPECT_EQ(result.surface.CountDifferent(NotesFrame.left, NotesFrame.top, NotesFrame.right,
                                            NotesFrame.bottom, host.PanelBackground()),
              0);
}

TEST_F(DrawEvents, DrawCallbackReplacesTheTextAndItsObjectsAreReleased)
{
    UseDrawTable();
    Host& host = StartApplied();

    const EffectHost::DrawResult result = host.DrawEvent(3, PF_Rect{10, 100, 310, 160});

    EXPECT_TRUE(result.handled);
    EXPECT_TRUE(host.DrawingObjects().strings.empty());
    EXPECT_EQ(host.DrawingObjects().fills, 1);
    EXPECT_EQ(host.DrawingObjects().liveObjects, 0);
    const EffectHost::Rgba inside = result.surface.At(25, 115);
    EXPECT_EQ(inside.red, 255);
    EXPECT_EQ(inside.green, 0);
}

TEST_F(DrawEvents, DefaultTextIsTheAreasNumberWithItsPrecision)
{
    Script().table = {ParameterDescriptor{}, StaticRow(1, u"Whole", 5, 1),
                      StaticRow(2, u"Tenths", 6, 1)};
    Script().table[1].number.defaultValue = 7.9f;
    Script().table[2].number = NumberSpec{1, 7.25f, 0.0f, 10.0f};
    Host& host = StartApplied();

    host.DrawEvent(1, NotesFrame);
    host.DrawEvent(2, NotesFrame);

    const EffectHost::DrawingAccounting drawing = host.DrawingObjects();
    ASSERT_EQ(drawing.strings.size(), 2u);
    EXPECT_EQ(drawing.strings[0], u"7");
    EXPECT_EQ(drawing.strings[1], u"7.2");
}
