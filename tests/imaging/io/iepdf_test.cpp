// PDF object model and writer: each object's text, a document's numbering, cross-reference table
// and trailer checked byte by byte, the image data each compression leaves, the Info strings, and
// the I/O component's single and multi-page saves. Readers judge the files in iepdf_peer_test.cpp.
#include "imaging/io/iepdf.h"

#include "imaging/io/detail/iepsfilters.h"
#include "imaging/io/jpegfilt.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/Strings.h"
#include "tests/imaging/io/image_test_util.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace imaging;
using imaging::test::Progress;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Text(TIEPDFObject& o)
{
    rtl::TMemoryStream m;
    const std::string before = "xx";
    m.WriteBuffer(before.data(), 2);
    o.WriteTo(m);
    EXPECT_EQ(o.Offset, 2);
    return std::string(m.Bytes().begin() + 2, m.Bytes().end());
}

// ---- objects ----

TEST(PDFObjects, EachKindWritesItsText)
{
    TIEPDFRefObject ref(12);
    EXPECT_EQ(Text(ref), "12 0 R");
    TIEPDFBooleanObject yes(true), no(false);
    EXPECT_EQ(Text(yes), "true");
    EXPECT_EQ(Text(no), "false");
    TIEPDFNameObject name("lm0"), blank("A B"), odd("a/b(c)#\x80");
    EXPECT_EQ(Text(name), "/lm0");
    EXPECT_EQ(Text(blank), "/A#20B");
    EXPECT_EQ(Text(odd), "/a#2Fb#28c#29#23#80");
    TIEPDFArrayObject array;
    array.Add(std::make_unique<TIEPDFNumericObject>(0)).Add(std::make_unique<TIEPDFNumericObject>(595));
    EXPECT_EQ(Text(array), "[0 595 ]");
    TIEPDFDictionaryObject dict;
    dict.Set("Type", std::make_unique<TIEPDFNameObject>("Page"));
    dict.Set("Count", std::make_unique<TIEPDFNumericObject>(1));
    dict.Set("Type", std::make_unique<TIEPDFNameObject>("Pages"));
    EXPECT_EQ(Text(dict), "<< /Type /Pages\n/Count 1\n>>");
    EXPECT_EQ(dict.Get("Missing"), nullptr);
    TIEPDFStreamObject stream;
    stream.Data = {'a', 'b', 'c'};
    stream.Dictionary.Set("Filter", std::make_unique<TIEPDFNameObject>("X"));
    EXPECT_EQ(Text(stream), "<< /Length 3\n/Filter /X\n>>\nstream\nabc\nendstream");
}

TEST(PDFObjects, NumbersArePlainDecimalsWhateverTheSeparator)
{
    rtl::SetDecimalSeparator(',');
    for (const auto& [value, text] : {std::pair{595.0, "595"},
                                      {0.5, "0.5"},
                                      {-12.25, "-12.25"},
                                      {1e-9, "0"},
                                      {1e21, "1000000000000000"},
                                      {123456789.0, "123456789"}}) {
        TIEPDFNumericObject n(value);
        EXPECT_EQ(Text(n), text) << value;
    }
    rtl::SetDecimalSeparator('.');
}

TEST(PDFObjects, StringsEscapeTheirSpecialBytesOrGoToUTF16)
{
    struct Case {
        std::string value, text;
    };
    const Case cases[] = {
        {"Plain", "(Plain)"}, {"a(b)c\\d", "(a\\(b\\)c\\\\d)"},      {"\r\n\t\b\f", "(\\r\\n\\t\\b\\f)"},
        {"", "()"},           {"Caf\xE9", "<FEFF00430061006600E9>"}, {"\x80(", "<FEFF20AC0028>"},
    };
    for (const Case& c : cases) {
        TIEPDFStringObject s(c.value);
        EXPECT_EQ(Text(s), c.text);
    }
}

// ---- documents ----

std::string Document(TIEBitmap& b, TIOParamsVals& p)
{
    rtl::TMemoryStream m;
    Progress progress;
    WritePDFStream(m, &b, p, progress.record);
    EXPECT_FALSE(progress.abort);
    return std::string(m.Bytes().begin(), m.Bytes().end());
}

