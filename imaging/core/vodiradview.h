// The portable part of the image view: its enumerations, the geometry of zoom, scrolling and the
// image-to-client mapping, automatic zoom, the selection's point list and snapshots, layers and their
// grips, and the caption's placeholders. The window itself is TVodirAdView (vodiradview_win32.h).
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace imaging {

// Names of the resampling filters, for the view's published ZoomFilter.
RTL_ENUM_INFO(TResampleFilter, "rfNone", "rfTriangle", "rfHermite", "rfBell", "rfBSpline", "rfLanczos3",
              "rfMitchell", "rfNearest", "rfLinear", "rfFastLinear", "rfBilinear", "rfBicubic")

enum TIEBackgroundStyle {
    iebsSolid,
    iebsHorizontal,
    iebsVertical,
    iebsFDiagonal,
    iebsBDiagonal,
    iebsCross,
    iebsDiagCross,
    iebsChessboard,
    iebsDiagonals,
    iebsCropped,
    iebsCropShadow,
    iebsGradient
};
RTL_ENUM_INFO(TIEBackgroundStyle, "iebsSolid", "iebsHorizontal", "iebsVertical", "iebsFDiagonal",
              "iebsBDiagonal", "iebsCross", "iebsDiagCross", "iebsChessboard", "iebsDiagonals", "iebsCropped",
              "iebsCropShadow", "iebsGradient")

enum TIEMouseInteractItems {
    miZoom,
    miScroll,
    miSelect,
    miSelectPolygon,
    miSelectCircle,
    miSelectZoom,
    miSelectMagicWand,
    miSelectLasso,
    miMoveLayers,
    miResizeLayers
};
RTL_ENUM_INFO(TIEMouseInteractItems, "miZoom", "miScroll", "miSelect", "miSelectPolygon", "miSelectCircle",
              "miSelectZoom", "miSelectMagicWand", "miSelectLasso", "miMoveLayers", "miResizeLayers")
using TIEMouseInteract = rtl::TSet<TIEMouseInteractItems>;

enum TIESelectionOptionsItems {
    iesoAnimated,
    iesoSizeable,
    iesoMoveable,
    iesoFilled,
    iesoCutBorders,
    iesoMarkOuter,
    iesoCanScroll
};
RTL_ENUM_INFO(TIESelectionOptionsItems, "iesoAnimated", "iesoSizeable", "iesoMoveable", "iesoFilled",
              "iesoCutBorders", "iesoMarkOuter", "iesoCanScroll")
using TIESelectionOptions = rtl::TSet<TIESelectionOptionsItems>;
inline constexpr TIESelectionOptions kIEDefaultSelectionOptions{iesoAnimated, iesoSizeable, iesoMoveable,
                                                                iesoCanScroll};

enum TIESelectionBase { iesbClientArea, iesbBitmap };
RTL_ENUM_INFO(TIESelectionBase, "iesbClientArea", "iesbBitmap")

enum TIEGrip {
    ieNone,
    ieTopLeft,
    ieTopRight,
    ieBottomRight,
    ieBottomLeft,
    ieLeftSide,
    ieRightSide,
    ieTopSide,
    ieBottomSide
};

enum TIELayerEvent { ielSelected, ielMoved, ielResized, ielMoving, ielResizing };

// ---- mouse modes and click zoom ---------------------------------------------------------------

// The set New reduced so that modes exclude each other; the first member New adds to Old decides
// what may stay with it.
TIEMouseInteract IEReduceMouseInteract(TIEMouseInteract Old, TIEMouseInteract New);
// The zoom a click gives: in, Zoom + 100 from 100 % on, else the first step above; out, Zoom - 100
// from 200 % on, else the last step below (2 when there is none).
double IEClickZoomIn(double Zoom);
double IEClickZoomOut(double Zoom);

// ---- geometry -----------------------------------------------------------------------------------

// Zoom, origin and the mapping between image pixels and the client area. The client is the part
// of the control the image may use (inside borders and scroll bars); the control size counts only
// for the tests the view makes on its whole area.
class TIEViewport {
public:
    // Sizes below 0 count as 0.
    void SetImageSize(int Width, int Height);
    void SetClientSize(int Width, int Height);
    void SetControlSize(int Width, int Height);
    int ImageWidth() const { return imageW_; }
    int ImageHeight() const { return imageH_; }
    int ClientWidth() const { return clientW_; }
    int ClientHeight() const { return clientH_; }

    double Zoom() const { return zoom_; }
    // Values not above 0 are ignored. Recomputes the derived factors and the extents.
    void SetZoom(double Value);
    double ZoomFactor() const { return zoom_ / 100; }

    bool Center = true;
    int ViewX = 0;
    int ViewY = 0;

    // The largest origin: 0 when the zoomed image fits. A zoomed image more than 10 pixels larger
    // than the client gets half an image pixel more on that side, so its last column can come fully
    // into view.
    void MaxOrigin(int& MaxX, int& MaxY) const;
    // Clamps ViewX and ViewY to 0..MaxOrigin; true when either changed.
    bool ClampOrigin();
    // Sets the zoom keeping the image point under the client's centre there, the origin clamped to
    // the new zoom's range.
    void SetZoomKeepCenter(double Value);
    // Sets the zoom and the origin so that the image point under the client point (X, Y) comes to
    // the client's centre (clamped).
    void SetZoomAt(double Value, int X, int Y);

    // Rounded zoomed size, the part of the client it covers (Extent) and where it starts (Offset:
    // 0, or the centred position when Center is on and the client is larger).
    int ZoomedWidth() const { return zoomedW_; }
    int ZoomedHeight() const { return zoomedH_; }
    int ExtentX() const { return extentX_; }
    int ExtentY() const { return extentY_; }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }

    // Client pixel to image pixel, as the painting maps it (so the pixel under the mouse is the one
    // shown there); may lie outside the image. Image pixel to the client position of its left or
    // top edge.
    int XScr2Bmp(int X) const;
    int YScr2Bmp(int Y) const;
    int XBmp2Scr(int X) const;
    int YBmp2Scr(int Y) const;
    // The same with the result clamped to 0..size (both edges included).
    int XScr2BmpClamped(int X) const;
    int YScr2BmpClamped(int Y) const;

private:
    void UpdateExtents();

    int imageW_ = 0, imageH_ = 0;
    int clientW_ = 0, clientH_ = 0;
    int controlW_ = 0, controlH_ = 0;
    double zoom_ = 100;
    int zoomedW_ = 0, zoomedH_ = 0;
    int extentX_ = 0, extentY_ = 0;
    int offsetX_ = 0, offsetY_ = 0;
};

