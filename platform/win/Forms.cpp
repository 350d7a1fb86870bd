// Forms: reading their descriptions, showing, closing and modal loops.
#include "platform/win/Forms.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/Strings.h"
#include "platform/win/Menus.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace win {

namespace {

struct DisableContext {
    HWND self;
    std::vector<HWND>* list;
};

BOOL CALLBACK DisableOtherWindow(HWND wnd, LPARAM lp)
{
    auto* c = reinterpret_cast<DisableContext*>(lp);
    // Hidden windows too: a form still being shown (a dialog run from its OnShow) must not
    // take input once it appears.
    char cls[32] = {};
    ::GetClassNameA(wnd, cls, sizeof cls);
    bool utility = std::strcmp(cls, "VaUtilWindow") == 0 || std::strcmp(cls, TOOLTIPS_CLASSA) == 0;
    if (wnd != c->self && !utility && ::IsWindowEnabled(wnd)) {
        c->list->push_back(wnd);
        ::EnableWindow(wnd, FALSE);
    }
    return TRUE;
}

}  // namespace

// --- TCustomForm ---

void TCustomForm::Publish(Table& t)
{
    t.Property(RTL_GET_SET(ActiveControl));
    t.Property(RTL_MEMBER(AutoScroll));
    t.Property(RTL_GET_SET(BorderIcons)).Default(TBorderIcons{biSystemMenu, biMinimize, biMaximize});
    t.Property(RTL_GET_SET(BorderStyle)).Default(bsSizeable);
    t.Property(RTL_GET_SET(FormStyle)).Default(fsNormal);
    t.Property(RTL_MEMBER(KeyPreview)).Default(false);
    t.Property(RTL_GET_SET(Menu));
    t.Property(RTL_GET_SET(PixelsPerInch));
    t.Property(RTL_GET_SET(Position)).Default(poDesigned);
    t.Property(RTL_MEMBER(Scaled)).Default(true);
    t.Property(RTL_GET_SET(WindowState)).Default(wsNormal);
    t.Event(RTL_MEMBER(OnActivate));
    t.Event(RTL_MEMBER(OnClose));
    t.Event(RTL_MEMBER(OnCloseQuery));
    t.Event(RTL_MEMBER(OnCreate));
    t.Event(RTL_MEMBER(OnDeactivate));
    t.Event(RTL_MEMBER(OnDestroy));
    t.Event(RTL_MEMBER(OnHide));
    t.Event(RTL_MEMBER(OnPaint));
    t.Event(RTL_MEMBER(OnShow));
}

void TForm::Publish(Table&) {}

TCustomForm::TCustomForm(rtl::TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>())
{
    InitVisible(false);
    controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
    SetColor(clBtnFace);
    SetParentFont(false);
    SetBounds(0, 0, 320, 240);
    if (Screen) {
        pixelsPerInch_ = Screen->PixelsPerInch();
        Screen->AddForm(this);
    }
}

TCustomForm::~TCustomForm()
{
    DoDestroy();
    // An MDI child's window goes while the form and whatever watches its messages still stand:
    // they act on its destruction (a frame gives the client its maximized state back).
    if (formStyle_ == fsMDIChild)
        DestroyHandle();
    Destroying();
    if (Screen)
        Screen->RemoveForm(this);
    if (Application && Application->MainForm() == this)
        Application->SetMainForm(nullptr);
    // Children first: their windows go with ours, and their handlers may still look at us.
    while (ControlCount() > 0) {
        TControl* child = Controls(ControlCount() - 1);
        RemoveControl(child);
        delete child;
    }
    DestroyHandle();
}

void TCustomForm::ReadFromStream(rtl::TStream& stream)
{
    {
        rtl::TReader reader(stream);
        reader.ReadRootComponent(this);
    }
    DoCreate();
    if (Visible())
        UpdateWindowVisibility();
}

