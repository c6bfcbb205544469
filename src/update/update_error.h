// Errors of the update engine. Each carries a sentence for the player that names the
// file concerned and what is wrong with it; the update worker shows it in a box.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/file_io.h"

// Installation cannot go on: a document that is missing or malformed, a package that
// does not extract, a file-system operation that failed ("Install Failure").
class InstallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
