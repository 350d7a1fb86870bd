// Portable anymap reader and writer.
#include "imaging/io/pxmfilt.h"

#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/iepxmtokens.h"
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace imaging {

namespace {

using detail::TIEReadBuffer;

constexpr int kMaxSampleValue = 65535;
// What the reader keeps of the header's comments; the rest is read past.
constexpr std::size_t kMaxComments = 1024;

using TTokens = detail::TPXMTokens<TIEReadBuffer>;

struct TPXMHeader {
    int magic = 0;  // 1..6
    std::int64_t width = -1;
    std::int64_t height = -1;
    std::int64_t maxValue = -1;
};

// The header's words in order, comments going to Params. False when the magic is not P1..P6;
// fields the data ends before, and words that are not numbers, stay -1.
bool ReadHeader(TTokens& tokens, const std::string& comment, TPXMHeader& h, TIOParamsVals& params)
{
    int field = 0;
    while (true) {
        const auto kind = tokens.Next();
        if (kind == TTokens::Kind::Comment) {
            if (std::size_t(params.ImageDescriptions.Count()) < kMaxComments)
                params.ImageDescriptions.Add(comment);
            continue;
        }
        if (kind == TTokens::Kind::End)
            return field > 0;
        switch (field++) {
        case 0:
            h.magic = tokens.Magic();
            if (h.magic == 0)
                return false;
            break;
        case 1: h.width = tokens.Number(); break;
        case 2:
            h.height = tokens.Number();
            if (h.magic == 1 || h.magic == 4) {
                h.maxValue = 1;
                return true;
            }
            break;
        default: h.maxValue = tokens.Number(); return true;
        }
    }
}

// 0..255 for every value a sample can take: value * 255 / maximum rounded down, and 255 for values
// above the maximum.
std::vector<std::uint8_t> ScaleTable(int maxValue, bool wide)
{
    std::vector<std::uint8_t> table(wide ? 65536 : 256, 255);
    for (int v = 0; v <= maxValue && v < int(table.size()); ++v)
        table[std::size_t(v)] = std::uint8_t(v * 255 / maxValue);
    return table;
}

// Decodes the rows; false when the data ends early or holds a non-number.
bool ReadRaster(TTokens& tokens, TIEReadBuffer& in, const TPXMHeader& h, TIEBitmap& bitmap,
                TProgressRecord& progress)
{
    const int width = int(h.width);
    const int height = int(h.height);
    const int maxValue = int(h.maxValue);
    const bool wide = maxValue > 255;
    const std::vector<std::uint8_t> scale = ScaleTable(maxValue, wide);
    const int channels = h.magic == 3 || h.magic == 6 ? 3 : 1;
    const std::size_t lineBytes = std::size_t(width) * channels * (wide ? 2 : 1);
    std::vector<std::uint8_t> line(h.magic == 5 || (h.magic == 6 && wide) ? lineBytes : 0);
    auto sample = [&](const std::uint8_t* p) {
        return wide ? scale[std::size_t(p[0] << 8 | p[1])] : scale[*p];
    };
    auto level = [&](std::uint32_t v) { return v > std::uint32_t(maxValue) ? std::uint8_t(255) : scale[v]; };

    for (int y = 0; y < height; ++y) {
        if (progress.Aborted())
            return true;
        std::uint8_t* out = bitmap.ScanLine(y);
        TRGB* px = reinterpret_cast<TRGB*>(out);
        switch (h.magic) {
        case 1:
            for (int x = 0; x < width; ++x) {
                const int bit = tokens.Bit();
                if (bit < 0)
                    return false;
                SetPixelBit(out, x, bit == 0);
            }
            break;
        case 2:
        case 3:
            for (int x = 0; x < width; ++x) {
                std::uint32_t v[3];
                for (int c = 0; c < channels; ++c)
                    if (!tokens.Sample(v[c]))
                        return false;
                if (channels == 1)
                    px[x] = TRGB{level(v[0]), level(v[0]), level(v[0])};
                else
                    px[x] = TRGB{level(v[2]), level(v[1]), level(v[0])};
            }
            break;
        case 4: {
            const int bytes = (width + 7) / 8;
            if (!in.Read(out, bytes))
                return false;
            for (int i = 0; i < bytes; ++i)
                out[i] = std::uint8_t(~out[i]);
            break;
        }
        case 5:
            if (!in.Read(line.data(), std::int64_t(lineBytes)))
                return false;
            for (int x = 0; x < width; ++x) {
                const std::uint8_t g = sample(line.data() + (wide ? 2 * x : x));
                px[x] = TRGB{g, g, g};
            }
            break;
        default:
            if (!wide) {
                // Straight into the row, then into blue, green, red order.
                if (!in.Read(out, std::int64_t(lineBytes)))
                    return false;
                if (maxValue == 255) {
                    for (int x = 0; x < width; ++x)
                        std::swap(out[3 * x], out[3 * x + 2]);
                } else {
                    for (int x = 0; x < width; ++x)
                        px[x] = TRGB{scale[out[3 * x + 2]], scale[out[3 * x + 1]], scale[out[3 * x]]};
                }
            } else {
                if (!in.Read(line.data(), std::int64_t(lineBytes)))
                    return false;
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t* p = line.data() + 6 * x;
                    px[x] = TRGB{sample(p + 4), sample(p + 2), sample(p)};
                }
            }
            break;
        }
        progress.Report(int(progress.per * (y + 1)));
    }
    return true;
}

// The fewest bytes that can hold the raster: one character a pixel for P1, a digit and a
// separator a sample for P2 and P3, the exact size for the binary forms.
bool DataCanHoldRaster(const TPXMHeader& h, std::int64_t available)
{
    const std::int64_t pixels = h.width * h.height;  // within the size limit, checked first
    const std::int64_t sampleBytes = h.maxValue > 255 ? 2 : 1;
    switch (h.magic) {
    case 1: return detail::IEDataCanHold(available, pixels, 1, 1);
    case 2: return detail::IEDataCanHold(available + 1, pixels, 1, 2);
    case 3: return detail::IEDataCanHold(available + 1, pixels * 3, 1, 2);
    case 4: return detail::IEDataCanHold(available, (h.width + 7) / 8 * h.height, 1, 1);
    case 5: return detail::IEDataCanHold(available, pixels, 1, sampleBytes);
    default: return detail::IEDataCanHold(available, pixels * 3, 1, sampleBytes);
    }
}

}  // namespace

void ReadPXMStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   bool ParamsOnly)
{
    try {
        Params.ImageDescriptions.Clear();
        TIEReadBuffer in(Stream, Stream.Size());
        std::string comment;
        TTokens tokens(in, &comment);
        TPXMHeader h;
        if (!ReadHeader(tokens, comment, h, Params) || h.width < 1 || h.height < 1 || h.maxValue < 1 ||
            h.maxValue > kMaxSampleValue) {
            Progress.Abort();
            return;
        }
        const bool bitmap = h.magic == 1 || h.magic == 4;
        Params.FreeColorMap();
        Params.Width = int(h.width);
        Params.Height = int(h.height);
        Params.BitsPerSample = bitmap ? 1 : 8;
        Params.SamplesPerPixel = h.magic == 3 || h.magic == 6 ? 3 : 1;
        Params.SetDpiX(IEDefaultDpiX);
        Params.SetDpiY(IEDefaultDpiY);
        if (ParamsOnly || !Bitmap)
            return;

        const TIEPixelFormat format = bitmap ? ie1g : ie24RGB;
        if (!detail::IEImageFitsLimit(h.width, h.height, format) || !DataCanHoldRaster(h, in.Remaining())) {
            Progress.Abort();
            return;
        }
        Bitmap->Allocate(int(h.width), int(h.height), format);
        Progress.per = 100.0 / double(h.height);
        if (!ReadRaster(tokens, in, h, *Bitmap, Progress))
            Progress.Abort();
    } catch (const rtl::Exception&) {
        // A stream that fails to read, or memory that cannot be had.
        Progress.Abort();
    }
}

// ---- writing -----------------------------------------------------------------------------------

void WritePXMStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    int magic = 0;
    if ((Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1) || format == ie1g)
        magic = 4;
    else if (Params.BitsPerSample == 8 && Params.SamplesPerPixel == 1)
        magic = 5;
    else if ((Params.BitsPerSample == 8 && Params.SamplesPerPixel == 3) || format == ie24RGB)
        magic = 6;
    if (magic == 0) {
        Progress.Abort();
        return;
    }
    const TIEPixelFormat wanted = magic == 4 ? ie1g : ie24RGB;
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* rows = Bitmap;
    if (format != wanted) {
        copy = detail::IEConvertedCopy(*Bitmap, wanted);
        rows = copy.get();
    }
    const int width = rows->GetWidth();
    const int height = rows->GetHeight();

    std::string header = "P" + std::to_string(magic) + "\n";
    for (int i = 0; i < Params.ImageDescriptions.Count(); ++i) {
        // One comment a line: a line break inside a description would end the comment early.
        const std::string& text = Params.ImageDescriptions[i];
        std::size_t from = 0;
        while (true) {
            const std::size_t to = text.find_first_of("\r\n", from);
            header +=
                "# " + text.substr(from, to == std::string::npos ? std::string::npos : to - from) + "\n";
            if (to == std::string::npos)
                break;
            from = to + (text.compare(to, 2, "\r\n") == 0 ? 2 : 1);
        }
    }
    header += std::to_string(width) + " " + std::to_string(height) + (magic == 4 ? "\n" : "\n255\n");
    IEWrite(Stream, Progress, header.data(), std::int32_t(header.size()));

    Progress.per = 100.0 / height;
    std::vector<std::uint8_t> line(std::size_t(magic == 4   ? (width + 7) / 8
                                               : magic == 5 ? width
                                                            : width * 3));
    for (int y = 0; y < height && !Progress.Aborted(); ++y) {
        const std::uint8_t* src = rows->ScanLine(y);
        const TRGB* px = reinterpret_cast<const TRGB*>(src);
        if (magic == 4) {
            for (std::size_t i = 0; i < line.size(); ++i)
                line[i] = std::uint8_t(~src[i]);
            // The bits past the last pixel are padding: zero, as readers expect.
            if (width % 8)
                line.back() &= std::uint8_t(0xFF << (8 - width % 8));
        } else if (magic == 5) {
            for (int x = 0; x < width; ++x)
                line[std::size_t(x)] = RGBToGray(px[x]);
        } else {
            for (int x = 0; x < width; ++x) {
                line[3 * std::size_t(x)] = px[x].r;
                line[3 * std::size_t(x) + 1] = px[x].g;
                line[3 * std::size_t(x) + 2] = px[x].b;
            }
        }
        IEWrite(Stream, Progress, line.data(), std::int32_t(line.size()));
        Progress.Report(int(Progress.per * (y + 1)));
    }
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

void LoadPxm(TIELoadJob& Job)
{
    ReadPXMStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress, Job.ParamsOnly);
}

void SavePxm(TIESaveJob& Job) { WritePXMStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress); }

}  // namespace

extern const TIEFormatSteps kPXMSteps = {
    .FileType = ioPXM,
    .Load = LoadPxm,
    .Save = SavePxm,
};

}  // namespace imaging
