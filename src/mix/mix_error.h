// Errors raised by the MIX code. Each names the file it concerns and what is wrong
// with it, so that one line tells an operator or a player's log what happened.
#pragma once

#include <stdexcept>
#include <string>

class MixError : public std::runtime_error {
public:
    MixError(std::string path, std::string fault)
        : std::runtime_error(path + ": " + fault),
          path_(std::move(path)),
          fault_(std::move(fault)) {}

    const std::string& path() const { return path_; }
    const std::string& fault() const { return fault_; }

private:
    std::string path_;
    std::string fault_;
};

// The archive's bytes contradict its own layout: it is refused rather than trusted.
class MixFormatError : public MixError {
public:
    using MixError::MixError;
};

// The file system refused an open, a read, a write or a rename.
class MixIoError : public MixError {
public:
    using MixError::MixError;
};

// The archive is well formed but cannot be written as asked (a name too long for its
// length byte, a body beyond the format's 32-bit offsets).
class MixLimitError : public MixError {
public:
    using MixError::MixError;
};
