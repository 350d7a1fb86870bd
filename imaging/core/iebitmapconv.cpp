// TIEBitmap pixel-format conversion and the copies to and from platform bitmaps and DIB sections.
#include "imaging/core/iebitmap.h"

#include "imaging/core/neurquant.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

namespace imaging {

namespace {

// First index x and 7, second y and 7.
constexpr std::uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

std::uint16_t Gray16(TRGB c)
{
    return static_cast<std::uint16_t>((c.r * 54272u + c.g * 182528u + c.b * 19200u) / 1000u);
}

float GrayFloat(TRGB c) { return static_cast<float>((c.r * 0.2126 + c.g * 0.7152 + c.b * 0.0722) / 255.0); }

// Trunc(v * scale) held to 0..scale: a float beyond 0..1 (or NaN) must not wrap round. A float
// holds level / 65535 only to 24 bits, often just below it; one unit in its last place is
// allowed for, so that every 16-bit level comes back from float unchanged.
int FloatToLevel(float v, int scale)
{
    const double t = std::trunc(double(v) * scale + scale * 0x1p-23);
    if (!(t > 0))
        return 0;
    return t >= scale ? scale : int(t);
}

float ReadFloat(const std::uint8_t* p)
{
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

void WriteFloat(std::uint8_t* p, float v) { std::memcpy(p, &v, 4); }

std::uint16_t Read16(const std::uint8_t* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void Write16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }

// One source pixel in every form a target may want.
struct TPixel {
    std::uint8_t g8 = 0;     // 8-bit grey, also the dither level (shr 2) and the grey-palette index
    std::uint16_t g16 = 0;   // 16-bit grey
    float f = 0;             // float grey
    TRGB c;                  // colour
    std::uint8_t index = 0;  // palette index
};

TPixel Sample(TIEPixelFormat format, const std::uint8_t* row, int x, const TRGB* palette)
{
    TPixel p;
    switch (format) {
    case ie1g: {
        const bool on = GetPixelBit(row, x) != 0;
        p.g8 = on ? 255 : 0;
        p.g16 = on ? 65535 : 0;
        p.f = on ? 1.0f : 0.0f;
        p.index = on ? 1 : 0;
        p.c = TRGB{p.g8, p.g8, p.g8};
        return p;
    }
    case ie8p: {
        p.c = palette[row[x]];
        p.g8 = RGBToGray(p.c);
        p.g16 = Gray16(p.c);
        p.f = GrayFloat(p.c);
        p.index = row[x];
        return p;
    }
    case ie8g: {
        const std::uint8_t v = row[x];
        p.g8 = v;
        p.g16 = static_cast<std::uint16_t>(v << 8);
        p.f = float(v / 255.0);
        break;
    }
    case ie16g: {
        const std::uint16_t v = Read16(row + std::size_t(x) * 2);
        p.g8 = static_cast<std::uint8_t>(v >> 8);
        p.g16 = v;
        p.f = float(v / 65535.0);
        break;
    }
    case ie24RGB: {
        const std::uint8_t* q = row + std::size_t(x) * 3;
        p.c = TRGB{q[0], q[1], q[2]};
        p.g8 = RGBToGray(p.c);
        p.g16 = Gray16(p.c);
        p.f = GrayFloat(p.c);
        return p;
    }
    case ie32f: {
        const float v = ReadFloat(row + std::size_t(x) * 4);
        p.g8 = static_cast<std::uint8_t>(FloatToLevel(v, 255));
        p.g16 = static_cast<std::uint16_t>(FloatToLevel(v, 65535));
        p.f = v;
        break;
    }
    default: return p;
    }
    p.c = TRGB{p.g8, p.g8, p.g8};
    p.index = p.g8;
    return p;
}

void Store(TIEPixelFormat format, std::uint8_t* row, int x, int y, const TPixel& p)
{
    switch (format) {
    case ie1g: {
        // The level is the grey shr 2, except that the top level 63 (grey 252 to 255) counts as 64:
        // 63 lights every matrix entry but the 63 itself, which would leave one black dot per tile
        // in pure white. Every lower level dithers as it is.
        const int level = p.g8 >= 252 ? 64 : p.g8 >> 2;
        SetPixelBit(row, x, level > kDither[x & 7][y & 7]);
        break;
    }
    case ie8p: row[x] = p.index; break;
    case ie8g: row[x] = p.g8; break;
    case ie16g: Write16(row + std::size_t(x) * 2, p.g16); break;
    case ie24RGB: std::memcpy(row + std::size_t(x) * 3, &p.c, 3); break;
    case ie32f: WriteFloat(row + std::size_t(x) * 4, p.f); break;
    default: break;
    }
}

constexpr std::array<TRGB, 2> kBlackWhite = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};

std::array<TRGB, 256> GreyRamp()
{
    std::array<TRGB, 256> ramp;
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        ramp[std::size_t(i)] = TRGB{v, v, v};
    }
    return ramp;
}

}  // namespace

void TIEBitmap::SetPixelFormat(TIEPixelFormat Value)
{
    if (Value == GetPixelFormat())
        return;
    ConvertToPixelFormat(Value);
}

