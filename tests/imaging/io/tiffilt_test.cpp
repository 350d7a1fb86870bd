// TIFF reader and writer on files built here tag by tag, in both byte orders: the layouts, the
// places a value can sit, damaged chains and sizes, and the writer's choices, round-tripped.
#include "imaging/io/tiffilt.h"

#include "imaging/core/detail/iecpu.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/tifccitt.h"
#include "imaging/io/tiflzw.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Endian.h"
#include "tests/imaging/io/io_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>

using namespace imaging;
using test::Bytes;
using test::Px;
using test::ReadResult;

namespace {

// A TIFF built entry by entry. Values that fit 4 bytes go in the entry unless forced out; data
// blocks (strips) are placed before the directory.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : be_(bigEndian)
    {
        out_ = {std::uint8_t(be_ ? 'M' : 'I'), std::uint8_t(be_ ? 'M' : 'I')};
        U16(out_, 42);
        U32(out_, 0);
    }

    // Appends a block of data and returns its offset.
    std::uint32_t Data(const Bytes& b)
    {
        if (out_.size() & 1)
            out_.push_back(0);
        const auto at = std::uint32_t(out_.size());
        out_.insert(out_.end(), b.begin(), b.end());
        return at;
    }

    TiffBuilder& Tag(std::uint16_t tag, std::uint16_t type, std::uint32_t count, const Bytes& value,
                     bool forceOffset = false)
    {
        entries_[tag] = {type, count, value, forceOffset};
        return *this;
    }
    TiffBuilder& Short(std::uint16_t tag, std::vector<std::uint32_t> v)
    {
        Bytes b;
        for (auto x : v)
            U16(b, x);
        return Tag(tag, 3, std::uint32_t(v.size()), b);
    }
    TiffBuilder& Long(std::uint16_t tag, std::vector<std::uint32_t> v)
    {
        Bytes b;
        for (auto x : v)
            U32(b, x);
        return Tag(tag, 4, std::uint32_t(v.size()), b);
    }
    TiffBuilder& Rational(std::uint16_t tag, std::uint32_t n, std::uint32_t d)
    {
        Bytes b;
        U32(b, n);
        U32(b, d);
        return Tag(tag, 5, 1, b);
    }
    TiffBuilder& Ascii(std::uint16_t tag, const std::string& s, bool forceOffset = false)
    {
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        return Tag(tag, 2, std::uint32_t(b.size()), b, forceOffset);
    }
    // Strips of raw bytes with their offsets and counts as LONG arrays (or single values).
    TiffBuilder& Strips(const std::vector<Bytes>& strips, bool withCounts = true)
    {
        std::vector<std::uint32_t> offsets, counts;
        for (const Bytes& s : strips) {
            offsets.push_back(Data(s));
            counts.push_back(std::uint32_t(s.size()));
        }
        Long(273, offsets);
        if (withCounts)
            Long(279, counts);
        return *this;
    }

    // The directory, linked from the header (first call) or from the previous directory.
    std::uint32_t Directory(std::uint32_t next = 0)
    {
        // Values that do not fit first.
        std::map<std::uint16_t, std::uint32_t> placed;
        for (auto& [tag, e] : entries_)
            if (e.value.size() > 4 || e.forceOffset)
                placed[tag] = Data(e.value);
        if (out_.size() & 1)
            out_.push_back(0);
        const auto at = std::uint32_t(out_.size());
        U16(out_, std::uint32_t(entries_.size()));
        for (auto& [tag, e] : entries_) {
            U16(out_, tag);
            U16(out_, e.type);
            U32(out_, e.count);
            if (placed.count(tag)) {
                U32(out_, placed[tag]);
            } else {
                Bytes v = e.value;
                v.resize(4, 0);
                out_.insert(out_.end(), v.begin(), v.end());
            }
        }
        linkAt_.push_back(out_.size());
        U32(out_, next);
        Put32(lastLink_, at);
        lastLink_ = linkAt_.back();
        entries_.clear();
        return at;
    }

    void Put32(std::size_t at, std::uint32_t v)
    {
        if (be_)
            rtl::StoreBE32(out_.data() + at, v);
        else
            rtl::StoreLE32(out_.data() + at, v);
    }
    std::size_t LinkAt(std::size_t page) const { return linkAt_[page]; }
    Bytes& Bytes_() { return out_; }
    // The file, with the pending entries as its last directory.
    Bytes Build()
    {
        if (!entries_.empty())
            Directory();
        return out_;
    }

    void U16(Bytes& b, std::uint32_t v) const
    {
        if (be_) {
            b.push_back(std::uint8_t(v >> 8));
            b.push_back(std::uint8_t(v));
        } else {
            b.push_back(std::uint8_t(v));
            b.push_back(std::uint8_t(v >> 8));
        }
    }
    void U32(Bytes& b, std::uint32_t v) const
    {
        if (be_) {
            U16(b, v >> 16);
            U16(b, v & 0xFFFF);
        } else {
            U16(b, v & 0xFFFF);
            U16(b, v >> 16);
        }
    }

private:
    struct Entry {
        std::uint16_t type;
        std::uint32_t count;
        Bytes value;
        bool forceOffset;
    };
    bool be_;
    Bytes out_;
    std::map<std::uint16_t, Entry> entries_;
    std::size_t lastLink_ = 4;
    std::vector<std::size_t> linkAt_;
};

void Read(const Bytes& file, ReadResult& r, int page = 0, bool native = false, std::int64_t at = 0,
          bool orient = false, bool acceptZero = false)
{
    rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
    in.SetPosition(at);
    test::Progress progress;
    r.params.TIFFImageIndex = page;
    r.params.NativePixelFormat = native;
    r.params.TIFFOption = orient;
    ReadTIFFStream(&r.bitmap, in, r.count, acceptZero, false, true, r.mask, false, progress.record, r.params);
    r.aborted = progress.Aborted();
}

// An 8-bit grey page of w x h: pixel (x, y) = x * 16 + y.
TiffBuilder GreyPage(int w, int h, bool be = false)
{
    TiffBuilder t(be);
    Bytes pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels.push_back(std::uint8_t(x * 16 + y));
    t.Long(256, {std::uint32_t(w)}).Long(257, {std::uint32_t(h)}).Short(258, {8}).Short(262, {1});
    t.Short(277, {1}).Strips({pixels});
    return t;
}

std::uint8_t GreyAt(TIEBitmap& b, int x, int y) { return b.GetPixelRGB(x, y).r; }

// ---- reading: where values sit -----------------------------------------------------------------

TEST(TiffReader, ValuesOfFourBytesOrLessAreReadFromTheEntryForEveryType)
{
    for (bool be : {false, true}) {
        TiffBuilder t = GreyPage(3, 2, be);
        // Make "Nik" fits the entry (4 bytes with its NUL); Model "D1" too; a BYTE width.
        t.Ascii(271, "Nik").Ascii(272, "D1").Tag(256, 1, 1, {3});
        t.Tag(297, 3, 2, be ? Bytes{0, 2, 0, 5} : Bytes{2, 0, 5, 0});
        ReadResult r;
        Read(t.Build(), r);
        ASSERT_FALSE(r.aborted) << be;
        EXPECT_EQ(r.params.EXIF_Make, "Nik");
        EXPECT_EQ(r.params.EXIF_Model, "D1");
        EXPECT_EQ(r.params.TIFFPageNumber, 2);
        EXPECT_EQ(r.params.TIFFPageCount, 5);
        ASSERT_EQ(r.bitmap.GetWidth(), 3);
        EXPECT_EQ(GreyAt(r.bitmap, 2, 1), 33);
    }
}

