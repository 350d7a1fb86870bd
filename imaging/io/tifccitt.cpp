// CCITT bilevel row codecs: modified Huffman, Group 3 1-D and 2-D, Group 4.
#include "imaging/io/tifccitt.h"

#include "imaging/io/detail/bitio.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

namespace imaging {

namespace {

// Code words as bit strings, index 0-63 terminating codes, then the make-up codes 64..2560 in
// steps of 64 (the last thirteen are shared by both colours).
constexpr const char* kWhiteCodes[104] = {
    "00110101", "000111", "0111", "1000", "1011", "1100", "1110", "1111", "10011", "10100", "00111", "01000",
    "001000", "000011", "110100", "110101", "101010", "101011", "0100111", "0001100", "0001000", "0010111",
    "0000011", "0000100", "0101000", "0101011", "0010011", "0100100", "0011000", "00000010", "00000011",
    "00011010", "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111",
    "00101000", "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101",
    "00001010", "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101",
    "01011000", "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011",
    "00110100",
    // make-up 64..1728
    "11011", "10010", "010111", "0110111", "00110110", "00110111", "01100100", "01100101", "01101000",
    "01100111", "011001100", "011001101", "011010010", "011010011", "011010100", "011010101", "011010110",
    "011010111", "011011000", "011011001", "011011010", "011011011", "010011000", "010011001", "010011010",
    "011000", "010011011",
    // extended make-up 1792..2560
    "00000001000", "00000001100", "00000001101", "000000010010", "000000010011", "000000010100",
    "000000010101", "000000010110", "000000010111", "000000011100", "000000011101", "000000011110",
    "000000011111"};

constexpr const char* kBlackCodes[104] = {
    "0000110111", "010", "11", "10", "011", "0011", "0010", "00011", "000101", "000100", "0000100", "0000101",
    "0000111", "00000100", "00000111", "000011000", "0000010111", "0000011000", "0000001000", "00001100111",
    "00001101000", "00001101100", "00000110111", "00000101000", "00000010111", "00000011000", "000011001010",
    "000011001011", "000011001100", "000011001101", "000001101000", "000001101001", "000001101010",
    "000001101011", "000011010010", "000011010011", "000011010100", "000011010101", "000011010110",
    "000011010111", "000001101100", "000001101101", "000011011010", "000011011011", "000001010100",
    "000001010101", "000001010110", "000001010111", "000001100100", "000001100101", "000001010010",
    "000001010011", "000000100100", "000000110111", "000000111000", "000000100111", "000000101000",
    "000001011000", "000001011001", "000000101011", "000000101100", "000001011010", "000001100110",
    "000001100111",
    // make-up 64..1728
    "0000001111", "000011001000", "000011001001", "000001011011", "000000110011", "000000110100",
    "000000110101", "0000001101100", "0000001101101", "0000001001010", "0000001001011", "0000001001100",
    "0000001001101", "0000001110010", "0000001110011", "0000001110100", "0000001110101", "0000001110110",
    "0000001110111", "0000001010010", "0000001010011", "0000001010100", "0000001010101", "0000001011010",
    "0000001011011", "0000001100100", "0000001100101",
    // extended make-up 1792..2560
    "00000001000", "00000001100", "00000001101", "000000010010", "000000010011", "000000010100",
    "000000010101", "000000010110", "000000010111", "000000011100", "000000011101", "000000011110",
    "000000011111"};

constexpr int kRunEol = -1;
constexpr int kRunInvalid = -2;
constexpr int kMaxCodeBits = 32;

struct Code {
    std::uint8_t length = 0;
    std::uint32_t bits = 0;
    std::int32_t run = 0;
};

// Run-length code tables and the decoding trees built from them. Inner nodes are marked 128 as
// in the table layout; a leaf holds its table index.
struct CodeTables {
    static constexpr int kEntries = 128;
    static constexpr int kInner = 128;
    std::array<std::array<Code, kEntries>, 2> table{};
    std::array<int, 2> used{};
    struct Node {
        int child[2] = {-1, -1};
        int mark = kInner;
    };
    std::array<std::vector<Node>, 2> tree;

