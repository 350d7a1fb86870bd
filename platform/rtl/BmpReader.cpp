// BMP and packed-DIB reading: header checks, colour tables, colour masks, RLE runs and row copies.
#include "platform/rtl/BmpReader.h"

#include "platform/rtl/ByteCursor.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <typeinfo>
#include <utility>

namespace rtl {

namespace {

constexpr std::uint32_t kOs2HeaderSize = 64;
// Headers from this size on hold the three colour masks after the 40-byte part.
constexpr std::uint32_t kMaskedHeaderSize = 52;

[[noreturn]] void BadBitmap(const std::string& why)
{
    throw EInvalidGraphic("bitmap image is not valid: " + why);
}

std::string Num(std::int64_t v) { return std::to_string(v); }

// The shared byte cursor, raising on a short read and naming what was being read and where.
class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : bytes_(data, size), data_(data) {}
    std::size_t Pos() const { return bytes_.Position(); }
    const std::uint8_t* Data() const { return data_; }

    const std::uint8_t* Take(std::uint64_t n, const char* what)
    {
        if (n > bytes_.Remaining())
            BadBitmap(std::string(what) + " ends early at byte " + Num(static_cast<std::int64_t>(Pos())));
        return bytes_.Take(static_cast<std::size_t>(n));
    }
    std::uint8_t U8(const char* what) { return *Take(1, what); }
    std::uint16_t U16(const char* what) { return LoadLE16(Take(2, what)); }
    std::uint32_t U32(const char* what) { return LoadLE32(Take(4, what)); }

private:
    ByteCursor bytes_;
    const std::uint8_t* data_;
};

bool KnownInfoSize(std::uint32_t size)
{
    return size == kBmpCoreHeaderSize || size == kBmpInfoHeaderSize || size == 52 || size == 56 ||
           size == kOs2HeaderSize || size == 108 || size == 124;
}

bool IsRle(std::uint32_t compression) { return compression == kBmpRle8 || compression == kBmpRle4; }

// The info header's fields, each checked on its own and against the others.
struct InfoFields {
    std::uint32_t Size = 0;
    std::int64_t Width = 0;
    std::int64_t Height = 0;  // negative: top-down
    int BitCount = 0;
    std::uint32_t Compression = kBmpRgb;
    std::uint32_t ImageSize = 0;
    std::int32_t XPels = 0;
    std::int32_t YPels = 0;
    std::uint32_t ClrUsed = 0;
    std::uint32_t Masks[3] = {0, 0, 0};
    bool MasksInHeader = false;

