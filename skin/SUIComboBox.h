// The skinned combo box: the system's combo box drawn flat, with a border, a drop-down button in
// skin colours or a style's button bitmap, and a dropped list framed in the border colour.
#pragma once

#include "platform/win/StdCtrls.h"
#include "platform/win/WindowSubclass.h"
#include "skin/SUIControl.h"

namespace skin {

// Draws over what the system paints, after it: a one-pixel frame in BorderColor (and one in the
// control's colour inside it), the button rectangle the system reports filled with ButtonColor
// or, for MacOS and WinXP, their button bitmaps, and the arrow in ArrowColor (none for WinXP).
// The dropped list draws its own frame in BorderColor. A csSimple combo box keeps the system's
// look.
class TsuiCustomComboBox : public win::TCustomComboBox {
    RTL_DECLARE_CLASS(TsuiCustomComboBox, win::TCustomComboBox)

public:
    explicit TsuiCustomComboBox(rtl::TComponent* owner);
    ~TsuiCustomComboBox() override;

    TsuiFileTheme* FileTheme() const { return link_.FileTheme(); }
    void SetFileTheme(TsuiFileTheme* value);
    TsuiUIStyle UIStyle() const { return link_.UIStyle(); }
    void SetUIStyle(TsuiUIStyle value);
    win::TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(win::TColor value);
    win::TColor ArrowColor() const { return arrowColor_; }
    void SetArrowColor(win::TColor value);
    win::TColor ButtonColor() const { return buttonColor_; }
    void SetButtonColor(win::TColor value);

    // Where the arrow's tip row starts (its left end, at the top of the triangle) in client
    // coordinates: centred in the system's button rectangle. False without that rectangle.
    bool ArrowOrigin(win::TPoint& origin);

    void WndProc(win::TMessage& message) override;

protected:
    void DestroyWnd() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    void PaintSkin();
    void HookList(HWND list);
    bool ListMessage(win::TMessage& message);
    void FrameList();

    TSkinLink link_;
    win::TColor borderColor_ = win::clBlack;
    win::TColor arrowColor_ = win::clBlack;
    win::TColor buttonColor_ = win::clBtnFace;
    win::TWindowSubclass list_;
};

class TsuiComboBox : public TsuiCustomComboBox {
    RTL_DECLARE_CLASS(TsuiComboBox, TsuiCustomComboBox)

public:
    explicit TsuiComboBox(rtl::TComponent* owner) : TsuiCustomComboBox(owner) {}
};

}  // namespace skin
