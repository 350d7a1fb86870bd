// Picture adaptors over the I/O component.
#include "imaging/io/iegraphic_win32.h"

#include "imaging/core/vodiradproc_win32.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Exceptions.h"

#include <algorithm>
#include <vector>

namespace imaging {

// Nothing published: a picture's class name and its stored data are all a description holds.
void TIEGraphicBase::Publish(Table&) {}

#define VA_IE_GRAPHIC_INFO(Name) \
    void Name::Publish(Table&) {}
VA_IE_GRAPHIC_INFO(TIETiffImage)
VA_IE_GRAPHIC_INFO(TIEGifImage)
VA_IE_GRAPHIC_INFO(TIEJpegImage)
VA_IE_GRAPHIC_INFO(TIEPCXImage)
VA_IE_GRAPHIC_INFO(TIEBMPImage)
VA_IE_GRAPHIC_INFO(TIEPNGImage)
VA_IE_GRAPHIC_INFO(TIETGAImage)
VA_IE_GRAPHIC_INFO(TIEPXMImage)
VA_IE_GRAPHIC_INFO(TIEJP2Image)
VA_IE_GRAPHIC_INFO(TIEJ2KImage)
#undef VA_IE_GRAPHIC_INFO

TIEGraphicBase::TIEGraphicBase(int FileType)
    : bitmap_(std::make_unique<TIEBitmap>()), io_(std::make_unique<TVodirAdIO>(nullptr)), fileType_(FileType)
{
    io_->SetAttachedTIEBitmap(bitmap_.get());
}

TIEGraphicBase::~TIEGraphicBase()
{
    // The component goes first: it may still be working on the bitmap.
    io_.reset();
    bitmap_.reset();
}

void TIEGraphicBase::SetWidth(std::int32_t value)
{
    bitmap_->SetWidth(value);
    Changed(this);
}

void TIEGraphicBase::SetHeight(std::int32_t value)
{
    bitmap_->SetHeight(value);
    Changed(this);
}

void TIEGraphicBase::Draw(win::TCanvas& canvas, const win::TRect& rect)
{
    if (bitmap_->GetWidth() < 1 || bitmap_->GetHeight() < 1 || rect.IsEmpty())
        return;
    // Copied at every draw: the image changes through IO() and Bitmap() too, and nothing tells
    // the picture.
    win::TBitmap shown;
    bitmap_->CopyToTBitmap(&shown);
    shown.Draw(canvas, rect);
}

void TIEGraphicBase::LoadFromStream(rtl::TStream& stream)
{
    io_->LoadFromStreamType(stream, fileType_);
    Changed(this);
}

void TIEGraphicBase::SaveToStream(rtl::TStream& stream) { io_->SaveToStream(stream, fileType_); }

void TIEGraphicBase::ReadData(rtl::TStream& stream)
{
    std::uint8_t head[4];
    const std::int32_t got = stream.Read(head, 4);
    const std::int32_t length = got == 4 ? std::int32_t(rtl::LoadLE32(head)) : 0;
    if (length <= 0) {
        bitmap_->FreeImage();
        Changed(this);
        return;
    }
    const std::int64_t left = stream.Size() - stream.Position();
    if (length > left)
        throw rtl::EReadError("stored picture of " + std::to_string(length) + " bytes where " +
                              std::to_string(left) + " remain");
    // The reader sees exactly the stored image; whatever it leaves unread, the next property
    // starts right after the block.
    std::vector<std::uint8_t> block(static_cast<std::size_t>(length));
    stream.ReadBuffer(block.data(), length);
    rtl::TReadOnlyMemoryStream image(block.data(), length);
    LoadFromStream(image);
}

void TIEGraphicBase::WriteData(rtl::TStream& stream)
{
    rtl::TMemoryStream image;
    SaveToStream(image);
    std::uint8_t head[4];
    rtl::StoreLE32(head, std::uint32_t(image.Size()));
    stream.WriteBuffer(head, 4);
    if (image.Size() > 0)
        stream.WriteBuffer(image.Memory(), std::int32_t(image.Size()));
}

void TIEGraphicBase::Assign(rtl::TPersistent* source)
{
    if (auto* other = dynamic_cast<TIEGraphicBase*>(source)) {
        bitmap_->Assign(other->Bitmap());
        Changed(this);
        return;
    }
    if (auto* platform = dynamic_cast<win::TBitmap*>(source)) {
        // The source stays as it is; only this copy is brought to 24 bits.
        bitmap_->CopyFromTBitmap(platform);
        if (bitmap_->GetPixelFormat() != ie24RGB && bitmap_->GetPixelFormat() != ie1g)
            bitmap_->SetPixelFormat(ie24RGB);
        Changed(this);
        return;
    }
    win::TGraphic::Assign(source);
}

void TIEGraphicBase::LoadFromClipboardFormat(UINT Format, HANDLE Data, HPALETTE)
{
    if (Format != CF_DIB || !Data)
        return;
    if (GlobalDIBToBitmap(Data, bitmap_.get()) != 0)
        Changed(this);
}

void TIEGraphicBase::SaveToClipboardFormat(UINT& Format, HANDLE& Data, HPALETTE&)
{
    Data = BitmapToDIB(bitmap_.get(), 0, 0, 0);
    Format = CF_DIB;
}

namespace {

struct TRegistration {
    const char* extensions;
    const char* description;
    const rtl::TClassInfo& (*info)();
    win::TGraphicFactory factory;
};

template <class G>
TRegistration Row(const char* extensions, const char* description)
{
    return {extensions, description, &G::StaticClassInfo, [] { return std::make_unique<G>(); }};
}

const std::vector<TRegistration>& Registrations()
{
    static const std::vector<TRegistration> rows = {
        Row<TIETiffImage>("TIF;TIFF;FAX;G3N;G3F", "TIFF Bitmap"),
        Row<TIEGifImage>("GIF", "CompuServe Bitmap"),
        Row<TIEJpegImage>("JPG;JPEG;JPE", "JPEG Bitmap"),
        Row<TIEPCXImage>("PCX", "PaintBrush"),
        Row<TIEBMPImage>("BMP;DIB;RLE", "Windows Bitmap"),
        Row<TIEPNGImage>("PNG", "Portable Network Graphics"),
        Row<TIETGAImage>("TGA;TARGA;VDA;ICB;VST;PIX", "Targa Bitmap"),
        Row<TIEPXMImage>("PXM;PPM;PGM;PBM", "Portable Pixmap, GreyMap, BitMap"),
        Row<TIEJP2Image>("JP2", "JPEG2000"),
        Row<TIEJ2KImage>("J2K;JPC;J2C", "JPEG2000 Code Stream"),
    };
    return rows;
}

}  // namespace

void IERegisterGraphicClasses()
{
    for (const TRegistration& r : Registrations()) {
        std::string_view list = r.extensions;
        while (!list.empty()) {
            const std::size_t semi = std::min(list.find(';'), list.size());
            win::TPicture::RegisterFileFormat(std::string(list.substr(0, semi)), r.description, r.info(),
                                              r.factory);
            list.remove_prefix(std::min(semi + 1, list.size()));
        }
    }
}

void IEUnregisterGraphicClasses()
{
    for (const TRegistration& r : Registrations())
        win::TPicture::UnregisterGraphicClass(r.info());
}

}  // namespace imaging
