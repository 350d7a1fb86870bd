// TIEBitmap editing: width and height changes, canvas resize, region moves, fills, rectangle copies, pixels,
// masks.
#include "imaging/core/iebitmap.h"

#include "imaging/core/iemask.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

std::int64_t TruncValue(double value)
{
    if (!std::isfinite(value))
        throw rtl::EInvalidArgument("fill value is not a finite number");
    return rtl::Trunc(std::clamp(value, -9.0e18, 9.0e18));
}

TRGB ColorOf(std::int64_t v)
{
    TRGB c;
    TColorToRGB(static_cast<TColor>(v), c);
    return c;
}

std::uint8_t FloatToByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 1.0f)
        return 255;
    return static_cast<std::uint8_t>(v * 255.0f);
}

}  // namespace

void TIEBitmap::SetWidth(int Value)
{
    Value = std::max(Value, 0);
    if (Value == width_)
        return;
    if (alpha_)
        alpha_->SetWidth(Value);
    Reshape(Value, height_);
}

void TIEBitmap::SetHeight(int Value)
{
    Value = std::max(Value, 0);
    if (Value == height_)
        return;
    if (alpha_)
        alpha_->SetHeight(Value);
    Reshape(width_, Value);
}

void TIEBitmap::Reshape(int newWidth, int newHeight)
{
    if (location_ == ieTBitmap && VclBitmap()) {
        VclBitmap()->SetSize(newWidth, newHeight);
        TakeShapeFromTBitmap();
        return;
    }
    if (pixelFormat_ == ieNull || height_ < 1 || width_ < 1) {
        width_ = newWidth;
        height_ = newHeight;
        AllocateStorage();
        return;
    }
    // Build the new image beside the old one: a failed allocation keeps the old image.
    TIEBitmap fresh;
    fresh.MinFileSize = MinFileSize;
    fresh.isAlpha_ = isAlpha_;
    fresh.location_ = location_;
    fresh.Allocate(newWidth, newHeight, pixelFormat_);
    {
        TIEAccessScope readOnly(*this, 1);
        const auto bytes = static_cast<std::size_t>(std::min(rowLen_, fresh.rowLen_));
        // A side of 0 is an empty image: it has no rows to take anything.
        const int rows = newWidth > 0 ? std::min(height_, newHeight) : 0;
        for (int row = 0; row < rows; ++row) {
            std::uint8_t* dst = fresh.ScanLine(row);
            std::memcpy(dst, ScanLine(row), bytes);
            // The bits of a 1-bit row beyond the old width are padding: clear them.
            if (pixelFormat_ == ie1g && newWidth > width_ && (width_ & 7))
                dst[width_ >> 3] &= static_cast<std::uint8_t>(0xFF00 >> (width_ & 7));
        }
        ReleaseRows();
    }
    if (palette_ && fresh.palette_)
        *fresh.palette_ = *palette_;
    fresh.alpha_ = std::move(alpha_);
    fresh.MonoConversion = MonoConversion;
    fresh.MoveTo(this);
    Full = false;
}

void TIEBitmap::Resize(int NewWidth, int NewHeight, double FillValue, double AlphaFill,
                       std::uint8_t HorizAlign, std::uint8_t VertAlign)
{
    NewWidth = std::max(NewWidth, 0);
    NewHeight = std::max(NewHeight, 0);
    if (alpha_)
        alpha_->Resize(NewWidth, NewHeight, AlphaFill, 0, HorizAlign, VertAlign);
    // The alpha plane is done: keep it out of the width and height changes below.
    auto alpha = std::move(alpha_);
    const int oldWidth = width_;
    const int oldHeight = height_;
    if (NewWidth < oldWidth && HorizAlign != 0) {
        const int from = HorizAlign == 1 ? (oldWidth - NewWidth) / 2 : oldWidth - NewWidth;
        MoveRegion(from, 0, from + NewWidth - 1, oldHeight - 1, 0, 0, FillValue);
    }
    if (NewHeight < oldHeight && VertAlign != 0) {
        const int from = VertAlign == 1 ? (oldHeight - NewHeight) / 2 : oldHeight - NewHeight;
        MoveRegion(0, from, oldWidth - 1, from + NewHeight - 1, 0, 0, FillValue);
    }
    SetWidth(NewWidth);
    SetHeight(NewHeight);
    if (oldWidth < NewWidth && pixelFormat_ != ieNull) {
        FillRect(oldWidth, 0, NewWidth - 1, NewHeight - 1, FillValue);
        if (HorizAlign != 0) {
            const int to = HorizAlign == 1 ? (NewWidth - oldWidth) / 2 : NewWidth - oldWidth;
            MoveRegion(0, 0, oldWidth - 1, NewHeight - 1, to, 0, FillValue);
        }
    }
    if (oldHeight < NewHeight && pixelFormat_ != ieNull) {
        FillRect(0, oldHeight, NewWidth - 1, NewHeight - 1, FillValue);
        if (VertAlign != 0) {
            const int to = VertAlign == 1 ? (NewHeight - oldHeight) / 2 : NewHeight - oldHeight;
            MoveRegion(0, 0, NewWidth - 1, oldHeight - 1, 0, to, FillValue);
        }
    }
    alpha_ = std::move(alpha);
}

