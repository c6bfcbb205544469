// A private folder per fuzzer process, and the input written to a file in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

const std::string& ScratchFolder();
// Writes the bytes to name in the scratch folder; its path.
std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);
