#include "net/http_downloader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>

#include "net/response_head.h"
#include "net/resume_note.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/stop_request.h"

#ifdef _WIN32
#include "net/schannel_certificate.h"
#endif

namespace {

constexpr long kMostRedirects = 5;
// Attempts that brought bytes do not count against the rounds, up to this many in all: a
// line that drops now and then still gets its file, one that flaps without end does not.
constexpr unsigned kMostAttempts = 20;
constexpr std::chrono::milliseconds kProgressInterval{100};
constexpr long kReceiveBuffer = 256 * 1024;
constexpr char kUserAgent[] = "KestravaLauncher";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// The TLS back ends word their refusals differently (OpenSSL natively, Schannel on
// Windows); the player is told which of the three it was.
std::string CertificateRefusal(const std::string& detail) {
    if (Contains(detail, "expired") || Contains(detail, "EXPIRED")) {
        return "its certificate has expired";
    }
    if (Contains(detail, "subject name") || Contains(detail, "host name") ||
        Contains(detail, "WRONG_PRINCIPAL") || Contains(detail, "CN_NO_MATCH") ||
        Contains(detail, "does not match")) {
        return "its certificate is for another host name";
    }
    if (Contains(detail, "issuer") || Contains(detail, "self-signed") ||
        Contains(detail, "self signed") || Contains(detail, "UNTRUSTED_ROOT") ||
        Contains(detail, "untrusted")) {
        return "its certificate is not from a trusted authority";
    }
    return detail.empty() ? "its certificate could not be checked" : detail;
}

}  // namespace

// One try at one URL: the state the callbacks share while curl runs it.
struct HttpDownloader::Attempt {
    Attempt(TransferRequest& request, DownloadObserver* observer, RateLimiter& limiter,
            unsigned stallSeconds)
        : request(request),
          observer(observer),
          limiter(limiter),
          stallLimit(std::chrono::seconds(stallSeconds)),
          lastActivity(std::chrono::steady_clock::now()) {}

    TransferRequest& request;
    DownloadObserver* observer;
    RateLimiter& limiter;
    // Watched here rather than by curl's low-speed limit, which averages over seconds and
    // so notices a stall after a fast burst late.
    const std::chrono::steady_clock::duration stallLimit;
    std::chrono::steady_clock::time_point lastActivity;
    bool stalled = false;
    std::string untrusted;     // the certificate was refused, for this reason
    std::uint64_t offset = 0;  // bytes already in the partial file, asked for from here on
    std::string validator;     // of those bytes
    ResponseHead head;
    bool decided = false;
    BodyPlan plan;
    UniqueFile file;
    std::uint64_t written = 0;  // of this answer's body
    bool stopped = false;
    bool diskFull = false;
    std::string refusal;        // the transfer was aborted for this reason
    bool contradicted = false;  // ... because the body is not of the expected size
    std::chrono::steady_clock::time_point reportedAt{};

    std::uint64_t position() const {
        return (plan.action == BodyAction::kAppend ? offset : 0) + written;
    }

    // At the end of a final head: what to do with the body, and the file opened for it.
    bool Decide() {
        decided = true;
        plan = PlanBody(head, offset, request.expectedSize);
        if (plan.action == BodyAction::kRefuse) {
            refusal = plan.refusal;
            contradicted = plan.contradictsExpected;
            return false;
        }
        if (plan.action != BodyAction::kAppend && plan.action != BodyAction::kWriteFromStart) {
            return false;
        }
        const std::string& path = request.localPath;
        if (plan.action == BodyAction::kWriteFromStart) {
            // The old note goes before its bytes, so no note ever vouches for other bytes.
            RemoveResumeNote(path);
            file = OpenFile(path, "wb");
            const std::string newValidator = head.Validator();
            if (file && request.resumable && !newValidator.empty()) {
                WriteResumeNote(path, {request.url, newValidator});
            }
        } else {
            file = OpenFile(path, "ab");
        }
        if (!file) {
            diskFull = errno == ENOSPC;
            refusal = "the file could not be written: " + DescribeErrno(errno);
            return false;
        }
        if (observer != nullptr)
            observer->OnProgress(position(), plan.total, DownloadPhase::kBegin);
        return true;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto& attempt = *static_cast<Attempt*>(self);
        const std::string line(data, size * count);
        if (line == "\r\n" || line == "\n") {
            // A redirect's head is followed by the next one's; 1xx heads by the real one.
            const bool interim = attempt.head.status < 200 ||
                                 (attempt.head.status >= 300 && attempt.head.status < 400);
            if (!interim && !attempt.decided && !attempt.Decide()) return 0;
            return size * count;
        }
        attempt.lastActivity = std::chrono::steady_clock::now();
        attempt.head.AddLine(line);
        return size * count;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto& attempt = *static_cast<Attempt*>(self);
        const std::size_t bytes = size * count;
        // Bodies of redirects and error pages are not the file.
        if (!attempt.file) return attempt.decided ? 0 : bytes;
        if (attempt.plan.total != 0 && attempt.position() + bytes > attempt.plan.total) {
            attempt.refusal = "the server sent more bytes than it announced";
            attempt.contradicted = attempt.request.expectedSize != 0;
            return 0;
        }
        if (!attempt.limiter.Admit(bytes)) {
            attempt.stopped = true;
            return 0;
        }
        if (std::fwrite(data, 1, bytes, attempt.file.get()) != bytes) {
            attempt.diskFull = errno == ENOSPC;
            attempt.refusal = "the file could not be written: " + DescribeErrno(errno);
            return 0;
        }
        attempt.written += bytes;
        attempt.lastActivity = std::chrono::steady_clock::now();
        return bytes;
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto& attempt = *static_cast<Attempt*>(self);
        if (StopRequested()) {
            attempt.stopped = true;
            return 1;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - attempt.lastActivity >= attempt.stallLimit) {
            attempt.stalled = true;
            return 1;
        }
        if (attempt.file && attempt.observer != nullptr &&
            now - attempt.reportedAt >= kProgressInterval) {
            attempt.reportedAt = now;
            attempt.observer->OnProgress(attempt.position(), attempt.plan.total,
                                         DownloadPhase::kData);
        }
        return 0;
    }

#ifdef _WIN32
    // Before each request, on a new connection or a reused one, and after each redirect.
    static int OnConnected(void* self, char*, char*, int, int) {
        auto& attempt = *static_cast<Attempt*>(self);
        char* url = nullptr;
        curl_easy_getinfo(attempt.curl, CURLINFO_EFFECTIVE_URL, &url);
        CURLU* parts = curl_url();
        char* host = nullptr;
        bool good = false;
        if (url != nullptr && curl_url_set(parts, CURLUPART_URL, url, 0) == CURLUE_OK &&
            curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            // Plain http has no certificate to check.
            good = std::strncmp(url, "http://", 7) == 0 ||
                   CheckServerCertificate(attempt.curl, host, attempt.untrusted);
        }
        curl_free(host);
        curl_url_cleanup(parts);
        return good ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
    }
#endif

