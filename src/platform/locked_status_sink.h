// A sink for reports from several threads at once: each report reaches the inner sink
// whole, one at a time (a test's recorder, for one, is not made for two writers).
#pragma once

#include "platform/status_sink.h"
#include "platform/worker_threads.h"

class LockedStatusSink final : public StatusSink {
public:
    explicit LockedStatusSink(StatusSink& inner) : inner_(inner) {}
    void SetStatusText(const std::string& text) override {
        const MutexLock lock(mutex_);
        inner_.SetStatusText(text);
    }
    void SetProgress(std::uint64_t position, std::uint64_t maximum) override {
        const MutexLock lock(mutex_);
        inner_.SetProgress(position, maximum);
    }
    void Report(const ProgressEvent& event) override {
        const MutexLock lock(mutex_);
        inner_.Report(event);
    }
    StatusSink& inner() { return inner_; }

private:
    StatusSink& inner_;
    Mutex mutex_;
};
