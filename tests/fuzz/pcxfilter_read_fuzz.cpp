// Fuzz target: the PCX reader on arbitrary bytes, with and without a size that ends before the
// stream does, followed by the writer and a read-back (raster_fuzz.h).
#include "imaging/io/pcxfilter.h"
#include "raster_fuzz.h"

using rasterfuzz::Job;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto read = [](rtl::TStream& s, Job& j) {
        imaging::ReadPCXStream(s, &j.bitmap, j.params, 0, j.progress, false);
    };
    auto write = [](rtl::TStream& s, Job& j) { imaging::WritePCXStream(s, &j.bitmap, j.params, j.progress); };
    rasterfuzz::ReadWriteReadBack(data, size, read, write);
    // A block that leaves the last bytes out moves where the 256-colour palette is looked for.
    if (size > 900) {
        const std::int64_t block = std::int64_t(size) - 7;
        auto readBlock = [block](rtl::TStream& s, Job& j) {
            imaging::ReadPCXStream(s, &j.bitmap, j.params, block, j.progress, false);
        };
        rasterfuzz::ReadWriteReadBack(data, size, readBlock, write, read, false);
    }
    return 0;
}
