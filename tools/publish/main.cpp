// kestrava-publish: publishes game builds and launcher releases as the tree of files
// the launcher downloads, and verifies such a tree.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "publisher.h"
#include "repair_store.h"
#include "signing.h"
#include "terminal_progress.h"
#include "update/validation.h"
#include "update/zip_extract.h"

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  kestrava-publish add-version ROOT VERSION BUILD_DIR [--full | --replay] [--delta]\n"
    "                                             [SIGNING]\n"
    "                                             (--replay: take the previous version by\n"
    "                                             replaying the tree, not from its lists;\n"
    "                                             --delta: changed files and MIX entries\n"
    "                                             may go as deltas, which only launchers\n"
    "                                             that apply deltas install)\n"
    "  kestrava-publish servers ROOT NAME=ADDRESS ... [SIGNING]\n"
    "  kestrava-publish launcher ROOT VERSION EXE [SIGNING]\n"
    "  kestrava-publish keygen KEY                (write a new secret key, print its public key)\n"
    "  kestrava-publish sign ROOT SIGNING         (sign the tree as it stands)\n"
    "  kestrava-publish verify ROOT [--key PUBLIC ...]\n"
    "                                             (replay the update chains, check the store,\n"
    "                                             the launcher release and the signatures)\n"
    "  kestrava-publish check GAME_DIR MANIFEST   (validate a game folder as the launcher does)\n"
    "  kestrava-publish unpack ZIP DIR            (unpack a package as the launcher does)\n"
    "SIGNING: --key KEY [--key KEY ...] [--expires DAYS]: secret key files; every signing\n"
    "raises the release serial, and --expires makes launchers refuse the release DAYS days\n"
    "later (0: at once) unless it is signed again.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// The "--key VALUE" and "--expires DAYS" options, taken out of args wherever they stand.
struct KeyOptions {
    std::vector<std::string> keys;
    std::optional<int> expiresInDays;
    bool bad = false;
};

KeyOptions TakeKeyOptions(std::vector<std::string>& args) {
    KeyOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--key") {
            if (hasValue) {
                options.keys.push_back(args[++i]);
            } else {
                options.bad = true;
            }
        } else if (args[i] == "--expires") {
            const std::string days = hasValue ? args[++i] : "";
            if (days.empty() || days.size() > 5 ||
                days.find_first_not_of("0123456789") != std::string::npos) {
                options.bad = true;
            } else {
                options.expiresInDays = std::stoi(days);
            }
        } else {
            rest.push_back(args[i]);
        }
    }
    args = rest;
    return options;
}

void SignIfAsked(const std::string& root, const KeyOptions& options) {
    if (options.keys.empty()) return;
    SigningOptions signing;
    for (const std::string& path : options.keys) signing.keys.push_back(LoadSecretKey(path));
    signing.expiresInDays = options.expiresInDays;
    SignTree(root, signing);
}

int Run(std::vector<std::string> args) {
    const KeyOptions keyOptions = TakeKeyOptions(args);
    if (args.empty() || keyOptions.bad) return Usage();
    if (keyOptions.expiresInDays && keyOptions.keys.empty()) return Usage();
    const std::string command = args[0];
    if (command == "keygen" && args.size() == 2 && keyOptions.keys.empty()) {
        std::printf("%s\n", GenerateKey(args[1]).c_str());
        return 0;
    }
    if (command == "sign" && args.size() == 2 && !keyOptions.keys.empty()) {
        SignIfAsked(args[1], keyOptions);
        return 0;
    }
    const auto deltaFlag = std::find(args.begin(), args.end(), "--delta");
    const bool deltas = command == "add-version" && deltaFlag != args.end();
    if (deltas) args.erase(deltaFlag);
    if (command == "add-version" &&
        (args.size() == 4 ||
         (args.size() == 5 && (args[4] == "--full" || args[4] == "--replay")))) {
        PublishOptions options;
        options.replayPrevious = args.size() == 5 && args[4] == "--replay";
        options.deltas = deltas;
        options.progress = TerminalProgress();
        AddVersion(args[1], args[2], args[3], args.size() == 5 && args[4] == "--full", options);
        SignIfAsked(args[1], keyOptions);
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
        SignIfAsked(args[1], keyOptions);
        return 0;
    }
    if (command == "launcher" && args.size() == 4) {
        PublishLauncher(args[1], args[2], args[3]);
        SignIfAsked(args[1], keyOptions);
        return 0;
    }
    if (command == "verify" && args.size() == 2 && !keyOptions.expiresInDays) {
        std::vector<ReleaseKey> keys;
        for (const std::string& hex : keyOptions.keys) {
            const auto key = ParseReleaseKey(hex);
            if (!key) {
                std::fprintf(stderr, "kestrava-publish: \"%s\" is not a public key\n", hex.c_str());
                return 2;
            }
            keys.push_back(*key);
        }
        // The replays then prove every download as a launcher built with these keys does.
        SetReleaseKeys(keys);
        std::vector<ChainReport> reports = VerifyTree(args[1]);
        reports.push_back(VerifyStore(args[1]));
        if (auto launcher = VerifyLauncherRelease(args[1])) reports.push_back(*launcher);
        if (!keys.empty()) reports.push_back(VerifySignatures(args[1], keys));
        bool allOk = true;
        for (const ChainReport& report : reports) {
            std::printf("%s: %s%s\n", report.chain.c_str(),
                        report.ok ? "ok" : "FAILED: ", report.message.c_str());
            allOk = allOk && report.ok;
        }
        return allOk ? 0 : 1;
    }
    if (!keyOptions.keys.empty()) return Usage();
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
