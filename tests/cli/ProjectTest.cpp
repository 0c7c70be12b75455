#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/EffectControls.h"
#include "cli/Json.h"
#include "cli/OutputFiles.h"
#include "cli/Project.h"
#include "cli/Session.h"

using namespace CommandLine;

namespace
{

std::filesystem::path Scratch()
{
    const char* temp = std::getenv("TEMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::path(temp ? temp : "/tmp") /
                        (std::string("project-") + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

ModuleOptions Module()
{
    ModuleOptions options;
    options.modulePath = RUZIRAZU_MODULE_PATH;
    return options;
}

// A fresh instance of the effect applied to a layer of that size.
std::unique_ptr<EffectSession> Applied(int width = 1280, int height = 720)
{
    auto session = std::make_unique<EffectSession>(Module());
    session->Host().SetLayerSize(width, height);
    session->Apply();
    return session;
}

double ValueOf(const std::vector<ControlValue>& controls, A_long hostId)
{
    for (const ControlValue& control : controls)
    {
        if (control.hostId == hostId)
        {
            return control.value;
        }
    }
    ADD_FAILURE() << "no control with host id " << hostId;
    return -1;
}

// Saves the settings of one instance, loads them into a fresh one and
// answers the controls of both.
std::pair<std::vector<ControlValue>, std::vector<ControlValue>>
RoundTrip(const EffectSettings& settings, const std::filesystem::path& path)
{
    std::vector<ControlValue> saved;
    {
        auto session = Applied();
        ApplyEffectSettings(session->Host(), settings);
        saved = ReadControls(session->Host());
        SaveProject(session->Host(), path);
    }
    auto session = Applied();
    EXPECT_TRUE(LoadProject(session->Host(), path).empty());
    return {saved, ReadControls(session->Host())};
}

std::string WithControl(const std::filesystem::path& path, const std::string& id, double value)
{
    Json project = Json::parse(ReadTextFile(path));
    project.at("controls")[id] = {{"name", "whatever"}, {"value", value}};
    return project.dump();
}

} // namespace

TEST(ProjectFile, ManualSettingsComeBackInAFreshInstance)
{
    EffectSettings settings;
    settings.preset = "manual";
    settings.mode = "crf";
    settings.rateFactor = 31;
    settings.segmentLength = 20;
    settings.keyFrameInterval = 45;
    settings.useBFrames = false;
    const auto path = Scratch() / "look.json";
    const auto [saved, loaded] = RoundTrip(settings, path);
    ASSERT_EQ(saved.size(), loaded.size());
    for (std::size_t i = 0; i < saved.size(); ++i)
    {
        EXPECT_EQ(loaded[i].hostId, saved[i].hostId);
        EXPECT_EQ(loaded[i].value, saved[i].value) << saved[i].name;
        EXPECT_EQ(loaded[i].text, saved[i].text) << saved[i].name;
    }
    EXPECT_EQ(ValueOf(loaded, HostIdRateFactor), 31);
    EXPECT_EQ(ValueOf(loaded, HostIdSegmentLength), 20);
    EXPECT_EQ(ValueOf(loaded, HostIdUseBFrames), 0);
}

TEST(ProjectFile, ThePresetGoesFirstSoTheSavedBitrateWinsWhateverTheOrderInTheFile)
{
    const auto folder = Scratch();
    {
        auto session = Applied();
        SaveProject(session->Host(), folder / "base.json");
    }
    Json project = Json::parse(ReadTextFile(folder / "base.json"));
    Json controls = Json::object();
    controls[std::to_string(HostIdTargetBitrate)]["value"] = 2345;
    // YouTube (Standard Quality), which sets its own bitrate
    controls[std::to_string(HostIdPresets)]["value"] = 2;
    project["controls"] = controls;
    WriteTextFile(folder / "look.json", project.dump());

    {
        auto session = Applied();
        EXPECT_TRUE(LoadProject(session->Host(), folder / "look.json").empty());
        const std::vector<ControlValue> loaded = ReadControls(session->Host());
        EXPECT_EQ(ValueOf(loaded, HostIdPresets), 2);
        EXPECT_EQ(ValueOf(loaded, HostIdTargetBitrate), 2345);
    }

    EffectSettings youtube;
    youtube.preset = "youtube";
    const auto [savedYoutube, loadedYoutube] = RoundTrip(youtube, folder / "youtube.json");
    EXPECT_EQ(ValueOf(loadedYoutube, HostIdPresets), 2);
    EXPECT_EQ(ValueOf(loadedYoutube, HostIdTargetBitrate),
              ValueOf(savedYoutube, HostIdTargetBitrate));
}

TEST(ProjectFile, IsKeyedByHostIdWithTheEffectsMatchNameAndVersion)
{
    const auto path = Scratch() / "look.json";
    auto session = Applied();
    SaveProject(session->Host(), path);
    const std::string text = ReadTextFile(path);
    const Json project = Json::parse(text);
    EXPECT_EQ(project.at("effect").at("matchName"), session->Host().Properties().matchName);
    EXPECT_EQ(project.at("effect").at("version"), session->Host().Properties().effectVersion);
    const Json& controls = project.at("controls");
    EXPECT_EQ(controls.at(std::to_string(HostIdSegmentLength)).at("value"), 15);
    EXPECT_NE(text.find("\"value\": 15\n"), std::string::npos) << "whole values as integers";
    EXPECT_EQ(controls.at(std::to_string(HostIdPresets)).at("item"), "None (Manual)");
    // Areas hold no value and are not saved.
    EXPECT_FALSE(controls.contains(std::to_string(HostIdInformation)));
    EXPECT_FALSE(controls.contains(std::to_string(HostIdAbout)));
}

TEST(ProjectFile, AnUnknownIdIsSkippedWithAWarning)
{
    const auto path = Scratch() / "look.json";
    {
        auto session = Applied();
        SaveProject(session->Host(), path);
    }
    Json project = Json::parse(WithControl(path, "99", 3));
    project.at("controls")[std::to_string(HostIdSegmentLength)] = {{"value", 40}};
    WriteTextFile(path, project.dump());

    auto session = Applied();
    const std::vector<std::string> warnings = LoadProject(session->Host(), path);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("\"99\""), std::string::npos) << warnings[0];
    EXPECT_EQ(ValueOf(ReadControls(session->Host()), HostIdSegmentLength), 40);
}

TEST(ProjectFile, RefusesValuesOutsideTheirRangeAndFilesOfAnotherKind)
{
    const auto folder = Scratch();
    const auto path = folder / "look.json";
    {
        auto session = Applied();
        SaveProject(session->Host(), path);
    }
    auto session = Applied();

    WriteTextFile(folder / "range.json",
                  WithControl(path, std::to_string(HostIdSegmentLength), 5000));
    try
    {
        LoadProject(session->Host(), folder / "range.json");
        ADD_FAILURE() << "a segment length of 5000 was accepted";
    }
    catch (const UsageError& error)
    {
        EXPECT_NE(std::string(error.what()).find("Segment Length"), std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find("2000"), std::string::npos) << error.what();
    }

    Json other = Json::parse(ReadTextFile(path));
    other.at("effect")["matchName"] = "Some Other Effect";
    WriteTextFile(folder / "other.json", other.dump());
    EXPECT_THROW(LoadProject(session->Host(), folder / "other.json"), RunError);

    WriteTextFile(folder / "broken.json", "{\"effect\": {\n");
    try
    {
        LoadProject(session->Host(), folder / "broken.json");
        ADD_FAILURE() << "a broken file was accepted";
    }
    catch (const RunError& error)
    {
        EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
    }
    EXPECT_THROW(LoadProject(session->Host(), folder / "missing.json"), RunError);
    WriteTextFile(folder / "list.json", "[1, 2]");
    EXPECT_THROW(LoadProject(session->Host(), folder / "list.json"), RunError);
}

// Escapes decode to UTF-8, a surrogate pair to one four-byte character; a
// lone surrogate or a number with a leading zero is not JSON and is refused.
TEST(ProjectFile, TextsDecodeToUtf8AndWhatIsNotJsonIsRefused)
{
    const auto folder = Scratch();
    auto session = Applied();
    const std::string matchName = session->Host().Properties().matchName;
    const auto load = [&](const std::string& effect)
    {
        WriteTextFile(folder / "look.json", "{\"effect\": {" + effect + "}, \"controls\": {}}");
        try
        {
            LoadProject(session->Host(), folder / "look.json");
        }
        catch (const RunError& error)
        {
            return std::string(error.what());
        }
        return std::string("accepted");
    };

    EXPECT_NE(
        load(R"("matchName": "Clap \ud83c\udfac \u00e9")").find("Clap \xF0\x9F\x8E\xAC \xC3\xA9\""),
        std::string::npos);
    for (const std::string& effect : {"\"matchName\": \"" + matchName + "\\ud83c\"",
                                      "\"matchName\": \"" + matchName + "\", \"version\": [01]"})
    {
        EXPECT_NE(load(effect).find("is not valid JSON: line 1, column"), std::string::npos)
            << effect << ": " << load(effect);
    }
}
