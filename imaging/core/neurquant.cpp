// TIEQuantizer: reduces an image's colours to a palette (exact list, NeuQuant or median cut) and maps colours
// to it.
#include "imaging/core/neurquant.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/stdquant.h"
#include "imaging/core/vodiradproc.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace imaging {

namespace {

constexpr int kNetBiasShift = 4;   // colour channels are learnt with 4 extra bits
constexpr int kIntBiasShift = 16;  // frequencies and biases are fixed point with 16 bits
constexpr int kGammaShift = 10;
constexpr int kBetaShift = 10;
constexpr int kBeta = (1 << kIntBiasShift) >> kBetaShift;                       // 64
constexpr int kBetaGamma = (1 << kIntBiasShift) << (kGammaShift - kBetaShift);  // 65536
constexpr int kRadiusBiasShift = 6;
constexpr int kRadiusDec = 30;
constexpr int kInitAlpha = 1024;
constexpr int kRadBias = 256;
constexpr int kAlphaRadBias = 262144;
constexpr int kCycles = 100;

constexpr std::int16_t kFarAway = 10000;  // three channels of it still fit 16 bits
constexpr int kSearchSlotBits = 16;
constexpr std::size_t kSearchSlots = std::size_t(1) << kSearchSlotBits;

int RadiusOf(int radius)
{
    const int rad = radius >> kRadiusBiasShift;
    return rad < 2 ? 0 : rad;
}

}  // namespace

// ---------------------------------------------------------------- TNeuQuant

TNeuQuant::TNeuQuant(TIEBitmap& Bitmap, int NetSize, int Quality)
    : netSize_(std::clamp(NetSize, 1, 256)), initRad_(netSize_ >> 3)
{
    const std::int64_t pixels = std::int64_t(Bitmap.GetWidth()) * Bitmap.GetHeight();
    if (Quality != -1)
        sampleFac_ = int(rtl::Trunc((100 - Quality) / 100.0 * 29)) + 1;
    else if (pixels < 2000)
        sampleFac_ = 1;
    else
        sampleFac_ =
            int(std::clamp<std::int64_t>(rtl::Round(double(pixels - 2000) * 13 / 148000 + 2), 1, 30));
    sampleFac_ = std::clamp(sampleFac_, 1, 30);

    network_.resize(std::size_t(netSize_));
    bias_.assign(std::size_t(netSize_), 0);
    freq_.assign(std::size_t(netSize_), 65536 / netSize_);
    radPower_.assign(std::size_t(initRad_), 0);
    for (int i = 0; i < netSize_; ++i) {
        const int v = (i << 12) / netSize_;
        network_[std::size_t(i)] = {v, v, v, 0};
    }

    if (Bitmap.GetPixelFormat() == ie24RGB && pixels > 0)
        Learn(Bitmap);

    palette_.resize(std::size_t(netSize_));
    for (int i = 0; i < netSize_; ++i) {
        TNode& n = network_[std::size_t(i)];
        n.b >>= kNetBiasShift;
        n.g >>= kNetBiasShift;
        n.r >>= kNetBiasShift;
        n.index = i;
        palette_[std::size_t(i)] = TRGB{rtl::ClampToByte(n.b), rtl::ClampToByte(n.g), rtl::ClampToByte(n.r)};
    }
    BuildIndex();
}

