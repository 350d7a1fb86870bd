// Window hooks on real windows under Wine: order of the hooks, handled messages, recreated
// windows, procedures installed by others, and release of the shared control hook.
#include "placement/RxHook.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"
#include "platform/win/Forms.h"
#include "platform/win/StdCtrls.h"
#include "platform/rtl/Win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace placement;

namespace {

constexpr UINT kPing = WM_APP + 11;

void Pump()
{
    MSG msg;
    for (int i = 0; i < 5; ++i)
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
}

// A form whose own handling of kPing answers 42 and counts the calls.
class TPingForm : public win::TForm {
public:
    explicit TPingForm(rtl::TComponent* owner) : TForm(owner) {}
    int pings = 0;
    void WndProc(win::TMessage& m) override
    {
        if (m.Msg == kPing) {
            ++pings;
            m.Result = 42;
            return;
        }
        TForm::WndProc(m);
    }
};

struct HookFixture : ::testing::Test {
    void SetUp() override
    {
        form = new TPingForm(win::Application);
        form->SetBounds(10, 10, 200, 120);
        form->Handle();
    }
    void TearDown() override
    {
        delete form;
        Pump();
        EXPECT_EQ(ControlHookCount(), 0);
    }
    LRESULT Ping() { return ::SendMessageA(form->Handle(), kPing, 1, 2); }
    TRxWindowHook* NewHook(const std::string& name)
    {
        auto* h = new TRxWindowHook(form);
        h->BeforeMessage = [this, name](rtl::TObject*, win::TMessage& m, bool& handled) {
            if (m.Msg == kPing) {
                log.push_back("before " + name);
                handled = handledBy == name;
                if (handled)
                    m.Result = 7;
            }
        };
        h->AfterMessage = [this, name](rtl::TObject*, win::TMessage& m, bool&) {
            if (m.Msg == kPing)
                log.push_back("after " + name + " " + std::to_string(m.Result));
        };
        h->SetWinControl(form);
        return h;
    }

    TPingForm* form = nullptr;
    std::vector<std::string> log;
    std::string handledBy;
};

WNDPROC ProcOf(HWND wnd) { return reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(wnd, GWLP_WNDPROC)); }

// Someone else's subclass, installed after ours.
WNDPROC otherPrev = nullptr;
int otherCalls = 0;
LRESULT CALLBACK OtherProc(HWND wnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == kPing)
        ++otherCalls;
    return ::CallWindowProcA(otherPrev, wnd, msg, w, l);
}

}  // namespace

TEST_F(HookFixture, LaterHookSeesBeforeMessageFirstAndAfterMessageGetsTheResult)
{
    NewHook("a");
    NewHook("b");
    EXPECT_EQ(ControlHookCount(), 1);  // one control hook shared by both
    EXPECT_EQ(Ping(), 42);
    std::vector<std::string> expected = {"before b", "before a", "after b 42", "after a 42"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(form->pings, 1);
}

TEST_F(HookFixture, HandledInBeforeMessageSkipsControlAndAfterMessage)
{
    NewHook("a");
    NewHook("b");
    handledBy = "b";
    EXPECT_EQ(Ping(), 7);
    std::vector<std::string> expected = {"before b"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(form->pings, 0);
}

TEST_F(HookFixture, InactiveHookIsNotAskedAndLastDetachRestoresProcedure)
{
    WNDPROC original = ProcOf(form->Handle());
    TRxWindowHook* a = NewHook("a");
    EXPECT_NE(ProcOf(form->Handle()), original);
    a->SetActive(false);
    EXPECT_EQ(ProcOf(form->Handle()), original);
    EXPECT_EQ(Ping(), 42);
    EXPECT_TRUE(log.empty());
    a->SetActive(true);
    EXPECT_EQ(Ping(), 42);
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(HookFixture, RecreatedWindowIsHookedAgainFromTheMessageLoop)
{
    NewHook("a");
    HWND before = form->Handle();
    form->RecreateWnd();
    Pump();
    ASSERT_NE(form->Handle(), nullptr);
    ASSERT_NE(form->Handle(), before) << "the window was not recreated, so nothing was hooked again";
    log.clear();
    EXPECT_EQ(Ping(), 42);
    std::vector<std::string> expected = {"before a", "after a 42"};
    EXPECT_EQ(log, expected);
    // And once more: the re-hook keeps working across repeated recreation.
    form->RecreateWnd();
    Pump();
    log.clear();
    Ping();
    EXPECT_EQ(log, expected);
}

TEST_F(HookFixture, LaterSubclassKeepsItsProcedureWhenTheHookGoes)
{
    TRxWindowHook* a = NewHook("a");
    HWND wnd = form->Handle();
    otherCalls = 0;
    otherPrev = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OtherProc)));
    delete a;
    Pump();
    EXPECT_EQ(ProcOf(wnd), &OtherProc);
    EXPECT_EQ(Ping(), 42);  // through the other procedure, our pass-through, the form
    EXPECT_EQ(otherCalls, 1);
    EXPECT_EQ(form->pings, 1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(ControlHookCount(), 0);

    // A new hook takes up the same link in the chain instead of stacking another.
    NewHook("b");
    EXPECT_EQ(ProcOf(wnd), &OtherProc);
    EXPECT_EQ(Ping(), 42);
    EXPECT_EQ(otherCalls, 2);
    std::vector<std::string> expected = {"before b", "after b 42"};
    EXPECT_EQ(log, expected);
    ::SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(otherPrev));
}

