// Tests of the skinned scroll bar and the skinned memo, worked by messages on forms read from
// descriptions: pieces and layout in every style, thumb rules and guards, line buttons held,
// dragging and paging, and a memo whose bars follow it, up to a log of 70,000 lines.
#include "skin/SUIMemo.h"
#include "skin/SUIScrollBar.h"

#include "SkinTestSupport.h"
#include "tests/platform/win/LocaleScope.h"
#include "skin/SUI2Define.h"

#include <atomic>
#include <thread>

namespace {

using namespace skintest;
using skin::TsuiUIStyle;

// The six pieces of the buttons (up normal, hot, pressed; down the same), drawn for a vertical
// bar, and the thumb's three pieces laid along a horizontal bar.
struct Pieces {
    win::TBitmap buttons[6];
    win::TBitmap thumb;  // start, grip, end side by side, horizontal
    bool caps = false;
    win::TColor back = 0;
};

void PiecesOf(TsuiUIStyle style, skin::TsuiFileTheme* theme, Pieces& p)
{
    if (style == skin::FromThemeFile) {
        for (int i = 0; i < 3; ++i) {
            theme->GetBitmapPiece(skin::SKIN2_SCROLLBARUPBUTTON - 32, &p.buttons[i], i + 1, 3);
            theme->GetBitmapPiece(skin::SKIN2_SCROLLBARDOWNBUTTON - 32, &p.buttons[i + 3], i + 1, 3);
        }
        // Stored upright; lying along a horizontal bar its top is the left: (x, y) of the laid
        // thumb is (W - 1 - y, x) of the upright one.
        win::TBitmap& upright = *theme->GetBitmap(skin::SKIN2_SCROLLBAR - 32);
        p.thumb.SetPixelFormat(win::pf24bit);
        p.thumb.SetSize(upright.Height(), upright.Width());
        for (int y = 0; y < p.thumb.Height(); ++y)
            for (int x = 0; x < p.thumb.Width(); ++x)
                ::SetPixel(p.thumb.Canvas()->Handle(), x, y, PixelOf(upright, upright.Width() - 1 - y, x));
        p.caps = true;
        p.back = theme->GetColor(skin::SKIN2_SCROLLBARCOLOR);
    } else {
        for (int i = 0; i < 6; ++i)
            skin::GetBuiltInThemeBitmap(style, skin::SUI_THEME_SCROLLBAR_BUTTON_IMAGE, &p.buttons[i], i + 1,
                                        6);
        skin::LoadBuiltInThemeBitmap(style, skin::SUI_THEME_SCROLLBAR_SLIDER_IMAGE, &p.thumb);
        p.back = skin::GetBuiltInThemeColor(style, skin::SUI_THEME_SCROLLBAR_BACKGROUND_COLOR);
    }
}

// Pixel (x, y) of `piece` as a bar of `horizontal` orientation shows it at (x, y) of its own
// square: horizontal bars show the pieces turned a quarter left.
COLORREF ButtonPixel(win::TBitmap& piece, bool horizontal, int x, int y)
{
    return horizontal ? PixelOf(piece, piece.Width() - 1 - y, x) : PixelOf(piece, x, y);
}

// Pixel (along, across) of the thumb's laid-down picture, as a vertical bar shows it turned a
// quarter right (its start at the top).
COLORREF ThumbPixel(win::TBitmap& thumb, int along, int across) { return PixelOf(thumb, along, across); }

struct BarFixture : FormFixture {
    void Load(const std::string& body, int w = 420, int h = 320) { ShowBody(body, w, h); }
    skin::TsuiScrollBar* Bar(const char* name) { return Find<skin::TsuiScrollBar>(name); }
    skin::TsuiMemo* Memo(const char* name) { return Find<skin::TsuiMemo>(name); }
};

std::string BarText(const char* name, int left, int top, int length, bool vertical,
                    const std::string& extra = "")
{
    return std::string("  object ") + name + ": TsuiScrollBar\n    Left = " + std::to_string(left) +
           "\n    Top = " + std::to_string(top) + "\n" +
           (vertical ? "    Orientation = suiVertical\n    Height = " : "    Width = ") +
           std::to_string(length) + "\n" + extra + "  end\n";
}

// ---- scroll bar ----

TEST_F(BarFixture, ButtonsAndThumbComeFromTheSkinsPiecesInEveryStyleAndBothOrientations)
{
    for (TsuiUIStyle style : AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        const std::string styleLines = StyleLines(style) + "    LineButton = 60\n";
        Load(BarText("Across", 20, 20, 240, false, styleLines) +
             BarText("Down", 300, 20, 260, true, styleLines));
        Pieces pieces;
        PiecesOf(style, theme, pieces);
        for (const char* name : {"Across", "Down"}) {
            SCOPED_TRACE(name);
            skin::TsuiScrollBar* bar = Bar(name);
            const bool horizontal = bar->Orientation() == skin::suiHorizontal;
            const int side = pieces.buttons[0].Width();
            EXPECT_EQ(horizontal ? bar->Height() : bar->Width(), side)
                << "the bar is as thick as its buttons";
            const RECT r = RectOf(*bar);
            const Shot shot = Take();
            ExpectNothingOutside(shot, r, name);
            ExpectAllPainted(shot, r, name);
            const int length = horizontal ? bar->Width() : bar->Height();
            int wrong = 0;
            for (int a = 0; a < side; ++a)
                for (int b = 0; b < side; ++b) {
                    // First button at the start, second at the end.
                    const int fx = horizontal ? a : b, fy = horizontal ? b : a;
                    wrong += shot.At(r.left + fx, r.top + fy) !=
                             ButtonPixel(pieces.buttons[0], horizontal, fx, fy);
                    const int sx = horizontal ? length - side + a : b,
                              sy = horizontal ? b : length - side + a;
                    wrong += shot.At(r.left + sx, r.top + sy) !=
                             ButtonPixel(pieces.buttons[3], horizontal, sx - (horizontal ? length - side : 0),
                                         sy - (horizontal ? 0 : length - side));
                }
            EXPECT_EQ(wrong, 0) << "line buttons";
            // The thumb at position 0 starts the slider with the start piece; it is LineButton
            // long, ending with the end piece (its last 3 pixels for a file theme).
            EXPECT_EQ(bar->ThumbLength(), 60);
            const int cap = pieces.caps ? 3 : pieces.thumb.Width() / 3;
            const int across = pieces.thumb.Height();
            auto shown = [&](int along, int acrossAt) {
                return horizontal ? shot.At(r.left + side + along, r.top + acrossAt)
                                  : shot.At(r.left + across - 1 - acrossAt, r.top + side + along);
            };
            wrong = 0;
            for (int k = 0; k < across; ++k)
                for (int a = 0; a < cap; ++a) {
                    wrong += shown(a, k) != ThumbPixel(pieces.thumb, a, k);
                    wrong +=
                        shown(60 - cap + a, k) != ThumbPixel(pieces.thumb, pieces.thumb.Width() - cap + a, k);
                }
            EXPECT_EQ(wrong, 0) << "thumb ends";
            // Beyond the thumb the slider is the bar's colour.
            const RECT rest = horizontal ? RECT{r.left + side + 61, r.top, r.right - side, r.bottom}
                                         : RECT{r.left, r.top + side + 61, r.right, r.bottom - side};
            const int restArea = (rest.right - rest.left) * (rest.bottom - rest.top);
            EXPECT_EQ(shot.Count(rest, win::ColorToRGB(pieces.back)), restArea);
        }
        delete form;
        form = nullptr;
    }
}

TEST_F(BarFixture, ThumbLengthFollowsLineButtonOrPageSizeAndNeverOutgrowsTheTrack)
{
    Load(BarText("Bar", 20, 20, 232, false));
    skin::TsuiScrollBar* bar = Bar("Bar");
    const int track = 232 - 2 * 16;
    EXPECT_EQ(bar->ThumbLength(), track * 10 / 100) << "PageSize 10: a tenth of the slider";
    bar->SetPageSize(50);
    EXPECT_EQ(bar->ThumbLength(), track / 2);
    bar->SetPageSize(400);
    EXPECT_EQ(bar->ThumbLength(), track * 10 / 100) << "out of 10 to 100 counts as 10";
    bar->SetLineButton(5);
    EXPECT_EQ(bar->LineButton(), 16) << "raised to 16 and kept so";
    EXPECT_EQ(bar->ThumbLength(), 16);
    bar->SetLineButton(track + 1);
    EXPECT_EQ(bar->LineButton(), 16) << "longer than the slider: refused";
    bar->SetLineButton(track);
    EXPECT_EQ(bar->ThumbLength(), track);
    // The bar shrinks under a thumb set for a longer one: the thumb shrinks with the track, and
    // positions and the mouse still give sane answers.
    bar->SetWidth(60);
    EXPECT_EQ(bar->ThumbLength(), 60 - 32);
    bar->SetWidth(20);
    EXPECT_EQ(bar->ThumbLength(), 0);
    bar->SetPosition(50);
    EXPECT_EQ(bar->Slider()->ThumbOffset(50), 0);
    EXPECT_EQ(bar->Position(), 50);
}

TEST_F(BarFixture, LineButtonsStepAndRepeatWhileHeldAndStopOnRelease)
{
    Load(BarText("Bar", 20, 20, 232, false, "    SmallChange = 3\n    Position = 50\n"));
    skin::TsuiScrollBar* bar = Bar("Bar");
    int changes = 0;
    bar->OnChange = [&](rtl::TObject* sender) {
        EXPECT_EQ(sender, bar);
        ++changes;
    };
    HWND first = bar->FirstButton()->Handle();
    ::SendMessageA(first, WM_MOUSEMOVE, 0, At(4, 4));
    ::SendMessageA(first, WM_LBUTTONDOWN, MK_LBUTTON, At(4, 4));
    ::SendMessageA(first, WM_LBUTTONUP, 0, At(4, 4));
    EXPECT_EQ(bar->Position(), 47);
    EXPECT_EQ(changes, 1);
    HWND second = bar->SecondButton()->Handle();
    ::SendMessageA(second, WM_MOUSEMOVE, 0, At(4, 4));
    ::SendMessageA(second, WM_LBUTTONDOWN, MK_LBUTTON, At(4, 4));
    ASSERT_TRUE(PumpUntil([&] { return bar->Position() >= 47 + 4 * 3; }))
        << "held, the button repeats its step";
    ::SendMessageA(second, WM_LBUTTONUP, 0, At(40, 40));
    EXPECT_FALSE(bar->SecondButton()->Repeating());
    EXPECT_EQ((bar->Position() - 47) % 3, 0);
    // Held at the end the position stays at Max.
    bar->SetPosition(99);
    ::SendMessageA(second, WM_LBUTTONDOWN, MK_LBUTTON, At(4, 4));
    ::SendMessageA(second, WM_LBUTTONUP, 0, At(4, 4));
    EXPECT_EQ(bar->Position(), 100);
}

TEST_F(BarFixture, DraggingTheThumbToTheEndReachesMaxInBothOrientations)
{
    Load(BarText("Across", 20, 20, 232, false, "    LineButton = 40\n") +
         BarText("Down", 300, 20, 232, true, "    LineButton = 40\n"));
    for (const char* name : {"Across", "Down"}) {
        SCOPED_TRACE(name);
        skin::TsuiScrollBar* bar = Bar(name);
        const bool horizontal = bar->Orientation() == skin::suiHorizontal;
        HWND thumb = bar->Slider()->Thumb()->Handle();
        HWND slider = bar->Slider()->Handle();
        ::SendMessageA(thumb, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
        EXPECT_TRUE(bar->Slider()->Dragging());
        // Half way along: the thumb's centre follows the mouse.
        const int half = (232 - 32) / 2;
        ::SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, horizontal ? At(half, 8) : At(8, half));
        EXPECT_NEAR(bar->Position(), 50, 1);
        // Far past the end, as a captured mouse may go.
        ::SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, horizontal ? At(900, 8) : At(8, 900));
        EXPECT_EQ(bar->Position(), 100);
        ::SendMessageA(slider, WM_LBUTTONUP, 0, horizontal ? At(900, 8) : At(8, 900));
        EXPECT_FALSE(bar->Slider()->Dragging());
        EXPECT_EQ(bar->Slider()->ThumbOffset(100), 232 - 32 - 40) << "the thumb ends at the track's end";
        EXPECT_EQ(horizontal ? bar->Slider()->Thumb()->Left() : bar->Slider()->Thumb()->Top(), 232 - 32 - 40);
    }
}

