// What an image view needs of the I/O component it makes on first use: its creation, attached to the
// view, its progress event and the library's default resolution. Installed by the I/O unit.
#include "imaging/io/vodiradio_viewhooks_win32.h"

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

void SetOnProgress(TVodirAdIO* IO, const TIEProgressEvent& Event) { IO->OnProgress = Event; }

void DefaultDpi(int& X, int& Y)
{
    X = IEDefaultDpiX;
    Y = IEDefaultDpiY;
}

const TIEViewIOHooks kHooks = {CreateForView, AsComponent, SetOnProgress, DefaultDpi, nullptr};

}  // namespace

void IEInstallViewIOHooks() { IESetViewIOHooks(&kHooks); }
void IERemoveViewIOHooks() { IESetViewIOHooks(nullptr); }

}  // namespace imaging
