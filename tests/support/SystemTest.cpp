#include "support/System.h"

#include <cstring>
#include <future>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace Zovazaz;

TEST(ThreadIdentity, DiffersBetweenThreadsAndIsTheKernelId)
{
    const std::uint32_t mine = GetCurrentThreadIdentifier();
    const std::uint32_t other =
        std::async(std::launch::async, [] { return GetCurrentThreadIdentifier(); }).get();

    EXPECT_NE(mine, other);
    // Tests run on the main thread, whose kernel thread id is the process id.
    EXPECT_EQ(GetCurrentProcessIdentifier(), static_cast<std::uint32_t>(::getpid()));
    EXPECT_EQ(mine, GetCurrentProcessIdentifier());
}

TEST(AllocatePages, GivesWritableZeroedMemoryAndAnEmptyHandleOnFailure)
{
    const std::uint32_t size = 3 * 4096 + 100;
    const PageBlock block = AllocatePages(size);
    ASSERT_NE(block, nullptr);
    auto* bytes = static_cast<unsigned char*>(block.get());
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[size - 1], 0);
    std::memset(bytes, 0xAB, size);
    EXPECT_EQ(bytes[size - 1], 0xAB);

    PageBlock failed;
    EXPECT_NO_THROW(failed = AllocatePages(0));
    EXPECT_EQ(failed, nullptr);
}
