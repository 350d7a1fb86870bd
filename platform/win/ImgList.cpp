// Image lists: equal-sized images with transparency, drawn by index (menu ticks, button faces).
#include "platform/win/ImgList.h"

#include <commctrl.h>

#include <string>

namespace win {

void TCustomImageList::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Height)).Default(16);
    t.Property(RTL_GET_SET(Width)).Default(16);
    t.Event(RTL_MEMBER(OnChange));
}

void TImageList::Publish(Table& t) { t.Creatable(); }

TCustomImageList::TCustomImageList(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TCustomImageList::~TCustomImageList()
{
    if (handle_)
        ImageList_Destroy(handle_);
}

void TCustomImageList::SetSize(std::int32_t width, std::int32_t height)
{
    if (width < 1 || height < 1 || width > 4096 || height > 4096)
        throw rtl::EInvalidOperation("Invalid image size");
    if (width == width_ && height == height_)
        return;
    width_ = width;
    height_ = height;
    Recreate();
}

void TCustomImageList::Recreate()
{
    if (handle_) {
        ImageList_Destroy(handle_);
        handle_ = nullptr;
        Changed();
    }
}

HIMAGELIST TCustomImageList::Handle()
{
    if (!handle_) {
        handle_ = ImageList_Create(width_, height_, ILC_COLOR24 | ILC_MASK, 4, 4);
        if (!handle_)
            throw EOutOfResources("Out of system resources");
    }
    return handle_;
}

std::int32_t TCustomImageList::Count() const { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

namespace {

// The bitmap cut to whole images: a partial strip would be stretched by the system.
HBITMAP WholeStrips(TBitmap& image, std::int32_t width, std::int32_t height, TBitmap& scratch)
{
    std::int32_t count = image.Width() / width;
    if (count == 0 || image.Height() < height)
        return nullptr;
    if (image.Width() == count * width && image.Height() == height)
        return image.Handle();
    scratch.SetPixelFormat(pf24bit);
    scratch.SetSize(count * width, height);
    scratch.Canvas()->CopyRect(Rect(0, 0, count * width, height), *image.Canvas(),
                               Rect(0, 0, count * width, height));
    return scratch.Handle();
}

}  // namespace

std::int32_t TCustomImageList::Add(TBitmap* image, TBitmap* mask)
{
    if (!image || image->Empty())
        throw rtl::EInvalidOperation("Invalid image");
    TBitmap scratchImage, scratchMask;
    HBITMAP bits = WholeStrips(*image, width_, height_, scratchImage);
    if (!bits)
        throw rtl::EInvalidOperation("Invalid image size");
    HBITMAP maskBits = nullptr;
    if (mask) {
        TBitmap mono;
        mono.SetMonochrome(true);
        mono.SetSize(image->Width(), image->Height());
        mono.Canvas()->Draw(0, 0, mask);
        maskBits = WholeStrips(mono, width_, height_, scratchMask);
        std::int32_t index = ImageList_Add(Handle(), bits, maskBits);
        if (index < 0)
            throw EOutOfResources("Out of system resources");
        Changed();
        return index;
    }
    std::int32_t index = ImageList_Add(Handle(), bits, nullptr);
    if (index < 0)
        throw EOutOfResources("Out of system resources");
    Changed();
    return index;
}

std::int32_t TCustomImageList::AddMasked(TBitmap* image, TColor maskColor)
{
    if (!image || image->Empty())
        throw rtl::EInvalidOperation("Invalid image");
    TBitmap scratch;
    HBITMAP bits = WholeStrips(*image, width_, height_, scratch);
    if (!bits)
        throw rtl::EInvalidOperation("Invalid image size");
    std::int32_t index = ImageList_AddMasked(Handle(), bits, ColorToRGB(maskColor));
    if (index < 0)
        throw EOutOfResources("Out of system resources");
    Changed();
    return index;
}

void TCustomImageList::Delete(std::int32_t index)
{
    if (index < 0 || index >= Count())
        throw rtl::EListError("Image index out of range");
    ImageList_Remove(handle_, index);
    Changed();
}

void TCustomImageList::Clear()
{
    if (handle_) {
        ImageList_RemoveAll(handle_);
        Changed();
    }
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, std::int32_t index, bool enabled)
{
    if (index < 0 || index >= Count())
        throw rtl::EListError("Image index out of range");
    HDC dc = canvas->Handle();
    if (enabled) {
        ImageList_Draw(handle_, index, dc, x, y, ILD_TRANSPARENT);
        return;
    }
    IMAGELISTDRAWPARAMS p{};
    p.cbSize = sizeof(p);
    p.himl = handle_;
    p.i = index;
    p.hdcDst = dc;
    p.x = x;
    p.y = y;
    p.rgbBk = CLR_NONE;
    p.rgbFg = CLR_DEFAULT;
    p.fStyle = ILD_TRANSPARENT;
    p.fState = ILS_SATURATE;
    if (!ImageList_DrawIndirect(&p))
        ImageList_DrawEx(handle_, index, dc, x, y, 0, 0, CLR_NONE, ::GetSysColor(COLOR_BTNSHADOW),
                         ILD_BLEND50);
}

}  // namespace win