void TNeuQuant::Learn(TIEBitmap& Bitmap)
{
    const int width = Bitmap.GetWidth(), height = Bitmap.GetHeight();
    const std::int64_t pixels = std::int64_t(width) * height;
    const std::int64_t lengthCount = pixels * 3;
    const int alphaDec = 30 + (sampleFac_ - 1) / 3;
    const std::int64_t samplePixels = lengthCount / (3 * std::int64_t(sampleFac_));
    std::int64_t delta = samplePixels / kCycles;
    if (delta == 0)
        delta = 1;

    int alpha = kInitAlpha;
    int radius = initRad_ << kRadiusBiasShift;
    int rad = RadiusOf(radius);
    for (int i = 0; i < rad; ++i)
        radPower_[std::size_t(i)] = ((rad * rad - i * i) * kRadBias / (rad * rad)) << 10;

    // A prime step that does not divide the image keeps consecutive samples apart.
    std::int64_t step;
    if (lengthCount % 499 != 0)
        step = 499;
    else if (lengthCount % 491 != 0)
        step = 491;
    else if (lengthCount % 487 != 0)
        step = 487;
    else
        step = 503;

    std::int64_t p = 0;
    for (std::int64_t i = 0; i < samplePixels;) {
        // Images smaller than the step leave p past the end; the row wraps instead.
        const int x = int(p % width);
        const int y = int((p / width) % height);
        const std::uint8_t* px = Bitmap.ScanLine(y) + std::size_t(x) * 3;
        const int b = px[0] << kNetBiasShift, g = px[1] << kNetBiasShift, r = px[2] << kNetBiasShift;
        const int j = Contest(b, g, r);
        AlterSingle(alpha, j, b, g, r);
        if (rad > 0)
            AlterNeigh(rad, j, b, g, r);
        p += step;
        if (p >= pixels)
            p -= pixels;
        ++i;
        if (i % delta == 0) {
            alpha -= alpha / alphaDec;
            radius -= radius / kRadiusDec;
            rad = RadiusOf(radius);
            for (int k = 0; k < rad; ++k)
                radPower_[std::size_t(k)] = alpha * ((rad * rad - k * k) * kRadBias / (rad * rad));
        }
    }
}

int TNeuQuant::Contest(int b, int g, int r)
{
    std::int64_t bestD = INT64_MAX, bestBiasD = INT64_MAX;
    int bestPos = -1, bestBiasPos = -1;
    for (int i = 0; i < netSize_; ++i) {
        const TNode& n = network_[std::size_t(i)];
        const std::int64_t dist = std::abs(n.b - b) + std::abs(n.g - g) + std::abs(n.r - r);
        if (dist < bestD) {
            bestD = dist;
            bestPos = i;
        }
        // A winner's bias goes negative and must stay negative when scaled: shifted as unsigned it
        // would turn huge, and the last winner would win every biased contest after it and be
        // dragged onto the next sample's colour.
        const std::int64_t biasDist =
            dist - (std::int64_t(bias_[std::size_t(i)]) >> (kIntBiasShift - kNetBiasShift));
        if (biasDist < bestBiasD) {
            bestBiasD = biasDist;
            bestBiasPos = i;
        }
        const int betaFreq = freq_[std::size_t(i)] >> kBetaShift;
        freq_[std::size_t(i)] -= betaFreq;
        bias_[std::size_t(i)] += betaFreq << kGammaShift;
    }
    freq_[std::size_t(bestPos)] += kBeta;
    bias_[std::size_t(bestPos)] -= kBetaGamma;
    return bestBiasPos;
}

void TNeuQuant::AlterSingle(int alpha, int j, int b, int g, int r)
{
    TNode& n = network_[std::size_t(j)];
    n.b -= (n.b - b) * alpha / kInitAlpha;
    n.g -= (n.g - g) * alpha / kInitAlpha;
    n.r -= (n.r - r) * alpha / kInitAlpha;
}

void TNeuQuant::AlterNeigh(int rad, int j, int b, int g, int r)
{
    const int lo = std::max(j - rad, -1);
    const int hi = std::min(j + rad, netSize_);
    int up = j + 1, down = j - 1, m = 1;
    auto move = [&](TNode& n, std::int64_t a) {
        n.b -= int((n.b - b) * a / kAlphaRadBias);
        n.g -= int((n.g - g) * a / kAlphaRadBias);
        n.r -= int((n.r - r) * a / kAlphaRadBias);
    };
    while (up < hi || down > lo) {
        const std::int64_t a = radPower_[std::size_t(m++)];
        if (up < hi)
            move(network_[std::size_t(up++)], a);
        if (down > lo)
            move(network_[std::size_t(down--)], a);
    }
}

