#include "support/Text.h"

#include <cstdint>
#include <string_view>

namespace Zovazaz
{

namespace
{

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

constexpr char32_t Replacement = 0xFFFD;

// Calls `emit` with each code point of UTF-8 text. A malformed sequence gives
// one U+FFFD for its longest start that could still have been valid, and
// decoding resumes at the byte that broke it, so C3 28 is U+FFFD '(' and an
// overlong C0 AF is two U+FFFD. Overlong forms, encoded surrogates and values
// past U+10FFFF are malformed: the ranges allowed for the second byte rule
// them out.
template <class Emit> void DecodeUtf8(std::string_view text, Emit&& emit)
{
    char32_t codePoint = 0;
    int needed = 0;
    unsigned char lower = 0x80;
    unsigned char upper = 0xBF;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (needed == 0)
        {
            if (byte < 0x80)
            {
                emit(byte);
            }
            else if (byte >= 0xC2 && byte <= 0xDF)
            {
                needed = 1;
                codePoint = byte & 0x1F;
            }
            else if (byte >= 0xE0 && byte <= 0xEF)
            {
                lower = byte == 0xE0 ? 0xA0 : 0x80;
                upper = byte == 0xED ? 0x9F : 0xBF;
                needed = 2;
                codePoint = byte & 0x0F;
            }
            else if (byte >= 0xF0 && byte <= 0xF4)
            {
                lower = byte == 0xF0 ? 0x90 : 0x80;
                upper = byte == 0xF4 ? 0x8F : 0xBF;
                needed = 3;
                codePoint = byte & 0x07;
            }
            else
            {
                emit(Replacement);
            }
            continue;
        }
        if (byte < lower || byte > upper)
        {
            needed = 0;
            lower = 0x80;
            upper = 0xBF;
            emit(Replacement);
            --i; // the byte may start the next character
            continue;
        }
        lower = 0x80;
        upper = 0xBF;
        codePoint = (codePoint << 6) | (byte & 0x3F);
        if (--needed == 0)
        {
            emit(codePoint);
        }
    }
    if (needed != 0)
    {
        emit(Replacement); // cut short at the end
    }
}

// Calls `emit` with each code point of UTF-16 text; a surrogate without its
// other half gives U+FFFD.
template <class Emit> void DecodeUtf16(std::u16string_view text, Emit&& emit)
{
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
        {
            emit(0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
        }
        else
        {
            emit(unit >= 0xD800 && unit <= 0xDFFF ? Replacement : unit);
        }
    }
}

void AppendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80)
    {
        out += static_cast<char>(codePoint);
    }
    else if (codePoint < 0x800)
    {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    else if (codePoint < 0x10000)
    {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

template <class Char>
BasicStringRef<Char> TrimTextOf(BasicStringRef<Char> text, BasicStringRef<Char> set)
{
    if (text.IsNull())
    {
        return {};
    }
    const std::basic_string_view<Char> blanks = set.View();
    std::basic_string_view<Char> view = text.View();
    while (!view.empty() && blanks.find(view.back()) != blanks.npos)
    {
        view.remove_suffix(1);
    }
    while (!view.empty() && blanks.find(view.front()) != blanks.npos)
    {
        view.remove_prefix(1);
    }
    return BasicStringRef<Char>(view.data(), view.size());
}

} // namespace

WString ToWide(StringRef text)
{
    WString result;
    result.reserve(text.size());
    DecodeUtf8(text.View(),
               [&](char32_t codePoint)
               {
                   if (codePoint >= 0x10000)
                   {
                       codePoint -= 0x10000;
                       result += static_cast<char16_t>(0xD800 + (codePoint >> 10));
                       result += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
                   }
                   else
                   {
                       result += static_cast<char16_t>(codePoint);
                   }
               });
    return result;
}

std::string ToNarrow(WStringRef text)
{
    std::string result;
    result.reserve(text.size());
    DecodeUtf16(text.View(), [&](char32_t codePoint) { AppendUtf8(result, codePoint); });
    return result;
}

std::u32string ToCodePoints(StringRef text)
{
    std::u32string result;
    result.reserve(text.size());
    DecodeUtf8(text.View(), [&](char32_t codePoint) { result += codePoint; });
    return result;
}

std::u32string ToCodePoints(WStringRef text)
{
    std::u32string result;
    result.reserve(text.size());
    DecodeUtf16(text.View(), [&](char32_t codePoint) { result += codePoint; });
    return result;
}

std::size_t Utf8PrefixLength(StringRef text, std::size_t limit) noexcept
{
    const std::string_view view = text.View();
    if (view.size() <= limit)
    {
        return view.size();
    }
    // Back over the continuation bytes of the character the limit falls in;
    // a character has at most three.
    std::size_t length = limit;
    while (length > 0 && limit - length < 3 &&
           IsContinuation(static_cast<unsigned char>(view[length])))
    {
        --length;
    }
    return IsContinuation(static_cast<unsigned char>(view[length])) ? limit : length;
}

StringRef TrimText(StringRef text, StringRef set)
{
    return TrimTextOf(text, set);
}

} // namespace Zovazaz
