// Control classes: message routing from the window procedure to WindowProc, geometry,
// parenting, painting of graphic children, mouse tracking and keyboard events.
#include "platform/win/Controls.h"

#include "platform/win/Actions.h"
#include "platform/win/Forms.h"
#include "platform/win/Menus.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/Strings.h"

#include <algorithm>

namespace win {

namespace {

constexpr const char* kControlProp = "VaControl";

TWinControl* creationControl = nullptr;  // not owned: the control whose window is being made
TControl* captureControl = nullptr;      // not owned
TControl* mouseControl = nullptr;        // not owned: the control the mouse is over

HINSTANCE ModuleInstance() { return ::GetModuleHandleA(nullptr); }

std::uint16_t NextControlId()
{
    static std::uint16_t next = 100;
    if (++next < 100)
        next = 100;
    return next;
}

TPoint MessagePoint(LPARAM lParam)
{
    return {static_cast<std::int16_t>(LOWORD(lParam)), static_cast<std::int16_t>(HIWORD(lParam))};
}

LPARAM PointToLParam(TPoint p)
{
    return MAKELPARAM(static_cast<std::uint16_t>(p.X), static_cast<std::uint16_t>(p.Y));
}

bool IsMouseMessage(UINT msg)
{
    return (msg >= WM_MOUSEFIRST && msg <= WM_MBUTTONDBLCLK) && msg != WM_MOUSEWHEEL;
}

// True when `child` is `parent` or lies inside it.
bool IsChildOf(const TControl* child, const TWinControl* parent)
{
    for (const TControl* c = child; c; c = c->Parent())
        if (c == parent)
            return true;
    return false;
}

}  // namespace

// --- helpers ---

namespace {

struct IdentEntry {
    std::int32_t Value;
    const char* Name;
};

const IdentEntry kCursorNames[] = {
    {crDefault, "crDefault"},     {crNone, "crNone"},           {crArrow, "crArrow"},
    {crCross, "crCross"},         {crIBeam, "crIBeam"},         {crSizeNESW, "crSizeNESW"},
    {crSizeNS, "crSizeNS"},       {crSizeNWSE, "crSizeNWSE"},   {crSizeWE, "crSizeWE"},
    {crUpArrow, "crUpArrow"},     {crHourGlass, "crHourGlass"}, {crDrag, "crDrag"},
    {crNoDrop, "crNoDrop"},       {crHSplit, "crHSplit"},       {crVSplit, "crVSplit"},
    {crMultiDrag, "crMultiDrag"}, {crSQLWait, "crSQLWait"},     {crNo, "crNo"},
    {crAppStart, "crAppStart"},   {crHelp, "crHelp"},           {crHandPoint, "crHandPoint"},
    {crSizeAll, "crSizeAll"}};

const IdentEntry kModalResultNames[] = {{mrNone, "mrNone"},   {mrOk, "mrOk"},       {mrCancel, "mrCancel"},
                                        {mrAbort, "mrAbort"}, {mrRetry, "mrRetry"}, {mrIgnore, "mrIgnore"},
                                        {mrYes, "mrYes"},     {mrNo, "mrNo"},       {mrAll, "mrAll"}};

template <size_t N>
const rtl::TTypeInfo& MakeIdentType(const char* name, const IdentEntry (&table)[N])
{
    auto* t = new rtl::TTypeInfo(rtl::TypeInfoOf<std::int32_t>());  // lives for the program
    t->Name = name;
    rtl::RegisterIntegerConsts(
        *t,
        [&table](const std::string& ident, std::int64_t& value) {
            for (const IdentEntry& e : table)
                if (rtl::SameText(ident, e.Name)) {
                    value = e.Value;
                    return true;
                }
            return false;
        },
        [&table](std::int64_t value, std::string& ident) {
            for (const IdentEntry& e : table)
                if (e.Value == value) {
                    ident = e.Name;
                    return true;
                }
            return false;
        });
    return *t;
}

}  // namespace

const rtl::TTypeInfo& CursorTypeInfo()
{
    static const rtl::TTypeInfo& info = MakeIdentType("TCursor", kCursorNames);
    return info;
}

const rtl::TTypeInfo& ModalResultTypeInfo()
{
    static const rtl::TTypeInfo& info = MakeIdentType("TModalResult", kModalResultNames);
    return info;
}

TShiftState KeysToShiftState(WPARAM keys)
{
    TShiftState s;
    if (keys & MK_SHIFT)
        s.Include(ssShift);
    if (keys & MK_CONTROL)
        s.Include(ssCtrl);
    if (keys & MK_LBUTTON)
        s.Include(ssLeft);
    if (keys & MK_RBUTTON)
        s.Include(ssRight);
    if (keys & MK_MBUTTON)
        s.Include(ssMiddle);
    if (::GetKeyState(VK_MENU) < 0)
        s.Include(ssAlt);
    return s;
}

TShiftState KeyboardStateToShiftState()
{
    TShiftState s;
    if (::GetKeyState(VK_SHIFT) < 0)
        s.Include(ssShift);
    if (::GetKeyState(VK_CONTROL) < 0)
        s.Include(ssCtrl);
    if (::GetKeyState(VK_MENU) < 0)
        s.Include(ssAlt);
    return s;
}

namespace {

// -1 until first asked: then the system's answer, unless set before.
int rightToLeftLocale = -1;

}  // namespace

bool RightToLeftLocale()
{
    if (rightToLeftLocale < 0)
        rightToLeftLocale = ::GetSystemMetrics(SM_MIDEASTENABLED) != 0;
    return rightToLeftLocale != 0;
}

void SetRightToLeftLocale(bool v) { rightToLeftLocale = v; }

TControl* GetCaptureControl() { return captureControl; }

void SetCaptureControl(TControl* control)
{
    captureControl = control;
    if (!control) {
        ::ReleaseCapture();
        return;
    }
    TWinControl* win = dynamic_cast<TWinControl*>(control);
    if (!win)
        win = control->Parent();
    if (win && win->HandleAllocated())
        ::SetCapture(win->Handle());
}

// The window procedure of every control window. Exceptions stop here: they must not unwind
// through the system's frames, so they go to the application's handler.
LRESULT CALLBACK StdWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* control = static_cast<TWinControl*>(::GetPropA(wnd, kControlProp));
    if (!control) {
        if (!creationControl)
            return ::DefWindowProcA(wnd, msg, wParam, lParam);
        control = creationControl;
        creationControl = nullptr;
        control->Attach(wnd);
    }
    TMessage m{msg, wParam, lParam, 0};
    try {
        if (control->ComponentState().Contains(rtl::csDestroying) || !control->WindowProc)
            control->DefaultHandler(m);
        else
            control->WindowProc(m);
    } catch (...) {
        HandleControlException(control);
    }
    if (msg == WM_NCDESTROY)
        control->Detach();
    return m.Result;
}

// --- TSizeConstraints ---