TEST_F(BarFixture, PressingTheTrackPagesTowardTheMouseUntilReleased)
{
    Load(BarText("Bar", 20, 20, 232, false, "    LargeChange = 7\n"));
    skin::TsuiScrollBar* bar = Bar("Bar");
    HWND slider = bar->Slider()->Handle();
    const int x = 180;
    ::SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, At(x, 8));
    EXPECT_EQ(bar->Position(), 7) << "one page at once";
    const std::int32_t target = bar->Slider()->ValueAt(x);
    ASSERT_TRUE(PumpUntil([&] { return bar->Position() == target; })) << "held, it pages on up to the mouse";
    EXPECT_TRUE(bar->Slider()->Paging());
    // Released outside the bar: the paging stops all the same.
    ::SendMessageA(slider, WM_LBUTTONUP, 0, At(x, 300));
    EXPECT_FALSE(bar->Slider()->Paging());
}

TEST_F(BarFixture, MaxBelowMinIsAnEmptyRangeAtMin)
{
    Load(BarText("Bar", 20, 20, 232, false));
    skin::TsuiScrollBar* bar = Bar("Bar");
    bar->SetMin(50);
    bar->SetMax(10);
    EXPECT_EQ(bar->Position(), 50);
    EXPECT_EQ(bar->Slider()->UpperBound(), 50);
    EXPECT_EQ(bar->Slider()->ThumbOffset(50), 0);
    HWND slider = bar->Slider()->Handle();
    ::SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, At(150, 8));
    ::SendMessageA(slider, WM_LBUTTONUP, 0, At(150, 8));
    HWND second = bar->SecondButton()->Handle();
    ::SendMessageA(second, WM_LBUTTONDOWN, MK_LBUTTON, At(4, 4));
    ::SendMessageA(second, WM_LBUTTONUP, 0, At(4, 4));
    EXPECT_EQ(bar->Position(), 50);
    EXPECT_EQ(bar->Slider()->Thumb()->Left(), 0);
}

