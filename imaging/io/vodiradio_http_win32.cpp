// Loading over HTTP through WinInet, which is loaded at run time on first use so that the program
// starts without it. One GET per load, with redirects followed by hand, on a thread of its own so
// that an abort, or a connection not made in time, ends the load at once whatever the library is
// waiting for.
#include "imaging/io/detail/vodiradio_http_win32.h"

#include "imaging/io/detail/vodiradio_platform.h"
#include "platform/rtl/Win32.h"

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace imaging::detail {

namespace {

// ---- the library ------------------------------------------------------------------------------

struct TWinInet {
    HMODULE module = nullptr;
    decltype(&::InternetOpenA) Open = nullptr;
    decltype(&::InternetCloseHandle) CloseHandle = nullptr;
    decltype(&::InternetConnectA) Connect = nullptr;
    decltype(&::HttpOpenRequestA) OpenRequest = nullptr;
    decltype(&::HttpSendRequestA) SendRequest = nullptr;
    decltype(&::InternetReadFile) ReadFile = nullptr;
    decltype(&::HttpQueryInfoA) QueryInfo = nullptr;
    decltype(&::InternetSetOptionA) SetOption = nullptr;
    decltype(&::InternetSetStatusCallbackA) SetStatusCallback = nullptr;
};

std::mutex gLibraryLock;
std::condition_variable gLibraryIdle;
std::string gLibraryName = "wininet.dll";  // under gLibraryLock
TWinInet gApi;                             // filled while loaded, under gLibraryLock
int gUsers = 0;                            // fetches using the library now, under gLibraryLock

template <typename F>
bool Resolve(HMODULE module, const char* name, F& to)
{
    to = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return to != nullptr;
}

// Loads the library the first time (once, however many loads start at once) and counts the caller
// as a user until ReleaseWinInet, so that it is never freed under a fetch.
const TWinInet* AcquireWinInet(std::string& error)
{
    std::lock_guard<std::mutex> lock(gLibraryLock);
    if (!gApi.module) {
        const HMODULE module = LoadLibraryA(gLibraryName.c_str());
        if (!module) {
            error = gLibraryName + " could not be loaded (error " + std::to_string(GetLastError()) + ")";
            return nullptr;
        }
        TWinInet api;
        api.module = module;
        const char* missing = nullptr;
        if (!Resolve(module, "InternetOpenA", api.Open))
            missing = "InternetOpenA";
        else if (!Resolve(module, "InternetCloseHandle", api.CloseHandle))
            missing = "InternetCloseHandle";
        else if (!Resolve(module, "InternetConnectA", api.Connect))
            missing = "InternetConnectA";
        else if (!Resolve(module, "HttpOpenRequestA", api.OpenRequest))
            missing = "HttpOpenRequestA";
        else if (!Resolve(module, "HttpSendRequestA", api.SendRequest))
            missing = "HttpSendRequestA";
        else if (!Resolve(module, "InternetReadFile", api.ReadFile))
            missing = "InternetReadFile";
        else if (!Resolve(module, "HttpQueryInfoA", api.QueryInfo))
            missing = "HttpQueryInfoA";
        else if (!Resolve(module, "InternetSetOptionA", api.SetOption))
            missing = "InternetSetOptionA";
        else if (!Resolve(module, "InternetSetStatusCallbackA", api.SetStatusCallback))
            missing = "InternetSetStatusCallbackA";
        if (missing) {
            FreeLibrary(module);
            error = gLibraryName + " has no " + missing;
            return nullptr;
        }
        gApi = api;
    }
    ++gUsers;
    return &gApi;
}

// One more use of the library loaded now, for a thread that did not load it.
void HoldWinInet()
{
    std::lock_guard<std::mutex> lock(gLibraryLock);
    ++gUsers;
}

void ReleaseWinInet()
{
    {
        std::lock_guard<std::mutex> lock(gLibraryLock);
        --gUsers;
    }
    gLibraryIdle.notify_all();
}

// ---- one fetch ----------------------------------------------------------------------------------

constexpr const char kAgent[] = "Mozilla/4.0 (compatible; Varnelo)";
// Reload, no cache write, keep the connection; redirects are followed here, where they are counted.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr int kMaxRedirects = 10;
constexpr DWORD kReadSize = 65536;

std::string ErrorText(DWORD code, int receiveTimeout)
{
    switch (code) {
    case ERROR_INTERNET_TIMEOUT:
    case WSAETIMEDOUT: return "no answer for " + std::to_string(receiveTimeout) + " ms";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "the host name could not be resolved";
    case ERROR_INTERNET_CANNOT_CONNECT: return "the connection could not be made";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case WSAECONNRESET:
    case WSAECONNABORTED: return "the server closed the connection";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE: return "the server's answer was not HTTP";
    default: return "error " + std::to_string(code);
    }
}

// Owns one WinInet handle.
class THandle {
public:
    THandle(const TWinInet& api, HINTERNET handle) : api_(api), handle_(handle) {}
    ~THandle()
    {
        if (handle_)
            api_.CloseHandle(handle_);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    operator HINTERNET() const { return handle_; }
    // Hands the handle over to whoever closes it now.
    HINTERNET Release() { return std::exchange(handle_, nullptr); }

private:
    const TWinInet& api_;
    HINTERNET handle_;
};

// A header of the answer as text; empty when there is none. Long ones (a Location may be) are
// fetched in full, up to a limit no header of use reaches.
std::string QueryText(const TWinInet& api, HINTERNET request, DWORD what)
{
    constexpr DWORD kLimit = 1 << 16;
    std::vector<char> text(512);
    for (;;) {
        DWORD length = DWORD(text.size());
        DWORD index = 0;
        if (api.QueryInfo(request, what, text.data(), &length, &index))
            return std::string(text.data(), std::min<DWORD>(length, DWORD(text.size())));
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length <= text.size() || length > kLimit)
            return {};
        text.resize(length + 1);
    }
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Reads and drops a body not wanted (a redirect's, an error page), up to a limit; true when it came
// to its end (or broke off), so that closing the request cannot make the library read on.
bool DiscardBody(const TWinInet& api, HINTERNET request)
{
    constexpr std::int64_t kLimit = 1 << 20;
    std::vector<char> buffer(kReadSize);
    std::int64_t total = 0;
    for (DWORD got = 0; total <= kLimit; total += got)
        if (!api.ReadFile(request, buffer.data(), kReadSize, &got) || got == 0)
            return true;
    return false;
}

// The shared state of a fetch and the thread doing it; the load waiting for it may leave first (on
// an abort, or when the connection is not made in time).
struct TFetch {
    TIEHttpRequest request;
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;  // under mutex
    std::string error;
    std::unique_ptr<rtl::TMemoryStream> body;
    // While a request is being sent (under mutex): the request, which a load leaving first closes
    // itself; where it goes; and since when the library has been connecting for it (0 when it is
    // not: a kept connection is not connected again).
    const TWinInet* api = nullptr;
    HINTERNET sending = nullptr;
    std::string sendingTo;
    ULONGLONG connectingSince = 0;
    // Requests whose answer was not read to its end, and the handles above them. Closing one makes
    // the library read the rest of the answer first, so they are closed only once the load has
    // its result, on the fetch's thread.
    std::vector<HINTERNET> closeLater;
};

// The fetch running on this thread: the library reports its progress on the thread that calls it.
thread_local TFetch* tFetch = nullptr;

// WinInet here does not bound the time it takes to connect (a server whose queue is full never
// answers, and the library waits for the system to give up, minutes later): its progress tells the
// waiting load when a connection is being made, and the load gives up on it when the time passes.
void CALLBACK OnStatus(HINTERNET, DWORD_PTR, DWORD status, LPVOID, DWORD)
{
    TFetch* fetch = tFetch;
    if (!fetch ||
        (status != INTERNET_STATUS_CONNECTING_TO_SERVER && status != INTERNET_STATUS_CONNECTED_TO_SERVER))
        return;
    std::lock_guard<std::mutex> lock(fetch->mutex);
    fetch->connectingSince =
        status == INTERNET_STATUS_CONNECTING_TO_SERVER ? std::max<ULONGLONG>(GetTickCount64(), 1) : 0;
}

// HttpSendRequestA; false with the library's error code in GetLastError. When the waiting load left
// and closed the request meanwhile, the request is no longer the caller's and the result is false.
bool Send(TFetch& fetch, THandle& request, const std::string& where)
{
    {
        std::lock_guard<std::mutex> lock(fetch.mutex);
        if (fetch.cancel)
            return false;
        fetch.sending = request;
        fetch.sendingTo = where;
    }
    const BOOL sent = fetch.api->SendRequest(request, nullptr, 0, nullptr, 0);
    const DWORD code = GetLastError();
    std::lock_guard<std::mutex> lock(fetch.mutex);
    fetch.connectingSince = 0;
    if (!fetch.sending) {
        request.Release();
        return false;
    }
    fetch.sending = nullptr;
    SetLastError(code);
    return sent != FALSE;
}

// The GET itself; fills fetch.body or fetch.error.
void Fetch(TFetch& fetch, const TWinInet& api)
{
    const TIEHttpRequest& rq = fetch.request;
    std::string& error = fetch.error;
    fetch.api = &api;
    THandle session(api, rq.ViaProxy
                             ? api.Open(kAgent, INTERNET_OPEN_TYPE_PROXY, rq.Proxy.c_str(), nullptr, 0)
                             : api.Open(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        error = "no internet session (" + ErrorText(GetLastError(), rq.ReceiveTimeout) + ")";
        return;
    }
    // The handles made from it take the callback over.
    api.SetStatusCallback(session, &OnStatus);
    // A request not read to its end is closed later, with the handles above it.
    bool closeSessionLater = false;
    struct TCloseSessionLater {
        TFetch& fetch;
        THandle& session;
        bool& later;
        ~TCloseSessionLater()
        {
            if (later)
                fetch.closeLater.push_back(session.Release());
        }
    } sessionGuard{fetch, session, closeSessionLater};
    auto closeLater = [&](THandle& connection, THandle& request) {
        fetch.closeLater.push_back(request.Release());
        fetch.closeLater.push_back(connection.Release());
        closeSessionLater = true;
    };
    TIEHttpAddress address = rq.Address;
    for (int hop = 0;; ++hop) {
        const std::string url = "http://" + address.Describe();
        const TIEHttpAddress& target = rq.ViaProxy ? rq.ProxyAddress : address;
        const std::string where = target.Host + ":" + std::to_string(target.Port);
        // No user name or password for the server: the proxy's are set on the request, for the proxy.
        THandle connection(api, api.Connect(session, address.Host.c_str(), INTERNET_PORT(address.Port),
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) {
            error = "cannot connect to " + url + ": " + ErrorText(GetLastError(), rq.ReceiveTimeout);
            return;
        }
        THandle request(api, api.OpenRequest(connection, "GET", address.Path.c_str(), "HTTP/1.1", nullptr,
                                             nullptr, kRequestFlags, 1));
        if (!request) {
            error =
                "cannot make the request for " + url + ": " + ErrorText(GetLastError(), rq.ReceiveTimeout);
            return;
        }
        DWORD connectMs = DWORD(rq.ConnectTimeout);
        DWORD receiveMs = DWORD(rq.ReceiveTimeout);
        api.SetOption(request, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
        api.SetOption(request, INTERNET_OPTION_SEND_TIMEOUT, &receiveMs, sizeof receiveMs);
        api.SetOption(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
        if (rq.ViaProxy && !rq.ProxyUser.empty()) {
            api.SetOption(request, INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(rq.ProxyUser.c_str()),
                          DWORD(rq.ProxyUser.size()));
            api.SetOption(request, INTERNET_OPTION_PROXY_PASSWORD,
                          const_cast<char*>(rq.ProxyPassword.c_str()), DWORD(rq.ProxyPassword.size()));
        }
        const ULONGLONG sent = GetTickCount64();
        if (!Send(fetch, request, where)) {
            const DWORD code = GetLastError();
            // A server silent past the receive timeout is reported by some libraries as a closed
            // connection.
            const bool silent = GetTickCount64() - sent >= ULONGLONG(rq.ReceiveTimeout);
            if (code == ERROR_INTERNET_NAME_NOT_RESOLVED)
                error = "the host " + target.Host + " could not be found";
            else if (code == ERROR_INTERNET_CANNOT_CONNECT)
                error = "the connection to " + where + " was refused or could not be made";
            else
                error = "the request for " + url + " failed: " +
                        (silent ? ErrorText(ERROR_INTERNET_TIMEOUT, rq.ReceiveTimeout)
                                : ErrorText(code, rq.ReceiveTimeout));
            return;
        }
        DWORD status = 0;
        DWORD length = sizeof status;
        DWORD index = 0;
        if (!api.QueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                           &index)) {
            error = url + " gave no status";
            return;
        }
        const bool redirect = IsRedirect(status);
        if ((redirect || status < 200 || status > 299) && !DiscardBody(api, request))
            closeLater(connection, request);
        if (redirect) {
            const std::string location = QueryText(api, request, HTTP_QUERY_LOCATION);
            if (location.empty()) {
                error = url + " answered " + std::to_string(status) + " without saying where to";
                return;
            }
            if (hop == kMaxRedirects) {
                error = url + " redirected again after " + std::to_string(kMaxRedirects) + " redirects";
                return;
            }
            TIEHttpAddress next;
            if (!IEResolveHttpRedirect(address, location, next, error))
                return;
            address = next;
            continue;
        }
        if (status < 200 || status > 299) {
            error = url + " answered " + std::to_string(status) + " " +
                    QueryText(api, request, HTTP_QUERY_STATUS_TEXT);
            return;
        }
        // A length beyond the limit is refused before anything is read.
        // -1: unknown (chunked, or up to the close).
        const std::int64_t expected =
            IEParseHttpContentLength(QueryText(api, request, HTTP_QUERY_CONTENT_LENGTH));
        const std::string tooLarge = "the body of " + url + " is larger than the limit of " +
                                     std::to_string(rq.MaxBodySize) + " bytes";
        if (expected > rq.MaxBodySize) {
            error = tooLarge;
            closeLater(connection, request);
            return;
        }
        auto body = std::make_unique<rtl::TMemoryStream>();
        std::vector<char> buffer(kReadSize);
        std::int64_t total = 0;
        for (;;) {
            if (fetch.cancel) {
                closeLater(connection, request);
                return;
            }
            DWORD got = 0;
            if (!api.ReadFile(request, buffer.data(), kReadSize, &got)) {
                error = "reading " + url + " failed after " + std::to_string(total) +
                        " bytes: " + ErrorText(GetLastError(), rq.ReceiveTimeout);
                return;
            }
            if (got == 0)
                break;
            if (total + got > rq.MaxBodySize) {
                error = tooLarge;
                closeLater(connection, request);
                return;
            }
            body->WriteBuffer(buffer.data(), std::int32_t(got));
            total += got;
        }
        if (expected >= 0 && total != expected) {
            error = "the body of " + url + " ended after " + std::to_string(total) + " of " +
                    std::to_string(expected) + " bytes";
            return;
        }
        body->SetPosition(0);
        fetch.body = std::move(body);
        return;
    }
}

void RunFetch(const std::shared_ptr<TFetch>& fetch)
{
    const TWinInet* api = nullptr;
    try {
        api = AcquireWinInet(fetch->error);
        if (api) {
            tFetch = fetch.get();
            Fetch(*fetch, *api);
        }
    } catch (const std::exception& e) {
        fetch->body.reset();
        fetch->error = std::string("the load failed: ") + e.what();
    }
    tFetch = nullptr;
    {
        std::lock_guard<std::mutex> lock(fetch->mutex);
        fetch->done = true;
    }
    fetch->ended.notify_all();
    if (api) {
        // The load has its result; closing takes as long as the server goes on sending.
        for (HINTERNET handle : fetch->closeLater)
            api->CloseHandle(handle);
        ReleaseWinInet();
    }
}

}  // namespace

std::unique_ptr<rtl::TMemoryStream> IEHttpFetch(const TIEHttpRequest& Request, const std::atomic<bool>& Abort,
                                                std::string& Error)
{
    auto fetch = std::make_shared<TFetch>();
    fetch->request = Request;
    try {
        std::thread([fetch] { RunFetch(fetch); }).detach();
    } catch (const std::exception&) {
        Error = "no thread for the load could be started";
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(fetch->mutex);
    while (!fetch->done) {
        std::string gaveUp;
        if (Abort)
            gaveUp = "the load was aborted";
        else if (fetch->connectingSince &&
                 GetTickCount64() - fetch->connectingSince >= ULONGLONG(Request.ConnectTimeout))
            gaveUp = "no connection to " + fetch->sendingTo + " within " +
                     std::to_string(Request.ConnectTimeout) + " ms";
        if (!gaveUp.empty()) {
            // The fetch stops at its next chance and frees what it holds; nobody waits for it. A
            // request being sent is closed here, which ends the library's wait where it can.
            fetch->cancel = true;
            const HINTERNET sending = std::exchange(fetch->sending, nullptr);
            const TWinInet* api = fetch->api;
            // While a request is being sent its fetch holds the library; the close holds it too,
            // for the fetch may end and the library be freed before the close is made.
            if (sending)
                HoldWinInet();
            lock.unlock();
            if (sending) {
                api->CloseHandle(sending);
                ReleaseWinInet();
            }
            Error = gaveUp;
            return nullptr;
        }
        // Neither the abort flag nor the time has an event of its own: both are looked at every few
        // milliseconds.
        fetch->ended.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (!fetch->body) {
        Error = fetch->error.empty() ? "the load was aborted" : fetch->error;
        return nullptr;
    }
    return std::move(fetch->body);
}

void IESetHttpLibraryName(const std::string& Name)
{
    IEFreeHttpLibrary();
    std::lock_guard<std::mutex> lock(gLibraryLock);
    gLibraryName = Name;
}

bool IEFreeHttpLibrary()
{
    std::lock_guard<std::mutex> lock(gLibraryLock);
    if (!gApi.module)
        return true;
    if (gUsers > 0)
        return false;  // a fetch an abort left behind still runs inside it
    FreeLibrary(gApi.module);
    gApi = TWinInet{};
    return true;
}

void IEAwaitHttpFetches()
{
    std::unique_lock<std::mutex> lock(gLibraryLock);
    gLibraryIdle.wait(lock, [] { return gUsers == 0; });
}

}  // namespace imaging::detail
