// The main of every test executable: gives the process its own data folder
// and temporary folder inside the build tree before any test runs, so tests
// never touch the user's files and each executable starts from nothing.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    const std::filesystem::path home =
        std::filesystem::path(RUZIRAZU_BINARY_DIR) / "test-home" / program_invocation_short_name;
    const std::filesystem::path data = home / "data";
    const std::filesystem::path temp = home / "tmp";
    std::filesystem::create_directories(data);
    std::filesystem::create_directories(temp);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("TEMP", temp.c_str(), 1);

    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
