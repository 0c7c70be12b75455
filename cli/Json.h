#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace CommandLine
{

// The reports and the project file: members keep the order they were set in,
// so written files read in a stable, meaningful order.
using Json = nlohmann::ordered_json;

// A whole number as a JSON integer (8000, not 8000.0), anything else as it
// is; NaN and infinities, which JSON cannot hold, as null.
inline Json JsonNumber(double value)
{
    if (!std::isfinite(value))
    {
        return nullptr;
    }
    constexpr double exact = 9007199254740992.0; // 2^53: every whole double below is exact
    if (value == std::trunc(value) && std::fabs(value) < exact)
    {
        return static_cast<std::int64_t>(value);
    }
    return value;
}

// The file's text: two-space indentation and a final line break. Bytes of a
// text that are not UTF-8 (a file name, say) are written as U+FFFD, so the
// file stays valid JSON.
inline std::string JsonText(const Json& json)
{
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace CommandLine