    // Entries of the colour table that follows, at any depth.
    std::uint32_t TableEntries() const { return ClrUsed ? ClrUsed : BitCount > 8 ? 0 : 1u << BitCount; }
    std::uint32_t EntrySize() const { return Size == kBmpCoreHeaderSize ? 3 : 4; }
    // The 12 bytes of masks after a 40-byte header.
    std::uint64_t MaskBytes() const
    {
        return Compression == kBmpBitFields && Size == kBmpInfoHeaderSize ? 12 : 0;
    }
    // Masks and colour table.
    std::uint64_t TableBytes() const
    {
        return MaskBytes() + static_cast<std::uint64_t>(TableEntries()) * EntrySize();
    }
    // Bytes of one stored, uncompressed row: padded to 4 bytes.
    std::uint64_t StoredRowLength() const
    {
        return (static_cast<std::uint64_t>(Width) * static_cast<std::uint64_t>(BitCount) + 31) / 32 * 4;
    }
    std::uint64_t Rows() const { return static_cast<std::uint64_t>(Height < 0 ? -Height : Height); }
};

// Reads exactly the info header at the cursor and checks it.
InfoFields ReadInfo(Cursor& c)
{
    const char* what = "info header";
    InfoFields f;
    f.Size = c.U32(what);
    if (!KnownInfoSize(f.Size))
        BadBitmap("unknown header size " + Num(f.Size));
    int planes;
    if (f.Size == kBmpCoreHeaderSize) {
        f.Width = c.U16(what);
        f.Height = c.U16(what);
        planes = c.U16(what);
        f.BitCount = c.U16(what);
    } else {
        f.Width = static_cast<std::int32_t>(c.U32(what));
        f.Height = static_cast<std::int32_t>(c.U32(what));
        planes = c.U16(what);
        f.BitCount = c.U16(what);
        f.Compression = c.U32(what);
        f.ImageSize = c.U32(what);
        f.XPels = static_cast<std::int32_t>(c.U32(what));
        f.YPels = static_cast<std::int32_t>(c.U32(what));
        f.ClrUsed = c.U32(what);
        // Larger counts are damage; the depth's own table size stands in for them.
        if (f.ClrUsed > 256)
            f.ClrUsed = 0;
        c.Take(4, what);  // important colours
        f.MasksInHeader = f.Size >= kMaskedHeaderSize && f.Size != kOs2HeaderSize;
        if (f.MasksInHeader)
            for (std::uint32_t& mask : f.Masks)
                mask = c.U32(what);
        c.Take(f.Size - (f.MasksInHeader ? kMaskedHeaderSize : kBmpInfoHeaderSize), what);
    }
    if (planes != 1)
        BadBitmap(Num(planes) + " planes");
    if (f.BitCount != 1 && f.BitCount != 4 && f.BitCount != 8 && f.BitCount != 16 && f.BitCount != 24 &&
        f.BitCount != 32)
        BadBitmap(Num(f.BitCount) + " bits per pixel");
    if (f.Width <= 0)
        BadBitmap("width " + Num(f.Width));
    if (f.Height == 0 || f.Height == INT32_MIN)
        BadBitmap("height " + Num(f.Height));
    // The OS/2 header gives compression codes 3 and 4 other meanings.
    if (f.Size == kOs2HeaderSize && f.Compression != kBmpRgb && !IsRle(f.Compression))
        BadBitmap("unsupported OS/2 compression " + Num(f.Compression));
    switch (f.Compression) {
    case kBmpRgb: break;
    case kBmpRle8:
        if (f.BitCount != 8 || f.Height < 0)
            BadBitmap("RLE8 needs a bottom-up 8-bit bitmap");
        break;
    case kBmpRle4:
        if (f.BitCount != 4 || f.Height < 0)
            BadBitmap("RLE4 needs a bottom-up 4-bit bitmap");
        break;
    case kBmpBitFields:
        if (f.BitCount != 16 && f.BitCount != 32)
            BadBitmap("bit fields need 16 or 32 bits per pixel");
        break;
    default: BadBitmap("unsupported compression " + Num(f.Compression));
    }
    return f;
}

// A colour mask taken apart: where its bits start and how many there are.
struct MaskShift {
    std::uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;

    std::uint8_t Scale(std::uint32_t pixel) const
    {
        if (!Mask)
            return 0;
        const std::uint32_t v = (pixel & Mask) >> Shift;
        if (Bits >= 8)
            return static_cast<std::uint8_t>(v >> (Bits - 8));
        // Full scale of a narrow field becomes 255.
        return static_cast<std::uint8_t>(v * 255 / ((1u << Bits) - 1));
    }
};

MaskShift Analyse(std::uint32_t mask)
{
    MaskShift m;
    m.Mask = mask;
    if (!mask)
        return m;
    while (!((mask >> m.Shift) & 1))
        ++m.Shift;
    std::uint32_t v = mask >> m.Shift;
    while (v & 1) {
        ++m.Bits;
        v >>= 1;
    }
    if (v) {
        char text[16];
        std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(mask));
        BadBitmap(std::string("colour mask ") + text + " is not contiguous");
    }
    return m;
}

int DecodedBitCount(TBmpPixelFormat format)
{
    switch (format) {
    case bf1bit: return 1;
    case bf4bit: return 4;
    case bf8bit: return 8;
    case bf15bit:
    case bf16bit: return 16;
    case bf24bit: return 24;
    default: return 32;
    }
}

bool SameMasks(const std::uint32_t (&masks)[3], std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    return masks[0] == r && masks[1] == g && masks[2] == b;
}

