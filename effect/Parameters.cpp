#include "effect/Parameters.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "effect/CompressionViewer.h"
#include "effect/Strings.h"
#include "framework/Plugin.h"

namespace
{

constexpr PresetBitrate YouTubeStandardRows[] = {
    {360, 1000}, {480, 2500}, {720, 5000}, {1080, 8000}, {1440, 10000}, {2160, 40000},
};
constexpr PresetBitrate YouTubeHighRows[] = {
    {360, 5000},
    {480, 15000},
    {720, 30000},
    {1080, 50000},
};
constexpr PresetBitrate VimeoRows[] = {
    {480, 3000},
    {720, 8000},
    {1080, 15000},
};

template <std::size_t N> constexpr PresetTable MakeTable(const PresetBitrate (&rows)[N])
{
    return PresetTable{rows, static_cast<std::int32_t>(N)};
}

ParameterDescriptor Static(std::int32_t position, std::uint32_t nameId, std::int32_t hostId,
                           std::int32_t lines, DrawCallback draw)
{
    ParameterDescriptor row;
    row.position = position;
    row.type = ParameterType_Static;
    row.nameId = nameId;
    row.hostId = hostId;
    row.lineCount = lines;
    row.draw = draw;
    return row;
}

// Sliders show whole numbers and start collapsed; none can vary over time.
ParameterDescriptor Slider(std::int32_t position, std::uint32_t nameId, std::int32_t hostId,
                           float defaultValue, float minimum, float maximum,
                           IsEnabledCallback isEnabled)
{
    ParameterDescriptor row;
    row.position = position;
    row.type = ParameterType_Number;
    row.nameId = nameId;
    row.hostId = hostId;
    row.flags = ParameterFlag_Collapsed;
    row.isEnabled = isEnabled;
    row.number = NumberSpec{0, defaultValue, minimum, maximum};
    return row;
}

ParameterDescriptor Popup(std::int32_t position, std::uint32_t nameId, std::int32_t hostId,
                          std::initializer_list<const char*> choices, IsEnabledCallback isEnabled)
{
    ParameterDescriptor row;
    row.position = position;
    row.type = ParameterType_Popup;
    row.nameId = nameId;
    row.hostId = hostId;
    row.isEnabled = isEnabled;
    std::copy(choices.begin(), choices.end(), row.choices);
    return row;
}

ParameterDescriptor Checkbox(std::int32_t position, std::uint32_t nameId, std::int32_t hostId,
                             bool on, IsEnabledCallback isEnabled)
{
    ParameterDescriptor row;
    row.position = position;
    row.type = ParameterType_Checkbox;
    row.nameId = nameId;
    row.hostId = hostId;
    row.isEnabled = isEnabled;
    row.number.defaultValue = on ? 1.0f : 0.0f;
    return row;
}

ParameterDescriptor InputLayer()
{
    return ParameterDescriptor{};
}

// The host ids are the parameters' identity in saved projects: never change
// them, whatever the order on screen.
const ParameterDescriptor ParameterTable[ParamCount] = {
    InputLayer(),
    Static(ParamAbout, StringAbout, 17, 9, &CompressionViewer::DrawLogo),
    Slider(ParamSegmentLength, StringSegmentLength, 11, 15, 0, 2000, nullptr),
    Popup(ParamPresets, StringPresets, 10,
          {"None (Manual)", "YouTube (Standard Quality)", "YouTube (High Quality)", "Vimeo"},
          nullptr),
    Popup(ParamMode, StringMode, 8, {"Average Bitrate", "Constant Rate Factor"}, &IsModeEnabled),
    Slider(ParamTargetBitrate, StringTargetBitrate, 1, 1500, 500, 50000, &IsBitrateControlEnabled),
    Slider(ParamRateFactor, StringRateFactor, 9, 23, 0, 51, &IsRateFactorEnabled),
    Slider(ParamKeyFrameInterval, StringKeyFrameInterval, 12, 30, 1, 999, &IsBitrateControlEnabled),
    Checkbox(ParamUseBFrames, StringUseBFrames, 13, true, &IsBitrateControlEnabled),
    Static(ParamInformation, StringInformation, 7, 5, nullptr),
};

// The layer's height at full resolution. At a reduced preview resolution the
// host lends the layer downsampled by downsample_y (num / den), and a preset
// must still choose for the size that will be delivered.
std::int32_t FullResolutionHeight(const PF_InData& in, std::int32_t height)
{
    const std::int64_t num = in.downsample_y.num;
    const std::int64_t den = in.downsample_y.den;
    if (num <= 0 || den <= 0)
    {
        return height;
    }
    const std::int64_t full = (std::int64_t{height} * den + num / 2) / num;
    return static_cast<std::int32_t>(std::min<std::int64_t>(full, INT32_MAX));
}

} // namespace

