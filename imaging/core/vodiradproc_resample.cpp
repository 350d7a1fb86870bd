// Resampling engines: nearest stretch, two-pass integer-weight filters, fast linear, bilinear/bicubic point
// sampler.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/detail/iecpu.h"
#include "imaging/core/iebitmap.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>
#define VA_RESAMPLE_AVX2 1
#endif

namespace imaging {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Tables and contributor lists beyond this many bytes are refused rather than attempted: a
// 32-bit process would fail late and a 64-bit one would swap.
constexpr std::int64_t kMaxTableBytes = std::int64_t(1) << 29;

[[noreturn]] void ThrowTooLarge(const char* what, std::int64_t count)
{
    throw rtl::EOutOfMemory(std::string(what) + " of " + std::to_string(count) + " entries is too large");
}

template <class T>
std::vector<T> MakeTable(const char* what, std::int64_t count)
{
    if (count < 0 || count > kMaxTableBytes / std::int64_t(sizeof(T)))
        ThrowTooLarge(what, count);
    try {
        return std::vector<T>(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
        throw rtl::EOutOfMemory("Out of memory");
    }
}

// The DstW x SrcH intermediate of the two-pass engines. Scaling up one way and down the other
// can make it far larger than either image (2 x 100000 into 100000 x 1 would need 30 GB); beyond
// four times the larger image and a fixed allowance it is refused instead of attempted.
void CheckIntermediate(int srcW, int srcH, int dstW, int dstH, int bytesPerPixel)
{
    const std::int64_t work = std::int64_t(dstW) * srcH * bytesPerPixel;
    const std::int64_t larger =
        std::max(std::int64_t(srcW) * srcH, std::int64_t(dstW) * dstH) * bytesPerPixel;
    if (work > 4 * larger + (std::int64_t(256) << 20))
        throw rtl::EOutOfMemory("resampling " + std::to_string(srcW) + "x" + std::to_string(srcH) + " to " +
                                std::to_string(dstW) + "x" + std::to_string(dstH) +
                                " needs an intermediate of " + std::to_string(work) + " bytes");
}

// ---------------------------------------------------------------- kernels

double Sinc(double x)
{
    if (x == 0)
        return 1;
    x *= kPi;
    return std::sin(x) / x;
}

double TriangleFilter(double x)
{
    const double a = std::fabs(x);
    return a < 1 ? 1 - a : 0;
}

double HermiteFilter(double x)
{
    const double a = std::fabs(x);
    return a < 1 ? (2 * a - 3) * a * a + 1 : 0;
}

double BellFilter(double x)
{
    const double a = std::fabs(x);
    if (a < 0.5)
        return 0.75 - a * a;
    if (a < 1.5)
        return 0.5 * (a - 1.5) * (a - 1.5);
    return 0;
}

double BSplineFilter(double x)
{
    const double a = std::fabs(x);
    if (a < 1)
        return 0.5 * a * a * a - a * a + 2.0 / 3.0;
    if (a < 2) {
        const double t = 2 - a;
        return t * t * t / 6;
    }
    return 0;
}

double Lanczos3Filter(double x)
{
    const double a = std::fabs(x);
    return a < 3 ? Sinc(a) * Sinc(a / 3) : 0;
}

double MitchellFilter(double x)
{
    const double a = std::fabs(x);
    const double a2 = a * a, a3 = a2 * a;
    if (a < 1)
        return (7 * a3 - 12 * a2 + 16.0 / 3.0) / 6;
    if (a < 2)
        return (-7.0 / 3.0 * a3 + 12 * a2 - 20 * a + 32.0 / 3.0) / 6;
    return 0;
}

// The sign test is on x itself, so the box takes the pixel half a step to the left, not the right.
double NearestFilter(double x) { return x > -0.5 && x <= 0.5 ? 1 : 0; }

double LinearFilter(double x)
{
    if (x >= -1 && x < 0)
        return 1 + x;
    if (x >= 0 && x < 1)
        return 1 - x;
    return 0;
}

struct TFilterEntry {
    double (*kernel)(double);
    double support;
};

constexpr TFilterEntry FilterTable[] = {
    {nullptr, 0},        {TriangleFilter, 1}, {HermiteFilter, 1}, {BellFilter, 1.5}, {BSplineFilter, 2},
    {Lanczos3Filter, 3}, {MitchellFilter, 2}, {NearestFilter, 1}, {LinearFilter, 1},
};

bool IsKernelFilter(TResampleFilter f) { return f >= rfTriangle && f <= rfLinear; }

void CheckFilter(TResampleFilter f)
{
    if (f > rfBicubic)
        throw rtl::EInvalidArgument("resample filter " + std::to_string(int(f)) + " is unknown");
}

// ---------------------------------------------------------------- progress

class TProgress {
public:
    TProgress(void* sender, const TIEProgressEvent& event, std::int64_t steps)
        : sender_(sender), event_(event), per_(100.0 / (double(steps) + 0.5))
    {
    }
    void Step()
    {
        ++step_;
        if (event_)
            event_(sender_, int(rtl::Trunc(double(step_) * per_)));
    }

private:
    void* sender_;
    const TIEProgressEvent& event_;
    double per_;
    std::int64_t step_ = 0;
};

const TIEProgressEvent kNoProgress;

// Rows of a source as N bytes per pixel; the pointer is valid until the next call.
using TRowFetch = std::function<const std::uint8_t*(int)>;

TRowFetch DirectRows(TIEBitmap& bmp)
{
    return [&bmp](int y) -> const std::uint8_t* { return bmp.ScanLine(y); };
}

// 1-bit rows read as black and white 24-bit pixels.
TRowFetch ExpandedBitRows(TIEBitmap& bmp, std::vector<std::uint8_t>& buffer)
{
    const int w = bmp.GetWidth();
    buffer = MakeTable<std::uint8_t>("row buffer", std::int64_t(w) * 3);
    return [&bmp, &buffer, w](int y) -> const std::uint8_t* {
        const std::uint8_t* src = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t v = GetPixelBit(src, x) ? 255 : 0;
            buffer[std::size_t(x) * 3] = buffer[std::size_t(x) * 3 + 1] = buffer[std::size_t(x) * 3 + 2] = v;
        }
        return buffer.data();
    };
}

void RequireFormat(TIEBitmap& bmp, bool ok, const char* expected)
{
    if (!ok)
        throw rtl::EInvalidArgument(std::string("resample target must be ") + expected);
}

// ---------------------------------------------------------------- two-pass filter

struct TContrib {
    int pixel;
    int weight;
};

// Lists of every output index, flattened: list i is items[start[i] .. start[i + 1]).
struct TContribList {
    std::vector<std::int64_t> start;
    std::vector<TContrib> items;
};

// Mirrored at the edges, then clamped for sources too small to mirror into.
int MirrorIndex(std::int64_t j, int srcLen)
{
    std::int64_t k = j;
    if (j < 0)
        k = -j;
    else if (j >= srcLen)
        k = 2 * std::int64_t(srcLen) - j - 1;
    return int(std::clamp<std::int64_t>(k, 0, srcLen - 1));
}

TContribList BuildContributors(int srcLen, int dstLen, const TFilterEntry& f)
{
    const double scale = srcLen == 1 || dstLen == 1 ? double(dstLen) / double(srcLen)
                                                    : double(dstLen - 1) / double(srcLen - 1);
    const bool enlarging = scale >= 1;
    const double width = enlarging ? f.support : f.support / scale;
    const double fs = enlarging ? 1 : 1 / scale;
    // Each list walks at most 2 * width + 3 source indices.
    const double walk = double(dstLen) * (2 * width + 3);
    if (!(walk <= double(kMaxTableBytes / std::int64_t(sizeof(TContrib)))))
        ThrowTooLarge("contributor list", std::int64_t(std::min(walk, 9e18)));

    TContribList list;
    list.start = MakeTable<std::int64_t>("contributor index", std::int64_t(dstLen) + 1);
    try {
        list.items.reserve(
            std::size_t(std::min<double>(walk, double(kMaxTableBytes / std::int64_t(sizeof(TContrib))))));
    } catch (const std::bad_alloc&) {
        throw rtl::EOutOfMemory("Out of memory");
    }
    for (int i = 0; i < dstLen; ++i) {
        const double center = double(i) / scale;
        const int left = IEFloor(center - width);
        const int right = IECeil(center + width);
        const std::size_t first = list.items.size();
        list.start[std::size_t(i)] = std::int64_t(first);
        std::int64_t total = 0;
        for (std::int64_t j = left; j <= right; ++j) {
            const int w = enlarging ? int(rtl::Round(f.kernel(center - double(j)) * 256))
                                    : int(rtl::Round(f.kernel((center - double(j)) / fs) * 256 / fs));
            if (w != 0) {
                list.items.push_back({MirrorIndex(j, srcLen), w});
                total += w;
            }
        }
        // Shrinking by hundreds makes every scaled weight round to 0, which would give black;
        // the unscaled kernel keeps the proportions and the pass divides by their total anyway.
        if (total == 0 && !enlarging) {
            list.items.resize(first);
            for (std::int64_t j = left; j <= right; ++j) {
                const int w = int(rtl::Round(f.kernel((center - double(j)) / fs) * 256));
                if (w != 0)
                    list.items.push_back({MirrorIndex(j, srcLen), w});
            }
        }
    }
    list.start[std::size_t(dstLen)] = std::int64_t(list.items.size());
    return list;
}

inline std::uint8_t WeightedResult(int sum, int total)
{
    return total != 0 ? ClampByte(sum / total) : ClampByte(rtl::Sar(sum, 8));
}

// WeightedResult for one total, by a multiplication instead of a division. For a total in
// 1..65535 every sum that does not clamp lies in 1..255 * total - 1 < 2^24, and there the rounded-up
// reciprocal with 24 + ceil(log2 total) fraction bits gives the exact quotient; other totals divide.
struct TDivider {
    int total = 0;
    bool exact = false;
    int cap = 0;  // 255 * total
    std::uint32_t mul = 0;
    int shift = 0;

