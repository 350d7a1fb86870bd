// Fuzz target: LZH Expand on arbitrary bytes; only ECorruptFile may come out.
#include "app/LHARoutines.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Counts what the codec writes without keeping it; a tiny stream may legally expand to 4 GiB.
class CountingSink : public rtl::TStream {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t count) override
    {
        written_ += count;
        return count;
    }
    std::int64_t Seek(std::int64_t, rtl::TSeekOrigin) override { return written_; }
    std::int64_t written_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> input(data, data + size);
    if (input.size() >= 4)
        input[2] = input[3] = 0;  // keep each run under 64 KiB of output so the fuzzer stays fast
    rtl::TReadOnlyMemoryStream source(input.data(), static_cast<std::int64_t>(input.size()));
    CountingSink sink;
    try {
        app::Expand(source, sink);
    } catch (const app::ECorruptFile&) {
        return 0;
    }
    const std::int64_t expected = input.size() < 4 ? 0 : input[0] | (input[1] << 8);
    if (sink.written_ != expected)
        std::abort();
    return 0;
}
