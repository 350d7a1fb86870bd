// The magic wand: every pixel similar to a seed, the connected region around it by a span fill, and
// that region's outline traced along pixel edges.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <new>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace imaging {

namespace {

// Which byte values lie within the tolerance of the seed, per channel and for grey values.
struct TSeedTables {
    std::array<std::uint8_t, 256> b{}, g{}, r{}, grey{}, palette{};

    TSeedTables(TIEBitmap& bmp, TRGB seed, int tolerance)
    {
        const auto near = [tolerance](int v, int s) { return std::uint8_t(std::abs(v - s) < tolerance); };
        for (int v = 0; v < 256; ++v) {
            b[std::size_t(v)] = near(v, seed.b);
            g[std::size_t(v)] = near(v, seed.g);
            r[std::size_t(v)] = near(v, seed.r);
            grey[std::size_t(v)] = b[std::size_t(v)] & g[std::size_t(v)] & r[std::size_t(v)];
        }
        if (bmp.GetPixelFormat() == ie8p)
            for (int i = 0; i < 256; ++i) {
                const TRGB c = bmp.GetPaletteColor(i);
                palette[std::size_t(i)] = b[c.b] & g[c.g] & r[c.r];
            }
    }
};

// The similarity test of one pixel format on a row address; each reads a pixel the way GetPixelRGB
// does, so the three finders and the seed colour agree.
struct TTest24 {
    static constexpr int kBits = 24;
    const TSeedTables& t;
    bool operator()(const std::uint8_t* row, int x) const
    {
        const std::uint8_t* p = row + std::size_t(x) * 3;
        return (t.b[p[0]] & t.g[p[1]] & t.r[p[2]]) != 0;
    }
#ifdef __SSE2__
    // Sixteen pixels at a time: the seed's bytes in the order of three consecutive 16-byte loads.
    TTest24(const TSeedTables& tables, TRGB seed, int tolerance) : t(tables)
    {
        const std::uint8_t channels[3] = {seed.b, seed.g, seed.r};
        std::uint8_t bytes[48];
        for (int i = 0; i < 48; ++i)
            bytes[i] = channels[i % 3];
        for (int k = 0; k < 3; ++k)
            seed_[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
        slack_ = _mm_set1_epi8(char(std::min(tolerance - 1, 255)));
    }
    // Bit 3i set when pixel i of the sixteen at p is not similar.
    std::uint64_t Dissimilar16(const std::uint8_t* p) const
    {
        std::uint64_t near = 0;
        for (int k = 0; k < 3; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            const __m128i diff = _mm_or_si128(_mm_subs_epu8(v, seed_[k]), _mm_subs_epu8(seed_[k], v));
            const __m128i ok = _mm_cmpeq_epi8(_mm_subs_epu8(diff, slack_), _mm_setzero_si128());
            near |= std::uint64_t(std::uint32_t(_mm_movemask_epi8(ok))) << (16 * k);
        }
        // A pixel is similar when its three bytes are.
        return ~(near & (near >> 1) & (near >> 2)) & 0x249249249249ull;
    }
    // The last similar pixel of the run going right from x, below w.
    int RunEnd(const std::uint8_t* row, int x, int w) const
    {
        int b = x;
        while (b + 17 <= w) {
            const std::uint64_t off = Dissimilar16(row + std::size_t(b + 1) * 3);
            if (off)
                return b + int(__builtin_ctzll(off)) / 3;
            b += 16;
        }
        while (b + 1 < w && (*this)(row, b + 1))
            ++b;
        return b;
    }
    // The first similar pixel of the run going left from x.
    int RunStart(const std::uint8_t* row, int x) const
    {
        int a = x;
        while (a >= 16) {
            const std::uint64_t off = Dissimilar16(row + std::size_t(a - 16) * 3);
            if (off)
                return a - 16 + (63 - __builtin_clzll(off)) / 3 + 1;
            a -= 16;
        }
        while (a > 0 && (*this)(row, a - 1))
            --a;
        return a;
    }

private:
    __m128i seed_[3];
    __m128i slack_;
#else
    TTest24(const TSeedTables& tables, TRGB, int) : t(tables) {}
#endif
};
struct TTest8p {
    static constexpr int kBits = 8;
    const TSeedTables& t;
    bool operator()(const std::uint8_t* row, int x) const { return t.palette[row[x]] != 0; }
};
struct TTest8g {
    static constexpr int kBits = 8;
    const TSeedTables& t;
    bool operator()(const std::uint8_t* row, int x) const { return t.grey[row[x]] != 0; }
};
struct TTest16 {
    static constexpr int kBits = 16;
    const TSeedTables& t;
    // Little-endian words: the high byte is the second.
    bool operator()(const std::uint8_t* row, int x) const { return t.grey[row[std::size_t(x) * 2 + 1]] != 0; }
};
struct TTest1 {
    static constexpr int kBits = 1;
    const TSeedTables& t;
    bool operator()(const std::uint8_t* row, int x) const
    {
        return t.grey[GetPixelBit(row, x) ? 255 : 0] != 0;
    }
};
struct TTest32f {
    static constexpr int kBits = 32;
    const TSeedTables& t;
    bool operator()(const std::uint8_t* row, int x) const
    {
        float v;
        std::memcpy(&v, row + std::size_t(x) * 4, 4);
        const std::uint8_t b = !(v > 0.0f) ? 0 : v >= 1.0f ? 255 : std::uint8_t(v * 255.0f);
        return t.grey[b] != 0;
    }
};

// The run through x: as far to each side as pixels are similar. Seen pixels need no test: every run
// taken is a whole run, so the run of a pixel not seen yet holds none.
template <class Test>
int RunEndOf(const Test& similar, const std::uint8_t* row, int x, int w)
{
    if constexpr (requires { similar.RunEnd(row, x, w); }) {
        return similar.RunEnd(row, x, w);
    } else {
        while (x + 1 < w && similar(row, x + 1))
            ++x;
        return x;
    }
}
template <class Test>
int RunStartOf(const Test& similar, const std::uint8_t* row, int x)
{
    if constexpr (requires { similar.RunStart(row, x); }) {
        return similar.RunStart(row, x);
    } else {
        while (x > 0 && similar(row, x - 1))
            --x;
        return x;
    }
}

// Calls f with the test of the bitmap's format; false for a format without pixels.
template <class F>
bool WithTest(TIEBitmap& bmp, const TSeedTables& t, TRGB seed, int tolerance, F&& f)
{
    switch (bmp.GetPixelFormat()) {
    case ie24RGB: f(TTest24(t, seed, tolerance)); return true;
    case ie8p: f(TTest8p{t}); return true;
    case ie8g: f(TTest8g{t}); return true;
    case ie16g: f(TTest16{t}); return true;
    case ie1g: f(TTest1{t}); return true;
    case ie32f: f(TTest32f{t}); return true;
    default: return false;
    }
}

bool SeedInside(TIEBitmap* bmp, int x, int y)
{
    return bmp && bmp->GetPixelFormat() != ieNull && x >= 0 && y >= 0 && x < bmp->GetWidth() &&
           y < bmp->GetHeight();
}

// Storage kept between fills on the same thread: a plane of the same row length only needs the rows
// the last fill touched cleared, instead of a fresh allocation (and its page faults) per click.
struct TPlaneStore {
    std::vector<std::uint8_t> bits;
    std::size_t rowBytes = 0;
    int dirtyFirst = 0, dirtyLast = -1;
    bool inUse = false;
};
thread_local TPlaneStore gPlaneStore;
constexpr std::uint64_t kKeptPlaneBytes = 64u << 20;

// One bit per pixel, most significant bit first, rows top-down.
class TBitPlane {
public:
    TBitPlane(int width, int height) : width_(width), height_(height), rowBytes_((std::size_t(width) + 7) / 8)
    {
        const auto bytes = rtl::CheckedMul<std::uint64_t>(rowBytes_, std::uint64_t(height));
        if (!bytes || *bytes > std::uint64_t(PTRDIFF_MAX))
            throw rtl::EOutOfMemory("Out of memory");
        TPlaneStore& store = gPlaneStore;
        store_ = !store.inUse && *bytes <= kKeptPlaneBytes ? &store : nullptr;
        std::vector<std::uint8_t>& bits = store_ ? store_->bits : own_;
        try {
            if (store_ && store_->rowBytes == rowBytes_ && store_->bits.size() >= *bytes) {
                // Every row the last fill touched, also those below this image: a taller one may
                // come next.
                const int rows = int(store_->bits.size() / rowBytes_);
                const int last = std::min(store_->dirtyLast, rows - 1);
                if (store_->dirtyFirst <= last)
                    std::fill(bits.begin() + std::ptrdiff_t(std::size_t(store_->dirtyFirst) * rowBytes_),
                              bits.begin() + std::ptrdiff_t(std::size_t(last + 1) * rowBytes_), 0);
            } else {
                bits.assign(std::size_t(*bytes), 0);
            }
        } catch (const std::bad_alloc&) {
            throw rtl::EOutOfMemory("Out of memory");
        }
        if (store_) {
            store_->inUse = true;
            store_->rowBytes = rowBytes_;
            store_->dirtyFirst = 0;
            store_->dirtyLast = height - 1;  // until the fill says which rows it touched
        }
        data_ = bits.data();
    }
    ~TBitPlane()
    {
        if (store_) {
            store_->dirtyFirst = firstRow_;
            store_->dirtyLast = lastRow_;
            store_->inUse = false;
        }
    }
    TBitPlane(const TBitPlane&) = delete;
    TBitPlane& operator=(const TBitPlane&) = delete;

