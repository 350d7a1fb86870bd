// Styles of the skinned controls and the five built-in style tables.
#pragma once

#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <string>

namespace skin {

enum TsuiUIStyle : std::uint8_t { FromThemeFile, MacOS, WinXP, DeepBlue, Protein, BlueGlass };
RTL_ENUM_INFO(TsuiUIStyle, "FromThemeFile", "MacOS", "WinXP", "DeepBlue", "Protein", "BlueGlass")

// Kinds of the table entries.
enum TBuiltInKind : std::uint8_t { bkValue = 0, bkColor = 1, bkBitmap = 2, bkInteger = 3 };

inline constexpr int kBuiltInEntryCount = 48;

// Table indexes the controls read (1 to 48).
enum TBuiltInIndex : int {
    SUI_THEME_BUTTON_IMAGE = 1,
    SUI_THEME_BUTTON_TRANSPARENT = 2,
    SUI_THEME_CHECKBOX_IMAGE = 3,
    SUI_THEME_RADIOBUTTON_IMAGE = 4,
    SUI_THEME_TITLEBAR_BUTTON_IMAGE = 5,
    SUI_THEME_TITLEBAR_BUTTON_TRANSPARENT = 6,
    SUI_THEME_TITLEBAR_BUTTON_LEFTOFFSET = 7,
    SUI_THEME_TITLEBAR_BUTTON_RIGHTOFFSET = 8,
    SUI_THEME_TITLEBAR_BUTTON_TOP = 9,
    SUI_THEME_TITLEBAR_LEFT_IMAGE = 10,
    SUI_THEME_TITLEBAR_CLIENT_IMAGE = 11,
    SUI_THEME_TITLEBAR_RIGHT_IMAGE = 12,
    SUI_THEME_FORM_MINWIDTH = 13,
    SUI_THEME_FORM_ROUNDCORNER = 14,
    SUI_THEME_FORM_BACKGROUND_COLOR = 15,
    SUI_THEME_FORM_BORDER_COLOR = 16,
    SUI_THEME_FORM_BORDERWIDTH = 17,
    SUI_THEME_MENU_SELECTED_BORDER_COLOR = 18,
    SUI_THEME_MENU_SELECTED_BACKGROUND_COLOR = 19,
    SUI_THEME_MENU_SELECTED_FONT_COLOR = 20,
    SUI_THEME_MENU_BACKGROUND_COLOR = 21,
    SUI_THEME_MENU_FONT_COLOR = 22,
    SUI_THEME_MENU_LEFTBAR_COLOR = 23,
    SUI_THEME_PROGRESSBAR_IMAGE = 24,
    SUI_THEME_CONTROL_BORDER_COLOR = 25,
    SUI_THEME_CONTROL_BACKGROUND_COLOR = 26,
    SUI_THEME_CONTROL_HIGHLIGHT_COLOR = 27,
    SUI_THEME_TRACKBAR_BAR = 28,
    SUI_THEME_TRACKBAR_SLIDER = 29,
    SUI_THEME_TRACKBAR_SLIDER_V = 30,
    SUI_THEME_SCROLLBAR_BACKGROUND_COLOR = 31,
    SUI_THEME_SCROLLBAR_BUTTON_IMAGE = 32,
    SUI_THEME_SCROLLBAR_SLIDER_IMAGE = 33,
    SUI_THEME_CHECKLIST_IMAGE = 34,
    SUI_THEME_SCROLLBUTTON_IMAGE = 38,
    SUI_THEME_TAB_IMAGE = 39,
    SUI_THEME_TAB_LINE_IMAGE = 40,
    SUI_THEME_SIDECHANNEL_HANDLE_IMAGE = 41,
    SUI_THEME_SIDECHANNEL_BAR_IMAGE = 42,
    SUI_THEME_CONTROL_FONT_COLOR = 48,
};

struct TBuiltInThemeEntry {
    TBuiltInKind Kind = bkValue;
    std::int32_t Value = -1;  // kinds 0, 1 and 3
    std::string BitmapName;   // kind 2; empty for the entries without a bitmap
};

// Entry `index` (1 to 48) of built-in style `style` (MacOS to BlueGlass). Any other style or
// index gives Kind 0 and Value -1.
TBuiltInThemeEntry GetBuiltInThemeEntry(TsuiUIStyle style, int index);
// The entry's value when it is of the kind asked for; else 0 (integers, colours) or -1 (values).
std::int32_t GetBuiltInThemeInt(TsuiUIStyle style, int index);
std::int32_t GetBuiltInThemeColor(TsuiUIStyle style, int index);
std::int32_t GetBuiltInThemeValue(TsuiUIStyle style, int index);
// The bitmap name of a kind-2 entry; empty otherwise.
std::string GetBuiltInThemeBitmapName(TsuiUIStyle style, int index);

}  // namespace skin
