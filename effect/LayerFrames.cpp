#include "effect/LayerFrames.h"

#include "framework/Handles.h"
#include "framework/Parameters.h"

namespace
{

// A host memory handle as the renderer's memory.
class HostMemoryBlock final : public MemoryBlock
{
  public:
    explicit HostMemoryBlock(HostHandle handle) noexcept : handle_(std::move(handle)) {}
    std::uint64_t Size() const noexcept override { return handle_.GetSize(); }
    std::shared_ptr<void> Lock() override { return handle_.Lock(); }

  private:
    HostHandle handle_;
};

PixelView ViewOf(Plugin& plugin, PF_EffectWorld* world)
{
    return PixelView{reinterpret_cast<std::uint8_t*>(plugin.GetPixelData8(world)), world->width,
                     world->height, world->rowbytes};
}

} // namespace

LentFrame LayerFrames::Checkout(std::int32_t time)
{
    auto layer = std::make_shared<ParameterCheckout>(plugin_.CheckoutInputLayer(time));
    PF_LayerDef* world = GetParameterValue<PF_LayerDef*>(layer->def());
    return LentFrame{ViewOf(plugin_, world), std::move(layer)};
}

void LayerFrames::ReportProgress(std::int32_t done, std::int32_t total)
{
    plugin_.ReportProgress(done, total);
}

void LayerFrames::CheckAbort()
{
    plugin_.CheckAbort();
}

std::unique_ptr<MemoryBlock> LayerFrames::Allocate(std::uint64_t size)
{
    HostHandle handle(size);
    if (!handle)
    {
        return nullptr;
    }
    return std::make_unique<HostMemoryBlock>(std::move(handle));
}

void LayerFrames::SegmentEncoded()
{
    plugin_.UpdateParametersUi();
}

PixelView LayerFrames::Output()
{
    return ViewOf(plugin_, plugin_.GetOutput());
}
