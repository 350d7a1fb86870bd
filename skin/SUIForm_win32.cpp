// The skinned frame: non-client geometry, painting, hit testing and region of its form, the menu
// bar, and the keys the frame takes.
#include "skin/SUIForm.h"

#include "platform/rtl/Win32.h"
#include "platform/win/Handles.h"
#include "skin/SUIMenu.h"
#include "skin/SUIPublic.h"

#include <algorithm>

namespace skin {

namespace {

constexpr UINT kLeftBorderQuery = 0x26C3;
constexpr UINT kFrameChangedFlags =
    SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
// How far from a corner the corner sizing codes reach along the edges.
constexpr int kCornerGrip = 12;
// Where a maximized MDI child's content starts once its title bar is hidden: the child's window
// reaches past the top of its client by about as much.
constexpr int kMaximizedChildContentTop = 3;

// The frame whose maximized MDI child hides its title bar now (one at a time, process-wide).
TsuiForm* titleHiddenChild = nullptr;  // not owned

int BitmapWidth(win::TBitmap* b) { return b ? b->Width() : 0; }
int BitmapHeight(win::TBitmap* b) { return b ? b->Height() : 0; }

void FillWindowRect(HDC dc, int left, int top, int right, int bottom, win::TColor color)
{
    if (right <= left || bottom <= top)
        return;
    win::FillSolidRect(dc, RECT{left, top, right, bottom}, win::ColorToRGB(color));
}

void StretchTo(HDC dc, win::TBitmap* b, int x, int y, int w, int h)
{
    if (!b || b->Empty() || w <= 0 || h <= 0)
        return;
    const int old = ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, x, y, w, h, b->Canvas()->Handle(), 0, 0, b->Width(), b->Height(), SRCCOPY);
    ::SetStretchBltMode(dc, old);
}

}  // namespace

win::TRegion BitmapBandRegion(win::TBitmap& image, int minY, int maxY, win::TColor transparent, int top)
{
    const int h = image.Height();
    win::TRegion band;
    if (h <= 0 || image.Width() <= 0)
        return band;
    // -1 counts as 0; a limit at or past its partner scans to the last row; everything is
    // clamped to the picture.
    const int first = std::clamp(minY < 0 ? 0 : minY, 0, h - 1);
    const int last = minY >= maxY ? h - 1 : std::clamp(maxY, first, h - 1);
    band = win::TRegion::FromBitmap(image, first, last, transparent, {0, top});
    if (first > 0)
        band.Union(win::Rect(0, top, image.Width(), top + first));
    if (last + 1 < h)
        band.Union(win::Rect(0, top + last + 1, image.Width(), top + h));
    return band;
}

// ---- TsuiMenuBar ----

void TsuiMenuBar::Publish(Table&) {}

TsuiMenuBar::TsuiMenuBar(rtl::TComponent* owner) : TToolBar(owner)
{
    SetFlat(true);
    SetEdgeBorders({});
    SetShowCaptions(true);
    SetWrapable(true);
}

void TsuiMenuBar::Refresh()
{
    for (std::int32_t i = 0; i < ButtonCount(); ++i) {
        win::TToolButton* b = Buttons(i);
        if (win::TMenuItem* item = b->MenuItem()) {
            b->SetCaption(item->Caption());
            b->SetEnabled(item->Enabled());
        }
    }
    ArrangeButtons();
    Invalidate();
}

void TsuiMenuBar::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    win::TToolBar::Notification(component, operation);
    if (operation != rtl::opInsert || !frame_ || !frame_->Menu())
        return;
    if (auto* popup = dynamic_cast<win::TPopupMenu*>(component))
        popup->AutoHotkeys = frame_->Menu()->AutoHotkeys;
}

