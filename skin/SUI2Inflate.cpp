// Raw DEFLATE decoding: two-level Huffman tables, a 64-bit bit buffer and output in one block.
#include "skin/SUI2Inflate.h"

#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace skin {

namespace {

static_assert(std::endian::native == std::endian::little, "the bit buffer loads little-endian words");

[[noreturn]] void Fail(const std::string& what) { throw rtl::Exception(what); }
[[noreturn]] void FailTruncated() { Fail("deflate data ends before its last block"); }

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr int kMaxCodeLength = 15;

// A table entry: code length (bits 0-7), extra bits (8-12), kind (13-15), value (16-31). For a
// link to a second-level table the length is that table's index width and the value its offset.
enum TEntryKind : std::uint32_t { ekLiteral, ekBase, ekEnd, ekLink, ekInvalid };

constexpr std::uint32_t MakeEntry(std::uint32_t value, TEntryKind kind, std::uint32_t extra,
                                  std::uint32_t len)
{
    return value << 16 | static_cast<std::uint32_t>(kind) << 13 | extra << 8 | len;
}
constexpr std::uint32_t EntryLength(std::uint32_t e) { return e & 0xFF; }
constexpr std::uint32_t EntryExtra(std::uint32_t e) { return (e >> 8) & 0x1F; }
constexpr TEntryKind EntryKind(std::uint32_t e) { return static_cast<TEntryKind>((e >> 13) & 7); }
constexpr std::uint32_t EntryValue(std::uint32_t e) { return e >> 16; }
constexpr std::uint32_t kInvalidEntry = MakeEntry(0, ekInvalid, 0, 0);

enum TAlphabet { alCodeLengths, alLiterals, alDistances };

std::uint32_t SymbolEntry(TAlphabet alphabet, std::uint32_t sym, std::uint32_t len)
{
    switch (alphabet) {
    case alCodeLengths: return MakeEntry(sym, ekLiteral, 0, len);
    case alLiterals:
        if (sym < 256)
            return MakeEntry(sym, ekLiteral, 0, len);
        if (sym == 256)
            return MakeEntry(0, ekEnd, 0, len);
        if (sym - 257 < kLengthBase.size())
            return MakeEntry(kLengthBase[sym - 257], ekBase, kLengthExtra[sym - 257], len);
        return kInvalidEntry;  // 286 and 287 have codes in the fixed table but no meaning
    case alDistances:
        if (sym < kDistanceBase.size())
            return MakeEntry(kDistanceBase[sym], ekBase, kDistanceExtra[sym], len);
        return kInvalidEntry;
    }
    return kInvalidEntry;
}

// A canonical Huffman code as a root table indexed by the next `root` input bits (least
// significant first) plus second-level tables for the longer codes.
class THuffmanTable {
public:
    void Build(const std::uint8_t* lengths, int count, int rootBits, TAlphabet alphabet)
    {
        std::array<int, kMaxCodeLength + 1> perLength{};
        int longest = 0;
        for (int i = 0; i < count; ++i) {
            ++perLength[lengths[i]];
            longest = std::max(longest, static_cast<int>(lengths[i]));
        }
        root_ = std::max(1, std::min(rootBits, longest));
        entries_.assign(std::size_t{1} << root_, kInvalidEntry);
        if (longest == 0)
            return;  // no symbols: any attempt to decode with it fails
        perLength[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            left = (left << 1) - perLength[len];
            if (left < 0)
                Fail("huffman code lengths are over-subscribed");
        }
        // An incomplete code is allowed only as a single one-bit code (one distance, say).
        if (left > 0 && (alphabet == alCodeLengths || longest != 1))
            Fail("huffman code lengths leave codes unused");

        std::array<std::uint32_t, kMaxCodeLength + 2> next{};
        std::uint32_t code = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            code = (code + static_cast<std::uint32_t>(perLength[len - 1])) << 1;
            next[static_cast<std::size_t>(len)] = code;
        }
        codes_.resize(static_cast<std::size_t>(count));
        const std::uint32_t rootMask = (1u << root_) - 1;
        std::array<std::uint8_t, 1u << 10> widest{};  // per root prefix: longest code beyond root
        for (int sym = 0; sym < count; ++sym) {
            const int len = lengths[sym];
            if (len == 0)
                continue;
            const std::uint32_t c = next[static_cast<std::size_t>(len)]++;
            std::uint32_t reversed = 0;
            for (int i = 0; i < len; ++i)
                reversed |= ((c >> i) & 1u) << (len - 1 - i);
            codes_[static_cast<std::size_t>(sym)] = reversed;
            if (len > root_) {
                std::uint8_t& w = widest[reversed & rootMask];
                w = std::max(w, static_cast<std::uint8_t>(len - root_));
            }
        }
        for (std::uint32_t prefix = 0; prefix <= rootMask; ++prefix) {
            if (widest[prefix] == 0)
                continue;
            const std::size_t offset = entries_.size();
            entries_.resize(offset + (std::size_t{1} << widest[prefix]), kInvalidEntry);
            entries_[prefix] = MakeEntry(static_cast<std::uint32_t>(offset), ekLink, 0, widest[prefix]);
        }
        for (int sym = 0; sym < count; ++sym) {
            const std::uint32_t len = lengths[sym];
            if (len == 0)
                continue;
            const std::uint32_t reversed = codes_[static_cast<std::size_t>(sym)];
            if (static_cast<int>(len) <= root_) {
                const std::uint32_t e = SymbolEntry(alphabet, static_cast<std::uint32_t>(sym), len);
                for (std::uint32_t i = reversed; i <= rootMask; i += 1u << len)
                    entries_[i] = e;
                continue;
            }
            const std::uint32_t link = entries_[reversed & rootMask];
            const std::uint32_t subLen = len - static_cast<std::uint32_t>(root_);
            const std::uint32_t e = SymbolEntry(alphabet, static_cast<std::uint32_t>(sym), subLen);
            const std::uint32_t subSize = 1u << EntryLength(link);
            for (std::uint32_t i = reversed >> root_; i < subSize; i += 1u << subLen)
                entries_[EntryValue(link) + i] = e;
        }
    }

