#include "launcher/running_game.h"

#include <tlhelp32.h>

#include <memory>

#include "launcher/game_launch.h"
#include "platform/win32/wide_text.h"

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

std::wstring ImagePath(DWORD processId) {
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, &path[0], &size)) return {};
    path.resize(size);
    return path;
}

std::wstring WithoutLongPrefix(std::wstring path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    return path;
}

// Another copy of the game, started from another install, is no obstacle.
bool GameRunning(const std::string& installDirectory) {
    const std::wstring game = WithoutLongPrefix(WidePath(GameExecutablePath(installDirectory)));
    HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (taken == INVALID_HANDLE_VALUE) return false;
    const UniqueHandle snapshot(taken);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        const std::wstring image = WithoutLongPrefix(ImagePath(entry.th32ProcessID));
        if (!image.empty() && _wcsicmp(image.c_str(), game.c_str()) == 0) return true;
    }
    return false;
}

}  // namespace

bool GameClosedForUpdate(HWND owner, const std::string& installDirectory) {
    while (GameRunning(installDirectory)) {
        const int answer = MessageBoxA(
            owner,
            "Kestrava is still running (game.exe). Close the game, then press Retry to update it.",
            "Close the Game", MB_ICONWARNING | MB_RETRYCANCEL);
        if (answer != IDRETRY) return false;
    }
    return true;
}
