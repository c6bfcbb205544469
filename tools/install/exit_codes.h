// kestrava-install's exit codes: one for each cause a script may act on, listed in
// --help and the README from the one table here.
#pragma once

#include <string>

#include "update/update_error.h"

enum class ExitCode {
    kSuccess = 0,
    kNothingToDo = 1,
    kBadArguments = 2,
    kFolderBusy = 3,
    kUnreachable = 4,
    kStalled = 5,
    kReleaseRefused = 6,
    kDiskFull = 7,
    kInvalidInstallation = 8,
    kStopped = 9,
    kOtherFailure = 10,
};

// The code's name in --json output ("unreachable").
const char* ExitCodeName(ExitCode code);
// The lines of --help that list every code and its meaning.
std::string ExitCodeTable();

ExitCode ExitCodeFor(FailureCause cause);
