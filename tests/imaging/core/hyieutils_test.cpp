// Tests of the shared containers and helpers: lists, markers, IPTC buffers, byte array, counting stream,
// hash, bits.
#include "imaging/core/hyieutils.h"

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Strings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace imaging;

namespace {

TEST(Lists, DeleteOutsideTheListChangesNothingAndGrowthIsAmortised)
{
    TIEIntegerList list;
    for (int i = 0; i < 5; ++i)
        list.Add(i * 10);
    list.Flags = 0;
    list.Delete(5);
    list.Delete(-1);
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(list.Flags, 0);
    list.Delete(1);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Items(1), 20);
    EXPECT_EQ(list.Flags & 1, 1);
    EXPECT_THROW(list.ItemPtr(4), rtl::EListError);
    EXPECT_THROW(list.SetCount(-1), rtl::EListError);
    // 200,000 appends: the items may move only when the storage grows by a factor, else appending
    // copies the whole list each time.
    TIEDoubleList big;
    int moves = 0;
    const void* at = nullptr;
    for (int i = 0; i < 200000; ++i) {
        big.Add(i);
        moves += big.ItemPtr(0) != at;
        at = big.ItemPtr(0);
    }
    EXPECT_LE(moves, 40);
    EXPECT_EQ(big.Items(199999), 199999.0);
    big.Extra[2] = 4;
    TIEDoubleList copy;
    copy.Assign(&big);
    EXPECT_EQ(copy.Count(), 200000);
    EXPECT_EQ(copy.Extra[2], 4);
    copy.Clear();
    EXPECT_EQ(copy.Extra[2], 0);
    EXPECT_EQ(copy.ItemSize(), 8);
    TIERecordList records(12);
    const char rec[12] = "hello world";
    EXPECT_EQ(records.AddItem(rec), 0);
    EXPECT_STREQ(static_cast<const char*>(records.GetItem(0)), "hello world");
    EXPECT_THROW(TIERecordList(0), rtl::EListError);
}

TEST(Markers, KeepTypeAndDataAndRefuseBadIndexes)
{
    TIEMarkerList markers;
    const std::uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(markers.AddMarker(254, data, 3), 0);
    EXPECT_EQ(markers.AddMarker(225, nullptr, 0), 1);
    EXPECT_EQ(markers.IndexOf(225), 1);
    EXPECT_EQ(markers.IndexOf(226), -1);
    EXPECT_EQ(markers.MarkerLength(0), 3);
    EXPECT_EQ(markers.MarkerData(0)[2], 3);
    markers.SetMarker(1, 226, data, 2);
    EXPECT_EQ(markers.MarkerType(1), 226);
    EXPECT_EQ(markers.MarkerLength(1), 2);
    EXPECT_THROW(markers.MarkerType(2), rtl::EListError);
    EXPECT_THROW(markers.DeleteMarker(-1), rtl::EListError);
    markers.DeleteMarker(0);
    EXPECT_EQ(markers.Count(), 1);
}