    explicit TDivider(int t) : total(t)
    {
        if (t <= 0 || t > 65535)
            return;
        int l = 0;
        while ((1 << l) < t)
            ++l;
        shift = 24 + l;
        mul = std::uint32_t(((std::uint64_t(1) << shift) + std::uint64_t(t) - 1) / std::uint64_t(t));
        cap = 255 * t;
        exact = true;
    }

    std::uint8_t operator()(int sum) const
    {
        if (!exact)
            return WeightedResult(sum, total);
        const int n = sum < 0 ? 0 : sum > cap ? cap : sum;
        return std::uint8_t((std::uint64_t(std::uint32_t(n)) * mul) >> shift);
    }

    // The same for a whole row of sums.
    void Row(const int* sums, std::uint8_t* out, std::size_t count) const
    {
        if (!exact) {
            for (std::size_t i = 0; i < count; ++i)
                out[i] = WeightedResult(sums[i], total);
            return;
        }
        const int c = cap;
        const std::uint64_t m = mul;
        const int sh = shift;
        for (std::size_t i = 0; i < count; ++i) {
            int n = sums[i];
            n = n < 0 ? 0 : n;
            n = n > c ? c : n;
            out[i] = std::uint8_t((std::uint64_t(std::uint32_t(n)) * m) >> sh);
        }
    }
};

bool WeightsFitShort(const TContribList& list)
{
    for (const TContrib& c : list.items)
        if (c.weight < -32768 || c.weight > 32767)
            return false;
    return true;
}

// Weights fit 16 bits (at most 256 in size), and so do the pixels: the products are 16 x 16 bits,
// which the vector units multiply directly, two rows at once.
inline void AddWeightedRow(int* sums, const std::uint8_t* row, int weight, std::size_t count)
{
    const std::int16_t w = std::int16_t(weight);
    for (std::size_t x = 0; x < count; ++x)
        sums[x] += int(w) * int(std::int16_t(row[x]));
}

inline void AddWeightedRows(int* sums, const std::uint8_t* r0, int w0, const std::uint8_t* r1, int w1,
                            std::size_t count)
{
    const std::int16_t a = std::int16_t(w0), b = std::int16_t(w1);
    std::size_t x = 0;
#ifdef __SSE2__
    const __m128i weights = _mm_set1_epi32(int(std::uint16_t(a)) | (int(b) << 16));
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= count; x += 16) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + x));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + x));
        const __m128i lo = _mm_unpacklo_epi8(p0, p1), hi = _mm_unpackhi_epi8(p0, p1);
        __m128i* s = reinterpret_cast<__m128i*>(sums + x);
        _mm_storeu_si128(
            s, _mm_add_epi32(_mm_loadu_si128(s), _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), weights)));
        _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1),
                                              _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), weights)));
        _mm_storeu_si128(s + 2, _mm_add_epi32(_mm_loadu_si128(s + 2),
                                              _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), weights)));
        _mm_storeu_si128(s + 3, _mm_add_epi32(_mm_loadu_si128(s + 3),
                                              _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), weights)));
    }
#endif
    for (; x < count; ++x)
        sums[x] += int(a) * int(std::int16_t(r0[x])) + int(b) * int(std::int16_t(r1[x]));
}

// The horizontal contributors of every column in pairs: byte offsets of both pixels and both
// weights. With 16-bit weights a pair is summed for all channels by one multiply-add.
class THorizontalTaps {
public:
    THorizontalTaps(const TContribList& list, int bytesPerPixel, int columns)
        : list_(list), wide_(WeightsFitShort(list) && bytesPerPixel == 3)
    {
        if (!wide_)
            return;
        start_.resize(std::size_t(columns) + 1);
        for (int i = 0; i < columns; ++i) {
            start_[std::size_t(i)] = pairs_.size();
            const std::size_t end = std::size_t(list.start[std::size_t(i) + 1]);
            for (std::size_t k = std::size_t(list.start[std::size_t(i)]); k < end; k += 2) {
                const TContrib& a = list.items[k];
                const TContrib b = k + 1 < end ? list.items[k + 1] : TContrib{a.pixel, 0};
                pairs_.push_back({a.pixel * bytesPerPixel, b.pixel * bytesPerPixel,
                                  int(std::uint16_t(std::int16_t(a.weight))) | (b.weight << 16)});
            }
        }
        start_[std::size_t(columns)] = pairs_.size();
    }

    // Rows must have four readable bytes from every pixel on.
    bool Wide() const { return wide_; }

    template <int N>
    void Sum(const std::uint8_t* src, int column, int* sum) const
    {
#ifdef __SSE2__
        if constexpr (N == 3) {
            if (wide_) {
                const __m128i zero = _mm_setzero_si128();
                __m128i acc = zero;
                const std::size_t end = start_[std::size_t(column) + 1];
                for (std::size_t k = start_[std::size_t(column)]; k < end; ++k) {
                    const TPair& p = pairs_[k];
                    std::int32_t a, b;
                    std::memcpy(&a, src + p.a, 4);
                    std::memcpy(&b, src + p.b, 4);
                    const __m128i ab = _mm_unpacklo_epi8(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b));
                    acc = _mm_add_epi32(
                        acc, _mm_madd_epi16(_mm_unpacklo_epi8(ab, zero), _mm_set1_epi32(p.weights)));
                }
                alignas(16) std::int32_t lanes[4];
                _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
                sum[0] = lanes[0];
                sum[1] = lanes[1];
                sum[2] = lanes[2];
                return;
            }
        }
#endif
        const std::size_t end = std::size_t(list_.start[std::size_t(column) + 1]);
        for (std::size_t k = std::size_t(list_.start[std::size_t(column)]); k < end; ++k) {
            const TContrib& c = list_.items[k];
            const std::uint8_t* p = src + std::size_t(c.pixel) * N;
            for (int ch = 0; ch < N; ++ch)
                sum[ch] += c.weight * p[ch];
        }
    }

private:
    struct TPair {
        int a, b;     // byte offsets
        int weights;  // a's weight in the low half, b's in the high half
    };
    const TContribList& list_;
    bool wide_;
    std::vector<TPair> pairs_;
    std::vector<std::size_t> start_;
};

