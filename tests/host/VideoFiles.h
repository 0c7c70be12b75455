#pragma once

#include <array>
#include <string>

#include "AE_Effect.h"
#include "host/World.h"

// Small video files that the tests make at test time with libavformat and
// libavcodec, so no binary fixture is kept in the tree.
namespace VideoFiles
{

struct VideoSpec
{
    std::string path;    // the container comes from the extension
    std::string encoder; // libavcodec's encoder name: mpeg4, ffv1, libx264
    int width = 161;
    int height = 91;
    int rateNum = 30000;
    int rateDen = 1001;
    int frames = 24;
    int keyFrameInterval = 8;
    int bFrames = 0;
    // The 2 x 2 part (a, b, c, d) of a display matrix for the stream, which
    // shows stored pixel (x, y) at (a x + c y, b x + d y) as QuickTime's
    // track matrix does; none when it is the identity.
    std::array<int, 4> turn{1, 0, 0, 1};
};

// True when Debian's libavcodec has the encoder (a test skips otherwise).
bool HasEncoder(const std::string& name);

// The test picture of frame `frame`: a band of eight bars at the top that
// spells the frame number in binary (white is 1, most significant bit
// first), below it a gradient that scrolls and a block that moves with the
// frame, so neighbouring frames differ clearly even after lossy coding.
PF_Pixel TestPixel(int frame, int x, int y, int width, int height);

// The frame number that the bars of `world` spell, read from the middle of
// each bar; -1 when a bar is neither clearly light nor dark.
int ReadFrameNumber(const EffectHost::World& world);

// A world of the test picture at that size.
EffectHost::World TestPicture(int frame, int width, int height);

// How many pixels of two worlds of one size differ.
int DifferentPixels(const EffectHost::World& a, const EffectHost::World& b);

// Writes the file. Throws std::runtime_error when a library refuses.
void WriteVideo(const VideoSpec& spec);

} // namespace VideoFiles
