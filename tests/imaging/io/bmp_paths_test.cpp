// Every road into a BMP file reads it the same way: the I/O component's reader, the runtime reader
// TBitmap goes through (a file from a stream, then decoded), and DIB import of the same bytes after
// the file header. Each valid file gives the same pixels on all three; each damaged one is refused
// by all three, and a refused load leaves the component's image as it was.
#include "imaging/core/vodiradproc.h"
#include "imaging/io/bmpfilt.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/BmpReader.h"
#include "platform/rtl/Endian.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint32_t>;  // 0xRRGGBB, top row first

struct Spec {
    std::int32_t width = 4, height = 2;
    int bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t clrUsed = 0;
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::vector<std::uint32_t> masks;    // after the 40-byte header
    Bytes pixels;                        // as stored
};

void Put32(Bytes& b, std::size_t at, std::uint32_t v) { rtl::StoreLE32(b.data() + at, v); }

Bytes Build(const Spec& s)
{
    Bytes f(54, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 14, 40);
    Put32(f, 18, std::uint32_t(s.width));
    Put32(f, 22, std::uint32_t(s.height));
    rtl::StoreLE16(f.data() + 26, 1);
    rtl::StoreLE16(f.data() + 28, std::uint16_t(s.bits));
    Put32(f, 30, s.compression);
    Put32(f, 34, std::uint32_t(s.pixels.size()));
    Put32(f, 46, s.clrUsed);
    for (std::uint32_t m : s.masks)
        f.insert(f.end(),
                 {std::uint8_t(m), std::uint8_t(m >> 8), std::uint8_t(m >> 16), std::uint8_t(m >> 24)});
    for (std::uint32_t c : s.palette)
        f.insert(f.end(), {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16), 0});
    Put32(f, 10, std::uint32_t(f.size()));
    f.insert(f.end(), s.pixels.begin(), s.pixels.end());
    Put32(f, 2, std::uint32_t(f.size()));
    return f;
}

Pixels FromBitmap(TIEBitmap& b)
{
    Pixels out;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) {
            const TRGB c = b.GetPixelRGB(x, y);
            out.push_back(std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b);
        }
    return out;
}

// The component's reader; nothing when it sets the abort flag.
std::optional<Pixels> ReadIO(const Bytes& file)
{
    rtl::TMemoryStream m;
    if (!file.empty())
        m.WriteBuffer(file.data(), std::int32_t(file.size()));
    m.SetPosition(0);
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    std::atomic<bool> abort{false};
    TProgressRecord progress;
    progress.Aborting = &abort;
    ReadBMPStream(m, &b, 0, p, progress, false, false);
    if (abort)
        return std::nullopt;
    return FromBitmap(b);
}

