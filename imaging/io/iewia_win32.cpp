// The WIA device manager through COM.
#include "imaging/io/iewia.h"

#include "platform/rtl/Thread.h"
#include "platform/rtl/Win32.h"

#include <ole2.h>

namespace imaging {

namespace {

const GUID kClsidWiaDevMgr = {0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
const GUID kIidWiaDevMgr = {0x5EB2502A, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};

}  // namespace

TIEWia::TIEWia(TVodirAdIO* Owner) : owner_(Owner), thread_(rtl::CurrentThreadId())
{
    // Each object pairs its own initialisation with an uninitialisation on this thread. A thread
    // already in another apartment refuses (RPC_E_CHANGED_MODE) and is left as it is; COM still
    // works there.
    ole_ = OleInitialize(nullptr);
    oleInitialized_ = SUCCEEDED(ole_);
    IUnknown* manager = nullptr;
    creation_ = CoCreateInstance(kClsidWiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, kIidWiaDevMgr,
                                 reinterpret_cast<void**>(&manager));
    manager_ = SUCCEEDED(creation_) ? manager : nullptr;
}

TIEWia::~TIEWia()
{
    if (manager_)
        static_cast<IUnknown*>(manager_)->Release();
    manager_ = nullptr;
    selected_.reset();
    devices_.clear();
    if (!oleInitialized_)
        return;
    if (rtl::CurrentThreadId() == thread_)
        OleUninitialize();
    else
        OutputDebugStringA("TIEWia destroyed off the thread that made it: OLE left initialised there");
}

}  // namespace imaging