void TCustomForm::ReadFromResource()
{
    std::string name = rtl::UpperCase(ClassName());
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC res = ::FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!res)
        throw EResNotFound("Resource " + ClassName() + " not found");
    HGLOBAL data = ::LoadResource(module, res);
    DWORD size = ::SizeofResource(module, res);
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes)
        throw EResNotFound("Resource " + ClassName() + " not found");
    rtl::TReadOnlyMemoryStream stream(bytes, size);
    ReadFromStream(stream);
}

void TCustomForm::DoDestroy()
{
    if (destroyFired_)
        return;
    destroyFired_ = true;
    try {
        OnDestroy(this);
    } catch (...) {
        HandleControlException(this);
    }
}

void TCustomForm::SetClientWidth(std::int32_t v)
{
    if (ComponentState().Contains(rtl::csLoading))
        pendingClientWidth_ = v;
    else
        TWinControl::SetClientWidth(v);
}

void TCustomForm::SetClientHeight(std::int32_t v)
{
    if (ComponentState().Contains(rtl::csLoading))
        pendingClientHeight_ = v;
    else
        TWinControl::SetClientHeight(v);
}

void TCustomForm::Loaded()
{
    TWinControl::Loaded();
    if (pendingClientWidth_ >= 0)
        SetClientWidth(std::exchange(pendingClientWidth_, -1));
    if (pendingClientHeight_ >= 0)
        SetClientHeight(std::exchange(pendingClientHeight_, -1));
    // A form designed at another resolution is scaled to the screen's when Scaled.
    if (Scaled && Screen && pixelsPerInch_ > 0 && pixelsPerInch_ != Screen->PixelsPerInch()) {
        int m = Screen->PixelsPerInch(), d = pixelsPerInch_;
        int clientWidth = ClientWidth(), clientHeight = ClientHeight();
        for (std::int32_t i = ControlCount() - 1; i >= 0; --i)
            Controls(i)->ChangeScale(m, d);
        Font()->SetHeight(static_cast<std::int32_t>(static_cast<std::int64_t>(Font()->Height()) * m / d));
        SetClientWidth(static_cast<std::int32_t>(static_cast<std::int64_t>(clientWidth) * m / d));
        SetClientHeight(static_cast<std::int32_t>(static_cast<std::int64_t>(clientHeight) * m / d));
        pixelsPerInch_ = m;
    }
    if (activeControl_ && !activeControl_->Visible())
        activeControl_ = nullptr;
}

void TCustomForm::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation != rtl::opRemove)
        return;
    if (component == activeControl_)
        activeControl_ = nullptr;
    if (component == static_cast<rtl::TComponent*>(menu_)) {
        menu_ = nullptr;
        if (HandleAllocated() && !ComponentState().Contains(rtl::csDestroying))
            ::SetMenu(Handle(), nullptr);
    }
}

DWORD TCustomForm::StyleFor(DWORD& exStyle) const
{
    DWORD style = WS_CLIPCHILDREN;
    exStyle = 0;
    TBorderIcons icons = borderIcons_;
    switch (formBorderStyle_) {
    case bsNone:
        style |= WS_POPUP;
        icons = {};
        break;
    case bsSingle: style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable: style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
        style |= WS_POPUP | WS_CAPTION;
        exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        icons = icons * TBorderIcons{biSystemMenu, biHelp};
        break;
    case bsToolWindow:
        style |= WS_CAPTION;
        exStyle |= WS_EX_TOOLWINDOW;
        icons = icons * TBorderIcons{biSystemMenu};
        break;
    case bsSizeToolWin:
        style |= WS_CAPTION | WS_THICKFRAME;
        exStyle |= WS_EX_TOOLWINDOW;
        icons = icons * TBorderIcons{biSystemMenu};
        break;
    }
    if (icons.Contains(biSystemMenu)) {
        style |= WS_SYSMENU;
        if (icons.Contains(biMinimize))
            style |= WS_MINIMIZEBOX;
        if (icons.Contains(biMaximize))
            style |= WS_MAXIMIZEBOX;
        if (icons.Contains(biHelp) && !icons.Contains(biMinimize) && !icons.Contains(biMaximize))
            exStyle |= WS_EX_CONTEXTHELP;
    }
    if (formStyle_ == fsStayOnTop)
        exStyle |= WS_EX_TOPMOST;
    if (formStyle_ == fsMDIChild) {
        // A window inside the parent's MDI client; the client adds the caption and sizing frame
        // every MDI child has.
        style = (style & ~WS_POPUP) | WS_CHILD | WS_CLIPSIBLINGS;
        exStyle |= WS_EX_MDICHILD;
    }
    return style;
}

