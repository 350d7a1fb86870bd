// The program: the application object with its message loop, hints and exception reports, the
// screen, and the forms unit that makes both.
#include "platform/win/Forms.h"

#include "platform/rtl/Files.h"
#include "platform/rtl/Thread.h"
#include "platform/win/Menus.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace win {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

void InitializeForms()
{
    Application = new TApplication(nullptr);
    Screen = new TScreen(nullptr);
}

void FinalizeForms()
{
    delete Application;
    Application = nullptr;
    delete Screen;
    Screen = nullptr;
}

void HandleControlException(rtl::TObject* sender)
{
    if (Application)
        Application->HandleException(sender);
}

// --- TScreen ---

void TScreen::Publish(Table&) {}

TScreen::TScreen(rtl::TComponent* owner) : rtl::TComponent(owner)
{
    HDC dc = ::GetDC(nullptr);
    if (dc) {
        pixelsPerInch_ = ::GetDeviceCaps(dc, LOGPIXELSY);
        ::ReleaseDC(nullptr, dc);
    }
    auto std = [](LPCSTR id) { return ::LoadCursorA(nullptr, id); };
    cursors_[crDefault] = std(reinterpret_cast<LPCSTR>(IDC_ARROW));
    cursors_[crNone] = nullptr;
    cursors_[crArrow] = std(reinterpret_cast<LPCSTR>(IDC_ARROW));
    cursors_[crCross] = std(reinterpret_cast<LPCSTR>(IDC_CROSS));
    cursors_[crIBeam] = std(reinterpret_cast<LPCSTR>(IDC_IBEAM));
    cursors_[crSizeNESW] = std(reinterpret_cast<LPCSTR>(IDC_SIZENESW));
    cursors_[crSizeNS] = std(reinterpret_cast<LPCSTR>(IDC_SIZENS));
    cursors_[crSizeNWSE] = std(reinterpret_cast<LPCSTR>(IDC_SIZENWSE));
    cursors_[crSizeWE] = std(reinterpret_cast<LPCSTR>(IDC_SIZEWE));
    cursors_[crUpArrow] = std(reinterpret_cast<LPCSTR>(IDC_UPARROW));
    cursors_[crHourGlass] = std(reinterpret_cast<LPCSTR>(IDC_WAIT));
    cursors_[crDrag] = std(reinterpret_cast<LPCSTR>(IDC_ARROW));
    cursors_[crNoDrop] = std(reinterpret_cast<LPCSTR>(IDC_NO));
    cursors_[crHSplit] = std(reinterpret_cast<LPCSTR>(IDC_SIZEWE));
    cursors_[crVSplit] = std(reinterpret_cast<LPCSTR>(IDC_SIZENS));
    cursors_[crMultiDrag] = std(reinterpret_cast<LPCSTR>(IDC_ARROW));
    cursors_[crSQLWait] = std(reinterpret_cast<LPCSTR>(IDC_WAIT));
    cursors_[crNo] = std(reinterpret_cast<LPCSTR>(IDC_NO));
    cursors_[crAppStart] = std(reinterpret_cast<LPCSTR>(IDC_APPSTARTING));
    cursors_[crHelp] = std(reinterpret_cast<LPCSTR>(IDC_HELP));
    cursors_[crHandPoint] = std(reinterpret_cast<LPCSTR>(IDC_HAND));
    cursors_[crSizeAll] = std(reinterpret_cast<LPCSTR>(IDC_SIZEALL));
}

TRect TScreen::WorkAreaRect() const
{
    RECT r{0, 0, Width(), Height()};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return FromRECT(r);
}

HCURSOR TScreen::Cursors(TCursor index) const
{
    auto it = cursors_.find(index);
    if (it != cursors_.end())
        return it->second;
    return cursors_.at(crDefault);
}

void TScreen::SetCursors(TCursor index, HCURSOR cursor)
{
    if (index == crDefault && !cursor)
        return;
    cursors_[index] = cursor;
}

void TScreen::SetCursor(TCursor v)
{
    if (v == cursor_)
        return;
    cursor_ = v;
    if (v == crDefault) {
        // Let the window under the mouse choose again.
        POINT p;
        ::GetCursorPos(&p);
        HWND wnd = ::WindowFromPoint(p);
        if (wnd)
            ::SendMessageA(
                wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd),
                MAKELPARAM(::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)), WM_MOUSEMOVE));
    } else {
        ::SetCursor(Cursors(v));
    }
}

TCustomForm* TScreen::Forms(std::int32_t index) const
{
    if (index < 0 || index >= FormCount())
        throw rtl::EListError("List index out of bounds (" + std::to_string(index) + ")");
    return forms_[static_cast<size_t>(index)];
}

void TScreen::RemoveForm(TCustomForm* form)
{
    forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
    if (activeForm_ == form)
        activeForm_ = nullptr;
}

