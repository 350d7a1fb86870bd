// The library-wide helpers: numbers, colours, HSL, 1-bit rows, quarter turns, mirroring and rotation by any
// angle.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/detail/ieplatformservices.h"
#include "imaging/core/iebitmap.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <cmath>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

constexpr double kPi = 3.14159265358979323846;

TColor DefaultResolver(TColor c) { return detail::PlatformResolveColor(c); }
TIESystemColorResolver gResolver = &DefaultResolver;

int ToIntChecked(std::int64_t v)
{
    if (v < INT_MIN || v > INT_MAX)
        throw rtl::EInvalidOp("Invalid floating point operation");
    return static_cast<int>(v);
}

// Copies pixel sx of a row in the given format to pixel dx of another row.
inline void CopyPixel(TIEPixelFormat format, std::uint8_t* dst, int dx, const std::uint8_t* src, int sx)
{
    if (format == ie1g) {
        SetPixelBit(dst, dx, GetPixelBit(src, sx) != 0);
        return;
    }
    const int n = IEBytesPerPixel(format);
    std::memcpy(dst + std::size_t(dx) * n, src + std::size_t(sx) * n, std::size_t(n));
}

void CopyPalette(TIEBitmap& from, TIEBitmap& to)
{
    for (int i = 0; i < from.PaletteLen(); ++i)
        to.SetPaletteColor(i, from.GetPaletteColor(i));
}

// Quarter turn of one plane (no alpha). Dest rows are built in bands so that a file-backed source
// is read once per band, not once per pixel.
void QuarterTurn(TIEBitmap& source, TIEBitmap& dest, bool clockwise)
{
    const int w = source.GetWidth(), h = source.GetHeight();
    const TIEPixelFormat format = source.GetPixelFormat();
    dest.Allocate(h, w, format);
    if (format == ieNull || w < 1 || h < 1)
        return;
    CopyPalette(source, dest);
    const int destRowLen = dest.GetRowLen();
    const int band = std::max(1, std::min(w, int((std::int64_t(4) << 20) / destRowLen)));
    std::vector<std::uint8_t> buffer(std::size_t(band) * std::size_t(destRowLen));
    {
        TIEAccessScope readOnly(source, 1);
        for (int b0 = 0; b0 < w; b0 += band) {
            const int b1 = std::min(w, b0 + band);
            std::fill(buffer.begin(), buffer.end(), 0);
            for (int r = 0; r < h; ++r) {
                const std::uint8_t* src = source.ScanLine(r);
                const int dx = clockwise ? h - 1 - r : r;
                for (int yd = b0; yd < b1; ++yd) {
                    const int column = clockwise ? yd : w - 1 - yd;
                    CopyPixel(format, buffer.data() + std::size_t(yd - b0) * destRowLen, dx, src, column);
                }
            }
            for (int yd = b0; yd < b1; ++yd)
                std::memcpy(dest.ScanLine(yd), buffer.data() + std::size_t(yd - b0) * destRowLen,
                            std::size_t(destRowLen));
        }
    }
    source.ScanLine(0);
}

void Rotate(TIEBitmap* Source, TIEBitmap* Dest, bool clockwise)
{
    if (!Source || !Dest)
        return;
    if (Source == Dest) {
        TIEBitmap copy;
        copy.Assign(Source);
        Rotate(&copy, Dest, clockwise);
        return;
    }
    Dest->RemoveAlphaChannel();
    QuarterTurn(*Source, *Dest, clockwise);
    if (Source->HasAlphaChannel() && !Dest->IsAlphaChannel()) {
        TIEBitmap turned;
        QuarterTurn(*Source->GetAlphaChannel(), turned, clockwise);
        Dest->GetAlphaChannel()->AssignImage(&turned);
    }
    Dest->Full = Source->Full;
}

void MirrorRow(TIEPixelFormat format, std::uint8_t* row, int width)
{
    if (format == ie1g) {
        for (int a = 0, b = width - 1; a < b; ++a, --b) {
            const bool va = GetPixelBit(row, a) != 0, vb = GetPixelBit(row, b) != 0;
            SetPixelBit(row, a, vb);
            SetPixelBit(row, b, va);
        }
        return;
    }
    const int n = IEBytesPerPixel(format);
    std::uint8_t tmp[4];
    for (int a = 0, b = width - 1; a < b; ++a, --b) {
        std::memcpy(tmp, row + std::size_t(a) * n, std::size_t(n));
        std::memcpy(row + std::size_t(a) * n, row + std::size_t(b) * n, std::size_t(n));
        std::memcpy(row + std::size_t(b) * n, tmp, std::size_t(n));
    }
}

