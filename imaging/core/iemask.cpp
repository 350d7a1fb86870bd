// TIEMask: pixels, lines, polygons, translation, scaled outline and shade, and masked copies between bitmaps.
#include "imaging/core/iemask.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace imaging {

namespace {

// Row-major floor of a / b for b > 0.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// round(t * dx / dy) with halves going up, for dy > 0: exact while the product fits 64 bits,
// which every coordinate pair within the Integer range but the most extreme ones does.
std::int64_t CrossingOffset(std::int64_t t, std::int64_t dx, std::int64_t dy)
{
    std::int64_t product = 0, twice = 0, numerator = 0;
    if (!__builtin_mul_overflow(t, dx, &product) &&
        !__builtin_mul_overflow(product, std::int64_t(2), &twice) &&
        !__builtin_add_overflow(twice, dy, &numerator))
        return FloorDiv(numerator, 2 * dy);
    return static_cast<std::int64_t>(std::floor((static_cast<long double>(t) * dx) / dy + 0.5L));
}

// Visits the pixels of the mask's box that land inside both a source of sw x sh and a destination
// of dw x dh pixels; with ...AtBox the box's corner maps to that image's origin. Calls
// row(y, sy, dy) before the pixels of each row, then pixel(x, sx, dx) for each.
template <class Row, class Pixel>
void ForEachBoxPixel(const TIEMask& mask, int sw, int sh, int dw, int dh, bool sourceAtBox, bool destAtBox,
                     Row row, Pixel pixel)
{
    const int bx1 = std::max(mask.X1(), 0), by1 = std::max(mask.Y1(), 0);
    const int bx2 = std::min(mask.X2(), mask.Width() - 1), by2 = std::min(mask.Y2(), mask.Height() - 1);
    for (int y = by1; y <= by2; ++y) {
        const int sy = sourceAtBox ? y - mask.Y1() : y;
        const int dy = destAtBox ? y - mask.Y1() : y;
        if (sy < 0 || sy >= sh || dy < 0 || dy >= dh)
            continue;
        row(y, sy, dy);
        for (int x = bx1; x <= bx2; ++x) {
            const int sx = sourceAtBox ? x - mask.X1() : x;
            const int dx = destAtBox ? x - mask.X1() : x;
            if (sx < 0 || sx >= sw || dx < 0 || dx >= dw)
                continue;
            pixel(x, sx, dx);
        }
    }
}

}  // namespace

void TIEMask::AllocateBits(int Width, int Height, int BitsPerPixel)
{
    if (BitsPerPixel != 1 && BitsPerPixel != 8)
        throw rtl::EInvalidArgument("mask of " + std::to_string(BitsPerPixel) + " bits per pixel");
    FreeBits();
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    const int rowLen = IERowLen(Width, BitsPerPixel, 32);
    const std::int64_t total = std::int64_t(rowLen) * Height;
    if (total > kIEMaxImageBytes || std::uint64_t(total) > SIZE_MAX / 2)
        throw rtl::EOutOfMemory(std::to_string(Width) + "x" + std::to_string(Height) +
                                " mask exceeds the size limit");
    try {
        bits_.assign(static_cast<std::size_t>(total), 0);
    } catch (const std::bad_alloc&) {
        throw rtl::EOutOfMemory("Out of memory");
    }
    width_ = Width;
    height_ = Height;
    bitsPerPixel_ = BitsPerPixel;
    rowLen_ = rowLen;
    ResetBox();
    Full = false;
}

void TIEMask::FreeBits()
{
    cache_.clear();
    cache_.shrink_to_fit();
    cacheRows_.clear();
    cacheWidth_ = cacheHeight_ = cacheRowLen_ = 0;
    bits_.clear();
    bits_.shrink_to_fit();
    width_ = height_ = bitsPerPixel_ = rowLen_ = 0;
}

std::uint8_t* TIEMask::ScanLine(int Row)
{
    return const_cast<std::uint8_t*>(static_cast<const TIEMask*>(this)->ScanLine(Row));
}

const std::uint8_t* TIEMask::ScanLine(int Row) const
{
    if (Row < 0 || Row >= height_ || bits_.empty())
        throw rtl::EInvalidArgument("mask row " + std::to_string(Row) + " outside 0.." +
                                    std::to_string(height_ - 1));
    return bits_.data() + std::size_t(height_ - Row - 1) * std::size_t(rowLen_);
}

