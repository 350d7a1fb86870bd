// PostScript writer and the codings it shares with the PDF writer: the document's structure line by
// line, the fallbacks for compressions a page cannot take, the title and date, and the codings
// against decoders written here from the filters' definitions. Ghostscript judges the rendered
// pages in bmpfiltps_peer_test.cpp.
#include "imaging/io/bmpfiltps.h"

#include "imaging/io/detail/iepsfilters.h"
#include "imaging/io/jpegfilt.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Strings.h"
#include "tests/imaging/io/image_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace imaging;
using imaging::test::Progress;

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- decoders written from the filters' definitions ----

Bytes RunLengthDecode(const Bytes& in, std::size_t* used = nullptr)
{
    Bytes out;
    std::size_t i = 0;
    while (i < in.size()) {
        const int n = in[i++];
        if (n == 128)
            break;
        if (n < 128) {
            out.insert(out.end(), in.begin() + std::ptrdiff_t(i), in.begin() + std::ptrdiff_t(i + n + 1));
            i += std::size_t(n) + 1;
        } else {
            out.insert(out.end(), std::size_t(257 - n), in[i++]);
        }
    }
    if (used)
        *used = i;
    return out;
}

Bytes ASCII85Decode(const std::string& in)
{
    Bytes out;
    std::uint32_t group[5];
    int n = 0;
    auto flush = [&](int count) {
        std::uint64_t v = 0;
        for (int k = 0; k < 5; ++k)
            v = v * 85 + (k < count ? group[k] : 84);
        for (int k = 0; k < count - 1; ++k)
            out.push_back(std::uint8_t(v >> (24 - 8 * k)));
    };
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '~')
            break;
        if (c == 'z' && n == 0) {
            out.insert(out.end(), 4, 0);
            continue;
        }
        if (c < '!' || c > 'u')
            continue;
        group[n++] = std::uint32_t(c - '!');
        if (n == 5) {
            flush(5);
            n = 0;
        }
    }
    if (n > 1)
        flush(n);
    return out;
}

// ---- the codings ----

TEST(PSFilters, RunLengthCodesRunsAndStretchesWithinTheirLimits)
{
    struct Case {
        const char* what;
        Bytes data;
        std::size_t maxCoded;
    };
    Bytes mixed;
    for (int i = 0; i < 1000; ++i)
        mixed.push_back(std::uint8_t(i % 7 == 0 ? 5 : (i * 37) % 11));
    const Case cases[] = {
        {"empty", {}, 1},
        {"one byte", {9}, 3},
        {"a run of 128", Bytes(128, 7), 3},
        {"a run of 129", Bytes(129, 7), 5},
        {"a run of 1000", Bytes(1000, 0), 17},
        {"no two alike, 300 bytes",
         [] {
             Bytes b;
             for (int i = 0; i < 300; ++i)
                 b.push_back(std::uint8_t(i));
             return b;
         }(),
         304},
        {"mixed", mixed, 1100},
    };
    for (const Case& c : cases) {
        Bytes coded;
        detail::IERunLengthEncode(c.data.data(), c.data.size(), coded);
        ASSERT_FALSE(coded.empty()) << c.what;
        EXPECT_EQ(coded.back(), 128) << c.what;
        std::size_t used = 0;
        EXPECT_EQ(RunLengthDecode(coded, &used), c.data) << c.what;
        EXPECT_EQ(used, coded.size()) << c.what << ": the end-of-data byte is the last";
        EXPECT_LE(coded.size(), c.maxCoded) << c.what;
    }
}

TEST(PSFilters, ASCII85GroupsZerosLastGroupAndLines)
{
    struct Case {
        Bytes data;
        std::string text;
    };
    const Case cases[] = {
        {{'M', 'a', 'n', ' '}, "9jqo^~>\r\n"},
        {{0, 0, 0, 0}, "z~>\r\n"},
        {{0, 0, 0}, "!!!!~>\r\n"},
        {{'.'}, "/c~>\r\n"},
        {{}, "~>\r\n"},
    };
    for (const Case& c : cases) {
        std::string text;
        detail::IEASCII85Encode(c.data.data(), c.data.size(), text);
        EXPECT_EQ(text, c.text);
    }
    Bytes big;
    for (int i = 0; i < 1001; ++i)
        big.push_back(std::uint8_t(i * 131 + (i >> 3)));
    std::string text;
    detail::IEASCII85Encode(big.data(), big.size(), text);
    EXPECT_EQ(ASCII85Decode(text), big);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        EXPECT_LE(line.size(), 80u) << "75 characters and at most one more group";
    }
}

