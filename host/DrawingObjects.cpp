#include "host/DrawingObjects.h"

#include <algorithm>
#include <iterator>

#include <fmt/format.h>

namespace EffectHost
{

DrawingObject& DrawingObjects::Make(DrawingKind kind)
{
    auto object = std::make_unique<DrawingObject>();
    object->kind = kind;
    object->registry = this;
    object->session = session_;
    objects_.push_back(std::move(object));
    DrawingObject& made = *objects_.back();
    if (made.IsEffects())
    {
        ++counters_.objectsCreated;
    }
    return made;
}

DrawingObject* DrawingObjects::Live(const void* ref, DrawingKind kind)
{
    auto* object = static_cast<DrawingObject*>(const_cast<void*>(ref));
    if (!object || object->magic != DrawingObject::Magic || object->kind != kind)
    {
        return nullptr;
    }
    if (!object->live)
    {
        object->registry->host_.Report(MessageKind::Defect, "A released drawing object was used");
        return nullptr;
    }
    return object;
}

DrawingSession* DrawingObjects::SessionOf(PF_ContextH context) noexcept
{
    if (!context || context->magic != DrawingSession::ContextMagic || !context->reserved_host)
    {
        return nullptr;
    }
    return static_cast<DrawingSession*>(context->reserved_host);
}

PF_ContextH DrawingObjects::BeginEvent(Raster& surface, const PF_Rect& clip)
{
    EndEvent();
    auto session = std::make_unique<DrawingSession>();
    session->clip = PF_Rect{std::max<A_long>(clip.left, 0), std::max<A_long>(clip.top, 0),
                            std::min<A_long>(clip.right, surface.Width()),
                            std::min<A_long>(clip.bottom, surface.Height())};
    session->canvas = std::make_unique<Canvas>(surface, session->clip);
    // Without antialiasing a fill covers the pixels whose centres lie inside
    // it, so the framework's rectangles at half-pixel origins land exactly on
    // their frames.
    cairo_set_antialias(session->canvas->Context(), CAIRO_ANTIALIAS_NONE);
    sessions_.push_back(std::move(session));
    session_ = sessions_.back().get();
    session_->context.magic = DrawingSession::ContextMagic;
    session_->context.w_type = PF_Window_EFFECT;
    session_->context.reserved_host = session_;
    session_->drawRef = &Make(DrawingKind::DrawRef);
    session_->supplier = &Make(DrawingKind::Supplier);
    session_->surface = &Make(DrawingKind::Surface);
    return &session_->context;
}

void DrawingObjects::EndEvent()
{
    if (!session_)
    {
        return;
    }
    int left = 0;
    for (auto& object : objects_)
    {
        if (object->session != session_ || !object->live)
        {
            continue;
        }
        if (!object->IsEffects())
        {
            object->live = false; // the host's own, gone with the event
        }
        else if (object->kind != DrawingKind::Image) // an effect may keep a drawn image
        {
            ++left;
        }
    }
    session_->canvas.reset(); // the drawing reaches the raster
    session_->context.magic = 0;
    session_ = nullptr;
    if (left > 0)
    {
        host_.Report(
            MessageKind::Defect,
            fmt::format("{} drawing object(s) not released by the end of the draw event", left));
    }
}

void DrawingObjects::ReportLiveObjects(const std::string& when)
{
    const int left = LiveEffectObjects();
    if (left > 0)
    {
        host_.Report(MessageKind::Defect,
                     fmt::format("{} drawing object(s) still alive {}", left, when));
    }
}

std::vector<std::u16string> DrawingObjects::TakeStringsFrom(std::size_t first)
{
    std::vector<std::u16string>& strings = counters_.strings;
    first = std::min(first, strings.size());
    std::vector<std::u16string> taken(
        std::make_move_iterator(strings.begin() + static_cast<std::ptrdiff_t>(first)),
        std::make_move_iterator(strings.end()));
    strings.resize(first);
    counters_.stringOrigins.resize(std::min(first, counters_.stringOrigins.size()));
    return taken;
}

DrawingAccounting DrawingObjects::Accounting() const
{
    DrawingAccounting accounting = counters_;
    accounting.liveObjects = LiveEffectObjects();
    return accounting;
}

int DrawingObjects::LiveEffectObjects() const noexcept
{
    return static_cast<int>(std::count_if(objects_.begin(), objects_.end(),
                                          [](const auto& object)
                                          { return object->live && object->IsEffects(); }));
}

} // namespace EffectHost
