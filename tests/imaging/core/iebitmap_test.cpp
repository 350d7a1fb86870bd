// Tests of TIEBitmap storage: size rules, zero fill, row access in memory, file and platform bitmap, copies
// and moves.
#include "imaging/core/iebitmap.h"

#include "bitmap_test_util.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace imaging;
using namespace imaging::test;

namespace {

constexpr TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f};

std::vector<std::uint8_t> FileBytes(const std::string& name)
{
    std::ifstream in(std::filesystem::u8path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RowLength, IsPaddedTo32BitsAndRefusesAbsurdRows)
{
    EXPECT_EQ(IERowLen(1, 1, 32), 4);
    EXPECT_EQ(IERowLen(33, 1, 32), 8);
    EXPECT_EQ(IERowLen(5, 24, 32), 16);
    EXPECT_EQ(IERowLen(3, 8, 8), 3);
    EXPECT_EQ(IERowLen(0, 24, 32), 0);
    EXPECT_THROW(IERowLen(std::int64_t(1) << 31, 32, 32), rtl::EInvalidArgument);
    EXPECT_THROW(IERowLen(-1, 8, 32), rtl::EInvalidArgument);
    EXPECT_THROW(IERowLen(1, 8, 0), rtl::EInvalidArgument);
}

class EveryStorage : public ::testing::TestWithParam<Storage> {};

TEST_P(EveryStorage, NewStorageAndPaletteAreZeroFilled)
{
    for (auto format : kFormats) {
        auto bmp = MakeBitmap(GetParam());
        bmp->Allocate(37, 5, format);
        for (auto b : Rows(*bmp))
            ASSERT_EQ(b, 0) << int(format);
        if (format == ie8p) {
            EXPECT_EQ(bmp->PaletteLen(), 256);
            for (int i = 0; i < 256; ++i)
                EXPECT_EQ(bmp->GetPaletteColor(i), TRGB{});
        } else {
            EXPECT_EQ(bmp->PaletteLen(), 0);
        }
        EXPECT_FALSE(bmp->Full);
    }
}

// The heap hands the block just freed straight back: its old pixels must not show through.
TEST_P(EveryStorage, AnImageAllocatedAgainReadsZeroWhereTheOldOneHadPixels)
{
    for (auto format : kFormats) {
        auto bmp = MakeBitmap(GetParam());
        std::mt19937 rng(static_cast<unsigned>(format) + 1);
        for (int round = 0; round < 3; ++round) {
            bmp->Allocate(301, 211, format);
            for (auto b : Rows(*bmp))
                ASSERT_EQ(b, 0) << int(format) << " round " << round;
            FillRandom(*bmp, rng);
        }
    }
}

TEST_P(EveryStorage, RowsWrittenAreReadBackAfterVisitingOtherRows)
{
    for (auto format : kFormats) {
        auto bmp = MakeBitmap(GetParam());
        bmp->Allocate(19, 7, format);
        std::mt19937 rng(static_cast<unsigned>(format));
        FillRandom(*bmp, rng);
        auto first = Rows(*bmp);
        // Visit rows in another order, then compare again: a file-backed row must have been written.
        for (int y = 6; y >= 0; --y)
            bmp->ScanLine(y);
        EXPECT_EQ(Rows(*bmp), first) << StorageName(GetParam()) << " format " << int(format);
    }
}

TEST_P(EveryStorage, AssignCopiesPixelsPaletteAlphaAndFlags)
{
    for (auto format : kFormats) {
        auto src = MakeBitmap(Storage::Memory);
        src->Allocate(13, 9, format);
        std::mt19937 rng(7);
        FillRandom(*src, rng);
        if (format == ie8p)
            src->SetPaletteColor(5, TRGB{1, 2, 3});
        src->GetAlphaChannel()->ScanLine(3)[4] = 17;
        src->MonoConversion = 0;
        auto dst = MakeBitmap(GetParam());
        dst->Assign(src.get());
        EXPECT_EQ(dst->GetPixelFormat(), format);
        EXPECT_EQ(Rows(*dst), Rows(*src)) << StorageName(GetParam()) << " format " << int(format);
        ASSERT_TRUE(dst->HasAlphaChannel());
        EXPECT_EQ(dst->GetAlpha(4, 3), 17);
        EXPECT_EQ(dst->MonoConversion, 0);
        if (format == ie8p) {
            EXPECT_EQ(dst->GetPaletteColor(5), (TRGB{1, 2, 3}));
        }
        auto image = MakeBitmap(GetParam());
        image->AssignImage(src.get());
        EXPECT_FALSE(image->HasAlphaChannel());
        EXPECT_EQ(Rows(*image), Rows(*src));
    }
}

TEST_P(EveryStorage, SetLocationRoundTripKeepsEverything)
{
    for (auto format : kFormats) {
        auto bmp = MakeBitmap(GetParam());
        bmp->Allocate(21, 6, format);
        std::mt19937 rng(3);
        FillRandom(*bmp, rng);
        if (format == ie8p)
            bmp->SetPaletteColor(255, TRGB{9, 8, 7});
        bmp->GetAlphaChannel()->ScanLine(5)[20] = 99;
        const auto before = Rows(*bmp);
        for (auto place : {ieMemory, ieFile, ieTBitmap, ieMemory}) {
            bmp->MinFileSize = place == ieFile ? 0 : std::int64_t(1) << 40;
            bmp->SetLocation(place);
            EXPECT_EQ(bmp->GetPixelFormat(), format);
            EXPECT_EQ(Rows(*bmp), before) << "to " << int(place) << " format " << int(format);
            EXPECT_EQ(bmp->GetAlpha(20, 5), 99);
            if (format == ie8p) {
                EXPECT_EQ(bmp->GetPaletteColor(255), (TRGB{9, 8, 7}));
            }
        }
    }
}

TEST_P(EveryStorage, MoveToHandsOverWithoutCopyAndLeavesSourceEmpty)
{
    auto src = MakeBitmap(GetParam());
    src->Allocate(8, 8, ie24RGB);
    std::mt19937 rng(1);
    FillRandom(*src, rng);
    const auto before = Rows(*src);
    const auto place = src->Location();
    TIEBitmap dst;
    src->MoveTo(&dst);
    EXPECT_EQ(Rows(dst), before);
    EXPECT_EQ(src->GetWidth(), 0);
    EXPECT_EQ(src->GetPixelFormat(), ieNull);
    EXPECT_EQ(src->Location(), place);
    EXPECT_THROW(src->ScanLine(0), rtl::EInvalidArgument);
}

TEST_P(EveryStorage, RowsOutsideTheImageAreRefused)
{
    auto bmp = MakeBitmap(GetParam());
    bmp->Allocate(4, 4, ie8g);
    EXPECT_THROW(bmp->ScanLine(-1), rtl::EInvalidArgument);
    EXPECT_THROW(bmp->ScanLine(4), rtl::EInvalidArgument);
    EXPECT_EQ(bmp->GetAlpha(4, 0), 0);
    EXPECT_EQ(bmp->GetAlpha(-1, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(Storage, EveryStorage,
                         ::testing::Values(Storage::Memory, Storage::File, Storage::Platform),
                         [](const auto& info) { return std::string(StorageName(info.param)); });

TEST(SizeRule, ThresholdChoosesMemoryOrFileAndEqualityKeepsTheAskedPlace)
{
    const auto saved = IEMinFileSize;
    IEMinFileSize = 0;
    {
        TIEBitmap bmp;
        bmp.Allocate(1, 1, ie1g);
        EXPECT_EQ(bmp.Location(), ieFile);
        EXPECT_TRUE(bmp.FileBuffer().IsAllocated());
    }
    IEMinFileSize = std::int64_t(1) << 40;
    {
        TIEBitmap bmp;
        bmp.Allocate(1000, 1000, ie24RGB);
        EXPECT_EQ(bmp.Location(), ieMemory);
    }
    IEMinFileSize = saved;
    for (auto start : {ieMemory, ieFile}) {
        TIEBitmap bmp;
        bmp.MinFileSize = 40;  // 10 x 10 ie8g: rows of 12 bytes, 120 bytes
        bmp.SetLocation(start);
        bmp.Allocate(10, 10, ie8g);
        EXPECT_EQ(bmp.Location(), ieFile);
        bmp.MinFileSize = 120;
        bmp.SetLocation(start);
        bmp.Allocate(10, 10, ie8g);
        EXPECT_EQ(bmp.Location(), start) << "equal size keeps the location";
        bmp.MinFileSize = 121;
        bmp.Allocate(10, 10, ie8g);
        EXPECT_EQ(bmp.Location(), ieMemory);
    }
}

TEST(SizeRule, AbsurdSizesAreRefusedWithoutTouchingMemory)
{
    TIEBitmap bmp;
    bmp.MinFileSize = std::int64_t(1) << 40;
    bmp.SetLocation(ieMemory);
    EXPECT_THROW(bmp.Allocate(1 << 30, 1 << 30, ie24RGB), rtl::EOutOfMemory);
    EXPECT_EQ(bmp.GetWidth(), 0);
    EXPECT_THROW(bmp.Allocate(0x7FFFFFFF, 2, ie32f), rtl::EOutOfMemory);
    EXPECT_EQ(bmp.GetHeight(), 0);
    // Row times height overflows 32 bits but is a legal 64-bit size: refused only past the limit.
    bmp.Allocate(-5, 3, ie8g);
    EXPECT_EQ(bmp.GetWidth(), 0);
}

TEST(FileStorage, AWrittenRowReachesTheFileWhenTheNextRowIsMapped)
{
    TIEBitmap bmp;
    bmp.MinFileSize = 0;
    bmp.Allocate(4, 3, ie8g);
    ASSERT_EQ(bmp.Location(), ieFile);
    std::uint8_t* row = bmp.ScanLine(1);
    row[0] = 0xAA;
    row[3] = 0x55;
    bmp.ScanLine(2);
    const auto bytes = FileBytes(bmp.FileBuffer().FileName());
    ASSERT_EQ(bytes.size(), 12u);
    // Rows in the file are top-down.
    EXPECT_EQ(bytes[4], 0xAA);
    EXPECT_EQ(bytes[7], 0x55);
    const std::string name = bmp.FileBuffer().FileName();
    EXPECT_NE(std::filesystem::path(name).filename().string().find("vod"), std::string::npos);
    bmp.FreeImage();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(name)))
        << "the temporary file dies with the image";
}

TEST(FileStorage, WholeFileCopyGivesTheDestinationTheSourceAndLeavesBothOpen)
{
    TIEFileBuffer a, b;
    ASSERT_TRUE(a.AllocateFile("", 100));
    ASSERT_TRUE(b.AllocateFile("", 300));
    std::uint8_t* row = a.Map(2, 100, 0);
    for (int i = 0; i < 100; ++i)
        row[i] = std::uint8_t(i * 7);
    a.UnMap(row);
    a.CopyTo(b, 100, 0);
    EXPECT_EQ(b.FileSize(), 100);
    const std::uint8_t* copied = b.Map(1, 100, 0);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(copied[i], std::uint8_t(i * 7)) << i;
    b.UnMap(const_cast<std::uint8_t*>(copied));
    // Both stay usable: a part copied back the other way.
    row = b.Map(2, 10, 50);
    std::memset(row, 1, 10);
    b.UnMap(row);
    b.CopyTo(a, 10, 50);
    EXPECT_EQ(a.Map(1, 1, 55)[0], 1);
}

#ifdef __linux__
TEST(FileStorage, AnOldFileTheSystemWouldNotDeleteIsDeletedLater)
{
    namespace fs = std::filesystem;
    TIEFileBuffer a, b;
    ASSERT_TRUE(a.AllocateFile("", 64));
    ASSERT_TRUE(b.AllocateFile("", 64));
    std::uint8_t* row = a.Map(2, 64, 0);
    std::fill_n(row, 64, std::uint8_t(0x5A));
    a.UnMap(row);
    // A folder that is not empty takes the place of b's file: its name cannot be deleted for now.
    const fs::path old = fs::u8path(b.FileName());
    fs::remove(old);
    fs::create_directory(old);
    std::ofstream(old / "held") << "x";
    a.CopyTo(b, 64, 0);
    EXPECT_NE(fs::u8path(b.FileName()), old);
    const std::uint8_t* copied = b.Map(1, 64, 0);
    EXPECT_EQ(std::count(copied, copied + 64, 0x5A), 64);
    b.UnMap(const_cast<std::uint8_t*>(copied));
    const fs::path current = fs::u8path(b.FileName());
    fs::remove(old / "held");
    b.DeAllocate();
    EXPECT_FALSE(fs::exists(old)) << "the old name is deleted once the system lets it go";
    EXPECT_FALSE(fs::exists(current));
}
#endif

TEST(FileStorage, RowOffsetsBeyondFourGigabytesAreComputedIn64Bits)
{
    // 70000 rows of 70000 bytes: 4.9 GB, a sparse temporary file; row offsets pass 2^32.
    TIEBitmap bmp;
    bmp.MinFileSize = 0;
    bmp.SetLocation(ieFile);
    bmp.Allocate(70000, 70000, ie8g);
    if (bmp.Location() != ieFile)
        GTEST_SKIP() << "no room for a sparse 4.9 GB temporary file";
    EXPECT_EQ(bmp.FileBuffer().FileSize(), std::int64_t(70000) * 70000);
    bmp.ScanLine(69999)[69999] = 0xAB;
    bmp.ScanLine(61400)[0] = 0xCD;  // 61400 * 70000 wraps to 3032704, inside row 43, in 32 bits
    bmp.ScanLine(0)[0] = 0x01;
    EXPECT_EQ(bmp.ScanLine(69999)[69999], 0xAB);
    EXPECT_EQ(bmp.ScanLine(61400)[0], 0xCD);
    const std::uint8_t* row43 = bmp.ScanLine(43);
    EXPECT_EQ(std::count(row43, row43 + 70000, 0), 70000) << "no aliasing of high rows onto low ones";
    EXPECT_EQ(bmp.ScanLine(0)[0], 0x01);
    EXPECT_EQ(bmp.ScanLine(1)[0], 0x00);
}

TEST(FileStorage, WriteOnlyRowsSendNoStaleBytesBack)
{
    TIEBitmap bmp;
    bmp.MinFileSize = 0;
    bmp.Allocate(8, 2, ie8g);
    bmp.Fill(0x77);
    bmp.ScanLine(0)[0] = 1;  // leaves a released 8-byte buffer full of 0x77 behind
    bmp.Access = 2;
    bmp.ScanLine(1)[0] = 5;
    bmp.ScanLine(0);
    bmp.Access = 3;
    const auto bytes = FileBytes(bmp.FileBuffer().FileName());
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes[8], 5);
    for (int i = 9; i < 16; ++i)
        EXPECT_EQ(bytes[std::size_t(i)], 0) << i;
}

TEST(FileStorage, UnwritableTempFolderFallsBackToMemory)
{
    IESetTempFolder(std::string(VA_SOURCE_DIR) + "/CMakeLists.txt/not-a-folder");
    TIEBitmap bmp;
    bmp.MinFileSize = 0;
    bmp.SetLocation(ieFile);
    bmp.Allocate(10, 10, ie24RGB);
    EXPECT_EQ(bmp.Location(), ieMemory);
    IESetTempFolder("");
}

TEST(PlatformStorage, SixteenBitGreyAndFloatStayInMemory)
{
    for (auto format : {ie16g, ie32f}) {
        TIEBitmap bmp;
        bmp.MinFileSize = std::int64_t(1) << 40;
        bmp.SetLocation(ieTBitmap);
        bmp.Allocate(5, 5, format);
        EXPECT_EQ(bmp.GetPixelFormat(), format);
        EXPECT_EQ(bmp.Location(), ieMemory);
        EXPECT_EQ(bmp.GetRowLen(), IERowLen(5, IEBitCount(format), 32));
        bmp.ScanLine(4)[bmp.GetRowLen() - 1] = 1;
    }
}

TEST(PlatformStorage, GreyStaysGreyAndFloatImagesHaveNoPlatformBitmap)
{
    TIEBitmap grey;
    grey.MinFileSize = std::int64_t(1) << 40;
    grey.SetLocation(ieTBitmap);
    grey.Allocate(7, 3, ie8g);
    EXPECT_EQ(grey.GetPixelFormat(), ie8g) << "reading the format back must not turn grey into palette";
    ASSERT_NE(grey.GetVclBitmap(), nullptr);
    EXPECT_EQ(grey.GetVclBitmap()->BitsPerPixel(), 8);
    TIEBitmap real;
    real.Allocate(7, 3, ie32f);
    EXPECT_EQ(real.GetVclBitmap(), nullptr);
    EXPECT_EQ(real.Location(), ieMemory);
    EXPECT_EQ(real.GetPixelFormat(), ie32f);
    TIEBitmap palette;
    palette.Allocate(4, 4, ie8p);
    palette.SetPaletteColor(9, TRGB{1, 2, 3});
    palette.ScanLine(2)[1] = 9;
    auto* platform = palette.GetVclBitmap();
    ASSERT_NE(platform, nullptr);
    TRGB entries[256];
    EXPECT_EQ(platform->GetPalette(entries, 256), 256);
    EXPECT_EQ(entries[9], (TRGB{1, 2, 3}));
    EXPECT_EQ(platform->ScanLine(2)[1], 9);
}

TEST(PlatformStorage, AssignIntoPlatformBitmapReplacesAStaleAlphaChannel)
{
    TIEBitmap dst;
    dst.MinFileSize = std::int64_t(1) << 40;
    dst.SetLocation(ieTBitmap);
    dst.Allocate(50, 50, ie24RGB);
    dst.GetAlphaChannel();
    TIEBitmap src;
    src.Allocate(10, 4, ie24RGB);
    dst.Assign(&src);
    EXPECT_EQ(dst.Location(), ieTBitmap);
    EXPECT_FALSE(dst.HasAlphaChannel());
    EXPECT_EQ(dst.GetRowLen(), 32);
    src.GetAlphaChannel()->ScanLine(3)[9] = 3;
    dst.Assign(&src);
    ASSERT_TRUE(dst.HasAlphaChannel());
    EXPECT_EQ(dst.GetAlphaChannel()->GetWidth(), 10);
    EXPECT_EQ(dst.GetAlpha(9, 3), 3);
}

TEST(PlatformStorage, ExternalResizeOfAnEncapsulatedBitmapIsFollowed)
{
    TIEMemoryPlatformBitmap platform;
    platform.SetBitsPerPixel(24);
    platform.SetSize(100, 100);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(&platform, true);
    EXPECT_EQ(bmp.GetPixelFormat(), ie24RGB);
    bmp.GetAlphaChannel();
    bmp.ScanLine(99)[299] = 1;
    platform.SetSize(3, 2);  // frees the old rows
    EXPECT_THROW(bmp.ScanLine(99), rtl::EInvalidArgument);
    bmp.ScanLine(1)[8] = 7;
    EXPECT_EQ(bmp.GetWidth(), 3);
    EXPECT_EQ(bmp.GetAlphaChannel()->GetWidth(), 3);
    platform.SetBitsPerPixel(16);  // a depth the container cannot read as is
    EXPECT_EQ(bmp.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(platform.BitsPerPixel(), 24);
    bmp.FreeImage();
    EXPECT_EQ(platform.Width(), 3) << "an encapsulated bitmap is not freed";
}

TEST(PlatformStorage, EncapsulatingAnotherPictureTakesItsPalette)
{
    TIEMemoryPlatformBitmap a, b;
    for (auto* p : {&a, &b}) {
        p->SetBitsPerPixel(8);
        p->SetSize(2, 2);
    }
    std::array<TRGB, 256> colours{};
    colours[3] = TRGB{1, 2, 3};
    a.SetPalette(colours.data(), 256);
    colours[3] = TRGB{9, 8, 7};
    b.SetPalette(colours.data(), 256);
    TIEBitmap bmp;
    bmp.EncapsulateTBitmap(&a, true);
    ASSERT_EQ(bmp.GetPixelFormat(), ie8p);
    EXPECT_EQ(bmp.GetPaletteColor(3), (TRGB{1, 2, 3}));
    bmp.EncapsulateTBitmap(&b, false);
    EXPECT_EQ(bmp.GetPaletteColor(3), (TRGB{9, 8, 7}));
}

TEST(PlatformStorage, FailedAllocationInSetLocationKeepsTheImage)
{
    struct TFailing : TIEMemoryPlatformBitmap {
        void SetSize(int w, int h) override
        {
            if (w > 1 || h > 1)
                throw rtl::EOutOfMemory("Out of memory");
            TIEMemoryPlatformBitmap::SetSize(w, h);
        }
    };
    IESetPlatformBitmapFactory(
        []() -> std::unique_ptr<TIEPlatformBitmap> { return std::make_unique<TFailing>(); });
    TIEBitmap bmp;
    bmp.MinFileSize = std::int64_t(1) << 40;
    bmp.SetLocation(ieMemory);
    bmp.Allocate(6, 6, ie24RGB);
    std::mt19937 rng(5);
    FillRandom(bmp, rng);
    const auto before = Rows(bmp);
    EXPECT_THROW(bmp.SetLocation(ieTBitmap), rtl::EOutOfMemory);
    IESetPlatformBitmapFactory(nullptr);
    EXPECT_EQ(bmp.Location(), ieMemory);
    EXPECT_EQ(Rows(bmp), before);
}

TEST(FullFlag, IgnoresPaddingBitsAndBytes)
{
    TIEBitmap bmp;
    bmp.Allocate(3, 2, ie1g);
    for (int y = 0; y < 2; ++y)
        bmp.ScanLine(y)[0] = 0xE0;  // three white pixels, padding clear
    bmp.UpdateFullFlag();
    EXPECT_TRUE(bmp.Full);
    bmp.ScanLine(1)[0] = 0xC0;
    bmp.UpdateFullFlag();
    EXPECT_FALSE(bmp.Full);
    bmp.Allocate(1, 1, ie24RGB);  // one padding byte stays 0
    std::memset(bmp.ScanLine(0), 255, 3);
    bmp.UpdateFullFlag();
    EXPECT_TRUE(bmp.Full);
}

TEST(Palette, AccessorsIgnoreIndexesOutsideThePalette)
{
    TIEBitmap bmp;
    bmp.Allocate(2, 2, ie8p);
    bmp.SetPaletteColor(256, TRGB{1, 1, 1});
    bmp.SetPaletteColor(-1, TRGB{1, 1, 1});
    EXPECT_EQ(bmp.GetPaletteColor(256), TRGB{});
    bmp.Allocate(2, 2, ie24RGB);
    bmp.SetPaletteColor(0, TRGB{1, 1, 1});
    EXPECT_EQ(bmp.GetPaletteColor(0), TRGB{});
}

TEST(GreyScale, PaletteOrPixelsDecide)
{
    TIEBitmap bmp;
    bmp.Allocate(2, 2, ie8p);
    EXPECT_TRUE(bmp.IsGrayScale());
    bmp.SetPaletteColor(3, TRGB{1, 2, 1});
    EXPECT_FALSE(bmp.IsGrayScale());
    bmp.Allocate(2, 2, ie24RGB);
    EXPECT_TRUE(bmp.IsGrayScale());
    bmp.ScanLine(1)[4] = 9;
    EXPECT_FALSE(bmp.IsGrayScale());
}

TEST(AlphaChannel, IsCreatedOpaqueAndNeverNests)
{
    TIEBitmap bmp;
    bmp.MinFileSize = std::int64_t(1) << 40;
    bmp.SetLocation(ieTBitmap);
    bmp.Allocate(5, 4, ie24RGB);
    auto* alpha = bmp.GetAlphaChannel();
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->Location(), ieMemory);
    EXPECT_TRUE(alpha->IsAlphaChannel());
    EXPECT_TRUE(alpha->Full);
    EXPECT_EQ(alpha->GetAlphaChannel(), nullptr);
    EXPECT_EQ(bmp.GetAlpha(4, 3), 255);
    bmp.RemoveAlphaChannel();
    EXPECT_FALSE(bmp.HasAlphaChannel());
}

TEST(WorkBitmap, RowsAreBottomUpAndChecked)
{
    TIEWorkBitmap work(3, 2, 24);
    EXPECT_EQ(work.RowLen(), 12);
    EXPECT_EQ(work.ScanLine(0) - work.ScanLine(1), 12);
    EXPECT_THROW(work.ScanLine(2), rtl::EInvalidArgument);
    work.Allocate(0, 5, 8);
    EXPECT_EQ(work.Height(), 0);
}

}  // namespace
