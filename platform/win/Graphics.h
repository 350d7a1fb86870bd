// Colours, fonts, pens, brushes, canvases over device contexts, graphics, pictures and DIB bitmaps.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Thread.h"
#include "platform/rtl/TypeInfo.h"
#include "platform/win/Handles.h"
#include "platform/rtl/Win32.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace win {

// --- geometry ---

struct TPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Right and Bottom are exclusive, as in Win32.
struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    std::int32_t Width() const { return Right - Left; }
    std::int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

inline TPoint Point(std::int32_t x, std::int32_t y) { return {x, y}; }
inline TRect Rect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    return {left, top, right, bottom};
}
inline TRect Bounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    return {left, top, left + width, top + height};
}
inline RECT ToRECT(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }
inline TRect FromRECT(const RECT& r)
{
    return {static_cast<std::int32_t>(r.left), static_cast<std::int32_t>(r.top),
            static_cast<std::int32_t>(r.right), static_cast<std::int32_t>(r.bottom)};
}

// --- colours ---

// 0x00BBGGRR for plain colours; 0x80000000 | COLOR_x for the system colours, resolved at
// drawing time by ColorToRGB so they follow the user's scheme.
using TColor = std::int32_t;

constexpr TColor SystemColor(int index)
{
    return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index));
}

inline constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR);
inline constexpr TColor clBackground = SystemColor(COLOR_BACKGROUND);
inline constexpr TColor clActiveCaption = SystemColor(COLOR_ACTIVECAPTION);
inline constexpr TColor clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION);
inline constexpr TColor clMenu = SystemColor(COLOR_MENU);
inline constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
inline constexpr TColor clWindowFrame = SystemColor(COLOR_WINDOWFRAME);
inline constexpr TColor clMenuText = SystemColor(COLOR_MENUTEXT);
inline constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
inline constexpr TColor clCaptionText = SystemColor(COLOR_CAPTIONTEXT);
inline constexpr TColor clActiveBorder = SystemColor(COLOR_ACTIVEBORDER);
inline constexpr TColor clInactiveBorder = SystemColor(COLOR_INACTIVEBORDER);
inline constexpr TColor clAppWorkSpace = SystemColor(COLOR_APPWORKSPACE);
inline constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
inline constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
inline constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
inline constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
inline constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);
inline constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);
inline constexpr TColor clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT);
inline constexpr TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
inline constexpr TColor cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW);
inline constexpr TColor cl3DLight = SystemColor(COLOR_3DLIGHT);
inline constexpr TColor clInfoText = SystemColor(COLOR_INFOTEXT);
inline constexpr TColor clInfoBk = SystemColor(COLOR_INFOBK);
inline constexpr TColor clHotLight = SystemColor(COLOR_HOTLIGHT);
inline constexpr TColor clGradientActiveCaption = SystemColor(COLOR_GRADIENTACTIVECAPTION);
inline constexpr TColor clGradientInactiveCaption = SystemColor(COLOR_GRADIENTINACTIVECAPTION);
inline constexpr TColor clMenuHighlight = SystemColor(COLOR_MENUHILIGHT);
inline constexpr TColor clMenuBar = SystemColor(COLOR_MENUBAR);

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clLtGray = 0xC0C0C0;
inline constexpr TColor clDkGray = 0x808080;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor clCream = 0xF0FBFF;
inline constexpr TColor clMedGray = 0xA4A0A0;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// The COLORREF to draw with: system colours looked up, plain colours unchanged.
COLORREF ColorToRGB(TColor color);
// "clBtnFace" <-> value. Unknown names and values return false.
bool ColorToIdent(TColor color, std::string& ident);
bool IdentToColor(const std::string& ident, TColor& color);
// The name when there is one, else "$00BBGGRR".
std::string ColorToString(TColor color);
// Accepts a name, a decimal number or "$hex"; raises rtl::EConvertError otherwise.
TColor StringToColor(const std::string& text);

// Character sets by their names ("DEFAULT_CHARSET" <-> 1), for form text.
bool CharsetToIdent(std::int32_t charset, std::string& ident);
bool IdentToCharset(const std::string& ident, std::int32_t& charset);

