#include "account/sign_in.h"

#include <algorithm>

#include "account/account_api.h"
#include "account/user_key_file.h"
#include "update/web_servers.h"

KeyCheck CheckUserKey(const std::string& userKey) {
    const AccountReply reply = DownloadToString(KeyCheckUrl(AccountApiBaseUrl(), userKey));
    if (reply.transfer == TransferResult::kUnreachable) return {KeyCheckResult::kUnreachable, ""};
    const auto answer = ParseKeyAnswer(reply.body);
    if (!answer) return {KeyCheckResult::kRejected, ""};
    const auto& names = answer->permissionNames;
    if (std::find(names.begin(), names.end(), "Banned") != names.end()) {
        return {KeyCheckResult::kBanned, answer->username};
    }
    return {KeyCheckResult::kAccepted, answer->username};
}

Login AttemptLogin(const std::string& userName, const std::string& password,
                   const std::string& userKeyPath) {
    const AccountReply reply =
        DownloadToString(LoginRequestUrl(AccountApiBaseUrl(), userName, password));
    if (reply.transfer == TransferResult::kUnreachable) return {LoginResult::kUnreachable, ""};
    const auto answer = ParseLoginAnswer(reply.body);
    if (!answer) return {LoginResult::kInvalid, ""};
    const bool stored = WriteUserKeyFile(userKeyPath, answer->apikey);
    return {stored ? LoginResult::kSignedIn : LoginResult::kNotStored, answer->apikey};
}
