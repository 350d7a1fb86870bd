// TIFF reader and writer, and the I/O component's TIFF steps.
#include "imaging/io/tiffilt.h"

#include "imaging/core/detail/iecpu.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/iejpegink.h"
#include "imaging/io/detail/iepackbits.h"
#include "imaging/io/detail/iepaletteindex.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/detail/iewritestream.h"
#include "imaging/io/detail/tiffexif.h"
#include "imaging/io/iecolorspace.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "imaging/io/jpegfilt.h"
#include "imaging/io/tifccitt.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>
#define VA_TIFF_AVX2 1
#endif

namespace imaging {

std::int64_t IETiffMaxImageBytes = std::int64_t(1) << 30;

namespace {

// ---- constants ---------------------------------------------------------------------------------

enum TTag : std::uint16_t {
    kNewSubfileType = 254,
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kDocumentName = 269,
    kImageDescription = 270,
    kMake = 271,
    kModel = 272,
    kStripOffsets = 273,
    kOrientation = 274,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kPlanarConfig = 284,
    kPageName = 285,
    kXPosition = 286,
    kYPosition = 287,
    kT4Options = 292,
    kT6Options = 293,
    kResolutionUnit = 296,
    kPageNumber = 297,
    kSoftware = 305,
    kDateTime = 306,
    kPredictor = 317,
    kWhitePoint = 318,
    kPrimaryChromaticities = 319,
    kColorMap = 320,
    kTileWidth = 322,
    kTileLength = 323,
    kTileOffsets = 324,
    kTileByteCounts = 325,
    kCleanFaxData = 327,
    kInkSet = 332,
    kExtraSamples = 338,
    kSampleFormat = 339,
    kJPEGTables = 347,
    kJPEGProc = 512,
    kJPEGInterchangeFormat = 513,
    kJPEGInterchangeFormatLength = 514,
    kYCbCrCoefficients = 529,
    kYCbCrSubSampling = 530,
    kYCbCrPositioning = 531,
    kReferenceBlackWhite = 532,
    kImagingAnnotations = 32932,
    kCopyright = 33432,
    kExposureTime = 33434,
    kFNumber = 33437,
    kIPTC = 33723,
    kExifIFD = 34665,
    kExposureProgram = 34850,
    kISOSpeedRatings = 34855,
    kExifVersion = 36864,
    kComponentsConfiguration = 37121,
    kDateTimeOriginal = 36867,
    kDateTimeDigitized = 36868,
    kCompressedBitsPerPixel = 37122,
    kShutterSpeedValue = 37377,
    kApertureValue = 37378,
    kBrightnessValue = 37379,
    kExposureBiasValue = 37380,
    kMaxApertureValue = 37381,
    kSubjectDistance = 37382,
    kMeteringMode = 37383,
    kLightSource = 37384,
    kFlash = 37385,
    kFocalLength = 37386,
    kUserComment = 37510,
    kSubsecTime = 37520,
    kSubsecTimeOriginal = 37521,
    kSubsecTimeDigitized = 37522,
    kFlashpixVersion = 40960,
    kColorSpace = 40961,
    kPixelXDimension = 40962,
    kPixelYDimension = 40963,
    kRelatedSoundFile = 40964,
    kFocalPlaneXResolution = 41486,
    kFocalPlaneYResolution = 41487,
    kFocalPlaneResolutionUnit = 41488,
    kExposureIndex = 41493,
    kSensingMethod = 41495,
    kFileSource = 41728,
    kSceneType = 41729,
};

enum TType : std::uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
    kSLong = 9,
    kSRational = 10,
    kFloat = 11,
    kDouble = 12,
    kIfd = 13,
};

// Bytes of one value of a type; 0 for a type this reader does not know.
int TypeSize(std::uint16_t type)
{
    switch (type) {
    case kByte:
    case kAscii:
    case kSByte:
    case kUndefined: return 1;
    case kShort:
    case kSShort: return 2;
    case kLong:
    case kSLong:
    case kFloat:
    case kIfd: return 4;
    case kRational:
    case kSRational:
    case kDouble: return 8;
    default: return 0;
    }
}

// TIFF compression codes.
constexpr std::uint16_t kCompNone = 1;
constexpr std::uint16_t kCompHuffman = 2;
constexpr std::uint16_t kCompGroup3 = 3;
constexpr std::uint16_t kCompGroup4 = 4;
constexpr std::uint16_t kCompLZW = 5;
constexpr std::uint16_t kCompOldJPEG = 6;
constexpr std::uint16_t kCompJPEG = 7;
constexpr std::uint16_t kCompPackBits = 32773;

constexpr std::uint16_t kPhotoWhiteIsZero = 0;
constexpr std::uint16_t kPhotoBlackIsZero = 1;
constexpr std::uint16_t kPhotoRGB = 2;
constexpr std::uint16_t kPhotoPalette = 3;
constexpr std::uint16_t kPhotoCMYK = 5;
constexpr std::uint16_t kPhotoYCbCr = 6;
constexpr std::uint16_t kPhotoCIELab = 8;

constexpr std::uint32_t kMaxPages = 65536;  // a longer chain is a loop in disguise
constexpr std::uint32_t kMaxStringBytes = 0x100000;
constexpr std::uint64_t kMaxTagBytes = 64u << 20;  // IPTC, annotations, tables
constexpr std::uint32_t kMaxSamples = 16;
constexpr int kHeaderSize = 8;
constexpr int kEntrySize = 12;
constexpr char kMolliSoftware[] = "Look@Molli v1.1";

bool IsCCITT(std::uint16_t compression)
{
    return compression == kCompHuffman || compression == kCompGroup3 || compression == kCompGroup4;
}

std::string TrimNul(std::string s)
{
    const std::size_t nul = s.find('\0');
    if (nul != std::string::npos)
        s.resize(nul);
    return s;
}

// ---- reading tags ------------------------------------------------------------------------------

// The stream seen from the TIFF header: offsets are checked against what the stream holds before
// any read.
class TTiffSource {
public:
    TTiffSource(rtl::TStream& stream, std::int64_t base, bool littleEndian)
        : stream_(stream), base_(base), size_(stream.Size()), le_(littleEndian)
    {
        if (const auto* m = dynamic_cast<const rtl::TReadOnlyMemoryStream*>(&stream))
            memory_ = m->Memory();
        else if (const auto* w = dynamic_cast<const rtl::TMemoryStream*>(&stream))
            memory_ = w->Memory();
    }

    bool LittleEndian() const { return le_; }
    std::uint16_t U16(const std::uint8_t* p) const { return le_ ? rtl::LoadLE16(p) : rtl::LoadBE16(p); }
    std::uint32_t U32(const std::uint8_t* p) const { return le_ ? rtl::LoadLE32(p) : rtl::LoadBE32(p); }
    // Bytes from `offset` to the end of the stream, 0 past it.
    std::uint64_t Available(std::uint64_t offset) const
    {
        const std::int64_t at = base_ + std::int64_t(std::min<std::uint64_t>(offset, std::uint64_t(1) << 62));
        return at < size_ ? std::uint64_t(size_ - at) : 0;
    }
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count) const
    {
        if (count == 0)
            return true;
        if (count > Available(offset) || count > std::uint64_t(INT32_MAX))
            return false;
        stream_.SetPosition(base_ + std::int64_t(offset));
        return stream_.Read(buffer, std::int32_t(count)) == std::int32_t(count);
    }
    // The bytes themselves where the stream is memory and holds them all; else null.
    const std::uint8_t* View(std::uint64_t offset, std::uint64_t count) const
    {
        if (!memory_ || count > Available(offset))
            return nullptr;
        return memory_ + base_ + std::int64_t(offset);
    }

private:
    rtl::TStream& stream_;
    std::int64_t base_;
    std::int64_t size_;
    bool le_;
    const std::uint8_t* memory_ = nullptr;  // not owned: the stream's bytes, when it is memory
};

struct TTiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint8_t value[4] = {};  // as in the file: the value itself when it fits, else its offset
};

// The entries of one directory, looked up by tag (the first of a tag counts).
class TTiffTags {
public:
    explicit TTiffTags(const TTiffSource& source) : src_(source) {}

    // Reads the directory at `offset`; false when the stream does not hold all its entries.
    bool Load(std::uint32_t offset)
    {
        entries_.clear();
        std::uint8_t countBytes[2];
        if (!src_.ReadAt(offset, countBytes, 2))
            return false;
        const std::uint64_t count = src_.U16(countBytes);
        // A count is only a claim: checked against the stream before the entries are allocated.
        if (count * kEntrySize > src_.Available(std::uint64_t(offset) + 2))
            return false;
        std::vector<std::uint8_t> raw(std::size_t(count) * kEntrySize);
        if (!src_.ReadAt(std::uint64_t(offset) + 2, raw.data(), raw.size()))
            return false;
        entries_.resize(std::size_t(count));
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = raw.data() + i * kEntrySize;
            entries_[i].tag = src_.U16(e);
            entries_[i].type = src_.U16(e + 2);
            entries_[i].count = src_.U32(e + 4);
            std::memcpy(entries_[i].value, e + 8, 4);
        }
        return true;
    }

    const TTiffEntry* Find(std::uint16_t tag) const
    {
        for (const TTiffEntry& e : entries_)
            if (e.tag == tag)
                return &e;
        return nullptr;
    }
    bool Has(std::uint16_t tag) const { return Find(tag) != nullptr; }
    // False when the tag is there and its value lies, in part or whole, past the stream's end.
    bool Held(std::uint16_t tag) const
    {
        const TTiffEntry* e = Find(tag);
        return !e || Held(*e, ValueBytes(*e));
    }

    // The value bytes: from the entry itself when they fit in 4 bytes (whatever the type), else
    // from their offset. False when absent, of an unknown type, past maxBytes or past the stream.
    bool Raw(const TTiffEntry& e, std::vector<std::uint8_t>& out, std::uint64_t maxBytes = kMaxTagBytes) const
    {
        const std::uint64_t total = ValueBytes(e);
        // Checked against the stream before anything is allocated: a count is only a claim.
        if (TypeSize(e.type) == 0 || total > maxBytes || !Held(e, total))
            return false;
        out.resize(std::size_t(total));
        if (total <= 4) {
            if (total > 0)
                std::memcpy(out.data(), e.value, std::size_t(total));
            return true;
        }
        return src_.ReadAt(src_.U32(e.value), out.data(), total);
    }

    // Element `index` of an integer value (BYTE, SHORT, LONG and their signed kinds), or `def`.
    std::uint32_t Int(std::uint16_t tag, std::uint32_t def, std::uint32_t index = 0) const
    {
        const TTiffEntry* e = Find(tag);
        if (!e || index >= e->count)
            return def;
        const int size = TypeSize(e->type);
        // UNDEFINED bytes count as bytes (EXIF's FileSource and SceneType).
        if (e->type == kAscii || size == 0 || size > 4 || e->type == kFloat)
            return def;
        std::uint8_t b[4];
        const std::uint64_t total = std::uint64_t(e->count) * std::uint64_t(size);
        if (total <= 4)
            std::memcpy(b, e->value + index * std::uint32_t(size), std::size_t(size));
        else if (!src_.ReadAt(std::uint64_t(src_.U32(e->value)) + std::uint64_t(index) * std::uint64_t(size),
                              b, std::uint64_t(size)))
            return def;
        switch (e->type) {
        case kSByte: return std::uint32_t(std::int32_t(std::int8_t(b[0])));
        case kSShort: return std::uint32_t(std::int32_t(std::int16_t(src_.U16(b))));
        default: return size == 1 ? b[0] : size == 2 ? src_.U16(b) : src_.U32(b);
        }
    }

    // All values of an integer array, up to maxCount of them; false when absent or unreadable.
    bool Ints(std::uint16_t tag, std::vector<std::uint32_t>& out, std::uint32_t maxCount) const
    {
        const TTiffEntry* e = Find(tag);
        if (!e || e->count > maxCount)
            return false;
        const int size = TypeSize(e->type);
        if (size == 0 || size > 4 || e->type == kAscii || e->type == kFloat)
            return false;
        std::vector<std::uint8_t> raw;
        if (!Raw(*e, raw, std::uint64_t(maxCount) * 4))
            return false;
        out.resize(e->count);
        for (std::uint32_t i = 0; i < e->count; ++i) {
            const std::uint8_t* p = raw.data() + std::size_t(i) * std::size_t(size);
            out[i] = size == 1 ? p[0] : size == 2 ? src_.U16(p) : src_.U32(p);
        }
        return true;
    }

    // Element `index` of a RATIONAL or SRATIONAL value as a double (denominator 0 counts as 1).
    double Rational(std::uint16_t tag, std::uint32_t index = 0, double def = 0) const
    {
        const TTiffEntry* e = Find(tag);
        if (!e || index >= e->count)
            return def;
        std::uint8_t b[8];
        if (e->type == kRational || e->type == kSRational) {
            if (!src_.ReadAt(std::uint64_t(src_.U32(e->value)) + 8 * std::uint64_t(index), b, 8))
                return def;
            const std::uint32_t n = src_.U32(b);
            const std::uint32_t d = src_.U32(b + 4);
            if (e->type == kSRational)
                return double(std::int32_t(n)) / (d ? double(std::int32_t(d)) : 1.0);
            return double(n) / (d ? double(d) : 1.0);
        }
        return double(Int(tag, std::uint32_t(def), index));
    }

    // Element `index` of a RATIONAL or SRATIONAL (or integer) value as a fraction whose denominator
    // is above 0 (0 counts as 1); false when absent.
    bool Fraction(std::uint16_t tag, std::int64_t& n, std::int64_t& d, std::uint32_t index = 0) const
    {
        const TTiffEntry* e = Find(tag);
        if (!e || index >= e->count)
            return false;
        if (e->type != kRational && e->type != kSRational) {
            n = Int(tag, 0, index);
            d = 1;
            return true;
        }
        std::uint8_t b[8];
        if (!src_.ReadAt(std::uint64_t(src_.U32(e->value)) + 8 * std::uint64_t(index), b, 8))
            return false;
        const bool isSigned = e->type == kSRational;
        n = isSigned ? std::int64_t(std::int32_t(src_.U32(b))) : std::int64_t(src_.U32(b));
        d = isSigned ? std::int64_t(std::int32_t(src_.U32(b + 4))) : std::int64_t(src_.U32(b + 4));
        if (d == 0)
            d = 1;
        if (d < 0) {
            n = -n;
            d = -d;
        }
        return true;
    }

    // Text up to its first NUL; empty when absent or of a million bytes or more.
    std::string Ascii(std::uint16_t tag) const
    {
        const TTiffEntry* e = Find(tag);
        std::vector<std::uint8_t> raw;
        if (!e || e->count >= kMaxStringBytes || !Raw(*e, raw, kMaxStringBytes))
            return {};
        return TrimNul(std::string(raw.begin(), raw.end()));
    }

    // The raw bytes of a value (any type); empty when absent or unreadable.
    std::vector<std::uint8_t> Bytes(std::uint16_t tag) const
    {
        std::vector<std::uint8_t> raw;
        const TTiffEntry* e = Find(tag);
        if (!e || !Raw(*e, raw))
            raw.clear();
        return raw;
    }

