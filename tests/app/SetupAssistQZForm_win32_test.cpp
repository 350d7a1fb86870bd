// The main window on the real window description: its skinned frame and controls and where they
// lie, and its handlers: worker-thread updates in order, the duplicate test, log prefixes, stored
// numbers, the registry lookup, timer and heights, the search stopped before the window goes,
// what a close writes back, and the faces it draws with.
#include "app/SetupAssistQZForm.h"

#include "app/Installer.h"
#include "app/KzFunc.h"

#include "MainWindowTestSupport.h"
#include "imaging/io/iegraphic_win32.h"
#include "skin/SUIScrollBar.h"

#include "platform/rtl/FormText.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypeInfo.h"
#include "platform/win/IniFiles.h"
#include "platform/rtl/Win32.h"
#include "tests/platform/win/MessageBoxPresser.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <thread>
#include <vector>

using namespace app;

namespace {

using apptest::FormDeleter;
using apptest::ShippedDescription;
using apptest::TestDescription;

// The exit code of the quit message waiting in this thread's queue, which is emptied.
std::optional<WPARAM> QuitCode()
{
    std::optional<WPARAM> code;
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT)
            code = msg.wParam;
    return code;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetupState() = TSetupState{};
        form_ = apptest::ReadMainWindow();
        char temp[MAX_PATH + 1] = {};
        ::GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "va-setup-form-" + std::to_string(::GetCurrentProcessId()) + "\\";
        ::CreateDirectoryA(root_.c_str(), nullptr);
    }
    void TearDown() override
    {
        form_.reset();
        Form2 = nullptr;
        for (const std::string& f : made_)
            ::DeleteFileA(f.c_str());
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
            ::RemoveDirectoryA(it->c_str());
        ::RemoveDirectoryA(root_.c_str());
    }

    // A folder (with trailing backslash) holding the given files.
    std::string Folder(const std::string& name, std::vector<std::string> files)
    {
        const std::string folder = root_ + name + "\\";
        ::CreateDirectoryA(folder.c_str(), nullptr);
        folders_.push_back(folder);
        for (const std::string& f : files) {
            std::ofstream(folder + f) << "x";
            made_.push_back(folder + f);
        }
        return folder;
    }

    std::vector<std::string> LogLines()
    {
        std::vector<std::string> out;
        for (std::int32_t i = 0; i < form_->mLog->Lines()->Count(); ++i)
            out.push_back(form_->mLog->Lines()->Get(i));
        return out;
    }
    std::vector<std::string> Items()
    {
        std::vector<std::string> out;
        for (std::int32_t i = 0; i < form_->ZanticFolder->Items()->Count(); ++i)
            out.push_back(form_->ZanticFolder->Items()->Get(i));
        return out;
    }
    void Match(const std::string& folder, const std::string& file)
    {
        TSearchRec rec;
        rec.Name = file;
        form_->FindFileFileMatch(form_->FindFile, folder, rec);
    }

    apptest::FormPtr form_;
    std::string root_;
    std::vector<std::string> folders_, made_;
};

TEST_F(MainWindow, DescriptionBuildsEveryComponentWithItsProperties)
{
    EXPECT_EQ(form_->Caption(), "Setup Assistant");
    EXPECT_EQ(form_->ClientWidth(), 614);
    EXPECT_EQ(form_->Constraints()->MaxHeight(), 610);
    EXPECT_EQ(form_->bInstall->Caption(), "Install");
    EXPECT_FALSE(form_->bInstall->Enabled());
    EXPECT_EQ(form_->bInstall->BackColor(), 0x808040);
    EXPECT_EQ(form_->bInstall->HoverColor(), 0xC7AF67);
    EXPECT_EQ(form_->bCancel->Left(), 438);
    // The two pictures, read through the image library's BMP picture.
    for (auto [image, left, top, width, height] :
         {std::tuple{form_->Image1, 7, 33, 296, 208}, std::tuple{form_->Logo, 377, 129, 160, 50}}) {
        ASSERT_NE(image, nullptr);
        EXPECT_NE(dynamic_cast<imaging::TIEBMPImage*>(image->Picture()->Graphic()), nullptr);
        EXPECT_EQ(image->Left(), left);
        EXPECT_EQ(image->Top(), top);
        EXPECT_EQ(image->Picture()->Width(), width);
        EXPECT_EQ(image->Picture()->Height(), height);
    }
    EXPECT_TRUE(form_->Image1->AutoSize());
    EXPECT_TRUE(form_->Logo->Stretch());
    EXPECT_EQ(form_->Timer1->Interval(), 333u);
    EXPECT_TRUE(form_->FindFile->Threaded());
    EXPECT_EQ(form_->FindFile->Criteria()->Files()->FileName(), "znt*.exe");
    EXPECT_EQ(form_->FindFile->Criteria()->Files()->MaxLevel(), 4);
    EXPECT_EQ(form_->FindFile->Criteria()->Attribute()->Mask(), 0x21u);
    EXPECT_EQ(form_->FormStorage1->IniFileName(), "Kestrelon");
    EXPECT_EQ(form_->FormStorage1->IniSection(), "Setup Assistant");
    EXPECT_EQ(form_->FormStorage1->StoredValues()->Count(), 3);
    EXPECT_EQ(form_->MessageDialog->Caption(), "Pellin Store Alert");
    EXPECT_EQ(form_->MessageDialog->Text(), "Hello world!");
    EXPECT_FALSE(form_->Msg1->Visible());
    EXPECT_FALSE(form_->DirLabel->Visible()) << "an empty opaque label would hide Msg2";
    EXPECT_EQ(form_->Label7->Caption(), "0  0");
    EXPECT_EQ(form_->mLog->Top(), 325);
}

