// Rendering of TIEBitmap into 24-bit rows: zoom tables, the display mapping of every format, colour
// adjustment, the pixel blends and alpha; and the picture a stretched canvas drawing shows.
#include "imaging/core/iebitmap.h"

#include "imaging/core/detail/iecpu.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>
#define VA_BLEND_AVX2 1
#endif

namespace imaging {

// ---------------------------------------------------------------- blends

namespace {

// Round(x / d) for x >= 0.
constexpr int DivRound(int x, int d) { return (x + d / 2) / d; }
constexpr int Mul255(int a, int b) { return DivRound(a * b, 255); }

std::uint8_t SoftLight(int A, int B)
{
    const double a = A / 255.0, b = B / 255.0;
    const double r =
        a >= 0.5 ? std::sqrt(b) * (2 * a - 1) + 2 * b * (1 - a) : b * b * (1 - 2 * a) + 2 * a * b;
    return ClampByte(int(r * 255));
}

int Dodge(int A, int B) { return A == 255 ? 255 : std::min(255, DivRound(B * 255, 255 - A)); }
int Burn(int A, int B)
{
    if (B == 255)
        return 255;
    return A == 0 ? 0 : std::max(0, 255 - DivRound((255 - B) * 255, A));
}
int Vivid(int A, int B)
{
    if (A + B >= 256)
        return B == 0 ? 0 : std::max(0, 255 - ((255 - A) << 7) / B);
    return A == 255 ? 255 : std::min(255, (B << 7) / (255 - A));
}
int Reflect(int A, int B) { return A == 255 ? 255 : std::min(255, B * B / (255 - A)); }
int Freeze(int A, int B) { return A == 0 ? 0 : std::max(0, 255 - (255 - B) * (255 - B) / A); }

std::uint8_t Channel(int op, int A, int B)
{
    switch (op) {
    case 0: return std::uint8_t(A);
    case 1: return ClampByte(B + A);
    case 2: return std::uint8_t(std::abs(B - A));
    case 3: return ClampByte(B / std::min(std::max(A, 1), 255));
    case 4: return std::uint8_t(Mul255(B, A));
    case 5: return std::uint8_t(B | A);
    case 6: return std::uint8_t(B & A);
    case 7: return std::uint8_t(B ^ A);
    case 8: return std::uint8_t(std::max(B, A));
    case 9: return std::uint8_t(std::min(B, A));
    case 10: return std::uint8_t((B + A) >> 1);
    case 11: return std::uint8_t(255 - Mul255(255 - B, 255 - A));
    case 12: return std::uint8_t(255 - std::abs(255 - A - B));
    case 13: return ClampByte(A + B - DivRound(2 * A * B, 255));
    case 14:
        return std::uint8_t(B >= 128 ? 255 - DivRound(2 * (255 - A) * (255 - B), 255)
                                     : DivRound(2 * A * B, 255));
    case 15:
        return std::uint8_t(A >= 128 ? 255 - DivRound(2 * (255 - A) * (255 - B), 255)
                                     : DivRound(2 * A * B, 255));
    case 16: return SoftLight(A, B);
    case 17: {
        const int c = Mul255(A, B);
        return ClampByte(c + Mul255(B, 255 - Mul255(255 - B, 255 - A) - c));
    }
    case 18: return std::uint8_t(Dodge(A, B));
    case 19: return std::uint8_t(Burn(A, B));
    case 20: return std::uint8_t(Dodge(B, A));
    case 21: return std::uint8_t(Burn(B, A));
    case 22: return std::uint8_t(Vivid(A, B));
    case 23: return std::uint8_t(Vivid(B, A));
    case 24: return std::uint8_t(Reflect(A, B));
    case 25: return std::uint8_t(Reflect(B, A));
    case 26: return std::uint8_t(Freeze(A, B));
    case 27: return std::uint8_t(Freeze(B, A));
    case 28: return ClampByte(B + A - 255);
    case 29:
        return std::uint8_t(std::min(255, IEBlendCurve()[std::size_t(A)] + IEBlendCurve()[std::size_t(B)]));
    case 30: return ClampByte(B + 2 * A - 256);
    default: return std::uint8_t(B);
    }
}

constexpr int kChannelOps = 31;

// 256 x 256 results of one per-channel blend, made on first use: [A * 256 + B].
const std::uint8_t* ChannelTable(int op)
{
    static std::array<std::once_flag, kChannelOps> once;
    static std::array<std::vector<std::uint8_t>, kChannelOps> tables;
    std::call_once(once[std::size_t(op)], [op] {
        auto& t = tables[std::size_t(op)];
        t.resize(65536);
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b)
                t[std::size_t(a * 256 + b)] = Channel(op, a, b);
    });
    return tables[std::size_t(op)].data();
}

TRGB HslMix(int op, TRGB A, TRGB B)
{
    double ha, sa, la, hb, sb, lb;
    RGB2HSL(ha, sa, la, A);
    RGB2HSL(hb, sb, lb, B);
    TRGB c;
    switch (op) {
    case 34: HSL2RGB(c, ha, sb, lb); break;
    case 35: HSL2RGB(c, hb, sa, lb); break;
    case 36: HSL2RGB(c, ha, sa, lb); break;
    default: HSL2RGB(c, ha, sb, la); break;
    }
    return c;
}

}  // namespace

