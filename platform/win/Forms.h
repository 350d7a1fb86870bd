// Forms, the application object with its message loop, and the screen.
#pragma once

#include "platform/rtl/Streams.h"
#include "platform/win/Controls.h"

#include <exception>
#include <map>
#include <vector>

namespace win {

class TMainMenu;

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
RTL_ENUM_INFO(TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
using TBorderIcons = rtl::TSet<TBorderIcon>;

enum TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
RTL_ENUM_INFO(TPosition, "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
              "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter")

enum TWindowState { wsNormal, wsMinimized, wsMaximized };
RTL_ENUM_INFO(TWindowState, "wsNormal", "wsMinimized", "wsMaximized")

enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
RTL_ENUM_INFO(TFormStyle, "fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop")

enum TCloseAction { caNone, caHide, caFree, caMinimize };
RTL_ENUM_INFO(TCloseAction, "caNone", "caHide", "caFree", "caMinimize")

using TCloseEvent = rtl::TEvent<void(rtl::TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = rtl::TEvent<void(rtl::TObject* Sender, bool& CanClose)>;
using TExceptionEvent = rtl::TEvent<void(rtl::TObject* Sender, const std::exception& E)>;
// Sees every message the loop takes from the queue, before it is dispatched; setting Handled
// drops it.
using TMessageEvent = rtl::TEvent<void(MSG& Msg, bool& Handled)>;

// Raised when a form's stored description is missing from the program's resources.
class EResNotFound : public rtl::Exception {
public:
    explicit EResNotFound(std::string message) : Exception(std::move(message)) {}
};

// A top-level window built from its stored description. Create a form class with
// TApplication::CreateForm or TCustomForm::CreateFromResource: the description (an RCDATA
// resource named after the class) is read after construction, then OnCreate runs.
class TCustomForm : public TWinControl {
    RTL_DECLARE_CLASS(TCustomForm, TWinControl)

public:
    // A form without a description; controls are added by code.
    explicit TCustomForm(rtl::TComponent* owner);
    ~TCustomForm() override;

    // Reads the description from a form stream into this form, then fires OnCreate.
    // Raises rtl::EReadError for a bad stream.
    void ReadFromStream(rtl::TStream& stream);
    // The same from the RCDATA resource named after the class (upper case, as the resource
    // compiler stores names). Raises EResNotFound "Resource TForm2 not found".
    void ReadFromResource();
    template <class F>
    static F* CreateFromResource(rtl::TComponent* owner)
    {
        F* form = new F(owner);
        try {
            form->ReadFromResource();
        } catch (...) {
            delete form;
            throw;
        }
        return form;
    }

    TBorderStyle BorderStyle() const { return formBorderStyle_; }
    void SetBorderStyle(TBorderStyle v);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons v) { rtl::SetAndNotify(borderIcons_, v, this, &Self::RecreateWnd); }
    TPosition Position() const { return position_; }
    void SetPosition(TPosition v) { position_ = v; }
    TWindowState WindowState();
    void SetWindowState(TWindowState v);
    // Only the stored state, without showing or changing the window: what it takes when next shown.
    void SetWindowStateField(TWindowState v) { windowState_ = v; }
    // fsMDIForm makes the form an MDI parent: its window holds an MDI client window, in which MDI
    // children live. fsMDIChild makes the form an MDI child of the main form, which must be an MDI
    // parent by the time the child's window is made (else rtl::EInvalidOperation "Cannot create an
    // MDI child: the main form is no MDI parent"). A change after the window exists makes it anew.
    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle v);
    // The MDI client window of an MDI parent (made with the form's window); nullptr otherwise.
    HWND ClientHandle() const { return clientHandle_; }
    // An MDI parent's children with windows, and the one its client shows as active (nullptr for
    // none, and for a form that is no MDI parent).
    std::int32_t MDIChildCount() const;
    TCustomForm* ActiveMDIChild() const;
    bool KeyPreview = false;
    bool Scaled = true;
    std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(std::int32_t v) { pixelsPerInch_ = v; }
    // Accepted for stored descriptions; forms here never scroll their client area.
    bool AutoScroll = false;
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult v) { modalResult_ = v; }
    TWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TWinControl* v);
    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* v);
    bool Active() const { return active_; }
    bool Modal() const { return modal_; }

    void Show();
    void Close();
    bool CloseQuery();
    // Shows the form and runs a message loop until ModalResult is set (by a button, by
    // Close, or by code); returns it. Other windows of the program are disabled meanwhile.
    // Raises rtl::EInvalidOperation "Cannot make a visible window modal".
    TModalResult ShowModal();
    // Frees the form from the message loop, after the current handler has returned.
    void Release();
    void FocusControl(TWinControl* control);
    // The menu of this form after the form's window has changed (called by the menu).
    void MenuChanged();

    TRect ClientRect() override;
    void DefaultHandler(TMessage& message) override;
    // While a description is read the client size waits for Loaded, when the border style
    // and the menu that decide the frame are known.
    void SetClientWidth(std::int32_t v) override;
    void SetClientHeight(std::int32_t v) override;
    void WndProc(TMessage& message) override;

    rtl::TNotifyEvent OnCreate;
    rtl::TNotifyEvent OnShow;
    rtl::TNotifyEvent OnHide;
    rtl::TNotifyEvent OnDestroy;
    rtl::TNotifyEvent OnActivate;
    rtl::TNotifyEvent OnDeactivate;
    rtl::TNotifyEvent OnPaint;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    // Used by controls of the form.
    void SetActiveControlValue(TWinControl* control) { activeControl_ = control; }

    // Fires OnDestroy once. Release and the application's own destruction call it before
    // deleting the form; the base destructor calls it too, but by then the members of a
    // derived form class are gone, so a form class whose OnDestroy handler uses its own
    // members and that is deleted directly calls DoDestroy first thing in its destructor.
    void DoDestroy();

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void DestroyWindowHandle() override;
    void AlignControls(TControl* control, TRect& rect) override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void Loaded() override;
    void PaintWindow(HDC dc) override;
    virtual void DoCreate() { OnCreate(this); }
    virtual void DoShow() { OnShow(this); }
    virtual void DoHide() { OnHide(this); }
    virtual void DoClose(TCloseAction& action) { OnClose(this, action); }
    virtual void Paint() { OnPaint(this); }
    TCanvas* Canvas() const { return canvas_.get(); }

