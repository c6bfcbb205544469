#include "settings/engine_config.h"

#include <libconfig.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/path.h"
#include "temp_dir.h"

namespace {

// A parsed copy of a file the launcher wrote, to check values and types rather than layout.
class ParsedFile {
public:
    explicit ParsedFile(const std::string& path) {
        config_init(&config_);
        parsed_ = config_read_file(&config_, path.c_str()) == CONFIG_TRUE;
    }
    ~ParsedFile() { config_destroy(&config_); }

    bool parsed() const { return parsed_; }
    config_setting_t* Find(const char* path) { return config_lookup(&config_, path); }
    int TypeOf(const char* path) {
        const config_setting_t* setting = Find(path);
        return setting != nullptr ? config_setting_type(setting) : CONFIG_TYPE_NONE;
    }
    int Int(const char* path) { return config_setting_get_int(Find(path)); }
    double Float(const char* path) { return config_setting_get_float(Find(path)); }
    std::string String(const char* path) { return config_setting_get_string(Find(path)); }
    std::vector<std::string> TopLevelNames() {
        std::vector<std::string> names;
        const config_setting_t* root = config_root_setting(&config_);
        for (int i = 0; i < config_setting_length(root); ++i) {
            names.push_back(config_setting_name(config_setting_get_elem(root, i)));
        }
        return names;
    }

private:
    config_t config_;
    bool parsed_ = false;
};

class EngineConfigTest : public ::testing::Test {
protected:
    void Write(const std::string& text) { WriteBytes(path, text); }

    TempDir dir;
    std::string path = dir.File("engine.cfg");
    RenderSettings settings;
};

constexpr char kFullRender[] = R"(Render:
{
  Device = "Adapter 2";
  Width = 1920;
  Height = 1080;
  RefreshRate = 144.0;
  FullscreenMode = 2;
  DisableVSync = true;
  MaxFPS = 300;
  WindowPlacement = "10,20,800,600";
};
)";

TEST_F(EngineConfigTest, ReadTakesEveryRenderValue) {
    Write(kFullRender);
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.device, "Adapter 2");
    EXPECT_EQ(settings.width, 1920);
    EXPECT_EQ(settings.height, 1080);
    EXPECT_EQ(settings.refreshRate, 144.0f);
    EXPECT_EQ(settings.fullscreenMode, kFullscreen);
    EXPECT_TRUE(settings.disableVSync);
    EXPECT_EQ(settings.maxFps, 300);
    EXPECT_EQ(settings.windowPlacement, "10,20,800,600");
}

TEST_F(EngineConfigTest, ReadFailsWithoutTouchingTheSettings) {
    settings.width = 1234;
    settings.windowPlacement = "kept";
    EXPECT_FALSE(ReadEngineConfig(path, settings)) << "no file";

    Write("Render:\n{\n  Width = 1920;\n  Height = ;\n};\n");
    EXPECT_FALSE(ReadEngineConfig(path, settings)) << "syntax error after a good Width";

    Write("Audio:\n{\n  Volume = 3;\n};\n");
    EXPECT_FALSE(ReadEngineConfig(path, settings)) << "no Render";

    EXPECT_FALSE(ReadEngineConfig(dir.path().string(), settings)) << "a directory";
    EXPECT_FALSE(ReadEngineConfig("", settings)) << "Documents folder unknown";

    EXPECT_EQ(settings.width, 1234);
    EXPECT_EQ(settings.windowPlacement, "kept");
}

TEST_F(EngineConfigTest, ExclusiveFullscreenIsReadOnlyWithoutFullscreenMode) {
    Write("Render:\n{\n  ExclusiveFullscreen = true;\n};\n");
    settings.fullscreenMode = kWindowed;
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.fullscreenMode, kBorderless);

    Write("Render:\n{\n  ExclusiveFullscreen = false;\n};\n");
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.fullscreenMode, kWindowed);

    // File order does not matter: FullscreenMode decides.
    Write("Render:\n{\n  FullscreenMode = 2;\n  ExclusiveFullscreen = false;\n};\n");
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.fullscreenMode, kFullscreen);
}

TEST_F(EngineConfigTest, ReadSkipsValuesOfAnotherTypeAndIntsBeyond32Bits) {
    Write(R"(Render:
{
  Device = 7;
  Width = 1024.0;
  Height = 720L;
  RefreshRate = 60;
  FullscreenMode = "2";
  DisableVSync = 1;
  MaxFPS = 5000000000L;
};
)");
    settings.windowPlacement = "from an earlier read";
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    const RenderSettings defaults;
    EXPECT_EQ(settings.device, defaults.device);
    EXPECT_EQ(settings.width, defaults.width) << "a float is not converted";
    EXPECT_EQ(settings.height, 720) << "a 64-bit int that fits is taken";
    EXPECT_EQ(settings.refreshRate, 0.0f) << "an int is not converted";
    EXPECT_EQ(settings.fullscreenMode, defaults.fullscreenMode);
    EXPECT_EQ(settings.disableVSync, defaults.disableVSync);
    EXPECT_EQ(settings.maxFps, defaults.maxFps) << "not truncated to 0";
    EXPECT_EQ(settings.windowPlacement, "") << "an absent WindowPlacement empties it";
}