// N bytes per pixel (1 or 3). Target rows receive N bytes per pixel too.
template <int N>
void TwoPassFilter(const TRowFetch& fetch, int srcW, int srcH, TIEBitmap& target, const TFilterEntry& f,
                   TProgress& progress)
{
    const int dstW = target.GetWidth(), dstH = target.GetHeight();
    CheckIntermediate(srcW, srcH, dstW, dstH, N);
    const TContribList hc = BuildContributors(srcW, dstW, f);
    const TContribList vc = BuildContributors(srcH, dstH, f);
    TIEWorkBitmap work(dstW, srcH, N * 8);

    // Per column: its contributors as byte offsets into the row, and its divider.
    std::vector<TDivider> columnDiv;
    columnDiv.reserve(std::size_t(dstW));
    for (int i = 0; i < dstW; ++i) {
        int total = 0;
        for (std::int64_t k = hc.start[std::size_t(i)]; k < hc.start[std::size_t(i) + 1]; ++k)
            total += hc.items[std::size_t(k)].weight;
        columnDiv.emplace_back(total);
    }
    const THorizontalTaps taps(hc, N, dstW);
    // The source row with room behind it: pixels are read four bytes at a time.
    std::vector<std::uint8_t> padded(std::size_t(srcW) * N + 8, 0);

    for (int y = 0; y < srcH; ++y) {
        const std::uint8_t* src = fetch(y);
        if (taps.Wide()) {
            std::memcpy(padded.data(), src, std::size_t(srcW) * N);
            src = padded.data();
        }
        std::uint8_t* out = work.ScanLine(y);
        for (int i = 0; i < dstW; ++i) {
            int sum[N] = {};
            taps.Sum<N>(src, i, sum);
            const TDivider& d = columnDiv[std::size_t(i)];
            for (int ch = 0; ch < N; ++ch)
                out[std::size_t(i) * N + ch] = d(sum[ch]);
        }
        progress.Step();
    }

    // Row by row rather than column by column: a file-backed target writes a row back each time
    // another row is reached. The arithmetic per pixel is the same.
    const std::size_t rowBytes = std::size_t(dstW) * N;
    auto sums = MakeTable<int>("row sums", std::int64_t(rowBytes));
    const bool shortWeights = WeightsFitShort(vc);
    for (int y = 0; y < dstH; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        int total = 0;
        const std::size_t end = std::size_t(vc.start[std::size_t(y) + 1]);
        std::size_t k = std::size_t(vc.start[std::size_t(y)]);
        if (shortWeights) {
            for (; k + 1 < end; k += 2) {
                const TContrib& c0 = vc.items[k];
                const TContrib& c1 = vc.items[k + 1];
                AddWeightedRows(sums.data(), work.ScanLine(c0.pixel), c0.weight, work.ScanLine(c1.pixel),
                                c1.weight, rowBytes);
                total += c0.weight + c1.weight;
            }
        }
        for (; k < end; ++k) {
            const TContrib& c = vc.items[k];
            const std::uint8_t* row = work.ScanLine(c.pixel);
            if (shortWeights)
                AddWeightedRow(sums.data(), row, c.weight, rowBytes);
            else
                for (std::size_t x = 0; x < rowBytes; ++x)
                    sums[x] += c.weight * row[x];
            total += c.weight;
        }
        TDivider(total).Row(sums.data(), target.ScanLine(y), rowBytes);
        progress.Step();
    }
}

template <int N>
void RunTwoPass(const TRowFetch& fetch, int srcW, int srcH, TIEBitmap& target, TResampleFilter filter,
                void* sender, const TIEProgressEvent& onProgress)
{
    const int dstW = target.GetWidth(), dstH = target.GetHeight();
    if (srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1 || (srcW < 2 && srcH < 2))
        return;
    TProgress progress(sender, onProgress, std::int64_t(srcH) + dstH);
    TwoPassFilter<N>(fetch, srcW, srcH, target, FilterTable[filter], progress);
}

// ---------------------------------------------------------------- fast linear

#ifdef VA_RESAMPLE_AVX2
// BlendRows17 of the byte pairs of `pairs` (two 8-bit values in each 16-bit lane). The unpacks and
// packs work within each 16-byte half, and undo each other's order there.
__attribute__((target("avx2"))) inline __m256i Blend17(__m256i pairs, __m256i high, __m256i low)
{
    return _mm256_srli_epi32(
        _mm256_add_epi32(_mm256_slli_epi32(_mm256_madd_epi16(pairs, high), 9), _mm256_madd_epi16(pairs, low)),
        17);
}

// BlendRows17's loop 32 bytes at a time; returns the bytes done.
__attribute__((target("avx2"))) std::size_t BlendRows17Avx2(const std::uint8_t* ra, const std::uint8_t* rb,
                                                            int wa, int wb, std::uint8_t* out,
                                                            std::size_t count)
{
    const __m256i high = _mm256_set1_epi32((wa >> 9) | ((wb >> 9) << 16));
    const __m256i low = _mm256_set1_epi32((wa & 511) | ((wb & 511) << 16));
    const __m256i zero = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ra + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rb + i));
        const __m256i lo = _mm256_unpacklo_epi8(a, b), hi = _mm256_unpackhi_epi8(a, b);
        const __m256i r01 = _mm256_packs_epi32(Blend17(_mm256_unpacklo_epi8(lo, zero), high, low),
                                               Blend17(_mm256_unpackhi_epi8(lo, zero), high, low));
        const __m256i r23 = _mm256_packs_epi32(Blend17(_mm256_unpacklo_epi8(hi, zero), high, low),
                                               Blend17(_mm256_unpackhi_epi8(hi, zero), high, low));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(r01, r23));
    }
    return i;
}

__attribute__((target("avx2"))) inline __m256i LoadWeights(const std::int32_t* table)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table));
}

// FastLinear's enlarging pass across a 24-bit row, four target pixels at a time: pixel x blends the
// four bytes at src + aOff[x] and src + bOff[x] (so four bytes must be readable from every offset)
// with the weights `high4`/`low4` hold for it four times over, one for each byte. Returns the pixels
// done; the rest are the caller's.
__attribute__((target("avx2"))) int AcrossRgbAvx2(const std::uint8_t* src, const int* aOff, const int* bOff,
                                                  const std::int32_t* high4, const std::int32_t* low4,
                                                  std::uint8_t* out, int count)
{
    auto load4 = [src](const int* off) {
        std::int32_t v[4];
        for (int k = 0; k < 4; ++k)
            std::memcpy(&v[k], src + off[k], 4);
        return _mm_setr_epi32(v[0], v[1], v[2], v[3]);
    };
    // After the packs the bytes of pixels 0, 2, 1 and 3 stand four apiece: three of each are kept.
    const __m128i keep = _mm_setr_epi8(0, 1, 2, 8, 9, 10, 4, 5, 6, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i a = load4(aOff + x), b = load4(bOff + x);
        // Pixels 0 and 1, then 2 and 3, one to a half, their bytes as (a, b) pairs of 16 bits.
        const __m256i p01 = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b));
        const __m256i p23 = _mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b));
        const std::size_t w = std::size_t(x) * 4;
        const __m256i sums =
            _mm256_packs_epi32(Blend17(p01, LoadWeights(high4 + w), LoadWeights(low4 + w)),
                               Blend17(p23, LoadWeights(high4 + w + 8), LoadWeights(low4 + w + 8)));
        const __m256i bytes =
            _mm256_permute4x64_epi64(_mm256_packus_epi16(sums, _mm256_setzero_si256()), 0x08);
        const __m128i row = _mm_shuffle_epi8(_mm256_castsi256_si128(bytes), keep);
        std::uint8_t* to = out + std::size_t(x) * 3;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), row);
        const std::int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(row, 8));
        std::memcpy(to + 8, &last, 4);
    }
    return x;
}
#endif

