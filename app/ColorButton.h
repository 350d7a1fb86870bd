// TColorButton: a push button its owner paints in chosen colours, with a hover colour.
#pragma once

#include "platform/win/Graphics.h"
#include "platform/win/StdCtrls.h"

#include <memory>

namespace app {

class TColorButton : public win::TButton {
    RTL_DECLARE_CLASS(TColorButton, win::TButton)

public:
    explicit TColorButton(rtl::TComponent* owner);
    ~TColorButton() override;

    win::TColor BackColor() const { return backColor_; }
    void SetBackColor(win::TColor v) { rtl::SetAndNotify(backColor_, v, this, &Self::RepaintFace); }
    // Caption colour of a disabled button.
    win::TColor DisabledColor() const { return disabledColor_; }
    void SetDisabledColor(win::TColor v) { rtl::SetAndNotify(disabledColor_, v, this, &Self::RepaintFace); }
    win::TColor ForeColor() const { return foreColor_; }
    void SetForeColor(win::TColor v) { rtl::SetAndNotify(foreColor_, v, this, &Self::RepaintFace); }
    // BackColor while the mouse is over the button.
    win::TColor HoverColor() const { return hoverColor_; }
    void SetHoverColor(win::TColor v) { rtl::SetAndNotify(hoverColor_, v, this, &Self::RepaintFace); }

    void WndProc(win::TMessage& message) override;

    // Paints the button face into `rect` of `dc` for the owner-draw item state (ODS_ flags);
    // the window's own painting comes here through the reflected draw-item message.
    void DrawItem(HDC dc, const RECT& rect, UINT itemState);

protected:
    void CreateParams(win::TCreateParams& params) override;
    void SetButtonStyle(bool isDefault) override;

private:
    void DrawButton(win::TRect rect, UINT itemState);
    void RepaintFace();

    win::TColor savedColor_ = win::clBtnFace;  // BackColor from before the mouse entered
    std::unique_ptr<win::TCanvas> canvas_;
    bool isDefault_ = false;
    bool hovering_ = false;
    win::TColor backColor_ = win::clBtnFace;
    win::TColor disabledColor_ = win::clBlack;
    win::TColor foreColor_ = win::clBtnText;
    win::TColor hoverColor_ = win::clBtnFace;
};

}  // namespace app
