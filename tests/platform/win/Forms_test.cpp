// Forms read from descriptions and driven with window messages: events, keys, timers, modal
// loops, the main-thread queue and exception reporting.
#include "TestForms.h"

#include "platform/rtl/Thread.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace win;
using namespace wintest;

namespace {

struct FormDeleter {
    void operator()(TCustomForm* f) const { delete f; }
};

std::unique_ptr<TTestForm, FormDeleter> LoadTestForm()
{
    std::unique_ptr<TTestForm, FormDeleter> form(new TTestForm(Application));
    ReadText(*form, kTestFormText);
    return form;
}

// Collects what the application's exception handler reports.
class ExceptionLog {
public:
    ExceptionLog()
    {
        Application->OnException = [this](rtl::TObject*, const std::exception& e) {
            messages.push_back(e.what());
        };
    }
    ~ExceptionLog() { Application->OnException = nullptr; }
    std::vector<std::string> messages;
};

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace

// --- reading a form from its description ---

TEST(FormDescription, SetsPropertiesOfEveryStandardControl)
{
    auto form = LoadTestForm();
    ASSERT_NE(form->Label1, nullptr);
    EXPECT_TRUE(form->formSeenInCreate) << "fields must be bound before OnCreate";
    EXPECT_EQ(form->Caption(), "Setup Assistant");
    EXPECT_EQ(form->BorderStyle(), bsSingle);
    EXPECT_EQ(form->Font()->Name(), "Tahoma");
    EXPECT_EQ(form->Constraints()->MaxWidth(), 622);
    EXPECT_TRUE(form->KeyPreview);
    EXPECT_EQ(form->Menu(), form->MainMenu1);

    EXPECT_EQ(form->Label1->Caption(), "Varnelo Setup Assistant");
    EXPECT_EQ(form->Label1->Font()->Color(), clTeal);
    EXPECT_EQ(form->Label1->Parent(), form.get());
    EXPECT_EQ(form->Msg1->Alignment(), taCenter);
    EXPECT_FALSE(form->Msg1->Visible());
    EXPECT_TRUE(form->Msg1->Transparent());
    EXPECT_EQ(form->Msg1->Layout(), tlCenter);
    EXPECT_EQ(form->Msg1->Width(), 291) << "a label without AutoSize keeps its width";
    EXPECT_TRUE(form->Image1->Stretch());
    EXPECT_TRUE(form->Image1->Center());
    EXPECT_TRUE(form->Button1->Default());
    EXPECT_EQ(form->Button1->ModalResult(), mrOk);
    EXPECT_EQ(form->Button1->Cursor(), crHandPoint);
    EXPECT_TRUE(form->Button2->Cancel());
    EXPECT_EQ(form->Edit1->Text(), "abc");
    ASSERT_EQ(form->Combo1->Items()->Count(), 3);
    EXPECT_EQ(form->Combo1->Items()->Get(2), "C:\\three\\");
    EXPECT_EQ(form->Combo1->ItemIndex(), 1) << "ItemIndex read before its items still applies";
    EXPECT_EQ(form->Memo1->Lines()->Count(), 2);
    EXPECT_EQ(form->Memo1->Lines()->Get(1), "second");
    EXPECT_EQ(form->Memo1->ScrollBars(), ssBoth);
    EXPECT_FALSE(form->Memo1->WordWrap());
    EXPECT_TRUE(form->Memo1->ReadOnly());
    EXPECT_EQ(form->Timer1->Interval(), 20u);
    EXPECT_EQ(form->ScrollBar1->Max(), 50);
    EXPECT_EQ(form->ScrollBar1->Position(), 10);
    EXPECT_EQ(form->TrackBar1->Max(), 20);
    EXPECT_EQ(form->TrackBar1->Position(), 5);
    EXPECT_EQ(form->PanelLabel->Parent(), form->Panel1);
    ASSERT_EQ(form->MainMenu1->Items()->Count(), 1);
    EXPECT_EQ(form->File1->Items(0), form->Open1);
    EXPECT_EQ(form->Pop1->GetParentMenu(), form->PopupMenu1);
    ASSERT_EQ(form->log.size(), 1u);
    EXPECT_EQ(form->log[0], "create");
}

TEST(FormDescription, ShowingCreatesWindowsWithTheStoredGeometry)
{
    auto form = LoadTestForm();
    EXPECT_FALSE(form->HandleAllocated()) << "reading must not create windows";
    form->Show();
    ASSERT_TRUE(form->HandleAllocated());
    EXPECT_EQ(form->ClientWidth(), 420);
    EXPECT_EQ(form->ClientHeight(), 300);
    EXPECT_EQ(form->Left(), (Screen->Width() - form->Width()) / 2) << "poScreenCenter";
    EXPECT_EQ(form->Top(), (Screen->Height() - form->Height()) / 2);
    ASSERT_TRUE(form->Edit1->HandleAllocated());
    RECT r;
    ::GetWindowRect(form->Edit1->Handle(), &r);
    ::MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 8);
    EXPECT_EQ(r.top, 70);
    EXPECT_EQ(r.right - r.left, 200);
    char text[64] = {};
    ::GetWindowTextA(form->Edit1->Handle(), text, sizeof text);
    EXPECT_STREQ(text, "abc");
    ::GetWindowTextA(form->Combo1->Handle(), text, sizeof text);
    EXPECT_STREQ(text, "C:\\two\\");
    EXPECT_EQ(::GetParent(form->PanelLabel->Parent()->Handle()), form->Handle());
    EXPECT_EQ(::GetMenu(form->Handle()), form->MainMenu1->Handle());
    EXPECT_EQ(form->log, (std::vector<std::string>{"create", "show"}));
    EXPECT_NE(::GetWindowLongA(form->Handle(), GWL_STYLE) & WS_MINIMIZEBOX, 0);
    EXPECT_EQ(::GetWindowLongA(form->Handle(), GWL_STYLE) & WS_MAXIMIZEBOX, 0)
        << "BorderIcons without biMaximize";
}