TEST_F(HookFixture, ControlHookIsReleasedFromTheMessageLoopNotAtOnce)
{
    TRxWindowHook* a = NewHook("a");
    EXPECT_EQ(ControlHookCount(), 1);
    a->SetWinControl(nullptr);
    EXPECT_EQ(ControlHookCount(), 1);
    Pump();
    EXPECT_EQ(ControlHookCount(), 0);
    EXPECT_EQ(a->WinControl(), nullptr);
    // Detaching from inside a handler is safe: the release waits for the loop.
    TRxWindowHook* b = NewHook("b");
    b->AfterMessage = [b](rtl::TObject*, win::TMessage& m, bool&) {
        if (m.Msg == kPing)
            b->SetWinControl(nullptr);
    };
    EXPECT_EQ(Ping(), 42);
    Pump();
    EXPECT_EQ(ControlHookCount(), 0);
}

TEST(RxHook, HookedControlDestroyedFirstClearsTheHook)
{
    win::TForm owner(win::Application);
    owner.Handle();
    auto* edit = new win::TEdit(&owner);
    edit->SetParent(&owner);
    edit->Handle();
    TRxWindowHook hook(nullptr);
    int seen = 0;
    hook.AfterMessage = [&seen](rtl::TObject*, win::TMessage&, bool&) { ++seen; };
    hook.SetWinControl(edit);
    ::SendMessageA(edit->Handle(), WM_GETTEXTLENGTH, 0, 0);
    EXPECT_GT(seen, 0);
    delete edit;
    EXPECT_EQ(hook.WinControl(), nullptr);
    Pump();
    EXPECT_EQ(ControlHookCount(), 0);
}

TEST(RxHook, ExceptionInHandlerIsReportedAndMessageStillAnswered)
{
    std::vector<std::string> reported;
    win::Application->OnException = [&reported](rtl::TObject*, const std::exception& e) {
        reported.push_back(e.what());
    };
    {
        TPingForm form(win::Application);
        form.Handle();
        auto* hook = new TRxWindowHook(&form);
        hook->BeforeMessage = [](rtl::TObject*, win::TMessage& m, bool&) {
            if (m.Msg == kPing)
                throw rtl::Exception("hook failed");
        };
        hook->SetWinControl(&form);
        ::SendMessageA(form.Handle(), kPing, 0, 0);
    }
    win::Application->OnException = nullptr;
    Pump();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "hook failed");
    EXPECT_EQ(ControlHookCount(), 0);
}

TEST(RxHook, FormHookIsWrittenAsIsFormAndReadBack)
{
    rtl::TMemoryStream bin;
    {
        win::TForm form(nullptr);
        form.SetName("Form7");
        auto* hook = new TRxWindowHook(&form);
        hook->SetName("Hook1");
        hook->SetActive(false);
        hook->SetWinControl(&form);
        rtl::TWriter writer(bin);
        writer.WriteRootComponent(&form);
    }
    bin.SetPosition(0);
    rtl::TStringStream text("");
    rtl::ObjectBinaryToText(bin, text);
    std::string t = text.DataString();
    EXPECT_NE(t.find("IsForm = True"), std::string::npos) << t;
    EXPECT_EQ(t.find("WinControl"), std::string::npos) << t;

    bin.SetPosition(0);
    win::TForm loaded(nullptr);
    {
        rtl::TReader reader(bin);
        reader.ReadRootComponent(&loaded);
    }
    auto* hook = dynamic_cast<TRxWindowHook*>(loaded.FindComponent("Hook1"));
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(hook->WinControl(), &loaded);
    EXPECT_FALSE(hook->Active());
}

TEST(RxHook, ManyHooksOnManyControlsComeAndGoWithoutLeaks)
{
    win::TForm owner(win::Application);
    owner.Handle();
    std::vector<win::TEdit*> edits;
    std::vector<std::unique_ptr<TRxWindowHook>> hooks;
    int seen = 0;
    for (int round = 0; round < 20; ++round) {
        auto* edit = new win::TEdit(&owner);
        edit->SetParent(&owner);
        edits.push_back(edit);
        for (int k = 0; k < 3; ++k) {
            auto hook = std::make_unique<TRxWindowHook>(nullptr);
            hook->AfterMessage = [&seen](rtl::TObject*, win::TMessage& m, bool&) {
                if (m.Msg == WM_GETTEXTLENGTH)
                    ++seen;
            };
            hook->SetWinControl(edits[static_cast<size_t>(round * 7 % edits.size())]);
            hooks.push_back(std::move(hook));
        }
        if (round % 3 == 0)
            hooks.erase(hooks.begin());
        if (round % 4 == 1) {
            delete edits.front();
            edits.erase(edits.begin());
        }
        if (round % 5 == 2)
            edits.back()->RecreateWnd();
        Pump();
    }
    for (win::TEdit* e : edits)
        ::SendMessageA(e->Handle(), WM_GETTEXTLENGTH, 0, 0);
    EXPECT_GT(seen, 0);
    hooks.clear();
    Pump();
    EXPECT_EQ(ControlHookCount(), 0);
}
