#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace httplib
{
class Server;
}

namespace CommandLine
{

class EffectThread;

// Where the live view listens.
struct ListenOptions
{
    std::string address; // empty: 127.0.0.1 and ::1
    int port = 0;        // 0: a free port
};

// The live view's web server: the page, its scripts and its data, over the
// effect thread. Every request must name this server in its Host header and
// carry the run's token (in the URL, or in the cookie that the page's first
// load sets); otherwise it gets 403. Handlers never call the effect: they
// ask the effect thread and wait for its answer.
class ViewServer
{
  public:
    // Listens at once. Throws RunError when the address cannot be bound.
    ViewServer(EffectThread& effect, const ListenOptions& options);
    ~ViewServer();
    ViewServer(const ViewServer&) = delete;
    ViewServer& operator=(const ViewServer&) = delete;

    int Port() const noexcept { return port_; }
    const std::string& Token() const noexcept { return token_; }
    // The page's address with the token, for the user to open.
    std::string Url() const;
    // The Host header a browser sends for Url().
    std::string HostHeader() const;

    // Stops the effect thread (answering what waits), then the listeners.
    // Safe to call twice.
    void Stop();

  private:
    void Configure(httplib::Server& server);

    EffectThread& effect_;
    std::string token_;
    std::string cookieName_;
    std::string urlHost_; // 127.0.0.1, or the --listen address ([...] for IPv6)
    int port_ = 0;
    std::vector<std::string> allowedHosts_;
    std::vector<std::unique_ptr<httplib::Server>> servers_;
    std::vector<std::thread> listeners_;
};

} // namespace CommandLine
