// Tests of the skin drawing helpers: pixels compared with what ImageMagick makes of the same BMP
// files (crops, quarter turns, pixel-repeating scales, tiles, colour replacement).
#include "skin/SUIPublic.h"

#include "platform/win/ExtCtrls.h"
#include "platform/win/StdCtrls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using win::TBitmap;

std::string Ref(const std::string& name) { return std::string(VA_DRAW_REFS) + name; }

std::unique_ptr<TBitmap> Load(const std::string& name)
{
    auto b = std::make_unique<TBitmap>();
    b->LoadFromFile(Ref(name));
    b->SetPixelFormat(win::pf24bit);
    return b;
}

std::unique_ptr<TBitmap> Canvas(int width, int height, win::TColor color)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(win::pf24bit);
    b->SetSize(width, height);
    b->Canvas()->Brush()->SetColor(color);
    b->Canvas()->FillRect(win::Rect(0, 0, width, height));
    return b;
}

// Pixel-exact, or within `tolerance` per channel; names the first pixel that differs.
::testing::AssertionResult SamePixels(TBitmap& actual, const std::string& refName, int tolerance = 0)
{
    auto expected = Load(refName);
    actual.SetPixelFormat(win::pf24bit);
    if (actual.Width() != expected->Width() || actual.Height() != expected->Height())
        return ::testing::AssertionFailure()
               << refName << ": size " << actual.Width() << "x" << actual.Height() << ", expected "
               << expected->Width() << "x" << expected->Height();
    for (int y = 0; y < actual.Height(); ++y) {
        const auto* a = static_cast<const std::uint8_t*>(actual.ScanLine(y));
        const auto* e = static_cast<const std::uint8_t*>(expected->ScanLine(y));
        for (int x = 0; x < actual.Width() * 3; ++x)
            if (std::abs(a[x] - e[x]) > tolerance)
                return ::testing::AssertionFailure()
                       << refName << ": pixel (" << x / 3 << ", " << y << ") channel " << x % 3 << " is "
                       << int(a[x]) << ", expected " << int(e[x]);
    }
    return ::testing::AssertionSuccess();
}

// ---- cutting ----

TEST(CutBitmapPiece, PiecesMatchImageMagickCrops)
{
    auto source = Load("pattern.bmp");
    for (int index = 1; index <= 3; ++index) {
        TBitmap piece;
        skin::CutBitmapPiece(source.get(), &piece, 3, index);
        EXPECT_TRUE(SamePixels(piece, "piece" + std::to_string(index) + ".bmp"));
    }
}

TEST(CutBitmapPiece, TwentyPixelsInThreeStartAtZeroSixAndFourteen)
{
    auto source = Canvas(20, 4, win::clWhite);
    for (int x = 0; x < 20; ++x)
        source->Canvas()->SetPixels(x, 0, x);  // each column marked with its X
    const int starts[] = {0, 6, 14};
    for (int index = 1; index <= 3; ++index) {
        TBitmap piece;
        skin::CutBitmapPiece(source.get(), &piece, 3, index);
        EXPECT_EQ(piece.Width(), 6);
        EXPECT_EQ(piece.Canvas()->Pixels(0, 0), starts[index - 1]) << index;
    }
}

TEST(CutBitmapPiece, ImpossibleCutsGiveAnEmptyBitmap)
{
    auto source = Load("pattern.bmp");
    const std::pair<int, int> cuts[] = {{0, 1}, {-2, 1}, {3, 0}, {3, 4}, {3, -1}, {24, 1}};
    for (const auto& [count, index] : cuts) {
        auto dest = Canvas(5, 5, win::clRed);
        skin::CutBitmapPiece(source.get(), dest.get(), count, index);
        EXPECT_TRUE(dest->Empty()) << count << "/" << index;
    }
    TBitmap same;
    same.Assign(source.get());
    skin::CutBitmapPiece(&same, &same, 3, 3);  // source and destination the same bitmap
    EXPECT_TRUE(SamePixels(same, "piece3.bmp"));
}

// ---- three and nine parts ----