TEST(FormDescription, ConstraintsLimitTheSize)
{
    auto form = LoadTestForm();
    form->Show();
    form->SetHeight(2000);
    EXPECT_EQ(form->Height(), 610);
    form->SetWidth(10);
    EXPECT_EQ(form->Width(), 120);
    RECT r;
    ::GetWindowRect(form->Handle(), &r);
    EXPECT_EQ(r.bottom - r.top, 610);
}

TEST(FormDescription, UnknownClassIsRejectedWithAReadError)
{
    std::unique_ptr<TTestForm, FormDeleter> form(new TTestForm(Application));
    EXPECT_THROW(ReadText(*form, "object F: TTestForm\n  object X: TNoSuchControl\n  end\nend\n"),
                 rtl::Exception);
}

TEST(FormDescription, MissingResourceRaisesResNotFound)
{
    std::unique_ptr<TTestForm, FormDeleter> form(new TTestForm(Application));
    try {
        form->ReadFromResource();
        FAIL() << "no resource expected";
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), "Resource TTestForm not found");
    }
}

// --- clicks and keys sent as messages ---

TEST(FormEvents, ButtonClickReachesOnClickAndSetsModalResult)
{
    auto form = LoadTestForm();
    form->Show();
    ::SendMessageA(form->Button1->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Count("button1 click"), 1);
    EXPECT_EQ(form->ModalResult(), mrOk);
}

TEST(FormEvents, MouseOnGraphicLabelIsRoutedWithLocalCoordinates)
{
    auto form = LoadTestForm();
    form->Show();
    HWND wnd = form->Handle();
    // Label1 sits at (8, 8): the parent's point (20, 15) is the label's (12, 7).
    ::SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    ::SendMessageA(wnd, WM_LBUTTONUP, 0, At(20, 15));
    EXPECT_EQ(form->Count("label down 0 12,7"), 1);
    EXPECT_EQ(form->Count("label click"), 1);
    ::SendMessageA(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, At(20, 15));
    ::SendMessageA(wnd, WM_LBUTTONUP, 0, At(20, 15));
    EXPECT_EQ(form->Count("label dblclick"), 1);
}

