// Shared by the pixel tests of the assistant's own controls: a memory surface whose pixels read
// back exactly, and a form on the screen to put controls on.
#pragma once

#include "platform/rtl/FormText.h"
#include "platform/rtl/Streams.h"
#include "platform/win/Forms.h"
#include "platform/rtl/Win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace painttest {

// A 32-bit memory surface whose pixels can be read back exactly.
class Surface {
public:
    Surface(int width, int height, COLORREF fill) : width_(width), height_(height)
    {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        RECT r{0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(fill);
        FillRect(dc_, &r, brush);
        DeleteObject(brush);
    }
    ~Surface()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    // As a COLORREF (0x00BBGGRR).
    COLORREF At(int x, int y) const
    {
        GdiFlush();
        const std::uint32_t p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bounding box of the pixels of one colour; empty (left > right) when there are none.
    RECT BoxOf(COLORREF color) const
    {
        RECT box{width_, height_, -1, -1};
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (At(x, y) == color) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x);
                    box.bottom = std::max<LONG>(box.bottom, y);
                }
        return box;
    }
    int Count(COLORREF color) const
    {
        int n = 0;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                n += At(x, y) == color;
        return n;
    }
    bool SameAs(const Surface& other) const
    {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (At(x, y) != other.At(x, y))
                    return false;
        return true;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    std::uint32_t* bits_ = nullptr;
};

// A form on the screen, freed after each test with the controls put on it.
class ShownForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        form_ = new win::TForm(win::Application);
        form_->SetBounds(100, 100, 640, 340);
        form_->SetCaption("Setup Assistant");
    }
    void TearDown() override { delete form_; }
    void Pump()
    {
        for (int i = 0; i < 10; ++i)
            win::Application->ProcessMessages();
    }
    // Reads a description into the form, as the main window's is read.
    void Read(const std::string& description)
    {
        rtl::TStringStream text(description);
        rtl::TMemoryStream binary;
        rtl::ObjectTextToBinary(text, binary);
        binary.SetPosition(0);
        form_->ReadFromStream(binary);
    }
    win::TForm* form_ = nullptr;
};

}  // namespace painttest
