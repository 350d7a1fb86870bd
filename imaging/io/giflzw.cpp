// LZW codec of GIF image data.
#include "imaging/io/giflzw.h"

#include "imaging/io/detail/lzwhash.h"
#include "imaging/io/detail/lzwstrings.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace imaging {

namespace {

constexpr int kMaxCodes = detail::kLzwMaxCodes;
// Code size 9 is taken, but its literal codes past 255 are no byte index and fail the image.
constexpr int kMaxCodeSize = 9;
constexpr int kLiterals = 256;

// Walks rows in file order, for interlaced images in the four passes.
class RowWalker {
public:
    RowWalker(std::int32_t height, bool interlaced) : height_(height), interlaced_(interlaced) {}

    std::int32_t Row() const { return row_; }

    void Next()
    {
        if (!interlaced_) {
            ++row_;
            return;
        }
        row_ += kStep[pass_];
        while (row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
    }

private:
    static constexpr std::int32_t kStart[4] = {0, 4, 2, 1};
    static constexpr std::int32_t kStep[4] = {8, 8, 4, 2};
    std::int32_t height_;
    bool interlaced_;
    int pass_ = 0;
    std::int32_t row_ = 0;
};

using detail::kLzwSingles;
using detail::LzwCopyString;
using detail::LzwEntry;

constexpr std::size_t kStringRoom = detail::kLzwStringRoom;

// The whole output in file order, pixels first and whatever follows them. Past the image only the
// strings of the current table are kept.
class Output {
public:
    explicit Output(std::size_t image) : image_(image) {}

    std::uint8_t* Data() { return bytes_.get(); }
    std::size_t Count() const { return count_; }

    // Makes room for one more string at `count` and returns where it now goes; entries below
    // `tableSize`, `tableStart` (where the current table's strings begin) and `oldPos` move along.
    std::size_t Reserve(std::size_t count, std::size_t& tableStart, std::size_t& oldPos, LzwEntry* table,
                        int firstCode, int tableSize)
    {
        if (size_ - count >= kStringRoom)
            return count;
        const std::size_t from = tableStart > image_ ? tableStart : image_;
        if (count > from && from - image_ >= (count - from)) {
            // Drop the bytes past the image that no entry points at.
            const std::size_t shift = from - image_;
            std::memmove(bytes_.get() + image_, bytes_.get() + from, count - from);
            for (int i = firstCode; i < tableSize; ++i)
                table[i].bytes -= shift;
            tableStart -= shift;
            oldPos -= shift;
            return count - shift;
        }
        const std::size_t size = size_ * 2 > count + kStringRoom ? size_ * 2 : count + kStringRoom + 65536;
        std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[size]);
        if (count)
            std::memcpy(bigger.get(), bytes_.get(), count);
        for (int i = firstCode; i < tableSize; ++i)
            table[i].bytes = bigger.get() + (table[i].bytes - bytes_.get());
        bytes_ = std::move(bigger);
        size_ = size;
        return count;
    }

