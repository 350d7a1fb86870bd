// The skinned title bar on a framed form under Wine: its height from the skin, the buttons'
// places and pictures, their actions and events, dragging, double clicks, the system menu by
// click and Alt+Space, and the caption's elision and colour.
#include "skin/SUITitleBar.h"

#include "SkinFormTestSupport.h"
#include "tests/platform/win/LocaleScope.h"
#include "tests/platform/win/MenuWatch.h"
#include "platform/win/ExtCtrls.h"
#include "skin/SUI2Define.h"
#include "skin/SUIPublic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace skintest;
using skin::TsuiTitleBar;

namespace {

LPARAM At(const win::TRect& r) { return MAKELPARAM((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); }

void Click(TsuiTitleBar* bar, const win::TRect& r)
{
    ::SendMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(r));
    ::SendMessageA(bar->Handle(), WM_LBUTTONUP, 0, At(r));
}

std::int32_t IndexOf(TsuiTitleBar* bar, skin::TsuiTitleBarBtnType type)
{
    for (std::int32_t i = 0; i < bar->Buttons()->Count(); ++i)
        if (bar->Buttons()->Items(i)->ButtonType() == type)
            return i;
    return -1;
}

// Where the popup menu showed while a menu's own loop ran.
struct MenuWatcher {
    RECT rect{};
    bool seen = false;
    wintest::MenuWatch watch{[this](HWND menu) {
        ::GetWindowRect(menu, &rect);
        seen = true;
    }};
    int Ticks() const { return watch.Ticks(); }
};

class TitleBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form_ = ReadFramedForm();
        frame_ = FrameOf(*form_);
        bar_ = frame_->TitleBar();
        form_->Show();
        Pump();
    }
    FormPtr form_;
    skin::TsuiForm* frame_ = nullptr;
    TsuiTitleBar* bar_ = nullptr;
};

}  // namespace

TEST_F(TitleBarTest, HeightFollowsTheTallestTitlePictureOfEachStyleAndTheSkin)
{
    for (skin::TsuiUIStyle style : kBuiltInStyles) {
        frame_->SetUIStyle(style);
        int tallest = 0;
        for (int index : {skin::SUI_THEME_TITLEBAR_LEFT_IMAGE, skin::SUI_THEME_TITLEBAR_CLIENT_IMAGE,
                          skin::SUI_THEME_TITLEBAR_RIGHT_IMAGE}) {
            win::TBitmap b;
            skin::LoadBuiltInThemeBitmap(style, index, &b);
            tallest = std::max(tallest, b.Height());
        }
        EXPECT_GT(tallest, 0);
        EXPECT_EQ(bar_->Height(), tallest) << int(style);
    }
    auto* theme = new skin::TsuiFileTheme(form_.get());
    theme->SetThemeFile(VA_SKIN_FILE_PATH);
    frame_->SetFileTheme(theme);
    frame_->SetUIStyle(skin::FromThemeFile);
    int tallest = 0;
    for (skin::TSkin2Entry e : {skin::SKIN2_TITLEBAR1, skin::SKIN2_TITLEBAR2, skin::SKIN2_TITLEBAR3})
        tallest = std::max(tallest, theme->GetBitmap(e - 32)->Height());
    EXPECT_EQ(bar_->Height(), tallest);
    // Custom keeps a height set by hand.
    bar_->SetCustom(true);
    bar_->SetHeight(40);
    frame_->SetUIStyle(skin::MacOS);
    EXPECT_EQ(bar_->Height(), 40);
}

