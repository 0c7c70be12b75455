#pragma once

#include <cstdint>
#include <string>

#include "support/StringRef.h"

namespace Zovazaz
{

constexpr char PathSeparator = '/';
constexpr char PathListSeparator = ':';

// Trims blanks and line ends from both parts and joins them with '/', unless
// the left part already ends in '/' or '\'. An empty part gives the other.
std::string JoinPath(StringRef left, StringRef right);

// None of these throws for a failed system call.
bool DirectoryExists(StringRef path);
bool CreateDirectoryIfMissing(StringRef path); // only the last level
bool DeleteFileAt(StringRef path);
std::uint64_t GetFileSize(StringRef path); // 0 when it cannot be opened
// Creates a new empty file in `folder` whose name is `prefix` followed by six
// characters that no other file there has; its path, or empty when the file
// cannot be made.
std::string CreateUniqueFile(StringRef folder, StringRef prefix);
// The same for a new folder of mode 0700 that only its owner may enter.
std::string CreatePrivateFolder(StringRef folder, StringRef prefix);
// Removes a folder and everything in it, without following links.
void RemoveFolderTree(StringRef path) noexcept;
// Whether users other than the owner may create entries in the folder (the
// current folder for an empty path); true when it cannot be examined.
bool IsWritableByOthers(StringRef folder);

// $XDG_DATA_HOME, else (unset, relative or impossible to create)
// $HOME/.local/share, created when missing; empty when neither is usable.
std::string GetLocalAppDataDirectory();

std::string GetEnvironmentText(StringRef name); // empty when unset
bool IsEnvironmentSet(StringRef name);
bool SetEnvironmentText(StringRef name, StringRef value);
bool UnsetEnvironmentText(StringRef name);

// TEMP, else TMPDIR, else "/tmp".
std::string GetTempDirectory();

// Puts a directory in front of an environment path list (PATH) for the
// guard's lifetime and restores the previous value exactly afterwards; a
// variable that was unset is unset again. An empty directory changes nothing.
class ScopedPathPrepend
{
  public:
    ScopedPathPrepend(StringRef name, StringRef directory);
    ~ScopedPathPrepend();
    ScopedPathPrepend(const ScopedPathPrepend&) = delete;
    ScopedPathPrepend& operator=(const ScopedPathPrepend&) = delete;

  private:
    std::string name_;
    std::string previousValue_;
    bool wasSet_ = false;
    bool changed_ = false;
};

} // namespace Zovazaz
