#include "platform/win32/create_process_runner.h"

#include <windows.h>

#include "platform/win32/system_error.h"
#include "platform/win32/wide_text.h"

namespace {

struct ProcessHandles {
    PROCESS_INFORMATION info{};
    ~ProcessHandles() {
        if (info.hThread != nullptr) CloseHandle(info.hThread);
        if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    }
};

// CreateProcess takes no program or folder of MAX_PATH characters or more, "\\?\" or
// not: such a one goes by its short name, which stays within the limit.
std::wstring Startable(const std::string& path) {
    std::wstring wide = WideFromUtf8(path);
    if (wide.size() < MAX_PATH) return wide;
    const std::wstring prefixed = WidePath(path);
    std::wstring shortPath(prefixed.size() + 1, L'\0');
    const DWORD length =
        GetShortPathNameW(prefixed.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (length == 0 || length >= shortPath.size()) return wide;
    shortPath.resize(length);
    if (shortPath.rfind(L"\\\\?\\", 0) == 0) shortPath.erase(0, 4);
    return shortPath;
}

}  // namespace

ProcessStart CreateProcessRunner::Start(const ProcessLaunch& launch) {
    // The command line holds paths, so it goes wide too, in a buffer as long as the narrow one.
    const std::vector<char> narrow = CommandLineBuffer(launch.commandLine);
    std::wstring commandLine = WideFromUtf8(std::string(narrow.begin(), narrow.end()));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.wShowWindow = SW_SHOWNORMAL;
    ProcessHandles process;
    const std::wstring application = Startable(launch.application);
    const std::wstring directory = Startable(launch.directory);
    if (!CreateProcessW(application.c_str(),
                        launch.commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, directory.c_str(), &startup, &process.info)) {
        return {false, SystemErrorText(GetLastError())};
    }
    if (launch.wait) WaitForSingleObject(process.info.hProcess, INFINITE);
    return true;
}
