// The skinned track bar: a thumb (an image panel) moving over a skinned channel; and the same
// bar as the middle part of the skinned scroll bar.
#pragma once

#include "platform/win/ExtCtrls.h"
#include "platform/win/Graphics.h"
#include "skin/SUIControl.h"
#include "skin/SUIImagePanel.h"

#include <cstdint>
#include <memory>

namespace skin {

enum TsuiProgressBarOrientation { suiHorizontal, suiVertical };
RTL_ENUM_INFO(TsuiProgressBarOrientation, "suiHorizontal", "suiVertical")

// Position runs from Min to Max. A Max below Min counts as Min: the range is then empty, the
// position is Min and the thumb stays at the start. The thumb's place and the value under the
// mouse are worked out in 64 bits, so the whole 32-bit range works on any length; a bar shorter
// than its thumb keeps the thumb at the start and ignores the mouse.
//
// Mouse: pressing the thumb drags it; pressing the channel pages toward the mouse, PageSize at a
// time and never past it, repeated every 100 ms while the button stays down. The paging ends
// when the button is released (anywhere), the mouse leaves the bar, the bar loses the mouse
// capture, or is disabled or hidden. Keys: Page Up and Page Down by PageSize, Home and End,
// arrows by LineSize.
class TsuiTrackBar : public win::TCustomPanel {
    RTL_DECLARE_CLASS(TsuiTrackBar, win::TCustomPanel)

public:
    explicit TsuiTrackBar(rtl::TComponent* owner);
    ~TsuiTrackBar() override;

    TsuiProgressBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TsuiProgressBarOrientation value);
    TsuiFileTheme* FileTheme() const { return link_.FileTheme(); }
    void SetFileTheme(TsuiFileTheme* value);
    TsuiUIStyle UIStyle() const { return link_.UIStyle(); }
    void SetUIStyle(TsuiUIStyle value);
    // The channel: three pieces side by side (start, middle, end) drawn for a horizontal bar.
    win::TPicture* BarImage() const { return barImage_.get(); }
    void SetBarImage(win::TPicture* value) { barImage_->Assign(value); }
    // The thumb's picture.
    win::TPicture* SliderImage() const;
    void SetSliderImage(win::TPicture* value);
    // The same from a bitmap (the skinned scroll bar builds its thumb so).
    void SetSliderBitmap(win::TBitmap* value);
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t value);
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t value);
    std::int32_t Position() const { return position_; }
    void SetPosition(std::int32_t value);
    std::int32_t PageSize() const { return pageSize_; }
    void SetPageSize(std::int32_t value) { pageSize_ = value; }
    std::int32_t LineSize() const { return lineSize_; }
    void SetLineSize(std::int32_t value) { lineSize_ = value; }
    bool ShowTick() const { return showTick_; }
    void SetShowTick(bool value) { rtl::SetAndNotify(showTick_, value, this, &Self::Invalidate); }
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value) { rtl::SetAndNotify(transparent_, value, this, &Self::Invalidate); }
    // Steps between ticks; below 1 counts as 1.
    std::int32_t Frequency() const { return frequency_; }
    void SetFrequency(std::int32_t value) { rtl::SetAndNotify(frequency_, value, this, &Self::Invalidate); }

    rtl::TNotifyEvent OnChange;

    // The largest position: Max, or Min when Max lies below it.
    std::int32_t UpperBound() const { return max_ < min_ ? min_ : max_; }
    // The last reported change of the position (new minus old).
    std::int64_t LastChange() const { return lastChange_; }
    TsuiImagePanel* Thumb() const { return thumb_; }
    bool Dragging() const { return dragging_; }
    bool Paging() const { return pageTimer_ != nullptr; }
    // The thumb's offset along the bar for `value`, and the value whose thumb centre lies
    // under `coordinate` (X or Y by orientation) in client coordinates.
    std::int32_t ThumbOffset(std::int32_t value);
    std::int32_t ValueAt(int coordinate);

    void WndProc(win::TMessage& message) override;

protected:
    // Loads the channel and the thumb of the style.
    virtual void ApplyUIStyle();
    // The colour behind the channel's key pixels.
    win::TColor FormColor() const { return formColor_; }
    void SetFormColor(win::TColor value) { formColor_ = value; }
    // Lays out the bar's cross size and the thumb after a change of pictures or size.
    void UpdateLayout();
    TSkinLink& Link() { return link_; }

    void Paint() override;
    void Resize() override;
    void Loaded() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void MouseMove(win::TShiftState shift, int x, int y) override;
    void MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void KeyDown(std::uint16_t& key, win::TShiftState shift) override;

private:
    int Length() const { return orientation_ == suiHorizontal ? Width() : Height(); }
    int ThumbLength() const;
    void PlaceThumb();
    void PaintChannel(win::TCanvas& canvas);
    void PaintTicks(win::TCanvas& canvas);
    void StepBy(std::int64_t delta);
    void ThumbMouseDown(rtl::TObject*, win::TMouseButton button, win::TShiftState shift, int x, int y);
    void ThumbMouseUp(rtl::TObject*, win::TMouseButton button, win::TShiftState shift, int x, int y);
    void PageToward(rtl::TObject*);
    void StopPaging();
    void EndPress();

    TSkinLink link_;
    TsuiProgressBarOrientation orientation_ = suiHorizontal;
    std::unique_ptr<win::TPicture> barImage_;
    TsuiImagePanel* thumb_;  // owned as a component
    std::int32_t max_ = 10;
    std::int32_t min_ = 0;
    std::int32_t position_ = 0;
    std::int32_t pageSize_ = 2;
    std::int32_t lineSize_ = 1;
    bool showTick_ = false;
    bool transparent_ = false;
    std::int32_t frequency_ = 1;
    std::int32_t lastPosition_ = 0;
    std::int64_t lastChange_ = 0;
    bool dragging_ = false;
    std::unique_ptr<win::TTimer> pageTimer_;
    win::TPoint pagePoint_;
    win::TColor formColor_ = win::clBtnFace;
    win::TBitmap work_;
};

// The middle part of the skinned scroll bar: no ticks, no tab stop, Max 100; the scroll bar
// gives it its thumb picture, so styles do not load track bar pictures here.
class TsuiScrollTrackBar : public TsuiTrackBar {
    RTL_DECLARE_CLASS(TsuiScrollTrackBar, TsuiTrackBar)

public:
    explicit TsuiScrollTrackBar(rtl::TComponent* owner);

    // Shows or hides the thumb (a scroll bar with nothing to scroll has none).
    void SetThumbEnabled(bool value);
    bool ThumbEnabled() const;

protected:
    void ApplyUIStyle() override;
};

}  // namespace skin