TEST(TiffReader, BothByteOrdersReadAlike)
{
    ReadResult le, be;
    Read(GreyPage(7, 5, false).Build(), le);
    Read(GreyPage(7, 5, true).Build(), be);
    ASSERT_FALSE(le.aborted);
    ASSERT_FALSE(be.aborted);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(GreyAt(le.bitmap, x, y), x * 16 + y);
            EXPECT_EQ(GreyAt(be.bitmap, x, y), x * 16 + y);
        }
}

TEST(TiffReader, TheChainEndsAtALoopAndCountsItsPages)
{
    TiffBuilder t = GreyPage(2, 2);
    t.Directory();
    t.Long(256, {2}).Long(257, {2}).Short(258, {8}).Short(262, {1}).Long(273, {8}).Long(279, {4});
    const std::uint32_t second = t.Directory();
    const std::uint32_t first = rtl::LoadLE32(t.Bytes_().data() + 4);
    t.Put32(t.LinkAt(1), first);  // A -> B -> A
    ReadResult r;
    Read(t.Build(), r, 1);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.bitmap.GetWidth(), 2);
    // A directory pointing to itself ends after itself.
    t.Put32(t.LinkAt(1), second);
    ReadResult self;
    Read(t.Build(), self, 5);
    EXPECT_FALSE(self.aborted);
    EXPECT_EQ(self.count, 2);
    EXPECT_EQ(self.bitmap.GetWidth(), 0);  // no page 5: nothing read, no error
}

TEST(TiffReader, APageOfThreeReportsThree)
{
    TiffBuilder t;
    for (int p = 0; p < 3; ++p) {
        Bytes pixels(std::size_t(4 * (p + 1)), std::uint8_t(p * 50));
        t.Long(256, {std::uint32_t(p + 1)}).Long(257, {4}).Short(258, {8}).Short(262, {1}).Strips({pixels});
        t.Directory();
    }
    ReadResult r;
    Read(t.Build(), r, 2);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.params.ImageCount, 3);
    EXPECT_EQ(r.bitmap.GetWidth(), 3);
    EXPECT_EQ(GreyAt(r.bitmap, 2, 3), 100);
}

// ---- reading: strips ---------------------------------------------------------------------------

TEST(TiffReader, AStripWithoutACountEndsWithTheStreamAndOneTheStreamDoesNotHoldFails)
{
    Bytes pixels(40 * 10);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = std::uint8_t(i * 7);
    const Bytes top(pixels.begin(), pixels.begin() + 200), bottom(pixels.begin() + 200, pixels.end());
    // No RowsPerStrip: one strip over the image. Second strip's count missing: to the end.
    {
        TiffBuilder t;
        t.Long(256, {40}).Long(257, {10}).Short(258, {8}).Short(262, {1}).Short(278, {5});
        const std::uint32_t a = t.Data(top), b = t.Data(bottom);
        t.Long(273, {a, b}).Long(279, {200});
        t.Directory();
        ReadResult r;
        Read(t.Build(), r);
        ASSERT_FALSE(r.aborted);
        EXPECT_EQ(GreyAt(r.bitmap, 39, 9), pixels[399]);
    }
    // A count past the stream, whatever the rows need, is a strip cut short.
    {
        TiffBuilder t;
        t.Long(256, {40}).Long(257, {10}).Short(258, {8}).Short(262, {1}).Long(278, {0xFFFFFFFF});
        t.Long(273, {t.Data(pixels)}).Long(279, {0x7FFFFFF0});
        t.Directory();
        ReadResult r;
        Read(t.Build(), r);
        EXPECT_TRUE(r.aborted);
    }
    // Data that stop short, placed last and cut to 100 of their 400 bytes: with the count, and
    // without it (the rest of the stream holds too few rows). Nothing is read past the stream.
    for (const bool counted : {true, false}) {
        const auto build = [&](std::uint32_t at) {
            TiffBuilder t;
            t.Long(256, {40}).Long(257, {10}).Short(258, {8}).Short(262, {1}).Long(273, {at});
            if (counted)
                t.Long(279, {400});
            return t.Build();
        };
        Bytes file = build(0);
        file = build(std::uint32_t(file.size()));
        file.insert(file.end(), pixels.begin(), pixels.begin() + 100);
        ReadResult r;
        Read(file, r);
        EXPECT_TRUE(r.aborted) << counted;
    }
}

// A block the stream does not hold fails the page before anything is read: one that starts past
// the end, or whose count passes it, in strips, tiles and separate planes, in any coding; as do the
// values the pixels need when they lie past the end. A count of 0 is a block skipped.
TEST(TiffReader, BlocksAndValuesTheStreamDoesNotHoldFail)
{
    const Bytes rows(16 * 4, 0x80);
    struct Case {
        const char* what;
        std::function<void(TiffBuilder&)> tags;
        bool aborted;
    };
    const std::uint32_t past = 0x10000;
    const Case cases[] = {
        {"a strip past the end", [&](TiffBuilder& t) { t.Long(273, {past}).Long(279, {64}); }, true},
        {"a strip past the end without a count", [&](TiffBuilder& t) { t.Long(273, {past}); }, true},
        {"a second strip past the end",
         [&](TiffBuilder& t) {
             t.Short(278, {2}).Long(273, {t.Data(Bytes(32, 1)), past}).Long(279, {32, 32});
         },
         true},
        {"an LZW strip whose count passes the end",
         [&](TiffBuilder& t) { t.Short(259, {5}).Long(273, {t.Data(Bytes(8, 0))}).Long(279, {past}); }, true},
        {"a tile past the end",
         [&](TiffBuilder& t) { t.Short(322, {16}).Short(323, {16}).Long(324, {past}).Long(325, {256}); },
         true},
        {"a second plane past the end",
         [&](TiffBuilder& t) {
             t.Short(258, {8, 8, 8}).Short(277, {3}).Short(262, {2}).Short(284, {2});
             const std::uint32_t a = t.Data(rows);
             t.Long(273, {a, past, a}).Long(279, {64, 64, 64});
         },
         true},
        // Values whose first elements are there and read as a page could be read with: only the
        // value as a whole is missing.
        {"bits per sample past the end",
         [&](TiffBuilder& t) {
             t.Short(277, {3}).Short(262, {2}).Strips({Bytes(3 * 64, 1)});
             t.Tag(258, 3, 3 * 1000, {8, 0, 8, 0, 8, 0});  // a count whose values run past the end
         },
         true},
        {"strip byte counts past the end",
         [&](TiffBuilder& t) {
             t.Long(273, {t.Data(rows)});
             t.Tag(279, 4, 100000, {64, 0, 0, 0, 64, 0, 0, 0});
         },
         true},
        {"a colour map past the end",
         [&](TiffBuilder& t) {
             t.Short(258, {4}).Short(262, {3}).Strips({Bytes(8 * 4, 0x12)});
             t.Tag(320, 3, 3 * 256, Bytes(3 * 16 * 2, 0xFF));
         },
         true},
        {"strip offsets past the end",
         [&](TiffBuilder& t) {
             t.Strips({rows});
             t.Tag(273, 4, 100000, Bytes(8, 0));
         },
         true},
        {"a strip counted 0 is skipped",
         [&](TiffBuilder& t) {
             t.Short(278, {2}).Long(273, {t.Data(Bytes(32, 1)), past}).Long(279, {32, 0});
         },
         false},
        {"the strip held", [&](TiffBuilder& t) { t.Strips({rows}); }, false},
    };
    for (const Case& c : cases) {
        TiffBuilder t;
        t.Long(256, {16}).Long(257, {4}).Short(258, {8}).Short(262, {1});
        c.tags(t);
        ReadResult r;
        Read(t.Build(), r);
        EXPECT_EQ(r.aborted, c.aborted) << c.what;
        if (c.aborted) {
            EXPECT_EQ(r.bitmap.GetWidth(), 0) << c.what << ": refused before the pixels";
        }
    }
}