// Type information of colour and character-set properties: integers whose form text may be a
// name ("clBtnFace", "DEFAULT_CHARSET"). A class table gives them to a property with .Type().
const rtl::TTypeInfo& ColorTypeInfo();
const rtl::TTypeInfo& CharsetTypeInfo();

// --- exceptions ---

// Bad image data; the runtime's class, so its portable readers raise the same one.
using EInvalidGraphic = rtl::EInvalidGraphic;
class EInvalidGraphicOperation : public rtl::Exception {
public:
    explicit EInvalidGraphicOperation(std::string message) : Exception(std::move(message)) {}
};
// A GDI object or device context could not be created.
class EOutOfResources : public rtl::Exception {
public:
    explicit EOutOfResources(std::string message) : Exception(std::move(message)) {}
};

// --- pens, brushes, fonts ---

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
RTL_ENUM_INFO(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TFontStyles = rtl::TSet<TFontStyle>;

enum TFontPitch { fpDefault, fpVariable, fpFixed };
RTL_ENUM_INFO(TFontPitch, "fpDefault", "fpVariable", "fpFixed")

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
RTL_ENUM_INFO(TPenStyle, "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
              "psInsideFrame")

enum TPenMode {
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};
RTL_ENUM_INFO(TPenMode, "pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot",
              "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask", "pmNotMask",
              "pmXor", "pmNotXor")

enum TBrushStyle {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};
RTL_ENUM_INFO(TBrushStyle, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal",
              "bsCross", "bsDiagCross")

class TBitmap;
class TCanvas;

// A GDI handle shared between the object that made it and the canvases that have it
// selected, so a font change never deletes a font still selected into some DC.
template <class Owned>
using SharedGdi = std::shared_ptr<const Owned>;

// Base of TFont, TPen and TBrush: a description whose handle is made on demand and
// remade after every change. OnChange tells the owning canvas or control.
class TGraphicsObject : public rtl::TPersistent {
public:
    rtl::TNotifyEvent OnChange;

protected:
    // A change the GDI handle does not depend on (a font's colour, a pen's mode).
    void Notify() { OnChange(this); }
    // A change that needs a new handle; descendants drop theirs, then notify.
    virtual void Changed() { Notify(); }
};

class TFont : public TGraphicsObject {
    RTL_DECLARE_CLASS(TFont, rtl::TPersistent)

public:
    TFont();

    std::uint8_t Charset() const { return charset_; }
    void SetCharset(std::uint8_t value) { rtl::SetAndNotify(charset_, value, this, &Self::Changed); }
    // The colour is not part of the GDI font, so the handle survives a change.
    TColor Color() const { return color_; }
    void SetColor(TColor value) { rtl::SetAndNotify(color_, value, this, &Self::Notify); }
    // Character height in pixels; negative is the em height, as for LOGFONT.
    std::int32_t Height() const { return height_; }
    void SetHeight(std::int32_t value) { rtl::SetAndNotify(height_, value, this, &Self::Changed); }
    // An empty name keeps the current one.
    const std::string& Name() const { return name_; }
    void SetName(const std::string& value);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch value) { rtl::SetAndNotify(pitch_, value, this, &Self::Changed); }
    // Points, derived from Height at PixelsPerInch.
    std::int32_t Size() const;
    void SetSize(std::int32_t value);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles value) { rtl::SetAndNotify(style_, value, this, &Self::Changed); }
    // The resolution Size converts at; the screen's unless set.
    std::int32_t PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(std::int32_t value) { pixelsPerInch_ = value; }

    // Created on first use; valid until the next change. The font keeps ownership.
    HFONT Handle();
    // Takes the description of `font` (the caller keeps the handle).
    void SetHandle(HFONT font);
    SharedGdi<OwnedFont> SharedHandle();

    void Assign(rtl::TPersistent* source) override;

protected:
    void Changed() override;

private:
    std::uint8_t charset_;
    TColor color_ = clWindowText;
    std::int32_t height_;
    std::string name_;
    TFontPitch pitch_ = fpDefault;
    TFontStyles style_;
    std::int32_t pixelsPerInch_;
    SharedGdi<OwnedFont> handle_;
};

