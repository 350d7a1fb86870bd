// Loading over HTTP through Wine's WinInet, against servers on 127.0.0.1 and [::1] that
// http_servers.py starts: Python's http.server for plain files (the peer), a scripted origin for
// chunked bodies, keep-alive, redirects, errors, bodies cut short, stalls, floods and trickles,
// and tinyproxy with basic authentication. Every failure must end with the abort flag, a reason,
// one finish event and the image the component had.
#include "imaging/io/detail/vodiradio_http_win32.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Thread.h"
#include "platform/rtl/Win32.h"
#include "tests/imaging/io/bmp_test_util.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace imaging;

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        ADD_FAILURE() << name << " is not set: run this test through http_servers.py";
    return value ? value : "";
}

// Loads through the proxy go to an origin of their own, which direct loads never touch; another one
// counts the connections it is sent.
constexpr const char* kProxied = "VA_HTTP_PROXIED_PORT";
constexpr const char* kCounted = "VA_HTTP_COUNTED_PORT";

std::string FilesUrl(const std::string& name)
{
    return "http://127.0.0.1:" + Env("VA_HTTP_FILES_PORT") + "/" + name;
}
std::string OriginUrl(const std::string& route, const char* port = "VA_HTTP_ORIGIN_PORT")
{
    return "http://127.0.0.1:" + Env(port) + route;
}

// A GET of our own over a plain socket (not WinInet, which the tests must find unloaded), for
// asking the origin what it saw. HTTP/1.0, so the origin closes when it has answered.
std::string AskOrigin(const std::string& path, const char* port = "VA_HTTP_ORIGIN_PORT")
{
    // Never cleaned up: the last WSACleanup of a process closes the sockets of running loads too.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    EXPECT_TRUE(started);
    std::string answer;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(u_short(std::stoi(Env(port))));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        send(s, request.data(), int(request.size()), 0);
        char buffer[4096];
        for (int got; (got = recv(s, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, std::size_t(got));
    }
    closesocket(s);
    const std::size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}

// The files the servers serve, written by the test into the folder they serve.
class HttpLoad : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        rtl::SetMainThread();
        folder_ = "Z:" + Env("VA_HTTP_DIR") + "/";
        bmp_ = test::PatternBmp(37, 23, [](int x, int y) {
            return TRGB{std::uint8_t(x * 7), std::uint8_t(y * 11), std::uint8_t(x ^ y)};
        });
        Write("a.bmp", bmp_);
        // A PCX of the same picture, made by the library's writer.
        TVodirAdIO io(nullptr);
        io.LoadFromFile(folder_ + "a.bmp");
        ASSERT_FALSE(io.AbortFlag);
        io.SaveToFile(folder_ + "b.pcx");
        ASSERT_FALSE(io.AbortFlag);
    }
    static void Write(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream out(folder_ + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        ASSERT_TRUE(out.good());
    }
    void SetUp() override
    {
        // Each test reads the origins' logs of its own requests only.
        ASSERT_EQ(AskOrigin("/forget"), "forgotten");
        ASSERT_EQ(AskOrigin("/forget", kProxied), "forgotten");
        ASSERT_EQ(AskOrigin("/forget", kCounted), "forgotten");
        image.Allocate(3, 2, ie24RGB);
        io.SetAttachedTIEBitmap(&image);
        io.OnFinishWork = [this](rtl::TObject*) { ++finished; };
    }
    // Loads and says whether the picture of a.bmp arrived whole.
    bool LoadsThePicture(const std::string& url)
    {
        finished = 0;
        io.LoadFromFile(url);
        EXPECT_EQ(finished, 1) << url;
        if (io.AbortFlag) {
            ADD_FAILURE() << url << ": " << io.LastHttpError();
            return false;
        }
        EXPECT_EQ(io.LastHttpError(), "") << url;
        return SamePicture();
    }
    bool SamePicture()
    {
        TVodirAdIO reference(nullptr);
        reference.LoadFromFile(folder_ + "a.bmp");
        TIEBitmap& want = *reference.IEBitmap();
        if (image.GetWidth() != want.GetWidth() || image.GetHeight() != want.GetHeight())
            return false;
        for (int y = 0; y < want.GetHeight(); ++y)
            for (int x = 0; x < want.GetWidth(); ++x)
                if (!(image.GetPixelRGB(x, y) == want.GetPixelRGB(x, y)))
                    return false;
        return true;
    }
    // Loads, expecting a failure whose reason holds `why`, with nothing changed.
    void Fails(const std::string& url, const std::string& why)
    {
        finished = 0;
        io.LoadFromFile(url);
        EXPECT_TRUE(io.AbortFlag) << url;
        EXPECT_NE(io.LastHttpError().find(why), std::string::npos)
            << url << ": \"" << io.LastHttpError() << "\"";
        EXPECT_EQ(finished, 1) << url;
        EXPECT_EQ(image.GetWidth(), 3) << url;
        EXPECT_EQ(image.GetHeight(), 2) << url;
    }

    static inline std::string folder_;
    static inline std::vector<std::uint8_t> bmp_;
    TIEBitmap image;
    TVodirAdIO io{nullptr};
    int finished = 0;
};

