// The skinned memo: a borderless multi-line edit framed in the skin's control-border colour,
// which two skinned scroll bars beside it can stand in for its own.
#pragma once

#include "platform/win/StdCtrls.h"
#include "skin/SUIControl.h"
#include "skin/SUIScrollBar.h"

#include <cstdint>

namespace skin {

// Linking a skinned scroll bar turns the memo's own bar of that direction on (ScrollBars follows
// the linked bars) and lays the skinned bar over it, inside the memo's edge; the skinned bars
// mirror the memo's scroll state whenever it changes, and scroll the memo when moved. Positions
// travel in 32 bits both ways, so a text of more than 65,535 lines scrolls to its end from the
// bar. A memo without linked bars keeps its ScrollBars and shows the system's bars.
class TsuiMemo : public win::TCustomMemo {
    RTL_DECLARE_CLASS(TsuiMemo, win::TCustomMemo)

public:
    explicit TsuiMemo(rtl::TComponent* owner);
    ~TsuiMemo() override;

    TsuiFileTheme* FileTheme() const { return link_.FileTheme(); }
    void SetFileTheme(TsuiFileTheme* value);
    TsuiUIStyle UIStyle() const { return link_.UIStyle(); }
    void SetUIStyle(TsuiUIStyle value);
    win::TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(win::TColor value);
    TsuiScrollBar* VScrollBar() const { return vBar_; }
    void SetVScrollBar(TsuiScrollBar* bar) { Link(vBar_, bar, suiVertical); }
    TsuiScrollBar* HScrollBar() const { return hBar_; }
    void SetHScrollBar(TsuiScrollBar* bar) { Link(hBar_, bar, suiHorizontal); }

    // Copies the memo's own scroll state to the linked bars.
    void SyncScrollBars();
    // Lays the linked bars over the memo's edges, then synchronises them.
    void PlaceScrollBars();

    void WndProc(win::TMessage& message) override;

protected:
    void CreateWnd() override;
    void Loaded() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void LinesFlushed() override;

private:
    void Link(TsuiScrollBar*& field, TsuiScrollBar* bar, TsuiProgressBarOrientation orientation);
    void Unlink(TsuiScrollBar* bar);
    void UpdateScrollStyle();
    void BarChanged(rtl::TObject* sender);
    void ScrollTo(bool vertical, std::int32_t position);
    // The frame, and the corner between two linked bars, on the memo's window.
    void DrawBorder();
    // The scroll state changed: the bars follow and the frame is drawn again over the system's
    // bars, which redraw themselves without a paint message.
    void Changed();
    // Lays the bars out again from the message loop, when their windows exist to be put on
    // top of the memo's.
    void PostPlaceBars();

    TSkinLink link_;
    win::TColor borderColor_ = win::clBlack;
    TsuiScrollBar* vBar_ = nullptr;  // not owned
    TsuiScrollBar* hBar_ = nullptr;  // not owned
    bool synchronising_ = false;
    bool scrollingFromBar_ = false;
    bool leftDown_ = false;
    bool placePosted_ = false;
};

}  // namespace skin
