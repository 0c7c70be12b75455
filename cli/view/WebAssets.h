#pragma once

#include <cstddef>
#include <cstdint>

// The live view's page, compiled in at build time from cli/view/web, so that
// the command serves it without reading any file.
extern const std::uint8_t ViewIndexHtml[];
extern const std::size_t ViewIndexHtmlSize;
extern const std::uint8_t ViewScript[];
extern const std::size_t ViewScriptSize;
extern const std::uint8_t ViewStyle[];
extern const std::size_t ViewStyleSize;
