#include "host/BuiltInClip.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "host/Raster.h"
#include "host/Text.h"

namespace EffectHost
{

namespace
{

// splitmix64: a fixed generator, so the clip is the same on every machine and
// with every standard library (the <random> distributions are not).
std::uint64_t Mix(std::uint64_t value) noexcept
{
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

A_u_char Byte(double value) noexcept
{
    return static_cast<A_u_char>(std::clamp(std::lround(value), 0l, 255l));
}

// A coverage mask (0 to 255 per pixel), drawn once and composited per frame.
struct Mask
{
    int width = 0;
    int height = 0;
    int advance = 0; // how far the next glyph starts
    int pad = 0;     // blank columns left of the ink's origin
    std::vector<std::uint8_t> coverage;
};

constexpr int TilePower = 8; // grain and texture tiles are 256 x 256, wrapped with a mask
constexpr int TileSize = 1 << TilePower;
constexpr int TileMask = TileSize - 1;

Mask TextMask(TextRenderer& text, const std::u32string& words, float size)
{
    const int pad = 2;
    Mask mask;
    mask.advance = static_cast<int>(std::lround(text.Measure(words, size)));
    mask.pad = pad;
    mask.width = mask.advance + 2 * pad;
    mask.height = static_cast<int>(std::ceil(size * 1.25f)) + 2 * pad;
    Raster raster(mask.width, mask.height);
    text.Draw(raster, PF_Rect{0, 0, mask.width, mask.height}, pad,
              static_cast<float>(pad) + size * 0.95f, words, Rgba{255, 255, 255, 255}, size);
    mask.coverage.resize(static_cast<std::size_t>(mask.width) * mask.height);
    for (int y = 0; y < mask.height; ++y)
    {
        for (int x = 0; x < mask.width; ++x)
        {
            mask.coverage[static_cast<std::size_t>(y) * mask.width + x] = raster.At(x, y).alpha;
        }
    }
    return mask;
}

// What stands in for text when no font can be opened: a solid bar.
Mask BarMask(int width, int height)
{
    Mask mask;
    mask.width = std::max(width, 1);
    mask.height = std::max(height, 1);
    mask.advance = mask.width + 1;
    mask.coverage.assign(static_cast<std::size_t>(mask.width) * mask.height, 255);
    return mask;
}

// Blends `colour` through the mask at (left, top), clipped to the world.
// `opacity` scales the coverage (0 to 256).
void Composite(World& into, const Mask& mask, A_long left, A_long top, PF_Pixel colour,
               int opacity) noexcept
{
    const A_long x0 = std::max<A_long>(left, 0);
    const A_long y0 = std::max<A_long>(top, 0);
    const A_long x1 = std::min<A_long>(left + mask.width, into.Width());
    const A_long y1 = std::min<A_long>(top + mask.height, into.Height());
    for (A_long y = y0; y < y1; ++y)
    {
        const std::uint8_t* cover = &mask.coverage[static_cast<std::size_t>(y - top) * mask.width];
        PF_Pixel* row = &into.At(0, y);
        for (A_long x = x0; x < x1; ++x)
        {
            const int a = (cover[x - left] * opacity) >> 8;
            if (a == 0)
            {
                continue;
            }
            PF_Pixel& p = row[x];
            p.red = static_cast<A_u_char>(p.red + ((colour.red - p.red) * a + 127) / 255);
            p.green = static_cast<A_u_char>(p.green + ((colour.green - p.green) * a + 127) / 255);
            p.blue = static_cast<A_u_char>(p.blue + ((colour.blue - p.blue) * a + 127) / 255);
        }
    }
}

} // namespace

struct BuiltInClip::Layers
{
    // The background: `period` full rows of a vertical gradient that rises and
    // falls again, so that scrolling through it wraps without a seam.
    A_long period = 1;
    A_long scrollSpeed = 1;
    std::vector<PF_Pixel> gradient;

    // The textured panel and the tile it pans over.
    PF_Rect panel{};
    A_long panSpeed = 1;
    std::vector<PF_Pixel> texture; // TileSize x TileSize

