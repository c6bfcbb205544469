// What every dialog procedure of the launcher does the same way.
#pragma once

#include <windows.h>

// The dialog's own data: handed over as DialogBoxParam's lParam, kept in GWLP_USERDATA
// from WM_INITDIALOG on. Null for the few messages that come before it.
template <typename Data>
Data* DialogData(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    return reinterpret_cast<Data*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

struct DialogCommand {
    int control;
    int notification;
    // A button pressed, a menu item or an accelerator (Enter, Escape) chosen.
    bool Chosen() const { return notification == BN_CLICKED; }
};

inline DialogCommand DecodeCommand(WPARAM wParam) { return {LOWORD(wParam), HIWORD(wParam)}; }

// A dialog procedure's answer to a message whose result is not its return value.
inline INT_PTR Answer(HWND dialog, LRESULT result) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}
