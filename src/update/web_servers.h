// Base URLs of the outside web endpoints: a host fixed when the launcher is built,
// followed by each endpoint's fixed path.
#pragma once

#include <string>
#include <vector>

std::string LauncherServerBaseUrl();   // catalogue, manifests, packages, server list
std::string UpdateServerBaseUrl();     // launcher.xml and launcher.exe
std::string RuntimeDownloadBaseUrl();  // vc_redist.x64.exe
std::string AccountApiBaseUrl();       // the account API's two requests

// The hosts of each endpoint that has mirrors, the preferred (the one in its base URL)
// first: what the HTTP client tries in turn.
std::vector<std::vector<std::string>> WebServerMirrors();

// Serves the launcher and update endpoints from hosts instead of the built-in ones, the
// preferred first: each is the root of a whole release tree ("https://host[/path]", no
// trailing slash). Called once, before the first download.
void UseReleaseTreeHosts(const std::vector<std::string>& hosts);