// First, while no other test has used the library: loads started at once on several threads load
// it once, and the program's end frees it.
TEST_F(HttpLoad, TheLibraryIsLoadedOnceHoweverManyLoadsStartAtOnce)
{
    ASSERT_EQ(GetModuleHandleA("wininet.dll"), nullptr);
    const std::string url = FilesUrl("a.bmp");
    std::vector<std::thread> loads;
    std::vector<std::string> errors(6, "not run");
    for (std::size_t i = 0; i < errors.size(); ++i)
        loads.emplace_back([&, i] {
            TVodirAdIO own(nullptr);
            own.LoadFromURL(url);
            errors[i] = own.AbortFlag ? "failed: " + own.LastHttpError() : "";
        });
    for (std::thread& t : loads)
        t.join();
    EXPECT_EQ(errors, std::vector<std::string>(errors.size(), ""));
    ASSERT_NE(GetModuleHandleA("wininet.dll"), nullptr);
    // One reference only: a single free unloads it.
    detail::IEAwaitHttpFetches();
    EXPECT_TRUE(detail::IEFreeHttpLibrary());
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), nullptr);
}

TEST_F(HttpLoad, AMissingLibraryFailsCleanly)
{
    detail::IEAwaitHttpFetches();  // so that the library can go
    detail::IESetHttpLibraryName("va_no_such_inet.dll");
    Fails(FilesUrl("a.bmp"), "va_no_such_inet.dll could not be loaded");
    detail::IESetHttpLibraryName("wininet.dll");
    EXPECT_TRUE(LoadsThePicture(FilesUrl("a.bmp")));
}

// ---- answers that load ----

TEST_F(HttpLoad, PlainFilesFromThePeerServerLoadAsTheFilesDo)
{
    EXPECT_TRUE(LoadsThePicture(FilesUrl("a.bmp")));
    EXPECT_EQ(io.Params().FileType, ioBMP);
    EXPECT_EQ(io.Params().FileName, "");
    // The scheme in capitals, through LoadFromURL itself, and the format found by content alone.
    image.Allocate(3, 2, ie24RGB);
    EXPECT_TRUE(LoadsThePicture("HTTP://127.0.0.1:" + Env("VA_HTTP_FILES_PORT") + "/b.pcx"));
    EXPECT_EQ(io.Params().FileType, ioPCX);
    image.Allocate(3, 2, ie24RGB);
    finished = 0;
    io.LoadFromURL(FilesUrl("a.bmp"));
    EXPECT_FALSE(io.AbortFlag) << io.LastHttpError();
    EXPECT_TRUE(SamePicture());
}

TEST_F(HttpLoad, AnIPv6LiteralConnectsWithItsBrackets)
{
    EXPECT_TRUE(LoadsThePicture("http://[::1]:" + Env("VA_HTTP_FILES6_PORT") + "/a.bmp"));
}

TEST_F(HttpLoad, ChunkedBodiesArriveWhole)
{
    EXPECT_TRUE(LoadsThePicture(OriginUrl("/chunked/a.bmp?tag=chunked")));
}

// The number of requests in the origin's log of a tag.
std::size_t Requests(const std::string& log)
{
    std::size_t n = 0;
    for (std::size_t at = 0; (at = log.find("request ", at)) != std::string::npos; at += 8)
        ++n;
    return n;
}

