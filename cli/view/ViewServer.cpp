#include "cli/view/ViewServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <httplib.h>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include <fmt/format.h>

#include "cli/EffectControls.h"
#include "cli/Session.h"
#include "cli/view/EffectThread.h"
#include "cli/view/WebAssets.h"

namespace CommandLine
{

namespace
{

using Json = nlohmann::json;

// Long polls and frame requests that wait on an encode each hold a thread.
constexpr std::size_t ServerThreads = 16;
// A control change is a few dozen bytes of JSON.
constexpr std::size_t LargestBody = 4096;
constexpr std::size_t LargestItem = 256;

// A request the server will not act on: 400 with the message.
class BadRequest : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

std::string NewToken()
{
    std::random_device random;
    std::string token;
    for (int i = 0; i < 4; ++i)
    {
        token += fmt::format("{:08x}", random());
    }
    return token;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Compares in time that depends only on the lengths, so that a guess learns
// nothing from how soon it is refused.
bool SameSecret(const std::string& given, const std::string& secret)
{
    if (given.size() != secret.size())
    {
        return false;
    }
    unsigned difference = 0;
    for (std::size_t i = 0; i < secret.size(); ++i)
    {
        difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(secret[i]);
    }
    return difference == 0;
}

std::string CookieValue(const std::string& header, const std::string& name)
{
    std::size_t start = 0;
    while (start < header.size())
    {
        std::size_t end = header.find(';', start);
        if (end == std::string::npos)
        {
            end = header.size();
        }
        std::size_t first = header.find_first_not_of(' ', start);
        if (first < end)
        {
            const std::string pair = header.substr(first, end - first);
            const std::size_t equals = pair.find('=');
            if (equals != std::string::npos && pair.substr(0, equals) == name)
            {
                return pair.substr(equals + 1);
            }
        }
        start = end + 1;
    }
    return {};
}

void SendJson(httplib::Response& response, int status, const std::string& body)
{
    response.status = status;
    response.set_content(body, "application/json");
}

void SendError(httplib::Response& response, int status, const std::string& message)
{
    SendJson(response, status, Json{{"error", message}}.dump());
}

void Send(httplib::Response& response, const Reply& reply)
{
    response.status = reply.status;
    if (reply.width > 0)
    {
        response.set_header("X-Frame-Width", fmt::format("{}", reply.width));
        response.set_header("X-Frame-Height", fmt::format("{}", reply.height));
        response.set_header("X-Frame-Channels", fmt::format("{}", reply.channels));
        response.set_header("Server-Timing",
                            fmt::format("render;dur={:.2f}, encode;dur={:.2f}, total;dur={:.2f}",
                                        reply.renderMs, reply.encodeMs, reply.totalMs));
    }
    response.set_header("Content-Type", reply.contentType);
    response.body = reply.body;
}

// Only the parameters a route knows, each at most once.
void AllowParameters(const httplib::Request& request, const std::set<std::string>& known)
{
    for (const auto& [name, value] : request.params)
    {
        if (name != "token" && known.count(name) == 0)
        {
            throw BadRequest(fmt::format("Unknown parameter \"{}\"", name.substr(0, 40)));
        }
        if (request.get_param_value_count(name) > 1)
        {
            throw BadRequest(fmt::format("Parameter \"{}\" is given twice", name.substr(0, 40)));
        }
    }
}

long long Whole(const httplib::Request& request, const std::string& name, long long low,
                long long high)
{
    if (!request.has_param(name))
    {
        throw BadRequest(fmt::format("Parameter \"{}\" is missing", name));
    }
    const std::string text = request.get_param_value(name);
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
    {
        throw BadRequest(
            fmt::format("Parameter \"{}\" must be a whole number from {} to {}", name, low, high));
    }
    const long long value = std::stoll(text);
    if (value < low || value > high)
    {
        throw BadRequest(
            fmt::format("Parameter \"{}\" must be a whole number from {} to {}", name, low, high));
    }
    return value;
}

ControlChange ParseChange(const std::string& body)
{
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object())
    {
        throw BadRequest("The body must be a JSON object");
    }
    ControlChange change;
    int given = 0;
    for (const auto& [key, value] : json.items())
    {
        if (key == "position")
        {
            if (!value.is_number_integer() || value.get<long long>() < 1 ||
                value.get<long long>() > 10000)
            {
                throw BadRequest("\"position\" must be a control's position, a whole number");
            }
            change.position = value.get<int>();
        }
        else if (key == "value")
        {
            if (!value.is_number() && !value.is_boolean())
            {
                throw BadRequest("\"value\" must be a number");
            }
            const double number =
                value.is_boolean() ? (value.get<bool>() ? 1.0 : 0.0) : value.get<double>();
            if (!std::isfinite(number))
            {
                throw BadRequest("\"value\" must be a finite number");
            }
            change.value = number;
            ++given;
        }
        else if (key == "item")
        {
            if (!value.is_string() || value.get<std::string>().size() > LargestItem)
            {
                throw BadRequest("\"item\" must be the text of a popup item");
            }
            change.item = value.get<std::string>();
            ++given;
        }
        else if (key == "press")
        {
            if (value != true)
            {
                throw BadRequest("\"press\" can only be true");
            }
            change.press = true;
            ++given;
        }
        else
        {
            throw BadRequest(fmt::format("Unknown field \"{}\"", key.substr(0, 40)));
        }
    }
    if (change.position == 0 || given != 1)
    {
        throw BadRequest("A change names a \"position\" and one of \"value\", \"item\", \"press\"");
    }
    return change;
}

// Runs a route, turning a bad request into 400 and anything else into 500,
// so that no exception reaches the library's threads.
template <typename Body> httplib::Server::Handler Guarded(Body body)
{
    return [body](const httplib::Request& request, httplib::Response& response)
    {
        try
        {
            body(request, response);
        }
        catch (const BadRequest& error)
        {
            SendError(response, 400, error.what());
        }
        catch (const std::exception& error)
        {
            SendError(response, 500, error.what());
        }
    };
}

void Asset(httplib::Response& response, const std::uint8_t* bytes, std::size_t size,
           const char* type)
{
    response.set_content(reinterpret_cast<const char*>(bytes), size, type);
}

} // namespace

ViewServer::ViewServer(EffectThread& effect, const ListenOptions& options)
    : effect_(effect), token_(NewToken())
{
    const bool loopback = options.address.empty();
    std::vector<std::string> addresses;
    if (loopback)
    {
        addresses = {"127.0.0.1", "::1"};
    }
    else
    {
        addresses = {options.address};
    }
    port_ = options.port;
    for (std::size_t i = 0; i < addresses.size(); ++i)
    {
        auto server = std::make_unique<httplib::Server>();
        Configure(*server);
        const std::string& address = addresses[i];
        bool bound = false;
        if (port_ == 0)
        {
            port_ = server->bind_to_any_port(address);
            bound = port_ > 0;
            if (!bound)
            {
                port_ = 0;
            }
        }
        else
        {
            bound = server->bind_to_port(address, port_);
        }
        if (!bound)
        {
            if (loopback && i > 0)
            {
                // A machine without IPv6 still has the IPv4 loopback.
                std::cerr << "ruzirazu: note: not listening on [::1]:" << port_
                          << " (IPv6 loopback unavailable); 127.0.0.1 serves\n";
                continue;
            }
            throw RunError(fmt::format("Cannot listen on {} port {} (in use, or not an address "
                                       "of this machine)",
                                       address, options.port));
        }
        servers_.push_back(std::move(server));
    }
    const std::string port = fmt::format("{}", port_);
    cookieName_ = "ruzirazu_view_" + port;
    if (loopback)
    {
        urlHost_ = "127.0.0.1";
        allowedHosts_ = {"127.0.0.1:" + port, "localhost:" + port, "[::1]:" + port};
    }
    else
    {
        urlHost_ = options.address.find(':') != std::string::npos ? "[" + options.address + "]"
                                                                  : options.address;
        allowedHosts_ = {Lower(urlHost_) + ":" + port};
    }
    for (auto& server : servers_)
    {
        httplib::Server* listening = server.get();
        listeners_.emplace_back([listening] { listening->listen_after_bind(); });
    }
    // stop() only reaches a server whose loop has begun.
    for (auto& server : servers_)
    {
        while (!server->is_running())
        {
            std::this_thread::yield();
        }
    }
}

ViewServer::~ViewServer()
{
    Stop();
}

std::string ViewServer::Url() const
{
    return fmt::format("http://{}:{}/?token={}", urlHost_, port_, token_);
}

std::string ViewServer::HostHeader() const
{
    return fmt::format("{}:{}", urlHost_, port_);
}

void ViewServer::Stop()
{
    effect_.Stop();
    for (auto& server : servers_)
    {
        server->stop();
    }
    for (auto& listener : listeners_)
    {
        if (listener.joinable())
        {
            listener.join();
        }
    }
}

void ViewServer::Configure(httplib::Server& server)
{
    server.new_task_queue = [] { return new httplib::ThreadPool(ServerThreads); };
    server.set_payload_max_length(LargestBody);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_timeout(2);
    // A frame goes out as headers then body; without this the body can wait
    // for the acknowledgement of the headers.
    server.set_tcp_nodelay(true);

    server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response)
        {
            // A page elsewhere that makes its name resolve to this machine
            // (DNS rebinding) still sends its own name here.
            const std::string host = Lower(request.get_header_value("Host"));
            if (std::find(allowedHosts_.begin(), allowedHosts_.end(), host) == allowedHosts_.end())
            {
                SendError(response, 403, "Refused: the Host header does not name this server");
                return httplib::Server::HandlerResponse::Handled;
            }
            const std::string origin = request.get_header_value("Origin");
            if (!origin.empty() && Lower(origin) != "http://" + host)
            {
                SendError(response, 403, "Refused: the request comes from another site");
                return httplib::Server::HandlerResponse::Handled;
            }
            const bool tokenInUrl = SameSecret(request.get_param_value("token"), token_);
            if (!tokenInUrl &&
                !SameSecret(CookieValue(request.get_header_value("Cookie"), cookieName_), token_))
            {
                SendError(response, 403,
                          "Refused: open the address with the token that ruzirazu view printed");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    server.set_post_routing_handler(
        [](const httplib::Request&, httplib::Response& response)
        {
            response.set_header("Cache-Control", "no-store");
            response.set_header("X-Content-Type-Options", "nosniff");
            response.set_header("Referrer-Policy", "no-referrer");
            response.set_header("Content-Security-Policy",
                                "default-src 'self'; img-src 'self' data: blob:; "
                                "frame-ancestors 'none'; form-action 'none'");
        });
    server.set_error_handler(
        [](const httplib::Request&, httplib::Response& response)
        {
            if (response.body.empty())
            {
                SendError(response, response.status,
                          response.status == 404 ? "Not found" : "Bad request");
            }
        });

    server.Get("/", Guarded(
                        [this](const httplib::Request& request, httplib::Response& response)
                        {
                            AllowParameters(request, {});
                            if (SameSecret(request.get_param_value("token"), token_))
                            {
                                response.set_header("Set-Cookie",
                                                    cookieName_ + "=" + token_ +
                                                        "; Path=/; HttpOnly; SameSite=Strict");
                            }
                            Asset(response, ViewIndexHtml, ViewIndexHtmlSize,
                                  "text/html; charset=utf-8");
                        }));
    server.Get("/view.js", Guarded(
                               [](const httplib::Request& request, httplib::Response& response)
                               {
                                   AllowParameters(request, {});
                                   Asset(response, ViewScript, ViewScriptSize,
                                         "text/javascript; charset=utf-8");
                               }));
    server.Get("/view.css", Guarded(
                                [](const httplib::Request& request, httplib::Response& response)
                                {
                                    AllowParameters(request, {});
                                    Asset(response, ViewStyle, ViewStyleSize,
                                          "text/css; charset=utf-8");
                                }));
    server.Get("/api/state",
               Guarded(
                   [this](const httplib::Request& request, httplib::Response& response)
                   {
                       AllowParameters(request, {"after"});
                       std::optional<std::uint64_t> after;
                       if (request.has_param("after"))
                       {
                           after =
                               static_cast<std::uint64_t>(Whole(request, "after", 0, 1LL << 53));
                       }
                       SendJson(response, 200, effect_.State(after));
                   }));
    server.Get("/api/frame",
               Guarded(
                   [this](const httplib::Request& request, httplib::Response& response)
                   {
                       AllowParameters(request, {"n", "view", "ahead", "pixels"});
                       const auto frame =
                           static_cast<A_long>(Whole(request, "n", 0, effect_.FrameCount() - 1));
                       const std::string view =
                           request.has_param("view") ? request.get_param_value("view") : "output";
                       if (view != "output" && view != "input")
                       {
                           throw BadRequest("Parameter \"view\" must be output or input");
                       }
                       const bool ahead =
                           request.has_param("ahead") && Whole(request, "ahead", 0, 1) == 1;
                       const std::string pixels =
                           request.has_param("pixels") ? request.get_param_value("pixels") : "rgba";
                       if (pixels != "rgba" && pixels != "rgb")
                       {
                           throw BadRequest("Parameter \"pixels\" must be rgba or rgb");
                       }
                       const bool rgb = pixels == "rgb";
                       const FrameView which =
                           view == "output" ? FrameView::Output : FrameView::Input;
                       const auto start = std::chrono::steady_clock::now();
                       Reply reply = ahead ? effect_.FrameAhead(frame, which, rgb)
                                           : effect_.Frame(frame, which, rgb);
                       reply.totalMs = std::chrono::duration<double, std::milli>(
                                           std::chrono::steady_clock::now() - start)
                                           .count();
                       Send(response, reply);
                   }));
    server.Get("/api/area",
               Guarded(
                   [this](const httplib::Request& request, httplib::Response& response)
                   {
                       AllowParameters(request, {"name"});
                       const std::string name =
                           request.has_param("name") ? request.get_param_value("name") : "";
                       if (name != "about" && name != "information")
                       {
                           throw BadRequest("Parameter \"name\" must be about or information");
                       }
                       Send(response,
                            effect_.Area(name == "about" ? HostIdAbout : HostIdInformation));
                   }));
    server.Post("/api/control",
                Guarded(
                    [this](const httplib::Request& request, httplib::Response& response)
                    {
                        AllowParameters(request, {});
                        Send(response, effect_.Change(ParseChange(request.body)));
                    }));
    server.Post("/api/current",
                Guarded(
                    [this](const httplib::Request& request, httplib::Response& response)
                    {
                        AllowParameters(request, {"n"});
                        Send(response, effect_.Show(static_cast<A_long>(
                                           Whole(request, "n", 0, effect_.FrameCount() - 1))));
                    }));
    server.Post("/api/cancel",
                Guarded(
                    [this](const httplib::Request& request, httplib::Response& response)
                    {
                        AllowParameters(request, {});
                        SendJson(response, 200, Json{{"cancelled", effect_.Cancel()}}.dump());
                    }));
}

} // namespace CommandLine