class TPen : public TGraphicsObject {
    RTL_DECLARE_CLASS(TPen, rtl::TPersistent)

public:
    TColor Color() const { return color_; }
    void SetColor(TColor value) { rtl::SetAndNotify(color_, value, this, &Self::Changed); }
    // The mode is a DC setting (SetROP2), not part of the pen, so the handle survives.
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode value) { rtl::SetAndNotify(mode_, value, this, &Self::Notify); }
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle value) { rtl::SetAndNotify(style_, value, this, &Self::Changed); }
    // Negative widths are ignored.
    std::int32_t Width() const { return width_; }
    void SetWidth(std::int32_t value);

    HPEN Handle();
    SharedGdi<OwnedPen> SharedHandle();
    void Assign(rtl::TPersistent* source) override;

protected:
    void Changed() override;

private:
    TColor color_ = clBlack;
    TPenMode mode_ = pmCopy;
    TPenStyle style_ = psSolid;
    std::int32_t width_ = 1;
    SharedGdi<OwnedPen> handle_;
};

class TBrush : public TGraphicsObject {
    RTL_DECLARE_CLASS(TBrush, rtl::TPersistent)

public:
    TBrush();
    ~TBrush() override;

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle value);
    // Pattern brush from a copy of the bitmap; nullptr goes back to Color and Style.
    TBitmap* Bitmap() const { return bitmap_.get(); }
    void SetBitmap(TBitmap* value);

    HBRUSH Handle();
    SharedGdi<OwnedBrush> SharedHandle();
    void Assign(rtl::TPersistent* source) override;

protected:
    void Changed() override;

private:
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
    std::unique_ptr<TBitmap> bitmap_;
    SharedGdi<OwnedBrush> handle_;
};

// --- canvas ---

using TCopyMode = std::int32_t;
inline constexpr TCopyMode cmBlackness = BLACKNESS;
inline constexpr TCopyMode cmDstInvert = DSTINVERT;
inline constexpr TCopyMode cmMergeCopy = MERGECOPY;
inline constexpr TCopyMode cmMergePaint = MERGEPAINT;
inline constexpr TCopyMode cmNotSrcCopy = NOTSRCCOPY;
inline constexpr TCopyMode cmNotSrcErase = NOTSRCERASE;
inline constexpr TCopyMode cmPatCopy = PATCOPY;
inline constexpr TCopyMode cmPatInvert = PATINVERT;
inline constexpr TCopyMode cmPatPaint = PATPAINT;
inline constexpr TCopyMode cmSrcAnd = SRCAND;
inline constexpr TCopyMode cmSrcCopy = SRCCOPY;
inline constexpr TCopyMode cmSrcErase = SRCERASE;
inline constexpr TCopyMode cmSrcInvert = SRCINVERT;
inline constexpr TCopyMode cmSrcPaint = SRCPAINT;
inline constexpr TCopyMode cmWhiteness = WHITENESS;

enum TFillStyle { fsSurface, fsBorder };

class TGraphic;

// Drawing on a device context through Pen, Brush and Font. The objects are selected lazily
// before each call that needs them and deselected when they change or the DC goes away.
// A canvas used from a worker thread must be held with Lock/Unlock around the drawing; the
// main thread's painting takes the same lock.
class TCanvas : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TCanvas, rtl::TPersistent)

