// Small routines the whole image library shares: numbers, colours, HSL, bits of 1-bit rows, bitmap
// geometry and the magic wand.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/iemask.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace imaging {

class TIEBitmap;
class TIEPlatformBitmap;
class TIEQuantizer;

// Numbers.
constexpr int IEMax(int A, int B) { return A < B ? B : A; }
constexpr int IEMin(int A, int B) { return A <= B ? A : B; }
// The lower bound wins: IELimit(5, 5, 3) is 5.
constexpr int IELimit(int V, int Lo, int Hi) { return V <= Lo ? Lo : V < Hi ? V : Hi; }
constexpr std::uint8_t ClampByte(int V) { return static_cast<std::uint8_t>(V < 0 ? 0 : V > 255 ? 255 : V); }
constexpr double IEMinFloat(double A, double B) { return B < A ? B : A; }
constexpr double IEMaxFloat(double A, double B) { return B > A ? B : A; }
// Raise rtl::EInvalidOp for NaN, infinities and values beyond the integer range.
int IECeil(double X);
int IEFloor(double X);
void SwapInt(int& A, int& B);
void SwapBytes(std::uint8_t& A, std::uint8_t& B);
void OrderCoords(int& X1, int& Y1, int& X2, int& Y2);

// Colours.
void SetRGB(std::uint8_t R, std::uint8_t G, std::uint8_t B, TRGB& C);
constexpr std::uint8_t RGBToGray(TRGB C)
{
    return static_cast<std::uint8_t>((C.r * 21u + C.g * 71u + C.b * 8u) / 100u);
}
constexpr TColor SwapRedBlue(TRGB C) { return TColor(C.r) | (TColor(C.g) << 8) | (TColor(C.b) << 16); }
// The three low bytes are red, green, blue. System colours (high byte set) go through the resolver
// first: by default the system's colour table on Windows; elsewhere the high byte is dropped.
void TColorToRGB(TColor Color, TRGB& C);
using TIESystemColorResolver = TColor (*)(TColor);
void IESetSystemColorResolver(TIESystemColorResolver resolver);
constexpr bool SameRGB(TRGB A, TRGB B) { return A == B; }
void SwapRedBlueArray(TRGB* P, int Count);
void SwapRedBlueRow(TRGB* P, int Count);
// The first entry with the smallest sum of channel differences; 0 for an empty palette.
int NearestPaletteIndex(const TRGB* Palette, int Count, TRGB C);
void RGB2HSL(double& H, double& S, double& L, TRGB C);
void HSL2RGB(TRGB& C, double H, double S, double L);

// Bits of 1-bit rows, most significant bit first. X must lie inside the row.
inline constexpr std::array<std::uint8_t, 8> BitMask = {128, 64, 32, 16, 8, 4, 2, 1};
inline std::uint8_t GetPixelBit(const std::uint8_t* Row, int X) { return Row[X >> 3] & BitMask[X & 7]; }
inline void SetPixelBit(std::uint8_t* Row, int X, bool Value)
{
    if (Value)
        Row[X >> 3] |= BitMask[X & 7];
    else
        Row[X >> 3] &= static_cast<std::uint8_t>(~BitMask[X & 7]);
}
// Copies Width bits from bit SourceBit of Source to bit DestBit of Dest; the destination bits
// around the run keep their values. Reads at most SourceRowLength bytes of Source.
void CopyBitRun(std::uint8_t* Dest, const std::uint8_t* Source, int DestBit, int SourceRowLength, int Width,
                int SourceBit);
void InvertBitmapBits(TIEBitmap* Bitmap);
void ReverseByteBits(std::uint8_t& B);
// 256 entries of 8 pixels: white for each set bit of the index, black for each clear one.
const std::array<std::array<TRGB, 8>, 256>& BitExpandTable();

// Geometry. Every routine keeps the pixel format and works for all of them; the alpha channel
// follows the image.
void RotateIEBitmapRight(TIEBitmap* Source, TIEBitmap* Dest);
void RotateIEBitmapLeft(TIEBitmap* Source, TIEBitmap* Dest);
// Direction 0 mirrors left to right, 1 top to bottom.
void FlipBitmap(TIEBitmap* Bitmap, int Direction);
// Angle in degrees, anticlockwise positive; the uncovered area takes Background. Progress in percent.
void RotateBitmap(TIEBitmap* Bitmap, double Angle, TColor Background, const TIEProgressEvent& OnProgress = {},
                  void* Sender = nullptr);
