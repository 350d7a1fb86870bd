// Common controls: the track bar.
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
