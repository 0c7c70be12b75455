#include <exception>
#include <memory>
#include <string>

#include "framework/Plugin.h"
#include "support/Log.h"

namespace
{

std::unique_ptr<Plugin>& Instance() noexcept
{
    static std::unique_ptr<Plugin> instance;
    return instance;
}

// The log's host error channel: every Error record of the log becomes the
// host's error message of the command being run, with the effect's name in
// front, so the user sees what went wrong.
void ShowErrorOnHost(const std::string& message)
{
    Plugin* plugin = GetPluginInstance();
    if (plugin == nullptr)
    {
        return;
    }
    try
    {
        std::string text = plugin->GetName();
        text += ": ";
        text += message;
        plugin->ShowErrorMessage(text);
    }
    catch (...)
    {
        // A message that cannot be built is not worth failing a command for.
    }
}

void LogCreationFailure(const char* what) noexcept
{
    try
    {
        ZLOG(Error) << "CreatePlugin failed: " << what;
    }
    catch (...)
    {
        // The log itself may be what failed (no data directory).
    }
}

} // namespace

Plugin* GetPluginInstance() noexcept
{
    return Instance().get();
}

PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_LayerDef* output, void* extra)
{
    std::unique_ptr<Plugin>& instance = Instance();
    if (!instance)
    {
        if (in_data == nullptr)
        {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        Zovazaz::Log::SetHostErrorSink(&ShowErrorOnHost);
        // A failed creation is answered with ErrorInitFailed and tried again
        // at the next command: the cause (a data directory, a suite) may be
        // gone by then, and no exception may reach the host.
        try
        {
            instance = CreatePlugin(in_data);
        }
        catch (const std::exception& exception)
        {
            LogCreationFailure(exception.what());
        }
        catch (const AdobeException& exception)
        {
            LogCreationFailure(exception.GetMessage().c_str());
        }
        catch (std::int32_t code)
        {
            LogCreationFailure(GetFrameworkErrorMessage(code));
        }
        catch (...)
        {
            LogCreationFailure("unknown exception");
        }
        if (!instance)
        {
            return ErrorInitFailed;
        }
    }

    const PF_Err result = instance->EntryPoint(cmd, in_data, out_data, params, output, extra);

    // A set-down nested inside another command of the instance (or refused
    // for another thread) must not pull the instance from under that command.
    if (cmd == PF_Cmd_GLOBAL_SETDOWN && instance && instance->GetNestingDepth() == 0)
    {
        instance.reset();
    }
    return result;
}
