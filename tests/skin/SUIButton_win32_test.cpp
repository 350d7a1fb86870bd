// Tests of the skinned buttons, worked by messages on forms read from descriptions: faces from
// the skin's pieces in every style and state, captions, focus, the repeat while held and every
// way it ends, default and cancel keys, modal results and the auto-size rule.
#include "skin/SUIButton.h"

#include "SkinTestSupport.h"
#include "platform/win/Actions.h"
#include "platform/win/StdCtrls.h"
#include "skin/SUI2Define.h"

#include <memory>
#include <vector>

namespace {

using namespace skintest;
using skin::TsuiUIStyle;

// Face piece `index` (1 normal, 2 mouse on, 3 mouse down) of the button bitmap in `style`.
void FacePiece(TsuiUIStyle style, skin::TsuiFileTheme* theme, int index, win::TBitmap& piece)
{
    if (style == skin::FromThemeFile)
        theme->GetBitmapPiece(skin::SKIN2_BUTTON - skin::kSkin2BitmapBase, &piece, index, 3);
    else
        skin::GetBuiltInThemeBitmap(style, skin::SUI_THEME_BUTTON_IMAGE, &piece, index, 3);
}

bool FaceIsTransparent(TsuiUIStyle style, skin::TsuiFileTheme* theme)
{
    if (style == skin::FromThemeFile)
        return theme->GetBool(skin::SKIN2_BUTTONTRANS - skin::kSkin2BooleanBase);
    return skin::GetBuiltInThemeInt(style, skin::SUI_THEME_BUTTON_TRANSPARENT) != 0;
}

// The unscaled corners of a face drawn in nine parts over the button at `r` match the piece
// pixel for pixel; key pixels of a transparent face show the form.
int CornerMismatches(const Shot& shot, const RECT& r, win::TBitmap& piece, bool transparent)
{
    const int sw = piece.Width(), sh = piece.Height();
    const int dw = r.right - r.left, dh = r.bottom - r.top;
    const int left = std::min(sw / 2, dw / 2), top = std::min(sh / 2, dh / 2);
    const int right = std::min(sw / 2 - 1, dw / 2 - 1), bottom = std::min(sh / 2 - 1, dh / 2 - 1);
    int wrong = 0;
    auto check = [&](int dx, int dy, int sx, int sy) {
        COLORREF want = PixelOf(piece, sx, sy);
        if (transparent && want == RGB(255, 0, 255))
            want = kSentinel;
        wrong += shot.At(r.left + dx, r.top + dy) != want;
    };
    for (int y = 0; y < top; ++y)
        for (int x = 0; x < left; ++x)
            check(x, y, x, y);
    for (int y = 0; y < bottom; ++y)
        for (int x = 0; x < right; ++x)
            check(dw - right + x, dh - bottom + y, sw - right + x, sh - bottom + y);
    return wrong;
}

std::string ButtonForm(TsuiUIStyle style, const std::string& caption, const std::string& extra = "")
{
    return FormHead(300, 120) +
           "  object Button1: TsuiButton\n"
           "    Left = 40\n    Top = 30\n    Width = 90\n    Height = 30\n"
           "    Caption = '" +
           caption + "'\n" + StyleLines(style) + extra +
           "  end\n"
           "  object Edit1: TEdit\n    Left = 160\n    Top = 30\n    TabOrder = 0\n  end\n"
           "end\n";
}

struct ButtonFixture : FormFixture {
    skin::TsuiButton* Load(const std::string& text)
    {
        Show(text);
        return Find<skin::TsuiButton>("Button1");
    }
};

// ---- faces ----

TEST_F(ButtonFixture, EachStateShowsItsPieceOfTheSkinInEveryStyleAndNothingOutside)
{
    for (TsuiUIStyle style : AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        // Not a tab stop: a pressed button would take the focus and show its focus rectangle.
        skin::TsuiButton* button = Load(ButtonForm(style, "", "    TabStop = False\n"));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(theme->Ready());
        const RECT r = RectOf(*button);
        const bool transparent = FaceIsTransparent(style, theme);
        EXPECT_EQ(button->Transparent(), transparent);
        HWND wnd = button->Handle();
        const std::pair<const char*, int> states[] = {{"normal", 1}, {"mouse on", 2}, {"mouse down", 3}};
        for (const auto& [state, index] : states) {
            if (index == 2)
                ::SendMessageA(wnd, WM_MOUSEMOVE, 0, At(5, 5));
            if (index == 3)
                ::SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
            win::TBitmap piece;
            FacePiece(style, theme, index, piece);
            ASSERT_FALSE(piece.Empty());
            const Shot shot = Take();
            EXPECT_EQ(CornerMismatches(shot, r, piece, transparent), 0) << state;
            ExpectNothingOutside(shot, r, state);
            if (!transparent)
                ExpectAllPainted(shot, r, state);
        }
        ::SendMessageA(wnd, WM_LBUTTONUP, 0, At(5, 5));
        ::SendMessageA(wnd, WM_MOUSELEAVE, 0, 0);
        button->SetEnabled(false);
        win::TBitmap normal;
        FacePiece(style, theme, 1, normal);
        EXPECT_EQ(CornerMismatches(Take(), r, normal, transparent), 0) << "disabled";
        delete form;
        form = nullptr;
    }
}

TEST_F(ButtonFixture, CaptionIsCentredInTheStylesColourAndMovesWhenPressed)
{
    skin::TsuiButton* button = Load(ButtonForm(skin::FromThemeFile, "Install"));
    const RECT r = RectOf(*button);
    const COLORREF ink = win::ColorToRGB(theme->GetColor(skin::SKIN2_BUTTONFONTCOLOR));
    const RECT normal = Take().BoxOf(r, ink);
    ASSERT_LT(normal.left, normal.right) << "no caption in the skin's button font colour";
    // The ink lies within the caption's advance width, centred on the button.
    HDC dc = ::GetDC(button->Handle());
    ::SelectObject(dc, button->Font()->Handle());
    SIZE advance{};
    ::GetTextExtentPoint32A(dc, "Install", 7, &advance);
    ::ReleaseDC(button->Handle(), dc);
    const int left = (r.left + r.right - advance.cx) / 2;
    EXPECT_GE(normal.left, left - 1);
    EXPECT_LE(normal.right, left + advance.cx + 1);
    EXPECT_LE(normal.left - left, advance.cx / 4);
    ::SendMessageA(button->Handle(), WM_MOUSEMOVE, 0, At(5, 5));
    ::SendMessageA(button->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    const RECT pressed = Take().BoxOf(r, ink);
    EXPECT_EQ(pressed.left - normal.left, 1);
    EXPECT_EQ(pressed.top - normal.top, 1);
    ::SendMessageA(button->Handle(), WM_LBUTTONUP, 0, At(5, 5));

    // Disabled: embossed, white below right of grey, and none of the enabled colour.
    button->SetEnabled(false);
    const Shot disabled = Take();
    EXPECT_EQ(disabled.Count(normal, ink), 0);
    const RECT grey = disabled.BoxOf(r, RGB(128, 128, 128));
    const RECT white = disabled.BoxOf(r, RGB(255, 255, 255));
    ASSERT_LT(grey.left, grey.right);
    EXPECT_EQ(white.right - grey.right, 1);
    EXPECT_EQ(white.bottom - grey.bottom, 1);
}

TEST_F(ButtonFixture, FocusShowsARectangleOrABoldCaptionByStyle)
{
    for (TsuiUIStyle style : {skin::DeepBlue, skin::MacOS}) {
        SCOPED_TRACE(StyleName(style));
        skin::TsuiButton* button = Load(ButtonForm(style, "Go"));
        const RECT r = RectOf(*button);
        const Shot before = Take();
        button->SetFocus();
        ASSERT_TRUE(button->Focused());
        const Shot after = Take();
        // Where the two pictures differ.
        RECT changed{r.right, r.bottom, r.left, r.top};
        int onFrame = 0, total = 0;
        const int m = button->FocusedRectMargin();
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (before.At(x, y) != after.At(x, y)) {
                    ++total;
                    changed.left = std::min<LONG>(changed.left, x);
                    changed.right = std::max<LONG>(changed.right, x + 1);
                    onFrame +=
                        x == r.left + m || x == r.right - m - 1 || y == r.top + m || y == r.bottom - m - 1;
                }
        ASSERT_GT(total, 0);
        if (style == skin::DeepBlue) {
            EXPECT_EQ(onFrame, total) << "only the focus rectangle changes";
            EXPECT_EQ(changed.left, r.left + m);
            EXPECT_EQ(changed.right, r.right - m);
        } else {
            EXPECT_EQ(onFrame, 0) << "no focus rectangle, the caption turns bold instead";
        }
        delete form;
        form = nullptr;
    }
}

// ---- repeat while held ----

struct Held : ButtonFixture {
    skin::TsuiImageButton* Button(int interval)
    {
        form = ShowForm(FormHead(200, 80) +
                        "  object Button1: TsuiImageButton\n"
                        "    Left = 20\n    Top = 20\n    Width = 40\n    Height = 24\n"
                        "    MouseContinuouslyDownInterval = " +
                        std::to_string(interval) +
                        "\n"
                        "  end\n"
                        "end\n");
        auto* b = static_cast<skin::TsuiImageButton*>(form->FindComponent("Button1"));
        b->OnMouseContinuouslyDown = [this](rtl::TObject*) { ++repeats; };
        return b;
    }
    void Press(skin::TsuiImageButton* b)
    {
        repeats = 0;
        ::SendMessageA(b->Handle(), WM_MOUSEMOVE, 0, At(4, 4));
        ::SendMessageA(b->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(4, 4));
        ASSERT_TRUE(b->Repeating());
        ASSERT_TRUE(PumpUntil([&] { return repeats >= 3; })) << "held, the button did not repeat";
    }
    int repeats = 0;
};

TEST_F(Held, RepeatsUntilReleasedEvenWhenReleasedOutside)
{
    skin::TsuiImageButton* b = Button(15);
    int clicks = 0;
    b->OnClick = [&](rtl::TObject*) { ++clicks; };
    Press(b);
    // The mouse moved off while captured and came up elsewhere: no click, and no more repeats.
    ::SendMessageA(b->Handle(), WM_LBUTTONUP, 0, At(300, 300));
    EXPECT_FALSE(b->Repeating());
    EXPECT_EQ(clicks, 0);
    Press(b);
    ::SendMessageA(b->Handle(), WM_LBUTTONUP, 0, At(4, 4));
    EXPECT_FALSE(b->Repeating());
    EXPECT_EQ(clicks, 1);
}

TEST_F(Held, StopsWhenTheMouseLeavesOrTheCaptureGoes)
{
    skin::TsuiImageButton* b = Button(15);
    Press(b);
    ::SendMessageA(b->Handle(), WM_MOUSEMOVE, MK_LBUTTON, At(-5, 4));
    EXPECT_FALSE(b->Repeating());
    ::SendMessageA(b->Handle(), WM_LBUTTONUP, 0, At(-5, 4));

    Press(b);
    ::SendMessageA(b->Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(b->Repeating());
    ::SendMessageA(b->Handle(), WM_LBUTTONUP, 0, At(4, 4));

    Press(b);
    ::SetCapture(form->Handle());
    EXPECT_FALSE(b->Repeating()) << "another window took the mouse";
    ::ReleaseCapture();
}

TEST_F(Held, StopsWhenDisabledOrHidden)
{
    skin::TsuiImageButton* b = Button(15);
    Press(b);
    b->SetEnabled(false);
    EXPECT_FALSE(b->Repeating());
    b->SetEnabled(true);

    Press(b);
    b->Hide();
    EXPECT_FALSE(b->Repeating());
    b->Show();

    // A parent hidden under the held button: the next tick finds it gone and stops.
    Press(b);
    form->Hide();
    EXPECT_TRUE(PumpUntil([&] { return !b->Repeating(); }));
}

TEST_F(Held, AnIntervalOfZeroNeverFires)
{
    skin::TsuiImageButton* b = Button(0);
    ::SendMessageA(b->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(4, 4));
    EXPECT_TRUE(b->Repeating());
    // Another timer ticks five times meanwhile.
    win::TTimer clock(nullptr);
    int ticks = 0;
    clock.OnTimer = [&](rtl::TObject*) { ++ticks; };
    clock.SetInterval(10);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 5; }));
    EXPECT_EQ(repeats, 0);
    ::SendMessageA(b->Handle(), WM_LBUTTONUP, 0, At(4, 4));
}

