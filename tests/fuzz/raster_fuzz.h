// What the PNM, WBMP, TGA and PCX fuzz targets share: one reader or writer run with its own abort
// flag, and the read, write and read-back each performs.
#pragma once

#include "imaging/io/detail/iereadbuffer.h"
#include "platform/rtl/Streams.h"
#include "tests/fuzz/image_fuzz.h"

#include <cstdint>

namespace rasterfuzz {

using fuzz::Check;
using fuzz::Job;  // its mask is the TGA reader's alpha

// Reads the bytes with Read(stream, job). Bad input must end in the abort flag or an image, never a
// fault; a read image (and its alpha) must have the size the parameters report, and what
// Write(stream, job) makes of a small one must read back unaborted through ReadBack, at the same
// size unless the writer may scale it (then at most 255 on a side).
template <class Read, class Write, class ReadBack>
void ReadWriteReadBack(const std::uint8_t* data, std::size_t size, Read read, Write write, ReadBack readBack,
                       bool scales)
{
    // Keeps each run fast; the limit itself is covered by the unit tests.
    imaging::IEReadMaxImageBytes = 8 << 20;
    rtl::TReadOnlyMemoryStream stream(data, std::int64_t(size));
    Job r;
    read(stream, r);
    if (r.abort || r.bitmap.GetWidth() == 0)
        return;
    Check(r.bitmap.GetWidth() == r.params.Width && r.bitmap.GetHeight() == r.params.Height);
    Check(!r.mask || (r.mask->Width() == r.params.Width && r.mask->Height() == r.params.Height));
    // Small images only: the round trip is for catching writer faults, not for speed.
    if (std::int64_t(r.bitmap.GetWidth()) * r.bitmap.GetHeight() > 4096)
        return;
    rtl::TMemoryStream out;
    write(out, r);
    Check(!r.abort);
    out.SetPosition(0);
    Job back;
    readBack(out, back);
    Check(!back.abort);
    if (scales)
        Check(back.bitmap.GetWidth() >= 1 && back.bitmap.GetWidth() <= 255 && back.bitmap.GetHeight() <= 255);
    else
        Check(back.bitmap.GetWidth() == r.bitmap.GetWidth() &&
              back.bitmap.GetHeight() == r.bitmap.GetHeight());
}

template <class Read, class Write>
void ReadWriteReadBack(const std::uint8_t* data, std::size_t size, Read read, Write write,
                       bool scales = false)
{
    ReadWriteReadBack(data, size, read, write, read, scales);
}

}  // namespace rasterfuzz