// TBitmap's road: the file sized from a stream, then decoded; colours as every path shows them
// (indexes beyond the table black, 16-bit fields v * 255 / max rounded down).
std::optional<Pixels> ReadRuntime(const Bytes& file)
{
    try {
        rtl::TReadOnlyMemoryStream s(file.data(), std::int64_t(file.size()));
        const Bytes bytes = rtl::ReadBmpFile(s);
        const rtl::TBmpImage image = rtl::DecodeBmp(bytes.data(), bytes.size());
        const rtl::TBmpHeader& h = image.Header;
        Pixels out;
        for (int y = 0; y < h.Height; ++y) {
            const std::uint8_t* row = image.Row(y);
            for (int x = 0; x < h.Width; ++x) {
                auto entry = [&](unsigned i) -> std::uint32_t {
                    if (i >= h.Colors.size())
                        return 0;
                    const rtl::TBmpColor c = h.Colors[i];
                    return std::uint32_t(c.Red) << 16 | std::uint32_t(c.Green) << 8 | c.Blue;
                };
                auto field = [](std::uint32_t v, std::uint32_t max) { return v * 255 / max; };
                const std::uint32_t p16 = h.BitCount == 16 ? rtl::LoadLE16(row + 2 * x) : 0;
                switch (h.Format) {
                case rtl::bf1bit: out.push_back(entry((row[x / 8] >> (7 - x % 8)) & 1)); break;
                case rtl::bf4bit: out.push_back(entry((x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4)); break;
                case rtl::bf8bit: out.push_back(entry(row[x])); break;
                case rtl::bf15bit:
                    out.push_back(field(p16 >> 10 & 31, 31) << 16 | field(p16 >> 5 & 31, 31) << 8 |
                                  field(p16 & 31, 31));
                    break;
                case rtl::bf16bit:
                    out.push_back(field(p16 >> 11, 31) << 16 | field(p16 >> 5 & 63, 63) << 8 |
                                  field(p16 & 31, 31));
                    break;
                case rtl::bf24bit:
                    out.push_back(std::uint32_t(row[3 * x + 2]) << 16 | std::uint32_t(row[3 * x + 1]) << 8 |
                                  row[3 * x]);
                    break;
                case rtl::bf32bit: out.push_back(rtl::LoadLE32(row + 4 * x) & 0xFFFFFF); break;
                }
            }
        }
        return out;
    } catch (const rtl::EInvalidGraphic&) {
        return std::nullopt;
    }
}

// DIB import of the bytes after the file header (the files here keep their pixels right after
// the table, as a DIB does).
std::optional<Pixels> ReadDib(const Bytes& file)
{
    if (file.size() <= 14)
        return std::nullopt;
    TIEBitmap b;
    if (DIBToBitmap(file.data() + 14, file.size() - 14, &b) == 0)
        return std::nullopt;
    return FromBitmap(b);
}

std::string Show(const std::optional<Pixels>& p)
{
    if (!p)
        return "refused";
    std::string s;
    for (std::uint32_t v : *p) {
        char text[8];
        std::snprintf(text, sizeof text, "%06X ", unsigned(v));
        s += text;
    }
    return s;
}

struct Valid {
    const char* what;
    Bytes file;
    Pixels expect;
};

constexpr std::uint32_t R = 0xFF0000, G = 0x00FF00, B = 0x0000FF, K = 0, W = 0xFFFFFF;

std::vector<Valid> ValidFiles()
{
    std::vector<Valid> v;
    Spec rgb;
    rgb.pixels = {0, 0, 255, 0, 255, 0, 255, 0, 0, 1, 2, 3, 255, 255, 255, 0, 0, 0, 9, 9, 9, 10, 20, 30};
    v.push_back({"24 bits", Build(rgb), {W, K, 0x090909, 0x1E140A, R, G, B, 0x030201}});

    Spec table24 = rgb;  // a table at 24 bits precedes the pixels
    table24.clrUsed = 4;
    table24.palette = {R, R, R, R};
    v.push_back(
        {"24 bits with a 4-entry table", Build(table24), {W, K, 0x090909, 0x1E140A, R, G, B, 0x030201}});

    Spec pal8;
    pal8.bits = 8;
    pal8.palette = {R, G, B, W};
    pal8.clrUsed = 4;
    pal8.pixels = {0, 1, 2, 3, 3, 2, 1, 9};  // 9 is beyond the table
    v.push_back({"8 bits, an index beyond the table", Build(pal8), {W, B, G, K, R, G, B, W}});

    Spec many = pal8;
    many.clrUsed = 300;  // counts as none: 256 entries
    many.palette.resize(256, 0x123456);
    v.push_back({"8 bits, 300 colours", Build(many), {W, B, G, 0x123456, R, G, B, W}});

    Spec bw;
    bw.bits = 1;
    bw.palette = {W, K};
    bw.pixels = {0x50, 0, 0, 0, 0xA0, 0, 0, 0};
    v.push_back({"1 bit, white first", Build(bw), {K, W, K, W, W, K, W, K}});

    Spec rle8;  // uncovered pixels are entry 0, red here
    rle8.bits = 8;
    rle8.compression = 1;
    rle8.palette = {R, G, B, W};
    rle8.clrUsed = 4;
    rle8.pixels = {2, 1, 0, 0, 0, 2, 1, 0, 1, 3, 0, 1};
    v.push_back({"RLE8 with pixels no run reaches", Build(rle8), {R, W, R, R, G, G, R, R}});

    Spec rle4 = rle8;
    rle4.bits = 4;
    rle4.compression = 2;
    rle4.pixels = {3, 0x12, 0, 1};
    v.push_back({"RLE4 ending early", Build(rle4), {R, R, R, R, G, B, G, R}});

    Spec five;  // 5:5:5 fields 1, 3 and 30: 8, 24 and 246 rounded down
    five.bits = 16;
    five.width = 2;
    five.height = 1;
    five.pixels = {std::uint8_t(30 | 3 << 5), std::uint8_t(1 << 2 | 3 >> 3), 0xFF, 0x7F};
    v.push_back({"16 bits 5:5:5", Build(five), {0x0818F6, W}});

    Spec six = five;  // 5:6:5 with green 3 of 63: 12
    six.compression = 3;
    six.masks = {0xF800, 0x07E0, 0x001F};
    six.pixels = {std::uint8_t(30 | 3 << 5), std::uint8_t(1 << 3 | 3 >> 3), 0xFF, 0xFF};
    v.push_back({"16 bits 5:6:5", Build(six), {0x080CF6, W}});
    return v;
}

TEST(BmpPaths, ValidFilesReadTheSameOnEveryPath)
{
    for (const Valid& c : ValidFiles()) {
        EXPECT_EQ(Show(ReadIO(c.file)), Show(c.expect)) << c.what << ": I/O component";
        EXPECT_EQ(Show(ReadRuntime(c.file)), Show(c.expect)) << c.what << ": runtime reader";
        EXPECT_EQ(Show(ReadDib(c.file)), Show(c.expect)) << c.what << ": DIB import";
    }
}

std::vector<std::pair<std::string, Bytes>> DamagedFiles()
{
    std::vector<std::pair<std::string, Bytes>> d;
    // Every truncation of every valid file.
    for (const Valid& c : ValidFiles())
        for (std::size_t n = 0; n < c.file.size(); ++n)
            d.push_back({std::string(c.what) + " cut to " + std::to_string(n),
                         Bytes(c.file.begin(), c.file.begin() + n)});
    const Bytes good = ValidFiles()[0].file;
    auto patched = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        Put32(b, at, v);
        return b;
    };
    // (A DIB has no file header: these two are damage to files only.)
    d.push_back({"file: pixel offset beyond the file", patched(10, 4000)});
    d.push_back({"file: pixel offset inside the header", patched(10, 30)});
    d.push_back({"width 0", patched(18, 0)});
    d.push_back({"height 0", patched(22, 0)});
    // Tiny files that describe huge images.
    Spec huge;
    huge.width = huge.height = 18000;
    huge.pixels = Bytes(8, 0);
    d.push_back({"18000x18000 24-bit in 62 bytes", Build(huge)});
    Spec rle8;
    rle8.width = rle8.height = 18000;
    rle8.bits = 8;
    rle8.compression = 1;
    rle8.palette = std::vector<std::uint32_t>(256, 0);
    rle8.pixels = {0, 0, 0, 1};
    d.push_back({"18000x18000 RLE8 in 1082 bytes", Build(rle8)});
    Spec rle4 = rle8;
    rle4.bits = 4;
    rle4.compression = 2;
    rle4.palette.resize(16);
    d.push_back({"18000x18000 RLE4 in 122 bytes", Build(rle4)});
    return d;
}

