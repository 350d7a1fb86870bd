// cursorgen: build-host tool that draws the image view's 18 cursors as 32 x 32 two-colour cursor
// files, and the resource script that names them as the view loads them.
//
//   cursorgen OUTPUT_DIR    writes OUTPUT_DIR/<name>.cur for every cursor and OUTPUT_DIR/cursors.rc
//
// Each cursor is white shapes with a black edge, or black strokes with a white halo, so it shows on
// any picture. Exit code 0 on success, 1 when a file cannot be written, 2 on bad usage.
#include "tools/skingen/Paint.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace skingen;

constexpr int kSize = 32;
constexpr Rgb kWhite = Hex(0xFFFFFF);
constexpr Rgb kBlack = Hex(0x000000);

// The shape grown by d pixels.
Shape Grown(Shape s, float d)
{
    return [s = std::move(s), d](float x, float y) { return s(x, y) - d; };
}

// A black stroke with a white halo.
void Stroke(Picture& p, const Shape& s)
{
    p.Draw(Grown(s, 1), kWhite, true);
    p.Draw(s, kBlack, true);
}

// A white area with a black edge.
void Filled(Picture& p, const Shape& s)
{
    p.Draw(s, kWhite, true);
    p.Draw(Outline(s, 1.2f), kBlack, true);
}

Shape Line(float x0, float y0, float x1, float y1, float w = 1) { return Segment(x0, y0, x1, y1, w); }

// A double arrow from (x0, y0) to (x1, y1): a shaft and a head at each end.
Shape DoubleArrow(float x0, float y0, float x1, float y1)
{
    const float dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
    const float ux = dx / len, uy = dy / len, nx = -uy, ny = ux;
    const auto head = [&](float tx, float ty, float dir) {
        const float bx = tx - dir * ux * 5, by = ty - dir * uy * 5;
        return Triangle(tx, ty, bx + nx * 4, by + ny * 4, bx - nx * 4, by - ny * 4);
    };
    return Union(Line(x0 + ux * 4, y0 + uy * 4, x1 - ux * 4, y1 - uy * 4, 1.5f),
                 Union(head(x0, y0, -1), head(x1, y1, 1)));
}

// The small plus or minus of the adding and taking-away cursors, at the bottom right.
void Badge(Picture& p, bool plus)
{
    Stroke(p, Line(23, 27.5f, 30, 27.5f));
    if (plus)
        Stroke(p, Line(26.5f, 24, 26.5f, 31));
}

// Cross hairs through the hot spot: whole, with a gap, with a box, or diagonal.
void Crosshair(Picture& p, int kind)
{
    const float c = 15.5f;
    switch (kind) {
    case 0: Stroke(p, Union(Line(2, c, 29, c), Line(c, 2, c, 29))); break;
    case 1:
        Stroke(p, Union(Line(2, c, 29, c), Line(c, 2, c, 29)));
        Stroke(p, Outline(RoundRect(c - 4, c - 4, c + 4, c + 4, 0), 1));
        break;
    case 3:
        Stroke(p, Union(Union(Line(2, c, 11, c), Line(20, c, 29, c)),
                        Union(Line(c, 2, c, 11), Line(c, 20, c, 29))));
        p.Draw(Circle(c, c, 1), kBlack, true);
        break;
    default: Stroke(p, Union(Line(5, 5, 26, 26), Line(26, 5, 5, 26))); break;
    }
}

void Magnifier(Picture& p, bool plus)
{
    Stroke(p, Line(18, 18, 27, 27, 3.5f));
    Filled(p, Circle(12, 12, 8.5f));
    p.Draw(Line(8, 12, 16, 12, 1.6f), kBlack, true);
    if (plus)
        p.Draw(Line(12, 8, 12, 16, 1.6f), kBlack, true);
}

void Hand(Picture& p)
{
    Shape hand = RoundRect(8.5f, 14, 23.5f, 28, 3);
    for (auto [x, top] : {std::pair{9.5f, 8.0f}, {13.0f, 3.0f}, {16.5f, 4.0f}, {20.0f, 7.0f}})
        hand = Union(hand, RoundRect(x, top, x + 3.5f, 17, 1.7f));
    hand = Union(hand, Segment(9, 21, 4.5f, 15, 3.5f));
    Filled(p, hand);
}

void Pen(Picture& p)
{
    Filled(p, Segment(9, 23, 26, 6, 5.5f));
    p.Draw(Triangle(2.5f, 29.5f, 4.5f, 22.5f, 9.5f, 27.5f), kBlack, true);
}

void Eraser(Picture& p)
{
    Filled(p, Segment(10, 21, 23, 8, 11));
    p.Draw(Line(7.5f, 15.5f, 16.5f, 24.5f, 1.2f), kBlack, true);
}

struct TCursor {
    const char* name;  // the resource name
    const char* file;
    int hotX, hotY;
    void (*draw)(Picture&);
};

