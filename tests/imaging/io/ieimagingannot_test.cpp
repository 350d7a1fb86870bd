// Imaging annotation blobs: marks read from blobs built here record by record, written back and
// read again unchanged, and damaged blobs refused without a read past their end.
#include "imaging/io/ieimagingannot.h"

#include "imaging/io/ioparams.h"
#include "platform/rtl/Endian.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

using namespace imaging;

namespace {

using Bytes = std::vector<std::uint8_t>;

class Blob {
public:
    explicit Blob(std::uint32_t flag = 1) : padded_(flag == 0)
    {
        U32(0);
        U32(flag);
    }
    Blob& U32(std::uint32_t v)
    {
        std::uint8_t b[4];
        rtl::StoreLE32(b, v);
        bytes.insert(bytes.end(), b, b + 4);
        return *this;
    }
    Blob& Raw(const Bytes& b)
    {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    Blob& Mark(int type, int fontHeight = 0)
    {
        Bytes record(164, 0);
        rtl::StoreLE32(record.data(), std::uint32_t(type));
        rtl::StoreLE32(record.data() + 48, std::uint32_t(fontHeight));
        record[100] = 0x5A;  // something the reader must keep
        return U32(5).U32(164).Raw(record);
    }
    Blob& Named(std::uint32_t record, const char* name, const Bytes& data, std::int64_t declared = -1)
    {
        U32(record).U32(padded_ ? 16 : 12);
        char n[8] = {};
        std::memcpy(n, name, std::min<std::size_t>(std::strlen(name), 8));
        bytes.insert(bytes.end(), n, n + 8);
        U32(std::uint32_t(declared < 0 ? std::int64_t(data.size()) : declared));
        if (padded_)
            U32(0);
        return Raw(data);
    }
    Blob& Text(std::uint32_t scale, const std::string& text)
    {
        Bytes d(16, 0);
        rtl::StoreLE32(d.data() + 4, 1000);
        rtl::StoreLE32(d.data() + 8, scale);
        rtl::StoreLE32(d.data() + 12, std::uint32_t(text.size()));
        d.insert(d.end(), text.begin(), text.end());
        d.push_back(0);
        return Named(6, "OiAnText", d);
    }
    Blob& Points(const std::vector<std::pair<int, int>>& points, std::int64_t count = -1)
    {
        Bytes d(8, 0);
        rtl::StoreLE32(d.data(), std::uint32_t(points.size()));
        rtl::StoreLE32(d.data() + 4, std::uint32_t(count < 0 ? std::int64_t(points.size()) : count));
        for (auto [x, y] : points) {
            std::uint8_t p[8];
            rtl::StoreLE32(p, std::uint32_t(x));
            rtl::StoreLE32(p + 4, std::uint32_t(y));
            d.insert(d.end(), p, p + 8);
        }
        return Named(6, "OiAnoDat", d);
    }
    Bytes bytes;

private:
    bool padded_;
};

Bytes Str(const std::string& s, bool nul = true)
{
    Bytes b(s.begin(), s.end());
    if (nul)
        b.push_back(0);
    return b;
}

bool Load(TIEImagingAnnot& a, const Bytes& b) { return a.LoadFromBuffer(b.data(), std::int64_t(b.size())); }

// Everything a mark holds, for comparing two loads.
std::string Describe(const TIEImagingAnnot& a)
{
    std::string s;
    for (int i = 0; i < a.Count(); ++i) {
        const TIEImagingObject& o = a.Object(i);
        s += std::string(o.Attributes.begin(), o.Attributes.end()) + "|";
        for (const TIEPoint& p : o.Points)
            s += std::to_string(p.X) + "," + std::to_string(p.Y) + ";";
        s += "|" + o.Text + "|" + o.FileName + "|" + std::string(o.Placement.begin(), o.Placement.end()) +
             "|" + std::to_string(o.CreationScale) + "|";
        if (o.Bitmap)
            for (int y = 0; y < o.Bitmap->GetHeight(); ++y)
                for (int x = 0; x < o.Bitmap->GetWidth(); ++x) {
                    const TRGB c = o.Bitmap->GetPixelRGB(x, y);
                    s += std::string{char(c.r), char(c.g), char(c.b)};
                }
        s += "\n";
    }
    return s;
}

TEST(ImagingAnnot, ALineMarkOfThreePointsRoundTrips)
{
    Blob b;
    b.Named(2, "OiGroup", Str("[Untitled]")).Mark(3).Points({{1, 2}, {-30, 40}, {500, 600}});
    b.Named(6, "OiGroup", Str("g")).Named(6, "OiIndex", Str("7"));
    TIEImagingAnnot a;
    ASSERT_TRUE(Load(a, b.bytes));
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Object(0).MarkType(), 3);
    ASSERT_EQ(a.Object(0).Points.size(), 3u);
    EXPECT_EQ(a.Object(0).Points[1].X, -30);
    EXPECT_EQ(a.Object(0).Attributes[100], 0x5A);
    TIEImagingAnnot again;
    ASSERT_TRUE(Load(again, a.SaveToBuffer()));
    EXPECT_EQ(Describe(again), Describe(a));
    EXPECT_EQ(again.SaveToBuffer(), a.SaveToBuffer());
}

TEST(ImagingAnnot, TheFontHeightSurvivesGenerationsUnchanged)
{
    IEAnnotScreenDpiY = 96;
    Blob b;
    b.Mark(7, -40).Text(1000, "hello");
    TIEImagingAnnot a;
    ASSERT_TRUE(Load(a, b.bytes));
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Object(0).Text, "hello");
    EXPECT_EQ(a.Object(0).CreationScale, 1000u);
    EXPECT_EQ(a.Object(0).ScreenFontHeight(), 30);  // 72000 / 1000 / 96 x 40
    for (int generation = 0; generation < 3; ++generation) {
        TIEImagingAnnot next;
        ASSERT_TRUE(Load(next, a.SaveToBuffer()));
        EXPECT_EQ(next.Object(0).FontHeight(), -40) << generation;
        EXPECT_EQ(next.Object(0).CreationScale, 1000u) << generation;
        EXPECT_EQ(next.Object(0).ScreenFontHeight(), 30) << generation;
        a.Assign(next);
    }
    // A text mark made here is written at this screen's scale.
    TIEImagingAnnot made;
    auto o = std::make_unique<TIEImagingObject>();
    o->SetMarkType(8);
    o->SetFontHeight(-12);
    o->Text = "note";
    made.Add(std::move(o));
    TIEImagingAnnot back;
    ASSERT_TRUE(Load(back, made.SaveToBuffer()));
    EXPECT_EQ(back.Object(0).CreationScale, 750u);
    EXPECT_EQ(back.Object(0).ScreenFontHeight(), 12);
}

