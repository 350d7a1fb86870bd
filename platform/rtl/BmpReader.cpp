// BMP and packed-DIB reading: header checks, colour tables, colour masks, RLE runs and row copies.
#include "platform/rtl/BmpReader.h"

#include "platform/rtl/ByteCursor.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
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
    Cursor(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}
    std::size_t Pos() const { return bytes_.Position(); }

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
    std::uint32_t ClrUsed = 0;
    std::uint32_t Masks[3] = {0, 0, 0};
    bool MasksInHeader = false;

    // Entries of the colour table that follows (palette depths only).
    std::uint32_t TableEntries() const { return BitCount > 8 ? 0 : ClrUsed ? ClrUsed : 1u << BitCount; }
    std::uint32_t EntrySize() const { return Size == kBmpCoreHeaderSize ? 3 : 4; }
    // The colour table or the 12 bytes of masks after a 40-byte header.
    std::uint64_t TableBytes() const
    {
        if (BitCount <= 8)
            return static_cast<std::uint64_t>(TableEntries()) * EntrySize();
        return Compression == kBmpBitFields && Size == kBmpInfoHeaderSize ? 12 : 0;
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
        c.Take(8, what);  // resolution
        f.ClrUsed = c.U32(what);
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
    if (f.BitCount <= 8 && f.ClrUsed > (1u << f.BitCount))
        BadBitmap(Num(f.ClrUsed) + " colours for " + Num(f.BitCount) + " bits per pixel");
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
    if (f.BitCount <= 8) {
        const std::uint32_t entries = f.TableEntries();
        const std::uint32_t entrySize = f.EntrySize();
        const std::uint8_t* table = c.Take(static_cast<std::uint64_t>(entries) * entrySize, "colour table");
        h.Colors.resize(entries);
        for (std::uint32_t i = 0; i < entries; ++i, table += entrySize)
            h.Colors[i] = TBmpColor{table[0], table[1], table[2], 0};
    }
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

    if (IsRle(h.Compression)) {
        h.PixelBytes = available;
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

// Runs of RLE4 or RLE8 into zeroed bottom-up rows. Each command takes at least two bytes, so the
// work is bounded by the data; pixels of a run beyond the edges are skipped, not visited.
void DecodeRle(const TBmpHeader& h, const std::uint8_t* data, std::size_t size, std::uint8_t* rows,
               std::size_t rowStride)
{
    for (std::int32_t y = 0; y < h.Height; ++y)
        std::memset(rows + static_cast<std::size_t>(y) * rowStride, 0, static_cast<std::size_t>(h.RowLength));
    const char* what = "compressed data";
    const bool four = h.BitCount == 4;
    Cursor c(data, size);
    std::int64_t x = 0, y = 0;  // y counted from the bottom
    auto put = [&](std::int64_t count, auto indexAt) {
        if (y < h.Height && x < h.Width) {
            std::uint8_t* row = rows + static_cast<std::size_t>(y) * rowStride;
            const std::int64_t visible = std::min<std::int64_t>(count, h.Width - x);
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
    while (y < h.Height) {
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
            return;
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
}

// Appends exactly `count` bytes of the stream to `out`, refusing before allocating when the
// stream does not hold them.
void Append(TStream& stream, std::vector<std::uint8_t>& out, std::uint64_t count, const char* what)
{
    const std::int64_t remaining = stream.Size() - stream.Position();
    if (remaining < 0 || count > static_cast<std::uint64_t>(remaining))
        BadBitmap(std::string(what) + " needs " + Num(static_cast<std::int64_t>(count)) + " bytes, " +
                  Num(std::max<std::int64_t>(remaining, 0)) + " present");
    std::size_t done = out.size();
    out.resize(done + static_cast<std::size_t>(count));
    while (done < out.size()) {
        const auto chunk = static_cast<std::int32_t>(std::min<std::size_t>(out.size() - done, 1 << 30));
        const std::int32_t n = stream.Read(out.data() + done, chunk);
        if (n <= 0)
            BadBitmap(std::string(what) + " ends early");
        done += static_cast<std::size_t>(n);
    }
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

}  // namespace

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

void DecodeBmpPixels(const TBmpHeader& h, const std::uint8_t* data, std::size_t size, std::uint8_t* rows,
                     std::size_t rowStride)
{
    assert(rows && rowStride >= static_cast<std::size_t>(h.RowLength));
    if (h.PixelOffset > size || h.PixelBytes > size - h.PixelOffset)
        BadBitmap("pixel data lies beyond the end");
    const std::uint8_t* pixels = data + h.PixelOffset;
    if (IsRle(h.Compression)) {
        DecodeRle(h, pixels, static_cast<std::size_t>(h.PixelBytes), rows, rowStride);
        return;
    }
    const std::size_t storedRow =
        static_cast<std::size_t>(h.PixelBytes / static_cast<std::uint64_t>(h.Height));
    const bool unpack = Unpacks(h);
    MaskShift channels[3];
    if (unpack)
        for (int i = 0; i < 3; ++i)
            channels[i] = Analyse(h.Masks[i]);
    const std::size_t width = static_cast<std::size_t>(h.Width);
    for (std::int32_t y = 0; y < h.Height; ++y) {
        // Stored row y is the bottom row unless the rows run top-down.
        const std::uint8_t* src = pixels + static_cast<std::size_t>(y) * storedRow;
        std::uint8_t* dst = rows + static_cast<std::size_t>(h.TopDown ? h.Height - 1 - y : y) * rowStride;
        if (!unpack) {
            std::memcpy(dst, src, static_cast<std::size_t>(h.RowLength));
            continue;
        }
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = h.BitCount == 16 ? LoadLE16(src + x * 2) : LoadLE32(src + x * 4);
            dst[x * 3 + 0] = channels[2].Scale(p);
            dst[x * 3 + 1] = channels[1].Scale(p);
            dst[x * 3 + 2] = channels[0].Scale(p);
        }
        std::memset(dst + width * 3, 0, static_cast<std::size_t>(h.RowLength) - width * 3);
    }
}

std::vector<std::uint8_t> ReadBmpFile(TStream& stream, const TBmpLimits& limits)
{
    std::vector<std::uint8_t> file;
    // The info header says how long the rest is; read it first.
    Append(stream, file, kBmpFileHeaderSize + 4, "file header");
    if (file[0] != 'B' || file[1] != 'M')
        BadBitmap("no BM signature");
    const std::uint32_t fileSize = LoadLE32(&file[2]);
    const std::uint32_t offBits = LoadLE32(&file[10]);
    const std::uint32_t infoSize = LoadLE32(&file[14]);
    if (!KnownInfoSize(infoSize))
        BadBitmap("unknown header size " + Num(infoSize));
    Append(stream, file, infoSize - 4, "info header");
    Cursor c(file.data(), file.size());
    c.Take(kBmpFileHeaderSize, "file header");
    const InfoFields f = ReadInfo(c);

    const std::uint64_t headersEnd = kBmpFileHeaderSize + f.Size;
    std::uint64_t dataStart = headersEnd + f.TableBytes();
    if (offBits != 0) {
        if (offBits < dataStart)
            BadBitmap("pixel data offset " + Num(offBits) + " lies inside the header");
        dataStart = offBits;
    }
    std::uint64_t pixelBytes;
    if (IsRle(f.Compression)) {
        pixelBytes = f.ImageSize;
        if (pixelBytes == 0) {
            if (fileSize <= dataStart)
                BadBitmap("compressed bitmap without a data size");
            pixelBytes = fileSize - dataStart;
        }
    } else {
        const std::optional<std::uint64_t> stored = CheckedMul<std::uint64_t>(f.StoredRowLength(), f.Rows());
        pixelBytes = stored ? *stored : UINT64_MAX;
    }
    if (pixelBytes > limits.MaxPixelBytes)
        BadBitmap(Num(f.Width) + "x" + Num(static_cast<std::int64_t>(f.Rows())) + " exceeds the size limit");
    Append(stream, file, dataStart + pixelBytes - file.size(), "bitmap data");
    return file;
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
