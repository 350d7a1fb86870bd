// The skinned title bar: sections, caption, caption buttons, dragging and the system menu.
#include "skin/SUITitleBar.h"

#include "platform/rtl/Win32.h"
#include "platform/win/Forms.h"
#include "platform/win/Handles.h"
#include "skin/SUIForm.h"
#include "skin/SUIMenu.h"
#include "skin/SUIPublic.h"

#include <algorithm>
#include <cmath>

namespace skin {

namespace {

// Pieces (1-based, normal first) of each type in the strip of 18.
int FirstPiece(TsuiTitleBarBtnType type)
{
    switch (type) {
    case suiControlBox: return 1;
    case suiHelp: return 4;
    case suiMax: return 7;
    case suiMin: return 13;
    case suiClose: return 16;
    default: return 0;
    }
}

constexpr int kRestorePiece = 10;
constexpr int kStripPieces = 18;
// With right-to-left reading the menus open this far right of where they would open.
constexpr int kRightToLeftMenuOffset = 176;
// A maximized MDI child's buttons stand this much higher.
constexpr int kMaximizedChildButtonRise = 3;

double Luminance(COLORREF c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) + 0.0722 * channel(GetBValue(c));
}

double Contrast(COLORREF a, COLORREF b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

COLORREF Blend(COLORREF a, COLORREF b)
{
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
               (GetBValue(a) + GetBValue(b)) / 2);
}

// The mean colour of a rectangle of a 24-bit bitmap (clipped to it).
COLORREF MeanColor(win::TBitmap& bitmap, win::TRect r)
{
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, bitmap.Width());
    r.Bottom = std::min(r.Bottom, bitmap.Height());
    if (r.IsEmpty())
        return RGB(128, 128, 128);
    std::uint64_t sr = 0, sg = 0, sb = 0, n = 0;
    for (int y = r.Top; y < r.Bottom; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(bitmap.ScanLine(y));
        for (int x = r.Left; x < r.Right; ++x) {
            sb += row[x * 3];
            sg += row[x * 3 + 1];
            sr += row[x * 3 + 2];
            ++n;
        }
    }
    return RGB(static_cast<int>(sr / n), static_cast<int>(sg / n), static_cast<int>(sb / n));
}

void DrawPicture(HDC dc, win::TPicture* picture, int x, int y, bool transparent)
{
    auto* bitmap = picture ? dynamic_cast<win::TBitmap*>(picture->Graphic()) : nullptr;
    if (!bitmap || bitmap->Empty())
        return;
    HDC src = bitmap->Canvas()->Handle();
    if (transparent)
        ::TransparentBlt(dc, x, y, bitmap->Width(), bitmap->Height(), src, 0, 0, bitmap->Width(),
                         bitmap->Height(), ::GetPixel(src, 0, 0));
    else
        ::BitBlt(dc, x, y, bitmap->Width(), bitmap->Height(), src, 0, 0, SRCCOPY);
}

int PictureWidth(win::TPicture* picture) { return picture ? picture->Width() : 0; }

}  // namespace

std::string ElideCaption(const std::string& text, int maxWidth,
                         const std::function<int(const std::string&)>& measure)
{
    if (measure(text) <= maxWidth)
        return text;
    for (std::size_t n = text.size(); n-- > 1;) {
        const std::string candidate = text.substr(0, n) + "...";
        if (measure(candidate) <= maxWidth)
            return candidate;
    }
    if (!text.empty() && measure(text.substr(0, 1) + "...") <= maxWidth)
        return text.substr(0, 1) + "...";
    return measure("...") <= maxWidth ? std::string("...") : std::string();
}

win::TColor ReadableCaptionColor(win::TColor wanted, COLORREF background)
{
    const COLORREF c = win::ColorToRGB(wanted);
    if (Contrast(c, background) >= 3.0)
        return wanted;
    return Contrast(RGB(0, 0, 0), background) >= Contrast(RGB(255, 255, 255), background) ? win::clBlack
                                                                                          : win::clWhite;
}

// ---- TsuiTitleBarButton ----

void TsuiTitleBarButton::Publish(Table& t)
{
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(ButtonType)).Default(suiCustom);
    t.Property(RTL_GET_SET(Transparent)).Default(false);
    t.Property(RTL_GET_SET(Top));
    t.Property(RTL_GET_SET(ControlBoxMenu));
    t.Property(RTL_GET_SET(Visible)).Default(true);
    t.Property(RTL_GET_SET(PicNormal));
    t.Property(RTL_GET_SET(PicMouseOn));
    t.Property(RTL_GET_SET(PicMouseDown));
}

TsuiTitleBarButton::TsuiTitleBarButton(rtl::TCollection* collection)
    : TCollectionItem(collection),
      picNormal_(std::make_unique<win::TPicture>()),
      picMouseOn_(std::make_unique<win::TPicture>()),
      picMouseDown_(std::make_unique<win::TPicture>())
{
    for (auto& r : restore_)
        r = std::make_unique<win::TPicture>();
    if (TsuiTitleBar* bar = TitleBar())
        uiStyle_ = bar->UIStyle();
}

