// The player's cap on download speed: one of the launcher's own settings, kept apart
// from the game client's values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/client_store.h"

inline constexpr char kLauncherKey[] = "Software\\Kestrava\\Launcher";
inline constexpr char kDownloadLimitValue[] = "DownloadLimit";

// KB/s; 0 means no limit. The largest limit still fits in 32 bits as bytes per second.
inline constexpr std::uint32_t kNoDownloadLimit = 0;
inline constexpr std::uint32_t kMaxDownloadLimit = 0xFFFFFFFFu / 1024;

// A missing value is no limit; a stored value above the largest reads as the largest.
std::uint32_t LoadDownloadLimit(ClientStore& store);
void SaveDownloadLimit(ClientStore& store, std::uint32_t kilobytesPerSecond);

// The Settings field: empty (or only spaces) is no limit; otherwise digits only, at
// most kMaxDownloadLimit. Nothing for any other text.
std::optional<std::uint32_t> ParseDownloadLimit(const std::string& text);
// What the field shows: empty for no limit.
std::string DownloadLimitText(std::uint32_t kilobytesPerSecond);