// A stream that is no block of memory: the reader copies its rows instead of reading them in place.
class CopiedStream : public rtl::TStream {
public:
    explicit CopiedStream(const Bytes& bytes) : in_(bytes.data(), std::int64_t(bytes.size())) {}
    std::int32_t Read(void* buffer, std::int32_t count) override { return in_.Read(buffer, count); }
    std::int32_t Write(const void*, std::int32_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override
    {
        return in_.Seek(offset, origin);
    }

private:
    rtl::TReadOnlyMemoryStream in_;
};

// Uncompressed RGB rows of every width near the vector loops' blocks come out as B, G, R, read in
// place from memory or copied from another stream, with and without the AVX2 loops, and in strips
// that end anywhere.
TEST(TiffReader, UncompressedRgbRowsSwapTheirChannelsAtEveryWidth)
{
    for (int w = 1; w <= 70; ++w) {
        Bytes pixels;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                pixels.insert(pixels.end(),
                              {std::uint8_t(x + 1), std::uint8_t(y * 50 + x), std::uint8_t(200 - x)});
        TiffBuilder t;
        t.Long(256, {std::uint32_t(w)}).Long(257, {3}).Short(258, {8, 8, 8}).Short(277, {3}).Short(262, {2});
        t.Short(278, {2});
        const std::size_t half = std::size_t(w) * 3 * 2;
        t.Strips({Bytes(pixels.begin(), pixels.begin() + std::ptrdiff_t(half)),
                  Bytes(pixels.begin() + std::ptrdiff_t(half), pixels.end())});
        const Bytes file = t.Build();
        for (const bool avx2 : {true, false})
            for (const bool memory : {true, false}) {
                const bool was = detail::AllowAvx2(avx2);
                TIEBitmap b;
                int count = 0;
                std::unique_ptr<TIEMask> mask;
                TIOParamsVals p(nullptr);
                test::Progress progress;
                rtl::TReadOnlyMemoryStream inMemory(file.data(), std::int64_t(file.size()));
                CopiedStream copied(file);
                ReadTIFFStream(&b, memory ? static_cast<rtl::TStream&>(inMemory) : copied, count, false, true,
                               true, mask, false, progress.record, p);
                detail::AllowAvx2(was);
                ASSERT_FALSE(progress.Aborted()) << w;
                int wrong = 0;
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < w; ++x) {
                        const std::uint8_t* e = pixels.data() + (std::size_t(y) * w + x) * 3;
                        wrong += !(b.GetPixelRGB(x, y) == (TRGB{e[2], e[1], e[0]}));
                    }
                EXPECT_EQ(wrong, 0) << "width " << w << (avx2 ? "" : ", no AVX2")
                                    << (memory ? "" : ", copied");
            }
    }
}

TEST(TiffReader, PackBitsRunsAreBoundedByTheRowAndTheData)
{
    // Row 1: a repeat of 6 that runs over the 4-byte row into the next; then a literal cut short.
    const Bytes data{0xFB, 9, 1, 1, 2};
    TiffBuilder t;
    t.Long(256, {4}).Long(257, {3}).Short(258, {8}).Short(262, {1}).Short(259, {32773}).Strips({data});
    t.Directory();
    ReadResult r;
    Read(t.Build(), r);
    ASSERT_FALSE(r.aborted);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(GreyAt(r.bitmap, x, 0), 9);
    EXPECT_EQ(GreyAt(r.bitmap, 0, 1), 9);
    EXPECT_EQ(GreyAt(r.bitmap, 1, 1), 9);
    EXPECT_EQ(GreyAt(r.bitmap, 2, 1), 1);
    EXPECT_EQ(GreyAt(r.bitmap, 3, 1), 2);
    EXPECT_EQ(GreyAt(r.bitmap, 0, 2), 0);
}

// ---- reading: layouts --------------------------------------------------------------------------

// A bilevel page coded with our CCITT encoders (rows 1 = black), photometric as asked.
Bytes BilevelPage(int compression, int photometric, const std::vector<Bytes>& blackRows, int width,
                  bool photometricTag = true)
{
    rtl::TMemoryStream coded;
    TCCITTEncodeState state;
    for (const Bytes& row : blackRows) {
        if (compression == 2)
            CCITTEncodeHuffmanRow(row.data(), width, coded);
        else if (compression == 3)
            CCITTEncodeG3Row(row.data(), width, coded, state);
        else
            CCITTEncodeG4Row(row.data(), width, coded, state);
    }
    if (compression == 3)
        CCITTEncodeG3Row(nullptr, width, coded, state);
    else if (compression == 4)
        CCITTEncodeG4Row(nullptr, width, coded, state);
    TiffBuilder t;
    t.Long(256, {std::uint32_t(width)}).Long(257, {std::uint32_t(blackRows.size())}).Short(258, {1});
    t.Short(259, {std::uint32_t(compression)}).Strips({coded.Bytes()});
    if (photometricTag)
        t.Short(262, {std::uint32_t(photometric)});
    if (compression == 3)
        t.Long(292, {1});
    t.Directory();
    return t.Build();
}

TEST(TiffReader, BilevelPagesInvertByPhotometricForEveryCoding)
{
    const int w = 21;
    std::vector<Bytes> rows(4, Bytes(3, 0));
    rows[0][0] = 0xF0;  // pixels 0-3 black in the coding's terms
    rows[2][2] = 0x08;  // pixel 20
    for (int compression : {2, 3, 4})
        for (int photometric : {0, 1}) {
            ReadResult r;
            Read(BilevelPage(compression, photometric, rows, w), r);
            ASSERT_FALSE(r.aborted) << compression;
            ASSERT_EQ(r.bitmap.GetPixelFormat(), ie1g);
            // The coding's "black" runs are the photometric's zero: black for WhiteIsZero... and
            // white for BlackIsZero.
            const std::uint32_t coded = photometric == 0 ? 0 : 0xFFFFFF;
            const std::uint32_t other = coded ^ 0xFFFFFF;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool set = (rows[std::size_t(y)][std::size_t(x / 8)] >> (7 - x % 8)) & 1;
                    EXPECT_EQ(Px(r.bitmap, x, y), set ? coded : other) << compression << "/" << photometric;
                }
        }
    // Without a photometric tag a bilevel page is white-is-zero.
    ReadResult none;
    Read(BilevelPage(4, 0, rows, w, false), none);
    EXPECT_EQ(Px(none.bitmap, 0, 0), 0u);
    EXPECT_EQ(Px(none.bitmap, 5, 0), 0xFFFFFFu);
}

