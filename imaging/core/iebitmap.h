// The image container TIEBitmap: pixels in memory, in a temporary file or in a platform bitmap, behind
// ScanLine.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/ieplatformbitmap.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace win {
class TCanvas;
}

namespace imaging {

class TIEMask;
class TIEDibbitmap;

// Bytes per row: Width * BitCount bits rounded up to Alignment bits. Computed in 64 bits; a row
// that does not fit an Integer, a negative size or an alignment that is not a positive multiple
// of 8 raises rtl::EInvalidArgument.
int IERowLen(std::int64_t Width, int BitCount, int Alignment);

// Free physical memory in bytes as the platform reports it (0 when unknown).
std::int64_t IEAvailablePhysicalMemory();

// Overrides the automatic temporary-file threshold when not -1.
extern std::int64_t IEMinFileSize;

// Folder of the temporary pixel files; empty means the platform's temporary folder.
void IESetTempFolder(const std::string& folder);
std::string IEGetTempFolder();

// Largest image, in bytes of pixel storage, any location accepts.
inline constexpr std::int64_t kIEMaxImageBytes = std::int64_t(1) << 40;

// Temporary file of raw rows, read and written through views (buffers mapped at an offset).
class TIEFileBuffer : public rtl::TObject {
public:
    TIEFileBuffer() = default;
    ~TIEFileBuffer() override;
    TIEFileBuffer(const TIEFileBuffer&) = delete;
    TIEFileBuffer& operator=(const TIEFileBuffer&) = delete;

    // Creates the file (a unique "vodirad" name in the temporary folder when FileName is empty),
    // sized to Size zero bytes. False when it cannot be created or sized.
    bool AllocateFile(const std::string& FileName, std::int64_t Size);
    void DeAllocate();
    bool IsAllocated() const { return stream_ != nullptr; }
    std::int64_t FileSize() const { return size_; }
    const std::string& FileName() const { return fileName_; }

    // Buffer of Length bytes holding the file at Offset when Access has the read bit (bit 0), and
    // zeros otherwise; written back by UnMap when Access has the write bit (bit 1). The range must
    // lie inside the file. Owned by the file buffer until UnMap.
    std::uint8_t* Map(std::uint8_t Access, std::int64_t Length, std::int64_t Offset);
    void UnMap(std::uint8_t* Buffer);
    void UnMapAll();
    int FindView(const std::uint8_t* Buffer) const;
    // Copies Size bytes at Offset into Dest at the same offset; both must be allocated and large enough.
    // The whole file (Offset 0, Size its size) is copied by the system's file copy, and Dest then takes
    // its size.
    void CopyTo(TIEFileBuffer& Dest, std::int64_t Size, std::int64_t Offset);

private:
    bool CopyWholeFile(TIEFileBuffer& Dest);
    void RemoveLeftovers();
    struct TView {
        std::int64_t offset = 0;
        std::int64_t length = 0;
        std::unique_ptr<std::uint8_t[]> buffer;
        std::uint8_t access = 0;
    };
    std::unique_ptr<rtl::TFileStream> stream_;
    std::string fileName_;
    std::int64_t size_ = 0;
    std::vector<TView> views_;
    std::unique_ptr<std::uint8_t[]> spare_;  // a released buffer kept for the next Map of the same length
    std::vector<std::string> leftovers_;     // old files the system would not delete yet, tried again
    std::int64_t spareLength_ = 0;
};

// A rectangle of a destination, Right and Bottom exclusive.
struct TIERect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

// What RenderToTBitmap builds for one frame (the destination's row addresses and, per rendered
// column and row, the source column and row), kept by the caller to reuse on the next frame. It is
// rebuilt whenever the destination, the rectangles, the zoom or the image size differ from those it
// was built for, so a stale cache is never indexed.
class TIERenderCache {
public:
    void Clear();

private:
    friend class TIEBitmap;
    struct TKey {
        const void* dest = nullptr;
        const std::uint8_t* firstRow = nullptr;
        int destW = 0, destH = 0;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        int destX = 0, destY = 0, destWidth = 0, destHeight = 0;
        int srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
        int imageW = 0, imageH = 0;
        friend bool operator==(const TKey&, const TKey&) = default;
    };
    bool valid_ = false;
    TKey key_;
    std::vector<std::uint8_t*> rows_;  // destination rows y0..y1-1; not owned
    std::vector<int> columns_;         // source column of destination columns x0..x1-1
    std::vector<int> sourceRows_;      // source row of destination rows y0..y1-1
};

// Common face of the library's bitmaps.
class TIEBaseBitmap : public rtl::TObject {
public:
    // Bit 0 read, bit 1 write: copies drop the bit they do not need, so a file-backed source row
    // is not written back and a destination row is not read before it is overwritten.
    std::uint8_t Access = 3;