private:
    static std::uint64_t ValueBytes(const TTiffEntry& e)
    {
        return std::uint64_t(e.count) * std::uint64_t(TypeSize(e.type));
    }
    // Whether the stream holds the `total` bytes of the value: in the entry, or from its offset.
    bool Held(const TTiffEntry& e, std::uint64_t total) const
    {
        return total <= 4 || total <= src_.Available(src_.U32(e.value));
    }

    const TTiffSource& src_;
    std::vector<TTiffEntry> entries_;
};

// ---- the page ----------------------------------------------------------------------------------

struct TTiffPage {
    std::uint32_t width = 0, height = 0;
    std::uint32_t samples = 1, bits = 1;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t tileWidth = 0, tileLength = 0;  // 0: strips
    std::uint16_t photometric = kPhotoRGB, planar = 1, orientation = 1, compression = kCompNone;
    std::uint16_t predictor = 1, fillOrder = 1;
    std::uint32_t t4Options = 0;
    std::uint16_t extraSamples = 0, sampleFormat = 1;
    std::vector<std::uint32_t> offsets, counts;
    std::array<TRGB, 256> colorMap{};
    bool mixedBits = false;
    bool molli = false;
    double whiteX = 0, whiteY = 0;
    std::uint32_t jpegProc = 0, jpegOffset = 0, jpegLength = 0;  // old-style JPEG
};

// How the samples of a pixel become the bitmap's.
enum class TLayout {
    unsupported,
    bilevel,
    grey8,
    greyLow,  // 2 or 4 bits
    grey16,
    palette,
    paletteAlpha,
    rgb8,
    rgb16,
    rgb555,
    cmyk8,
    lab8,
};

TLayout LayoutOf(const TTiffPage& p)
{
    const std::uint16_t ph = p.photometric;
    if (p.sampleFormat != 1 && p.sampleFormat != 2)
        return TLayout::unsupported;  // floating point and others
    const bool grey = ph == kPhotoWhiteIsZero || ph == kPhotoBlackIsZero;
    if (p.samples == 1 && p.bits == 1 && ph != kPhotoPalette)
        return TLayout::bilevel;
    if (grey && p.samples == 1) {
        if (p.bits == 8)
            return TLayout::grey8;
        if (p.bits == 4 || p.bits == 2)
            return TLayout::greyLow;
        if (p.bits == 16)
            return TLayout::grey16;
        return TLayout::unsupported;
    }
    if (ph == kPhotoPalette) {
        if (p.samples == 1 && (p.bits == 1 || p.bits == 2 || p.bits == 4 || p.bits == 8))
            return TLayout::palette;
        if (p.samples == 2 && p.bits == 8)
            return TLayout::paletteAlpha;
        return TLayout::unsupported;
    }
    if (ph == kPhotoRGB) {
        if (p.samples >= 3 && p.bits == 8)
            return TLayout::rgb8;
        if (p.samples >= 3 && p.bits == 16)
            return TLayout::rgb16;
        if (p.samples == 1 && p.bits == 16)
            return TLayout::rgb555;
        return TLayout::unsupported;
    }
    if (ph == kPhotoCMYK && p.samples == 4 && p.bits == 8)
        return TLayout::cmyk8;
    if (ph == kPhotoCIELab && p.samples == 3 && p.bits == 8)
        return TLayout::lab8;
    return TLayout::unsupported;
}

// Bytes of a row of `pixels` pixels of `samples` samples.
std::uint64_t RowBytes(std::uint64_t pixels, std::uint32_t bits, std::uint32_t samples)
{
    return (pixels * bits * samples + 7) / 8;
}

// ---- decoding one strip or tile, row by row -----------------------------------------------------

class TRowDecoder {
public:
    TRowDecoder(const TTiffSource& src, const TTiffPage& page, std::uint32_t offset, std::uint32_t byteCount,
                bool hasByteCount, std::uint32_t rowPixels, std::size_t rowBytes, TTIFFLZWDecompressFunc lzw)
        : src_(src), page_(page), rowPixels_(rowPixels), rowBytes_(rowBytes), lzw_(lzw), offset_(offset)
    {
        // Without a count a strip is the rest of the stream (a count past its end was refused).
        const std::uint64_t available = src.Available(offset);
        size_ = hasByteCount ? std::min<std::uint64_t>(byteCount, available) : available;
        reverse_ = page.fillOrder == 2 && !IsCCITT(page.compression);
        if (page.compression != kCompNone) {
            size_ = std::min<std::uint64_t>(size_, std::uint64_t(INT32_MAX));
            data_.resize(std::size_t(size_));
            if (!src.ReadAt(offset, data_.data(), size_))
                data_.clear();
            size_ = data_.size();
            if (reverse_)
                for (std::uint8_t& b : data_)
                    ReverseByteBits(b);
        }
    }

    bool Empty() const { return size_ == 0; }

    // The next row's bytes where they are uncompressed, in their own bit order and held whole by a
    // stream in memory: no copy is made. Null otherwise, and Next then gives the row.
    const std::uint8_t* View()
    {
        if (page_.compression != kCompNone || reverse_ || pos_ + rowBytes_ > size_)
            return nullptr;
        const std::uint8_t* p = src_.View(std::uint64_t(offset_) + pos_, rowBytes_);
        if (p)
            pos_ += rowBytes_;
        return p;
    }

    // The next row (rowBytes bytes); false when the data cannot be decoded. Rows the data do not
    // reach read as zeros (as white for the CCITT codings).
    bool Next(std::uint8_t* row)
    {
        switch (page_.compression) {
        case kCompNone: {
            const std::uint64_t take = std::min<std::uint64_t>(rowBytes_, size_ > pos_ ? size_ - pos_ : 0);
            if (take && !src_.ReadAt(std::uint64_t(offset_) + pos_, row, take))
                return false;
            std::memset(row + take, 0, rowBytes_ - std::size_t(take));
            pos_ += take;
            if (reverse_)
                for (std::size_t i = 0; i < take; ++i)
                    ReverseByteBits(row[i]);
            return true;
        }
        case kCompLZW: {
            if (data_.empty()) {
                std::memset(row, 0, rowBytes_);
                return true;
            }
            std::int32_t produced = 0;
            const std::uint8_t* out =
                lzw_(data_.data(), std::int64_t(data_.size()), std::int32_t(rowBytes_), lzwState_, &produced);
            if (!out)
                return false;
            produced = std::clamp<std::int32_t>(produced, 0, std::int32_t(rowBytes_));
            std::memcpy(row, out, std::size_t(produced));
            std::memset(row + produced, 0, rowBytes_ - std::size_t(produced));
            return true;
        }
        case kCompPackBits: PackBits(row); return true;
        case kCompHuffman:
        case kCompGroup3:
        case kCompGroup4: Fax(row); return true;
        default: return false;
        }
    }

private:
    // Runs may carry on into the next row, as some writers let them.
    void PackBits(std::uint8_t* row)
    {
        std::size_t fill = 0;
        while (fill < rowBytes_) {
            if (literal_ > 0) {
                const std::size_t n = std::min({literal_, rowBytes_ - fill, std::size_t(size_ - pos_)});
                if (n == 0)
                    break;
                std::memcpy(row + fill, data_.data() + pos_, n);
                fill += n;
                pos_ += n;
                literal_ -= n;
            } else if (repeat_ > 0) {
                const std::size_t n = std::min(repeat_, rowBytes_ - fill);
                std::memset(row + fill, repeatByte_, n);
                fill += n;
                repeat_ -= n;
            } else {
                if (pos_ >= size_)
                    break;
                const auto code = std::int8_t(data_[std::size_t(pos_++)]);
                if (code >= 0) {
                    literal_ = std::size_t(code) + 1;
                } else if (code != -128) {
                    if (pos_ >= size_)
                        break;
                    repeatByte_ = data_[std::size_t(pos_++)];
                    repeat_ = std::size_t(1 - code);
                }
            }
        }
        std::memset(row + fill, 0, rowBytes_ - fill);
    }

    void Fax(std::uint8_t* row)
    {
        const auto n = std::int64_t(data_.size());
        const std::int32_t width = std::int32_t(rowPixels_);
        const int fill = page_.fillOrder == 2 ? 2 : 1;
        if (page_.compression == kCompHuffman) {
            const std::int64_t at = std::min<std::int64_t>(std::int64_t(pos_), n);
            pos_ += std::uint64_t(CCITTDecodeHuffmanRow(data_.data() + at, n - at, row, width, fill));
        } else if (page_.compression == kCompGroup3 && !(page_.t4Options & 1)) {
            bitPos_ = CCITTDecode1DRow(data_.data(), n, bitPos_, row, width, fill);
        } else {
            const bool aligned = page_.compression == kCompGroup3 && (page_.t4Options & 4);
            bitPos_ = CCITTDecode2DRow(data_.data(), n, bitPos_, row, faxState_, width, fill, aligned);
        }
    }

    const TTiffSource& src_;
    const TTiffPage& page_;
    std::uint32_t rowPixels_;
    std::size_t rowBytes_;
    TTIFFLZWDecompressFunc lzw_;
    std::uint32_t offset_;
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
    bool reverse_ = false;
    std::vector<std::uint8_t> data_;
    TIFFLZWDecodeStatePtr lzwState_;
    std::size_t literal_ = 0, repeat_ = 0;
    std::uint8_t repeatByte_ = 0;
    std::int64_t bitPos_ = 0;
    TCCITTDecodeState faxState_;  // a strip starts white
};

// Undoes horizontal differencing: each sample plus the same sample of the pixel to its left.
void UndoPredictor(std::uint8_t* row, std::uint32_t pixels, std::uint32_t samples, std::uint32_t bits,
                   bool le)
{
    const std::size_t n = std::size_t(pixels) * samples;
    if (bits == 8) {
        for (std::size_t i = samples; i < n; ++i)
            row[i] = std::uint8_t(row[i] + row[i - samples]);
        return;
    }
    for (std::size_t i = samples; i < n; ++i) {
        std::uint8_t* p = row + 2 * i;
        const std::uint8_t* q = row + 2 * (i - samples);
        if (le)
            rtl::StoreLE16(p, std::uint16_t(rtl::LoadLE16(p) + rtl::LoadLE16(q)));
        else
            rtl::StoreBE16(p, std::uint16_t(rtl::LoadBE16(p) + rtl::LoadBE16(q)));
    }
}

// ---- from samples to the bitmap ----------------------------------------------------------------

#ifdef VA_TIFF_AVX2
// Shuffles that swap red and blue in 16 pixels taken as three 16-byte vectors: output vector v gets
// from input vector w the bytes of lane mask[v][w] (0x80 for none); a byte moves two places at most,
// so only neighbouring vectors meet.
struct TSwapMasks {
    alignas(16) std::uint8_t mask[3][3][16] = {};
    constexpr TSwapMasks()
    {
        for (int v = 0; v < 3; ++v)
            for (int w = 0; w < 3; ++w)
                for (int lane = 0; lane < 16; ++lane) {
                    const int i = 16 * v + lane, from = 3 * (i / 3) + 2 - i % 3;
                    mask[v][w][lane] = std::uint8_t(from / 16 == w ? from % 16 : 0x80);
                }
    }
};
constexpr TSwapMasks kSwapMasks;

// R,G,B to B,G,R, 16 pixels (48 bytes) at a time; returns the pixels done. `in` may be `out`: a
// block is read whole before it is stored.
__attribute__((target("avx2"))) std::uint32_t SwapRedBlueAvx2(const std::uint8_t* in, std::uint8_t* out,
                                                              std::uint32_t count)
{
    const auto mask = [](int v, int w) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(kSwapMasks.mask[v][w]));
    };
    const __m128i m00 = mask(0, 0), m01 = mask(0, 1), m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2),
                  m21 = mask(2, 1), m22 = mask(2, 2);
    std::uint32_t x = 0;
    for (; x + 16 <= count; x += 16, in += 48, out += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                         _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)),
                                      _mm_shuffle_epi8(c, m12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                         _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22)));
    }
    return x;
}
#endif