TEST_F(MainWindow, TheWindowIsMadeOfTheSkinnedClassesInOneFrame)
{
    // The built-in skin, applied by the theme manager to the frame, the folder box, the log and
    // the dialog.
    ASSERT_TRUE(form_->Theme1->Ready()) << "the description carries the skin as SkinData";
    EXPECT_EQ(form_->ThemeManager->UIStyle(), skin::FromThemeFile);
    EXPECT_EQ(form_->ThemeManager->FileTheme(), form_->Theme1);
    for (const char* name : {"suiForm1", "ZanticFolder", "mLog", "MessageDialog"}) {
        EXPECT_GE(form_->ThemeManager->CompList()->IndexOf(name), 0) << name;
        rtl::TComponent* c = form_->FindComponent(name);
        EXPECT_EQ(rtl::GetOrdProp(*c, "UIStyle"), skin::FromThemeFile) << name;
        EXPECT_EQ(rtl::GetObjectProp(*c, "FileTheme"), form_->Theme1) << name;
    }
    EXPECT_TRUE(form_->suiForm1->Active()) << "the frame skins the window";
    EXPECT_EQ(form_->suiForm1->Caption(), "Setup Assistant");
    // The log has no skinned bars beside it: the system's own scroll it.
    EXPECT_EQ(form_->mLog->VScrollBar(), nullptr);
    EXPECT_EQ(form_->mLog->HScrollBar(), nullptr);
    EXPECT_EQ(form_->mLog->ScrollBars(), win::ssBoth);
    EXPECT_EQ(form_->lbUrl->Caption(), "Visit Kestrelon - Setup Info");
    EXPECT_EQ(form_->suiURLLabel1->Caption(), "Email Support");
    EXPECT_EQ(form_->suiURLLabel1->URL().rfind("mailto:", 0), 0u);
    EXPECT_EQ(form_->MessageDialog->ButtonCount(), 1);
    EXPECT_EQ(form_->MessageDialog->IconType(), skin::TsuiIconType::suiNone);
    // Every control the user sees lies in the frame; nothing else is on the form.
    ASSERT_EQ(form_->ControlCount(), 1);
    EXPECT_EQ(form_->Controls(0), form_->suiForm1);
    for (std::int32_t i = 0; i < form_->ComponentCount(); ++i) {
        auto* control = dynamic_cast<win::TControl*>(form_->Components(i));
        if (control && control != form_->suiForm1) {
            EXPECT_EQ(control->Parent(), form_->suiForm1) << control->Name();
        }
    }
}

