#include "platform/win32/create_process_runner.h"

#include <windows.h>

namespace {

struct ProcessHandles {
    PROCESS_INFORMATION info{};
    ~ProcessHandles() {
        if (info.hThread != nullptr) CloseHandle(info.hThread);
        if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    }
};

}  // namespace

bool CreateProcessRunner::Start(const ProcessLaunch& launch) {
    std::vector<char> commandLine = CommandLineBuffer(launch.commandLine);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.wShowWindow = SW_SHOWNORMAL;
    ProcessHandles process;
    if (!CreateProcessA(launch.application.c_str(),
                        launch.commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, launch.directory.c_str(), &startup, &process.info)) {
        return false;
    }
    if (launch.wait) WaitForSingleObject(process.info.hProcess, INFINITE);
    return true;
}
