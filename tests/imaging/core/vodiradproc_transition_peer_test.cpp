// Judges every transition frame against ImageMagick: blends against -compose blend (within 1),
// wipes, boxes and slides against -crop and -geometry, pushes against -roll, zooms against -sample,
// all exact; the random effects by what each frame may hold.
#include "imaging/core/vodiradproc_transition.h"

#include "peer_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

using namespace imaging;
using namespace imaging::test;

namespace {

// Odd sizes, so that halves and rounding ties show.
constexpr int kW = 61, kH = 37;
constexpr int kPositions[] = {0, 1, 257, 511, 512, 513, 700, 1000, 1023, 1024};
constexpr TRGB kBackground{40, 90, 200};  // blue, green, red

TPnm Noise(unsigned seed)
{
    TPnm p{kW, kH, 3, {}};
    std::mt19937 rng(seed);
    for (int i = 0; i < kW * kH * 3; ++i)
        p.data.push_back(std::uint8_t(rng()));
    return p;
}

// Three pictures of rows as the composer takes them, filled from PNM pixels (red first).
struct TFrames {
    std::vector<TRGB> start, end, work;
    TIETransitionFrames f;

    TFrames(const TPnm& s, const TPnm& e)
        : start(std::size_t(kW) * kH), end(std::size_t(kW) * kH), work(std::size_t(kW) * kH)
    {
        for (std::size_t i = 0; i < start.size(); ++i) {
            start[i] = TRGB{s.data[3 * i + 2], s.data[3 * i + 1], s.data[3 * i]};
            end[i] = TRGB{e.data[3 * i + 2], e.data[3 * i + 1], e.data[3 * i]};
        }
        f.Width = kW;
        f.Height = kH;
        f.Background = kBackground;
        for (int r = 0; r < kH; ++r) {
            f.Start.push_back(&start[std::size_t(r) * kW]);
            f.End.push_back(&end[std::size_t(r) * kW]);
            f.Work.push_back(&work[std::size_t(r) * kW]);
        }
        work = start;
    }
    TPnm Work() const
    {
        TPnm p{kW, kH, 3, {}};
        for (const TRGB& c : work) {
            p.data.push_back(c.r);
            p.data.push_back(c.g);
            p.data.push_back(c.b);
        }
        return p;
    }
};

std::string Geometry(std::int64_t x, std::int64_t y)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%+lld%+lld", static_cast<long long>(x), static_cast<long long>(y));
    return buf;
}

std::string Size(std::int64_t w, std::int64_t h) { return std::to_string(w) + "x" + std::to_string(h); }

class TransitionPeer : public ::testing::Test {
protected:
    TransitionPeer() : dir_("va_transition_peer"), s_(Noise(1)), e_(Noise(2))
    {
        WritePnm(File("s"), s_);
        WritePnm(File("e"), e_);
        TPnm bg{kW, kH, 3, {}};
        for (int i = 0; i < kW * kH; ++i)
            bg.data.insert(bg.data.end(), {kBackground.r, kBackground.g, kBackground.b});
        WritePnm(File("bg"), bg);
        TPnm red{kW, kH, 3, {}};
        for (int i = 0; i < kW * kH; ++i)
            red.data.insert(red.data.end(), {255, 0, 0});
        WritePnm(File("red"), red);
    }
    std::string File(const std::string& name) const { return dir_.File(name + ".ppm"); }

    // Base with Over's rectangle (X, Y, W, H) laid at (AtX, AtY); nothing for an empty rectangle.
    std::string Lay(const std::string& over, std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h,
                    std::int64_t atX, std::int64_t atY) const
    {
        if (w <= 0 || h <= 0)
            return "";
        return " \\( " + File(over) + " -crop " + Size(w, h) + Geometry(x, y) + " +repage \\) -geometry " +
               Geometry(atX, atY) + " -composite";
    }
    // Base rolled by (DX, DY), then Over rolled the same way laid over its first D columns or rows.
    std::string Push(const std::string& base, const std::string& over, bool horizontal, std::int64_t d,
                     bool rollOver) const
    {
        const std::string roll = horizontal ? Geometry(d, 0) : Geometry(0, d);
        std::string cmd = File(base) + " -roll " + roll;
        if (d > 0) {
            const std::string part = horizontal ? Size(d, kH) : Size(kW, d);
            cmd += " \\( " + File(over) + (rollOver ? " -roll " + roll : "") + " -crop " + part +
                   "+0+0 +repage \\) -geometry +0+0 -composite";
        }
        return cmd;
    }
    std::string Blend(const std::string& base, const std::string& over, int p) const
    {
        return File(base) + " " + File(over) +
               " -compose blend -define compose:args=" + std::to_string(p * 100.0 / 1024) + " -composite";
    }

