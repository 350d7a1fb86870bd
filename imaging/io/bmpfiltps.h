// PostScript Level 2 documents of image pages, one image per page, for printers and for
// inclusion in other documents (EPS). Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>

namespace imaging {

// An open document: where its page count stands and where the next page goes. The stream must
// stay the same and able to seek back for the document's whole life.
struct TIEPSDocument {
    std::int64_t PagesLine = 0;  // the "%%Pages: " line
    std::int64_t End = 0;        // where the next page, or the trailer, is written
    int Pages = 0;
    bool Failed = false;  // a short write
};

// Writes the header at the stream's position: the title (Params.PSTitle, kept to one line of
// 7-bit text), the date in the C locale, and a bounding box of the page (PSPaperWidth x
// PSPaperHeight points). Encapsulated marks the document as EPSF-3.0 for inclusion in others.
std::unique_ptr<TIEPSDocument> PSBeginDocument(rtl::TStream& Stream, TIOParamsVals& Params,
                                               bool Encapsulated = false);

// Adds the bitmap as the next page, fitted to the page with its aspect kept at the top left. An
// ie1g bitmap is a bilevel page (Params.PSCompression 1 Group 4, 2 Group 3, anything else
// RunLength); any other is written as 8-bit colour (3 DCT, anything else RunLength). Params'
// BitsPerSample and SamplesPerPixel are set to what the page holds (1/1 or 8/3). A missing
// context or an empty bitmap, a short write or an abort set the abort flag.
void PSAddPage(TIEPSDocument* Context, rtl::TStream& Stream, TIEBitmap* Bitmap, TProgressRecord& Progress,
               TIOParamsVals& Params);

// Writes the trailer after the last page and frees the context; false when any write of the
// document fell short. A null context does nothing and returns true.
bool PSEndDocument(std::unique_ptr<TIEPSDocument> Context, rtl::TStream& Stream);

// A document of the one page.
void WritePSStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   bool Encapsulated = false);

}  // namespace imaging
