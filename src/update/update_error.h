// Errors of the update engine. Each carries a sentence for the player that names the
// file concerned and what is wrong with it; the update worker shows it in a box.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>

#include "platform/downloader.h"
#include "platform/file_io.h"

// What a failure comes down to, for a caller that acts on it (a console program's exit
// code) rather than only showing its sentence.
enum class FailureCause {
    kOther,           // a malformed document, a file in use, a file-system error
    kUnreachable,     // no server answered, or none served the file (certificate, HTTP error)
    kStalled,         // the server stopped sending, on every try
    kRefusedRelease,  // not signed, older than one accepted, expired, or not as published
    kDiskFull,
    kInvalidBuild,  // the game folder does not match its list and could not be repaired
    kNotPublished,  // the catalogue does not name the version asked for
    kStopped,
};

inline FailureCause CauseOf(TransferResult result) {
    switch (result) {
        case TransferResult::kStalled:
            return FailureCause::kStalled;
        case TransferResult::kDiskFull:
            return FailureCause::kDiskFull;
        case TransferResult::kNotAsPublished:
            return FailureCause::kRefusedRelease;
        case TransferResult::kStopped:
            return FailureCause::kStopped;
        case TransferResult::kRefused:
        case TransferResult::kUnreachable:
        case TransferResult::kUntrusted:
            return FailureCause::kUnreachable;
        case TransferResult::kCompleted:
            break;
    }
    return FailureCause::kOther;
}

// The cause of a failed file-system call by its errno.
inline FailureCause CauseOfErrno(int error) {
    return error == ENOSPC ? FailureCause::kDiskFull : FailureCause::kOther;
}

// Installation cannot go on: a document that is missing or malformed, a package that
// does not extract, a file-system operation that failed ("Install Failure").
class InstallError : public std::runtime_error {
public:
    explicit InstallError(const std::string& text, FailureCause cause = FailureCause::kOther)
        : std::runtime_error(text), cause(cause) {}
    FailureCause cause;
};

// A file of the build could not be read while it was being checked.
class ValidationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A download that the signed release does not vouch for: a document without a valid
// signature, a file whose SHA-256 or size differs from the signed value, a release older
// than one already accepted, or one past its expiry. Never kept for a later repair.
class VerificationError : public std::runtime_error {
public:
    // reason: what the server did, for the message's first sentence; detail: the file.
    VerificationError(const std::string& reason, const std::string& detail)
        : std::runtime_error(detail), reason(reason) {}
    std::string reason;
};

// The description of an errno value, in the words the C runtime uses.
inline std::string ErrnoText(int error) { return DescribeErrno(error); }
