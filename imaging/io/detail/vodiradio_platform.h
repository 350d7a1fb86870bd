// The I/O component's jobs, and what its portable core asks of the platform: the GUI attachments, the
// debugger output, and replacing a file with a finished temporary one. One implementation per platform
// (vodiradio_win32.cpp, vodiradio_posix.cpp).
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/io/detail/iehttpurl.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Component.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace imaging {

// Everything one load or save needs, prepared on the calling thread. The reader works on the job's
// own bitmap and parameters, so nothing the user or a view sees changes until the job is handed over
// on the main thread; the writer reads what no one can change while it writes.
struct TVodirAdIO::TJob {
    bool save = false;
    bool paramsOnly = false;
    std::string fileName;  // empty for streams
    rtl::TStream* stream = nullptr;
    int fileType = 0;
    const TIEFormatSteps* steps = nullptr;
    const TIOFileFormat* row = nullptr;  // a registry row's routines, for types without steps
    bool viewDpi = false;
    // A step without a stream of its own (metafiles, AVI frames); runs in place of the reader.
    std::function<void(TJob& job, TProgressRecord& progress)> body;

    std::unique_ptr<TIEBitmap> bitmap;
    // What a save writes: the job's bitmap, or the working bitmap itself where nothing can change it
    // meanwhile.
    TIEBitmap* source = nullptr;
    std::unique_ptr<TIOParamsVals> params;
    std::unique_ptr<TIEBitmap> alpha;
    TColor background = 0;
    int result = 0;
    // False when nothing is to be handed over (a failed open on a worker, a refused stream header).
    bool handOver = true;
    // A load over HTTP: the body leaves the bytes it fetched here, to be read as a stream, or says
    // in error why there are none.
    bool http = false;
    std::unique_ptr<rtl::TStream> fetched;
    std::string error;
};

}  // namespace imaging

namespace imaging::detail {

TIEIOPlatform* IENewIOPlatform();
void IEDebugOutput(const char* Text);
// The view's resolution and background; false and unchanged without a view.
bool IEViewDpi(TIEView* View, int& DpiX, int& DpiY);
void IEViewBackground(TIEView* View, TColor& Color);
bool IEIsView(rtl::TComponent* Component, TIEView* View);

// Puts Temp in Target's place, replacing an existing Target in one step; false on failure (Temp
// is then still there).
bool IEReplaceFile(const std::string& Temp, const std::string& Target);

// One GET, as the component's settings ask for it.
struct TIEHttpRequest {
    TIEHttpAddress Address;
    bool ViaProxy = false;
    std::string Proxy;  // as given, for the HTTP library
    TIEHttpAddress ProxyAddress;
    std::string ProxyUser;
    std::string ProxyPassword;
    int ConnectTimeout = 0;
    int ReceiveTimeout = 0;
    std::int64_t MaxBodySize = 0;
};

// The body of a 2xx answer, in full; null with Error saying why otherwise, and as soon as Abort is
// set. Runs on whichever thread runs the job.
std::unique_ptr<rtl::TMemoryStream> IEHttpFetch(const TIEHttpRequest& Request, const std::atomic<bool>& Abort,
                                                std::string& Error);

}  // namespace imaging::detail
