// Fuzz target: the TGA reader on arbitrary bytes, followed by the writer, alpha included, and a
// read-back (raster_fuzz.h).
#include "imaging/io/ietgafil.h"
#include "raster_fuzz.h"

using rasterfuzz::Job;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rasterfuzz::ReadWriteReadBack(
        data, size,
        [](rtl::TStream& s, Job& j) {
            imaging::ReadTGAStream(s, &j.bitmap, j.params, j.mask, false, false, j.progress);
        },
        [](rtl::TStream& s, Job& j) {
            imaging::WriteTGAStream(s, &j.bitmap, j.params, j.progress, j.mask.get());
        });
    return 0;
}