TEST_F(HttpLoad, ServersKeepingTheConnectionOpenAreReadByTheirLengthNotTheirClose)
{
    // A client reading until the close would wait out the receive timeout and fail.
    io.HttpReceiveTimeout = 20000;
    EXPECT_TRUE(LoadsThePicture(OriginUrl("/keepalive/a.bmp")));
    image.Allocate(3, 2, ie24RGB);
    EXPECT_TRUE(LoadsThePicture(OriginUrl("/keepalive-chunked/a.bmp")));
}

TEST_F(HttpLoad, RedirectsAreFollowedOverTheConnectionKeptOpen)
{
    EXPECT_TRUE(LoadsThePicture(OriginUrl("/redirect/3/a.bmp?tag=redirects")));
    const std::string log = AskOrigin("/log?tag=redirects");
    std::size_t at = 0;
    for (const char* path : {"/redirect/3/", "/redirect/2/", "/redirect/1/", "/redirect/0/", "/file/"}) {
        at = log.find(std::string(" ") + path + "a.bmp?tag=redirects\n", at);
        EXPECT_NE(at, std::string::npos) << path << " in\n" << log;
    }
    EXPECT_EQ(Requests(log), 5u) << log;
    // "request N path": every one on the first one's connection.
    const std::string first = log.substr(0, log.find(' ', 8) + 1);
    for (std::size_t r = 0; (r = log.find("request ", r)) != std::string::npos; r += 8)
        EXPECT_EQ(log.compare(r, first.size(), first), 0) << log;
    // A Location longer than any fixed buffer.
    image.Allocate(3, 2, ie24RGB);
    EXPECT_TRUE(LoadsThePicture(OriginUrl("/long-redirect/a.bmp?tag=long")));
    EXPECT_NE(AskOrigin("/log?tag=long").find("&pad=" + std::string(4000, 'x') + "\n"), std::string::npos);
}

TEST_F(HttpLoad, ASlowTrickleWithinTheReceiveTimeoutLoads)
{
    io.HttpReceiveTimeout = 10000;
    EXPECT_TRUE(LoadsThePicture(OriginUrl("/trickle/a.bmp?pause=15&tag=trickle")));
}

TEST_F(HttpLoad, AnAddressWithoutAPathAsksForTheRoot)
{
    Fails("http://127.0.0.1:" + Env("VA_HTTP_ORIGIN_PORT") + "?tag=root", "answered 404");
    const std::string log = AskOrigin("/log?tag=root");
    EXPECT_EQ(log.compare(0, 8, "request "), 0) << log;
    EXPECT_NE(log.find(" /?tag=root\n"), std::string::npos) << log;
}

// ---- answers that fail ----

TEST_F(HttpLoad, AStatusOutsideTwoHundredFailsEvenWithAnImageForItsBody)
{
    Fails(OriginUrl("/status/404/a.bmp"), "answered 404");
    Fails(OriginUrl("/status/500/a.bmp"), "answered 500");
    Fails(OriginUrl("/status/403/a.bmp"), "answered 403");
    Fails(FilesUrl("missing.bmp"), "answered 404");
}

TEST_F(HttpLoad, ARedirectLoopEndsAfterTenRedirects)
{
    Fails(OriginUrl("/loop?tag=loop"), "after 10 redirects");
    EXPECT_EQ(Requests(AskOrigin("/log?tag=loop")), 11u);
}

TEST_F(HttpLoad, BodiesCutShortFail)
{
    Fails(OriginUrl("/truncated/a.bmp"), "ended after");
    // WinInet reports a chunked body cut short as ended: the reader finds the image incomplete.
    Fails(OriginUrl("/truncated-chunked/a.bmp"), "not a complete image");
}

TEST_F(HttpLoad, AnAnswerThatIsNoImageFails)
{
    Write("note.txt", {'h', 'e', 'l', 'l', 'o'});
    Fails(FilesUrl("note.txt"), "in no format the library reads");
}

TEST_F(HttpLoad, StalledAndSilentServersFailWithinTheReceiveTimeout)
{
    io.HttpReceiveTimeout = 800;
    Fails(OriginUrl("/stall/a.bmp"), "no answer for 800 ms");
    Fails(OriginUrl("/silent"), "no answer for 800 ms");
}

