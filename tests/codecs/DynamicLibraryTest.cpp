#include "codecs/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "codecs/X264Library.h"
#include "support/Paths.h"
#include "tests/codecs/StubLibraries.h"

using namespace Zovazaz;
using namespace CodecTests;

namespace
{

std::string LoadError(StringRef fileName)
{
    try
    {
        DynamicLibrary library(fileName);
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return "loaded";
}

} // namespace

TEST(LibraryLoading, MissingLibraryIsReportedByItsFileName)
{
    EXPECT_EQ(LoadError("libzovazaz-absent.so.3"),
              "Failed to load dynamic library libzovazaz-absent.so.3");
    EXPECT_EQ(LoadError(""), "Failed to load dynamic library ");
}

TEST(LibraryLoading, LibraryBesideNothingButPathIsFoundOnlyWhileThePathGuardLives)
{
    PathRestorer restorer;
    SetEnvironmentText("PATH", "/usr/bin:/bin");
    {
        ScopedPathPrepend guard("PATH", StubPathDirectory);
        X264Library library("stubx264_on_path");
        EXPECT_NE(library.encoder_open, nullptr);
    }
    EXPECT_EQ(GetEnvironmentText("PATH"), "/usr/bin:/bin");
    EXPECT_EQ(LoadError(FormatLibraryName("stubx264_on_path", X264_BUILD)),
              "Failed to load dynamic library " +
                  FormatLibraryName("stubx264_on_path", X264_BUILD));
}

TEST(LibraryLoading, SearchesPathDirectoriesInOrderAndSkipsEmptyEntries)
{
    PathRestorer restorer;
    const std::filesystem::path workingFolder = std::filesystem::current_path();
    const std::string fileName = FormatLibraryName("stubx264_on_path", X264_BUILD);

    // Later entries are reached when the earlier ones do not hold the file.
    SetEnvironmentText("PATH", "/zovazaz-absent:" + StubPathDirectory + "/");
    EXPECT_EQ(DynamicLibrary(fileName).GetFileName(), fileName);

    // An empty entry does not stand for the working folder.
    std::filesystem::current_path(StubPathDirectory);
    SetEnvironmentText("PATH", "::/zovazaz-absent:");
    EXPECT_EQ(LoadError(fileName), "Failed to load dynamic library " + fileName);
    std::filesystem::current_path(workingFolder);
}

TEST(LibraryLifetime, LastOwnerFreesTheLibraryExactlyOnce)
{
    const std::string path =
        StubDirectory + "/" + FormatLibraryName("stubx264_complete", X264_BUILD);
    // The test's own reference survives a second free only if there is none.
    LibraryReference own = OpenReference(path);
    ASSERT_NE(own, nullptr) << dlerror();

    ScopedPathPrepend stubPath("PATH", StubDirectory);
    auto first = std::make_shared<X264Library>("stubx264_complete");
    auto second = first;
    first.reset();
    second.reset();
    EXPECT_TRUE(IsLoaded(path)) << "the binding freed the library more than once";

    own.reset();
    EXPECT_FALSE(IsLoaded(path)) << "the binding kept the library loaded";
}

TEST(LibraryLifetime, BindingThatFailsToResolveFreesItsLibrary)
{
    const std::string path =
        StubDirectory + "/" + FormatLibraryName("stubx264_no_x264_picture_clean", X264_BUILD);
    LibraryReference own = OpenReference(path);
    ASSERT_NE(own, nullptr) << dlerror();

    ScopedPathPrepend stubPath("PATH", StubDirectory);
    EXPECT_THROW(X264Library("stubx264_no_x264_picture_clean"), std::runtime_error);
    EXPECT_TRUE(IsLoaded(path));
    own.reset();
    EXPECT_FALSE(IsLoaded(path));
}