class TPixelWriter {
public:
    TPixelWriter(const TTiffPage& page, TLayout layout, TIEPixelFormat format, bool le)
        : page_(page), layout_(layout), format_(format), le_(le), lab_(page.whiteX, page.whiteY)
    {
        // Bilevel rows come from the CCITT decoders with 1 for white and from the others as
        // stored; the bitmap wants 1 for white.
        const bool whiteIsZero = page.photometric == kPhotoWhiteIsZero;
        invertBits_ = IsCCITT(page.compression) ? !whiteIsZero : whiteIsZero;
    }

    // Whether rows of `samples` decoded into the bitmap's own row need only PutDirect.
    bool InPlace() const
    {
        return layout_ == TLayout::bilevel || (layout_ == TLayout::rgb8 && page_.samples == 3);
    }
    // A row already in the bitmap's layout but for the bits' sense or the channels' order, from `in`
    // (which may be the row itself) to `out`.
    void PutDirect(const std::uint8_t* in, std::uint8_t* out, std::uint32_t count) const
    {
        if (layout_ != TLayout::bilevel) {
            SwapRedBlue(in, out, count);
            return;
        }
        const std::size_t bytes = (count + 7) / 8;
        if (invertBits_)
            for (std::size_t i = 0; i < bytes; ++i)
                out[i] = std::uint8_t(~in[i]);
        else if (in != out)
            std::memcpy(out, in, bytes);
    }

    // R,G,B to B,G,R, four pixels (three words) at a time; `in` may be `out`.
    static void SwapRedBlue(const std::uint8_t* in, std::uint8_t* out, std::uint32_t count)
    {
        std::uint32_t x = 0;
#ifdef VA_TIFF_AVX2
        if (detail::UseAvx2()) {
            x = SwapRedBlueAvx2(in, out, count);
            in += 3 * std::size_t(x);
            out += 3 * std::size_t(x);
        }
#endif
        for (; x + 4 <= count; x += 4, in += 12, out += 12) {
            const std::uint32_t w0 = rtl::LoadLE32(in), w1 = rtl::LoadLE32(in + 4),
                                w2 = rtl::LoadLE32(in + 8);
            rtl::StoreLE32(
                out, (w0 & 0x0000FF00u) | (w0 >> 16 & 0xFFu) | (w0 & 0xFFu) << 16 | (w1 >> 8 & 0xFFu) << 24);
            rtl::StoreLE32(out + 4, (w1 & 0xFF0000FFu) | (w0 >> 24) << 8 | (w2 & 0xFFu) << 16);
            rtl::StoreLE32(
                out + 8, (w1 >> 16 & 0xFFu) | (w2 >> 24) << 8 | (w2 & 0x00FF0000u) | (w2 >> 8 & 0xFFu) << 24);
        }
        for (; x < count; ++x, in += 3, out += 3) {
            const std::uint8_t red = in[0], green = in[1], blue = in[2];
            out[0] = blue;
            out[1] = green;
            out[2] = red;
        }
    }

    // `in` holds `count` pixels of decoded samples; they go to the bitmap row from pixel x0, the
    // alpha samples (if any) to the alpha row.
    void Put(const std::uint8_t* in, std::uint32_t count, std::uint8_t* out, std::uint32_t x0,
             std::uint8_t* alpha) const
    {
        const std::uint32_t spp = page_.samples;
        const bool invert = page_.photometric == kPhotoWhiteIsZero;
        TRGB* rgb = reinterpret_cast<TRGB*>(out) + x0;
        switch (layout_) {
        case TLayout::bilevel: {
            if (x0 % 8 == 0) {
                std::uint8_t* dst = out + x0 / 8;
                const std::size_t bytes = (count + 7) / 8;
                for (std::size_t i = 0; i < bytes; ++i)
                    dst[i] = invertBits_ ? std::uint8_t(~in[i]) : in[i];
            } else {
                for (std::uint32_t x = 0; x < count; ++x) {
                    const bool set = ((in[x >> 3] >> (7 - (x & 7))) & 1) != invertBits_;
                    SetPixelBit(out, int(x0 + x), set);
                }
            }
            break;
        }
        case TLayout::grey8:
        case TLayout::greyLow: {
            // Fewer bits spread over 0..255: 4 bits by 17, 2 bits by 85.
            const std::uint32_t bits = page_.bits;
            const std::uint32_t mask = (1u << bits) - 1;
            for (std::uint32_t x = 0; x < count; ++x) {
                const std::uint32_t bit = x * bits;
                std::uint8_t v =
                    layout_ == TLayout::grey8
                        ? in[x]
                        : std::uint8_t(((in[bit >> 3] >> (8 - bits - (bit & 7))) & mask) * (255 / mask));
                if (invert)
                    v = std::uint8_t(255 - v);
                if (format_ == ie8g)
                    out[x0 + x] = v;
                else
                    rgb[x] = TRGB{v, v, v};
            }
            break;
        }
        case TLayout::grey16:
            for (std::uint32_t x = 0; x < count; ++x) {
                std::uint16_t v = le_ ? rtl::LoadLE16(in + 2 * x) : rtl::LoadBE16(in + 2 * x);
                if (invert)
                    v = std::uint16_t(65535 - v);
                if (format_ == ie16g) {
                    std::memcpy(out + 2 * (x0 + x), &v, 2);
                } else {
                    const auto b = std::uint8_t(page_.molli ? std::min(v >> 4, 255) : v >> 8);
                    rgb[x] = TRGB{b, b, b};
                }
            }
            break;
        case TLayout::palette:
            for (std::uint32_t x = 0; x < count; ++x) {
                const std::uint32_t bit = x * page_.bits;
                const std::uint8_t index = page_.bits == 8
                                               ? in[x]
                                               : std::uint8_t((in[bit >> 3] >> (8 - page_.bits - (bit & 7))) &
                                                              ((1u << page_.bits) - 1));
                if (format_ == ie8p)
                    out[x0 + x] = index;
                else
                    rgb[x] = page_.colorMap[index];
            }
            break;
        case TLayout::paletteAlpha:
            for (std::uint32_t x = 0; x < count; ++x) {
                if (format_ == ie8p)
                    out[x0 + x] = in[2 * x];
                else
                    rgb[x] = page_.colorMap[in[2 * x]];
                if (alpha)
                    alpha[x0 + x] = std::uint8_t(255 - in[2 * x + 1]);
            }
            break;
        case TLayout::rgb8:
            for (std::uint32_t x = 0; x < count; ++x) {
                const std::uint8_t* p = in + std::size_t(x) * spp;
                rgb[x] = TRGB{p[2], p[1], p[0]};
                if (alpha && spp >= 4)
                    alpha[x0 + x] = p[3];
            }
            break;
        case TLayout::rgb16: {
            // The most significant byte of each sample.
            const int hi = le_ ? 1 : 0;
            for (std::uint32_t x = 0; x < count; ++x) {
                const std::uint8_t* p = in + std::size_t(x) * spp * 2;
                rgb[x] = TRGB{p[4 + hi], p[2 + hi], p[hi]};
                if (alpha && spp >= 4)
                    alpha[x0 + x] = p[6 + hi];
            }
            break;
        }
        case TLayout::rgb555:
            for (std::uint32_t x = 0; x < count; ++x) {
                const std::uint16_t v = le_ ? rtl::LoadLE16(in + 2 * x) : rtl::LoadBE16(in + 2 * x);
                rgb[x] = TRGB{std::uint8_t((v & 31) * 8), std::uint8_t(((v >> 5) & 31) * 8),
                              std::uint8_t(((v >> 10) & 31) * 8)};
            }
            break;
        case TLayout::cmyk8: {
            std::uint8_t cmyk[4];
            for (std::uint32_t x = 0; x < count; ++x) {
                for (int i = 0; i < 4; ++i)
                    cmyk[i] = std::uint8_t(255 - in[4 * std::size_t(x) + std::size_t(i)]);
                IEConvertColorFunction(cmyk, kIEColorCMYK, &rgb[x].b, 1, kIEColorRGB, nullptr);
            }
            break;
        }
        case TLayout::lab8:
            IEConvertColorFunction(in, kIEColorCIELab, &rgb[0].b, int(count), kIEColorRGB, &lab_);
            break;
        case TLayout::unsupported: break;
        }
    }

private:
    const TTiffPage& page_;
    TLayout layout_;
    TIEPixelFormat format_;
    bool le_;
    bool invertBits_ = false;
    TIELabSpace lab_;
};

// ---- the parameters ----------------------------------------------------------------------------

std::uint8_t CompressionCode(std::uint16_t compression, std::uint32_t t4Options)
{
    switch (compression) {
    case kCompNone: return 0;
    case kCompHuffman: return 1;
    case kCompGroup3: return (t4Options & 1) ? 3 : 2;
    case kCompGroup4: return 4;
    case kCompLZW: return 5;
    case kCompOldJPEG: return 6;
    case kCompJPEG: return 7;
    case kCompPackBits: return 8;
    default: return 9;
    }
}

void ReadExifTags(const TTiffTags& t, TIOParamsVals& p)
{
    // Versions are four characters.
    const auto version = [&](std::uint16_t tag) {
        const std::vector<std::uint8_t> b = t.Bytes(tag);
        return TrimNul(
            std::string(b.begin(), b.begin() + std::ptrdiff_t(std::min<std::size_t>(b.size(), 4))));
    };
    p.EXIF_ExposureTime = t.Rational(kExposureTime);
    p.EXIF_FNumber = t.Rational(kFNumber);
    p.EXIF_ExposureProgram = int(t.Int(kExposureProgram, 0));
    p.SetEXIF_ISOSpeedRatings(0, int(t.Int(kISOSpeedRatings, 0, 0)));
    p.SetEXIF_ISOSpeedRatings(1, int(t.Int(kISOSpeedRatings, 0, 1)));
    p.EXIF_ExifVersion = version(kExifVersion);
    p.EXIF_DateTimeOriginal = t.Ascii(kDateTimeOriginal);
    p.EXIF_DateTimeDigitized = t.Ascii(kDateTimeDigitized);
    p.EXIF_CompressedBitsPerPixel = t.Rational(kCompressedBitsPerPixel);
    p.EXIF_ShutterSpeedValue = t.Rational(kShutterSpeedValue);
    p.EXIF_ApertureValue = t.Rational(kApertureValue);
    p.EXIF_BrightnessValue = t.Rational(kBrightnessValue);
    p.EXIF_ExposureBiasValue = t.Rational(kExposureBiasValue);
    p.EXIF_MaxApertureValue = t.Rational(kMaxApertureValue);
    p.EXIF_SubjectDistance = t.Rational(kSubjectDistance);
    p.EXIF_MeteringMode = int(t.Int(kMeteringMode, 0));
    p.EXIF_LightSource = int(t.Int(kLightSource, 0));
    p.EXIF_Flash = int(t.Int(kFlash, 0));
    p.EXIF_FocalLength = t.Rational(kFocalLength);
    p.EXIF_SubsecTime = t.Ascii(kSubsecTime);
    p.EXIF_SubsecTimeOriginal = t.Ascii(kSubsecTimeOriginal);
    p.EXIF_SubsecTimeDigitized = t.Ascii(kSubsecTimeDigitized);
    p.EXIF_FlashPixVersion = version(kFlashpixVersion);
    p.EXIF_ColorSpace = int(t.Int(kColorSpace, 0));
    p.EXIF_ExifImageWidth = int(t.Int(kPixelXDimension, 0));
    p.EXIF_ExifImageHeight = int(t.Int(kPixelYDimension, 0));
    p.EXIF_RelatedSoundFile = t.Ascii(kRelatedSoundFile);
    p.EXIF_FocalPlaneXResolution = t.Rational(kFocalPlaneXResolution);
    p.EXIF_FocalPlaneYResolution = t.Rational(kFocalPlaneYResolution);
    p.EXIF_FocalPlaneResolutionUnit = int(t.Int(kFocalPlaneResolutionUnit, 0));
    p.EXIF_ExposureIndex = t.Rational(kExposureIndex);
    p.EXIF_SensingMethod = int(t.Int(kSensingMethod, 0));
    // One byte each, whatever type a writer gave them: a larger value is none of theirs.
    const auto oneByte = [&](std::uint16_t tag) {
        const std::uint32_t v = t.Int(tag, 0);
        return v <= 0xFF ? int(v) : 0;
    };
    p.EXIF_FileSource = oneByte(kFileSource);
    p.EXIF_SceneType = oneByte(kSceneType);
    const std::vector<std::uint8_t> comment = t.Bytes(kUserComment);
    if (comment.empty()) {
        p.EXIF_UserComment.clear();
    } else {
        const std::size_t code = std::min<std::size_t>(comment.size(), 8);
        p.EXIF_UserCommentCode.assign(comment.begin(), comment.begin() + std::ptrdiff_t(code));
        p.EXIF_UserComment.assign(comment.begin() + std::ptrdiff_t(code), comment.end());
    }
}

