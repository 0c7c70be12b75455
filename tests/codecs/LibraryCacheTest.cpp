#include "codecs/LibraryCache.h"

#include <gtest/gtest.h>

#include "support/Paths.h"
#include "tests/codecs/StubLibraries.h"

using namespace Zovazaz;

namespace
{

TEST(LibraryCache, HoldersShareOneInstanceAndTheLastOneReleasesIt)
{
    auto first = GetX264Library();
    auto second = GetX264Library("/zovazaz-unused");
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetSwScaleLibrary(), GetSwScaleLibrary());
    EXPECT_EQ(GetAvutilLibrary(), GetAvutilLibrary());

    std::weak_ptr<X264Library> watch = first;
    first.reset();
    EXPECT_FALSE(watch.expired());
    second.reset();
    EXPECT_TRUE(watch.expired()) << "the cache must not keep a library alive";
    EXPECT_NE(GetX264Library(), nullptr);
}

TEST(LibraryCache, LoadsFromTheGivenDirectoryAndSwitchesToAnotherBaseName)
{
    const auto real = Zovazaz::GetX264Library();
    const auto stub = GetX264Library(CodecTests::StubPathDirectory, "stubx264_on_path");
    EXPECT_EQ(stub->GetFileName(), FormatLibraryName("stubx264_on_path", X264_BUILD));
    EXPECT_NE(stub, real);
    EXPECT_EQ(GetX264Library({}, "stubx264_on_path"), stub);
}

TEST(LibraryCache, PathIsRestoredAfterLoadingWithADirectory)
{
    const bool wasSet = IsEnvironmentSet("PATH");
    const std::string previous = GetEnvironmentText("PATH");

    SetEnvironmentText("PATH", "/usr/bin");
    EXPECT_NE(GetAvutilLibrary("/zovazaz-plugin-folder"), nullptr);
    EXPECT_EQ(GetEnvironmentText("PATH"), "/usr/bin");

    UnsetEnvironmentText("PATH");
    EXPECT_NE(GetSwScaleLibrary("/zovazaz-plugin-folder"), nullptr);
    EXPECT_FALSE(IsEnvironmentSet("PATH"));

    if (wasSet)
    {
        SetEnvironmentText("PATH", previous);
    }
}

} // namespace