    void* curl = nullptr;
};

HttpDownloader::HttpDownloader(HttpOptions options)
    : options_(std::move(options)), mirrors_(options_.mirrors) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

HttpDownloader::~HttpDownloader() {
    for (void* handle : idleHandles_) curl_easy_cleanup(static_cast<CURL*>(handle));
    curl_global_cleanup();
}

void* HttpDownloader::Acquire() {
    {
        const MutexLock lock(poolMutex_);
        if (!idleHandles_.empty()) {
            void* handle = idleHandles_.back();
            idleHandles_.pop_back();
            return handle;
        }
    }
    return curl_easy_init();
}

void HttpDownloader::Release(void* handle) {
    const MutexLock lock(poolMutex_);
    idleHandles_.push_back(handle);
}

TransferResult HttpDownloader::Try(const std::string& url, TransferRequest& request,
                                   DownloadObserver* observer, bool& progressed) {
    Attempt attempt(request, observer, limiter_, options_.stallSeconds);
    if (request.resumable) {
        const std::optional<ResumeNote> note = ReadResumeNote(request.localPath);
        const std::optional<std::uint64_t> size = RegularFileSize(request.localPath);
        if (note && note->url == request.url && size && *size > 0) {
            attempt.offset = *size;
            attempt.validator = note->validator;
        }
    }
    CURL* curl = static_cast<CURL*>(Acquire());
    if (curl == nullptr) return TransferResult::kUnreachable;
    // Reset keeps the handle's open connections and TLS sessions for this transfer.
    curl_easy_reset(curl);
    char error[CURL_ERROR_SIZE] = "";
    const bool secure = StartsWith(url, "https://");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, secure ? "https" : "http,https");
    // Never from https to http: a redirect may not drop the encryption.
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMostRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options_.connectSeconds));
    // Under a speed limit each piece waits its turn whole: small ones keep the pace even.
    const std::uint64_t limit = limiter_.limit();
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE,
                     limit == 0 ? kReceiveBuffer
                                : static_cast<long>(std::clamp<std::uint64_t>(limit / 8, 16 * 1024,
                                                                              kReceiveBuffer)));
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
#ifdef _WIN32
    // An unreachable revocation server must not lock a player out: the release's
    // signatures and checksums are the trust that matters.
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    attempt.curl = curl;
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Attempt::OnConnected);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &attempt);
#endif
    if (!options_.extraCaFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, options_.extraCaFile.c_str());
