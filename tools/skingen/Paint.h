// skingen's drawing: an RGB picture with anti-aliased shapes given by signed distances.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace skingen {

struct Rgb {
    float R = 0;
    float G = 0;
    float B = 0;
};

// 0xRRGGBB as written in the design notes (not the 0x00BBGGRR of TColor).
constexpr Rgb Hex(std::uint32_t rgb)
{
    return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f, static_cast<float>((rgb >> 8) & 0xFF) / 255.0f,
            static_cast<float>(rgb & 0xFF) / 255.0f};
}
// A TColor value (0x00BBGGRR) as a colour.
constexpr Rgb FromTColor(std::uint32_t c)
{
    return {static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
            static_cast<float>((c >> 16) & 0xFF) / 255.0f};
}
inline Rgb Mix(Rgb a, Rgb b, float t)
{
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
inline Rgb Lighter(Rgb c, float t) { return Mix(c, Hex(0xFFFFFF), t); }
inline Rgb Darker(Rgb c, float t) { return Mix(c, Hex(0x000000), t); }

// The key colour of the skins: pixels of it are masked out where a part is drawn transparent.
inline constexpr Rgb kKey = Hex(0xFF00FF);

// Signed distance of a point from a shape's edge, negative inside.
using Shape = std::function<float(float x, float y)>;
// Colour at a point, for gradients inside a shape.
using Paint = std::function<Rgb(float x, float y)>;

Shape RoundRect(float x0, float y0, float x1, float y1, float radius);
Shape Circle(float cx, float cy, float r);
Shape Segment(float x0, float y0, float x1, float y1, float width);
Shape Triangle(float x0, float y0, float x1, float y1, float x2, float y2);
// The band of `width` along the edge of `shape`.
Shape Outline(Shape shape, float width);
Shape Union(Shape a, Shape b);

Paint Solid(Rgb c);
// Colour stops along y (from y0 to y1), clamped outside.
Paint VerticalGradient(float y0, float y1, std::vector<std::pair<float, Rgb>> stops);
Paint HorizontalGradient(float x0, float x1, std::vector<std::pair<float, Rgb>> stops);

class Picture {
public:
    Picture(int width, int height, Rgb fill = kKey);

    int Width() const { return width_; }
    int Height() const { return height_; }
    Rgb At(int x, int y) const { return pixels_[static_cast<std::size_t>(y * width_ + x)]; }
    void Set(int x, int y, Rgb c) { pixels_[static_cast<std::size_t>(y * width_ + x)] = c; }

    void FillRect(int x0, int y0, int x1, int y1, const Paint& paint);
    // Blends `paint` over the pixels by the shape's coverage of each pixel (pixel centres at
    // +0.5). `hard` rounds the coverage, for parts whose outside must stay exactly the key colour.
    void Draw(const Shape& shape, const Paint& paint, bool hard = false);
    void Draw(const Shape& shape, Rgb colour, bool hard = false) { Draw(shape, Solid(colour), hard); }
    // Sets the pixels whose centres lie outside `shape` to the key colour; the edge pixels keep
    // the anti-aliasing they got against the background they were drawn over.
    void KeyOutside(const Shape& shape);
    // Copies `source` with its top-left corner at (x, y).
    void Blit(const Picture& source, int x, int y);

    // A 24-bit bottom-up BMP file with a 40-byte header.
    std::vector<std::uint8_t> Bmp() const;

private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

// Appends v little-endian, in two or four bytes: the files the tools write are little-endian.
void Put16(std::vector<std::uint8_t>& b, std::uint32_t v);
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v);

// Pictures laid side by side, each as wide as the first.
Picture Strip(const std::vector<Picture>& pieces);
// Pictures stacked top to bottom.
Picture Stack(const std::vector<Picture>& pieces);

}  // namespace skingen