void TsuiMenuBar::DrawButton(win::TCanvas& canvas, win::TToolButton* button, win::TCustomDrawState state)
{
    const win::TRect r = button->BoundsRect();
    MenuFillRect(canvas, r, Color());
    const bool enabled = !state.Contains(win::cdsDisabled);
    const bool hot = enabled && (state.Contains(win::cdsHot) || state.Contains(win::cdsSelected));
    if (hot) {
        MenuFillRect(canvas, r, HotColor);
        MenuFrameRect(canvas, r, HotBorderColor);
    }
    canvas.Brush()->SetStyle(win::bsClear);
    canvas.Font()->SetColor(!enabled ? 0x808080 : hot ? HotFontColor : FontColor);
    win::TRect text = r;
    canvas.DrawText(button->Caption(), text, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

// ---- TsuiForm ----

void TsuiForm::Publish(Table& t)
{
    // The frame fills its form and has no bevel of its own.
    t.Property(RTL_GET_SET(Align)).Default(win::alClient);
    t.Property(RTL_GET_SET(BevelOuter)).Default(win::bvNone);
    t.Property(RTL_GET_SET(TitleBarCustom)).Default(false);
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(UIStyleAutoUpdateSub)).Default(false);
    t.Property(RTL_GET_SET(BorderColor)).Type(win::ColorTypeInfo());
    t.Property(RTL_GET_SET(BorderWidth));
    t.Property(RTL_GET_SET(TitleBarVisible)).Default(true);
    t.Property(RTL_GET_SET(Caption));
    t.Property(RTL_GET_SET(FormPanel));
    t.Property(RTL_GET_SET(TitleBarButtons));
    t.Property(RTL_GET_SET(TitleBarSections));
    t.Property(RTL_GET_SET(TitleBarDrawAppIcon)).Default(true);
    t.Property(RTL_GET_SET(Menu));
    t.Property(RTL_GET_SET(MenuBarColor)).Type(win::ColorTypeInfo());
    t.Property(RTL_GET_SET(MenuBarHeight)).Default(22);
    t.Property(RTL_GET_SET(RoundCorner));
    t.Property(RTL_GET_SET(RoundCornerBottom));
    t.Property(RTL_GET_SET(Version)).Stored(false);
    t.Property(RTL_GET_SET(OnTitleBarCustomBtnsClick));
    t.Property(RTL_GET_SET(OnTitleBarHelpBtnClick));
    t.Creatable();
}

TsuiForm::TsuiForm(rtl::TComponent* owner)
    : TCustomPanel(owner), workBitmap_(std::make_unique<win::TBitmap>())
{
    workBitmap_->SetPixelFormat(win::pf24bit);
    controlStyle_.Exclude(win::csSetCaption);
    form_ = dynamic_cast<win::TCustomForm*>(owner);
    bool another = false;
    if (form_)
        for (std::int32_t i = 0; i < form_->ControlCount() && !another; ++i)
            another = dynamic_cast<TsuiForm*>(form_->Controls(i)) != nullptr;
    titleBar_ = new TsuiTitleBar(this);
    titleBar_->SetAlign(win::alNone);
    titleBar_->SetParent(this);
    menuBarColor_ = Color();
    SetBevelOuter(win::bvNone);
    SetBevelInner(win::bvNone);
    SetAlign(win::alClient);
    if (!form_ || another) {
        // A frame that cannot skin its form is a plain panel with a title bar in it.
        form_ = another ? nullptr : form_;
        SetUIStyle(DeepBlue);
        return;
    }
    hooked_ = true;
    titleBar_->SetText(form_->Caption());
    designedBorderStyle_ = form_->BorderStyle();
    form_->Scaled = false;
    form_->AutoScroll = false;
    if (designedBorderStyle_ == win::bsNone || designedBorderStyle_ == win::bsSingle ||
        designedBorderStyle_ == win::bsToolWindow)
        form_->SetBorderStyle(win::bsDialog);
    savedProc_ = form_->WindowProc;
    form_->WindowProc = [this](win::TMessage& m) { FormWindowProc(m); };
    appEvents_ = std::make_unique<win::TApplicationEvents>(nullptr);
    appEvents_->OnMessage = [this](MSG& msg, bool& handled) { OnAppMessage(msg, handled); };
    SetUIStyle(DeepBlue);
    StripCaption();
}

TsuiForm::~TsuiForm()
{
    destroying_ = true;
    if (titleHiddenChild == this)
        titleHiddenChild = nullptr;
    appEvents_.reset();
    if (auto* menu = dynamic_cast<TsuiMainMenu*>(menu_))
        menu->SetForm(nullptr);
    if (menu_)
        menu_->RemoveFreeNotification(this);
    if (fileTheme_)
        fileTheme_->RemoveFreeNotification(this);
    if (formPanel_)
        formPanel_->RemoveFreeNotification(this);
    Unhook();
    Destroying();
    DestroyHandle();
}

void TsuiForm::Unhook()
{
    if (!hooked_)
        return;
    hooked_ = false;
    form_->WindowProc = savedProc_;
    if (form_->ComponentState().Contains(rtl::csDestroying) || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    ::SetWindowLongA(wnd, GWL_STYLE, ::GetWindowLongA(wnd, GWL_STYLE) | WS_CAPTION);
    win::TRegion::ClearWindowRegion(wnd, true);
    ::SetWindowPos(wnd, nullptr, 0, 0, 0, 0, kFrameChangedFlags);
}

void TsuiForm::StripCaption()
{
    if (!hooked_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    const LONG style = ::GetWindowLongA(wnd, GWL_STYLE);
    if (style & WS_CAPTION) {
        ::SetWindowLongA(wnd, GWL_STYLE, style & ~WS_CAPTION);
        ::SetWindowPos(wnd, nullptr, 0, 0, 0, 0, kFrameChangedFlags);
    }
    form_->Realign();
}

bool TsuiForm::OwnsWindow(HWND wnd) const
{
    if (!form_ || !form_->HandleAllocated() || !wnd)
        return false;
    HWND own = form_->Handle();
    return wnd == own || ::IsChild(own, wnd);
}

// ---- properties ----

std::string TsuiForm::GetText() { return titleBar_ ? titleBar_->Caption() : TCustomPanel::GetText(); }

void TsuiForm::SetText(const std::string& value)
{
    if (titleBar_)
        titleBar_->SetText(value);
}

void TsuiForm::SetFileTheme(TsuiFileTheme* value)
{
    SetNotifiedRef(this, fileTheme_, value);
    SetUIStyle(uiStyle_);
}

void TsuiForm::SetBorderColor(win::TColor value)
{
    rtl::SetAndNotify(borderColor_, value, this, &Self::RedrawFrame);
}

void TsuiForm::SetBorderWidth(std::int32_t value)
{
    rtl::SetAndNotify(borderWidth_, std::max(value, 0), [this] {
        if (hooked_ && form_->HandleAllocated()) {
            ::SetWindowPos(form_->Handle(), nullptr, 0, 0, 0, 0, kFrameChangedFlags);
            form_->Realign();
        }
        Realign();
        RedrawFrame();
    });
}

void TsuiForm::SetRoundCorner(std::int32_t value)
{
    rtl::SetAndNotify(roundCorner_, value, this, &Self::RedrawFrame);
}

void TsuiForm::SetRoundCornerBottom(std::int32_t value)
{
    rtl::SetAndNotify(roundCornerBottom_, value, this, &Self::RedrawFrame);
}

void TsuiForm::SetTitleBarVisible(bool value)
{
    titleBar_->SetVisible(value);
    Realign();
    Invalidate();
    RedrawFrame();
}

void TsuiForm::SetFormPanel(win::TCustomPanel* value)
{
    if (value == this) {
        ::MessageBoxA(form_ && form_->HandleAllocated() ? form_->Handle() : nullptr,
                      "Sorry, you can't select the Form assign to FormPanel property",
                      win::Application ? win::Application->Title().c_str() : "", MB_OK | MB_ICONERROR);
        return;
    }
    SetNotifiedRef(this, formPanel_, value);
    if (!value)
        return;
    value->SetAlign(win::alClient);
    if (dynamic_cast<win::TPanel*>(value)) {
        value->SetBevelOuter(win::bvNone);
        value->SetBevelInner(win::bvNone);
        value->SetBorderStyle(win::bsNone);
        value->SetCaption("");
    } else if (value->ClassName() == "TsuiImagePanel") {
        value->SetCaption("");
    }
}

void TsuiForm::SetMenu(win::TMainMenu* value)
{
    if (value == menu_)
        return;
    if (auto* old = dynamic_cast<TsuiMainMenu*>(menu_))
        old->SetForm(nullptr);
    SetNotifiedRef(this, menu_, value);
    if (!value) {
        delete menuBar_;
        menuBar_ = nullptr;
        Realign();
        return;
    }
    if (auto* sui = dynamic_cast<TsuiMainMenu*>(value)) {
        sui->SetForm(this);
        sui->SetFileTheme(fileTheme_);
        sui->SetUIStyle(uiStyle_);
    }
    // An MDI child's menu is its parent's business: the child shows no bar of its own.
    if (IsMDIChild())
        return;
    if (!menuBar_) {
        menuBar_ = new TsuiMenuBar(this);
        menuBar_->SetFrame(this);
        menuBar_->SetParent(this);
    }
    menuBar_->SetMenu(value);
    UpdateMenuBar();
}

void TsuiForm::SetMenuBarColor(win::TColor value)
{
    menuBarColor_ = value;
    if (menuBar_)
        menuBar_->SetColor(value);
}

void TsuiForm::SetMenuBarHeight(std::int32_t value)
{
    menuBarHeight_ = std::max(value, 1);
    if (menuBar_) {
        menuBar_->SetButtonHeight(menuBarHeight_);
        menuBar_->SetHeight(menuBarHeight_);
    }
}

void TsuiForm::MenuBarFontChanged()
{
    if (!menuBar_)
        return;
    win::TFont font;
    auto* sui = dynamic_cast<TsuiMainMenu*>(menu_);
    if (sui && !sui->UseSystemFont()) {
        font.SetName(sui->FontName());
        font.SetSize(sui->FontSize());
        font.SetCharset(sui->FontCharset());
    } else {
        GetSystemMenuFont(font);
    }
    menuBar_->Font()->Assign(&font);
    for (std::int32_t i = 0; i < menuBar_->ButtonCount(); ++i)
        menuBar_->Buttons(i)->Font()->Assign(&font);
    menuBar_->Refresh();
}

void TsuiForm::UpdateMenuBar()
{
    if (!menuBar_)
        return;
    TsuiUIStyle style = DeepBlue;
    if (UsesFileTheme(fileTheme_, uiStyle_, style)) {
        menuBar_->HotColor = ThemeColor(fileTheme_, SKIN2_TOPSELECTEDMENUCOLOR, win::clHighlight);
        menuBar_->HotBorderColor = ThemeColor(fileTheme_, SKIN2_TOPSELECTEDMENUBORDERCOLOR, win::clHighlight);
        menuBar_->HotFontColor = ThemeColor(fileTheme_, SKIN2_TOPSELECTEDMENUFONTCOLOR, win::clHighlightText);
        menuBar_->FontColor = ThemeColor(fileTheme_, SKIN2_TOPMENUFONTCOLOR, win::clMenuText);
    } else {
        menuBar_->HotColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_SELECTED_BACKGROUND_COLOR);
        menuBar_->HotBorderColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_SELECTED_BORDER_COLOR);
        menuBar_->HotFontColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_SELECTED_FONT_COLOR);
        menuBar_->FontColor = GetBuiltInThemeColor(style, SUI_THEME_MENU_FONT_COLOR);
    }
    menuBar_->SetColor(menuBarColor_);
    menuBar_->SetButtonHeight(menuBarHeight_);
    menuBar_->SetHeight(menuBarHeight_);
    menuBar_->SetAlign(win::alTop);
    MenuBarFontChanged();
    Realign();
}

