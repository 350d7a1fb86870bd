// The setup assistant's main window: version check, vendor-folder search, install and close.
#pragma once

#include "app/ColorButton.h"
#include "app/EllipsLabel.h"
#include "app/FindFile.h"
#include "app/MessageDialog.h"
#include "app/URLLabel.h"
#include "app/zResStorage.h"
#include "placement/rxPlacemnt.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/StdCtrls.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace app {

// The build this program installs; 144 is the first that counts as newer.
inline constexpr std::int32_t kInstallBuild = 143;

class TForm2 : public win::TForm {
    RTL_DECLARE_CLASS()

public:
    explicit TForm2(rtl::TComponent* owner);
    ~TForm2() override;

    win::TLabel* Label1 = nullptr;
    win::TLabel* Label2 = nullptr;
    win::TLabel* Label3 = nullptr;
    win::TLabel* Label5 = nullptr;
    win::TLabel* Label4 = nullptr;
    win::TLabel* Label6 = nullptr;
    TColorButton* bInstall = nullptr;
    TColorButton* bCancel = nullptr;
    win::TLabel* Msg1 = nullptr;
    win::TLabel* Msg2 = nullptr;
    TFindFile* FindFile = nullptr;
    TzResStorage* DataStore = nullptr;
    placement::TFormStorage* FormStorage1 = nullptr;
    win::TComboBox* ZanticFolder = nullptr;
    TEllipsLabel* DirLabel = nullptr;
    win::TTimer* Timer1 = nullptr;
    TURLLabel* lbUrl = nullptr;
    TURLLabel* suiURLLabel1 = nullptr;
    win::TLabel* Label7 = nullptr;
    win::TMemo* mLog = nullptr;
    win::TLabel* Label8 = nullptr;
    win::TLabel* Label9 = nullptr;
    TMessageDialog* MessageDialog = nullptr;

    void FormCreate(rtl::TObject* Sender);
    void FormCloseQuery(rtl::TObject* Sender, bool& CanClose);
    void FormStorage1RestorePlacement(rtl::TObject* Sender);
    void VarneloRestore(placement::TStoredValue* Sender, rtl::Variant& Value);
    void VarneloSave(placement::TStoredValue* Sender, rtl::Variant& Value);
    void TamsikRestore(placement::TStoredValue* Sender, rtl::Variant& Value);
    void TamsikSave(placement::TStoredValue* Sender, rtl::Variant& Value);
    void ZanticPathRestore(placement::TStoredValue* Sender, rtl::Variant& Value);
    void ZanticPathSave(placement::TStoredValue* Sender, rtl::Variant& Value);
    void FindFileSearchBegin(rtl::TObject* Sender);
    void FindFileFolderChange(rtl::TObject* Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder);
    void FindFileFileMatch(rtl::TObject* Sender, const std::string& Folder, const TSearchRec& FileInfo);
    void FindFileSearchFinish(rtl::TObject* Sender);
    void FindFileSearchAbort(rtl::TObject* Sender);
    void Timer1Timer(rtl::TObject* Sender);
    void bInstallClick(rtl::TObject* Sender);
    void bCancelClick(rtl::TObject* Sender);
    void Msg1DblClick(rtl::TObject* Sender);

private:
    // Stops a running search and waits until it has ended, running its queued updates while
    // every control still exists. False when a stop is already waiting further up the stack.
    bool StopSearch();
    // Runs `update` on the main thread after every update queued before it.
    void OnMainThread(std::function<void()> update);
    void Log(const char* prefix, const std::string& folder);
    void ShowMessages(const std::string& first, const std::string& second);

    // Touched only by the search worker (and reset before it starts): the folders it has
    // added, so the duplicate test sees additions still waiting in the main-thread queue.
    std::vector<std::string> addedFolders_;
    bool stopping_ = false;
};

// Unit state, alive for the whole run.
extern TForm2* Form2;
struct TSetupState {
    bool QuitFlag = false;
    std::int32_t InstalledBuild = 0;
    std::int32_t SecondNumber = 0;  // "Tamsik": kept, never interpreted
    std::string StoredFolder;
    std::string ProgramsFolder;
    std::string WindowsFolder;
    std::int32_t DllMatches = 0;
    std::int32_t OtherMatches = 0;
    // Set by a complete install: only then does closing write the build and folder back, so a
    // run that changed nothing cannot undo another run's install or rewrite what it could not read.
    bool Installed = false;
};
TSetupState& SetupState();

// Registers every component class the window description names, so the form reader can create
// them by name even when the linker kept none of their own start-up registrations.
void RegisterSetupClasses();

// Both marker libraries exist in `folder` (joined without a separator).
bool HasMarkerFiles(const std::string& folder);
// The vendor folder named by the registry when it passes the marker test, else empty.
std::string VendorFolderFromRegistry();
// A stored value's text as a build number: 0 when empty or not a number.
std::int32_t StoredNumber(const rtl::Variant& value);

}  // namespace app
