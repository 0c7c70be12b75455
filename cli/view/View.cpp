#include "cli/view/View.h"

#include <csignal>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>

#include <iostream>

#include "cli/Input.h"
#include "cli/Preview.h"
#include "cli/Session.h"
#include "cli/view/EffectThread.h"
#include "cli/view/ViewServer.h"

extern char** environ;

namespace CommandLine
{

namespace
{

struct ViewOptions
{
    ModuleOptions module;
    EffectSettings effect;
    InputOptions input;
    int downsample = 1;
    ListenOptions listen;
    bool open = false;
};

bool ParseViewOption(ArgumentReader& reader, const std::string& option, ViewOptions& options)
{
    if (option == "--resolution")
    {
        options.downsample = ParseResolution(option, reader.Value(option));
    }
    else if (option == "--port")
    {
        const int port = ParseInteger(option, reader.Value(option));
        if (port < 0 || port > 65535)
        {
            throw UsageError("--port must be 0 (a free port) to 65535");
        }
        options.listen.port = port;
    }
    else if (option == "--listen")
    {
        options.listen.address = reader.Value(option);
        const std::string& address = options.listen.address;
        if (address.empty() || address == "0.0.0.0" || address == "::" || address == "[::]")
        {
            throw UsageError("--listen needs the address that the browser will use (the server "
                             "refuses requests that name another), not a wildcard");
        }
        if (address.front() == '[' && address.back() == ']')
        {
            options.listen.address = address.substr(1, address.size() - 2);
        }
    }
    else if (option == "--open")
    {
        reader.NoValue(option);
        options.open = true;
    }
    else
    {
        return false;
    }
    return true;
}

// Blocks SIGINT and SIGTERM in this thread and every thread started after,
// so that only sigwait sees them; the old mask comes back at the end.
class SignalWait
{
  public:
    SignalWait()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    }
    ~SignalWait() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalWait(const SignalWait&) = delete;
    SignalWait& operator=(const SignalWait&) = delete;

    int Wait()
    {
        int signal = 0;
        while (sigwait(&set_, &signal) != 0)
        {
        }
        return signal;
    }

    // From now on a second Ctrl-C ends the process at once, as the user then
    // insists.
    void Release()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
    }

  private:
    sigset_t set_{};
    sigset_t previous_{};
};

void OpenInBrowser(const std::string& url)
{
    const char* arguments[] = {"xdg-open", url.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char* const*>(arguments),
                     environ) != 0)
    {
        std::cerr << "ruzirazu: warning: cannot run xdg-open; open the address yourself\n";
        return;
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    {
        std::cerr << "ruzirazu: warning: xdg-open could not open a browser; open the address "
                     "yourself\n";
    }
}

} // namespace

std::string ViewHelp()
{
    return std::string(
               "Usage: ruzirazu view [options]\n"
               "\n"
               "Applies the effect to a layer and serves a live preview to a browser on this\n"
               "machine: scrub the timeline, step frames, flip the effect off and on, wipe\n"
               "between input and preview, see the difference, change the controls and look\n"
               "again. Frames of an encoded segment come back from the effect's store without\n"
               "encoding. Prints the page's address, with a secret token, and serves until\n"
               "Ctrl-C.\n"
               "\n") +
           InputOptionsHelp() +
           "\n"
           "View:\n"
           "  --resolution R       full, half, third or quarter (default full)\n"
           "  --port N             the port (default: a free one)\n"
           "  --listen ADDR        listen on ADDR instead of 127.0.0.1 and ::1; anyone who\n"
           "                       reaches it with the address's token drives the effect\n"
           "  --open               open the page with xdg-open\n"
           "\n" +
           EffectOptionsHelp() +
           "\nOther options:\n"
           "  --module PATH        the effect module to load (default: Ruzirazu.so beside\n"
           "                       this command)\n"
           "  --help               show this help\n"
           "\n"
           "Keys on the page: Left/Right a frame, Shift+Left/Right a segment, Home/End,\n"
           "Space plays the stored frames.\n"
           "\n"
           "Exit codes: 1 the effect failed to start, 2 a usage mistake, 130 stopped with\n"
           "Ctrl-C, 143 stopped with SIGTERM.\n"
           "\n"
           "Examples:\n"
           "  ruzirazu view --open\n"
           "  ruzirazu view -i clip.mp4 --preset youtube\n"
           "  ruzirazu view -i shots/f_%04d.png --rate 25 --mode crf --crf 28 --port 8600\n";
}

int RunView(ArgumentReader& arguments)
{
    ViewOptions options;
    while (!arguments.Done())
    {
        const std::string option = arguments.Next();
        if (option == "--help" || option == "-h")
        {
            arguments.NoValue(option);
            std::cout << ViewHelp();
            return 0;
        }
        if (!ParseModuleOption(arguments, option, options.module) &&
            !ParseViewOption(arguments, option, options) &&
            !ParseInputOption(arguments, option, options.input) &&
            !ParseEffectOption(arguments, option, options.effect))
        {
            throw UsageError("view: unknown option \"" + option + "\"");
        }
    }
    // --size is the layer's size, which for the view is the built-in clip's.
    options.input.size = options.effect.layerSize;
    options.effect.layerSize.reset();

    // Before any thread starts, so that all of them inherit the mask.
    SignalWait signals;

    EffectThreadSetup setup;
    setup.module = options.module;
    setup.effect = options.effect;
    setup.input = OpenInput(options.input);
    setup.downsample = options.downsample;
    const std::string description = setup.input.description;
    EffectThread effect(std::move(setup));
    ViewServer server(effect, options.listen);

    if (!options.listen.address.empty())
    {
        std::cerr << "ruzirazu: warning: listening on " << options.listen.address
                  << ", not only on this machine's loopback: anyone who can reach it and has "
                     "the address's token can drive the effect, over unencrypted HTTP\n";
    }
    std::cerr << "Serving the live preview of " << description << "; Ctrl-C stops\n";
    std::cout << server.Url() << std::endl;
    if (options.open)
    {
        OpenInBrowser(server.Url());
    }

    const int signal = signals.Wait();
    signals.Release();
    server.Stop();
    std::cerr << "ruzirazu: " << (signal == SIGINT ? "interrupted" : "terminated") << '\n';
    return signal == SIGINT ? 130 : 143;
}

} // namespace CommandLine
