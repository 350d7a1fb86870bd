// Tests of TIEBitmap editing: sizes, canvas resize, fills, rectangle copies, pixels, masks, and random
// operation runs.
#include "imaging/core/iebitmap.h"

#include "imaging/core/iemask.h"
#include "imaging/core/vodiradproc.h"
#include "bitmap_test_util.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

using namespace imaging;
using namespace imaging::test;

namespace {

constexpr TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f};

class Editing : public ::testing::TestWithParam<Storage> {};

TEST_P(Editing, ShrinkingWithCentreAlignmentKeepsTheMiddleColumns)
{
    auto bmp = MakeBitmap(GetParam());
    bmp->Allocate(10, 2, ie8g);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            bmp->ScanLine(y)[x] = std::uint8_t(x);
    bmp->GetAlphaChannel()->ScanLine(0)[5] = 7;
    bmp->Resize(4, 2, 0, 0, 1, 0);
    ASSERT_EQ(bmp->GetWidth(), 4);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(bmp->GetPixel8(x, 1), x + 3);
    EXPECT_EQ(bmp->GetAlphaChannel()->GetWidth(), 4);
    EXPECT_EQ(bmp->GetAlpha(2, 0), 7) << "the alpha channel is aligned the same way";
}

TEST_P(Editing, EnlargingCentresTheOldContentAndFillsAroundIt)
{
    auto bmp = MakeBitmap(GetParam());
    bmp->Allocate(2, 2, ie24RGB);
    bmp->Fill(0x000000FF);
    bmp->GetAlphaChannel();
    bmp->Resize(6, 4, 0x00FF0000, 10, 1, 2);
    ASSERT_EQ(bmp->GetWidth(), 6);
    ASSERT_EQ(bmp->GetHeight(), 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool old = x >= 2 && x < 4 && y >= 2;
            EXPECT_EQ(bmp->GetPixel24(x, y), (old ? TRGB{0, 0, 255} : TRGB{255, 0, 0})) << x << "," << y;
            EXPECT_EQ(bmp->GetAlpha(x, y), old ? 255 : 10) << x << "," << y;
        }
}

TEST_P(Editing, SetWidthKeepsPixelsPaletteAndAlpha)
{
    for (auto format : kFormats) {
        auto bmp = MakeBitmap(GetParam());
        bmp->Allocate(5, 3, format);
        std::mt19937 rng(9);
        FillRandom(*bmp, rng);
        if (format == ie8p)
            bmp->SetPaletteColor(200, TRGB{4, 5, 6});
        bmp->GetAlphaChannel()->ScanLine(2)[4] = 33;
        std::vector<TRGB> before;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                before.push_back(bmp->GetPixelRGB(x, y));
        bmp->SetWidth(40);
        bmp->SetHeight(9);
        ASSERT_EQ(bmp->GetWidth(), 40);
        ASSERT_EQ(bmp->GetAlphaChannel()->GetWidth(), 40);
        ASSERT_EQ(bmp->GetAlphaChannel()->GetHeight(), 9);
        EXPECT_EQ(bmp->GetAlpha(4, 2), 33);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(bmp->GetPixelRGB(x, y), before[std::size_t(y * 5 + x)]) << int(format);
        if (format == ie8p) {
            EXPECT_EQ(bmp->GetPaletteColor(200), (TRGB{4, 5, 6}));
        }
        bmp->SetWidth(2);
        EXPECT_EQ(bmp->GetPixelRGB(1, 2), before[11]);
    }
}