// Formats whose pixels keep their stored bytes; other masks are scaled into 24 bits.
TBmpPixelFormat ChooseFormat(TBmpHeader& h)
{
    switch (h.BitCount) {
    case 1: return bf1bit;
    case 4: return bf4bit;
    case 8: return bf8bit;
    case 24: return bf24bit;
    case 16:
        if (SameMasks(h.Masks, 0x7C00, 0x03E0, 0x001F))
            return bf15bit;
        return SameMasks(h.Masks, 0xF800, 0x07E0, 0x001F) ? bf16bit : bf24bit;
    default: return SameMasks(h.Masks, 0xFF0000, 0x00FF00, 0x0000FF) ? bf32bit : bf24bit;
    }
}

bool Unpacks(const TBmpHeader& h) { return h.BitCount > 8 && h.BitCount != 24 && h.Format == bf24bit; }

// Reads the masks and colour table after the info header into `h`. A table longer than the room
// before the pixels (`maxEntries`) ends where they begin, as writers that count every entry of the
// depth but store only those they use have it.
void ReadTables(Cursor& c, const InfoFields& f, TBmpHeader& h, std::uint64_t maxEntries = UINT64_MAX)
{
    if (f.BitCount == 16 || f.BitCount == 32) {
        static constexpr std::uint32_t kDefault16[3] = {0x7C00, 0x03E0, 0x001F};
        static constexpr std::uint32_t kDefault32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
        if (f.Compression != kBmpBitFields)
            std::copy_n(f.BitCount == 16 ? kDefault16 : kDefault32, 3, h.Masks);
        else if (f.MasksInHeader)
            std::copy_n(f.Masks, 3, h.Masks);
        else
            for (std::uint32_t& mask : h.Masks)
                mask = c.U32("colour masks");
    }
    const auto entries = static_cast<std::uint32_t>(std::min<std::uint64_t>(f.TableEntries(), maxEntries));
    const std::uint32_t entrySize = f.EntrySize();
    const std::uint8_t* table = c.Take(static_cast<std::uint64_t>(entries) * entrySize, "colour table");
    h.Table.resize(entries);
    for (std::uint32_t i = 0; i < entries; ++i, table += entrySize)
        h.Table[i] = TBmpColor{table[0], table[1], table[2], 0};
    if (f.BitCount <= 8 && entries == 0)
        BadBitmap("no colour table before the pixels");
    if (f.BitCount <= 8)
        h.Colors.assign(h.Table.begin(),
                        h.Table.begin() + std::min<std::uint32_t>(entries, 1u << f.BitCount));
}

// RLE commands take two bytes and a run reaches at most 255 pixels: a larger image than this
// could only be background its data never touches.
std::uint64_t RlePixelsWithin(std::uint64_t dataBytes) { return (dataBytes / 2 + 1) * 255; }

// Walks the runs of RLE4 or RLE8 data and returns the bytes they take, up to the end-of-bitmap
// code or the end of the last row. With `rows` (zeroed bottom-up rows of rowStride bytes) the
// pixels are written; pixels of a run beyond the edges are skipped, not visited. Each command takes
// at least two bytes, so the work is bounded by the data. Raises when the data ends first.
std::size_t WalkRle(std::int64_t width, std::int64_t height, bool four, const std::uint8_t* data,
                    std::size_t size, std::uint8_t* rows, std::size_t rowStride)
{
    const char* what = "compressed data";
    Cursor c(data, size);
    std::int64_t x = 0, y = 0;  // y counted from the bottom
    auto put = [&](std::int64_t count, auto indexAt) {
        if (rows && y < height && x < width) {
            std::uint8_t* row = rows + static_cast<std::size_t>(y) * rowStride;
            const std::int64_t visible = std::min<std::int64_t>(count, width - x);
            for (std::int64_t i = 0; i < visible; ++i) {
                const std::uint8_t index = indexAt(i);
                const std::int64_t at = x + i;
                if (!four) {
                    row[at] = index;
                } else {
                    std::uint8_t& b = row[at / 2];
                    b = (at & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (index & 0x0F))
                                 : static_cast<std::uint8_t>((b & 0x0F) | (index << 4));
                }
            }
        }
        x += count;
    };
    while (y < height) {
        const std::uint8_t count = c.U8(what);
        const std::uint8_t value = c.U8(what);
        if (count) {
            // A repeated byte; at 4 bits its two nibbles alternate.
            put(count, [&](std::int64_t i) -> std::uint8_t {
                return !four ? value : (i & 1) ? value & 0x0F : value >> 4;
            });
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++y;
            break;
        case 1:  // end of bitmap
            return c.Pos();
        case 2:  // move right and up
            x += c.U8(what);
            y += c.U8(what);
            break;
        default: {  // literal pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            const std::uint8_t* literal = c.Take(bytes + (bytes & 1), what);
            put(value, [&](std::int64_t i) -> std::uint8_t {
                return !four ? literal[i] : (i & 1) ? literal[i / 2] & 0x0F : literal[i / 2] >> 4;
            });
            break;
        }
        }
    }
    // The last row's end of line may be followed by the end-of-bitmap code; it belongs to the image.
    if (size - c.Pos() >= 2 && data[c.Pos()] == 0 && data[c.Pos() + 1] == 1)
        return c.Pos() + 2;
    return c.Pos();
}