void TIEBitmap::ConvertToPixelFormat(TIEPixelFormat Value)
{
    if (location_ == ieTBitmap && VclBitmap()) {
        // The platform bitmap cannot be converted in place for most pairs: convert a memory copy,
        // then rebuild the platform bitmap (the encapsulated one included) in the new format.
        TIEBitmap work;
        work.MinFileSize = MinFileSize;
        work.location_ = ieMemory;
        work.MonoConversion = MonoConversion;
        work.PaletteColors = PaletteColors;
        work.AssignImage(this);
        work.ConvertToPixelFormat(Value);
        std::unique_ptr<TIEBitmap> alpha = std::move(alpha_);
        const int width = width_, height = height_;
        try {
            Allocate(width, height, Value);
            CopyPixelsFrom(work);
        } catch (...) {
            alpha_ = std::move(alpha);
            throw;
        }
        if (palette_ && work.palette_)
            *palette_ = *work.palette_;
        SyncTBitmapPalette();
        alpha_ = std::move(alpha);
        Full = false;
        return;
    }
    TIEBitmap old;
    MoveTo(&old);
    std::unique_ptr<TIEBitmap> alpha = std::move(old.alpha_);
    try {
        // The location is chosen again by size.
        Allocate(old.width_, old.height_, Value);
        if (old.pixelFormat_ != ieNull && Value != ieNull && width_ > 0 && height_ > 0)
            ConvertPixelsFrom(old);
    } catch (...) {
        // Never leave a half-converted picture: the old one comes back as it was.
        old.alpha_ = std::move(alpha);
        old.MoveTo(this);
        throw;
    }
    alpha_ = std::move(alpha);
    Full = false;
    SyncTBitmapPalette();
}

void TIEBitmap::ConvertPixelsFrom(TIEBitmap& old)
{
    const TIEPixelFormat from = old.pixelFormat_;
    const TIEPixelFormat to = pixelFormat_;
    if (to == ie1g && MonoConversion != 0) {
        BWThreshold(&old, this, -1);
        return;
    }
    if (from == ie24RGB && to == ie8p) {
        QuantizeFrom(old);
        return;
    }
    if (to == ie8p) {
        if (from == ie1g) {
            (*palette_)[0] = kBlackWhite[0];
            (*palette_)[1] = kBlackWhite[1];
        } else {
            *palette_ = GreyRamp();
        }
    }
    std::array<TRGB, 256> sourcePalette{};
    if (from == ie8p && old.palette_)
        sourcePalette = *old.palette_;
    TIEAccessScope readOnly(old, 1);
    TIEAccessScope writeOnly(*this, 2);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = old.ScanLine(y);
        std::uint8_t* dst = ScanLine(y);
        for (int x = 0; x < width_; ++x)
            Store(to, dst, x, y, Sample(from, src, x, sourcePalette.data()));
    }
    ReleaseRows();
    old.ReleaseRows();
}

void TIEBitmap::QuantizeFrom(TIEBitmap& old)
{
    std::array<TRGB, 256> palette{};
    const int colors = std::clamp(PaletteColors, 2, 256);
    TIEQuantizer quantizer(&old, palette, 255, colors, -1, 0);
    *palette_ = palette;
    TIEAccessScope readOnly(old, 1);
    TIEAccessScope writeOnly(*this, 2);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = old.ScanLine(y);
        std::uint8_t* dst = ScanLine(y);
        for (int x = 0; x < width_; ++x, src += 3) {
            const int index = quantizer.ColorIndex(TRGB{src[0], src[1], src[2]});
            dst[x] = static_cast<std::uint8_t>(std::clamp(index, 0, 255));
        }
    }
    ReleaseRows();
    old.ReleaseRows();
}

void TIEBitmap::CopyToTBitmap(TIEPlatformBitmap* Dest)
{
    if (!Dest || Dest == VclBitmap())
        return;
    const TIEPixelFormat format = GetPixelFormat();
    Dest->SetSize(1, 1);
    const std::array<TRGB, 256> grey = GreyRamp();
    switch (format) {
    case ie1g:
        Dest->SetBitsPerPixel(1);
        Dest->SetPalette(kBlackWhite.data(), 2);
        break;
    case ie8p: {
        Dest->SetBitsPerPixel(8);
        std::array<TRGB, 256> entries{};
        if (palette_)
            entries = *palette_;
        Dest->SetPalette(entries.data(), 256);
        break;
    }
    case ie8g:
    case ie16g:
    case ie32f:
        Dest->SetBitsPerPixel(8);
        Dest->SetPalette(grey.data(), 256);
        break;
    default: Dest->SetBitsPerPixel(24); break;
    }
    Dest->SetSize(width_, height_);
    if (width_ < 1 || height_ < 1 || format == ieNull)
        return;
    TIEAccessScope readOnly(*this, 1);
    const int destLen = IERowLen(width_, Dest->BitsPerPixel(), 32);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = ScanLine(y);
        std::uint8_t* dst = Dest->ScanLine(y);
        if (format == ie16g) {
            for (int x = 0; x < width_; ++x)
                dst[x] = static_cast<std::uint8_t>(Read16(src + std::size_t(x) * 2) >> 8);
        } else if (format == ie32f) {
            for (int x = 0; x < width_; ++x)
                dst[x] = static_cast<std::uint8_t>(FloatToLevel(ReadFloat(src + std::size_t(x) * 4), 255));
        } else {
            std::memcpy(dst, src, static_cast<std::size_t>(std::min(rowLen_, destLen)));
        }
    }
    ReleaseRows();
}

