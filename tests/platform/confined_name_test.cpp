#include "platform/confined_name.h"

#include <gtest/gtest.h>
#include <string>

#include "platform/path.h"

namespace {

std::string Deep(std::size_t bytes) {
    std::string name;
    while (name.size() + 201 <= bytes) name += std::string(200, 'd') + "/";
    return name + std::string(bytes - name.size(), 'f');
}

// Every class of name Windows cannot hold, or would resolve somewhere else, beside the
// names that must pass; the last column is the class's word in the refusal.
TEST(ConfineNameTest, RefusesWhatWindowsCannotHoldAndKeepsTheRest) {
    const struct {
        std::string name;
        const char* refusal;  // nullptr: accepted
    } cases[] = {
        {"readme.txt", nullptr},
        {"data/maps/big map 2.map", nullptr},
        {"data\\maps\\a.map", nullptr},
        {".hidden", nullptr},
        {"console.txt", nullptr},
        {"com10", nullptr},
        {"lpt", nullptr},
        {"CONIN", nullptr},
        {"nullable/aux_data", nullptr},
        {"\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0/\xE8\xA9\xA6\xE9\xA8\x93 1.bin", nullptr},
        {"e\xCC\x81t\xC3\xA9 \xF0\x9F\x8E\xAE.txt", nullptr},
        {Deep(kMaxNameBytes), nullptr},
        {"", "empty"},
        {Deep(kMaxNameBytes + 1), "longer"},
        {std::string(256, 'c'), "longer"},
        {"..", "\"..\""},
        {"../launcher.exe", "\"..\""},
        {"a/../b.txt", "\"..\""},
        {"a\\..\\..\\b", "\"..\""},
        {".", "\".\""},
        {"./x/y.txt", "\".\""},
        {"a//b", "empty component"},
        {"a/", "empty component"},
        {"/etc/passwd", "absolute"},
        {"\\\\server\\share\\x", "absolute"},
        {"C:/Windows/x", "\":\""},
        {"C:x", "\":\""},
        {"file.txt:stream", "\":\""},
        {"CON", "device"},
        {"con.txt", "device"},
        {"Aux.ini", "device"},
        {"dir/NUL", "device"},
        {"prn", "device"},
        {"nul .txt", "device"},
        {"CONIN$", "device"},
        {"conout$.log", "device"},
        {"COM0", "device"},
        {"com9.dat", "device"},
        {"LPT0", "device"},
        {"lpt9.log", "device"},
        {"COM\xC2\xB9", "device"},
        {"lpt\xC2\xB2.txt", "device"},
        {"Com\xC2\xB3", "device"},
        {"trailing.", "dot or a space"},
        {"trailing ", "dot or a space"},
        {"dir./x", "dot or a space"},
        {"dir /x", "dot or a space"},
        {"a<b", "\"<\""},
        {"a>b", "\">\""},
        {"a\"b", "\"\"\""},
        {"a|b", "\"|\""},
        {"a?b", "\"?\""},
        {"a*b", "\"*\""},
        {"tab\there", "control"},
        {std::string("nul\0byte", 8), "control"},
        {"\xFF.txt", "UTF-8"},
        {"\xC0\xAF", "UTF-8"},
        {"\xED\xA0\x80", "UTF-8"},
        {"cut\xC3", "UTF-8"},
    };
    const std::string root = "root";
    for (const auto& c : cases) {
        const ConfinedName confined = ConfineName(root, c.name);
        if (c.refusal == nullptr) {
            ASSERT_TRUE(confined.ok()) << c.name << ": " << confined.refusal;
            std::string expected = c.name;
            for (char& ch : expected) {
                if (ch == '/' || ch == '\\') ch = kPathSeparator;
            }
            EXPECT_EQ(confined.path, JoinPath(root, expected));
        } else {
            EXPECT_FALSE(confined.ok()) << c.name;
            EXPECT_NE(confined.refusal.find(c.refusal), std::string::npos)
                << c.name << ": " << confined.refusal;
            EXPECT_TRUE(confined.path.empty()) << c.name;
        }
    }
}

TEST(ConfineNameTest, FoldingMeetsWhereWindowsNamesMeet) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"Data/Readme.TXT", "data\\readme.txt", true},
        {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", true},  // Été, éTÉ
        {"\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0", "\xD0\xBA\xD0\x90\xD0\xA0\xD0\xA2\xD0\x90",
         true},
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "\xC5\x82\xC3\x93"
         "D\xC5\xB9",
         true},                                          // Łódź
        {"\xCE\xB1\xCE\xB2", "\xCE\x91\xCE\x92", true},  // αβ
        {"a.txt", "b.txt", false},
        {"a/b", "ab", false},
        {"\xC3\xA9", "e", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FoldName(c.a) == FoldName(c.b), c.same) << c.a << " / " << c.b;
    }
}

}  // namespace
