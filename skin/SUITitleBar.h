// TsuiTitleBar: the skinned caption bar at the top of a skinned frame, with its picture sections,
// caption, caption buttons and system menu.
//
// The bar composes one title image in the coordinates of its form's window: inside a skinned
// frame the image's top-left corner is the window's, so the frame can copy the parts the bar
// does not cover (and shape the window region from them); elsewhere it is the bar's own corner.
#pragma once

#include "platform/rtl/Collections.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Menus.h"
#include "skin/SUIMgr.h"
#include "skin/SUIPopupMenu.h"
#include "skin/SUIThemes.h"

#include <functional>
#include <memory>
#include <string>

namespace skin {

class TsuiTitleBar;
class TsuiForm;

enum TsuiTitleBarBtnType { suiMax, suiMin, suiClose, suiHelp, suiControlBox, suiCustom };
RTL_ENUM_INFO(TsuiTitleBarBtnType, "suiMax", "suiMin", "suiClose", "suiHelp", "suiControlBox", "suiCustom")
enum TsuiTitleBarAlign { suiLeft, suiRight, suiClient };
RTL_ENUM_INFO(TsuiTitleBarAlign, "suiLeft", "suiRight", "suiClient")

using TsuiTitleBarButtonClickEvent = rtl::TEvent<void(rtl::TObject* Sender, std::int32_t ButtonIndex)>;

// One caption button. Skinned types take their pictures from the style's strip of 18 pieces;
// suiCustom buttons keep their own.
class TsuiTitleBarButton : public rtl::TCollectionItem {
    RTL_DECLARE_CLASS(TsuiTitleBarButton, rtl::TCollectionItem)

public:
    explicit TsuiTitleBarButton(rtl::TCollection* collection);
    ~TsuiTitleBarButton() override;

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle value);
    TsuiTitleBarBtnType ButtonType() const { return buttonType_; }
    void SetButtonType(TsuiTitleBarBtnType value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value)
    {
        rtl::SetAndNotify(transparent_, value, [this] { Changed(false); });
    }
    // Top of the button in the title image.
    std::int32_t Top() const { return top_; }
    void SetTop(std::int32_t value)
    {
        rtl::SetAndNotify(top_, value, [this] { Changed(false); });
    }
    win::TPopupMenu* ControlBoxMenu() const { return controlBoxMenu_; }
    void SetControlBoxMenu(win::TPopupMenu* value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value)
    {
        rtl::SetAndNotify(visible_, value, [this] { Changed(true); });
    }
    win::TPicture* PicNormal() const { return picNormal_.get(); }
    void SetPicNormal(win::TPicture* value) { picNormal_->Assign(value); }
    win::TPicture* PicMouseOn() const { return picMouseOn_.get(); }
    void SetPicMouseOn(win::TPicture* value) { picMouseOn_->Assign(value); }
    win::TPicture* PicMouseDown() const { return picMouseDown_.get(); }
    void SetPicMouseDown(win::TPicture* value) { picMouseDown_->Assign(value); }

    TsuiTitleBar* TitleBar() const;
    // The button's own action (maximize, minimize, close, control-box menu); see TsuiTitleBar.
    void Click();
    // The picture for a state (0 normal, 1 under the mouse, 2 pressed); a maximize button of a
    // maximized form shows the restore pieces.
    win::TPicture* PictureFor(int state) const;
    void Assign(rtl::TPersistent* source) override;
    std::string DisplayName() const override;

private:
    friend class TsuiTitleBar;
    void LoadPieces();
    void ClearMenu() { controlBoxMenu_ = nullptr; }

    TsuiUIStyle uiStyle_ = DeepBlue;
    TsuiTitleBarBtnType buttonType_ = suiCustom;
    bool transparent_ = false;
    std::int32_t top_ = 2;
    win::TPopupMenu* controlBoxMenu_ = nullptr;  // not owned
    bool visible_ = true;
    std::unique_ptr<win::TPicture> picNormal_, picMouseOn_, picMouseDown_;
    // The restore pieces of a maximize button.
    std::unique_ptr<win::TPicture> restore_[3];
};

