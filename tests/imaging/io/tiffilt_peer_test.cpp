// TIFF reader and writer judged by libtiff and its tools, exiftool and ImageMagick.
// Reading: pages libtiff writes (grey, palette, bilevel, RGB, RGBA, CMYK at 1 to 16 bits) are
// rewritten by tiffcp in every compression it has here (none, LZW with and without the predictor,
// PackBits, Group 3 1-D and 2-D, Group 4), in strips, tiles and separate planes, in both byte and
// fill orders, and must read as tiff2rgba decodes them; every orientation tiffset gives must turn
// as ImageMagick's -auto-orient turns it; CIE L*a*b* pages raw2tiff makes read as ImageMagick shows
// them. Writing: our pages pass tiffinfo -D without a word on the error stream, decode through
// tiff2rgba to the pixels we meant, carry the tags tiffdump and exiftool read, split into their
// pages with tiffsplit, and keep their annotations byte for byte through a libtiff rewrite.
#include "imaging/io/tiffilt.h"

#include "imaging/core/vodiradproc.h"

#include "imaging/io/iecolorspace.h"
#include "imaging/io/vodiradio.h"
#include "tests/imaging/io/io_peer_util.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <sstream>

using namespace imaging;
using peer::Quote;

namespace {

std::string Tool(const char* path) { return std::string(path) + " "; }

// ---- sources libtiff writes --------------------------------------------------------------------

struct Source {
    std::string name;
    std::uint16_t bits = 8, samples = 3, photometric = PHOTOMETRIC_RGB;
    std::uint16_t extra = 0;  // an unassociated alpha sample
    int tolerance = 0;        // 16-bit samples: tiff2rgba rounds where we take the high byte
};

const std::vector<Source>& Sources()
{
    static const std::vector<Source> sources = {
        {"rgb8", 8, 3, PHOTOMETRIC_RGB},
        {"rgba8", 8, 4, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA},
        {"rgb16", 16, 3, PHOTOMETRIC_RGB, 0, 1},
        {"grey8", 8, 1, PHOTOMETRIC_MINISBLACK},
        {"white8", 8, 1, PHOTOMETRIC_MINISWHITE},
        {"grey4", 4, 1, PHOTOMETRIC_MINISBLACK},
        {"grey2", 2, 1, PHOTOMETRIC_MINISBLACK},
        {"grey16", 16, 1, PHOTOMETRIC_MINISBLACK, 0, 1},
        {"pal8", 8, 1, PHOTOMETRIC_PALETTE},
        {"pal4", 4, 1, PHOTOMETRIC_PALETTE},
        {"pal2", 2, 1, PHOTOMETRIC_PALETTE},
        {"bilevel", 1, 1, PHOTOMETRIC_MINISBLACK},
        {"bilevelw", 1, 1, PHOTOMETRIC_MINISWHITE},
        {"cmyk8", 8, 4, PHOTOMETRIC_SEPARATED},
    };
    return sources;
}

constexpr int kW = 67, kH = 45;

// Smooth areas for the codecs' runs, noise for their tables.
std::uint32_t SampleAt(int x, int y, int s, int bits, std::mt19937& rng)
{
    const std::uint32_t max = (1u << bits) - 1;
    if (bits == 1)
        return ((x / 5 + y / 3) % 2 == 0 || (x * y) % 7 == 1) ? 1 : 0;
    const double smooth = (std::sin(x * 0.11 + s) + std::cos(y * 0.07 * (s + 1)) + 2) / 4;
    const std::uint32_t v = std::uint32_t(smooth * max);
    return (x + y) % 9 == 0 ? std::uint32_t(rng() & max) : v;
}

void MakeSource(const Source& s, const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kW);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kH);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kH);
    if (s.extra) {
        std::uint16_t extra = s.extra;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (s.photometric == PHOTOMETRIC_PALETTE) {
        const int n = 1 << s.bits;
        const auto count = static_cast<std::size_t>(n);
        std::vector<std::uint16_t> r(count), g(count), b(count);
        std::mt19937 rng(7 + n);
        for (int i = 0; i < n; ++i) {
            r[std::size_t(i)] = std::uint16_t(rng() & 0xFF) * 257;
            g[std::size_t(i)] = std::uint16_t(rng() & 0xFF) * 257;
            b[std::size_t(i)] = std::uint16_t(rng() & 0xFF) * 257;
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    std::mt19937 rng(11);
    const std::size_t rowBytes = (std::size_t(kW) * s.bits * s.samples + 7) / 8;
    std::vector<std::uint8_t> row(rowBytes);
    for (int y = 0; y < kH; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < s.samples; ++c) {
                std::uint32_t v = SampleAt(x, y, c, s.bits, rng);
                if (s.extra && c == 3)
                    v = x < 10 ? 0 : x < 20 ? 128 : 255;  // transparent, half, opaque columns
                const std::size_t i = std::size_t(x) * s.samples + std::size_t(c);
                if (s.bits == 16) {
                    const std::uint16_t w = std::uint16_t(v);
                    std::memcpy(row.data() + 2 * i, &w, 2);  // host order, as libtiff takes it
                } else if (s.bits == 8) {
                    row[i] = std::uint8_t(v);
                } else {
                    const std::size_t bit = i * s.bits;
                    row[bit / 8] |= std::uint8_t(v << (8 - s.bits - bit % 8));
                }
            }
        ASSERT_EQ(TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0), 1);
    }
    TIFFClose(tif);
}

// ---- judges ------------------------------------------------------------------------------------

