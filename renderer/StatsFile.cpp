#include "renderer/StatsFile.h"

#include <mutex>
#include <vector>

#include <fmt/printf.h>

#include "framework/Errors.h"
#include "renderer/RendererErrors.h"
#include "support/Paths.h"
#include "support/System.h"

namespace
{

// The private folders made by this process, one per shared temporary folder,
// removed when the module is unloaded (static destruction).
class PrivateFolders
{
  public:
    ~PrivateFolders()
    {
        for (const Entry& entry : entries_)
        {
            Zovazaz::RemoveFolderTree(entry.folder);
        }
    }

    // The folder for the statistics files under `temp`.
    std::string FolderFor(const std::string& temp)
    {
        // x264 follows symbolic links when it writes its statistics, so a
        // predictable name in a folder others can write to would let another
        // user point the write elsewhere.
        if (!Zovazaz::IsWritableByOthers(temp))
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
        std::string folder = Zovazaz::CreatePrivateFolder(temp, "RuzirazuStats.");
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
