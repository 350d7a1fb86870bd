// GIF reader and writer judged by giflib's tools, gifsicle, netpbm and ImageMagick. Reading: files
// gifbuild makes from text (frames at offsets, local tables, interlace, transparency, disposal) read
// frame by frame to giftopnm's colours and ImageMagick's transparency, and composed as ImageMagick's
// -coalesce shows them. Writing: every depth, interlaced or not, transparent or not, placed on a
// larger screen, is decoded to the source pixels by gif2rgb, giftopnm and ImageMagick; gifsicle and
// giftext find the file sound and its fields as written, and gifbuild's dump shows the comment.
// Damage: files cut in their image data are refused as giftopnm and ImageMagick refuse them, and a
// file of code size 9 decodes to what they decode.
#include "imaging/io/giffilter.h"

#include "imaging/io/vodiradio.h"
#include "tests/imaging/io/gif_test_util.h"
#include "tests/imaging/io/io_peer_util.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>

using namespace imaging;
using peer::Quote;

namespace {

struct Frame {
    int left = 0, top = 0, w = 1, h = 1;
    std::vector<TRGB> local;
    bool interlaced = false;
    int disposal = -1;  // -1: no graphic control
    int transparent = -1;
    std::vector<std::uint8_t> pixels;
};

struct Scene {
    int w = 1, h = 1, background = 0;
    std::vector<TRGB> global;
    std::vector<Frame> frames;
};

std::string Table(const std::vector<TRGB>& t)
{
    std::ostringstream s;
    for (const TRGB& c : t)
        s << "\trgb " << int(c.r) << " " << int(c.g) << " " << int(c.b) << "\n";
    s << "end\n";
    return s.str();
}

std::string GifbuildText(const Scene& scene)
{
    std::ostringstream s;
    s << "screen width " << scene.w << "\nscreen height " << scene.h << "\n";
    s << "screen background " << scene.background << "\n";
    if (!scene.global.empty())
        s << "screen map\n" << Table(scene.global);
    for (const Frame& f : scene.frames) {
        if (f.disposal >= 0) {
            s << "graphics control\n\tdisposal mode " << f.disposal << "\n\tdelay 3\n";
            if (f.transparent >= 0)
                s << "\ttransparent index " << f.transparent << "\n";
            s << "end\n";
        }
        s << "image\nimage left " << f.left << "\nimage top " << f.top << "\n";
        if (f.interlaced)
            s << "image interlaced\n";
        if (!f.local.empty())
            s << "image map\n" << Table(f.local);
        s << "image bits " << f.w << " by " << f.h << " hex\n";
        for (int y = 0; y < f.h; ++y) {
            for (int x = 0; x < f.w; ++x) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", f.pixels[std::size_t(y * f.w + x)]);
                s << hex;
            }
            s << "\n";
        }
    }
    return s.str();
}

