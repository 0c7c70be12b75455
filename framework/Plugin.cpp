#include "framework/Plugin.h"

#include <cstring>
#include <exception>

#include <fmt/format.h>

#include "support/Log.h"
#include "support/System.h"
#include "support/Text.h"

namespace
{

const char* const CommandNames[] = {
    "ABOUT",
    "GLOBAL_SETUP",
    "UNUSED",
    "GLOBAL_SETDOWN",
    "PARAMS_SETUP",
    "SEQUENCE_SETUP",
    "SEQUENCE_RESETUP",
    "SEQUENCE_FLATTEN",
    "SEQUENCE_SETDOWN",
    "DO_DIALOG",
    "FRAME_SETUP",
    "RENDER",
    "FRAME_SETDOWN",
    "USER_CHANGED_PARAM",
    "UPDATE_PARAMS_UI",
    "EVENT",
};

const char* const EventNames[] = {
    "NONE",          "NEW_CONTEXT", "ACTIVATE",      "DO_CLICK", "DRAG",
    "DRAW",          "DEACTIVATE",  "CLOSE_CONTEXT", "IDLE",     "KEYDOWN_OBSOLETE",
    "ADJUST_CURSOR", "KEYDOWN",     "MOUSE_EXITED",
};

std::string CommandName(PF_Cmd cmd)
{
    if (cmd >= 0 && cmd < static_cast<PF_Cmd>(std::size(CommandNames)))
    {
        return CommandNames[cmd];
    }
    return fmt::format("{}", cmd);
}

std::string EventName(PF_EventType type)
{
    const auto index = static_cast<std::int64_t>(type) + 1;
    if (index >= 0 && index < static_cast<std::int64_t>(std::size(EventNames)))
    {
        return EventNames[index];
    }
    return fmt::format("{}", type);
}

// The module file's folder, with its trailing separator; empty when the host
// gives no path or a path without a folder.
Zovazaz::WString ReadModuleDirectory(PF_InData* in_data)
{
    if (in_data->utils == nullptr || in_data->utils->get_platform_data == nullptr)
    {
        return {};
    }
    char path[PF_MAX_PATH + 1] = {};
    if (in_data->utils->get_platform_data(in_data->effect_ref, PF_PlatData_EXE_FILE_PATH_DEPRECATED,
                                          path) != PF_Err_NONE)
    {
        return {};
    }
    path[PF_MAX_PATH] = '\0';
    const std::string_view text(path);
    const auto slash = text.find_last_of('/');
    if (slash == std::string_view::npos)
    {
        return {};
    }
    return Zovazaz::ToWide(Zovazaz::StringRef(text.data(), slash + 1));
}

} // namespace

PluginBase::PluginBase(PF_InData* in_data)
    : suites_(in_data->pica_basicP), moduleDirectory_(ReadModuleDirectory(in_data))
{
}

Plugin::Plugin(PF_InData* in_data) : PluginBase(in_data) {}

Plugin::~Plugin() = default;

// ---------------------------------------------------------------- defaults

bool Plugin::IsHostSupported(std::int32_t)
{
    return true;
}

bool Plugin::IsInitialized()
{
    return initialized_;
}

bool Plugin::IsPremiere()
{
    return premiere_;
}

const char* Plugin::GetErrorMessage(std::int32_t code)
{
    return GetFrameworkErrorMessage(code);
}

Zovazaz::WString& Plugin::GetParameterText(Zovazaz::WString& out, std::int32_t position)
{
    CheckPosition(position);
    const PF_ParamDef* def = RequireParams()[position];
    out.clear();
    if (def == nullptr || def->param_type != PF_Param_FLOAT_SLIDER)
    {
        return out;
    }
    const PF_FloatSliderDef& slider = def->u.fs_d;
    const std::string text =
        slider.precision != 0
            ? fmt::format("{:.{}f}", slider.value, static_cast<int>(slider.precision))
            : fmt::format("{}", ::GetParameterValue<std::int32_t>(*def));
    out = Zovazaz::ToWide(text);
    return out;
}

