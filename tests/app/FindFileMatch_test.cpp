// Acceptance rules of the file search: masks, attributes, size, time bounds and content.
#include "app/FindFileMatch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace app {
namespace {

TEST(FindFileNameRule, MaskWithExtensionNeedsBothParts)
{
    EXPECT_TRUE(FileNameMatches("zntpanel.exe", "znt*.exe"));
    EXPECT_TRUE(FileNameMatches("ZNT.EXE", "znt*.exe"));
    EXPECT_FALSE(FileNameMatches("zntpanel.exe.bak", "znt*.exe"));
    EXPECT_FALSE(FileNameMatches("xznt.exe", "znt*.exe"));
    EXPECT_FALSE(FileNameMatches("znt", "znt*.exe"));
}

TEST(FindFileNameRule, MaskWithoutExtensionComparesBaseNamesOnly)
{
    EXPECT_TRUE(FileNameMatches("zntpanel.exe", "znt*"));
    EXPECT_TRUE(FileNameMatches("zntdoc.txt", "znt*"));
    EXPECT_FALSE(FileNameMatches("doc.znt", "znt*"));
}

TEST(FindFileNameRule, NameWithoutExtensionCountsAsDot)
{
    EXPECT_TRUE(FileNameMatches("README", "*.*"));
    EXPECT_TRUE(FileNameMatches("README", "*."));
    EXPECT_FALSE(FileNameMatches("README", "*.txt"));
}

TEST(FindFileWildcard, StarAndQuestionMarkIgnoreCase)
{
    EXPECT_TRUE(WildcardMatch("ABC", "a?c"));
    EXPECT_TRUE(WildcardMatch("", "*"));
    EXPECT_TRUE(WildcardMatch("", "?"));  // the rest of the pattern may hold "?" only
    EXPECT_FALSE(WildcardMatch("", "a"));
    EXPECT_FALSE(WildcardMatch("abc", "ab"));
    EXPECT_FALSE(WildcardMatch("ab", "abc"));
}

TEST(FindFileWildcard, StarInTheMiddleStillChecksWhatFollows)
{
    EXPECT_TRUE(WildcardMatch("zntpanel", "z*l"));
    EXPECT_FALSE(WildcardMatch("zntpanex", "z*l"));
    EXPECT_TRUE(WildcardMatch("aXbXc", "*b*c"));
    EXPECT_FALSE(WildcardMatch("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "*a*a*a*a*a*a*a*b"));
}

TEST(FindFilePathMask, FolderPartMustEndTheFolder)
{
    EXPECT_TRUE(PathMaskMatches("C:\\Data\\Temp\\", "x.tmp", "C:\\Data\\Temp\\"));
    EXPECT_TRUE(PathMaskMatches("C:\\Data\\Temp\\", "x.tmp", "c:\\data\\TEMP\\*.tmp"));
    EXPECT_FALSE(PathMaskMatches("C:\\Data\\Temp\\", "x.txt", "C:\\Data\\Temp\\*.tmp"));
    EXPECT_FALSE(PathMaskMatches("D:\\Data\\Temp\\", "x.tmp", "C:\\Data\\Temp\\*.tmp"));
    EXPECT_TRUE(PathMaskMatches("D:\\Data\\Temp\\", "x.tmp", "*:\\Temp\\*.tmp"));
    EXPECT_TRUE(PathMaskMatches("D:\\Data\\Temp\\", "x.tmp", "?:\\Temp\\"));
    EXPECT_FALSE(PathMaskMatches("D:\\Temp\\Sub\\", "x.tmp", "*:\\Temp\\"));
    EXPECT_FALSE(PathMaskMatches("D:\\p\\", "x.tmp", "*:\\Temp\\"));
}

TEST(FindFilePathMask, MaskWithoutDriveFitsAnyDrive)
{
    EXPECT_TRUE(PathMaskMatches("E:\\RECYCLER\\", "znt.exe", "\\RECYCLER\\"));
    EXPECT_FALSE(PathMaskMatches("E:\\Data\\", "znt.exe", "\\RECYCLER\\"));
}

TEST(FindFilePathMask, NameOnlyMaskTestsTheNameAlone)
{
    EXPECT_TRUE(PathMaskMatches("C:\\Any\\", "a.bak", "*.bak"));
    EXPECT_FALSE(PathMaskMatches("C:\\Any\\", "a.bat", "*.bak"));
}

TEST(FindFilePathMask, UncDriveMatchesByWildcard)
{
    EXPECT_TRUE(PathMaskMatches("\\\\srv\\share\\dir\\", "a.txt", "\\\\SRV\\*\\dir\\"));
    EXPECT_FALSE(PathMaskMatches("\\\\other\\share\\dir\\", "a.txt", "\\\\srv\\*\\dir\\"));
    EXPECT_FALSE(PathMaskMatches("dir\\", "a.txt", "C:\\dir\\"));  // no folder drive never matches
}

TEST(FindFilePathMask, ExtractsDrivesOfBothForms)
{
    EXPECT_EQ(ExtractFileDrive("C:\\x"), "C:");
    EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\x"), "\\\\srv\\share");
    EXPECT_EQ(ExtractFileDrive("\\\\srv"), "\\\\srv");
    EXPECT_EQ(ExtractFileDrive("\\x"), "");
}

TEST(FindFileAttributes, SubsetUnlessExactMatch)
{
    const std::uint32_t wanted = faArchive | faReadOnly;
    EXPECT_TRUE(AttributesAcceptable(0, wanted, false));  // a plain file always passes
    EXPECT_TRUE(AttributesAcceptable(faArchive, wanted, false));
    EXPECT_TRUE(AttributesAcceptable(faArchive | faReadOnly, wanted, false));
    EXPECT_FALSE(AttributesAcceptable(faArchive | faHidden, wanted, false));
    EXPECT_FALSE(AttributesAcceptable(faDirectory, wanted, false));
    // Bits outside the compared mask (normal 0x80, compressed 0x800) never count.
    EXPECT_TRUE(AttributesAcceptable(0x80 | 0x800 | faArchive, wanted, false));
}

TEST(FindFileAttributes, ExactMatchRejectsArchiveReadOnlyForArchiveOnly)
{
    EXPECT_FALSE(AttributesAcceptable(faArchive | faReadOnly, faArchive, true));
    EXPECT_TRUE(AttributesAcceptable(faArchive | 0x80, faArchive, true));
    EXPECT_FALSE(AttributesAcceptable(0, faArchive, true));
}

TEST(FindFileSize, BoundsAreInclusiveAndZeroIsNone)
{
    EXPECT_TRUE(SizeAcceptable(0, 0, 0));
    EXPECT_FALSE(SizeAcceptable(9, 10, 0));
    EXPECT_TRUE(SizeAcceptable(10, 10, 20));
    EXPECT_TRUE(SizeAcceptable(20, 10, 20));
    EXPECT_FALSE(SizeAcceptable(21, 10, 20));
}

TEST(FindFileSize, FilesBeyondFourGibibytesAreNotCutTo32Bits)
{
    EXPECT_FALSE(SizeAcceptable(0x100000000LL + 10, 0, 1 << 20));
    EXPECT_TRUE(SizeAcceptable(0x100000000LL + 10, 1 << 20, 0));
}

TEST(FindFileTimes, DateOnlyTimeOnlyAndFullBounds)
{
    const TDateTime file = 45000.75;  // a day at 18:00
    EXPECT_TRUE(BeforeAcceptable(file, 0));
    EXPECT_TRUE(BeforeAcceptable(file, 45000));  // date part 45000 <= 45000
    EXPECT_FALSE(BeforeAcceptable(file, 44999));
    EXPECT_TRUE(AfterAcceptable(file, 45000));
    EXPECT_FALSE(AfterAcceptable(file, 45001));
    EXPECT_FALSE(BeforeAcceptable(file, 0.5));  // 18:00 is after noon
    EXPECT_TRUE(AfterAcceptable(file, 0.5));
    EXPECT_TRUE(BeforeAcceptable(file, 45000.8));
    EXPECT_FALSE(BeforeAcceptable(file, 45000.7));
    EXPECT_TRUE(AfterAcceptable(file, 45000.7));
}

std::string PhraseAt(std::size_t size, std::size_t offset, const std::string& phrase, char fill = ' ')
{
    std::string data(size, fill);
    data.replace(offset, phrase.size(), phrase);
    return data;
}

bool Found(const std::string& data, const std::string& phrase, bool ignoreCase, bool wholeWord)
{
    rtl::TStringStream stream(data);
    stream.SetPosition(0);
    return TContentMatcher(phrase, ignoreCase, wholeWord).Search(stream);
}

TEST(FindFileContent, FindsPhraseStraddlingEveryBufferBoundary)
{
    const std::string phrase = "needle";
    const std::size_t b = TContentMatcher::kBufferSize;
    for (std::size_t boundary : {b, 2 * b}) {
        for (std::size_t back = 0; back <= phrase.size(); ++back) {
            const auto data = PhraseAt(3 * b + 17, boundary - back, phrase);
            EXPECT_TRUE(Found(data, phrase, false, false)) << "boundary " << boundary << " back " << back;
            EXPECT_TRUE(Found(data, phrase, false, true)) << "boundary " << boundary << " back " << back;
        }
    }
}

TEST(FindFileContent, WholeWordNeedsDelimitersOnBothSides)
{
    EXPECT_FALSE(Found("xabc", "abc", true, true));
    EXPECT_TRUE(Found("xabc", "abc", true, false));
    EXPECT_TRUE(Found("x abc", "abc", true, true));  // phrase at the very end of the file
    EXPECT_TRUE(Found("abc", "abc", true, true));
    EXPECT_FALSE(Found("abcd", "abc", true, true));
    EXPECT_TRUE(Found("abcd abc.", "abc", true, true));
    EXPECT_TRUE(Found("xabc abc", "abc", true, true));  // a rejected candidate does not hide a later one
}

TEST(FindFileContent, WholeWordDelimiterChecksSurviveTheRefill)
{
    const std::size_t b = TContentMatcher::kBufferSize;
    // Word ends exactly at the buffer end; the byte after it comes with the next chunk.
    std::string data = PhraseAt(2 * b, b - 3, "abc");
    data[b] = 'x';
    EXPECT_FALSE(Found(data, "abc", false, true));
    data[b] = ' ';
    EXPECT_TRUE(Found(data, "abc", false, true));
    // The byte before the word is the last byte of the previous chunk.
    std::string glued = PhraseAt(2 * b, b, "abc");
    glued[b - 1] = 'q';
    EXPECT_FALSE(Found(glued, "abc", false, true));
    glued[b - 1] = '-';
    EXPECT_TRUE(Found(glued, "abc", false, true));
}

TEST(FindFileContent, CaseRuleFollowsIgnoreCase)
{
    EXPECT_TRUE(Found("..HeLLo..", "hello", true, false));
    EXPECT_TRUE(Found("..HeLLo..", "HELLO", true, false));
    EXPECT_FALSE(Found("..HeLLo..", "hello", false, false));
    EXPECT_TRUE(Found("..HeLLo..", "HeLLo", false, false));
}

TEST(FindFileContent, FileShorterThanPhraseNeverMatchesAndEmptyPhraseAlwaysDoes)
{
    EXPECT_FALSE(Found("abc", "abcd", true, false));
    EXPECT_FALSE(Found("", "a", true, false));
    EXPECT_TRUE(Found("", "", true, false));
}

TEST(FindFileContent, PhraseLongerThanTheBufferIsFoundAcrossRefills)
{
    std::mt19937 rng(7);
    std::string phrase(TContentMatcher::kBufferSize + 500, 'a');
    for (char& c : phrase)
        c = static_cast<char>('a' + rng() % 26);
    const auto data = PhraseAt(3 * TContentMatcher::kBufferSize, 1234, phrase, '#');
    EXPECT_TRUE(Found(data, phrase, false, true));
    std::string broken = data;
    broken[1234 + phrase.size() - 1] = '#';
    EXPECT_FALSE(Found(broken, phrase, false, false));
}

TEST(FindFileContent, AgreesWithPlainSearchOnRandomData)
{
    std::mt19937 rng(11);
    const auto isWordByte = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    for (int round = 0; round < 40; ++round) {
        const std::size_t size = rng() % (3 * TContentMatcher::kBufferSize);
        std::string data(size, ' ');
        for (char& c : data)
            c = "ab -"[rng() % 4];
        const std::string phrase = round % 2 ? "abab" : "ba";
        bool plain = false, whole = false;
        for (std::size_t pos = data.find(phrase); pos != std::string::npos;
             pos = data.find(phrase, pos + 1)) {
            plain = true;
            const bool left = pos == 0 || !isWordByte(data[pos - 1]);
            const bool right = pos + phrase.size() == data.size() || !isWordByte(data[pos + phrase.size()]);
            whole = whole || (left && right);
        }
        EXPECT_EQ(Found(data, phrase, false, false), plain) << "round " << round;
        EXPECT_EQ(Found(data, phrase, false, true), whole) << "round " << round;
    }
}

TEST(FindFileContent, UnopenableFileDoesNotMatch)
{
    EXPECT_FALSE(TContentMatcher("x", true, false).SearchFile("no such folder/no such file"));
}

}  // namespace
}  // namespace app
