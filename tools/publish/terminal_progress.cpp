#include "terminal_progress.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

double Mebibytes(std::uint64_t bytes) { return static_cast<double>(bytes) / (1 << 20); }

class Line {
public:
    void Show(const PublishProgress& now) {
        const bool finished = now.files == now.totalFiles;
        if (finished && ended_ == now.step) return;  // its last line is out already
        ended_.clear();
        const Clock::time_point time = Clock::now();
        if (step_ != now.step) {
            step_ = now.step;
            started_ = time;
            shown_ = Clock::time_point();
        }
        if (!finished && time - shown_ < std::chrono::milliseconds(200)) return;
        shown_ = time;
        const double seconds = std::chrono::duration<double>(time - started_).count();
        std::fprintf(stderr, "\r%-8s %llu/%llu files, %.1f/%.1f MiB, %.1f MiB/s   ", now.step,
                     static_cast<unsigned long long>(now.files),
                     static_cast<unsigned long long>(now.totalFiles), Mebibytes(now.bytes),
                     Mebibytes(now.totalBytes), seconds > 0 ? Mebibytes(now.bytes) / seconds : 0.0);
        if (finished) {
            std::fputc('\n', stderr);
            ended_ = now.step;
            step_.clear();  // the same step may come again, for another build
        }
        std::fflush(stderr);
    }

private:
    std::string step_;
    std::string ended_;
    Clock::time_point started_;
    Clock::time_point shown_;
};

}  // namespace

ProgressSink TerminalProgress() {
    if (!StderrIsTerminal()) return {};
    auto line = std::make_shared<Line>();
    return [line](const PublishProgress& now) { line->Show(now); };
}
