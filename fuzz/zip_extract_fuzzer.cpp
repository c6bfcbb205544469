// Packages come from the network: whatever a zip holds, extraction must not crash and
// must never create anything outside the folder it was given.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "update/zip_extract.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path scratch =
        fs::temp_directory_path() / ("zip-fuzz-" + std::to_string(getpid()));
    const fs::path zip = scratch / "package.zip";
    const fs::path game = scratch / "game";
    fs::remove_all(scratch);
    fs::create_directories(game);
    if (std::FILE* out = std::fopen(zip.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    ExtractZip(zip.c_str(), game.c_str());
    for (const auto& entry : fs::directory_iterator(scratch)) {
        if (entry.path() != zip && entry.path() != game)
            __builtin_trap();  // escaped the game folder
    }
    fs::remove_all(scratch);
    return 0;
}