TEST(FormEvents, ReleaseOutsideTheControlIsNoClick)
{
    auto form = LoadTestForm();
    form->Show();
    HWND wnd = form->Handle();
    ::SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    ::SendMessageA(wnd, WM_LBUTTONUP, 0, At(400, 250));
    EXPECT_EQ(form->Count("label click"), 0);
}

TEST(FormEvents, HiddenLabelGetsNoMouse)
{
    auto form = LoadTestForm();
    form->Show();
    form->Label1->Hide();
    ::SendMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(20, 15));
    ::SendMessageA(form->Handle(), WM_LBUTTONUP, 0, At(20, 15));
    EXPECT_EQ(form->Count("label click"), 0);
}

TEST(FormEvents, KeysReachTheFormFirstThenTheEdit)
{
    auto form = LoadTestForm();
    form->Show();
    HWND edit = form->Edit1->Handle();
    ::SendMessageA(edit, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(form->log[2], "form keydown 65");
    EXPECT_EQ(form->log[3], "edit keydown 65");
    ::SendMessageA(edit, WM_KEYDOWN, VK_F2, 0);
    EXPECT_EQ(form->Count("form keydown 113"), 1);
    EXPECT_EQ(form->Count("edit keydown 113"), 0) << "a key zeroed by the form must not reach the edit";
}

TEST(FormEvents, CharactersReachOnKeyPressAndMayBeReplaced)
{
    auto form = LoadTestForm();
    form->Show();
    HWND edit = form->Edit1->Handle();
    ::SendMessageA(edit, EM_SETSEL, 3, 3);
    form->log.clear();
    ::SendMessageA(edit, WM_CHAR, 'x', 0);
    EXPECT_EQ(form->Edit1->Text(), "abcy");
    EXPECT_EQ(form->Count("edit keypress x"), 1);
    EXPECT_EQ(form->Count("edit change abcy"), 1);
}

TEST(FormEvents, EnterPressesTheDefaultButtonAndEscapeTheCancelButton)
{
    auto form = LoadTestForm();
    form->Show();
    HWND edit = form->Edit1->Handle();
    ::PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(form->Count("button1 click"), 1);
    ::PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    Pump();
    EXPECT_EQ(form->Count("button2 click"), 1);
}

TEST(FormEvents, EnterInAMemoStaysInTheMemo)
{
    auto form = LoadTestForm();
    form->Show();
    form->Memo1->SetReadOnly(false);
    ::PostMessageA(form->Memo1->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(form->Count("button1 click"), 0);
}

TEST(FormEvents, MenuShortcutAndCommandRunTheItem)
{
    auto form = LoadTestForm();
    form->Show();
    ::SendMessageA(form->Handle(), WM_COMMAND, form->Open1->Command(), 0);
    EXPECT_EQ(form->Count("open"), 1);
    EXPECT_TRUE(form->MainMenu1->IsShortCut('O', TShiftState{ssCtrl}));
    EXPECT_EQ(form->Count("open"), 2);
    EXPECT_FALSE(form->MainMenu1->IsShortCut('O', TShiftState{}));
}

TEST(FormEvents, OwnerDrawMenuMeasureReachesTheItem)
{
    auto form = LoadTestForm();
    form->Show();
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_MENU;
    mis.itemID = form->Pop1->Command();
    ::SendMessageA(form->Handle(), WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
    EXPECT_EQ(form->Count("measure"), 1);
    EXPECT_EQ(mis.itemWidth, 123u);
    EXPECT_EQ(mis.itemHeight, 31u);
}

TEST(FormEvents, ContextMenuPopsUpTheControlsMenuAndMeasuresOwnerDrawnItems)
{
    auto form = LoadTestForm();
    form->Show();
    form->Edit1->SetPopupMenu(form->PopupMenu1);
    bool popped = false;
    form->PopupMenu1->OnPopup = [&](rtl::TObject*) { popped = true; };
    // The menu runs its own modal loop; a timer ends it once it is open.
    TTimer closer(nullptr);
    closer.SetInterval(100);
    closer.OnTimer = [](rtl::TObject*) { ::EndMenu(); };
    ::SendMessageA(form->Edit1->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(form->Edit1->Handle()),
                   MAKELPARAM(200, 200));
    EXPECT_TRUE(popped);
    EXPECT_EQ(form->PopupMenu1->PopupComponent(), form->Edit1);
    EXPECT_EQ(form->Count("measure"), 1) << "the open menu asks its owner-drawn item for its size";
}

TEST(FormEvents, TabMovesTheFocusInTabOrder)
{
    auto form = LoadTestForm();
    form->Show();
    Pump();
    // The X server hands the focus over asynchronously: ask for it and wait for it to arrive.
    const HWND edit = form->Edit1->Handle();
    const DWORD start = ::GetTickCount();
    while (::GetFocus() != edit && ::GetTickCount() - start < 20000) {
        ::SetForegroundWindow(form->Handle());
        form->Edit1->SetFocus();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 500, QS_ALLINPUT);
        Pump();
    }
    ASSERT_EQ(::GetFocus(), edit) << "the test window never received the focus";
    ::PostMessageA(form->Edit1->Handle(), WM_KEYDOWN, VK_TAB, 0);
    Pump();
    HWND focus = ::GetFocus();
    EXPECT_TRUE(focus == form->Combo1->Handle() || ::GetParent(focus) == form->Combo1->Handle());
    EXPECT_EQ(form->ActiveControl(), form->Combo1);
}

TEST(FormEvents, ScrollMessagesMoveTheScrollBarAndStayInRange)
{
    auto form = LoadTestForm();
    form->Show();
    HWND bar = form->ScrollBar1->Handle();
    ::SendMessageA(form->Handle(), WM_HSCROLL, SB_LINEDOWN, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(form->ScrollBar1->Position(), 12);
    ::SendMessageA(form->Handle(), WM_HSCROLL, SB_PAGEUP, reinterpret_cast<LPARAM>(bar));
    ::SendMessageA(form->Handle(), WM_HSCROLL, SB_PAGEUP, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(form->ScrollBar1->Position(), 0);
    EXPECT_EQ(form->Count("scroll 12"), 1);
    EXPECT_EQ(form->Count("scroll 0"), 1) << "no change event when the position stays";
    EXPECT_EQ(::GetScrollPos(bar, SB_CTL), 0);
}

TEST(FormEvents, TrackBarClampsAndReportsEachChangeOnce)
{
    auto form = LoadTestForm();
    form->Show();
    form->TrackBar1->SetPosition(99);
    EXPECT_EQ(form->TrackBar1->Position(), 20);
    form->TrackBar1->SetPosition(20);
    EXPECT_EQ(form->Count("track 20"), 1);
    ::SendMessageA(form->TrackBar1->Handle(), TBM_SETPOS, TRUE, 3);
    ::SendMessageA(form->Handle(), WM_HSCROLL, TB_THUMBPOSITION,
                   reinterpret_cast<LPARAM>(form->TrackBar1->Handle()));
    EXPECT_EQ(form->Count("track 3"), 1);
}

TEST(FormEvents, ComboSelectionChangeShowsTheNewText)
{
    auto form = LoadTestForm();
    form->Show();
    HWND combo = form->Combo1->Handle();
    ::SendMessageA(combo, CB_SETCURSEL, 2, 0);
    ::SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(form->Count("combo change C:\\three\\"), 1);
    EXPECT_EQ(form->Combo1->ItemIndex(), 2);
}

// --- closing ---

TEST(FormClose, CloseQueryCanRefuseAndCloseHidesASecondaryForm)
{
    auto form = LoadTestForm();
    form->Show();
    form->allowClose = false;
    ::SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->Count("close"), 0);
    form->allowClose = true;
    form->Close();
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(::IsWindowVisible(form->Handle()));
    EXPECT_EQ(form->Count("closequery"), 2);
    EXPECT_EQ(form->Count("close"), 1);
}

TEST(FormClose, MaximizedFormShowsMaximizedAndRestores)
{
    TForm form(Application);
    form.SetWindowState(wsMaximized);
    form.Show();
    EXPECT_TRUE(::IsZoomed(form.Handle()));
    EXPECT_EQ(form.WindowState(), wsMaximized);
    form.SetWindowState(wsNormal);
    EXPECT_FALSE(::IsZoomed(form.Handle()));
}

namespace {
// A form whose OnDestroy handler writes to the derived class's own member.
class TLoggingForm : public TForm {
public:
    explicit TLoggingForm(rtl::TComponent* owner, std::vector<std::string>* sink) : TForm(owner), sink_(sink)
    {
        OnDestroy = [this](rtl::TObject*) {
            own_.push_back("destroy");
            *sink_ = own_;
        };
    }

private:
    std::vector<std::string>* sink_;
    std::vector<std::string> own_{"created"};
};
}  // namespace

TEST(FormClose, ReleasedFormRunsOnDestroyWhileStillWhole)
{
    std::vector<std::string> sink;
    auto* form = new TLoggingForm(Application, &sink);
    form->Show();
    form->Release();
    EXPECT_TRUE(PumpUntil([&] { return !sink.empty(); }));
    EXPECT_EQ(sink, (std::vector<std::string>{"created", "destroy"}));
}

TEST(FormClose, ReleaseFreesTheFormFromTheMessageLoop)
{
    auto* form = new TForm(Application);
    bool destroyed = false;
    form->OnDestroy = [&](rtl::TObject*) { destroyed = true; };
    form->Show();
    form->Release();
    EXPECT_FALSE(destroyed) << "Release must not free the form inside the caller";
    EXPECT_TRUE(PumpUntil([&] { return destroyed; }));
}

// --- timers ---

TEST(Timers, EnabledTimerTicksAndDisabledTimerStops)
{
    auto form = LoadTestForm();
    Pump();
    EXPECT_EQ(form->Count("tick"), 0) << "a disabled timer must not tick";
    form->Timer1->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return form->Count("tick") >= 3; }));
    form->Timer1->SetEnabled(false);
    int ticks = form->Count("tick");
    DWORD start = ::GetTickCount();
    PumpUntil([&] { return ::GetTickCount() - start > 100; });
    EXPECT_EQ(form->Count("tick"), ticks);
}