HWND TCustomForm::MainClientHandle()
{
    TCustomForm* main = Application ? Application->MainForm() : nullptr;
    if (!main || main->FormStyle() != fsMDIForm)
        return nullptr;
    main->HandleNeeded();
    return main->ClientHandle();
}

void TCustomForm::CreateParams(TCreateParams& p)
{
    TWinControl::CreateParams(p);
    DWORD ex = 0;
    p.Style = StyleFor(ex);
    p.ExStyle |= ex;
    if (!Enabled())
        p.Style |= WS_DISABLED;
    if (formStyle_ == fsMDIChild) {
        p.WndParent = MainClientHandle();
        if (!p.WndParent)
            throw rtl::EInvalidOperation("Cannot create an MDI child: the main form is no MDI parent");
        return;
    }
    p.WndParent = ParentWindow();
    // Secondary forms stay above the main form and share its taskbar button.
    if (!p.WndParent && Application && Application->MainForm() && Application->MainForm() != this &&
        Application->MainForm()->HandleAllocated())
        p.WndParent = Application->MainForm()->Handle();
    p.WindowClass.hIcon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
}

void TCustomForm::CreateWnd()
{
    TWinControl::CreateWnd();
    if (menu_)
        ::SetMenu(Handle(), menu_->Handle());
    if (formStyle_ == fsMDIForm) {
        CLIENTCREATESTRUCT ccs{nullptr, 0xFF00};
        RECT r;
        ::GetClientRect(Handle(), &r);
        clientHandle_ = ::CreateWindowExA(
            WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
            WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL, 0, 0,
            r.right, r.bottom, Handle(), nullptr, ::GetModuleHandleA(nullptr), &ccs);
        if (!clientHandle_)
            throw rtl::Exception("Error creating window");
        Realign();
    }
    // The client shows every child it makes; one made before its showing waits hidden.
    if (formStyle_ == fsMDIChild && !Visible())
        ::ShowWindow(Handle(), SW_HIDE);
}

void TCustomForm::DestroyWnd()
{
    TWinControl::DestroyWnd();
    clientHandle_ = nullptr;
}

void TCustomForm::DestroyWindowHandle()
{
    // The client is told, so it activates another child and takes this one's maximized state and
    // menu entries away; it destroys the window itself.
    HWND client = formStyle_ == fsMDIChild && HandleAllocated() ? ::GetParent(Handle()) : nullptr;
    if (client && ::IsWindow(client))
        ::SendMessageA(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(Handle()), 0);
    TWinControl::DestroyWindowHandle();
}

void TCustomForm::AlignControls(TControl* control, TRect& rect)
{
    TWinControl::AlignControls(control, rect);
    if (!clientHandle_)
        return;
    // What the aligned controls leave, unless something drawn over the whole form narrows it.
    TRect area = rect;
    Perform(CM_MDICLIENTAREA, 0, reinterpret_cast<LPARAM>(&area));
    ::SetWindowPos(clientHandle_, HWND_TOP, area.Left, area.Top, std::max<std::int32_t>(area.Width(), 0),
                   std::max<std::int32_t>(area.Height(), 0), SWP_NOACTIVATE);
}

void TCustomForm::DefaultHandler(TMessage& m)
{
    if (HandleAllocated() && (m.Msg < CM_BASE || m.Msg >= 0xC000)) {
        if (formStyle_ == fsMDIForm) {
            m.Result = ::DefFrameProcA(Handle(), clientHandle_, m.Msg, m.WParam, m.LParam);
            return;
        }
        if (formStyle_ == fsMDIChild) {
            m.Result = ::DefMDIChildProcA(Handle(), m.Msg, m.WParam, m.LParam);
            return;
        }
    }
    TWinControl::DefaultHandler(m);
}

