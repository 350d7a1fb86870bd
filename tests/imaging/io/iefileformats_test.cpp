// Tests of the format registry and content detection, on files written by independent tools.
#include "imaging/io/iefileformats.h"

#include "imaging/io/detail/ieprobes.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kDetectDir = std::string(VA_TEST_DATA_DIR) + "/imaging/io/detect/";

Bytes Fixture(const std::string& name)
{
    rtl::TMemoryStream m;
    m.LoadFromFile(kDetectDir + name);
    return m.Bytes();
}

int Detect(const Bytes& bytes, std::int64_t position = 0)
{
    rtl::TMemoryStream m;
    if (!bytes.empty())
        m.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    m.SetPosition(position);
    const int type = FindStreamFormat(m);
    EXPECT_EQ(m.Position(), position) << "detection moved the stream";
    return type;
}

Bytes Text(const char* s) { return Bytes(s, s + std::strlen(s)); }

// A literal with embedded zeros, without its terminator.
template <std::size_t N>
Bytes Raw(const char (&s)[N])
{
    return Bytes(s, s + N - 1);
}

// A scratch folder for files whose extension the test chooses.
class ScratchDir {
public:
    ScratchDir()
    {
        path_ = std::filesystem::temp_directory_path() /
                ("va_iefileformats_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string Write(const std::string& name, const Bytes& bytes)
    {
        std::string file = (path_ / name).string();
        rtl::TMemoryStream m;
        m.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        m.SaveToFile(file);
        return file;
    }

private:
    std::filesystem::path path_;
};

struct FixtureCase {
    const char* file;
    int type;
};

// ---- content detection on tool-written files ----

TEST(DetectsByContent, EveryToolWrittenFixtureGetsItsType)
{
    const FixtureCase cases[] = {
        {"bmp24.bmp", ioBMP},    {"bmp_rle8.bmp", ioBMP},  {"icon.ico", ioICO},    {"icon_as_cur.cur", ioICO},
        {"cursor.cur", ioCUR},   {"pbm_plain.pbm", ioPXM}, {"pbm_raw.pbm", ioPXM}, {"pgm_plain.pgm", ioPXM},
        {"pgm_raw.pgm", ioPXM},  {"ppm_plain.ppm", ioPXM}, {"ppm_raw.ppm", ioPXM}, {"ppm_comment.ppm", ioPXM},
        {"pcx.pcx", ioPCX},      {"tga_raw.tga", ioTGA},   {"tga_rle.tga", ioTGA}, {"gif89a.gif", ioGIF},
        {"tiff_le.tif", ioTIFF}, {"tiff_be.tif", ioTIFF},  {"jpeg.jpg", ioJPEG},   {"png.png", ioPNG},
        {"jp2.jp2", ioJP2},      {"j2k.j2k", ioJ2K},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Detect(Fixture(c.file)), c.type) << c.file;
}

TEST(DetectsByContent, FormatsWithoutASignatureTestAreUnknown)
{
    // WBMP, PostScript and PDF are chosen by extension only; their content must not pass for
    // another format either.
    for (const char* file : {"wbmp.wbmp", "ps.ps", "pdf.pdf"})
        EXPECT_EQ(Detect(Fixture(file)), ioUnknown) << file;
}

TEST(DetectsByContent, MetafileHeadersAreNotTakenForAnotherFormat)
{
    // Written by hand: no Debian tool writes metafiles. A placeable WMF header and the start of
    // an EMF header record (type 1, " EMF" signature at offset 40).
    Bytes wmf =
        Raw("\xD7\xCD\xC6\x9A\x00\x00\x00\x00\x00\x00\x40\x01\xF0\x00\xA0\x05\x00\x00\x00\x00"
            "\x01\x00\x09\x00\x00\x03\x20\x00\x00\x00\x00\x00");
    EXPECT_EQ(Detect(wmf), ioUnknown);
    Bytes emf(88, 0);
    emf[0] = 1;
    emf[4] = 88;
    std::memcpy(emf.data() + 40, " EMF", 4);
    EXPECT_EQ(Detect(emf), ioUnknown);
}

TEST(DetectsByContent, PngNeedsEightBytesButComparesOnlyTheFirstFour)
{
    EXPECT_EQ(Detect(Raw("\x89PNG\x00\x00\x00\x00\x00")), ioPNG);
    EXPECT_EQ(Detect(Raw("\x89PNG\x00\x00\x00\x00")), ioUnknown);
    EXPECT_EQ(Detect(Raw("\x89PNx\r\n\x1a\n\x00")), ioUnknown);
}

TEST(DetectsByContent, DetectionStartsAtTheStreamPositionNotAtZero)
{
    Bytes bytes = Text(
        "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"
        "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    const auto prefix = static_cast<std::int64_t>(bytes.size());
    Bytes png = Fixture("png.png");
    bytes.insert(bytes.end(), png.begin(), png.end());
    EXPECT_EQ(Detect(bytes, prefix), ioPNG);
    EXPECT_EQ(Detect(bytes, 0), ioUnknown);
}

TEST(DetectsByContent, AviRiffFormIsRecognisedAndOtherRiffFormsAreNot)
{
    Bytes avi =
        Raw("RIFF\x10\x00\x00\x00"
            "AVI LIST\x04\x00\x00\x00"
            "hdrl");
    EXPECT_EQ(Detect(avi), ioAVI);
    Bytes wave =
        Raw("RIFF\x10\x00\x00\x00"
            "WAVEfmt \x04\x00\x00\x00"
            "abcd");
    EXPECT_EQ(Detect(wave), ioUnknown);
}

TEST(DetectsByContent, JpegStartFoundAfterLeadingGarbageWithinHundredBytes)
{
    Bytes jpeg = Fixture("jpeg.jpg");
    Bytes at50(50, 0x20);
    at50.insert(at50.end(), jpeg.begin(), jpeg.end());
    EXPECT_EQ(Detect(at50), ioJPEG);
    Bytes at99(99, 0x20);
    at99.insert(at99.end(), jpeg.begin(), jpeg.end());
    EXPECT_EQ(Detect(at99), ioJPEG);
    Bytes at100(100, 0x20);
    at100.insert(at100.end(), jpeg.begin(), jpeg.end());
    EXPECT_EQ(Detect(at100), ioUnknown);
}

TEST(DetectsByContent, StreamHeadersOfTheComponentAreRecognised)
{
    auto header = [](const char* magic) {
        Bytes b(magic, magic + 4);
        b.resize(20, 0);
        return b;
    };
    EXPECT_EQ(Detect(header("JFIF")), ioJPEG);
    EXPECT_EQ(Detect(header("PCX2")), ioPCX);
    EXPECT_EQ(Detect(header("TIFF")), ioTIFF);
    Bytes oldPcx = {'P', 'C', 'X', 0, 1};
    EXPECT_EQ(Detect(oldPcx), ioPCX);
}

TEST(DetectsByContent, PcxHeaderNeedsKnownEncodingDepthAndPlanes)
{
    // A TGA whose image ID is 10 bytes long starts 10, 0 like a PCX header; its third byte (the
    // image type 2) is no PCX encoding.
    Bytes tga = Fixture("tga_raw.tga");
    tga[0] = 10;
    tga.insert(tga.begin() + 18, 10, 'x');
    EXPECT_EQ(Detect(tga), ioTGA);

    const Bytes pcx = Fixture("pcx.pcx");
    struct Case {
        int offset;
        std::uint8_t value;
        bool pcx;
    };
    const Case cases[] = {
        {2, 0, true},  {2, 2, false},                   // encoding
        {3, 2, true},  {3, 3, false},  {3, 24, false},  // bits per pixel
        {65, 4, true}, {65, 0, false}, {65, 5, false},  // planes
    };
    for (const Case& c : cases) {
        Bytes b = pcx;
        b[std::size_t(c.offset)] = c.value;
        EXPECT_EQ(Detect(b) == ioPCX, c.pcx) << "byte " << c.offset << " = " << int(c.value);
    }
}

TEST(DetectsByContent, TiffNeedsFortyTwoAfterTheByteOrderMark)
{
    const Bytes le = Fixture("tiff_le.tif");
    const Bytes be = Fixture("tiff_be.tif");
    Bytes b = le;
    b[2] = 43;
    EXPECT_NE(Detect(b), ioTIFF);
    b = be;
    b[3] = 43;
    EXPECT_NE(Detect(b), ioTIFF);
    // The 42 in the other byte order is not enough either.
    b = le;
    b[2] = 0;
    b[3] = 42;
    EXPECT_NE(Detect(b), ioTIFF);
}

// ---- short and empty input ----

TEST(RejectsShortInput, EmptyStreamIsUnknown) { EXPECT_EQ(Detect({}), ioUnknown); }

TEST(RejectsShortInput, SizeGatesAreStrict)
{
    Bytes gif = Text("GIF89a1234567");  // 13 bytes: not more than 13
    EXPECT_EQ(Detect(gif), ioUnknown);
    gif.push_back('8');
    EXPECT_EQ(Detect(gif), ioGIF);

    Bytes bmp = Fixture("bmp24.bmp");
    bmp.resize(14);
    EXPECT_NE(Detect(bmp), ioBMP);
    bmp = Fixture("bmp24.bmp");
    bmp.resize(15);
    EXPECT_EQ(Detect(bmp), ioBMP);
}

TEST(RejectsShortInput, EveryPrefixOfEveryFixtureIsSafeAndRestoresThePosition)
{
    for (const auto& entry : std::filesystem::directory_iterator(kDetectDir)) {
        if (entry.path().extension() == ".sh")
            continue;
        Bytes whole = Fixture(entry.path().filename().string());
        const std::size_t limit = std::min<std::size_t>(whole.size(), 300);
        for (std::size_t n = 0; n <= limit; ++n) {
            Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            const int type = Detect(prefix);
            EXPECT_GE(type, ioUnknown);
            EXPECT_LE(type, ioPDF);
        }
    }
}

TEST(RejectsShortInput, StreamPositionedPastItsEndIsUnknown)
{
    Bytes png = Fixture("png.png");
    rtl::TMemoryStream m;
    m.WriteBuffer(png.data(), static_cast<std::int32_t>(png.size()));
    m.SetPosition(static_cast<std::int64_t>(png.size()) + 1000);
    EXPECT_EQ(FindStreamFormat(m), ioUnknown);
    EXPECT_EQ(m.Position(), static_cast<std::int64_t>(png.size()) + 1000);
}

// A stream that fails every read, as a device gone away would.
class FailingStream : public rtl::TStream {
public:
    std::int32_t Read(void*, std::int32_t) override { throw rtl::EReadError("device gone"); }
    std::int32_t Write(const void*, std::int32_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override
    {
        if (origin == rtl::soBeginning)
            pos_ = offset;
        return pos_;
    }
    std::int64_t Size() override { return 4096; }

private:
    std::int64_t pos_ = 0;
};

TEST(RejectsShortInput, ReadErrorsBecomeUnknownInsteadOfEscaping)
{
    FailingStream s;
    EXPECT_NO_THROW(EXPECT_EQ(FindStreamFormat(s), ioUnknown));
}

// ---- individual probes ----

TEST(Probes, IconDirectoryWithAnEntryPointingIntoItselfIsRejected)
{
    Bytes ico = Fixture("icon.ico");
    ASSERT_TRUE([&] {
        rtl::TReadOnlyMemoryStream s(ico.data(), std::int64_t(ico.size()));
        return TryICO(s);
    }());
    Bytes bad = ico;
    bad[18] = 10;  // image offset 10: inside the 22-byte directory
    bad[19] = bad[20] = bad[21] = 0;
    rtl::TReadOnlyMemoryStream s(bad.data(), std::int64_t(bad.size()));
    EXPECT_FALSE(TryICO(s));
    Bytes none = ico;
    none[4] = none[5] = 0;  // no images
    rtl::TReadOnlyMemoryStream s2(none.data(), std::int64_t(none.size()));
    EXPECT_FALSE(TryICO(s2));
}

TEST(Probes, IconDirectoryClaimingMoreEntriesThanTheFileHoldsIsRejected)
{
    Bytes ico = Fixture("icon.ico");
    ico[4] = 0xFF;
    ico[5] = 0xFF;
    rtl::TReadOnlyMemoryStream s(ico.data(), std::int64_t(ico.size()));
    EXPECT_FALSE(TryICO(s));
}

TEST(Probes, PnmNeedsMagicPositiveSizeAndMaximum)
{
    auto pxm = [](const char* text) {
        rtl::TStringStream s(text);
        return TryPXM(s);
    };
    EXPECT_TRUE(pxm("P5 12 8 255 "));
    EXPECT_TRUE(pxm("P4\n# comment\n# another\n12 8\n"));
    EXPECT_TRUE(pxm("P1 1 1 "));
    EXPECT_FALSE(pxm("P7 12 8 255 "));
    EXPECT_FALSE(pxm("P5 0 8 255 "));
    EXPECT_FALSE(pxm("P5 12 x 255 "));
    EXPECT_FALSE(pxm("P5 12 8"));
    EXPECT_FALSE(pxm("P5 99999999999999999999 8 255 "));
    EXPECT_FALSE(pxm("P6"));
    EXPECT_FALSE(pxm(""));
}

TEST(Probes, PnmGivesUpAfterFiveHundredCommentTokens)
{
    std::string text = "P2\n";
    for (int i = 0; i < 600; ++i)
        text += "#c\n";
    text += "4 4 255 ";
    rtl::TStringStream s(text);
    EXPECT_FALSE(TryPXM(s));
}

TEST(Probes, Jpeg2000ProbesWantTheExactSignatures)
{
    Bytes jp2 = Fixture("jp2.jp2");
    rtl::TReadOnlyMemoryStream a(jp2.data(), std::int64_t(jp2.size()));
    EXPECT_TRUE(TryJP2(a));
    EXPECT_FALSE(TryJ2K(a));
    jp2[3] = 13;  // another first box length
    rtl::TReadOnlyMemoryStream b(jp2.data(), std::int64_t(jp2.size()));
    EXPECT_FALSE(TryJP2(b));
    Bytes j2k = Fixture("j2k.j2k");
    rtl::TReadOnlyMemoryStream c(j2k.data(), std::int64_t(j2k.size()));
    EXPECT_TRUE(TryJ2K(c));
    EXPECT_EQ(c.Position(), 0);
}

TEST(Probes, FindJpegSOIReturnsAbsolutePositionAndRestores)
{
    Bytes bytes(40, 0);
    Bytes jpeg = Fixture("jpeg.jpg");
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    rtl::TReadOnlyMemoryStream s(bytes.data(), std::int64_t(bytes.size()));
    s.SetPosition(10);
    EXPECT_EQ(FindJpegSOI(s), 40);
    EXPECT_EQ(s.Position(), 10);
}

// ---- the registry ----

TEST(Registry, BuiltInRowsHaveTheirNamesExtensionsPagesAndRoutines)
{
    struct Row {
        int type;
        const char* name;
        const char* exts;
        std::uint16_t page;
        bool read, write;
    };
    const Row rows[] = {
        {1, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F", 8, true, true},
        {2, "CompuServe Bitmap", "GIF", 16, true, true},
        {3, "JPEG Bitmap", "JPG;JPEG;JPE", 4, true, true},
        {4, "PaintBrush", "PCX", 64, true, true},
        {5, "Windows Bitmap", "BMP;DIB;RLE", 32, true, true},
        {6, "Windows Icon", "ICO", 0, true, true},
        {7, "Windows Cursor", "CUR", 0, true, false},
        {8, "Portable Network Graphics", "PNG", 128, true, true},
        {9, "Windows Metafile", "WMF", 0, true, false},
        {10, "Enhanced Windows Metafile", "EMF", 0, true, false},
        {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", 256, true, true},
        {12, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
        {13, "JPEG2000", "JP2", 512, true, true},
        {14, "JPEG2000 Code Stream", "J2K;JPC;J2C", 512, true, true},
        {16, "Wireless Bitmap", "WBMP", 0, true, true},
        {17, "PostScript Level 2", "PS;EPS", 0, false, true},
        {18, "Adobe PDF", "PDF", 0, false, true},
    };
    for (const auto& r : rows) {
        const TIOFileFormat* f = FindFileFormatByType(r.type);
        ASSERT_NE(f, nullptr) << r.type;
        EXPECT_EQ(f->FullName, r.name);
        EXPECT_EQ(f->Extensions, r.exts);
        EXPECT_EQ(f->DialogPage, r.page) << r.name;
        EXPECT_EQ(f->ReadFunction != nullptr, r.read) << r.name;
        EXPECT_EQ(f->WriteFunction != nullptr, r.write) << r.name;
        ASSERT_NE(f->TryFunction, nullptr);
    }
    EXPECT_EQ(FindFileFormatByType(ioAVI), nullptr);
    EXPECT_EQ(FindFileFormatByType(ioUnknown), nullptr);
}

TEST(Registry, PlaceholderReaderReportsFailureInsteadOfAnEmptySuccess)
{
    const TIOFileFormat* tga = FindFileFormatByType(ioTGA);
    ASSERT_NE(tga, nullptr);
    rtl::TMemoryStream m;
    TIOParamsVals params(nullptr);
    TIEBitmap bmp;
    std::atomic<bool> aborting{false};
    TProgressRecord progress;
    progress.Aborting = &aborting;
    tga->ReadFunction(m, &bmp, params, progress, false);
    EXPECT_TRUE(aborting);
    aborting = false;
    tga->WriteFunction(m, &bmp, params, progress);
    EXPECT_TRUE(aborting);
    EXPECT_FALSE(tga->TryFunction(m));
}

TEST(Registry, ExtensionListsSplitAtSemicolons)
{
    EXPECT_EQ(FileFormatExtensionCount(ioTIFF), 5);
    EXPECT_EQ(FileFormatExtension(ioTIFF, 0), "TIF");
    EXPECT_EQ(FileFormatExtension(ioTIFF, 4), "G3F");
    EXPECT_EQ(FileFormatExtension(ioTIFF, 5), "");
    EXPECT_EQ(FileFormatExtension(ioTIFF, -1), "");
    EXPECT_EQ(FileFormatExtensionCount(ioGIF), 1);
    EXPECT_EQ(FileFormatExtension(ioGIF, 0), "GIF");
    EXPECT_EQ(FileFormatExtensionCount(ioAVI), 0);
    EXPECT_EQ(FileFormatExtension(ioAVI, 0), "");
}

TEST(Registry, ExtensionLookupIgnoresCaseAndWantsNoDot)
{
    ASSERT_NE(FindFileFormatByExtension("jpe"), nullptr);
    EXPECT_EQ(FindFileFormatByExtension("jpe")->FileType, ioJPEG);
    EXPECT_EQ(FindFileFormatByExtension("JpEg")->FileType, ioJPEG);
    EXPECT_EQ(FindFileFormatByExtension("pix")->FileType, ioTGA);
    EXPECT_EQ(FindFileFormatByExtension("eps")->FileType, ioPS);
    EXPECT_EQ(FindFileFormatByExtension("WIN"), nullptr);
    EXPECT_EQ(FindFileFormatByExtension(".jpg"), nullptr);
    EXPECT_EQ(FindFileFormatByExtension(""), nullptr);
    EXPECT_EQ(FindFileFormatByExtension("TI"), nullptr);  // a prefix of an item is no match
    EXPECT_EQ(FindFileFormatByExtension("avi"), nullptr);
}

bool CustomProbe(rtl::TStream& stream)
{
    std::uint8_t head[10];
    const bool match = stream.Read(head, 10) == 10 && std::memcmp(head, "GIFCUSTOM!", 10) == 0;
    stream.Seek(-10, rtl::soCurrent);
    return match;
}

bool ThrowingProbe(rtl::TStream& stream)
{
    std::uint8_t head[5];
    if (stream.Read(head, 5) == 5 && std::memcmp(head, "THROW", 5) == 0)
        throw rtl::EReadError("probe failure");
    stream.Seek(-5, rtl::soCurrent);
    return false;
}

TEST(Registry, AddedRowsProbeBeforeTheBuiltInSignaturesAndKeepLongNamesBounded)
{
    TIOFileFormat custom;
    custom.FileType = 100;
    custom.FullName = std::string(120, 'N');
    custom.Extensions = "ZZQ1;ZZQ2";
    custom.TryFunction = CustomProbe;
    AddFileFormat(custom);
    TIOFileFormat thrower;
    thrower.FileType = 101;
    thrower.Extensions = "ZZQ3";
    thrower.TryFunction = ThrowingProbe;
    AddFileFormat(thrower);

    const TIOFileFormat* added = FindFileFormatByType(100);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->FullName.size(), 80u);
    EXPECT_EQ(FindFileFormatByExtension("zzq2"), added);
    // Starts "GIF" and is long enough for the GIF test, yet the registered probe wins.
    EXPECT_EQ(Detect(Text("GIFCUSTOM!0123456789")), 100);
    EXPECT_EQ(Detect(Text("GIF89a0123456789")), ioGIF);
    EXPECT_EQ(Detect(Text("THROW0123456789012345")), ioUnknown);
}

// ---- FindFileFormat and the extension check ----

TEST(FindFileFormatVerify, ExtensionMustNameTheDetectedType)
{
    ScratchDir dir;
    const Bytes bmp = Fixture("bmp24.bmp");
    EXPECT_EQ(FindFileFormat(dir.Write("pic.bmp", bmp), true), ioBMP);
    EXPECT_EQ(FindFileFormat(dir.Write("pic.DIB", bmp), true), ioBMP);
    EXPECT_EQ(FindFileFormat(dir.Write("bmp.png", bmp), true), ioUnknown);
    EXPECT_EQ(FindFileFormat(dir.Write("bmp.png", bmp), false), ioBMP);
    EXPECT_EQ(FindFileFormat(dir.Write("bmp.xyz", bmp), true), ioUnknown);
    EXPECT_EQ(FindFileFormat(dir.Write("noext", bmp), true), ioUnknown);
    EXPECT_EQ(FindFileFormat(dir.Write("photo.JPG", Fixture("jpeg.jpg")), true), ioJPEG);
    EXPECT_EQ(FindFileFormat(dir.Write("empty.bmp", {}), true), ioUnknown);
}

TEST(FindFileFormatVerify, IconAndCursorFollowTheExtension)
{
    ScratchDir dir;
    EXPECT_EQ(FindFileFormat(dir.Write("a.cur", Fixture("icon_as_cur.cur")), true), ioCUR);
    EXPECT_EQ(FindFileFormat(dir.Write("b.cur", Fixture("icon_as_cur.cur")), false), ioICO);
    EXPECT_EQ(FindFileFormat(dir.Write("c.ico", Fixture("cursor.cur")), true), ioICO);
    // An icon behind an unrelated extension is not taken for that format.
    EXPECT_EQ(FindFileFormat(dir.Write("d.png", Fixture("icon.ico")), true), ioUnknown);
}

TEST(FindFileFormatVerify, MissingFileRaisesOpenError)
{
    EXPECT_THROW(FindFileFormat(kDetectDir + "no-such-file.bmp", false), rtl::EFOpenError);
}

}  // namespace
