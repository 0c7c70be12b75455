// The preview's outputs made from known rows and pictures: PSNR, the CSV
// and JSON reports and the sizes chart.
#include <cmath>
#include <regex>

#include "cli/Json.h"
#include "cli/OutputFiles.h"
#include "cli/Quality.h"
#include "cli/Reports.h"
#include "cli/SizesChart.h"
#include "tests/cli/CliTest.h"
#include "tests/host/VideoFiles.h"

using namespace CommandLine;
using CliTest::Lines;
using CliTest::Scratch;
using EffectHost::World;

namespace
{

// How often `word` (no regular expression characters) occurs in `text`.
std::ptrdiff_t Count(const std::string& text, const std::string& word)
{
    const std::regex pattern(word);
    return std::distance(std::sregex_iterator(text.begin(), text.end(), pattern),
                         std::sregex_iterator());
}

FrameRow Row(int frame, int segment, const char* type, const char* size, double mse)
{
    return FrameRow{frame, segment, type, size, ParseSizeText(size), FrameQuality{mse, mse}};
}

Report SampleReport()
{
    Report report;
    report.effectName = "Ruzirazu";
    report.matchName = "ZZ Ruzirazu";
    report.timeScale = 30000;
    report.timeStep = 1001;
    report.input = DescribeLayer("video file", "clip, \"take 2\".mp4", 160, 90, 30000, 1001, 4);
    report.settings.push_back(ControlValue{11, "Segment Length", "number", 2, "2"});
    report.rows = {Row(0, 0, "IDR", "21.2 K", 4.0), Row(1, 0, "P", "812 ", 16.0),
                   Row(2, 1, "IDR", "20 K", 0.0), Row(3, 1, "B", "1.1 K", 64.0)};
    report.last.emplace();
    report.last->averageKbps = 2400;
    report.last->targetKbps = 2500;
    report.last->totalText = "43.1 K";
    return report;
}

} // namespace

TEST(Quality, IdenticalPicturesHaveInfinitePsnrAKnownErrorItsFigureAndAnotherSizeIsScaled)
{
    World base = VideoFiles::TestPicture(3, 40, 30);
    const FrameQuality same = MeasureQuality(base, base);
    EXPECT_TRUE(std::isinf(same.PsnrLuma()) && std::isinf(same.PsnrOverall()));
    // Every red sample 10 higher: overall MSE 100 / 3, luma error 2.99.
    World brighter = base;
    for (int i = 0; i < 40 * 30; ++i)
    {
        A_u_char& red = base.At(i % 40, i / 40).red;
        red = std::min<A_u_char>(red, 245);
        brighter.At(i % 40, i / 40).red = static_cast<A_u_char>(red + 10);
    }
    const FrameQuality shifted = MeasureQuality(base, brighter);
    EXPECT_NEAR(shifted.mseOverall, 100.0 / 3.0, 1e-9);
    EXPECT_NEAR(shifted.mseLuma, 2.99 * 2.99, 1e-9);
    EXPECT_NEAR(shifted.PsnrOverall(), 10 * std::log10(255.0 * 255.0 * 3 / 100), 1e-9);

    World large(64, 32);
    large.Fill(PF_Pixel{255, 200, 100, 50});
    World small(16, 8);
    small.Fill(PF_Pixel{255, 200, 100, 50});
    EXPECT_TRUE(std::isinf(MeasureQuality(large, small).PsnrOverall()));
    // Half black, half white columns average to grey.
    for (int i = 0; i < 64 * 32; ++i)
    {
        const A_u_char level = i % 2 ? 255 : 0;
        large.At(i % 64, i / 64) = PF_Pixel{255, level, level, level};
    }
    EXPECT_EQ(ScaleByArea(large, 16, 8).At(5, 5).red, 128);
}