// Platform bitmaps: 1-bit expanded to 24 bits; quarter turns; whole-bitmap copy.
void Expand1BitBitmap(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest,
                      const TIEProgressEvent& OnProgress = {}, void* Sender = nullptr);
void RotateVclBitmapRight(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest);
void RotateVclBitmapLeft(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest);
void CopyBitmapBits(TIEPlatformBitmap* Source, TIEPlatformBitmap* Dest);

// Resampling. Target already has its size; Source is scaled into it. Sizes below 1 do nothing.
// The filtered engines keep the format rules below; a Target of the wrong format raises
// rtl::EInvalidArgument, work buffers too large for memory rtl::EOutOfMemory.
//
// Any filter and format: rfNone stretches by nearest pixel; other filters run the filtered engine
// of the format (1-bit sources give a 24-bit Target; ie8g is filtered as a plane; ie8p, ie16g and
// ie32f, which no filter fits, fall back to nearest). The alpha channel follows, and Source's fully
// transparent pixels are painted grey first so that they do not darken the edges.
void ResampleBitmap(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter, void* Sender = nullptr,
                    const TIEProgressEvent& OnProgress = {});
// Same format in Source and Target; the palette is copied.
void ResampleNearest(TIEBitmap* Source, TIEBitmap* Target, void* Sender = nullptr,
                     const TIEProgressEvent& OnProgress = {});
// ie24RGB Source and Target; other sources are left alone.
void ResampleFiltered(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter, void* Sender = nullptr,
                      const TIEProgressEvent& OnProgress = {});
// ResampleFiltered of the rectangle X, Y, Width x Height of Source, read where it lies: the result is
// that of a copy of the rectangle resampled. The rectangle must lie inside Source and Filter must not
// be rfNone (rtl::EInvalidArgument); a Source other than ie24RGB leaves Target as it is.
void ResampleFilteredRect(TIEBitmap* Source, int X, int Y, int Width, int Height, TIEBitmap* Target,
                          TResampleFilter Filter);
// One byte per pixel (alpha channels, ie8g) into the same.
void ResampleFiltered8(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter);
// ie1g Source, bits read as 0 or 255, into an ie24RGB Target.
void ResampleFiltered1(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter);
// Averages the bits of the rectangle X1,Y1..X2,Y2 (inclusive) of a 1-bit Source into an ie24RGB Target.
void ShrinkBits(TIEBitmap* Source, int X1, int Y1, int X2, int Y2, TIEBitmap* Target);
// Pixels whose alpha is 0 take Color (ie24RGB; ie8g takes its grey). Nothing without an alpha channel.
void PaintTransparentPixels(TIEBitmap* Bitmap, TColor Color);

// Fewer colours. Each routine leaves other formats and null bitmaps alone unless it says otherwise.
// Progress is Trunc(row * 100 / (rows + 0.5)) after each row.

// ie24RGB only: every pixel becomes the palette entry of its colour in a palette of NumColors
// (clamped to 1..256) built by TIEQuantizer; the palette goes to Palette when it holds NumColors entries.
void ReduceColors(TIEBitmap* Bitmap, int NumColors, std::span<TRGB> Palette = {},
                  const TIEProgressEvent& OnProgress = {}, void* Sender = nullptr);
// ie24RGB only: the image becomes its 1-bit 8x8 ordered dither, without alpha channel.
void BWOrdered(TIEBitmap* Bitmap);
// Any format to a 1-bit Dest (Dest may be Source). A 1-bit Source is copied unchanged. Threshold
// -1 takes the grey of the average colour, -2 the maximum-entropy level of the grey histogram;
// a pixel is white when its grey is at least the threshold.
void BWThreshold(TIEBitmap* Source, TIEBitmap* Dest, int Threshold, const TIEProgressEvent& OnProgress = {},
                 void* Sender = nullptr);
// The threshold BWThreshold uses for -1 and -2 (other values come back as they are).
int BWThresholdLevel(TIEBitmap* Source, int Threshold);
// Mean of the row means; 0, 0, 0 for an empty image.
void AverageColor(TIEBitmap* Bitmap, int& R, int& G, int& B);
// The image as 1 bit when it holds exactly two colours: Color1 (bits 0) the darker, Color2 (bits 1)
// the lighter. nullptr for one colour, three or more, or an empty image.
std::unique_ptr<TIEBitmap> TwoColorsTo1Bit(TIEBitmap* Bitmap, TRGB& Color1, TRGB& Color2);

