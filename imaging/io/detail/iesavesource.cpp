// Converted copies of the bitmaps the writers read.
#include "imaging/io/detail/iesavesource.h"

#include "imaging/core/vodiradproc.h"

namespace imaging::detail {

std::unique_ptr<TIEBitmap> IEConvertedCopy(TIEBitmap& Source, TIEPixelFormat Format)
{
    auto copy = std::make_unique<TIEBitmap>();
    copy->AssignImage(&Source);
    copy->MonoConversion = Source.MonoConversion;  // converted the way the source would be
    copy->SetPixelFormat(Format);
    return copy;
}

std::unique_ptr<TIEBitmap> IEBilevelCopy(TIEBitmap& Source, TRGB& Dark, TRGB& Light)
{
    if (std::unique_ptr<TIEBitmap> two = TwoColorsTo1Bit(&Source, Dark, Light))
        return two;
    Dark = TRGB{0, 0, 0};
    Light = TRGB{255, 255, 255};
    return IEConvertedCopy(Source, ie1g);
}

}  // namespace imaging::detail
