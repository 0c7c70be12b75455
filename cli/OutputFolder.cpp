#include "cli/OutputFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    return "." + name + "." + std::to_string(::getpid()) + ".tmp";
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

void OutputFolder::WriteFile(const std::string& name,
                             const std::function<void(const std::string& temporaryPath)>& write)
{
    TemporaryFile temporary(path_ / TemporaryName(name));
    write(temporary.Path().string());
    std::error_code error;
    std::filesystem::rename(temporary.Path(), path_ / name, error);
    if (error)
    {
        throw RunError("Cannot write " + (path_ / name).string() + ": " + error.message());
    }
    temporary.Keep();
}

} // namespace CommandLine