std::vector<TRGB> RandomTable(std::mt19937& rng, int bits)
{
    std::vector<TRGB> t(std::size_t(1) << bits);
    for (auto& c : t)
        c = TRGB{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
    return t;
}

// Pixels of the bitmap whose colour is not the peer's; -1 when the sizes differ.
int WrongPixels(TIEBitmap& b, const peer::Pnm& want)
{
    if (b.GetWidth() != want.width || b.GetHeight() != want.height)
        return -1;
    int wrong = 0;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const std::uint8_t* e = want.data.data() + (std::size_t(y) * want.width + x) * 3;
            wrong += test::Px(b, x, y) != (std::uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
        }
    return wrong;
}

// Frames inside the screen; disposal none, leave or background, as ImageMagick composes them.
Scene RandomScene(unsigned seed)
{
    std::mt19937 rng(seed);
    Scene s;
    s.w = 8 + int(rng() % 40);
    s.h = 8 + int(rng() % 30);
    const int globalBits = 1 + int(rng() % 8);
    s.global = RandomTable(rng, globalBits);
    s.background = int(rng() % s.global.size());
    const int frames = 1 + int(rng() % 4);
    for (int i = 0; i < frames; ++i) {
        Frame f;
        f.w = i == 0 ? s.w : 1 + int(rng() % unsigned(s.w));
        f.h = i == 0 ? s.h : 1 + int(rng() % unsigned(s.h));
        f.left = int(rng() % unsigned(s.w - f.w + 1));
        f.top = int(rng() % unsigned(s.h - f.h + 1));
        if (rng() % 2)
            f.local = RandomTable(rng, 1 + int(rng() % 8));
        f.interlaced = rng() % 2;
        const int colors = int((f.local.empty() ? s.global : f.local).size());
        if (i > 0 || rng() % 2) {
            f.disposal = int(rng() % 3);
            // Below every table's size: giftopnm carries a transparent index on to later frames.
            if (rng() % 2)
                f.transparent = int(rng() % 2);
        }
        f.pixels.resize(std::size_t(f.w) * std::size_t(f.h));
        for (auto& p : f.pixels)
            p = std::uint8_t(rng() % unsigned(colors));
        s.frames.push_back(f);
    }
    return s;
}

class GifPeers : public ::testing::Test {
protected:
    peer::TempDir dir{"va_gif_peers"};

    std::string Build(const Scene& scene, const std::string& name)
    {
        const std::string text = dir.File(name + ".txt");
        const std::string gif = dir.File(name + ".gif");
        peer::WriteText(text, GifbuildText(scene));
        const auto r = peer::Run(std::string(VA_JUDGE_GIFBUILD) + " " + Quote(text) + " >" + Quote(gif));
        EXPECT_EQ(r.status, 0) << r.err;
        return gif;
    }
};

// The colours are judged by giftopnm; the transparency by ImageMagick, since giftopnm keeps a
// transparent index from an earlier frame's control block where the format says it ends.
TEST_F(GifPeers, FramesGifbuildMadeReadAsGiftopnmAndImageMagickDecodeThem)
{
    int frames = 0;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        const Scene scene = RandomScene(seed);
        const std::string gif = Build(scene, "read" + std::to_string(seed));
        const peer::Bytes file = peer::ReadFile(gif);
        for (std::size_t i = 0; i < scene.frames.size(); ++i, ++frames) {
            const std::string where = "seed " + std::to_string(seed) + " frame " + std::to_string(i);
            const auto r = peer::Run(std::string(VA_JUDGE_GIFTOPNM) +
                                     " -repair -image=" + std::to_string(i + 1) + " " + Quote(gif));
            ASSERT_EQ(r.status, 0) << r.err;
            const peer::Pnm want = peer::ParsePnm(r.out);
            const auto im =
                peer::Run(std::string(VA_JUDGE_CONVERT) + " " + Quote(gif + "[" + std::to_string(i) + "]") +
                          " +repage -depth 8 rgba:-");
            ASSERT_EQ(im.status, 0) << im.err;
            TIEBitmap b;
            std::unique_ptr<TIEMask> mask;
            TIOParamsVals p(nullptr);
            p.GIFImageIndex = int(i);
            test::Progress progress;
            int count = 0;
            rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
            ReadGIFStream(in, &b, count, false, mask, false, progress.record, p);
            ASSERT_FALSE(progress.Aborted());
            EXPECT_EQ(count, int(scene.frames.size()));
            ASSERT_EQ(want.channels, 3);
            ASSERT_EQ(b.GetWidth(), want.width) << where;
            ASSERT_EQ(b.GetHeight(), want.height) << where;
            ASSERT_EQ(im.out.size(), std::size_t(want.width) * want.height * 4) << where;
            ASSERT_TRUE(mask);
            int wrong = 0, wrongAlpha = 0;
            for (int y = 0; y < want.height; ++y)
                for (int x = 0; x < want.width; ++x) {
                    const std::size_t at = std::size_t(y) * want.width + x;
                    const std::uint8_t* e = want.data.data() + at * 3;
                    wrong += test::Px(b, x, y) != (std::uint32_t(e[0]) << 16 | e[1] << 8 | e[2]);
                    wrongAlpha += mask->GetPixel(x, y) != std::uint8_t(im.out[at * 4 + 3]);
                }
            EXPECT_EQ(wrong, 0) << where;
            EXPECT_EQ(wrongAlpha, 0) << where;
            EXPECT_EQ(p.GIFXPos, scene.frames[i].left);
            EXPECT_EQ(p.GIFInterlaced, scene.frames[i].interlaced);
        }
    }
    EXPECT_GT(frames, 40);
}

