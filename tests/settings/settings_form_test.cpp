#include "settings/settings_form.h"

#include <gtest/gtest.h>

#include "fakes.h"
#include "settings/engine_config.h"
#include "temp_dir.h"

namespace {

const std::string kSound = "Software\\Quorl\\client\\Sound";
const std::string kDebug = "Software\\Quorl\\client\\Networking\\Debug";

class SettingsFormTest : public ::testing::Test {
protected:
    SettingsFormTest() {
        CurrentRenderSettings() = RenderSettings{};
        adapter.byFormat[kFormatX8R8G8B8] = {{800, 600, 60}, {1024, 768, 60}, {1280, 1024, 60}};
    }
    ~SettingsFormTest() override { CurrentRenderSettings() = RenderSettings{}; }

    SettingsForm Open() { return OpenSettingsForm(store, adapter, path); }

    TempDir dir;
    std::string path = dir.File("engine.cfg");
    MemoryClientStore store;
    FakeDisplayModes adapter;
};

TEST_F(SettingsFormTest, MissingValuesOpenAsFullVolumeAndEverythingOn) {
    const SettingsForm form = Open();
    for (int channel = 0; channel < kAudioChannelCount; ++channel) {
        EXPECT_EQ(form.volumes[channel], 100) << channel;
        EXPECT_TRUE(form.enabled[channel]) << channel;
    }
    EXPECT_TRUE(form.showFps);
    // No engine.cfg: the built-in 800 x 600 and "Borderless".
    EXPECT_EQ(form.resolution, 0);
    EXPECT_EQ(form.windowMode, kBorderless);
    EXPECT_EQ(form.resolutions.size(), 3u);
}

TEST_F(SettingsFormTest, StoredValuesOpenAsStoredZeroIncluded) {
    store.values[{kSound, "master volume"}] = 0;
    store.values[{kSound, "music volume"}] = 37;
    store.values[{kSound, "dialog enabled"}] = 0;
    store.values[{kSound, "cinematic enabled"}] = 7;
    store.values[{kDebug, "ShowFps"}] = 0;
    // Same names under the wrong key are not the client's values.
    store.values[{"Software\\Quorl\\client", "sound volume"}] = 5;

    const SettingsForm form = Open();
    EXPECT_EQ(form.volumes, (std::array<std::int32_t, 5>{0, 100, 100, 37, 100}));
    EXPECT_EQ(form.enabled, (std::array<bool, 5>{true, true, false, true, true}));
    EXPECT_FALSE(form.showFps);
}

TEST_F(SettingsFormTest, ConfirmStoresEveryValueUnderItsKeyInDialogOrder) {
    SettingsForm form = Open();
    form.volumes = {10, 20, 30, 40, 50};
    form.enabled = {false, true, false, true, false};
    form.showFps = false;
    form.downloadLimit = 300;
    ConfirmSettingsForm(form, store, path);

    EXPECT_EQ(store.writes,
              (std::vector<std::string>{"master volume", "master enabled", "sound volume",
                                        "sound enabled", "dialog volume", "dialog enabled",
                                        "music volume", "music enabled", "cinematic volume",
                                        "cinematic enabled", "ShowFps", "DownloadLimit"}));
    EXPECT_EQ(store.values.at({kSound, "dialog volume"}), 30u);
    EXPECT_EQ(store.values.at({kSound, "music volume"}), 40u);
    EXPECT_EQ(store.values.at({kSound, "master enabled"}), 0u);
    EXPECT_EQ(store.values.at({kSound, "sound enabled"}), 1u);
    EXPECT_EQ(store.values.at({kDebug, "ShowFps"}), 0u);
    EXPECT_EQ(Open().downloadLimit, 300u);
}

TEST_F(SettingsFormTest, ConfirmAlwaysRewritesEngineConfigWithTheChosenModes) {
    SettingsForm form = Open();
    ConfirmSettingsForm(form, store, path);
    RenderSettings stored;
    ASSERT_TRUE(ReadEngineConfig(path, stored)) << "written though nothing changed";
    EXPECT_EQ(stored.width, 800);
    EXPECT_EQ(stored.fullscreenMode, kBorderless);

    form = Open();
    form.resolution = 2;
    form.windowMode = kFullscreen;
    ConfirmSettingsForm(form, store, path);
    ASSERT_TRUE(ReadEngineConfig(path, stored));
    EXPECT_EQ(stored.width, 1280);
    EXPECT_EQ(stored.height, 1024);
    EXPECT_EQ(stored.fullscreenMode, kFullscreen);

    // Reopened, the dialog shows what was stored.
    form = Open();
    EXPECT_EQ(form.resolution, 2);
    EXPECT_EQ(form.windowMode, kFullscreen);
}

TEST_F(SettingsFormTest, UnofferedResolutionAndUnknownWindowModeSelectNothingAndStoreDefaults) {
    WriteBytes(path, "Render:\n{\n  Width = 1600;\n  Height = 900;\n  FullscreenMode = 5;\n};\n");
    const SettingsForm form = Open();
    EXPECT_EQ(form.resolution, -1);
    EXPECT_EQ(form.windowMode, -1);

    ConfirmSettingsForm(form, store, path);
    RenderSettings stored;
    ASSERT_TRUE(ReadEngineConfig(path, stored));
    EXPECT_EQ(stored.width, 800) << "the first listed resolution";
    EXPECT_EQ(stored.height, 600);
    EXPECT_EQ(stored.fullscreenMode, kWindowed);
}

TEST_F(SettingsFormTest, WithoutAdapterModesConfirmKeepsTheResolution) {
    adapter.byFormat.clear();
    WriteBytes(path, "Render:\n{\n  Width = 1600;\n  Height = 900;\n};\n");
    const SettingsForm form = Open();
    EXPECT_TRUE(form.resolutions.empty());
    ConfirmSettingsForm(form, store, path);
    RenderSettings stored;
    ASSERT_TRUE(ReadEngineConfig(path, stored));
    EXPECT_EQ(stored.width, 1600);
    EXPECT_EQ(stored.height, 900);
}

TEST(ClientValuesTest, KeySuffixIsAppendedToTheClientKeyAsGiven) {
    MemoryClientStore store;
    WriteClientValue(store, -1, nullptr, "top");
    WriteClientValue(store, 37, "\\Sound", "sound volume");
    EXPECT_EQ(store.values.at({"Software\\Quorl\\client", "top"}), 0xFFFFFFFFu);
    EXPECT_EQ(store.values.at({kSound, "sound volume"}), 37u);
    EXPECT_EQ(ReadClientValue(store, nullptr, "top", 5), -1);
    EXPECT_EQ(ReadClientValue(store, "\\Sound", "sound volume", 100), 37);
    EXPECT_EQ(ReadClientValue(store, "\\Sound", "music volume", 100), 100);
}

}  // namespace
