#pragma once

#include "platform/process_runner.h"

// CreateProcessA with the settings the launcher has always used: no security
// attributes, no inherited handles, the current environment, SW_SHOWNORMAL.
class Win32ProcessRunner final : public ProcessRunner {
public:
    bool Start(const ProcessLaunch& launch) override;
};
