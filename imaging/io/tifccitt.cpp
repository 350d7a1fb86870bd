// CCITT bilevel row codecs: modified Huffman, Group 3 1-D and 2-D, Group 4.
#include "imaging/io/tifccitt.h"

#include "imaging/io/detail/bitio.h"
#include "platform/rtl/Endian.h"

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
    // What the tree walk gives for each 13-bit prefix: a code (run, length) or a dead end
    // (kRunInvalid, length). Only 13 zero bits do not decide it: those have length 0.
    static constexpr int kLookupBits = 13;
    struct Lookup {
        std::int16_t run = 0;
        std::uint8_t length = 0;
    };
    std::array<std::array<Lookup, 1 << kLookupBits>, 2> lookup{};

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
            for (int v = 0; v < (1 << kLookupBits); ++v) {
                int node = 0;
                for (int n = 0; n < kLookupBits; ++n) {
                    node = t[static_cast<std::size_t>(node)].child[(v >> (kLookupBits - 1 - n)) & 1];
                    if (node < 0) {
                        lookup[colour][v] = Lookup{kRunInvalid, static_cast<std::uint8_t>(n + 1)};
                        break;
                    }
                    const int mark = t[static_cast<std::size_t>(node)].mark;
                    if (mark != kInner) {
                        lookup[colour][v] = Lookup{static_cast<std::int16_t>(table[colour][mark].run),
                                                   static_cast<std::uint8_t>(n + 1)};
                        break;
                    }
                }
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

// The code at `pos`, as walking the colour's tree bit by bit would find it, looked up by its first
// 13 bits; longer paths are all zeros, which only EOL codes continue.
inline __attribute__((always_inline)) RunCode ReadRunCode(const CodeTables& tables,
                                                          const detail::BitSource& src, std::int64_t pos,
                                                          int colour)
{
    const std::uint32_t bits = src.Peek32(pos);
    const CodeTables::Lookup e = tables.lookup[colour][bits >> (32 - CodeTables::kLookupBits)];
    RunCode rc{e.run, e.length};
    if (e.length == 0) {
        const int zeros = bits ? __builtin_clz(bits) : kMaxCodeBits;
        rc = zeros < kMaxCodeBits ? RunCode{kRunEol, zeros + 1} : RunCode{kRunInvalid, kMaxCodeBits};
    }
    if (!src.Has(pos, rc.length))
        return {kRunInvalid, 0};  // the data end inside the code
    return rc;
}

// Paints [from, to) black in a decoded row (1 = white), clipped to the width.
inline __attribute__((always_inline)) void PaintBlack(std::uint8_t* row, std::int32_t width,
                                                      std::int64_t from, std::int64_t to)
{
    from = std::max<std::int64_t>(from, 0);
    to = std::min<std::int64_t>(to, width);
    if (from >= to)
        return;
    const std::int64_t first = from >> 3, last = (to - 1) >> 3;
    const std::uint8_t head = static_cast<std::uint8_t>(0xFF >> (from & 7));
    const std::uint8_t tail = static_cast<std::uint8_t>(0xFF << (7 - ((to - 1) & 7)));
    if (first == last) {
        row[first] &= static_cast<std::uint8_t>(~(head & tail));
        return;
    }
    row[first] &= static_cast<std::uint8_t>(~head);
    if (last > first + 1)
        std::memset(row + first + 1, 0, static_cast<std::size_t>(last - first - 1));
    row[last] &= static_cast<std::uint8_t>(~tail);
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

// First pixel at or after `start` whose bit is `bit`, or width when none; 64 pixels at a time.
std::int64_t FindBit(const std::uint8_t* row, std::int32_t width, std::int64_t start, int bit)
{
    std::int64_t x = std::max<std::int64_t>(start, 0);
    if (x >= width)
        return width;
    const std::int64_t bytes = (static_cast<std::int64_t>(width) + 7) >> 3;
    const std::uint64_t flip = bit ? 0 : ~std::uint64_t{0};
    std::int64_t at = x >> 3;
    auto load = [&](std::int64_t i) { return detail::LoadBE64Padded(row, bytes, i); };
    std::uint64_t v = (load(at) ^ flip) & (~std::uint64_t{0} >> (x & 7));
    while (v == 0) {
        at += 8;
        if (at >= bytes)
            return width;
        v = load(at) ^ flip;
    }
    return std::min<std::int64_t>(at * 8 + __builtin_clzll(v), width);
}

// First changing element at or after `start` (a pixel whose colour differs from its left
// neighbour), or width when none.
std::int64_t NextChange(const std::uint8_t* row, std::int32_t width, std::int64_t start, int blackBit)
{
    const std::int64_t x = std::max<std::int64_t>(start, 0);
    if (x >= width)
        return width;
    const int prev = ColourAt(row, x - 1, blackBit);
    return FindBit(row, width, x, prev == kBlack ? 1 - blackBit : blackBit);
}

// b1 on the reference row: the first changing element after a0 whose colour is opposite to
// `colour`: past any run of the opposite colour that a0 stands in, the next pixel of that colour.
std::int64_t FindB1(const std::uint8_t* ref, std::int32_t width, std::int64_t a0, int colour, int blackBit)
{
    const int colourBit = colour == kBlack ? blackBit : 1 - blackBit;
    std::int64_t x = a0 + 1;
    if (ColourAt(ref, x - 1, blackBit) != colour)
        x = FindBit(ref, width, x, colourBit);
    return FindBit(ref, width, x, 1 - colourBit);
}

// b2, the changing element after b1. Only pass mode needs it; computing it for every vertical
// code would let hostile data rescan the rest of the row each time without moving a0.
std::int64_t FindB2(const std::uint8_t* ref, std::int32_t width, std::int64_t b1, int blackBit)
{
    return b1 < width ? NextChange(ref, width, b1 + 1, blackBit) : width;
}

// Room for every pixel of a row `w` wide to change; the changes start at the result.
std::int32_t* PrepareChanges(TCCITTRowChanges& list, std::int32_t w)
{
    if (list.slots.size() < static_cast<std::size_t>(w) + 4)
        list.slots.resize(static_cast<std::size_t>(w) + 4);
    list.slots[0] = -1;
    list.count = 0;
    return list.slots.data() + 1;
}

void CloseChanges(TCCITTRowChanges& list, std::size_t count, std::int32_t w)
{
    list.count = count;
    list.slots[count + 1] = w;
    list.slots[count + 2] = w;
    list.slots[count + 3] = w;
}

// The changes of the row decoded last, with a copy of that row to tell whether a caller's
// reference row is still it.
struct KeptChanges : TCCITTRowChanges {
    std::vector<std::uint8_t> row;
    std::int32_t width = 0;
    bool valid = false;

    bool Matches(const std::uint8_t* other, std::int32_t w, std::size_t bytes) const
    {
        return valid && width == w && std::memcmp(row.data(), other, bytes) == 0;
    }
    void Keep(const std::uint8_t* r, std::int32_t w, std::size_t bytes)
    {
        row.assign(r, r + bytes);
        width = w;
        valid = true;
    }
};

// The changing elements of a decoded row (1 = white, pixel -1 white), found a 64-pixel word at a
// time: a pixel changes where it differs from the pixel before it.
void ListChanges(const std::uint8_t* row, std::int32_t width, TCCITTRowChanges& list)
{
    std::int32_t* const out = PrepareChanges(list, width);
    std::size_t n = 0;
    const std::int64_t bytes = (static_cast<std::int64_t>(width) + 7) >> 3;
    std::uint64_t carry = 1;  // the pixel before, as its bit
    for (std::int64_t at = 0; at < bytes; at += 8) {
        const std::uint64_t v = detail::LoadBE64Padded(row, bytes, at);
        std::uint64_t t = v ^ ((v >> 1) | (carry << 63));
        carry = v & 1;
        while (t) {
            const int c = __builtin_clzll(t);
            const std::int64_t x = at * 8 + c;
            if (x >= width)
                break;
            out[n++] = static_cast<std::int32_t>(x);
            t &= ~(std::uint64_t{1} << (63 - c));
        }
    }
    CloseChanges(list, n, width);
}

// b1 and b2 over a reference row's changing elements. a0 only grows, but a vertical code may put
// it a little before the last b1, so the cursor steps back when it must. The element at an even
// index turns the row black.
// Rows wider than this are not listed (a list takes four bytes a pixel): their b1 and b2 are found
// by scanning the reference row itself.
constexpr std::int32_t kMaxListedWidth = 1 << 20;

class ReferenceChanges {
public:
    explicit ReferenceChanges(const TCCITTRowChanges& list) : c_(list.slots.data() + 1) {}
    ReferenceChanges(const std::uint8_t* ref, std::int32_t width) : ref_(ref), width_(width) {}

    // b1: the first changing element after a0 whose colour is opposite to `colour`; b2: the
    // changing element after b1. Both are the width when there is none.
    inline __attribute__((always_inline)) void Find(std::int64_t a0, int colour, std::int64_t& b1,
                                                    std::int64_t& b2)
    {
        if (ref_) {
            constexpr int kDecodedBlack = 0;
            b1 = FindB1(ref_, width_, a0, colour, kDecodedBlack);
            b2 = FindB2(ref_, width_, b1, kDecodedBlack);
            return;
        }
        // c_[-1] is -1, never after a0; past the changes the width stands three times.
        while (c_[static_cast<std::ptrdiff_t>(i_) - 1] > a0)
            --i_;
        while (c_[i_] <= a0)
            ++i_;
        const std::size_t k = i_ + ((i_ & 1) ^ static_cast<std::size_t>(colour == kBlack));
        b1 = c_[k];
        b2 = c_[k + 1];
    }

private:
    const std::int32_t* c_ = nullptr;
    std::size_t i_ = 0;
    const std::uint8_t* ref_ = nullptr;  // set when the row is not listed
    std::int32_t width_ = 0;
};

// Reads one run (make-up codes summed up to the terminating code). -1 on EOL, end of data or a
// code that cannot be a run.
std::int64_t ReadRun(const CodeTables& tables, const detail::BitSource& src, std::int64_t& pos, int colour)
{
    std::int64_t total = 0;
    for (;;) {
        const RunCode rc = ReadRunCode(tables, src, pos, colour);
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

// The bits from a position on, held in a register: taking a code shifts them instead of loading
// them again from the data, which keeps loads off the chain from one code to the next. At least 32
// of them are the data's (or the zeros past their end).
struct BitWindow {
    const detail::BitSource& src;
    std::int64_t pos;
    std::uint64_t bits = 0;
    int held = 0;

    BitWindow(const detail::BitSource& source, std::int64_t at) : src(source), pos(at) { Refill(); }
    void Refill()
    {
        bits = src.Peek64(pos);
        held = 64 - static_cast<int>(pos & 7);
    }
    std::uint32_t Peek32() const { return static_cast<std::uint32_t>(bits >> 32); }
    // n <= 32
    void Skip(int n)
    {
        pos += n;
        bits <<= n;
        held -= n;
        if (held < 32)
            Refill();
    }
};

// ReadRun through a window.
inline __attribute__((always_inline)) std::int64_t ReadRun(const CodeTables& tables, BitWindow& w, int colour)
{
    std::int64_t total = 0;
    for (;;) {
        const CodeTables::Lookup e = tables.lookup[colour][w.Peek32() >> (32 - CodeTables::kLookupBits)];
        // Thirteen zeros start an EOL or nothing: neither is a run.
        if (e.length == 0 || e.run < 0 || !w.src.Has(w.pos, e.length))
            return -1;
        w.Skip(e.length);
        total += e.run;
        if (e.run < 64)
            return total;
        if (total > (std::int64_t{1} << 40))
            return -1;
    }
}

// Zero bits at `pos`, counting up to `max`.
int CountZeros(const detail::BitSource& src, std::int64_t pos, int max)
{
    int n = 0;
    while (n < max) {
        const std::uint32_t bits = src.Peek32(pos + n);
        if (bits) {
            n += __builtin_clz(bits);
            break;
        }
        n += 32;
    }
    const std::int64_t left = std::max<std::int64_t>(src.Bits() - pos, 0);
    return static_cast<int>(std::min<std::int64_t>({n, max, left}));
}

// Decodes one-dimensional runs into a row already preset to white from a0 = x, starting with
// `colour`. Returns the bit position after the row.
std::int64_t Decode1DRuns(const CodeTables& tables, const detail::BitSource& src, std::int64_t pos,
                          std::uint8_t* row, std::int32_t width, std::int64_t x, int colour)
{
    bool atStart = x == 0;
    for (;;) {
        if (!src.Has(pos))
            return pos;
        const RunCode rc = ReadRunCode(tables, src, pos, colour);
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

// Vertical, horizontal and pass codes by the first 7 bits of the code; length 0 for everything else.
struct alignas(4) TwoDMode {
    enum Kind : std::uint8_t { kOther, kVertical, kHorizontal, kPass };
    Kind kind = kOther;
    std::uint8_t length = 0;
    std::int8_t offset = 0;
};

constexpr auto kTwoDModes = [] {
    std::array<TwoDMode, 128> t{};
    for (int v = 0; v < 128; ++v) {
        auto vertical = [](int length, int offset) {
            return TwoDMode{TwoDMode::kVertical, static_cast<std::uint8_t>(length),
                            static_cast<std::int8_t>(offset)};
        };
        if (v >> 6 == 1)
            t[v] = vertical(1, 0);  // 1
        else if (v >> 4 == 0b011)
            t[v] = vertical(3, 1);  // 011
        else if (v >> 4 == 0b010)
            t[v] = vertical(3, -1);  // 010
        else if (v >> 4 == 0b001)
            t[v] = TwoDMode{TwoDMode::kHorizontal, 3, 0};  // 001
        else if (v >> 3 == 0b0001)
            t[v] = TwoDMode{TwoDMode::kPass, 4, 0};  // 0001
        else if (v >> 1 == 0b000011)
            t[v] = vertical(6, 2);
        else if (v >> 1 == 0b000010)
            t[v] = vertical(6, -2);
        else if (v == 0b0000011)
            t[v] = vertical(7, 3);
        else if (v == 0b0000010)
            t[v] = vertical(7, -3);
    }
    return t;
}();

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
    return Decode1DRuns(Tables(), src, bitPos, row, width, 0, kWhite);
}

std::int64_t CCITTDecodeHuffmanRow(const std::uint8_t* data, std::int64_t dataSize, std::uint8_t* row,
                                   std::int32_t width, int fillOrder)
{
    const std::int64_t bits = CCITTDecode1DRow(data, dataSize, 0, row, width, fillOrder);
    return std::min<std::int64_t>((bits + 7) / 8, std::max<std::int64_t>(dataSize, 0));
}

namespace {

// Writes a decoded row (1 = white) from its changes: whole bytes without a change are set at once,
// a word of 64 pixels with changes takes one mask per change (the change flips every pixel from it
// to the word's end). Bits past the width stay white.
void WriteRow(const std::int32_t* changes, std::size_t count, std::uint8_t* row, std::int32_t width)
{
    const std::int64_t bytes = (static_cast<std::int64_t>(width) + 7) >> 3;
    std::size_t i = 0;
    std::uint64_t black = 0;  // all ones while the pixel before `at` is black
    for (std::int64_t at = 0; at < bytes;) {
        const std::int64_t next = i < count ? changes[i] : width;
        const std::int64_t word = std::min<std::int64_t>((next >> 6) * 8, bytes);
        if (word > at) {
            std::memset(row + at, black ? 0x00 : 0xFF, static_cast<std::size_t>(word - at));
            at = word;
            continue;
        }
        const std::int64_t end = at * 8 + 64;
        std::uint64_t v = black;
        for (; i < count && changes[i] < end; ++i)
            v ^= ~std::uint64_t{0} >> (changes[i] & 63);
        black = 0 - (v & 1);
        if (at + 8 <= bytes) {
            rtl::StoreBE64(row + at, ~v);
        } else {
            for (std::int64_t k = 0; at + k < bytes; ++k)
                row[at + k] = static_cast<std::uint8_t>(~v >> (56 - 8 * k));
        }
        at += 8;
    }
    if (width & 7)
        row[bytes - 1] |= static_cast<std::uint8_t>(0xFF >> (width & 7));
}

// Decodes one two-dimensional row into `row` against `ref`. With `changes` the common codes only
// collect the row's changing elements and the row is written from them once at the end; any other
// code, or data that end inside the row, paints the row so far and goes on painting. `complete`
// tells whether the changes were collected for the whole row.
std::int64_t Decode2D(const detail::BitSource& src, std::int64_t bitPos, std::uint8_t* row,
                      std::int32_t width, ReferenceChanges ref, TCCITTRowChanges* changes, bool& complete)
{
    const CodeTables& tables = Tables();
    std::int32_t* const flips = changes ? PrepareChanges(*changes, width) : nullptr;
    std::size_t flipCount = 0;
    bool tracked = flips != nullptr;
    if (!tracked)
        std::memset(row, 0xFF, RowBytes(width));
    auto flip = [&](std::int64_t x) __attribute__((always_inline))
    {
        if (x >= width)
            return;
        if (flips[static_cast<std::ptrdiff_t>(flipCount) - 1] == x)
            --flipCount;  // a run of no pixels changes nothing
        else
            flips[flipCount++] = static_cast<std::int32_t>(x);
    };
    // From collecting changes to painting: the pixels up to a0 as the changes make them, white on.
    auto paintSoFar = [&](std::int64_t a0) {
        if (!tracked)
            return;
        tracked = false;
        std::memset(row, 0xFF, RowBytes(width));
        for (std::size_t k = 0; k < flipCount; k += 2)
            PaintBlack(row, width, flips[k], k + 1 < flipCount ? flips[k + 1] : a0);
    };
    std::int64_t b1 = 0, b2 = 0;
    BitWindow window(src, std::max<std::int64_t>(bitPos, 0));
    std::int64_t& pos = window.pos;  // the rare codes below move it themselves, and refill the window
    std::int64_t a0 = -1;
    int colour = kWhite;
    bool moved = false;

    // Up to here every mode code lies in the data whatever its length.
    const std::int64_t roomy = src.Bits() - 8;
    while (a0 < width && src.Has(pos)) {
        if (moved) {
            window.Refill();
            moved = false;
        }
        // The common codes by their first 7 bits, when the data hold all of the code.
        const TwoDMode m = kTwoDModes[window.Peek32() >> 25];
        if (m.length != 0 && (pos <= roomy || src.Has(pos, m.length))) {
            const std::int64_t start = a0 > 0 ? a0 : 0;
            window.Skip(m.length);
            if (m.kind == TwoDMode::kHorizontal) {
                const std::int64_t r1 = ReadRun(tables, window, colour);
                if (r1 < 0) {
                    paintSoFar(a0);
                    break;
                }
                const std::int64_t r2 = ReadRun(tables, window, colour ^ 1);
                if (r2 < 0) {
                    paintSoFar(a0);
                    if (colour == kBlack)
                        PaintBlack(row, width, start, start + r1);
                    break;
                }
                if (tracked) {
                    flip(start + r1);
                    flip(start + r1 + r2);
                } else {
                    PaintBlack(row, width, colour == kBlack ? start : start + r1,
                               colour == kBlack ? start + r1 : start + r1 + r2);
                }
                a0 = std::min<std::int64_t>(start + r1 + r2, width);
                continue;
            }
            // Vertical: a1 = b1 + offset, and the colour changes there. Pass: on to b2.
            ref.Find(a0, colour, b1, b2);
            const bool pass = m.kind == TwoDMode::kPass;
            const std::int64_t a1 =
                pass ? std::max(b2, start) : std::clamp<std::int64_t>(b1 + m.offset, start, width);
            if (!tracked && colour == kBlack)
                PaintBlack(row, width, start, a1);
            if (!pass) {
                if (tracked)
                    flip(a1);
                colour ^= 1;
            }
            a0 = a1;
            continue;
        }
        paintSoFar(a0);
        moved = true;
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
                pos = Decode1DRuns(Tables(), src, pos, row, width, 0, kWhite);
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
            ref.Find(a0, colour, b1, b2);
            std::int64_t a1 = std::clamp<std::int64_t>(b1 + offset, start, width);
            Paint(row, width, start, a1, colour);
            a0 = a1;
            colour ^= 1;
            continue;
        }
        if (zeros == 2) {  // horizontal 001
            pos += 3;
            const std::int64_t r1 = ReadRun(tables, src, pos, colour);
            if (r1 < 0)
                break;
            const std::int64_t r2 = ReadRun(tables, src, pos, colour ^ 1);
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
            ref.Find(a0, colour, b1, b2);
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
    if (tracked && a0 < width)
        paintSoFar(a0);  // the data ended inside the row
    complete = tracked;
    if (tracked) {
        CloseChanges(*changes, flipCount, width);
        WriteRow(flips, flipCount, row, width);
    }
    return pos;
}

}  // namespace

std::int64_t CCITTDecode2DRow(const std::uint8_t* data, std::int64_t dataSize, std::int64_t bitPos,
                              std::uint8_t* row, std::uint8_t* refRow, std::int32_t width, int fillOrder,
                              bool eolAligned)
{
    if (width <= 0)
        return bitPos;
    const std::size_t rowBytes = RowBytes(width);
    const detail::BitSource src(data, dataSize, fillOrder);
    // Rows are decoded in order, each against the one before: the changes of the row decoded
    // last are kept, and used when the reference row is still that row.
    thread_local KeptChanges last, current;
    bool complete = false;
    std::int64_t pos;
    if (width <= kMaxListedWidth) {
        if (!last.Matches(refRow, width, rowBytes)) {
            ListChanges(refRow, width, last);
            last.valid = false;
        }
        ReferenceChanges ref(last);
        pos = Decode2D(src, bitPos, row, width, ref, &current, complete);
    } else {
        ReferenceChanges ref(refRow, width);
        pos = Decode2D(src, bitPos, row, width, ref, nullptr, complete);
    }
    std::memcpy(refRow, row, rowBytes);
    if (complete) {
        current.Keep(row, width, rowBytes);
        std::swap(last, current);
    } else {
        last.valid = false;
    }
    return pos;
}

std::int64_t CCITTDecode2DRow(const std::uint8_t* data, std::int64_t dataSize, std::int64_t bitPos,
                              std::uint8_t* row, TCCITTDecodeState& state, std::int32_t width, int fillOrder,
                              bool eolAligned)
{
    if (width <= 0)
        return bitPos;
    const std::size_t rowBytes = RowBytes(width);
    const detail::BitSource src(data, dataSize, fillOrder);
    const bool fresh = state.width != width;
    state.width = width;
    bool complete = false;
    if (width > kMaxListedWidth) {
        if (fresh)
            state.wideRef.assign(rowBytes, 0xFF);
        ReferenceChanges ref(state.wideRef.data(), width);
        const std::int64_t pos = Decode2D(src, bitPos, row, width, ref, nullptr, complete);
        std::memcpy(state.wideRef.data(), row, rowBytes);
        return pos;
    }
    if (fresh) {
        PrepareChanges(state.ref, width);
        CloseChanges(state.ref, 0, width);
    }
    ReferenceChanges ref(state.ref);
    const std::int64_t pos = Decode2D(src, bitPos, row, width, ref, &state.row, complete);
    if (!complete)
        ListChanges(row, width, state.row);
    std::swap(state.ref, state.row);
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
