// Repaint cost of the skinned frame under Wine, against plain Win32 windows in the same run:
//   title bar   one mouse move over the bar (hot button on, then off) and the repaint it causes,
//               against invalidating and repainting a plain window of the bar's size that fills
//               itself and draws its caption
//   frame       one resize of a framed form and the repaint of its whole frame, against the same
//               resize and repaint of a plain sizeable form
#include "platform/rtl/Units.h"
#include "platform/win/Forms.h"
#include "platform/rtl/Win32.h"
#include "skin/SUIForm.h"
#include "skin/Units.h"

#include <benchmark/benchmark.h>

namespace {

void Drain()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(wnd, &ps);
        RECT r;
        ::GetClientRect(wnd, &r);
        HBRUSH brush = ::CreateSolidBrush(RGB(40, 64, 127));
        ::FillRect(dc, &r, brush);
        ::DeleteObject(brush);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::DrawTextA(dc, "Setup Assistant", -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        ::EndPaint(wnd, &ps);
        return 0;
    }
    return ::DefWindowProcA(wnd, msg, wp, lp);
}

// The skinned form and a plain one side by side, and a plain window of the title bar's size.
struct TSetup {
    win::TForm* framed = nullptr;
    win::TForm* plainForm = nullptr;
    skin::TsuiTitleBar* bar = nullptr;
    HWND plain = nullptr;

    TSetup()
    {
        framed = new win::TForm(win::Application);
        framed->SetBounds(60, 60, 610, 302);
        framed->SetCaption("Setup Assistant");
        auto* frame = new skin::TsuiForm(framed);
        frame->SetParent(framed);
        frame->SetCaption("Setup Assistant");
        frame->SetUIStyle(skin::WinXP);
        framed->Show();

        plainForm = new win::TForm(win::Application);
        plainForm->SetBounds(60, 380, 610, 302);
        plainForm->SetCaption("Setup Assistant");
        plainForm->Show();

        WNDCLASSA wc{};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "VaPlainTitle";
        ::RegisterClassA(&wc);
        bar = frame->TitleBar();
        plain = ::CreateWindowExA(0, "VaPlainTitle", "", WS_POPUP | WS_VISIBLE, 700, 60, bar->Width(),
                                  bar->Height(), nullptr, nullptr, wc.hInstance, nullptr);
        Drain();
    }
};

TSetup& Setup()
{
    static TSetup setup;
    return setup;
}

void OursTitleBar(benchmark::State& state)
{
    TSetup& s = Setup();
    HWND barWnd = s.bar->Handle();
    const win::TRect button = s.bar->ButtonRect(1);
    const LPARAM onButton = MAKELPARAM((button.Left + button.Right) / 2, (button.Top + button.Bottom) / 2);
    const LPARAM offButton = MAKELPARAM(s.bar->Width() / 2, 5);
    int i = 0;
    for (auto _ : state) {
        ::SendMessageA(barWnd, WM_MOUSEMOVE, 0, (i++ & 1) ? offButton : onButton);
        ::UpdateWindow(barWnd);
    }
    Drain();
}

void PlainTitleBar(benchmark::State& state)
{
    TSetup& s = Setup();
    for (auto _ : state) {
        ::InvalidateRect(s.plain, nullptr, FALSE);
        ::UpdateWindow(s.plain);
    }
    Drain();
}

void Resize(benchmark::State& state, bool skinned)
{
    TSetup& s = Setup();
    HWND wnd = skinned ? s.framed->Handle() : s.plainForm->Handle();
    int i = 0;
    for (auto _ : state) {
        ++i;
        ::SetWindowPos(wnd, nullptr, 0, 0, 610 + (i & 1), 302 + (i & 1),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    Drain();
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const rtl::TUnitScope units(skin::UnitTable());
    win::Application->Initialize();
    Setup();
    benchmark::RegisterBenchmark("ours/skin_title_bar/mouse_move", OursTitleBar)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("plain/skin_title_bar/mouse_move", PlainTitleBar)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ours/skin_frame/resize", Resize, true)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("plain/skin_frame/resize", Resize, false)->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::DestroyWindow(Setup().plain);
    return 0;
}
