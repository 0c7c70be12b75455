#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "AE_Effect.h"
#include "AE_EffectUI.h"
#include "AE_PluginProperties.h"
#include "framework/DrawContext.h"
#include "framework/Errors.h"
#include "framework/Handles.h"
#include "framework/HostSuites.h"
#include "framework/Parameters.h"
#include "support/Locks.h"
#include "support/StringRef.h"

class Noncopyable
{
  protected:
    Noncopyable() = default;
    ~Noncopyable() = default;

  public:
    Noncopyable(const Noncopyable&) = delete;
    Noncopyable& operator=(const Noncopyable&) = delete;
};

// Application ids of the hosts the framework knows.
constexpr std::int32_t ApplicationIdAfterEffects = PF_FOURCC('F', 'X', 'T', 'C');
constexpr std::int32_t ApplicationIdPremiere = PF_FOURCC('P', 'r', 'M', 'r');

struct PluginVersion
{
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;
    std::int32_t stage = 0;
    std::int32_t build = 0;
};

struct HostVersion
{
    std::int32_t major = 0;
    std::int32_t minor = 0;
};

// The host data of the command being run. All zero between commands.
struct CommandContext
{
    PF_InData* inData = nullptr;
    PF_OutData* outData = nullptr;
    PF_ParamDef** params = nullptr;
    PF_LayerDef* output = nullptr;
    void* extra = nullptr;
    PF_EventExtra* eventExtra = nullptr;    // PF_Cmd_EVENT only
    std::int32_t changedParameterIndex = 0; // -1 unless PF_Cmd_USER_CHANGED_PARAM
    std::uint32_t threadId = 0;

    bool operator==(const CommandContext&) const = default;
};

// What an instance needs from its first in_data: the suites and the folder of
// the module file.
class PluginBase : private Noncopyable
{
  public:
    explicit PluginBase(PF_InData* in_data);

    HostSuites& GetSuites() noexcept { return suites_; }

    // The module's folder with its trailing '/', empty when the host gives no
    // path with a folder.
    const Zovazaz::WString& GetModuleDirectory() const noexcept { return moduleDirectory_; }

  private:
    HostSuites suites_;
    Zovazaz::WString moduleDirectory_;
};

// An effect: derive, answer the pure operations, override the handlers the
// effect needs. Handlers take no arguments and read the host's data through
// the accessors of the current command context. They report failures by
// throwing AdobeException (THROW_ADOBE_EXCEPTION), a host code as an int, or a
// standard exception; EntryPoint turns each into the command's result.
class Plugin : public PluginBase
{
  public:
    enum HostCheckState : std::int32_t
    {
        HostCheck_Undecided = 0,
        HostCheck_Accepted = 1,
        HostCheck_Refused = -1,
    };

    explicit Plugin(PF_InData* in_data);
    virtual ~Plugin();

    // Identity.
    virtual const char* GetName() = 0; // static storage
    virtual const char16_t* GetTitle() = 0;
    virtual const char16_t* GetDescription() = 0;
    virtual PluginVersion& GetVersion(PluginVersion& out) = 0;
    virtual bool IsHostSupported(std::int32_t applicationId);
    virtual HostVersion& GetMinimumHostVersion(HostVersion& out) = 0;
    // Parameter table, input layer included at position 0.
    virtual std::int32_t GetParameterCount() = 0;
    virtual const ParameterDescriptor* GetParameterDescriptor(std::int32_t position) = 0;
    virtual bool IsInitialized();
    virtual bool IsPremiere();
    // Static storage, never null. Effects handle their own codes first.
    virtual const char* GetErrorMessage(std::int32_t code);
    // The text of a static parameter's area (default: a float slider's value).
    virtual Zovazaz::WString& GetParameterText(Zovazaz::WString& out, std::int32_t position);

    // Command handlers.
    virtual void OnCommand_About();
    virtual void OnCommand_GlobalSetup();
    virtual void OnCommand_SetupParameters();
    virtual void OnCommand_UserChangedParameter();
    virtual void OnCommand_UpdateParametersUi();
    virtual void OnCommand_DoDialog();
    virtual void OnCommand_Event();
    virtual void OnCommand_Render();
    // Event handlers; true marks the event handled.
    virtual bool OnEvent_Draw();
    virtual bool OnEvent_AdjustCursor(PF_EventUnion* event);
    virtual bool OnEvent_Click(PF_EventUnion* event);
    virtual bool OnEvent_KeyDown();

