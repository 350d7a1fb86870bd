// Form placement and form storage under Wine, judged by the bytes of the INI files they write,
// by the system's own profile and registry calls, and by the order of the events they fire.
#include "placement/rxPlacemnt.h"

#include "placement/rxAppUtils.h"
#include "placement/rxStrUtils.h"
#include "platform/rtl/FormStream.h"
#include "platform/rtl/FormText.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Streams.h"
#include "platform/win/StdCtrls.h"
#include "platform/rtl/Win32.h"
#include "tests/platform/win/MDITestSupport.h"
#include "tests/platform/win/WindowGeometry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace placement;

namespace {

class TStoreForm : public win::TForm {
    RTL_DECLARE_CLASS(TStoreForm, win::TForm)

public:
    explicit TStoreForm(rtl::TComponent* owner) : TForm(owner) {}

    win::TEdit* ZanticFolder = nullptr;
    TFormStorage* FormStorage1 = nullptr;

    std::vector<std::string> log;
    std::int32_t installed = 0;
    std::int32_t tamsik = 0;
    std::string storedFolder;
    std::string folderSeenAtRestore;
    bool throwOnRestorePlacement = false;
    bool visibleAtRestore = false;  // the window, as the placement has just been read

    void FormCreate(rtl::TObject*) { log.push_back("create"); }
    void FormShow(rtl::TObject*) { log.push_back("show"); }
    void FormCloseQuery(rtl::TObject*, bool& canClose)
    {
        log.push_back("closequery");
        SetHeight(302);
        canClose = true;
    }
    void FormDestroy(rtl::TObject*) { log.push_back("destroy"); }
    void VarneloRestore(TStoredValue*, rtl::Variant& value)
    {
        log.push_back("restore Varnelo '" + value.AsString() + "'");
        folderSeenAtRestore = ZanticFolder->Text();
        installed = rtl::StrToIntDef(value.AsString(), 0);
    }
    void VarneloSave(TStoredValue*, rtl::Variant& value) { value = rtl::Variant(rtl::IntToStr(installed)); }
    void TamsikRestore(TStoredValue*, rtl::Variant& value)
    {
        log.push_back("restore Tamsik '" + value.AsString() + "'");
        tamsik = rtl::StrToIntDef(value.AsString(), 0);
    }
    void TamsikSave(TStoredValue*, rtl::Variant& value) { value = rtl::Variant(rtl::IntToStr(tamsik)); }
    void ZanticPathRestore(TStoredValue*, rtl::Variant& value)
    {
        log.push_back("restore ZanticPath '" + value.AsString() + "'");
        storedFolder = value.AsString();
    }
    void ZanticPathSave(TStoredValue*, rtl::Variant& value) { value = rtl::Variant(storedFolder); }
    void FormStorage1RestorePlacement(rtl::TObject*)
    {
        log.push_back("restoreplacement");
        visibleAtRestore = HandleAllocated() && ::IsWindowVisible(Handle());
        if (throwOnRestorePlacement)
            throw rtl::Exception("version check failed");
    }
};

void TStoreForm::Publish(Table& t)
{
    t.Field(RTL_MEMBER(ZanticFolder));
    t.Field(RTL_MEMBER(FormStorage1));
    t.Method(RTL_MEMBER(FormCreate));
    t.Method(RTL_MEMBER(FormShow));
    t.Method(RTL_MEMBER(FormCloseQuery));
    t.Method(RTL_MEMBER(FormDestroy));
    t.Method(RTL_MEMBER(VarneloRestore));
    t.Method(RTL_MEMBER(VarneloSave));
    t.Method(RTL_MEMBER(TamsikRestore));
    t.Method(RTL_MEMBER(TamsikSave));
    t.Method(RTL_MEMBER(ZanticPathRestore));
    t.Method(RTL_MEMBER(ZanticPathSave));
    t.Method(RTL_MEMBER(FormStorage1RestorePlacement));
}

struct Options {
    std::string iniFileName;
    std::string extraStorage;  // more property lines of FormStorage1
    std::string borderStyle = "bsSizeable";
    std::string storedProps = "'ZanticFolder.Text'";
    std::string formStyle = "fsNormal";
};

std::string FormText(const Options& o)
{
    return R"(object StoreForm: TStoreForm
  Left = 100
  Top = 80
  BorderStyle = )" +
           o.borderStyle + R"(
  FormStyle = )" +
           o.formStyle +
           R"(
  Caption = 'Setup Assistant'
  ClientHeight = 295
  ClientWidth = 614
  Position = poScreenCenter
  Visible = False
  OnCloseQuery = FormCloseQuery
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  OnShow = FormShow
  object ZanticFolder: TEdit
    Left = 313
    Top = 240
    Width = 291
    Height = 21
    Text = 'C:\Default\'
  end
  object FormStorage1: TFormStorage
    IniFileName = ')" +
           o.iniFileName + R"('
    IniSection = 'Setup Assistant'
)" + o.extraStorage +
           R"(    StoredProps.Strings = (
      )" + o.storedProps +
           R"()
    StoredValues = <
      item
        Name = 'Varnelo'
        OnSave = VarneloSave
        OnRestore = VarneloRestore
      end
      item
        Name = 'Tamsik'
        OnSave = TamsikSave
        OnRestore = TamsikRestore
      end
      item
        Name = 'ZanticPath'
        OnSave = ZanticPathSave
        OnRestore = ZanticPathRestore
      end>
    OnRestorePlacement = FormStorage1RestorePlacement
  end
end
)";
}

// OnDestroy first, while the form's own members still exist, as the application does.
struct FormDeleter {
    void operator()(TStoreForm* f) const
    {
        f->DoDestroy();
        delete f;
    }
};
using FormPtr = std::unique_ptr<TStoreForm, FormDeleter>;

FormPtr LoadForm(const Options& o)
{
    FormPtr form(new TStoreForm(win::Application));
    rtl::TStringStream in(FormText(o));
    rtl::TMemoryStream bin;
    rtl::ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    form->ReadFromStream(bin);
    return form;
}

void Pump()
{
    for (int i = 0; i < 5; ++i)
        win::Application->ProcessMessages();
}

