#include "imaging/core/detail/iecpu.h"

#include <atomic>

namespace imaging::detail {

namespace {

std::atomic<bool> avx2Allowed{true};

bool ProcessorHasAvx2()
{
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

}  // namespace

bool UseAvx2() { return avx2Allowed.load(std::memory_order_relaxed) && ProcessorHasAvx2(); }

bool AllowAvx2(bool allowed) { return avx2Allowed.exchange(allowed); }

}  // namespace imaging::detail
