// pictgen: build-host tool that draws the setup assistant's own artwork as 24-bit BMP files, which
// the window description stores as its two pictures.
//
//   pictgen banner OUTPUT.bmp   the picture beside the texts (Image1): a headset over an install
//                               tray on the window's teal, 296 x 208
//   pictgen logo OUTPUT.bmp     the badge under the texts (Logo), 160 x 50, drawn at the size the
//                               window shows it
//
// Exit code 0 on success, 1 when the file cannot be written, 2 on bad usage.
#include "tools/skingen/Paint.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using namespace skingen;

// The window's teal (clTeal) and its lighter and darker companions.
constexpr Rgb kTeal = Hex(0x008080);
constexpr Rgb kDeep = Hex(0x083A4A);
constexpr Rgb kMist = Hex(0xBFE3E0);
constexpr Rgb kWhite = Hex(0xFFFFFF);
constexpr Rgb kAmber = Hex(0xF2B233);

// A headset centred on (cx, cy) with the band's radius r: the band, two ear cups and the boom.
void Headset(Picture& p, float cx, float cy, float r, Rgb band, Rgb cups)
{
    const float w = r * 0.16f;
    // The upper part of a ring: the ring where it lies above the cups' middles.
    const Shape ring = Outline(Circle(cx, cy, r), w);
    const float cut = cy + r * 0.1f;
    p.Draw([ring, cut](float x, float y) { return std::max(ring(x, y), y - cut); }, band);
    p.Draw(RoundRect(cx - r - w * 1.6f, cy - r * 0.05f, cx - r + w * 1.6f, cy + r * 0.6f, w), cups);
    p.Draw(RoundRect(cx + r - w * 1.6f, cy - r * 0.05f, cx + r + w * 1.6f, cy + r * 0.6f, w), cups);
    p.Draw(Segment(cx - r, cy + r * 0.5f, cx - r * 0.35f, cy + r * 0.85f, w * 0.6f), band);
    p.Draw(Circle(cx - r * 0.3f, cy + r * 0.86f, w * 0.75f), cups);
}

Picture Banner()
{
    const int w = 296, h = 208;
    Picture p(w, h, kTeal);
    p.FillRect(0, 0, w, h, VerticalGradient(0, float(h), {{0.0f, Lighter(kTeal, 0.15f)}, {1.0f, kDeep}}));
    // Soft rings behind the headset, as sound spreading out.
    for (int i = 0; i < 4; ++i)
        p.Draw(Outline(Circle(148, 86, 60.0f + 22.0f * float(i)), 1.5f),
               Mix(kTeal, kMist, 0.35f - 0.07f * float(i)));
    Headset(p, 148, 86, 50, kWhite, kMist);
    // The install tray and the arrow going into it.
    p.Draw(RoundRect(96, 168, 200, 190, 5), Mix(kDeep, kWhite, 0.2f));
    p.Draw(Outline(RoundRect(96, 168, 200, 190, 5), 2), kMist);
    p.Draw(Segment(148, 132, 148, 170, 5), kAmber);
    p.Draw(Triangle(136, 160, 160, 160, 148, 176), kAmber);
    // A thin frame so the picture sits on the form like a panel.
    p.Draw(Outline(RoundRect(0.5f, 0.5f, float(w) - 0.5f, float(h) - 0.5f, 0), 1), kDeep);
    return p;
}

Picture Logo()
{
    const int w = 160, h = 50;
    Picture p(w, h, Hex(0xF0F0F0));  // clBtnFace, the form's colour
    const Shape badge = RoundRect(1, 1, float(w) - 1, float(h) - 1, 10);
    p.Draw(badge, VerticalGradient(0, float(h), {{0.0f, Lighter(kTeal, 0.25f)}, {1.0f, kTeal}}));
    p.Draw(Outline(badge, 1.5f), kDeep);
    Headset(p, 26, 22, 13, kWhite, kMist);
    // Level bars: the headset's sound, rising.
    const float heights[] = {8, 14, 22, 30, 24, 16, 26, 34, 20, 12};
    for (int i = 0; i < 10; ++i) {
        const float x = 56.0f + 9.5f * float(i);
        p.Draw(RoundRect(x, 41 - heights[i], x + 6, 41, 2), Mix(kWhite, kAmber, float(i) / 12.0f));
    }
    return p;
}

int Write(const Picture& picture, const char* file)
{
    const std::vector<std::uint8_t> bmp = picture.Bmp();
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
    if (!out) {
        std::fprintf(stderr, "pictgen: cannot write %s\n", file);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "banner") == 0)
        return Write(Banner(), argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "logo") == 0)
        return Write(Logo(), argv[2]);
    std::fprintf(stderr, "usage: pictgen banner|logo OUTPUT.bmp\n");
    return 2;
}
