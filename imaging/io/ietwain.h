// TWAIN settings of the I/O component, and the set-up and release of the TWAIN source manager
// (twain_32.dll) with its hidden parent window. Acquisition itself (choosing a source, negotiating
// capabilities, transferring images) is not part of the library: the settings keep their values
// for it, and the source manager can be opened and is always released cleanly.
//
// The settings and the trace log are portable; the source manager exists in the Windows build only
// (ietwain_win32.cpp), and elsewhere nothing is ever loaded, so releasing does nothing.
#pragma once

#include "imaging/core/hyieutils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rtl {
class TComponent;
}

namespace imaging {

class TVodirAdIO;

// The application's identity as the source manager reads it: the published 156-byte layout,
// packed to two bytes.
#pragma pack(push, 2)
struct TIETWVersion {
    std::uint16_t MajorNum;
    std::uint16_t MinorNum;
    std::uint16_t Language;
    std::uint16_t Country;
    char Info[34];
};
struct TIETWIdentity {
    std::uint32_t Id;
    TIETWVersion Version;
    std::uint16_t ProtocolMajor;
    std::uint16_t ProtocolMinor;
    std::uint32_t SupportedGroups;
    char Manufacturer[34];
    char ProductFamily[34];
    char ProductName[34];
};
#pragma pack(pop)
static_assert(sizeof(TIETWIdentity) == 156, "the source manager reads 156 bytes");

// Version 1.0, English (13), USA (1), protocol 1.9, control and image groups (3), empty strings.
TIETWIdentity IETWApplicationIdentity();

// The source manager as the settings hold it: zero until it is loaded.
struct TIETWSourceManager {
    bool LibraryLoaded = false;
    void* Library = nullptr;      // the module, owned while LibraryLoaded
    void* ProxyWindow = nullptr;  // the hidden parent window, owned
    void* Entry = nullptr;        // the manager's entry point, while loaded
    // 2 while the manager is open for this application (with the identity it was opened with),
    // else 1.
    int State = 1;
    TIETWIdentity AppId{};
};

// What a release saw and did.
struct TIETWReleaseState {
    void* ActiveWindow = nullptr;  // the owner's window at the time of the release, or null
    int State = 1;                 // 1: the manager is closed
    bool Closed = false;           // the manager was open and was closed first
    TIETWIdentity AppId{};
};

class TIETWainParams {
public:
    // Makes the lists and sets the defaults.
    explicit TIETWainParams(TVodirAdIO* Owner);
    // Releases the source manager (closing it first when it is open), then frees the capability
    // data and the lists.
    ~TIETWainParams();
    TIETWainParams(const TIETWainParams&) = delete;
    TIETWainParams& operator=(const TIETWainParams&) = delete;

    // Every setting back to its default; frees the capability data and empties the value lists.
    void SetDefaults();

    // Windows build: loads the source manager, makes its hidden parent window and opens it for
    // this application. True when it is open (also when it already was); false, with nothing left
    // loaded, when the library, its entry point or the window is missing or the manager refuses.
    bool OpenSourceManager();
    const TIETWSourceManager& SourceManager() const { return sourceManager_; }

    TVodirAdIO* Owner() const { return owner_; }  // not owned

    // ---- the settings, with their defaults ----
    std::int32_t TransferCount = 1;
    std::int32_t SelectedSource = 0;
    // Capability data the settings own.
    std::vector<std::vector<std::uint8_t>> CapabilityBlocks;
    bool AutoFeed = false;
    bool FeederEnabled = false;
    bool DuplexEnabled = false;
    bool AutoBrightness = false;
    bool AutoDeskew = false;
    bool AutoBorderDetection = false;
    // What a source offers, as it tells it.
    TIEDoubleList XResolutionValues;
    TIEDoubleList YResolutionValues;
    TIEDoubleList XScalingValues;
    TIEDoubleList YScalingValues;
    TIEIntegerList PixelTypeValues;
    TIEIntegerList BitDepthValues;
    TIEDoubleList ContrastValues;
    TIEDoubleList BrightnessValues;
    TIEIntegerList OrientationValues;
    double Gamma = 2.2;
    double Highlight = 0;
    double Shadow = 0;
    // True only for owners that bring a dialog of their own; the component has none.
    bool ShowDialog = false;
    bool ShowProgress = false;
    bool ModalDialog = false;
    bool ShowSettingsOnly = false;
    bool BufferedTransfer = true;
    // Left, top, right, bottom of the area to acquire, in inches; all zero: the whole page.
    float AcquireFrame[4] = {};
    bool CloseSourceAfterAcquire = true;
    bool FileTransfer = false;
    std::int32_t Threshold = 128;
    std::int32_t Compression = 0;
    std::int32_t PaperSize = 0;
    TIEIntegerList PaperSizeValues;
    // Override the application's identity strings when not empty.
    std::string AppVersionInfo;
    std::string AppManufacturer;
    std::string AppProductFamily;
    std::string AppProductName;
    std::int32_t LastError = 0;
    std::string LastErrorText;

private:
    TVodirAdIO* owner_;
    TIETWSourceManager sourceManager_;
};

// The release routine: closes an open manager, destroys the parent window and unloads the library,
// logging each step. Window is recorded as the active window of the release.
TIETWReleaseState IETWReleaseSourceManager(TIETWSourceManager& Manager, void* Window);
// Logs "IETW_UnloadSourceManager"; with Force frees a loaded library. True when it ends closed.
bool IETW_UnloadSourceManager(TIETWSourceManager& Manager, TIETWReleaseState& State, bool Force);
// Logs "DestroyProxyWindow"; with Force destroys the window.
void DestroyProxyWindow(TIETWSourceManager& Manager, bool Force);

// The first control with a window in Owner's chain of owners, or null when there is none or its
// window does not exist yet.
void* IETWOwnerWindow(const rtl::TComponent* Owner);

// The trace log: each message becomes a line "date time : message" appended to this file; empty
// (the default) writes nothing.
void IETWSetLogFile(const std::string& FileName);
void IETWLog(const std::string& Message);

// The source manager's file name, "twain_32.dll"; another name for tests of a missing manager.
void IETWSetSourceManagerName(const std::string& Name);

}  // namespace imaging
