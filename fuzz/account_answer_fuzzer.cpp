// The account service's answers come from the network: any bytes must parse to a
// record or to nothing, never crash, and a record must carry what was sent.
#include <cstddef>
#include <cstdint>
#include <string>

#include "account/account_api.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto login = ParseLoginAnswer(text)) {
        if (login->apikey.size() > size) __builtin_trap();
    }
    if (const auto key = ParseKeyAnswer(text)) {
        if (key->username.size() > size || key->permissionNames.size() > size) __builtin_trap();
    }
    return 0;
}
