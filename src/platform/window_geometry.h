// Window placement arithmetic, kept apart from Win32 so that it can be tested natively.
#pragma once

struct ScreenRect {
    long left;
    long top;
    long right;
    long bottom;
};

struct ScreenPoint {
    long x;
    long y;
};

// Top-left corner that centres `window` over `parent`; both divisions truncate
// toward zero, so a window larger than its parent overhangs it evenly.
ScreenPoint CenteredOrigin(const ScreenRect& parent, const ScreenRect& window);
