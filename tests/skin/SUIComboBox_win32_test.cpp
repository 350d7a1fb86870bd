// Tests of the skinned combo box and link label, worked by messages on forms read from
// descriptions: frame, button and arrow in every style, the dropped list framed by itself, picking
// an item, and a link whose click reaches the shell (the call is caught, no browser runs).
#include "skin/SUIComboBox.h"
#include "skin/SUIURLLabel.h"

#include "SkinTestSupport.h"
#include "tests/platform/win/LocaleScope.h"
#include "skin/SUI2Define.h"

#include <shellapi.h>

#include <cstring>

namespace {

using namespace skintest;
using skin::TsuiUIStyle;

struct ComboFixture : FormFixture {
    void Load(const std::string& body) { ShowBody(body, 360, 220); }
    skin::TsuiComboBox* Combo() { return Find<skin::TsuiComboBox>("Combo1"); }
    COMBOBOXINFO Info()
    {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        EXPECT_TRUE(::GetComboBoxInfo(Combo()->Handle(), &info));
        return info;
    }
};

std::string ComboText(const std::string& extra)
{
    return "  object Combo1: TsuiComboBox\n    Left = 20\n    Top = 20\n    Width = 200\n"
           "    Items.Strings = (\n      'C:\\Zantic\\'\n      'D:\\Apps\\Zantic\\'\n      "
           "'E:\\Zantic\\')\n" +
           extra + "  end\n";
}

// Client rectangle of the combo box in form coordinates, and its button rectangle likewise.
RECT OnForm(const RECT& r, const win::TControl& c)
{
    return RECT{r.left + c.Left(), r.top + c.Top(), r.right + c.Left(), r.bottom + c.Top()};
}

TEST_F(ComboFixture, FrameButtonAndArrowAreTheSkinsInEveryStyle)
{
    for (TsuiUIStyle style : AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        Load(ComboText(StyleLines(style)));
        skin::TsuiComboBox* combo = Combo();
        const COMBOBOXINFO info = Info();
        const RECT r = RectOf(*combo);
        const RECT button = OnForm(info.rcButton, *combo);
        const Shot shot = Take();
        ExpectNothingOutside(shot, r, "combo");
        ExpectAllPainted(shot, r, "combo");
        TsuiUIStyle drawn = style;
        const bool fromFile = skin::UsesFileTheme(theme, style, drawn);
        const COLORREF border = win::ColorToRGB(
            fromFile ? theme->GetColor(skin::SKIN2_CONTROLBORDERCOLOR)
                     : skin::GetBuiltInThemeColor(drawn, skin::SUI_THEME_CONTROL_BORDER_COLOR));
        const COLORREF fill = win::ColorToRGB(fromFile ? theme->GetColor(skin::SKIN2_CONTROLCOLOR)
                                                       : skin::GetBuiltInThemeColor(drawn, 15));
        EXPECT_EQ(win::ColorToRGB(combo->BorderColor()), border);
        EXPECT_EQ(win::ColorToRGB(combo->ButtonColor()), fill);
        const COLORREF face = win::ColorToRGB(combo->Color());
        int wrong = 0;
        for (int x = r.left; x < r.right; ++x) {
            wrong += shot.At(x, r.top) != border;
            wrong += shot.At(x, r.bottom - 1) != border;
            if (x > r.left && x < r.right - 1 && x != button.left)  // the button's line crosses it
                wrong += (shot.At(x, r.top + 1) != face) + (shot.At(x, r.bottom - 2) != face);
        }
        for (int y = r.top; y < r.bottom; ++y)
            wrong += (shot.At(r.left, y) != border) + (shot.At(r.right - 1, y) != border);
        EXPECT_EQ(wrong, 0) << "frame";

        // The arrow centred in the button rectangle, the rectangle's top counted.
        win::TPoint a;
        ASSERT_TRUE(combo->ArrowOrigin(a));
        const int ax = a.X + combo->Left(), ay = a.Y + combo->Top();
        EXPECT_EQ(ay, (button.bottom - button.top) / 2 + button.top);
        const COLORREF black = RGB(0, 0, 0);
        int arrow = 0;
        for (int x = ax; x <= ax + 6; ++x)
            arrow += shot.At(x, ay) == black;
        if (drawn == skin::WinXP) {
            EXPECT_LT(arrow, 7) << "WinXP keeps its bitmap's own arrow";
        } else {
            // A triangle seven pixels wide and four high, its top row at the middle of the
            // button rectangle, its left end three pixels left of the rectangle's centre.
            const RECT ink =
                shot.BoxOf(RECT{button.left + 1, button.top, button.right, button.bottom}, black);
            EXPECT_EQ(ink.top, (button.bottom - button.top) / 2 + button.top);
            EXPECT_EQ(ink.left, (button.right - button.left) / 2 + button.left - 3);
            EXPECT_EQ(ink.right - ink.left, 7);
            EXPECT_EQ(ink.bottom - ink.top, 4);
            EXPECT_EQ(arrow, 7);
        }
        if (drawn == skin::MacOS || drawn == skin::WinXP) {
            win::TBitmap bitmap;
            skin::LoadBuiltInBitmap(drawn == skin::MacOS ? "MACOS_COMBOBOX_BUTTON" : "WINXP_COMBOBOX_BUTTON",
                                    &bitmap);
            EXPECT_EQ(shot.At(button.left, button.top), PixelOf(bitmap, 0, 0));
            EXPECT_EQ(shot.At(button.right - 1, button.bottom - 1),
                      PixelOf(bitmap, bitmap.Width() - 1, bitmap.Height() - 1));
        } else {
            // Filled, with the border colour's line down its left edge, one pixel past each end.
            const int arrowPixels = 7 + 5 + 3 + 1;
            EXPECT_EQ(shot.Count(RECT{button.left + 1, button.top, button.right, button.bottom}, fill),
                      (button.right - button.left - 1) * (button.bottom - button.top) - arrowPixels);
            for (int y = button.top - 1; y <= button.bottom; ++y)
                EXPECT_EQ(shot.At(button.left, y), border) << y;
            EXPECT_EQ(shot.At(ax + 3, ay - 1), fill) << "nothing above the arrow's top row";
        }
        delete form;
        form = nullptr;
    }
}

// Reading right to left on a locale that mirrors controls, the button's line moves to its right
// edge; any other mode or locale keeps it at the left.
TEST_F(ComboFixture, TheButtonsLineStandsWhereTheTextReadsFrom)
{
    const wintest::ReadingCase<bool> cases[] = {{true, win::bdRightToLeft, true},  // the line at the right
                                                {true, win::bdRightToLeftReadingOnly, true},
                                                {true, win::bdLeftToRight, false},
                                                {false, win::bdRightToLeft, false}};
    for (TsuiUIStyle style : {skin::DeepBlue, skin::FromThemeFile}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(StyleName(style) + " " + c.Name());
            wintest::LocaleScope locale(c.rightToLeftLocale);
            Load(ComboText(StyleLines(style) + "    BiDiMode = " + c.ModeName() + "\n"));
            skin::TsuiComboBox* combo = Combo();
            const RECT button = OnForm(Info().rcButton, *combo);
            const Shot shot = Take();
            const COLORREF border = win::ColorToRGB(combo->BorderColor());
            const COLORREF fill = win::ColorToRGB(combo->ButtonColor());
            const bool right = c.expected;
            const int lineX = right ? button.right - 1 : button.left;
            const int otherX = right ? button.left : button.right - 1;
            for (int y = button.top - 1; y <= button.bottom; ++y)
                EXPECT_EQ(shot.At(lineX, y), border) << y;
            EXPECT_EQ(shot.At(otherX, button.top + 1), fill) << "the other edge is the button's fill";
            delete form;
            form = nullptr;
        }
    }
}