void ReadParams(const TTiffTags& t, const TTiffPage& page, TIOParamsVals& p)
{
    p.BitsPerSample = int(page.bits);
    p.SamplesPerPixel = int(page.samples);
    p.Width = int(std::min<std::uint32_t>(page.width, INT32_MAX));
    p.Height = int(std::min<std::uint32_t>(page.height, INT32_MAX));
    p.SetOrientation(page.orientation);
    p.TIFFCompression = CompressionCode(page.compression, page.t4Options);
    // As the page is read: a bilevel page's missing photometric is white-is-zero.
    const std::uint32_t photometric = page.photometric;
    if (photometric <= 6)
        p.TIFFPhotometric = std::uint8_t(photometric);
    else if (photometric == kPhotoCIELab)
        p.TIFFPhotometric = 7;
    p.TIFFPlanarConfig = int(page.planar);
    p.TIFFDocumentName = t.Ascii(kDocumentName);
    p.TIFFImageDescription = t.Ascii(kImageDescription);
    p.TIFFPageName = t.Ascii(kPageName);
    p.TIFFPageNumber = int(t.Int(kPageNumber, 0, 0));
    p.TIFFPageCount = int(t.Int(kPageNumber, 0, 1));
    p.EXIF_ImageDescription = p.TIFFImageDescription;
    p.EXIF_Make = t.Ascii(kMake);
    p.EXIF_Model = t.Ascii(kModel);
    p.EXIF_DateTime = t.Ascii(kDateTime);
    p.EXIF_Software = t.Ascii(kSoftware);
    p.EXIF_Copyright = t.Ascii(kCopyright);
    const std::uint32_t unit = t.Int(kResolutionUnit, 2);
    p.EXIF_ResolutionUnit = int(unit);
    for (int i = 0; i < 2; ++i)
        p.SetEXIF_WhitePoint(i, t.Rational(kWhitePoint, std::uint32_t(i)));
    p.EXIF_YCbCrPositioning = int(t.Int(kYCbCrPositioning, 0));
    for (int i = 0; i < 6; ++i)
        p.SetEXIF_PrimaryChromaticities(i, t.Rational(kPrimaryChromaticities, std::uint32_t(i)));
    for (int i = 0; i < 3; ++i)
        p.SetEXIF_YCbCrCoefficients(i, t.Rational(kYCbCrCoefficients, std::uint32_t(i)));
    for (int i = 0; i < 6; ++i)
        p.SetEXIF_ReferenceBlackWhite(i, t.Rational(kReferenceBlackWhite, std::uint32_t(i)));

    p.FreeColorMap();
    if (t.Has(kColorMap) && page.bits >= 1 && page.bits <= 8)
        p.SetColorMap(page.colorMap.data(), 1 << page.bits);

    p.IPTCInfoList.Clear();
    const std::vector<std::uint8_t> iptc = t.Bytes(kIPTC);
    if (!iptc.empty())
        p.IPTCInfoList.LoadFromStandardBuffer(iptc.data(), std::int64_t(iptc.size()));
    p.ImagingAnnot.Clear();
    const std::vector<std::uint8_t> annotations = t.Bytes(kImagingAnnotations);
    if (!annotations.empty())
        p.ImagingAnnot.LoadFromBuffer(annotations.data(), std::int64_t(annotations.size()));

    // Resolution per centimetre becomes per inch, positions in centimetres become inches; an inch
    // is 127/50 cm, so both are worked out exactly, then truncated.
    const bool cm = unit == 3;
    const auto perInch = [&](std::uint16_t tag) {
        std::int64_t n = 0, d = 1;
        if (!t.Fraction(tag, n, d))
            return 0;
        return int(std::clamp<std::int64_t>(cm ? n * 127 / (d * 50) : n / d, 0, INT32_MAX));
    };
    const auto inches = [&](std::uint16_t tag) {
        std::int64_t n = 0, d = 1;
        if (!t.Fraction(tag, n, d))
            return 0;
        return int(std::clamp<std::int64_t>(cm ? n * 50 / (d * 127) : n / d, INT32_MIN, INT32_MAX));
    };
    p.SetDpiX(perInch(kXResolution));
    p.SetDpiY(perInch(kYResolution));
    // A page without a resolution shows at the library's; its EXIF fields keep what it said.
    const double exifX = p.EXIF_XResolution, exifY = p.EXIF_YResolution;
    if (p.DpiX == 0)
        p.SetDpiX(IEDefaultDpiX);
    if (p.DpiY == 0)
        p.SetDpiY(IEDefaultDpiY);
    p.EXIF_XResolution = exifX;
    p.EXIF_YResolution = exifY;
    p.TIFFXPos = inches(kXPosition);
    p.TIFFYPos = inches(kYPosition);
}

// The page's tags in the reader's terms; false for bits per sample that differ between samples.
void ReadPage(const TTiffTags& t, TTiffPage& page)
{
    page.width = t.Int(kImageWidth, 0);
    page.height = t.Int(kImageLength, 0);
    page.samples = t.Int(kSamplesPerPixel, 1);
    std::vector<std::uint32_t> bits;
    if (t.Ints(kBitsPerSample, bits, kMaxSamples) && !bits.empty()) {
        page.bits = bits[0];
        page.mixedBits = std::any_of(bits.begin(), bits.end(), [&](std::uint32_t b) { return b != bits[0]; });
    } else {
        page.bits = t.Int(kBitsPerSample, 1);
    }
    const std::uint32_t rps = t.Int(kRowsPerStrip, 0xFFFFFFFF);
    page.rowsPerStrip = rps == 0 || rps > page.height ? page.height : rps;
    page.photometric = std::uint16_t(t.Int(kPhotometric, kPhotoRGB));
    page.planar = std::uint16_t(t.Int(kPlanarConfig, 1));
    // Values outside the eight orientations mean none.
    const std::uint32_t orientation = t.Int(kOrientation, 1);
    page.orientation = std::uint16_t(orientation >= 1 && orientation <= 8 ? orientation : 1);
    page.compression = std::uint16_t(t.Int(kCompression, kCompNone));
    page.predictor = std::uint16_t(t.Int(kPredictor, 1));
    page.fillOrder = std::uint16_t(t.Int(kFillOrder, 1));
    page.t4Options = t.Int(kT4Options, 0);
    page.extraSamples = std::uint16_t(t.Int(kExtraSamples, 0));
    page.sampleFormat = std::uint16_t(t.Int(kSampleFormat, 1));
    page.molli = t.Ascii(kSoftware).compare(0, 15, kMolliSoftware) == 0;
    page.whiteX = t.Rational(kWhitePoint, 0);
    page.whiteY = t.Rational(kWhitePoint, 1);
    page.jpegProc = t.Int(kJPEGProc, 0);
    page.jpegOffset = t.Int(kJPEGInterchangeFormat, 0);
    page.jpegLength = t.Int(kJPEGInterchangeFormatLength, 0);
    // A bilevel page without a photometric of its own is white-is-zero.
    if (page.samples == 1 && page.bits == 1 && page.compression >= kCompNone &&
        page.compression <= kCompGroup4 && page.photometric == kPhotoRGB)
        page.photometric = kPhotoWhiteIsZero;

    const bool tiled = t.Int(kTileWidth, 0) > 0 || t.Int(kTileLength, 0) >= 1;
    if (tiled) {
        page.tileWidth = t.Int(kTileWidth, 0);
        page.tileLength = t.Int(kTileLength, 0);
        const bool hasTiles = t.Has(kTileOffsets);
        t.Ints(hasTiles ? kTileOffsets : kStripOffsets, page.offsets, 1u << 24);
        t.Ints(hasTiles ? kTileByteCounts : kStripByteCounts, page.counts, 1u << 24);
    } else {
        t.Ints(kStripOffsets, page.offsets, 1u << 24);
        t.Ints(kStripByteCounts, page.counts, 1u << 24);
    }

    if (page.bits >= 1 && page.bits <= 8) {
        const std::uint32_t n = 1u << page.bits;
        std::vector<std::uint32_t> map;
        if (t.Ints(kColorMap, map, 3 * 256) && map.size() >= 3 * n) {
            // Maps of 16-bit values; some writers put 8-bit ones, which no 16-bit map can be.
            const bool eightBit =
                std::all_of(map.begin(), map.begin() + 3 * n, [](std::uint32_t v) { return v < 256; });
            const int shift = eightBit ? 0 : 8;
            for (std::uint32_t i = 0; i < n; ++i)
                page.colorMap[i] = TRGB{std::uint8_t(map[2 * n + i] >> shift),
                                        std::uint8_t(map[n + i] >> shift), std::uint8_t(map[i] >> shift)};
        }
    }
}

// ---- the pixels --------------------------------------------------------------------------------

// Where the strips or tiles lie: blocks of blockW x blockH pixels, `across` of them in a row, the
// offsets split into one equal run per plane whatever count the page's size implies. Made once for
// a page with blocks of some size and some offsets; planeRowBytes holds once the row is within
// the size limit.
struct TBlockGrid {
    bool tiled, separate;
    std::uint32_t planes, planeSamples, blockW, blockH;
    std::uint64_t across, stride, blocks;
    std::size_t planeRowBytes;

    explicit TBlockGrid(const TTiffPage& page)
        : tiled(page.tileWidth > 0),
          separate(page.planar == 2 && page.samples > 1),
          planes(separate ? page.samples : 1),
          planeSamples(separate ? 1 : page.samples),
          blockW(tiled ? page.tileWidth : page.width),
          blockH(tiled ? page.tileLength : page.rowsPerStrip),
          across(tiled ? (std::uint64_t(page.width) + blockW - 1) / blockW : 1),
          stride(page.offsets.size() / planes),
          blocks(
              std::min<std::uint64_t>(across * ((std::uint64_t(page.height) + blockH - 1) / blockH), stride)),
          planeRowBytes(std::size_t(RowBytes(blockW, page.bits, planeSamples)))
    {
    }
    std::uint32_t X0(std::uint64_t b) const { return std::uint32_t((b % across) * blockW); }
    std::uint32_t Y0(std::uint64_t b) const { return std::uint32_t((b / across) * blockH); }
};

// Whether the stream holds every strip or tile the page reads: each starts inside it and its count
// does not pass its end, and uncompressed ones hold all their rows. A count of 0 is a block
// skipped.
bool BlocksHeld(const TTiffSource& src, const TTiffPage& page, const TBlockGrid& grid)
{
    for (std::uint64_t b = 0; b < grid.blocks; ++b)
        for (std::uint32_t p = 0; p < grid.planes; ++p) {
            const std::size_t i = std::size_t(p * grid.stride + b);
            const bool counted = i < page.counts.size();
            if (counted && page.counts[i] == 0)
                continue;
            const std::uint64_t available = src.Available(page.offsets[i]);
            if (available == 0 || (counted && page.counts[i] > available))
                return false;
            // Edge tiles are stored whole; the last strip holds the rows left.
            const std::uint64_t rows =
                grid.tiled ? grid.blockH : std::min<std::uint64_t>(grid.blockH, page.height - grid.Y0(b));
            if (page.compression == kCompNone &&
                (counted ? page.counts[i] : available) < rows * grid.planeRowBytes)
                return false;
        }
    return true;
}

struct TReadContext {
    const TTiffSource& src;
    const TTiffPage& page;
    const TBlockGrid& grid;
    TLayout layout;
    TIEBitmap& bitmap;
    TIEMask* alpha;
    TProgressRecord& progress;
    TTIFFLZWDecompressFunc lzw;
};

