#include "platform/win32/registry_client_store.h"

#include <windows.h>

namespace {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY* Receive() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::uint32_t> RegistryClientStore::Read(const std::string& key,
                                                       const std::string& name) {
    RegistryKey opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Receive()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    // Whatever the stored type: a shorter value fills the low bytes of a zero result.
    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LONG result = RegQueryValueExA(opened.get(), name.c_str(), nullptr, nullptr, data, &size);
    if (result == ERROR_FILE_NOT_FOUND) return std::nullopt;
    // A longer value is not read at all; its bytes are not in the buffer.
    if (result != ERROR_SUCCESS) return 0u;
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

void RegistryClientStore::Write(const std::string& key, const std::string& name,
                                std::uint32_t value) {
    RegistryKey opened;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        opened.Receive(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                          static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    RegSetValueExA(opened.get(), name.c_str(), 0, REG_DWORD, data, sizeof data);
}