// Reads a packed DIB starting at the cursor; `pixelOffset` (from the start of the bytes, 0 for
// right after the table) says where its pixels are.
TBmpHeader ReadDib(Cursor& c, std::size_t size, std::uint64_t pixelOffset, const TBmpLimits& limits)
{
    const InfoFields f = ReadInfo(c);
    TBmpHeader h;
    h.InfoSize = f.Size;
    h.Width = static_cast<std::int32_t>(f.Width);
    h.Height = static_cast<std::int32_t>(f.Rows());
    h.TopDown = f.Height < 0;
    h.BitCount = f.BitCount;
    h.Compression = f.Compression;
    h.XPelsPerMeter = f.XPels;
    h.YPelsPerMeter = f.YPels;
    const std::uint64_t tableStart = c.Pos() + f.MaskBytes();
    if (pixelOffset != 0 && pixelOffset < tableStart)
        BadBitmap("pixel data offset " + Num(static_cast<std::int64_t>(pixelOffset)) +
                  " lies inside the header");
    ReadTables(c, f, h, pixelOffset != 0 ? (pixelOffset - tableStart) / f.EntrySize() : UINT64_MAX);
    if (h.Compression == kBmpBitFields && (!h.Masks[0] || !h.Masks[1] || !h.Masks[2]))
        BadBitmap("a colour mask of 0");
    h.Format = ChooseFormat(h);
    if (Unpacks(h))
        for (std::uint32_t mask : h.Masks)
            Analyse(mask);

    const std::uint64_t tableEnd = c.Pos();
    if (pixelOffset == 0)
        pixelOffset = tableEnd;
    if (pixelOffset < tableEnd)
        BadBitmap("pixel data offset " + Num(static_cast<std::int64_t>(pixelOffset)) +
                  " lies inside the header");
    if (pixelOffset > size)
        BadBitmap("pixel data offset " + Num(static_cast<std::int64_t>(pixelOffset)) +
                  " lies beyond the end");
    h.PixelOffset = pixelOffset;
    const std::uint64_t available = size - pixelOffset;

    const std::string dimensions = Num(h.Width) + "x" + Num(h.Height);
    const std::uint64_t rowLength =
        (static_cast<std::uint64_t>(h.Width) * static_cast<std::uint64_t>(DecodedBitCount(h.Format)) + 31) /
        32 * 4;
    const std::optional<std::uint64_t> imageBytes = CheckedMul<std::uint64_t>(rowLength, h.Height);
    if (!imageBytes || *imageBytes > limits.MaxPixelBytes || rowLength > INT32_MAX)
        BadBitmap(dimensions + " exceeds the size limit");
    h.RowLength = static_cast<std::int32_t>(rowLength);

    if (h.Compressed()) {
        if (static_cast<std::uint64_t>(h.Width) * static_cast<std::uint64_t>(h.Height) >
            RlePixelsWithin(available))
            BadBitmap(dimensions + " pixels from " + Num(static_cast<std::int64_t>(available)) +
                      " bytes of compressed data");
        // Walked once here, so that data ending early is refused before anything is allocated.
        h.PixelBytes = WalkRle(h.Width, h.Height, h.BitCount == 4, c.Data() + pixelOffset,
                               static_cast<std::size_t>(available), nullptr, 0);
    } else {
        const std::optional<std::uint64_t> need = CheckedMul<std::uint64_t>(f.StoredRowLength(), h.Height);
        if (!need || *need > available)
            BadBitmap(dimensions + " pixels need " +
                      (need ? Num(static_cast<std::int64_t>(*need)) : std::string("more")) + " bytes, " +
                      Num(static_cast<std::int64_t>(available)) + " present");
        h.PixelBytes = *need;
    }
    return h;
}