void TIEBitmap::MoveRegion(int X1, int Y1, int X2, int Y2, int DstX, int DstY, double FillValue)
{
    if (pixelFormat_ == ieNull || width_ < 1 || height_ < 1 || X2 < X1 || Y2 < Y1)
        return;
    // Only the part inside the image can move; keep its offset from the asked corner.
    const std::int64_t cx1 = std::max(X1, 0), cy1 = std::max(Y1, 0);
    const std::int64_t cx2 = std::min(X2, width_ - 1), cy2 = std::min(Y2, height_ - 1);
    if (cx2 < cx1 || cy2 < cy1)
        return;
    const std::int64_t dx = std::int64_t(DstX) + (cx1 - X1), dy = std::int64_t(DstY) + (cy1 - Y1);
    TIEBitmap region;
    region.MinFileSize = MinFileSize;
    region.SetLocation(location_ == ieFile ? ieFile : ieMemory);
    region.Allocate(int(cx2 - cx1 + 1), int(cy2 - cy1 + 1), pixelFormat_);
    CopyRectTo(&region, int(cx1), int(cy1), 0, 0, region.width_, region.height_);
    FillRect(int(cx1), int(cy1), int(cx2), int(cy2), FillValue);
    if (dx > INT32_MAX || dy > INT32_MAX || dx + region.width_ <= 0 || dy + region.height_ <= 0)
        return;
    // A far negative destination only needs its inside part: clip before narrowing to int.
    const std::int64_t sx = dx < 0 ? -dx : 0, sy = dy < 0 ? -dy : 0;
    region.CopyRectTo(this, int(sx), int(sy), int(dx + sx), int(dy + sy), int(region.width_ - sx),
                      int(region.height_ - sy));
}

void TIEBitmap::FillRowSpan(std::uint8_t* row, int x1, int x2, double value)
{
    switch (pixelFormat_) {
    case ie1g: {
        const bool set = TruncValue(value) > 0;
        for (int x = x1; x <= x2; ++x)
            SetPixelBit(row, x, set);
        break;
    }
    case ie8p:
    case ie8g:
        std::memset(row + x1, static_cast<std::uint8_t>(TruncValue(value)),
                    static_cast<std::size_t>(x2 - x1 + 1));
        break;
    case ie16g: {
        const auto v = static_cast<std::uint16_t>(TruncValue(value));
        for (int x = x1; x <= x2; ++x)
            std::memcpy(row + std::size_t(x) * 2, &v, 2);
        break;
    }
    case ie24RGB: {
        const TRGB c = ColorOf(TruncValue(value));
        for (int x = x1; x <= x2; ++x)
            std::memcpy(row + std::size_t(x) * 3, &c, 3);
        break;
    }
    case ie32f: {
        TruncValue(value);  // refuses NaN and infinities
        const auto v = static_cast<float>(value);
        for (int x = x1; x <= x2; ++x)
            std::memcpy(row + std::size_t(x) * 4, &v, 4);
        break;
    }
    default: break;
    }
}

