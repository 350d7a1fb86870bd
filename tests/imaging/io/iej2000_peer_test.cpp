// JPEG 2000 judged by codecs that share no code with OpenJPEG: ffmpeg's own decoder and encoder and
// Grok. Lossless files go both ways pixel for pixel; lossy ones must keep the quality their rate
// buys; opj_dump reads back the code-stream parameters the writer chose.
#include "imaging/io/iej2000.h"

#include "tests/imaging/io/image_test_util.h"
#include "tests/imaging/io/peer_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

using namespace imaging;
using namespace imaging::test;

namespace {

const char* Ext(int format) { return format == kJ2000FormatJP2 ? ".jp2" : ".j2k"; }

void WriteFile(const std::string& path, TIEBitmap& b, TIOParamsVals& p, int format)
{
    rtl::TMemoryStream m;
    Progress progress;
    WriteJ2000Stream(m, &b, p, format, progress.record);
    ASSERT_FALSE(progress.abort);
    m.SaveToFile(path);
}

bool ReadFile(const std::string& path, TIEBitmap& b)
{
    rtl::TMemoryStream m;
    m.LoadFromFile(path);
    TIOParamsVals p(nullptr);
    Progress progress;
    ReadJ2000Stream(m, &b, p, false, progress.record);
    return !progress.abort;
}

// ffmpeg's native decoder (never the OpenJPEG wrapper) and Grok, to 8-bit PNM.
TPnm FfmpegDecode(const TempDir& dir, const std::string& file, int channels)
{
    const std::string out = dir.File(channels == 1 ? "ff.pgm" : "ff.ppm");
    const peer::RunResult r =
        peer::Run(std::string(VA_JUDGE_FFMPEG) + " -nostdin -v error -c:v jpeg2000 -i " + file +
                  " -pix_fmt " + (channels == 1 ? "gray" : "rgb24") + " -f image2 -y " + out);
    EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    return ReadPnm(out);
}

TPnm GrokDecode(const TempDir& dir, const std::string& file, int channels)
{
    const std::string out = dir.File(channels == 1 ? "grk.pgm" : "grk.ppm");
    const peer::RunResult r = peer::Run(std::string(VA_JUDGE_GRK_DECOMPRESS) + " -i " + file + " -o " + out);
    EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    return ReadPnm(out);
}

TEST(J2000Peers, OurLosslessFilesDecodeExactlyInFfmpegAndGrok)
{
    TempDir dir("j2000_peers");
    TIEBitmap photo;
    Photo(photo, 97, 61);
    struct Case {
        const char* what;
        int space;
        int scalable;
    };
    for (const Case c :
         {Case{"colour", 1, 0}, {"colour, resolution first", 1, 1}, {"YCbCr asked", 2, 0}, {"grey", 0, 0}}) {
        for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
            TIOParamsVals p(nullptr);
            p.J2000ColorSpace = c.space;
            p.J2000ScalableBy = std::uint8_t(c.scalable);
            const std::string file = dir.File(std::string("ours") + Ext(format));
            WriteFile(file, photo, p, format);
            const int channels = c.space == 0 ? 1 : 3;
            const TPnm want = ToPnm(photo, channels);
            const TPnm ff = FfmpegDecode(dir, file, channels);
            EXPECT_EQ(ff.data, want.data) << c.what << Ext(format) << " in ffmpeg";
            const TPnm grk = GrokDecode(dir, file, channels);
            EXPECT_EQ(grk.data, want.data) << c.what << Ext(format) << " in Grok";
        }
    }
}

TEST(J2000Peers, OurBilevelFilesDecodeToBlackAndWhiteInGrok)
{
    TempDir dir("j2000_peers");
    TIEBitmap bw;
    Bilevel(bw, 50, 37);
    for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
        TIOParamsVals p(nullptr);
        const std::string file = dir.File(std::string("bw") + Ext(format));
        WriteFile(file, bw, p, format);
        // Grok keeps the 1-bit depth (maxval 1); ffmpeg has no 1-bit output format to compare.
        const std::string out = dir.File("bw.pgm");
        const peer::RunResult r =
            peer::Run(std::string(VA_JUDGE_GRK_DECOMPRESS) + " -i " + file + " -o " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        int w = 0, h = 0, maxval = 0;
        const std::vector<std::uint8_t> pgm = PnmSamples(out, w, h, maxval);
        ASSERT_EQ(w, 50);
        ASSERT_EQ(h, 37);
        ASSERT_EQ(maxval, 1);
        int wrong = 0;
        for (int y = 0; y < 37; ++y)
            for (int x = 0; x < 50; ++x)
                wrong += pgm[std::size_t(y) * 50 + x] != (BitAt(bw, x, y) ? 1 : 0);
        EXPECT_EQ(wrong, 0) << Ext(format);
    }
}