struct Rgba {
    int width = 0, height = 0;
    std::vector<std::uint8_t> data;  // R, G, B, A
};

// tiff2rgba's decoding: an uncompressed RGBA file read back plainly.
Rgba ViaTiff2rgba(const std::string& path, peer::TempDir& dir)
{
    const std::string out = dir.File("rgba.tif");
    const auto r = peer::Run(Tool(VA_JUDGE_TIFF2RGBA) + "-c none " + Quote(path) + " " + Quote(out));
    EXPECT_EQ(r.status, 0) << path << ": " << r.err;
    Rgba img;
    TIFF* tif = TIFFOpen(out.c_str(), "r");
    if (!tif)
        return img;
    std::uint32_t w = 0, h = 0;
    std::uint16_t spp = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    EXPECT_EQ(spp, 4);
    img.width = int(w);
    img.height = int(h);
    img.data.resize(std::size_t(w) * h * 4);
    std::size_t at = 0;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        const tmsize_t n = TIFFReadEncodedStrip(tif, s, img.data.data() + at, tmsize_t(img.data.size() - at));
        if (n > 0)
            at += std::size_t(n);
    }
    TIFFClose(tif);
    return img;
}

// ImageMagick's decoding as RGB (3 channels).
peer::Bytes ViaMagick(const std::string& path, const std::string& options = "")
{
    const auto r = peer::Run(Tool(VA_JUDGE_CONVERT) + Quote(path) + " " + options + " -depth 8 rgb:-");
    EXPECT_EQ(r.status, 0) << r.err;
    return peer::Bytes(r.out.begin(), r.out.end());
}

struct Ours {
    TIEBitmap bitmap;
    std::unique_ptr<TIEMask> mask;
    TIOParamsVals params{nullptr};
    int count = 0;
    bool aborted = false;
};

void ReadOurs(const std::string& path, Ours& o, int page = 0, bool orient = false, bool native = false)
{
    rtl::TFileStream in(path, rtl::fmOpenRead);
    test::Progress progress;
    o.params.TIFFImageIndex = page;
    o.params.TIFFOption = orient;
    o.params.NativePixelFormat = native;
    ReadTIFFStream(&o.bitmap, in, o.count, false, false, true, o.mask, false, progress.record, o.params);
    o.aborted = progress.Aborted();
}

// What libtiff says on its error stream less its notes that a Group 3 page's T6Options or a Group 4
// page's T4Options is a tag it does not know for that coding (our fax pages carry both).
std::string WithoutFaxOptionNotes(const std::string& err)
{
    std::istringstream in(err);
    std::string line, rest;
    while (std::getline(in, line))
        if (line != "TIFFReadDirectory: Warning, Unknown field with tag 292 (0x124) encountered." &&
            line != "TIFFReadDirectory: Warning, Unknown field with tag 293 (0x125) encountered.")
            rest += line + "\n";
    return rest;
}

// Writes a one-page file of the bitmap; false (the test failed) when the writer refused.
bool WriteOurs(const std::string& path, TIEBitmap& b, TIOParamsVals& p)
{
    rtl::TFileStream out(path, rtl::fmCreate);
    test::Progress progress;
    const int pages = WriteTIFFStream(out, false, &b, progress.record, p);
    EXPECT_EQ(pages, 1) << path;
    return pages == 1;
}

// Pixels that differ from tiff2rgba's by more than `tolerance`; where the alpha is below 255 only
// the alpha counts (libtiff premultiplies the colour).
int CompareWithRgba(Ours& o, const Rgba& want, int tolerance)
{
    if (o.bitmap.GetWidth() != want.width || o.bitmap.GetHeight() != want.height)
        return -1;
    int wrong = 0;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const std::uint8_t* e = want.data.data() + (std::size_t(y) * want.width + x) * 4;
            const int alpha = o.mask ? o.mask->GetPixel(x, y) : 255;
            if (alpha != e[3]) {
                ++wrong;
                continue;
            }
            if (alpha != 255)
                continue;
            const TRGB c = o.bitmap.GetPixelRGB(x, y);
            if (std::abs(c.r - e[0]) > tolerance || std::abs(c.g - e[1]) > tolerance ||
                std::abs(c.b - e[2]) > tolerance)
                ++wrong;
        }
    return wrong;
}

class TiffPeers : public ::testing::Test {
protected:
    peer::TempDir dir{"va_tiff_peers"};
};

// ---- reading -----------------------------------------------------------------------------------

TEST_F(TiffPeers, EveryLayoutTiffcpWritesReadsAsTiff2rgbaDecodesIt)
{
    struct Variant {
        std::string options;
        bool multiSampleOnly = false;
    };
    int judged = 0;
    for (const Source& s : Sources()) {
        const std::string source = dir.File(s.name + ".tif");
        MakeSource(s, source);
        // tiffcp changes no pixel: every variant must read as tiff2rgba decodes the source. (It
        // cannot read some variants itself: uncompressed tiles with the reversed fill order.)
        const Rgba want = ViaTiff2rgba(source, dir);
        std::vector<std::string> codings = {"none", "lzw", "packbits"};
        if (s.bits >= 8)
            codings.push_back("lzw:2");
        if (s.bits == 1)
            codings.insert(codings.end(), {"g3", "g3:2d", "g4"});
        const std::vector<Variant> layouts = {{"-r 7"}, {"-t -w 16 -l 16"}, {"-p separate -r 11", true}};
        for (const std::string& coding : codings)
            for (const Variant& layout : layouts) {
                // tiffcp separates planes of 8-bit samples only.
                if (layout.multiSampleOnly && (s.samples == 1 || s.bits != 8))
                    continue;
                for (const char* order : {"-B -f msb2lsb", "-L -f lsb2msb"}) {
                    const std::string file = dir.File("read.tif");
                    const std::string options = "-c " + coding + " " + layout.options + " " + order;
                    const auto r =
                        peer::Run(Tool(VA_JUDGE_TIFFCP) + options + " " + Quote(source) + " " + Quote(file));
                    ASSERT_EQ(r.status, 0) << options << ": " << r.err;
                    Ours ours;
                    ReadOurs(file, ours);
                    ASSERT_FALSE(ours.aborted) << s.name << " " << options;
                    EXPECT_EQ(CompareWithRgba(ours, want, s.tolerance), 0) << s.name << " " << options;
                    ++judged;
                }
            }
    }
    EXPECT_GT(judged, 240);
}