    const std::uint32_t* Entries() const { return entries_.data(); }
    int RootBits() const { return root_; }

private:
    std::vector<std::uint32_t> entries_;
    std::vector<std::uint32_t> codes_;
    int root_ = 1;
};

// The decoder's whole state. Bits are taken least significant first from a 64-bit buffer that
// is refilled a word at a time while at least 8 input bytes remain, byte by byte after that;
// bits past the end of the input are never taken as data.
class TInflater {
public:
    TInflater(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out,
              std::size_t maxOutput)
        : in_(data), end_(data + size), out_(out), max_(std::min(maxOutput, SIZE_MAX - kSlack))
    {
    }

    std::size_t Run()
    {
        out_.clear();
        bool last = false;
        while (!last) {
            Need(3);
            last = (buf_ & 1) != 0;
            const std::uint32_t type = static_cast<std::uint32_t>(buf_ >> 1) & 3;
            Drop(3);
            switch (type) {
            case 0: Stored(); break;
            case 1:
                FixedTables();
                Codes(fixedLiterals_, fixedDistances_);
                break;
            case 2:
                Dynamic();
                Codes(literals_, distances_);
                break;
            default: break;  // reserved type: nothing to decode
            }
        }
        out_.resize(pos_);
        return pos_;
    }

private:
    // Room for the longest match plus the 8-byte overrun of the word-wise copy.
    static constexpr std::size_t kSlack = 258 + 8;

    void Refill()
    {
        if (end_ - in_ >= 8) {
            std::uint64_t word;
            std::memcpy(&word, in_, 8);
            buf_ |= word << count_;
            in_ += (63 - count_) >> 3;
            count_ |= 56;
        } else {
            while (count_ <= 56 && in_ < end_) {
                buf_ |= static_cast<std::uint64_t>(*in_++) << count_;
                count_ += 8;
            }
        }
    }
    void Need(unsigned n)
    {
        if (count_ < n) {
            Refill();
            if (count_ < n)
                FailTruncated();
        }
    }
    void Drop(unsigned n)
    {
        buf_ >>= n;
        count_ -= n;
    }
    std::uint32_t Bits(unsigned n)
    {
        Need(n);
        const std::uint32_t v = static_cast<std::uint32_t>(buf_ & ((std::uint64_t{1} << n) - 1));
        Drop(n);
        return v;
    }

