#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace Bench
{

struct FrameSize
{
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

struct Options
{
    std::vector<FrameSize> sizes{{1280, 720}, {1920, 1080}};
    int frames = 60;
    int segmentLength = 30;
    int runs = 5;           // 3 with --quick unless --runs is given
    std::string modulePath; // empty: Ruzirazu.so beside the benchmark
    bool help = false;
};

// A command line the benchmark cannot run with; the text says why.
class UsageError : public std::invalid_argument
{
  public:
    using std::invalid_argument::invalid_argument;
};

// Reads the arguments after the program name. `--quick` keeps only the
// 1280 x 720 cases; `--size WxH` (repeatable) replaces the sizes; `--frames`,
// `--runs` take whole numbers from 1; `--module PATH` names the module.
// Throws UsageError.
Options ParseOptions(const std::vector<std::string>& arguments);

// "WxH" with both at least 16 (the effect fills smaller outputs instead of
// encoding them). Throws UsageError.
FrameSize ParseFrameSize(const std::string& text);

extern const char* const UsageText;

} // namespace Bench
