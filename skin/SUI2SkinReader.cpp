// Skin file reader: the archive walk, traditional decryption, the inflater and the record chain.
#include "skin/SUI2SkinReader.h"

#include "skin/SUI2Inflate.h"

#include "platform/rtl/Endian.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Files.h"
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
    std::uint32_t compressedSize = 0;
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
    if (rtl::LoadLE32(end) != kEndSignature || rtl::LoadLE16(end + 20) != 0)
        return false;
    const std::int64_t cdOffset = rtl::LoadLE32(end + 16);
    if (cdOffset > endPos)
        return false;
    const std::string wanted = AsciiUpper(entryName);
    std::int64_t pos = cdOffset;
    while (pos < endPos) {
        std::uint8_t h[kCentralHeaderSize];
        ReadAt(archive, endPos, pos, h, kCentralHeaderSize);
        const std::uint16_t nameLength = rtl::LoadLE16(h + 28);
        std::string name(nameLength, '\0');
        ReadAt(archive, endPos, pos + kCentralHeaderSize, name.data(), nameLength);
        if (AsciiUpper(name) == wanted) {
            found.flags = rtl::LoadLE16(h + 8);
            found.modTime = rtl::LoadLE16(h + 12);
            found.crc = rtl::LoadLE32(h + 16);
            found.compressedSize = rtl::LoadLE32(h + 20);
            found.uncompressedSize = rtl::LoadLE32(h + 24);
            found.localOffset = rtl::LoadLE32(h + 42);
            return true;
        }
        pos += kCentralHeaderSize + std::int64_t{nameLength} + rtl::LoadLE16(h + 30) + rtl::LoadLE16(h + 32);
    }
    return false;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace

int ExtractArchiveEntry(rtl::TStream& archive, const std::string& entryName, const std::string& password,
                        std::vector<std::uint8_t>& out)
{
    out.clear();
    CentralEntry entry;
    try {
        if (!FindEntry(archive, entryName, entry))
            return kExtractFailed;
    } catch (const std::exception&) {
        return kExtractFailed;
    }

    // From here on the entry is there and what goes wrong is its data. Whatever does not yield
    // the stored size and CRC-32 is a damaged entry: the same answer as a wrong password, so the
    // reader stays empty and nothing is raised. Data that breaks off before any output matches a
    // stored size of 0, and an entry that is empty is no skin at all.
    const auto damaged = [&] {
        out.clear();
        return entry.uncompressedSize == 0 ? kExtractFailed : kExtractBadPassword;
    };
    const bool encrypted = (entry.flags & 1) != 0;
    std::vector<std::uint8_t> data;
    try {
        const std::int64_t fileSize = archive.Size();
        std::uint8_t local[kLocalHeaderSize];
        ReadAt(archive, fileSize, entry.localOffset, local, kLocalHeaderSize);
        const std::int64_t dataPos = std::int64_t{entry.localOffset} + kLocalHeaderSize +
                                     rtl::LoadLE16(local + 26) + rtl::LoadLE16(local + 28);
        // Only the entry's own compressed bytes are read (and decrypted), never the rest of the
        // archive: a short entry cannot run on into the central directory.
        if (dataPos > fileSize || entry.compressedSize > fileSize - dataPos)
            return damaged();
        data.resize(entry.compressedSize);
        ReadAt(archive, fileSize, dataPos, data.data(), entry.compressedSize);
    } catch (const std::exception&) {
        return damaged();
    }

    try {
        std::size_t start = 0;
        if (encrypted) {
            if (password.empty() || data.size() < 12)
                return kExtractBadPassword;
            TraditionalCipher cipher(password);
            for (std::uint8_t& b : data)
                b = cipher.Decrypt(b);
            const std::uint8_t check = (entry.flags & 8) ? static_cast<std::uint8_t>(entry.modTime >> 8)
                                                         : static_cast<std::uint8_t>(entry.crc >> 24);
            if (data[11] != check)
                return kExtractBadPassword;
            start = 12;
        }
        InflateBuffer(data.data() + start, data.size() - start, out, entry.uncompressedSize);
    } catch (const EInflateTooLong&) {
        out.clear();
        return kExtractBadPassword;  // more than the stored size, even of a stored 0
    } catch (const std::exception&) {
        return damaged();
    }
    if (out.empty())
        return kExtractFailed;
    if (out.size() != entry.uncompressedSize || Crc32(out.data(), out.size()) != entry.crc)
        return damaged();
    return kExtractOk;
}

