#pragma once

#include <atomic>

namespace EffectHost
{

// Turns the signals that ask a run to stop into a request to stop. While an
// InterruptHandler lives, SIGINT (Ctrl-C), SIGTERM, SIGHUP and SIGPIPE (the
// reader of a pipe we write went away) only raise its flag, which the host's
// abort and progress callbacks read (Host::SetAbortFlag), so the effect can
// stop where it stands and clean up; a write into the closed pipe then fails
// instead of ending the process. A second SIGINT, SIGTERM or SIGHUP ends the
// process at once, as the sender then insists. The previous handling is
// restored when it goes. One at a time per process.
class InterruptHandler
{
  public:
    // Throws std::logic_error when another one is alive, std::system_error
    // when the handler cannot be installed.
    InterruptHandler();
    ~InterruptHandler();
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

    const std::atomic<bool>& Flag() const noexcept;
    bool Raised() const noexcept { return Flag().load(); }
    // The first signal that raised the flag, 0 while none has.
    int Signal() const noexcept;
};

} // namespace EffectHost
