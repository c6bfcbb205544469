#include "update/web_servers.h"

#include "web_server_hosts.h"

std::string LauncherServerBaseUrl() { return KESTRAVA_LAUNCHER_HOST "/launcher/"; }
std::string UpdateServerBaseUrl() { return KESTRAVA_UPDATE_HOST "/update/"; }
std::string RuntimeDownloadBaseUrl() { return KESTRAVA_RUNTIME_HOST "/vs/17/release/"; }
std::string AccountApiBaseUrl() { return KESTRAVA_ACCOUNT_HOST "/us/api/"; }
