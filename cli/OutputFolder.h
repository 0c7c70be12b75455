#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace CommandLine
{

// The folder that receives the preview's files. Made when missing and
// probed for writing at once, so that a folder that cannot take the output
// fails the run before any rendering. When this run made the folder and
// leaves it empty (it failed before anything was written), it is removed.
//
// A run keeps the list of the files it wrote in the folder's record
// (RecordName), each with its size and modification time. Before its first
// file, a run removes the files the earlier run's record lists, so that no
// frame, comparison or report of an earlier run stays beside its own; a
// file changed or replaced since (another size or time) is not the
// command's any more and stays, as does everything the record does not name.
class OutputFolder
{
  public:
    // Throws RunError naming the folder when it cannot be made or written.
    explicit OutputFolder(std::filesystem::path path);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    const std::filesystem::path& Path() const noexcept { return path_; }

    // Writes the file `name` in the folder so that no one ever sees it
    // half-written: `write` fills a temporary file in the same folder, which
    // replaces `name` in one rename once `write` returns. If `write` throws,
    // the temporary file is removed and the exception goes on. Throws
    // RunError naming the file when the rename fails.
    void WriteFile(const std::string& name,
                   const std::function<void(const std::string& temporaryPath)>& write);

    // The temporary name that WriteFile uses for `name` (hidden, and unique
    // to this process).
    static std::string TemporaryName(const std::string& name);

    // The hidden file that lists what the latest run wrote.
    static constexpr const char* RecordName = ".ruzirazu-outputs";

  private:
    // Removes the files of the earlier run's record and starts this run's.
    void ClearEarlierRun();
    // Adds the file that is about to take `name` to the record.
    void Record(const std::string& name, const std::filesystem::path& file);

    std::filesystem::path path_;
    bool created_ = false;
    bool cleared_ = false;
};

} // namespace CommandLine