void Plugin::OnCommand_About()
{
    PluginVersion version;
    GetVersion(version);
    const std::string text =
        fmt::format("{} v{}.{}\r{}", Zovazaz::ToNarrow(GetTitle()), version.major, version.minor,
                    Zovazaz::ToNarrow(GetDescription()));
    SetReturnMessage(text);
}

void Plugin::OnCommand_GlobalSetup()
{
    PluginVersion version;
    GetVersion(version);
    RequireInData();
    if (PF_OutData* out = GetOutData())
    {
        out->my_version =
            PF_VERSION(version.major, version.minor, version.patch, version.stage, version.build);
    }
}

void Plugin::OnCommand_UserChangedParameter() {}

void Plugin::OnCommand_UpdateParametersUi()
{
    UpdateParametersUi();
}

void Plugin::OnCommand_DoDialog() {}

void Plugin::OnCommand_Event()
{
    PF_EventExtra* event = GetEventExtra();
    if (event == nullptr)
    {
        return;
    }
    bool handled = false;
    switch (event->e_type)
    {
    case PF_Event_DO_CLICK:
        handled = OnEvent_Click(&event->u);
        break;
    case PF_Event_DRAW:
        handled = OnEvent_Draw();
        break;
    case PF_Event_ADJUST_CURSOR:
        handled = OnEvent_AdjustCursor(&event->u);
        break;
    case PF_Event_KEYDOWN:
        handled = OnEvent_KeyDown();
        break;
    default:
        break;
    }
    if (handled)
    {
        event->evt_out_flags |= PF_EO_HANDLED_EVENT;
    }
}

void Plugin::OnCommand_Render()
{
    PF_InData* in = RequireInData();
    PF_ParamDef** params = RequireParams();
    THROW_IF_HOST_ERROR(
        in->utils->copy(in->effect_ref, &params[0]->u.ld, GetOutput(), nullptr, nullptr));
}

bool Plugin::OnEvent_AdjustCursor(PF_EventUnion*)
{
    return false;
}

bool Plugin::OnEvent_Click(PF_EventUnion*)
{
    return false;
}

bool Plugin::OnEvent_KeyDown()
{
    return false;
}

// ------------------------------------------------------------- entry point

bool Plugin::CheckHost(PF_InData* in_data) noexcept
{
    // Refused until proved otherwise, so a failing check never lets a host in.
    hostCheckState_ = HostCheck_Refused;
    try
    {
        if (!IsHostSupported(in_data->appl_id))
        {
            ZLOG(Error) << "Host not supported";
            return false;
        }
        HostVersion minimum;
        GetMinimumHostVersion(minimum);
        const std::int32_t major = in_data->version.major;
        const std::int32_t minor = in_data->version.minor;
        if (major > minimum.major || (major == minimum.major && minor >= minimum.minor))
        {
            hostCheckState_ = HostCheck_Accepted;
            return true;
        }
        ZLOG(Error) << fmt::format("Adobe Effects Version {}.{} not supported, minimum required "
                                   "is {}.{}",
                                   major, minor, minimum.major, minimum.minor);
    }
    catch (...)
    {
        // The host stays refused; there is no context to report into yet.
    }
    return false;
}