TEST_F(ComboFixture, ADisabledArrowIsEmbossed)
{
    Load(ComboText("    UIStyle = DeepBlue\n    Enabled = False\n"));
    win::TPoint a;
    ASSERT_TRUE(Combo()->ArrowOrigin(a));
    const Shot shot = Take();
    const int ax = a.X + Combo()->Left(), ay = a.Y + Combo()->Top();
    for (int x = ax; x <= ax + 6; ++x)
        EXPECT_EQ(shot.At(x, ay), RGB(128, 128, 128)) << x;
    EXPECT_EQ(shot.At(ax + 7, ay + 1), RGB(255, 255, 255));
    EXPECT_EQ(shot.At(ax + 4, ay + 4), RGB(255, 255, 255));
}

TEST_F(ComboFixture, ASimpleComboBoxKeepsTheSystemsLook)
{
    Load(ComboText("    UIStyle = DeepBlue\n    Style = csSimple\n    Height = 80\n"));
    const RECT r = RectOf(*Combo());
    EXPECT_LT(Take().Count(RECT{r.left, r.top, r.right, r.top + 1}, RGB(0, 0, 0)), r.right - r.left);
}

TEST_F(ComboFixture, TheDroppedListFramesItselfAndAClickPicksAnItem)
{
    Load(ComboText("    UIStyle = FromThemeFile\n    FileTheme = Theme1\n"));
    skin::TsuiComboBox* combo = Combo();
    std::vector<std::string> changes;
    combo->OnChange = [&](rtl::TObject*) { changes.push_back(combo->Text()); };
    const COMBOBOXINFO info = Info();
    HWND wnd = combo->Handle();
    const int bx = (info.rcButton.left + info.rcButton.right) / 2,
              by = (info.rcButton.top + info.rcButton.bottom) / 2;
    ::SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(bx, by));
    ::SendMessageA(wnd, WM_LBUTTONUP, 0, At(bx, by));
    ASSERT_TRUE(PumpUntil([&] { return combo->DroppedDown(); }));
    HWND list = info.hwndList;
    ASSERT_TRUE(::IsWindowVisible(list));
    Pump();
    // The list's own window shows the frame, all round.
    const Shot framed = Shot::Window(list);
    const COLORREF border = win::ColorToRGB(theme->GetColor(skin::SKIN2_CONTROLBORDERCOLOR));
    int wrong = 0;
    for (int x = 0; x < framed.Width(); ++x)
        wrong += (framed.At(x, 0) != border) + (framed.At(x, framed.Height() - 1) != border);
    for (int y = 0; y < framed.Height(); ++y)
        wrong += (framed.At(0, y) != border) + (framed.At(framed.Width() - 1, y) != border);
    EXPECT_EQ(wrong, 0);
    // Drawn again by the list itself, as when something passes over it.
    ::RedrawWindow(list, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(Shot::Window(list).At(0, 0), border);

    // Click the second item.
    RECT item;
    ASSERT_NE(::SendMessageA(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)), LB_ERR);
    const int ix = (item.left + item.right) / 2, iy = (item.top + item.bottom) / 2;
    ::SendMessageA(list, WM_MOUSEMOVE, 0, At(ix, iy));
    ::SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, At(ix, iy));
    ::SendMessageA(list, WM_LBUTTONUP, 0, At(ix, iy));
    ASSERT_TRUE(PumpUntil([&] { return !combo->DroppedDown(); }));
    EXPECT_EQ(combo->ItemIndex(), 1);
    EXPECT_EQ(combo->Text(), "D:\\Apps\\Zantic\\");
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back(), "D:\\Apps\\Zantic\\");
}