    CodeTables()
    {
        for (int colour = 0; colour < 2; ++colour) {
            const char* const* src = colour == 0 ? kWhiteCodes : kBlackCodes;
            int n = 0;
            for (int i = 0; i < 104; ++i) {
                Code c;
                for (const char* p = src[i]; *p; ++p)
                    c.bits = (c.bits << 1) | static_cast<std::uint32_t>(*p - '0');
                c.length = static_cast<std::uint8_t>(std::strlen(src[i]));
                c.run = i < 64 ? i : (i - 63) * 64;
                table[colour][n++] = c;
            }
            // EOL, and EOL after fill zeros up to a 32-bit code.
            for (int len = 12; len <= kMaxCodeBits; ++len)
                table[colour][n++] = Code{static_cast<std::uint8_t>(len), 1u, kRunEol};
            used[colour] = n;
            auto& t = tree[colour];
            t.assign(1, Node{});
            for (int i = 0; i < n; ++i) {
                const Code& c = table[colour][i];
                int node = 0;
                for (int b = c.length - 1; b >= 0; --b) {
                    const int bit = static_cast<int>((c.bits >> b) & 1);
                    assert(t[static_cast<std::size_t>(node)].mark == kInner);  // prefix-free
                    if (t[static_cast<std::size_t>(node)].child[bit] < 0) {
                        t[static_cast<std::size_t>(node)].child[bit] = static_cast<int>(t.size());
                        t.push_back(Node{});
                    }
                    node = t[static_cast<std::size_t>(node)].child[bit];
                }
                assert(t[static_cast<std::size_t>(node)].child[0] < 0 &&
                       t[static_cast<std::size_t>(node)].child[1] < 0);
                t[static_cast<std::size_t>(node)].mark = i;
            }
        }
    }

    // The code for a run of at most 2560 pixels that is either below 64 or a multiple of 64.
    const Code& For(int colour, int run) const
    {
        return table[colour][static_cast<std::size_t>(run < 64 ? run : 63 + run / 64)];
    }
};

const CodeTables& Tables()
{
    static const CodeTables tables;
    return tables;
}

// Built at start-up, not on the first decode.
[[maybe_unused]] const CodeTables& kStartupTables = Tables();

constexpr int kWhite = 0;
constexpr int kBlack = 1;

struct RunCode {
    int run;     // kRunEol, kRunInvalid, or pixels
    int length;  // bits consumed; 0 when the data ended first
};

RunCode ReadRunCode(const detail::BitSource& src, std::int64_t pos, int colour)
{
    const auto& t = Tables().tree[colour];
    int node = 0;
    for (int n = 0; n < kMaxCodeBits; ++n) {
        if (!src.Has(pos + n))
            return {kRunInvalid, 0};
        node = t[static_cast<std::size_t>(node)].child[src.Bit(pos + n)];
        if (node < 0)
            return {kRunInvalid, n + 1};
        const int mark = t[static_cast<std::size_t>(node)].mark;
        if (mark != CodeTables::kInner)
            return {Tables().table[colour][static_cast<std::size_t>(mark)].run, n + 1};
    }
    return {kRunInvalid, kMaxCodeBits};
}

// Paints [from, to) black in a decoded row (1 = white), clipped to the width.
void PaintBlack(std::uint8_t* row, std::int32_t width, std::int64_t from, std::int64_t to)
{
    from = std::max<std::int64_t>(from, 0);
    to = std::min<std::int64_t>(to, width);
    for (std::int64_t x = from; x < to; ++x)
        row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] & ~(0x80 >> (x & 7)));
}

void Paint(std::uint8_t* row, std::int32_t width, std::int64_t from, std::int64_t to, int colour)
{
    if (colour == kBlack)
        PaintBlack(row, width, from, to);
}

std::size_t RowBytes(std::int32_t width)
{
    return static_cast<std::size_t>((static_cast<std::int64_t>(width) + 7) / 8);
}

// Colour of pixel x (kWhite/kBlack); `blackBit` is the bit value meaning black. x = -1 is white.
inline int ColourAt(const std::uint8_t* row, std::int64_t x, int blackBit)
{
    if (x < 0)
        return kWhite;
    const int bit = (row[x >> 3] >> (7 - (x & 7))) & 1;
    return bit == blackBit ? kBlack : kWhite;
}

// First changing element at or after `start` (a pixel whose colour differs from its left
// neighbour), or width when none.
std::int64_t NextChange(const std::uint8_t* row, std::int32_t width, std::int64_t start, int blackBit)
{
    std::int64_t x = std::max<std::int64_t>(start, 0);
    if (x >= width)
        return width;
    int prev = ColourAt(row, x - 1, blackBit);
    // Bit by bit to a byte boundary, whole bytes of one colour at a time, then bit by bit.
    while (x < width && (x & 7) != 0) {
        if (ColourAt(row, x, blackBit) != prev)
            return x;
        ++x;
    }
    const std::uint8_t same = (prev == kBlack) == (blackBit == 1) ? 0xFF : 0x00;
    while (x + 8 <= width && row[x >> 3] == same)
        x += 8;
    while (x < width) {
        if (ColourAt(row, x, blackBit) != prev)
            return x;
        ++x;
    }
    return width;
}

