// The portable part of the image view: mode sets, click zoom, viewport geometry, automatic zoom,
// selection points and snapshots, layers and the caption.
#include "imaging/core/vodiradview.h"

#include "platform/rtl/Endian.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <numbers>

namespace imaging {

// ---- mouse modes and click zoom ---------------------------------------------------------------

TIEMouseInteract IEReduceMouseInteract(TIEMouseInteract Old, TIEMouseInteract New)
{
    const TIEMouseInteract added = New - Old;
    const auto keep = [&](TIEMouseInteract allowed) { return New * allowed; };
    struct TRule {
        TIEMouseInteractItems added;
        TIEMouseInteract allowed;
    };
    static const TRule rules[] = {
        {miScroll, {miZoom, miScroll}},           {miSelect, {miZoom, miSelect}},
        {miSelectPolygon, {miSelectPolygon}},     {miSelectCircle, {miZoom, miSelectCircle}},
        {miSelectLasso, {miZoom, miSelectLasso}}, {miSelectZoom, {miZoom, miSelectZoom}},
    };
    for (const TRule& r : rules)
        if (added.Contains(r.added))
            return keep(r.allowed);
    if (added.Contains(miZoom))
        return New - TIEMouseInteract{miSelectPolygon, miSelectMagicWand, miMoveLayers, miResizeLayers};
    if (added.Contains(miSelectMagicWand))
        return {miSelectMagicWand};
    const TIEMouseInteract layers{miMoveLayers, miResizeLayers};
    if (!(New * layers).Empty() && !added.Empty())
        return New * layers;
    return New;
}

namespace {
constexpr std::array<double, 8> kZoomSteps = {2, 5, 10, 25, 33, 50, 75, 100};
}

double IEClickZoomIn(double Zoom)
{
    if (Zoom >= 100)
        return Zoom + 100;
    for (double step : kZoomSteps)
        if (step > Zoom)
            return step;
    return 100;
}

double IEClickZoomOut(double Zoom)
{
    if (Zoom >= 200)
        return Zoom - 100;
    double below = 2;
    for (double step : kZoomSteps)
        if (step < Zoom)
            below = step;
    return below;
}

// ---- geometry -----------------------------------------------------------------------------------

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return -FloorDiv(-a, b); }

int ToInt(std::int64_t v) { return int(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX)); }
int TruncToInt(double v) { return std::isfinite(v) ? int(std::clamp(std::trunc(v), -2e9, 2e9)) : 0; }

}  // namespace

void TIEViewport::SetImageSize(int Width, int Height)
{
    imageW_ = std::max(Width, 0);
    imageH_ = std::max(Height, 0);
    UpdateExtents();
}

void TIEViewport::SetClientSize(int Width, int Height)
{
    clientW_ = std::max(Width, 0);
    clientH_ = std::max(Height, 0);
    UpdateExtents();
}

void TIEViewport::SetControlSize(int Width, int Height)
{
    controlW_ = std::max(Width, 0);
    controlH_ = std::max(Height, 0);
}

void TIEViewport::SetZoom(double Value)
{
    if (!(Value > 0) || !std::isfinite(Value))
        return;
    zoom_ = Value;
    UpdateExtents();
}

void TIEViewport::UpdateExtents()
{
    const double z = zoom_ / 100;
    zoomedW_ = int(std::min(std::nearbyint(imageW_ * z), 2e9));
    zoomedH_ = int(std::min(std::nearbyint(imageH_ * z), 2e9));
    extentX_ = std::min(zoomedW_, clientW_);
    extentY_ = std::min(zoomedH_, clientH_);
    offsetX_ = Center && clientW_ > zoomedW_ ? (clientW_ - extentX_) >> 1 : 0;
    offsetY_ = Center && clientH_ > zoomedH_ ? (clientH_ - extentY_) >> 1 : 0;
}

void TIEViewport::MaxOrigin(int& MaxX, int& MaxY) const
{
    const double z = zoom_ / 100;
    int zw = TruncToInt(imageW_ * z), zh = TruncToInt(imageH_ * z);
    if (zw > clientW_ + 10 || zh > clientH_ + 10) {
        zw = TruncToInt((imageW_ + 0.5) * z);
        zh = TruncToInt((imageH_ + 0.5) * z);
    }
    MaxX = MaxY = 0;
    if (zw < 1 || zh < 1 || (zw <= controlW_ && zh <= controlH_))
        return;
    MaxX = std::max(zw - clientW_, 0);
    MaxY = std::max(zh - clientH_, 0);
}