    // The convert command line (without output) that gives Effect's frame at P.
    std::string Expected(int effect, int p) const;

    TPnm Run(const std::string& cmd) const
    {
        const std::string out = File("expected");
        std::remove(out.c_str());
        EXPECT_EQ(Convert(cmd + " -depth 8 " + out), 0) << cmd;
        return ReadPnm(out);
    }

    TempDir dir_;
    TPnm s_, e_;
};

std::int64_t RoundHalfEven(std::int64_t num, std::int64_t den)
{
    const std::int64_t q = num / den, r = num % den;
    return (2 * r > den || (2 * r == den && (q & 1))) ? q + 1 : q;
}

std::string TransitionPeer::Expected(int effect, int p) const
{
    const std::int64_t q = 1024 - p;
    const std::int64_t dx = q * kW >> 10, dy = q * kH >> 10;
    auto centred = [](std::int64_t size, std::int64_t part) { return size / 2 - (part * (size / 2) >> 10); };
    const std::string s = File("s");
    switch (effect) {
    case iettCrossDissolve: return Blend("s", "e", p);
    case iettFadeOut: return Blend("s", "bg", p);
    case iettFadeIn: return Blend("bg", "e", p);
    case iettFadeOutIn: return p < 512 ? Blend("s", "bg", 2 * p) : Blend("bg", "e", (p - 512) * 2);
    case iettLeftRight1:
    case iettLeftRight2: {
        const std::int64_t x = p * kW >> 10;
        return s + Lay("e", 0, 0, x, kH, 0, 0) +
               (effect == iettLeftRight2 ? Lay("red", 0, 0, 1, kH, x, 0) : "");
    }
    case iettRightLeft1:
    case iettRightLeft2: {
        const std::int64_t x = RoundHalfEven(q * kW, 1024);
        return s + Lay("e", x, 0, kW - x, kH, x, 0) +
               (effect == iettRightLeft2 ? Lay("red", 0, 0, 1, kH, x, 0) : "");
    }
    case iettUpDown1:
    case iettUpDown2: {
        const std::int64_t y = RoundHalfEven(p * kH, 1024);
        return s + Lay("e", 0, 0, kW, y, 0, 0) + (effect == iettUpDown2 ? Lay("red", 0, 0, kW, 1, 0, y) : "");
    }
    case iettDownUp1:
    case iettDownUp2: {
        const std::int64_t y = RoundHalfEven(q * kH, 1024);
        return s + Lay("e", 0, y, kW, kH - y, 0, y) +
               (effect == iettDownUp2 ? Lay("red", 0, 0, kW, 1, 0, y) : "");
    }
    case iettFromUpLeft: return s + " " + File("e") + " -geometry " + Geometry(-dx, -dy) + " -composite";
    case iettFromUpRight: return s + " " + File("e") + " -geometry " + Geometry(dx, -dy) + " -composite";
    case iettFromBottomLeft: return s + " " + File("e") + " -geometry " + Geometry(-dx, dy) + " -composite";
    case iettFromBottomRight: return s + " " + File("e") + " -geometry " + Geometry(dx, dy) + " -composite";
    // Rolling by D puts a row's last D pixels first; the part laid over is the other picture's.
    case iettMoveLeftRight1: return Push("s", "e", true, p * kW >> 10, true);
    case iettMoveLeftRight2: return Push("s", "e", true, p * kW >> 10, false);
    case iettMoveRightLeft1: return Push("e", "s", true, q * kW >> 10, true);
    case iettMoveRightLeft2: return Push("e", "s", true, q * kW >> 10, false);
    case iettMoveUpDown1: return Push("s", "e", false, p * kH >> 10, true);
    case iettMoveUpDown2: return Push("s", "e", false, p * kH >> 10, false);
    case iettMoveDownUp1: return Push("e", "s", false, q * kH >> 10, true);
    case iettMoveDownUp2: {
        // Start's last D rows on top of end's own rows from D down.
        const std::int64_t d = q * kH >> 10;
        return File("e") + Lay("s", 0, kH - d, kW, d, 0, 0);
    }
    case iettCenter1: {
        const std::int64_t x = centred(kW, p), y = centred(kH, p);
        return s + Lay("e", x, y, p * kW >> 10, p * kH >> 10, x, y);
    }
    case iettCenter2: {
        const std::int64_t x = centred(kW, q), y = centred(kH, q);
        return File("e") + Lay("s", x, y, q * kW >> 10, q * kH >> 10, x, y);
    }
    case iettCenterZoom1:
    case iettCenterZoom2: {
        const bool in = effect == iettCenterZoom1;
        const std::int64_t part = in ? p : q;
        const std::int64_t w = part * kW >> 10, h = part * kH >> 10;
        std::string cmd = in ? s : File("e");
        if (w > 0 && h > 0)
            cmd += " \\( " + File(in ? "e" : "s") + " -sample " + Size(w, h) + "! \\) -geometry " +
                   Geometry(centred(kW, part), centred(kH, part)) + " -composite";
        return cmd;
    }
    default: return "";
    }
}

