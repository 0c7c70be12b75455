#include "renderer/StatsFile.h"

#include <mutex>
#include <vector>

#include <fmt/printf.h>

#include "framework/Errors.h"
#include "renderer/RendererErrors.h"
#include "support/Paths.h"
#include "support/System.h"

// ---------------------------------------------------------------------------
// Operating-system part: the only place of the renderer that calls the system
// directly (stat, mkdtemp, nftw). It belongs with the support library's path
// functions and moves there once that library offers these calls.
// ---------------------------------------------------------------------------
#include <cstdlib>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Whether users other than the owner may create entries in the folder. x264
// follows symbolic links when it writes its statistics, so a predictable name
// in such a folder lets another user point the write elsewhere.
bool IsSharedFolder(const std::string& folder)
{
    struct stat status = {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &status) != 0)
    {
        // A folder we cannot examine is treated as hostile.
        return true;
    }
    return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// A new folder with a random name and mode 0700 inside `parent`; empty when
// it cannot be made.
std::string MakePrivateFolder(const std::string& parent)
{
    std::string pattern = Zovazaz::JoinPath(parent, "RuzirazuStats.XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr)
    {
        return {};
    }
    return std::string(buffer.data());
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    ::remove(path);
    return 0;
}

// Removes a private folder with whatever an interrupted encode left in it.
void RemovePrivateFolder(const std::string& folder) noexcept
{
    ::nftw(folder.c_str(), RemoveEntry, 8, FTW_DEPTH | FTW_PHYS);
}

// ---------------------------------------------------------------------------

// The private folders made by this process, one per shared temporary folder,
// removed when the module is unloaded (static destruction).
class PrivateFolders
{
  public:
    ~PrivateFolders()
    {
        for (const Entry& entry : entries_)
        {
            RemovePrivateFolder(entry.folder);
        }
    }

    // The folder for the statistics files under `temp`.
    std::string FolderFor(const std::string& temp)
    {
        if (!IsSharedFolder(temp))
        {
            return temp;
        }
        std::lock_guard lock(mutex_);
        for (const Entry& entry : entries_)
        {
            if (entry.temp == temp)
            {
                return entry.folder;
            }
        }
        std::string folder = MakePrivateFolder(temp);
        if (folder.empty())
        {
            // Falling back to the shared folder is what this guards against.
            THROW_ADOBE_EXCEPTION(ErrorVideoEncoding,
                                  "Cannot create a private folder for statistics files in %s",
                                  temp);
        }
        entries_.push_back({temp, folder});
        return folder;
    }

  private:
    struct Entry
    {
        std::string temp;
        std::string folder;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

PrivateFolders& GetPrivateFolders()
{
    static PrivateFolders folders;
    return folders;
}

} // namespace

std::string MakeStatsFilePath()
{
    const std::string folder = GetPrivateFolders().FolderFor(Zovazaz::GetTempDirectory());
    return fmt::sprintf("%s%cRuzirazuStats_%u_%u.txt", folder, Zovazaz::PathSeparator,
                        Zovazaz::GetCurrentProcessIdentifier(),
                        Zovazaz::GetCurrentThreadIdentifier());
}

void DeleteStatsFiles(std::string& path) noexcept
{
    if (!path.empty())
    {
        Zovazaz::DeleteFileAt(path);
        Zovazaz::DeleteFileAt(path + ".mbtree");
    }
    path.clear();
}
