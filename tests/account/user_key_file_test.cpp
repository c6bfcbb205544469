#include "account/user_key_file.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

TEST(UserKeyFileTest, ReadsTheWholeFileVerbatim) {
    TempDir dir;
    const auto path = dir.File("config.txt");
    WriteBytes(path, "abc123\r\n");
    EXPECT_EQ(ReadUserKeyFile(path), std::optional<std::string>("abc123\r\n"));
    WriteBytes(path, " key with blanks ");
    EXPECT_EQ(ReadUserKeyFile(path), std::optional<std::string>(" key with blanks "));
}

TEST(UserKeyFileTest, EmptyFileIsAnEmptyKeyAndAMissingFileIsNoKey) {
    TempDir dir;
    const auto path = dir.File("config.txt");
    EXPECT_EQ(ReadUserKeyFile(path), std::nullopt);
    WriteBytes(path, "");
    EXPECT_EQ(ReadUserKeyFile(path), std::optional<std::string>(""));
}

TEST(UserKeyFileTest, KeyEndsAtTheFirstZeroByte) {
    TempDir dir;
    const auto path = dir.File("config.txt");
    WriteBytes(path, std::string("before\0after", 12));
    EXPECT_EQ(ReadUserKeyFile(path), std::optional<std::string>("before"));
}

TEST(UserKeyFileTest, WriteReplacesEarlierContentWithoutALineEnd) {
    TempDir dir;
    const auto path = dir.File("config.txt");
    WriteBytes(path, "a much longer earlier key\n");
    ASSERT_TRUE(WriteUserKeyFile(path, "k3y"));
    EXPECT_EQ(ReadBytes(path), "k3y");
}

TEST(UserKeyFileTest, WriteIntoAMissingDirectoryFails) {
    TempDir dir;
    EXPECT_FALSE(WriteUserKeyFile(dir.File("missing/config.txt"), "k"));
}