TEST_F(TiffPeers, EveryOrientationTurnsAsImageMagickTurnsIt)
{
    const std::string source = dir.File("orient-src.tif");
    MakeSource(Sources()[0], source);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string file = dir.File("orient.tif");
        ASSERT_EQ(peer::Run(Tool(VA_JUDGE_TIFFCP) + "-c lzw " + Quote(source) + " " + Quote(file)).status, 0);
        const auto set =
            peer::Run(Tool(VA_JUDGE_TIFFSET) + "-s 274 " + std::to_string(orientation) + " " + Quote(file));
        ASSERT_EQ(set.status, 0) << set.err;
        const peer::Bytes want = ViaMagick(file, "-auto-orient");
        Ours ours;
        ReadOurs(file, ours, 0, true);
        ASSERT_FALSE(ours.aborted);
        EXPECT_EQ(ours.params.TIFFOrientation, orientation);
        const int w = ours.bitmap.GetWidth(), h = ours.bitmap.GetHeight();
        ASSERT_EQ(want.size(), std::size_t(w) * h * 3) << orientation;
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* e = want.data() + (std::size_t(y) * w + x) * 3;
                wrong += test::Px(ours.bitmap, x, y) != (std::uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
            }
        EXPECT_EQ(wrong, 0) << "orientation " << orientation;
    }
}

// ImageMagick reads a* and b* half a unit off (its signed bytes are centred on 127.5), which moves a
// dark channel, where sRGB's curve is steep, by up to 11: it judges colours whose every channel is
// 64 or more, where it moves them by 4 at most. libtiff's tiff2rgba shows L*a*b* through a display
// model of its own (a plain 2.4 power, no chromatic adaptation), not through sRGB, and is judged on
// the XYZ it computes instead (iecolorspace_peer_test).
TEST_F(TiffPeers, CieLabPagesReadAsImageMagickShowsThem)
{
    // Every L* with a spread of a* and b*, against a D65 white (ImageMagick's own).
    std::vector<std::uint8_t> raw;
    for (int L = 0; L < 256; L += 3)
        for (int a = -60; a <= 60; a += 20)
            for (int b = -60; b <= 60; b += 20)
                raw.insert(raw.end(),
                           {std::uint8_t(L), std::uint8_t(std::int8_t(a)), std::uint8_t(std::int8_t(b))});
    const int w = 49, h = int(raw.size() / 3 / 49);
    raw.resize(std::size_t(w) * h * 3);
    const std::string rawPath = dir.File("lab.raw"), file = dir.File("lab.tif"), d50 = dir.File("lab50.tif");
    peer::WriteFile(rawPath, raw);
    for (const std::string& out : {file, d50}) {
        const auto made =
            peer::Run(Tool(VA_JUDGE_RAW2TIFF) + "-w " + std::to_string(w) + " -l " + std::to_string(h) +
                      " -b 3 -d byte -p cielab " + Quote(rawPath) + " " + Quote(out));
        ASSERT_EQ(made.status, 0) << made.err;
    }
    ASSERT_EQ(peer::Run(Tool(VA_JUDGE_TIFFSET) + "-s 318 0.3127 0.3290 " + Quote(file)).status, 0);
    const peer::Bytes want = ViaMagick(file);
    Ours ours;
    ReadOurs(file, ours);
    ASSERT_FALSE(ours.aborted);
    ASSERT_EQ(want.size(), raw.size());
    const TIELabSpace d65(0.3127, 0.3290);
    int worst = 0, judged = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * w + x;
            const TRGB c = ours.bitmap.GetPixelRGB(x, y);
            std::uint8_t bgr[3];
            d65.LabToRGB(bgr, raw.data() + i * 3);
            ASSERT_EQ(c, (TRGB{bgr[0], bgr[1], bgr[2]}));  // the page's white point is honoured
            // Colours outside sRGB have no one answer (ours clip each channel).
            if (std::min({c.r, c.g, c.b}) < 64 || std::max({c.r, c.g, c.b}) > 252)
                continue;
            const std::uint8_t* e = want.data() + i * 3;
            worst = std::max({worst, std::abs(c.r - e[0]), std::abs(c.g - e[1]), std::abs(c.b - e[2])});
            ++judged;
        }
    EXPECT_LE(worst, 4);
    EXPECT_GT(judged, 300);
    // Without a white point the reference white is D50: the grey axis stays grey, as in D65.
    Ours plain;
    ReadOurs(d50, plain);
    for (int i = 0; i < w * h; ++i)
        if (raw[std::size_t(i) * 3 + 1] == 0 && raw[std::size_t(i) * 3 + 2] == 0) {
            const TRGB c = plain.bitmap.GetPixelRGB(i % w, i / w);
            EXPECT_EQ(c.r, c.g);
            EXPECT_EQ(c.g, c.b);
            EXPECT_EQ(c, ours.bitmap.GetPixelRGB(i % w, i / w));
        }
}