    // The next symbol's entry, its code consumed. The caller has refilled.
    std::uint32_t Decode(const THuffmanTable& table)
    {
        const std::uint32_t* t = table.Entries();
        const unsigned root = static_cast<unsigned>(table.RootBits());
        std::uint32_t e = t[buf_ & ((1u << root) - 1)];
        if (EntryKind(e) == ekLink) {
            if (count_ < root)
                FailTruncated();
            Drop(root);
            e = t[EntryValue(e) + (buf_ & ((1u << EntryLength(e)) - 1))];
        }
        if (EntryKind(e) == ekInvalid)
            Fail("bits match no huffman code");
        if (EntryLength(e) > count_)
            FailTruncated();
        Drop(EntryLength(e));
        return e;
    }
    std::uint32_t Extra(std::uint32_t e)
    {
        const unsigned n = EntryExtra(e);
        if (n > count_)
            FailTruncated();
        const std::uint32_t v = EntryValue(e) + static_cast<std::uint32_t>(buf_ & ((1u << n) - 1));
        Drop(n);
        return v;
    }

    void Reserve()
    {
        if (out_.size() - pos_ >= kSlack)
            return;
        const std::size_t want = std::max({out_.size() * 2, pos_ + kSlack, std::size_t{1} << 16});
        out_.resize(std::min(want, max_ + kSlack));
    }

    void Codes(const THuffmanTable& literals, const THuffmanTable& distances)
    {
        for (;;) {
            Refill();
            Reserve();
            std::uint32_t lit = Decode(literals);
            // Runs of literals: a full buffer holds three codes, so the refill waits.
            for (int run = 0; EntryKind(lit) == ekLiteral; ++run) {
                if (pos_ >= max_)
                    FailTooLong();
                out_[pos_++] = static_cast<std::uint8_t>(EntryValue(lit));
                if (run == 2 || count_ < kMaxCodeLength)
                    break;
                lit = Decode(literals);
            }
            const TEntryKind kind = EntryKind(lit);
            if (kind == ekLiteral)
                continue;
            if (kind == ekEnd)
                return;
            // Up to three codes may have used the buffer since its refill: the length's extra
            // bits, the distance code and its extra bits (33 bits at most) need a fresh one.
            if (count_ < 5 + kMaxCodeLength + 13)
                Refill();
            const std::uint32_t length = Extra(lit);
            const std::uint32_t distance = Extra(Decode(distances));
            if (distance > pos_)
                Fail("back reference of " + std::to_string(distance) + " reaches before the data");
            if (length > max_ - pos_)
                FailTooLong();
            std::uint8_t* o = out_.data() + pos_;
            const std::uint8_t* from = o - distance;
            if (distance >= 8) {
                // Chunks never overlap their source; the last one may run up to 7 bytes past the
                // match into the slack.
                for (std::uint32_t i = 0; i < length; i += 8)
                    std::memcpy(o + i, from + i, 8);
            } else if (distance == 1) {
                std::memset(o, *from, length);
            } else {
                for (std::uint32_t i = 0; i < length; ++i)
                    o[i] = from[i];
            }
            pos_ += length;
        }
    }

    void Stored()
    {
        Drop(count_ & 7);
        const std::uint32_t len = Bits(16);
        Bits(16);  // NLEN: not checked
        // Whole bytes still in the buffer go back to the input.
        in_ -= count_ >> 3;
        buf_ = 0;
        count_ = 0;
        if (static_cast<std::size_t>(end_ - in_) < len)
            FailTruncated();
        if (len > max_ - pos_)
            FailTooLong();
        while (out_.size() - pos_ < len + kSlack)
            out_.resize(std::min(std::max(out_.size() * 2, pos_ + len + kSlack), max_ + kSlack));
        std::memcpy(out_.data() + pos_, in_, len);
        pos_ += len;
        in_ += len;
    }

