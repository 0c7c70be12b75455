#include "host/World.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace EffectHost
{

World::World() = default;

World::World(A_long width, A_long height)
{
    Allocate(width, height);
}

World::World(const World& other)
{
    *this = other;
}

World& World::operator=(const World& other)
{
    if (this != &other)
    {
        Allocate(other.Width(), other.Height());
        if (size_ != 0)
        {
            std::memcpy(memory_.get(), other.memory_.get(), size_);
        }
    }
    return *this;
}

void World::Allocate(A_long width, A_long height)
{
    if (width < 0 || height < 0)
    {
        throw std::invalid_argument("World size must not be negative");
    }
    const A_long rowBytes = width * 4 + RowPadding;
    size_ = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    memory_ = size_ != 0 ? std::make_unique<std::uint8_t[]>(size_) : nullptr;
    def_ = PF_EffectWorld{};
    def_.data = reinterpret_cast<PF_PixelPtr>(memory_.get());
    def_.rowbytes = rowBytes;
    def_.width = width;
    def_.height = height;
    def_.extent_hint = PF_UnionableRect{0, 0, width, height};
    def_.pix_aspect_ratio = PF_RationalScale{1, 1};
}

PF_Pixel& World::At(A_long x, A_long y) noexcept
{
    return reinterpret_cast<PF_Pixel*>(memory_.get() + y * def_.rowbytes)[x];
}

const PF_Pixel& World::At(A_long x, A_long y) const noexcept
{
    return reinterpret_cast<const PF_Pixel*>(memory_.get() + y * def_.rowbytes)[x];
}

void World::Fill(const PF_Pixel& colour) noexcept
{
    for (A_long y = 0; y < Height(); ++y)
    {
        std::fill_n(&At(0, y), Width(), colour);
    }
}

void World::FillPadding(std::uint8_t marker) noexcept
{
    for (A_long y = 0; y < Height(); ++y)
    {
        std::memset(memory_.get() + y * def_.rowbytes + Width() * 4, marker, RowPadding);
    }
}

bool World::PaddingIntact(std::uint8_t marker) const noexcept
{
    for (A_long y = 0; y < Height(); ++y)
    {
        const std::uint8_t* padding = memory_.get() + y * def_.rowbytes + Width() * 4;
        if (std::any_of(padding, padding + RowPadding, [&](std::uint8_t b) { return b != marker; }))
        {
            return false;
        }
    }
    return true;
}

} // namespace EffectHost

bool operator==(const PF_Pixel& left, const PF_Pixel& right) noexcept
{
    return left.alpha == right.alpha && left.red == right.red && left.green == right.green &&
           left.blue == right.blue;
}
