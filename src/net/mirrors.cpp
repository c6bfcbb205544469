#include "net/mirrors.h"

MirrorList::MirrorList(std::vector<std::vector<std::string>> groups) {
    for (std::vector<std::string>& hosts : groups) {
        if (!hosts.empty()) groups_.push_back({std::move(hosts), 0});
    }
}

bool MirrorList::Find(const std::string& url, std::size_t& group, std::size_t& host) const {
    for (group = 0; group < groups_.size(); ++group) {
        const std::vector<std::string>& hosts = groups_[group].hosts;
        for (host = 0; host < hosts.size(); ++host) {
            const std::string& prefix = hosts[host];
            // The host must end where the URL's path begins: "https://a:1" is not "https://a:12".
            if (url.compare(0, prefix.size(), prefix) == 0 &&
                (url.size() == prefix.size() || url[prefix.size()] == '/')) {
                return true;
            }
        }
    }
    return false;
}

std::vector<std::string> MirrorList::Candidates(const std::string& url) const {
    const MutexLock lock(mutex_);
    std::size_t group = 0;
    std::size_t host = 0;
    if (!Find(url, group, host)) return {url};
    const Group& mirrors = groups_[group];
    const std::string path = url.substr(mirrors.hosts[host].size());
    std::vector<std::string> candidates;
    for (std::size_t i = 0; i < mirrors.hosts.size(); ++i) {
        candidates.push_back(mirrors.hosts[(mirrors.preferred + i) % mirrors.hosts.size()] + path);
    }
    return candidates;
}

void MirrorList::Demote(const std::string& failedUrl) {
    const MutexLock lock(mutex_);
    std::size_t group = 0;
    std::size_t host = 0;
    if (!Find(failedUrl, group, host)) return;
    Group& mirrors = groups_[group];
    if (mirrors.preferred == host) mirrors.preferred = (host + 1) % mirrors.hosts.size();
}
