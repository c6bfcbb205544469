#include "platform/win32/url_downloader.h"

#include <windows.h>

#include <urlmon.h>
#include <wininet.h>

#include "platform/win32/wide_text.h"

namespace {

// The moniker saves an error page as if it were the file and still reports success,
// so the HTTP status is taken from the response itself.
class ResponseStatus final : public IHttpNegotiate {
public:
    DWORD code = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                   LPWSTR* additionalHeaders) override {
        *additionalHeaders = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR,
                                         LPWSTR* additionalHeaders) override {
        code = responseCode;
        if (additionalHeaders != nullptr) *additionalHeaders = nullptr;
        return S_OK;
    }
};

// Lives on the stack of one transfer; the moniker's AddRef and Release change nothing.
class BindStatus final : public IBindStatusCallback {
public:
    explicit BindStatus(DownloadObserver* observer) : observer_(observer) {}

    ResponseStatus response;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IHttpNegotiate)) {
            *out = static_cast<IHttpNegotiate*>(&response);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 0; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR) override {
        if (observer_ == nullptr) return S_OK;
        switch (statusCode) {
            case BINDSTATUS_BEGINDOWNLOADDATA:
                observer_->OnProgress(progress, progressMax, DownloadPhase::kBegin);
                break;
            case BINDSTATUS_DOWNLOADINGDATA:
                observer_->OnProgress(progress, progressMax, DownloadPhase::kData);
                break;
            case BINDSTATUS_ENDDOWNLOADDATA:
                observer_->OnProgress(progress, progressMax, DownloadPhase::kEnd);
                break;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

private:
    DownloadObserver* observer_;
};

}  // namespace

TransferResult UrlDownloader::Download(const std::string& url, const std::string& localPath,
                                       DownloadObserver* observer) {
    BindStatus status(observer);
    const HRESULT result = URLDownloadToFileW(nullptr, WideFromUtf8(url).c_str(),
                                              WidePath(localPath).c_str(), 0, &status);
    if (result == HRESULT_FROM_WIN32(ERROR_DISK_FULL) ||
        result == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL) || result == STG_E_MEDIUMFULL) {
        return TransferResult::kDiskFull;
    }
    const DWORD code = status.response.code;
    if (code == 0)
        return SUCCEEDED(result) ? TransferResult::kCompleted : TransferResult::kUnreachable;
    if (FAILED(result) || code < 200 || code >= 300) return TransferResult::kRefused;
    return TransferResult::kCompleted;
}

void UrlDownloader::ForgetCached(const std::string& url) { DeleteUrlCacheEntry(url.c_str()); }