// ---- keys and results ----

TEST_F(ButtonFixture, EnterPressesTheDefaultAndEscTheCancelButton)
{
    form = ShowForm(FormHead(300, 100) +
                    "  object Edit1: TEdit\n    Left = 10\n    Top = 10\n    TabOrder = 0\n  end\n"
                    "  object Ok: TsuiButton\n    Left = 10\n    Top = 50\n    Caption = 'OK'\n"
                    "    Default = True\n    TabOrder = 1\n  end\n"
                    "  object No: TsuiButton\n    Left = 100\n    Top = 50\n    Caption = 'Cancel'\n"
                    "    Cancel = True\n    TabOrder = 2\n  end\n"
                    "end\n");
    std::vector<std::string> log;
    for (const char* name : {"Ok", "No"})
        static_cast<skin::TsuiButton*>(form->FindComponent(name))->OnClick = [&log, name](rtl::TObject*) {
            log.push_back(name);
        };
    auto* edit = static_cast<win::TEdit*>(form->FindComponent("Edit1"));
    ::SetForegroundWindow(form->Handle());
    edit->SetFocus();
    ::PostMessageA(edit->Handle(), WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_TRUE(PumpUntil([&] { return log.size() == 1; }));
    EXPECT_EQ(log[0], "Ok");
    ::PostMessageA(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    ASSERT_TRUE(PumpUntil([&] { return log.size() == 2; }));
    EXPECT_EQ(log[1], "No");
    // A disabled default button does not act.
    static_cast<skin::TsuiButton*>(form->FindComponent("Ok"))->SetEnabled(false);
    ::PostMessageA(edit->Handle(), WM_KEYDOWN, VK_RETURN, 1);
    Pump();
    EXPECT_EQ(log.size(), 2u);
}

TEST(ButtonModal, AClickOnAButtonWithAModalResultEndsTheModalFormWithIt)
{
    auto* form = new win::TForm(win::Application);
    form->SetBounds(50, 50, 240, 120);
    auto* button = new skin::TsuiButton(form);
    button->SetParent(form);
    button->SetBounds(20, 20, 80, 26);
    button->SetCaption("Cancel");
    button->SetModalResult(win::mrCancel);
    HWND wnd = button->Handle();
    ::PostMessageA(wnd, WM_MOUSEMOVE, 0, At(5, 5));
    ::PostMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    ::PostMessageA(wnd, WM_LBUTTONUP, 0, At(5, 5));
    EXPECT_EQ(form->ShowModal(), win::mrCancel);
    delete form;
}

// ---- auto size ----

TEST_F(ButtonFixture, AutoSizeTakesTheSizeOfOneFaceFromEitherSource)
{
    for (TsuiUIStyle style : {skin::MacOS, skin::BlueGlass, skin::FromThemeFile}) {
        SCOPED_TRACE(StyleName(style));
        skin::TsuiButton* button = Load(ButtonForm(style, "A rather long caption", "    AutoSize = True\n"));
        win::TBitmap piece;
        FacePiece(style, theme, 1, piece);
        EXPECT_EQ(button->Width(), piece.Width());
        EXPECT_EQ(button->Height(), piece.Height());
        delete form;
        form = nullptr;
    }
    skin::TsuiImageButton image(nullptr);
    image.SetAutoSize(true);
    EXPECT_EQ(image.Width(), 74);
    EXPECT_EQ(image.Height(), 21);
    win::TBitmap pic;
    pic.SetSize(30, 20);
    image.PicNormal()->SetBitmap(&pic);
    EXPECT_EQ(image.Width(), 30);
    EXPECT_EQ(image.Height(), 20);
}

TEST_F(ButtonFixture, AnImageButtonWithoutAMouseOnPictureShowsItsNormalOne)
{
    form = ShowForm(FormHead(200, 80) +
                    "  object Button1: TsuiImageButton\n    Left = 20\n    Top = 20\n"
                    "    Width = 30\n    Height = 20\n  end\n"
                    "end\n");
    auto* b = static_cast<skin::TsuiImageButton*>(form->FindComponent("Button1"));
    win::TBitmap normal;
    normal.SetPixelFormat(win::pf24bit);
    normal.SetSize(30, 20);
    normal.Canvas()->Brush()->SetColor(0x00336699);
    normal.Canvas()->FillRect(win::Rect(0, 0, 30, 20));
    win::TBitmap down;
    down.Assign(&normal);
    down.Canvas()->Brush()->SetColor(0x00996633);
    down.Canvas()->FillRect(win::Rect(0, 0, 30, 20));
    b->PicNormal()->SetBitmap(&normal);
    b->PicMouseDown()->SetBitmap(&down);
    const RECT r = RectOf(*b);
    EXPECT_EQ(Take().Count(r, RGB(0x99, 0x66, 0x33)), 600);
    ::SendMessageA(b->Handle(), WM_MOUSEMOVE, 0, At(3, 3));
    ASSERT_TRUE(b->MouseOver());
    EXPECT_EQ(Take().Count(r, RGB(0x99, 0x66, 0x33)), 600) << "mouse on shows the normal picture";
    ::SendMessageA(b->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(3, 3));
    EXPECT_EQ(Take().Count(r, RGB(0x33, 0x66, 0x99)), 600) << "mouse down has its own picture";
    ::SendMessageA(b->Handle(), WM_LBUTTONUP, 0, At(3, 3));
}

TEST_F(ButtonFixture, FreeingItsFileThemeTurnsTheButtonDeepBlue)
{
    skin::TsuiButton* button = Load(ButtonForm(skin::FromThemeFile, ""));
    ASSERT_EQ(button->FileTheme(), theme);
    delete theme;
    EXPECT_EQ(button->FileTheme(), nullptr);
    EXPECT_EQ(button->UIStyle(), skin::DeepBlue);
    win::TBitmap piece;
    FacePiece(skin::DeepBlue, nullptr, 1, piece);
    EXPECT_EQ(CornerMismatches(Take(), RectOf(*button), piece, false), 0);
}

}  // namespace

// ---- actions ----

// Named in the description, an action gives both button classes its caption, over one of their
// own, and its enabled state; a change of it shows as the same change made by hand would.
TEST_F(ButtonFixture, AnActionDrivesTheButtonsCaptionAndEnabledState)
{
    Show(FormHead(300, 120) + "  object Action1: TAction\n    Caption = 'Install'\n  end\n" +
         "  object Button1: TsuiButton\n    Left = 40\n    Top = 30\n    Width = 90\n    Height = 30\n"
         "    Caption = 'Start'\n    Action = Action1\n" +
         StyleLines(skin::FromThemeFile) + "  end\n" +
         "  object Button2: TsuiImageButton\n    Left = 160\n    Top = 30\n    Action = Action1\n  end\n"
         "end\n");
    auto* action = Find<win::TAction>("Action1");
    auto* push = Find<skin::TsuiButton>("Button1");
    auto* image = Find<skin::TsuiImageButton>("Button2");
    EXPECT_EQ(push->Caption(), "Install");
    EXPECT_EQ(image->Caption(), "Install");
    int executed = 0;
    action->OnExecute = [&](rtl::TObject*) { ++executed; };
    ::SendMessageA(push->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    ::SendMessageA(push->Handle(), WM_LBUTTONUP, 0, At(10, 10));
    EXPECT_EQ(executed, 1) << "a click runs the action";
    ::SetFocus(nullptr);
    action->SetCaption("Repair");
    action->SetEnabled(false);
    EXPECT_EQ(push->Caption(), "Repair");
    EXPECT_FALSE(push->Enabled());
    EXPECT_FALSE(image->Enabled());
    // The picture of each way: the button repainted in its new state, the same either way.
    auto picture = [&] {
        const Shot shot(push->Handle());
        std::vector<COLORREF> p;
        for (int y = 0; y < shot.Height(); ++y)
            for (int x = 0; x < shot.Width(); ++x)
                p.push_back(shot.At(x, y));
        return p;
    };
    const std::vector<COLORREF> byAction = picture();
    push->SetAction(nullptr);
    push->SetEnabled(true);
    push->SetCaption("Other");
    const std::vector<COLORREF> other = picture();
    push->SetCaption("Repair");
    push->SetEnabled(false);
    EXPECT_NE(other, byAction);
    EXPECT_EQ(picture(), byAction);
}
