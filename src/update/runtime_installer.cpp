#include "update/runtime_installer.h"

#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/process_runner.h"
#include "platform/status_sink.h"
#include "update/download_service.h"
#include "update/web_servers.h"

void InstallRuntime(const InstallLayout& layout) {
    const std::string& marker = layout.runtimeMarker;
    if (FileExists(marker)) return;

    const std::string& installer = layout.runtimeInstaller;
    DownloadUrlToFile(RuntimeDownloadBaseUrl() + FileNameOf(installer), installer);

    ProcessLaunch launch;
    launch.application = installer;
    launch.commandLine = installer + " /quiet /norestart";
    launch.directory = layout.install;
    launch.wait = true;
    Status().SetStatusText("Installing Visual C++ Runtime");
    // Neither a failed download nor a failed run is retried: the marker records the attempt.
    if (FileExists(installer)) Processes().Start(launch);

    RemoveFileIfPresent(installer);
    CreateEmptyFile(marker);
}
