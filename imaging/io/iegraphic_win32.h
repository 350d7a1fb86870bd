// Picture adaptors: TGraphic classes that hold an image in one of the library's formats, so that
// pictures, image controls and stored window descriptions can carry them. Each owns a TIEBitmap
// and an I/O component attached to it. Windows build only.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/vodiradio.h"
#include "platform/win/Graphics.h"

#include <memory>

namespace imaging {

class TIEGraphicBase : public win::TGraphic {
    RTL_DECLARE_CLASS(TIEGraphicBase, win::TGraphic)

public:
    ~TIEGraphicBase() override;

    TIEBitmap* Bitmap() const { return bitmap_.get(); }
    TVodirAdIO* IO() const { return io_.get(); }
    int FileType() const { return fileType_; }

    // Never empty: an adaptor without an image still stands for its format.
    bool Empty() const override { return false; }
    std::int32_t Width() const override { return bitmap_->GetWidth(); }
    std::int32_t Height() const override { return bitmap_->GetHeight(); }
    // Keep the content the sizes share.
    void SetWidth(std::int32_t value) override;
    void SetHeight(std::int32_t value) override;

    // Paints exactly `rect`, stretching the image to it.
    void Draw(win::TCanvas& canvas, const win::TRect& rect) override;

    // The image in the class's format, from and to the stream's position. A bad image leaves
    // whatever the reader made of it (possibly nothing) and raises nothing.
    void LoadFromStream(rtl::TStream& stream) override;
    void SaveToStream(rtl::TStream& stream) override;
    // The stored form: a 32-bit length, then that many bytes of one image file. ReadData reads
    // exactly those bytes and leaves the stream after them; a length beyond what the stream holds
    // raises rtl::EReadError, a length of 0 or less leaves the picture empty.
    void ReadData(rtl::TStream& stream) override;
    void WriteData(rtl::TStream& stream) override;

    // Another adaptor's image, or a platform bitmap's (read, never changed).
    void Assign(rtl::TPersistent* source) override;

    // The clipboard's exchange. Only CF_DIB is taken: the packed DIB in the global block Data
    // (which stays the caller's) becomes the image; a DIB that cannot be read leaves the image as
    // it was, and other formats are ignored. Saving makes Data a new global block holding the
    // whole image as a packed DIB (null for an empty image), for the caller to hand to the
    // clipboard or free, and Format CF_DIB; Palette is left as it is.
    void LoadFromClipboardFormat(UINT Format, HANDLE Data, HPALETTE Palette);
    void SaveToClipboardFormat(UINT& Format, HANDLE& Data, HPALETTE& Palette);

protected:
    explicit TIEGraphicBase(int FileType);

private:
    std::unique_ptr<TIEBitmap> bitmap_;
    std::unique_ptr<TVodirAdIO> io_;
    int fileType_;
};

#define VA_IE_GRAPHIC(Name, Type)               \
    class Name : public TIEGraphicBase {        \
        RTL_DECLARE_CLASS(Name, TIEGraphicBase) \
                                                \
    public:                                     \
        Name() : TIEGraphicBase(Type) {}        \
    };
VA_IE_GRAPHIC(TIETiffImage, ioTIFF)
VA_IE_GRAPHIC(TIEGifImage, ioGIF)
VA_IE_GRAPHIC(TIEJpegImage, ioJPEG)
VA_IE_GRAPHIC(TIEPCXImage, ioPCX)
VA_IE_GRAPHIC(TIEBMPImage, ioBMP)
VA_IE_GRAPHIC(TIEPNGImage, ioPNG)
VA_IE_GRAPHIC(TIETGAImage, ioTGA)
VA_IE_GRAPHIC(TIEPXMImage, ioPXM)
VA_IE_GRAPHIC(TIEJP2Image, ioJP2)
VA_IE_GRAPHIC(TIEJ2KImage, ioJ2K)
#undef VA_IE_GRAPHIC

// Registers the ten classes with the picture machinery by extension and class name; and takes
// them out again.
void IERegisterGraphicClasses();
void IEUnregisterGraphicClasses();

}  // namespace imaging