private:
    void ApplyPosition();
    void UpdateWindowVisibility();
    // An MDI child's state, through its client's messages and its system commands.
    void ApplyMDIChildState(TWindowState state);
    // Sets Active, focuses the active control and fires OnActivate or OnDeactivate.
    void ActivationChanged(bool active);
    void ActivateMDIChild();
    // The MDI client a child of this form's style lives in, or nullptr.
    static HWND MainClientHandle();
    void CloseModal();
    DWORD StyleFor(DWORD& exStyle) const;

    TBorderStyle formBorderStyle_ = bsSizeable;
    TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
    TPosition position_ = poDesigned;
    TWindowState windowState_ = wsNormal;
    TFormStyle formStyle_ = fsNormal;
    std::int32_t pixelsPerInch_ = 96;
    TModalResult modalResult_ = mrNone;
    TWinControl* activeControl_ = nullptr;  // not owned
    TMainMenu* menu_ = nullptr;             // not owned
    bool active_ = false;
    bool modal_ = false;
    bool positioned_ = false;
    bool destroyFired_ = false;
    std::int32_t pendingClientWidth_ = -1;
    std::int32_t pendingClientHeight_ = -1;
    std::unique_ptr<TCanvas> canvas_;
    HWND clientHandle_ = nullptr;  // destroyed with the form's window
};

class TForm : public TCustomForm {
    RTL_DECLARE_CLASS(TForm, TCustomForm)

public:
    explicit TForm(rtl::TComponent* owner) : TCustomForm(owner) {}
};

// The screen: size, resolution, the cursor shown over the whole program, the cursor table.
class TScreen : public rtl::TComponent {
    RTL_DECLARE_CLASS(TScreen, rtl::TComponent)

public:
    explicit TScreen(rtl::TComponent* owner);

    std::int32_t Width() const { return ::GetSystemMetrics(SM_CXSCREEN); }
    std::int32_t Height() const { return ::GetSystemMetrics(SM_CYSCREEN); }
    std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
    TRect WorkAreaRect() const;

    // crDefault lets each control's own cursor show again.
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor v);
    // The cursor of a TCursor value; unknown values give the arrow.
    HCURSOR Cursors(TCursor index) const;
    // Adds or replaces a cursor; custom cursors use positive values. The table does not
    // destroy cursors: load them with LoadCursor (shared) or keep them for the whole run.
    void SetCursors(TCursor index, HCURSOR cursor);

    std::int32_t FormCount() const { return static_cast<std::int32_t>(forms_.size()); }
    TCustomForm* Forms(std::int32_t index) const;
    TCustomForm* ActiveForm() const { return activeForm_; }

private:
    friend class TCustomForm;
    void AddForm(TCustomForm* form) { forms_.push_back(form); }
    void RemoveForm(TCustomForm* form);

    std::int32_t pixelsPerInch_ = 96;
    TCursor cursor_ = crDefault;
    std::map<TCursor, HCURSOR> cursors_;
    std::vector<TCustomForm*> forms_;    // not owned
    TCustomForm* activeForm_ = nullptr;  // not owned
};

