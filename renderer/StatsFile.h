#pragma once

#include <string>
#include <utility>

// The path of x264's two-pass statistics file for the calling thread:
// "<folder>/RuzirazuStats_<process id>_<thread id>.txt". The folder is the
// temporary folder, or, when others may write there, a private folder made
// inside it at the first call of the process and removed when the module is
// unloaded. Called only for an encode with an analysis pass, so a one-pass
// encode never depends on the temporary folder.
std::string MakeStatsFilePath();

// Deletes the statistics file and its ".mbtree" companion, ignoring files that
// are not there, and empties the path.
void DeleteStatsFiles(std::string& path) noexcept;

// Deletes the statistics files of one segment encode when it ends, however it
// ends.
class StatsFileGuard
{
  public:
    explicit StatsFileGuard(std::string path) : path_(std::move(path)) {}
    ~StatsFileGuard() { DeleteStatsFiles(path_); }
    StatsFileGuard(const StatsFileGuard&) = delete;
    StatsFileGuard& operator=(const StatsFileGuard&) = delete;

    std::string& Path() noexcept { return path_; }

  private:
    std::string path_;
};