// The search log scrolls with the system's own bars: no skinned bar lies beside it, and a log longer
// and wider than the memo shows both bars and scrolls through them.
TEST_F(MainWindow, TheLogScrollsWithTheSystemsOwnBars)
{
    for (std::int32_t i = 0; i < form_->ComponentCount(); ++i)
        EXPECT_EQ(dynamic_cast<skin::TsuiScrollBar*>(form_->Components(i)), nullptr)
            << form_->Components(i)->Name();
    form_->Show();
    for (int i = 0; i < 60; ++i)
        form_->mLog->Lines()->Add("   ADDED: \"C:\\" + std::string(200, 'a' + i % 26) + "\"");
    form_->mLog->FlushLines();
    win::Application->ProcessMessages();
    HWND memo = form_->mLog->Handle();
    const LONG style = ::GetWindowLongA(memo, GWL_STYLE);
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_TRUE(style & WS_HSCROLL);
    for (auto [bar, message, code] : {std::tuple{OBJID_VSCROLL, WM_VSCROLL, SB_PAGEDOWN},
                                      std::tuple{OBJID_HSCROLL, WM_HSCROLL, SB_PAGERIGHT}}) {
        SCOPED_TRACE(message == WM_VSCROLL ? "vertical" : "horizontal");
        SCROLLBARINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(::GetScrollBarInfo(memo, bar, &info));
        EXPECT_FALSE(info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_UNAVAILABLE));
        const int kind = bar == OBJID_VSCROLL ? SB_VERT : SB_HORZ;
        ::SendMessageA(memo, message, SB_TOP, 0);  // SB_LEFT for the horizontal bar
        EXPECT_EQ(::GetScrollPos(memo, kind), 0);
        ::SendMessageA(memo, message, code, 0);
        EXPECT_GT(::GetScrollPos(memo, kind), 0) << "the bar does not scroll the log";
    }
    EXPECT_GT(::SendMessageA(memo, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the vertical bar moved the text";
}

// A description that lacks one of the window's components (here the folder box, renamed) is
// refused while it is read, instead of a handler meeting a missing control (a fuzz finding: the
// window's creation read through a null pointer).
TEST(DamagedDescription, AMissingComponentIsRefusedWhileReading)
{
    for (const char* name : {"ZanticFolder", "FormStorage1", "MessageDialog"}) {
        std::string text = TestDescription();
        const std::string object = std::string("object ") + name + ":";
        const std::size_t at = text.find(object);
        ASSERT_NE(at, std::string::npos) << name;
        text.replace(at, object.size(), std::string("object Renamed") + name + ":");
        rtl::TStringStream in(text);
        rtl::TMemoryStream bin;
        rtl::ObjectTextToBinary(in, bin, VA_APP_BINARY_DIR);
        bin.SetPosition(0);
        std::unique_ptr<TForm2, FormDeleter> form(new TForm2(win::Application));
        try {
            form->ReadFromStream(bin);
            ADD_FAILURE() << name << ": read without it";
        } catch (const rtl::EReadError& e) {
            EXPECT_NE(e.Message().find(std::string("has no component ") + name), std::string::npos)
                << e.Message();
        }
    }
}

// In the tall window every control, the request to mail the log (Label9) included, lies below the
// title bar and clear of the frame's borders; in the short one the log and Label9 are below its
// edge.
TEST_F(MainWindow, EveryControlLiesClearOfTheFrameAndLabel9ShowsInTheTallWindow)
{
    form_->HandleNeeded();
    form_->suiForm1->HandleNeeded();
    form_->Realign();
    HWND wnd = form_->Handle();
    const win::TRect in = form_->suiForm1->FrameInsets();
    const int title = form_->suiForm1->TitleBar()->Height();
    for (int height : {610, 302}) {
        SCOPED_TRACE(height);
        form_->SetHeight(height);
        RECT window;
        ::GetWindowRect(wnd, &window);
        ASSERT_EQ(window.bottom - window.top, height);
        for (std::int32_t i = 0; i < form_->suiForm1->ControlCount(); ++i) {
            win::TControl* c = form_->suiForm1->Controls(i);
            if (c == form_->suiForm1->TitleBar())
                continue;
            const win::TPoint at = c->ClientToScreen({0, 0});
            const bool below = at.Y >= window.bottom - in.Bottom;
            if (height == 302 && below)
                continue;  // the log's part of the window
            EXPECT_GE(at.Y - window.top, title) << c->Name() << " lies under the title bar";
            EXPECT_GE(at.X - window.left, in.Left) << c->Name();
            EXPECT_LE(at.X + c->Width(), window.right - in.Right) << c->Name();
            EXPECT_LE(at.Y + c->Height(), window.bottom - in.Bottom)
                << c->Name() << " reaches the bottom border";
        }
        const win::TPoint label9 = form_->Label9->ClientToScreen({0, 0});
        if (height == 610) {
            EXPECT_LE(label9.Y + form_->Label9->Height(), window.bottom - in.Bottom) << "Label9 is cut off";
        } else {
            EXPECT_GE(label9.Y, window.bottom) << "the short window shows no log";
        }
    }
    EXPECT_TRUE(form_->Label9->Visible());
    EXPECT_EQ(
        form_->Label9->Caption(),
        "Click on the 'Email Support' link above then cut and paste the search log text into the message, "
        "then click send.");
}

TEST_F(MainWindow, CreateLeavesTheWindow610HighAndCentred)
{
    EXPECT_EQ(form_->Height(), 610);
    EXPECT_EQ(form_->Top(), (win::Screen->Height() - 610) / 2);
    EXPECT_EQ(form_->Left(), (win::Screen->Width() - form_->Width()) / 2);
    EXPECT_EQ(form_->DirLabel->Caption(), "");
}

TEST_F(MainWindow, WorkerUpdatesArriveInOrderAndTheDuplicateTestSeesQueuedAdditions)
{
    const std::string a = Folder("a", {"zntOne.exe", "zntTwo.exe", "jdq.dll", "jdq_utils.dll"});
    const std::string b = Folder("b", {"zntThree.exe", "jdq.dll", "jdq_utils.dll"});
    std::thread worker([&] {
        TFolderIgnore ignore = fiJustThis;
        form_->FindFileFolderChange(form_->FindFile, a, ignore);
        EXPECT_EQ(ignore, fiNone);
        Match(a, "zntOne.exe");
        Match(a, "zntTwo.exe");  // before the main thread has added a
        Match(b, "zntThree.exe");
    });
    worker.join();
    EXPECT_TRUE(Items().empty()) << "controls change only on the main thread";
    win::Application->ProcessMessages();
    EXPECT_EQ(Items(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"   ADDED: \"" + a + "\"", "   ADDED: \"" + b + "\""}));
    EXPECT_EQ(form_->Label7->Caption(), "0 - 3") << "every accepted match counts";
    EXPECT_EQ(form_->DirLabel->Caption(), a);
}

TEST_F(MainWindow, RecyclerIsIgnoredOnlyDirectlyBelowTheDriveAndFoldersWithoutBothMarkersAreSkipped)
{
    const std::string half = Folder("half", {"zntX.exe", "jdq.dll"});
    std::thread worker([&] {
        Match("C:\\RECYCLER\\S-1", "zntOld.exe");
        Match("C:\\Data\\RECYCLER", "zntKeep.exe");
        Match(half, "zntX.exe");
    });
    worker.join();
    win::Application->ProcessMessages();
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{" IGNORED: \"C:\\RECYCLER\\S-1\"", "**SKIP**: \"C:\\Data\\RECYCLER\"",
                                        "**SKIP**: \"" + half + "\""}));
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(form_->Label7->Caption(), "0  0") << "rejected matches do not count";
}