#ifndef _WIN32
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
#endif
    }
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Attempt::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &attempt);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Attempt::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &attempt);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Attempt::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &attempt);
    curl_slist* headers = nullptr;
    std::string range;
    if (attempt.offset > 0) {
        range = std::to_string(attempt.offset) + "-";
        curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
        headers = curl_slist_append(headers, ("If-Range: " + attempt.validator).c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    }

    CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    Release(curl);

    progressed = attempt.written > 0;
    if (code == CURLE_OK && !attempt.decided && !attempt.Decide() &&
        attempt.plan.action == BodyAction::kRefuse) {
        code = CURLE_WRITE_ERROR;
    }
    if (attempt.file && std::fclose(attempt.file.release()) != 0 && code == CURLE_OK) {
        attempt.diskFull = errno == ENOSPC;
        attempt.refusal = "the file could not be written: " + DescribeErrno(errno);
        code = CURLE_WRITE_ERROR;
    }
    if (attempt.stopped) return TransferResult::kStopped;
    if (!attempt.untrusted.empty()) {
        request.failure = attempt.untrusted;
        return TransferResult::kUntrusted;
    }
    if (attempt.stalled) {
        request.failure =
            "the server sent nothing for " + std::to_string(options_.stallSeconds) + " seconds";
        return TransferResult::kStalled;
    }
    if (attempt.diskFull) return TransferResult::kDiskFull;
    if (attempt.decided && attempt.plan.action == BodyAction::kServerError) {
        request.failure = "the server answered with status " + std::to_string(attempt.head.status);
        return TransferResult::kUnreachable;
    }
    if (attempt.decided && attempt.plan.action == BodyAction::kAlreadyWhole) {
        if (observer != nullptr) {
            observer->OnProgress(attempt.offset, attempt.offset, DownloadPhase::kBegin);
            observer->OnProgress(attempt.offset, attempt.offset, DownloadPhase::kEnd);
        }
        return TransferResult::kCompleted;
    }
    if (attempt.decided && attempt.plan.action == BodyAction::kStartOver) {
        // Nothing of the partial file can be used: the next attempt asks for all of it.
        RemoveResumeNote(request.localPath);
        RemoveFileIfPresent(request.localPath);
        progressed = true;
        return TransferResult::kUnreachable;
    }
    if (!attempt.refusal.empty()) {
        request.failure = attempt.refusal;
        return attempt.contradicted ? TransferResult::kNotAsPublished : TransferResult::kRefused;
    }
    switch (code) {
        case CURLE_OK:
            if (attempt.plan.total != 0 && attempt.position() != attempt.plan.total) {
                request.failure = "the server sent less than it announced";
                return TransferResult::kUnreachable;
            }
            if (observer != nullptr) {
                observer->OnProgress(attempt.position(), attempt.plan.total, DownloadPhase::kEnd);
            }
            return TransferResult::kCompleted;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            request.failure = CertificateRefusal(error);
            return TransferResult::kUntrusted;
        case CURLE_SSL_CONNECT_ERROR:
            // Schannel reports some certificate refusals as a failed handshake.
            if (CertificateRefusal(error) != error) {
                request.failure = CertificateRefusal(error);
                return TransferResult::kUntrusted;
            }
            request.failure = error;
            return TransferResult::kUnreachable;
        case CURLE_TOO_MANY_REDIRECTS:
            request.failure =
                "the server redirected more than " + std::to_string(kMostRedirects) + " times";
            return TransferResult::kRefused;
        case CURLE_UNSUPPORTED_PROTOCOL:
            request.failure = "the server redirected to an address that is not https";
            return TransferResult::kRefused;
        case CURLE_URL_MALFORMAT:
            request.failure = error;
            return TransferResult::kRefused;
        default:
            request.failure = error;
            return TransferResult::kUnreachable;
    }
}

TransferResult HttpDownloader::Fetch(TransferRequest& request, DownloadObserver* observer) {
    if (!request.resumable) {
        RemoveResumeNote(request.localPath);
        RemoveFileIfPresent(request.localPath);
    }
    TransferResult last = TransferResult::kUnreachable;
    std::string lastFailure;
    unsigned attempts = 0;
    unsigned fruitlessRounds = 0;
    for (;;) {
        bool roundProgressed = false;
        for (const std::string& url : mirrors_.Candidates(request.url)) {
            request.failure.clear();
            bool progressed = false;
            const TransferResult result = Try(url, request, observer, progressed);
            if (result == TransferResult::kCompleted || result == TransferResult::kRefused ||
                result == TransferResult::kNotAsPublished || result == TransferResult::kDiskFull ||
                result == TransferResult::kStopped) {
                return result;
            }
            // Unreachable, stalled, a server error or a certificate refused: the next
            // mirror is asked, and preferred from now on.
            mirrors_.Demote(url);
            last = result;
            lastFailure = request.failure;
            roundProgressed = roundProgressed || progressed;
            if (++attempts >= kMostAttempts) break;
        }
        if (!roundProgressed) ++fruitlessRounds;
        if (attempts >= kMostAttempts || fruitlessRounds >= options_.rounds) break;
        // A round that brought bytes goes on at once; one that brought none waits first.
        const std::vector<unsigned>& pauses = options_.pauseMilliseconds;
        if (roundProgressed || pauses.empty()) continue;
        const unsigned pause =
            pauses[std::min<std::size_t>(fruitlessRounds - 1, pauses.size() - 1)];
        for (unsigned waited = 0; waited < pause; waited += 50) {
            if (StopRequested()) return TransferResult::kStopped;
            SleepMilliseconds(50);
        }
    }
    request.failure = lastFailure;
    return last;
}
