#include "platform/file_lock.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace {

// The lock covers a byte far past the note: Windows' locks keep other handles from
// reading the bytes they cover, and the one that finds the lock taken reads the note.
constexpr DWORD kLockedOffsetHigh = 1;

std::string SystemText(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result = text != nullptr ? Utf8FromWide(text) : "error " + std::to_string(error);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == '.' || result.back() == ' '))
        result.pop_back();
    return result;
}

std::string ReadNote(HANDLE file) {
    char buffer[256];
    DWORD got = 0;
    OVERLAPPED at{};
    if (!ReadFile(file, buffer, sizeof buffer, &got, &at)) return {};
    return std::string(buffer, got);
}

}  // namespace

std::string ProcessDescription() { return "process " + std::to_string(GetCurrentProcessId()); }

FileLock::FileLock(const std::string& path) {
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failure_ = "Could not open " + path + ": " + SystemText(GetLastError()) + ".";
        return;
    }
    OVERLAPPED at{};
    at.OffsetHigh = kLockedOffsetHigh;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            state_ = State::kBusy;
            holder_ = ReadNote(file);
        } else {
            failure_ = "Could not lock " + path + ": " + SystemText(error) + ".";
        }
        CloseHandle(file);
        return;
    }
    handle_ = file;
    state_ = State::kHeld;
    const std::string note = ProcessDescription() + "\r\n";
    DWORD written = 0;
    OVERLAPPED start{};
    if (WriteFile(file, note.data(), static_cast<DWORD>(note.size()), &written, &start)) {
        SetFilePointer(file, static_cast<LONG>(note.size()), nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    }
}

FileLock::~FileLock() {
    // Closing the handle lets go of the lock.
    if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}
