#include "settings/download_limit.h"

#include <algorithm>

std::uint32_t LoadDownloadLimit(ClientStore& store) {
    const auto stored = store.Read(kLauncherKey, kDownloadLimitValue);
    return stored ? std::min(*stored, kMaxDownloadLimit) : kNoDownloadLimit;
}

void SaveDownloadLimit(ClientStore& store, std::uint32_t kilobytesPerSecond) {
    store.Write(kLauncherKey, kDownloadLimitValue, std::min(kilobytesPerSecond, kMaxDownloadLimit));
}

std::optional<std::uint32_t> ParseDownloadLimit(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return kNoDownloadLimit;
    const auto last = text.find_last_not_of(' ');
    std::uint64_t value = 0;
    for (auto at = first; at <= last; ++at) {
        const char digit = text[at];
        if (digit < '0' || digit > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(digit - '0');
        if (value > kMaxDownloadLimit) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::string DownloadLimitText(std::uint32_t kilobytesPerSecond) {
    return kilobytesPerSecond == kNoDownloadLimit ? std::string()
                                                  : std::to_string(kilobytesPerSecond);
}
