#pragma once

#include <string>

// Renames source over destination, replacing an existing destination in one step.
// Returns false, leaving both as they were, when that is not possible.
bool MoveFileOver(const std::string& source, const std::string& destination);
