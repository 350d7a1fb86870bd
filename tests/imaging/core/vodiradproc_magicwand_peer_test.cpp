// The magic wand judged by OpenCV: cv2.floodFill (fixed range, mask only, lo = up = tolerance - 1)
// for the connected region, a numpy per-channel test for the whole-image selection, and
// cv2.findContours (CHAIN_APPROX_NONE) for the outline, on fragmented and smooth images in colour and
// grey with both connectivities.
#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/core/vodiradproc.h"
#include "tests/imaging/core/peer_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

using namespace imaging;
using namespace imaging::test;

namespace {

struct TCase {
    std::string name;
    TPnm image;
    int x = 0, y = 0, tolerance = 0;
    bool eight = false;
};

// Few colours with a little jitter, pixel by pixel: many small regions, holes, pinches and
// one-pixel threads.
TPnm Fragmented(int w, int h, int channels, int colours, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::array<int, 3>> palette;
    for (int i = 0; i < colours; ++i)
        palette.push_back({int(rng() % 256), int(rng() % 256), int(rng() % 256)});
    TPnm img{w, h, channels, {}};
    for (int i = 0; i < w * h; ++i) {
        // Runs of the same colour make larger shapes than independent pixels would.
        const auto& c = palette[(rng() % 4 == 0 ? rng() : i / 3 + (i / w) / 2) % std::uint32_t(colours)];
        for (int k = 0; k < channels; ++k)
            img.data.push_back(std::uint8_t(std::clamp(c[std::size_t(k)] + int(rng() % 7) - 3, 0, 255)));
    }
    return img;
}

// Smooth rings and waves: large regions with holes at moderate tolerances.
TPnm Waves(int w, int h, int channels, double f)
{
    TPnm img{w, h, channels, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < channels; ++k) {
                const double v = 128 + 60 * std::sin(x * f * (k + 1) * 0.7) +
                                 60 * std::cos(y * f * (3 - k) * 0.5) + 30 * std::sin((x + y) * f * 1.3);
                img.data.push_back(std::uint8_t(std::clamp(int(v), 0, 255)));
            }
    return img;
}

std::unique_ptr<TIEBitmap> ToBitmap(const TPnm& img)
{
    auto bmp = std::make_unique<TIEBitmap>();
    bmp->Allocate(img.width, img.height, img.channels == 3 ? ie24RGB : ie8g);
    for (int y = 0; y < img.height; ++y) {
        std::uint8_t* row = bmp->ScanLine(y);
        for (int x = 0; x < img.width; ++x) {
            const std::uint8_t* p = &img.data[(std::size_t(y) * img.width + x) * img.channels];
            if (img.channels == 3) {
                row[3 * x] = p[2];  // PNM is red first, rows blue first
                row[3 * x + 1] = p[1];
                row[3 * x + 2] = p[0];
            } else {
                row[x] = p[0];
            }
        }
    }
    return bmp;
}

TPnm MaskImage(const TIEMask& mask)
{
    TPnm out{mask.Width(), mask.Height(), 1, {}};
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            out.data.push_back(mask.GetPixel(x, y) ? 255 : 0);
    return out;
}

std::string Describe(const TPnm& ours, const TPnm& peer)
{
    if (ours.width != peer.width || ours.height != peer.height)
        return "sizes differ";
    int count = 0;
    std::ostringstream s;
    for (std::size_t i = 0; i < ours.data.size(); ++i)
        if ((ours.data[i] != 0) != (peer.data[i] != 0) && count++ < 5)
            s << " (" << i % std::size_t(ours.width) << "," << i / std::size_t(ours.width) << ") ours "
              << int(ours.data[i]) << " peer " << int(peer.data[i]);
    return std::to_string(count) + " pixels differ:" + s.str();
}

bool SameSet(const TPnm& ours, const TPnm& peer)
{
    if (ours.width != peer.width || ours.height != peer.height)
        return false;
    for (std::size_t i = 0; i < ours.data.size(); ++i)
        if ((ours.data[i] != 0) != (peer.data[i] != 0))
            return false;
    return true;
}

using TPixels = std::vector<std::pair<int, int>>;

// The region pixels along the outline, in the order the outline passes them: each unit edge has the
// region on its right; repeats in a row are one.
TPixels InnerPixels(const std::vector<TIEPoint>& polygon)
{
    TPixels out;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const TIEPoint a = polygon[i], b = polygon[(i + 1) % polygon.size()];
        const int dx = (b.X > a.X) - (b.X < a.X), dy = (b.Y > a.Y) - (b.Y < a.Y);
        for (int x = a.X, y = a.Y; x != b.X || y != b.Y; x += dx, y += dy) {
            const std::pair<int, int> p = dx > 0   ? std::pair{x, y}
                                          : dy > 0 ? std::pair{x - 1, y}
                                          : dx < 0 ? std::pair{x - 1, y - 1}
                                                   : std::pair{x, y - 1};
            if (out.empty() || out.back() != p)
                out.push_back(p);
        }
    }
    while (out.size() > 1 && out.front() == out.back())
        out.pop_back();
    return out;
}