std::string TempDir()
{
    char buffer[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// "key=value" lines of one section, in file order.
std::vector<std::pair<std::string, std::string>> SectionLines(const std::string& bytes,
                                                              const std::string& section)
{
    std::vector<std::pair<std::string, std::string>> result;
    std::istringstream in(bytes);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inSection = line == "[" + section + "]";
            continue;
        }
        if (!inSection || line.empty())
            continue;
        std::size_t eq = line.find('=');
        result.emplace_back(line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
    }
    return result;
}

std::vector<std::string> Keys(const std::vector<std::pair<std::string, std::string>>& lines)
{
    std::vector<std::string> keys;
    for (auto& kv : lines)
        keys.push_back(kv.first);
    return keys;
}

std::string Value(const std::vector<std::pair<std::string, std::string>>& lines, const std::string& key)
{
    for (auto& kv : lines)
        if (kv.first == key)
            return kv.second;
    return "<missing>";
}

std::string Profile(const std::string& file, const std::string& key)
{
    char buffer[1024] = {};
    ::GetPrivateProfileStringA("Setup Assistant", key.c_str(), "<missing>", buffer, sizeof(buffer),
                               file.c_str());
    return buffer;
}

std::string Suffix()
{
    return "(" + std::to_string(::GetSystemMetrics(SM_CXSCREEN)) + "x" +
           std::to_string(::GetSystemMetrics(SM_CYSCREEN)) + ")";
}

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = TempDir() + "va_place_" + info->name() + ".ini";
        ::DeleteFileA(path.c_str());
        opts.iniFileName = path;
    }
    void TearDown() override
    {
        Pump();
        ::DeleteFileA(path.c_str());
    }
    // Shows, lets the form ask to close (the save), then destroys it.
    void RunOnce(const std::function<void(TStoreForm&)>& beforeClose = nullptr)
    {
        FormPtr form = LoadForm(opts);
        form->Show();
        Pump();
        if (beforeClose)
            beforeClose(*form);
        ASSERT_TRUE(form->CloseQuery());
    }

    std::string path;
    Options opts;
};

MINMAXINFO AskMinMax(HWND wnd)
{
    MINMAXINFO mmi{};
    mmi.ptMaxTrackSize = POINT{5000, 5000};
    mmi.ptMaxSize = POINT{1000, 1000};
    mmi.ptMaxPosition = POINT{-4, -4};
    ::SendMessageA(wnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    return mmi;
}

const std::vector<std::string> kSavedKeys = {"FormVersion",
                                             "Flags",
                                             "ShowCmd",
                                             "PixelsPerInch",
                                             "MinMaxPos" + Suffix(),
                                             "MinMaxPos",
                                             "NormPos" + Suffix(),
                                             "NormPos",
                                             "Visible",
                                             "ZanticFolder_Text",
                                             "Varnelo",
                                             "Tamsik",
                                             "ZanticPath"};

}  // namespace

// ---- restore order and first run ----

TEST_F(PlacementTest, FirstRunWithoutIniFileRestoresEmptyValuesThenFiresRestorePlacement)
{
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    std::vector<std::string> expected = {
        "create", "restore Varnelo ''", "restore Tamsik ''", "restore ZanticPath ''", "restoreplacement",
        "show"};
    EXPECT_EQ(form->log, expected);
    EXPECT_EQ(form->ZanticFolder->Text(), "C:\\Default\\");
    EXPECT_FALSE(FileExists(path));  // restoring never creates the file
}

TEST_F(PlacementTest, SaveWritesSectionKeysAndValuesInOrder)
{
    RunOnce([](TStoreForm& f) {
        f.installed = 143;
        f.tamsik = 7;
        f.storedFolder = "C:\\Zantic\\";
        f.ZanticFolder->SetText("C:\\Chosen\\");
    });
    std::string bytes = ReadFileBytes(path);
    auto lines = SectionLines(bytes, "Setup Assistant");
    EXPECT_EQ(Keys(lines), kSavedKeys) << bytes;
    EXPECT_EQ(Value(lines, "FormVersion"), "0");
    EXPECT_EQ(Value(lines, "ShowCmd"), "1");
    EXPECT_EQ(Value(lines, "PixelsPerInch"), std::to_string(win::Screen->PixelsPerInch()));
    EXPECT_EQ(Value(lines, "NormPos"), Value(lines, "NormPos" + Suffix()));
    EXPECT_EQ(Value(lines, "MinMaxPos"), Value(lines, "MinMaxPos" + Suffix()));
    EXPECT_EQ(Value(lines, "Visible"), "0");
    EXPECT_EQ(Value(lines, "ZanticFolder_Text"), "C:\\Chosen\\");
    EXPECT_EQ(Value(lines, "Varnelo"), "143");
    EXPECT_EQ(Value(lines, "Tamsik"), "7");
    EXPECT_EQ(Value(lines, "ZanticPath"), "C:\\Zantic\\");
    // The normal position is the window as closed: height 302 set by the close query.
    std::string norm = Value(lines, "NormPos");
    const TCharSet delims = CharSet(",");
    int top = std::stoi(ExtractWord(2, norm, delims));
    int bottom = std::stoi(ExtractWord(4, norm, delims));
    EXPECT_EQ(bottom - top, 302);
    // The system's own reader agrees.
    EXPECT_EQ(Profile(path, "Varnelo"), "143");
    EXPECT_EQ(Profile(path, "NormPos"), norm);
}

TEST_F(PlacementTest, SecondRunRestoresPlacementThenPropertiesThenValuesThenEvent)
{
    RunOnce([](TStoreForm& f) {
        f.installed = 143;
        f.storedFolder = "C:\\Zantic\\";
        f.ZanticFolder->SetText("C:\\Chosen\\");
        f.SetBounds(40, 30, 500, 400);
    });
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    std::vector<std::string> expected = {"create",
                                         "restore Varnelo '143'",
                                         "restore Tamsik '0'",
                                         "restore ZanticPath 'C:\\Zantic\\'",
                                         "restoreplacement",
                                         "show"};
    EXPECT_EQ(form->log, expected);
    EXPECT_EQ(form->installed, 143);
    EXPECT_EQ(form->folderSeenAtRestore, "C:\\Chosen\\");  // properties before values
    EXPECT_EQ(form->Left(), 40);
    EXPECT_EQ(form->Top(), 30);
    EXPECT_EQ(form->Width(), 500);
    EXPECT_EQ(form->Height(), 302);
    EXPECT_EQ(form->Position(), win::poDesigned);  // no re-centring over the restored place
}

