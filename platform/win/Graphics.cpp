// Colours, GDI objects, canvases and the picture registry.
#include "platform/win/Graphics.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace win {

// --- colours ---

namespace {

struct ColorName {
    TColor Value;
    const char* Name;
};

constexpr ColorName kColorNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"},
    {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"},
    {clMenu, "clMenu"},
    {clMenuBar, "clMenuBar"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuText, "clMenuText"},
    {clNone, "clNone"},
    {clScrollBar, "clScrollBar"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"},
};

struct CharsetName {
    std::int32_t Value;
    const char* Name;
};

constexpr CharsetName kCharsetNames[] = {
    {ANSI_CHARSET, "ANSI_CHARSET"},
    {DEFAULT_CHARSET, "DEFAULT_CHARSET"},
    {SYMBOL_CHARSET, "SYMBOL_CHARSET"},
    {MAC_CHARSET, "MAC_CHARSET"},
    {SHIFTJIS_CHARSET, "SHIFTJIS_CHARSET"},
    {HANGEUL_CHARSET, "HANGEUL_CHARSET"},
    {JOHAB_CHARSET, "JOHAB_CHARSET"},
    {GB2312_CHARSET, "GB2312_CHARSET"},
    {CHINESEBIG5_CHARSET, "CHINESEBIG5_CHARSET"},
    {GREEK_CHARSET, "GREEK_CHARSET"},
    {TURKISH_CHARSET, "TURKISH_CHARSET"},
    {VIETNAMESE_CHARSET, "VIETNAMESE_CHARSET"},
    {HEBREW_CHARSET, "HEBREW_CHARSET"},
    {ARABIC_CHARSET, "ARABIC_CHARSET"},
    {BALTIC_CHARSET, "BALTIC_CHARSET"},
    {RUSSIAN_CHARSET, "RUSSIAN_CHARSET"},
    {THAI_CHARSET, "THAI_CHARSET"},
    {EASTEUROPE_CHARSET, "EASTEUROPE_CHARSET"},
    {OEM_CHARSET, "OEM_CHARSET"},
};

}  // namespace

COLORREF ColorToRGB(TColor color)
{
    if (color < 0)
        return ::GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color);
}

bool ColorToIdent(TColor color, std::string& ident)
{
    for (const auto& c : kColorNames) {
        if (c.Value == color) {
            ident = c.Name;
            return true;
        }
    }
    return false;
}

bool IdentToColor(const std::string& ident, TColor& color)
{
    for (const auto& c : kColorNames) {
        if (rtl::SameText(ident, c.Name)) {
            color = c.Value;
            return true;
        }
    }
    return false;
}

std::string ColorToString(TColor color)
{
    std::string ident;
    if (ColorToIdent(color, ident))
        return ident;
    return "$" + rtl::IntToHex(static_cast<std::uint32_t>(color), 8);
}

TColor StringToColor(const std::string& text)
{
    TColor color;
    if (IdentToColor(text, color))
        return color;
    std::int64_t value;
    if (!rtl::TryStrToInt64(text, value) || value < INT32_MIN || value > UINT32_MAX)
        throw rtl::EConvertError("'" + text + "' is not a valid colour");
    return static_cast<TColor>(static_cast<std::uint32_t>(value));
}

bool CharsetToIdent(std::int32_t charset, std::string& ident)
{
    for (const auto& c : kCharsetNames) {
        if (c.Value == charset) {
            ident = c.Name;
            return true;
        }
    }
    return false;
}

bool IdentToCharset(const std::string& ident, std::int32_t& charset)
{
    for (const auto& c : kCharsetNames) {
        if (rtl::SameText(ident, c.Name)) {
            charset = c.Value;
            return true;
        }
    }
    return false;
}

const rtl::TTypeInfo& ColorTypeInfo()
{
    static const rtl::TTypeInfo& info = []() -> const rtl::TTypeInfo& {
        static rtl::TTypeInfo t = rtl::TypeInfoOf<std::int32_t>();
        t.Name = "TColor";
        rtl::RegisterIntegerConsts(
            t,
            [](const std::string& ident, std::int64_t& value) {
                TColor c;
                if (!IdentToColor(ident, c))
                    return false;
                value = c;
                return true;
            },
            [](std::int64_t value, std::string& ident) {
                return ColorToIdent(static_cast<TColor>(value), ident);
            });
        return t;
    }();
    return info;
}