TEST_F(TransitionPeer, EveryFrameOfTheNonRandomEffectsMatchesImageMagick)
{
    for (int effect = 1; effect <= kIELastTransition; ++effect) {
        if (effect == iettRandomPoints || effect == iettRandomBoxes)
            continue;
        const bool blend = effect <= iettFadeOutIn;
        TFrames frames(s_, e_);
        for (int p : kPositions) {
            IEComposeTransition(frames.f, effect, p);
            const TPnm ours = frames.Work();
            const TPnm expected = Run(Expected(effect, p));
            ASSERT_EQ(expected.data.size(), ours.data.size()) << "effect " << effect << " at " << p;
            int worst = 0;
            std::size_t first = 0;
            for (std::size_t i = 0; i < ours.data.size(); ++i) {
                const int d = std::abs(int(ours.data[i]) - int(expected.data[i]));
                if (d > worst) {
                    worst = d;
                    first = i / 3;
                }
            }
            EXPECT_LE(worst, blend ? 1 : 0) << "effect " << effect << " at position " << p << ", pixel ("
                                            << first % kW << ", " << first / kW << ")";
        }
    }
}

TEST_F(TransitionPeer, RandomEffectsOnlyEverAddEndPixelsAndEndOnTheEndPicture)
{
    for (int effect : {int(iettRandomPoints), int(iettRandomBoxes)}) {
        TFrames frames(s_, e_);
        frames.f.Random.SetSeed(7);
        std::size_t previous = 0;
        for (int p : kPositions) {
            IEComposeTransition(frames.f, effect, p);
            std::size_t fromEnd = 0;
            for (std::size_t i = 0; i < frames.work.size(); ++i) {
                const TRGB w = frames.work[i];
                ASSERT_TRUE(w == frames.start[i] || w == frames.end[i])
                    << "effect " << effect << " at " << p << ": pixel " << i << " is from neither picture";
                // A pixel that equals both pictures counts for neither.
                fromEnd += w == frames.end[i] && !(w == frames.start[i]);
            }
            EXPECT_GE(fromEnd, previous) << "effect " << effect << " at " << p;
            previous = fromEnd;
            if (p == 0) {
                EXPECT_EQ(fromEnd, 0u);
            }
            if (p >= 512) {
                EXPECT_GT(fromEnd, 0u) << "effect " << effect << " at " << p;
            }
        }
        EXPECT_EQ(frames.work, frames.end) << "effect " << effect << ": the last frame is the end picture";
    }
}

}  // namespace