void FlipPlane(TIEBitmap& bmp, int direction)
{
    const int w = bmp.GetWidth(), h = bmp.GetHeight();
    const TIEPixelFormat format = bmp.GetPixelFormat();
    if (format == ieNull || w < 1 || h < 1)
        return;
    if (direction == 0) {
        for (int r = 0; r < h; ++r)
            MirrorRow(format, bmp.ScanLine(r), w);
        bmp.ScanLine(0);
        return;
    }
    const auto len = static_cast<std::size_t>(bmp.GetRowLen());
    std::vector<std::uint8_t> top(len), bottom(len);
    // A file-backed bitmap holds one row at a time: both rows go through scratch buffers.
    for (int a = 0, b = h - 1; a < b; ++a, --b) {
        std::memcpy(top.data(), bmp.ScanLine(a), len);
        std::uint8_t* rb = bmp.ScanLine(b);
        std::memcpy(bottom.data(), rb, len);
        std::memcpy(rb, top.data(), len);
        std::memcpy(bmp.ScanLine(a), bottom.data(), len);
    }
    bmp.ScanLine(0);
}

// The background in each pixel format, as the uncovered area of a rotation shows it.
struct TBackground {
    std::uint8_t bytes[4] = {};
    bool bit = false;
};

TBackground BackgroundFor(TIEBitmap& bmp, TColor color)
{
    TRGB c;
    TColorToRGB(color, c);
    TBackground bg;
    const std::uint8_t grey = RGBToGray(c);
    switch (bmp.GetPixelFormat()) {
    case ie1g: bg.bit = c.r != 0 && c.g != 0 && c.b != 0; break;
    case ie8p:
        bg.bytes[0] = static_cast<std::uint8_t>(NearestPaletteIndex(bmp.Palette(), bmp.PaletteLen(), c));
        break;
    case ie8g: bg.bytes[0] = grey; break;
    case ie16g: {
        const std::uint16_t v = std::uint16_t(grey << 8 | grey);
        std::memcpy(bg.bytes, &v, 2);
        break;
    }
    case ie24RGB: std::memcpy(bg.bytes, &c, 3); break;
    case ie32f: {
        const float v = grey / 255.0f;
        std::memcpy(bg.bytes, &v, 4);
        break;
    }
    default: break;
    }
    return bg;
}

// Rotation by inverse mapping to the nearest source pixel; works on every format.
void RotateNearest(TIEBitmap& source, TIEBitmap& dest, double angle, int newWidth, int newHeight,
                   const TBackground& bg)
{
    const TIEPixelFormat format = source.GetPixelFormat();
    const int w = source.GetWidth(), h = source.GetHeight();
    TIEBitmap src;  // random access needs the whole source in memory
    src.MinFileSize = std::int64_t(1) << 40;
    src.SetLocation(ieMemory);
    src.AssignImage(&source);
    dest.Allocate(newWidth, newHeight, format);
    CopyPalette(source, dest);
    const double rad = angle * kPi / 180.0, c = std::cos(rad), s = std::sin(rad);
    const double scx = (w - 1) / 2.0, scy = (h - 1) / 2.0, dcx = (newWidth - 1) / 2.0,
                 dcy = (newHeight - 1) / 2.0;
    const int n = IEBytesPerPixel(format);
    for (int yd = 0; yd < newHeight; ++yd) {
        std::uint8_t* dst = dest.ScanLine(yd);
        for (int xd = 0; xd < newWidth; ++xd) {
            const double rx = xd - dcx, ry = yd - dcy;
            const double x = c * rx - s * ry + scx, y = s * rx + c * ry + scy;
            const long xs = std::lround(x), ys = std::lround(y);
            const bool inside = xs >= 0 && ys >= 0 && xs < w && ys < h;
            if (inside) {
                CopyPixel(format, dst, xd, src.ScanLine(int(ys)), int(xs));
            } else if (format == ie1g) {
                SetPixelBit(dst, xd, bg.bit);
            } else {
                std::memcpy(dst + std::size_t(xd) * n, bg.bytes, std::size_t(n));
            }
        }
    }
}

