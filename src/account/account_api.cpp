#include "account/account_api.h"

#include <nlohmann/json.hpp>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/temp_file.h"

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (const unsigned char c : text) {
        const bool unreserved = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                                (c >= 'a' && c <= 'z') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

std::string LoginRequestUrl(const std::string& baseUrl, const std::string& userName,
                            const std::string& password) {
    return baseUrl + "?username=" + PercentEncode(userName) +
           "&password=" + PercentEncode(password) + "&action=login";
}

std::string KeyCheckUrl(const std::string& baseUrl, const std::string& userKey) {
    return baseUrl + "?key=" + PercentEncode(userKey) +
           "&requests[userdata]=true&requests[permissions]=true";
}

namespace {

using nlohmann::json;

// at() rejects a missing member; the typed accessors reject null and every other type.
template <typename T>
T Strict(const json& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return value.get_ref<const json::boolean_t&>();
    } else if constexpr (std::is_same_v<T, std::string>) {
        return value.get_ref<const json::string_t&>();
    } else {
        static_assert(std::is_same_v<T, std::int64_t>);
        if (!value.is_number_integer())
            throw json::type_error::create(302, "not an integer", &value);
        return value.get<std::int64_t>();
    }
}

template <typename T>
std::vector<T> StrictArray(const json& value) {
    std::vector<T> items;
    for (const json& item : value.get_ref<const json::array_t&>()) items.push_back(Strict<T>(item));
    return items;
}

std::vector<std::string> StrictDangerTexts(const json& messages) {
    std::vector<std::string> texts;
    for (const json& message : messages.get_ref<const json::array_t&>()) {
        texts.push_back(Strict<std::string>(message.at("danger")));
    }
    return texts;
}

}  // namespace

std::optional<LoginAnswer> ParseLoginAnswer(const std::string& text) {
    try {
        const json document = json::parse(text);
        LoginAnswer answer;
        answer.success = Strict<bool>(document.at("success"));
        answer.userMessage = StrictDangerTexts(document.at("userMessage"));
        answer.lang = Strict<std::string>(document.at("lang"));
        answer.apikey = Strict<std::string>(document.at("apikey"));
        return answer;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::optional<KeyAnswer> ParseKeyAnswer(const std::string& text) {
    try {
        const json document = json::parse(text);
        KeyAnswer answer;
        answer.success = Strict<bool>(document.at("success"));
        answer.userMessage = StrictDangerTexts(document.at("userMessage"));
        answer.lang = Strict<std::string>(document.at("lang"));
        const json& requests = document.at("requests");
        answer.requestedUserdata = Strict<bool>(requests.at("userdata"));
        answer.requestedPermissions = Strict<bool>(requests.at("permissions"));
        answer.username = Strict<std::string>(document.at("userdata").at("username"));
        const json& permissions = document.at("permissions");
        answer.permissionIds = StrictArray<std::int64_t>(permissions.at("ids"));
        answer.permissionNames = StrictArray<std::string>(permissions.at("names"));
        return answer;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

AccountReply DownloadToString(const std::string& url) {
    AccountReply reply;
    const std::string path = NewTemporaryFile();
    if (path.empty()) return reply;
    reply.transfer = Net().Download(url, path, nullptr);
    Net().ForgetCached(url);
    if (reply.transfer == TransferResult::kCompleted) {
        if (const auto bytes = ReadFileBytes(path)) reply.body = bytes->c_str();
    }
    RemoveFileIfPresent(path);
    return reply;
}