TEST(Timers, ZeroIntervalNeverTicks)
{
    TTimer timer(nullptr);
    int ticks = 0;
    timer.OnTimer = [&](rtl::TObject*) { ++ticks; };
    timer.SetInterval(0);
    DWORD start = ::GetTickCount();
    PumpUntil([&] { return ::GetTickCount() - start > 80; });
    EXPECT_EQ(ticks, 0);
}

// --- modal forms ---

TEST(ModalForms, FormClosedByItsOwnTimerReturnsItsResult)
{
    TForm owner(Application);
    owner.Show();
    auto* dialog = new TForm(Application);
    std::unique_ptr<TForm> guard(dialog);
    auto* timer = new TTimer(dialog);
    timer->SetInterval(30);
    bool ownerDisabledMeanwhile = false;
    timer->OnTimer = [&](rtl::TObject*) {
        ownerDisabledMeanwhile = !::IsWindowEnabled(owner.Handle());
        dialog->SetModalResult(mrRetry);
    };
    EXPECT_EQ(dialog->ShowModal(), mrRetry);
    EXPECT_TRUE(ownerDisabledMeanwhile) << "other windows wait while a modal form runs";
    EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
    EXPECT_FALSE(dialog->Visible());
    EXPECT_THROW(
        {
            dialog->Show();
            dialog->ShowModal();
        },
        rtl::EInvalidOperation);
}