    virtual std::uint8_t* ScanLine(int Row) = 0;
    virtual int GetBitCount() = 0;
    virtual int GetHeight() = 0;
    virtual int GetWidth() = 0;
    virtual TIEPixelFormat GetPixelFormat() = 0;
    virtual int GetRowLen() = 0;
    virtual void Allocate(int Width, int Height, TIEPixelFormat PixelFormat) = 0;
    virtual void Assign(rtl::TObject* Source) = 0;
};

// Sets a bitmap's Access for a scope and restores it however the scope ends: a reader makes a
// file-backed bitmap's rows read only (1) so they are not written back, a writer write only (2) so
// they are not read before being overwritten.
class TIEAccessScope {
public:
    TIEAccessScope(TIEBaseBitmap& Bitmap, std::uint8_t Access) : bitmap_(Bitmap), saved_(Bitmap.Access)
    {
        Bitmap.Access = Access;
    }
    ~TIEAccessScope() { bitmap_.Access = saved_; }
    TIEAccessScope(const TIEAccessScope&) = delete;
    TIEAccessScope& operator=(const TIEAccessScope&) = delete;

private:
    TIEBaseBitmap& bitmap_;
    std::uint8_t saved_;
};

// The image buffer. Row 0 is the top row in every location. Not for use by two threads at once:
// reading a file-backed row changes state.
class TIEBitmap : public TIEBaseBitmap {
public:
    TIEBitmap();
    ~TIEBitmap() override;
    TIEBitmap(const TIEBitmap&) = delete;
    TIEBitmap& operator=(const TIEBitmap&) = delete;

    // An alpha plane: ie8g, filled with 255; ieTBitmap becomes ieMemory.
    static std::unique_ptr<TIEBitmap> CreateAlpha(int Width, int Height, TIELocation Location);

    // Address of row Row (0 = top). A file-backed row stays valid only until the next ScanLine on
    // this bitmap, which writes it back. Raises rtl::EInvalidArgument for a row outside the image.
    std::uint8_t* ScanLine(int Row) override;
    int GetBitCount() override;
    int GetHeight() override;
    int GetWidth() override;
    TIEPixelFormat GetPixelFormat() override;
    int GetRowLen() override;

    // Frees the old image and allocates zero-filled storage, choosing memory or file by size.
    // Raises rtl::EOutOfMemory for sizes beyond kIEMaxImageBytes or when memory runs out; the
    // image is then empty. Negative sizes count as 0.
    void Allocate(int Width, int Height, TIEPixelFormat PixelFormat) override;
    void FreeImage();
    // Source a TIEBitmap: copies pixels, palette, alpha channel, Full and MonoConversion. Source a
    // platform bitmap: as CopyFromTBitmap. Other objects are ignored.
    void Assign(rtl::TObject* Source) override;
    // As Assign, without the alpha channel and with Full false.
    void AssignImage(TIEBitmap* Source);
    // Hands the whole image to Dest without copying; this bitmap is left empty, its Location kept.
    void MoveTo(TIEBitmap* Dest);

