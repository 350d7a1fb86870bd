// Pixel tests of the colour button: normal, hover, disabled, pressed and focus-frame faces, its
// owner-drawn window, and its colours read from a window description.
#include "app/ColorButton.h"

#include "PaintTestSupport.h"
#include "platform/win/Messages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace app {
namespace {

using namespace win;
using painttest::ShownForm;
using painttest::Surface;

constexpr TColor kBack = 8421440;    // 0x808040
constexpr TColor kHover = 13086567;  // 0xC7AF67
constexpr TColor kFore = 0xFFFFFF;

std::unique_ptr<TColorButton> MakeInstallButton()
{
    auto b = std::make_unique<TColorButton>(nullptr);
    b->SetCaption("Install");
    b->SetBounds(529, 267, 75, 25);
    b->SetBackColor(kBack);
    b->SetHoverColor(kHover);
    b->SetForeColor(kFore);
    b->SetDisabledColor(clBlack);
    return b;
}

void Draw(TColorButton& b, Surface& s, UINT state)
{
    RECT r{0, 0, s.Width(), s.Height()};
    b.DrawItem(s.Dc(), r, state);
}

// The caption's ink lies within the box a centred caption takes (its advance width, centred):
// how far the ink falls short of either end depends on the face's bearings, not on the button.
void ExpectCentred(TColorButton& b, const Surface& s, const RECT& ink)
{
    HGDIOBJ old = SelectObject(s.Dc(), b.Font()->Handle());
    SIZE size{};
    GetTextExtentPoint32A(s.Dc(), b.Caption().c_str(), static_cast<int>(b.Caption().size()), &size);
    SelectObject(s.Dc(), old);
    const LONG left = (s.Width() - size.cx) / 2;
    EXPECT_GE(ink.left, left - 1) << "advance " << size.cx;
    EXPECT_LE(ink.right, left + size.cx) << "advance " << size.cx;
    EXPECT_LE(ink.left - left, size.cx / 4) << "the ink starts far into the caption's box";
}

TEST(ColorButton, NormalFaceIsBackColourWithCaptionInForeColour)
{
    auto b = MakeInstallButton();
    Surface s(75, 25, RGB(1, 2, 3));
    Draw(*b, s, 0);
    EXPECT_EQ(s.At(0, 0), ColorToRGB(kBack));
    EXPECT_EQ(s.At(74, 24), ColorToRGB(kBack));
    const RECT text = s.BoxOf(RGB(255, 255, 255));
    ASSERT_LE(text.left, text.right) << "caption not drawn in the fore colour";
    ExpectCentred(*b, s, text);
    EXPECT_LE(std::abs((text.top - 0) - (24 - text.bottom)), 2);
    EXPECT_EQ(s.Count(RGB(0, 0, 0)), 0);
}

TEST(ColorButton, HoverPaintsHoverColourAndLeavingRestoresBackColour)
{
    auto b = MakeInstallButton();
    b->Perform(CM_MOUSEENTER, 0, 0);
    EXPECT_EQ(b->BackColor(), kHover);
    Surface hover(75, 25, RGB(1, 2, 3));
    Draw(*b, hover, 0);
    EXPECT_EQ(hover.At(0, 0), ColorToRGB(kHover));
    EXPECT_EQ(hover.At(40, 1), ColorToRGB(kHover));
    b->Perform(CM_MOUSEENTER, 0, 0);  // a repeated enter must not lose the back colour
    b->Perform(CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(b->BackColor(), kBack);
    Surface after(75, 25, RGB(1, 2, 3));
    Draw(*b, after, 0);
    EXPECT_EQ(after.At(0, 0), ColorToRGB(kBack));
}

TEST(ColorButton, DisabledCaptionIsDisabledColourOnBackColour)
{
    auto b = MakeInstallButton();
    Surface s(75, 25, RGB(1, 2, 3));
    Draw(*b, s, ODS_DISABLED);
    EXPECT_EQ(s.At(0, 0), ColorToRGB(kBack));
    EXPECT_EQ(s.Count(RGB(255, 255, 255)), 0);
    const RECT text = s.BoxOf(RGB(0, 0, 0));
    ASSERT_LE(text.left, text.right) << "caption not drawn in the disabled colour";
    ExpectCentred(*b, s, text);
    // Plain text: no embossed highlight copy of the caption.
    EXPECT_EQ(s.Count(ColorToRGB(clBtnHighlight)), 0);
}

TEST(ColorButton, PressedFaceHasShadowBorderAndCaptionMovedByOne)
{
    auto b = MakeInstallButton();
    Surface normal(75, 25, RGB(1, 2, 3));
    Draw(*b, normal, 0);
    Surface pressed(75, 25, RGB(1, 2, 3));
    Draw(*b, pressed, ODS_SELECTED);
    const COLORREF shadow = ColorToRGB(clBtnShadow);
    EXPECT_EQ(pressed.At(0, 0), shadow);
    EXPECT_EQ(pressed.At(0, 12), shadow);
    EXPECT_EQ(pressed.At(37, 0), shadow);
    EXPECT_EQ(pressed.At(1, 1), ColorToRGB(kBack));
    EXPECT_EQ(pressed.At(37, 23), ColorToRGB(kBack));
    const RECT a = normal.BoxOf(RGB(255, 255, 255));
    const RECT p = pressed.BoxOf(RGB(255, 255, 255));
    EXPECT_EQ(p.left - a.left, 1);
    EXPECT_EQ(p.top - a.top, 1);
}

TEST_F(ShownForm, ButtonWindowIsOwnerDrawnAndPaintsItsBackColour)
{
    auto* b = new TColorButton(form_);
    b->SetParent(form_);
    b->SetCaption("Install");
    b->SetBounds(529, 267, 75, 25);
    b->SetBackColor(kBack);
    b->SetHoverColor(kHover);
    b->SetForeColor(kFore);
    form_->Show();
    Pump();
    ASSERT_TRUE(b->HandleAllocated());
    EXPECT_EQ(GetWindowLongA(b->Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

    // The window's own painting reaches DrawItem through the reflected draw-item message.
    Surface s(75, 25, RGB(1, 2, 3));
    SendMessageA(b->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(s.Dc()), PRF_CLIENT);
    EXPECT_EQ(s.At(3, 3), ColorToRGB(kBack));

    // Hover through the control's own mouse tracking.
    SendMessageA(b->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    Pump();
    EXPECT_EQ(b->BackColor(), kHover);
    SendMessageA(b->Handle(), WM_MOUSELEAVE, 0, 0);
    Pump();
    EXPECT_EQ(b->BackColor(), kBack);
}

TEST_F(ShownForm, DefaultButtonWithFocusDrawsTheFocusFrameTwoPixelsIn)
{
    auto* b = new TColorButton(form_);
    b->SetParent(form_);
    b->SetCaption("OK");
    b->SetBounds(10, 10, 75, 25);
    b->SetBackColor(kBack);
    b->SetForeColor(kFore);
    form_->Show();
    Pump();
    b->SetFocus();
    Pump();
    Surface plain(75, 25, RGB(1, 2, 3));
    Draw(*b, plain, 0);
    Surface focus(75, 25, RGB(1, 2, 3));
    Draw(*b, focus, ODS_FOCUS);
    int changedOnFrame = 0, changedElsewhere = 0;
    for (int x = 0; x < 75; ++x) {
        changedOnFrame += focus.At(x, 2) != plain.At(x, 2);
        changedElsewhere += focus.At(x, 1) != plain.At(x, 1);
    }
    EXPECT_GT(changedOnFrame, 10);
    EXPECT_EQ(changedElsewhere, 0);
}

TEST_F(ShownForm, ColoursAndCaptionReadFromTheMainWindowsDescription)
{
    Read(
        "object Form2: TForm\r\n"
        "  Caption = 'Setup Assistant'\r\n"
        "  object bInstall: TColorButton\r\n"
        "    Left = 529\r\n"
        "    Top = 267\r\n"
        "    Width = 75\r\n"
        "    Height = 25\r\n"
        "    Caption = 'Install'\r\n"
        "    Enabled = False\r\n"
        "    BackColor = 8421440\r\n"
        "    DisabledColor = clBlack\r\n"
        "    ForeColor = clWhite\r\n"
        "    HoverColor = 13086567\r\n"
        "  end\r\n"
        "end\r\n");
    auto* button = dynamic_cast<TColorButton*>(form_->FindComponent("bInstall"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->BackColor(), kBack);
    EXPECT_EQ(button->HoverColor(), kHover);
    EXPECT_EQ(button->ForeColor(), static_cast<TColor>(0xFFFFFF));
    EXPECT_EQ(button->Caption(), "Install");
    EXPECT_FALSE(button->Enabled());
}

}  // namespace
}  // namespace app
