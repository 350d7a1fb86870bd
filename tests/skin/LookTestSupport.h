// Pictures of windows, as they show, compared with reviewed ones kept in tests/data: the look
// tests write what they see into the build tree and fail on a picture that differs from the
// reviewed one by more than anti-aliasing and a blinking caret can explain.
#pragma once

#include "tests/skin/SkinTestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace looktest {

// A picture as 0x00RRGGBB pixels, top row first.
struct Picture {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t& At(int x, int y) { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
    std::uint32_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

// The whole of `wnd` as it shows, frame included; what lies outside its window region is black.
inline Picture Capture(HWND wnd)
{
    ::RedrawWindow(wnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    skintest::Pump();
    const skintest::Shot shot = skintest::Shot::Window(wnd);
    Picture p{shot.Width(), shot.Height(), {}};
    p.Pixels.resize(static_cast<std::size_t>(p.Width) * p.Height);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    const bool shaped = ::GetWindowRgn(wnd, region) != ERROR;
    for (int y = 0; y < p.Height; ++y) {
        for (int x = 0; x < p.Width; ++x) {
            const COLORREF c = shot.At(x, y);
            p.At(x, y) = shaped && !::PtInRegion(region, x, y)
                             ? 0
                             : (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    }
    ::DeleteObject(region);
    return p;
}

inline bool SavePng(const Picture& p, const std::string& path)
{
    std::vector<std::uint8_t> rgb;
    rgb.reserve(p.Pixels.size() * 3);
    for (std::uint32_t v : p.Pixels) {
        rgb.push_back(static_cast<std::uint8_t>(v >> 16));
        rgb.push_back(static_cast<std::uint8_t>(v >> 8));
        rgb.push_back(static_cast<std::uint8_t>(v));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(p.Width);
    image.height = static_cast<png_uint_32>(p.Height);
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

// False when the file is missing or is no PNG.
inline bool LoadPng(const std::string& path, Picture& p)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return false;
    p.Width = static_cast<int>(image.width);
    p.Height = static_cast<int>(image.height);
    p.Pixels.resize(static_cast<std::size_t>(p.Width) * p.Height);
    for (std::size_t i = 0; i < p.Pixels.size(); ++i)
        p.Pixels[i] = (rgb[3 * i] << 16) | (rgb[3 * i + 1] << 8) | rgb[3 * i + 2];
    return true;
}

// The tolerance: a pixel counts as different when a channel is more than 16 levels off, and a
// picture passes with at most 1 in 2000 of its pixels different. That leaves room for anti-aliased
// glyph edges rendered a shade apart by another FreeType and for a caret caught mid-blink, while a
// control moved by one pixel, drawn in another colour or missing changes thousands of pixels.
constexpr int kChannelTolerance = 16;
constexpr int kDifferentPer2000Pixels = 1;

inline bool Differs(std::uint32_t a, std::uint32_t b)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            kChannelTolerance)
            return true;
    return false;
}

// Writes `shot` into `shotsDir` as `name`.png and `compared` (the same, with what is judged
// elsewhere blanked) as `name`.compared.png, and compares the latter with the reviewed picture of
// that name in tests/data/`reviewed`. A mismatch also writes `name`.diff.png, the differing pixels
// red on the picture in grey.
inline void ExpectLooksAsReviewed(const Picture& shot, const Picture& compared, const std::string& name,
                                  const std::string& shotsDir, const std::string& reviewed)
{
    const std::string path = shotsDir + name + ".png";
    ASSERT_TRUE(SavePng(shot, path)) << "cannot write " << path;
    const std::string comparedPath = shotsDir + name + ".compared.png";
    ASSERT_TRUE(SavePng(compared, comparedPath)) << "cannot write " << comparedPath;
    const std::string diffPath = shotsDir + name + ".diff.png";
    ::DeleteFileA(diffPath.c_str());  // an earlier run's
    Picture golden;
    if (!LoadPng(std::string(VA_TEST_DATA_DIR) + "/" + reviewed + name + ".png", golden)) {
        ADD_FAILURE() << "no reviewed picture " << name << ".png: look at " << path << " and copy "
                      << comparedPath << " to tests/data/" << reviewed << name << ".png once it is right";
        return;
    }
    ASSERT_EQ(golden.Width, compared.Width) << name;
    ASSERT_EQ(golden.Height, compared.Height) << name;
    Picture diff = compared;
    int different = 0;
    for (int y = 0; y < compared.Height; ++y) {
        for (int x = 0; x < compared.Width; ++x) {
            const std::uint32_t v = compared.At(x, y);
            const std::uint32_t grey = (((v >> 16) & 0xFF) + ((v >> 8) & 0xFF) + (v & 0xFF)) / 6 + 64;
            const bool off = Differs(v, golden.At(x, y));
            different += off;
            diff.At(x, y) = off ? 0xFF0000 : (grey << 16) | (grey << 8) | grey;
        }
    }
    const int allowed = compared.Width * compared.Height * kDifferentPer2000Pixels / 2000;
    if (different > allowed) {
        SavePng(diff, diffPath);
        ADD_FAILURE() << name << ": " << different << " pixels differ from the reviewed picture (" << allowed
                      << " allowed); see " << name << ".diff.png";
    }
}

}  // namespace looktest