// b1 on the reference row: the first changing element after a0 whose colour is opposite to
// `colour`.
std::int64_t FindB1(const std::uint8_t* ref, std::int32_t width, std::int64_t a0, int colour, int blackBit)
{
    std::int64_t x = NextChange(ref, width, a0 + 1, blackBit);
    while (x < width && ColourAt(ref, x, blackBit) == colour)
        x = NextChange(ref, width, x + 1, blackBit);
    return x;
}

// b2, the changing element after b1. Only pass mode needs it; computing it for every vertical
// code would let hostile data rescan the rest of the row each time without moving a0.
std::int64_t FindB2(const std::uint8_t* ref, std::int32_t width, std::int64_t b1, int blackBit)
{
    return b1 < width ? NextChange(ref, width, b1 + 1, blackBit) : width;
}

// Reads one run (make-up codes summed up to the terminating code). -1 on EOL, end of data or a
// code that cannot be a run.
std::int64_t ReadRun(const detail::BitSource& src, std::int64_t& pos, int colour)
{
    std::int64_t total = 0;
    for (;;) {
        const RunCode rc = ReadRunCode(src, pos, colour);
        if (rc.length == 0 || rc.run < 0)
            return -1;
        pos += rc.length;
        total += rc.run;
        if (rc.run < 64)
            return total;
        if (total > (std::int64_t{1} << 40))
            return -1;
    }
}

// Zero bits at `pos`, counting up to `max`.
int CountZeros(const detail::BitSource& src, std::int64_t pos, int max)
{
    int n = 0;
    while (n < max && src.Has(pos + n) && src.Bit(pos + n) == 0)
        ++n;
    return n;
}

// Decodes one-dimensional runs into a row already preset to white from a0 = x, starting with
// `colour`. Returns the bit position after the row.
std::int64_t Decode1DRuns(const detail::BitSource& src, std::int64_t pos, std::uint8_t* row,
                          std::int32_t width, std::int64_t x, int colour)
{
    bool atStart = x == 0;
    for (;;) {
        if (!src.Has(pos))
            return pos;
        const RunCode rc = ReadRunCode(src, pos, colour);
        if (rc.length == 0)
            return src.Bits();
        if (rc.run == kRunInvalid) {
            ++pos;
            continue;
        }
        if (rc.run == kRunEol) {
            if (atStart) {
                pos += rc.length;
                continue;
            }
            // Leave the EOL for the next row, which skips it.
            Paint(row, width, x, width, colour);
            return pos;
        }
        pos += rc.length;
        atStart = false;
        const std::int64_t end = x + rc.run;
        Paint(row, width, x, end, colour);
        x = end;
        if (rc.run < 64) {
            colour ^= 1;
            if (x >= width)
                return pos;
        }
    }
}

}  // namespace

std::int64_t CCITTDecode1DRow(const std::uint8_t* data, std::int64_t dataSize, std::int64_t bitPos,
                              std::uint8_t* row, std::int32_t width, int fillOrder)
{
    if (width <= 0)
        return bitPos;
    std::memset(row, 0xFF, RowBytes(width));
    detail::BitSource src(data, dataSize, fillOrder);
    if (bitPos < 0)
        bitPos = 0;
    return Decode1DRuns(src, bitPos, row, width, 0, kWhite);
}

std::int64_t CCITTDecodeHuffmanRow(const std::uint8_t* data, std::int64_t dataSize, std::uint8_t* row,
                                   std::int32_t width, int fillOrder)
{
    const std::int64_t bits = CCITTDecode1DRow(data, dataSize, 0, row, width, fillOrder);
    return std::min<std::int64_t>((bits + 7) / 8, std::max<std::int64_t>(dataSize, 0));
}

