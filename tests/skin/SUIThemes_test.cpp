// Tests of the built-in style tables, the compiled-in bitmaps and the program's skin file as the
// build drew and packed them: every part the skinned controls read is there, in the piece
// layout their drawing cuts it into.
#include "skin/SUIThemes.h"

#include "skin/SUI2Define.h"
#include "skin/SUI2SkinReader.h"
#include "skin/SUIBuiltInBitmaps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using skin::TsuiUIStyle;

const TsuiUIStyle kStyles[] = {skin::MacOS, skin::WinXP, skin::DeepBlue, skin::Protein, skin::BlueGlass};

skin::TSkinBitmap BuiltIn(const std::string& name)
{
    const skin::TBuiltInBitmapData* data = skin::FindBuiltInBitmap(name);
    if (!data)
        throw rtl::Exception("no built-in bitmap " + name);
    return skin::TSkinBitmap(std::vector<std::uint8_t>(data->Data, data->Data + data->Size));
}

TEST(BuiltInStyleTable, AnswersTheStyleValues)
{
    struct Case {
        int Index;
        skin::TBuiltInKind Kind;
        std::int32_t Values[5];
    };
    const Case cases[] = {
        {2, skin::bkInteger, {1, 0, 0, 0, 1}},
        {8, skin::bkValue, {-2, -2, 0, 0, -3}},
        {13, skin::bkValue, {130, 150, 130, 130, 270}},
        {14, skin::bkValue, {0, 13, 0, 0, 11}},
        {16, skin::bkColor, {0x7F7F7F, 0xC82C00, 0, 0, 0}},
        {19, skin::bkColor, {0xC47339, 0xEFD3C6, 0xA04A44, 0xC4302D, 0xEC5E5E}},
        {26, skin::bkColor, {0xE7E7E7, 0xDEEBEF, 0xE8E8E8, 0xFBFBFB, 0xE7E7E7}},
        {31, skin::bkColor, {0xC9C9C9, 0xF9F9F9, 0xF5F5F5, 0xF5F5F5, 0xF4F4F4}},
        {37, skin::bkColor, {0xD8D8D8, 0xE1AC93, 0xD8D8D8, 0xD8D8D8, 0xD8D8D8}},
        {47, skin::bkValue, {0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        for (int s = 0; s < 5; ++s) {
            const skin::TBuiltInThemeEntry e = skin::GetBuiltInThemeEntry(kStyles[s], c.Index);
            EXPECT_EQ(e.Kind, c.Kind) << c.Index;
            EXPECT_EQ(e.Value, c.Values[s]) << c.Index << " style " << s;
        }
    EXPECT_EQ(skin::GetBuiltInThemeBitmapName(skin::DeepBlue, 1), "DEEPBLUE_BUTTON");
    EXPECT_EQ(skin::GetBuiltInThemeBitmapName(skin::Protein, 41), "PROTEIN_SIDECHENNEL_HANDLE");
    EXPECT_EQ(skin::GetBuiltInThemeBitmapName(skin::MacOS, 38), "MACOS_SCROLLBUTTON");
    EXPECT_EQ(skin::GetBuiltInThemeBitmapName(skin::BlueGlass, 38), "MORE_SCROLLBUTTON");
    EXPECT_EQ(skin::GetBuiltInThemeBitmapName(skin::WinXP, 43), "");
    EXPECT_EQ(skin::GetBuiltInThemeEntry(skin::WinXP, 45).Kind, skin::bkBitmap);
}

TEST(BuiltInStyleTable, TypedGettersAnswerOnlyTheirKind)
{
    EXPECT_EQ(skin::GetBuiltInThemeInt(skin::MacOS, 2), 1);
    EXPECT_EQ(skin::GetBuiltInThemeInt(skin::MacOS, 15), 0);  // a colour
    EXPECT_EQ(skin::GetBuiltInThemeColor(skin::MacOS, 15), 0xE7E7E7);
    EXPECT_EQ(skin::GetBuiltInThemeColor(skin::MacOS, 13), 0);  // a value
    EXPECT_EQ(skin::GetBuiltInThemeValue(skin::WinXP, 17), 3);
    EXPECT_EQ(skin::GetBuiltInThemeValue(skin::WinXP, 2), -1);  // an integer
}

// Style 0 and 6, and indexes outside 1 to 48, are outside every table.
TEST(BuiltInStyleTable, OutsideTheTablesGivesMinusOneOfKindZero)
{
    const std::pair<int, int> outside[] = {{0, 1}, {6, 1}, {255, 15}, {3, 0}, {3, 49}, {3, -1}, {1, 1000}};
    for (const auto& [style, index] : outside) {
        const skin::TBuiltInThemeEntry e = skin::GetBuiltInThemeEntry(static_cast<TsuiUIStyle>(style), index);
        EXPECT_EQ(e.Kind, skin::bkValue) << style << "/" << index;
        EXPECT_EQ(e.Value, -1) << style << "/" << index;
        EXPECT_EQ(skin::GetBuiltInThemeInt(static_cast<TsuiUIStyle>(style), index), 0);
        EXPECT_EQ(skin::GetBuiltInThemeColor(static_cast<TsuiUIStyle>(style), index), 0);
        EXPECT_EQ(skin::GetBuiltInThemeValue(static_cast<TsuiUIStyle>(style), index), -1);
    }
}

// Each named bitmap exists, is a valid BMP, and splits into the pieces its control cuts.
TEST(BuiltInBitmaps, EveryStylePartIsThereInItsPieces)
{
    const std::pair<int, int> pieces[] = {{1, 3}, {5, 18}, {28, 3}, {32, 6}, {33, 3}};
    for (TsuiUIStyle style : kStyles) {
        for (int index = 1; index <= skin::kBuiltInEntryCount; ++index) {
            const std::string name = skin::GetBuiltInThemeBitmapName(style, index);
            if (name.empty())
                continue;
            EXPECT_NO_THROW(BuiltIn(name)) << name;
        }
        for (const auto& [index, count] : pieces) {
            const skin::TSkinBitmap b = BuiltIn(skin::GetBuiltInThemeBitmapName(style, index));
            EXPECT_EQ(b.Width() % count, 0) << index << " style " << static_cast<int>(style);
        }
        // Title buttons fit the title bar at their top offset, and its three pieces are as tall.
        const int title = BuiltIn(skin::GetBuiltInThemeBitmapName(style, 10)).Height();
        EXPECT_EQ(BuiltIn(skin::GetBuiltInThemeBitmapName(style, 11)).Height(), title);
        EXPECT_EQ(BuiltIn(skin::GetBuiltInThemeBitmapName(style, 12)).Height(), title);
        const skin::TSkinBitmap buttons = BuiltIn(skin::GetBuiltInThemeBitmapName(style, 5));
        EXPECT_LE(skin::GetBuiltInThemeValue(style, 9) + buttons.Height(), title);
        EXPECT_EQ(buttons.Width() / 18, buttons.Height());  // square pieces
    }
    for (const char* shared :
         {"MACOS_FORM_BACKGROUND", "PROTEIN_FORM_BACKGROUND", "MACOS_COMBOBOX_BUTTON",
          "WINXP_COMBOBOX_BUTTON", "MACOS_MENU_BAR", "MACOS_MENU_SELECT", "MENU_CHECKED"})
        EXPECT_NO_THROW(BuiltIn(shared)) << shared;
    EXPECT_EQ(BuiltIn("MSGDLG").Width(), 4 * BuiltIn("MSGDLG").Height());
    EXPECT_NE(skin::FindBuiltInBitmap("msgdlg"), nullptr);
    EXPECT_EQ(skin::FindBuiltInBitmap("MSGDLG_"), nullptr);
}

// The build's skin file read back by the reader: every SKIN2_ entry the controls may ask for.
TEST(ProgramSkinFile, ReadsBackWithEveryEntry)
{
    skin::Tsk2SkinFileReader r(VA_SKIN_FILE_PATH, "");
    ASSERT_TRUE(r.Loaded());
    for (int i = skin::kSkin2ColorBase; i < skin::kSkin2BitmapBase; ++i)
        EXPECT_NE(r.Integers().IndexOfName(std::string(skin::Skin2Name(i))), -1) << skin::Skin2Name(i);
    for (int i = skin::kSkin2BitmapBase; i < skin::kSkin2IntegerBase; ++i)
        EXPECT_NE(r.GetBitmap(std::string(skin::Skin2Name(i))), nullptr) << skin::Skin2Name(i);
    for (int i = skin::kSkin2IntegerBase; i < skin::kSkin2BooleanBase; ++i)
        EXPECT_NE(r.Integers().IndexOfName(std::string(skin::Skin2Name(i))), -1) << skin::Skin2Name(i);
    for (int i = skin::kSkin2BooleanBase; i < skin::kSkin2NameCount; ++i)
        EXPECT_NE(r.Bytes().IndexOfName(std::string(skin::Skin2Name(i))), -1) << skin::Skin2Name(i);
    EXPECT_EQ(r.GetInt("SKIN2_TRANSCOLOR"), 0x00FF00FF);
    EXPECT_EQ(r.Bitmaps().Count(), skin::kSkin2IntegerBase - skin::kSkin2BitmapBase);

    // Piece layouts the title bar, buttons, frame and scroll bar cut.
    EXPECT_EQ(r.GetBitmap("SKIN2_TITLEBUTTONS")->Width() % 18, 0);
    EXPECT_EQ(r.GetBitmap("SKIN2_BUTTON")->Width() % 3, 0);
    EXPECT_EQ(r.GetBitmap("SKIN2_SCROLLBARUPBUTTON")->Width() % 3, 0);
    EXPECT_EQ(r.GetBitmap("SKIN2_SCROLLBARDOWNBUTTON")->Width() % 3, 0);
    EXPECT_EQ(r.GetBitmap("SKIN2_SCROLLBAR")->Height() % 3, 0);
    EXPECT_EQ(r.GetBitmap("SKIN2_FORMBOTTOMBORDER1")->Width() % 3, 0);
    const int title = r.GetBitmap("SKIN2_TITLEBAR1")->Height();
    EXPECT_EQ(r.GetBitmap("SKIN2_TITLEBAR2")->Height(), title);
    EXPECT_EQ(r.GetBitmap("SKIN2_TITLEBAR3")->Height(), title);
    EXPECT_LE(r.GetInt("SKIN2_TITLEBARBUTTONPOSY") + r.GetBitmap("SKIN2_TITLEBUTTONS")->Height(), title);
}

}  // namespace
