// Base URLs of the outside web endpoints: a host fixed when the launcher is built,
// followed by each endpoint's fixed path.
#pragma once

#include <string>

std::string LauncherServerBaseUrl();   // catalogue, manifests, packages, server list
std::string UpdateServerBaseUrl();     // launcher.xml and launcher.exe
std::string RuntimeDownloadBaseUrl();  // vc_redist.x64.exe
std::string AccountApiBaseUrl();       // the account API's two requests
