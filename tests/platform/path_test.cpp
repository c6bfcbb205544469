#include "platform/path.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "temp_dir.h"

TEST(PathTest, JoinAlwaysInsertsOneSeparatorAndKeepsSubdirectorySegments) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(JoinPath("install", "config.txt"), "install" + sep + "config.txt");
    EXPECT_EQ(JoinPath("install", "1.2/data.zip"), "install" + sep + "1.2/data.zip");
    // No check for a trailing separator: the caller's text is kept as given.
    EXPECT_EQ(JoinPath("install" + sep, "x"), "install" + sep + sep + "x");
}

TEST(PathTest, FileNameIsTheTextAfterEitherSeparator) {
    EXPECT_EQ(FileNameOf("C:\\games\\kestrava\\versions.xml"), "versions.xml");
    EXPECT_EQ(FileNameOf("C:\\games\\kestrava\\1.0/a/b.zip"), "b.zip");
    EXPECT_EQ(FileNameOf("plain.txt"), "plain.txt");
    EXPECT_EQ(FileNameOf("dir/"), "");
}

TEST(PathTest, RemovingAMissingFileIsNoError) {
    TempDir dir;
    const auto path = dir.File("gone.txt");
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(RemoveFileIfPresent(path));
    WriteBytes(path, "x");
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(RemoveFileIfPresent(path));
    EXPECT_FALSE(FileExists(path));
}
