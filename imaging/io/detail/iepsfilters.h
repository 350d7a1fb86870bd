// What the PostScript and PDF writers share: the run-length and ASCII85 codings their decode
// filters undo, bilevel pages coded as CCITT fax data, colour pages as JPEG, the fit of an image to the page,
// and locale-free text for numbers and dates.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"

#include <cstdint>
#include <string>
#include <vector>

namespace imaging::detail {

// Appends the run-length coding of Data (runs of 2 to 128 equal bytes as 257 - n and the byte,
// other stretches of up to 128 bytes as their length - 1 and the bytes) and the end-of-data byte
// 128.
void IERunLengthEncode(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out);

// Appends Data in base 85: four bytes to five characters from "!", "z" for four zeros, a last
// group of n bytes as n + 1 characters. A CR LF follows each group that brings the line to 75
// characters or more; "~>" and CR LF end the data.
void IEASCII85Encode(const std::uint8_t* Data, std::size_t Count, std::string& Out);

// The bilevel bitmap's rows as stored, each cut to its last pixel's byte, one after another.
// Progress is reported per row; false when aborted.
bool IEBilevelRows(TIEBitmap& Bitmap, TProgressRecord& Progress, std::vector<std::uint8_t>& Out);

// The bilevel bitmap's rows coded for a CCITTFaxDecode filter with the default BlackIs1 false:
// Group 4 (K -1), or Group 3 with every row after the first two-dimensional (K at least the row
// count). Progress is reported per row; false when aborted.
bool IEEncodeFaxPage(TIEBitmap& Bitmap, bool Group4, TProgressRecord& Progress,
                     std::vector<std::uint8_t>& Out);

// The colour bitmap as a three-component (YCbCr) JPEG for a DCTDecode filter, with Params' quality
// and coding settings and none of the image's markers. False when aborted or when the encoder
// fails.
bool IEEncodeDCTPage(TIEBitmap& Bitmap, const TIOParamsVals& Params, TProgressRecord& Progress,
                     std::vector<std::uint8_t>& Out);

// An image's size on a page of Width x Height points, its aspect kept: each side truncated and at
// least 1.
struct TIEPageFit {
    int Width = 1;
    int Height = 1;
};
TIEPageFit IEFitToPage(int PageWidth, int PageHeight, int ImageWidth, int ImageHeight);

// A number as PostScript and PDF read it, whatever the locale: whole values without a fraction,
// others with at most six decimals, never an exponent.
std::string IENumberText(double Value);

}  // namespace imaging::detail
