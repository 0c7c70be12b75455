#include "support/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "support/Text.h"

namespace Zovazaz
{

namespace
{

constexpr const char* PathBlanks = " \t\r\n";

// The system calls need NUL-terminated text; a StringRef may not be.
std::string Terminated(StringRef text)
{
    return text.Str();
}

bool EndsInSeparator(std::string_view text)
{
    return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

// Creates every missing level, as the local data folder may be several
// levels deep on a fresh account.
bool CreateDirectories(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error && DirectoryExists(path);
}

} // namespace

std::string JoinPath(StringRef left, StringRef right)
{
    const std::string_view trimmedLeft = TrimText(left, PathBlanks).View();
    const std::string_view trimmedRight = TrimText(right, PathBlanks).View();
    if (trimmedRight.empty())
    {
        return std::string(trimmedLeft);
    }
    if (trimmedLeft.empty())
    {
        return std::string(trimmedRight);
    }
    std::string result(trimmedLeft);
    if (!EndsInSeparator(trimmedLeft))
    {
        result += PathSeparator;
    }
    result += trimmedRight;
    return result;
}

bool DirectoryExists(StringRef path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path.View(), error);
}

bool CreateDirectoryIfMissing(StringRef path)
{
    std::error_code error;
    return DirectoryExists(path) ||
           (!path.empty() && std::filesystem::create_directory(path.View(), error));
}

bool DeleteFileAt(StringRef path)
{
    std::error_code error;
    return !path.empty() && !std::filesystem::is_directory(path.View(), error) &&
           std::filesystem::remove(path.View(), error);
}

std::uint64_t GetFileSize(StringRef path)
{
    // Only a regular file has a size worth reporting.
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path.View(), error))
    {
        return 0;
    }
    const std::uintmax_t size = std::filesystem::file_size(path.View(), error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

std::string CreateUniqueFile(StringRef folder, StringRef prefix)
{
    std::string pattern = JoinPath(folder, prefix.Str() + "XXXXXX");
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0)
    {
        return {};
    }
    ::close(descriptor);
    return pattern;
}

std::string CreatePrivateFolder(StringRef folder, StringRef prefix)
{
    std::string pattern = JoinPath(folder, prefix.Str() + "XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr)
    {
        return {};
    }
    return pattern;
}

void RemoveFolderTree(StringRef path) noexcept
{
    std::error_code ignored;
    std::filesystem::remove_all(path.Str(), ignored);
}

bool IsWritableByOthers(StringRef folder)
{
    using std::filesystem::perms;
    std::error_code error;
    const auto status = std::filesystem::status(folder.empty() ? "." : folder.Str(), error);
    if (error || !std::filesystem::exists(status))
    {
        return true;
    }
    return (status.permissions() & (perms::group_write | perms::others_write)) != perms::none;
}

std::string GetLocalAppDataDirectory()
{
    // A relative XDG_DATA_HOME is invalid by the XDG rules and is ignored, and
    // so is one that cannot be made: the rules' default comes next.
    const std::string folder = GetEnvironmentText("XDG_DATA_HOME");
    if (!folder.empty() && folder.front() == '/' && CreateDirectories(folder))
    {
        return folder;
    }
    const std::string home = GetEnvironmentText("HOME");
    if (home.empty() || home.front() != '/')
    {
        return {};
    }
    const std::string fallback = JoinPath(JoinPath(home, ".local"), "share");
    return CreateDirectories(fallback) ? fallback : std::string();
}

std::string GetEnvironmentText(StringRef name)
{
    const char* value = std::getenv(Terminated(name).c_str());
    return value ? std::string(value) : std::string();
}

bool IsEnvironmentSet(StringRef name)
{
    return std::getenv(Terminated(name).c_str()) != nullptr;
}

bool SetEnvironmentText(StringRef name, StringRef value)
{
    return ::setenv(Terminated(name).c_str(), Terminated(value).c_str(), 1) == 0;
}

bool UnsetEnvironmentText(StringRef name)
{
    return ::unsetenv(Terminated(name).c_str()) == 0;
}

std::string GetTempDirectory()
{
    // Falling back to an empty folder would put temporary files at the root
    // of the file system; the conventional variables and /tmp come first.
    for (const char* name : {"TEMP", "TMPDIR"})
    {
        std::string folder = GetEnvironmentText(name);
        if (!folder.empty())
        {
            return folder;
        }
    }
    return "/tmp";
}

ScopedPathPrepend::ScopedPathPrepend(StringRef name, StringRef directory) : name_(name.Str())
{
    if (directory.empty())
    {
        return;
    }
    wasSet_ = IsEnvironmentSet(name_);
    previousValue_ = GetEnvironmentText(name_);
    std::string value = directory.Str();
    // An empty list entry would mean the current directory, so an empty
    // previous value gets no separator.
    if (!previousValue_.empty())
    {
        value += PathListSeparator;
        value += previousValue_;
    }
    changed_ = SetEnvironmentText(name_, value);
}

ScopedPathPrepend::~ScopedPathPrepend()
{
    if (!changed_)
    {
        return;
    }
    if (wasSet_)
    {
        SetEnvironmentText(name_, previousValue_);
    }
    else
    {
        UnsetEnvironmentText(name_);
    }
}

} // namespace Zovazaz