// The photometric reported is the one the page is read with: a bilevel page coded with none of the
// codings or a CCITT one whose photometric is RGB, given or (the default) absent, is
// white-is-zero; other codings and other photometrics report what the page says.
TEST(TiffReader, ABilevelPageWithoutAPhotometricReportsWhiteIsZero)
{
    const Bytes raw(4, 0x5A);
    struct Case {
        int compression;
        int photometric;  // -1: no tag
        int reported;
    };
    const Case cases[] = {{1, -1, 0}, {2, -1, 0}, {3, -1, 0}, {4, -1, 0}, {1, 2, 0},      {4, 2, 0},
                          {1, 0, 0},  {1, 1, 1},  {4, 1, 1},  {5, -1, 2}, {32773, -1, 2}, {5, 2, 2}};
    for (const Case& c : cases) {
        ReadResult r;
        if (c.compression >= 2 && c.compression <= 4) {
            Read(BilevelPage(c.compression, std::max(c.photometric, 0), {Bytes(2, 0xF0), Bytes(2, 0)}, 16,
                             c.photometric >= 0),
                 r);
        } else {
            TiffBuilder t;
            t.Long(256, {16}).Long(257, {2}).Short(258, {1}).Short(259, {std::uint32_t(c.compression)});
            if (c.photometric >= 0)
                t.Short(262, {std::uint32_t(c.photometric)});
            // Uncompressed rows; one PackBits literal run; LZW's clear code, the bytes, the end.
            Bytes data = raw;
            if (c.compression == 32773)
                data = {3, 0x5A, 0x5A, 0x5A, 0x5A};
            if (c.compression == 5) {
                rtl::TMemoryStream coded;
                TIFFLZWEncodeStatePtr state;
                DefTIFFLZWCompress(raw.data(), std::int64_t(raw.size()), coded, state);
                DefTIFFLZWCompress(nullptr, 0, coded, state);
                data = coded.Bytes();
            }
            t.Strips({data});
            Read(t.Build(), r);
        }
        ASSERT_FALSE(r.aborted) << c.compression << "/" << c.photometric;
        EXPECT_EQ(r.params.TIFFPhotometric, c.reported) << c.compression << "/" << c.photometric;
    }
}

TEST(TiffReader, LayoutsItCannotReadSetTheAbortFlag)
{
    const auto page = [](std::uint32_t bits, std::uint32_t samples, std::uint32_t photometric,
                         std::uint32_t compression = 1) {
        TiffBuilder t;
        t.Long(256, {4}).Long(257, {2}).Short(258, std::vector<std::uint32_t>(samples, bits));
        t.Short(277, {samples}).Short(262, {photometric}).Short(259, {compression});
        t.Strips({Bytes(64, 0x55)});
        return t;
    };
    struct Case {
        const char* what;
        Bytes file;
    };
    std::vector<Case> cases = {
        {"grey with alpha", page(8, 2, 1).Short(338, {2}).Build()},
        {"6-bit grey", page(6, 1, 1).Build()},
        {"12-bit grey", page(12, 1, 0).Build()},
        {"float", page(32, 1, 1).Short(339, {3}).Build()},
        {"deflate", page(8, 1, 1, 8).Build()},
        {"old deflate", page(8, 1, 1, 32946).Build()},
        {"planar 3", page(8, 3, 2).Short(284, {3}).Build()},
        {"floating predictor", page(8, 1, 1, 5).Short(317, {3}).Build()},
        {"YCbCr without JPEG", page(8, 3, 6).Build()},
        {"bits per sample 0", page(0, 1, 3).Build()},
        {"bits per sample 33", page(33, 1, 3).Build()},
        {"bits per sample 255", page(255, 3, 2).Build()},
        {"mixed bits per sample", page(8, 3, 2).Short(258, {8, 8, 4}).Build()},
        {"65536 samples", page(8, 1, 2).Short(277, {65535}).Build()},
        {"the 64-bit variant",
         [] {
             Bytes b = GreyPage(2, 2).Build();
             b[2] = 43;
             return b;
         }()},
        {"no strips",
         [] {
             TiffBuilder t;
             t.Long(256, {4}).Long(257, {2}).Short(258, {8}).Short(262, {1});
             return t.Build();
         }()},
    };
    for (Case& c : cases) {
        ReadResult r;
        Read(c.file, r);
        EXPECT_TRUE(r.aborted) << c.what;
    }
}

// Fuzz finding: StripOffsets with a count of 0 is a value of no bytes; the page has no strips.
TEST(TiffReader, AValueOfNoBytesIsNoValue)
{
    rtl::TMemoryStream m;
    m.LoadFromFile(std::string(VA_TEST_DATA_DIR) + "/imaging/io/tiff/bad/value_of_no_bytes.tif");
    ReadResult r;
    Read(m.Bytes(), r);
    EXPECT_TRUE(r.aborted);
    TiffBuilder t = GreyPage(2, 2);
    t.Tag(273, 4, 0, {});
    ReadResult built;
    Read(t.Build(), built);
    EXPECT_TRUE(built.aborted);
}

