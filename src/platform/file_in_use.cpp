#include "platform/file_in_use.h"

namespace {

std::string Describe(const std::string& shownName, const std::vector<std::string>& holders) {
    if (holders.empty()) {
        return "The file " + shownName +
               " is in use by another program: close that program and try again.";
    }
    std::string names;
    for (std::size_t at = 0; at < holders.size(); ++at) {
        if (at > 0) names += at + 1 == holders.size() ? " and " : ", ";
        names += holders[at];
    }
    const char* verb =
        holders.size() == 1 ? " is still running and holds " : " are still running and hold ";
    return names + verb + shownName + ": close " + (holders.size() == 1 ? "it" : "them") +
           " and try again.";
}

}  // namespace

FileInUseError::FileInUseError(const std::string& shownName,
                               const std::vector<std::string>& holders)
    : FileSystemError(Describe(shownName, holders)) {}

void ThrowIfInUse(int error, const std::string& path, const std::string& shownName) {
    if (error == kFileInUseErrno) throw FileInUseError(shownName, ProgramsHolding(path));
}
