// LZH codec: lh5 encoder (binary-tree match finder, one-step lazy parsing, per-block Huffman
// codes) and table-driven decoder.
#include "app/LHARoutines.h"

#include "platform/rtl/Endian.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace app {

ECorruptFile::ECorruptFile(std::string detail)
    : rtl::Exception("Compressed file is corrupt"), detail_(std::move(detail))
{
}

namespace {

constexpr int kDicBits = 13;
constexpr int kDicSize = 1 << kDicBits;
constexpr std::uint32_t kDicMask = kDicSize - 1;
constexpr int kMaxMatch = 256;
constexpr int kThreshold = 3;
constexpr int kNC = 255 + kMaxMatch + 2 - kThreshold;  // 510 literal/length symbols
constexpr int kNP = kDicBits + 1;                      // 14 position symbols
constexpr int kNT = 16 + 3;                            // 19 code-length symbols
constexpr int kTBit = 5;
constexpr int kCBit = 9;
constexpr int kPBit = 4;
constexpr int kMaxCodeLength = 16;
constexpr int kCTableBits = 12;
constexpr int kPTTableBits = 8;
constexpr int kIoBlockSize = 8192;

// The codec is one-at-a-time by contract; the lock turns a racing caller into a waiting one.
std::mutex gCodecMutex;

[[noreturn]] void Corrupt(std::string detail) { throw ECorruptFile(std::move(detail)); }

// ---------------------------------------------------------------------------------------
// Decoder

// MSB-first bit reader over the compressed bytes that follow the size field. Bits past the
// end read as zero so lookahead near the end is harmless; ConsumedBits() lets the decoder
// notice when it has actually used bits that are not there.
class BitReader {
public:
    BitReader(rtl::TStream& source, std::int64_t available)
        : source_(source), unread_(available), availableBits_(available * 8)
    {
    }

    // At least 32 valid bits after this; enough for one code plus its extra bits.
    void Ensure()
    {
        if (count_ < 32)
            Refill();
    }
    std::uint32_t Peek(int n) const { return static_cast<std::uint32_t>(bits_ >> (64 - n)); }
    std::uint64_t Raw() const { return bits_; }
    void Skip(int n)
    {
        bits_ <<= n;
        count_ -= n;
    }
    std::uint32_t Get(int n)
    {
        Ensure();
        if (n == 0)
            return 0;
        const std::uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    bool Overrun() const { return fed_ * 8 - count_ > availableBits_; }

private:
    void Refill()
    {
        if (end_ - pos_ >= 8) {
            while (count_ <= 56) {
                bits_ |= static_cast<std::uint64_t>(buffer_[pos_++]) << (56 - count_);
                count_ += 8;
                ++fed_;
            }
            return;
        }
        while (count_ <= 56) {
            if (pos_ == end_ && unread_ > 0) {
                const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(unread_, kIoBlockSize));
                source_.ReadBuffer(buffer_, n);
                unread_ -= n;
                pos_ = 0;
                end_ = n;
            }
            const std::uint8_t b = pos_ < end_ ? buffer_[pos_++] : 0;
            bits_ |= static_cast<std::uint64_t>(b) << (56 - count_);
            count_ += 8;
            ++fed_;
        }
    }

    rtl::TStream& source_;
    std::int64_t unread_;
    std::int64_t availableBits_;
    std::int64_t fed_ = 0;
    std::uint64_t bits_ = 0;
    int count_ = 0;
    std::int32_t pos_ = 0;
    std::int32_t end_ = 0;
    std::uint8_t buffer_[kIoBlockSize];
};

// Canonical Huffman decoder: a direct table on the top TableBits bits, and a binary tree
// below it for the rare longer codes. Entries at or above Alphabet are tree nodes.
template <int Alphabet, int TableBits>
class HuffmanDecoder {
public:
    // Every lookup yields `symbol` and consumes no bits; an out-of-range symbol is only an
    // error if the code is ever used (a block without matches may carry a junk position code).
    void SetSingle(std::uint32_t symbol)
    {
        std::fill(std::begin(length_), std::end(length_), 0);
        const std::uint16_t entry = symbol < Alphabet ? static_cast<std::uint16_t>(symbol) : kUnusable;
        std::fill(std::begin(table_), std::end(table_), entry);
    }

