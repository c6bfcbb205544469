// The game client's per-user store of 32-bit values under key paths: the registry
// under HKEY_CURRENT_USER in the launcher, a map in tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class ClientStore {
public:
    virtual ~ClientStore() = default;
    // The value's 32 bits, or nothing when the value or its whole key is missing, so
    // that the caller's default applies in both cases.
    virtual std::optional<std::uint32_t> Read(const std::string& key, const std::string& name) = 0;
    // Stores the value, creating the key when it is missing. Failures are silent: the
    // client's settings are best effort.
    virtual void Write(const std::string& key, const std::string& name, std::uint32_t value) = 0;
};
