// Wireless bitmap reader and writer.
#include "imaging/io/wbmpfilt.h"

#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace imaging {

namespace {

// Type 0 images carry no extension headers; bit 7 of the fixed header announces them.
constexpr int kType = 0;
constexpr int kFixedHeader = 0;
// The side the writer fits images into: the screens the format was made for.
constexpr int kMaxWrittenSide = 255;
// Seven bits a byte: five bytes reach past any size an int holds.
constexpr int kMaxIntegerBytes = 5;

// The format's multi-byte integer: seven bits a byte, most significant first, bit 7 set on every
// byte but the last. -1 when the data ends first or the value passes 2^31 - 1.
std::int64_t ReadMultiByte(detail::TIEReadBuffer& in)
{
    std::int64_t value = 0;
    for (int i = 0; i < kMaxIntegerBytes; ++i) {
        const int c = in.Get();
        if (c < 0)
            return -1;
        value = value << 7 | (c & 0x7F);
        if (value > 0x7FFFFFFF)
            return -1;
        if (!(c & 0x80))
            return value;
    }
    return -1;
}

void PutMultiByte(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t groups[kMaxIntegerBytes];
    int n = 0;
    do {
        groups[n++] = std::uint8_t(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n > 1)
        out.push_back(std::uint8_t(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

}  // namespace

void ReadWBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                    TProgressRecord& Progress)
{
    try {
        detail::TIEReadBuffer in(Stream, Stream.Size());
        const int type = in.Get();
        const int fixed = in.Get();
        const std::int64_t width = ReadMultiByte(in);
        const std::int64_t height = ReadMultiByte(in);
        if (type != kType || fixed != kFixedHeader || width < 1 || height < 1) {
            Progress.Abort();
            return;
        }
        Params.BitsPerSample = 1;
        Params.SamplesPerPixel = 1;
        Params.Width = int(width);
        Params.Height = int(height);
        Params.SetDpiX(IEDefaultDpiX);
        Params.SetDpiY(IEDefaultDpiY);
        Params.FreeColorMap();
        if (ParamsOnly || !Bitmap)
            return;

        const std::int64_t rowBytes = (width + 7) / 8;
        if (!detail::IEImageFitsLimit(width, height, ie1g) ||
            !detail::IEDataCanHold(in.Remaining(), rowBytes * height, 1, 1)) {
            Progress.Abort();
            return;
        }
        Bitmap->Allocate(int(width), int(height), ie1g);
        Progress.per = 100.0 / double(height);
        // Both sides keep 1 for white: the rows go in as they are.
        for (int y = 0; y < height && !Progress.Aborted(); ++y) {
            if (!in.Read(Bitmap->ScanLine(y), rowBytes)) {
                Progress.Abort();
                return;
            }
            Progress.Report(int(Progress.per * y));
        }
    } catch (const rtl::Exception&) {
        Progress.Abort();
    }
}

void WriteWBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TProgressRecord& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    std::int64_t width = Bitmap->GetWidth();
    std::int64_t height = Bitmap->GetHeight();
    if (width > kMaxWrittenSide || height > kMaxWrittenSide) {
        if (width <= height) {
            width = std::max<std::int64_t>(width * kMaxWrittenSide / height, 1);
            height = kMaxWrittenSide;
        } else {
            height = std::max<std::int64_t>(height * kMaxWrittenSide / width, 1);
            width = kMaxWrittenSide;
        }
    }

    // The rows come from a 1-bit image of the written size: the bitmap itself when it is one,
    // else a copy scaled (filtered while it has colours) and then reduced to 1 bit.
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* rows = Bitmap;
    const bool scaled = width != Bitmap->GetWidth() || height != Bitmap->GetHeight();
    if (Bitmap->GetPixelFormat() == ie1g && scaled) {
        copy = std::make_unique<TIEBitmap>();
        copy->Allocate(int(width), int(height), ie1g);
        ResampleBitmap(Bitmap, copy.get(), rfNone);
        rows = copy.get();
    } else if (Bitmap->GetPixelFormat() != ie1g) {
        copy = std::make_unique<TIEBitmap>();
        copy->MonoConversion = Bitmap->MonoConversion;
        if (scaled) {
            TIEBitmap source;
            source.AssignImage(Bitmap);
            source.SetPixelFormat(ie24RGB);
            copy->Allocate(int(width), int(height), ie24RGB);
            ResampleBitmap(&source, copy.get(), rfTriangle);
        } else {
            copy->AssignImage(Bitmap);
        }
        copy->SetPixelFormat(ie1g);
        rows = copy.get();
    }

    std::vector<std::uint8_t> header = {kType, kFixedHeader};
    PutMultiByte(header, std::uint32_t(width));
    PutMultiByte(header, std::uint32_t(height));
    IEWrite(Stream, Progress, header.data(), std::int32_t(header.size()));
    Progress.per = 100.0 / double(height);
    const std::int32_t rowBytes = std::int32_t((width + 7) / 8);
    std::vector<std::uint8_t> line(std::size_t(rowBytes), 0);
    for (int y = 0; y < height && !Progress.Aborted(); ++y) {
        std::copy_n(rows->ScanLine(y), rowBytes, line.begin());
        // The bits past the last pixel are padding: zero.
        if (width % 8)
            line.back() &= std::uint8_t(0xFF << (8 - width % 8));
        IEWrite(Stream, Progress, line.data(), rowBytes);
        Progress.Report(int(Progress.per * (y + 1)));
    }
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

void LoadWbmp(TIELoadJob& Job)
{
    ReadWBMPStream(Job.Stream, &Job.Bitmap, Job.Params, Job.ParamsOnly, Job.Progress);
}

void SaveWbmp(TIESaveJob& Job) { WriteWBMPStream(Job.Stream, &Job.Bitmap, Job.Progress); }

}  // namespace

extern const TIEFormatSteps kWBMPSteps = {
    .FileType = ioWBMP,
    .Load = LoadWbmp,
    .Save = SaveWbmp,
};

}  // namespace imaging