    void Build(const std::uint8_t* lengths, const char* what)
    {
        std::uint32_t count[kMaxCodeLength + 1] = {};
        for (int i = 0; i < Alphabet; ++i) {
            assert(lengths[i] <= kMaxCodeLength);
            ++count[lengths[i]];
        }
        std::uint32_t weight = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len)
            weight += count[len] << (kMaxCodeLength - len);
        std::copy(lengths, lengths + Alphabet, length_);
        if (weight == 0) {
            // No symbol has a code: harmless unless the block tries to use it.
            std::fill(std::begin(table_), std::end(table_), kUnusable);
            return;
        }
        if (weight != 1u << kMaxCodeLength)
            Corrupt(std::string(what) + " code lengths do not form a complete code");

        std::uint32_t next[kMaxCodeLength + 1];
        std::uint32_t code = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            next[len] = code;
            code = (code + count[len]) << 1;
        }
        std::fill(std::begin(table_), std::end(table_), kEmpty);
        int nodes = 0;
        for (int sym = 0; sym < Alphabet; ++sym) {
            const int len = length_[sym];
            if (len == 0)
                continue;
            const std::uint32_t c = next[len]++;
            if (len <= TableBits) {
                const std::uint32_t first = c << (TableBits - len);
                std::fill_n(table_ + first, 1u << (TableBits - len), static_cast<std::uint16_t>(sym));
                continue;
            }
            std::uint16_t* slot = &table_[c >> (len - TableBits)];
            for (int bit = len - TableBits - 1; bit >= 0; --bit) {
                if (*slot == kEmpty) {
                    assert(nodes < Alphabet);
                    left_[nodes] = right_[nodes] = kEmpty;
                    *slot = static_cast<std::uint16_t>(Alphabet + nodes++);
                }
                assert(*slot >= Alphabet && *slot < kEmpty);
                const int node = *slot - Alphabet;
                slot = ((c >> bit) & 1) ? &right_[node] : &left_[node];
            }
            *slot = static_cast<std::uint16_t>(sym);
        }
    }

    // The caller has made at least kMaxCodeLength bits available.
    std::uint32_t Decode(BitReader& in) const
    {
        std::uint32_t sym = table_[in.Peek(TableBits)];
        if (sym >= Alphabet) [[unlikely]]
            sym = Walk(in.Raw(), sym);
        in.Skip(length_[sym]);
        return sym;
    }

private:
    static constexpr std::uint16_t kEmpty = 0xFFFE;
    static constexpr std::uint16_t kUnusable = 0xFFFF;

    std::uint32_t Walk(std::uint64_t bits, std::uint32_t entry) const
    {
        if (entry >= kEmpty)
            Corrupt("symbol decoded from an empty or invalid code");
        int bit = 63 - TableBits;
        do {
            const int node = static_cast<int>(entry) - Alphabet;
            entry = ((bits >> bit) & 1) ? right_[node] : left_[node];
            --bit;
        } while (entry >= Alphabet);
        return entry;
    }

    std::uint8_t length_[Alphabet] = {};
    std::uint16_t table_[1u << TableBits] = {};
    std::uint16_t left_[Alphabet] = {};
    std::uint16_t right_[Alphabet] = {};
};

class Decoder {
public:
    Decoder(rtl::TStream& source, std::int64_t available, rtl::TStream& dest)
        : in_(source, available), dest_(dest)
    {
        // Matches reaching before the start of the data see spaces, as other lh5 decoders do.
        std::memset(window_, ' ', sizeof window_);
    }

    void Run(std::uint32_t size)
    {
        std::uint64_t remaining = size;
        std::uint32_t blockLeft = 0;
        while (remaining > 0) {
            if (blockLeft == 0)
                blockLeft = ReadBlockHeader();
            --blockLeft;
            in_.Ensure();
            const std::uint32_t sym = c_.Decode(in_);
            if (sym < 256) {
                window_[outPos_++] = static_cast<std::uint8_t>(sym);
                --remaining;
                if (outPos_ == kDicSize)
                    Flush();
                continue;
            }
            in_.Ensure();
            const std::uint32_t distance = DecodeDistance();
            const auto length =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(sym - (256 - kThreshold), remaining));
            Copy((outPos_ - distance - 1) & kDicMask, length);
            remaining -= length;
        }
        Flush();
    }