// Reads the blocks (strips or tiles) into the bitmap; false on data that cannot be decoded.
bool ReadBlocks(TReadContext& c)
{
    const TTiffPage& page = c.page;
    const TBlockGrid& grid = c.grid;
    const bool tiled = grid.tiled;
    const bool separate = grid.separate;
    const std::uint32_t planes = grid.planes;
    const std::uint32_t planeSamples = grid.planeSamples;
    const std::uint32_t blockW = grid.blockW;
    const std::uint32_t blockH = grid.blockH;
    const std::size_t planeRowBytes = grid.planeRowBytes;
    const std::size_t rowBytes = std::size_t(RowBytes(blockW, page.bits, page.samples));
    const TPixelWriter writer(page, c.layout, c.bitmap.GetPixelFormat(), c.src.LittleEndian());

    std::vector<std::vector<std::uint8_t>> planeRows(planes, std::vector<std::uint8_t>(planeRowBytes + 8));
    std::vector<std::uint8_t> row(rowBytes + 8);
    // Rows of strips already in the bitmap's layout are decoded straight into it.
    const bool direct =
        !separate && !tiled && writer.InPlace() && rowBytes <= std::size_t(c.bitmap.GetRowLen());
    const std::uint64_t stride = grid.stride;
    const std::uint64_t blocks = grid.blocks;
    const double rowStep = 100.0 / std::max<std::uint32_t>(page.height, 1);
    const double blockStep = 100.0 / double(std::max<std::uint64_t>(blocks, 1));
    c.progress.per = blocks > 1 ? blockStep : rowStep;
    std::int64_t done = 0;
    // Bilevel pages are white where the data do not reach: tiles are preset, strips filled after.
    const bool bilevel = c.layout == TLayout::bilevel;
    std::vector<bool> reached(bilevel && !tiled ? page.height : 0);
    if (bilevel && tiled)
        for (int y = 0; y < int(page.height); ++y)
            std::memset(c.bitmap.ScanLine(y), 0xFF, std::size_t(c.bitmap.GetRowLen()));
    const auto whiten = [&] {
        for (std::size_t y = 0; y < reached.size(); ++y)
            if (!reached[y])
                std::memset(c.bitmap.ScanLine(int(y)), 0xFF, std::size_t(c.bitmap.GetRowLen()));
    };
    for (std::uint64_t b = 0; b < blocks; ++b) {
        if (c.progress.Aborted())
            break;
        const std::uint32_t x0 = grid.X0(b);
        const std::uint32_t y0 = grid.Y0(b);
        std::vector<std::unique_ptr<TRowDecoder>> decoders;
        bool any = false;
        for (std::uint32_t p = 0; p < planes; ++p) {
            const std::size_t i = std::size_t(p * stride + b);
            decoders.push_back(std::make_unique<TRowDecoder>(
                c.src, page, page.offsets[i], i < page.counts.size() ? page.counts[i] : 0,
                i < page.counts.size(), blockW, planeRowBytes, c.lzw));
            any = any || !decoders.back()->Empty();
        }
        const std::uint32_t rows = std::min<std::uint32_t>(blockH, page.height - y0);
        const std::uint32_t cols = std::min<std::uint32_t>(blockW, page.width - x0);
        if (!any) {
            done += blocks > 1 ? 1 : rows;
            continue;  // a block of no bytes is skipped
        }
        for (std::uint32_t r = 0; r < rows && !c.progress.Aborted(); ++r) {
            const int y = int(y0 + r);
            std::uint8_t* target = c.bitmap.ScanLine(y);
            // Uncompressed rows in memory go to the bitmap in one pass, not copied first.
            const std::uint8_t* held = direct ? decoders[0]->View() : nullptr;
            for (std::uint32_t p = 0; p < planes && !held; ++p) {
                std::uint8_t* out = separate ? planeRows[p].data() : direct ? target : row.data();
                if (!decoders[p]->Next(out)) {
                    whiten();
                    return false;
                }
                if (page.predictor == 2 && page.compression == kCompLZW)
                    UndoPredictor(out, blockW, planeSamples, page.bits, c.src.LittleEndian());
            }
            if (separate) {
                const std::size_t bytes = page.bits / 8;
                for (std::uint32_t x = 0; x < blockW; ++x)
                    for (std::uint32_t p = 0; p < planes; ++p)
                        std::memcpy(row.data() + (std::size_t(x) * planes + p) * bytes,
                                    planeRows[p].data() + std::size_t(x) * bytes, bytes);
            }
            std::uint8_t* alphaRow = c.alpha ? c.alpha->ScanLine(y) : nullptr;
            if (direct)
                writer.PutDirect(held ? held : target, target, cols);
            else
                writer.Put(row.data(), cols, target, x0, alphaRow);
            if (!reached.empty())
                reached[std::size_t(y)] = true;
            if (blocks <= 1)
                c.progress.Report(int(c.progress.per * double(++done)));
        }
        if (blocks > 1)
            c.progress.Report(int(c.progress.per * double(++done)));
    }
    whiten();
    return true;
}

// JPEG pages: each strip or tile is a JPEG stream of its own, with the page's tables; RGB pages are
// coded without the YCbCr transform, so their samples are taken as they are, and CMYK pages hold
// amounts of ink, as uncompressed ones do.
bool ReadJpegBlocks(TReadContext& c, const std::vector<std::uint8_t>& tables)
{
    const TTiffPage& page = c.page;
    const TBlockGrid& grid = c.grid;
    const std::uint32_t blockW = grid.blockW;
    const std::uint32_t blockH = grid.blockH;
    const std::uint64_t blocks = grid.blocks;
    const bool rawRgb = page.photometric == kPhotoRGB;
    TProgressRecord quiet;
    quiet.Aborting = c.progress.Aborting;
    c.progress.per = 100.0 / double(std::max<std::uint64_t>(blocks, 1));
    for (std::uint64_t b = 0; b < blocks && !c.progress.Aborted(); ++b) {
        const std::uint32_t x0 = grid.X0(b);
        const std::uint32_t y0 = grid.Y0(b);
        const std::uint64_t available = c.src.Available(page.offsets[b]);
        const std::uint64_t size = std::min<std::uint64_t>(
            b < page.counts.size() ? std::min<std::uint64_t>(page.counts[b], available) : available,
            INT32_MAX);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
        if (size == 0 || !c.src.ReadAt(page.offsets[b], data.data(), size))
            continue;
        rtl::TReadOnlyMemoryStream block(data.data(), std::int64_t(data.size()));
        rtl::TReadOnlyMemoryStream tableStream(tables.data(), std::int64_t(tables.size()));
        TIEBitmap part;
        TIOParamsVals partParams(nullptr);
        detail::DecodeTiffJpegStream(block, tables.empty() ? nullptr : &tableStream, &part, rawRgb, quiet,
                                     partParams);
        if (c.progress.Aborted() || part.GetPixelFormat() != ie24RGB)
            return false;
        // Undecoded samples of an RGB page are red first; a page the library knew as RGB came
        // converted.
        const bool swap = rawRgb && partParams.JPEGColorSpace == 2;
        const int rows =
            int(std::min<std::uint64_t>({std::uint64_t(part.GetHeight()), blockH, page.height - y0}));
        const int cols =
            int(std::min<std::uint64_t>({std::uint64_t(part.GetWidth()), blockW, page.width - x0}));
        for (int r = 0; r < rows; ++r) {
            const TRGB* in = reinterpret_cast<const TRGB*>(part.ScanLine(r));
            TRGB* out = reinterpret_cast<TRGB*>(c.bitmap.ScanLine(int(y0) + r)) + x0;
            for (int x = 0; x < cols; ++x)
                out[x] = swap ? TRGB{in[x].r, in[x].g, in[x].b} : in[x];
        }
        c.progress.Report(int(c.progress.per * double(b + 1)));
    }
    return true;
}

// An old-style JPEG page (or EXIF thumbnail): one JPEG stream at JPEGInterchangeFormat, its
// length 0 meaning the rest of the stream.
void ReadOldJpeg(const TTiffSource& src, const TTiffPage& page, TIEBitmap& bitmap, TProgressRecord& progress)
{
    const std::uint64_t available = src.Available(page.jpegOffset);
    const std::uint64_t size = std::min<std::uint64_t>(
        page.jpegLength ? std::min<std::uint64_t>(page.jpegLength, available) : available, INT32_MAX);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (size == 0 || !src.ReadAt(page.jpegOffset, data.data(), size)) {
        progress.Abort();
        return;
    }
    rtl::TReadOnlyMemoryStream stream(data.data(), std::int64_t(data.size()));
    TIOParamsVals params(nullptr);
    // The stream's own header gives the size (EXIF thumbnails have no other): bounded as a page
    // is, and by what the data can hold, a Huffman-coded scan spending a bit at least on each
    // 8 x 8 block.
    DecodeJpegStream(stream, nullptr, nullptr, false, true, progress, params);
    const std::uint64_t pixels = std::uint64_t(std::max(params.JPEGOriginalWidth, 0)) *
                                 std::uint64_t(std::max(params.JPEGOriginalHeight, 0));
    if (progress.Aborted() || pixels * 3 > std::uint64_t(IETiffMaxImageBytes) || pixels > size * 8 * 64) {
        progress.Abort();
        return;
    }
    stream.SetPosition(0);
    DecodeJpegStream(stream, nullptr, &bitmap, false, false, progress, params);
}

// Turns the page to its orientation (with the alpha plane alongside).
void ApplyOrientation(TIEBitmap& bitmap, TIEMask* alpha, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return;
    if (alpha)
        bitmap.GetAlphaChannel()->CopyFromTIEMask(alpha);
    const auto turn = [&](bool right) {
        TIEBitmap turned;
        if (right)
            RotateIEBitmapRight(&bitmap, &turned);
        else
            RotateIEBitmapLeft(&bitmap, &turned);
        turned.MoveTo(&bitmap);
    };
    switch (orientation) {
    case 2: FlipBitmap(&bitmap, 0); break;
    case 3:
        FlipBitmap(&bitmap, 1);
        FlipBitmap(&bitmap, 0);
        break;
    case 4: FlipBitmap(&bitmap, 1); break;
    case 5:  // transpose
        turn(true);
        FlipBitmap(&bitmap, 0);
        break;
    case 6: turn(true); break;
    case 7:  // anti-transpose
        turn(false);
        FlipBitmap(&bitmap, 0);
        break;
    case 8: turn(false); break;
    default: break;
    }
    if (alpha) {
        bitmap.GetAlphaChannel()->CopyToTIEMask(alpha);
        bitmap.RemoveAlphaChannel();
    }
}

}  // namespace

void ReadTIFFStream(TIEBitmap* Bitmap, rtl::TStream& Stream, int& ImageCount, bool AcceptZeroSize,
                    bool IgnoreAlpha, bool RelativeOffsets, std::unique_ptr<TIEMask>& AlphaMask,
                    bool ParamsOnly, TProgressRecord& Progress, TIOParamsVals& Params)
{
    ImageCount = 0;
    try {
        const std::int64_t start = Stream.Position();
        std::uint8_t header[kHeaderSize];
        if (Stream.Read(header, kHeaderSize) != kHeaderSize) {
            Progress.Abort();
            return;
        }
        const std::uint16_t order = rtl::LoadLE16(header);
        if (order != 0x4949 && order != 0x4D4D) {
            Progress.Abort();
            return;
        }
        const TTiffSource src(Stream, RelativeOffsets ? start : 0, order == 0x4949);
        // Version 43 is the 64-bit variant, whose offsets this reader does not take.
        if (src.U16(header + 2) == 43) {
            Progress.Abort();
            return;
        }
        std::uint32_t offset = src.U32(header + 4);
        if (offset == 0)
            return;

        // The chain, walked to its end for the count; a directory seen before ends it.
        const std::uint32_t wanted = std::uint32_t(std::max(Params.TIFFImageIndex, 0));
        TTiffTags tags(src);
        bool found = false, whole = false;
        std::set<std::uint32_t> seen;
        std::uint32_t pages = 0;
        while (offset != 0 && pages < kMaxPages && seen.insert(offset).second) {
            std::uint8_t countBytes[2];
            if (!src.ReadAt(offset, countBytes, 2))
                break;
            ++pages;
            if (pages - 1 == wanted) {
                found = true;
                whole = tags.Load(offset);
            }
            const std::uint64_t link =
                std::uint64_t(offset) + 2 + std::uint64_t(src.U16(countBytes)) * kEntrySize;
            std::uint8_t next[4];
            if (!src.ReadAt(link, next, 4))
                break;
            offset = src.U32(next);
        }
        ImageCount = int(pages);
        Params.ImageCount = int(pages);
        if (!found)
            return;
        if (!whole) {  // a directory the stream holds only in part
            Progress.Abort();
            return;
        }

        TTiffPage page;
        ReadPage(tags, page);
        if (page.mixedBits) {
            Progress.Abort();
            return;
        }
        ReadParams(tags, page, Params);
        Params.HasEXIF = false;
        if (const std::uint32_t exif = tags.Int(kExifIFD, 0); exif != 0) {
            TTiffTags exifTags(src);
            if (exifTags.Load(exif)) {
                ReadExifTags(exifTags, Params);
                Params.HasEXIF = true;
            }
        }
        if (ParamsOnly || !Bitmap)
            return;

        if ((page.width == 0 || page.height == 0) && !AcceptZeroSize) {
            Progress.Abort();
            return;
        }
        // Old-style JPEG with its stream in one place (EXIF thumbnails have no size of their own).
        if (page.compression == kCompOldJPEG && page.jpegProc < 2 && page.jpegOffset != 0) {
            ReadOldJpeg(src, page, *Bitmap, Progress);
            return;
        }
        if (page.width == 0 || page.height == 0)
            return;
        const TLayout layout = LayoutOf(page);
        const TTIFFLZWDecompressFunc lzw =
            Params.TIFFLZWDecompress ? Params.TIFFLZWDecompress : DefTIFFLZWDecompress;
        // JPEG pages: 8-bit grey, RGB, YCbCr or CMYK in contiguous samples.
        const bool jpeg =
            page.compression == kCompJPEG && page.bits == 8 && page.planar == 1 &&
            ((page.samples == 1 && page.photometric <= kPhotoBlackIsZero) ||
             (page.samples == 3 && (page.photometric == kPhotoRGB || page.photometric == kPhotoYCbCr)) ||
             (page.samples == 4 && page.photometric == kPhotoCMYK));
        const bool codec = page.compression == kCompNone || page.compression == kCompPackBits ||
                           (page.compression == kCompLZW && lzw) ||
                           (IsCCITT(page.compression) && layout == TLayout::bilevel) || jpeg;
        const bool tiled = page.tileWidth > 0 || page.tileLength > 0;
        const bool separate = page.planar == 2 && page.samples > 1;
        // Separate planes of whole bytes only; predictors of whole bytes only.
        const bool planesOk = page.planar == 1 || (page.planar == 2 && (page.bits == 8 || page.bits == 16)) ||
                              page.samples == 1;
        const bool predictorOk = page.predictor == 1 || page.compression != kCompLZW ||
                                 (page.predictor == 2 && (page.bits == 8 || page.bits == 16));
        if ((layout == TLayout::unsupported && !jpeg) || !codec || !planesOk || !predictorOk ||
            page.samples > kMaxSamples || (tiled && (page.tileWidth == 0 || page.tileLength == 0)) ||
            page.offsets.empty() || (separate && page.offsets.size() < page.samples)) {
            Progress.Abort();
            return;
        }
        // Every size in 64 bits, against the limit, before anything is allocated.
        const TBlockGrid grid(page);
        const std::uint64_t image = std::uint64_t(page.width) * page.height * 3;
        if (image > std::uint64_t(IETiffMaxImageBytes) ||
            RowBytes(grid.blockW, page.bits, page.samples) * 8 > std::uint64_t(IETiffMaxImageBytes) ||
            grid.blockW > (1u << 24) || grid.blockH > (1u << 24)) {
            Progress.Abort();
            return;
        }
        // A page the stream holds only in part is refused before anything is allocated: a value
        // the pixels depend on, or a strip or tile, that the stream does not hold.
        for (const std::uint16_t tag :
             {kBitsPerSample, kStripOffsets, kStripByteCounts, kTileOffsets, kTileByteCounts, kColorMap,
              kExtraSamples, kSampleFormat, kJPEGTables})
            if (!tags.Held(tag)) {
                Progress.Abort();
                return;
            }
        if (!BlocksHeld(src, page, grid)) {
            Progress.Abort();
            return;
        }

        TIEPixelFormat format = ie24RGB;
        const bool native = Params.NativePixelFormat != 0;
        if (jpeg)
            format = ie24RGB;
        else if (layout == TLayout::bilevel)
            format = ie1g;
        else if (native && (layout == TLayout::palette || layout == TLayout::paletteAlpha))
            format = ie8p;
        else if (native && layout == TLayout::grey8 && page.photometric == kPhotoBlackIsZero)
            format = ie8g;
        else if (native && layout == TLayout::grey16 && page.photometric == kPhotoBlackIsZero)
            format = ie16g;
        Bitmap->Allocate(int(page.width), int(page.height), format);
        if (format == ie8p)
            for (int i = 0; i < 256; ++i)
                Bitmap->SetPaletteColor(i, page.colorMap[std::size_t(i)]);

        TIEMask* alpha = nullptr;
        const bool hasAlpha = (page.samples == 4 && page.extraSamples == 2) ||
                              (page.samples == 2 && page.bits == 8) ||
                              (page.samples == 4 && page.photometric == kPhotoRGB);
        if (!IgnoreAlpha && hasAlpha) {
            if (!AlphaMask)
                AlphaMask = std::make_unique<TIEMask>();
            AlphaMask->AllocateBits(int(page.width), int(page.height), 8);
            AlphaMask->Fill(255);
            AlphaMask->Full = false;
            alpha = AlphaMask.get();
        }

        bool ok;
        {
            const TIEAccessScope writeOnly(*Bitmap, 2);
            TReadContext context{src, page, grid, layout, *Bitmap, alpha, Progress, lzw};
            ok = jpeg ? ReadJpegBlocks(context, tags.Bytes(kJPEGTables)) : ReadBlocks(context);
        }
        if (!ok) {
            Progress.Abort();
            return;
        }
        if (Params.TIFFOption && page.orientation != 1)
            ApplyOrientation(*Bitmap, alpha, page.orientation);
    } catch (const rtl::Exception&) {
        // Memory that cannot be had, a stream that fails underneath.
        Progress.Abort();
    }
}

