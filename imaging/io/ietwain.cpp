// The TWAIN settings, their defaults, the trace log and the release of the source manager.
#include "imaging/io/ietwain.h"

#include "imaging/io/detail/ietwain_platform.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/DateTime.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace imaging {

namespace {

std::mutex gLogLock;
std::string gLogFile;  // under gLogLock

}  // namespace

void IETWSetLogFile(const std::string& FileName)
{
    std::lock_guard<std::mutex> lock(gLogLock);
    gLogFile = FileName;
}

void IETWLog(const std::string& Message)
{
    std::lock_guard<std::mutex> lock(gLogLock);
    if (gLogFile.empty())
        return;
    int year, month, day, hour, minute, second, msec;
    rtl::DecodeDateTime(rtl::Now(), year, month, day, hour, minute, second, msec);
    if (std::FILE* f = std::fopen(gLogFile.c_str(), "a")) {
        std::fprintf(f, "%04d-%02d-%02d %02d:%02d:%02d : %s\n", year, month, day, hour, minute, second,
                     Message.c_str());
        std::fclose(f);
    }
}

TIETWIdentity IETWApplicationIdentity()
{
    TIETWIdentity id{};
    id.Version.MajorNum = 1;
    id.Version.MinorNum = 0;
    id.Version.Language = 13;
    id.Version.Country = 1;
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 9;
    id.SupportedGroups = 3;
    return id;
}

// ---- settings -----------------------------------------------------------------------------------

TIETWainParams::TIETWainParams(TVodirAdIO* Owner) : owner_(Owner) { SetDefaults(); }

TIETWainParams::~TIETWainParams()
{
    IETWReleaseSourceManager(sourceManager_, IETWOwnerWindow(owner_));
    SetDefaults();
}

void TIETWainParams::SetDefaults()
{
    TransferCount = 1;
    SelectedSource = 0;
    CapabilityBlocks.clear();
    AutoFeed = FeederEnabled = DuplexEnabled = AutoBrightness = AutoDeskew = AutoBorderDetection = false;
    for (TIEDoubleList* list : {&XResolutionValues, &YResolutionValues, &XScalingValues, &YScalingValues,
                                &ContrastValues, &BrightnessValues})
        list->Clear();
    for (TIEIntegerList* list : {&PixelTypeValues, &BitDepthValues, &OrientationValues, &PaperSizeValues})
        list->Clear();
    Gamma = 2.2;
    Highlight = Shadow = 0;
    ShowDialog = ShowProgress = ModalDialog = ShowSettingsOnly = false;
    BufferedTransfer = true;
    std::memset(AcquireFrame, 0, sizeof AcquireFrame);
    CloseSourceAfterAcquire = true;
    FileTransfer = false;
    Threshold = 128;
    Compression = 0;
    PaperSize = 0;
    AppVersionInfo.clear();
    AppManufacturer.clear();
    AppProductFamily.clear();
    AppProductName.clear();
    LastError = 0;
    LastErrorText.clear();
}

// ---- release ------------------------------------------------------------------------------------

namespace {

// A manager still open for this application is closed before its library goes: freeing it open
// would leave it holding the application's session.
void CloseIfOpen(TIETWSourceManager& manager, TIETWReleaseState& state)
{
    if (manager.State != 2 || !manager.LibraryLoaded)
        return;
    IETWLog("IETW_CloseSourceManager");
    const int rc = detail::IETWCloseManager(manager);
    IETWLog(rc == 0 ? "  IETW_CloseSourceManager : closed"
                    : "  IETW_CloseSourceManager : refused with " + std::to_string(rc));
    manager.State = 1;
    state.State = 1;
    state.Closed = true;
}

}  // namespace

TIETWReleaseState IETWReleaseSourceManager(TIETWSourceManager& Manager, void* Window)
{
    TIETWReleaseState state;
    state.ActiveWindow = Window;
    state.State = Manager.State;
    state.AppId = Manager.State == 2 ? Manager.AppId : IETWApplicationIdentity();
    CloseIfOpen(Manager, state);
    if (Manager.ProxyWindow)
        DestroyProxyWindow(Manager, true);
    if (Manager.LibraryLoaded)
        IETW_UnloadSourceManager(Manager, state, true);
    return state;
}

bool IETW_UnloadSourceManager(TIETWSourceManager& Manager, TIETWReleaseState& State, bool Force)
{
    IETWLog("IETW_UnloadSourceManager");
    if (Force && Manager.LibraryLoaded) {
        CloseIfOpen(Manager, State);
        detail::IETWFreeLibrary(Manager.Library);
        // The window is the release's to destroy; the record forgets only the library.
        Manager.LibraryLoaded = false;
        Manager.Library = nullptr;
        Manager.Entry = nullptr;
        Manager.State = 1;
        Manager.AppId = TIETWIdentity{};
        State.State = 1;
        IETWLog("  IETW_UnloadSourceManager : Unload OK");
    } else if (State.State == 2) {
        // Kept loaded, and open, for the next acquisition.
        State.State = 1;
        IETWLog("  IETW_UnloadSourceManager not Unloaded, for future uses");
    }
    return State.State == 1;
}

void DestroyProxyWindow(TIETWSourceManager& Manager, bool Force)
{
    IETWLog("DestroyProxyWindow");
    if (!Force) {
        IETWLog("  DestroyProxyWindow : not destroyed, for future uses");
        return;
    }
    detail::IETWDestroyWindow(Manager.ProxyWindow);
    Manager.ProxyWindow = nullptr;
    IETWLog("  DestroyProxyWindow : destroyed");
}

}  // namespace imaging
