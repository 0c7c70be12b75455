#include <gtest/gtest.h>

#include <cstring>

#include "AE_EffectUI.h"
#include "host/AppSuites.h"
#include "host/Drawing.h"
#include "host/Panel.h"
#include "support/Text.h"
#include "tests/host/TestEffect.h"

using namespace EffectHost;
using namespace HostTest;

namespace
{

// What a draw handler needs, acquired from the host the way an effect does.
struct DrawKit
{
    static constexpr const char* Suites[] = {kPFEffectCustomUISuite, kDRAWBOT_DrawSuite,
                                             kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite,
                                             kDRAWBOT_PathSuite};
    const PF_EffectCustomUISuite1* customUi = nullptr;
    const DRAWBOT_DrawbotSuite1* draw = nullptr;
    const DRAWBOT_SupplierSuite1* supplier = nullptr;
    const DRAWBOT_SurfaceSuite1* surface = nullptr;
    const DRAWBOT_PathSuite1* path = nullptr;
    DRAWBOT_SupplierRef supplierRef = nullptr;
    DRAWBOT_SurfaceRef surfaceRef = nullptr;
    PF_InData* in = nullptr;

    DrawKit(PF_InData* inData, PF_EventExtra* event) : in(inData)
    {
        customUi = Acquire<PF_EffectCustomUISuite1>(in, Suites[0], 1);
        draw = Acquire<DRAWBOT_DrawbotSuite1>(in, Suites[1], 1);
        supplier = Acquire<DRAWBOT_SupplierSuite1>(in, Suites[2], 1);
        surface = Acquire<DRAWBOT_SurfaceSuite1>(in, Suites[3], 1);
        path = Acquire<DRAWBOT_PathSuite1>(in, Suites[4], 1);
        DRAWBOT_DrawRef drawRef = nullptr;
        customUi->PF_GetDrawingReference(event->contextH, &drawRef);
        draw->GetSupplier(drawRef, &supplierRef);
        draw->GetSurface(drawRef, &surfaceRef);
    }
    ~DrawKit()
    {
        for (const char* suite : Suites)
        {
            in->pica_basicP->ReleaseSuite(suite, 1);
        }
    }
    DRAWBOT_BrushRef Brush(float r, float g, float b, float a = 1.0f) const
    {
        DRAWBOT_ColorRGBA colour{r, g, b, a};
        DRAWBOT_BrushRef brush = nullptr;
        supplier->NewBrush(supplierRef, &colour, &brush);
        return brush;
    }
    void FillRect(DRAWBOT_BrushRef brush, DRAWBOT_RectF32 rect) const
    {
        DRAWBOT_PathRef pathRef = nullptr;
        supplier->NewPath(supplierRef, &pathRef);
        path->AddRect(pathRef, &rect);
        surface->FillPath(surfaceRef, brush, pathRef, kDRAWBOT_FillType_Winding);
        supplier->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(pathRef));
    }
    void Release(void* object) const
    {
        supplier->ReleaseObject(static_cast<DRAWBOT_ObjectRef>(object));
    }
};

using DrawHandler = std::function<void(DrawKit&, PF_EventExtra&)>;

Handler OnDraw(DrawHandler draw)
{
    return [draw](PF_Cmd command, PF_InData* in, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                  void* extra)
    {
        if (command == PF_Cmd_EVENT)
        {
            auto* event = static_cast<PF_EventExtra*>(extra);
            DrawKit kit(in, event);
            draw(kit, *event);
            event->evt_out_flags = PF_EO_HANDLED_EVENT;
        }
        return PF_Err_NONE;
    };
}

// How many pixels of two rasters differ in rows [top, bottom) left of `right`.
int Differing(const Raster& a, const Raster& b, int top, int bottom, int right)
{
    int count = 0;
    for (int y = top; y < bottom; ++y)
    {
        for (int x = 0; x < right; ++x)
        {
            count += !(a.At(x, y) == b.At(x, y));
        }
    }
    return count;
}

} // namespace

using PanelDrawing = HostWithTestEffect;