void TNeuQuant::BuildIndex()
{
    const int maxNetPos = netSize_ - 1;
    int previousCol = 0, startPos = 0;
    for (int i = 0; i < netSize_; ++i) {
        int smallPos = i, smallVal = network_[std::size_t(i)].g;
        for (int j = i + 1; j < netSize_; ++j)
            if (network_[std::size_t(j)].g < smallVal) {
                smallPos = j;
                smallVal = network_[std::size_t(j)].g;
            }
        if (smallPos != i)
            std::swap(network_[std::size_t(i)], network_[std::size_t(smallPos)]);
        if (smallVal != previousCol) {
            netIndex_[std::size_t(previousCol)] = (startPos + i) >> 1;
            for (int j = previousCol + 1; j < smallVal; ++j)
                netIndex_[std::size_t(j)] = i;
            previousCol = smallVal;
            startPos = i;
        }
    }
    netIndex_[std::size_t(previousCol)] = (startPos + maxNetPos) >> 1;
    for (int j = previousCol + 1; j < 256; ++j)
        netIndex_[std::size_t(j)] = maxNetPos;

    // First node of each green value or above, for the search to skip the rest.
    for (int v = 0, i = 0; v <= 256; ++v) {
        while (i < netSize_ && network_[std::size_t(i)].g < v)
            ++i;
        greenFrom_[std::size_t(v)] = i;
    }
    const std::size_t padded = (std::size_t(netSize_) + 7) / 8 * 8;
    lanesB_.assign(padded, kFarAway);
    lanesG_.assign(padded, kFarAway);
    lanesR_.assign(padded, kFarAway);
    for (int i = 0; i < netSize_; ++i) {
        const TNode& n = network_[std::size_t(i)];
        if (n.b < 0 || n.b > 255 || n.g < 0 || n.g > 255 || n.r < 0 || n.r > 255) {
            lanesB_.clear();
            return;
        }
        lanesB_[std::size_t(i)] = std::int16_t(n.b);
        lanesG_[std::size_t(i)] = std::int16_t(n.g);
        lanesR_[std::size_t(i)] = std::int16_t(n.r);
    }
}

int TNeuQuant::Search(TRGB Color) const
{
    const std::uint32_t key =
        std::uint32_t(Color.b) | (std::uint32_t(Color.g) << 8) | (std::uint32_t(Color.r) << 16);
    if (searched_.empty())
        searched_.assign(kSearchSlots, 0xFFFFFFFFu);  // white at index 255 never counts as found: harmless
    std::uint32_t& slot = searched_[(key * 2654435761u) >> (32 - kSearchSlotBits)];
    if (slot != 0xFFFFFFFFu && (slot >> 8) == key)
        return int(slot & 0xFF);
    const int found = SearchNetwork(Color);
    slot = (key << 8) | std::uint32_t(found & 0xFF);
    return found;
}

