// Skin file reader: the archive walk, traditional decryption, the inflater and the record chain.
#include "skin/SUI2SkinReader.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>

namespace skin {

namespace {

constexpr const char* kReadFailed = "Failed to read skin file!";

[[noreturn]] void Fail(const std::string& what) { throw rtl::Exception(what); }

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// ---- inflate ----

constexpr std::int32_t kInputBufferSize = 16384;
constexpr std::int32_t kWindowSize = 65536;
constexpr std::int32_t kWindowSpare = 258;  // the longest match may run past the flush mark
constexpr std::int32_t kHistorySize = 32768;
constexpr int kMaxCodeLength = 15;

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

// Bits least significant first, taken from a refilled input buffer. Running out of input is
// an error: the decoder never invents bits past the end of the stream.
class BitInput {
public:
    explicit BitInput(rtl::TStream& source) : source_(source), buffer_(kInputBufferSize) {}

    // Up to `n` bits without consuming them; missing bits past the end read as 0 and
    // Available() tells how many are real.
    std::uint32_t Peek(int n)
    {
        while (count_ < n && Fetch()) {
        }
        return static_cast<std::uint32_t>(bits_ & ((1ull << n) - 1));
    }
    int Available() const { return count_; }
    void Drop(int n)
    {
        bits_ >>= n;
        count_ -= n;
    }
    std::uint32_t Bits(int n)
    {
        if (n == 0)
            return 0;
        std::uint32_t v = Peek(n);
        if (count_ < n)
            Fail("deflate data ends before its last block");
        Drop(n);
        return v;
    }
    void AlignToByte() { Drop(count_ % 8); }

private:
    bool Fetch()
    {
        if (pos_ == end_ && !Refill())
            return false;
        bits_ |= static_cast<std::uint64_t>(buffer_[static_cast<std::size_t>(pos_++)]) << count_;
        count_ += 8;
        return true;
    }
    bool Refill()
    {
        if (eof_)
            return false;
        std::int32_t unread = end_ - pos_;
        std::memmove(buffer_.data(), buffer_.data() + pos_, static_cast<std::size_t>(unread));
        std::int32_t got = source_.Read(buffer_.data() + unread, kInputBufferSize - unread);
        if (got <= 0) {
            eof_ = true;
            got = 0;
        }
        pos_ = 0;
        end_ = unread + got;
        return end_ > 0;
    }

    rtl::TStream& source_;  // not owned
    std::vector<std::uint8_t> buffer_;
    std::int32_t pos_ = 0;
    std::int32_t end_ = 0;
    bool eof_ = false;
    std::uint64_t bits_ = 0;
    int count_ = 0;
};

// Canonical Huffman code as a single lookup table indexed by the next `longest` input bits.
// Each entry packs the symbol (bits 0-15), the code length (16-23) and the number of extra
// bits after the code (24-31; 0xFF marks a symbol the alphabet does not allow).
class THuffmanTree {
public:
    struct Decoded {
        std::uint32_t symbol;
        std::uint32_t value;  // the symbol below firstBase, else base plus the extra bits
    };

    THuffmanTree(const std::uint8_t* lengths, int count, int firstBase, const std::uint16_t* base,
                 const std::uint8_t* extra, int baseCount)
        : firstBase_(firstBase), base_(base)
    {
        std::array<int, kMaxCodeLength + 1> perLength{};
        for (int i = 0; i < count; ++i) {
            if (lengths[i] > kMaxCodeLength)
                Fail("huffman code longer than 15 bits");
            ++perLength[lengths[i]];
            longest_ = std::max(longest_, static_cast<int>(lengths[i]));
        }
        perLength[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            left = (left << 1) - perLength[len];
            if (left < 0)
                Fail("huffman code lengths are over-subscribed");
        }
        if (longest_ == 0)
            return;  // an empty code: any attempt to decode with it fails
        std::array<std::uint32_t, kMaxCodeLength + 2> next{};
        std::uint32_t code = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            code = (code + static_cast<std::uint32_t>(perLength[len - 1])) << 1;
            next[static_cast<std::size_t>(len)] = code;
        }
        table_.assign(std::size_t{1} << longest_, 0);
        for (int sym = 0; sym < count; ++sym) {
            int len = lengths[sym];
            if (len == 0)
                continue;
            std::uint32_t c = next[static_cast<std::size_t>(len)]++;
            std::uint32_t reversed = 0;
            for (int i = 0; i < len; ++i)
                reversed |= ((c >> i) & 1u) << (len - 1 - i);
            std::uint32_t extraBits = 0;
            if (sym >= firstBase) {
                int k = sym - firstBase;
                extraBits = k < baseCount ? extra[k] : 0xFFu;
            }
            std::uint32_t entry =
                static_cast<std::uint32_t>(sym) | (static_cast<std::uint32_t>(len) << 16) | (extraBits << 24);
            for (std::size_t i = reversed; i < table_.size(); i += std::size_t{1} << len)
                table_[i] = entry;
        }
    }

