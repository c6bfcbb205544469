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

}  // namespace

ProcessStart CreateProcessRunner::Start(const ProcessLaunch& launch) {
    // The command line holds paths, so it goes wide too, in a buffer as long as the narrow one.
    const std::vector<char> narrow = CommandLineBuffer(launch.commandLine);
    std::wstring commandLine = WideFromUtf8(std::string(narrow.begin(), narrow.end()));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.wShowWindow = SW_SHOWNORMAL;
    ProcessHandles process;
    if (!CreateProcessW(WideFromUtf8(launch.application).c_str(),
                        launch.commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, WideFromUtf8(launch.directory).c_str(), &startup,
                        &process.info)) {
        return {false, SystemErrorText(GetLastError())};
    }
    if (launch.wait) WaitForSingleObject(process.info.hProcess, INFINITE);
    return true;
}
