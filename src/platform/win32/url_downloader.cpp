#include "platform/win32/url_downloader.h"

#include <windows.h>

#include <urlmon.h>
#include <wininet.h>

#include "platform/win32/com_apartment.h"
#include "platform/win32/wide_text.h"

namespace {

// The transfer's callback. The moniker saves an error page as if it were the file and
// still reports success, so the HTTP status is taken from the response itself
// (IHttpNegotiate). Lives on the stack of one synchronous transfer, which releases
// every reference before it returns: the count is kept, the object never deletes itself.
class BindStatus final : public IBindStatusCallback, public IHttpNegotiate {
public:
    explicit BindStatus(DownloadObserver* observer) : observer_(observer) {}

    DWORD responseCode = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
            *out = static_cast<IBindStatusCallback*>(this);
        } else if (IsEqualIID(iid, IID_IHttpNegotiate)) {
            *out = static_cast<IHttpNegotiate*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references_); }

    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                   LPWSTR* additionalHeaders) override {
        *additionalHeaders = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR, LPCWSTR,
                                         LPWSTR* additionalHeaders) override {
        responseCode = code;
        if (additionalHeaders != nullptr) *additionalHeaders = nullptr;
        return S_OK;
    }

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
    LONG references_ = 1;
};

}  // namespace

TransferResult UrlDownloader::Fetch(TransferRequest& request, DownloadObserver* observer) {
    const std::string& url = request.url;
    const std::string& localPath = request.localPath;
    // Downloads also run on short-lived threads beside other work; each call joins an
    // apartment of its own (a thread already in one only counts up).
    const ComApartment com;
    BindStatus status(observer);
    const HRESULT result = URLDownloadToFileW(nullptr, WideFromUtf8(url).c_str(),
                                              WidePath(localPath).c_str(), 0, &status);
    if (result == HRESULT_FROM_WIN32(ERROR_DISK_FULL) ||
        result == HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL) || result == STG_E_MEDIUMFULL) {
        return TransferResult::kDiskFull;
    }
    const DWORD code = status.responseCode;
    if (code == 0)
        return SUCCEEDED(result) ? TransferResult::kCompleted : TransferResult::kUnreachable;
    if (FAILED(result) || code < 200 || code >= 300) return TransferResult::kRefused;
    return TransferResult::kCompleted;
}

void UrlDownloader::ForgetCached(const std::string& url) { DeleteUrlCacheEntry(url.c_str()); }
