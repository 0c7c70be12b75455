#pragma once

#include <cstdint>
#include <memory>

#include "effect/Parameters.h"
#include "framework/Plugin.h"
#include "support/Settings.h"

// The effect's own error codes, after the framework's.
enum EffectError : std::int32_t
{
    ErrorConvertArgbToYuv = 1031,
    ErrorConvertYuvToArgb = 1032,
    ErrorVideoEncoding = 1033,
    ErrorZlibCompression = 1034,
    ErrorZlibExtraction = 1035,
};

// The H.264 compression preview effect: one object per loaded module.
class CompressionViewer : public Plugin
{
  public:
    // Establishes the data directory and applies "Log.Level"; throws
    // std::runtime_error when the data directory is not available.
    explicit CompressionViewer(PF_InData* in_data);
    ~CompressionViewer() override;

    const char* GetName() override;
    const char16_t* GetTitle() override;
    const char16_t* GetDescription() override;
    PluginVersion& GetVersion(PluginVersion& out) override;
    bool IsHostSupported(std::int32_t applicationId) override;
    HostVersion& GetMinimumHostVersion(HostVersion& out) override;
    std::int32_t GetParameterCount() override;
    const ParameterDescriptor* GetParameterDescriptor(std::int32_t position) override;
    const char* GetErrorMessage(std::int32_t code) override;
    Zovazaz::WString& GetParameterText(Zovazaz::WString& out, std::int32_t position) override;

    void OnCommand_About() override;
    void OnCommand_GlobalSetup() override;
    void OnCommand_UserChangedParameter() override;
    void OnCommand_Render() override;

    // Sets Target Bitrate from a preset table for the input layer's height
    // and switches Mode to Average Bitrate.
    void ApplyPresetBitrate(const PresetBitrate* table, std::int32_t count);

    // Forgets every stored frame; the next render starts afresh.
    void DiscardRenderer();

    // The About area's drawing (the logo).
    static void DrawLogo(Plugin& plugin, DrawContext& context);

  private:
    // The renderer member goes here.
    Zovazaz::Settings settings_;
};
