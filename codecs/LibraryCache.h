#pragma once

#include <memory>

#include "codecs/AvutilLibrary.h"
#include "codecs/SwScaleLibrary.h"
#include "codecs/X264Library.h"
#include "support/StringRef.h"

namespace Zovazaz
{

// The shared instance of each binding: every holder in the process shares one
// loaded copy, made on demand and unloaded when the last holder lets go. When
// a directory is given, it is put in front of PATH while a new instance is
// loaded. A base name other than the live instance's loads that library
// instead, which then becomes the shared one (tests load stand-ins this way).
// Each throws what the binding's construction throws.
std::shared_ptr<X264Library> GetX264Library(StringRef directory = {},
                                            StringRef baseName = X264Library::DefaultBaseName);
std::shared_ptr<AvutilLibrary>
GetAvutilLibrary(StringRef directory = {}, StringRef baseName = AvutilLibrary::DefaultBaseName);
std::shared_ptr<SwScaleLibrary>
GetSwScaleLibrary(StringRef directory = {}, StringRef baseName = SwScaleLibrary::DefaultBaseName);

} // namespace Zovazaz
