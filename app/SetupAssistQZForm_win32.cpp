// The setup assistant's main window: handlers of the whole install road.
#include "app/SetupAssistQZForm.h"

#include "app/Installer.h"
#include "app/KzFunc.h"
#include "app/kzFiles.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Thread.h"
#include "platform/win/Dialogs.h"
#include "platform/win/IniFiles.h"
#include "platform/rtl/Win32.h"

#include <algorithm>
#include <cctype>

namespace app {

using namespace win;

TForm2* Form2 = nullptr;

TSetupState& SetupState()
{
    static TSetupState state;
    return state;
}

namespace {

constexpr char kVendorKey[] = "SOFTWARE\\ZanticSystems\\CurrentVersion";
constexpr char kSiteInfo[] = "Visit our web site for more setup info.";
constexpr TColor kMaroon = 0x000080;
constexpr int kTallHeight = 610;
constexpr int kShortHeight = 302;
// The longest folder the ANSI file functions take (a full path, less its terminating NUL): what
// the folder box holds, and what is read of any value stored in the INI file.
constexpr std::int32_t kFolderMaxLength = MAX_PATH - 1;
// The longer of the two library names the folder must hold.
constexpr char kLongestMarker[] = "jdq_utils.dll";
// The box's text as the form storage keeps it, and the INI entry it writes.
constexpr char kStoredFolderProp[] = "ZanticFolder.Text";
constexpr char kStoredFolderKey[] = "ZanticFolder_Text";

bool FileExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Quoted(const std::string& folder) { return "\"" + folder + "\""; }

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Whether the INI holds the stored value's entry now: another run may have written it since
// this one started.
bool StoredEntryExists(placement::TStoredValue* value)
{
    placement::TFormStorage* storage = value ? value->Storage() : nullptr;
    auto* ini = storage ? dynamic_cast<TCustomIniFile*>(storage->IniFileObject()) : nullptr;
    return ini && ini->ValueExists(storage->IniSection(), value->Name());
}

// A close writes a stored value only when this run changed it, or when there is no entry yet.
// Otherwise the entry stays as it is, so that neither another run's install nor a value that
// does not read as a number is overwritten by what this run read at its start. An empty value
// tells the form storage to keep the entry.
void SaveStored(placement::TStoredValue* sender, rtl::Variant& value, bool changed, const std::string& own)
{
    if (!changed && StoredEntryExists(sender))
        value.Clear();
    else
        value = own;
}

}  // namespace

bool HasMarkerFiles(const std::string& folder)
{
    return FileExists(folder + "jdq.dll") && FileExists(folder + "jdq_utils.dll");
}

std::string VendorFolderFromRegistry()
{
    std::string path;
    try {
        TRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        if (registry.OpenKeyReadOnly(kVendorKey)) {
            path = registry.ReadString("InstallPath");
            registry.CloseKey();
        }
    } catch (const std::exception&) {
        // A value of another type reads as missing.
        path.clear();
    }
    if (path.empty())
        return {};
    path = AddBackSlash(path);
    return HasMarkerFiles(path) ? path : std::string();
}

std::string FileAccessProblem(const std::string& path, bool forWriting)
{
    // The profile functions read a file they cannot open as an empty one, and fail a write without
    // a reason: only opening it tells.
    HANDLE file = ::CreateFileA(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return {};
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return {};
    return rtl::SysErrorMessage(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error);
}

std::int32_t StoredNumber(const rtl::Variant& value)
{
    const std::string text = rtl::VarToStr(value);
    if (text.empty())
        return 0;
    return rtl::StrToIntDef(text, 0);
}

TForm2::TForm2(rtl::TComponent* owner) : TForm(owner) {}

TForm2::~TForm2()
{
    // However the program ends (a quit message skips the close query), the search stops here,
    // while every control its queued updates reach still exists. A destructor must not throw:
    // a queued update that fails is dropped and the wait goes on.
    for (;;) {
        try {
            StopSearch();
            break;
        } catch (...) {
        }
    }
    rtl::RemoveQueuedEvents(this);
    // A quit message skips the close query: the form storage saves from the destroy event.
    KeepStoredFolderText();
    DoDestroy();
}

void TForm2::Loaded()
{
    TForm::Loaded();
#define VA_REQUIRE_COMPONENT(Type, Name) \
    if (!Name)                           \
        throw rtl::EReadError("The window description has no component " #Name);
    TFORM2_COMPONENTS(VA_REQUIRE_COMPONENT)
#undef VA_REQUIRE_COMPONENT
}

bool TForm2::StopSearch()
{
    if (!FindFile)
        return true;  // a window whose description did not load has no search
    if (stopping_)
        return false;
    stopping_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{stopping_};
    // Abort waits for the worker while dispatching messages other than input. A quit message
    // ends that wait early; the worker's last updates and its end still arrive through the
    // main-thread queue, which is drained here until the search reports itself finished.
    FindFile->Abort();
    while (FindFile->Busy())
        rtl::CheckSynchronize(10);
    return true;
}

void TForm2::OnMainThread(std::function<void()> update) { rtl::Queue(std::move(update), this); }

void TForm2::Log(const char* prefix, const std::string& folder, const std::string& why)
{
    std::string line = prefix + Quoted(folder) + (why.empty() ? "" : " (" + why + ")");
    OnMainThread([this, line] { mLog->Lines()->Add(line); });
}

void TForm2::KeepStoredFolderText()
{
    if (!FormStorage1 || FormStorage1->UseRegistry || SetupState().Installed)
        return;
    rtl::TStrings* props = FormStorage1->StoredProps();
    const std::int32_t at = props->IndexOf(kStoredFolderProp);
    if (at < 0)
        return;
    // The box's text is whatever the search left in it; only an install makes it the folder worth
    // keeping. Another run's entry (or this run's own from before) stays as it is.
    TIniFile ini(FormStorage1->IniFileName());
    if (ini.ValueExists(FormStorage1->IniSection(), kStoredFolderKey))
        props->Delete(at);
}

void TForm2::ShowMessages(const std::string& first, const std::string& second)
{
    Msg1->SetCaption(first);
    Msg2->SetCaption(second);
    Msg1->Show();
    Msg2->Show();
}

void TForm2::FormCreate(rtl::TObject*)
{
    SetHeight(kShortHeight);
    SetHeight(kTallHeight);
    SetTop((Screen->Height() - Height()) / 2);
    SetLeft((Screen->Width() - Width()) / 2);
    DirLabel->SetCaption("");
    ZanticFolder->SetMaxLength(kFolderMaxLength);
    // The form storage restores at the first showing, after this: a value of megabytes in the
    // INI file costs no more than a folder.
    FormStorage1->SetMaxValueLength(kFolderMaxLength);
    TSetupState& state = SetupState();
    state.DllMatches = 0;
    state.OtherMatches = 0;
    state.ProgramsFolder = GetProgramsFolder();
    state.WindowsFolder = GetWindowsFolder();
}

void TForm2::VarneloRestore(placement::TStoredValue*, rtl::Variant& value)
{
    SetupState().InstalledBuild = StoredNumber(value);
}

void TForm2::VarneloSave(placement::TStoredValue* sender, rtl::Variant& value)
{
    SaveStored(sender, value, SetupState().Installed, rtl::IntToStr(SetupState().InstalledBuild));
}

void TForm2::TamsikRestore(placement::TStoredValue*, rtl::Variant& value)
{
    SetupState().SecondNumber = StoredNumber(value);
}

void TForm2::TamsikSave(placement::TStoredValue* sender, rtl::Variant& value)
{
    SaveStored(sender, value, false, rtl::IntToStr(SetupState().SecondNumber));
}

void TForm2::ZanticPathRestore(placement::TStoredValue*, rtl::Variant& value)
{
    SetupState().StoredFolder = rtl::VarToStr(value);
}

void TForm2::ZanticPathSave(placement::TStoredValue* sender, rtl::Variant& value)
{
    SaveStored(sender, value, SetupState().Installed, SetupState().StoredFolder);
}

void TForm2::FormStorage1RestorePlacement(rtl::TObject*)
{
    TSetupState& state = SetupState();
    ZanticFolder->Items()->Clear();
    MessageDialog->SetButtonCount(2);
    MessageDialog->SetButton1Caption("Continue");
    MessageDialog->SetButton1ModalResult(1);
    MessageDialog->SetButton2Caption("Cancel");
    MessageDialog->SetButton2ModalResult(2);
    MessageDialog->SetIconType(skin::TsuiIconType::suiWarning);

    // A file that is there but cannot be read (held by another program, say) reads as a first run
    // and would let an older build go over a newer one unwarned: the user hears of it first.
    std::string unreadable;
    if (!FormStorage1->UseRegistry) {
        const std::string path = IniFilePath(FormStorage1->IniFileName());
        const std::string why = FileAccessProblem(path, false);
        if (!why.empty()) {
            Log(" INI_ERR: ", path, "cannot be read: " + why);
            unreadable = path + " cannot be read: " + why + ".";
        }
    }

    std::string text;
    if (state.InstalledBuild > kInstallBuild)
        text = "WARNING: It Appears That A Newer Version\r\nof Varnelo Is Already Installed.";
    else if (state.InstalledBuild == kInstallBuild)
        text = "NOTE: It Appears That This Version\r\nof Varnelo Is Already Installed.";
    else if (!unreadable.empty())
        text = "WARNING: A Newer Version of Varnelo\r\nMay Already Be Installed.\r\n" + unreadable;
    if (!text.empty()) {
        win::Beep(900, 50);
        if (state.InstalledBuild >= kInstallBuild)
            bInstall->SetCaption("Reinstall");
        MessageDialog->SetText(text);
        closedDuringDialog_ = false;
        // A close of the window while the dialog is up ends the run, whatever the dialog answers.
        if (MessageDialog->ShowModal() != 1 || closedDuringDialog_) {
            state.QuitFlag = true;
            Timer1->SetEnabled(true);
        }
    }
    if (state.QuitFlag)
        return;
    if (state.ProgramsFolder.size() < 3) {
        ShowMessages("Can't continue, Programs Folder Not Found", kSiteInfo);
        return;
    }
    FindFile->Criteria()->Files()->SetLocation(state.ProgramsFolder.substr(0, 3));
    addedFolders_.clear();
    FindFile->Execute();
}

void TForm2::FindFileSearchBegin(rtl::TObject*)
{
    DirLabel->Show();
    Screen->SetCursor(crHourGlass);
}

void TForm2::FindFileFolderChange(rtl::TObject*, const std::string& folder, TFolderIgnore& ignoreFolder)
{
    OnMainThread([this, folder] { DirLabel->SetCaption(folder); });
    ignoreFolder = fiNone;
}

void TForm2::FindFileFileMatch(rtl::TObject*, const std::string& folder, const TSearchRec& fileInfo)
{
    const std::string withSlash = AddBackSlash(folder);
    if (withSlash.find("\\RECYCLER\\") == 2) {
        Log(" IGNORED: ", folder);
        return;
    }
    // The file functions take no longer path: such a folder cannot be checked, nor installed into.
    if (withSlash.size() + sizeof kLongestMarker - 1 > static_cast<std::size_t>(kFolderMaxLength)) {
        Log("**SKIP**: ", folder,
            "path too long: its libraries' paths pass " + rtl::IntToStr(kFolderMaxLength) + " characters");
        return;
    }
    if (!HasMarkerFiles(withSlash)) {
        Log("**SKIP**: ", folder);
        return;
    }
    TSetupState& state = SetupState();
    if (ExtractFileExt(fileInfo.Name) == "dll")
        ++state.DllMatches;
    else
        ++state.OtherMatches;
    std::string counter = rtl::IntToStr(state.DllMatches) + " - " + rtl::IntToStr(state.OtherMatches);
    OnMainThread([this, counter] { Label7->SetCaption(counter); });
    if (std::find(addedFolders_.begin(), addedFolders_.end(), withSlash) != addedFolders_.end())
        return;
    addedFolders_.push_back(withSlash);
    Log("   ADDED: ", folder);
    OnMainThread([this, withSlash] { ZanticFolder->Items()->Add(withSlash); });
}

void TForm2::FindFileSearchFinish(rtl::TObject*)
{
    // The worker's queued updates came before this call in the same queue: the items are final.
    DirLabel->Hide();
    if (stopping_) {
        // Stopped because the window closes: nothing is offered any more.
        Screen->SetCursor(crDefault);
        return;
    }
    rtl::TStrings* items = ZanticFolder->Items();
    bool found = true;
    if (items->Count() == 0 && VendorFolderFromRegistry().empty()) {
        ShowMessages("Cannot continue, Zezizur application not found!", kSiteInfo);
        found = false;
    }
    if (found) {
        ZanticFolder->SetItemIndex(items->Count() >= 2 ? 1 : -1);
        if (items->Count() <= 1) {
            const std::string folder = VendorFolderFromRegistry();
            // Only a new, usable folder joins the list.
            if (!folder.empty() && items->IndexOf(folder) < 0)
                items->Add(folder);
            mLog->Lines()->Add("ONLYPATH: " + Quoted(folder));
        } else {
            Msg1->Font()->SetColor(kMaroon);
            Msg2->Font()->SetColor(kMaroon);
            ShowMessages("Multiple potential installation folders found",
                         "Please ensure you select the correct folder");
            const std::string folder = VendorFolderFromRegistry();
            const std::int32_t index = items->IndexOf(folder);
            if (index >= 0 && items->Get(index) == folder) {
                ZanticFolder->SetItemIndex(index);
                mLog->Lines()->Add(" DEFAULT: " + Quoted(folder));
            } else {
                mLog->Lines()->Add(" DEF_ERR: " + Quoted(folder));
            }
        }
    }
    bInstall->SetEnabled(items->Count() >= 1);
    Timer1->SetEnabled(true);
    Screen->SetCursor(crDefault);
}

void TForm2::FindFileSearchAbort(rtl::TObject*) { Screen->SetCursor(crDefault); }

void TForm2::Timer1Timer(rtl::TObject*)
{
    if (SetupState().QuitFlag) {
        Close();
        return;
    }
    bInstall->SetVisible(HasMarkerFiles(ZanticFolder->Text()));
}

void TForm2::bInstallClick(rtl::TObject*)
{
    const std::string folder = ZanticFolder->Text();
    std::string readme;
    // All or nothing: a failure leaves every file in the folder as it was.
    bool failed = false;
    std::uint32_t failure = ERROR_SUCCESS;
    std::vector<TLeftover> leftovers;
    try {
        const std::vector<std::string> targets = InstallStoredFiles(*DataStore, folder, &leftovers);
        for (std::size_t i = 0; i < targets.size(); ++i)
            if (Lower(ExtractFileExt(DataStore->Item(static_cast<std::int32_t>(i))->Name())) == "rtf")
                readme = targets[i];
    } catch (const EInstallError& e) {
        failed = true;
        failure = e.Code();
    } catch (...) {
        // Every file step reports as EInstallError; what else can fail here is memory.
        failed = true;
        failure = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (failed) {
        ShowMessage(InstallFailureMessage(failure));
        // The quit message's parameter is the program's exit code: a failed install is no success.
        PostMessageTo(Handle(), WM_QUIT, 1, 0);
        return;
    }

    TSetupState& state = SetupState();
    state.InstalledBuild = kInstallBuild;
    state.StoredFolder = folder;
    state.Installed = true;

    // The record of the install is written now, while its failure can still be told: a later run
    // would otherwise not know of this install.
    std::string recordError;
    const std::string iniPath = IniFilePath(FormStorage1->IniFileName());
    try {
        FormStorage1->SaveFormPlacement();
    } catch (const std::exception& e) {
        // The system's reason when the file tells it, else what the write reported.
        const std::string why = FileAccessProblem(iniPath, true);
        recordError = why.empty() ? std::string(e.what()) : why + ".";
        // Nothing more is written at the close: it would fail the same way.
        FormStorage1->Active = false;
    }
    for (const TLeftover& left : leftovers)
        ShowMessage(LeftoverMessage(left));

    std::string link;
    if (DataStore->Items()->Count() > 0) {
        const std::string program = folder + DataStore->Item(0)->Name();
        MakeShortcut(program, slDesktop, "", "", "", "Varnelo", link);
        MakeShortcut(program, slFolder, GetProgramsFolder(), "", "", "Varnelo", link);
    }
    if (!readme.empty()) {
        const std::string linkName = ExtractFileName(readme, false) + " README";
        CreateShortcut(readme, linkName, slDesktop, "", "", "", "Varnelo", link);
        CreateShortcut(readme, linkName, slFolder, GetProgramsFolder(), "", "", "Varnelo", link);
        ShellOpen(readme, "", folder, SW_SHOW);
    }
    if (!recordError.empty()) {
        ShowMessage(RecordFailureMessage(folder, iniPath, recordError));
        PostMessageTo(Handle(), WM_QUIT, 1, 0);
        return;
    }
    Close();
}

void TForm2::bCancelClick(rtl::TObject*)
{
    FindFile->Abort();
    while (FindFile->Busy())
        Application->ProcessMessages();
    Close();
}

void TForm2::FormCloseQuery(rtl::TObject*, bool& canClose)
{
    // The title bar's button, Alt+F4 and WM_CLOSE all come here: a running search stops first.
    // A second close that arrives while that stop waits is refused; the first one goes on.
    if (MessageDialog && MessageDialog->Showing()) {
        // The stored-build dialog is up: it is cancelled, and the run ends once it has returned.
        closedDuringDialog_ = true;
        MessageDialog->Cancel();
        canClose = false;
        return;
    }
    if (!StopSearch()) {
        canClose = false;
        return;
    }
    KeepStoredFolderText();
    SetHeight(kShortHeight);
    SetTop((Screen->Height() - kShortHeight) / 2);
    canClose = true;
}

void TForm2::Msg1DblClick(rtl::TObject*)
{
    SetHeight(kTallHeight);
    SetTop((Screen->Height() - kTallHeight) / 2);
}

void TForm2::Publish(Table& t)
{
    TFORM2_COMPONENTS(RTL_PUBLISH_FIELD)
    TFORM2_HANDLERS(RTL_PUBLISH_METHOD)
}

}  // namespace app
