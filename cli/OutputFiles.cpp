#include "cli/OutputFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace CommandLine
{

namespace
{

// Hidden and unique per process, so two runs into one folder cannot trip
// over each other's unfinished files.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path)
{
    return path.parent_path() /
           ("." + path.filename().string() + ".partial-" + std::to_string(::getpid()));
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