// Fuzz finding: separate planes with fewer strips than the page needs split the strips they have
// into equal runs, one per plane, and never look past them.
TEST(TiffReader, SeparatePlanesShortOfStripsReadWhatTheyHave)
{
    rtl::TMemoryStream m;
    m.LoadFromFile(std::string(VA_TEST_DATA_DIR) + "/imaging/io/tiff/bad/planes_short_of_offsets.tif");
    ReadResult found;
    Read(m.Bytes(), found);
    // 3 planes of 4 one-row strips, with 6 strips: rows 0 and 1 of each plane.
    TiffBuilder t;
    t.Long(256, {2}).Long(257, {4}).Short(258, {8, 8, 8}).Short(277, {3}).Short(262, {2}).Short(284, {2});
    t.Short(278, {1});
    std::vector<Bytes> strips;
    for (int plane = 0; plane < 3; ++plane)
        for (int row = 0; row < 2; ++row)
            strips.push_back(Bytes(2, std::uint8_t(plane * 100 + row * 10 + 1)));
    t.Strips(strips);
    ReadResult r;
    Read(t.Build(), r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(Px(r.bitmap, 1, 1), 0x0B6FD3u);  // red 11, green 111, blue 211
    EXPECT_EQ(Px(r.bitmap, 0, 3), 0u);
}

// ---- reading: parameters -----------------------------------------------------------------------

TEST(TiffReader, ResolutionAndPositionInCentimetresBecomeInches)
{
    TiffBuilder t = GreyPage(2, 2);
    t.Short(296, {3}).Rational(282, 11811, 100).Rational(283, 300, 1);
    t.Rational(286, 254, 10).Rational(287, 508, 100);  // 25.4 cm and 5.08 cm
    ReadResult r;
    Read(t.Build(), r);
    EXPECT_EQ(r.params.DpiX, 299);  // 118.11 x 2.54 = 299.9994
    EXPECT_EQ(r.params.DpiY, 762);
    EXPECT_EQ(r.params.TIFFXPos, 10);
    EXPECT_EQ(r.params.TIFFYPos, 2);
    TiffBuilder inch = GreyPage(2, 2);
    inch.Short(296, {2}).Rational(282, 300, 1).Rational(286, 7, 2);
    ReadResult i;
    Read(inch.Build(), i);
    EXPECT_EQ(i.params.DpiX, 300);
    EXPECT_EQ(i.params.DpiY, IEDefaultDpiY);  // absent: the library's
    EXPECT_EQ(i.params.TIFFXPos, 3);
}

TEST(TiffReader, SixteenBitGreyTakesItsHighByteButOneSoftwaresTwelveBits)
{
    for (bool molli : {false, true}) {
        TiffBuilder t;
        Bytes pixels;
        for (std::uint32_t v : {0x0FF0u, 0x1234u, 0xFFFFu}) {
            pixels.push_back(std::uint8_t(v));
            pixels.push_back(std::uint8_t(v >> 8));
        }
        t.Long(256, {3}).Long(257, {1}).Short(258, {16}).Short(262, {1}).Strips({pixels});
        if (molli)
            t.Ascii(305, "Look@Molli v1.1 build 7");
        ReadResult r;
        Read(t.Build(), r);
        ASSERT_FALSE(r.aborted);
        EXPECT_EQ(GreyAt(r.bitmap, 0, 0), molli ? 0xFF : 0x0F);
        EXPECT_EQ(GreyAt(r.bitmap, 1, 0), molli ? 0xFF : 0x12);
        ReadResult native;
        Read(t.Build(), native, 0, true);
        EXPECT_EQ(native.bitmap.GetPixelFormat(), ie16g);
    }
}

TEST(TiffReader, OrientationTurnsThePageWhenAsked)
{
    // 3 x 2 page: pixel (x, y) = x * 16 + y. Each orientation's displayed pixel (x, y) comes from
    // the stored one given here.
    const auto stored = [](int orientation, int x, int y) {
        const int w = 3, h = 2;
        switch (orientation) {
        case 2: return std::pair{w - 1 - x, y};
        case 3: return std::pair{w - 1 - x, h - 1 - y};
        case 4: return std::pair{x, h - 1 - y};
        case 5: return std::pair{y, x};                  // transpose
        case 6: return std::pair{y, h - 1 - x};          // a quarter turn clockwise
        case 7: return std::pair{w - 1 - y, h - 1 - x};  // anti-transpose
        case 8: return std::pair{w - 1 - y, x};          // a quarter turn anticlockwise
        default: return std::pair{x, y};
        }
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        TiffBuilder t = GreyPage(3, 2);
        t.Short(274, {std::uint32_t(orientation)});
        ReadResult r;
        Read(t.Build(), r, 0, false, 0, true);
        ASSERT_FALSE(r.aborted);
        const int w = orientation >= 5 ? 2 : 3, h = orientation >= 5 ? 3 : 2;
        ASSERT_EQ(r.bitmap.GetWidth(), w) << orientation;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const auto [sx, sy] = stored(orientation, x, y);
                EXPECT_EQ(GreyAt(r.bitmap, x, y), sx * 16 + sy) << orientation << ": " << x << "," << y;
            }
        EXPECT_EQ(r.params.TIFFOrientation, orientation);
        ReadResult plain;
        Read(t.Build(), plain);
        EXPECT_EQ(plain.bitmap.GetWidth(), 3);  // not asked: as stored
    }
}

TEST(TiffReader, SizesBeyondTheLimitAbortBeforeAnyAllocation)
{
    for (const auto& [w, h, samples] :
         {std::tuple{0xFFFFFFFFu, 0xFFFFFFFFu, 3u}, {0x7FFFFFFFu, 2u, 16u}, {65536u, 65536u, 1u}}) {
        TiffBuilder t;
        t.Long(256, {w})
            .Long(257, {h})
            .Short(258, std::vector<std::uint32_t>(samples, 8))
            .Short(277, {samples});
        t.Short(262, {2}).Strips({Bytes(16, 1)});
        ReadResult r;
        Read(t.Build(), r);
        EXPECT_TRUE(r.aborted) << w;
        EXPECT_EQ(r.bitmap.GetWidth(), 0);
    }
    TiffBuilder tile = GreyPage(4, 4);
    tile.Long(322, {0x40000000}).Long(323, {16});
    ReadResult r;
    Read(tile.Build(), r);
    EXPECT_TRUE(r.aborted);
}

TEST(TiffReader, ZeroSizeIsRefusedUnlessAccepted)
{
    TiffBuilder t;
    t.Long(256, {0}).Long(257, {5}).Short(258, {8}).Short(262, {1}).Strips({Bytes(4, 1)});
    const Bytes file = t.Build();
    ReadResult refused, accepted;
    Read(file, refused);
    Read(file, accepted, 0, false, 0, false, true);
    EXPECT_TRUE(refused.aborted);
    EXPECT_FALSE(accepted.aborted);
}

// ---- writing -----------------------------------------------------------------------------------

struct Written {
    Bytes file;
    int pages = 0;
    bool aborted = false;
};

Written Write(TIEBitmap& b, TIOParamsVals& p, const Bytes& prefix = {}, bool append = false)
{
    rtl::TMemoryStream out;
    if (!prefix.empty())
        out.WriteBuffer(prefix.data(), std::int32_t(prefix.size()));
    if (append)
        out.SetPosition(0);
    test::Progress progress;
    Written w;
    w.pages = WriteTIFFStream(out, append, &b, progress.record, p);
    w.aborted = progress.Aborted();
    w.file = out.Bytes();
    return w;
}

void Pattern(TIEBitmap& b, int w, int h)
{
    b.Allocate(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel24(x, y, TRGB{std::uint8_t(x * 5), std::uint8_t(y * 3), std::uint8_t(x ^ y)});
}

// Entry of a tag in the first directory of a little-endian file written here.
struct Entry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint32_t value = 0;  // raw value field
    bool found = false;
};

Entry Find(const Bytes& f, std::uint16_t tag, std::size_t base = 0)
{
    const std::uint32_t ifd = rtl::LoadLE32(f.data() + base + 4);
    const std::uint16_t n = rtl::LoadLE16(f.data() + base + ifd);
    for (std::uint16_t i = 0; i < n; ++i) {
        const std::uint8_t* e = f.data() + base + ifd + 2 + 12 * i;
        if (rtl::LoadLE16(e) == tag)
            return {rtl::LoadLE16(e + 2), rtl::LoadLE32(e + 4), rtl::LoadLE32(e + 8), true};
    }
    return {};
}

