// Shared helpers for the LZH codec and store tests and benchmark: sample data, scratch files,
// LHA archive framing and a deliberately simple reference reader of lh5 symbols.
#pragma once

#include "app/LHARoutines.h"
#include "platform/rtl/Streams.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace lzhtest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes CompressBytes(const Bytes& data)
{
    rtl::TMemoryStream in;
    if (!data.empty())
        in.WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
    rtl::TMemoryStream out;
    app::Compress(in, out);
    return out.Bytes();
}

inline Bytes ExpandBytes(const Bytes& packed)
{
    rtl::TMemoryStream in;
    if (!packed.empty())
        in.WriteBuffer(packed.data(), static_cast<std::int32_t>(packed.size()));
    rtl::TMemoryStream out;
    app::Expand(in, out);
    return out.Bytes();
}

// ---- scratch files

// A fresh folder under the temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "lzhtest")
    {
        static std::atomic<int> counter{0};
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, const Bytes& b)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path.string());
}

inline Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// ---- sample data

// Word salad with punctuation and line breaks: compresses like prose.
inline Bytes TextSample(std::size_t size, std::uint32_t seed)
{
    static const char* const kWords[] = {
        "the",   "install", "folder",    "of",      "and",     "a",          "to",     "file",
        "is",    "setup",   "assistant", "search",  "drive",   "program",    "window", "shortcut",
        "build", "number",  "with",      "for",     "README",  "compressed", "stream", "block",
        "table", "on",      "in",        "Varnelo", "version", "continue",   "cancel", "that",
        "it",    "be",      "from",      "this",    "are",     "not",        "or",     "data"};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + 16);
    std::size_t column = 0;
    while (out.size() < size) {
        const std::string w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
        out.insert(out.end(), w.begin(), w.end());
        column += w.size() + 1;
        const auto r = rng() % 16;
        if (r == 0)
            out.push_back('.');
        else if (r == 1)
            out.push_back(',');
        if (column > 72) {
            out.push_back('\r');
            out.push_back('\n');
            column = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

// Executable-like bytes: little-endian records, small integers, zero padding, repeated opcodes.
inline Bytes BinarySample(std::size_t size, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + 64);
    while (out.size() < size) {
        switch (rng() % 5) {
        case 0: {  // a record with an increasing id
            const std::uint32_t id = static_cast<std::uint32_t>(out.size() / 16);
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
            out.push_back(static_cast<std::uint8_t>(rng() % 4));
            out.insert(out.end(), 3, 0);
            break;
        }
        case 1:  // padding
            out.insert(out.end(), rng() % 40, 0);
            break;
        case 2: {  // a common instruction sequence
            static const std::uint8_t kSeq[] = {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10, 0x53, 0x56, 0x57};
            out.insert(out.end(), kSeq, kSeq + 3 + rng() % 6);
            break;
        }
        case 3:  // noise
            for (int i = 0, n = static_cast<int>(rng() % 12); i < n; ++i)
                out.push_back(static_cast<std::uint8_t>(rng()));
            break;
        default: {  // a copy from somewhere earlier
            if (out.size() > 64) {
                const std::size_t from = rng() % (out.size() - 32);
                const std::size_t len = 4 + rng() % 28;
                for (std::size_t i = 0; i < len; ++i)
                    out.push_back(out[from + i]);
            }
            break;
        }
        }
    }
    out.resize(size);
    return out;
}

inline Bytes RandomSample(std::size_t size, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(rng());
    return out;
}

// Rows of a sparse picture, 3600 bytes each: mostly zeros with a few values, each row the one
// before with a few bytes changed. The best matches lie a row back, behind long chains of zeros.
inline Bytes RowsSample(std::size_t size, std::uint32_t seed)
{
    constexpr std::size_t kRow = 3600;
    std::mt19937 rng(seed);
    Bytes row(kRow, 0);
    for (int i = 0; i < 120; ++i)
        row[rng() % kRow] = static_cast<std::uint8_t>(1 + rng() % 255);
    Bytes out;
    out.reserve(size + kRow);
    while (out.size() < size) {
        for (int i = 0; i < 4; ++i)
            row[rng() % kRow] = rng() % 3 == 0 ? 0 : static_cast<std::uint8_t>(1 + rng() % 255);
        out.insert(out.end(), row.begin(), row.end());
    }
    out.resize(size);
    return out;
}

// Long runs of a few values, with run lengths around and beyond the longest match.
inline Bytes RunsSample(std::size_t size, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + 4096);
    while (out.size() < size)
        out.insert(out.end(), 1 + rng() % 3000, static_cast<std::uint8_t>("AB\0\xFF"[rng() % 4]));
    out.resize(size);
    return out;
}

// ---- LHA archive framing

