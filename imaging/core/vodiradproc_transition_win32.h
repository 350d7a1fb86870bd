// TIETransitionEffects: the animated change from one picture to the next on an image view, one
// frame a timer tick. Windows build only; the frames themselves are vodiradproc_transition.h.
#pragma once

#include "imaging/core/vodiradproc_transition.h"
#include "platform/rtl/Win32.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace win {
class TBitmap;
class TTimer;
}  // namespace win

namespace imaging {

class TIEView;

// Main thread only. While a transition runs the view's repaints are locked; Stop unlocks them and
// repaints the view (through its Update with UpdateOnStop), so no partial frame stays on screen.
class TIETransitionEffects {
public:
    // Owner is not owned and must outlive this object.
    explicit TIETransitionEffects(TIEView* Owner);
    ~TIETransitionEffects();
    TIETransitionEffects(const TIETransitionEffects&) = delete;
    TIETransitionEffects& operator=(const TIETransitionEffects&) = delete;

    // Runs Effect (1..30) from StartPicture to EndPicture over the owner's client area: the
    // pictures' top-left parts are used, the rest of the area is the owner's background (so is a
    // missing picture). A running transition is stopped first. False, with nothing started, for
    // effect 0 or a number above 30, and for an owner without a window or client area. A Duration
    // of 0 or less ends at the first tick, which shows the last frame.
    bool Start(win::TBitmap* StartPicture, win::TBitmap* EndPicture, int Effect, int Duration,
               bool UpdateOnStop = false);
    // Only while running: timer off, pictures back to 1 x 1, the owner's updates unlocked and the
    // owner repainted.
    void Stop();
    // One frame: composes the frame of the current position and shows it; once the duration has
    // passed it shows the last frame instead and stops.
    void Step();
    // Copies the current frame onto DC (the owner's paint while running).
    void PaintFrame(HDC DC);

    bool Running() const { return running_; }
    int Transition() const { return transition_; }
    int Duration() const { return duration_; }
    int Position() const { return position_; }
    int FrameCount() const { return frameCount_; }
    int Width() const { return frames_.Width; }
    int Height() const { return frames_.Height; }
    bool UpdateOnStop() const { return updateOnStop_; }
    // The frame last composed (1 x 1 when idle).
    win::TBitmap* WorkBitmap() const { return work_.get(); }
    win::TTimer* Timer() const { return timer_.get(); }
    // The random effects' positions; seeding it repeats a run.
    TIETransitionRandom& Random() { return frames_.Random; }

    // Milliseconds of the system's tick count; tests put a clock of their own here.
    std::function<std::uint32_t()> Clock;

private:
    void Idle();
    void Show();

    TIEView* owner_;  // not owned
    std::unique_ptr<win::TBitmap> start_, end_, work_;
    TIETransitionFrames frames_;
    std::unique_ptr<win::TTimer> timer_;
    bool running_ = false;
    int position_ = 0;
    int transition_ = iettNone;
    int duration_ = 1000;
    std::uint32_t startTick_ = 0;
    bool updateOnStop_ = false;
    int frameCount_ = 0;
};

}  // namespace imaging
