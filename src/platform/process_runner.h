// How portable code starts another program: the runtime installer, the new launcher,
// the game. The launcher's implementation is CreateProcessA; tests record the calls.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ProcessLaunch {
    std::string application;  // full path of the executable
    std::string commandLine;  // passed as it is; empty means no command line at all
    std::string directory;    // the new process's current directory
    bool wait = false;        // block until the process has ended
};

// Whether the process could be started (and, with wait, has ended); when it could not,
// the system's reason, for the player.
struct ProcessStart {
    ProcessStart(bool started, std::string failure = {})
        : started(started), failure(std::move(failure)) {}
    explicit operator bool() const { return started; }

    bool started;
    std::string failure;
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    virtual ProcessStart Start(const ProcessLaunch& launch) = 0;
};

// The process-wide runner, installed once at start-up (or by a test fixture).
void SetProcessRunner(ProcessRunner* runner);
ProcessRunner& Processes();

// A writable, NUL-terminated copy of a command line for CreateProcessA: the classic
// 260 characters, or as many as the text needs, so a long line is never cut.
std::vector<char> CommandLineBuffer(const std::string& commandLine);