    TIELocation Location() const { return location_; }
    // Moves the pixels to another place. The size rule can still choose memory or file; ie16g and
    // ie32f stay in memory rather than in a platform bitmap. On failure the image is unchanged.
    void SetLocation(TIELocation Value);
    // The platform bitmap holding the pixels, moving them there first; nullptr for formats a
    // platform bitmap cannot hold. Owned by this bitmap unless encapsulated.
    TIEPlatformBitmap* GetVclBitmap();
    // Works on Bitmap's own pixels from now on, without copying them; Bitmap is not owned and must
    // outlive the use. A depth the container has no format for (4, 15, 16, 32 bits, device) is
    // converted to 24 bits in place. nullptr only frees when FreeFirst.
    void EncapsulateTBitmap(TIEPlatformBitmap* Bitmap, bool FreeFirst);
    // Windows build only. The same over a TBitmap of the GUI layer, e.g. a view's picture.
    void EncapsulateTBitmap(win::TBitmap* Bitmap, bool FreeFirst);
    void SyncFromTBitmap();
    void SyncTBitmapPalette();
    bool EncapsulatedTBitmap() const { return encapsulated_; }
    const TIEFileBuffer& FileBuffer() const { return *fileBuffer_; }

    // Converts the pixels in place (nothing when Value is the current format); the alpha channel
    // is kept. Float values outside 0..1 clamp. A platform-bitmap image is converted in memory and
    // its platform bitmap rebuilt in the new format (ie16g and ie32f then stay in memory). When the
    // new pixels cannot be had (rtl::EOutOfMemory) an image in memory or in a file is left as it was.
    void SetPixelFormat(TIEPixelFormat Value);
    // Dest takes a copy of the image in the nearest platform format: ie16g and ie32f as 8-bit grey.
    void CopyToTBitmap(TIEPlatformBitmap* Dest);
    // This image becomes a copy of Source: 1-bit black and white as ie1g, other palette depths
    // as ie8p, the rest as ie24RGB. A device-dependent Source leaves the image as it was.
    void CopyFromTBitmap(TIEPlatformBitmap* Source);
    // Windows build only: the same with a TBitmap of the GUI layer.
    void CopyToTBitmap(win::TBitmap* Dest);
    void CopyFromTBitmap(win::TBitmap* Source);
    // 1, 8 (as ie8g) and 24-bit sections; other depths raise rtl::EInvalidArgument. nullptr is ignored.
    void CopyFromTDibBitmap(TIEDibbitmap* Source);

    // Created on first use (all 255); nullptr on an alpha channel itself.
    TIEBitmap* GetAlphaChannel();
    bool HasAlphaChannel() const { return alpha_ != nullptr; }
    void RemoveAlphaChannel();
    bool IsAlphaChannel() const { return isAlpha_; }
    // 0 outside the image.
    std::uint8_t GetAlpha(int X, int Y);

    TRGB GetPaletteColor(int Index) const;
    void SetPaletteColor(int Index, TRGB Color);
    int PaletteLen() const { return paletteLen_; }
    TRGB* Palette() { return palette_ ? palette_->data() : nullptr; }

    // Full := every pixel holds the maximum value (bytes 255, or 1.0 for ie32f); padding is ignored.
    void UpdateFullFlag();
    bool IsGrayScale();

    // Editing (pixel format unchanged). Coordinates outside the image are clipped or ignored.
    void SetWidth(int Value);
    void SetHeight(int Value);
    void Resize(int NewWidth, int NewHeight, double Fill, double AlphaFill, std::uint8_t HorizAlign,
                std::uint8_t VertAlign);
    void MoveRegion(int X1, int Y1, int X2, int Y2, int DstX, int DstY, double Fill);
    void Fill(double Value);
    void FillRect(int X1, int Y1, int X2, int Y2, double Value);
    void CopyRectTo(TIEBitmap* Dest, int SrcX, int SrcY, int DstX, int DstY, int Width, int Height);
    std::uint8_t GetPixel8(int X, int Y);
    TRGB GetPixel24(int X, int Y);
    TRGB GetPixelRGB(int X, int Y);
    void SetPixel24(int X, int Y, TRGB Color);
    void CopyFromTIEMask(TIEMask* Mask);
    void CopyToTIEMask(TIEMask* Mask);

