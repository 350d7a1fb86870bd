// The skinned scroll bar: two line buttons and a track bar between them, as a panel that stands
// beside a control (the skinned memo) and mirrors its scroll state.
#pragma once

#include "platform/win/ExtCtrls.h"
#include "platform/win/Graphics.h"
#include "skin/SUIButton.h"
#include "skin/SUIControl.h"
#include "skin/SUITrackBar.h"

#include <cstdint>

namespace skin {

// Min, Max, Position and LargeChange (the paging step) are the slider's; Max below Min counts as
// Min. The line buttons step by SmallChange and repeat every 100 ms while held.
//
// The thumb is LineButton pixels long when that is positive (raised to at least 16), else
// PageSize percent of the slider (a PageSize outside 10 to 100 counts as 10), and never longer
// than the slider. A LineButton longer than the slider is refused.
class TsuiScrollBar : public win::TCustomPanel {
    RTL_DECLARE_CLASS(TsuiScrollBar, win::TCustomPanel)

public:
    explicit TsuiScrollBar(rtl::TComponent* owner);
    ~TsuiScrollBar() override;

    TsuiFileTheme* FileTheme() const { return link_.FileTheme(); }
    void SetFileTheme(TsuiFileTheme* value);
    std::int32_t LineButton() const { return lineButton_; }
    void SetLineButton(std::int32_t value);
    TsuiProgressBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TsuiProgressBarOrientation value);
    TsuiUIStyle UIStyle() const { return link_.UIStyle(); }
    void SetUIStyle(TsuiUIStyle value);
    std::int32_t Max() const { return slider_->Max(); }
    void SetMax(std::int32_t value) { slider_->SetMax(value); }
    std::int32_t Min() const { return slider_->Min(); }
    void SetMin(std::int32_t value) { slider_->SetMin(value); }
    std::int32_t Position() const { return slider_->Position(); }
    void SetPosition(std::int32_t value);
    std::int32_t SmallChange() const { return smallChange_; }
    void SetSmallChange(std::int32_t value) { smallChange_ = value; }
    std::int32_t LargeChange() const { return slider_->PageSize(); }
    void SetLargeChange(std::int32_t value) { slider_->SetPageSize(value); }
    std::int32_t PageSize() const { return pageSize_; }
    void SetPageSize(std::int32_t value);

    // The slider's change, with the scroll bar as the sender.
    rtl::TNotifyEvent OnChange;

    // Shows or hides the thumb (the skinned memo hides it while its text fits).
    void SetThumbEnabled(bool value) { slider_->SetThumbEnabled(value); }
    bool ThumbEnabled() const { return slider_->ThumbEnabled(); }
    // The thumb's length along the bar now (0 without room for one).
    int ThumbLength();
    TsuiImageButton* FirstButton() const { return first_; }
    TsuiScrollTrackBar* Slider() const { return slider_; }
    TsuiImageButton* SecondButton() const { return second_; }

    void WndProc(win::TMessage& message) override;

protected:
    void Resize() override;
    void Loaded() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    void ApplyUIStyle();
    void LayOut();
    void BuildThumb();
    int SliderLength() const;
    int ButtonLength(const TsuiImageButton* button) const;
    void StepBy(std::int64_t delta);

    TSkinLink link_;
    TsuiProgressBarOrientation orientation_ = suiHorizontal;
    std::int32_t lineButton_ = 0;
    std::int32_t smallChange_ = 1;
    std::int32_t pageSize_ = 10;
    TsuiImageButton* first_;      // owned as a component
    TsuiScrollTrackBar* slider_;  // owned as a component
    TsuiImageButton* second_;     // owned as a component
    // The thumb's three pieces laid along a horizontal bar: start, grip, end.
    win::TBitmap thumbStart_;
    win::TBitmap thumbGrip_;
    win::TBitmap thumbEnd_;
    // A file theme's thumb has 3-pixel caps and fills beside its grip; a style's thumb is its
    // start and end pieces with the grip between.
    bool capsLayout_ = false;
    bool layingOut_ = false;
};

}  // namespace skin