// One shear pass over 24-bit pixels held in memory: out(o) samples in(o - offset - shift(line)),
// blending two neighbours in 1/4096 steps; samples outside the input take the background.
struct TPlane {
    int w = 0, h = 0;
    std::vector<TRGB> px;
    TRGB& at(int x, int y) { return px[std::size_t(y) * std::size_t(w) + std::size_t(x)]; }
};

// Pixels a shear of `lines` lines by factor adds to their length.
int ShearGrowth(double factor, int lines)
{
    return 2 * int(std::ceil(std::fabs(factor) * (lines - 1) / 2.0)) + 2;
}

TPlane Shear(TPlane& in, bool horizontal, double factor, TRGB bg, const std::function<void()>& step)
{
    TPlane out;
    const int lines = horizontal ? in.h : in.w;  // rows sheared sideways, or columns up and down
    const int length = horizontal ? in.w : in.h;
    const int grow = ShearGrowth(factor, lines);
    out.w = horizontal ? in.w + grow : in.w;
    out.h = horizontal ? in.h : in.h + grow;
    out.px.assign(std::size_t(out.w) * std::size_t(out.h), bg);
    const int outLength = length + grow;
    const double centre = (lines - 1) / 2.0;
    const double offset = grow / 2.0;
    for (int line = 0; line < lines; ++line) {
        const double shift = factor * (line - centre) + offset;
        const double floorShift = std::floor(shift);
        const int whole = int(floorShift);
        const int frac = int(rtl::Round((shift - floorShift) * 4096.0));
        auto sample = [&](int i) -> TRGB {
            if (i < 0 || i >= length)
                return bg;
            return horizontal ? in.at(i, line) : in.at(line, i);
        };
        for (int o = 0; o < outLength; ++o) {
            // out(o) = in(o - shift): the right part is in(k), the left part in(k - 1).
            const int k = o - whole;
            const TRGB right = sample(k), left = sample(k - 1);
            TRGB v;
            v.b = ClampByte((left.b * frac + right.b * (4096 - frac) + 2048) / 4096);
            v.g = ClampByte((left.g * frac + right.g * (4096 - frac) + 2048) / 4096);
            v.r = ClampByte((left.r * frac + right.r * (4096 - frac) + 2048) / 4096);
            if (horizontal)
                out.at(o, line) = v;
            else
                out.at(line, o) = v;
        }
        step();
    }
    return out;
}

}  // namespace

int IECeil(double X)
{
    const std::int64_t t = rtl::Trunc(X);
    return ToIntChecked(rtl::Frac(X) > 0 ? t + 1 : t);
}

int IEFloor(double X)
{
    const std::int64_t t = rtl::Trunc(X);
    return ToIntChecked(rtl::Frac(X) < 0 ? t - 1 : t);
}

void SwapInt(int& A, int& B) { std::swap(A, B); }
void SwapBytes(std::uint8_t& A, std::uint8_t& B) { std::swap(A, B); }

void OrderCoords(int& X1, int& Y1, int& X2, int& Y2)
{
    if (X1 > X2)
        std::swap(X1, X2);
    if (Y1 > Y2)
        std::swap(Y1, Y2);
}

void SetRGB(std::uint8_t R, std::uint8_t G, std::uint8_t B, TRGB& C)
{
    C.r = R;
    C.g = G;
    C.b = B;
}

void IESetSystemColorResolver(TIESystemColorResolver resolver)
{
    gResolver = resolver ? resolver : &DefaultResolver;
}

void TColorToRGB(TColor Color, TRGB& C)
{
    if (Color < 0)
        Color = gResolver(Color);
    C.r = static_cast<std::uint8_t>(Color & 0xFF);
    C.g = static_cast<std::uint8_t>((Color >> 8) & 0xFF);
    C.b = static_cast<std::uint8_t>((Color >> 16) & 0xFF);
}

void SwapRedBlueArray(TRGB* P, int Count)
{
    for (int i = 0; i < Count; ++i)
        std::swap(P[i].r, P[i].b);
}

void SwapRedBlueRow(TRGB* P, int Count) { SwapRedBlueArray(P, Count); }

