// BMP files and packed DIBs read from untrusted bytes into rows a caller can hand to a DIB section,
// an image buffer or a skin bitmap. Portable: no windows.h; the headers are checked, and the limits
// applied, before anything is allocated.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rtl {

// What the reader accepts
//
// A BMP file is the 14-byte file header ("BM", the file size, the offset of the pixels; 0 means
// right after the colour table) followed by a packed DIB. A packed DIB (bitmap resources, the
// clipboard) is an info header, the colour masks, the colour table, then the pixels.
//
//  - Info headers of 12 bytes (the core header: 16-bit unsigned sizes, 3-byte palette entries),
//    40 (masks follow it for bit fields), 52 and 56 (masks inside), 64 (the OS/2 2.x header,
//    uncompressed or RLE only), 108 and 124 (masks inside; colour spaces and profiles ignored).
//  - 1, 4 and 8 bits per pixel; 16 and 32 bits, uncompressed (x1r5g5b5 and x8r8g8b8) or with bit
//    fields (any contiguous masks); 24 bits uncompressed; RLE8 at 8 bits and RLE4 at 4 bits,
//    bottom-up only.
//  - A colour table of biClrUsed entries at every depth (above 256 counts as 0); 0 means 2^bits
//    entries up to 8 bits and none above. Entries the pixels cannot address are kept in Table only.
//  - Rows bottom-up (positive height) or top-down (negative height), each padded to 4 bytes.
//
// What it gives
//
// Rows bottom-up (the image's last row first, as DIBs keep them), each padded to a multiple of
// 4 bytes, in one of the pixel formats below. 16 and 32-bit pixels keep their own bytes when the
// masks are the standard ones; any other masks are scaled to 8 bits per channel (bf24bit). RLE
// pixels no run reaches are index 0.
//
// What it refuses
//
// EInvalidGraphic "bitmap image is not valid: <what was wrong>" for anything it does not accept,
// for numbers the data cannot back (sizes, offsets, counts), for data that ends early, for
// uncompressed rows the data does not hold and for RLE images larger than their data can cover.
// Never anything else for bad input, and never a read outside the bytes given.
enum TBmpPixelFormat {
    bf1bit,   // palette indexes, 8 pixels a byte, the leftmost in the highest bit
    bf4bit,   // palette indexes, 2 pixels a byte, the left one in the high nibble
    bf8bit,   // palette indexes, one a byte
    bf15bit,  // 16-bit little-endian x1r5g5b5
    bf16bit,  // 16-bit little-endian r5g6b5
    bf24bit,  // blue, green, red
    bf32bit,  // blue, green, red and the stored fourth byte
};

// Compression codes of the info header.
inline constexpr std::uint32_t kBmpRgb = 0;
inline constexpr std::uint32_t kBmpRle8 = 1;
inline constexpr std::uint32_t kBmpRle4 = 2;
inline constexpr std::uint32_t kBmpBitFields = 3;

inline constexpr std::uint32_t kBmpFileHeaderSize = 14;
inline constexpr std::uint32_t kBmpCoreHeaderSize = 12;
inline constexpr std::uint32_t kBmpInfoHeaderSize = 40;

// A palette entry, laid out as the platform's RGBQUAD; Reserved is always 0.
struct TBmpColor {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    std::uint8_t Reserved = 0;
};

struct TBmpLimits {
    // Bytes of decoded rows, padding included; a larger image is refused before anything is
    // allocated. Far beyond any picture a form holds, well inside a 32-bit process.
    std::uint64_t MaxPixelBytes = 256u * 1024 * 1024;
};

// The checked headers: everything DecodeBmpPixels needs, and what a caller allocates for.
struct TBmpHeader {
    std::uint32_t InfoSize = 0;  // 12, 40, 52, 56, 64, 108 or 124
    std::int32_t Width = 0;      // at least 1
    std::int32_t Height = 0;     // at least 1, whichever way the rows are stored
    bool TopDown = false;        // the data holds the top row first
    int BitCount = 0;            // as stored: 1, 4, 8, 16, 24 or 32
    std::uint32_t Compression = kBmpRgb;
    // Resolution in pixels per metre as stored; 0 for the core header.
    std::int32_t XPelsPerMeter = 0;
    std::int32_t YPelsPerMeter = 0;
    // Red, green and blue masks of 16 and 32-bit pixels: the bit fields, or the uncompressed
    // defaults; 0 for the other depths.
    std::uint32_t Masks[3] = {0, 0, 0};
    // The entries the pixels can address: up to 2^BitCount at up to 8 bits (an index beyond them
    // is black), else empty.
    std::vector<TBmpColor> Colors;
    std::vector<TBmpColor> Table;  // every stored entry, at any depth
    TBmpPixelFormat Format = bf24bit;
    std::int32_t RowLength = 0;     // bytes of one decoded row, a multiple of 4
    std::uint64_t PixelOffset = 0;  // where the stored pixels start in the bytes parsed
    // Stored pixel bytes from PixelOffset: exactly the rows for uncompressed data; for RLE the
    // commands up to the end of the bitmap or of its last row.
    std::uint64_t PixelBytes = 0;