const rtl::TTypeInfo& CharsetTypeInfo()
{
    static const rtl::TTypeInfo& info = []() -> const rtl::TTypeInfo& {
        static rtl::TTypeInfo t = rtl::TypeInfoOf<std::uint8_t>();
        t.Name = "TFontCharset";
        rtl::RegisterIntegerConsts(
            t,
            [](const std::string& ident, std::int64_t& value) {
                std::int32_t c;
                if (!IdentToCharset(ident, c))
                    return false;
                value = c;
                return true;
            },
            [](std::int64_t value, std::string& ident) {
                return CharsetToIdent(static_cast<std::int32_t>(value), ident);
            });
        return t;
    }();
    return info;
}

// --- fonts, pens, brushes ---

namespace {

std::int32_t ScreenPixelsPerInch()
{
    static const std::int32_t ppi = [] {
        WindowDC dc(nullptr);
        int v = dc ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
        return v > 0 ? v : 96;
    }();
    return ppi;
}

[[noreturn]] void ThrowOutOfResources(const char* what)
{
    throw EOutOfResources(std::string("out of system resources: cannot create ") + what);
}

}  // namespace

void TFont::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Charset)).Type(CharsetTypeInfo());
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo());
    t.Property(RTL_GET_SET(Height));
    t.Property(RTL_GET_SET(Name));
    t.Property(RTL_GET_SET(Pitch)).Default(fpDefault);
    t.Property(RTL_GET_SET(Size)).Stored(false);
    t.Property(RTL_GET_SET(Style)).Default(TFontStyles{});
}

TFont::TFont() : charset_(DEFAULT_CHARSET), name_("MS Sans Serif"), pixelsPerInch_(ScreenPixelsPerInch())
{
    height_ = -::MulDiv(8, pixelsPerInch_, 72);
}

void TFont::SetName(const std::string& value)
{
    if (!value.empty())
        rtl::SetAndNotify(name_, value, [this] { Changed(); });
}

std::int32_t TFont::Size() const { return -::MulDiv(height_, 72, pixelsPerInch_); }

void TFont::SetSize(std::int32_t value) { SetHeight(-::MulDiv(value, pixelsPerInch_, 72)); }

void TFont::Changed()
{
    handle_.reset();
    TGraphicsObject::Changed();
}

SharedGdi<OwnedFont> TFont::SharedHandle()
{
    if (!handle_) {
        LOGFONTA lf{};
        lf.lfHeight = height_;
        lf.lfWeight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = style_.Contains(fsItalic);
        lf.lfUnderline = style_.Contains(fsUnderline);
        lf.lfStrikeOut = style_.Contains(fsStrikeOut);
        lf.lfCharSet = charset_;
        lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
        lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        lf.lfQuality = DEFAULT_QUALITY;
        lf.lfPitchAndFamily = pitch_ == fpFixed      ? FIXED_PITCH
                              : pitch_ == fpVariable ? VARIABLE_PITCH
                                                     : DEFAULT_PITCH;
        // LOGFONT holds at most 31 characters of the face name.
        std::strncpy(lf.lfFaceName, name_.c_str(), LF_FACESIZE - 1);
        HFONT h = ::CreateFontIndirectA(&lf);
        if (!h)
            ThrowOutOfResources("font");
        handle_ = std::make_shared<const OwnedFont>(h);
    }
    return handle_;
}

HFONT TFont::Handle() { return SharedHandle()->Get(); }

void TFont::SetHandle(HFONT font)
{
    LOGFONTA lf{};
    if (!font || ::GetObjectA(font, sizeof lf, &lf) == 0)
        throw EInvalidGraphicOperation("invalid font handle");
    charset_ = lf.lfCharSet;
    height_ = lf.lfHeight;
    name_ = lf.lfFaceName;
    pitch_ = (lf.lfPitchAndFamily & 3) == FIXED_PITCH      ? fpFixed
             : (lf.lfPitchAndFamily & 3) == VARIABLE_PITCH ? fpVariable
                                                           : fpDefault;
    TFontStyles style;
    if (lf.lfWeight >= FW_BOLD)
        style.Include(fsBold);
    if (lf.lfItalic)
        style.Include(fsItalic);
    if (lf.lfUnderline)
        style.Include(fsUnderline);
    if (lf.lfStrikeOut)
        style.Include(fsStrikeOut);
    style_ = style;
    Changed();
}

