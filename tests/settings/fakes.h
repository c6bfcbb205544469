// In-memory stand-ins for the registry and the display adapter.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/client_store.h"
#include "platform/display_modes.h"

class MemoryClientStore final : public ClientStore {
public:
    std::optional<std::uint32_t> Read(const std::string& key, const std::string& name) override {
        const auto found = values.find({key, name});
        if (found == values.end()) return std::nullopt;
        return found->second;
    }
    void Write(const std::string& key, const std::string& name, std::uint32_t value) override {
        values[{key, name}] = value;
        writes.push_back(name);
    }

    std::map<std::pair<std::string, std::string>, std::uint32_t> values;
    std::vector<std::string> writes;  // value names in the order written
};

class FakeDisplayModes final : public DisplayModeSource {
public:
    std::vector<AdapterMode> Modes(std::uint32_t format) override {
        askedFormats.push_back(format);
        return byFormat[format];
    }

    std::map<std::uint32_t, std::vector<AdapterMode>> byFormat;
    std::vector<std::uint32_t> askedFormats;
};