void TSizeConstraints::Publish(Table& t)
{
    t.Property(RTL_GET_SET(MaxHeight)).Default(0);
    t.Property(RTL_GET_SET(MaxWidth)).Default(0);
    t.Property(RTL_GET_SET(MinHeight)).Default(0);
    t.Property(RTL_GET_SET(MinWidth)).Default(0);
}

void TSizeConstraints::SetLimit(std::int32_t& limit, std::int32_t v, std::int32_t& max, std::int32_t& min)
{
    rtl::SetAndNotify(limit, std::max<std::int32_t>(v, 0), [&] {
        if (max && min > max)
            (&limit == &max ? min : max) = limit;
        Changed();
    });
}

void TSizeConstraints::Apply(int& width, int& height) const
{
    if (minWidth_ > 0 && width < minWidth_)
        width = minWidth_;
    if (maxWidth_ > 0 && width > maxWidth_)
        width = maxWidth_;
    if (minHeight_ > 0 && height < minHeight_)
        height = minHeight_;
    if (maxHeight_ > 0 && height > maxHeight_)
        height = maxHeight_;
}

void TSizeConstraints::Assign(rtl::TPersistent* source)
{
    if (auto* s = dynamic_cast<TSizeConstraints*>(source)) {
        minHeight_ = s->minHeight_;
        maxHeight_ = s->maxHeight_;
        minWidth_ = s->minWidth_;
        maxWidth_ = s->maxWidth_;
        Changed();
        return;
    }
    rtl::TPersistent::Assign(source);
}

void TSizeConstraints::Changed()
{
    if (control_ && !control_->ComponentState().Contains(rtl::csLoading))
        control_->SetBounds(control_->Left(), control_->Top(), control_->Width(), control_->Height());
}

// --- TControl ---

void TControl::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Left));
    t.Property(RTL_GET_SET(Top));
    t.Property(RTL_GET_SET(Width));
    t.Property(RTL_GET_SET(Height));
    t.Property(RTL_GET_SET(ClientWidth)).Stored(false);
    t.Property(RTL_GET_SET(ClientHeight)).Stored(false);
    t.Property(RTL_GET_SET(Align)).Default(alNone);
    t.Property(RTL_GET_SET(BiDiMode)).Default(bdLeftToRight);
    t.Property(RTL_GET_SET(Caption)).Stored(&TControl::IsCaptionStored);
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo());
    t.Property(RTL_MEMBER(Constraints));
    t.Property(RTL_GET_SET(Cursor)).Type(CursorTypeInfo()).Default(crDefault);
    t.Property(RTL_GET_SET(Enabled)).Default(true);
    t.Property(RTL_GET_SET(Font));
    t.Property(RTL_MEMBER(Hint));
    t.Property(RTL_GET_SET(ParentBiDiMode)).Default(true);
    t.Property(RTL_GET_SET(ParentColor)).Default(true);
    t.Property(RTL_GET_SET(ParentFont)).Default(true);
    t.Property(RTL_GET_SET(PopupMenu));
    t.Property(RTL_MEMBER(ShowHint)).Default(false);
    t.Property(RTL_GET_SET(Visible)).Default(true);
    t.Event(RTL_MEMBER(OnClick));
    t.Event(RTL_MEMBER(OnDblClick));
    t.Event(RTL_MEMBER(OnMouseDown));
    t.Event(RTL_MEMBER(OnMouseMove));
    t.Event(RTL_MEMBER(OnMouseUp));
    t.Event(RTL_MEMBER(OnMouseEnter));
    t.Event(RTL_MEMBER(OnMouseLeave));
    t.Event(RTL_MEMBER(OnResize));
}

TControl::TControl(rtl::TComponent* owner)
    : rtl::TComponent(owner),
      constraints_(std::make_unique<TSizeConstraints>(this)),
      font_(std::make_unique<TFont>())
{
    WindowProc = [this](TMessage& m) { WndProc(m); };
    font_->OnChange = [this](rtl::TObject* sender) { FontChangedHandler(sender); };
    controlStyle_ = {csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
}

TControl::~TControl()
{
    if (Application)
        Application->CancelHint(this);
    if (captureControl == this)
        SetCaptureControl(nullptr);
    if (mouseControl == this)
        mouseControl = nullptr;
    font_->OnChange = nullptr;
    SetAction(nullptr);
    if (parent_)
        parent_->RemoveControl(this);
}

rtl::TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(rtl::TComponent* parent)
{
    if (auto* p = dynamic_cast<TWinControl*>(parent))
        SetParent(p);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == parent_)
        return;
    if (parent == this)
        throw rtl::EInvalidOperation("A control cannot have itself as its parent");
    if (parent_)
        parent_->RemoveControl(this);
    if (parent)
        parent->InsertControl(this);
}

void TControl::Loaded()
{
    rtl::TComponent::Loaded();
    if (parent_) {
        if (parentColor_)
            Perform(CM_PARENTCOLORCHANGED, 0, 0);
        if (parentFont_)
            Perform(CM_PARENTFONTCHANGED, 0, 0);
        if (parentBiDiMode_)
            Perform(CM_PARENTBIDIMODECHANGED, 0, 0);
    }
    // An action named in the description was waiting for the whole form to be read.
    if (action_)
        ActionChange(action_, true);
    AdjustSize();
}

void TControl::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    rtl::TComponent::Notification(component, operation);
    if (operation != rtl::opRemove)
        return;
    if (component == static_cast<rtl::TComponent*>(popupMenu_))
        popupMenu_ = nullptr;
    if (component == static_cast<rtl::TComponent*>(action_))
        action_ = nullptr;
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    constraints_->Apply(width, height);
    if (width < 0)
        width = 0;
    if (height < 0)
        height = 0;
    if (left == left_ && top == top_ && width == width_ && height == height_)
        return;
    InvalidateControl(visible_, false);
    bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    InvalidateControl(visible_, false);
    if (parent_ && align_ != alNone)
        parent_->Realign();
    if (resized)
        Resize();
}

TRect TControl::ClientRect() { return Rect(0, 0, width_, height_); }

void TControl::SetClientWidth(std::int32_t v) { SetWidth(width_ - ClientWidth() + v); }
void TControl::SetClientHeight(std::int32_t v) { SetHeight(height_ - ClientHeight() + v); }

TPoint TControl::ClientOrigin()
{
    if (!parent_)
        return {left_, top_};
    TPoint p = parent_->ClientOrigin();
    return {p.X + left_, p.Y + top_};
}

TPoint TControl::ClientToScreen(TPoint p)
{
    TPoint o = ClientOrigin();
    return {p.X + o.X, p.Y + o.Y};
}

