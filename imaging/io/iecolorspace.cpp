// CIE L*a*b* conversions and the library's colour-space row converter.
#include "imaging/io/iecolorspace.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace imaging {

namespace {

using Matrix = double[3][3];

// sRGB primaries under their own white, D65.
constexpr Matrix kSRGBToXYZ = {
    {0.4124564, 0.3575761, 0.1804375}, {0.2126729, 0.7151522, 0.0721750}, {0.0193339, 0.1191920, 0.9503041}};
constexpr double kD65[3] = {0.95047, 1.0, 1.08883};
constexpr Matrix kBradford = {
    {0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};

constexpr double kDelta = 6.0 / 29.0;

void Multiply(const Matrix a, const Matrix b, Matrix out)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
}

void Apply(const Matrix m, const double* v, double* out)
{
    for (int i = 0; i < 3; ++i)
        out[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
}

void Invert(const Matrix m, Matrix out)
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    out[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    out[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    out[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    out[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    out[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    out[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    out[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    out[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    out[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
}

// sRGB's transfer curve: byte to linear, and linear (in 65536 steps) to byte.
const std::array<double, 256>& Linear()
{
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            t[std::size_t(i)] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

constexpr int kEncodeSteps = 65535;

const std::vector<std::uint8_t>& Encoded()
{
    static const std::vector<std::uint8_t> table = [] {
        std::vector<std::uint8_t> t(kEncodeSteps + 1);
        for (int i = 0; i <= kEncodeSteps; ++i) {
            const double v = double(i) / kEncodeSteps;
            const double c = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
            t[std::size_t(i)] = std::uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255));
        }
        return t;
    }();
    return table;
}

std::uint8_t Encode(double linear)
{
    // Written so that a value that is not a number (a white point that makes the matrices
    // singular) reads as 0 rather than indexing the table with it: std::clamp passes it through.
    const double v = linear > 0 ? std::min(linear, 1.0) : 0.0;
    return Encoded()[std::size_t(std::lround(v * kEncodeSteps))];
}

double F(double t)
{
    return t > kDelta * kDelta * kDelta ? std::cbrt(t) : t / (3 * kDelta * kDelta) + 4.0 / 29;
}

double FInverse(double t) { return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29); }

std::uint8_t ClampByte(double v) { return std::uint8_t(std::clamp<long>(std::lround(v), 0, 255)); }

std::uint8_t SignedByte(double v)
{
    return std::uint8_t(std::int8_t(std::clamp<long>(std::lround(v), -128, 127)));
}

}  // namespace

TIELabSpace::TIELabSpace(double WhiteX, double WhiteY)
{
    if (!(WhiteY > 0 && WhiteX >= 0 && WhiteX + WhiteY <= 1)) {
        WhiteX = kD50X;
        WhiteY = kD50Y;
    }
    white_[0] = WhiteX / WhiteY;
    white_[1] = 1.0;
    white_[2] = (1 - WhiteX - WhiteY) / WhiteY;
    // Bradford adaptation of the sRGB primaries from D65 to the reference white.
    double from[3], to[3];
    Apply(kBradford, kD65, from);
    Apply(kBradford, white_, to);
    Matrix scale = {{to[0] / from[0], 0, 0}, {0, to[1] / from[1], 0}, {0, 0, to[2] / from[2]}};
    Matrix inverseBradford, t1, adapt;
    Invert(kBradford, inverseBradford);
    Multiply(scale, kBradford, t1);
    Multiply(inverseBradford, t1, adapt);
    Multiply(adapt, kSRGBToXYZ, toXYZ_);
    Invert(toXYZ_, fromXYZ_);
}

void TIELabSpace::RGBToLab(std::uint8_t* Lab, std::uint32_t Color) const
{
    const auto& linear = Linear();
    const double rgb[3] = {linear[(Color >> 16) & 0xFF], linear[(Color >> 8) & 0xFF], linear[Color & 0xFF]};
    double xyz[3];
    Apply(toXYZ_, rgb, xyz);
    const double fx = F(xyz[0] / white_[0]);
    const double fy = F(xyz[1] / white_[1]);
    const double fz = F(xyz[2] / white_[2]);
    Lab[0] = ClampByte((116 * fy - 16) * 255 / 100);
    Lab[1] = SignedByte(500 * (fx - fy));
    Lab[2] = SignedByte(200 * (fy - fz));
}

void TIELabSpace::LabToXYZ(const std::uint8_t* Lab, double& X, double& Y, double& Z) const
{
    const double l = Lab[0] * 100.0 / 255;
    const double fy = (l + 16) / 116;
    X = FInverse(fy + std::int8_t(Lab[1]) / 500.0) * white_[0] * 100;
    Y = FInverse(fy) * white_[1] * 100;
    Z = FInverse(fy - std::int8_t(Lab[2]) / 200.0) * white_[2] * 100;
}

void TIELabSpace::LabToRGB(std::uint8_t* BGR, const std::uint8_t* Lab) const
{
    double xyz[3];
    LabToXYZ(Lab, xyz[0], xyz[1], xyz[2]);
    for (double& v : xyz)
        v /= 100;
    double rgb[3];
    Apply(fromXYZ_, xyz, rgb);
    BGR[0] = Encode(rgb[2]);
    BGR[1] = Encode(rgb[1]);
    BGR[2] = Encode(rgb[0]);
}

void RGBToLab(std::uint8_t* Lab, std::uint32_t Color)
{
    static const TIELabSpace d50;
    d50.RGBToLab(Lab, Color);
}

void LabToRGB(std::uint8_t* BGR, const std::uint8_t* Lab)
{
    static const TIELabSpace d50;
    d50.LabToRGB(BGR, Lab);
}

void ConvertColorSpaceRow(const std::uint8_t* Source, int SourceSpace, std::uint8_t* Dest, int Count,
                          int DestSpace, const TIELabSpace* Lab)
{
    static const TIELabSpace d50;
    const TIELabSpace& space = Lab ? *Lab : d50;
    for (int i = 0; i < Count; ++i) {
        if (SourceSpace == kIEColorRGB && DestSpace == kIEColorCMYK) {
            const std::uint8_t* s = Source + 3 * i;
            std::uint8_t* d = Dest + 4 * i;
            const int k = std::max({int(s[0]), int(s[1]), int(s[2]), 1});
            d[0] = std::uint8_t(s[2] * 255 / k);
            d[1] = std::uint8_t(s[1] * 255 / k);
            d[2] = std::uint8_t(s[0] * 255 / k);
            d[3] = std::uint8_t(k);
        } else if (SourceSpace == kIEColorCMYK && DestSpace == kIEColorRGB) {
            const std::uint8_t* s = Source + 4 * i;
            std::uint8_t* d = Dest + 3 * i;
            d[0] = std::uint8_t(s[2] * s[3] / 255);
            d[1] = std::uint8_t(s[1] * s[3] / 255);
            d[2] = std::uint8_t(s[0] * s[3] / 255);
        } else if (SourceSpace == kIEColorRGB && DestSpace == kIEColorCIELab) {
            const std::uint8_t* s = Source + 3 * i;
            space.RGBToLab(Dest + 3 * i, std::uint32_t(s[2]) << 16 | std::uint32_t(s[1]) << 8 | s[0]);
        } else if (SourceSpace == kIEColorCIELab && DestSpace == kIEColorRGB) {
            space.LabToRGB(Dest + 3 * i, Source + 3 * i);
        } else {
            return;
        }
    }
}

TIEConvertColorFunction IEConvertColorFunction = &ConvertColorSpaceRow;

}  // namespace imaging