// The search walks the network outwards from the colour's green, alternately up and down, and keeps
// the first node of the smallest distance it meets; a side stops where green alone is too far. Every
// node it never visits is at least as far as the best, so the answer is the node of the smallest
// distance whose visit would come first: node i0 + k is visited k-th going up, i0 - 1 - k k-th going
// down just after. That is found by measuring every node, eight at a time.
int TNeuQuant::SearchNetwork(TRGB Color) const
{
#ifdef __SSE2__
    if (!lanesB_.empty()) {
        const __m128i b = _mm_set1_epi16(Color.b), g = _mm_set1_epi16(Color.g), r = _mm_set1_epi16(Color.r);
        const std::size_t count = lanesB_.size();
        auto absDiff = [](__m128i x, __m128i y) {
            const __m128i d = _mm_sub_epi16(x, y);
            return _mm_max_epi16(d, _mm_sub_epi16(_mm_setzero_si128(), d));
        };
        // Only nodes whose green alone is no farther than the node the walk starts at can win.
        const int i0 = netIndex_[Color.g];
        const TNode& n0 = network_[std::size_t(i0)];
        const int d0 = std::abs(n0.b - Color.b) + std::abs(n0.g - Color.g) + std::abs(n0.r - Color.r);
        const std::size_t lo = std::size_t(greenFrom_[std::size_t(std::max(0, Color.g - d0))]) / 8 * 8;
        const std::size_t hi = std::min(
            count, (std::size_t(greenFrom_[std::size_t(std::min(256, Color.g + d0 + 1))]) + 7) / 8 * 8);
        alignas(16) std::int16_t dist[256];
        __m128i best = _mm_set1_epi16(0x7FFF);
        for (std::size_t i = lo; i < hi; i += 8) {
            const __m128i d = _mm_add_epi16(
                _mm_add_epi16(
                    absDiff(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lanesB_.data() + i)), b),
                    absDiff(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lanesG_.data() + i)), g)),
                absDiff(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lanesR_.data() + i)), r));
            _mm_store_si128(reinterpret_cast<__m128i*>(dist + i), d);
            best = _mm_min_epi16(best, d);
        }
        best = _mm_min_epi16(best, _mm_shuffle_epi32(best, 0x4E));
        best = _mm_min_epi16(best, _mm_shuffle_epi32(best, 0xB1));
        best = _mm_min_epi16(best, _mm_shufflelo_epi16(best, 0xB1));
        best = _mm_set1_epi16(std::int16_t(_mm_cvtsi128_si32(best)));
        // Visit order: k = pos - i0 gives 2k going up and 2|k| - 1 going down, that is 2k xor the
        // sign of k.
        const __m128i start = _mm_set1_epi16(std::int16_t(netIndex_[Color.g]));
        __m128i pos = _mm_add_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), _mm_set1_epi16(std::int16_t(lo)));
        const __m128i eight = _mm_set1_epi16(8), never = _mm_set1_epi16(0x7FFF);
        __m128i first = never;
        for (std::size_t i = lo; i < hi; i += 8, pos = _mm_add_epi16(pos, eight)) {
            const __m128i k = _mm_sub_epi16(pos, start);
            const __m128i order = _mm_xor_si128(_mm_slli_epi16(k, 1), _mm_srai_epi16(k, 15));
            const __m128i hit =
                _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(dist + i)), best);
            first =
                _mm_min_epi16(first, _mm_or_si128(_mm_and_si128(hit, order), _mm_andnot_si128(hit, never)));
        }
        first = _mm_min_epi16(first, _mm_shuffle_epi32(first, 0x4E));
        first = _mm_min_epi16(first, _mm_shuffle_epi32(first, 0xB1));
        first = _mm_min_epi16(first, _mm_shufflelo_epi16(first, 0xB1));
        const int order = std::int16_t(_mm_cvtsi128_si32(first));
        const int at =
            (order & 1) ? netIndex_[Color.g] - 1 - (order >> 1) : netIndex_[Color.g] + (order >> 1);
        return network_[std::size_t(at)].index;
    }
#endif
    return WalkNetwork(Color);
}

int TNeuQuant::WalkNetwork(TRGB Color) const
{
    const int b = Color.b, g = Color.g, r = Color.r;
    int bestD = 1000, best = -1;
    int i = netIndex_[std::size_t(g)], j = i - 1;
    while (i < netSize_ || j >= 0) {
        if (i < netSize_) {
            const TNode& n = network_[std::size_t(i)];
            int dist = n.g - g;
            if (dist >= bestD) {
                i = netSize_;
            } else {
                ++i;
                dist = std::abs(dist) + std::abs(n.b - b);
                if (dist < bestD) {
                    dist += std::abs(n.r - r);
                    if (dist < bestD) {
                        bestD = dist;
                        best = n.index;
                    }
                }
            }
        }
        if (j >= 0) {
            const TNode& n = network_[std::size_t(j)];
            int dist = g - n.g;
            if (dist >= bestD) {
                j = -1;
            } else {
                --j;
                dist = std::abs(dist) + std::abs(n.b - b);
                if (dist < bestD) {
                    dist += std::abs(n.r - r);
                    if (dist < bestD) {
                        bestD = dist;
                        best = n.index;
                    }
                }
            }
        }
    }
    return best;
}

// ---------------------------------------------------------------- TIEQuantizer