TEST(ImagingAnnot, AnEmptyListMakesNoBlob)
{
    TIEImagingAnnot a;
    EXPECT_TRUE(a.SaveToBuffer().empty());
    TIOParamsVals p(nullptr);
    EXPECT_EQ(p.ImagingAnnot.Count(), 0);
}

TEST(ImagingAnnot, OtherNamesAndRecordTypesAreSkippedByTheirSize)
{
    Blob b;
    b.Mark(4).Named(6, "OiXyzzy", Bytes(37, 0xEE)).U32(99).U32(5).Raw(Bytes(5, 0x05)).Points({{9, 9}});
    TIEImagingAnnot a;
    ASSERT_TRUE(Load(a, b.bytes));
    ASSERT_EQ(a.Count(), 1);
    ASSERT_EQ(a.Object(0).Points.size(), 1u);
    EXPECT_EQ(a.Object(0).Points[0].Y, 9);
}

TEST(ImagingAnnot, TheSixteenBitVariantsPaddedBlocksRead)
{
    Blob b(0);
    b.Named(2, "OiGroup", Str("x")).Mark(3).Points({{3, 4}, {5, 6}});
    TIEImagingAnnot a;
    ASSERT_TRUE(Load(a, b.bytes));
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Object(0).Points[1].X, 5);
}

TEST(ImagingAnnot, ImageMarksKeepTheirFileNameAndPlacement)
{
    Bytes placement(56);
    for (std::size_t i = 0; i < placement.size(); ++i)
        placement[i] = std::uint8_t(i * 3);
    Blob b;
    b.Mark(2).Named(6, "OiAnoDat", placement).Named(6, "OiFilNam", Str("C:\\scans\\page.tif"));
    b.Mark(12).Named(6, "OiAnoDat", placement).Named(6, "OiFilNam", Str("form.tif"));
    TIEImagingAnnot a;
    ASSERT_TRUE(Load(a, b.bytes));
    ASSERT_EQ(a.Count(), 2);
    EXPECT_EQ(a.Object(0).FileName, "C:\\scans\\page.tif");
    EXPECT_EQ(a.Object(1).Placement, placement);
    TIEImagingAnnot again;
    ASSERT_TRUE(Load(again, a.SaveToBuffer()));
    EXPECT_EQ(Describe(again), Describe(a));
}