void TFont::Assign(rtl::TPersistent* source)
{
    if (auto* f = dynamic_cast<TFont*>(source)) {
        if (f == this)
            return;
        // Keep the point size when the two resolutions differ, as a printer font would.
        const std::int32_t height =
            f->pixelsPerInch_ == pixelsPerInch_ ? f->height_ : -::MulDiv(f->Size(), pixelsPerInch_, 72);
        // Controls assign their font to the canvas before every paint; an identical font
        // keeps its handle instead of making a new one each time.
        if (charset_ == f->charset_ && height_ == height && name_ == f->name_ && pitch_ == f->pitch_ &&
            style_ == f->style_) {
            SetColor(f->color_);
            return;
        }
        charset_ = f->charset_;
        color_ = f->color_;
        height_ = height;
        name_ = f->name_;
        pitch_ = f->pitch_;
        style_ = f->style_;
        Changed();
        return;
    }
    rtl::TPersistent::Assign(source);
}

void TPen::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo()).Default(clBlack);
    t.Property(RTL_GET_SET(Mode)).Default(pmCopy);
    t.Property(RTL_GET_SET(Style)).Default(psSolid);
    t.Property(RTL_GET_SET(Width)).Default(1);
}

void TPen::SetWidth(std::int32_t value)
{
    if (value >= 0)
        rtl::SetAndNotify(width_, value, [this] { Changed(); });
}

void TPen::Changed()
{
    handle_.reset();
    TGraphicsObject::Changed();
}

SharedGdi<OwnedPen> TPen::SharedHandle()
{
    if (!handle_) {
        static constexpr int kStyles[] = {PS_SOLID,      PS_DASH, PS_DOT,        PS_DASHDOT,
                                          PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
        HPEN h = ::CreatePen(kStyles[style_], width_, ColorToRGB(color_));
        if (!h)
            ThrowOutOfResources("pen");
        handle_ = std::make_shared<const OwnedPen>(h);
    }
    return handle_;
}

HPEN TPen::Handle() { return SharedHandle()->Get(); }

void TPen::Assign(rtl::TPersistent* source)
{
    if (auto* p = dynamic_cast<TPen*>(source)) {
        if (p == this)
            return;
        color_ = p->color_;
        mode_ = p->mode_;
        style_ = p->style_;
        width_ = p->width_;
        Changed();
        return;
    }
    rtl::TPersistent::Assign(source);
}

void TBrush::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Color)).Type(ColorTypeInfo()).Default(clWhite);
    t.Property(RTL_GET_SET(Style)).Default(bsSolid);
}

TBrush::TBrush() = default;
TBrush::~TBrush() = default;

void TBrush::SetColor(TColor value)
{
    if (value != color_ || bitmap_) {
        color_ = value;
        bitmap_.reset();
        // Choosing a colour for a clear brush makes it solid, so the colour shows.
        if (style_ == bsClear)
            style_ = bsSolid;
        Changed();
    }
}

void TBrush::SetStyle(TBrushStyle value)
{
    if (value != style_ || bitmap_) {
        style_ = value;
        bitmap_.reset();
        Changed();
    }
}

void TBrush::SetBitmap(TBitmap* value)
{
    if (value) {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(value);
        bitmap_ = std::move(copy);
    } else {
        bitmap_.reset();
    }
    Changed();
}

void TBrush::Changed()
{
    handle_.reset();
    TGraphicsObject::Changed();
}