// One event draws each primitive in a part of the area of its own, and each
// is checked there pixel by pixel.
TEST_F(PanelDrawing, PrimitivesCoverExactlyTheirPixels)
{
    Effect().handler = OnDraw(
        [](DrawKit& kit, PF_EventExtra&)
        {
            DRAWBOT_BrushRef red = kit.Brush(1, 0, 0);
            // Half-pixel origins as the framework passes them: pixels 10..19 x 5..8.
            kit.FillRect(red, DRAWBOT_RectF32{10.5f, 5.5f, 10.0f, 4.0f});
            kit.Release(red);

            // A square around a smaller one, at x 50 by the winding rule and
            // at x 70 by the even-odd rule.
            DRAWBOT_BrushRef white = kit.Brush(1, 1, 1);
            const std::pair<float, DRAWBOT_FillType> fills[] = {{50.0f, kDRAWBOT_FillType_Winding},
                                                                {70.0f, kDRAWBOT_FillType_EvenOdd}};
            for (const auto& [left, rule] : fills)
            {
                DRAWBOT_PathRef pathRef = nullptr;
                kit.supplier->NewPath(kit.supplierRef, &pathRef);
                DRAWBOT_RectF32 outer{left, 0, 10, 10}, inner{left + 3, 3, 4, 4};
                kit.path->AddRect(pathRef, &outer);
                kit.path->AddRect(pathRef, &inner);
                kit.surface->FillPath(kit.surfaceRef, white, pathRef, rule);
                kit.Release(pathRef);
            }

            // A corner stroked 6 wide.
            const DRAWBOT_ColorRGBA opaqueWhite{1, 1, 1, 1};
            DRAWBOT_PenRef pen = nullptr;
            kit.supplier->NewPen(kit.supplierRef, &opaqueWhite, 6.0f, &pen);
            DRAWBOT_PathRef corner = nullptr;
            kit.supplier->NewPath(kit.supplierRef, &corner);
            kit.path->MoveTo(corner, 10, 50);
            kit.path->LineTo(corner, 30, 50);
            kit.path->LineTo(corner, 30, 30);
            kit.surface->StrokePath(kit.surfaceRef, pen, corner);
            kit.Release(corner);
            kit.Release(pen);

            // 2 x 1, straight BGRA: opaque blue, then half-transparent blue.
            const std::uint8_t pixels[] = {255, 0, 0, 255, 255, 0, 0, 128};
            DRAWBOT_ImageRef image = nullptr;
            kit.supplier->NewImageFromBuffer(kit.supplierRef, 2, 1, 8,
                                             kDRAWBOT_PixelLayout_32BGRA_Straight, pixels, &image);
            const DRAWBOT_PointF32 full{54, 22}, half{54, 26};
            kit.surface->DrawImage(kit.surfaceRef, image, &full, 1.0f);
            kit.surface->DrawImage(kit.surfaceRef, image, &half, 0.5f);
            kit.Release(image);
            kit.Release(white);
        });
    const DrawResult result = host_->DrawEvent(1, PF_Rect{0, 0, 200, 130});
    EXPECT_TRUE(result.handled);
    const Raster& surface = result.surface;
    const Rgba red{255, 0, 0, 255}, white{255, 255, 255, 255};
    const Rgba background = host_->PanelBackground();
    EXPECT_EQ(surface.At(10, 5), red);
    EXPECT_EQ(surface.At(19, 8), red);
    // Only these: the 10 x 4 pixels from (10, 5) to (19, 8).
    EXPECT_EQ(surface.CountDifferent(0, 0, 40, 20, background), 40);

    EXPECT_EQ(surface.At(55, 5), white);
    EXPECT_EQ(surface.At(75, 5), background);
    EXPECT_EQ(surface.At(71, 1), white);

    EXPECT_EQ(surface.At(20, 48), white);
    EXPECT_EQ(surface.At(28, 40), white);
    // The outer corner, beyond both segments' ends: filled only by a join.
    EXPECT_EQ(surface.At(31, 51), white);
    EXPECT_EQ(surface.At(32, 52), white);
    EXPECT_EQ(surface.At(34, 54), background);
    EXPECT_EQ(surface.At(20, 54), background);

    EXPECT_EQ(surface.At(54, 22), (Rgba{0, 0, 255, 255}));
    // Half opacity over the background: the blue channel half-way.
    EXPECT_NEAR(surface.At(54, 26).blue, (255 + background.blue) / 2, 1);
    EXPECT_NEAR(surface.At(54, 26).red, background.red / 2, 1);
    // Alpha 128 at opacity 0.5: a quarter of the way.
    EXPECT_NEAR(surface.At(55, 26).blue, background.blue + (255 - background.blue) / 4, 2);
    EXPECT_EQ(surface.At(56, 22), background);

    const DrawingAccounting drawing = host_->DrawingObjects();
    EXPECT_EQ(drawing.fills, 3);
    EXPECT_EQ(drawing.imagesCreated, 1);
    ASSERT_EQ(drawing.imageOrigins.size(), 2u);
    EXPECT_EQ(drawing.imageOrigins[1].y, 26.0f);
    EXPECT_EQ(drawing.liveObjects, 0);
}

