// Tests of the palette picker driven by window messages: layout, painted cells, pointer, clicks and keys.
#include "imaging/core/hyieutils_win32.h"

#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace imaging;

namespace {

constexpr win::TColor kMarker = 0x00123456;

std::vector<TRGB> TestPalette(int count)
{
    std::vector<TRGB> p;
    for (int i = 0; i < count; ++i)
        p.push_back(TRGB{std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(255 - i)});
    return p;
}

win::TColor ColorOf(const TRGB& c)
{
    return win::TColor(c.r) | (win::TColor(c.g) << 8) | (win::TColor(c.b) << 16);
}

LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

class PaletteDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog_ = new TVodirAdPaletteDialog(win::Application);
        palette_ = TestPalette(40);
        dialog_->SetPalette(palette_.data(), int(palette_.size()));
    }
    void TearDown() override { delete dialog_; }

    void Move(int x, int y) { ::SendMessageA(dialog_->Handle(), WM_MOUSEMOVE, 0, At(x, y)); }
    void Click(int x, int y)
    {
        ::SendMessageA(dialog_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
        ::SendMessageA(dialog_->Handle(), WM_LBUTTONUP, 0, At(x, y));
    }
    // What the dialog paints, drawn into a bitmap through the window's own paint message.
    std::unique_ptr<win::TBitmap> Painted()
    {
        auto bmp = std::make_unique<win::TBitmap>();
        bmp->SetPixelFormat(win::pf24bit);
        bmp->SetSize(520, 160);
        bmp->Canvas()->Brush()->SetColor(kMarker);
        bmp->Canvas()->FillRect(win::TRect{0, 0, 520, 160});
        ::SendMessageA(dialog_->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(bmp->Canvas()->Handle()), 0);
        return bmp;
    }
    // Every pixel of cell i: outline in `outline`, inside in the palette colour, gap untouched.
    void ExpectCell(win::TBitmap& bmp, int i, win::TColor outline)
    {
        const int left = (i % 32) * 16, top = (i / 32) * 16;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                win::TColor expected = ColorOf(palette_[std::size_t(i)]);
                if (x == 0 || y == 0)
                    expected = kMarker;
                else if (x == 1 || x == 15 || y == 1 || y == 15)
                    expected = outline;
                ASSERT_EQ(bmp.Canvas()->Pixels(left + x, top + y) & 0xFFFFFF, expected)
                    << "cell " << i << " at " << x << "," << y;
            }
    }

    TVodirAdPaletteDialog* dialog_ = nullptr;
    std::vector<TRGB> palette_;
};

TEST_F(PaletteDialog, IsBuiltWithItsCaptionSizeAndCancelButton)
{
    EXPECT_EQ(dialog_->Caption(), "Palette");
    EXPECT_EQ(dialog_->Width(), 520);
    EXPECT_EQ(dialog_->Height(), 199);
    EXPECT_EQ(dialog_->BorderStyle(), win::bsDialog);
    EXPECT_EQ(dialog_->BorderIcons(), win::TBorderIcons{win::biSystemMenu});
    EXPECT_EQ(dialog_->Position(), win::poScreenCenter);
    ASSERT_NE(dialog_->CancelButton, nullptr);
    EXPECT_EQ(dialog_->CancelButton->Caption(), "&Cancel");
    EXPECT_EQ(dialog_->CancelButton->Left(), 4);
    EXPECT_EQ(dialog_->CancelButton->Top(), 136);
    EXPECT_TRUE(dialog_->CancelButton->Cancel());
    EXPECT_EQ(dialog_->CancelButton->ModalResult(), win::mrCancel);
    EXPECT_EQ(dialog_->Selected(), -1);
    EXPECT_EQ(dialog_->ColorCount(), 40);
}

TEST_F(PaletteDialog, PaintsEveryCellInItsColourWithAWhiteOutlineAndNothingBeyond)
{
    dialog_->Show();
    auto bmp = Painted();
    for (int i = 0; i < 40; ++i)
        ExpectCell(*bmp, i, win::clWhite);
    // Past the last colour, and the 32-column edge, nothing is drawn.
    for (int x = 0; x < 520; x += 3)
        EXPECT_EQ(bmp->Canvas()->Pixels(x, 40) & 0xFFFFFF, kMarker) << x;
    for (int y = 0; y < 32; ++y)
        EXPECT_EQ(bmp->Canvas()->Pixels(513, y) & 0xFFFFFF, kMarker) << y;
}

TEST_F(PaletteDialog, PointerOutlinesTheCellUnderItInBlackOnTheWindow)
{
    dialog_->Show();
    Move(3 * 16 + 5, 16 + 9);  // column 3, row 1
    EXPECT_EQ(dialog_->Selected(), 35);
    auto bmp = Painted();
    ExpectCell(*bmp, 35, win::clBlack);
    ExpectCell(*bmp, 34, win::clWhite);
    // The window itself was repainted at once.
    HDC dc = ::GetDC(dialog_->Handle());
    const COLORREF corner = ::GetPixel(dc, 3 * 16 + 1, 16 + 1);
    const COLORREF inside = ::GetPixel(dc, 3 * 16 + 8, 16 + 8);
    ::ReleaseDC(dialog_->Handle(), dc);
    EXPECT_EQ(corner, RGB(0, 0, 0));
    EXPECT_EQ(inside, win::ColorToRGB(ColorOf(palette_[35])));
    Move(16 * 16 + 1, 1);  // the very first pixel of cell 16
    EXPECT_EQ(dialog_->Selected(), 16);
    Move(16 * 16 + 16, 16);  // last pixel of cell 16
    EXPECT_EQ(dialog_->Selected(), 16);
}