class TsuiTitleBarButtons : public rtl::TOwnedCollection {
    RTL_DECLARE_CLASS(TsuiTitleBarButtons, rtl::TOwnedCollection)

public:
    explicit TsuiTitleBarButtons(TsuiTitleBar* owner);
    TsuiTitleBarButton* Items(std::int32_t index) const
    {
        return static_cast<TsuiTitleBarButton*>(TOwnedCollection::Items(index));
    }
    TsuiTitleBarButton* Add() { return static_cast<TsuiTitleBarButton*>(TOwnedCollection::Add()); }

protected:
    void Update(rtl::TCollectionItem* item) override;

private:
    TsuiTitleBar* bar_;  // not owned
};

// A picture section of the bar.
class TsuiTitleBarSection : public rtl::TCollectionItem {
    RTL_DECLARE_CLASS(TsuiTitleBarSection, rtl::TCollectionItem)

public:
    explicit TsuiTitleBarSection(rtl::TCollection* collection);
    ~TsuiTitleBarSection() override;

    // Width follows the picture's.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    std::int32_t Width() const { return width_; }
    void SetWidth(std::int32_t value);
    TsuiTitleBarAlign Align() const { return align_; }
    void SetAlign(TsuiTitleBarAlign value)
    {
        rtl::SetAndNotify(align_, value, [this] { Changed(true); });
    }
    win::TPicture* Picture() const { return picture_.get(); }
    void SetPicture(win::TPicture* value) { picture_->Assign(value); }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value)
    {
        rtl::SetAndNotify(stretch_, value, [this] { Changed(false); });
    }
    // The section behind the caption.
    bool CapSec() const { return capSec_; }
    void SetCapSec(bool value)
    {
        rtl::SetAndNotify(capSec_, value, [this] { Changed(true); });
    }
    void Assign(rtl::TPersistent* source) override;

private:
    void PictureChanged(rtl::TObject*);

    bool autoSize_ = false;
    std::int32_t width_ = 10;
    TsuiTitleBarAlign align_ = suiLeft;
    std::unique_ptr<win::TPicture> picture_;
    bool stretch_ = false;
    bool capSec_ = false;
};

class TsuiTitleBarSections : public rtl::TOwnedCollection {
    RTL_DECLARE_CLASS(TsuiTitleBarSections, rtl::TOwnedCollection)

public:
    explicit TsuiTitleBarSections(TsuiTitleBar* owner);
    TsuiTitleBarSection* Items(std::int32_t index) const
    {
        return static_cast<TsuiTitleBarSection*>(TOwnedCollection::Items(index));
    }
    TsuiTitleBarSection* Add() { return static_cast<TsuiTitleBarSection*>(TOwnedCollection::Add()); }

protected:
    void Update(rtl::TCollectionItem* item) override;

private:
    TsuiTitleBar* bar_;  // not owned
};

// The bar's system menu: "Mi&nimize", "Ma&ximize/Restore", a separator and "&Close".
class TsuiTitleBarPopupMenu : public TsuiPopupMenu {
    RTL_DECLARE_CLASS(TsuiTitleBarPopupMenu, TsuiPopupMenu)

public:
    explicit TsuiTitleBarPopupMenu(rtl::TComponent* owner);

    void SetTitleBar(TsuiTitleBar* bar) { bar_ = bar; }
    win::TMenuItem* MinimizeItem() const { return Items()->Items(0); }
    win::TMenuItem* MaximizeItem() const { return Items()->Items(1); }
    win::TMenuItem* CloseItem() const { return Items()->Items(3); }
    // Enables each item only while the bar has a visible button of its kind, then shows the menu,
    // 176 pixels further right when the bar reads right to left.
    void Popup(int x, int y) override;

private:
    TsuiTitleBar* bar_ = nullptr;  // not owned: the bar owns the menu
};

