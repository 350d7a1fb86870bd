// Tests of the skinned track bar and image panel, worked by messages on forms read from
// descriptions: channel and thumb from the skin in every style and both orientations, keys, the
// guards of the range and of short bars, 64-bit thumb arithmetic, dragging, paging and its end.
#include "skin/SUIImagePanel.h"
#include "skin/SUITrackBar.h"

#include "SkinTestSupport.h"
#include "skin/SUI2Define.h"

#include <cmath>
#include <limits>

namespace {

using namespace skintest;
using skin::TsuiUIStyle;

constexpr COLORREF kWhite = RGB(255, 255, 255);

struct TrackFixture : FormFixture {
    void Load(const std::string& body, int w = 420, int h = 260) { ShowBody(body, w, h); }
    skin::TsuiTrackBar* Bar(const char* name) { return Find<skin::TsuiTrackBar>(name); }
};

std::string TrackText(const char* name, int left, int top, int length, bool vertical,
                      const std::string& extra = "")
{
    return std::string("  object ") + name + ": TsuiTrackBar\n    Left = " + std::to_string(left) +
           "\n    Top = " + std::to_string(top) + "\n" +
           (vertical ? "    Orientation = suiVertical\n    Height = " : "    Width = ") +
           std::to_string(length) + "\n    Color = clWhite\n" + extra + "  end\n";
}

TEST_F(TrackFixture, ChannelAndThumbComeFromTheSkinInEveryStyleAndBothOrientations)
{
    for (TsuiUIStyle style : AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        const std::string extra = StyleLines(style) + "    Position = 5\n";
        Load(TrackText("Across", 20, 20, 200, false, extra) + TrackText("Down", 300, 20, 180, true, extra));
        win::TBitmap channel, across, down;
        win::TColor formColor;
        COLORREF key = RGB(255, 0, 255);
        if (style == skin::FromThemeFile) {
            channel.Assign(theme->GetBitmap(skin::SKIN2_TRACKBAR - 32));
            across.Assign(theme->GetBitmap(skin::SKIN2_TRACKBARSLIDER - 32));
            down.Assign(theme->GetBitmap(skin::SKIN2_TRACKBARVSLIDER - 32));
            formColor = theme->GetColor(skin::SKIN2_FORMCOLOR);
            key = win::ColorToRGB(theme->GetColor(skin::SKIN2_TRANSCOLOR));
        } else {
            skin::LoadBuiltInThemeBitmap(style, skin::SUI_THEME_TRACKBAR_BAR, &channel);
            skin::LoadBuiltInThemeBitmap(style, skin::SUI_THEME_TRACKBAR_SLIDER, &across);
            skin::LoadBuiltInThemeBitmap(style, skin::SUI_THEME_TRACKBAR_SLIDER_V, &down);
            formColor = skin::GetBuiltInThemeColor(style, skin::SUI_THEME_FORM_BACKGROUND_COLOR);
        }
        const COLORREF form = win::ColorToRGB(formColor);
        // The channel's corner pixel is its mask: the ends leave those pixels to the bar's colour.
        const COLORREF mask = PixelOf(channel, 0, 0);
        const int piece = channel.Width() / 3, ch = channel.Height();
        for (const char* name : {"Across", "Down"}) {
            SCOPED_TRACE(name);
            skin::TsuiTrackBar* bar = Bar(name);
            const bool horizontal = bar->Orientation() == skin::suiHorizontal;
            win::TBitmap& slider = horizontal ? across : down;
            const int cross = std::max(ch, horizontal ? slider.Height() : slider.Width());
            EXPECT_EQ(horizontal ? bar->Height() : bar->Width(), cross);
            const RECT r = RectOf(*bar);
            const Shot shot = Take();
            ExpectNothingOutside(shot, r, name);
            ExpectAllPainted(shot, r, name);
            // The thumb, at its place for position 5 of 0 to 10.
            const int length = horizontal ? bar->Width() : bar->Height();
            const int offset = (length - (horizontal ? slider.Width() : slider.Height())) * 5 / 10;
            const int tx = r.left + (horizontal ? offset : (cross - slider.Width()) / 2);
            const int ty = r.top + (horizontal ? (cross - slider.Height()) / 2 : offset);
            int wrong = 0;
            for (int y = 0; y < slider.Height(); ++y)
                for (int x = 0; x < slider.Width(); ++x) {
                    COLORREF want = PixelOf(slider, x, y);
                    wrong += shot.At(tx + x, ty + y) != (want == key ? form : want);
                }
            EXPECT_EQ(wrong, 0) << "thumb";
            // The channel's start piece at the start, lying across the middle (stood up with the
            // start on top for a vertical bar).
            const int c0 = (cross - ch) / 2;
            wrong = 0;
            for (int y = 0; y < ch; ++y)
                for (int x = 0; x < piece; ++x) {
                    COLORREF want = PixelOf(channel, x, y);
                    want = want == mask ? kWhite : want;
                    const COLORREF got = horizontal ? shot.At(r.left + x, r.top + c0 + y)
                                                    : shot.At(r.left + c0 + ch - 1 - y, r.top + x);
                    wrong += got != want;
                }
            EXPECT_EQ(wrong, 0) << "channel start";
            // Away from the channel and the thumb: the bar's own colour.
            EXPECT_EQ(horizontal ? shot.At(r.left + 2, r.top) : shot.At(r.left, r.top + 2), kWhite);
        }
        delete this->form;
        this->form = nullptr;
    }
}

TEST_F(TrackFixture, PositionStaysInRangeAndReportsEachChangeOnce)
{
    Load(TrackText("Bar", 20, 20, 200, false));
    skin::TsuiTrackBar* bar = Bar("Bar");
    int changes = 0;
    bar->OnChange = [&](rtl::TObject*) { ++changes; };
    bar->SetPosition(25);
    EXPECT_EQ(bar->Position(), 10);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(bar->LastChange(), 10);
    bar->SetPosition(12);
    EXPECT_EQ(changes, 1) << "still Max: no change";
    bar->SetMin(4);
    bar->SetMax(4);
    EXPECT_EQ(bar->Position(), 4);
    EXPECT_EQ(bar->Thumb()->Left(), 0) << "Min = Max: the thumb at the start";
}

TEST_F(TrackFixture, KeysMoveByLinePageAndToTheEnds)
{
    Load(TrackText("Bar", 20, 20, 200, false, "    Max = 100\n    PageSize = 10\n    LineSize = 3\n"));
    skin::TsuiTrackBar* bar = Bar("Bar");
    bar->SetFocus();
    HWND wnd = bar->Handle();
    const std::pair<WPARAM, int> keys[] = {{VK_END, 100}, {VK_PRIOR, 90}, {VK_LEFT, 87},  {VK_UP, 84},
                                           {VK_HOME, 0},  {VK_NEXT, 10},  {VK_RIGHT, 13}, {VK_DOWN, 16}};
    for (const auto& [key, position] : keys) {
        ::SendMessageA(wnd, WM_KEYDOWN, key, 1);
        EXPECT_EQ(bar->Position(), position) << key;
    }
    ::SendMessageA(wnd, WM_KEYDOWN, VK_HOME, 1);
    ::SendMessageA(wnd, WM_KEYDOWN, VK_PRIOR, 1);
    EXPECT_EQ(bar->Position(), 0) << "never below Min";
    EXPECT_EQ(::SendMessageA(wnd, WM_GETDLGCODE, 0, 0) & DLGC_WANTARROWS, DLGC_WANTARROWS);
}

TEST_F(TrackFixture, MinAboveMaxIsAnEmptyRangeAtMin)
{
    Load(TrackText("Bar", 20, 20, 200, false, "    Min = 30\n    Max = 10\n    Position = 20\n"));
    skin::TsuiTrackBar* bar = Bar("Bar");
    EXPECT_EQ(bar->Position(), 30);
    EXPECT_EQ(bar->UpperBound(), 30);
    EXPECT_EQ(bar->ThumbOffset(30), 0);
    EXPECT_EQ(bar->ValueAt(150), 30);
    ::SendMessageA(bar->Handle(), WM_KEYDOWN, VK_END, 1);
    EXPECT_EQ(bar->Position(), 30);
    ::SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(150, 5));
    ::SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, At(150, 5));
    EXPECT_EQ(bar->Position(), 30);
}