TEST(ModalForms, ButtonWithModalResultEndsTheModalLoop)
{
    auto* dialog = new TForm(Application);
    std::unique_ptr<TForm> guard(dialog);
    auto* button = new TButton(dialog);
    button->SetParent(dialog);
    button->SetModalResult(mrCancel);
    auto* timer = new TTimer(dialog);
    timer->SetInterval(20);
    timer->OnTimer = [&](rtl::TObject*) { ::PostMessageA(button->Handle(), BM_CLICK, 0, 0); };
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
}

TEST(ModalForms, CloseQueryRefusalKeepsTheModalFormOpen)
{
    auto* dialog = new TForm(Application);
    std::unique_ptr<TForm> guard(dialog);
    int queries = 0;
    dialog->OnCloseQuery = [&](rtl::TObject*, bool& canClose) { canClose = ++queries >= 2; };
    auto* timer = new TTimer(dialog);
    timer->SetInterval(20);
    timer->OnTimer = [&](rtl::TObject*) { dialog->SetModalResult(mrOk); };
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_EQ(queries, 2);
}

// --- worker threads and the main-thread queue ---

TEST(MainThreadQueue, QueuedCallsArriveInOrderWhileMessagesAreDispatched)
{
    constexpr int kCalls = 2000;
    std::vector<int> seen;
    std::atomic<bool> offMainThread{false};
    std::atomic<int> timerTicks{0};
    TTimer timer(nullptr);
    timer.SetInterval(5);
    timer.OnTimer = [&](rtl::TObject*) { ++timerTicks; };
    std::thread worker([&] {
        for (int i = 0; i < kCalls; ++i) {
            rtl::Queue([&, i] {
                if (!rtl::IsMainThread())
                    offMainThread = true;
                seen.push_back(i);
            });
            if (i % 200 == 199) {
                // Between batches, wait for a timer tick: the main thread has to go on
                // dispatching messages while it drains the queue.
                const int before = timerTicks.load();
                for (int waited = 0; waited < 2000 && timerTicks.load() == before; ++waited)
                    ::Sleep(1);
            }
        }
    });
    // The main thread sleeps in the message loop; only the wake-up message drains the queue.
    bool done = false;
    while (!done) {
        Application->HandleMessage();
        done = static_cast<int>(seen.size()) == kCalls;
    }
    worker.join();
    EXPECT_FALSE(offMainThread);
    ASSERT_EQ(static_cast<int>(seen.size()), kCalls);
    for (int i = 0; i < kCalls; ++i)
        ASSERT_EQ(seen[static_cast<size_t>(i)], i);
    EXPECT_GT(timerTicks.load(), 0) << "messages kept flowing while the queue was drained";
}

