// Reads two archives from the input and patches the first with the second. The
// input is a 4-byte little-endian length, the source archive of that many bytes,
// and the patch archive in the rest.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_scratch.h"
#include "mix/mix_error.h"
#include "mix/mix_patcher.h"

namespace {

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::size_t sourceSize = data[0] | data[1] << 8 | data[2] << 16 | std::size_t{data[3]} << 24;
    data += 4;
    size -= 4;
    if (sourceSize > size) sourceSize = size;

    const std::string source = WriteScratchFile("source.mix", data, sourceSize);
    const std::string patch = WriteScratchFile("patch.mix", data + sourceSize, size - sourceSize);
    const std::string output = ScratchFolder() + "/output.mix";
    std::remove(output.c_str());

    bool patched = false;
    try {
        PatchMixFile(source, output, patch);
        patched = true;
    } catch (const MixError&) {
    } catch (const nlohmann::json::exception&) {
    }
    if (LiveMixEntryCount() != 0) std::abort();
    if (Exists(output + ".part")) std::abort();
    if (patched != Exists(output)) std::abort();
    if (patched) {
        // Whatever the inputs were, what we wrote must read back.
        MixFile written(output);
        ReleaseMixEntries();
    }
    return 0;
}