TEST_F(TitleBarTest, ButtonsLandWhereTheLayoutPutsThemWithTheStripsPieces)
{
    for (skin::TsuiUIStyle style : {skin::MacOS, skin::WinXP, skin::DeepBlue}) {
        frame_->SetUIStyle(style);
        ::RedrawWindow(form_->Handle(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump();
        win::TBitmap strip;
        skin::LoadBuiltInThemeBitmap(style, skin::SUI_THEME_TITLEBAR_BUTTON_IMAGE, &strip);
        const int piece = strip.Width() / 18;
        RECT w;
        ::GetWindowRect(form_->Handle(), &w);
        const int offset = skin::GetBuiltInThemeValue(style, skin::SUI_THEME_TITLEBAR_BUTTON_RIGHTOFFSET);
        const int top = skin::GetBuiltInThemeValue(style, skin::SUI_THEME_TITLEBAR_BUTTON_TOP);
        // Close, then maximize, then minimize from the right, one pixel apart.
        int x = (w.right - w.left) - offset - 4;
        const Capture shot = CaptureWindow(form_->Handle());
        for (auto [type, first] : {std::pair{skin::suiClose, 16}, {skin::suiMax, 7}, {skin::suiMin, 13}}) {
            x -= piece + 1;
            const win::TRect r = bar_->ButtonRect(IndexOf(bar_, type));
            EXPECT_EQ(r, win::Bounds(x, top, piece, strip.Height())) << int(style) << " type " << type;
            win::TBitmap normal;
            skin::CutBitmapPiece(&strip, &normal, 18, first);
            int differ = 0;
            for (int y = 0; y < normal.Height(); ++y)
                for (int px = 0; px < normal.Width(); ++px)
                    differ += shot.At(x + px, top + y) != BitmapPixel(normal, px, y);
            EXPECT_EQ(differ, 0) << int(style) << " type " << type << ": the button's normal piece on screen";
        }
    }
}

TEST_F(TitleBarTest, MaximizeRestoreMinimizeAndCloseButtonsActOnTheForm)
{
    frame_->SetUIStyle(skin::DeepBlue);
    const std::int32_t max = IndexOf(bar_, skin::suiMax);
    win::TBitmap strip, restore;
    skin::LoadBuiltInThemeBitmap(skin::DeepBlue, skin::SUI_THEME_TITLEBAR_BUTTON_IMAGE, &strip);
    skin::CutBitmapPiece(&strip, &restore, 18, 10);
    Click(bar_, bar_->ButtonRect(max));
    Pump();
    EXPECT_TRUE(::IsZoomed(form_->Handle()));
    auto* shown = dynamic_cast<win::TBitmap*>(bar_->Buttons()->Items(max)->PictureFor(0)->Graphic());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(BitmapPixel(*shown, shown->Width() / 2, shown->Height() / 2),
              BitmapPixel(restore, restore.Width() / 2, restore.Height() / 2))
        << "a maximized form shows the restore pieces";
    Click(bar_, bar_->ButtonRect(max));
    Pump();
    EXPECT_FALSE(::IsZoomed(form_->Handle()));

    Click(bar_, bar_->ButtonRect(IndexOf(bar_, skin::suiMin)));
    Pump();
    EXPECT_TRUE(::IsIconic(form_->Handle()));
    form_->SetWindowState(win::wsNormal);
    Pump();

    bool closed = false;
    form_->OnClose = [&](rtl::TObject*, win::TCloseAction&) { closed = true; };
    Click(bar_, bar_->ButtonRect(IndexOf(bar_, skin::suiClose)));
    Pump();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(form_->Visible());
}

TEST_F(TitleBarTest, HelpAndCustomButtonsFireTheirEventsWithTheirIndex)
{
    auto* help = bar_->Buttons()->Add();
    help->SetButtonType(skin::suiHelp);
    auto* custom = bar_->Buttons()->Add();
    win::TBitmap face;
    face.SetPixelFormat(win::pf24bit);
    face.SetSize(15, 15);
    face.Canvas()->Brush()->SetColor(win::clRed);
    face.Canvas()->FillRect(win::Rect(0, 0, 15, 15));
    custom->PicNormal()->SetBitmap(&face);
    frame_->SetUIStyle(skin::WinXP);
    Pump();
    std::vector<std::string> log;
    frame_->SetOnTitleBarHelpBtnClick(
        [&](rtl::TObject* sender, std::int32_t i) { log.push_back("help " + std::to_string(i)); });
    frame_->SetOnTitleBarCustomBtnsClick(
        [&](rtl::TObject* sender, std::int32_t i) { log.push_back("custom " + std::to_string(i)); });
    ASSERT_FALSE(bar_->ButtonRect(help->Index()).IsEmpty());
    ASSERT_EQ(bar_->ButtonRect(custom->Index()).Width(), 15);
    Click(bar_, bar_->ButtonRect(help->Index()));
    Click(bar_, bar_->ButtonRect(custom->Index()));
    // A press that leaves the button before the release is no click.
    ::SendMessageA(bar_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(bar_->ButtonRect(custom->Index())));
    ::SendMessageA(bar_->Handle(), WM_LBUTTONUP, 0, At(bar_->ButtonRect(help->Index())));
    EXPECT_EQ(log, (std::vector<std::string>{"help 4", "custom 5"}));
    EXPECT_TRUE(form_->Visible());
}

TEST_F(TitleBarTest, PressOnTheBarHandsTheFormToTheSystemsMoveLoop)
{
    int moves = 0;
    WPARAM code = 0;
    const win::TWndMethod inner = form_->WindowProc;
    form_->WindowProc = [&](win::TMessage& m) {
        if (m.Msg == WM_NCLBUTTONDOWN) {
            ++moves;
            code = m.WParam;
            return;  // the system's loop would wait for a real mouse
        }
        inner(m);
    };
    ::SendMessageA(bar_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bar_->Width() / 2, 5));
    ::SendMessageA(bar_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(bar_->Width() / 2, 5));
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(code, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(::GetCapture(), nullptr) << "the bar lets the mouse go first";
    // A press on a button is no drag, and neither is one on a maximized form.
    ::SendMessageA(bar_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON,
                   At(bar_->ButtonRect(IndexOf(bar_, skin::suiMin))));
    ::SendMessageA(bar_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(-50, -50));
    EXPECT_EQ(moves, 1);
    form_->SetWindowState(win::wsMaximized);
    Pump();
    ::SendMessageA(bar_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bar_->Width() / 2, 5));
    ::SendMessageA(bar_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(bar_->Width() / 2, 5));
    EXPECT_EQ(moves, 1);
    form_->WindowProc = inner;
}

TEST_F(TitleBarTest, DraggingTheBarMovesTheForm)
{
    RECT before;
    ::GetWindowRect(form_->Handle(), &before);
    POINT grab{before.left + (before.right - before.left) / 2, before.top + 8};
    // The move loop reads real mouse input: a helper thread moves the pointer and lets go.
    ::SetCursorPos(grab.x, grab.y);
    std::thread mover([grab] {
        ::Sleep(200);
        INPUT in[3] = {};
        for (auto& i : in)
            i.type = INPUT_MOUSE;
        const int sx = ::GetSystemMetrics(SM_CXSCREEN), sy = ::GetSystemMetrics(SM_CYSCREEN);
        auto abs = [&](int x, int y, INPUT& i) {
            i.mi.dx = static_cast<LONG>(x * 65535LL / (sx - 1));
            i.mi.dy = static_cast<LONG>(y * 65535LL / (sy - 1));
            i.mi.dwFlags |= MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
        };
        abs(grab.x + 20, grab.y + 15, in[0]);
        abs(grab.x + 40, grab.y + 30, in[1]);
        abs(grab.x + 40, grab.y + 30, in[2]);
        in[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
        ::SendInput(1, &in[0], sizeof(INPUT));
        ::Sleep(100);
        ::SendInput(1, &in[1], sizeof(INPUT));
        ::Sleep(100);
        ::SendInput(1, &in[2], sizeof(INPUT));
    });
    INPUT down{};
    down.type = INPUT_MOUSE;
    down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    ::SendInput(1, &down, sizeof down);
    PumpUntil(
        [&] {
            RECT now;
            ::GetWindowRect(form_->Handle(), &now);
            return now.left != before.left;
        },
        3000);
    mover.join();
    Pump();
    RECT after;
    ::GetWindowRect(form_->Handle(), &after);
    EXPECT_EQ(after.left - before.left, 40);
    EXPECT_EQ(after.top - before.top, 30);
}

TEST_F(TitleBarTest, DoubleClickOnTheBarMaximizesOnlyWithAMaximizeButton)
{
    const LPARAM empty = MAKELPARAM(bar_->Width() / 2, 5);
    ::SetCursorPos(bar_->ClientToScreen({bar_->Width() / 2, 5}).X,
                   bar_->ClientToScreen({bar_->Width() / 2, 5}).Y);
    ::SendMessageA(bar_->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, empty);
    ::SendMessageA(bar_->Handle(), WM_LBUTTONUP, 0, empty);
    Pump();
    EXPECT_TRUE(::IsZoomed(form_->Handle()));
    form_->SetWindowState(win::wsNormal);
    Pump();
    bar_->Buttons()->Items(IndexOf(bar_, skin::suiMax))->SetVisible(false);
    const win::TPoint p = bar_->ClientToScreen({bar_->Width() / 2, 5});
    ::SetCursorPos(p.X, p.Y);
    ::SendMessageA(bar_->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, empty);
    ::SendMessageA(bar_->Handle(), WM_LBUTTONUP, 0, empty);
    Pump();
    EXPECT_FALSE(::IsZoomed(form_->Handle()));
}

TEST_F(TitleBarTest, ControlBoxOpensTheSystemMenuBelowTheBar)
{
    MenuWatcher watch;
    bar_->Buttons()->Items(IndexOf(bar_, skin::suiMin))->SetVisible(false);
    Click(bar_, bar_->ButtonRect(IndexOf(bar_, skin::suiControlBox)));
    ASSERT_TRUE(watch.seen);
    const win::TPoint below = bar_->ClientToScreen({0, bar_->Height()});
    EXPECT_EQ(watch.rect.left, below.X);
    EXPECT_EQ(watch.rect.top, below.Y);
    EXPECT_FALSE(bar_->SystemMenu()->MinimizeItem()->Enabled()) << "no visible minimize button";
    EXPECT_TRUE(bar_->SystemMenu()->MaximizeItem()->Enabled());
    EXPECT_TRUE(bar_->SystemMenu()->CloseItem()->Enabled());
    EXPECT_EQ(bar_->SystemMenu()->Items()->Items(0)->Caption(), "Mi&nimize");
    EXPECT_EQ(bar_->SystemMenu()->Items()->Items(1)->Caption(), "Ma&ximize/Restore");
    EXPECT_EQ(bar_->SystemMenu()->Items()->Items(3)->Caption(), "&Close");
}

TEST_F(TitleBarTest, AltSpaceOpensTheMenuOfTheActiveFormOnly)
{
    ::SetForegroundWindow(form_->Handle());
    ::SetActiveWindow(form_->Handle());
    Pump();
    if (::GetActiveWindow() != form_->Handle())
        GTEST_SKIP() << "the window manager did not activate the test window";
    {
        MenuWatcher watch;
        ::PostMessageA(form_->Handle(), WM_SYSKEYDOWN, VK_SPACE, 0x20000000);
        PumpUntil([&] { return watch.seen || watch.Ticks() > 40; });
        ASSERT_TRUE(watch.seen);
        RECT w;
        ::GetWindowRect(form_->Handle(), &w);
        EXPECT_EQ(watch.rect.left, w.left);
        EXPECT_EQ(watch.rect.top, w.top + bar_->Height());
    }
    // With another form active (a dialog over the window), the key is not this frame's.
    FormPtr other = ReadFramedForm("", "", "OtherForm");
    other->Show();
    ::SetActiveWindow(other->Handle());
    Pump();
    ASSERT_EQ(::GetActiveWindow(), other->Handle());
    MenuWatcher watch;
    ::PostMessageA(form_->Handle(), WM_SYSKEYDOWN, VK_SPACE, 0x20000000);
    Pump();
    EXPECT_FALSE(watch.seen) << "the inactive form's system menu stays shut";
    ::PostMessageA(other->Handle(), WM_SYSKEYDOWN, VK_SPACE, 0x20000000);
    PumpUntil([&] { return watch.seen || watch.Ticks() > 40; });
    ASSERT_TRUE(watch.seen);
    RECT ow;
    ::GetWindowRect(other->Handle(), &ow);
    EXPECT_EQ(watch.rect.left, ow.left) << "placed at the form whose frame took the key";
}

// Reading right to left on a locale that mirrors controls, both menus of the control box open 176
// pixels further right; any other mode or locale leaves them where they were.
TEST_F(TitleBarTest, RightToLeftMenusOpen176PixelsFurtherRight)
{
    // How much further right the menus open.
    const wintest::ReadingCase<int> cases[] = {{true, win::bdRightToLeft, 176},
                                               {true, win::bdRightToLeftReadingOnly, 176},
                                               {true, win::bdLeftToRight, 0},
                                               {false, win::bdRightToLeft, 0}};
    win::TPopupMenu own(form_.get());
    auto* item = new win::TMenuItem(form_.get());
    item->SetCaption("Own");
    own.Items()->Add(item);
    skin::TsuiTitleBarButton* box = bar_->Buttons()->Items(IndexOf(bar_, skin::suiControlBox));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name());
        wintest::LocaleScope locale(c.rightToLeftLocale);
        form_->SetBiDiMode(c.mode);
        Pump();
        EXPECT_EQ(bar_->BiDiMode(), c.mode) << "the bar reads as its form does";
        for (win::TPopupMenu* menu : {static_cast<win::TPopupMenu*>(nullptr), &own}) {
            box->SetControlBoxMenu(menu);
            MenuWatcher watch;
            Click(bar_, bar_->ButtonRect(IndexOf(bar_, skin::suiControlBox)));
            ASSERT_TRUE(watch.seen);
            const win::TPoint below = bar_->ClientToScreen({0, bar_->Height()});
            EXPECT_EQ(watch.rect.left, below.X + c.expected) << (menu ? "its own menu" : "the system menu");
            EXPECT_EQ(watch.rect.top, below.Y);
        }
    }
    box->SetControlBoxMenu(nullptr);
}

