#include <malloc.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Session.h"

int main(int argc, char** argv)
{
    // glibc raises its mmap threshold each time a large block is freed, so
    // x264's frame buffers of later segments come from the heap, between the
    // stored frames that stay, and the heap grows by fragments segment after
    // segment (a 600-frame 720p preview held 630 MB for 133 MB of stored
    // frames). A fixed threshold keeps large blocks in their own mappings.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    try
    {
        return CommandLine::Run(std::vector<std::string>(argv + 1, argv + argc));
    }
    catch (const CommandLine::Interrupted& error)
    {
        std::cerr << "ruzirazu: " << error.what() << '\n';
        return error.ExitCode();
    }
    catch (const CommandLine::UsageError& error)
    {
        std::cerr << "ruzirazu: " << error.what() << '\n';
        return 2;
    }
    catch (const std::exception& error)
    {
        std::cerr << "ruzirazu: " << error.what() << '\n';
        return 1;
    }
}
