#pragma once

// The renderer on its own: a layer painted in memory, memory blocks from the
// heap, progress and abort kept for the test to look at. No module, no host.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "codecs/LibraryCache.h"
#include "framework/Errors.h"
#include "host/World.h"
#include "renderer/Renderer.h"
#include "support/Log.h"

namespace RendererTests
{

// An 8-bit ARGB picture with padding after each row, as a host lays worlds
// out.
using Picture = EffectHost::World;

// Sets every pixel to colour(x, y).
template <typename Colour> void Paint(Picture& into, Colour colour)
{
    for (std::int32_t y = 0; y < into.Height(); ++y)
    {
        for (std::int32_t x = 0; x < into.Width(); ++x)
        {
            into.At(x, y) = colour(x, y);
        }
    }
}

inline PixelView View(Picture& picture) noexcept
{
    return PixelView{reinterpret_cast<std::uint8_t*>(picture.Def().data), picture.Width(),
                     picture.Height(), picture.RowBytes()};
}

using Painter = std::function<void(std::int32_t frame, Picture& into)>;

// The layer and the rest of what a host lends the renderer, in memory. The
// blocks it hands out count themselves here, so they must go first.
class MemorySource final : public FrameSource
{
  public:
    MemorySource(std::int32_t width, std::int32_t height, std::int32_t timeStep, Painter paint)
        : painter(std::move(paint)), width_(width), height_(height), timeStep_(timeStep)
    {
    }

    LentFrame Checkout(std::int32_t time) override
    {
        const std::int32_t frame = time / timeStep_;
        checkedOut.push_back(frame);
        createdAtCheckout.push_back(created);
        auto picture = std::make_shared<Picture>(width_, height_);
        painter(frame, *picture);
        PixelView view = View(*picture);
        view.width = frame == narrowFrame ? 0 : view.width;
        return LentFrame{view, picture};
    }

    void ReportProgress(std::int32_t done, std::int32_t total) override
    {
        progress.emplace_back(done, total);
        abort = abort || done == abortAt;
        CheckAbort();
    }

    void CheckAbort() override
    {
        if (abort)
        {
            throw static_cast<std::int32_t>(PF_Interrupt_CANCEL);
        }
    }

    std::unique_ptr<MemoryBlock> Allocate(std::uint64_t size) override
    {
        return failAllocations ? nullptr : std::make_unique<HeapBlock>(size, *this);
    }

    void SegmentEncoded() override { ++segmentsEncoded; }

    Painter painter;
    bool abort = false;
    std::int32_t abortAt = -1; // progress count at which the user cancels
    bool failAllocations = false;
    std::int32_t narrowFrame = -1; // lent as a world of no width

    std::vector<std::int32_t> checkedOut;
    std::vector<int> createdAtCheckout; // blocks made before each checkout
    std::vector<std::pair<std::int32_t, std::int32_t>> progress;
    int segmentsEncoded = 0;
    int created = 0; // blocks handed out
    int locked = 0;  // blocks locked now

  private:
    class HeapBlock final : public MemoryBlock
    {
      public:
        HeapBlock(std::uint64_t size, MemorySource& source) : bytes_(size), source_(source)
        {
            ++source_.created;
        }
        std::uint64_t Size() const noexcept override { return bytes_.size(); }
        std::shared_ptr<void> Lock() override
        {
            ++source_.locked;
            return {bytes_.data(), [&source = source_](void*) { --source.locked; }};
        }

      private:
        std::vector<std::uint8_t> bytes_;
        MemorySource& source_;
    };

