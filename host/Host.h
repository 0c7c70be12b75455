#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "AE_PluginProperties.h"
#include "DrawbotSuites.h"
#include "host/LayerSource.h"
#include "host/Raster.h"
#include "host/World.h"

// The host that loads an effect module and drives it through the effect API,
// as a compositing application would: the same commands in the same order,
// the same records, callbacks and suites. It knows a module only through that
// API (never through the module's own headers).
//
// One Host drives modules at a time per process. The suites that carry no
// handle of their own (SPBasicSuite, the handle suite, the app suite) can only
// find "the" host, so constructing a second Host while one is alive throws
// std::logic_error. Hosts may follow one another freely.
namespace EffectHost
{

constexpr A_long ApplicationAfterEffects = static_cast<A_long>(PF_FOURCC('F', 'X', 'T', 'C'));
constexpr A_long ApplicationPremiere = static_cast<A_long>(PF_FOURCC('P', 'r', 'M', 'r'));

struct HostOptions
{
    A_long applicationId = ApplicationAfterEffects;
    A_short versionMajor = 13;
    A_short versionMinor = 28;
};

// What the host tells its user. Errors are the effect's return_msg after a
// command that set PF_OutFlag_DISPLAY_ERROR_MESSAGE; About is the text of
// PF_Cmd_ABOUT; warnings are the host's own remarks (flag mismatches);
// defects are contract breaches that the host detected (leaked handles,
// checkouts or drawing objects, bad calls).
enum class MessageKind
{
    Error,
    About,
    Warning,
    Defect
};

struct HostMessage
{
    MessageKind kind = MessageKind::Warning;
    std::string text;
};

using MessageSink = std::function<void(const HostMessage&)>;
using ProgressSink = std::function<void(A_long current, A_long total)>;

// The outcome of one command.
struct CommandResult
{
    PF_Err error = PF_Err_NONE;
    std::string errorMessage;  // return_msg when DISPLAY_ERROR_MESSAGE was set
    std::string returnMessage; // return_msg as the effect left it
    PF_OutData outData{};

    bool Succeeded() const noexcept { return error == PF_Err_NONE && errorMessage.empty(); }
};

// The outcome of a user's change to a control.
struct ChangeResult
{
    bool accepted = false; // false: the host refused the value, nothing was sent
    std::string refusal;   // why, naming the valid range
    bool sent = false;     // PF_Cmd_USER_CHANGED_PARAM was sent (supervised control)
    CommandResult command; // its outcome when sent
};

// The effect's property list as the host read it.
struct ModuleProperties
{
    std::string name;
    std::string category;
    std::string entryPoint;
    std::string matchName;
    A_long effectVersion = 0;
    A_long specVersion = 0; // major << 16 | minor
    A_long globalFlags = 0;
    A_long globalFlags2 = 0;
    bool hasGlobalFlags = false;
    bool hasGlobalFlags2 = false;
};

struct TimeSettings
{
    A_u_long timeScale = 30000;
    A_long timeStep = 1001;
    A_long totalTime = 90 * 1001;
    A_long currentTime = 0;
};

struct SuiteUse
{
    int acquired = 0;
    int released = 0;
    int refused = 0; // acquisitions answered with an error (withheld or unknown)
};

struct HandleAccounting
{
    int liveHandles = 0;
    std::uint64_t bytesOutstanding = 0;
    int lockedHandles = 0; // live handles with a lock count above zero
    int totalLocks = 0;    // sum of the live handles' lock counts
    int created = 0;
    int disposed = 0;
    int failedAllocations = 0;
};

struct CheckoutAccounting
{
    int outstanding = 0;
    int total = 0;                  // checkouts since the host was made
    int layerCheckouts = 0;         // of those, the input layer's
    std::vector<A_long> layerTimes; // the times at which the layer was checked out
};

struct DrawingAccounting
{
    int liveObjects = 0; // brushes, fonts, paths, images not yet released
    int objectsCreated = 0;
    int imagesCreated = 0; // NewImageFromBuffer calls that made an image
    int fills = 0;         // FillPath calls
    std::vector<DRAWBOT_PointF32> stringOrigins;
    std::vector<std::u16string> strings;
    std::vector<DRAWBOT_PointF32> imageOrigins;
};

// The outcome of one draw event.
struct DrawResult
{
    CommandResult command;
    A_long evtOutFlags = 0;
    bool handled = false; // PF_EO_HANDLED_EVENT
    Raster surface;       // what the area looks like after the event
};

class BasicSuite;
class HandleSuite;
class Callbacks;
class Parameters;
class AppSuites;
class Drawing;
class TextRenderer;
class Module;

class Host
{
  public:
    // Throws std::logic_error when another Host is alive in the process.
    explicit Host(HostOptions options = {});
    // Unloads the module (GLOBAL_SETDOWN first when it was set up).
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const HostOptions& Options() const noexcept { return options_; }