TsuiTitleBarButton::~TsuiTitleBarButton() = default;

TsuiTitleBar* TsuiTitleBarButton::TitleBar() const
{
    return Collection() ? dynamic_cast<TsuiTitleBar*>(Collection()->GetOwner()) : nullptr;
}

void TsuiTitleBarButton::SetUIStyle(TsuiUIStyle value)
{
    uiStyle_ = value;
    LoadPieces();
    Changed(false);
}

void TsuiTitleBarButton::SetButtonType(TsuiTitleBarBtnType value)
{
    if (value == buttonType_)
        return;
    buttonType_ = value;
    LoadPieces();
    Changed(true);
}

void TsuiTitleBarButton::SetControlBoxMenu(win::TPopupMenu* value)
{
    controlBoxMenu_ = value;
    if (value)
        if (TsuiTitleBar* bar = TitleBar())
            value->FreeNotification(bar);
}

void TsuiTitleBarButton::LoadPieces()
{
    TsuiTitleBar* bar = TitleBar();
    const int first = FirstPiece(buttonType_);
    if (!bar || first == 0 || !bar->strip_ || bar->strip_->Empty())
        return;
    auto cut = [&](win::TPicture* picture, int piece) {
        win::TBitmap b;
        CutBitmapPiece(bar->strip_.get(), &b, kStripPieces, piece);
        picture->SetBitmap(&b);
    };
    cut(picNormal_.get(), first);
    cut(picMouseOn_.get(), first + 1);
    cut(picMouseDown_.get(), first + 2);
    if (buttonType_ == suiMax)
        for (int i = 0; i < 3; ++i)
            cut(restore_[i].get(), kRestorePiece + i);
}

win::TPicture* TsuiTitleBarButton::PictureFor(int state) const
{
    TsuiTitleBar* bar = TitleBar();
    if (buttonType_ == suiMax && bar && bar->FormMaximized() && restore_[0]->Graphic())
        return restore_[std::clamp(state, 0, 2)].get();
    win::TPicture* chosen = state == 2   ? picMouseDown_.get()
                            : state == 1 ? picMouseOn_.get()
                                         : picNormal_.get();
    return chosen->Graphic() ? chosen : picNormal_.get();
}

void TsuiTitleBarButton::Click()
{
    TsuiTitleBar* bar = TitleBar();
    if (!bar || (bar->Designing() && buttonType_ != suiClose))
        return;
    switch (buttonType_) {
    case suiMax: bar->ToggleMaximize(); break;
    case suiMin: bar->Minimize(); break;
    case suiClose: bar->CloseForm(); break;
    case suiControlBox:
        if (controlBoxMenu_) {
            const int x = bar->UseRightToLeftReading() ? kRightToLeftMenuOffset : 0;
            win::TPoint p = bar->ClientToScreen({x, bar->Height()});
            controlBoxMenu_->Popup(std::max(p.X, 0), p.Y);
        }
        break;
    default: break;
    }
}

void TsuiTitleBarButton::Assign(rtl::TPersistent* source)
{
    auto* other = dynamic_cast<TsuiTitleBarButton*>(source);
    if (!other) {
        TCollectionItem::Assign(source);
        return;
    }
    uiStyle_ = other->uiStyle_;
    buttonType_ = other->buttonType_;
    transparent_ = other->transparent_;
    top_ = other->top_;
    SetControlBoxMenu(other->controlBoxMenu_);
    visible_ = other->visible_;
    picNormal_->Assign(other->picNormal_.get());
    picMouseOn_->Assign(other->picMouseOn_.get());
    picMouseDown_->Assign(other->picMouseDown_.get());
    for (int i = 0; i < 3; ++i)
        restore_[i]->Assign(other->restore_[i].get());
    Changed(true);
}

std::string TsuiTitleBarButton::DisplayName() const
{
    return rtl::GetEnumName(rtl::TypeInfoOf<TsuiTitleBarBtnType>(), buttonType_);
}

void TsuiTitleBarButtons::Publish(Table&) {}

TsuiTitleBarButtons::TsuiTitleBarButtons(TsuiTitleBar* owner)
    : TOwnedCollection(owner, rtl::ItemClass<TsuiTitleBarButton>()), bar_(owner)
{
}

void TsuiTitleBarButtons::Update(rtl::TCollectionItem*)
{
    if (bar_)
        bar_->Invalidate();
}

// ---- TsuiTitleBarSection ----

void TsuiTitleBarSection::Publish(Table& t)
{
    t.Property(RTL_GET_SET(AutoSize)).Default(false);
    t.Property(RTL_GET_SET(Width)).Default(10);
    t.Property(RTL_GET_SET(Align)).Default(suiLeft);
    t.Property(RTL_GET_SET(Picture));
    t.Property(RTL_GET_SET(Stretch)).Default(false);
    t.Property(RTL_GET_SET(CapSec)).Default(false);
}