const std::array<int, 256>& IEBlendCurve()
{
    static const std::array<int, 256> table = [] {
        std::array<int, 256> t{};
        const double pi = std::acos(-1.0);
        for (int i = 0; i < 256; ++i)
            t[std::size_t(i)] = int(std::nearbyint(64 - std::cos(i * pi / 255) * 64));
        return t;
    }();
    return table;
}

std::uint8_t IEBlendChannel(int Operation, std::uint8_t A, std::uint8_t B)
{
    if (Operation < 0 || Operation >= kChannelOps)
        return B;
    return ChannelTable(Operation)[A * 256 + B];
}

TRGB IEBlendPixel(int Operation, TRGB A, TRGB B)
{
    switch (Operation) {
    case 31: return TRGB{B.b, B.g, A.r};
    case 32: return TRGB{B.b, A.g, B.r};
    case 33: return TRGB{A.b, B.g, B.r};
    case 34:
    case 35:
    case 36:
    case 37: return HslMix(Operation, A, B);
    default:
        if (Operation < 0 || Operation >= kChannelOps)
            return B;
        return TRGB{IEBlendChannel(Operation, A.b, B.b), IEBlendChannel(Operation, A.g, B.g),
                    IEBlendChannel(Operation, A.r, B.r)};
    }
}

int IEStretchBandRows(std::int64_t MinFileSize, int RowLen)
{
    if (RowLen < 1 || MinFileSize <= RowLen)
        return 1;
    return int(std::min<std::int64_t>(MinFileSize / RowLen, std::numeric_limits<int>::max()));
}

void TIERenderCache::Clear()
{
    valid_ = false;
    key_ = {};
    rows_.clear();
    rows_.shrink_to_fit();
    columns_.clear();
    columns_.shrink_to_fit();
    sourceRows_.clear();
    sourceRows_.shrink_to_fit();
}

// ---------------------------------------------------------------- display mapping of rows

namespace {

// Trunc(x) clamped to a byte; NaN gives 0.
std::uint8_t ByteOf(double x) { return std::isnan(x) ? 0 : std::uint8_t(std::clamp(x, 0.0, 255.0)); }

// How grey values of the bitmap become display bytes.
struct TDisplayRange {
    bool used = false;
    double low = 0, high = 0;
    int lowInt = 0, highInt = 0;

    explicit TDisplayRange(const TIEBitmap& bmp)
    {
        used =
            bmp.RangeHigh - bmp.RangeLow != 0 && std::isfinite(bmp.RangeHigh) && std::isfinite(bmp.RangeLow);
        low = bmp.RangeLow;
        high = bmp.RangeHigh;
        lowInt = int(std::clamp(std::min(low, high), -2e9, 2e9));
        highInt = int(std::clamp(std::max(low, high), -2e9, 2e9));
    }
    std::uint8_t MapInt(int v) const
    {
        v = std::clamp(v, lowInt, highInt);
        return ByteOf((v - low) / (high - low) * 255);
    }
    std::uint8_t MapFloat(float f) const
    {
        if (std::isnan(f))
            return 0;
        if (!used)
            return ByteOf(std::clamp(double(f), 0.0, 1.0) * 255);
        const double v = std::clamp(double(f), std::min(low, high), std::max(low, high));
        return ByteOf((v - low) / (high - low) * 255);
    }
};

// Display bytes of every 8-bit and 16-bit grey value (16-bit only with a range).
struct TGreyTables {
    std::array<std::uint8_t, 256> grey8{};
    std::vector<std::uint8_t> grey16;

    TGreyTables(const TIEBitmap& bmp, TIEPixelFormat format)
    {
        const TDisplayRange range(bmp);
        for (int i = 0; i < 256; ++i)
            grey8[std::size_t(i)] = range.used ? range.MapInt(i) : std::uint8_t(i);
        if (format == ie16g) {
            grey16.resize(65536);
            for (int i = 0; i < 65536; ++i)
                grey16[std::size_t(i)] = range.used ? range.MapInt(i) : std::uint8_t(i >> 8);
        }
    }
};

// Writes the display colours of source columns cols[0..n-1] of one row, as B, G, R.
class TRowGather {
public:
    TRowGather(TIEBitmap& bmp) : format_(bmp.GetPixelFormat()), range_(bmp), tables_(bmp, format_)
    {
        if (format_ == ie8p)
            for (int i = 0; i < 256; ++i)
                palette_[std::size_t(i)] = bmp.GetPaletteColor(i);
    }

