#include "net/schannel_certificate.h"

// curl's header brings winsock2.h, which must come before windows.h.
#include <curl/curl.h>
// clang-format off
#include <windows.h>
// clang-format on

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <memory>

namespace {

constexpr char kOtherHost[] = "its certificate is for another host name";
constexpr char kExpired[] = "its certificate has expired";
constexpr char kUntrusted[] = "its certificate is not from a trusted authority";

struct CertificateFreer {
    void operator()(const CERT_CONTEXT* certificate) const {
        CertFreeCertificateContext(certificate);
    }
};
struct ChainFreer {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};

std::wstring Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(wide.size() - 1);
    return wide;
}

const char* PolicyRefusal(DWORD error) {
    switch (error) {
        case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        case static_cast<DWORD>(CERT_E_WRONG_USAGE):
            return kOtherHost;
        case static_cast<DWORD>(CERT_E_EXPIRED):
            return kExpired;
        default:
            return kUntrusted;
    }
}

}  // namespace

bool CheckServerCertificate(void* handle, const std::string& host, std::string& refusal) {
    refusal = kUntrusted;
    CURL* curl = static_cast<CURL*>(handle);
    curl_tlssessioninfo* session = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_TLS_SSL_PTR, &session) != CURLE_OK || session == nullptr ||
        session->backend != CURLSSLBACKEND_SCHANNEL || session->internals == nullptr) {
        return false;
    }
    const CERT_CONTEXT* raw = nullptr;
    if (QueryContextAttributesA(static_cast<CtxtHandle*>(session->internals),
                                SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw) != SEC_E_OK ||
        raw == nullptr) {
        return false;
    }
    const std::unique_ptr<const CERT_CONTEXT, CertificateFreer> certificate(raw);

    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT* rawChain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate->hCertStore,
                                 &parameters, CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT,
                                 nullptr, &rawChain)) {
        return false;
    }
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer> chain(rawChain);

    std::wstring serverName = Wide(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = serverName.data();
    // Revocation is best effort: an unreachable revocation server must not lock a player
    // out, and the release's signatures are the trust that matters.
    ssl.fdwChecks = 0x00000080;  // SECURITY_FLAG_IGNORE_REVOCATION
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
        return false;
    }
    if (status.dwError != 0) {
        refusal = PolicyRefusal(status.dwError);
        return false;
    }
    // Wine's policy check lets a chain that ends at no trusted root through: anything the
    // chain reports but an unknown revocation status is a refusal.
    const DWORD errors = chain->TrustStatus.dwErrorStatus &
                         ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                             CERT_TRUST_IS_OFFLINE_REVOCATION);
    if (errors != 0) {
        refusal = (errors & CERT_TRUST_IS_NOT_TIME_VALID) != 0 ? kExpired : kUntrusted;
        return false;
    }
    refusal.clear();
    return true;
}