TEST(Iptc, LongRecordsUseTheExtendedLengthAndReadBack)
{
    TIEIPTCInfoList list;
    std::vector<std::uint8_t> big(40000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = std::uint8_t(i * 7);
    list.AddBufferItem(2, 120, big.data(), int(big.size()));
    list.AddBufferItem(2, 5, "Title", 5);
    list.AddBufferItem(2, 0, "xx", 2);      // the version dataset is written by the prefix, not from the list
    list.AddBufferItem(2, 25, nullptr, 0);  // empty records are dropped
    EXPECT_TRUE(list.Modified);
    const auto buffer = list.SaveToStandardBuffer(false);
    ASSERT_GE(buffer.size(), 7u + 9 + 40000 + 5 + 5);
    EXPECT_EQ(buffer[7], 0x1C);
    EXPECT_EQ(buffer[10], 0x80);
    EXPECT_EQ(buffer[11], 0x04);
    TIEIPTCInfoList back;
    back.LoadFromStandardBuffer(buffer.data(), std::int64_t(buffer.size()));
    EXPECT_FALSE(back.Modified);
    ASSERT_EQ(back.Count(), 3);  // the 2:00 prefix, the long one, the title
    EXPECT_EQ(back.Record(1).DataSet, 120);
    EXPECT_EQ(back.Record(1).Data, big);
    EXPECT_EQ(std::string(back.Record(2).Data.begin(), back.Record(2).Data.end()), "Title");
}

TEST(Iptc, PhotoshopHeaderCarriesTheRecordSizeAndPadsToEven)
{
    TIEIPTCInfoList list;
    list.AddBufferItem(2, 5, "abc", 3);  // 26 + 5 + 3 = 34, even
    auto even = list.SaveToStandardBuffer(true);
    EXPECT_EQ(even.size(), 34u);
    EXPECT_EQ(std::string(even.begin(), even.begin() + 13), "Photoshop 3.0");
    EXPECT_EQ(even[13], 0);
    EXPECT_EQ(even[25], 8);             // record size 3 + 5
    list.AddBufferItem(2, 6, "de", 2);  // 34 + 7 = 41, odd
    auto odd = list.SaveToStandardBuffer(true);
    EXPECT_EQ(odd.size(), 42u);
    EXPECT_EQ(odd.back(), 0);
    EXPECT_EQ(odd[25], 15);
    EXPECT_TRUE(TIEIPTCInfoList().SaveToStandardBuffer(true).empty());
}

TEST(Iptc, ReaderRefusesLengthsBeyondTheBuffer)
{
    struct TCase {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int records;
    };
    const TCase cases[] = {
        {"short form past the end", {0x1C, 2, 5, 0x00, 0x10, 'a', 'b'}, 0},
        {"extended form cut before its length", {0x1C, 2, 5, 0x80, 0x04, 0x00, 0x00}, 0},
        {"extended negative length", {0x1C, 2, 5, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, 0},
        {"extended huge length", {0x1C, 2, 5, 0x80, 0x04, 0x7F, 0xFF, 0xFF, 0xFF, 'a'}, 0},
        {"good then truncated", {0x1C, 2, 5, 0, 1, 'x', 0x1C, 2, 6, 0, 9, 'y'}, 1},
        {"garbage before the first record", {9, 9, 0x1C, 2, 5, 0, 1, 'z', 0}, 1},
    };
    for (const auto& c : cases) {
        TIEIPTCInfoList list;
        // An exact-size copy lets the sanitizer see any read past the end.
        std::vector<std::uint8_t> exact(c.bytes);
        list.LoadFromStandardBuffer(exact.data(), std::int64_t(exact.size()));
        EXPECT_EQ(list.Count(), c.records) << c.what;
    }
    std::mt19937 rng(3);
    for (int i = 0; i < 5000; ++i) {
        std::vector<std::uint8_t> junk(rng() % 40);
        for (auto& b : junk)
            b = rng() % 4 == 0 ? 0x1C : std::uint8_t(rng());
        TIEIPTCInfoList list;
        list.LoadFromStandardBuffer(junk.data(), std::int64_t(junk.size()));
    }
}

TEST(ByteArray, GrowsShrinksAndAppendsWhatTheStreamGives)
{
    TIEByteArray bytes;
    EXPECT_EQ(bytes.Capacity(), 8192);
    for (int i = 0; i < 10000; ++i)
        bytes.AddByte(std::uint8_t(i));
    EXPECT_EQ(bytes.Size(), 10000);
    EXPECT_EQ(bytes.Data()[9999], std::uint8_t(9999));
    EXPECT_EQ(bytes.Data()[100], 100);
    bytes.SetSize(10);
    EXPECT_EQ(bytes.Capacity(), 10 + 8192);
    EXPECT_EQ(bytes.Data()[9], 9);
    rtl::TStringStream stream("abcdef");
    EXPECT_EQ(bytes.AppendFromStream(stream, 100), 6);
    EXPECT_EQ(bytes.Size(), 16);
    EXPECT_EQ(bytes.Data()[15], 'f');
    EXPECT_THROW(bytes.SetSize(-1), rtl::EInvalidArgument);
}

TEST(NulStream, CountsWithoutStoringAndSeeksFromTheEndLikeOtherStreams)
{
    TNulStream nul;
    char buf[10] = {};
    EXPECT_EQ(nul.Write(buf, 10), 10);
    nul.Seek(4, rtl::soBeginning);
    nul.Write(buf, 2);
    EXPECT_EQ(nul.Size(), 10);
    EXPECT_EQ(nul.Position(), 6);
    EXPECT_EQ(nul.Seek(-3, rtl::soEnd), 7);
    rtl::TMemoryStream mem;
    mem.Write(buf, 10);
    EXPECT_EQ(mem.Seek(-3, rtl::soEnd), 7) << "the platform convention the null stream follows";
    bool aborting = false;
    SafeStreamWrite(nul, aborting, buf, 5);
    EXPECT_FALSE(aborting);
    rtl::TReadOnlyMemoryStream full(buf, 10);
    SafeStreamWrite(full, aborting, buf, 5);
    EXPECT_TRUE(aborting);
    SafeStreamWrite(nul, aborting, buf, 5);
    EXPECT_TRUE(aborting) << "once set the flag stays";
}

TEST(Hash, KeysAreKeptOnceAcrossChains)
{
    THash1 hash(2);
    EXPECT_TRUE(hash.AddKey(5));
    EXPECT_FALSE(hash.AddKey(5));
    EXPECT_EQ(hash.Count(), 1);
    hash.BucketValue(hash.HashIndex(5)) = 42;
    int bucket = 0;
    THash1Item* item = nullptr;
    EXPECT_TRUE(hash.Insert(9, bucket, item));  // same bucket as 5: a chain of two
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Key, 9);
    EXPECT_EQ(bucket, 1);
    EXPECT_TRUE(hash.Insert(13, bucket, item));
    EXPECT_FALSE(hash.Insert(5, bucket, item));
    EXPECT_FALSE(hash.Insert(13, bucket, item));
    EXPECT_EQ(hash.Count(), 3);
    EXPECT_THROW(THash1(31), rtl::EInvalidArgument);
    THash1 wide(8);
    std::mt19937 rng(1);
    std::vector<std::int32_t> keys;
    for (int i = 0; i < 3000; ++i)
        keys.push_back(std::int32_t(rng() % 1000) - 500);
    std::sort(keys.begin(), keys.end());
    const auto unique = std::unique(keys.begin(), keys.end()) - keys.begin();
    std::shuffle(keys.begin(), keys.end(), rng);
    int added = 0;
    for (auto k : keys)
        added += wide.AddKey(k);
    EXPECT_EQ(added, unique);
}

TEST(Bits, MasksSwapsAndReversal)
{
    EXPECT_EQ(MaskHighBit(0x00F0), 8);
    EXPECT_EQ(MaskBitCount(0x00F0), 4);
    EXPECT_EQ(MaskHighBit(0), -1);
    EXPECT_EQ(MaskHighBit(0x10), 4);
    EXPECT_EQ(MaskBitCount(0), 0);
    EXPECT_EQ(MaskBitCount(0x80000000u), 1);
    EXPECT_EQ(IESwapWord(0x1234), 0x3412);
    EXPECT_EQ(IESwapDWord(0x12345678u), 0x78563412u);
    std::uint32_t v = 1;
    ReverseBits32(v);
    EXPECT_EQ(v, 0x80000000u);
    v = 0x0000000Fu;
    ReverseBits32(v);
    EXPECT_EQ(v, 0xF0000000u);
    EXPECT_EQ(VclPixelFormatBits(6), 24);
    EXPECT_EQ(VclPixelFormatBits(99), 0);
    EXPECT_EQ(VclRowLen(3, 6), 12);
    EXPECT_EQ(PowerOfTwoProduct(3, 2), 64);
    EXPECT_EQ(PowerOfTwoProduct(3, 0), 1);
    EXPECT_THROW(PowerOfTwoProduct(8, 4), rtl::EInvalidArgument);
}

TEST(Numbers, PowersAndTolerantParsing)
{
    EXPECT_DOUBLE_EQ(double(IEIntPower(2, 10)), 1024.0);
    EXPECT_DOUBLE_EQ(double(IEIntPower(2, -2)), 0.25);
    EXPECT_DOUBLE_EQ(double(IEIntPower(5, 0)), 1.0);
    EXPECT_DOUBLE_EQ(double(IEPower(0, 3.5)), 0.0);
    EXPECT_DOUBLE_EQ(double(IEPower(7, 0)), 1.0);
    EXPECT_NEAR(double(IEPower(2, 0.5)), std::sqrt(2.0), 1e-12);
    const char saved = rtl::DecimalSeparator();
    for (char sep : {'.', ','}) {
        rtl::SetDecimalSeparator(sep);
        EXPECT_DOUBLE_EQ(double(IEStrToFloat("1,5", 0)), 1.5) << sep;
        EXPECT_DOUBLE_EQ(double(IEStrToFloat("1.5", 0)), 1.5) << sep;
        EXPECT_DOUBLE_EQ(double(IEStrToFloat("x", 7)), 7.0) << sep;
    }
    rtl::SetDecimalSeparator(saved);
}

TEST(Geometry, SnappingAndDistances)
{
    int x = 100, y = 3;
    SnapPointTo45(0, 0, x, y);
    EXPECT_EQ(y, 0) << "near horizontal snaps to the row";
    x = 2;
    y = 100;
    SnapPointTo45(0, 0, x, y);
    EXPECT_EQ(x, 0);
    x = 50;
    y = 40;
    SnapPointTo45(0, 0, x, y);
    EXPECT_EQ(std::abs(x), std::abs(y)) << "a diagonal drag snaps to 45 degrees";
    EXPECT_TRUE(IEPointInRect(1, 1, 1, 1, 2, 2));
    EXPECT_FALSE(IEPointInRect(3, 1, 1, 1, 2, 2));
    EXPECT_DOUBLE_EQ(PointToLineDistance(0, 5, -10, 0, 10, 0), 5.0);
    EXPECT_DOUBLE_EQ(PointToSegmentDistance(13, 4, 0, 0, 10, 0), 5.0);
    EXPECT_DOUBLE_EQ(PointToSegmentDistance(3, 3, 3, 7, 3, 7), 4.0);
    EXPECT_DOUBLE_EQ(PointToSegmentDistance(100000, 0, 0, 0, 10, 0), 1000000.0);
}

TEST(Folders, ForceDirectoriesMakesParentsAndRefusesEmptyPaths)
{
    EXPECT_THROW(IEForceDirectories(""), rtl::Exception);
    const auto root =
        std::filesystem::temp_directory_path() / ("iefolders" + std::to_string(std::random_device{}()));
    const std::string deep = (root / "a" / "b" / "c").string() + "/";
    IEForceDirectories(deep);
    EXPECT_TRUE(IEDirectoryExists((root / "a" / "b" / "c").string()));
    EXPECT_FALSE(IEDirectoryExists((root / "nope").string()));
    std::filesystem::remove_all(root);
}

}  // namespace
