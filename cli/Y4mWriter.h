#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/World.h"

namespace CommandLine
{

// The preview frames as a YUV4MPEG2 stream (4:2:0, BT.601 limited range, the
// players' assumption for an untagged stream), to a file or to standard
// output for a player to read from a pipe. A file is written under a
// temporary name and takes its own name only at Finish, so a run that fails
// leaves no truncated stream behind; a named pipe or device is written
// straight, never replaced.
class Y4mWriter
{
  public:
    // `target` is a file name or "-" for standard output. Throws
    // std::runtime_error when the file cannot be created.
    Y4mWriter(const std::string& target, int width, int height, std::uint32_t rateNum,
              std::uint32_t rateDen);
    ~Y4mWriter();
    Y4mWriter(const Y4mWriter&) = delete;
    Y4mWriter& operator=(const Y4mWriter&) = delete;

    // Throws std::invalid_argument for a frame of another size,
    // std::runtime_error when the write fails (a closed pipe included).
    void Write(const EffectHost::World& frame);
    // Flushes, and for a file gives it its name. Throws std::runtime_error.
    void Finish();

    static std::string Header(int width, int height, std::uint32_t rateNum, std::uint32_t rateDen);
    // The frame's Y, then Cb, then Cr plane; chroma is the average of each
    // 2 x 2 block (of the pixels that exist at odd edges).
    static std::vector<std::uint8_t> FramePlanes(const EffectHost::World& frame);

  private:
    struct CloseFile
    {
        void operator()(std::FILE* file) const noexcept;
    };

    void Put(const void* data, std::size_t size);

    int width_;
    int height_;
    bool toStandardOutput_;
    std::filesystem::path path_;
    std::filesystem::path temporary_; // empty when written straight to the target
    std::unique_ptr<std::FILE, CloseFile> file_;
    std::vector<std::uint8_t> planes_;
};

} // namespace CommandLine