TEST_F(GifPeers, ComposedFramesMatchImageMagickCoalesce)
{
    for (unsigned seed = 101; seed <= 116; ++seed) {
        const Scene scene = RandomScene(seed);
        const std::string gif = Build(scene, "compose" + std::to_string(seed));
        const std::string pattern = dir.File("co" + std::to_string(seed) + "-%d.rgba");
        const auto r = peer::Run(std::string(VA_JUDGE_CONVERT) + " " + Quote(gif) +
                                 " -coalesce +adjoin -depth 8 " + Quote("rgba:" + pattern));
        ASSERT_EQ(r.status, 0) << r.err;
        // A new component for each frame, then one that steps through them all, back to the
        // middle and on to the end again, going on from the frame it showed before.
        const std::size_t n = scene.frames.size();
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < n; ++i)
            order.push_back(i);
        for (std::size_t i = 0; i < n; ++i)
            order.push_back(i);
        for (std::size_t i = n / 2; i < n; ++i)
            order.push_back(i);
        TVodirAdIO stepping(nullptr);
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::size_t i = order[k];
            const peer::Bytes want =
                peer::ReadFile(dir.File("co" + std::to_string(seed) + "-" + std::to_string(i) + ".rgba"));
            TVodirAdIO fresh(nullptr);
            TVodirAdIO& io = k < n ? fresh : stepping;
            io.Params().GIFImageIndex = int(i);
            io.LoadFromFile(gif);
            ASSERT_FALSE(io.AbortFlag);
            TIEBitmap& b = *io.IEBitmap();
            const int w = b.GetWidth(), h = b.GetHeight();
            ASSERT_EQ(std::size_t(w) * h * 4, want.size()) << "seed " << seed << " frame " << i;
            int wrong = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::uint8_t* e = want.data() + (std::size_t(y) * w + x) * 4;
                    const int alpha = b.HasAlphaChannel() ? b.GetAlpha(x, y) : 255;
                    if (alpha != e[3])
                        ++wrong;
                    else if (alpha != 0 &&
                             test::Px(b, x, y) != (std::uint32_t(e[0]) << 16 | e[1] << 8 | e[2]))
                        ++wrong;
                }
            EXPECT_EQ(wrong, 0) << "seed " << seed << " frame " << i << (k < n ? "" : " stepping");
        }
    }
}