// ---- style ----

void TsuiForm::SetUIStyle(TsuiUIStyle value)
{
    const win::TRect formBounds = hooked_ ? form_->BoundsRect() : win::TRect{};
    uiStyle_ = value;
    TsuiUIStyle style = DeepBlue;
    skinned_ = UsesFileTheme(fileTheme_, value, style);
    if (skinned_) {
        SetColor(ThemeColor(fileTheme_, SKIN2_FORMCOLOR, win::clBtnFace));
        menuBarColor_ = ThemeColor(fileTheme_, SKIN2_MENUBARSTARTCOLOR, Color());
        leftBorder_ = BitmapWidth(ThemeBitmap(fileTheme_, SKIN2_FORMLEFTBORDER));
        rightBorder_ = BitmapWidth(ThemeBitmap(fileTheme_, SKIN2_FORMRIGHTBORDER));
        bottomBorder_ = BitmapHeight(ThemeBitmap(fileTheme_, SKIN2_FORMBOTTOMBORDER1));
        transColor_ = ThemeColor(fileTheme_, SKIN2_TRANSCOLOR, win::clFuchsia);
        titleNeedRegion_ = ThemeBool(fileTheme_, SKIN2_TITLEBARNEEDREGION);
        bottomNeedRegion_ = ThemeBool(fileTheme_, SKIN2_BOTTOMBORDERNEEDREGION);
        titleMinY_ = ThemeInt(fileTheme_, SKIN2_TITLEBARREGIONMINY, 0);
        titleMaxY_ = ThemeInt(fileTheme_, SKIN2_TITLEBARREGIONMAXY, 0);
        bottomMinY_ = ThemeInt(fileTheme_, SKIN2_BOTTOMREGIONMINY, 0);
        bottomMaxY_ = ThemeInt(fileTheme_, SKIN2_BOTTOMREGIONMAXY, 0);
        macBackground_.reset();
    } else {
        roundCornerBottom_ = 0;
        leftBorder_ = rightBorder_ = bottomBorder_ = 0;
        transColor_ = win::clFuchsia;
        titleNeedRegion_ = bottomNeedRegion_ = false;
        borderColor_ = GetBuiltInThemeColor(style, SUI_THEME_FORM_BORDER_COLOR);
        borderWidth_ = std::max(GetBuiltInThemeValue(style, SUI_THEME_FORM_BORDERWIDTH), 0);
        SetColor(GetBuiltInThemeColor(style, SUI_THEME_FORM_BACKGROUND_COLOR));
        menuBarColor_ = Color();
        roundCorner_ = std::max(GetBuiltInThemeValue(style, SUI_THEME_FORM_ROUNDCORNER), 0);
        macBackground_.reset();
        if (style == MacOS || style == Protein) {
            macBackground_ = std::make_unique<win::TBitmap>();
            LoadBuiltInBitmap(style == MacOS ? "MACOS_FORM_BACKGROUND" : "PROTEIN_FORM_BACKGROUND",
                              macBackground_.get());
        }
    }
    ApplyStyleToParts(formBounds);
}

