#include "host/Parameters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "host/Resolution.h"

namespace EffectHost
{

namespace
{

std::string FormatNumber(double value, int precision)
{
    return fmt::format("{:.{}f}", value, precision < 0 ? 0 : precision);
}

// Shortest form of a range bound: 500, 0.5, 50000.
std::string FormatBound(double value)
{
    return fmt::format("{:.10g}", value);
}

std::vector<std::string> SplitItems(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true)
    {
        const std::size_t bar = text.find('|', start);
        items.push_back(text.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos)
        {
            return items;
        }
        start = bar + 1;
    }
}

std::string NameOf(const PF_ParamDef& def)
{
    return std::string(def.name, strnlen(def.name, sizeof def.name));
}

// A custom-UI area is drawn by the effect; it has no value a user can type.
bool IsCustomArea(const PF_ParamDef& def) noexcept
{
    return (def.ui_flags & PF_PUI_CONTROL) != 0;
}

} // namespace

Parameters::Parameters(Host& host) : host_(host)
{
    Reset();
}

void Parameters::Reset()
{
    entries_.clear();
    customUi_.reset();
    auto layer = std::make_unique<Entry>();
    layer->def.param_type = PF_Param_LAYER;
    entries_.push_back(std::move(layer));
}

const PF_ParamDef& Parameters::At(int position) const
{
    if (position < 0 || position >= Count())
    {
        throw std::out_of_range(fmt::format("No parameter at position {}", position));
    }
    return entries_[position]->def;
}

void Parameters::PointAtText(Entry& entry) const noexcept
{
    switch (entry.def.param_type)
    {
    case PF_Param_POPUP:
        entry.def.u.pd.u.namesptr = entry.text.c_str();
        break;
    case PF_Param_CHECKBOX:
        entry.def.u.bd.u.nameptr = entry.text.c_str();
        break;
    case PF_Param_BUTTON:
        entry.def.u.button_d.u.namesptr = entry.text.c_str();
        break;
    default:
        break;
    }
}

std::vector<std::string> Parameters::PopupItems(int position) const
{
    const PF_ParamDef& def = At(position);
    if (def.param_type != PF_Param_POPUP)
    {
        return {};
    }
    return SplitItems(entries_[position]->text);
}

std::string Parameters::ValueText(int position) const
{
    const PF_ParamDef& def = At(position);
    switch (def.param_type)
    {
    case PF_Param_POPUP:
    {
        const auto items = PopupItems(position);
        const A_long value = def.u.pd.value;
        return value >= 1 && value <= static_cast<A_long>(items.size()) ? items[value - 1]
                                                                        : fmt::format("{}", value);
    }
    case PF_Param_CHECKBOX:
        return def.u.bd.value ? "on" : "off";
    case PF_Param_FLOAT_SLIDER:
        return IsCustomArea(def) ? std::string()
                                 : FormatNumber(def.u.fs_d.value, def.u.fs_d.precision);
    case PF_Param_BUTTON:
        return entries_[position]->text;
    case PF_Param_LAYER:
    {
        return fmt::format("{} x {}", host_.Layer().Width(), host_.Layer().Height());
    }
    default:
        return {};
    }
}

bool Parameters::IsEnabled(int position) const
{
    return (At(position).ui_flags & PF_PUI_DISABLED) == 0;
}

int Parameters::FindHostId(A_long hostId) const
{
    for (int position = 1; position < Count(); ++position)
    {
        if (entries_[position]->def.uu.id == hostId)
        {
            return position;
        }
    }
    return -1;
}

int Parameters::FindName(const std::string& name) const
{
    for (int position = 1; position < Count(); ++position)
    {
        if (NameOf(entries_[position]->def) == name)
        {
            return position;
        }
    }
    return -1;
}

std::unique_ptr<Parameters::CommandArray>
Parameters::BeginCommand(const PF_EffectWorld* layer) const
{
    auto array = std::make_unique<CommandArray>();
    array->copies_.reserve(entries_.size());
    for (const auto& entry : entries_)
    {
        PF_ParamDef copy = entry->def;
        // The union holds the id in the host's store and the change flags in
        // the effect's copy: the effect starts each command with no change.
        copy.uu.change_flags = PF_ChangeFlag_NONE;
        array->copies_.push_back(copy);
    }
    PF_LayerDef& input = array->copies_[0].u.ld;
    if (layer)
    {
        input = *layer;
    }
    else
    {
        input = PF_LayerDef{};
        input.width = host_.Layer().Width();
        input.height = host_.Layer().Height();
    }
    for (auto& copy : array->copies_)
    {
        array->pointers_.push_back(&copy);
    }
    return array;
}

