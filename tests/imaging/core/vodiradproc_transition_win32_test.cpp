// Transitions on a real image view under Wine: each tick at fixed values of a test clock puts the
// composed frame on the screen, the last tick shows the last frame and unlocks the view, a resize
// stops it, and what cannot run (effect 0 or above 30, no time to run in) never locks it.
#include "imaging/core/vodiradproc_transition_win32.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/core/vodiradview_win32.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "tests/platform/win/DcCapture.h"
#include "tests/platform/win/MessagePump.h"
#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

using namespace imaging;

namespace {

using wintest::Pump;

bool PumpUntil(const std::function<bool()>& done) { return wintest::PumpUntil(done, 10000); }

// W x H pixels, row 0 at the top.
using TPixels = std::vector<TRGB>;

// What the window shows now, read back from its device context.
TPixels Screen(HWND window, int w, int h)
{
    HDC dc = ::GetDC(window);
    const wintest::Capture shown = wintest::CaptureDC(dc, 0, 0, w, h);
    ::ReleaseDC(window, dc);
    TPixels out;
    out.reserve(shown.Data.size());
    for (const std::uint32_t v : shown.Data)
        out.push_back(TRGB{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)});
    return out;
}

TPixels Pixels(win::TBitmap& bitmap)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    TPixels out(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        std::memcpy(&out[std::size_t(y) * w], bitmap.ScanLine(y), std::size_t(w) * 3);
    return out;
}

// The first pixel where two pictures differ, as text; empty when they are equal.
std::string FirstDifference(const TPixels& a, const TPixels& b, int w)
{
    if (a.size() != b.size())
        return "sizes differ";
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(a[i] == b[i]))
            return "pixel (" + std::to_string(i % std::size_t(w)) + ", " +
                   std::to_string(i / std::size_t(w)) + ")";
    return "";
}

void FillImage(TIEBitmap& bmp, int w, int h, int seed)
{
    bmp.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bmp.SetPixel24(x, y,
                           TRGB{std::uint8_t(x * 5 + seed * 40), std::uint8_t(y * 3 + seed * 90),
                                std::uint8_t((x ^ y) + seed * 20)});
}

class TransitionView : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<win::TForm>(nullptr);
        form->SetBounds(10, 10, 420, 340);
        view = new TVodirAdView(form.get());
        view->SetParent(form.get());
        view->SetBounds(4, 4, 304, 204);
        view->SetScrollBars(win::ssNone);
        view->SetBackground(0x00336699);
        form->Show();
        Pump();
        w = view->ClientWidth();
        h = view->ClientHeight();
        view->Transitions()->Clock = [this] { return now; };
        // The first picture is smaller than the client, so the background shows around it.
        FillImage(*view->GetIEBitmap(), 250, 150, 1);
        view->Update();
        Pump();
        startPicture = Pixels(*view->BackBuffer());
        view->PrepareTransition();
        FillImage(*view->GetIEBitmap(), w, h, 2);
        view->Update();
        endPicture = Pixels(*view->BackBuffer());
    }
    void TearDown() override { form.reset(); }

    TPixels OnScreen() { return Screen(view->Handle(), w, h); }

    // The frame composed on its own from the two pictures the view showed.
    TPixels Expected(int effect, int position)
    {
        TPixels s = startPicture, e = endPicture, work = startPicture;
        TIETransitionFrames f;
        f.Width = w;
        f.Height = h;
        TColorToRGB(view->Background(), f.Background);
        for (int r = 0; r < h; ++r) {
            f.Start.push_back(&s[std::size_t(r) * w]);
            f.End.push_back(&e[std::size_t(r) * w]);
            f.Work.push_back(&work[std::size_t(r) * w]);
        }
        IEComposeTransition(f, effect, position);
        return work;
    }

    std::unique_ptr<win::TForm> form;
    TVodirAdView* view = nullptr;  // owned by the form
    int w = 0, h = 0;
    std::uint32_t now = 100000;
    TPixels startPicture, endPicture;
};

TEST_F(TransitionView, EveryEffectPutsItsComposedFrameOnTheScreenAtEachTick)
{
    TIETransitionEffects& t = *view->Transitions();
    for (int effect = 1; effect <= kIELastTransition; ++effect) {
        if (effect == iettRandomPoints || effect == iettRandomBoxes)
            continue;  // their frames follow the draws, compared below through the work picture
        now = 100000;
        ASSERT_TRUE(view->RunTransition(effect, 1000)) << effect;
        EXPECT_EQ(view->UpdateLockCount(), 1);
        // Each tick shows the position the previous tick computed; the first shows position 0.
        const struct {
            std::uint32_t at;
            int shown;
        } ticks[] = {{0, 0}, {250, 0}, {500, 256}, {750, 512}, {999, 768}};
        for (const auto& tick : ticks) {
            now = 100000 + tick.at;
            const int shown = t.Position();
            t.Step();
            ASSERT_EQ(shown, tick.shown) << effect;
            EXPECT_EQ(FirstDifference(OnScreen(), Expected(effect, shown), w), "")
                << "effect " << effect << " at position " << shown;
        }
        ASSERT_TRUE(t.Running());
        now = 100000 + 1000;
        t.Step();
        EXPECT_FALSE(t.Running()) << effect;
        EXPECT_EQ(FirstDifference(OnScreen(), Expected(effect, 1024), w), "")
            << "effect " << effect << ": the last tick shows the last frame";
        EXPECT_EQ(view->UpdateLockCount(), 0) << effect;
        Pump();
    }
}

