// Composition of the transition frames: blends, wipes, slides, pushes, random points and blocks,
// boxes and zooms over rows of 24-bit pixels.
#include "imaging/core/vodiradproc_transition.h"

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

constexpr TRGB kRed{0, 0, 255};

// Num / Den rounded to the nearest integer, ties to the even one; Num >= 0, Den > 0.
std::int64_t RoundDiv(std::int64_t num, std::int64_t den)
{
    const std::int64_t q = num / den, r = num % den;
    if (2 * r > den || (2 * r == den && (q & 1)))
        return q + 1;
    return q;
}

class TComposer {
public:
    TComposer(TIETransitionFrames& f) : f_(f), w_(f.Width), h_(f.Height) {}

    void Compose(int effect, int p);

private:
    // Src's rectangle copied to the same place of Work, clipped to the frame.
    void CopyRect(const std::vector<TRGB*>& src, std::int64_t x, std::int64_t y, std::int64_t w,
                  std::int64_t h)
    {
        const std::int64_t x0 = std::max<std::int64_t>(x, 0), x1 = std::min<std::int64_t>(x + w, w_);
        const std::int64_t y0 = std::max<std::int64_t>(y, 0), y1 = std::min<std::int64_t>(y + h, h_);
        if (x1 <= x0)
            return;
        for (std::int64_t r = y0; r < y1; ++r)
            std::memmove(f_.Work[std::size_t(r)] + x0, src[std::size_t(r)] + x0, std::size_t(x1 - x0) * 3);
    }
    void CopyAll(const std::vector<TRGB*>& src) { CopyRect(src, 0, 0, w_, h_); }
    // The whole of Src drawn with its top-left corner at (DX, DY) of Work.
    void DrawAt(const std::vector<TRGB*>& src, std::int64_t dx, std::int64_t dy)
    {
        const std::int64_t x0 = std::max<std::int64_t>(dx, 0), x1 = std::min<std::int64_t>(dx + w_, w_);
        const std::int64_t y0 = std::max<std::int64_t>(dy, 0), y1 = std::min<std::int64_t>(dy + h_, h_);
        if (x1 <= x0)
            return;
        for (std::int64_t r = y0; r < y1; ++r)
            std::memmove(f_.Work[std::size_t(r)] + x0, src[std::size_t(r - dy)] + (x0 - dx),
                         std::size_t(x1 - x0) * 3);
    }
    // The whole of Src scaled to Width x Height (nearest pixel, sampled at pixel centres) into
    // Work at (X, Y).
    void Stretch(const std::vector<TRGB*>& src, std::int64_t x, std::int64_t y, std::int64_t w,
                 std::int64_t h);
    // Pen lines one pixel wide: a column from top to bottom, a row from left to right.
    void VLine(std::int64_t x)
    {
        if (x >= 0 && x < w_)
            for (int r = 0; r < h_; ++r)
                f_.Work[std::size_t(r)][x] = kRed;
    }
    void HLine(std::int64_t y)
    {
        if (y >= 0 && y < h_)
            std::fill_n(f_.Work[std::size_t(y)], w_, kRed);
    }
    // Each channel (A * (1024 - P) + B * P) shr 10; B null takes the background.
    void Blend(const std::vector<TRGB*>& a, const std::vector<TRGB*>* b, int p);
    void PushRows(bool horizontal, int effect, int p);
    void RandomPoints(int p);
    void RandomBoxes(int p);
    // Left or top of the centred box that is part / 1024 of size.
    static std::int64_t CentredStart(std::int64_t size, int part)
    {
        return size / 2 - (part * (size / 2) >> 10);
    }

    TIETransitionFrames& f_;
    const std::int64_t w_, h_;
};

void TComposer::Stretch(const std::vector<TRGB*>& src, std::int64_t x, std::int64_t y, std::int64_t w,
                        std::int64_t h)
{
    if (w < 1 || h < 1)
        return;
    const std::int64_t c0 = std::max<std::int64_t>(x, 0), c1 = std::min<std::int64_t>(x + w, w_);
    const std::int64_t r0 = std::max<std::int64_t>(y, 0), r1 = std::min<std::int64_t>(y + h, h_);
    if (c1 <= c0)
        return;
    std::vector<std::int64_t> column(std::size_t(c1 - c0));
    for (std::int64_t c = c0; c < c1; ++c)
        column[std::size_t(c - c0)] = (2 * (c - x) + 1) * w_ / (2 * w);
    for (std::int64_t r = r0; r < r1; ++r) {
        const TRGB* from = src[std::size_t((2 * (r - y) + 1) * h_ / (2 * h))];
        TRGB* to = f_.Work[std::size_t(r)];
        for (std::int64_t c = c0; c < c1; ++c)
            to[c] = from[column[std::size_t(c - c0)]];
    }
}

