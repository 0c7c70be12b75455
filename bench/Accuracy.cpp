#include "bench/Accuracy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>

#include "bench/StreamDecoder.h"
#include "codecs/LibraryCache.h"
#include "renderer/PixelConversion.h"
#include "support/System.h"

namespace Bench
{

namespace
{

// Colour bars at 75 % and a few strong colours.
constexpr std::array<PF_Pixel, 12> Patches{{{255, 191, 191, 191},
                                            {255, 191, 191, 0},
                                            {255, 0, 191, 191},
                                            {255, 0, 191, 0},
                                            {255, 191, 0, 191},
                                            {255, 191, 0, 0},
                                            {255, 0, 0, 191},
                                            {255, 16, 16, 16},
                                            {255, 230, 120, 40},
                                            {255, 40, 160, 220},
                                            {255, 128, 128, 128},
                                            {255, 90, 60, 150}}};
constexpr A_long PatchSize = 32;
// Chroma is shared across an edge and the filters on both sides of the
// encoder reach two chroma samples beyond it.
constexpr A_long Margin = 4;

// The top half a gray ramp over every level, the bottom half patches.
EffectHost::World LevelsPicture(A_long width, A_long height)
{
    EffectHost::World world(width, height);
    for (A_long y = 0; y < height; ++y)
    {
        for (A_long x = 0; x < width; ++x)
        {
            if (y < height / 2)
            {
                const auto level = static_cast<A_u_char>(std::min<A_long>(x * 256 / width, 255));
                world.At(x, y) = PF_Pixel{255, level, level, level};
            }
            else
            {
                world.At(x, y) = Patches[static_cast<std::size_t>(
                    (x / PatchSize + (y - height / 2) / PatchSize) % Patches.size())];
            }
        }
    }
    return world;
}

struct Errors
{
    long long sum = 0;
    long long count = 0;
    int worst = 0;

    void Add(const PF_Pixel& source, const PF_Pixel& shown) noexcept
    {
        for (const int d :
             {shown.red - source.red, shown.green - source.green, shown.blue - source.blue})
        {
            sum += d;
            worst = std::max(worst, std::abs(d));
            ++count;
        }
    }
    double Mean() const noexcept
    {
        return count > 0 ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
    }
};

LevelErrors MeasureLevels(EffectDriver& effect, A_long width, A_long height)
{
    const EffectHost::World source = LevelsPicture(width, height);
    effect.SetLayer(
        std::make_shared<MemoryLayerSource>(std::vector<EffectHost::World>{source, source}));
    effect.Configure(RateControl{true, 0, 5000, 2});
    const EffectHost::World& shown = effect.Show(1);

    Errors ramp;
    Errors patches;
    for (A_long y = Margin; y < height - Margin; ++y)
    {
        const bool inRamp = y < height / 2 - Margin;
        const A_long row = y - height / 2;
        const bool inPatch =
            row >= 0 && row % PatchSize >= Margin && row % PatchSize < PatchSize - Margin;
        for (A_long x = Margin; x < width - Margin; ++x)
        {
            if (inRamp)
            {
                ramp.Add(source.At(x, y), shown.At(x, y));
            }
            else if (inPatch && x % PatchSize >= Margin && x % PatchSize < PatchSize - Margin)
            {
                patches.Add(source.At(x, y), shown.At(x, y));
            }
        }
    }
    return LevelErrors{ramp.Mean(), ramp.worst, patches.Mean(), patches.worst};
}

struct SquaredErrors
{
    double sum = 0.0;
    double count = 0.0;

