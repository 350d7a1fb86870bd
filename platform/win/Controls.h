// Control classes: TControl, TWinControl over a real window, and the two painted bases
// TCustomControl and TGraphicControl.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/win/Graphics.h"
#include "platform/win/Messages.h"
#include "platform/rtl/Win32.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace win {

class TWinControl;
class TPopupMenu;
class TCustomForm;
class TAction;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
RTL_ENUM_INFO(TAlign, "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom")

enum TMouseButton { mbLeft, mbRight, mbMiddle };
RTL_ENUM_INFO(TMouseButton, "mbLeft", "mbRight", "mbMiddle")

enum TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
RTL_ENUM_INFO(TShiftStateFlag, "ssShift", "ssAlt", "ssCtrl", "ssLeft", "ssRight", "ssMiddle", "ssDouble")
using TShiftState = rtl::TSet<TShiftStateFlag>;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
RTL_ENUM_INFO(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
RTL_ENUM_INFO(TBevelCut, "bvNone", "bvLowered", "bvRaised", "bvSpace")

enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
RTL_ENUM_INFO(TBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin")

// The reading order of a control: left to right; right to left with the text aligned to the right
// and the vertical scroll bar at the left; right to left with the scroll bar at the left but the
// alignment as set; right-to-left reading alone. Only a right-to-left locale honours them.
enum TBiDiMode { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
RTL_ENUM_INFO(TBiDiMode, "bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly")

// Whether the system's locale reads right to left (its controls are mirrored): only then does a
// BiDiMode other than bdLeftToRight change anything. Read from the system when first asked; a
// change reaches the windows made afterwards.
bool RightToLeftLocale();
void SetRightToLeftLocale(bool v);

using TCursor = std::int32_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;

using TModalResult = std::int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = IDOK;
inline constexpr TModalResult mrCancel = IDCANCEL;
inline constexpr TModalResult mrAbort = IDABORT;
inline constexpr TModalResult mrRetry = IDRETRY;
inline constexpr TModalResult mrIgnore = IDIGNORE;
inline constexpr TModalResult mrYes = IDYES;
inline constexpr TModalResult mrNo = IDNO;
inline constexpr TModalResult mrAll = mrNo + 1;

using TMouseEvent =
    rtl::TEvent<void(rtl::TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = rtl::TEvent<void(rtl::TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = rtl::TEvent<void(rtl::TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = rtl::TEvent<void(rtl::TObject* Sender, char& Key)>;

// Behaviour flags a control class sets in its constructor.
enum TControlStyleFlag {
    csAcceptsControls,
    csCaptureMouse,
    csDesignInteractive,
    csClickEvents,
    csFramed,
    csSetCaption,
    csOpaque,
    csDoubleClicks,
    csFixedWidth,
    csFixedHeight,
    csNoDesignVisible,
    csReplicatable,
    csNoStdEvents,
    csDisplayDragImage,
    csReflector,
    csActionClient,
    csMenuEvents,
    // The border is repainted with the contents: invalidating the control repaints its frame too.
    csNeedsBorderPaint
};
using TControlStyle = rtl::TSet<TControlStyleFlag>;

enum TControlStateFlag {
    csLButtonDown,
    csClicked,
    csPalette,
    csReadingState,
    csAlignmentNeeded,
    csFocusing,
    csCreating,
    csPaintCopy,
    csCustomPaint,
    csDestroyingHandle,
    csDocking
};
using TControlState = rtl::TSet<TControlStateFlag>;

struct TCreateParams {
    std::string Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
    void* Param = nullptr;
    WNDCLASSA WindowClass{};
    std::string WinClassName;
};

// Size limits of a control; 0 means "no limit". Changing one re-applies the bounds.
class TSizeConstraints : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TSizeConstraints, rtl::TPersistent)

public:
    explicit TSizeConstraints(class TControl* control) : control_(control) {}

    // Negative values mean no limit; a maximum below its minimum pulls the minimum down, a
    // minimum above its maximum pushes the maximum up.
    std::int32_t MaxHeight() const { return maxHeight_; }
    std::int32_t MaxWidth() const { return maxWidth_; }
    std::int32_t MinHeight() const { return minHeight_; }
    std::int32_t MinWidth() const { return minWidth_; }
    void SetMaxHeight(std::int32_t v) { SetLimit(maxHeight_, v, maxHeight_, minHeight_); }
    void SetMaxWidth(std::int32_t v) { SetLimit(maxWidth_, v, maxWidth_, minWidth_); }
    void SetMinHeight(std::int32_t v) { SetLimit(minHeight_, v, maxHeight_, minHeight_); }
    void SetMinWidth(std::int32_t v) { SetLimit(minWidth_, v, maxWidth_, minWidth_); }
    // Clamps a proposed size.
    void Apply(int& width, int& height) const;
    void Assign(rtl::TPersistent* source) override;

private:
    void SetLimit(std::int32_t& limit, std::int32_t v, std::int32_t& max, std::int32_t& min);
    void Changed();

    TControl* control_;  // not owned
    std::int32_t maxHeight_ = 0, maxWidth_ = 0, minHeight_ = 0, minWidth_ = 0;
};

// A visual element placed on a windowed parent. Messages reach it through WindowProc, which
// starts as the virtual WndProc; a component may replace WindowProc to see messages first
// and then call the saved previous value.
class TControl : public rtl::TComponent {
    RTL_DECLARE_CLASS(TControl, rtl::TComponent)

public:
    explicit TControl(rtl::TComponent* owner);
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);

    std::int32_t Left() const { return left_; }
    std::int32_t Top() const { return top_; }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    void SetLeft(std::int32_t v) { SetBounds(v, top_, width_, height_); }
    void SetTop(std::int32_t v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(std::int32_t v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(std::int32_t v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
    virtual TRect ClientRect();
    std::int32_t ClientWidth() { return ClientRect().Right; }
    std::int32_t ClientHeight() { return ClientRect().Bottom; }
    virtual void SetClientWidth(std::int32_t v);
    virtual void SetClientHeight(std::int32_t v);
    virtual TPoint ClientOrigin();
    TPoint ClientToScreen(TPoint p);
    TPoint ScreenToClient(TPoint p);
    TSizeConstraints* Constraints() const { return constraints_.get(); }

    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible and every parent up to a shown window visible too.
    virtual bool Showing() const;
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool v);

    std::string Caption() { return GetText(); }
    void SetCaption(const std::string& v) { SetText(v); }
    std::string Text() { return GetText(); }
    void SetTextProp(const std::string& v) { SetText(v); }
    virtual std::string GetText();
    virtual void SetText(const std::string& v);

    TFont* Font() const { return font_.get(); }
    void SetFont(TFont* v) { font_->Assign(v); }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool v);
    TColor Color() const { return color_; }
    void SetColor(TColor v);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool v);
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor v)
    {
        rtl::SetAndNotify(cursor_, v, [this] { Perform(CM_CURSORCHANGED, 0, 0); });
    }
    std::string Hint;
    bool ShowHint = false;
    TAlign Align() const { return align_; }
    void SetAlign(TAlign v);
    TPopupMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(TPopupMenu* v);
    // Controls take their parent's mode until given their own.
    TBiDiMode BiDiMode() const { return bidiMode_; }
    void SetBiDiMode(TBiDiMode v);
    bool ParentBiDiMode() const { return parentBiDiMode_; }
    void SetParentBiDiMode(bool v);
    // What the mode asks for on a right-to-left locale (always false on others): text read right
    // to left (every mode but bdLeftToRight), text aligned to the right (bdRightToLeft), the
    // vertical scroll bar at the left (bdRightToLeft and bdRightToLeftNoAlign).
    bool UseRightToLeftReading() const;
    bool UseRightToLeftAlignment() const;
    bool UseRightToLeftScrollBar() const;
    // DrawText `flags` as the mode asks: DT_RTLREADING added, left and right alignment swapped
    // (centred text stays centred).
    UINT BiDiTextFlags(UINT flags) const;
    // The action whose Caption and Enabled the control shows; a click without an OnClick of its
    // own runs it. A change of the action's values reaches the control; a freed action leaves it
    // with the values it had.
    TAction* Action() const { return action_; }
    void SetAction(TAction* v);
    TControlStyle ControlStyle() const { return controlStyle_; }
    void SetControlStyle(TControlStyle v) { controlStyle_ = v; }
    TControlState ControlState() const { return controlState_; }
    void SetControlState(TControlState v) { controlState_ = v; }
    bool MouseInControl() const { return mouseInControl_; }
    bool IsCaptionStored() const { return controlStyle_.Contains(csSetCaption); }

    // The replaceable entry point; Perform sends through it.
    TWndMethod WindowProc;
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual void Invalidate();
    virtual void Repaint();
    virtual void Update();
    void Refresh() { Repaint(); }
    void BringToFront();
    void SendToBack();

    TCustomForm* GetParentForm() const;

    rtl::TNotifyEvent OnClick;
    rtl::TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    rtl::TNotifyEvent OnMouseEnter;
    rtl::TNotifyEvent OnMouseLeave;
    rtl::TNotifyEvent OnResize;

    virtual void Click();
    virtual void DblClick() { OnDblClick(this); }
    // Scales position, size and an own font by m/d (for a form designed at another
    // resolution); windowed controls scale their children too.
    virtual void ChangeScale(int m, int d);

    bool HasParent() const override { return true; }
    rtl::TComponent* GetParentComponent() const override;
    void SetParentComponent(rtl::TComponent* parent) override;

    // The control's own handling. Derived classes handle what they need and call the base.
    virtual void WndProc(TMessage& message);
    virtual void DefaultHandler(TMessage& message) {}

protected:
    void Loaded() override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y)
    {
        OnMouseDown(this, button, shift, x, y);
    }
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y)
    {
        OnMouseUp(this, button, shift, x, y);
    }
    virtual void MouseMove(TShiftState shift, int x, int y) { OnMouseMove(this, shift, x, y); }
    virtual void MouseEnter() { OnMouseEnter(this); }
    virtual void MouseLeave() { OnMouseLeave(this); }
    virtual void Resize() { OnResize(this); }
    virtual void FontChanged();
    // Sizes the control to its content; only called when AutoSize-like properties ask for it.
    virtual void AdjustSize() {}
    virtual void VisibleChanging() {}
    void InvalidateControl(bool isVisible, bool isOpaque);
    // The action's values reach the control: every one after the action changed, and only into
    // what still has its default (an empty caption or the control's name, Enabled true) when
    // `checkDefaults` (the action was just assigned).
    virtual void ActionChange(TAction* sender, bool checkDefaults);

    std::string& TextField() { return text_; }
    // For classes whose instances start hidden (forms) without a visibility change.
    void InitVisible(bool v) { visible_ = v; }

    TControlStyle controlStyle_;
    TControlState controlState_;

private:
    friend class TWinControl;
    friend class TAction;
    void SetParentFlag(bool& flag, bool v, UINT changedMessage);
    // Choosing a value of the control's own, even the current one, stops following the parent's.
    template <class T>
    void SetOwnValue(T& field, T v, bool& parentFlag, UINT changedMessage)
    {
        parentFlag = false;
        if (v == field)
            return;
        field = v;
        Perform(changedMessage, 0, 0);
    }
    void HandleMouseMessage(TMessage& message);
    void FontChangedHandler(rtl::TObject*);

    TWinControl* parent_ = nullptr;  // not owned
    std::int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::unique_ptr<TSizeConstraints> constraints_;
    bool visible_ = true;
    bool enabled_ = true;
    std::string text_;
    std::unique_ptr<TFont> font_;
    bool parentFont_ = true;
    TColor color_ = clWindow;
    // Controls take their parent's colour until given their own.
    bool parentColor_ = true;
    TCursor cursor_ = crDefault;
    TAlign align_ = alNone;
    TPopupMenu* popupMenu_ = nullptr;  // not owned
    TBiDiMode bidiMode_ = bdLeftToRight;
    bool parentBiDiMode_ = true;
    TAction* action_ = nullptr;  // not owned
    bool mouseInControl_ = false;
    bool changingFont_ = false;
};