// ---- writing -----------------------------------------------------------------------------------

struct WriteCase {
    const char* what;
    int bits, samples, photometric, compression;
    TIEPixelFormat format;
};

// A bitmap whose pixels every layout below can hold exactly (at most 16 colours, or grey, or
// black and white).
void Fill(TIEBitmap& b, TIEPixelFormat format, int seed, int levels = 16)
{
    std::mt19937 rng(static_cast<unsigned>(seed));
    std::vector<TRGB> colours(16);
    for (auto& c : colours)
        c = TRGB{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
    b.Allocate(kW, kH, format);
    for (int y = 0; y < kH; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < kW; ++x) {
            const int v = (x / 4 + y / 3 + int(rng() % 3)) % levels;
            const int grey = v * 255 / (levels - 1);
            switch (format) {
            case ie1g: SetPixelBit(row, x, v < levels / 2); break;
            case ie8g: row[x] = std::uint8_t(grey); break;
            case ie16g: {
                const std::uint16_t w = std::uint16_t(grey * 257);
                std::memcpy(row + 2 * x, &w, 2);
                break;
            }
            case ie8p:
                row[x] = std::uint8_t(v);
                b.SetPaletteColor(v, colours[std::size_t(v)]);
                break;
            default: reinterpret_cast<TRGB*>(row)[x] = colours[std::size_t(v)];
            }
        }
    }
}

TEST_F(TiffPeers, PagesWeWritePassTiffinfoAndDecodeThroughTiff2rgba)
{
    const WriteCase cases[] = {
        {"rgb none", 8, 3, 2, 0, ie24RGB},        {"rgb lzw+predictor", 8, 3, 2, 5, ie24RGB},
        {"rgb packbits", 8, 3, 2, 8, ie24RGB},    {"palette 8 lzw", 8, 1, 3, 5, ie24RGB},
        {"palette 4 packbits", 4, 1, 3, 8, ie8p}, {"palette 2", 2, 1, 3, 0, ie8p},
        {"grey 8 lzw", 8, 1, 1, 5, ie8g},         {"grey 4", 4, 1, 1, 0, ie8g},
        {"grey 16", 16, 1, 1, 0, ie16g},          {"grey 2 packbits", 2, 1, 1, 8, ie8g},
        {"bilevel none", 1, 1, 0, 0, ie1g},       {"bilevel lzw", 1, 1, 0, 5, ie1g},
        {"bilevel packbits", 1, 1, 0, 8, ie1g},   {"bilevel huffman", 1, 1, 0, 1, ie1g},
        {"bilevel g3", 1, 1, 0, 2, ie1g},         {"bilevel g3 2-d", 1, 1, 0, 3, ie1g},
        {"bilevel g4", 1, 1, 0, 4, ie1g},         {"cmyk", 8, 4, 5, 0, ie24RGB},
        {"cmyk lzw", 8, 4, 5, 5, ie24RGB},
    };
    int seed = 1;
    for (const WriteCase& c : cases) {
        TIEBitmap b;
        Fill(b, c.format, ++seed, c.samples == 1 && c.bits < 4 ? 1 << c.bits : 16);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = c.bits;
        p.SamplesPerPixel = c.samples;
        p.TIFFPhotometric = std::uint8_t(c.photometric);
        p.TIFFCompression = std::uint8_t(c.compression);
        const std::string file = dir.File("written.tif");
        ASSERT_TRUE(WriteOurs(file, b, p)) << c.what;
        const auto info = peer::Run(Tool(VA_JUDGE_TIFFINFO) + "-D " + Quote(file));
        EXPECT_EQ(info.status, 0) << c.what;
        // Group 3 and Group 4 pages carry both T4Options and T6Options; libtiff knows each only for
        // its own coding and names the other, which is all it may say.
        const bool fax = c.compression == 2 || c.compression == 3 || c.compression == 4;
        EXPECT_EQ(WithoutFaxOptionNotes(info.err), "") << c.what;
        EXPECT_EQ(info.err.empty(), !fax) << c.what;
        if (fax) {
            const auto dump = peer::Run(Tool(VA_JUDGE_TIFFDUMP) + Quote(file));
            const std::string t4 = c.compression == 3 ? "1<1>" : "1<0>";
            EXPECT_NE(dump.out.find("(292) LONG (4) " + t4), std::string::npos) << c.what << "\n" << dump.out;
            EXPECT_NE(dump.out.find("(293) LONG (4) 1<0>"), std::string::npos) << c.what << "\n" << dump.out;
        }
        const Rgba want = ViaTiff2rgba(file, dir);
        ASSERT_EQ(want.width, kW) << c.what;
        // What we meant: the source's pixels, or for CMYK what our own reader makes of the file
        // (its integer steps lose a little on the way in).
        Ours ours;
        ReadOurs(file, ours);
        ASSERT_FALSE(ours.aborted) << c.what;
        int wrong = 0, far = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const std::uint8_t* e = want.data.data() + (std::size_t(y) * kW + x) * 4;
                const TRGB src = b.GetPixelRGB(x, y);
                const TRGB meant = c.photometric == 5 ? ours.bitmap.GetPixelRGB(x, y) : src;
                wrong += meant.r != e[0] || meant.g != e[1] || meant.b != e[2] || e[3] != 255;
                far += std::abs(src.r - e[0]) > 2 || std::abs(src.g - e[1]) > 2 || std::abs(src.b - e[2]) > 2;
            }
        EXPECT_EQ(wrong, 0) << c.what;
        EXPECT_EQ(far, 0) << c.what;
    }
}

