// Tests of file themes, the built-in file theme and the theme manager, on a form of small test
// components that publish UIStyle and FileTheme the way every skinned control does.
#include "skin/SUIMgr.h"

#include "platform/rtl/Endian.h"
#include "platform/rtl/FormText.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/StdCtrls.h"
#include "skin/SUI2Define.h"
#include "skin/SUIPublic.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using skin::TsuiUIStyle;

const TsuiUIStyle kStyles[] = {skin::MacOS, skin::WinXP, skin::DeepBlue, skin::Protein, skin::BlueGlass};

// A skinned control in miniature: it applies its style in the UIStyle setter, from the file
// theme when it can use one, else from the built-in table, and falls back to DeepBlue when its
// theme is freed.
class TsuiTestSkinned : public rtl::TComponent {
    RTL_DECLARE_CLASS(TsuiTestSkinned, rtl::TComponent)

public:
    explicit TsuiTestSkinned(rtl::TComponent* owner) : rtl::TComponent(owner) {}
    ~TsuiTestSkinned() override
    {
        if (fileTheme_)
            fileTheme_->RemoveFreeNotification(this);
    }

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle value)
    {
        uiStyle_ = value;
        ++applied_;
        TsuiUIStyle style;
        if (skin::UsesFileTheme(fileTheme_, value, style)) {
            fromFile_ = true;
            const std::int32_t c = fileTheme_->GetColor(skin::SKIN2_FORMCOLOR);
            if (c != -1)  // an absent colour keeps the default
                face_ = c;
            buttonWidth_ = fileTheme_->GetBitmap(skin::SKIN2_BUTTON - skin::kSkin2BitmapBase)->Width();
        } else {
            fromFile_ = false;
            face_ = skin::GetBuiltInThemeColor(style, skin::SUI_THEME_FORM_BACKGROUND_COLOR);
            win::TBitmap b;
            skin::LoadBuiltInThemeBitmap(style, skin::SUI_THEME_BUTTON_IMAGE, &b);
            buttonWidth_ = b.Width();
        }
        applied_style_ = style;
    }
    skin::TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(skin::TsuiFileTheme* value)
    {
        if (fileTheme_)
            fileTheme_->RemoveFreeNotification(this);
        fileTheme_ = value;
        if (value)
            value->FreeNotification(this);
        SetUIStyle(uiStyle_);
    }

    int applied_ = 0;
    TsuiUIStyle applied_style_ = skin::DeepBlue;
    bool fromFile_ = false;
    std::int32_t face_ = 0x123456;
    std::int32_t buttonWidth_ = 0;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override
    {
        rtl::TComponent::Notification(component, operation);
        if (operation == rtl::opRemove && component == fileTheme_) {
            fileTheme_ = nullptr;
            SetUIStyle(skin::DeepBlue);
        }
    }

private:
    TsuiUIStyle uiStyle_ = skin::DeepBlue;
    skin::TsuiFileTheme* fileTheme_ = nullptr;  // not owned
};

void TsuiTestSkinned::Publish(Table& t)
{
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Creatable();
}

// A component with a "UIStyle" of another kind: the manager must leave it alone.
class TOddStyle : public rtl::TComponent {
    RTL_DECLARE_CLASS(TOddStyle, rtl::TComponent)

public:
    explicit TOddStyle(rtl::TComponent* owner) : rtl::TComponent(owner) {}
    std::string UIStyle() const { return style_; }
    void SetUIStyle(const std::string& v) { style_ = v; }
    rtl::TComponent* FileTheme() const { return nullptr; }
    void SetFileTheme(rtl::TComponent*) {}
    std::string style_ = "untouched";
};

void TOddStyle::Publish(Table& t)
{
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(FileTheme));
}

