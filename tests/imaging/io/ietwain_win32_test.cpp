// Set-up and release against Wine's own TWAIN source manager (twain_32.dll) and WIA service: the
// manager opened and closed, its window and library released with their log lines, a missing
// manager, the owner's window, and WIA objects that balance their OLE initialisation, whether the
// device manager came or not. Wine has no scanner or camera here, so nothing is acquired.
#include "imaging/io/ietwain.h"

#include "imaging/io/iewia.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Win32.h"
#include "platform/win/Forms.h"
#include "tests/imaging/io/twain_test_util.h"

#include <gtest/gtest.h>

#include <ole2.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace imaging;
using test::ScratchLog;

namespace {

TEST(TWainManager, OpensWinesSourceManagerAndReleasesItWithTheComponent)
{
    ScratchLog log;
    HWND window = nullptr;
    {
        TVodirAdIO io(nullptr);
        TIETWainParams& p = io.TWainParams();
        p.AppProductName = "Varnelo tests";
        ASSERT_TRUE(p.OpenSourceManager()) << p.LastErrorText;
        const TIETWSourceManager& m = p.SourceManager();
        EXPECT_TRUE(m.LibraryLoaded);
        EXPECT_EQ(m.State, 2);
        EXPECT_EQ(m.Library, GetModuleHandleA("twain_32.dll"));
        window = static_cast<HWND>(m.ProxyWindow);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_FALSE(IsWindowVisible(window));
        // The identity the manager was opened with.
        EXPECT_EQ(m.AppId.Version.Language, 13);
        EXPECT_EQ(m.AppId.ProtocolMinor, 9);
        EXPECT_STREQ(m.AppId.ProductName, "Varnelo tests");
        EXPECT_TRUE(p.OpenSourceManager());  // already open
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetModuleHandleA("twain_32.dll"), nullptr);
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                  "IETW_LoadSourceManager",
                                  "  IETW_LoadSourceManager : Load OK",
                                  "IETW_CloseSourceManager",
                                  "  IETW_CloseSourceManager : closed",
                                  "DestroyProxyWindow",
                                  "  DestroyProxyWindow : destroyed",
                                  "IETW_UnloadSourceManager",
                                  "  IETW_UnloadSourceManager : Unload OK",
                              }));
}

TEST(TWainManager, ClosedManagersOpenAgainAndTheReleaseSaysWhatItFound)
{
    TVodirAdIO io(nullptr);
    TIETWainParams& p = io.TWainParams();
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(p.OpenSourceManager()) << round << ": " << p.LastErrorText;
        TIETWSourceManager& m = const_cast<TIETWSourceManager&>(p.SourceManager());
        const TIETWReleaseState state = IETWReleaseSourceManager(m, nullptr);
        EXPECT_TRUE(state.Closed);
        EXPECT_EQ(state.State, 1);
        EXPECT_EQ(state.AppId.Version.Language, 13);
        EXPECT_FALSE(m.LibraryLoaded);
        EXPECT_EQ(m.ProxyWindow, nullptr);
    }
}

TEST(TWainManager, AMissingManagerLeavesNothingLoaded)
{
    ScratchLog log;
    IETWSetSourceManagerName("va_no_such_twain_32.dll");
    {
        TVodirAdIO io(nullptr);
        TIETWainParams& p = io.TWainParams();
        EXPECT_FALSE(p.OpenSourceManager());
        EXPECT_NE(p.LastErrorText.find("cannot load va_no_such_twain_32.dll"), std::string::npos)
            << p.LastErrorText;
        EXPECT_NE(p.LastError, 0);
        EXPECT_FALSE(p.SourceManager().LibraryLoaded);
        EXPECT_EQ(p.SourceManager().ProxyWindow, nullptr);
    }
    IETWSetSourceManagerName("twain_32.dll");
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                  "IETW_LoadSourceManager",
                                  "  IETW_LoadSourceManager : cannot load va_no_such_twain_32.dll",
                              }));
}

TEST(TWainManager, TheReleaseGetsTheFirstWindowInTheOwnersChain)
{
    win::TForm form(nullptr);
    TVodirAdIO io(&form);
    EXPECT_EQ(IETWOwnerWindow(&io), nullptr);  // the form's window does not exist yet
    HWND handle = form.Handle();
    EXPECT_EQ(IETWOwnerWindow(&io), handle);
    TVodirAdIO alone(nullptr);
    EXPECT_EQ(IETWOwnerWindow(&alone), nullptr);
}