// out = a + ((b - a) * frac shr 17), that is (a * (2^17 - frac) + b * frac) shr 17, for two rows.
// Each 17-bit weight is split at bit 9 so that both halves fit the 16-bit multiply-add.
void BlendRows17(const std::uint8_t* ra, const std::uint8_t* rb, int frac, std::uint8_t* out,
                 std::size_t count)
{
    if (frac == 0) {  // on a source row: the blend is that row
        std::memcpy(out, ra, count);
        return;
    }
    const int wa = (1 << 17) - frac, wb = frac;
    std::size_t i = 0;
#ifdef VA_RESAMPLE_AVX2
    if (detail::UseAvx2())
        i = BlendRows17Avx2(ra, rb, wa, wb, out, count);
#endif
#ifdef __SSE2__
    const __m128i high = _mm_set1_epi32((wa >> 9) | ((wb >> 9) << 16));
    const __m128i low = _mm_set1_epi32((wa & 511) | ((wb & 511) << 16));
    const __m128i zero = _mm_setzero_si128();
    auto blend4 = [&](__m128i pairs) {
        const __m128i v =
            _mm_add_epi32(_mm_slli_epi32(_mm_madd_epi16(pairs, high), 9), _mm_madd_epi16(pairs, low));
        return _mm_srli_epi32(v, 17);
    };
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ra + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rb + i));
        const __m128i lo = _mm_unpacklo_epi8(a, b), hi = _mm_unpackhi_epi8(a, b);
        const __m128i p0 = _mm_unpacklo_epi8(lo, zero), p1 = _mm_unpackhi_epi8(lo, zero);
        const __m128i p2 = _mm_unpacklo_epi8(hi, zero), p3 = _mm_unpackhi_epi8(hi, zero);
        const __m128i r01 = _mm_packs_epi32(blend4(p0), blend4(p1));
        const __m128i r23 = _mm_packs_epi32(blend4(p2), blend4(p3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(r01, r23));
    }
#endif
    for (; i < count; ++i)
        out[i] = std::uint8_t((ra[i] * wa + rb[i] * wb) >> 17);
}

template <int N>
void FastLinear(const TRowFetch& fetch, int srcW, int srcH, TIEBitmap& target, void* sender,
                const TIEProgressEvent& onProgress)
{
    const int dstW = target.GetWidth(), dstH = target.GetHeight();
    if (srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1)
        return;
    const std::size_t dstRowBytes = std::size_t(dstW) * N;
    if (srcW == dstW && srcH == dstH) {
        TProgress progress(sender, onProgress, srcH);
        for (int y = 0; y < srcH; ++y) {
            std::memcpy(target.ScanLine(y), fetch(y), dstRowBytes);
            progress.Step();
        }
        return;
    }
    CheckIntermediate(srcW, srcH, dstW, dstH, N);
    TProgress progress(sender, onProgress, std::int64_t(srcH) + dstH);

    const double xs = double(dstW) / double(srcW);
    auto x0 = MakeTable<int>("column table", dstW);
    auto x1 = MakeTable<int>("column table", dstW);
    auto xf = MakeTable<int>("column table", dstW);
    for (int x = 0; x < dstW; ++x) {
        const double pos = double(x) / xs;
        x0[std::size_t(x)] = std::min(int(rtl::Trunc(pos)), srcW - 1);
        xf[std::size_t(x)] = int(rtl::Trunc((pos - double(x0[std::size_t(x)])) * 131072));
        // An unchanged axis is copied; the overlapping average below would blur it.
        x1[std::size_t(x)] = xs == 1
                                 ? x0[std::size_t(x)]
                                 : std::clamp(int(rtl::Trunc(double(std::min(x + 1, dstW - 1)) / xs + 1e-10)),
                                              x0[std::size_t(x)], srcW - 1);
    }

    // One source row taken across to the target width, with its tables.
    std::function<void(int, std::uint8_t*)> across;
    std::vector<int> aOff, bOff;
    std::vector<std::int32_t> highW, lowW, high4, low4;
    std::vector<std::uint8_t> padded;
    if (xs > 1) {
        // a + ((b - a) * frac shr 17) is (a * (2^17 - frac) + b * frac) shr 17 for whole a.
        aOff.resize(static_cast<std::size_t>(dstW));
        bOff.resize(static_cast<std::size_t>(dstW));
        for (int x = 0; x < dstW; ++x) {
            aOff[std::size_t(x)] = x0[std::size_t(x)] * N;
            bOff[std::size_t(x)] = std::min(x0[std::size_t(x)] + 1, srcW - 1) * N;
        }
#ifdef __SSE2__
        // Both weights of a column, split at bit 9 as in BlendRows17.
        highW.resize(static_cast<std::size_t>(dstW));
        lowW.resize(static_cast<std::size_t>(dstW));
        for (int x = 0; x < dstW; ++x) {
            const int f = xf[std::size_t(x)], g = (1 << 17) - f;
            highW[std::size_t(x)] = (g >> 9) | ((f >> 9) << 16);
            lowW[std::size_t(x)] = (g & 511) | ((f & 511) << 16);
        }
        // Pixels are read and written four bytes at a time: the row is copied where it has room.
        padded.assign(std::size_t(srcW) * N + 4, 0);
#endif
#ifdef VA_RESAMPLE_AVX2
        if (N == 3 && detail::UseAvx2()) {
            high4.resize(std::size_t(dstW) * 4);
            low4.resize(std::size_t(dstW) * 4);
            for (std::size_t k = 0; k < high4.size(); ++k) {
                high4[k] = highW[k / 4];
                low4[k] = lowW[k / 4];
            }
        }
#endif
        across = [&](int y, std::uint8_t* out) {
            const std::uint8_t* src = fetch(y);
            int x = 0;
#ifdef __SSE2__
            if constexpr (N == 3) {
                std::memcpy(padded.data(), src, std::size_t(srcW) * N);
#ifdef VA_RESAMPLE_AVX2
                if (!high4.empty())
                    x = AcrossRgbAvx2(padded.data(), aOff.data(), bOff.data(), high4.data(), low4.data(), out,
                                      dstW);
#endif
                const __m128i zero = _mm_setzero_si128();
                // The fourth byte written belongs to the next pixel, so the last one is left out.
                // Two pixels at a time, then one.
                auto pairs = [&](int c) {
                    std::int32_t a, b;
                    std::memcpy(&a, padded.data() + aOff[std::size_t(c)], 4);
                    std::memcpy(&b, padded.data() + bOff[std::size_t(c)], 4);
                    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b));
                };
                auto blend = [&](__m128i p, int c) {
                    return _mm_srli_epi32(
                        _mm_add_epi32(
                            _mm_slli_epi32(_mm_madd_epi16(p, _mm_set1_epi32(highW[std::size_t(c)])), 9),
                            _mm_madd_epi16(p, _mm_set1_epi32(lowW[std::size_t(c)]))),
                        17);
                };
                for (; x + 2 < dstW; x += 2) {
                    const __m128i q = _mm_unpacklo_epi64(pairs(x), pairs(x + 1));
                    const __m128i r = _mm_packs_epi32(blend(_mm_unpacklo_epi8(q, zero), x),
                                                      blend(_mm_unpackhi_epi8(q, zero), x + 1));
                    const __m128i v = _mm_packus_epi16(r, zero);
                    const std::int32_t p0 = _mm_cvtsi128_si32(v),
                                       p1 = _mm_cvtsi128_si32(_mm_srli_si128(v, 4));
                    std::memcpy(out + std::size_t(x) * N, &p0, 4);
                    std::memcpy(out + std::size_t(x) * N + N, &p1, 4);
                }
                for (; x + 1 < dstW; ++x) {
                    std::int32_t a, b;
                    std::memcpy(&a, padded.data() + aOff[std::size_t(x)], 4);
                    std::memcpy(&b, padded.data() + bOff[std::size_t(x)], 4);
                    const __m128i pairs = _mm_unpacklo_epi8(
                        _mm_unpacklo_epi8(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b)), zero);
                    const __m128i v = _mm_add_epi32(
                        _mm_slli_epi32(_mm_madd_epi16(pairs, _mm_set1_epi32(highW[std::size_t(x)])), 9),
                        _mm_madd_epi16(pairs, _mm_set1_epi32(lowW[std::size_t(x)])));
                    const __m128i r = _mm_packs_epi32(_mm_srli_epi32(v, 17), zero);
                    const std::int32_t px = _mm_cvtsi128_si32(_mm_packus_epi16(r, zero));
                    std::memcpy(out + std::size_t(x) * N, &px, 4);
                }
            }
