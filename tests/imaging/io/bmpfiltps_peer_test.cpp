// PostScript pages judged by Ghostscript: every page renders without a word on the error stream and
// holds our image pixel for pixel at whole-number scales; ps2pdf and pdfinfo count the pages and
// read the title; encapsulated files crop to their bounding box.
#include "imaging/io/bmpfiltps.h"

#include "imaging/io/detail/iepsfilters.h"
#include "imaging/io/vodiradio.h"
#include "tests/imaging/io/image_test_util.h"
#include "tests/imaging/io/peer_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace imaging;
using namespace imaging::test;

namespace {

// Ghostscript's rendering at 72 dpi on a page of exactly Width x Height points.
TPnm Render(const TempDir& dir, const std::string& file, int width, int height, const std::string& extra = "",
            const std::string& out = "gs.ppm")
{
    const peer::RunResult r = peer::Run(
        std::string(VA_JUDGE_GS) + " -dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=ppmraw -r72 -dDEVICEWIDTHPOINTS=" +
        std::to_string(width) + " -dDEVICEHEIGHTPOINTS=" + std::to_string(height) + " -dFIXEDMEDIA " + extra +
        " -sOutputFile=" + dir.File(out) + " " + file);
    EXPECT_EQ(r.status, 0) << file;
    EXPECT_EQ(r.err, "") << file;
    return ReadPnm(dir.File(out));
}

void Save(const std::string& file, TIEBitmap& b, TIOParamsVals& p)
{
    rtl::TMemoryStream m;
    Progress progress;
    WritePSStream(m, &b, p, progress.record);
    ASSERT_FALSE(progress.abort);
    m.SaveToFile(file);
}

TEST(PSPeers, GhostscriptRendersEveryPageKindExactlyAtWholeScales)
{
    TempDir dir("ps_peers");
    TIEBitmap colour, grey, bw, wide;
    Photo(colour, 41, 29);
    grey.Assign(&colour);
    grey.SetPixelFormat(ie8g);
    Bilevel(bw, 45, 30);
    Photo(wide, 3001, 3);  // one plane row longer than the filters' buffers
    struct Case {
        const char* what;
        TIEBitmap* bitmap;
        int compression;
    };
    const Case cases[] = {
        {"colour, run length", &colour, 0}, {"colour, fax asked", &colour, 1}, {"grey as colour", &grey, 0},
        {"bilevel, run length", &bw, 0},    {"bilevel, Group 4", &bw, 1},      {"bilevel, Group 3", &bw, 2},
        {"bilevel, DCT asked", &bw, 3},     {"wide colour rows", &wide, 0},
    };
    for (const Case& c : cases) {
        for (int scale : {1, 2, 3}) {
            if (c.bitmap == &wide && scale > 1)
                continue;
            TIOParamsVals p(nullptr);
            p.PSCompression = std::uint8_t(c.compression);
            p.PSPaperWidth = c.bitmap->GetWidth() * scale;
            p.PSPaperHeight = c.bitmap->GetHeight() * scale;
            const std::string file = dir.File("page.ps");
            Save(file, *c.bitmap, p);
            const TPnm page = Render(dir, file, p.PSPaperWidth, p.PSPaperHeight);
            TIEBitmap shown;
            shown.Assign(c.bitmap);
            if (c.bitmap == &grey)
                shown.SetPixelFormat(ie24RGB);
            EXPECT_EQ(Wrong(page, shown, scale), 0) << c.what << " at " << scale;
        }
    }
}

TEST(PSPeers, DCTPagesRenderAsTheJpegDecodes)
{
    TempDir dir("ps_peers");
    TIEBitmap photo;
    Photo(photo, 41, 29);
    for (int scale : {1, 2}) {
        TIOParamsVals p(nullptr);
        p.PSCompression = 3;
        p.JPEGQuality = 90;
        p.PSPaperWidth = 41 * scale;
        p.PSPaperHeight = 29 * scale;
        const std::string file = dir.File("dct.ps");
        Save(file, photo, p);
        std::vector<std::uint8_t> jpeg;
        Progress progress;
        ASSERT_TRUE(detail::IEEncodeDCTPage(photo, p, progress.record, jpeg));
        const TPnm reference = Djpeg(dir, jpeg);
        ASSERT_EQ(reference.width, 41);
        // Ghostscript's own DCT decoder rounds its colour conversion a little differently.
        EXPECT_EQ(Wrong(Render(dir, file, 41 * scale, 29 * scale), reference, scale, 2), 0) << scale;
        EXPECT_GE(Psnr(reference, ToPnm(photo, 3)), 25) << "the page is the photograph";
    }
}

TEST(PSPeers, AnImageOnALargerPageSitsAtTheTopLeftAndTheRestIsWhite)
{
    TempDir dir("ps_peers");
    TIEBitmap b;
    Photo(b, 30, 10);
    TIOParamsVals p(nullptr);
    p.PSPaperWidth = 60;
    p.PSPaperHeight = 50;
    const std::string file = dir.File("page.ps");
    Save(file, b, p);
    const TPnm page = Render(dir, file, 60, 50);
    ASSERT_EQ(page.width, 60);
    EXPECT_EQ(Wrong(page, b, 2), 0);
    int notWhite = 0;
    for (std::size_t i = std::size_t(60) * 20 * 3; i < page.data.size(); ++i)
        notWhite += page.data[i] != 255;
    EXPECT_EQ(notWhite, 0);
}

TEST(PSPeers, AMultiPageDocumentRendersAndConvertsPageByPage)
{
    TempDir dir("ps_peers");
    TIEBitmap pages[3];
    Photo(pages[0], 20, 30);
    Bilevel(pages[1], 20, 30);
    Photo(pages[2], 40, 60);
    TIOParamsVals p(nullptr);
    p.PSPaperWidth = 40;
    p.PSPaperHeight = 60;
    p.PSCompression = 1;
    p.PSTitle = "Three\r\npages, caf\xE9";
    // Built by repeated saves of the I/O component.
    const std::string file = dir.File("doc.ps");
    TVodirAdIO io(nullptr);
    io.Params().Assign(&p);
    io.CreatePSFile(file);
    ASSERT_FALSE(io.AbortFlag);
    for (TIEBitmap& b : pages) {
        io.IEBitmap()->Assign(&b);
        io.SaveToPS();
        ASSERT_FALSE(io.AbortFlag);
    }
    io.ClosePSFile();
    ASSERT_FALSE(io.AbortFlag);

    Render(dir, file, 40, 60, "", "page%d.ppm");
    for (int i = 0; i < 3; ++i) {
        const TPnm page = ReadPnm(dir.File("page" + std::to_string(i + 1) + ".ppm"));
        EXPECT_EQ(Wrong(page, pages[i], i == 2 ? 1 : 2), 0) << "page " << i + 1;
    }
    const std::string pdf = dir.File("doc.pdf");
    const peer::RunResult conv = peer::Run(std::string(VA_JUDGE_PS2PDF) + " " + file + " " + pdf);
    ASSERT_EQ(conv.status, 0) << conv.err;
    EXPECT_EQ(conv.err, "");
    const peer::RunResult info = peer::Run(std::string(VA_JUDGE_PDFINFO) + " " + pdf);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\nPages:           3\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Title:           Three  pages, caf\xC3\xA9\n"), std::string::npos) << info.out;
}

TEST(PSPeers, EncapsulatedFilesCropToTheirBoxWithTheWholeImage)
{
    TempDir dir("ps_peers");
    TVodirAdIO io(nullptr);
    Photo(*io.IEBitmap(), 37, 23);
    io.Params().PSPaperWidth = 74;
    io.Params().PSPaperHeight = 46;
    const std::string file = dir.File("picture.eps");
    io.SaveToFile(file);
    ASSERT_FALSE(io.AbortFlag);
    // Cropped to the box on a larger device page: the image must fill it exactly.
    const peer::RunResult r = peer::Run(
        std::string(VA_JUDGE_GS) +
        " -dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=ppmraw -r72 -dEPSCrop -sOutputFile=" + dir.File("eps.ppm") +
        " " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const TPnm page = ReadPnm(dir.File("eps.ppm"));
    EXPECT_EQ(page.width, 74);
    EXPECT_EQ(page.height, 46);
    EXPECT_EQ(Wrong(page, *io.IEBitmap(), 2), 0);
    const std::vector<std::uint8_t> bytes = peer::ReadFile(file);
    const std::string head(bytes.begin(), bytes.begin() + 25);
    EXPECT_EQ(head, "%!PS-Adobe-3.0 EPSF-3.0\r\n");
}

}  // namespace
