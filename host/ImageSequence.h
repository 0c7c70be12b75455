#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "host/LayerSource.h"

namespace EffectHost
{

// A layer made of numbered PNG files, named by a printf pattern with one
// integer conversion ("shots/f_%04d.png", "%d.png"; "%%" is a literal per
// cent sign). The sequence starts at the lowest number present and must run
// without gaps; frame i of the layer is the file numbered lowest + i. Every
// image must have the same size; the images are read as PngReader reads
// them, into 8-bit ARGB, opaque where a file has no alpha.
class ImageSequenceSource final : public LayerSource
{
  public:
    // Enough for a segment or two of HD frames: the effect checks every
    // frame out once per pass and again for its reuse test, a segment apart.
    static constexpr std::size_t DefaultCacheBytes = std::size_t{256} << 20;

    // Finds the files and reads every header. Throws std::invalid_argument
    // for a pattern without exactly one integer conversion (or with one in
    // its folder part) and when no file matches; std::runtime_error naming
    // the file for a gap in the numbering, an unreadable image or a size
    // that differs from the first image's.
    explicit ImageSequenceSource(const std::string& pattern,
                                 std::size_t cacheBytes = DefaultCacheBytes);
    ~ImageSequenceSource() override;
    ImageSequenceSource(const ImageSequenceSource&) = delete;
    ImageSequenceSource& operator=(const ImageSequenceSource&) = delete;

    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }
    A_long FrameCount() const noexcept { return static_cast<A_long>(paths_.size()); }
    long FirstNumber() const noexcept { return first_; }
    const std::string& FramePath(A_long index) const { return paths_.at(index); }

    // A time outside the sequence gives its nearest frame. Throws
    // std::runtime_error when the file can no longer be read or has changed
    // size since the sequence was opened.
    void FrameAt(A_long time, A_long timeStep, A_u_long timeScale, World& into) const override;
    // The decoded frame itself, lent as it is (the cache never changes it).
    std::shared_ptr<const World> HeldFrame(A_long time, A_long timeStep,
                                           A_u_long timeScale) const override;

    // The file name that the pattern gives for a number. Throws
    // std::invalid_argument for a malformed pattern.
    static std::string FormatPattern(const std::string& pattern, long number);

  private:
    struct Cache;

    std::shared_ptr<const World> Decoded(A_long time, A_long timeStep) const;

    std::vector<std::string> paths_;
    long first_ = 0;
    A_long width_ = 0;
    A_long height_ = 0;
    std::unique_ptr<Cache> cache_;
};

} // namespace EffectHost
