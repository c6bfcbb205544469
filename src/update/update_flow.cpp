#include "update/update_flow.h"

#include <exception>
#include <new>
#include <vector>

#include "launcher/launcher_state.h"
#include "launcher/self_update.h"
#include "platform/path.h"
#include "platform/status_sink.h"
#include "update/documents.h"
#include "update/file_system.h"
#include "update/install_version.h"
#include "update/runtime_installer.h"
#include "update/update_error.h"
#include "update/validation.h"
#include "update/web_servers.h"

namespace {

// A build that does not match its manifest ends the run; unwinding carries it out.
struct BuildRejected {};

std::string GameDirectoryOf(const std::string& installDirectory) {
    return JoinPath(installDirectory, "game");
}

void ValidateVersion(const std::string& gameDirectory, const std::string& version) {
    const std::string label = "manifest.validate.xml of version " + version;
    FetchOrFail(LauncherServerBaseUrl() + version + "/", gameDirectory, "manifest.validate.xml",
                label);
    const std::string manifest = JoinPath(gameDirectory, "manifest.validate.xml");
    // A failed validation leaves the manifest in place, for whoever looks into it.
    if (!ValidateFiles(manifest, gameDirectory, label)) throw BuildRejected{};
    RemoveFile(manifest);
}

void RecordVersion(const std::string& installDirectory, const std::string& version) {
    SaveInstalledVersion(JoinPath(installDirectory, "version.xml"), version);
    Status().SetStatusText("Install Completed");
}

void ClearGameDirectory(const std::string& gameDirectory) {
    RemoveTree(gameDirectory);
    MakeDirectory(gameDirectory);
}

VersionCatalogue FetchCatalogue(const std::string& installDirectory) {
    FetchOrFail(LauncherServerBaseUrl(), installDirectory, "versions.xml",
                "The version catalogue versions.xml");
    return LoadVersionCatalogue(JoinPath(installDirectory, "versions.xml"),
                                "The version catalogue versions.xml");
}

void InstallPath(const std::string& installDirectory) {
    const std::string gameDirectory = GameDirectoryOf(installDirectory);
    InstallRuntime(installDirectory);
    const VersionCatalogue catalogue = FetchCatalogue(installDirectory);
    std::vector<std::string> list;
    for (const CatalogueVersion& version : catalogue.versions) {
        if (IsFullVersion(version, "The version catalogue versions.xml")) list.clear();
        list.push_back(version.value);
    }
    ClearGameDirectory(gameDirectory);
    for (const std::string& version : list) InstallVersion(gameDirectory, version);
    ValidateVersion(gameDirectory, catalogue.current);
    RecordVersion(installDirectory, catalogue.current);
}

void UpdatePath(const std::string& installDirectory) {
    const std::string gameDirectory = GameDirectoryOf(installDirectory);
    InstallRuntime(installDirectory);
    const std::string installed = LoadInstalledVersion(JoinPath(installDirectory, "version.xml"),
                                                       "The installed-version record version.xml");
    const VersionCatalogue catalogue = FetchCatalogue(installDirectory);

    std::vector<std::string> list;
    bool collecting = false;
    bool full = false;
    for (const CatalogueVersion& version : catalogue.versions) {
        if (collecting) {
            if (IsFullVersion(version, "The version catalogue versions.xml")) {
                list.clear();
                full = true;
            }
            list.push_back(version.value);
        }
        if (version.value == installed) collecting = true;
    }

    if (full) {
        ClearGameDirectory(gameDirectory);
    } else {
        ValidateVersion(gameDirectory, installed);
    }
    for (const std::string& version : list) InstallVersion(gameDirectory, version);
    RemoveFile(JoinPath(installDirectory, "versions.xml"));
    ValidateVersion(gameDirectory, catalogue.current);
    RecordVersion(installDirectory, catalogue.current);
}

}  // namespace

UpdateOutcome InstallFailure(const std::string& text) {
    return {UpdateOutcome::Next::kShowMessage, text, "Install Failure"};
}

UpdateOutcome ValidationFailure(const std::string& detail) {
    std::string text = "Validation Failed";
    if (!detail.empty()) text += "\n\n" + detail;
    return {UpdateOutcome::Next::kShowMessage, text, "The build did not validate properly"};
}

UpdateOutcome RunUpdate(int actionCode, const std::string& installDirectory) {
    if (actionCode == kActionUpdateLauncher) return ReplaceLauncher(installDirectory);
    try {
        if (actionCode == kActionInstall) {
            InstallPath(installDirectory);
        } else if (actionCode == kActionUpdate) {
            UpdatePath(installDirectory);
        }
        return {};
    } catch (const BuildRejected&) {
        return ValidationFailure();
    } catch (const ValidationError& error) {
        return ValidationFailure(error.what());
    } catch (const std::bad_alloc&) {
        return InstallFailure("The launcher ran out of memory while installing the game.");
    } catch (const std::exception& error) {
        return InstallFailure(error.what());
    }
}
