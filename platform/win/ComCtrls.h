// Common controls: track bar, up-down, progress bar, page control with its tab sheets, tool bar.
#pragma once

#include "platform/win/Controls.h"

#include <algorithm>
#include <vector>

namespace win {

class TMainMenu;
class TMenuItem;
class TToolBar;

enum TTrackBarOrientation { trHorizontal, trVertical };
RTL_ENUM_INFO(TTrackBarOrientation, "trHorizontal", "trVertical")

// A slider over the system track bar. Position stays within Min..Max; OnChange fires once
// for every change of Position, whether made by the user or by code.
class TTrackBar : public TWinControl {
    RTL_DECLARE_CLASS(TTrackBar, TWinControl)

public:
    explicit TTrackBar(rtl::TComponent* owner);

    TTrackBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TTrackBarOrientation v) { rtl::SetAndNotify(orientation_, v, this, &Self::TurnOver); }
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t v);
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t v);
    std::int32_t Position();
    void SetPosition(std::int32_t v);
    std::int32_t Frequency() const { return frequency_; }
    void SetFrequency(std::int32_t v);
    std::int32_t PageSize() const { return pageSize_; }
    void SetPageSize(std::int32_t v);
    std::int32_t LineSize() const { return lineSize_; }
    void SetLineSize(std::int32_t v);
    // The thumb's length across the bar; the system's own length while it is 20.
    std::int32_t ThumbLength() const { return thumbLength_; }
    void SetThumbLength(std::int32_t v);

    rtl::TNotifyEvent OnChange;
    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    virtual void Changed() { OnChange(this); }

private:
    void SyncPosition();

    TTrackBarOrientation orientation_ = trHorizontal;
    std::int32_t min_ = 0, max_ = 10, position_ = 0, frequency_ = 1, pageSize_ = 2, lineSize_ = 1;
    std::int32_t thumbLength_ = 20;
};

enum TUDAlignButton { udLeft, udRight };
RTL_ENUM_INFO(TUDAlignButton, "udLeft", "udRight")
enum TUDOrientation { udHorizontal, udVertical };
RTL_ENUM_INFO(TUDOrientation, "udHorizontal", "udVertical")
enum TUDBtnType { btNext, btPrev };
RTL_ENUM_INFO(TUDBtnType, "btNext", "btPrev")

using TUDClickEvent = rtl::TEvent<void(rtl::TObject* Sender, TUDBtnType Button)>;
using TUDChangingEvent = rtl::TEvent<void(rtl::TObject* Sender, bool& AllowChange)>;

// A pair of arrows over the system up-down control. With an associated control (an edit) the
// arrows sit at its side and write Position into its text; Position reads the text back, so a
// number typed into the edit is where the next click starts.
class TUpDown : public TWinControl {
    RTL_DECLARE_CLASS(TUpDown, TWinControl)

public:
    explicit TUpDown(rtl::TComponent* owner);

    TWinControl* Associate() const { return associate_; }
    void SetAssociate(TWinControl* v);
    TUDAlignButton AlignButton() const { return alignButton_; }
    void SetAlignButton(TUDAlignButton v) { rtl::SetAndNotify(alignButton_, v, this, &Self::RecreateWnd); }
    TUDOrientation Orientation() const { return orientation_; }
    void SetOrientation(TUDOrientation v) { rtl::SetAndNotify(orientation_, v, this, &Self::RecreateWnd); }
    // Min may be above Max: the arrows then count down.
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t v);
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t v);
    std::int32_t Position();
    void SetPosition(std::int32_t v);
    std::int32_t Increment() const { return increment_; }
    void SetIncrement(std::int32_t v);
    bool Wrap() const { return wrap_; }
    void SetWrap(bool v) { rtl::SetAndNotify(wrap_, v, this, &Self::RecreateWnd); }
    bool Thousands() const { return thousands_; }
    void SetThousands(bool v) { rtl::SetAndNotify(thousands_, v, this, &Self::RecreateWnd); }
    bool ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(bool v) { rtl::SetAndNotify(arrowKeys_, v, this, &Self::RecreateWnd); }

    // Before a click moves Position; clearing AllowChange keeps it.
    TUDChangingEvent OnChanging;
    // After a click moved Position.
    TUDClickEvent OnClick;

    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void Loaded() override;

private:
    void SendRange();
    void SendIncrement();
    // The associate's window, or none.
    void SendAssociate();

    TWinControl* associate_ = nullptr;  // not owned
    TUDAlignButton alignButton_ = udRight;
    TUDOrientation orientation_ = udVertical;
    std::int32_t min_ = 0, max_ = 100, position_ = 0, increment_ = 1;
    bool wrap_ = false;
    bool thousands_ = true;
    bool arrowKeys_ = true;
};

enum TProgressBarOrientation { pbHorizontal, pbVertical };
RTL_ENUM_INFO(TProgressBarOrientation, "pbHorizontal", "pbVertical")

