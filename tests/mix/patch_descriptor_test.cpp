#include "mix/patch_descriptor.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mix_test_support.h"

namespace {

using PatchDescriptorTest = MixTest;

using Names = std::vector<std::string>;

}  // namespace

TEST_F(PatchDescriptorTest, DescriptorEntryIsFoundByEitherFullNameInAnyCase) {
    for (const char* name :
         {".vantle.patch", ".VANTLE.PATCH", ".Vantle.Patch", ".mordopatch", ".MordoPATCH"}) {
        MixFile patch;
        auto* descriptor = NewMemoryEntry(name, 9, "{}");
        patch.ReplaceFiles({NewMemoryEntry("x.vantle.patch", 1, ""), descriptor,
                            NewMemoryEntry(".vantle.patch.bak", 2, "")});
        EXPECT_EQ(FindDescriptorEntry(patch), descriptor) << name;
    }
    MixFile none;
    none.ReplaceFiles(
        {NewMemoryEntry("a.vantle.patch", 1, ""), NewMemoryEntry(".mordopatc", 2, "")});
    EXPECT_EQ(FindDescriptorEntry(none), nullptr);
}

TEST_F(PatchDescriptorTest, TheDescriptorWithTheSmallestIdWins) {
    MixFile patch;
    auto* first = NewMemoryEntry(".mordopatch", 3, "");
    patch.ReplaceFiles({NewMemoryEntry(".vantle.patch", 0x80000000u, ""), first});
    EXPECT_EQ(FindDescriptorEntry(patch), first);
}

TEST_F(PatchDescriptorTest, TextEndsAtTheFirstNul) {
    auto* entry = NewMemoryEntry(".vantle.patch", 1, std::string("{\"a\":1}\0garbage", 15));
    EXPECT_EQ(ReadDescriptorText(*entry), "{\"a\":1}");
    EXPECT_EQ(ReadDescriptorText(*NewMemoryEntry(".vantle.patch", 1, "")), "");
}

TEST_F(PatchDescriptorTest, ParsesMembersInEitherOrderSkippingOthers) {
    const PatchDescriptor descriptor = ParsePatchDescriptor(
        " \n{\"updatedFiles\": [\"rules.ini\"], \"removedFiles\": [\"old.shp\", \"old.shp\"],"
        " \"comment\": {\"nested\": [1, null, \"x\"]}} trailing words");
    EXPECT_EQ(descriptor.removedFiles, (Names{"old.shp", "old.shp"}));
    EXPECT_EQ(descriptor.updatedFiles, (Names{"rules.ini"}));

    const PatchDescriptor empty = ParsePatchDescriptor("{\"removedFiles\":[],\"updatedFiles\":[]}");
    EXPECT_TRUE(empty.removedFiles.empty());
    EXPECT_TRUE(empty.updatedFiles.empty());

    EXPECT_EQ(
        ParsePatchDescriptor(R"({"removedFiles":["a\u0041\"b"],"updatedFiles":[]})").removedFiles,
        (Names{"aA\"b"}));
}

TEST_F(PatchDescriptorTest, MalformedDocumentsRaiseTheJsonLibrarysError) {
    const char* bad[] = {
        "",
        "   ",
        "[\"removedFiles\"]",
        "{}",
        "{\"removedFiles\": \"a.ini\", \"updatedFiles\": []}",
        "{\"removedFiles\": [1], \"updatedFiles\": []}",
        "{\"removedFiles\": [], \"updatedFiles\": [\"unterminated]}",
        "not json",
    };
    for (const char* text : bad) {
        EXPECT_THROW(ParsePatchDescriptor(text), nlohmann::json::exception) << text;
    }
    try {
        ParsePatchDescriptor("{\"removedFiles\": []}");
        FAIL() << "no error";
    } catch (const nlohmann::json::exception& error) {
        EXPECT_NE(std::string(error.what()).find("updatedFiles"), std::string::npos);
    }
}

TEST(NamesMatchTest, IgnoresAsciiCaseOnly) {
    EXPECT_TRUE(NamesMatch("Rules.INI", "rules.ini"));
    EXPECT_TRUE(NamesMatch("", ""));
    EXPECT_FALSE(NamesMatch("rules.ini", "rules.in"));
    EXPECT_FALSE(NamesMatch("rules.in", "rules.ini"));
    EXPECT_FALSE(NamesMatch("\xC9t\xE9", "\xE9t\xE9"));
    EXPECT_FALSE(NamesMatch("[", "{"));
}
