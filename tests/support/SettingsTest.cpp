#include "support/Settings.h"

#include <exception>
#include <stdexcept>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Paths.h"
#include "tests/support/TestFiles.h"

using namespace Zovazaz;
using testing::StrEq;
using testing::ThrowsMessage;
using ZovazazTest::TempFolder;
using ZovazazTest::WriteFile;

namespace
{

// Reads "Log.Level" from a settings file with the given content.
std::optional<std::string> ReadLevel(const TempFolder& folder, const std::string& content)
{
    WriteFile(folder / "Ruzirazu.ini", content);
    std::string value = "untouched";
    if (!Settings(folder / "Ruzirazu.ini").Get("Log.Level", value))
    {
        EXPECT_EQ(value, "untouched");
        return std::nullopt;
    }
    return value;
}

auto ThrowsRuntimeError(const char* message)
{
    return ThrowsMessage<std::runtime_error>(StrEq(message));
}

} // namespace

TEST(SettingsFile, TheFirstLineWithTheKeyAndEqualsSignGivesTheRestOfTheLine)
{
    TempFolder folder;
    EXPECT_EQ(ReadLevel(folder, "Other=1\nLog.Level=Verbose\nLog.Level=Info\n"), "Verbose");
    EXPECT_EQ(ReadLevel(folder, "Other=1\r\nLog.Level=Verbose\r\nMore=2\r\n"), "Verbose");
    EXPECT_EQ(ReadLevel(folder, "Log.Level= Verbose \n"), " Verbose ");
    EXPECT_EQ(ReadLevel(folder, "Log.Level=\n"), "");
    EXPECT_EQ(ReadLevel(folder, "Log.Level=a=b"), "a=b");
    for (const char* content : {"Log.Level = Verbose\n", "Log.LevelX=Verbose\n",
                                "log.level=Verbose\n", " Log.Level=Verbose\n", "Log.Level"})
    {
        EXPECT_EQ(ReadLevel(folder, content), std::nullopt) << content;
    }

    std::string value = "untouched";
    EXPECT_FALSE(Settings(folder / "missing.ini").Get("Log.Level", value));
    EXPECT_FALSE(Settings(folder.Path()).Get("Log.Level", value));
    EXPECT_EQ(value, "untouched");
}

// Processes that share the data folder prove it writable at the same time;
// none may truncate or delete the test file of another.
TEST(DataDirectory, TheWriteTestOfOneProcessDoesNotDisturbAnothers)
{
    TempFolder folder;
    {
        std::vector<std::jthread> others;
        for (int t = 0; t < 4; ++t)
        {
            others.emplace_back(
                [&]
                {
                    for (int i = 0; i < 300; ++i)
                    {
                        EXPECT_NO_THROW(EstablishDataDirectory(folder.Path()));
                    }
                });
        }
    }
    EXPECT_EQ(EstablishDataDirectory(folder.Path()), folder / "Zizerevu/Ruzirazu");
    EXPECT_TRUE(std::filesystem::is_empty(folder / "Zizerevu/Ruzirazu"));

    // Whatever else lies in the folder, under any name, stays as it is.
    std::filesystem::create_directories(folder / "Zizerevu/Ruzirazu/temp.tmp");
    WriteFile(folder / "Zizerevu/Ruzirazu/Ruzirazu.ini", "Log.Level=Verbose\n");
    EXPECT_NO_THROW(EstablishDataDirectory(folder.Path()));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Zizerevu/Ruzirazu/temp.tmp"));
    EXPECT_EQ(ZovazazTest::ReadFile(folder / "Zizerevu/Ruzirazu/Ruzirazu.ini"),
              "Log.Level=Verbose\n");
}

// An empty base folder is refused rather than taken for the current one.
TEST(DataDirectory, NotAvailableWhenItCannotBeCreatedAndNotWritableWithoutATestFile)
{
    TempFolder folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    EXPECT_THAT([] { EstablishDataDirectory(""); },
                ThrowsRuntimeError("Data directory not available"));
    std::filesystem::current_path(previous);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));

    WriteFile(folder / "Zizerevu", "a file where the folder should be");
    EXPECT_THAT([&] { EstablishDataDirectory(folder.Path()); },
                ThrowsRuntimeError("Data directory not available"));

    std::filesystem::remove(folder / "Zizerevu");
    std::filesystem::create_directories(folder / "Zizerevu/Ruzirazu");
    // No file may be opened at all, which defeats even root.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    rlimit none = limit;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    std::exception_ptr failure;
    try
    {
        EstablishDataDirectory(folder.Path());
    }
    catch (...)
    {
        failure = std::current_exception();
    }
    // The exception is looked at only with descriptors back: the undefined
    // behaviour sanitizer needs them to check the caught object's type.
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    ASSERT_TRUE(failure) << "no exception, expected Cannot write to data directory";
    EXPECT_THAT([&] { std::rethrow_exception(failure); },
                ThrowsRuntimeError("Cannot write to data directory"));
}
