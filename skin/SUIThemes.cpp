// The five built-in style tables.
#include "skin/SUIThemes.h"

#include <array>

namespace skin {

namespace {

constexpr std::array<TBuiltInKind, kBuiltInEntryCount> kKinds = {
    bkBitmap, bkInteger, bkBitmap, bkBitmap, bkBitmap, bkInteger, bkValue,  bkValue,   // 1-8
    bkValue,  bkBitmap,  bkBitmap, bkBitmap, bkValue,  bkValue,   bkColor,  bkColor,   // 9-16
    bkValue,  bkColor,   bkColor,  bkColor,  bkColor,  bkColor,   bkColor,  bkBitmap,  // 17-24
    bkColor,  bkColor,   bkColor,  bkBitmap, bkBitmap, bkBitmap,  bkColor,  bkBitmap,  // 25-32
    bkBitmap, bkBitmap,  bkColor,  bkColor,  bkColor,  bkBitmap,  bkBitmap, bkBitmap,  // 33-40
    bkBitmap, bkBitmap,  bkBitmap, bkColor,  bkBitmap, bkBitmap,  bkValue,  bkColor,   // 41-48
};

constexpr std::array<const char*, 5> kPrefixes = {"MACOS", "WINXP", "DEEPBLUE", "PROTEIN", "BLUEGLASS"};

// Part names of the bitmap entries; the style's prefix and "_" go before them. Entries 43, 45
// and 46 have no bitmap; entry 38 is named per style below.
const char* PartName(int index)
{
    switch (index) {
    case 1: return "BUTTON";
    case 3: return "CHECKBOX";
    case 4: return "RADIOBUTTON";
    case 5: return "TITLEBTN";
    case 10: return "TITLE_LEFT";
    case 11: return "TITLE_CLIENT";
    case 12: return "TITLE_RIGHT";
    case 24: return "PROGRESSBAR";
    case 28: return "TRACKBAR_BAR";
    case 29: return "TRACKBAR_SLIDER";
    case 30: return "TRACKBAR_SLIDER_V";
    case 32: return "SCROLLBAR_BUTTON";
    case 33: return "SCROLLBAR_TRACK";
    case 34: return "CHECKLIST";
    case 39: return "TAB";
    case 40: return "TAB_LINE";
    case 41: return "SIDECHENNEL_HANDLE";
    case 42: return "SIDECHENNEL_BAR";
    default: return "";
    }
}

// Values of the kinds 0, 1 and 3, per style MacOS to BlueGlass; 0 for bitmap rows.
struct TRow {
    int Index;
    std::array<std::int32_t, 5> Values;
};

constexpr TRow kRows[] = {
    {2, {1, 0, 0, 0, 1}},
    {6, {0, 0, 0, 1, 1}},
    {7, {3, 2, 0, 0, 4}},
    {8, {-2, -2, 0, 0, -3}},
    {9, {4, 5, 2, 2, 6}},
    {13, {130, 150, 130, 130, 270}},
    {14, {0, 13, 0, 0, 11}},
    {15, {0xE7E7E7, 0xDEEBEF, 0xE8E8E8, 0xFBFBFB, 0xE7E7E7}},
    {16, {0x7F7F7F, 0xC82C00, 0, 0, 0}},
    {17, {1, 3, 1, 1, 1}},
    {18, {0xC47339, 0xC66931, 0xA04A44, 0xC4302D, 0xEC5E5E}},
    {19, {0xC47339, 0xEFD3C6, 0xA04A44, 0xC4302D, 0xEC5E5E}},
    {20, {0xFFFFFF, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
    {21, {0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xE7E7E7}},
    {22, {0, 0, 0, 0, 0}},
    {23, {0, 0xCED3D6, 0xCED3D6, 0xCED3D6, 0xCED3D6}},
    {25, {0x7F7F7F, 0x686868, 0, 0, 0}},
    {26, {0xE7E7E7, 0xDEEBEF, 0xE8E8E8, 0xFBFBFB, 0xE7E7E7}},
    {27, {0, 0xCF4602, 0, 0, 0}},
    {31, {0xC9C9C9, 0xF9F9F9, 0xF5F5F5, 0xF5F5F5, 0xF4F4F4}},
    {35, {0x474747, 0xC66931, 0x474747, 0x474747, 0x474747}},
    {36, {0xEFEFEF, 0xEFD3C6, 0xEFEFEF, 0xEFEFEF, 0xEFEFEF}},
    {37, {0xD8D8D8, 0xE1AC93, 0xD8D8D8, 0xD8D8D8, 0xD8D8D8}},
    {44, {0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
    {47, {0, 0, 0, 0, 0}},
    {48, {0xE7E7E7, 0xDEEBEF, 0xE8E8E8, 0xFBFBFB, 0xE7E7E7}},
};

bool InTable(TsuiUIStyle style, int index)
{
    return style >= MacOS && style <= BlueGlass && index >= 1 && index <= kBuiltInEntryCount;
}

}  // namespace

TBuiltInThemeEntry GetBuiltInThemeEntry(TsuiUIStyle style, int index)
{
    TBuiltInThemeEntry entry;
    if (!InTable(style, index))
        return entry;
    const std::size_t s = static_cast<std::size_t>(style - MacOS);
    entry.Kind = kKinds[static_cast<std::size_t>(index - 1)];
    entry.Value = 0;
    if (entry.Kind == bkBitmap) {
        if (index == SUI_THEME_SCROLLBUTTON_IMAGE)
            entry.BitmapName = style == MacOS   ? "MACOS_SCROLLBUTTON"
                               : style == WinXP ? "WINXP_SCROLLBUTTON"
                                                : "MORE_SCROLLBUTTON";
        else if (*PartName(index))
            entry.BitmapName = std::string(kPrefixes[s]) + "_" + PartName(index);
        return entry;
    }
    for (const TRow& row : kRows)
        if (row.Index == index)
            entry.Value = row.Values[s];
    return entry;
}

std::int32_t GetBuiltInThemeInt(TsuiUIStyle style, int index)
{
    const TBuiltInThemeEntry e = GetBuiltInThemeEntry(style, index);
    return e.Kind == bkInteger ? e.Value : 0;
}

std::int32_t GetBuiltInThemeColor(TsuiUIStyle style, int index)
{
    const TBuiltInThemeEntry e = GetBuiltInThemeEntry(style, index);
    return e.Kind == bkColor ? e.Value : 0;
}

std::int32_t GetBuiltInThemeValue(TsuiUIStyle style, int index)
{
    const TBuiltInThemeEntry e = GetBuiltInThemeEntry(style, index);
    return e.Kind == bkValue ? e.Value : -1;
}

std::string GetBuiltInThemeBitmapName(TsuiUIStyle style, int index)
{
    const TBuiltInThemeEntry e = GetBuiltInThemeEntry(style, index);
    return e.Kind == bkBitmap ? e.BitmapName : std::string();
}

}  // namespace skin
