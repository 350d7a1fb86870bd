// LZW codec of TIFF strips.
#include "imaging/io/tiflzw.h"

#include "imaging/io/detail/lzwhash.h"

#include <cstring>
#include <vector>

namespace imaging {

namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstCode = 258;
constexpr int kMaxCodes = 4096;
constexpr int kInlineBytes = 8;
// A string is never longer than the table has entries, so this much room past a row always
// holds the string that completes it.
constexpr std::int64_t kStringRoom = kMaxCodes + 8;

struct Entry {
    std::uint8_t inl[kInlineBytes];
    std::unique_ptr<std::uint8_t[]> heap;  // strings longer than kInlineBytes
    std::uint16_t length = 0;

    const std::uint8_t* Bytes() const { return heap ? heap.get() : inl; }
};

}  // namespace

struct TIFFLZWDecodeState {
    std::vector<std::uint8_t> data;
    std::int64_t bitPos = 0;
    int width = 9;
    std::int32_t rowLength = 0;
    std::vector<std::uint8_t> buffer;
    std::int64_t count = 0;     // bytes held in buffer
    std::int64_t returned = 0;  // bytes handed out by the previous call
    int oldCode = -1;
    int nextCode = kFirstCode;
    bool ended = false;
    bool error = false;
    Entry table[kMaxCodes];

    TIFFLZWDecodeState()
    {
        for (int i = 0; i < 256; ++i) {
            table[i].inl[0] = static_cast<std::uint8_t>(i);
            table[i].length = 1;
        }
    }

    void ResetTable()
    {
        for (int i = kFirstCode; i < kMaxCodes; ++i) {
            table[i].heap.reset();
            table[i].length = 0;
        }
        nextCode = kFirstCode;
        width = 9;
        oldCode = -1;
    }

    // -1 once the data cannot hold another code.
    int ReadCode()
    {
        const std::int64_t totalBits = static_cast<std::int64_t>(data.size()) * 8;
        if (bitPos + width > totalBits)
            return -1;
        const std::int64_t byte = bitPos >> 3;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const std::int64_t at = byte + i;
            v = (v << 8) |
                (at < static_cast<std::int64_t>(data.size()) ? data[static_cast<std::size_t>(at)] : 0u);
        }
        v <<= (bitPos & 7);
        bitPos += width;
        return static_cast<int>(v >> (32 - width));
    }

    bool Emit(const Entry& e)
    {
        if (count + e.length > static_cast<std::int64_t>(buffer.size()))
            return false;
        std::memcpy(buffer.data() + count, e.Bytes(), e.length);
        count += e.length;
        return true;
    }

    // Adds `prefix` followed by `last`; false once the table is full.
    bool AddEntry(int prefix, std::uint8_t last)
    {
        if (nextCode >= kMaxCodes)
            return false;
        const Entry& p = table[prefix];
        Entry& e = table[nextCode];
        const int len = p.length + 1;
        std::uint8_t* dst = e.inl;
        e.heap.reset();
        if (len > kInlineBytes) {
            e.heap = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(len));
            dst = e.heap.get();
        }
        std::memcpy(dst, p.Bytes(), p.length);
        dst[p.length] = last;
        e.length = static_cast<std::uint16_t>(len);
        ++nextCode;
        if (nextCode == 511)
            width = 10;
        else if (nextCode == 1023)
            width = 11;
        else if (nextCode == 2047)
            width = 12;
        return true;
    }

    void Fill()
    {
        while (!ended && !error && count < rowLength) {
            int code = ReadCode();
            if (code < 0 || code == kEndCode) {
                ended = true;
                break;
            }
            if (code == kClearCode) {
                ResetTable();
                do {
                    code = ReadCode();
                } while (code == kClearCode);
                if (code < 0 || code == kEndCode) {
                    ended = true;
                    break;
                }
                if (code >= 256) {
                    error = true;
                    break;
                }
                Emit(table[code]);
                oldCode = code;
                continue;
            }
            if (oldCode < 0) {
                // No clear code yet: the table is fresh all the same, so only literals make sense.
                if (code >= 256) {
                    error = true;
                    break;
                }
                Emit(table[code]);
                oldCode = code;
                continue;
            }
            if (code < nextCode) {
                if (!Emit(table[code]) || !AddEntry(oldCode, table[code].Bytes()[0])) {
                    error = true;
                    break;
                }
            } else if (code == nextCode) {
                if (!AddEntry(oldCode, table[oldCode].Bytes()[0]) || !Emit(table[code])) {
                    error = true;
                    break;
                }
            } else {
                error = true;
                break;
            }
            oldCode = code;
        }
    }
};

struct TIFFLZWEncodeState {
    explicit TIFFLZWEncodeState(rtl::TStream& stream)
        : encoder(detail::LzwHashEncoder::Variant::Tiff, 8, stream)
    {
    }
    detail::LzwHashEncoder encoder;
};

void TIFFLZWStateFree::operator()(TIFFLZWDecodeState* state) const noexcept { delete state; }

void TIFFLZWStateFree::operator()(TIFFLZWEncodeState* state) const noexcept { delete state; }

const std::uint8_t* TIFFLZWDecompress(const std::uint8_t* data, std::int64_t dataSize, std::int32_t rowLength,
                                      TIFFLZWDecodeStatePtr& state, std::int32_t* produced)
{
    if (produced)
        *produced = 0;
    if (data == nullptr || dataSize <= 0) {
        state.reset();
        return nullptr;
    }
    if (rowLength <= 0 || rowLength > (1 << 30))
        return nullptr;
    if (!state) {
        state.reset(new TIFFLZWDecodeState);
        state->data.assign(data, data + dataSize);
        state->rowLength = rowLength;
        state->buffer.resize(static_cast<std::size_t>(rowLength + kStringRoom));
    } else if (rowLength != state->rowLength) {
        return nullptr;
    }
    TIFFLZWDecodeState& s = *state;
    if (s.returned > 0) {
        std::memmove(s.buffer.data(), s.buffer.data() + s.returned,
                     static_cast<std::size_t>(s.count - s.returned));
        s.count -= s.returned;
        s.returned = 0;
    }
    s.Fill();
    if (s.error)
        return nullptr;
    s.returned = s.count < rowLength ? s.count : rowLength;
    if (produced)
        *produced = static_cast<std::int32_t>(s.returned);
    return s.buffer.data();
}

void TIFFLZWCompress(const std::uint8_t* data, std::int64_t count, rtl::TStream& stream,
                     TIFFLZWEncodeStatePtr& state)
{
    if (data == nullptr || count <= 0) {
        if (state) {
            state->encoder.Finish();
            state.reset();
        }
        return;
    }
    if (!state) {
        state.reset(new TIFFLZWEncodeState(stream));
        state->encoder.Start();
    }
    state->encoder.Add(data, count);
}

TTIFFLZWDecompressFunc DefTIFFLZWDecompress = &TIFFLZWDecompress;
TTIFFLZWCompressFunc DefTIFFLZWCompress = &TIFFLZWCompress;

}  // namespace imaging
