#include "settings/download_limit.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace {

const std::pair<std::string, std::string> kStored{"Software\\Kestrava\\Launcher", "DownloadLimit"};

TEST(DownloadLimitTest, LivesUnderTheLaunchersOwnKeyAndMissingMeansNone) {
    MemoryClientStore store;
    EXPECT_EQ(LoadDownloadLimit(store), 0u);
    SaveDownloadLimit(store, 512);
    EXPECT_EQ(store.values.at(kStored), 512u);
    EXPECT_EQ(store.values.size(), 1u) << "nothing among the game client's values";
    EXPECT_EQ(LoadDownloadLimit(store), 512u);

    // A hand-edited value too large to be counted in bytes per second reads as the largest.
    store.values[kStored] = 0xFFFFFFFFu;
    EXPECT_EQ(LoadDownloadLimit(store), kMaxDownloadLimit);
}

TEST(DownloadLimitTest, FieldTextIsEmptyForNoneOrDigitsWithinRange) {
    const struct {
        const char* text;
        std::optional<std::uint32_t> limit;
    } cases[] = {
        {"", 0u},
        {"   ", 0u},
        {"0", 0u},
        {"250", 250u},
        {" 64 ", 64u},
        {"007", 7u},
        {"4194303", 4194303u},
        {"4194304", {}},
        {"99999999999999999999", {}},
        {"-5", {}},
        {"1.5", {}},
        {"12 34", {}},
        {"2k", {}},
        {"+3", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDownloadLimit(c.text), c.limit) << c.text;

    EXPECT_EQ(DownloadLimitText(0), "");
    EXPECT_EQ(ParseDownloadLimit(DownloadLimitText(1234)), 1234u);
}

}  // namespace