// ---- memo ----

std::string MemoText(const std::string& bars, const std::string& extra = "")
{
    return "  object Memo1: TsuiMemo\n    Left = 20\n    Top = 20\n    Width = 300\n    Height = 200\n"
           "    WordWrap = False\n    ScrollBars = ssBoth\n" +
           bars + extra + "  end\n";
}

TEST_F(BarFixture, LinkedBarsDecideTheMemosOwnScrollBars)
{
    Load(MemoText("") + BarText("VBar", 340, 20, 100, true) + BarText("HBar", 20, 250, 100, false));
    skin::TsuiMemo* memo = Memo("Memo1");
    EXPECT_EQ(memo->ScrollBars(), win::ssBoth) << "never linked: as stored";
    memo->SetVScrollBar(Bar("VBar"));
    EXPECT_EQ(memo->ScrollBars(), win::ssVertical);
    memo->SetHScrollBar(Bar("HBar"));
    EXPECT_EQ(memo->ScrollBars(), win::ssBoth);
    EXPECT_EQ(Bar("VBar")->Orientation(), skin::suiVertical);
    memo->SetVScrollBar(nullptr);
    EXPECT_EQ(memo->ScrollBars(), win::ssHorizontal);
    EXPECT_EQ(Bar("VBar")->LineButton(), 0);
    EXPECT_EQ(Bar("VBar")->Max(), 100);
    EXPECT_TRUE(Bar("VBar")->Enabled());
    delete Bar("HBar");
    EXPECT_EQ(memo->HScrollBar(), nullptr);
    EXPECT_EQ(memo->ScrollBars(), win::ssNone);
}

