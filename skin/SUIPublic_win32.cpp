// Drawing helpers of the skinned controls, over GDI.
#include "skin/SUIPublic.h"

#include "platform/rtl/TypeInfo.h"
#include "platform/rtl/Win32.h"
#include "platform/win/Handles.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace skin {

namespace {

HDC DCOf(win::TBitmap* bitmap) { return bitmap->Canvas()->Handle(); }

// Copies (sx, sy, sw, sh) of `source` into (dx, dy, dw, dh) of `dc`, stretching when the sizes
// differ (pixels repeated or dropped, never blended), leaving out pixels of `key` when `masked`.
void Blit(HDC dc, int dx, int dy, int dw, int dh, win::TBitmap* source, int sx, int sy, int sw, int sh,
          bool masked, COLORREF key)
{
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    HDC src = DCOf(source);
    if (masked) {
        ::TransparentBlt(dc, dx, dy, dw, dh, src, sx, sy, sw, sh, key);
    } else if (dw == sw && dh == sh) {
        ::BitBlt(dc, dx, dy, dw, dh, src, sx, sy, SRCCOPY);
    } else {
        const int old = ::SetStretchBltMode(dc, COLORONCOLOR);
        ::StretchBlt(dc, dx, dy, dw, dh, src, sx, sy, sw, sh, SRCCOPY);
        ::SetStretchBltMode(dc, old);
    }
}

// A 24-bit bitmap of the given size filled with `color`.
std::unique_ptr<win::TBitmap> Filled(int width, int height, win::TColor color)
{
    auto b = std::make_unique<win::TBitmap>();
    b->SetPixelFormat(win::pf24bit);
    b->SetSize(width, height);
    b->Canvas()->Brush()->SetColor(color);
    b->Canvas()->FillRect(win::Rect(0, 0, width, height));
    return b;
}

struct Bgr {
    std::uint8_t B, G, R;
};
static_assert(sizeof(Bgr) == 3);

Bgr* Row(win::TBitmap* bitmap, int y) { return static_cast<Bgr*>(bitmap->ScanLine(y)); }

void Rotate(win::TBitmap* bitmap, bool clockwise)
{
    if (!bitmap || bitmap->Empty())
        return;
    bitmap->SetPixelFormat(win::pf24bit);
    const int w = bitmap->Width();
    const int h = bitmap->Height();
    win::TBitmap turned;
    turned.SetPixelFormat(win::pf24bit);
    turned.SetSize(h, w);
    for (int y = 0; y < h; ++y) {
        const Bgr* src = Row(bitmap, y);
        for (int x = 0; x < w; ++x) {
            if (clockwise)
                Row(&turned, x)[h - 1 - y] = src[x];
            else
                Row(&turned, w - 1 - x)[y] = src[x];
        }
    }
    bitmap->Assign(&turned);
}

HMODULE gUser32 = nullptr;
// Set once either late-bound function is missing: from then on neither is called.
bool gLateBoundUnavailable = false;

struct User32Release {
    ~User32Release()
    {
        if (gUser32)
            ::FreeLibrary(gUser32);
    }
} gUser32Release;

FARPROC LateBound(const char* name)
{
    if (gLateBoundUnavailable)
        return nullptr;
    if (!gUser32)
        gUser32 = ::LoadLibraryA("User32.dll");
    FARPROC fn = gUser32 ? ::GetProcAddress(gUser32, name) : nullptr;
    if (!fn)
        gLateBoundUnavailable = true;
    return fn;
}

}  // namespace

void CutBitmapPiece(win::TBitmap* source, win::TBitmap* dest, int count, int index)
{
    if (!source || !dest)
        return;
    const int w = source->Width();
    const int h = source->Height();
    if (count < 1 || index < 1 || index > count || w / count == 0 || h == 0) {
        dest->SetSize(0, 0);
        return;
    }
    const int piece = w / count;
    const int x = index == count ? w - piece : (index - 1) * piece;
    win::TBitmap copy;
    if (source == dest) {
        copy.Assign(source);
        source = &copy;
    }
    dest->SetPixelFormat(win::pf24bit);
    dest->SetSize(piece, h);
    ::BitBlt(DCOf(dest), 0, 0, piece, h, DCOf(source), x, 0, SRCCOPY);
}

