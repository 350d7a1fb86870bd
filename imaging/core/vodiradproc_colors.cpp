// Reduced-colour and two-level conversions of the processing unit: palette reduction, ordered dither,
// threshold, two-colour packing.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/hyieutils.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/neurquant.h"
#include "platform/rtl/Numeric.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

// Rows of the dither matrix are picked by x, columns by y.
constexpr std::uint8_t kOrderedMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

void ReportRow(const TIEProgressEvent& onProgress, void* sender, int row, int rows)
{
    if (onProgress)
        onProgress(sender, int(rtl::Trunc(row * 100.0 / (rows + 0.5))));
}

// Float samples are 0..1; out-of-range and NaN values are clamped rather than trusted.
std::uint8_t FloatLevel(float v)
{
    if (!(v > 0))
        return 0;
    if (v >= 1)
        return 255;
    return std::uint8_t(rtl::Trunc(double(v) * 255));
}

// One row of any format as TRGB pixels.
void ReadRowRGB(TIEBitmap& bitmap, int y, std::vector<TRGB>& out)
{
    const int width = bitmap.GetWidth();
    out.resize(std::size_t(width));
    const std::uint8_t* row = bitmap.ScanLine(y);
    switch (bitmap.GetPixelFormat()) {
    case ie1g:
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v = GetPixelBit(row, x) ? 255 : 0;
            out[std::size_t(x)] = {v, v, v};
        }
        break;
    case ie8p:
        for (int x = 0; x < width; ++x)
            out[std::size_t(x)] = bitmap.GetPaletteColor(row[x]);
        break;
    case ie8g:
        for (int x = 0; x < width; ++x)
            out[std::size_t(x)] = {row[x], row[x], row[x]};
        break;
    case ie16g:
        for (int x = 0; x < width; ++x) {
            std::uint16_t v;
            std::memcpy(&v, row + std::size_t(x) * 2, 2);
            const auto b = std::uint8_t(v >> 8);
            out[std::size_t(x)] = {b, b, b};
        }
        break;
    case ie24RGB: std::memcpy(out.data(), row, std::size_t(width) * 3); break;
    case ie32f:
        for (int x = 0; x < width; ++x) {
            float v;
            std::memcpy(&v, row + std::size_t(x) * 4, 4);
            const std::uint8_t b = FloatLevel(v);
            out[std::size_t(x)] = {b, b, b};
        }
        break;
    default: std::fill(out.begin(), out.end(), TRGB{}); break;
    }
}

bool IsEmpty(TIEBitmap* bitmap)
{
    return !bitmap || bitmap->GetPixelFormat() == ieNull || bitmap->GetWidth() <= 0 ||
           bitmap->GetHeight() <= 0;
}

int MaximumEntropyLevel(TIEBitmap& source)
{
    const int width = source.GetWidth(), height = source.GetHeight();
    std::vector<std::int64_t> hist(256, 0);
    std::vector<TRGB> row;
    for (int y = 0; y < height; ++y) {
        ReadRowRGB(source, y, row);
        for (const TRGB& c : row)
            ++hist[RGBToGray(c)];
    }
    const double total = double(std::int64_t(width) * height);
    double p[256];
    double entropyAll = 0;
    for (int i = 0; i < 256; ++i) {
        p[i] = double(hist[std::size_t(i)]) / total;
        if (p[i] > 0)
            entropyAll -= p[i] * std::log(p[i]);
    }
    // No level scores above zero for an image of one or two grey levels; the middle grey then
    // still parts two levels where none would.
    int level = 128;
    double best = 0, cumulative = 0, entropyLow = 0;
    for (int t = 1; t <= 255; ++t) {
        cumulative += p[t - 1];
        if (p[t - 1] > 0)
            entropyLow -= p[t - 1] * std::log(p[t - 1]);
        if (cumulative > 0 && cumulative < 1) {
            const double score = std::log(cumulative * (1 - cumulative)) + entropyLow / cumulative +
                                 (entropyAll - entropyLow) / (1 - cumulative);
            if (score > best) {
                best = score;
                level = t;
            }
        }
    }
    return level;
}

}  // namespace

void ReduceColors(TIEBitmap* Bitmap, int NumColors, std::span<TRGB> Palette,
                  const TIEProgressEvent& OnProgress, void* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB)
        return;
    std::vector<TRGB> own;
    if (Palette.empty()) {
        own.resize(256);
        Palette = own;
    }
    const TIEQuantizer quantizer(Bitmap, Palette, 255, NumColors);
    const int colors = quantizer.NumColors();
    const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    for (int y = 0; width > 0 && y < height; ++y) {
        auto* p = Bitmap->ScanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const int index = quantizer.ColorIndex(TRGB{p[0], p[1], p[2]});
            if (index >= 0 && index < colors)
                std::memcpy(p, &Palette[std::size_t(index)], 3);
        }
        ReportRow(OnProgress, Sender, y, height);
    }
}