TEST_F(BarFixture, BarsLieInsideTheMemosEdgeWithItsFrameAroundInEveryStyle)
{
    for (TsuiUIStyle style : AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        Load(MemoText("    VScrollBar = VBar\n    HScrollBar = HBar\n", StyleLines(style)) +
             BarText("VBar", 340, 20, 100, true, StyleLines(style)) +
             BarText("HBar", 20, 250, 100, false, StyleLines(style)));
        skin::TsuiMemo* memo = Memo("Memo1");
        skin::TsuiScrollBar* v = Bar("VBar");
        skin::TsuiScrollBar* h = Bar("HBar");
        EXPECT_EQ(RectOf(*v).left, 20 + 300 - v->Width() - 2);
        EXPECT_EQ(RectOf(*v).top, 21);
        EXPECT_EQ(v->Height(), 200 - 2 - h->Height());
        EXPECT_EQ(RectOf(*h).left, 21);
        EXPECT_EQ(RectOf(*h).top, 20 + 200 - h->Height() - 2);
        EXPECT_EQ(h->Width(), 300 - 1 - v->Width());
        const Shot shot = Take();
        const RECT r = RectOf(*memo);
        // Both bars lie on top of the memo: their first buttons show whole.
        Pieces pieces;
        PiecesOf(style, theme, pieces);
        int hidden = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                hidden += shot.At(RectOf(*v).left + x, RectOf(*v).top + y) !=
                          ButtonPixel(pieces.buttons[0], false, x, y);
                hidden += shot.At(RectOf(*h).left + x, RectOf(*h).top + y) !=
                          ButtonPixel(pieces.buttons[0], true, x, y);
            }
        EXPECT_EQ(hidden, 0) << "the bars lie under the memo";
        ExpectNothingOutside(shot, r, "memo");
        ExpectAllPainted(shot, r, "memo");
        const COLORREF border = win::ColorToRGB(memo->BorderColor());
        const COLORREF face = win::ColorToRGB(memo->Color());
        const win::TColor wantBorder =
            style == skin::FromThemeFile
                ? theme->GetColor(skin::SKIN2_CONTROLBORDERCOLOR)
                : skin::GetBuiltInThemeColor(style, skin::SUI_THEME_CONTROL_BORDER_COLOR);
        EXPECT_EQ(border, win::ColorToRGB(wantBorder));
        int wrong = 0;
        for (int x = r.left; x < r.right; ++x) {
            wrong += shot.At(x, r.top) != border;
            wrong += shot.At(x, r.bottom - 1) != border;
        }
        for (int y = r.top; y < r.bottom; ++y) {
            wrong += shot.At(r.left, y) != border;
            wrong += shot.At(r.right - 1, y) != border;
            // The memo's colour one pixel in, where no bar lies over it.
            wrong += shot.At(r.left + 1, y) != face && y > r.top && y < r.bottom - 1 - h->Height() - 1;
        }
        EXPECT_EQ(wrong, 0) << "frame";
        // The square where the two bars meet shows the bars' colour, not the memo's own corner.
        const RECT corner{r.right - v->Width() - 2, r.bottom - h->Height() - 2, r.right - 2, r.bottom - 2};
        const RECT vr = RectOf(*v), hr = RectOf(*h);
        int bare = 0, checked = 0;
        for (int y = corner.top; y < corner.bottom; ++y)
            for (int x = corner.left; x < corner.right; ++x) {
                const POINT p{x, y};
                if (::PtInRect(&vr, p) || ::PtInRect(&hr, p))
                    continue;
                ++checked;
                bare += shot.At(x, y) != win::ColorToRGB(v->Color());
            }
        EXPECT_GT(checked, 0);
        EXPECT_EQ(bare, 0);
        delete form;
        form = nullptr;
    }
}