// Allocates the rows a checked header asks for and decodes into them.
TBmpImage DecodeOwned(TBmpHeader header, const std::uint8_t* data, std::size_t size)
{
    TBmpImage image;
    image.Header = std::move(header);
    try {
        image.Pixels.resize(static_cast<std::size_t>(image.Header.ImageBytes()));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory");
    }
    DecodeBmpPixels(image.Header, data, size, image.Pixels.data(),
                    static_cast<std::size_t>(image.Header.RowLength));
    return image;
}

// The bytes of an image from a stream's position, fetched as the headers ask for them: in place
// for the library's memory streams (not for classes derived from them, whose reads may do more),
// read into a buffer of its own for any other stream.
class StreamBytes {
public:
    explicit StreamBytes(TStream& stream) : stream_(stream), start_(stream.Position())
    {
        remaining_ = static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Size() - start_, 0));
        if (typeid(stream) == typeid(TMemoryStream))
            memory_ = static_cast<TMemoryStream&>(stream).Memory();
        else if (typeid(stream) == typeid(TReadOnlyMemoryStream))
            memory_ = static_cast<TReadOnlyMemoryStream&>(stream).Memory();
        if (memory_)
            memory_ += start_;
    }
    std::uint64_t Remaining() const { return remaining_; }
    // The first `count` bytes; raises when the stream does not hold them.
    const std::uint8_t* Need(std::uint64_t count, const char* what)
    {
        if (count > remaining_)
            BadBitmap(std::string(what) + " needs " + Num(static_cast<std::int64_t>(count)) + " bytes, " +
                      Num(static_cast<std::int64_t>(remaining_)) + " present");
        if (memory_)
            return memory_;
        std::size_t done = owned_.size();
        if (count > done) {
            try {
                owned_.resize(static_cast<std::size_t>(count));
            } catch (const std::bad_alloc&) {
                throw EOutOfMemory("Out of memory");
            }
            stream_.Seek(start_ + static_cast<std::int64_t>(done), soBeginning);
            while (done < owned_.size()) {
                const auto chunk =
                    static_cast<std::int32_t>(std::min<std::size_t>(owned_.size() - done, 1 << 30));
                const std::int32_t n = stream_.Read(owned_.data() + done, chunk);
                if (n <= 0)
                    BadBitmap(std::string(what) + " ends early");
                done += static_cast<std::size_t>(n);
            }
        }
        return owned_.data();
    }
    TBmpBytes Finish(std::uint64_t length)
    {
        TBmpBytes bytes;
        bytes.Size = static_cast<std::size_t>(length);
        if (memory_) {
            bytes.Data = memory_;
        } else {
            owned_.resize(bytes.Size);
            bytes.Owned = std::move(owned_);
            bytes.Data = bytes.Owned.data();
        }
        stream_.Seek(start_ + static_cast<std::int64_t>(length), soBeginning);
        return bytes;
    }

private:
    TStream& stream_;
    std::int64_t start_;
    std::uint64_t remaining_ = 0;
    const std::uint8_t* memory_ = nullptr;
    std::vector<std::uint8_t> owned_;
};

}  // namespace

std::size_t TBmpHeader::PixelRowBytes() const
{
    return static_cast<std::size_t>(
        (static_cast<std::uint64_t>(Width) * static_cast<std::uint64_t>(DecodedBitCount(Format)) + 7) / 8);
}

TBmpHeader ReadBmpHeader(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits)
{
    Cursor c(data, size);
    const std::uint8_t* fileHeader = c.Take(kBmpFileHeaderSize, "file header");
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M')
        BadBitmap("no BM signature");
    return ReadDib(c, size, LoadLE32(fileHeader + 10), limits);
}

TBmpHeader ReadDibHeader(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits)
{
    Cursor c(data, size);
    return ReadDib(c, size, 0, limits);
}