    std::uint8_t* Row(int y) { return data_ + std::size_t(y) * rowBytes_; }
    const std::uint8_t* Row(int y) const { return data_ + std::size_t(y) * rowBytes_; }
    // False outside the plane.
    bool At(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width_ && y < height_ && GetPixelBit(Row(y), x) != 0;
    }
    void SetRun(int y, int x1, int x2)
    {
        firstRow_ = std::min(firstRow_, y);
        lastRow_ = std::max(lastRow_, y);
        std::uint8_t* row = Row(y);
        int x = x1;
        for (; x <= x2 && (x & 7); ++x)
            SetPixelBit(row, x, true);
        for (; x + 7 <= x2; x += 8)
            row[x >> 3] = 0xFF;
        for (; x <= x2; ++x)
            SetPixelBit(row, x, true);
    }
    int Width() const { return width_; }

private:
    int width_, height_;
    std::size_t rowBytes_;
    TPlaneStore* store_ = nullptr;
    std::vector<std::uint8_t> own_;
    std::uint8_t* data_ = nullptr;
    int firstRow_ = INT32_MAX, lastRow_ = -1;
};

struct TBox {
    int x1 = INT32_MAX, y1 = INT32_MAX, x2 = -1, y2 = -1;
    bool Empty() const { return x2 < x1; }
    void Add(int y, int a, int b)
    {
        x1 = std::min(x1, a);
        x2 = std::max(x2, b);
        y1 = std::min(y1, y);
        y2 = std::max(y2, y);
    }
};

// The region's pixels set in Plane; returns their box.
struct TFillSpan {
    std::int32_t y, left, right, dir;  // examine row y, columns left..right; dir: row step it came by
};
static_assert(sizeof(TFillSpan) == 16);

// Bit X of a plane row, most significant bit first.
inline bool Seen(const std::uint8_t* row, int x) { return (row[x >> 3] << (x & 7)) & 0x80; }

// Row addresses: straight from the first row and the stride when the rows stay put (memory and
// platform bitmaps), else through ScanLine (a file-backed row is valid until the next one).
class TRows {
public:
    explicit TRows(TIEBitmap& bmp) : bmp_(bmp)
    {
        if (bmp.Location() != ieFile && bmp.GetHeight() > 1) {
            first_ = bmp.ScanLine(0);
            stride_ = bmp.ScanLine(1) - first_;
        }
    }
    const std::uint8_t* Row(int y)
    {
        return first_ ? first_ + std::ptrdiff_t(y) * stride_ : bmp_.ScanLine(y);
    }
    // Starts loading what a coming span will read, where the rows stay put.
    void Prefetch(int y, std::size_t offset) const
    {
        if (first_)
            __builtin_prefetch(first_ + std::ptrdiff_t(y) * stride_ + offset);
    }

private:
    TIEBitmap& bmp_;
    const std::uint8_t* first_ = nullptr;
    std::ptrdiff_t stride_ = 0;
};

template <class Test>
TBox SpanFill(TIEBitmap& bmp, const Test& similar, int seedX, int seedY, bool eight, TBitPlane& plane)
{
    const int w = bmp.GetWidth(), h = bmp.GetHeight();
    const int e = eight ? 1 : 0;
    TBox box;
    TRows rows(bmp);
    std::vector<TFillSpan> stack;
    stack.reserve(1024);
    // Grows the run through (x, y) to both sides, marks it and queues the rows next to it. Only row
    // y is read, so a file-backed image needs one row at a time.
    const auto takeRun = [&](const std::uint8_t* row, int x, int y, const TFillSpan* from) {
        const int a = RunStartOf(similar, row, x), b = RunEndOf(similar, row, x, w);
        plane.SetRun(y, a, b);
        box.Add(y, a, b);
        if (!from) {
            stack.push_back({y - 1, a - e, b + e, -1});
            stack.push_back({y + 1, a - e, b + e, 1});
            return b;
        }
        stack.push_back({y + from->dir, a - e, b + e, from->dir});
        if (y + from->dir >= 0 && y + from->dir < h)
            rows.Prefetch(y + from->dir, std::size_t(std::max(a - e, 0)) * Test::kBits / 8);
        // Back toward the row it came from, only where that row's run did not reach: the run
        // itself is taken already.
        const int runLeft = from->left + e, runRight = from->right - e;
        if (a - e < runLeft)
            stack.push_back({y - from->dir, a - e, runLeft - 1, -from->dir});
        if (b + e > runRight)
            stack.push_back({y - from->dir, runRight + 1, b + e, -from->dir});
        return b;
    };

    takeRun(rows.Row(seedY), seedX, seedY, nullptr);
    while (!stack.empty()) {
        const TFillSpan span = stack.back();
        stack.pop_back();
        if (span.y < 0 || span.y >= h)
            continue;
        const int left = std::max(span.left, 0), right = std::min(span.right, w - 1);
        if (left > right)
            continue;
        const std::uint8_t* row = rows.Row(span.y);
        std::uint8_t* seen = plane.Row(span.y);
        for (int x = left; x <= right; ++x) {
            // Stretches taken already are passed a byte at a time.
            if ((x & 7) == 0 && seen[x >> 3] == 0xFF) {
                x += 7;
                continue;
            }
            if (!Seen(seen, x) && similar(row, x))
                x = takeRun(row, x, span.y, &span) + 1;
        }
    }
    return box;
}

// Finds the connected region into a new plane; false when there is none.
bool FindRegion(TIEBitmap* bmp, int x, int y, int tolerance, std::uint8_t options,
                std::unique_ptr<TBitPlane>& plane, TBox& box)
{
    if (!SeedInside(bmp, x, y) || tolerance <= 0)
        return false;
    // Rows are read only: a file-backed image must not write them back.
    TIEAccessScope readOnly(*bmp, 1);
    const TRGB seed = bmp->GetPixelRGB(x, y);
    const TSeedTables tables(*bmp, seed, tolerance);
    plane = std::make_unique<TBitPlane>(bmp->GetWidth(), bmp->GetHeight());
    WithTest(*bmp, tables, seed, tolerance, [&](const auto& test) {
        box = SpanFill(*bmp, test, x, y, (options & kIEMagicWand8Connected) != 0, *plane);
    });
    return !box.Empty();
}

// Writes row y's run a..b into the mask with the value 1, cut to the mask.
void WriteRun(TIEMask& mask, int y, int a, int b, TBox& written)
{
    if (y < 0 || y >= mask.Height())
        return;
    a = std::max(a, 0);
    b = std::min(b, mask.Width() - 1);
    if (a > b)
        return;
    mask.FillHorzLine(1, a, b, y);
    written.Add(y, a, b);
}

void WidenBox(TIEMask& mask, const TBox& written)
{
    if (written.Empty())
        return;
    if (mask.IsEmpty())
        mask.SetBox(written.x1, written.y1, written.x2, written.y2);
    else
        mask.SetBox(std::min(mask.X1(), written.x1), std::min(mask.Y1(), written.y1),
                    std::max(mask.X2(), written.x2), std::max(mask.Y2(), written.y2));
}

// The eight-connected trace along pixel edges keeps the region on its right. Directions: 0 east,
// 1 south, 2 west, 3 north (screen coordinates, y down).
constexpr int kDx[4] = {1, 0, -1, 0};
constexpr int kDy[4] = {0, 1, 0, -1};

std::vector<TIEPoint> TraceOutline(const TBitPlane& plane, const TBox& box)
{
    // The start is the top left corner of the region's first pixel in raster order: its top and left
    // edges are outer edges, so the trace goes east along the top.
    int sx = box.x1;
    while (!plane.At(sx, box.y1))
        ++sx;
    const int sy = box.y1;
    std::vector<TIEPoint> points{{sx, sy}};
    int cx = sx, cy = sy, d = 0;
    // Each boundary edge is walked once; the bound only guards against a broken invariant.
    const std::int64_t limit = 4 * (std::int64_t(box.x2 - box.x1 + 2) * (box.y2 - box.y1 + 2));
    for (std::int64_t steps = 0; steps <= limit; ++steps) {
        cx += kDx[d];
        cy += kDy[d];
        // The two pixels ahead of the corner, on the left and on the right of the way on.
        int lx, ly, rx, ry;
        switch (d) {
        case 0: lx = cx, ly = cy - 1, rx = cx, ry = cy; break;
        case 1: lx = cx, ly = cy, rx = cx - 1, ry = cy; break;
        case 2: lx = cx - 1, ly = cy, rx = cx - 1, ry = cy - 1; break;
        default: lx = cx - 1, ly = cy - 1, rx = cx, ry = cy - 1; break;
        }
        // A region pixel ahead on the left belongs to the region even when it only touches the one
        // behind diagonally, so pockets closed by a diagonal are inside the outline.
        int next = d;
        if (plane.At(lx, ly))
            next = (d + 3) & 3;
        else if (!plane.At(rx, ry))
            next = (d + 1) & 3;
        if (cx == sx && cy == sy)
            return points;
        if (next != d)
            points.push_back({cx, cy});
        d = next;
    }
    throw rtl::EInvalidOp("magic wand outline did not close");
}

}  // namespace

void MagicWandSelectAll(TIEBitmap* Bitmap, int X, int Y, TIEMask* Mask, int Tolerance)
{
    if (!Mask || !SeedInside(Bitmap, X, Y) || Tolerance <= 0)
        return;
    TIEAccessScope readOnly(*Bitmap, 1);
    const TRGB seed = Bitmap->GetPixelRGB(X, Y);
    const TSeedTables tables(*Bitmap, seed, Tolerance);
    const int w = std::min(Bitmap->GetWidth(), Mask->Width()),
              h = std::min(Bitmap->GetHeight(), Mask->Height());
    TBox written;
    WithTest(*Bitmap, tables, seed, Tolerance, [&](const auto& similar) {
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = Bitmap->ScanLine(y);
            for (int x = 0; x < w; ++x) {
                if (!similar(row, x))
                    continue;
                const int b = RunEndOf(similar, row, x, w);
                WriteRun(*Mask, y, x, b, written);
                x = b;
            }
        }
    });
    WidenBox(*Mask, written);
}

