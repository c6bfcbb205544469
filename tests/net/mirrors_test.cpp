#include "net/mirrors.h"

#include <gtest/gtest.h>

TEST(MirrorList, TheFirstHostIsPreferredUntilItFails) {
    MirrorList mirrors({{"https://a", "https://b:8443", "https://c"}});
    using Urls = std::vector<std::string>;
    EXPECT_EQ(mirrors.Candidates("https://b:8443/launcher/x.zip"),
              (Urls{"https://a/launcher/x.zip", "https://b:8443/launcher/x.zip",
                    "https://c/launcher/x.zip"}));
    mirrors.Demote("https://b:8443/launcher/x.zip");  // not the preferred one: no change
    mirrors.Demote("https://a/launcher/x.zip");
    EXPECT_EQ(mirrors.Candidates("https://a/y"),
              (Urls{"https://b:8443/y", "https://c/y", "https://a/y"}));
    // A host is matched whole: another port is another server.
    EXPECT_EQ(mirrors.Candidates("https://b:84430/y"), Urls{"https://b:84430/y"});
    EXPECT_EQ(mirrors.Candidates("https://elsewhere/y"), Urls{"https://elsewhere/y"});
}