TPoint TControl::ScreenToClient(TPoint p)
{
    TPoint o = ClientOrigin();
    return {p.X - o.X, p.Y - o.Y};
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

void TControl::SetVisible(bool v)
{
    if (v == visible_)
        return;
    VisibleChanging();
    visible_ = v;
    Perform(CM_VISIBLECHANGED, v, 0);
    if (parent_ && align_ != alNone)
        parent_->Realign();
}

void TControl::SetEnabled(bool v)
{
    rtl::SetAndNotify(enabled_, v, [this] { Perform(CM_ENABLEDCHANGED, 0, 0); });
}

std::string TControl::GetText() { return text_; }

void TControl::SetText(const std::string& v)
{
    if (v == GetText())
        return;
    text_ = v;
    Perform(CM_TEXTCHANGED, 0, 0);
}

// Turning on ParentFont or ParentColor takes the parent's value at once, except while the
// description is still being read (the parent's value is not final yet).
void TControl::SetParentFlag(bool& flag, bool v, UINT changedMessage)
{
    if (v == flag)
        return;
    flag = v;
    if (v && parent_ && !ComponentState().Contains(rtl::csReading))
        Perform(changedMessage, 0, 0);
}

void TControl::SetParentFont(bool v) { SetParentFlag(parentFont_, v, CM_PARENTFONTCHANGED); }

void TControl::SetColor(TColor v) { SetOwnValue(color_, v, parentColor_, CM_COLORCHANGED); }

void TControl::SetParentColor(bool v) { SetParentFlag(parentColor_, v, CM_PARENTCOLORCHANGED); }

void TControl::SetAlign(TAlign v)
{
    rtl::SetAndNotify(align_, v, [this] {
        if (parent_)
            parent_->Realign();
    });
}

void TControl::SetPopupMenu(TPopupMenu* v)
{
    popupMenu_ = v;
    if (v)
        v->FreeNotification(this);
}

void TControl::SetBiDiMode(TBiDiMode v) { SetOwnValue(bidiMode_, v, parentBiDiMode_, CM_BIDIMODECHANGED); }

void TControl::SetParentBiDiMode(bool v) { SetParentFlag(parentBiDiMode_, v, CM_PARENTBIDIMODECHANGED); }

bool TControl::UseRightToLeftReading() const { return bidiMode_ != bdLeftToRight && RightToLeftLocale(); }

bool TControl::UseRightToLeftAlignment() const { return bidiMode_ == bdRightToLeft && RightToLeftLocale(); }

bool TControl::UseRightToLeftScrollBar() const
{
    return (bidiMode_ == bdRightToLeft || bidiMode_ == bdRightToLeftNoAlign) && RightToLeftLocale();
}

UINT TControl::BiDiTextFlags(UINT flags) const
{
    if (UseRightToLeftAlignment() && !(flags & DT_CENTER))
        flags ^= DT_RIGHT;
    if (UseRightToLeftReading())
        flags |= DT_RTLREADING;
    return flags;
}

void TControl::SetAction(TAction* v)
{
    if (v == action_)
        return;
    if (action_)
        action_->RemoveClient(this);
    action_ = v;
    if (!v)
        return;
    v->AddClient(this);
    if (!ComponentState().Contains(rtl::csLoading))
        ActionChange(v, true);
}

void TControl::ActionChange(TAction* sender, bool checkDefaults)
{
    if (!sender)
        return;
    const std::string caption = Caption();
    if (!checkDefaults || caption.empty() || caption == Name())
        SetCaption(sender->Caption());
    if (!checkDefaults || enabled_)
        SetEnabled(sender->Enabled());
}

void TControl::Click()
{
    if (action_ && !OnClick.Assigned())
        action_->Execute();
    else
        OnClick(this);
}

void TControl::FontChangedHandler(rtl::TObject*)
{
    if (!changingFont_)
        parentFont_ = false;
    Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::FontChanged()
{
    AdjustSize();
    Invalidate();
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam)
{
    TMessage m{msg, wParam, lParam, 0};
    if (WindowProc)
        WindowProc(m);
    else
        WndProc(m);
    return m.Result;
}

void TControl::InvalidateControl(bool isVisible, bool isOpaque)
{
    if (!isVisible || !parent_ || !parent_->HandleAllocated() || dynamic_cast<TWinControl*>(this))
        return;
    RECT r = ToRECT(BoundsRect());
    ::InvalidateRect(parent_->Handle(), &r, !isOpaque);
}

void TControl::Invalidate() { InvalidateControl(visible_, controlStyle_.Contains(csOpaque)); }

void TControl::Update()
{
    if (parent_)
        parent_->Update();
}

void TControl::Repaint()
{
    Invalidate();
    Update();
}

void TControl::BringToFront()
{
    if (!parent_)
        return;
    auto& list = parent_->controls_;
    auto it = std::find(list.begin(), list.end(), this);
    if (it != list.end()) {
        list.erase(it);
        list.push_back(this);
    }
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated())
        ::SetWindowPos(w->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Invalidate();
}

void TControl::SendToBack()
{
    if (!parent_)
        return;
    auto& list = parent_->controls_;
    auto it = std::find(list.begin(), list.end(), this);
    if (it != list.end()) {
        list.erase(it);
        list.insert(list.begin(), this);
    }
    if (auto* w = dynamic_cast<TWinControl*>(this); w && w->HandleAllocated())
        ::SetWindowPos(w->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Invalidate();
}

TCustomForm* TControl::GetParentForm() const
{
    const TControl* c = this;
    while (c->Parent())
        c = c->Parent();
    return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

namespace {
int Scale(int v, int m, int d) { return static_cast<int>(static_cast<std::int64_t>(v) * m / d); }
}  // namespace

void TControl::ChangeScale(int m, int d)
{
    if (m == d || d == 0)
        return;
    // Right and bottom edges are scaled, not sizes, so neighbours keep meeting.
    int l = Scale(left_, m, d), t = Scale(top_, m, d);
    int r = Scale(left_ + width_, m, d), b = Scale(top_ + height_, m, d);
    SetBounds(l, t, r - l, b - t);
    if (!parentFont_) {
        changingFont_ = true;
        font_->SetHeight(Scale(font_->Height(), m, d));
        changingFont_ = false;
        parentFont_ = false;
    }
}

void TControl::HandleMouseMessage(TMessage& m)
{
    TPoint p = MessagePoint(m.LParam);
    TShiftState shift = KeysToShiftState(m.WParam);
    auto down = [&](TMouseButton button, bool dbl) {
        if (controlStyle_.Contains(csCaptureMouse) && button == mbLeft)
            SetCaptureControl(this);
        if (button == mbLeft && controlStyle_.Contains(csClickEvents))
            controlState_.Include(csClicked);
        if (button == mbLeft)
            controlState_.Include(csLButtonDown);
        if (dbl)
            shift.Include(ssDouble);
        MouseDown(button, shift, p.X, p.Y);
    };
    auto up = [&](TMouseButton button) {
        if (button == mbLeft) {
            bool clicked = controlState_.Contains(csClicked);
            controlState_.Exclude(csClicked);
            controlState_.Exclude(csLButtonDown);
            if (captureControl == this)
                SetCaptureControl(nullptr);
            if (clicked && p.X >= 0 && p.Y >= 0 && p.X < width_ && p.Y < height_)
                Click();
        }
        MouseUp(button, shift, p.X, p.Y);
    };
    switch (m.Msg) {
    case WM_LBUTTONDOWN: down(mbLeft, false); break;
    case WM_RBUTTONDOWN: down(mbRight, false); break;
    case WM_MBUTTONDOWN: down(mbMiddle, false); break;
    case WM_LBUTTONDBLCLK:
        if (controlStyle_.Contains(csDoubleClicks)) {
            DblClick();
            down(mbLeft, true);
        } else {
            down(mbLeft, false);
        }
        break;
    case WM_RBUTTONDBLCLK: down(mbRight, true); break;
    case WM_MBUTTONDBLCLK: down(mbMiddle, true); break;
    case WM_LBUTTONUP: up(mbLeft); break;
    case WM_RBUTTONUP: up(mbRight); break;
    case WM_MBUTTONUP: up(mbMiddle); break;
    case WM_MOUSEMOVE: MouseMove(shift, p.X, p.Y); break;
    default: break;
    }
}

void TControl::WndProc(TMessage& m)
{
    if (IsMouseMessage(m.Msg)) {
        HandleMouseMessage(m);
        DefaultHandler(m);
        return;
    }
    switch (m.Msg) {
    case CM_MOUSEENTER:
        mouseInControl_ = true;
        if (Application)
            Application->ActivateHint(this);
        MouseEnter();
        return;
    case CM_MOUSELEAVE:
        mouseInControl_ = false;
        if (Application)
            Application->CancelHint(this);
        MouseLeave();
        return;
    case CM_VISIBLECHANGED: InvalidateControl(true, false); return;
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_TEXTCHANGED:
        if (m.Msg == CM_TEXTCHANGED)
            AdjustSize();
        Invalidate();
        return;
    case CM_FONTCHANGED: FontChanged(); return;
    case CM_PARENTFONTCHANGED:
        if (parentFont_ && parent_) {
            changingFont_ = true;
            font_->Assign(parent_->Font());
            changingFont_ = false;
        }
        return;
    case CM_PARENTCOLORCHANGED:
        if (parentColor_ && parent_) {
            color_ = parent_->Color();
            Perform(CM_COLORCHANGED, 0, 0);
            parentColor_ = true;
        }
        return;
    case CM_BIDIMODECHANGED: Invalidate(); return;
    case CM_PARENTBIDIMODECHANGED:
        if (parentBiDiMode_ && parent_ && parent_->BiDiMode() != bidiMode_) {
            bidiMode_ = parent_->BiDiMode();
            Perform(CM_BIDIMODECHANGED, 0, 0);
        }
        return;
    default: break;
    }
    DefaultHandler(m);
}

// --- TWinControl ---

void TWinControl::Publish(Table& t)
{
    t.Property(RTL_MEMBER(TabOrder)).Default(-1);
    t.Property(RTL_GET_SET(TabStop));
    t.Event(RTL_MEMBER(OnEnter));
    t.Event(RTL_MEMBER(OnExit));
    t.Event(RTL_MEMBER(OnKeyDown));
    t.Event(RTL_MEMBER(OnKeyPress));
    t.Event(RTL_MEMBER(OnKeyUp));
}

TWinControl::TWinControl(rtl::TComponent* owner) : TControl(owner) { ctlId_ = NextControlId(); }

TWinControl::~TWinControl()
{
    Destroying();
    if (mouseControl && IsChildOf(mouseControl, this))
        mouseControl = nullptr;
    // Children die with their parent, last first; each removes itself from its owner.
    while (!controls_.empty()) {
        TControl* child = controls_.back();
        RemoveControl(child);
        delete child;
    }
    DestroyHandle();
}

TWinControl* TWinControl::FindControl(HWND wnd)
{
    if (!wnd)
        return nullptr;
    return static_cast<TWinControl*>(::GetPropA(wnd, kControlProp));
}

void TWinControl::Attach(HWND wnd)
{
    handle_ = wnd;
    ::SetPropA(wnd, kControlProp, this);
}

void TWinControl::Detach()
{
    if (handle_)
        ::RemovePropA(handle_, kControlProp);
    handle_ = nullptr;
}

HWND TWinControl::Handle()
{
    HandleNeeded();
    return handle_;
}

void TWinControl::HandleNeeded()
{
    if (handle_)
        return;
    if (Parent())
        Parent()->HandleNeeded();
    CreateHandle();
}

void TWinControl::CreateHandle()
{
    if (handle_)
        return;
    CreateWnd();
    // Children appear in their list order, which is also their z-order.
    for (TControl* c : controls_)
        if (auto* w = dynamic_cast<TWinControl*>(c); w && !w->handle_)
            w->CreateHandle();
}

void TWinControl::DestroyHandle()
{
    if (!handle_)
        return;
    controlState_.Include(csDestroyingHandle);
    DestroyWnd();
    controlState_.Exclude(csDestroyingHandle);
}

void TWinControl::DestroyWnd()
{
    // The window text is the control's text while the window exists; keep it across.
    TextField() = GetText();
    for (TControl* c : controls_)
        if (auto* w = dynamic_cast<TWinControl*>(c); w && w->handle_)
            w->DestroyHandle();
    DestroyWindowHandle();
}

void TWinControl::DestroyWindowHandle()
{
    HWND wnd = handle_;
    if (wnd)
        ::DestroyWindow(wnd);
    // WM_NCDESTROY normally detaches; make sure even when the window was already gone.
    if (handle_ == wnd)
        Detach();
}

void TWinControl::TurnOver()
{
    if (!ComponentState().Contains(rtl::csLoading))
        SetBounds(Left(), Top(), Height(), Width());
    RecreateWnd();
}

void TWinControl::RecreateWnd()
{
    if (!handle_)
        return;
    bool focused = Focused();
    DestroyHandle();
    CreateHandle();
    if (focused && handle_)
        ::SetFocus(handle_);
}

void TWinControl::CreateParams(TCreateParams& p)
{
    p.Caption = TextField();
    p.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (controlStyle_.Contains(csAcceptsControls))
        p.Style |= WS_CLIPCHILDREN;
    if (Visible())
        p.Style |= WS_VISIBLE;
    if (!Enabled())
        p.Style |= WS_DISABLED;
    if (tabStop_)
        p.Style |= WS_TABSTOP;
    if (UseRightToLeftReading())
        p.ExStyle |= WS_EX_RTLREADING;
    if (UseRightToLeftAlignment())
        p.ExStyle |= WS_EX_RIGHT;
    if (UseRightToLeftScrollBar())
        p.ExStyle |= WS_EX_LEFTSCROLLBAR;
    p.X = Left();
    p.Y = Top();
    p.Width = Width();
    p.Height = Height();
    if (Parent())
        p.WndParent = Parent()->Handle();
    else
        p.WndParent = parentWindow_;
    p.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    p.WindowClass.lpfnWndProc = ::DefWindowProcA;
    p.WindowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    p.WindowClass.hbrBackground = nullptr;
    p.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& p, const char* controlClassName)
{
    WNDCLASSA wc{};
    if (!::GetClassInfoA(nullptr, controlClassName, &wc))
        throw rtl::Exception(std::string("Window class ") + controlClassName + " not found");
    p.WindowClass = wc;
    // The superclass keeps the standard class's styles except global ones.
    p.WindowClass.style &= ~(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS);
    p.WindowClass.style |= CS_DBLCLKS;
}

void TWinControl::CreateWnd()
{
    TCreateParams p;
    CreateParams(p);
    if (p.WndParent == nullptr && (p.Style & WS_CHILD))
        throw rtl::EInvalidOperation("Control '" + Name() + "' has no parent window");
    defWndProc_ = p.WindowClass.lpfnWndProc;
    WNDCLASSA existing{};
    HINSTANCE inst = ModuleInstance();
    bool registered = ::GetClassInfoA(inst, p.WinClassName.c_str(), &existing) != FALSE;
    if (!registered || existing.lpfnWndProc != StdWndProc) {
        if (registered)
            ::UnregisterClassA(p.WinClassName.c_str(), inst);
        WNDCLASSA wc = p.WindowClass;
        wc.lpfnWndProc = StdWndProc;
        wc.hInstance = inst;
        wc.lpszClassName = p.WinClassName.c_str();
        if (!::RegisterClassA(&wc))
            throw rtl::Exception("Error registering window class " + p.WinClassName);
    }
    CreateWindowHandle(p);
    if (!handle_)
        throw rtl::Exception("Error creating window");
    ::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 0);
}

void TWinControl::CreateWindowHandle(const TCreateParams& p)
{
    creationControl = this;
    HMENU id = (p.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ctlId_)) : nullptr;
    HWND wnd = ::CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y,
                                 p.Width, p.Height, p.WndParent, id, ModuleInstance(), p.Param);
    creationControl = nullptr;
    if (wnd && handle_ != wnd)
        Attach(wnd);
}

TControl* TWinControl::Controls(std::int32_t index) const
{
    if (index < 0 || index >= ControlCount())
        throw rtl::EListError("List index out of bounds (" + std::to_string(index) + ")");
    return controls_[static_cast<size_t>(index)];
}

void TWinControl::InsertControl(TControl* control)
{
    if (!control || control->parent_ == this)
        return;
    controls_.push_back(control);
    control->parent_ = this;
    if (!control->ComponentState().Contains(rtl::csReading)) {
        if (control->parentFont_)
            control->Perform(CM_PARENTFONTCHANGED, 0, 0);
        if (control->parentColor_)
            control->Perform(CM_PARENTCOLORCHANGED, 0, 0);
        if (control->parentBiDiMode_)
            control->Perform(CM_PARENTBIDIMODECHANGED, 0, 0);
    }
    if (auto* w = dynamic_cast<TWinControl*>(control)) {
        if (handle_ && !w->ComponentState().Contains(rtl::csLoading)) {
            if (w->handle_)
                ::SetParent(w->handle_, handle_);
            else
                w->CreateHandle();
        }
    } else {
        control->Invalidate();
    }
    if (control->Align() != alNone)
        Realign();
}

void TWinControl::RemoveControl(TControl* control)
{
    auto it = std::find(controls_.begin(), controls_.end(), control);
    if (it == controls_.end())
        return;
    if (auto* w = dynamic_cast<TWinControl*>(control);
        w && w->handle_ && !w->ComponentState().Contains(rtl::csDestroying))
        w->DestroyHandle();
    else
        control->Invalidate();
    if (captureControl && IsChildOf(captureControl, dynamic_cast<TWinControl*>(control)))
        captureControl = nullptr;
    if (mouseControl == control)
        mouseControl = nullptr;
    controls_.erase(it);
    control->parent_ = nullptr;
    if (control->Align() != alNone)
        Realign();
}

bool TWinControl::ContainsControl(TControl* control) const
{
    for (const TControl* c = control; c; c = c->Parent())
        if (c == this)
            return true;
    return false;
}

TControl* TWinControl::ControlAtPos(TPoint pos, bool allowDisabled)
{
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (dynamic_cast<TWinControl*>(c))
            continue;
        if (!c->Visible() || (!c->Enabled() && !allowDisabled))
            continue;
        if (pos.X >= c->Left() && pos.Y >= c->Top() && pos.X < c->Left() + c->Width() &&
            pos.Y < c->Top() + c->Height())
            return c;
    }
    return nullptr;
}

