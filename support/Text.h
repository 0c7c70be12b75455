#pragma once

#include "support/StringRef.h"

namespace Zovazaz
{

// Narrow text is UTF-8, wide text UTF-16. Invalid input (a malformed,
// overlong or cut-short UTF-8 sequence, an encoded or unpaired surrogate, a
// value past U+10FFFF) becomes U+FFFD, one for each broken sequence, so the
// rest of the text survives. Only memory exhaustion throws.
WString ToWide(StringRef text);
std::string ToNarrow(WStringRef text);
// The code points of the text, with the same replacement.
std::u32string ToCodePoints(StringRef text);
std::u32string ToCodePoints(WStringRef text);

// The length of the longest start of `text` of at most `limit` bytes that
// does not end inside a UTF-8 character.
std::size_t Utf8PrefixLength(StringRef text, std::size_t limit) noexcept;

// Removes every character of `set` from the end, then from the start. A null
// text gives a null result (length npos).
StringRef TrimText(StringRef text, StringRef set);

} // namespace Zovazaz