private:
    std::uint32_t DecodeDistance()
    {
        const std::uint32_t j = p_.Decode(in_);
        if (j <= 1)
            return j;
        return (1u << (j - 1)) + in_.Get(static_cast<int>(j - 1));
    }

    void Copy(std::uint32_t src, std::uint32_t length)
    {
        while (length > 0) {
            const std::uint32_t chunk = std::min({length, kDicSize - outPos_, kDicSize - src});
            std::uint8_t* d = window_ + outPos_;
            const std::uint8_t* s = window_ + src;
            // Byte-by-byte semantics: a source closer than the length repeats its bytes. When the
            // source lies ahead of the destination in the buffer, memmove reads the same old bytes.
            if (src > outPos_ || outPos_ - src >= chunk) {
                std::memmove(d, s, chunk);
            } else {
                for (std::uint32_t i = 0; i < chunk; ++i)
                    d[i] = s[i];
            }
            outPos_ += chunk;
            src = (src + chunk) & kDicMask;
            length -= chunk;
            if (outPos_ == kDicSize)
                Flush();
        }
    }

    void Flush()
    {
        CheckOverrun();
        dest_.WriteBuffer(window_, static_cast<std::int32_t>(outPos_));
        outPos_ = 0;
    }

    void CheckOverrun() const
    {
        if (in_.Overrun())
            Corrupt("bit stream ends before the stated size is reached");
    }

    std::uint32_t ReadBlockHeader()
    {
        CheckOverrun();
        const std::uint32_t size = in_.Get(16);
        if (size == 0)
            Corrupt("block of zero symbols");
        ReadLengthTable(kTBit, 3, t_, "code-length");
        ReadLiteralLengths();
        ReadLengthTable(kPBit, -1, p_, "position");
        CheckOverrun();
        return size;
    }

    template <int Alphabet>
    void ReadLengthTable(int countBits, int special, HuffmanDecoder<Alphabet, kPTTableBits>& decoder,
                         const char* what)
    {
        const std::uint32_t n = in_.Get(countBits);
        if (n == 0) {
            decoder.SetSingle(in_.Get(countBits));
            return;
        }
        if (n > static_cast<std::uint32_t>(Alphabet))
            Corrupt(std::string(what) + " table count " + std::to_string(n) + " exceeds " +
                    std::to_string(Alphabet));
        std::uint8_t lengths[Alphabet] = {};
        std::uint32_t i = 0;
        while (i < n) {
            in_.Ensure();
            std::uint32_t len = in_.Peek(3);
            if (len == 7) {
                // A run of 1 bits closed by a 0 extends the length past 7.
                const int ones = std::countl_one(in_.Raw() << 3);
                len = 7 + static_cast<std::uint32_t>(ones);
                if (len > kMaxCodeLength)
                    Corrupt(std::string(what) + " code length exceeds 16");
                in_.Skip(3 + ones + 1);
            } else {
                in_.Skip(3);
            }
            lengths[i++] = static_cast<std::uint8_t>(len);
            if (static_cast<int>(i) == special)
                i += in_.Get(2);  // zero lengths, already in place; at most index 6 of 19
        }
        decoder.Build(lengths, what);
    }

    void ReadLiteralLengths()
    {
        const std::uint32_t n = in_.Get(kCBit);
        if (n == 0) {
            c_.SetSingle(in_.Get(kCBit));
            return;
        }
        if (n > kNC)
            Corrupt("literal/length table count " + std::to_string(n) + " exceeds 510");
        std::uint8_t lengths[kNC] = {};
        std::uint32_t i = 0;
        while (i < n) {
            in_.Ensure();
            const std::uint32_t c = t_.Decode(in_);
            if (c > 2) {
                lengths[i++] = static_cast<std::uint8_t>(c - 2);
                continue;
            }
            std::uint32_t run = 1;
            if (c == 1)
                run = in_.Get(4) + 3;
            else if (c == 2)
                run = in_.Get(kCBit) + 20;
            if (i + run > kNC)
                Corrupt("zero run passes the end of the literal/length alphabet");
            i += run;
        }
        c_.Build(lengths, "literal/length");
    }

    BitReader in_;
    rtl::TStream& dest_;
    HuffmanDecoder<kNC, kCTableBits> c_;
    HuffmanDecoder<kNT, kPTTableBits> t_;
    HuffmanDecoder<kNP, kPTTableBits> p_;
    std::uint32_t outPos_ = 0;
    std::uint8_t window_[kDicSize];
};