    // ---- loading
    // dlopen with RTLD_NOW | RTLD_LOCAL, then the property list and the entry
    // point it names. Throws std::runtime_error with dlerror's text, or naming
    // the missing symbol. Sends no command: call GlobalSetup next, as a host
    // does right after loading, before any other command.
    void LoadModule(const std::string& path);
    // A test effect linked into the test. `properties` may be null (no flag
    // comparison then); `modulePath` is what get_platform_data reports.
    void UseEntryPoint(PF_EntryPointFunc entryPoint, const PF_PropertyList* properties = nullptr,
                       std::string modulePath = {});
    bool IsLoaded() const noexcept;
    const ModuleProperties& Properties() const noexcept { return properties_; }
    const std::string& ModulePath() const noexcept { return modulePath_; }
    // GLOBAL_SETDOWN when set up and not yet set down, then the leak report,
    // then the module is closed. Safe to call twice.
    void Unload();

    // ---- commands
    CommandResult GlobalSetup(); // warns when out_flags differ from the property list
    CommandResult ParamsSetup(); // applying the effect: rebuilds the parameter array
    CommandResult About();       // the text also goes to the user as MessageKind::About
    CommandResult GlobalSetdown();
    CommandResult UpdateParamsUi();
    CommandResult SequenceSetup();
    CommandResult SequenceSetdown();
    // Any command, including raw numbers the API doesn't name.
    CommandResult Send(PF_Cmd command, void* extra = nullptr, PF_EffectWorld* output = nullptr);
    const PF_OutData& LastOutData() const noexcept { return lastOutData_; }

    // ---- messages to the user
    const std::vector<HostMessage>& Messages() const noexcept { return messages_; }
    std::vector<std::string> MessagesOf(MessageKind kind) const;
    void ClearMessages() noexcept { messages_.clear(); }
    void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }

    // ---- suites and accounting
    // A withheld suite cannot be acquired: AcquireSuite answers an error and
    // a null pointer, which the effect sees as 516.
    void WithholdSuite(const std::string& name);
    void OfferSuite(const std::string& name); // undoes WithholdSuite
    SuiteUse SuiteUsage(const std::string& name) const;
    HandleAccounting Handles() const;
    // The k-th host_new_handle from now (1 = the next one) answers null.
    // 0 switches the failure off.
    void FailNewHandleAt(int k);
    CheckoutAccounting Checkouts() const;
    DrawingAccounting DrawingObjects() const;
    // The strings drawn so far, and those drawn since there were `first`,
    // taken out of the record (see AreaStrings).
    std::size_t DrawnStringCount() const;
    std::vector<std::u16string> TakeDrawnStrings(std::size_t first);

    // ---- parameters (position 0 is the input layer)
    int ParameterCount() const noexcept;
    const PF_ParamDef& Parameter(int position) const;  // throws std::out_of_range
    int PositionOfHostId(A_long hostId) const;         // -1 when none
    int PositionOfName(const std::string& name) const; // -1 when none
    std::vector<std::string> PopupItems(int position) const;
    // The value as a panel shows it: popup item text, "on"/"off", the number
    // with the slider's precision.
    std::string ValueText(int position) const;
    bool IsEnabled(int position) const;
    const PF_CustomUIInfo* CustomUi() const noexcept; // null until register_ui

    // A user's change: sliders take the number, popups the item number (from
    // 1), checkboxes 0 or 1. Refused with a message when out of range.
    ChangeResult ChangeParameter(int position, double value);
    ChangeResult ChangePopup(int position, const std::string& itemText);
    // Presses a button (sends the user change without altering a value).
    ChangeResult PressButton(int position);

    // ---- the input layer and time
    void SetLayerSource(std::shared_ptr<const LayerSource> source);
    const LayerSource& Layer() const noexcept { return *layerSource_; }
    // Shorthand for a pattern source of that size.
    void SetLayerSize(A_long width, A_long height);
    void SetTime(const TimeSettings& time) noexcept { time_ = time; }
    const TimeSettings& Time() const noexcept { return time_; }
    void SetCurrentFrame(A_long frame) noexcept { time_.currentTime = frame * time_.timeStep; }
    // The last failure of the layer source behind a checkout (which the
    // effect only sees as an error code), or empty. Cleared by ClearLayerError.
    const std::string& LayerError() const noexcept { return layerError_; }
    void ClearLayerError() noexcept { layerError_.clear(); }
    void SetLayerError(std::string text) { layerError_ = std::move(text); }
    // Whether a checkout of the layer at a command's own time lends the frame
    // the command already holds (the default: a render of a stored frame then
    // reads the layer once) or reads it again, as a host without that sharing
    // does.
    void ShareCommandLayer(bool share) noexcept { shareCommandLayer_ = share; }

