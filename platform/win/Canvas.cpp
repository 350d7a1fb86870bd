// Canvases: drawing on a device context through lazily selected fonts, pens and brushes.
#include "platform/win/Graphics.h"

#include <vector>

namespace win {

void TCanvas::Publish(Table& t)
{
    t.Property(RTL_MEMBER(Brush));
    t.Property(RTL_GET_SET(CopyMode)).Default(cmSrcCopy);
    t.Property(RTL_MEMBER(Font));
    t.Property(RTL_MEMBER(Pen));
}

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), pen_(std::make_unique<TPen>()), brush_(std::make_unique<TBrush>())
{
    font_->OnChange = [this](rtl::TObject* s) { FontChanged(s); };
    pen_->OnChange = [this](rtl::TObject* s) { PenChanged(s); };
    brush_->OnChange = [this](rtl::TObject* s) { BrushChanged(s); };
}

TCanvas::~TCanvas() { DeselectHandles(); }

HDC TCanvas::Handle()
{
    RequiredState(kNeedHandle);
    return handle_;
}

void TCanvas::SetHandle(HDC dc)
{
    if (dc == handle_)
        return;
    DeselectHandles();
    handle_ = dc;
}

void TCanvas::DeselectHandles()
{
    if (handle_) {
        if (selectedFont_)
            ::SelectObject(handle_, ::GetStockObject(SYSTEM_FONT));
        if (selectedPen_)
            ::SelectObject(handle_, ::GetStockObject(BLACK_PEN));
        if (selectedBrush_)
            ::SelectObject(handle_, ::GetStockObject(HOLLOW_BRUSH));
    }
    selectedFont_.reset();
    selectedPen_.reset();
    selectedBrush_.reset();
}

void TCanvas::RequiredState(unsigned needs)
{
    if (!handle_) {
        CreateHandle();
        if (!handle_)
            throw rtl::EInvalidOperation("Canvas does not allow drawing");
    }
    if ((needs & kNeedFont) && !selectedFont_)
        SelectFont();
    if ((needs & kNeedPen) && !selectedPen_)
        SelectPen();
    if ((needs & kNeedBrush) && !selectedBrush_)
        SelectBrush();
}

void TCanvas::SelectFont()
{
    auto h = font_->SharedHandle();
    ::SelectObject(handle_, h->Get());
    ::SetTextColor(handle_, ColorToRGB(font_->Color()));
    selectedFont_ = std::move(h);
}

void TCanvas::SelectPen()
{
    static constexpr int kModes[] = {R2_BLACK,       R2_WHITE,      R2_NOP,         R2_NOT,
                                     R2_COPYPEN,     R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
                                     R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,    R2_NOTMERGEPEN,
                                     R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,      R2_NOTXORPEN};
    auto h = pen_->SharedHandle();
    ::SelectObject(handle_, h->Get());
    ::SetROP2(handle_, kModes[pen_->Mode()]);
    selectedPen_ = std::move(h);
}

void TCanvas::SelectBrush()
{
    auto h = brush_->SharedHandle();
    ::UnrealizeObject(h->Get());
    ::SelectObject(handle_, h->Get());
    // Text and hatch backgrounds follow the brush: opaque for a solid brush, else none.
    if (brush_->Style() == bsSolid) {
        ::SetBkColor(handle_, ColorToRGB(brush_->Color()));
        ::SetBkMode(handle_, OPAQUE);
    } else {
        ::SetBkColor(handle_, ~ColorToRGB(brush_->Color()) & 0xFFFFFF);
        ::SetBkMode(handle_, TRANSPARENT);
    }
    selectedBrush_ = std::move(h);
}

void TCanvas::FontChanged(rtl::TObject*)
{
    if (selectedFont_) {
        ::SelectObject(handle_, ::GetStockObject(SYSTEM_FONT));
        selectedFont_.reset();
    }
}

void TCanvas::PenChanged(rtl::TObject*)
{
    if (selectedPen_) {
        ::SelectObject(handle_, ::GetStockObject(BLACK_PEN));
        selectedPen_.reset();
    }
}

