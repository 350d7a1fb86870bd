// skingen's drawing primitives.
#include "tools/skingen/Paint.h"

#include <stdexcept>

namespace skingen {

namespace {

float Length(float x, float y) { return std::sqrt(x * x + y * y); }

Rgb Stops(const std::vector<std::pair<float, Rgb>>& stops, float t)
{
    if (t <= stops.front().first)
        return stops.front().second;
    for (std::size_t i = 1; i < stops.size(); ++i) {
        if (t <= stops[i].first) {
            const float span = stops[i].first - stops[i - 1].first;
            return Mix(stops[i - 1].second, stops[i].second,
                       span > 0 ? (t - stops[i - 1].first) / span : 1.0f);
        }
    }
    return stops.back().second;
}

std::uint8_t Byte(float v)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255.0f), 0L, 255L));
}

}  // namespace

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

Shape RoundRect(float x0, float y0, float x1, float y1, float radius)
{
    const float cx = (x0 + x1) / 2;
    const float cy = (y0 + y1) / 2;
    const float hw = (x1 - x0) / 2;
    const float hh = (y1 - y0) / 2;
    const float r = std::min({radius, hw, hh});
    return [=](float x, float y) {
        const float qx = std::fabs(x - cx) - (hw - r);
        const float qy = std::fabs(y - cy) - (hh - r);
        return Length(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - r;
    };
}

Shape Circle(float cx, float cy, float r)
{
    return [=](float x, float y) { return Length(x - cx, y - cy) - r; };
}

Shape Segment(float x0, float y0, float x1, float y1, float width)
{
    return [=](float x, float y) {
        const float dx = x1 - x0;
        const float dy = y1 - y0;
        const float len2 = dx * dx + dy * dy;
        const float t = len2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0f, 1.0f) : 0.0f;
        return Length(x - (x0 + t * dx), y - (y0 + t * dy)) - width / 2;
    };
}

Shape Triangle(float x0, float y0, float x1, float y1, float x2, float y2)
{
    // Distance to the nearest edge, negative inside (either winding).
    return [=](float x, float y) {
        const float px[3] = {x0, x1, x2};
        const float py[3] = {y0, y1, y2};
        float best = 1e9f;
        float sign = 0;
        bool inside = true;
        for (int i = 0; i < 3; ++i) {
            const int j = (i + 1) % 3;
            const float ex = px[j] - px[i];
            const float ey = py[j] - py[i];
            const float len2 = ex * ex + ey * ey;
            const float t = std::clamp(((x - px[i]) * ex + (y - py[i]) * ey) / len2, 0.0f, 1.0f);
            best = std::min(best, Length(x - (px[i] + t * ex), y - (py[i] + t * ey)));
            const float cross = ex * (y - py[i]) - ey * (x - px[i]);
            if (sign == 0)
                sign = cross;
            else if ((cross > 0) != (sign > 0) && cross != 0)
                inside = false;
        }
        return inside ? -best : best;
    };
}

Shape Outline(Shape shape, float width)
{
    return [shape = std::move(shape), width](float x, float y) { return std::fabs(shape(x, y)) - width / 2; };
}

Shape Union(Shape a, Shape b)
{
    return [a = std::move(a), b = std::move(b)](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Paint Solid(Rgb c)
{
    return [c](float, float) { return c; };
}

Paint VerticalGradient(float y0, float y1, std::vector<std::pair<float, Rgb>> stops)
{
    return [=](float, float y) { return Stops(stops, (y - y0) / (y1 - y0)); };
}

Paint HorizontalGradient(float x0, float x1, std::vector<std::pair<float, Rgb>> stops)
{
    return [=](float x, float) { return Stops(stops, (x - x0) / (x1 - x0)); };
}

Picture::Picture(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height), fill)
{
    if (width <= 0 || height <= 0)
        throw std::runtime_error("picture of " + std::to_string(width) + "x" + std::to_string(height));
}

void Picture::FillRect(int x0, int y0, int x1, int y1, const Paint& paint)
{
    for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x)
            Set(x, y, paint(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f));
}

void Picture::Draw(const Shape& shape, const Paint& paint, bool hard)
{
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const float cx = static_cast<float>(x) + 0.5f;
            const float cy = static_cast<float>(y) + 0.5f;
            float cover = std::clamp(0.5f - shape(cx, cy), 0.0f, 1.0f);
            if (hard)
                cover = cover >= 0.5f ? 1.0f : 0.0f;
            if (cover > 0)
                Set(x, y, Mix(At(x, y), paint(cx, cy), cover));
        }
    }
}

void Picture::KeyOutside(const Shape& shape)
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (shape(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f) > 0.25f)
                Set(x, y, kKey);
}

void Picture::Blit(const Picture& source, int x, int y)
{
    for (int sy = 0; sy < source.height_; ++sy)
        for (int sx = 0; sx < source.width_; ++sx)
            if (x + sx >= 0 && x + sx < width_ && y + sy >= 0 && y + sy < height_)
                Set(x + sx, y + sy, source.At(sx, sy));
}

std::vector<std::uint8_t> Picture::Bmp() const
{
    const std::uint32_t row = static_cast<std::uint32_t>((width_ * 3 + 3) / 4 * 4);
    const std::uint32_t imageSize = row * static_cast<std::uint32_t>(height_);
    std::vector<std::uint8_t> b = {'B', 'M'};
    Put32(b, 14 + 40 + imageSize);
    Put32(b, 0);
    Put32(b, 14 + 40);
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(width_));
    Put32(b, static_cast<std::uint32_t>(height_));
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);
    Put32(b, imageSize);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (int y = height_ - 1; y >= 0; --y) {
        const std::size_t start = b.size();
        for (int x = 0; x < width_; ++x) {
            const Rgb c = At(x, y);
            b.push_back(Byte(c.B));
            b.push_back(Byte(c.G));
            b.push_back(Byte(c.R));
        }
        b.resize(start + row, 0);
    }
    return b;
}

Picture Strip(const std::vector<Picture>& pieces)
{
    Picture out(pieces.front().Width() * static_cast<int>(pieces.size()), pieces.front().Height());
    for (std::size_t i = 0; i < pieces.size(); ++i)
        out.Blit(pieces[i], static_cast<int>(i) * pieces.front().Width(), 0);
    return out;
}

Picture Stack(const std::vector<Picture>& pieces)
{
    int height = 0;
    for (const Picture& p : pieces)
        height += p.Height();
    Picture out(pieces.front().Width(), height);
    int y = 0;
    for (const Picture& p : pieces) {
        out.Blit(p, 0, y);
        y += p.Height();
    }
    return out;
}

}  // namespace skingen
