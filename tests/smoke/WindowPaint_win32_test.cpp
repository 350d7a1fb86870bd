// Proves that Win32 GUI code can run under the test harness: a real window on the X server, GDI
// drawing into a DIB section, and pixels read back from both.
#include "platform/win/Win32.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr COLORREF kBackground = RGB(0x20, 0x40, 0x60);
constexpr COLORREF kBox = RGB(0xFF, 0x00, 0x00);
constexpr RECT kBoxRect{8, 6, 24, 30};
constexpr wchar_t kClassName[] = L"VarneloSmokePaint";

// A 32-bit top-down DIB section selected into its own memory DC.
class DibCanvas {
public:
    DibCanvas(int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_)
            old_ = SelectObject(dc_, bitmap_);
        width_ = width;
    }
    ~DibCanvas()
    {
        if (old_)
            SelectObject(dc_, old_);
        if (bitmap_)
            DeleteObject(bitmap_);
        if (dc_)
            DeleteDC(dc_);
    }
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    bool Valid() const { return dc_ && bitmap_ && bits_; }
    HDC Dc() const { return dc_; }

    // The pixel as a COLORREF; DIB memory holds blue, green, red, unused.
    COLORREF Pixel(int x, int y) const
    {
        GdiFlush();
        const auto* row = static_cast<const std::uint8_t*>(bits_) + std::size_t(y) * width_ * 4;
        const auto* p = row + std::size_t(x) * 4;
        return RGB(p[2], p[1], p[0]);
    }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
    int width_ = 0;
};

void PaintScene(HDC dc)
{
    RECT all{0, 0, kWidth, kHeight};
    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(dc, &all, background);
    DeleteObject(background);
    HBRUSH box = CreateSolidBrush(kBox);
    FillRect(dc, &kBoxRect, box);
    DeleteObject(box);
    // A one-pixel line pins exact GDI end-point rules: the last point is not drawn.
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xFF, 0xFF, 0xFF));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, 40, 10, nullptr);
    LineTo(dc, 50, 10);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

struct PaintLog {
    int paints = 0;
};

LRESULT CALLBACK SmokeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        auto* log = reinterpret_cast<PaintLog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        DibCanvas canvas(kWidth, kHeight);
        if (canvas.Valid()) {
            PaintScene(canvas.Dc());
            BitBlt(dc, 0, 0, kWidth, kHeight, canvas.Dc(), 0, 0, SRCCOPY);
        }
        EndPaint(window, &ps);
        if (log)
            ++log->paints;
        return 0;
    }
    case WM_ERASEBKGND: return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class WindowPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = SmokeWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        ASSERT_TRUE(RegisterClassW(&wc)) << "RegisterClassW failed: " << GetLastError();
        RECT frame{0, 0, kWidth, kHeight};
        AdjustWindowRectEx(&frame, WS_POPUP, FALSE, WS_EX_TOPMOST);
        window_ =
            CreateWindowExW(WS_EX_TOPMOST, kClassName, L"Smoke", WS_POPUP, 10, 10, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window_, nullptr) << "CreateWindowExW failed: " << GetLastError();
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&log_));
    }
    void TearDown() override
    {
        if (window_)
            DestroyWindow(window_);
        PumpMessages();
        UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
    }

    HWND window_ = nullptr;
    PaintLog log_;
};

TEST_F(WindowPaint, ScreenHasRealSize)
{
    // Without a display Wine falls back to a null driver; these would then be tiny or zero.
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_GE(GetDeviceCaps(screen, HORZRES), 640);
    EXPECT_GE(GetDeviceCaps(screen, VERTRES), 480);
    EXPECT_GE(GetDeviceCaps(screen, BITSPIXEL), 24);
    ReleaseDC(nullptr, screen);
}

TEST_F(WindowPaint, GdiDrawsExactPixelsIntoDibSection)
{
    DibCanvas canvas(kWidth, kHeight);
    ASSERT_TRUE(canvas.Valid());
    PaintScene(canvas.Dc());

    EXPECT_EQ(canvas.Pixel(0, 0), kBackground);
    EXPECT_EQ(canvas.Pixel(kWidth - 1, kHeight - 1), kBackground);
    EXPECT_EQ(canvas.Pixel(kBoxRect.left, kBoxRect.top), kBox);
    EXPECT_EQ(canvas.Pixel(kBoxRect.right - 1, kBoxRect.bottom - 1), kBox);
    // FillRect excludes the right and bottom edges.
    EXPECT_EQ(canvas.Pixel(kBoxRect.right, kBoxRect.top), kBackground);
    EXPECT_EQ(canvas.Pixel(kBoxRect.left, kBoxRect.bottom), kBackground);
    EXPECT_EQ(canvas.Pixel(40, 10), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(canvas.Pixel(49, 10), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(canvas.Pixel(50, 10), kBackground);
    EXPECT_EQ(canvas.Pixel(45, 11), kBackground);
}

TEST_F(WindowPaint, WindowPaintsAndReadsBackFromScreen)
{
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    PumpMessages();
    ASSERT_GE(log_.paints, 1) << "WM_PAINT never arrived";
    ASSERT_TRUE(IsWindowVisible(window_));

    RECT client;
    ASSERT_TRUE(GetClientRect(window_, &client));
    EXPECT_EQ(client.right, kWidth);
    EXPECT_EQ(client.bottom, kHeight);

    // The X server may map the window a little later; repaint until the screen shows it.
    DibCanvas back(kWidth, kHeight);
    ASSERT_TRUE(back.Valid());
    bool shown = false;
    for (int attempt = 0; attempt < 50 && !shown; ++attempt) {
        InvalidateRect(window_, nullptr, FALSE);
        UpdateWindow(window_);
        PumpMessages();
        HDC dc = GetDC(window_);
        BitBlt(back.Dc(), 0, 0, kWidth, kHeight, dc, 0, 0, SRCCOPY);
        ReleaseDC(window_, dc);
        shown = back.Pixel(kBoxRect.left + 1, kBoxRect.top + 1) == kBox;
        if (!shown)
            Sleep(100);
    }
    ASSERT_TRUE(shown) << "window contents never reached the screen";
    EXPECT_EQ(back.Pixel(0, 0), kBackground);
    EXPECT_EQ(back.Pixel(kBoxRect.right, kBoxRect.top), kBackground);
    EXPECT_EQ(back.Pixel(45, 10), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(back.Pixel(kWidth - 1, kHeight - 1), kBackground);
}

}  // namespace
