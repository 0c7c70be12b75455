#include "renderer/PlaneCodec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <system_error>

#include "support/System.h"

namespace
{

// The fastest level: the store trades a little size for deflating within a
// frame's encode time.
constexpr int CompressionLevel = 1;

} // namespace

void PlaneCodec::CompressorDeleter::operator()(libdeflate_compressor* compressor) const noexcept
{
    libdeflate_free_compressor(compressor);
}

void PlaneCodec::DecompressorDeleter::operator()(
    libdeflate_decompressor* decompressor) const noexcept
{
    libdeflate_free_decompressor(decompressor);
}

PlaneCodec::PlaneCodec() noexcept = default;

PlaneCodec::~PlaneCodec() = default;

int PlaneCodec::Compress(const std::uint8_t* data, std::size_t length,
                         std::vector<std::uint8_t>& output)
{
    if (!compressor_)
    {
        compressor_.reset(libdeflate_alloc_compressor(CompressionLevel));
        if (!compressor_)
        {
            return Z_MEM_ERROR;
        }
    }
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor_.get(), length);
    if (output.size() < bound)
    {
        output.resize(bound);
    }
    const std::size_t written =
        libdeflate_zlib_compress(compressor_.get(), data, length, output.data(), output.size());
    if (written == 0)
    {
        // What compress2 answers when the destination is too small.
        return Z_BUF_ERROR;
    }
    output.resize(written);
    return Z_OK;
}

int PlaneCodec::Extract(const std::uint8_t* stream, std::size_t streamLength, std::size_t length,
                        std::vector<std::uint8_t>& output)
{
    if (!decompressor_)
    {
        decompressor_.reset(libdeflate_alloc_decompressor());
        if (!decompressor_)
        {
            return Z_MEM_ERROR;
        }
    }
    output.resize(length);
    // No actual-length out parameter: a stream that gives fewer bytes than
    // the plane is refused instead of leaving stale scratch bytes on show.
    switch (libdeflate_zlib_decompress(decompressor_.get(), stream, streamLength, output.data(),
                                       length, nullptr))
    {
    case LIBDEFLATE_SUCCESS:
        return Z_OK;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        // uncompress's answer for a destination too small.
        return Z_BUF_ERROR;
    default:
        return Z_DATA_ERROR;
    }
}

PlaneWorker::~PlaneWorker()
{
    if (!thread_.joinable())
    {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

std::future<void> PlaneWorker::Run(std::function<void()> task)
{
    std::packaged_task<void()> packaged(std::move(task));
    std::future<void> future = packaged.get_future();
    // The thread first: a task handed over to no thread would never end.
    // Without a thread the task runs here; it is only slower.
    if (!thread_.joinable())
    {
        try
        {
            thread_ = std::thread(&PlaneWorker::Loop, this);
        }
        catch (const std::system_error&)
        {
            packaged();
            return future;
        }
    }
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(packaged));
    }
    wake_.notify_one();
    return future;
}

void PlaneWorker::Loop()
{
    // The render thread hands a worker a frame and goes on with the encoder;
    // a worker that took the processor from it on waking would stall x264
    // for the worker's sake. Where the system has no such class the worker
    // simply runs as any thread.
    Zovazaz::ScheduleThreadAsBatch();
    std::unique_lock lock(mutex_);
    for (;;)
    {
        wake_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
        if (!tasks_.empty())
        {
            std::packaged_task<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            // A packaged task keeps its exception for the future.
            task();
            lock.lock();
            continue;
        }
        return;
    }
}
