// Content probes of the image formats, all reading through one bounded cursor.
#include "imaging/io/detail/ieprobes.h"

#include "imaging/io/detail/iepxmtokens.h"
#include "platform/rtl/ByteCursor.h"

#include <array>
#include <cstring>

namespace imaging::detail {

TProbeCursor::TProbeCursor(rtl::TStream& Stream) noexcept : stream_(Stream)
{
    try {
        start_ = stream_.Position();
        std::int64_t size = stream_.Size();
        if (start_ < 0 || size < 0)
            return;
        end_ = size > start_ ? size : start_;
        offset_ = start_;
        valid_ = true;
    } catch (...) {
        valid_ = false;
    }
}

TProbeCursor::~TProbeCursor()
{
    if (!valid_)
        return;
    try {
        stream_.Seek(start_, rtl::soBeginning);
    } catch (...) {
        // A stream that cannot seek back now could not seek before either; nothing to restore.
    }
}

bool TProbeCursor::Read(void* Buffer, std::int32_t Count) noexcept
{
    if (!valid_ || Count < 0 || Count > end_ - offset_)
        return false;
    try {
        if (stream_.Seek(offset_, rtl::soBeginning) != offset_)
            return false;
        if (stream_.Read(Buffer, Count) != Count)
            return false;
    } catch (...) {
        return false;
    }
    offset_ += Count;
    return true;
}

bool TProbeCursor::Skip(std::int64_t Count) noexcept
{
    if (!valid_ || Count < 0 || Count > end_ - offset_)
        return false;
    offset_ += Count;
    return true;
}

void TProbeCursor::Rewind() noexcept { offset_ = start_; }

}  // namespace imaging::detail

namespace imaging {

using detail::TProbeCursor;

namespace {

// Icon and cursor files share the directory; only the type word differs.
bool TryIconDirectory(rtl::TStream& stream, std::uint16_t type) noexcept
{
    TProbeCursor cur(stream);
    if (cur.Remaining() < 23)
        return false;
    std::uint8_t header[6];
    if (!cur.Read(header, 6))
        return false;
    rtl::ByteCursor h(header, sizeof header);
    std::uint16_t reserved = 0, kind = 0, count = 0;
    if (!h.ReadLE16(reserved) || !h.ReadLE16(kind) || !h.ReadLE16(count) || reserved != 0 || kind != type ||
        count == 0)
        return false;
    for (int i = 0; i < count; ++i) {
        std::uint8_t entry[16];
        if (!cur.Read(entry, 16))
            return false;
        rtl::ByteCursor e(entry, sizeof entry);
        std::uint8_t reservedByte = 0;
        std::uint32_t bytes = 0, offset = 0;
        if (!e.Skip(3) || !e.ReadU8(reservedByte) || !e.Skip(4) || !e.ReadLE32(bytes) || !e.ReadLE32(offset))
            return false;
        if (reservedByte != 0 || bytes == 0 || offset < static_cast<std::uint64_t>(cur.Offset()))
            return false;
    }
    return true;
}

// The bytes a probe reads through its cursor, a buffer at a time, for the PNM words.
class TProbeBytes {
public:
    explicit TProbeBytes(TProbeCursor& cursor) : cur_(cursor) {}

