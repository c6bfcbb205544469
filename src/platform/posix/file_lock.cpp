#include "platform/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <sys/file.h>

#include "platform/file_io.h"

namespace {

std::string ReadAll(int descriptor) {
    std::string text;
    char buffer[256];
    ssize_t got = 0;
    off_t offset = 0;
    while ((got = pread(descriptor, buffer, sizeof buffer, offset)) > 0 && text.size() < 4096) {
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
    return text;
}

}  // namespace

std::string ProcessDescription() { return "process " + std::to_string(getpid()); }

FileLock::FileLock(const std::string& path) {
    descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor_ < 0) {
        failure_ = "Could not open " + path + ": " + DescribeErrno(errno) + ".";
        return;
    }
    // flock, not fcntl: a lock that belongs to this open file, not to the process, so no
    // other open of the same file by this process lets go of it.
    if (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            state_ = State::kBusy;
            holder_ = ReadAll(descriptor_);
        } else {
            failure_ = "Could not lock " + path + ": " + DescribeErrno(errno) + ".";
        }
        close(descriptor_);
        descriptor_ = -1;
        return;
    }
    state_ = State::kHeld;
    // Who holds it is a courtesy for the message of the next one: a failure to say so
    // changes nothing about the lock.
    const std::string note = ProcessDescription() + "\n";
    if (ftruncate(descriptor_, 0) == 0) {
        [[maybe_unused]] const ssize_t written = pwrite(descriptor_, note.data(), note.size(), 0);
    }
}

FileLock::~FileLock() {
    if (descriptor_ >= 0) close(descriptor_);
}