// ---- caption ----

TEST(ElideCaption, EndsWithDotsOrNothingWhenThereIsNoRoom)
{
    auto chars = [](const std::string& s) { return static_cast<int>(s.size()) * 5; };
    EXPECT_EQ(skin::ElideCaption("Setup", 25, chars), "Setup");
    EXPECT_EQ(skin::ElideCaption("Setup Assistant", 40, chars), "Setup...");
    EXPECT_EQ(skin::ElideCaption("Setup Assistant", 39, chars), "Setu...");
    EXPECT_EQ(skin::ElideCaption("Setup Assistant", 20, chars), "S...");
    EXPECT_EQ(skin::ElideCaption("Setup Assistant", 17, chars), "...");
    EXPECT_EQ(skin::ElideCaption("Setup Assistant", 3, chars), "");
    EXPECT_EQ(skin::ElideCaption("Setup Assistant", -40, chars), "");
    EXPECT_EQ(skin::ElideCaption("", 0, chars), "");
    // A measure that never fits still ends.
    EXPECT_EQ(skin::ElideCaption("Setup", 100, [](const std::string&) { return 1000; }), "");
}

TEST_F(TitleBarTest, NarrowBarCutsTheCaption)
{
    bar_->SetCaption("Setup Assistant with a very long caption indeed");
    form_->SetBounds(form_->Left(), form_->Top(), 200, 200);
    Pump();
    bar_->Repaint();
    const std::string shown = bar_->ShownCaption();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.substr(shown.size() - 3), "...");
    EXPECT_LE(bar_->CaptionRect().Right,
              bar_->ButtonRect(IndexOf(bar_, skin::suiMin)).Left + bar_->ImageOrigin().X);
}

