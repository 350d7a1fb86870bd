// TIEBitmap over a TBitmap of the GUI layer that belongs to someone else (a view's picture, say).
#include "imaging/core/iebitmap.h"

#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

namespace imaging {

void TIEBitmap::EncapsulateTBitmap(win::TBitmap* Bitmap, bool FreeFirst)
{
    if (FreeFirst)
        FreeImage();
    if (!Bitmap)
        return;
    if (wrapper_ && wrapper_->GuiBitmap() == Bitmap && encapsulated_) {
        SyncFromTBitmap();
        return;
    }
    auto wrapper = IEWrapTBitmap(Bitmap);
    EncapsulateTBitmap(wrapper.get(), false);
    // Kept only after the call, which drops any earlier wrapper.
    wrapper_ = std::move(wrapper);
}

}  // namespace imaging