// --- TApplication ---

void TApplication::Publish(Table&) {}

TApplication::TApplication(rtl::TComponent* owner) : rtl::TComponent(owner)
{
    handle_ = AllocateHWnd([this](TMessage& m) { AppWndProc(m); });
    HWND wnd = handle_;
    // A worker that queues a call for the main thread wakes the loop with a message.
    rtl::SetWakeMainThread([wnd] { ::PostMessageA(wnd, CM_WAKEMAINTHREAD, 0, 0); });
}

TApplication::~TApplication()
{
    rtl::SetWakeMainThread(nullptr);
    // OnDestroy of each form runs while the form is still whole, before any destructor.
    for (std::int32_t i = ComponentCount() - 1; i >= 0; --i)
        if (auto* form = dynamic_cast<TCustomForm*>(Components(i)))
            form->DoDestroy();
    DestroyComponents();
    CancelHint(nullptr);
    if (hintWindow_)
        ::DestroyWindow(hintWindow_);
    hintWindow_ = nullptr;
    DeallocateHWnd(handle_);
    handle_ = nullptr;
}

void TApplication::Initialize()
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
}

std::string TApplication::ExeName() const { return rtl::ExecutableFileName(); }

void TApplication::SetTitle(const std::string& v)
{
    title_ = v;
    if (handle_)
        ::SetWindowTextA(handle_, v.c_str());
}

namespace {
constexpr UINT_PTR kHintShowTimer = 1;
constexpr UINT_PTR kHintHideTimer = 2;
}  // namespace

bool TApplication::WantsHint(TControl* control) const
{
    if (!showHint_ || !control || control->Hint.empty())
        return false;
    if (control->ShowHint)
        return true;
    TCustomForm* form = control->GetParentForm();
    return form && form->ShowHint;
}

void TApplication::ActivateHint(TControl* control)
{
    CancelHint(nullptr);
    if (!WantsHint(control))
        return;
    hintControl_ = control;
    ::SetTimer(handle_, kHintShowTimer, static_cast<UINT>(std::max<std::int32_t>(hintPause_, 1)), nullptr);
}

