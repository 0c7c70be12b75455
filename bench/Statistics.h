#pragma once

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace Bench
{

// The middle value, or the mean of the two middle values of an even count.
// Throws std::invalid_argument for no values.
inline double Median(std::vector<double> values)
{
    if (values.empty())
    {
        throw std::invalid_argument("The median of no values");
    }
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                     values.end());
    const double upper = values[middle];
    if (values.size() % 2 != 0)
    {
        return upper;
    }
    const double lower =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2.0;
}

} // namespace Bench
