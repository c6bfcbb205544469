#pragma once

#include "platform/process_runner.h"

// Starts programs with CreateProcessA: shown normally, no handles inherited, the
// launcher's own environment.
class CreateProcessRunner final : public ProcessRunner {
public:
    ProcessStart Start(const ProcessLaunch& launch) override;
};