void TIEMask::ResetBox()
{
    x1_ = y1_ = kEmptyBox;
    x2_ = y2_ = 0;
}

void TIEMask::ClampBox()
{
    x1_ = std::max(x1_, 0);
    y1_ = std::max(y1_, 0);
    x2_ = std::min(x2_, width_ - 1);
    y2_ = std::min(y2_, height_ - 1);
}

void TIEMask::SetBox(int X1, int Y1, int X2, int Y2)
{
    x1_ = X1;
    y1_ = Y1;
    x2_ = X2;
    y2_ = Y2;
}

void TIEMask::UpdateFull(int value)
{
    if (Full)
        Full = bitsPerPixel_ != 8 || value == 255;
}

void TIEMask::SetPixel(int X, int Y, int Value)
{
    if (X < 0 || Y < 0 || X >= width_ || Y >= height_)
        return;
    if (Value != 0) {
        x1_ = std::min(x1_, X);
        y1_ = std::min(y1_, Y);
        x2_ = std::max(x2_, X);
        y2_ = std::max(y2_, Y);
        ClampBox();
    }
    UpdateFull(Value);
    std::uint8_t* row = ScanLine(Y);
    if (bitsPerPixel_ == 1)
        SetPixelBit(row, X, Value != 0);
    else
        row[X] = static_cast<std::uint8_t>(Value);
}

int TIEMask::GetPixel(int X, int Y) const
{
    if (X < 0 || Y < 0 || X >= width_ || Y >= height_)
        return 0;
    const std::uint8_t* row = ScanLine(Y);
    return bitsPerPixel_ == 1 ? GetPixelBit(row, X) : row[X];
}

int TIEMask::FillHorzLine(int Value, int X1, int X2, int Y)
{
    // A row outside the mask writes nothing rather than painting the first or last row.
    if (bits_.empty() || Y < 0 || Y >= height_)
        return 0;
    X1 = std::max(X1, 0);
    X2 = std::min(X2, width_ - 1);
    if (X2 < X1)
        return 0;
    UpdateFull(Value);
    std::uint8_t* row = ScanLine(Y);
    if (bitsPerPixel_ == 1) {
        const bool set = Value != 0;
        int x = X1;
        for (; x <= X2 && (x & 7); ++x)
            SetPixelBit(row, x, set);
        for (; x + 7 <= X2; x += 8)
            row[x >> 3] = set ? 0xFF : 0;
        for (; x <= X2; ++x)
            SetPixelBit(row, x, set);
    } else {
        std::memset(row + X1, static_cast<std::uint8_t>(Value), std::size_t(X2 - X1 + 1));
    }
    return X2 - X1 + 1;
}

void TIEMask::Fill(int Value)
{
    // A 1-bit mask holds set or clear pixels only: any other byte would write a pattern of stripes.
    const auto byte = static_cast<std::uint8_t>(bitsPerPixel_ == 1 && Value != 0 ? 255 : Value);
    std::fill(bits_.begin(), bits_.end(), byte);
    Full = byte == 255;
}

void TIEMask::Empty()
{
    Fill(0);
    ResetBox();
}

void TIEMask::RecomputeBox()
{
    ResetBox();
    // A mask without columns has rows but no bytes to read.
    for (int y = 0; y < height_ && width_ > 0; ++y) {
        const std::uint8_t* row = ScanLine(y);
        for (int x = 0; x < width_; ++x) {
            if (bitsPerPixel_ == 1 ? GetPixelBit(row, x) : row[x]) {
                x1_ = std::min(x1_, x);
                y1_ = std::min(y1_, y);
                x2_ = std::max(x2_, x);
                y2_ = std::max(y2_, y);
            }
        }
    }
}

void TIEMask::FillPolygons(int Value, const TIEPoint* Points, int Count)
{
    if (!Points || Count < 1)
        return;
    int start = 0;
    for (int i = 0; i <= Count; ++i) {
        if (i == Count || Points[i].X == kIEPolygonSeparator) {
            if (i > start)
                FillPolygon(Value, Points + start, i - start);
            start = i + 1;
        }
    }
}