TEST(PSFilters, NumbersAreNeverInExponentFormNorLocal)
{
    rtl::SetDecimalSeparator(',');
    struct Case {
        double value;
        const char* text;
    };
    for (const Case c : {Case{595, "595"},
                         {0, "0"},
                         {-0.0, "0"},
                         {0.5, "0.5"},
                         {1e-7, "0"},
                         {-2.25, "-2.25"},
                         {1234567.125, "1234567.125"},
                         {1e20, "1000000000000000"},
                         {0.1, "0.1"},
                         {1.0 / 3, "0.333333"}}) {
        EXPECT_EQ(detail::IENumberText(c.value), c.text) << c.value;
    }
    rtl::SetDecimalSeparator('.');
}

TEST(PSFilters, FitKeepsTheAspectAndFillsOneSideExactly)
{
    struct Case {
        int pw, ph, w, h, fw, fh;
    };
    for (const Case c : {Case{595, 842, 100, 50, 595, 297},
                         {595, 842, 50, 100, 421, 842},
                         {595, 842, 595, 842, 595, 842},
                         {80, 60, 40, 30, 80, 60},
                         {10, 10, 1, 100000, 1, 10},
                         {0, 0, 5, 5, 1, 1}}) {
        const detail::TIEPageFit f = detail::IEFitToPage(c.pw, c.ph, c.w, c.h);
        EXPECT_EQ(f.Width, c.fw) << c.w << "x" << c.h;
        EXPECT_EQ(f.Height, c.fh) << c.w << "x" << c.h;
    }
}

// ---- documents ----

std::string Document(TIEBitmap& b, TIOParamsVals& p, bool encapsulated = false)
{
    rtl::TMemoryStream m;
    Progress progress;
    WritePSStream(m, &b, p, progress.record, encapsulated);
    EXPECT_FALSE(progress.abort);
    return std::string(m.Bytes().begin(), m.Bytes().end());
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(PSDocument, HeaderAndTrailerLineByLine)
{
    TIEBitmap b;
    test::Photo(b, 100, 50);
    TIOParamsVals p(nullptr);
    const std::vector<std::string> lines = Lines(Document(b, p));
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[0], "%!PS-Adobe-3.0");
    EXPECT_EQ(lines[1], "%%Creator: VodirAd by ViZuduradure");
    EXPECT_EQ(lines[2], "%%Title: No Title");
    EXPECT_TRUE(
        std::regex_match(lines[3], std::regex("%%CreationDate: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                                              "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                              "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] [0-9]{4}")))
        << lines[3];
    const std::vector<std::string> rest = {"%%DocumentData: Clean7Bit",
                                           "%%LanguageLevel: 2",
                                           "%%Pages: 1     ",
                                           "%%BoundingBox: 0 0 595 842",
                                           "%%EndComments",
                                           "%%BeginProlog",
                                           "10 dict begin",
                                           "%%EndProlog",
                                           "%%Page: 1 1",
                                           "0 842 translate",
                                           "595 -297 scale",
                                           "100 50 8",
                                           "[ 100 0 0 50 0 0 ]"};
    for (std::size_t i = 0; i < rest.size(); ++i)
        EXPECT_EQ(lines[4 + i], rest[i]);
    const std::vector<std::string> end(lines.end() - 5, lines.end());
    EXPECT_EQ(end, (std::vector<std::string>{"%%EndData", "showpage", "%%Trailer", "end", "%%EOF"}));
}

TEST(PSDocument, ThreePagesCountedInPlaceAndWrittenInOrder)
{
    rtl::TMemoryStream m;
    TIOParamsVals p(nullptr);
    Progress progress;
    std::unique_ptr<TIEPSDocument> doc = PSBeginDocument(m, p);
    for (int w : {10, 20, 30}) {
        TIEBitmap b;
        test::Photo(b, w, 8);
        PSAddPage(doc.get(), m, &b, progress.record, p);
    }
    EXPECT_TRUE(PSEndDocument(std::move(doc), m));
    EXPECT_FALSE(progress.abort);
    const std::string text(m.Bytes().begin(), m.Bytes().end());
    EXPECT_NE(text.find("\r\n%%Pages: 3     \r\n"), std::string::npos);
    std::size_t at = 0;
    for (const char* page : {"%%Page: 1 1\r\n0 842 translate\r\n595 -476 scale\r\n10 8 8",
                             "%%Page: 2 2\r\n0 842 translate\r\n595 -238 scale\r\n20 8 8",
                             "%%Page: 3 3\r\n0 842 translate\r\n595 -158 scale\r\n30 8 8"}) {
        at = text.find(page, at);
        EXPECT_NE(at, std::string::npos) << page;
    }
    EXPECT_TRUE(text.ends_with("showpage\r\n%%Trailer\r\nend\r\n%%EOF\r\n"));
    EXPECT_TRUE(PSEndDocument(nullptr, m)) << "no document, nothing to end";
    TIEBitmap b;
    test::Photo(b, 4, 4);
    PSAddPage(nullptr, m, &b, progress.record, p);
    EXPECT_TRUE(progress.abort) << "a page without a document";
}

