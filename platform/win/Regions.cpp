// Window regions built with the GDI region calls.
#include "platform/win/Regions.h"

#include <algorithm>
#include <cstring>

namespace win {

namespace {

HRGN Checked(HRGN region)
{
    if (!region)
        throw EOutOfResources("out of system resources: cannot create a region");
    return region;
}

// ExtCreateRegion from rectangles, in batches so one call never takes a huge buffer.
HRGN RegionFromRects(const std::vector<RECT>& rects)
{
    HRGN result = Checked(::CreateRectRgn(0, 0, 0, 0));
    constexpr std::size_t kBatch = 4000;
    for (std::size_t start = 0; start < rects.size(); start += kBatch) {
        const std::size_t n = std::min(kBatch, rects.size() - start);
        std::vector<std::uint8_t> buffer(sizeof(RGNDATAHEADER) + n * sizeof(RECT));
        auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
        data->rdh.dwSize = sizeof(RGNDATAHEADER);
        data->rdh.iType = RDH_RECTANGLES;
        data->rdh.nCount = static_cast<DWORD>(n);
        data->rdh.nRgnSize = static_cast<DWORD>(n * sizeof(RECT));
        RECT bounds{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
        for (std::size_t i = 0; i < n; ++i) {
            const RECT& r = rects[start + i];
            bounds.left = std::min(bounds.left, r.left);
            bounds.top = std::min(bounds.top, r.top);
            bounds.right = std::max(bounds.right, r.right);
            bounds.bottom = std::max(bounds.bottom, r.bottom);
        }
        data->rdh.rcBound = bounds;
        std::memcpy(data->Buffer, &rects[start], n * sizeof(RECT));
        HRGN part = ::ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data);
        if (!part) {
            ::DeleteObject(result);
            Checked(nullptr);
        }
        ::CombineRgn(result, result, part, RGN_OR);
        ::DeleteObject(part);
    }
    return result;
}

}  // namespace

TRegion::TRegion() : region_(Checked(::CreateRectRgn(0, 0, 0, 0))) {}

TRegion::TRegion(const TRect& rect)
    : region_(Checked(::CreateRectRgn(rect.Left, rect.Top, rect.Right, rect.Bottom)))
{
}

TRegion::TRegion(HRGN region) : region_(Checked(region)) {}

TRegion::TRegion(const TRegion& other) : TRegion()
{
    if (other.region_)
        ::CombineRgn(region_.Get(), other.region_.Get(), nullptr, RGN_COPY);
}

TRegion& TRegion::operator=(const TRegion& other)
{
    if (this != &other) {
        TRegion copy(other);
        region_ = std::move(copy.region_);
    }
    return *this;
}

TRegion TRegion::RoundRect(const TRect& rect, int cornerWidth, int cornerHeight)
{
    if (cornerWidth <= 0 || cornerHeight <= 0)
        return TRegion(rect);
    return TRegion(
        ::CreateRoundRectRgn(rect.Left, rect.Top, rect.Right, rect.Bottom, cornerWidth, cornerHeight));
}

TRegion TRegion::FromBitmap(TBitmap& bitmap, int firstRow, int lastRow, TColor transparent, TPoint offset)
{
    firstRow = std::max(firstRow, 0);
    lastRow = std::min(lastRow, bitmap.Height() - 1);
    if (bitmap.Empty() || firstRow > lastRow)
        return TRegion();
    // Read the pixels as 32-bit RGB from a copy, whatever the bitmap's own format.
    TBitmap rgb;
    rgb.Assign(&bitmap);
    rgb.SetPixelFormat(pf32bit);
    const COLORREF key = ColorToRGB(transparent);
    const std::uint32_t keyBgr = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
    std::vector<RECT> runs;
    for (int y = firstRow; y <= lastRow; ++y) {
        const auto* row = static_cast<const std::uint32_t*>(rgb.ScanLine(y));
        int x = 0;
        const int w = rgb.Width();
        while (x < w) {
            while (x < w && (row[x] & 0xFFFFFF) == keyBgr)
                ++x;
            const int start = x;
            while (x < w && (row[x] & 0xFFFFFF) != keyBgr)
                ++x;
            if (x > start)
                runs.push_back(RECT{start + offset.X, y + offset.Y, x + offset.X, y + 1 + offset.Y});
        }
    }
    return TRegion(RegionFromRects(runs));
}

TRegion& TRegion::Combine(const TRegion& other, int mode)
{
    if (::CombineRgn(region_.Get(), region_.Get(), other.region_.Get(), mode) == ERROR)
        throw EOutOfResources("out of system resources: cannot combine regions");
    return *this;
}

void TRegion::Offset(int dx, int dy) { ::OffsetRgn(region_.Get(), dx, dy); }

bool TRegion::IsEmpty() const
{
    RECT r{};
    return !region_ || ::GetRgnBox(region_.Get(), &r) == NULLREGION;
}

bool TRegion::Contains(int x, int y) const { return region_ && ::PtInRegion(region_.Get(), x, y); }

TRect TRegion::Bounds() const
{
    RECT r{};
    if (region_)
        ::GetRgnBox(region_.Get(), &r);
    return FromRECT(r);
}

bool TRegion::operator==(const TRegion& other) const
{
    if (IsEmpty() || other.IsEmpty())
        return IsEmpty() == other.IsEmpty();
    return ::EqualRgn(region_.Get(), other.region_.Get()) != FALSE;
}

std::vector<TRect> TRegion::Rects() const
{
    std::vector<TRect> out;
    if (!region_)
        return out;
    const DWORD size = ::GetRegionData(region_.Get(), 0, nullptr);
    if (size == 0)
        return out;
    std::vector<std::uint8_t> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    const DWORD written = ::GetRegionData(region_.Get(), size, data);
    if (written < sizeof(RGNDATAHEADER) || written > size)
        return out;
    // The count comes back inside the buffer: never read more rectangles than were written.
    const std::size_t room = (written - sizeof(RGNDATAHEADER)) / sizeof(RECT);
    const std::size_t count = std::min<std::size_t>(data->rdh.nCount, room);
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(FromRECT(rects[i]));
    return out;
}

bool TRegion::ApplyToWindow(HWND window, bool redraw)
{
    if (!region_)
        return false;
    if (!::SetWindowRgn(window, region_.Get(), redraw))
        return false;
    region_.Release();  // the window owns it now
    region_.Reset(Checked(::CreateRectRgn(0, 0, 0, 0)));
    return true;
}

void TRegion::ClearWindowRegion(HWND window, bool redraw) { ::SetWindowRgn(window, nullptr, redraw); }

}  // namespace win
