// Standard controls: label, button, check box, edit, memo, combo box, scroll bar and group box.
#pragma once

#include "platform/rtl/Lists.h"
#include "platform/win/Controls.h"

#include <memory>

namespace win {

enum TTextLayout { tlTop, tlCenter, tlBottom };
RTL_ENUM_INFO(TTextLayout, "tlTop", "tlCenter", "tlBottom")

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
RTL_ENUM_INFO(TScrollStyle, "ssNone", "ssHorizontal", "ssVertical", "ssBoth")

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
RTL_ENUM_INFO(TComboBoxStyle, "csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed",
              "csOwnerDrawVariable")

enum TScrollBarKind { sbHorizontal, sbVertical };
RTL_ENUM_INFO(TScrollBarKind, "sbHorizontal", "sbVertical")

enum TScrollCode {
    scLineUp,
    scLineDown,
    scPageUp,
    scPageDown,
    scPosition,
    scTrack,
    scTop,
    scBottom,
    scEndScroll
};
RTL_ENUM_INFO(TScrollCode, "scLineUp", "scLineDown", "scPageUp", "scPageDown", "scPosition", "scTrack",
              "scTop", "scBottom", "scEndScroll")

enum TOwnerDrawStateFlag {
    odSelected,
    odGrayed,
    odDisabled,
    odChecked,
    odFocused,
    odDefault,
    odComboBoxEdit
};
using TOwnerDrawState = rtl::TSet<TOwnerDrawStateFlag>;
TOwnerDrawState OwnerDrawStateFromItemState(UINT itemState);

using TScrollEvent = rtl::TEvent<void(rtl::TObject* Sender, TScrollCode ScrollCode, std::int32_t& ScrollPos)>;
using TDrawItemEvent =
    rtl::TEvent<void(TWinControl* Control, std::int32_t Index, TRect Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = rtl::TEvent<void(TWinControl* Control, std::int32_t Index, std::int32_t& Height)>;

// A text painted by its parent. With AutoSize the label takes the size of its text
// (keeping its width when WordWrap is on).
class TCustomLabel : public TGraphicControl {
    RTL_DECLARE_CLASS(TCustomLabel, TGraphicControl)

public:
    explicit TCustomLabel(rtl::TComponent* owner);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v) { rtl::SetAndNotify(alignment_, v, this, &Self::Invalidate); }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v) { rtl::SetAndNotify(autoSize_, v, this, &Self::AdjustSize); }
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout v) { rtl::SetAndNotify(layout_, v, this, &Self::Invalidate); }
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool v) { rtl::SetAndNotify(showAccelChar_, v, this, &Self::TextShapeChanged); }
    bool Transparent() const { return !controlStyle_.Contains(csOpaque); }
    void SetTransparent(bool v);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v) { rtl::SetAndNotify(wordWrap_, v, this, &Self::TextShapeChanged); }

protected:
    void Paint() override;
    void AdjustSize() override;
    void Loaded() override;
    // DrawText flags for the current alignment, layout, wrapping and prefix settings.
    UINT DrawTextFlags() const;
    // Draws (or with DT_CALCRECT measures) the caption; a disabled label is embossed.
    virtual void DoDrawText(TRect& rect, UINT flags);

private:
    // The text takes another size: fit the label to it and draw it again.
    void TextShapeChanged()
    {
        AdjustSize();
        Invalidate();
    }

    TAlignment alignment_ = taLeftJustify;
    bool autoSize_ = true;
    TTextLayout layout_ = tlTop;
    bool showAccelChar_ = true;
    bool wordWrap_ = false;
};

class TLabel : public TCustomLabel {
    RTL_DECLARE_CLASS(TLabel, TCustomLabel)

public:
    explicit TLabel(rtl::TComponent* owner) : TCustomLabel(owner) {}
};

// Base of controls over a standard window class that report clicks through WM_COMMAND.
class TButtonControl : public TWinControl {
    RTL_DECLARE_CLASS(TButtonControl, TWinControl)

public:
    explicit TButtonControl(rtl::TComponent* owner);
};