// ---------------------------------------------------------------------------------------
// Encoder

constexpr int kTextSize = 2 * kDicSize + kMaxMatch;
constexpr int kBlockBufferSize = 16384;
constexpr int kBlockFlushAt = kBlockBufferSize - 3 * 8;
constexpr std::uint32_t kNil = 0xFFFFFFFFu;
constexpr std::uint32_t kMaxBack = kDicSize - 1;
// Bounds the match-finder walk: at most this many earlier places are tried per position. A run
// of one repeated byte counts once (see FindAndInsert), so the bound reaches back past this many
// occurrences of the position's first three bytes, each earlier run taken as one: a match whose
// source lies within them is found, whatever the runs around it, in bounded time per position.
constexpr int kMaxChain = 2048;
constexpr int kHashBits = 15;

class Encoder {
public:
    Encoder(rtl::TStream& source, std::uint32_t size, rtl::TStream& dest)
        : source_(source), dest_(dest), size_(size)
    {
        std::fill(std::begin(head_), std::end(head_), kNil);
    }

    void Run()
    {
        unread_ = size_;
        ReadText(0, kTextSize);

        std::uint32_t pos = 0;
        std::uint32_t matchPos = 0;
        std::uint32_t matchLen = FindAndInsert(pos, matchPos);
        while (pos < size_) {
            const std::uint32_t lastLen = matchLen;
            const std::uint32_t lastPos = matchPos;
            matchLen = Advance(pos, matchPos);
            if (matchLen > lastLen || lastLen < kThreshold) {
                Output(Text(pos - 1), 0);
                continue;
            }
            Output(lastLen + (256 - kThreshold), (pos - lastPos - 2) & kDicMask);
            for (std::uint32_t k = 2; k < lastLen; ++k)
                AdvanceInside(pos);
            matchLen = Advance(pos, matchPos);
        }
        SendBlock();
        PutBits(7, 0);
        if (accBits_ > 0)
            PutBits(8 - accBits_, 0);
        FlushOutput();
    }

private:
    // ---- input window and match finder

    std::uint8_t Text(std::uint32_t pos) const { return text_[pos - base_]; }

