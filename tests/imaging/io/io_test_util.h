// Helpers the format tests share: an abort flag with its progress record, what a multi-image
// reader gives, a stream that fills up like a full disk, and pixel access that reads every pixel
// format as 0xRRGGBB.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace imaging::test {

using Bytes = std::vector<std::uint8_t>;

// Sets a global (a size limit, a replaceable routine) for a scope and restores it at its end,
// however the test leaves.
template <class T>
class ScopedValue {
public:
    ScopedValue(T& global, T value) : global_(global), kept_(global) { global = value; }
    ~ScopedValue() { global_ = kept_; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& global_;
    T kept_;
};

struct Progress {
    std::atomic<bool> abort{false};
    TProgressRecord record;
    Progress() { record.Aborting = &abort; }
    bool Aborted() const { return abort.load(); }
};

// What a reader of files with several images (GIF, TIFF) gave: the image and its alpha, the
// parameters, the image count (-1 until the reader sets it) and the abort flag.
struct ReadResult {
    TIEBitmap bitmap;
    std::unique_ptr<TIEMask> mask;
    TIOParamsVals params{nullptr};
    int count = -1;
    bool aborted = false;
};

// A stream that takes only so many bytes.
class FullStream : public rtl::TMemoryStream {
public:
    explicit FullStream(std::int64_t room) : room_(room) {}
    std::int32_t Write(const void* buffer, std::int32_t count) override
    {
        const std::int32_t n = std::int32_t(std::min<std::int64_t>(count, room_ - Position()));
        return n > 0 ? rtl::TMemoryStream::Write(buffer, n) : 0;
    }

private:
    std::int64_t room_;
};

inline std::uint32_t Rgb(TRGB c) { return std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b; }

inline std::uint32_t Px(TIEBitmap& b, int x, int y) { return Rgb(b.GetPixelRGB(x, y)); }

inline TRGB FromRgb(std::uint32_t v)
{
    return TRGB{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)};
}

}  // namespace imaging::test
