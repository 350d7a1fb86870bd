// Fuzz target: TIFF and GIF LZW decoders on arbitrary bytes; a failure must be reported, never a
// crash or a read outside the data, and a GIF failure must rewind the stream.
#include "imaging/io/giflzw.h"
#include "imaging/io/tiflzw.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

// Byte 0: bit 0 selects GIF, bit 1 interlacing. Bytes 1-2: TIFF row length or GIF width (low 10
// bits). Byte 3: GIF height. The rest is the coded data.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const bool gif = data[0] & 1;
    const bool interlaced = data[0] & 2;
    const std::int32_t dim = ((data[1] | (data[2] << 8)) & 0x3FF) + 1;
    const std::uint8_t* payload = data + 4;
    const auto payloadSize = static_cast<std::int64_t>(size - 4);
    if (!gif) {
        imaging::TIFFLZWDecodeStatePtr state;
        for (int row = 0; row < 4096 && payloadSize > 0; ++row) {
            std::int32_t got = 0;
            const std::uint8_t* out = imaging::TIFFLZWDecompress(payload, payloadSize, dim, state, &got);
            if (out == nullptr)
                break;
            if (got < 0 || got > dim)
                std::abort();
            volatile std::uint8_t sink = got ? out[got - 1] : 0;  // the bytes handed out must be readable
            (void)sink;
            if (got < dim)
                break;
        }
        imaging::TIFFLZWDecompress(nullptr, 0, dim, state);
        return 0;
    }
    const std::int32_t width = dim & 0xFF;
    const std::int32_t height = data[3];
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) + 1);
    rtl::TReadOnlyMemoryStream stream(payload, payloadSize);
    if (!imaging::GIFLZWDecompress(stream, height, width, pixels.data(), interlaced) &&
        stream.Position() != 0)
        std::abort();
    return 0;
}
