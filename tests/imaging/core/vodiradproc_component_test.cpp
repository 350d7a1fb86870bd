// Tests of the processing component: undo and redo round trips of every operation on every format
// and storage, resample sizes, the undo limit, and the edge cases of the operations.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/TypeInfo.h"
#include "bitmap_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace imaging;
using namespace imaging::test;

namespace {

void Fill(TIEBitmap& bmp, int w, int h, TIEPixelFormat f, unsigned seed)
{
    bmp.Allocate(w, h, f);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = bmp.ScanLine(y);
        for (int i = 0; i < bmp.GetRowLen(); ++i)
            row[i] = std::uint8_t(rng());
        if (f == ie32f)
            for (int x = 0; x < w; ++x) {
                const float v = float(rng() % 1000) / 999.0f;
                std::memcpy(row + 4 * x, &v, 4);
            }
    }
    if (f == ie8p)
        for (int i = 0; i < 256; ++i)
            bmp.SetPaletteColor(i, TRGB{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 3)});
}

TEST(Proc, UndoAndRedoRestoreEveryOperationByteForByte)
{
    struct TOp {
        const char* name;
        std::function<void(TVodirAdProc&)> run;
    };
    TRGB palette[256];
    const TOp ops[] = {
        {"gray", [](TVodirAdProc& p) { p.ConvertToGray(); }},
        {"resample nearest", [](TVodirAdProc& p) { p.Resample(13, 7, rfNone); }},
        {"resample triangle", [](TVodirAdProc& p) { p.Resample(-1, 30, rfTriangle); }},
        {"resample fast", [](TVodirAdProc& p) { p.Resample(40, -1, rfFastLinear); }},
        {"to 2 colours", [](TVodirAdProc& p) { p.ConvertTo(2, 1); }},
        {"to 16 colours", [](TVodirAdProc& p) { p.ConvertTo(16); }},
        {"to palette", [&](TVodirAdProc& p) { p.ConvertToPalette(2, palette, 0); }},
    };
    for (Storage storage : {Storage::Memory, Storage::File})
        for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f})
            for (const TOp& op : ops) {
                TVodirAdProc proc(nullptr);
                auto& bmp = *proc.Bitmap();
                bmp.MinFileSize = storage == Storage::File ? 0 : std::int64_t(1) << 40;
                Fill(bmp, 21, 17, f, unsigned(f) * 31);
                const std::vector<std::uint8_t> before = Rows(bmp);
                op.run(proc);
                const std::vector<std::uint8_t> after = Rows(bmp);
                const int afterW = bmp.GetWidth();
                const TIEPixelFormat afterF = bmp.GetPixelFormat();
                proc.SaveRedo();
                proc.Undo();
                ASSERT_EQ(bmp.GetWidth(), 21) << op.name << " " << int(f) << " " << StorageName(storage);
                ASSERT_EQ(bmp.GetPixelFormat(), f) << op.name;
                ASSERT_EQ(Rows(bmp), before) << op.name << " " << int(f) << " " << StorageName(storage);
                proc.Redo();
                ASSERT_EQ(bmp.GetWidth(), afterW) << op.name;
                ASSERT_EQ(bmp.GetPixelFormat(), afterF) << op.name;
                ASSERT_EQ(Rows(bmp), after) << op.name << " " << int(f) << " " << StorageName(storage);
            }
}

TEST(Proc, PublishesWhatNeedsNoWindowsInTheDeclaredOrder)
{
    // Every build publishes these, in this order; the Windows build adds those naming GUI classes.
    const std::vector<std::string> portable = {"AutoUndo",       "Background", "OnProgress", "MsgLanguage",
                                               "PreviewsParams", "OnPreview",  "UndoLimit"};
    std::vector<std::string> names;
    for (const rtl::TPropInfo& p : TVodirAdProc::StaticClassInfo().Props)
        if (std::find(portable.begin(), portable.end(), p.Name) != portable.end())
            names.push_back(p.Name);
    EXPECT_EQ(names, portable);
    // Set by name, as a description sets them.
    TVodirAdProc proc(nullptr);
    rtl::SetOrdProp(proc, "MsgLanguage", msGerman);
    rtl::SetOrdProp(proc, "PreviewsParams", 1);
    EXPECT_EQ(proc.MsgLanguage, msGerman);
    EXPECT_TRUE(proc.PreviewsParams.Contains(prppDefaultLockPreview));
    EXPECT_THROW(rtl::SetOrdProp(proc, "MsgLanguage", kMsgLanguageCount), rtl::Exception);
}