TEST_F(PlacementTest, NewerVersionSkipsRestoreButLaterSaveWritesIt)
{
    RunOnce([](TStoreForm& f) { f.installed = 143; });
    ::WritePrivateProfileStringA("Setup Assistant", "FormVersion", "1", path.c_str());
    opts.extraStorage = "    Version = 2\n";
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    std::vector<std::string> expected = {"create", "show"};
    EXPECT_EQ(form->log, expected);
    EXPECT_EQ(form->installed, 0);
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(Profile(path, "FormVersion"), "2");
    EXPECT_EQ(Profile(path, "Varnelo"), "0");
}

// ---- close query and destroy ----

TEST_F(PlacementTest, CloseQueryThenDestroyWritesOnce)
{
    {
        FormPtr form = LoadForm(opts);
        form->Show();
        Pump();
        ASSERT_TRUE(form->CloseQuery());
        ASSERT_TRUE(FileExists(path));
        ::DeleteFileA(path.c_str());
    }
    EXPECT_FALSE(FileExists(path));
}

// A file that cannot be written at the close is reported once, by the close query's save; the
// destruction that follows does not try again. What the file held stays.
TEST_F(PlacementTest, AFileThatCannotBeWrittenAtTheCloseIsReportedOnce)
{
    struct Case {
        const char* what;
        std::function<std::function<void()>()> lock;  // makes the file unwritable; returns the undo
        const char* kept;                             // Varnelo as the file holds it afterwards
    };
    const Case cases[] = {
        {"held open by another program",
         [this] {
             WriteFileBytes(path, "[Setup Assistant]\r\nVarnelo=150\r\n");
             HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
             EXPECT_NE(held, INVALID_HANDLE_VALUE);
             return std::function<void()>([held] { ::CloseHandle(held); });
         },
         "150"},
        {"a folder of its name",
         [this] {
             EXPECT_TRUE(::CreateDirectoryA(path.c_str(), nullptr));
             return std::function<void()>([this] { ::RemoveDirectoryA(path.c_str()); });
         },
         "<missing>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::DeleteFileA(path.c_str());
        std::vector<std::string> reported;
        const std::function<void()> unlock = c.lock();
        {
            FormPtr form = LoadForm(opts);
            form->Show();
            Pump();
            form->installed = 143;
            win::Application->OnException = [&reported](rtl::TObject*, const std::exception& e) {
                reported.push_back(e.what());
            };
            EXPECT_TRUE(form->CloseQuery()) << "the form still closes";
        }
        win::Application->OnException = nullptr;
        unlock();
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0], "Unable to write to " + path);
        EXPECT_EQ(Profile(path, "Varnelo"), c.kept);
        EXPECT_EQ(Profile(path, "FormVersion"), "<missing>");
    }
}

TEST_F(PlacementTest, DestroyWithoutCloseQuerySavesWithVisibleSet)
{
    {
        FormPtr form = LoadForm(opts);
        form->Show();
        Pump();
        form->installed = 144;
    }
    EXPECT_EQ(Profile(path, "Varnelo"), "144");
    EXPECT_EQ(Profile(path, "Visible"), "1");
}

TEST_F(PlacementTest, FormNeverShownSavesNothing)
{
    {
        FormPtr form = LoadForm(opts);
        EXPECT_TRUE(form->CloseQuery());
    }
    EXPECT_FALSE(FileExists(path));
}

TEST_F(PlacementTest, PreviousFormHandlersStillRunAndComeBackWhenStorageGoes)
{
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(form->log.back(), "closequery");
    delete form->FormStorage1;
    form->log.clear();
    ASSERT_TRUE(form->OnShow.Assigned());
    form->OnShow(form.get());
    bool can = false;
    form->OnCloseQuery(form.get(), can);
    std::vector<std::string> expected = {"show", "closequery"};
    EXPECT_EQ(form->log, expected);
}

TEST_F(PlacementTest, ExceptionInRestoreEventIsReportedAndFormStillShows)
{
    std::vector<std::string> reported;
    win::Application->OnException = [&reported](rtl::TObject*, const std::exception& e) {
        reported.push_back(e.what());
    };
    FormPtr form = LoadForm(opts);
    form->throwOnRestorePlacement = true;
    form->Show();
    Pump();
    win::Application->OnException = nullptr;
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "version check failed");
    EXPECT_EQ(form->log.back(), "show");
    EXPECT_TRUE(::IsWindowVisible(form->Handle()));
    // Restored is set even so: the close still saves.
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_TRUE(FileExists(path));
}

// ---- keys and values ----

TEST_F(PlacementTest, QuotedValuesGetOneMorePairAndReadBackWithTheirQuotes)
{
    RunOnce([](TStoreForm& f) {
        f.storedFolder = "\"C:\\Quoted\\\"";
        f.ZanticFolder->SetText("'single'");
    });
    auto lines = SectionLines(ReadFileBytes(path), "Setup Assistant");
    EXPECT_EQ(Value(lines, "ZanticPath"), "\"\"C:\\Quoted\\\"\"");
    EXPECT_EQ(Value(lines, "ZanticFolder_Text"), "\"'single'\"");
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_EQ(form->storedFolder, "\"C:\\Quoted\\\"");
    EXPECT_EQ(form->ZanticFolder->Text(), "'single'");
}

TEST_F(PlacementTest, KeyStringEncodesTheStoredText)
{
    FormPtr form = LoadForm(opts);
    form->FormStorage1->StoredValues()->Items(2)->KeyString = "Kestrelon";
    form->Show();
    Pump();
    form->storedFolder = "C:\\Zantic\\";
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(Profile(path, "ZanticPath"), XorEncode("Kestrelon", "C:\\Zantic\\"));
    form.reset();
    FormPtr again = LoadForm(opts);
    again->FormStorage1->StoredValues()->Items(2)->KeyString = "Kestrelon";
    again->Show();
    Pump();
    EXPECT_EQ(again->storedFolder, "C:\\Zantic\\");
}

TEST_F(PlacementTest, StoredValueSaveHandlerDecidesTheWrittenText)
{
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    form->FormStorage1->StoredValues()->Items(1)->OnSave = [](TStoredValue*, rtl::Variant& v) {
        v = rtl::Variant(std::int32_t(143));
    };
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(Profile(path, "Tamsik"), "143");
}

