#include "account/account_api.h"

#include <gtest/gtest.h>

#include "scripted_downloader.h"

TEST(PercentEncodeTest, KeepsUnreservedBytesAndEncodesEveryOtherOneInLowercaseHex) {
    EXPECT_EQ(PercentEncode("Az09-._~"), "Az09-._~");
    EXPECT_EQ(PercentEncode("a b+c/d"), "a%20b%2bc%2fd");
    EXPECT_EQ(PercentEncode("&#=?%"), "%26%23%3d%3f%25");
    EXPECT_EQ(PercentEncode("\xE9\r\n"), "%e9%0d%0a");  // one group per byte, high bytes too
    EXPECT_EQ(PercentEncode(""), "");
    EXPECT_EQ(PercentEncode(std::string(199, 'x')), std::string(199, 'x'));
}

TEST(AccountUrlTest, RequestsAreTheBaseFollowedByTheirQuery) {
    EXPECT_EQ(LoginRequestUrl("https://a/us/api/", "pilot", ""),
              "https://a/us/api/?username=pilot&password=&action=login");
    EXPECT_EQ(LoginRequestUrl("https://a/us/api/", "a&b c", "p w+/"),
              "https://a/us/api/?username=a%26b%20c&password=p%20w%2b%2f&action=login");
    EXPECT_EQ(KeyCheckUrl("https://a/us/api/", "K-1.x_~"),
              "https://a/us/api/?key=K-1.x_~&requests[userdata]=true&requests[permissions]=true");
    EXPECT_EQ(KeyCheckUrl("https://a/us/api/", "key\r\n"),
              "https://a/us/api/?key=key%0d%0a&requests[userdata]=true&requests[permissions]=true");
}

TEST(LoginAnswerTest, ParsesEveryMemberInAnyOrderIgnoringOthers) {
    const auto answer = ParseLoginAnswer(
        R"({"apikey":"k\u00e9y\n","extra":[1],"lang":"en","userMessage":[{"danger":"a"},{"danger":"b"}],"success":false})");
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->success);
    EXPECT_EQ(answer->apikey, "k\xC3\xA9y\n");
    EXPECT_EQ(answer->userMessage, (std::vector<std::string>{"a", "b"}));
}

TEST(LoginAnswerTest, MissingNullOrMistypedMembersAreNoAnswer) {
    const char* malformed[] = {
        "",
        "not json",
        "[]",
        R"({"success":true,"userMessage":[],"lang":"en"})",
        R"({"success":true,"userMessage":[],"lang":"en","apikey":null})",
        R"({"success":true,"userMessage":[],"lang":"en","apikey":5})",
        R"({"success":"yes","userMessage":[],"lang":"en","apikey":"k"})",
        R"({"success":true,"userMessage":[{"warn":"x"}],"lang":"en","apikey":"k"})",
        R"({"success":true,"userMessage":{},"lang":"en","apikey":"k"})",
    };
    for (const char* text : malformed) EXPECT_FALSE(ParseLoginAnswer(text)) << text;
}

namespace {
std::string KeyAnswerJson(const std::string& names, const std::string& ids = "[1]") {
    return R"({"success":true,"userMessage":[],"lang":"en","requests":{"userdata":true,"permissions":true},)"
           R"("userdata":{"username":"Pilot"},"permissions":{"ids":)" +
           ids + R"(,"names":)" + names + "}}";
}
}  // namespace

TEST(KeyAnswerTest, ReadsUserNameAndPermissions) {
    const auto answer =
        ParseKeyAnswer(KeyAnswerJson(R"(["Tester","Banned"])", "[9007199254740993,-2]"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->username, "Pilot");
    EXPECT_EQ(answer->permissionNames, (std::vector<std::string>{"Tester", "Banned"}));
    EXPECT_EQ(answer->permissionIds, (std::vector<std::int64_t>{9007199254740993LL, -2}));
}

TEST(KeyAnswerTest, NestedMembersAreRequiredAndTyped) {
    EXPECT_FALSE(ParseKeyAnswer(KeyAnswerJson(R"(["a",1])")));
    EXPECT_FALSE(ParseKeyAnswer(KeyAnswerJson(R"(["a"])", "[1.5]")));
    EXPECT_FALSE(ParseKeyAnswer(KeyAnswerJson(R"(null)")));
    EXPECT_FALSE(ParseKeyAnswer(
        R"({"success":true,"userMessage":[],"lang":"en","requests":{"userdata":true},)"
        R"("userdata":{"username":"P"},"permissions":{"ids":[],"names":[]}})"));
}

TEST(DownloadToStringTest, ReturnsTheBodyUpToItsFirstZeroByteAndForgetsTheCache) {
    ScriptedDownloader net;
    net.Serve("https://a/x", std::string("body\0tail", 9));
    const AccountReply reply = DownloadToString("https://a/x");
    EXPECT_EQ(reply.transfer, TransferResult::kCompleted);
    EXPECT_EQ(reply.body, "body");
    EXPECT_EQ(net.forgotten, std::vector<std::string>{"https://a/x"});
}

TEST(DownloadToStringTest, TellsAnUnreachableServiceFromARefusal) {
    ScriptedDownloader net;
    net.Fail("https://a/down", TransferResult::kUnreachable);
    net.Fail("https://a/no", TransferResult::kRefused);
    net.Serve("https://a/empty", "");
    EXPECT_FALSE(DownloadToString("https://a/down").Refused());
    EXPECT_TRUE(DownloadToString("https://a/no").Refused());
    EXPECT_TRUE(DownloadToString("https://a/empty").Refused());
    EXPECT_EQ(net.forgotten.size(), 3u);
}