void TIEBitmap::CopyFromTBitmap(TIEPlatformBitmap* Source)
{
    if (!Source || Source == VclBitmap())
        return;
    const int bits = Source->BitsPerPixel();
    const int width = Source->Width(), height = Source->Height();
    Full = false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32)
        return;
    std::array<TRGB, 256> entries{};
    const int entryCount = std::clamp(Source->GetPalette(entries.data(), 256), 0, 256);

    if (location_ == ieTBitmap) {
        // Decoded in memory first: the platform bitmap then gets a format the container has, with
        // every pixel kept (a depth change of its own would clear or remap them).
        TIEBitmap work;
        work.MinFileSize = MinFileSize;
        work.location_ = ieMemory;
        work.CopyFromTBitmap(Source);
        AssignImage(&work);
        return;
    }

    const bool monochrome =
        bits == 1 && (entryCount == 0 ||
                      (entryCount == 2 && entries[0] == kBlackWhite[0] && entries[1] == kBlackWhite[1]));
    TIEPixelFormat format = ie24RGB;
    if (monochrome)
        format = ie1g;
    else if (bits <= 8)
        format = ie8p;
    Allocate(width, height, format);
    Full = false;
    if (format == ie8p)
        std::copy_n(entries.begin(), std::min(entryCount, 1 << bits), palette_->begin());
    if (width_ < 1 || height_ < 1)
        return;
    TIEAccessScope writeOnly(*this, 2);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = Source->ScanLine(y);
        std::uint8_t* dst = ScanLine(y);
        switch (bits) {
        case 1:
            if (monochrome) {
                std::memcpy(dst, src, static_cast<std::size_t>(rowLen_));
            } else {
                for (int x = 0; x < width_; ++x)
                    dst[x] = GetPixelBit(src, x) ? 1 : 0;
            }
            break;
        case 4:
            for (int x = 0; x < width_; ++x)
                dst[x] = (x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4);
            break;
        case 8: std::memcpy(dst, src, static_cast<std::size_t>(width_)); break;
        case 15:
        case 16:
            for (int x = 0; x < width_; ++x) {
                const unsigned p = Read16(src + std::size_t(x) * 2);
                std::uint8_t* q = dst + std::size_t(x) * 3;
                if (bits == 15) {
                    q[2] = static_cast<std::uint8_t>(((p & 0x7C00) >> 10) * 8);
                    q[1] = static_cast<std::uint8_t>(((p & 0x3E0) >> 5) * 8);
                } else {
                    q[2] = static_cast<std::uint8_t>(((p & 0xF800) >> 11) * 8);
                    q[1] = static_cast<std::uint8_t>(((p & 0x7E0) >> 5) * 4);
                }
                q[0] = static_cast<std::uint8_t>((p & 31) * 8);
            }
            break;
        case 24: std::memcpy(dst, src, std::size_t(width_) * 3); break;
        case 32:
            for (int x = 0; x < width_; ++x)
                std::memcpy(dst + std::size_t(x) * 3, src + std::size_t(x) * 4, 3);
            break;
        default: break;
        }
    }
    ReleaseRows();
    SyncTBitmapPalette();
}

void TIEBitmap::CopyFromTDibBitmap(TIEDibbitmap* Source)
{
    if (!Source)
        return;
    const int bits = Source->GetBitCount();
    TIEPixelFormat format;
    switch (bits) {
    case 1: format = ie1g; break;
    case 8: format = ie8g; break;
    case 24: format = ie24RGB; break;
    case 0: format = ie24RGB; break;
    default:
        throw rtl::EInvalidArgument("a DIB section of " + std::to_string(bits) +
                                    " bits per pixel has no matching pixel format");
    }
    const int width = bits ? Source->GetWidth() : 0, height = bits ? Source->GetHeight() : 0;
    Allocate(width, height, format);
    if (width_ < 1 || height_ < 1)
        return;
    TIEAccessScope writeOnly(*this, 2);
    for (int y = 0; y < height_; ++y) {
        std::uint8_t* dst = ScanLine(y);
        std::memcpy(dst, Source->ScanLine(y), static_cast<std::size_t>(rowLen_));
    }
    ReleaseRows();
}

bool TIEBitmap::AssignForeign(rtl::TObject* Source)
{
    if (auto* platform = dynamic_cast<TIEPlatformBitmap*>(Source)) {
        CopyFromTBitmap(platform);
        return true;
    }
    return AssignGuiBitmap(Source);
}

}  // namespace imaging
