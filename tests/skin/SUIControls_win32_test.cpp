// The skinned controls together: every class a window description may name is registered and
// holds its stated defaults when new, and a form of all of them in each style, kept as a picture
// in the build tree, shows each control inside its own rectangle with nothing left unpainted.
#include "skin/SUIButton.h"
#include "skin/SUIComboBox.h"
#include "skin/SUIImagePanel.h"
#include "skin/SUIMemo.h"
#include "skin/SUIScrollBar.h"
#include "skin/SUITrackBar.h"
#include "skin/SUIURLLabel.h"

#include "SkinTestSupport.h"
#include "platform/rtl/TypeInfo.h"
#include "skin/SUI2Define.h"

#include <cstdio>
#include <memory>

namespace {

using namespace skintest;

TEST(SkinnedClasses, EveryClassIsRegisteredAndHoldsItsStatedDefaultsWhenNew)
{
    int checked = 0;
    for (const char* name :
         {"TsuiButton", "TsuiImageButton", "TsuiScrollBar", "TsuiMemo", "TsuiTrackBar", "TsuiScrollTrackBar",
          "TsuiImagePanel", "TsuiComboBox", "TsuiURLLabel", "TsuiMessageDialog"}) {
        SCOPED_TRACE(name);
        const rtl::TClassInfo* info = rtl::GetClass(name);
        ASSERT_NE(info, nullptr);
        ASSERT_TRUE(info->CreateComponent);
        std::unique_ptr<rtl::TComponent> instance(info->CreateComponent(nullptr));
        for (const rtl::TPropInfo* prop : rtl::GetPropList(*instance)) {
            if (prop->Kind() == rtl::tkClass || prop->Default == rtl::kNoDefault)
                continue;
            ++checked;
            EXPECT_EQ(rtl::GetOrdProp(*instance, *prop), prop->Default) << prop->Name;
        }
        // Without an owning form to take a style from, every control starts in DeepBlue.
        if (rtl::IsPublishedProp(*instance, "UIStyle")) {
            EXPECT_EQ(rtl::GetOrdProp(*instance, "UIStyle"), skin::DeepBlue);
        }
    }
    EXPECT_GE(checked, 100);
}

// Descriptions may give the frame and the controls a reading order, and both button classes an
// action.
TEST(SkinnedClasses, ReadingOrderAndActionsArePublishedWhereDescriptionsNameThem)
{
    for (const char* name : {"TsuiForm", "TsuiScrollBar", "TsuiMemo", "TsuiComboBox", "TsuiURLLabel"}) {
        std::unique_ptr<rtl::TComponent> instance(rtl::GetClass(name)->CreateComponent(nullptr));
        EXPECT_TRUE(rtl::IsPublishedProp(*instance, "BiDiMode")) << name;
        EXPECT_TRUE(rtl::IsPublishedProp(*instance, "ParentBiDiMode")) << name;
    }
    for (const char* name : {"TsuiButton", "TsuiImageButton"}) {
        std::unique_ptr<rtl::TComponent> instance(rtl::GetClass(name)->CreateComponent(nullptr));
        EXPECT_TRUE(rtl::IsPublishedProp(*instance, "Action")) << name;
    }
}

// The pictures each control reads, from the built-in styles and the program's skin file, have
// the sizes and piece layouts the controls draw them in.
TEST(SkinnedClasses, TheSkinsPiecesFitHowTheControlsDrawThem)
{
    skin::TsuiFileTheme theme(nullptr);
    theme.SetThemeFile(VA_SKIN_FILE_PATH);
    ASSERT_TRUE(theme.Ready());
    // Columns x0 and x1 of `b` are alike, pixel for pixel.
    auto same = [](win::TBitmap& b, int x0, int x1) {
        for (int y = 0; y < b.Height(); ++y)
            if (::GetPixel(b.Canvas()->Handle(), x0, y) != ::GetPixel(b.Canvas()->Handle(), x1, y))
                return false;
        return true;
    };
    for (skin::TsuiUIStyle style : AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        const bool file = style == skin::FromThemeFile;
        win::TBitmap face, buttons, thumb, channel, across, down;
        auto load = [&](int bitmap, int entry, win::TBitmap& dest) {
            if (file)
                dest.Assign(theme.GetBitmap(bitmap - 32));
            else
                skin::LoadBuiltInThemeBitmap(style, entry, &dest);
        };
        load(skin::SKIN2_BUTTON, skin::SUI_THEME_BUTTON_IMAGE, face);
        load(skin::SKIN2_SCROLLBARUPBUTTON, skin::SUI_THEME_SCROLLBAR_BUTTON_IMAGE, buttons);
        load(skin::SKIN2_SCROLLBAR, skin::SUI_THEME_SCROLLBAR_SLIDER_IMAGE, thumb);
        load(skin::SKIN2_TRACKBAR, skin::SUI_THEME_TRACKBAR_BAR, channel);
        load(skin::SKIN2_TRACKBARSLIDER, skin::SUI_THEME_TRACKBAR_SLIDER, across);
        load(skin::SKIN2_TRACKBARVSLIDER, skin::SUI_THEME_TRACKBAR_SLIDER_V, down);
        // Three faces, each a whole button of the size an auto-sized button takes.
        EXPECT_EQ(face.Width(), 3 * 75);
        EXPECT_EQ(face.Height(), 25);
        // Square line buttons (three states in the file, up and down in a style), as thick as
        // the thumb lies across the bar.
        const int side = buttons.Height();
        EXPECT_EQ(buttons.Width(), (file ? 3 : 6) * side);
        EXPECT_EQ(file ? thumb.Width() : thumb.Height(), side);
        if (file) {
            // Stored upright in three pieces; beyond the 3-pixel caps the rows that are
            // stretched are all alike.
            ASSERT_EQ(thumb.Height() % 3, 0);
            const int piece = thumb.Height() / 3;
            win::TBitmap rows;
            rows.Assign(&thumb);
            skin::RotateBitmapLeft(&rows);
            for (int x = 4; x < piece; ++x)
                EXPECT_TRUE(same(rows, 3, x)) << "start piece column " << x;
            for (int x = 2 * piece; x < thumb.Height() - 3; ++x)
                EXPECT_TRUE(same(rows, 2 * piece, x)) << "end piece column " << x;
        } else {
            // The grip's first column continues the start piece: stretched, it joins seamlessly.
            ASSERT_EQ(thumb.Width() % 3, 0);
            const int piece = thumb.Width() / 3;
            EXPECT_TRUE(same(thumb, piece - 1, piece));
        }
        // The channel in three pieces, its corner the mask; the upright thumb the lying one turned.
        EXPECT_EQ(channel.Width() % 3, 0);
        EXPECT_EQ(::GetPixel(channel.Canvas()->Handle(), 0, 0), RGB(255, 0, 255));
        EXPECT_EQ(across.Width(), down.Height());
        EXPECT_EQ(across.Height(), down.Width());
    }
    for (const char* name : {"MACOS_COMBOBOX_BUTTON", "WINXP_COMBOBOX_BUTTON"}) {
        win::TBitmap b;
        EXPECT_TRUE(skin::LoadBuiltInBitmap(name, &b)) << name;
    }
}

// One of each control, in one style.
std::string Gallery(skin::TsuiUIStyle style)
{
    const std::string s = StyleLines(style);
    return FormHead(480, 330) +
           "  object Button1: TsuiButton\n    Left = 16\n    Top = 14\n    Caption = 'Install'\n" + s +
           "  end\n"
           "  object Button2: TsuiButton\n    Left = 100\n    Top = 14\n    Caption = 'Cancel'\n"
           "    Enabled = False\n" +
           s +
           "  end\n"
           "  object Combo1: TsuiComboBox\n    Left = 190\n    Top = 16\n    Width = 270\n"
           "    Text = 'C:\\Program Files\\Zantic\\'\n" +
           s +
           "  end\n"
           "  object Memo1: TsuiMemo\n    Left = 16\n    Top = 56\n    Width = 300\n    Height = 150\n"
           "    WordWrap = False\n    VScrollBar = VBar\n    HScrollBar = HBar\n" +
           s +
           "  end\n"
           "  object VBar: TsuiScrollBar\n    Left = 400\n    Top = 60\n    Orientation = suiVertical\n" +
           s +
           "  end\n"
           "  object HBar: TsuiScrollBar\n    Left = 16\n    Top = 300\n" +
           s +
           "  end\n"
           "  object Across: TsuiTrackBar\n    Left = 16\n    Top = 222\n    Width = 200\n    Max = 20\n"
           "    Position = 7\n    Frequency = 5\n    ShowTick = True\n" +
           s +
           "  end\n"
           "  object Down: TsuiTrackBar\n    Left = 340\n    Top = 60\n    Height = 150\n"
           "    Orientation = suiVertical\n    Position = 3\n" +
           s +
           "  end\n"
           "  object Bar1: TsuiScrollBar\n    Left = 240\n    Top = 226\n    Width = 220\n    LineButton = "
           "50\n"
           "    Position = 30\n" +
           s +
           "  end\n"
           "  object Link1: TsuiURLLabel\n    Left = 240\n    Top = 262\n    Caption = 'Email Support'\n"
           "  end\n"
           "end\n";
}

// Writes what `wnd` shows as a 24-bit BMP file.
void SavePicture(HWND wnd, const std::string& path)
{
    const Shot shot(wnd);
    win::TBitmap bmp;
    bmp.SetPixelFormat(win::pf24bit);
    bmp.SetSize(shot.Width(), shot.Height());
    for (int y = 0; y < shot.Height(); ++y)
        for (int x = 0; x < shot.Width(); ++x)
            ::SetPixel(bmp.Canvas()->Handle(), x, y, shot.At(x, y));
    bmp.SaveToFile(path);
}

TEST(SkinnedClasses, AFormOfEveryControlPaintsEachInsideItsRectangleInEveryStyle)
{
    ::CreateDirectoryA(VA_SKIN_SHOTS_DIR, nullptr);
    for (skin::TsuiUIStyle style : AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        std::unique_ptr<win::TForm> form(ShowForm(Gallery(style)));
        auto* memo = static_cast<skin::TsuiMemo*>(form->FindComponent("Memo1"));
        for (int i = 0; i < 40; ++i)
            memo->Lines()->Add("   ADDED: \"C:\\Program Files\\Zantic\\Headset Suite\\Tools\\Folder " +
                               std::to_string(i) + "\\\"");
        memo->FlushLines();
        const Shot shot(form->Handle());
        for (const char* name : {"Combo1", "Memo1", "Bar1"}) {
            const RECT r = RectOf(*static_cast<win::TControl*>(form->FindComponent(name)));
            ExpectNothingOutside(shot, r, name);
            ExpectAllPainted(shot, r, name);
        }
        // Buttons may leave their face's key pixels to the form, and track bars take the form's
        // colour: only outside must stay clear.
        for (const char* name : {"Button1", "Button2", "Across", "Down"})
            ExpectNothingOutside(shot, RectOf(*static_cast<win::TControl*>(form->FindComponent(name))), name);
        SavePicture(form->Handle(), std::string(VA_SKIN_SHOTS_DIR) + "controls_" + StyleName(style) + ".bmp");
    }
}

}  // namespace