public:
    TCanvas();
    ~TCanvas() override;

    // The DC, created through CreateHandle when there is none. Raises
    // EInvalidOperation "Canvas does not allow drawing" when none can be had.
    HDC Handle();
    // Attaches a DC the caller owns (nullptr detaches); objects are deselected from the old one.
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return handle_ != nullptr; }

    TFont* Font() { return font_.get(); }
    void SetFont(TFont* value) { font_->Assign(value); }
    TPen* Pen() { return pen_.get(); }
    void SetPen(TPen* value) { pen_->Assign(value); }
    TBrush* Brush() { return brush_.get(); }
    void SetBrush(TBrush* value) { brush_->Assign(value); }
    TCopyMode CopyMode() const { return copyMode_; }
    void SetCopyMode(TCopyMode value) { copyMode_ = value; }
    // ExtTextOut options used by TextOut and TextRect (ETO_OPAQUE, ETO_CLIPPED, ETO_RTLREADING).
    std::int32_t TextFlags() const { return textFlags_; }
    void SetTextFlags(std::int32_t value) { textFlags_ = value; }
    TPoint PenPos();
    void SetPenPos(TPoint value) { MoveTo(value.X, value.Y); }

    void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Chord(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const TRect& rect) { Ellipse(rect.Left, rect.Top, rect.Right, rect.Bottom); }
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const TRect& rect) { Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); }
    void RoundRect(int x1, int y1, int x2, int y2, int x3, int y3);
    void FillRect(const TRect& rect);
    void FrameRect(const TRect& rect);
    void DrawFocusRect(const TRect& rect);
    void FloodFill(int x, int y, TColor color, TFillStyle fillStyle);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polygon(const std::vector<TPoint>& points);
    void Polyline(const std::vector<TPoint>& points);
    void PolyBezier(const std::vector<TPoint>& points);

    // clNone outside the surface or the clipping region.
    TColor Pixels(int x, int y);
    void SetPixels(int x, int y, TColor color);

    void TextOut(int x, int y, const std::string& text);
    // Text clipped to `rect`, drawn at (x, y); the rectangle is filled with the brush first
    // unless the brush is clear.
    void TextRect(const TRect& rect, int x, int y, const std::string& text);
    SIZE TextExtent(const std::string& text);
    int TextWidth(const std::string& text) { return TextExtent(text).cx; }
    int TextHeight(const std::string& text) { return TextExtent(text).cy; }
    // DrawTextEx with DT_ flags; the text is never modified (ellipsis only in the drawing).
    // With DT_CALCRECT `rect` receives the measured bounds. Returns the text height.
    int DrawText(const std::string& text, TRect& rect, UINT flags);

    // Copies `source`'s rectangle into `dest` with CopyMode, stretching when sizes differ.
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const TRect& rect, TGraphic* graphic);

    // The clipping box in logical coordinates.
    TRect ClipRect();
    // Deselects the objects and reselects them at the next call (after foreign GDI calls).
    void Refresh();

    void Lock();
    void Unlock();
    bool TryLock();
    int LockCount() const { return lockCount_; }

    rtl::TNotifyEvent OnChange;
    rtl::TNotifyEvent OnChanging;

protected:
    // Obtains a DC when Handle is asked for without one; the base has none to give.
    virtual void CreateHandle() {}
    virtual void Changing() { OnChanging(this); }
    virtual void Changed() { OnChange(this); }

    enum TCanvasNeed : unsigned { kNeedHandle = 1, kNeedFont = 2, kNeedPen = 4, kNeedBrush = 8 };
    void RequiredState(unsigned needs);

private:
    void DeselectHandles();
    void SelectFont();
    void SelectPen();
    void SelectBrush();
    void FontChanged(rtl::TObject*);
    void PenChanged(rtl::TObject*);
    void BrushChanged(rtl::TObject*);

    HDC handle_ = nullptr;  // not owned: derived canvases own theirs
    std::unique_ptr<TFont> font_;
    std::unique_ptr<TPen> pen_;
    std::unique_ptr<TBrush> brush_;
    // What is selected now; kept alive while selected.
    SharedGdi<OwnedFont> selectedFont_;
    SharedGdi<OwnedPen> selectedPen_;
    SharedGdi<OwnedBrush> selectedBrush_;
    TCopyMode copyMode_ = cmSrcCopy;
    std::int32_t textFlags_ = 0;
    rtl::TCriticalSection lock_;
    int lockCount_ = 0;
};

// --- graphics and pictures ---

// An image that can draw itself on a canvas and travel through streams. Subclasses
// register with TPicture so pictures find them by file extension and by class name.
class TGraphic : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TGraphic, rtl::TPersistent)

public:
    TGraphic() = default;

    virtual bool Empty() const = 0;
    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
    virtual void SetWidth(std::int32_t value) = 0;
    virtual void SetHeight(std::int32_t value) = 0;
    virtual bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value)
    {
        rtl::SetAndNotify(transparent_, value, [this] { Changed(this); });
    }
    bool Modified() const { return modified_; }
    void SetModified(bool value);

    // Draws into `rect` of the canvas, stretching to fit.
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;

    // Read from the stream's current position; what a read leaves behind on failure is
    // unspecified but safe to free. Raise EInvalidGraphic for bad data.
    virtual void LoadFromStream(rtl::TStream& stream) = 0;
    virtual void SaveToStream(rtl::TStream& stream) = 0;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    // The graphic's own data inside a picture's stored "Data": the default is the stream
    // form as is; a class may frame it (TBitmap prefixes a 32-bit length).
    virtual void ReadData(rtl::TStream& stream) { LoadFromStream(stream); }
    virtual void WriteData(rtl::TStream& stream) { SaveToStream(stream); }

    rtl::TNotifyEvent OnChange;

