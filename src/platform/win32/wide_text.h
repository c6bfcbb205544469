// UTF-8, the core's encoding of names, to and from the UTF-16 of the wide API.
#pragma once

#include <string>

// Empty for text that is not valid UTF-8.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

// A path for the wide file functions: an absolute path longer than MAX_PATH gets the
// "\\?\" prefix, which lifts the limit to 32,767 characters.
std::wstring WidePath(const std::string& path);
