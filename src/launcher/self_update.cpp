#include "launcher/self_update.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>

#include "platform/file_io.h"
#include "platform/path.h"
#include "platform/process_runner.h"
#include "update/download_service.h"
#include "update/file_system.h"
#include "update/update_error.h"
#include "update/web_servers.h"

namespace {

constexpr char kCaption[] = "Launcher Update Failure";


bool ReadAt(std::FILE* file, long offset, unsigned char* bytes, std::size_t count) {
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fread(bytes, 1, count, file) == count;
}

UpdateOutcome Failure(const std::string& text) {
    return {UpdateOutcome::Next::kShowMessage, text, kCaption};
}

}  // namespace

bool LooksLikeWindowsExecutable(const std::string& path) {
    UniqueFile file = OpenFile(path, "rb");
    if (!file) return false;
    unsigned char header[64];
    if (!ReadAt(file.get(), 0, header, sizeof header) || header[0] != 'M' || header[1] != 'Z')
        return false;
    const std::uint32_t peOffset = header[0x3C] | (header[0x3D] << 8) | (header[0x3E] << 16) |
                                   (std::uint32_t{header[0x3F]} << 24);
    unsigned char signature[4];
    return peOffset < (1u << 20) && ReadAt(file.get(), static_cast<long>(peOffset), signature, 4) &&
           signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0;
}

UpdateOutcome ReplaceLauncher(const std::string& installDirectory) {
    const std::string executable = JoinPath(installDirectory, "launcher.exe");
    const std::string aside = JoinPath(installDirectory, "launcher.ex_");
    try {
        RenameReplacing(executable, aside);
    } catch (const InstallError& error) {
        return Failure(std::string(error.what()) + " The launcher could not be updated.");
    }

    const TransferResult result =
        DownloadFile(UpdateServerBaseUrl(), installDirectory, "launcher.exe");
    if (result != TransferResult::kCompleted || !LooksLikeWindowsExecutable(executable)) {
        try {
            RemoveFile(executable);
            RenameReplacing(aside, executable);
        } catch (const InstallError& error) {
            return Failure(
                std::string(
                    "The new launcher did not arrive, and the old one could not be put back: ") +
                error.what());
        }
        return Failure(result == TransferResult::kCompleted
                           ? "The new launcher that was downloaded is not a Windows program. "
                             "This launcher has been kept; please try again later."
                           : "The new launcher could not be downloaded. "
                             "This launcher has been kept; please try again later.");
    }

    ProcessLaunch launch;
    launch.application = executable;
    launch.directory = installDirectory;
    Processes().Start(launch);
    return {UpdateOutcome::Next::kExitProcess, {}, {}};
}
