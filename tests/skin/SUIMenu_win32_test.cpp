// The skinned menus under Wine: heights and colours per style, items hooked as they arrive, the
// flat border drawn inside the menu window, the frame's menu bar and its keys.
#include "skin/SUIMenu.h"

#include "SkinFormTestSupport.h"
#include "tests/platform/win/LocaleScope.h"
#include "tests/platform/win/MenuWatch.h"
#include "tests/app/PaintTestSupport.h"
#include "platform/win/ExtCtrls.h"
#include "skin/SUIMainMenu.h"
#include "skin/SUIPopupMenu.h"

#include <gtest/gtest.h>

#include <memory>

using namespace skintest;
using painttest::Surface;

namespace {

win::TMenuItem* AddItem(win::TMenuItem* parent, const std::string& caption, rtl::TComponent* owner)
{
    auto* item = new win::TMenuItem(owner);
    item->SetCaption(caption);
    parent->Add(item);
    return item;
}

}  // namespace

TEST(SkinnedMenu, SeparatorAndItemHeightsFollowTheStyle)
{
    win::TForm form(nullptr);
    skin::TsuiPopupMenu menu(&form);
    auto* line = AddItem(menu.Items(), "-", &form);
    auto* item = AddItem(menu.Items(), "Open", &form);
    win::TMemoryCanvas canvas;
    for (skin::TsuiUIStyle style : kBuiltInStyles) {
        menu.SetUIStyle(style);
        std::int32_t w = 0, h = 0;
        line->MeasureItem(canvas, w, h);
        EXPECT_EQ(h, style == skin::MacOS ? 12 : 5) << int(style);
        item->MeasureItem(canvas, w, h);
        EXPECT_EQ(h, style == skin::MacOS ? 20 : 21) << int(style);
        EXPECT_EQ(menu.BarWidth(), 26);
        EXPECT_EQ(menu.Color(), skin::GetBuiltInThemeColor(style, skin::SUI_THEME_MENU_BACKGROUND_COLOR));
        EXPECT_EQ(menu.SelectedColor(),
                  skin::GetBuiltInThemeColor(style, skin::SUI_THEME_MENU_SELECTED_BACKGROUND_COLOR));
        EXPECT_EQ(w, canvas.TextWidth("Open") + 26 + 40) << "caption, no shortcut, bar and margin";
    }
    EXPECT_TRUE(menu.OwnerDraw());
    menu.SetOwnerDraw(false);
    EXPECT_TRUE(menu.OwnerDraw()) << "always owner-drawn";
}

TEST(SkinnedMenu, ItemsAddedLaterAreDrawnByTheMenu)
{
    win::TForm form(nullptr);
    skin::TsuiPopupMenu menu(&form);
    menu.SetUIStyle(skin::DeepBlue);
    auto* sub = AddItem(menu.Items(), "File", &form);
    auto* late = AddItem(sub, "Exit", &form);
    EXPECT_TRUE(late->OnDrawItem.Assigned());
    EXPECT_TRUE(late->OnMeasureItem.Assigned());
    // Drawn in the menu's colours: the selected item fills with the selected colour.
    Surface surface(120, 21, RGB(1, 2, 3));
    win::TCanvas canvas;
    canvas.SetHandle(surface.Dc());
    late->DrawItem(canvas, win::Rect(0, 0, 120, 21), true);
    canvas.SetHandle(nullptr);
    EXPECT_EQ(surface.At(60, 1), win::ColorToRGB(menu.SelectedColor()));
    EXPECT_EQ(surface.At(60, 0), win::ColorToRGB(menu.SelectedBorderColor()));
    // A freed menu takes its look away from the items its form still owns.
    auto* gone = new skin::TsuiPopupMenu(&form);
    auto* kept = AddItem(gone->Items(), "Kept", &form);
    EXPECT_TRUE(kept->OnDrawItem.Assigned());
    delete gone;
    EXPECT_FALSE(kept->OnDrawItem.Assigned());
}

TEST(SkinnedMenu, FlatBorderIsDrawnInsideTheMenuWindow)
{
    FormPtr form = ReadFramedForm();
    form->Show();
    Pump();
    skin::TsuiPopupMenu menu(form.get());
    menu.SetUIStyle(skin::WinXP);
    menu.SetFlatMenu(true);
    menu.SetBorderColor(win::clRed);
    AddItem(menu.Items(), "Open", form.get());
    AddItem(menu.Items(), "Close", form.get());
    Capture inside;
    HDC desktop = ::GetDC(nullptr);
    std::uint32_t outsideBefore = 0, outsideDuring = 0;
    RECT menuRect{};
    wintest::MenuWatch watch([&](HWND wnd) {
        ::UpdateWindow(wnd);
        ::GetWindowRect(wnd, &menuRect);
        inside = CaptureWindow(wnd);
    });
    ::InvalidateRect(nullptr, nullptr, TRUE);
    outsideBefore = CaptureDC(desktop, 10, 10, 1, 1).At(0, 0);
    menu.Popup(300, 200);
    outsideDuring = CaptureDC(desktop, 10, 10, 1, 1).At(0, 0);
    ::ReleaseDC(nullptr, desktop);
    ASSERT_GT(inside.Width, 4) << "the menu window was seen";
    EXPECT_EQ(inside.At(inside.Width / 2, 0), 0xFF0000u) << "outer frame in the border colour";
    EXPECT_EQ(inside.At(0, inside.Height / 2), 0xFF0000u);
    EXPECT_EQ(inside.At(inside.Width / 2, 1), 0xFFFFFFu) << "inner frame white";
    EXPECT_EQ(inside.At(inside.Width - 2, inside.Height / 2), Rgb(menu.SeparatorColor()))
        << "inner right edge in the second colour";
    EXPECT_EQ(outsideBefore, outsideDuring) << "the desktop is left alone";
}

