// What a device context shows, read back pixel by pixel, for the tests and the driver that judge
// what a window painted.
#pragma once

#include "platform/rtl/Win32.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace wintest {

// Pixels of a device context (0x00RRGGBB, top row first).
struct Capture {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Data;
    std::uint32_t At(int x, int y) const { return Data[static_cast<std::size_t>(y) * Width + x]; }
};

inline Capture CaptureDC(HDC source, int left, int top, int width, int height)
{
    Capture c;
    c.Width = width;
    c.Height = height;
    c.Data.resize(static_cast<std::size_t>(width) * height);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC mem = ::CreateCompatibleDC(source);
    HBITMAP dib = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, dib);
    ::BitBlt(mem, 0, 0, width, height, source, left, top, SRCCOPY);
    ::GdiFlush();
    if (bits)  // none for an empty area
        std::memcpy(c.Data.data(), bits, c.Data.size() * 4);
    ::SelectObject(mem, old);
    ::DeleteObject(dib);
    ::DeleteDC(mem);
    for (auto& v : c.Data)
        v &= 0xFFFFFF;
    return c;
}

}  // namespace wintest