// Random bits code to more than their raw size, and a picture whose wavelet low band passes what
// the library's default guard bits hold: the files must still be whole and exact.
TEST(J2000Peers, HardBilevelFilesDecodeExactlyInOpenJpegAndGrok)
{
    TempDir dir("j2000_peers");
    std::vector<std::pair<std::string, TIEBitmap>> pictures(5);
    int n = 0;
    for (auto [w, h] : {std::pair{4097, 3}, {2050, 16}, {2049, 2000}, {2480, 3508}}) {
        pictures[std::size_t(n)].first = "noise " + std::to_string(w) + "x" + std::to_string(h);
        Noise1(pictures[std::size_t(n++)].second, w, h, unsigned(w * h));
    }
    rtl::TMemoryStream pbm;
    pbm.LoadFromFile(std::string(VA_TEST_DATA_DIR) + "/imaging/io/j2000/lowband-overflow.pbm");
    ASSERT_EQ(pbm.Size(), 9 + 64 * 8);
    pictures[4].first = "low band past the guard bits";
    pictures[4].second.Allocate(64, 64, ie1g);
    for (int y = 0; y < 64; ++y)
        std::memcpy(pictures[4].second.ScanLine(y), pbm.Bytes().data() + 9 + y * 8, 8);
    for (auto& [name, picture] : pictures) {
        const int w = picture.GetWidth(), h = picture.GetHeight();
        for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
            TIOParamsVals p(nullptr);
            const std::string file = dir.File(std::string("hard") + Ext(format));
            WriteFile(file, picture, p, format);
            const std::string where = name + Ext(format);
            // Grok on one thread: on several it decodes such files differently from run to run.
            for (const std::string& decode : {std::string(VA_JUDGE_OPJ_DECOMPRESS) + " -quiet",
                                              std::string(VA_JUDGE_GRK_DECOMPRESS) + " -H 1"}) {
                const std::string out = dir.File("hard.pgm");
                std::remove(out.c_str());
                const peer::RunResult r = peer::Run(decode + " -i " + file + " -o " + out);
                ASSERT_EQ(r.status, 0) << where << " " << decode << ": " << r.err;
                int ow = 0, oh = 0, maxval = 0;
                const std::vector<std::uint8_t> pgm = PnmSamples(out, ow, oh, maxval);
                ASSERT_EQ(ow, w) << where << " " << decode;
                ASSERT_EQ(oh, h) << where << " " << decode;
                ASSERT_EQ(maxval, 1) << where << " " << decode;
                int wrong = 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        wrong += pgm[std::size_t(y) * std::size_t(w) + std::size_t(x)] !=
                                 (BitAt(picture, x, y) ? 1 : 0);
                EXPECT_EQ(wrong, 0) << where << " " << decode;
            }
        }
    }
}

TEST(J2000Peers, LosslessFilesOfFfmpegAndGrokReadExactly)
{
    TempDir dir("j2000_peers");
    TIEBitmap photo;
    Photo(photo, 301, 203);  // ffmpeg tiles it 256 x 256
    for (int channels : {3, 1}) {
        const TPnm source = ToPnm(photo, channels);
        const std::string pnm = dir.File(channels == 1 ? "src.pgm" : "src.ppm");
        WritePnm(pnm, source);
        for (const char* fmt : {"j2k", "jp2"}) {
            const std::string ff = dir.File(std::string("ff.") + fmt);
            const peer::RunResult e =
                peer::Run(std::string(VA_JUDGE_FFMPEG) + " -nostdin -v error -i " + pnm +
                          " -c:v jpeg2000 -pred dwt53 -format " + fmt + " -y " + ff);
            ASSERT_EQ(e.status, 0) << e.err;
            const std::string grk = dir.File(std::string("grk.") + fmt);
            const peer::RunResult g =
                peer::Run(std::string(VA_JUDGE_GRK_COMPRESS) + " -i " + pnm + " -o " + grk);
            ASSERT_EQ(g.status, 0) << g.err;
            for (const std::string& file : {ff, grk}) {
                TIEBitmap b;
                ASSERT_TRUE(ReadFile(file, b)) << file;
                EXPECT_EQ(ToPnm(b, channels).data, source.data) << file << " channels " << channels;
            }
        }
    }
}