// Ends as they are and the middle stretched; narrower than a piece, the left piece cut; with
// the transparent colour the canvas shows through.
TEST(DrawThreePartBitmap, MatchesImageMagickComposites)
{
    struct Case {
        const char* Source;
        int Width;
        bool Masked;
        const char* Expected;
    };
    const Case cases[] = {{"pattern.bmp", 35, false, "three.bmp"},
                          {"pattern.bmp", 5, false, "three_narrow.bmp"},
                          {"keyed.bmp", 35, true, "three_masked.bmp"}};
    for (const Case& c : cases) {
        auto source = Load(c.Source);
        auto dest = Canvas(c.Width, 11, win::clGray);
        skin::DrawThreePartBitmap(source.get(), dest->Canvas(), win::Rect(0, 0, c.Width, 11), win::clFuchsia,
                                  c.Masked);
        EXPECT_TRUE(SamePixels(*dest, c.Expected));
    }
}

TEST(DrawThreePartBitmapFilled, CornerColourShowsTheFillInTheMiddle)
{
    auto source = Load("keyed.bmp");
    auto dest = Canvas(35, 22, win::clGray);
    skin::DrawThreePartBitmapFilled(source.get(), dest->Canvas(), win::Rect(0, 0, 35, 22), true, win::clBlue,
                                    true);
    EXPECT_TRUE(SamePixels(*dest, "three_filled.bmp"));
}

TEST(DrawNineGrid, CornersUnscaledEdgesAndCentreStretched)
{
    auto source = Load("nine_src.bmp");
    auto dest = Canvas(40, 25, win::clBlack);
    skin::DrawNineGrid(source.get(), dest->Canvas(), win::Rect(0, 0, 40, 25), false);
    EXPECT_TRUE(SamePixels(*dest, "nine.bmp"));
}

TEST(DrawNineGrid, TransparentCornersLeaveMagentaOut)
{
    auto source = Load("nine_src.bmp");
    source->Canvas()->SetPixels(0, 0, win::clFuchsia);
    auto dest = Canvas(40, 25, win::clGray);
    skin::DrawNineGrid(source.get(), dest->Canvas(), win::Rect(0, 0, 40, 25), true);
    EXPECT_EQ(dest->Canvas()->Pixels(0, 0), win::clGray);
    auto reference = Load("nine.bmp");
    EXPECT_EQ(dest->Canvas()->Pixels(39, 24), reference->Canvas()->Pixels(39, 24));
    EXPECT_EQ(dest->Canvas()->Pixels(1, 0), reference->Canvas()->Pixels(1, 0));
}

// ---- stretching, tiling, recolouring, rotating ----

TEST(StretchBitmapHalftone, DoublesCloseToImageMagick)
{
    auto source = Load("pattern.bmp");
    auto dest = Canvas(46, 22, win::clBlack);
    skin::StretchBitmapHalftone(source.get(), dest->Canvas(), win::Rect(0, 0, 46, 22));
    // Halftone may blend neighbours; it must still be the same picture.
    EXPECT_TRUE(SamePixels(*dest, "doubled.bmp", 96));
}

TEST(TileGraphic, RepeatsThePictureFromTheOrigin)
{
    win::TPicture picture;
    picture.LoadFromFile(Ref("pattern.bmp"));
    auto dest = Canvas(50, 30, win::clBlack);
    skin::TileGraphic(dest->Canvas(), &picture, win::Rect(0, 0, 50, 30));
    EXPECT_TRUE(SamePixels(*dest, "tiled.bmp"));

    win::TPicture empty;
    auto untouched = Canvas(4, 4, win::clRed);
    skin::TileGraphic(untouched->Canvas(), &empty, win::Rect(0, 0, 4, 4));
    EXPECT_EQ(untouched->Canvas()->Pixels(2, 2), win::clRed);
}

TEST(ReplaceBitmapColor, ReplacesExactlyThatColour)
{
    auto bitmap = Load("keyed.bmp");
    skin::ReplaceBitmapColor(bitmap.get(), win::clFuchsia, 0x00FF8000);
    EXPECT_TRUE(SamePixels(*bitmap, "replaced.bmp"));

    TBitmap palette;
    palette.LoadFromFile(Ref("keyed.bmp"));
    palette.SetPixelFormat(win::pf8bit);
    skin::ReplaceBitmapColor(&palette, win::clFuchsia, 0x00FF8000);
    EXPECT_EQ(palette.PixelFormat(), win::pf24bit);
}