// A folder whose library paths would pass the path limit cannot be checked: it is skipped with
// that reason, not as if its libraries were missing.
TEST_F(MainWindow, FoldersTooLongForTheirLibrariesAreSkippedWithTheReason)
{
    const std::string base = "C:\\" + std::string(100, 'a') + "\\" + std::string(100, 'b') + "\\";
    const std::string fits = base + std::string(MAX_PATH - 1 - base.size() - 14, 'c');  // + "\\jdq_utils.dll"
    const std::string tooLong = fits + "d";
    Match(fits, "zntX.exe");
    Match(tooLong, "zntX.exe");
    win::Application->ProcessMessages();
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"**SKIP**: \"" + fits + "\"",
                                        "**SKIP**: \"" + tooLong +
                                            "\" (path too long: its libraries' paths pass 259 characters)"}));
}

// Closing the window while the stored-build dialog asks ends the run: the dialog goes, and no
// search starts whatever it would have answered.
TEST_F(MainWindow, ClosingTheWindowDuringTheStoredBuildDialogEndsTheRun)
{
    SetupState().InstalledBuild = kInstallBuild;
    SetupState().ProgramsFolder = "C:\\";
    // A user's hand, from another thread while this one sits in the dialog: once the dialog shows,
    // the window is closed; should the dialog still be there a while later, Continue is pressed, as
    // a user would once the window came back.
    std::atomic<bool> done{false};
    std::atomic<int> pressed{0};
    HWND main = form_->Handle();
    std::thread hand([&] {
        const DWORD start = ::GetTickCount();
        bool closed = false;
        while (!done && ::GetTickCount() - start < 60000) {
            HWND dialog = nullptr;
            for (HWND w = ::GetTopWindow(nullptr); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(w, &pid);
                if (pid == ::GetCurrentProcessId() && w != main && ::IsWindowVisible(w))
                    dialog = w;
            }
            if (dialog && !closed) {
                ::PostMessageA(main, WM_CLOSE, 0, 0);
                closed = true;
            } else if (dialog && ::GetTickCount() - start > 3000) {
                ::PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
                ++pressed;
            }
            ::Sleep(20);
        }
    });
    form_->FormStorage1RestorePlacement(nullptr);
    done = true;
    hand.join();
    EXPECT_FALSE(form_->MessageDialog->Showing());
    EXPECT_TRUE(SetupState().QuitFlag) << "the close ends the run";
    EXPECT_FALSE(form_->FindFile->Busy()) << "no search starts";
    EXPECT_TRUE(form_->Timer1->Enabled()) << "the timer closes the window";
    form_->FindFile->Abort();
}

TEST_F(MainWindow, StoredNumbersReadEmptyAndNonNumbersAsZero)
{
    EXPECT_EQ(StoredNumber(rtl::Variant()), 0);
    EXPECT_EQ(StoredNumber(rtl::Variant(std::string())), 0);
    EXPECT_EQ(StoredNumber(rtl::Variant(std::string("143"))), 143);
    EXPECT_EQ(StoredNumber(rtl::Variant(std::string("-5"))), -5);
    EXPECT_EQ(StoredNumber(rtl::Variant(std::string("14x"))), 0);
    EXPECT_EQ(StoredNumber(rtl::Variant(std::string("99999999999"))), 0) << "out of range is no number";
    rtl::Variant v(std::string("150"));
    form_->VarneloRestore(nullptr, v);
    EXPECT_EQ(SetupState().InstalledBuild, 150);
    rtl::Variant saved;
    form_->VarneloSave(nullptr, saved);
    EXPECT_EQ(rtl::VarToStr(saved), "150");
    rtl::Variant path(std::string("C:\\Zantic\\"));
    form_->ZanticPathRestore(nullptr, path);
    rtl::Variant back;
    form_->ZanticPathSave(nullptr, back);
    EXPECT_EQ(rtl::VarToStr(back), "C:\\Zantic\\");
}

