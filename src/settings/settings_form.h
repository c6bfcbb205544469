// What the Settings dialog shows and stores, apart from its controls: the dialog copies
// a form into its controls at opening and back out on OK.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/client_store.h"
#include "platform/display_modes.h"
#include "settings/client_values.h"
#include "settings/display_mode_list.h"
#include "settings/download_limit.h"

// Positions are the FullscreenMode values.
inline constexpr const char* kWindowModes[] = {"Windowed", "Borderless", "Fullscreen"};
inline constexpr int kWindowModeCount = 3;

struct SettingsForm {
    std::array<std::int32_t, kAudioChannelCount> volumes{};
    std::array<bool, kAudioChannelCount> enabled{};
    bool showFps = false;
    DisplayModeList resolutions;
    int resolution = -1;                             // position in resolutions, -1 for none
    int windowMode = -1;                             // position in kWindowModes, -1 for none
    std::uint32_t downloadLimit = kNoDownloadLimit;  // KB/s
};

// Reads the client values, the launcher's download limit and engine.cfg (into
// CurrentRenderSettings) and lists the adapter's resolutions.
SettingsForm OpenSettingsForm(ClientStore& store, DisplayModeSource& modes,
                              const std::string& engineConfigPath);

// Stores the form's values and rewrites engine.cfg.
void ConfirmSettingsForm(const SettingsForm& form, ClientStore& store,
                         const std::string& engineConfigPath);