// A control with a window. The window exists from the first use of Handle() until the
// control is destroyed or the window is recreated; its procedure dispatches to WindowProc.
class TWinControl : public TControl {
    RTL_DECLARE_CLASS(TWinControl, TControl)

public:
    explicit TWinControl(rtl::TComponent* owner);
    ~TWinControl() override;

    // Creates the window (and those of its parents) when needed. Throws EOSError-like
    // rtl::Exception "Error creating window" when the system refuses.
    HWND Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded();
    // Destroys the window now and creates it again at once when it was allocated; the
    // C++ object, its children and WindowProc survive.
    void RecreateWnd();
    HWND ParentWindow() const { return parentWindow_; }
    void SetParentWindow(HWND v) { parentWindow_ = v; }

    std::int32_t ControlCount() const { return static_cast<std::int32_t>(controls_.size()); }
    TControl* Controls(std::int32_t index) const;
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    bool ContainsControl(TControl* control) const;
    // The topmost visible enabled child (graphic controls included) at a client point.
    TControl* ControlAtPos(TPoint pos, bool allowDisabled = false);

    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool v);
    std::int32_t TabOrder = -1;
    virtual bool CanFocus();
    bool Focused();
    virtual void SetFocus();
    void SelectNext(TWinControl* current, bool goForward, bool checkTabStop);

    bool Showing() const override;
    TRect ClientRect() override;
    TPoint ClientOrigin() override;
    void SetBounds(int left, int top, int width, int height) override;
    std::string GetText() override;
    void SetText(const std::string& v) override;
    void Invalidate() override;
    void Repaint() override;
    void Update() override;

    void WndProc(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;
    void ChangeScale(int m, int d) override;
    // Paints the graphic children onto the parent's DC.
    void PaintControls(HDC dc, TControl* first);
    void Realign();

    TBorderStyle BorderStyleProp() const { return borderStyle_; }

    rtl::TNotifyEvent OnEnter;
    rtl::TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;

    // The control whose window `wnd` is, or nullptr.
    static TWinControl* FindControl(HWND wnd);

protected:
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    virtual void CreateWindowHandle(const TCreateParams& params);
    virtual void DestroyWnd();
    virtual void DestroyWindowHandle();
    void CreateHandle();
    void DestroyHandle();
    // Replaces the class procedure of a standard window class ("BUTTON", "EDIT"...) with ours;
    // the standard one stays the default handler.
    void CreateSubClass(TCreateParams& params, const char* controlClassName);
    virtual void PaintWindow(HDC dc);
    virtual void PaintHandler(TMessage& message);
    virtual void AlignControls(TControl* control, TRect& rect);
    virtual void KeyDown(std::uint16_t& key, TShiftState shift) { OnKeyDown(this, key, shift); }
    virtual void KeyUp(std::uint16_t& key, TShiftState shift) { OnKeyUp(this, key, shift); }
    virtual void KeyPress(char& key) { OnKeyPress(this, key); }
    virtual void DoEnter() { OnEnter(this); }
    virtual void DoExit() { OnExit(this); }
    void Loaded() override;
    // Key events (the form's KeyPreview first); true when a handler swallowed the key. The
    // message's WParam carries the key or character a handler put in its place.
    bool DoKey(TMessage& message, void (TWinControl::*handler)(std::uint16_t&, TShiftState));
    bool DoKeyDown(TMessage& message);
    bool DoKeyUp(TMessage& message);
    bool DoKeyPress(TMessage& message);
    void UpdateShowing();
    void SetBorderStyleValue(TBorderStyle v) { borderStyle_ = v; }
    // A border style the window is made with: the window is made again.
    void ChangeBorderStyle(TBorderStyle v) { rtl::SetAndNotify(borderStyle_, v, this, &Self::RecreateWnd); }
    // Turns the control on its side after its orientation changed: width and height swap,
    // except while a description is read, and the window is made again.
    void TurnOver();

    WNDPROC defWndProc_ = nullptr;  // the class procedure default handling calls

private:
    friend class TControl;
    friend LRESULT CALLBACK StdWndProc(HWND, UINT, WPARAM, LPARAM);
    void Attach(HWND wnd);
    void Detach();
    bool ReflectNotification(TMessage& message);
    HBRUSH BackgroundBrush();
    void HandleSetCursor(TMessage& message);

    HWND handle_ = nullptr;            // destroyed by DestroyHandle
    HWND parentWindow_ = nullptr;      // not owned
    std::vector<TControl*> controls_;  // children; destroyed with this control
    bool tabStop_ = false;
    TBorderStyle borderStyle_ = bsNone;
    std::uint16_t ctlId_ = 0;
    bool aligning_ = false;
    OwnedBrush brush_;
    TColor brushColor_ = clNone;
};

