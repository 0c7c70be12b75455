#pragma once

#include "AE_Effect.h"
#include "host/Host.h"

namespace EffectHost
{

// The in_data callbacks. Each is a static trampoline that recovers its Host
// from the effect_ref that the effect passes back.
class Callbacks
{
  public:
    explicit Callbacks(Host& host);
    Callbacks(const Callbacks&) = delete;
    Callbacks& operator=(const Callbacks&) = delete;

    // Fills in_data's inter, utils and effect_ref.
    void Install(PF_InData& in) noexcept;

    static PF_ProgPtr RefOf(Host& host) noexcept { return reinterpret_cast<PF_ProgPtr>(&host); }
    static Host* HostOf(PF_ProgPtr effectRef) noexcept;

    // The pixel work behind copy and fill, usable without an effect.
    static PF_Err CopyWorld(const PF_EffectWorld& source, PF_EffectWorld& destination,
                            const PF_Rect* sourceRect, const PF_Rect* destinationRect) noexcept;
    static PF_Err FillWorld(PF_EffectWorld& world, const PF_Pixel* colour,
                            const PF_Rect* rect) noexcept;

  private:
    static PF_Err OnCheckoutParam(PF_ProgPtr effectRef, PF_ParamIndex index, A_long time,
                                  A_long timeStep, A_u_long timeScale, PF_ParamDef* param);
    static PF_Err OnCheckinParam(PF_ProgPtr effectRef, PF_ParamDef* param);
    static PF_Err OnAddParam(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDefPtr def);
    static PF_Err OnAbort(PF_ProgPtr effectRef);
    static PF_Err OnProgress(PF_ProgPtr effectRef, A_long current, A_long total);
    static PF_Err OnRegisterUi(PF_ProgPtr effectRef, PF_CustomUIInfo* info);
    static PF_Err OnCopy(PF_ProgPtr effectRef, PF_EffectWorld* source, PF_EffectWorld* destination,
                         PF_Rect* sourceRect, PF_Rect* destinationRect);
    static PF_Err OnFill(PF_ProgPtr effectRef, const PF_Pixel* colour, const PF_Rect* rect,
                         PF_EffectWorld* world);
    static PF_Err OnGetPlatformData(PF_ProgPtr effectRef, PF_PlatDataID which, void* data);
    static A_char* OnStrcpy(A_char* destination, const A_char* source);
    static PF_Err OnGetPixelData8(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** result);

    Host& host_;
    PF_UtilCallbacks utils_{};
};

} // namespace EffectHost