std::int64_t CCITTDecode2DRow(const std::uint8_t* data, std::int64_t dataSize, std::int64_t bitPos,
                              std::uint8_t* row, std::uint8_t* refRow, std::int32_t width, int fillOrder,
                              bool eolAligned)
{
    if (width <= 0)
        return bitPos;
    const std::size_t rowBytes = RowBytes(width);
    std::memset(row, 0xFF, rowBytes);
    detail::BitSource src(data, dataSize, fillOrder);
    std::int64_t pos = std::max<std::int64_t>(bitPos, 0);
    std::int64_t a0 = -1;
    int colour = kWhite;
    constexpr int kDecodedBlack = 0;

    while (a0 < width && src.Has(pos)) {
        const int zeros = CountZeros(src, pos, 64);
        if (!src.Has(pos + zeros)) {  // only zeros left: the data end inside a code
            pos = src.Bits();
            break;
        }
        // EOL, possibly after fill zeros: aligned rows (eolAligned) carry up to 7 more of them, and
        // unaligned writers may pad too, so both read the same way.
        if (zeros >= 11) {
            if (a0 > -1) {
                Paint(row, width, a0, width, colour);
                break;
            }
            pos += zeros + 1;
            if (!src.Has(pos))
                break;
            const int tag = src.Bit(pos++);
            if (tag == 1) {
                pos = Decode1DRuns(src, pos, row, width, 0, kWhite);
                break;
            }
            continue;
        }
        const std::int64_t start = std::max<std::int64_t>(a0, 0);
        if (zeros == 0 || zeros == 1 || zeros == 4 || zeros == 5) {
            // Vertical modes: 1, 01x, 00001x, 000001x.
            const int length = zeros == 0 ? 1 : zeros + 2;
            if (!src.Has(pos, length)) {
                pos = src.Bits();
                break;
            }
            int offset = 0;
            if (zeros > 0) {
                const int right = src.Bit(pos + zeros + 1);
                const int mag = zeros == 1 ? 1 : zeros - 2;
                offset = right ? mag : -mag;
            }
            pos += length;
            const std::int64_t b1 = FindB1(refRow, width, a0, colour, kDecodedBlack);
            std::int64_t a1 = std::clamp<std::int64_t>(b1 + offset, start, width);
            Paint(row, width, start, a1, colour);
            a0 = a1;
            colour ^= 1;
            continue;
        }
        if (zeros == 2) {  // horizontal 001
            pos += 3;
            const std::int64_t r1 = ReadRun(src, pos, colour);
            if (r1 < 0)
                break;
            const std::int64_t r2 = ReadRun(src, pos, colour ^ 1);
            if (r2 < 0) {
                Paint(row, width, start, start + r1, colour);
                break;
            }
            Paint(row, width, start, start + r1, colour);
            Paint(row, width, start + r1, start + r1 + r2, colour ^ 1);
            a0 = std::min<std::int64_t>(start + r1 + r2, width);
            continue;
        }
        if (zeros == 3) {  // pass 0001
            pos += 4;
            const std::int64_t b2 =
                FindB2(refRow, width, FindB1(refRow, width, a0, colour, kDecodedBlack), kDecodedBlack);
            Paint(row, width, start, b2, colour);
            a0 = std::max(b2, start);
            continue;
        }
        const bool ext2D =
            zeros == 6 && src.Has(pos, 10) && src.Bit(pos + 7) && src.Bit(pos + 8) && src.Bit(pos + 9);
        const bool ext1D =
            zeros == 8 && src.Has(pos, 12) && src.Bit(pos + 9) && src.Bit(pos + 10) && src.Bit(pos + 11);
        if (ext2D || ext1D) {
            // Uncompressed mode: the pixels passed over keep the preset white.
            pos += ext2D ? 10 : 12;
            a0 = start;
            while (a0 < width && src.Has(pos)) {
                const int count = CountZeros(src, pos, 11) + 1;
                if (count > 11 || !src.Has(pos + count - 1))
                    break;
                pos += count;
                if (count <= 5) {
                    a0 += count;
                } else if (count == 6) {
                    a0 += 5;
                } else {
                    a0 += count - 7;
                    if (src.Has(pos))
                        colour = src.Bit(pos++) ? kBlack : kWhite;
                    break;
                }
            }
            a0 = std::min<std::int64_t>(a0, width);
            continue;
        }
        ++pos;  // not a mode code: skip a bit
    }
    std::memcpy(refRow, row, rowBytes);
    return pos;
}