std::int32_t TCustomForm::MDIChildCount() const
{
    if (formStyle_ != fsMDIForm || !clientHandle_ || !Screen)
        return 0;
    std::int32_t n = 0;
    for (std::int32_t i = 0; i < Screen->FormCount(); ++i) {
        TCustomForm* f = Screen->Forms(i);
        if (f->FormStyle() == fsMDIChild && f->HandleAllocated() && ::GetParent(f->Handle()) == clientHandle_)
            ++n;
    }
    return n;
}

TCustomForm* TCustomForm::ActiveMDIChild() const
{
    if (formStyle_ != fsMDIForm || !clientHandle_)
        return nullptr;
    HWND active = reinterpret_cast<HWND>(::SendMessageA(clientHandle_, WM_MDIGETACTIVE, 0, 0));
    return dynamic_cast<TCustomForm*>(FindControl(active));
}

TRect TCustomForm::ClientRect()
{
    if (HandleAllocated())
        return TWinControl::ClientRect();
    DWORD ex = 0;
    DWORD style = StyleFor(ex);
    RECT r{0, 0, 0, 0};
    ::AdjustWindowRectEx(&r, style, menu_ != nullptr, ex);
    return Rect(0, 0, std::max<std::int32_t>(Width() - (r.right - r.left), 0),
                std::max<std::int32_t>(Height() - (r.bottom - r.top), 0));
}

void TCustomForm::SetBorderStyle(TBorderStyle v)
{
    rtl::SetAndNotify(formBorderStyle_, v, [this] {
        SetBorderStyleValue(formBorderStyle_);
        RecreateWnd();
    });
}

