#pragma once

#include <string>

// A fresh, empty file in the system's temporary folder; its path, or "" on failure.
std::string NewTemporaryFile();