// GIFs gifbuild made, plain and interlaced, cut anywhere in their image data: giftopnm and
// ImageMagick refuse each, and so do the reader and the component, which keeps its picture. In an
// animation cut in its last frame, the frames before it still read as giftopnm reads them.
TEST_F(GifPeers, FilesCutInTheirImageDataAreRefusedAsThePeersRefuseThem)
{
    std::mt19937 rng(77);
    int refused = 0;
    for (int frames : {1, 3}) {
        for (bool interlaced : {false, true}) {
            Scene scene;
            scene.w = 48;
            scene.h = 36;
            scene.global = RandomTable(rng, 8);
            for (int i = 0; i < frames; ++i) {
                Frame f;
                f.w = scene.w;
                f.h = scene.h;
                f.interlaced = interlaced;
                f.pixels.resize(std::size_t(f.w) * std::size_t(f.h));
                for (auto& p : f.pixels)
                    p = std::uint8_t(rng());
                scene.frames.push_back(f);
            }
            const std::string name = "cut" + std::to_string(frames) + (interlaced ? "i" : "p");
            const peer::Bytes whole = peer::ReadFile(Build(scene, name));
            // The last frame's data: from its code size byte to the trailer.
            const auto last = codectest::ParseGif(whole);
            std::size_t data = last.dataOffset;
            for (int i = 1; i < frames; ++i) {
                for (++data; whole[data] != 0; data += whole[data] + 1u)
                    ;
                data += 11;  // the terminator, the separator and the descriptor: no local table
            }
            ASSERT_EQ(whole[data], 8) << name;
            const std::size_t length = whole.size() - 1 - data;
            for (std::size_t sixth = 1; sixth <= 5; ++sixth) {
                const std::string where = name + " cut at " + std::to_string(sixth) + "/6";
                const peer::Bytes cut(whole.begin(),
                                      whole.begin() + std::ptrdiff_t(data + length * sixth / 6));
                const std::string path = dir.File(name + "-" + std::to_string(sixth) + ".gif");
                peer::WriteFile(path, cut);
                const std::string image = std::to_string(frames);
                EXPECT_NE(
                    peer::Run(std::string(VA_JUDGE_GIFTOPNM) + " -image=" + image + " " + Quote(path)).status,
                    0)
                    << where;
                EXPECT_NE(peer::Run(std::string(VA_JUDGE_CONVERT) + " " +
                                    Quote(path + "[" + std::to_string(frames - 1) + "]") + " ppm:-")
                              .status,
                          0)
                    << where;

                TIEBitmap b;
                std::unique_ptr<TIEMask> mask;
                TIOParamsVals p(nullptr);
                p.GIFImageIndex = frames - 1;
                test::Progress progress;
                int count = 0;
                rtl::TReadOnlyMemoryStream in(cut.data(), std::int64_t(cut.size()));
                ReadGIFStream(in, &b, count, false, mask, false, progress.record, p);
                EXPECT_TRUE(progress.Aborted()) << where;
                TVodirAdIO io(nullptr);
                io.IEBitmap()->Allocate(5, 5, ie24RGB);
                io.Params().GIFImageIndex = frames - 1;
                io.LoadFromFile(path);
                EXPECT_TRUE(io.AbortFlag) << where;
                EXPECT_EQ(io.IEBitmap()->GetWidth(), 5) << where;
                refused += progress.Aborted() && io.AbortFlag;
                if (frames == 1)
                    continue;
                // The frame before the cut one; giftopnm looks past the frame asked for, so it reads
                // it only when told to repair.
                const auto r = peer::Run(std::string(VA_JUDGE_GIFTOPNM) +
                                         " -repair -image=" + std::to_string(frames - 1) + " " + Quote(path));
                ASSERT_EQ(r.status, 0) << where << r.err;
                const peer::Pnm want = peer::ParsePnm(r.out);
                io.Params().GIFImageIndex = frames - 2;
                io.LoadFromFile(path);
                ASSERT_FALSE(io.AbortFlag) << where;
                EXPECT_EQ(WrongPixels(*io.IEBitmap(), want), 0) << where;
            }
        }
    }
    EXPECT_EQ(refused, 20);
}

