#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Session.h"

int main(int argc, char** argv)
{
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