// A skinned control whose theme setter fails once armed, as a control may while it reloads.
class TsuiFailingSkinned : public rtl::TComponent {
    RTL_DECLARE_CLASS(TsuiFailingSkinned, rtl::TComponent)

public:
    explicit TsuiFailingSkinned(rtl::TComponent* owner) : rtl::TComponent(owner) {}
    rtl::TComponent* FileTheme() const { return theme_; }
    void SetFileTheme(rtl::TComponent* value)
    {
        if (value && armed_)
            throw rtl::Exception("cannot load the theme's pictures");
        theme_ = value;
    }
    bool armed_ = false;

private:
    rtl::TComponent* theme_ = nullptr;  // not owned; the test frees it last
};

void TsuiFailingSkinned::Publish(Table& t) { t.Property(RTL_GET_SET(FileTheme)); }

// Stands in for the skinned frame, so GetFormUIStyle has one to find.
class TsuiForm : public win::TPanel {
    RTL_DECLARE_CLASS(TsuiForm, win::TPanel)

public:
    explicit TsuiForm(rtl::TComponent* owner) : win::TPanel(owner) {}
    TsuiUIStyle UIStyle() const { return style_; }
    void SetUIStyle(TsuiUIStyle v) { style_ = v; }
    TsuiUIStyle style_ = skin::Protein;
};

void TsuiForm::Publish(Table& t) { t.Property(RTL_GET_SET(UIStyle)); }

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class ThemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rtl::RegisterClass(TsuiTestSkinned::StaticClassInfo());
        form_ = new win::TForm(win::Application);
        for (const char* name : {"Frame", "Folder", "Log", "Unlisted"}) {
            auto* c = new TsuiTestSkinned(form_);
            c->SetName(name);
        }
        auto* label = new win::TLabel(form_);  // listed, but without the two properties
        label->SetName("Caption1");
        label->SetParent(form_);
        auto* odd = new TOddStyle(form_);
        odd->SetName("Odd");
    }
    void TearDown() override { delete form_; }

    TsuiTestSkinned* Skinned(const char* name)
    {
        return static_cast<TsuiTestSkinned*>(form_->FindComponent(name));
    }

    win::TForm* form_ = nullptr;
};

// ---- theme manager ----

TEST_F(ThemeTest, ManagerPushesEachStyleAndAFileThemeToItsList)
{
    auto* theme = new skin::TsuiFileTheme(form_);
    theme->SetThemeFile(VA_SKIN_FILE_PATH);
    ASSERT_TRUE(theme->Ready());

    auto* manager = new skin::TsuiThemeManager(form_);
    for (const char* name : {"Frame", "Caption1", "Odd", "Folder", "Missing", "Log"})
        manager->CompList()->Add(name);
    for (TsuiUIStyle style : kStyles) {
        manager->SetUIStyle(style);
        for (const char* name : {"Frame", "Folder", "Log"}) {
            EXPECT_EQ(Skinned(name)->UIStyle(), style) << name;
            EXPECT_EQ(Skinned(name)->face_, skin::GetBuiltInThemeColor(style, 15)) << name;
            EXPECT_GT(Skinned(name)->buttonWidth_, 0) << name;
        }
    }
    manager->SetFileTheme(theme);
    manager->SetUIStyle(skin::FromThemeFile);
    for (const char* name : {"Frame", "Folder", "Log"}) {
        EXPECT_EQ(Skinned(name)->FileTheme(), theme) << name;
        EXPECT_TRUE(Skinned(name)->fromFile_) << name;
        EXPECT_EQ(Skinned(name)->face_, theme->GetColor(skin::SKIN2_FORMCOLOR)) << name;
        EXPECT_EQ(Skinned(name)->buttonWidth_, theme->GetBitmap(skin::SKIN2_BUTTON - 32)->Width());
    }
    EXPECT_EQ(Skinned("Unlisted")->applied_, 0);
    EXPECT_EQ(static_cast<TOddStyle*>(form_->FindComponent("Odd"))->style_, "untouched");
}