// Code size 9 (10-bit codes from the start, literals below 256 only), plain and interlaced: the
// pixels giftopnm and ImageMagick decode.
TEST_F(GifPeers, CodeSizeNineDecodesAsThePeersDecodeIt)
{
    std::mt19937 rng(9);
    for (bool interlaced : {false, true}) {
        const int w = 97, h = 61;
        const std::vector<TRGB> table = RandomTable(rng, 8);
        std::vector<std::uint8_t> pixels(std::size_t(w) * h);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = std::uint8_t(rng() % (i % 7 == 0 ? 256 : 12));  // runs for the table to grow on
        // Rows in the order the file holds them.
        std::vector<std::uint8_t> coded;
        for (const auto& [start, step] :
             {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}}) {
            for (int y = interlaced ? start : 0; y < h; y += interlaced ? step : 1)
                coded.insert(coded.end(), pixels.begin() + std::ptrdiff_t(y) * w,
                             pixels.begin() + std::ptrdiff_t(y + 1) * w);
            if (!interlaced)
                break;
        }
        peer::Bytes file = {'G', 'I', 'F', '8', '9', 'a', std::uint8_t(w), 0, std::uint8_t(h), 0, 0xF7, 0, 0};
        for (const TRGB& c : table)
            file.insert(file.end(), {c.r, c.g, c.b});
        file.insert(file.end(), {0x2C, 0, 0, 0, 0, std::uint8_t(w), 0, std::uint8_t(h), 0,
                                 std::uint8_t(interlaced ? 0x40 : 0)});
        const auto lzw = codectest::ReferenceGifLzw(coded, 9, false);
        ASSERT_EQ(lzw[0], 9);
        file.insert(file.end(), lzw.begin(), lzw.end());
        file.push_back(0x3B);
        const std::string path = dir.File(std::string("nine") + (interlaced ? "i" : "p") + ".gif");
        peer::WriteFile(path, file);

        const auto g = peer::Run(std::string(VA_JUDGE_GIFTOPNM) + " " + Quote(path));
        ASSERT_EQ(g.status, 0) << g.err;
        const peer::Pnm byGiftopnm = peer::ParsePnm(g.out);
        const auto m = peer::Run(std::string(VA_JUDGE_CONVERT) + " " + Quote(path) + " -depth 8 ppm:-");
        ASSERT_EQ(m.status, 0) << m.err;
        const peer::Pnm byMagick = peer::ParsePnm(m.out);
        TVodirAdIO io(nullptr);
        io.LoadFromFile(path);
        ASSERT_FALSE(io.AbortFlag);
        TIEBitmap& b = *io.IEBitmap();
        ASSERT_EQ(b.GetWidth(), w);
        ASSERT_EQ(b.GetHeight(), h);
        for (const peer::Pnm* want : {&byGiftopnm, &byMagick})
            EXPECT_EQ(WrongPixels(b, *want), 0) << (interlaced ? "interlaced, " : "plain, ")
                                                << (want == &byGiftopnm ? "giftopnm" : "ImageMagick");
    }
}

// ---- files we write ----------------------------------------------------------------------------

struct Written {
    TIEBitmap source;
    int left = 0, top = 0;
    bool interlaced = false, transparent = false;
    int bits = 8;
    std::string path;
};