void TComposer::Blend(const std::vector<TRGB*>& a, const std::vector<TRGB*>* b, int p)
{
    const int q = kIETransitionEnd - p;
    const TRGB bg = f_.Background;
    for (std::int64_t r = 0; r < h_; ++r) {
        const TRGB* pa = a[std::size_t(r)];
        const TRGB* pb = b ? (*b)[std::size_t(r)] : nullptr;
        TRGB* out = f_.Work[std::size_t(r)];
        for (std::int64_t c = 0; c < w_; ++c) {
            const TRGB s = pa[c], e = pb ? pb[c] : bg;
            out[c] = TRGB{std::uint8_t((s.b * q + e.b * p) >> 10), std::uint8_t((s.g * q + e.g * p) >> 10),
                          std::uint8_t((s.r * q + e.r * p) >> 10)};
        }
    }
}

void TComposer::PushRows(bool horizontal, int effect, int p)
{
    const std::vector<TRGB*>&s = f_.Start, &e = f_.End;
    const int q = kIETransitionEnd - p;
    if (horizontal) {
        // Each work row is two runs: the first D pixels from one picture, the rest from the other.
        const std::int64_t d = ((effect <= iettMoveLeftRight2 ? p : q) * w_) >> 10;
        for (std::int64_t r = 0; r < h_; ++r) {
            TRGB* out = f_.Work[std::size_t(r)];
            const TRGB *sr = s[std::size_t(r)], *er = e[std::size_t(r)];
            const TRGB *first, *second;
            switch (effect) {
            case iettMoveLeftRight1: first = er + (w_ - d), second = sr; break;
            case iettMoveLeftRight2: first = er, second = sr; break;
            case iettMoveRightLeft1: first = sr + (w_ - d), second = er; break;
            default: first = sr, second = er; break;
            }
            std::memmove(out, first, std::size_t(d) * 3);
            std::memmove(out + d, second, std::size_t(w_ - d) * 3);
        }
        return;
    }
    const std::int64_t d = ((effect <= iettMoveUpDown2 ? p : q) * h_) >> 10;
    for (std::int64_t r = 0; r < h_; ++r) {
        const TRGB* from;
        switch (effect) {
        case iettMoveUpDown1: from = r < d ? e[std::size_t(h_ - d + r)] : s[std::size_t(r - d)]; break;
        case iettMoveUpDown2: from = r < d ? e[std::size_t(r)] : s[std::size_t(r - d)]; break;
        case iettMoveDownUp1: from = r < d ? s[std::size_t(h_ - d + r)] : e[std::size_t(r - d)]; break;
        default: from = r < d ? s[std::size_t(h_ - d + r)] : e[std::size_t(r)]; break;
        }
        std::memmove(f_.Work[std::size_t(r)], from, std::size_t(w_) * 3);
    }
}

void TComposer::RandomPoints(int p)
{
    // Round(W * p * (p / 180) / 1024) end pixels a row by now.
    const std::int64_t n = RoundDiv(w_ * p * p, 180 * 1024);
    for (std::int64_t r = 0; r < h_; ++r) {
        TRGB* out = f_.Work[std::size_t(r)];
        const TRGB* er = f_.End[std::size_t(r)];
        for (std::int64_t k = f_.LastCount; k < n; ++k) {
            const int x = f_.Random.Next(int(w_));
            out[x] = er[x];
        }
    }
    f_.LastCount = std::max(f_.LastCount, n);
}

void TComposer::RandomBoxes(int p)
{
    const std::int64_t n = RoundDiv((w_ * h_ / 64) * p * p, 180 * 1024);
    for (std::int64_t k = f_.LastCount; k < n; ++k) {
        const int x = f_.Random.Next(int(w_)) & ~7;
        const int y = f_.Random.Next(int(h_)) & ~7;
        CopyRect(f_.End, x, y, 8, 8);
    }
    f_.LastCount = std::max(f_.LastCount, n);
}

