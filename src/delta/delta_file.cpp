#include "delta/delta_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "delta/delta_reader.h"
#include "platform/file_io.h"
#include "platform/file_system.h"

namespace {

[[noreturn]] void Refused(const std::string& what, const std::string& path) {
    throw FileSystemError("cannot " + what + " " + path + ": " + DescribeErrno(errno));
}

std::string ReadWhole(const std::string& path) {
    std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes) Refused("read", path);
    return std::move(*bytes);
}

class FileBase final : public DeltaBase {
public:
    explicit FileBase(const std::string& path) : file_(OpenFile(path, "rb")) {
        if (!file_ || !SizeOfOpenFile(file_.get(), size_)) Refused("read", path);
    }
    std::uint64_t size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        return ReadFileAt(file_.get(), offset, buffer, count) == count;
    }

private:
    UniqueFile file_;
    std::uint64_t size_ = 0;
};

class FileInput final : public DeltaInput {
public:
    explicit FileInput(const std::string& path) : file_(OpenFile(path, "rb")) {
        if (!file_) Refused("read", path);
    }
    std::size_t Read(void* buffer, std::size_t count) override {
        return std::fread(buffer, 1, count, file_.get());
    }

private:
    UniqueFile file_;
};

}  // namespace

std::uint64_t MakeDeltaFile(const std::string& basePath, const std::string& targetPath,
                            const std::string& deltaPath, const DeltaOptions& options) {
    const std::string delta = MakeDelta(ReadWhole(basePath), ReadWhole(targetPath), options);
    if (const int error = WriteFileWhole(deltaPath, delta); error != 0) {
        errno = error;
        Refused("write", deltaPath);
    }
    return delta.size();
}

DeltaHeader ApplyDeltaFile(const std::string& basePath, const std::string& deltaPath,
                           const std::string& outputPath,
                           const std::function<void(const DeltaHeader&)>& accept) {
    FileBase base(basePath);
    FileInput input(deltaPath);
    DeltaReader reader(base, input);
    if (accept) accept(reader.header());

    const std::string partial = outputPath + ".part";
    UniqueFile out = OpenFile(partial, "wb");
    if (!out) Refused("create", partial);
    try {
        std::unique_ptr<char[]> buffer(new char[1 << 20]);
        while (const std::size_t n = reader.Read(buffer.get(), 1 << 20)) {
            if (std::fwrite(buffer.get(), 1, n, out.get()) != n) Refused("write", partial);
        }
        if (std::fflush(out.get()) != 0) Refused("write", partial);
        if (std::fclose(out.release()) != 0) Refused("write", partial);
        RenameReplacing(partial, outputPath);
    } catch (...) {
        out.reset();
        RemoveFileIfPresent(partial);
        throw;
    }
    return reader.header();
}

bool IsDeltaFile(const std::string& path) {
    UniqueFile file = OpenFile(path, "rb");
    char magic[sizeof kDeltaMagic];
    return file && std::fread(magic, 1, sizeof magic, file.get()) == sizeof magic &&
           LooksLikeDelta(magic, sizeof magic);
}
