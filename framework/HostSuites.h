#pragma once

#include <cstdint>

#include "AE_EffectSuites.h"
#include "DrawbotSuites.h"
#include "SPBasic.h"

// The suites of one plug-in instance, acquired on first use and released when
// the instance goes. A suite the host does not give throws the int
// PF_Err_BAD_CALLBACK_PARAM (516).
class HostSuites
{
  public:
    // Throws 516 for a null SPBasicSuite.
    explicit HostSuites(SPBasicSuite* basic);
    ~HostSuites();
    HostSuites(const HostSuites&) = delete;
    HostSuites& operator=(const HostSuites&) = delete;

    SPBasicSuite* GetBasicSuite() const noexcept { return basic_; }

    PF_ParamUtilsSuite2* GetParamUtilsSuite();
    PFAppSuite6* GetAppSuite();
    PF_HandleSuite2* GetHandleSuite();
    PF_EffectCustomUISuite1* GetEffectCustomUiSuite();
    DRAWBOT_DrawbotSuite1* GetDrawSuite();
    DRAWBOT_SupplierSuite1* GetSupplierSuite();
    DRAWBOT_SurfaceSuite1* GetSurfaceSuite();
    DRAWBOT_PathSuite1* GetPathSuite();

  private:
    template <class Suite> Suite* Acquire(Suite*& cache, const char* name, std::int32_t version);
    void Release(const void* cache, const char* name, std::int32_t version) noexcept;

    SPBasicSuite* basic_;
    PF_ParamUtilsSuite2* paramUtils_ = nullptr;
    PFAppSuite6* app_ = nullptr;
    PF_HandleSuite2* handle_ = nullptr;
    PF_EffectCustomUISuite1* customUi_ = nullptr;
    DRAWBOT_DrawbotSuite1* draw_ = nullptr;
    DRAWBOT_SupplierSuite1* supplier_ = nullptr;
    DRAWBOT_SurfaceSuite1* surface_ = nullptr;
    DRAWBOT_PathSuite1* path_ = nullptr;
};