void TIEMask::FillPolygon(int Value, const TIEPoint* Points, int Count)
{
    if (!Points || Count < 2 || bits_.empty())
        return;
    struct TEdge {
        std::int64_t xTop, yTop, yBottom, dx, dy;
        std::int64_t x;
    };
    std::vector<TEdge> edges;
    std::int64_t ymin = Points[0].Y, ymax = Points[0].Y, xmin = Points[0].X, xmax = Points[0].X;
    for (int i = 0; i < Count; ++i) {
        const TIEPoint& a = Points[i];
        const TIEPoint& b = Points[(i + 1) % Count];
        ymin = std::min<std::int64_t>(ymin, a.Y);
        ymax = std::max<std::int64_t>(ymax, a.Y);
        xmin = std::min<std::int64_t>(xmin, a.X);
        xmax = std::max<std::int64_t>(xmax, a.X);
        if (a.Y == b.Y)
            continue;
        const TIEPoint& top = a.Y < b.Y ? a : b;
        const TIEPoint& bottom = a.Y < b.Y ? b : a;
        edges.push_back(
            {top.X, top.Y, bottom.Y, std::int64_t(bottom.X) - top.X, std::int64_t(bottom.Y) - top.Y, 0});
    }
    // Only rows inside the mask are visited, however far the points lie.
    const std::int64_t first = std::max<std::int64_t>(ymin, 0);
    const std::int64_t last = std::min<std::int64_t>(ymax, height_ - 1);
    std::int64_t filled = 0;
    std::vector<TEdge*> active;
    for (std::int64_t y = first; y <= last; ++y) {
        active.clear();
        for (auto& e : edges) {
            if (e.yTop <= y && y < e.yBottom) {
                // Nearest pixel to the exact crossing, as the incremental error term gives.
                e.x = e.xTop + CrossingOffset(y - e.yTop, e.dx, e.dy);
                active.push_back(&e);
            }
        }
        std::sort(active.begin(), active.end(), [](const TEdge* p, const TEdge* q) {
            if (p->x != q->x)
                return p->x < q->x;
            return p->dx * q->dy < q->dx * p->dy;
        });
        for (std::size_t k = 0; k + 1 < active.size(); k += 2) {
            const std::int64_t xl = std::max<std::int64_t>(active[k]->x, 0);
            const std::int64_t xr = std::min<std::int64_t>(active[k + 1]->x - 1, width_ - 1);
            if (xr >= xl)
                filled += FillHorzLine(Value, int(xl), int(xr), int(y));
        }
    }
    // The box grows by the polygon's own bounds, whose right and bottom edges are not filled. A
    // polygon that fills nothing leaves it alone: emptying it would hide what the mask already held.
    if (filled > 0 && Value != 0) {
        const auto clampTo = [](std::int64_t v, int size) {
            return int(std::clamp<std::int64_t>(v, 0, size - 1));
        };
        x1_ = std::min(x1_, clampTo(xmin, width_));
        y1_ = std::min(y1_, clampTo(ymin, height_));
        x2_ = std::max(x2_, clampTo(xmax - 1, width_));
        y2_ = std::max(y2_, clampTo(ymax - 1, height_));
        ClampBox();
    }
}

