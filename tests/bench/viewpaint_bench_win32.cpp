// The image view's repaint against GDI (Wine's): a view with a 1920x1080 client shows a 6000x4000
// picture at 37 % and at 400 %, and GDI's StretchBlt in HALFTONE mode draws the same rectangle of the
// same picture (from a DIB section in a memory DC) into the same window. Both are timed two ways:
// - repaint: the whole client painted on the window (ours: the back buffer composed from the layers
//   and copied; GDI: the stretch into the window DC);
// - compose: only the picture of the client (ours: the back buffer; GDI: a stretch into a 1920x1080
//   DIB section).
// Runs under Wine on an X screen large enough for the window (scripts/bench starts one).
#include "imaging/core/Units.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradview_win32.h"
#include "platform/win/Forms.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace imaging;

namespace {

constexpr int kClientW = 1920, kClientH = 1080;
constexpr int kImageW = 6000, kImageH = 4000;

// A smooth picture with fine detail, in a pixel format both sides read as is.
void Paint(std::uint8_t* row, int y)
{
    for (int x = 0; x < kImageW; ++x) {
        row[3 * x] = std::uint8_t((x * 255 / kImageW) ^ (y & 7));
        row[3 * x + 1] = std::uint8_t((y * 255 / kImageH) + (x & 15));
        row[3 * x + 2] = std::uint8_t((x + y) / 40);
    }
}

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "FAILED: %s\n", what);
    std::exit(1);
}

struct TSetup {
    win::TForm* form = nullptr;    // owned by the application
    TVodirAdView* view = nullptr;  // owned by the form
    // The same picture as a DIB section selected into a memory DC, for GDI.
    HDC pictureDC = nullptr;
    HBITMAP picture = nullptr;
    // A client-sized DIB section for GDI's compose.
    HDC clientDC = nullptr;
    HBITMAP client = nullptr;

    TSetup()
    {
        form = new win::TForm(win::Application);
        form->SetBorderStyle(win::bsNone);
        form->SetBounds(0, 0, kClientW + 8, kClientH + 8);
        view = new TVodirAdView(form);
        view->SetParent(form);
        view->SetScrollBars(win::ssNone);
        view->SetBounds(0, 0, kClientW + 4, kClientH + 4);
        TIEBitmap* image = view->GetIEBitmap();
        image->Allocate(kImageW, kImageH, ie24RGB);
        for (int y = 0; y < kImageH; ++y)
            Paint(image->ScanLine(y), y);
        form->Show();
        view->Update();
        if (view->ClientWidth() != kClientW || view->ClientHeight() != kClientH)
            Fail("the view's client is not 1920x1080");

        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = kImageW;
        info.bmiHeader.biHeight = -kImageH;  // top-down, as Paint writes it
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        HDC screen = ::GetDC(nullptr);
        picture = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!picture)
            Fail("no DIB section for the picture");
        const int stride = (kImageW * 3 + 3) & ~3;
        for (int y = 0; y < kImageH; ++y)
            Paint(static_cast<std::uint8_t*>(bits) + std::size_t(y) * stride, y);
        pictureDC = ::CreateCompatibleDC(screen);
        ::SelectObject(pictureDC, picture);
        info.bmiHeader.biWidth = kClientW;
        info.bmiHeader.biHeight = -kClientH;
        client = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        clientDC = ::CreateCompatibleDC(screen);
        ::SelectObject(clientDC, client);
        ::ReleaseDC(nullptr, screen);
        for (HDC dc : {clientDC}) {
            ::SetStretchBltMode(dc, HALFTONE);
            ::SetBrushOrgEx(dc, 0, 0, nullptr);
        }
    }

    // Zoom and origin for a case; the rectangle of the picture the client shows.
    void Show(double zoom, RECT& source)
    {
        view->SetZoom(zoom);
        int maxX, maxY;
        view->MaxViewXY(maxX, maxY);
        view->SetViewXY(maxX / 2, maxY / 2);
        source.left = view->XScr2Bmp(0);
        source.top = view->YScr2Bmp(0);
        source.right = view->XScr2Bmp(kClientW - 1) + 1;
        source.bottom = view->YScr2Bmp(kClientH - 1) + 1;
        // The back buffer must show the picture: the pixel under the client's centre.
        std::uint8_t expected[3 * kImageW];
        const int ix = view->XScr2Bmp(kClientW / 2), iy = view->YScr2Bmp(kClientH / 2);
        Paint(expected, iy);
        const auto* row = static_cast<const std::uint8_t*>(view->BackBuffer()->ScanLine(kClientH / 2));
        for (int c = 0; c < 3; ++c)
            if (row[3 * (kClientW / 2) + c] != expected[3 * ix + c])
                Fail("the back buffer does not show the picture");
    }
};

TSetup& Setup()
{
    static TSetup* setup = new TSetup;  // lives as long as the program
    return *setup;
}

void Pump()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void OursRepaint(benchmark::State& state, double zoom)
{
    TSetup& s = Setup();
    RECT source;
    s.Show(zoom, source);
    HWND wnd = s.view->Handle();
    Pump();
    for (auto _ : state) {
        s.view->InvalidateBackBuffer();
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        ::GdiFlush();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kClientW) * kClientH);
}

void GdiRepaint(benchmark::State& state, double zoom)
{
    TSetup& s = Setup();
    RECT source;
    s.Show(zoom, source);
    Pump();
    HDC dc = ::GetDC(s.view->Handle());
    ::SetStretchBltMode(dc, HALFTONE);
    ::SetBrushOrgEx(dc, 0, 0, nullptr);
    for (auto _ : state) {
        ::StretchBlt(dc, 0, 0, kClientW, kClientH, s.pictureDC, source.left, source.top,
                     source.right - source.left, source.bottom - source.top, SRCCOPY);
        ::GdiFlush();
    }
    ::ReleaseDC(s.view->Handle(), dc);
    state.SetItemsProcessed(state.iterations() * std::int64_t(kClientW) * kClientH);
}

void OursCompose(benchmark::State& state, double zoom)
{
    TSetup& s = Setup();
    RECT source;
    s.Show(zoom, source);
    for (auto _ : state) {
        s.view->InvalidateBackBuffer();
        benchmark::DoNotOptimize(s.view->BackBuffer());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kClientW) * kClientH);
}

void GdiCompose(benchmark::State& state, double zoom)
{
    TSetup& s = Setup();
    RECT source;
    s.Show(zoom, source);
    for (auto _ : state) {
        ::StretchBlt(s.clientDC, 0, 0, kClientW, kClientH, s.pictureDC, source.left, source.top,
                     source.right - source.left, source.bottom - source.top, SRCCOPY);
        ::GdiFlush();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kClientW) * kClientH);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const rtl::TUnitScope units(UnitTable());
    win::Application->Initialize();
    Setup();
    for (int zoom : {37, 400}) {
        const std::string z = std::to_string(zoom);
        benchmark::RegisterBenchmark(("ours/view_repaint/" + z).c_str(), OursRepaint, zoom)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("gdi/view_repaint/" + z).c_str(), GdiRepaint, zoom)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ours/view_compose/" + z).c_str(), OursCompose, zoom)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("gdi/view_compose/" + z).c_str(), GdiCompose, zoom)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