    void FixedTables()
    {
        if (fixedBuilt_)
            return;
        std::array<std::uint8_t, 288> lit{};
        std::fill(lit.begin(), lit.begin() + 144, 8);
        std::fill(lit.begin() + 144, lit.begin() + 256, 9);
        std::fill(lit.begin() + 256, lit.begin() + 280, 7);
        std::fill(lit.begin() + 280, lit.end(), 8);
        std::array<std::uint8_t, 32> dist{};
        dist.fill(5);
        fixedLiterals_.Build(lit.data(), 288, 9, alLiterals);
        // The fixed distance code uses all 32 five-bit codes; 30 and 31 decode as invalid.
        fixedDistances_.Build(dist.data(), 32, 5, alDistances);
        fixedBuilt_ = true;
    }

    void Dynamic()
    {
        const std::uint32_t hlit = Bits(5) + 257;
        const std::uint32_t hdist = Bits(5) + 1;
        const std::uint32_t hclen = Bits(4) + 4;
        if (hlit > 286 || hdist > 30)
            Fail("dynamic block declares " + std::to_string(hlit) + " literal and " + std::to_string(hdist) +
                 " distance codes");
        std::array<std::uint8_t, 19> clLengths{};
        for (std::uint32_t i = 0; i < hclen; ++i)
            clLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(Bits(3));
        codeLengths_.Build(clLengths.data(), 19, 7, alCodeLengths);

        std::array<std::uint8_t, 286 + 30> lengths{};
        std::uint32_t n = 0;
        const std::uint32_t total = hlit + hdist;
        while (n < total) {
            Refill();
            const std::uint32_t sym = EntryValue(Decode(codeLengths_));
            if (sym < 16) {
                lengths[n++] = static_cast<std::uint8_t>(sym);
                continue;
            }
            std::uint32_t repeat = 0;
            std::uint8_t value = 0;
            if (sym == 16) {
                if (n == 0)
                    Fail("code length repeat with no previous length");
                value = lengths[n - 1];
                repeat = 3 + Bits(2);
            } else if (sym == 17) {
                repeat = 3 + Bits(3);
            } else {
                repeat = 11 + Bits(7);
            }
            if (n + repeat > total)
                Fail("code length repeat runs past the declared codes");
            std::fill_n(lengths.begin() + n, repeat, value);
            n += repeat;
        }
        if (lengths[256] == 0)
            Fail("dynamic block has no end-of-block code");
        literals_.Build(lengths.data(), static_cast<int>(hlit), 10, alLiterals);
        distances_.Build(lengths.data() + hlit, static_cast<int>(hdist), 8, alDistances);
    }

    [[noreturn]] void FailTooLong() const
    {
        throw EInflateTooLong("inflated data is larger than " + std::to_string(max_) + " bytes");
    }

    const std::uint8_t* in_;
    const std::uint8_t* end_;
    std::uint64_t buf_ = 0;
    unsigned count_ = 0;
    std::vector<std::uint8_t>& out_;  // not owned
    std::size_t pos_ = 0;
    std::size_t max_;
    THuffmanTable literals_;
    THuffmanTable distances_;
    THuffmanTable codeLengths_;
    THuffmanTable fixedLiterals_;
    THuffmanTable fixedDistances_;
    bool fixedBuilt_ = false;
};

}  // namespace

std::size_t InflateBuffer(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out,
                          std::size_t maxOutput)
{
    return TInflater(data, size, out, maxOutput).Run();
}

std::int64_t Inflate(rtl::TStream& source, rtl::TStream& dest, std::int64_t maxOutput)
{
    std::vector<std::uint8_t> input;
    std::uint8_t block[16384];
    for (;;) {
        const std::int32_t got = source.Read(block, sizeof block);
        if (got <= 0)
            break;
        input.insert(input.end(), block, block + got);
    }
    std::vector<std::uint8_t> out;
    const std::size_t limit = maxOutput < 0 ? 0 : static_cast<std::size_t>(maxOutput);
    const std::size_t n = InflateBuffer(input.data(), input.size(), out, limit);
    if (n > 0)
        dest.WriteBuffer(out.data(), static_cast<std::int32_t>(n));
    return static_cast<std::int64_t>(n);
}

}  // namespace skin