TEST_F(TrackFixture, ThumbArithmeticHoldsOverTheWholeIntegerRange)
{
    Load(TrackText("Bar", 20, 20, 311, false, "    Min = -2000000000\n    Max = 2000000000\n"));
    skin::TsuiTrackBar* bar = Bar("Bar");
    const int thumb = bar->Thumb()->Width();
    const int track = 311 - thumb;
    bar->SetPosition(1000000000);
    // (track) x (3e9) / (4e9): products beyond 32 bits.
    EXPECT_EQ(bar->ThumbOffset(1000000000), track * 3 / 4);
    EXPECT_EQ(bar->Thumb()->Left(), track * 3 / 4);
    EXPECT_EQ(bar->ThumbOffset(2000000000), track);
    EXPECT_EQ(bar->ThumbOffset(-2000000000), 0);
    EXPECT_EQ(bar->ValueAt(thumb / 2), -2000000000);
    EXPECT_EQ(bar->ValueAt(thumb / 2 + track), 2000000000);
    const long double middle = static_cast<long double>(track / 2) * 4000000000.0L / track;
    EXPECT_EQ(bar->ValueAt(thumb / 2 + track / 2), -2000000000LL + std::llround(middle));
    EXPECT_EQ(bar->ValueAt(std::numeric_limits<int>::max()), 2000000000);
    EXPECT_EQ(bar->ValueAt(std::numeric_limits<int>::min()), -2000000000);
    // Dragging across the whole bar reaches both ends.
    ::SendMessageA(bar->Thumb()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(2, 2));
    ::SendMessageA(bar->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(5000, 5));
    EXPECT_EQ(bar->Position(), 2000000000);
    ::SendMessageA(bar->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(-5000, 5));
    EXPECT_EQ(bar->Position(), -2000000000);
    ::SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, At(-5000, 5));
    EXPECT_EQ(bar->LastChange(), -4000000000LL);
}

