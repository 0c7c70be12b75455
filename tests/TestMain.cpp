// The main of every test executable: gives the process its own data folder
// and temporary folder inside the build tree before any test runs, so tests
// never touch the user's files. CTest runs each test in a process of its own
// (with --gtest_filter naming it) and several at once; each test therefore
// gets a fresh folder of its own, so logs and statistics files of tests
// running side by side never mix.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace
{

std::string FolderNameFor(std::string filter)
{
    if (filter.empty() || filter == "*")
    {
        return "all";
    }
    for (char& c : filter)
    {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!plain)
        {
            c = '_';
        }
    }
    return filter.substr(0, 200);
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);

    const std::filesystem::path home = std::filesystem::path(RUZIRAZU_BINARY_DIR) / "test-home" /
                                       program_invocation_short_name /
                                       FolderNameFor(GTEST_FLAG_GET(filter));
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    const std::filesystem::path data = home / "data";
    const std::filesystem::path temp = home / "tmp";
    std::filesystem::create_directories(data);
    std::filesystem::create_directories(temp);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("TEMP", temp.c_str(), 1);

    return RUN_ALL_TESTS();
}