    Decoded Decode(BitInput& in) const
    {
        if (longest_ == 0)
            Fail("symbol read with an empty huffman code");
        std::uint32_t entry = table_[in.Peek(longest_)];
        int len = static_cast<int>((entry >> 16) & 0xFF);
        if (len == 0)
            Fail("bits match no huffman code");
        if (len > in.Available())
            Fail("deflate data ends before its last block");
        in.Drop(len);
        std::uint32_t sym = entry & 0xFFFF;
        if (static_cast<int>(sym) < firstBase_)
            return {sym, sym};
        std::uint32_t extraBits = entry >> 24;
        if (extraBits == 0xFF)
            Fail("symbol " + std::to_string(sym) + " is not allowed");
        return {sym,
                base_[sym - static_cast<std::uint32_t>(firstBase_)] + in.Bits(static_cast<int>(extraBits))};
    }

private:
    std::vector<std::uint32_t> table_;
    int longest_ = 0;
    int firstBase_;
    const std::uint16_t* base_;  // not owned; static tables
};

THuffmanTree MakeLiteralTree(const std::uint8_t* lengths, int count)
{
    return THuffmanTree(lengths, count, 257, kLengthBase.data(), kLengthExtra.data(),
                        static_cast<int>(kLengthBase.size()));
}

THuffmanTree MakeDistanceTree(const std::uint8_t* lengths, int count)
{
    return THuffmanTree(lengths, count, 0, kDistanceBase.data(), kDistanceExtra.data(),
                        static_cast<int>(kDistanceBase.size()));
}

struct FixedTrees {
    THuffmanTree literals;
    THuffmanTree distances;
};

FixedTrees BuildFixedTrees()
{
    std::array<std::uint8_t, 288> lit{};
    std::fill(lit.begin(), lit.begin() + 144, 8);
    std::fill(lit.begin() + 144, lit.begin() + 256, 9);
    std::fill(lit.begin() + 256, lit.begin() + 280, 7);
    std::fill(lit.begin() + 280, lit.end(), 8);
    std::array<std::uint8_t, 32> dist{};
    dist.fill(5);
    return {MakeLiteralTree(lit.data(), 288), MakeDistanceTree(dist.data(), 32)};
}

// Built once at start-up; read-only afterwards.
const FixedTrees kFixedTrees = BuildFixedTrees();

// Output through a 64 KiB window; the older half goes to the stream once the window fills,
// so 32 KiB of history always stay behind the write position.
class Window {
public:
    Window(rtl::TStream& dest, std::int64_t maxOutput)
        : dest_(dest), maxOutput_(maxOutput), data_(kWindowSize + kWindowSpare)
    {
    }

    void PutByte(std::uint8_t b)
    {
        Reserve(1);
        data_[static_cast<std::size_t>(pos_++)] = b;
        FlushIfFull();
    }

    void CopyMatch(std::uint32_t distance, std::uint32_t length)
    {
        if (distance > total_ || distance > kHistorySize)
            Fail("back reference of " + std::to_string(distance) + " reaches before the data");
        Reserve(length);
        std::uint8_t* out = data_.data() + pos_;
        const std::uint8_t* from = out - distance;
        if (distance < length) {
            for (std::uint32_t i = 0; i < length; ++i)
                out[i] = from[i];
        } else {
            std::memcpy(out, from, length);
        }
        pos_ += static_cast<std::int32_t>(length);
        FlushIfFull();
    }

    void Finish()
    {
        if (pos_ > 0)
            dest_.WriteBuffer(data_.data(), pos_);
        pos_ = 0;
    }

    std::int64_t Total() const { return total_; }

private:
    void Reserve(std::uint32_t n)
    {
        if (total_ + n > maxOutput_)
            Fail("inflated data is larger than " + std::to_string(maxOutput_) + " bytes");
        total_ += n;
    }
    void FlushIfFull()
    {
        if (pos_ < kWindowSize)
            return;
        dest_.WriteBuffer(data_.data(), kHistorySize);
        std::memmove(data_.data(), data_.data() + kHistorySize,
                     static_cast<std::size_t>(pos_ - kHistorySize));
        pos_ -= kHistorySize;
    }

