#include "support/Text.h"

#include <cstdint>

namespace Zovazaz
{

namespace
{

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Decodes one UTF-8 sequence at text[i], rejecting overlong forms, surrogate
// code points and values past U+10FFFF; false on any malformed input.
bool DecodeUtf8(std::string_view text, std::size_t& i, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t count = 0;
    char32_t minimum = 0;
    if (lead < 0x80)
    {
        codePoint = lead;
        ++i;
        return true;
    }
    if ((lead & 0xE0) == 0xC0)
    {
        count = 1;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    }
    else if ((lead & 0xF0) == 0xE0)
    {
        count = 2;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    }
    else if ((lead & 0xF8) == 0xF0)
    {
        count = 3;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    }
    else
    {
        return false;
    }
    if (text.size() - i <= count)
    {
        return false;
    }
    for (std::size_t k = 1; k <= count; ++k)
    {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if (!IsContinuation(byte))
        {
            return false;
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    {
        return false;
    }
    i += count + 1;
    return true;
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
    const std::string_view view = text.View();
    WString result;
    result.reserve(view.size());
    for (std::size_t i = 0; i < view.size();)
    {
        char32_t codePoint = 0;
        if (!DecodeUtf8(view, i, codePoint))
        {
            return {};
        }
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
    }
    return result;
}

std::string ToNarrow(WStringRef text)
{
    const std::u16string_view view = text.View();
    std::string result;
    result.reserve(view.size());
    for (std::size_t i = 0; i < view.size(); ++i)
    {
        char32_t unit = view[i];
        if (unit >= 0xDC00 && unit <= 0xDFFF)
        {
            return {}; // a low surrogate without its high half
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
        {
            if (i + 1 == view.size() || view[i + 1] < 0xDC00 || view[i + 1] > 0xDFFF)
            {
                return {};
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (view[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(result, unit);
    }
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

WStringRef TrimText(WStringRef text, WStringRef set)
{
    return TrimTextOf(text, set);
}

} // namespace Zovazaz
