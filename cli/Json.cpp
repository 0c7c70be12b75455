#include "cli/Json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace CommandLine
{

Json::Json(double value) : kind_(Kind::Number), number_(value) {}

Json Json::Array()
{
    Json value;
    value.kind_ = Kind::Array;
    return value;
}

Json Json::Object()
{
    Json value;
    value.kind_ = Kind::Object;
    return value;
}

double Json::Number(const std::string& what) const
{
    if (kind_ != Kind::Number)
    {
        throw JsonError(what + " is not a number");
    }
    return number_;
}

const std::string& Json::String(const std::string& what) const
{
    if (kind_ != Kind::String)
    {
        throw JsonError(what + " is not a text");
    }
    return text_;
}

Json& Json::Add(Json value)
{
    items_.push_back(std::move(value));
    return items_.back();
}

Json& Json::Set(const std::string& key, Json value)
{
    for (auto& member : members_)
    {
        if (member.first == key)
        {
            member.second = std::move(value);
            return member.second;
        }
    }
    members_.emplace_back(key, std::move(value));
    return members_.back().second;
}

const Json* Json::Find(const std::string& key) const noexcept
{
    for (const auto& member : members_)
    {
        if (member.first == key)
        {
            return &member.second;
        }
    }
    return nullptr;
}

std::string JsonQuote(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text)
    {
        switch (c)
        {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
            {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            }
            else
            {
                out += c;
            }
        }
    }
    return out + "\"";
}

namespace
{

std::string NumberText(double value)
{
    if (!std::isfinite(value))
    {
        return "null";
    }
    char text[32];
    if (value == std::floor(value) && std::fabs(value) < 1e15)
    {
        std::snprintf(text, sizeof text, "%.0f", value);
    }
    else
    {
        std::snprintf(text, sizeof text, "%.10g", value);
    }
    return text;
}

void Indent(std::string& out, int depth)
{
    out += '\n';
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

} // namespace

void Json::DumpInto(std::string& out, int depth) const
{
    switch (kind_)
    {
    case Kind::Null:
        out += "null";
        break;
    case Kind::Boolean:
        out += boolean_ ? "true" : "false";
        break;
    case Kind::Number:
        out += NumberText(number_);
        break;
    case Kind::String:
        out += JsonQuote(text_);
        break;
    case Kind::Array:
        if (items_.empty())
        {
            out += "[]";
            break;
        }
        out += '[';
        for (std::size_t i = 0; i < items_.size(); ++i)
        {
            out += i == 0 ? "" : ",";
            Indent(out, depth + 1);
            items_[i].DumpInto(out, depth + 1);
        }
        Indent(out, depth);
        out += ']';
        break;
    case Kind::Object:
        if (members_.empty())
        {
            out += "{}";
            break;
        }
        out += '{';
        for (std::size_t i = 0; i < members_.size(); ++i)
        {
            out += i == 0 ? "" : ",";
            Indent(out, depth + 1);
            out += JsonQuote(members_[i].first) + ": ";
            members_[i].second.DumpInto(out, depth + 1);
        }
        Indent(out, depth);
        out += '}';
        break;
    }
}

std::string Json::Dump() const
{
    std::string out;
    DumpInto(out, 0);
    return out + "\n";
}

namespace
{

class Parser
{
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    Json Document()
    {
        Json value = Value(0);
        SkipSpace();
        if (at_ != text_.size())
        {
            Fail("unexpected text after the value");
        }
        return value;
    }

  private:
    static constexpr int MaxDepth = 64;

    [[noreturn]] void Fail(const std::string& what) const
    {
        int line = 1;
        int column = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i)
        {
            if (text_[i] == '\n')
            {
                ++line;
                column = 1;
            }
            else
            {
                ++column;
            }
        }
        throw JsonError("line " + std::to_string(line) + ", column " + std::to_string(column) +
                        ": " + what);
    }

    void SkipSpace()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
        {
            ++at_;
        }
    }

    bool Take(char c)
    {
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == c)
        {
            ++at_;
            return true;
        }
        return false;
    }

    void Expect(char c)
    {
        if (!Take(c))
        {
            Fail(std::string("expected '") + c + "'");
        }
    }

    bool Word(std::string_view word)
    {
        if (text_.substr(at_, word.size()) == word)
        {
            at_ += word.size();
            return true;
        }
        return false;
    }

    Json Value(int depth)
    {
        if (depth > MaxDepth)
        {
            Fail("nested too deeply");
        }
        SkipSpace();
        if (at_ >= text_.size())
        {
            Fail("unexpected end of the file");
        }
        const char c = text_[at_];
        if (c == '{')
        {
            ++at_;
            Json object = Json::Object();
            if (Take('}'))
            {
                return object;
            }
            do
            {
                SkipSpace();
                if (at_ >= text_.size() || text_[at_] != '"')
                {
                    Fail("expected a member name in quotes");
                }
                std::string key = StringLiteral();
                Expect(':');
                object.Set(key, Value(depth + 1));
            } while (Take(','));
            Expect('}');
            return object;
        }
        if (c == '[')
        {
            ++at_;
            Json array = Json::Array();
            if (Take(']'))
            {
                return array;
            }
            do
            {
                array.Add(Value(depth + 1));
            } while (Take(','));
            Expect(']');
            return array;
        }
        if (c == '"')
        {
            return Json(StringLiteral());
        }
        if (Word("true"))
        {
            return Json(true);
        }
        if (Word("false"))
        {
            return Json(false);
        }
        if (Word("null"))
        {
            return Json();
        }
        return NumberLiteral();
    }

    Json NumberLiteral()
    {
        const std::size_t start = at_;
        while (at_ < text_.size() &&
               std::string_view("+-.eE0123456789").find(text_[at_]) != std::string_view::npos)
        {
            ++at_;
        }
        const std::string number(text_.substr(start, at_ - start));
        char* end = nullptr;
        const double value = number.empty() ? 0.0 : std::strtod(number.c_str(), &end);
        if (number.empty() || end != number.c_str() + number.size())
        {
            at_ = start;
            Fail("expected a value");
        }
        return Json(value);
    }

    void AppendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80)
        {
            out += static_cast<char>(code);
        }
        else if (code < 0x800)
        {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        else
        {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string StringLiteral()
    {
        ++at_; // the opening quote
        std::string out;
        while (at_ < text_.size())
        {
            const char c = text_[at_++];
            if (c == '"')
            {
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20)
            {
                Fail("a line break or control character inside a text");
            }
            if (c != '\\')
            {
                out += c;
                continue;
            }
            if (at_ >= text_.size())
            {
                break;
            }
            const char escape = text_[at_++];
            switch (escape)
            {
            case '"':
            case '\\':
            case '/':
                out += escape;
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u':
            {
                if (at_ + 4 > text_.size())
                {
                    Fail("a \\u escape needs four hexadecimal digits");
                }
                const std::string digits(text_.substr(at_, 4));
                char* end = nullptr;
                const unsigned long code = std::strtoul(digits.c_str(), &end, 16);
                if (end != digits.c_str() + 4)
                {
                    Fail("a \\u escape needs four hexadecimal digits");
                }
                at_ += 4;
                AppendUtf8(out, static_cast<unsigned>(code));
                break;
            }
            default:
                Fail(std::string("unknown escape \\") + escape);
            }
        }
        Fail("a text that never ends");
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

Json Json::Parse(std::string_view text)
{
    return Parser(text).Document();
}

} // namespace CommandLine
