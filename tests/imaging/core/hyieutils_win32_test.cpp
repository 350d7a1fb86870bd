// Tests of the helpers that need the GUI layer: owner window lookup and the gradient rulers.
#include "imaging/core/hyieutils.h"

#include "imaging/core/iewords.h"
#include "imaging/core/vodiradproc.h"

#include "platform/win/Graphics.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace imaging;

namespace {

TEST(OwnerWindow, AComponentWithoutWindowedOwnerHasNone)
{
    EXPECT_EQ(FindOwnerWindowHandle(nullptr), nullptr);
    rtl::TComponent plain(nullptr);
    EXPECT_EQ(FindOwnerWindowHandle(&plain), nullptr);
}

TEST(Rulers, HorizontalRampColumnsFollowTheExponential)
{
    win::TBitmap bmp;
    bmp.SetPixelFormat(win::pf24bit);
    bmp.SetSize(64, 64);
    auto* canvas = bmp.Canvas();
    canvas->Brush()->SetColor(0x000000FF);
    canvas->FillRect(win::TRect{0, 0, 64, 64});
    DrawHorzGradientRuler(*canvas, 0, 0, 9, 40, 2);  // W = 10: columns from row 10 down
    for (int i = 0; i < 10; ++i) {
        const int expected = int(std::trunc(std::exp(i / 10.0) / std::exp(1.0) * 255));
        EXPECT_EQ(canvas->Pixels(i, 12) & 0xFF, expected) << i;
        EXPECT_EQ(canvas->Pixels(i, 5) & 0xFFFFFF, 0x0000FF) << "above the ruler stays untouched";
    }
    DrawHorzGradientRuler(*canvas, 0, 0, 100000000, 5, 3);  // absurd: nothing, and no hang
    DrawVertGradientRuler(*canvas, 20, 20, 60, 29, 3);
    EXPECT_NE(canvas->Pixels(45, 25) & 0xFFFFFF, 0x0000FF);
}

TEST(SystemServices, SystemColoursResolveThroughTheSystemTable)
{
    for (win::TColor system : {win::clBtnFace, win::clWindow}) {
        TRGB c;
        TColorToRGB(system, c);
        EXPECT_EQ(static_cast<std::uint32_t>(SwapRedBlue(c)),
                  static_cast<std::uint32_t>(win::ColorToRGB(system)));
    }
}

TEST(SystemServices, SystemLanguageComesFromTheUser)
{
    // Wine's prefix runs in English unless told otherwise; either way the row is a filled one.
    EXPECT_FALSE(IEGetMessage(0, msSystem).empty());
}

}  // namespace