// CRC-16 with polynomial 0xA001 (reflected), as LHA headers use.
inline std::uint16_t Crc16(const std::uint8_t* p, std::size_t n, std::uint16_t crc = 0)
{
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

inline void Put16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// One-member archive holding `lh5` (a bare bit stream) as `name`, header level 0, 1 or 2.
inline Bytes WrapInArchive(const Bytes& lh5, const Bytes& original, const std::string& name, int level)
{
    const std::uint16_t crc = Crc16(original.data(), original.size());
    const auto origSize = static_cast<std::uint32_t>(original.size());
    const std::uint32_t dosTime = 0x5A214C00;  // 2025-01-01 09:32
    Bytes h;
    if (level == 0 || level == 1) {
        h.push_back(0);  // header size, patched below
        h.push_back(0);  // checksum, patched below
        const char* method = "-lh5-";
        h.insert(h.end(), method, method + 5);
        const std::uint32_t extra = 0;
        Put32(h, static_cast<std::uint32_t>(lh5.size()) + extra);
        Put32(h, origSize);
        Put32(h, dosTime);
        h.push_back(0x20);
        h.push_back(static_cast<std::uint8_t>(level));
        h.push_back(static_cast<std::uint8_t>(name.size()));
        h.insert(h.end(), name.begin(), name.end());
        Put16(h, crc);
        if (level == 1) {
            h.push_back('U');
            Put16(h, 0);  // no extended headers
        }
        h[0] = static_cast<std::uint8_t>(h.size() - 2);
        std::uint8_t sum = 0;
        for (std::size_t i = 2; i < h.size(); ++i)
            sum = static_cast<std::uint8_t>(sum + h[i]);
        h[1] = sum;
    } else {
        Put16(h, 0);  // total header size, patched below
        const char* method = "-lh5-";
        h.insert(h.end(), method, method + 5);
        Put32(h, static_cast<std::uint32_t>(lh5.size()));
        Put32(h, origSize);
        Put32(h, 1735723920u);  // Unix time
        h.push_back(0x20);
        h.push_back(2);
        Put16(h, crc);
        h.push_back('U');
        Put16(h, 5);  // first extended header: the header's own CRC
        h.push_back(0x00);
        const std::size_t crcAt = h.size();
        Put16(h, 0);  // patched below
        Put16(h, static_cast<std::uint32_t>(3 + name.size()));
        h.push_back(0x01);  // file name
        h.insert(h.end(), name.begin(), name.end());
        Put16(h, 0);  // no further extended headers
        h[0] = static_cast<std::uint8_t>(h.size());
        h[1] = static_cast<std::uint8_t>(h.size() >> 8);
        const std::uint16_t headerCrc = Crc16(h.data(), h.size());
        h[crcAt] = static_cast<std::uint8_t>(headerCrc);
        h[crcAt + 1] = static_cast<std::uint8_t>(headerCrc >> 8);
    }
    Bytes archive = h;
    archive.insert(archive.end(), lh5.begin(), lh5.end());
    archive.push_back(0);  // end of archive
    return archive;
}

struct ArchiveMember {
    std::string method;
    Bytes packed;
    std::uint32_t originalSize = 0;
    std::uint16_t crc = 0;
};

inline std::uint32_t Get16(const Bytes& b, std::size_t at)
{
    if (at + 2 > b.size())
        throw std::runtime_error("archive header truncated");
    return b[at] | (b[at + 1] << 8);
}

inline std::uint32_t Get32(const Bytes& b, std::size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

// Walks a chain of extended headers: `next` is the size of the one at `at`, and each ends with
// the size of the one after it, 0 ending the chain. Calls visit(at, size) for each; returns
// the offset after the last. Throws when a header is too small to hold its own size field or
// runs past the archive.
template <class Visit>
std::size_t WalkExtendedHeaders(const Bytes& a, std::size_t at, std::size_t next, Visit visit)
{
    while (next != 0) {
        if (next < 3 || at > a.size() || next > a.size() - at)
            throw std::runtime_error("extended header outside the archive");
        visit(at, next);
        const std::size_t cur = at;
        at += next;
        next = Get16(a, cur + next - 2);
    }
    return at;
}

// The first member of an archive of header level 0, 1 or 2: its method and packed bytes.
inline ArchiveMember FirstMember(const Bytes& a)
{
    if (a.size() < 22)
        throw std::runtime_error("archive too short");
    ArchiveMember m;
    m.method.assign(a.begin() + 2, a.begin() + 7);
    std::uint32_t packed = Get32(a, 7);
    m.originalSize = Get32(a, 11);
    const int level = a[20];
    std::size_t dataAt = 0;
    if (level == 0 || level == 1) {
        const std::size_t headerEnd = 2 + a[0];
        const std::size_t nameLen = a[21];
        m.crc = static_cast<std::uint16_t>(Get16(a, 22 + nameLen));
        dataAt = headerEnd;
        if (level == 1) {
            // Extended headers follow the base header and count towards the packed size.
            dataAt = WalkExtendedHeaders(
                a, headerEnd, Get16(a, headerEnd - 2), [&](std::size_t, std::size_t size) {
                    if (packed < size)
                        throw std::runtime_error("extended headers exceed packed size");
                    packed -= static_cast<std::uint32_t>(size);
                });
        }
    } else if (level == 2) {
        m.crc = static_cast<std::uint16_t>(Get16(a, 21));
        dataAt = Get16(a, 0);
    } else {
        throw std::runtime_error("unknown header level");
    }
    if (dataAt > a.size() || packed > a.size() - dataAt)
        throw std::runtime_error("packed data truncated");
    m.packed.assign(a.begin() + static_cast<std::ptrdiff_t>(dataAt),
                    a.begin() + static_cast<std::ptrdiff_t>(dataAt + packed));
    return m;
}

// ---- reference symbol reader

// One decoded lh5 symbol: a literal byte, or a match (length, distance back).
struct Symbol {
    bool match = false;
    std::uint32_t value = 0;     // literal byte or match length
    std::uint32_t distance = 0;  // bytes back, 1..8192
};

// Reads the symbols of a bare lh5 bit stream bit by bit, with codes found by a linear search
// over the canonical code list. Slow and short on purpose: it checks our encoder's choices
// without sharing any code with our decoder. Throws std::runtime_error on anything unusual.
class ReferenceReader {
public:
    explicit ReferenceReader(const Bytes& bits) : bits_(bits) {}

    std::vector<Symbol> ReadSymbols(std::size_t outputSize)
    {
        std::vector<Symbol> symbols;
        std::size_t produced = 0;
        while (produced < outputSize) {
            const std::uint32_t blockSize = Bits(16);
            if (blockSize == 0)
                throw std::runtime_error("zero block");
            ReadTable(19, 5, 3, t_);
            ReadCTable();
            ReadTable(14, 4, -1, p_);
            for (std::uint32_t i = 0; i < blockSize && produced < outputSize; ++i) {
                Symbol s;
                const std::uint32_t c = Decode(c_);
                if (c < 256) {
                    s.value = c;
                    ++produced;
                } else {
                    s.match = true;
                    s.value = c - 253;
                    const std::uint32_t j = Decode(p_);
                    std::uint32_t d = j;
                    if (j > 1)
                        d = (1u << (j - 1)) + Bits(static_cast<int>(j - 1));
                    s.distance = d + 1;
                    produced += s.value;
                }
                symbols.push_back(s);
            }
            blockSizes_.push_back(blockSize);
        }
        return symbols;
    }

    // Symbol count of each block read.
    const std::vector<std::uint32_t>& BlockSizes() const { return blockSizes_; }
    std::size_t BitsUsed() const { return pos_; }

private:
    struct Code {
        std::vector<int> len;
        int single = -1;
        std::uint32_t count[17] = {};
        std::vector<int> sorted;
    };

    std::uint32_t Bit()
    {
        const std::size_t byte = pos_ / 8;
        const std::uint32_t v = byte < bits_.size() ? (bits_[byte] >> (7 - pos_ % 8)) & 1 : 0;
        ++pos_;
        return v;
    }

    std::uint32_t Bits(int n)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 1) | Bit();
        return v;
    }

    void ReadTable(int m, int w, int special, Code& code)
    {
        const std::uint32_t n = Bits(w);
        code.len.assign(m, 0);
        code.single = -1;
        if (n == 0) {
            code.single = static_cast<int>(Bits(w));
            return;
        }
        int i = 0;
        while (i < static_cast<int>(n)) {
            int l = static_cast<int>(Bits(3));
            if (l == 7)
                while (Bit())
                    ++l;
            code.len.at(i++) = l;
            if (i == special)
                i += static_cast<int>(Bits(2));
        }
        Prepare(code);
    }

    void ReadCTable()
    {
        const std::uint32_t n = Bits(9);
        c_.len.assign(510, 0);
        c_.single = -1;
        if (n == 0) {
            c_.single = static_cast<int>(Bits(9));
            return;
        }
        std::uint32_t i = 0;
        while (i < n) {
            const std::uint32_t c = Decode(t_);
            if (c == 0)
                i += 1;
            else if (c == 1)
                i += Bits(4) + 3;
            else if (c == 2)
                i += Bits(9) + 20;
            else
                c_.len.at(i++) = static_cast<int>(c - 2);
        }
        Prepare(c_);
    }

    // Canonical order: by length, then symbol. Reads one bit at a time until a code matches.
    std::uint32_t Decode(const Code& code)
    {
        if (code.single >= 0)
            return static_cast<std::uint32_t>(code.single);
        std::uint32_t value = 0;
        std::uint32_t first = 0;
        std::size_t index = 0;  // into code.sorted
        for (int len = 1; len <= 16; ++len) {
            value = (value << 1) | Bit();
            const std::uint32_t count = code.count[len];
            if (value - first < count)
                return static_cast<std::uint32_t>(code.sorted[index + (value - first)]);
            index += count;
            first = (first + count) << 1;
        }
        throw std::runtime_error("no code matches");
    }

    static void Prepare(Code& code)
    {
        code.sorted.clear();
        for (int l = 0; l <= 16; ++l)
            code.count[l] = 0;
        for (int l = 1; l <= 16; ++l) {
            for (std::size_t s = 0; s < code.len.size(); ++s) {
                if (code.len[s] == l) {
                    code.sorted.push_back(static_cast<int>(s));
                    ++code.count[l];
                }
            }
        }
    }

    Bytes bits_;
    std::size_t pos_ = 0;
    std::vector<std::uint32_t> blockSizes_;
    Code t_, c_, p_;
};

}  // namespace lzhtest
