#include "platform/process_runner.h"

#include <algorithm>
#include <stdexcept>

namespace {
ProcessRunner* installed = nullptr;
constexpr std::size_t kClassicBuffer = 260;
}  // namespace

void SetProcessRunner(ProcessRunner* runner) { installed = runner; }

ProcessRunner& Processes() {
    if (installed == nullptr) throw std::logic_error("no process runner installed");
    return *installed;
}

std::vector<char> CommandLineBuffer(const std::string& commandLine) {
    std::vector<char> buffer(std::max(kClassicBuffer, commandLine.size() + 1), '\0');
    std::copy(commandLine.begin(), commandLine.end(), buffer.begin());
    return buffer;
}