void DrawThreePartBitmap(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect,
                         win::TColor transColor, bool useTransColor)
{
    if (!source || !canvas || source->Width() / 3 == 0)
        return;
    const int piece = source->Width() / 3;
    const int h = source->Height();
    const COLORREF key = win::ColorToRGB(transColor);
    HDC dc = canvas->Handle();
    if (rect.Width() < piece) {
        Blit(dc, rect.Left, rect.Top, rect.Width(), h, source, 0, 0, rect.Width(), h, useTransColor, key);
        return;
    }
    Blit(dc, rect.Left, rect.Top, piece, h, source, 0, 0, piece, h, useTransColor, key);
    Blit(dc, rect.Right - piece, rect.Top, piece, h, source, source->Width() - piece, 0, piece, h,
         useTransColor, key);
    Blit(dc, rect.Left + piece, rect.Top, rect.Width() - 2 * piece, h, source, piece, 0, piece, h,
         useTransColor, key);
}

void DrawThreePartBitmapFilled(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect,
                               bool topCorner, win::TColor fillColor, bool useCornerColour)
{
    if (!source || !canvas || source->Width() / 3 == 0)
        return;
    const int piece = source->Width() / 3;
    const int h = source->Height();
    COLORREF key = win::ColorToRGB(kSkinTransColor);
    if (useCornerColour) {
        const int y = topCorner ? 0 : h - 1;
        if (source->PixelFormat() == win::pf24bit) {
            const Bgr corner = Row(source, y)[0];
            key = RGB(corner.R, corner.G, corner.B);
        } else {
            key = win::ColorToRGB(source->Canvas()->Pixels(0, y));
        }
    }
    HDC dc = canvas->Handle();
    if (rect.Width() < piece) {
        auto cut = Filled(std::max(rect.Width(), 0), h, fillColor);
        if (cut->Empty())
            return;
        Blit(DCOf(cut.get()), 0, 0, rect.Width(), h, source, 0, 0, rect.Width(), h, true, key);
        Blit(dc, rect.Left, rect.Top, rect.Width(), h, cut.get(), 0, 0, rect.Width(), h, false, 0);
        return;
    }
    Blit(dc, rect.Left, rect.Top, piece, h, source, 0, 0, piece, h, true, key);
    Blit(dc, rect.Right - piece, rect.Top, piece, h, source, source->Width() - piece, 0, piece, h, true, key);
    auto middle = Filled(piece, h, fillColor);
    Blit(DCOf(middle.get()), 0, 0, piece, h, source, piece, 0, piece, h, true, key);
    Blit(dc, rect.Left + piece, rect.Top, rect.Width() - 2 * piece, rect.Height(), middle.get(), 0, 0, piece,
         h, false, 0);
}