// ---- writing -----------------------------------------------------------------------------------

namespace {

constexpr std::int64_t kStripTarget = 524288;  // bytes of rows per strip

struct TOutEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint8_t value[4] = {};
};

// Collects the entries of one directory while their data go to the stream. Offsets count from the
// header; a value of 4 bytes or less sits in its entry.
class TIfdWriter {
public:
    TIfdWriter(rtl::TStream& out, std::int64_t base, TProgressRecord& progress)
        : out_(out), base_(base), progress_(progress)
    {
    }

    // The current position from the header; the write fails past 4 GB.
    std::uint32_t Here()
    {
        const std::int64_t at = out_.Position() - base_;
        if (at < 0 || at > std::int64_t(UINT32_MAX)) {
            progress_.Abort();
            return 0;
        }
        return std::uint32_t(at);
    }
    void Write(const void* data, std::size_t size)
    {
        if (size > 0)
            out_.Write(data, std::int32_t(size));
    }
    // Offsets must be even.
    void Align()
    {
        if (Here() & 1) {
            const std::uint8_t zero = 0;
            Write(&zero, 1);
        }
    }

    void Add(std::uint16_t tag, std::uint16_t type, std::uint32_t count, const void* data, std::size_t size)
    {
        TOutEntry e{tag, type, count, {}};
        if (size <= 4) {
            if (size > 0)
                std::memcpy(e.value, data, size);
        } else {
            Align();
            rtl::StoreLE32(e.value, Here());
            Write(data, size);
        }
        entries_.push_back(e);
    }
    // A value a SHORT cannot hold (read from a LONG) is written as the LONG it was.
    void Short(std::uint16_t tag, std::uint32_t v)
    {
        if (v > 0xFFFF)
            Long(tag, v);
        else
            Shorts(tag, {v});
    }
    void Long(std::uint16_t tag, std::uint32_t v) { Longs(tag, {v}); }
    void Shorts(std::uint16_t tag, const std::vector<std::uint32_t>& v)
    {
        std::vector<std::uint8_t> b(v.size() * 2);
        for (std::size_t i = 0; i < v.size(); ++i)
            rtl::StoreLE16(b.data() + 2 * i, std::uint16_t(v[i]));
        Add(tag, kShort, std::uint32_t(v.size()), b.data(), b.size());
    }
    void Longs(std::uint16_t tag, const std::vector<std::uint32_t>& v)
    {
        std::vector<std::uint8_t> b(v.size() * 4);
        for (std::size_t i = 0; i < v.size(); ++i)
            rtl::StoreLE32(b.data() + 4 * i, v[i]);
        Add(tag, kLong, std::uint32_t(v.size()), b.data(), b.size());
    }
    void Rationals(std::uint16_t tag, const std::vector<double>& v, bool isSigned = false)
    {
        std::vector<std::uint8_t> b(v.size() * 8);
        for (std::size_t i = 0; i < v.size(); ++i) {
            std::uint32_t n, d;
            ToRational(v[i], isSigned, n, d);
            rtl::StoreLE32(b.data() + 8 * i, n);
            rtl::StoreLE32(b.data() + 8 * i + 4, d);
        }
        Add(tag, isSigned ? kSRational : kRational, std::uint32_t(v.size()), b.data(), b.size());
    }
    void Rational(std::uint16_t tag, double v, bool isSigned = false) { Rationals(tag, {v}, isSigned); }
    // A whole resolution over 1, as the library always wrote it.
    void Whole(std::uint16_t tag, std::uint32_t v)
    {
        std::uint8_t b[8];
        rtl::StoreLE32(b, v);
        rtl::StoreLE32(b + 4, 1);
        Add(tag, kRational, 1, b, 8);
    }
    void Ascii(std::uint16_t tag, const std::string& text)
    {
        const std::string s = TrimNul(text);
        if (!s.empty())
            Add(tag, kAscii, std::uint32_t(s.size() + 1), s.c_str(), s.size() + 1);
    }
    void Undefined(std::uint16_t tag, const std::string& bytes)
    {
        if (!bytes.empty())
            Add(tag, kUndefined, std::uint32_t(bytes.size()), bytes.data(), bytes.size());
    }

    // Writes the sorted directory at the next even position; returns its offset.
    std::uint32_t Finish(std::uint32_t next)
    {
        Align();
        const std::uint32_t at = Here();
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const TOutEntry& a, const TOutEntry& b) { return a.tag < b.tag; });
        std::vector<std::uint8_t> b(2 + entries_.size() * kEntrySize + 4);
        rtl::StoreLE16(b.data(), std::uint16_t(entries_.size()));
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            std::uint8_t* e = b.data() + 2 + i * kEntrySize;
            rtl::StoreLE16(e, entries_[i].tag);
            rtl::StoreLE16(e + 2, entries_[i].type);
            rtl::StoreLE32(e + 4, entries_[i].count);
            std::memcpy(e + 8, entries_[i].value, 4);
        }
        rtl::StoreLE32(b.data() + b.size() - 4, next);
        Write(b.data(), b.size());
        return at;
    }

    // EXIF values as fractions: the denominator starts at a million and shrinks by ten while the
    // numerator would not fit, down to 1; the numerator then saturates. Unsigned kinds hold no
    // negative values.
    static void ToRational(double v, bool isSigned, std::uint32_t& n, std::uint32_t& d)
    {
        if (!std::isfinite(v))
            v = 0;
        if (!isSigned && v < 0)
            v = 0;
        const double limit = isSigned ? 2147483647.0 : 4294967295.0;
        double den = 1000000;
        while (den > 1 && std::abs(v) * den > limit)
            den /= 10;
        const double num = std::clamp(std::round(v * den), isSigned ? -2147483648.0 : 0.0, limit);
        n = isSigned ? std::uint32_t(std::int32_t(num)) : std::uint32_t(num);
        d = std::uint32_t(den);
    }

private:
    rtl::TStream& out_;
    std::int64_t base_;
    TProgressRecord& progress_;
    std::vector<TOutEntry> entries_;
};

// What the writer puts in the directories besides the image.
enum class TWriteMode {
    page,       // a page of a file
    exifTags,   // the first directory of an EXIF block: its tags and the EXIF directory only
    thumbnail,  // the thumbnail directory of an EXIF block
};

// Tags whose 0 is no value of theirs are left out at 0 (the parameters' "absent").
void WriteExifDirectory(TIfdWriter& main, rtl::TStream& out, std::int64_t base, TProgressRecord& progress,
                        const TIOParamsVals& p, bool forJpeg)
{
    TIfdWriter exif(out, base, progress);
    exif.Rational(kExposureTime, p.EXIF_ExposureTime);
    exif.Rational(kFNumber, p.EXIF_FNumber);
    exif.Short(kExposureProgram, std::uint32_t(p.EXIF_ExposureProgram));
    exif.Shorts(kISOSpeedRatings,
                {std::uint32_t(p.EXIF_ISOSpeedRatings(0)), std::uint32_t(p.EXIF_ISOSpeedRatings(1))});
    exif.Undefined(kExifVersion, p.EXIF_ExifVersion.substr(0, 4));
    exif.Ascii(kDateTimeOriginal, p.EXIF_DateTimeOriginal);
    exif.Ascii(kDateTimeDigitized, p.EXIF_DateTimeDigitized);
    exif.Rational(kCompressedBitsPerPixel, p.EXIF_CompressedBitsPerPixel);
    exif.Rational(kShutterSpeedValue, p.EXIF_ShutterSpeedValue, true);
    exif.Rational(kApertureValue, p.EXIF_ApertureValue);
    exif.Rational(kBrightnessValue, p.EXIF_BrightnessValue, true);
    exif.Rational(kExposureBiasValue, p.EXIF_ExposureBiasValue, true);
    exif.Rational(kMaxApertureValue, p.EXIF_MaxApertureValue);
    exif.Rational(kSubjectDistance, p.EXIF_SubjectDistance);
    exif.Short(kMeteringMode, std::uint32_t(p.EXIF_MeteringMode));
    exif.Short(kLightSource, std::uint32_t(p.EXIF_LightSource));
    exif.Short(kFlash, std::uint32_t(p.EXIF_Flash));
    exif.Rational(kFocalLength, p.EXIF_FocalLength);
    exif.Ascii(kSubsecTime, p.EXIF_SubsecTime);
    exif.Ascii(kSubsecTimeOriginal, p.EXIF_SubsecTimeOriginal);
    exif.Ascii(kSubsecTimeDigitized, p.EXIF_SubsecTimeDigitized);
    exif.Undefined(kFlashpixVersion, p.EXIF_FlashPixVersion.substr(0, 4));
    if (p.EXIF_ColorSpace != 0)
        exif.Short(kColorSpace, std::uint32_t(p.EXIF_ColorSpace));
    exif.Long(kPixelXDimension, std::uint32_t(p.EXIF_ExifImageWidth));
    exif.Long(kPixelYDimension, std::uint32_t(p.EXIF_ExifImageHeight));
    exif.Ascii(kRelatedSoundFile, p.EXIF_RelatedSoundFile);
    exif.Rational(kFocalPlaneXResolution, p.EXIF_FocalPlaneXResolution);
    exif.Rational(kFocalPlaneYResolution, p.EXIF_FocalPlaneYResolution);
    if (p.EXIF_FocalPlaneResolutionUnit != 0)
        exif.Short(kFocalPlaneResolutionUnit, std::uint32_t(p.EXIF_FocalPlaneResolutionUnit));
    exif.Rational(kExposureIndex, p.EXIF_ExposureIndex);
    if (p.EXIF_SensingMethod != 0)
        exif.Short(kSensingMethod, std::uint32_t(p.EXIF_SensingMethod));
    // A JPEG's EXIF directory must say how its components are ordered: Y, Cb, Cr.
    if (forJpeg)
        exif.Undefined(kComponentsConfiguration, std::string("\1\2\3\0", 4));
    // One byte each; a value a byte cannot hold is left out rather than cut.
    for (const auto& [tag, value] :
         {std::pair{kFileSource, p.EXIF_FileSource}, {kSceneType, p.EXIF_SceneType}})
        if (value > 0 && value <= 0xFF)
            exif.Undefined(tag, std::string(1, char(value)));
    if (!p.EXIF_UserComment.empty() || !p.EXIF_UserCommentCode.empty()) {
        std::string code = p.EXIF_UserCommentCode.substr(0, 8);
        code.resize(8, '\0');
        exif.Undefined(kUserComment, code + p.EXIF_UserComment);
    }
    main.Long(kExifIFD, exif.Finish(0));
}

