#include "cli/view/EffectThread.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include <fmt/format.h>

#include "cli/EffectControls.h"
#include "cli/FrameInformation.h"
#include "cli/Preview.h"
#include "cli/Session.h"
#include "host/Host.h"
#include "host/Parameters.h"
#include "host/Timeline.h"
#include "host/World.h"

namespace CommandLine
{

namespace
{

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr std::size_t ErrorsKept = 20;
// Wide enough for the Information lines and the 155-pixel logo.
constexpr int AreaWidth = 340;

double Milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

std::string NameOf(const PF_ParamDef& def)
{
    return std::string(def.name, strnlen(def.name, sizeof def.name));
}

// The effect's controls as the page builds its form from them.
Json ControlsJson(const EffectHost::Host& host)
{
    Json controls = Json::array();
    for (int position = 1; position < host.ParameterCount(); ++position)
    {
        const PF_ParamDef& def = host.Parameter(position);
        Json control{{"position", position},
                     {"name", NameOf(def)},
                     {"hostId", def.uu.id},
                     {"enabled", host.IsEnabled(position)},
                     {"hidden", (def.ui_flags & PF_PUI_INVISIBLE) != 0},
                     {"text", host.ValueText(position)}};
        if (def.ui_flags & PF_PUI_CONTROL)
        {
            control["kind"] = "area";
            control["height"] = def.ui_height;
        }
        else if (def.param_type == PF_Param_FLOAT_SLIDER)
        {
            const PF_FloatSliderDef& slider = def.u.fs_d;
            control["kind"] = "number";
            control["value"] = slider.value;
            control["min"] = slider.valid_min;
            control["max"] = slider.valid_max;
            control["precision"] = slider.precision;
        }
        else if (def.param_type == PF_Param_POPUP)
        {
            control["kind"] = "popup";
            control["value"] = def.u.pd.value;
            control["items"] = host.PopupItems(position);
        }
        else if (def.param_type == PF_Param_CHECKBOX)
        {
            control["kind"] = "checkbox";
            control["value"] = def.u.bd.value != 0;
        }
        else if (def.param_type == PF_Param_BUTTON)
        {
            control["kind"] = "button";
        }
        else
        {
            control["kind"] = "other";
        }
        controls.push_back(std::move(control));
    }
    return controls;
}

A_long SegmentLengthOf(const EffectHost::Host& host, A_long frameCount)
{
    const int position = host.PositionOfHostId(HostIdSegmentLength);
    if (position < 0 || host.Parameter(position).param_type != PF_Param_FLOAT_SLIDER)
    {
        return frameCount;
    }
    const double value = host.Parameter(position).u.fs_d.value;
    return value >= 1.0 ? static_cast<A_long>(value) : frameCount;
}

// Packed RGBA from the host's ARGB world. A pixel's bytes A R G B read as a
// little-endian word become R G B A by rotating it one byte to the right.
void AppendRgba(const EffectHost::World& world, std::string& out)
{
    static_assert(std::endian::native == std::endian::little);
    const auto width = static_cast<std::size_t>(world.Width());
    out.resize(width * static_cast<std::size_t>(world.Height()) * 4);
    char* write = out.data();
    for (A_long y = 0; y < world.Height(); ++y)
    {
        const auto* row = reinterpret_cast<const std::uint8_t*>(&world.At(0, y));
        for (std::size_t x = 0; x < width; ++x, write += 4)
        {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, row + 4 * x, 4);
            pixel = std::rotr(pixel, 8);
            std::memcpy(write, &pixel, 4);
        }
    }
}

// Packed RGB, a quarter less to send, when every pixel is opaque; false (and
// `out` unspecified) when one is not.
bool AppendOpaqueRgb(const EffectHost::World& world, std::string& out)
{
    const auto width = static_cast<std::size_t>(world.Width());
    out.resize(width * static_cast<std::size_t>(world.Height()) * 3);
    char* write = out.data();
    std::uint8_t alpha = 0xFF;
    for (A_long y = 0; y < world.Height(); ++y)
    {
        const auto* row = reinterpret_cast<const std::uint8_t*>(&world.At(0, y));
        for (std::size_t x = 0; x < width; ++x, write += 3)
        {
            alpha &= row[4 * x];
            std::memcpy(write, row + 4 * x + 1, 3);
        }
    }
    return alpha == 0xFF;
}

// The bytes of a picture for the page: RGB when asked for and opaque, else
// RGBA; the channel count goes with the reply.
void AppendPicture(const EffectHost::World& world, bool rgb, Reply& reply)
{
    reply.channels = 3;
    if (!rgb || !AppendOpaqueRgb(world, reply.body))
    {
        reply.channels = 4;
        AppendRgba(world, reply.body);
    }
}

} // namespace

