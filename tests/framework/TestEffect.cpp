#include <cstring>
#include <stdexcept>

#include "tests/framework/HostFixture.h"

namespace
{

// The host's suites with the drawing supplier's SupportsText answering "no",
// for the one case the real host cannot produce.
DRAWBOT_SupplierSuite1 wrappedSupplier{};
SPBasicSuite* realBasic = nullptr;
SPBasicSuite wrappedBasic{};

SPErr AcquireWithoutText(const char* name, int32_t version, const void** suite)
{
    const SPErr result = realBasic->AcquireSuite(name, version, suite);
    if (result == kSPNoError && std::strcmp(name, kDRAWBOT_SupplierSuite) == 0)
    {
        wrappedSupplier = *static_cast<const DRAWBOT_SupplierSuite1*>(*suite);
        wrappedSupplier.SupportsText = [](DRAWBOT_SupplierRef, DRAWBOT_Boolean* supports) -> SPErr
        {
            *supports = 0;
            return kSPNoError;
        };
        *suite = &wrappedSupplier;
    }
    return result;
}

} // namespace

TestScript& Script()
{
    static TestScript script;
    return script;
}

std::unique_ptr<Plugin> CreatePlugin(PF_InData* in_data)
{
    if (Script().creationFailures > 0)
    {
        --Script().creationFailures;
        throw std::runtime_error(Script().creationFailure);
    }
    if (!Script().supplierWithoutText)
    {
        return std::make_unique<TestEffect>(in_data);
    }
    PF_InData wrapped = *in_data;
    realBasic = in_data->pica_basicP;
    wrappedBasic = *realBasic;
    wrappedBasic.AcquireSuite = &AcquireWithoutText;
    wrapped.pica_basicP = &wrappedBasic;
    return std::make_unique<TestEffect>(&wrapped);
}