void TWinControl::SetTabStop(bool v)
{
    if (v == tabStop_)
        return;
    tabStop_ = v;
    if (handle_) {
        LONG style = ::GetWindowLongA(handle_, GWL_STYLE);
        ::SetWindowLongA(handle_, GWL_STYLE, v ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
    }
}

bool TWinControl::CanFocus()
{
    for (TControl* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled())
            return false;
    return true;
}

bool TWinControl::Focused() { return handle_ && ::GetFocus() == handle_; }

void TWinControl::SetFocus()
{
    if (TCustomForm* form = GetParentForm())
        form->FocusControl(this);
    else if (handle_)
        ::SetFocus(handle_);
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop)
{
    std::vector<TWinControl*> list;
    std::function<void(TWinControl*)> collect = [&](TWinControl* parent) {
        std::vector<TWinControl*> kids;
        for (TControl* c : parent->controls_)
            if (auto* w = dynamic_cast<TWinControl*>(c))
                kids.push_back(w);
        std::stable_sort(kids.begin(), kids.end(), [](TWinControl* a, TWinControl* b) {
            return static_cast<std::uint32_t>(a->TabOrder) < static_cast<std::uint32_t>(b->TabOrder);
        });
        for (TWinControl* w : kids) {
            list.push_back(w);
            collect(w);
        }
    };
    collect(this);
    if (list.empty())
        return;
    auto it = std::find(list.begin(), list.end(), current);
    size_t start =
        it == list.end() ? (goForward ? list.size() - 1 : 0) : static_cast<size_t>(it - list.begin());
    size_t i = start;
    for (size_t n = 0; n < list.size(); ++n) {
        i = goForward ? (i + 1) % list.size() : (i + list.size() - 1) % list.size();
        TWinControl* w = list[i];
        if ((!checkTabStop || w->tabStop_) && w->CanFocus() &&
            !w->controlStyle_.Contains(csAcceptsControls)) {
            w->SetFocus();
            return;
        }
    }
}

bool TWinControl::Showing() const { return handle_ && ::IsWindowVisible(handle_); }

TRect TWinControl::ClientRect()
{
    if (handle_) {
        RECT r;
        ::GetClientRect(handle_, &r);
        return FromRECT(r);
    }
    return TControl::ClientRect();
}

TPoint TWinControl::ClientOrigin()
{
    if (handle_) {
        POINT p{0, 0};
        ::ClientToScreen(handle_, &p);
        return {p.x, p.y};
    }
    return TControl::ClientOrigin();
}

void TWinControl::SetBounds(int left, int top, int width, int height)
{
    Constraints()->Apply(width, height);
    if (handle_ && !controlState_.Contains(csDestroyingHandle)) {
        ::SetWindowPos(handle_, nullptr, left, top, std::max(width, 0), std::max(height, 0),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        // WM_WINDOWPOSCHANGED copied what the system accepted; a refusal still stores ours.
        if (Left() != left || Top() != top || Width() != width || Height() != height) {
            if (Width() == width && Height() == height)
                TControl::SetBounds(left, top, width, height);
        }
        return;
    }
    TControl::SetBounds(left, top, width, height);
    Realign();
}

std::string TWinControl::GetText()
{
    if (!handle_)
        return TControl::GetText();
    int len = ::GetWindowTextLengthA(handle_);
    if (len <= 0)
        return {};
    std::string s(static_cast<size_t>(len) + 1, '\0');
    int got = ::GetWindowTextA(handle_, s.data(), len + 1);
    s.resize(static_cast<size_t>(std::max(got, 0)));
    return s;
}

void TWinControl::SetText(const std::string& v)
{
    if (v == GetText() && TextField() == v)
        return;
    TextField() = v;
    if (handle_)
        ::SetWindowTextA(handle_, v.c_str());
    Perform(CM_TEXTCHANGED, 0, 0);
}

void TWinControl::Invalidate()
{
    if (!handle_)
        return;
    const bool erase = !controlStyle_.Contains(csOpaque);
    if (controlStyle_.Contains(csNeedsBorderPaint))
        ::RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | (erase ? RDW_ERASE : 0));
    else
        ::InvalidateRect(handle_, nullptr, erase);
}

void TWinControl::Update()
{
    if (handle_)
        ::UpdateWindow(handle_);
}

void TWinControl::Repaint()
{
    if (handle_) {
        ::RedrawWindow(handle_, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

void TWinControl::Loaded()
{
    TControl::Loaded();
    if (Parent() && Parent()->HandleAllocated() && !handle_)
        CreateHandle();
    Realign();
}

void TWinControl::UpdateShowing()
{
    if (Visible() && Parent() && Parent()->HandleAllocated() && !handle_)
        CreateHandle();
}

void TWinControl::Realign()
{
    if (ComponentState().Contains(rtl::csLoading) || ComponentState().Contains(rtl::csDestroying))
        return;
    TRect r = ClientRect();
    AlignControls(nullptr, r);
}

void TWinControl::AlignControls(TControl*, TRect& r)
{
    // Placing a child resizes it, which realigns its own children but must not come back here.
    if (aligning_)
        return;
    aligning_ = true;
    auto place = [&](TAlign which) {
        for (TControl* c : controls_) {
            if (c->Align() != which || !c->Visible())
                continue;
            switch (which) {
            case alTop:
                c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
                r.Top += c->Height();
                break;
            case alBottom:
                c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
                r.Bottom -= c->Height();
                break;
            case alLeft:
                c->SetBounds(r.Left, r.Top, c->Width(), r.Height());
                r.Left += c->Width();
                break;
            case alRight:
                c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), r.Height());
                r.Right -= c->Width();
                break;
            case alClient: c->SetBounds(r.Left, r.Top, r.Width(), r.Height()); break;
            default: break;
            }
        }
    };
    try {
        place(alTop);
        place(alBottom);
        place(alLeft);
        place(alRight);
        place(alClient);
    } catch (...) {
        aligning_ = false;
        throw;
    }
    aligning_ = false;
}

void TWinControl::ChangeScale(int m, int d)
{
    if (m == d || d == 0)
        return;
    // Children first, in the parent's old coordinates, which scale the same way.
    std::vector<TControl*> children = controls_;
    for (TControl* c : children)
        c->ChangeScale(m, d);
    TControl::ChangeScale(m, d);
}

void TWinControl::PaintWindow(HDC dc)
{
    TMessage m{WM_PAINT, reinterpret_cast<WPARAM>(dc), 0, 0};
    DefaultHandler(m);
}

void TWinControl::PaintControls(HDC dc, TControl* first)
{
    bool started = first == nullptr;
    for (TControl* c : controls_) {
        if (!started) {
            started = c == first;
            if (!started)
                continue;
        }
        if (dynamic_cast<TWinControl*>(c) || !c->Visible())
            continue;
        RECT r = ToRECT(c->BoundsRect());
        if (!::RectVisible(dc, &r))
            continue;
        SaveDCGuard save(dc);
        POINT old;
        ::OffsetViewportOrgEx(dc, c->Left(), c->Top(), &old);
        ::IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
        c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    }
}

void TWinControl::PaintHandler(TMessage& m)
{
    bool hasGraphic = std::any_of(controls_.begin(), controls_.end(),
                                  [](TControl* c) { return !dynamic_cast<TWinControl*>(c) && c->Visible(); });
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    if (dc) {
        PaintWindow(dc);
        PaintControls(dc, nullptr);
        return;
    }
    if (defWndProc_ != ::DefWindowProcA && !hasGraphic) {
        DefaultHandler(m);
        return;
    }
    PAINTSTRUCT ps;
    dc = ::BeginPaint(handle_, &ps);
    try {
        PaintWindow(dc);
        PaintControls(dc, nullptr);
    } catch (...) {
        ::EndPaint(handle_, &ps);
        throw;
    }
    ::EndPaint(handle_, &ps);
}

// The form sees a key first when it previews keys; a handler that zeroes the key swallows it.
bool TWinControl::DoKey(TMessage& m, void (TWinControl::*handler)(std::uint16_t&, TShiftState))
{
    TCustomForm* form = GetParentForm();
    std::uint16_t key = static_cast<std::uint16_t>(m.WParam);
    TShiftState shift = KeyboardStateToShiftState();
    if (form && form != this && form->KeyPreview) {
        (static_cast<TWinControl*>(form)->*handler)(key, shift);
        if (key == 0)
            return true;
    }
    (this->*handler)(key, shift);
    m.WParam = key;
    return key == 0;
}

bool TWinControl::DoKeyDown(TMessage& m) { return DoKey(m, &TWinControl::KeyDown); }

bool TWinControl::DoKeyUp(TMessage& m) { return DoKey(m, &TWinControl::KeyUp); }

bool TWinControl::DoKeyPress(TMessage& m)
{
    TCustomForm* form = GetParentForm();
    char ch = static_cast<char>(m.WParam);
    if (form && form != this && form->KeyPreview) {
        static_cast<TWinControl*>(form)->KeyPress(ch);
        if (ch == 0)
            return true;
    }
    KeyPress(ch);
    m.WParam = static_cast<unsigned char>(ch);
    return ch == 0;
}

bool TWinControl::ReflectNotification(TMessage& m)
{
    HWND child = nullptr;
    switch (m.Msg) {
    case WM_COMMAND:
        if (m.LParam == 0) {
            // A menu or accelerator command.
            if (HIWORD(m.WParam) == 0 && DispatchMenuCommand(LOWORD(m.WParam))) {
                m.Result = 0;
                return true;
            }
            return false;
        }
        child = reinterpret_cast<HWND>(m.LParam);
        break;
    case WM_NOTIFY: child = reinterpret_cast<const NMHDR*>(m.LParam)->hwndFrom; break;
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        if (dis->CtlType == ODT_MENU) {
            if (DispatchMenuDrawItem(*dis)) {
                m.Result = TRUE;
                return true;
            }
            return false;
        }
        child = dis->hwndItem;
        break;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        if (mis->CtlType == ODT_MENU) {
            if (DispatchMenuMeasureItem(*mis)) {
                m.Result = TRUE;
                return true;
            }
            return false;
        }
        child = ::GetDlgItem(handle_, static_cast<int>(mis->CtlID));
        if (!child) {
            // Combo boxes measure while their window is still being created.
            for (TControl* c : controls_)
                if (auto* w = dynamic_cast<TWinControl*>(c); w && w->ctlId_ == mis->CtlID) {
                    m.Result = w->Perform(CN_MEASUREITEM, m.WParam, m.LParam);
                    return true;
                }
        }
        break;
    }
    case WM_DELETEITEM: child = reinterpret_cast<const DELETEITEMSTRUCT*>(m.LParam)->hwndItem; break;
    case WM_COMPAREITEM: child = reinterpret_cast<const COMPAREITEMSTRUCT*>(m.LParam)->hwndItem; break;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: child = reinterpret_cast<HWND>(m.LParam); break;
    default: return false;
    }
    TWinControl* control = FindControl(child);
    if (!control || control == this) {
        // The edit inside a combo box reports through its combo box.
        if (!control && child && (m.Msg == WM_CTLCOLOREDIT || m.Msg == WM_CTLCOLORSTATIC))
            control = FindControl(::GetParent(child));
        if (!control || control == this)
            return false;
    }
    m.Result = control->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
    return true;
}

void TWinControl::HandleSetCursor(TMessage& m)
{
    if (reinterpret_cast<HWND>(m.WParam) == handle_ && LOWORD(m.LParam) == HTCLIENT) {
        TCursor cursor = Screen ? Screen->Cursor() : crDefault;
        if (cursor == crDefault) {
            POINT p;
            ::GetCursorPos(&p);
            ::ScreenToClient(handle_, &p);
            TControl* c = ControlAtPos({p.x, p.y}, true);
            cursor = c ? c->Cursor() : Cursor();
        }
        if (cursor != crDefault && Screen) {
            ::SetCursor(Screen->Cursors(cursor));
            m.Result = TRUE;
            return;
        }
    }
    DefaultHandler(m);
}

void TWinControl::DefaultHandler(TMessage& m)
{
    if (m.Msg >= CM_BASE && m.Msg < 0xC000) {
        // Reflected colour requests get the control's own font and background colours.
        if (m.Msg >= CN_BASE + WM_CTLCOLORMSGBOX && m.Msg <= CN_CTLCOLORSTATIC) {
            HDC dc = reinterpret_cast<HDC>(m.WParam);
            ::SetTextColor(dc, ColorToRGB(Font()->Color()));
            ::SetBkColor(dc, ColorToRGB(Color()));
            m.Result = reinterpret_cast<LRESULT>(BackgroundBrush());
        }
        return;
    }
    if (!handle_)
        return;
    if (defWndProc_)
        m.Result = ::CallWindowProcA(defWndProc_, handle_, m.Msg, m.WParam, m.LParam);
    else
        m.Result = ::DefWindowProcA(handle_, m.Msg, m.WParam, m.LParam);
}

HBRUSH TWinControl::BackgroundBrush()
{
    if (!brush_ || brushColor_ != Color()) {
        brush_.Reset(::CreateSolidBrush(ColorToRGB(Color())));
        brushColor_ = Color();
    }
    return brush_.Get();
}

void TWinControl::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_PAINT: PaintHandler(m); return;
    case WM_ERASEBKGND:
        if (defWndProc_ == ::DefWindowProcA) {
            if (!controlStyle_.Contains(csOpaque)) {
                RECT r;
                ::GetClientRect(handle_, &r);
                ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, BackgroundBrush());
            }
            m.Result = 1;
            return;
        }
        break;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        if (ReflectNotification(m))
            return;
        break;
    case WM_SETCURSOR: HandleSetCursor(m); return;
    case WM_SETFOCUS:
        DefaultHandler(m);
        if (TCustomForm* form = GetParentForm(); form && form != this)
            form->SetActiveControlValue(this);
        DoEnter();
        return;
    case WM_KILLFOCUS:
        DefaultHandler(m);
        DoExit();
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (DoKeyDown(m))
            return;
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (DoKeyUp(m))
            return;
        break;
    case WM_CHAR:
        if (DoKeyPress(m))
            return;
        break;
    case WM_WINDOWPOSCHANGED: {
        DefaultHandler(m);
        auto* wp = reinterpret_cast<const WINDOWPOS*>(m.LParam);
        if ((wp->flags & (SWP_NOSIZE | SWP_NOMOVE)) != (SWP_NOSIZE | SWP_NOMOVE)) {
            RECT r;
            ::GetWindowRect(handle_, &r);
            HWND parentWnd = ::GetParent(handle_);
            if (parentWnd && (::GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD))
                ::MapWindowPoints(nullptr, parentWnd, reinterpret_cast<POINT*>(&r), 2);
            TControl::SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
            Realign();
        }
        return;
    }
    case WM_MOUSELEAVE:
        if (mouseControl && (mouseControl == this ||
                             (mouseControl->Parent() == this && !dynamic_cast<TWinControl*>(mouseControl)))) {
            TControl* leaving = mouseControl;
            mouseControl = nullptr;
            leaving->Perform(CM_MOUSELEAVE, 0, 0);
        }
        DefaultHandler(m);
        return;
    case WM_CONTEXTMENU:
        if (PopupMenu() && PopupMenu()->AutoPopup) {
            int x = static_cast<std::int16_t>(LOWORD(m.LParam));
            int y = static_cast<std::int16_t>(HIWORD(m.LParam));
            if (x == -1 && y == -1) {
                TPoint p = ClientToScreen({0, 0});
                x = p.X;
                y = p.Y;
            }
            PopupMenu()->SetPopupComponent(this);
            PopupMenu()->Popup(x, y);
            m.Result = 1;
            return;
        }
        break;
    case WM_CANCELMODE:
        if (captureControl && IsChildOf(captureControl, this))
            captureControl = nullptr;
        break;
    case WM_CAPTURECHANGED:
        if (captureControl && IsChildOf(captureControl, this) &&
            reinterpret_cast<HWND>(m.LParam) != handle_) {
            captureControl->SetControlState(captureControl->ControlState() -
                                            TControlState{csClicked, csLButtonDown});
            captureControl = nullptr;
        }
        break;
    case CN_KEYDOWN: m.Result = 0; return;
    case CM_DIALOGKEY:
        // Offered to the children until one takes the key.
        for (TControl* c : controls_) {
            if (c->Perform(CM_DIALOGKEY, m.WParam, m.LParam)) {
                m.Result = 1;
                return;
            }
        }
        return;
    case CM_FONTCHANGED:
        if (handle_)
            ::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), TRUE);
        for (TControl* c : controls_)
            c->Perform(CM_PARENTFONTCHANGED, 0, 0);
        FontChanged();
        return;
    case CM_COLORCHANGED:
        for (TControl* c : controls_)
            c->Perform(CM_PARENTCOLORCHANGED, 0, 0);
        Invalidate();
        return;
    case CM_BIDIMODECHANGED:
        // The children first: the window made again below makes theirs again too.
        for (TControl* c : std::vector<TControl*>(controls_))
            c->Perform(CM_PARENTBIDIMODECHANGED, 0, 0);
        // Through the message, so a component watching this window sees it made anew.
        if (handle_)
            Perform(CM_RECREATEWND, 0, 0);
        Invalidate();
        return;
    case CM_ENABLEDCHANGED:
        if (handle_)
            ::EnableWindow(handle_, Enabled());
        Invalidate();
        return;
    case CM_VISIBLECHANGED:
        if (Visible())
            UpdateShowing();
        if (handle_)
            ::ShowWindow(handle_, Visible() ? SW_SHOWNOACTIVATE : SW_HIDE);
        return;
    case CM_RECREATEWND: RecreateWnd(); return;
    case CM_TEXTCHANGED: Invalidate(); return;
    default: break;
    }

    if (IsMouseMessage(m.Msg)) {
        TPoint p = MessagePoint(m.LParam);
        TControl* target = nullptr;
        if (captureControl && captureControl->Parent() == this && !dynamic_cast<TWinControl*>(captureControl))
            target = captureControl;
        else if (!captureControl || captureControl == this)
            target = ControlAtPos(p);
        if (m.Msg == WM_MOUSEMOVE) {
            TControl* over = target ? target : this;
            if (over != mouseControl) {
                TControl* old = mouseControl;
                mouseControl = over;
                if (old)
                    old->Perform(CM_MOUSELEAVE, 0, 0);
                over->Perform(CM_MOUSEENTER, 0, 0);
            }
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, handle_, 0};
            ::TrackMouseEvent(&tme);
        }
        if (target) {
            TPoint local{p.X - target->Left(), p.Y - target->Top()};
            target->Perform(m.Msg, m.WParam, PointToLParam(local));
            // The window itself still needs the message for capture and default handling.
            if (m.Msg != WM_MOUSEMOVE)
                DefaultHandler(m);
            return;
        }
    }
    TControl::WndProc(m);
}