TEST_F(PlacementTest, StoredValueSaveHandlerThatEmptiesTheValueKeepsTheEntry)
{
    WriteFileBytes(path, "[Setup Assistant]\r\nTamsik=not a number\r\n");
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    form->FormStorage1->StoredValues()->Items(1)->OnSave = [](TStoredValue*, rtl::Variant& v) { v.Clear(); };
    form->FormStorage1->StoredValues()->Items(2)->OnSave = [](TStoredValue*, rtl::Variant& v) { v.Clear(); };
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(Profile(path, "Tamsik"), "not a number");
    EXPECT_EQ(Profile(path, "ZanticPath"), "<missing>");
    EXPECT_EQ(Profile(path, "Varnelo"), "0") << "the others are written as before";
}

TEST_F(PlacementTest, MaxValueLengthCutsWhatIsReadFromTheFile)
{
    const std::string longFolder = "C:\\" + std::string(5000, 'z') + "\\";
    WriteFileBytes(path, "[Setup Assistant]\r\nZanticPath=" + longFolder +
                             "\r\nZanticFolder_Text=" + longFolder + "\r\n");
    FormPtr form = LoadForm(opts);
    form->FormStorage1->SetMaxValueLength(300);
    form->Show();
    Pump();
    EXPECT_EQ(form->storedFolder, longFolder.substr(0, 300));
    EXPECT_EQ(form->ZanticFolder->Text(), longFolder.substr(0, 300));
}

TEST_F(PlacementTest, MalformedStoredPropsEntriesAreDroppedAtLoad)
{
    opts.storedProps = "'ZanticFolder . Text'\n      'Broken'\n      'ZanticFolder.'\n      'Nobody.Text'";
    FormPtr form = LoadForm(opts);
    rtl::TStrings* props = form->FormStorage1->StoredProps();
    ASSERT_EQ(props->Count(), 1);
    EXPECT_EQ(props->Objects(0), form->ZanticFolder);
    form->Show();
    Pump();
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(Profile(path, "ZanticFolder_Text"), "C:\\Default\\");
    // Removing the component removes its entry.
    delete form->ZanticFolder;
    EXPECT_EQ(props->Count(), 0);
}

TEST(StoredValues, RenameToOwnNameInOtherCaseIsAllowedButDuplicatesAreNot)
{
    TFormStorage storage(nullptr);
    TStoredValue* a = storage.StoredValues()->Add();
    a->SetName("Varnelo");
    TStoredValue* b = storage.StoredValues()->Add();
    b->SetName("Tamsik");
    EXPECT_NO_THROW(a->SetName("VARNELO"));
    EXPECT_EQ(a->Name(), "VARNELO");
    try {
        b->SetName("varnelo");
        FAIL() << "duplicate accepted";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "String list does not allow duplicates");
    }
    EXPECT_EQ(b->Name(), "Tamsik");
    EXPECT_EQ(storage.StoredValues()->IndexOf("tamsik"), 1);
    EXPECT_EQ(a->DisplayName(), "VARNELO");
    TStoredValue c(nullptr);
    c.Value = rtl::Variant(std::int32_t(5));
    c.Assign(b);
    EXPECT_TRUE(c.Value.IsEmpty());
    EXPECT_EQ(c.Name(), "Tamsik");
}

// ---- placement records ----

TEST_F(PlacementTest, PlainKeyUsedWhenNoKeyForThisScreenSize)
{
    WriteFileBytes(path, "[Setup Assistant]\r\nFormVersion=0\r\nPixelsPerInch=" +
                             std::to_string(win::Screen->PixelsPerInch()) +
                             "\r\nNormPos(1x1)=0,0,10,10\r\nNormPos=120,60,620,462\r\n");
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_EQ(form->Left(), 120);
    EXPECT_EQ(form->Top(), 60);
    EXPECT_EQ(form->Width(), 500);
    EXPECT_EQ(form->Height(), 402);
}

TEST_F(PlacementTest, KeyForThisScreenSizeWinsOverPlainKey)
{
    WriteFileBytes(path,
                   "[Setup Assistant]\r\nNormPos" + Suffix() + "=130,70,630,472\r\nNormPos=0,0,10,10\r\n");
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_EQ(form->Left(), 130);
    EXPECT_EQ(form->Top(), 70);
}

TEST_F(PlacementTest, OtherPixelsPerInchIgnoresStoredPosition)
{
    WriteFileBytes(path,
                   "[Setup Assistant]\r\nPixelsPerInch=" + std::to_string(win::Screen->PixelsPerInch() + 24) +
                       "\r\nNormPos=130,70,630,472\r\n");
    FormPtr form = LoadForm(opts);
    int width = form->Width();
    form->Show();
    Pump();
    EXPECT_NE(form->Left(), 130);
    EXPECT_EQ(form->Width(), width);
}

TEST_F(PlacementTest, SingleBorderKeepsItsOwnSize)
{
    opts.borderStyle = "bsSingle";
    WriteFileBytes(path, "[Setup Assistant]\r\nNormPos=100,50,714,352\r\n");
    FormPtr form = LoadForm(opts);
    int width = form->Width(), height = form->Height();
    ASSERT_NE(width, 614);
    form->Show();
    Pump();
    EXPECT_EQ(form->Left(), 100);
    EXPECT_EQ(form->Top(), 50);
    EXPECT_EQ(form->Width(), width);
    EXPECT_EQ(form->Height(), height);
}

TEST_F(PlacementTest, ShowCmdThreeMaximizesANormalForm)
{
    WriteFileBytes(path, "[Setup Assistant]\r\nShowCmd=3\r\n");
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_TRUE(::IsZoomed(form->Handle()));
    EXPECT_EQ(form->WindowState(), win::wsMaximized);
}

// ---- MDI forms ----

using wintest::MDIParent;

