// Fuzz target: the portable BMP reader on arbitrary bytes, as a file read from a stream, as a file
// in memory and as a packed DIB. Anything but EInvalidGraphic, a crash, a read outside the input
// or a result that breaks the header's own promises is a finding.
#include "platform/rtl/BmpReader.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// The reader's own limits: what an image may allocate is bounded by its data, which a tight
// -rss_limit_mb checks.
const rtl::TBmpLimits kLimits{};

void Check(bool promise)
{
    if (!promise)
        std::abort();
}

void CheckImage(const rtl::TBmpImage& image, std::size_t size)
{
    const rtl::TBmpHeader& h = image.Header;
    Check(h.Width > 0 && h.Height > 0 && h.RowLength > 0 && h.RowLength % 4 == 0);
    static constexpr std::uint64_t kBits[] = {1, 4, 8, 16, 16, 24, 32};  // by TBmpPixelFormat
    Check(h.Format >= rtl::bf1bit && h.Format <= rtl::bf32bit);
    Check(static_cast<std::uint64_t>(h.RowLength) == (h.Width * kBits[h.Format] + 31) / 32 * 4);
    Check(image.Pixels.size() == h.ImageBytes() && h.ImageBytes() <= kLimits.MaxPixelBytes);
    Check(h.PixelOffset <= size && h.PixelBytes <= size - h.PixelOffset);
    Check(h.BitCount > 8 || (!h.Colors.empty() && h.Colors.size() <= (1u << h.BitCount)));
    // Every byte handed out is initialised: the sanitizers see a read of each.
    unsigned sum = 0;
    for (std::uint8_t b : image.Pixels)
        sum += b;
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        rtl::TReadOnlyMemoryStream stream(data, static_cast<std::int64_t>(size));
        const std::vector<std::uint8_t> file = rtl::ReadBmpFile(stream, kLimits);
        // Exactly the file's bytes are taken, and they are the input's first bytes.
        Check(stream.Position() == static_cast<std::int64_t>(file.size()) && file.size() <= size);
        CheckImage(rtl::DecodeBmp(file.data(), file.size(), kLimits), file.size());
    } catch (const rtl::EInvalidGraphic&) {
    }
    try {
        CheckImage(rtl::DecodeBmp(data, size, kLimits), size);
    } catch (const rtl::EInvalidGraphic&) {
    }
    if (size > rtl::kBmpFileHeaderSize) {
        try {
            const std::size_t dibSize = size - rtl::kBmpFileHeaderSize;
            CheckImage(rtl::DecodeDib(data + rtl::kBmpFileHeaderSize, dibSize, kLimits), dibSize);
        } catch (const rtl::EInvalidGraphic&) {
        }
    }
    return 0;
}