TEST_F(TrackFixture, ABarShorterThanItsThumbKeepsTheThumbAtTheStartAndIgnoresTheMouse)
{
    Load(TrackText("Bar", 20, 20, 6, false, "    Position = 5\n"));
    skin::TsuiTrackBar* bar = Bar("Bar");
    ASSERT_LT(bar->Width(), bar->Thumb()->Width());
    EXPECT_EQ(bar->Thumb()->Left(), 0);
    EXPECT_EQ(bar->ValueAt(3), 5);
    ::SendMessageA(bar->Thumb()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(2, 2));
    ::SendMessageA(bar->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(100, 5));
    ::SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, At(100, 5));
    ::SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(1, 2));
    ::SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, At(1, 2));
    EXPECT_EQ(bar->Position(), 5);
}

TEST_F(TrackFixture, DraggingTheThumbReportsEveryChange)
{
    Load(TrackText("Bar", 20, 20, 211, false, "    Max = 200\n"));
    skin::TsuiTrackBar* bar = Bar("Bar");
    std::vector<int> seen;
    bar->OnChange = [&](rtl::TObject*) { seen.push_back(bar->Position()); };
    const int half = bar->Thumb()->Width() / 2;
    ::SendMessageA(bar->Thumb()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(half, 5));
    EXPECT_TRUE(bar->Focused()) << "pressing the thumb takes the focus";
    for (int x : {half + 50, half + 100, half + 100, half + 150})
        ::SendMessageA(bar->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(x, 5));
    ::SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, At(half + 150, 5));
    EXPECT_EQ(seen, (std::vector<int>{50, 100, 150}));
    EXPECT_EQ(bar->Thumb()->Left(), 150);
    EXPECT_FALSE(bar->Dragging());
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(TrackFixture, PagingRepeatsTowardTheMouseAndEveryWayOfLettingGoStopsIt)
{
    Load(TrackText("Bar", 20, 20, 211, false, "    Max = 200\n    PageSize = 9\n"));
    skin::TsuiTrackBar* bar = Bar("Bar");
    HWND wnd = bar->Handle();
    const int half = bar->Thumb()->Width() / 2;
    auto press = [&](int position) {
        bar->SetPosition(position);
        ::SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(half + 120, 5));
        ASSERT_TRUE(bar->Paging());
    };
    press(0);
    EXPECT_EQ(bar->Position(), 9);
    ASSERT_TRUE(PumpUntil([&] { return bar->Position() == 120; })) << "pages on, never past the mouse";
    ::SendMessageA(wnd, WM_LBUTTONUP, 0, At(900, 900));
    EXPECT_FALSE(bar->Paging()) << "released outside";

    press(0);
    ::SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, At(-3, 5));
    EXPECT_FALSE(bar->Paging()) << "the mouse left the bar";
    ::SendMessageA(wnd, WM_LBUTTONUP, 0, At(-3, 5));

    press(0);
    ::SetCapture(form->Handle());
    EXPECT_FALSE(bar->Paging()) << "the capture went elsewhere";
    ::ReleaseCapture();

    press(0);
    bar->SetEnabled(false);
    EXPECT_FALSE(bar->Paging()) << "disabled";
    bar->SetEnabled(true);

    press(0);
    bar->Hide();
    EXPECT_FALSE(bar->Paging()) << "hidden";
}