TEST_F(PanelDrawing, DrawingIsClippedAndItsObjectsAreAccounted)
{
    SPErr reuse = 0, secondRelease = 0;
    DRAWBOT_ImageRef kept = nullptr;
    Effect().handler = OnDraw(
        [&](DrawKit& kit, PF_EventExtra&)
        {
            if (kept)
            {
                // An image may outlive its event (but not the module).
                const DRAWBOT_PointF32 at{11, 11};
                kit.surface->DrawImage(kit.surfaceRef, kept, &at, 1.0f);
                return;
            }
            DRAWBOT_BrushRef green = kit.Brush(0, 1, 0);
            kit.FillRect(green, DRAWBOT_RectF32{0, 0, 100, 100});
            kit.Release(green);
            // A released object is refused afterwards.
            DRAWBOT_PathRef pathRef = nullptr;
            kit.supplier->NewPath(kit.supplierRef, &pathRef);
            reuse = kit.surface->FillPath(kit.surfaceRef, green, pathRef, 1);
            kit.Release(pathRef);
            secondRelease = kit.supplier->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(green));
            kit.Brush(1, 1, 1); // never released
            const std::uint8_t pixel[] = {0, 0, 255, 255};
            kit.supplier->NewImageFromBuffer(kit.supplierRef, 1, 1, 4,
                                             kDRAWBOT_PixelLayout_32BGRA_Straight, pixel, &kept);
        });
    const DrawResult clipped = host_->DrawEvent(1, PF_Rect{10, 10, 30, 20});
    EXPECT_EQ(clipped.surface.CountDifferent(0, 0, clipped.surface.Width(),
                                             clipped.surface.Height(), host_->PanelBackground()),
              20 * 10);
    EXPECT_NE(reuse, kSPNoError);
    EXPECT_NE(secondRelease, kSPNoError);
    EXPECT_EQ(host_->DrawingObjects().liveObjects, 2); // the brush and the image
    EXPECT_EQ(
        host_->MessagesOf(MessageKind::Defect),
        (std::vector<std::string>{
            "A released drawing object was used", "A drawing object was released more than once",
            "1 drawing object(s) not released by the end of the draw event"}));

    const DrawResult second = host_->DrawEvent(1, PF_Rect{10, 10, 14, 14});
    EXPECT_EQ(second.surface.At(11, 11), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(host_->DrawingObjects().imagesCreated, 1);
    EXPECT_EQ(host_->MessagesOf(MessageKind::Defect).size(), 3u);

    host_->Unload();
    const auto defects = host_->MessagesOf(MessageKind::Defect);
    ASSERT_EQ(defects.size(), 4u);
    EXPECT_EQ(defects[3], "2 drawing object(s) still alive after the module was unloaded");
}

