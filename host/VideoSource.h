#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/LayerSource.h"
#include "host/World.h"

namespace EffectHost
{

// A video file that cannot be used as a layer: missing, unreadable, empty,
// without a video stream, or in a format libavformat/libavcodec cannot read.
// The text names the file and says what is wrong.
class VideoSourceError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// What the file holds, as a report describes the input.
struct VideoDescription
{
    std::string path;
    std::string container; // libavformat's long name ("QuickTime / MOV")
    std::string codec;     // libavcodec's long name ("MPEG-4 part 2")
    std::string pixelFormat;
    A_long width = 0; // the stream's picture size, before any rotation
    A_long height = 0;
    // How players turn the pictures for display, from the stream's display
    // matrix: "" when upright, else e.g. "rotated 90° clockwise" or
    // "mirrored left to right". The layer has the turned size.
    std::string orientation;
    // The rate as time scale / time step in lowest terms (30000 / 1001 for
    // 29.97). A variable or unknown rate uses the stream's average.
    A_u_long timeScale = 0;
    A_long timeStep = 0;
    bool averageRate = false; // the container declared no constant rate
    A_long frameCount = 0;
    bool frameCountEstimated = false; // from the duration, the container had no count
    double durationSeconds = 0.0;
};

// How the decoder was used, so tests and the report can tell whether frames
// came from the cache, from decoding forward or after a seek.
struct VideoDecodeCounters
{
    std::uint64_t seeks = 0;
    std::uint64_t decodedPictures = 0;
    std::uint64_t cacheHits = 0;
    std::uint64_t conversions = 0;
};

// The frames of a video file as a layer, read with libavformat and
// libavcodec and converted to 8-bit ARGB at the layer size with libswscale.
//
// Frame n is the picture the file shows at presentation time n / rate after
// its first picture, so the effect's checkout at time n * timeStep is exactly
// the file's frame n. Checkouts that move forward decode forward; one that
// goes back (or far ahead) seeks to the key frame at or before it and decodes
// from there.
//
// The cache holds converted frames (at the layer size, ready to copy) of the
// most recently used indices within a byte budget. The effect reads a segment
// once per pass, then checks out each frame again to test whether its stored
// picture is current, and the command reads the same frame once more for its
// comparisons: all within one segment's span. A cache of a segment's frames
// turns the second pass and those re-reads into copies instead of a seek and
// a re-decode of the segment.
//
// A decoding failure in the middle of the file throws VideoSourceError from
// FrameAt; the host's checkout turns it into an error code for the effect and
// keeps the reason for its user.
class VideoSource final : public LayerSource
{
  public:
    static constexpr std::uint64_t DefaultCacheBytes = 256ull << 20;

    // Opens the file and decodes its first picture. A layer size of 0 x 0
    // takes the stream's picture size. Throws VideoSourceError.
    explicit VideoSource(const std::string& path, A_long layerWidth = 0, A_long layerHeight = 0,
                         std::uint64_t cacheBytes = DefaultCacheBytes);
    ~VideoSource() override;
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }
    // Throws VideoSourceError when the file cannot be decoded there.
    void FrameAt(A_long time, A_long timeStep, A_u_long timeScale, World& into) const override;
    // The cached frame itself, lent as it is.
    std::shared_ptr<const World> HeldFrame(A_long time, A_long timeStep,
                                           A_u_long timeScale) const override;

    // Frame `index` (clamped to the file's frames) at the layer size into
    // `into`, which must have that size. Throws VideoSourceError when the
    // file cannot be decoded there.
    void Frame(A_long index, World& into) const;

    const VideoDescription& Description() const noexcept { return description_; }
    // The frames decoded so far that libavcodec reported damage in (a
    // refused packet before them, a concealed error, a corrupt picture),
    // ascending. It still gave a picture for each: what it could recover.
    std::vector<A_long> DamagedFrames() const;
    VideoDecodeCounters Counters() const noexcept;

    // FFmpeg's libraries print their own remarks on the console, which only
    // repeat what a VideoSourceError says; a command that reports failures
    // in one line of its own calls this first. Fatal messages still show.
    static void QuietLibraryMessages() noexcept;

  private:
    struct Decoder;

    A_long width_ = 0;
    A_long height_ = 0;
    VideoDescription description_;
    std::unique_ptr<Decoder> decoder_; // mutable state behind a const interface
};

} // namespace EffectHost
