// TStream's buffered helpers and the memory-backed streams.
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace rtl {

namespace {

constexpr std::int32_t kCopyBlockSize = 0xF000;

// Resolves a seek request against the current position and the size; overflow cannot
// happen for the positions a memory stream can hold, but a hostile offset can, so saturate.
std::int64_t SeekTarget(std::int64_t offset, TSeekOrigin origin, std::int64_t position, std::int64_t size)
{
    std::int64_t base = 0;
    switch (origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = position; break;
    case soEnd: base = size; break;
    }
    std::int64_t result;
    if (__builtin_add_overflow(base, offset, &result))
        result =
            offset < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    return result;
}

// How many of `count` bytes are available at `position` in a block of `size` bytes.
std::int32_t Available(std::int64_t position, std::int64_t size, std::int32_t count)
{
    if (count <= 0 || position < 0 || position >= size)
        return 0;
    return static_cast<std::int32_t>(std::min<std::int64_t>(count, size - position));
}

}  // namespace

// ---- TStream ----

std::int64_t TStream::Size()
{
    const std::int64_t position = Seek(0, soCurrent);
    const std::int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::SetSize(std::int64_t /*newSize*/) {}

void TStream::ReadBuffer(void* buffer, std::int32_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int32_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count < 0)
        throw EStreamError("negative copy count");
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::int64_t>(count, kCopyBlockSize)));
    std::int64_t left = count;
    while (left > 0) {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(left, kCopyBlockSize));
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        left -= n;
    }
    return count;
}

// ---- TMemoryStream ----

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count)
{
    const std::int32_t n = Available(position_, Size(), count);
    if (n > 0) {
        std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
        position_ += n;
    }
    return n;
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count)
{
    if (count <= 0 || position_ < 0)
        return 0;
    if (position_ > std::numeric_limits<std::int64_t>::max() - count)
        throw EStreamError("Out of memory while expanding memory stream");
    const std::int64_t end = position_ + count;
    if (end > Size())
        Grow(end);
    std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
    position_ = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    position_ = SeekTarget(offset, origin, position_, Size());
    return position_;
}

void TMemoryStream::SetSize(std::int64_t newSize)
{
    if (newSize < 0)
        throw EStreamError("negative memory stream size");
    if (newSize > Size())
        Grow(newSize);
    else
        data_.resize(static_cast<std::size_t>(newSize));
    if (position_ > newSize)
        position_ = newSize;
}

void TMemoryStream::Grow(std::int64_t newSize)
{
    // A block is limited to 2 GB on every platform: i686 cannot hold more, and a hostile seek
    // followed by a write must fail the same way natively instead of asking for terabytes.
    constexpr std::int64_t kMaxSize = std::numeric_limits<std::int32_t>::max();
    if (newSize > kMaxSize)
        throw EStreamError("Out of memory while expanding memory stream");
    try {
        const auto wanted = static_cast<std::size_t>(newSize);
        if (wanted > data_.capacity()) {
            // Grow by half again, in 8 KB steps, so byte-by-byte writes stay linear overall.
            std::size_t capacity = std::max(wanted, data_.capacity() + data_.capacity() / 2);
            capacity = std::min<std::size_t>((capacity + 0x1FFF) & ~std::size_t{0x1FFF},
                                             static_cast<std::size_t>(kMaxSize));
            data_.reserve(std::max(capacity, wanted));
        }
        data_.resize(wanted);
    } catch (const std::bad_alloc&) {
        throw EStreamError("Out of memory while expanding memory stream");
    } catch (const std::length_error&) {
        throw EStreamError("Out of memory while expanding memory stream");
    }
}

void TMemoryStream::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    SetSize(size);
    std::int64_t done = 0;
    while (done < size) {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(size - done, 0x40000000));
        source.ReadBuffer(data_.data() + done, n);
        done += n;
    }
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& dest) const
{
    const auto size = static_cast<std::int64_t>(data_.size());
    std::int64_t done = 0;
    while (done < size) {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(size - done, 0x40000000));
        dest.WriteBuffer(data_.data() + done, n);
        done += n;
    }
}

void TMemoryStream::SaveToFile(const std::string& fileName) const
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

// ---- TReadOnlyMemoryStream ----

TReadOnlyMemoryStream::TReadOnlyMemoryStream(const void* data, std::int64_t size)
    : data_(static_cast<const std::uint8_t*>(data)), size_(data ? std::max<std::int64_t>(size, 0) : 0)
{
}

std::int32_t TReadOnlyMemoryStream::Read(void* buffer, std::int32_t count)
{
    const std::int32_t n = Available(position_, size_, count);
    if (n > 0) {
        std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(n));
        position_ += n;
    }
    return n;
}

std::int32_t TReadOnlyMemoryStream::Write(const void* /*buffer*/, std::int32_t /*count*/) { return 0; }

std::int64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    position_ = SeekTarget(offset, origin, position_, size_);
    return position_;
}

void TReadOnlyMemoryStream::SetSize(std::int64_t /*newSize*/)
{
    throw EStreamError("Can't write to a read-only memory stream");
}

// ---- TStringStream ----

TStringStream::TStringStream(const std::string& text)
{
    WriteString(text);
    SetPosition(0);
}

std::string TStringStream::DataString() const
{
    const auto& bytes = Bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::string TStringStream::ReadString(std::int32_t count)
{
    const std::int64_t position = Position();
    const std::int32_t n = Available(position, Size(), count);
    std::string result(static_cast<std::size_t>(n), '\0');
    if (n > 0)
        Read(result.data(), n);
    return result;
}

void TStringStream::WriteString(const std::string& text)
{
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw EWriteError("Stream write error");
    WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
}

}  // namespace rtl
