#include "platform/file_system.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

#include "platform/file_in_use.h"
#include "platform/file_io.h"
#include "platform/path.h"
#include "platform/win32/wide_text.h"

const char kPathSeparator = '\\';

namespace {

// Callers report failures through errno, as for every stdio call.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return kFileInUseErrno;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_INVALID_NAME:
            return EINVAL;
        default:
            return EIO;
    }
}

bool Failed() {
    errno = ErrnoOf(GetLastError());
    return false;
}

// Refusals that another program's handle can cause; access denied is also what a
// running program's .exe and a file a scanner is deleting answer.
bool MayBeHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

// Scanners and indexers open every new file for a moment: a refusal that may come from
// another program is tried again for about three seconds before it counts. Access
// denied then counts as in use only when the system names a holder. call sets errno.
template <typename Call>
bool UnlessHeld(const std::string& path, Call call) {
    DWORD wait = 50;
    for (;;) {
        if (call()) return true;
        const DWORD error = GetLastError();
        if (!MayBeHeld(error)) return false;
        if (wait > 1600) {
            if (error == ERROR_ACCESS_DENIED && !ProgramsHolding(path).empty())
                errno = kFileInUseErrno;
            return false;
        }
        Sleep(wait);
        wait *= 2;
    }
}

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};

}  // namespace

EntryKind KindOf(const std::string& path) {
    // The 64-bit variant, so files of 2 GiB and more are still seen as files.
    struct _stat64 info {};
    if (_wstat64(WidePath(path).c_str(), &info) != 0) return EntryKind::kMissing;
    if ((info.st_mode & _S_IFMT) == _S_IFREG) return EntryKind::kFile;
    if ((info.st_mode & _S_IFMT) == _S_IFDIR) return EntryKind::kDirectory;
    return EntryKind::kOther;
}

bool IsLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RemoveLink(const std::string& path) {
    // A junction or directory link is a directory to the system: removing it as one
    // drops the link and leaves its target alone.
    const std::wstring wide = WidePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RemoveDirectoryW(wide.c_str()) != 0 || Failed();
    return DeleteFileW(wide.c_str()) != 0 || Failed();
}

std::optional<std::uint64_t> RegularFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::optional<std::uint64_t> FreeDiskSpace(const std::string& directory) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(WidePath(directory).c_str(), &available, nullptr, nullptr))
        return std::nullopt;
    return available.QuadPart;
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    WIN32_FIND_DATAW found{};
    std::unique_ptr<void, FindCloser> find(
        FindFirstFileW(WidePath(directory + "\\*").c_str(), &found));
    if (find.get() == INVALID_HANDLE_VALUE) {
        find.release();
        Failed();
        throw FileSystemError("Could not list the folder " + directory + ": " +
                              DescribeErrno(errno) + ".");
    }
    std::vector<std::string> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(Utf8FromWide(name));
    } while (FindNextFileW(find.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        Failed();
        throw FileSystemError("Could not list the folder " + directory + ": " +
                              DescribeErrno(errno) + ".");
    }
    return names;
}

bool MoveFileOver(const std::string& source, const std::string& destination) {
    // The C runtime's rename refuses an existing destination here.
    const std::wstring from = WidePath(source);
    const std::wstring to = WidePath(destination);
    // The game file being replaced is the one another program may hold.
    return UnlessHeld(destination, [&] {
        return MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
               Failed();
    });
}

namespace system_calls {
bool MakeOneDirectory(const std::string& directory) {
    return CreateDirectoryW(WidePath(directory).c_str(), nullptr) != 0 || Failed();
}
bool RemoveEmptyDirectory(const std::string& directory) {
    return RemoveDirectoryW(WidePath(directory).c_str()) != 0 || Failed();
}
bool RemovePlainFile(const std::string& path) {
    const std::wstring wide = WidePath(path);
    return UnlessHeld(path, [&] { return DeleteFileW(wide.c_str()) != 0 || Failed(); });
}
}  // namespace system_calls

UniqueFile OpenFile(const std::string& path, const char* mode) {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    const std::wstring wideMode = WideFromUtf8(mode);
    UniqueFile file;
    UnlessHeld(path, [&] {
        file.reset(_wfopen(wide.c_str(), wideMode.c_str()));
        // The runtime's errno says "permission denied" for both refusals; the system's
        // error tells them apart.
        const DWORD error = GetLastError();
        if (!file && (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION))
            errno = kFileInUseErrno;
        return file != nullptr;
    });
    return file;
}

bool FlushToDisk(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

bool SeekTo(std::FILE* file, std::uint64_t offset) {
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool SizeOfOpenFile(std::FILE* file, std::uint64_t& size) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return false;
    return PositionInFile(file, size);
}

bool PositionInFile(std::FILE* file, std::uint64_t& position) {
    const __int64 at = _ftelli64(file);
    if (at < 0) return false;
    position = static_cast<std::uint64_t>(at);
    return true;
}

std::size_t ReadFileAt(std::FILE* file, std::uint64_t offset, void* buffer, std::size_t count) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    std::size_t done = 0;
    while (done < count) {
        // With an OVERLAPPED offset even a synchronous handle reads where it is told.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        const auto want = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle, static_cast<char*>(buffer) + done, want, &got, &at) || got == 0)
            break;
        done += got;
    }
    return done;
}

// Windows offers no copy from one open file to another at given offsets: nothing is
// ever queued, and the caller copies through its own buffer.
SystemCopier::SystemCopier(std::FILE* destination) : destination_(destination) {}
SystemCopier::~SystemCopier() = default;

bool SystemCopier::usable() const { return false; }

std::uint64_t SystemCopier::Queue(std::FILE*, std::uint64_t, std::uint64_t) { return 0; }
bool SystemCopier::QueueZeros(std::size_t) { return false; }
bool SystemCopier::WriteOut() { return true; }
std::size_t SystemCopier::TakeBack(void*, std::size_t) { return 0; }
