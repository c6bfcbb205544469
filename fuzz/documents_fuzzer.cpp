// The server's documents (catalogue, manifests, server list, launcher.xml) and the
// installed record: any bytes must load or raise InstallError, never crash, and every
// name a manifest gives is either refused by the layer or stays below the game folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_scratch.h"
#include "platform/file_system.h"
#include "platform/folder_downloader.h"
#include "platform/path.h"
#include "update/documents.h"
#include "update/install_layout.h"
#include "update/install_version.h"
#include "update/opening.h"
#include "update/update_error.h"
#include "update/web_servers.h"
#include "update/xml_attribute.h"

namespace {

template <typename Load>
void Try(Load load) {
    try {
        load();
    } catch (const InstallError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FolderDownloader net;
    static const bool ready = [] {
        net.Map(LauncherServerBaseUrl(), ScratchFolder());
        MakeDirectory(ScratchFolder() + "/install");
        SetDownloader(&net);
        return true;
    }();
    (void)ready;
    const std::string path = WriteScratchFile("document.xml", data, size);
    Try([&] { LoadVersionCatalogue(path, "versions.xml"); });
    Try([&] { LoadInstalledVersion(path, "version.xml"); });
    Try([&] {
        for (const ManifestFile& file : LoadInstallManifest(path, "manifest.xml")) {
            const std::string target = RequireConfined("game", file.name, "manifest.xml");
            if (target.compare(0, 5, std::string("game") + kPathSeparator) != 0) __builtin_trap();
        }
    });
    Try([&] {
        for (const auto& [name, file] : LoadValidationManifest(path, "manifest.validate.xml"))
            RequireConfined("game", name, "manifest.validate.xml");
    });
    ReadRootAttribute(path, "Version", "sha256");
    // The server list is fetched into the install folder, here the scratch folder itself.
    WriteScratchFile("servers.xml", data, size);
    LoadServerList(InstallLayout(ScratchFolder() + "/install"));
    return 0;
}
