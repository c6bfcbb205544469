#include "mix_test_support.h"

#include <filesystem>

std::size_t OpenDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}
