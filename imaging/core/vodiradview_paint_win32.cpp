// The image view's painting: layers composed over a background into the back buffer, the copy to the
// window, and what is drawn on top (selection, grips, rubber line, caption and banner).
#include "imaging/core/vodiradview_win32.h"

#include "imaging/core/hyieutils.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/core/vodiradproc_transition_win32.h"
#include "imaging/core/vodiradproc_win32.h"
#include "platform/win/Graphics.h"
#include "platform/win/Handles.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace imaging {

namespace {

TColor PlainColor(TColor c) { return TColor(win::ColorToRGB(c) & 0xFFFFFF); }
TColor Complement(TColor plain) { return TColor(~std::uint32_t(plain) & 0xFFFFFF); }

// GradientFill from msimg32, looked up once; nullptr when the system has none.
using TGradientFill = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);
TGradientFill GradientFillProc()
{
    static TGradientFill proc = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        if (HMODULE lib = ::LoadLibraryA("MSIMG32.DLL"))
            proc = reinterpret_cast<TGradientFill>(
                reinterpret_cast<void*>(::GetProcAddress(lib, "GradientFill")));
    });
    return proc;
}

COLOR16 Channel16(TColor plain, int shift) { return COLOR16(((plain >> shift) & 0xFF) << 8); }

HBRUSH HatchBrush(TIEBackgroundStyle style, COLORREF colour)
{
    int hatch = HS_HORIZONTAL;
    switch (style) {
    case iebsVertical: hatch = HS_VERTICAL; break;
    case iebsFDiagonal: hatch = HS_FDIAGONAL; break;
    case iebsBDiagonal: hatch = HS_BDIAGONAL; break;
    case iebsCross: hatch = HS_CROSS; break;
    case iebsDiagCross: hatch = HS_DIAGCROSS; break;
    default: break;
    }
    return ::CreateHatchBrush(hatch, colour);
}