TEST(Reports, CsvAndJsonHoldEveryRowWithTheShownSizeBoundedAndTheSummary)
{
    Report report = SampleReport();
    const std::vector<std::string> lines = Lines(ReportCsv(report));
    ASSERT_EQ(lines.size(), report.rows.size() + 1);
    EXPECT_EQ(lines[0], "frame,segment,picture_type,encoded_bytes,encoded_bytes_min,"
                        "encoded_bytes_max,encoded_size_shown,psnr_y,psnr");
    // 812 bytes are shown exactly; 10 log10(255^2 / 16) dB.
    EXPECT_EQ(lines[2], "1,0,P,812,812,812,812 ,36.090,36.090");
    const std::vector<std::string> first = Lines(lines[1], ',');
    ASSERT_EQ(first.size(), 9u);
    EXPECT_LE(std::stoull(first[4]), std::min(std::stoull(first[3]), 21733ull));
    EXPECT_GE(std::stoull(first[5]), std::max(std::stoull(first[3]), 21733ull));
    EXPECT_EQ(Lines(lines[3], ',')[7], "inf");

    // Byte counts past 2^53 come back exact, not rounded through a double.
    report.rows[0].size = SizeRange{9007199254740993u, 9007199254740995u};
    const Json json = Json::parse(JsonText(ReportJson(report)));
    EXPECT_EQ(std::tuple(json.at("input").at("name"), json.at("input").at("frameRate"),
                         json.at("settings").at(0).at("hostId")),
              std::tuple("clip, \"take 2\".mp4", "30000/1001", 11));
    const Json& summary = json.at("summary");
    // The worst frame (minFrame) is the one with the largest error.
    EXPECT_EQ(std::tuple(summary.at("frames"), summary.at("segments"),
                         summary.at("pictureTypes").at("IDR"), summary.at("psnr").at("minFrame"),
                         summary.at("effect").at("targetBitrateKbps")),
              std::tuple(4, 2, 2, 3, 2500));
    EXPECT_NEAR(summary.at("psnr").at("min").get<double>(), PsnrOf(64.0), 1e-3);
    const Json& frames = json.at("frames");
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_TRUE(frames[2].at("psnr").is_null());
    EXPECT_EQ(frames[0].at("encodedBytesMin").get<std::uint64_t>(), 9007199254740993u);
    EXPECT_EQ(frames[0].at("encodedBytes").get<std::uint64_t>(), 9007199254740994u);
    std::uint64_t sum = 0;
    for (const Json& frame : frames)
    {
        sum += frame.at("encodedBytes").get<std::uint64_t>();
    }
    EXPECT_EQ(summary.at("encodedBytes").at("estimate").get<std::uint64_t>(), sum);
}

TEST(OutputFiles, AFailedWriteKeepsTheOldFileAndLeavesNothingElse)
{
    const auto folder = Scratch();
    const auto path = folder / "report.csv";
    WriteTextFile(path, "old\n");
    EXPECT_THROW(WriteAtomically(path,
                                 [](const std::filesystem::path& temporary)
                                 {
                                     WriteTextFile(temporary, "half");
                                     throw std::runtime_error("disk full");
                                 }),
                 std::runtime_error);
    EXPECT_EQ(ReadTextFile(path), "old\n");
    EXPECT_EQ(CliTest::Names(folder), std::set<std::string>{"report.csv"});
    EXPECT_THROW(WriteTextFile(folder / "missing-folder" / "x.csv", "x"), std::runtime_error);
}

TEST(SizesChart, OneBarPerFrameAsTallAsItsBytesColouredByTypeWithSegmentsAndTarget)
{
    Report report = SampleReport();
    std::string svg = ReportChart(report);
    EXPECT_EQ(svg.rfind("<svg", 0), 0u);
    EXPECT_EQ(Count(svg, "class=\"bar\""), 4);
    EXPECT_EQ(Count(svg, "class=\"segment\""), 2);
    EXPECT_EQ(Count(svg, "class=\"target\""), 1);
    EXPECT_NE(svg.find("2500 kbit/s"), std::string::npos);
    // Each bar in its type's colour, and the key names each type once.
    for (const char* type : {"IDR", "P", "B"})
    {
        const std::size_t at = svg.find(std::string("data-type=\"") + type + "\"");
        ASSERT_NE(at, std::string::npos) << type;
        EXPECT_EQ(svg.substr(svg.find("fill=\"", at) + 6, 7), PictureTypeColour(type)) << type;
        EXPECT_EQ(Count(svg, std::string(">") + type + " frames<"), 1) << type;
    }
    // Quotes in the input's name cannot break the markup.
    EXPECT_NE(svg.find("clip, &quot;take 2&quot;.mp4"), std::string::npos);

    // No target in rate factor mode.
    report.last->targetKbps.reset();
    svg = ReportChart(report);
    EXPECT_EQ(Count(svg, "class=\"target\""), 0);
    const auto heightOf = [&](int frame)
    {
        const std::size_t at = svg.find("data-frame=\"" + std::to_string(frame) + "\"");
        return std::stod(svg.substr(svg.find("height=\"", at) + 8));
    };
    const double tallest = ParseSizeText("21.2 K").Estimate();
    EXPECT_NEAR(heightOf(1) / heightOf(0), 812.0 / tallest, 1e-3);
    EXPECT_NEAR(heightOf(2) / heightOf(0), ParseSizeText("20 K").Estimate() / tallest, 1e-3);
    EXPECT_NEAR(heightOf(3) / heightOf(0), ParseSizeText("1.1 K").Estimate() / tallest, 1e-3);
}