void MakeImage(Written& w, unsigned seed)
{
    std::mt19937 rng(seed);
    const int width = 1 + int(rng() % 70), height = 1 + int(rng() % 50);
    w.bits = 1 + int(seed % 8);
    // No more colours than the depth holds (one fewer with transparency), so every peer must find
    // exactly the source's pixels.
    w.transparent = seed % 3 == 0 && w.bits > 1;
    const int colors = (1 << w.bits) - (w.transparent ? 1 : 0);
    std::vector<TRGB> table(static_cast<std::size_t>(colors));
    for (auto& c : table)
        c = TRGB{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
    w.source.Allocate(width, height, ie24RGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            w.source.SetPixel24(x, y, table[rng() % table.size()]);
    if (w.transparent) {
        TIEBitmap* a = w.source.GetAlphaChannel();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (rng() % 4 == 0)
                    a->ScanLine(y)[x] = 0;
    }
    w.interlaced = rng() % 2;
    w.left = rng() % 2 ? int(rng() % 20) : 0;
    w.top = rng() % 2 ? int(rng() % 20) : 0;
}

TEST_F(GifPeers, FilesWeWriteDecodeToTheSourceInEveryPeer)
{
    for (unsigned seed = 1; seed <= 32; ++seed) {
        Written w;
        MakeImage(w, seed);
        w.path = dir.File("written" + std::to_string(seed) + ".gif");
        TIOParamsVals p(nullptr);
        p.BitsPerSample = w.bits;
        p.GIFInterlaced = w.interlaced;
        p.GIFXPos = w.left;
        p.GIFYPos = w.top;
        p.GIFComments.Add("seed " + std::to_string(seed));
        test::Progress progress;
        WriteGIFFile(w.path, &w.source, p, progress.record);
        ASSERT_FALSE(progress.Aborted());
        const int width = w.source.GetWidth(), height = w.source.GetHeight();
        const std::string where = "seed " + std::to_string(seed);
        auto opaque = [&](int x, int y) { return !w.transparent || w.source.GetAlpha(x, y) == 255; };

        // giftopnm: the frame and its transparency.
        const std::string alphaPath = dir.File("w-alpha.pbm");
        const auto pnm = peer::Run(std::string(VA_JUDGE_GIFTOPNM) + " -alphaout=" + Quote(alphaPath) + " " +
                                   Quote(w.path));
        ASSERT_EQ(pnm.status, 0) << pnm.err;
        const peer::Pnm frame = peer::ParsePnm(pnm.out);
        const peer::Pnm alpha = peer::ReadPnm(alphaPath);
        ASSERT_EQ(frame.width, width) << where;
        ASSERT_EQ(frame.height, height) << where;
        // gif2rgb: the whole screen, the frame at its place.
        const std::string rgbPath = dir.File("w.rgb");
        const auto rgb =
            peer::Run(std::string(VA_JUDGE_GIF2RGB) + " -1 -o " + Quote(rgbPath) + " " + Quote(w.path));
        ASSERT_EQ(rgb.status, 0) << rgb.err;
        const peer::Bytes screen = peer::ReadFile(rgbPath);
        const int screenW = w.left + width;
        ASSERT_EQ(screen.size(), std::size_t(screenW) * (w.top + height) * 3) << where;
        // ImageMagick: the frame with its alpha.
        const auto im =
            peer::Run(std::string(VA_JUDGE_CONVERT) + " " + Quote(w.path) + " +repage -depth 8 rgba:-");
        ASSERT_EQ(im.status, 0) << im.err;
        ASSERT_EQ(im.out.size(), std::size_t(width) * height * 4) << where;
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint32_t want = test::Px(w.source, x, y);
                const std::size_t i = std::size_t(y) * width + x;
                const std::uint8_t* f = frame.data.data() + i * 3;
                const std::uint8_t* s = screen.data() + (std::size_t(y + w.top) * screenW + x + w.left) * 3;
                const auto* m = reinterpret_cast<const std::uint8_t*>(im.out.data()) + i * 4;
                const bool visible = opaque(x, y);
                const int a = alpha.Empty() ? 255 : alpha.data[i];
                wrong += (a == 255) != visible || m[3] != (visible ? 255 : 0);
                if (visible) {
                    wrong += (std::uint32_t(f[0]) << 16 | f[1] << 8 | f[2]) != want;
                    wrong += (std::uint32_t(s[0]) << 16 | s[1] << 8 | s[2]) != want;
                    wrong += (std::uint32_t(m[0]) << 16 | m[1] << 8 | m[2]) != want;
                }
            }
        EXPECT_EQ(wrong, 0) << where;

        // gifsicle reads it carefully and sees what was written.
        const auto info = peer::Run(std::string(VA_JUDGE_GIFSICLE) + " --info --careful " + Quote(w.path));
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_TRUE(info.err.empty()) << info.err;
        EXPECT_NE(
            info.out.find("logical screen " + std::to_string(screenW) + "x" + std::to_string(w.top + height)),
            std::string::npos)
            << info.out;
        EXPECT_NE(info.out.find("+ image #0 " + std::to_string(width) + "x" + std::to_string(height)),
                  std::string::npos)
            << info.out;
        EXPECT_EQ(info.out.find("interlaced") != std::string::npos, w.interlaced) << info.out;
        EXPECT_EQ(info.out.find("transparent") != std::string::npos, w.transparent) << info.out;
        // giftext walks every block to the end.
        const auto text = peer::Run(std::string(VA_JUDGE_GIFTEXT) + " " + Quote(w.path));
        ASSERT_EQ(text.status, 0) << text.err;
        EXPECT_NE(text.out.find("GIF file terminated normally."), std::string::npos) << text.out;
        EXPECT_NE(text.out.find("Left = " + std::to_string(w.left) + ", Top = " + std::to_string(w.top)),
                  std::string::npos)
            << text.out;
        // gifbuild's dump shows the comment.
        const auto dump = peer::Run(std::string(VA_JUDGE_GIFBUILD) + " -d " + Quote(w.path));
        ASSERT_EQ(dump.status, 0) << dump.err;
        EXPECT_NE(dump.out.find("comment\nseed " + std::to_string(seed) + "\nend"), std::string::npos)
            << dump.out;
    }
}

}  // namespace
