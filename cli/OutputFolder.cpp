#include "cli/OutputFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include "cli/Session.h"

namespace CommandLine
{

namespace
{

// Removes a temporary file unless it was renamed into place.
class TemporaryFile
{
  public:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!kept_)
        {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::filesystem::path& Path() const noexcept { return path_; }
    void Keep() noexcept { kept_ = true; }

  private:
    std::filesystem::path path_;
    bool kept_ = false;
};

} // namespace

std::string OutputFolder::TemporaryName(const std::string& name)
{
    return fmt::format(".{}.{}.tmp", name, ::getpid());
}

OutputFolder::OutputFolder(std::filesystem::path path) : path_(std::move(path))
{
    std::error_code error;
    const bool existed = std::filesystem::exists(path_, error);
    if (existed && !std::filesystem::is_directory(path_, error))
    {
        throw RunError("The output folder " + path_.string() + " is a file, not a folder");
    }
    if (!existed)
    {
        std::filesystem::create_directories(path_, error);
        if (error)
        {
            throw RunError("Cannot make the output folder " + path_.string() + ": " +
                           error.message());
        }
        created_ = true;
    }
    const TemporaryFile probe(path_ / TemporaryName("probe"));
    const int descriptor =
        ::open(probe.Path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0)
    {
        const std::string reason = std::strerror(errno);
        throw RunError("Cannot write into the output folder " + path_.string() + ": " + reason);
    }
    ::close(descriptor);
}

OutputFolder::~OutputFolder()
{
    if (created_)
    {
        // Removes the folder only when it is empty: what was written stays.
        std::error_code ignored;
        if (std::filesystem::is_empty(path_, ignored))
        {
            std::filesystem::remove(path_, ignored);
        }
    }
}

namespace
{

// A file as the record knows it: what it was when the command wrote it.
struct RecordedFile
{
    std::uintmax_t size = 0;
    std::int64_t modified = 0; // the file system's clock, in its own ticks
    std::string name;
};

std::int64_t ModifiedTicks(const std::filesystem::path& file, std::error_code& error)
{
    return static_cast<std::int64_t>(
        std::filesystem::last_write_time(file, error).time_since_epoch().count());
}

// The entries of a record, "SIZE MODIFIED NAME" a line. A line cut short by
// a run that was killed, or naming anything but a plain file name in the
// folder, is skipped: the record never leads outside its folder.
std::vector<RecordedFile> ReadRecord(const std::filesystem::path& record)
{
    std::vector<RecordedFile> files;
    std::ifstream in(record);
    std::string line;
    while (std::getline(in, line))
    {
        if (in.eof())
        {
            break; // no line end: the write was cut
        }
        std::istringstream fields(line);
        RecordedFile file;
        if (!(fields >> file.size >> file.modified) || fields.get() != ' ')
        {
            continue;
        }
        std::getline(fields, file.name);
        if (file.name.empty() || file.name == "." || file.name == ".." ||
            file.name.find('/') != std::string::npos)
        {
            continue;
        }
        files.push_back(std::move(file));
    }
    return files;
}

} // namespace

void OutputFolder::ClearEarlierRun()
{
    const std::filesystem::path record = path_ / RecordName;
    for (const RecordedFile& file : ReadRecord(record))
    {
        const std::filesystem::path target = path_ / file.name;
        std::error_code error;
        const auto status = std::filesystem::symlink_status(target, error);
        if (error || !std::filesystem::is_regular_file(status) ||
            std::filesystem::file_size(target, error) != file.size || error ||
            ModifiedTicks(target, error) != file.modified || error)
        {
            continue;
        }
        std::filesystem::remove(target, error);
    }
    std::error_code error;
    std::filesystem::remove(record, error);
    if (error)
    {
        throw RunError("Cannot remove " + record.string() + ": " + error.message());
    }
}

void OutputFolder::Record(const std::string& name, const std::filesystem::path& file)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    const std::int64_t modified = error ? 0 : ModifiedTicks(file, error);
    const std::filesystem::path record = path_ / RecordName;
    // One write of one whole line, appended: a run killed in the middle
    // leaves at worst a cut last line, which the next run skips.
    const std::string line = fmt::format("{} {} {}\n", size, modified, name);
    const int descriptor =
        error ? -1 : ::open(record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const bool written = descriptor >= 0 && ::write(descriptor, line.data(), line.size()) ==
                                                static_cast<ssize_t>(line.size());
    const std::string reason = std::strerror(errno);
    if (descriptor >= 0)
    {
        ::close(descriptor);
    }
    if (!written)
    {
        throw RunError("Cannot write " + record.string() + ": " +
                       (error ? error.message() : reason));
    }
}

void OutputFolder::WriteFile(const std::string& name,
                             const std::function<void(const std::string& temporaryPath)>& write)
{
    if (!cleared_)
    {
        ClearEarlierRun();
        cleared_ = true;
    }
    TemporaryFile temporary(path_ / TemporaryName(name));
    write(temporary.Path().string());
    // Recorded before it takes its name, so that no file of this run can
    // be left out of the record.
    Record(name, temporary.Path());
    std::error_code error;
    std::filesystem::rename(temporary.Path(), path_ / name, error);
    if (error)
    {
        throw RunError("Cannot write " + (path_ / name).string() + ": " + error.message());
    }
    temporary.Keep();
}

} // namespace CommandLine