TIEQuantizer::TIEQuantizer(TIEBitmap* Bitmap, std::span<TRGB> Palette, int ColorLimit, int NumColors,
                           int Quality, int Method)
    : method_(Method), numColors_(std::clamp(NumColors, 1, 256))
{
    (void)ColorLimit;
    if (!Bitmap)
        throw rtl::EInvalidArgument("quantizer needs a bitmap");
    if (Palette.size() < std::size_t(numColors_))
        throw rtl::EInvalidArgument("palette of " + std::to_string(Palette.size()) + " entries cannot hold " +
                                    std::to_string(numColors_) + " colours");
    grayScale_ = Bitmap->IsGrayScale();
    const TIEPixelFormat format = Bitmap->GetPixelFormat();

    if (!grayScale_ && format == ie24RGB) {
        // Few colours are kept exactly, in order of first appearance.
        std::vector<TRGB> found;
        found.reserve(std::size_t(numColors_));
        bool exact = true;
        const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
        TRGB last{};
        bool haveLast = false;
        for (int y = 0; width > 0 && y < height && exact; ++y) {
            const std::uint8_t* p = Bitmap->ScanLine(y);
            for (int x = 0; x < width; ++x, p += 3) {
                const TRGB c{p[0], p[1], p[2]};
                if (haveLast && c == last)
                    continue;
                last = c;
                haveLast = true;
                if (std::find(found.begin(), found.end(), c) != found.end())
                    continue;
                if (int(found.size()) == numColors_) {
                    exact = false;
                    break;
                }
                found.push_back(c);
            }
        }
        if (exact) {
            hasExactPalette_ = true;
            exactPalette_ = std::move(found);
            std::copy(exactPalette_.begin(), exactPalette_.end(), Palette.begin());
            colorsProduced_ = int(exactPalette_.size());
            return;
        }
        method_ = numColors_ >= 128 ? 0 : 1;
        if (method_ == 0) {
            neuQuant_ = std::make_unique<TNeuQuant>(*Bitmap, numColors_, Quality);
            for (int i = 0; i < numColors_; ++i)
                Palette[std::size_t(i)] = neuQuant_->PaletteEntry(i);
            colorsProduced_ = numColors_;
        } else {
            medianCut_ = std::make_unique<TMedianCutQuantizer>(*Bitmap, numColors_);
            for (int i = 0; i < medianCut_->BoxCount(); ++i)
                Palette[std::size_t(i)] = medianCut_->PaletteEntry(i);
            colorsProduced_ = medianCut_->BoxCount();
        }
    } else if (format != ie8p) {
        if (grayScale_) {
            for (int i = 0; i < numColors_; ++i) {
                const auto v = std::uint8_t(rtl::Trunc(256.0 / numColors_ * i));
                Palette[std::size_t(i)] = TRGB{v, v, v};
            }
            colorsProduced_ = numColors_;
        }
    } else {
        paletted_ = true;
        // Only the entries handed on can be looked up.
        sourcePalette_.assign(Bitmap->Palette(),
                              Bitmap->Palette() + std::min(numColors_, Bitmap->PaletteLen()));
        for (int i = 0; i < numColors_; ++i)
            Palette[std::size_t(i)] = Bitmap->GetPaletteColor(i);
        colorsProduced_ = numColors_;
    }
}

TIEQuantizer::~TIEQuantizer() = default;

int TIEQuantizer::ColorIndex(TRGB Color) const
{
    // A colour outside a fixed palette gets its nearest entry: -1, or an index past the palette,
    // would make the caller write a pixel that points at no colour.
    const auto lookUp = [&](const std::vector<TRGB>& palette) {
        const auto it = std::find(palette.begin(), palette.end(), Color);
        return it != palette.end() ? int(it - palette.begin())
                                   : NearestPaletteIndex(palette.data(), int(palette.size()), Color);
    };
    if (hasExactPalette_)
        return lookUp(exactPalette_);
    // A paletted image hands on its own palette, grey or not, so its lookups must use that palette
    // rather than the grey ramp's arithmetic.
    if (paletted_)
        return lookUp(sourcePalette_);
    if (grayScale_)
        return int(rtl::Trunc(double(Color.r) * numColors_ / 256));
    if (neuQuant_)
        return neuQuant_->Search(Color);
    if (medianCut_)
        return medianCut_->ColorIndex(Color);
    return 0;
}

}  // namespace imaging