SharedGdi<OwnedBrush> TBrush::SharedHandle()
{
    if (!handle_) {
        HBRUSH h = nullptr;
        if (bitmap_ && !bitmap_->Empty()) {
            h = ::CreatePatternBrush(bitmap_->Handle());
        } else if (style_ == bsSolid) {
            h = ::CreateSolidBrush(ColorToRGB(color_));
        } else if (style_ == bsClear) {
            LOGBRUSH lb{BS_NULL, 0, 0};
            h = ::CreateBrushIndirect(&lb);
        } else {
            static constexpr int kHatches[] = {
                0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
            h = ::CreateHatchBrush(kHatches[style_], ColorToRGB(color_));
        }
        if (!h)
            ThrowOutOfResources("brush");
        handle_ = std::make_shared<const OwnedBrush>(h);
    }
    return handle_;
}

HBRUSH TBrush::Handle() { return SharedHandle()->Get(); }

void TBrush::Assign(rtl::TPersistent* source)
{
    if (auto* b = dynamic_cast<TBrush*>(source)) {
        if (b == this)
            return;
        color_ = b->color_;
        style_ = b->style_;
        if (b->bitmap_) {
            auto copy = std::make_unique<TBitmap>();
            copy->Assign(b->bitmap_.get());
            bitmap_ = std::move(copy);
        } else {
            bitmap_.reset();
        }
        Changed();
        return;
    }
    rtl::TPersistent::Assign(source);
}

// --- canvas ---

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
        ThrowOutOfResources("device context");
    SetHandle(dc_.Get());
}

// --- graphics ---

void TGraphic::Publish(Table&) {}

void TGraphic::SetModified(bool value)
{
    if (value)
        Changed(this);
    else
        modified_ = false;
}