TEST_F(TransitionView, RandomEffectsShowTheirWorkPictureAndEndOnTheEndPicture)
{
    TIETransitionEffects& t = *view->Transitions();
    for (int effect : {int(iettRandomPoints), int(iettRandomBoxes)}) {
        now = 100000;
        ASSERT_TRUE(view->RunTransition(effect, 1000));
        for (std::uint32_t at : {0u, 300u, 600u, 900u}) {
            now = 100000 + at;
            t.Step();
            EXPECT_EQ(FirstDifference(OnScreen(), Pixels(*t.WorkBitmap()), w), "") << effect << " at " << at;
        }
        now = 100000 + 2000;
        t.Step();
        EXPECT_EQ(FirstDifference(OnScreen(), endPicture, w), "") << effect;
        Pump();
    }
}

TEST_F(TransitionView, ALateLastTickShowsTheWholeEndPictureNotThePartialFrameOfItsPosition)
{
    TIETransitionEffects& t = *view->Transitions();
    ASSERT_TRUE(view->RunTransition(iettLeftRight1, 1000));
    t.Step();
    now += 300;
    t.Step();
    // The timer was held up: the next tick comes long after the end.
    now += 5000;
    t.Step();
    EXPECT_FALSE(t.Running());
    EXPECT_EQ(t.FrameCount(), 3);
    EXPECT_EQ(FirstDifference(OnScreen(), endPicture, w), "");
    EXPECT_EQ(view->UpdateLockCount(), 0);
    EXPECT_EQ(t.WorkBitmap()->Width(), 1) << "the pictures go back to 1 x 1";
    Pump();
    EXPECT_EQ(FirstDifference(OnScreen(), endPicture, w), "") << "the view's own repaint after the stop";
}

TEST_F(TransitionView, StartRefusesEffectsThatCannotRunAndLeavesTheViewUnlocked)
{
    TIETransitionEffects& t = *view->Transitions();
    for (int effect : {0, 31, 255, -3}) {
        EXPECT_FALSE(view->RunTransition(effect, 1000)) << effect;
        EXPECT_FALSE(t.Start(view->BackBuffer(), view->BackBuffer(), effect, 1000)) << effect;
        EXPECT_FALSE(t.Running());
        EXPECT_FALSE(t.Timer()->Enabled());
        EXPECT_EQ(view->UpdateLockCount(), 0) << effect;
    }
    // Stop with no transition running changes nothing.
    t.Stop();
    EXPECT_EQ(view->UpdateLockCount(), 0);
}

TEST_F(TransitionView, ADurationOfZeroOrLessEndsAtTheFirstTickWithTheLastFrame)
{
    TIETransitionEffects& t = *view->Transitions();
    for (int duration : {0, -250}) {
        ASSERT_TRUE(view->RunTransition(iettCrossDissolve, duration));
        t.Step();
        EXPECT_FALSE(t.Running()) << duration;
        EXPECT_EQ(t.Position(), 1024);
        EXPECT_EQ(FirstDifference(OnScreen(), endPicture, w), "") << duration;
        EXPECT_EQ(view->UpdateLockCount(), 0);
        Pump();
    }
}

TEST_F(TransitionView, OnlyAResizeStopsARunningTransitionAndTheViewRepaintsItself)
{
    TIETransitionEffects& t = *view->Transitions();
    for (bool updateOnStop : {false, true}) {
        ASSERT_TRUE(view->RunTransition(iettFadeOut, 1000, updateOnStop));
        t.Step();
        now += 400;
        t.Step();
        now += 100;
        t.Step();  // a half-faded frame on the screen
        const TPixels half = OnScreen();
        EXPECT_NE(FirstDifference(half, endPicture, w), "");
        // What settles the view meanwhile leaves the animation running, its frame on the screen.
        view->Update();
        view->InvalidateBackBuffer();
        Pump();
        EXPECT_TRUE(t.Running()) << updateOnStop;
        EXPECT_EQ(view->UpdateLockCount(), 1);
        EXPECT_EQ(FirstDifference(OnScreen(), half, w), "") << updateOnStop;
        // A resize (WM_SIZE) stops it.
        view->SetBounds(4, 4, 310, 210);
        EXPECT_FALSE(t.Running()) << updateOnStop;
        EXPECT_EQ(view->UpdateLockCount(), 0);
        view->SetBounds(4, 4, 304, 204);
        Pump();
        EXPECT_EQ(FirstDifference(OnScreen(), endPicture, w), "")
            << "no partial frame stays: " << updateOnStop;
    }
}

TEST_F(TransitionView, TheTimerRunsATransitionToItsEnd)
{
    TIETransitionEffects& t = *view->Transitions();
    t.Clock = [] { return std::uint32_t(::GetTickCount()); };
    ASSERT_TRUE(view->RunTransition(iettCenter1, 200, true));
    EXPECT_TRUE(t.Timer()->Enabled());
    EXPECT_EQ(t.Timer()->Interval(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return !t.Running(); }));
    EXPECT_GE(t.FrameCount(), 1);
    EXPECT_FALSE(t.Timer()->Enabled());
    Pump();
    EXPECT_EQ(FirstDifference(OnScreen(), endPicture, w), "");
}

TEST_F(TransitionView, APaintWhileRunningShowsTheCurrentFrame)
{
    TIETransitionEffects& t = *view->Transitions();
    ASSERT_TRUE(view->RunTransition(iettUpDown1, 1000));
    t.Step();
    now += 500;
    t.Step();
    t.Step();  // position 512 on the screen
    ::InvalidateRect(view->Handle(), nullptr, TRUE);
    Pump();
    EXPECT_TRUE(t.Running());
    EXPECT_EQ(FirstDifference(OnScreen(), Expected(iettUpDown1, 512), w), "");
    t.Stop();
}

}  // namespace
