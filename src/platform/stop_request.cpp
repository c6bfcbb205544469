#include "platform/stop_request.h"

#include <atomic>

namespace {
std::atomic<bool> stopRequested{false};
}

void RequestStop() { stopRequested.store(true); }
void ClearStopRequest() { stopRequested.store(false); }
bool StopRequested() { return stopRequested.load(); }

void ThrowIfStopped() {
    if (StopRequested()) throw WorkStopped();
}
