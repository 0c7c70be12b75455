#include "support/Settings.h"

#include <fstream>
#include <mutex>
#include <stdexcept>

#include "support/Paths.h"
#include "support/Text.h"

namespace Zovazaz
{

namespace
{

struct DataDirectoryCache
{
    std::mutex mutex;
    std::string path;
};

DataDirectoryCache& GetCache()
{
    static DataDirectoryCache cache;
    return cache;
}

} // namespace

std::string EstablishDataDirectory(StringRef baseFolder)
{
    // Without a base folder the directories would land in whatever the
    // host's current directory is.
    if (TrimText(baseFolder, " \t\r\n").empty())
    {
        throw std::runtime_error("Data directory not available");
    }
    const std::string company = JoinPath(baseFolder, "Zizerevu");
    const std::string product = JoinPath(company, "Ruzirazu");
    CreateDirectoryIfMissing(company);
    CreateDirectoryIfMissing(product);
    if (!DirectoryExists(product))
    {
        throw std::runtime_error("Data directory not available");
    }

    // Proves the folder writable before the log and the settings rely on it.
    // The test file's name is unique, so processes sharing the folder never
    // truncate or delete each other's.
    const std::string testPath = CreateUniqueFile(product, "temp.");
    if (testPath.empty())
    {
        throw std::runtime_error("Cannot write to data directory");
    }
    if (!DeleteFileAt(testPath))
    {
        throw std::runtime_error("Cannot write to data directory");
    }
    return product;
}

std::string GetDataDirectory()
{
    DataDirectoryCache& cache = GetCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.path.empty())
    {
        cache.path = EstablishDataDirectory(GetLocalAppDataDirectory());
    }
    return cache.path;
}

void ResetDataDirectoryCache()
{
    DataDirectoryCache& cache = GetCache();
    const std::lock_guard<std::mutex> lock(cache.mutex);
    cache.path.clear();
}

std::string GetSettingsPath()
{
    return JoinPath(GetDataDirectory(), "Ruzirazu.ini");
}

bool Settings::Get(StringRef key, std::string& value) const
{
    std::ifstream file(path_, std::ios::in | std::ios::binary);
    if (!file)
    {
        return false;
    }
    const std::string prefix = key.Str() + "=";
    std::string line;
    while (std::getline(file, line))
    {
        if (line.starts_with(prefix))
        {
            // Files written on Windows end their lines with CR LF.
            if (!line.empty() && line.back() == '\r')
            {
                line.pop_back();
            }
            value = line.substr(prefix.size());
            return true;
        }
    }
    return false;
}

} // namespace Zovazaz