// Equal as closed sequences, from any start and in either direction.
bool SameCycle(const TPixels& a, const TPixels& b)
{
    if (a.size() != b.size())
        return false;
    const std::size_t n = a.size();
    for (int reversed = 0; reversed < 2; ++reversed)
        for (std::size_t start = 0; start < n; ++start) {
            bool same = true;
            for (std::size_t i = 0; i < n && same; ++i)
                same = a[i] == b[reversed ? (start + n - i) % n : (start + i) % n];
            if (same)
                return true;
        }
    return false;
}

class MagicWandOpenCV : public ::testing::Test {
protected:
    TempDir dir{"magicwand_peer"};

    // Runs OpenCV once over all cases and judges each.
    void Judge(std::vector<TCase> cases)
    {
        {
            std::ofstream jobs(dir.File("jobs.txt"));
            for (std::size_t i = 0; i < cases.size(); ++i) {
                const std::string image =
                    dir.File("case" + std::to_string(i) + (cases[i].image.channels == 3 ? ".ppm" : ".pgm"));
                WritePnm(image, cases[i].image);
                jobs << image << " " << cases[i].x << " " << cases[i].y << " " << cases[i].tolerance << " "
                     << (cases[i].eight ? 8 : 4) << " " << dir.File("out" + std::to_string(i)) << "\n";
            }
        }
        const std::string command =
            std::string(VA_OPENCV_PYTHON) + " " + VA_OPENCV_SCRIPT + " " + dir.File("jobs.txt");
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        for (std::size_t i = 0; i < cases.size(); ++i) {
            const TCase& c = cases[i];
            SCOPED_TRACE(c.name + " seed (" + std::to_string(c.x) + "," + std::to_string(c.y) +
                         ") tolerance " + std::to_string(c.tolerance) +
                         (c.eight ? " 8-connected" : " 4-connected"));
            const std::string out = dir.File("out" + std::to_string(i));
            auto bmp = ToBitmap(c.image);
            const std::uint8_t options = c.eight ? kIEMagicWand8Connected : 0;

            TIEMask fill;
            fill.AllocateBits(c.image.width, c.image.height, 1);
            MagicWandFill(bmp.get(), c.x, c.y, c.tolerance, &fill, options);
            const TPnm peerFill = ReadPnm(out + ".fill.pgm");
            ASSERT_GT(peerFill.width, 0);
            EXPECT_TRUE(SameSet(MaskImage(fill), peerFill))
                << "fill: " << Describe(MaskImage(fill), peerFill);

            TIEMask all;
            all.AllocateBits(c.image.width, c.image.height, 1);
            MagicWandSelectAll(bmp.get(), c.x, c.y, &all, c.tolerance);
            const TPnm peerAll = ReadPnm(out + ".all.pgm");
            EXPECT_TRUE(SameSet(MaskImage(all), peerAll))
                << "select all: " << Describe(MaskImage(all), peerAll);

            const std::vector<TIEPoint> polygon = MagicWandPolygon(bmp.get(), c.x, c.y, c.tolerance, options);
            TIEMask outline;
            outline.AllocateBits(c.image.width, c.image.height, 1);
            outline.FillPolygons(1, polygon.data(), int(polygon.size()));
            const TPnm peerOuter = ReadPnm(out + ".outer.pgm");
            EXPECT_TRUE(SameSet(MaskImage(outline), peerOuter))
                << "outline filled: " << Describe(MaskImage(outline), peerOuter);

            TPixels contour;
            std::ifstream in(out + ".contour.txt");
            std::string word;
            int px, py;
            while (in >> word) {
                ASSERT_NE(word, "contours") << "OpenCV found more than one outer contour";
                px = std::stoi(word);
                in >> py;
                contour.emplace_back(px, py);
            }
            EXPECT_TRUE(SameCycle(InnerPixels(polygon), contour))
                << "outline has " << InnerPixels(polygon).size() << " edge pixels, OpenCV's contour "
                << contour.size();
        }
    }
};