// The caption bar. Its height follows the skin: it is the height of the tallest title picture
// the style uses (the skin file's TITLEBAR pictures, or a built-in style's title ends and
// middle), unless Custom keeps the height set by hand.
class TsuiTitleBar : public win::TCustomPanel {
    RTL_DECLARE_CLASS(TsuiTitleBar, win::TCustomPanel)

public:
    explicit TsuiTitleBar(rtl::TComponent* owner);
    ~TsuiTitleBar() override;

    bool Custom() const { return custom_; }
    void SetCustom(bool value) { custom_ = value; }
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* value);
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value) { rtl::SetAndNotify(autoSize_, value, this, &Self::Invalidate); }
    TsuiTitleBarSections* Sections() const { return sections_.get(); }
    void SetSections(TsuiTitleBarSections* value) { sections_->Assign(value); }
    TsuiTitleBarButtons* Buttons() const { return buttons_.get(); }
    void SetButtons(TsuiTitleBarButtons* value) { buttons_->Assign(value); }
    std::int32_t ButtonInterval() const { return buttonInterval_; }
    void SetButtonInterval(std::int32_t value)
    {
        rtl::SetAndNotify(buttonInterval_, value, this, &Self::Invalidate);
    }
    bool FormActive() const { return formActive_; }
    void SetFormActive(bool value) { rtl::SetAndNotify(formActive_, value, this, &Self::Invalidate); }
    std::int32_t LeftBtnXOffset() const { return leftBtnXOffset_; }
    void SetLeftBtnXOffset(std::int32_t value)
    {
        rtl::SetAndNotify(leftBtnXOffset_, value, this, &Self::Invalidate);
    }
    std::int32_t RightBtnXOffset() const { return rightBtnXOffset_; }
    void SetRightBtnXOffset(std::int32_t value)
    {
        rtl::SetAndNotify(rightBtnXOffset_, value, this, &Self::Invalidate);
    }
    bool DrawAppIcon() const { return drawAppIcon_; }
    void SetDrawAppIcon(bool value) { rtl::SetAndNotify(drawAppIcon_, value, this, &Self::Invalidate); }
    std::int32_t RoundCorner() const { return roundCorner_; }
    void SetRoundCorner(std::int32_t value)
    {
        rtl::SetAndNotify(roundCorner_, value, this, &Self::Invalidate);
    }
    std::int32_t RoundCornerBottom() const { return roundCornerBottom_; }
    void SetRoundCornerBottom(std::int32_t value)
    {
        rtl::SetAndNotify(roundCornerBottom_, value, this, &Self::Invalidate);
    }
    std::string GetText() override { return caption_; }
    void SetText(const std::string& value) override;

    TsuiTitleBarButtonClickEvent OnCustomBtnsClick;
    TsuiTitleBarButtonClickEvent OnHelpBtnClick;

    TsuiTitleBarPopupMenu* SystemMenu() const { return systemMenu_; }
    // The system menu at a screen point.
    void PopupSystemMenu(int x, int y);
    // The first visible button of a type, or nullptr.
    TsuiTitleBarButton* FindVisibleButton(TsuiTitleBarBtnType type) const;

    // The title image in the form window's coordinates (see the file comment); composed anew by
    // each paint. RegionImage holds the same sections unmasked, for the frame's region.
    win::TBitmap* TitleImage() { return titleImage_.get(); }
    win::TBitmap* RegionImage() { return regionImage_.get(); }
    // Where the bar's top-left corner lies in the title image.
    win::TPoint ImageOrigin();
    // Draws sections, caption and buttons into the title image.
    void Compose();
    // Where button `index` lies in the bar (empty when hidden), and the button under a bar
    // point (-1 for none).
    win::TRect ButtonRect(std::int32_t index);
    std::int32_t ButtonAt(int x, int y);
    // The caption as drawn (cut with "..." when it does not fit) and its colour.
    const std::string& ShownCaption() const { return shownCaption_; }
    win::TColor ShownCaptionColor() const { return shownCaptionColor_; }
    win::TRect CaptionRect() const { return captionRect_; }
    win::TColor FormColor() const { return formColor_; }
    win::TColor TransparentColor() const { return transColor_; }

    // Puts every button at the style's top, 3 pixels higher while the bar's form is a maximized
    // MDI child (the frame calls it when that changes).
    void UpdateButtonTops();

    // Maximizes or restores the owning form (a maximized form fills its monitor's work area,
    // 2 pixels past it at the left, right and top, 1 short at the bottom).
    void ToggleMaximize();
    void Minimize();
    void CloseForm();

    void WndProc(win::TMessage& message) override;

