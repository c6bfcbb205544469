// engine.cfg is the player's own file, edited by hand and by the game: any bytes must
// read or not, never crash, and a file the launcher wrote over must parse again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_scratch.h"
#include "platform/file_io.h"
#include "settings/engine_config.h"

// libconfig 1.5 leaks strings it was lexing when it meets a syntax error: Debian's
// library, not ours, so its leaks are suppressed.
extern "C" const char* __lsan_default_suppressions() { return "leak:libconfig\n"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = WriteScratchFile("engine.cfg", data, size);
    RenderSettings settings;
    ReadEngineConfig(path, settings);
    RenderSettings written;
    written.width = 1024;
    written.windowPlacement = "placement";
    WriteEngineConfig(path, written);
    // A "Render" that is not a group leaves the file as it was. (Members of another type
    // keep the game's value, so the width read back need not be the one written.)
    const auto now = ReadFileBytes(path);
    if (!now) __builtin_trap();
    if (*now == std::string(reinterpret_cast<const char*>(data), size)) return 0;
    RenderSettings read;
    if (!ReadEngineConfig(path, read)) __builtin_trap();
    return 0;
}
