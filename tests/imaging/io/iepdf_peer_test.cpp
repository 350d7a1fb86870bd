// PDF files judged by independent readers: qpdf's check, MuPDF reading them without repair,
// poppler's pdfinfo, pdfimages (the image data exactly) and pdftoppm, and Ghostscript's and MuPDF's
// renderings, for every kind of page, for documents built by repeated saves and for their Info.
#include "imaging/io/iepdf.h"

#include "imaging/io/detail/iepsfilters.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Strings.h"
#include "tests/imaging/io/image_test_util.h"
#include "tests/imaging/io/peer_util.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

using namespace imaging;
using namespace imaging::test;

namespace {

std::string Cmd(const char* judge, const std::string& args) { return std::string(judge) + " " + args; }

// qpdf finds nothing to fault, MuPDF reads the file without repairing it, and pdfinfo counts the
// pages.
void CheckStructure(const TempDir& dir, const std::string& file, int pages)
{
    const peer::RunResult q = peer::Run(Cmd(VA_JUDGE_QPDF, "--check " + file));
    EXPECT_EQ(q.status, 0) << q.out << q.err;
    EXPECT_NE(q.out.find("No syntax or stream encoding errors found"), std::string::npos) << q.out;
    EXPECT_EQ(q.err, "");
    const peer::RunResult m = peer::Run(Cmd(VA_JUDGE_MUTOOL, "show " + file + " trailer"));
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.err, "") << "MuPDF had to repair the file";
    const peer::RunResult i = peer::Run(Cmd(VA_JUDGE_PDFINFO, file));
    EXPECT_EQ(i.status, 0) << i.err;
    EXPECT_NE(i.out.find("\nPages:           " + std::to_string(pages) + "\n"), std::string::npos) << i.out;
}

// Every rendering at 72 dpi of page Page (from 1), where the image is drawn Zoom times its size:
// Ghostscript's, MuPDF's without anti-aliasing (which smooths enlarged images), and pdftoppm's at
// four times that resolution (poppler smooths images drawn at less than four times their size).
void CheckRenderings(const TempDir& dir, const std::string& file, int page, TIEBitmap& b, int zoom,
                     const std::string& what)
{
    const std::string n = std::to_string(page), dpi = "72";
    const int scale = zoom;
    const peer::RunResult g = peer::Run(
        Cmd(VA_JUDGE_GS, "-dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=ppmraw -r" + dpi + " -dFirstPage=" + n +
                             " -dLastPage=" + n + " -sOutputFile=" + dir.File("gs.ppm") + " " + file));
    EXPECT_EQ(g.status, 0);
    EXPECT_EQ(g.err, "") << what;
    EXPECT_EQ(Wrong(ReadPnm(dir.File("gs.ppm")), b, scale), 0) << what << " in Ghostscript";
    const peer::RunResult m = peer::Run(
        Cmd(VA_JUDGE_MUTOOL, "draw -q -A 0 -r " + dpi + " -o " + dir.File("mu.ppm") + " " + file + " " + n));
    EXPECT_EQ(m.status, 0) << m.err;
    EXPECT_EQ(Wrong(ReadPnm(dir.File("mu.ppm")), b, scale), 0) << what << " in MuPDF";
    const peer::RunResult p = peer::Run(Cmd(
        VA_JUDGE_PDFTOPPM, "-r 288 -f " + n + " -l " + n + " -singlefile " + file + " " + dir.File("pp")));
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "") << what;
    EXPECT_EQ(Wrong(ReadPnm(dir.File("pp.ppm")), b, scale * 4), 0) << what << " in pdftoppm";
}

// pdfimages' list line of each image, and each image's pixels as it extracts them.
std::vector<std::string> ImageList(const TempDir& dir, const std::string& file)
{
    const peer::RunResult r = peer::Run(Cmd(VA_JUDGE_PDFIMAGES, "-list " + file));
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> rows;
    std::istringstream lines(r.out);
    std::string line;
    for (int i = 0; std::getline(lines, line); ++i)
        if (i >= 2)
            rows.push_back(line);
    return rows;
}