void TCustomForm::SetFormStyle(TFormStyle v)
{
    if (v == formStyle_)
        return;
    auto isMDI = [](TFormStyle s) { return s == fsMDIChild || s == fsMDIForm; };
    // Into or out of MDI, the window is of another kind.
    const bool remake = isMDI(v) || isMDI(formStyle_);
    formStyle_ = v;
    if (!HandleAllocated())
        return;
    if (remake)
        RecreateWnd();
    else
        ::SetWindowPos(Handle(), v == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TWindowState TCustomForm::WindowState()
{
    if (HandleAllocated() && Showing()) {
        if (::IsIconic(Handle()))
            return wsMinimized;
        if (::IsZoomed(Handle()))
            return wsMaximized;
        return wsNormal;
    }
    return windowState_;
}

void TCustomForm::SetWindowState(TWindowState v)
{
    windowState_ = v;
    if (HandleAllocated() && Showing()) {
        if (formStyle_ == fsMDIChild) {
            ApplyMDIChildState(v);
            return;
        }
        static const int kShow[] = {SW_RESTORE, SW_MINIMIZE, SW_SHOWMAXIMIZED};
        ::ShowWindow(Handle(), kShow[v]);
    }
}

void TCustomForm::ApplyMDIChildState(TWindowState state)
{
    HWND wnd = Handle();
    HWND client = ::GetParent(wnd);
    switch (state) {
    case wsMaximized: ::SendMessageA(client, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(wnd), 0); break;
    case wsMinimized:
        // The client has no message of its own for this; the child's default procedure minimizes
        // it the MDI way (a maximized child gives the frame's menu back first).
        ::SendMessageA(wnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        break;
    case wsNormal:
        // An icon of a maximized child comes back maximized first.
        for (int i = 0; i < 2 && (::IsZoomed(wnd) || ::IsIconic(wnd)); ++i)
            ::SendMessageA(client, WM_MDIRESTORE, reinterpret_cast<WPARAM>(wnd), 0);
        break;
    }
}

void TCustomForm::ActivateMDIChild()
{
    HWND wnd = Handle();
    ::SendMessageA(::GetParent(wnd), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(wnd), 0);
}

void TCustomForm::SetActiveControl(TWinControl* v)
{
    if (v == activeControl_)
        return;
    if (v && ComponentState().Contains(rtl::csLoading)) {
        activeControl_ = v;
        return;
    }
    if (v && (v == this || v->GetParentForm() != this || !v->CanFocus()))
        throw rtl::EInvalidOperation("Cannot focus a disabled or invisible window");
    activeControl_ = v;
    if (v && active_ && v->HandleAllocated())
        ::SetFocus(v->Handle());
}

void TCustomForm::FocusControl(TWinControl* control)
{
    activeControl_ = control;
    if (control && control->HandleAllocated() && Showing())
        ::SetFocus(control->Handle());
}

void TCustomForm::SetMenu(TMainMenu* v)
{
    if (v == menu_)
        return;
    if (menu_)
        menu_->SetWindowHandle(nullptr);
    menu_ = v;
    if (v) {
        v->FreeNotification(this);
        if (HandleAllocated())
            v->SetWindowHandle(Handle());
    } else if (HandleAllocated()) {
        ::SetMenu(Handle(), nullptr);
    }
}

void TCustomForm::MenuChanged()
{
    if (HandleAllocated())
        ::DrawMenuBar(Handle());
}

void TCustomForm::ApplyPosition()
{
    if (positioned_)
        return;
    positioned_ = true;
    int w = Width(), h = Height();
    switch (position_) {
    case poScreenCenter:
    case poDesktopCenter: SetBounds((Screen->Width() - w) / 2, (Screen->Height() - h) / 2, w, h); break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
        TCustomForm* center = position_ == poOwnerFormCenter ? dynamic_cast<TCustomForm*>(Owner()) : nullptr;
        if (!center && Application)
            center = Application->MainForm();
        if (center && center != this)
            SetBounds(center->Left() + (center->Width() - w) / 2, center->Top() + (center->Height() - h) / 2,
                      w, h);
        else
            SetBounds((Screen->Width() - w) / 2, (Screen->Height() - h) / 2, w, h);
        break;
    }
    default: break;
    }
}

void TCustomForm::UpdateWindowVisibility()
{
    if (ComponentState().Contains(rtl::csLoading) || ComponentState().Contains(rtl::csDestroying))
        return;
    if (Visible() && formStyle_ == fsMDIChild) {
        // Placed in its client's coordinates as designed; shown (the client shows a child as it
        // makes it), put in its state and activated through the client.
        if (HandleAllocated() && (::GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE))
            return;
        HWND wnd = Handle();
        DoShow();
        ::ShowWindow(wnd, SW_SHOWNA);
        ApplyMDIChildState(windowState_);
        ActivateMDIChild();
        if (activeControl_ && activeControl_->CanFocus())
            ::SetFocus(activeControl_->Handle());
        return;
    }
    if (Visible()) {
        ApplyPosition();
        HWND wnd = Handle();
        if (::IsWindowVisible(wnd))
            return;
        DoShow();
        static const int kShow[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED};
        ::ShowWindow(wnd, kShow[windowState_]);
        ::SetForegroundWindow(wnd);
        if (activeControl_ && activeControl_->CanFocus())
            ::SetFocus(activeControl_->Handle());
    } else if (HandleAllocated() && ::IsWindowVisible(Handle())) {
        DoHide();
        ::ShowWindow(Handle(), SW_HIDE);
    }
}

void TCustomForm::Show()
{
    SetVisible(true);
    if (!HandleAllocated())
        return;
    if (formStyle_ == fsMDIChild)
        ActivateMDIChild();
    else
        ::SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

bool TCustomForm::CloseQuery()
{
    bool canClose = true;
    OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::Close()
{
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery())
        return;
    // An MDI child goes for good: its client has no place for a hidden child.
    TCloseAction action =
        (Application && Application->MainForm() == this) || formStyle_ == fsMDIChild ? caFree : caHide;
    DoClose(action);
    if (action == caNone)
        return;
    if (Application && Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    switch (action) {
    case caHide: SetVisible(false); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
    }
}

void TCustomForm::CloseModal()
{
    TCloseAction action = caNone;
    if (CloseQuery()) {
        action = caHide;
        DoClose(action);
    }
    if (action == caNone)
        modalResult_ = mrNone;
}

TModalResult TCustomForm::ShowModal()
{
    if (Visible() || !Enabled() || modal_)
        throw rtl::EInvalidOperation("Cannot make a visible window modal");
    if (GetCaptureControl())
        SetCaptureControl(nullptr);
    ::ReleaseCapture();
    HWND previous = ::GetActiveWindow();
    // Every other enabled top-level window of this thread waits for the modal form.
    std::vector<HWND> disabled;
    DisableContext ctx{Handle(), &disabled};
    ::EnumThreadWindows(::GetCurrentThreadId(), DisableOtherWindow, reinterpret_cast<LPARAM>(&ctx));
    modal_ = true;
    modalResult_ = mrNone;
    auto finish = [&] {
        for (HWND w : disabled)
            if (::IsWindow(w))
                ::EnableWindow(w, TRUE);
        modal_ = false;
        if (!ComponentState().Contains(rtl::csDestroying))
            SetVisible(false);
        if (previous && ::IsWindow(previous))
            ::SetActiveWindow(previous);
    };
    try {
        Show();
        do {
            Application->HandleMessage();
            if (Application->Terminated())
                modalResult_ = mrCancel;
            else if (modalResult_ != mrNone)
                CloseModal();
        } while (modalResult_ == mrNone);
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return modalResult_;
}

void TCustomForm::Release()
{
    if (Application && Application->Handle())
        ::PostMessageA(Application->Handle(), CM_RELEASE, 0, reinterpret_cast<LPARAM>(this));
}

void TCustomForm::PaintWindow(HDC dc)
{
    canvas_->Lock();
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

void TCustomForm::ActivationChanged(bool active)
{
    active_ = active;
    if (!active) {
        OnDeactivate(this);
        return;
    }
    if (Screen)
        Screen->activeForm_ = this;
    if (activeControl_ && activeControl_->HandleAllocated() && activeControl_->CanFocus())
        ::SetFocus(activeControl_->Handle());
    OnActivate(this);
}

void TCustomForm::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case CM_VISIBLECHANGED: UpdateWindowVisibility(); return;
    case WM_CLOSE:
        Close();
        m.Result = 0;
        return;
    case WM_GETMINMAXINFO: {
        DefaultHandler(m);
        auto* mmi = reinterpret_cast<MINMAXINFO*>(m.LParam);
        TSizeConstraints* c = Constraints();
        if (c->MinWidth() > 0)
            mmi->ptMinTrackSize.x = c->MinWidth();
        if (c->MinHeight() > 0)
            mmi->ptMinTrackSize.y = c->MinHeight();
        if (c->MaxWidth() > 0)
            mmi->ptMaxTrackSize.x = c->MaxWidth();
        if (c->MaxHeight() > 0)
            mmi->ptMaxTrackSize.y = c->MaxHeight();
        return;
    }
    case WM_SIZE:
        // An MDI parent places its client itself; the frame procedure would size it to the whole
        // client area.
        if (formStyle_ == fsMDIForm) {
            m.Result = ::DefWindowProcA(Handle(), m.Msg, m.WParam, m.LParam);
            Realign();
            return;
        }
        break;
    case WM_MDIACTIVATE:
        // MDI children learn of their activation from their client, never by WM_ACTIVATE.
        if (formStyle_ == fsMDIChild) {
            DefaultHandler(m);
            const bool now = reinterpret_cast<HWND>(m.LParam) == Handle();
            if (now != active_)
                ActivationChanged(now);
            return;
        }
        break;
    case WM_ACTIVATE:
        DefaultHandler(m);
        ActivationChanged(LOWORD(m.WParam) != WA_INACTIVE);
        return;
    case WM_SYSCOMMAND:
        if ((m.WParam & 0xFFF0) == SC_CLOSE) {
            Close();
            m.Result = 0;
            return;
        }
        break;
    case CM_DIALOGKEY:
        if (m.WParam == VK_TAB && ::GetKeyState(VK_CONTROL) >= 0) {
            SelectNext(activeControl_, ::GetKeyState(VK_SHIFT) >= 0, true);
            m.Result = 1;
            return;
        }
        break;
    default: break;
    }
    TWinControl::WndProc(m);
}

}  // namespace win