int ExtractArchiveEntry(const std::string& archiveName, const std::string& entryName,
                        const std::string& outputName, const std::string& password)
{
    std::vector<std::uint8_t> out;
    int result = kExtractFailed;
    try {
        if (!rtl::FileExists(archiveName))
            return kExtractFailed;
        rtl::TFileStream archive(archiveName, rtl::fmOpenRead | rtl::fmShareDenyNone);
        result = ExtractArchiveEntry(archive, entryName, password, out);
    } catch (const std::exception&) {
        return kExtractFailed;
    }
    if (result != kExtractOk)
        return result;
    try {
        rtl::TFileStream output(outputName, rtl::fmCreate);
        output.WriteBuffer(out.data(), static_cast<std::int32_t>(out.size()));
    } catch (const std::exception&) {
        rtl::RemoveFile(outputName);
        return kExtractFailed;
    }
    return kExtractOk;
}

std::string TempDir() { return rtl::TempFolder(); }

// ---- TSkinBitmap ----

TSkinBitmap::TSkinBitmap(std::vector<std::uint8_t> bmp) : data_(std::move(bmp))
{
    const std::int64_t size = static_cast<std::int64_t>(data_.size());
    const std::uint8_t* p = data_.data();
    if (size < 14 + 12 || p[0] != 'B' || p[1] != 'M')
        Fail("bitmap value is not a BMP file");
    const std::uint32_t infoSize = rtl::LoadLE32(p + 14);
    const std::int64_t offBits = rtl::LoadLE32(p + 10);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        width = rtl::LoadLE16(p + 18);
        height = rtl::LoadLE16(p + 20);
        bitCount_ = rtl::LoadLE16(p + 24);
    } else if (infoSize >= 40 && infoSize <= size - 14) {
        width = static_cast<std::int32_t>(rtl::LoadLE32(p + 18));
        height = static_cast<std::int32_t>(rtl::LoadLE32(p + 22));
        bitCount_ = rtl::LoadLE16(p + 28);
        compression = rtl::LoadLE32(p + 30);
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
    : Tsk2SkinFileReader()
{
    std::unique_ptr<rtl::TFileStream> archive;
    try {
        if (rtl::FileExists(fileName))
            archive = std::make_unique<rtl::TFileStream>(fileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
    } catch (const std::exception&) {
        archive.reset();
    }
    if (!archive)
        throw rtl::Exception(kReadFailed);
    Read(*archive, password);
}

Tsk2SkinFileReader::Tsk2SkinFileReader(rtl::TStream& archive, const std::string& password)
    : Tsk2SkinFileReader()
{
    Read(archive, password);
}

Tsk2SkinFileReader::Tsk2SkinFileReader()
    : bitmaps_(std::make_unique<rtl::TStringList>(true)),
      integers_(std::make_unique<rtl::TStringList>()),
      bytes_(std::make_unique<rtl::TStringList>()),
      strings_(std::make_unique<rtl::TStringList>())
{
}

Tsk2SkinFileReader::~Tsk2SkinFileReader() = default;

void Tsk2SkinFileReader::Read(rtl::TStream& archive, const std::string& password)
{
    std::vector<std::uint8_t> entry;
    const int result = ExtractArchiveEntry(archive, "SKINDATA.SK2", password, entry);
    if (result == kExtractBadPassword)
        return;
    if (result != kExtractOk)
        throw rtl::Exception(kReadFailed);
    try {
        rtl::TReadOnlyMemoryStream data(entry.data(), static_cast<std::int64_t>(entry.size()));
        ReadSkinData(data);
    } catch (...) {
        bitmaps_->Clear();
        integers_->Clear();
        bytes_->Clear();
        strings_->Clear();
        throw rtl::Exception(kReadFailed);
    }
    loaded_ = true;
}

void Tsk2SkinFileReader::ReadSkinData(rtl::TStream& f)
{
    const std::int64_t size = f.Size();
    std::uint8_t header[kHeaderSize];
    ReadAt(f, size, 0, header, 16);
    const std::int64_t headerSize = rtl::LoadLE32(header + 12);
    if (headerSize < kHeaderSize || headerSize > size)
        Fail("skin data header of " + std::to_string(headerSize) + " bytes");
    ReadAt(f, size, 0, header, kHeaderSize);

    // A well-formed chain visits each record once and each value once; anything beyond that
    // is a loop or overlapping junk, which would otherwise hang or exhaust memory.
    std::set<std::int64_t> visited;
    std::int64_t valueBudget = size;
    std::int64_t offset = rtl::LoadLE32(header + 20);
    std::uint8_t rec[kRecordSize];
    ReadAt(f, size, offset, rec, kRecordSize);
    for (;;) {
        const std::int64_t next = rtl::LoadLE32(rec + 73);
        if (next == 0)
            break;
        if (!visited.insert(offset).second)
            Fail("record chain returns to offset " + std::to_string(offset));
        const std::uint8_t type = rec[64];
        const std::int64_t valueOffset = rtl::LoadLE32(rec + 65);
        const std::int64_t valueSize = rtl::LoadLE32(rec + 69);
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
            integers_->Add(name + "=" + rtl::IntToStr(static_cast<std::int32_t>(rtl::LoadLE32(v))));
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