class TButton : public TButtonControl {
    RTL_DECLARE_CLASS(TButton, TButtonControl)

public:
    explicit TButton(rtl::TComponent* owner);

    bool Cancel() const { return cancel_; }
    void SetCancel(bool v) { cancel_ = v; }
    bool Default() const { return default_; }
    void SetDefault(bool v);
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult v) { modalResult_ = v; }

    // Sets the parent form's ModalResult when ModalResult is not mrNone, then OnClick.
    void Click() override;
    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    // Shows the button as the one Enter presses (the focused button or the Default one).
    virtual void SetButtonStyle(bool isDefault);
    bool IsDefaultShown() const { return active_; }

private:
    bool cancel_ = false;
    bool default_ = false;
    bool active_ = false;
    TModalResult modalResult_ = mrNone;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
RTL_ENUM_INFO(TCheckBoxState, "cbUnchecked", "cbChecked", "cbGrayed")

// A check box over the system button. The control keeps the state itself, so a click moves it
// unchecked -> checked -> unchecked (through grayed when AllowGrayed). Every change of State,
// by the user or by code, fires OnClick once; reading a description fires nothing.
class TCustomCheckBox : public TButtonControl {
    RTL_DECLARE_CLASS(TCustomCheckBox, TButtonControl)

public:
    explicit TCustomCheckBox(rtl::TComponent* owner);

    // taLeftJustify puts the caption left of the box; the default keeps it on the right.
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v) { rtl::SetAndNotify(alignment_, v, this, &Self::RecreateWnd); }
    bool AllowGrayed = false;
    TCheckBoxState State() const { return state_; }
    void SetState(TCheckBoxState v);
    bool Checked() const { return state_ == cbChecked; }
    void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }

    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    // The state a click moves to.
    virtual void Toggle();

private:
    TAlignment alignment_ = taRightJustify;
    TCheckBoxState state_ = cbUnchecked;
};

class TCheckBox : public TCustomCheckBox {
    RTL_DECLARE_CLASS(TCheckBox, TCustomCheckBox)

public:
    explicit TCheckBox(rtl::TComponent* owner) : TCustomCheckBox(owner) {}
};

// Single-line edit.
class TCustomEdit : public TWinControl {
    RTL_DECLARE_CLASS(TCustomEdit, TWinControl)

public:
    explicit TCustomEdit(rtl::TComponent* owner);

    TBorderStyle BorderStyle() const { return BorderStyleProp(); }
    void SetBorderStyle(TBorderStyle v) { ChangeBorderStyle(v); }
    std::int32_t MaxLength() const { return maxLength_; }
    void SetMaxLength(std::int32_t v);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char v);
    bool Modified();
    void SetModified(bool v);
    std::int32_t SelStart();
    void SetSelStart(std::int32_t v);
    std::int32_t SelLength();
    void SetSelLength(std::int32_t v);
    std::string SelText();
    void SetSelText(const std::string& v);
    void SelectAll();
    void Clear() { SetText(""); }

    rtl::TNotifyEvent OnChange;
    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    virtual void Change() { OnChange(this); }

private:
    std::int32_t maxLength_ = 0;
    bool readOnly_ = false;
    char passwordChar_ = 0;
};

class TEdit : public TCustomEdit {
    RTL_DECLARE_CLASS(TEdit, TCustomEdit)

public:
    explicit TEdit(rtl::TComponent* owner) : TCustomEdit(owner) {}
};

class TCustomMemo;

// The memo's lines as a string list: reading and changing it reads and changes the text
// of the control (CR LF between lines, none after the last).
class TMemoStrings : public rtl::TStrings {
public:
    explicit TMemoStrings(TCustomMemo& memo) : memo_(memo) {}
    std::int32_t Count() const override;
    std::string Get(std::int32_t index) const override;
    // A new last line goes through the memo's AppendLine while it has a window.
    std::int32_t Add(const std::string& s) override;
    void Put(std::int32_t index, const std::string& s) override;
    void Insert(std::int32_t index, const std::string& s) override;
    void Delete(std::int32_t index) override;
    void Clear() override;
    void SetText(const std::string& text) override;

private:
    std::vector<std::string> Split() const;
    void Join(const std::vector<std::string>& lines);