TPnm Extracted(const TempDir& dir, const std::string& file, int index)
{
    const peer::RunResult r = peer::Run(Cmd(VA_JUDGE_PDFIMAGES, "-png -f 1 " + file + " " + dir.File("img")));
    EXPECT_EQ(r.status, 0) << r.err;
    char name[32];
    std::snprintf(name, sizeof name, "img-%03d.png", index);
    EXPECT_EQ(Convert(dir.File(name) + " -depth 8 ppm:" + dir.File("img.ppm")), 0);
    return ReadPnm(dir.File("img.ppm"));
}

TEST(PDFPeers, EveryPageKindReadsExactlyInEveryReader)
{
    TempDir dir("pdf_peers");
    TIEBitmap colour, grey, bw;
    Photo(colour, 41, 29);
    grey.Assign(&colour);
    grey.SetPixelFormat(ie8g);
    Bilevel(bw, 45, 30);
    struct Case {
        const char* what;
        TIEBitmap* bitmap;
        int compression;
        const char* list;  // pdfimages' type, colour, components, bits and encoding
    };
    const Case cases[] = {
        {"colour", &colour, 0, "image      41    29  rgb     3   8  image"},
        {"colour, fax asked", &colour, 2, "image      41    29  rgb     3   8  image"},
        {"grey", &grey, 0, "image      41    29  rgb     3   8  image"},
        {"bilevel", &bw, 0, "image      45    30  gray    1   1  image"},
        {"bilevel, run length", &bw, 1, "image      45    30  gray    1   1  image"},
        {"bilevel, Group 4", &bw, 2, "image      45    30  gray    1   1  ccitt"},
        {"bilevel, Group 3", &bw, 3, "image      45    30  gray    1   1  ccitt"},
        {"bilevel, DCT asked", &bw, 4, "image      45    30  gray    1   1  image"},
    };
    for (const Case& c : cases) {
        TIOParamsVals p(nullptr);
        p.PDFCompression = std::uint8_t(c.compression);
        p.PDFPaperWidth = c.bitmap->GetWidth();
        p.PDFPaperHeight = c.bitmap->GetHeight();
        rtl::TMemoryStream m;
        Progress progress;
        WritePDFStream(m, c.bitmap, p, progress.record);
        ASSERT_FALSE(progress.abort);
        const std::string file = dir.File("page.pdf");
        m.SaveToFile(file);
        TIEBitmap shown;
        shown.Assign(c.bitmap);
        shown.SetPixelFormat(ie24RGB);
        CheckStructure(dir, file, 1);
        const std::vector<std::string> list = ImageList(dir, file);
        ASSERT_EQ(list.size(), 1u) << c.what;
        EXPECT_NE(list[0].find(c.list), std::string::npos) << c.what << ": " << list[0];
        EXPECT_EQ(Wrong(Extracted(dir, file, 0), shown, 1), 0) << c.what << " in pdfimages";
        CheckRenderings(dir, file, 1, shown, 1, c.what);
    }
}

TEST(PDFPeers, DCTImagesAreTheJpegEveryReaderDecodes)
{
    TempDir dir("pdf_peers");
    TIEBitmap photo;
    Photo(photo, 41, 29);
    TIOParamsVals p(nullptr);
    p.PDFCompression = 4;
    p.JPEGQuality = 90;
    p.PDFPaperWidth = 41;
    p.PDFPaperHeight = 29;
    rtl::TMemoryStream m;
    Progress progress;
    WritePDFStream(m, &photo, p, progress.record);
    ASSERT_FALSE(progress.abort);
    const std::string file = dir.File("dct.pdf");
    m.SaveToFile(file);
    CheckStructure(dir, file, 1);
    const std::vector<std::string> list = ImageList(dir, file);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_NE(list[0].find("image      41    29  rgb     3   8  jpeg"), std::string::npos) << list[0];
    // pdfimages hands back the JPEG as it is stored: it is the encoder's.
    std::vector<std::uint8_t> jpeg;
    ASSERT_TRUE(detail::IEEncodeDCTPage(photo, p, progress.record, jpeg));
    const peer::RunResult x = peer::Run(Cmd(VA_JUDGE_PDFIMAGES, "-j " + file + " " + dir.File("raw")));
    ASSERT_EQ(x.status, 0) << x.err;
    EXPECT_EQ(peer::ReadFile(dir.File("raw-000.jpg")), jpeg);
    const TPnm reference = Djpeg(dir, jpeg);
    EXPECT_GE(Psnr(reference, ToPnm(photo, 3)), 25) << "the page is the photograph";
    const peer::RunResult g = peer::Run(Cmd(
        VA_JUDGE_GS,
        "-dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=ppmraw -r72 -sOutputFile=" + dir.File("gs.ppm") + " " + file));
    EXPECT_EQ(g.err, "");
    EXPECT_EQ(Wrong(ReadPnm(dir.File("gs.ppm")), reference, 1, 2), 0) << "Ghostscript";
    const peer::RunResult u =
        peer::Run(Cmd(VA_JUDGE_MUTOOL, "draw -q -A 0 -r 72 -o " + dir.File("mu.ppm") + " " + file));
    EXPECT_EQ(u.status, 0);
    EXPECT_EQ(Wrong(ReadPnm(dir.File("mu.ppm")), reference, 1, 2), 0) << "MuPDF";
    const peer::RunResult t =
        peer::Run(Cmd(VA_JUDGE_PDFTOPPM, "-r 288 -singlefile " + file + " " + dir.File("pp")));
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(Wrong(ReadPnm(dir.File("pp.ppm")), reference, 4, 2), 0) << "pdftoppm";
}