void TIEMask::Translate(int& DX, int& DY, bool ClipBox)
{
    if (bits_.empty() || IsEmpty())
        return;
    const int oldX1 = x1_, oldY1 = y1_, oldX2 = x2_, oldY2 = y2_;
    std::int64_t dx = DX, dy = DY;
    std::int64_t bx1 = x1_, by1 = y1_, bx2 = x2_, by2 = y2_;
    if (ClipBox) {
        if (bx1 + dx < 0)
            bx1 = -dx;
        if (bx2 + dx >= width_)
            bx2 = width_ - 1 - dx;
        if (by1 + dy < 0)
            by1 = -dy;
        if (by2 + dy >= height_)
            by2 = height_ - 1 - dy;
    } else {
        if (bx1 + dx < 0)
            dx = -bx1;
        if (bx2 + dx >= width_)
            dx = width_ - 1 - bx2;
        if (by1 + dy < 0)
            dy = -by1;
        if (by2 + dy >= height_)
            dy = height_ - 1 - by2;
        DX = int(dx);
        DY = int(dy);
    }
    if (dx == 0 && dy == 0)
        return;
    if (bx1 > bx2 || by1 > by2) {
        // Everything moved out of the mask.
        Empty();
        return;
    }
    if (bitsPerPixel_ == 1) {
        const int runBits = int(bx2 - bx1 + 1);
        const int runBytes = (runBits + 7) / 8 + 1;
        const int rows = int(by2 - by1 + 1);
        std::vector<std::uint8_t> runs(std::size_t(runBytes) * std::size_t(rows), 0);
        for (int r = 0; r < rows; ++r)
            CopyBitRun(runs.data() + std::size_t(r) * runBytes, ScanLine(int(by1) + r), 0, rowLen_, runBits,
                       int(bx1));
        // Clear every row of the old box, the clipped-away part included, so no stale bits stay behind.
        for (int y = oldY1; y <= oldY2; ++y)
            FillHorzLine(0, oldX1, oldX2, y);
        for (int r = 0; r < rows; ++r)
            CopyBitRun(ScanLine(int(by1 + dy) + r), runs.data() + std::size_t(r) * runBytes, int(bx1 + dx),
                       runBytes, runBits, 0);
    } else {
        std::vector<std::uint8_t> copy(bits_);
        std::fill(bits_.begin(), bits_.end(), 0);
        for (std::int64_t y = by1; y <= by2; ++y) {
            const std::uint8_t* src = copy.data() + std::size_t(height_ - y - 1) * std::size_t(rowLen_);
            const std::int64_t ty = y + dy;
            if (ty < 0 || ty >= height_)
                continue;
            std::uint8_t* dst = ScanLine(int(ty));
            for (std::int64_t x = bx1; x <= bx2; ++x) {
                const std::int64_t tx = x + dx;
                if (tx >= 0 && tx < width_)
                    dst[tx] = src[x];
            }
        }
    }
    x1_ = int(std::clamp<std::int64_t>(bx1 + dx, 0, width_ - 1));
    x2_ = int(std::clamp<std::int64_t>(bx2 + dx, 0, width_ - 1));
    y1_ = int(std::clamp<std::int64_t>(by1 + dy, 0, height_ - 1));
    y2_ = int(std::clamp<std::int64_t>(by2 + dy, 0, height_ - 1));
}

TIEMask::TDisplayRange TIEMask::VisibleBox(int W, int H, int XOrigin, int YOrigin, int SrcWidth,
                                           int SrcHeight) const
{
    const auto first = [](std::int64_t v, std::int64_t origin, int size, int src) {
        return int(std::max<std::int64_t>(0, (v - origin) * size / src));
    };
    const auto last = [](std::int64_t v, std::int64_t origin, int size, int src) {
        return int(std::min<std::int64_t>(size - 1, (v - origin + 1) * size / src));
    };
    return {first(y1_, YOrigin, H, SrcHeight), last(y2_, YOrigin, H, SrcHeight),
            first(x1_, XOrigin, W, SrcWidth), last(x2_, XOrigin, W, SrcWidth)};
}

void TIEMask::StretchRows(std::uint8_t* const* DestRows, int W, int H, int XOrigin, int YOrigin, int SrcWidth,
                          int SrcHeight) const
{
    if (!DestRows || W < 1 || H < 1 || SrcWidth < 1 || SrcHeight < 1 || bits_.empty())
        return;
    const int destRowLen = IERowLen(W, bitsPerPixel_, 32);
    for (int r = 0; r < H; ++r)
        std::memset(DestRows[r], 0, std::size_t(destRowLen));
    if (IsEmpty())
        return;
    const std::int64_t stepY = std::int64_t(double(SrcHeight) / H * 16384);
    const std::int64_t stepX = std::int64_t(double(SrcWidth) / W * 16384);
    const TDisplayRange range = VisibleBox(W, H, XOrigin, YOrigin, SrcWidth, SrcHeight);
    const std::int64_t firstRow = range.firstRow, lastRow = range.lastRow;
    const std::int64_t firstCol = range.firstCol, lastCol = range.lastCol;
    if (firstRow > lastRow || firstCol > lastCol)
        return;
    std::vector<std::int64_t> columns(std::size_t(lastCol - firstCol + 1));
    for (std::int64_t c = firstCol; c <= lastCol; ++c)
        columns[std::size_t(c - firstCol)] = ((stepX * c) >> 14) + XOrigin;
    for (std::int64_t r = firstRow; r <= lastRow; ++r) {
        const std::int64_t sy = ((stepY * r) >> 14) + YOrigin;
        if (sy < 0 || sy >= height_)
            continue;
        const std::uint8_t* src = ScanLine(int(sy));
        std::uint8_t* dst = DestRows[r];
        for (std::int64_t c = firstCol; c <= lastCol; ++c) {
            const std::int64_t sx = columns[std::size_t(c - firstCol)];
            if (sx < 0 || sx >= width_)
                continue;
            if (bitsPerPixel_ == 1) {
                if (GetPixelBit(src, int(sx)))
                    dst[c >> 3] |= BitMask[std::size_t(c & 7)];
            } else {
                dst[c] = src[sx];
            }
        }
    }
}

