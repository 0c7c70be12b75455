#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "AE_Effect.h"

namespace EffectHost
{

// An 8-bit ARGB image as the host lends it to an effect. Every row carries
// padding beyond width * 4 bytes, so that an effect which assumes packed rows
// reads the wrong pixels in tests instead of passing by luck.
class World
{
  public:
    static constexpr A_long RowPadding = 32; // bytes after each row's pixels

    World(); // 0 x 0, no pixels
    // Throws std::invalid_argument for a negative size.
    World(A_long width, A_long height);
    World(const World& other);
    World& operator=(const World& other);
    World(World&&) noexcept = default;
    World& operator=(World&&) noexcept = default;

    A_long Width() const noexcept { return def_.width; }
    A_long Height() const noexcept { return def_.height; }
    A_long RowBytes() const noexcept { return def_.rowbytes; }

    // The record handed to an effect. Its data pointer stays valid for the
    // World's lifetime (moves included).
    PF_EffectWorld& Def() noexcept { return def_; }
    const PF_EffectWorld& Def() const noexcept { return def_; }

    // No bounds test: callers stay inside 0..Width-1, 0..Height-1.
    PF_Pixel& At(A_long x, A_long y) noexcept;
    const PF_Pixel& At(A_long x, A_long y) const noexcept;

    void Fill(const PF_Pixel& colour) noexcept;
    // Fills the padding bytes of every row with a marker, so a test can see
    // whether an effect wrote beyond a row's pixels.
    void FillPadding(std::uint8_t marker) noexcept;
    bool PaddingIntact(std::uint8_t marker) const noexcept;

  private:
    void Allocate(A_long width, A_long height);

    std::unique_ptr<std::uint8_t[]> memory_;
    std::size_t size_ = 0;
    PF_EffectWorld def_{};
};

} // namespace EffectHost

// In the global namespace, beside PF_Pixel, so that lookup finds it anywhere.
bool operator==(const PF_Pixel& left, const PF_Pixel& right) noexcept;
