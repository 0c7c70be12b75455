#include "host/Callbacks.h"

#include <algorithm>
#include <cstring>

#include "host/Guard.h"
#include "host/Parameters.h"

namespace EffectHost
{

Callbacks::Callbacks(Host& host) : host_(host)
{
    utils_.copy = OnCopy;
    utils_.fill = OnFill;
    utils_.get_platform_data = OnGetPlatformData;
    utils_.ansi.strcpy = OnStrcpy;
    utils_.get_pixel_data8 = OnGetPixelData8;
}

void Callbacks::Install(PF_InData& in) noexcept
{
    in.inter.checkout_param = OnCheckoutParam;
    in.inter.checkin_param = OnCheckinParam;
    in.inter.add_param = OnAddParam;
    in.inter.abort = OnAbort;
    in.inter.progress = OnProgress;
    in.inter.register_ui = OnRegisterUi;
    in.utils = &utils_;
    in.effect_ref = RefOf(host_);
}

Host* Callbacks::HostOf(PF_ProgPtr effectRef) noexcept
{
    // Only the live host's reference is honoured: a stale or forged one must
    // not be dereferenced.
    Host* active = Host::Active();
    return active && effectRef == RefOf(*active) ? active : nullptr;
}

PF_Err Callbacks::OnCheckoutParam(PF_ProgPtr effectRef, PF_ParamIndex index, A_long time,
                                  A_long timeStep, A_u_long timeScale, PF_ParamDef* param)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = HostOf(effectRef);
            if (!host || !param)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            return host->Params().Checkout(index, time, timeStep, timeScale, *param);
        });
}

PF_Err Callbacks::OnCheckinParam(PF_ProgPtr effectRef, PF_ParamDef* param)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = HostOf(effectRef);
            if (!host || !param)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            return host->Params().Checkin(*param);
        });
}

PF_Err Callbacks::OnAddParam(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDefPtr def)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = HostOf(effectRef);
            if (!host || !def)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            return host->Params().Add(index, *def);
        });
}

PF_Err Callbacks::OnAbort(PF_ProgPtr effectRef)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = HostOf(effectRef);
            if (!host)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            return host->AbortRaised() ? PF_Interrupt_CANCEL : PF_Err_NONE;
        });
}

PF_Err Callbacks::OnProgress(PF_ProgPtr effectRef, A_long current, A_long total)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = HostOf(effectRef);
            if (!host)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            if (host->AbortRaised())
            {
                return PF_Interrupt_CANCEL;
            }
            if (host->Progress())
            {
                host->Progress()(current, total);
            }
            // The sink may be where the user asks to stop.
            return host->AbortRaised() ? PF_Interrupt_CANCEL : PF_Err_NONE;
        });
}

PF_Err Callbacks::OnRegisterUi(PF_ProgPtr effectRef, PF_CustomUIInfo* info)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = HostOf(effectRef);
            if (!host || !info)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            host->Params().RegisterUi(*info);
            return PF_Err_NONE;
        });
}

namespace
{

bool ValidWorld(const PF_EffectWorld& world) noexcept
{
    return world.data && world.width > 0 && world.height > 0 && world.rowbytes >= world.width * 4;
}

// The rectangle clipped to the world; false when nothing remains.
bool ClipRect(const PF_EffectWorld& world, const PF_Rect* rect, PF_Rect& clipped) noexcept
{
    clipped = rect ? *rect : PF_Rect{0, 0, world.width, world.height};
    clipped.left = std::max<A_long>(clipped.left, 0);
    clipped.top = std::max<A_long>(clipped.top, 0);
    clipped.right = std::min<A_long>(clipped.right, world.width);
    clipped.bottom = std::min<A_long>(clipped.bottom, world.height);
    return clipped.left < clipped.right && clipped.top < clipped.bottom;
}

PF_Pixel* Row(const PF_EffectWorld& world, A_long y) noexcept
{
    return reinterpret_cast<PF_Pixel*>(reinterpret_cast<std::uint8_t*>(world.data) +
                                       static_cast<std::ptrdiff_t>(y) * world.rowbytes);
}

} // namespace