TEST_F(PanelDrawing, PanelShowsEveryControlWithTheLongestNameWholeAndTheEffectsOwnArea)
{
    const char* const name = "Frame Reordering (Use B-Frames)";
    std::vector<PF_Rect> frames;
    Effect().handler = [&](PF_Cmd command, PF_InData* in, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                           void* extra) -> PF_Err
    {
        if (command == PF_Cmd_PARAMS_SETUP)
        {
            AddSlider(in, "Bitrate", 500, 50000, 1500, 1);
            AddCheckbox(in, name, true, 2);
            PF_ParamDef area{};
            area.param_type = PF_Param_FLOAT_SLIDER;
            area.ui_flags = PF_PUI_CONTROL | PF_PUI_STD_CONTROL_ONLY;
            area.ui_height = 45;
            area.ui_width = 150;
            std::strcpy(area.name, "Information");
            in->inter.add_param(in->effect_ref, -1, &area);
            AddPopup(in, "Mode", "Average Bitrate|Constant Rate Factor", 2, 8);
        }
        if (command == PF_Cmd_EVENT)
        {
            auto* event = static_cast<PF_EventExtra*>(extra);
            frames.push_back(event->effect_win.current_frame);
            DrawKit kit(in, event);
            DRAWBOT_BrushRef brush = kit.Brush(1, 0, 1);
            const PF_Rect& f = event->effect_win.current_frame;
            kit.FillRect(brush, DRAWBOT_RectF32{f.left + 0.5f, f.top + 0.5f,
                                                float(f.right - f.left), float(f.bottom - f.top)});
            kit.Release(brush);
            event->evt_out_flags = PF_EO_HANDLED_EVENT;
        }
        return PF_Err_NONE;
    };
    host_->ParamsSetup();
    const Raster panel = host_->DrawPanel();
    ASSERT_EQ(frames.size(), 1u);
    const PF_Rect frame = frames[0];
    EXPECT_EQ(frame.bottom - frame.top, 45);
    EXPECT_EQ(frame.right, Host::PanelWidth - 8);
    EXPECT_EQ(panel.At(frame.left, frame.top), (Rgba{255, 0, 255, 255}));
    EXPECT_EQ(panel.At(frame.right - 1, frame.bottom - 1), (Rgba{255, 0, 255, 255}));
    EXPECT_GT(panel.Height(), frame.bottom + Host::PanelRowHeight);
    EXPECT_TRUE(host_->MessagesOf(MessageKind::Defect).empty());

    // The checkbox's row against the name alone, drawn unclipped on the
    // panel's background: nothing cuts or covers it.
    const int top = Panel::HeaderHeight + Host::PanelRowHeight;
    TextRenderer text;
    Raster reference(panel.Width(), panel.Height(), host_->PanelBackground());
    text.Draw(reference, PF_Rect{0, 0, panel.Width(), panel.Height()}, 22, top + 14,
              Zovazaz::ToCodePoints(name),
              AppSuites::ToRgba(AppSuites::PanelColour(PF_App_Color_TEXT)), Panel::TextSize);
    const int right =
        22 + static_cast<int>(text.Measure(Zovazaz::ToCodePoints(name), Panel::TextSize)) + 2;
    ASSERT_LT(right, panel.Width());
    ASSERT_GT(reference.CountDifferent(0, top, right, top + Host::PanelRowHeight,
                                       host_->PanelBackground()),
              100);
    EXPECT_EQ(Differing(panel, reference, top, top + Host::PanelRowHeight - 1, right), 0);
}

// The names of controls are UTF-8; each broken sequence shows as one U+FFFD
// and the characters after it survive.
TEST_F(PanelDrawing, BrokenUtf8InANameIsDrawnAsReplacementCharacters)
{
    const auto panelNamed = [&](const char* name)
    {
        Effect().handler = [name](PF_Cmd command, PF_InData* in, auto...) -> PF_Err
        { return command == PF_Cmd_PARAMS_SETUP ? AddCheckbox(in, name, true, 1) : PF_Err_NONE; };
        host_->ParamsSetup();
        return host_->DrawPanel();
    };
    const Raster broken = panelNamed("M \xC3\x28 \xC0\xAF \xFF\x41");
    const Raster replaced = panelNamed("M \xEF\xBF\xBD( \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD"
                                       "A");
    const Raster shorter = panelNamed("M");
    EXPECT_EQ(Differing(broken, replaced, 0, broken.Height(), broken.Width()), 0);
    // The replacement characters are drawn, not left out.
    EXPECT_GT(Differing(replaced, shorter, 0, broken.Height(), broken.Width()), 50);
}
