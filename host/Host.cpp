#include "host/Host.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

#include "host/AppSuites.h"
#include "host/BasicSuite.h"
#include "host/Callbacks.h"
#include "host/Drawing.h"
#include "host/HandleSuite.h"
#include "host/Module.h"
#include "host/Panel.h"
#include "host/Parameters.h"
#include "host/Resolution.h"
#include "host/Text.h"

namespace EffectHost
{

namespace
{
std::atomic<Host*> activeHost{nullptr};

std::string MessageText(const PF_OutData& out)
{
    return std::string(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
}

std::string FlagsText(A_long flags)
{
    return fmt::format("0x{:08X}", static_cast<unsigned>(flags));
}

std::string CommandName(PF_Cmd command)
{
    static const char* const names[] = {"PF_Cmd_ABOUT",
                                        "PF_Cmd_GLOBAL_SETUP",
                                        "PF_Cmd_UNUSED_0",
                                        "PF_Cmd_GLOBAL_SETDOWN",
                                        "PF_Cmd_PARAMS_SETUP",
                                        "PF_Cmd_SEQUENCE_SETUP",
                                        "PF_Cmd_SEQUENCE_RESETUP",
                                        "PF_Cmd_SEQUENCE_FLATTEN",
                                        "PF_Cmd_SEQUENCE_SETDOWN",
                                        "PF_Cmd_DO_DIALOG",
                                        "PF_Cmd_FRAME_SETUP",
                                        "PF_Cmd_RENDER",
                                        "PF_Cmd_FRAME_SETDOWN",
                                        "PF_Cmd_USER_CHANGED_PARAM",
                                        "PF_Cmd_UPDATE_PARAMS_UI",
                                        "PF_Cmd_EVENT"};
    if (command >= 0 && command < PF_Cmd_NUM_CMDS)
    {
        return names[command];
    }
    return fmt::format("command {}", command);
}
} // namespace

Host::Host(HostOptions options) : options_(options)
{
    basicSuite_ = std::make_unique<BasicSuite>(*this);
    handleSuite_ = std::make_unique<HandleSuite>(*this);
    callbacks_ = std::make_unique<Callbacks>(*this);
    parameters_ = std::make_unique<Parameters>(*this);
    appSuites_ = std::make_unique<AppSuites>();
    drawing_ = std::make_unique<Drawing>(*this);
    basicSuite_->Offer(kPFHandleSuite, kPFHandleSuiteVersion2, handleSuite_->Table());
    appSuites_->OfferSuites(*basicSuite_);
    drawing_->OfferSuites(*basicSuite_);
    layerSource_ = std::make_shared<PatternLayerSource>(1280, 720);
    // Claimed last, so that a failure above leaves no host registered.
    Host* expected = nullptr;
    if (!activeHost.compare_exchange_strong(expected, this))
    {
        throw std::logic_error("Only one Host may drive modules at a time in a process");
    }
}

Host::~Host()
{
    try
    {
        Unload();
    }
    catch (...)
    {
        // A destructor cannot report further; Unload's own reports are made.
    }
    Host* self = this;
    activeHost.compare_exchange_strong(self, nullptr);
}

Host* Host::Active() noexcept
{
    return activeHost.load();
}

void Host::Report(MessageKind kind, std::string text)
{
    HostMessage message{kind, std::move(text)};
    if (messageSink_)
    {
        messageSink_(message);
    }
    messages_.push_back(std::move(message));
}

std::vector<std::string> Host::MessagesOf(MessageKind kind) const
{
    std::vector<std::string> texts;
    for (const auto& message : messages_)
    {
        if (message.kind == kind)
        {
            texts.push_back(message.text);
        }
    }
    return texts;
}

// ---------------------------------------------------------------- loading

void Host::LoadModule(const std::string& path)
{
    if (IsLoaded())
    {
        throw std::logic_error("A module is already loaded");
    }
    auto module = std::make_unique<Module>(path);
    entryPoint_ = module->EntryPoint();
    modulePath_ = path;
    ReadProperties(module->Properties());
    module_ = std::move(module);
}

void Host::UseEntryPoint(PF_EntryPointFunc entryPoint, const PF_PropertyList* properties,
                         std::string modulePath)
{
    if (IsLoaded())
    {
        throw std::logic_error("A module is already loaded");
    }
    if (!entryPoint)
    {
        throw std::invalid_argument("No entry point given");
    }
    entryPoint_ = entryPoint;
    modulePath_ = std::move(modulePath);
    ReadProperties(properties);
}

bool Host::IsLoaded() const noexcept
{
    return entryPoint_ != nullptr;
}

void Host::ReadProperties(const PF_PropertyList* list)
{
    properties_ = ModuleProperties{};
    if (!list || !list->properties)
    {
        return;
    }
    for (A_long i = 0; i < list->count; ++i)
    {
        const PF_Property& property = list->properties[i];
        const std::string text = property.kind == PF_PropertyValue_STRING && property.string_value
                                     ? property.string_value
                                     : "";
        switch (property.key)
        {
        case PF_PROP_NAME:
            properties_.name = text;
            break;
        case PF_PROP_CATEGORY:
            properties_.category = text;
            break;
        case PF_PROP_ENTRY_POINT:
            properties_.entryPoint = text;
            break;
        case PF_PROP_MATCH_NAME:
            properties_.matchName = text;
            break;
        case PF_PROP_EFFECT_VERSION:
            properties_.effectVersion = property.long_value;
            break;
        case PF_PROP_SPEC_VERSION:
            properties_.specVersion = property.long_value;
            break;
        case PF_PROP_GLOBAL_FLAGS:
            properties_.globalFlags = property.long_value;
            properties_.hasGlobalFlags = true;
            break;
        case PF_PROP_GLOBAL_FLAGS2:
            properties_.globalFlags2 = property.long_value;
            properties_.hasGlobalFlags2 = true;
            break;
        default:
            break;
        }
    }
}

void Host::Unload()
{
    if (!IsLoaded())
    {
        return;
    }
    if (globalSetupDone_)
    {
        GlobalSetdown();
    }
    // The module's static objects are destroyed when it is closed and may give
    // back what they hold through our suites, so count only afterwards.
    module_.reset();
    entryPoint_ = nullptr;
    const std::string leaks = handleSuite_->LeakReport();
    if (!leaks.empty())
    {
        Report(MessageKind::Defect, "Leak at unload: " + leaks);
    }
    drawing_->ReportLiveObjects("after the module was unloaded");
    const std::string unbalanced = basicSuite_->UnbalancedReport();
    if (!unbalanced.empty())
    {
        Report(MessageKind::Defect, "Suites not released at unload: " + unbalanced);
    }
}

// --------------------------------------------------------------- commands

CommandResult Host::Dispatch(PF_Cmd command, void* extra, PF_EffectWorld* output,
                             bool withLayerFrame)
{
    if (!IsLoaded())
    {
        throw std::logic_error("No module is loaded");
    }
    PF_InData in{};
    callbacks_->Install(in);
    in.quality = 1;
    in.version.major = options_.versionMajor;
    in.version.minor = options_.versionMinor;
    in.appl_id = options_.applicationId;
    in.num_params = parameters_->Count();
    in.current_time = time_.currentTime;
    in.time_step = time_.timeStep;
    in.local_time_step = time_.timeStep;
    in.total_time = time_.totalTime;
    in.time_scale = time_.timeScale;
    in.width = layerSource_->Width();
    in.height = layerSource_->Height();
    // The layer's own size stays in width and height; what the effect gets
    // to see at a reduced resolution is the downsampled extent.
    in.extent_hint = PF_Rect{0, 0, RenderWidth(), RenderHeight()};
    in.downsample_x = PF_RationalScale{1, static_cast<A_u_long>(downsample_)};
    in.downsample_y = PF_RationalScale{1, static_cast<A_u_long>(downsample_)};
    in.pixel_aspect_ratio = PF_RationalScale{1, 1};
    in.shutter_angle = 0;
    in.pica_basicP = basicSuite_->Table();

    std::shared_ptr<const World> layer;
    if (withLayerFrame)
    {
        layer = parameters_->LayerFrame(time_.currentTime, time_.timeStep, time_.timeScale);
    }
    auto params = parameters_->BeginCommand(layer ? &layer->Def() : nullptr);
    Parameters::CommandLayer previousLayer =
        layer && shareCommandLayer_
            ? parameters_->ShareCommandLayer(
                  {layer, time_.currentTime, time_.timeStep, time_.timeScale})
            : parameters_->ShareCommandLayer({});

    PF_OutData out{};
    struct DepthGuard
    {
        int& depth;
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    };
    PF_Err error = PF_Err_NONE;
    {
        DepthGuard guard(commandDepth_);
        error = entryPoint_(command, &in, &out, params->Pointers(), output, extra);
    }
    // The effect has given the command's layer back with the command; a
    // checkout still holding it keeps it until its checkin.
    parameters_->ShareCommandLayer(std::move(previousLayer));
    if (command != PF_Cmd_RENDER)
    {
        parameters_->TakeOverChanges(*params);
    }
    if (commandDepth_ == 0)
    {
        const CheckoutAccounting checkouts = parameters_->Checkouts();
        if (checkouts.outstanding > 0)
        {
            Report(MessageKind::Defect,
                   fmt::format("{} parameter checkout(s) outstanding at the end of {}",
                               checkouts.outstanding, CommandName(command)));
        }
    }

    CommandResult result;
    result.error = error;
    out.return_msg[sizeof out.return_msg - 1] = '\0';
    result.returnMessage = MessageText(out);
    if (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE)
    {
        result.errorMessage = result.returnMessage;
        Report(MessageKind::Error, result.errorMessage);
    }
    result.outData = out;
    lastOutData_ = out;
    return result;
}

CommandResult Host::Send(PF_Cmd command, void* extra, PF_EffectWorld* output)
{
    return Dispatch(command, extra, output, command == PF_Cmd_RENDER);
}

CommandResult Host::GlobalSetup()
{
    CommandResult result = Dispatch(PF_Cmd_GLOBAL_SETUP, nullptr, nullptr, false);
    if (result.error == PF_Err_NONE)
    {
        globalSetupDone_ = true;
        CompareGlobalFlags(result.outData);
    }
    return result;
}

void Host::CompareGlobalFlags(const PF_OutData& out)
{
    // The flags the effect answers and the ones its property list promises must
    // agree, or the host would treat the effect differently before and after
    // loading it.
    const A_long answered = out.out_flags & ~PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    if (properties_.hasGlobalFlags && answered != properties_.globalFlags)
    {
        Report(MessageKind::Warning, "out_flags " + FlagsText(answered) +
                                         " differ from the property list's global flags " +
                                         FlagsText(properties_.globalFlags));
    }
    if (properties_.hasGlobalFlags2 && out.out_flags2 != properties_.globalFlags2)
    {
        Report(MessageKind::Warning, "out_flags2 " + FlagsText(out.out_flags2) +
                                         " differ from the property list's global flags 2 " +
                                         FlagsText(properties_.globalFlags2));
    }
}

CommandResult Host::ParamsSetup()
{
    parameters_->Reset();
    CommandResult result = Dispatch(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, false);
    if (result.error == PF_Err_NONE && result.outData.num_params != 0 &&
        result.outData.num_params != parameters_->Count())
    {
        Report(MessageKind::Warning,
               fmt::format("num_params {} differs from the {} parameters the effect added",
                           result.outData.num_params, parameters_->Count()));
    }
    return result;
}

CommandResult Host::About()
{
    CommandResult result = Dispatch(PF_Cmd_ABOUT, nullptr, nullptr, false);
    if (result.errorMessage.empty() && !result.returnMessage.empty())
    {
        Report(MessageKind::About, result.returnMessage);
    }
    return result;
}

CommandResult Host::GlobalSetdown()
{
    CommandResult result = Dispatch(PF_Cmd_GLOBAL_SETDOWN, nullptr, nullptr, false);
    globalSetupDone_ = false;
    return result;
}

CommandResult Host::UpdateParamsUi()
{
    return Dispatch(PF_Cmd_UPDATE_PARAMS_UI, nullptr, nullptr, false);
}

CommandResult Host::SequenceSetup()
{
    return Dispatch(PF_Cmd_SEQUENCE_SETUP, nullptr, nullptr, false);
}

CommandResult Host::SequenceSetdown()
{
    return Dispatch(PF_Cmd_SEQUENCE_SETDOWN, nullptr, nullptr, false);
}

// --------------------------------------------------------------- accounting

void Host::WithholdSuite(const std::string& name)
{
    basicSuite_->Withhold(name);
}

void Host::OfferSuite(const std::string& name)
{
    basicSuite_->Unwithhold(name);
}

SuiteUse Host::SuiteUsage(const std::string& name) const
{
    return basicSuite_->Usage(name);
}

HandleAccounting Host::Handles() const
{
    return handleSuite_->Accounting();
}

void Host::FailNewHandleAt(int k)
{
    handleSuite_->FailNewAt(k);
}

CheckoutAccounting Host::Checkouts() const
{
    return parameters_->Checkouts();
}

DrawingAccounting Host::DrawingObjects() const
{
    return drawing_->Accounting();
}

std::size_t Host::DrawnStringCount() const
{
    return drawing_->StringCount();
}

std::vector<std::u16string> Host::TakeDrawnStrings(std::size_t first)
{
    return drawing_->TakeStringsFrom(first);
}

// --------------------------------------------------------------- parameters

int Host::ParameterCount() const noexcept
{
    return parameters_->Count();
}

const PF_ParamDef& Host::Parameter(int position) const
{
    return parameters_->At(position);
}

int Host::PositionOfHostId(A_long hostId) const
{
    return parameters_->FindHostId(hostId);
}

int Host::PositionOfName(const std::string& name) const
{
    return parameters_->FindName(name);
}

std::vector<std::string> Host::PopupItems(int position) const
{
    return parameters_->PopupItems(position);
}

std::string Host::ValueText(int position) const
{
    return parameters_->ValueText(position);
}

bool Host::IsEnabled(int position) const
{
    return parameters_->IsEnabled(position);
}

const PF_CustomUIInfo* Host::CustomUi() const noexcept
{
    return parameters_->CustomUi();
}

ChangeResult Host::ChangeParameter(int position, double value)
{
    ChangeResult change;
    if (auto refusal = parameters_->Refusal(position, value))
    {
        change.refusal = std::move(*refusal);
        return change;
    }
    change.accepted = true;
    parameters_->Write(position, value);
    if (parameters_->At(position).flags & PF_ParamFlag_SUPERVISE)
    {
        PF_UserChangedParamExtra extra{position};
        change.command = Dispatch(PF_Cmd_USER_CHANGED_PARAM, &extra, nullptr, false);
        change.sent = true;
    }
    return change;
}

ChangeResult Host::ChangePopup(int position, const std::string& itemText)
{
    const auto items = parameters_->PopupItems(position);
    for (std::size_t i = 0; i < items.size(); ++i)
    {
        if (items[i] == itemText)
        {
            return ChangeParameter(position, static_cast<double>(i + 1));
        }
    }
    ChangeResult change;
    std::string known;
    for (const auto& item : items)
    {
        known += (known.empty() ? "\"" : ", \"") + item + "\"";
    }
    change.refusal =
        "\"" + itemText + "\" is not an item of " +
        (position >= 0 && position < ParameterCount() ? std::string(Parameter(position).name)
                                                      : fmt::format("position {}", position)) +
        (known.empty() ? std::string() : " (" + known + ")");
    return change;
}

ChangeResult Host::PressButton(int position)
{
    ChangeResult change;
    if (position < 1 || position >= ParameterCount() ||
        Parameter(position).param_type != PF_Param_BUTTON)
    {
        change.refusal = fmt::format("There is no button at position {}", position);
        return change;
    }
    change.accepted = true;
    PF_UserChangedParamExtra extra{position};
    change.command = Dispatch(PF_Cmd_USER_CHANGED_PARAM, &extra, nullptr, false);
    change.sent = true;
    return change;
}

// ----------------------------------------------------------- layer, render

void Host::SetLayerSource(std::shared_ptr<const LayerSource> source)
{
    if (!source || source->Width() <= 0 || source->Height() <= 0)
    {
        throw std::invalid_argument("A layer source needs a size of at least 1 x 1");
    }
    layerSource_ = std::move(source);
}

void Host::SetDownsample(int factor)
{
    if (factor < 1 || factor > LargestDownsample)
    {
        throw std::invalid_argument(fmt::format("A preview resolution is 1/1 to 1/{}, not 1/{}",
                                                LargestDownsample, factor));
    }
    downsample_ = factor;
}

A_long Host::RenderWidth() const noexcept
{
    return DownsampledSize(layerSource_->Width(), downsample_);
}

A_long Host::RenderHeight() const noexcept
{
    return DownsampledSize(layerSource_->Height(), downsample_);
}

void Host::SetLayerSize(A_long width, A_long height)
{
    SetLayerSource(std::make_shared<PatternLayerSource>(width, height));
}

CommandResult Host::Render(World& output)
{
    return Dispatch(PF_Cmd_RENDER, nullptr, &output.Def(), true);
}

CommandResult Host::RenderFrame(A_long frame, World& output)
{
    SetCurrentFrame(frame);
    return Render(output);
}

// ---------------------------------------------------------------- drawing

Rgba Host::PanelBackground() const noexcept
{
    return AppSuites::ToRgba(AppSuites::PanelColour(PF_App_Color_PANEL_BACKGROUND));
}

TextRenderer& Host::Text()
{
    if (!text_)
    {
        text_ = std::make_unique<TextRenderer>();
    }
    return *text_;
}

DrawResult Host::SendDrawEvent(Raster& surface, int position, const PF_Rect& frame,
                               PF_EffectArea area)
{
    PF_EventExtra extra{};
    extra.contextH = drawing_->BeginEvent(surface, frame);
    extra.e_type = PF_Event_DRAW;
    extra.u.draw.update_rect = frame;
    extra.u.draw.depth = 32;
    extra.effect_win.index = position;
    extra.effect_win.area = area;
    extra.effect_win.current_frame = frame;
    extra.effect_win.param_title_frame = frame;
    DrawResult result;
    try
    {
        result.command = Dispatch(PF_Cmd_EVENT, &extra, nullptr, false);
    }
    catch (...)
    {
        drawing_->EndEvent();
        throw;
    }
    drawing_->EndEvent();
    result.evtOutFlags = extra.evt_out_flags;
    result.handled = (extra.evt_out_flags & PF_EO_HANDLED_EVENT) != 0;
    return result;
}

DrawResult Host::DrawEvent(int position, const PF_Rect& frame, PF_EffectArea area)
{
    Raster surface(std::max<A_long>(frame.right, 1), std::max<A_long>(frame.bottom, 1),
                   PanelBackground());
    DrawResult result = SendDrawEvent(surface, position, frame, area);
    result.surface = std::move(surface);
    return result;
}

Raster Host::DrawPanel(int width)
{
    return Panel(*this).Draw(width);
}

void Host::WritePanel(const std::string& path, int width)
{
    WritePng(DrawPanel(width), path);
}

std::vector<std::u16string> Host::AreaStrings(int position, int width)
{
    const PF_Rect frame = Panel(*this).AreaFrame(position, width);
    if (frame.right <= frame.left || frame.bottom <= frame.top)
    {
        return {};
    }
    const std::size_t before = drawing_->StringCount();
    DrawEvent(position, frame);
    return drawing_->TakeStringsFrom(before);
}

} // namespace EffectHost
