// Fuzz target: the EXIF block reader on arbitrary bytes (made to start "Exif" half the time). A
// block it takes must build back; that block must read back, and build back byte for byte when it
// has no thumbnail (a JPEG thumbnail changes a little each time it is coded).
#include "imaging/io/ieexif.h"
#include "imaging/io/tiffilt.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The TIFF limit stays the program's: a thumbnail is bounded by what its bytes can hold, so a
    // small block never makes a large image.
    std::vector<std::uint8_t> block(data, data + size);
    if (size > 0 && (data[0] & 1) && size >= 4)
        std::memcpy(block.data(), "Exif", 4);
    imaging::TIOParamsVals first(nullptr);
    if (!imaging::LoadExifBlock(block.data(), std::int64_t(block.size()), first))
        return 0;
    std::vector<std::uint8_t> built;
    if (!imaging::BuildExifBlock(first, built))
        return 0;  // too big for a marker
    imaging::TIOParamsVals second(nullptr);
    if (!imaging::LoadExifBlock(built.data(), std::int64_t(built.size()), second))
        std::abort();
    std::vector<std::uint8_t> again;
    if (!imaging::BuildExifBlock(second, again))
        std::abort();
    const imaging::TIEBitmap* thumbnail = second.EXIF_Bitmap();
    if ((!thumbnail || const_cast<imaging::TIEBitmap*>(thumbnail)->GetWidth() == 0) && again != built)
        std::abort();
    return 0;
}