TsuiTitleBarSection::TsuiTitleBarSection(rtl::TCollection* collection)
    : TCollectionItem(collection), picture_(std::make_unique<win::TPicture>())
{
    picture_->OnChange = [this](rtl::TObject* sender) { PictureChanged(sender); };
}

TsuiTitleBarSection::~TsuiTitleBarSection() { picture_->OnChange = nullptr; }

void TsuiTitleBarSection::SetAutoSize(bool value)
{
    autoSize_ = value;
    if (value && picture_->Width() > 0)
        width_ = picture_->Width();
    Changed(true);
}

void TsuiTitleBarSection::SetWidth(std::int32_t value)
{
    if (autoSize_ && picture_->Width() > 0)
        value = picture_->Width();
    rtl::SetAndNotify(width_, std::max(value, 0), [this] { Changed(true); });
}

void TsuiTitleBarSection::PictureChanged(rtl::TObject*)
{
    if (autoSize_ && picture_->Width() > 0)
        width_ = picture_->Width();
    Changed(true);
}

void TsuiTitleBarSection::Assign(rtl::TPersistent* source)
{
    auto* other = dynamic_cast<TsuiTitleBarSection*>(source);
    if (!other) {
        TCollectionItem::Assign(source);
        return;
    }
    autoSize_ = other->autoSize_;
    width_ = other->width_;
    align_ = other->align_;
    stretch_ = other->stretch_;
    capSec_ = other->capSec_;
    picture_->Assign(other->picture_.get());
}

void TsuiTitleBarSections::Publish(Table&) {}

TsuiTitleBarSections::TsuiTitleBarSections(TsuiTitleBar* owner)
    : TOwnedCollection(owner, rtl::ItemClass<TsuiTitleBarSection>()), bar_(owner)
{
}

void TsuiTitleBarSections::Update(rtl::TCollectionItem*)
{
    if (bar_)
        bar_->Invalidate();
}

// ---- TsuiTitleBarPopupMenu ----

void TsuiTitleBarPopupMenu::Publish(Table&) {}

TsuiTitleBarPopupMenu::TsuiTitleBarPopupMenu(rtl::TComponent* owner) : TsuiPopupMenu(owner)
{
    AutoHotkeys = win::maAutomatic;
    const char* captions[] = {"Mi&nimize", "Ma&ximize/Restore", "-", "&Close"};
    for (const char* caption : captions) {
        auto* item = new win::TMenuItem(this);
        item->SetCaption(caption);
        Items()->Add(item);
    }
    MinimizeItem()->OnClick = [this](rtl::TObject*) {
        if (bar_)
            bar_->Minimize();
    };
    MaximizeItem()->OnClick = [this](rtl::TObject*) {
        if (!bar_)
            return;
        // Every visible maximize button, as a click on each would.
        for (std::int32_t i = 0; i < bar_->Buttons()->Count(); ++i) {
            TsuiTitleBarButton* b = bar_->Buttons()->Items(i);
            if (b->Visible() && b->ButtonType() == suiMax)
                b->Click();
        }
    };
    CloseItem()->OnClick = [this](rtl::TObject*) {
        if (bar_)
            bar_->CloseForm();
    };
}

void TsuiTitleBarPopupMenu::Popup(int x, int y)
{
    if (bar_) {
        MinimizeItem()->SetEnabled(bar_->FindVisibleButton(suiMin) != nullptr);
        MaximizeItem()->SetEnabled(bar_->FindVisibleButton(suiMax) != nullptr);
        CloseItem()->SetEnabled(bar_->FindVisibleButton(suiClose) != nullptr);
        if (bar_->UseRightToLeftReading())
            x += kRightToLeftMenuOffset;
    }
    TsuiPopupMenu::Popup(x, y);
}

// ---- TsuiTitleBar ----

void TsuiTitleBar::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Height));
    t.Property(RTL_GET_SET(Custom)).Default(false);
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(AutoSize)).Default(false);
    t.Property(RTL_GET_SET(Sections));
    t.Property(RTL_GET_SET(Buttons));
    t.Property(RTL_GET_SET(ButtonInterval)).Default(0);
    t.Property(RTL_GET_SET(Caption));
    t.Property(RTL_GET_SET(Font));
    t.Property(RTL_GET_SET(FormActive)).Default(true);
    t.Property(RTL_GET_SET(LeftBtnXOffset)).Default(0);
    t.Property(RTL_GET_SET(RightBtnXOffset)).Default(0);
    t.Property(RTL_GET_SET(DrawAppIcon)).Default(true);
    t.Property(RTL_GET_SET(RoundCorner));
    t.Property(RTL_GET_SET(RoundCornerBottom));
    t.Event(RTL_MEMBER(OnCustomBtnsClick));
    t.Event(RTL_MEMBER(OnHelpBtnClick));
}

