#include "platform/file_in_use.h"

#include <gtest/gtest.h>

namespace {

TEST(FileInUseTest, NamesTheFileAndEveryHolderTheSystemKnows) {
    const struct {
        std::vector<std::string> holders;
        const char* text;
    } cases[] = {
        {{},
         "The file data/always.mix is in use by another program: close that program and try "
         "again."},
        {{"game.exe (Kestrava)"},
         "game.exe (Kestrava) is still running and holds data/always.mix: close it and try again."},
        {{"game.exe", "scan.exe", "index.exe"},
         "game.exe, scan.exe and index.exe are still running and hold data/always.mix: close them "
         "and try again."},
    };
    for (const auto& c : cases) {
        const FileInUseError error("data/always.mix", c.holders);
        EXPECT_STREQ(error.what(), c.text);
    }
}

}  // namespace
