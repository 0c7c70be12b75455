#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "framework/Plugin.h"
#include "support/Log.h"
#include "support/Text.h"

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

// Logs why the instance could not be made and tells the host's user too:
// without an instance the log's host channel has nobody to speak for, and
// the log itself may be what failed (no data directory).
void ReportCreationFailure(const char* what, PF_OutData* out) noexcept
{
    try
    {
        ZLOG(Error) << "CreatePlugin failed: " << what;
    }
    catch (...)
    {
    }
    if (out != nullptr)
    {
        const std::string text = std::string("CreatePlugin failed: ") + what;
        const std::size_t length = Zovazaz::Utf8PrefixLength(text, PF_MAX_EFFECT_MSG_LEN);
        std::memcpy(out->return_msg, text.data(), length);
        out->return_msg[length] = '\0';
        out->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
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
            ReportCreationFailure(exception.what(), out_data);
        }
        catch (const AdobeException& exception)
        {
            ReportCreationFailure(exception.GetMessage().c_str(), out_data);
        }
        catch (std::int32_t code)
        {
            ReportCreationFailure(GetFrameworkErrorMessage(code), out_data);
        }
        catch (...)
        {
            ReportCreationFailure("unknown exception", out_data);
        }
        if (!instance)
        {
            return ErrorInitFailed;
        }
        // Only global set-up, or About which may come before it, begins an
        // instance's life; one made for another command (after a failed
        // set-up) has loaded nothing and must not pass for set up.
        if (cmd != PF_Cmd_GLOBAL_SETUP && cmd != PF_Cmd_ABOUT)
        {
            instance->MarkNotSetUp();
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