int NearestPaletteIndex(const TRGB* Palette, int Count, TRGB C)
{
    int best = 1000, index = 0;
    for (int i = 0; i < Count; ++i) {
        const int d =
            std::abs(Palette[i].r - C.r) + std::abs(Palette[i].g - C.g) + std::abs(Palette[i].b - C.b);
        if (d < best) {
            best = d;
            index = i;
        }
    }
    return index;
}

void RGB2HSL(double& H, double& S, double& L, TRGB C)
{
    const double r = C.r / 255.0, g = C.g / 255.0, b = C.b / 255.0;
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    L = (mx + mn) / 2;
    if (mx == mn) {
        H = 0;
        S = 0;
        return;
    }
    const double d = mx - mn;
    S = L >= 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    if (r == mx)
        H = (g - b) / d;
    else if (g == mx)
        H = 2 + (b - r) / d;
    else
        H = 4 + (r - g) / d;
    H /= 6;
    if (H < 0)
        H += 1;
}

namespace {
double HueToRGB(double m1, double m2, double h)
{
    if (h < 0)
        h += 1;
    if (h > 1)
        h -= 1;
    if (6 * h < 1)
        return m1 + (m2 - m1) * h * 6;
    if (2 * h < 1)
        return m2;
    if (3 * h < 2)
        return m1 + (m2 - m1) * (2.0 / 3.0 - h) * 6;
    return m1;
}

std::uint8_t ChannelOf(double v)
{
    if (!std::isfinite(v))
        return 0;
    return ClampByte(int(rtl::Round(std::clamp(v * 255, -1.0e6, 1.0e6))));
}
}  // namespace

void HSL2RGB(TRGB& C, double H, double S, double L)
{
    if (H < 0)
        H += 1;
    if (H > 1)
        H -= 1;
    S = std::clamp(S, 0.0, 1.0);
    L = std::clamp(L, 0.0, 1.0);
    double r, g, b;
    if (S == 0) {
        r = g = b = L;
    } else {
        const double m2 = L <= 0.5 ? L * (1 + S) : L + S - L * S;
        const double m1 = 2 * L - m2;
        r = HueToRGB(m1, m2, H + 1.0 / 3.0);
        g = HueToRGB(m1, m2, H);
        b = HueToRGB(m1, m2, H - 1.0 / 3.0);
    }
    C.r = ChannelOf(r);
    C.g = ChannelOf(g);
    C.b = ChannelOf(b);
}

void CopyBitRun(std::uint8_t* Dest, const std::uint8_t* Source, int DestBit, int SourceRowLength, int Width,
                int SourceBit)
{
    if (Width < 1 || DestBit < 0 || SourceBit < 0)
        return;
    // Never read past the source row: the bits of the run beyond it come out 0.
    const std::int64_t available = std::max<std::int64_t>(std::int64_t(SourceRowLength) * 8 - SourceBit, 0);
    const int copied = int(std::min<std::int64_t>(Width, available));
    int i = 0;
    if ((DestBit & 7) == 0 && (SourceBit & 7) == 0) {
        const int bytes = copied >> 3;
        std::memmove(Dest + (DestBit >> 3), Source + (SourceBit >> 3), std::size_t(bytes));
        i = bytes * 8;
    }
    for (; i < copied; ++i)
        SetPixelBit(Dest, DestBit + i, GetPixelBit(Source, SourceBit + i) != 0);
    for (; i < Width; ++i)
        SetPixelBit(Dest, DestBit + i, false);
}

void InvertBitmapBits(TIEBitmap* Bitmap)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull)
        return;
    const int h = Bitmap->GetHeight(), len = Bitmap->GetRowLen();
    for (int r = 0; r < h; ++r) {
        std::uint8_t* p = Bitmap->ScanLine(r);
        for (int i = 0; i < len; ++i)
            p[i] = static_cast<std::uint8_t>(~p[i]);
    }
    if (h > 0)
        Bitmap->ScanLine(0);
}

void ReverseByteBits(std::uint8_t& B)
{
    static const auto kTable = [] {
        std::array<std::uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) {
            int r = 0;
            for (int i = 0; i < 8; ++i)
                if (v & (1 << i))
                    r |= 0x80 >> i;
            t[std::size_t(v)] = static_cast<std::uint8_t>(r);
        }
        return t;
    }();
    B = kTable[B];
}