TEST_F(TiffPeers, TagsWeWriteAreTheOnesTiffdumpAndExiftoolRead)
{
    TIEBitmap b;
    Fill(b, ie24RGB, 3);
    TIOParamsVals p(nullptr);
    p.TIFFCompression = 5;
    p.TIFFDocumentName = "D";
    p.TIFFPageName = "page one";
    p.TIFFImageDescription = "described";
    p.SetDpiX(150);
    p.SetDpiY(75);
    p.TIFFXPos = 2;
    p.TIFFPageNumber = 1;
    p.TIFFPageCount = 4;
    const std::string file = dir.File("tags.tif");
    ASSERT_TRUE(WriteOurs(file, b, p));
    const auto dump = peer::Run(Tool(VA_JUDGE_TIFFDUMP) + Quote(file));
    ASSERT_EQ(dump.status, 0) << dump.err;
    for (const char* line : {"Predictor (317) SHORT (3) 1<2>", "Compression (259) SHORT (3) 1<5>",
                             "DocumentName (269) ASCII (2) 2<D\\0>", "PageNumber (297) SHORT (3) 2<1 4>",
                             "BitsPerSample (258) SHORT (3) 3<8 8 8>", "ResolutionUnit (296) SHORT (3) 1<2>"})
        EXPECT_NE(dump.out.find(line), std::string::npos) << line << "\n" << dump.out;
    const auto tags = peer::Run(Tool(VA_JUDGE_EXIFTOOL) + "-a -G1 -s -n " + Quote(file));
    ASSERT_EQ(tags.status, 0) << tags.err;
    for (const char* line : {"[IFD0]          ImageWidth                      : 67",
                             "[IFD0]          PageName                        : page one",
                             "[IFD0]          ImageDescription                : described",
                             "[IFD0]          XResolution                     : 150",
                             "[IFD0]          YResolution                     : 75",
                             "[IFD0]          XPosition                       : 2",
                             "[IFD0]          PhotometricInterpretation       : 2"})
        EXPECT_NE(tags.out.find(line), std::string::npos) << line << "\n" << tags.out;
    EXPECT_EQ(tags.out.find("Warning"), std::string::npos) << tags.out;
}

TEST_F(TiffPeers, PagesWeAppendSplitIntoTheirOwnFiles)
{
    const std::string file = dir.File("pages.tif");
    std::vector<std::unique_ptr<TIEBitmap>> pages;
    for (int i = 0; i < 4; ++i) {
        pages.push_back(std::make_unique<TIEBitmap>());
        Fill(*pages.back(), i % 2 ? ie1g : ie24RGB, 20 + i);
    }
    // Written out of order: 1, then 3 at the end, then 0 first, then 2 before 3.
    const int order[4] = {1, 3, 0, 2};
    const int at[4] = {0, 9, 0, 2};
    for (int k = 0; k < 4; ++k) {
        TIOParamsVals p(nullptr);
        const int i = order[k];
        p.BitsPerSample = i % 2 ? 1 : 8;
        p.SamplesPerPixel = i % 2 ? 1 : 3;
        p.TIFFCompression = i % 2 ? 4 : 5;
        p.TIFFImageIndex = at[k];
        rtl::TFileStream out(file, k == 0 ? rtl::fmCreate : rtl::fmOpenReadWrite);
        test::Progress progress;
        EXPECT_EQ(WriteTIFFStream(out, k > 0, pages[std::size_t(i)].get(), progress.record, p), k + 1);
    }
    const auto info = peer::Run(Tool(VA_JUDGE_TIFFINFO) + "-D " + Quote(file));
    EXPECT_EQ(WithoutFaxOptionNotes(info.err), "");
    const std::string prefix = dir.File("split-");
    ASSERT_EQ(peer::Run(Tool(VA_JUDGE_TIFFSPLIT) + Quote(file) + " " + Quote(prefix)).status, 0);
    const char* parts[4] = {"aaa", "aab", "aac", "aad"};
    for (int i = 0; i < 4; ++i) {
        const Rgba want = ViaTiff2rgba(prefix + parts[i] + ".tif", dir);
        ASSERT_EQ(want.width, kW) << i;
        int wrong = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const std::uint8_t* e = want.data.data() + (std::size_t(y) * kW + x) * 4;
                wrong +=
                    test::Px(*pages[std::size_t(i)], x, y) != (std::uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
            }
        EXPECT_EQ(wrong, 0) << "page " << i;
    }
}

// exiftool prints a BYTE array as decimal numbers.
peer::Bytes ExiftoolBytes(const std::string& file, const char* tag)
{
    const auto r = peer::Run(Tool(VA_JUDGE_EXIFTOOL) + "-b -" + tag + " " + Quote(file));
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.out);
    peer::Bytes out;
    int v;
    while (in >> v)
        out.push_back(std::uint8_t(v));
    return out;
}