TsuiTitleBar::TsuiTitleBar(rtl::TComponent* owner)
    : TCustomPanel(owner),
      sections_(std::make_unique<TsuiTitleBarSections>(this)),
      buttons_(std::make_unique<TsuiTitleBarButtons>(this)),
      titleImage_(std::make_unique<win::TBitmap>()),
      regionImage_(std::make_unique<win::TBitmap>()),
      strip_(std::make_unique<win::TBitmap>())
{
    controlStyle_.Exclude(win::csAcceptsControls);
    controlStyle_.Exclude(win::csSetCaption);
    titleImage_->SetPixelFormat(win::pf24bit);
    regionImage_->SetPixelFormat(win::pf24bit);
    systemMenu_ = new TsuiTitleBarPopupMenu(this);
    systemMenu_->SetTitleBar(this);
    for (TsuiTitleBarBtnType type : {suiControlBox, suiClose, suiMax, suiMin})
        buttons_->Add()->buttonType_ = type;
    SetBevelOuter(win::bvNone);
    SetAlign(win::alTop);
    SetHeight(22);
    Font()->SetColor(win::clWhite);
    Font()->SetName("Tahoma");
    Font()->SetStyle({win::fsBold});
    SetUIStyle(GetFormUIStyle(owner ? dynamic_cast<rtl::TComponent*>(owner->Owner()) : nullptr));
}

TsuiTitleBar::~TsuiTitleBar()
{
    Destroying();
    if (fileTheme_)
        fileTheme_->RemoveFreeNotification(this);
    DestroyHandle();
}

void TsuiTitleBar::SetText(const std::string& value)
{
    if (value == caption_)
        return;
    caption_ = value;
    Invalidate();
}

void TsuiTitleBar::SetFileTheme(TsuiFileTheme* value)
{
    SetNotifiedRef(this, fileTheme_, value);
    SetUIStyle(uiStyle_);
}

void TsuiTitleBar::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TCustomPanel::Notification(component, operation);
    if (operation != rtl::opRemove)
        return;
    if (component == fileTheme_) {
        fileTheme_ = nullptr;
        SetUIStyle(DeepBlue);
    }
    if (component == systemMenu_)
        systemMenu_ = nullptr;
    for (std::int32_t i = 0; i < buttons_->Count(); ++i)
        if (buttons_->Items(i)->ControlBoxMenu() == component)
            buttons_->Items(i)->ClearMenu();
}

void TsuiTitleBar::SetSection(std::int32_t index, win::TBitmap* picture, TsuiTitleBarAlign align,
                              bool autoSize, bool capSec)
{
    while (sections_->Count() <= index)
        sections_->Add();
    TsuiTitleBarSection* s = sections_->Items(index);
    s->Picture()->SetBitmap(picture);
    s->SetAlign(align);
    s->SetCapSec(capSec);
    s->SetAutoSize(autoSize);
}

void TsuiTitleBar::LoadButtonStrip(win::TBitmap& strip)
{
    strip_->Assign(&strip);
    strip_->SetPixelFormat(win::pf24bit);
    buttonHeight_ = strip_->Height();
}

void TsuiTitleBar::ApplyFileTheme()
{
    fiveSections_ = ThemeBool(fileTheme_, SKIN2_TITLEFIVESECT);
    transColor_ = ThemeColor(fileTheme_, SKIN2_TRANSCOLOR, win::clFuchsia);
    sections_->BeginUpdate();
    sections_->Clear();
    SetSection(0, ThemeBitmap(fileTheme_, SKIN2_TITLEBAR1), suiLeft, true, false);
    SetSection(1, ThemeBitmap(fileTheme_, SKIN2_TITLEBAR2), fiveSections_ ? suiLeft : suiClient, false,
               fiveSections_);
    SetSection(2, ThemeBitmap(fileTheme_, SKIN2_TITLEBAR3), fiveSections_ ? suiLeft : suiRight, true, false);
    if (fiveSections_) {
        SetSection(3, ThemeBitmap(fileTheme_, SKIN2_TITLEBAR4), suiClient, false, false);
        SetSection(4, ThemeBitmap(fileTheme_, SKIN2_TITLEBAR5), suiRight, true, false);
    }
    sections_->EndUpdate();
    leftBtnXOffset_ = ThemeInt(fileTheme_, SKIN2_TITLEBARICONPOSX, 0);
    rightBtnXOffset_ = ThemeInt(fileTheme_, SKIN2_TITLEBARBUTTONPOSX, 0);
    win::TBitmap* strip = ThemeBitmap(fileTheme_, SKIN2_TITLEBUTTONS);
    if (strip)
        LoadButtonStrip(*strip);
    buttonTop_ = ThemeInt(fileTheme_, SKIN2_TITLEBARBUTTONPOSY, 2);
    formColor_ = ThemeColor(fileTheme_, SKIN2_FORMCOLOR, win::clBtnFace);
    const bool transparent = ThemeBool(fileTheme_, SKIN2_TITLEBTNTRANS);
    for (std::int32_t i = 0; i < buttons_->Count(); ++i)
        buttons_->Items(i)->transparent_ = transparent;
    UpdateButtonTops();
    captionColor_ = ThemeColor(fileTheme_, SKIN2_TITLEFONTCOLOR, win::clWhite);
    captionTop_ = ThemeInt(fileTheme_, SKIN2_TITLEBARCAPTIONTOP, -1);
    if (win::TCustomForm* form = GetParentForm()) {
        const int buttonTotal = strip_->Width() / kStripPieces * buttons_->Count() + rightBtnXOffset_;
        auto width = [&](TSkin2Entry e) {
            win::TBitmap* b = ThemeBitmap(fileTheme_, e);
            return b ? b->Width() : 0;
        };
        const int minWidth = fiveSections_
                                 ? width(SKIN2_TITLEBAR1) + width(SKIN2_TITLEBAR3) + 16 +
                                       std::max(width(SKIN2_TITLEBAR5), buttonTotal)
                                 : width(SKIN2_TITLEBAR1) + std::max(width(SKIN2_TITLEBAR3), buttonTotal);
        form->Constraints()->SetMinWidth(minWidth);
    }
}

