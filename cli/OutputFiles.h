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

// The whole content of a file. Throws std::runtime_error naming the file.
std::string ReadTextFile(const std::filesystem::path& path);

} // namespace CommandLine
