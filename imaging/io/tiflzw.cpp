// LZW codec of TIFF strips.
#include "imaging/io/tiflzw.h"

#include "imaging/io/detail/lzwhash.h"
#include "imaging/io/detail/lzwstrings.h"
#include "platform/rtl/Endian.h"

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace imaging {

namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstCode = 258;
constexpr int kMaxCodes = detail::kLzwMaxCodes;
constexpr std::size_t kStringRoom = detail::kLzwStringRoom;
constexpr std::size_t kHistoryRoom = 256 * 1024;

using detail::kLzwSingles;
using detail::LzwCopyString;
using detail::LzwEntry;

// Bytes that are written before they are read, so they are not cleared first.
class OutputBuffer {
public:
    std::uint8_t* data() { return bytes_.get(); }
    std::size_t size() const { return size_; }
    std::uint8_t& operator[](std::size_t i) { return bytes_[i]; }
    // Keeps the first `used` bytes.
    void Grow(std::size_t size, std::size_t used)
    {
        std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[size]);
        if (used)
            std::memcpy(bigger.get(), bytes_.get(), used);
        bytes_ = std::move(bigger);
        size_ = size;
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t size_ = 0;
};

}  // namespace

struct TIFFLZWDecodeState {
    const std::uint8_t* data = nullptr;  // the caller's, for the life of the state
    std::uint64_t totalBits = 0;
    std::uint64_t fastBits = 0;  // codes starting before this are read with one 8-byte load
    std::uint64_t bitPos = 0;
    int width = 9;
    std::int32_t rowLength = 0;
    // Output since the last clear code (the table's strings live there), then the rows not yet
    // handed out.
    OutputBuffer buffer;
    std::size_t count = 0;      // bytes held in buffer
    std::size_t rowStart = 0;   // the row to hand out next
    std::size_t returned = 0;   // bytes handed out by the previous call, from rowStart
    std::size_t histStart = 0;  // output at the last clear code
    std::size_t oldPos = 0;     // where the previous code's string was written
    int oldCode = -1;
    int nextCode = kFirstCode;
    bool ended = false;
    bool error = false;
    LzwEntry table[kMaxCodes];

    TIFFLZWDecodeState()
    {
        for (int i = 0; i < kMaxCodes; ++i)
            table[i] = LzwEntry{nullptr, 0};
        for (int i = 0; i < 256; ++i)
            table[i] = LzwEntry{kLzwSingles.data() + i, 1};
    }

    void ResetTable()
    {
        nextCode = kFirstCode;
        width = 9;
        oldCode = -1;
        histStart = count;
    }

    // Drops what neither the table nor the caller still needs, and makes room for the rest of the
    // row and one more string: a string starts before the row's end.
    void Reserve()
    {
        const std::size_t keep = histStart < rowStart ? histStart : rowStart;
        if (keep > 0 && keep >= buffer.size() / 2) {
            std::memmove(buffer.data(), buffer.data() + keep, count - keep);
            for (int i = kFirstCode; i < nextCode; ++i)
                table[i].bytes -= keep;
            count -= keep;
            rowStart -= keep;
            histStart -= keep;
            oldPos -= keep;
        }
        const std::size_t need = rowStart + static_cast<std::size_t>(rowLength) + kStringRoom;
        if (buffer.size() < need) {
            const std::uint8_t* old = buffer.data();
            buffer.Grow(buffer.size() * 2 > need ? buffer.size() * 2 : need, count);
            for (int i = kFirstCode; i < nextCode; ++i)
                table[i].bytes = buffer.data() + (table[i].bytes - old);
        }
    }

    // -1 once the data cannot hold another code.
    int ReadCode()
    {
        if (bitPos + static_cast<unsigned>(width) > totalBits)
            return -1;
        std::uint64_t v = 0;
        if (bitPos < fastBits) {
            v = rtl::LoadBE64(data + (bitPos >> 3));
        } else {
            const std::uint64_t last = (totalBits >> 3) - 1;
            for (std::uint64_t i = 0; i < 8; ++i)
                v = (v << 8) | ((bitPos >> 3) + i <= last ? data[(bitPos >> 3) + i] : 0u);
        }
        v <<= (bitPos & 7);
        bitPos += static_cast<unsigned>(width);
        return static_cast<int>(v >> (64 - width));
    }

    void EmitLiteral(int code)
    {
        oldPos = count;
        buffer[count++] = static_cast<std::uint8_t>(code);
    }

    // Adds the previous string followed by the byte now at the write position (for a code
    // already in the table that byte is written first; for the code being defined it is the
    // previous string's own first byte). False once the table is full.
    bool AddEntry()
    {
        if (nextCode >= kMaxCodes)
            return false;
        const std::size_t oldLength = table[oldCode].length;
        table[nextCode] = LzwEntry{buffer.data() + oldPos, static_cast<std::uint32_t>(oldLength + 1)};
        ++nextCode;
        if (nextCode == 511)
            width = 10;
        else if (nextCode == 1023)
            width = 11;
        else if (nextCode == 2047)
            width = 12;
        return true;
    }

