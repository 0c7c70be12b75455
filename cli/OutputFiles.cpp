#include "cli/OutputFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>

namespace CommandLine
{

namespace
{

// Hidden and unique per process, so two runs into one folder cannot trip
// over each other's unfinished files.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path)
{
    return path.parent_path() / fmt::format(".{}.partial-{}", path.filename().string(), ::getpid());
}

void RemoveQuietly(const std::filesystem::path& path) noexcept
{
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace

void WriteAtomically(const std::filesystem::path& path,
                     const std::function<void(const std::filesystem::path& temporary)>& write)
{
    const std::filesystem::path temporary = TemporaryBeside(path);
    try
    {
        write(temporary);
        std::filesystem::rename(temporary, path);
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        RemoveQuietly(temporary);
        throw std::runtime_error("Cannot write \"" + path.string() +
                                 "\": " + error.code().message());
    }
    catch (...)
    {
        RemoveQuietly(temporary);
        throw;
    }
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text)
{
    WriteAtomically(path,
                    [&](const std::filesystem::path& temporary)
                    {
                        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
                        file << text;
                        file.flush();
                        if (!file)
                        {
                            throw std::runtime_error("Cannot write \"" + path.string() +
                                                     "\": " + std::strerror(errno));
                        }
                    });
}

void CheckFileCanBeWritten(const std::filesystem::path& path, bool streamToSpecial)
{
    const auto refuse = [&](const std::string& reason)
    { throw std::runtime_error("Cannot write \"" + path.string() + "\": " + reason); };
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status))
    {
        refuse("it is a folder");
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    {
        if (streamToSpecial)
        {
            // A device or a named pipe takes the stream as it is written.
            return;
        }
        refuse("it is not a regular file");
    }
    const std::filesystem::path folder =
        path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    const std::filesystem::file_status folderStatus = std::filesystem::status(folder, error);
    if (!std::filesystem::exists(folderStatus))
    {
        refuse("the folder " + folder.string() + " does not exist");
    }
    if (!std::filesystem::is_directory(folderStatus))
    {
        refuse(folder.string() + " is not a folder");
    }
    // The file itself is written beside its name and renamed into place, so
    // what must be possible is making a file in the folder.
    const std::filesystem::path probe = TemporaryBeside(path);
    const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
    {
        refuse(std::strerror(errno));
    }
    ::close(descriptor);
    RemoveQuietly(probe);
}

std::string ReadTextFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
    {
        throw std::runtime_error("File \"" + path.string() + "\" does not exist");
    }
    if (std::filesystem::is_directory(path, error))
    {
        throw std::runtime_error("\"" + path.string() + "\" is a folder, not a file");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        throw std::runtime_error("Cannot read \"" + path.string() + "\": " + std::strerror(errno));
    }
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace CommandLine
