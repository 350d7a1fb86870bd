// Content probes of the image formats: each looks at the first bytes only, through a cursor that
// knows how many remain, never allocates and never throws; every probe restores the position. The
// PNM probe reads the header's words as the PNM reader does (iepxmtokens.h).
#pragma once

#include "platform/rtl/Streams.h"

#include <cstdint>

namespace imaging::detail {

// Reads forward from the stream's position at construction and puts the position back when it
// dies. A read asking for more than remains fails without touching the stream.
class TProbeCursor {
public:
    explicit TProbeCursor(rtl::TStream& Stream) noexcept;
    ~TProbeCursor();
    TProbeCursor(const TProbeCursor&) = delete;
    TProbeCursor& operator=(const TProbeCursor&) = delete;

    bool Valid() const { return valid_; }
    std::int64_t Start() const { return start_; }
    // Bytes from the current place to the end.
    std::int64_t Remaining() const { return valid_ ? end_ - offset_ : 0; }
    // Offset from Start.
    std::int64_t Offset() const { return offset_ - start_; }
    bool Read(void* Buffer, std::int32_t Count) noexcept;
    bool Skip(std::int64_t Count) noexcept;
    // Back to Start, for a probe that reads the same bytes again.
    void Rewind() noexcept;

private:
    rtl::TStream& stream_;
    std::int64_t start_ = 0;
    std::int64_t end_ = 0;
    std::int64_t offset_ = 0;
    bool valid_ = false;
};

}  // namespace imaging::detail

namespace imaging {

// PNG: the first four signature bytes, with 8 bytes present.
bool TryPNG(rtl::TStream& Stream) noexcept;
// Icon and cursor directories: header type 1 or 2, a non-empty directory whose every entry has a
// size and an image offset past itself.
bool TryICO(rtl::TStream& Stream) noexcept;
bool TryCUR(rtl::TStream& Stream) noexcept;
// TGA: a plausible 18-byte header (image type, depth, colour-map type).
bool TryTGA(rtl::TStream& Stream) noexcept;
// PBM/PGM/PPM: magic "P1".."P6", then a positive width and height (and the maximum value token),
// in the words the reader reads, within the first 501 words and megabyte.
bool TryPXM(rtl::TStream& Stream) noexcept;
// Absolute position of the first FF D8 FF at one of the 100 places from the current position,
// or -1.
std::int64_t FindJpegSOI(rtl::TStream& Stream) noexcept;
// JPEG 2000: the 12-byte signature box, or a code stream starting with SOC and SIZ.
bool TryJP2(rtl::TStream& Stream) noexcept;
bool TryJ2K(rtl::TStream& Stream) noexcept;
// RIFF file of form "AVI ".
bool TryAVI(rtl::TStream& Stream) noexcept;

}  // namespace imaging
