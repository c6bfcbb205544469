#include "platform/win32/system_error.h"

#include <memory>

namespace {

struct LocalFreer {
    void operator()(char* text) const { LocalFree(text); }
};

}  // namespace

std::string SystemErrorText(DWORD error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    const std::unique_ptr<char, LocalFreer> owned(buffer);
    std::string text = length != 0 ? std::string(buffer, length) : std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(error) : text;
}