    void ReadText(int at, int count)
    {
        const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(unread_, count));
        source_.ReadBuffer(text_ + at, n);
        unread_ -= n;
    }

    // Moves to the next position, sliding the window when it reaches its end.
    void Step(std::uint32_t& pos)
    {
        ++pos;
        if (pos - base_ == 2 * kDicSize) {
            std::memmove(text_, text_ + kDicSize, kDicSize + kMaxMatch);
            base_ += kDicSize;
            ReadText(kDicSize + kMaxMatch, kDicSize);
        }
    }

    std::uint32_t Advance(std::uint32_t& pos, std::uint32_t& matchPos)
    {
        Step(pos);
        return FindAndInsert(pos, matchPos);
    }

    // A position inside a match: only entered, its own match is never asked for.
    void AdvanceInside(std::uint32_t& pos)
    {
        Step(pos);
        if (pos < size_ && size_ - pos >= kThreshold)
            Enter(pos, text_ + (pos - base_));
    }

    static std::uint32_t Hash(const std::uint8_t* p)
    {
        return ((static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2]) *
                2654435761u) >>
               (32 - kHashBits);
    }

    // Chains of earlier positions by the hash of their first three bytes, newest first; returns the
    // newest position before `pos` on this one's chain.
    std::uint32_t Enter(std::uint32_t pos, const std::uint8_t* cur)
    {
        std::uint32_t& head = head_[Hash(cur)];
        const std::uint32_t node = head;
        head = pos;
        prev_[pos & kDicMask] = node;
        // Every position is entered in order, so the run of equal bytes it belongs to is known.
        runStart_[pos & kDicMask] =
            pos > 0 && pos - 1 >= base_ && cur[-1] == cur[0] ? runStart_[(pos - 1) & kDicMask] : pos;
        return node;
    }

    // How many bytes from `p` equal `b`, at most `limit`.
    static std::uint32_t RunLength(const std::uint8_t* p, std::uint8_t b, std::uint32_t limit)
    {
        std::uint32_t n = 0;
        while (n < limit && p[n] == b)
            ++n;
        return n;
    }

    // The longest match within the dictionary, and of the longest ones the nearest: the chain is
    // walked from the newest position, and a match replaces the best only when it is longer.
    std::uint32_t FindAndInsert(std::uint32_t pos, std::uint32_t& matchPos)
    {
        if (pos >= size_)
            return 0;
        const std::uint32_t limit = std::min<std::uint32_t>(kMaxMatch, size_ - pos);
        if (limit < kThreshold)
            return 0;
        const std::uint8_t* cur = text_ + (pos - base_);
        std::uint32_t node = Enter(pos, cur);
        std::uint32_t best = 0;
        // In a run of one byte every earlier place of that run is on the chain, one after another.
        // Of an earlier run only the place whose run ends where this one does can match further
        // than this run: the walk takes that place (or, when there is none, the run's farthest,
        // longest place) and goes on before the run's start.
        const std::uint8_t b = cur[0];
        const std::uint32_t curRun = cur[1] == b && cur[2] == b ? RunLength(cur, b, limit) : 0;
        const std::uint32_t oldest = pos > kMaxBack ? pos - kMaxBack : 0;
        for (int steps = 0; node != kNil && node >= oldest && node < pos && steps < kMaxChain; ++steps) {
            const std::uint8_t* old = text_ + (node - base_);
            std::uint32_t next = prev_[node & kDicMask];
            if (curRun > 0 && old[0] == b && old[1] == b && old[2] == b) {
                const std::uint32_t start = std::max(runStart_[node & kDicMask], oldest);
                const std::uint32_t oldRun = RunLength(old, b, limit);
                if (oldRun < curRun && node - start >= curRun - oldRun) {
                    node -= curRun - oldRun;  // the aligned place, still in this run
                    old = text_ + (node - base_);
                } else if (oldRun < curRun) {
                    node = start;  // every place of the run ends before this one's: the longest
                    old = text_ + (node - base_);
                }
                next = start > oldest ? prev_[start & kDicMask] : kNil;
            } else if (old[best] != cur[best]) {
                // Only a match longer than the best counts, so its byte at `best` must agree.
                node = next;
                continue;
            }
            const std::uint32_t len = CommonLength(old, cur, 0, limit);
            if (len > best) {
                best = len;
                matchPos = node;
                if (len == limit)
                    break;
            }
            node = next;
        }
        return best >= kThreshold ? best : 0;
    }

    // Length of the common prefix of a and b, known to be at least `from`, at most `limit`.
    static std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from,
                                      std::uint32_t limit)
    {
        std::uint32_t len = from;
        while (len + 8 <= limit) {
            std::uint64_t x;
            std::uint64_t y;
            std::memcpy(&x, a + len, 8);
            std::memcpy(&y, b + len, 8);
            if (x != y) {
                if constexpr (std::endian::native == std::endian::little)
                    return len + static_cast<std::uint32_t>(std::countr_zero(x ^ y)) / 8;
                else
                    return len + static_cast<std::uint32_t>(std::countl_zero(x ^ y)) / 8;
            }
            len += 8;
        }
        while (len < limit && a[len] == b[len])
            ++len;
        return len;
    }

    // ---- block buffer

    void Output(std::uint32_t c, std::uint32_t p)
    {
        outputMask_ >>= 1;
        if (outputMask_ == 0) {
            outputMask_ = 0x80;
            if (outputPos_ >= kBlockFlushAt) {
                SendBlock();
                outputPos_ = 0;
            }
            flagPos_ = outputPos_++;
            block_[flagPos_] = 0;
        }
        block_[outputPos_++] = static_cast<std::uint8_t>(c);
        ++cFreq_[c];
        if (c >= 256) {
            block_[flagPos_] |= static_cast<std::uint8_t>(outputMask_);
            block_[outputPos_++] = static_cast<std::uint8_t>(p >> 8);
            block_[outputPos_++] = static_cast<std::uint8_t>(p);
            ++pFreq_[std::bit_width(p)];
        }
    }

    void SendBlock()
    {
        std::uint32_t root = MakeTree(kNC, cFreq_, cLen_, cCode_);
        const std::uint32_t size = cFreq_[root];
        PutBits(16, size);
        if (root >= kNC) {
            CountTFreq();
            root = MakeTree(kNT, tFreq_, tLen_, tCode_);
            if (root >= kNT) {
                WritePtLen(tLen_, kNT, kTBit, 3);
            } else {
                PutBits(kTBit, 0);
                PutBits(kTBit, root);
            }
            WriteCLen();
        } else {
            PutBits(kTBit, 0);
            PutBits(kTBit, 0);
            PutBits(kCBit, 0);
            PutBits(kCBit, root);
        }
        root = MakeTree(kNP, pFreq_, pLen_, pCode_);
        if (root >= kNP) {
            WritePtLen(pLen_, kNP, kPBit, -1);
        } else {
            PutBits(kPBit, 0);
            PutBits(kPBit, root);
        }

        std::uint32_t pos = 0;
        std::uint32_t flags = 0;
        for (std::uint32_t i = 0; i < size; ++i) {
            if (i % 8 == 0)
                flags = block_[pos++];
            else
                flags <<= 1;
            if (flags & 0x80) {
                EncodeC(block_[pos++] + 256u);
                std::uint32_t p = static_cast<std::uint32_t>(block_[pos++]) << 8;
                p += block_[pos++];
                EncodeP(p);
            } else {
                EncodeC(block_[pos++]);
            }
        }
        std::fill_n(cFreq_, kNC, 0);
        std::fill_n(pFreq_, kNP, 0);
    }

    // Literal/length code lengths up to the last one in use.
    int CLenCount() const
    {
        int n = kNC;
        while (n > 0 && cLen_[n - 1] == 0)
            --n;
        return n;
    }

    // Walks the literal/length code lengths as the code-length alphabet sends them, calling
    // emit(symbol, extraBits, extra): a length k is symbol k + 2; zeros go one at a time as
    // symbol 0, as a run of 3..18 (symbol 1, four extra bits) or of 20 and more (symbol 2);
    // a run of 19 is a single zero and a run of 18.
    template <class Emit>
    void ForEachCLenSymbol(Emit emit) const
    {
        const int n = CLenCount();
        int i = 0;
        while (i < n) {
            const int k = cLen_[i++];
            if (k != 0) {
                emit(k + 2, 0, 0);
                continue;
            }
            int count = 1;
            while (i < n && cLen_[i] == 0) {
                ++i;
                ++count;
            }
            if (count <= 2) {
                for (int r = 0; r < count; ++r)
                    emit(0, 0, 0);
            } else if (count <= 18) {
                emit(1, 4, count - 3);
            } else if (count == 19) {
                emit(0, 0, 0);
                emit(1, 4, 15);
            } else {
                emit(2, kCBit, count - 20);
            }
        }
    }

    void CountTFreq()
    {
        std::fill_n(tFreq_, kNT, 0);
        ForEachCLenSymbol([this](int symbol, int, int) { ++tFreq_[symbol]; });
    }

    void WritePtLen(const std::uint8_t* len, int n, int countBits, int special)
    {
        while (n > 0 && len[n - 1] == 0)
            --n;
        PutBits(countBits, n);
        int i = 0;
        while (i < n) {
            const int k = len[i++];
            if (k <= 6)
                PutBits(3, k);
            else
                PutBits(k - 3, (1u << (k - 3)) - 2);
            if (i == special) {
                while (i < 6 && len[i] == 0)
                    ++i;
                PutBits(2, (i - 3) & 3);
            }
        }
    }

    void WriteCLen()
    {
        PutBits(kCBit, static_cast<std::uint32_t>(CLenCount()));
        ForEachCLenSymbol([this](int symbol, int extraBits, int extra) {
            PutBits(tLen_[symbol], tCode_[symbol]);
            PutBits(extraBits, static_cast<std::uint32_t>(extra));
        });
    }

    void EncodeC(std::uint32_t c) { PutBits(cLen_[c], cCode_[c]); }

    void EncodeP(std::uint32_t p)
    {
        const int c = std::bit_width(p);
        PutBits(pLen_[c], pCode_[c]);
        if (c > 1)
            PutBits(c - 1, p & (0xFFFFu >> (17 - c)));
    }

    // ---- Huffman code construction

    void DownHeap(int i)
    {
        const int k = heap_[i];
        int j;
        while ((j = 2 * i) <= heapSize_) {
            if (j < heapSize_ && freq_[heap_[j]] > freq_[heap_[j + 1]])
                ++j;
            if (freq_[k] <= freq_[heap_[j]])
                break;
            heap_[i] = heap_[j];
            i = j;
        }
        heap_[i] = k;
    }

    // Builds code lengths (at most 16) and canonical codes from `freq`, which must have room
    // for n - 1 internal nodes after the n symbols. Returns the root: a symbol below n when
    // at most one symbol occurs (that symbol gets length 0), else an internal node.
    std::uint32_t MakeTree(int n, std::uint32_t* freq, std::uint8_t* len, std::uint16_t* code)
    {
        freq_ = freq;
        heapSize_ = 0;
        heap_[1] = 0;
        for (int i = 0; i < n; ++i) {
            len[i] = 0;
            if (freq[i])
                heap_[++heapSize_] = i;
        }
        if (heapSize_ < 2) {
            code[heap_[1]] = 0;
            return static_cast<std::uint32_t>(heap_[1]);
        }
        for (int i = heapSize_ / 2; i >= 1; --i)
            DownHeap(i);
        int avail = n;
        int ordered = 0;
        int k = 0;
        do {
            const int i = heap_[1];
            if (i < n)
                order_[ordered++] = i;
            heap_[1] = heap_[heapSize_--];
            DownHeap(1);
            const int j = heap_[1];
            if (j < n)
                order_[ordered++] = j;
            k = avail++;
            freq[k] = freq[i] + freq[j];
            heap_[1] = k;
            DownHeap(1);
            left_[k] = i;
            right_[k] = j;
        } while (heapSize_ > 1);
        MakeLengths(k, n, len);
        MakeCodes(n, len, code);
        return static_cast<std::uint32_t>(k);
    }

    void CountLengths(int node, int n, int depth)
    {
        if (node < n) {
            ++lenCount_[std::min(depth, kMaxCodeLength)];
            return;
        }
        CountLengths(left_[node], n, depth + 1);
        CountLengths(right_[node], n, depth + 1);
    }

    void MakeLengths(int root, int n, std::uint8_t* len)
    {
        std::fill(std::begin(lenCount_), std::end(lenCount_), 0);
        CountLengths(root, n, 0);
        // Leaves deeper than 16 were counted at 16, over-filling the code space; lengthen
        // shorter codes until it fits exactly.
        std::uint32_t cum = 0;
        for (int i = kMaxCodeLength; i > 0; --i)
            cum += lenCount_[i] << (kMaxCodeLength - i);
        while (cum != (1u << kMaxCodeLength)) {
            --lenCount_[kMaxCodeLength];
            for (int i = kMaxCodeLength - 1; i > 0; --i) {
                if (lenCount_[i] != 0) {
                    --lenCount_[i];
                    lenCount_[i + 1] += 2;
                    break;
                }
            }
            --cum;
        }
        // Longest codes go to the symbols taken off the heap first (lowest frequency).
        int next = 0;
        for (int i = kMaxCodeLength; i > 0; --i) {
            for (std::uint32_t r = 0; r < lenCount_[i]; ++r)
                len[order_[next++]] = static_cast<std::uint8_t>(i);
        }
    }

    void MakeCodes(int n, const std::uint8_t* len, std::uint16_t* code)
    {
        std::uint32_t start[kMaxCodeLength + 2];
        start[1] = 0;
        for (int i = 1; i <= kMaxCodeLength; ++i)
            start[i + 1] = (start[i] + lenCount_[i]) << 1;
        for (int i = 0; i < n; ++i) {
            if (len[i] != 0)
                code[i] = static_cast<std::uint16_t>(start[len[i]]++);
        }
    }

    // ---- bit output

    void PutBits(int n, std::uint32_t value)
    {
        if (n == 0)
            return;
        value &= (1u << n) - 1;
        acc_ |= static_cast<std::uint64_t>(value) << (64 - accBits_ - n);
        accBits_ += n;
        while (accBits_ >= 8) {
            out_[outLen_++] = static_cast<std::uint8_t>(acc_ >> 56);
            acc_ <<= 8;
            accBits_ -= 8;
            if (outLen_ == kIoBlockSize)
                FlushOutput();
        }
    }

    void FlushOutput()
    {
        dest_.WriteBuffer(out_, static_cast<std::int32_t>(outLen_));
        outLen_ = 0;
    }

    rtl::TStream& source_;
    rtl::TStream& dest_;
    std::uint32_t size_;
    std::int64_t unread_ = 0;

    std::uint32_t base_ = 0;  // absolute position of text_[0]
    std::uint8_t text_[kTextSize] = {};
    std::uint32_t head_[1 << kHashBits];
    std::uint32_t prev_[kDicSize] = {};
    std::uint32_t runStart_[kDicSize] = {};  // per position: where its run of one byte began

    std::uint8_t block_[kBlockBufferSize] = {};
    std::uint32_t outputPos_ = 0;
    std::uint32_t outputMask_ = 0;
    std::uint32_t flagPos_ = 0;
    std::uint32_t cFreq_[2 * kNC - 1] = {};
    std::uint32_t pFreq_[2 * kNP - 1] = {};
    std::uint32_t tFreq_[2 * kNT - 1] = {};
    std::uint8_t cLen_[kNC] = {};
    std::uint16_t cCode_[kNC] = {};
    std::uint8_t tLen_[kNT] = {};
    std::uint16_t tCode_[kNT] = {};
    std::uint8_t pLen_[kNP] = {};
    std::uint16_t pCode_[kNP] = {};

    std::uint32_t* freq_ = nullptr;  // not owned: the table MakeTree is working on
    int heap_[kNC + 1] = {};
    int heapSize_ = 0;
    int left_[2 * kNC - 1] = {};
    int right_[2 * kNC - 1] = {};
    int order_[kNC] = {};
    std::uint32_t lenCount_[kMaxCodeLength + 1] = {};

    std::uint64_t acc_ = 0;
    int accBits_ = 0;
    std::uint8_t out_[kIoBlockSize] = {};
    std::size_t outLen_ = 0;
};

}  // namespace