TEST(TiffWriter, ValuesOfFourBytesOrLessSitInTheirEntry)
{
    TIEBitmap b;
    Pattern(b, 5, 4);
    TIOParamsVals p(nullptr);
    p.TIFFDocumentName = "D";
    p.TIFFPageName = "abc";
    const Written w = Write(b, p);
    ASSERT_FALSE(w.aborted);
    const Entry doc = Find(w.file, 269);
    ASSERT_TRUE(doc.found);
    EXPECT_EQ(doc.count, 2u);
    EXPECT_EQ(doc.value, std::uint32_t('D'));
    EXPECT_EQ(Find(w.file, 285).value, 0x00636261u);
    const Entry pageNumber = Find(w.file, 297);
    EXPECT_EQ(pageNumber.count, 2u);
    EXPECT_EQ(pageNumber.value, 0u);
    ReadResult r;
    Read(w.file, r);
    EXPECT_EQ(r.params.TIFFDocumentName, "D");
    EXPECT_EQ(r.params.TIFFPageName, "abc");
}

TEST(TiffWriter, APageWrittenAfterOtherBytesReadsBackFromItsHeader)
{
    TIEBitmap b;
    Pattern(b, 9, 7);
    TIOParamsVals p(nullptr);
    const Bytes junk(37, 0xAB);
    const Written w = Write(b, p, junk);
    ASSERT_FALSE(w.aborted);
    ReadResult r;
    Read(w.file, r, 0, false, 37);
    ASSERT_FALSE(r.aborted);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(Px(r.bitmap, x, y), Px(b, x, y));
    // The bytes from the header on are a file of their own.
    ReadResult alone;
    Read(Bytes(w.file.begin() + 37, w.file.end()), alone);
    EXPECT_FALSE(alone.aborted);
    EXPECT_EQ(alone.bitmap.GetWidth(), 9);
}

TEST(TiffWriter, CcittOnAColourImageIsWrittenUncompressedAndConsistent)
{
    TIEBitmap b;
    Pattern(b, 6, 3);
    for (int code : {1, 2, 3, 4}) {
        TIOParamsVals p(nullptr);
        p.TIFFCompression = std::uint8_t(code);
        const Written w = Write(b, p);
        ASSERT_FALSE(w.aborted);
        EXPECT_EQ(Find(w.file, 259).value, 1u) << code;
        EXPECT_EQ(Find(w.file, 262).value, 2u) << code;
        EXPECT_EQ(p.TIFFCompression, 0) << code;
        ReadResult r;
        Read(w.file, r);
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(Px(r.bitmap, x, 2), Px(b, x, 2));
    }
    // A bilevel one is coded, white-is-zero, fill order 1.
    TIEBitmap bw;
    bw.Allocate(20, 3, ie1g);
    bw.ScanLine(1)[1] = 0x0F;
    for (int code : {1, 2, 3, 4}) {
        TIOParamsVals p(nullptr);
        p.BitsPerSample = 1;
        p.SamplesPerPixel = 1;
        p.TIFFCompression = std::uint8_t(code);
        const Written w = Write(bw, p);
        EXPECT_EQ(Find(w.file, 262).value, 0u);
        EXPECT_EQ(Find(w.file, 266).value, 1u);
        ReadResult r;
        Read(w.file, r);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(Px(r.bitmap, x, y), Px(bw, x, y)) << code;
    }
}

// Group 3 and Group 4 pages carry both option tags: T4Options the 2-D flag (0 for Group 4),
// T6Options 0. Other codings, and pages the CCITT codings could not take, carry neither.
TEST(TiffWriter, GroupThreeAndFourPagesCarryBothOptionTags)
{
    TIEBitmap bw;
    bw.Allocate(20, 3, ie1g);
    TIEBitmap colour;
    Pattern(colour, 6, 3);
    struct Case {
        int code;
        bool bilevel;
        int t4, t6;  // -1: absent
    };
    for (const Case c : {Case{2, true, 0, 0},
                         {3, true, 1, 0},
                         {4, true, 0, 0},
                         {1, true, -1, -1},
                         {0, true, -1, -1},
                         {5, true, -1, -1},
                         {4, false, -1, -1},
                         {3, false, -1, -1}}) {
        TIOParamsVals p(nullptr);
        p.BitsPerSample = c.bilevel ? 1 : 8;
        p.SamplesPerPixel = c.bilevel ? 1 : 3;
        p.TIFFCompression = std::uint8_t(c.code);
        const Written w = Write(c.bilevel ? bw : colour, p);
        ASSERT_FALSE(w.aborted);
        const Entry t4 = Find(w.file, 292), t6 = Find(w.file, 293);
        EXPECT_EQ(t4.found, c.t4 >= 0) << c.code << (c.bilevel ? "" : " colour");
        EXPECT_EQ(t6.found, c.t6 >= 0) << c.code << (c.bilevel ? "" : " colour");
        if (t4.found) {
            EXPECT_EQ(t4.value, std::uint32_t(c.t4)) << c.code;
        }
        if (t6.found) {
            EXPECT_EQ(t6.value, std::uint32_t(c.t6)) << c.code;
        }
    }
}