TEST(Proc, ResampleResolvesTheHeightFirst)
{
    struct TCase {
        int w, h;
        int expectW, expectH;
        bool undo;
    };
    // Both sizes negative change nothing, but the undo entry is saved before that is known.
    const TCase cases[] = {
        {-1, 100, 200, 100, true}, {-1, 0, 400, 200, true},  {-1, -1, 400, 200, true},
        {0, -50, 400, 50, true},   {100, -1, 100, 50, true}, {-7, -9, 400, 200, true},
        {-1, -3, 400, 200, true},  {0, 0, 400, 200, true},   {50, 1, 50, 1, true},
    };
    for (const TCase& c : cases) {
        TVodirAdProc proc(nullptr);
        proc.Bitmap()->Allocate(400, 200, ie24RGB);
        proc.Resample(c.w, c.h, rfNone);
        EXPECT_EQ(proc.Bitmap()->GetWidth(), c.expectW) << c.w << "," << c.h;
        EXPECT_EQ(proc.Bitmap()->GetHeight(), c.expectH) << c.w << "," << c.h;
        EXPECT_EQ(proc.UndoCount(), c.undo ? 1 : 0) << c.w << "," << c.h;
        if (c.undo) {
            EXPECT_EQ(proc.UndoCaption(0), "Resample " + std::to_string(c.w) + "," + std::to_string(c.h));
        }
    }
    // Without AutoUndo nothing is saved, whatever the sizes.
    for (auto [w, h] : {std::pair{-1, -1}, {30, 20}}) {
        TVodirAdProc quiet(nullptr);
        quiet.AutoUndo = false;
        quiet.Bitmap()->Allocate(40, 20, ie24RGB);
        quiet.Resample(w, h, rfNone);
        EXPECT_EQ(quiet.UndoCount(), 0) << w << "," << h;
    }
    // A huge aspect product does not overflow.
    TVodirAdProc tall(nullptr);
    tall.Bitmap()->Allocate(60000, 2, ie8g);
    tall.Resample(-1, 1, rfNone);
    EXPECT_EQ(tall.Bitmap()->GetWidth(), 30000);
}

TEST(Proc, FilteredResampleFillsEveryFormat)
{
    for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f}) {
        TVodirAdProc proc(nullptr);
        TIEBitmap& bmp = *proc.Bitmap();
        bmp.Allocate(9, 9, f);
        bmp.Fill(f == ie24RGB ? 0xFFFFFF : f == ie32f ? 1.0 : f == ie16g ? 65535 : 255);
        if (f == ie8p)
            for (int i = 0; i < 256; ++i)
                bmp.SetPaletteColor(i, {255, 255, 255});
        for (TResampleFilter filter : {rfTriangle, rfBicubic, rfLanczos3}) {
            proc.Resample(23, 5, filter);
            ASSERT_EQ(bmp.GetWidth(), 23);
            for (int y = 0; y < bmp.GetHeight(); ++y)
                for (int x = 0; x < bmp.GetWidth(); ++x)
                    ASSERT_EQ(bmp.GetPixelRGB(x, y), (TRGB{255, 255, 255}))
                        << int(f) << " filter " << int(filter);
            proc.Resample(9, 9, filter);
        }
    }
}

