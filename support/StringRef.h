#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Zovazaz
{

// A non-owning text argument: pointer and length. A length of npos means the
// text is NUL-terminated and is measured on first use; a null pointer is an
// empty text. Literals, std::string and std::u16string all convert to it.
template <class Char> class BasicStringRef
{
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    constexpr BasicStringRef() noexcept = default;
    constexpr BasicStringRef(const Char* text) noexcept : text_(text) {}
    constexpr BasicStringRef(const Char* text, std::size_t length) noexcept
        : text_(text), length_(length)
    {
    }
    BasicStringRef(const std::basic_string<Char>& text) noexcept
        : text_(text.c_str()), length_(text.size())
    {
    }
    constexpr BasicStringRef(std::basic_string_view<Char> text) noexcept
        : text_(text.data()), length_(text.size())
    {
    }

    const Char* begin() const noexcept { return text_; }
    const Char* end() const noexcept { return text_ + size(); }
    const Char* data() const noexcept { return text_; }
    bool IsNull() const noexcept { return text_ == nullptr; }
    bool empty() const noexcept { return size() == 0; }

    std::size_t size() const noexcept
    {
        if (length_ == npos)
        {
            length_ = text_ ? std::char_traits<Char>::length(text_) : 0;
        }
        return length_;
    }

    std::basic_string_view<Char> View() const noexcept
    {
        return text_ ? std::basic_string_view<Char>(text_, size()) : std::basic_string_view<Char>();
    }
    std::basic_string<Char> Str() const { return std::basic_string<Char>(View()); }

  private:
    const Char* text_ = nullptr;
    mutable std::size_t length_ = npos;
};

using StringRef = BasicStringRef<char>;
// Wide text is UTF-16 throughout, as the host's UI and the drawing suites expect.
using WStringRef = BasicStringRef<char16_t>;
using WString = std::u16string;

} // namespace Zovazaz