    // Grain, added to every pixel; the tile moves by a frame-seeded offset.
    std::vector<std::int8_t> grain; // TileSize x TileSize

    Mask title;
    Mask digits[10];
    Mask label;

    double discRadius = 1;
};

BuiltInClip::BuiltInClip(A_long width, A_long height, A_long frames)
    : width_(width), height_(height), frames_(frames)
{
    if (width < 1 || height < 1 || frames < 1)
    {
        throw std::invalid_argument(fmt::format("The built-in clip needs a size of at least 1 x 1 "
                                                "and 1 frame, not {} x {} with {}",
                                                width, height, frames));
    }
    auto layers = std::make_unique<Layers>();

    layers->period = 2 * height;
    layers->scrollSpeed = std::max<A_long>(1, height / 360);
    layers->gradient.resize(static_cast<std::size_t>(layers->period) * width);
    for (A_long r = 0; r < layers->period; ++r)
    {
        // 0 at the top, 1 half-way down the period, 0 again at its end.
        const double t = r < height ? double(r) / height : double(layers->period - r) / height;
        PF_Pixel* row = &layers->gradient[static_cast<std::size_t>(r) * width];
        for (A_long x = 0; x < width; ++x)
        {
            // Navy to teal down the frame, warming slightly to the right: a
            // low-contrast ramp that an encoder turns into visible bands.
            const double s = width > 1 ? double(x) / (width - 1) : 0.0;
            row[x] = PF_Pixel{255, Byte(14 + 20 * t + 34 * s), Byte(22 + 88 * t + 10 * s),
                              Byte(52 + 76 * t - 12 * s)};
        }
    }

    layers->panel =
        PF_Rect{width / 16, height * 11 / 20, width / 16 + width * 7 / 20, height * 9 / 10};
    layers->panSpeed = std::max<A_long>(1, width / 420);
    layers->texture.resize(TileSize * TileSize);
    layers->grain.resize(TileSize * TileSize);
    std::uint64_t seed = 0x5275'7A69'7261'7A75ull;
    for (int y = 0; y < TileSize; ++y)
    {
        for (int x = 0; x < TileSize; ++x)
        {
            seed = Mix(seed);
            // A two-pixel weave with thin threads every seventh column and
            // row, roughened by static noise: detail at the finest scale.
            const bool weave = ((x >> 1) + (y >> 1)) & 1;
            const bool thread = x % 7 == 0 || y % 7 == 3;
            const int rough = static_cast<int>(seed & 31) - 16;
            const int base = (weave ? 176 : 96) + (thread ? -60 : 0) + rough;
            layers->texture[static_cast<std::size_t>(y) * TileSize + x] =
                PF_Pixel{255, Byte(base + 30), Byte(base + 8), Byte(base - 24)};
            // Three uniform draws summed: grain that is roughly Gaussian.
            const int grain = static_cast<int>((seed >> 8) % 5) +
                              static_cast<int>((seed >> 16) % 5) +
                              static_cast<int>((seed >> 24) % 5) - 6;
            layers->grain[static_cast<std::size_t>(y) * TileSize + x] =
                static_cast<std::int8_t>(grain);
        }
    }

    const float titleSize = std::max(8.0f, static_cast<float>(height) / 7.0f);
    const float digitSize = std::max(6.0f, static_cast<float>(height) / 20.0f);
    try
    {
        TextRenderer text(std::string(TextRenderer::DefaultFontPath));
        layers->title = TextMask(text, U"RUZIRAZU", titleSize);
        layers->label = TextMask(text, U"frame", digitSize);
        for (int digit = 0; digit < 10; ++digit)
        {
            layers->digits[digit] =
                TextMask(text, std::u32string(1, static_cast<char32_t>(U'0' + digit)), digitSize);
        }
    }
    catch (const std::runtime_error&)
    {
        layers->title = BarMask(static_cast<int>(titleSize * 5), static_cast<int>(titleSize));
        layers->label = BarMask(static_cast<int>(digitSize * 2), static_cast<int>(digitSize));
        for (auto& digit : layers->digits)
        {
            digit = BarMask(static_cast<int>(digitSize / 2), static_cast<int>(digitSize));
        }
    }
    layers->discRadius = std::max(2.0, height / 10.0);
    layers_ = std::move(layers);
}

BuiltInClip::~BuiltInClip() = default;

void BuiltInClip::FrameAt(A_long time, A_long timeStep, A_u_long, World& into) const
{
    Frame(timeStep > 0 ? time / timeStep : 0, into);
}

std::shared_ptr<const World> BuiltInClip::HeldFrame(A_long time, A_long timeStep, A_u_long) const
{
    return Composed(timeStep > 0 ? time / timeStep : 0);
}

std::shared_ptr<const World> BuiltInClip::Composed(A_long frame) const
{
    frame = std::clamp<A_long>(frame, 0, frames_ - 1);
    std::lock_guard lock(cacheMutex_);
    if (cachedFrame_ != frame || !cached_)
    {
        // Every reference is handed out under the lock, so a count of one
        // means nobody else can be reading the world. A host holds a few
        // frames at once (an effect reads ahead), so the worlds it gives back
        // are kept for the next frames rather than allocated anew each time.
        constexpr std::size_t MostWorlds = 4;
        cached_.reset();
        const auto free = std::find_if(worlds_.begin(), worlds_.end(),
                                       [](const auto& world) { return world.use_count() == 1; });
        if (free != worlds_.end())
        {
            cached_ = *free;
        }
        else
        {
            cached_ = std::make_shared<World>(width_, height_);
            if (worlds_.size() < MostWorlds)
            {
                worlds_.push_back(cached_);
            }
        }
        cachedFrame_ = -1; // not valid until composed
        Compose(frame, *cached_);
        cachedFrame_ = frame;
    }
    return cached_;
}

void BuiltInClip::Frame(A_long frame, World& into) const
{
    if (into.Width() != width_ || into.Height() != height_)
    {
        throw std::invalid_argument("BuiltInClip: the world is not the clip's size");
    }
    const std::shared_ptr<const World> composed = Composed(frame);
    const auto rowPixels = static_cast<std::size_t>(width_) * sizeof(PF_Pixel);
    // Only the pixels: the padding of the caller's rows stays as it was.
    for (A_long y = 0; y < height_; ++y)
    {
        std::memcpy(&into.At(0, y), &composed->At(0, y), rowPixels);
    }
}

void BuiltInClip::Compose(A_long frame, World& into) const
{
    const Layers& layers = *layers_;

    // Background: whole rows copied out of the scrolling gradient.
    const A_long scroll = (frame * layers.scrollSpeed) % layers.period;
    for (A_long y = 0; y < height_; ++y)
    {
        const A_long source = (y + scroll) % layers.period;
        std::memcpy(&into.At(0, y), &layers.gradient[static_cast<std::size_t>(source) * width_],
                    static_cast<std::size_t>(width_) * sizeof(PF_Pixel));
    }

    // The textured panel, panning right and down.
    const A_long panX = frame * layers.panSpeed;
    const A_long panY = frame;
    for (A_long y = layers.panel.top; y < std::min(layers.panel.bottom, height_); ++y)
    {
        const PF_Pixel* tile =
            &layers.texture[static_cast<std::size_t>((y - panY) & TileMask) * TileSize];
        PF_Pixel* row = &into.At(0, y);
        for (A_long x = layers.panel.left; x < std::min(layers.panel.right, width_); ++x)
        {
            row[x] = tile[(x - panX) & TileMask];
        }
    }

    // The title slides across the whole frame once over the clip, bobbing.
    const Mask& title = layers.title;
    const double progress = frames_ > 1 ? double(frame) / (frames_ - 1) : 0.5;
    const A_long titleX =
        static_cast<A_long>(std::lround(-title.width + progress * (width_ + title.width)));
    const A_long titleY =
        static_cast<A_long>(std::lround(height_ * 0.16 + std::sin(frame * 0.21) * height_ * 0.03));
    const A_long shadow = std::max<A_long>(1, height_ / 240);
    Composite(into, title, titleX + shadow, titleY + shadow, PF_Pixel{255, 0, 0, 0}, 140);
    Composite(into, title, titleX, titleY, PF_Pixel{255, 246, 242, 228}, 256);

    // A frame counter in the top right corner: "frame" and the number.
    const std::string number = fmt::format("{}", frame);
    A_long numberWidth = 0;
    for (char c : number)
    {
        numberWidth += layers.digits[c - '0'].advance;
    }
    const A_long margin = std::max<A_long>(2, height_ / 40);
    A_long x = width_ - margin - numberWidth;
    Composite(into, layers.label,
              x - layers.label.advance - layers.label.height / 4 - layers.label.pad, margin,
              PF_Pixel{255, 255, 255, 255}, 200);
    for (char c : number)
    {
        const Mask& digit = layers.digits[c - '0'];
        Composite(into, digit, x - digit.pad, margin, PF_Pixel{255, 255, 230, 120}, 256);
        x += digit.advance;
    }

    // A striped disc on a Lissajous path, tens to hundreds of pixels a frame.
    const double radius = layers.discRadius;
    const double centreX = width_ / 2.0 + (width_ / 2.0 - radius) * std::sin(frame * 0.37);
    const double centreY = height_ / 2.0 + (height_ / 2.0 - radius) * std::sin(frame * 0.53 + 1.0);
    const double spin = frame * 0.9;
    const A_long top = std::max<A_long>(0, static_cast<A_long>(centreY - radius - 1));
    const A_long bottom = std::min<A_long>(height_, static_cast<A_long>(centreY + radius + 2));
    const A_long left = std::max<A_long>(0, static_cast<A_long>(centreX - radius - 1));
    const A_long right = std::min<A_long>(width_, static_cast<A_long>(centreX + radius + 2));
    for (A_long y = top; y < bottom; ++y)
    {
        PF_Pixel* row = &into.At(0, y);
        for (A_long px = left; px < right; ++px)
        {
            const double dx = px + 0.5 - centreX;
            const double dy = y + 0.5 - centreY;
            const double distance = std::sqrt(dx * dx + dy * dy);
            const double cover = std::clamp(radius - distance + 0.5, 0.0, 1.0);
            if (cover <= 0.0)
            {
                continue;
            }
            const bool stripe = std::sin(std::atan2(dy, dx) * 6.0 + spin) > 0.0;
            const double glow = 1.0 - 0.45 * distance / radius;
            const double red = 255 * glow, green = (stripe ? 210 : 90) * glow,
                         blue = (stripe ? 40 : 150) * glow;
            PF_Pixel& p = row[px];
            p.red = Byte(p.red + (red - p.red) * cover);
            p.green = Byte(p.green + (green - p.green) * cover);
            p.blue = Byte(p.blue + (blue - p.blue) * cover);
        }
    }

    // Grain over everything, the tile shifted by an offset seeded by the frame.
    const std::uint64_t offset = Mix(static_cast<std::uint64_t>(frame) + 1);
    const A_long grainX = static_cast<A_long>(offset & TileMask);
    const A_long grainY = static_cast<A_long>((offset >> 16) & TileMask);
    for (A_long y = 0; y < height_; ++y)
    {
        const std::int8_t* tile =
            &layers.grain[static_cast<std::size_t>((y + grainY) & TileMask) * TileSize];
        PF_Pixel* row = &into.At(0, y);
        for (A_long px = 0; px < width_; ++px)
        {
            const int g = tile[(px + grainX) & TileMask];
            PF_Pixel& p = row[px];
            p.red = static_cast<A_u_char>(std::clamp(p.red + g, 0, 255));
            p.green = static_cast<A_u_char>(std::clamp(p.green + g, 0, 255));
            p.blue = static_cast<A_u_char>(std::clamp(p.blue + g, 0, 255));
        }
    }
}

} // namespace EffectHost
