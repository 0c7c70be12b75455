#include "cli/Commands.h"

#include <algorithm>
#include <iostream>

#include "cli/EffectControls.h"
#include "cli/OutputFiles.h"
#include "cli/Preview.h"
#include "cli/PreviewOutputs.h"
#include "cli/Project.h"
#include "cli/Session.h"
#include "cli/view/View.h"

namespace CommandLine
{

namespace
{

const char* const ModuleHelp =
    "  --module PATH        the effect module to load (default: Ruzirazu.so beside\n"
    "                       this command)\n";

std::string AboutHelp()
{
    return std::string("Usage: ruzirazu about [--module PATH]\n"
                       "\n"
                       "Loads the effect, sets it up and prints its About text: name, version\n"
                       "and description.\n"
                       "\n"
                       "Options:\n") +
           ModuleHelp +
           "  --help               show this help\n"
           "\n"
           "Example:\n"
           "  ruzirazu about\n";
}

std::string ParamsHelp()
{
    return std::string("Usage: ruzirazu params [options]\n"
                       "\n"
                       "Applies the effect, changes its controls as a user would in the effect\n"
                       "controls panel, and prints one row per control: position, name, host id,\n"
                       "kind, current value, range, and whether it is enabled.\n"
                       "\n") +
           EffectOptionsHelp() +
           "\nOther options:\n"
           "  --project FILE       set the controls from a project file first; the options\n"
           "                       on the command line then change them further\n"
           "  --save-project FILE  save the controls as a project file (JSON)\n"
           "  --panel FILE         also write the effect controls panel as a PNG image\n" +
           ModuleHelp +
           "  --help               show this help\n"
           "\n"
           "Examples:\n"
           "  ruzirazu params --preset youtube --size 1920x1080\n"
           "  ruzirazu params --mode crf --crf 28 --panel panel.png\n"
           "  ruzirazu params --preset vimeo --size 1920x1080 --save-project look.json\n";
}

bool IsHelp(const std::string& option)
{
    return option == "--help" || option == "-h";
}

void PrintAboutText(const std::string& text)
{
    // The effect separates its lines with carriage returns, as a compositing
    // host's About box expects; a terminal wants line feeds.
    std::string lines = text;
    std::replace(lines.begin(), lines.end(), '\r', '\n');
    std::cout << lines << '\n';
}

} // namespace

const std::vector<Subcommand>& Subcommands()
{
    static const std::vector<Subcommand> subcommands{
        {"about", "print the effect's name, version and description", AboutHelp, RunAbout},
        {"params", "show the effect's controls after setting them as a user would", ParamsHelp,
         RunParams},
        {"preview", "render frames through the effect and write what it shows", PreviewHelp,
         RunPreview},
        {"view", "serve a live preview to a browser: scrub, flip, change controls", ViewHelp,
         RunView},
    };
    return subcommands;
}

int RunAbout(ArgumentReader& arguments)
{
    ModuleOptions module;
    while (!arguments.Done())
    {
        const std::string option = arguments.Next();
        if (IsHelp(option))
        {
            arguments.NoValue(option);
            std::cout << AboutHelp();
            return 0;
        }
        if (!ParseModuleOption(arguments, option, module))
        {
            throw UsageError("about: unknown option \"" + option + "\"");
        }
    }
    EffectSession session(module);
    const EffectHost::CommandResult about = session.Host().About();
    EffectSession::Check(about, "About");
    PrintAboutText(about.returnMessage);
    EffectSession::Check(session.Host().GlobalSetdown(), "global set-down");
    return 0;
}

int RunParams(ArgumentReader& arguments)
{
    ModuleOptions module;
    EffectSettings settings;
    std::string panelPath;
    OutputRequest request;
    while (!arguments.Done())
    {
        const std::string option = arguments.Next();
        if (IsHelp(option))
        {
            arguments.NoValue(option);
            std::cout << ParamsHelp();
            return 0;
        }
        if (option == "--panel")
        {
            panelPath = arguments.Value(option);
            if (panelPath.empty())
            {
                throw UsageError("--panel needs a file name");
            }
            continue;
        }
        // Of the preview's output options, only the project files mean
        // anything without rendering.
        if ((option == "--project" || option == "--save-project") &&
            ParseOutputOption(arguments, option, request))
        {
            continue;
        }
        if (!ParseModuleOption(arguments, option, module) &&
            !ParseEffectOption(arguments, option, settings))
        {
            throw UsageError("params: unknown option \"" + option + "\"");
        }
    }
    CheckOutputFiles(request);
    if (!panelPath.empty())
    {
        AsRunError([&] { CheckFileCanBeWritten(panelPath); });
    }
    EffectSession session(module);
    if (settings.layerSize)
    {
        // Before the effect is applied, so that it sees the layer it will work on.
        session.Host().SetLayerSize(settings.layerSize->first, settings.layerSize->second);
    }
    session.Apply();
    ApplyProject(session.Host(), request);
    ApplyEffectSettings(session.Host(), settings);
    std::cout << DescribeControls(session.Host());
    AsRunError(
        [&]
        {
            if (!panelPath.empty())
            {
                WriteAtomically(panelPath, [&](const std::filesystem::path& temporary)
                                { session.Host().WritePanel(temporary.string()); });
            }
            if (request.saveProject)
            {
                SaveProject(session.Host(), *request.saveProject);
            }
        });
    EffectSession::Check(session.Host().GlobalSetdown(), "global set-down");
    return 0;
}

namespace
{

std::string MainHelp()
{
    std::string text = "Usage: ruzirazu COMMAND [options]\n"
                       "\n"
                       "Drives the Ruzirazu effect, which previews H.264 compression, through a\n"
                       "host of its own.\n"
                       "\n"
                       "Commands:\n";
    for (const Subcommand& subcommand : Subcommands())
    {
        std::string name = subcommand.name;
        name.resize(std::max<std::size_t>(name.size(), 10), ' ');
        text += "  " + name + " " + subcommand.summary + "\n";
    }
    text += "\n"
            "  ruzirazu COMMAND --help   help for one command\n"
            "  ruzirazu --version        the version\n"
            "\n"
            "Examples:\n"
            "  ruzirazu about\n"
            "  ruzirazu params --preset vimeo --size 1280x720\n"
            "  ruzirazu preview --preset youtube --frames 0-29\n";
    return text;
}

} // namespace

int Run(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
    {
        throw UsageError("no command given (try ruzirazu --help)");
    }
    const std::string& first = arguments.front();
    if (IsHelp(first))
    {
        std::cout << MainHelp();
        return 0;
    }
    if (first == "--version")
    {
        std::cout << "ruzirazu " << RUZIRAZU_VERSION << '\n';
        return 0;
    }
    for (const Subcommand& subcommand : Subcommands())
    {
        if (first == subcommand.name)
        {
            ArgumentReader reader({arguments.begin() + 1, arguments.end()});
            return subcommand.run(reader);
        }
    }
    throw UsageError("unknown command \"" + first + "\" (try ruzirazu --help)");
}

} // namespace CommandLine
