#pragma once

#include "platform/client_store.h"

// Values under HKEY_CURRENT_USER.
class RegistryClientStore final : public ClientStore {
public:
    std::optional<std::uint32_t> Read(const std::string& key, const std::string& name) override;
    void Write(const std::string& key, const std::string& name, std::uint32_t value) override;
};