TEST_F(ThemeTest, ManagerFiresOnlyOnAChangeButReappliesAlways)
{
    auto* manager = new skin::TsuiThemeManager(form_);
    EXPECT_EQ(manager->UIStyle(), skin::DeepBlue);
    manager->CompList()->Add("Log");
    int fired = 0;
    manager->OnUIStyleChanged = [&](rtl::TObject* sender) {
        EXPECT_EQ(sender, manager);
        ++fired;
    };
    manager->SetUIStyle(skin::DeepBlue);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(Skinned("Log")->applied_, 2);  // style, then theme
    manager->SetUIStyle(skin::WinXP);
    EXPECT_EQ(fired, 1);
}

TEST_F(ThemeTest, FreeingListedComponentsAndTheThemeUpdatesTheManager)
{
    auto* theme = new skin::TsuiFileTheme(form_);
    theme->SetThemeFile(VA_SKIN_FILE_PATH);
    auto* manager = new skin::TsuiThemeManager(form_);
    manager->CompList()->Add("Folder");
    manager->CompList()->Add("Log");
    manager->SetFileTheme(theme);
    manager->SetUIStyle(skin::FromThemeFile);
    ASSERT_TRUE(Skinned("Log")->fromFile_);

    delete Skinned("Folder");
    EXPECT_EQ(manager->CompList()->Count(), 1);
    EXPECT_EQ(manager->CompList()->Get(0), "Log");

    delete theme;
    EXPECT_EQ(manager->FileTheme(), nullptr);
    EXPECT_EQ(manager->UIStyle(), skin::DeepBlue);
    EXPECT_EQ(Skinned("Log")->FileTheme(), nullptr);
    EXPECT_EQ(Skinned("Log")->applied_style_, skin::DeepBlue);
    EXPECT_FALSE(Skinned("Log")->fromFile_);
}

// ---- styles ----

TEST_F(ThemeTest, FromThemeFileWithoutAReadyThemeDrawsAsDeepBlue)
{
    TsuiUIStyle style = skin::MacOS;
    EXPECT_FALSE(skin::UsesFileTheme(nullptr, skin::FromThemeFile, style));
    EXPECT_EQ(style, skin::DeepBlue);
    skin::TsuiFileTheme notReady(nullptr);
    EXPECT_FALSE(skin::UsesFileTheme(&notReady, skin::FromThemeFile, style));
    EXPECT_EQ(style, skin::DeepBlue);
    EXPECT_FALSE(skin::UsesFileTheme(&notReady, skin::WinXP, style));
    EXPECT_EQ(style, skin::WinXP);

    EXPECT_EQ(skin::GetFormUIStyle(form_), skin::DeepBlue);
    EXPECT_EQ(skin::GetFormUIStyle(Skinned("Log")), skin::DeepBlue);
    auto* frame = new TsuiForm(form_);
    frame->SetParent(form_);
    EXPECT_EQ(skin::GetFormUIStyle(form_), skin::Protein);
}

TEST_F(ThemeTest, BuiltInBitmapsLoadWholeAndInPieces)
{
    for (TsuiUIStyle style : kStyles) {
        win::TBitmap whole;
        skin::GetBuiltInThemeBitmap(style, skin::SUI_THEME_TITLEBAR_BUTTON_IMAGE, &whole, 0, 0);
        ASSERT_FALSE(whole.Empty());
        win::TBitmap close;
        skin::GetBuiltInThemeBitmap(style, skin::SUI_THEME_TITLEBAR_BUTTON_IMAGE, &close, 16, 18);
        EXPECT_EQ(close.Width(), whole.Width() / 18);
        EXPECT_EQ(close.Height(), whole.Height());
        win::TBitmap none;
        skin::LoadBuiltInThemeBitmap(style, 43, &none);
        EXPECT_TRUE(none.Empty());
    }
    win::TBitmap icons;
    EXPECT_TRUE(skin::LoadBuiltInBitmap("MSGDLG", &icons));
    EXPECT_EQ(icons.Width(), 4 * icons.Height());
}

// ---- file themes ----

