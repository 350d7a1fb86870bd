// Timer, image and panel.
#pragma once

#include "platform/win/Controls.h"

#include <algorithm>
#include <memory>

namespace win {

// Fires OnTimer every Interval milliseconds on the main thread while Enabled and Interval is
// above 0 (not while a description is being read). Timer messages are not queued up: a slow handler
// delays the next tick rather than causing a burst.
class TTimer : public rtl::TComponent {
    RTL_DECLARE_CLASS(TTimer, rtl::TComponent)

public:
    explicit TTimer(rtl::TComponent* owner);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v) { rtl::SetAndNotify(enabled_, v, this, &Self::UpdateTimer); }
    std::uint32_t Interval() const { return interval_; }
    void SetInterval(std::uint32_t v) { rtl::SetAndNotify(interval_, v, this, &Self::UpdateTimer); }
    rtl::TNotifyEvent OnTimer;

protected:
    void Loaded() override;
    virtual void Timer() { OnTimer(this); }

private:
    void UpdateTimer();
    void WndProc(TMessage& message);

    bool enabled_ = true;
    std::uint32_t interval_ = 1000;
    HWND window_ = nullptr;  // destroyed with the timer
    bool running_ = false;
};

// Shows a picture: at its own size, centred, or stretched (proportionally when asked).
// AutoSize makes the control take the picture's size.
class TImage : public TGraphicControl {
    RTL_DECLARE_CLASS(TImage, TGraphicControl)

public:
    explicit TImage(rtl::TComponent* owner);
    ~TImage() override;

    TPicture* Picture() const { return picture_.get(); }
    void SetPicture(TPicture* v) { picture_->Assign(v); }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) { rtl::SetAndNotify(autoSize_, v, this, &Self::AdjustSize); }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool v) { rtl::SetAndNotify(stretch_, v, this, &Self::Invalidate); }
    bool Center() const { return center_; }
    void SetCenter(bool v) { rtl::SetAndNotify(center_, v, this, &Self::Invalidate); }
    bool Proportional() const { return proportional_; }
    void SetProportional(bool v) { rtl::SetAndNotify(proportional_, v, this, &Self::Invalidate); }
    // Passed on to the picture's graphic, now and whenever the picture changes.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    // The rectangle the picture is drawn into, in client coordinates.
    TRect DestRect();

protected:
    void Paint() override;
    void AdjustSize() override;

private:
    void PictureChanged(rtl::TObject*);

    std::unique_ptr<TPicture> picture_;
    bool autoSize_ = false;
    bool stretch_ = false;
    bool center_ = false;
    bool proportional_ = false;
    bool transparent_ = false;
};

// A windowed container with an optional bevelled frame and a caption.
class TCustomPanel : public TCustomControl {
    RTL_DECLARE_CLASS(TCustomPanel, TCustomControl)

public:
    explicit TCustomPanel(rtl::TComponent* owner);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v) { rtl::SetAndNotify(alignment_, v, this, &Self::Invalidate); }
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut v) { rtl::SetAndNotify(bevelInner_, v, this, &Self::FrameChanged); }
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut v) { rtl::SetAndNotify(bevelOuter_, v, this, &Self::FrameChanged); }
    // At least 1.
    std::int32_t BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int v) { rtl::SetAndNotify(bevelWidth_, std::max(v, 1), this, &Self::FrameChanged); }
    // At least 0.
    std::int32_t BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int v) { rtl::SetAndNotify(borderWidth_, std::max(v, 0), this, &Self::FrameChanged); }
    TBorderStyle BorderStyle() const { return BorderStyleProp(); }
    void SetBorderStyle(TBorderStyle v) { ChangeBorderStyle(v); }

    TRect ClientRect() override;

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint() override;
    void AlignControls(TControl* control, TRect& rect) override;

private:
    // The bevels or the border changed: the children move inside them and the frame is drawn again.
    void FrameChanged()
    {
        Realign();
        Invalidate();
    }

    TAlignment alignment_ = taCenter;
    TBevelCut bevelInner_ = bvNone;
    TBevelCut bevelOuter_ = bvRaised;
    std::int32_t bevelWidth_ = 1;
    std::int32_t borderWidth_ = 0;
};

class TPanel : public TCustomPanel {
    RTL_DECLARE_CLASS(TPanel, TCustomPanel)

public:
    explicit TPanel(rtl::TComponent* owner) : TCustomPanel(owner) {}
};

// Draws a two-coloured frame of `width` pixels inside `rect` and shrinks `rect` past it.
void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int width);

}  // namespace win
