// The TIFF structure of an EXIF block, written by the TIFF writer for the EXIF helpers.
#pragma once

#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

namespace imaging::detail {

// Writes, from the stream's position, a little-endian TIFF whose first directory holds the EXIF
// tags of the first directory and the EXIF directory, and whose second holds Params' EXIF
// thumbnail (uncompressed 24-bit RGB) when there is one. False when a write failed (the abort
// flag is then set too).
bool WriteExifTiff(rtl::TStream& Stream, TIOParamsVals& Params, TProgressRecord& Progress);

}  // namespace imaging::detail