// A bar over the system progress control; Position stays within Min..Max.
class TProgressBar : public TWinControl {
    RTL_DECLARE_CLASS(TProgressBar, TWinControl)

public:
    explicit TProgressBar(rtl::TComponent* owner);

    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t v);
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t v);
    std::int32_t Position() const { return position_; }
    void SetPosition(std::int32_t v);
    std::int32_t Step() const { return step_; }
    void SetStep(std::int32_t v) { step_ = v; }
    TProgressBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TProgressBarOrientation v)
    {
        rtl::SetAndNotify(orientation_, v, this, &Self::TurnOver);
    }
    bool Smooth() const { return smooth_; }
    void SetSmooth(bool v) { rtl::SetAndNotify(smooth_, v, this, &Self::RecreateWnd); }
    void StepIt() { StepBy(step_); }
    // Stops at Min or Max, however far the step would go.
    void StepBy(std::int32_t delta);

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;

private:
    void SendRange();

    std::int32_t min_ = 0, max_ = 100, position_ = 0, step_ = 10;
    TProgressBarOrientation orientation_ = pbHorizontal;
    bool smooth_ = false;
};

class TPageControl;

// One page of a page control: a container shown while it is the active page. Its caption is
// its tab's text; a page whose TabVisible is false has no tab and cannot be chosen by the user.
class TTabSheet : public TCustomControl {
    RTL_DECLARE_CLASS(TTabSheet, TCustomControl)

public:
    explicit TTabSheet(rtl::TComponent* owner);
    ~TTabSheet() override;

    TPageControl* PageControl() const { return pageControl_; }
    // Moves the page to the end of another control's pages (nullptr takes it off).
    void SetPageControl(TPageControl* v);
    // The page's place among all pages, -1 without a page control.
    std::int32_t PageIndex() const;
    void SetPageIndex(std::int32_t v);
    bool TabVisible() const { return tabVisible_; }
    void SetTabVisible(bool v);
    // The place of the page's tab among the shown tabs, -1 when it has none.
    std::int32_t TabIndex() const;

    void SetParentComponent(rtl::TComponent* parent) override;
    void WndProc(TMessage& message) override;

protected:
    void Paint() override;

private:
    friend class TPageControl;
    TPageControl* pageControl_ = nullptr;  // not owned: the page control is the parent
    bool tabVisible_ = true;
};

using TTabChangingEvent = rtl::TEvent<void(rtl::TObject* Sender, bool& AllowChange)>;

// Tabs over the system tab control, one per page whose TabVisible is set, each showing its page
// in the display area. Choosing a tab (mouse or keys) fires OnChanging, which may refuse, then
// makes the page active and fires OnChange; setting ActivePage from code fires neither.
class TPageControl : public TWinControl {
    RTL_DECLARE_CLASS(TPageControl, TWinControl)

public:
    explicit TPageControl(rtl::TComponent* owner);
    ~TPageControl() override;

    std::int32_t PageCount() const { return static_cast<std::int32_t>(pages_.size()); }
    // Raises rtl::EListError for an index out of range.
    TTabSheet* Pages(std::int32_t index) const;
    TTabSheet* ActivePage() const { return activePage_; }
    // A page of another control is ignored; nullptr shows no page.
    void SetActivePage(TTabSheet* v);
    std::int32_t ActivePageIndex() const;
    void SetActivePageIndex(std::int32_t v);
    // The next page after `current` (wrapping; from the start for nullptr), with a tab when
    // checkTabVisible; nullptr when there is none.
    TTabSheet* FindNextPage(TTabSheet* current, bool goForward, bool checkTabVisible) const;
    // Moves to the next page with a tab as the user would: OnChanging, then OnChange.
    void SelectNextPage(bool goForward);
    // Where the pages go, in the control's client coordinates.
    TRect DisplayRect();

    rtl::TNotifyEvent OnChange;
    TTabChangingEvent OnChanging;

    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void Loaded() override;
    void AlignControls(TControl* control, TRect& rect) override;
    virtual bool CanChange();
    virtual void Change() { OnChange(this); }

private:
    friend class TTabSheet;
    void InsertPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    // Builds the tabs again from the pages and selects the active page's tab.
    void UpdateTabs();
    void ShowActivePage();
    // The active page is going or losing its tab: the next page with a tab becomes active, or none.
    void PassOnActivePage();
    // The user chose another page: true when it changed.
    bool ChangeActivePage(TTabSheet* page);

    std::vector<TTabSheet*> pages_;    // not owned: children of this control
    TTabSheet* activePage_ = nullptr;  // not owned
};

enum TEdgeBorder { ebLeft, ebTop, ebRight, ebBottom };
RTL_ENUM_INFO(TEdgeBorder, "ebLeft", "ebTop", "ebRight", "ebBottom")
using TEdgeBorders = rtl::TSet<TEdgeBorder>;

enum TCustomDrawStateFlag {
    cdsSelected,
    cdsGrayed,
    cdsDisabled,
    cdsChecked,
    cdsFocused,
    cdsDefault,
    cdsHot,
    cdsMarked,
    cdsIndeterminate
};
RTL_ENUM_INFO(TCustomDrawStateFlag, "cdsSelected", "cdsGrayed", "cdsDisabled", "cdsChecked", "cdsFocused",
              "cdsDefault", "cdsHot", "cdsMarked", "cdsIndeterminate")
