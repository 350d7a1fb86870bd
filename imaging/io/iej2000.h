// JPEG 2000 through OpenJPEG: JP2 files and raw code streams read into and written from a
// TIEBitmap. Portable. The content probes TryJP2 and TryJ2K live with the other probes
// (detail/ieprobes.h).
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>

namespace imaging {

// The writer's Format values.
inline constexpr int kJ2000FormatJP2 = 0;
inline constexpr int kJ2000FormatJ2K = 1;

// Reads the JP2 file or code stream at the stream's position. One component of 1 bit gives an ie1g
// bitmap, anything else ie24RGB: grey from the first component, colour from the first three,
// sYCC converted to RGB; a colour space the file does not name is taken from the component count
// (three or more colour, else grey). Samples keep their top 8 bits (narrower ones are scaled to
// 0..255); signed samples are moved up by half their range first. Params get the size, depth,
// colour space (J2000ColorSpace 0 grey, 1 RGB, 2 YCbCr) and the library's default resolution;
// ParamsOnly stops there and leaves Bitmap alone.
//
// Never throws for bad data: content neither probe accepts, a size whose decoding would take more
// than IEJ2000MaxMemory, a CMYK or other colour space, a decode failure (a stream that ends
// before its data included) set the abort flag and leave the bitmap unchanged.
void ReadJ2000Stream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                     TProgressRecord& Progress);

// Writes the bitmap as a JP2 file (Format kJ2000FormatJP2) or a code stream (kJ2000FormatJ2K) from
// the stream's position and leaves the stream after it; the stream must be able to seek back.
// An ie1g bitmap is written as one 1-bit component (and sets Params.BitsPerSample to 1 and
// J2000ColorSpace to 0); otherwise J2000ColorSpace 0 writes one grey component and any other
// value three RGB components, at Params.BitsPerSample clamped to 1..16. J2000Rate R between 0 and
// 1 is the wanted fraction of the uncompressed size (a ratio of 1/R); R >= 1, R <= 0 and NaN write
// losslessly. J2000ScalableBy 1 orders the packets resolution first, anything else layer first.
// An empty bitmap, an unknown Format or a failed write sets the abort flag.
void WriteJ2000Stream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int Format,
                      TProgressRecord& Progress);

// Memory one decoding may take, as estimated from the code stream's size header before the
// library sees the file: the decoded components (twice, for the library's tile buffers), the
// palette's channels and the per-tile records. Larger images abort. The fuzz target lowers it.
extern std::int64_t IEJ2000MaxMemory;

}  // namespace imaging
