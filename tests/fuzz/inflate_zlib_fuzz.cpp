// Fuzz target: the skin reader's inflater against zlib on the same raw DEFLATE bytes. Both must
// agree on whether the stream is sound within the limit, and on every byte it gives.
#include "skin/SUI2Inflate.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kLimit = 1 << 20;

struct TZlibResult {
    bool ok = false;
    bool undecided = false;  // stopped where the two readers are meant to differ
    std::vector<std::uint8_t> out;
};

TZlibResult ZlibInflate(const std::uint8_t* data, std::size_t size)
{
    TZlibResult r;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        std::abort();
    r.out.resize(kLimit + 1);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = r.out.data();
    z.avail_out = static_cast<uInt>(r.out.size());
    const int rc = inflate(&z, Z_FINISH);
    r.out.resize(z.total_out);
    r.ok = rc == Z_STREAM_END && r.out.size() <= kLimit;
    // The skin inflater skips reserved blocks and does not check a stored block's NLEN, as the
    // skin files' own writer expects; zlib refuses both, and the rest of such a stream is moot.
    if (rc == Z_DATA_ERROR && z.msg &&
        (std::strcmp(z.msg, "invalid block type") == 0 ||
         std::strcmp(z.msg, "invalid stored block lengths") == 0))
        r.undecided = true;
    inflateEnd(&z);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    const TZlibResult expected = ZlibInflate(data, size);
    if (expected.undecided)
        return 0;
    std::vector<std::uint8_t> out;
    bool ok = true;
    try {
        out.resize(skin::InflateBuffer(data, size, out, kLimit));
    } catch (const rtl::Exception&) {
        ok = false;
    }
    if (ok != expected.ok)
        std::abort();
    if (ok && out != expected.out)
        std::abort();
    return 0;
}
