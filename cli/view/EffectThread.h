#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/Input.h"
#include "cli/Options.h"
#include "host/World.h"

namespace EffectHost
{
class Host;
}

namespace CommandLine
{

// What the live view starts the effect with.
struct EffectThreadSetup
{
    ModuleOptions module;
    EffectSettings effect;
    LayerInput input;
    int downsample = 1; // 1 full, 2 half, 3 third, 4 quarter
};

// An answer for the page: an HTTP status, a content type and the body. A
// picture is raw RGBA, width x height, rows packed, top row first.
struct Reply
{
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    int width = 0;
    int height = 0;
    int channels = 4;      // of a picture: 4 RGBA, 3 RGB (opaque)
    double renderMs = 0.0; // time in the effect (or the layer) for a picture
    double encodeMs = 0.0; // time to turn it into the bytes sent
    double totalMs = 0.0;  // from the request to the answer, waiting included

    static Reply Error(int status, const std::string& message);
};

enum class FrameView
{
    Output, // the effect's render: the preview
    Input   // the layer as it enters the effect
};

// A user's change of one control: a number, a popup item or a button press.
struct ControlChange
{
    int position = 0;
    std::optional<double> value;
    std::optional<std::string> item;
    bool press = false;
};

// The one thread that calls the effect. The module is loaded, applied and set
// down on it, and every command goes through it one at a time; callers on
// other threads post a request and wait for its answer.
//
// The newest frame request wins: a queued request for another frame is
// answered 409 when a newer one comes, and an encode of a segment is aborted
// through the host's abort flag when the newest request is for a frame of
// another segment (frames stored before stay stored). Control changes and
// drawings are never dropped.
class EffectThread
{
  public:
    // Starts the thread, which loads and applies the effect. Throws what the
    // set-up threw (RunError, UsageError).
    explicit EffectThread(EffectThreadSetup setup);
    // Stops (see Stop).
    ~EffectThread();
    EffectThread(const EffectThread&) = delete;
    EffectThread& operator=(const EffectThread&) = delete;

    // The layer's frame count, fixed at start.
    A_long FrameCount() const noexcept { return frameCount_; }

    // The frame's picture as RGBA, or as RGB when `rgb` and it is opaque.
    Reply Frame(A_long frame, FrameView view, bool rgb = false);
    // A stored frame read ahead of the user: answered as Frame, but it leaves
    // the current frame (and so the Information panel) where it is, never
    // starts or aborts an encode (409 when the frame is not stored) and gives
    // way to any newer frame request.
    Reply FrameAhead(A_long frame, FrameView view, bool rgb = false);
    // Makes `frame` the current frame without rendering it, for a frame the
    // page already holds.
    Reply Show(A_long frame);
    Reply Change(const ControlChange& change);
    // The effect's drawing of a custom area (About, Information) at the
    // current frame, as RGBA.
    Reply Area(A_long hostId);
    // Raises the abort flag when a segment is being encoded; true if so.
    bool Cancel();

    // The page's data as JSON: layer, controls, Information text, stored
    // frames, progress, errors, and a generation that grows with every
    // change. With `after`, waits (at most `wait`) for a generation above it.
    std::string State(std::optional<std::uint64_t> after,
                      std::chrono::milliseconds wait = std::chrono::seconds(5));

    // Aborts what runs, answers what waits with 503, sets the effect down and
    // unloads it. Safe to call twice and from any thread but the effect's.
    void Stop();

  private:
    enum class JobKind
    {
        Frame,
        Ahead,
        Show,
        Change,
        Area
    };
    struct Job
    {
        JobKind kind = JobKind::Frame;
        A_long frame = 0;
        FrameView view = FrameView::Output;
        bool rgb = false;
        ControlChange change;
        A_long hostId = 0;
        std::promise<Reply> answer;
    };
    struct StoredFrame
    {
        std::string type;
        std::string sizeText;
        std::uint64_t bytes = 0;
    };

    Reply Post(std::unique_ptr<Job> job);
    Reply PostJob(JobKind kind, const std::function<void(Job&)>& fill);
    void Main(std::promise<void>& started);
    void Serve(EffectHost::Host& host);
    // `makeCurrent` false leaves the current frame and the published state
    // alone unless the render encoded.
    Reply RunFrame(EffectHost::Host& host, const Job& job, bool makeCurrent = true);
    Reply RunAhead(EffectHost::Host& host, const Job& job);
    Reply RunChange(EffectHost::Host& host, const ControlChange& change);
    Reply RunArea(EffectHost::Host& host, A_long hostId);
    void OnProgress(A_long done, A_long total);
    // Which frames the store holds is read from the Information text, one
    // draw per frame, so it is read again only when it can have changed.
    enum class Rescan
    {
        None,  // a stored frame or the input was shown
        Stored // after an encode, a change or a failure
    };
    // Re-reads the Information text at the current frame and the controls;
    // with Rescan::Stored also which frames are stored (those stored before
    // and the encoded segment's).
    void Refresh(EffectHost::Host& host, Rescan rescan,
                 std::optional<A_long> encodedSegment = std::nullopt);
    void AddError(const std::string& text);
    // Reads the Information text and controls for the current frame once the
    // job's answer has gone out, so a frame reaches the page without waiting
    // for the effect to draw its Information area.
    void RefreshAfterAnswer();
    void Publish();                   // under mutex_: a new generation
    bool AnotherSegmentWaits() const; // under mutex_

    EffectThreadSetup setup_;
    A_long frameCount_ = 0;
    std::atomic<bool> abort_{false};

    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable published_;
    std::deque<std::unique_ptr<Job>> queue_;
    bool stopping_ = false;
    bool running_ = false; // a frame job runs
    A_long runningFrame_ = 0;
    bool encoding_ = false;
    A_long progressDone_ = 0;
    A_long progressTotal_ = 0;
    A_long segmentLength_ = 1;
    A_long currentFrame_ = 0;
    std::string information_;
    std::string controlsJson_;
    std::map<A_long, StoredFrame> stored_;
    std::deque<std::string> errors_;
    std::uint64_t generation_ = 1;
    std::string layerJson_;
    EffectHost::World output_;        // used on the effect thread only
    bool refreshAfterAnswer_ = false; // the same
    bool refreshPending_ = false;     // under mutex_

    std::thread thread_;
};

} // namespace CommandLine
