#include "platform/win32/process_runner.h"

#include <windows.h>

#include <vector>

namespace {

struct HandleCloser {
    HANDLE handle;
    ~HandleCloser() {
        if (handle != nullptr) CloseHandle(handle);
    }
};

}  // namespace

bool Win32ProcessRunner::Start(const ProcessLaunch& launch) {
    // CreateProcessA may write into the command line, so it gets a writable copy; an
    // empty line is passed as no command line at all.
    std::vector<char> commandLine = CommandLineBuffer(launch.commandLine);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(launch.application.c_str(),
                        launch.commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, launch.directory.c_str(), &startup, &process)) {
        return false;
    }
    HandleCloser processHandle{process.hProcess};
    HandleCloser threadHandle{process.hThread};
    if (launch.wait) WaitForSingleObject(process.hProcess, INFINITE);
    return true;
}
