// Buffered reading of an image's bytes from a stream, bounded by the end of the image's block, and
// the size checks the readers run before they allocate.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "platform/rtl/Streams.h"

#include <array>
#include <cstdint>

namespace imaging {

// Largest decoded image the PNM, WBMP, TGA, PCX, icon and cursor readers allocate, in bytes of
// pixel rows as the bitmap pads them; larger ones set the abort flag. Far beyond a picture the
// program shows; the fuzz targets lower it to keep each run fast.
extern std::int64_t IEReadMaxImageBytes;

}  // namespace imaging

namespace imaging::detail {

// Reads forward from the stream's position and never past End. A read that asks for more than
// remains is a short read: the caller reports it, nothing is made up.
class TIEReadBuffer {
public:
    // End is absolute; it is clamped to the stream's size.
    TIEReadBuffer(rtl::TStream& Stream, std::int64_t End);
    TIEReadBuffer(const TIEReadBuffer&) = delete;
    TIEReadBuffer& operator=(const TIEReadBuffer&) = delete;

    // Absolute position of the next byte, and the bytes left before End.
    std::int64_t Position() const { return streamPos_ - (filled_ - pos_); }
    std::int64_t Remaining() const { return end_ - Position(); }

    // The next byte, or -1 at the end.
    int Get()
    {
        if (pos_ < filled_)
            return buffer_[pos_++];
        return Refill() ? buffer_[pos_++] : -1;
    }
    // The bytes buffered from the next one on, refilling first when none are: their count (0 at
    // the end) and, in Data, where they are. Consume moves past Count of them.
    std::size_t Peek(const std::uint8_t*& Data)
    {
        if (pos_ == filled_ && !Refill())
            return 0;
        Data = buffer_.data() + pos_;
        return filled_ - pos_;
    }
    void Consume(std::size_t Count) { pos_ += Count; }
    // Count bytes into Dest; false when fewer remain (those there were are copied).
    bool Read(void* Dest, std::int64_t Count);
    bool Skip(std::int64_t Count);

private:
    bool Refill();

    rtl::TStream& stream_;
    std::int64_t streamPos_ = 0;  // the stream's position: just past the buffered bytes
    std::int64_t end_ = 0;
    std::size_t pos_ = 0;
    std::size_t filled_ = 0;
    std::array<std::uint8_t, 8192> buffer_;
};

// Whether a Width x Height image in Format may be allocated: both sides at least 1 and within an
// int, and its rows, padded to 32 bits, within IEReadMaxImageBytes.
bool IEImageFitsLimit(std::int64_t Width, std::int64_t Height, TIEPixelFormat Format);

// Whether Available bytes can hold Units units (bytes or pixels) of image data when no coding packs
// more than UnitsPerPacket units into PacketBytes bytes. Readers refuse a header whose image its
// data could not fill even at the densest coding the format has, before they allocate: a few bytes
// must not make them reserve gigabytes.
bool IEDataCanHold(std::int64_t Available, std::int64_t Units, std::int64_t UnitsPerPacket,
                   std::int64_t PacketBytes);

}  // namespace imaging::detail