TEST_F(HttpLoad, EachImageTakesOneConnectionToTheServerOrProxy)
{
    // The counted origin closes every connection after its answer, so no connection is kept for
    // the next load.
    const std::string url = OriginUrl("/close/a.bmp", kCounted);
    EXPECT_TRUE(LoadsThePicture(url));
    image.Allocate(3, 2, ie24RGB);
    EXPECT_TRUE(LoadsThePicture(url));
    // The same origin as the proxy: it answers the proxy's form of the request too.
    image.Allocate(3, 2, ie24RGB);
    io.HttpProxy = "127.0.0.1:" + Env(kCounted);
    EXPECT_TRUE(LoadsThePicture(url));
    EXPECT_EQ(AskOrigin("/connections", kCounted), "3 connections, 0 without a request");
}

TEST_F(HttpLoad, BodiesLargerThanTheLimitFail)
{
    io.HttpMaxBodySize = 1 << 20;
    Fails(OriginUrl("/huge?tag=huge"), "larger than the limit of 1048576 bytes");
    // Without a length the limit stops the reading.
    Fails(OriginUrl("/endless?tag=endless"), "larger than the limit");
    // An image just above the limit is refused too.
    io.HttpMaxBodySize = std::int64_t(bmp_.size()) - 1;
    Fails(OriginUrl("/file/a.bmp"), "larger than the limit");
    Fails(OriginUrl("/chunked/a.bmp"), "larger than the limit");
}

// ---- aborts ----

TEST_F(HttpLoad, AnAbortEndsALoadAtOnceAndTheFetchStopsReading)
{
    io.Asynchronous = true;
    io.HttpReceiveTimeout = 60000;
    io.HttpMaxBodySize = std::int64_t(8) << 30;
    io.LoadFromURL(OriginUrl("/trickle-endless?pause=5&tag=abort"));
    ASSERT_EQ(AskOrigin("/await?tag=abort"), "begun");
    io.WaitThreads(true);
    EXPECT_TRUE(io.AbortFlag);
    EXPECT_EQ(io.LastHttpError(), "the load was aborted");
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(image.GetWidth(), 3);
    // The fetch itself stops reading the endless answer, closes its connection and leaves the
    // library.
    EXPECT_EQ(AskOrigin("/closed?tag=abort"), "closed");
    detail::IEAwaitHttpFetches();
}

TEST_F(HttpLoad, ALoadRefusedForItsSizeClosesItsConnectionOnceTheServerStopsSending)
{
    io.HttpMaxBodySize = 1 << 20;
    for (const std::string route : {"huge", "endless"}) {
        const std::string tag = "closing-" + route;
        Fails(OriginUrl("/" + route + "?tag=" + tag), "larger than the limit");
        ASSERT_EQ(AskOrigin("/stop?tag=" + tag), "stopped");
        EXPECT_EQ(AskOrigin("/closed?tag=" + tag), "closed") << route;
    }
    detail::IEAwaitHttpFetches();
}

TEST_F(HttpLoad, DestroyingAComponentDuringAStallDoesNotWaitForTheServer)
{
    int ends = 0;
    {
        TVodirAdIO own(nullptr);
        own.SetAttachedTIEBitmap(&image);
        own.Asynchronous = true;
        own.HttpReceiveTimeout = 120000;
        own.OnFinishWork = [&](rtl::TObject*) { ++ends; };
        own.LoadFromURL(OriginUrl("/silent?tag=gone"));
        // Once the origin has the request, the load is stalled for good.
        ASSERT_EQ(AskOrigin("/seen?tag=gone"), "seen");
    }
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(image.GetWidth(), 3);
}

