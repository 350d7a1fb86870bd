// TsuiForm: the skinned frame that turns its form into a skinned window (border, title bar, menu
// bar and window region), and TsuiMenuBar, the tool bar that shows its main menu.
//
// Geometry, in the form window's coordinates (W x H the window's size):
// - The client rectangle: left max(L, 4) - 3 and right max(R, 4) - 3 in from the edges with a
//   skin whose side borders are L and R wide (none without), bottom max(B, 4) - 3 up with a
//   skin bottom border B high, else BorderWidth - 2 (none for a width of 3 or less); the top is
//   the window's. It never reaches past the window and default processing does not change it.
// - The frame: the title image at the top (see TsuiTitleBar), the side and bottom borders
//   max(L, 4), max(R, 4) and max(B, 4) deep with a skin, else max(BorderWidth, 3).
// Whatever part of the frame lies in the client area is drawn by the frame panel itself, which
// keeps its other children inside it.
#pragma once

#include "platform/win/ComCtrls.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/Regions.h"
#include "skin/SUIMainMenu.h"
#include "skin/SUIMgr.h"
#include "skin/SUITitleBar.h"

#include <memory>
#include <string>

namespace skin {

class TsuiForm;

// The region of a band of `image` placed at `top`: rows minY to maxY (inclusive; -1 counts as 0,
// and a minY not below maxY scans to the last row) keep only their pixels that differ
// from `transparent`; the rows above and below them are whole. Every limit is clamped to the
// image.
win::TRegion BitmapBandRegion(win::TBitmap& image, int minY, int maxY, win::TColor transparent, int top);

// A flat tool bar with one button per top-level item of the frame's menu, drawn in the menu
// colours of the frame's style.
class TsuiMenuBar : public win::TToolBar {
    RTL_DECLARE_CLASS(TsuiMenuBar, win::TToolBar)

public:
    explicit TsuiMenuBar(rtl::TComponent* owner);

    void SetFrame(TsuiForm* frame) { frame_ = frame; }
    // Copies each top-level item's caption and Enabled to its button.
    void Refresh();
    void DrawButton(win::TCanvas& canvas, win::TToolButton* button, win::TCustomDrawState state) override;

    // Colours of hot or pressed buttons (fill, frame, text), of the others' text.
    win::TColor HotColor = 0;
    win::TColor HotBorderColor = 0;
    win::TColor HotFontColor = 0;
    win::TColor FontColor = 0;

protected:
    // The popup menu the bar takes in to drop a button's items down takes the AutoHotkeys of the
    // frame's menu.
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    TsuiForm* frame_ = nullptr;  // not owned
};

class TsuiForm : public win::TCustomPanel {
    RTL_DECLARE_CLASS(TsuiForm, win::TCustomPanel)

public:
    explicit TsuiForm(rtl::TComponent* owner);
    ~TsuiForm() override;

    // Whether this frame skins its form: false for a frame whose owner is not a form or whose
    // form already had a frame (such a frame stays a plain panel).
    bool Active() const { return hooked_; }
    win::TCustomForm* OwnerForm() const { return form_; }
    TsuiTitleBar* TitleBar() const { return titleBar_; }
    TsuiMenuBar* MenuBar() const { return menuBar_; }