    void Add(const EffectHost::World& source, const EffectHost::World& shown) noexcept
    {
        for (A_long y = 0; y < source.Height(); ++y)
        {
            for (A_long x = 0; x < source.Width(); ++x)
            {
                const PF_Pixel& p = source.At(x, y);
                const PF_Pixel& q = shown.At(x, y);
                for (const int d : {q.red - p.red, q.green - p.green, q.blue - p.blue})
                {
                    sum += static_cast<double>(d) * d;
                }
            }
        }
        count += 3.0 * source.Width() * source.Height();
    }
    double Psnr() const noexcept
    {
        const double mse = count > 0 ? sum / count : 0.0;
        return mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
    }
};

QualityAgreement MeasureQuality(EffectDriver& effect,
                                const std::shared_ptr<const MemoryLayerSource>& layer,
                                const PlanarClip& clip, const RateControl& control,
                                const std::string& tempFolder)
{
    effect.SetLayer(layer);
    effect.Run(control);
    SquaredErrors preview;
    for (A_long f = 0; f < layer->FrameCount(); ++f)
    {
        preview.Add(layer->Frame(f), effect.Show(f));
    }

    const DirectEncode direct =
        EncodeDirect(clip, effect.CurrentEncoderSettings(), tempFolder, true);
    const std::shared_ptr<Zovazaz::SwScaleLibrary> swscale = Zovazaz::GetSwScaleLibrary();
    OutputScaler scaler;
    std::vector<std::uint8_t> chroma;
    EffectHost::World shown(layer->Width(), layer->Height());
    SquaredErrors decoded;
    A_long index = 0;
    const auto showDecoded = [&](const AVFrame& picture)
    {
        if (picture.format != AV_PIX_FMT_YUV420P || index >= layer->FrameCount())
        {
            throw std::runtime_error("libavcodec decoded a picture the clip does not have");
        }
        // The stored form of a reconstruction: the chroma planes interleaved.
        const int chromaWidth = picture.width / 2;
        const int chromaHeight = picture.height / 2;
        chroma.resize(static_cast<std::size_t>(picture.width) * chromaHeight);
        for (int y = 0; y < chromaHeight; ++y)
        {
            const std::uint8_t* u = picture.data[1] + y * picture.linesize[1];
            const std::uint8_t* v = picture.data[2] + y * picture.linesize[2];
            std::uint8_t* row = chroma.data() + static_cast<std::size_t>(y) * picture.width;
            for (int x = 0; x < chromaWidth; ++x)
            {
                row[2 * x] = u[x];
                row[2 * x + 1] = v[x];
            }
        }
        ConvertNv12ToArgb(*swscale, scaler, picture.data[0], picture.linesize[0], chroma.data(),
                          picture.width, picture.width, picture.height,
                          reinterpret_cast<std::uint8_t*>(shown.Def().data), shown.Width(),
                          shown.Height(), shown.RowBytes(), Zovazaz::GetProcessorCount());
        decoded.Add(layer->Frame(index++), shown);
    };
    DecodeSegments(direct.segments, showDecoded);
    if (index != layer->FrameCount())
    {
        throw std::runtime_error("libavcodec decoded fewer pictures than the clip has");
    }
    return QualityAgreement{preview.Psnr(), decoded.Psnr()};
}

} // namespace

bool QualityAgreement::Agree() const noexcept
{
    return std::abs(previewPsnr - decodedPsnr) <= 0.1;
}

Accuracy MeasureAccuracy(EffectDriver& effect,
                         const std::shared_ptr<const MemoryLayerSource>& layer,
                         const PlanarClip& clip, const RateControl& control,
                         const std::string& tempFolder)
{
    Accuracy accuracy;
    accuracy.width = layer->Width();
    accuracy.height = layer->Height();
    accuracy.levels = MeasureLevels(effect, layer->Width(), layer->Height());
    accuracy.quality = MeasureQuality(effect, layer, clip, control, tempFolder);
    return accuracy;
}

std::string AccuracyLine(const Accuracy& accuracy, const RateControl& control)
{
    const LevelErrors& levels = accuracy.levels;
    const QualityAgreement& quality = accuracy.quality;
    return fmt::format(
        "Accuracy at {}x{}: rate factor 0 (lossless) gray ramp mean {:+.2f} max {}, colour "
        "patches mean {:+.2f} max {}; {} preview PSNR {:.2f} dB, libavcodec decoding x264's "
        "stream {:.2f} dB: {}",
        accuracy.width, accuracy.height, levels.rampMean, levels.rampWorst, levels.patchesMean,
        levels.patchesWorst,
        control.constantRateFactor ? fmt::format("crf {}", control.rateFactor)
                                   : fmt::format("abr {} kbit/s", control.bitrateKbps),
        quality.previewPsnr, quality.decodedPsnr,
        quality.Agree()
            ? "agree within 0.1 dB"
            : fmt::format("DIFFER by {:.2f} dB", quality.previewPsnr - quality.decodedPsnr));
}

} // namespace Bench
