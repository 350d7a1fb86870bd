// Web addresses as the I/O component loads them: "http://host[:port][/path]" split into what the
// HTTP library connects to and requests, redirect targets resolved against the address they came
// from, and proxy settings of the form "host[:port]"; and the body length an answer gives. Portable,
// so the sanitizers see the parsing of what servers send back.
#pragma once

#include <cstdint>
#include <string>

namespace imaging::detail {

struct TIEHttpAddress {
    // As handed to the HTTP library; an IPv6 literal keeps its brackets ("[::1]"), so the request's
    // Host header carries them too.
    std::string Host;
    // As handed to the resolver: the IPv6 literal without its brackets.
    std::string Address;
    int Port = 80;
    // From the first "/" on, with the query and without the fragment; "/" when the address has no
    // path.
    std::string Path;

    // "host:port/path" for messages.
    std::string Describe() const;
};

// Parses an address starting with "http://" (any case). On failure returns false and says why in
// Error, in lower case: a missing host, user names and passwords ("user:pw@host" is refused rather
// than read as the host "user"), other schemes, control characters or spaces, a malformed IPv6
// literal, a numeric port outside 1..65535. A port that is not a number at all means port 80.
bool IEParseHttpAddress(const std::string& Url, TIEHttpAddress& Out, std::string& Error);

// The address a redirect's Location names: absolute ("http://..."), without a scheme ("//host/x"),
// from the root ("/x") or relative to the folder of From's path ("x"). Other schemes are refused.
bool IEResolveHttpRedirect(const TIEHttpAddress& From, const std::string& Location, TIEHttpAddress& Out,
                           std::string& Error);

// A proxy given as "host[:port]", optionally with "http://" before it and a "/" after; port 80
// when none is given.
bool IEParseHttpProxy(const std::string& Proxy, TIEHttpAddress& Out, std::string& Error);

// A Content-Length header's value: -1 when it is empty or holds anything but digits (the length
// is then unknown), the largest int64 when the number passes it.
std::int64_t IEParseHttpContentLength(const std::string& Text);

}  // namespace imaging::detail
