// The frames of the transition effects: how a frame between a start and an end picture is composed
// for an effect at a progress of 0..1024. Portable; the animation on a view is TIETransitionEffects
// (vodiradproc_transition_win32.h).
#pragma once

#include "imaging/core/hyiedefs.h"

#include <cstdint>
#include <vector>

namespace imaging {

// Effect numbers; 0 is none and the highest is 30.
enum TIETransitionEffect : std::uint8_t {
    iettNone,
    iettCrossDissolve,
    iettFadeOut,
    iettFadeIn,
    iettFadeOutIn,
    iettLeftRight1,
    iettLeftRight2,
    iettRightLeft1,
    iettRightLeft2,
    iettUpDown1,
    iettUpDown2,
    iettDownUp1,
    iettDownUp2,
    iettFromUpLeft,
    iettFromUpRight,
    iettFromBottomLeft,
    iettFromBottomRight,
    iettMoveLeftRight1,
    iettMoveLeftRight2,
    iettMoveRightLeft1,
    iettMoveRightLeft2,
    iettMoveUpDown1,
    iettMoveUpDown2,
    iettMoveDownUp1,
    iettMoveDownUp2,
    iettRandomPoints,
    iettRandomBoxes,
    iettCenter1,
    iettCenter2,
    iettCenterZoom1,
    iettCenterZoom2
};
inline constexpr int kIELastTransition = iettCenterZoom2;
inline constexpr int kIETransitionEnd = 1024;

// True for 1..30: the effects a transition can run.
inline bool IEIsTransition(int Effect) { return Effect > iettNone && Effect <= kIELastTransition; }

// The linear congruential generator the random effects draw their positions from, so that a run
// can be repeated from its seed.
class TIETransitionRandom {
public:
    explicit TIETransitionRandom(std::uint32_t Seed = 0) : seed_(Seed) {}
    void SetSeed(std::uint32_t Seed) { seed_ = Seed; }
    // 0..Range-1; 0 for a Range below 1.
    int Next(int Range);

private:
    std::uint32_t seed_;
};

// Three pictures of Width x Height 24-bit pixels, each given by its rows (row 0 at the top). The
// rows are borrowed; Work is written, Start and End only read.
struct TIETransitionFrames {
    int Width = 0;
    int Height = 0;
    std::vector<TRGB*> Start, End, Work;
    TRGB Background;
    // End pixels or blocks the random effects have copied so far in this run.
    std::int64_t LastCount = 0;
    TIETransitionRandom Random;
};

// Composes Frames.Work for Effect at Position (clamped to 0..1024). Every effect but the random
// ones composes its whole frame from Start and End, so a frame depends on its position alone; the
// random ones add end pixels to the previous frame, starting over at position 0. At 1024 every
// effect shows its last picture whole (the end picture, or the background for a fade out), the
// random ones included. Effect 0 and unknown numbers leave Work as it is; frames with rows missing
// or a size below 1 compose nothing.
void IEComposeTransition(TIETransitionFrames& Frames, int Effect, int Position);

// Position of a transition Elapsed ms into one of Duration ms: Elapsed * 1024 / Duration truncated,
// at most 1024; 1024 for a Duration of 0 or less.
int IETransitionPosition(std::uint32_t Elapsed, std::int32_t Duration);

}  // namespace imaging
