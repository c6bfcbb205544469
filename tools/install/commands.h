// The commands of kestrava-install over the update engine, each ending in its exit code.
#pragma once

#include "arguments.h"
#include "console_output.h"
#include "exit_codes.h"
#include "update/install_layout.h"

// Runs the command on the installation, whose lock the caller holds.
ExitCode RunCommand(const Arguments& arguments, const InstallLayout& layout, ConsoleOutput& output);