void BWOrdered(TIEBitmap* Bitmap)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB)
        return;
    const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    TIEBitmap result;
    result.Allocate(width, height, ie1g);
    for (int y = 0; width > 0 && y < height; ++y) {
        const std::uint8_t* src = Bitmap->ScanLine(y);
        std::uint8_t* dst = result.ScanLine(y);
        for (int x = 0; x < width; ++x, src += 3) {
            const TRGB c{src[0], src[1], src[2]};
            const int v = (c.r > 250 && c.g > 250 && c.b > 250) ? 64 : RGBToGray(c) / 4;
            SetPixelBit(dst, x, v > kOrderedMatrix[x & 7][y & 7]);
        }
    }
    Bitmap->RemoveAlphaChannel();
    result.MoveTo(Bitmap);
}

void AverageColor(TIEBitmap* Bitmap, int& R, int& G, int& B)
{
    R = G = B = 0;
    if (IsEmpty(Bitmap))
        return;
    const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    std::int64_t tr = 0, tg = 0, tb = 0;
    std::vector<TRGB> row;
    for (int y = 0; y < height; ++y) {
        ReadRowRGB(*Bitmap, y, row);
        std::int64_t sr = 0, sg = 0, sb = 0;
        for (const TRGB& c : row) {
            sr += c.r;
            sg += c.g;
            sb += c.b;
        }
        tr += sr / width;
        tg += sg / width;
        tb += sb / width;
    }
    R = int(tr / height);
    G = int(tg / height);
    B = int(tb / height);
}

int BWThresholdLevel(TIEBitmap* Source, int Threshold)
{
    if (IsEmpty(Source) || (Threshold != -1 && Threshold != -2))
        return Threshold;
    if (Threshold == -1) {
        int r, g, b;
        AverageColor(Source, r, g, b);
        return RGBToGray(TRGB{std::uint8_t(b), std::uint8_t(g), std::uint8_t(r)});
    }
    return MaximumEntropyLevel(*Source);
}

void BWThreshold(TIEBitmap* Source, TIEBitmap* Dest, int Threshold, const TIEProgressEvent& OnProgress,
                 void* Sender)
{
    if (!Source || !Dest)
        return;
    if (Source->GetPixelFormat() == ie1g) {
        if (Dest != Source)
            Dest->Assign(Source);
        return;
    }
    const int width = Source->GetWidth(), height = Source->GetHeight();
    const int level = BWThresholdLevel(Source, Threshold);
    TIEBitmap separate;
    TIEBitmap& target = Dest == Source ? separate : *Dest;
    target.Allocate(width, height, ie1g);
    std::vector<TRGB> row;
    for (int y = 0; width > 0 && y < height; ++y) {
        ReadRowRGB(*Source, y, row);
        std::uint8_t* dst = target.ScanLine(y);
        for (int x = 0; x < width; ++x)
            SetPixelBit(dst, x, RGBToGray(row[std::size_t(x)]) >= level);
        ReportRow(OnProgress, Sender, y, height);
    }
    if (Dest == Source) {
        Dest->RemoveAlphaChannel();
        separate.MoveTo(Dest);
    }
}

std::unique_ptr<TIEBitmap> TwoColorsTo1Bit(TIEBitmap* Bitmap, TRGB& Color1, TRGB& Color2)
{
    if (IsEmpty(Bitmap))
        return nullptr;
    const int width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    THash1 colors(13);
    auto result = std::make_unique<TIEBitmap>();
    result->Allocate(width, height, ie1g);
    std::vector<TRGB> row;
    for (int y = 0; y < height && colors.Count() <= 2; ++y) {
        ReadRowRGB(*Bitmap, y, row);
        std::uint8_t* dst = result->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const TRGB c = row[std::size_t(x)];
            if (colors.AddKey((c.r << 16) + (c.g << 8) + c.b)) {
                if (colors.Count() == 1)
                    Color1 = c;
                else
                    Color2 = c;
            }
            SetPixelBit(dst, x, !(c == Color1));
        }
    }
    if (colors.Count() != 2)
        return nullptr;
    auto grey = [](TRGB c) { return rtl::Round((c.r * 21 + c.g * 71 + c.b * 8) / 100.0); };
    if (grey(Color2) < grey(Color1)) {
        InvertBitmapBits(result.get());
        std::swap(Color1, Color2);
    }
    return result;
}

}  // namespace imaging