// The page's data: what follows the operator line up to %%EndData, and the count announced.
std::string PageData(const std::string& doc, const std::string& op, std::size_t* announced)
{
    std::smatch m;
    EXPECT_TRUE(
        std::regex_search(doc, m, std::regex("%%BeginData:      ([0-9]+) ASCII Bytes\r\n" + op + "\r\n")));
    *announced = std::stoul(m[1]);
    const std::size_t start = std::size_t(m.position(0) + m.length(0));
    const std::size_t end = doc.find("%%EndData\r\n", start);
    return doc.substr(start, end - start);
}

TEST(PSDocument, GreyIsWrittenAsColourOfThreeEqualPlanes)
{
    TIEBitmap b;
    b.Allocate(9, 4, ie8g);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x)
            b.ScanLine(y)[x] = std::uint8_t(x * 25 + y);
    TIOParamsVals p(nullptr);
    const std::string doc = Document(b, p);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.SamplesPerPixel, 3);
    std::size_t announced = 0;
    const std::string data = PageData(doc, "colorimage", &announced);
    EXPECT_EQ(data.size(), announced);
    // Rows of red, green and blue blocks, each ended by "~>".
    std::size_t at = 0;
    for (int y = 0; y < 4; ++y)
        for (int plane = 0; plane < 3; ++plane) {
            const std::size_t end = data.find("~>", at);
            ASSERT_NE(end, std::string::npos);
            const Bytes row = RunLengthDecode(ASCII85Decode(data.substr(at, end - at)));
            ASSERT_EQ(row.size(), 9u);
            for (int x = 0; x < 9; ++x)
                EXPECT_EQ(row[std::size_t(x)], x * 25 + y) << x << "," << y << " plane " << plane;
            at = end + 4;
        }
    EXPECT_EQ(at, data.size());
}

TEST(PSDocument, EachPageGetsAFilterItsPixelsCanTake)
{
    TIEBitmap colour, bw;
    test::Photo(colour, 12, 7);
    test::Bilevel(bw, 12, 7);
    struct Case {
        const char* what;
        TIEBitmap* bitmap;
        int compression;
        std::string filter;
    };
    const std::string fax =
        " /Columns 12 /Rows 7 /EndOfLine false /Uncompressed true /EncodedByteAlign false "
        "/EndOfBlock false >> /CCITTFaxDecode filter\r\n";
    const Case cases[] = {
        {"bilevel, run length", &bw, 0,
         "currentfile /ASCII85Decode filter /RunLengthDecode filter\r\n%%BeginData"},
        {"bilevel, Group 4", &bw, 1, "currentfile /ASCII85Decode filter << /K -1" + fax},
        {"bilevel, Group 3: K covers every row", &bw, 2, "currentfile /ASCII85Decode filter << /K 7" + fax},
        {"bilevel, DCT asked", &bw, 3,
         "currentfile /ASCII85Decode filter /RunLengthDecode filter\r\n%%BeginData"},
        {"bilevel, unknown", &bw, 9,
         "currentfile /ASCII85Decode filter /RunLengthDecode filter\r\n%%BeginData"},
        {"colour, Group 4 asked", &colour, 1, "bstr readstring pop}\r\ntrue 3\r\n%%BeginData"},
        {"colour, Group 3 asked", &colour, 2, "bstr readstring pop}\r\ntrue 3\r\n%%BeginData"},
    };
    for (const Case& c : cases) {
        TIOParamsVals p(nullptr);
        p.PSCompression = std::uint8_t(c.compression);
        const std::string doc = Document(*c.bitmap, p);
        EXPECT_NE(doc.find(c.filter), std::string::npos) << c.what;
        EXPECT_EQ(doc.find("BlackIs1"), std::string::npos)
            << c.what << ": the fax rows are coded black on white";
        EXPECT_EQ(p.BitsPerSample, c.bitmap == &bw ? 1 : 8);
    }
}

TEST(PSDocument, BilevelRunLengthDataAreTheRowsAsTheyAre)
{
    TIEBitmap bw;
    test::Bilevel(bw, 21, 9);
    TIOParamsVals p(nullptr);
    p.PSCompression = 0;
    std::size_t announced = 0;
    const std::string data = PageData(Document(bw, p), "image", &announced);
    EXPECT_EQ(data.size(), announced);
    const Bytes rows = RunLengthDecode(ASCII85Decode(data));
    ASSERT_EQ(rows.size(), 3u * 9);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(rows[std::size_t(y * 3 + x)], bw.ScanLine(y)[x]);
}