    void Gather(const std::uint8_t* src, const int* cols, int n, std::uint8_t* out) const
    {
        switch (format_) {
        case ie1g:
            for (int i = 0; i < n; ++i) {
                const std::uint8_t v = GetPixelBit(src, cols[i]) ? 255 : 0;
                out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = v;
            }
            break;
        case ie8p:
            for (int i = 0; i < n; ++i)
                std::memcpy(out + 3 * i, &palette_[src[cols[i]]], 3);
            break;
        case ie8g:
            for (int i = 0; i < n; ++i)
                out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = tables_.grey8[src[cols[i]]];
            break;
        case ie16g:
            for (int i = 0; i < n; ++i) {
                std::uint16_t w;
                std::memcpy(&w, src + 2 * std::size_t(cols[i]), 2);
                out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = tables_.grey16[w];
            }
            break;
        case ie24RGB:
            for (int i = 0; i < n; ++i) {
                const std::uint8_t* p = src + 3 * std::size_t(cols[i]);
                out[3 * i] = p[0];
                out[3 * i + 1] = p[1];
                out[3 * i + 2] = p[2];
            }
            break;
        case ie32f:
            for (int i = 0; i < n; ++i) {
                float f;
                std::memcpy(&f, src + 4 * std::size_t(cols[i]), 4);
                out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = range_.MapFloat(f);
            }
            break;
        default: std::memset(out, 0, std::size_t(n) * 3); break;
        }
    }

private:
    TIEPixelFormat format_;
    TDisplayRange range_;
    TGreyTables tables_;
    std::array<TRGB, 256> palette_{};
};

// d + floor((s - d) * a / 256), computed as (d * (256 - a) + s * a) >> 8 so that every term stays
// in 16 bits and the loop vectorises.
void BlendBytes(std::uint8_t* dst, const std::uint8_t* src, const std::uint8_t* alpha, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint16_t a = alpha[i];
        dst[i] =
            std::uint8_t((std::uint16_t(dst[i] * std::uint16_t(256 - a)) + std::uint16_t(src[i] * a)) >> 8);
    }
}

#ifdef __SSE2__
// The blend by 255 / 256 of fully opaque bytes: d + floor((s - d) * 255 / 256) is s, less one where s
// is above d. No alpha to spread and no products.
inline __m128i BlendOpaque16(__m128i s, __m128i d)
{
    const __m128i notAbove = _mm_cmpeq_epi8(_mm_max_epu8(s, d), d);
    return _mm_add_epi8(s, _mm_xor_si128(notAbove, _mm_set1_epi8(char(0xFF))));
}

// The alpha of eight pixels (16-bit lanes) spread over their 24 channel bytes, as three vectors of
// eight lanes: pixel i covers bytes 3i .. 3i + 2.
inline void SpreadAlpha(__m128i a, __m128i& b0, __m128i& b1, __m128i& b2)
{
    const __m128i low = _mm_unpacklo_epi64(a, a), high = _mm_unpackhi_epi64(a, a);
    b0 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(low, _MM_SHUFFLE(1, 0, 0, 0)), _MM_SHUFFLE(2, 2, 1, 1));
    b1 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, _MM_SHUFFLE(3, 3, 3, 2)), _MM_SHUFFLE(1, 0, 0, 0));
    b2 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(high, _MM_SHUFFLE(2, 2, 1, 1)), _MM_SHUFFLE(3, 3, 3, 2));
}

// BlendBytes on sixteen bytes, twice their alphas in two vectors of eight 16-bit lanes:
// (d * (256 - a) + s * a) >> 8 is d + floor((s - d) * a / 256), and (s - d) * 128 times 2a fits the
// signed 16 x 16-bit multiply that keeps the high half.
inline void Blend16(std::uint8_t* dst, const std::uint8_t* src, __m128i a2Low, __m128i a2High)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
    const __m128i dl = _mm_unpacklo_epi8(d, zero), dh = _mm_unpackhi_epi8(d, zero);
    const __m128i rl = _mm_add_epi16(
        dl, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(s, zero), dl), 7), a2Low));
    const __m128i rh = _mm_add_epi16(
        dh, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(s, zero), dh), 7), a2High));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(rl, rh));
}
#endif

