#include "platform/window_geometry.h"

ScreenPoint CenteredOrigin(const ScreenRect& parent, const ScreenRect& window) {
    const long parentWidth = parent.right - parent.left;
    const long parentHeight = parent.bottom - parent.top;
    const long width = window.right - window.left;
    const long height = window.bottom - window.top;
    return {parent.left + (parentWidth - width) / 2, parent.top + (parentHeight - height) / 2};
}
