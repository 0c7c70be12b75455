#pragma once

#include <algorithm>
#include <cstdint>
#include <istream>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/LayerSource.h"
#include "host/Resolution.h"
#include "host/World.h"

namespace Reliability
{

using EffectHost::World;

// One change a user makes to a frame of the layer: a pixel's colour, a block
// of the picture moved, the whole frame made fully transparent, or grain
// laid over it.
struct Edit
{
    enum Kind
    {
        Pixel = 0,
        ShiftBlock = 1,
        Transparent = 2,
        Grain = 3,
    };
    int kind = Pixel;
    int x = 0;
    int y = 0;
    int width = 0;  // block and grain only
    int height = 0; // block and grain only
    int dx = 0;     // block and grain only: where its pixels move to
    int dy = 0;
    int value = 0; // pixel: XOR-ed into red and green; grain: its seed

    bool operator==(const Edit&) const = default;
};

using EditScript = std::map<A_long, std::vector<Edit>>; // frame index -> edits in order

// A layer whose frames are a deterministic moving picture plus the edits a
// test applied to them, and which records every frame it was asked for.
// The edits can be written out and read back, so that another process can
// paint exactly the same frames.
class ScriptedLayer final : public EffectHost::LayerSource
{
  public:
    ScriptedLayer(A_long width, A_long height) : width_(width), height_(height) {}

    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }

    void FrameAt(A_long time, A_long timeStep, A_u_long, World& into) const override
    {
        const A_long frame = timeStep != 0 ? time / timeStep : 0;
        requested.push_back(frame);
        if (failAt == frame && ++failSeen > failSkip)
        {
            throw std::runtime_error("frame " + std::to_string(frame) + " cannot be read");
        }
        Paint(frame, edits, into);
    }

    // The picture of a frame under a script, at the layer's size.
    static void Paint(A_long frame, const EditScript& script, World& into)
    {
        for (A_long y = 0; y < into.Height(); ++y)
        {
            for (A_long x = 0; x < into.Width(); ++x)
            {
                // Gradients and texture that move a little every frame, so that
                // encoding has real work and every frame differs.
                const int shifted = static_cast<int>(x + 2 * frame);
                PF_Pixel& pixel = into.At(x, y);
                pixel.alpha = 255;
                pixel.red = static_cast<A_u_char>((shifted * 255) / 96);
                pixel.green = static_cast<A_u_char>(40 + (y * 160) / 64);
                pixel.blue = static_cast<A_u_char>(((shifted / 6 + y / 6) % 2) ? 190 : 70);
            }
        }
        const auto found = script.find(frame);
        if (found == script.end())
        {
            return;
        }
        for (const Edit& edit : found->second)
        {
            Apply(edit, into);
        }
    }

    // The frame as the host hands it to the effect at a preview resolution.
    World FrameAtResolution(A_long frame, const EditScript& script, int downsample) const
    {
        World full(width_, height_);
        Paint(frame, script, full);
        if (downsample == 1)
        {
            return full;
        }
        World reduced(EffectHost::DownsampledSize(width_, downsample),
                      EffectHost::DownsampledSize(height_, downsample));
        EffectHost::Downsample(full, reduced, downsample);
        return reduced;
    }

    void Write(std::ostream& out) const
    {
        out << "layer " << width_ << ' ' << height_ << '\n';
        for (const auto& [frame, list] : edits)
        {
            for (const Edit& e : list)
            {
                out << "edit " << frame << ' ' << e.kind << ' ' << e.x << ' ' << e.y << ' '
                    << e.width << ' ' << e.height << ' ' << e.dx << ' ' << e.dy << ' ' << e.value
                    << '\n';
            }
        }
    }

    // Reads a "layer" line's numbers after the word, then "edit" lines are
    // added with AddEditLine.
    void AddEditLine(std::istream& in)
    {
        A_long frame = 0;
        Edit e;
        in >> frame >> e.kind >> e.x >> e.y >> e.width >> e.height >> e.dx >> e.dy >> e.value;
        if (!in)
        {
            throw std::runtime_error("bad edit line");
        }
        edits[frame].push_back(e);
    }

    EditScript edits;
    // A frame whose reading fails, after `failSkip` reads of it succeeded.
    A_long failAt = -1;
    int failSkip = 0;
    mutable int failSeen = 0;
    mutable std::vector<A_long> requested;

  private:
    static void Apply(const Edit& edit, World& into)
    {
        const A_long w = into.Width();
        const A_long h = into.Height();
        switch (edit.kind)
        {
        case Edit::Pixel:
            if (edit.x < w && edit.y < h)
            {
                PF_Pixel& p = into.At(edit.x, edit.y);
                p.red ^= static_cast<A_u_char>(edit.value);
                p.green ^= static_cast<A_u_char>(edit.value);
            }
            break;
        case Edit::ShiftBlock:
        {
            const World before(into);
            for (A_long y = edit.y; y < std::min<A_long>(h, edit.y + edit.height); ++y)
            {
                for (A_long x = edit.x; x < std::min<A_long>(w, edit.x + edit.width); ++x)
                {
                    const A_long tx = x + edit.dx;
                    const A_long ty = y + edit.dy;
                    if (tx >= 0 && tx < w && ty >= 0 && ty < h)
                    {
                        into.At(tx, ty) = before.At(x, y);
                    }
                }
            }
            break;
        }
        case Edit::Transparent:
            into.Fill(PF_Pixel{0, 0, 0, 0});
            break;
        case Edit::Grain:
            // Noise over the block, moved right by dx: texture that the
            // encoder can only predict from the frames before.
            for (A_long y = edit.y; y < std::min<A_long>(h, edit.y + edit.height); ++y)
            {
                for (A_long x = edit.x; x < std::min<A_long>(w, edit.x + edit.width); ++x)
                {
                    auto n = static_cast<std::uint32_t>(x - edit.dx) * 0x9E3779B1u ^
                             static_cast<std::uint32_t>(y) * 0x85EBCA77u ^
                             static_cast<std::uint32_t>(edit.value);
                    n = (n ^ (n >> 15)) * 0x2C1B3C6Du;
                    n ^= n >> 13;
                    PF_Pixel& p = into.At(x, y);
                    p.red = static_cast<A_u_char>(n & 0xFF);
                    p.green = static_cast<A_u_char>(n >> 8 & 0xFF);
                    p.blue = static_cast<A_u_char>(n >> 16 & 0xFF);
                }
            }
            break;
        default:
            throw std::runtime_error("unknown edit kind " + std::to_string(edit.kind));
        }
    }

    A_long width_;
    A_long height_;
};

// The pixels of a world, row by row without padding: what a comparison needs.
inline std::vector<std::uint8_t> PixelBytes(const World& world)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(world.Width() * world.Height() * 4));
    for (A_long y = 0; y < world.Height(); ++y)
    {
        const auto* row = reinterpret_cast<const std::uint8_t*>(&world.At(0, y));
        bytes.insert(bytes.end(), row, row + world.Width() * 4);
    }
    return bytes;
}

} // namespace Reliability