#ifdef VA_BLEND_AVX2
// Shuffles that spread the alphas of a 32-pixel block over its 96 channel bytes, taken as three
// vectors of two 16-byte halves. Half h starts at pixel 16h / 3 and reads its alphas from there; lanes
// k = 0 .. 7 of the low mask (k = 8 .. 15 of the high one) give channel byte k of the half its
// pixel's alpha in a 16-bit lane, in the order the byte unpacks take the channels.
struct TAlphaSpread {
    std::uint8_t low[3][32], high[3][32];
    static constexpr int Start(int half) { return 16 * half / 3; }
    constexpr TAlphaSpread() : low{}, high{}
    {
        for (int h = 0; h < 6; ++h)
            for (int k = 0; k < 8; ++k) {
                const int lane = (h % 2) * 16 + 2 * k;
                low[h / 2][lane] = std::uint8_t((16 * h + k) / 3 - Start(h));
                high[h / 2][lane] = std::uint8_t((16 * h + 8 + k) / 3 - Start(h));
                low[h / 2][lane + 1] = high[h / 2][lane + 1] = 0x80;
            }
    }
};
constexpr TAlphaSpread kAlphaSpread;

// BlendOpaque16 on 32 bytes.
__attribute__((target("avx2"))) inline __m256i BlendOpaque32(__m256i s, __m256i d)
{
    const __m256i notAbove = _mm256_cmpeq_epi8(_mm256_max_epu8(s, d), d);
    return _mm256_add_epi8(s, _mm256_xor_si256(notAbove, _mm256_set1_epi8(char(0xFF))));
}

// BlendPixels' blocks of 32 pixels as long as 48 remain (the alphas of the last half are read 16 at
// a time from its start); returns the pixels done. Same arithmetic as Blend16.
__attribute__((target("avx2"))) int BlendPixelsAvx2(std::uint8_t* dst, const std::uint8_t* src,
                                                    const std::uint8_t* alpha, std::uint8_t limit, int n)
{
    const __m256i zero = _mm256_setzero_si256(), cap = _mm256_set1_epi8(char(limit));
    const __m256i ones = _mm256_set1_epi8(char(0xFF));
    int i = 0;
    for (; i + 48 <= n; i += 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(alpha + i));
        if (_mm256_testz_si256(block, block))
            continue;
        if (limit == 255 && _mm256_testc_si256(block, ones)) {
            for (int v = 0; v < 3; ++v) {
                auto* d = reinterpret_cast<__m256i*>(dst + 3 * std::size_t(i) + 32 * std::size_t(v));
                const __m256i s = _mm256_loadu_si256(
                    reinterpret_cast<const __m256i*>(src + 3 * std::size_t(i) + 32 * std::size_t(v)));
                _mm256_storeu_si256(d, BlendOpaque32(s, _mm256_loadu_si256(d)));
            }
            continue;
        }
        for (int v = 0; v < 3; ++v) {
            const std::uint8_t* a = alpha + i;
            const __m256i both = _mm256_inserti128_si256(
                _mm256_castsi128_si256(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + TAlphaSpread::Start(2 * v)))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + TAlphaSpread::Start(2 * v + 1))), 1);
            const __m256i capped = _mm256_min_epu8(both, cap);
            const __m256i a2Low = _mm256_slli_epi16(
                _mm256_shuffle_epi8(
                    capped, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kAlphaSpread.low[v]))),
                1);
            const __m256i a2High = _mm256_slli_epi16(
                _mm256_shuffle_epi8(
                    capped, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kAlphaSpread.high[v]))),
                1);
            std::uint8_t* d = dst + 3 * std::size_t(i) + 32 * std::size_t(v);
            const __m256i s = _mm256_loadu_si256(
                reinterpret_cast<const __m256i*>(src + 3 * std::size_t(i) + 32 * std::size_t(v)));
            const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
            const __m256i dl = _mm256_unpacklo_epi8(dv, zero), dh = _mm256_unpackhi_epi8(dv, zero);
            const __m256i rl = _mm256_add_epi16(
                dl, _mm256_mulhi_epi16(
                        _mm256_slli_epi16(_mm256_sub_epi16(_mm256_unpacklo_epi8(s, zero), dl), 7), a2Low));
            const __m256i rh = _mm256_add_epi16(
                dh, _mm256_mulhi_epi16(
                        _mm256_slli_epi16(_mm256_sub_epi16(_mm256_unpackhi_epi8(s, zero), dh), 7), a2High));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_packus_epi16(rl, rh));
        }
    }
    return i;
}

#endif

