#include "exit_codes.h"

#include <cstdio>
#include <iterator>

namespace {

struct Entry {
    ExitCode code;
    const char* name;
    const char* meaning;
};

constexpr Entry kEntries[] = {
    {ExitCode::kSuccess, "success",
     "done: the folder holds the version (validate: it is intact; status: answered)"},
    {ExitCode::kNothingToDo, "nothing-to-do", "the folder already held the version, intact"},
    {ExitCode::kBadArguments, "bad-arguments",
     "bad arguments, or a version the release does not publish"},
    {ExitCode::kFolderBusy, "folder-busy", "another run holds the folder (its lock file)"},
    {ExitCode::kUnreachable, "unreachable",
     "no server could be reached or served the file (connection, certificate, HTTP error)"},
    {ExitCode::kStalled, "stalled", "a transfer stalled on every try (the next run resumes it)"},
    {ExitCode::kReleaseRefused, "release-refused",
     "the release was refused: not signed by a known key, older than one seen, or expired"},
    {ExitCode::kDiskFull, "disk-full", "the disk is full"},
    {ExitCode::kInvalidInstallation, "invalid-installation",
     "the installation is invalid and was not repaired (validate: files differ)"},
    {ExitCode::kStopped, "stopped", "stopped by SIGINT, SIGTERM or Ctrl+C (the next run resumes)"},
    {ExitCode::kOtherFailure, "failure",
     "another failure: a file in use, a malformed release, a file-system error"},
};

}  // namespace

const char* ExitCodeName(ExitCode code) {
    for (const Entry& entry : kEntries) {
        if (entry.code == code) return entry.name;
    }
    return "failure";
}

std::string ExitCodeTable() {
    std::string table;
    for (const Entry& entry : kEntries) {
        char line[160];
        std::snprintf(line, sizeof line, "  %2d  %s\n", static_cast<int>(entry.code),
                      entry.meaning);
        table += line;
    }
    return table;
}

ExitCode ExitCodeFor(FailureCause cause) {
    switch (cause) {
        case FailureCause::kUnreachable:
            return ExitCode::kUnreachable;
        case FailureCause::kStalled:
            return ExitCode::kStalled;
        case FailureCause::kRefusedRelease:
            return ExitCode::kReleaseRefused;
        case FailureCause::kDiskFull:
            return ExitCode::kDiskFull;
        case FailureCause::kInvalidBuild:
            return ExitCode::kInvalidInstallation;
        case FailureCause::kNotPublished:
            return ExitCode::kBadArguments;
        case FailureCause::kStopped:
            return ExitCode::kStopped;
        case FailureCause::kOther:
            break;
    }
    return ExitCode::kOtherFailure;
}
