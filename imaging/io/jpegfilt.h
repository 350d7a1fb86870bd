// JPEG files through libjpeg: the decoder and the encoder over the library's stream managers. The
// library's error exit jumps back into this unit, which turns it into the abort flag (reading) or
// EIEJpegException (writing); no exception ever passes through the library. Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <string>

namespace imaging {

// An error the library reported, with the text of its message table (placeholders shown as "?").
class EIEJpegException : public rtl::Exception {
public:
    explicit EIEJpegException(std::string message) : Exception(std::move(message)) {}
};

// Reads the JPEG that starts at one of the 100 places from the stream's position into a 24-bit
// bitmap, filling Params (size, colour space, resolution, scale, markers, warnings). TablesStream,
// when given and other than Stream, holds abbreviated tables read first. RawYCbCr leaves a YCbCr
// file's samples unconverted, Y, Cb, Cr in each pixel's three bytes. ParamsOnly fills Params and
// leaves Bitmap alone.
//
// Never throws for bad data: the abort flag is set and the bitmap is empty or partly decoded. A
// stream that ends early is decoded as far as it goes, the rest of the image grey, and counted as
// a warning. On success the stream is left just after the image's end marker when it can seek.
void DecodeJpegStream(rtl::TStream& Stream, rtl::TStream* TablesStream, TIEBitmap* Bitmap, bool RawYCbCr,
                      bool ParamsOnly, TProgressRecord& Progress, TIOParamsVals& Params);

// Writes the bitmap (any pixel format; non-24-bit ones are encoded from a 24-bit copy) with the
// settings of Params and its marker list. A library error sets the abort flag and raises
// EIEJpegException once the library's objects are released; a short write sets the abort flag and
// stops. An empty bitmap sets the abort flag and writes nothing.
void EncodeJpegStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                      TProgressRecord& Progress);

// The text of a library message code 0 to 123: its entry in the library's table with each printf
// placeholder written "?" (code 1 as the interface first worded it), or "Corrupted" for any other.
std::string IEJpegMessage(int Code);

// Limits of one decoding. The image's full size, in bytes of 24-bit rows, is checked before anything
// is allocated; the library may use at most IEJpegMaxMemory bytes of its own; a file with more
// than IEJpegMaxScans scans (progressive files carry about ten) is refused. The fuzz target
// lowers them to keep each run fast.
extern std::int64_t IEJpegMaxImageBytes;
extern std::int64_t IEJpegMaxMemory;
extern int IEJpegMaxScans;

}  // namespace imaging