void TsuiForm::ApplyStyleToParts(const win::TRect& formBounds)
{
    titleBar_->SetFileTheme(fileTheme_);
    titleBar_->SetUIStyle(uiStyle_);
    if (auto* sui = dynamic_cast<TsuiMainMenu*>(menu_)) {
        sui->SetFileTheme(fileTheme_);
        sui->SetUIStyle(uiStyle_);
    }
    UpdateMenuBar();
    if (autoUpdateSub_)
        SetFileThemeAndStyle(this, uiStyle_, fileTheme_);
    // The new limits must not move an MDI child in its client.
    if (IsMDIChild() && form_->BoundsRect() != formBounds)
        form_->SetBounds(formBounds.Left, formBounds.Top, formBounds.Width(), formBounds.Height());
    if (hooked_ && form_->HandleAllocated()) {
        ::SetWindowPos(form_->Handle(), nullptr, 0, 0, 0, 0, kFrameChangedFlags);
        form_->Realign();
    }
    Realign();
    Invalidate();
    RedrawFrame();
    if (hooked_)
        form_->Constraints()->SetMinHeight(bottomBorder_ + titleBar_->Height() + menuBarHeight_ + 3);
}

// ---- geometry ----

win::TRect TsuiForm::FrameInsets() const
{
    const bool titleShown = titleBar_ && titleBar_->Visible();
    if (skinned_) {
        return {std::max(leftBorder_, 4), titleShown ? 0 : 4, std::max(rightBorder_, 4),
                std::max(bottomBorder_, 4)};
    }
    const int t = std::max(borderWidth_, 3);
    return {t, titleShown ? 0 : t, t, t};
}

win::TRect TsuiForm::ClientFor(const win::TRect& w) const
{
    win::TRect c = w;
    if (skinned_ && leftBorder_ > 0) {
        c.Left = w.Left + std::max(leftBorder_, 4) - 3;
        c.Right = w.Right - std::max(rightBorder_, 4) + 3;
    }
    if (skinned_ && bottomBorder_ > 0)
        c.Bottom = w.Bottom - std::max(bottomBorder_, 4) + 3;
    else if (!skinned_ && borderWidth_ != 3)
        c.Bottom = w.Bottom - borderWidth_ + 2;
    // Never past the window, and never turned inside out.
    c.Left = std::clamp(c.Left, w.Left, std::max(w.Left, w.Right));
    c.Right = std::clamp(c.Right, c.Left, std::max(c.Left, w.Right));
    c.Top = w.Top;
    c.Bottom = std::clamp(c.Bottom, c.Top, std::max(c.Top, w.Bottom));
    return c;
}