    // Bytes of all decoded rows; within the limits the header was read with.
    std::uint64_t ImageBytes() const { return static_cast<std::uint64_t>(RowLength) * Height; }
    // Bytes of one decoded row without its padding.
    std::size_t PixelRowBytes() const;
    bool Compressed() const { return Compression == kBmpRle8 || Compression == kBmpRle4; }
};

// Reads and checks the headers of a BMP file held in `data` (the whole file, or at least up to
// the end of its pixels).
TBmpHeader ReadBmpHeader(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits = {});

// The same for a packed DIB: its pixels follow the colour table or masks.
TBmpHeader ReadDibHeader(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits = {});

// Bytes of a packed DIB's info header, masks and colour table: where its rows start. Checks the
// header as ReadDibHeader does, but not the rows.
std::size_t DibHeaderLength(const std::uint8_t* data, std::size_t size);

// Decodes the pixels `header` describes, from the bytes it was read from, into `rows`: Height
// rows of `rowStride` bytes (at least RowLength), bottom-up. RLE pixels no run reaches are index
// 0 and runs that leave the image are clipped. Raises EInvalidGraphic when the data ends early
// (RLE) or does not hold what the header says; `rows` is then partly written.
void DecodeBmpPixels(const TBmpHeader& header, const std::uint8_t* data, std::size_t size, std::uint8_t* rows,
                     std::size_t rowStride);

// One row of uncompressed data: stored row `stored` (0 is the first in the data) decoded into
// PixelRowBytes() bytes at `out`. It is image row Height - 1 - stored counted from the top, or
// row `stored` when the rows run top-down.
void DecodeBmpRow(const TBmpHeader& header, const std::uint8_t* data, std::int32_t stored, std::uint8_t* out);

// A decoded row as blue, green, red triples: palette indexes through Colors (black beyond them),
// 16-bit fields scaled as v * 255 / max rounded down, the fourth byte of 32 bits dropped.
void BmpRowToBgr(const TBmpHeader& header, const std::uint8_t* row, std::uint8_t* bgr);

// A 1-bit image whose two colours are black and white, either way round; `whiteFirst` says which.
bool BmpIsBlackAndWhite(const TBmpHeader& header, bool& whiteFirst);

// One image's bytes from a stream's position, read by ReadBmpBytes.
struct TBmpBytes {
    const std::uint8_t* Data = nullptr;  // the stream's own memory, or Owned
    std::size_t Size = 0;
    std::vector<std::uint8_t> Owned;
};

// Reads one BMP file (a packed DIB with `noFileHeader`) from the stream's position and leaves the
// stream right after it. The headers say how long it is: uncompressed rows are exactly what the
// header describes, whatever the file size says. The compressed data of an RLE image is the block
// (`blockSize` when positive, else the file header's size) less the headers; without a block, the
// header's image size; without that, the data up to the end of the bitmap's last row or its
// end-of-bitmap code. A memory stream's bytes are used in place. Raises EInvalidGraphic for
// headers that cannot describe a file and for a stream that ends first, before anything large is
// allocated; the stream position is then unspecified. Pass the bytes to ReadBmpHeader (or
// ReadDibHeader) for the rest of the checks.
TBmpBytes ReadBmpBytes(TStream& stream, const TBmpLimits& limits = {}, std::int64_t blockSize = 0,
                       bool noFileHeader = false);

// The same, always as bytes of its own.
std::vector<std::uint8_t> ReadBmpFile(TStream& stream, const TBmpLimits& limits = {});

// A decoded image in memory of its own.
struct TBmpImage {
    TBmpHeader Header;
    std::vector<std::uint8_t> Pixels;  // Header.ImageBytes() bytes, bottom-up rows

    // Row `y` counted from the top.
    const std::uint8_t* Row(std::int32_t y) const
    {
        return Pixels.data() + static_cast<std::size_t>(Header.Height - 1 - y) * Header.RowLength;
    }
};

// Both steps at once, for a BMP file or a packed DIB. Raise EOutOfMemory when the rows, within the
// limits, still cannot be allocated.
TBmpImage DecodeBmp(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits = {});
TBmpImage DecodeDib(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits = {});

}  // namespace rtl
