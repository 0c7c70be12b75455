#include "host/ImageSequence.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include <fmt/format.h>

#include "host/Png.h"

namespace EffectHost
{

namespace
{

// The pattern split at its one conversion: folder, then the file name's
// text before and after the number, and how the number is printed.
struct Pattern
{
    std::filesystem::path folder;
    std::string prefix;
    std::string suffix;
    int width = 0; // minimum digits
    bool zeroPad = false;

    std::string Name(long number) const
    {
        return prefix +
               (zeroPad ? fmt::format("{:0{}}", number, width)
                        : fmt::format("{:{}}", number, width)) +
               suffix;
    }
};

Pattern ParsePattern(const std::string& text)
{
    const std::filesystem::path whole(text);
    const std::string folder = whole.parent_path().string();
    const std::string name = whole.filename().string();
    if (folder.find('%') != std::string::npos)
    {
        throw std::invalid_argument("The image sequence pattern \"" + text +
                                    "\" may number files, not folders: put %d in the file name");
    }
    Pattern pattern;
    pattern.folder = folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
    int conversions = 0;
    std::string* part = &pattern.prefix;
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        if (name[i] != '%')
        {
            part->push_back(name[i]);
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%')
        {
            part->push_back('%');
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        if (j < name.size() && name[j] == '0')
        {
            pattern.zeroPad = true;
            ++j;
        }
        int width = 0;
        while (j < name.size() && name[j] >= '0' && name[j] <= '9' && width < 100)
        {
            width = width * 10 + (name[j] - '0');
            ++j;
        }
        if (j >= name.size() || (name[j] != 'd' && name[j] != 'i' && name[j] != 'u') || width > 9)
        {
            throw std::invalid_argument("The image sequence pattern \"" + text +
                                        "\" has a conversion other than %d, %4d or %04d");
        }
        pattern.width = width;
        ++conversions;
        part = &pattern.suffix;
        i = j;
    }
    if (conversions != 1)
    {
        throw std::invalid_argument(fmt::format("The image sequence pattern \"{}\" needs exactly "
                                                "one frame number such as %04d, not {}",
                                                text, conversions));
    }
    return pattern;
}

// The number a file name carries, when the pattern gives exactly that name
// for it; -1 otherwise.
long NumberOf(const Pattern& pattern, const std::string& name)
{
    if (name.size() <= pattern.prefix.size() + pattern.suffix.size() ||
        name.compare(0, pattern.prefix.size(), pattern.prefix) != 0 ||
        name.compare(name.size() - pattern.suffix.size(), pattern.suffix.size(), pattern.suffix) !=
            0)
    {
        return -1;
    }
    std::string digits = name.substr(pattern.prefix.size(),
                                     name.size() - pattern.prefix.size() - pattern.suffix.size());
    // Space padding (%4d) leads the digits.
    const std::size_t firstDigit = digits.find_first_not_of(' ');
    if (firstDigit == std::string::npos || digits.size() - firstDigit > 9 ||
        digits.find_first_not_of("0123456789", firstDigit) != std::string::npos)
    {
        return -1;
    }
    const long number = std::stol(digits.substr(firstDigit));
    return pattern.Name(number) == name ? number : -1;
}

// The file's pixels as the world lays them out: ARGB, packed rows.
std::vector<PF_Pixel> ReadArgb(PngReader& reader)
{
    static_assert(sizeof(PF_Pixel) == 4, "PF_Pixel is four 8-bit channels");
    std::vector<PF_Pixel> pixels(static_cast<std::size_t>(reader.Width()) *
                                 static_cast<std::size_t>(reader.Height()));
    reader.Read(PngPixelOrder::Argb,
                std::span(reinterpret_cast<std::uint8_t*>(pixels.data()), pixels.size() * 4));
    return pixels;
}

} // namespace

// Decoded frames, least recently used first out, within a byte budget.
struct ImageSequenceSource::Cache
{
    std::size_t budget = 0;
    std::size_t used = 0;
    std::mutex mutex;
    std::list<A_long> order; // most recent first
    struct Entry
    {
        // Never changed once decoded, so a frame lent out stays as it is
        // when the cache lets it go.
        std::shared_ptr<const World> world;
        std::list<A_long>::iterator position;
    };
    std::unordered_map<A_long, Entry> frames;
};

std::string ImageSequenceSource::FormatPattern(const std::string& pattern, long number)
{
    const Pattern parsed = ParsePattern(pattern);
    return (std::filesystem::path(pattern).parent_path() / parsed.Name(number)).string();
}

ImageSequenceSource::ImageSequenceSource(const std::string& pattern, std::size_t cacheBytes)
    : cache_(std::make_unique<Cache>())
{
    cache_->budget = cacheBytes;
    const Pattern parsed = ParsePattern(pattern);
    const std::filesystem::path folder = std::filesystem::path(pattern).parent_path();

    std::vector<long> numbers;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(parsed.folder, error), end;
         !error && entry != end; entry.increment(error))
    {
        const long number = NumberOf(parsed, entry->path().filename().string());
        if (number >= 0)
        {
            numbers.push_back(number);
        }
    }
    if (numbers.empty())
    {
        throw std::invalid_argument(
            "No file matches the image sequence pattern \"" + pattern + "\"" +
            (error ? " (" + parsed.folder.string() + ": " + error.message() + ")" : std::string()));
    }
    std::sort(numbers.begin(), numbers.end());
    first_ = numbers.front();
    const auto pathOf = [&](long number) { return (folder / parsed.Name(number)).string(); };
    for (std::size_t i = 0; i < numbers.size(); ++i)
    {
        const long expected = first_ + static_cast<long>(i);
        if (numbers[i] != expected)
        {
            throw std::runtime_error("The image sequence " + pattern +
                                     " has a gap: " + pathOf(expected) + " is missing between " +
                                     pathOf(first_) + " and " + pathOf(numbers.back()));
        }
        paths_.push_back(pathOf(numbers[i]));
    }

