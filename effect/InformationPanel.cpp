#include "effect/InformationPanel.h"

#include <charconv>
#include <string_view>

#include "effect/CompressionViewer.h"
#include "effect/Logo.h"
#include "effect/Strings.h"
#include "support/StringsResource.h"

namespace
{

constexpr std::uint32_t LargestUnit = 3;
constexpr std::string_view UnitNames[LargestUnit + 1] = {"", "K", "M", "G"};

// The panel's texts are ASCII; widening them byte by byte is exact.
void Append(Zovazaz::WString& out, std::string_view text)
{
    out.append(text.begin(), text.end());
}

template <class Number> void AppendNumber(Zovazaz::WString& out, Number value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    Append(out, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

Zovazaz::WString UnknownText()
{
    const char16_t* unknown = Zovazaz::StringsResource::GetInstance().GetWideString(StringUnknown);
    return unknown != nullptr ? unknown : u"Unknown";
}

// Decoded at the first draw of the About area and kept until the module is
// unloaded; its drawing image goes back to the host with the instance whose
// drawing suites made it (ReleaseModuleLogo).
Logo& GetModuleLogo()
{
    static Logo logo(std::span<const std::uint8_t>(LogoPng, LogoPngSize));
    return logo;
}

} // namespace

void ReleaseModuleLogo() noexcept
{
    GetModuleLogo().ReleaseImage();
}

Zovazaz::WString FormatSize(std::uint64_t value, std::uint32_t unit)
{
    std::uint64_t digit = 0;
    while (unit < LargestUnit && value >= 1024)
    {
        digit = (value % 1024) * 10 / 1024;
        value /= 1024;
        ++unit;
    }
    Zovazaz::WString text;
    AppendNumber(text, value);
    if (digit != 0)
    {
        Append(text, ".");
        AppendNumber(text, digit);
    }
    Append(text, " ");
    // A caller's unit past the largest has no name; the number stands alone.
    if (unit <= LargestUnit)
    {
        Append(text, UnitNames[unit]);
    }
    return text;
}

Zovazaz::WString GetPictureTypeName(std::int32_t type)
{
    switch (type)
    {
    case 1:
        return u"IDR";
    case 2:
        return u"I";
    case 3:
        return u"P";
    case 4:
        return u"BRef";
    case 5:
        return u"B";
    case 6:
        return u"Key";
    default:
        return UnknownText();
    }
}

Zovazaz::WString FormatInformation(const Renderer* renderer, std::int64_t timeFrame)
{
    if (renderer == nullptr)
    {
        return u"N/A";
    }
    // The frame the output shows for this time, past the layer's end included.
    const std::int32_t frameIndex = renderer->GetShownFrame(timeFrame);
    const EncodeSettings& settings = renderer->GetSettings();
    const FrameRecord* record = renderer->GetFrameRecord(frameIndex);
    // The renderer never keeps a length below 1; the guard keeps a
    // division by zero out of a draw whatever it holds.
    const std::int32_t segment =
        settings.segmentLength > 0 ? frameIndex / settings.segmentLength : 0;

    Zovazaz::WString text;
    Append(text, "Dimensions: ");
    AppendNumber(text, renderer->GetWidth());
    Append(text, " x ");
    AppendNumber(text, renderer->GetHeight());
    Append(text, "\nFrame ");
    AppendNumber(text, frameIndex);
    Append(text, " Segment ");
    AppendNumber(text, segment);
    Append(text, "  Type: ");
    text += record != nullptr ? GetPictureTypeName(record->pictureType) : UnknownText();
    Append(text, "  Encoded Size: ");
    text += FormatSize(record != nullptr ? record->encodedSize : 0);
    Append(text, "\nTotal Encoded Size: ");
    text += FormatSize(renderer->GetTotalEncodedSize());
    Append(text, "\nAverage Bitrate: ");
    AppendNumber(text, renderer->GetAverageBitrate());
    if (settings.averageBitrate)
    {
        Append(text, "   Target: ");
        AppendNumber(text, settings.targetBitrateKbps);
    }
    Append(text, "\nMemory Usage: ");
    text += FormatSize(renderer->GetMemoryUsage());
    Append(text, "\n");
    return text;
}

Zovazaz::WString& CompressionViewer::GetParameterText(Zovazaz::WString& out, std::int32_t position)
{
    switch (position)
    {
    case ParamAbout:
        out.clear();
        break;
    case ParamInformation:
    {
        // The frame under the current-time indicator. A host that gives no
        // time step (as a still might) shows frame 0 rather than dividing by
        // zero; the division is made wide because the most negative time
        // over a step of -1 has no 32-bit quotient.
        const PF_InData* in = GetInData();
        const std::int64_t frameIndex = in != nullptr && in->time_step != 0
                                            ? std::int64_t{in->current_time} / in->time_step
                                            : 0;
        out = FormatInformation(GetRenderer(), frameIndex);
        break;
    }
    default:
        out = UnknownText();
        break;
    }
    return out;
}

void CompressionViewer::DrawLogo(Plugin& plugin, DrawContext& context)
{
    const PF_EventExtra* event = plugin.GetEventExtra();
    if (event == nullptr)
    {
        return;
    }
    const DrawContext::Image& image = GetModuleLogo().GetImage(
        [&context](const ImageBuffer& pixels)
        {
            return context.NewImageFromBuffer(
                static_cast<int>(pixels.GetWidth()), static_cast<int>(pixels.GetHeight()),
                static_cast<int>(pixels.GetStride()), kDRAWBOT_PixelLayout_32BGRA_Straight,
                pixels.GetData());
        });
    if (!image)
    {
        return;
    }
    // Centred on the area; an area narrower than the logo starts left of its
    // own edge, and the host clips what falls outside.
    const PF_Rect& frame = event->effect_win.current_frame;
    const std::int64_t spare = static_cast<std::int64_t>(frame.right) - frame.left -
                               GetModuleLogo().GetPixels().GetWidth();
    const std::int64_t offset = spare >= 0 ? spare / 2 : -((-spare + 1) / 2);
    context.DrawImage(image, static_cast<float>(frame.left + offset), static_cast<float>(frame.top),
                      1.0f);
}
