#include "update/self_update.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/process_runner.h"
#include "update/download_service.h"
#include "update/install_layout.h"
#include "update/install_version.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/web_servers.h"
#include "update/xml_attribute.h"

namespace {

constexpr char kCaption[] = "Launcher Update Failure";
constexpr char kKept[] = "This launcher has been kept; please try again later.";

// What launcher.xml says of the executable: trees published before these were
// recorded give neither, and then only the file's form is checked. In a signed release
// launcher.xml is proved first and the SHA-256 is required.
FileFacts FetchLauncherRelease(const InstallLayout& layout, const std::string& directory) {
    FileFacts release;
    const std::string path = JoinPath(directory, "launcher.xml");
    const std::string label = "The launcher release launcher.xml";
    if (FetchSigned(UpdateServerBaseUrl(), directory, "launcher.xml", label) !=
        TransferResult::kCompleted) {
        if (ReleasesSigned())
            throw VerificationError("the server sent no signed launcher release",
                                    label + " did not arrive.");
        return release;
    }
    try {
        RequireFresh(path, "Version", layout, label, false);
    } catch (const VerificationError&) {
        RemoveFileIfPresent(path);
        throw;
    }
    if (const auto size = ReadRootAttribute(path, "Version", "size")) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(size->c_str(), &end, 10);
        // A size that is not a number matches no file.
        release.size = (!size->empty() && *end == '\0') ? value : ~std::uint64_t{0};
    }
    release.sha256 = ReadRootAttribute(path, "Version", "sha256");
    RemoveFileIfPresent(path);
    return release;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

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

UpdateOutcome ReplaceLauncher(const InstallLayout& layout) {
    const std::string fetched = JoinPath(layout.work, "launcher.exe");
    const std::string& replacement = layout.replacementLauncher;
    const std::string& executable = layout.launcher;
    // The steps of every later start rely on the name.
    if (KindOf(executable) != EntryKind::kFile) {
        return Failure("There is no " + executable +
                       ": the launcher can update itself only under the name launcher.exe.");
    }
    try {
        MakeDirectories(layout.work);
        const FileFacts release = FetchLauncherRelease(layout, layout.work);
        const TransferOutcome result =
            DownloadFile(UpdateServerBaseUrl(), layout.work, "launcher.exe");
        if (result != TransferResult::kCompleted) {
            return Failure(DownloadFailureText("The new launcher", "launcher.exe", result) + " " +
                           kKept);
        }
        try {
            RequireSignedContent(fetched, release, "The new launcher launcher.exe");
        } catch (const VerificationError&) {
            RemoveFile(fetched);
            throw;
        }
        if (!LooksLikeWindowsExecutable(fetched)) {
            RemoveFile(fetched);
            return Failure(std::string("The new launcher that was downloaded is not a Windows "
                                       "program. ") +
                           kKept);
        }
        if (!FileMatches(fetched, release)) {
            RemoveFile(fetched);
            return Failure(std::string("The new launcher that was downloaded differs from the "
                                       "published release. ") +
                           kKept);
        }
        RenameReplacing(fetched, replacement);
    } catch (const VerificationError& error) {
        return {UpdateOutcome::Next::kShowMessage, VerificationMessage(error, false),
                kVerificationCaption, FailureCause::kRefusedRelease};
    } catch (const InstallError& error) {
        return Failure(std::string(error.what()) + " " + kKept);
    } catch (const FileSystemError& error) {
        return Failure(std::string(error.what()) + " " + kKept);
    }

    ProcessLaunch launch;
    launch.application = replacement;
    launch.directory = layout.install;
    const ProcessStart started = Processes().Start(launch);
    if (!started) {
        RemoveFileIfPresent(replacement);
        return Failure("The new launcher " + replacement +
                       " could not be started: " + started.failure + ". " + kKept);
    }
    return {UpdateOutcome::Next::kExitProcess, {}, {}};
}

bool FinishLauncherReplacement(const InstallLayout& layout, const std::string& ownPath) {
    const std::string& replacement = layout.replacementLauncher;
    if (!SameNameIgnoringCase(FileNameOf(ownPath), kReplacementLauncherName)) {
        // What a replacement that never ran, or a download cut short, left behind.
        // One still locked (a replacement still ending) is waited for like the old launcher.
        bool cleared = RemoveFileIfPresent(replacement);
        cleared &= RemoveFileIfPresent(JoinPath(layout.work, "launcher.exe"));
        cleared &= RemoveFileIfPresent(JoinPath(layout.work, "launcher.exe.part"));
        return cleared;
    }
    return MoveFileOver(ownPath, layout.launcher);
}