TEST_F(TiffPeers, AnnotationsKeepTheirBytesThroughOurSaveAndALibtiffRewrite)
{
    TIOParamsVals p(nullptr);
    auto line = std::make_unique<TIEImagingObject>();
    line->SetMarkType(kIEMarkFreehandLine);
    line->Points = {{1, 2}, {30, 40}, {-5, 600}};
    p.ImagingAnnot.Add(std::move(line));
    auto text = std::make_unique<TIEImagingObject>();
    text->SetMarkType(kIEMarkTypedText);
    text->SetFontHeight(-40);
    text->Text = "checked";
    text->CreationScale = 1000;
    p.ImagingAnnot.Add(std::move(text));
    auto reference = std::make_unique<TIEImagingObject>();
    reference->SetMarkType(kIEMarkImageReference);
    reference->FileName = "C:\\scans\\page.tif";
    p.ImagingAnnot.Add(std::move(reference));
    const std::vector<std::uint8_t> blob = p.ImagingAnnot.SaveToBuffer();

    TIEBitmap b;
    Fill(b, ie24RGB, 5);
    const std::string file = dir.File("annotated.tif");
    ASSERT_TRUE(WriteOurs(file, b, p));
    EXPECT_EQ(ExiftoolBytes(file, "WangAnnotation"), blob);
    // tiffset rewrites the directory through libtiff, which keeps the tag (tiffcp would drop it:
    // it copies only the tags it knows).
    ASSERT_EQ(peer::Run(Tool(VA_JUDGE_TIFFSET) + "-s 305 rewritten " + Quote(file)).status, 0);
    EXPECT_EQ(ExiftoolBytes(file, "WangAnnotation"), blob);
    // Load, save, load: nothing changes.
    Ours first;
    ReadOurs(file, first);
    ASSERT_EQ(first.params.ImagingAnnot.Count(), 3);
    EXPECT_EQ(first.params.ImagingAnnot.SaveToBuffer(), blob);
    const std::string again = dir.File("again.tif");
    ASSERT_TRUE(WriteOurs(again, first.bitmap, first.params));
    Ours second;
    ReadOurs(again, second);
    EXPECT_EQ(second.params.ImagingAnnot.SaveToBuffer(), blob);
    EXPECT_EQ(ExiftoolBytes(again, "WangAnnotation"), blob);
}

// JPEG pages: tiffcp's in YCbCr and RGB, in strips and tiles, read as tiff2rgba decodes them (both
// through libjpeg); ours pass tiffinfo and decode in tiff2rgba as our reader decodes them.
TEST_F(TiffPeers, JpegPagesBothWays)
{
    int judged = 0;
    for (const Source& s : Sources()) {
        if (s.name != "rgb8" && s.name != "grey8")
            continue;
        const std::string source = dir.File(s.name + ".tif");
        MakeSource(s, source);
        std::vector<std::string> codings = {"jpeg", "jpeg:50"};
        if (s.samples == 3)
            codings.push_back("jpeg:r");
        for (const std::string& coding : codings)
            for (const char* layout : {"-r 16", "-t -w 16 -l 16"}) {
                const std::string file = dir.File("jpeg.tif");
                const std::string options = "-c " + coding + " " + layout;
                const auto r =
                    peer::Run(Tool(VA_JUDGE_TIFFCP) + options + " " + Quote(source) + " " + Quote(file));
                ASSERT_EQ(r.status, 0) << options << ": " << r.err;
                const Rgba want = ViaTiff2rgba(file, dir);
                Ours ours;
                ReadOurs(file, ours);
                ASSERT_FALSE(ours.aborted) << s.name << " " << options;
                EXPECT_EQ(CompareWithRgba(ours, want, 0), 0) << s.name << " " << options;
                ++judged;
            }
    }
    EXPECT_EQ(judged, 10);

    for (int space : {0, 1, 2}) {
        // Smooth colours, as JPEG's subsampled chroma keeps them.
        TIEBitmap b;
        b.Allocate(kW, kH, ie24RGB);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                b.SetPixel24(x, y,
                             TRGB{std::uint8_t(x * 3), std::uint8_t(255 - y * 4), std::uint8_t(100 + x + y)});
        TIOParamsVals p(nullptr);
        p.TIFFCompression = 7;
        p.TIFFJPEGColorSpace = std::uint8_t(space);
        p.TIFFJPEGQuality = 90;
        const std::string file = dir.File("ours-jpeg.tif");
        ASSERT_TRUE(WriteOurs(file, b, p)) << space;
        EXPECT_EQ(p.TIFFCompression, 7);
        const auto info = peer::Run(Tool(VA_JUDGE_TIFFINFO) + "-D " + Quote(file));
        EXPECT_EQ(info.status, 0) << space;
        EXPECT_EQ(info.err, "") << space;
        const Rgba want = ViaTiff2rgba(file, dir);
        Ours ours;
        ReadOurs(file, ours);
        ASSERT_FALSE(ours.aborted) << space;
        EXPECT_EQ(CompareWithRgba(ours, want, 1), 0) << space;
        int far = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const TRGB a = b.GetPixelRGB(x, y), o = ours.bitmap.GetPixelRGB(x, y);
                const int grey =
                    int(0.299 * a.r + 0.587 * a.g + 0.114 * a.b + 0.5);  // the JPEG library's luma
                far += space == 1
                           ? std::abs(o.r - grey) > 6
                           : std::abs(a.r - o.r) > 6 || std::abs(a.g - o.g) > 6 || std::abs(a.b - o.b) > 6;
            }
        EXPECT_EQ(far, 0) << space;
    }
}