void DrawNineGrid(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect, bool transparent)
{
    if (!source || !canvas || source->Empty())
        return;
    const int sw = source->Width();
    const int sh = source->Height();
    const int dw = rect.Width();
    const int dh = rect.Height();
    if (dw <= 0 || dh <= 0)
        return;
    // Left and top parts are [0, n div 2); right and bottom ones begin at n - n div 2 + 1. Each
    // corner is cut to the smaller of its source and destination part.
    const int left = std::min(sw / 2, dw / 2);
    const int top = std::min(sh / 2, dh / 2);
    const int right = std::max(0, std::min(sw / 2 - 1, dw / 2 - 1));
    const int bottom = std::max(0, std::min(sh / 2 - 1, dh / 2 - 1));
    const COLORREF key = win::ColorToRGB(kSkinTransColor);
    HDC dc = canvas->Handle();
    const int sMidW = sw - left - right;
    const int sMidH = sh - top - bottom;
    const int dMidW = dw - left - right;
    const int dMidH = dh - top - bottom;
    // Edges and centre first, so the unscaled corners lie on top.
    Blit(dc, left, 0, dMidW, top, source, left, 0, sMidW, top, transparent, key);
    Blit(dc, left, dh - bottom, dMidW, bottom, source, left, sh - bottom, sMidW, bottom, transparent, key);
    Blit(dc, 0, top, left, dMidH, source, 0, top, left, sMidH, transparent, key);
    Blit(dc, dw - right, top, right, dMidH, source, sw - right, top, right, sMidH, transparent, key);
    Blit(dc, left, top, dMidW, dMidH, source, left, top, sMidW, sMidH, transparent, key);
    Blit(dc, 0, 0, left, top, source, 0, 0, left, top, transparent, key);
    Blit(dc, dw - right, 0, right, top, source, sw - right, 0, right, top, transparent, key);
    Blit(dc, 0, dh - bottom, left, bottom, source, 0, sh - bottom, left, bottom, transparent, key);
    Blit(dc, dw - right, dh - bottom, right, bottom, source, sw - right, sh - bottom, right, bottom,
         transparent, key);
}

void StretchBitmapHalftone(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect)
{
    if (!source || !canvas || source->Empty())
        return;
    HDC dc = canvas->Handle();
    const int old = ::SetStretchBltMode(dc, HALFTONE);
    POINT origin;
    ::SetBrushOrgEx(dc, 0, 0, &origin);
    ::StretchBlt(dc, rect.Left, rect.Top, rect.Width(), rect.Height(), DCOf(source), 0, 0, source->Width(),
                 source->Height(), SRCCOPY);
    ::SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
    ::SetStretchBltMode(dc, old);
}

void TileGraphic(win::TCanvas* canvas, win::TPicture* picture, const win::TRect& rect)
{
    if (!canvas || !picture || !picture->Graphic())
        return;
    const int w = picture->Width();
    const int h = picture->Height();
    if (w <= 0 || h <= 0)
        return;
    for (int y = 0; y < rect.Height() + h; y += h)
        for (int x = 0; x < rect.Width() + w; x += w)
            canvas->Draw(x, y, picture->Graphic());
}

void ReplaceBitmapColor(win::TBitmap* bitmap, win::TColor oldColor, win::TColor newColor)
{
    if (!bitmap)
        return;
    bitmap->SetPixelFormat(win::pf24bit);
    const COLORREF from = win::ColorToRGB(oldColor);
    const COLORREF to = win::ColorToRGB(newColor);
    const Bgr a{GetBValue(from), GetGValue(from), GetRValue(from)};
    const Bgr b{GetBValue(to), GetGValue(to), GetRValue(to)};
    for (int y = 0; y < bitmap->Height(); ++y) {
        Bgr* row = Row(bitmap, y);
        for (int x = 0; x < bitmap->Width(); ++x)
            if (row[x].B == a.B && row[x].G == a.G && row[x].R == a.R)
                row[x] = b;
    }
}

void RotateBitmapLeft(win::TBitmap* bitmap) { Rotate(bitmap, false); }

void RotateBitmapRight(win::TBitmap* bitmap) { Rotate(bitmap, true); }

void PaintParentBackground(win::TCanvas* canvas, win::TControl* control)
{
    if (!canvas || !control || !control->Parent())
        return;
    win::TWinControl* parent = control->Parent();
    HDC dc = canvas->Handle();
    const int saved = ::SaveDC(dc);
    POINT origin;
    ::GetViewportOrgEx(dc, &origin);
    ::SetViewportOrgEx(dc, origin.x - control->Left(), origin.y - control->Top(), nullptr);
    const win::TRect client = parent->ClientRect();
    ::IntersectClipRect(dc, 0, 0, client.Width(), client.Height());
    parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    parent->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    ::RestoreDC(dc, saved);
    canvas->Refresh();
}