#endif
            for (; x < dstW; ++x) {
                const std::uint8_t* pa = src + aOff[std::size_t(x)];
                const std::uint8_t* pb = src + bOff[std::size_t(x)];
                const int f = xf[std::size_t(x)], g = (1 << 17) - f;
                for (int ch = 0; ch < N; ++ch)
                    out[std::size_t(x) * N + ch] = std::uint8_t((pa[ch] * g + pb[ch] * f) >> 17);
            }
        };
    } else {
        across = [&](int y, std::uint8_t* out) {
            const std::uint8_t* src = fetch(y);
            for (int x = 0; x < dstW; ++x) {
                const int a0 = x0[std::size_t(x)], a1 = x1[std::size_t(x)];
                for (int ch = 0; ch < N; ++ch) {
                    int sum = 0;
                    for (int k = a0; k <= a1; ++k)
                        sum += src[std::size_t(k) * N + ch];
                    out[std::size_t(x) * N + ch] = std::uint8_t(sum / (a1 - a0 + 1));
                }
            }
        };
    }

    const double ys = double(dstH) / double(srcH);
    if (ys > 1) {
        // Enlarging down the image needs two rows taken across at a time: they are made as the target
        // rows reach them and stay in the cache, instead of a whole intermediate image.
        std::vector<std::uint8_t> rows[2] = {
            MakeTable<std::uint8_t>("row buffer", std::int64_t(dstRowBytes)),
            MakeTable<std::uint8_t>("row buffer", std::int64_t(dstRowBytes))};
        int held[2] = {-1, -1};
        int made = 0;
        auto row = [&](int r) -> const std::uint8_t* {
            for (int k = 0; k < 2; ++k)
                if (held[k] == r)
                    return rows[k].data();
            const int k = held[0] < held[1] ? 0 : 1;  // rows only move down: the upper one goes
            held[k] = r;
            across(r, rows[k].data());
            ++made;
            progress.Step();
            return rows[k].data();
        };
        for (int y = 0; y < dstH; ++y) {
            const double pos = double(y) / ys;
            const int y0 = std::min(int(rtl::Trunc(pos)), srcH - 1);
            const int frac = int(rtl::Trunc((pos - double(y0)) * 131072));
            const std::uint8_t* upper = row(y0);
            const std::uint8_t* lower = row(std::min(y0 + 1, srcH - 1));
            BlendRows17(upper, lower, frac, target.ScanLine(y), dstRowBytes);
            progress.Step();
        }
        for (; made < srcH; ++made)
            progress.Step();
        return;
    }
    TIEWorkBitmap work(dstW, srcH, N * 8);
    for (int y = 0; y < srcH; ++y) {
        across(y, work.ScanLine(y));
        progress.Step();
    }
    auto sums = MakeTable<int>("row sums", std::int64_t(dstRowBytes));
    for (int y = 0; y < dstH; ++y) {
        const double pos = double(y) / ys;
        const int y0 = std::min(int(rtl::Trunc(pos)), srcH - 1);
        std::uint8_t* out = target.ScanLine(y);
        const int y1 = ys == 1 ? y0
                               : std::clamp(int(rtl::Trunc(double(std::min(y + 1, dstH - 1)) / ys + 1e-10)),
                                            y0, srcH - 1);
        std::fill(sums.begin(), sums.end(), 0);
        for (int r = y0; r <= y1; ++r) {
            const std::uint8_t* row = work.ScanLine(r);
            for (std::size_t i = 0; i < dstRowBytes; ++i)
                sums[i] += row[i];
        }
        const int count = y1 - y0 + 1;
        for (std::size_t i = 0; i < dstRowBytes; ++i)
            out[i] = std::uint8_t(sums[i] / count);
        progress.Step();
    }
}

// ---------------------------------------------------------------- bilinear / bicubic point sampler

// Truncation of a sampler value. The weights of both kernels sum to 1 only up to rounding, and a
// flat area landing a hair below its whole value must not come out one level darker.
double TruncSample(double v) { return std::trunc(v + 1e-7); }

// Cubic convolution with a = -1: the weights of p(-1), p0, p1, p2 at fraction t, computed once per
// column or row; CubicApply then sums exactly as the four-term formula reads.
struct TCubicWeights {
    double m1, w0, w1, w2;
};

TCubicWeights CubicWeights(double t)
{
    const double a = std::fabs(t), b = std::fabs(t - 1), c = std::fabs(t - 2), d = std::fabs(t + 1);
    return {-d * d * d + 5 * d * d - 8 * d + 4, a * a * a - 2 * a * a + 1, b * b * b - 2 * b * b + 1,
            -c * c * c + 5 * c * c - 8 * c + 4};
}

inline double CubicApply(double pm1, double p0, double p1, double p2, const TCubicWeights& w)
{
    return std::clamp(p0 * w.w0 + p1 * w.w1 + p2 * w.w2 + pm1 * w.m1, 0.0, 255.0);
}

// How one target coordinate draws on its axis: an interpolation at a fractional position, or the
// source cells its own cell covers, each with its coverage.
struct TAxisSample {
    int base = 0;  // interpolation: the source index left of (above) the position
    double frac = 0;
    TCubicWeights cubic{};                      // of frac
    int taps[4] = {};                           // base - 1 .. base + 2, clamped to the image
    std::vector<std::pair<int, double>> cover;  // accumulation: (source index, coverage)
};

constexpr double kCellTolerance = 0.0001;

double SnapToCell(double v)
{
    const double r = std::round(v);
    return std::fabs(v - r) < kCellTolerance ? r : v;
}

std::vector<TAxisSample> BuildAxis(int srcLen, int dstLen, double ratio)
{
    auto axis = MakeTable<TAxisSample>("sample table", dstLen);
    const bool enlarging = ratio < 1;
    for (int i = 0; i < dstLen; ++i) {
        TAxisSample& s = axis[std::size_t(i)];
        if (enlarging) {
            const double pos = double(i) * ratio;
            s.base = std::min(int(std::floor(pos)), srcLen - 1);
            s.frac = pos - double(s.base);
            s.cubic = CubicWeights(s.frac);
            for (int j = 0; j < 4; ++j)
                s.taps[j] = std::clamp(s.base - 1 + j, 0, srcLen - 1);
            continue;
        }
        const double lo = SnapToCell(double(i) * ratio);
        const double hi = std::min(SnapToCell(double(i + 1) * ratio), double(srcLen));
        for (int k = int(std::floor(lo)); k < srcLen && double(k) < hi; ++k) {
            const double part = std::min(double(k) + 1, hi) - std::max(double(k), lo);
            if (part > kCellTolerance)
                s.cover.emplace_back(k, part);
        }
    }
    return axis;
}

// Rows of pixel values times 128 blended with 14-bit weights into bytes, for BilinearEnlarge.
constexpr int kScaledShift = 14 + 7, kScaledBias = 1 << 10;

#ifdef VA_RESAMPLE_AVX2
// BlendScaledRows' loop 32 values at a time; returns the values done. The multiply-adds and packs
// work within each 16-byte half, so the last pack leaves the 8-byte groups as 0, 2, 1, 3.
__attribute__((target("avx2"))) std::size_t BlendScaledRowsAvx2(const std::uint16_t* ra,
                                                                const std::uint16_t* rb, int wa, int wb,
                                                                std::uint8_t* out, std::size_t count)
{
    const __m256i weights = _mm256_set1_epi32(wa | (wb << 16));
    const __m256i bias = _mm256_set1_epi32(kScaledBias);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i half[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ra + i + 16 * h));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rb + i + 16 * h));
            const __m256i lo = _mm256_srli_epi32(
                _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), weights), bias),
                kScaledShift);
            const __m256i hi = _mm256_srli_epi32(
                _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), weights), bias),
                kScaledShift);
            half[h] = _mm256_packs_epi32(lo, hi);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_permute4x64_epi64(_mm256_packus_epi16(half[0], half[1]), 0xD8));
    }
    return i;
}
#endif