void TApplication::CancelHint(TControl* control)
{
    if (control && control != hintControl_)
        return;
    if (!handle_)
        return;
    ::KillTimer(handle_, kHintShowTimer);
    ::KillTimer(handle_, kHintHideTimer);
    hintControl_ = nullptr;
    if (hintWindow_) {
        TTTOOLINFOA ti{};
        ti.cbSize = sizeof(ti);
        ti.hwnd = handle_;
        ti.uId = 1;
        ::SendMessageA(hintWindow_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
    }
}

bool TApplication::HintShowing() const { return hintWindow_ && ::IsWindowVisible(hintWindow_); }

void TApplication::ShowHintNow()
{
    ::KillTimer(handle_, kHintShowTimer);
    TControl* control = hintControl_;
    if (!control || !WantsHint(control))
        return;
    TTTOOLINFOA ti{};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    ti.hwnd = handle_;
    ti.uId = 1;
    hintText_ = control->Hint;
    ti.lpszText = hintText_.data();
    if (!hintWindow_) {
        hintWindow_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr,
                                        ::GetModuleHandleA(nullptr), nullptr);
        if (!hintWindow_)
            return;
        ::SendMessageA(hintWindow_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    } else {
        ::SendMessageA(hintWindow_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
    }
    // Below the mouse pointer, as hints usually appear.
    POINT p;
    ::GetCursorPos(&p);
    ::SendMessageA(hintWindow_, TTM_TRACKPOSITION, 0, MAKELPARAM(p.x, p.y + 20));
    ::SendMessageA(hintWindow_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    ::SetTimer(handle_, kHintHideTimer, static_cast<UINT>(std::max<std::int32_t>(hintHidePause_, 1)),
               nullptr);
}

void TApplication::AppWndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_TIMER:
        if (m.WParam == kHintShowTimer)
            ShowHintNow();
        else if (m.WParam == kHintHideTimer)
            CancelHint(nullptr);
        return;
    case CM_WAKEMAINTHREAD: DrainMainThreadQueue(); return;
    case CM_RELEASE: {
        auto* form = reinterpret_cast<TCustomForm*>(m.LParam);
        // Only forms that still exist: a form freed meanwhile has left the screen's list.
        for (std::int32_t i = 0; Screen && i < Screen->FormCount(); ++i)
            if (Screen->Forms(i) == form) {
                form->DoDestroy();
                delete form;
                break;
            }
        return;
    }
    default: m.Result = ::DefWindowProcA(handle_, m.Msg, m.WParam, m.LParam); return;
    }
}

bool TApplication::IsKeyMsg(MSG& msg)
{
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN)
        return false;
    HWND wnd = msg.hwnd;
    TWinControl* control = TWinControl::FindControl(wnd);
    // Inner windows of standard controls (the edit of a combo box) speak for their control.
    while (!control && wnd) {
        wnd = ::GetParent(wnd);
        control = TWinControl::FindControl(wnd);
    }
    if (!control)
        return false;
    std::uint16_t key = static_cast<std::uint16_t>(msg.wParam);
    if (TCustomForm* form = control->GetParentForm();
        form && form->Menu() && form->Menu()->IsShortCut(key, KeyboardStateToShiftState()))
        return true;
    if (key != VK_TAB && key != VK_RETURN && key != VK_ESCAPE)
        return false;
    LRESULT code = ::SendMessageA(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if (code & DLGC_WANTALLKEYS)
        return false;
    if (key == VK_TAB && (code & DLGC_WANTTAB))
        return false;
    TCustomForm* form = control->GetParentForm();
    if (!form)
        return false;
    return form->Perform(CM_DIALOGKEY, key, msg.lParam) != 0;
}

bool TApplication::ProcessMessage(MSG& msg)
{
    if (!::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        exitCode_ = static_cast<int>(msg.wParam);
        return true;
    }
    bool handled = false;
    OnMessage(msg, handled);
    // A copy: a handler may free its own events component.
    std::vector<TApplicationEvents*> sinks = eventSinks_;
    for (TApplicationEvents* sink : sinks) {
        if (handled)
            break;
        if (std::find(eventSinks_.begin(), eventSinks_.end(), sink) != eventSinks_.end())
            sink->OnMessage(msg, handled);
    }
    if (!handled && !IsKeyMsg(msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return true;
}

void TApplication::ProcessMessages()
{
    MSG msg;
    while (ProcessMessage(msg)) {
    }
    DrainMainThreadQueue();
}

bool TApplication::DrainMainThreadQueue()
{
    try {
        return rtl::CheckSynchronize();
    } catch (...) {
        // A failing queued call is reported; the calls behind it run at the next drain.
        HandleException(this);
        return true;
    }
}

void TApplication::HandleMessage()
{
    MSG msg;
    if (!ProcessMessage(msg)) {
        try {
            OnIdle(this);
            std::vector<TApplicationEvents*> sinks = eventSinks_;
            for (TApplicationEvents* sink : sinks)
                if (std::find(eventSinks_.begin(), eventSinks_.end(), sink) != eventSinks_.end())
                    sink->OnIdle(sink);
        } catch (...) {
            HandleException(this);
        }
        FreeDeviceContexts();
        if (!DrainMainThreadQueue())
            ::WaitMessage();
    }
}

void TApplication::Run()
{
    if (mainForm_ && showMainForm_)
        mainForm_->SetVisible(true);
    while (!terminated_) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(this);
        }
    }
}

void TApplication::Terminate() { ::PostQuitMessage(0); }

void TApplication::ShowException(const std::exception& e)
{
    std::string text = e.what();
    if (!text.empty() && text.back() != '.')
        text += '.';
    ::MessageBoxA(nullptr, text.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void TApplication::Report(rtl::TObject* sender, const std::exception& e)
{
    try {
        bool reported = false;
        if (OnException.Assigned()) {
            OnException(sender, e);
            reported = true;
        }
        std::vector<TApplicationEvents*> sinks = eventSinks_;
        for (TApplicationEvents* sink : sinks)
            if (std::find(eventSinks_.begin(), eventSinks_.end(), sink) != eventSinks_.end() &&
                sink->OnException.Assigned()) {
                sink->OnException(sender, e);
                reported = true;
            }
        if (!reported)
            ShowException(e);
    } catch (...) {
        // A failing handler must not take the message loop down.
    }
}

// --- TApplicationEvents ---

void TApplicationEvents::Publish(Table& t)
{
    t.Event(RTL_MEMBER(OnException));
    t.Event(RTL_MEMBER(OnIdle));
    t.Event(RTL_MEMBER(OnMessage));
    t.Creatable();
}

TApplicationEvents::TApplicationEvents(rtl::TComponent* owner) : rtl::TComponent(owner)
{
    if (Application)
        Application->eventSinks_.push_back(this);
}

TApplicationEvents::~TApplicationEvents()
{
    if (Application) {
        auto& sinks = Application->eventSinks_;
        sinks.erase(std::remove(sinks.begin(), sinks.end(), this), sinks.end());
    }
}

void TApplication::HandleException(rtl::TObject* sender)
{
    std::exception_ptr current = std::current_exception();
    if (!current || handlingException_)
        return;
    handlingException_ = true;
    try {
        std::rethrow_exception(current);
    } catch (const rtl::EAbort&) {
    } catch (const std::exception& e) {
        Report(sender, e);
    } catch (...) {
        Report(sender, rtl::Exception("Unknown exception"));
    }
    handlingException_ = false;
}

}  // namespace win