// ---- WIA ----

// What a second initialisation on the thread answers: S_FALSE while OLE is still initialised there,
// S_OK when it is not. Undone at once either way.
HRESULT SecondInit(DWORD model = COINIT_APARTMENTTHREADED)
{
    const HRESULT hr = CoInitializeEx(nullptr, model);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr;
}

template <typename F>
void OnFreshThread(F f)
{
    std::thread(f).join();
}

TEST(WiaObject, MakesWinesDeviceManagerAndBalancesOleOnItsThread)
{
    OnFreshThread([] {
        EXPECT_EQ(SecondInit(), S_OK);
        {
            TIEWia wia(nullptr);
            EXPECT_EQ(wia.OleResult(), S_OK);
            EXPECT_EQ(wia.CreationResult(), S_OK);
            EXPECT_NE(wia.DeviceManager(), nullptr);
            EXPECT_TRUE(wia.Devices().empty());  // no scanner or camera here
            EXPECT_EQ(SecondInit(), S_FALSE);
            {
                TIEWia second(nullptr);
                EXPECT_EQ(second.OleResult(), S_FALSE);
            }
            EXPECT_EQ(SecondInit(), S_FALSE);  // the first one's still stands
        }
        EXPECT_EQ(SecondInit(), S_OK);
    });
}

TEST(WiaObject, ThroughTheComponentItGoesWithTheComponent)
{
    OnFreshThread([] {
        {
            TVodirAdIO io(nullptr);
            ASSERT_NE(io.GetWia(), nullptr);
            EXPECT_EQ(SecondInit(), S_FALSE);
        }
        EXPECT_EQ(SecondInit(), S_OK);
    });
}

TEST(WiaObject, AThreadInAnotherApartmentIsLeftAsItWas)
{
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            TIEWia wia(nullptr);
            EXPECT_EQ(wia.OleResult(), RPC_E_CHANGED_MODE);
        }
        // Still the thread's own initialisation, not undone by the object.
        EXPECT_EQ(SecondInit(COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        EXPECT_EQ(SecondInit(), S_OK);
    });
}

// A device manager registered in the process, standing in for the service: it either refuses to be
// made or counts the references held on the one it made.
class FakeManager : public IUnknown {
public:
    std::atomic<long> refs{0};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
};

class FakeFactory : public IClassFactory {
public:
    explicit FakeFactory(FakeManager* made) : made_(made) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override
    {
        *out = nullptr;
        return made_ ? made_->QueryInterface(iid, out) : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    FakeManager* made_;
};

const GUID kClsidWiaDevMgr = {0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};

// Runs f with the fake registered for the device manager's class on a fresh thread.
template <typename F>
void WithFakeManager(FakeManager* made, F f)
{
    OnFreshThread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        FakeFactory factory(made);
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(kClsidWiaDevMgr, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie),
                  S_OK);
        f();
        CoRevokeClassObject(cookie);
        CoUninitialize();
        EXPECT_EQ(SecondInit(), S_OK);
    });
}

TEST(WiaObject, AFailedCreationLeavesNoManagerAndStillReleasesCleanly)
{
    WithFakeManager(nullptr, [] {
        {
            TIEWia wia(nullptr);
            EXPECT_EQ(wia.CreationResult(), E_OUTOFMEMORY);
            EXPECT_EQ(wia.DeviceManager(), nullptr);
            EXPECT_TRUE(wia.DoProgress(50));
        }
        EXPECT_EQ(SecondInit(), S_FALSE);  // the test's own initialisation, and no more
    });
}

TEST(WiaObject, TheManagerIsReleasedExactlyOnce)
{
    FakeManager manager;
    WithFakeManager(&manager, [&] {
        {
            TIEWia wia(nullptr);
            EXPECT_EQ(wia.CreationResult(), S_OK);
            EXPECT_EQ(wia.DeviceManager(), static_cast<void*>(&manager));
            EXPECT_GE(manager.refs.load(), 1);
        }
        EXPECT_EQ(manager.refs.load(), 0);
    });
}

}  // namespace