Reply Reply::Error(int status, const std::string& message)
{
    Reply reply;
    reply.status = status;
    reply.body = Json{{"error", message}}.dump();
    return reply;
}

EffectThread::EffectThread(EffectThreadSetup setup)
    : setup_(std::move(setup)), frameCount_(EffectHost::FrameCount(setup_.input.time)),
      segmentLength_(frameCount_)
{
    std::promise<void> started;
    std::future<void> ready = started.get_future();
    thread_ = std::thread([this, &started] { Main(started); });
    try
    {
        ready.get();
    }
    catch (...)
    {
        thread_.join();
        throw;
    }
}

EffectThread::~EffectThread()
{
    Stop();
}

void EffectThread::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        abort_ = true;
    }
    work_.notify_all();
    published_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
    {
        thread_.join();
    }
}

void EffectThread::Main(std::promise<void>& started)
{
    std::unique_ptr<EffectSession> session;
    try
    {
        session = std::make_unique<EffectSession>(setup_.module);
        EffectHost::Host& host = session->Host();
        host.SetLayerSource(setup_.input.source);
        host.SetTime(setup_.input.time);
        host.SetDownsample(setup_.downsample);
        host.SetAbortFlag(&abort_);
        session->Apply();
        ApplyEffectSettings(host, setup_.effect);
        host.SetProgressSink([this](A_long done, A_long total) { OnProgress(done, total); });
        {
            std::lock_guard lock(mutex_);
            const EffectHost::TimeSettings& time = setup_.input.time;
            layerJson_ = Json{{"width", host.Layer().Width()},
                              {"height", host.Layer().Height()},
                              {"frames", frameCount_},
                              {"timeScale", time.timeScale},
                              {"timeStep", time.timeStep},
                              {"description", setup_.input.description},
                              {"renderWidth", host.RenderWidth()},
                              {"renderHeight", host.RenderHeight()}}
                             .dump();
        }
        host.SetCurrentFrame(0);
        Refresh(host, Rescan::None);
    }
    catch (...)
    {
        started.set_exception(std::current_exception());
        return;
    }
    started.set_value();

    EffectHost::Host& host = session->Host();
    Serve(host);
    host.SetProgressSink(nullptr);
    const EffectHost::CommandResult setdown = host.GlobalSetdown();
    if (!setdown.Succeeded())
    {
        std::cerr << "ruzirazu: the effect failed its global set-down"
                  << (setdown.errorMessage.empty() ? "" : ": " + setdown.errorMessage) << '\n';
    }
    session.reset();
}

void EffectThread::Serve(EffectHost::Host& host)
{
    for (;;)
    {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
            {
                for (auto& waiting : queue_)
                {
                    waiting->answer.set_value(Reply::Error(503, "The view is stopping"));
                }
                queue_.clear();
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
            abort_ = false;
            if ((job->kind == JobKind::Frame || job->kind == JobKind::Ahead) &&
                job->view == FrameView::Output)
            {
                running_ = true;
                runningFrame_ = job->frame;
                progressDone_ = 0;
                progressTotal_ = 0;
            }
        }
        Reply reply;
        try
        {
            switch (job->kind)
            {
            case JobKind::Frame:
                reply = RunFrame(host, *job);
                break;
            case JobKind::Ahead:
                reply = RunAhead(host, *job);
                break;
            case JobKind::Show:
                host.SetCurrentFrame(job->frame);
                Refresh(host, Rescan::None);
                reply.contentType = "application/json";
                reply.body = Json{{"frame", job->frame}}.dump();
                break;
            case JobKind::Change:
                reply = RunChange(host, job->change);
                break;
            case JobKind::Area:
                reply = RunArea(host, job->hostId);
                break;
            }
        }
        catch (const std::exception& error)
        {
            AddError(error.what());
            reply = Reply::Error(500, error.what());
        }
        {
            std::lock_guard lock(mutex_);
            running_ = false;
            encoding_ = false;
            Publish();
        }
        job->answer.set_value(std::move(reply));
        if (refreshAfterAnswer_)
        {
            refreshAfterAnswer_ = false;
            try
            {
                Refresh(host, Rescan::None);
            }
            catch (const std::exception& error)
            {
                AddError(error.what());
            }
            std::lock_guard lock(mutex_);
            refreshPending_ = false;
            Publish();
        }
    }
}