bool TIEViewport::ClampOrigin()
{
    int mx, my;
    MaxOrigin(mx, my);
    const int x = std::clamp(ViewX, 0, mx), y = std::clamp(ViewY, 0, my);
    const bool changed = x != ViewX || y != ViewY;
    ViewX = x;
    ViewY = y;
    return changed;
}

void TIEViewport::SetZoomKeepCenter(double Value)
{
    if (!(Value > 0) || !std::isfinite(Value))
        return;
    const int cx = clientW_ / 2, cy = clientH_ / 2;
    const double r = 100 / zoom_;
    const double px = std::nearbyint((double(ViewX) + cx - offsetX_) * r);
    const double py = std::nearbyint((double(ViewY) + cy - offsetY_) * r);
    SetZoom(Value);
    ViewX = TruncToInt(px * Value / 100 - cx);
    ViewY = TruncToInt(py * Value / 100 - cy);
    ClampOrigin();
}

void TIEViewport::SetZoomAt(double Value, int X, int Y)
{
    if (!(Value > 0) || !std::isfinite(Value))
        return;
    const int px = XScr2Bmp(X), py = YScr2Bmp(Y);
    SetZoom(Value);
    ViewX = TruncToInt(px * Value / 100 - clientW_ / 2);
    ViewY = TruncToInt(py * Value / 100 - clientH_ / 2);
    ClampOrigin();
}

int TIEViewport::XScr2Bmp(int X) const
{
    if (zoomedW_ < 1)
        return 0;
    return ToInt(FloorDiv((std::int64_t(X) - offsetX_ + ViewX) * imageW_, zoomedW_));
}

int TIEViewport::YScr2Bmp(int Y) const
{
    if (zoomedH_ < 1)
        return 0;
    return ToInt(FloorDiv((std::int64_t(Y) - offsetY_ + ViewY) * imageH_, zoomedH_));
}

// The first client column whose image column is X or more: the left edge of pixel X as shown.
int TIEViewport::XBmp2Scr(int X) const
{
    if (imageW_ < 1)
        return offsetX_ - ViewX;
    return ToInt(CeilDiv(std::int64_t(X) * zoomedW_, imageW_) - ViewX + offsetX_);
}

int TIEViewport::YBmp2Scr(int Y) const
{
    if (imageH_ < 1)
        return offsetY_ - ViewY;
    return ToInt(CeilDiv(std::int64_t(Y) * zoomedH_, imageH_) - ViewY + offsetY_);
}

int TIEViewport::XScr2BmpClamped(int X) const { return std::clamp(XScr2Bmp(X), 0, imageW_); }
int TIEViewport::YScr2BmpClamped(int Y) const { return std::clamp(YScr2Bmp(Y), 0, imageH_); }

double IEFitZoom(int ImageWidth, int ImageHeight, int Width, int Height)
{
    if (ImageWidth < 1 || ImageHeight < 1)
        return 0;
    return std::min(Width / (ImageWidth / 100.0), Height / (ImageHeight / 100.0));
}

double IEAutoZoom(const TIEAutoZoomInput& In)
{
    if (In.ImageWidth < 2 && In.ImageHeight < 2)
        return 100;
    // A client of no size (a hidden or collapsed control) has no ratio to compare.
    if (In.ImageWidth < 1 || In.ImageHeight < 1 || In.ClientWidth < 1 || In.ClientHeight < 1)
        return 100;
    const bool byWidth = double(In.ImageWidth) / In.ClientWidth >= double(In.ImageHeight) / In.ClientHeight;
    const bool larger = byWidth ? In.ImageWidth > In.ClientWidth : In.ImageHeight > In.ClientHeight;
    const bool allowed = larger ? (In.Shrink || In.Fit) : (In.Stretch || In.Fit);
    if (!allowed)
        return 100;
    const double fit = IEFitZoom(In.ImageWidth, In.ImageHeight, In.ControlWidth - 2 * In.MarginX,
                                 In.ControlHeight - 2 * In.MarginY);
    return std::max(fit, 1.0);
}

// ---- selection points ----------------------------------------------------------------------------

void TIESelectionPoints::Add(int X, int Y) { points_.push_back({X, Y}); }

