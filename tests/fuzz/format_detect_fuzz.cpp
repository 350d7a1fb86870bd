// Fuzz target: content detection and each probe on arbitrary bytes, at the start and mid-stream;
// every answer must be a known code and the stream position must come back.
#include "imaging/io/detail/ieprobes.h"
#include "imaging/io/iefileformats.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>
#include <cstdlib>

namespace {

using fuzz::Check;

void ProbeAt(rtl::TStream& stream, std::int64_t position)
{
    stream.SetPosition(position);
    const int type = imaging::FindStreamFormat(stream);
    Check(type >= imaging::ioUnknown && type <= imaging::ioPDF);
    Check(stream.Position() == position);

    using Probe = bool (*)(rtl::TStream&) noexcept;
    const Probe probes[] = {imaging::TryPNG, imaging::TryICO, imaging::TryCUR, imaging::TryTGA,
                            imaging::TryPXM, imaging::TryJP2, imaging::TryJ2K, imaging::TryAVI};
    for (Probe probe : probes) {
        probe(stream);
        Check(stream.Position() == position);
    }
    const std::int64_t soi = imaging::FindJpegSOI(stream);
    Check(soi == -1 || (soi >= position && soi < position + 100));
    Check(stream.Position() == position);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    rtl::TReadOnlyMemoryStream stream(data, static_cast<std::int64_t>(size));
    ProbeAt(stream, 0);
    if (size > 0) {
        // The first byte picks a start inside the data, as when a format sits inside a container.
        ProbeAt(stream, data[0] % static_cast<std::int64_t>(size));
    }
    return 0;
}
