#pragma once

// What the command's tests share: a scratch folder per test, the built
// command run through the shell, and its files read back.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/Raster.h"
#include "host/World.h"

namespace CliTest
{

namespace fs = std::filesystem;

// An empty folder named after the running test.
inline fs::path Scratch()
{
    const char* temp = std::getenv("TEMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const fs::path folder = fs::path(temp ? temp : "/tmp") / ("cli-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The lines of a text, or with ',' the fields of a CSV row.
inline std::vector<std::string> Lines(const std::string& text, char separator = '\n')
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line, separator);)
    {
        lines.push_back(line);
    }
    return lines;
}

inline std::set<std::string> Names(const fs::path& folder)
{
    std::set<std::string> names;
    if (fs::exists(folder))
    {
        for (const auto& entry : fs::directory_iterator(folder))
        {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

struct Outcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `ruzirazu ARGUMENTS` (quoted for the shell) in `folder`, after the
// environment assignments in `environment`; standard output and error are
// kept beside the folder, not in it.
inline Outcome Ruzirazu(const fs::path& folder, const std::string& arguments,
                        const std::string& environment = "")
{
    const std::string out = folder.string() + ".out";
    const std::string err = folder.string() + ".err";
    const std::string command = "cd '" + folder.string() + "' && " + environment + " " +
                                RUZIRAZU_BINARY_DIR + "/bin/ruzirazu " + arguments + " >'" + out +
                                "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

// Runs `ruzirazu COMMAND ARGUMENTS` for each "ARGUMENTS => WORDS": it exits
// with `exitCode` (2 for a usage mistake, 1 for a failure found at run time)
// and one line "ruzirazu: ..." holding the words, prints nothing on standard
// output, and leaves the folder as it found it.
inline void ExpectRefusals(const fs::path& folder, const std::string& command, int exitCode,
                           const std::vector<std::string>& refusals)
{
    const std::set<std::string> before = Names(folder);
    for (const std::string& refusal : refusals)
    {
        const std::size_t arrow = refusal.find(" => ");
        const std::string all = command + refusal.substr(0, arrow);
        const Outcome outcome = Ruzirazu(folder, all);
        EXPECT_EQ(outcome.exitCode, exitCode) << all << ": " << outcome.err;
        const std::vector<std::string> lines = Lines(outcome.err);
        ASSERT_EQ(lines.size(), 1u) << all << ": " << outcome.err;
        EXPECT_EQ(lines[0].rfind("ruzirazu: ", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find(refusal.substr(arrow + 4)), std::string::npos) << all;
        EXPECT_EQ(outcome.out, "") << all;
        EXPECT_EQ(Names(folder), before) << all << " left files behind";
    }
}

inline std::string FrameName(const char* prefix, int frame)
{
    return fmt::format("{}_{:05}.png", prefix, frame);
}

inline EffectHost::World ReadPicture(const fs::path& path)
{
    const EffectHost::Raster raster = EffectHost::ReadPng(path.string());
    EffectHost::World world(raster.Width(), raster.Height());
    for (int i = 0; i < raster.Width() * raster.Height(); ++i)
    {
        const EffectHost::Rgba p = raster.At(i % raster.Width(), i / raster.Width());
        world.At(i % raster.Width(), i / raster.Width()) =
            PF_Pixel{p.alpha, p.red, p.green, p.blue};
    }
    return world;
}

} // namespace CliTest