using TCustomDrawState = rtl::TSet<TCustomDrawStateFlag>;

enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };
RTL_ENUM_INFO(TToolButtonStyle, "tbsButton", "tbsCheck", "tbsDropDown", "tbsSeparator", "tbsDivider")

class TToolButton;
using TTBCustomDrawBtnEvent =
    rtl::TEvent<void(TToolBar* Sender, TToolButton* Button, TCustomDrawState State, bool& DefaultDraw)>;

// A button on a tool bar, painted by the bar. A button standing for a menu item shows the
// item's sub-items as a menu below itself when clicked, or runs the item when it has none.
class TToolButton : public TGraphicControl {
    RTL_DECLARE_CLASS(TToolButton, TGraphicControl)

public:
    explicit TToolButton(rtl::TComponent* owner);
    ~TToolButton() override;

    bool Down() const { return down_; }
    void SetDown(bool v);
    bool Grouped = false;
    TToolButtonStyle Style() const { return style_; }
    void SetStyle(TToolButtonStyle v);
    TMenuItem* MenuItem() const { return menuItem_; }
    void SetMenuItem(TMenuItem* v);
    std::int32_t ImageIndex = -1;
    // The state the bar draws: hot under the mouse, selected while pressed or down.
    TCustomDrawState DrawState() const;
    TToolBar* ToolBar() const;

    void SetParent(TWinControl* parent) override;
    void Click() override;

protected:
    void Paint() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    friend class TToolBar;
    bool down_ = false;
    bool pressed_ = false;
    TToolButtonStyle style_ = tbsButton;
    TMenuItem* menuItem_ = nullptr;  // not owned
};

// A row of buttons that wraps onto more rows when Wrapable and the width runs out. With
// ShowCaptions each button is as wide as its caption (at least ButtonWidth). Setting Menu
// makes one grouped button per top-level item of the menu, replacing earlier menu buttons.
class TToolBar : public TCustomControl {
    RTL_DECLARE_CLASS(TToolBar, TCustomControl)

public:
    explicit TToolBar(rtl::TComponent* owner);
    ~TToolBar() override;

    // At least 1.
    std::int32_t ButtonHeight() const { return buttonHeight_; }
    void SetButtonHeight(int v) { rtl::SetAndNotify(buttonHeight_, std::max(v, 1), this, &Self::Rearrange); }
    std::int32_t ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int v) { rtl::SetAndNotify(buttonWidth_, std::max(v, 1), this, &Self::Rearrange); }
    bool Flat() const { return flat_; }
    void SetFlat(bool v) { rtl::SetAndNotify(flat_, v, this, &Self::Invalidate); }
    TEdgeBorders EdgeBorders() const { return edgeBorders_; }
    void SetEdgeBorders(TEdgeBorders v) { rtl::SetAndNotify(edgeBorders_, v, this, &Self::Rearrange); }
    bool ShowCaptions() const { return showCaptions_; }
    void SetShowCaptions(bool v) { rtl::SetAndNotify(showCaptions_, v, this, &Self::Rearrange); }
    bool Wrapable() const { return wrapable_; }
    void SetWrapable(bool v) { rtl::SetAndNotify(wrapable_, v, this, &Self::Rearrange); }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) { rtl::SetAndNotify(autoSize_, v, this, &Self::Rearrange); }
    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* v);

    std::int32_t ButtonCount() const { return static_cast<std::int32_t>(buttons_.size()); }
    TToolButton* Buttons(std::int32_t index) const;
    // Places the buttons again (after captions or sizes changed).
    void ArrangeButtons();
    // Shows the menu of a menu button below it.
    void TrackMenu(TToolButton* button);
    // The default look of a button: flat bars raise the hot button and sink the pressed one.
    virtual void DrawButton(TCanvas& canvas, TToolButton* button, TCustomDrawState state);

    TTBCustomDrawBtnEvent OnCustomDrawButton;

protected:
    void Paint() override;
    void Resize() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void Loaded() override;
    TRect ButtonArea();

private:
    friend class TToolButton;
    // After a change of what the buttons are placed by.
    void Rearrange()
    {
        ArrangeButtons();
        Invalidate();
    }
    void AddButton(TToolButton* button);
    void RemoveButton(TToolButton* button);
    void PaintButton(TToolButton* button);
    std::int32_t ButtonWidthFor(TToolButton* button);

    std::int32_t buttonHeight_ = 22;
    std::int32_t buttonWidth_ = 23;
    bool flat_ = false;
    TEdgeBorders edgeBorders_{ebTop};
    bool showCaptions_ = false;
    bool wrapable_ = true;
    bool autoSize_ = false;
    bool arranging_ = false;
    TMainMenu* menu_ = nullptr;              // not owned
    std::vector<TToolButton*> buttons_;      // not owned: children of the bar
    std::vector<TToolButton*> menuButtons_;  // owned by the bar: made for Menu
};

}  // namespace win