// The text between "n 0 obj\n" and "\nendobj\n".
std::string Object(const std::string& doc, int n)
{
    const std::string head = "\n" + std::to_string(n) + " 0 obj\n";
    const std::size_t at = doc.find(head);
    if (at == std::string::npos)
        return "";
    const std::size_t start = at + head.size();
    return doc.substr(start, doc.find("\nendobj\n", start) - start);
}

TEST(PDFDocument, OnePageHasItsSevenObjectsInOrderWithATableThatFindsThem)
{
    TIEBitmap b;
    test::Photo(b, 100, 50);
    TIOParamsVals p(nullptr);
    const std::string doc = Document(b, p);
    ASSERT_GT(doc.size(), 20u);
    EXPECT_EQ(doc.substr(0, 15), "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");
    EXPECT_EQ(Object(doc, 1), "<< /Type /Catalog\n/Pages 6 0 R\n>>");
    EXPECT_EQ(Object(doc, 2), "<< /ProcSet [/PDF /ImageB ]\n/XObject << /lm0 3 0 R\n>>\n>>");
    EXPECT_TRUE(
        Object(doc, 3).starts_with("<< /Length 15000\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"
                                   "/Type /XObject\n/Subtype /Image\n/Width 100\n/Height 50\n>>\nstream\n"));
    EXPECT_EQ(Object(doc, 4), "<< /Length 32\n>>\nstream\nq\n595 0 0 297 0 545 cm\n/lm0 Do\nQ\nendstream");
    EXPECT_EQ(Object(doc, 5),
              "<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 595 842 ]\n/Contents 4 0 R\n"
              "/Parent 6 0 R\n>>");
    EXPECT_EQ(Object(doc, 6), "<< /Type /Pages\n/Kids [5 0 R ]\n/Count 1\n>>");
    EXPECT_TRUE(std::regex_match(Object(doc, 7), std::regex("<< /CreationDate \\(D:[0-9]{14}\\)\n>>")))
        << Object(doc, 7);
    EXPECT_EQ(Object(doc, 8), "");

    const std::size_t xref = doc.rfind("\nxref\n") + 1;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(doc, m,
                                  std::regex("trailer\n<< /Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\n"
                                             "startxref\n([0-9]+)\n%%EOF\n$")));
    EXPECT_EQ(std::stoul(m[1]), xref);
    const std::string table = doc.substr(xref, doc.find("trailer\n") - xref);
    ASSERT_EQ(table.size(), 5 + 4 + 8 * 20u) << "eight entries of 20 bytes";
    EXPECT_EQ(table.substr(0, 29), "xref\n0 8\n0000000000 65535 f \n");
    for (int n = 1; n <= 7; ++n) {
        const std::string entry = table.substr(9 + std::size_t(n) * 20, 20);
        EXPECT_TRUE(entry.ends_with(" 00000 n \n")) << entry;
        const std::size_t offset = std::stoul(entry.substr(0, 10));
        EXPECT_EQ(doc.substr(offset, std::to_string(n).size() + 6), std::to_string(n) + " 0 obj") << n;
    }
}

TEST(PDFDocument, InfoHoldsTheStringsGivenAndAlwaysTheDate)
{
    TIEBitmap b;
    test::Photo(b, 4, 4);
    TIOParamsVals p(nullptr);
    p.PDFTitle = "T (1)";
    p.PDFSubject = "S";
    p.PDFProducer = "Caf\xE9";
    const std::string info = Object(Document(b, p), 7);
    EXPECT_TRUE(std::regex_match(
        info, std::regex("<< /Title \\(T \\\\\\(1\\\\\\)\\)\n/Subject \\(S\\)\n"
                         "/Producer <FEFF00430061006600E9>\n/CreationDate \\(D:[0-9]{14}\\)\n>>")))
        << info;
}

