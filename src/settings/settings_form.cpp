#include "settings/settings_form.h"

#include "settings/engine_config.h"

SettingsForm OpenSettingsForm(ClientStore& store, DisplayModeSource& modes,
                              const std::string& engineConfigPath) {
    SettingsForm form;
    for (int channel = 0; channel < kAudioChannelCount; ++channel) {
        form.volumes[channel] = ReadClientValue(
            store, kSoundKeySuffix, kAudioChannels[channel].volumeValue, kDefaultVolume);
        form.enabled[channel] =
            ReadClientValue(store, kSoundKeySuffix, kAudioChannels[channel].enabledValue,
                            kDefaultSwitch) != 0;
    }
    form.showFps = ReadClientValue(store, kDebugKeySuffix, kShowFpsValue, kDefaultSwitch) != 0;
    form.downloadLimit = LoadDownloadLimit(store);

    RenderSettings& render = CurrentRenderSettings();
    ReadEngineConfig(engineConfigPath, render);
    DisplayModeChoice choice = BuildDisplayModeList(modes, render.width, render.height);
    form.resolutions = std::move(choice.modes);
    form.resolution = choice.selection;
    const bool knownMode = render.fullscreenMode >= 0 && render.fullscreenMode < kWindowModeCount;
    form.windowMode = knownMode ? render.fullscreenMode : -1;
    return form;
}

void ConfirmSettingsForm(const SettingsForm& form, ClientStore& store,
                         const std::string& engineConfigPath) {
    for (int channel = 0; channel < kAudioChannelCount; ++channel) {
        WriteClientValue(store, form.volumes[channel], kSoundKeySuffix,
                         kAudioChannels[channel].volumeValue);
        WriteClientValue(store, form.enabled[channel] ? 1 : 0, kSoundKeySuffix,
                         kAudioChannels[channel].enabledValue);
    }
    WriteClientValue(store, form.showFps ? 1 : 0, kDebugKeySuffix, kShowFpsValue);
    SaveDownloadLimit(store, form.downloadLimit);

    RenderSettings& render = CurrentRenderSettings();
    // No selection means the first entry; with no entries at all the size stays.
    const std::size_t position =
        form.resolution < 0 ? 0 : static_cast<std::size_t>(form.resolution);
    if (position < form.resolutions.size()) {
        render.width = static_cast<std::int32_t>(form.resolutions[position].width);
        render.height = static_cast<std::int32_t>(form.resolutions[position].height);
    }
    render.fullscreenMode = form.windowMode < 0 ? kWindowed : form.windowMode;
    WriteEngineConfig(engineConfigPath, render);
}
