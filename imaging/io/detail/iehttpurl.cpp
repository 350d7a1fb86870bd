// Splitting web addresses for the HTTP loader.
#include "imaging/io/detail/iehttpurl.h"

#include <cctype>
#include <limits>

namespace imaging::detail {

namespace {

constexpr const char kScheme[] = "http://";
constexpr std::size_t kSchemeLength = sizeof kScheme - 1;

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// A request line or Host header must never carry a space, a line break or another control byte.
bool HasControlOrSpace(const std::string& text)
{
    for (unsigned char c : text)
        if (c <= 0x20 || c == 0x7F)
            return true;
    return false;
}

bool IsHostChar(unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; }

bool IsIPv6Char(unsigned char c) { return std::isxdigit(c) || c == ':' || c == '.'; }

// "-5" and "70000" are numbers, and out of range; "abc" is no number at all.
bool ParsePort(const std::string& text, int& port, std::string& error)
{
    port = 80;
    if (text.empty())
        return true;
    std::size_t at = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (at == text.size())
        return true;
    for (std::size_t i = at; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return true;
    long long value = 0;
    for (std::size_t i = at; i < text.size() && value <= 65535; ++i)
        value = value * 10 + (text[i] - '0');
    if (text[0] == '-' || value < 1 || value > 65535) {
        error = "port " + text + " is outside 1 to 65535";
        return false;
    }
    port = int(value);
    return true;
}

bool ParseAuthority(const std::string& authority, TIEHttpAddress& out, std::string& error)
{
    if (authority.find('@') != std::string::npos) {
        error = "user names and passwords in addresses (\"user:password@host\") are not supported";
        return false;
    }
    std::string portText;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) {
            error = "the IPv6 address \"" + authority + "\" has no closing \"]\"";
            return false;
        }
        const std::string inner = authority.substr(1, close - 1);
        bool valid = inner.find(':') != std::string::npos;
        for (unsigned char c : inner)
            valid = valid && IsIPv6Char(c);
        if (!valid) {
            error = "\"" + authority.substr(0, close + 1) + "\" is not an IPv6 address";
            return false;
        }
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') {
            error = "unexpected \"" + rest + "\" after the IPv6 address";
            return false;
        }
        out.Host = "[" + inner + "]";
        out.Address = inner;
        if (!rest.empty())
            portText = rest.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        const std::string host = authority.substr(0, colon);
        for (unsigned char c : host)
            if (!IsHostChar(c)) {
                error = "the host \"" + host + "\" holds characters no host name has";
                return false;
            }
        out.Host = out.Address = host;
        if (colon != std::string::npos)
            portText = authority.substr(colon + 1);
    }
    if (out.Address.empty()) {
        error = "the address has no host";
        return false;
    }
    return ParsePort(portText, out.Port, error);
}

std::string WithoutFragment(const std::string& path) { return path.substr(0, path.find('#')); }

}  // namespace

std::string TIEHttpAddress::Describe() const { return Host + ":" + std::to_string(Port) + Path; }

bool IEParseHttpAddress(const std::string& Url, TIEHttpAddress& Out, std::string& Error)
{
    Out = TIEHttpAddress{};
    if (!StartsWithNoCase(Url, kScheme)) {
        const std::size_t colon = Url.find("://");
        Error = colon == std::string::npos
                    ? "\"" + Url + "\" is not an http:// address"
                    : Url.substr(0, colon) + ":// addresses are not supported, only http://";
        return false;
    }
    if (HasControlOrSpace(Url)) {
        Error = "the address holds a space or a control character";
        return false;
    }
    const std::string rest = Url.substr(kSchemeLength);
    const std::size_t end = rest.find_first_of("/?#");
    if (!ParseAuthority(rest.substr(0, end), Out, Error))
        return false;
    std::string path = end == std::string::npos ? std::string() : rest.substr(end);
    path = WithoutFragment(path);
    if (path.empty() || path[0] != '/')
        path = "/" + path;  // "http://host" and "http://host?q" ask for the root
    Out.Path = path;
    return true;
}

bool IEResolveHttpRedirect(const TIEHttpAddress& From, const std::string& Location, TIEHttpAddress& Out,
                           std::string& Error)
{
    if (Location.empty()) {
        Error = "the redirect names no address";
        return false;
    }
    if (StartsWithNoCase(Location, kScheme))
        return IEParseHttpAddress(Location, Out, Error);
    if (Location.compare(0, 2, "//") == 0)
        return IEParseHttpAddress("http:" + Location, Out, Error);
    // A scheme is letters, digits, "+", "-" or "." before a colon, ahead of any "/", "?" or "#".
    const std::size_t colon = Location.find(':');
    if (colon != std::string::npos && colon < Location.find_first_of("/?#")) {
        bool scheme = colon > 0 && std::isalpha(static_cast<unsigned char>(Location[0]));
        for (std::size_t i = 0; i < colon; ++i) {
            const unsigned char c = static_cast<unsigned char>(Location[i]);
            scheme = scheme && (std::isalnum(c) || c == '+' || c == '-' || c == '.');
        }
        if (scheme) {
            Error = "the redirect to \"" + Location + "\" is not followed: only http:// addresses load";
            return false;
        }
    }
    if (HasControlOrSpace(Location)) {
        Error = "the redirect's address holds a space or a control character";
        return false;
    }
    Out = From;
    const std::string base = From.Path.substr(0, From.Path.find('?'));
    if (Location[0] == '/')
        Out.Path = Location;
    else if (Location[0] == '?')
        Out.Path = base + Location;
    else
        Out.Path = base.substr(0, base.rfind('/') + 1) + Location;
    Out.Path = WithoutFragment(Out.Path);
    if (Out.Path.empty())
        Out.Path = base;
    return true;
}

bool IEParseHttpProxy(const std::string& Proxy, TIEHttpAddress& Out, std::string& Error)
{
    Out = TIEHttpAddress{};
    std::string authority = StartsWithNoCase(Proxy, kScheme) ? Proxy.substr(kSchemeLength) : Proxy;
    if (!authority.empty() && authority.back() == '/')
        authority.pop_back();
    if (HasControlOrSpace(authority) || authority.find_first_of("/?#=;") != std::string::npos) {
        Error = "the proxy \"" + Proxy + "\" is not of the form host:port";
        return false;
    }
    if (!ParseAuthority(authority, Out, Error)) {
        Error = "the proxy: " + Error;
        return false;
    }
    return true;
}

std::int64_t IEParseHttpContentLength(const std::string& Text)
{
    if (Text.empty() || Text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (char c : Text) {
        const int digit = c - '0';
        if (value > (kLargest - digit) / 10)
            return kLargest;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace imaging::detail