TEST(PDFDocument, EachCompressionLeavesTheDataItsFilterUndoes)
{
    TIEBitmap bw, colour;
    test::Bilevel(bw, 21, 9);
    test::Photo(colour, 5, 3);
    Bytes rows;
    for (int y = 0; y < 9; ++y)
        rows.insert(rows.end(), bw.ScanLine(y), bw.ScanLine(y) + 3);
    Bytes rgb;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const TRGB c = colour.GetPixelRGB(x, y);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    Bytes rle;
    detail::IERunLengthEncode(rows.data(), rows.size(), rle);
    const std::string fax =
        "\n/Columns 21\n/Rows 9\n/EndOfLine false\n/Uncompressed true\n/EncodedByteAlign false\n"
        "/EndOfBlock false\n>>\n/ColorSpace /DeviceGray\n";
    struct Case {
        const char* what;
        TIEBitmap* bitmap;
        int compression;
        std::string dict;  // after Length
        const Bytes* data;
    };
    const Case cases[] = {
        {"bilevel, none", &bw, 0, "/ColorSpace /DeviceGray\n/BitsPerComponent 1\n", &rows},
        {"bilevel, run length", &bw, 1, "/Filter [/RunLengthDecode ]\n/ColorSpace /DeviceGray\n", &rle},
        {"bilevel, Group 4", &bw, 2, "/Filter /CCITTFaxDecode\n/DecodeParms << /K -1" + fax, nullptr},
        {"bilevel, Group 3: K covers every row", &bw, 3,
         "/Filter /CCITTFaxDecode\n/DecodeParms << /K 9" + fax, nullptr},
        {"bilevel, DCT asked", &bw, 4, "/Filter [/RunLengthDecode ]\n/ColorSpace /DeviceGray\n", &rle},
        {"bilevel, unknown", &bw, 7, "/ColorSpace /DeviceGray\n/BitsPerComponent 1\n", &rows},
        {"colour, none", &colour, 0, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n", &rgb},
        {"colour, fax asked", &colour, 2, "/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n", &rgb},
    };
    for (const Case& c : cases) {
        TIOParamsVals p(nullptr);
        p.PDFCompression = std::uint8_t(c.compression);
        const std::string image = Object(Document(*c.bitmap, p), 3);
        const std::size_t dict = image.find('\n') + 1;
        EXPECT_EQ(image.substr(dict, c.dict.size()), c.dict) << c.what;
        EXPECT_EQ(image.find("BlackIs1"), std::string::npos)
            << c.what << ": the fax rows are coded black on white";
        const std::size_t start = image.find(">>\nstream\n") + 10;
        const std::string data = image.substr(start, image.size() - start - 10);
        std::smatch length;
        ASSERT_TRUE(std::regex_search(image, length, std::regex("^<< /Length ([0-9]+)\n"))) << c.what;
        EXPECT_EQ(std::stoul(length[1]), data.size()) << c.what;
        if (c.data) {
            EXPECT_EQ(Bytes(data.begin(), data.end()), *c.data) << c.what;
        }
    }
}

TEST(PDFDocument, DCTImagesAreThreeComponentJPEGsWhateverColourSpaceWasAsked)
{
    TIEBitmap colour;
    test::Photo(colour, 30, 20);
    for (int space : {0, 1, 2, 4}) {
        TIOParamsVals p(nullptr);
        p.PDFCompression = 4;
        p.JPEGColorSpace = space;
        const std::string image = Object(Document(colour, p), 3);
        EXPECT_NE(image.find("\n/Filter /DCTDecode\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n"),
                  std::string::npos)
            << image.substr(0, 200);
        const std::size_t start = image.find(">>\nstream\n") + 10;
        const Bytes jpeg(image.begin() + std::ptrdiff_t(start), image.end() - 10);
        rtl::TReadOnlyMemoryStream m(jpeg.data(), std::int64_t(jpeg.size()));
        TIEBitmap back;
        TIOParamsVals q(nullptr);
        Progress progress;
        DecodeJpegStream(m, nullptr, &back, false, false, progress.record, q);
        ASSERT_FALSE(progress.abort) << space;
        EXPECT_EQ(q.JPEGColorSpace, 2) << "YCbCr, asked " << space;
        EXPECT_EQ(back.GetHeight(), 20);
    }
}

TEST(PDFDocument, PagesShareTheResourcesAndCountInOrder)
{
    std::unique_ptr<TIEPDFDocument> doc = PDFBeginDocument();
    TIOParamsVals p(nullptr);
    Progress progress;
    for (int w : {10, 20, 30}) {
        TIEBitmap b;
        test::Photo(b, w, 10);
        PDFAddPage(doc.get(), &b, p, progress.record);
    }
    PDFAddPage(doc.get(), nullptr, p, progress.record);
    EXPECT_TRUE(progress.abort) << "no bitmap, no page";
    rtl::TMemoryStream m;
    ASSERT_TRUE(PDFEndDocument(std::move(doc), m, p));
    const std::string text(m.Bytes().begin(), m.Bytes().end());
    EXPECT_EQ(Object(text, 2),
              "<< /ProcSet [/PDF /ImageB ]\n/XObject << /lm0 3 0 R\n/lm1 6 0 R\n/lm2 9 0 R\n>>\n>>");
    EXPECT_EQ(Object(text, 12), "<< /Type /Pages\n/Kids [5 0 R 8 0 R 11 0 R ]\n/Count 3\n>>");
    EXPECT_NE(Object(text, 10).find("/lm2 Do"), std::string::npos);
    EXPECT_NE(text.find("trailer\n<< /Size 14\n"), std::string::npos);
    EXPECT_TRUE(PDFEndDocument(nullptr, m, p));
}

TEST(PDFDocument, AShortWriteFailsTheDocument)
{
    test::FullStream full(300);
    TIEBitmap b;
    test::Photo(b, 20, 20);
    TIOParamsVals p(nullptr);
    Progress progress;
    WritePDFStream(full, &b, p, progress.record);
    EXPECT_TRUE(progress.abort);
}

// ---- the I/O component ----

std::string FileText(const std::string& file)
{
    rtl::TMemoryStream m;
    m.LoadFromFile(file);
    return std::string(m.Bytes().begin(), m.Bytes().end());
}

TEST(PDFComponent, RepeatedSavesMakeOneDocumentThatReplacesTheTargetOnlyWhenClosed)
{
    const std::string file = rtl::TempFolder() + "va_pdf_multi.pdf";
    {
        rtl::TFileStream old(file, rtl::fmCreate);
        old.WriteBuffer("old", 3);
    }
    TVodirAdIO io(nullptr);
    io.Params().PDFTitle = "Pages";
    io.CreatePDFFile(file);
    ASSERT_FALSE(io.AbortFlag);
    for (int w : {8, 16, 24}) {
        test::Photo(*io.IEBitmap(), w, 8);
        io.SaveToPDF();
        EXPECT_FALSE(io.AbortFlag);
    }
    EXPECT_EQ(FileText(file), "old") << "the target is untouched until the document is closed";
    io.ClosePDFFile();
    EXPECT_FALSE(io.AbortFlag);
    const std::string doc = FileText(file);
    EXPECT_TRUE(doc.starts_with("%PDF-1.4\n"));
    EXPECT_NE(doc.find("/Count 3\n"), std::string::npos);
    EXPECT_NE(doc.find("/Title (Pages)"), std::string::npos);
    io.SaveToPDF();
    EXPECT_TRUE(io.AbortFlag) << "no document open";
    rtl::RemoveFile(file);
}

TEST(PDFComponent, DestroyingTheComponentClosesItsDocuments)
{
    const std::string pdf = rtl::TempFolder() + "va_pdf_destroyed.pdf";
    const std::string ps = rtl::TempFolder() + "va_ps_destroyed.ps";
    {
        TVodirAdIO io(nullptr);
        test::Bilevel(*io.IEBitmap(), 30, 20);
        io.CreatePDFFile(pdf);
        io.CreatePSFile(ps);
        io.SaveToPDF();
        io.SaveToPS();
        io.SaveToPS();
    }
    EXPECT_TRUE(FileText(pdf).ends_with("%%EOF\n"));
    const std::string text = FileText(ps);
    EXPECT_NE(text.find("%%Pages: 2     \r\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("%%Trailer\r\nend\r\n%%EOF\r\n"));
    rtl::RemoveFile(pdf);
    rtl::RemoveFile(ps);
}

TEST(PDFComponent, PlainSavesByExtensionAndType)
{
    TVodirAdIO io(nullptr);
    test::Photo(*io.IEBitmap(), 8, 8);
    test::ExpectSavedFile(io, "va_pdf_io.pdf", ioPDF, "%PDF-1.4\n");
    test::ExpectSavedStream(io, ioPDF, "%PDF-1.4\n");
}

}  // namespace
