// EXIF blocks (the payload of a JPEG APP1 marker: "Exif", two zero bytes and a TIFF structure)
// built from and read into the EXIF fields of the I/O parameters. Portable.
#pragma once

#include "imaging/io/ioparams.h"

#include <cstdint>
#include <vector>

namespace imaging {

// The block of Params' EXIF fields: the first directory holds the EXIF tags of a first directory
// and no others, the EXIF directory follows, and the thumbnail (Params.EXIF_Bitmap(), written
// uncompressed) takes the second directory. False, with Buffer empty, when the block would pass
// the 65,533 bytes a JPEG marker holds or could not be written.
bool BuildExifBlock(TIOParamsVals& Params, std::vector<std::uint8_t>& Buffer);

// Reads a block into Params' EXIF fields, sets HasEXIF and reads the thumbnail (second directory)
// into Params' EXIF bitmap (created when absent; a thumbnail this library cannot decode leaves it
// empty). False, with Params unchanged, for data that do not start with "Exif" or are too short to
// hold a TIFF header (14 bytes). Never throws for bad data.
bool LoadExifBlock(const void* Data, std::int64_t Length, TIOParamsVals& Params);

// Copies every EXIF field: the strings, numbers and arrays, orientation and resolutions.
void ExifToParams(const TIOParamsVals& Source, TIOParamsVals& Target);

}  // namespace imaging
