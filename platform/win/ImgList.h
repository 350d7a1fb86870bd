// Image lists: equal-sized images with transparency, drawn by index (menu ticks, button faces).
#pragma once

#include "platform/rtl/Component.h"
#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

#include <commctrl.h>

#include <cstdint>

namespace win {

// Images of Width x Height pixels kept in a system image list with a mask. Adding a bitmap
// wider than Width adds one image per Width-wide strip (a partial last strip is dropped).
class TCustomImageList : public rtl::TComponent {
    RTL_DECLARE_CLASS(TCustomImageList, rtl::TComponent)

public:
    explicit TCustomImageList(rtl::TComponent* owner);
    ~TCustomImageList() override;

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    // Changing the size empties the list. Sizes must be 1..4096; others raise
    // rtl::EInvalidOperation "Invalid image size".
    void SetWidth(std::int32_t v) { SetSize(v, height_); }
    void SetHeight(std::int32_t v) { SetSize(width_, v); }
    void SetSize(std::int32_t width, std::int32_t height);
    std::int32_t Count() const;

    // `mask` may be nullptr (opaque images); its white pixels are transparent. Returns the
    // index of the first image added.
    std::int32_t Add(TBitmap* image, TBitmap* mask);
    // Pixels of `maskColor` are transparent.
    std::int32_t AddMasked(TBitmap* image, TColor maskColor);
    void Delete(std::int32_t index);
    void Clear();
    // Draws image `index`; disabled images are drawn greyed. Raises rtl::EListError
    // "Image index out of range" for a bad index.
    void Draw(TCanvas* canvas, int x, int y, std::int32_t index, bool enabled = true);
    HIMAGELIST Handle();

    rtl::TNotifyEvent OnChange;

private:
    void Recreate();
    void Changed() { OnChange(this); }

    std::int32_t width_ = 16;
    std::int32_t height_ = 16;
    HIMAGELIST handle_ = nullptr;  // destroyed with the list
};

class TImageList : public TCustomImageList {
    RTL_DECLARE_CLASS(TImageList, TCustomImageList)

public:
    explicit TImageList(rtl::TComponent* owner) : TCustomImageList(owner) {}
};

}  // namespace win
