#include "platform/file_system.h"

#include <algorithm>
#include <cerrno>

#include "platform/file_in_use.h"
#include "platform/file_io.h"
#include "platform/path.h"

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw FileSystemError("Could not " + what + " " + path + ": " + DescribeErrno(error) + ".",
                          error);
}

}  // namespace

bool FileExists(const std::string& path) { return KindOf(path) != EntryKind::kMissing; }

void ClearDirectory(const std::string& directory, const std::vector<std::string>& keep) {
    ClearDirectory(directory, [&](const std::string& name) {
        return std::find(keep.begin(), keep.end(), name) != keep.end();
    });
}

void ClearDirectory(const std::string& directory,
                    const std::function<bool(const std::string& name)>& keep) {
    for (const std::string& name : ListDirectory(directory)) {
        if (keep(name)) continue;
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
    if (!system_calls::RemoveEmptyDirectory(directory)) Fail("remove the folder", directory, errno);
}

void MakeDirectory(const std::string& directory) {
    if (!system_calls::MakeOneDirectory(directory)) Fail("create the folder", directory, errno);
}

void MakeDirectories(const std::string& directory) {
    if (directory.empty() || KindOf(directory) == EntryKind::kDirectory) return;
    const auto slash = directory.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0) MakeDirectories(directory.substr(0, slash));
    // "C:" is no folder to make.
    if (directory.size() == 2 && directory[1] == ':') return;
    MakeDirectory(directory);
}

bool RemoveFileIfPresent(const std::string& path) {
    return system_calls::RemovePlainFile(path) || errno == ENOENT;
}

void RemoveFile(const std::string& path) {
    if (RemoveFileIfPresent(path)) return;
    ThrowIfInUse(errno, path, path);
    Fail("delete", path, errno);
}

void RenameReplacing(const std::string& from, const std::string& to) {
    if (MoveFileOver(from, to)) return;
    ThrowIfInUse(errno, to, to);
    Fail("rename", from + " to " + to, errno);
}

void CreateEmptyFile(const std::string& path) {
    UniqueFile file = OpenFile(path, "wb");
    if (!file) Fail("create", path, errno);
    if (std::fclose(file.release()) != 0) Fail("write", path, errno);
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    if (const int error = WriteFileWhole(path, bytes)) Fail("write", path, error);
}
