// Buffered, bounded reading for the image readers, and their size checks.
#include "imaging/io/detail/iereadbuffer.h"

#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace imaging {

std::int64_t IEReadMaxImageBytes = std::int64_t(1) << 30;

}  // namespace imaging

namespace imaging::detail {

TIEReadBuffer::TIEReadBuffer(rtl::TStream& Stream, std::int64_t End) : stream_(Stream)
{
    streamPos_ = std::max<std::int64_t>(stream_.Position(), 0);
    end_ = std::max(std::min(End, stream_.Size()), streamPos_);
}

bool TIEReadBuffer::Refill()
{
    pos_ = filled_ = 0;
    const std::int64_t want = std::min<std::int64_t>(end_ - streamPos_, std::int64_t(buffer_.size()));
    if (want <= 0)
        return false;
    const std::int32_t got = stream_.Read(buffer_.data(), std::int32_t(want));
    if (got <= 0) {
        end_ = streamPos_;  // the stream holds less than its size said
        return false;
    }
    filled_ = std::size_t(got);
    streamPos_ += got;
    return true;
}

bool TIEReadBuffer::Read(void* Dest, std::int64_t Count)
{
    if (Count <= 0)
        return Count == 0;
    auto* out = static_cast<std::uint8_t*>(Dest);
    const std::size_t buffered = std::size_t(std::min<std::int64_t>(Count, std::int64_t(filled_ - pos_)));
    std::memcpy(out, buffer_.data() + pos_, buffered);
    pos_ += buffered;
    Count -= std::int64_t(buffered);
    out += buffered;
    // Large reads go straight from the stream into the caller's memory.
    while (Count > 0) {
        const std::int64_t want = std::min<std::int64_t>({Count, end_ - streamPos_, INT_MAX});
        if (want <= 0)
            return false;
        const std::int32_t got = stream_.Read(out, std::int32_t(want));
        if (got <= 0) {
            end_ = streamPos_;
            return false;
        }
        streamPos_ += got;
        out += got;
        Count -= got;
    }
    return true;
}

bool TIEReadBuffer::Skip(std::int64_t Count)
{
    if (Count < 0 || Count > Remaining())
        return false;
    const std::int64_t buffered = std::int64_t(filled_ - pos_);
    if (Count <= buffered) {
        pos_ += std::size_t(Count);
        return true;
    }
    const std::int64_t target = Position() + Count;
    pos_ = filled_ = 0;
    if (stream_.Seek(target, rtl::soBeginning) != target) {
        streamPos_ = end_ = stream_.Position();
        return false;
    }
    streamPos_ = target;
    return true;
}

bool IEImageFitsLimit(std::int64_t Width, std::int64_t Height, TIEPixelFormat Format)
{
    if (Width < 1 || Height < 1 || Width > INT_MAX || Height > INT_MAX)
        return false;
    const auto bits = rtl::CheckedMul<std::int64_t>(Width, IEBitCount(Format));
    if (!bits)
        return false;
    const std::int64_t rowBytes = (*bits + 31) / 32 * 4;
    const auto total = rtl::CheckedMul<std::int64_t>(rowBytes, Height);
    return total && *total <= IEReadMaxImageBytes && rowBytes <= INT_MAX;
}

bool IEDataCanHold(std::int64_t Available, std::int64_t Units, std::int64_t UnitsPerPacket,
                   std::int64_t PacketBytes)
{
    if (Units <= 0)
        return true;
    const auto scaled = rtl::CheckedMul<std::int64_t>(Units, PacketBytes);
    return scaled && (*scaled - 1) / UnitsPerPacket + 1 <= Available;
}

}  // namespace imaging::detail