// A windowed control that paints itself through Canvas in Paint.
class TCustomControl : public TWinControl {
    RTL_DECLARE_CLASS(TCustomControl, TWinControl)

public:
    explicit TCustomControl(rtl::TComponent* owner);
    ~TCustomControl() override;
    TCanvas* Canvas() const { return canvas_.get(); }

protected:
    virtual void Paint() {}
    void PaintWindow(HDC dc) override;
    void DestroyWnd() override;
    // Gives back a window DC the canvas took outside painting, before the canvas is pointed
    // at another DC.
    void ReleaseCanvasHandle();

private:
    std::unique_ptr<TCanvas> canvas_;
};

// A windowless control painted by its parent; mouse messages reach it through the parent.
class TGraphicControl : public TControl {
    RTL_DECLARE_CLASS(TGraphicControl, TControl)

public:
    explicit TGraphicControl(rtl::TComponent* owner);
    ~TGraphicControl() override;
    TCanvas* Canvas() const { return canvas_.get(); }
    void WndProc(TMessage& message) override;

protected:
    virtual void Paint() {}

private:
    std::unique_ptr<TCanvas> canvas_;
};

// Integer types whose form text may be a name: cursors ("crHandPoint") and modal results
// ("mrOk"). A class table gives them to a property with .Type().
const rtl::TTypeInfo& CursorTypeInfo();
const rtl::TTypeInfo& ModalResultTypeInfo();

// The shift state of a mouse message's wParam, or of the keyboard now.
TShiftState KeysToShiftState(WPARAM keys);
TShiftState KeyboardStateToShiftState();

// The control that has the mouse captured (graphic controls included), or nullptr.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* control);

// Gives back the window DCs that control canvases took outside painting; the message loop
// calls it when idle.
void FreeDeviceContexts();

// A hidden window whose messages go to `method`; DeallocateHWnd destroys it.
HWND AllocateHWnd(TWndMethod method);
void DeallocateHWnd(HWND wnd);

}  // namespace win
