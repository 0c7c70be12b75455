#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "support/Paths.h"

namespace ZovazazTest
{

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder
{
  public:
    TempFolder()
    {
        std::string pattern = Zovazaz::GetTempDirectory() + "/support-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
        {
            throw std::runtime_error("cannot create a temporary folder");
        }
        path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Sets or unsets an environment variable and puts back exactly what was there.
class ScopedEnvironment
{
  public:
    ScopedEnvironment(std::string name, const std::string& value)
        : name_(std::move(name)), wasSet_(Zovazaz::IsEnvironmentSet(name_)),
          previous_(Zovazaz::GetEnvironmentText(name_))
    {
        Zovazaz::SetEnvironmentText(name_, value);
    }
    ~ScopedEnvironment()
    {
        if (wasSet_)
        {
            Zovazaz::SetEnvironmentText(name_, previous_);
        }
        else
        {
            Zovazaz::UnsetEnvironmentText(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void Unset() { Zovazaz::UnsetEnvironmentText(name_); }

  private:
    std::string name_;
    bool wasSet_;
    std::string previous_;
};

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
    if (!file)
    {
        throw std::runtime_error("cannot write " + path);
    }
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace ZovazazTest
