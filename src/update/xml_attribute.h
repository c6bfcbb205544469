#pragma once

#include <optional>
#include <string>

// The attribute of the document's first root element with that name; nothing when the
// file is missing, is not XML, or lacks the element or the attribute.
std::optional<std::string> ReadRootAttribute(const std::string& path, const char* rootElement,
                                             const char* attribute);
