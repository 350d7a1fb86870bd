// Fuzz target: web addresses, the redirect targets servers send back and proxy settings, as the
// HTTP loader splits them. Nothing may crash, and whatever is accepted must be safe to hand to the
// HTTP library: a host, a port in range, and a path starting with "/" without spaces or control
// bytes (which would let an address add lines to the request).
#include "imaging/io/detail/iehttpurl.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(const imaging::detail::TIEHttpAddress& a, bool withPath)
{
    bool ok = !a.Host.empty() && !a.Address.empty() && a.Port >= 1 && a.Port <= 65535;
    ok = ok && (a.Host == a.Address || a.Host == "[" + a.Address + "]");
    ok = ok && (!withPath || (!a.Path.empty() && a.Path[0] == '/'));
    for (const std::string* s : {&a.Host, &a.Path})
        for (unsigned char c : *s)
            ok = ok && c > 0x20 && c != 0x7F && c != '#';
    ok = ok && a.Host.find('@') == std::string::npos;
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Input: address NUL redirect NUL proxy.
    const std::string all(reinterpret_cast<const char*>(data), size);
    const std::size_t a = all.find('\0');
    const std::size_t b = a == std::string::npos ? a : all.find('\0', a + 1);
    const std::string url = all.substr(0, a);
    const std::string location = a == std::string::npos ? std::string() : all.substr(a + 1, b - a - 1);
    const std::string proxy = b == std::string::npos ? std::string() : all.substr(b + 1);

    imaging::detail::TIEHttpAddress address, next, via;
    std::string error;
    if (imaging::detail::IEParseHttpAddress(url, address, error)) {
        Check(address, true);
        if (imaging::detail::IEResolveHttpRedirect(address, location, next, error))
            Check(next, true);
    } else if (error.empty()) {
        std::abort();  // every refusal says why
    }
    if (imaging::detail::IEParseHttpProxy(proxy, via, error))
        Check(via, false);
    // The last part read as a server's Content-Length too: no overflow, no length below -1.
    if (imaging::detail::IEParseHttpContentLength(proxy) < -1)
        std::abort();
    return 0;
}
