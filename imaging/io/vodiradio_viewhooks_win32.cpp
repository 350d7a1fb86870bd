// What an image view needs of the I/O component it makes on first use: its creation, attached to the
// view, its progress event, the library's default resolution and whether a DirectShow wrapper that
// posted to it is the component's own, with a graph. Installed by the I/O unit.
#include "imaging/io/vodiradio_viewhooks_win32.h"

#include "imaging/core/ieds_win32.h"
#include "imaging/core/vodiradview_win32.h"
#include "imaging/io/ioparams.h"
#include "imaging/io/vodiradio.h"

namespace imaging {

namespace {

TVodirAdIO* CreateForView(TIEView* View)
{
    auto* io = new TVodirAdIO(View);
    io->SetAttachedVodirAd(View);
    return io;
}

rtl::TComponent* AsComponent(TVodirAdIO* IO) { return IO; }

void SetOnProgress(TVodirAdIO* IO, const TIEProgressNotifyEvent& Event) { IO->OnProgress = Event; }

void DefaultDpi(int& X, int& Y)
{
    X = IEDefaultDpiX;
    Y = IEDefaultDpiY;
}

// Compared, never followed: the pointer came in a posted message and may be of a wrapper long gone.
bool IsLiveDirectShow(TVodirAdIO* IO, const void* Wrapper)
{
    const TIEDirectShow* ds = IO->DirectShowIfMade();
    return ds && ds == Wrapper && ds->Connected();
}

const TIEViewIOHooks kHooks = {CreateForView, AsComponent, SetOnProgress, DefaultDpi, IsLiveDirectShow};

}  // namespace

void IEInstallViewIOHooks() { IESetViewIOHooks(&kHooks); }
void IERemoveViewIOHooks() { IESetViewIOHooks(nullptr); }

}  // namespace imaging
