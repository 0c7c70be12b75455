#include "host/Timeline.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <stdexcept>

#include <fmt/format.h>

namespace EffectHost
{

namespace
{

std::uint64_t ParseWhole(const std::string& text, const std::string& whole)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    {
        throw std::invalid_argument("a frame rate is NUM/DEN or NUM in whole numbers, not \"" +
                                    whole + "\"");
    }
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value > std::numeric_limits<std::int32_t>::max())
    {
        throw std::invalid_argument("the frame rate \"" + whole + "\" is too large");
    }
    return value;
}

} // namespace

FrameRate ParseFrameRate(const std::string& text)
{
    const std::size_t slash = text.find('/');
    const std::uint64_t numerator = ParseWhole(text.substr(0, slash), text);
    const std::uint64_t denominator =
        slash == std::string::npos ? 1 : ParseWhole(text.substr(slash + 1), text);
    if (numerator == 0 || denominator == 0)
    {
        throw std::invalid_argument("a frame rate must be above 0, not \"" + text + "\"");
    }
    const std::uint64_t common = std::gcd(numerator, denominator);
    return FrameRate{static_cast<std::uint32_t>(numerator / common),
                     static_cast<std::uint32_t>(denominator / common)};
}

TimeSettings TimeForFrames(FrameRate rate, A_long frames)
{
    if (rate.numerator == 0 || rate.denominator == 0)
    {
        throw std::invalid_argument("a frame rate must be above 0");
    }
    // The effect reads the scale and the step as signed 32-bit numbers.
    constexpr std::int64_t Largest = std::numeric_limits<A_long>::max();
    if (rate.numerator > Largest || rate.denominator > Largest)
    {
        throw std::invalid_argument(
            fmt::format("the frame rate {}/{} is too fine", rate.numerator, rate.denominator));
    }
    if (frames < 1)
    {
        throw std::invalid_argument(fmt::format("a layer needs at least 1 frame, not {}", frames));
    }
    const std::int64_t total = std::int64_t{frames} * rate.denominator;
    if (total > Largest)
    {
        throw std::invalid_argument(
            fmt::format("{} frames at {}/{} do not fit the host's clock (at most {} frames)",
                        frames, rate.numerator, rate.denominator, Largest / rate.denominator));
    }
    TimeSettings time;
    time.timeScale = rate.numerator;
    time.timeStep = static_cast<A_long>(rate.denominator);
    time.totalTime = static_cast<A_long>(total);
    time.currentTime = 0;
    return time;
}

A_long FrameCount(const TimeSettings& time) noexcept
{
    return time.timeStep > 0 ? time.totalTime / time.timeStep : 0;
}

} // namespace EffectHost
