// Repaint cost of the skinned frame under Wine, against plain Win32 windows in the same run:
//   title bar   one mouse move over the bar (hot button on, then off) and the repaint it causes,
//               against invalidating and repainting a plain window of the bar's size that fills
//               itself and draws its caption
//   frame       one resize of a framed form and the repaint of its whole frame, against the same
//               resize and repaint of a plain sizeable form
// Google Benchmark does not build for the i686 program, so this tool times itself: each case runs
// in blocks of iterations, ours and the peer's interleaved, and reports the median time per
// iteration of each and their ratio (below 1 is faster).
#include "platform/rtl/Units.h"
#include "platform/win/Forms.h"
#include "platform/rtl/Win32.h"
#include "skin/SUIForm.h"
#include "skin/Units.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double Now()
{
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Drain()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Median seconds per iteration of `ours` and `peer`, blocks interleaved.
std::pair<double, double> Race(const std::function<void(int)>& ours, const std::function<void(int)>& peer,
                               int iterations, int blocks)
{
    std::vector<double> a, b;
    for (int k = 0; k < blocks; ++k) {
        for (int side = 0; side < 2; ++side) {
            const auto& run = ((k + side) % 2 == 0) ? ours : peer;
            auto& out = ((k + side) % 2 == 0) ? a : b;
            const double start = Now();
            for (int i = 0; i < iterations; ++i)
                run(i);
            out.push_back((Now() - start) / iterations);
        }
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
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

}  // namespace

int main()
{
    const rtl::TUnitScope units(skin::UnitTable());
    win::Application->Initialize();

    auto* framed = new win::TForm(win::Application);
    framed->SetBounds(60, 60, 610, 302);
    framed->SetCaption("Setup Assistant");
    auto* frame = new skin::TsuiForm(framed);
    frame->SetParent(framed);
    frame->SetCaption("Setup Assistant");
    frame->SetUIStyle(skin::WinXP);
    framed->Show();

    auto* plainForm = new win::TForm(win::Application);
    plainForm->SetBounds(60, 380, 610, 302);
    plainForm->SetCaption("Setup Assistant");
    plainForm->Show();

    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "VaPlainTitle";
    ::RegisterClassA(&wc);
    skin::TsuiTitleBar* bar = frame->TitleBar();
    HWND plain = ::CreateWindowExA(0, "VaPlainTitle", "", WS_POPUP | WS_VISIBLE, 700, 60, bar->Width(),
                                   bar->Height(), nullptr, nullptr, wc.hInstance, nullptr);
    Drain();

    HWND barWnd = bar->Handle();
    const win::TRect button = bar->ButtonRect(1);
    const LPARAM onButton = MAKELPARAM((button.Left + button.Right) / 2, (button.Top + button.Bottom) / 2);
    const LPARAM offButton = MAKELPARAM(bar->Width() / 2, 5);
    const auto [barOurs, barPeer] = Race(
        [&](int i) {
            ::SendMessageA(barWnd, WM_MOUSEMOVE, 0, (i & 1) ? offButton : onButton);
            ::UpdateWindow(barWnd);
        },
        [&](int) {
            ::InvalidateRect(plain, nullptr, FALSE);
            ::UpdateWindow(plain);
        },
        200, 9);

    HWND framedWnd = framed->Handle();
    HWND plainWnd = plainForm->Handle();
    auto resize = [](HWND wnd, int i) {
        ::SetWindowPos(wnd, nullptr, 0, 0, 610 + (i & 1), 302 + (i & 1),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    };
    const auto [frameOurs, framePeer] =
        Race([&](int i) { resize(framedWnd, i); }, [&](int i) { resize(plainWnd, i); }, 60, 9);

    std::printf("case\tours_us\tpeer_us\tratio\n");
    std::printf("title bar repaint per mouse move vs plain window repaint\t%.1f\t%.1f\t%.2f\n", barOurs * 1e6,
                barPeer * 1e6, barOurs / barPeer);
    std::printf("frame repaint per resize vs plain sizeable form\t%.1f\t%.1f\t%.2f\n", frameOurs * 1e6,
                framePeer * 1e6, frameOurs / framePeer);
    ::DestroyWindow(plain);
    return 0;
}