    TCustomMemo& memo_;  // not owned: the memo owns this list
};

class TCustomMemo : public TCustomEdit {
    RTL_DECLARE_CLASS(TCustomMemo, TCustomEdit)

public:
    explicit TCustomMemo(rtl::TComponent* owner);

    rtl::TStrings* Lines() const { return lines_.get(); }
    void SetLines(rtl::TStrings* v);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle v) { rtl::SetAndNotify(scrollBars_, v, this, &Self::RecreateWnd); }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool v) { rtl::SetAndNotify(wordWrap_, v, this, &Self::RecreateWnd); }
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v) { rtl::SetAndNotify(alignment_, v, this, &Self::RecreateWnd); }
    bool WantReturns = true;
    bool WantTabs = false;

    // Adds `line` after the last line and returns its index, as Lines()->Add does. With a window,
    // lines added in a burst reach it together, within 40 ms or at the next message the window
    // gets, whichever comes first: every write into a visible edit with scroll bars redraws the
    // bars, which costs far more than the write, so a log of tens of thousands of lines would
    // fall behind. Anything that reads or changes the text sees the lines already added.
    std::int32_t AppendLine(const std::string& line);
    // Writes the lines AppendLine kept back; nothing when there are none.
    void FlushLines();

    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void DestroyWnd() override;
    // After lines kept back by AppendLine reached the window.
    virtual void LinesFlushed() {}

private:
    // Straight to the system edit, past WndProc, so nothing kept back is written first.
    LRESULT EditCall(UINT msg, WPARAM wParam, LPARAM lParam);

    std::unique_ptr<TMemoStrings> lines_;
    std::string pending_;            // kept-back text, line breaks included
    std::int32_t pendingCount_ = 0;  // lines as Lines() counts them, kept-back ones included
    bool pendingTailOpen_ = false;   // the text ends inside a line, so a new one needs a break
    DWORD lastFlush_ = 0;
    TScrollStyle scrollBars_ = ssNone;
    bool wordWrap_ = true;
    TAlignment alignment_ = taLeftJustify;
};

class TMemo : public TCustomMemo {
    RTL_DECLARE_CLASS(TMemo, TCustomMemo)

public:
    explicit TMemo(rtl::TComponent* owner) : TCustomMemo(owner) {}
};

class TCustomComboBox;

// The items of a combo box. The list lives here and is mirrored into the window, so it
// survives recreation of the window.
class TComboBoxStrings : public rtl::TStringList {
public:
    explicit TComboBoxStrings(TCustomComboBox& combo) : combo_(combo) {}
    void Put(std::int32_t index, const std::string& s) override;
    void Insert(std::int32_t index, const std::string& s) override;
    void InsertObject(std::int32_t index, const std::string& s, rtl::TObject* object) override;
    std::int32_t Add(const std::string& s) override;
    std::int32_t AddObject(const std::string& s, rtl::TObject* object) override;
    void Delete(std::int32_t index) override;
    void Clear() override;
    void Exchange(std::int32_t index1, std::int32_t index2) override;
    void Move(std::int32_t curIndex, std::int32_t newIndex) override;

private:
    TCustomComboBox& combo_;  // not owned: the combo box owns this list
};

class TCustomComboBox : public TWinControl {
    RTL_DECLARE_CLASS(TCustomComboBox, TWinControl)

public:
    explicit TCustomComboBox(rtl::TComponent* owner);
    ~TCustomComboBox() override;