TEST(PDFPeers, DocumentsBuiltByRepeatedSavesOpenInEveryReader)
{
    TempDir dir("pdf_peers");
    const std::string file = dir.File("pages.pdf");
    TVodirAdIO io(nullptr);
    io.Params().PDFPaperWidth = 60;
    io.Params().PDFPaperHeight = 40;
    TIEBitmap pages[4];
    Bilevel(pages[0], 60, 40);
    Photo(pages[1], 30, 20);
    Bilevel(pages[2], 30, 20);
    Photo(pages[3], 60, 40);
    const int compression[] = {2, 0, 3, 0};
    io.CreatePDFFile(file);
    ASSERT_FALSE(io.AbortFlag);
    for (int i = 0; i < 4; ++i) {
        io.IEBitmap()->Assign(&pages[i]);
        io.Params().PDFCompression = std::uint8_t(compression[i]);
        io.SaveToPDF();
        ASSERT_FALSE(io.AbortFlag) << i;
    }
    io.ClosePDFFile();
    ASSERT_FALSE(io.AbortFlag);
    CheckStructure(dir, file, 4);
    const std::vector<std::string> list = ImageList(dir, file);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_NE(list[0].find("ccitt"), std::string::npos);
    EXPECT_NE(list[2].find("ccitt"), std::string::npos);
    for (int i = 0; i < 4; ++i) {
        TIEBitmap shown;
        shown.Assign(&pages[i]);
        shown.SetPixelFormat(ie24RGB);
        CheckRenderings(dir, file, i + 1, shown, pages[i].GetWidth() == 60 ? 1 : 2,
                        "page " + std::to_string(i + 1));
    }
}

TEST(PDFPeers, InfoStringsReadAsTheyWereMeant)
{
    TempDir dir("pdf_peers");
    TIEBitmap b;
    Photo(b, 10, 10);
    TIOParamsVals p(nullptr);
    p.PDFTitle = "Caf\xE9 \x96 \x80 5";  // Windows-1252: e acute, en dash, euro
    p.PDFAuthor = "A (b) \\ c";
    p.PDFKeywords = "one\ttwo";
    rtl::SetDecimalSeparator(',');
    rtl::TMemoryStream m;
    Progress progress;
    WritePDFStream(m, &b, p, progress.record);
    rtl::SetDecimalSeparator('.');
    ASSERT_FALSE(progress.abort);
    const std::string file = dir.File("info.pdf");
    m.SaveToFile(file);
    CheckStructure(dir, file, 1);
    const peer::RunResult i = peer::Run(Cmd(VA_JUDGE_PDFINFO, "-enc UTF-8 " + file));
    EXPECT_NE(i.out.find("Title:           Caf\xC3\xA9 \xE2\x80\x93 \xE2\x82\xAC 5\n"), std::string::npos)
        << i.out;
    EXPECT_NE(i.out.find("Author:          A (b) \\ c\n"), std::string::npos) << i.out;
    EXPECT_NE(i.out.find("Keywords:        one\ttwo\n"), std::string::npos) << i.out;
    EXPECT_TRUE(std::regex_search(i.out, std::regex("CreationDate: +[A-Z][a-z]{2} [A-Z][a-z]{2} +[0-9]+ ")))
        << i.out;
}

}  // namespace