TEST(J2000Peers, LossyFilesKeepTheQualityTheirRateBuys)
{
    // A photograph-like picture from ImageMagick; Grok, encoding it at the same ratio, sets the
    // quality the rate buys.
    TempDir dir("j2000_peers");
    const std::string ppm = dir.File("photo.ppm");
    ASSERT_EQ(Convert("-seed 7 -size 320x240 plasma:fractal -blur 0x0.7 -depth 8 " + ppm), 0);
    const TPnm source = ReadPnm(ppm);
    ASSERT_EQ(source.channels, 3);
    TIEBitmap photo;
    photo.Allocate(320, 240, ie24RGB);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const std::uint8_t* p = &source.data[(std::size_t(y) * 320 + x) * 3];
            photo.SetPixel24(x, y, TRGB{p[2], p[1], p[0]});
        }
    const double raw = 320.0 * 240 * 3;
    for (const double rate : {0.25, 0.1, 0.05, 0.02}) {
        const std::string peer = dir.File("grok.j2k");
        const peer::RunResult g = peer::Run(std::string(VA_JUDGE_GRK_COMPRESS) + " -I -r " +
                                            std::to_string(1 / rate) + " -i " + ppm + " -o " + peer);
        ASSERT_EQ(g.status, 0) << g.err;
        const double peerPsnr = Psnr(FfmpegDecode(dir, peer, 3), source);
        for (int format : {kJ2000FormatJP2, kJ2000FormatJ2K}) {
            TIOParamsVals p(nullptr);
            p.J2000Rate = rate;
            const std::string file = dir.File(std::string("lossy") + Ext(format));
            WriteFile(file, photo, p, format);
            const double size = double(peer::ReadFile(file).size());
            EXPECT_LE(size, raw * rate * 1.02 + 200) << rate << Ext(format);
            const double ff = Psnr(FfmpegDecode(dir, file, 3), source);
            const double grk = Psnr(GrokDecode(dir, file, 3), source);
            EXPECT_GE(ff, peerPsnr - 1) << rate << Ext(format) << " in ffmpeg";
            EXPECT_NEAR(ff, grk, 0.5) << "both decoders see the same image";
            EXPECT_LT(grk, 60) << "a lossy rate must not write losslessly";
        }
    }
}

// The value of "name=value" in the default tile's description of opj_dump.
int Field(const std::string& dump, const std::string& name)
{
    std::smatch m;
    if (!std::regex_search(dump, m, std::regex("\\b" + name + "=(0x[0-9a-fA-F]+|-?[0-9]+)")))
        return -999;
    return std::stoi(m[1], nullptr, 0);
}

TEST(J2000Peers, CodeStreamParametersAsOpjDumpReadsThem)
{
    TempDir dir("j2000_peers");
    struct Case {
        int w, h, space;
        double rate;
        int scalable;
        int resolutions, prg, mct, qmfbid;
    };
    const Case cases[] = {
        {97, 61, 1, 1.0, 0, 6, 0, 1, 1},   // lossless: reversible 5/3, RGB through the colour transform
        {97, 61, 1, 0.1, 0, 6, 0, 1, 0},   // lossy: irreversible 9/7
        {97, 61, 1, 1.0, 1, 6, 1, 1, 1},   // resolution first
        {97, 61, 0, 1.0, 7, 6, 0, 0, 1},   // grey, an unknown order is layer first
        {31, 100, 1, 1.0, 0, 5, 0, 1, 1},  // 31 halves four times
        {3, 2, 1, 1.0, 0, 2, 0, 1, 1},     // small images save
        {1, 1, 0, 0.5, 0, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        TIEBitmap b;
        Photo(b, c.w, c.h);
        TIOParamsVals p(nullptr);
        p.J2000ColorSpace = c.space;
        p.J2000Rate = c.rate;
        p.J2000ScalableBy = std::uint8_t(c.scalable);
        for (int format : {kJ2000FormatJ2K, kJ2000FormatJP2}) {
            const std::string file = dir.File(std::string("dump") + Ext(format));
            WriteFile(file, b, p, format);
            const peer::RunResult r = peer::Run(std::string(VA_JUDGE_OPJ_DUMP) + " -i " + file);
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string where = std::to_string(c.w) + "x" + std::to_string(c.h) + Ext(format);
            EXPECT_EQ(Field(r.out, "numresolutions"), c.resolutions) << where;
            EXPECT_EQ(Field(r.out, "prg"), c.prg) << where;
            EXPECT_EQ(Field(r.out, "numlayers"), 1) << where;
            EXPECT_EQ(Field(r.out, "mct"), c.mct) << where;
            EXPECT_EQ(Field(r.out, "qmfbid"), c.qmfbid) << where;
            EXPECT_EQ(Field(r.out, "numcomps"), c.space == 0 ? 1 : 3) << where;
            EXPECT_EQ(Field(r.out, "x1"), c.w) << where;
        }
    }
}

}  // namespace
