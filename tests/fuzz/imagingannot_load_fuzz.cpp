// Fuzz target: the imaging annotation parser on arbitrary bytes. A blob it takes must build back
// into one that loads to the same marks, and that one must build back byte for byte.
#include "imaging/io/ieimagingannot.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    imaging::TIEImagingAnnot first;
    if (!first.LoadFromBuffer(data, std::int64_t(size)))
        return 0;
    const std::vector<std::uint8_t> blob = first.SaveToBuffer();
    imaging::TIEImagingAnnot second;
    if (!blob.empty() && !second.LoadFromBuffer(blob.data(), std::int64_t(blob.size())))
        std::abort();
    if (second.Count() != first.Count() || second.SaveToBuffer() != blob)
        std::abort();
    return 0;
}
