#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "host/Host.h"

namespace EffectHost
{

// The effect's parameters as the host keeps them: position 0 the input layer,
// then every def the effect added, with its current value, name and UI flags.
// Also the checkouts lent to the effect.
class Parameters
{
  public:
    explicit Parameters(Host& host);
    Parameters(const Parameters&) = delete;
    Parameters& operator=(const Parameters&) = delete;

    // Back to the input layer alone, as for a newly applied effect.
    void Reset();
    int Count() const noexcept { return static_cast<int>(entries_.size()); }
    const PF_ParamDef& At(int position) const; // throws std::out_of_range
    std::vector<std::string> PopupItems(int position) const;
    std::string ValueText(int position) const;
    bool IsEnabled(int position) const;
    int FindHostId(A_long hostId) const;
    int FindName(const std::string& name) const;
    const PF_CustomUIInfo* CustomUi() const noexcept { return customUi_ ? &*customUi_ : nullptr; }

    // The copies that one command hands the effect. The effect writes into
    // them (values and change flags); the host takes over what it marked.
    class CommandArray
    {
      public:
        PF_ParamDef** Pointers() noexcept { return pointers_.data(); }
        PF_ParamDef& operator[](int position) { return copies_.at(position); }
        int Size() const noexcept { return static_cast<int>(copies_.size()); }

      private:
        friend class Parameters;
        std::vector<PF_ParamDef> copies_;
        std::vector<PF_ParamDef*> pointers_;
    };
    // `layer` fills position 0 (null: the layer's size without pixels).
    std::unique_ptr<CommandArray> BeginCommand(const PF_EffectWorld* layer) const;
    // Takes over every value marked PF_ChangeFlag_CHANGED_VALUE.
    void TakeOverChanges(const CommandArray& array);

    // A user's change. An empty optional: accepted; else the refusal text.
    std::optional<std::string> Refusal(int position, double value) const;
    void Write(int position, double value);

    // ---- callbacks
    PF_Err Add(PF_ParamIndex index, const PF_ParamDef& def);
    PF_Err UpdateUi(PF_ParamIndex index, const PF_ParamDef& def);
    void RegisterUi(const PF_CustomUIInfo& info) { customUi_ = info; }
    PF_Err Checkout(PF_ParamIndex index, A_long time, A_long timeStep, A_u_long timeScale,
                    PF_ParamDef& param);
    PF_Err Checkin(const PF_ParamDef& param);

    CheckoutAccounting Checkouts() const;
    // The layer's frame at a time, at the current resolution: the source's
    // own world when it holds the frame (no copy), else a world the frame is
    // built into, whose memory goes back to the host's spares when the last
    // holder lets go.
    std::shared_ptr<const World> LayerFrame(A_long time, A_long timeStep, A_u_long timeScale) const;

    // While a command runs with the layer's frame at a time, a checkout of the
    // layer at that same time lends the command's world instead of reading
    // the frame again: a render of a stored frame then reads the layer once.
    // Checkouts lend pixels for reading only, so sharing them is safe.
    struct CommandLayer
    {
        std::shared_ptr<const World> world;
        A_long time = 0;
        A_long timeStep = 0;
        A_u_long timeScale = 0;
    };
    // Shares `layer` until the next call, which gets it back to restore it.
    CommandLayer ShareCommandLayer(CommandLayer layer) noexcept;

  private:
    struct Entry
    {
        PF_ParamDef def{};
        std::string text; // popup items, checkbox or button label, owned here
    };
    void PointAtText(Entry& entry) const noexcept;

    struct Lent
    {
        PF_ParamIndex index = 0;
        std::shared_ptr<const World> world; // the layer's frame, null for a control
    };

    Host& host_;
    std::vector<std::unique_ptr<Entry>> entries_;
    std::optional<PF_CustomUIInfo> customUi_;
    // A world of the given size, all zero as a new one, from the spares
    // when one fits; it goes back to them when its last holder lets go.
    std::shared_ptr<World> TakeWorld(A_long width, A_long height) const;

    std::map<A_long, Lent> lent_; // by serial
    // Frame-sized worlds given back, so that a checkout costs a copy rather
    // than an allocation whose fresh pages the kernel must map and clear.
    // Shared with the worlds' deleters, which give nothing back once the
    // host has gone.
    using Spares = std::vector<std::unique_ptr<World>>;
    std::shared_ptr<Spares> spareWorlds_ = std::make_shared<Spares>();
    A_long nextSerial_ = 1;
    int totalCheckouts_ = 0;
    int layerCheckouts_ = 0;
    std::vector<A_long> layerTimes_;
    CommandLayer commandLayer_;
};

} // namespace EffectHost