void BlendScaledRows(const std::uint16_t* ra, const std::uint16_t* rb, int wa, int wb, std::uint8_t* out,
                     std::size_t count)
{
    std::size_t i = 0;
#ifdef VA_RESAMPLE_AVX2
    if (detail::UseAvx2())
        i = BlendScaledRowsAvx2(ra, rb, wa, wb, out, count);
#endif
#ifdef __SSE2__
    const __m128i weights = _mm_set1_epi32(wa | (wb << 16));
    const __m128i bias = _mm_set1_epi32(kScaledBias);
    for (; i + 16 <= count; i += 16) {
        __m128i half[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ra + i + 8 * h));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rb + i + 8 * h));
            const __m128i lo = _mm_srli_epi32(
                _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights), bias), kScaledShift);
            const __m128i hi = _mm_srli_epi32(
                _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights), bias), kScaledShift);
            half[h] = _mm_packs_epi32(lo, hi);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(half[0], half[1]));
    }
#endif
    for (; i < count; ++i)
        out[i] = std::uint8_t((ra[i] * wa + rb[i] * wb + kScaledBias) >> kScaledShift);
}

// Bilinear enlarging both ways in fixed point: 14-bit weights, rows taken across kept as pixel
// values times 128 (so that two of them times a weight fit one 16-bit multiply-add). The error stays below
// 0.02 of a level, against the 0.5 a rounding of the weights to 8 bits would give; whole results (flat areas,
// doubled sizes) come out exact.
void BilinearEnlarge(const TRowFetch& fetch, int srcW, TIEBitmap& target, const std::vector<TAxisSample>& ax,
                     const std::vector<TAxisSample>& ay, TProgress& progress)
{
    constexpr int N = 3;
    constexpr int kBits = 14, kOne = 1 << kBits;
    static_assert(kScaledShift == kBits + 7, "the rows taken across hold values times 128");
    const int dstW = target.GetWidth(), dstH = target.GetHeight();
    const std::size_t rowValues = std::size_t(dstW) * N;
    struct TColumn {
        int a, b;  // byte offsets of the two source pixels
        int w;     // weight of b
    };
    std::vector<TColumn> columns(static_cast<std::size_t>(dstW));
    for (int x = 0; x < dstW; ++x) {
        const TAxisSample& s = ax[std::size_t(x)];
        columns[std::size_t(x)] = {s.taps[1] * N, s.taps[2] * N, int(std::lround(s.frac * kOne))};
    }
#ifdef __SSE2__
    // Both weights of a column for one multiply-add, and the source row where four bytes can be read
    // from every pixel.
    std::vector<std::int32_t> weights(static_cast<std::size_t>(dstW));
    for (int x = 0; x < dstW; ++x)
        weights[std::size_t(x)] = (kOne - columns[std::size_t(x)].w) | (columns[std::size_t(x)].w << 16);
    std::vector<std::uint8_t> padded;
#endif
    auto across = [&](int r, std::uint16_t* out) {
        const std::uint8_t* src = fetch(r);
        int x = 0;
#ifdef __SSE2__
        // Two pixels at a time: each one's three results are written as four values, the fourth
        // overwritten by the next pixel's first (the rows have room for the last one's).
        const std::size_t rowBytes = std::size_t(srcW) * N;
        if (padded.size() < rowBytes + 4)
            padded.assign(rowBytes + 4, 0);
        std::memcpy(padded.data(), src, rowBytes);
        const std::uint8_t* p = padded.data();
        const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi32(1 << 6);
        auto pairs = [p](const TColumn& c) {
            std::int32_t a, b;
            std::memcpy(&a, p + c.a, 4);
            std::memcpy(&b, p + c.b, 4);
            return _mm_unpacklo_epi8(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b));
        };
        for (; x + 1 < dstW; x += 2) {
            const __m128i q =
                _mm_unpacklo_epi64(pairs(columns[std::size_t(x)]), pairs(columns[std::size_t(x) + 1]));
            const __m128i r0 = _mm_srli_epi32(
                _mm_add_epi32(
                    _mm_madd_epi16(_mm_unpacklo_epi8(q, zero), _mm_set1_epi32(weights[std::size_t(x)])),
                    bias),
                7);
            const __m128i r1 = _mm_srli_epi32(
                _mm_add_epi32(
                    _mm_madd_epi16(_mm_unpackhi_epi8(q, zero), _mm_set1_epi32(weights[std::size_t(x) + 1])),
                    bias),
                7);
            const __m128i v = _mm_packs_epi32(r0, r1);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + std::size_t(x) * N), v);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + std::size_t(x) * N + N),
                             _mm_unpackhi_epi64(v, v));
        }
#endif
        for (; x < dstW; ++x) {
            const TColumn& c = columns[std::size_t(x)];
            const int wa = kOne - c.w, wb = c.w;
            const std::uint8_t* pa = src + c.a;
            const std::uint8_t* pb = src + c.b;
            for (int ch = 0; ch < N; ++ch)
                out[x * N + ch] = std::uint16_t((pa[ch] * wa + pb[ch] * wb + (1 << 6)) >> 7);
        }
    };
    auto upper = MakeTable<std::uint16_t>("row window", std::int64_t(rowValues) + 1);
    auto lower = MakeTable<std::uint16_t>("row window", std::int64_t(rowValues) + 1);
    int upperRow = -1, lowerRow = -1;
    for (int y = 0; y < dstH; ++y) {
        const TAxisSample& s = ay[std::size_t(y)];
        const int r0 = s.taps[1], r1 = s.taps[2];
        if (upperRow != r0) {
            if (lowerRow == r0) {
                std::swap(upper, lower);
                std::swap(upperRow, lowerRow);
            } else {
                across(r0, upper.data());
                upperRow = r0;
            }
        }
        if (lowerRow != r1) {
            across(r1, lower.data());
            lowerRow = r1;
        }
        const int wb = int(std::lround(s.frac * kOne)), wa = kOne - wb;
        BlendScaledRows(upper.data(), lower.data(), wa, wb, target.ScanLine(y), rowValues);
        progress.Step();
    }
}