void EffectThread::RefreshAfterAnswer()
{
    refreshAfterAnswer_ = true;
    std::lock_guard lock(mutex_);
    refreshPending_ = true;
}

Reply EffectThread::Post(std::unique_ptr<Job> job)
{
    std::future<Reply> answer = job->answer.get_future();
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
        {
            return Reply::Error(503, "The view is stopping");
        }
        // The newest frame wins over frames still waiting, and over any frame
        // read ahead. Showing a frame the page already holds supersedes
        // nothing: the page may have asked for the next frame before that
        // request arrives.
        if (job->kind == JobKind::Frame)
        {
            for (auto it = queue_.begin(); it != queue_.end();)
            {
                if (((*it)->kind == JobKind::Frame && (*it)->frame != job->frame) ||
                    (*it)->kind == JobKind::Ahead)
                {
                    (*it)->answer.set_value(Reply::Error(
                        409, fmt::format("Superseded by a request for frame {}", job->frame)));
                    it = queue_.erase(it);
                }
                else
                {
                    ++it;
                }
            }
        }
        queue_.push_back(std::move(job));
        if (AnotherSegmentWaits())
        {
            abort_ = true;
        }
    }
    work_.notify_one();
    return answer.get();
}

bool EffectThread::AnotherSegmentWaits() const
{
    if (!running_ || !encoding_)
    {
        return false;
    }
    const A_long segment = runningFrame_ / segmentLength_;
    return std::any_of(queue_.begin(), queue_.end(),
                       [&](const std::unique_ptr<Job>& job)
                       {
                           return job->kind == JobKind::Frame && job->view == FrameView::Output &&
                                  job->frame / segmentLength_ != segment;
                       });
}

void EffectThread::OnProgress(A_long done, A_long total)
{
    std::lock_guard lock(mutex_);
    encoding_ = true;
    progressDone_ = done;
    progressTotal_ = total;
    if (AnotherSegmentWaits())
    {
        abort_ = true;
    }
    Publish();
}

Reply EffectThread::PostJob(JobKind kind, const std::function<void(Job&)>& fill)
{
    auto job = std::make_unique<Job>();
    job->kind = kind;
    fill(*job);
    return Post(std::move(job));
}

Reply EffectThread::Frame(A_long frame, FrameView view, bool rgb)
{
    return PostJob(JobKind::Frame,
                   [&](Job& job) { job.frame = frame, job.view = view, job.rgb = rgb; });
}

Reply EffectThread::FrameAhead(A_long frame, FrameView view, bool rgb)
{
    return PostJob(JobKind::Ahead,
                   [&](Job& job) { job.frame = frame, job.view = view, job.rgb = rgb; });
}

Reply EffectThread::Show(A_long frame)
{
    return PostJob(JobKind::Show, [&](Job& job) { job.frame = frame; });
}

Reply EffectThread::Change(const ControlChange& change)
{
    return PostJob(JobKind::Change, [&](Job& job) { job.change = change; });
}

Reply EffectThread::Area(A_long hostId)
{
    return PostJob(JobKind::Area, [&](Job& job) { job.hostId = hostId; });
}

bool EffectThread::Cancel()
{
    std::lock_guard lock(mutex_);
    if (running_ && encoding_)
    {
        abort_ = true;
        return true;
    }
    return false;
}