    void SetCount(std::size_t count) { count_ = count; }

private:
    std::size_t image_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_ = 0;
    std::size_t count_ = 0;
};

// `data` is followed by 8 zero bytes, so every code is read with one 8-byte load. Data that run
// out without the end code are whole only when they filled the image's `pixels`.
bool Decode(const std::vector<std::uint8_t>& data, std::size_t dataSize, int codeSize, std::size_t pixels,
            Output& out)
{
    const int clear = 1 << codeSize;
    const int end = clear + 1;
    int width = codeSize + 1;
    int next = clear + 2;
    int limit = 1 << width;
    std::uint32_t mask = (1u << width) - 1;
    int old = -1;
    std::uint32_t oldLen = 0;
    std::size_t oldPos = 0;
    std::size_t tableStart = 0;
    LzwEntry table[kMaxCodes];
    for (int i = 0; i < kMaxCodes; ++i)
        table[i] = LzwEntry{nullptr, 0};
    for (int i = 0; i < clear && i < kLiterals; ++i)
        table[i] = LzwEntry{kLzwSingles.data() + i, 1};

    const std::uint8_t* const in = data.data();
    const std::uint64_t totalBits = static_cast<std::uint64_t>(dataSize) * 8;
    std::uint64_t bitPos = 0;
    std::size_t count = 0;
    bool ok = true;
    for (;;) {
        count = out.Reserve(count, tableStart, oldPos, table, clear + 2, next);
        if (bitPos + static_cast<unsigned>(width) > totalBits) {
            // Data used up: a frozen table here means lost codes, missing pixels a cut file.
            ok = next < kMaxCodes && count >= pixels;
            break;
        }
        std::uint8_t* const buf = out.Data();
        const int code = static_cast<int>((rtl::LoadLE64(in + (bitPos >> 3)) >> (bitPos & 7)) & mask);
        bitPos += static_cast<unsigned>(width);
        const std::size_t here = count;
        std::uint32_t len;
        if (code < next && table[code].length != 0) {
            const LzwEntry e = table[code];
            LzwCopyString(buf + count, e.bytes, e.length);
            len = e.length;
        } else if (code == clear) {
            width = codeSize + 1;
            next = clear + 2;
            limit = 1 << width;
            mask = (1u << width) - 1;
            old = -1;
            tableStart = count;
            continue;
        } else if (code == end) {
            break;
        } else if (code < clear) {
            ok = false;  // a literal past 255
            break;
        } else if (old < 0) {
            buf[count] = 0;  // the first code after a clear is a single byte; undefined ones count as 0
            oldPos = count++;
            oldLen = 1;
            old = 0;
            continue;
        } else if (code == next && next < kMaxCodes) {
            len = oldLen + 1;
            LzwCopyString(buf + count, buf + oldPos, oldLen);
            buf[count + oldLen] = buf[oldPos];
        } else {
            ok = false;
            break;
        }
        count += len;
        if (old >= 0 && next < kMaxCodes) {
            table[next] = LzwEntry{buf + oldPos, oldLen + 1};
            ++next;
            if (next >= limit && width < 12) {
                ++width;
                limit <<= 1;
                mask = (1u << width) - 1;
            }
        }
        old = code;
        oldPos = here;
        oldLen = len;
    }
    out.SetCount(count);
    return ok;
}

// Hands the decoded pixels out to their rows, in the file's row order.
void PlaceRows(Output& out, std::uint8_t* pixels, std::int32_t width, std::int32_t height, bool interlaced)
{
    if (width <= 0 || height <= 0)
        return;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t have = out.Count();
    if (!interlaced) {
        const std::size_t n = std::min(have, w * static_cast<std::size_t>(height));
        if (n)
            std::memcpy(pixels, out.Data(), n);
        return;
    }
    RowWalker rows(height, interlaced);
    for (std::size_t at = 0; at < have; at += w) {
        const std::int32_t row = rows.Row();
        if (row >= height)
            break;
        std::memcpy(pixels + static_cast<std::size_t>(row) * w, out.Data() + at, std::min(w, have - at));
        rows.Next();
    }
}

}  // namespace

bool GIFLZWDecompress(rtl::TStream& stream, std::int32_t height, std::int32_t width, std::uint8_t* pixels,
                      bool interlaced)
{
    const std::int64_t start = stream.Position();
    std::uint8_t codeSize = 0;
    if (stream.Read(&codeSize, 1) != 1 || codeSize < 2 || codeSize > kMaxCodeSize || height < 0 ||
        width < 0 || (pixels == nullptr && height > 0 && width > 0)) {
        stream.SetPosition(start);
        return false;
    }
    std::vector<std::uint8_t> data;
    std::uint8_t block[256];
    for (;;) {
        std::uint8_t len = 0;
        if (stream.Read(&len, 1) != 1 || len == 0)
            break;
        const std::int32_t got = stream.Read(block, len);
        if (got > 0)
            data.insert(data.end(), block, block + got);
        if (got < len)
            break;
    }
    const std::size_t dataSize = data.size();
    data.resize(dataSize + 8);
    const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    Output out(pixelCount);
    if (!Decode(data, dataSize, codeSize, pixelCount, out)) {
        stream.SetPosition(start);
        return false;
    }
    PlaceRows(out, pixels, width, height, interlaced);
    return true;
}

void GIFLZWCompress(rtl::TStream& stream, std::int32_t height, std::int32_t width, std::int32_t bitsPerPixel,
                    const std::uint8_t* pixels, bool interlaced)
{
    const int codeSize = std::clamp(bitsPerPixel, 2, 8);
    const std::uint8_t sizeByte = static_cast<std::uint8_t>(codeSize);
    stream.Write(&sizeByte, 1);
    detail::LzwHashEncoder encoder(detail::LzwHashEncoder::Variant::Gif, codeSize, stream);
    encoder.Start();
    if (width > 0 && height > 0 && pixels != nullptr) {
        RowWalker rows(height, interlaced);
        for (std::int32_t i = 0; i < height; ++i) {
            const std::int32_t row = rows.Row();
            encoder.Add(pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(width), width);
            rows.Next();
        }
    }
    encoder.Finish();
    const std::uint8_t terminator = 0;
    stream.Write(&terminator, 1);
}

TGIFLZWDecompressFunc DefGIFLZWDecompress = &GIFLZWDecompress;
TGIFLZWCompressFunc DefGIFLZWCompress = &GIFLZWCompress;

}  // namespace imaging