TEST(BmpPaths, DamagedFilesAreRefusedOnEveryPath)
{
    for (const auto& [what, file] : DamagedFiles()) {
        EXPECT_FALSE(ReadIO(file)) << what << ": I/O component";
        EXPECT_FALSE(ReadRuntime(file)) << what << ": runtime reader";
        if (what.rfind("file: ", 0) != 0) {
            EXPECT_FALSE(ReadDib(file)) << what << ": DIB import";
        }
    }
}

TEST(BmpPaths, ARefusedLoadLeavesTheComponentsImage)
{
    TVodirAdIO io(nullptr);
    const Bytes good = ValidFiles()[0].file;
    rtl::TMemoryStream first;
    first.WriteBuffer(good.data(), std::int32_t(good.size()));
    first.SetPosition(0);
    io.LoadFromStream(first);
    ASSERT_FALSE(io.AbortFlag);
    for (const auto& [what, file] : DamagedFiles()) {
        if (file.size() < 2)
            continue;  // not even recognised as a BMP
        rtl::TMemoryStream m;
        m.WriteBuffer(file.data(), std::int32_t(file.size()));
        m.SetPosition(0);
        io.LoadFromStreamType(m, ioBMP);
        EXPECT_TRUE(io.AbortFlag) << what;
        ASSERT_EQ(Show(FromBitmap(*io.IEBitmap())), Show(ValidFiles()[0].expect)) << what;
    }
}

}  // namespace