void TsuiTitleBar::ApplyBuiltIn(TsuiUIStyle style)
{
    fiveSections_ = false;
    transColor_ = win::clFuchsia;
    win::TBitmap left, middle, right, strip;
    LoadBuiltInThemeBitmap(style, SUI_THEME_TITLEBAR_LEFT_IMAGE, &left);
    LoadBuiltInThemeBitmap(style, SUI_THEME_TITLEBAR_CLIENT_IMAGE, &middle);
    LoadBuiltInThemeBitmap(style, SUI_THEME_TITLEBAR_RIGHT_IMAGE, &right);
    sections_->BeginUpdate();
    sections_->Clear();
    SetSection(0, &left, suiLeft, true, false);
    SetSection(1, &right, suiRight, true, false);
    SetSection(2, &middle, suiClient, false, false);
    sections_->EndUpdate();
    leftBtnXOffset_ = GetBuiltInThemeValue(style, SUI_THEME_TITLEBAR_BUTTON_LEFTOFFSET);
    rightBtnXOffset_ = GetBuiltInThemeValue(style, SUI_THEME_TITLEBAR_BUTTON_RIGHTOFFSET);
    captionColor_ = GetBuiltInThemeColor(style, SUI_THEME_FORM_BORDER_COLOR);
    captionTop_ = -1;
    LoadBuiltInThemeBitmap(style, SUI_THEME_TITLEBAR_BUTTON_IMAGE, &strip);
    LoadButtonStrip(strip);
    buttonTop_ = GetBuiltInThemeValue(style, SUI_THEME_TITLEBAR_BUTTON_TOP);
    formColor_ = GetBuiltInThemeColor(style, SUI_THEME_FORM_BACKGROUND_COLOR);
    const bool transparent = GetBuiltInThemeInt(style, SUI_THEME_TITLEBAR_BUTTON_TRANSPARENT) != 0;
    for (std::int32_t i = 0; i < buttons_->Count(); ++i)
        buttons_->Items(i)->transparent_ = transparent;
    UpdateButtonTops();
    if (win::TCustomForm* form = GetParentForm()) {
        form->Constraints()->SetMinWidth(GetBuiltInThemeValue(style, SUI_THEME_FORM_MINWIDTH));
        form->Constraints()->SetMinHeight(50);
    }
    roundCorner_ = GetBuiltInThemeValue(style, SUI_THEME_FORM_ROUNDCORNER);
}

void TsuiTitleBar::SetUIStyle(TsuiUIStyle value)
{
    uiStyle_ = value;
    TsuiUIStyle style = DeepBlue;
    if (UsesFileTheme(fileTheme_, value, style))
        ApplyFileTheme();
    else
        ApplyBuiltIn(style);
    Font()->SetColor(captionColor_);
    for (std::int32_t i = 0; i < buttons_->Count(); ++i) {
        TsuiTitleBarButton* b = buttons_->Items(i);
        b->uiStyle_ = value;
        b->LoadPieces();
    }
    if (systemMenu_) {
        systemMenu_->SetFileTheme(fileTheme_);
        systemMenu_->SetUIStyle(value);
    }
    FitHeight();
    Invalidate();
}

void TsuiTitleBar::FitHeight()
{
    if (custom_)
        return;
    int tallest = 0;
    for (std::int32_t i = 0; i < sections_->Count(); ++i)
        tallest = std::max(tallest, sections_->Items(i)->Picture()->Height());
    if (tallest > 0)
        SetHeight(tallest);
}

void TsuiTitleBar::UpdateButtonTops()
{
    TsuiForm* frame = Frame();
    const int top = buttonTop_ - (frame && frame->IsMaximizedMDIChild() ? kMaximizedChildButtonRise : 0);
    bool changed = false;
    for (std::int32_t i = 0; i < buttons_->Count(); ++i) {
        changed = changed || buttons_->Items(i)->top_ != top;
        buttons_->Items(i)->top_ = top;
    }
    if (changed)
        Invalidate();
}

bool TsuiTitleBar::FormMaximized()
{
    win::TCustomForm* form = GetParentForm();
    return form && form->HandleAllocated() && ::IsZoomed(form->Handle());
}