void Compress(rtl::TStream& source, rtl::TStream& dest)
{
    const std::lock_guard<std::mutex> lock(gCodecMutex);
    const std::int64_t size = source.Size();
    if (size <= 0)
        return;
    if (size > kLzhMaxSourceSize)
        throw rtl::EInvalidArgument("source of " + std::to_string(size) +
                                    " bytes exceeds the 4 GiB limit of the compressed format");
    source.Seek(0, rtl::soBeginning);
    const auto n = static_cast<std::uint32_t>(size);
    std::uint8_t header[4];
    rtl::StoreLE32(header, n);
    dest.WriteBuffer(header, 4);
    auto encoder = std::make_unique<Encoder>(source, n, dest);
    encoder->Run();
}

void Expand(rtl::TStream& source, rtl::TStream& dest)
{
    const std::lock_guard<std::mutex> lock(gCodecMutex);
    const std::int64_t size = source.Size();
    if (size <= 0)
        return;
    if (size < 4)
        throw ECorruptFile("stream of " + std::to_string(size) + " bytes is shorter than its size field");
    source.Seek(0, rtl::soBeginning);
    std::uint8_t header[4];
    source.ReadBuffer(header, 4);
    const std::uint32_t n = rtl::LoadLE32(header);
    auto decoder = std::make_unique<Decoder>(source, size - 4, dest);
    decoder->Run(n);
}

}  // namespace app