TEST_F(ComboFixture, TypingIntoTheFolderBoxKeepsItsSkin)
{
    Load(ComboText("    UIStyle = Protein\n"));
    skin::TsuiComboBox* combo = Combo();
    HWND edit = ::FindWindowExA(combo->Handle(), nullptr, "Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    for (char c : std::string("F:\\x"))
        ::SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
    EXPECT_EQ(combo->Text(), "F:\\x");
    const RECT r = RectOf(*combo);
    const Shot shot = Take();
    EXPECT_EQ(shot.At(r.left, r.top), win::ColorToRGB(combo->BorderColor()));
    EXPECT_EQ(shot.At(r.right - 1, r.bottom - 1), win::ColorToRGB(combo->BorderColor()));
}

// ---- link label ----

// The shell call the link makes, caught in the program's import table so no browser starts.
struct ShellCall {
    int count = 0;
    HWND owner = reinterpret_cast<HWND>(1);
    std::string verb, file;
    bool parameters = true, folder = true;
    INT show = -1;
};
ShellCall gShell;

HINSTANCE WINAPI CaughtShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder,
                                    INT show)
{
    ++gShell.count;
    gShell.owner = owner;
    gShell.verb = verb ? verb : "";
    gShell.file = file ? file : "";
    gShell.parameters = parameters != nullptr;
    gShell.folder = folder != nullptr;
    gShell.show = show;
    return reinterpret_cast<HINSTANCE>(42);
}

