// The game's engine.cfg: the launcher edits the resolution and the window mode in its
// "Render" group and passes every other group and setting through.
#pragma once

#include <cstdint>
#include <string>

enum FullscreenMode : std::int32_t {
    kWindowed = 0,
    kBorderless = 1,
    kFullscreen = 2,
};

struct RenderSettings {
    std::string device;
    std::int32_t width = 800;
    std::int32_t height = 600;
    float refreshRate = 0.0f;
    std::int32_t fullscreenMode = kBorderless;
    bool disableVSync = false;
    std::int32_t maxFps = 200;
    std::string windowPlacement;
};

// The one record for the whole run: reads fill it, the Settings dialog edits it.
RenderSettings& CurrentRenderSettings();

// documents + "Kestrava\client\engine.cfg", or "" when the Documents folder is unknown.
std::string EngineConfigPath(const std::string& documentsDirectory);

// Takes the "Render" values found with the expected type into settings; the others keep
// their values (WindowPlacement excepted, which becomes "" when absent). False, with
// settings untouched, when the file is missing, unparsable or has no "Render".
bool ReadEngineConfig(const std::string& path, RenderSettings& settings);

// Stores settings into the file's "Render" group, keeping everything else the file
// holds. Silent on failure; the file is replaced whole or not at all.
void WriteEngineConfig(const std::string& path, const RenderSettings& settings);