void TGraphic::Changed(rtl::TObject*)
{
    modified_ = true;
    OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    rtl::TFileStream stream(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    rtl::TFileStream stream(fileName, rtl::fmCreate);
    SaveToStream(stream);
}

// --- picture registry ---

namespace {

struct FormatEntry {
    std::string Extension;  // empty: known by class name only
    std::string Description;
    const rtl::TClassInfo* Class;
    TGraphicFactory Factory;
};

std::mutex& RegistryMutex()
{
    static std::mutex m;
    return m;
}

std::vector<FormatEntry>& Registry()
{
    static std::vector<FormatEntry> entries = [] {
        std::vector<FormatEntry> e;
        e.push_back(
            {"bmp", "Bitmaps", &TBitmap::StaticClassInfo(), [] { return std::make_unique<TBitmap>(); }});
        return e;
    }();
    return entries;
}

std::string StripDot(const std::string& extension)
{
    return !extension.empty() && extension[0] == '.' ? extension.substr(1) : extension;
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const rtl::TClassInfo& graphicClass, TGraphicFactory factory)
{
    std::lock_guard guard(RegistryMutex());
    auto& reg = Registry();
    const std::string ext = rtl::LowerCase(StripDot(extension));
    if (ext.empty())
        throw rtl::EInvalidArgument("a file format needs an extension");
    std::erase_if(reg, [&](const FormatEntry& e) { return e.Extension == ext; });
    reg.push_back({ext, description, &graphicClass, std::move(factory)});
}

void TPicture::RegisterGraphicClass(const rtl::TClassInfo& graphicClass, TGraphicFactory factory)
{
    std::lock_guard guard(RegistryMutex());
    auto& reg = Registry();
    std::erase_if(reg, [&](const FormatEntry& e) { return e.Extension.empty() && e.Class == &graphicClass; });
    reg.push_back({"", "", &graphicClass, std::move(factory)});
}

void TPicture::UnregisterGraphicClass(const rtl::TClassInfo& graphicClass)
{
    std::lock_guard guard(RegistryMutex());
    std::erase_if(Registry(), [&](const FormatEntry& e) { return e.Class->InheritsFrom(graphicClass); });
}

std::unique_ptr<TGraphic> TPicture::CreateGraphicByExtension(const std::string& extension)
{
    TGraphicFactory factory;
    {
        std::lock_guard guard(RegistryMutex());
        const std::string ext = rtl::LowerCase(StripDot(extension));
        for (const auto& e : Registry())
            if (!ext.empty() && e.Extension == ext)
                factory = e.Factory;
    }
    return factory ? factory() : nullptr;
}

std::unique_ptr<TGraphic> TPicture::CreateGraphicByClassName(const std::string& className)
{
    TGraphicFactory factory;
    {
        std::lock_guard guard(RegistryMutex());
        for (const auto& e : Registry())
            if (rtl::SameText(e.Class->Name, className))
                factory = e.Factory;
    }
    return factory ? factory() : nullptr;
}

std::string TPicture::GraphicFilter(const rtl::TClassInfo& graphicClass)
{
    std::lock_guard guard(RegistryMutex());
    std::string all, each;
    for (const auto& e : Registry()) {
        if (e.Extension.empty() || !e.Class->InheritsFrom(graphicClass))
            continue;
        const std::string mask = "*." + rtl::UpperCase(e.Extension);
        all += (all.empty() ? "" : ";") + mask;
        each += "|" + e.Description + " (" + mask + ")|" + mask;
    }
    return all.empty() ? std::string() : "All (" + all + ")|" + all + each;
}

// --- picture ---

void TPicture::Publish(Table&) {}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::TakeGraphic(std::unique_ptr<TGraphic> graphic)
{
    graphic_ = std::move(graphic);
    if (graphic_)
        graphic_->OnChange = [this](rtl::TObject*) { OnChange(this); };
    OnChange(this);
}

void TPicture::SetGraphic(TGraphic* value)
{
    if (value == graphic_.get())
        return;
    std::unique_ptr<TGraphic> copy;
    if (value) {
        copy = CreateGraphicByClassName(value->ClassName());
        if (!copy)
            throw EInvalidGraphic("Unknown graphic class " + value->ClassName());
        copy->Assign(value);
    }
    TakeGraphic(std::move(copy));
}

TBitmap* TPicture::Bitmap()
{
    if (auto* b = dynamic_cast<TBitmap*>(graphic_.get()))
        return b;
    TakeGraphic(std::make_unique<TBitmap>());
    return static_cast<TBitmap*>(graphic_.get());
}

void TPicture::SetBitmap(TBitmap* value) { SetGraphic(value); }

std::int32_t TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
std::int32_t TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::LoadFromFile(const std::string& fileName)
{
    const std::string ext = rtl::ExtractFileExt(fileName);
    auto graphic = CreateGraphicByExtension(ext);
    if (!graphic)
        throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
    graphic->LoadFromFile(fileName);
    TakeGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& fileName)
{
    if (graphic_)
        graphic_->SaveToFile(fileName);
}

void TPicture::Assign(rtl::TPersistent* source)
{
    if (!source) {
        TakeGraphic(nullptr);
    } else if (auto* p = dynamic_cast<TPicture*>(source)) {
        SetGraphic(p->Graphic());
    } else if (auto* g = dynamic_cast<TGraphic*>(source)) {
        SetGraphic(g);
    } else {
        rtl::TPersistent::Assign(source);
    }
}

void TPicture::DefineProperties(rtl::TFiler& filer)
{
    filer.DefineBinaryProperty(
        "Data", [this](rtl::TStream& s) { ReadData(s); }, [this](rtl::TStream& s) { WriteData(s); },
        graphic_ != nullptr);
}

void TPicture::ReadData(rtl::TStream& stream)
{
    std::uint8_t length = 0;
    if (stream.Read(&length, 1) != 1)
        throw rtl::EReadError("picture data is empty");
    std::string className(length, '\0');
    if (length && stream.Read(className.data(), length) != length)
        throw rtl::EReadError("picture data ends inside the class name");
    if (className.empty()) {
        TakeGraphic(nullptr);
        return;
    }
    auto graphic = CreateGraphicByClassName(className);
    if (!graphic)
        throw EInvalidGraphic("Unknown graphic class " + className);
    graphic->ReadData(stream);
    TakeGraphic(std::move(graphic));
}

void TPicture::WriteData(rtl::TStream& stream)
{
    if (!graphic_)
        return;
    const std::string& name = graphic_->ClassName();
    if (name.size() > 255)
        throw rtl::EWriteError("graphic class name longer than 255 characters");
    const auto length = static_cast<std::uint8_t>(name.size());
    stream.WriteBuffer(&length, 1);
    stream.WriteBuffer(name.data(), length);
    graphic_->WriteData(stream);
}

}  // namespace win
