// The project file through the real module: saved from one instance of the
// effect, loaded into a fresh one.
#include "cli/Project.h"
#include "cli/EffectControls.h"
#include "cli/Json.h"
#include "cli/OutputFiles.h"
#include "cli/Session.h"
#include "tests/cli/CliTest.h"

using namespace CommandLine;
using CliTest::Scratch;

namespace
{

// A fresh instance of the effect applied to a 1280 x 720 layer.
std::unique_ptr<EffectSession> Applied()
{
    ModuleOptions options;
    options.modulePath = RUZIRAZU_MODULE_PATH;
    auto session = std::make_unique<EffectSession>(options);
    session->Host().SetLayerSize(1280, 720);
    session->Apply();
    return session;
}

double ValueOf(const std::vector<ControlValue>& controls, A_long hostId)
{
    const auto found =
        std::find_if(controls.begin(), controls.end(),
                     [&](const ControlValue& control) { return control.hostId == hostId; });
    return found == controls.end() ? -1 : found->value; // -1: no control has that id
}

std::string Id(A_long hostId)
{
    return std::to_string(hostId);
}

// The message of the error that loading the file throws, or "accepted".
template <typename Error>
std::string Refusal(EffectHost::Host& host, const std::filesystem::path& path)
{
    try
    {
        LoadProject(host, path);
    }
    catch (const Error& error)
    {
        return error.what();
    }
    return "accepted";
}

} // namespace

// Settings keyed by host id come back in a fresh instance. The preset goes
// first, so the saved bitrate wins whatever the order in the file. An unknown
// id is skipped with a warning. A value outside its range, a file of another
// effect and what is not JSON are refused; escapes decode to UTF-8, a
// surrogate pair to one four-byte character.
TEST(ProjectFile, SettingsComeBackThePresetGoesFirstUnknownIdsAreSkippedAndBadFilesAreRefused)
{
    const auto folder = Scratch();
    const auto path = folder / "look.json";
    {
        auto session = Applied();
        EffectSettings settings;
        settings.preset = "manual";
        settings.mode = "crf";
        settings.rateFactor = 31;
        settings.segmentLength = 20;
        settings.keyFrameInterval = 45;
        settings.useBFrames = false;
        ApplyEffectSettings(session->Host(), settings);
        SaveProject(session->Host(), path);
        const std::string text = ReadTextFile(path);
        const Json project = Json::parse(text);
        EXPECT_EQ(project.at("effect").at("matchName"), session->Host().Properties().matchName);
        EXPECT_EQ(project.at("effect").at("version"), session->Host().Properties().effectVersion);
        const Json& controls = project.at("controls");
        EXPECT_EQ(controls.at(Id(HostIdSegmentLength)).at("value"), 20);
        EXPECT_NE(text.find("\"value\": 20\n"), std::string::npos) << "whole values as integers";
        EXPECT_EQ(controls.at(Id(HostIdPresets)).at("item"), "None (Manual)");
        // Areas hold no value and are not saved.
        EXPECT_FALSE(controls.contains(Id(HostIdInformation)));
        EXPECT_FALSE(controls.contains(Id(HostIdAbout)));
    }
    auto session = Applied();
    EXPECT_TRUE(LoadProject(session->Host(), path).empty());
    // The preview's saved-project run compares every control; these differ from the defaults.
    const std::vector<ControlValue> loaded = ReadControls(session->Host());
    EXPECT_EQ(std::tuple(ValueOf(loaded, HostIdRateFactor), ValueOf(loaded, HostIdSegmentLength),
                         ValueOf(loaded, HostIdUseBFrames),
                         ValueOf(loaded, HostIdKeyFrameInterval)),
              std::tuple(31, 20, 0, 45));

    const Json base = Json::parse(ReadTextFile(path));

    const auto write = [&](const std::string& name, const Json& project)
    {
        WriteTextFile(folder / name, project.dump());
        return folder / name;
    };

    // The bitrate ahead of the preset, which sets its own.
    Json ordered = base;
    ordered["controls"] = Json::object();
    ordered["controls"][Id(HostIdTargetBitrate)]["value"] = 2345;
    ordered["controls"][Id(HostIdPresets)]["value"] = 2; // YouTube (Standard Quality)
    EXPECT_TRUE(LoadProject(session->Host(), write("ordered.json", ordered)).empty());
    EXPECT_EQ(ValueOf(ReadControls(session->Host()), HostIdPresets), 2);
    EXPECT_EQ(ValueOf(ReadControls(session->Host()), HostIdTargetBitrate), 2345);

    Json unknown = base;
    unknown.at("controls")["99"] = {{"name", "whatever"}, {"value", 3}};
    unknown.at("controls")[Id(HostIdSegmentLength)] = {{"value", 40}};
    const std::vector<std::string> warnings =
        LoadProject(session->Host(), write("unknown.json", unknown));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("\"99\""), std::string::npos) << warnings[0];
    EXPECT_EQ(ValueOf(ReadControls(session->Host()), HostIdSegmentLength), 40);

    Json range = base;
    range.at("controls")[Id(HostIdSegmentLength)] = {{"name", "whatever"}, {"value", 5000}};
    const std::string tooLong = Refusal<UsageError>(session->Host(), write("range.json", range));
    EXPECT_NE(tooLong.find("Segment Length"), std::string::npos) << tooLong;
    EXPECT_NE(tooLong.find("2000"), std::string::npos) << tooLong;

    Json other = base;
    other.at("effect")["matchName"] = "Some Other Effect";
    EXPECT_THROW(LoadProject(session->Host(), write("other.json", other)), RunError);
    EXPECT_THROW(LoadProject(session->Host(), folder / "missing.json"), RunError);
    EXPECT_THROW(LoadProject(session->Host(), write("list.json", Json::array({1, 2}))), RunError);
    WriteTextFile(folder / "broken.json", "{\"effect\": {\n");
    EXPECT_NE(Refusal<RunError>(session->Host(), folder / "broken.json").find("line 2"),
              std::string::npos);

    const std::string matchName = session->Host().Properties().matchName;
    const auto effect = [&](const std::string& text)
    {
        WriteTextFile(folder / "look.json", "{\"effect\": {" + text + "}, \"controls\": {}}");
        return Refusal<RunError>(session->Host(), folder / "look.json");
    };
    EXPECT_NE(effect(R"("matchName": "Clap \ud83c\udfac \u00e9")")
                  .find("Clap \xF0\x9F\x8E\xAC \xC3\xA9\""),
              std::string::npos);
    for (const std::string& text : {"\"matchName\": \"" + matchName + "\\ud83c\"",
                                    "\"matchName\": \"" + matchName + "\", \"version\": [01]"})
    {
        EXPECT_NE(effect(text).find("is not valid JSON: line 1, column"), std::string::npos)
            << text << ": " << effect(text);
    }
}
