// Colour spaces of the readers and writers: CIE L*a*b* in the 8-bit encoding of TIFF files, and the
// library-wide row converter between RGB, CMYK and L*a*b* that the TIFF and JPEG code call. Portable.
#pragma once

#include <cstdint>

namespace imaging {

// L*a*b* against one reference white. RGB is sRGB (its transfer curve and primaries), adapted to
// the reference white (Bradford), so white is (255, 0, 0) whatever the white. The encoding: L* 0..100
// as 0..255, a* and b* as signed bytes, rounded and clamped.
class TIELabSpace {
public:
    // The reference white's chromaticity; D50 (the default) when it is none (y not above 0, x or
    // y negative, x + y above 1).
    explicit TIELabSpace(double WhiteX = kD50X, double WhiteY = kD50Y);

    // Color: R in bits 16-23, G in 8-15, B in 0-7 (a B,G,R pixel read little-endian). Lab receives
    // L, a, b.
    void RGBToLab(std::uint8_t* Lab, std::uint32_t Color) const;
    // Lab: L (unsigned), a, b (signed); BGR receives blue, green, red.
    void LabToRGB(std::uint8_t* BGR, const std::uint8_t* Lab) const;
    // The XYZ of an encoded L*a*b* pixel, Y of the white 100.
    void LabToXYZ(const std::uint8_t* Lab, double& X, double& Y, double& Z) const;
    const double* White() const { return white_; }

    static constexpr double kD50X = 0.3457;
    static constexpr double kD50Y = 0.3585;

private:
    double white_[3];       // XYZ, Y = 1
    double toXYZ_[3][3];    // linear RGB to XYZ under the reference white
    double fromXYZ_[3][3];  // and back
};

// The same against D50.
void RGBToLab(std::uint8_t* Lab, std::uint32_t Color);
void LabToRGB(std::uint8_t* BGR, const std::uint8_t* Lab);

// Spaces of the row converter: RGB is blue, green, red (3 bytes), CMYK 4 bytes, L*a*b* 3 bytes.
inline constexpr int kIEColorRGB = 0;
inline constexpr int kIEColorCMYK = 1;
inline constexpr int kIEColorCIELab = 2;

// Converts Count pixels. RGB to CMYK: K is the largest channel (at least 1) and C, M, Y are red,
// green and blue x 255 / K; CMYK to RGB: each channel x K / 255; RGB and L*a*b* through Lab (D50
// when null). Other pairs do nothing. Source and Dest do not overlap.
void ConvertColorSpaceRow(const std::uint8_t* Source, int SourceSpace, std::uint8_t* Dest, int Count,
                          int DestSpace, const TIELabSpace* Lab = nullptr);

using TIEConvertColorFunction = decltype(&ConvertColorSpaceRow);
// The library-wide converter the readers and writers call; it starts out as the routine above.
extern TIEConvertColorFunction IEConvertColorFunction;

}  // namespace imaging
