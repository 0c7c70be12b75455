#include "support/System.h"

#include <chrono>
#include <sched.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

namespace Zovazaz
{

std::int64_t GetMilliseconds()
{
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

double GetProcessCpuMilliseconds()
{
    timespec used{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0)
    {
        return 0.0;
    }
    return static_cast<double>(used.tv_sec) * 1e3 + static_cast<double>(used.tv_nsec) / 1e6;
}

std::uint32_t GetCurrentThreadIdentifier()
{
    return static_cast<std::uint32_t>(::gettid());
}

std::uint32_t GetCurrentProcessIdentifier()
{
    return static_cast<std::uint32_t>(::getpid());
}

bool ScheduleThreadAsBatch()
{
    // Linux applies the policy to the calling thread alone.
    const sched_param parameters{};
    return ::sched_setscheduler(0, SCHED_BATCH, &parameters) == 0;
}

std::int32_t GetProcessorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof(set), &set) == 0)
    {
        const int count = CPU_COUNT(&set);
        if (count > 0)
        {
            return count;
        }
    }
    // More CPUs than the fixed set holds, or no affinity information.
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::int32_t>(online) : 1;
}

PageBlock AllocatePages(std::uint32_t size)
{
    void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
    {
        return {};
    }
    return PageBlock(block, [size](void* pages) { ::munmap(pages, size); });
}

} // namespace Zovazaz
