// kestrava-publish: publishes game builds and launcher releases as the tree of files
// the launcher downloads, and verifies such a tree.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "publisher.h"
#include "repair_store.h"
#include "update/validation.h"
#include "update/zip_extract.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  kestrava-publish add-version ROOT VERSION BUILD_DIR [--full]\n"
    "  kestrava-publish servers ROOT NAME=ADDRESS ...\n"
    "  kestrava-publish launcher ROOT VERSION EXE\n"
    "  kestrava-publish verify ROOT               (replay the update chains, check the store\n"
    "                                             and the launcher release)\n"
    "  kestrava-publish check GAME_DIR MANIFEST   (validate a game folder as the launcher does)\n"
    "  kestrava-publish unpack ZIP DIR            (unpack a package as the launcher does)\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty()) return Usage();
    const std::string& command = args[0];
    if (command == "add-version" &&
        (args.size() == 4 || (args.size() == 5 && args[4] == "--full"))) {
        AddVersion(args[1], args[2], args[3], args.size() == 5);
        return 0;
    }
    if (command == "servers" && args.size() >= 2) {
        std::vector<std::pair<std::string, std::string>> servers;
        for (std::size_t i = 2; i < args.size(); ++i) {
            const auto equals = args[i].find('=');
            if (equals == std::string::npos || equals == 0) {
                std::fprintf(stderr, "kestrava-publish: expected NAME=ADDRESS, got \"%s\"\n",
                             args[i].c_str());
                return 2;
            }
            servers.emplace_back(args[i].substr(0, equals), args[i].substr(equals + 1));
        }
        PublishServers(args[1], servers);
        return 0;
    }
    if (command == "launcher" && args.size() == 4) {
        PublishLauncher(args[1], args[2], args[3]);
        return 0;
    }
    if (command == "verify" && args.size() == 2) {
        std::vector<ChainReport> reports = VerifyTree(args[1]);
        reports.push_back(VerifyStore(args[1]));
        if (auto launcher = VerifyLauncherRelease(args[1])) reports.push_back(*launcher);
        bool allOk = true;
        for (const ChainReport& report : reports) {
            std::printf("%s: %s%s\n", report.chain.c_str(),
                        report.ok ? "ok" : "FAILED: ", report.message.c_str());
            allOk = allOk && report.ok;
        }
        return allOk ? 0 : 1;
    }
    if (command == "check" && args.size() == 3) {
        const bool ok = ValidateFiles(args[2], args[1]);
        std::printf("%s\n", ok ? "valid" : "NOT VALID");
        return ok ? 0 : 1;
    }
    if (command == "unpack" && args.size() == 3) {
        std::string detail;
        const int code = ExtractZip(args[1].c_str(), args[2].c_str(), nullptr, &detail);
        if (code != kExtractOk) {
            std::fprintf(stderr, "kestrava-publish: %s: %s\n", args[1].c_str(),
                         ExtractZipFault(code, detail).c_str());
            return 1;
        }
        return 0;
    }
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestrava-publish: %s\n", error.what());
        return 1;
    }
}