TEST_F(TitleBarTest, CaptionStaysReadableInEveryStyleWithAWhiteFont)
{
    for (skin::TsuiUIStyle style : kBuiltInStyles) {
        frame_->SetUIStyle(style);
        bar_->Font()->SetColor(win::clWhite);  // as the message dialog's frame sets it
        bar_->Repaint();
        Pump();
        const win::TRect r = bar_->CaptionRect();
        ASSERT_FALSE(r.IsEmpty()) << int(style);
        const std::uint32_t shownInk = Rgb(bar_->ShownCaptionColor());
        // Mean background around the caption, from the title image without the text.
        bar_->SetCaption("");
        bar_->Compose();
        win::TBitmap* image = bar_->TitleImage();
        double sum = 0;
        int n = 0;
        auto lum = [](std::uint32_t c) {
            auto ch = [](double v) {
                v /= 255.0;
                return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
            };
            return 0.2126 * ch((c >> 16) & 0xFF) + 0.7152 * ch((c >> 8) & 0xFF) + 0.0722 * ch(c & 0xFF);
        };
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x) {
                sum += lum(BitmapPixel(*image, x, y));
                ++n;
            }
        const double back = sum / n;
        const double ink = lum(shownInk);
        const double ratio = (std::max(back, ink) + 0.05) / (std::min(back, ink) + 0.05);
        EXPECT_GE(ratio, 2.9) << int(style) << ": caption colour against its title";
        bar_->SetCaption("Setup Assistant");
    }
    EXPECT_EQ(skin::ReadableCaptionColor(win::clBlack, RGB(0, 0, 0)), win::clWhite);
    EXPECT_EQ(skin::ReadableCaptionColor(win::clWhite, RGB(250, 250, 250)), win::clBlack);
    EXPECT_EQ(skin::ReadableCaptionColor(win::clNavy, RGB(250, 250, 250)), win::clNavy);
}