void TIESelectionPoints::AddSeparator()
{
    if (!points_.empty() && !EndsWithSeparator())
        points_.push_back({kIESelectionSeparator, 0});
}

void TIESelectionPoints::DropTrailingSeparators()
{
    while (EndsWithSeparator())
        points_.pop_back();
}

void TIESelectionPoints::Truncate(int Count)
{
    if (Count >= 0 && std::size_t(Count) < points_.size())
        points_.resize(std::size_t(Count));
}

void TIESelectionPoints::RemoveLastPolygon()
{
    DropTrailingSeparators();
    auto it = std::find_if(points_.rbegin(), points_.rend(), IsSeparator);
    points_.resize(it == points_.rend() ? 0 : std::size_t(points_.rend() - it - 1));
}

void TIESelectionPoints::Clear() { points_.clear(); }

void TIESelectionPoints::Offset(int DX, int DY)
{
    for (TIEPoint& p : points_)
        if (!IsSeparator(p)) {
            p.X += DX;
            p.Y += DY;
        }
}

bool TIESelectionPoints::Box(int& X1, int& Y1, int& X2, int& Y2) const
{
    bool any = false;
    for (const TIEPoint& p : points_) {
        if (IsSeparator(p))
            continue;
        if (!any) {
            X1 = X2 = p.X;
            Y1 = Y2 = p.Y;
            any = true;
            continue;
        }
        X1 = std::min(X1, p.X);
        Y1 = std::min(Y1, p.Y);
        X2 = std::max(X2, p.X);
        Y2 = std::max(Y2, p.Y);
    }
    return any;
}

bool TIESelectionPoints::IsRectangle() const
{
    if (points_.size() != 4 || std::any_of(points_.begin(), points_.end(), IsSeparator))
        return false;
    const TIEPoint &a = points_[0], &b = points_[1], &c = points_[2], &d = points_[3];
    return a.Y == b.Y && b.X == c.X && c.Y == d.Y && d.X == a.X && a.X != b.X && b.Y != c.Y;
}

void TIESelectionPoints::Assign(std::vector<TIEPoint> Points) { points_ = std::move(Points); }

// ---- snapshots -------------------------------------------------------------------------------------

namespace {

void Put32(rtl::TStream& s, std::int32_t v)
{
    std::uint8_t b[4];
    rtl::StoreLE32(b, std::uint32_t(v));
    s.WriteBuffer(b, 4);
}

void Put8(rtl::TStream& s, std::uint8_t v) { s.WriteBuffer(&v, 1); }

// Reads from a stream that has been checked to hold what is asked.
class TSnapshotReader {
public:
    explicit TSnapshotReader(rtl::TStream& s)
        : s_(s), left_(std::max<std::int64_t>(s.Size() - s.Position(), 0))
    {
    }
    bool Has(std::int64_t bytes) const { return bytes >= 0 && bytes <= left_; }
    std::int32_t Get32()
    {
        std::uint8_t b[4];
        Take(b, 4);
        return std::int32_t(rtl::LoadLE32(b));
    }
    std::uint8_t Get8()
    {
        std::uint8_t b;
        Take(&b, 1);
        return b;
    }
    void Take(void* buffer, std::int64_t count)
    {
        s_.ReadBuffer(buffer, std::int32_t(count));
        left_ -= count;
    }

private:
    rtl::TStream& s_;
    std::int64_t left_;
};

}  // namespace

void IEWriteSelection(rtl::TStream& Stream, int ImageWidth, int ImageHeight, const TIESelectionPoints& Points,
                      bool Selected, const TIEMask& Mask)
{
    Put32(Stream, ImageWidth);
    Put32(Stream, ImageHeight);
    Put32(Stream, Points.Count());
    for (const TIEPoint& p : Points.Points()) {
        Put32(Stream, p.X);
        Put32(Stream, p.Y);
    }
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Points.Box(x1, y1, x2, y2);
    for (int v : {x1, y1, x2, y2})
        Put32(Stream, v);
    Put8(Stream, Selected ? 1 : 0);
    Put32(Stream, Mask.BitsPerPixel());
    for (int v : {Mask.X1(), Mask.Y1(), Mask.X2(), Mask.Y2()})
        Put32(Stream, v);
    Put8(Stream, Mask.Full ? 1 : 0);
    // Rows as they lie in memory, bottom row first; a mask without columns has none.
    for (int y = Mask.Height() - 1; y >= 0 && Mask.RowLen() > 0; --y)
        Stream.WriteBuffer(Mask.ScanLine(y), Mask.RowLen());
}