// CMYK JPEG pages, whose samples are amounts of ink as on every TIFF CMYK page: tiffcp's and
// ImageMagick's read as tiff2rgba decodes them; ours pass tiffinfo, decode in tiff2rgba as our
// reader decodes them, and in ImageMagick and tiff2rgba to the colours we wrote, within JPEG's loss.
TEST_F(TiffPeers, CmykJpegPagesBothWays)
{
    const std::string source = dir.File("cmyk-src.tif");
    MakeSource(Sources()[13], source);
    ASSERT_EQ(Sources()[13].name, "cmyk8");
    const std::vector<std::pair<std::string, std::string>> makers = {
        {"tiffcp", Tool(VA_JUDGE_TIFFCP) + "-c jpeg -r 16 " + Quote(source) + " "},
        {"tiffcp tiles", Tool(VA_JUDGE_TIFFCP) + "-c jpeg:60 -t -w 16 -l 16 " + Quote(source) + " "},
        {"ImageMagick", Tool(VA_JUDGE_CONVERT) + Quote(source) + " -compress jpeg -quality 85 "},
    };
    for (const auto& [maker, command] : makers) {
        const std::string file = dir.File("cmyk-jpeg.tif");
        const auto r = peer::Run(command + Quote(file));
        ASSERT_EQ(r.status, 0) << maker << ": " << r.err;
        const Rgba want = ViaTiff2rgba(file, dir);
        Ours ours;
        ReadOurs(file, ours);
        ASSERT_FALSE(ours.aborted) << maker;
        EXPECT_EQ(ours.params.TIFFPhotometric, 5) << maker;
        EXPECT_EQ(ours.params.TIFFCompression, 7) << maker;
        EXPECT_EQ(CompareWithRgba(ours, want, 0), 0) << maker;
    }

    // Smooth colours with every level of black.
    TIEBitmap b;
    b.Allocate(kW, kH, ie24RGB);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            b.SetPixel24(x, y,
                         TRGB{std::uint8_t(x * 3), std::uint8_t(255 - y * 5), std::uint8_t(60 + x + 2 * y)});
    TIOParamsVals p(nullptr);
    p.TIFFCompression = 7;
    p.TIFFJPEGColorSpace = 3;
    p.TIFFJPEGQuality = 95;
    const std::string file = dir.File("ours-cmyk-jpeg.tif");
    ASSERT_TRUE(WriteOurs(file, b, p));
    const auto info = peer::Run(Tool(VA_JUDGE_TIFFINFO) + "-D " + Quote(file));
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.err, "");
    EXPECT_NE(info.out.find("Photometric Interpretation: separated"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Compression Scheme: JPEG"), std::string::npos) << info.out;
    const Rgba viaLibtiff = ViaTiff2rgba(file, dir);
    Ours ours;
    ReadOurs(file, ours);
    ASSERT_FALSE(ours.aborted);
    EXPECT_EQ(CompareWithRgba(ours, viaLibtiff, 0), 0);
    const peer::Bytes viaMagick = ViaMagick(file);
    ASSERT_EQ(viaMagick.size(), std::size_t(kW) * kH * 3);
    int worstLibtiff = 0, worstMagick = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const TRGB a = b.GetPixelRGB(x, y);
            const std::uint8_t* l = viaLibtiff.data.data() + (std::size_t(y) * kW + x) * 4;
            const std::uint8_t* m = viaMagick.data() + (std::size_t(y) * kW + x) * 3;
            worstLibtiff =
                std::max({worstLibtiff, std::abs(a.r - l[0]), std::abs(a.g - l[1]), std::abs(a.b - l[2])});
            worstMagick =
                std::max({worstMagick, std::abs(a.r - m[0]), std::abs(a.g - m[1]), std::abs(a.b - m[2])});
        }
    EXPECT_LE(worstLibtiff, 6);
    EXPECT_LE(worstMagick, 6);
}

// ---- cut files ---------------------------------------------------------------------------------

// libtiff's verdict on a page: the file opens, the page is there, each of its strips or tiles and
// its RGBA image read without an error (warnings, such as a tag it ignores, are no verdict).
int libtiffErrors = 0;
void CountError(const char*, const char*, va_list) { ++libtiffErrors; }

bool LibtiffReads(const std::string& path, int page)
{
    libtiffErrors = 0;
    const TIFFErrorHandler kept = TIFFSetErrorHandler(CountError);
    const TIFFErrorHandler keptWarnings = TIFFSetWarningHandler(nullptr);
    bool ok = false;
    if (TIFF* tif = TIFFOpen(path.c_str(), "r")) {
        if (TIFFSetDirectory(tif, tdir_t(page))) {
            ok = true;
            const bool tiled = TIFFIsTiled(tif);
            const tmsize_t size = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
            std::vector<std::uint8_t> block(std::size_t(std::max<tmsize_t>(size, 1)));
            const std::uint32_t blocks = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
            for (std::uint32_t b = 0; b < blocks && ok; ++b)
                ok = (tiled ? TIFFReadEncodedTile(tif, b, block.data(), size)
                            : TIFFReadEncodedStrip(tif, b, block.data(), size)) >= 0;
            std::uint32_t w = 0, h = 0;
            TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
            TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
            std::vector<std::uint32_t> raster(std::size_t(w) * h);
            ok = ok && TIFFReadRGBAImage(tif, w, h, raster.data(), 1) == 1;
        }
        TIFFClose(tif);
    }
    TIFFSetErrorHandler(kept);
    TIFFSetWarningHandler(keptWarnings);
    return ok && libtiffErrors == 0;
}