void TComposer::Compose(int effect, int p)
{
    const int q = kIETransitionEnd - p;
    switch (effect) {
    case iettCrossDissolve: Blend(f_.Start, &f_.End, p); return;
    case iettFadeOut: Blend(f_.Start, nullptr, p); return;
    case iettFadeIn: Blend(f_.End, nullptr, q); return;
    case iettFadeOutIn:
        if (p < 512)
            Blend(f_.Start, nullptr, 2 * p);
        else
            Blend(f_.End, nullptr, kIETransitionEnd - (p - 512) * 2);
        return;
    case iettRandomPoints:
    case iettRandomBoxes:
        if (p == 0) {
            CopyAll(f_.Start);
            f_.LastCount = 0;
        } else if (p >= kIETransitionEnd) {
            // The last frame is the end picture whole, wherever the draws have got to.
            CopyAll(f_.End);
        } else if (effect == iettRandomPoints) {
            RandomPoints(p);
        } else {
            RandomBoxes(p);
        }
        return;
    case iettMoveLeftRight1:
    case iettMoveLeftRight2:
    case iettMoveRightLeft1:
    case iettMoveRightLeft2: PushRows(true, effect, p); return;
    case iettMoveUpDown1:
    case iettMoveUpDown2:
    case iettMoveDownUp1:
    case iettMoveDownUp2: PushRows(false, effect, p); return;
    case iettCenter2: {
        CopyAll(f_.End);
        CopyRect(f_.Start, CentredStart(w_, q), CentredStart(h_, q), (q * w_) >> 10, (q * h_) >> 10);
        return;
    }
    case iettCenterZoom2:
        CopyAll(f_.End);
        Stretch(f_.Start, CentredStart(w_, q), CentredStart(h_, q), (q * w_) >> 10, (q * h_) >> 10);
        return;
    default: break;
    }
    if (!IEIsTransition(effect))
        return;
    // The rest draw part of the end picture over the start picture.
    CopyAll(f_.Start);
    const std::int64_t dx = (q * w_) >> 10, dy = (q * h_) >> 10;
    switch (effect) {
    case iettLeftRight1:
    case iettLeftRight2: {
        const std::int64_t x = (p * w_) >> 10;
        CopyRect(f_.End, 0, 0, x, h_);
        if (effect == iettLeftRight2)
            VLine(x);
        break;
    }
    case iettRightLeft1:
    case iettRightLeft2: {
        // The width runs to the right edge, so rounding leaves no start column behind.
        const std::int64_t x = RoundDiv(q * w_, kIETransitionEnd);
        CopyRect(f_.End, x, 0, w_ - x, h_);
        if (effect == iettRightLeft2)
            VLine(x);
        break;
    }
    case iettUpDown1:
    case iettUpDown2: {
        const std::int64_t y = RoundDiv(p * h_, kIETransitionEnd);
        CopyRect(f_.End, 0, 0, w_, y);
        if (effect == iettUpDown2)
            HLine(y);
        break;
    }
    case iettDownUp1:
    case iettDownUp2: {
        const std::int64_t y = RoundDiv(q * h_, kIETransitionEnd);
        CopyRect(f_.End, 0, y, w_, h_ - y);
        if (effect == iettDownUp2)
            HLine(y);
        break;
    }
    case iettFromUpLeft: DrawAt(f_.End, -dx, -dy); break;
    case iettFromUpRight: DrawAt(f_.End, dx, -dy); break;
    case iettFromBottomLeft: DrawAt(f_.End, -dx, dy); break;
    case iettFromBottomRight: DrawAt(f_.End, dx, dy); break;
    case iettCenter1:
        CopyRect(f_.End, CentredStart(w_, p), CentredStart(h_, p), (p * w_) >> 10, (p * h_) >> 10);
        break;
    case iettCenterZoom1:
        Stretch(f_.End, CentredStart(w_, p), CentredStart(h_, p), (p * w_) >> 10, (p * h_) >> 10);
        break;
    default: break;
    }
}

}  // namespace

int TIETransitionRandom::Next(int Range)
{
    seed_ = seed_ * 134775813u + 1u;
    if (Range < 1)
        return 0;
    return int((std::uint64_t(seed_) * std::uint32_t(Range)) >> 32);
}

void IEComposeTransition(TIETransitionFrames& Frames, int Effect, int Position)
{
    const std::size_t h = std::size_t(std::max(Frames.Height, 0));
    if (Frames.Width < 1 || Frames.Height < 1 || Frames.Start.size() < h || Frames.End.size() < h ||
        Frames.Work.size() < h)
        return;
    TComposer(Frames).Compose(Effect, std::clamp(Position, 0, kIETransitionEnd));
}

int IETransitionPosition(std::uint32_t Elapsed, std::int32_t Duration)
{
    if (Duration <= 0)
        return kIETransitionEnd;
    return int(std::min<std::uint64_t>(std::uint64_t(Elapsed) * kIETransitionEnd / std::uint32_t(Duration),
                                       kIETransitionEnd));
}

}  // namespace imaging
