// Forces the number of worker threads (KESTRAVA_THREADS) for one scope: tests compare the
// parallel paths with the sequential one that way.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class ThreadCount {
public:
    explicit ThreadCount(unsigned count) {
        if (const char* value = std::getenv(kName)) before_ = value;
        setenv(kName, std::to_string(count).c_str(), 1);
    }
    ~ThreadCount() {
        if (before_) {
            setenv(kName, before_->c_str(), 1);
        } else {
            unsetenv(kName);
        }
    }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;

private:
    static constexpr const char* kName = "KESTRAVA_THREADS";
    std::optional<std::string> before_;
};