    // Rendering (iebitmaprender.cpp).
    //
    // Draws the source rectangle, zoomed to the destination rectangle, into a 24-bit Dest (other
    // depths raise rtl::EInvalidArgument), optionally through a resampling filter, blended by
    // Transparency (0..255), by the alpha channel when EnableAlpha and by Operation (0 copies; the
    // blend codes 1..37 of IEBlendChannel and IEBlendPixel). Only the part inside Dest and inside
    // VisibleRect (when given) is drawn; a rectangle that starts outside keeps its alignment. Empty
    // rectangles draw nothing. Cache (may be nullptr) keeps the frame's tables for the next call;
    // FreeCaches empties it afterwards.
    void RenderToTBitmap(TIEPlatformBitmap* Dest, TIERenderCache* Cache, const TIERect* VisibleRect,
                         int DestX, int DestY, int DestWidth, int DestHeight, int SrcX, int SrcY,
                         int SrcWidth, int SrcHeight, bool EnableAlpha, bool RowReuse, int Transparency,
                         TResampleFilter Filter, bool FreeCaches, std::uint8_t Operation);
    // Windows build only: the same into a TBitmap of the GUI layer (made 24-bit when it is not).
    void RenderToTBitmap(win::TBitmap* Dest, TIERenderCache* Cache, const TIERect* VisibleRect, int DestX,
                         int DestY, int DestWidth, int DestHeight, int SrcX, int SrcY, int SrcWidth,
                         int SrcHeight, bool EnableAlpha, bool RowReuse, int Transparency,
                         TResampleFilter Filter, bool FreeCaches, std::uint8_t Operation);
    // The image as it is displayed, in 24 bits: grey formats through the display range, palettes
    // looked up, floats without a range clamped to 0..1. The alpha channel is copied. nullptr when
    // empty.
    std::unique_ptr<TIEBitmap> DisplayCopy24();
    // The picture StretchDrawToCanvas draws: Width x Height, ie1g or ie24RGB, scaled with Filter and
    // passed through the gamma table when Gamma is positive and not 1. nullptr for an empty image
    // or an empty target.
    std::unique_ptr<TIEBitmap> StretchForCanvas(int Width, int Height, TResampleFilter Filter, double Gamma);
    // Windows build only. Draws the image stretched into (X, Y, Width, Height) of Canvas.
    void StretchDrawToCanvas(win::TCanvas* Canvas, int X, int Y, int Width, int Height,
                             TResampleFilter Filter, double Gamma);
    // Windows build only. Draws Width x Height pixels of Source from (SrcX, SrcY) at (X, Y), unscaled.
    static void DrawRectToCanvas(win::TCanvas* Canvas, int X, int Y, int Width, int Height, int SrcX,
                                 int SrcY, TIEBitmap* Source);

    bool Full = false;
    std::int64_t MinFileSize = 0;
    std::uint8_t MonoConversion = 1;
    int PaletteColors = 256;
    double RangeLow = 0;
    double RangeHigh = 0;
    int RedOffset = 0;
    int GreenOffset = 0;
    int BlueOffset = 0;
    int AdjustColors = 0;
    int Contrast = 0;
    int BitAlignment() const { return 32; }

private:
    void AllocateStorage();
    void ReleaseRows();
    void ApplyTBitmapFormat();
    void TakeShapeFromTBitmap();
    // The new size keeps the rows and columns both sizes share (SetWidth and SetHeight).
    void Reshape(int newWidth, int newHeight);
    void CopyPixelsFrom(TIEBitmap& source);
    void FillRowSpan(std::uint8_t* row, int x1, int x2, double value);
    void ConvertToPixelFormat(TIEPixelFormat Value);
    void ConvertPixelsFrom(TIEBitmap& old);
    void QuantizeFrom(TIEBitmap& old);
    // Assign with a platform bitmap; false for objects that are none.
    bool AssignForeign(rtl::TObject* Source);
    bool AssignGuiBitmap(rtl::TObject* Source);
    TIEPlatformBitmap* VclBitmap() const { return encapsulated_ ? borrowedBitmap_ : ownedBitmap_.get(); }

