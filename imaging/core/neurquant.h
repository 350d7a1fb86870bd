// TIEQuantizer: reduces an image's colours to a palette (exact list, NeuQuant or median cut) and maps colours
// to it.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "platform/rtl/Object.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace imaging {

class TIEBitmap;
class TMedianCutQuantizer;

// NeuQuant's self-organising network in its integer form: NetSize nodes learn the colours of a
// sample of the image's pixels, then a green-sorted index finds the nearest node of any colour.
class TNeuQuant {
public:
    // NetSize 1..256. Quality -1 picks the sampling factor from the pixel count, 0..100 from the
    // quality (100 samples every pixel). The image must be ie24RGB; it is read here only.
    TNeuQuant(TIEBitmap& Bitmap, int NetSize, int Quality);

    int NetSize() const { return netSize_; }
    int SampleFac() const { return sampleFac_; }
    // Colour of node Index in the order before sorting, as the palette holds it.
    TRGB PaletteEntry(int Index) const { return palette_.at(std::size_t(Index)); }
    // The node nearest the colour (sum of channel differences), as its palette index.
    int Search(TRGB Color) const;

private:
    int SearchNetwork(TRGB Color) const;
    int WalkNetwork(TRGB Color) const;
    struct TNode {
        int b, g, r, index;
    };
    void Learn(TIEBitmap& Bitmap);
    int Contest(int b, int g, int r);
    void AlterSingle(int alpha, int j, int b, int g, int r);
    void AlterNeigh(int rad, int j, int b, int g, int r);
    void BuildIndex();

    int netSize_;
    int initRad_;
    int sampleFac_ = 1;
    std::vector<TNode> network_;
    std::array<int, 256> netIndex_ = {};
    std::vector<std::int32_t> bias_, freq_, radPower_;
    std::vector<TRGB> palette_;
    // Answers of Search by colour, direct-mapped: a photograph repeats its colours, and each search
    // walks the network. An entry holds the colour in its top 24 bits and the index below.
    mutable std::vector<std::uint32_t> searched_;
    // The sorted network as channel arrays of 16-bit values, padded to whole vectors with nodes too
    // far away to win; empty when a channel left 0..255.
    std::vector<std::int16_t> lanesB_, lanesG_, lanesR_;
    std::array<int, 257> greenFrom_ = {};
};

// Build one per conversion or write: construct, call ColorIndex for each pixel, destroy.
class TIEQuantizer : public rtl::TObject {
public:
    // Writes the palette's first entries into Palette; entries past the colours produced are left
    // as they were. NumColors is clamped to 1..256 and Palette must hold that many entries, else
    // rtl::EInvalidArgument. ColorLimit is accepted for callers and not read. Method is overridden
    // by the colour count (128 or more: NeuQuant, else median cut).
    TIEQuantizer(TIEBitmap* Bitmap, std::span<TRGB> Palette, int ColorLimit, int NumColors, int Quality = -1,
                 int Method = 0);
    ~TIEQuantizer() override;
    TIEQuantizer(const TIEQuantizer&) = delete;
    TIEQuantizer& operator=(const TIEQuantizer&) = delete;

    // Palette index of Color: its exact position in an exact or paletted source's palette, else the
    // nearest entry there (smallest sum of channel differences, first wins).
    int ColorIndex(TRGB Color) const;

    int Method() const { return method_; }
    bool GrayScale() const { return grayScale_; }
    int NumColors() const { return numColors_; }
    // The image's own colours, in order of first appearance, when they fit NumColors; else empty.
    bool HasExactPalette() const { return hasExactPalette_; }
    int ExactColorCount() const { return int(exactPalette_.size()); }
    // Colours the quantizer produced (palette entries written).
    int ColorsProduced() const { return colorsProduced_; }

private:
    int method_ = 0;
    std::unique_ptr<TNeuQuant> neuQuant_;
    std::unique_ptr<TMedianCutQuantizer> medianCut_;
    bool grayScale_ = false;
    bool hasExactPalette_ = false;
    std::vector<TRGB> exactPalette_;
    int numColors_ = 0;
    int colorsProduced_ = 0;
    // A paletted source's own palette, copied so the quantizer does not depend on the bitmap later.
    bool paletted_ = false;
    std::vector<TRGB> sourcePalette_;
};

}  // namespace imaging
