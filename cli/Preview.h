#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/Input.h"
#include "cli/Options.h"
#include "cli/OutputFolder.h"
#include "host/Host.h"
#include "host/World.h"

namespace CommandLine
{

// Everything `ruzirazu preview` is told.
struct PreviewOptions
{
    ModuleOptions module;
    EffectSettings effect;
    InputOptions input;
    std::optional<std::pair<A_long, A_long>> frames; // inclusive; none: every frame
    int downsample = 1;                              // 1 full, 2 half, 3 third, 4 quarter
    std::string outputFolder = "preview";
    bool panel = false;
};

// Reads -f/--frames, --resolution, -o/--output or --panel into `options` and
// returns true; false for any other option. Throws UsageError.
bool ParsePreviewOption(ArgumentReader& reader, const std::string& option, PreviewOptions& options);

// "full", "half", "third", "quarter" to 1 to 4. Throws UsageError.
int ParseResolution(const std::string& option, const std::string& text);
// "A-B" (inclusive) or "A". Throws UsageError.
std::pair<A_long, A_long> ParseFrameRange(const std::string& option, const std::string& text);

// A frame as the preview's outputs see it, right after the effect rendered
// it: the host's current time is at the frame.
struct RenderedFrame
{
    A_long index = 0;
    const EffectHost::World& output; // the effect's output, at the preview resolution
    EffectHost::Host& host;
};

// One thing the preview produces. Each output hears of every rendered frame
// in order and then, when all went well, of the end of the run; a failure
// or Ctrl-C skips Finish, and what was written so far must be whole.
class PreviewOutput
{
  public:
    virtual ~PreviewOutput() = default;
    virtual void Frame(const RenderedFrame& frame) = 0;
    virtual void Finish(EffectHost::Host&) {}
    // A line for the closing summary, or empty.
    virtual std::string Summary() const { return {}; }
};

// frame_NNNNN.png for every rendered frame: the effect's output.
class FrameFiles final : public PreviewOutput
{
  public:
    explicit FrameFiles(OutputFolder& folder) : folder_(folder) {}
    void Frame(const RenderedFrame& frame) override;
    std::string Summary() const override;

    // "frame_00042.png": five digits, more only past 99999.
    static std::string FileName(A_long index);

  private:
    OutputFolder& folder_;
    int written_ = 0;
    A_long first_ = 0;
    A_long last_ = 0;
};

// panel.png: the whole effect controls panel at the last rendered frame.
class PanelFile final : public PreviewOutput
{
  public:
    explicit PanelFile(OutputFolder& folder) : folder_(folder) {}
    void Frame(const RenderedFrame&) override {}
    void Finish(EffectHost::Host& host) override;
    std::string Summary() const override;

  private:
    OutputFolder& folder_;
    bool written_ = false;
};

// The text of the effect's Information area at the host's current time, one
// line per string the effect drew there, exactly as drawn (trailing empty
// lines left out). Empty when the effect has no Information area.
std::string InformationText(EffectHost::Host& host);

// The preview's --help text.
std::string PreviewHelp();

// `ruzirazu preview`: returns the exit code; throws UsageError, RunError or
// Interrupted.
int RunPreview(ArgumentReader& arguments);

} // namespace CommandLine