// What decides the automatic zoom.
struct TIEAutoZoomInput {
    int ImageWidth = 0, ImageHeight = 0;
    int ClientWidth = 0, ClientHeight = 0;
    int ControlWidth = 0, ControlHeight = 0;
    int MarginX = 0, MarginY = 0;
    bool Fit = false, Stretch = false, Shrink = false;
};
// The zoom of AutoFit, AutoStretch and AutoShrink: the fit zoom where shrinking or stretching is
// allowed, else 100; 100 for an image under 2 x 2 and for any size 0; never below 1.
double IEAutoZoom(const TIEAutoZoomInput& In);
// The largest zoom at which the image fits Width x Height; 0 for an image without pixels.
double IEFitZoom(int ImageWidth, int ImageHeight, int Width, int Height);

// ---- selection points and snapshots ------------------------------------------------------------

// X of the point that separates polygons in a point list.
inline constexpr std::int32_t kIESelectionSeparator = kIEPolygonSeparator;
inline bool IsSeparator(const TIEPoint& P) { return P.X == kIESelectionSeparator; }

// The selection as drawn: polygons in image pixels, one after the other, separated by a separator
// point, with the bounding box of the real points.
class TIESelectionPoints {
public:
    int Count() const { return int(points_.size()); }
    const TIEPoint* Data() const { return points_.data(); }
    const std::vector<TIEPoint>& Points() const { return points_; }
    TIEPoint operator[](int Index) const { return points_.at(std::size_t(Index)); }
    void Add(int X, int Y);
    // Nothing at the start of the list or after another separator.
    void AddSeparator();
    bool EndsWithSeparator() const { return !points_.empty() && IsSeparator(points_.back()); }
    void DropTrailingSeparators();
    // Keeps the first Count points.
    void Truncate(int Count);
    // Cuts the list back to before the last polygon (its separator too).
    void RemoveLastPolygon();
    void Clear();
    // Moves every real point.
    void Offset(int DX, int DY);
    // The real points' box, inclusive; false when there are none.
    bool Box(int& X1, int& Y1, int& X2, int& Y2) const;
    // Four points that form an axis-aligned rectangle of some area.
    bool IsRectangle() const;
    void Assign(std::vector<TIEPoint> Points);

private:
    std::vector<TIEPoint> points_;
};