TEST_F(ThemeTest, FileThemeAnswersEveryEntryAndAbsentOnesSafely)
{
    skin::TsuiFileTheme theme(nullptr);
    theme.SetThemeFile(VA_SKIN_FILE_PATH);
    ASSERT_TRUE(theme.IsReady());
    EXPECT_EQ(theme.GetColor(skin::SKIN2_TRANSCOLOR), 0x00FF00FF);
    EXPECT_EQ(theme.GetInt(skin::SKIN2_TITLEBARBUTTONPOSY - skin::kSkin2IntegerBase), 5);
    EXPECT_TRUE(theme.GetBool(skin::SKIN2_TITLEBARNEEDREGION - skin::kSkin2BooleanBase));
    for (int i = 0; i < skin::kSkin2IntegerBase - skin::kSkin2BitmapBase; ++i)
        EXPECT_FALSE(theme.GetBitmap(i)->Empty()) << i;
    win::TBitmap piece;
    theme.GetBitmapPiece(skin::SKIN2_TITLEBUTTONS - 32, &piece, 18, 18);
    EXPECT_EQ(piece.Width(), theme.GetBitmap(skin::SKIN2_TITLEBUTTONS - 32)->Width() / 18);
    theme.GetBitmapPiece(skin::SKIN2_BUTTON - 32, &piece, 0, 0);
    EXPECT_EQ(piece.Width(), theme.GetBitmap(skin::SKIN2_BUTTON - 32)->Width());
    // Beyond each range (after the low 7 bits are taken): absent, not another range's entry.
    EXPECT_EQ(theme.GetColor(40), -1);
    EXPECT_EQ(theme.GetInt(20), -1);
    EXPECT_FALSE(theme.GetBool(100));
    EXPECT_TRUE(theme.GetBitmap(60)->Empty());
    EXPECT_EQ(theme.GetColor(128 + skin::SKIN2_TRANSCOLOR), 0x00FF00FF);

    // A skin that lacks most entries: empty bitmaps and -1 colours, never nothing.
    skin::TsuiFileTheme small(nullptr);
    small.SetThemeFile(std::string(VA_TEST_DATA_DIR) + "/skin/small.skn");
    ASSERT_TRUE(small.Ready());
    EXPECT_EQ(small.GetColor(skin::SKIN2_SCROLLBARCOLOR), -1);
    ASSERT_NE(small.GetBitmap(skin::SKIN2_TRACKBAR - 32), nullptr);
    EXPECT_TRUE(small.GetBitmap(skin::SKIN2_TRACKBAR - 32)->Empty());
    skin::TsuiFileTheme none(nullptr);
    ASSERT_NE(none.GetBitmap(0), nullptr);
    EXPECT_EQ(none.GetColor(0), 0) << "no skin open";
}

