// Packed DIBs in global memory blocks, and import through the system's DrawDib.
#include "imaging/core/vodiradproc_win32.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/BmpReader.h"
#include "platform/rtl/ByteCursor.h"
#include "platform/rtl/Win32.h"

#include <vfw.h>

#include <cstring>
#include <memory>

namespace imaging {

void* BitmapToDIB(TIEBitmap* Bitmap, int X, int Width, int Height)
{
    const std::vector<std::uint8_t> dib = BitmapToPackedDIB(Bitmap, X, Width, Height);
    if (dib.empty())
        return nullptr;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, dib.size());
    if (!block)
        throw rtl::EOutOfMemory("Out of memory");
    std::memcpy(::GlobalLock(block), dib.data(), dib.size());
    ::GlobalUnlock(block);
    return block;
}

int GlobalDIBToBitmap(void* DIB, TIEBitmap* Bitmap, const void* Bits, std::size_t BitsSize)
{
    if (!DIB)
        return 0;
    auto block = static_cast<HGLOBAL>(DIB);
    const void* data = ::GlobalLock(block);
    if (!data)
        return 0;
    struct TUnlock {
        HGLOBAL block;
        ~TUnlock() { ::GlobalUnlock(block); }
    } unlock{block};
    return DIBToBitmap(data, ::GlobalSize(block), Bitmap, Bits, BitsSize);
}

int DrawDIBToBitmap(const void* DIB, std::size_t Size, TIEBitmap* Bitmap, const void* Bits,
                    std::size_t BitsSize)
{
    if (!DIB || !Bitmap)
        return 0;
    rtl::ByteCursor cursor(DIB, Size);
    std::uint32_t infoSize = 0, rawWidth = 0, rawHeight = 0, compression = 0, sizeImage = 0, used = 0;
    std::uint16_t planes = 0, bitCount = 0;
    if (!cursor.ReadLE32(infoSize) || infoSize < 40 || infoSize > Size || !cursor.ReadLE32(rawWidth) ||
        !cursor.ReadLE32(rawHeight) || !cursor.ReadLE16(planes) || !cursor.ReadLE16(bitCount) ||
        !cursor.ReadLE32(compression) || !cursor.ReadLE32(sizeImage) || !cursor.Skip(8) ||
        !cursor.ReadLE32(used))
        return 0;
    const auto width = std::int32_t(rawWidth);
    const std::int64_t height = std::abs(std::int64_t(std::int32_t(rawHeight)));
    if (width < 1 || height < 1 || width > (1 << 16) || height > (1 << 16) || used > 256)
        return 0;
    const auto* base = static_cast<const std::uint8_t*>(DIB);
    // The masks and the table, then the rows, counted as the import without DrawDib counts them (a
    // table of biClrUsed entries at any depth); a video frame's data follows its header.
    std::size_t tableEnd = infoSize;
    if (compression <= BI_BITFIELDS) {
        try {
            tableEnd = rtl::DibHeaderLength(base, Size);
        } catch (const rtl::Exception&) {
            return 0;
        }
    }
    const void* rows = Bits ? Bits : base + tableEnd;
    const std::size_t rowBytes = Bits ? BitsSize : Size - tableEnd;
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        const std::uint64_t need = (std::uint64_t(width) * bitCount + 31) / 32 * 4 * std::uint64_t(height);
        if (bitCount == 0 || need > rowBytes)
            return 0;
    } else if (sizeImage > rowBytes || rowBytes == 0) {
        return 0;
    }
    // DrawDib reads the header and table in place: a copy with the table size spelled out.
    std::vector<std::uint8_t> header(base, base + tableEnd);
    if (compression <= BI_BITFIELDS && bitCount <= 8 && used == 0) {
        const std::uint32_t entries = std::uint32_t(1) << bitCount;
        std::memcpy(&header[32], &entries, 4);
    }
    auto section = std::make_unique<TIEDibbitmap>();
    section->AllocateBits(width, int(height), bitCount == 1 ? 1 : 24);
    HDRAWDIB dd = ::DrawDibOpen();
    if (!dd)
        return 0;
    const BOOL drawn = ::DrawDibDraw(dd, static_cast<HDC>(section->DC()), 0, 0, width, int(height),
                                     reinterpret_cast<BITMAPINFOHEADER*>(header.data()),
                                     const_cast<void*>(rows), 0, 0, width, int(height), 0);
    ::GdiFlush();
    ::DrawDibClose(dd);
    if (!drawn)
        return 0;
    auto result = std::make_unique<TIEBitmap>();
    result->MinFileSize = Bitmap->MinFileSize;
    result->CopyFromTDibBitmap(section.get());
    result->MoveTo(Bitmap);
    return bitCount;
}

}  // namespace imaging