// libconfig 1.5 would read each of these wrapped to 32 bits (4294967295 as -1).
TEST_F(EngineConfigTest, ReadIgnoresIntsThatOnlyWrapInto32Bits) {
    Write(
        "Render:\n{\n  Width = 4294967295;\n  Height = 2147483648;\n"
        "  MaxFPS = 99999999999; FullscreenMode = 0x100000001;\n};\n");
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    const RenderSettings defaults;
    EXPECT_EQ(settings.width, defaults.width);
    EXPECT_EQ(settings.height, defaults.height);
    EXPECT_EQ(settings.maxFps, defaults.maxFps);
    EXPECT_EQ(settings.fullscreenMode, defaults.fullscreenMode);
}

// Found by the fuzzer: libconfig writes an overflowing float as "inf.0", which it cannot read.
TEST_F(EngineConfigTest, WriteDropsFloatsTooLargeToWriteBack) {
    Write("Render:\n{\n  Gamma = 4e999;\n};\n");
    WriteEngineConfig(path, settings);
    EXPECT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(ParsedFile(path).Find("Render.Gamma"), nullptr);
}

// A long string would hold libconfig 1.5 for minutes; such a file is not parsed.
TEST_F(EngineConfigTest, OversizedFileIsNotParsed) {
    Write("Render:\n{\n  Width = 1024;\n};\nPad = \"" + std::string(1 << 20, 'x') + "\";\n");
    EXPECT_FALSE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.width, RenderSettings().width);
}

TEST_F(EngineConfigTest, RefreshRateIsKeptAtSinglePrecisionThroughARoundTrip) {
    Write("Render:\n{\n  RefreshRate = 59.94;\n};\n");
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.refreshRate, 59.94f);

    WriteEngineConfig(path, settings);
    RenderSettings reread;
    ASSERT_TRUE(ReadEngineConfig(path, reread));
    EXPECT_EQ(reread.refreshRate, 59.94f);
    EXPECT_EQ(ParsedFile(path).TypeOf("Render.RefreshRate"), CONFIG_TYPE_FLOAT);
}

TEST_F(EngineConfigTest, WriteWithoutAFileStoresOnlyTheSetValues) {
    settings.width = 1280;
    settings.height = 1024;
    settings.fullscreenMode = kWindowed;
    WriteEngineConfig(path, settings);

    ParsedFile file(path);
    ASSERT_TRUE(file.parsed());
    EXPECT_EQ(file.Int("Render.Width"), 1280);
    EXPECT_EQ(file.Int("Render.Height"), 1024);
    EXPECT_EQ(file.Int("Render.FullscreenMode"), kWindowed);
    EXPECT_EQ(file.TypeOf("Render.DisableVSync"), CONFIG_TYPE_BOOL);
    EXPECT_FALSE(config_setting_get_bool(file.Find("Render.DisableVSync")));
    EXPECT_EQ(file.Int("Render.MaxFPS"), 200);
    EXPECT_EQ(file.Find("Render.Device"), nullptr);
    EXPECT_EQ(file.Find("Render.RefreshRate"), nullptr);
    EXPECT_EQ(file.Find("Render.WindowPlacement"), nullptr);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(EngineConfigTest, WriteKeepsOtherSettingsAndReplacesExclusiveFullscreen) {
    Write(R"(// the game's comment
Audio:
{
  Volume = 0.5;
  Device = "Speakers";
};
Name = "pilot";
Render:
{
  Gamma = 2.2;
  ExclusiveFullscreen = true;
  Width = 1024.0;
  RefreshRate = 60;
  Device = "Adapter 2";
  Shadows = [ 1, 2, 3 ];
};
Net:
{
  Port = 7777;
};
)");
    ASSERT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.fullscreenMode, kBorderless);
    settings.width = 1920;
    settings.height = 1080;
    WriteEngineConfig(path, settings);

    ParsedFile file(path);
    ASSERT_TRUE(file.parsed());
    EXPECT_EQ(file.Float("Audio.Volume"), 0.5);
    EXPECT_EQ(file.String("Audio.Device"), "Speakers");
    EXPECT_EQ(file.String("Name"), "pilot");
    EXPECT_EQ(file.Int("Net.Port"), 7777);
    EXPECT_EQ(file.Float("Render.Gamma"), 2.2);
    EXPECT_EQ(config_setting_length(file.Find("Render.Shadows")), 3);
    EXPECT_EQ(file.String("Render.Device"), "Adapter 2");
    EXPECT_EQ(file.Find("Render.ExclusiveFullscreen"), nullptr);
    EXPECT_EQ(file.Int("Render.FullscreenMode"), kBorderless);
    EXPECT_EQ(file.Int("Render.Height"), 1080);
    // Setters refuse members of another type, so these stay as the game wrote them.
    EXPECT_EQ(file.TypeOf("Render.Width"), CONFIG_TYPE_FLOAT);
    EXPECT_EQ(file.Float("Render.Width"), 1024.0);
    EXPECT_EQ(file.TypeOf("Render.RefreshRate"), CONFIG_TYPE_INT);
    EXPECT_EQ(file.Int("Render.RefreshRate"), 60);
    EXPECT_EQ(file.TopLevelNames(), (std::vector<std::string>{"Audio", "Name", "Render", "Net"}));
}