void TCanvas::BrushChanged(rtl::TObject*)
{
    if (selectedBrush_) {
        ::SelectObject(handle_, ::GetStockObject(HOLLOW_BRUSH));
        selectedBrush_.reset();
    }
}

TPoint TCanvas::PenPos()
{
    RequiredState(kNeedHandle);
    POINT p{};
    ::GetCurrentPositionEx(handle_, &p);
    return {p.x, p.y};
}

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen);
    ::Arc(handle_, x1, y1, x2, y2, x3, y3, x4, y4);
    Changed();
}

void TCanvas::Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    ::Chord(handle_, x1, y1, x2, y2, x3, y3, x4, y4);
    Changed();
}

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    ::Pie(handle_, x1, y1, x2, y2, x3, y3, x4, y4);
    Changed();
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    ::Ellipse(handle_, x1, y1, x2, y2);
    Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    ::Rectangle(handle_, x1, y1, x2, y2);
    Changed();
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int x3, int y3)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    ::RoundRect(handle_, x1, y1, x2, y2, x3, y3);
    Changed();
}

void TCanvas::FillRect(const TRect& rect)
{
    Changing();
    RequiredState(kNeedHandle | kNeedBrush);
    RECT r = ToRECT(rect);
    ::FillRect(handle_, &r, brush_->Handle());
    Changed();
}

void TCanvas::FrameRect(const TRect& rect)
{
    Changing();
    RequiredState(kNeedHandle | kNeedBrush);
    RECT r = ToRECT(rect);
    ::FrameRect(handle_, &r, brush_->Handle());
    Changed();
}

void TCanvas::DrawFocusRect(const TRect& rect)
{
    Changing();
    RequiredState(kNeedHandle | kNeedBrush);
    RECT r = ToRECT(rect);
    ::DrawFocusRect(handle_, &r);
    Changed();
}

void TCanvas::FloodFill(int x, int y, TColor color, TFillStyle fillStyle)
{
    Changing();
    RequiredState(kNeedHandle | kNeedBrush);
    ::ExtFloodFill(handle_, x, y, ColorToRGB(color),
                   fillStyle == fsSurface ? FLOODFILLSURFACE : FLOODFILLBORDER);
    Changed();
}