Reply EffectThread::RunFrame(EffectHost::Host& host, const Job& job, bool makeCurrent)
{
    Reply reply;
    reply.contentType = "application/octet-stream";
    const Clock::time_point start = Clock::now();
    if (job.view == FrameView::Input)
    {
        const EffectHost::TimeSettings& time = host.Time();
        auto world =
            host.Params().LayerFrame(job.frame * time.timeStep, time.timeStep, time.timeScale);
        reply.renderMs = Milliseconds(start);
        const Clock::time_point encodeStart = Clock::now();
        AppendPicture(*world, job.rgb, reply);
        reply.encodeMs = Milliseconds(encodeStart);
        reply.width = world->Width();
        reply.height = world->Height();
        if (makeCurrent)
        {
            host.SetCurrentFrame(job.frame);
            RefreshAfterAnswer();
        }
        return reply;
    }

    // One output world serves every frame of a size: the effect writes all of
    // it, and a fresh 3.6 MB world per 720p frame costs its zeroing and page
    // faults on every step through the timeline.
    if (output_.Width() != host.RenderWidth() || output_.Height() != host.RenderHeight())
    {
        output_ = EffectHost::World(host.RenderWidth(), host.RenderHeight());
    }
    EffectHost::World& output = output_;
    host.ClearLayerError();
    const EffectHost::CommandResult result = host.RenderFrame(job.frame, output);
    reply.renderMs = Milliseconds(start);
    bool encoded = false;
    {
        std::lock_guard lock(mutex_);
        encoded = encoding_;
    }
    const A_long segment = job.frame / segmentLength_;
    if (result.error == PF_Interrupt_CANCEL || (abort_ && !result.Succeeded()))
    {
        Refresh(host, Rescan::Stored, encoded ? std::optional<A_long>(segment) : std::nullopt);
        return Reply::Error(409, fmt::format("The encode of segment {} was cancelled", segment));
    }
    if (!host.LayerError().empty())
    {
        const std::string message = fmt::format("Cannot render frame {}: the layer failed: {}",
                                                job.frame, host.LayerError());
        AddError(message);
        return Reply::Error(500, message);
    }
    if (!result.Succeeded())
    {
        const std::string message =
            !result.errorMessage.empty()
                ? result.errorMessage
                : fmt::format("The effect failed rendering frame {} with error {}", job.frame,
                              result.error);
        AddError(message);
        Refresh(host, Rescan::Stored);
        return Reply::Error(500, message);
    }
    const Clock::time_point encodeStart = Clock::now();
    AppendPicture(output, job.rgb, reply);
    reply.encodeMs = Milliseconds(encodeStart);
    reply.width = output.Width();
    reply.height = output.Height();
    if (encoded)
    {
        Refresh(host, Rescan::Stored, segment);
    }
    else if (makeCurrent)
    {
        RefreshAfterAnswer();
    }
    return reply;
}

Reply EffectThread::RunAhead(EffectHost::Host& host, const Job& job)
{
    {
        std::lock_guard lock(mutex_);
        if (job.view == FrameView::Output && stored_.count(job.frame) == 0)
        {
            return Reply::Error(409, fmt::format("Frame {} is not stored", job.frame));
        }
    }
    const A_long current = static_cast<A_long>(host.Time().currentTime / host.Time().timeStep);
    Reply reply = RunFrame(host, job, false);
    host.SetCurrentFrame(current);
    bool moved = false;
    {
        std::lock_guard lock(mutex_);
        moved = currentFrame_ != current;
    }
    if (moved)
    {
        // The frame turned out not to be stored after all and was encoded;
        // the page's current frame stays what it was.
        Refresh(host, Rescan::None);
    }
    return reply;
}

Reply EffectThread::RunChange(EffectHost::Host& host, const ControlChange& change)
{
    if (change.position < 1 || change.position >= host.ParameterCount())
    {
        return Reply::Error(400,
                            fmt::format("There is no control at position {}", change.position));
    }
    EffectHost::ChangeResult result;
    if (change.press)
    {
        result = host.PressButton(change.position);
    }
    else if (change.item)
    {
        result = host.ChangePopup(change.position, *change.item);
    }
    else if (change.value)
    {
        result = host.ChangeParameter(change.position, *change.value);
    }
    if (!result.accepted)
    {
        return Reply::Error(400, result.refusal);
    }
    std::string failure;
    if (result.sent && !result.command.Succeeded())
    {
        failure = !result.command.errorMessage.empty()
                      ? result.command.errorMessage
                      : fmt::format("The effect failed the change of {} with error {}",
                                    NameOf(host.Parameter(change.position)), result.command.error);
    }
    // The effect decides which controls are enabled after a change.
    const EffectHost::CommandResult update = host.UpdateParamsUi();
    if (failure.empty() && !update.Succeeded())
    {
        failure =
            update.errorMessage.empty()
                ? fmt::format("The effect failed updating its controls with error {}", update.error)
                : update.errorMessage;
    }
    Refresh(host, Rescan::Stored);
    if (!failure.empty())
    {
        AddError(failure);
        return Reply::Error(500, failure);
    }
    Reply reply;
    reply.body = Json{{"ok", true}}.dump();
    return reply;
}

