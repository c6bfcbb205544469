// launcher_start: one start of the launcher by the player, natively, against a release
// tree on disk: the main window's button decision and, unless it is "&Play", a press
// of the button. The fault sweep runs it under strace and judges what it leaves.
//
// usage: launcher_start --tree TREE --install DIR [--as PROGRAM] [--record FILE]
//                       [--cut URL_TAIL=BYTES] [--refuse URL_TAIL] [--rate BYTES_PER_SECOND]
//                       [--release-key HEX] [--server HOST --ca PEM]
//
// --server fetches over HTTPS from HOST (https://localhost:PORT, serving the tree) through
// the launcher's HTTP client instead of reading the tree; --ca trusts the test CA.
//
// --release-key plays a build with that release key: the tree must then be signed.
//
// Prints one JSON line {"button", "outcome", "after", "message"}; outcome is "play"
// (nothing pressed), "done" (the press succeeded, the window shows "&Play"), "message",
// "exit" (a new launcher was started), "stopped" (SIGUSR1 stands for the player's Stop),
// "cannot-start" (PROGRAM is no launcher) or
// "crash" (an exception no one catches). Exit code: 0 "&Play" shown at the end, 1 a
// message or a crash, 2 exit, 3 cannot start, 64 usage.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/http_downloader.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/folder_downloader.h"
#include "platform/path.h"
#include "platform/process_runner.h"
#include "platform/status_sink.h"
#include "platform/stop_request.h"
#include "update/install_layout.h"
#include "update/launcher_version.h"
#include "update/opening.h"
#include "update/self_update.h"
#include "update/signed_release.h"
#include "update/update_flow.h"
#include "update/web_servers.h"
#include "update/xml_attribute.h"

namespace {

// Appends every start at once: the started program runs on even if this one dies next.
class RecordingRunner final : public ProcessRunner {
public:
    explicit RecordingRunner(std::string record) : record_(std::move(record)) {}
    ProcessStart Start(const ProcessLaunch& launch) override {
        if (record_.empty()) return true;
        std::ofstream(record_, std::ios::app) << launch.application << '\n';
        return true;
    }

private:
    std::string record_;
};

struct Options {
    std::string tree;
    std::string install;
    std::string program;
    std::string record;
    std::vector<std::pair<std::string, std::uint64_t>> cuts;
    std::vector<std::string> refusals;
    std::uint64_t rate = 0;  // bytes per second; 0: as fast as the disk
    std::vector<ReleaseKey> releaseKeys;
    std::string server;
    std::string ca;
};

// A server behind a line of a fixed rate: each transfer takes at least its size over the
// rate, the time spent waiting (as on a network) and not computing.
class ThrottledDownloader final : public Downloader {
public:
    ThrottledDownloader(Downloader& inner, std::uint64_t rate) : inner_(inner), rate_(rate) {}
    TransferResult Fetch(TransferRequest& request, DownloadObserver* observer) override {
        const auto start = std::chrono::steady_clock::now();
        const TransferResult result = inner_.Fetch(request, observer);
        const std::uint64_t bytes = RegularFileSize(request.localPath).value_or(0);
        std::this_thread::sleep_until(start + std::chrono::microseconds(bytes * 1000000 / rate_));
        return result;
    }
    void ForgetCached(const std::string& url) override { inner_.ForgetCached(url); }

private:
    Downloader& inner_;
    std::uint64_t rate_;
};

std::optional<Options> Parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--tree") {
            options.tree = value;
        } else if (name == "--install") {
            options.install = value;
        } else if (name == "--as") {
            options.program = value;
        } else if (name == "--record") {
            options.record = value;
        } else if (name == "--rate") {
            char* end = nullptr;
            options.rate = std::strtoull(value.c_str(), &end, 10);
            if (*end != '\0' || options.rate == 0) return std::nullopt;
        } else if (name == "--release-key") {
            const std::optional<ReleaseKey> key = ParseReleaseKey(value);
            if (!key) return std::nullopt;
            options.releaseKeys.push_back(*key);
        } else if (name == "--server") {
            options.server = value;
        } else if (name == "--ca") {
            options.ca = value;
        } else if (name == "--refuse") {
            options.refusals.push_back(value);
        } else if (name == "--cut" && value.find('=') != std::string::npos) {
            const auto equals = value.find('=');
            char* end = nullptr;
            const std::uint64_t bytes = std::strtoull(value.c_str() + equals + 1, &end, 10);
            if (*end != '\0') return std::nullopt;
            options.cuts.emplace_back(value.substr(0, equals), bytes);
        } else {
            return std::nullopt;
        }
    }
    if (argc % 2 == 0 || options.tree.empty() || options.install.empty()) return std::nullopt;
    if (options.program.empty()) options.program = JoinPath(options.install, "launcher.exe");
    return options;
}

// The fake launchers carry their version after the PE signature, so one driver can play
// the old launcher and the new one. Nothing when the file could not be started at all.
std::optional<std::string> OwnVersion(const std::string& program) {
    if (!LooksLikeWindowsExecutable(program)) return std::nullopt;
    const std::string bytes = ReadFileBytes(program).value_or("");
    const std::string marker = "Kestrava Launcher ";
    const auto at = bytes.find(marker);
    if (at == std::string::npos) return kLauncherVersion;
    const auto start = at + marker.size();
    return bytes.substr(start, bytes.find('\n', start) - start);
}