// --- TCustomControl ---

namespace {

// A canvas over the DC the control hands it while painting, or, outside painting, over a
// window DC taken on demand and given back when the program next goes idle.
class TControlCanvas : public TCanvas {
public:
    explicit TControlCanvas(TWinControl* control) : control_(control) {}
    ~TControlCanvas() override { Release(); }
    void Release()
    {
        if (ownDC_) {
            HDC dc = ownDC_;
            ownDC_ = nullptr;
            SetHandle(nullptr);
            ::ReleaseDC(wnd_, dc);
            Holders().erase(std::remove(Holders().begin(), Holders().end(), this), Holders().end());
        }
    }
    static std::vector<TControlCanvas*>& Holders()
    {
        static std::vector<TControlCanvas*> holders;
        return holders;
    }

protected:
    void CreateHandle() override
    {
        if (!control_->HandleAllocated())
            return;
        wnd_ = control_->Handle();
        ownDC_ = ::GetDC(wnd_);
        if (!ownDC_)
            return;
        Holders().push_back(this);
        SetHandle(ownDC_);
    }

private:
    TWinControl* control_;  // not owned
    HWND wnd_ = nullptr;    // not owned
    HDC ownDC_ = nullptr;
};

}  // namespace

void TCustomControl::Publish(Table&) {}

