#pragma once

#include <cstdint>

// The effect's entries in the strings resource, registered at module start-up.
enum StringId : std::uint32_t
{
    StringEffectName = 0,
    StringDescription,
    StringUnknown,
    StringSegmentLength,
    StringPresets,
    StringMode,
    StringTargetBitrate,
    StringRateFactor,
    StringKeyFrameInterval,
    StringUseBFrames,
    StringAbout,
    StringInformation,
    StringAboutFormat,
    StringCount,
};

// Registers the table; true when every entry was stored. Runs once at static
// initialisation; a later call changes nothing and reports whether the table
// is complete.
bool RegisterEffectStrings();