protected:
    void Paint() override;
    void MouseDown(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void MouseUp(win::TMouseButton button, win::TShiftState shift, int x, int y) override;
    void MouseMove(win::TShiftState shift, int x, int y) override;
    void MouseLeave() override;
    void DblClick() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void Resize() override;

private:
    friend class TsuiTitleBarButton;
    void ApplyFileTheme();
    void ApplyBuiltIn(TsuiUIStyle style);
    void SetSection(std::int32_t index, win::TBitmap* picture, TsuiTitleBarAlign align, bool autoSize,
                    bool capSec);
    void FitHeight();
    void ButtonClicked(std::int32_t index);
    void LoadButtonStrip(win::TBitmap& strip);
    void DrawCaption(win::TCanvas& canvas, int left, int right, int sectionRight);
    int ButtonsWidth() const;
    bool Designing() const { return ComponentState().Contains(rtl::csDesigning); }
    bool FormMaximized();
    // The frame whose title bar this is, when it skins its form.
    TsuiForm* Frame() const;
    int ImageWidth();

    bool custom_ = false;
    TsuiFileTheme* fileTheme_ = nullptr;  // not owned
    TsuiUIStyle uiStyle_ = DeepBlue;
    bool autoSize_ = false;
    std::unique_ptr<TsuiTitleBarSections> sections_;
    std::unique_ptr<TsuiTitleBarButtons> buttons_;
    std::int32_t buttonInterval_ = 0;
    std::string caption_;
    bool formActive_ = true;
    std::int32_t leftBtnXOffset_ = 0;
    std::int32_t rightBtnXOffset_ = 0;
    bool drawAppIcon_ = true;
    std::int32_t roundCorner_ = 0;
    std::int32_t roundCornerBottom_ = 0;

    std::unique_ptr<win::TBitmap> titleImage_;
    std::unique_ptr<win::TBitmap> regionImage_;
    TsuiTitleBarPopupMenu* systemMenu_ = nullptr;  // owned as a component
    std::unique_ptr<win::TBitmap> strip_;          // the style's 18 button pieces
    std::int32_t pressedIndex_ = -1;
    bool releasing_ = false;
    std::int32_t hotIndex_ = -1;
    std::int32_t buttonHeight_ = 0;
    std::int32_t buttonTop_ = 2;
    bool fiveSections_ = false;
    win::TColor transColor_ = win::clFuchsia;
    win::TColor formColor_ = win::clBtnFace;
    win::TColor captionColor_ = win::clWhite;
    std::int32_t captionTop_ = -1;
    std::string shownCaption_;
    win::TColor shownCaptionColor_ = win::clWhite;
    win::TRect captionRect_;
};

// The longest prefix of `text` (one character at least) followed by "..." that `measure` says
// fits in `maxWidth`; the whole text when it fits; "..." alone, or nothing, when not even one
// character and "..." fit. Always ends, whatever `measure` answers.
std::string ElideCaption(const std::string& text, int maxWidth,
                         const std::function<int(const std::string&)>& measure);
// The caption colour to draw with on `background`: `wanted` when its contrast ratio there is at
// least 3:1, else black or white, whichever stands out more.
win::TColor ReadableCaptionColor(win::TColor wanted, COLORREF background);

}  // namespace skin