    for (const std::string& path : paths_)
    {
        const PngReader input(path);
        if (path == paths_.front())
        {
            width_ = input.Width();
            height_ = input.Height();
            if (width_ < 1 || height_ < 1)
            {
                throw std::runtime_error(path + " has no pixels");
            }
        }
        else if (input.Width() != width_ || input.Height() != height_)
        {
            throw std::runtime_error(fmt::format(
                "{} is {} x {} but {} is {} x {}: every image of a sequence must have one size",
                path, input.Width(), input.Height(), paths_.front(), width_, height_));
        }
    }
}

ImageSequenceSource::~ImageSequenceSource() = default;

void ImageSequenceSource::FrameAt(A_long time, A_long timeStep, A_u_long, World& into) const
{
    if (into.Width() != width_ || into.Height() != height_)
    {
        throw std::invalid_argument("ImageSequenceSource: the world is not the sequence's size");
    }
    const std::shared_ptr<const World> frame = Decoded(time, timeStep);
    const auto rowBytes = static_cast<std::size_t>(width_) * sizeof(PF_Pixel);
    for (A_long y = 0; y < height_; ++y)
    {
        std::memcpy(&into.At(0, y), &frame->At(0, y), rowBytes);
    }
}

std::shared_ptr<const World> ImageSequenceSource::HeldFrame(A_long time, A_long timeStep,
                                                            A_u_long) const
{
    return Decoded(time, timeStep);
}

std::shared_ptr<const World> ImageSequenceSource::Decoded(A_long time, A_long timeStep) const
{
    const A_long index =
        std::clamp<A_long>(timeStep > 0 ? time / timeStep : 0, 0, FrameCount() - 1);
    Cache& cache = *cache_;
    std::lock_guard lock(cache.mutex);
    if (const auto found = cache.frames.find(index); found != cache.frames.end())
    {
        cache.order.splice(cache.order.begin(), cache.order, found->second.position);
        return found->second.world;
    }
    auto world = std::make_shared<World>(width_, height_);
    {
        PngReader input(paths_[index]);
        if (input.Width() != width_ || input.Height() != height_)
        {
            throw std::runtime_error(fmt::format(
                "{} changed size while it was in use: it is {} x {}, the sequence {} x {}",
                paths_[index], input.Width(), input.Height(), width_, height_));
        }
        const std::vector<PF_Pixel> pixels = ReadArgb(input);
        for (A_long y = 0; y < height_; ++y)
        {
            std::copy_n(&pixels[static_cast<std::size_t>(y) * width_], width_, &world->At(0, y));
        }
    }
    // The budget counts pixels, as the decoded images hold them.
    const std::size_t bytes =
        static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * sizeof(PF_Pixel);
    if (bytes > cache.budget)
    {
        return world;
    }
    while (cache.used + bytes > cache.budget && !cache.order.empty())
    {
        // Every frame of a sequence has its size, so each takes `bytes`.
        cache.used -= bytes;
        cache.frames.erase(cache.order.back());
        cache.order.pop_back();
    }
    cache.order.push_front(index);
    cache.frames.emplace(index, Cache::Entry{world, cache.order.begin()});
    cache.used += bytes;
    return world;
}

} // namespace EffectHost
