// Names that come from the network, a package or a document, turned into paths inside
// a root folder, or refused. The rules are Windows's, applied in both builds, so that
// what the publisher accepts and the tests pass is what a player's disk can hold.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>

// A relative name may be this long in bytes, and each of its components this long.
inline constexpr std::size_t kMaxNameBytes = 1024;
inline constexpr std::size_t kMaxComponentBytes = 255;

struct ConfinedName {
    std::string path;     // root, the build's separator, the name's components
    std::string refusal;  // why the name was refused ("" when it was not)
    bool ok() const { return refusal.empty(); }
};

// Checks name ("/" or "\" separated, UTF-8) and joins it to root. Refused: anything
// that is not valid UTF-8 or holds a control character or one of <>:"|?*; absolute
// and drive paths; empty, "." and ".." components; components ending in a dot or a
// space; device names with or without an extension (CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM0-9, LPT0-9, COM and LPT with a superscript digit); overlong names.
ConfinedName ConfineName(const std::string& root, const std::string& name);

// The key under which two names land on the same file on Windows: separators as "/",
// letters in one case.
std::string FoldName(const std::string& name);

// The names one tree is made of, folded as Windows compares them: a second name for one
// file, a file where a folder is, or a folder spelled in two cases would leave on Windows
// a tree that no list of names describes.
class NameClaims {
public:
    // The earlier name that claims the same file or folder, or "" when name is free.
    std::string Claim(const std::string& name, bool directory = false);

private:
    std::string ClaimOne(const std::string& name, bool directory);

    std::map<std::string, std::pair<std::string, bool>> claims_;
};