    rtl::TStrings* Items() const { return items_.get(); }
    void SetItems(rtl::TStrings* v);
    // -1 when nothing is selected; out-of-range values select nothing.
    std::int32_t ItemIndex();
    void SetItemIndex(std::int32_t v);
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle v) { rtl::SetAndNotify(style_, v, this, &Self::RecreateWnd); }
    std::int32_t DropDownCount = 8;
    std::int32_t ItemHeight();
    void SetItemHeight(std::int32_t v);
    std::int32_t MaxLength() const { return maxLength_; }
    void SetMaxLength(std::int32_t v);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool v);
    bool AutoComplete = true;
    bool DroppedDown();
    void SetDroppedDown(bool v);
    // The combo box's own edit window (csDropDown, csSimple), or nullptr.
    HWND EditHandle();

    void Clear();

    // Key events of the edit part and completion of typed text from the items. Called by the
    // edit window's procedure; true when the key was swallowed.
    bool EditKey(TMessage& message);
    void CompleteTyped(char typed);

    rtl::TNotifyEvent OnChange;
    rtl::TNotifyEvent OnSelect;
    rtl::TNotifyEvent OnDropDown;
    rtl::TNotifyEvent OnCloseUp;
    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;

    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Loaded() override;
    virtual void Change() { OnChange(this); }
    // OnSelect when assigned, else OnChange.
    virtual void Select();
    virtual void DrawItem(std::int32_t index, TRect rect, TOwnerDrawState state);
    virtual void MeasureItem(std::int32_t index, std::int32_t& height) { OnMeasureItem(this, index, height); }

private:
    friend class TComboBoxStrings;

    std::unique_ptr<TComboBoxStrings> items_;
    std::int32_t itemIndex_ = -1;  // while there is no window
    TComboBoxStyle style_ = csDropDown;
    std::int32_t itemHeight_ = 16;
    std::int32_t maxLength_ = 0;
    bool sorted_ = false;
    TCanvas canvas_;
};

class TComboBox : public TCustomComboBox {
    RTL_DECLARE_CLASS(TComboBox, TCustomComboBox)

public:
    explicit TComboBox(rtl::TComponent* owner) : TCustomComboBox(owner) {}
};

class TScrollBar : public TWinControl {
    RTL_DECLARE_CLASS(TScrollBar, TWinControl)

public:
    explicit TScrollBar(rtl::TComponent* owner);

    TScrollBarKind Kind() const { return kind_; }
    void SetKind(TScrollBarKind v) { rtl::SetAndNotify(kind_, v, this, &Self::TurnOver); }
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t v) { SetParams(position_, v, max_); }
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t v) { SetParams(position_, min_, v); }
    std::int32_t Position() const { return position_; }
    void SetPosition(std::int32_t v) { SetParams(v, min_, max_); }
    std::int32_t PageSize() const { return pageSize_; }
    void SetPageSize(std::int32_t v);
    std::int32_t SmallChange = 1;
    std::int32_t LargeChange = 1;
    // Raises rtl::EInvalidOperation "Scroll bar property out of range" when max < min.
    void SetParams(std::int32_t position, std::int32_t min, std::int32_t max);

    rtl::TNotifyEvent OnChange;
    TScrollEvent OnScroll;
    void WndProc(TMessage& message) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    virtual void Change() { OnChange(this); }
    virtual void Scroll(TScrollCode code, std::int32_t& pos) { OnScroll(this, code, pos); }

private:
    void UpdateWindow();

    TScrollBarKind kind_ = sbHorizontal;
    std::int32_t min_ = 0, max_ = 100, position_ = 0, pageSize_ = 0;
};

// A captioned etched frame that holds other controls.
class TCustomGroupBox : public TCustomControl {
    RTL_DECLARE_CLASS(TCustomGroupBox, TCustomControl)

public:
    explicit TCustomGroupBox(rtl::TComponent* owner);

protected:
    void Paint() override;
    // Aligned children stay inside the frame, below the caption.
    void AlignControls(TControl* control, TRect& rect) override;

private:
    int CaptionHeight();
};

class TGroupBox : public TCustomGroupBox {
    RTL_DECLARE_CLASS(TGroupBox, TCustomGroupBox)

public:
    explicit TGroupBox(rtl::TComponent* owner) : TCustomGroupBox(owner) {}
};

}  // namespace win
