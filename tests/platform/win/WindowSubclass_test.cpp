// Watching windows that are not controls of ours: the handler sees messages first, passes them on
// or keeps them, and lets go cleanly when detached, destroyed with its window, or replaced.
#include "platform/win/WindowSubclass.h"

#include "TestForms.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using win::TMessage;
using win::TWindowSubclass;

constexpr UINT kProbe = WM_APP + 23;

// A plain system window that answers kProbe with 5.
struct Probe {
    Probe()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "VaSubclassProbe";
        ::RegisterClassA(&wc);
        wnd = ::CreateWindowExA(0, "VaSubclassProbe", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
    }
    ~Probe()
    {
        if (::IsWindow(wnd))
            ::DestroyWindow(wnd);
    }
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
    {
        return msg == kProbe ? 5 : ::DefWindowProcA(w, msg, wp, lp);
    }
    HWND wnd;
};

TEST(WindowSubclass, TheHandlerSeesMessagesFirstAndKeepsOrPassesThem)
{
    Probe probe;
    TWindowSubclass sub;
    int seen = 0;
    sub.Attach(probe.wnd, [&](TMessage& m) {
        if (m.Msg != kProbe)
            return false;
        ++seen;
        if (m.WParam == 1) {
            m.Result = 9;
            return true;
        }
        if (m.WParam == 2) {
            sub.CallDefault(m);
            m.Result += 100;
            return true;
        }
        return false;
    });
    EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 0, 0), 5);
    EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 1, 0), 9);
    EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 2, 0), 105);
    EXPECT_EQ(seen, 3);
    sub.Detach();
    EXPECT_FALSE(sub.Attached());
    EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 1, 0), 5);
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(probe.wnd, GWLP_WNDPROC)), &Probe::Proc);
}

TEST(WindowSubclass, OneAtATimeAndTheWindowsEndLetsGo)
{
    Probe probe;
    TWindowSubclass first;
    first.Attach(probe.wnd, [](TMessage&) { return false; });
    TWindowSubclass second;
    EXPECT_THROW(second.Attach(probe.wnd, [](TMessage&) { return false; }), rtl::EInvalidOperation);
    EXPECT_THROW(second.Attach(nullptr, [](TMessage&) { return false; }), rtl::EInvalidOperation);
    ::DestroyWindow(probe.wnd);
    EXPECT_FALSE(first.Attached());
    // A new window may be watched again by the same object.
    Probe other;
    first.Attach(other.wnd, [](TMessage& m) {
        m.Result = 1;
        return m.Msg == kProbe;
    });
    EXPECT_EQ(::SendMessageA(other.wnd, kProbe, 0, 0), 1);
}

// Another subclass put on top of ours keeps working after ours is gone.
WNDPROC gAbove = nullptr;
LRESULT CALLBACK Above(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kProbe && wp == 7)
        return 77;
    return ::CallWindowProcA(gAbove, w, msg, wp, lp);
}

TEST(WindowSubclass, DetachingUnderAnotherSubclassLeavesTheChainWhole)
{
    Probe probe;
    {
        TWindowSubclass sub;
        sub.Attach(probe.wnd, [](TMessage& m) {
            m.Result = 3;
            return m.Msg == kProbe && m.WParam == 3;
        });
        gAbove = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(probe.wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Above)));
        EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 3, 0), 3);
    }
    EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 7, 0), 77);
    EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 3, 0), 5) << "ours passes everything on";
    TWindowSubclass again;
    EXPECT_THROW(again.Attach(probe.wnd, [](TMessage&) { return false; }), rtl::EInvalidOperation);
}

TEST(WindowSubclass, AnExceptionInTheHandlerIsReportedNotThrownThroughTheSystem)
{
    Probe probe;
    TWindowSubclass sub;
    sub.Attach(probe.wnd, [](TMessage& m) -> bool {
        if (m.Msg == kProbe)
            throw std::runtime_error("handler failed");
        return false;
    });
    std::string reported;
    win::Application->OnException = [&](rtl::TObject*, const std::exception& e) { reported = e.what(); };
    EXPECT_EQ(::SendMessageA(probe.wnd, kProbe, 0, 0), 5) << "the window's own answer";
    win::Application->OnException = nullptr;
    EXPECT_EQ(reported, "handler failed");
}

}  // namespace
