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

#include <cstdio>
#include <memory>

namespace {

using namespace skintest;

TEST(SkinnedClasses, EveryClassIsRegisteredAndHoldsItsStatedDefaultsWhenNew)
{
    int checked = 0;
    for (const char* name : {"TsuiButton", "TsuiImageButton", "TsuiScrollBar", "TsuiMemo", "TsuiTrackBar",
                             "TsuiScrollTrackBar", "TsuiImagePanel", "TsuiComboBox", "TsuiURLLabel"}) {
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