LRESULT TsuiForm::HitTest(int screenX, int screenY)
{
    if (!form_ || !form_->HandleAllocated())
        return HTNOWHERE;
    RECT wr;
    ::GetWindowRect(form_->Handle(), &wr);
    const int x = screenX - wr.left;
    const int y = screenY - wr.top;
    const int w = wr.right - wr.left;
    const int h = wr.bottom - wr.top;
    if (x < 0 || y < 0 || x >= w || y >= h)
        return HTNOWHERE;
    // The MDI client gives every child a sizing frame (see WM_NCHITTEST for the exception).
    const bool sizeable =
        designedBorderStyle_ == win::bsSizeable || designedBorderStyle_ == win::bsSizeToolWin || IsMDIChild();
    if (sizeable && !::IsZoomed(form_->Handle()) && !::IsIconic(form_->Handle())) {
        const win::TRect in = FrameInsets();
        const int gl = std::max(in.Left, 4), gr = std::max(in.Right, 4), gb = std::max(in.Bottom, 4), gt = 4;
        const bool left = x < gl, right = x >= w - gr, top = y < gt, bottom = y >= h - gb;
        const bool nearLeft = x < kCornerGrip, nearRight = x >= w - kCornerGrip;
        const bool nearTop = y < kCornerGrip, nearBottom = y >= h - kCornerGrip;
        if ((top && nearLeft) || (left && nearTop))
            return HTTOPLEFT;
        if ((top && nearRight) || (right && nearTop))
            return HTTOPRIGHT;
        if ((bottom && nearLeft) || (left && nearBottom))
            return HTBOTTOMLEFT;
        if ((bottom && nearRight) || (right && nearBottom))
            return HTBOTTOMRIGHT;
        if (left)
            return HTLEFT;
        if (right)
            return HTRIGHT;
        if (top)
            return HTTOP;
        if (bottom)
            return HTBOTTOM;
    }
    if (titleBar_ && titleBar_->Visible() && titleBar_->HandleAllocated()) {
        RECT bar;
        ::GetWindowRect(titleBar_->Handle(), &bar);
        if (screenX >= bar.left && screenX < bar.right && screenY >= bar.top && screenY < bar.bottom) {
            const std::int32_t index = titleBar_->ButtonAt(screenX - bar.left, screenY - bar.top);
            if (index < 0)
                return HTCAPTION;
            switch (titleBar_->Buttons()->Items(index)->ButtonType()) {
            case suiClose: return HTCLOSE;
            case suiMax: return HTMAXBUTTON;
            case suiMin: return HTMINBUTTON;
            case suiHelp: return HTHELP;
            case suiControlBox: return HTSYSMENU;
            case suiCustom: return HTCAPTION;
            }
        }
    }
    const win::TRect c = ClientFor(win::Rect(0, 0, w, h));
    return x >= c.Left && x < c.Right && y >= c.Top && y < c.Bottom ? HTCLIENT : HTBORDER;
}

void TsuiForm::AlignControls(win::TControl* control, win::TRect& rect)
{
    if (titleBar_ && titleBar_->Visible()) {
        titleBar_->SetBounds(rect.Left, rect.Top, rect.Width(), titleBar_->Height());
        rect.Top += titleBar_->Height();
    }
    if (hooked_ && form_->HandleAllocated() && HandleAllocated()) {
        // Children stay off the part of the frame that lies over the panel.
        RECT wr, pr;
        ::GetWindowRect(form_->Handle(), &wr);
        ::GetWindowRect(Handle(), &pr);
        const win::TRect in = FrameInsets();
        rect.Left += std::max<int>(0, in.Left - (pr.left - wr.left));
        rect.Right -= std::max<int>(0, in.Right - (wr.right - pr.right));
        rect.Bottom -= std::max<int>(0, in.Bottom - (wr.bottom - pr.bottom));
        if (!titleBar_->Visible()) {
            const int top = TitleHiddenByMaximize() ? kMaximizedChildContentTop : in.Top;
            rect.Top += std::max<int>(0, top - (pr.top - wr.top));
        }
        if (rect.Right < rect.Left)
            rect.Right = rect.Left;
        if (rect.Bottom < rect.Top)
            rect.Bottom = rect.Top;
    }
    win::TWinControl::AlignControls(control, rect);
    if (rect != contentRect_) {
        contentRect_ = rect;
        PlaceMDIClient();
    }
}

win::TRect TsuiForm::MDIClientArea() const
{
    return win::Rect(Left() + contentRect_.Left, Top() + contentRect_.Top, Left() + contentRect_.Right,
                     Top() + contentRect_.Bottom);
}

void TsuiForm::PlaceMDIClient()
{
    // The form places its client itself, where the frame answers CM_MDICLIENTAREA.
    if (hooked_ && !destroying_ && form_->FormStyle() == win::fsMDIForm && form_->ClientHandle())
        form_->Realign();
}

win::TRegion TsuiForm::BuildRegion(int width, int height)
{
    const win::TRect whole = win::Rect(0, 0, width, height);
    if (skinned_) {
        // A maximized MDI child shows no title to shape the window by.
        if ((!titleNeedRegion_ && !bottomNeedRegion_) || IsMaximizedMDIChild())
            return win::TRegion(whole);
        int titleH = 0;
        win::TRegion region;
        if (titleBar_->Visible()) {
            titleBar_->Compose();
            win::TBitmap* image = titleBar_->RegionImage();
            titleH = std::min(image->Height(), height);
            if (titleNeedRegion_)
                region.Union(BitmapBandRegion(*image, titleMinY_, titleMaxY_, transColor_, 0));
            else
                region.Union(win::Rect(0, 0, width, titleH));
        }
        const int bottomH = std::min(std::max(bottomBorder_, 0), std::max(height - titleH, 0));
        region.Union(win::Rect(0, titleH, width, height - bottomH));
        if (bottomH > 0) {
            if (bottomNeedRegion_) {
                win::TBitmap bottom;
                bottom.SetPixelFormat(win::pf24bit);
                bottom.SetSize(width, bottomH);
                MenuFillRect(*bottom.Canvas(), win::Rect(0, 0, width, bottomH), transColor_);
                DrawThreePartBitmap(ThemeBitmap(fileTheme_, SKIN2_FORMBOTTOMBORDER1), bottom.Canvas(),
                                    win::Rect(0, 0, width, bottomH), transColor_, false);
                region.Union(
                    BitmapBandRegion(bottom, bottomMinY_, bottomMaxY_, transColor_, height - bottomH));
            } else {
                region.Union(win::Rect(0, height - bottomH, width, height));
            }
        }
        region.Intersect(win::TRegion(whole));
        return region;
    }
    const int rc = std::max(roundCorner_, 0);
    const int rcb = std::max(roundCornerBottom_, 0);
    const int half = height / 2;
    win::TRegion top = win::TRegion::RoundRect(win::Rect(0, 0, width + 1, half + 1), rc, rc);
    if (rc > 0) {
        top.Union(win::Rect(0, half + 1 - rc, rc, half + 1));
        top.Union(win::Rect(width + 1 - rc, half + 1 - rc, width + 1, half + 1));
    }
    win::TRegion bottom = win::TRegion::RoundRect(win::Rect(0, half, width + 1, height + 1), rcb, rcb);
    if (rcb > 0) {
        bottom.Union(win::Rect(0, half, rcb, half + rcb));
        bottom.Union(win::Rect(width + 1 - rcb, half, width + 1, half + rcb));
    }
    top.Union(bottom);
    top.Intersect(win::TRegion(whole));
    return top;
}

