// The transition animation on a view: its pictures, timer, clock and locking of the view.
#include "imaging/core/vodiradproc_transition_win32.h"

#include "imaging/core/ieview_win32.h"
#include "imaging/core/vodiradproc.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Graphics.h"

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

void MakeIdle(win::TBitmap& bitmap)
{
    bitmap.SetPixelFormat(win::pf24bit);
    bitmap.SetSize(1, 1);
}

// Row r (0 = top) of a 24-bit picture.
std::vector<TRGB*> RowsOf(win::TBitmap& bitmap)
{
    std::vector<TRGB*> rows(std::size_t(bitmap.Height()));
    for (int r = 0; r < bitmap.Height(); ++r)
        rows[std::size_t(r)] = static_cast<TRGB*>(bitmap.ScanLine(r));
    return rows;
}

// Target becomes a W x H 24-bit picture: Source's top-left part over the background.
void FillPicture(win::TBitmap& target, win::TBitmap* source, int w, int h, TRGB background)
{
    target.SetPixelFormat(win::pf24bit);
    target.SetSize(w, h);
    const std::vector<TRGB*> rows = RowsOf(target);
    for (TRGB* row : rows)
        std::fill_n(row, w, background);
    if (!source || source->Width() < 1 || source->Height() < 1)
        return;
    win::TBitmap copy;
    copy.Assign(source);
    copy.SetPixelFormat(win::pf24bit);
    const int cw = std::min(w, copy.Width()), ch = std::min(h, copy.Height());
    for (int r = 0; r < ch; ++r)
        std::memcpy(rows[std::size_t(r)], copy.ScanLine(r), std::size_t(cw) * 3);
}

}  // namespace

TIETransitionEffects::TIETransitionEffects(TIEView* Owner)
    : owner_(Owner),
      start_(std::make_unique<win::TBitmap>()),
      end_(std::make_unique<win::TBitmap>()),
      work_(std::make_unique<win::TBitmap>()),
      timer_(std::make_unique<win::TTimer>(nullptr))
{
    Clock = [] { return std::uint32_t(::GetTickCount()); };
    MakeIdle(*start_);
    MakeIdle(*end_);
    MakeIdle(*work_);
    timer_->SetEnabled(false);
    timer_->SetInterval(1);
    timer_->OnTimer = [this](rtl::TObject*) { Step(); };
}

TIETransitionEffects::~TIETransitionEffects()
{
    // The owner is going away too: nothing is unlocked or repainted.
    timer_->SetEnabled(false);
    running_ = false;
}

void TIETransitionEffects::Idle()
{
    timer_->SetEnabled(false);
    running_ = false;
    frames_.Start.clear();
    frames_.End.clear();
    frames_.Work.clear();
    frames_.Width = frames_.Height = 0;
    MakeIdle(*start_);
    MakeIdle(*end_);
    MakeIdle(*work_);
}

bool TIETransitionEffects::Start(win::TBitmap* StartPicture, win::TBitmap* EndPicture, int Effect,
                                 int Duration, bool UpdateOnStop)
{
    // An effect without frames could never finish; refused before anything is locked.
    if (!IEIsTransition(Effect) || !owner_->HandleAllocated())
        return false;
    const int w = owner_->ClientWidth(), h = owner_->ClientHeight();
    if (w < 1 || h < 1)
        return false;
    Stop();
    TRGB background;
    TColorToRGB(owner_->Background(), background);
    FillPicture(*start_, StartPicture, w, h, background);
    FillPicture(*end_, EndPicture, w, h, background);
    FillPicture(*work_, nullptr, w, h, background);
    frames_.Width = w;
    frames_.Height = h;
    frames_.Start = RowsOf(*start_);
    frames_.End = RowsOf(*end_);
    frames_.Work = RowsOf(*work_);
    // The work picture starts as the start picture, so every effect's first frame has a base.
    for (int r = 0; r < h; ++r)
        std::memcpy(frames_.Work[std::size_t(r)], frames_.Start[std::size_t(r)], std::size_t(w) * 3);
    frames_.Background = background;
    frames_.LastCount = 0;
    transition_ = Effect;
    duration_ = Duration;
    updateOnStop_ = UpdateOnStop;
    position_ = 0;
    frameCount_ = 0;
    startTick_ = Clock();
    running_ = true;
    owner_->LockUpdate();
    timer_->SetEnabled(true);
    return true;
}

void TIETransitionEffects::Stop()
{
    if (!running_ || transition_ == iettNone)
        return;
    Idle();
    owner_->UnlockUpdateNoRefresh();
    // The last frame shown may be partial (stopped early) or not the view's own picture (a fade
    // out, a line): the view paints itself again either way.
    if (updateOnStop_)
        owner_->Update();
    else
        owner_->Invalidate();
}

void TIETransitionEffects::Show()
{
    if (!owner_->HandleAllocated())
        return;
    HDC dc = ::GetDC(owner_->Handle());
    if (!dc)
        return;
    PaintFrame(dc);
    ::ReleaseDC(owner_->Handle(), dc);
}

void TIETransitionEffects::PaintFrame(HDC DC)
{
    if (running_ && frames_.Width > 0)
        ::BitBlt(DC, 0, 0, frames_.Width, frames_.Height, work_->Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TIETransitionEffects::Step()
{
    if (!running_)
        return;
    ++frameCount_;
    const std::uint32_t elapsed = Clock() - startTick_;
    // Once the time is up the last frame is shown, not the one of the previous tick's position.
    const bool last = duration_ <= 0 || elapsed >= std::uint32_t(duration_);
    if (last)
        position_ = kIETransitionEnd;
    IEComposeTransition(frames_, transition_, position_);
    Show();
    if (last)
        Stop();
    else
        position_ = IETransitionPosition(elapsed, duration_);
}

}  // namespace imaging
