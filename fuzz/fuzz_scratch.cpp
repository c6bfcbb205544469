#include "fuzz_scratch.h"

#include <stdlib.h>

#include <cstdio>

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/kestrava-fuzz-XXXXXX";
        if (mkdtemp(pattern) == nullptr) abort();
        return std::string(pattern);
    }();
    return folder;
}

std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchFolder() + "/" + name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) abort();
    std::fclose(out);
    return path;
}
