// Style and theme references of the skinned controls, and their shared drawing steps.
#include "skin/SUIControl.h"

#include "platform/rtl/Win32.h"

namespace skin {

TSkinLink::~TSkinLink()
{
    if (fileTheme_)
        fileTheme_->RemoveFreeNotification(&control_);
}

void TSkinLink::SetFileTheme(TsuiFileTheme* value)
{
    if (fileTheme_ && fileTheme_ != value)
        fileTheme_->RemoveFreeNotification(&control_);
    fileTheme_ = value;
    if (value)
        value->FreeNotification(&control_);
}

bool TSkinLink::Removed(rtl::TComponent* component, rtl::TOperation operation)
{
    if (operation != rtl::opRemove || !component || component != fileTheme_)
        return false;
    fileTheme_ = nullptr;
    uiStyle_ = DeepBlue;
    return true;
}

win::TColor ThemeColor(const TsuiFileTheme& theme, std::int32_t index, win::TColor fallback)
{
    const std::int32_t c = theme.GetColor(index);
    return c == -1 ? fallback : c;
}

void DrawBitmapAt(win::TCanvas& canvas, int x, int y, win::TBitmap& source, bool masked, win::TColor key)
{
    if (source.Empty())
        return;
    HDC dc = canvas.Handle();
    HDC src = source.Canvas()->Handle();
    if (masked)
        ::TransparentBlt(dc, x, y, source.Width(), source.Height(), src, 0, 0, source.Width(),
                         source.Height(), win::ColorToRGB(key));
    else
        ::BitBlt(dc, x, y, source.Width(), source.Height(), src, 0, 0, SRCCOPY);
}

void StretchColumns(win::TCanvas& canvas, int dx, int dy, int dw, win::TBitmap& source, int sx, int sw)
{
    if (dw <= 0 || sw <= 0 || source.Empty())
        return;
    HDC dc = canvas.Handle();
    const int old = ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchBlt(dc, dx, dy, dw, source.Height(), source.Canvas()->Handle(), sx, 0, sw, source.Height(),
                 SRCCOPY);
    ::SetStretchBltMode(dc, old);
}

win::TColor PixelOf(win::TBitmap& bitmap, int x, int y)
{
    if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height())
        return win::clNone;
    return static_cast<win::TColor>(::GetPixel(bitmap.Canvas()->Handle(), x, y));
}

}  // namespace skin
