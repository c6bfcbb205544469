// Reads two archives from the input and patches the first with the second. The
// input is a 4-byte little-endian length, the source archive of that many bytes,
// and the patch archive in the rest.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "mix/mix_error.h"
#include "mix/mix_patcher.h"

namespace {

const std::string& WorkDirectory() {
    static const std::string directory = [] {
        char pattern[] = "/tmp/kestrava-fuzz-XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        return std::string(pattern);
    }();
    return directory;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, out);
    std::fclose(out);
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::size_t sourceSize = data[0] | data[1] << 8 | data[2] << 16 | std::size_t{data[3]} << 24;
    data += 4;
    size -= 4;
    if (sourceSize > size) sourceSize = size;

    const std::string source = WorkDirectory() + "/source.mix";
    const std::string patch = WorkDirectory() + "/patch.mix";
    const std::string output = WorkDirectory() + "/output.mix";
    WriteFile(source, data, sourceSize);
    WriteFile(patch, data + sourceSize, size - sourceSize);
    std::remove(output.c_str());

    bool patched = false;
    try {
        PatchMixFile(source, output, patch);
        patched = true;
    } catch (const MixError&) {
    } catch (const nlohmann::json::exception&) {
    }
    if (!MixEntryRegistry().empty()) std::abort();
    if (Exists(output + ".part")) std::abort();
    if (patched != Exists(output)) std::abort();
    if (patched) {
        // Whatever the inputs were, what we wrote must read back.
        MixFile written(output);
        ReleaseMixEntries();
    }
    return 0;
}
