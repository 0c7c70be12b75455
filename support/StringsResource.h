#pragma once

#include <cstdint>
#include <memory>
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
    // implementation detail: owned by the implementer of the support library
    struct Key;
    struct KeyHash;
    struct KeyEqual;
    std::vector<Entry> entries_;
    std::unique_ptr<std::unordered_map<std::uint64_t, std::uint32_t>> reserved_;
};

} // namespace Zovazaz