    // ---- preview resolution
    // 1 is full resolution, 2 half, 3 third, 4 quarter: the layer's frames and
    // the output are ceil(size / factor) and in_data's downsample_x/y are
    // 1/factor. Throws std::invalid_argument outside 1 to LargestDownsample.
    void SetDownsample(int factor);
    int Downsample() const noexcept { return downsample_; }
    // The size of the output world (and of a checked-out layer) at the
    // current resolution.
    A_long RenderWidth() const noexcept;
    A_long RenderHeight() const noexcept;

    // ---- rendering
    // PF_Cmd_RENDER at the current time into `output`.
    CommandResult Render(World& output);
    CommandResult RenderFrame(A_long frame, World& output);

    // ---- abort and progress
    void RaiseAbort(bool raised = true) noexcept { abortRaised_ = raised; }
    // A flag raised from elsewhere (a signal handler) that counts as the
    // user's abort while it is set. Null: none. The flag must outlive its use.
    void SetAbortFlag(const std::atomic<bool>* flag) noexcept { abortFlag_ = flag; }
    bool AbortRaised() const noexcept
    {
        return abortRaised_ || (abortFlag_ != nullptr && abortFlag_->load());
    }
    void SetProgressSink(ProgressSink sink) { progressSink_ = std::move(sink); }

    // ---- drawing
    // PF_Cmd_EVENT / PF_Event_DRAW for one area, on a surface of
    // frame.right x frame.bottom pixels filled with the panel background.
    DrawResult DrawEvent(int position, const PF_Rect& frame, PF_EffectArea area = PF_EA_CONTROL);
    Rgba PanelBackground() const noexcept;
    // The whole effect controls panel.
    Raster DrawPanel(int width = PanelWidth);
    void WritePanel(const std::string& path, int width = PanelWidth);
    // The texts that the effect draws (DrawString) in the custom area of the
    // control at `position`, in the order drawn, for the area as the panel of
    // that width lays it out. Empty when the control has no area. The strings
    // read are taken out of the drawing record.
    std::vector<std::u16string> AreaStrings(int position, int width = PanelWidth);

    static constexpr int PanelWidth = 420;
    static constexpr int PanelRowHeight = 20;

    // The one live Host, or null. For the suites that carry no handle.
    static Host* Active() noexcept;

    // ---- used by the panel and the suite and callback trampolines
    // A draw event for one area, drawn onto `surface` and clipped to `frame`.
    DrawResult SendDrawEvent(Raster& surface, int position, const PF_Rect& frame,
                             PF_EffectArea area);
    void Report(MessageKind kind, std::string text);
    BasicSuite& Suites() noexcept { return *basicSuite_; }
    HandleSuite& HandleStore() noexcept { return *handleSuite_; }
    Parameters& Params() noexcept { return *parameters_; }
    Drawing& Draw() noexcept { return *drawing_; }
    // The panel's font, opened when first asked for. Throws
    // std::runtime_error when it cannot be opened.
    TextRenderer& Text();
    Callbacks& Calls() noexcept { return *callbacks_; }
    ProgressSink& Progress() noexcept { return progressSink_; }

  private:
    CommandResult Dispatch(PF_Cmd command, void* extra, PF_EffectWorld* output,
                           bool withLayerFrame);
    void CompareGlobalFlags(const PF_OutData& out);
    void ReadProperties(const PF_PropertyList* list);

    HostOptions options_;
    std::unique_ptr<Module> module_;
    PF_EntryPointFunc entryPoint_ = nullptr;
    ModuleProperties properties_;
    std::string modulePath_;
    bool globalSetupDone_ = false;

    std::unique_ptr<BasicSuite> basicSuite_;
    std::unique_ptr<HandleSuite> handleSuite_;
    std::unique_ptr<Callbacks> callbacks_;
    std::unique_ptr<Parameters> parameters_;
    std::unique_ptr<AppSuites> appSuites_;
    std::unique_ptr<Drawing> drawing_;
    std::unique_ptr<TextRenderer> text_;

    std::shared_ptr<const LayerSource> layerSource_;
    TimeSettings time_;
    int downsample_ = 1;
    std::string layerError_;
    bool abortRaised_ = false;
    const std::atomic<bool>* abortFlag_ = nullptr;
    ProgressSink progressSink_;

    std::vector<HostMessage> messages_;
    MessageSink messageSink_;
    PF_OutData lastOutData_{};
    int commandDepth_ = 0;
    bool shareCommandLayer_ = true;
};

} // namespace EffectHost
