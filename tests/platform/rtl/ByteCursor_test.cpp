// The byte cursor and the endian helpers at their edges: reads that end exactly at the end, reads
// one byte short, empty and absent buffers, and fields at unaligned addresses.
#include "platform/rtl/ByteCursor.h"
#include "platform/rtl/Endian.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace {

// The bytes 01 02 .. 09, one byte in front so that every field starts on an odd address.
const std::uint8_t kBytes[] = {0xEE, 1, 2, 3, 4, 5, 6, 7, 8, 9};
const std::uint8_t* const kOdd = kBytes + 1;

TEST(Endian, FieldsReadInTheirByteOrderAtAnyAddress)
{
    EXPECT_EQ(rtl::LoadLE16(kOdd), 0x0201u);
    EXPECT_EQ(rtl::LoadBE16(kOdd), 0x0102u);
    EXPECT_EQ(rtl::LoadLE32(kOdd), 0x04030201u);
    EXPECT_EQ(rtl::LoadBE32(kOdd), 0x01020304u);
    EXPECT_EQ(rtl::LoadLE64(kOdd), 0x0807060504030201ull);
    EXPECT_EQ(rtl::LoadBE64(kOdd), 0x0102030405060708ull);

    std::uint8_t out[11] = {};
    rtl::StoreLE16(out + 1, 0xA1B2);
    rtl::StoreBE16(out + 3, 0xA1B2);
    rtl::StoreLE32(out + 5, 0x01020304);
    EXPECT_EQ((std::vector<std::uint8_t>(out, out + 9)),
              (std::vector<std::uint8_t>{0, 0xB2, 0xA1, 0xA1, 0xB2, 4, 3, 2, 1}));
    rtl::StoreBE32(out + 1, 0x01020304);
    rtl::StoreLE64(out + 3, 0x1122334455667788ull);
    EXPECT_EQ(rtl::LoadBE32(out + 1) >> 16, 0x0102u);
    EXPECT_EQ(rtl::LoadLE64(out + 3), 0x1122334455667788ull);
}

// Each read, at every size of buffer: it succeeds exactly when the field fits, and a failed read
// leaves the target and the position as they were.
TEST(ByteCursor, ReadsSucceedExactlyWhenTheFieldFits)
{
    struct TRead {
        const char* name;
        std::size_t width;
        std::function<bool(rtl::ByteCursor&, std::uint64_t&)> read;
        std::uint64_t expected;  // from kOdd
    };
    const TRead reads[] = {
        {"u8", 1,
         [](rtl::ByteCursor& c, std::uint64_t& v) {
             std::uint8_t x = 0xAA;
             bool ok = c.ReadU8(x);
             v = x;
             return ok;
         },
         1},
        {"le16", 2,
         [](rtl::ByteCursor& c, std::uint64_t& v) {
             std::uint16_t x = 0xAAAA;
             bool ok = c.ReadLE16(x);
             v = x;
             return ok;
         },
         0x0201},
        {"be16", 2,
         [](rtl::ByteCursor& c, std::uint64_t& v) {
             std::uint16_t x = 0xAAAA;
             bool ok = c.ReadBE16(x);
             v = x;
             return ok;
         },
         0x0102},
        {"le32", 4,
         [](rtl::ByteCursor& c, std::uint64_t& v) {
             std::uint32_t x = 0xAAAAAAAA;
             bool ok = c.ReadLE32(x);
             v = x;
             return ok;
         },
         0x04030201},
        {"be32", 4,
         [](rtl::ByteCursor& c, std::uint64_t& v) {
             std::uint32_t x = 0xAAAAAAAA;
             bool ok = c.ReadBE32(x);
             v = x;
             return ok;
         },
         0x01020304},
    };
    const std::uint64_t untouched[] = {0xAA, 0xAAAA, 0xAAAA, 0xAAAAAAAA, 0xAAAAAAAA};
    for (std::size_t r = 0; r < std::size(reads); ++r)
        for (std::size_t size = 0; size <= 6; ++size) {
            rtl::ByteCursor c(kOdd, size);
            std::uint64_t v = 0;
            const bool ok = reads[r].read(c, v);
            EXPECT_EQ(ok, size >= reads[r].width) << reads[r].name << " from " << size << " bytes";
            EXPECT_EQ(v, ok ? reads[r].expected : untouched[r]) << reads[r].name << " from " << size;
            EXPECT_EQ(c.Position(), ok ? reads[r].width : 0u) << reads[r].name << " from " << size;
        }
}

TEST(ByteCursor, SkipSeekTakeAndCopyStopAtTheEnd)
{
    rtl::ByteCursor c(kOdd, 9);
    EXPECT_TRUE(c.Skip(8));
    EXPECT_FALSE(c.Skip(2));
    EXPECT_EQ(c.Position(), 8u);
    std::uint8_t two[2] = {0xAA, 0xAA};
    EXPECT_FALSE(c.Read(two, 2));
    EXPECT_EQ(two[0], 0xAA);
    EXPECT_TRUE(c.Read(two, 1));
    EXPECT_EQ(two[0], 9);
    EXPECT_TRUE(c.AtEnd());
    EXPECT_NE(c.Take(0), nullptr);
    EXPECT_EQ(c.Take(1), nullptr);
    EXPECT_FALSE(c.Seek(10));
    EXPECT_TRUE(c.Seek(9));
    EXPECT_TRUE(c.Seek(0));
    EXPECT_EQ(c.Take(3), kOdd);
    EXPECT_EQ(c.Remaining(), 6u);
}

TEST(ByteCursor, EmptyAndAbsentBuffersHoldNothing)
{
    for (const rtl::ByteCursor& start :
         {rtl::ByteCursor(), rtl::ByteCursor(nullptr, 100), rtl::ByteCursor(kOdd, 0)}) {
        rtl::ByteCursor c = start;
        std::uint8_t b = 0;
        EXPECT_EQ(c.Size(), 0u);
        EXPECT_FALSE(c.ReadU8(b));
        EXPECT_FALSE(c.Skip(1));
        EXPECT_TRUE(c.Skip(0));
        EXPECT_TRUE(c.AtEnd());
    }
}

}  // namespace