    std::unique_ptr<TIEFileBuffer> fileBuffer_;
    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 0;
    std::uint8_t* mappedRow_ = nullptr;
    int rowLen_ = 0;
    TIEPixelFormat pixelFormat_ = ieNull;
    std::unique_ptr<std::array<TRGB, 256>> palette_;
    int paletteLen_ = 0;
    std::unique_ptr<TIEBitmap> alpha_;
    bool isAlpha_ = false;
    // From calloc: a new image's pages come zeroed from the system instead of being cleared.
    struct TFreeMemory {
        void operator()(std::uint8_t* p) const noexcept;
    };
    std::unique_ptr<std::uint8_t[], TFreeMemory> memory_;
    std::unique_ptr<TIEPlatformBitmap> ownedBitmap_;
    TIEPlatformBitmap* borrowedBitmap_ = nullptr;  // not owned
    std::unique_ptr<TIEPlatformBitmap> wrapper_;  // over an encapsulated TBitmap; borrowedBitmap_ points here
    TIELocation location_ = ieFile;
    bool encapsulated_ = false;
};

// The pixel blends of the renderer. A is the source channel (or pixel), B the destination one; the
// result replaces B. Codes 1..30 work on each channel, 31..37 on the whole pixel (single channels
// and HSL mixes); 0 gives A and codes above 37 leave B. Products of two bytes are divided by 255,
// rounded, so that white and black stay neutral where the blend says they are.
std::uint8_t IEBlendChannel(int Operation, std::uint8_t A, std::uint8_t B);
TRGB IEBlendPixel(int Operation, TRGB A, TRGB B);
// The 256-entry table of blend 29: Round(64 - cos(i * pi / 255) * 64).
const std::array<int, 256>& IEBlendCurve();
// Rows of a band of a stretched drawing: as many as fit MinFileSize, and never fewer than 1.
int IEStretchBandRows(std::int64_t MinFileSize, int RowLen);

namespace detail {
class TIEDibSection;
}

// Bitmap over a DIB section selected into its own memory device context, for drawing with GDI and
// then reading the result row by row. Rows are stored bottom-up and padded to 32 bits; ScanLine(0)
// is the top row. 1-bit sections have the colours black and white, 4 and 8-bit ones a grey ramp.
// Off Windows the rows sit in a heap block and there is no device context.
class TIEDibbitmap : public TIEBaseBitmap {
public:
    TIEDibbitmap();
    ~TIEDibbitmap() override;
    TIEDibbitmap(const TIEDibbitmap&) = delete;
    TIEDibbitmap& operator=(const TIEDibbitmap&) = delete;

    // Raises rtl::EInvalidArgument for a row outside the bitmap.
    std::uint8_t* ScanLine(int Row) override;
    int GetBitCount() override { return bitCount_; }
    int GetHeight() override { return height_; }
    int GetWidth() override { return width_; }
    // ie1g for 1 bit, ie24RGB for 24 bits, ieNull otherwise.
    TIEPixelFormat GetPixelFormat() override;
    int GetRowLen() override { return rowLen_; }
    // ie1g and ie24RGB only; other formats leave the bitmap as it is.
    void Allocate(int Width, int Height, TIEPixelFormat PixelFormat) override;
    // Another TIEDibbitmap only (other objects are ignored): same size and depth, every byte copied.
    void Assign(rtl::TObject* Source) override;

    // A new zero-filled section. Sides below 1 change nothing. BitCount 1, 4, 8, 16, 24 or 32, else
    // rtl::EInvalidArgument; rtl::EOutOfMemory when the section cannot be had, the old one then kept.
    void AllocateBits(int Width, int Height, int BitCount);
    void FreeBitmap();
    // The memory device context (an HDC) with the section selected; nullptr when empty or off Windows.
    void* DC() const;
    // The section (an HBITMAP); nullptr likewise.
    void* Handle() const;

private:
    std::unique_ptr<detail::TIEDibSection> section_;
    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 0;
    int rowLen_ = 0;
};

// Plain work buffer of the processing filters: one heap block, rows bottom-up, 32-bit aligned.
class TIEWorkBitmap : public rtl::TObject {
public:
    TIEWorkBitmap(int Width, int Height, int BitCount);
    void Allocate(int Width, int Height, int BitCount);
    void FreeBits();
    std::uint8_t* ScanLine(int Row);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bitCount_; }
    int RowLen() const { return rowLen_; }

private:
    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 0;
    int rowLen_ = 0;
    std::vector<std::uint8_t> bits_;
};

}  // namespace imaging