TsuiTitleBarButton* TsuiTitleBar::FindVisibleButton(TsuiTitleBarBtnType type) const
{
    for (std::int32_t i = 0; i < buttons_->Count(); ++i)
        if (buttons_->Items(i)->Visible() && buttons_->Items(i)->ButtonType() == type)
            return buttons_->Items(i);
    return nullptr;
}

TsuiForm* TsuiTitleBar::Frame() const
{
    auto* frame = dynamic_cast<TsuiForm*>(Parent());
    return frame && frame->Active() ? frame : nullptr;
}

win::TPoint TsuiTitleBar::ImageOrigin()
{
    TsuiForm* frame = Frame();
    win::TCustomForm* form = frame ? frame->OwnerForm() : nullptr;
    if (!form || !form->HandleAllocated() || !HandleAllocated())
        return {0, 0};
    RECT window, bar;
    ::GetWindowRect(form->Handle(), &window);
    ::GetWindowRect(Handle(), &bar);
    return {bar.left - window.left, bar.top - window.top};
}

int TsuiTitleBar::ImageWidth()
{
    TsuiForm* frame = Frame();
    win::TCustomForm* form = frame ? frame->OwnerForm() : nullptr;
    if (form && form->HandleAllocated()) {
        RECT w;
        ::GetWindowRect(form->Handle(), &w);
        return std::max<int>(w.right - w.left, 1);
    }
    return std::max(Width(), 1);
}

int TsuiTitleBar::ButtonsWidth() const
{
    int total = 0;
    for (std::int32_t i = 0; i < buttons_->Count(); ++i)
        if (buttons_->Items(i)->Visible())
            total += PictureWidth(buttons_->Items(i)->PicNormal()) + buttonInterval_;
    return total;
}

win::TRect TsuiTitleBar::ButtonRect(std::int32_t index)
{
    if (index < 0 || index >= buttons_->Count() || !buttons_->Items(index)->Visible())
        return {};
    const win::TPoint origin = ImageOrigin();
    const int imageWidth = ImageWidth();
    // Right to left from the right end of the image, in collection order; the control box sits
    // at the left.
    int x = imageWidth - rightBtnXOffset_ - 4;
    for (std::int32_t i = 0; i < buttons_->Count(); ++i) {
        TsuiTitleBarButton* b = buttons_->Items(i);
        if (!b->Visible())
            continue;
        win::TPicture* pic = b->PictureFor(0);
        const int w = PictureWidth(pic);
        const int h = pic ? pic->Height() : 0;
        if (b->ButtonType() == suiControlBox) {
            if (i == index)
                return win::Bounds(leftBtnXOffset_ + 4 - origin.X, b->Top() - origin.Y, w, h);
            continue;
        }
        x -= w + 1 + buttonInterval_;
        if (i == index)
            return win::Bounds(x - origin.X, b->Top() - origin.Y, w, h);
    }
    return {};
}

std::int32_t TsuiTitleBar::ButtonAt(int x, int y)
{
    for (std::int32_t i = 0; i < buttons_->Count(); ++i) {
        const win::TRect r = ButtonRect(i);
        if (!r.IsEmpty() && x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom)
            return i;
    }
    return -1;
}

