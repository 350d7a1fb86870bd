// Transition frames by their own rules: the position a clock value gives, the last frame of each
// effect, the right-to-left and bottom-to-top wipes at rounding ties, effect numbers that compose
// nothing, and the random effects' count.
#include "imaging/core/vodiradproc_transition.h"

#include <gtest/gtest.h>

#include <vector>

using namespace imaging;

namespace {

struct TSmallFrames {
    std::vector<TRGB> start, end, work;
    TIETransitionFrames f;

    TSmallFrames(int w, int h) : start(std::size_t(w) * h), end(start.size()), work(start.size())
    {
        for (std::size_t i = 0; i < start.size(); ++i) {
            start[i] = TRGB{std::uint8_t(i), 10, 20};
            end[i] = TRGB{std::uint8_t(i), 200, 220};
        }
        work = start;
        f.Width = w;
        f.Height = h;
        f.Background = TRGB{1, 2, 3};
        for (int r = 0; r < h; ++r) {
            f.Start.push_back(&start[std::size_t(r) * w]);
            f.End.push_back(&end[std::size_t(r) * w]);
            f.Work.push_back(&work[std::size_t(r) * w]);
        }
    }
    TRGB At(int x, int y) const { return work[std::size_t(y) * f.Width + x]; }
};

TEST(TransitionPosition, FollowsTheClockAndNeverPassesTheEnd)
{
    struct {
        std::uint32_t elapsed;
        std::int32_t duration;
        int position;
    } const cases[] = {
        {0, 1000, 0},
        {500, 1000, 512},
        {999, 1000, 1022},
        {1000, 1000, 1024},
        {5000, 1000, 1024},
        {0xFFFFFFFFu, 1000, 1024},
        {1, 3, 341},
        {0xFFFFFFFFu, 0x7FFFFFFF, 1024},
        // No division by a duration of 0 or less: the transition is at its end.
        {0, 0, 1024},
        {10, -5, 1024},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IETransitionPosition(c.elapsed, c.duration), c.position)
            << c.elapsed << " of " << c.duration;
}

TEST(TransitionFrames, EffectZeroAndNumbersAboveThirtyComposeNothing)
{
    for (int effect : {0, 31, 200, -1}) {
        TSmallFrames s(7, 5);
        std::fill(s.work.begin(), s.work.end(), TRGB{9, 9, 9});
        IEComposeTransition(s.f, effect, 512);
        for (const TRGB& c : s.work)
            ASSERT_EQ(c, (TRGB{9, 9, 9})) << effect;
    }
    EXPECT_FALSE(IEIsTransition(0));
    EXPECT_TRUE(IEIsTransition(1));
    EXPECT_TRUE(IEIsTransition(30));
    EXPECT_FALSE(IEIsTransition(31));
}

TEST(TransitionFrames, TheLastFrameOfEveryEffectIsItsWholeLastPicture)
{
    for (int effect = 1; effect <= kIELastTransition; ++effect) {
        TSmallFrames s(13, 9);
        IEComposeTransition(s.f, effect, 300);
        IEComposeTransition(s.f, effect, 1024);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x) {
                TRGB want = effect == iettFadeOut ? s.f.Background : s.end[std::size_t(y) * 13 + x];
                // The right-to-left and bottom-to-top lines stand at the first column and row.
                if ((effect == iettRightLeft2 && x == 0) || (effect == iettDownUp2 && y == 0))
                    want = TRGB{0, 0, 255};
                ASSERT_EQ(s.At(x, y), want) << "effect " << effect << " at (" << x << ", " << y << ")";
            }
    }
}

TEST(TransitionFrames, RightToLeftAndBottomToTopWipesLeaveNoStartColumnOrRowAtRoundingTies)
{
    // At 512 of a 5-pixel side both Round(2.5) round down to 2: a width of its own would stop at 4.
    TSmallFrames wide(5, 3);
    IEComposeTransition(wide.f, iettRightLeft1, 512);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(wide.At(x, y),
                      x >= 2 ? wide.end[std::size_t(y) * 5 + x] : wide.start[std::size_t(y) * 5 + x])
                << x << ", " << y;
    TSmallFrames tall(3, 5);
    IEComposeTransition(tall.f, iettDownUp1, 512);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(tall.At(x, y),
                      y >= 2 ? tall.end[std::size_t(y) * 3 + x] : tall.start[std::size_t(y) * 3 + x])
                << x << ", " << y;
}

TEST(TransitionFrames, RandomPointsCountOnlyGrowsAndStartsOverAtZero)
{
    TSmallFrames s(40, 4);
    IEComposeTransition(s.f, iettRandomPoints, 0);
    EXPECT_EQ(s.f.LastCount, 0);
    IEComposeTransition(s.f, iettRandomPoints, 512);
    // Round(40 * 512 * (512 / 180) / 1024) = Round(56.9) per row.
    EXPECT_EQ(s.f.LastCount, 57);
    IEComposeTransition(s.f, iettRandomPoints, 256);
    EXPECT_EQ(s.f.LastCount, 57) << "a frame of an earlier position copies nothing and keeps the count";
    IEComposeTransition(s.f, iettRandomPoints, 0);
    EXPECT_EQ(s.f.LastCount, 0);
    EXPECT_EQ(s.work, s.start);
}

TEST(TransitionFrames, FramesWithoutRowsOrSizeComposeNothing)
{
    TSmallFrames s(4, 4);
    s.f.Work.pop_back();
    IEComposeTransition(s.f, iettCrossDissolve, 1024);
    EXPECT_EQ(s.work, s.start);
    TSmallFrames z(4, 4);
    z.f.Width = 0;
    IEComposeTransition(z.f, iettCrossDissolve, 1024);
    EXPECT_EQ(z.work, z.start);
}

TEST(TransitionRandom, DrawsInRangeAndRepeatsFromItsSeed)
{
    TIETransitionRandom a(12345), b(12345);
    for (int i = 0; i < 1000; ++i) {
        const int v = a.Next(37);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 37);
        ASSERT_EQ(v, b.Next(37));
    }
    EXPECT_EQ(a.Next(0), 0);
}

}  // namespace