const std::array<std::array<TRGB, 8>, 256>& BitExpandTable()
{
    static const auto kTable = [] {
        std::array<std::array<TRGB, 8>, 256> t{};
        for (int v = 0; v < 256; ++v)
            for (int i = 0; i < 8; ++i) {
                const std::uint8_t c = (v & BitMask[std::size_t(i)]) ? 255 : 0;
                t[std::size_t(v)][std::size_t(i)] = TRGB{c, c, c};
            }
        return t;
    }();
    return kTable;
}

void RotateIEBitmapRight(TIEBitmap* Source, TIEBitmap* Dest) { Rotate(Source, Dest, true); }
void RotateIEBitmapLeft(TIEBitmap* Source, TIEBitmap* Dest) { Rotate(Source, Dest, false); }

void FlipBitmap(TIEBitmap* Bitmap, int Direction)
{
    if (!Bitmap || (Direction != 0 && Direction != 1))
        return;
    FlipPlane(*Bitmap, Direction);
    if (Bitmap->HasAlphaChannel())
        FlipPlane(*Bitmap->GetAlphaChannel(), Direction);
}

void RotateBitmap(TIEBitmap* Bitmap, double Angle, TColor Background, const TIEProgressEvent& OnProgress,
                  void* Sender)
{
    if (!Bitmap || Angle == 0 || !std::isfinite(Angle))
        return;
    const int w0 = Bitmap->GetWidth(), h0 = Bitmap->GetHeight();
    if (Bitmap->GetPixelFormat() == ieNull || w0 < 1 || h0 < 1)
        return;
    Angle = double(rtl::Trunc(std::fmod(Angle, 360.0) * 1000) % 360000) / 1000.0;
    // Quarter turns are exact for every format; the rest of the angle stays within -45..45.
    while (Angle > 45) {
        RotateIEBitmapLeft(Bitmap, Bitmap);
        Angle -= 90;
    }
    while (Angle < -45) {
        RotateIEBitmapRight(Bitmap, Bitmap);
        Angle += 90;
    }
    if (Angle == 0)
        return;
    const int w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const double rad = Angle * kPi / 180.0, c = std::fabs(std::cos(rad)), s = std::fabs(std::sin(rad));
    const int newWidth = int(std::ceil(w * c + h * s - 1e-9)),
              newHeight = int(std::ceil(w * s + h * c - 1e-9));
    const TBackground bg = BackgroundFor(*Bitmap, Background);
    TIEBitmap result;
    result.MinFileSize = Bitmap->MinFileSize;
    result.SetLocation(Bitmap->Location() == ieFile ? ieFile : ieMemory);

    if (Bitmap->GetPixelFormat() == ie24RGB) {
        TPlane plane;
        plane.w = w;
        plane.h = h;
        plane.px.resize(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y)
            std::memcpy(&plane.at(0, y), Bitmap->ScanLine(y), std::size_t(w) * 3);
        TRGB back;
        std::memcpy(&back, bg.bytes, 3);
        const double a = std::tan(rad / 2), b = -std::sin(rad);
        // The lines of the three passes: the rows, the columns of the first result, the rows of the
        // second.
        std::int64_t done = 0;
        const std::int64_t columns = std::int64_t(w) + ShearGrowth(a, h);
        const std::int64_t total = std::int64_t(h) + columns + h + ShearGrowth(b, int(columns));
        auto step = [&] {
            ++done;
            if (OnProgress)
                OnProgress(Sender, int(std::min<std::int64_t>(100, done * 100 / total)));
        };
        TPlane p1 = Shear(plane, true, a, back, step);
        TPlane p2 = Shear(p1, false, b, back, step);
        TPlane p3 = Shear(p2, true, a, back, step);
        const int x0 = (p3.w - newWidth) / 2, y0 = (p3.h - newHeight) / 2;
        result.Allocate(newWidth, newHeight, ie24RGB);
        for (int y = 0; y < newHeight; ++y) {
            std::uint8_t* row = result.ScanLine(y);
            for (int x = 0; x < newWidth; ++x) {
                const int sx = x + x0, sy = y + y0;
                const TRGB v = sx >= 0 && sy >= 0 && sx < p3.w && sy < p3.h ? p3.at(sx, sy) : back;
                std::memcpy(row + std::size_t(x) * 3, &v, 3);
            }
        }
    } else {
        RotateNearest(*Bitmap, result, Angle, newWidth, newHeight, bg);
    }
    if (Bitmap->HasAlphaChannel()) {
        TBackground opaque;
        opaque.bytes[0] = 255;
        TIEBitmap alpha;
        RotateNearest(*Bitmap->GetAlphaChannel(), alpha, Angle, newWidth, newHeight, opaque);
        result.GetAlphaChannel()->AssignImage(&alpha);
    }
    result.MonoConversion = Bitmap->MonoConversion;
    const std::uint8_t mono = Bitmap->MonoConversion;
    result.MoveTo(Bitmap);
    Bitmap->MonoConversion = mono;
}

