#include <stdexcept>

#include "tests/framework/HostFixture.h"

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
    return std::make_unique<TestEffect>(in_data);
}