namespace {

void PutRun(detail::MsbBitWriter& w, int colour, std::int64_t run)
{
    const CodeTables& t = Tables();
    while (run > 63) {
        const std::int64_t part = run > 2560 ? 2560 : (run / 64) * 64;
        const Code& c = t.For(colour, static_cast<int>(part));
        w.Put(c.bits, c.length);
        run -= part;
    }
    const Code& c = t.For(colour, static_cast<int>(run));
    w.Put(c.bits, c.length);
}

void PutEol(detail::MsbBitWriter& w) { w.Put(1, 12); }

constexpr int kEncodedBlack = 1;

void Encode1D(detail::MsbBitWriter& w, const std::uint8_t* row, std::int32_t width)
{
    std::int64_t x = 0;
    int colour = kWhite;
    // Rows start white; one starting black gets a white run of 0.
    if (width > 0 && ColourAt(row, 0, kEncodedBlack) == kBlack) {
        PutRun(w, kWhite, 0);
        colour = kBlack;
    }
    while (x < width) {
        const std::int64_t next = NextChange(row, width, x + 1, kEncodedBlack);
        PutRun(w, colour, next - x);
        x = next;
        colour ^= 1;
    }
}

void Encode2D(detail::MsbBitWriter& w, const std::uint8_t* row, const std::uint8_t* ref, std::int32_t width)
{
    std::int64_t a0 = -1;
    int colour = kWhite;
    while (a0 < width) {
        const std::int64_t a1 = NextChange(row, width, a0 + 1, kEncodedBlack);
        const std::int64_t b1 = FindB1(ref, width, a0, colour, kEncodedBlack);
        const std::int64_t b2 = FindB2(ref, width, b1, kEncodedBlack);
        if (b2 < a1) {
            w.Put(1, 4);  // pass
            a0 = b2;
            continue;
        }
        const std::int64_t d = a1 - b1;
        if (d >= -3 && d <= 3) {
            static constexpr std::uint32_t kBits[7] = {0b0000010, 0b000010, 0b010,    0b1,
                                                       0b011,     0b000011, 0b0000011};
            static constexpr int kLengths[7] = {7, 6, 3, 1, 3, 6, 7};
            w.Put(kBits[d + 3], kLengths[d + 3]);
            a0 = a1;
            colour ^= 1;
            continue;
        }
        const std::int64_t a2 = NextChange(row, width, a1 + 1, kEncodedBlack);
        const std::int64_t start = std::max<std::int64_t>(a0, 0);
        w.Put(1, 3);  // horizontal
        PutRun(w, colour, a1 - start);
        PutRun(w, colour ^ 1, a2 - a1);
        a0 = a2;
    }
}

void KeepReference(TCCITTEncodeState& state, const std::uint8_t* row, std::int32_t width)
{
    const std::size_t bytes = RowBytes(width);
    state.refRow.assign((bytes + 3) / 4 * 4, 0);
    std::memcpy(state.refRow.data(), row, bytes);
}

}  // namespace

void CCITTEncodeHuffmanRow(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream)
{
    if (row == nullptr)
        return;
    int bits = 0;
    std::uint8_t byte = 0;
    detail::MsbBitWriter w(bits, byte);
    Encode1D(w, row, width);
    w.PadToByte();
    w.FlushTo(stream);
}

void CCITTEncodeG3Row1D(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream,
                        TCCITTEncodeState& state)
{
    detail::MsbBitWriter w(state.pendingBits, state.pendingByte);
    if (row == nullptr) {
        w.PadToByte();
        w.FlushTo(stream);
        state = TCCITTEncodeState{};
        return;
    }
    PutEol(w);
    Encode1D(w, row, width);
    w.FlushTo(stream);
}

void CCITTEncodeG3Row(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream,
                      TCCITTEncodeState& state)
{
    detail::MsbBitWriter w(state.pendingBits, state.pendingByte);
    if (row == nullptr) {
        PutEol(w);
        w.PadToByte();
        w.FlushTo(stream);
        state = TCCITTEncodeState{};
        return;
    }
    PutEol(w);
    if (state.refRow.empty()) {
        w.Put(1, 1);
        Encode1D(w, row, width);
    } else {
        w.Put(0, 1);
        Encode2D(w, row, state.refRow.data(), width);
    }
    KeepReference(state, row, width);
    w.FlushTo(stream);
}

void CCITTEncodeG4Row(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream,
                      TCCITTEncodeState& state)
{
    detail::MsbBitWriter w(state.pendingBits, state.pendingByte);
    if (row == nullptr) {
        PutEol(w);
        PutEol(w);
        w.PadToByte();
        w.FlushTo(stream);
        state = TCCITTEncodeState{};
        return;
    }
    if (state.refRow.empty())
        state.refRow.assign((RowBytes(width) + 3) / 4 * 4, 0);
    Encode2D(w, row, state.refRow.data(), width);
    KeepReference(state, row, width);
    w.FlushTo(stream);
}

}  // namespace imaging
