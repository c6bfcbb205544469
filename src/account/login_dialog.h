#pragma once

#include <windows.h>

// End codes of the login dialog, on which start-up relies.
enum LoginDialogEnd : INT_PTR {
    kLoginSignedIn = 0,  // the user key is set and written to config.txt
    kLoginClosed = 1,    // closed by the user; nothing was stored
};

INT_PTR RunLoginDialog();