protected:
    virtual void Changed(rtl::TObject* sender);

private:
    bool transparent_ = false;
    bool modified_ = false;
};

// Makes a new, empty graphic of a registered class.
using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// Holds one graphic of any registered class. Its stored form ("Data") is the class name as
// a length-prefixed short string followed by the graphic's own WriteData output; an empty
// picture stores nothing.
class TPicture : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TPicture, rtl::TPersistent)

public:
    TPicture();
    ~TPicture() override;

    // nullptr when empty. The picture owns it.
    TGraphic* Graphic() const { return graphic_.get(); }
    // Stores a copy: a new graphic of the same class assigned from `value`; nullptr empties.
    void SetGraphic(TGraphic* value);
    // The graphic as a TBitmap, replacing any other kind of graphic by an empty bitmap.
    TBitmap* Bitmap();
    void SetBitmap(TBitmap* value);
    std::int32_t Width() const;
    std::int32_t Height() const;

    // Chooses the class by the file's extension. Raises EInvalidGraphic
    // "Unknown picture file extension (.xyz)".
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    void Assign(rtl::TPersistent* source) override;
    void DefineProperties(rtl::TFiler& filer) override;
    // The stored "Data" property. ReadData raises EInvalidGraphic "Unknown graphic class X"
    // for a class nobody registered and EReadError for a truncated name.
    void ReadData(rtl::TStream& stream);
    void WriteData(rtl::TStream& stream);

    rtl::TNotifyEvent OnChange;

    // Class registry. Extensions are given without the dot and compare without regard to
    // case; a later registration of an extension replaces the earlier one.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   const rtl::TClassInfo& graphicClass, TGraphicFactory factory);
    template <class G>
    static void RegisterFileFormat(const std::string& extension, const std::string& description)
    {
        RegisterFileFormat(extension, description, G::StaticClassInfo(),
                           [] { return std::make_unique<G>(); });
    }
    // Known by class name only (readable from stored data, no extension).
    static void RegisterGraphicClass(const rtl::TClassInfo& graphicClass, TGraphicFactory factory);
    template <class G>
    static void RegisterGraphicClass()
    {
        RegisterGraphicClass(G::StaticClassInfo(), [] { return std::make_unique<G>(); });
    }
    // Removes every extension and class-name entry of that class.
    static void UnregisterGraphicClass(const rtl::TClassInfo& graphicClass);
    // nullptr when unknown.
    static std::unique_ptr<TGraphic> CreateGraphicByExtension(const std::string& extension);
    static std::unique_ptr<TGraphic> CreateGraphicByClassName(const std::string& className);
    // "Windows Bitmap (*.BMP)|*.BMP|..." style filter of the registered formats of a kind.
    static std::string GraphicFilter(const rtl::TClassInfo& graphicClass);

private:
    void TakeGraphic(std::unique_ptr<TGraphic> graphic);

    std::unique_ptr<TGraphic> graphic_;
};

// --- bitmaps ---

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
RTL_ENUM_INFO(TPixelFormat, "pfDevice", "pf1bit", "pf4bit", "pf8bit", "pf15bit", "pf16bit", "pf24bit",
              "pf32bit", "pfCustom")
enum TBitmapHandleType { bmDIB, bmDDB };
RTL_ENUM_INFO(TBitmapHandleType, "bmDIB", "bmDDB")
enum TTransparentMode { tmAuto, tmFixed };
RTL_ENUM_INFO(TTransparentMode, "tmAuto", "tmFixed")

// Bytes in one row of `width` pixels at `bitCount`, padded to `alignBits` (32 for DIBs).
// Raises EInvalidGraphic when it does not fit in 31 bits.
std::int32_t BytesPerScanline(std::int64_t width, std::int32_t bitCount, std::int32_t alignBits);

// A bitmap. As a DIB section (HandleType bmDIB, the normal case) its pixels are reachable
// through ScanLine; as a device-dependent bitmap (bmDDB, PixelFormat pfDevice) only through
// the canvas. Streams hold BMP files. Width and Height changes keep the top-left content
// and fill new area with white.
class TBitmap : public TGraphic {
    RTL_DECLARE_CLASS(TBitmap, TGraphic)

public:
    TBitmap();
    ~TBitmap() override;

