#pragma once

#include <cstdint>
#include <memory>

namespace Zovazaz
{

// Milliseconds since the first call in the process, from the steady clock.
std::int64_t GetMilliseconds();
// Processor time the whole process has used, every thread together, in
// milliseconds.
double GetProcessCpuMilliseconds();

std::uint32_t GetCurrentThreadIdentifier(); // the kernel thread id
std::uint32_t GetCurrentProcessIdentifier();

// Marks the calling thread as throughput work: when it wakes, the scheduler
// lets it wait for a processor rather than take one from a running thread
// at once. Answers whether the system took it.
bool ScheduleThreadAsBatch();

// The processors this process may run on, at least 1.
std::int32_t GetProcessorCount();

// A block of whole pages, released when the last owner goes. A failed
// allocation gives an empty handle and throws nothing.
using PageBlock = std::shared_ptr<void>;
PageBlock AllocatePages(std::uint32_t size);

} // namespace Zovazaz
