// LZW codec of GIF image data.
#include "imaging/io/giflzw.h"

#include "imaging/io/detail/lzwhash.h"

#include <algorithm>
#include <array>
#include <vector>

namespace imaging {

namespace {

constexpr int kMaxCodes = 4096;

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

class PixelSink {
public:
    PixelSink(std::uint8_t* pixels, std::int32_t width, std::int32_t height, bool interlaced)
        : pixels_(pixels), width_(width), height_(height), rows_(height, interlaced)
    {
    }

    void Put(std::uint8_t v)
    {
        if (width_ <= 0)
            return;
        const std::int32_t row = rows_.Row();
        if (row >= 0 && row < height_)
            pixels_[static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) +
                    static_cast<std::size_t>(col_)] = v;
        if (++col_ == width_) {
            col_ = 0;
            rows_.Next();
        }
    }

private:
    std::uint8_t* pixels_;  // not owned
    std::int32_t width_;
    std::int32_t height_;
    RowWalker rows_;
    std::int32_t col_ = 0;
};

bool Decode(const std::vector<std::uint8_t>& data, int codeSize, PixelSink& sink)
{
    const int clear = 1 << codeSize;
    const int end = clear + 1;
    int width = codeSize + 1;
    int next = clear + 2;
    int limit = 1 << width;
    int old = -1;
    std::uint8_t first = 0;
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes + 1> stack{};
    for (int i = 0; i < clear; ++i)
        suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);

    const std::int64_t totalBits = static_cast<std::int64_t>(data.size()) * 8;
    std::int64_t bitPos = 0;
    for (;;) {
        if (bitPos + width > totalBits)
            return next < kMaxCodes;  // data used up; a frozen table here means lost codes
        int code = 0;
        for (int i = 0; i < width; ++i) {
            const std::int64_t p = bitPos + i;
            code |= ((data[static_cast<std::size_t>(p >> 3)] >> (p & 7)) & 1) << i;
        }
        bitPos += width;

        if (code == clear) {
            width = codeSize + 1;
            next = clear + 2;
            limit = 1 << width;
            old = -1;
            continue;
        }
        if (code == end)
            return true;
        if (old < 0) {
            if (code >= next)
                code = 0;
            first = suffix[static_cast<std::size_t>(code)];
            sink.Put(first);
            old = code;
            continue;
        }
        if (code > next)
            return false;

        int sp = 0;
        int cur = code;
        if (code == next) {
            if (next >= kMaxCodes)
                return false;
            stack[static_cast<std::size_t>(sp++)] = first;
            cur = old;
        }
        while (cur >= clear) {
            if (sp >= kMaxCodes)
                return false;  // only a corrupt chain gets this long
            stack[static_cast<std::size_t>(sp++)] = suffix[static_cast<std::size_t>(cur)];
            cur = prefix[static_cast<std::size_t>(cur)];
        }
        first = static_cast<std::uint8_t>(cur);
        stack[static_cast<std::size_t>(sp++)] = first;
        while (sp > 0)
            sink.Put(stack[static_cast<std::size_t>(--sp)]);

        if (next < kMaxCodes) {
            prefix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(old);
            suffix[static_cast<std::size_t>(next)] = first;
            ++next;
            if (next >= limit && width < 12) {
                ++width;
                limit <<= 1;
            }
        }
        old = code;
    }
}

}  // namespace

bool GIFLZWDecompress(rtl::TStream& stream, std::int32_t height, std::int32_t width, std::uint8_t* pixels,
                      bool interlaced)
{
    const std::int64_t start = stream.Position();
    std::uint8_t codeSize = 0;
    if (stream.Read(&codeSize, 1) != 1 || codeSize < 2 || codeSize > 9 || height < 0 || width < 0 ||
        (pixels == nullptr && height > 0 && width > 0)) {
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
    PixelSink sink(pixels, width, height, interlaced);
    if (!Decode(data, codeSize, sink)) {
        stream.SetPosition(start);
        return false;
    }
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