    rtl::TStream& dest_;  // not owned
    std::int64_t maxOutput_;
    std::vector<std::uint8_t> data_;
    std::int32_t pos_ = 0;
    std::int64_t total_ = 0;
};

void InflateCodes(BitInput& in, Window& out, const THuffmanTree& literals, const THuffmanTree& distances)
{
    for (;;) {
        THuffmanTree::Decoded lit = literals.Decode(in);
        if (lit.symbol < 256) {
            out.PutByte(static_cast<std::uint8_t>(lit.symbol));
            continue;
        }
        if (lit.symbol == 256)
            return;
        THuffmanTree::Decoded dist = distances.Decode(in);
        out.CopyMatch(dist.value, lit.value);
    }
}

void InflateDynamic(BitInput& in, Window& out)
{
    std::uint32_t hlit = in.Bits(5) + 257;
    std::uint32_t hdist = in.Bits(5) + 1;
    std::uint32_t hclen = in.Bits(4) + 4;
    if (hlit > 286 || hdist > 30)
        Fail("dynamic block declares " + std::to_string(hlit) + " literal and " + std::to_string(hdist) +
             " distance codes");
    std::array<std::uint8_t, 19> clLengths{};
    for (std::uint32_t i = 0; i < hclen; ++i)
        clLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(in.Bits(3));
    THuffmanTree clTree(clLengths.data(), 19, 19, nullptr, nullptr, 0);

    std::array<std::uint8_t, 286 + 30> lengths{};
    std::uint32_t n = 0;
    const std::uint32_t total = hlit + hdist;
    while (n < total) {
        std::uint32_t sym = clTree.Decode(in).symbol;
        std::uint32_t repeat = 0;
        std::uint8_t value = 0;
        if (sym < 16) {
            lengths[n++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        if (sym == 16) {
            if (n == 0)
                Fail("code length repeat with no previous length");
            value = lengths[n - 1];
            repeat = 3 + in.Bits(2);
        } else if (sym == 17) {
            repeat = 3 + in.Bits(3);
        } else {
            repeat = 11 + in.Bits(7);
        }
        if (n + repeat > total)
            Fail("code length repeat runs past the declared codes");
        std::fill_n(lengths.begin() + n, repeat, value);
        n += repeat;
    }
    THuffmanTree literals = MakeLiteralTree(lengths.data(), static_cast<int>(hlit));
    THuffmanTree distances = MakeDistanceTree(lengths.data() + hlit, static_cast<int>(hdist));
    InflateCodes(in, out, literals, distances);
}

void InflateStored(BitInput& in, Window& out)
{
    in.AlignToByte();
    std::uint32_t len = in.Bits(16);
    in.Bits(16);  // NLEN: not checked
    while (len > 0) {
        std::uint32_t piece = std::min<std::uint32_t>(len, kInputBufferSize);
        for (std::uint32_t i = 0; i < piece; ++i)
            out.PutByte(static_cast<std::uint8_t>(in.Bits(8)));
        len -= piece;
    }
}

// ---- traditional PKWARE decryption ----

std::array<std::uint32_t, 256> BuildCrcTable()
{
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}

const std::array<std::uint32_t, 256> kCrcTable = BuildCrcTable();

class TraditionalCipher {
public:
    explicit TraditionalCipher(const std::string& password)
    {
        for (char c : password)
            Update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t Decrypt(std::uint8_t c)
    {
        std::uint16_t t = static_cast<std::uint16_t>(keys_[2] | 2);
        std::uint8_t plain = c ^ static_cast<std::uint8_t>((t * (t ^ 1u)) >> 8);
        Update(plain);
        return plain;
    }

private:
    static std::uint32_t Crc(std::uint32_t crc, std::uint8_t b)
    {
        return kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    }
    void Update(std::uint8_t b)
    {
        keys_[0] = Crc(keys_[0], b);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        keys_[2] = Crc(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
    }

    std::array<std::uint32_t, 3> keys_ = {0x12345678u, 0x23456789u, 0x34567890u};
};

// ---- archive walk ----

constexpr std::uint32_t kEndSignature = 0x06054B50u;
constexpr int kEndRecordSize = 22;
constexpr int kCentralHeaderSize = 46;
constexpr int kLocalHeaderSize = 30;

std::string AsciiUpper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Reads exactly `count` bytes at `offset`, which must lie within `limit`.
void ReadAt(rtl::TStream& s, std::int64_t limit, std::int64_t offset, void* buffer, std::int64_t count)
{
    if (offset < 0 || count < 0 || offset > limit || count > limit - offset)
        Fail(std::to_string(count) + " bytes at offset " + std::to_string(offset) + " lie outside " +
             std::to_string(limit) + " bytes");
    if (count == 0)
        return;
    if (count > INT32_MAX)
        Fail(std::to_string(count) + " bytes do not fit one read");
    if (s.Seek(offset, rtl::soBeginning) != offset)
        Fail("cannot seek to offset " + std::to_string(offset));
    s.ReadBuffer(buffer, static_cast<std::int32_t>(count));
}

struct CentralEntry {
    std::uint16_t flags = 0;
    std::uint16_t modTime = 0;
    std::uint32_t crc = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint32_t localOffset = 0;
};

// Walks the central directory; false when the archive is not usable or lacks the entry.
bool FindEntry(rtl::TStream& archive, const std::string& entryName, CentralEntry& found)
{
    const std::int64_t fileSize = archive.Size();
    std::uint8_t sig[4];
    if (fileSize < 4)
        return false;
    ReadAt(archive, fileSize, 0, sig, 4);
    if (sig[0] != 'S' || sig[1] != 'K')
        return false;
    const std::int64_t endPos = fileSize - kEndRecordSize;
    if (endPos < 0)
        return false;
    std::uint8_t end[kEndRecordSize];
    ReadAt(archive, fileSize, endPos, end, kEndRecordSize);
    // An archive comment would move the end record away from the last 22 bytes.
    if (U32(end) != kEndSignature || U16(end + 20) != 0)
        return false;
    const std::int64_t cdOffset = U32(end + 16);
    if (cdOffset > endPos)
        return false;
    const std::string wanted = AsciiUpper(entryName);
    std::int64_t pos = cdOffset;
    while (pos < endPos) {
        std::uint8_t h[kCentralHeaderSize];
        ReadAt(archive, endPos, pos, h, kCentralHeaderSize);
        const std::uint16_t nameLength = U16(h + 28);
        std::string name(nameLength, '\0');
        ReadAt(archive, endPos, pos + kCentralHeaderSize, name.data(), nameLength);
        if (AsciiUpper(name) == wanted) {
            found.flags = U16(h + 8);
            found.modTime = U16(h + 12);
            found.crc = U32(h + 16);
            found.uncompressedSize = U32(h + 24);
            found.localOffset = U32(h + 42);
            return true;
        }
        pos += kCentralHeaderSize + std::int64_t{nameLength} + U16(h + 30) + U16(h + 32);
    }
    return false;
}

}  // namespace

std::int64_t Inflate(rtl::TStream& source, rtl::TStream& dest, std::int64_t maxOutput)
{
    BitInput in(source);
    Window out(dest, maxOutput);
    bool last = false;
    while (!last) {
        last = in.Bits(1) != 0;
        switch (in.Bits(2)) {
        case 0: InflateStored(in, out); break;
        case 1: InflateCodes(in, out, kFixedTrees.literals, kFixedTrees.distances); break;
        case 2: InflateDynamic(in, out); break;
        default: break;  // reserved type: nothing to decode
        }
    }
    out.Finish();
    return out.Total();
}

int ExtractArchiveEntry(const std::string& archiveName, const std::string& entryName,
                        const std::string& outputName, const std::string& password)
{
    int result = kExtractFailed;
    std::unique_ptr<rtl::TFileStream> archive;
    std::unique_ptr<rtl::TFileStream> output;
    std::unique_ptr<rtl::TMemoryStream> plain;
    CentralEntry entry;
    try {
        if (!detail::FileExists(archiveName))
            return kExtractFailed;
        archive = std::make_unique<rtl::TFileStream>(archiveName, rtl::fmOpenRead | rtl::fmShareDenyNone);
        if (!FindEntry(*archive, entryName, entry))
            return kExtractFailed;
    } catch (const std::exception&) {
        return kExtractFailed;
    }

    try {
        output = std::make_unique<rtl::TFileStream>(outputName, rtl::fmCreate);
    } catch (const std::exception&) {
        return kExtractFailed;
    }

    try {
        const std::int64_t fileSize = archive->Size();
        std::uint8_t local[kLocalHeaderSize];
        ReadAt(*archive, fileSize, entry.localOffset, local, kLocalHeaderSize);
        const std::int64_t dataPos =
            std::int64_t{entry.localOffset} + kLocalHeaderSize + U16(local + 26) + U16(local + 28);
        if (dataPos > fileSize)
            Fail("entry data starts past the end of the archive");
        archive->Seek(dataPos, rtl::soBeginning);
        if (entry.flags & 1) {
            if (password.empty()) {
                result = kExtractBadPassword;
            } else {
                TraditionalCipher cipher(password);
                std::uint8_t header[12];
                archive->ReadBuffer(header, 12);
                for (std::uint8_t& b : header)
                    b = cipher.Decrypt(b);
                const std::uint8_t check = (entry.flags & 8) ? static_cast<std::uint8_t>(entry.modTime >> 8)
                                                             : static_cast<std::uint8_t>(entry.crc >> 24);
                if (header[11] != check) {
                    result = kExtractBadPassword;
                } else {
                    plain = std::make_unique<rtl::TMemoryStream>();
                    std::uint8_t block[1024];
                    for (;;) {
                        std::int32_t got = archive->Read(block, sizeof block);
                        if (got <= 0)
                            break;
                        for (std::int32_t i = 0; i < got; ++i)
                            block[i] = cipher.Decrypt(block[i]);
                        plain->WriteBuffer(block, got);
                    }
                    plain->SetPosition(0);
                    Inflate(*plain, *output, entry.uncompressedSize);
                    result = kExtractOk;
                }
            }
        } else {
            Inflate(*archive, *output, entry.uncompressedSize);
            result = kExtractOk;
        }
    } catch (const std::exception&) {
        result = kExtractFailed;
    }

    plain.reset();
    try {
        const std::int64_t written = output->Size();
        if (written == 0 && result == kExtractOk)
            result = kExtractFailed;
        else if (written != entry.uncompressedSize)
            result = kExtractBadPassword;
    } catch (const std::exception&) {
        result = kExtractFailed;
    }
    output.reset();
    archive.reset();
    if (result != kExtractOk)
        detail::DeleteFileIfExists(outputName);
    return result;
}

std::string TempDir() { return detail::TempFolder(); }

// ---- TSkinBitmap ----

TSkinBitmap::TSkinBitmap(std::vector<std::uint8_t> bmp) : data_(std::move(bmp))
{
    const std::int64_t size = static_cast<std::int64_t>(data_.size());
    const std::uint8_t* p = data_.data();
    if (size < 14 + 12 || p[0] != 'B' || p[1] != 'M')
        Fail("bitmap value is not a BMP file");
    const std::uint32_t infoSize = U32(p + 14);
    const std::int64_t offBits = U32(p + 10);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        width = U16(p + 18);
        height = U16(p + 20);
        bitCount_ = U16(p + 24);
    } else if (infoSize >= 40 && infoSize <= size - 14) {
        width = static_cast<std::int32_t>(U32(p + 18));
        height = static_cast<std::int32_t>(U32(p + 22));
        bitCount_ = U16(p + 28);
        compression = U32(p + 30);
    } else {
        Fail("bitmap info header of " + std::to_string(infoSize) + " bytes");
    }
    if (height < 0)
        height = -height;
    if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF)
        Fail("bitmap of " + std::to_string(width) + "x" + std::to_string(height));
    if (bitCount_ != 1 && bitCount_ != 4 && bitCount_ != 8 && bitCount_ != 16 && bitCount_ != 24 &&
        bitCount_ != 32)
        Fail("bitmap of " + std::to_string(bitCount_) + " bits per pixel");
    if (offBits > size)
        Fail("bitmap pixels start past the end of the value");
    // Uncompressed rows are padded to 4 bytes; RLE data is sized by its decoder.
    if (compression == 0 || compression == 3) {
        const std::int64_t rowBytes = (width * bitCount_ + 31) / 32 * 4;
        if (rowBytes * height > size - offBits)
            Fail("bitmap pixels are cut short");
    }
    width_ = static_cast<std::int32_t>(width);
    height_ = static_cast<std::int32_t>(height);
}

// ---- Tsk2SkinFileReader ----

namespace {
constexpr int kRecordSize = 77;
constexpr int kNameSize = 64;
constexpr int kHeaderSize = 24;
}  // namespace

Tsk2SkinFileReader::Tsk2SkinFileReader(const std::string& fileName, const std::string& password)
    : bitmaps_(std::make_unique<rtl::TStringList>(true)),
      integers_(std::make_unique<rtl::TStringList>()),
      bytes_(std::make_unique<rtl::TStringList>()),
      strings_(std::make_unique<rtl::TStringList>())
{
    const std::string tempName = TempDir() + detail::NewGuidString();
    const int result = ExtractArchiveEntry(fileName, "SKINDATA.SK2", tempName, password);
    if (result == kExtractBadPassword)
        return;
    if (result != kExtractOk)
        throw rtl::Exception(kReadFailed);
    try {
        ReadSkinData(tempName);
    } catch (...) {
        detail::DeleteFileIfExists(tempName);
        throw rtl::Exception(kReadFailed);
    }
    detail::DeleteFileIfExists(tempName);
    loaded_ = true;
}

Tsk2SkinFileReader::~Tsk2SkinFileReader() = default;

void Tsk2SkinFileReader::ReadSkinData(const std::string& dataFileName)
{
    rtl::TFileStream f(dataFileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
    const std::int64_t size = f.Size();
    std::uint8_t header[kHeaderSize];
    ReadAt(f, size, 0, header, 16);
    const std::int64_t headerSize = U32(header + 12);
    if (headerSize < kHeaderSize || headerSize > size)
        Fail("skin data header of " + std::to_string(headerSize) + " bytes");
    ReadAt(f, size, 0, header, kHeaderSize);

    // A well-formed chain visits each record once and each value once; anything beyond that
    // is a loop or overlapping junk, which would otherwise hang or exhaust memory.
    std::set<std::int64_t> visited;
    std::int64_t valueBudget = size;
    std::int64_t offset = U32(header + 20);
    std::uint8_t rec[kRecordSize];
    ReadAt(f, size, offset, rec, kRecordSize);
    for (;;) {
        const std::int64_t next = U32(rec + 73);
        if (next == 0)
            break;
        if (!visited.insert(offset).second)
            Fail("record chain returns to offset " + std::to_string(offset));
        const std::uint8_t type = rec[64];
        const std::int64_t valueOffset = U32(rec + 65);
        const std::int64_t valueSize = U32(rec + 69);
        const char* namePtr = reinterpret_cast<const char*>(rec);
        const std::string name(namePtr, strnlen(namePtr, kNameSize));
        if (type <= srtString) {
            if (valueOffset > size || valueSize > size - valueOffset)
                Fail("value of " + name + " lies outside the skin data");
            if (type == srtBitmap || type == srtString) {
                valueBudget -= valueSize;
                if (valueBudget < 0)
                    Fail("values overlap beyond the size of the skin data");
            }
        }
        switch (type) {
        case srtBitmap: {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(valueSize));
            ReadAt(f, size, valueOffset, bytes.data(), valueSize);
            auto bitmap = std::make_unique<TSkinBitmap>(std::move(bytes));
            bitmaps_->AddObject(name, bitmap.get());
            bitmap.release();
            break;
        }
        case srtInteger: {
            std::uint8_t v[4] = {};
            ReadAt(f, size, valueOffset, v, std::min<std::int64_t>(valueSize, 4));
            integers_->Add(name + "=" + rtl::IntToStr(static_cast<std::int32_t>(U32(v))));
            break;
        }
        case srtByte: {
            std::uint8_t v = 0;
            ReadAt(f, size, valueOffset, &v, std::min<std::int64_t>(valueSize, 1));
            bytes_->Add(name + "=" + rtl::IntToStr(v));
            break;
        }
        case srtString: {
            std::string text(static_cast<std::size_t>(valueSize), '\0');
            ReadAt(f, size, valueOffset, text.data(), valueSize);
            strings_->Add(name + "=" + text);
            break;
        }
        default: break;
        }
        offset = next;
        ReadAt(f, size, offset, rec, kRecordSize);
    }
}

TSkinBitmap* Tsk2SkinFileReader::GetBitmap(const std::string& name) const
{
    const std::int32_t i = bitmaps_->IndexOf(name);
    return i < 0 ? nullptr : static_cast<TSkinBitmap*>(bitmaps_->Objects(i));
}

std::int32_t Tsk2SkinFileReader::GetInt(const std::string& name) const
{
    const std::int32_t i = integers_->IndexOfName(name);
    return i < 0 ? -1 : rtl::StrToIntDef(integers_->ValueFromIndex(i), -1);
}

bool Tsk2SkinFileReader::GetBool(const std::string& name) const
{
    const std::int32_t i = bytes_->IndexOfName(name);
    return i >= 0 && static_cast<std::uint8_t>(rtl::StrToIntDef(bytes_->ValueFromIndex(i), 0)) != 0;
}

}  // namespace skin