std::vector<TCase> Seeds(const std::string& name, const TPnm& image, std::initializer_list<int> tolerances,
                         int seeds, std::uint32_t rngSeed)
{
    std::mt19937 rng(rngSeed);
    std::vector<TCase> out;
    for (int tol : tolerances)
        for (int s = 0; s < seeds; ++s)
            for (bool eight : {false, true})
                out.push_back({name, image, int(rng() % std::uint32_t(image.width)),
                               int(rng() % std::uint32_t(image.height)), tol, eight});
    return out;
}

TEST_F(MagicWandOpenCV, FragmentedColourImagesMatchFloodFillSelectAllAndContours)
{
    std::vector<TCase> cases;
    for (std::uint32_t k = 0; k < 4; ++k) {
        auto more =
            Seeds("fragmented " + std::to_string(k),
                  Fragmented(37 + 11 * int(k), 29 + 7 * int(k), 3, 3 + int(k), k), {1, 4, 8, 40}, 3, 100 + k);
        cases.insert(cases.end(), more.begin(), more.end());
    }
    Judge(cases);
}

TEST_F(MagicWandOpenCV, SmoothImagesWithHolesMatch)
{
    std::vector<TCase> cases;
    for (int k = 0; k < 3; ++k) {
        auto more = Seeds("waves " + std::to_string(k), Waves(90 + 13 * k, 70, 3, 0.08 + 0.05 * k),
                          {10, 30, 80}, 2, 200 + std::uint32_t(k));
        cases.insert(cases.end(), more.begin(), more.end());
    }
    // Slow waves on a wide image: runs of hundreds of pixels, read sixteen at a time, up to both edges.
    auto wide = Seeds("wide waves", Waves(333, 41, 3, 0.02), {20, 60}, 3, 210);
    cases.insert(cases.end(), wide.begin(), wide.end());
    Judge(cases);
}

TEST_F(MagicWandOpenCV, GreyImagesMatchSingleChannelFloodFill)
{
    std::vector<TCase> cases;
    auto a = Seeds("grey fragmented", Fragmented(50, 40, 1, 4, 9), {1, 5, 30}, 3, 300);
    auto b = Seeds("grey waves", Waves(80, 60, 1, 0.11), {12, 50}, 3, 301);
    cases.insert(cases.end(), a.begin(), a.end());
    cases.insert(cases.end(), b.begin(), b.end());
    Judge(cases);
}

TEST_F(MagicWandOpenCV, SeedsOnTheImageEdgesAndWholeImageTolerances)
{
    const TPnm img = Fragmented(31, 23, 3, 3, 77);
    std::vector<TCase> cases;
    for (auto [x, y] : {std::pair{0, 0}, {30, 0}, {0, 22}, {30, 22}, {15, 0}, {0, 11}})
        for (int tol : {1, 6, 256})
            for (bool eight : {false, true})
                cases.push_back({"edges", img, x, y, tol, eight});
    Judge(cases);
}

}  // namespace
