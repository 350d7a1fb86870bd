// The I/O component's WIA object: the WIA device manager, made through COM and released with the
// object. Device enumeration and transfers are not part of the library; the device list therefore
// stays empty, and the object's work is its clean set-up and release.
//
// Windows build only makes the manager (iewia_win32.cpp); elsewhere the object has none.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace imaging {

class TVodirAdIO;

// A WIA device as the manager describes it.
struct TIEWiaDevice {
    std::string ID;
    std::string Name;
};

class TIEWia {
public:
    // Initialises OLE on the calling thread and asks COM for the device manager (a local server);
    // when COM refuses, the object has no manager.
    explicit TIEWia(TVodirAdIO* Owner);
    // Releases the manager and the devices, and undoes the OLE initialisation of the constructor.
    // Must run on the thread that made the object: OLE is set up per thread.
    ~TIEWia();
    TIEWia(const TIEWia&) = delete;
    TIEWia& operator=(const TIEWia&) = delete;

    TVodirAdIO* Owner() const { return owner_; }  // not owned
    // The IWiaDevMgr interface, or null; owned by the object.
    void* DeviceManager() const { return manager_; }
    // What COM answered when asked for the manager (an HRESULT).
    std::int32_t CreationResult() const { return creation_; }
    // What OLE answered when initialised on the object's thread (an HRESULT).
    std::int32_t OleResult() const { return ole_; }
    const std::vector<std::unique_ptr<TIEWiaDevice>>& Devices() const { return devices_; }

    // Told the progress of a transfer in percent; false stops it. The component sets one that
    // fires its OnProgress and answers whether its AbortFlag is clear.
    std::function<bool(int Percent)> ProgressCallback;
    // True when there is no callback.
    bool DoProgress(int Percent) const { return !ProgressCallback || ProgressCallback(Percent); }

private:
    TVodirAdIO* owner_;
    void* manager_ = nullptr;
    std::vector<std::unique_ptr<TIEWiaDevice>> devices_;
    std::unique_ptr<TIEWiaDevice> selected_;  // the device of a transfer; none here
    std::int32_t creation_ = 0;
    std::int32_t ole_ = 0;
    // Where OLE was initialised; off Windows never.
    [[maybe_unused]] bool oleInitialized_ = false;
    [[maybe_unused]] std::uint32_t thread_ = 0;
};

}  // namespace imaging