TEST(MenuBar, FrameShowsTheMenuInItsColoursAndRunsShortcuts)
{
    FormPtr form = ReadFramedForm();
    skin::TsuiForm* frame = FrameOf(*form);
    auto* menu = new skin::TsuiMainMenu(form.get());
    auto* file = AddItem(menu->Items(), "&File", form.get());
    auto* open = AddItem(file, "&Open", form.get());
    open->SetShortCut(win::scCtrl | 'O');
    auto* help = AddItem(menu->Items(), "&Help", form.get());
    help->SetEnabled(false);
    int opened = 0;
    open->OnClick = [&](rtl::TObject*) { ++opened; };
    frame->SetMenu(menu);
    frame->SetUIStyle(skin::DeepBlue);
    form->Show();
    Pump();
    skin::TsuiMenuBar* bar = frame->MenuBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(menu->Form(), frame);
    ASSERT_EQ(bar->ButtonCount(), 2);
    EXPECT_EQ(bar->Buttons(0)->Caption(), "&File");
    EXPECT_FALSE(bar->Buttons(1)->Enabled());
    EXPECT_EQ(bar->Height(), 22);
    EXPECT_EQ(bar->Top(), frame->TitleBar()->Height()) << "the title bar stays on top";
    // A hot button in the menu colours.
    Surface surface(bar->Width(), bar->Height(), RGB(1, 2, 3));
    win::TCanvas canvas;
    canvas.SetHandle(surface.Dc());
    bar->DrawButton(canvas, bar->Buttons(0), {win::cdsHot});
    canvas.SetHandle(nullptr);
    const win::TRect r = bar->Buttons(0)->BoundsRect();
    EXPECT_EQ(surface.At(r.Left + 2, r.Top + 2), win::ColorToRGB(bar->HotColor));
    EXPECT_EQ(surface.At(r.Left, r.Top), win::ColorToRGB(bar->HotBorderColor));
    EXPECT_EQ(bar->HotColor,
              skin::GetBuiltInThemeColor(skin::DeepBlue, skin::SUI_THEME_MENU_SELECTED_BACKGROUND_COLOR));
    // The shortcut runs the item while the form is active.
    ::SetForegroundWindow(form->Handle());
    Pump();
    if (::GetActiveWindow() == form->Handle()) {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(keys);
        MSG msg{form->Handle(), WM_KEYDOWN, 'O', 0, 0, {0, 0}};
        EXPECT_TRUE(frame->HandleKey(msg));
        keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
        EXPECT_EQ(opened, 1);
    }
    MSG plain{form->Handle(), WM_KEYDOWN, 'Q', 0, 0, {0, 0}};
    EXPECT_FALSE(frame->HandleKey(plain));
    delete menu;
    EXPECT_EQ(frame->MenuBar(), nullptr) << "the bar goes with its menu";
    EXPECT_EQ(frame->Menu(), nullptr);
}

// An item of a menu whose owner reads right to left is drawn mirrored: the bar on the right and
// the separator from the left edge to the bar.
TEST(SkinnedMenu, ARightToLeftMenuIsDrawnMirrored)
{
    const wintest::ReadingCase<bool> cases[] = {{true, win::bdRightToLeft, true},  // mirrored
                                                {true, win::bdRightToLeftReadingOnly, true},
                                                {true, win::bdLeftToRight, false},
                                                {false, win::bdRightToLeft, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name());
        wintest::LocaleScope locale(c.rightToLeftLocale);
        const bool mirrored = c.expected;
        win::TForm form(nullptr);
        form.SetBiDiMode(c.mode);
        skin::TsuiPopupMenu menu(&form);
        menu.SetUIStyle(skin::DeepBlue);
        menu.SetSeparatorColor(win::clRed);
        menu.SetBarColor(win::clBlue);
        menu.SetColor(win::clWhite);
        auto* line = AddItem(menu.Items(), "-", &form);
        EXPECT_EQ(menu.UseRightToLeftReading(), mirrored);
        const int width = 120, bar = menu.BarWidth();
        Surface surface(width, 5, RGB(1, 2, 3));
        win::TCanvas canvas;
        canvas.SetHandle(surface.Dc());
        line->DrawItem(canvas, win::Rect(0, 0, width, 5), false);
        canvas.SetHandle(nullptr);
        const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
        // The separator runs at Top + 2 from Left + 2 to the bar's edge less 4, or mirrored.
        const int first = mirrored ? 2 : bar + 4, last = mirrored ? width - bar - 5 : width - 3;
        EXPECT_EQ(surface.At(first, 2), red);
        EXPECT_EQ(surface.At(last, 2), red);
        EXPECT_NE(surface.At(last + 1, 2), red);
        EXPECT_EQ(surface.At(mirrored ? width - 1 : 0, 0), blue) << "the bar";
        EXPECT_EQ(surface.At(mirrored ? 0 : width - 1, 0), white);
    }
}

