// Web addresses as the HTTP loader splits them, redirect targets, proxies, and the component's
// refusal of bad addresses before any connection.
#include "imaging/io/detail/iehttpurl.h"

#include "imaging/io/vodiradio.h"

#include <gtest/gtest.h>

#include <limits>

using namespace imaging;
using imaging::detail::TIEHttpAddress;

namespace {

TEST(HttpAddress, SplitsHostPortAndPath)
{
    struct Case {
        const char* url;
        const char* host;
        const char* address;
        int port;
        const char* path;
    } cases[] = {
        {"http://example.test/a/b.bmp", "example.test", "example.test", 80, "/a/b.bmp"},
        {"HTTP://Example.Test/x", "Example.Test", "Example.Test", 80, "/x"},  // the scheme in capitals
        {"http://host:8080/path/y.pcx?q=1", "host", "host", 8080, "/path/y.pcx?q=1"},
        {"http://host", "host", "host", 80, "/"},  // no path asks for the root
        {"http://host:81", "host", "host", 81, "/"},
        {"http://host?tag=1", "host", "host", 80, "/?tag=1"},
        {"http://host/a#frag", "host", "host", 80, "/a"},  // fragments are not sent
        {"http://host:/a", "host", "host", 80, "/a"},
        {"http://host:abc/a", "host", "host", 80, "/a"},  // a port that is no number means 80
        {"http://127.0.0.1:65535/", "127.0.0.1", "127.0.0.1", 65535, "/"},
        {"http://[::1]:8080/i.bmp", "[::1]", "::1", 8080, "/i.bmp"},
        {"http://[fe80::1:2]/", "[fe80::1:2]", "fe80::1:2", 80, "/"},
        {"http://[::ffff:127.0.0.1]", "[::ffff:127.0.0.1]", "::ffff:127.0.0.1", 80, "/"},
    };
    for (const Case& c : cases) {
        TIEHttpAddress a;
        std::string error;
        ASSERT_TRUE(detail::IEParseHttpAddress(c.url, a, error)) << c.url << ": " << error;
        EXPECT_EQ(a.Host, c.host) << c.url;
        EXPECT_EQ(a.Address, c.address) << c.url;
        EXPECT_EQ(a.Port, c.port) << c.url;
        EXPECT_EQ(a.Path, c.path) << c.url;
    }
}

TEST(HttpAddress, RefusesWhatItCannotConnectToAsWritten)
{
    struct Case {
        const char* url;
        const char* why;  // a piece of the message
    } cases[] = {
        {"http://user:pw@host/a", "user names and passwords"},
        {"http://user@host/a", "user names and passwords"},
        {"http://user:pw@[::1]/a", "user names and passwords"},
        {"https://host/a", "https:// addresses are not supported"},
        {"ftp://host/a", "ftp:// addresses"},
        {"host/a", "not an http:// address"},
        {"http:///a", "no host"},
        {"http://:8080/a", "no host"},
        {"http://host:0/a", "port 0 is outside"},
        {"http://host:70000/a", "port 70000 is outside"},
        {"http://host:-5/a", "port -5 is outside"},
        {"http://host:99999999999999999999/a", "outside 1 to 65535"},
        {"http://host/a b", "space or a control character"},
        {"http://host/a\r\nX-Injected: 1", "space or a control character"},
        {"http://ho\\st/a", "holds characters"},
        {"http://[::1/a", "no closing"},
        {"http://[::1]x/a", "after the IPv6 address"},
        {"http://[zz::1]/a", "is not an IPv6 address"},
        {"http://[127.0.0.1]/a", "is not an IPv6 address"},
        {"http://[fe80::1%25eth0]/a", "is not an IPv6 address"},
    };
    for (const Case& c : cases) {
        TIEHttpAddress a;
        std::string error;
        EXPECT_FALSE(detail::IEParseHttpAddress(c.url, a, error)) << c.url;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.url << ": " << error;
    }
}

TEST(HttpAddress, RedirectsResolveAgainstTheAddressTheyCameFrom)
{
    TIEHttpAddress from;
    std::string error;
    ASSERT_TRUE(detail::IEParseHttpAddress("http://origin:81/dir/page.bmp?x=1", from, error));
    struct Case {
        const char* location;
        const char* host;
        int port;
        const char* path;
    } cases[] = {
        {"http://other:82/z.bmp", "other", 82, "/z.bmp"},
        {"HTTP://other/z", "other", 80, "/z"},
        {"//third/q", "third", 80, "/q"},
        {"/root.bmp", "origin", 81, "/root.bmp"},
        {"sibling.bmp?t=2", "origin", 81, "/dir/sibling.bmp?t=2"},
        {"?t=3", "origin", 81, "/dir/page.bmp?t=3"},
        {"/a#f", "origin", 81, "/a"},
    };
    for (const Case& c : cases) {
        TIEHttpAddress to;
        ASSERT_TRUE(detail::IEResolveHttpRedirect(from, c.location, to, error))
            << c.location << ": " << error;
        EXPECT_EQ(to.Host, c.host) << c.location;
        EXPECT_EQ(to.Port, c.port) << c.location;
        EXPECT_EQ(to.Path, c.path) << c.location;
    }
    for (const char* bad :
         {"", "https://secure/x", "file:///etc/passwd", "javascript:x", "/a b", "http://u:p@host/x"}) {
        TIEHttpAddress to;
        EXPECT_FALSE(detail::IEResolveHttpRedirect(from, bad, to, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(HttpAddress, ProxiesAreHostAndPort)
{
    TIEHttpAddress p;
    std::string error;
    ASSERT_TRUE(detail::IEParseHttpProxy("127.0.0.1:3128", p, error)) << error;
    EXPECT_EQ(p.Host, "127.0.0.1");
    EXPECT_EQ(p.Port, 3128);
    ASSERT_TRUE(detail::IEParseHttpProxy("http://proxy/", p, error)) << error;
    EXPECT_EQ(p.Host, "proxy");
    EXPECT_EQ(p.Port, 80);
    ASSERT_TRUE(detail::IEParseHttpProxy("[::1]:8888", p, error)) << error;
    EXPECT_EQ(p.Address, "::1");
    for (const char* bad :
         {"", "http=proxy:80;https=proxy:81", "proxy:80/path", "user:pw@proxy:80", "pro xy"})
        EXPECT_FALSE(detail::IEParseHttpProxy(bad, p, error)) << bad;
}

// A server's Content-Length never overflows the reading of it: a length past every limit stays
// past it, whatever the limit.
TEST(HttpAddress, ContentLengthsAreReadWithoutOverflow)
{
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
    struct Case {
        const char* text;
        std::int64_t length;
    } cases[] = {
        {"0", 0},
        {"1234", 1234},
        {"00042", 42},
        {"9223372036854775807", kLargest},
        {"9223372036854775808", kLargest},
        {"18446744073709551621", kLargest},  // 2^64 + 5: wrapping would make it 5
        {"99999999999999999999999999", kLargest},
        {"", -1},
        {"-5", -1},
        {"12 ", -1},
        {"0x10", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(detail::IEParseHttpContentLength(c.text), c.length) << '"' << c.text << '"';
}

// A component refuses a bad address before any connection: the abort flag, the reason, one finish
// event, and the image it had.
TEST(HttpAddress, TheComponentRefusesBadAddressesCleanly)
{
    TIEBitmap image;
    image.Allocate(3, 2, ie24RGB);
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&image);
    int finished = 0;
    io.OnFinishWork = [&](rtl::TObject*) { ++finished; };
    struct Case {
        const char* url;
        const char* proxy;
        const char* why;
    } cases[] = {
        {"http://user:pw@127.0.0.1/a.bmp", "", "user names and passwords"},
        {"http://127.0.0.1:70000/a.bmp", "", "port 70000"},
        {"http://127.0.0.1/a.bmp", "proxy:80/path", "the proxy"},
        {"http://127.0.0.1/a\nb.bmp", "", "control character"},
    };
    for (const Case& c : cases) {
        finished = 0;
        io.HttpProxy = c.proxy;
        io.LoadFromFile(c.url);
        EXPECT_TRUE(io.AbortFlag) << c.url;
        EXPECT_NE(io.LastHttpError().find(c.why), std::string::npos) << c.url << ": " << io.LastHttpError();
        EXPECT_EQ(finished, 1) << c.url;
        EXPECT_EQ(image.GetWidth(), 3) << c.url;
    }
}

}  // namespace