TEST_F(TrackFixture, TicksMarkEveryFrequencyStepAtTheThumbCentre)
{
    Load(TrackText("Bar", 20, 20, 211, false, "    Max = 20\n    Frequency = 5\n    ShowTick = True\n"));
    skin::TsuiTrackBar* bar = Bar("Bar");
    bar->Thumb()->Hide();
    const RECT r = RectOf(*bar);
    const Shot shot = Take();
    const COLORREF tick = RGB(128, 128, 128);
    const int half = bar->Thumb()->Width() / 2;
    for (int v = 0; v <= 20; v += 5)
        EXPECT_EQ(shot.At(r.left + bar->ThumbOffset(v) + half, r.bottom - 1), tick) << v;
    EXPECT_EQ(shot.Count(RECT{r.left, r.bottom - 1, r.right, r.bottom}, tick), 5);
}

// ---- image panel ----

TEST_F(TrackFixture, ImagePanelDrawsItsPictureNormallyStretchedOrTiled)
{
    Load(
        "  object Normal: TsuiImagePanel\n    Left = 20\n    Top = 20\n    Width = 35\n    Height = 20\n"
        "    Color = clWhite\n  end\n"
        "  object Stretched: TsuiImagePanel\n    Left = 80\n    Top = 20\n    Width = 30\n    Height = 24\n"
        "    DrawStyle = suiStretch\n  end\n"
        "  object Tiled: TsuiImagePanel\n    Left = 140\n    Top = 20\n    Width = 35\n    Height = 20\n"
        "    DrawStyle = suiTile\n  end\n"
        "  object Clear: TsuiImagePanel\n    Left = 200\n    Top = 20\n    Width = 35\n    Height = 20\n"
        "    Transparent = True\n  end\n"
        "  object Sized: TsuiImagePanel\n    Left = 260\n    Top = 20\n    AutoSize = True\n  end\n");
    // 10 x 8: a red left half and a blue right half.
    win::TBitmap picture;
    picture.SetPixelFormat(win::pf24bit);
    picture.SetSize(10, 8);
    picture.Canvas()->Brush()->SetColor(win::clRed);
    picture.Canvas()->FillRect(win::Rect(0, 0, 5, 8));
    picture.Canvas()->Brush()->SetColor(win::clBlue);
    picture.Canvas()->FillRect(win::Rect(5, 0, 10, 8));
    for (const char* name : {"Normal", "Stretched", "Tiled", "Clear", "Sized"})
        static_cast<skin::TsuiImagePanel*>(form->FindComponent(name))->Picture()->SetBitmap(&picture);
    auto* sized = static_cast<skin::TsuiImagePanel*>(form->FindComponent("Sized"));
    EXPECT_EQ(sized->Width(), 10);
    EXPECT_EQ(sized->Height(), 8);
    const Shot shot = Take();
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    EXPECT_EQ(shot.Count(RECT{20, 20, 55, 40}, red), 40);
    EXPECT_EQ(shot.Count(RECT{20, 20, 55, 40}, blue), 40);
    EXPECT_EQ(shot.Count(RECT{20, 20, 55, 40}, kWhite), 35 * 20 - 80);
    EXPECT_EQ(shot.Count(RECT{80, 20, 110, 44}, red), 15 * 24);
    EXPECT_EQ(shot.Count(RECT{80, 20, 110, 44}, blue), 15 * 24);
    int wrong = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 35; ++x)
            wrong += shot.At(140 + x, 20 + y) != (x % 10 < 5 ? red : blue);
    EXPECT_EQ(wrong, 0) << "tiled";
    EXPECT_EQ(shot.Count(RECT{200, 20, 235, 40}, kSentinel), 35 * 20 - 80)
        << "the form shows around the picture";
    ExpectNothingOutside(shot, RECT{20, 20, 55, 40}, "normal");
}

}  // namespace
