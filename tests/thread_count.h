// Forces the number of worker threads (KESTRAVA_THREADS) for one scope: tests compare the
// parallel paths with the sequential one that way.
#pragma once

#include <string>

#include "scoped_environment.h"

class ThreadCount : public ScopedEnvironment {
public:
    explicit ThreadCount(unsigned count)
        : ScopedEnvironment("KESTRAVA_THREADS", std::to_string(count)) {}
};
