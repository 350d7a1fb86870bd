// Tests of TIEDibbitmap's rows, shapes and copies; the GDI side is tested in iebitmap_win32_test.
#include "imaging/core/iebitmap.h"

#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace imaging;

namespace {

TEST(DibBitmap, RowsArePaddedBottomUpAndTopRowFirst)
{
    TIEDibbitmap dib;
    dib.AllocateBits(5, 3, 24);
    EXPECT_EQ(dib.GetRowLen(), 16);
    EXPECT_EQ(dib.GetBitCount(), 24);
    EXPECT_EQ(dib.GetPixelFormat(), ie24RGB);
    // Row 0 is the top row, stored last.
    EXPECT_EQ(dib.ScanLine(0) - dib.ScanLine(2), 2 * 16);
    EXPECT_EQ(dib.ScanLine(1) - dib.ScanLine(2), 16);
    for (int y = 0; y < 3; ++y)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(dib.ScanLine(y)[i], 0) << "a new section starts zero-filled";
    dib.AllocateBits(33, 2, 1);
    EXPECT_EQ(dib.GetRowLen(), 8);
    EXPECT_EQ(dib.GetPixelFormat(), ie1g);
}

TEST(DibBitmap, RowsOutsideTheBitmapAreRefused)
{
    TIEDibbitmap dib;
    EXPECT_THROW(dib.ScanLine(0), rtl::EInvalidArgument);
    dib.AllocateBits(2, 2, 8);
    EXPECT_THROW(dib.ScanLine(2), rtl::EInvalidArgument);
    EXPECT_THROW(dib.ScanLine(-1), rtl::EInvalidArgument);
    EXPECT_EQ(dib.GetPixelFormat(), ieNull) << "8-bit sections have no container format";
}

TEST(DibBitmap, EmptySidesKeepTheOldSectionAndBadDepthsAreRefused)
{
    TIEDibbitmap dib;
    dib.AllocateBits(4, 4, 24);
    dib.ScanLine(3)[0] = 9;
    dib.AllocateBits(0, 7, 24);
    dib.AllocateBits(7, -1, 24);
    EXPECT_EQ(dib.GetWidth(), 4);
    EXPECT_EQ(dib.ScanLine(3)[0], 9);
    EXPECT_THROW(dib.AllocateBits(4, 4, 7), rtl::EInvalidArgument);
    EXPECT_THROW(dib.AllocateBits(4, 4, 0), rtl::EInvalidArgument);
    EXPECT_EQ(dib.ScanLine(3)[0], 9) << "a refused shape keeps the picture";
}

TEST(DibBitmap, SizesBeyondTheLimitAreRefusedWithoutOverflow)
{
    TIEDibbitmap dib;
    dib.AllocateBits(3, 3, 24);
    // 65536 x 65536 x 4 bytes wraps to 0 in 32 bits.
    EXPECT_THROW(dib.AllocateBits(65536, 65536, 32), rtl::EOutOfMemory);
    EXPECT_THROW(dib.AllocateBits(2147483647, 2, 32), rtl::Exception);
    EXPECT_EQ(dib.GetWidth(), 3);
    EXPECT_EQ(dib.GetHeight(), 3);
    EXPECT_NO_THROW(dib.ScanLine(2));
}

TEST(DibBitmap, AllocateTakesOnlyTheTwoFormatsASectionHolds)
{
    TIEDibbitmap dib;
    dib.Allocate(3, 2, ie8g);
    EXPECT_EQ(dib.GetWidth(), 0);
    dib.Allocate(3, 2, ie1g);
    EXPECT_EQ(dib.GetBitCount(), 1);
    dib.Allocate(3, 2, ie24RGB);
    EXPECT_EQ(dib.GetBitCount(), 24);
    dib.Allocate(9, 9, ie16g);
    EXPECT_EQ(dib.GetWidth(), 3);
    dib.FreeBitmap();
    EXPECT_EQ(dib.GetWidth(), 0);
    EXPECT_EQ(dib.GetRowLen(), 0);
    EXPECT_EQ(dib.DC(), nullptr);
    EXPECT_THROW(dib.ScanLine(0), rtl::EInvalidArgument);
}

TEST(DibBitmap, AssignCopiesEveryByteIntoTheSourceShape)
{
    TIEDibbitmap src;
    src.AllocateBits(7, 5, 24);
    for (int y = 0; y < 5; ++y)
        for (int i = 0; i < src.GetRowLen(); ++i)
            src.ScanLine(y)[i] = static_cast<std::uint8_t>(y * 31 + i);
    TIEDibbitmap dst;
    dst.AllocateBits(100, 1, 1);
    dst.Assign(&src);
    ASSERT_EQ(dst.GetWidth(), 7);
    ASSERT_EQ(dst.GetHeight(), 5);
    ASSERT_EQ(dst.GetBitCount(), 24);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(std::memcmp(dst.ScanLine(y), src.ScanLine(y), std::size_t(src.GetRowLen())), 0) << y;
    dst.ScanLine(0)[0] = 77;
    EXPECT_NE(src.ScanLine(0)[0], 77) << "the copy has its own rows";

    TIEBitmap other;
    other.Allocate(2, 2, ie24RGB);
    dst.Assign(&other);
    EXPECT_EQ(dst.GetWidth(), 7) << "only another DIB bitmap is taken";
    dst.Assign(&dst);
    EXPECT_EQ(dst.ScanLine(0)[0], 77);
    TIEDibbitmap empty;
    dst.Assign(&empty);
    EXPECT_EQ(dst.GetWidth(), 0);
}

}  // namespace
