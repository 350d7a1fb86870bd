// Acceptance rules of the file search.
#include "app/FindFileMatch.h"

#include "app/kzFiles.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace app {

bool AttributesAcceptable(std::uint32_t entryAttr, std::uint32_t wanted, bool exactMatch)
{
    const std::uint32_t attr = entryAttr & kSearchAttrMask;
    if (exactMatch)
        return attr == (wanted & kSearchAttrMask);
    return (attr & ~wanted) == 0;
}

bool SizeAcceptable(std::int64_t size, std::uint32_t minSize, std::uint32_t maxSize)
{
    // The whole size counts: cutting it to 32 bits would let a 4 GiB + 10 byte file pass a
    // 1 MiB maximum.
    if (minSize != 0 && size < static_cast<std::int64_t>(minSize))
        return false;
    if (maxSize != 0 && size > static_cast<std::int64_t>(maxSize))
        return false;
    return true;
}

namespace {

enum class BoundKind { none, dateOnly, timeOnly, full };

BoundKind KindOf(TDateTime bound)
{
    if (bound == 0)
        return BoundKind::none;
    double whole = 0;
    const double fraction = std::modf(bound, &whole);
    if (fraction == 0)
        return BoundKind::dateOnly;
    if (whole == 0)
        return BoundKind::timeOnly;
    return BoundKind::full;
}

double DatePart(TDateTime value) { return std::trunc(value); }

double TimePart(TDateTime value) { return std::fabs(value - std::trunc(value)); }

}  // namespace

bool BeforeAcceptable(TDateTime fileTime, TDateTime bound)
{
    switch (KindOf(bound)) {
    case BoundKind::none: return true;
    case BoundKind::dateOnly: return DatePart(fileTime) <= bound;
    case BoundKind::timeOnly: return TimePart(fileTime) <= bound;
    case BoundKind::full: return fileTime <= bound;
    }
    return true;
}

bool AfterAcceptable(TDateTime fileTime, TDateTime bound)
{
    switch (KindOf(bound)) {
    case BoundKind::none: return true;
    case BoundKind::dateOnly: return DatePart(fileTime) >= bound;
    case BoundKind::timeOnly: return TimePart(fileTime) >= bound;
    case BoundKind::full: return fileTime >= bound;
    }
    return true;
}

namespace {

unsigned char Lower(unsigned char c) { return CharTables().lower[c]; }

}  // namespace

bool WildcardMatch(const std::string& text, const std::string& pattern)
{
    // Iterative matcher with one backtrack point: linear in practice, never recursive, so a
    // hostile mask such as "*a*a*a*a*b" cannot blow the stack.
    std::size_t t = 0, p = 0;
    std::size_t starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || Lower(static_cast<unsigned char>(pattern[p])) ==
                                             Lower(static_cast<unsigned char>(text[t])))) {
            ++p;
            ++t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    // The text is used up: what is left of the pattern may hold only wildcards. A "?" here
    // matches nothing, which keeps "znt?" accepting "znt".
    for (; p < pattern.size(); ++p)
        if (pattern[p] != '*' && pattern[p] != '?')
            return false;
    return true;
}

namespace {

void SplitExtension(const std::string& name, std::string& base, std::string& ext)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        base = name;
        ext.clear();
    } else {
        base = name.substr(0, dot);
        ext = name.substr(dot);
    }
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && EqualNoCase(text.substr(text.size() - tail.size()), tail);
}

}  // namespace

bool FileNameMatches(const std::string& fileName, const std::string& mask)
{
    std::string nameBase, nameExt, maskBase, maskExt;
    SplitExtension(fileName, nameBase, nameExt);
    SplitExtension(mask, maskBase, maskExt);
    if (maskExt.empty())
        return WildcardMatch(nameBase, maskBase);
    if (nameExt.empty())
        nameExt.assign(1, '.');
    return WildcardMatch(nameExt, maskExt) && WildcardMatch(nameBase, maskBase);
}

std::string ExtractFileDrive(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // "\\server\share": up to the backslash after the share name.
        const auto server = path.find('\\', 2);
        if (server == std::string::npos)
            return path;
        const auto share = path.find('\\', server + 1);
        return share == std::string::npos ? path : path.substr(0, share);
    }
    return {};
}