// ---- painting ----

void TsuiForm::PaintFrame(HDC dc)
{
    if (destroying_ || !hooked_ || !form_->HandleAllocated())
        return;
    RECT wr;
    ::GetWindowRect(form_->Handle(), &wr);
    const int w = wr.right - wr.left;
    const int h = wr.bottom - wr.top;
    int titleH = 0;
    if (titleBar_->Visible()) {
        titleBar_->Compose();
        win::TBitmap* image = titleBar_->TitleImage();
        titleH = image->Height();
        ::BitBlt(dc, 0, 0, image->Width(), image->Height(), image->Canvas()->Handle(), 0, 0, SRCCOPY);
    }
    if (skinned_) {
        win::TBitmap* left = ThemeBitmap(fileTheme_, SKIN2_FORMLEFTBORDER);
        win::TBitmap* right = ThemeBitmap(fileTheme_, SKIN2_FORMRIGHTBORDER);
        const win::TColor face = ThemeColor(fileTheme_, SKIN2_FORMCOLOR, win::clBtnFace);
        const int bh = std::max(bottomBorder_, 0);
        StretchTo(dc, left, 0, titleH, leftBorder_, h - titleH);
        FillWindowRect(dc, leftBorder_, titleH, 4, h, face);
        StretchTo(dc, right, w - rightBorder_, titleH, rightBorder_, h - titleH);
        FillWindowRect(dc, w - 4, titleH, w - rightBorder_, h, face);
        if (bh > 0) {
            workBitmap_->SetSize(std::max(w, 1), bh);
            win::TCanvas& canvas = *workBitmap_->Canvas();
            MenuFillRect(canvas, win::Rect(0, 0, w, bh), face);
            const bool masked = bottomNeedRegion_;
            if (ThemeBool(fileTheme_, SKIN2_BOTTOMBORDERTHREESECT)) {
                win::TBitmap* b1 = ThemeBitmap(fileTheme_, SKIN2_FORMBOTTOMBORDER1);
                win::TBitmap* b2 = ThemeBitmap(fileTheme_, SKIN2_FORMBOTTOMBORDER2);
                win::TBitmap* b3 = ThemeBitmap(fileTheme_, SKIN2_FORMBOTTOMBORDER3);
                const int w1 = BitmapWidth(b1), w3 = BitmapWidth(b3);
                HDC work = canvas.Handle();
                StretchTo(work, b2, w1, 0, w - w1 - w3, bh);
                StretchTo(work, b1, 0, 0, w1, bh);
                StretchTo(work, b3, w - w3, 0, w3, bh);
            } else {
                DrawThreePartBitmap(ThemeBitmap(fileTheme_, SKIN2_FORMBOTTOMBORDER1), &canvas,
                                    win::Rect(0, 0, w, bh), transColor_, masked);
            }
            ::BitBlt(dc, 0, h - bh, w, bh, canvas.Handle(), 0, 0, SRCCOPY);
        }
        if (bh < 4)
            FillWindowRect(dc, 0, h - 4, w, h - bh, face);
        return;
    }
    const int t = borderWidth_;
    FillWindowRect(dc, 0, titleH, t, h, borderColor_);
    FillWindowRect(dc, w - t, titleH, w, h, borderColor_);
    FillWindowRect(dc, 0, h - t, w, h, borderColor_);
    if (titleH == 0)
        FillWindowRect(dc, 0, 0, w, t, borderColor_);
    if (t < 4) {
        const int top = std::max(titleH, titleH == 0 ? t : 0);
        FillWindowRect(dc, t, top, 3, h - t, Color());
        FillWindowRect(dc, w - 3, top, w - t, h - t, Color());
        FillWindowRect(dc, t, h - 3, w - t, h - t, Color());
        if (titleH == 0)
            FillWindowRect(dc, t, t, w - t, 3, Color());
    }
}

void TsuiForm::Paint()
{
    win::TCanvas& canvas = *Canvas();
    const win::TRect r = ClientRect();
    if (macBackground_ && !macBackground_->Empty()) {
        win::TBrush pattern;
        pattern.SetBitmap(macBackground_.get());
        win::OwnedBrush keep;
        HBRUSH brush = pattern.Handle();
        RECT rr = win::ToRECT(r);
        ::FillRect(canvas.Handle(), &rr, brush);
    } else {
        MenuFillRect(canvas, r, Color());
    }
    if (!hooked_ || !form_->HandleAllocated())
        return;
    // The part of the frame that lies over the panel, in the window's coordinates.
    RECT wr, pr;
    ::GetWindowRect(form_->Handle(), &wr);
    ::GetWindowRect(Handle(), &pr);
    HDC dc = canvas.Handle();
    win::SaveDCGuard save(dc);
    POINT old;
    ::OffsetViewportOrgEx(dc, wr.left - pr.left, wr.top - pr.top, &old);
    PaintFrame(dc);
    canvas.Refresh();
}

