// Judges the DIB import against ImageMagick (16-bit bit fields, paletted and RLE BMPs with their
// 14-byte file header stripped) and the YUV frame import against ffmpeg's own decoding.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/iebitmap.h"
#include "peer_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

using namespace imaging;
using namespace imaging::test;

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Ffmpeg(const std::string& args)
{
    const std::string command = std::string(VA_JUDGE_FFMPEG) + " -v error -y " + args;
    return std::system(command.c_str());
}

// Smooth colours with a few hard edges, so both flat areas and chroma edges are judged.
TPnm Picture(int w, int h, unsigned seed)
{
    TPnm p{w, h, 3, {}};
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool edge = (x / 5 + y / 3) % 4 == 0;
            p.data.push_back(edge ? std::uint8_t(rng()) : std::uint8_t(x * 255 / w));
            p.data.push_back(std::uint8_t(y * 255 / h));
            p.data.push_back(edge ? 20 : std::uint8_t(255 - x * 200 / w));
        }
    return p;
}

// Largest channel difference between our bitmap and a peer's RGB picture; `widen` maps the peer's
// channel values first.
int Worst(TIEBitmap& bmp, const TPnm& peer, int (*widen)(int) = nullptr)
{
    EXPECT_EQ(bmp.GetWidth(), peer.width);
    EXPECT_EQ(bmp.GetHeight(), peer.height);
    if (bmp.GetWidth() != peer.width || bmp.GetHeight() != peer.height)
        return 256;
    int worst = 0;
    for (int y = 0; y < peer.height; ++y)
        for (int x = 0; x < peer.width; ++x) {
            const TRGB c = bmp.GetPixelRGB(x, y);
            const std::uint8_t* p = &peer.data[std::size_t((y * peer.width + x) * 3)];
            auto w = [&](int v) { return widen ? widen(v) : v; };
            worst =
                std::max({worst, std::abs(c.r - w(p[0])), std::abs(c.g - w(p[1])), std::abs(c.b - w(p[2]))});
        }
    return worst;
}

TEST(DibPeer, BmpLayoutsWithoutTheirFileHeaderMatchImageMagick)
{
    TempDir dir("dib_peer");
    WritePnm(dir.File("in.ppm"), Picture(37, 13, 1));
    struct TCase {
        const char* name;
        const char* options;  // how ImageMagick writes the BMP
        int bits;
    };
    // ImageMagick's BMP3 writer marks 16-bit pixels as bit fields without storing the masks, so
    // the 16-bit layouts are written with the header that carries them.
    const TCase cases[] = {
        {"RGB565", "-define bmp:subtype=RGB565 BMP", 16},
        {"RGB555", "-define bmp:subtype=RGB555 BMP", 16},
        {"ARGB4444", "-alpha set -define bmp:subtype=ARGB4444 BMP", 16},
        {"1-bit", "-colors 2 -type Palette BMP3", 1},
        {"4-bit", "-colors 12 BMP3", 4},
        {"8-bit RLE", "-colors 200 BMP3", 8},
        {"8-bit", "-colors 200 -compress None BMP3", 8},
        {"24-bit", "BMP3", 24},
    };
    for (const TCase& c : cases) {
        const std::string bmp = dir.File("out.bmp");
        ASSERT_EQ(Convert("'" + dir.File("in.ppm") + "' " + c.options + ":'" + bmp + "'"), 0) << c.name;
        ASSERT_EQ(Convert("'" + bmp + "' -depth 8 'ppm:" + dir.File("peer.ppm") + "'"), 0) << c.name;
        const TPnm peer = ReadPnm(dir.File("peer.ppm"));
        std::vector<std::uint8_t> file = ReadFile(bmp);
        ASSERT_GT(file.size(), 14u);
        const std::vector<std::uint8_t> dib(file.begin() + 14, file.end());
        TIEBitmap ours;
        EXPECT_EQ(DIBToBitmap(dib.data(), dib.size(), &ours), c.bits) << c.name;
        // The peer widens 4-bit fields by shifting (15 becomes 240), we by repeating them (255).
        auto repeatNibble = [](int v) { return v | (v >> 4); };
        const bool nibbles = std::string(c.name) == "ARGB4444";
        EXPECT_LE(Worst(ours, peer, nibbles ? +repeatNibble : nullptr), c.bits == 16 ? 1 : 0) << c.name;
    }
}

