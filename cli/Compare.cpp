#include "cli/Compare.h"

#include <algorithm>
#include <cmath>

#include "cli/OutputFiles.h"
#include "cli/Quality.h"
#include "host/Drawing.h"
#include "support/Text.h"

namespace CommandLine
{

namespace
{

void CopyInto(EffectHost::Raster& raster, const EffectHost::World& world, int left)
{
    for (A_long y = 0; y < world.Height(); ++y)
    {
        for (A_long x = 0; x < world.Width(); ++x)
        {
            const PF_Pixel& pixel = world.At(x, y);
            raster.Set(left + x, y, EffectHost::Rgba{pixel.red, pixel.green, pixel.blue, 255});
        }
    }
}

void Label(EffectHost::Raster& raster, EffectHost::TextRenderer& text, const std::string& label,
           int left, int width, int height)
{
    const float size = std::clamp(static_cast<float>(height) / 18.0f, 9.0f, 28.0f);
    const std::u32string shown = Zovazaz::ToCodePoints(label);
    const int margin = static_cast<int>(std::ceil(size * 0.35f));
    const int boxRight =
        left + std::min(width, static_cast<int>(std::ceil(text.Measure(shown, size))) + 2 * margin);
    const int boxBottom = std::min(height, static_cast<int>(std::ceil(size * 1.4f)) + margin);
    for (int y = 0; y < boxBottom; ++y)
    {
        for (int x = left; x < boxRight; ++x)
        {
            raster.Blend(x, y, EffectHost::Rgba{0, 0, 0, 255}, 0.6f);
        }
    }
    const PF_Rect clip{left, 0, left + width, height};
    text.Draw(raster, clip, static_cast<float>(left + margin),
              size * 1.05f + static_cast<float>(margin) * 0.5f, shown,
              EffectHost::Rgba{255, 255, 255, 255}, size);
}

} // namespace

EffectHost::Raster MakeComparison(const EffectHost::World& input, const EffectHost::World& preview,
                                  const std::string& inputLabel, const std::string& previewLabel)
{
    const int width = preview.Width();
    const int height = preview.Height();
    EffectHost::Raster raster(2 * width, height);
    if (input.Width() == width && input.Height() == height)
    {
        CopyInto(raster, input, 0);
    }
    else
    {
        CopyInto(raster, ScaleByArea(input, width, height), 0);
    }
    CopyInto(raster, preview, width);
    EffectHost::TextRenderer text;
    Label(raster, text, inputLabel, 0, width, height);
    Label(raster, text, previewLabel, width, width, height);
    return raster;
}

void WriteComparison(const EffectHost::Raster& comparison, const std::filesystem::path& path)
{
    WriteAtomically(path,
                    [&](const std::filesystem::path& temporary) {
                        EffectHost::WritePng(comparison, temporary.string(),
                                             EffectHost::PngCompression::Fast);
                    });
}

} // namespace CommandLine
