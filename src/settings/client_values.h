// The game client's registry values: audio channels and the frame-rate switch.
#pragma once

#include <cstdint>

#include "platform/client_store.h"

inline constexpr char kClientKey[] = "Software\\Quorl\\client";
inline constexpr char kSoundKeySuffix[] = "\\Sound";
inline constexpr char kDebugKeySuffix[] = "\\Networking\\Debug";
inline constexpr char kShowFpsValue[] = "ShowFps";

struct AudioChannel {
    const char* volumeValue;
    const char* enabledValue;
};

inline constexpr int kAudioChannelCount = 5;
// In the order the Settings dialog reads and stores them.
inline constexpr AudioChannel kAudioChannels[kAudioChannelCount] = {
    {"master volume", "master enabled"},       {"sound volume", "sound enabled"},
    {"dialog volume", "dialog enabled"},       {"music volume", "music enabled"},
    {"cinematic volume", "cinematic enabled"},
};

inline constexpr std::int32_t kDefaultVolume = 100;
inline constexpr std::int32_t kDefaultSwitch = 1;

// keySuffix is appended to the client key as given (with its own leading "\"); nullptr
// names the client key itself. A missing value, or a missing key, reads as the default.
std::int32_t ReadClientValue(ClientStore& store, const char* keySuffix, const char* valueName,
                             std::int32_t defaultValue);
void WriteClientValue(ClientStore& store, std::int32_t value, const char* keySuffix,
                      const char* valueName);