// The program: its forms, its message loop and its exception reporting.
class TApplication : public rtl::TComponent {
    RTL_DECLARE_CLASS(TApplication, rtl::TComponent)

public:
    explicit TApplication(rtl::TComponent* owner);
    ~TApplication() override;

    void Initialize();
    const std::string& Title() const { return title_; }
    // The program file's full path.
    std::string ExeName() const;
    void SetTitle(const std::string& v);
    // The hidden window that receives the program's private messages.
    HWND Handle() const { return handle_; }
    TCustomForm* MainForm() const { return mainForm_; }
    bool Terminated() const { return terminated_; }
    // The parameter of the quit message that ended the message loop: the program's exit code.
    int ExitCode() const { return exitCode_; }
    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool v) { showMainForm_ = v; }

    // Creates a form of class F owned by the application, sets `reference` before the
    // description is read (so OnCreate already sees it), reads it from the resources and
    // makes the first form created the main form.
    template <class F>
    void CreateForm(F*& reference)
    {
        F* form = new F(this);
        reference = form;
        try {
            form->ReadFromResource();
        } catch (...) {
            reference = nullptr;
            delete form;
            throw;
        }
        if (!mainForm_)
            mainForm_ = form;
    }
    void SetMainForm(TCustomForm* form) { mainForm_ = form; }

    // Shows the main form and dispatches messages until Terminate or the main form closes.
    void Run();
    // Dispatches every waiting message and the main-thread calls queued by workers.
    void ProcessMessages();
    // One message, or when none waits: the queued calls, then sleep until the next message.
    void HandleMessage();
    void Terminate();
    // Reports the exception being handled (call from a catch block): OnException when
    // assigned, otherwise a message box; EAbort stays silent. Never throws.
    void HandleException(rtl::TObject* sender);
    void ShowException(const std::exception& e);

    TExceptionEvent OnException;
    rtl::TNotifyEvent OnIdle;
    TMessageEvent OnMessage;

    // Hints: a control's Hint shows in a tip window after HintPause milliseconds of the
    // mouse resting on it, when the control's or its form's ShowHint is set, and goes after
    // HintHidePause or when the mouse leaves.
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool v)
    {
        showHint_ = v;
        if (!v)
            CancelHint(nullptr);
    }
    std::int32_t HintPause() const { return hintPause_; }
    void SetHintPause(std::int32_t v) { hintPause_ = v; }
    std::int32_t HintHidePause() const { return hintHidePause_; }
    void SetHintHidePause(std::int32_t v) { hintHidePause_ = v; }
    void ActivateHint(TControl* control);
    // Hides the hint of `control` (of any control for nullptr).
    void CancelHint(TControl* control);
    bool HintShowing() const;

private:
    friend class TApplicationEvents;
    bool ProcessMessage(MSG& msg);
    bool DrainMainThreadQueue();
    void Report(rtl::TObject* sender, const std::exception& e);
    bool WantsHint(TControl* control) const;
    void ShowHintNow();
    bool IsKeyMsg(MSG& msg);
    void AppWndProc(TMessage& message);

    std::string title_;
    HWND handle_ = nullptr;
    TCustomForm* mainForm_ = nullptr;  // not owned here: owned as a component
    bool terminated_ = false;
    int exitCode_ = 0;
    bool showMainForm_ = true;
    bool handlingException_ = false;
    std::vector<class TApplicationEvents*> eventSinks_;  // not owned
    bool showHint_ = true;
    std::int32_t hintPause_ = 500;
    std::int32_t hintHidePause_ = 2500;
    TControl* hintControl_ = nullptr;  // not owned
    HWND hintWindow_ = nullptr;        // destroyed with the application
    std::string hintText_;
};

// Lets a component (a skinned frame, say) take part in the application's message, idle and
// exception events without replacing the handlers others have assigned. Each live instance
// gets every event; OnException here takes the report away from the message box.
class TApplicationEvents : public rtl::TComponent {
    RTL_DECLARE_CLASS(TApplicationEvents, rtl::TComponent)

public:
    explicit TApplicationEvents(rtl::TComponent* owner);
    ~TApplicationEvents() override;

    TMessageEvent OnMessage;
    rtl::TNotifyEvent OnIdle;
    TExceptionEvent OnException;
};

// Null outside the forms unit's lifetime (see win::UnitTable in Units.h).
extern TApplication* Application;
extern TScreen* Screen;

// The forms unit's start-up creates Application and Screen; its shut-down frees them, the
// application first, since its forms still report to the screen while they go.
void InitializeForms();
void FinalizeForms();

// Reports an exception caught at a window procedure boundary; never throws.
void HandleControlException(rtl::TObject* sender);

}  // namespace win
