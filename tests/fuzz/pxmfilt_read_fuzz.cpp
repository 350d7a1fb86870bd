// Fuzz target: the anymap and WBMP readers on arbitrary bytes, each followed by its writer and a
// read-back (raster_fuzz.h).
#include "imaging/io/pxmfilt.h"
#include "imaging/io/wbmpfilt.h"
#include "raster_fuzz.h"

using rasterfuzz::Job;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rasterfuzz::ReadWriteReadBack(
        data, size,
        [](rtl::TStream& s, Job& j) { imaging::ReadPXMStream(s, &j.bitmap, j.params, j.progress, false); },
        [](rtl::TStream& s, Job& j) { imaging::WritePXMStream(s, &j.bitmap, j.params, j.progress); });
    rasterfuzz::ReadWriteReadBack(
        data, size,
        [](rtl::TStream& s, Job& j) { imaging::ReadWBMPStream(s, &j.bitmap, j.params, false, j.progress); },
        [](rtl::TStream& s, Job& j) { imaging::WriteWBMPStream(s, &j.bitmap, j.progress); }, true);
    return 0;
}
