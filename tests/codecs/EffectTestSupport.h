#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/Log.h"
#include "support/Paths.h"
#include "support/System.h"
#include "tests/codecs/StubLibraries.h"

namespace CodecTests
{

// A module path inside the test's temporary folder: global set-up puts its
// folder in front of PATH.
inline std::string TestModulePath()
{
    return Zovazaz::JoinPath(Zovazaz::GetTempDirectory(), "Ruzirazu.so");
}

// A text no earlier run has written to the log file.
inline std::string UniqueToken(const char* what)
{
    static int counter = 0;
    return std::string(what) + "-" + std::to_string(Zovazaz::GetCurrentProcessIdentifier()) + "-" +
           std::to_string(++counter);
}

// The log file's lines that hold the text.
inline std::vector<std::string> LogLinesWith(const std::string& text)
{
    std::ifstream file(Zovazaz::Log::GetLogFilePath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
    {
        if (line.find(text) != std::string::npos)
        {
            lines.push_back(line);
        }
    }
    return lines;
}

} // namespace CodecTests