TEST(Proc, UndoListKeepsTheNewestEntriesUpToItsLimit)
{
    TVodirAdProc proc(nullptr);
    proc.SetUndoLimit(0);
    EXPECT_EQ(proc.UndoLimit(), 1);
    TIEBitmap& bmp = *proc.Bitmap();
    bmp.Allocate(4, 4, ie24RGB);
    bmp.Fill(0x102030);
    proc.ConvertToGray();
    const std::vector<std::uint8_t> grey = Rows(bmp);
    proc.ConvertTo(2);
    ASSERT_EQ(proc.UndoCount(), 1);
    EXPECT_EQ(proc.UndoCaption(0), "ConvertTo 2");
    proc.Undo();
    EXPECT_EQ(Rows(bmp), grey);
    bmp.Fill(0);
    proc.Undo();  // the same newest entry again
    EXPECT_EQ(Rows(bmp), grey);
    proc.SetUndoLimit(3);
    proc.ConvertToGray();
    proc.ConvertToGray();
    EXPECT_EQ(proc.UndoCount(), 3);
    proc.DropNewestRedo();  // nothing to drop
    EXPECT_EQ(proc.RedoCount(), 0);
}

TEST(Proc, ALoweredUndoLimitKeepsTheNextEntrysCaption)
{
    struct TCase {
        int from, to;
    };
    for (const TCase c : {TCase{3, 1}, TCase{3, 2}, TCase{4, 2}, TCase{2, 2}}) {
        TVodirAdProc proc(nullptr);
        proc.SetUndoLimit(c.from);
        TIEBitmap& bmp = *proc.Bitmap();
        bmp.Allocate(4, 4, ie24RGB);
        bmp.Fill(0x102030);
        for (int i = 0; i < c.from; ++i)
            proc.ConvertToGray();
        ASSERT_EQ(proc.UndoCount(), c.from);
        proc.SetUndoLimit(c.to);
        proc.ConvertTo(2);
        ASSERT_EQ(proc.UndoCount(), c.to) << c.from << " to " << c.to;
        // Captions are in list order, oldest first.
        EXPECT_EQ(proc.UndoCaption(c.to - 1), "ConvertTo 2") << c.from << " to " << c.to;
        for (int i = 0; i < c.to - 1; ++i)
            EXPECT_EQ(proc.UndoCaption(i), "ConvertToGray") << c.from << " to " << c.to;
    }
}

TEST(Proc, OperationEdgeCases)
{
    TVodirAdProc proc(nullptr);
    TIEBitmap& bmp = *proc.Bitmap();
    // Nothing happens, and nothing is saved, on an empty image.
    proc.ConvertToGray();
    proc.Resample(10, 10, rfTriangle);
    proc.ConvertTo(16);
    EXPECT_EQ(proc.UndoCount(), 0);
    EXPECT_EQ(bmp.GetWidth(), 0);

    // A uniform grey equals its own average: threshold makes it all white.
    bmp.Allocate(8, 8, ie24RGB);
    bmp.Fill(0x808080);
    proc.ConvertTo(2, 1);
    ASSERT_EQ(bmp.GetPixelFormat(), ie1g);
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(bmp.ScanLine(y)[0], 0xFF);

    bmp.Allocate(8, 8, ie24RGB);
    bmp.Fill(0x123456);
    const std::vector<std::uint8_t> before = Rows(bmp);
    TRGB palette[256];
    proc.ConvertToPalette(1500, palette);
    EXPECT_EQ(Rows(bmp), before);
    EXPECT_EQ(proc.UndoCaption(0), "ConvertToPalette");
    proc.ConvertToPalette(2, palette);
    EXPECT_EQ(palette[0], (TRGB{0, 0, 0}));
    EXPECT_EQ(palette[1], (TRGB{255, 255, 255}));

    TVodirAdProc indexed(nullptr);
    Fill(*indexed.Bitmap(), 5, 5, ie8p, 3);
    const std::vector<std::uint8_t> pixels = Rows(*indexed.Bitmap());
    indexed.ConvertToGray();
    EXPECT_EQ(Rows(*indexed.Bitmap()), pixels);
}

}  // namespace