void Parameters::TakeOverChanges(const CommandArray& array)
{
    const int count = std::min<int>(Count(), array.Size());
    for (int position = 1; position < count; ++position)
    {
        const PF_ParamDef& changed = array.copies_[position];
        if ((changed.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) == 0)
        {
            continue;
        }
        PF_ParamDef& def = entries_[position]->def;
        if (changed.param_type != def.param_type)
        {
            host_.Report(MessageKind::Defect,
                         fmt::format("The effect changed the type of parameter {}", position));
            continue;
        }
        double value = 0.0;
        switch (def.param_type)
        {
        case PF_Param_POPUP:
            value = def.u.pd.value = changed.u.pd.value;
            break;
        case PF_Param_CHECKBOX:
            value = def.u.bd.value = changed.u.bd.value;
            break;
        case PF_Param_FLOAT_SLIDER:
            value = def.u.fs_d.value = changed.u.fs_d.value;
            break;
        default:
            continue;
        }
        // Taken over all the same, as the host cannot undo the effect's
        // decision, but a value outside the control's range is the effect's
        // fault and worth saying.
        const auto refusal = Refusal(position, value);
        if (refusal && !IsCustomArea(def))
        {
            host_.Report(MessageKind::Defect,
                         "The effect set a value the panel would refuse: " + *refusal);
        }
    }
}

std::optional<std::string> Parameters::Refusal(int position, double value) const
{
    if (position < 1 || position >= Count())
    {
        return fmt::format("There is no control at position {} (controls are 1 to {})", position,
                           Count() - 1);
    }
    const PF_ParamDef& def = entries_[position]->def;
    const std::string name = NameOf(def);
    if (std::isnan(value))
    {
        return name + ": not a number";
    }
    switch (def.param_type)
    {
    case PF_Param_FLOAT_SLIDER:
    {
        if (IsCustomArea(def))
        {
            return name + " has no value to set";
        }
        const double low = def.u.fs_d.valid_min;
        const double high = def.u.fs_d.valid_max;
        if (value < low || value > high)
        {
            return name + " must be between " + FormatBound(low) + " and " + FormatBound(high) +
                   ", not " + FormatBound(value);
        }
        return std::nullopt;
    }
    case PF_Param_POPUP:
    {
        const A_long choices = def.u.pd.num_choices;
        if (value != std::floor(value) || value < 1 || value > choices)
        {
            return fmt::format("{} must be an item from 1 to {}, not {}", name, choices,
                               FormatBound(value));
        }
        return std::nullopt;
    }
    case PF_Param_CHECKBOX:
        if (value != 0.0 && value != 1.0)
        {
            return name + " must be 0 (off) or 1 (on), not " + FormatBound(value);
        }
        return std::nullopt;
    default:
        return name + " has no value to set";
    }
}

void Parameters::Write(int position, double value)
{
    PF_ParamDef& def = entries_.at(position)->def;
    switch (def.param_type)
    {
    case PF_Param_FLOAT_SLIDER:
        def.u.fs_d.value = value;
        break;
    case PF_Param_POPUP:
        def.u.pd.value = static_cast<PF_ParamValue>(value);
        break;
    case PF_Param_CHECKBOX:
        def.u.bd.value = value != 0.0;
        break;
    default:
        break;
    }
}

PF_Err Parameters::Add(PF_ParamIndex index, const PF_ParamDef& def)
{
    if (index != -1 && index != Count())
    {
        return PF_Err_INVALID_INDEX;
    }
    auto entry = std::make_unique<Entry>();
    entry->def = def;
    // The effect's texts may live on its stack: keep our own copies.
    switch (def.param_type)
    {
    case PF_Param_POPUP:
        entry->text = def.u.pd.u.namesptr ? def.u.pd.u.namesptr : "";
        break;
    case PF_Param_CHECKBOX:
        entry->text = def.u.bd.u.nameptr ? def.u.bd.u.nameptr : "";
        break;
    case PF_Param_BUTTON:
        entry->text = def.u.button_d.u.namesptr ? def.u.button_d.u.namesptr : "";
        break;
    case PF_Param_LAYER:
        entry->def.u.ld = PF_LayerDef{};
        break;
    default:
        break;
    }
    entry->def.name[sizeof entry->def.name - 1] = '\0';
    PointAtText(*entry);
    entries_.push_back(std::move(entry));
    return PF_Err_NONE;
}

PF_Err Parameters::UpdateUi(PF_ParamIndex index, const PF_ParamDef& def)
{
    if (index < 1 || index >= Count())
    {
        return PF_Err_INVALID_INDEX;
    }
    PF_ParamDef& held = entries_[index]->def;
    std::memcpy(held.name, def.name, sizeof held.name);
    held.name[sizeof held.name - 1] = '\0';
    held.ui_flags = def.ui_flags;
    return PF_Err_NONE;
}

