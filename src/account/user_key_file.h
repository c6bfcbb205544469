// config.txt: the user key's characters and nothing else.
#pragma once

#include <optional>
#include <string>

inline constexpr char kUserKeyFileName[] = "config.txt";

// The key is the file's text up to its first zero byte, taken verbatim: a line end an
// editor left behind stays part of the key. A file that is missing or cannot be read
// gives no key.
std::optional<std::string> ReadUserKeyFile(const std::string& path);

// Creates or truncates the file and writes the key with no line end.
bool WriteUserKeyFile(const std::string& path, const std::string& key);