TEST(SkinnedMenu, TheMainMenusImagesAreDrawnInTheBar)
{
    win::TForm form(nullptr);
    skin::TsuiMainMenu menu(&form);
    menu.SetUIStyle(skin::DeepBlue);
    win::TBitmap green;
    green.SetSize(16, 16);
    green.Canvas()->Brush()->SetColor(win::clLime);
    green.Canvas()->FillRect(win::Rect(0, 0, 16, 16));
    auto* images = new win::TImageList(&form);
    images->Add(&green, nullptr);
    menu.SetImages(images);
    auto* item = AddItem(menu.Items(), "Open", &form);
    // The bar's middle after drawing the item with `index` (enabled or not).
    auto barMiddle = [&](std::int32_t index, bool enabled) {
        item->ImageIndex = index;
        item->SetEnabled(enabled);
        Surface surface(120, 21, RGB(1, 2, 3));
        win::TCanvas canvas;
        canvas.SetHandle(surface.Dc());
        item->DrawItem(canvas, win::Rect(0, 0, 120, 21), false);
        canvas.SetHandle(nullptr);
        return surface.At(menu.BarWidth() / 2, 10);
    };
    const COLORREF lime = RGB(0, 255, 0), bar = win::ColorToRGB(menu.BarColor());
    EXPECT_EQ(barMiddle(0, true), lime) << "centred in the bar";
    EXPECT_EQ(barMiddle(3, true), bar) << "an index past the list draws none";
    EXPECT_NE(barMiddle(0, false), lime) << "greyed when disabled";
    delete images;
    EXPECT_EQ(menu.Images(), nullptr) << "a freed list leaves the menu";
    EXPECT_EQ(barMiddle(0, true), bar);
}

// The popup the frame's menu bar drops an item's sub-items from takes the frame menu's hot-key
// setting: its items show the hot keys that setting gives them.
TEST(MenuBar, ADroppedDownMenuTakesTheHotKeySettingOfTheFramesMenu)
{
    for (win::TMenuAutoFlag flag : {win::maManual, win::maAutomatic}) {
        SCOPED_TRACE(flag == win::maManual ? "manual" : "automatic");
        FormPtr form = ReadFramedForm();
        skin::TsuiForm* frame = FrameOf(*form);
        auto* menu = new skin::TsuiMainMenu(form.get());
        menu->AutoHotkeys = flag;
        auto* file = AddItem(menu->Items(), "&File", form.get());
        AddItem(file, "Open", form.get());
        frame->SetMenu(menu);
        form->Show();
        Pump();
        skin::TsuiMenuBar* bar = frame->MenuBar();
        ASSERT_NE(bar, nullptr);
        win::TMenuAutoFlag taken = flag == win::maManual ? win::maAutomatic : win::maManual;
        char text[32] = {};
        wintest::MenuWatch watch([&](HWND shown) {
            if (win::TPopupMenu* popup = wintest::HeldPopup(*bar))
                taken = popup->AutoHotkeys;
            HMENU handle = reinterpret_cast<HMENU>(::SendMessageA(shown, MN_GETHMENU, 0, 0));
            MENUITEMINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_STRING;
            info.dwTypeData = text;
            info.cch = sizeof text;
            ::GetMenuItemInfoA(handle, 0, TRUE, &info);
        });
        bar->TrackMenu(bar->Buttons(0));
        EXPECT_EQ(watch.seen, 1);
        EXPECT_EQ(taken, flag);
        EXPECT_STREQ(text, flag == win::maManual ? "Open" : "&Open");
    }
}

TEST(ShortCutText, NamesModifiersAndKeys)
{
    EXPECT_EQ(skin::ShortCutText(win::scCtrl | 'O'), "Ctrl+O");
    EXPECT_EQ(skin::ShortCutText(win::scCtrl | win::scShift | VK_F5), "Ctrl+Shift+F5");
    EXPECT_EQ(skin::ShortCutText(win::scAlt | VK_DELETE), "Alt+Del");
    EXPECT_EQ(skin::ShortCutText(0), "");
}
