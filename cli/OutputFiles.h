#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace CommandLine
{

// Writes a file so that a reader never sees it half-written: `write` fills a
// temporary file beside it, which then replaces the file in one rename. If
// `write` throws, the temporary file is removed and nothing else changes.
// Throws std::runtime_error naming the file when it cannot be written.
void WriteAtomically(const std::filesystem::path& path,
                     const std::function<void(const std::filesystem::path& temporary)>& write);

// The text as the whole content of the file, atomically.
void WriteTextFile(const std::filesystem::path& path, const std::string& text);

// Makes sure that a file can be written at `path` before any work goes into
// it: nothing that is not a file stands there (a folder, or with
// `streamToSpecial` false a device or pipe), its folder exists and is a
// folder, and a file can be made in it (made and removed at once). Throws
// std::runtime_error naming the file and the reason.
void CheckFileCanBeWritten(const std::filesystem::path& path, bool streamToSpecial = false);

// The whole content of a file. Throws std::runtime_error naming the file.
std::string ReadTextFile(const std::filesystem::path& path);

} // namespace CommandLine