void WriteExifMainTags(TIfdWriter& w, const TIOParamsVals& p)
{
    w.Ascii(kImageDescription, p.EXIF_ImageDescription);
    w.Whole(kXResolution, std::uint32_t(std::clamp<double>(std::round(p.EXIF_XResolution), 0, UINT32_MAX)));
    w.Whole(kYResolution, std::uint32_t(std::clamp<double>(std::round(p.EXIF_YResolution), 0, UINT32_MAX)));
    if (p.EXIF_Orientation >= 1 && p.EXIF_Orientation <= 8)
        w.Short(kOrientation, std::uint32_t(p.EXIF_Orientation));
    w.Short(kResolutionUnit, 2);
    w.Ascii(kSoftware, p.EXIF_Software);
    w.Ascii(kMake, p.EXIF_Make);
    w.Ascii(kModel, p.EXIF_Model);
    w.Ascii(kDateTime, p.EXIF_DateTime);
    w.Rationals(kWhitePoint, {p.EXIF_WhitePoint(0), p.EXIF_WhitePoint(1)});
    if (p.EXIF_YCbCrPositioning != 0)
        w.Short(kYCbCrPositioning, std::uint32_t(p.EXIF_YCbCrPositioning));
    std::vector<double> primaries(6), coefficients(3), blackWhite(6);
    for (int i = 0; i < 6; ++i) {
        primaries[std::size_t(i)] = p.EXIF_PrimaryChromaticities(i);
        blackWhite[std::size_t(i)] = p.EXIF_ReferenceBlackWhite(i);
    }
    for (int i = 0; i < 3; ++i)
        coefficients[std::size_t(i)] = p.EXIF_YCbCrCoefficients(i);
    w.Rationals(kPrimaryChromaticities, primaries);
    w.Rationals(kYCbCrCoefficients, coefficients);
    w.Rationals(kReferenceBlackWhite, blackWhite);
    w.Ascii(kCopyright, p.EXIF_Copyright);
}

// The layout the writer settles on.
struct TWriteLayout {
    enum class Kind { bilevel, grey, palette, rgb, cmyk, lab, jpeg } kind = Kind::rgb;
    int jpegSpace = 2;  // the JPEG writer's colour space: 0 RGB, 1 grey, 2 YCbCr, 3 CMYK
    int bits = 8;
    std::uint16_t compression = kCompNone;
    std::uint16_t photometric = kPhotoRGB;  // as written in the file
    int predictor = 1;
    std::uint32_t t4Options = 0;
    std::uint32_t samples = 3;
};

std::uint16_t TiffCompressionOf(int code)
{
    switch (code) {
    case 1: return kCompHuffman;
    case 2:
    case 3: return kCompGroup3;
    case 4: return kCompGroup4;
    case 5: return kCompLZW;
    case 7: return kCompJPEG;
    case 8: return kCompPackBits;
    default: return kCompNone;
    }
}

// Packs one row of samples (values of `bits` bits each, most significant bit first).
void PackSamples(const std::vector<std::uint32_t>& v, int bits, std::uint8_t* out, std::size_t bytes)
{
    std::memset(out, 0, bytes);
    if (bits == 8) {
        for (std::size_t i = 0; i < v.size(); ++i)
            out[i] = std::uint8_t(v[i]);
        return;
    }
    if (bits == 16) {
        for (std::size_t i = 0; i < v.size(); ++i)
            rtl::StoreLE16(out + 2 * i, std::uint16_t(v[i]));
        return;
    }
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::size_t bit = i * std::size_t(bits);
        out[bit >> 3] |= std::uint8_t(v[i] << (8 - bits - int(bit & 7)));
    }
}

// Encodes the rows of one strip after another and tells each strip's bytes.
class TStripEncoder {
public:
    TStripEncoder(rtl::TStream& out, const TWriteLayout& layout, std::uint32_t width,
                  TTIFFLZWCompressFunc lzw)
        : out_(out), layout_(layout), width_(width), lzw_(lzw)
    {
    }

    void Row(const std::uint8_t* row, std::size_t bytes)
    {
        switch (layout_.compression) {
        case kCompLZW: lzw_(row, std::int64_t(bytes), out_, lzwState_); break;
        case kCompPackBits:
            packed_.clear();
            // Runs of 4 or more become repeats, everything else literal stretches.
            detail::IEPackBits(row, bytes, 4, packed_);
            out_.Write(packed_.data(), std::int32_t(packed_.size()));
            break;
        case kCompHuffman: CCITTEncodeHuffmanRow(row, std::int32_t(width_), out_); break;
        case kCompGroup3:
            if (layout_.t4Options & 1)
                CCITTEncodeG3Row(row, std::int32_t(width_), out_, fax_);
            else
                CCITTEncodeG3Row1D(row, std::int32_t(width_), out_, fax_);
            break;
        case kCompGroup4: CCITTEncodeG4Row(row, std::int32_t(width_), out_, fax_); break;
        default: out_.Write(row, std::int32_t(bytes));
        }
    }
    // Ends the strip's coded data.
    void EndStrip()
    {
        switch (layout_.compression) {
        case kCompLZW: lzw_(nullptr, 0, out_, lzwState_); break;
        case kCompGroup3:
            if (layout_.t4Options & 1)
                CCITTEncodeG3Row(nullptr, std::int32_t(width_), out_, fax_);
            else
                CCITTEncodeG3Row1D(nullptr, std::int32_t(width_), out_, fax_);
            break;
        case kCompGroup4: CCITTEncodeG4Row(nullptr, std::int32_t(width_), out_, fax_); break;
        default: break;
        }
        fax_ = TCCITTEncodeState{};
    }

private:
    rtl::TStream& out_;
    const TWriteLayout& layout_;
    std::uint32_t width_;
    TTIFFLZWCompressFunc lzw_;
    TIFFLZWEncodeStatePtr lzwState_;
    TCCITTEncodeState fax_;
    std::vector<std::uint8_t> packed_;
};

// Settles the layout from Params and the bitmap, and makes the bitmap the rows come from.
TWriteLayout ChooseLayout(TIEBitmap& bitmap, TIOParamsVals& p, std::unique_ptr<TIEBitmap>& copy,
                          TIEBitmap*& source)
{
    TWriteLayout l;
    source = &bitmap;
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    int bits = p.BitsPerSample;
    int samples = p.SamplesPerPixel;
    int photometric = p.TIFFPhotometric;
    const auto convert = [&](TIEPixelFormat to) {
        copy = detail::IEConvertedCopy(bitmap, to);
        source = copy.get();
    };

    if (p.TIFFCompression == 7) {
        // One JPEG stream over the page; a CMYK one holds amounts of ink, as every TIFF CMYK page.
        if (format != ie24RGB)
            convert(ie24RGB);
        const int space = p.TIFFJPEGColorSpace & 0x7F;
        l.kind = TWriteLayout::Kind::jpeg;
        l.compression = kCompJPEG;
        l.bits = 8;
        l.jpegSpace = space == 1 ? 1 : space == 0 || space == 4 ? 0 : space == 3 ? 3 : 2;
        l.samples = l.jpegSpace == 1 ? 1 : l.jpegSpace == 3 ? 4 : 3;
        l.photometric = l.jpegSpace == 1   ? kPhotoBlackIsZero
                        : l.jpegSpace == 0 ? kPhotoRGB
                        : l.jpegSpace == 3 ? kPhotoCMYK
                                           : kPhotoYCbCr;
        p.BitsPerSample = 8;
        p.SamplesPerPixel = int(l.samples);
        p.TIFFPhotometric = std::uint8_t(l.photometric);
        return l;
    }
    if (bits == 1 && samples == 1) {
        if (format != ie1g) {
            TRGB dark, light;
            copy = detail::IEBilevelCopy(bitmap, dark, light);
            source = copy.get();
        }
        l.kind = TWriteLayout::Kind::bilevel;
        l.bits = 1;
    } else if (samples == 1 && ((bits >= 2 && bits <= 8) || bits == 16)) {
        if (format == ie1g || format == ie32f)
            convert(ie24RGB);
        if (source->IsGrayScale()) {
            l.kind = TWriteLayout::Kind::grey;
            l.bits = bits;
        } else {
            l.kind = TWriteLayout::Kind::palette;
            l.bits = std::min(bits, 8);
        }
    } else {
        if (format == ie1g && bits > 1)
            convert(ie24RGB);
        else if (format != ie24RGB && format != ie1g)
            convert(ie24RGB);
        if (source->GetPixelFormat() == ie1g) {
            l.kind = TWriteLayout::Kind::bilevel;
            l.bits = 1;
        } else if (photometric == 5) {
            l.kind = TWriteLayout::Kind::cmyk;
        } else if (photometric == 7) {
            l.kind = TWriteLayout::Kind::lab;
        } else {
            l.kind = TWriteLayout::Kind::rgb;
        }
    }

    l.compression = TiffCompressionOf(p.TIFFCompression);
    if (l.kind == TWriteLayout::Kind::grey || l.kind == TWriteLayout::Kind::palette)
        if (l.compression != kCompLZW && l.compression != kCompPackBits)
            l.compression = kCompNone;
    // The CCITT codings hold bilevel rows only; anything else is written uncompressed.
    if (IsCCITT(l.compression) && l.kind != TWriteLayout::Kind::bilevel)
        l.compression = kCompNone;
    if (p.TIFFCompression == 3)
        l.t4Options = 1;
    const TTIFFLZWCompressFunc lzw = p.TIFFLZWCompress ? p.TIFFLZWCompress : DefTIFFLZWCompress;
    if (l.compression == kCompLZW && !lzw)
        l.compression = kCompNone;
    l.predictor = l.compression == kCompLZW && l.kind == TWriteLayout::Kind::rgb ? 2 : 1;

    switch (l.kind) {
    case TWriteLayout::Kind::bilevel:
        l.photometric = IsCCITT(l.compression) ? kPhotoWhiteIsZero : kPhotoBlackIsZero;
        l.samples = 1;
        break;
    case TWriteLayout::Kind::grey:
        l.photometric = kPhotoBlackIsZero;
        l.samples = 1;
        break;
    case TWriteLayout::Kind::palette:
        l.photometric = kPhotoPalette;
        l.samples = 1;
        break;
    case TWriteLayout::Kind::cmyk:
        l.photometric = kPhotoCMYK;
        l.samples = 4;
        break;
    case TWriteLayout::Kind::lab:
        l.photometric = kPhotoCIELab;
        l.samples = 3;
        break;
    case TWriteLayout::Kind::rgb:
    case TWriteLayout::Kind::jpeg:  // settled above
        l.photometric = kPhotoRGB;
        l.samples = 3;
        break;
    }
    // What was written goes back to the parameters.
    p.BitsPerSample = l.bits;
    p.SamplesPerPixel = int(l.samples);
    p.TIFFPhotometric = std::uint8_t(l.photometric == kPhotoCIELab ? 7 : l.photometric);
    p.TIFFCompression = CompressionCode(l.compression, l.t4Options);
    return l;
}

// Grey of any pixel, in 16 bits.
std::uint32_t Grey16(TIEBitmap& b, const std::uint8_t* row, int x)
{
    switch (b.GetPixelFormat()) {
    case ie16g: return rtl::LoadLE16(row + 2 * x);  // host order: the library runs little-endian
    case ie8g: return row[x] * 257u;
    case ie8p: {
        const TRGB c = b.GetPaletteColor(row[x]);
        return RGBToGray(c) * 257u;
    }
    default: {
        const TRGB c = reinterpret_cast<const TRGB*>(row)[x];
        return RGBToGray(c) * 257u;
    }
    }
}

// The page as one JPEG stream, written at the next even position; its offset and length.
std::pair<std::uint32_t, std::uint32_t> WriteJpeg(TIfdWriter& w, TIEBitmap& source, int space, int quality,
                                                  TProgressRecord& progress)
{
    TIOParamsVals jpeg(nullptr);
    jpeg.JPEGQuality = quality;
    jpeg.JPEGColorSpace = std::uint8_t(space);
    rtl::TMemoryStream coded;
    detail::EncodeTiffJpegStream(coded, &source, jpeg, progress);
    w.Align();
    const std::uint32_t at = w.Here();
    w.Write(coded.Memory(), coded.Bytes().size());
    return {at, std::uint32_t(coded.Bytes().size())};
}

