// JPEG streams inside TIFF pages, read and written by the JPEG adaptor: a CMYK page's samples are
// amounts of ink (0 for none), where a JPEG file's own CMYK samples are the paper left.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

namespace imaging::detail {

// DecodeJpegStream (never ParamsOnly), with CMYK and YCCK samples taken as amounts of ink.
void DecodeTiffJpegStream(rtl::TStream& Stream, rtl::TStream* TablesStream, TIEBitmap* Bitmap, bool RawYCbCr,
                          TProgressRecord& Progress, TIOParamsVals& Params);

// EncodeJpegStream, with the CMYK of JPEGColorSpace 3 written as amounts of ink.
void EncodeTiffJpegStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                          TProgressRecord& Progress);

}  // namespace imaging::detail