// Only a file that is there and refuses to open is a problem; a missing one is a first run.
TEST_F(MainWindow, FileAccessProblemsAreThoseOfAFileThatIsThereButWillNotOpen)
{
    const std::string folder = Folder("access", {"plain.ini", "held.ini", "shared.ini"});
    ::CreateDirectoryA((folder + "dir.ini").c_str(), nullptr);
    folders_.push_back(folder + "dir.ini");
    HANDLE held = ::CreateFileA((folder + "held.ini").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    HANDLE shared = ::CreateFileA((folder + "shared.ini").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    const std::string sharing = rtl::SysErrorMessage(ERROR_SHARING_VIOLATION);
    const std::string denied = rtl::SysErrorMessage(ERROR_ACCESS_DENIED);
    struct Case {
        std::string name;
        std::string reading, writing;
    };
    const Case cases[] = {
        {"missing.ini", "", ""},     {"no such folder\\missing.ini", "", ""},
        {"plain.ini", "", ""},       {"held.ini", sharing, sharing},
        {"shared.ini", "", sharing},  // another program writes it and lets others read
        {"dir.ini", denied, denied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileAccessProblem(folder + c.name, false), c.reading);
        EXPECT_EQ(FileAccessProblem(folder + c.name, true), c.writing);
    }
    ::CloseHandle(held);
    ::CloseHandle(shared);
}

class RegistryLookup : public MainWindow {
protected:
    void SetInstallPath(const std::string& value)
    {
        win::TRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\ZanticSystems\\CurrentVersion", true));
        reg.WriteString("InstallPath", value);
    }
    void TearDown() override
    {
        win::TRegistry reg;
        reg.SetRootKey(HKEY_LOCAL_MACHINE);
        reg.DeleteKey("SOFTWARE\\ZanticSystems");
        MainWindow::TearDown();
    }
};

TEST_F(RegistryLookup, NamesTheFolderOnlyWhenBothMarkersExist)
{
    EXPECT_EQ(VendorFolderFromRegistry(), "") << "missing key";
    const std::string good = Folder("good", {"jdq.dll", "jdq_utils.dll"});
    const std::string bad = Folder("bad", {"jdq.dll"});
    SetInstallPath("");
    EXPECT_EQ(VendorFolderFromRegistry(), "");
    SetInstallPath(bad.substr(0, bad.size() - 1));
    EXPECT_EQ(VendorFolderFromRegistry(), "");
    SetInstallPath(good.substr(0, good.size() - 1));
    EXPECT_EQ(VendorFolderFromRegistry(), good) << "a trailing backslash is added";
}

TEST_F(RegistryLookup, FinishWithTwoCandidatesSelectsTheRegistryFolderOrLogsDefErr)
{
    const std::string a = Folder("a", {"jdq.dll", "jdq_utils.dll"});
    const std::string b = Folder("b", {"jdq.dll", "jdq_utils.dll"});
    const std::string c = Folder("c", {"jdq.dll", "jdq_utils.dll"});
    form_->ZanticFolder->Items()->Add(a);
    form_->ZanticFolder->Items()->Add(b);
    form_->ZanticFolder->Items()->Add(c);
    SetInstallPath(c);
    form_->FindFileSearchFinish(nullptr);
    EXPECT_EQ(form_->ZanticFolder->ItemIndex(), 2);
    EXPECT_EQ(LogLines().back(), " DEFAULT: \"" + c + "\"");
    EXPECT_EQ(form_->Msg1->Font()->Color(), 0x000080);
    EXPECT_TRUE(form_->Msg1->Visible());
    EXPECT_EQ(form_->Msg1->Caption(), "Multiple potential installation folders found");
    EXPECT_TRUE(form_->bInstall->Enabled());

    // The same folder in another case is not the registry's folder.
    std::string upper = c;
    for (char& ch : upper)
        ch = static_cast<char>(::toupper(static_cast<unsigned char>(ch)));
    form_->ZanticFolder->Items()->Put(2, upper);
    form_->FindFileSearchFinish(nullptr);
    EXPECT_EQ(form_->ZanticFolder->ItemIndex(), 1);
    EXPECT_EQ(LogLines().back(), " DEF_ERR: \"" + c + "\"");
}

TEST_F(RegistryLookup, FinishWithNothingShowsTheFailureAndKeepsInstallDisabled)
{
    form_->FindFileSearchFinish(nullptr);
    EXPECT_EQ(form_->Msg1->Caption(), "Cannot continue, Zezizur application not found!");
    EXPECT_EQ(form_->Msg2->Caption(), "Visit our web site for more setup info.");
    EXPECT_TRUE(LogLines().empty());
    EXPECT_FALSE(form_->bInstall->Enabled());
    EXPECT_TRUE(form_->Timer1->Enabled());
}

TEST_F(MainWindow, TimerShowsInstallOnlyWhileTheTypedFolderHoldsBothMarkers)
{
    const std::string good = Folder("good", {"jdq.dll", "jdq_utils.dll"});
    form_->ZanticFolder->SetText(good);
    form_->Timer1Timer(nullptr);
    EXPECT_TRUE(form_->bInstall->Visible());
    form_->ZanticFolder->SetText(good.substr(0, good.size() - 1));
    form_->Timer1Timer(nullptr);
    EXPECT_FALSE(form_->bInstall->Visible()) << "markers are joined without a separator";
}

TEST_F(MainWindow, CloseQueryShortensTheWindowAndDoubleClickOnMsg1LengthensIt)
{
    bool canClose = false;
    form_->FormCloseQuery(nullptr, canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(form_->Height(), 302);
    EXPECT_EQ(form_->Top(), (win::Screen->Height() - 302) / 2);
    form_->Msg1DblClick(nullptr);
    EXPECT_EQ(form_->Height(), 610);
    EXPECT_EQ(form_->Top(), (win::Screen->Height() - 610) / 2);
}

TEST_F(MainWindow, InstallIntoAFolderThatCannotTakeFilesQuitsWithoutChangingTheBuild)
{
    TPackedItem* item = form_->DataStore->Items()->Add();
    item->SetName("Varnelo.exe");
    rtl::TStringStream content("payload");
    item->CompressFromStream(content);
    SetupState().InstalledBuild = 7;
    form_->ZanticFolder->SetText(root_ + "missing\\");
    testing_win::TMessageBoxPresser presser(IDOK);
    form_->bInstallClick(nullptr);
    presser.Stop();
    ASSERT_TRUE(presser.Pressed()) << "no message box was shown";
    EXPECT_EQ(presser.Box().Text.rfind("Unable to continue - Quit Varnelo if it is running\r\n\r\n", 0), 0u)
        << "a missing folder is no file in use: the system's reason follows: " << presser.Box().Text;
    EXPECT_EQ(SetupState().InstalledBuild, 7);
    EXPECT_EQ(SetupState().StoredFolder, "");
    EXPECT_FALSE(SetupState().Installed);
    const std::optional<WPARAM> exitCode = QuitCode();
    ASSERT_TRUE(exitCode.has_value()) << "the program is told to quit";
    EXPECT_NE(*exitCode, 0u) << "a failed install is no success";
}

TEST_F(MainWindow, WithoutAProgramsFolderTheMessagesShowAndNoSearchStarts)
{
    SetupState().ProgramsFolder = "";
    form_->FormStorage1RestorePlacement(nullptr);
    EXPECT_EQ(form_->Msg1->Caption(), "Can't continue, Programs Folder Not Found");
    EXPECT_TRUE(form_->Msg1->Visible());
    EXPECT_FALSE(form_->FindFile->Busy()) << "a search starts inside this handler or not at all";
}

// A tree the search takes a while over.
class RunningSearch : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        for (int i = 0; i < 20; ++i) {
            const std::string top = Folder("t" + std::to_string(i), {});
            for (int j = 0; j < 20; ++j) {
                const std::string below = top + "d" + std::to_string(j) + "\\";
                ::CreateDirectoryA(below.c_str(), nullptr);
                folders_.push_back(below);
            }
        }
        form_->FindFile->Criteria()->Files()->SetLocation(root_);
        form_->FindFile->Execute();
        // Busy ends only on the main thread, which has not looked at its queue yet.
        ASSERT_TRUE(form_->FindFile->Busy());
    }
};

TEST_F(RunningSearch, TheCloseQueryStopsItAndRunsItsUpdatesFirst)
{
    bool canClose = false;
    form_->FormCloseQuery(nullptr, canClose);
    EXPECT_TRUE(canClose);
    EXPECT_FALSE(form_->FindFile->Busy()) << "the window may go only when the search has ended";
    EXPECT_FALSE(rtl::CheckSynchronize(0)) << "nothing of the search is left queued";
}

TEST_F(RunningSearch, DestroyingTheWindowStopsItWhileItsControlsExist)
{
    // However the program ends, the queued updates must not outlive the controls they change.
    form_.reset();
    Form2 = nullptr;
    EXPECT_FALSE(rtl::CheckSynchronize(0)) << "nothing of the search is left queued";
}

// The form storage on an INI file of the test's own.
class StoredValues : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        SetupState().QuitFlag = true;  // the restore's handler then starts no search
    }
    // A new file for each run: the system's profile functions keep what they read of a file.
    void NewFile(const std::map<std::string, std::string>& values)
    {
        ini_ = root_ + "Kestrelon" + std::to_string(made_.size()) + ".ini";
        made_.push_back(ini_);
        form_->FormStorage1->SetIniFileName(ini_);
        std::string text = "[Setup Assistant]\r\n";
        for (const auto& [key, value] : values)
            text += key + "=" + value + "\r\n";
        std::ofstream(ini_, std::ios::binary) << text;
        // As at a program's start: nothing restored yet.
        placement::TStoredValues* stored = form_->FormStorage1->StoredValues();
        for (std::int32_t i = 0; i < stored->Count(); ++i)
            stored->Items(i)->Value = rtl::Variant();
    }
    // What another run writes meanwhile.
    void Write(const std::map<std::string, std::string>& values)
    {
        for (const auto& [key, value] : values)
            ::WritePrivateProfileStringA("Setup Assistant", key.c_str(), value.c_str(), ini_.c_str());
    }
    // The entry as the system's profile functions read it, "<none>" when it is missing.
    std::string Entry(const std::string& key)
    {
        std::vector<char> buffer(1 << 18);
        ::GetPrivateProfileStringA("Setup Assistant", key.c_str(), "<none>", buffer.data(),
                                   static_cast<DWORD>(buffer.size()), ini_.c_str());
        return buffer.data();
    }
    std::string ini_;
};

