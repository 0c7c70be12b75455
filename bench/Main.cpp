// ruzirazu-bench: how much slower a compressed frame is to see through the
// effect than x264 is to encode it, and how fast a stored frame comes back.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "bench/Accuracy.h"
#include "bench/DirectEncoder.h"
#include "bench/EffectDriver.h"
#include "bench/MemoryLayerSource.h"
#include "bench/Options.h"
#include "bench/Statistics.h"
#include "bench/StreamDecoder.h"
#include "support/Paths.h"
#include "support/System.h"

namespace
{

using namespace Bench;

// The two cases of every size: the rate controls the user picks most.
const RateControl ConstantRateFactor{true, 23, 5000, 30};
const RateControl AverageBitrate{false, 23, 5000, 30};

struct CaseResult
{
    FrameSize size;
    RateControl control;
    // Milliseconds per frame, medians over the runs.
    double preview = 0, checkout = 0, convert = 0, encode = 0, store = 0, other = 0;
    double direct = 0;
    // Processor time per frame, every thread: what the preview costs beside
    // x264 however many cores there are.
    double previewCpu = 0, directCpu = 0;
    double ratio = 0; // median of the runs' preview / direct
    // What the render thread does per frame outside x264's encode call: the
    // part of the preview that more cores do not shorten.
    double Serial() const noexcept { return checkout + convert + store + other; }
    double scrub = 0;
    double decode = 0;
    double storeBytes = 0; // per frame
    double nv12Bytes = 0;  // per frame
    double kbps = 0;
    double sizeDifference = 0; // preview against direct, percent, the largest of the runs
    bool sameStream = true;
    std::vector<double> scrubSamples;
    std::uint64_t outputDigest = 0; // of the first run's scrub renders
    bool sameOutput = true;         // every run showed the first run's pictures
};

std::string CaseName(const CaseResult& result)
{
    return fmt::format("{}x{} {}", result.size.width, result.size.height,
                       result.control.constantRateFactor
                           ? fmt::format("crf {}", result.control.rateFactor)
                           : fmt::format("abr {} kbit/s", result.control.bitrateKbps));
}

void Progress(const std::string& text)
{
    std::cerr << "ruzirazu-bench: " << text << std::endl;
}

CaseResult RunCase(EffectDriver& effect, const PlanarClip& clip, const RateControl& control,
                   const Options& options, const std::string& tempFolder)
{
    CaseResult result;
    result.size = {clip.Width(), clip.Height()};
    result.control = control;
    result.control.segmentLength = options.segmentLength;
    const double frames = clip.FrameCount();

    std::vector<double> preview, checkout, convert, encode, store, other, direct, ratio, scrub,
        decode, storeBytes, previewCpu, directCpu;
    std::vector<SegmentStream> stream;
    std::uint64_t encodedBytes = 0;
    for (int run = 0; run < options.runs; ++run)
    {
        Progress(fmt::format("{}: run {} of {}", CaseName(result), run + 1, options.runs));
        PreviewRun previewRun;
        DirectEncode directRun;
        // Alternating which goes first cancels the drift of a shared machine.
        const auto throughEffect = [&] { previewRun = effect.Run(result.control); };
        const auto throughX264 = [&]
        { directRun = EncodeDirect(clip, effect.CurrentEncoderSettings(), tempFolder, run == 0); };
        if (run % 2 == 0)
        {
            throughEffect();
            throughX264();
        }
        else
        {
            throughX264();
            throughEffect();
        }
        if (run == 0)
        {
            stream = std::move(directRun.segments);
            result.outputDigest = previewRun.outputDigest;
        }
        result.sameOutput = result.sameOutput && previewRun.outputDigest == result.outputDigest;

        SegmentSummary sum;
        for (const SegmentSummary& segment : previewRun.summaries)
        {
            sum.encodedBytes += segment.encodedBytes;
            sum.checkout += segment.checkout;
            sum.convert += segment.convert;
            sum.encode += segment.encode;
            sum.store += segment.store;
        }
        const double previewPerFrame = previewRun.encodeMilliseconds / frames;
        preview.push_back(previewPerFrame);
        checkout.push_back(sum.checkout / frames);
        convert.push_back(sum.convert / frames);
        encode.push_back(sum.encode / frames);
        store.push_back(sum.store / frames);
        other.push_back(previewPerFrame -
                        (sum.checkout + sum.convert + sum.encode + sum.store) / frames);
        direct.push_back(directRun.milliseconds / frames);
        previewCpu.push_back(previewRun.encodeCpuMilliseconds / frames);
        directCpu.push_back(directRun.cpuMilliseconds / frames);
        ratio.push_back(directRun.milliseconds > 0
                            ? previewRun.encodeMilliseconds / directRun.milliseconds
                            : 0.0);
        scrub.push_back(previewRun.scrubMilliseconds / frames);
        storeBytes.push_back(static_cast<double>(previewRun.storeBytes) / frames);
        decode.push_back(DecodeSegments(stream) / frames);
        result.sameStream = result.sameStream && SimilarSize(sum.encodedBytes, directRun.bytes);
        const double difference =
            directRun.bytes > 0
                ? (static_cast<double>(sum.encodedBytes) - static_cast<double>(directRun.bytes)) *
                      100 / static_cast<double>(directRun.bytes)
                : 0.0;
        if (std::abs(difference) > std::abs(result.sizeDifference))
        {
            result.sizeDifference = difference;
        }
        encodedBytes = directRun.bytes;
    }

    result.preview = Median(preview);
    result.checkout = Median(checkout);
    result.convert = Median(convert);
    result.encode = Median(encode);
    result.store = Median(store);
    result.other = Median(other);
    result.direct = Median(direct);
    result.previewCpu = Median(previewCpu);
    result.directCpu = Median(directCpu);
    result.ratio = Median(ratio);
    result.scrub = Median(scrub);
    result.decode = Median(decode);
    result.storeBytes = Median(storeBytes);
    result.nv12Bytes = static_cast<double>(clip.Width()) * clip.Height() * 3 / 2;
    // Bits over the clip's duration at 30000 / 1001 frames per second.
    result.kbps = static_cast<double>(encodedBytes) * 8 / (frames * 1001.0 / 30.0);
    result.scrubSamples = scrub;
    return result;
}

void PrintTables(const std::vector<CaseResult>& results, const Options& options)
{
    fmt::print("\nRuzirazu benchmark: {} frames a case, segments of {}, 29.97 frames/s, median of "
               "{} run(s), {} logical processor(s)\n",
               options.frames, options.segmentLength, options.runs, Zovazaz::GetProcessorCount());

    fmt::print("\nSegment encodes, ms per frame: preview = check-out + convert + encode + store "
               "+ other; x264 alone on 4:2:0 input\n");
    fmt::print("{:<26} {:>8} {:>9} {:>8} {:>8} {:>7} {:>7} {:>7} {:>10} {:>6} {:>8} {:>9}\n",
               "case", "preview", "check-out", "convert", "encode", "store", "other", "serial",
               "x264 alone", "ratio", "kbit/s", "size diff");
    for (const CaseResult& r : results)
    {
        fmt::print("{:<26} {:>8.2f} {:>9.2f} {:>8.2f} {:>8.2f} {:>7.2f} {:>7.2f} {:>7.2f} "
                   "{:>10.2f} {:>6.2f} {:>8.0f} {:>+8.2f}%{}\n",
                   CaseName(r), r.preview, r.checkout, r.convert, r.encode, r.store, r.other,
                   r.Serial(), r.direct, r.ratio, r.kbps, r.sizeDifference,
                   r.sameStream ? "" : " DIFFERENT");
    }

    fmt::print("\nProcessor time of the segment encodes, ms per frame, all threads together\n");
    fmt::print("{:<26} {:>8} {:>10} {:>10}\n", "case", "preview", "x264 alone", "difference");
    for (const CaseResult& r : results)
    {
        fmt::print("{:<26} {:>8.2f} {:>10.2f} {:>10.2f}\n", CaseName(r), r.previewCpu, r.directCpu,
                   r.previewCpu - r.directCpu);
    }

    fmt::print("\nStored frames, per frame: scrub = a render of a stored frame (check-out, hash, "
               "decompress, convert); libavcodec decoding the same stream on one thread\n");
    fmt::print("{:<26} {:>8} {:>10} {:>12} {:>12} {:>10}  {}\n", "case", "scrub ms", "decode ms",
               "store bytes", "NV12 bytes", "store/NV12", "output digest");
    for (const CaseResult& r : results)
    {
        // The digest tells two builds' pictures apart; "varies" means the
        // effect showed other pictures for the same input and controls from
        // one run to the next, which is a fault.
        fmt::print("{:<26} {:>8.2f} {:>10.2f} {:>12.0f} {:>12.0f} {:>9.1f}%  {:016x}{}\n",
                   CaseName(r), r.scrub, r.decode, r.storeBytes, r.nv12Bytes,
                   r.nv12Bytes > 0 ? r.storeBytes * 100 / r.nv12Bytes : 0.0, r.outputDigest,
                   r.sameOutput ? "" : " varies");
    }
}

// The one-line verdict: the worst ratio of each mode over the sizes measured,
// and the scrub time at the first size (both modes' runs together).
void PrintVerdict(const std::vector<CaseResult>& results)
{
    double crf = 0;
    double abr = 0;
    std::vector<double> scrub;
    double serial = 0; // the worst case at the first size
    const FrameSize first = results.front().size;
    for (const CaseResult& r : results)
    {
        (r.control.constantRateFactor ? crf : abr) =
            std::max(r.control.constantRateFactor ? crf : abr, r.ratio);
        if (r.size == first)
        {
            scrub.insert(scrub.end(), r.scrubSamples.begin(), r.scrubSamples.end());
            serial = std::max(serial, r.Serial());
        }
    }
    fmt::print("\npreview/encoder ratio: crf {:.2f} abr {:.2f}; scrub {:.1f} ms/frame at {}x{}; "
               "serial {:.2f} ms/frame\n",
               crf, abr, Median(scrub), first.width, first.height, serial);
    std::fflush(stdout);
}

// A folder of its own for the run, removed at the end, so the effect's log and
// statistics files never land among the user's.
class ScratchFolder
{
  public:
    ScratchFolder()
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; path_.empty(); ++attempt)
        {
            const std::filesystem::path candidate =
                base / fmt::format("ruzirazu-bench-{}-{}", Zovazaz::GetCurrentProcessIdentifier(),
                                   attempt);
            // create_directory answers false for a folder that already exists.
            if (std::filesystem::create_directory(candidate))
            {
                path_ = candidate;
            }
        }
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const noexcept { return path_; }