// This driver is built as one version; playing the fake of another, it compares the
// server's launcher.xml (read from the tree: TestLauncherVersion deletes its copy) with
// the version that fake carries.
LauncherVersionStatus LauncherStatus(const Options& options, const InstallLayout& layout,
                                     const std::string& ownVersion) {
    const LauncherVersionStatus status = TestLauncherVersion(layout);
    if (ownVersion == kLauncherVersion || status == LauncherVersionStatus::kUnknown) return status;
    const auto offered =
        ReadRootAttribute(JoinPath(options.tree, "update/launcher.xml"), "Version", "Current");
    return offered == ownVersion ? LauncherVersionStatus::kCurrent
                                 : LauncherVersionStatus::kOutOfDate;
}

// As the Windows start-up does before anything else. Its retries wait for the old process
// to let go of launcher.exe; here there is none to wait for, but a failed rename is retried
// as often.
void FinishSelfUpdate(const Options& options, const InstallLayout& layout) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (FinishLauncherReplacement(layout, options.program)) return;
    }
}

struct Start {
    std::string button;
    std::string outcome;
    std::string after;
    std::string message;
};

Start RunStart(const Options& options, const InstallLayout& layout) {
    const std::optional<std::string> ownVersion = OwnVersion(options.program);
    if (!ownVersion) return {"", "cannot-start", "", options.program + " is not a launcher"};
    FinishSelfUpdate(options, layout);

    UpdateAction action = UpdateAction::kInstall;
    Start start;
    if (LauncherStatus(options, layout, *ownVersion) == LauncherVersionStatus::kOutOfDate) {
        action = UpdateAction::kReplaceLauncher;
        start.button = "&Update Launcher";
    } else {
        switch (DecideGameState(layout)) {
            case GameState::kNeedsInstall:
                start.button = "&Install";
                break;
            case GameState::kNeedsUpdate:
                action = UpdateAction::kUpdate;
                start.button = "&Update";
                break;
            case GameState::kCurrent:
                LoadServerList(layout);
                return {"&Play", "play", "&Play", ""};
            case GameState::kCatalogueUnreadable:
                return {"&Retry", "message", "&Retry", "Could not read the version catalogue."};
            case GameState::kCatalogueRefused:
                return {"&Retry", "message", "&Retry", "The version catalogue was refused."};
        }
    }

    const UpdateOutcome outcome = RunUpdate(action, layout);
    switch (outcome.next) {
        case UpdateOutcome::Next::kNotifyWindow:
            LoadServerList(layout);
            start.outcome = "done";
            start.after = "&Play";
            break;
        case UpdateOutcome::Next::kShowMessage:
            start.outcome = "message";
            start.after = start.button;
            start.message = outcome.caption + ": " + outcome.text;
            break;
        case UpdateOutcome::Next::kExitProcess:
            start.outcome = "exit";
            break;
        case UpdateOutcome::Next::kStopped:
            start.outcome = "stopped";
            start.after = start.button;
            break;
    }
    return start;
}

int ExitCode(const Start& start) {
    if (start.after == "&Play") return 0;
    if (start.outcome == "exit") return 2;
    if (start.outcome == "cannot-start") return 3;
    return 1;
}

}  // namespace

// The player's Stop, as the fault sweep sends it at a chosen call.
extern "C" void OnStopSignal(int) { RequestStop(); }

int main(int argc, char** argv) {
    std::signal(SIGUSR1, OnStopSignal);
    const std::optional<Options> options = Parse(argc, argv);
    if (!options) {
        std::fputs(
            "usage: launcher_start --tree TREE --install DIR [--as PROGRAM] [--record FILE]\n"
            "                      [--cut URL_TAIL=BYTES] [--refuse URL_TAIL] [--rate "
            "BYTES_PER_SECOND]\n"
            "                      [--release-key HEX] [--server HOST --ca PEM]\n",
            stderr);
        return 64;
    }
    if (!options->releaseKeys.empty()) SetReleaseKeys(options->releaseKeys);
    // As VerifyTree does: the runtime installer needs Windows.
    const InstallLayout layout(options->install);
    if (!FileExists(layout.runtimeMarker)) OpenFile(layout.runtimeMarker, "wb");

    FolderDownloader server;
    server.Map(LauncherServerBaseUrl(), JoinPath(options->tree, "launcher"));
    server.Map(UpdateServerBaseUrl(), JoinPath(options->tree, "update"));
    for (const auto& [tail, bytes] : options->cuts)
        server.CutOff(LauncherServerBaseUrl() + tail, bytes);
    for (const std::string& tail : options->refusals) {
        server.FailOn(LauncherServerBaseUrl() + tail, TransferResult::kRefused);
    }
    RecordingRunner runner(options->record);
    ThrottledDownloader throttled(server, options->rate);
    std::unique_ptr<HttpDownloader> http;
    if (!options->server.empty()) {
        // The built-in hosts as mirrors of the local server, which is preferred.
        HttpOptions net;
        net.extraCaFile = options->ca;
        for (const std::string& base :
             {LauncherServerBaseUrl(), UpdateServerBaseUrl(), RuntimeDownloadBaseUrl()}) {
            net.mirrors.push_back({options->server, base.substr(0, base.find('/', 8))});
        }
        http = std::make_unique<HttpDownloader>(net);
        SetDownloader(http.get());
    } else {
        SetDownloader(options->rate != 0 ? static_cast<Downloader*>(&throttled) : &server);
    }
    SetProcessRunner(&runner);
    SetStatusSink(nullptr);

    Start start;
    try {
        start = RunStart(*options, layout);
    } catch (const std::exception& error) {
        // Nothing on the window's thread catches it: the launcher would end here.
        start = {"", "crash", "", error.what()};
    }
    const nlohmann::json line = {{"button", start.button},
                                 {"outcome", start.outcome},
                                 {"after", start.after},
                                 {"message", start.message}};
    std::cout << line.dump() << std::endl;
    return ExitCode(start);
}
