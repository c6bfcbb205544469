#pragma once

#include <windows.h>

#include <string>

// The system's own words for a GetLastError() code, without the trailing line end;
// "error N" when the system has none.
std::string SystemErrorText(DWORD error);
