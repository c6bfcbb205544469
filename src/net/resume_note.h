// The note beside a partial body: which URL the bytes are the beginning of, and the
// validator the server gave them, so a later attempt asks for the rest only of that file.
#pragma once

#include <optional>
#include <string>

struct ResumeNote {
    std::string url;
    std::string validator;
};

std::optional<ResumeNote> ReadResumeNote(const std::string& partialPath);
// Whole or not at all; false when it could not be written.
bool WriteResumeNote(const std::string& partialPath, const ResumeNote& note);
void RemoveResumeNote(const std::string& partialPath);