TEST_F(EngineConfigTest, AMissingRenderIsAddedAfterTheOtherTopLevelSettings) {
    Write("Audio:\n{\n  Volume = 0.5;\n};\nName = \"pilot\";\n");
    EXPECT_FALSE(ReadEngineConfig(path, settings));
    WriteEngineConfig(path, settings);

    ParsedFile file(path);
    EXPECT_EQ(file.TopLevelNames(), (std::vector<std::string>{"Audio", "Name", "Render"}));
    EXPECT_EQ(file.Int("Render.Width"), 800);
}

TEST_F(EngineConfigTest, WriteAfterASyntaxErrorKeepsWhatParsedBeforeItAndStaysReadable) {
    Write("First = 1;\nRender:\n{\n  Width = 1920;\n};\nBroken = ;\nLast = 2;\n");
    EXPECT_FALSE(ReadEngineConfig(path, settings));
    settings.width = 1280;
    WriteEngineConfig(path, settings);

    ParsedFile file(path);
    ASSERT_TRUE(file.parsed()) << ReadBytes(path);
    EXPECT_EQ(file.Int("First"), 1);
    EXPECT_EQ(file.Int("Render.Width"), 1280);
    EXPECT_EQ(file.Find("Broken"), nullptr);
    EXPECT_EQ(file.Find("Last"), nullptr);

    // The same inside a group, where the broken member is one the launcher sets.
    Write("Audio:\n{\n  Volume = 3;\n};\nRender:\n{\n  Gamma = 2.0;\n  Height = ;\n");
    EXPECT_FALSE(ReadEngineConfig(path, settings));
    WriteEngineConfig(path, settings);
    ParsedFile nested(path);
    ASSERT_TRUE(nested.parsed()) << ReadBytes(path);
    EXPECT_EQ(nested.Int("Audio.Volume"), 3);
    EXPECT_EQ(nested.Float("Render.Gamma"), 2.0);
    EXPECT_EQ(nested.Int("Render.Height"), 600);
}

TEST_F(EngineConfigTest, RenderThatIsNotAGroupIsReadAsEmptyAndNeverWritten) {
    const std::string text = "Render = 5;\nOther = \"x\";\n";
    Write(text);
    settings.width = 1234;
    settings.windowPlacement = "earlier";
    EXPECT_TRUE(ReadEngineConfig(path, settings));
    EXPECT_EQ(settings.width, 1234);
    EXPECT_EQ(settings.windowPlacement, "");

    WriteEngineConfig(path, settings);
    EXPECT_EQ(ReadBytes(path), text);
}

TEST_F(EngineConfigTest, WriteStoresNothingWhenTheFileCannotBeWritten) {
    const std::string missingFolder = JoinPath(dir.File("Kestrava"), "engine.cfg");
    WriteEngineConfig(missingFolder, settings);
    EXPECT_FALSE(std::filesystem::exists(dir.File("Kestrava"))) << "folders are not created";

    WriteEngineConfig("", settings);

    // The temporary file cannot be made: the old file stays whole.
    Write(kFullRender);
    std::filesystem::create_directory(path + ".tmp");
    settings.width = 640;
    WriteEngineConfig(path, settings);
    EXPECT_EQ(ReadBytes(path), kFullRender);
}

TEST(EngineConfigPathTest, LiesUnderKestravaClientInDocuments) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(EngineConfigPath("C:\\Users\\p\\Documents"),
              "C:\\Users\\p\\Documents" + sep + "Kestrava" + sep + "client" + sep + "engine.cfg");
    EXPECT_EQ(EngineConfigPath(""), "");
}

}  // namespace