TCustomControl::TCustomControl(rtl::TComponent* owner)
    : TWinControl(owner), canvas_(std::make_unique<TControlCanvas>(this))
{
}

TCustomControl::~TCustomControl()
{
    Destroying();
    DestroyHandle();
}

void TCustomControl::ReleaseCanvasHandle() { static_cast<TControlCanvas*>(canvas_.get())->Release(); }

void TCustomControl::DestroyWnd()
{
    // A window DC must go back before its window goes.
    static_cast<TControlCanvas*>(canvas_.get())->Release();
    TWinControl::DestroyWnd();
}

void FreeDeviceContexts()
{
    // A canvas locked by another thread keeps its DC until the next idle time.
    std::vector<TControlCanvas*> holders = TControlCanvas::Holders();
    for (TControlCanvas* canvas : holders)
        if (canvas->TryLock()) {
            canvas->Release();
            canvas->Unlock();
        }
}

void TCustomControl::PaintWindow(HDC dc)
{
    canvas_->Lock();
    static_cast<TControlCanvas*>(canvas_.get())->Release();
    canvas_->SetHandle(dc);
    try {
        canvas_->Font()->Assign(Font());
        canvas_->Brush()->SetColor(Color());
        Paint();
    } catch (...) {
        canvas_->SetHandle(nullptr);
        canvas_->Unlock();
        throw;
    }
    canvas_->SetHandle(nullptr);
    canvas_->Unlock();
}

// --- TGraphicControl ---

void TGraphicControl::Publish(Table&) {}

TGraphicControl::TGraphicControl(rtl::TComponent* owner)
    : TControl(owner), canvas_(std::make_unique<TCanvas>())
{
}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::WndProc(TMessage& m)
{
    if (m.Msg == WM_PAINT && m.WParam) {
        canvas_->Lock();
        canvas_->SetHandle(reinterpret_cast<HDC>(m.WParam));
        try {
            canvas_->Font()->Assign(Font());
            canvas_->Brush()->SetColor(Color());
            Paint();
        } catch (...) {
            canvas_->SetHandle(nullptr);
            canvas_->Unlock();
            throw;
        }
        canvas_->SetHandle(nullptr);
        canvas_->Unlock();
        return;
    }
    TControl::WndProc(m);
}

}  // namespace win
