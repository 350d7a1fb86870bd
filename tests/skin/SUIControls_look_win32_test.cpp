// What a skinned window reading right to left looks like on a right-to-left locale: the frame, a
// memo with its skinned bars mirrored over its own, a combo box and a button, pictured into the
// build tree (tests/skin/shots/) and compared with the reviewed picture kept in
// tests/data/skin/window/.
#include "skin/SUIForm.h"

#include "SkinTestSupport.h"
#include "tests/platform/win/LocaleScope.h"
#include "tests/skin/LookTestSupport.h"

#include <memory>
#include <string>

namespace {

using namespace skintest;

std::string Lines()
{
    std::string lines;
    for (int i = 1; i <= 12; ++i)
        lines +=
            "      '   ADDED: \"C:\\Program Files\\Zantic\\Headset " + std::to_string(i) + "\\\" (found)'\n";
    return lines;
}

std::string Styled() { return "      FileTheme = Theme1\n      UIStyle = FromThemeFile\n"; }

std::string RightToLeftWindow()
{
    return "object RightToLeftForm: TForm\n"
           "  Left = 40\n  Top = 40\n  ClientWidth = 440\n  ClientHeight = 300\n"
           "  BiDiMode = bdRightToLeft\n"
           "  Caption = 'Setup Assistant'\n"
           "  Font.Height = -11\n  Font.Name = 'Tahoma'\n"
           "  object Theme1: TsuiFileTheme\n    ThemeFile = '" VA_SKIN_FILE_PATH
           "'\n  end\n"
           "  object suiForm1: TsuiForm\n"
           "    FileTheme = Theme1\n    UIStyle = FromThemeFile\n    Caption = 'Setup Assistant:'\n"
           "    object Memo1: TsuiMemo\n"
           "      Left = 20\n      Top = 50\n      Width = 400\n      Height = 140\n"
           "      WordWrap = False\n      ScrollBars = ssBoth\n      VScrollBar = VBar\n      HScrollBar = "
           "HBar\n"
           "      Lines.Strings = (\n" +
           Lines() + "      )\n" + Styled() +
           "    end\n"
           "    object VBar: TsuiScrollBar\n      Orientation = suiVertical\n" +
           Styled() +
           "    end\n"
           "    object HBar: TsuiScrollBar\n" +
           Styled() +
           "    end\n"
           "    object Combo1: TsuiComboBox\n      Left = 170\n      Top = 210\n      Width = 250\n"
           "      Items.Strings = (\n        'C:\\Program Files\\Zantic\\'\n        'D:\\Zantic\\')\n"
           "      ItemIndex = 0\n" +
           Styled() +
           "    end\n"
           "    object Button1: TsuiButton\n      Left = 20\n      Top = 250\n      Caption = 'Install!'\n" +
           Styled() +
           "    end\n"
           "  end\n"
           "end\n";
}

TEST(RightToLeftLook, ASkinnedWindowReadingRightToLeftLooksAsReviewed)
{
    wintest::LocaleScope locale(true);
    ::CreateDirectoryA(VA_SHOTS_DIR, nullptr);
    std::unique_ptr<win::TForm> form(ShowForm(RightToLeftWindow()));
    // No hover, caret or focus frame in the picture.
    ::SetCursorPos(0, 0);
    ::SetFocus(form->Handle());
    Pump();
    const looktest::Picture shot = looktest::Capture(form->Handle());
    looktest::ExpectLooksAsReviewed(shot, shot, "RightToLeft_FromThemeFile", VA_SHOTS_DIR, "skin/window/");
}

}  // namespace