  private:
    std::filesystem::path path_;
};

// Points XDG_DATA_HOME and TEMP into the scratch folder, each unless the user
// set it.
void UseScratchFolderUnlessSet(const ScratchFolder& scratch)
{
    const auto use = [&](const char* name, const char* folder)
    {
        if (Zovazaz::GetEnvironmentText(name).empty())
        {
            const std::filesystem::path path = scratch.Path() / folder;
            std::filesystem::create_directories(path);
            Zovazaz::SetEnvironmentText(name, path.string());
        }
    };
    use("XDG_DATA_HOME", "data");
    use("TEMP", "tmp");
}

std::string DefaultModulePath()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Ruzirazu.so").string();
}

int Run(const Options& options)
{
    ScratchFolder scratch;
    UseScratchFolderUnlessSet(scratch);
    EffectDriver effect(options.modulePath.empty() ? DefaultModulePath() : options.modulePath);

    std::vector<CaseResult> results;
    std::optional<Accuracy> accuracy; // at the first size
    for (const FrameSize& size : options.sizes)
    {
        Progress(fmt::format("{}x{}: rendering {} frames into memory", size.width, size.height,
                             options.frames));
        auto layer = std::make_shared<MemoryLayerSource>(size.width, size.height, options.frames);
        const PlanarClip clip(*layer);
        effect.SetLayer(layer);
        for (const RateControl& control : {ConstantRateFactor, AverageBitrate})
        {
            results.push_back(RunCase(effect, clip, control, options, Zovazaz::GetTempDirectory()));
        }
        if (!accuracy)
        {
            Progress(fmt::format("{}x{}: accuracy", size.width, size.height));
            RateControl control = ConstantRateFactor;
            control.segmentLength = options.segmentLength;
            accuracy = MeasureAccuracy(effect, layer, clip, control, Zovazaz::GetTempDirectory());
        }
    }

    PrintTables(results, options);
    fmt::print("\n{}\n", AccuracyLine(*accuracy, ConstantRateFactor));
    PrintVerdict(results);
    const bool sameStreams = std::all_of(results.begin(), results.end(),
                                         [](const CaseResult& r) { return r.sameStream; });
    if (!sameStreams)
    {
        std::cerr << "ruzirazu-bench: the effect and the direct encode produced streams whose "
                     "sizes differ by more than "
                  << SizeTolerance * 100 << "%, so their times compare unlike work\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    try
    {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    }
    catch (const UsageError& error)
    {
        std::cerr << "ruzirazu-bench: " << error.what() << '\n' << UsageText;
        return 2;
    }
    if (options.help)
    {
        std::cout << UsageText;
        return 0;
    }
    try
    {
        return Run(options);
    }
    catch (const std::exception& error)
    {
        std::cerr << "ruzirazu-bench: " << error.what() << '\n';
        return 1;
    }
}