TEST_P(Editing, FillsSetEveryBitAndClipRectangles)
{
    auto bmp = MakeBitmap(GetParam());
    bmp->Allocate(13, 3, ie1g);
    bmp->Fill(1);
    EXPECT_TRUE(bmp->Full);
    for (int x = 0; x < 13; ++x)
        EXPECT_EQ(bmp->GetPixelRGB(x, 2), (TRGB{255, 255, 255}));
    bmp->FillRect(5, -4, 100, 1, 0);
    EXPECT_EQ(bmp->GetPixelRGB(4, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(bmp->GetPixelRGB(12, 1), TRGB{});
    EXPECT_EQ(bmp->GetPixelRGB(12, 2), (TRGB{255, 255, 255}));
    bmp->Fill(-3);
    EXPECT_FALSE(bmp->Full) << "a negative value clears the bits, so the image is not full";
    bmp->Allocate(3, 3, ie16g);
    bmp->Fill(65535);
    EXPECT_TRUE(bmp->Full);
    bmp->Allocate(3, 3, ie32f);
    bmp->Fill(1.0);
    EXPECT_TRUE(bmp->Full);
    bmp->UpdateFullFlag();
    EXPECT_TRUE(bmp->Full);
    bmp->FillRect(1, 1, 1, 1, 0.25);
    EXPECT_EQ(bmp->GetPixelRGB(1, 1), (TRGB{63, 63, 63}));
    EXPECT_THROW(bmp->Fill(NAN), rtl::EInvalidArgument) << "not a value any format holds";
}

TEST_P(Editing, CopyRectClipsAgainstBothImagesInsteadOfClamping)
{
    auto src = MakeBitmap(GetParam());
    auto dst = MakeBitmap(GetParam());
    src->Allocate(6, 6, ie8g);
    dst->Allocate(5, 5, ie8g);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            src->ScanLine(y)[x] = std::uint8_t(10 * y + x);
    dst->Fill(255);
    src->CopyRectTo(dst.get(), 1, 1, -2, 3, 4, 4);
    // Columns 3 and 4 of the source (after skipping 2) land at x 0 and 1, rows 1 and 2 at y 3 and 4.
    EXPECT_EQ(dst->GetPixel8(0, 3), 13);
    EXPECT_EQ(dst->GetPixel8(1, 4), 24);
    EXPECT_EQ(dst->GetPixel8(2, 3), 255);
    EXPECT_EQ(dst->GetPixel8(0, 2), 255);
    // A destination beyond the image writes nothing (clamping would have written its last column).
    src->CopyRectTo(dst.get(), 0, 0, 7, 0, 3, 3);
    src->CopyRectTo(dst.get(), -10, -10, 0, 0, 5, 5);
    src->CopyRectTo(dst.get(), 0, 0, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF);
    EXPECT_EQ(dst->GetPixel8(4, 4), 44);
    auto mono = MakeBitmap(GetParam());
    mono->Allocate(10, 2, ie1g);
    mono->FillRect(3, 0, 3, 1, 1);
    auto rgb = MakeBitmap(GetParam());
    rgb->Allocate(4, 2, ie24RGB);
    mono->CopyRectTo(rgb.get(), 2, 0, 0, 0, 10, 2);
    EXPECT_EQ(rgb->GetPixel24(1, 1), (TRGB{255, 255, 255}));
    EXPECT_EQ(rgb->GetPixel24(0, 1), TRGB{});
    rgb->CopyRectTo(mono.get(), 0, 0, 0, 0, 4, 2);  // no conversion that way: nothing happens
    EXPECT_EQ(mono->GetPixelRGB(3, 0), (TRGB{255, 255, 255}));
}

// A copy of pixels that are not all at the maximum leaves a destination that was full not full,
// in every format the copy takes, grey 16-bit and float included.
TEST_P(Editing, CopyRectClearsTheFullFlagInEveryFormat)
{
    for (TIEPixelFormat f : {ie1g, ie8g, ie8p, ie16g, ie24RGB, ie32f}) {
        auto src = MakeBitmap(GetParam());
        auto dst = MakeBitmap(GetParam());
        src->Allocate(4, 3, f);
        dst->Allocate(4, 3, f);
        dst->Fill(f == ie24RGB ? 0xFFFFFF : f == ie32f ? 1.0 : f == ie16g ? 65535 : 255);
        dst->Full = true;
        src->CopyRectTo(dst.get(), 0, 0, 1, 1, 2, 2);  // zeros
        EXPECT_FALSE(dst->Full) << "format " << int(f);
        dst->UpdateFullFlag();
        EXPECT_FALSE(dst->Full) << "format " << int(f) << ": the copied zeros are really there";
    }
}

TEST_P(Editing, MoveRegionWithinOneImageFillsTheOldPlace)
{
    auto bmp = MakeBitmap(GetParam());
    bmp->Allocate(8, 8, ie8g);
    bmp->FillRect(0, 0, 1, 1, 50);
    bmp->MoveRegion(0, 0, 1, 1, 5, 6, 9);
    EXPECT_EQ(bmp->GetPixel8(0, 0), 9);
    EXPECT_EQ(bmp->GetPixel8(5, 6), 50);
    EXPECT_EQ(bmp->GetPixel8(6, 7), 50);
    bmp->MoveRegion(5, 6, 7, 7, -1, -1, 0);  // clipped at the top left
    EXPECT_EQ(bmp->GetPixel8(0, 0), 50);
    bmp->MoveRegion(-1, -1, 6, 6, 0, 0, 3);  // the rectangle's corner -1,-1 goes to 0,0
    EXPECT_EQ(bmp->GetPixel8(1, 1), 50);
    EXPECT_EQ(bmp->GetPixel8(0, 0), 3);
    bmp->MoveRegion(-100, -100, 100, 100, 1, 1, 4);  // everything moves out
    EXPECT_EQ(bmp->GetPixel8(1, 1), 4);
}

TEST_P(Editing, PixelReadsOutsideTheImageGiveBlack)
{
    auto bmp = MakeBitmap(GetParam());
    bmp->Allocate(2, 2, ie24RGB);
    bmp->Fill(0x00FFFFFF);
    EXPECT_EQ(bmp->GetPixel24(2, 0), TRGB{});
    EXPECT_EQ(bmp->GetPixel24(0, -1), TRGB{});
    EXPECT_EQ(bmp->GetPixel8(5, 5), 0);
    EXPECT_EQ(bmp->GetPixelRGB(-1, 0), TRGB{});
    bmp->SetPixel24(2, 2, TRGB{});
    EXPECT_TRUE(bmp->Full);
    bmp->SetPixel24(1, 1, TRGB{1, 2, 3});
    EXPECT_FALSE(bmp->Full);
    // Raw row bytes whatever the format: byte 3 of row 1 is the second pixel's blue; byte 8 is past
    // the row.
    EXPECT_EQ(bmp->GetPixel8(3, 1), 1);
    EXPECT_EQ(bmp->GetPixel8(8, 1), 0);
    auto grey = MakeBitmap(GetParam());
    grey->Allocate(4, 1, ie8g);
    for (int x = 0; x < 4; ++x)
        grey->ScanLine(0)[x] = std::uint8_t(10 * (x + 1));
    EXPECT_EQ(grey->GetPixel24(0, 0), (TRGB{10, 20, 30}));
    EXPECT_EQ(grey->GetPixel24(1, 0), TRGB{}) << "bytes 3 to 5 run past the 4-byte row";
}

TEST_P(Editing, MaskExchangeKeepsRowsFlagsAndBox)
{
    TIEMask mask;
    mask.AllocateBits(12, 5, 8);
    mask.SetPixel(3, 2, 200);
    mask.SetPixel(9, 4, 1);
    auto bmp = MakeBitmap(GetParam());
    bmp->CopyFromTIEMask(&mask);
    EXPECT_EQ(bmp->GetPixelFormat(), ie8g);
    EXPECT_EQ(bmp->GetPixel8(3, 2), 200);
    EXPECT_FALSE(bmp->Full);
    TIEMask back;
    bmp->CopyToTIEMask(&back);
    EXPECT_EQ(back.BitsPerPixel(), 8);
    EXPECT_EQ(back.GetPixel(3, 2), 200);
    EXPECT_EQ(back.X1(), 3);
    EXPECT_EQ(back.Y1(), 2);
    EXPECT_EQ(back.X2(), 9);
    EXPECT_EQ(back.Y2(), 4);
    bmp->CopyFromTIEMask(nullptr);
    EXPECT_EQ(bmp->GetPixel8(0, 0), 255);
    EXPECT_TRUE(bmp->Full);
    TIEMask mono;
    mono.AllocateBits(9, 2, 1);
    mono.SetPixel(8, 1, 1);
    bmp->CopyFromTIEMask(&mono);
    EXPECT_EQ(bmp->GetPixelFormat(), ie1g);
    EXPECT_EQ(bmp->GetPixelRGB(8, 1), (TRGB{255, 255, 255}));
    // Into an alpha channel the same mask gives 8-bit alpha of 0 and 255.
    TIEBitmap* alpha = bmp->GetAlphaChannel();
    alpha->CopyFromTIEMask(&mono);
    EXPECT_EQ(alpha->GetPixelFormat(), ie8g);
    EXPECT_EQ(bmp->GetAlpha(8, 1), 255);
    EXPECT_EQ(bmp->GetAlpha(7, 1), 0);
}

TEST_P(Editing, ASideOfZeroIsAnEmptyImageThatGrowsAgain)
{
    struct TCase {
        const char* what;
        std::function<void(TIEBitmap&)> shrink;
        int width, height;
    };
    const TCase cases[] = {
        {"SetWidth(0)", [](TIEBitmap& b) { b.SetWidth(0); }, 0, 4},
        {"SetHeight(0)", [](TIEBitmap& b) { b.SetHeight(0); }, 5, 0},
        {"Resize(0, 4) left", [](TIEBitmap& b) { b.Resize(0, 4, 0, 0, 0, 0); }, 0, 4},
        {"Resize(0, 2) centred", [](TIEBitmap& b) { b.Resize(0, 2, 0, 0, 1, 1); }, 0, 2},
        {"Resize(5, 0) bottom", [](TIEBitmap& b) { b.Resize(5, 0, 0, 0, 2, 2); }, 5, 0},
        {"Resize(0, 0)", [](TIEBitmap& b) { b.Resize(0, 0, 0, 0, 1, 2); }, 0, 0},
    };
    for (auto format : kFormats)
        for (const TCase& c : cases) {
            auto bmp = MakeBitmap(GetParam());
            bmp->Allocate(5, 4, format);
            bmp->Fill(1);
            bmp->GetAlphaChannel()->Fill(9);
            ASSERT_NO_THROW(c.shrink(*bmp)) << c.what << " format " << int(format);
            EXPECT_EQ(bmp->GetWidth(), c.width) << c.what;
            EXPECT_EQ(bmp->GetHeight(), c.height) << c.what;
            EXPECT_EQ(bmp->GetAlphaChannel()->GetWidth(), c.width) << c.what;
            // Grown again it is what a new image filled alike is: the empty image was a valid one.
            ASSERT_NO_THROW(bmp->Resize(3, 2, 1, 40, 0, 0)) << c.what;
            TIEBitmap fresh;
            fresh.Allocate(3, 2, format);
            fresh.Fill(1);
            EXPECT_EQ(PixelRows(*bmp), PixelRows(fresh)) << c.what << " format " << int(format);
            TIEBitmap alpha;
            alpha.Allocate(3, 2, ie8g);
            alpha.Fill(40);
            EXPECT_EQ(PixelRows(*bmp->GetAlphaChannel()), PixelRows(alpha)) << c.what;
        }
}

TEST_P(Editing, MasksWithoutColumnsOrRowsExchangeAsEmptyImages)
{
    for (const int depth : {1, 8})
        for (const auto& [w, h] : {std::pair{0, 3}, std::pair{6, 0}, std::pair{0, 0}}) {
            TIEMask mask;
            mask.AllocateBits(w, h, depth);
            auto bmp = MakeBitmap(GetParam());
            bmp->Allocate(4, 4, ie8g);
            ASSERT_NO_THROW(bmp->CopyFromTIEMask(&mask)) << depth << " bits " << w << "x" << h;
            EXPECT_EQ(bmp->GetWidth(), w);
            EXPECT_EQ(bmp->GetHeight(), h);
            TIEMask back;
            ASSERT_NO_THROW(bmp->CopyToTIEMask(&back)) << depth << " bits " << w << "x" << h;
            EXPECT_EQ(back.Width(), w);
            EXPECT_EQ(back.Height(), h);
            EXPECT_TRUE(back.IsEmpty());
            // The image reads and writes as before: an image filled with 200 is taken whole.
            TIEBitmap full;
            full.Allocate(3, 2, ie8g);
            full.Fill(200);
            bmp->Assign(&full);
            EXPECT_EQ(bmp->GetPixel8(2, 1), 200) << depth << " bits " << w << "x" << h;
        }
}

INSTANTIATE_TEST_SUITE_P(Storage, Editing,
                         ::testing::Values(Storage::Memory, Storage::File, Storage::Platform),
                         [](const auto& info) { return std::string(StorageName(info.param)); });

#ifdef __linux__
// Makes the open temporary file of a file-backed image fail one way, like a failing disk: the
// descriptor the image holds is replaced by one that can only write (reads fail) or only read
// (writes fail), and put back when the fault ends.
class TPixelFileFault {
public:
    enum TKind { ReadsFail, WritesFail };
    TPixelFileFault(const std::string& name, TKind kind)
    {
        const std::string target = std::filesystem::canonical(name).string();
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (std::filesystem::read_symlink(entry.path(), ec).string() == target)
                fd_ = std::stoi(entry.path().filename().string());
        }
        if (fd_ < 0)
            throw std::runtime_error("no descriptor open on " + name);
        saved_ = ::dup(fd_);
        const int other = ::open(target.c_str(), kind == ReadsFail ? O_WRONLY : O_RDONLY);
        if (saved_ < 0 || other < 0 || ::dup2(other, fd_) < 0)
            throw std::runtime_error("cannot replace the descriptor of " + name);
        ::close(other);
    }
    ~TPixelFileFault() { End(); }
    void End()
    {
        if (saved_ >= 0) {
            ::dup2(saved_, fd_);
            ::close(saved_);
            saved_ = -1;
        }
    }

private:
    int fd_ = -1;
    int saved_ = -1;
};

// An editing call that raises half way leaves the image's rows readable and writable: a pixel
// written afterwards is read back, and an image assigned afterwards is read whole.
TEST(FailedEditing, LeavesAFileBackedImageReadingAndWritingItsRows)
{
    struct TCase {
        const char* what;
        TPixelFileFault::TKind fault;
        std::function<void(TIEBitmap&)> call;
    };
    const TCase cases[] = {
        {"SetWidth", TPixelFileFault::ReadsFail, [](TIEBitmap& b) { b.SetWidth(9); }},
        {"SetHeight", TPixelFileFault::ReadsFail, [](TIEBitmap& b) { b.SetHeight(2); }},
        {"Resize", TPixelFileFault::ReadsFail, [](TIEBitmap& b) { b.Resize(3, 3, 0, 0, 0, 0); }},
        {"Fill", TPixelFileFault::WritesFail, [](TIEBitmap& b) { b.Fill(9); }},
        {"CopyRectTo", TPixelFileFault::ReadsFail,
         [](TIEBitmap& b) {
             TIEBitmap other;
             other.Allocate(6, 4, ie8g);
             b.CopyRectTo(&other, 0, 0, 0, 0, 6, 4);
         }},
        {"RotateIEBitmapLeft", TPixelFileFault::ReadsFail,
         [](TIEBitmap& b) {
             TIEBitmap turned;
             RotateIEBitmapLeft(&b, &turned);
         }},
        {"CopyToTIEMask", TPixelFileFault::ReadsFail,
         [](TIEBitmap& b) {
             TIEMask mask;
             b.CopyToTIEMask(&mask);
         }},
    };
    for (const TCase& c : cases) {
        auto bmp = MakeBitmap(Storage::File);
        bmp->Allocate(6, 4, ie8g);
        ASSERT_EQ(bmp->Location(), ieFile);
        bmp->Fill(50);
        {
            TPixelFileFault fault(bmp->FileBuffer().FileName(), c.fault);
            EXPECT_THROW(c.call(*bmp), rtl::Exception) << c.what;
        }
        ASSERT_EQ(bmp->Location(), ieFile) << c.what;
        bmp->ScanLine(0)[1] = 77;
        bmp->ScanLine(1)[2] = 78;
        EXPECT_EQ(bmp->ScanLine(0)[1], 77) << c.what;
        EXPECT_EQ(bmp->ScanLine(1)[2], 78) << c.what;
        TIEBitmap full;
        full.Allocate(6, 4, ie8g);
        full.Fill(200);
        bmp->Assign(&full);
        EXPECT_EQ(bmp->ScanLine(2)[5], 200) << c.what;
    }
}
#endif

// Random operations, including coordinates and sizes far outside the image, applied alike to an image
// in memory and one in a temporary file: both must stay byte for byte identical, and the sanitizers
// watch for any access outside the storage.
TEST(RandomOperations, MemoryAndFileStorageStayByteIdentical)
{
    std::mt19937 rng(20261206);
    auto coord = [&](int limit) -> int {
        switch (rng() % 6) {
        case 0: return -int(rng() % 50) - 1;
        case 1: return limit + int(rng() % 50);
        case 2:
            return int(rng() % 3) == 0 ? std::numeric_limits<int>::min() / 2
                                       : std::numeric_limits<int>::max() / 2;
        default: return int(rng() % std::uint32_t(std::max(limit, 1)));
        }
    };
    for (auto format : kFormats) {
        auto mem = MakeBitmap(Storage::Memory);
        auto file = MakeBitmap(Storage::File);
        mem->Allocate(23, 17, format);
        file->Allocate(23, 17, format);
        ASSERT_EQ(file->Location(), ieFile);
        std::mt19937 fill(int(format) + 1u);
        FillRandom(*mem, fill);
        file->Assign(mem.get());
        for (int step = 0; step < 300; ++step) {
            const int w = mem->GetWidth(), h = mem->GetHeight();
            const int op = int(rng() % 13);
            const int a = coord(w), b = coord(h), c = coord(w), d = coord(h), e = coord(w), f = coord(h);
            const double value = double(rng() % 70000) / (format == ie32f ? 65535.0 : 1.0);
            for (TIEBitmap* bmp : {mem.get(), file.get()}) {
                switch (op) {
                case 0: bmp->FillRect(a, b, c, d, value); break;
                case 1: bmp->CopyRectTo(bmp, a, b, c, d, e, f); break;
                case 2: bmp->MoveRegion(a, b, c, d, e, f, value); break;
                case 3: bmp->SetPixel24(a, b, TRGB{std::uint8_t(c), std::uint8_t(d), 7}); break;
                case 4: bmp->SetWidth(1 + int(unsigned(a) % 40)); break;
                case 5: bmp->SetHeight(1 + int(unsigned(b) % 30)); break;
                case 6:
                    bmp->Resize(1 + int(unsigned(a) % 40), 1 + int(unsigned(b) % 30), value, 3,
                                std::uint8_t(c & 3), std::uint8_t(d & 3));
                    break;
                case 7: FlipBitmap(bmp, op & 1); break;
                case 8: FlipBitmap(bmp, 1); break;
                case 9: {
                    TIEBitmap turned;
                    RotateIEBitmapLeft(bmp, &turned);
                    bmp->Assign(&turned);
                    break;
                }
                case 10: bmp->GetAlphaChannel()->FillRect(a, b, c, d, 77); break;
                case 11:
                    if (step % 40 == 0)
                        RotateBitmap(bmp, 17.5, 0x00102030);
                    break;
                default: bmp->Fill(value); break;
                }
            }
            ASSERT_EQ(mem->GetWidth(), file->GetWidth());
            ASSERT_EQ(mem->GetHeight(), file->GetHeight());
            const auto memRows = Rows(*mem), fileRows = Rows(*file);
            ASSERT_TRUE(memRows == fileRows)
                << "format " << int(format) << " step " << step << " op " << op << " (" << a << "," << b
                << "," << c << "," << d << ") w " << w << " h " << h << " rowlen " << mem->GetRowLen() << ": "
                << FirstDifference(memRows, fileRows);
            ASSERT_EQ(mem->HasAlphaChannel(), file->HasAlphaChannel());
            if (mem->HasAlphaChannel()) {
                ASSERT_EQ(Rows(*mem->GetAlphaChannel()), Rows(*file->GetAlphaChannel()))
                    << "alpha step " << step;
            }
        }
    }
}

TEST(RandomOperations, MaskOperationsStayInsideThePlane)
{
    std::mt19937 rng(77);
    for (int depth : {1, 8}) {
        TIEMask mask;
        mask.AllocateBits(37, 21, depth);
        TIEBitmap a, b;
        a.Allocate(30, 25, ie24RGB);
        b.Allocate(40, 10, ie24RGB);
        for (int step = 0; step < 2000; ++step) {
            auto r = [&](int span) { return int(rng() % std::uint32_t(span * 3)) - span; };
            switch (rng() % 7) {
            case 0: mask.SetPixel(r(40), r(25), int(rng() % 256)); break;
            case 1: mask.FillHorzLine(int(rng() % 256), r(40), r(40), r(25)); break;
            case 2: {
                std::vector<TIEPoint> pts(2 + rng() % 6);
                for (auto& p : pts)
                    p = {r(60), r(40)};
                if (rng() % 3 == 0)
                    pts[1].X = kIEPolygonSeparator;
                mask.FillPolygons(int(rng() % 256), pts.data(), int(pts.size()));
                break;
            }
            case 3: {
                int dx = r(30), dy = r(20);
                mask.Translate(dx, dy, rng() & 1);
                break;
            }
            case 4: mask.CopyBitmapMasked(&a, &b, rng() & 1, rng() & 1, rng() & 1); break;
            case 5:
                if (rng() % 50 == 0)
                    mask.Empty();
                break;
            default: {
                std::vector<std::uint8_t> buf(std::size_t(IERowLen(13, depth, 32)) * 9);
                std::vector<std::uint8_t*> rows(9);
                for (int i = 0; i < 9; ++i)
                    rows[std::size_t(i)] = buf.data() + std::size_t(i) * std::size_t(IERowLen(13, depth, 32));
                mask.StretchRows(rows.data(), 13, 9, r(20), r(20), 1 + int(rng() % 60), 1 + int(rng() % 60));
                break;
            }
            }
            if (!mask.IsEmpty()) {
                ASSERT_GE(mask.X1(), 0);
                ASSERT_GE(mask.Y1(), 0);
                ASSERT_LT(mask.X2(), 37);
                ASSERT_LT(mask.Y2(), 21);
            }
        }
    }
}

}  // namespace