    std::int32_t width_;
    std::int32_t height_;
    std::int32_t timeStep_;
};

// A picture with smooth gradients and fine detail that moves a little from
// frame to frame, as a compressed preview would show it.
inline void PaintPattern(std::int32_t frame, Picture& into)
{
    Paint(into,
          [frame](std::int32_t x, std::int32_t y)
          {
              const int shifted = x + 2 * frame;
              return PF_Pixel{255, static_cast<A_u_char>((shifted * 255) / 128),
                              static_cast<A_u_char>(64 + (y * 127) / 96),
                              static_cast<A_u_char>(((shifted / 8 + y / 8) % 2) ? 200 : 60)};
          });
}

// Smooth ramps only, defined on the unit square so that the same picture can
// be painted at any size; what survives 4:2:0 and scaling well.
inline void PaintSmooth(std::int32_t frame, Picture& into)
{
    const double width = std::max(into.Width() - 1, 1);
    const double height = std::max(into.Height() - 1, 1);
    Paint(into,
          [&](std::int32_t x, std::int32_t y)
          {
              const double u = x / width;
              const double v = y / height;
              return PF_Pixel{255, static_cast<A_u_char>(40 + 150 * u + frame % 20),
                              static_cast<A_u_char>(50 + 140 * v),
                              static_cast<A_u_char>(180 - 60 * u * v)};
          });
}

// Errors of the colour channels of `shown` against `source` over a region
// (the whole picture unless given).
struct ChannelErrors
{
    double mean = 0.0;
    int worst = 0;
    double meanSquared = 0.0;
};

inline ChannelErrors Compare(const Picture& source, const Picture& shown, std::int32_t left = 0,
                             std::int32_t top = 0, std::int32_t right = -1,
                             std::int32_t bottom = -1)
{
    right = right < 0 ? source.Width() : right;
    bottom = bottom < 0 ? source.Height() : bottom;
    double sum = 0.0;
    double squared = 0.0;
    int worst = 0;
    for (std::int32_t y = top; y < bottom; ++y)
    {
        for (std::int32_t x = left; x < right; ++x)
        {
            const PF_Pixel& p = source.At(x, y);
            const PF_Pixel& q = shown.At(x, y);
            for (const int d : {q.red - p.red, q.green - p.green, q.blue - p.blue})
            {
                sum += d;
                squared += static_cast<double>(d) * d;
                worst = std::max(worst, std::abs(d));
            }
        }
    }
    const double count = 3.0 * (right - left) * (bottom - top);
    return {sum / count, worst, squared / count};
}

// Peak signal-to-noise ratio of the colour channels of b against a; 99 for
// identical pictures.
inline double Psnr(const Picture& a, const Picture& b)
{
    const double mse = Compare(a, b).meanSquared;
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

inline std::string ReadLogFile()
{
    std::ostringstream text;
    text << std::ifstream(Zovazaz::Log::GetLogFilePath(), std::ios::binary).rdbuf();
    return text.str();
}

// A renderer over a MemorySource with the real x264 and libswscale. The
// settings start as the effect's defaults in constant-rate-factor mode; a
// test changes settings_ and the next render uses a new renderer, as a user
// change does in a host.
class RendererTest : public ::testing::Test
{
  protected:
    static constexpr std::int32_t TimeScale = 30000;
    static constexpr std::int32_t TimeStep = 1001;

    MemorySource& Start(std::int32_t width, std::int32_t height, std::int32_t frames,
                        Painter painter = PaintPattern)
    {
        renderer_.reset();
        source_ = std::make_unique<MemorySource>(width, height, TimeStep, std::move(painter));
        settings_ = {.targetBitrateKbps = 1500,
                     .rateFactor = 23,
                     .keyFrameInterval = 30,
                     .bFramesChecked = true,
                     .timeScale = TimeScale,
                     .timeStep = TimeStep,
                     .totalTime = frames * TimeStep,
                     .segmentLength = 15};
        return *source_;
    }

    Renderer& Current()
    {
        if (!renderer_ || !(rendererSettings_ == settings_))
        {
            renderer_.reset();
            renderer_ = std::make_unique<Renderer>(
                *source_, settings_,
                RendererLibraries{Zovazaz::GetX264Library(), Zovazaz::GetSwScaleLibrary()});
            rendererSettings_ = settings_;
        }
        return *renderer_;
    }

    // Renders a frame into `output` as the effect does (at the output's size
    // rounded down to even) and remembers the frames checked out meanwhile.
    // Answers the error's text, empty when the render succeeded; a host code
    // thrown as an int comes back as "code N".
    std::string Render(std::int32_t frame, Picture& output)
    {
        const std::size_t before = source_->checkedOut.size();
        std::string error;
        try
        {
            Current().RenderFrame(frame, output.Width() & ~1, output.Height() & ~1, View(output));
        }
        catch (const AdobeException& exception)
        {
            error = exception.GetMessage();
            errorCode_ = exception.GetCode();
        }
        catch (std::int32_t code)
        {
            error = "code " + std::to_string(code);
        }
        checkedOut_.assign(source_->checkedOut.begin() + static_cast<std::ptrdiff_t>(before),
                           source_->checkedOut.end());
        return error;
    }

    Picture RenderOk(std::int32_t frame, std::int32_t width, std::int32_t height)
    {
        Picture output(width, height);
        EXPECT_EQ(Render(frame, output), "");
        return output;
    }

    // The layer's frame as the painter makes it, at any size.
    Picture Input(std::int32_t frame, std::int32_t width, std::int32_t height) const
    {
        Picture picture(width, height);
        source_->painter(frame, picture);
        return picture;
    }

    static std::vector<std::int32_t> Frames(std::int32_t first, std::int32_t last)
    {
        std::vector<std::int32_t> frames(static_cast<std::size_t>(last - first + 1));
        std::iota(frames.begin(), frames.end(), first);
        return frames;
    }

    std::unique_ptr<MemorySource> source_;
    EncodeSettings settings_;
    std::unique_ptr<Renderer> renderer_;
    EncodeSettings rendererSettings_;
    std::vector<std::int32_t> checkedOut_; // frames checked out by the last Render
    std::int32_t errorCode_ = 0;
};

} // namespace RendererTests
