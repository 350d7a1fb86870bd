// Fuzz target: LZH Compress then Expand must give back the input exactly.
#include "app/LHARoutines.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rtl::TReadOnlyMemoryStream source(data, static_cast<std::int64_t>(size));
    rtl::TMemoryStream packed;
    app::Compress(source, packed);
    if (size == 0 ? packed.Size() != 0 : packed.Size() < 4)
        std::abort();
    rtl::TMemoryStream expanded;
    app::Expand(packed, expanded);
    if (expanded.Size() != static_cast<std::int64_t>(size))
        std::abort();
    if (size != 0 && std::memcmp(expanded.Memory(), data, size) != 0)
        std::abort();
    return 0;
}