TEST(MainThreadQueue, SynchronizeFromAWorkerCompletesDuringAModalLoop)
{
    auto* dialog = new TForm(Application);
    std::unique_ptr<TForm> guard(dialog);
    std::vector<std::string> order;
    std::thread worker;
    dialog->OnShow = [&](rtl::TObject*) {
        worker = std::thread([&] {
            rtl::Synchronize([&] { order.push_back("sync"); });
            rtl::Queue([&] {
                order.push_back("queued");
                dialog->SetModalResult(mrOk);
            });
        });
    };
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    worker.join();
    EXPECT_EQ(order, (std::vector<std::string>{"sync", "queued"}));
}

// --- exceptions ---

TEST(Exceptions, HandlerExceptionIsReportedAndTheProgramGoesOn)
{
    ExceptionLog log;
    auto form = LoadTestForm();
    form->Show();
    form->Button2->OnClick = [](rtl::TObject*) { throw rtl::Exception("disk full"); };
    ::SendMessageA(form->Button2->Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0], "disk full");
    ::SendMessageA(form->Button1->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Count("button1 click"), 1);
}

TEST(Exceptions, AbortIsSilentAndQueuedCallFailuresAreReported)
{
    ExceptionLog log;
    TButton* button = nullptr;
    TForm form(Application);
    button = new TButton(&form);
    button->SetParent(&form);
    form.Show();
    button->OnClick = [](rtl::TObject*) { rtl::Abort(); };
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(log.messages.empty());
    bool second = false;
    std::thread([&] {
        rtl::Queue([] { throw rtl::Exception("queued failure"); });
        rtl::Queue([&] { second = true; });
    }).join();
    EXPECT_TRUE(PumpUntil([&] { return second; }));
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0], "queued failure");
}

