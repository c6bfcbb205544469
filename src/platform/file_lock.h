// A lock on a file that the system lets go of when its holder ends, however it ends: a
// lock a killed process left is free for the next one, and nothing has to guess from a
// process id whether its holder still lives. The file stays; only the lock comes and goes.
#pragma once

#include <string>

class FileLock {
public:
    enum class State {
        kHeld,    // this object holds the lock until it goes
        kBusy,    // another process holds it
        kFailed,  // the file could not be created or locked (failure says why)
    };

    // Creates path when it is missing and tries once to lock it: never waits.
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    State state() const { return state_; }
    const std::string& failure() const { return failure_; }
    // What the holder wrote in the file when it took the lock: who it is, for the
    // message of the one that finds it busy.
    const std::string& holder() const { return holder_; }

private:
    State state_ = State::kFailed;
    std::string failure_;
    std::string holder_;
    // The descriptor, or the handle on Windows.
    void* handle_ = nullptr;
    int descriptor_ = -1;
};

// Who this process is, as a holder writes it: "process 1234".
std::string ProcessDescription();