// Every cut of files libtiff, exiftool (which puts the directory first) and our writer make, in
// each coding and layout and with several pages: where libtiff refuses the page, the component
// refuses it too and the image the user had stays; where libtiff reads it, so does the component,
// with the pixels tiff2rgba decodes from the whole file.
TEST_F(TiffPeers, CutFilesAreRefusedWhereLibtiffRefusesThemAndTheImageStays)
{
    struct File {
        std::string path;
        int pages = 1;
    };
    std::vector<File> files;
    const auto tiffcp = [&](const std::string& options, const std::string& in, const std::string& name) {
        const std::string out = dir.File(name);
        const auto r = peer::Run(Tool(VA_JUDGE_TIFFCP) + options + " " + in + " " + Quote(out));
        EXPECT_EQ(r.status, 0) << options << ": " << r.err;
        return out;
    };
    std::map<std::string, std::string> sources;
    for (const Source& s : Sources())
        if (s.name == "rgb8" || s.name == "grey8" || s.name == "pal4" || s.name == "bilevelw") {
            sources[s.name] = dir.File("cut-" + s.name + ".tif");
            MakeSource(s, sources[s.name]);
        }
    struct Variant {
        const char* source;
        const char* options;
    };
    const Variant variants[] = {
        {"rgb8", "-c none -r 7"},
        {"rgb8", "-c lzw:2 -r 7 -B"},
        {"rgb8", "-c packbits -t -w 16 -l 16"},
        {"rgb8", "-c jpeg -r 16"},
        {"grey8", "-c lzw -t -w 16 -l 16"},
        {"pal4", "-c none -r 9 -B"},
        {"bilevelw", "-c g3 -r 9"},
        {"bilevelw", "-c g3:2d -r 9 -B"},
        {"bilevelw", "-c g4 -r 9"},
        {"bilevelw", "-c lzw -t -w 16 -l 16"},
    };
    int made = 0;
    for (const Variant& v : variants) {
        const std::string name = "cut" + std::to_string(made++) + ".tif";
        const std::string file = tiffcp(v.options, Quote(sources[v.source]), name);
        files.push_back({file});
        // exiftool writes the directory first and the strips after it.
        const std::string first = dir.File("first-" + name);
        const auto r =
            peer::Run(Tool(VA_JUDGE_EXIFTOOL) + "-q -Artist=cut " + Quote(file) + " -o " + Quote(first));
        ASSERT_EQ(r.status, 0) << r.err;
        files.push_back({first});
    }
    files.push_back(
        {tiffcp("-c lzw",
                Quote(sources["rgb8"]) + " " + Quote(sources["bilevelw"]) + " " + Quote(sources["pal4"]),
                "cut-pages.tif"),
         3});
    for (const auto& [format, compression] : {std::pair{ie24RGB, 5}, {ie1g, 4}, {ie8g, 0}}) {
        TIEBitmap b;
        Fill(b, format, compression + 40);
        TIOParamsVals p(nullptr);
        p.BitsPerSample = format == ie1g ? 1 : 8;
        p.SamplesPerPixel = format == ie24RGB ? 3 : 1;
        p.TIFFCompression = std::uint8_t(compression);
        const std::string file = dir.File("cut-ours" + std::to_string(compression) + ".tif");
        ASSERT_TRUE(WriteOurs(file, b, p));
        files.push_back({file});
    }

    int refused = 0, read = 0;
    for (const File& f : files) {
        const peer::Bytes whole = peer::ReadFile(f.path);
        std::vector<std::size_t> cuts = {0, 4, 8, 9, 16, whole.size() - 4, whole.size() - 1};
        for (int k = 1; k < 48; ++k)
            cuts.push_back(whole.size() * std::size_t(k) / 48);
        for (int page = 0; page < f.pages; ++page) {
            // The whole file's page, a later one copied out on its own (losslessly: those pages are
            // LZW) for tiff2rgba, which reads the first.
            const Rgba want = ViaTiff2rgba(
                page ? tiffcp("", Quote(f.path + "," + std::to_string(page)), "cut-page.tif") : f.path, dir);
            for (const std::size_t cut : cuts) {
                const std::string cutPath = dir.File("cut.tif");
                peer::WriteFile(cutPath, peer::Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(cut)));
                const bool peerReads = LibtiffReads(cutPath, page);
                TIEBitmap target;
                Fill(target, ie24RGB, 9);
                const TRGB corner = target.GetPixelRGB(kW - 1, kH - 1);
                TVodirAdIO io(nullptr);
                io.SetAttachedTIEBitmap(&target);
                io.Params().TIFFImageIndex = page;
                io.LoadFromFile(cutPath);
                const std::string where = f.path + " page " + std::to_string(page) + " cut at " +
                                          std::to_string(cut) + " of " + std::to_string(whole.size());
                ASSERT_EQ(io.AbortFlag, !peerReads) << where;
                if (!peerReads) {
                    ++refused;
                    EXPECT_EQ(target.GetPixelFormat(), ie24RGB) << where;
                    EXPECT_EQ(target.GetPixelRGB(kW - 1, kH - 1), corner) << where;
                    continue;
                }
                ++read;
                ASSERT_EQ(target.GetWidth(), want.width) << where;
                int wrong = 0;
                for (int y = 0; y < want.height; ++y)
                    for (int x = 0; x < want.width; ++x) {
                        const std::uint8_t* e = want.data.data() + (std::size_t(y) * want.width + x) * 4;
                        wrong += test::Px(target, x, y) != (std::uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
                    }
                EXPECT_EQ(wrong, 0) << where;
            }
        }
    }
    EXPECT_GT(refused, 1000);
    EXPECT_GT(read, 20);
}

}  // namespace