void TCanvas::MoveTo(int x, int y)
{
    RequiredState(kNeedHandle);
    ::MoveToEx(handle_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    ::LineTo(handle_, x, y);
    Changed();
}

namespace {

std::vector<POINT> ToPOINTs(const std::vector<TPoint>& points)
{
    std::vector<POINT> out;
    out.reserve(points.size());
    for (const auto& p : points)
        out.push_back(POINT{p.X, p.Y});
    return out;
}

}  // namespace

void TCanvas::Polygon(const std::vector<TPoint>& points)
{
    if (points.empty())
        return;
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    auto pts = ToPOINTs(points);
    ::Polygon(handle_, pts.data(), static_cast<int>(pts.size()));
    Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& points)
{
    if (points.empty())
        return;
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    auto pts = ToPOINTs(points);
    ::Polyline(handle_, pts.data(), static_cast<int>(pts.size()));
    Changed();
}

void TCanvas::PolyBezier(const std::vector<TPoint>& points)
{
    // GDI wants one start point and three per segment.
    if (points.size() < 4 || (points.size() - 1) % 3 != 0)
        throw rtl::EInvalidArgument("PolyBezier needs 3n+1 points");
    Changing();
    RequiredState(kNeedHandle | kNeedPen | kNeedBrush);
    auto pts = ToPOINTs(points);
    ::PolyBezier(handle_, pts.data(), static_cast<DWORD>(pts.size()));
    Changed();
}

TColor TCanvas::Pixels(int x, int y)
{
    RequiredState(kNeedHandle);
    COLORREF c = ::GetPixel(handle_, x, y);
    // Outside the clip region or the surface there is no colour.
    return c == CLR_INVALID ? clNone : static_cast<TColor>(c);
}

void TCanvas::SetPixels(int x, int y, TColor color)
{
    Changing();
    RequiredState(kNeedHandle | kNeedPen);
    ::SetPixel(handle_, x, y, ColorToRGB(color));
    Changed();
}

void TCanvas::TextOut(int x, int y, const std::string& text)
{
    Changing();
    RequiredState(kNeedHandle | kNeedFont | kNeedBrush);
    ::ExtTextOutA(handle_, x, y, static_cast<UINT>(textFlags_), nullptr, text.data(),
                  static_cast<UINT>(text.size()), nullptr);
    ::MoveToEx(handle_, x + TextWidth(text), y, nullptr);
    Changed();
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const std::string& text)
{
    Changing();
    RequiredState(kNeedHandle | kNeedFont | kNeedBrush);
    UINT options = ETO_CLIPPED | (textFlags_ & ~ETO_OPAQUE);
    if (brush_->Style() != bsClear)
        options |= ETO_OPAQUE;
    RECT r = ToRECT(rect);
    ::ExtTextOutA(handle_, x, y, options, &r, text.data(), static_cast<UINT>(text.size()), nullptr);
    Changed();
}

SIZE TCanvas::TextExtent(const std::string& text)
{
    RequiredState(kNeedHandle | kNeedFont);
    SIZE size{0, 0};
    ::GetTextExtentPoint32A(handle_, text.data(), static_cast<int>(text.size()), &size);
    return size;
}

int TCanvas::DrawText(const std::string& text, TRect& rect, UINT flags)
{
    Changing();
    RequiredState(kNeedHandle | kNeedFont | kNeedBrush);
    // DrawTextEx may write the shortened text back into the buffer with DT_MODIFYSTRING;
    // work on a copy with room for the ellipsis so the caller's text never changes.
    std::vector<char> buffer(text.begin(), text.end());
    buffer.resize(text.size() + 5, '\0');
    RECT r = ToRECT(rect);
    int height = ::DrawTextExA(handle_, buffer.data(), static_cast<int>(text.size()), &r,
                               flags & ~static_cast<UINT>(DT_MODIFYSTRING), nullptr);
    if (flags & DT_CALCRECT)
        rect = FromRECT(r);
    Changed();
    return height;
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect)
{
    Changing();
    RequiredState(kNeedHandle | kNeedFont | kNeedBrush);
    HDC src = source.Handle();
    ::StretchBlt(handle_, dest.Left, dest.Top, dest.Width(), dest.Height(), src, sourceRect.Left,
                 sourceRect.Top, sourceRect.Width(), sourceRect.Height(), static_cast<DWORD>(copyMode_));
    Changed();
}

void TCanvas::Draw(int x, int y, TGraphic* graphic)
{
    if (!graphic || graphic->Empty())
        return;
    Changing();
    RequiredState(kNeedHandle);
    graphic->Draw(*this, Bounds(x, y, graphic->Width(), graphic->Height()));
    Changed();
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic)
{
    if (!graphic || graphic->Empty())
        return;
    Changing();
    RequiredState(kNeedHandle);
    graphic->Draw(*this, rect);
    Changed();
}

TRect TCanvas::ClipRect()
{
    RequiredState(kNeedHandle);
    RECT r{};
    ::GetClipBox(handle_, &r);
    return FromRECT(r);
}

void TCanvas::Refresh() { DeselectHandles(); }

void TCanvas::Lock()
{
    lock_.Enter();
    ++lockCount_;
}

void TCanvas::Unlock()
{
    --lockCount_;
    lock_.Leave();
}

bool TCanvas::TryLock()
{
    if (!lock_.TryEnter())
        return false;
    ++lockCount_;
    return true;
}

TMemoryCanvas::~TMemoryCanvas() { SetHandle(nullptr); }

void TMemoryCanvas::CreateHandle()
{
    dc_.Reset(::CreateCompatibleDC(nullptr));
    if (!dc_)
        throw EOutOfResources("out of system resources: cannot create device context");
    SetHandle(dc_.Get());
}

}  // namespace win