// The snapshot of a selection: image size, points, their box, the selected flag and the mask
// (integers 32-bit little-endian). Written at the stream's position.
void IEWriteSelection(rtl::TStream& Stream, int ImageWidth, int ImageHeight, const TIESelectionPoints& Points,
                      bool Selected, const TIEMask& Mask);
// Reads a snapshot from the stream's position. Restores points, flag and mask only when it was made
// for an image of this size; false otherwise, and for a snapshot that is damaged (bits per pixel
// other than 1 or 8, counts or sizes beyond what the stream holds), which changes nothing.
bool IEReadSelection(rtl::TStream& Stream, int ImageWidth, int ImageHeight, TIESelectionPoints& Points,
                     bool& Selected, TIEMask& Mask);

// The rectangle selection of Select in image pixels: corners clamped to the image and ordered, the
// right and bottom edges one further so both corner pixels are covered; AspectRatio -1 squares it,
// a positive one makes its height width * ratio (0 leaves it). False when nothing of it remains.
bool IESelectionRectangle(int X1, int Y1, int X2, int Y2, int ImageWidth, int ImageHeight, bool KeepAspect,
                          double AspectRatio, TIEPoint (&Corners)[4]);
// Points of the ellipse in the rectangle (X1, Y1)-(X2, Y2), evenly spaced in angle: at least 50,
// more for larger ellipses (about one per two pixels of perimeter).
std::vector<std::pair<double, double>> IEEllipsePoints(double X1, double Y1, double X2, double Y2);

// ---- layers --------------------------------------------------------------------------------------

// One layer of a view. It owns its bitmap; layer 0's bitmap is the view's image.
class TIELayer : public rtl::TObject {
public:
    // Takes the bitmap (a new empty one when nullptr).
    explicit TIELayer(std::unique_ptr<TIEBitmap> Bitmap);
    // A copy of Source's pixels, format and alpha channel.
    static std::unique_ptr<TIELayer> CopyOf(TIEBitmap& Source);

    TIEBitmap* Bitmap() const { return bitmap_.get(); }
    // Replaces the bitmap, giving back the old one.
    std::unique_ptr<TIEBitmap> SwapBitmap(std::unique_ptr<TIEBitmap> Bitmap);

    // Display size in image pixels of layer 0; 0 takes the bitmap's own.
    int Width = 0;
    int Height = 0;
    int DisplayWidth() const;
    int DisplayHeight() const;
    bool Visible = true;
    bool VisibleBox = true;
    int Transparency = 255;
    int PosX = 0;
    int PosY = 0;
    // Where it was last drawn, in client pixels (right and bottom exclusive).
    TIERect ClientAreaBox;
    bool Cropped = false;
    bool Locked = false;
    bool Magnify = false;
    double MagnifyZoom = 2;
    std::uint8_t MagnifyStyle = 0;  // 0 rectangle, 1 ellipse
    std::uint8_t Operation = 0;

    // The grip square (half-size 4) around the client point P; ieNone when none.
    TIEGrip GripAt(int X, int Y) const;
    // The eight grip centres in grip order (top left, top right, bottom right, bottom left, left,
    // right, top, bottom middles).
    void GripCentres(int (&Xs)[8], int (&Ys)[8]) const;
    // Drags Grip by (DX, DY) image pixels from the size and position the drag started with: the
    // opposite side stays; sizes stay at least 1.
    void ResizeByGrip(TIEGrip Grip, int DX, int DY, int StartX, int StartY, int StartWidth, int StartHeight);

private:
    std::unique_ptr<TIEBitmap> bitmap_;
};

// ---- caption --------------------------------------------------------------------------------------

// Template with "%iw%", "%ih%", "%cw%" and "%ch%" (any case) replaced by the image's and the control's
// width and height.
std::string IEFormatCaption(const std::string& Template, int ImageWidth, int ImageHeight, int ControlWidth,
                            int ControlHeight);

}  // namespace imaging
