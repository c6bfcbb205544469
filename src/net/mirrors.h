// Hosts that serve the same tree. The documents are signed, so any of them is as safe as
// the first; the first is preferred until it fails, then the next one is, for the rest of
// the run.
#pragma once

#include <string>
#include <vector>

#include "platform/worker_threads.h"

class MirrorList {
public:
    // Each group lists hosts ("https://host[:port]", no trailing slash) that mirror each
    // other, the preferred first.
    explicit MirrorList(std::vector<std::vector<std::string>> groups = {});

    // The URLs to try for url in order: url on each host of its group, from the one
    // preferred now; only url itself when no group names its host.
    std::vector<std::string> Candidates(const std::string& url) const;
    // The host of a URL that failed stops being preferred, if it was.
    void Demote(const std::string& failedUrl);

private:
    struct Group {
        std::vector<std::string> hosts;
        std::size_t preferred = 0;
    };
    // The group and host index whose host url starts with, or false.
    bool Find(const std::string& url, std::size_t& group, std::size_t& host) const;

    std::vector<Group> groups_;
    mutable Mutex mutex_;
};