void TIEBitmap::Fill(double Value)
{
    if (pixelFormat_ == ieNull || width_ < 1 || height_ < 1)
        return;
    const std::int64_t v = TruncValue(Value);
    TIEAccessScope writeOnly(*this, 2);
    for (int row = 0; row < height_; ++row) {
        std::uint8_t* p = ScanLine(row);
        if (pixelFormat_ == ie1g)
            std::memset(p, v > 0 ? 0xFF : 0, static_cast<std::size_t>(rowLen_));
        else if (pixelFormat_ == ie8p || pixelFormat_ == ie8g)
            std::memset(p, static_cast<std::uint8_t>(v), static_cast<std::size_t>(rowLen_));
        else {
            FillRowSpan(p, 0, width_ - 1, Value);
            // Padding is cleared so every storage place ends with the same bytes.
            const std::size_t used = std::size_t(width_) * std::size_t(IEBytesPerPixel(pixelFormat_));
            std::memset(p + used, 0, static_cast<std::size_t>(rowLen_) - used);
        }
    }
    ReleaseRows();
    switch (pixelFormat_) {
    case ie1g: Full = v > 0; break;
    case ie8p:
    case ie8g: Full = static_cast<std::uint8_t>(v) == 255; break;
    case ie16g: Full = static_cast<std::uint16_t>(v) == 65535; break;
    case ie24RGB: Full = ColorOf(v) == TRGB{255, 255, 255}; break;
    case ie32f: Full = Value == 1.0; break;
    default: break;
    }
}

void TIEBitmap::FillRect(int X1, int Y1, int X2, int Y2, double Value)
{
    if (pixelFormat_ == ieNull)
        return;
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, width_ - 1);
    Y2 = std::min(Y2, height_ - 1);
    if (X2 < X1 || Y2 < Y1)
        return;
    for (int row = Y1; row <= Y2; ++row)
        FillRowSpan(ScanLine(row), X1, X2, Value);
}

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, int SrcX, int SrcY, int DstX, int DstY, int Width, int Height)
{
    if (!Dest || Width <= 0 || Height <= 0)
        return;
    const TIEPixelFormat from = pixelFormat_, to = Dest->GetPixelFormat();
    const bool sameFormat = from == to && from != ieNull;
    if (!sameFormat && !(from == ie1g && to == ie24RGB))
        return;
    // Clip against both images; nothing outside either is read or written.
    std::int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY, w = Width, h = Height;
    if (sx < 0) {
        w += sx;
        dx -= sx;
        sx = 0;
    }
    if (sy < 0) {
        h += sy;
        dy -= sy;
        sy = 0;
    }
    if (dx < 0) {
        w += dx;
        sx -= dx;
        dx = 0;
    }
    if (dy < 0) {
        h += dy;
        sy -= dy;
        dy = 0;
    }
    w = std::min({w, std::int64_t(width_) - sx, std::int64_t(Dest->width_) - dx});
    h = std::min({h, std::int64_t(height_) - sy, std::int64_t(Dest->height_) - dy});
    if (w <= 0 || h <= 0)
        return;
    const bool self = Dest == this;
    // Within one image the rows are read and written: only another image's are read only.
    TIEAccessScope access(*this, self ? Access : std::uint8_t(1));
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(rowLen_));
    // Within one image, walk rows away from the overlap.
    const bool upwards = self && dy > sy;
    for (std::int64_t i = 0; i < h; ++i) {
        const std::int64_t r = upwards ? h - 1 - i : i;
        const std::uint8_t* src = ScanLine(int(sy + r));
        if (self) {
            std::memcpy(scratch.data(), src, scratch.size());
            src = scratch.data();
        }
        std::uint8_t* dst = Dest->ScanLine(int(dy + r));
        if (from == ie1g && to == ie1g) {
            CopyBitRun(dst, src, int(dx), rowLen_, int(w), int(sx));
        } else if (from == ie1g) {
            for (std::int64_t x = 0; x < w; ++x) {
                const std::uint8_t v = GetPixelBit(src, int(sx + x)) ? 255 : 0;
                std::memset(dst + (dx + x) * 3, v, 3);
            }
        } else {
            const int bpp = IEBytesPerPixel(from);
            std::memmove(dst + dx * bpp, src + sx * bpp, static_cast<std::size_t>(w * bpp));
        }
    }
    if (!self)
        ReleaseRows();
    Dest->ReleaseRows();
    // Copied pixels need not hold the maximum, whatever the format.
    Dest->Full = false;
}