// Packed DIBs (a 40-byte BITMAPINFOHEADER, the colour table or masks, the rows) and video frames.

// ITU-R BT.601 studio range to B, G, R, rounded to nearest (ties to even) and clamped.
void YUVToRGB(int Y, int U, int V, TRGB& C);
// Imports the packed DIB of Size bytes at DIB; its rows are at Bits (BitsSize bytes) when given,
// else after the header and table. Uncompressed, RLE8, RLE4 and bit-field layouts of 1 to 32 bits
// and the YUV frames UYVY, UYNV, cyuv, YUY2, YUNV, YVYU, IYU1, IYU2, Y41P, Y211, CLJR, YVU9, YV12,
// I420 and IYUV are read. A 1-bit DIB whose two colours are black and white gives ie1g, anything
// else ie24RGB. Returns the header's bit count (the layout's own for a frame that gives none), or
// 0 when the DIB is refused (unsupported, inconsistent with its size, or short): Bitmap is then
// left as it was. rtl::EOutOfMemory when the image cannot be had.
// MaxPixelBytes bounds the decoded rows (RLE DIBs can describe large images in few bytes).
int DIBToBitmap(const void* DIB, std::size_t Size, TIEBitmap* Bitmap, const void* Bits = nullptr,
                std::size_t BitsSize = 0, std::uint64_t MaxPixelBytes = 256u * 1024 * 1024);
// The rectangle of Width x Height pixels from column X (rows from the top; 0 and 0 for the whole
// image) as a packed DIB: ie1g as 1 bit with the colours black and white, every other format as
// 24 bits, as it is shown. The rectangle is cut to the image. Empty for an empty image.
std::vector<std::uint8_t> BitmapToPackedDIB(TIEBitmap* Bitmap, int X, int Width, int Height);
// One row of Width pixels from SourceBits (1, 4, 8 through Palette; 24; 32) to DestBits (1, 4,
// 8 through Quantizer's index into a Dest the caller cleared; 24). Returns the bytes of the
// target row, or 0 for a pair it does not convert (Dest then unchanged).
int ConvertRowDepth(std::uint8_t* Dest, const std::uint8_t* Source, int SourceBits, int Width, int DestBits,
                    const TRGB* Palette, TIEQuantizer* Quantizer);

// Magic wand: regions of colour close to a seed pixel.
//
// A pixel is similar to the seed (X, Y) when it lies inside the image and each of its red, green and
// blue values, as GetPixelRGB reads them, differs from the seed's by less than Tolerance, so
// Tolerance 0 accepts nothing. A seed outside the image, a null bitmap or mask, or an empty image
// selects nothing and leaves the mask as it was. Selected pixels get the value 1 and widen the mask's
// box; pixels beyond the mask's own size are dropped.

// Options of the connected finders.
inline constexpr std::uint8_t kIEMagicWand8Connected = 1;  // diagonal neighbours join the region

// Every similar pixel of the image.
void MagicWandSelectAll(TIEBitmap* Bitmap, int X, int Y, TIEMask* Mask, int Tolerance);
// The region of similar pixels connected to the seed, through their four side neighbours (and the
// four diagonal ones with kIEMagicWand8Connected).
void MagicWandFill(TIEBitmap* Bitmap, int X, int Y, int Tolerance, TIEMask* Mask, std::uint8_t Options = 0);
// The outer outline of the same region as a closed polygon along pixel edges: the points are pixel
// corners (0..Width, 0..Height), clockwise on the screen from the top left corner of the region's top
// row, one point per change of direction. Filling it (TIEMask::FillPolygons) covers the region and
// the holes it encloses; two parts of the outline that touch diagonally share a point. Empty when
// nothing is similar.
std::vector<TIEPoint> MagicWandPolygon(TIEBitmap* Bitmap, int X, int Y, int Tolerance,
                                       std::uint8_t Options = 0);
void PointAdd(const TIEPoint& A, const TIEPoint& B, TIEPoint& C);
void PointSub(const TIEPoint& A, const TIEPoint& B, TIEPoint& C);

}  // namespace imaging