TEST_F(PaletteDialog, PointerOffTheGridOrPastTheColoursKeepsTheSelection)
{
    dialog_->Show();
    Move(5, 5);
    ASSERT_EQ(dialog_->Selected(), 0);
    Move(13 * 16 + 5, 16 + 5);  // cell 45 of 40
    EXPECT_EQ(dialog_->Selected(), 0);
    Move(32 * 16 + 2, 5);  // right of the grid: not cell 32 of the next row
    EXPECT_EQ(dialog_->Selected(), 0);
    Move(-20, 20);  // dragged left of the window: not cell 31 of the row above
    EXPECT_EQ(dialog_->Selected(), 0);
    Move(20, -3);
    EXPECT_EQ(dialog_->Selected(), 0);
}

TEST_F(PaletteDialog, ClickBeforeAnyCellIsSelectedIsIgnored)
{
    dialog_->Show();
    dialog_->SelectedColor = kMarker;
    Click(300, 150);
    Click(8, 8);  // a click with no move before it selects nothing either
    EXPECT_EQ(dialog_->ModalResult(), win::mrNone);
    EXPECT_EQ(dialog_->SelectedColor, kMarker);
}

TEST_F(PaletteDialog, ClickTakesTheSelectedColourAndAnswersOk)
{
    dialog_->Show();
    Move(7 * 16 + 8, 8);
    Click(7 * 16 + 8, 8);
    EXPECT_EQ(dialog_->ModalResult(), win::mrOk);
    EXPECT_EQ(dialog_->SelectedColor, ColorOf(palette_[7]));
}

TEST_F(PaletteDialog, ShrinkingThePaletteDropsASelectionBeyondIt)
{
    dialog_->Show();
    Move(3 * 16 + 5, 16 + 9);
    ASSERT_EQ(dialog_->Selected(), 35);
    dialog_->SetPalette(palette_.data(), 10);
    EXPECT_EQ(dialog_->Selected(), -1);
    Click(3 * 16 + 5, 16 + 9);
    EXPECT_EQ(dialog_->ModalResult(), win::mrNone);
    auto big = TestPalette(256);
    dialog_->SetPalette(big.data(), 100000);
    EXPECT_EQ(dialog_->ColorCount(), 256);
    Move(31 * 16 + 8, 7 * 16 + 8);
    EXPECT_EQ(dialog_->Selected(), 255);
    dialog_->SetPalette(nullptr, 5);
    EXPECT_EQ(dialog_->ColorCount(), 0);
    EXPECT_EQ(dialog_->Selected(), -1);
}

TEST_F(PaletteDialog, ExecuteReturnsTrueWithTheColourClickedInTheModalLoop)
{
    dialog_->OnShow = [this](rtl::TObject*) {
        HWND wnd = dialog_->Handle();
        ::PostMessageA(wnd, WM_MOUSEMOVE, 0, At(9 * 16 + 4, 4));
        ::PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(9 * 16 + 4, 4));
        ::PostMessageA(wnd, WM_LBUTTONUP, 0, At(9 * 16 + 4, 4));
    };
    EXPECT_TRUE(dialog_->Execute());
    EXPECT_EQ(dialog_->SelectedColor, ColorOf(palette_[9]));
    EXPECT_FALSE(dialog_->Visible());
}

TEST_F(PaletteDialog, EscapeOrTheCancelButtonEndsWithoutAColour)
{
    dialog_->SelectedColor = kMarker;
    dialog_->OnShow = [this](rtl::TObject*) {
        ::PostMessageA(dialog_->Handle(), WM_MOUSEMOVE, 0, At(20, 4));
        ::PostMessageA(dialog_->CancelButton->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_FALSE(dialog_->Execute());
    EXPECT_EQ(dialog_->SelectedColor, kMarker);
    dialog_->OnShow = [this](rtl::TObject*) {
        ::PostMessageA(dialog_->CancelButton->Handle(), BM_CLICK, 0, 0);
    };
    EXPECT_FALSE(dialog_->Execute());
    EXPECT_EQ(dialog_->SelectedColor, kMarker);
    // The button is the dialog's only focusable control, so Enter presses it too.
    dialog_->OnShow = [this](rtl::TObject*) {
        ::PostMessageA(dialog_->Handle(), WM_MOUSEMOVE, 0, At(40, 4));
        ::PostMessageA(dialog_->CancelButton->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    };
    EXPECT_FALSE(dialog_->Execute());
    EXPECT_EQ(dialog_->Selected(), 2);
    EXPECT_EQ(dialog_->SelectedColor, kMarker);
}

}  // namespace
