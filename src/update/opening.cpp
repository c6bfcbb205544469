#include "update/opening.h"

#include <tinyxml2.h>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "update/documents.h"
#include "update/download_service.h"
#include "update/install_layout.h"
#include "update/launcher_version.h"
#include "update/signed_release.h"
#include "update/update_error.h"
#include "update/validation.h"
#include "update/web_servers.h"
#include "update/xml_attribute.h"

namespace {

// Downloads a signed document into the install directory, proves it, reads one root
// attribute and deletes the document again. Raises VerificationError for a document
// the release does not vouch for; remember records the serial of one accepted. transfer,
// when given, receives the download's outcome.
std::optional<std::string> FetchRootAttribute(const std::string& baseUrl,
                                              const InstallLayout& layout, const char* fileName,
                                              const char* root, const char* attribute,
                                              bool remember = false,
                                              TransferOutcome* transfer = nullptr) {
    const std::string path = JoinPath(layout.install, fileName);
    std::optional<std::string> value;
    try {
        const TransferOutcome fetched = FetchSigned(baseUrl, layout.install, fileName, fileName);
        if (transfer != nullptr) *transfer = fetched;
        if (fetched == TransferResult::kCompleted) {
            RequireFresh(path, root, layout, fileName, remember);
            value = ReadRootAttribute(path, root, attribute);
        }
    } catch (...) {
        RemoveFileIfPresent(path);
        throw;
    }
    RemoveFileIfPresent(path);
    return value;
}

}  // namespace

// Without the installed version's list (an installation made before lists were kept)
// nothing proves the folder: it is validated once, by an update.
bool InstalledFilesPresent(const InstallLayout& layout) {
    try {
        return ListedFilesPresent(
            LoadValidationManifest(layout.installedList, "the installed list"), layout.game);
    } catch (const InstallError&) {
        return false;
    }
}

std::string FetchLatestVersion(const InstallLayout& layout) {
    TransferOutcome transfer;
    const auto latest = FetchRootAttribute(LauncherServerBaseUrl(), layout, "versions.xml",
                                           "Versions", "Current", true, &transfer);
    if (transfer != TransferResult::kCompleted) {
        throw InstallError(
            DownloadFailureText("The version catalogue versions.xml", "versions.xml", transfer),
            CauseOf(transfer));
    }
    if (!latest) throw InstallError("The version catalogue versions.xml names no current version.");
    return *latest;
}

LauncherVersionStatus TestLauncherVersion(const InstallLayout& layout) {
    RemoveFileIfPresent(layout.previousLauncher);
    std::optional<std::string> offered;
    try {
        offered =
            FetchRootAttribute(UpdateServerBaseUrl(), layout, "launcher.xml", "Version", "Current");
    } catch (const VerificationError&) {
        // Nothing is offered that the release does not vouch for.
    }
    if (!offered) return LauncherVersionStatus::kUnknown;
    return *offered == kLauncherVersion ? LauncherVersionStatus::kCurrent
                                        : LauncherVersionStatus::kOutOfDate;
}

GameState DecideGameState(const InstallLayout& layout, std::string* refusal) {
    if (!FileExists(layout.game) || !FileExists(layout.record)) return GameState::kNeedsInstall;
    std::string latest;
    try {
        latest = FetchLatestVersion(layout);
    } catch (const VerificationError& error) {
        if (refusal != nullptr) *refusal = VerificationMessage(error, false);
        return GameState::kCatalogueRefused;
    } catch (const InstallError&) {
        return GameState::kCatalogueUnreadable;  // not arrived, malformed, or serial not kept
    }
    const auto installed = ReadRootAttribute(layout.record, "Version", "Current");
    if (!installed) return GameState::kCatalogueUnreadable;
    if (*installed != latest) return GameState::kNeedsUpdate;
    // A file gone or resized since the last run: "&Update" repairs it.
    return InstalledFilesPresent(layout) ? GameState::kCurrent : GameState::kNeedsUpdate;
}

std::optional<std::vector<GameServer>> LoadServerList(const InstallLayout& layout) {
    const std::string path = JoinPath(layout.install, "servers.xml");
    tinyxml2::XMLDocument document;
    bool loaded = false;
    try {
        FetchSigned(LauncherServerBaseUrl(), layout.install, "servers.xml", "servers.xml");
        RequireFresh(path, "Servers", layout, "servers.xml", false);
        if (UniqueFile file = OpenFile(path, "rb")) {
            loaded = document.LoadFile(file.get()) == tinyxml2::XML_SUCCESS;
        }
    } catch (const VerificationError&) {
        // A list the release does not vouch for reads as no list.
    }
    RemoveFileIfPresent(path);
    const tinyxml2::XMLElement* root = loaded ? document.FirstChildElement("Servers") : nullptr;
    if (root == nullptr) return std::nullopt;

    std::vector<GameServer> servers;
    for (auto* server = root->FirstChildElement("Server"); server != nullptr;
         server = server->NextSiblingElement("Server")) {
        const char* name = server->Attribute("Name");
        const char* address = server->Attribute("IP");
        if (name != nullptr && address != nullptr) servers.push_back({name, address});
    }
    return servers;
}