void TsuiTitleBar::Compose()
{
    const win::TPoint origin = ImageOrigin();
    const int width = ImageWidth();
    const int height = std::max(origin.Y + Height(), 1);
    if (titleImage_->Width() != width || titleImage_->Height() != height) {
        titleImage_->SetSize(width, height);
        regionImage_->SetSize(width, height);
    }
    win::TCanvas& canvas = *titleImage_->Canvas();
    HDC dc = canvas.Handle();
    HDC regionDc = regionImage_->Canvas()->Handle();
    MenuFillRect(canvas, win::Rect(0, 0, width, height), formColor_);
    MenuFillRect(*regionImage_->Canvas(), win::Rect(0, 0, width, height), formColor_);

    canvas.Font()->Assign(Font());
    const int captionWidth = canvas.TextWidth(caption_);

    int left = 0, right = width;
    int lastLeftWidth = 0;
    int captionLeft = -1, captionRight = -1;
    TsuiTitleBarSection* client = nullptr;
    auto bitmapOf = [](TsuiTitleBarSection* s) {
        return dynamic_cast<win::TBitmap*>(s->Picture()->Graphic());
    };
    auto stretch = [&](win::TBitmap* b, int x, int w) {
        if (w <= 0)
            return;
        const int h = b->Height();
        HDC src = b->Canvas()->Handle();
        const int old = ::SetStretchBltMode(dc, COLORONCOLOR);
        ::StretchBlt(dc, x, 0, w, h, src, 0, 0, b->Width(), h, SRCCOPY);
        ::SetStretchBltMode(dc, old);
        ::SetStretchBltMode(regionDc, COLORONCOLOR);
        ::StretchBlt(regionDc, x, 0, w, h, src, 0, 0, b->Width(), h, SRCCOPY);
    };
    for (std::int32_t i = 0; i < sections_->Count(); ++i) {
        TsuiTitleBarSection* s = sections_->Items(i);
        win::TBitmap* b = bitmapOf(s);
        if (!b || b->Empty())
            continue;
        if (s->CapSec()) {
            const int w = std::max(captionWidth + leftBtnXOffset_ + 17 - lastLeftWidth, 0);
            stretch(b, left, w);
            captionLeft = left;
            left += w;
            captionRight = left;
        } else if (s->Align() == suiLeft) {
            stretch(b, left, b->Width());
            left += b->Width();
            lastLeftWidth = b->Width();
        } else if (s->Align() == suiRight) {
            const int x = right - b->Width();
            ::BitBlt(regionDc, x, 0, b->Width(), b->Height(), b->Canvas()->Handle(), 0, 0, SRCCOPY);
            MenuFillRect(canvas, win::Rect(x, 0, right, b->Height()), formColor_);
            ::TransparentBlt(dc, x, 0, b->Width(), b->Height(), b->Canvas()->Handle(), 0, 0, b->Width(),
                             b->Height(), win::ColorToRGB(transColor_));
            right = x;
        } else {
            client = s;
        }
    }
    if (client)
        stretch(bitmapOf(client), left, right - left);

    // Icon or control box at the left, then the caption.
    int textLeft = leftBtnXOffset_ + 4;
    if (TsuiTitleBarButton* box = FindVisibleButton(suiControlBox)) {
        textLeft += PictureWidth(box->PicNormal()) + 4;
    } else if (drawAppIcon_) {
        HICON icon = reinterpret_cast<HICON>(::SendMessageA(
            GetParentForm() && GetParentForm()->HandleAllocated() ? GetParentForm()->Handle() : nullptr,
            WM_GETICON, ICON_SMALL, 0));
        if (!icon)
            icon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        const int iconTop = std::max(origin.Y + (Height() - 16) / 2, 0);
        ::DrawIconEx(dc, textLeft, iconTop, icon, 16, 16, 0, nullptr, DI_NORMAL);
        textLeft += 20;
    }
    const int limitRight = width - ButtonsWidth() - 21 - (right < width ? width - right : 0);
    DrawCaption(canvas, std::max(textLeft, captionLeft), limitRight, captionRight);

    // Buttons over the sections.
    for (std::int32_t i = 0; i < buttons_->Count(); ++i) {
        TsuiTitleBarButton* b = buttons_->Items(i);
        if (!b->Visible())
            continue;
        const win::TRect r = ButtonRect(i);
        int state = 0;
        if (i == pressedIndex_ && i == hotIndex_)
            state = 2;
        else if (i == hotIndex_)
            state = 1;
        DrawPicture(dc, b->PictureFor(state), r.Left + origin.X, r.Top + origin.Y, b->Transparent());
    }
    canvas.Refresh();
}

void TsuiTitleBar::DrawCaption(win::TCanvas& canvas, int left, int right, int sectionRight)
{
    const win::TPoint origin = ImageOrigin();
    const int available = right - left;
    shownCaption_ =
        ElideCaption(caption_, available, [&](const std::string& s) { return canvas.TextWidth(s); });
    const int textHeight = canvas.TextHeight("Wg");
    const int top = captionTop_ >= 0 ? captionTop_ : origin.Y + (Height() - textHeight) / 2;
    const int textWidth = canvas.TextWidth(shownCaption_);
    captionRect_ = win::Bounds(left, top, std::max(textWidth, 0), textHeight);
    (void)sectionRight;
    const COLORREF background = MeanColor(*titleImage_, captionRect_);
    win::TColor color = ReadableCaptionColor(Font()->Color(), background);
    if (!formActive_)
        color = static_cast<win::TColor>(Blend(win::ColorToRGB(color), background));
    shownCaptionColor_ = color;
    if (shownCaption_.empty())
        return;
    canvas.Font()->SetColor(color);
    canvas.Brush()->SetStyle(win::bsClear);
    canvas.TextOut(left, top, shownCaption_);
}

void TsuiTitleBar::Paint()
{
    Compose();
    const win::TPoint origin = ImageOrigin();
    ::BitBlt(Canvas()->Handle(), 0, 0, Width(), Height(), titleImage_->Canvas()->Handle(), origin.X, origin.Y,
             SRCCOPY);
}

void TsuiTitleBar::Resize()
{
    TCustomPanel::Resize();
    Invalidate();
}