void PointSample(const TRowFetch& fetch, int srcW, int srcH, TIEBitmap& target, bool bicubic, void* sender,
                 const TIEProgressEvent& onProgress)
{
    constexpr int N = 3;
    const int dstW = target.GetWidth(), dstH = target.GetHeight();
    if (srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1)
        return;
    const double rx = double(srcW) / double(dstW), ry = double(srcH) / double(dstH);
    const bool enlargeX = rx < 1, enlargeY = ry < 1;
    const std::vector<TAxisSample> ax = BuildAxis(srcW, dstW, rx);
    const std::vector<TAxisSample> ay = BuildAxis(srcH, dstH, ry);
    if (enlargeX && enlargeY && !bicubic) {
        TProgress progress(sender, onProgress, dstH);
        BilinearEnlarge(fetch, srcW, target, ax, ay, progress);
        return;
    }
    // Accumulated sums are brought back to pixel range per axis, so that a mixed mode interpolates
    // between pixel values; both axes reducing multiply by 1 / (rx * ry) in the end all the same.
    const double scaleX = enlargeX ? 1 : 1 / rx, scaleY = enlargeY ? 1 : 1 / ry;
    const std::size_t rowValues = std::size_t(dstW) * N;

    // One source row taken across to the target width; bicubic truncates this intermediate.
    auto across = [&](int r, std::vector<double>& out) {
        const std::uint8_t* src = fetch(std::clamp(r, 0, srcH - 1));
        auto px = [&](int k, int ch) { return double(src[std::size_t(k) * N + ch]); };
        for (int x = 0; x < dstW; ++x) {
            const TAxisSample& s = ax[std::size_t(x)];
            for (int ch = 0; ch < N; ++ch) {
                double v = 0;
                if (!enlargeX) {
                    for (const auto& [k, part] : s.cover)
                        v += part * px(k, ch);
                    v *= scaleX;
                } else if (bicubic) {
                    v = TruncSample(CubicApply(px(s.taps[0], ch), px(s.taps[1], ch), px(s.taps[2], ch),
                                               px(s.taps[3], ch), s.cubic));
                } else {
                    v = (1 - s.frac) * px(s.taps[1], ch) + s.frac * px(s.taps[2], ch);
                }
                out[std::size_t(x) * N + ch] = v;
            }
        }
    };

    // The window of four rows around the current position, kept across target rows.
    struct TCached {
        int row = -1;
        std::vector<double> values;
    };
    TCached window[4];
    for (auto& w : window)
        w.values = MakeTable<double>("row window", std::int64_t(rowValues));
    // Row r of the window lo..hi; a slot is reused only when its row has left the window.
    auto rowAcross = [&](int r, int lo, int hi) -> const std::vector<double>& {
        r = std::clamp(r, 0, srcH - 1);
        lo = std::clamp(lo, 0, srcH - 1);
        hi = std::clamp(hi, 0, srcH - 1);
        for (auto& w : window)
            if (w.row == r)
                return w.values;
        TCached* slot = &window[0];
        for (auto& w : window)
            if (w.row < lo || w.row > hi) {
                slot = &w;
                break;
            }
        slot->row = -1;
        across(r, slot->values);
        slot->row = r;
        return slot->values;
    };

    std::vector<double> acc = MakeTable<double>("row sums", std::int64_t(rowValues));
    std::vector<double> scratch = MakeTable<double>("row buffer", std::int64_t(rowValues));
    TProgress progress(sender, onProgress, dstH);
    for (int y = 0; y < dstH; ++y) {
        const TAxisSample& s = ay[std::size_t(y)];
        if (!enlargeY) {
            std::fill(acc.begin(), acc.end(), 0.0);
            for (const auto& [k, part] : s.cover) {
                across(k, scratch);
                for (std::size_t i = 0; i < rowValues; ++i)
                    acc[i] += part * scratch[i];
            }
        } else if (bicubic) {
            const int b = s.base;
            const std::vector<double>* rows[4];
            for (int j = 0; j < 4; ++j)
                rows[j] = &rowAcross(b - 1 + j, b - 1, b + 2);
            for (std::size_t i = 0; i < rowValues; ++i)
                acc[i] = CubicApply((*rows[0])[i], (*rows[1])[i], (*rows[2])[i], (*rows[3])[i], s.cubic);
        } else {
            const std::vector<double>& r0 = rowAcross(s.base, s.base, s.base + 1);
            const std::vector<double>& r1 = rowAcross(s.base + 1, s.base, s.base + 1);
            for (std::size_t i = 0; i < rowValues; ++i)
                acc[i] = (1 - s.frac) * r0[i] + s.frac * r1[i];
        }
        std::uint8_t* out = target.ScanLine(y);
        for (std::size_t i = 0; i < rowValues; ++i) {
            out[i] = ClampByte(int(TruncSample(std::clamp(acc[i] * scaleY, 0.0, 255.0))));
        }
        progress.Step();
    }
}

// ---------------------------------------------------------------- dispatch helpers

void CheckPair(TIEBitmap* Source, TIEBitmap* Target)
{
    if (!Source || !Target)
        throw rtl::EInvalidArgument("resample needs a source and a target");
    if (Source == Target)
        throw rtl::EInvalidArgument("resample source and target must differ");
}

void CopyPaletteOf(TIEBitmap& from, TIEBitmap& to)
{
    const int n = std::min(from.PaletteLen(), to.PaletteLen());
    for (int i = 0; i < n; ++i)
        to.SetPaletteColor(i, from.GetPaletteColor(i));
}

}  // namespace

void ResampleNearest(TIEBitmap* Source, TIEBitmap* Target, void* Sender, const TIEProgressEvent& OnProgress)
{
    CheckPair(Source, Target);
    const TIEPixelFormat format = Source->GetPixelFormat();
    const int srcW = Source->GetWidth(), srcH = Source->GetHeight();
    const int dstW = Target->GetWidth(), dstH = Target->GetHeight();
    if (format == ieNull || srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1)
        return;
    RequireFormat(*Target, Target->GetPixelFormat() == format, "in the source's pixel format");
    CopyPaletteOf(*Source, *Target);

    const double xr = double(srcW) / double(dstW), yr = double(srcH) / double(dstH);
    auto columns = MakeTable<int>("column table", dstW);
    for (int x = 0; x < dstW; ++x)
        columns[std::size_t(x)] = std::min(int(rtl::Trunc(double(x) * xr)), srcW - 1);
    const int bpp = IEBytesPerPixel(format);
    // 24-bit pixels move four bytes at a time, the fourth overwritten by the next pixel: up to the
    // last target pixel, and only from source pixels with a pixel after them.
    int wide = 0;
    if (bpp == 3) {
        while (wide < dstW - 1 && columns[std::size_t(wide)] < srcW - 1)
            ++wide;
        for (int x = 0; x < dstW; ++x)
            columns[std::size_t(x)] *= 3;
    }
    TProgress progress(Sender, OnProgress, dstH);
    for (int y = 0; y < dstH; ++y) {
        const std::uint8_t* src = Source->ScanLine(std::min(int(rtl::Trunc(double(y) * yr)), srcH - 1));
        std::uint8_t* dst = Target->ScanLine(y);
        if (bpp == 3) {
            const int* c = columns.data();
            int x = 0;
            for (; x < wide; ++x) {
                std::uint32_t v;
                std::memcpy(&v, src + c[x], 4);
                std::memcpy(dst + std::size_t(x) * 3, &v, 4);
            }
            for (; x < dstW; ++x)
                std::memcpy(dst + std::size_t(x) * 3, src + c[x], 3);
            progress.Step();
            continue;
        }
        switch (bpp) {
        case 0:
            for (int x = 0; x < dstW; ++x)
                SetPixelBit(dst, x, GetPixelBit(src, columns[std::size_t(x)]) != 0);
            break;
        case 1:
            for (int x = 0; x < dstW; ++x)
                dst[x] = src[columns[std::size_t(x)]];
            break;
        default:
            for (int x = 0; x < dstW; ++x)
                std::memcpy(dst + std::size_t(x) * bpp, src + std::size_t(columns[std::size_t(x)]) * bpp,
                            std::size_t(bpp));
            break;
        }
        progress.Step();
    }
}

void ResampleFiltered(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter, void* Sender,
                      const TIEProgressEvent& OnProgress)
{
    CheckPair(Source, Target);
    CheckFilter(Filter);
    if (Source->GetPixelFormat() != ie24RGB)
        return;
    RequireFormat(*Target, Target->GetPixelFormat() == ie24RGB, "24-bit");
    const int srcW = Source->GetWidth(), srcH = Source->GetHeight();
    switch (Filter) {
    case rfNone: ResampleNearest(Source, Target, Sender, OnProgress); return;
    case rfFastLinear: FastLinear<3>(DirectRows(*Source), srcW, srcH, *Target, Sender, OnProgress); return;
    case rfBilinear:
    case rfBicubic:
        PointSample(DirectRows(*Source), srcW, srcH, *Target, Filter == rfBicubic, Sender, OnProgress);
        return;
    default: RunTwoPass<3>(DirectRows(*Source), srcW, srcH, *Target, Filter, Sender, OnProgress); return;
    }
}

