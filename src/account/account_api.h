// The account API's two requests and their JSON answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/downloader.h"

// Percent-encodes every byte except letters, digits and "-._~", as "%" and two
// lowercase hex digits. Used for the password, the user name and the user key alike:
// sent verbatim, an "&", "#", "+" or blank would change the request itself.
std::string PercentEncode(const std::string& text);

std::string LoginRequestUrl(const std::string& baseUrl, const std::string& userName,
                            const std::string& password);
std::string KeyCheckUrl(const std::string& baseUrl, const std::string& userKey);

struct LoginAnswer {
    bool success = false;
    std::vector<std::string> userMessage;  // the `danger` texts
    std::string lang;
    std::string apikey;
};

struct KeyAnswer {
    bool success = false;
    std::vector<std::string> userMessage;
    std::string lang;
    bool requestedUserdata = false;
    bool requestedPermissions = false;
    std::string username;
    std::vector<std::int64_t> permissionIds;
    std::vector<std::string> permissionNames;
};

// A text that is not such a record (not JSON, a member missing, null or of another
// type) gives no answer.
std::optional<LoginAnswer> ParseLoginAnswer(const std::string& text);
std::optional<KeyAnswer> ParseKeyAnswer(const std::string& text);

struct AccountReply {
    TransferResult transfer = TransferResult::kUnreachable;
    std::string body;  // up to the first zero byte; empty unless the transfer completed

    // The service answered, but with nothing a sign-in can use.
    bool Refused() const { return transfer != TransferResult::kUnreachable && body.empty(); }
};

// Fetches a URL through a temporary file, bypassing the cache.
AccountReply DownloadToString(const std::string& url);
