// Palette indexes of an image for the palette writers.
#include "imaging/io/detail/iepaletteindex.h"

#include "imaging/core/vodiradproc.h"

#include <algorithm>

namespace imaging::detail {

namespace {

constexpr std::size_t kHashSize = 1024;  // four times the largest palette
constexpr std::uint32_t kEmpty = 0;

std::uint32_t Key(TRGB c) { return (std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b) + 1; }

std::size_t Slot(std::uint32_t key) { return (key * 2654435761u) >> 22; }

}  // namespace

TIEIndexedImage::TIEIndexedImage(TIEBitmap& Bitmap, int Colors)
    : bitmap_(Bitmap), colors_(std::clamp(Colors, 1, 256)), palette_(std::size_t(colors_))
{
    const int width = Bitmap.GetWidth();
    const int height = Bitmap.GetHeight();
    const TIEPixelFormat format = Bitmap.GetPixelFormat();

    if (format == ie8p) {
        bool fits = true;
        for (int y = 0; y < height && fits; ++y) {
            const std::uint8_t* row = Bitmap.ScanLine(y);
            fits = std::all_of(row, row + width, [&](std::uint8_t v) { return v < colors_; });
        }
        if (fits) {
            mode_ = TMode::own;
            for (int i = 0; i < colors_; ++i)
                palette_[std::size_t(i)] = Bitmap.GetPaletteColor(i);
            found_ = colors_;
            return;
        }
    }

    // Few colours are kept as they are, whatever the quantizer would make of them (a grey ramp of
    // a few shades, say).
    lookUp_.assign(kHashSize * 2, kEmpty);
    bool exact = true;
    for (int y = 0; y < height && exact; ++y) {
        const std::uint8_t* row = Bitmap.ScanLine(y);
        TRGB last{};
        bool haveLast = false;
        for (int x = 0; x < width; ++x) {
            TRGB c;
            if (format == ie24RGB)
                c = reinterpret_cast<const TRGB*>(row)[x];
            else if (format == ie8p)
                c = Bitmap.GetPaletteColor(row[x]);
            else
                c = TRGB{row[x], row[x], row[x]};
            if (haveLast && c == last)
                continue;
            last = c;
            haveLast = true;
            const std::uint32_t key = Key(c);
            std::size_t s = Slot(key);
            while (lookUp_[2 * s] != kEmpty && lookUp_[2 * s] != key)
                s = (s + 1) % kHashSize;
            if (lookUp_[2 * s] == key)
                continue;
            if (found_ == colors_) {
                exact = false;
                break;
            }
            lookUp_[2 * s] = key;
            lookUp_[2 * s + 1] = std::uint32_t(found_);
            palette_[std::size_t(found_++)] = c;
        }
    }
    if (exact) {
        mode_ = TMode::exact;
        return;
    }
    lookUp_.clear();
    found_ = 0;
    std::fill(palette_.begin(), palette_.end(), TRGB{});
    TIEBitmap* source = &Bitmap;
    if (format == ie8p) {
        // The quantizer keeps a paletted image's own palette; its indexes did not fit.
        copy24_ = std::make_unique<TIEBitmap>();
        copy24_->AssignImage(&Bitmap);
        copy24_->SetPixelFormat(ie24RGB);
        source = copy24_.get();
    }
    quantizer_ = std::make_unique<TIEQuantizer>(source, palette_, colors_, colors_);
    found_ = std::clamp(quantizer_->ColorsProduced(), 1, colors_);
}

TIEIndexedImage::~TIEIndexedImage() = default;

void TIEIndexedImage::IndexRow(int Y, std::uint8_t* Out)
{
    const int width = bitmap_.GetWidth();
    const std::uint8_t* row = bitmap_.ScanLine(Y);
    const TIEPixelFormat format = bitmap_.GetPixelFormat();
    if (mode_ == TMode::own) {
        std::copy(row, row + width, Out);
        return;
    }
    if (copy24_)
        row = copy24_->ScanLine(Y);
    const bool rgb = format == ie24RGB || copy24_;
    TRGB last{};
    std::uint8_t lastIndex = 0;
    bool haveLast = false;
    for (int x = 0; x < width; ++x) {
        const TRGB c = rgb              ? reinterpret_cast<const TRGB*>(row)[x]
                       : format == ie8p ? bitmap_.GetPaletteColor(row[x])
                                        : TRGB{row[x], row[x], row[x]};
        if (!haveLast || !(c == last)) {
            lastIndex = std::uint8_t(IndexOf(c));
            last = c;
            haveLast = true;
        }
        Out[x] = lastIndex;
    }
}

int TIEIndexedImage::IndexOf(TRGB Color) const
{
    if (mode_ == TMode::exact) {
        const std::uint32_t key = Key(Color);
        for (std::size_t s = Slot(key); lookUp_[2 * s] != kEmpty; s = (s + 1) % kHashSize)
            if (lookUp_[2 * s] == key)
                return int(lookUp_[2 * s + 1]);
    } else if (mode_ == TMode::quantized) {
        return std::clamp(quantizer_->ColorIndex(Color), 0, colors_ - 1);
    }
    return NearestPaletteIndex(palette_.data(), std::max(found_, 1), Color);
}

}  // namespace imaging::detail