TEST(Exceptions, ApplicationEventsComponentsSeeMessagesAndExceptions)
{
    TForm form(Application);
    auto* events = new TApplicationEvents(&form);
    int seen = 0;
    events->OnMessage = [&](MSG& msg, bool& handled) {
        if (msg.message == WM_APP + 5) {
            ++seen;
            handled = true;
        }
    };
    std::vector<std::string> reports;
    events->OnException = [&](rtl::TObject*, const std::exception& e) { reports.push_back(e.what()); };
    form.Show();
    ::PostMessageA(form.Handle(), WM_APP + 5, 0, 0);
    Pump();
    EXPECT_EQ(seen, 1);
    try {
        throw rtl::Exception("from a handler");
    } catch (...) {
        Application->HandleException(&form);
    }
    EXPECT_EQ(reports, (std::vector<std::string>{"from a handler"}));
    delete events;
    ::PostMessageA(form.Handle(), WM_APP + 5, 0, 0);
    Pump();
    EXPECT_EQ(seen, 1) << "a freed events component hears nothing more";
}

// --- hints ---

TEST(Hints, RestingMouseShowsTheHintAndLeavingHidesIt)
{
    TForm form(Application);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    edit->Hint = "Folder of the headset software";
    edit->ShowHint = true;
    auto* silent = new TEdit(&form);
    silent->SetParent(&form);
    silent->SetTop(40);
    silent->Hint = "not shown";
    form.Show();
    Application->SetHintPause(30);
    ::SendMessageA(edit->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_FALSE(Application->HintShowing()) << "hints wait for the pause";
    EXPECT_TRUE(PumpUntil([] { return Application->HintShowing(); }, 2000));
    ::SendMessageA(silent->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_FALSE(Application->HintShowing());
    DWORD start = ::GetTickCount();
    PumpUntil([&] { return ::GetTickCount() - start > 100; });
    EXPECT_FALSE(Application->HintShowing()) << "a control without ShowHint shows no hint";
    Application->SetHintPause(500);
}

// --- screen ---

TEST(ScreenObject, ReportsSizeAndKeepsCursorTable)
{
    EXPECT_GT(Screen->Width(), 0);
    EXPECT_GT(Screen->Height(), 0);
    EXPECT_GT(Screen->PixelsPerInch(), 0);
    EXPECT_NE(Screen->Cursors(crHourGlass), nullptr);
    EXPECT_NE(Screen->Cursors(crHandPoint), nullptr);
    EXPECT_EQ(Screen->Cursors(12345), Screen->Cursors(crDefault)) << "unknown cursors fall back to the arrow";
    HCURSOR custom = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_CROSS));
    Screen->SetCursors(1, custom);
    EXPECT_EQ(Screen->Cursors(1), custom);
    Screen->SetCursor(crHourGlass);
    EXPECT_EQ(Screen->Cursor(), crHourGlass);
    Screen->SetCursor(crDefault);
    EXPECT_EQ(Screen->Cursor(), crDefault);
}

// --- pictures stored in descriptions ---

