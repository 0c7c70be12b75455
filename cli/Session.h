#pragma once

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/Options.h"
#include "host/Host.h"

namespace CommandLine
{

// A failure while running: one line on stderr, exit 1.
class RunError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// A signal stopped the run: Ctrl-C (SIGINT), SIGTERM, SIGHUP, or SIGPIPE
// when the reader of standard output went away. Exits with 128 + the
// signal's number, as a shell reports a process the signal ended.
class Interrupted : public std::runtime_error
{
  public:
    explicit Interrupted(int signal);

    int ExitCode() const noexcept { return 128 + signal_; }

  private:
    int signal_;
};

// Runs `action`, turning a library's or a file's failure into a RunError
// with the same text; UsageError and RunError go on as they are.
template <typename Action> void AsRunError(Action&& action)
{
    try
    {
        action();
    }
    catch (const RunError&)
    {
        throw;
    }
    catch (const UsageError&)
    {
        throw;
    }
    catch (const std::exception& error)
    {
        throw RunError(error.what());
    }
}

// Ruzirazu.so in the folder of the running command.
std::string DefaultModulePath();

// The module loaded into a host and globally set up; set down and unloaded
// when the session ends. The host's warnings and defects go to stderr.
class EffectSession
{
  public:
    // Throws RunError when the module cannot be loaded or its set-up fails.
    explicit EffectSession(const ModuleOptions& options);
    ~EffectSession();
    EffectSession(const EffectSession&) = delete;
    EffectSession& operator=(const EffectSession&) = delete;

    EffectHost::Host& Host() noexcept { return *host_; }

    // Applies the effect (PARAMS_SETUP), then asks it once for its controls'
    // states (UPDATE_PARAMS_UI), so that listings and panels show what the
    // effect enables and disables. Throws RunError.
    void Apply();

    // Throws RunError when the command failed or the effect showed an error.
    static void Check(const EffectHost::CommandResult& result, const std::string& what);

  private:
    std::unique_ptr<EffectHost::Host> host_;
};

} // namespace CommandLine
