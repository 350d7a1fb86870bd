// The setup assistant's main window: handlers of the whole install road.
#include "app/SetupAssistQZForm.h"

#include "app/KzFunc.h"
#include "app/kzFiles.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Thread.h"
#include "platform/win/Dialogs.h"
#include "platform/win/IniFiles.h"
#include "platform/win/Win32.h"

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

void RegisterSetupClasses()
{
    RegisterResStorageClasses();
    for (const rtl::TClassInfo* info :
         {&TColorButton::StaticClassInfo(), &TEllipsLabel::StaticClassInfo(), &TFindFile::StaticClassInfo(),
          &TURLLabel::StaticClassInfo(), &TMessageDialog::StaticClassInfo(),
          &placement::TFormStorage::StaticClassInfo(), &TForm2::StaticClassInfo()})
        rtl::RegisterClass(*info);
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
    // Updates a worker queued after the window closed must not reach freed controls.
    rtl::RemoveQueuedEvents(this);
    DoDestroy();
}

void TForm2::OnMainThread(std::function<void()> update) { rtl::Queue(std::move(update), this); }

void TForm2::Log(const char* prefix, const std::string& folder)
{
    std::string line = prefix + Quoted(folder);
    OnMainThread([this, line] { mLog->Lines()->Add(line); });
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

void TForm2::VarneloSave(placement::TStoredValue*, rtl::Variant& value)
{
    value = rtl::IntToStr(SetupState().InstalledBuild);
}

void TForm2::TamsikRestore(placement::TStoredValue*, rtl::Variant& value)
{
    SetupState().SecondNumber = StoredNumber(value);
}

void TForm2::TamsikSave(placement::TStoredValue*, rtl::Variant& value)
{
    value = rtl::IntToStr(SetupState().SecondNumber);
}

void TForm2::ZanticPathRestore(placement::TStoredValue*, rtl::Variant& value)
{
    SetupState().StoredFolder = rtl::VarToStr(value);
}

void TForm2::ZanticPathSave(placement::TStoredValue*, rtl::Variant& value)
{
    value = SetupState().StoredFolder;
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
    MessageDialog->SetIconType(suiWarning);

    const char* firstLine = nullptr;
    if (state.InstalledBuild > kInstallBuild)
        firstLine = "WARNING: It Appears That A Newer Version";
    else if (state.InstalledBuild == kInstallBuild)
        firstLine = "NOTE: It Appears That This Version";
    if (firstLine) {
        win::Beep(900, 50);
        bInstall->SetCaption("Reinstall");
        MessageDialog->SetText(std::string(firstLine) + "\r\nof Varnelo Is Already Installed.");
        if (MessageDialog->ShowModal() != 1) {
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
    try {
        for (std::int32_t i = 0; i < DataStore->Items()->Count(); ++i) {
            TPackedItem* item = DataStore->Item(i);
            const std::string target = folder + item->Name();
            if (FileExists(target))
                ::DeleteFileA(target.c_str());
            item->ExtractToFile(target);
            if (Lower(ExtractFileExt(item->Name())) == "rtf")
                readme = target;
        }
    } catch (...) {
        ShowMessage("Unable to continue - Quit Varnelo if it is running");
        PostMessageTo(Handle(), WM_QUIT, 0, 0);
        return;
    }

    TSetupState& state = SetupState();
    state.InstalledBuild = kInstallBuild;
    state.StoredFolder = folder;

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
    SetHeight(kShortHeight);
    SetTop((Screen->Height() - kShortHeight) / 2);
    canClose = true;
}

void TForm2::Msg1DblClick(rtl::TObject*)
{
    SetHeight(kTallHeight);
    SetTop((Screen->Height() - kTallHeight) / 2);
}

const rtl::TClassInfo& TForm2::StaticClassInfo()
{
    static const rtl::TClassInfo info =
        rtl::TClassBuilder<TForm2, TForm>("TForm2")
            .Field("Label1", &TForm2::Label1)
            .Field("Label2", &TForm2::Label2)
            .Field("Label3", &TForm2::Label3)
            .Field("Label5", &TForm2::Label5)
            .Field("Label4", &TForm2::Label4)
            .Field("Label6", &TForm2::Label6)
            .Field("bInstall", &TForm2::bInstall)
            .Field("bCancel", &TForm2::bCancel)
            .Field("Msg1", &TForm2::Msg1)
            .Field("Msg2", &TForm2::Msg2)
            .Field("FindFile", &TForm2::FindFile)
            .Field("DataStore", &TForm2::DataStore)
            .Field("FormStorage1", &TForm2::FormStorage1)
            .Field("ZanticFolder", &TForm2::ZanticFolder)
            .Field("DirLabel", &TForm2::DirLabel)
            .Field("Timer1", &TForm2::Timer1)
            .Field("lbUrl", &TForm2::lbUrl)
            .Field("suiURLLabel1", &TForm2::suiURLLabel1)
            .Field("Label7", &TForm2::Label7)
            .Field("mLog", &TForm2::mLog)
            .Field("Label8", &TForm2::Label8)
            .Field("Label9", &TForm2::Label9)
            .Field("MessageDialog", &TForm2::MessageDialog)
            .Method("FormCreate", &TForm2::FormCreate)
            .Method("FormCloseQuery", &TForm2::FormCloseQuery)
            .Method("FormStorage1RestorePlacement", &TForm2::FormStorage1RestorePlacement)
            .Method("VarneloRestore", &TForm2::VarneloRestore)
            .Method("VarneloSave", &TForm2::VarneloSave)
            .Method("TamsikRestore", &TForm2::TamsikRestore)
            .Method("TamsikSave", &TForm2::TamsikSave)
            .Method("ZanticPathRestore", &TForm2::ZanticPathRestore)
            .Method("ZanticPathSave", &TForm2::ZanticPathSave)
            .Method("FindFileSearchBegin", &TForm2::FindFileSearchBegin)
            .Method("FindFileFolderChange", &TForm2::FindFileFolderChange)
            .Method("FindFileFileMatch", &TForm2::FindFileFileMatch)
            .Method("FindFileSearchFinish", &TForm2::FindFileSearchFinish)
            .Method("FindFileSearchAbort", &TForm2::FindFileSearchAbort)
            .Method("Timer1Timer", &TForm2::Timer1Timer)
            .Method("bInstallClick", &TForm2::bInstallClick)
            .Method("bCancelClick", &TForm2::bCancelClick)
            .Method("Msg1DblClick", &TForm2::Msg1DblClick)
            .Build();
    return info;
}

}  // namespace app
