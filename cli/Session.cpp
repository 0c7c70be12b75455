#include "cli/Session.h"

#include <csignal>
#include <filesystem>
#include <iostream>

#include <fmt/format.h>

namespace CommandLine
{

namespace
{

std::string InterruptionText(int signal)
{
    switch (signal)
    {
    case SIGTERM:
        return "terminated";
    case SIGHUP:
        return "hung up";
    case SIGPIPE:
        return "the reader of standard output went away";
    default:
        return "interrupted";
    }
}

} // namespace

Interrupted::Interrupted(int signal)
    : std::runtime_error(InterruptionText(signal)), signal_(signal > 0 ? signal : SIGINT)
{
}

std::string DefaultModulePath()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
    {
        throw RunError("Cannot find the folder of the command: " + error.message());
    }
    return (self.parent_path() / "Ruzirazu.so").string();
}

EffectSession::EffectSession(const ModuleOptions& options)
    : host_(std::make_unique<EffectHost::Host>())
{
    host_->SetMessageSink(
        [](const EffectHost::HostMessage& message)
        {
            if (message.kind == EffectHost::MessageKind::Warning)
            {
                std::cerr << "ruzirazu: warning: " << message.text << '\n';
            }
            else if (message.kind == EffectHost::MessageKind::Defect)
            {
                std::cerr << "ruzirazu: the effect broke the host's rules: " << message.text
                          << '\n';
            }
        });
    const std::string path = options.modulePath.empty() ? DefaultModulePath() : options.modulePath;
    try
    {
        host_->LoadModule(path);
    }
    catch (const std::runtime_error& error)
    {
        throw RunError(error.what());
    }
    Check(host_->GlobalSetup(), "global set-up");
}

EffectSession::~EffectSession() = default;

void EffectSession::Apply()
{
    Check(host_->ParamsSetup(), "applying the effect");
    Check(host_->UpdateParamsUi(), "updating the controls");
}

void EffectSession::Check(const EffectHost::CommandResult& result, const std::string& what)
{
    if (!result.errorMessage.empty())
    {
        throw RunError(result.errorMessage);
    }
    if (result.error != PF_Err_NONE)
    {
        throw RunError(fmt::format("The effect failed {} with error {}", what, result.error));
    }
}

} // namespace CommandLine