// A packed DIB of a video frame: the 40-byte header and the frame's bytes.
std::vector<std::uint8_t> FrameDib(const char* fourcc, int w, int h, int bits,
                                   const std::vector<std::uint8_t>& frame)
{
    std::vector<std::uint8_t> dib(40, 0);
    auto put32 = [&](int at, std::uint32_t v) { std::memcpy(&dib[std::size_t(at)], &v, 4); };
    put32(0, 40);
    put32(4, std::uint32_t(w));
    put32(8, std::uint32_t(h));
    dib[12] = 1;
    dib[14] = std::uint8_t(bits);
    std::memcpy(&dib[16], fourcc, 4);
    put32(20, std::uint32_t(frame.size()));
    dib.insert(dib.end(), frame.begin(), frame.end());
    return dib;
}

// Swaps the two chroma planes of a planar frame (I420 to YV12, yuv410p to YVU9).
std::vector<std::uint8_t> SwapChroma(const std::vector<std::uint8_t>& f, int w, int h, int sub)
{
    const std::size_t luma = std::size_t(w) * h;
    const std::size_t chroma = std::size_t((w + sub - 1) / sub) * std::size_t((h + sub - 1) / sub);
    std::vector<std::uint8_t> out(f.begin(), f.begin() + std::ptrdiff_t(luma));
    out.insert(out.end(), f.begin() + std::ptrdiff_t(luma + chroma),
               f.begin() + std::ptrdiff_t(luma + 2 * chroma));
    out.insert(out.end(), f.begin() + std::ptrdiff_t(luma), f.begin() + std::ptrdiff_t(luma + chroma));
    return out;
}

// IYU1 (U Y0 Y1 V Y2 Y3) from yuv411p, IYU2 (U Y V) from yuv444p; rows padded to 4 bytes.
std::vector<std::uint8_t> Pack(const std::string& fourcc, const std::vector<std::uint8_t>& planes, int w,
                               int h)
{
    const int sub = fourcc == "IYU1" ? 4 : 1;
    const int cw = (w + sub - 1) / sub;
    const std::uint8_t* y = planes.data();
    const std::uint8_t* u = y + std::size_t(w) * h;
    const std::uint8_t* v = u + std::size_t(cw) * h;
    const std::size_t unitBytes = sub == 4 ? 6 : 3;
    const std::size_t stride = (std::size_t(cw) * unitBytes + 3) / 4 * 4;
    std::vector<std::uint8_t> out(stride * std::size_t(h), 0);
    for (int r = 0; r < h; ++r)
        for (int i = 0; i < cw; ++i) {
            std::uint8_t* o = &out[stride * std::size_t(r) + std::size_t(i) * unitBytes];
            auto Y = [&](int k) { return y[std::size_t(r) * w + std::size_t(std::min(i * sub + k, w - 1))]; };
            const std::uint8_t U = u[std::size_t(r) * cw + std::size_t(i)],
                               V = v[std::size_t(r) * cw + std::size_t(i)];
            if (sub == 4) {
                o[0] = U, o[1] = Y(0), o[2] = Y(1), o[3] = V, o[4] = Y(2), o[5] = Y(3);
            } else {
                o[0] = U, o[1] = Y(0), o[2] = V;
            }
        }
    return out;
}