std::shared_ptr<World> Parameters::TakeWorld(A_long width, A_long height) const
{
    Spares& spares = *spareWorlds_;
    const auto fits =
        std::find_if(spares.begin(), spares.end(),
                     [&](const auto& w) { return w->Width() == width && w->Height() == height; });
    std::unique_ptr<World> world;
    if (fits == spares.end())
    {
        world = std::make_unique<World>(width, height);
    }
    else
    {
        world = std::move(*fits);
        spares.erase(fits);
        // Every source sees what a new world would give it: zeros, padding too.
        if (world->Def().data != nullptr)
        {
            std::memset(world->Def().data, 0,
                        static_cast<std::size_t>(world->RowBytes()) *
                            static_cast<std::size_t>(world->Height()));
        }
    }
    // A render holds the command's layer and the effect's checkouts (the
    // frame it encodes and the two it reads ahead) at a time; as many spares
    // cover that.
    constexpr std::size_t MostSpares = 4;
    return std::shared_ptr<World>(world.release(),
                                  [spares = std::weak_ptr<Spares>(spareWorlds_)](World* given)
                                  {
                                      std::unique_ptr<World> back(given);
                                      const std::shared_ptr<Spares> kept = spares.lock();
                                      if (kept && kept->size() < MostSpares)
                                      {
                                          kept->push_back(std::move(back));
                                      }
                                  });
}

std::shared_ptr<const World> Parameters::LayerFrame(A_long time, A_long timeStep,
                                                    A_u_long timeScale) const
{
    const LayerSource& source = host_.Layer();
    std::shared_ptr<const World> full = source.HeldFrame(time, timeStep, timeScale);
    if (!full)
    {
        std::shared_ptr<World> built = TakeWorld(source.Width(), source.Height());
        source.FrameAt(time, timeStep, timeScale, *built);
        full = std::move(built);
    }
    const int factor = host_.Downsample();
    if (factor == 1)
    {
        return full;
    }
    std::shared_ptr<World> reduced = TakeWorld(DownsampledSize(source.Width(), factor),
                                               DownsampledSize(source.Height(), factor));
    EffectHost::Downsample(*full, *reduced, factor);
    return reduced;
}

PF_Err Parameters::Checkout(PF_ParamIndex index, A_long time, A_long timeStep, A_u_long timeScale,
                            PF_ParamDef& param)
{
    if (index < 0 || index >= Count())
    {
        return PF_Err_INVALID_INDEX;
    }
    if (timeStep <= 0 || timeScale == 0)
    {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const A_long serial = nextSerial_++;
    Lent lent;
    lent.index = index;
    param = entries_[index]->def;
    param.uu.change_flags = PF_ChangeFlag_NONE;
    if (index == 0)
    {
        if (commandLayer_.world && commandLayer_.time == time &&
            commandLayer_.timeStep == timeStep && commandLayer_.timeScale == timeScale)
        {
            lent.world = commandLayer_.world;
        }
        else
        {
            try
            {
                lent.world = LayerFrame(time, timeStep, timeScale);
            }
            catch (const std::bad_alloc&)
            {
                throw;
            }
            catch (const std::exception& error)
            {
                // The layer source failed (a file gone or unreadable). The
                // effect only learns that the checkout failed; the host keeps
                // the reason for its user.
                host_.SetLayerError(error.what());
                return PF_Err_INTERNAL_STRUCT_DAMAGED;
            }
        }
        param.param_type = PF_Param_LAYER;
        param.u.ld = lent.world->Def();
        ++layerCheckouts_;
        layerTimes_.push_back(time);
    }
    // The serial lets checkin find what it gives back; an effect leaves this
    // field alone.
    param.unused = serial;
    lent_.emplace(serial, std::move(lent));
    ++totalCheckouts_;
    return PF_Err_NONE;
}

PF_Err Parameters::Checkin(const PF_ParamDef& param)
{
    const auto found = lent_.find(param.unused);
    const World* world = found == lent_.end() ? nullptr : found->second.world.get();
    if (found == lent_.end() || (world && param.u.ld.data != world->Def().data))
    {
        host_.Report(MessageKind::Defect, "checkin_param of a parameter that is not checked out");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // The world goes back to the spares (or to its source) with its last
    // holder.
    lent_.erase(found);
    return PF_Err_NONE;
}

Parameters::CommandLayer Parameters::ShareCommandLayer(CommandLayer layer) noexcept
{
    return std::exchange(commandLayer_, std::move(layer));
}

CheckoutAccounting Parameters::Checkouts() const
{
    CheckoutAccounting accounting;
    accounting.outstanding = static_cast<int>(lent_.size());
    accounting.total = totalCheckouts_;
    accounting.layerCheckouts = layerCheckouts_;
    accounting.layerTimes = layerTimes_;
    return accounting;
}

} // namespace EffectHost
