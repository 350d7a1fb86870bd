// The component's marker steps around the JPEG reader and writer: IPTC records travel in the APP13
// marker's image-resource blocks and EXIF in an APP1 marker, both kept in Params.JPEGMarkerList.
// Portable; the JPEG unit calls them before writing and after reading.
#pragma once

#include "imaging/io/ioparams.h"

#include <cstdint>
#include <vector>

namespace imaging {

inline constexpr std::uint8_t kJpegApp1 = 0xE1;
inline constexpr std::uint8_t kJpegApp13 = 0xED;

// Before writing: the IPTC list becomes APP13's IPTC resource (id 0x0404). The marker's other
// resource blocks stay as they were; an empty list only takes the IPTC resource out, and the
// marker goes when nothing is left in it. A marker that would pass the 65533 bytes a JPEG segment
// holds is left as it was and the call answers false.
bool IEStoreIPTCMarker(TIOParamsVals& Params);
// Before writing with HasEXIF: Block, an EXIF payload starting "Exif\0\0", replaces the APP1
// marker that holds EXIF, or is appended. APP1 markers holding anything else (XMP) stay.
bool IEStoreEXIFMarker(TIOParamsVals& Params, const std::vector<std::uint8_t>& Block);
// After reading: the IPTC resource of an APP13 marker into the IPTC list (emptied otherwise).
void IELoadIPTCMarker(TIOParamsVals& Params);
// The index of the APP1 marker holding EXIF, or -1.
int IEFindEXIFMarker(const TIOParamsVals& Params);

}  // namespace imaging
