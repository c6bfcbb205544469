#include "account/sign_in.h"

#include <gtest/gtest.h>

#include "account/account_api.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "scripted_downloader.h"
#include "update/web_servers.h"

namespace {

std::string KeyAnswerWith(const std::string& names) {
    return R"({"success":true,"userMessage":[],"lang":"en","requests":{"userdata":true,"permissions":true},)"
           R"("userdata":{"username":"Answer Name"},"permissions":{"ids":[],"names":)" +
           names + "}}";
}

class SignInTest : public ::testing::Test {
protected:
    ScriptedDownloader net;
    TempDir dir;
    const std::string checkUrl = KeyCheckUrl(AccountApiBaseUrl(), "KEY");
};

}  // namespace

TEST_F(SignInTest, AcceptedKeyGivesTheAnswersUserName) {
    net.Serve(checkUrl, KeyAnswerWith("[]"));
    const KeyCheck check = CheckUserKey("KEY");
    EXPECT_EQ(check.result, KeyCheckResult::kAccepted);
    EXPECT_EQ(check.userName, "Answer Name");
}

TEST_F(SignInTest, OnlyTheExactBannedPermissionBans) {
    net.Serve(checkUrl, KeyAnswerWith(R"(["Tester","Banned"])"));
    EXPECT_EQ(CheckUserKey("KEY").result, KeyCheckResult::kBanned);
    for (const char* near : {R"(["banned"])", R"(["Banned "])", R"(["BANNED","Ban"])"}) {
        net.Serve(checkUrl, KeyAnswerWith(near));
        EXPECT_EQ(CheckUserKey("KEY").result, KeyCheckResult::kAccepted) << near;
    }
}

TEST_F(SignInTest, RefusedEmptyOrMalformedAnswersRejectTheKeyButAnUnreachableServiceDoesNot) {
    net.Fail(checkUrl, TransferResult::kRefused);
    EXPECT_EQ(CheckUserKey("KEY").result, KeyCheckResult::kRejected);
    net.Serve(checkUrl, "");
    EXPECT_EQ(CheckUserKey("KEY").result, KeyCheckResult::kRejected);
    net.Serve(checkUrl, R"({"success":true})");
    EXPECT_EQ(CheckUserKey("KEY").result, KeyCheckResult::kRejected);
    net.Fail(checkUrl, TransferResult::kUnreachable);
    EXPECT_EQ(CheckUserKey("KEY").result, KeyCheckResult::kUnreachable);
}

TEST_F(SignInTest, LoginStoresTheKeyEvenWhenSuccessIsFalse) {
    const auto path = dir.File("config.txt");
    WriteBytes(path, "an older and longer key");
    net.Serve(LoginRequestUrl(AccountApiBaseUrl(), "pilot", "p w"),
              R"({"success":false,"userMessage":[],"lang":"en","apikey":"NEWKEY"})");
    const Login login = AttemptLogin("pilot", "p w", path);
    EXPECT_EQ(login.result, LoginResult::kSignedIn);
    EXPECT_EQ(login.userKey, "NEWKEY");
    EXPECT_EQ(ReadBytes(path), "NEWKEY");
}

TEST_F(SignInTest, FailedLoginsLeaveTheStoredKeyAlone) {
    const auto path = dir.File("config.txt");
    const auto url = LoginRequestUrl(AccountApiBaseUrl(), "pilot", "x");
    net.Fail(url, TransferResult::kRefused);
    EXPECT_EQ(AttemptLogin("pilot", "x", path).result, LoginResult::kInvalid);
    net.Serve(url, "<html>oops</html>");
    EXPECT_EQ(AttemptLogin("pilot", "x", path).result, LoginResult::kInvalid);
    net.Fail(url, TransferResult::kUnreachable);
    EXPECT_EQ(AttemptLogin("pilot", "x", path).result, LoginResult::kUnreachable);
    EXPECT_FALSE(FileExists(path));
}

TEST_F(SignInTest, AKeyThatCannotBeStoredIsReported) {
    net.Serve(LoginRequestUrl(AccountApiBaseUrl(), "pilot", "x"),
              R"({"success":true,"userMessage":[],"lang":"en","apikey":"K"})");
    EXPECT_EQ(AttemptLogin("pilot", "x", dir.File("no/such/dir/config.txt")).result,
              LoginResult::kNotStored);
}