PF_Err Callbacks::CopyWorld(const PF_EffectWorld& source, PF_EffectWorld& destination,
                            const PF_Rect* sourceRect, const PF_Rect* destinationRect) noexcept
{
    if (!ValidWorld(source) || !ValidWorld(destination))
    {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_Rect from = sourceRect ? *sourceRect : PF_Rect{0, 0, source.width, source.height};
    const PF_Rect to =
        destinationRect ? *destinationRect : PF_Rect{0, 0, destination.width, destination.height};
    const A_long fromWidth = from.right - from.left, fromHeight = from.bottom - from.top;
    const A_long toWidth = to.right - to.left, toHeight = to.bottom - to.top;
    if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0)
    {
        return PF_Err_NONE;
    }
    // Rectangles of different sizes scale, nearest sample, as the host's copy does.
    for (A_long y = std::max<A_long>(to.top, 0); y < std::min(to.bottom, destination.height); ++y)
    {
        const A_long sy =
            from.top +
            static_cast<A_long>((static_cast<std::int64_t>(y - to.top) * fromHeight) / toHeight);
        if (sy < 0 || sy >= source.height)
        {
            continue;
        }
        PF_Pixel* out = Row(destination, y);
        const PF_Pixel* in = Row(source, sy);
        for (A_long x = std::max<A_long>(to.left, 0); x < std::min(to.right, destination.width);
             ++x)
        {
            const A_long sx =
                from.left +
                static_cast<A_long>((static_cast<std::int64_t>(x - to.left) * fromWidth) / toWidth);
            if (sx >= 0 && sx < source.width)
            {
                out[x] = in[sx];
            }
        }
    }
    return PF_Err_NONE;
}

PF_Err Callbacks::FillWorld(PF_EffectWorld& world, const PF_Pixel* colour,
                            const PF_Rect* rect) noexcept
{
    if (!ValidWorld(world))
    {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // No colour means transparent black.
    const PF_Pixel fill = colour ? *colour : PF_Pixel{0, 0, 0, 0};
    PF_Rect clipped;
    if (!ClipRect(world, rect, clipped))
    {
        return PF_Err_NONE;
    }
    for (A_long y = clipped.top; y < clipped.bottom; ++y)
    {
        std::fill(Row(world, y) + clipped.left, Row(world, y) + clipped.right, fill);
    }
    return PF_Err_NONE;
}

PF_Err Callbacks::OnCopy(PF_ProgPtr effectRef, PF_EffectWorld* source, PF_EffectWorld* destination,
                         PF_Rect* sourceRect, PF_Rect* destinationRect)
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!HostOf(effectRef) || !source || !destination)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            return CopyWorld(*source, *destination, sourceRect, destinationRect);
        });
}

PF_Err Callbacks::OnFill(PF_ProgPtr effectRef, const PF_Pixel* colour, const PF_Rect* rect,
                         PF_EffectWorld* world)
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!HostOf(effectRef) || !world)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            return FillWorld(*world, colour, rect);
        });
}

PF_Err Callbacks::OnGetPlatformData(PF_ProgPtr effectRef, PF_PlatDataID which, void* data)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = HostOf(effectRef);
            if (!host || !data)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            if (which != PF_PlatData_EXE_FILE_PATH_DEPRECATED &&
                which != PF_PlatData_RES_FILE_PATH_DEPRECATED)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            const std::string& path = host->ModulePath();
            if (path.size() >= PF_MAX_PATH)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            std::memcpy(data, path.c_str(), path.size() + 1);
            return PF_Err_NONE;
        });
}

A_char* Callbacks::OnStrcpy(A_char* destination, const A_char* source)
{
    return Guarded<A_char*>(nullptr,
                            [&]() -> A_char*
                            {
                                if (!destination)
                                {
                                    return destination;
                                }
                                return std::strcpy(destination, source ? source : "");
                            });
}

PF_Err Callbacks::OnGetPixelData8(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** result)
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!result)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            *result = nullptr;
            if (!world || !world->data)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            *result = pixels ? pixels : world->data;
            return PF_Err_NONE;
        });
}

} // namespace EffectHost
