#include "cli/SizesChart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace CommandLine
{

namespace
{

constexpr double ChartWidth = 960;
constexpr double ChartHeight = 400;
constexpr double Left = 70;
constexpr double Right = 20;
constexpr double Top = 56;
constexpr double Bottom = 44;

std::string Escape(const std::string& text)
{
    std::string out;
    for (const char c : text)
    {
        switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string Bytes(double bytes)
{
    char text[32];
    if (bytes >= 1024.0 * 1024.0)
    {
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    }
    else if (bytes >= 1024.0)
    {
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    }
    else
    {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    }
    return text;
}

// A round step for about five grid lines up to `top`.
double GridStep(double top)
{
    const double raw = top / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0})
    {
        if (raw <= factor * magnitude)
        {
            return factor * magnitude;
        }
    }
    return 10.0 * magnitude;
}

// The picture types in the order a reader thinks of them.
int TypeRank(const std::string& type)
{
    static const char* const order[] = {"IDR", "I", "Key", "P", "BRef", "B"};
    for (int i = 0; i < 6; ++i)
    {
        if (type == order[i])
        {
            return i;
        }
    }
    return 6;
}

} // namespace

const char* PictureTypeColour(const std::string& pictureType)
{
    if (pictureType == "IDR")
    {
        return "#c0392b";
    }
    if (pictureType == "I" || pictureType == "Key")
    {
        return "#e67e22";
    }
    if (pictureType == "P")
    {
        return "#2e86c1";
    }
    if (pictureType == "BRef")
    {
        return "#1e8449";
    }
    if (pictureType == "B")
    {
        return "#58d68d";
    }
    return "#95a5a6";
}

std::string SizesChart(const std::vector<ChartFrame>& frames, const ChartSettings& settings)
{
    const double plotWidth = ChartWidth - Left - Right;
    const double plotHeight = ChartHeight - Top - Bottom;
    double top = 1.0;
    for (const ChartFrame& frame : frames)
    {
        top = std::max(top, static_cast<double>(frame.bytes));
    }
    if (settings.targetBytesPerFrame)
    {
        top = std::max(top, *settings.targetBytesPerFrame);
    }
    // Round steps in the unit the labels show, so they read 5 KiB, 10 KiB.
    const double unit = top >= 1024.0 * 1024.0 ? 1024.0 * 1024.0 : top >= 1024.0 ? 1024.0 : 1.0;
    const double step = GridStep(top * 1.08 / unit) * unit;
    top = std::ceil(top * 1.08 / step) * step;
    const auto yOf = [&](double bytes) { return Top + plotHeight * (1.0 - bytes / top); };
    const double slot = frames.empty() ? plotWidth : plotWidth / static_cast<double>(frames.size());
    const double gap = slot > 4 ? std::min(slot * 0.15, 3.0) : 0.0;

    std::string svg;
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(ChartWidth) +
           "\" height=\"" + Number(ChartHeight) + "\" viewBox=\"0 0 " + Number(ChartWidth) + " " +
           Number(ChartHeight) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\" " +
           "font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "<text x=\"" + Number(Left) + "\" y=\"22\" font-size=\"15\" font-weight=\"bold\">" +
           Escape(settings.title) + "</text>\n";

    // The colour key sits on the title's line, so no reader has to look for it.
    std::set<std::string> typesSeen;
    for (const ChartFrame& frame : frames)
    {
        typesSeen.insert(frame.pictureType);
    }
    std::vector<std::string> types(typesSeen.begin(), typesSeen.end());
    std::sort(types.begin(), types.end(),
              [](const std::string& a, const std::string& b) { return TypeRank(a) < TypeRank(b); });
    double keyX = Left;
    for (const std::string& type : types)
    {
        svg += "<rect class=\"key\" x=\"" + Number(keyX) +
               "\" y=\"32\" width=\"12\" height=\"12\" " + "fill=\"" + PictureTypeColour(type) +
               "\"/>";
        svg +=
            "<text x=\"" + Number(keyX + 16) + "\" y=\"43\">" + Escape(type) + " frames</text>\n";
        keyX += 30 + 7.5 * static_cast<double>(type.size() + 7);
    }

    // Grid and axis labels.
    for (double value = 0; value <= top + step / 2; value += step)
    {
        const double y = yOf(value);
        svg += "<line x1=\"" + Number(Left) + "\" y1=\"" + Number(y) + "\" x2=\"" +
               Number(Left + plotWidth) + "\" y2=\"" + Number(y) +
               "\" stroke=\"#e5e5e5\" stroke-width=\"1\"/>\n";
        svg += "<text x=\"" + Number(Left - 6) + "\" y=\"" + Number(y + 4) +
               "\" text-anchor=\"end\" fill=\"#555555\">" + Bytes(value) + "</text>\n";
    }
    svg += "<text x=\"" + Number(Left + plotWidth / 2) + "\" y=\"" + Number(ChartHeight - 8) +
           "\" text-anchor=\"middle\" fill=\"#555555\">frame</text>\n";

    // Bars, with the frame's numbers as a tooltip.
    const bool typeOnBars = slot >= 22;
    const std::size_t labelEvery =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(40.0 / std::max(slot, 1e-3))));
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        const ChartFrame& frame = frames[i];
        const double x = Left + static_cast<double>(i) * slot + gap / 2;
        const double y = yOf(static_cast<double>(frame.bytes));
        svg += "<rect class=\"bar\" data-frame=\"" + std::to_string(frame.frame) +
               "\" data-type=\"" + Escape(frame.pictureType) + "\" x=\"" + Number(x) + "\" y=\"" +
               Number(y) + "\" width=\"" + Number(std::max(slot - gap, 0.5)) + "\" height=\"" +
               Number(Top + plotHeight - y) + "\" fill=\"" + PictureTypeColour(frame.pictureType) +
               "\"><title>frame " + std::to_string(frame.frame) + ", segment " +
               std::to_string(frame.segment) + ", " + Escape(frame.pictureType) + ", " +
               std::to_string(frame.bytes) + " bytes" +
               (frame.bytesMax > frame.bytes ? " (up to " + std::to_string(frame.bytesMax) + ")"
                                             : std::string()) +
               "</title></rect>\n";
        if (typeOnBars)
        {
            svg += "<text x=\"" + Number(x + (slot - gap) / 2) + "\" y=\"" + Number(y - 3) +
                   "\" text-anchor=\"middle\" font-size=\"10\">" + Escape(frame.pictureType) +
                   "</text>\n";
        }
        if (i % labelEvery == 0)
        {
            svg += "<text x=\"" + Number(x + (slot - gap) / 2) + "\" y=\"" +
                   Number(Top + plotHeight + 16) + "\" text-anchor=\"middle\" fill=\"#555555\">" +
                   std::to_string(frame.frame) + "</text>\n";
        }
    }

    // Segment boundaries: where a frame's segment differs from the one before.
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        if (i == 0 || frames[i].segment != frames[i - 1].segment)
        {
            const double x = Left + static_cast<double>(i) * slot;
            svg += "<line class=\"segment\" x1=\"" + Number(x) + "\" y1=\"" + Number(Top) +
                   "\" x2=\"" + Number(x) + "\" y2=\"" + Number(Top + plotHeight) +
                   "\" stroke=\"#333333\" stroke-width=\"1\" stroke-dasharray=\"4 3\"/>\n";
            svg += "<text x=\"" + Number(x + 3) + "\" y=\"" + Number(Top + 11) +
                   "\" fill=\"#333333\" font-size=\"10\">segment " +
                   std::to_string(frames[i].segment) + "</text>\n";
        }
    }

    if (settings.targetBytesPerFrame)
    {
        const double y = yOf(*settings.targetBytesPerFrame);
        svg += "<line class=\"target\" x1=\"" + Number(Left) + "\" y1=\"" + Number(y) + "\" x2=\"" +
               Number(Left + plotWidth) + "\" y2=\"" + Number(y) +
               "\" stroke=\"#8e44ad\" stroke-width=\"2\"/>\n";
        std::string label = "target " + Bytes(*settings.targetBytesPerFrame) + " per frame";
        if (settings.targetKbps)
        {
            label += " (" + std::to_string(*settings.targetKbps) + " kbit/s)";
        }
        svg += "<text x=\"" + Number(Left + plotWidth - 4) + "\" y=\"" + Number(y - 5) +
               "\" text-anchor=\"end\" fill=\"#8e44ad\" font-weight=\"bold\">" + Escape(label) +
               "</text>\n";
    }
    svg += "<line x1=\"" + Number(Left) + "\" y1=\"" + Number(Top + plotHeight) + "\" x2=\"" +
           Number(Left + plotWidth) + "\" y2=\"" + Number(Top + plotHeight) +
           "\" stroke=\"#333333\"/>\n";
    svg += "</svg>\n";
    return svg;
}

} // namespace CommandLine