TEST(ImagingAnnot, AnEmbeddedPictureTravelsAsADib)
{
    TIEImagingAnnot a;
    auto o = std::make_unique<TIEImagingObject>();
    o->SetMarkType(1);
    o->Bitmap = std::make_unique<TIEBitmap>();
    o->Bitmap->Allocate(5, 3, ie24RGB);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            o->Bitmap->SetPixel24(x, y, TRGB{std::uint8_t(x * 40), std::uint8_t(y * 80), 7});
    a.Add(std::move(o));
    TIEImagingAnnot back;
    ASSERT_TRUE(Load(back, a.SaveToBuffer()));
    ASSERT_EQ(back.Count(), 1);
    ASSERT_TRUE(back.Object(0).Bitmap);
    EXPECT_EQ(Describe(back).substr(0, 164), Describe(a).substr(0, 164));
    EXPECT_EQ(back.Object(0).Placement.size(), 56u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(back.Object(0).Bitmap->GetPixelRGB(x, y),
                      (TRGB{std::uint8_t(x * 40), std::uint8_t(y * 80), 7}));
    TIEImagingAnnot third;
    ASSERT_TRUE(Load(third, back.SaveToBuffer()));
    EXPECT_EQ(Describe(third), Describe(back));
}

TEST(ImagingAnnot, DamagedBlobsAddNothing)
{
    const Bytes good = Blob().Mark(3).Points({{1, 1}}).bytes;
    Bytes cut = good;
    cut.resize(cut.size() - 3);
    Bytes shortRecord = Blob().U32(5).U32(164).Raw(Bytes(100, 0)).bytes;
    const struct {
        const char* what;
        Bytes blob;
    } cases[] = {
        {"shorter than its header", Bytes{0, 0, 0, 0, 1, 0}},
        {"cut inside a block", cut},
        {"attribute record past the end", shortRecord},
        {"attribute record of 10 bytes", Blob().U32(5).U32(10).Raw(Bytes(10, 3)).bytes},
        {"point count past the block", Blob().Mark(3).Points({{1, 1}}, 0x20000000).bytes},
        {"block size past the blob", Blob().Mark(3).Named(6, "OiAnoDat", Bytes(8, 0), 0x7FFFFFFF).bytes},
        {"record size past the blob", Blob().U32(77).U32(0xFFFFFFF0u).bytes},
        {"text created at scale 0", Blob().Mark(7, -10).Text(0, "x").bytes},
        {"text block shorter than its header", Blob().Mark(9).Named(6, "OiAnText", Bytes(10, 1)).bytes},
    };
    for (const auto& c : cases) {
        TIEImagingAnnot a;
        a.Add(std::make_unique<TIEImagingObject>());
        EXPECT_FALSE(Load(a, c.blob)) << c.what;
        EXPECT_EQ(a.Count(), 1) << c.what;
    }
    // Strings without a NUL and a DIB that is no DIB stay inside their blocks.
    Blob loose;
    loose.Mark(2).Named(6, "OiFilNam", Str("noend", false)).Mark(1).Named(6, "OiDIB", Bytes(20, 0xFF));
    loose.Mark(10).Named(6, "OiAnText", [] {
        Bytes d(18, 0);
        rtl::StoreLE32(d.data() + 8, 500);
        rtl::StoreLE32(d.data() + 12, 1000);  // longer than the block
        d[16] = 'a';
        d[17] = 'b';
        return d;
    }());
    TIEImagingAnnot a;
    ASSERT_TRUE(Load(a, loose.bytes));
    ASSERT_EQ(a.Count(), 3);
    EXPECT_EQ(a.Object(0).FileName, "noend");
    EXPECT_FALSE(a.Object(1).Bitmap);
    EXPECT_EQ(a.Object(2).Text, "ab");
}

// Fuzz finding: a file-name block of no bytes is no file name, and the mark round-trips.
TEST(ImagingAnnot, AnEmptyFileNameBlockIsNoFileName)
{
    std::ifstream in(std::string(VA_TEST_DATA_DIR) + "/imaging/io/annot/bad/empty_file_name_block.bin",
                     std::ios::binary);
    const Bytes blob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(blob.empty());
    TIEImagingAnnot a;
    ASSERT_TRUE(Load(a, blob));
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.Object(0).FileName, "");
    EXPECT_EQ(a.Object(0).Placement.size(), 56u);
    TIEImagingAnnot again;
    ASSERT_TRUE(Load(again, a.SaveToBuffer()));
    EXPECT_EQ(Describe(again), Describe(a));
}

TEST(ImagingAnnot, ParamsCopyAndClearTheirAnnotations)
{
    TIOParamsVals p(nullptr);
    ASSERT_TRUE(Load(p.ImagingAnnot, Blob().Mark(3).Points({{1, 2}}).bytes));
    TIOParamsVals q(nullptr);
    q.Assign(&p);
    EXPECT_EQ(Describe(q.ImagingAnnot), Describe(p.ImagingAnnot));
    p.ResetInfo();
    EXPECT_EQ(p.ImagingAnnot.Count(), 0);
    EXPECT_EQ(q.ImagingAnnot.Count(), 1);
    q.SetDefaultParams();
    EXPECT_EQ(q.ImagingAnnot.Count(), 0);
}

}  // namespace
