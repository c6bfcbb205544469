// kestrava-install's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class Command { kInstall, kUpdate, kValidate, kRepair, kStatus };

struct Arguments {
    Command command = Command::kStatus;
    std::string folder;
    std::string version;               // install --version
    std::vector<std::string> servers;  // https roots of release trees, the preferred first
    std::string treeFolder;            // or a release tree on this machine's disk
    std::string keysFile;
    std::string caFile;
    std::uint64_t limitBytesPerSecond = 0;
    unsigned threads = 0;
    bool json = false;
};

// The arguments, or nothing with the reason in error ("" for --help).
std::optional<Arguments> ParseArguments(const std::vector<std::string>& args, std::string& error);

extern const char kUsage[];