std::size_t DibHeaderLength(const std::uint8_t* data, std::size_t size)
{
    Cursor c(data, size);
    const InfoFields f = ReadInfo(c);
    TBmpHeader h;
    ReadTables(c, f, h);
    return c.Pos();
}

void DecodeBmpRow(const TBmpHeader& h, const std::uint8_t* data, std::int32_t stored, std::uint8_t* out)
{
    const std::size_t storedRow =
        static_cast<std::size_t>(h.PixelBytes / static_cast<std::uint64_t>(h.Height));
    const std::uint8_t* src = data + h.PixelOffset + static_cast<std::size_t>(stored) * storedRow;
    if (!Unpacks(h)) {
        std::memcpy(out, src, h.PixelRowBytes());
        return;
    }
    MaskShift channels[3];
    for (int i = 0; i < 3; ++i)
        channels[i] = Analyse(h.Masks[i]);
    const std::size_t width = static_cast<std::size_t>(h.Width);
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t p = h.BitCount == 16 ? LoadLE16(src + x * 2) : LoadLE32(src + x * 4);
        out[x * 3 + 0] = channels[2].Scale(p);
        out[x * 3 + 1] = channels[1].Scale(p);
        out[x * 3 + 2] = channels[0].Scale(p);
    }
}

void DecodeBmpPixels(const TBmpHeader& h, const std::uint8_t* data, std::size_t size, std::uint8_t* rows,
                     std::size_t rowStride)
{
    assert(rows && rowStride >= static_cast<std::size_t>(h.RowLength));
    if (h.PixelOffset > size || h.PixelBytes > size - h.PixelOffset)
        BadBitmap("pixel data lies beyond the end");
    for (std::int32_t y = 0; y < h.Height; ++y)
        std::memset(rows + static_cast<std::size_t>(y) * rowStride, 0, static_cast<std::size_t>(h.RowLength));
    if (h.Compressed()) {
        WalkRle(h.Width, h.Height, h.BitCount == 4, data + h.PixelOffset,
                static_cast<std::size_t>(h.PixelBytes), rows, rowStride);
        return;
    }
    for (std::int32_t y = 0; y < h.Height; ++y)
        DecodeBmpRow(h, data, y,
                     rows + static_cast<std::size_t>(h.TopDown ? h.Height - 1 - y : y) * rowStride);
}

void BmpRowToBgr(const TBmpHeader& h, const std::uint8_t* row, std::uint8_t* bgr)
{
    std::array<TBmpColor, 256> table{};
    if (h.Format <= bf8bit)
        std::copy(h.Colors.begin(), h.Colors.end(), table.begin());
    auto put = [bgr](std::size_t x, const TBmpColor& c) {
        bgr[3 * x] = c.Blue;
        bgr[3 * x + 1] = c.Green;
        bgr[3 * x + 2] = c.Red;
    };
    // The 16-bit rule of every path: a field's full scale is 255, and the division rounds down.
    auto field = [](std::uint32_t v, std::uint32_t max) { return static_cast<std::uint8_t>(v * 255 / max); };
    const std::size_t width = static_cast<std::size_t>(h.Width);
    switch (h.Format) {
    case bf1bit:
        for (std::size_t x = 0; x < width; ++x)
            put(x, table[(row[x / 8] >> (7 - x % 8)) & 1]);
        break;
    case bf4bit:
        for (std::size_t x = 0; x < width; ++x)
            put(x, table[(x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4]);
        break;
    case bf8bit:
        for (std::size_t x = 0; x < width; ++x)
            put(x, table[row[x]]);
        break;
    case bf15bit:
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = LoadLE16(row + 2 * x);
            put(x, TBmpColor{field(p & 31, 31), field((p >> 5) & 31, 31), field((p >> 10) & 31, 31), 0});
        }
        break;
    case bf16bit:
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = LoadLE16(row + 2 * x);
            put(x, TBmpColor{field(p & 31, 31), field((p >> 5) & 63, 63), field((p >> 11) & 31, 31), 0});
        }
        break;
    case bf24bit: std::memmove(bgr, row, 3 * width); break;
    case bf32bit:
        for (std::size_t x = 0; x < width; ++x)
            put(x, TBmpColor{row[4 * x], row[4 * x + 1], row[4 * x + 2], 0});
        break;
    }
}