TEST_F(StoredValues, AClosePutsBackOnlyWhatThisRunChanged)
{
    struct Case {
        const char* what;
        std::map<std::string, std::string> before;  // in the file when the run starts
        bool installs;
        std::map<std::string, std::string> meanwhile;  // written by another run before the close
        std::map<std::string, std::string> after;
    };
    const Case cases[] = {
        {"values that are no numbers survive a run that changes nothing",
         {{"Varnelo", "abc"}, {"Tamsik", "1e3"}, {"ZanticPath", "C:\\Kept\\"}},
         false,
         {},
         {{"Varnelo", "abc"}, {"Tamsik", "1e3"}, {"ZanticPath", "C:\\Kept\\"}}},
        {"an install writes its build and folder, not the number it never changes",
         {{"Varnelo", "abc"}, {"Tamsik", "1e3"}, {"ZanticPath", "C:\\Kept\\"}},
         true,
         {},
         {{"Varnelo", "143"}, {"Tamsik", "1e3"}, {"ZanticPath", "C:\\New\\"}}},
        {"a first run writes the values it has",
         {},
         false,
         {},
         {{"Varnelo", "0"}, {"Tamsik", "0"}, {"ZanticPath", ""}}},
        {"another run's install after this one started is not undone",
         {{"Varnelo", "0"}},
         false,
         {{"Varnelo", "143"}, {"ZanticPath", "C:\\Other\\"}},
         {{"Varnelo", "143"}, {"Tamsik", "0"}, {"ZanticPath", "C:\\Other\\"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NewFile(c.before);
        SetupState().Installed = false;
        form_->FormStorage1->RestoreFormPlacement();
        if (c.installs) {
            SetupState().InstalledBuild = kInstallBuild;
            SetupState().StoredFolder = "C:\\New\\";
            SetupState().Installed = true;
        }
        Write(c.meanwhile);
        form_->FormStorage1->SaveFormPlacement();
        for (const auto& [key, value] : c.after)
            EXPECT_EQ(Entry(key), value) << key;
    }
}

// The folder box's text is kept like the stored values: a close writes it only when this run
// installed, or when the file has none yet; the search leaves the box empty otherwise.
TEST_F(StoredValues, TheFolderTextIsWrittenOnlyByAnInstallOrWhenMissing)
{
    struct Case {
        const char* what;
        std::map<std::string, std::string> before;
        bool installs;
        const char* after;
    };
    // The last case takes the entry out of this form's stored properties, so it comes last.
    const Case cases[] = {
        {"an install writes the folder", {{"ZanticFolder_Text", "C:\\Kept\\"}}, true, "C:\\New\\"},
        {"a first run writes what it has", {}, false, ""},
        {"a run that installs nothing keeps another's folder",
         {{"ZanticFolder_Text", "C:\\Kept\\"}},
         false,
         "C:\\Kept\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NewFile(c.before);
        SetupState().Installed = false;
        form_->FormStorage1->RestoreFormPlacement();
        form_->ZanticFolder->SetText("");  // as the search leaves it with one folder found
        if (c.installs) {
            form_->ZanticFolder->SetText("C:\\New\\");
            SetupState().Installed = true;
        }
        bool canClose = false;
        form_->FormCloseQuery(nullptr, canClose);
        ASSERT_TRUE(canClose);
        form_->FormStorage1->SaveFormPlacement();
        EXPECT_EQ(Entry("ZanticFolder_Text"), c.after);
    }
}

// An INI file that is there but cannot be read is told in the log and by a warning before anything
// can be installed; a missing or readable one is not. Cancel ends the run, Continue goes on. The
// entries this run could not read stay as they are when it closes, even once the file reads again.
TEST_F(StoredValues, AnIniThatCannotBeReadIsToldBeforeInstallAndKeptAtTheClose)
{
    struct Case {
        const char* what;
        bool exists, held;
        int answer;  // the dialog's modal result, 0 when no dialog may show
    };
    const Case cases[] = {
        {"missing", false, false, 0},
        {"readable", true, false, 0},
        {"held open, Continue", true, true, 1},
        {"held open, Cancel", true, true, 2},
    };
    const std::map<std::string, std::string> stored = {{"Varnelo", "150"},
                                                       {"Tamsik", "7"},
                                                       {"ZanticPath", "C:\\Kept\\"},
                                                       {"ZanticFolder_Text", "C:\\Kept\\"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetupState() = TSetupState{};
        SetupState().ProgramsFolder = "";  // going on shows the messages instead of searching
        form_->mLog->Lines()->Clear();
        form_->Msg1->Hide();
        form_->bInstall->SetCaption("Install");
        NewFile(c.exists ? stored : std::map<std::string, std::string>{});
        // Readable with build 150: the WARNING of a newer build; the readable case answers it.
        const int answer = c.answer ? c.answer : (c.exists ? 1 : 0);
        if (!c.exists)
            ::DeleteFileA(ini_.c_str());
        HANDLE held = c.held ? ::CreateFileA(ini_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             OPEN_EXISTING, 0, nullptr)
                             : INVALID_HANDLE_VALUE;
        ASSERT_EQ(held != INVALID_HANDLE_VALUE, c.held);
        std::string shown;
        win::TTimer hand(nullptr);
        hand.SetInterval(10);
        hand.OnTimer = [&](rtl::TObject*) {
            if (!form_->MessageDialog->Showing())
                return;
            hand.SetEnabled(false);
            shown = form_->MessageDialog->Text();
            for (std::int32_t i = 0; i < win::Screen->FormCount(); ++i)
                if (auto* dialog = dynamic_cast<win::TCustomForm*>(win::Screen->Forms(i));
                    dialog && dialog != form_.get() && dialog->Showing())
                    dialog->SetModalResult(answer);
        };
        // A Cancel leaves the window to the program's timer to close; here the form lives on.
        form_->Timer1->SetEnabled(false);
        form_->FormStorage1->RestoreFormPlacement();
        hand.SetEnabled(false);
        EXPECT_EQ(form_->Timer1->Enabled(), answer == 2) << "the timer closes the window";
        form_->Timer1->SetEnabled(false);
        win::Application->ProcessMessages();
        const std::vector<std::string> log = LogLines();
        if (c.held) {
            const std::string why = rtl::SysErrorMessage(ERROR_SHARING_VIOLATION);
            EXPECT_EQ(shown, "WARNING: A Newer Version of Varnelo\r\nMay Already Be Installed.\r\n" + ini_ +
                                 " cannot be read: " + why + ".");
            EXPECT_EQ(log,
                      (std::vector<std::string>{" INI_ERR: \"" + ini_ + "\" (cannot be read: " + why + ")"}));
            EXPECT_EQ(form_->bInstall->Caption(), "Install");
        } else {
            EXPECT_EQ(shown.empty(), !c.exists) << shown;
            EXPECT_TRUE(log.empty()) << log.front();
        }
        EXPECT_EQ(SetupState().QuitFlag, answer == 2);
        EXPECT_EQ(form_->Msg1->Visible(), answer != 2) << "a run that goes on shows what comes next";
        if (held != INVALID_HANDLE_VALUE)
            ::CloseHandle(held);
        bool canClose = false;
        form_->FormCloseQuery(nullptr, canClose);
        ASSERT_TRUE(canClose);
        form_->FormStorage1->SaveFormPlacement();
        if (c.exists) {
            for (const auto& [key, value] : stored)
                EXPECT_EQ(Entry(key), value) << key;
        } else {
            EXPECT_EQ(Entry("Varnelo"), "0");
        }
    }
}

// The INI file held by another program when the install is recorded: the files are in place, the
// user is told that the record is not, where it is and why, and the run ends as a failure.
TEST_F(StoredValues, AnInstallThatCannotBeRecordedEndsAsAFailure)
{
    TPackedItem* item = form_->DataStore->Items()->Add();
    item->SetName("Varnelo.dat");
    rtl::TStringStream content("payload");
    item->CompressFromStream(content);
    const std::string folder = Folder("target", {});
    made_.push_back(folder + "Varnelo.dat");
    // The name as the description gives it: a bare one lives in the Windows folder.
    const std::string bare = "VaRecordTest" + std::to_string(::GetCurrentProcessId());
    for (bool bareName : {false, true}) {
        SCOPED_TRACE(bareName ? "bare name" : "full path");
        NewFile({{"Varnelo", "7"}});
        if (bareName) {
            const std::string inWindows = GetWindowsFolder() + bare;
            ASSERT_TRUE(::CopyFileA(ini_.c_str(), inWindows.c_str(), FALSE));
            made_.push_back(inWindows);
            ini_ = inWindows;
            form_->FormStorage1->SetIniFileName(bare);
        }
        SetupState() = TSetupState{};
        SetupState().QuitFlag = true;
        form_->FormStorage1->Active = true;
        form_->FormStorage1->RestoreFormPlacement();
        form_->ZanticFolder->SetText(folder);
        HANDLE held =
            ::CreateFileA(ini_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        testing_win::TMessageBoxPresser presser(IDOK);
        form_->bInstallClick(nullptr);
        presser.Stop();
        ::CloseHandle(held);
        ASSERT_TRUE(presser.Pressed()) << "no message box was shown";
        EXPECT_EQ(presser.Box().Text,
                  RecordFailureMessage(folder, ini_, rtl::SysErrorMessage(ERROR_SHARING_VIOLATION) + "."));
        EXPECT_NE(presser.Box().Text.find("could not be recorded in " + ini_ + ":"), std::string::npos);
        std::ifstream installed(folder + "Varnelo.dat", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(installed), {}), "payload");
        EXPECT_EQ(Entry("Varnelo"), "7") << "the record was not written";
        const std::optional<WPARAM> exitCode = QuitCode();
        ASSERT_TRUE(exitCode.has_value()) << "the program is told to quit";
        EXPECT_NE(*exitCode, 0u) << "an install without its record is no success";
    }
}

TEST_F(StoredValues, LongValuesAreReadUpToTheFolderLimitAndKept)
{
    const std::string huge = "C:\\" + std::string(100000, 'x');
    NewFile({{"ZanticPath", huge}});
    form_->FormStorage1->RestoreFormPlacement();
    EXPECT_EQ(SetupState().StoredFolder, huge.substr(0, MAX_PATH - 1));
    form_->FormStorage1->SaveFormPlacement();
    EXPECT_EQ(Entry("ZanticPath"), huge) << "a value this run did not change stays whole";
}

// Every face the window description names is drawn in that family, or in the substitute the
// system declares for it, and bold texts in the family's own bold face; never in whatever face
// the host happens to have. Marlett draws the title bar's buttons.
TEST(WindowFaces, EveryNamedFaceIsThatFamilyOrItsDeclaredSubstitute)
{
    std::set<std::pair<std::string, bool>> faces{{"Marlett", false}};
    const std::string text = ShippedDescription();
    const std::regex font("Font\\.Name = '([^']+)'\\s+Font\\.Style = \\[([^\\]]*)\\]");
    for (auto m = std::sregex_iterator(text.begin(), text.end(), font); m != std::sregex_iterator(); ++m)
        faces.insert({(*m)[1].str(), (*m)[2].str().find("fsBold") != std::string::npos});
    ASSERT_TRUE(faces.count({"Tahoma", true}) && faces.count({"Arial Rounded MT Bold", false}))
        << "the description's faces were not found";

    HDC dc = ::CreateCompatibleDC(nullptr);
    for (const auto& [face, bold] : faces) {
        win::TRegistry substitutes(KEY_READ);
        substitutes.SetRootKey(HKEY_LOCAL_MACHINE);
        std::string expected = face;
        if (substitutes.OpenKeyReadOnly("Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes") &&
            substitutes.ValueExists(face))
            expected = substitutes.ReadString(face);
        HFONT font = ::CreateFontA(-11, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                   face.c_str());
        HGDIOBJ old = ::SelectObject(dc, font);
        const UINT size = ::GetOutlineTextMetricsA(dc, 0, nullptr);
        std::vector<char> buffer(size);
        auto* metrics = reinterpret_cast<OUTLINETEXTMETRICA*>(buffer.data());
        std::string family = "<no outline font>";
        if (size && ::GetOutlineTextMetricsA(dc, size, metrics))
            family = buffer.data() + reinterpret_cast<std::uintptr_t>(metrics->otmpFamilyName);
        EXPECT_TRUE(rtl::SameText(family, expected))
            << face << " is drawn in " << family << ", not " << expected;
        if (bold && size) {
            // A face of its own (the bold bit of its style), not the regular one thickened.
            EXPECT_TRUE(metrics->otmfsSelection & 0x20) << face << " has no bold face of its own";
        }
        ::SelectObject(dc, old);
        ::DeleteObject(font);
    }
    ::DeleteDC(dc);
}

}  // namespace