void TsuiForm::RedrawFrame()
{
    if (destroying_ || !hooked_ || !form_->HandleAllocated() || ComponentState().Contains(rtl::csLoading))
        return;
    HWND wnd = form_->Handle();
    RECT wr;
    ::GetWindowRect(wnd, &wr);
    if (!ComponentState().Contains(rtl::csDesigning)) {
        win::TRegion region = BuildRegion(wr.right - wr.left, wr.bottom - wr.top);
        region.ApplyToWindow(wnd, true);
    }
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TsuiForm::MaximizeToWorkArea()
{
    win::TRect work;
    GetWorkAreaRect(work);
    int width = work.Width() + 4;
    int height = work.Height() + 1;
    form_->Constraints()->Apply(width, height);
    const win::TRect want = win::Bounds(work.Left - 2, work.Top - 2, width, height);
    if (form_->BoundsRect() != want)
        form_->SetBounds(want.Left, want.Top, want.Width(), want.Height());
}

void TsuiForm::Resize()
{
    TCustomPanel::Resize();
    StripCaption();
}

void TsuiForm::Loaded()
{
    TCustomPanel::Loaded();
    StripCaption();
    SetUIStyle(uiStyle_);
    if (IsMDIChild())
        RedrawFrame();
}

bool TsuiForm::IsMDIChild() const { return hooked_ && form_->FormStyle() == win::fsMDIChild; }

bool TsuiForm::IsMaximizedMDIChild() const
{
    return IsMDIChild() && form_->HandleAllocated() && ::IsZoomed(form_->Handle());
}

bool TsuiForm::TitleHiddenByMaximize() const { return titleHiddenChild == this; }

void TsuiForm::HideTitleForMaximize(bool hide)
{
    if (hide == TitleHiddenByMaximize())
        return;
    if (hide) {
        // Only while the bar shows: a bar hidden on purpose stays hidden when the child is restored.
        if (!titleBar_->Visible())
            return;
        if (titleHiddenChild)
            titleHiddenChild->HideTitleForMaximize(false);
        titleHiddenChild = this;
        titleBar_->SetVisible(false);
    } else {
        titleHiddenChild = nullptr;
        titleBar_->SetVisible(true);
    }
    // The aligned content moves with the realignment below, the rest by as much.
    const int rise = titleBar_->Height() - kMaximizedChildContentTop;
    for (std::int32_t i = 0; i < ControlCount(); ++i) {
        win::TControl* c = Controls(i);
        if (c != titleBar_ && c->Align() == win::alNone)
            c->SetTop(c->Top() + (hide ? -rise : rise));
    }
    Realign();
    Invalidate();
    RedrawFrame();
}

void TsuiForm::MDIChildSized(WPARAM kind)
{
    HideTitleForMaximize(kind == SIZE_MAXIMIZED);
    titleBar_->UpdateButtonTops();
}

void TsuiForm::MDIChildActivated(HWND activated)
{
    const bool active = activated == form_->Handle();
    if (active)
        ::SendMessageA(::GetParent(form_->Handle()), WM_MDIREFRESHMENU, 0, 0);
    titleBar_->SetFormActive(active);
}

void TsuiForm::MDIChildDestroyed()
{
    // The window is going: nothing more is laid out for it.
    if (titleHiddenChild == this)
        titleHiddenChild = nullptr;
    win::TCustomForm* main = win::Application ? win::Application->MainForm() : nullptr;
    HWND client = ::GetParent(form_->Handle());
    if (!main || !client || main->MDIChildCount() > 1)
        return;
    // The last child: the frame's menu loses what the child put there.
    ::SendMessageA(client, WM_MDIREFRESHMENU, 0, 0);
    if (::IsZoomed(form_->Handle()))
        ::SendMessageA(client, WM_MDIRESTORE, reinterpret_cast<WPARAM>(form_->Handle()), 0);
}

void TsuiForm::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TCustomPanel::Notification(component, operation);
    if (operation != rtl::opRemove || component == this)
        return;
    if (component == formPanel_)
        formPanel_ = nullptr;
    if (component == menu_) {
        menu_ = nullptr;
        if (!ComponentState().Contains(rtl::csDestroying)) {
            delete menuBar_;
            menuBar_ = nullptr;
            Realign();
        }
    }
    if (component == titleBar_)
        titleBar_ = nullptr;
    if (component == menuBar_)
        menuBar_ = nullptr;
    if (component == fileTheme_) {
        fileTheme_ = nullptr;
        if (!ComponentState().Contains(rtl::csDestroying)) {
            SetFileThemeAndStyle(this, DeepBlue, nullptr);
            SetUIStyle(DeepBlue);
        }
    }
}

// ---- messages ----

void TsuiForm::WndProc(win::TMessage& m)
{
    switch (m.Msg) {
    case WM_ERASEBKGND: m.Result = 1; return;
    case WM_NCHITTEST:
        if (hooked_) {
            const LRESULT hit = HitTest(static_cast<std::int16_t>(LOWORD(m.LParam)),
                                        static_cast<std::int16_t>(HIWORD(m.LParam)));
            if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT) {
                m.Result = HTTRANSPARENT;
                return;
            }
        }
        break;
    default: break;
    }
    TCustomPanel::WndProc(m);
}

