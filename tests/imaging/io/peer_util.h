// What the native peer tests of the JPEG 2000, PostScript and PDF units share besides running the
// peers (io_peer_util.h): images as PNM pixels, and their distance.
#pragma once

#include "imaging/core/iebitmap.h"
#include "tests/imaging/io/io_peer_util.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace imaging::test {

// The samples of a binary PGM or PPM of any maxval below 256, as stored; comments are skipped.
// Empty for anything else.
inline std::vector<std::uint8_t> PnmSamples(const std::string& path, int& width, int& height, int& maxval)
{
    std::ifstream in(path, std::ios::binary);
    auto number = [&in] {
        while (in >> std::ws && in.peek() == '#')
            in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        int v = -1;
        in >> v;
        return v;
    };
    std::string magic(2, ' ');
    in.read(magic.data(), 2);
    width = number();
    height = number();
    maxval = number();
    in.get();
    const int channels = magic == "P5" ? 1 : magic == "P6" ? 3 : 0;
    if (!in || channels == 0 || width <= 0 || height <= 0 || maxval <= 0 || maxval > 255)
        return {};
    std::vector<std::uint8_t> data(std::size_t(width) * height * channels);
    in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
    return in ? data : std::vector<std::uint8_t>{};
}

// The bitmap's pixels, red first, as one channel (the library's grey) or three.
inline TPnm ToPnm(TIEBitmap& b, int channels)
{
    TPnm p;
    p.width = b.GetWidth();
    p.height = b.GetHeight();
    p.channels = channels;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const TRGB c = b.GetPixelRGB(x, y);
            if (channels == 1)
                p.data.push_back(std::uint8_t((c.r * 21 + c.g * 71 + c.b * 8) / 100));
            else
                p.data.insert(p.data.end(), {c.r, c.g, c.b});
        }
    return p;
}

// The pixels of a rendered page that differ by more than Tolerance in a channel from Image drawn at
// its top-left corner Scale times its size; -1 when the page cannot hold it.
inline int Wrong(const TPnm& page, const TPnm& image, int scale, int tolerance = 0)
{
    if (page.channels != 3 || image.channels != 3 || page.width < image.width * scale ||
        page.height < image.height * scale)
        return -1;
    int wrong = 0;
    for (int y = 0; y < image.height * scale; ++y)
        for (int x = 0; x < image.width * scale; ++x) {
            const std::uint8_t* p = &page.data[(std::size_t(y) * page.width + x) * 3];
            const std::uint8_t* q = &image.data[(std::size_t(y / scale) * image.width + x / scale) * 3];
            bool off = false;
            for (int c = 0; c < 3; ++c)
                off = off || std::abs(p[c] - q[c]) > tolerance;
            wrong += off;
        }
    return wrong;
}

inline int Wrong(const TPnm& page, TIEBitmap& image, int scale, int tolerance = 0)
{
    return Wrong(page, ToPnm(image, 3), scale, tolerance);
}

#ifdef VA_JUDGE_DJPEG
// libjpeg-turbo's decoding of a JPEG file, the reference for pages that hold one.
inline TPnm Djpeg(const TempDir& dir, const std::vector<std::uint8_t>& jpeg)
{
    const std::string in = dir.File("ref.jpg"), out = dir.File("ref.ppm");
    peer::WriteFile(in, jpeg);
    const peer::RunResult r = peer::Run(std::string(VA_JUDGE_DJPEG) + " -ppm -outfile " + out + " " + in);
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadPnm(out);
}
#endif

// Peak signal-to-noise ratio in decibels; infinity for equal images, 0 for different shapes.
inline double Psnr(const TPnm& a, const TPnm& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.data.empty())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.data.size(); ++i) {
        const double d = double(a.data[i]) - b.data[i];
        sum += d * d;
    }
    if (sum == 0)
        return INFINITY;
    return 10 * std::log10(255.0 * 255.0 * double(a.data.size()) / sum);
}

}  // namespace imaging::test