TEST(DibPeer, YuvFramesMatchFfmpeg)
{
    TempDir dir("yuv_peer");
    // Chroma is repeated, not interpolated, in the reference, as the frame layouts store it.
    const std::string flags = " -sws_flags accurate_rnd+full_chroma_int+neighbor -pix_fmt bgr24 -f rawvideo ";
    struct TCase {
        const char* fourcc;
        const char* pixFmt;  // raw ffmpeg pixel format, or empty for a codec
        const char* codec;
        int bits;
        int w, h;
        int swapSub;  // planar formats stored with V first: the subsampling, else 0
    };
    const TCase cases[] = {
        {"UYVY", "uyvy422", "", 16, 40, 12, 0}, {"YUY2", "yuyv422", "", 16, 40, 12, 0},
        {"YVYU", "yvyu422", "", 16, 40, 12, 0}, {"IYU1", "yuv411p", "", 12, 40, 12, 0},
        {"IYU2", "yuv444p", "", 24, 37, 12, 0}, {"I420", "yuv420p", "", 12, 40, 12, 0},
        {"I420", "yuv420p", "", 12, 37, 11, 0}, {"YV12", "yuv420p", "", 12, 37, 11, 2},
        {"YVU9", "yuv410p", "", 9, 40, 12, 4},  {"YVU9", "yuv410p", "", 9, 38, 13, 4},
        {"Y41P", "", "y41p", 12, 40, 12, 0},    {"CLJR", "", "cljr", 8, 40, 12, 0},
    };
    for (const TCase& c : cases) {
        const std::string size = std::to_string(c.w) + "x" + std::to_string(c.h);
        // The peer scales chroma by the plane sizes' ratio, which for odd sizes is not the layouts'
        // one chroma sample per block; it works on the size padded to whole blocks, and the frame
        // is then cut to the odd size, its chroma planes (rounded up) unchanged.
        const int sub = c.swapSub ? c.swapSub : std::string(c.pixFmt) == "yuv420p" ? 2 : 1;
        const int pw = (c.w + sub - 1) / sub * sub, ph = (c.h + sub - 1) / sub * sub;
        const std::string padded = std::to_string(pw) + "x" + std::to_string(ph);
        WritePnm(dir.File("in.ppm"), Picture(pw, ph, unsigned(c.w * c.h)));
        const std::string in = "-i '" + dir.File("in.ppm") + "' ";
        const std::string raw = dir.File("frame.raw"), ref = dir.File("ref.bgr");
        if (*c.pixFmt) {
            ASSERT_EQ(Ffmpeg(in + "-pix_fmt " + c.pixFmt + " -f rawvideo '" + raw + "'"), 0) << c.fourcc;
            ASSERT_EQ(Ffmpeg("-f rawvideo -pix_fmt " + std::string(c.pixFmt) + " -s " + padded + " -i '" +
                             raw + "'" + flags + "'" + ref + "'"),
                      0)
                << c.fourcc;
        } else {
            const std::string nut = dir.File("frame.nut");
            ASSERT_EQ(Ffmpeg(in + "-c:v " + c.codec + " -f nut '" + nut + "'"), 0) << c.fourcc;
            ASSERT_EQ(Ffmpeg("-i '" + nut + "' -c:v copy -f rawvideo '" + raw + "'"), 0) << c.fourcc;
            ASSERT_EQ(Ffmpeg("-i '" + nut + "'" + flags + "'" + ref + "'"), 0) << c.fourcc;
        }
        std::vector<std::uint8_t> frame = ReadFile(raw);
        // ffmpeg writes no IYU1 or IYU2: they are packed here from its planar 4:1:1 and 4:4:4.
        if (std::string(c.fourcc) == "IYU1" || std::string(c.fourcc) == "IYU2")
            frame = Pack(c.fourcc, frame, c.w, c.h);
        if (pw != c.w || ph != c.h) {
            std::vector<std::uint8_t> cut;
            for (int r = 0; r < c.h; ++r)
                cut.insert(cut.end(), frame.begin() + std::ptrdiff_t(r) * pw,
                           frame.begin() + std::ptrdiff_t(r) * pw + c.w);
            cut.insert(cut.end(), frame.begin() + std::ptrdiff_t(pw) * ph, frame.end());
            frame = cut;
        }
        if (c.swapSub)
            frame = SwapChroma(frame, c.w, c.h, c.swapSub);
        const std::vector<std::uint8_t> bgr = ReadFile(ref);
        ASSERT_EQ(bgr.size(), std::size_t(pw) * ph * 3) << c.fourcc;
        TPnm peer{c.w, c.h, 3, {}};
        for (int r = 0; r < c.h; ++r)
            for (int x = 0; x < c.w; ++x) {
                const std::uint8_t* p = &bgr[(std::size_t(r) * pw + std::size_t(x)) * 3];
                peer.data.insert(peer.data.end(), {p[2], p[1], p[0]});
            }
        const std::vector<std::uint8_t> dib = FrameDib(c.fourcc, c.w, c.h, c.bits, frame);
        TIEBitmap ours;
        ASSERT_EQ(DIBToBitmap(dib.data(), dib.size(), &ours), c.bits) << c.fourcc;
        EXPECT_LE(Worst(ours, peer), 1) << c.fourcc << " " << size;
    }
}

}  // namespace
