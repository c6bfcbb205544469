// Signatures and the documents they cover come from the network: any bytes must be
// refused or read, never crash, and no signature may pass under a key whose secret
// nobody holds. Input: a document, a NUL, then the text of its .sig file.
#include <sodium.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "update/documents.h"
#include "update/signed_release.h"
#include "update/update_error.h"

namespace fs = std::filesystem;

namespace {

ReleaseKey KeyWithoutSecret() {
    if (sodium_init() < 0) __builtin_trap();
    ReleaseKey key{};
    unsigned char secret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(key.data(), secret);
    return key;
}

template <typename Load>
void Parse(Load load, const std::string& path) {
    try {
        load(path, "fuzzed document");
    } catch (const InstallError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ReleaseKey key = KeyWithoutSecret();
    static const fs::path file =
        fs::temp_directory_path() / ("signature-fuzz-" + std::to_string(getpid()) + ".xml");
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto nul = input.find('\0');
    const std::string document = input.substr(0, nul);
    const std::string signatures = nul == std::string::npos ? "" : input.substr(nul + 1);
    if (SignedByAny(document, signatures, {key})) __builtin_trap();  // a forgery

    if (std::FILE* out = std::fopen(file.c_str(), "wb")) {
        std::fwrite(document.data(), 1, document.size(), out);
        std::fclose(out);
    }
    Parse(LoadVersionCatalogue, file.string());
    Parse(LoadInstallManifest, file.string());
    Parse(LoadValidationManifest, file.string());
    fs::remove(file);

    if (const auto time = ParseUtcTime(document)) {
        if (ParseUtcTime(FormatUtcTime(*time)) != time) __builtin_trap();
    }
    return 0;
}