TEST(FormDescription, ImagePictureIsReadFromStoredDataAndAutoSizes)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(12, 7);
    bitmap.Canvas()->Brush()->SetColor(clLime);
    bitmap.Canvas()->FillRect(Rect(0, 0, 12, 7));
    TPicture picture;
    picture.SetGraphic(&bitmap);
    rtl::TMemoryStream data;
    picture.WriteData(data);
    std::string hex;
    static const char kDigits[] = "0123456789ABCDEF";
    for (std::uint8_t b : data.Bytes()) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    std::string text =
        "object F: TForm\n"
        "  object Image1: TImage\n"
        "    Left = 7\n"
        "    Top = 33\n"
        "    AutoSize = True\n"
        "    Picture.Data = {" +
        hex +
        "}\n"
        "  end\n"
        "end\n";
    TForm form(Application);
    ReadText(form, text);
    ASSERT_EQ(form.ControlCount(), 1);
    auto* image = dynamic_cast<TImage*>(form.Controls(0));
    ASSERT_NE(image, nullptr);
    ASSERT_NE(image->Picture()->Graphic(), nullptr);
    EXPECT_EQ(image->Width(), 12);
    EXPECT_EQ(image->Height(), 7);
    form.Show();
    form.Repaint();
    HDC dc = ::GetDC(form.Handle());
    COLORREF c = ::GetPixel(dc, 7 + 5, 33 + 3);
    ::ReleaseDC(form.Handle(), dc);
    EXPECT_EQ(c, RGB(0, 255, 0));
}

TEST(ModalForms, DialogShownFromTheOwnersOnShowIsAVisibleTopLevelWindow)
{
    TForm owner(Application);
    Application->SetMainForm(&owner);
    bool found = false, visible = false, ownerEnabledDuring = true;
    TModalResult result = mrNone;
    owner.OnShow = [&](rtl::TObject*) {
        std::unique_ptr<TForm> dialog(new TForm(&owner));
        dialog->SetBorderStyle(bsDialog);
        dialog->SetCaption("Pellin Test Alert");
        dialog->SetPosition(poOwnerFormCenter);
        auto* timer = new TTimer(dialog.get());
        timer->SetInterval(40);
        timer->OnTimer = [&, d = dialog.get()](rtl::TObject*) {
            HWND wnd = ::FindWindowA(nullptr, "Pellin Test Alert");
            found = wnd == d->Handle();
            visible = wnd && ::IsWindowVisible(wnd);
            ownerEnabledDuring = ::IsWindowEnabled(owner.Handle()) != FALSE;
            d->SetModalResult(mrYes);
        };
        result = dialog->ShowModal();
    };
    owner.Show();
    Application->SetMainForm(nullptr);
    EXPECT_EQ(result, mrYes);
    EXPECT_TRUE(found);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(ownerEnabledDuring) << "the owner waits while its dialog runs";
    EXPECT_TRUE(::IsWindowVisible(owner.Handle()));
    EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
}

// --- scaling ---

TEST(FormDescription, ScaledFormDesignedAtAnotherResolutionIsScaled)
{
    int ppi = Screen->PixelsPerInch();
    auto text = [&](bool scaled) {
        return std::string(scaled ? "object Scaled: TForm\n" : "object Fixed: TForm\n") +
               "  ClientWidth = 300\n  ClientHeight = 200\n" +
               "  PixelsPerInch = " + std::to_string(ppi * 2) + "\n" + (scaled ? "" : "  Scaled = False\n") +
               "  Font.Height = -22\n  Font.Name = 'Tahoma'\n" +
               "  object Edit1: TEdit\n    Left = 20\n    Top = 40\n    Width = 100\n    Height = 42\n  "
               "end\nend\n";
    };
    TForm scaled(Application);
    ReadText(scaled, text(true));
    auto* edit = dynamic_cast<TEdit*>(scaled.Controls(0));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->Left(), 10);
    EXPECT_EQ(edit->Top(), 20);
    EXPECT_EQ(edit->Width(), 50);
    EXPECT_EQ(scaled.ClientWidth(), 150);
    EXPECT_EQ(scaled.ClientHeight(), 100);
    EXPECT_EQ(scaled.Font()->Height(), -11);
    EXPECT_EQ(edit->Font()->Height(), -11) << "children with the parent's font follow it";
    EXPECT_EQ(scaled.PixelsPerInch(), ppi);
    TForm fixed(Application);
    ReadText(fixed, text(false));
    EXPECT_EQ(fixed.Controls(0)->Left(), 20) << "Scaled = False keeps the designed geometry";
    EXPECT_EQ(fixed.ClientWidth(), 300);
}
