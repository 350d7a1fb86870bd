// Fuzz target: the search's name and path masks, the file-name helpers and the content scan on
// arbitrary text; nothing may crash, hang or read out of bounds, and the content scan must agree
// with a plain search.
#include "app/FindFileMatch.h"
#include "app/kzFiles.h"

#include "platform/rtl/Streams.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Input: mask NUL text NUL phrase NUL flags-byte content.
    const std::string all(reinterpret_cast<const char*>(data), size);
    std::size_t a = all.find('\0');
    if (a == std::string::npos)
        return 0;
    std::size_t b = all.find('\0', a + 1);
    if (b == std::string::npos)
        return 0;
    std::size_t c = all.find('\0', b + 1);
    if (c == std::string::npos || c + 1 >= all.size())
        return 0;
    const std::string mask = all.substr(0, a);
    const std::string text = all.substr(a + 1, b - a - 1);
    const std::string phrase = all.substr(b + 1, std::min<std::size_t>(c - b - 1, 64));
    const std::uint8_t flags = static_cast<std::uint8_t>(all[c + 1]);
    const std::string content = all.substr(c + 2);

    app::WildcardMatch(text, mask);
    app::FileNameMatches(text, mask);
    app::PathMaskMatches(app::ExtractFilePath(text), app::ExtractFileName(text, true), mask);
    app::ExtractFileDrive(text);
    app::ExtractFileName(text, false);
    app::ExtractFileExt(text);
    app::RemoveFileExt(text);
    app::AddBackSlash(text);

    const bool ignoreCase = flags & 1;
    const bool wholeWord = flags & 2;
    rtl::TStringStream stream(content);
    stream.SetPosition(0);
    const bool found = app::TContentMatcher(phrase, ignoreCase, wholeWord).Search(stream);
    if (!ignoreCase && !wholeWord && !phrase.empty() && found != (content.find(phrase) != std::string::npos))
        std::abort();
    return 0;
}
