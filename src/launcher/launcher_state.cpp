#include "launcher/launcher_state.h"

LauncherState& Launcher() {
    static LauncherState state;
    return state;
}
