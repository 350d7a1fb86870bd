// Drawing helpers every skinned control shares: cutting skin bitmaps into pieces, three- and
// nine-part drawing, stretching, tiling, rotating and recolouring, parents' backgrounds under
// transparent controls, flat window frames, geometry, and two late-bound user-interface calls.
#pragma once

#include "platform/win/Controls.h"
#include "platform/win/Forms.h"
#include "platform/win/Graphics.h"
#include "skin/SUIThemes.h"

#include <string>

namespace skin {

// The library's transparent colour.
inline constexpr win::TColor kSkinTransColor = win::clFuchsia;

// Source holds `count` pieces of equal width (Width div count) side by side; `dest` receives
// piece `index` (1-based) at 24 bits. The last piece is taken from the right edge, so remainder
// columns fall between the last two pieces. A count below 1, an index outside 1 to count, or a
// source narrower than `count` pixels leaves `dest` empty (0 x 0).
void CutBitmapPiece(win::TBitmap* source, win::TBitmap* dest, int count, int index);

// Three equal pieces (left end, middle, right end): the ends drawn as they are at the rectangle's
// ends, the middle stretched between them. A rectangle narrower than one piece gets the left
// piece alone, cut to its width. With `useTransColor` pixels of `transColor` are left out.
void DrawThreePartBitmap(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect,
                         win::TColor transColor, bool useTransColor);
// The same filled: pixels of the mask colour show `fillColor`, and the middle is stretched over
// the rectangle's full height. The mask colour is the source's pixel (0, 0) when `topCorner`,
// else (0, Height - 1), when `useCornerColour`; magenta otherwise.
void DrawThreePartBitmapFilled(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect,
                               bool topCorner, win::TColor fillColor, bool useCornerColour);
// `source` split at half its width and height into nine parts and drawn over an area of the
// rectangle's size at the canvas origin: corners unscaled (masked with magenta when
// `transparent`), edges and centre stretched between them.
void DrawNineGrid(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect, bool transparent);
void StretchBitmapHalftone(win::TBitmap* source, win::TCanvas* canvas, const win::TRect& rect);
// The picture repeated from (0, 0) until it covers the rectangle's width and height; an empty
// picture draws nothing.
void TileGraphic(win::TCanvas* canvas, win::TPicture* picture, const win::TRect& rect);
// Switches the bitmap to 24 bits and replaces every pixel of `oldColor` by `newColor`.
void ReplaceBitmapColor(win::TBitmap* bitmap, win::TColor oldColor, win::TColor newColor);
// A quarter turn counter-clockwise (left) or clockwise (right), in place, at 24 bits.
void RotateBitmapLeft(win::TBitmap* bitmap);
void RotateBitmapRight(win::TBitmap* bitmap);

// Draws the parent's background and paint where `control` lies, on `canvas`.
void PaintParentBackground(win::TCanvas* canvas, win::TControl* control);
// Frames the whole window of `control` (its non-client area included) in `color`, and one pixel
// inside in `innerColor` when `drawInner`.
void FrameWindowRect(win::TWinControl* control, win::TColor color, win::TColor innerColor, bool drawInner);

// Inside tests that include all four edges.
bool PointInRect(const win::TPoint& point, const win::TRect& rect);
bool CoordInRect(int x, int y, const win::TRect& rect);
void SetControlPos(win::TControl* control, const win::TPoint& point);
void SetControlBounds(win::TControl* control, const win::TRect& rect);
// The work area of the monitor nearest the main form, or of the primary monitor without one.
void GetWorkAreaRect(win::TRect& rect);

bool IsFormActive(win::TCustomForm* form);
bool HasPublishedProp(rtl::TObject* instance, const std::string& name);
// Sets "FileTheme" and then "UIStyle" of every direct child control of `container` that
// publishes both.
void SetFileThemeAndStyle(win::TWinControl* container, TsuiUIStyle style, rtl::TComponent* fileTheme);
// The text up to the first NUL of `buffer`.
std::string StrFromBuffer(const char* buffer);

// GetScrollBarInfo and GetComboBoxInfo, looked up in User32 on first use; 0 without calling
// anything once either lookup has failed.
BOOL CallGetScrollBarInfo(HWND window, LONG objectId, SCROLLBARINFO* info);
BOOL CallGetComboBoxInfo(HWND window, COMBOBOXINFO* info);

}  // namespace skin