TEST(TiffWriter, GreyAndPaletteAtOtherDepthsAreScaledNotCut)
{
    TIEBitmap grey;
    grey.Allocate(4, 1, ie8g);
    const std::uint8_t values[4] = {0, 0x55, 0xAA, 0xFF};
    std::memcpy(grey.ScanLine(0), values, 4);
    for (int bits : {2, 4, 8, 16}) {
        TIOParamsVals p(nullptr);
        p.BitsPerSample = bits;
        p.SamplesPerPixel = 1;
        const Written w = Write(grey, p);
        ASSERT_FALSE(w.aborted) << bits;
        EXPECT_EQ(Find(w.file, 262).value, 1u);
        EXPECT_EQ(Find(w.file, 258).value, std::uint32_t(bits));
        if (bits == 2) {
            // 0, 1, 2, 3 packed: 00 01 10 11.
            EXPECT_EQ(w.file[Find(w.file, 273).value], 0x1B);
        }
        ReadResult r;
        Read(w.file, r);
        ASSERT_FALSE(r.aborted) << bits;
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(GreyAt(r.bitmap, x, 0), values[x]) << bits;
    }
    TIEBitmap deep;
    deep.Allocate(2, 1, ie16g);
    const std::uint16_t v16[2] = {0x12FF, 0xFE01};
    std::memcpy(deep.ScanLine(0), v16, 4);
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    const Written w = Write(deep, p);
    const std::uint32_t at = Find(w.file, 273).value;
    EXPECT_EQ(w.file[at], 0x12);  // the high bytes, not the low ones
    EXPECT_EQ(w.file[at + 1], 0xFE);
    TIEBitmap pal;
    pal.Allocate(3, 1, ie8p);
    pal.SetPaletteColor(200, TRGB{1, 2, 3});
    pal.SetPaletteColor(7, TRGB{9, 8, 7});
    pal.ScanLine(0)[0] = 200;
    pal.ScanLine(0)[1] = 7;
    TIOParamsVals q(nullptr);
    q.BitsPerSample = 4;
    q.SamplesPerPixel = 1;
    const Written wp = Write(pal, q);
    ReadResult r;
    Read(wp.file, r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(Px(r.bitmap, 0, 0), 0x030201u);
    EXPECT_EQ(Px(r.bitmap, 1, 0), 0x070809u);
}

TEST(TiffWriter, IptcIsPaddedToWholeLongs)
{
    TIEBitmap b;
    Pattern(b, 2, 2);
    TIOParamsVals p(nullptr);
    p.IPTCInfoList.AddBufferItem(2, 120, "caption", 7);
    const Written w = Write(b, p);
    const Entry e = Find(w.file, 33723);
    ASSERT_TRUE(e.found);
    EXPECT_EQ(e.type, 4u);
    const std::size_t raw = p.IPTCInfoList.SaveToStandardBuffer(false).size();
    EXPECT_EQ(e.count, (raw + 3) / 4);
    ReadResult r;
    Read(w.file, r);
    int captions = 0;
    for (int i = 0; i < r.params.IPTCInfoList.Count(); ++i)
        if (r.params.IPTCInfoList.Record(i).DataSet == 120) {
            ++captions;
            EXPECT_EQ(r.params.IPTCInfoList.Record(i).Data.size(), 7u);
        }
    EXPECT_EQ(captions, 1);
}

TEST(TiffWriter, SignedExifValuesAreSignedRationalsWithADenominatorAboveZero)
{
    TIEBitmap b;
    Pattern(b, 2, 2);
    TIOParamsVals p(nullptr);
    p.HasEXIF = true;
    p.EXIF_ExposureBiasValue = -1.5;
    p.EXIF_BrightnessValue = -3e12;
    p.EXIF_ShutterSpeedValue = 5e9;
    p.EXIF_FNumber = -2;  // an unsigned kind holds no negative value
    const Written w = Write(b, p);
    ASSERT_FALSE(w.aborted);
    ReadResult r;
    Read(w.file, r);
    ASSERT_TRUE(r.params.HasEXIF);
    EXPECT_DOUBLE_EQ(r.params.EXIF_ExposureBiasValue, -1.5);
    EXPECT_DOUBLE_EQ(r.params.EXIF_BrightnessValue, -2147483648.0);
    EXPECT_DOUBLE_EQ(r.params.EXIF_ShutterSpeedValue, 2147483647.0);
    EXPECT_DOUBLE_EQ(r.params.EXIF_FNumber, 0);
}

TEST(TiffWriter, PackBitsKeepsShortRunsLiteral)
{
    TIEBitmap b;
    b.Allocate(10, 1, ie8g);
    const std::uint8_t row[10] = {5, 5, 5, 1, 2, 7, 7, 7, 7, 3};
    std::memcpy(b.ScanLine(0), row, 10);
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.TIFFCompression = 8;
    const Written w = Write(b, p);
    const std::uint32_t at = Find(w.file, 273).value;
    const Bytes want{4, 5, 5, 5, 1, 2, 0xFD, 7, 0, 3};
    EXPECT_EQ(Bytes(w.file.begin() + at, w.file.begin() + at + 10), want);
    EXPECT_EQ(Find(w.file, 279).value, 10u);
}

TEST(TiffWriter, PredictorOnlyForRgbAndStripsOfHalfAMegabyte)
{
    TIEBitmap grey;
    grey.Allocate(8, 8, ie8g);
    TIOParamsVals g(nullptr);
    g.BitsPerSample = 8;
    g.SamplesPerPixel = 1;
    g.TIFFCompression = 5;
    EXPECT_FALSE(Find(Write(grey, g).file, 317).found);
    TIEBitmap big;
    big.Allocate(2000, 1000, ie24RGB);
    TIOParamsVals p(nullptr);
    p.TIFFCompression = 5;
    const Written w = Write(big, p);
    EXPECT_EQ(Find(w.file, 317).value, 2u);
    EXPECT_EQ(Find(w.file, 278).value, 90u);
    EXPECT_EQ(Find(w.file, 273).count, 12u);
    ReadResult r;
    Read(w.file, r);
    EXPECT_FALSE(r.aborted);
    EXPECT_EQ(r.bitmap.GetHeight(), 1000);
}

TEST(TiffWriter, PagesAreInsertedWhereAskedAndLoopsRefused)
{
    TIEBitmap a, b, c;
    a.Allocate(1, 1, ie24RGB);
    b.Allocate(2, 1, ie24RGB);
    c.Allocate(3, 1, ie24RGB);
    TIOParamsVals p(nullptr);
    Written w = Write(a, p);
    p.TIFFImageIndex = 5;  // past the end: last
    w = Write(b, p, w.file, true);
    EXPECT_EQ(w.pages, 2);
    p.TIFFImageIndex = 0;  // first
    w = Write(c, p, w.file, true);
    EXPECT_EQ(w.pages, 3);
    for (int page = 0; page < 3; ++page) {
        ReadResult r;
        Read(w.file, r, page);
        EXPECT_EQ(r.count, 3);
        EXPECT_EQ(r.bitmap.GetWidth(), page == 0 ? 3 : page == 1 ? 1 : 2) << page;
    }
    // A chain that loops cannot be appended to.
    Bytes looped = w.file;
    const std::uint32_t first = rtl::LoadLE32(looped.data() + 4);
    const std::uint32_t n = rtl::LoadLE16(looped.data() + first);
    rtl::StoreLE32(looped.data() + first + 2 + 12 * n, first);
    const Written bad = Write(a, p, looped, true);
    EXPECT_TRUE(bad.aborted);
    EXPECT_EQ(bad.pages, 0);
    // Nor can a big-endian file.
    const Written be = Write(a, p, GreyPage(2, 2, true).Build(), true);
    EXPECT_TRUE(be.aborted);
}

TEST(TiffWriter, AShortWriteAborts)
{
    TIEBitmap b;
    Pattern(b, 300, 300);
    TIOParamsVals p(nullptr);
    test::FullStream full(5000);
    test::Progress progress;
    EXPECT_EQ(WriteTIFFStream(full, false, &b, progress.record, p), 0);
    EXPECT_TRUE(progress.Aborted());
    TIEBitmap empty;
    test::Progress second;
    rtl::TMemoryStream m;
    EXPECT_EQ(WriteTIFFStream(m, false, &empty, second.record, p), 0);
    EXPECT_TRUE(second.Aborted());
}

TEST(TiffWriter, EveryLayoutRoundTrips)
{
    TIEBitmap b;
    Pattern(b, 33, 17);
    struct Case {
        int bits, samples, photometric, compression;
    };
    for (const Case& c : {Case{8, 3, 2, 0},
                          {8, 3, 2, 5},
                          {8, 3, 2, 8},
                          {8, 4, 5, 0},
                          {8, 3, 7, 5},
                          {8, 1, 3, 5},
                          {4, 1, 3, 8},
                          {16, 3, 2, 0}}) {
        TIOParamsVals p(nullptr);
        p.BitsPerSample = c.bits;
        p.SamplesPerPixel = c.samples;
        p.TIFFPhotometric = std::uint8_t(c.photometric);
        p.TIFFCompression = std::uint8_t(c.compression);
        const Written w = Write(b, p);
        ASSERT_FALSE(w.aborted);
        ReadResult r;
        Read(w.file, r);
        ASSERT_FALSE(r.aborted) << c.photometric << "/" << c.compression;
        int worst = 0;
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 33; ++x) {
                const TRGB a = b.GetPixelRGB(x, y), o = r.bitmap.GetPixelRGB(x, y);
                worst = std::max({worst, std::abs(a.r - o.r), std::abs(a.g - o.g), std::abs(a.b - o.b)});
            }
        // Exact but for CMYK's integer steps, L*a*b*'s whole units and the palettes' quantizing.
        const int allowed = c.photometric == 5 ? 2 : c.photometric == 7 ? 8 : c.photometric == 3 ? 64 : 0;
        EXPECT_LE(worst, allowed) << c.photometric << "/" << c.compression;
    }
}