// Where the memo's own vertical bar stands at its left (right-to-left reading on a locale that
// mirrors scroll bars), the skinned bars lie mirrored over it: the vertical one inside the left
// edge, the horizontal one after it.
TEST_F(BarFixture, BarsLieOverTheMemosOwnBarsWhereverTheReadingOrderPutsThem)
{
    const wintest::ReadingCase<bool> cases[] = {{true, win::bdRightToLeft, true},  // mirrored
                                                {true, win::bdRightToLeftNoAlign, true},
                                                {true, win::bdRightToLeftReadingOnly, false},
                                                {false, win::bdRightToLeft, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name());
        wintest::LocaleScope locale(c.rightToLeftLocale);
        const bool mirrored = c.expected;
        Load(MemoText("    VScrollBar = VBar\n    HScrollBar = HBar\n",
                      "    BiDiMode = " + c.ModeName() + "\n") +
             BarText("VBar", 340, 20, 100, true) + BarText("HBar", 20, 250, 100, false));
        skin::TsuiMemo* memo = Memo("Memo1");
        skin::TsuiScrollBar* v = Bar("VBar");
        skin::TsuiScrollBar* h = Bar("HBar");
        const int vw = v->Width();
        EXPECT_EQ(RectOf(*v).left, mirrored ? 20 + 2 : 20 + 300 - vw - 2);
        EXPECT_EQ(RectOf(*v).top, 21);
        EXPECT_EQ(RectOf(*h).left, mirrored ? 20 + vw : 21);
        EXPECT_EQ(h->Width(), 300 - 1 - vw);
        // The skinned bar lies over the memo's own one.
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(::GetScrollBarInfo(memo->Handle(), OBJID_VSCROLL, &info));
        const int middle = (info.rcScrollBar.left + info.rcScrollBar.right) / 2;
        RECT bar;
        ::GetWindowRect(v->Handle(), &bar);
        EXPECT_GE(middle, bar.left);
        EXPECT_LT(middle, bar.right);
        // The memo's own corner between the bars, on their side, takes the bars' colour.
        const Shot shot = Take();
        const int cornerX = mirrored ? 20 + 2 + vw / 2 : 20 + 300 - 2 - vw / 2;
        EXPECT_EQ(shot.At(cornerX, 20 + 200 - 2 - h->Height() / 2), win::ColorToRGB(v->Color()));
        delete form;
        form = nullptr;
    }
}

