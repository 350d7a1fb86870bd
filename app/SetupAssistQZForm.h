// The setup assistant's main window: version check, vendor-folder search, install and close.
#pragma once

#include "app/ColorButton.h"
#include "app/EllipsLabel.h"
#include "app/FindFile.h"
#include "app/zResStorage.h"
#include "placement/rxPlacemnt.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/StdCtrls.h"
#include "skin/SUIComboBox.h"
#include "skin/SUIDlg.h"
#include "skin/SUIForm.h"
#include "skin/SUIMemo.h"
#include "skin/SUIMgr.h"
#include "skin/SUIURLLabel.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace app {

// The build this program installs; 144 is the first that counts as newer.
inline constexpr std::int32_t kInstallBuild = 143;

// The components of the window description in declaration order, and the handlers it names.
#define TFORM2_COMPONENTS(X)                 \
    X(skin::TsuiBuiltInFileTheme, Theme1)    \
    X(skin::TsuiThemeManager, ThemeManager)  \
    X(win::TImage, Image1)                   \
    X(skin::TsuiForm, suiForm1)              \
    X(win::TLabel, Label1)                   \
    X(win::TLabel, Label2)                   \
    X(win::TLabel, Label3)                   \
    X(win::TLabel, Label5)                   \
    X(win::TLabel, Label4)                   \
    X(win::TLabel, Label6)                   \
    X(TColorButton, bInstall)                \
    X(TColorButton, bCancel)                 \
    X(win::TImage, Logo)                     \
    X(win::TLabel, Msg1)                     \
    X(win::TLabel, Msg2)                     \
    X(TFindFile, FindFile)                   \
    X(TzResStorage, DataStore)               \
    X(placement::TFormStorage, FormStorage1) \
    X(skin::TsuiComboBox, ZanticFolder)      \
    X(TEllipsLabel, DirLabel)                \
    X(win::TTimer, Timer1)                   \
    X(skin::TsuiURLLabel, lbUrl)             \
    X(skin::TsuiURLLabel, suiURLLabel1)      \
    X(win::TLabel, Label7)                   \
    X(skin::TsuiMemo, mLog)                  \
    X(win::TLabel, Label8)                   \
    X(win::TLabel, Label9)                   \
    X(skin::TsuiMessageDialog, MessageDialog)
#define TFORM2_HANDLERS(X)                                                                                \
    X(FormCreate, rtl::TObject* Sender)                                                                   \
    X(FormCloseQuery, rtl::TObject* Sender, bool& CanClose)                                               \
    X(FormStorage1RestorePlacement, rtl::TObject* Sender)                                                 \
    X(VarneloRestore, placement::TStoredValue* Sender, rtl::Variant& Value)                               \
    X(VarneloSave, placement::TStoredValue* Sender, rtl::Variant& Value)                                  \
    X(TamsikRestore, placement::TStoredValue* Sender, rtl::Variant& Value)                                \
    X(TamsikSave, placement::TStoredValue* Sender, rtl::Variant& Value)                                   \
    X(ZanticPathRestore, placement::TStoredValue* Sender, rtl::Variant& Value)                            \
    X(ZanticPathSave, placement::TStoredValue* Sender, rtl::Variant& Value)                               \
    X(FindFileSearchBegin, rtl::TObject* Sender)                                                          \
    X(FindFileFolderChange, rtl::TObject* Sender, const std::string& Folder, TFolderIgnore& IgnoreFolder) \
    X(FindFileFileMatch, rtl::TObject* Sender, const std::string& Folder, const TSearchRec& FileInfo)     \
    X(FindFileSearchFinish, rtl::TObject* Sender)                                                         \
    X(FindFileSearchAbort, rtl::TObject* Sender)                                                          \
    X(Timer1Timer, rtl::TObject* Sender)                                                                  \
    X(bInstallClick, rtl::TObject* Sender)                                                                \
    X(bCancelClick, rtl::TObject* Sender)                                                                 \
    X(Msg1DblClick, rtl::TObject* Sender)

class TForm2 : public win::TForm {
    RTL_DECLARE_CLASS(TForm2, win::TForm)

public:
    explicit TForm2(rtl::TComponent* owner);
    ~TForm2() override;

    TFORM2_COMPONENTS(RTL_DECLARE_FIELD)
    TFORM2_HANDLERS(RTL_DECLARE_METHOD)

protected:
    // Refuses a description that lacks one of the components: every handler relies on them all.
    void Loaded() override;

private:
    // Stops a running search and waits until it has ended, running its queued updates while
    // every control still exists. False when a stop is already waiting further up the stack.
    bool StopSearch();
    // Runs `update` on the main thread after every update queued before it.
    void OnMainThread(std::function<void()> update);
    void Log(const char* prefix, const std::string& folder, const std::string& why = "");
    // Keeps the INI's stored folder text unless this run installed (or there is none yet).
    void KeepStoredFolderText();
    void ShowMessages(const std::string& first, const std::string& second);

    // Touched only by the search worker (and reset before it starts): the folders it has
    // added, so the duplicate test sees additions still waiting in the main-thread queue.
    std::vector<std::string> addedFolders_;
    bool stopping_ = false;
    bool closedDuringDialog_ = false;  // the window was closed while the stored-build dialog was up
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

// Both marker libraries exist in `folder` (joined without a separator).
bool HasMarkerFiles(const std::string& folder);
// The vendor folder named by the registry when it passes the marker test, else empty.
std::string VendorFolderFromRegistry();
// A stored value's text as a build number: 0 when empty or not a number.
std::int32_t StoredNumber(const rtl::Variant& value);
// Why the file `path` exists but cannot be opened for reading, or for writing (the system's
// reason); empty when it opens or does not exist.
std::string FileAccessProblem(const std::string& path, bool forWriting);

}  // namespace app