// A minimized MDI child is written with its icon's place (WPF_SETMINPOSITION), takes its state
// straight from the record when read back, and opens minimized at that place, its normal bounds
// kept for the restore.
TEST_F(PlacementTest, AMinimizedMDIChildIsWrittenWithItsIconPlaceAndReadBackThere)
{
    MDIParent parent;
    opts.formStyle = "fsMDIChild";
    RECT normal{}, icon{};
    RunOnce([&](TStoreForm& form) {
        ASSERT_EQ(::GetParent(form.Handle()), parent.Client());
        normal = wintest::RectInParent(form.Handle());
        form.SetWindowState(win::wsMinimized);
        Pump();
        ASSERT_TRUE(::IsIconic(form.Handle()));
        icon = wintest::RectInParent(form.Handle());
    });
    const auto lines = SectionLines(ReadFileBytes(path), "Setup Assistant");
    EXPECT_EQ(Value(lines, "Flags"), std::to_string(WPF_SETMINPOSITION));
    EXPECT_EQ(Value(lines, "ShowCmd"), std::to_string(SW_SHOWMINIMIZED));
    // The icon's place first, then the maximized one.
    const std::string minMax = Value(lines, "MinMaxPos");
    EXPECT_EQ(minMax.substr(0, minMax.find(',', minMax.find(',') + 1)),
              std::to_string(icon.left) + "," + std::to_string(icon.top));
    EXPECT_EQ(Value(lines, "NormPos"), std::to_string(normal.left) + "," + std::to_string(normal.top) + "," +
                                           std::to_string(normal.right) + "," +
                                           std::to_string(normal.bottom));

    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_TRUE(::IsIconic(form->Handle())) << "the stored state, taken as it is";
    const RECT again = wintest::RectInParent(form->Handle());
    EXPECT_EQ(again.left, icon.left);
    EXPECT_EQ(again.top, icon.top);
    form->SetWindowState(win::wsNormal);
    Pump();
    const RECT back = wintest::RectInParent(form->Handle());
    EXPECT_EQ(back.left, normal.left);
    EXPECT_EQ(back.top, normal.top);
    EXPECT_EQ(back.right, normal.right);
    EXPECT_EQ(back.bottom, normal.bottom);
}

// The icon's place in the record counts only with the flag that marks it.
TEST_F(PlacementTest, AnMDIChildsIconGoesToTheRecordedPlaceOnlyWhenMarked)
{
    MDIParent parent;
    opts.formStyle = "fsMDIChild";
    for (UINT flags : {0u, static_cast<UINT>(WPF_SETMINPOSITION)}) {
        SCOPED_TRACE(flags);
        WriteFileBytes(path, "[Setup Assistant]\r\nFlags=" + std::to_string(flags) +
                                 "\r\nShowCmd=2\r\nMinMaxPos=200,150,-1,-1\r\nNormPos=30,40,500,360\r\n");
        FormPtr form = LoadForm(opts);
        form->Show();
        Pump();
        ASSERT_TRUE(::IsIconic(form->Handle()));
        const RECT icon = wintest::RectInParent(form->Handle());
        EXPECT_EQ(icon.left == 200 && icon.top == 150, flags != 0) << icon.left << "," << icon.top;
    }
}

TEST_F(PlacementTest, OnlyAMinimizedMDIChildMarksItsIconPlace)
{
    struct Case {
        const char* formStyle;
        win::TWindowState state;
        UINT flags;
    };
    const Case cases[] = {{"fsMDIChild", win::wsNormal, 0},
                          {"fsMDIChild", win::wsMaximized, 0},
                          {"fsMDIChild", win::wsMinimized, WPF_SETMINPOSITION},
                          {"fsNormal", win::wsMinimized, 0}};
    MDIParent parent;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.formStyle) + " " + std::to_string(c.state));
        ::DeleteFileA(path.c_str());
        opts.formStyle = c.formStyle;
        RunOnce([&](TStoreForm& form) {
            form.SetWindowState(c.state);
            Pump();
        });
        const UINT flags = static_cast<UINT>(std::stoul(Profile(path, "Flags")));
        EXPECT_EQ(flags & WPF_SETMINPOSITION, c.flags);
    }
}

// A state stored for an MDI form is what it shows in; the main form, when an MDI parent, opens
// maximized unless the record says otherwise.
TEST_F(PlacementTest, MDIFormsOpenInTheStoredStateAndAnMDIParentMaximized)
{
    struct Case {
        const char* formStyle;
        const char* record;
        win::TWindowState shown;
    };
    const Case cases[] = {{"fsMDIForm", "", win::wsMaximized},
                          {"fsMDIForm", "ShowCmd=1\r\n", win::wsNormal},
                          {"fsNormal", "", win::wsNormal},
                          {"fsMDIChild", "ShowCmd=3\r\n", win::wsMaximized},
                          {"fsMDIChild", "ShowCmd=1\r\n", win::wsNormal}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.formStyle) + " " + c.record);
        WriteFileBytes(path, std::string("[Setup Assistant]\r\n") + c.record);
        opts.formStyle = c.formStyle;
        const bool child = std::string(c.formStyle) == "fsMDIChild";
        std::unique_ptr<MDIParent> parent;
        if (child)
            parent = std::make_unique<MDIParent>();
        win::TCustomForm* previous = win::Application->MainForm();
        FormPtr form = LoadForm(opts);
        if (!child)
            win::Application->SetMainForm(form.get());
        form->Show();
        Pump();
        EXPECT_EQ(form->WindowState(), c.shown);
        EXPECT_EQ(::IsZoomed(form->Handle()) != FALSE, c.shown == win::wsMaximized);
        if (!child)
            win::Application->SetMainForm(previous);
    }
}

TEST_F(PlacementTest, ShowCmdTwoOnTheMainFormMinimizesTheApplication)
{
    WriteFileBytes(path, "[Setup Assistant]\r\nShowCmd=2\r\n");
    FormPtr form = LoadForm(opts);
    win::TCustomForm* previousMain = win::Application->MainForm();
    win::Application->SetMainForm(form.get());
    // Every showing of the window is logged: the placement must not show it before its own first
    // showing does (and the application minimises only afterwards).
    int shown = 0;
    win::TWndMethod own = form->WindowProc;
    form->WindowProc = [&shown, own](win::TMessage& m) {
        if (m.Msg == WM_SHOWWINDOW && m.WParam)
            ++shown;
        own(m);
    };
    form->Show();
    form->WindowProc = own;
    EXPECT_FALSE(form->visibleAtRestore);
    EXPECT_EQ(shown, 1);
    MSG msg{};
    bool posted =
        ::PeekMessageA(&msg, win::Application->Handle(), WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE) != FALSE;
    win::Application->SetMainForm(previousMain);
    ASSERT_TRUE(posted);
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(SC_MINIMIZE));
    EXPECT_FALSE(::IsIconic(form->Handle()));
}

// ---- bad input ----