// Pixels of a line from (x0, y0) to (x1, y1), end included, in order.
template <class F>
void LinePixels(int x0, int y0, int x1, int y1, F&& plot)
{
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy, k = 0;
    for (;;) {
        plot(x0, y0, k++);
        if (x0 == x1 && y0 == y1)
            return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

}  // namespace

// ---- back buffer -----------------------------------------------------------------------------------

void TVodirAdView::EnsureBackBuffer()
{
    const int w = std::max(viewport_.ClientWidth(), 0), h = std::max(viewport_.ClientHeight(), 0);
    if (!backBufferRows_ || backBuffer_->Width() != w || backBuffer_->Height() != h) {
        backBuffer_->SetPixelFormat(win::pf24bit);
        backBuffer_->SetSize(w, h);
        backBufferRows_ = IEWrapTBitmap(backBuffer_.get());
        backBufferDirty_ = true;
    }
}

win::TBitmap* TVodirAdView::BackBuffer()
{
    EnsureBackBuffer();
    if (backBufferDirty_ && backBuffer_->Width() > 0 && backBuffer_->Height() > 0) {
        PaintLayers();
        OnDrawBackBuffer(this);
        backBufferDirty_ = false;
    }
    return backBuffer_.get();
}

void TVodirAdView::InvalidateBackBuffer()
{
    backBufferDirty_ = true;
    fullRepaint_ = true;
    if (HandleAllocated())
        ::InvalidateRect(Handle(), nullptr, FALSE);
}

void TVodirAdView::VisibleImageRect(int& ix0, int& iy0, int& ix1, int& iy1) const
{
    const int w = viewport_.ImageWidth(), h = viewport_.ImageHeight();
    ix0 = std::clamp(viewport_.XScr2Bmp(0), 0, w);
    iy0 = std::clamp(viewport_.YScr2Bmp(0), 0, h);
    ix1 = std::clamp(viewport_.XScr2Bmp(viewport_.ClientWidth() - 1) + 1, 0, w);
    iy1 = std::clamp(viewport_.YScr2Bmp(viewport_.ClientHeight() - 1) + 1, 0, h);
}

// ---- backgrounds -----------------------------------------------------------------------------------

void TVodirAdView::DrawBackground(win::TCanvas& Canvas, const win::TRect& Rect, const win::TRect& ImageRect)
{
    if (Rect.IsEmpty())
        return;
    HDC dc = Canvas.Handle();
    win::SaveDCGuard saved(dc);
    // Colour arithmetic (complements, ramps) needs the colour itself, not a system colour's index.
    const TColor bg = PlainColor(Background());
    const RECT r = win::ToRECT(Rect);
    const bool designing = ComponentState().Contains(rtl::csDesigning);
    TIEBackgroundStyle style = backgroundStyle_;
    if (designing && (style == iebsCropped || style == iebsCropShadow))
        style = iebsSolid;
    switch (style) {
    case iebsHorizontal:
    case iebsVertical:
    case iebsFDiagonal:
    case iebsBDiagonal:
    case iebsCross:
    case iebsDiagCross: {
        // The gaps between the lines take the complement, so the hatch shows on any colour.
        win::FillSolidRect(dc, r, COLORREF(Complement(bg)));
        HBRUSH brush = HatchBrush(style, COLORREF(bg));
        ::SetBkMode(dc, TRANSPARENT);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        ::FillRect(dc, &r, brush);
        ::DeleteObject(brush);
        break;
    }
    case iebsChessboard: {
        const int size = std::max(ChessboardSize, 1);
        ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
        const COLORREF colours[2] = {COLORREF(Complement(bg)), COLORREF(bg)};
        // The squares' brushes, of the brush style itself: its hatches are the class layer's.
        win::TBrush brushes[2];
        for (int i = 0; i < 2; ++i) {
            brushes[i].SetColor(TColor(colours[i]));
            brushes[i].SetStyle(ChessboardBrushStyle);
        }
        for (int row = 0, y = r.top; y < r.bottom; ++row, y += size)
            for (int col = 0, x = r.left; x < r.right; ++col, x += size) {
                const RECT square{x, y, x + size, y + size};
                if (ChessboardBrushStyle == win::bsSolid)
                    win::FillSolidRect(dc, square, colours[(row + col) & 1]);
                else if (ChessboardBrushStyle != win::bsClear)
                    ::FillRect(dc, &square, brushes[(row + col) & 1].Handle());
            }
        break;
    }
    case iebsDiagonals: {
        win::FillSolidRect(dc, r, COLORREF(bg));
        HPEN pen = ::CreatePen(PS_SOLID, 1, COLORREF(Complement(bg)));
        HGDIOBJ old = ::SelectObject(dc, pen);
        ::MoveToEx(dc, r.left, r.top, nullptr);
        ::LineTo(dc, r.right, r.bottom);
        ::MoveToEx(dc, r.right - 1, r.top, nullptr);
        ::LineTo(dc, r.left - 1, r.bottom);
        ::SelectObject(dc, old);
        ::DeleteObject(pen);
        break;
    }
    case iebsCropped:
    case iebsCropShadow: {
        win::FillSolidRect(dc, r, win::ColorToRGB(win::clBtnFace));
        if (ImageRect.Width() <= 1 || ImageRect.Height() <= 1)
            break;
        if (style == iebsCropped) {
            RECT edge = win::ToRECT(ImageRect);
            ::InflateRect(&edge, ::GetSystemMetrics(SM_CXEDGE), ::GetSystemMetrics(SM_CYEDGE));
            ::DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
        } else {
            const win::TRect& i = ImageRect;
            DrawHorzGradientRuler(Canvas, i.Right, i.Top + 5, i.Right + 4, i.Bottom + 3, 2);
            DrawVertGradientRuler(Canvas, i.Left + 5, i.Bottom, i.Right + 4, i.Bottom + 4, 2);
        }
        break;
    }
    case iebsGradient: {
        // Solid first: a system without GradientFill still shows the background colour.
        win::FillSolidRect(dc, r, COLORREF(bg));
        const TColor end = PlainColor(GradientEndColor);
        if (TGradientFill fill = GradientFillProc()) {
            TRIVERTEX v[2] = {
                {r.left, r.top, Channel16(bg, 0), Channel16(bg, 8), Channel16(bg, 16), 0},
                {r.right, r.bottom, Channel16(end, 0), Channel16(end, 8), Channel16(end, 16), 0},
            };
            GRADIENT_RECT g{0, 1};
            fill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
        }
        break;
    }
    default: win::FillSolidRect(dc, r, COLORREF(bg)); break;
    }
    Canvas.Refresh();
}

// ---- layers ----------------------------------------------------------------------------------------

void TVodirAdView::SyncLayerSizes()
{
    TIEBitmap* image = layers_[0]->Bitmap();
    if (!LayersSync || layers_.size() < 2)
        return;
    int w = 0, h = 0;
    for (const auto& l : layers_) {
        w = std::max(w, l->Bitmap()->GetWidth());
        h = std::max(h, l->Bitmap()->GetHeight());
    }
    for (std::size_t i = 0; i < layers_.size(); ++i) {
        TIEBitmap* b = layers_[i]->Bitmap();
        if (b->GetPixelFormat() == ieNull || (b->GetWidth() == w && b->GetHeight() == h))
            continue;
        // Layer 0 grows in the background colour; the others grow transparent, so a small layer keeps
        // showing only its own pixels over the image.
        if (i > 0 && !b->HasAlphaChannel())
            b->GetAlphaChannel()->Full = true;
        b->Resize(w, h, b == image ? double(PlainColor(Background())) : 0, i == 0 ? 255 : 0, 0, 0);
        if (i > 0)
            b->GetAlphaChannel()->UpdateFullFlag();
    }
}

void TVodirAdView::PaintLayers()
{
    EnsureBackBuffer();
    win::TCanvas& canvas = *backBuffer_->Canvas();
    const int cw = viewport_.ClientWidth(), ch = viewport_.ClientHeight();
    const win::TRect client{0, 0, cw, ch};
    if (cw < 1 || ch < 1)
        return;
    SyncLayerSizes();
    const int iw = layers_[0]->Bitmap()->GetWidth(), ih = layers_[0]->Bitmap()->GetHeight();
    const win::TRect imageRect{viewport_.XBmp2Scr(0), viewport_.YBmp2Scr(0), viewport_.XBmp2Scr(iw),
                               viewport_.YBmp2Scr(ih)};
    if (ComponentState().Contains(rtl::csDesigning) || iw < 1 || ih < 1 ||
        layers_[0]->Bitmap()->GetPixelFormat() == ieNull) {
        DrawBackground(canvas, client, imageRect);
        return;
    }
    bool first = true;
    for (std::size_t i = 0; i < layers_.size(); ++i) {
        TIELayer& layer = *layers_[i];
        TIEBitmap* b = layer.Bitmap();
        const int bw = b->GetWidth(), bh = b->GetHeight();
        if (!layer.Visible || b->GetPixelFormat() == ieNull || bw < 1 || bh < 1 || (bw == 1 && bh == 1))
            continue;
        const int x0 = viewport_.XBmp2Scr(layer.PosX), y0 = viewport_.YBmp2Scr(layer.PosY);
        const int x1 = std::max(viewport_.XBmp2Scr(layer.PosX + layer.DisplayWidth()), x0 + 1);
        const int y1 = std::max(viewport_.YBmp2Scr(layer.PosY + layer.DisplayHeight()), y0 + 1);
        // An alpha channel of another size than its bitmap is not used.
        const bool alphaFits = b->HasAlphaChannel() && b->GetAlphaChannel()->GetWidth() == bw &&
                               b->GetAlphaChannel()->GetHeight() == bh;
        const bool partlyTransparent = alphaFits && !b->GetAlphaChannel()->Full;
        if (first) {
            const bool covers = x0 <= 0 && y0 <= 0 && x1 >= cw && y1 >= ch && layer.Transparency > 254 &&
                                !((enableAlpha_ || i > 0) && partlyTransparent);
            if (!covers)
                DrawBackground(canvas, client, imageRect);
            first = false;
        }
        bool lens = false;
        if (i > 0 && layer.Magnify && layer.MagnifyZoom >= 1) {
            // The lens shows what lies under it, magnified about its centre.
            const int dw = x1 - x0, dh = y1 - y0;
            const double cx = x0 + dw / 2.0, cy = y0 + dh / 2.0;
            b->Allocate(bw, bh, ie24RGB);
            for (int v = 0; v < bh; ++v) {
                std::uint8_t* row = b->ScanLine(v);
                const int sy =
                    std::clamp(int(cy + ((v + 0.5) * dh / bh - dh / 2.0) / layer.MagnifyZoom), 0, ch - 1);
                const std::uint8_t* src = backBufferRows_->ScanLine(sy);
                for (int u = 0; u < bw; ++u) {
                    const int sx =
                        std::clamp(int(cx + ((u + 0.5) * dw / bw - dw / 2.0) / layer.MagnifyZoom), 0, cw - 1);
                    std::copy_n(src + 3 * sx, 3, row + 3 * u);
                }
            }
            TIEBitmap* a = b->GetAlphaChannel();
            a->Fill(255);
            if (layer.MagnifyStyle == 1) {
                for (int v = 0; v < bh; ++v) {
                    std::uint8_t* row = a->ScanLine(v);
                    const double ny = (v + 0.5) / bh * 2 - 1;
                    for (int u = 0; u < bw; ++u) {
                        const double nx = (u + 0.5) / bw * 2 - 1;
                        row[u] = nx * nx + ny * ny <= 1 ? 255 : 0;
                    }
                }
                a->Full = false;
                lens = true;
            } else {
                a->Full = true;
            }
        }
        win::TRect clip = client;
        if (layer.Cropped) {
            clip.Left = std::max(clip.Left, imageRect.Left);
            clip.Top = std::max(clip.Top, imageRect.Top);
        }
        layer.ClientAreaBox = TIERect{x0, y0, x1, y1};
        const bool scaled = layer.Width > 0 || layer.Height > 0 || viewport_.Zoom() != 100;
        const TResampleFilter filter =
            zoomFilter_ != rfNone && filterDelay_ == 0 && scaled ? zoomFilter_ : rfNone;
        const TIERect visible{clip.Left, clip.Top, clip.Right, clip.Bottom};
        // The image's alpha shows the background only with EnableAlphaChannel; the layers above it
        // always keep their shape.
        const bool alpha = (enableAlpha_ || lens || i > 0) && alphaFits;
        TIERenderCache* cache = i < renderCaches_.size() ? &renderCaches_[i] : nullptr;
        if (filter == rfNone) {
            b->RenderToTBitmap(backBufferRows_.get(), cache, &visible, x0, y0, x1 - x0, y1 - y0, 0, 0, bw, bh,
                               alpha, true, layer.Transparency, rfNone, false, layer.Operation);
        } else {
            // A filter scales only what is seen, with a margin for its support, rather than the whole
            // zoomed layer (which at 400 % of a large image would not fit in memory).
            const int margin = int(std::ceil(3 * std::max(1.0, 100 / viewport_.Zoom()))) + 1;
            const auto srcCol = [&](int x) {
                return std::clamp(int(std::floor(double(x - x0) * bw / (x1 - x0))), 0, bw);
            };
            const auto srcRow = [&](int y) {
                return std::clamp(int(std::floor(double(y - y0) * bh / (y1 - y0))), 0, bh);
            };
            const int sx0 = std::max(srcCol(std::max(clip.Left, x0)) - margin, 0);
            const int sy0 = std::max(srcRow(std::max(clip.Top, y0)) - margin, 0);
            const int sx1 = std::min(srcCol(std::min(clip.Right, x1)) + margin + 1, bw);
            const int sy1 = std::min(srcRow(std::min(clip.Bottom, y1)) + margin + 1, bh);
            if (sx1 > sx0 && sy1 > sy0) {
                const auto destCol = [&](int s) {
                    return x0 + int(std::llround(double(s) * (x1 - x0) / bw));
                };
                const auto destRow = [&](int s) {
                    return y0 + int(std::llround(double(s) * (y1 - y0) / bh));
                };
                const int dx0 = destCol(sx0), dy0 = destRow(sy0);
                b->RenderToTBitmap(backBufferRows_.get(), nullptr, &visible, dx0, dy0,
                                   std::max(destCol(sx1) - dx0, 1), std::max(destRow(sy1) - dy0, 1), sx0, sy0,
                                   sx1 - sx0, sy1 - sy0, alpha, true, layer.Transparency, filter, true,
                                   layer.Operation);
            }
        }
        if (layer.VisibleBox) {
            const bool current = int(i) == currentLayer_;
            const bool layerMode =
                mouseInteract_.Contains(miMoveLayers) || mouseInteract_.Contains(miResizeLayers);
            if ((current && layerMode) || LayersFrameAll)
                DrawLayerFrame(canvas, layer,
                               current && mouseInteract_.Contains(miResizeLayers) && !layer.Locked);
        }
    }
    if (first)
        DrawBackground(canvas, client, imageRect);
    DrawSelectionIntoBackBuffer();
    if (DisplayGrid && viewport_.Zoom() >= 400 && (iw > 1 || ih > 1))
        DrawGrid(canvas);
}

void TVodirAdView::DrawLayerFrame(win::TCanvas& canvas, TIELayer& layer, bool grips)
{
    HDC dc = canvas.Handle();
    win::SaveDCGuard saved(dc);
    const TIERect& r = layer.ClientAreaBox;
    HPEN pen = ::CreatePen(PS_DOT, 1, RGB(0, 0, 0));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    HGDIOBJ oldBrush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::SetBkColor(dc, RGB(255, 255, 255));
    ::Rectangle(dc, r.Left, r.Top, r.Right, r.Bottom);
    if (grips) {
        ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
        ::SelectObject(dc, ::GetStockObject(WHITE_BRUSH));
        int xs[8], ys[8];
        layer.GripCentres(xs, ys);
        for (int k = 0; k < 8; ++k)
            ::Rectangle(dc, xs[k] - 4, ys[k] - 4, xs[k] + 5, ys[k] + 5);
    }
    ::SelectObject(dc, oldBrush);
    ::SelectObject(dc, oldPen);
    ::DeleteObject(pen);
    canvas.Refresh();
}

void TVodirAdView::DrawSelectionIntoBackBuffer()
{
    if (!selected_ || mask_.IsEmpty() || IsSelecting())
        return;
    if (!selectionOptions_.Contains(iesoFilled) && !selectionOptions_.Contains(iesoMarkOuter))
        return;
    int ix0, iy0, ix1, iy1;
    VisibleImageRect(ix0, iy0, ix1, iy1);
    if (ix1 <= ix0 || iy1 <= iy0)
        return;
    const int dx0 = viewport_.XBmp2Scr(ix0), dy0 = viewport_.YBmp2Scr(iy0);
    const int dw = viewport_.XBmp2Scr(ix1) - dx0, dh = viewport_.YBmp2Scr(iy1) - dy0;
    if (selectionOptions_.Contains(iesoFilled)) {
        mask_.DrawOnCanvas(*backBuffer_->Canvas(), dx0, dy0, dw, dh, ix0, iy0, ix1 - ix0, iy1 - iy0);
        backBuffer_->Canvas()->Refresh();
    }
    if (selectionOptions_.Contains(iesoMarkOuter))
        mask_.DrawOutlineToBitmap(backBufferRows_.get(), dx0, dy0, dw, dh, ix0, iy0, ix1 - ix0, iy1 - iy0);
}

void TVodirAdView::DrawGrid(win::TCanvas& canvas)
{
    int ix0, iy0, ix1, iy1;
    VisibleImageRect(ix0, iy0, ix1, iy1);
    HDC dc = canvas.Handle();
    win::SaveDCGuard saved(dc);
    HPEN pen = ::CreatePen(PS_SOLID, 1, COLORREF(PlainColor(GridColor)));
    HGDIOBJ old = ::SelectObject(dc, pen);
    const int top = viewport_.YBmp2Scr(iy0), bottom = viewport_.YBmp2Scr(iy1);
    const int left = viewport_.XBmp2Scr(ix0), right = viewport_.XBmp2Scr(ix1);
    for (int x = ix0; x <= ix1; ++x) {
        const int sx = viewport_.XBmp2Scr(x);
        ::MoveToEx(dc, sx, top, nullptr);
        ::LineTo(dc, sx, bottom);
    }
    for (int y = iy0; y <= iy1; ++y) {
        const int sy = viewport_.YBmp2Scr(y);
        ::MoveToEx(dc, left, sy, nullptr);
        ::LineTo(dc, right, sy);
    }
    ::SelectObject(dc, old);
    ::DeleteObject(pen);
    canvas.Refresh();
}

// ---- to the window --------------------------------------------------------------------------------

void* TVodirAdView::DrawDib()
{
    if (!drawDib_)
        drawDib_ = DrawDibOpenWrap();
    return drawDib_;
}

void TVodirAdView::CopyBackBuffer(HDC dc, const win::TRect& rect)
{
    const int w = backBuffer_->Width(), h = backBuffer_->Height();
    const int left = std::clamp(rect.Left, 0, w), top = std::clamp(rect.Top, 0, h);
    const int right = std::clamp(rect.Right, 0, w), bottom = std::clamp(rect.Bottom, 0, h);
    if (right <= left || bottom <= top)
        return;
    const int bits = IEScreenBitsPerPixel();
    if (UseDrawDib || bits <= 8) {
        BITMAPINFOHEADER header{};
        header.biSize = sizeof(header);
        header.biWidth = w;
        header.biHeight = h;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        // The DIB section's rows are bottom-up in one block that starts with the last row.
        void* pixels = backBuffer_->ScanLine(h - 1);
        DrawDibDrawWrap(DrawDib(), dc, 0, 0, w, h, &header, pixels, 0, 0, w, h, 0);
        return;
    }
    HDC source = backBuffer_->Canvas()->Handle();
    if (bits < 24) {
        win::SaveDCGuard saved(dc);
        ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
        ::StretchBlt(dc, left, top, right - left, bottom - top, source, left, top, right - left, bottom - top,
                     SRCCOPY);
        return;
    }
    ::BitBlt(dc, left, top, right - left, bottom - top, source, left, top, SRCCOPY);
}

void TVodirAdView::Paint()
{
    const int cw = viewport_.ClientWidth(), ch = viewport_.ClientHeight();
    if (!CanDraw() || cw < 1 || ch < 1)
        return;
    win::TCanvas& canvas = *Canvas();
    const win::TRect client{0, 0, cw, ch};
    if (ComponentState().Contains(rtl::csDesigning)) {
        DrawBackground(canvas, client, {});
        return;
    }
    if (TransitionRunning()) {
        // The animation owns the screen until it stops.
        transition_->PaintFrame(canvas.Handle());
        return;
    }
    if (updateLock_ == 0) {
        win::TRect rect = fullRepaint_ ? client : canvas.ClipRect();
        if (rect.IsEmpty())
            rect = client;
        BackBuffer();
        CopyBackBuffer(canvas.Handle(), rect);
    }
    fullRepaint_ = false;
    rubberShown_ = false;
    DrawSelectionOutline(canvas);
    OnPaint(this);
    if (drawVersion_)
        DrawBanner(canvas);
    if (drawCaption_)
        DrawCaptionText(canvas);
    if (polygonDrawing_)
        DrawRubberLine(lastX_, lastY_);
}

// ---- on top ---------------------------------------------------------------------------------------

void TVodirAdView::DrawSelectionOutline(win::TCanvas& canvas)
{
    if (outlineDelay_ > 0 && !IsSelecting())
        return;
    const TColor c1 = PlainColor(SelColor1), c2 = PlainColor(SelColor2);
    if (!IsSelecting() && selected_ && !mask_.IsEmpty() && moving_ < 0) {
        int ix0, iy0, ix1, iy1;
        VisibleImageRect(ix0, iy0, ix1, iy1);
        if (ix1 <= ix0 || iy1 <= iy0)
            return;
        const int dx0 = viewport_.XBmp2Scr(ix0), dy0 = viewport_.YBmp2Scr(iy0);
        mask_.DrawOutline(canvas, dx0, dy0, viewport_.XBmp2Scr(ix1) - dx0, viewport_.YBmp2Scr(iy1) - dy0, ix0,
                          iy0, ix1 - ix0, iy1 - iy0, c1, c2, phase_);
        DrawSelectionGrips(canvas);
        return;
    }
    if (points_.Count() > 0)
        DrawPointsOutline(canvas);
}

void TVodirAdView::DrawPointsOutline(win::TCanvas& canvas)
{
    HDC dc = canvas.Handle();
    const COLORREF c1 = COLORREF(PlainColor(SelColor1)), c2 = COLORREF(PlainColor(SelColor2));
    const std::vector<TIEPoint>& pts = points_.Points();
    const int phase = outlinePhase_;
    auto line = [&](const TIEPoint& a, const TIEPoint& b) {
        LinePixels(viewport_.XBmp2Scr(a.X), viewport_.YBmp2Scr(a.Y), viewport_.XBmp2Scr(b.X),
                   viewport_.YBmp2Scr(b.Y),
                   [&](int x, int y, int k) { ::SetPixelV(dc, x, y, ((k + phase) & 7) < 4 ? c1 : c2); });
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i <= pts.size(); ++i) {
        if (i < pts.size() && !IsSeparator(pts[i]))
            continue;
        const bool last = i == pts.size();
        for (std::size_t k = start; k + 1 < i; ++k)
            line(pts[k], pts[k + 1]);
        // The polygon being drawn stays open; the rubber line joins it to the mouse.
        if (i > start + 1 && !(last && polygonDrawing_))
            line(pts[i - 1], pts[start]);
        start = i + 1;
    }
    canvas.Refresh();
}

TIEGrip TVodirAdView::SelectionGripAt(int X, int Y) const
{
    if (!selectionOptions_.Contains(iesoSizeable) || !points_.IsRectangle() || rectDrawing_ || !selected_)
        return ieNone;
    const int half = SelectionGripSize;
    for (int i = 0; i < 4; ++i) {
        const int sx = viewport_.XBmp2Scr(points_[i].X), sy = viewport_.YBmp2Scr(points_[i].Y);
        if (std::abs(X - sx) <= half && std::abs(Y - sy) <= half) {
            // The corners in the rectangle's point order: top left, top right, bottom right, bottom left.
            return TIEGrip(ieTopLeft + i);
        }
    }
    const int left = viewport_.XBmp2Scr(points_[0].X), right = viewport_.XBmp2Scr(points_[1].X);
    const int top = viewport_.YBmp2Scr(points_[0].Y), bottom = viewport_.YBmp2Scr(points_[2].Y);
    const bool withinY = Y >= top && Y <= bottom, withinX = X >= left && X <= right;
    if (withinY && std::abs(X - left) < 3)
        return ieLeftSide;
    if (withinY && std::abs(X - right) < 3)
        return ieRightSide;
    if (withinX && std::abs(Y - top) < 3)
        return ieTopSide;
    if (withinX && std::abs(Y - bottom) < 3)
        return ieBottomSide;
    return ieNone;
}

void TVodirAdView::DrawSelectionGrips(win::TCanvas& canvas)
{
    if (!selectionOptions_.Contains(iesoSizeable) || !points_.IsRectangle() || IsSelecting())
        return;
    HDC dc = canvas.Handle();
    win::SaveDCGuard saved(dc);
    ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
    ::SelectObject(dc, ::GetStockObject(WHITE_BRUSH));
    ::SetROP2(dc, R2_COPYPEN);
    const int half = SelectionGripSize;
    const int left = viewport_.XBmp2Scr(points_[0].X), right = viewport_.XBmp2Scr(points_[1].X);
    const int top = viewport_.YBmp2Scr(points_[0].Y), bottom = viewport_.YBmp2Scr(points_[2].Y);
    std::vector<std::pair<int, int>> centres = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    if (SelectionSideGrips) {
        const int mx = (left + right) / 2, my = (top + bottom) / 2;
        centres.insert(centres.end(), {{left, my}, {right, my}, {mx, top}, {mx, bottom}});
    }
    for (auto [x, y] : centres)
        ::Rectangle(dc, x - half, y - half, x + half + 1, y + half + 1);
    canvas.Refresh();
}

void TVodirAdView::DrawRubberLine(int x, int y)
{
    if (!HandleAllocated() || points_.Count() == 0 || points_.EndsWithSeparator())
        return;
    const TIEPoint last = points_[points_.Count() - 1];
    HDC dc = Canvas()->Handle();
    win::SaveDCGuard saved(dc);
    ::SetROP2(dc, R2_NOT);
    ::SelectObject(dc, ::GetStockObject(BLACK_PEN));
    ::MoveToEx(dc, viewport_.XBmp2Scr(last.X), viewport_.YBmp2Scr(last.Y), nullptr);
    ::LineTo(dc, x, y);
    Canvas()->Refresh();
    rubberShown_ = !rubberShown_;
    rubberX_ = x;
    rubberY_ = y;
}

void TVodirAdView::DrawCaptionText(win::TCanvas& canvas)
{
    const std::string text =
        IEFormatCaption(Caption(), viewport_.ImageWidth(), viewport_.ImageHeight(), Width(), Height());
    canvas.Font()->Assign(captionFont_.get());
    const SIZE size = canvas.TextExtent(text);
    const int x = (viewport_.ClientWidth() - size.cx) / 2, y = viewport_.ClientHeight() - 2 * size.cy;
    // The brush takes the colour but stays clear: the text is written straight on the picture.
    canvas.Brush()->SetColor(captionColor_);
    canvas.Brush()->SetStyle(win::bsClear);
    canvas.TextOut(x, y, text);
    canvas.Brush()->SetStyle(win::bsSolid);
}

void TVodirAdView::DrawBanner(win::TCanvas& canvas)
{
    static const char kBanner[] = "VodirAd image view 1.0";
    canvas.Font()->Assign(Font());
    const SIZE size = canvas.TextExtent(kBanner);
    canvas.Brush()->SetStyle(win::bsSolid);
    canvas.Brush()->SetColor(win::clInfoBk);
    canvas.Font()->SetColor(win::clInfoText);
    canvas.FillRect(win::Bounds(2, 2, size.cx + 6, size.cy + 4));
    canvas.Brush()->SetStyle(win::bsClear);
    canvas.TextOut(5, 4, kBanner);
    canvas.Brush()->SetStyle(win::bsSolid);
}

}  // namespace imaging