// Both read the row's bytes as they are, whatever the format (byte X; the TRGB at byte 3 * X), as
// callers that walk raw rows expect; a place outside the row's bytes reads as 0.
std::uint8_t TIEBitmap::GetPixel8(int X, int Y)
{
    if (X < 0 || Y < 0 || X >= rowLen_ || Y >= height_ || pixelFormat_ == ieNull)
        return 0;
    return ScanLine(Y)[X];
}

TRGB TIEBitmap::GetPixel24(int X, int Y)
{
    if (X < 0 || Y < 0 || std::int64_t(X) * 3 + 3 > rowLen_ || Y >= height_ || pixelFormat_ == ieNull)
        return {};
    TRGB c;
    std::memcpy(&c, ScanLine(Y) + std::size_t(X) * 3, 3);
    return c;
}

void TIEBitmap::SetPixel24(int X, int Y, TRGB Color)
{
    if (pixelFormat_ != ie24RGB || X < 0 || Y < 0 || X >= width_ || Y >= height_)
        return;
    std::memcpy(ScanLine(Y) + std::size_t(X) * 3, &Color, 3);
    if (!(Color == TRGB{255, 255, 255}))
        Full = false;
}

TRGB TIEBitmap::GetPixelRGB(int X, int Y)
{
    if (X < 0 || Y < 0 || X >= width_ || Y >= height_ || pixelFormat_ == ieNull)
        return {};
    const std::uint8_t* row = ScanLine(Y);
    switch (pixelFormat_) {
    case ie1g: {
        const std::uint8_t v = GetPixelBit(row, X) ? 255 : 0;
        return {v, v, v};
    }
    case ie8p: return GetPaletteColor(row[X]);
    case ie8g: return {row[X], row[X], row[X]};
    case ie16g: {
        std::uint16_t v;
        std::memcpy(&v, row + std::size_t(X) * 2, 2);
        const auto b = static_cast<std::uint8_t>(v >> 8);
        return {b, b, b};
    }
    case ie24RGB: {
        TRGB c;
        std::memcpy(&c, row + std::size_t(X) * 3, 3);
        return c;
    }
    case ie32f: {
        float v;
        std::memcpy(&v, row + std::size_t(X) * 4, 4);
        const std::uint8_t b = FloatToByte(v);
        return {b, b, b};
    }
    default: return {};
    }
}

void TIEBitmap::CopyFromTIEMask(TIEMask* Mask)
{
    if (!Mask) {
        Fill(255);
        return;
    }
    const int bits = Mask->BitsPerPixel();
    if (bits != 1 && bits != 8)
        return;
    // An alpha channel stays 8-bit grey: a 1-bit mask becomes 0 and 255 in it.
    const bool expand = bits == 1 && isAlpha_;
    Allocate(Mask->Width(), Mask->Height(), bits == 1 && !expand ? ie1g : ie8g);
    TIEAccessScope writeOnly(*this, 2);
    // A mask without columns gives an image without rows to fill.
    for (int row = 0; width_ > 0 && row < height_; ++row) {
        std::uint8_t* dst = ScanLine(row);
        const std::uint8_t* src = Mask->ScanLine(row);
        if (expand)
            for (int x = 0; x < width_; ++x)
                dst[x] = GetPixelBit(src, x) ? 255 : 0;
        else
            std::memcpy(dst, src, static_cast<std::size_t>(rowLen_));
    }
    ReleaseRows();
    Full = Mask->Full;
}

void TIEBitmap::CopyToTIEMask(TIEMask* Mask)
{
    if (!Mask || (pixelFormat_ != ie1g && pixelFormat_ != ie8g))
        return;
    Mask->AllocateBits(width_, height_, pixelFormat_ == ie1g ? 1 : 8);
    TIEAccessScope readOnly(*this, 1);
    for (int row = 0; width_ > 0 && row < height_; ++row)
        std::memcpy(Mask->ScanLine(row), ScanLine(row), static_cast<std::size_t>(rowLen_));
    ReleaseRows();
    Mask->Full = Full;
    // The box tells users where the set pixels are; without it the copied mask would read as empty.
    Mask->RecomputeBox();
}

}  // namespace imaging
