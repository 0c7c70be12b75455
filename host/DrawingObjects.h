#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "AE_EffectUI.h"
#include "DrawbotSuites.h"
#include "host/Canvas.h"
#include "host/Host.h"

namespace EffectHost
{

class DrawingObjects;
struct DrawingSession;

enum class DrawingKind
{
    DrawRef,
    Supplier,
    Surface,
    Brush,
    Pen,
    Font,
    Path,
    Image
};

// One step of a DRAWBOT path, replayed onto cairo when the path is drawn.
struct PathStep
{
    enum class Verb
    {
        Move,
        Line,
        Curve,
        Rect,
        Arc,
        Close
    };
    Verb verb = Verb::Move;
    float values[6] = {};
};

// A DRAWBOT object. The reference the effect holds is the object's address.
struct DrawingObject
{
    static constexpr std::uint32_t Magic = 0x44425254; // 'DBRT'

    std::uint32_t magic = Magic;
    DrawingKind kind = DrawingKind::Brush;
    bool live = true;
    int retains = 1;
    DrawingObjects* registry = nullptr;
    DrawingSession* session = nullptr; // the event it was made in
    // payload
    DRAWBOT_ColorRGBA colour{}; // brush, pen
    float size = 0.0f;          // pen width, font size
    std::vector<PathStep> path;
    CairoSurface image;

    // The effect's own objects, as opposed to the draw reference, supplier
    // and surface the host lends for one event.
    bool IsEffects() const noexcept
    {
        return kind != DrawingKind::DrawRef && kind != DrawingKind::Supplier &&
               kind != DrawingKind::Surface;
    }
};

// One draw event: its context, the host's three objects and the canvas.
struct DrawingSession
{
    static constexpr std::uint32_t ContextMagic = 0x50464358; // 'PFCX'

    _PF_Context context{};
    std::unique_ptr<Canvas> canvas;
    PF_Rect clip{};
    std::vector<PF_Rect> clips; // pushed with the state stack
    DrawingObject* drawRef = nullptr;
    DrawingObject* supplier = nullptr;
    DrawingObject* surface = nullptr;
};

// The registry of DRAWBOT objects and draw events. Objects are never freed
// while the host lives, only emptied when released, so a reference the
// effect keeps too long is caught instead of read from freed memory; sessions
// stay addressable too, so a context used after its event is refused.
class DrawingObjects
{
  public:
    explicit DrawingObjects(Host& host) : host_(host) {}

    DrawingObject& Make(DrawingKind kind);
    // The live object of that kind the reference names, or null; a released
    // one is reported as the effect's defect.
    static DrawingObject* Live(const void* ref, DrawingKind kind);
    // The session of an event's context, or null when it is not one of ours
    // or its event is over.
    static DrawingSession* SessionOf(PF_ContextH context) noexcept;

    PF_ContextH BeginEvent(Raster& surface, const PF_Rect& clip);
    void EndEvent();
    void ReportLiveObjects(const std::string& when);

    DrawingAccounting Accounting() const;
    DrawingAccounting& Counters() noexcept { return counters_; }
    // Hands out the strings drawn since the record held `first` of them and
    // forgets them (with their origins), so that a host reading an area on
    // every frame keeps no growing record.
    std::vector<std::u16string> TakeStringsFrom(std::size_t first);
    Host& Owner() noexcept { return host_; }
    // The event under way, or null.
    DrawingSession* Current() noexcept { return session_; }

  private:
    int LiveEffectObjects() const noexcept;

    Host& host_;
    std::deque<std::unique_ptr<DrawingObject>> objects_;
    std::deque<std::unique_ptr<DrawingSession>> sessions_;
    DrawingSession* session_ = nullptr; // the event under way
    DrawingAccounting counters_;
};

} // namespace EffectHost