bool PathMaskMatches(const std::string& folder, const std::string& fileName, const std::string& mask)
{
    std::string maskPath = ExtractFilePath(mask);
    const std::string maskName = ExtractFileName(mask, true);
    if (!maskPath.empty()) {
        const std::string maskDrive = ExtractFileDrive(maskPath);
        const std::string folderDrive = ExtractFileDrive(folder);
        if (!maskDrive.empty()) {
            if (folderDrive.empty())
                return false;
            if (maskDrive.compare(0, 2, "\\\\") == 0) {
                if (!WildcardMatch(folderDrive, maskDrive))
                    return false;
            } else if (maskDrive[0] != '*' && maskDrive[0] != '?') {
                if (Lower(static_cast<unsigned char>(maskDrive[0])) !=
                    Lower(static_cast<unsigned char>(folderDrive[0])))
                    return false;
            }
            maskPath = maskPath.substr(maskDrive.size());
        }
        if (!maskPath.empty()) {
            const std::string folderRest = folder.substr(folderDrive.size());
            if (!EndsWithNoCase(folderRest, maskPath))
                return false;
        }
    }
    if (!maskName.empty())
        return FileNameMatches(fileName, maskName);
    return true;
}

const TCharTables& CharTables()
{
    static const TCharTables tables = [] {
        TCharTables t;
        std::array<bool, 256> alnum{};
        for (int i = 0; i < 256; ++i)
            t.identity[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        rtl::BuildSystemCharTables(t.lower, alnum);
        for (std::size_t i = 0; i < 256; ++i)
            t.delimiter[i] = !alnum[i];
        return t;
    }();
    return tables;
}

void InitializeFindFileMatch() { CharTables(); }

TContentMatcher::TContentMatcher(const std::string& phrase, bool ignoreCase, bool wholeWord)
    : form_(phrase), table_(ignoreCase ? &CharTables().lower : &CharTables().identity), wholeWord_(wholeWord)
{
    for (char& c : form_)
        c = static_cast<char>((*table_)[static_cast<unsigned char>(c)]);
}

bool TContentMatcher::Search(rtl::TStream& stream) const
{
    const std::int64_t phraseLength = static_cast<std::int64_t>(form_.size());
    if (phraseLength == 0)
        return true;
    std::int64_t remaining = 0;
    try {
        remaining = stream.Size() - stream.Position();
    } catch (const rtl::Exception&) {
        return false;
    }
    if (remaining < phraseLength)
        return false;

    // The buffer always holds a pending candidate plus at least one fresh byte.
    std::int64_t capacity = phraseLength > kBufferSize ? phraseLength + 1 : kBufferSize;
    if (remaining < capacity)
        capacity = remaining;
    if (capacity > 0x7FFFFFF0)
        return false;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity));
    const auto& table = *table_;
    const auto& delimiter = CharTables().delimiter;
    const auto* form = reinterpret_cast<const std::uint8_t*>(form_.data());
    const std::size_t n = form_.size();

    std::size_t length = 0;           // valid bytes in the buffer
    bool previousIsDelimiter = true;  // byte before buffer[0]; the file start counts as one
    for (;;) {
        const std::size_t wanted = buffer.size() - length;
        std::int32_t got = 0;
        try {
            got = stream.Read(buffer.data() + length, static_cast<std::int32_t>(wanted));
        } catch (const rtl::Exception&) {
            return false;
        }
        if (got < 0)
            return false;
        length += static_cast<std::size_t>(got);
        // A full buffer with nothing decided only happens when the buffer is the whole file.
        const bool atEnd = wanted == 0 || static_cast<std::size_t>(got) < wanted;

        std::size_t keepFrom = length;  // first undecided position
        for (std::size_t i = 0; i < length; ++i) {
            if (table[buffer[i]] != form[0])
                continue;
            if (wholeWord_ && !(i == 0 ? previousIsDelimiter : delimiter[buffer[i - 1]]))
                continue;
            if (i + n > length) {
                if (atEnd)
                    break;
                keepFrom = i;
                break;
            }
            std::size_t k = 1;
            while (k < n && table[buffer[i + k]] == form[k])
                ++k;
            if (k < n)
                continue;
            if (!wholeWord_)
                return true;
            if (i + n < length) {
                if (delimiter[buffer[i + n]])
                    return true;
                continue;
            }
            if (atEnd)
                return true;  // the phrase ends the file
            keepFrom = i;
            break;
        }
        if (atEnd)
            return false;
        // Move the undecided tail to the front and refill behind it.
        previousIsDelimiter = keepFrom == 0 ? previousIsDelimiter : delimiter[buffer[keepFrom - 1]];
        const std::size_t kept = length - keepFrom;
        if (kept > 0 && keepFrom > 0)
            std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(keepFrom),
                      buffer.begin() + static_cast<std::ptrdiff_t>(length), buffer.begin());
        length = kept;
    }
}

bool TContentMatcher::SearchFile(const std::string& fileName) const
{
    std::unique_ptr<rtl::TFileStream> file;
    try {
        file = std::make_unique<rtl::TFileStream>(fileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
    } catch (const rtl::Exception&) {
        return false;
    }
    return Search(*file);
}

}  // namespace app