TEST(RotateBitmap, QuarterTurnsMatchImageMagick)
{
    auto bitmap = Load("pattern.bmp");
    skin::RotateBitmapRight(bitmap.get());
    EXPECT_TRUE(SamePixels(*bitmap, "right.bmp"));
    bitmap = Load("pattern.bmp");
    skin::RotateBitmapLeft(bitmap.get());
    EXPECT_TRUE(SamePixels(*bitmap, "left.bmp"));
    skin::RotateBitmapRight(bitmap.get());
    EXPECT_TRUE(SamePixels(*bitmap, "pattern.bmp"));
}

// ---- geometry and helpers ----

TEST(Geometry, InsideTestsIncludeAllFourEdges)
{
    const win::TRect r = win::Rect(10, 20, 30, 40);
    struct Case {
        int X, Y;
        bool Inside;
    };
    const Case cases[] = {{10, 20, true}, {30, 40, true},  {30, 20, true},  {10, 40, true}, {20, 30, true},
                          {9, 30, false}, {31, 30, false}, {20, 19, false}, {20, 41, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(skin::CoordInRect(c.X, c.Y, r), c.Inside) << c.X << "," << c.Y;
        EXPECT_EQ(skin::PointInRect(win::Point(c.X, c.Y), r), c.Inside) << c.X << "," << c.Y;
    }
    EXPECT_EQ(skin::StrFromBuffer("abc\0def"), "abc");
    EXPECT_EQ(skin::StrFromBuffer(""), "");
    win::TRect work;
    skin::GetWorkAreaRect(work);
    EXPECT_FALSE(work.IsEmpty());
}

// The parent's 10-pixel bevel (light top and left, dark bottom and right) tells where in it the
// picture comes from: only the part under the control may show.
TEST(PaintParentBackground, DrawsTheParentUnderTheControl)
{
    const win::TColor face = 0x00336699;
    const win::TColor light = win::ColorToRGB(win::clBtnHighlight), dark = win::ColorToRGB(win::clBtnShadow);
    ASSERT_NE(light, face);
    ASSERT_NE(dark, face);
    struct TProbe {
        int x, y;
        win::TColor want;
    };
    struct TCase {
        int left, top;
        std::vector<TProbe> probes;
    };
    const TCase cases[] = {
        {60, 30, {{5, 5, face}, {35, 5, dark}, {29, 35, face}, {35, 35, dark}}},  // parent x 90-99 is dark
        {5, 55, {{2, 2, light}, {20, 2, face}, {20, 39, dark}}},                  // parent y 90-99 is dark
        {45, 0, {{5, 5, light}, {5, 20, face}}},                                  // parent y 0-9 is light
    };
    for (const TCase& c : cases) {
        auto* form = new win::TForm(win::Application);
        form->SetBounds(0, 0, 200, 150);
        auto* panel = new win::TPanel(form);
        panel->SetParent(form);
        panel->SetBounds(10, 10, 100, 100);
        panel->SetColor(face);
        panel->SetBevelOuter(win::bvRaised);
        panel->SetBevelWidth(10);
        auto* child = new win::TPanel(form);
        child->SetParent(panel);
        child->SetBounds(c.left, c.top, 40, 40);
        form->Show();
        auto target = Canvas(40, 40, win::clBlack);
        skin::PaintParentBackground(target->Canvas(), child);
        for (const TProbe& p : c.probes)
            EXPECT_EQ(target->Canvas()->Pixels(p.x, p.y), p.want)
                << "child at " << c.left << "," << c.top << ", pixel " << p.x << "," << p.y;
        delete form;
    }
}

TEST(LateBoundCalls, AnswerForARealComboBox)
{
    auto* form = new win::TForm(win::Application);
    auto* combo = new win::TComboBox(form);
    combo->SetParent(form);
    form->Show();
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    EXPECT_NE(skin::CallGetComboBoxInfo(combo->Handle(), &info), 0);
    EXPECT_GT(info.rcButton.right - info.rcButton.left, 0);
    delete form;
}

}  // namespace