void MagicWandFill(TIEBitmap* Bitmap, int X, int Y, int Tolerance, TIEMask* Mask, std::uint8_t Options)
{
    std::unique_ptr<TBitPlane> plane;
    TBox box;
    if (!Mask || !FindRegion(Bitmap, X, Y, Tolerance, Options, plane, box))
        return;
    TBox written;
    const int lastRow = std::min(box.y2, Mask->Height() - 1), lastCol = std::min(box.x2, Mask->Width() - 1);
    if (Mask->BitsPerPixel() == 1) {
        // The plane has the mask's bit order: its bytes are ORed in whole, the last one cut to the mask.
        const int first = box.x1 >> 3, last = lastCol >> 3;
        const std::uint8_t lastBits = std::uint8_t(0xFF00 >> ((lastCol & 7) + 1));
        for (int y = box.y1; y <= lastRow && first <= last; ++y) {
            const std::uint8_t* src = plane->Row(y);
            std::uint8_t* dst = Mask->ScanLine(y);
            for (int i = first; i < last; ++i)
                dst[i] |= src[i];
            dst[last] |= src[last] & lastBits;
        }
        if (box.x1 <= lastCol && box.y1 <= lastRow)
            written = TBox{box.x1, box.y1, lastCol, lastRow};
    } else {
        for (int y = box.y1; y <= lastRow; ++y) {
            const std::uint8_t* row = plane->Row(y);
            for (int x = box.x1; x <= lastCol; ++x) {
                if (!GetPixelBit(row, x)) {
                    // Whole clear bytes are skipped at once.
                    if ((x & 7) == 0 && row[x >> 3] == 0)
                        x += 7;
                    continue;
                }
                int b = x;
                while (b + 1 <= lastCol && GetPixelBit(row, b + 1))
                    ++b;
                WriteRun(*Mask, y, x, b, written);
                x = b;
            }
        }
    }
    WidenBox(*Mask, written);
}

std::vector<TIEPoint> MagicWandPolygon(TIEBitmap* Bitmap, int X, int Y, int Tolerance, std::uint8_t Options)
{
    std::unique_ptr<TBitPlane> plane;
    TBox box;
    if (!FindRegion(Bitmap, X, Y, Tolerance, Options, plane, box))
        return {};
    return TraceOutline(*plane, box);
}

void PointAdd(const TIEPoint& A, const TIEPoint& B, TIEPoint& C) { C = {A.X + B.X, A.Y + B.Y}; }
void PointSub(const TIEPoint& A, const TIEPoint& B, TIEPoint& C) { C = {A.X - B.X, A.Y - B.Y}; }

}  // namespace imaging