void TsuiTitleBar::WndProc(win::TMessage& m)
{
    switch (m.Msg) {
    case WM_ERASEBKGND: m.Result = 1; return;
    case WM_NCHITTEST:
        // The strip along the top of a sizeable form belongs to the form's sizing border.
        if (TsuiForm* frame = Frame()) {
            const LRESULT formHit = frame->HitTest(static_cast<std::int16_t>(LOWORD(m.LParam)),
                                                   static_cast<std::int16_t>(HIWORD(m.LParam)));
            if (formHit >= HTLEFT && formHit <= HTBOTTOMRIGHT) {
                m.Result = HTTRANSPARENT;
                return;
            }
        }
        break;
    case WM_LBUTTONUP:
        // The release lets the capture go before MouseUp looks at the pressed button.
        releasing_ = true;
        try {
            TCustomPanel::WndProc(m);
        } catch (...) {
            releasing_ = false;
            throw;
        }
        releasing_ = false;
        return;
    case WM_CAPTURECHANGED:
        if (releasing_)
            break;
        [[fallthrough]];
    case WM_CANCELMODE:
        if (pressedIndex_ >= 0) {
            pressedIndex_ = -1;
            Invalidate();
        }
        break;
    default: break;
    }
    TCustomPanel::WndProc(m);
}

void TsuiTitleBar::MouseMove(win::TShiftState shift, int x, int y)
{
    const std::int32_t hot = ButtonAt(x, y);
    if (hot != hotIndex_) {
        hotIndex_ = hot;
        Invalidate();
    }
    TCustomPanel::MouseMove(shift, x, y);
}

void TsuiTitleBar::MouseLeave()
{
    if (hotIndex_ != -1) {
        hotIndex_ = -1;
        Invalidate();
    }
    TCustomPanel::MouseLeave();
}

void TsuiTitleBar::MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    TCustomPanel::MouseDown(button, shift, x, y);
    if (button != win::mbLeft)
        return;
    pressedIndex_ = ButtonAt(x, y);
    hotIndex_ = pressedIndex_;
    Repaint();
    if (pressedIndex_ >= 0 || shift.Contains(win::ssDouble) || FormMaximized() || Designing())
        return;
    win::TCustomForm* form = GetParentForm();
    if (!form || !form->HandleAllocated())
        return;
    // Dragging the bar moves the form: the system's own move loop takes over from here.
    win::SetCaptureControl(nullptr);
    ::ReleaseCapture();
    pressedIndex_ = -1;
    const win::TPoint p = ClientToScreen({x, y});
    ::SendMessageA(form->Handle(), WM_NCLBUTTONDOWN, HTCAPTION,
                   MAKELPARAM(static_cast<std::uint16_t>(p.X), static_cast<std::uint16_t>(p.Y)));
}

void TsuiTitleBar::MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y)
{
    TCustomPanel::MouseUp(button, shift, x, y);
    if (button != win::mbLeft)
        return;
    const std::int32_t pressed = pressedIndex_;
    pressedIndex_ = -1;
    const std::int32_t under = ButtonAt(x, y);
    Invalidate();
    if (pressed >= 0 && pressed == under)
        ButtonClicked(pressed);
}

void TsuiTitleBar::ButtonClicked(std::int32_t index)
{
    TsuiTitleBarButton* b = buttons_->Items(index);
    if (b->ButtonType() == suiControlBox && !b->ControlBoxMenu()) {
        const win::TPoint p = ClientToScreen({0, Height()});
        PopupSystemMenu(p.X, p.Y);
        return;
    }
    b->Click();
    if (b->ButtonType() == suiCustom)
        OnCustomBtnsClick(this, index);
    else if (b->ButtonType() == suiHelp)
        OnHelpBtnClick(this, index);
}

void TsuiTitleBar::DblClick()
{
    TCustomPanel::DblClick();
    POINT p;
    ::GetCursorPos(&p);
    const win::TPoint local = ScreenToClient({p.x, p.y});
    const std::int32_t at = ButtonAt(local.X, local.Y);
    if (at >= 0) {
        if (buttons_->Items(at)->ButtonType() == suiControlBox)
            CloseForm();
        return;
    }
    if (TsuiTitleBarButton* max = FindVisibleButton(suiMax))
        max->Click();
}

void TsuiTitleBar::PopupSystemMenu(int x, int y)
{
    if (systemMenu_)
        systemMenu_->Popup(x, y);
}

void TsuiTitleBar::ToggleMaximize()
{
    win::TCustomForm* form = GetParentForm();
    if (!form)
        return;
    const bool maximized = FormMaximized();
    form->SetWindowState(maximized ? win::wsNormal : win::wsMaximized);
    // An MDI child fills its client, as the client maximizes it.
    if (!maximized && form->HandleAllocated() && form->FormStyle() != win::fsMDIChild) {
        win::TRect work;
        GetWorkAreaRect(work);
        const win::TRect want{work.Left - 2, work.Top - 2, work.Right + 2, work.Bottom - 1};
        if (form->BoundsRect() != want)
            form->SetBounds(want.Left, want.Top, want.Width(), want.Height());
    }
    Invalidate();
}

void TsuiTitleBar::Minimize()
{
    win::TCustomForm* form = GetParentForm();
    if (!form)
        return;
    if (win::Application && win::Application->MainForm() == form && form->HandleAllocated())
        ::SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else
        form->SetWindowState(win::wsMinimized);
}

void TsuiTitleBar::CloseForm()
{
    if (win::TCustomForm* form = GetParentForm())
        form->Close();
}

}  // namespace skin