    // One code the careful way: clear and end codes, the first code of a table, and errors.
    void Step()
    {
        do {
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
                EmitLiteral(code);
                oldCode = code;
                continue;
            }
            if (oldCode < 0) {
                // No clear code yet: the table is fresh all the same, so only literals make sense.
                if (code >= 256) {
                    error = true;
                    break;
                }
                EmitLiteral(code);
                oldCode = code;
                continue;
            }
            if (code < 256) {
                const std::size_t here = count;
                buffer[count++] = static_cast<std::uint8_t>(code);
                if (!AddEntry()) {
                    error = true;
                    break;
                }
                oldPos = here;
            } else if (code < nextCode) {
                const LzwEntry e = table[code];
                LzwCopyString(buffer.data() + count, e.bytes, e.length);
                const std::size_t here = count;
                count += e.length;
                if (!AddEntry()) {
                    error = true;
                    break;
                }
                oldPos = here;
            } else if (code == nextCode) {
                if (!AddEntry()) {
                    error = true;
                    break;
                }
                const LzwEntry e = table[code];
                std::uint8_t* dst = buffer.data() + count;
                const std::uint8_t* src = e.bytes;
                LzwCopyString(dst, src, e.length - 1);
                dst[e.length - 1] = src[0];
                oldPos = count;
                count += e.length;
            } else {
                error = true;
                break;
            }
            oldCode = code;
        } while (false);
    }

    // Codes that extend the table, until the row is complete or a code needs Step(). The state
    // is held in locals: stores through the byte buffer could otherwise alias every member.
    void Run()
    {
        std::uint8_t* const buf = buffer.data();
        const std::uint8_t* const in = data;
        LzwEntry* const tab = table;
        const std::size_t stop = rowStart + static_cast<std::size_t>(rowLength);
        const std::uint64_t bits = fastBits;
        std::uint64_t bp = bitPos;
        std::size_t cnt = count;
        std::size_t op = oldPos;
        int w = width;
        int nc = nextCode;
        int old = oldCode;
        std::uint32_t oldLen = tab[old].length;
        // A code takes at most 12 bits, and every code adds an entry.
        std::uint64_t codes = bp < bits ? (bits - bp + 11) / 12 : 0;
        if (codes > static_cast<std::uint64_t>(kMaxCodes - nc))
            codes = static_cast<std::uint64_t>(kMaxCodes - nc);
        while (cnt < stop && codes-- > 0) {
            const int code = static_cast<int>((rtl::LoadBE64(in + (bp >> 3)) << (bp & 7)) >> (64 - w));
            const std::size_t here = cnt;
            std::uint32_t len;
            if (code < nc) {
                const LzwEntry e = tab[code];
                if (e.length == 0)
                    break;  // clear or end
                LzwCopyString(buf + cnt, e.bytes, e.length);
                len = e.length;
            } else if (code == nc) {
                len = oldLen + 1;
                LzwCopyString(buf + cnt, buf + op, oldLen);
                buf[cnt + oldLen] = buf[op];
            } else {
                break;
            }
            cnt += len;
            bp += static_cast<unsigned>(w);
            tab[nc] = LzwEntry{buf + op, oldLen + 1};
            ++nc;
            w = 9 + (nc >= 511) + (nc >= 1023) + (nc >= 2047);
            op = here;
            oldLen = len;
            old = code;
        }
        bitPos = bp;
        count = cnt;
        oldPos = op;
        width = w;
        nextCode = nc;
        oldCode = old;
    }

    void Fill()
    {
        Reserve();
        while (!ended && !error && count - rowStart < static_cast<std::size_t>(rowLength)) {
            if (oldCode >= 0) {
                Run();
                if (count - rowStart >= static_cast<std::size_t>(rowLength))
                    break;
            }
            Step();
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
        state->data = data;
        state->totalBits = static_cast<std::uint64_t>(dataSize) * 8;
        state->fastBits = dataSize >= 8 ? static_cast<std::uint64_t>(dataSize - 8) * 8 : 0;
        state->rowLength = rowLength;
        // Room for the table's strings too, so that dropping used output moves little.
        state->buffer.Grow(static_cast<std::size_t>(rowLength) + kStringRoom + kHistoryRoom, 0);
    } else if (rowLength != state->rowLength) {
        return nullptr;
    }
    TIFFLZWDecodeState& s = *state;
    s.rowStart += s.returned;
    s.returned = 0;
    s.Fill();
    if (s.error)
        return nullptr;
    const std::size_t have = s.count - s.rowStart;
    s.returned = have < static_cast<std::size_t>(rowLength) ? have : static_cast<std::size_t>(rowLength);
    if (produced)
        *produced = static_cast<std::int32_t>(s.returned);
    return s.buffer.data() + s.rowStart;
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