TEST(PSDocument, DCTPagesAreThreeComponentJPEGsWhateverColourSpaceWasAsked)
{
    TIEBitmap colour;
    test::Photo(colour, 33, 17);
    for (int space : {0, 1, 2, 3}) {
        TIOParamsVals p(nullptr);
        p.PSCompression = 3;
        p.JPEGColorSpace = space;
        p.JPEGQuality = 95;
        const std::uint8_t comment[] = {'n', 'o', 't', 'e'};
        p.JPEGMarkerList.AddMarker(0xFE, comment, 4);
        const std::string doc = Document(colour, p);
        EXPECT_NE(
            doc.find("[ 33 0 0 17 0 0 ]\r\ncurrentfile /ASCII85Decode filter << >> /DCTDecode filter\r\n"
                     "false 3\r\n%%BeginData"),
            std::string::npos)
            << space;
        std::size_t announced = 0;
        const std::string data = PageData(doc, "colorimage", &announced);
        EXPECT_EQ(data.size(), announced);
        const Bytes jpeg = ASCII85Decode(data);
        EXPECT_EQ(std::search(jpeg.begin(), jpeg.end(), comment, comment + 4), jpeg.end())
            << "no image markers";
        rtl::TReadOnlyMemoryStream m(jpeg.data(), std::int64_t(jpeg.size()));
        TIEBitmap back;
        TIOParamsVals q(nullptr);
        Progress progress;
        DecodeJpegStream(m, nullptr, &back, false, false, progress.record, q);
        ASSERT_FALSE(progress.abort) << space;
        EXPECT_EQ(q.JPEGColorSpace, 2) << "YCbCr, asked " << space;
        EXPECT_EQ(back.GetWidth(), 33);
        const TRGB a = back.GetPixelRGB(20, 9), b = colour.GetPixelRGB(20, 9);
        EXPECT_NEAR(a.r, b.r, 12);
        EXPECT_NEAR(a.b, b.b, 12);
    }
}

TEST(PSDocument, TitlesStayOneLineOfSevenBitText)
{
    struct Case {
        std::string title;
        std::string line;
    };
    const Case cases[] = {
        {"Plain title", "%%Title: Plain title"},
        {"Two\r\nlines\nhere", "%%Title: Two  lines here"},
        {"Tab\there", "%%Title: Tab here"},
        {"Caf\xE9 (draft)", "%%Title: Caf\\351 (draft)"},
        {"back\\slash\x7F", "%%Title: back\\slash\\177"},
        {"", "%%Title: "},
    };
    for (const Case& c : cases) {
        TIEBitmap b;
        test::Photo(b, 2, 2);
        TIOParamsVals p(nullptr);
        p.PSTitle = c.title;
        const std::string doc = Document(b, p);
        EXPECT_EQ(Lines(doc)[2], c.line);
        for (unsigned char ch : doc.substr(0, doc.find("%%EndComments")))
            EXPECT_TRUE(ch >= 32 ? ch < 127 : ch == '\r' || ch == '\n') << c.line;
    }
}

TEST(PSDocument, EncapsulatedHeaderAndBoxOfThePage)
{
    TIEBitmap b;
    test::Photo(b, 30, 20);
    TIOParamsVals p(nullptr);
    p.PSPaperWidth = 60;
    p.PSPaperHeight = 40;
    const std::vector<std::string> lines = Lines(Document(b, p, true));
    EXPECT_EQ(lines[0], "%!PS-Adobe-3.0 EPSF-3.0");
    EXPECT_EQ(lines[7], "%%BoundingBox: 0 0 60 40");
}

TEST(PSDocument, AShortWriteAborts)
{
    test::FullStream full(700);
    TIEBitmap b;
    test::Photo(b, 50, 50);
    TIOParamsVals p(nullptr);
    Progress progress;
    WritePSStream(full, &b, p, progress.record);
    EXPECT_TRUE(progress.abort);
}

TEST(PSDocument, TheComponentWritesEncapsulatedFilesByTheirExtension)
{
    TVodirAdIO io(nullptr);
    test::Photo(*io.IEBitmap(), 8, 8);
    test::ExpectSavedFile(io, "va_ps_io.eps", ioPS, "%!PS-Adobe-3.0 EPSF-3.0\r\n");
    test::ExpectSavedFile(io, "va_ps_io.ps", ioPS, "%!PS-Adobe-3.0\r\n");
    test::ExpectSavedStream(io, ioPS, "%!PS-Adobe-3.0\r\n");
}

}  // namespace
