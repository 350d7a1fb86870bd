// Loading over HTTP through WinInet, which is loaded at run time on first use so that the program
// starts without it. One GET per load, with redirects followed by hand, on a thread of its own so
// that an abort ends the load at once whatever the library is waiting for.
#include "imaging/io/detail/vodiradio_http_win32.h"

#include "imaging/io/detail/vodiradio_platform.h"
#include "platform/rtl/Win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
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
    // Lets go of the handle without closing it.
    void Abandon() { handle_ = nullptr; }

private:
    const TWinInet& api_;
    HINTERNET handle_;
};

// WinInet here cannot bound the time it waits for a connection (a server whose queue is full never
// answers, and the library waits for the system to give up, minutes later): a connection of our
// own tells within the timeout whether anyone answers at the address.
bool ProbeConnection(const TIEHttpAddress& target, int timeoutMs, std::string& error)
{
    // Sockets are set up once and never torn down: the last WSACleanup of a process closes every
    // socket in it, those of loads running on other threads too.
    static const bool sockets = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!sockets) {
        error = "the system's sockets are not available";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string where = target.Host + ":" + std::to_string(target.Port);
    if (getaddrinfo(target.Address.c_str(), std::to_string(target.Port).c_str(), &hints, &found) != 0 ||
        !found) {
        error = "the host " + target.Host + " could not be found";
        return false;
    }
    bool timedOut = false;
    for (addrinfo* a = found; a; a = a->ai_next) {
        const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET)
            continue;
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        bool connected = connect(s, a->ai_addr, int(a->ai_addrlen)) == 0;
        if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
            const int n = select(0, nullptr, &writable, &failed, &wait);
            if (n == 0) {
                timedOut = true;
            } else if (n > 0 && FD_ISSET(s, &writable)) {
                int soError = 0;
                int length = sizeof soError;
                getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
                connected = soError == 0;
            }
        }
        closesocket(s);
        if (connected) {
            freeaddrinfo(found);
            return true;
        }
    }
    freeaddrinfo(found);
    error = timedOut ? "no connection to " + where + " within " + std::to_string(timeoutMs) + " ms"
                     : "the connection to " + where + " was refused";
    return false;
}

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

// The shared state of a fetch and the thread doing it; the worker may leave first (on an abort).
struct TFetch {
    TIEHttpRequest request;
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;  // under mutex
    std::string error;
    std::unique_ptr<rtl::TMemoryStream> body;
};

// The GET itself; fills fetch.body or fetch.error.
void Fetch(TFetch& fetch, const TWinInet& api)
{
    const TIEHttpRequest& rq = fetch.request;
    std::string& error = fetch.error;
    THandle session(api, rq.ViaProxy
                             ? api.Open(kAgent, INTERNET_OPEN_TYPE_PROXY, rq.Proxy.c_str(), nullptr, 0)
                             : api.Open(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        error = "no internet session (" + ErrorText(GetLastError(), rq.ReceiveTimeout) + ")";
        return;
    }
    // Closing a request whose body was not read to its end makes the library read the rest first,
    // to keep the connection: from a server that never stops, for ever. Such a request, and the
    // handles above it, are let go of instead; the system frees them with the process.
    bool leak = false;
    struct TLeak {
        THandle& session;
        bool& leak;
        ~TLeak()
        {
            if (leak)
                session.Abandon();
        }
    } leakSession{session, leak};
    auto abandon = [&](THandle& connection, THandle& request) {
        request.Abandon();
        connection.Abandon();
        leak = true;
    };
    TIEHttpAddress address = rq.Address;
    for (int hop = 0;; ++hop) {
        const std::string url = "http://" + address.Describe();
        if (!ProbeConnection(rq.ViaProxy ? rq.ProxyAddress : address, rq.ConnectTimeout, error))
            return;
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
        if (!api.SendRequest(request, nullptr, 0, nullptr, 0)) {
            const DWORD code = GetLastError();
            // A server silent past the receive timeout is reported by some libraries as a closed
            // connection.
            const bool silent = GetTickCount64() - sent >= ULONGLONG(rq.ReceiveTimeout);
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
            abandon(connection, request);
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
            abandon(connection, request);
            return;
        }
        auto body = std::make_unique<rtl::TMemoryStream>();
        std::vector<char> buffer(kReadSize);
        std::int64_t total = 0;
        for (;;) {
            if (fetch.cancel) {
                abandon(connection, request);
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
                abandon(connection, request);
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
    try {
        if (const TWinInet* api = AcquireWinInet(fetch->error)) {
            struct TRelease {
                ~TRelease() { ReleaseWinInet(); }
            } release;
            Fetch(*fetch, *api);
        }
    } catch (const std::exception& e) {
        fetch->body.reset();
        fetch->error = std::string("the load failed: ") + e.what();
    }
    {
        std::lock_guard<std::mutex> lock(fetch->mutex);
        fetch->done = true;
    }
    fetch->ended.notify_all();
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
        if (Abort) {
            // The fetch stops at its next chance and frees what it holds; nobody waits for it.
            fetch->cancel = true;
            Error = "the load was aborted";
            return nullptr;
        }
        // The abort flag has no event of its own: it is looked at every few milliseconds.
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
