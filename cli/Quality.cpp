#include "cli/Quality.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace CommandLine
{

double PsnrOf(double meanSquaredError) noexcept
{
    if (meanSquaredError <= 0.0)
    {
        return std::numeric_limits<double>::infinity();
    }
    return 10.0 * std::log10(255.0 * 255.0 / meanSquaredError);
}

double FrameQuality::PsnrLuma() const noexcept
{
    return PsnrOf(mseLuma);
}

double FrameQuality::PsnrOverall() const noexcept
{
    return PsnrOf(mseOverall);
}

EffectHost::World ScaleByArea(const EffectHost::World& source, A_long width, A_long height)
{
    if (width <= 0 || height <= 0 || source.Width() <= 0 || source.Height() <= 0)
    {
        throw std::invalid_argument("Scaling needs pictures of at least 1 x 1");
    }
    EffectHost::World target(width, height);
    const double scaleX = static_cast<double>(source.Width()) / width;
    const double scaleY = static_cast<double>(source.Height()) / height;
    for (A_long y = 0; y < height; ++y)
    {
        const double top = y * scaleY;
        const double bottom = (y + 1) * scaleY;
        for (A_long x = 0; x < width; ++x)
        {
            const double left = x * scaleX;
            const double right = (x + 1) * scaleX;
            double sum[4] = {0, 0, 0, 0};
            double area = 0.0;
            for (auto sy = static_cast<A_long>(top); sy < source.Height() && sy < bottom; ++sy)
            {
                const double coverY = std::min<double>(sy + 1, bottom) - std::max<double>(sy, top);
                for (auto sx = static_cast<A_long>(left); sx < source.Width() && sx < right; ++sx)
                {
                    const double cover =
                        coverY * (std::min<double>(sx + 1, right) - std::max<double>(sx, left));
                    const PF_Pixel& pixel = source.At(sx, sy);
                    sum[0] += cover * pixel.alpha;
                    sum[1] += cover * pixel.red;
                    sum[2] += cover * pixel.green;
                    sum[3] += cover * pixel.blue;
                    area += cover;
                }
            }
            const auto channel = [&](int i)
            { return static_cast<A_u_char>(std::lround(area > 0 ? sum[i] / area : 0)); };
            target.At(x, y) = PF_Pixel{channel(0), channel(1), channel(2), channel(3)};
        }
    }
    return target;
}

FrameQuality MeasureQuality(const EffectHost::World& input, const EffectHost::World& preview)
{
    if (preview.Width() <= 0 || preview.Height() <= 0)
    {
        throw std::invalid_argument("An empty preview has no quality to measure");
    }
    if (input.Width() != preview.Width() || input.Height() != preview.Height())
    {
        return MeasureQuality(ScaleByArea(input, preview.Width(), preview.Height()), preview);
    }
    double lumaSum = 0.0;
    double sampleSum = 0.0;
    for (A_long y = 0; y < preview.Height(); ++y)
    {
        for (A_long x = 0; x < preview.Width(); ++x)
        {
            const PF_Pixel& a = input.At(x, y);
            const PF_Pixel& b = preview.At(x, y);
            const double dr = a.red - b.red;
            const double dg = a.green - b.green;
            const double db = a.blue - b.blue;
            const double dy = 0.299 * dr + 0.587 * dg + 0.114 * db;
            lumaSum += dy * dy;
            sampleSum += dr * dr + dg * dg + db * db;
        }
    }
    const double pixels = static_cast<double>(preview.Width()) * preview.Height();
    return FrameQuality{lumaSum / pixels, sampleSum / (3.0 * pixels)};
}

} // namespace CommandLine
