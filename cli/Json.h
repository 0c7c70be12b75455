#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace CommandLine
{

// A file that is not the JSON it should be: the text says where.
class JsonError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// A JSON value as the reports and the project file need it. Objects keep
// their members in the order they were set, so written files read in a
// stable, meaningful order.
class Json
{
  public:
    enum class Kind
    {
        Null,
        Boolean,
        Number,
        String,
        Array,
        Object
    };

    Json() = default; // null
    Json(bool value) : kind_(Kind::Boolean), boolean_(value) {}
    Json(double value);
    Json(int value) : Json(static_cast<double>(value)) {}
    Json(long value) : Json(static_cast<double>(value)) {}
    Json(long long value) : Json(static_cast<double>(value)) {}
    Json(unsigned value) : Json(static_cast<double>(value)) {}
    Json(unsigned long value) : Json(static_cast<double>(value)) {}
    Json(unsigned long long value) : Json(static_cast<double>(value)) {}
    Json(std::string value) : kind_(Kind::String), text_(std::move(value)) {}
    Json(const char* value) : Json(std::string(value)) {}

    static Json Array();
    static Json Object();

    Kind Type() const noexcept { return kind_; }
    bool IsNumber() const noexcept { return kind_ == Kind::Number; }
    bool IsString() const noexcept { return kind_ == Kind::String; }
    bool IsObject() const noexcept { return kind_ == Kind::Object; }
    bool IsArray() const noexcept { return kind_ == Kind::Array; }

    // Throw JsonError naming `what` when the value is of another kind.
    double Number(const std::string& what) const;
    const std::string& String(const std::string& what) const;

    // Arrays.
    Json& Add(Json value);
    const std::vector<Json>& Items() const noexcept { return items_; }

    // Objects: Set replaces a member of the same key in place.
    Json& Set(const std::string& key, Json value);
    const Json* Find(const std::string& key) const noexcept;
    const std::vector<std::pair<std::string, Json>>& Members() const noexcept { return members_; }

    // Two-space indentation; numbers that are whole print without a
    // fraction; NaN and infinities, which JSON cannot hold, print as null.
    std::string Dump() const;

    // Throws JsonError with the line and column of the first mistake.
    static Json Parse(std::string_view text);

  private:
    void DumpInto(std::string& out, int depth) const;

    Kind kind_ = Kind::Null;
    bool boolean_ = false;
    double number_ = 0.0;
    std::string text_;
    std::vector<Json> items_;
    std::vector<std::pair<std::string, Json>> members_;
};

// The text as a JSON string literal, quotes included.
std::string JsonQuote(std::string_view text);

} // namespace CommandLine
