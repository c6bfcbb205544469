#include "update/web_servers.h"

#include "web_server_hosts.h"

namespace {

// Built at first use, so that a caller during another file's start-up finds them.
std::vector<std::string>& LauncherHosts() {
    static std::vector<std::string> hosts{KESTRAVA_LAUNCHER_HOSTS};
    return hosts;
}
std::vector<std::string>& UpdateHosts() {
    static std::vector<std::string> hosts{KESTRAVA_UPDATE_HOSTS};
    return hosts;
}

}  // namespace

std::string LauncherServerBaseUrl() { return LauncherHosts().front() + "/launcher/"; }
std::string UpdateServerBaseUrl() { return UpdateHosts().front() + "/update/"; }
std::string RuntimeDownloadBaseUrl() {
    return std::string(KESTRAVA_RUNTIME_HOSTS) + "/vs/17/release/";
}
std::string AccountApiBaseUrl() { return std::string(KESTRAVA_ACCOUNT_HOSTS) + "/us/api/"; }

std::vector<std::vector<std::string>> WebServerMirrors() {
    return {LauncherHosts(), UpdateHosts()};
}

void UseReleaseTreeHosts(const std::vector<std::string>& hosts) {
    if (hosts.empty()) return;
    LauncherHosts() = hosts;
    UpdateHosts() = hosts;
}