bool BmpIsBlackAndWhite(const TBmpHeader& h, bool& whiteFirst)
{
    if (h.Format != bf1bit)
        return false;
    auto at = [&](std::size_t i) {
        const TBmpColor c = i < h.Colors.size() ? h.Colors[i] : TBmpColor{};
        return c.Red == c.Green && c.Green == c.Blue && (c.Red == 0 || c.Red == 255) ? c.Red : -1;
    };
    const int first = at(0), second = at(1);
    whiteFirst = first == 255;
    return first >= 0 && second >= 0 && first != second;
}

TBmpBytes ReadBmpBytes(TStream& stream, const TBmpLimits& limits, std::int64_t blockSize, bool noFileHeader)
{
    StreamBytes source(stream);
    const std::uint64_t fh = noFileHeader ? 0 : kBmpFileHeaderSize;
    const std::uint8_t* head = source.Need(fh + 4, noFileHeader ? "info header" : "file header");
    std::uint32_t fileSize = 0, offBits = 0;
    if (!noFileHeader) {
        if (head[0] != 'B' || head[1] != 'M')
            BadBitmap("no BM signature");
        fileSize = LoadLE32(head + 2);
        offBits = LoadLE32(head + 10);
    }
    const std::uint32_t infoSize = LoadLE32(head + fh);
    if (!KnownInfoSize(infoSize))
        BadBitmap("unknown header size " + Num(infoSize));
    head = source.Need(fh + infoSize, "info header");
    Cursor c(head, static_cast<std::size_t>(fh + infoSize));
    c.Take(fh, "file header");
    const InfoFields f = ReadInfo(c);

    std::uint64_t dataStart = fh + f.Size + f.TableBytes();
    if (offBits != 0) {
        if (offBits < fh + f.Size + f.MaskBytes())
            BadBitmap("pixel data offset " + Num(offBits) + " lies inside the header");
        dataStart = offBits;
    }
    if (dataStart > source.Remaining())
        BadBitmap("pixel data offset " + Num(static_cast<std::int64_t>(dataStart)) + " lies beyond the end");
    const std::uint64_t present = source.Remaining() - dataStart;
    std::uint64_t pixelBytes;
    bool toTheEnd = false;
    if (IsRle(f.Compression)) {
        const std::uint64_t block = std::min<std::uint64_t>(
            blockSize > 0 ? static_cast<std::uint64_t>(blockSize) : fileSize, source.Remaining());
        if (block > dataStart)
            pixelBytes = block - dataStart;
        else if (f.ImageSize > 0)
            pixelBytes = std::min<std::uint64_t>(f.ImageSize, present);
        else
            pixelBytes = present, toTheEnd = true;
    } else {
        const std::optional<std::uint64_t> stored = CheckedMul<std::uint64_t>(f.StoredRowLength(), f.Rows());
        pixelBytes = stored ? *stored : UINT64_MAX;
    }
    if (pixelBytes > limits.MaxPixelBytes)
        BadBitmap(Num(f.Width) + "x" + Num(static_cast<std::int64_t>(f.Rows())) + " exceeds the size limit");
    const std::uint8_t* all = source.Need(dataStart + pixelBytes, "bitmap data");
    if (toTheEnd)
        pixelBytes = WalkRle(f.Width, static_cast<std::int64_t>(f.Rows()), f.BitCount == 4, all + dataStart,
                             static_cast<std::size_t>(pixelBytes), nullptr, 0);
    return source.Finish(dataStart + pixelBytes);
}

std::vector<std::uint8_t> ReadBmpFile(TStream& stream, const TBmpLimits& limits)
{
    TBmpBytes bytes = ReadBmpBytes(stream, limits);
    if (bytes.Data != bytes.Owned.data())
        return std::vector<std::uint8_t>(bytes.Data, bytes.Data + bytes.Size);
    return std::move(bytes.Owned);
}

TBmpImage DecodeBmp(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits)
{
    return DecodeOwned(ReadBmpHeader(data, size, limits), data, size);
}

TBmpImage DecodeDib(const std::uint8_t* data, std::size_t size, const TBmpLimits& limits)
{
    return DecodeOwned(ReadDibHeader(data, size, limits), data, size);
}

}  // namespace rtl