Reply EffectThread::RunArea(EffectHost::Host& host, A_long hostId)
{
    const int position = host.PositionOfHostId(hostId);
    if (position < 0 || !(host.Parameter(position).ui_flags & PF_PUI_CONTROL))
    {
        return Reply::Error(404, fmt::format("The effect draws no area with host id {}", hostId));
    }
    const int height = std::max<int>(host.Parameter(position).ui_height, 1);
    const Clock::time_point start = Clock::now();
    const EffectHost::DrawResult drawn =
        host.DrawEvent(position, PF_Rect{0, 0, AreaWidth, height}, PF_EA_CONTROL);
    if (!drawn.command.Succeeded())
    {
        const std::string message =
            !drawn.command.errorMessage.empty()
                ? drawn.command.errorMessage
                : fmt::format("The effect failed drawing {} with error {}",
                              NameOf(host.Parameter(position)), drawn.command.error);
        AddError(message);
        return Reply::Error(500, message);
    }
    Reply reply;
    reply.contentType = "application/octet-stream";
    reply.renderMs = Milliseconds(start);
    const auto& bytes = drawn.surface.Bytes();
    reply.body.assign(bytes.begin(), bytes.end());
    reply.width = drawn.surface.Width();
    reply.height = drawn.surface.Height();
    return reply;
}

void EffectThread::Refresh(EffectHost::Host& host, Rescan rescan,
                           std::optional<A_long> encodedSegment)
{
    const A_long current = static_cast<A_long>(host.Time().currentTime / host.Time().timeStep);
    const std::string information = InformationText(host);
    Json controls = ControlsJson(host);
    const A_long segmentLength = SegmentLengthOf(host, frameCount_);

    if (rescan == Rescan::None)
    {
        std::lock_guard lock(mutex_);
        currentFrame_ = current;
        information_ = information;
        controlsJson_ = controls.dump();
        segmentLength_ = segmentLength;
        Publish();
        return;
    }
    std::vector<A_long> scan;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [frame, stored] : stored_)
        {
            scan.push_back(frame);
        }
    }
    if (encodedSegment)
    {
        const A_long first = *encodedSegment * segmentLength;
        for (A_long frame = first; frame < std::min(first + segmentLength, frameCount_); ++frame)
        {
            scan.push_back(frame);
        }
    }
    std::map<A_long, StoredFrame> stored;
    // Without a renderer ("N/A", after most changes) nothing is stored.
    if (information.rfind("N/A", 0) != 0)
    {
        for (const A_long frame : scan)
        {
            host.SetCurrentFrame(frame);
            try
            {
                const std::optional<FrameInformation> read = ReadInformation(host);
                if (read && read->pictureType != "Unknown")
                {
                    stored[frame] = {read->pictureType, read->sizeText, read->size.Estimate()};
                }
            }
            catch (const std::exception&)
            {
                // Text that does not read as a stored frame's: not stored.
            }
        }
        host.SetCurrentFrame(current);
    }

    std::lock_guard lock(mutex_);
    currentFrame_ = current;
    information_ = information;
    controlsJson_ = controls.dump();
    segmentLength_ = segmentLength;
    stored_ = std::move(stored);
    Publish();
}

void EffectThread::AddError(const std::string& text)
{
    std::lock_guard lock(mutex_);
    errors_.push_back(text);
    while (errors_.size() > ErrorsKept)
    {
        errors_.pop_front();
    }
    Publish();
}

void EffectThread::Publish()
{
    ++generation_;
    published_.notify_all();
}

std::string EffectThread::State(std::optional<std::uint64_t> after, std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    if (after)
    {
        published_.wait_for(lock, wait, [&] { return stopping_ || generation_ > *after; });
    }
    // A frame's answer goes out before the Information text of its frame is
    // read; the state waits for that text rather than give the one before.
    published_.wait_for(lock, wait, [&] { return stopping_ || !refreshPending_; });
    Json stored = Json::array();
    for (const auto& [frame, record] : stored_)
    {
        stored.push_back(Json::array({frame, record.type, record.sizeText, record.bytes}));
    }
    const Json state{{"generation", generation_},
                     {"layer", Json::parse(layerJson_.empty() ? "{}" : layerJson_)},
                     {"segmentLength", segmentLength_},
                     {"frame", currentFrame_},
                     {"controls", Json::parse(controlsJson_.empty() ? "[]" : controlsJson_)},
                     {"information", information_},
                     {"stored", std::move(stored)},
                     {"progress",
                      {{"busy", running_},
                       {"encoding", encoding_},
                       {"frame", runningFrame_},
                       {"segment", runningFrame_ / segmentLength_},
                       {"done", progressDone_},
                       {"total", progressTotal_}}},
                     {"errors", errors_},
                     {"stopping", stopping_}};
    return state.dump();
}

} // namespace CommandLine
