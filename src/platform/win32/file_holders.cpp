#include <windows.h>

#include <restartmanager.h>

#include <vector>

#include "platform/file_in_use.h"
#include "platform/win32/wide_text.h"

namespace {

class RestartSession {
public:
    RestartSession() {
        WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
        if (RmStartSession(&session_, 0, key) != ERROR_SUCCESS) session_ = kNone;
    }
    ~RestartSession() {
        if (session_ != kNone) RmEndSession(session_);
    }
    RestartSession(const RestartSession&) = delete;
    RestartSession& operator=(const RestartSession&) = delete;

    DWORD get() const { return session_; }
    bool started() const { return session_ != kNone; }

private:
    static constexpr DWORD kNone = 0xFFFFFFFF;
    DWORD session_ = kNone;
};

std::wstring ExecutableName(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return {};
    WCHAR path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    const BOOL found = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    if (!found) return {};
    const std::wstring full(path, size);
    return full.substr(full.find_last_of(L'\\') + 1);
}

// "game.exe (Kestrava)": the program's file, and the name it gives itself when that differs.
std::string HolderName(const RM_PROCESS_INFO& info) {
    const std::wstring file = ExecutableName(info.Process.dwProcessId);
    const std::wstring app = info.strAppName;
    if (file.empty()) return Utf8FromWide(app);
    if (app.empty() || _wcsicmp(app.c_str(), file.c_str()) == 0) return Utf8FromWide(file);
    return Utf8FromWide(file + L" (" + app + L")");
}

}  // namespace

std::vector<std::string> ProgramsHolding(const std::string& path) {
    const RestartSession session;
    if (!session.started()) return {};
    const std::wstring wide = WidePath(path);
    LPCWSTR files[] = {wide.c_str()};
    if (RmRegisterResources(session.get(), 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS)
        return {};
    std::vector<RM_PROCESS_INFO> found(4);
    UINT needed = 0;
    DWORD reasons = 0;
    for (;;) {
        UINT count = static_cast<UINT>(found.size());
        const DWORD result = RmGetList(session.get(), &needed, &count, found.data(), &reasons);
        if (result == ERROR_MORE_DATA) {
            found.resize(needed);
            continue;
        }
        if (result != ERROR_SUCCESS) return {};
        found.resize(count);
        break;
    }
    std::vector<std::string> holders;
    for (const RM_PROCESS_INFO& info : found) {
        // The launcher's own handle is no other program's.
        if (info.Process.dwProcessId == GetCurrentProcessId()) continue;
        const std::string name = HolderName(info);
        if (!name.empty()) holders.push_back(name);
    }
    return holders;
}