// A theme without an open skin answers 0 and False; one whose reader is kept (a later name that
// was found nowhere) answers from it, -1 for what the skin lacks.
TEST_F(ThemeTest, WithoutAnOpenSkinTheAnswersAreZero)
{
    const std::string data = std::string(VA_TEST_DATA_DIR) + "/skin/";
    // The small skin with its entry's CRC-32 off by one bit.
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string damaged =
        std::string(temp) + "va_damaged_entry_" + std::to_string(::GetCurrentProcessId());
    {
        std::ifstream in(data + "small.skn", std::ios::binary);
        std::string zip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(zip.size(), 22u);
        const std::size_t end = zip.size() - 22;
        const std::uint32_t central = rtl::LoadLE32(zip.data() + end + 16);
        ASSERT_LT(central + 16u, end);
        zip[central + 16] = static_cast<char>(zip[central + 16] ^ 1);
        std::ofstream(damaged, std::ios::binary) << zip;
    }
    struct Case {
        const char* what;
        std::vector<std::string> files;  // opened in turn
        bool reader;
    };
    const Case cases[] = {
        {"never opened", {}, false},
        {"an archive that is no skin", {VA_SKIN_FILE_PATH, data + "plain_zip.zip"}, false},
        {"an encrypted skin without its password", {VA_SKIN_FILE_PATH, data + "encrypted.skn"}, false},
        {"a damaged entry", {VA_SKIN_FILE_PATH, damaged}, false},
        {"a name found nowhere after a skin", {data + "small.skn", data + "no such skin.sui"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        skin::TsuiFileTheme theme(nullptr);
        for (const std::string& file : c.files)
            theme.SetThemeFile(file);
        EXPECT_EQ(theme.Ready(), c.reader);
        EXPECT_EQ(theme.GetColor(skin::SKIN2_TRANSCOLOR), c.reader ? 0x00FF00FF : 0);
        EXPECT_EQ(theme.GetColor(skin::SKIN2_SCROLLBARCOLOR), c.reader ? -1 : 0);
        EXPECT_EQ(theme.GetInt(skin::SKIN2_TITLEBARBUTTONPOSY - skin::kSkin2IntegerBase), c.reader ? -1 : 0);
        EXPECT_FALSE(theme.GetBool(skin::SKIN2_TITLEBARNEEDREGION - skin::kSkin2BooleanBase));
        EXPECT_TRUE(theme.GetBitmap(skin::SKIN2_TITLEBAR1 - 32)->Empty());
    }
    ::DeleteFileA(damaged.c_str());
}

TEST_F(ThemeTest, ThemeFileNamesResolveOrChangeNothing)
{
    skin::TsuiFileTheme theme(nullptr);
    theme.SetThemeFile(VA_SKIN_FILE_PATH);
    ASSERT_TRUE(theme.Ready());
    theme.SetThemeFile("no such skin.sui");
    EXPECT_EQ(theme.ThemeFile(), VA_SKIN_FILE_PATH);
    EXPECT_TRUE(theme.Ready());

    // A bare name found in the Windows folder opens that copy and stores its full path.
    char folder[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryA(folder, MAX_PATH);
    const std::string copy = std::string(folder, n) + "\\varnelo_theme_test.sui";
    ASSERT_TRUE(::CopyFileA(VA_SKIN_FILE_PATH, copy.c_str(), FALSE));
    theme.SetThemeFile("varnelo_theme_test.sui");
    EXPECT_EQ(theme.ThemeFile(), copy);
    EXPECT_TRUE(theme.Ready());
    ::DeleteFileA(copy.c_str());

    // An unreadable file leaves the theme not ready; the right password opens an encrypted one.
    theme.SetThemeFile(std::string(VA_TEST_DATA_DIR) + "/skin/plain_zip.zip");
    EXPECT_FALSE(theme.Ready());
    theme.SetThemeFile(std::string(VA_TEST_DATA_DIR) + "/skin/encrypted.skn");
    EXPECT_FALSE(theme.Ready());
    theme.SetPassword("skin-pw");
    EXPECT_TRUE(theme.Ready());
    // An empty password reopens nothing: a reopen without the password would leave it not ready.
    theme.SetPassword("");
    EXPECT_TRUE(theme.Ready());
    EXPECT_EQ(theme.Password(), "");
    EXPECT_EQ(theme.GetColor(skin::SKIN2_FORMCOLOR), 0x00C08040);
}

TEST_F(ThemeTest, AComponentThatFailsToTakeTheThemeLeavesTheFormVisible)
{
    rtl::RegisterClass(TsuiFailingSkinned::StaticClassInfo());
    auto* theme = new skin::TsuiFileTheme(form_);
    auto* failing = new TsuiFailingSkinned(form_);
    failing->SetFileTheme(theme);
    failing->armed_ = true;
    form_->Show();
    ASSERT_TRUE(form_->Visible());
    EXPECT_THROW(theme->SetThemeFile(VA_SKIN_FILE_PATH), rtl::Exception);
    EXPECT_TRUE(form_->Visible());
    // A hidden form stays hidden. The failed setter left the component without the theme.
    failing->armed_ = false;
    failing->SetFileTheme(theme);
    failing->armed_ = true;
    form_->Hide();
    EXPECT_THROW(theme->SetThemeFile(std::string(VA_TEST_DATA_DIR) + "/skin/small.skn"), rtl::Exception);
    EXPECT_FALSE(form_->Visible());
    failing->armed_ = false;
    failing->SetFileTheme(nullptr);
}

TEST_F(ThemeTest, OpeningAThemeReloadsTheFormsComponentsAndKeepsItsVisibility)
{
    auto* theme = new skin::TsuiFileTheme(form_);
    Skinned("Log")->SetUIStyle(skin::FromThemeFile);
    Skinned("Log")->SetFileTheme(theme);
    EXPECT_FALSE(Skinned("Log")->fromFile_);
    const int before = Skinned("Log")->applied_;

    theme->SetThemeFile(VA_SKIN_FILE_PATH);  // form hidden
    EXPECT_TRUE(Skinned("Log")->fromFile_);
    EXPECT_GT(Skinned("Log")->applied_, before);
    EXPECT_EQ(Skinned("Folder")->applied_, 0);  // not using this theme
    EXPECT_FALSE(form_->Visible());

    form_->Show();
    theme->SetThemeFile(std::string(VA_TEST_DATA_DIR) + "/skin/small.skn");
    EXPECT_TRUE(form_->Visible());
}

// The built-in theme reads its skin file from the window description, in memory.
TEST_F(ThemeTest, BuiltInThemeOpensSkinDataFromTheDescription)
{
    const std::vector<std::uint8_t> skinFile = ReadBytes(VA_SKIN_FILE_PATH);
    ASSERT_FALSE(skinFile.empty());
    std::ostringstream hex;
    for (std::uint8_t b : skinFile)
        hex << "0123456789ABCDEF"[b >> 4] << "0123456789ABCDEF"[b & 15];
    const std::string text =
        "object TestForm: TForm\n"
        "  object Theme1: TsuiBuiltInFileTheme\n"
        "    ThemeFile = 'C:\\nowhere\\design.sui'\n"
        "    SkinData = {" +
        hex.str() +
        "}\n"
        "  end\n"
        "  object Memo1: TsuiTestSkinned\n"
        "    FileTheme = Theme1\n"
        "    UIStyle = FromThemeFile\n"
        "  end\n"
        "end\n";
    char tempFolder[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, tempFolder);
    const auto tempCount = [&] {
        int count = 0;
        WIN32_FIND_DATAA found;
        HANDLE h = ::FindFirstFileA((std::string(tempFolder) + "*.sui").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do
                ++count;
            while (::FindNextFileA(h, &found));
            ::FindClose(h);
        }
        return count;
    };
    const int tempBefore = tempCount();

    auto* form = new win::TForm(win::Application);
    rtl::TStringStream in(text);
    rtl::TMemoryStream bin;
    rtl::ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    form->ReadFromStream(bin);
    auto* theme = static_cast<skin::TsuiBuiltInFileTheme*>(form->FindComponent("Theme1"));
    ASSERT_NE(theme, nullptr);
    EXPECT_TRUE(theme->Ready());
    EXPECT_EQ(theme->ThemeFile(), "");  // the design-time name is kept, not opened
    EXPECT_EQ(theme->DesignFile(), "C:\\nowhere\\design.sui");
    // A password reopens the opened file (none here) and leaves the design-time name alone, so the
    // skin data is still written with the description.
    theme->SetPassword("skin-pw");
    EXPECT_EQ(theme->DesignFile(), "C:\\nowhere\\design.sui");
    EXPECT_TRUE(theme->Ready());
    auto* memo = static_cast<TsuiTestSkinned*>(form->FindComponent("Memo1"));
    EXPECT_TRUE(memo->fromFile_);
    EXPECT_EQ(memo->face_, theme->GetColor(skin::SKIN2_FORMCOLOR));
    EXPECT_EQ(tempCount(), tempBefore);
    delete form;
}

}  // namespace