    // The one place where exceptions become host codes; never throws.
    PF_Err EntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_LayerDef* output, void* extra) noexcept;

    // The current command's data.
    PF_InData* GetInData() const;
    PF_OutData* GetOutData() const;
    PF_ParamDef** GetParams() const;
    PF_LayerDef* GetOutput() const;
    void* GetExtra() const;
    PF_EventExtra* GetEventExtra() const;
    std::int32_t GetChangedParameterIndex() const;
    CommandContext GetCommandContext() const;
    std::int32_t GetNestingDepth() const;
    HostCheckState GetHostCheckState() const noexcept { return hostCheckState_; }
    // For an instance made by a command other than global set-up or About:
    // global set-up has not run for it, so every command is refused with
    // ErrorInitFailed until the instance is set down.
    void MarkNotSetUp() noexcept { initialized_ = false; }

    // Host callbacks; a non-zero host result is thrown as an int.
    void CheckAbort();
    void ReportProgress(std::int32_t current, std::int32_t total);
    void FillWorld(PF_EffectWorld* world, const PF_Pixel& color);
    PF_Pixel8* GetPixelData8(PF_EffectWorld* world);
    // A negative time means the current time.
    ParameterCheckout CheckoutParameter(std::int32_t position, std::int32_t time = -1);
    ParameterCheckout CheckoutInputLayer(std::int32_t time = -1);

    // Copies at most PF_MAX_EFFECT_MSG_LEN characters into the current
    // out_data's return_msg; does nothing without out_data.
    void SetReturnMessage(Zovazaz::StringRef text);
    // The same with PF_OutFlag_DISPLAY_ERROR_MESSAGE, so the host shows it.
    void ShowErrorMessage(Zovazaz::StringRef text);

    // Parameter registry. Each Add operation appends one host parameter.
    void AddStaticParameter(const ParameterDescriptor& descriptor);
    void AddNumberParameter(const ParameterDescriptor& descriptor);
    void AddButtonParameter(const ParameterDescriptor& descriptor);
    void AddCheckboxParameter(const ParameterDescriptor& descriptor);
    void AddPopupParameter(const ParameterDescriptor& descriptor);
    // Re-sends every control with its enabled state from the descriptors.
    void UpdateParametersUi();
    // Positional access to the current params; AdobeException ErrorInternal
    // for a position outside [0, GetParameterCount()).
    std::int32_t GetParameterValue(std::int32_t position);
    bool SetParameterValue(std::int32_t position, std::int32_t value);
    // Replaces the displayed name (at most 30 characters).
    void SetParameterDescription(std::int32_t position, Zovazaz::StringRef text);

    // The default look of a static area: its text, one line per line feed,
    // inside the event's control frame.
    void DrawStaticText(DrawContext& context, Zovazaz::WStringRef text);

  private:
    // The current in_data / params; AdobeException ErrorInternal between
    // commands, where a handler helper has nothing to work on.
    PF_InData* RequireInData() const;
    PF_ParamDef** RequireParams() const;
    void CheckPosition(std::int32_t position);
    bool CheckHost(PF_InData* in_data) noexcept;
    void Dispatch(PF_Cmd cmd, std::int32_t depth);
    void AddParameter(PF_ParamDef& def, bool ignoreHostError);

    bool initialized_ = true;
    bool premiere_ = false;
    HostCheckState hostCheckState_ = HostCheck_Undecided;
    std::int32_t depth_ = 0;
    CommandContext context_;
    std::vector<CommandContext> savedContexts_;
    mutable Zovazaz::LightMutex lock_;
};

// The effect's factory, called with the in_data of the first command.
std::unique_ptr<Plugin> CreatePlugin(PF_InData* in_data);

// The module's one instance, or null.
Plugin* GetPluginInstance() noexcept;

PF_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamDef* params[], PF_LayerDef* output, void* extra);