// ---------------------------------------------------------------- platform bitmaps

void Expand1BitBitmap(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest, const TIEProgressEvent& OnProgress,
                      void* Sender)
{
    if (!Source || !Dest || Source == Dest || Source->BitsPerPixel() != 1)
        return;
    const int w = Source->Width(), h = Source->Height();
    Dest->SetSize(0, 0);
    Dest->SetBitsPerPixel(24);
    Dest->SetSize(w, h);
    const auto& table = BitExpandTable();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = Source->ScanLine(y);
        auto* dst = reinterpret_cast<TRGB*>(Dest->ScanLine(y));
        int x = 0;
        for (; x + 8 <= w; x += 8)
            std::memcpy(dst + x, table[src[x >> 3]].data(), sizeof(TRGB) * 8);
        if (x < w)
            std::memcpy(dst + x, table[src[x >> 3]].data(), sizeof(TRGB) * std::size_t(w - x));
        if (OnProgress)
            OnProgress(Sender, int((y + 1) * std::int64_t(100) / h));
    }
}

namespace {
void RotatePlatform(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest, bool clockwise)
{
    if (!Source || !Dest || Source == Dest)
        return;
    const int bits = Source->BitsPerPixel();
    if (bits != 1 && bits != 8 && bits != 24 && bits != 32)
        return;
    const int w = Source->Width(), h = Source->Height();
    Dest->SetSize(0, 0);
    Dest->SetBitsPerPixel(bits);
    Dest->SetSize(h, w);
    std::vector<TRGB> palette(256);
    const int count = Source->GetPalette(palette.data(), 256);
    Dest->SetPalette(palette.data(), std::min(count, 256));
    const int n = bits / 8;
    for (int yd = 0; yd < w; ++yd) {
        std::uint8_t* dst = Dest->ScanLine(yd);
        for (int xd = 0; xd < h; ++xd) {
            const int sx = clockwise ? yd : w - 1 - yd;
            const int sy = clockwise ? h - 1 - xd : xd;
            const std::uint8_t* src = Source->ScanLine(sy);
            if (bits == 1)
                SetPixelBit(dst, xd, GetPixelBit(src, sx) != 0);
            else
                std::memcpy(dst + std::size_t(xd) * n, src + std::size_t(sx) * n, std::size_t(n));
        }
    }
}
}  // namespace

void RotateVclBitmapRight(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest)
{
    RotatePlatform(Source, Dest, true);
}
void RotateVclBitmapLeft(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest)
{
    RotatePlatform(Source, Dest, false);
}

void CopyBitmapBits(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest)
{
    if (!Source || !Dest || Source == Dest || Source->Width() < 1 || Source->Height() < 1)
        return;
    if (Dest->Width() != Source->Width() || Dest->Height() != Source->Height() ||
        Dest->BitsPerPixel() != Source->BitsPerPixel()) {
        Dest->SetSize(0, 0);
        Dest->SetBitsPerPixel(Source->BitsPerPixel());
        Dest->SetSize(Source->Width(), Source->Height());
    }
    const int bits = Source->BitsPerPixel() == 15 ? 16 : Source->BitsPerPixel();
    const auto len = static_cast<std::size_t>(IERowLen(Source->Width(), bits, 32));
    for (int y = 0; y < Source->Height(); ++y)
        std::memcpy(Dest->ScanLine(y), Source->ScanLine(y), len);
}

}  // namespace imaging