// In the order of the view's cursor numbers 1778 to 1795.
const TCursor kCursors[] = {
    {"ZOOMMENO", "zoommeno", 12, 12, [](Picture& p) { Magnifier(p, false); }},
    {"ZOOMPIU", "zoompiu", 12, 12, [](Picture& p) { Magnifier(p, true); }},
    {"CROCE", "croce", 15, 15, [](Picture& p) { Crosshair(p, 0); }},
    {"GOMMA", "gomma", 6, 25, Eraser},
    {"MANO", "mano", 14, 4, Hand},
    {"PENNA", "penna", 3, 28, Pen},
    {"CROCE1", "croce1", 15, 15, [](Picture& p) { Crosshair(p, 1); }},
    {"CROCE3", "croce3", 15, 15, [](Picture& p) { Crosshair(p, 3); }},
    {"MOVE2", "move2", 15, 15, [](Picture& p) { Stroke(p, DoubleArrow(5, 26, 26, 5)); }},
    {"MOVEY", "movey", 15, 15, [](Picture& p) { Stroke(p, DoubleArrow(15.5f, 2, 15.5f, 29)); }},
    {"MOVE1", "move1", 15, 15, [](Picture& p) { Stroke(p, DoubleArrow(5, 5, 26, 26)); }},
    {"MOVEX", "movex", 15, 15, [](Picture& p) { Stroke(p, DoubleArrow(2, 15.5f, 29, 15.5f)); }},
    {"MOVE", "move", 15, 15,
     [](Picture& p) {
         Stroke(p, Union(DoubleArrow(2, 15.5f, 29, 15.5f), DoubleArrow(15.5f, 2, 15.5f, 29)));
     }},
    {"CROCE3+", "croce3plus", 15, 15, [](Picture& p) { Crosshair(p, 3), Badge(p, true); }},
    {"CROCE3-", "croce3minus", 15, 15, [](Picture& p) { Crosshair(p, 3), Badge(p, false); }},
    {"CROCE2", "croce2", 15, 15, [](Picture& p) { Crosshair(p, 2); }},
    {"CROCE2+", "croce2plus", 15, 15, [](Picture& p) { Crosshair(p, 2), Badge(p, true); }},
    {"CROCE2-", "croce2minus", 15, 15, [](Picture& p) { Crosshair(p, 2), Badge(p, false); }},
};

// A cursor file of one 32 x 32 two-colour image: the key colour is transparent (AND bit set),
// light pixels are white (colour bit set), dark ones black.
std::vector<std::uint8_t> CursorFile(const Picture& p, int hotX, int hotY)
{
    constexpr unsigned kRowBytes = kSize / 8, kImage = 40 + 8 + 2 * kRowBytes * kSize;
    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, 2);  // a cursor
    Put16(out, 1);  // one image
    out.push_back(kSize);
    out.push_back(kSize);
    out.push_back(0);  // colours: 0 means none given
    out.push_back(0);
    Put16(out, unsigned(hotX));
    Put16(out, unsigned(hotY));
    Put32(out, kImage);
    Put32(out, 22);  // where the image starts
    Put32(out, 40);  // its header: the height counts both planes
    Put32(out, kSize);
    Put32(out, 2 * kSize);
    Put16(out, 1);
    Put16(out, 1);
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    Put32(out, 0);           // black
    Put32(out, 0x00FFFFFF);  // white
    std::vector<std::uint8_t> colour(kRowBytes * kSize), transparent(kRowBytes * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const Rgb c = p.At(x, y);
            const bool key = c.R == kKey.R && c.G == kKey.G && c.B == kKey.B;
            // Rows bottom-up, most significant bit first.
            const std::size_t byte = std::size_t(kSize - 1 - y) * kRowBytes + std::size_t(x / 8);
            const std::uint8_t bit = std::uint8_t(0x80 >> (x % 8));
            if (key)
                transparent[byte] |= bit;
            else if (c.R + c.G + c.B > 1.5f)
                colour[byte] |= bit;
        }
    out.insert(out.end(), colour.begin(), colour.end());
    out.insert(out.end(), transparent.begin(), transparent.end());
    return out;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cursorgen OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::string rc = "// The image view's cursors, drawn by cursorgen.\n";
    for (const TCursor& c : kCursors) {
        Picture p(kSize, kSize);
        c.draw(p);
        const std::string path = dir + "/" + c.file + ".cur";
        if (!WriteFile(path, CursorFile(p, c.hotX, c.hotY))) {
            std::fprintf(stderr, "cursorgen: cannot write %s\n", path.c_str());
            return 1;
        }
        // Names with + and - must be quoted; a statement before each keeps the resource compiler from
        // joining a quoted name to the quoted file name before it.
        rc += std::string("LANGUAGE 0, 0\n\"") + c.name + "\" CURSOR \"" + path + "\"\n";
    }
    if (!WriteFile(dir + "/cursors.rc", std::vector<std::uint8_t>(rc.begin(), rc.end()))) {
        std::fprintf(stderr, "cursorgen: cannot write %s/cursors.rc\n", dir.c_str());
        return 1;
    }
    return 0;
}
