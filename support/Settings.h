#pragma once

#include <string>

#include "support/StringRef.h"

namespace Zovazaz
{

// The per-user data directory (local application data folder, "Zizerevu",
// "Ruzirazu"), established once, proved writable and cached. Throws
// std::runtime_error "Data directory not available" or "Cannot write to data
// directory"; nothing is cached then.
std::string GetDataDirectory();

// The uncached algorithm behind GetDataDirectory for a given base folder; an
// empty base folder is "Data directory not available".
std::string EstablishDataDirectory(StringRef baseFolder);

// Forgets the cached data directory (tests that move the data folder).
void ResetDataDirectoryCache();

// "Ruzirazu.ini" in the data directory.
std::string GetSettingsPath();

// Reads single values of "key=value" lines; every read opens the file anew.
class Settings
{
  public:
    explicit Settings(StringRef path) : path_(path.Str()) {}

    // The first line that begins with key + "=" wins; its rest is the value,
    // untrimmed. False (value untouched) without such a line or file.
    bool Get(StringRef key, std::string& value) const;

    const std::string& GetPath() const noexcept { return path_; }

  private:
    std::string path_;
};

} // namespace Zovazaz
