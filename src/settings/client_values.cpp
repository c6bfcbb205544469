#include "settings/client_values.h"

#include <string>

namespace {

std::string KeyPath(const char* keySuffix) {
    std::string key = kClientKey;
    if (keySuffix != nullptr) key += keySuffix;
    return key;
}

}  // namespace

std::int32_t ReadClientValue(ClientStore& store, const char* keySuffix, const char* valueName,
                             std::int32_t defaultValue) {
    const auto value = store.Read(KeyPath(keySuffix), valueName);
    return value ? static_cast<std::int32_t>(*value) : defaultValue;
}

void WriteClientValue(ClientStore& store, std::int32_t value, const char* keySuffix,
                      const char* valueName) {
    store.Write(KeyPath(keySuffix), valueName, static_cast<std::uint32_t>(value));
}
