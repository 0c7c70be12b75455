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
    EXPECT_EQ(JoinPath(StringRef(), "Zizerevu"), "Zizerevu");
    EXPECT_EQ(JoinPath(" /data ", "  "), "/data");
    EXPECT_EQ(JoinPath("/data", "/x.log"), "/data//x.log");
}

// Each guard puts its directory first and restores exactly what was there:
// an unset variable is unset again and an empty one stays empty. An empty
// directory changes nothing.
TEST(ScopedPathPrepend, RestoresExactlyWhatWasThere)
{
    ScopedEnvironment guard("ZOVAZAZ_TEST_PATH", "/a");
    {
        ScopedPathPrepend outer("ZOVAZAZ_TEST_PATH", "/outer");
        ScopedPathPrepend none("ZOVAZAZ_TEST_PATH", "");
        EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/outer:/a");
    }
    EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/a");

    for (const bool empty : {false, true})
    {
        empty ? void(SetEnvironmentText("ZOVAZAZ_TEST_PATH", "")) : guard.Unset();
        {
            ScopedPathPrepend prepend("ZOVAZAZ_TEST_PATH", "/d");
            // No trailing separator: an empty entry would add the current directory.
            EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "/d");
        }
        EXPECT_EQ(IsEnvironmentSet("ZOVAZAZ_TEST_PATH"), empty);
        EXPECT_EQ(GetEnvironmentText("ZOVAZAZ_TEST_PATH"), "");
    }
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
