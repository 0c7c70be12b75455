#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/StringRef.h"

namespace Zovazaz
{

// The module's table of user-visible texts, by small integer id, each
// readable in narrow (UTF-8) and wide (UTF-16) form.
class StringsResource
{
  public:
    struct Entry
    {
        std::shared_ptr<char[]> narrow;
        std::shared_ptr<char16_t[]> wide;
        // Characters of the form stored first, without the terminator.
        std::size_t length = 0;
    };

    static StringsResource& GetInstance();

    // Stores a copy under id; false when the id is taken or more than 10 past
    // the end. A null text throws std::invalid_argument.
    bool SetId(StringRef text, std::uint32_t id);
    bool SetId(WStringRef text, std::uint32_t id);

    // Null for an id past the end or a slot without the form (a wide text
    // whose narrow form changes length has no narrow form).
    const char* GetNarrowString(std::uint32_t id);
    const char16_t* GetWideString(std::uint32_t id);

    // Interns a wide text by content; equal texts give the same id.
    std::pair<std::uint32_t, const char16_t*> GetOrAddString_(WStringRef text);

    std::size_t GetSize() const noexcept { return entries_.size(); }

  private:
    void EnsureWide(Entry& entry);

    // Getters add forms and interning adds entries from the host's threads;
    // the lock keeps the table whole. Handed-out texts never move.
    std::mutex mutex_;
    std::vector<Entry> entries_;
    // Interned texts only (GetOrAddString_), keyed by their content; the
    // views point into the entries' own wide arrays.
    std::unordered_map<std::u16string_view, std::uint32_t> index_;
};

} // namespace Zovazaz