void ResampleFilteredRect(TIEBitmap* Source, int X, int Y, int Width, int Height, TIEBitmap* Target,
                          TResampleFilter Filter)
{
    CheckPair(Source, Target);
    CheckFilter(Filter);
    if (Filter == rfNone)
        throw rtl::EInvalidArgument("a rectangle is resampled with a filter");
    if (Source->GetPixelFormat() != ie24RGB)
        return;
    RequireFormat(*Target, Target->GetPixelFormat() == ie24RGB, "24-bit");
    if (X < 0 || Y < 0 || Width < 1 || Height < 1 || std::int64_t(X) + Width > Source->GetWidth() ||
        std::int64_t(Y) + Height > Source->GetHeight())
        throw rtl::EInvalidArgument("resample rectangle lies outside the source");
    const std::size_t offset = std::size_t(X) * 3;
    const TRowFetch rows = [Source, offset, Y](int y) -> const std::uint8_t* {
        return Source->ScanLine(Y + y) + offset;
    };
    switch (Filter) {
    case rfFastLinear: FastLinear<3>(rows, Width, Height, *Target, nullptr, kNoProgress); return;
    case rfBilinear:
    case rfBicubic:
        PointSample(rows, Width, Height, *Target, Filter == rfBicubic, nullptr, kNoProgress);
        return;
    default: RunTwoPass<3>(rows, Width, Height, *Target, Filter, nullptr, kNoProgress); return;
    }
}

void ResampleFiltered8(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter)
{
    CheckPair(Source, Target);
    CheckFilter(Filter);
    if (IEBitCount(Source->GetPixelFormat()) != 8)
        return;
    RequireFormat(*Target, IEBitCount(Target->GetPixelFormat()) == 8, "one byte per pixel");
    const int srcW = Source->GetWidth(), srcH = Source->GetHeight();
    if (Filter == rfNone) {
        if (Target->GetPixelFormat() == Source->GetPixelFormat())
            ResampleNearest(Source, Target);
        else
            FastLinear<1>(DirectRows(*Source), srcW, srcH, *Target, nullptr, kNoProgress);
    } else if (IsKernelFilter(Filter)) {
        RunTwoPass<1>(DirectRows(*Source), srcW, srcH, *Target, Filter, nullptr, kNoProgress);
    } else {
        FastLinear<1>(DirectRows(*Source), srcW, srcH, *Target, nullptr, kNoProgress);
    }
}

void ResampleFiltered1(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter)
{
    CheckPair(Source, Target);
    CheckFilter(Filter);
    if (Source->GetPixelFormat() != ie1g)
        return;
    RequireFormat(*Target, Target->GetPixelFormat() == ie24RGB, "24-bit");
    const int srcW = Source->GetWidth(), srcH = Source->GetHeight();
    const int dstW = Target->GetWidth(), dstH = Target->GetHeight();
    if (srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1)
        return;
    std::vector<std::uint8_t> buffer;
    if (IsKernelFilter(Filter)) {
        RunTwoPass<3>(ExpandedBitRows(*Source, buffer), srcW, srcH, *Target, Filter, nullptr, kNoProgress);
        return;
    }
    // Shrinking counts bits directly; a same-size copy must not go through its overlapping windows.
    if (dstW <= srcW && dstH <= srcH && (dstW < srcW || dstH < srcH)) {
        ShrinkBits(Source, 0, 0, srcW - 1, srcH - 1, Target);
        return;
    }
    FastLinear<3>(ExpandedBitRows(*Source, buffer), srcW, srcH, *Target, nullptr, kNoProgress);
}

void ShrinkBits(TIEBitmap* Source, int X1, int Y1, int X2, int Y2, TIEBitmap* Target)
{
    CheckPair(Source, Target);
    if (Source->GetPixelFormat() != ie1g)
        return;
    RequireFormat(*Target, Target->GetPixelFormat() == ie24RGB, "24-bit");
    const int srcW = Source->GetWidth(), srcH = Source->GetHeight();
    const int dstW = Target->GetWidth(), dstH = Target->GetHeight();
    OrderCoords(X1, Y1, X2, Y2);
    if (srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1)
        return;
    const double sx = (double(X2) - double(X1) + 1) / double(dstW);
    const double sy = (double(Y2) - double(Y1) + 1) / double(dstH);
    auto window = [](int i, double step, int origin, int limit, int& lo, int& hi) {
        const std::int64_t a = rtl::Trunc(double(i) * step - step / 2) + origin;
        const std::int64_t b = rtl::Trunc(double(rtl::Trunc(step)) / 2 + double(i) * step) + origin;
        lo = int(std::clamp<std::int64_t>(a, 0, limit - 1));
        hi = int(std::clamp<std::int64_t>(b, 0, limit - 1));
    };
    auto c0 = MakeTable<int>("column table", dstW);
    auto c1 = MakeTable<int>("column table", dstW);
    for (int i = 0; i < dstW; ++i)
        window(i, sx, X1, srcW, c0[std::size_t(i)], c1[std::size_t(i)]);
    auto counts = MakeTable<std::int64_t>("row sums", dstW);
    for (int j = 0; j < dstH; ++j) {
        int r0, r1;
        window(j, sy, Y1, srcH, r0, r1);
        std::fill(counts.begin(), counts.end(), 0);
        for (int r = r0; r <= r1; ++r) {
            const std::uint8_t* row = Source->ScanLine(r);
            for (int i = 0; i < dstW; ++i)
                for (int k = c0[std::size_t(i)]; k <= c1[std::size_t(i)]; ++k)
                    counts[std::size_t(i)] += GetPixelBit(row, k) ? 1 : 0;
        }
        auto* out = reinterpret_cast<TRGB*>(Target->ScanLine(j));
        for (int i = 0; i < dstW; ++i) {
            const std::int64_t pixels =
                std::int64_t(c1[std::size_t(i)] - c0[std::size_t(i)] + 1) * (r1 - r0 + 1);
            const auto v = std::uint8_t(255 * counts[std::size_t(i)] / pixels);
            out[i] = TRGB{v, v, v};
        }
    }
}

void PaintTransparentPixels(TIEBitmap* Bitmap, TColor Color)
{
    if (!Bitmap || !Bitmap->HasAlphaChannel())
        return;
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (format != ie24RGB && format != ie8g)
        return;
    TRGB c;
    TColorToRGB(Color, c);
    const std::uint8_t grey = RGBToGray(c);
    TIEBitmap* alpha = Bitmap->GetAlphaChannel();
    const int w = std::min(Bitmap->GetWidth(), alpha->GetWidth());
    const int h = std::min(Bitmap->GetHeight(), alpha->GetHeight());
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* a = alpha->ScanLine(y);
        std::uint8_t* row = Bitmap->ScanLine(y);
        for (int x = 0; x < w; ++x) {
            if (a[x] != 0)
                continue;
            if (format == ie24RGB)
                reinterpret_cast<TRGB*>(row)[x] = c;
            else
                row[x] = grey;
        }
    }
}

void ResampleBitmap(TIEBitmap* Source, TIEBitmap* Target, TResampleFilter Filter, void* Sender,
                    const TIEProgressEvent& OnProgress)
{
    CheckPair(Source, Target);
    CheckFilter(Filter);
    const bool hasAlpha = Source->HasAlphaChannel();
    if (hasAlpha)
        PaintTransparentPixels(Source, 0x808080);

    if (Filter == rfNone) {
        ResampleNearest(Source, Target, Sender, OnProgress);
    } else {
        switch (Source->GetPixelFormat()) {
        case ie1g:
            Target->Allocate(Target->GetWidth(), Target->GetHeight(), ie24RGB);
            ResampleFiltered1(Source, Target, Filter);
            break;
        case ie24RGB: ResampleFiltered(Source, Target, Filter, Sender, OnProgress); break;
        case ie8g: ResampleFiltered8(Source, Target, Filter); break;
        default:
            // Palette indices, 16-bit grey and floats: no filter fits, and an untouched target
            // would pass for a result.
            ResampleNearest(Source, Target, Sender, OnProgress);
            break;
        }
    }

    if (hasAlpha) {
        TIEBitmap* sa = Source->GetAlphaChannel();
        TIEBitmap* ta = Target->GetAlphaChannel();
        if (ta->GetWidth() != Target->GetWidth() || ta->GetHeight() != Target->GetHeight())
            ta->Allocate(Target->GetWidth(), Target->GetHeight(), ie8g);
        if (Filter == rfNone)
            ResampleNearest(sa, ta);
        else
            ResampleFiltered8(sa, ta, Filter);
        ta->Full = sa->Full;
    }
}

}  // namespace imaging