PresetTable GetPresetTable(std::int32_t preset) noexcept
{
    switch (preset)
    {
    case PresetYouTubeStandard:
        return MakeTable(YouTubeStandardRows);
    case PresetYouTubeHigh:
        return MakeTable(YouTubeHighRows);
    case PresetVimeo:
        return MakeTable(VimeoRows);
    default:
        return PresetTable{nullptr, 0};
    }
}

std::int32_t FindPresetBitrate(const PresetTable& table, std::int32_t height)
{
    if (table.rows == nullptr || table.count <= 0)
    {
        throw std::invalid_argument("A preset table needs at least one row");
    }
    const PresetBitrate* end = table.rows + table.count;
    const PresetBitrate* row =
        std::lower_bound(table.rows, end, height,
                         [](const PresetBitrate& candidate, std::int32_t wanted)
                         { return candidate.height < wanted; });
    // Taller than every row: the largest size the preset knows.
    return row != end ? row->bitrateKbps : end[-1].bitrateKbps;
}

const ParameterDescriptor* GetEffectParameterDescriptor(std::int32_t position) noexcept
{
    if (position < 0 || position >= ParamCount)
    {
        return nullptr;
    }
    return &ParameterTable[position];
}

bool IsModeEnabled(Plugin& plugin)
{
    return plugin.GetParameterValue(ParamPresets) == PresetManual;
}

bool IsBitrateControlEnabled(Plugin& plugin)
{
    switch (plugin.GetParameterValue(ParamPresets))
    {
    case PresetYouTubeStandard:
    case PresetYouTubeHigh:
    case PresetVimeo:
        return false;
    default:
        return plugin.GetParameterValue(ParamMode) == ModeAverageBitrate;
    }
}

bool IsRateFactorEnabled(Plugin& plugin)
{
    return plugin.GetParameterValue(ParamPresets) == PresetManual &&
           plugin.GetParameterValue(ParamMode) == ModeConstantRateFactor;
}

// ------------------------------------------------------- CompressionViewer

void CompressionViewer::OnCommand_UserChangedParameter()
{
    // Every change, even one the encoder ignores, starts the stored frames
    // afresh; done first so that a failure below cannot keep stale frames.
    DiscardRenderer();
    if (GetChangedParameterIndex() == ParamPresets)
    {
        const PresetTable table = GetPresetTable(GetParameterValue(ParamPresets));
        if (table.count > 0)
        {
            ApplyPresetBitrate(table.rows, table.count);
        }
    }
    UpdateParametersUi();
}

void CompressionViewer::ApplyPresetBitrate(const PresetBitrate* table, std::int32_t count)
{
    std::int32_t height = 0;
    {
        const ParameterCheckout layer = CheckoutInputLayer();
        height = ::GetParameterValue<PF_LayerDef*>(layer.def())->height;
    }
    const std::int32_t bitrate =
        FindPresetBitrate(PresetTable{table, count}, FullResolutionHeight(*GetInData(), height));
    SetParameterValue(ParamTargetBitrate, bitrate);
    SetParameterValue(ParamMode, ModeAverageBitrate);
}
