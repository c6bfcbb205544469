// The player's wish to stop the work in hand. The window's thread asks; a transfer aborts
// at once and file work ends at its next step by raising WorkStopped, which unwinds like
// any other failure: each step is one a killed process may end at too.
#pragma once

#include <stdexcept>

class WorkStopped : public std::runtime_error {
public:
    WorkStopped() : std::runtime_error("The work was stopped.") {}
};

void RequestStop();
void ClearStopRequest();
bool StopRequested();
// Raises WorkStopped once a stop has been asked for.
void ThrowIfStopped();
