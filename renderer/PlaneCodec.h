#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct libdeflate_compressor;
struct libdeflate_decompressor;

// Deflates and inflates stored planes as zlib streams at level 1 with
// libdeflate, which writes the same kind of stream as zlib's compress2 in
// about half the time. Results are zlib's codes, so that the store's errors
// read "Zlib error %d" whichever library made the stream. One codec per thread: libdeflate's
// state must not be shared between threads.
class PlaneCodec
{
  public:
    PlaneCodec() noexcept;
    ~PlaneCodec();
    PlaneCodec(const PlaneCodec&) = delete;
    PlaneCodec& operator=(const PlaneCodec&) = delete;

    // Deflates `length` bytes into `output`, which is resized to the stream's
    // length. Z_OK; Z_MEM_ERROR when no compressor can be had; Z_BUF_ERROR
    // when the stream does not fit its bound. Throws std::bad_alloc.
    int Compress(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& output);

    // Inflates a stream that must give exactly `length` bytes into `output`
    // (resized to `length`). Z_OK; Z_DATA_ERROR for a damaged stream or one
    // that gives fewer bytes; Z_BUF_ERROR for one that gives more;
    // Z_MEM_ERROR when no decompressor can be had. Throws std::bad_alloc.
    int Extract(const std::uint8_t* stream, std::size_t streamLength, std::size_t length,
                std::vector<std::uint8_t>& output);

  private:
    struct CompressorDeleter
    {
        void operator()(libdeflate_compressor* compressor) const noexcept;
    };
    struct DecompressorDeleter
    {
        void operator()(libdeflate_decompressor* decompressor) const noexcept;
    };

    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor_;
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor_;
};

// One thread beside the render thread that runs one task at a time, so that
// the second plane of a frame is deflated or inflated while the render thread
// works on the first. Host calls stay on the render thread: tasks only touch
// memory the render thread has prepared and waits for.
class PlaneWorker
{
  public:
    PlaneWorker() = default;
    // Finishes the queued tasks, then ends the thread.
    ~PlaneWorker();
    PlaneWorker(const PlaneWorker&) = delete;
    PlaneWorker& operator=(const PlaneWorker&) = delete;

    // Queues `task` for the worker, starting the thread on first use; tasks
    // run one at a time in the order given. The future ends with the task and
    // carries its exception. When no thread can be started the task runs on
    // the caller's thread before Run returns.
    std::future<void> Run(std::function<void()> task);

  private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

// Waits for a worker's task when it leaves scope, so that no way out of the
// render thread's half (an exception included) leaves the worker writing into
// memory that is about to go.
class WorkerTask
{
  public:
    explicit WorkerTask(std::future<void> future) noexcept : future_(std::move(future)) {}
    ~WorkerTask()
    {
        if (future_.valid())
        {
            future_.wait();
        }
    }
    WorkerTask(const WorkerTask&) = delete;
    WorkerTask& operator=(const WorkerTask&) = delete;

    // Waits and rethrows the task's exception.
    void Finish() { future_.get(); }

  private:
    std::future<void> future_;
};