TEST_F(PlacementTest, GarbageValuesReadAsDefaultsAndNextSaveIsSound)
{
    WriteFileBytes(path,
                   "[Setup Assistant]\r\nFormVersion=abc\r\nFlags=zz\r\nShowCmd=77\r\nPixelsPerInch=x\r\n"
                   "MinMaxPos=a,b\r\nNormPos=99999999,-99999999,1,2\r\nVisible=maybe\r\n"
                   "Varnelo=\x01\x02garbage\r\nZanticFolder_Text=\r\n");
    FormPtr form = LoadForm(opts);
    int width = form->Width(), height = form->Height();
    form->Show();
    Pump();
    EXPECT_EQ(form->log.back(), "show");
    EXPECT_EQ(form->installed, 0);
    EXPECT_EQ(form->Width(), width);
    EXPECT_EQ(form->Height(), height);
    EXPECT_FALSE(::IsZoomed(form->Handle()));
    EXPECT_EQ(form->ZanticFolder->Text(), "");
    form->installed = 143;
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(Profile(path, "FormVersion"), "0");
    EXPECT_EQ(Profile(path, "Varnelo"), "143");
    EXPECT_EQ(WordCount(Profile(path, "NormPos"), CharSet(",")), 4);
    EXPECT_NE(Profile(path, "NormPos").find_first_of("0123456789"), std::string::npos);
}

TEST_F(PlacementTest, BinaryOrTruncatedFileDoesNotStopShowOrSave)
{
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 7919) >> 3));
    binary += "[Setup Assistant]\r\nNormPos=1,2,3";  // cut short, no line end
    WriteFileBytes(path, binary);
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_EQ(form->log.back(), "show");
    EXPECT_EQ(form->log[form->log.size() - 2], "restoreplacement");
    form->installed = 143;
    ASSERT_TRUE(form->CloseQuery());
    EXPECT_EQ(Profile(path, "Varnelo"), "143");
    EXPECT_EQ(WordCount(Profile(path, "NormPos"), CharSet(",")), 4);
}

TEST_F(PlacementTest, MissingSectionReadsDefaults)
{
    WriteFileBytes(path, "[Other]\r\nVarnelo=150\r\n");
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_EQ(form->installed, 0);
    EXPECT_EQ(form->log[1], "restore Varnelo ''");
}

// ---- file names ----

TEST(PlacementFiles, BareNameResolvesToWindowsFolderWithoutExtension)
{
    char windir[MAX_PATH + 1] = {};
    ::GetWindowsDirectoryA(windir, MAX_PATH);
    std::string expected = rtl::IncludeTrailingBackslash(windir) + "VaPlacementBare";
    ::DeleteFileA(expected.c_str());
    Options o;
    o.iniFileName = "VaPlacementBare";
    {
        FormPtr form = LoadForm(o);
        form->Show();
        Pump();
        form->installed = 143;
        ASSERT_TRUE(form->CloseQuery());
    }
    EXPECT_TRUE(FileExists(expected));
    EXPECT_FALSE(FileExists(expected + ".INI"));
    auto lines = SectionLines(ReadFileBytes(expected), "Setup Assistant");
    EXPECT_EQ(Value(lines, "Varnelo"), "143");
    ::DeleteFileA(expected.c_str());
}

TEST(PlacementFiles, DefaultSectionAndNames)
{
    FormPtr form = LoadForm(Options{});
    EXPECT_EQ(GetDefaultSection(form.get()), "TStoreForm");
    EXPECT_EQ(GetDefaultSection(form->ZanticFolder), "TStoreFormZanticFolder");
    EXPECT_EQ(GetDefaultSection(form->FormStorage1), "TStoreForm.FormStorage1");
    EXPECT_EQ(GetDefaultSection(nullptr), "");
    EXPECT_EQ(GetDefaultIniName(), "rxPlacemnt_test.INI");
    EXPECT_EQ(GetDefaultIniRegKey(), "Software\\rxPlacemnt_test");
    DefCompanyName = "Kestrelon";
    EXPECT_EQ(GetDefaultIniRegKey(), "Software\\Kestrelon\\rxPlacemnt_test");
    FinalizeRxAppUtils();
    EXPECT_EQ(DefCompanyName, "");
    OnGetDefaultIniName = [] { return std::string("Custom.ini"); };
    EXPECT_EQ(GetDefaultIniName(), "Custom.ini");
    OnGetDefaultIniName = nullptr;
    form->FormStorage1->SetIniFileName("");
    form->FormStorage1->SetIniSection("");
    EXPECT_EQ(form->FormStorage1->IniFileName(), "rxPlacemnt_test.INI");
    // Without a section of its own the storage uses its owner's.
    EXPECT_EQ(form->FormStorage1->IniSection(), "TStoreForm");
}

// ---- registry ----

namespace {

std::string RegValue(HKEY root, const std::string& key, const std::string& name, DWORD* type = nullptr)
{
    HKEY h = nullptr;
    if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[1024] = {};
    DWORD size = sizeof(buffer) - 1, t = 0;
    LONG rc = ::RegQueryValueExA(h, name.c_str(), nullptr, &t, reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(h);
    if (type)
        *type = t;
    return rc == ERROR_SUCCESS ? std::string(buffer) : "<missing>";
}

void DeleteTree(HKEY root, const std::string& key) { ::RegDeleteTreeA(root, key.c_str()); }

}  // namespace

TEST(PlacementRegistry, SavesUnderKeyAndSectionAndRestoresFromThere)
{
    const std::string key = "Software\\VarneloTest\\Placement";
    DeleteTree(HKEY_CURRENT_USER, "Software\\VarneloTest");
    Options o;
    o.iniFileName = key;
    o.extraStorage = "    UseRegistry = True\n";
    {
        FormPtr form = LoadForm(o);
        form->Show();
        Pump();
        form->installed = 143;
        form->storedFolder = "\"C:\\Quoted\\\"";
        ASSERT_TRUE(form->CloseQuery());
    }
    DWORD type = 0;
    std::string section = key + "\\Setup Assistant";
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, section, "FormVersion"), "0");
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, section, "Varnelo", &type), "143");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, section, "ZanticPath"), "\"C:\\Quoted\\\"");  // no extra quotes
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, section, "ZanticFolder_Text"), "C:\\Default\\");
    std::string norm = RegValue(HKEY_CURRENT_USER, section, "NormPos");
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, section, "NormPos" + Suffix()), norm);
    EXPECT_EQ(WordCount(norm, CharSet(",")), 4);

    FormPtr form = LoadForm(o);
    form->Show();
    Pump();
    EXPECT_EQ(form->installed, 143);
    EXPECT_EQ(form->storedFolder, "\"C:\\Quoted\\\"");
    form.reset();
    DeleteTree(HKEY_CURRENT_USER, "Software\\VarneloTest");
}