// Writes the image's strips and their tags.
void WriteStrips(TIfdWriter& w, rtl::TStream& out, TIEBitmap& source, const TWriteLayout& l, TIOParamsVals& p,
                 TProgressRecord& progress)
{
    if (l.kind == TWriteLayout::Kind::jpeg) {
        const auto [at, length] = WriteJpeg(w, source, l.jpegSpace, p.TIFFJPEGQuality, progress);
        w.Long(kRowsPerStrip, std::uint32_t(source.GetHeight()));
        w.Long(kStripOffsets, at);
        w.Long(kStripByteCounts, length);
        // The JPEG writer samples chroma 2 by 2.
        if (l.jpegSpace == 2)
            w.Shorts(kYCbCrSubSampling, {2, 2});
        return;
    }
    const int width = source.GetWidth();
    const int height = source.GetHeight();
    const std::size_t rowBytes =
        std::size_t(RowBytes(std::uint64_t(width), std::uint32_t(l.bits), l.samples));
    const std::int64_t strips = std::max<std::int64_t>(1, std::int64_t(rowBytes) * height / kStripTarget);
    std::int64_t rowsPerStrip = height / strips;
    rowsPerStrip = std::max<std::int64_t>(rowsPerStrip, 1);

    std::unique_ptr<detail::TIEIndexedImage> indexed;
    if (l.kind == TWriteLayout::Kind::palette) {
        indexed = std::make_unique<detail::TIEIndexedImage>(source, 1 << l.bits);
        std::vector<std::uint32_t> map(3 * (std::size_t(1) << l.bits));
        const std::size_t n = std::size_t(1) << l.bits;
        for (std::size_t i = 0; i < n; ++i) {
            const TRGB c = indexed->Palette()[i];
            map[i] = c.r * 257u;
            map[n + i] = c.g * 257u;
            map[2 * n + i] = c.b * 257u;
        }
        w.Shorts(kColorMap, map);
    }
    // The CCITT encoders take 1 for black; the bitmap holds 1 for white.
    const bool invertBits = IsCCITT(l.compression);
    const TIELabSpace lab;

    const TTIFFLZWCompressFunc lzw = p.TIFFLZWCompress ? p.TIFFLZWCompress : DefTIFFLZWCompress;
    TStripEncoder encoder(out, l, std::uint32_t(width), lzw);
    std::vector<std::uint8_t> row(rowBytes + 8);
    std::vector<std::uint8_t> indexes(static_cast<std::size_t>(width));
    std::vector<std::uint32_t> values(std::size_t(width) * l.samples);
    std::vector<std::uint32_t> offsets, counts;
    const std::uint32_t maxValue = (1u << l.bits) - 1;
    progress.per = 100.0 / std::max(height, 1);
    w.Align();
    std::uint32_t stripStart = w.Here();
    for (int y = 0; y < height && !progress.Aborted(); ++y) {
        progress.Report(int(progress.per * y));
        const std::uint8_t* in = source.ScanLine(y);
        switch (l.kind) {
        case TWriteLayout::Kind::bilevel:
            for (std::size_t i = 0; i < rowBytes; ++i)
                row[i] = invertBits ? std::uint8_t(~in[i]) : in[i];
            break;
        case TWriteLayout::Kind::grey:
            // Scaled to the depth, never cut to its low bits.
            for (int x = 0; x < width; ++x) {
                const std::uint32_t g = Grey16(source, in, x);
                // Sixteen bits become eight by their high byte, as the library shows them.
                values[std::size_t(x)] = l.bits == 16 ? g : ((g >> 8) * maxValue + 127) / 255;
            }
            PackSamples(values, l.bits, row.data(), rowBytes);
            break;
        case TWriteLayout::Kind::palette:
            indexed->IndexRow(y, indexes.data());
            for (int x = 0; x < width; ++x)
                values[std::size_t(x)] = indexes[std::size_t(x)];
            PackSamples(values, l.bits, row.data(), rowBytes);
            break;
        case TWriteLayout::Kind::cmyk:
            IEConvertColorFunction(in, kIEColorRGB, row.data(), width, kIEColorCMYK, nullptr);
            for (std::size_t i = 0; i < rowBytes; ++i)
                row[i] = std::uint8_t(255 - row[i]);
            break;
        case TWriteLayout::Kind::lab:
            IEConvertColorFunction(in, kIEColorRGB, row.data(), width, kIEColorCIELab, &lab);
            break;
        case TWriteLayout::Kind::jpeg: break;  // written whole
        case TWriteLayout::Kind::rgb: {
            const TRGB* px = reinterpret_cast<const TRGB*>(in);
            for (int x = 0; x < width; ++x) {
                row[3 * std::size_t(x)] = px[x].r;
                row[3 * std::size_t(x) + 1] = px[x].g;
                row[3 * std::size_t(x) + 2] = px[x].b;
            }
            if (l.predictor == 2)
                for (std::size_t i = rowBytes; i-- > 3;)
                    row[i] = std::uint8_t(row[i] - row[i - 3]);
            break;
        }
        }
        encoder.Row(row.data(), rowBytes);
        if ((y + 1) % rowsPerStrip == 0 || y + 1 == height) {
            encoder.EndStrip();
            const std::uint32_t end = w.Here();
            offsets.push_back(stripStart);
            counts.push_back(end - stripStart);
            w.Align();
            stripStart = w.Here();
        }
    }
    w.Long(kRowsPerStrip, std::uint32_t(rowsPerStrip));
    w.Longs(kStripOffsets, offsets);
    w.Longs(kStripByteCounts, counts);
}

// Reads the chain of the file to append to: the link to write the new directory's offset into and
// the directory that is to follow it. False for a big-endian file or a damaged chain.
bool FindLink(rtl::TStream& s, std::int64_t base, int index, std::uint32_t& linkAt, std::uint32_t& following,
              int& pages)
{
    std::uint8_t header[kHeaderSize];
    s.SetPosition(base);
    if (s.Read(header, kHeaderSize) != kHeaderSize || rtl::LoadLE16(header) != 0x4949)
        return false;
    const TTiffSource src(s, base, true);
    std::uint32_t field = 4;
    std::set<std::uint32_t> seen;
    bool found = false;
    for (int counter = 0;; ++counter) {
        std::uint8_t b[4];
        if (!src.ReadAt(field, b, 4))
            return false;
        const std::uint32_t offset = rtl::LoadLE32(b);
        if (!found && (counter == index || (offset == 0 && index > counter))) {
            linkAt = field;
            following = offset;
            found = true;
        }
        if (offset == 0) {
            pages = counter + 1;
            return found;
        }
        if (!seen.insert(offset).second || seen.size() > kMaxPages || !src.ReadAt(offset, b, 2))
            return false;
        // A link past 4 GB is none this writer could follow with a page of its own.
        const std::uint64_t next = std::uint64_t(offset) + 2 + std::uint64_t(rtl::LoadLE16(b)) * kEntrySize;
        if (next > UINT32_MAX)
            return false;
        field = std::uint32_t(next);
    }
}

int WritePage(rtl::TStream& Stream, bool Append, TIEBitmap* Bitmap, TProgressRecord& Progress,
              TIOParamsVals& Params, TWriteMode mode)
{
    detail::TIECheckedStream out(Stream, Progress);
    const std::int64_t base = Stream.Position();
    int pages = 1;
    std::uint32_t linkAt = 4, following = 0;
    if (Append) {
        if (!FindLink(Stream, base, std::max(Params.TIFFImageIndex, 0), linkAt, following, pages)) {
            Progress.Abort();
            return 0;
        }
        Stream.Seek(0, rtl::soEnd);
    } else {
        const std::uint8_t placeholder[kHeaderSize] = {};
        out.Write(placeholder, kHeaderSize);
    }
    TIfdWriter w(out, base, Progress);
    if (Bitmap && (Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1))
        Bitmap = nullptr;
    if (!Bitmap && mode == TWriteMode::page) {
        Progress.Abort();
        return 0;
    }

    if (mode != TWriteMode::thumbnail) {
        if (Params.HasEXIF || mode == TWriteMode::exifTags) {
            WriteExifMainTags(w, Params);
            WriteExifDirectory(w, out, base, Progress, Params, mode == TWriteMode::exifTags);
        } else {
            w.Ascii(kImageDescription, Params.TIFFImageDescription);
            w.Whole(kXResolution, std::uint32_t(std::max(Params.DpiX, 0)));
            w.Whole(kYResolution, std::uint32_t(std::max(Params.DpiY, 0)));
            w.Short(kResolutionUnit, 2);
        }
    }
    if (Bitmap && mode == TWriteMode::thumbnail) {
        // An EXIF thumbnail is one JPEG stream, found by its offset and length alone.
        TIEBitmap copy;
        copy.AssignImage(Bitmap);
        copy.SetPixelFormat(ie24RGB);
        const auto [at, length] = WriteJpeg(w, copy, 2, Params.TIFFJPEGQuality, Progress);
        w.Short(kCompression, kCompOldJPEG);
        w.Whole(kXResolution, 72);
        w.Whole(kYResolution, 72);
        w.Short(kResolutionUnit, 2);
        w.Long(kJPEGInterchangeFormat, at);
        w.Long(kJPEGInterchangeFormatLength, length);
    } else if (Bitmap) {
        std::unique_ptr<TIEBitmap> copy;
        TIEBitmap* source = nullptr;
        const TWriteLayout l = ChooseLayout(*Bitmap, Params, copy, source);
        w.Long(kImageWidth, std::uint32_t(source->GetWidth()));
        w.Long(kImageLength, std::uint32_t(source->GetHeight()));
        w.Shorts(kBitsPerSample, std::vector<std::uint32_t>(l.samples, std::uint32_t(l.bits)));
        w.Short(kCompression, l.compression);
        w.Short(kPhotometric, l.photometric);
        if (mode == TWriteMode::page) {
            w.Ascii(kDocumentName, Params.TIFFDocumentName);
            if (IsCCITT(l.compression)) {
                w.Short(kFillOrder, 1);
                w.Short(kPlanarConfig, 1);
                w.Short(kCleanFaxData, 0);
            }
        }
        WriteStrips(w, out, *source, l, Params, Progress);
        w.Short(kSamplesPerPixel, l.samples);
        if (l.predictor == 2)
            w.Short(kPredictor, 2);
        if (mode == TWriteMode::page) {
            w.Ascii(kPageName, Params.TIFFPageName);
            if (Params.TIFFXPos != 0)
                w.Rational(kXPosition, Params.TIFFXPos);
            if (Params.TIFFYPos != 0)
                w.Rational(kYPosition, Params.TIFFYPos);
            // Both for Group 3 and Group 4 pages: the 2-D flag (0 for Group 4), and no option of
            // Group 4 used.
            if (l.compression == kCompGroup3 || l.compression == kCompGroup4) {
                w.Long(kT4Options, l.t4Options);
                w.Long(kT6Options, 0);
            }
        }
    }
    if (mode == TWriteMode::page) {
        w.Shorts(kPageNumber, {std::uint32_t(Params.TIFFPageNumber), std::uint32_t(Params.TIFFPageCount)});
        w.Long(kNewSubfileType, 0);
        // The IPTC records as LONGs: padded to a whole number of them.
        std::vector<std::uint8_t> iptc = Params.IPTCInfoList.SaveToStandardBuffer(false);
        if (!iptc.empty()) {
            iptc.resize((iptc.size() + 3) / 4 * 4, 0);
            w.Add(kIPTC, kLong, std::uint32_t(iptc.size() / 4), iptc.data(), iptc.size());
        }
        const std::vector<std::uint8_t> annotations = Params.ImagingAnnot.SaveToBuffer();
        if (!annotations.empty())
            w.Add(kImagingAnnotations, kByte, std::uint32_t(annotations.size()), annotations.data(),
                  annotations.size());
    }

    const std::uint32_t ifd = w.Finish(Append ? following : 0);
    if (Progress.Aborted())
        return 0;
    const std::int64_t end = Stream.Position();
    if (Append) {
        std::uint8_t b[4];
        rtl::StoreLE32(b, ifd);
        Stream.SetPosition(base + linkAt);
        out.Write(b, 4);
    } else {
        std::uint8_t header[kHeaderSize] = {'I', 'I', 42, 0};
        rtl::StoreLE32(header + 4, ifd);
        Stream.SetPosition(base);
        out.Write(header, kHeaderSize);
    }
    Stream.SetPosition(end);
    Progress.Report(100);
    return Progress.Aborted() ? 0 : pages;
}

}  // namespace

int WriteTIFFStream(rtl::TStream& Stream, bool Append, TIEBitmap* Bitmap, TProgressRecord& Progress,
                    TIOParamsVals& Params)
{
    try {
        return WritePage(Stream, Append, Bitmap, Progress, Params, TWriteMode::page);
    } catch (const rtl::Exception&) {
        Progress.Abort();
        return 0;
    }
}

namespace detail {

bool WriteExifTiff(rtl::TStream& Stream, TIOParamsVals& Params, TProgressRecord& Progress)
{
    try {
        const std::int64_t start = Stream.Position();
        WritePage(Stream, false, nullptr, Progress, Params, TWriteMode::exifTags);
        TIEBitmap* thumbnail = Params.EXIF_Bitmap();
        if (!Progress.Aborted() && thumbnail && thumbnail->GetWidth() > 0 && thumbnail->GetHeight() > 0) {
            // The thumbnail directory follows the first one; its layout is fixed, so the caller's
            // parameters are not touched.
            TIOParamsVals thumb(nullptr);
            thumb.TIFFImageIndex = 1;
            Stream.SetPosition(start);
            WritePage(Stream, true, thumbnail, Progress, thumb, TWriteMode::thumbnail);
        }
        return !Progress.Aborted();
    } catch (const rtl::Exception&) {
        Progress.Abort();
        return false;
    }
}

}  // namespace detail

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

void LoadTiff(TIELoadJob& Job)
{
    int count = 0;
    std::unique_ptr<TIEMask> mask;
    // Offsets count from the header found, as the writer writes them, also after a stream header.
    ReadTIFFStream(&Job.Bitmap, Job.Stream, count, false, Job.ParamsOnly, true, mask, Job.ParamsOnly,
                   Job.Progress, Job.Params);
    if (mask && mask->Width() > 0) {
        Job.Alpha = std::make_unique<TIEBitmap>();
        Job.Alpha->CopyFromTIEMask(mask.get());
    }
    Job.Result = count;
}

void SaveTiff(TIESaveJob& Job) { WriteTIFFStream(Job.Stream, false, &Job.Bitmap, Job.Progress, Job.Params); }

}  // namespace

extern const TIEFormatSteps kTIFFSteps = {
    .FileType = ioTIFF,
    .Load = LoadTiff,
    .Save = SaveTiff,
    .ViewDpiFile = true,
    .ViewDpiStream = true,
    .SavesAnyPixelFormat = true,
    .StreamHeader = "TIFF",
};

}  // namespace imaging
