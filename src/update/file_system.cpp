#include "update/file_system.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/file_info.h"
#include "platform/file_io.h"
#include "platform/move_file.h"
#include "platform/path.h"
#include "update/update_error.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

std::string ErrnoText(int error) { return DescribeErrno(error); }

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw InstallError("Could not " + what + " " + path + ": " + ErrnoText(error) + ".");
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

EntryKind KindOf(const std::string& path) {
#ifdef _WIN32
    // The 64-bit variant, so files of 2 GiB and more are still seen as files.
    struct _stat64 info {};
    if (_stat64(path.c_str(), &info) != 0) return EntryKind::kMissing;
#else
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return EntryKind::kMissing;
#endif
    if ((info.st_mode & S_IFMT) == S_IFREG) return EntryKind::kFile;
    if ((info.st_mode & S_IFMT) == S_IFDIR) return EntryKind::kDirectory;
    return EntryKind::kOther;
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(directory.c_str()));
    if (!dir) Fail("list the folder", directory, errno);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
        errno = 0;
    }
    if (errno != 0) Fail("list the folder", directory, errno);
    return names;
}

void ClearDirectory(const std::string& directory, const std::vector<std::string>& keep) {
    for (const std::string& name : ListDirectory(directory)) {
        if (std::find(keep.begin(), keep.end(), name) != keep.end()) continue;
        const std::string path = JoinPath(directory, name);
        // A link is removed, never followed: clearing the game must not reach outside it.
        if (IsLink(path)) {
            if (!RemoveLink(path)) Fail("delete", path, errno);
        } else if (KindOf(path) == EntryKind::kDirectory) {
            RemoveTree(path);
        } else {
            RemoveFile(path);
        }
    }
}

void RemoveTree(const std::string& directory) {
    if (IsLink(directory)) {
        if (!RemoveLink(directory)) Fail("delete", directory, errno);
        return;
    }
    const EntryKind kind = KindOf(directory);
    if (kind == EntryKind::kMissing) return;
    if (kind != EntryKind::kDirectory) {
        RemoveFile(directory);
        return;
    }
    ClearDirectory(directory);
    if (rmdir(directory.c_str()) != 0) Fail("remove the folder", directory, errno);
}

void MakeDirectory(const std::string& directory) {
#ifdef _WIN32
    const int made = _mkdir(directory.c_str());
#else
    const int made = mkdir(directory.c_str(), 0777);
#endif
    if (made != 0) Fail("create the folder", directory, errno);
}

void MakeDirectories(const std::string& directory) {
    if (directory.empty() || KindOf(directory) == EntryKind::kDirectory) return;
    const auto slash = directory.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0) MakeDirectories(directory.substr(0, slash));
    MakeDirectory(directory);
}

void RemoveFile(const std::string& path) {
    if (std::remove(path.c_str()) != 0 && errno != ENOENT) Fail("delete", path, errno);
}

void RenameReplacing(const std::string& from, const std::string& to) {
    if (!MoveFileOver(from, to)) Fail("rename", from + " to " + to, errno);
}

void CreateEmptyFile(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         &std::fclose);
    if (!file) Fail("create", path, errno);
    if (std::fclose(file.release()) != 0) Fail("write", path, errno);
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    if (const int error = WriteFileWhole(path, bytes)) Fail("write", path, error);
}