TEST(PlacementRegistry, OtherRootIsUsedAndKeyCreatedOnlyWhenWriting)
{
    const std::string key = "Software\\VarneloTestLM\\Placement";
    DeleteTree(HKEY_LOCAL_MACHINE, "Software\\VarneloTestLM");
    Options o;
    o.iniFileName = key;
    o.extraStorage = "    RegistryRoot = prLocalMachine\n    UseRegistry = True\n";
    {
        FormPtr form = LoadForm(o);
        form->Show();
        Pump();
        EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, key, ""), "<no key>");  // reading created nothing
        form->installed = 150;
        ASSERT_TRUE(form->CloseQuery());
    }
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, key + "\\Setup Assistant", "Varnelo"), "150");
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, key + "\\Setup Assistant", "Varnelo"), "<no key>");
    DeleteTree(HKEY_LOCAL_MACHINE, "Software\\VarneloTestLM");
}

TEST(PlacementRegistry, KeyThatCannotBeOpenedGivesDefaultsAndNoCrash)
{
    // A key name part longer than the registry allows (255 characters) can never be opened.
    const std::string badKey = "Software\\VarneloTestBad\\" + std::string(300, 'k');
    const std::string goodKey = "Software\\VarneloTestGood";
    DeleteTree(HKEY_CURRENT_USER, goodKey);
    HKEY probe = nullptr;
    ASSERT_NE(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, badKey.c_str(), 0, KEY_READ, &probe), ERROR_SUCCESS);
    Options o;
    o.iniFileName = badKey;
    o.extraStorage = "    RegistryRoot = prLocalMachine\n    UseRegistry = True\n";
    FormPtr form = LoadForm(o);
    form->Show();
    Pump();
    std::vector<std::string> expected = {
        "create", "restore Varnelo ''", "restore Tamsik ''", "restore ZanticPath ''", "restoreplacement",
        "show"};
    EXPECT_EQ(form->log, expected);
    form->installed = 143;
    std::vector<std::string> reported;
    win::Application->OnException = [&reported](rtl::TObject*, const std::exception& e) {
        reported.push_back(e.what());
    };
    EXPECT_TRUE(form->CloseQuery());  // the save cannot create the key either, and says so
    win::Application->OnException = nullptr;
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "Unable to write to registry section Setup Assistant");
    // Nothing leaked to the root through relative section paths.
    EXPECT_EQ(RegValue(HKEY_LOCAL_MACHINE, "Setup Assistant", "Varnelo"), "<no key>");
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, "Setup Assistant", "Varnelo"), "<no key>");
    // With a key that works, the next save writes sound values.
    form->FormStorage1->SetIniFileName(goodKey);
    form->FormStorage1->RegistryRoot = prCurrentUser;
    EXPECT_TRUE(form->CloseQuery());
    std::string section = goodKey + "\\Setup Assistant";
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, section, "FormVersion"), "0");
    EXPECT_EQ(RegValue(HKEY_CURRENT_USER, section, "Varnelo"), "143");
    EXPECT_EQ(WordCount(RegValue(HKEY_CURRENT_USER, section, "NormPos"), CharSet(",")), 4);
    form.reset();
    DeleteTree(HKEY_CURRENT_USER, goodKey);
}

// ---- size limits through the window hook ----

TEST_F(PlacementTest, MinMaxInfoReplacesOnlyTheValuesThatAreSet)
{
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    EXPECT_FALSE(form->FormStorage1->WinHook()->Active());
    form->FormStorage1->MinMaxInfo()->SetMinTrackWidth(300);
    form->FormStorage1->MinMaxInfo()->SetMaxTrackHeight(700);
    EXPECT_TRUE(form->FormStorage1->WinHook()->Active());
    MINMAXINFO mmi = AskMinMax(form->Handle());
    EXPECT_EQ(mmi.ptMinTrackSize.x, 300);
    EXPECT_EQ(mmi.ptMaxTrackSize.y, 700);
    EXPECT_EQ(mmi.ptMaxTrackSize.x, 5000);
    EXPECT_EQ(mmi.ptMaxSize.x, 1000);
    // The limits survive the recreation of the window.
    form->RecreateWnd();
    Pump();
    mmi = AskMinMax(form->Handle());
    EXPECT_EQ(mmi.ptMinTrackSize.x, 300);
    // All back to 0: the hook goes.
    form->FormStorage1->MinMaxInfo()->SetMinTrackWidth(0);
    form->FormStorage1->MinMaxInfo()->SetMaxTrackHeight(0);
    EXPECT_FALSE(form->FormStorage1->WinHook()->Active());
}

TEST_F(PlacementTest, PreventResizeFreezesTheFrameAndDropsMaximize)
{
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    ASSERT_TRUE(form->BorderIcons().Contains(win::biMaximize));
    form->FormStorage1->SetPreventResize(true);
    Pump();  // a new border recreates the window; the hook follows from the message loop
    EXPECT_FALSE(form->BorderIcons().Contains(win::biMaximize));
    HWND wnd = form->Handle();
    MINMAXINFO mmi = AskMinMax(wnd);
    EXPECT_EQ(mmi.ptMinTrackSize.x, form->Width());
    EXPECT_EQ(mmi.ptMaxTrackSize.y, form->Height());
    RECT r{};
    ::GetWindowRect(wnd, &r);
    LRESULT hit = ::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(r.right - 1, r.bottom - 1));
    EXPECT_EQ(hit, HTNOWHERE);
    HMENU sys = ::GetSystemMenu(wnd, FALSE);
    ::SendMessageA(wnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sys), MAKELPARAM(0, 1));
    EXPECT_TRUE(::GetMenuState(sys, SC_SIZE, MF_BYCOMMAND) & MF_GRAYED);
    form->FormStorage1->SetPreventResize(false);
    Pump();
    EXPECT_TRUE(form->BorderIcons().Contains(win::biMaximize));
    hit = ::SendMessageA(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(r.right - 1, r.bottom - 1));
    EXPECT_EQ(hit, HTBOTTOMRIGHT);
}

// ---- options and links ----