    bool Empty() const override { return width_ == 0 || height_ == 0; }
    std::int32_t Width() const override { return width_; }
    std::int32_t Height() const override { return height_; }
    void SetWidth(std::int32_t value) override { SetSize(value, height_); }
    void SetHeight(std::int32_t value) override { SetSize(width_, value); }
    // Raises EInvalidGraphic for negative or oversized dimensions.
    void SetSize(std::int32_t width, std::int32_t height);

    TPixelFormat PixelFormat() const { return pixelFormat_; }
    // Converts the pixels; to a palette format without a palette of the right size a default
    // one is installed (black and white, the 16 VGA colours, or a 6x6x6 cube with greys).
    void SetPixelFormat(TPixelFormat value);
    TBitmapHandleType HandleType() const { return dib_ ? bmDIB : bmDDB; }
    void SetHandleType(TBitmapHandleType value);
    bool Monochrome() const;
    void SetMonochrome(bool value);

    // Row `row` counted from the top; rows are padded to 4 bytes. Raises
    // EInvalidGraphicOperation "Scan line index out of range" outside 0..Height-1. A DDB is
    // turned into a DIB first. The pointer stays valid until the size or format changes.
    void* ScanLine(std::int32_t row);
    std::int32_t RowLength() const;

    TCanvas* Canvas();

    // The bitmap keeps ownership of Handle. SetHandle takes ownership of `bitmap` (a DIB
    // section stays one; anything else becomes a DDB). ReleaseHandle gives it up and
    // leaves the bitmap empty.
    HBITMAP Handle();
    void SetHandle(HBITMAP bitmap);
    HBITMAP ReleaseHandle();

    // The colour table (red, green, blue, flags) of a palette format; empty otherwise.
    std::vector<PALETTEENTRY> PaletteEntries() const;
    // Writes up to 2^bits entries; longer lists raise EInvalidGraphicOperation.
    void SetPaletteEntries(const std::vector<PALETTEENTRY>& entries);
    // A logical palette made from the colour table; nullptr without one. Owned by the bitmap.
    HPALETTE Palette();

    TColor TransparentColor();
    void SetTransparentColor(TColor value);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode value);

    void Draw(TCanvas& canvas, const TRect& rect) override;

    // BMP with any of the 12/40/52/56/108/124-byte headers, 1/4/8/16/24/32 bits,
    // uncompressed, RLE4, RLE8 or bit fields; bottom-up or top-down. Bad data raises
    // EInvalidGraphic and leaves the bitmap as it was.
    void LoadFromStream(rtl::TStream& stream) override;
    // A BMP file with a 40-byte header: the pixel format's own bit count (16-bit formats
    // with bit-field masks), the full colour table for palette formats, rows bottom-up.
    void SaveToStream(rtl::TStream& stream) override;
    // 32-bit little-endian length, then the BMP file.
    void ReadData(rtl::TStream& stream) override;
    void WriteData(rtl::TStream& stream) override;
    // RT_BITMAP resource of a module.
    void LoadFromResourceName(HINSTANCE instance, const std::string& name);
    void LoadFromResourceID(HINSTANCE instance, int id);

    void Assign(rtl::TPersistent* source) override;
    // Gives the pixels back; the bitmap becomes 0 x 0 with its pixel format kept.
    void FreeImage();

    // The pixels and their GDI objects; defined where TBitmap is implemented.
    struct Image;

private:
    friend class TBitmapCanvas;

    void Replace(std::unique_ptr<Image> image);
    void FreeCanvasContext();
    void EnsureDIB();
    void Changed(rtl::TObject* sender) override;

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    TPixelFormat pixelFormat_ = pfDevice;
    bool dib_ = false;
    std::unique_ptr<Image> image_;
    std::unique_ptr<TCanvas> canvas_;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
};

// A canvas that owns a memory DC compatible with the screen, with no bitmap selected;
// for measuring text and for scratch drawing.
class TMemoryCanvas : public TCanvas {
public:
    TMemoryCanvas() = default;
    ~TMemoryCanvas() override;

protected:
    void CreateHandle() override;

private:
    OwnedDC dc_;
};

}  // namespace win
