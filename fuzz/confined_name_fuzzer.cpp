// Names come from packages, documents and archives: whatever the bytes, a name is
// refused or becomes a path below the root that the layer would accept again as it is,
// with no component Windows reads as anything but a plain name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/confined_name.h"
#include "platform/path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string root = "root";
    const ConfinedName confined = ConfineName(root, name);
    FoldName(name);
    if (!confined.ok()) {
        if (!confined.path.empty()) __builtin_trap();
        return 0;
    }
    if (confined.path.compare(0, root.size() + 1, root + kPathSeparator) != 0) __builtin_trap();
    const std::string relative = confined.path.substr(root.size() + 1);
    if (!ConfineName(root, relative).ok()) __builtin_trap();
    if (FoldName(relative) != FoldName(name)) __builtin_trap();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relative.find(kPathSeparator, start);
        const std::string component = relative.substr(start, end - start);
        if (component.empty() || component == "." || component == ".." ||
            component.find(':') != std::string::npos) {
            __builtin_trap();
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return 0;
}