TEST_F(PlacementTest, ActiveControlIsSavedAndFocusedAgain)
{
    opts.extraStorage = "    Options = [fpState, fpPosition, fpActiveControl]\n";
    RunOnce([](TStoreForm& f) { f.SetActiveControl(f.ZanticFolder); });
    EXPECT_EQ(Profile(path, "ActiveControl"), "ZanticFolder");
    FormPtr form = LoadForm(opts);
    EXPECT_EQ(form->ActiveControl(), nullptr);
    form->Show();
    Pump();
    EXPECT_EQ(form->ActiveControl(), form->ZanticFolder);
}

TEST_F(PlacementTest, OptionsWithoutStateOrPositionWriteNoPlacementKeys)
{
    opts.extraStorage = "    Options = []\n";
    RunOnce([](TStoreForm& f) { f.installed = 143; });
    auto lines = SectionLines(ReadFileBytes(path), "Setup Assistant");
    std::vector<std::string> expected = {"FormVersion", "ZanticFolder_Text", "Varnelo", "Tamsik",
                                         "ZanticPath"};
    EXPECT_EQ(Keys(lines), expected);
}

TEST_F(PlacementTest, LinksAreToldOnSaveAndRestore)
{
    FormPtr form = LoadForm(opts);
    std::vector<std::string> seen;
    {
        TIniLink link;
        link.OnLoad = [&seen, &form](rtl::TObject*) {
            seen.push_back("load " + form->FormStorage1->ReadString("Varnelo", "none"));
        };
        link.OnSave = [&seen, &form](rtl::TObject*) {
            form->FormStorage1->WriteString("LinkKey", "linked");
            seen.push_back("save");
        };
        link.SetStorage(form->FormStorage1);
        form->Show();
        Pump();
        ASSERT_TRUE(form->CloseQuery());
    }
    std::vector<std::string> expected = {"load none", "save"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(Profile(path, "LinkKey"), "linked");
    // The link unlinked itself when it went; the next save does not reach it.
    form->Show();
    EXPECT_TRUE(form->CloseQuery());
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(PlacementTest, SizeLimitsFromTheDescriptionHookTheFormAtLoad)
{
    opts.extraStorage = "    MinMaxInfo.MinTrackWidth = 321\n    MinMaxInfo.MaxSizeHeight = 555\n";
    FormPtr form = LoadForm(opts);
    EXPECT_TRUE(form->FormStorage1->WinHook()->Active());
    EXPECT_EQ(form->FormStorage1->WinHook()->WinControl(), form.get());
    MINMAXINFO mmi = AskMinMax(form->Handle());
    EXPECT_EQ(mmi.ptMinTrackSize.x, 321);
    EXPECT_EQ(mmi.ptMaxSize.y, 555);
    // Written back into a description, only the values that are set appear.
    rtl::TMemoryStream bin;
    {
        rtl::TWriter writer(bin);
        writer.WriteRootComponent(form.get());
    }
    bin.SetPosition(0);
    rtl::TStringStream text("");
    rtl::ObjectBinaryToText(bin, text);
    std::string t = text.DataString();
    EXPECT_NE(t.find("MinMaxInfo.MinTrackWidth = 321"), std::string::npos) << t;
    EXPECT_EQ(t.find("MinMaxInfo.MaxPosLeft"), std::string::npos) << t;
    EXPECT_NE(t.find("'ZanticFolder.Text'"), std::string::npos) << t;
    EXPECT_NE(t.find("Name = 'Tamsik'"), std::string::npos) << t;
}

TEST_F(PlacementTest, InactiveStorageNeitherRestoresNorSaves)
{
    opts.extraStorage = "    Active = False\n";
    FormPtr form = LoadForm(opts);
    form->Show();
    Pump();
    std::vector<std::string> expected = {"create", "show"};
    EXPECT_EQ(form->log, expected);
    ASSERT_TRUE(form->CloseQuery());
    form.reset();
    EXPECT_FALSE(FileExists(path));
}

TEST_F(PlacementTest, MemoLinesGetTheirOwnSectionErasedAndRewritten)
{
    WriteFileBytes(path, "[Setup Assistant.Memo1_Lines]\r\nStale=1\r\nItem7=old\r\n");
    auto addMemo = [](TStoreForm& f, bool fill) {
        auto* memo = new win::TMemo(&f);
        memo->SetName("Memo1");
        memo->SetParent(&f);
        if (fill) {
            memo->Lines()->Add("first line");
            memo->Lines()->Add("second");
            memo->Lines()->Add("third, with a comma");
        }
        rtl::TStringList entries;
        entries.AddObject("ZanticFolder.Text", f.ZanticFolder);
        entries.AddObject("Memo1.Lines", memo);
        f.FormStorage1->SetStoredProps(&entries);
        return memo;
    };
    {
        FormPtr form = LoadForm(opts);
        addMemo(*form, true);
        form->Show();
        Pump();
        ASSERT_TRUE(form->CloseQuery());
    }
    auto lines = SectionLines(ReadFileBytes(path), "Setup Assistant.Memo1_Lines");
    std::vector<std::pair<std::string, std::string>> expected = {
        {"Count", "3"}, {"Item0", "first line"}, {"Item1", "second"}, {"Item2", "third, with a comma"}};
    EXPECT_EQ(lines, expected);
    // The form's own section holds no list keys.
    auto own = SectionLines(ReadFileBytes(path), "Setup Assistant");
    EXPECT_EQ(Value(own, "Count"), "<missing>");

    FormPtr form = LoadForm(opts);
    win::TMemo* memo = addMemo(*form, false);
    form->Show();
    Pump();
    EXPECT_EQ(memo->Lines()->Text(), "first line\r\nsecond\r\nthird, with a comma\r\n");
}

TEST_F(PlacementTest, PreventResizeFromTheDescriptionAppliesAtLoadAndComesBackOff)
{
    opts.extraStorage = "    PreventResize = True\n";
    FormPtr form = LoadForm(opts);
    EXPECT_FALSE(form->BorderIcons().Contains(win::biMaximize));
    EXPECT_TRUE(form->FormStorage1->WinHook()->Active());
    form->Show();
    Pump();
    int width = form->Width();
    MINMAXINFO mmi = AskMinMax(form->Handle());
    EXPECT_EQ(mmi.ptMaxTrackSize.x, width);
    // The remembered maximize icon returns when resizing is allowed again.
    form->FormStorage1->SetPreventResize(false);
    Pump();
    EXPECT_TRUE(form->BorderIcons().Contains(win::biMaximize));
    EXPECT_FALSE(form->FormStorage1->WinHook()->Active());
}