bool IEReadSelection(rtl::TStream& Stream, int ImageWidth, int ImageHeight, TIESelectionPoints& Points,
                     bool& Selected, TIEMask& Mask)
{
    TSnapshotReader in(Stream);
    if (!in.Has(12))
        return false;
    const int w = in.Get32(), h = in.Get32(), n = in.Get32();
    if (w < 0 || h < 0 || n < 0 || !in.Has(std::int64_t(n) * 8 + 16 + 1 + 4 + 16 + 1))
        return false;
    std::vector<TIEPoint> points(static_cast<std::size_t>(n));
    for (TIEPoint& p : points) {
        p.X = in.Get32();
        p.Y = in.Get32();
    }
    for (int i = 0; i < 4; ++i)
        in.Get32();  // the points' box, which the points themselves give
    const bool selected = in.Get8() != 0;
    const int bits = in.Get32();
    if (bits != 1 && bits != 8)
        return false;
    for (int i = 0; i < 4; ++i)
        in.Get32();  // the mask's box, recomputed from its bits below
    const bool full = in.Get8() != 0;
    const std::int64_t rowLen = (std::int64_t(w) * bits + 31) / 32 * 4;
    const std::int64_t bytes = rowLen * h;
    // A row must fit a mask's row length (an Integer) even when there are no rows.
    if (rowLen > INT32_MAX || !in.Has(bytes) || w != ImageWidth || h != ImageHeight)
        return false;
    TIEMask mask;
    mask.AllocateBits(w, h, bits);
    for (int y = h - 1; y >= 0 && rowLen > 0; --y)
        in.Take(mask.ScanLine(y), rowLen);
    mask.RecomputeBox();
    mask.Full = full;
    Points.Assign(std::move(points));
    Selected = selected;
    Mask.AllocateBits(w, h, bits);
    for (int y = 0; y < h && rowLen > 0; ++y)
        std::copy_n(mask.ScanLine(y), rowLen, Mask.ScanLine(y));
    if (!mask.IsEmpty())
        Mask.SetBox(mask.X1(), mask.Y1(), mask.X2(), mask.Y2());
    Mask.Full = full;
    return true;
}

bool IESelectionRectangle(int X1, int Y1, int X2, int Y2, int ImageWidth, int ImageHeight, bool KeepAspect,
                          double AspectRatio, TIEPoint (&Corners)[4])
{
    std::int64_t x1 = X1, y1 = Y1, x2 = X2, y2 = Y2;
    if (KeepAspect && (AspectRatio == -1 || AspectRatio > 0)) {
        const std::int64_t w = std::abs(x2 - x1);
        const std::int64_t h = AspectRatio == -1 ? w : std::llround(double(w) * AspectRatio);
        y2 = y1 + (y2 < y1 ? -h : h);
    }
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
    // Nothing of a rectangle wholly beside the image is selected, not even its edge column.
    if (x2 < 0 || y2 < 0 || x1 >= ImageWidth || y1 >= ImageHeight)
        return false;
    x1 = std::clamp<std::int64_t>(x1, 0, ImageWidth - 1);
    y1 = std::clamp<std::int64_t>(y1, 0, ImageHeight - 1);
    x2 = std::clamp<std::int64_t>(x2, 0, ImageWidth - 1) + 1;
    y2 = std::clamp<std::int64_t>(y2, 0, ImageHeight - 1) + 1;
    Corners[0] = {int(x1), int(y1)};
    Corners[1] = {int(x2), int(y1)};
    Corners[2] = {int(x2), int(y2)};
    Corners[3] = {int(x1), int(y2)};
    return true;
}

std::vector<std::pair<double, double>> IEEllipsePoints(double X1, double Y1, double X2, double Y2)
{
    const double cx = (X1 + X2) / 2, cy = (Y1 + Y2) / 2;
    const double a = std::abs(X2 - X1) / 2, b = std::abs(Y2 - Y1) / 2;
    // Ramanujan's perimeter; a point per two pixels of it.
    const double h = (a + b) > 0 ? (a - b) * (a - b) / ((a + b) * (a + b)) : 0;
    const double perimeter = std::numbers::pi * (a + b) * (1 + 3 * h / (10 + std::sqrt(4 - 3 * h)));
    const int n = int(std::clamp(std::ceil(perimeter / 2), 50.0, 100000.0));
    std::vector<std::pair<double, double>> out;
    out.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const double t = 2 * std::numbers::pi * i / n;
        out.emplace_back(cx + a * std::cos(t), cy + b * std::sin(t));
    }
    return out;
}