void TsuiForm::FormWindowProc(win::TMessage& m)
{
    if (destroying_ || !titleBar_) {
        savedProc_(m);
        return;
    }
    switch (m.Msg) {
    case WM_NCCREATE:
        savedProc_(m);
        if (HWND wnd = form_->HandleAllocated() ? form_->Handle() : nullptr)
            ::SetWindowLongA(wnd, GWL_STYLE, ::GetWindowLongA(wnd, GWL_STYLE) & ~WS_CAPTION);
        return;
    case WM_NCCALCSIZE:
        // The rectangle is final: the default would take the system's frame off it again.
        if (m.WParam) {
            auto* p = reinterpret_cast<NCCALCSIZE_PARAMS*>(m.LParam);
            p->rgrc[0] = win::ToRECT(ClientFor(win::FromRECT(p->rgrc[0])));
            p->rgrc[1] = p->rgrc[0];
            m.Result = WVR_REDRAW;
        } else {
            auto* r = reinterpret_cast<RECT*>(m.LParam);
            *r = win::ToRECT(ClientFor(win::FromRECT(*r)));
            m.Result = 0;
        }
        return;
    case kLeftBorderQuery: m.Result = skinned_ && leftBorder_ > 0 ? std::max(leftBorder_, 4) : 0; return;
    case WM_NCPAINT: {
        // An MDI child's frame is painted the system's way.
        if (IsMDIChild())
            break;
        win::WindowDC dc(form_->Handle(), true);
        if (dc)
            PaintFrame(dc.Get());
        m.Result = 0;
        return;
    }
    case WM_NCACTIVATE:
        // The default would draw the system's caption over ours.
        titleBar_->SetFormActive(m.WParam != 0);
        m.Result = TRUE;
        return;
    case WM_NCHITTEST:
        m.Result =
            HitTest(static_cast<std::int16_t>(LOWORD(m.LParam)), static_cast<std::int16_t>(HIWORD(m.LParam)));
        // An MDI child designed with a single border keeps its size, sizing frame or not.
        if (IsMDIChild() && designedBorderStyle_ == win::bsSingle && m.Result >= HTLEFT &&
            m.Result <= HTBOTTOMRIGHT)
            m.Result = HTBORDER;
        return;
    case WM_ACTIVATE:
        savedProc_(m);
        titleBar_->SetFormActive(LOWORD(m.WParam) != WA_INACTIVE);
        return;
    case WM_KEYDOWN: {
        MSG msg{form_->Handle(), m.Msg, m.WParam, m.LParam, 0, {0, 0}};
        if (HandleKey(msg))
            return;
        break;
    }
    case WM_SIZE:
        savedProc_(m);
        if (IsMDIChild()) {
            MDIChildSized(m.WParam);
        } else if (m.WParam == SIZE_MAXIMIZED && !inSize_) {
            inSize_ = true;
            try {
                MaximizeToWorkArea();
            } catch (...) {
                inSize_ = false;
                throw;
            }
            inSize_ = false;
        }
        titleBar_->Invalidate();
        RedrawFrame();
        return;
    case WM_SYSCOMMAND:
        // Alt+Space that reached the window: the system's own (unskinned) menu never shows.
        if ((m.WParam & 0xFFF0) == SC_KEYMENU && m.LParam == ' ') {
            if (::GetActiveWindow() == form_->Handle())
                PopupSystemMenuBelowTitle();
            m.Result = 0;
            return;
        }
        break;
    case WM_WINDOWPOSCHANGED:
        savedProc_(m);
        // A changed frame changes the client area without a change of size.
        if (reinterpret_cast<const WINDOWPOS*>(m.LParam)->flags & SWP_FRAMECHANGED)
            form_->Realign();
        return;
    case WM_MDIACTIVATE:
        savedProc_(m);
        if (IsMDIChild())
            MDIChildActivated(reinterpret_cast<HWND>(m.LParam));
        return;
    case WM_DESTROY:
        savedProc_(m);
        if (IsMDIChild())
            MDIChildDestroyed();
        return;
    case win::CM_MDICLIENTAREA:
        savedProc_(m);
        if (form_->FormStyle() == win::fsMDIForm)
            *reinterpret_cast<win::TRect*>(m.LParam) = MDIClientArea();
        return;
    case win::CM_RECREATEWND:
    case 0xBE10:
    case 0xB03A:
        savedProc_(m);
        StripCaption();
        return;
    default: break;
    }
    savedProc_(m);
}

bool TsuiForm::HandleKey(const MSG& msg)
{
    if (!hooked_ || destroying_ || !OwnsWindow(msg.hwnd))
        return false;
    if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_SPACE) {
        // Only the frame of the active window: a dialog's frame over the main window takes the key,
        // not the main window's.
        if (::GetActiveWindow() != form_->Handle())
            return false;
        PopupSystemMenuBelowTitle();
        return true;
    }
    if (msg.message == WM_KEYDOWN && menu_ && IsFormActive(form_))
        return menu_->IsShortCut(static_cast<std::uint16_t>(msg.wParam), win::KeyboardStateToShiftState());
    return false;
}

void TsuiForm::PopupSystemMenuBelowTitle()
{
    RECT wr;
    ::GetWindowRect(form_->Handle(), &wr);
    const int below = titleBar_->Visible() ? titleBar_->TitleImage()->Height() : 0;
    titleBar_->PopupSystemMenu(wr.left, wr.top + std::max(below, titleBar_->Height()));
}

void TsuiForm::OnAppMessage(MSG& msg, bool& handled)
{
    if (!handled && (msg.message == WM_SYSKEYDOWN || msg.message == WM_KEYDOWN) && HandleKey(msg))
        handled = true;
}

}  // namespace skin