PF_Err Plugin::EntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                          PF_ParamDef* params[], PF_LayerDef* output, void* extra) noexcept
{
    if (in_data == nullptr)
    {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (hostCheckState_ == HostCheck_Refused)
    {
        return ErrorUnsupportedVersion;
    }
    if (hostCheckState_ == HostCheck_Undecided && !CheckHost(in_data))
    {
        return ErrorUnsupportedVersion;
    }
    if (!IsInitialized())
    {
        return ErrorInitFailed;
    }

    const std::uint32_t thread = Zovazaz::GetCurrentThreadIdentifier();
    std::int32_t depth = 0;
    try
    {
        Zovazaz::ScopedLock guard(lock_);
        // One context per instance: a command from another thread while one
        // runs would overwrite the context that the running handler reads.
        if (depth_ > 0 && context_.threadId != thread)
        {
            return ErrorWrongThread;
        }
        depth = ++depth_;
        if (depth > 1)
        {
            savedContexts_.push_back(context_);
        }
        context_ = CommandContext{in_data, out_data, params, output, extra, nullptr, -1, thread};
    }
    catch (...)
    {
        // Only the stack can fail to grow; the guard has restored the lock.
        if (depth > 0)
        {
            Zovazaz::ScopedLock guard(lock_);
            --depth_;
        }
        return PF_Err_OUT_OF_MEMORY;
    }

    PF_Err result = PF_Err_NONE;
    try
    {
        Dispatch(cmd, depth);
    }
    catch (const AdobeException& exception)
    {
        try
        {
            ZLOG(Error) << "EntryPoint: PF_Err thrown: " << exception.GetCode() << " ("
                        << GetErrorMessage(exception.GetCode()) << ")\n"
                        << exception.GetMessage();
        }
        catch (...)
        {
        }
    }
    catch (std::int32_t code)
    {
        result = code;
        try
        {
            if (code == PF_Interrupt_CANCEL)
            {
                ZLOG(Verbose) << "EntryPoint: user cancelled";
            }
            else
            {
                ZLOG(Error) << "EntryPoint: PF_Err thrown: " << code << " ("
                            << GetErrorMessage(code) << ")";
            }
        }
        catch (...)
        {
        }
    }
    catch (const std::exception& exception)
    {
        result = PF_Err_INTERNAL_STRUCT_DAMAGED;
        try
        {
            ZLOG(Error) << "EntryPoint: std::exception:\n" << exception.what();
        }
        catch (...)
        {
        }
    }
    catch (...)
    {
        result = PF_Err_INTERNAL_STRUCT_DAMAGED;
        try
        {
            ZLOG(Error) << "EntryPoint: Unknown exception";
        }
        catch (...)
        {
        }
    }

    Zovazaz::ScopedLock guard(lock_);
    if (--depth_ == 0)
    {
        context_ = CommandContext{};
    }
    else
    {
        context_ = savedContexts_.back();
        savedContexts_.pop_back();
    }
    return result;
}

void Plugin::Dispatch(PF_Cmd cmd, std::int32_t depth)
{
    // Statements at Verbose build their text only when the log would take it.
#define ZLOG_COMMAND ZLOG(Verbose) << "EntryPoint (" << depth << "): " << CommandName(cmd)
    switch (cmd)
    {
    case PF_Cmd_ABOUT:
        ZLOG_COMMAND;
        OnCommand_About();
        break;
    case PF_Cmd_GLOBAL_SETUP:
        premiere_ = context_.inData->appl_id == ApplicationIdPremiere;
        initialized_ = false;
        ZLOG_COMMAND;
        OnCommand_GlobalSetup();
        initialized_ = true;
        break;
    case PF_Cmd_PARAMS_SETUP:
        initialized_ = false;
        ZLOG_COMMAND;
        OnCommand_SetupParameters();
        initialized_ = true;
        break;
    case PF_Cmd_DO_DIALOG:
        ZLOG_COMMAND;
        OnCommand_DoDialog();
        break;
    case PF_Cmd_RENDER:
        ZLOG_COMMAND;
        OnCommand_Render();
        break;
    case PF_Cmd_USER_CHANGED_PARAM:
    {
        const auto* changed = static_cast<const PF_UserChangedParamExtra*>(context_.extra);
        {
            Zovazaz::ScopedLock guard(lock_);
            context_.changedParameterIndex = changed != nullptr ? changed->param_index : -1;
        }
        ZLOG_COMMAND << " " << context_.changedParameterIndex;
        OnCommand_UserChangedParameter();
        break;
    }
    case PF_Cmd_UPDATE_PARAMS_UI:
        ZLOG_COMMAND;
        OnCommand_UpdateParametersUi();
        break;
    case PF_Cmd_EVENT:
    {
        auto* event = static_cast<PF_EventExtra*>(context_.extra);
        {
            Zovazaz::ScopedLock guard(lock_);
            context_.eventExtra = event;
        }
        // Draw and cursor events come in floods; they are not worth a line.
        if (event != nullptr && event->e_type != PF_Event_DRAW &&
            event->e_type != PF_Event_ADJUST_CURSOR)
        {
            ZLOG_COMMAND << " " << EventName(event->e_type);
        }
        OnCommand_Event();
        break;
    }
    default:
        ZLOG_COMMAND << " unhandled";
        break;
    }
#undef ZLOG_COMMAND
}

// ------------------------------------------------------------ accessors

PF_InData* Plugin::GetInData() const
{
    return context_.inData;
}

PF_OutData* Plugin::GetOutData() const
{
    return context_.outData;
}

PF_ParamDef** Plugin::GetParams() const
{
    return context_.params;
}

PF_LayerDef* Plugin::GetOutput() const
{
    return context_.output;
}

void* Plugin::GetExtra() const
{
    return context_.extra;
}

PF_EventExtra* Plugin::GetEventExtra() const
{
    return context_.eventExtra;
}

std::int32_t Plugin::GetChangedParameterIndex() const
{
    return context_.changedParameterIndex;
}

CommandContext Plugin::GetCommandContext() const
{
    Zovazaz::ScopedLock guard(lock_);
    return context_;
}

std::int32_t Plugin::GetNestingDepth() const
{
    Zovazaz::ScopedLock guard(lock_);
    return depth_;
}

PF_InData* Plugin::RequireInData() const
{
    if (context_.inData == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "No command is running");
    }
    return context_.inData;
}