// BlendBytes of n 24-bit pixels, each pixel's three bytes by min(limit, its alpha byte). Blocks whose
// alphas are all 0 leave the destination as it is, and blocks all 255 (when nothing lowers them) take
// the cheap opaque blend: a cut-out picture is mostly both. The result is the same byte for byte.
void BlendPixels(std::uint8_t* dst, const std::uint8_t* src, const std::uint8_t* alpha, std::uint8_t limit,
                 int n)
{
    int i = 0;
#ifdef VA_BLEND_AVX2
    if (detail::UseAvx2())
        i = BlendPixelsAvx2(dst, src, alpha, limit, n);
#endif
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128(), cap = _mm_set1_epi8(char(limit));
    for (; i + 16 <= n; i += 16) {
        const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + i));
        std::uint8_t* d = dst + 3 * std::size_t(i);
        const std::uint8_t* s = src + 3 * std::size_t(i);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(raw, zero)) == 0xFFFF)
            continue;
        if (limit == 255 && _mm_movemask_epi8(_mm_cmpeq_epi8(raw, _mm_set1_epi8(char(0xFF)))) == 0xFFFF) {
            for (int k = 0; k < 48; k += 16) {
                const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
                const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + k));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), BlendOpaque16(sv, dv));
            }
            continue;
        }
        const __m128i a = _mm_min_epu8(raw, cap);
        __m128i b[6];
        SpreadAlpha(_mm_slli_epi16(_mm_unpacklo_epi8(a, zero), 1), b[0], b[1], b[2]);
        SpreadAlpha(_mm_slli_epi16(_mm_unpackhi_epi8(a, zero), 1), b[3], b[4], b[5]);
        Blend16(d, s, b[0], b[1]);
        Blend16(d + 16, s + 16, b[2], b[3]);
        Blend16(d + 32, s + 32, b[4], b[5]);
    }
#endif
    for (; i < n; ++i) {
        if (alpha[i] == 0)
            continue;
        const std::uint8_t a[3] = {std::min(limit, alpha[i]), std::min(limit, alpha[i]),
                                   std::min(limit, alpha[i])};
        BlendBytes(dst + 3 * std::size_t(i), src + 3 * std::size_t(i), a, 3);
    }
}

std::int64_t Clamp64(std::int64_t v, std::int64_t lo, std::int64_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

// The alpha channel blends only when it is a grey plane of the image's own size; any other is
// left out rather than read past its rows.
bool AlphaMatches(TIEBitmap& alpha, int imageW, int imageH)
{
    return !alpha.Full && alpha.GetPixelFormat() == ie8g && alpha.GetWidth() == imageW &&
           alpha.GetHeight() == imageH;
}

// (v + offset - 128) * k / 65536 + 128 as a byte, the product truncated toward zero. Beyond
// |x| = 2^25 or |k| = 2^37 every non-zero product already saturates the byte, so both are cut there
// and the product stays inside 64 bits with the same result.
std::uint8_t AdjustChannel(int v, int offset, std::int64_t k)
{
    const std::int64_t x =
        Clamp64(std::int64_t(v) + offset - 128, -(std::int64_t{1} << 25), std::int64_t{1} << 25);
    const std::int64_t t = x * Clamp64(k, -(std::int64_t{1} << 37), std::int64_t{1} << 37) / 65536;
    return ClampByte(int(Clamp64(t + 128, -1, 256)));
}

}  // namespace

// ---------------------------------------------------------------- RenderToTBitmap

