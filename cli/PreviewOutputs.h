#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "cli/Input.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/OutputFolder.h"
#include "cli/Preview.h"
#include "cli/Reports.h"
#include "cli/VideoInput.h"
#include "cli/Y4mWriter.h"
#include "host/Host.h"

namespace CommandLine
{

// What the preview writes besides its frames, as the options asked.
struct OutputRequest
{
    bool compare = false;                   // --compare: compare_NNNNN.png
    std::optional<std::string> y4m;         // --y4m FILE or -
    std::optional<std::string> saveProject; // --save-project FILE
    std::optional<std::string> project;     // --project FILE, read before the options

    bool Y4mToStandardOutput() const noexcept { return y4m && *y4m == "-"; }
};

// If `option` is one of the output options, reads its value into `request`
// and returns true. Throws UsageError for a missing value.
bool ParseOutputOption(ArgumentReader& reader, const std::string& option, OutputRequest& request);
// The lines of --help that describe them.
const char* OutputOptionsHelp();

// Refuses, before anything is rendered, a --y4m or --save-project file that
// cannot be written, naming the reason. Throws RunError.
void CheckOutputFiles(const OutputRequest& request);

// The input's description for the report.
Json DescribeInput(const LayerInput& input);

// Applies --project to the effect's controls, before the command-line
// options. Warnings go to stderr. Throws UsageError / RunError.
void ApplyProject(EffectHost::Host& host, const OutputRequest& request);

// Per rendered frame: reads the effect's Information area and measures the
// preview against its input (at the preview resolution, reduced as the host
// reduces the layer); writes compare_NNNNN.png when asked; at the end
// report.csv, report.json and sizes.svg. A run that fails or is stopped
// never reaches Finish, so no report describes half a run.
class FrameAnalysis final : public PreviewOutput
{
  public:
    FrameAnalysis(OutputFolder& folder, EffectHost::Host& host, bool compare, Json input);
    void Frame(const RenderedFrame& frame) override;
    void Finish(EffectHost::Host& host) override;
    std::string Summary() const override;

    const Report& Collected() const noexcept { return report_; }
    static std::string CompareName(A_long frame);

  private:
    OutputFolder& folder_;
    bool compare_;
    Report report_;
    EffectHost::World input_;
    EffectHost::World reduced_;
    int comparisons_ = 0;
    bool written_ = false;
};

// --y4m: the preview frames as a YUV4MPEG2 stream.
class Y4mOutput final : public PreviewOutput
{
  public:
    // Opens the stream at once, so a file that cannot be written fails the
    // run before any rendering. Throws RunError.
    Y4mOutput(std::string target, const EffectHost::Host& host);
    void Frame(const RenderedFrame& frame) override;
    void Finish(EffectHost::Host& host) override;
    std::string Summary() const override;

  private:
    std::string target_;
    std::unique_ptr<Y4mWriter> writer_;
    int frames_ = 0;
    bool finished_ = false;
};

// --save-project: the settings the run used.
class ProjectOutput final : public PreviewOutput
{
  public:
    explicit ProjectOutput(std::string path) : path_(std::move(path)) {}
    void Frame(const RenderedFrame&) override {}
    void Finish(EffectHost::Host& host) override;
    std::string Summary() const override;

  private:
    std::string path_;
    bool written_ = false;
};

} // namespace CommandLine
