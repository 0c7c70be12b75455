#pragma once

#include <cstdint>
#include <memory>

#include "effect/LayerFrames.h"
#include "effect/Parameters.h"
#include "effect/RenderSettings.h"
#include "framework/Plugin.h"
#include "renderer/Renderer.h"
#include "renderer/RendererErrors.h"
#include "support/Settings.h"

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

    // The encoder-relevant parameter values at the current time and the
    // host's timing of the layer.
    RenderSettings GatherRenderSettings();

    // The current renderer, or null before the first render and after a
    // user change; for the Information panel.
    const Renderer* GetRenderer() const noexcept { return renderer_.get(); }

    // The About area's drawing (the logo).
    static void DrawLogo(Plugin& plugin, DrawContext& context);

  private:
    // The renderer's frames: declared first, so that it outlives the renderer.
    LayerFrames frames_{*this};
    std::unique_ptr<Renderer> renderer_;
    // What the renderer was made for, to tell whether it can be kept.
    RenderSettings rendererSettings_;
    Zovazaz::Settings settings_;
};