// After every test that waits for the fetches to end: a connection never answered is given up on
// by the load at once, but the library's own attempt goes on until the system gives up on it.
TEST_F(HttpLoad, ConnectionsRefusedOrNeverAnsweredFail)
{
    Fails("http://127.0.0.1:" + Env("VA_HTTP_REFUSED_PORT") + "/a.bmp", "refused");
    io.HttpConnectTimeout = 700;
    Fails("http://127.0.0.1:" + Env("VA_HTTP_BLACKHOLE_PORT") + "/a.bmp", "within 700 ms");
    Fails("http://va-no-such-host.invalid/a.bmp", "could not be found");
    // A proxy that never answers; a load straight to a server works at once after it.
    io.HttpProxy = "127.0.0.1:" + Env("VA_HTTP_BLACKHOLE_PORT");
    Fails(OriginUrl("/file/a.bmp", kProxied), "no connection to 127.0.0.1:" + Env("VA_HTTP_BLACKHOLE_PORT"));
    image.Allocate(3, 2, ie24RGB);
    io.HttpProxy.clear();
    EXPECT_TRUE(LoadsThePicture(FilesUrl("a.bmp")));
}

TEST_F(HttpLoad, AsynchronousLoadsHandTheImageOverOnTheMainThread)
{
    io.Asynchronous = true;
    bool onMain = true;
    io.OnFinishWork = [&](rtl::TObject*) {
        ++finished;
        onMain = onMain && rtl::IsMainThread();
    };
    io.LoadFromURL(OriginUrl("/chunked/a.bmp"));
    io.WaitThreads(false);
    EXPECT_FALSE(io.AbortFlag) << io.LastHttpError();
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(SamePicture());
}

// ---- the proxy ----

class HttpProxyLoad : public HttpLoad {
protected:
    void SetUp() override
    {
        HttpLoad::SetUp();
        io.HttpProxy = "127.0.0.1:" + Env("VA_HTTP_PROXY_PORT");
        io.HttpProxyUser = Env("VA_HTTP_PROXY_USER");
        io.HttpProxyPassword = Env("VA_HTTP_PROXY_PASSWORD");
    }
    static bool Has(const std::string& log, const std::string& header)
    {
        return log.find("\n" + header + ":") != std::string::npos;
    }
};

TEST_F(HttpProxyLoad, TheCredentialsReachTheProxyAndNeverTheServer)
{
    EXPECT_TRUE(LoadsThePicture(OriginUrl("/file/a.bmp?tag=proxied", kProxied)));
    const std::string log = AskOrigin("/log?tag=proxied", kProxied);
    EXPECT_TRUE(Has(log, "Via")) << "the load did not go through the proxy:\n" << log;
    EXPECT_FALSE(Has(log, "Authorization")) << log;
    EXPECT_FALSE(Has(log, "Proxy-Authorization")) << log;
    EXPECT_EQ(log.find(io.HttpProxyPassword), std::string::npos) << log;
}

TEST_F(HttpProxyLoad, AServerAskingForCredentialsGetsNone)
{
    Fails(OriginUrl("/auth/a.bmp?tag=challenge", kProxied), "answered 401");
    const std::string log = AskOrigin("/log?tag=challenge", kProxied);
    EXPECT_TRUE(Has(log, "Via")) << log;
    EXPECT_FALSE(Has(log, "Authorization")) << log;
}

TEST_F(HttpProxyLoad, AProxyRefusingTheCredentialsFailsTheLoad)
{
    io.HttpProxyPassword = "wrong";
    Fails(OriginUrl("/file/a.bmp?tag=refused", kProxied), "answered 40");
    io.HttpProxyUser.clear();
    io.HttpProxyPassword.clear();
    Fails(OriginUrl("/file/a.bmp?tag=refused", kProxied), "answered 407");
    EXPECT_EQ(AskOrigin("/log?tag=refused", kProxied), "");
}

TEST_F(HttpProxyLoad, WithoutAProxyTheCredentialsAreNotSentAtAll)
{
    io.HttpProxy.clear();
    Fails(OriginUrl("/auth/a.bmp?tag=direct"), "answered 401");
    const std::string log = AskOrigin("/log?tag=direct");
    EXPECT_FALSE(Has(log, "Via")) << log;
    EXPECT_FALSE(Has(log, "Authorization")) << log;
}

TEST_F(HttpProxyLoad, AnUnreachableProxyFails)
{
    io.HttpProxy = "127.0.0.1:" + Env("VA_HTTP_REFUSED_PORT");
    Fails(OriginUrl("/file/a.bmp", kProxied), "refused");
}

}  // namespace