void TIEBitmap::RenderToTBitmap(TIEPlatformBitmap* Dest, TIERenderCache* Cache, const TIERect* VisibleRect,
                                int DestX, int DestY, int DestWidth, int DestHeight, int SrcX, int SrcY,
                                int SrcWidth, int SrcHeight, bool EnableAlpha, bool RowReuse,
                                int Transparency, TResampleFilter Filter, bool FreeCaches,
                                std::uint8_t Operation)
{
    struct TFreeLater {
        TIERenderCache* cache;
        bool free;
        ~TFreeLater()
        {
            if (cache && free)
                cache->Clear();
        }
    } freeLater{Cache, FreeCaches};

    if (!Dest)
        throw rtl::EInvalidArgument("render needs a destination bitmap");
    if (Dest->BitsPerPixel() != 24)
        throw rtl::EInvalidArgument("render needs a 24-bit destination, not " +
                                    std::to_string(Dest->BitsPerPixel()) + " bits");
    const int imageW = GetWidth(), imageH = GetHeight();
    const int destW = Dest->Width(), destH = Dest->Height();
    if (pixelFormat_ == ieNull || imageW < 1 || imageH < 1 || DestWidth < 1 || DestHeight < 1 ||
        SrcWidth < 1 || SrcHeight < 1 || DestX > destW - 1 || DestY > destH - 1)
        return;
    Transparency = std::clamp(Transparency, 0, 255);

    // The part of the destination that is drawn: the rectangle cut to Dest and to VisibleRect.
    std::int64_t x0 = std::max<std::int64_t>(DestX, 0), y0 = std::max<std::int64_t>(DestY, 0);
    std::int64_t x1 = std::min<std::int64_t>(std::int64_t(DestX) + DestWidth, destW);
    std::int64_t y1 = std::min<std::int64_t>(std::int64_t(DestY) + DestHeight, destH);
    if (VisibleRect) {
        x0 = std::max<std::int64_t>(x0, VisibleRect->Left);
        y0 = std::max<std::int64_t>(y0, VisibleRect->Top);
        x1 = std::min<std::int64_t>(x1, VisibleRect->Right);
        y1 = std::min<std::int64_t>(y1, VisibleRect->Bottom);
    }
    if (x0 >= x1 || y0 >= y1)
        return;

    // The source rectangle is cut to the image.
    const std::int64_t sx0 = Clamp64(SrcX, 0, imageW - 1), sy0 = Clamp64(SrcY, 0, imageH - 1);
    const std::int64_t sx1 = Clamp64(std::int64_t(SrcX) + SrcWidth - 1, sx0, imageW - 1);
    const std::int64_t sy1 = Clamp64(std::int64_t(SrcY) + SrcHeight - 1, sy0, imageH - 1);

    // The filters need two source pixels on one side at least; a single pixel is simply repeated.
    const bool scaled = DestWidth != SrcWidth || DestHeight != SrcHeight;
    if (Filter != rfNone && scaled && (sx1 > sx0 || sy1 > sy0)) {
        // Scale the source rectangle into a picture of the destination rectangle's size and draw
        // that 1:1. Formats no filter reads are first made 24-bit, so the picture is always filled.
        TIEAccessScope readOnly(*this, 1);
        auto part = std::make_unique<TIEBitmap>();
        part->MinFileSize = MinFileSize;
        const int pw = int(sx1 - sx0 + 1), ph = int(sy1 - sy0 + 1);
        const bool alpha = EnableAlpha && HasAlphaChannel() && AlphaMatches(*alpha_, imageW, imageH);
        std::unique_ptr<TIEBitmap> scaledPicture = std::make_unique<TIEBitmap>();
        scaledPicture->MinFileSize = MinFileSize;
        if (pixelFormat_ == ie24RGB) {
            // The picture is drawn 1:1 with this image's adjustment, as the unfiltered path would.
            scaledPicture->AdjustColors = AdjustColors;
            scaledPicture->Contrast = Contrast;
            scaledPicture->RedOffset = RedOffset;
            scaledPicture->GreenOffset = GreenOffset;
            scaledPicture->BlueOffset = BlueOffset;
        }
        if (pixelFormat_ == ie1g && !alpha && DestWidth < SrcWidth && DestHeight < SrcHeight) {
            scaledPicture->Allocate(DestWidth, DestHeight, ie24RGB);
            ShrinkBits(this, int(sx0), int(sy0), int(sx1), int(sy1), scaledPicture.get());
        } else if (pixelFormat_ == ie24RGB && !alpha) {
            // Read where it lies: copying a large image's rectangle out first cost as much as its
            // resampling.
            scaledPicture->Allocate(DestWidth, DestHeight, ie24RGB);
            ResampleFilteredRect(this, int(sx0), int(sy0), pw, ph, scaledPicture.get(), Filter);
        } else {
            TIEPixelFormat partFormat = pixelFormat_ == ie1g ? ie1g : ie24RGB;
            part->Allocate(pw, ph, partFormat);
            if (pixelFormat_ == ie1g || pixelFormat_ == ie24RGB) {
                CopyRectTo(part.get(), int(sx0), int(sy0), 0, 0, pw, ph);
            } else {
                TRowGather gather(*this);
                std::vector<int> cols(static_cast<std::size_t>(pw));
                for (int i = 0; i < pw; ++i)
                    cols[std::size_t(i)] = int(sx0) + i;
                std::vector<std::uint8_t> row(std::size_t(pw) * 3);
                for (int y = 0; y < ph; ++y) {
                    gather.Gather(ScanLine(int(sy0) + y), cols.data(), pw, row.data());
                    std::memcpy(part->ScanLine(y), row.data(), row.size());
                }
            }
            if (alpha)
                alpha_->CopyRectTo(part->GetAlphaChannel(), int(sx0), int(sy0), 0, 0, pw, ph);
            scaledPicture->Allocate(DestWidth, DestHeight, ie24RGB);
            if (part->GetPixelFormat() == ie1g)
                ResampleFiltered1(part.get(), scaledPicture.get(), Filter);
            else
                ResampleFiltered(part.get(), scaledPicture.get(), Filter);
            if (alpha) {
                TIEBitmap* a = scaledPicture->GetAlphaChannel();
                ResampleFiltered8(part->GetAlphaChannel(), a, Filter);
                a->Full = false;
            }
        }
        part.reset();
        scaledPicture->RenderToTBitmap(Dest, nullptr, VisibleRect, DestX, DestY, DestWidth, DestHeight, 0, 0,
                                       DestWidth, DestHeight, EnableAlpha, RowReuse, Transparency, rfNone,
                                       true, Operation);
        return;
    }

    // Tables: exact 64-bit mapping of each drawn column and row to the source, from the unclipped
    // origin, so a clipped rectangle keeps its alignment.
    TIERenderCache local;
    TIERenderCache& cache = Cache ? *Cache : local;
    const TIERenderCache::TKey key{
        Dest,  Dest->ScanLine(0), destW,      destH, int(x0), int(y0),  int(x1),   int(y1), DestX,
        DestY, DestWidth,         DestHeight, SrcX,  SrcY,    SrcWidth, SrcHeight, imageW,  imageH};
    if (!cache.valid_ || !(cache.key_ == key)) {
        cache.valid_ = false;
        const std::size_t nx = std::size_t(x1 - x0), ny = std::size_t(y1 - y0);
        cache.rows_.resize(ny);
        cache.columns_.resize(nx);
        cache.sourceRows_.resize(ny);
        for (std::size_t i = 0; i < ny; ++i)
            cache.rows_[i] = Dest->ScanLine(int(y0 + std::int64_t(i)));
        for (std::size_t i = 0; i < nx; ++i) {
            const std::int64_t offset = (x0 + std::int64_t(i) - DestX) * SrcWidth / DestWidth;
            cache.columns_[i] = int(Clamp64(std::int64_t(SrcX) + offset, sx0, sx1));
        }
        for (std::size_t i = 0; i < ny; ++i) {
            const std::int64_t offset = (y0 + std::int64_t(i) - DestY) * SrcHeight / DestHeight;
            cache.sourceRows_[i] = int(Clamp64(std::int64_t(SrcY) + offset, sy0, sy1));
        }
        cache.key_ = key;
        cache.valid_ = true;
    }

    TIEAccessScope readOnly(*this, 1);
    const bool useAlpha = EnableAlpha && HasAlphaChannel() && AlphaMatches(*alpha_, imageW, imageH);
    std::optional<TIEAccessScope> alphaReadOnly;
    if (useAlpha)
        alphaReadOnly.emplace(*alpha_, 1);
    const bool blendAlpha = useAlpha || Transparency < 255;
    const bool is24 = pixelFormat_ == ie24RGB;
    const int op = is24 ? Operation : 0;
    const bool adjust = is24 && (AdjustColors != 0 || Contrast != 0 || op != 0);

    // Colour adjustment as three 256-entry tables.
    std::array<std::array<std::uint8_t, 256>, 3> adjustTable{};
    if (adjust) {
        const std::int64_t k =
            Contrast >= 0 ? rtl::Trunc((1 + Contrast / 10.0) * 65536)
                          : rtl::Trunc((1 - std::sqrt(double(-std::int64_t(Contrast))) / 10) * 65536);
        const int offsets[3] = {BlueOffset, GreenOffset, RedOffset};
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                adjustTable[std::size_t(c)][std::size_t(v)] = AdjustChannel(v, offsets[c], k);
    }
    const std::uint8_t* opTable = (op > 0 && op < kChannelOps) ? ChannelTable(op) : nullptr;

    const int n = int(x1 - x0);
    const int* cols = cache.columns_.data();
    const bool contiguous = cols[n - 1] - cols[0] == n - 1 && DestWidth == SrcWidth;
    TRowGather gather(*this);
    std::vector<std::uint8_t> scratch(std::size_t(n) * 3);
    std::vector<std::uint8_t> alphaBytes(blendAlpha ? std::size_t(n) * 3 : 0);
    if (blendAlpha && !useAlpha)
        std::fill(alphaBytes.begin(), alphaBytes.end(), std::uint8_t(Transparency));
    const bool plainCopy = !blendAlpha && !adjust;
    const std::size_t byteOffset = std::size_t(x0) * 3, bytes = std::size_t(n) * 3;

    int previousSource = -1;
    for (std::size_t r = 0; r < cache.rows_.size(); ++r) {
        std::uint8_t* dst = cache.rows_[r] + byteOffset;
        const int sourceRow = cache.sourceRows_[r];
        // A row that repeats the previous source row repeats its result, unless the result depends
        // on what the destination held.
        if (RowReuse && plainCopy && sourceRow == previousSource) {
            std::memcpy(dst, cache.rows_[r - 1] + byteOffset, bytes);
            continue;
        }
        previousSource = sourceRow;
        const std::uint8_t* src = ScanLine(sourceRow);
        if (plainCopy) {
            if (is24 && contiguous)
                std::memcpy(dst, src + std::size_t(cols[0]) * 3, bytes);
            else
                gather.Gather(src, cols, n, dst);
            continue;
        }
        // A plain blend of contiguous 24-bit pixels reads them where they are.
        if (blendAlpha && is24 && contiguous && !adjust && op == 0) {
            const std::uint8_t* from = src + std::size_t(cols[0]) * 3;
            if (useAlpha)
                BlendPixels(dst, from, alpha_->ScanLine(sourceRow) + cols[0], std::uint8_t(Transparency), n);
            else
                BlendBytes(dst, from, alphaBytes.data(), bytes);
            continue;
        }
        std::uint8_t* s = scratch.data();
        if (is24 && contiguous)
            std::memcpy(s, src + std::size_t(cols[0]) * 3, bytes);
        else
            gather.Gather(src, cols, n, s);
        if (adjust)
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < 3; ++c)
                    s[3 * i + c] = adjustTable[std::size_t(c)][s[3 * i + c]];
        if (opTable) {
            for (std::size_t i = 0; i < bytes; ++i)
                s[i] = opTable[s[i] * 256 + dst[i]];
        } else if (op >= kChannelOps) {
            auto* sp = reinterpret_cast<TRGB*>(s);
            const auto* dp = reinterpret_cast<const TRGB*>(dst);
            for (int i = 0; i < n; ++i)
                sp[i] = IEBlendPixel(op, sp[i], dp[i]);
        }
        if (!blendAlpha) {
            std::memcpy(dst, s, bytes);
            continue;
        }
        if (useAlpha) {
            const std::uint8_t* a = alpha_->ScanLine(sourceRow);
            for (int i = 0; i < n; ++i) {
                const std::uint8_t w = std::min<std::uint8_t>(std::uint8_t(Transparency), a[cols[i]]);
                alphaBytes[std::size_t(3 * i)] = alphaBytes[std::size_t(3 * i + 1)] =
                    alphaBytes[std::size_t(3 * i + 2)] = w;
            }
        }
        BlendBytes(dst, s, alphaBytes.data(), bytes);
    }
}