    bool TitleBarCustom() const { return titleBar_->Custom(); }
    void SetTitleBarCustom(bool value) { titleBar_->SetCustom(value); }
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* value);
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle value);
    bool UIStyleAutoUpdateSub() const { return autoUpdateSub_; }
    void SetUIStyleAutoUpdateSub(bool value) { autoUpdateSub_ = value; }
    win::TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(win::TColor value);
    std::int32_t BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(std::int32_t value);
    bool TitleBarVisible() const { return titleBar_->Visible(); }
    void SetTitleBarVisible(bool value);
    std::string GetText() override;
    void SetText(const std::string& value) override;
    win::TCustomPanel* FormPanel() const { return formPanel_; }
    void SetFormPanel(win::TCustomPanel* value);
    TsuiTitleBarButtons* TitleBarButtons() const { return titleBar_->Buttons(); }
    void SetTitleBarButtons(TsuiTitleBarButtons* value) { titleBar_->SetButtons(value); }
    TsuiTitleBarSections* TitleBarSections() const { return titleBar_->Sections(); }
    void SetTitleBarSections(TsuiTitleBarSections* value) { titleBar_->SetSections(value); }
    bool TitleBarDrawAppIcon() const { return titleBar_->DrawAppIcon(); }
    void SetTitleBarDrawAppIcon(bool value) { titleBar_->SetDrawAppIcon(value); }
    win::TMainMenu* Menu() const { return menu_; }
    void SetMenu(win::TMainMenu* value);
    win::TColor MenuBarColor() const { return menuBarColor_; }
    void SetMenuBarColor(win::TColor value);
    std::int32_t MenuBarHeight() const { return menuBarHeight_; }
    void SetMenuBarHeight(std::int32_t value);
    std::int32_t RoundCorner() const { return roundCorner_; }
    void SetRoundCorner(std::int32_t value);
    std::int32_t RoundCornerBottom() const { return roundCornerBottom_; }
    void SetRoundCornerBottom(std::int32_t value);
    std::string Version() const { return "6.0"; }
    void SetVersion(const std::string&) {}
    const TsuiTitleBarButtonClickEvent& OnTitleBarCustomBtnsClick() const
    {
        return titleBar_->OnCustomBtnsClick;
    }
    void SetOnTitleBarCustomBtnsClick(TsuiTitleBarButtonClickEvent value)
    {
        titleBar_->OnCustomBtnsClick = std::move(value);
    }
    const TsuiTitleBarButtonClickEvent& OnTitleBarHelpBtnClick() const { return titleBar_->OnHelpBtnClick; }
    void SetOnTitleBarHelpBtnClick(TsuiTitleBarButtonClickEvent value)
    {
        titleBar_->OnHelpBtnClick = std::move(value);
    }

    // The frame's thickness on each side (Left, Top, Right, Bottom) in window coordinates, and
    // the client rectangle computed for a window rectangle.
    win::TRect FrameInsets() const;
    win::TRect ClientFor(const win::TRect& window) const;
    // The window region for a window of that size; empty handle-wise when none is wanted.
    win::TRegion BuildRegion(int width, int height);
    // Draws the frame (title image and borders) on a DC whose origin is the window's top-left.
    void PaintFrame(HDC dc);
    // Repaints the non-client frame and sets the region again.
    void RedrawFrame();
    // What the form answers for a screen point: a sizing code (HTLEFT to HTBOTTOMRIGHT) on the
    // border of a sizeable form that is not maximized; over the title bar, the code of the caption
    // button there (HTCLOSE, HTMAXBUTTON, HTMINBUTTON, HTHELP, HTSYSMENU for the control box) or
    // HTCAPTION, as a system caption answers, so whatever asks the window finds its buttons (the
    // bar's own window takes the mouse); else HTCLIENT inside the client rectangle or HTBORDER on
    // the frame, HTNOWHERE outside the window.
    LRESULT HitTest(int screenX, int screenY);
    // Alt+Space and menu shortcuts; true when the key was taken.
    bool HandleKey(const MSG& msg);
    // Gives the menu bar the menu's font (called by a TsuiMainMenu whose font choice changed).
    void MenuBarFontChanged();
    // The form is an MDI child, and one shown maximized in its client.
    bool IsMDIChild() const;
    bool IsMaximizedMDIChild() const;
    // Whether this frame's MDI child hides its title bar now, maximized. Only one child at a time
    // does: a child maximized later takes it over.
    bool TitleHiddenByMaximize() const;

    void WndProc(win::TMessage& message) override;

protected:
    void Paint() override;
    void Resize() override;
    void Loaded() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void AlignControls(win::TControl* control, win::TRect& rect) override;

private:
    void FormWindowProc(win::TMessage& message);
    // The MDI child's side of WM_SIZE, WM_MDIACTIVATE and WM_DESTROY.
    void MDIChildSized(WPARAM kind);
    void MDIChildActivated(HWND activated);
    void MDIChildDestroyed();
    void HideTitleForMaximize(bool hide);
    // An MDI parent's client window over the frame's content area, in the form's client
    // coordinates.
    win::TRect MDIClientArea() const;
    void PlaceMDIClient();
    void Unhook();
    void StripCaption();
    void ApplyStyleToParts(const win::TRect& formBounds);
    void MaximizeToWorkArea();
    void UpdateMenuBar();
    void OnAppMessage(MSG& msg, bool& handled);
    // The title bar's system menu at the window's left edge, below the title.
    void PopupSystemMenuBelowTitle();
    bool OwnsWindow(HWND wnd) const;

    win::TCustomForm* form_ = nullptr;  // not owned: our owner
    bool hooked_ = false;
    bool destroying_ = false;
    win::TWndMethod savedProc_;
    TsuiTitleBar* titleBar_ = nullptr;        // owned as a component
    TsuiMenuBar* menuBar_ = nullptr;          // owned as a component
    win::TMainMenu* menu_ = nullptr;          // not owned
    win::TCustomPanel* formPanel_ = nullptr;  // not owned
    TsuiFileTheme* fileTheme_ = nullptr;      // not owned
    TsuiUIStyle uiStyle_ = DeepBlue;
    bool autoUpdateSub_ = false;
    win::TColor borderColor_ = 0;
    std::int32_t borderWidth_ = 1;
    win::TColor menuBarColor_ = win::clBtnFace;
    std::int32_t menuBarHeight_ = 22;
    std::int32_t roundCorner_ = 0;
    std::int32_t roundCornerBottom_ = 0;
    win::TBorderStyle designedBorderStyle_ = win::bsSizeable;
    std::unique_ptr<win::TBitmap> workBitmap_;
    std::unique_ptr<win::TApplicationEvents> appEvents_;
    // Skin parts.
    bool skinned_ = false;  // the style reads the file theme
    win::TColor transColor_ = win::clFuchsia;
    bool titleNeedRegion_ = false;
    bool bottomNeedRegion_ = false;
    std::int32_t leftBorder_ = 0, rightBorder_ = 0, bottomBorder_ = 0;
    std::int32_t titleMinY_ = 0, titleMaxY_ = 0, bottomMinY_ = 0, bottomMaxY_ = 0;
    std::unique_ptr<win::TBitmap> macBackground_;
    // Guards against WM_SIZE resizing the window inside itself for ever.
    bool inSize_ = false;
    // What the frame's children take, in its own coordinates (after the title and menu bars).
    win::TRect contentRect_;
};

}  // namespace skin
