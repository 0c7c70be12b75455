#include "support/StringsResource.h"

#include <algorithm>

#include "support/LogException.h"
#include "support/Text.h"

namespace Zovazaz
{

namespace
{

// Ids may run at most this far past the current end.
constexpr std::size_t MaximumIdGap = 10;

template <class Char> std::shared_ptr<Char[]> CopyText(std::basic_string_view<Char> text)
{
    std::shared_ptr<Char[]> copy(new Char[text.size() + 1]);
    std::copy(text.begin(), text.end(), copy.get());
    copy[text.size()] = Char();
    return copy;
}

template <class Char>
bool StoreText(std::vector<StringsResource::Entry>& entries, BasicStringRef<Char> text,
               std::uint32_t id, std::shared_ptr<Char[]> StringsResource::Entry::*form)
{
    if (id > entries.size() + MaximumIdGap)
    {
        return false;
    }
    if (id >= entries.size())
    {
        entries.resize(std::size_t{id} + 1);
    }
    StringsResource::Entry& entry = entries[id];
    if (entry.narrow || entry.wide)
    {
        return false;
    }
    entry.*form = CopyText(text.View());
    entry.length = text.size();
    return true;
}

} // namespace

StringsResource& StringsResource::GetInstance()
{
    static StringsResource instance;
    return instance;
}

bool StringsResource::SetId(StringRef text, std::uint32_t id)
{
    if (text.IsNull())
    {
        ThrowAssertionFailure({__FILE__, "Zovazaz::StringsResource::SetId", __LINE__}, nullptr,
                              "text != nullptr");
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    return StoreText(entries_, text, id, &Entry::narrow);
}

bool StringsResource::SetId(WStringRef text, std::uint32_t id)
{
    if (text.IsNull())
    {
        ThrowAssertionFailure({__FILE__, "Zovazaz::StringsResource::SetId", __LINE__}, nullptr,
                              "text != nullptr");
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    return StoreText(entries_, text, id, &Entry::wide);
}

const char* StringsResource::GetNarrowString(std::uint32_t id)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (id >= entries_.size())
    {
        return nullptr;
    }
    Entry& entry = entries_[id];
    if (!entry.narrow && entry.wide)
    {
        // Callers rely on both forms having the same length, so a text whose
        // narrow form would be longer (any non-ASCII character) has none.
        const std::string narrow = ToNarrow(WStringRef(entry.wide.get(), entry.length));
        if (narrow.size() == entry.length)
        {
            entry.narrow = CopyText(std::string_view(narrow));
        }
    }
    return entry.narrow.get();
}

void StringsResource::EnsureWide(Entry& entry)
{
    if (entry.wide || !entry.narrow)
    {
        return;
    }
    // A multi-byte narrow text has a shorter wide form; it is kept whole with
    // its own terminator.
    entry.wide = CopyText(std::u16string_view(ToWide(StringRef(entry.narrow.get(), entry.length))));
}

const char16_t* StringsResource::GetWideString(std::uint32_t id)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (id >= entries_.size())
    {
        return nullptr;
    }
    Entry& entry = entries_[id];
    EnsureWide(entry);
    return entry.wide.get();
}

std::pair<std::uint32_t, const char16_t*> StringsResource::GetOrAddString_(WStringRef text)
{
    if (text.IsNull())
    {
        ThrowAssertionFailure({__FILE__, "Zovazaz::StringsResource::GetOrAddString_", __LINE__},
                              nullptr, "text.begin() != nullptr");
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    if (const auto found = index_.find(text.View()); found != index_.end())
    {
        return {found->second, entries_[found->second].wide.get()};
    }
    const auto id = static_cast<std::uint32_t>(entries_.size());
    Entry entry;
    entry.wide = CopyText(text.View());
    entry.length = text.size();
    entries_.push_back(entry);
    index_.emplace(std::u16string_view(entry.wide.get(), entry.length), id);
    return {id, entry.wide.get()};
}

} // namespace Zovazaz