    int Get()
    {
        if (pos_ == filled_) {
            // A header hidden behind a megabyte of comment is not worth finding.
            if (scanned_ >= kScanLimit)
                return -1;
            std::int64_t want = cur_.Remaining();
            if (want > static_cast<std::int64_t>(buffer_.size()))
                want = static_cast<std::int64_t>(buffer_.size());
            if (want <= 0 || !cur_.Read(buffer_.data(), static_cast<std::int32_t>(want)))
                return -1;
            filled_ = static_cast<std::size_t>(want);
            pos_ = 0;
            scanned_ += want;
        }
        return buffer_[pos_++];
    }

private:
    static constexpr std::int64_t kScanLimit = 1 << 20;
    TProbeCursor& cur_;
    std::array<std::uint8_t, 256> buffer_{};
    std::size_t filled_ = 0;
    std::size_t pos_ = 0;
    std::int64_t scanned_ = 0;
};

}  // namespace

bool TryPNG(rtl::TStream& Stream) noexcept
{
    static constexpr std::uint8_t kSignature[4] = {0x89, 'P', 'N', 'G'};
    TProbeCursor cur(Stream);
    std::uint8_t head[8];
    return cur.Read(head, 8) && std::memcmp(head, kSignature, 4) == 0;
}

bool TryICO(rtl::TStream& Stream) noexcept { return TryIconDirectory(Stream, 1); }

bool TryCUR(rtl::TStream& Stream) noexcept { return TryIconDirectory(Stream, 2); }

bool TryTGA(rtl::TStream& Stream) noexcept
{
    TProbeCursor cur(Stream);
    std::uint8_t h[18];
    if (!cur.Read(h, 18))
        return false;
    const std::uint8_t mapType = h[1];
    const std::uint8_t imageType = h[2];
    const std::uint8_t depth = h[16];
    const bool typeOk = imageType == 1 || imageType == 2 || imageType == 3 || imageType == 9 ||
                        imageType == 10 || imageType == 11;
    const bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    return typeOk && depthOk && mapType <= 1;
}

bool TryPXM(rtl::TStream& Stream) noexcept
{
    constexpr int kMaxTokens = 501;
    using TTokens = detail::TPXMTokens<TProbeBytes>;
    TProbeCursor cur(Stream);
    TProbeBytes bytes(cur);
    TTokens tokens(bytes);
    int used = 0;
    // The next token that is not a comment, within the token budget.
    auto nextWord = [&]() {
        while (used < kMaxTokens) {
            ++used;
            auto kind = tokens.Next();
            if (kind == TTokens::Kind::End)
                return false;
            if (kind == TTokens::Kind::Word)
                return true;
        }
        return false;
    };
    if (!nextWord())
        return false;
    const int magic = tokens.Magic();
    if (magic == 0)
        return false;
    if (!nextWord())
        return false;
    const std::int64_t width = tokens.Number();
    if (!nextWord())
        return false;
    const std::int64_t height = tokens.Number();
    if (magic != 1 && magic != 4 && !nextWord())
        return false;
    return width >= 1 && height >= 1;
}

std::int64_t FindJpegSOI(rtl::TStream& Stream) noexcept
{
    constexpr int kPlaces = 100;
    TProbeCursor cur(Stream);
    std::uint8_t buf[kPlaces + 2];
    std::int64_t have = cur.Remaining();
    if (have > static_cast<std::int64_t>(sizeof buf))
        have = sizeof buf;
    if (have < 3 || !cur.Read(buf, static_cast<std::int32_t>(have)))
        return -1;
    for (std::int64_t i = 0; i + 2 < have && i < kPlaces; ++i) {
        if (buf[i] == 0xFF && buf[i + 1] == 0xD8 && buf[i + 2] == 0xFF)
            return cur.Start() + i;
    }
    return -1;
}

bool TryJP2(rtl::TStream& Stream) noexcept
{
    TProbeCursor cur(Stream);
    std::uint8_t h[12];
    if (!cur.Read(h, 12))
        return false;
    rtl::ByteCursor box(h, sizeof h);
    std::uint32_t length = 0, type = 0, content = 0;
    return box.ReadBE32(length) && box.ReadBE32(type) && box.ReadBE32(content) && length == 12 &&
           type == 0x6A502020 && content == 0x0D0A870A;
}

bool TryJ2K(rtl::TStream& Stream) noexcept
{
    TProbeCursor cur(Stream);
    std::uint8_t h[4];
    return cur.Read(h, 4) && h[0] == 0xFF && h[1] == 0x4F && h[2] == 0xFF && h[3] == 0x51;
}

bool TryAVI(rtl::TStream& Stream) noexcept
{
    TProbeCursor cur(Stream);
    std::uint8_t riff[4];
    std::uint8_t form[4];
    return cur.Read(riff, 4) && cur.Skip(4) && cur.Read(form, 4) && std::memcmp(riff, "RIFF", 4) == 0 &&
           std::memcmp(form, "AVI ", 4) == 0;
}

}  // namespace imaging