void TIEMask::RebuildCache(int displayWidth, int displayHeight)
{
    if (displayWidth == cacheWidth_ && displayHeight == cacheHeight_ && !cache_.empty())
        return;
    cacheRowLen_ = IERowLen(displayWidth, bitsPerPixel_, 32);
    const std::int64_t total = std::int64_t(cacheRowLen_) * displayHeight;
    if (total > kIEMaxImageBytes || std::uint64_t(total) > SIZE_MAX / 2)
        throw rtl::EOutOfMemory("display of the mask exceeds the size limit");
    cache_.assign(std::size_t(total), 0);
    cacheRows_.resize(std::size_t(displayHeight));
    for (int r = 0; r < displayHeight; ++r)
        cacheRows_[std::size_t(r)] = cache_.data() + std::size_t(r) * std::size_t(cacheRowLen_);
    cacheWidth_ = displayWidth;
    cacheHeight_ = displayHeight;
}

void TIEMask::EnumOutline(int DisplayWidth, int DisplayHeight, int XOrigin, int YOrigin, int SrcWidth,
                          int SrcHeight, int Phase,
                          const std::function<void(int x, int y, bool firstColour)>& Plot)
{
    if (IsEmpty() || bits_.empty() || DisplayWidth < 1 || DisplayHeight < 1 || SrcWidth < 1 ||
        SrcHeight < 1 || !Plot)
        return;
    RebuildCache(DisplayWidth, DisplayHeight);
    StretchRows(cacheRows_.data(), DisplayWidth, DisplayHeight, XOrigin, YOrigin, SrcWidth, SrcHeight);
    auto at = [&](int x, int y) -> bool {
        const std::uint8_t* row = cacheRows_[std::size_t(y)];
        return bitsPerPixel_ == 1 ? GetPixelBit(row, x) != 0 : row[x] != 0;
    };
    // Only the visible part of the box can hold set pixels; the rest of the display stays unread.
    const TDisplayRange range =
        VisibleBox(DisplayWidth, DisplayHeight, XOrigin, YOrigin, SrcWidth, SrcHeight);
    for (int y = range.firstRow; y <= range.lastRow; ++y) {
        for (int x = range.firstCol; x <= range.lastCol; ++x) {
            if (!at(x, y))
                continue;
            bool outline = false;
            if (x == 0 || y == 0 || x == DisplayWidth - 1 || y == DisplayHeight - 1) {
                // On the display's edge, only the box's own edge is drawn.
                const std::int64_t sx = std::int64_t(x) * SrcWidth / DisplayWidth + XOrigin;
                const std::int64_t sy = std::int64_t(y) * SrcHeight / DisplayHeight + YOrigin;
                outline = sx == x1_ || sx == x2_ || sy == y1_ || sy == y2_;
            }
            for (int ny = y - 1; ny <= y + 1 && !outline; ++ny)
                for (int nx = x - 1; nx <= x + 1 && !outline; ++nx)
                    if (nx >= 0 && ny >= 0 && nx < DisplayWidth && ny < DisplayHeight && !at(nx, ny))
                        outline = true;
            if (outline)
                Plot(x, y, ((x + y + Phase) & 7) < 4);
        }
    }
}

void TIEMask::DrawOutlineToBitmap(TIEPlatformBitmap* Bitmap, int XDst, int YDst, int DisplayWidth,
                                  int DisplayHeight, int XOrigin, int YOrigin, int SrcWidth, int SrcHeight)
{
    if (!Bitmap || Bitmap->BitsPerPixel() != 24 || IsEmpty() || bits_.empty() || DisplayWidth < 1 ||
        DisplayHeight < 1 || SrcWidth < 1 || SrcHeight < 1)
        return;
    RebuildCache(DisplayWidth, DisplayHeight);
    StretchRows(cacheRows_.data(), DisplayWidth, DisplayHeight, XOrigin, YOrigin, SrcWidth, SrcHeight);
    const int bw = Bitmap->Width(), bh = Bitmap->Height();
    for (int y = 0; y < DisplayHeight; ++y) {
        const std::int64_t ty = std::int64_t(YDst) + y;
        if (ty < 0 || ty >= bh)
            continue;
        const std::uint8_t* mrow = cacheRows_[std::size_t(y)];
        std::uint8_t* row = Bitmap->ScanLine(int(ty));
        for (int x = 0; x < DisplayWidth; ++x) {
            const std::int64_t tx = std::int64_t(XDst) + x;
            if (tx < 0 || tx >= bw || ((x ^ y) & 1))
                continue;
            const bool set = bitsPerPixel_ == 1 ? GetPixelBit(mrow, x) != 0 : mrow[x] != 0;
            if (!set)
                std::memset(row + tx * 3, 97, 3);
        }
    }
}