// Points the program's import of shell32!ShellExecuteA at `replacement` while it lives.
class ImportPatch {
public:
    explicit ImportPatch(void* replacement)
    {
        void* real =
            reinterpret_cast<void*>(::GetProcAddress(::LoadLibraryA("shell32.dll"), "ShellExecuteA"));
        auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
            if (_stricmp(reinterpret_cast<const char*>(base + d->Name), "shell32.dll") != 0)
                continue;
            for (auto* t = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk); t->u1.Function; ++t)
                if (reinterpret_cast<void*>(t->u1.Function) == real) {
                    slot_ = reinterpret_cast<void**>(&t->u1.Function);
                    old_ = real;
                    Write(replacement);
                }
        }
    }
    ~ImportPatch()
    {
        if (slot_)
            Write(old_);
    }
    bool Patched() const { return slot_ != nullptr; }

private:
    void Write(void* value)
    {
        DWORD protect;
        ::VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &protect);
        *slot_ = value;
        ::VirtualProtect(slot_, sizeof(void*), protect, &protect);
    }
    void** slot_ = nullptr;
    void* old_ = nullptr;
};

struct LinkFixture : ComboFixture {
    skin::TsuiURLLabel* Link(const std::string& url)
    {
        Load(
            "  object Link1: TsuiURLLabel\n    Left = 30\n    Top = 40\n    Caption = 'Email Support'\n"
            "    Font.Height = -11\n    Font.Name = 'Tahoma'\n    Font.Style = [fsUnderline]\n"
            "    URL = '" +
            url + "'\n  end\n");
        auto* link = static_cast<skin::TsuiURLLabel*>(form->FindComponent("Link1"));
        link->OnClick = [this](rtl::TObject*) { ++clicks; };
        gShell = ShellCall{};
        return link;
    }
    void Click(skin::TsuiURLLabel* link)
    {
        const LPARAM at = At(link->Left() + 5, link->Top() + 5);
        ::SendMessageA(form->Handle(), WM_MOUSEMOVE, 0, at);
        ::SendMessageA(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageA(form->Handle(), WM_LBUTTONUP, 0, at);
    }
    int clicks = 0;
};

TEST_F(LinkFixture, AClickOpensTheAddressAsGivenThroughTheShell)
{
    ImportPatch patch(reinterpret_cast<void*>(&CaughtShellExecute));
    ASSERT_TRUE(patch.Patched());
    const std::string url = " mailto:support@kestrelon.example?subject=Varnelo%20setup ";
    skin::TsuiURLLabel* link = Link(url);
    Click(link);
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(gShell.count, 1);
    EXPECT_EQ(gShell.owner, nullptr);
    EXPECT_EQ(gShell.verb, "open");
    EXPECT_EQ(gShell.file, url) << "untrimmed";
    EXPECT_FALSE(gShell.parameters);
    EXPECT_FALSE(gShell.folder);
    EXPECT_EQ(gShell.show, SW_SHOW);
}

TEST_F(LinkFixture, ABlankAddressOpensNothingButStillClicks)
{
    ImportPatch patch(reinterpret_cast<void*>(&CaughtShellExecute));
    skin::TsuiURLLabel* link = Link("   ");
    Click(link);
    EXPECT_EQ(gShell.count, 0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(LinkFixture, TheLinkTurnsItsHoverColourUnderTheMouse)
{
    ImportPatch patch(reinterpret_cast<void*>(&CaughtShellExecute));
    skin::TsuiURLLabel* link = Link("https://kestrelon.example/setup-info/");
    const RECT r = RectOf(*link);
    const COLORREF blue = RGB(0, 0, 255), red = RGB(255, 0, 0);
    Shot before = Take();
    EXPECT_GT(before.Count(r, blue), 10);
    EXPECT_EQ(before.Count(r, red), 0);
    // The underline runs the caption's whole width in the link colour.
    EXPECT_GE(before.BoxOf(r, blue).right - before.BoxOf(r, blue).left, link->Width() - 2);
    ::SendMessageA(form->Handle(), WM_MOUSEMOVE, 0, At(link->Left() + 3, link->Top() + 3));
    EXPECT_EQ(link->Font()->Color(), win::clRed);
    const Shot over = Take();
    EXPECT_GT(over.Count(r, red), 10);
    EXPECT_EQ(over.Count(r, blue), 0);
    ::SendMessageA(form->Handle(), WM_MOUSEMOVE, 0, At(300, 200));
    EXPECT_EQ(link->Font()->Color(), win::clBlue);
    EXPECT_EQ(link->Cursor(), win::crHandPoint);
}

}  // namespace
