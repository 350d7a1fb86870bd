// TIEBitmap copies to and from a TBitmap of the GUI layer, through a platform bitmap working on its pixels.
#include "imaging/core/iebitmap.h"

#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

namespace imaging {

void TIEBitmap::CopyToTBitmap(win::TBitmap* Dest)
{
    if (!Dest || (VclBitmap() && VclBitmap()->GuiBitmap() == Dest))
        return;
    auto wrapped = IEWrapTBitmap(Dest);
    CopyToTBitmap(wrapped.get());
}

void TIEBitmap::CopyFromTBitmap(win::TBitmap* Source)
{
    if (!Source || (VclBitmap() && VclBitmap()->GuiBitmap() == Source))
        return;
    auto wrapped = IEWrapTBitmap(Source);
    CopyFromTBitmap(wrapped.get());
}

bool TIEBitmap::AssignGuiBitmap(rtl::TObject* Source)
{
    auto* bitmap = dynamic_cast<win::TBitmap*>(Source);
    if (!bitmap)
        return false;
    CopyFromTBitmap(bitmap);
    return true;
}

}  // namespace imaging