TEST_F(BarFixture, BarsFollowTheMemoAndScrollIt)
{
    Load(MemoText("    VScrollBar = VBar\n") + BarText("VBar", 340, 20, 100, true));
    skin::TsuiMemo* memo = Memo("Memo1");
    skin::TsuiScrollBar* bar = Bar("VBar");
    memo->Lines()->Add("short");
    memo->FlushLines();
    EXPECT_FALSE(bar->ThumbEnabled()) << "the text fits: no thumb";
    EXPECT_EQ(bar->LineButton(), 0);
    EXPECT_FALSE(bar->Enabled());
    for (int i = 1; i < 200; ++i)
        memo->Lines()->Add("line " + std::to_string(i));
    memo->FlushLines();
    ASSERT_TRUE(bar->ThumbEnabled());
    EXPECT_TRUE(bar->Enabled());
    EXPECT_GE(bar->LineButton(), 16);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    auto state = [&] {
        ::GetScrollInfo(memo->Handle(), SB_VERT, &si);
        return si.nPos;
    };
    EXPECT_EQ(bar->Position(), state()) << "added lines scroll the memo, and the bar follows";
    EXPECT_EQ(bar->Max(), si.nMax - static_cast<int>(si.nPage) + 1);
    // The wheel and the keyboard move the memo; the bar follows.
    ::SendMessageA(memo->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA * 5), At(100, 100));
    EXPECT_LT(state(), bar->Max());
    EXPECT_EQ(bar->Position(), state());
    ::SendMessageA(memo->Handle(), WM_KEYDOWN, VK_PRIOR, 1);
    EXPECT_EQ(bar->Position(), state());
    // Dragging the bar's thumb to the top scrolls the memo there.
    HWND thumb = bar->Slider()->Thumb()->Handle();
    ::SendMessageA(thumb, WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    ::SendMessageA(bar->Slider()->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(3, -500));
    ::SendMessageA(bar->Slider()->Handle(), WM_LBUTTONUP, 0, At(3, -500));
    EXPECT_EQ(state(), 0);
    EXPECT_EQ(::SendMessageA(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    // Typing at the end brings it back into view, and the bar along.
    ::SendMessageA(memo->Handle(), WM_KEYDOWN, VK_END, 1);
    memo->SetSelStart(static_cast<std::int32_t>(memo->Text().size()));
    ::SendMessageA(memo->Handle(), WM_CHAR, 'x', 1);
    EXPECT_GT(state(), 0);
    EXPECT_EQ(bar->Position(), state());
}

// The search log: tens of thousands of lines reported from a worker thread, one queued call a
// line, keep up, and both kinds of bar scroll to the very end.
TEST_F(BarFixture, ALogOfSeventyThousandLinesKeepsUpAndScrollsToItsEnd)
{
    constexpr int kLines = 70000;
    Load(MemoText("    VScrollBar = VBar\n") + BarText("VBar", 340, 20, 100, true) +
         "  object Plain: TsuiMemo\n    Left = 20\n    Top = 240\n    Width = 300\n    Height = 60\n"
         "    WordWrap = False\n    ScrollBars = ssBoth\n  end\n");
    skin::TsuiMemo* memo = Memo("Memo1");
    skin::TsuiMemo* plain = Memo("Plain");
    int arrived = 0;
    const DWORD start = ::GetTickCount();
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i)
            rtl::Queue([&, i] {
                const std::string line =
                    "   ADDED: \"C:\\Program Files\\Zantic\\Folder " + std::to_string(i) + "\\\"";
                memo->Lines()->Add(line);
                plain->Lines()->Add(line);
                ++arrived;
            });
    });
    const bool done = PumpUntil([&] { return arrived == kLines; }, 240000);
    worker.join();
    ASSERT_TRUE(done) << arrived << " of " << kLines << " lines arrived";
    std::printf("%d lines logged in %lu ms\n", kLines, static_cast<unsigned long>(::GetTickCount() - start));
    EXPECT_EQ(memo->Lines()->Count(), kLines);
    EXPECT_EQ(plain->Lines()->Count(), kLines);
    EXPECT_EQ(memo->Lines()->Get(kLines - 1), "   ADDED: \"C:\\Program Files\\Zantic\\Folder 69999\\\"");

    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ::GetScrollInfo(memo->Handle(), SB_VERT, &si);
    skin::TsuiScrollBar* bar = Bar("VBar");
    const int last = kLines - static_cast<int>(si.nPage);
    ASSERT_GT(last, 65535);
    EXPECT_EQ(bar->Max(), last);
    // To the top and back to the very end with the skinned thumb.
    HWND thumb = bar->Slider()->Thumb()->Handle();
    HWND slider = bar->Slider()->Handle();
    ::SendMessageA(thumb, WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    ::SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, At(3, -500));
    ::SendMessageA(slider, WM_LBUTTONUP, 0, At(3, -500));
    EXPECT_EQ(::SendMessageA(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    thumb = bar->Slider()->Thumb()->Handle();
    ::SendMessageA(thumb, WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    ::SendMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, At(3, 5000));
    ::SendMessageA(slider, WM_LBUTTONUP, 0, At(3, 5000));
    EXPECT_EQ(bar->Position(), last);
    EXPECT_EQ(::SendMessageA(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), last);
    // A position past 65,535 set on the bar lands exactly.
    bar->SetPosition(66000);
    EXPECT_EQ(::SendMessageA(memo->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 66000);

    // The memo without skinned bars scrolls to its end with the system's bar and the keyboard.
    ::SendMessageA(plain->Handle(), WM_VSCROLL, SB_BOTTOM, 0);
    ::GetScrollInfo(plain->Handle(), SB_VERT, &si);
    EXPECT_EQ(::SendMessageA(plain->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0),
              kLines - static_cast<int>(si.nPage));
    ::SendMessageA(plain->Handle(), WM_VSCROLL, SB_TOP, 0);
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::SendMessageA(plain->Handle(), WM_KEYDOWN, VK_END, 1);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    EXPECT_GT(::SendMessageA(plain->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0), 65535) << "Ctrl+End";
}

}  // namespace
