// The I/O component off Windows: no views, platform bitmaps, metafiles, AVI files or HTTP; files are
// replaced with rename(2).
#include "imaging/io/detail/vodiradio_platform.h"
#include "imaging/io/vodiradio.h"
#include "platform/rtl/Exceptions.h"

#include <cstdio>
#include <string>

namespace imaging {

struct TIEIOPlatform {};

void TIEIOPlatformDeleter::operator()(TIEIOPlatform* Platform) const { delete Platform; }

namespace detail {

TIEIOPlatform* IENewIOPlatform() { return new TIEIOPlatform; }

void IEDebugOutput(const char* Text) { std::fprintf(stderr, "%s\n", Text); }

bool IEViewDpi(TIEView*, int&, int&) { return false; }

void IEViewBackground(TIEView*, TColor&) {}

bool IEIsView(rtl::TComponent*, TIEView*) { return false; }

bool IEReplaceFile(const std::string& Temp, const std::string& Target)
{
    return std::rename(Temp.c_str(), Target.c_str()) == 0;
}

std::unique_ptr<rtl::TMemoryStream> IEHttpFetch(const TIEHttpRequest&, const std::atomic<bool>&,
                                                std::string& Error)
{
    Error = "loading over HTTP needs the Windows build, whose HTTP library it goes through";
    return nullptr;
}

}  // namespace detail

namespace {
[[noreturn]] void NoGui()
{
    throw rtl::EInvalidArgument("views and platform bitmaps exist only in the Windows build");
}

// What a description sets here can only be nil.
void OnlyNil(const void* Value)
{
    if (Value)
        NoGui();
}
}  // namespace

void TVodirAdIO::SetAttachedVodirAd(TIEView* Value)
{
    if (Value)
        NoGui();
    Detach();
    UseOwnBitmap();
}

void TVodirAdIO::SetAttachedTBitmap(win::TBitmap* Value)
{
    if (Value)
        NoGui();
}

void TVodirAdIO::SetAttachedTImage(win::TImage* Value)
{
    if (Value)
        NoGui();
    Detach();
    UseOwnBitmap();
}

rtl::TComponent* TVodirAdIO::PublishedView() const { return nullptr; }
rtl::TComponent* TVodirAdIO::PublishedImage() const { return nullptr; }
rtl::TPersistent* TVodirAdIO::PublishedPreviewFont() { return nullptr; }
bool TVodirAdIO::PreviewFontStored() const { return false; }

void TVodirAdIO::SetPublishedView(rtl::TComponent* Value) { OnlyNil(Value); }
void TVodirAdIO::SetPublishedImage(rtl::TComponent* Value) { OnlyNil(Value); }
void TVodirAdIO::SetPublishedPreviewFont(rtl::TPersistent* Value) { OnlyNil(Value); }

void TVodirAdIO::PlatformDetach() {}
void TVodirAdIO::PlatformRewrap() {}
void TVodirAdIO::PlatformEndWork() {}
void TVodirAdIO::PlatformViewDpi(int, int) {}
void TVodirAdIO::PlatformCloseAVI() {}
TIEDirectShow* TVodirAdIO::GetDirectShow() { return nullptr; }
TIEDirectShow* TVodirAdIO::DirectShowIfMade() const { return nullptr; }
bool TVodirAdIO::PlatformHasTBitmap() const { return false; }
void TVodirAdIO::FollowView() {}
void TVodirAdIO::ViewBitmapChanged(bool) {}

void TVodirAdIO::LoadMetafile(const std::string&, int, int, bool)
{
    AbortFlag = true;
    DoFinishWork();
}

int TVodirAdIO::OpenAVIReader(const std::string& FileName)
{
    CloseAVIReader();
    Params().ImageCount = 0;
    Params().FrameDelay = 0;
    Params().FileName = FileName;
    Params().FileType = ioUnknown;
    AbortFlag = true;
    return 0;
}

void TVodirAdIO::LoadAVIFrame(int) { DoFinishWork(); }

void TVodirAdIO::CloseAVIReader() {}

bool TVodirAdIO::DoPreviews(std::uint16_t)
{
    // No dialog without windows: only a handler can stand for it.
    bool handled = false;
    OnDoPreviews(this, handled);
    return handled;
}

}  // namespace imaging