void FrameWindowRect(win::TWinControl* control, win::TColor color, win::TColor innerColor, bool drawInner)
{
    if (!control)
        return;
    HWND window = control->Handle();
    win::WindowDC dc(window, true);
    if (!dc.Get())
        return;
    RECT r;
    ::GetWindowRect(window, &r);
    ::OffsetRect(&r, -r.left, -r.top);
    win::FrameSolidRect(dc.Get(), r, win::ColorToRGB(color));
    if (drawInner) {
        ::InflateRect(&r, -1, -1);
        win::FrameSolidRect(dc.Get(), r, win::ColorToRGB(innerColor));
    }
}

bool PointInRect(const win::TPoint& point, const win::TRect& rect)
{
    return CoordInRect(point.X, point.Y, rect);
}

bool CoordInRect(int x, int y, const win::TRect& rect)
{
    return x >= rect.Left && x <= rect.Right && y >= rect.Top && y <= rect.Bottom;
}

void SetControlPos(win::TControl* control, const win::TPoint& point)
{
    if (control)
        control->SetBounds(point.X, point.Y, control->Width(), control->Height());
}

void SetControlBounds(win::TControl* control, const win::TRect& rect)
{
    if (control)
        control->SetBounds(rect.Left, rect.Top, rect.Width(), rect.Height());
}

void GetWorkAreaRect(win::TRect& rect)
{
    win::TCustomForm* main = win::Application ? win::Application->MainForm() : nullptr;
    if (main && main->HandleAllocated()) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (::GetMonitorInfoA(::MonitorFromWindow(main->Handle(), MONITOR_DEFAULTTONEAREST), &info)) {
            rect = win::FromRECT(info.rcWork);
            return;
        }
    }
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    rect = win::FromRECT(work);
}

bool IsFormActive(win::TCustomForm* form)
{
    win::TCustomForm* main = win::Application ? win::Application->MainForm() : nullptr;
    if (!main)
        return form && form->Active();
    const bool mdiFrame = main->FormStyle() == win::fsMDIForm;
    if (mdiFrame && form == main)
        return true;
    if (!::GetActiveWindow())  // none of this thread's windows is active: the program is not
        return false;
    if (!form || form == main)
        return true;
    if (mdiFrame) {
        win::TCustomForm* active = main->ActiveMDIChild();
        if (active != form && !form->Active())
            return false;
    } else if (!form->Active()) {
        return false;
    }
    return true;
}

bool HasPublishedProp(rtl::TObject* instance, const std::string& name)
{
    return instance && rtl::IsPublishedProp(*instance, name);
}

void SetFileThemeAndStyle(win::TWinControl* container, TsuiUIStyle style, rtl::TComponent* fileTheme)
{
    if (!container)
        return;
    for (std::int32_t i = 0; i < container->ControlCount(); ++i) {
        win::TControl* child = container->Controls(i);
        if (!HasPublishedProp(child, "FileTheme") || !HasPublishedProp(child, "UIStyle"))
            continue;
        rtl::SetObjectProp(*child, "FileTheme", fileTheme);
        rtl::SetOrdProp(*child, "UIStyle", style);
    }
}

std::string StrFromBuffer(const char* buffer) { return buffer ? std::string(buffer) : std::string(); }

BOOL CallGetScrollBarInfo(HWND window, LONG objectId, SCROLLBARINFO* info)
{
    using Fn = BOOL(WINAPI*)(HWND, LONG, PSCROLLBARINFO);
    static Fn fn = nullptr;
    if (gLateBoundUnavailable)
        return 0;
    if (!fn)
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(LateBound("GetScrollBarInfo")));
    return fn ? fn(window, objectId, info) : 0;
}

BOOL CallGetComboBoxInfo(HWND window, COMBOBOXINFO* info)
{
    using Fn = BOOL(WINAPI*)(HWND, PCOMBOBOXINFO);
    static Fn fn = nullptr;
    if (gLateBoundUnavailable)
        return 0;
    if (!fn)
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(LateBound("GetComboBoxInfo")));
    return fn ? fn(window, info) : 0;
}

}  // namespace skin
