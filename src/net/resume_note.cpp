#include "net/resume_note.h"

#include "platform/downloader.h"
#include "platform/file_io.h"
#include "platform/file_system.h"

std::optional<ResumeNote> ReadResumeNote(const std::string& partialPath) {
    const std::optional<std::string> bytes = ReadFileBytes(ResumeNotePath(partialPath));
    if (!bytes) return std::nullopt;
    const std::size_t first = bytes->find('\n');
    if (first == std::string::npos) return std::nullopt;
    const std::size_t second = bytes->find('\n', first + 1);
    if (second == std::string::npos) return std::nullopt;
    ResumeNote note{bytes->substr(0, first), bytes->substr(first + 1, second - first - 1)};
    if (note.url.empty() || note.validator.empty()) return std::nullopt;
    return note;
}

bool WriteResumeNote(const std::string& partialPath, const ResumeNote& note) {
    // A line break inside a header value would make the note say something else.
    if (note.url.find('\n') != std::string::npos || note.validator.find('\n') != std::string::npos)
        return false;
    return WriteFileWhole(ResumeNotePath(partialPath), note.url + '\n' + note.validator + '\n') ==
           0;
}

void RemoveResumeNote(const std::string& partialPath) {
    RemoveFileIfPresent(ResumeNotePath(partialPath));
}
