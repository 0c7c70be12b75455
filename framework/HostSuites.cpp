#include "framework/HostSuites.h"

HostSuites::HostSuites(SPBasicSuite* basic) : basic_(basic)
{
    if (basic_ == nullptr || basic_->AcquireSuite == nullptr || basic_->ReleaseSuite == nullptr)
    {
        throw static_cast<std::int32_t>(PF_Err_BAD_CALLBACK_PARAM);
    }
}

HostSuites::~HostSuites()
{
    Release(paramUtils_, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2);
    Release(app_, kPFAppSuite, kPFAppSuiteVersion6);
    Release(handle_, kPFHandleSuite, kPFHandleSuiteVersion2);
    Release(customUi_, kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1);
    Release(draw_, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1);
    Release(supplier_, kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1);
    Release(surface_, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1);
    Release(path_, kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1);
}

template <class Suite>
Suite* HostSuites::Acquire(Suite*& cache, const char* name, std::int32_t version)
{
    if (cache == nullptr)
    {
        const void* suite = nullptr;
        if (basic_->AcquireSuite(name, version, &suite) != kSPNoError || suite == nullptr)
        {
            throw static_cast<std::int32_t>(PF_Err_BAD_CALLBACK_PARAM);
        }
        cache = static_cast<Suite*>(const_cast<void*>(suite));
    }
    return cache;
}

void HostSuites::Release(const void* cache, const char* name, std::int32_t version) noexcept
{
    if (cache != nullptr)
    {
        basic_->ReleaseSuite(name, version);
    }
}

PF_ParamUtilsSuite2* HostSuites::GetParamUtilsSuite()
{
    return Acquire(paramUtils_, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2);
}

PFAppSuite6* HostSuites::GetAppSuite()
{
    return Acquire(app_, kPFAppSuite, kPFAppSuiteVersion6);
}

PF_HandleSuite2* HostSuites::GetHandleSuite()
{
    return Acquire(handle_, kPFHandleSuite, kPFHandleSuiteVersion2);
}

PF_EffectCustomUISuite1* HostSuites::GetEffectCustomUiSuite()
{
    return Acquire(customUi_, kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1);
}

DRAWBOT_DrawbotSuite1* HostSuites::GetDrawSuite()
{
    return Acquire(draw_, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1);
}

DRAWBOT_SupplierSuite1* HostSuites::GetSupplierSuite()
{
    return Acquire(supplier_, kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1);
}

DRAWBOT_SurfaceSuite1* HostSuites::GetSurfaceSuite()
{
    return Acquire(surface_, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1);
}

DRAWBOT_PathSuite1* HostSuites::GetPathSuite()
{
    return Acquire(path_, kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1);
}
