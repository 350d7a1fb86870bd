// Imaging annotations of TIFF files (tag 32932): marks such as lines, text and embedded images,
// read from and written to their blob (the 32-bit little-endian variant). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "platform/rtl/Object.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace imaging {

// Screen resolution the annotation blobs are measured against: it scales the font height of text
// marks for display and fills the placement of embedded images made here. Library-wide; 96 unless
// a program sets it.
extern int IEAnnotScreenDpiX;
extern int IEAnnotScreenDpiY;

// Mark types: the first 32 bits of the attribute record.
inline constexpr int kIEMarkImageEmbedded = 1;
inline constexpr int kIEMarkImageReference = 2;
inline constexpr int kIEMarkStraightLine = 3;
inline constexpr int kIEMarkFreehandLine = 4;
inline constexpr int kIEMarkTypedText = 7;
inline constexpr int kIEMarkAttachANote = 10;
inline constexpr int kIEMarkForm = 12;

class TIEImagingObject : public rtl::TObject {
public:
    static constexpr int kAttributesSize = 164;
    static constexpr int kPlacementSize = 56;

    TIEImagingObject() = default;
    ~TIEImagingObject() override;
    TIEImagingObject(const TIEImagingObject&) = delete;
    TIEImagingObject& operator=(const TIEImagingObject&) = delete;

    std::unique_ptr<TIEImagingObject> Clone() const;

    // The mark attribute record, kept byte for byte as it was read.
    std::array<std::uint8_t, kAttributesSize> Attributes{};
    std::vector<TIEPoint> Points;       // line marks
    std::string Text;                   // text marks, without its NUL
    std::unique_ptr<TIEBitmap> Bitmap;  // embedded-image marks; may be null
    // The referenced file of image marks, and the 56-byte placement record of image and form marks
    // as they were read; written back as they are (empty: none, or a default one for images).
    std::string FileName;
    std::vector<std::uint8_t> Placement;
    // The scale a text mark was created at (from its text block); 0 for marks made here, which are
    // written at this screen's scale. The font height in the record is measured at this scale.
    std::uint32_t CreationScale = 0;

    int MarkType() const;
    void SetMarkType(int Value);
    // The signed font height of the attribute record (as stored; negative for a character height).
    int FontHeight() const;
    void SetFontHeight(int Value);
    // The font height in pixels of this screen: 72000 / scale / IEAnnotScreenDpiY x -FontHeight,
    // rounded. The record is not changed.
    int ScreenFontHeight() const;
};

class TIEImagingAnnot : public rtl::TObject {
public:
    TIEImagingAnnot() = default;
    ~TIEImagingAnnot() override;
    TIEImagingAnnot(const TIEImagingAnnot&) = delete;
    TIEImagingAnnot& operator=(const TIEImagingAnnot&) = delete;

    int Count() const { return int(objects_.size()); }
    // Raises rtl::EInvalidArgument for an index outside the list.
    TIEImagingObject& Object(int Index) const;
    void Add(std::unique_ptr<TIEImagingObject> Object);
    void Clear();
    // Deep copy of Source's marks and flag; a list assigned to itself is left as it is.
    void Assign(const TIEImagingAnnot& Source);

    // Appends the marks of a blob (the caller clears first) and clears Modified. Every count, size
    // and string is checked against the bytes left; unknown records and named blocks are skipped by
    // their sizes. A damaged blob (a record or block past its end, a text mark created at scale 0,
    // too short to hold its header) adds nothing and answers false. Never throws for bad data.
    bool LoadFromBuffer(const void* Data, std::int64_t Length);
    // The blob of the marks; empty for an empty list.
    std::vector<std::uint8_t> SaveToBuffer() const;

    bool Modified = false;

private:
    std::vector<std::unique_ptr<TIEImagingObject>> objects_;
};

}  // namespace imaging
