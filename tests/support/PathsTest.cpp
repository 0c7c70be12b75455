#include "support/Paths.h"

#include <gtest/gtest.h>

#include "tests/support/TestFiles.h"

using namespace Zovazaz;
using ZovazazTest::ScopedEnvironment;
using ZovazazTest::TempFolder;

TEST(JoinPath, AddsOneSeparatorAndTrimsBlanksOfBothParts)
{
    EXPECT_EQ(JoinPath("/data", "x.log"), "/data/x.log");
    EXPECT_EQ(JoinPath("/data/", "x.log"), "/data/x.log");
    EXPECT_EQ(JoinPath("C:\\data\\", "x.log"), "C:\\data\\x.log");
    EXPECT_EQ(JoinPath(" /data ", "\tx.log\n"), "/data/x.log");
    EXPECT_EQ(JoinPath("/data\r\n", " x.log\r"), "/data/x.log");
    EXPECT_EQ(JoinPath(StringRef(), "Zizerevu"), "Zizerevu");
    EXPECT_EQ(JoinPath(" /data ", "  "), "/data");
    EXPECT_EQ(JoinPath("/data", "/x.log"), "/data//x.log");
}

TEST(Environment, TempDirectoryPrefersTempThenTmpdirThenSlashTmp)
{
    ScopedEnvironment temp("TEMP", "/from/temp");
    ScopedEnvironment tmpdir("TMPDIR", "/from/tmpdir");
    EXPECT_EQ(GetTempDirectory(), "/from/temp");

    temp.Unset();
    EXPECT_EQ(GetTempDirectory(), "/from/tmpdir");

    tmpdir.Unset();
    EXPECT_EQ(GetTempDirectory(), "/tmp");
}

// Nested guards put their directory first and each restores its own value;
// an unset variable is unset again and an empty one stays empty.
TEST(ScopedPathPrepend, RestoresExactlyWhatWasThere)
{
    ScopedEnvironment guard("ZOVAZAZ_TEST_PATH", "/a");
    {
        ScopedPathPrepend outer("ZOVAZAZ_TEST_PATH", "/outer");
        {
            ScopedPathPrepend inner("ZOVAZAZ_TEST_PATH", "/inner");
            ScopedPathPrepend none("ZOVAZAZ_TEST_PATH", "");
            EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/inner:/outer:/a");
        }
        EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/outer:/a");
    }
    EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/a");

    guard.Unset();
    {
        ScopedPathPrepend none("ZOVAZAZ_TEST_PATH", "");
        EXPECT_FALSE(IsEnvironmentSet("ZOVAZAZ_TEST_PATH"));
        ScopedPathPrepend prepend("ZOVAZAZ_TEST_PATH", "/d");
        // No trailing separator: an empty entry would add the current directory.
        EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/d");
    }
    EXPECT_FALSE(IsEnvironmentSet("ZOVAZAZ_TEST_PATH"));

    SetEnvironmentText("ZOVAZAZ_TEST_PATH", "");
    {
        ScopedPathPrepend prepend("ZOVAZAZ_TEST_PATH", "/d");
        EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/d");
    }
    EXPECT_TRUE(IsEnvironmentSet("ZOVAZAZ_TEST_PATH"));
    EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "");
}

// XDG_DATA_HOME is used and made with its parents; $HOME/.local/share when
// it is unset, relative or cannot be made; nothing when neither can be.
TEST(LocalAppData, UsesXdgDataHomeThenHomeAndIsEmptyWhenNeitherCanBeMade)
{
    TempFolder folder;
    ScopedEnvironment xdg("XDG_DATA_HOME", folder / "deep/data");
    ScopedEnvironment home("HOME", folder / "home");
    EXPECT_EQ(GetLocalAppDataDirectory(), folder / "deep/data");
    EXPECT_TRUE(DirectoryExists(folder / "deep/data"));

    xdg.Unset();
    EXPECT_EQ(GetLocalAppDataDirectory(), folder / "home/.local/share");
    EXPECT_TRUE(DirectoryExists(folder / "home/.local/share"));
    SetEnvironmentText("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(GetLocalAppDataDirectory(), folder / "home/.local/share");

    ZovazazTest::WriteFile(folder / "file", "x");
    SetEnvironmentText("XDG_DATA_HOME", folder / "file/data");
    SetEnvironmentText("HOME", folder / "other");
    EXPECT_EQ(GetLocalAppDataDirectory(), folder / "other/.local/share");

    SetEnvironmentText("HOME", folder / "file/home");
    EXPECT_EQ(GetLocalAppDataDirectory(), "");
    home.Unset();
    EXPECT_EQ(GetLocalAppDataDirectory(), "");
}
