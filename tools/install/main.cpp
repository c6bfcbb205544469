// kestrava-install: installs, updates, validates and repairs a game folder from a
// release tree over the launcher's own engine, for server hosts and scripts: no window,
// no account, an exit code for each cause, JSON events for programs.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "arguments.h"
#include "commands.h"
#include "console_output.h"
#include "exit_codes.h"
#include "net/http_downloader.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "platform/folder_downloader.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "platform/stop_request.h"
#include "platform/worker_threads.h"
#include "update/install_layout.h"
#include "update/signed_release.h"
#include "update/web_servers.h"

namespace {

// A service manager's stop and an operator's Ctrl+C end the run at its next step, as
// the launcher's Stop does: broken transfers are kept for the next run.
#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
    RequestStop();
    return TRUE;
}
void CatchStops() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
#else
extern "C" void OnStopSignal(int) { RequestStop(); }
void CatchStops() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

// One key a line; blank lines and lines starting with # are skipped.
std::optional<std::vector<ReleaseKey>> LoadKeys(const std::string& path, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "--keys " + path + " cannot be read";
        return std::nullopt;
    }
    std::vector<ReleaseKey> keys;
    std::string line;
    while (std::getline(file, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::optional<ReleaseKey> key = ParseReleaseKey(line);
        if (!key) {
            error = "--keys " + path + ": \"" + line + "\" is not a public key";
            return std::nullopt;
        }
        keys.push_back(*key);
    }
    if (keys.empty()) {
        error = "--keys " + path + " holds no key";
        return std::nullopt;
    }
    return keys;
}

int Usage(const std::string& error, bool json) {
    if (error.empty()) {
        std::fputs(kUsage, stdout);
        std::fputs(ExitCodeTable().c_str(), stdout);
        return 0;
    }
    ConsoleOutput output(json);
    output.Finish(ExitCode::kBadArguments, error);
    if (!json) std::fputs("Run kestrava-install --help for the commands and options.\n", stderr);
    return static_cast<int>(ExitCode::kBadArguments);
}

// Folders are made only where the command puts a game.
bool PrepareFolder(const Arguments& arguments, const InstallLayout& layout, std::string& error) {
    const bool creates =
        arguments.command == Command::kInstall || arguments.command == Command::kUpdate;
    if (KindOf(layout.install) != EntryKind::kDirectory && !creates) {
        error = layout.install + " is no folder";
        return false;
    }
    MakeDirectories(layout.work);
    return true;
}

int Run(const std::vector<std::string>& args) {
    std::string error;
    const std::optional<Arguments> parsed = ParseArguments(args, error);
    bool json = false;
    for (const std::string& arg : args) json = json || arg == "--json";
    if (!parsed) return Usage(error, json);
    const Arguments& arguments = *parsed;
    ConsoleOutput output(arguments.json);

    if (!arguments.keysFile.empty()) {
        const auto keys = LoadKeys(arguments.keysFile, error);
        if (!keys) return Usage(error, json);
        SetReleaseKeys(*keys);
    }
    if (!ReleasesSigned()) {
        output.Warn(
            "this build has no release keys and checks no signature: give --keys to check them.");
    }
    if (arguments.threads != 0) SetWorkerThreadCount(arguments.threads);

    std::unique_ptr<Downloader> downloader;
    if (!arguments.treeFolder.empty()) {
        auto folder = std::make_unique<FolderDownloader>();
        folder->Map(LauncherServerBaseUrl(), JoinPath(arguments.treeFolder, "launcher"));
        folder->Map(UpdateServerBaseUrl(), JoinPath(arguments.treeFolder, "update"));
        downloader = std::move(folder);
    } else {
        UseReleaseTreeHosts(arguments.servers);
        HttpOptions http;
        http.mirrors = WebServerMirrors();
        // As for launcher.exe: tests shorten the wait for a silent server.
        if (const char* stall = std::getenv("KESTRAVA_STALL_SECONDS")) {
            const long seconds = std::strtol(stall, nullptr, 10);
            if (seconds > 0 && seconds <= 300) http.stallSeconds = static_cast<unsigned>(seconds);
        }
        http.extraCaFile = arguments.caFile;
        auto client = std::make_unique<HttpDownloader>(http);
        client->SetRateLimit(arguments.limitBytesPerSecond);
        downloader = std::move(client);
    }
    SetDownloader(downloader.get());
    SetStatusSink(&output);
    CatchStops();

    const InstallLayout layout(arguments.folder);
    int code = 0;
    try {
        if (!PrepareFolder(arguments, layout, error)) {
            code = static_cast<int>(output.Finish(ExitCode::kBadArguments, error));
        } else {
            const FileLock lock(layout.lock);
            if (lock.state() == FileLock::State::kBusy) {
                std::string holder = lock.holder();
                while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r'))
                    holder.pop_back();
                code = static_cast<int>(output.Finish(
                    ExitCode::kFolderBusy, layout.install + " is in use by another run" +
                                               (holder.empty() ? "" : " (" + holder + ")") +
                                               ": try again once it has ended."));
            } else if (lock.state() == FileLock::State::kFailed) {
                code = static_cast<int>(output.Finish(ExitCode::kOtherFailure, lock.failure()));
            } else {
                code = static_cast<int>(RunCommand(arguments, layout, output));
            }
        }
    } catch (const FileSystemError& failure) {
        code = static_cast<int>(
            output.Finish(ExitCodeFor(CauseOfErrno(failure.error)), failure.what()));
    }
    SetStatusSink(nullptr);
    SetDownloader(nullptr);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kestrava-install: %s\n", error.what());
        return static_cast<int>(ExitCode::kOtherFailure);
    }
}