void TIEMask::CopyBitmapMasked(TIEBitmap* Dest, TIEBitmap* Source, bool CopyAlpha, bool SourceAtBox,
                               bool DestAtBox)
{
    if (!Dest || !Source || Dest == Source || IsEmpty() || x1_ > x2_ || y1_ > y2_ || bits_.empty())
        return;
    const TIEPixelFormat sf = Source->GetPixelFormat(), df = Dest->GetPixelFormat();
    const bool rgb = sf == ie24RGB && df == ie24RGB;
    const bool mono = sf == ie1g && df == ie1g;
    if (rgb || mono) {
        const std::uint8_t* mrow = nullptr;
        const std::uint8_t* src = nullptr;
        std::uint8_t* dst = nullptr;
        ForEachBoxPixel(
            *this, Source->GetWidth(), Source->GetHeight(), Dest->GetWidth(), Dest->GetHeight(), SourceAtBox,
            DestAtBox,
            [&](int y, int sy, int dy) {
                mrow = ScanLine(y);
                src = Source->ScanLine(sy);
                dst = Dest->ScanLine(dy);
            },
            [&](int x, int sx, int dx) {
                const int m = bitsPerPixel_ == 1 ? (GetPixelBit(mrow, x) ? 255 : 0) : mrow[x];
                if (m == 0)
                    return;
                if (mono) {
                    SetPixelBit(dst, dx, GetPixelBit(src, sx) != 0);
                } else if (bitsPerPixel_ == 1) {
                    std::memcpy(dst + std::size_t(dx) * 3, src + std::size_t(sx) * 3, 3);
                } else {
                    const int w = m * 1024;
                    for (int ch = 0; ch < 3; ++ch) {
                        const int d = dst[std::size_t(dx) * 3 + ch], s = src[std::size_t(sx) * 3 + ch];
                        // Floor of the signed product, as an arithmetic shift gives.
                        dst[std::size_t(dx) * 3 + ch] =
                            static_cast<std::uint8_t>(d + int(FloorDiv(std::int64_t(s - d) * w, 1 << 18)));
                    }
                }
            });
        Source->ScanLine(0);
        Dest->ScanLine(0);
        Dest->Full = false;
    }
    if (CopyAlpha)
        CopyAlphaMasked(Dest, Source, SourceAtBox, DestAtBox);
}

void TIEMask::CopyAlphaMasked(TIEBitmap* Dest, TIEBitmap* Source, bool SourceAtBox, bool DestAtBox)
{
    if (!Dest || !Source || Dest == Source || IsEmpty() || x1_ > x2_ || y1_ > y2_ || bits_.empty())
        return;
    TIEBitmap* destAlpha = Dest->GetAlphaChannel();
    if (!destAlpha)
        return;
    TIEBitmap* srcAlpha = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
    const std::uint8_t* mrow = nullptr;
    const std::uint8_t* src = nullptr;
    std::uint8_t* dst = nullptr;
    ForEachBoxPixel(
        *this, Source->GetWidth(), Source->GetHeight(), destAlpha->GetWidth(), destAlpha->GetHeight(),
        SourceAtBox, DestAtBox,
        [&](int y, int sy, int dy) {
            mrow = ScanLine(y);
            src = srcAlpha ? srcAlpha->ScanLine(sy) : nullptr;
            dst = destAlpha->ScanLine(dy);
        },
        [&](int x, int sx, int dx) {
            const int a = src ? src[sx] : 255;
            if (bitsPerPixel_ == 1)
                dst[dx] = GetPixelBit(mrow, x) ? static_cast<std::uint8_t>(a) : 0;
            else
                dst[dx] = mrow[x] ? static_cast<std::uint8_t>(std::min<int>(a, mrow[x])) : 0;
        });
    if (srcAlpha)
        srcAlpha->ScanLine(0);
    destAlpha->ScanLine(0);
    destAlpha->Full = false;
}

}  // namespace imaging