PF_ParamDef** Plugin::RequireParams() const
{
    if (context_.params == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "The command has no parameters");
    }
    return context_.params;
}

// ------------------------------------------------------- host callbacks

void Plugin::CheckAbort()
{
    PF_InData* in = RequireInData();
    THROW_IF_HOST_ERROR(in->inter.abort(in->effect_ref));
}

void Plugin::ReportProgress(std::int32_t current, std::int32_t total)
{
    PF_InData* in = RequireInData();
    THROW_IF_HOST_ERROR(in->inter.progress(in->effect_ref, current, total));
}

void Plugin::FillWorld(PF_EffectWorld* world, const PF_Pixel& color)
{
    PF_InData* in = RequireInData();
    THROW_IF_HOST_ERROR(in->utils->fill(in->effect_ref, &color, nullptr, world));
}

PF_Pixel8* Plugin::GetPixelData8(PF_EffectWorld* world)
{
    RequireInData();
    PF_Pixel8* pixels = nullptr;
    THROW_IF_HOST_ERROR(context_.inData->utils->get_pixel_data8(world, nullptr, &pixels));
    return pixels;
}

ParameterCheckout Plugin::CheckoutParameter(std::int32_t position, std::int32_t time)
{
    PF_InData* in = RequireInData();
    return ParameterCheckout(in, position, time < 0 ? in->current_time : time);
}

ParameterCheckout Plugin::CheckoutInputLayer(std::int32_t time)
{
    return CheckoutParameter(0, time);
}

void Plugin::SetReturnMessage(Zovazaz::StringRef text)
{
    PF_OutData* out = context_.outData;
    if (out == nullptr)
    {
        return;
    }
    // Cut whole characters only: the host shows the text as UTF-8.
    const std::size_t length = Zovazaz::Utf8PrefixLength(text, PF_MAX_EFFECT_MSG_LEN);
    if (length > 0)
    {
        std::memcpy(out->return_msg, text.data(), length);
    }
    out->return_msg[length] = '\0';
}

void Plugin::ShowErrorMessage(Zovazaz::StringRef text)
{
    PF_OutData* out = context_.outData;
    if (out == nullptr)
    {
        return;
    }
    out->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    SetReturnMessage(text);
}