// ---- layers ------------------------------------------------------------------------------------------

TIELayer::TIELayer(std::unique_ptr<TIEBitmap> Bitmap)
    : bitmap_(Bitmap ? std::move(Bitmap) : std::make_unique<TIEBitmap>())
{
}

std::unique_ptr<TIELayer> TIELayer::CopyOf(TIEBitmap& Source)
{
    auto copy = std::make_unique<TIEBitmap>();
    copy->Assign(&Source);
    return std::make_unique<TIELayer>(std::move(copy));
}

std::unique_ptr<TIEBitmap> TIELayer::SwapBitmap(std::unique_ptr<TIEBitmap> Bitmap)
{
    std::swap(bitmap_, Bitmap);
    if (!bitmap_)
        bitmap_ = std::make_unique<TIEBitmap>();
    return Bitmap;
}

int TIELayer::DisplayWidth() const { return Width > 0 ? Width : bitmap_->GetWidth(); }
int TIELayer::DisplayHeight() const { return Height > 0 ? Height : bitmap_->GetHeight(); }

void TIELayer::GripCentres(int (&Xs)[8], int (&Ys)[8]) const
{
    const TIERect& r = ClientAreaBox;
    const int mx = r.Left + (r.Right - r.Left) / 2, my = r.Top + (r.Bottom - r.Top) / 2;
    const int xs[8] = {r.Left, r.Right, r.Right, r.Left, r.Left, r.Right, mx, mx};
    const int ys[8] = {r.Top, r.Top, r.Bottom, r.Bottom, my, my, r.Top, r.Bottom};
    std::copy_n(xs, 8, Xs);
    std::copy_n(ys, 8, Ys);
}

TIEGrip TIELayer::GripAt(int X, int Y) const
{
    int xs[8], ys[8];
    GripCentres(xs, ys);
    for (int i = 0; i < 8; ++i)
        if (std::abs(X - xs[i]) <= 4 && std::abs(Y - ys[i]) <= 4)
            return TIEGrip(ieTopLeft + i);
    return ieNone;
}

void TIELayer::ResizeByGrip(TIEGrip Grip, int DX, int DY, int StartX, int StartY, int StartWidth,
                            int StartHeight)
{
    const bool left = Grip == ieTopLeft || Grip == ieBottomLeft || Grip == ieLeftSide;
    const bool right = Grip == ieTopRight || Grip == ieBottomRight || Grip == ieRightSide;
    const bool top = Grip == ieTopLeft || Grip == ieTopRight || Grip == ieTopSide;
    const bool bottom = Grip == ieBottomLeft || Grip == ieBottomRight || Grip == ieBottomSide;
    int x = StartX, y = StartY, w = StartWidth, h = StartHeight;
    if (left) {
        w = std::max(StartWidth - DX, 1);
        x = StartX + StartWidth - w;
    } else if (right) {
        w = std::max(StartWidth + DX, 1);
    }
    if (top) {
        h = std::max(StartHeight - DY, 1);
        y = StartY + StartHeight - h;
    } else if (bottom) {
        h = std::max(StartHeight + DY, 1);
    }
    PosX = x;
    PosY = y;
    Width = w;
    Height = h;
}

// ---- caption --------------------------------------------------------------------------------------------

std::string IEFormatCaption(const std::string& Template, int ImageWidth, int ImageHeight, int ControlWidth,
                            int ControlHeight)
{
    const std::pair<const char*, int> fields[] = {
        {"%iw%", ImageWidth}, {"%ih%", ImageHeight}, {"%cw%", ControlWidth}, {"%ch%", ControlHeight}};
    std::string out;
    for (std::size_t i = 0; i < Template.size();) {
        bool replaced = false;
        for (const auto& [name, value] : fields) {
            if (Template.size() - i < 4)
                break;
            bool same = true;
            for (int k = 0; k < 4 && same; ++k)
                same = std::tolower(static_cast<unsigned char>(Template[i + std::size_t(k)])) == name[k];
            if (same) {
                out += std::to_string(value);
                i += 4;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += Template[i++];
    }
    return out;
}

}  // namespace imaging
