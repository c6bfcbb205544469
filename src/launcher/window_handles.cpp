#include "launcher/window_handles.h"

WindowHandles& Handles() {
    static WindowHandles handles;
    return handles;
}
