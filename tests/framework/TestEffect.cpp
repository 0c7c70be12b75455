#include "tests/framework/TestEffect.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "support/StringsResource.h"

namespace
{

// The supplier suite of the host with SupportsText answering "no", for the
// one case the real host cannot produce.
DRAWBOT_SupplierSuite1 wrappedSupplier{};
SPBasicSuite* realBasic = nullptr;
SPBasicSuite wrappedBasic{};

SPErr NoTextSupport(DRAWBOT_SupplierRef, DRAWBOT_Boolean* supports)
{
    *supports = 0;
    return kSPNoError;
}

SPErr AcquireWithoutText(const char* name, int32_t version, const void** suite)
{
    const SPErr result = realBasic->AcquireSuite(name, version, suite);
    if (result == kSPNoError && std::strcmp(name, kDRAWBOT_SupplierSuite) == 0)
    {
        wrappedSupplier = *static_cast<const DRAWBOT_SupplierSuite1*>(*suite);
        wrappedSupplier.SupportsText = &NoTextSupport;
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

void ResetScript()
{
    Script() = TestScript{};
}

std::unique_ptr<Plugin> CreatePlugin(PF_InData* in_data)
{
    TestScript& script = Script();
    if (script.creationFailures > 0)
    {
        --script.creationFailures;
        throw std::runtime_error(script.creationFailure);
    }
    if (script.supplierWithoutText)
    {
        PF_InData wrapped = *in_data;
        realBasic = in_data->pica_basicP;
        wrappedBasic = *realBasic;
        wrappedBasic.AcquireSuite = &AcquireWithoutText;
        wrapped.pica_basicP = &wrappedBasic;
        return std::make_unique<TestEffect>(&wrapped);
    }
    return std::make_unique<TestEffect>(in_data);
}

TestEffect::TestEffect(PF_InData* in_data) : Plugin(in_data)
{
    ++Script().created;
}

TestEffect::~TestEffect()
{
    ++Script().destroyed;
}

const char* TestEffect::GetName()
{
    return Script().name;
}

const char16_t* TestEffect::GetTitle()
{
    return u"Test Effect";
}

const char16_t* TestEffect::GetDescription()
{
    return u"Exercises the framework.";
}

PluginVersion& TestEffect::GetVersion(PluginVersion& out)
{
    out = Script().version;
    return out;
}

bool TestEffect::IsHostSupported(std::int32_t applicationId)
{
    const std::int32_t accepted = Script().acceptedApplication;
    return accepted == 0 || accepted == applicationId;
}

HostVersion& TestEffect::GetMinimumHostVersion(HostVersion& out)
{
    out = Script().minimum;
    return out;
}

std::int32_t TestEffect::GetParameterCount()
{
    return static_cast<std::int32_t>(Script().table.size());
}

const ParameterDescriptor* TestEffect::GetParameterDescriptor(std::int32_t position)
{
    const auto& table = Script().table;
    if (position < 0 || position >= static_cast<std::int32_t>(table.size()))
    {
        return nullptr;
    }
    return &table[position];
}

Zovazaz::WString& TestEffect::GetParameterText(Zovazaz::WString& out, std::int32_t position)
{
    if (Script().parameterText)
    {
        out = Script().parameterText(position);
        return out;
    }
    return Plugin::GetParameterText(out, position);
}

namespace
{

// Runs the test's hook, or the framework's default (a qualified call: a
// pointer to the virtual member would dispatch back to the override).
template <class Default>
void Run(const char* name, const std::function<void(TestEffect&)>& hook, TestEffect& effect,
         Default base)
{
    ++Script().calls[name];
    if (hook)
    {
        hook(effect);
    }
    else
    {
        base();
    }
}

} // namespace

void TestEffect::OnCommand_About()
{
    Run("About", Script().onAbout, *this, [this] { Plugin::OnCommand_About(); });
}

void TestEffect::OnCommand_GlobalSetup()
{
    Run("GlobalSetup", Script().onGlobalSetup, *this, [this] { Plugin::OnCommand_GlobalSetup(); });
}

void TestEffect::OnCommand_UserChangedParameter()
{
    Run("UserChanged", Script().onUserChanged, *this,
        [this] { Plugin::OnCommand_UserChangedParameter(); });
}

void TestEffect::OnCommand_Render()
{
    Run("Render", Script().onRender, *this, [this] { Plugin::OnCommand_Render(); });
}

std::uint32_t NameId(const char16_t* text)
{
    return Zovazaz::StringsResource::GetInstance().GetOrAddString_(text).first;
}

namespace
{

ParameterDescriptor Row(std::int32_t position, ParameterType type, const char16_t* name,
                        std::int32_t hostId)
{
    ParameterDescriptor row;
    row.position = position;
    row.type = type;
    row.nameId = NameId(name);
    row.hostId = hostId;
    return row;
}

} // namespace

ParameterDescriptor NumberRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                              float defaultValue, float minimum, float maximum)
{
    ParameterDescriptor row = Row(position, ParameterType_Number, name, hostId);
    row.number = NumberSpec{0, defaultValue, minimum, maximum};
    return row;
}

ParameterDescriptor PopupRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                             std::vector<const char*> choices)
{
    ParameterDescriptor row = Row(position, ParameterType_Popup, name, hostId);
    std::copy_n(choices.begin(), std::min<std::size_t>(choices.size(), MaxPopupChoices),
                row.choices);
    return row;
}

ParameterDescriptor StaticRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                              std::int32_t lines)
{
    ParameterDescriptor row = Row(position, ParameterType_Static, name, hostId);
    row.lineCount = lines;
    return row;
}

ParameterDescriptor CheckboxRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                                bool on)
{
    ParameterDescriptor row = Row(position, ParameterType_Checkbox, name, hostId);
    row.number.defaultValue = on ? 1.0f : 0.0f;
    return row;
}
