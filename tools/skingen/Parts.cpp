// skingen's parts for every look.
#include "tools/skingen/Parts.h"

#include <cmath>

namespace skingen {

namespace {

constexpr float kPi = 3.14159265f;

enum TGlyph { glControlBox, glHelp, glMaximize, glRestore, glMinimize, glClose };

Paint TitlePaint(const Look& look, float offset = 0)
{
    return VerticalGradient(-offset, static_cast<float>(look.TitleHeight) - offset, look.Title);
}

// The title bar background with its bottom line; `offset` is the picture's top within the bar.
void TitleBackground(Picture& p, const Look& look, int offset = 0)
{
    p.FillRect(0, 0, p.Width(), p.Height(), TitlePaint(look, static_cast<float>(offset)));
    const int line = look.TitleHeight - 1 - offset;
    if (line >= 0 && line < p.Height())
        p.FillRect(0, line, p.Width(), line + 1, Solid(look.TitleLine));
}

void DrawGlyph(Picture& p, TGlyph glyph, float x0, float y0, float size, Rgb colour, Rgb cut = Hex(0x000000))
{
    const float w = std::max(1.4f, size / 9.0f);
    const float a = x0 + size * 0.3f;
    const float b = x0 + size * 0.7f;
    const float t = y0 + size * 0.3f;
    const float u = y0 + size * 0.7f;
    switch (glyph) {
    case glClose: p.Draw(Union(Segment(a, t, b, u, w * 1.2f), Segment(b, t, a, u, w * 1.2f)), colour); break;
    case glMinimize: p.Draw(Segment(a, u - w / 2, b, u - w / 2, w * 1.3f), colour); break;
    case glMaximize:
        p.Draw(Outline(RoundRect(a, t, b, u, 0.5f), w), colour);
        p.Draw(Segment(a, t + w * 0.6f, b, t + w * 0.6f, w), colour);
        break;
    case glRestore: {
        const float d = size * 0.12f;
        p.Draw(Outline(RoundRect(a + d, t - d, b + d, u - d, 0.5f), w * 0.8f), colour);
        p.Draw(Outline(RoundRect(a - d, t + d, b - d, u + d, 0.5f), w * 0.8f), colour);
        break;
    }
    case glHelp: {
        const float cx = x0 + size / 2;
        const float r = size * 0.16f;
        const float cy = y0 + size * 0.38f;
        Shape hook = Segment(cx, cy + r, cx, cy + r * 1.9f, w);
        for (int i = 0; i < 8; ++i) {
            const float a0 = kPi * (1.0f + static_cast<float>(i) / 6.0f);
            const float a1 = kPi * (1.0f + static_cast<float>(i + 1) / 6.0f);
            hook = Union(hook, Segment(cx + r * std::cos(a0), cy + r * std::sin(a0), cx + r * std::cos(a1),
                                       cy + r * std::sin(a1), w));
        }
        hook = Union(hook, Circle(cx, y0 + size * 0.76f, w * 0.75f));
        p.Draw(hook, colour);
        break;
    }
    case glControlBox: {
        const float m = size * 0.22f;
        p.Draw(RoundRect(x0 + m, y0 + m, x0 + size - m, y0 + size - m, size * 0.12f), colour);
        // A "V" for the program, cut out of the badge in the button's colour.
        p.Draw(Union(Segment(x0 + size * 0.36f, y0 + size * 0.38f, x0 + size / 2, y0 + size * 0.64f, w),
                     Segment(x0 + size / 2, y0 + size * 0.64f, x0 + size * 0.64f, y0 + size * 0.38f, w)),
               cut);
        break;
    }
    }
}

Picture TitleButton(const Look& look, TGlyph glyph, int state)
{
    const int s = look.ButtonSize;
    Picture p(s, s);
    // Drawn over the title bar, so the edges blend with what they will lie on; a transparent
    // look then keys out everything outside the button.
    TitleBackground(p, look, look.ButtonTop);
    const float fs = static_cast<float>(s);
    Rgb base = glyph == glClose ? look.Close : look.Accent;
    if (state == 1)
        base = Lighter(base, 0.25f);
    else if (state == 2)
        base = Darker(base, 0.2f);
    const Paint fill =
        VerticalGradient(0, fs, {{0, Lighter(base, 0.45f)}, {0.5f, base}, {1, Darker(base, 0.12f)}});
    Rgb glyphColour = look.Glyph;
    Shape outer = Circle(fs / 2, fs / 2, fs / 2 - 0.5f);
    switch (look.Shape) {
    case bsCircle:
        p.Draw(outer, Darker(base, 0.35f));
        p.Draw(Circle(fs / 2, fs / 2, fs / 2 - 1.5f), fill);
        p.Draw(RoundRect(fs * 0.3f, 2, fs * 0.7f, fs * 0.42f, fs * 0.2f), Solid(Lighter(base, 0.6f)));
        break;
    case bsRounded:
        outer = RoundRect(0, 0, fs, fs, 3);
        p.Draw(outer, Lighter(base, 0.7f));
        p.Draw(RoundRect(1, 1, fs - 1, fs - 1, 2.5f), fill);
        break;
    case bsSquare:
        outer = RoundRect(0, 0, fs, fs, 0);
        p.Draw(outer, Darker(base, 0.4f));
        p.Draw(RoundRect(1, 1, fs - 1, fs - 1, 0), fill);
        p.Draw(Segment(1.5f, 1.5f, fs - 1.5f, 1.5f, 1), Lighter(base, 0.5f));
        break;
    case bsRing:
        p.Draw(outer, Lighter(base, 0.85f));
        p.Draw(Outline(Circle(fs / 2, fs / 2, fs / 2 - 1.5f), 1.5f), Solid(base));
        glyphColour = base;
        break;
    }
    const float shift = state == 2 ? 1.0f : 0.0f;
    DrawGlyph(p, glyph, shift, shift, fs, glyphColour, look.Shape == bsRing ? Lighter(base, 0.85f) : base);
    if (look.TitleButtonsTransparent)
        p.KeyOutside(outer);
    return p;
}

// A box for check marks or radio dots: `round` makes it a circle.
Picture CheckPiece(const Look& look, bool round, bool checked, bool enabled)
{
    Picture p(13, 13, look.Face);
    const Rgb edge = enabled ? Darker(look.Accent, 0.25f) : Hex(0xA0A0A0);
    const Rgb inside = enabled ? Hex(0xFFFFFF) : Hex(0xE8E8E8);
    const Rgb mark = enabled ? Darker(look.Accent, 0.35f) : Hex(0x909090);
    const Shape box = round ? Circle(6.5f, 6.5f, 6) : RoundRect(0.5f, 0.5f, 12.5f, 12.5f, 1.5f);
    const Shape inner = round ? Circle(6.5f, 6.5f, 5) : RoundRect(1.5f, 1.5f, 11.5f, 11.5f, 1);
    p.Draw(box, edge);
    p.Draw(inner, VerticalGradient(0, 13, {{0, Mix(inside, look.Face, 0.6f)}, {1, inside}}));
    if (checked) {
        if (round)
            p.Draw(Circle(6.5f, 6.5f, 2.6f), mark);
        else
            p.Draw(Union(Segment(3.5f, 6.5f, 5.5f, 9, 2), Segment(5.5f, 9, 9.5f, 3.5f, 2)), mark);
    }
    return p;
}

Picture Arrow(const Look& look, int size, int direction, int state, Rgb back)
{
    // direction: 0 up, 1 down, 2 left, 3 right.
    Picture p(size, size, back);
    const float s = static_cast<float>(size);
    Rgb base = Mix(look.Face, look.Accent, 0.25f);
    if (state == 1)
        base = Mix(look.Face, look.Accent, 0.45f);
    else if (state == 2)
        base = Mix(look.Face, look.Accent, 0.7f);
    p.Draw(RoundRect(0.5f, 0.5f, s - 0.5f, s - 0.5f, 2), Darker(base, 0.3f));
    p.Draw(RoundRect(1.5f, 1.5f, s - 1.5f, s - 1.5f, 1.5f),
           VerticalGradient(0, s, {{0, Lighter(base, 0.5f)}, {1, base}}));
    const float c = s / 2 + (state == 2 ? 0.5f : 0.0f);
    const float r = s * 0.22f;
    const Rgb ink = state == 2 ? Hex(0xFFFFFF) : Darker(look.Accent, 0.5f);
    switch (direction) {
    case 0: p.Draw(Triangle(c - r, c + r / 2, c + r, c + r / 2, c, c - r / 2 - 1), ink); break;
    case 1: p.Draw(Triangle(c - r, c - r / 2, c + r, c - r / 2, c, c + r / 2 + 1), ink); break;
    case 2: p.Draw(Triangle(c + r / 2, c - r, c + r / 2, c + r, c - r / 2 - 1, c), ink); break;
    default: p.Draw(Triangle(c - r / 2, c - r, c - r / 2, c + r, c + r / 2 + 1, c), ink); break;
    }
    return p;
}

// 32x32 message icons: warning, stop, information, help.
Picture MessageIcon(int kind)
{
    Picture p(32, 32, Hex(0xFFFFFF));
    switch (kind) {
    case 0:
        p.Draw(Triangle(16, 2, 30.5f, 29, 1.5f, 29), Hex(0x9A6A00));
        p.Draw(Triangle(16, 5, 28, 27.5f, 4, 27.5f),
               VerticalGradient(4, 28, {{0, Hex(0xFFE36B)}, {1, Hex(0xF2B400)}}));
        p.Draw(Segment(16, 11, 16, 19.5f, 3.2f), Hex(0x3A2A00));
        p.Draw(Circle(16, 24, 1.8f), Hex(0x3A2A00));
        break;
    case 1:
        p.Draw(Circle(16, 16, 14.5f), Hex(0x8A1010));
        p.Draw(Circle(16, 16, 13.2f), VerticalGradient(2, 30, {{0, Hex(0xF26D5E)}, {1, Hex(0xC21B14)}}));
        p.Draw(Union(Segment(10.5f, 10.5f, 21.5f, 21.5f, 3.4f), Segment(21.5f, 10.5f, 10.5f, 21.5f, 3.4f)),
               Hex(0xFFFFFF));
        break;
    default: {
        p.Draw(Circle(16, 16, 14.5f), Hex(0x164C91));
        p.Draw(Circle(16, 16, 13.2f), VerticalGradient(2, 30, {{0, Hex(0x7FB6F0)}, {1, Hex(0x2467C0)}}));
        if (kind == 2) {
            p.Draw(Circle(16, 9.5f, 2), Hex(0xFFFFFF));
            p.Draw(Segment(16, 14, 16, 23, 3.4f), Hex(0xFFFFFF));
        } else {
            DrawGlyph(p, glHelp, 0, 1, 32, Hex(0xFFFFFF));
        }
        break;
    }
    }
    return p;
}

}  // namespace

// Per look: prefix; face, frame (the table's colours); title gradient and line; accent, glyph,
// close and scroll bar colours; title height, button size and top; button shape; title buttons
// and push buttons transparent; push button corner radius.
std::vector<Look> BuiltInLooks()
{
    // clang-format off
    return {
        {"MACOS", FromTColor(0xE7E7E7), FromTColor(0x7F7F7F),
         {{0, Hex(0xF4F4F4)}, {0.5f, Hex(0xE2E2E2)}, {1, Hex(0xC9C9C9)}}, Hex(0x9A9A9A),
         Hex(0x8AA4C8), Hex(0x34445C), Hex(0xC8908A), FromTColor(0xC9C9C9), 22, 14, 4, bsCircle, false, true, 9},
        {"WINXP", FromTColor(0xDEEBEF), FromTColor(0xC82C00),
         {{0, Hex(0xFFFFFF)}, {0.35f, Hex(0xE3EEFB)}, {1, Hex(0xB5CFF2)}}, Hex(0x2C5CC8),
         Hex(0x3D78D8), Hex(0xFFFFFF), Hex(0xD8553A), FromTColor(0xF9F9F9), 30, 21, 5, bsRounded, false, false, 3},
        {"DEEPBLUE", FromTColor(0xE8E8E8), Hex(0x000000),
         {{0, Hex(0xDCE4F0)}, {0.8f, Hex(0xB8C6DC)}, {1, Hex(0x1C2F6B)}}, Hex(0x0E1B45),
         Hex(0x27407F), Hex(0xFFFFFF), Hex(0x27407F), FromTColor(0xF5F5F5), 22, 17, 2, bsSquare, false, false, 0},
        {"PROTEIN", FromTColor(0xFBFBFB), Hex(0x000000),
         {{0, Hex(0xFFFFFF)}, {0.6f, Hex(0xF1EFF6)}, {1, Hex(0xDCD8E8)}}, Hex(0xB9B3CC),
         Hex(0x6B5CA5), Hex(0x6B5CA5), Hex(0xA0486E), FromTColor(0xF5F5F5), 22, 17, 2, bsRing, true, false, 5},
        {"BLUEGLASS", FromTColor(0xE7E7E7), Hex(0x000000),
         {{0, Hex(0xEAF6FF)}, {0.48f, Hex(0xBFE0F8)}, {0.52f, Hex(0x9ACDF0)}, {1, Hex(0xD2ECFB)}}, Hex(0x6FA6CF),
         Hex(0x4FA3DC), Hex(0xFFFFFF), Hex(0x3E7FC0), FromTColor(0xF4F4F4), 30, 18, 6, bsCircle, true, true, 9},
    };
    // clang-format on
}

// The program's own look: slate teal, rounded title corners, transparent buttons.
Look SkinFileLook()
{
    // clang-format off
    return {"SKIN2", Hex(0xEEF1F1), Hex(0x24545A),
            {{0, Hex(0x3F7F86)}, {0.55f, Hex(0x2C666D)}, {1, Hex(0x1F4F55)}}, Hex(0x173F44),
            Hex(0x2E8A86), Hex(0xFFFFFF), Hex(0xC8573F), Hex(0xE2E8E8), 30, 20, 5, bsRounded, true, true, 4};
    // clang-format on
}

Picture TitleLeft(const Look& look, int width)
{
    Picture p(width, look.TitleHeight);
    TitleBackground(p, look);
    // A thin accent stripe at the far left, the look's signature.
    p.FillRect(0, 0, 2, look.TitleHeight - 1,
               VerticalGradient(0, static_cast<float>(look.TitleHeight),
                                {{0, Lighter(look.Accent, 0.3f)}, {1, look.Accent}}));
    return p;
}

Picture TitleClient(const Look& look, int width)
{
    Picture p(width, look.TitleHeight);
    TitleBackground(p, look);
    return p;
}

Picture TitleRight(const Look& look, int width)
{
    Picture p(width, look.TitleHeight);
    TitleBackground(p, look);
    p.FillRect(width - 1, 0, width, look.TitleHeight,
               Solid(Mix(look.TitleLine, look.Title.front().second, 0.5f)));
    return p;
}

Picture TitleButtons(const Look& look)
{
    std::vector<Picture> pieces;
    for (TGlyph g : {glControlBox, glHelp, glMaximize, glRestore, glMinimize, glClose})
        for (int state = 0; state < 3; ++state)
            pieces.push_back(TitleButton(look, g, state));
    return Strip(pieces);
}

Picture PushButton(const Look& look)
{
    // Each face is a whole standard button: an auto-sized button takes one face's size, and the
    // nine-part drawing keeps its corners.
    constexpr int w = 75;
    constexpr int h = 25;
    const float fw = static_cast<float>(w);
    const float fh = static_cast<float>(h);
    std::vector<Picture> pieces;
    for (int state = 0; state < 3; ++state) {
        Picture p(w, h, look.Face);
        Rgb top = Lighter(look.Face, 0.8f);
        Rgb bottom = Mix(look.Face, look.Accent, 0.18f);
        Rgb edge = Mix(Darker(look.Face, 0.45f), look.Accent, 0.3f);
        if (state == 1) {
            top = Lighter(look.Accent, 0.85f);
            bottom = Lighter(look.Accent, 0.55f);
            edge = look.Accent;
        } else if (state == 2) {
            top = Mix(look.Face, look.Accent, 0.45f);
            bottom = Lighter(look.Accent, 0.4f);
            edge = Darker(look.Accent, 0.3f);
        }
        const float r = look.PushRadius;
        const Shape outer = RoundRect(0, 0, fw, fh, r);
        p.Draw(outer, edge);
        p.Draw(RoundRect(1, 1, fw - 1, fh - 1, std::max(0.0f, r - 1)),
               VerticalGradient(1, fh - 1, {{0, top}, {0.5f, Mix(top, bottom, 0.4f)}, {1, bottom}}));
        if (look.ButtonTransparent)
            p.KeyOutside(outer);
        pieces.push_back(std::move(p));
    }
    return Strip(pieces);
}

Picture CheckBox(const Look& look, bool round)
{
    return Strip({CheckPiece(look, round, false, true), CheckPiece(look, round, true, true),
                  CheckPiece(look, round, false, false), CheckPiece(look, round, true, false)});
}

Picture CheckList(const Look& look)
{
    return Strip({CheckPiece(look, false, false, true), CheckPiece(look, false, true, true)});
}

Picture ProgressBar(const Look& look)
{
    Picture track(12, 16, look.Face);
    track.Draw(RoundRect(0, 0, 12, 16, 0), Darker(look.Face, 0.3f));
    track.Draw(RoundRect(1, 1, 11, 15, 0),
               VerticalGradient(0, 16, {{0, Darker(look.Face, 0.08f)}, {1, Hex(0xFFFFFF)}}));
    Picture fill(12, 16, look.Face);
    fill.FillRect(
        0, 0, 12, 16,
        VerticalGradient(
            0, 16, {{0, Lighter(look.Accent, 0.6f)}, {0.5f, look.Accent}, {1, Darker(look.Accent, 0.2f)}}));
    fill.FillRect(11, 0, 12, 16, Solid(Lighter(look.Accent, 0.7f)));
    return Strip({track, fill});
}

Picture TrackBar(const Look& look)
{
    // The corners are the key colour: the channel is drawn masked by its corner pixel.
    Picture p(18, 6, look.Face);
    const Shape outer = RoundRect(0, 0, 18, 6, 3);
    p.Draw(outer, Darker(look.Face, 0.4f));
    p.Draw(RoundRect(1, 1, 17, 5, 2),
           VerticalGradient(1, 5, {{0, Darker(look.Face, 0.15f)}, {1, Hex(0xFFFFFF)}}));
    p.KeyOutside(outer);
    return p;
}

Picture TrackSlider(const Look& look, bool vertical)
{
    const int w = vertical ? 19 : 11;
    const int h = vertical ? 11 : 19;
    Picture p(w, h, look.Face);
    const Shape body =
        vertical ? Union(RoundRect(0.5f, 0.5f, 13, 10.5f, 2), Triangle(12, 0.5f, 12, 10.5f, 18.5f, 5.5f))
                 : Union(RoundRect(0.5f, 0.5f, 10.5f, 13, 2), Triangle(0.5f, 12, 10.5f, 12, 5.5f, 18.5f));
    p.Draw(body, Darker(look.Accent, 0.3f));
    const Shape inner =
        vertical ? Union(RoundRect(1.5f, 1.5f, 12.5f, 9.5f, 1.5f), Triangle(12, 1.8f, 12, 9.2f, 16.8f, 5.5f))
                 : Union(RoundRect(1.5f, 1.5f, 9.5f, 12.5f, 1.5f), Triangle(1.8f, 12, 9.2f, 12, 5.5f, 16.8f));
    p.Draw(inner, vertical ? HorizontalGradient(
                                 0, 19, {{0, Lighter(look.Accent, 0.75f)}, {1, Lighter(look.Accent, 0.3f)}})
                           : VerticalGradient(
                                 0, 19, {{0, Lighter(look.Accent, 0.75f)}, {1, Lighter(look.Accent, 0.3f)}}));
    return p;
}

Picture ScrollButtons(const Look& look)
{
    std::vector<Picture> pieces;
    for (int direction : {0, 1})
        for (int state = 0; state < 3; ++state)
            pieces.push_back(Arrow(look, 16, direction, state, look.ScrollBack));
    return Strip(pieces);
}

namespace {

// A thumb laid along a horizontal bar, three pieces of `piece` pixels (start, grip, end): the
// ends carry the rounding, the middle the grip.
Picture ThumbBar(const Look& look, int piece, float radius)
{
    const int w = 3 * piece;
    const float fw = static_cast<float>(w);
    Picture bar(w, 16, look.ScrollBack);
    const Rgb base = Mix(look.Face, look.Accent, 0.35f);
    bar.Draw(RoundRect(0.5f, 1.5f, fw - 0.5f, 14.5f, radius), Darker(base, 0.35f));
    bar.Draw(RoundRect(1.5f, 2.5f, fw - 1.5f, 13.5f, radius - 1),
             VerticalGradient(2, 14, {{0, Lighter(base, 0.6f)}, {1, base}}));
    for (float x : {fw / 2 - 2.5f, fw / 2, fw / 2 + 2.5f})
        bar.Draw(Segment(x, 5.5f, x, 10.5f, 1), Darker(base, 0.3f));
    return bar;
}

}  // namespace

Picture ScrollThumb(const Look& look) { return ThumbBar(look, 8, 4); }

Picture UprightScrollThumb(const Look& look)
{
    // Stood up with its start at the top: readers turn it a quarter left to lay it down again.
    // Its rounding stays within 3 pixels of either end, as the thumb is drawn from 3-pixel caps
    // with the rows beside them stretched.
    const Picture bar = ThumbBar(look, 10, 2.5f);
    Picture upright(bar.Height(), bar.Width());
    for (int y = 0; y < upright.Height(); ++y)
        for (int x = 0; x < upright.Width(); ++x)
            upright.Set(x, y, bar.At(y, bar.Height() - 1 - x));
    return upright;
}

Picture ArrowButtons(const Look& look)
{
    return Strip({Arrow(look, 14, 2, 0, look.Face), Arrow(look, 14, 3, 0, look.Face),
                  Arrow(look, 14, 2, 2, look.Face), Arrow(look, 14, 3, 2, look.Face)});
}

Picture Tab(const Look& look)
{
    std::vector<Picture> pieces;
    for (int state = 0; state < 3; ++state) {
        Picture p(14, 22, look.Face);
        const Rgb top =
            state == 0 ? Hex(0xFFFFFF) : (state == 1 ? Darker(look.Face, 0.06f) : Lighter(look.Accent, 0.8f));
        p.Draw(RoundRect(0.5f, 0.5f, 13.5f, 26, 3), Darker(look.Face, 0.35f));
        p.Draw(RoundRect(1.5f, 1.5f, 12.5f, 26, 2), VerticalGradient(0, 22, {{0, top}, {1, look.Face}}));
        pieces.push_back(std::move(p));
    }
    return Strip(pieces);
}

Picture TabLine(const Look& look)
{
    Picture p(4, 2, Darker(look.Face, 0.35f));
    p.FillRect(0, 1, 4, 2, Solid(Hex(0xFFFFFF)));
    return p;
}

Picture SideHandle(const Look& look)
{
    Picture p(10, 30, look.Face);
    p.Draw(RoundRect(0.5f, 0.5f, 9.5f, 29.5f, 3), Mix(look.Face, look.Accent, 0.5f));
    for (float y : {11.5f, 15.0f, 18.5f})
        p.Draw(Segment(3, y, 7, y, 1), Hex(0xFFFFFF));
    return p;
}

Picture SideBar(const Look& look)
{
    Picture p(8, 24, look.Face);
    p.FillRect(0, 0, 8, 24, VerticalGradient(0, 24, {{0, Lighter(look.Accent, 0.5f)}, {1, look.Accent}}));
    return p;
}

std::vector<std::pair<std::string, Picture>> StylePictures(const Look& look)
{
    const std::string& x = look.Prefix;
    std::vector<std::pair<std::string, Picture>> out;
    out.emplace_back(x + "_BUTTON", PushButton(look));
    out.emplace_back(x + "_CHECKBOX", CheckBox(look, false));
    out.emplace_back(x + "_RADIOBUTTON", CheckBox(look, true));
    out.emplace_back(x + "_TITLEBTN", TitleButtons(look));
    out.emplace_back(x + "_TITLE_LEFT", TitleLeft(look, 24));
    out.emplace_back(x + "_TITLE_CLIENT", TitleClient(look, 8));
    out.emplace_back(x + "_TITLE_RIGHT", TitleRight(look, 10));
    out.emplace_back(x + "_PROGRESSBAR", ProgressBar(look));
    out.emplace_back(x + "_TRACKBAR_BAR", TrackBar(look));
    out.emplace_back(x + "_TRACKBAR_SLIDER", TrackSlider(look, false));
    out.emplace_back(x + "_TRACKBAR_SLIDER_V", TrackSlider(look, true));
    out.emplace_back(x + "_SCROLLBAR_BUTTON", ScrollButtons(look));
    out.emplace_back(x + "_SCROLLBAR_TRACK", ScrollThumb(look));
    out.emplace_back(x + "_CHECKLIST", CheckList(look));
    out.emplace_back(x + "_TAB", Tab(look));
    out.emplace_back(x + "_TAB_LINE", TabLine(look));
    out.emplace_back(x + "_SIDECHENNEL_HANDLE", SideHandle(look));
    out.emplace_back(x + "_SIDECHENNEL_BAR", SideBar(look));
    return out;
}

std::vector<std::pair<std::string, Picture>> SharedPictures(const std::vector<Look>& looks)
{
    const Look& mac = looks[0];
    const Look& xp = looks[1];
    std::vector<std::pair<std::string, Picture>> out;
    out.emplace_back("MACOS_SCROLLBUTTON", ArrowButtons(mac));
    out.emplace_back("WINXP_SCROLLBUTTON", ArrowButtons(xp));
    out.emplace_back("MORE_SCROLLBUTTON", ArrowButtons(looks[2]));

    Picture stripes(8, 4, mac.Face);
    stripes.FillRect(0, 0, 8, 2, Solid(Lighter(mac.Face, 0.45f)));
    out.emplace_back("MACOS_FORM_BACKGROUND", stripes);
    Picture dots(8, 8, looks[3].Face);
    dots.Set(1, 1, Mix(looks[3].Face, looks[3].Accent, 0.08f));
    dots.Set(5, 5, Mix(looks[3].Face, looks[3].Accent, 0.08f));
    out.emplace_back("PROTEIN_FORM_BACKGROUND", dots);

    Picture macCombo(17, 20, mac.Face);
    macCombo.Draw(RoundRect(0, 0, 17, 20, 0), Darker(mac.Face, 0.3f));
    macCombo.Draw(RoundRect(1, 1, 17, 19, 0),
                  VerticalGradient(0, 20, {{0, Lighter(mac.Accent, 0.8f)}, {1, mac.Accent}}));
    out.emplace_back("MACOS_COMBOBOX_BUTTON", macCombo);
    Picture xpCombo = Arrow(xp, 17, 1, 0, xp.Face);
    out.emplace_back("WINXP_COMBOBOX_BUTTON", xpCombo);

    Picture menuBar(8, 20, mac.Face);
    menuBar.FillRect(0, 0, 8, 20, VerticalGradient(0, 20, {{0, Hex(0xFAFAFA)}, {1, Hex(0xEDEDED)}}));
    out.emplace_back("MACOS_MENU_BAR", menuBar);
    Picture menuSelect(8, 20, mac.Face);
    menuSelect.FillRect(0, 0, 8, 20,
                        VerticalGradient(0, 20, {{0, Hex(0x6F9BD8)}, {1, FromTColor(0xC47339)}}));
    out.emplace_back("MACOS_MENU_SELECT", menuSelect);

    Picture tick(12, 12, Hex(0xFFFFFF));
    tick.Draw(Union(Segment(2.5f, 6.5f, 5, 9.2f, 2), Segment(5, 9.2f, 9.8f, 2.8f, 2)), Hex(0x000000), true);
    out.emplace_back("MENU_CHECKED", tick);

    out.emplace_back("MSGDLG", Strip({MessageIcon(0), MessageIcon(1), MessageIcon(2), MessageIcon(3)}));
    return out;
}

std::vector<std::pair<std::string, Picture>> SkinFilePictures(const Look& look)
{
    std::vector<std::pair<std::string, Picture>> out;
    // Title: rounded top corners in the key colour, so the window region follows them.
    Picture left = TitleLeft(look, 40);
    Picture right = TitleRight(look, 16);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            const float d =
                std::hypot(5.0f - (static_cast<float>(x) + 0.5f), 5.0f - (static_cast<float>(y) + 0.5f));
            if (d > 5.0f) {
                left.Set(x, y, kKey);
                right.Set(right.Width() - 1 - x, y, kKey);
            }
        }
    }
    out.emplace_back("SKIN2_TITLEBAR1", left);
    out.emplace_back("SKIN2_TITLEBAR2", TitleClient(look, 10));
    out.emplace_back("SKIN2_TITLEBAR3", right);
    out.emplace_back("SKIN2_TITLEBAR4", TitleClient(look, 10));
    out.emplace_back("SKIN2_TITLEBAR5", right);

    const Rgb border = look.Title.back().second;
    Picture side(4, 8, border);
    side.FillRect(1, 0, 3, 8, Solid(Mix(border, look.Title.front().second, 0.5f)));
    side.FillRect(3, 0, 4, 8, Solid(look.Face));
    Picture sideRight(4, 8, border);
    sideRight.FillRect(1, 0, 3, 8, Solid(Mix(border, look.Title.front().second, 0.5f)));
    sideRight.FillRect(0, 0, 1, 8, Solid(look.Face));
    out.emplace_back("SKIN2_FORMLEFTBORDER", side);
    out.emplace_back("SKIN2_FORMRIGHTBORDER", sideRight);
    Picture bottom(12, 4, border);
    bottom.FillRect(0, 0, 12, 1, Solid(look.Face));
    bottom.FillRect(0, 1, 12, 3, Solid(Mix(border, look.Title.front().second, 0.5f)));
    out.emplace_back("SKIN2_FORMBOTTOMBORDER1", bottom);
    Picture bottomPiece(4, 4, border);
    bottomPiece.FillRect(0, 0, 4, 1, Solid(look.Face));
    bottomPiece.FillRect(0, 1, 4, 3, Solid(Mix(border, look.Title.front().second, 0.5f)));
    out.emplace_back("SKIN2_FORMBOTTOMBORDER2", bottomPiece);
    out.emplace_back("SKIN2_FORMBOTTOMBORDER3", bottomPiece);
    out.emplace_back("SKIN2_MINIMIZEDTITLE", TitleClient(look, 160));
    out.emplace_back("SKIN2_TITLEBUTTONS", TitleButtons(look));

    Picture tick(12, 12, Hex(0xFFFFFF));
    tick.Draw(Union(Segment(2.5f, 6.5f, 5, 9.2f, 2), Segment(5, 9.2f, 9.8f, 2.8f, 2)),
              Darker(look.Accent, 0.3f));
    out.emplace_back("SKIN2_CHECKEDMENUICON", tick);
    Picture menuBar(8, 22, look.Face);
    menuBar.FillRect(0, 0, 8, 22, VerticalGradient(0, 22, {{0, Lighter(look.Face, 0.6f)}, {1, look.Face}}));
    out.emplace_back("SKIN2_MENUBAR", menuBar);
    Picture toolBar(8, 26, look.Face);
    toolBar.FillRect(0, 0, 8, 26,
                     VerticalGradient(0, 26, {{0, Lighter(look.Face, 0.6f)}, {1, Darker(look.Face, 0.05f)}}));
    out.emplace_back("SKIN2_TOOLBAR", toolBar);
    out.emplace_back("SKIN2_BUTTON", PushButton(look));
    out.emplace_back("SKIN2_CHECKBOX", CheckBox(look, false));
    out.emplace_back("SKIN2_CHECKBOXLIST", CheckList(look));
    out.emplace_back("SKIN2_RADIOBUTTON", CheckBox(look, true));
    const Picture progress = ProgressBar(look);
    Picture track(12, 16);
    Picture fill(12, 16);
    track.Blit(progress, 0, 0);
    fill.Blit(progress, -12, 0);
    out.emplace_back("SKIN2_PROGRESSBAR1", track);
    out.emplace_back("SKIN2_PROGRESSBAR2", fill);
    out.emplace_back("SKIN2_PROGRESSBAR3", track);
    out.emplace_back("SKIN2_PROGRESSBAR4", fill);
    out.emplace_back("SKIN2_TRACKBAR", TrackBar(look));
    out.emplace_back("SKIN2_TRACKBARSLIDER", TrackSlider(look, false));
    out.emplace_back("SKIN2_TRACKBARVSLIDER", TrackSlider(look, true));
    // Scroll bar buttons: three states each, drawn for a vertical bar.
    std::vector<Picture> up;
    std::vector<Picture> down;
    for (int state = 0; state < 3; ++state) {
        up.push_back(Arrow(look, 16, 0, state, look.ScrollBack));
        down.push_back(Arrow(look, 16, 1, state, look.ScrollBack));
    }
    out.emplace_back("SKIN2_SCROLLBARUPBUTTON", Strip(up));
    out.emplace_back("SKIN2_SCROLLBAR", UprightScrollThumb(look));
    out.emplace_back("SKIN2_SCROLLBARDOWNBUTTON", Strip(down));
    out.emplace_back("SKIN2_TABCONTROL", Tab(look));
    out.emplace_back("SKIN2_TABCONTROLLINE", TabLine(look));
    out.emplace_back("SKIN2_SIDECHANNELBAR", SideBar(look));
    out.emplace_back("SKIN2_SIDECHANNELTITLE", TitleClient(look, 8));
    out.emplace_back("SKIN2_SCROLLBUTTON", ArrowButtons(look));
    return out;
}

}  // namespace skingen