// ---- the I/O component -------------------------------------------------------------------------

TEST(TiffSteps, StreamHeadersAroundPagesInOneStream)
{
    TVodirAdIO io(nullptr);
    io.StreamHeaders = true;
    rtl::TMemoryStream m;
    for (int i = 1; i <= 3; ++i) {
        Pattern(*io.IEBitmap(), 10 * i, 5);
        io.SaveToStream(m, ioTIFF);
        ASSERT_FALSE(io.AbortFlag);
    }
    m.SetPosition(0);
    TVodirAdIO back(nullptr);
    back.StreamHeaders = true;
    for (int i = 1; i <= 3; ++i) {
        back.LoadFromStreamType(m, ioTIFF);
        ASSERT_FALSE(back.AbortFlag) << i;
        EXPECT_EQ(back.IEBitmap()->GetWidth(), 10 * i);
    }
    EXPECT_EQ(m.Position(), m.Size());
}

// Through the component a load that yields no picture failed: the abort flag is set and the
// image the user had stays. A read of the parameters alone still tells the pages there are.
TEST(TiffSteps, ALoadWithoutAPictureFailsAndKeepsTheImage)
{
    const Bytes page = GreyPage(5, 4).Build();
    Bytes cutDirectory = page;
    cutDirectory.resize(page.size() - 10);
    struct Case {
        const char* what;
        Bytes file;
        int index;
        int pages;  // that a read of the parameters reports
    };
    const Case cases[] = {
        {"a first directory past the end", {'I', 'I', 42, 0, 0x40, 0, 0, 0, 0}, 0, 0},
        {"a first offset of 0", {'M', 'M', 0, 42, 0, 0, 0, 0, 0, 0}, 0, 0},
        {"page 2 of one", page, 2, 1},
        {"a directory cut in its entries", cutDirectory, 0, 1},
    };
    for (const Case& c : cases) {
        for (const bool detect : {true, false}) {
            TIEBitmap target;
            Pattern(target, 7, 3);
            TVodirAdIO io(nullptr);
            io.SetAttachedTIEBitmap(&target);
            io.Params().TIFFImageIndex = c.index;
            rtl::TReadOnlyMemoryStream in(c.file.data(), std::int64_t(c.file.size()));
            if (detect)
                io.LoadFromStream(in);
            else
                io.LoadFromStreamType(in, ioTIFF);
            EXPECT_TRUE(io.AbortFlag) << c.what << (detect ? ", detected" : "");
            ASSERT_EQ(target.GetWidth(), 7) << c.what;
            EXPECT_EQ(target.GetPixel24(6, 2), (TRGB{30, 6, 4})) << c.what;
        }
        TVodirAdIO io(nullptr);
        io.Params().TIFFImageIndex = c.index;
        rtl::TReadOnlyMemoryStream in(c.file.data(), std::int64_t(c.file.size()));
        io.ReadParamsFromStream(in, ioTIFF);
        EXPECT_EQ(io.Params().ImageCount, c.pages) << c.what;
    }
    // The page that is there loads.
    TIEBitmap target;
    TVodirAdIO io(nullptr);
    io.SetAttachedTIEBitmap(&target);
    rtl::TReadOnlyMemoryStream in(page.data(), std::int64_t(page.size()));
    io.LoadFromStream(in);
    EXPECT_FALSE(io.AbortFlag);
    EXPECT_EQ(target.GetWidth(), 5);
}

TEST(TiffWriter, JpegPagesRoundTripInEachColourSpace)
{
    TIEBitmap b;
    b.Allocate(40, 24, ie24RGB);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x)
            b.SetPixel24(x, y, TRGB{std::uint8_t(x * 6), std::uint8_t(200 - y * 5), 90});
    // 0 RGB, 1 grey, 2 YCbCr, 3 CMYK, 4 RGB.
    const int photometric[5] = {2, 1, 6, 5, 2};
    for (int space = 0; space < 5; ++space) {
        TIOParamsVals p(nullptr);
        p.TIFFCompression = 7;
        p.TIFFJPEGColorSpace = std::uint8_t(space);
        const Written w = Write(b, p);
        ASSERT_FALSE(w.aborted) << space;
        EXPECT_EQ(Find(w.file, 259).value, 7u);
        EXPECT_EQ(Find(w.file, 262).value, std::uint32_t(photometric[space])) << space;
        EXPECT_EQ(Find(w.file, 278).value, 24u);
        ReadResult r;
        Read(w.file, r);
        ASSERT_FALSE(r.aborted) << space;
        EXPECT_EQ(r.params.TIFFCompression, 7);
        int worst = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) {
                const TRGB a = b.GetPixelRGB(x, y), o = r.bitmap.GetPixelRGB(x, y);
                if (space == 1) {
                    const int grey = int(0.299 * a.r + 0.587 * a.g + 0.114 * a.b + 0.5);
                    worst = std::max({worst, std::abs(o.r - grey), std::abs(o.g - grey)});
                } else {
                    worst = std::max({worst, std::abs(a.r - o.r), std::abs(a.g - o.g), std::abs(a.b - o.b)});
                }
            }
        EXPECT_LE(worst, 8) << space;
    }
}

TEST(TiffReader, OldStyleJpegIsReadFromItsOneStream)
{
    TIEBitmap b;
    b.Allocate(16, 8, ie24RGB);
    b.Fill(0x4080C0);
    TIOParamsVals p(nullptr);
    p.TIFFCompression = 7;
    const Written page = Write(b, p);
    const Entry strip = Find(page.file, 273), length = Find(page.file, 279);
    const Bytes jpeg(page.file.begin() + strip.value, page.file.begin() + strip.value + length.value);
    // A page of compression 6 whose stream sits at JPEGInterchangeFormat, the length 0 (to the end).
    for (bool sized : {true, false}) {
        TiffBuilder t;
        const std::uint32_t at = t.Data(jpeg);
        if (sized)
            t.Long(256, {16}).Long(257, {8});
        t.Short(259, {6}).Long(513, {at}).Long(514, {0}).Short(262, {6}).Short(277, {3});
        ReadResult r;
        Read(t.Build(), r, 0, false, 0, false, !sized);
        ASSERT_FALSE(r.aborted) << sized;
        ASSERT_EQ(r.bitmap.GetWidth(), 16);
        EXPECT_LE(std::abs(int(r.bitmap.GetPixelRGB(3, 3).b) - 0x40), 3);
    }
    // JPEG in separate planes is not read.
    TiffBuilder planes;
    planes.Long(256, {16}).Long(257, {8}).Short(258, {8, 8, 8}).Short(277, {3}).Short(262, {6});
    planes.Short(259, {7}).Short(284, {2}).Strips({jpeg, jpeg, jpeg});
    ReadResult r;
    Read(planes.Build(), r);
    EXPECT_TRUE(r.aborted);
}

}  // namespace