// ---------------------------------------------------------------- pictures for canvases

std::unique_ptr<TIEBitmap> TIEBitmap::DisplayCopy24()
{
    const int w = GetWidth(), h = GetHeight();
    if (pixelFormat_ == ieNull || w < 1 || h < 1)
        return nullptr;
    auto copy = std::make_unique<TIEBitmap>();
    copy->MinFileSize = MinFileSize;
    copy->Allocate(w, h, ie24RGB);
    // Rows go through the renderer's own mapping, one at a time, so a file-backed copy stays small.
    TIEAccessScope readOnly(*this, 1);
    TRowGather gather(*this);
    std::vector<int> cols(static_cast<std::size_t>(w));
    for (int i = 0; i < w; ++i)
        cols[std::size_t(i)] = i;
    std::vector<std::uint8_t> row(std::size_t(w) * 3);
    {
        TIEAccessScope writeOnly(*copy, 2);
        for (int y = 0; y < h; ++y) {
            gather.Gather(ScanLine(y), cols.data(), w, row.data());
            std::memcpy(copy->ScanLine(y), row.data(), row.size());
        }
    }
    if (HasAlphaChannel())
        copy->GetAlphaChannel()->Assign(alpha_.get());
    return copy;
}

std::unique_ptr<TIEBitmap> TIEBitmap::StretchForCanvas(int Width, int Height, TResampleFilter Filter,
                                                       double Gamma)
{
    if (pixelFormat_ == ieNull || GetWidth() < 1 || GetHeight() < 1 || Width < 1 || Height < 1)
        return nullptr;
    // Formats the filters and packed DIBs cannot take are drawn from their 24-bit display copy.
    std::unique_ptr<TIEBitmap> display;
    TIEBitmap* source = this;
    if (pixelFormat_ != ie1g && pixelFormat_ != ie24RGB) {
        display = DisplayCopy24();
        source = display.get();
    }
    auto result = std::make_unique<TIEBitmap>();
    result->MinFileSize = MinFileSize;
    if (Filter == rfNone || (source->GetWidth() < 2 && source->GetHeight() < 2)) {
        result->Allocate(Width, Height, source->GetPixelFormat());
        ResampleNearest(source, result.get());
    } else {
        result->Allocate(Width, Height, ie24RGB);
        if (source->GetPixelFormat() == ie1g)
            ResampleFiltered1(source, result.get(), Filter);
        else
            ResampleFiltered(source, result.get(), Filter);
    }
    if (result->GetPixelFormat() == ie24RGB && Gamma > 0 && Gamma != 1) {
        std::array<std::uint8_t, 256> table{};
        for (int i = 0; i < 256; ++i)
            table[std::size_t(i)] =
                ClampByte(int(std::nearbyint(double(IEPower(i / 255.0L, 1.0L / Gamma)) * 255)));
        const std::size_t bytes = std::size_t(Width) * 3;
        for (int y = 0; y < Height; ++y) {
            std::uint8_t* row = result->ScanLine(y);
            for (std::size_t i = 0; i < bytes; ++i)
                row[i] = table[row[i]];
        }
    }
    return result;
}

}  // namespace imaging
