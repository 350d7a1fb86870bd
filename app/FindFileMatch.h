// Acceptance rules of the file search: name and path masks, attributes, size, time stamps
// and the content phrase. Portable; the search component applies them to each found entry.
#pragma once

#include "platform/rtl/Streams.h"

#include <array>
#include <cstdint>
#include <string>

namespace app {

// One directory entry as the search sees it.
struct TSearchRec {
    std::string Name;
    std::uint32_t Attr = 0;
    std::int64_t Size = 0;
    // 100 ns ticks since 1601-01-01 UTC, as the file system keeps them.
    std::uint64_t CreationTime = 0;
    std::uint64_t LastAccessTime = 0;
    std::uint64_t LastWriteTime = 0;
};

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

// Attribute bits of directory entries.
inline constexpr std::uint32_t faReadOnly = 0x01;
inline constexpr std::uint32_t faHidden = 0x02;
inline constexpr std::uint32_t faSysFile = 0x04;
inline constexpr std::uint32_t faDirectory = 0x10;
inline constexpr std::uint32_t faArchive = 0x20;
// The bits the search enumerates with and compares.
inline constexpr std::uint32_t kSearchAttrMask = 0x37;

// Read-only, hidden and system files are reported only when the wanted mask lets them through;
// with `exactMatch` the entry's bits (within kSearchAttrMask) must equal the wanted mask.
bool AttributesAcceptable(std::uint32_t entryAttr, std::uint32_t wanted, bool exactMatch);

// Low 32 bits of the size against the bounds; 0 is no bound.
bool SizeAcceptable(std::int64_t size, std::uint32_t minSize, std::uint32_t maxSize);

// One time bound: 0 is none; a whole number compares the date only, a value below one day the
// time of day only, anything else the full value.
bool BeforeAcceptable(TDateTime fileTime, TDateTime bound);
bool AfterAcceptable(TDateTime fileTime, TDateTime bound);

// Case-insensitive wildcard match: "*" any run (also empty), "?" any one character.
bool WildcardMatch(const std::string& text, const std::string& pattern);

// File-name mask rule: names and masks are split at their last "." into base and extension.
// A mask without extension compares base names only ("znt*" accepts "zntdoc.txt"); otherwise
// a name without extension counts as "." and both parts must match.
bool FileNameMatches(const std::string& fileName, const std::string& mask);

// Path mask of the exclusion list against a folder (ending in "\") and a file name. The
// mask's folder part must end the folder (after the drives agree: "\\server\share" by
// wildcard, "*:" or "?:" any drive, else the same letter; a mask without drive fits any
// drive); its name part, when present, must fit the file name.
bool PathMaskMatches(const std::string& folder, const std::string& fileName, const std::string& mask);

// The drive part of a path: "C:" for "C:\x", "\\server\share" for a UNC path, else empty.
std::string ExtractFileDrive(const std::string& path);

// Byte tables of the content search, built once per process: by the unit's start-up, before any
// search thread can ask for them, or else by the first call.
struct TCharTables {
    std::array<std::uint8_t, 256> identity{};
    std::array<std::uint8_t, 256> lower{};
    std::array<bool, 256> delimiter{};  // every byte the system does not class as alphanumeric
};
const TCharTables& CharTables();
void InitializeFindFileMatch();

// Content phrase in its search form.
class TContentMatcher {
public:
    static constexpr std::int32_t kBufferSize = 61440;

    TContentMatcher(const std::string& phrase, bool ignoreCase, bool wholeWord);

    bool Empty() const { return form_.empty(); }
    // Scans the stream from its current position to its end. A stream shorter than the
    // phrase never matches; read errors count as no match.
    bool Search(rtl::TStream& stream) const;
    // Opens the file shared with everyone; a file that cannot be opened or read does not match.
    bool SearchFile(const std::string& fileName) const;

private:
    std::string form_;
    const std::array<std::uint8_t, 256>* table_;  // not owned: one of CharTables()
    bool wholeWord_;
};

}  // namespace app
