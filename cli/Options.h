#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace CommandLine
{

// A mistake in how the command was called: one line on stderr, exit 2.
class UsageError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// Walks the arguments of one subcommand. Options take their value either as
// the next argument or after "=" ("--crf 30", "--crf=30").
class ArgumentReader
{
  public:
    explicit ArgumentReader(std::vector<std::string> arguments);

    bool Done() const noexcept { return index_ >= arguments_.size(); }
    // The next argument; for "--name=value" only "--name", keeping the value
    // for Value().
    std::string Next();
    // The value of the option just read. Throws UsageError when it has none.
    std::string Value(const std::string& option);
    // Throws UsageError when the option just read carried "=value" it should not.
    void NoValue(const std::string& option) const;

  private:
    std::vector<std::string> arguments_;
    std::size_t index_ = 0;
    std::optional<std::string> inlineValue_;
};

// The effect's controls as a user sets them on the command line. Unset
// options leave the control at what the effect registered.
struct EffectSettings
{
    std::optional<int> segmentLength;
    std::optional<std::string> preset; // manual, youtube, youtube-hq, vimeo
    std::optional<std::string> mode;   // abr, crf
    std::optional<int> bitrateKbps;
    std::optional<int> rateFactor;
    std::optional<int> keyFrameInterval;
    std::optional<bool> useBFrames;
    std::optional<std::pair<int, int>> layerSize;
};

// Options every subcommand that drives the module shares.
struct ModuleOptions
{
    std::string modulePath; // empty: Ruzirazu.so beside the command
};

// If `option` is one of the effect options, reads its value into `settings`
// and returns true. Throws UsageError for a malformed value.
bool ParseEffectOption(ArgumentReader& reader, const std::string& option, EffectSettings& settings);
bool ParseModuleOption(ArgumentReader& reader, const std::string& option, ModuleOptions& module);

// The lines of --help that describe the effect options.
const char* EffectOptionsHelp();

// Whole number within int, else UsageError naming the option.
int ParseInteger(const std::string& option, const std::string& text);
// "WxH" with both sides 1 to 16384.
std::pair<int, int> ParseSize(const std::string& option, const std::string& text);

} // namespace CommandLine
