// GIF reader and writer, and the I/O component's GIF steps with the composition of frames.
#include "imaging/io/giffilter.h"

#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/iepaletteindex.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/detail/iewritestream.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace imaging {

std::int64_t IEGifMaxImageBytes = std::int64_t(1) << 30;

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr int kScreenDescriptorSize = 13;  // signature and logical screen descriptor
constexpr int kImageDescriptorSize = 9;    // after the separator
constexpr int kGraphicControlSize = 4;
constexpr int kMaxSide = 65535;
constexpr std::uint8_t kDisposeToBackground = 2;

// Every table is read into 256 entries, zero past the file's: no index can reach past it.
using TColorTable = std::array<TRGB, 256>;

constexpr TRGB kBlack{0, 0, 0};
constexpr TRGB kWhite{255, 255, 255};

bool ReadExact(rtl::TStream& stream, void* buffer, int count)
{
    return count <= 0 || stream.Read(buffer, count) == count;
}

// Entries (R,G,B in the file) into B,G,R; false when the stream ends first.
bool ReadColorTable(rtl::TStream& stream, int count, TColorTable& table)
{
    std::uint8_t raw[256 * 3];
    if (!ReadExact(stream, raw, count * 3))
        return false;
    for (int i = 0; i < count; ++i)
        table[std::size_t(i)] = TRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
    return true;
}

// Skips data sub-blocks through the terminator; false when the stream ends first. Frames are
// skipped this way once per frame read before them, so each block costs one read and one seek.
bool SkipSubBlocks(rtl::TStream& stream, std::int64_t size)
{
    for (;;) {
        std::uint8_t length = 0;
        if (stream.Read(&length, 1) != 1)
            return false;
        if (length == 0)
            return true;
        if (stream.Seek(length, rtl::soCurrent) > size) {
            stream.Seek(0, rtl::soEnd);
            return false;
        }
    }
}

// The sub-blocks of one extension, each handed to `take` (data, length).
template <class Take>
bool ReadSubBlocks(rtl::TStream& stream, Take take)
{
    for (;;) {
        std::uint8_t length = 0;
        if (stream.Read(&length, 1) != 1)
            return false;
        if (length == 0)
            return true;
        std::uint8_t data[255];
        if (!ReadExact(stream, data, length))
            return false;
        take(data, int(length));
    }
}

struct TGraphicControl {
    bool present = false;
    std::uint8_t flags = 0;
    int delay = 0;
    std::uint8_t transparentIndex = 0;
    bool Transparent() const { return present && (flags & 1) != 0; }
    std::uint8_t Disposal() const { return std::uint8_t((flags >> 2) & 7); }
};

// Fills the bitmap from the frame's indexes.
void StoreFrame(const std::vector<std::uint8_t>& indexes, int width, int height, const TColorTable& table,
                int bits, bool native, TIEBitmap& bitmap)
{
    TIEPixelFormat format = ie24RGB;
    if (bits == 1 && table[0] == kBlack && table[1] == kWhite)
        format = ie1g;
    else if (native)
        format = ie8p;
    bitmap.Allocate(width, height, format);
    if (format == ie8p)
        for (int i = 0; i < 256; ++i)
            bitmap.SetPaletteColor(i, table[std::size_t(i)]);
    const auto keep = bitmap.Access;
    bitmap.Access = 2;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = indexes.data() + std::size_t(y) * std::size_t(width);
        std::uint8_t* out = bitmap.ScanLine(y);
        switch (format) {
        case ie1g:
            // Only index 1 is white: others are past the two-entry table.
            std::memset(out, 0, std::size_t((width + 7) / 8));
            for (int x = 0; x < width; ++x)
                if (in[x] == 1)
                    out[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
            break;
        case ie8p: std::memcpy(out, in, std::size_t(width)); break;
        default: {
            TRGB* px = reinterpret_cast<TRGB*>(out);
            for (int x = 0; x < width; ++x)
                px[x] = table[in[x]];
        }
        }
    }
    bitmap.Access = keep;
}

}  // namespace

void ReadGIFStream(rtl::TStream& Stream, TIEBitmap* Bitmap, int& ImageCount, bool IgnoreAlpha,
                   std::unique_ptr<TIEMask>& AlphaMask, bool ParamsOnly, TProgressRecord& Progress,
                   TIOParamsVals& Params)
{
    ImageCount = 0;
    Progress.Report(0);
    const std::int64_t size = Stream.Size();
    std::uint8_t header[kScreenDescriptorSize];
    if (!ReadExact(Stream, header, kScreenDescriptorSize) || std::memcmp(header, "GIF", 3) != 0) {
        Progress.Abort();
        return;
    }
    Params.GIFVersion.assign(reinterpret_cast<const char*>(header), 6);
    Params.GIFWinWidth = rtl::LoadLE16(header + 6);
    Params.GIFWinHeight = rtl::LoadLE16(header + 8);
    const std::uint8_t screenFlags = header[10];
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.SamplesPerPixel = 1;

    TColorTable global{};
    const bool hasGlobal = (screenFlags & 0x80) != 0;
    if (hasGlobal && !ReadColorTable(Stream, 2 << (screenFlags & 7), global)) {
        Progress.Abort();
        return;
    }
    Params.GIFBackground = global[header[11]];
    if (Stream.Position() >= size) {
        Progress.Abort();
        return;
    }

    const int wanted = Params.GIFImageIndex;
    TGraphicControl control;
    int counter = 0;
    while (!Progress.Aborted()) {
        std::uint8_t block = 0;
        if (Stream.Read(&block, 1) != 1 || block == kTrailer)
            break;
        if (block == kExtensionIntroducer) {
            std::uint8_t label = 0;
            if (Stream.Read(&label, 1) != 1)
                break;
            bool complete = true;
            if (label == kGraphicControlLabel && counter == wanted) {
                // A fresh control block for the wanted frame; the last one before it counts.
                control = TGraphicControl{};
                complete = ReadSubBlocks(Stream, [&](const std::uint8_t* data, int length) {
                    if (control.present || length < kGraphicControlSize)
                        return;
                    control.present = true;
                    control.flags = data[0];
                    control.delay = rtl::LoadLE16(data + 1);
                    control.transparentIndex = data[3];
                });
            } else if (label == kCommentLabel) {
                complete = ReadSubBlocks(Stream, [&](const std::uint8_t* data, int length) {
                    Params.GIFComments.Add(
                        std::string(reinterpret_cast<const char*>(data), std::size_t(length)));
                });
            } else {
                complete = SkipSubBlocks(Stream, size);
            }
            if (!complete)
                break;
            continue;
        }
        if (block != kImageSeparator)
            continue;

        std::uint8_t d[kImageDescriptorSize];
        if (!ReadExact(Stream, d, kImageDescriptorSize))
            break;
        const int left = rtl::LoadLE16(d);
        const int top = rtl::LoadLE16(d + 2);
        const int width = rtl::LoadLE16(d + 4);
        const int height = rtl::LoadLE16(d + 6);
        const std::uint8_t flags = d[8];
        TColorTable local{};
        const bool hasLocal = (flags & 0x80) != 0;
        if (hasLocal && !ReadColorTable(Stream, 2 << (flags & 7), local))
            break;
        if (counter != wanted) {
            // The code size byte, then the data.
            std::uint8_t codeSize = 0;
            if (Stream.Read(&codeSize, 1) != 1 || !SkipSubBlocks(Stream, size))
                break;
            ++counter;
            continue;
        }

        Progress.Report(30);
        const TColorTable& table = hasLocal ? local : global;
        // A file without any table reads every index as black.
        const int bits = hasLocal ? (flags & 7) + 1 : hasGlobal ? (screenFlags & 7) + 1 : 8;
        const bool interlaced = (flags & 0x40) != 0;
        Params.GIFTranspColor = table[control.transparentIndex];
        Params.GIFXPos = left;
        Params.GIFYPos = top;
        Params.Width = width;
        Params.Height = height;
        Params.GIFDelayTime = control.delay;
        Params.GIFTransparent = control.Transparent() ? 1 : 0;
        Params.GIFInterlaced = interlaced ? 1 : 0;
        Params.GIFDisposalMethod = control.Disposal();
        Params.BitsPerSample = bits;
        Params.SetColorMap(table.data(), 1 << bits);

        // A frame of no pixels has nothing to decode; its bitmap stays empty.
        if (ParamsOnly || !Bitmap || width == 0 || height == 0) {
            if (Bitmap && !ParamsOnly)
                Bitmap->FreeImage();
            std::uint8_t codeSize = 0;
            if (Stream.Read(&codeSize, 1) != 1 || !SkipSubBlocks(Stream, size))
                break;
            ++counter;
            continue;
        }
        if (std::int64_t(width) * height * 3 > IEGifMaxImageBytes) {
            Progress.Abort();
            break;
        }
        std::vector<std::uint8_t> indexes(std::size_t(width) * std::size_t(height));
        const TGIFLZWDecompressFunc decode =
            Params.GIFLZWDecompress ? Params.GIFLZWDecompress : DefGIFLZWDecompress;
        if (!decode || !decode(Stream, height, width, indexes.data(), interlaced)) {
            Progress.Abort();
            break;
        }
        Progress.Report(70);
        try {
            StoreFrame(indexes, width, height, table, bits, Params.NativePixelFormat != 0, *Bitmap);
            if (!IgnoreAlpha) {
                if (!AlphaMask)
                    AlphaMask = std::make_unique<TIEMask>();
                AlphaMask->AllocateBits(width, height, 8);
                AlphaMask->Fill(255);
                if (control.Transparent()) {
                    for (int y = 0; y < height; ++y) {
                        const std::uint8_t* in = indexes.data() + std::size_t(y) * std::size_t(width);
                        std::uint8_t* out = AlphaMask->ScanLine(y);
                        for (int x = 0; x < width; ++x)
                            if (in[x] == control.transparentIndex) {
                                out[x] = 0;
                                AlphaMask->Full = false;
                            }
                    }
                }
            }
        } catch (const rtl::Exception&) {
            Progress.Abort();
            break;
        }
        ++counter;
    }
    ImageCount = counter;
    Params.GIFImageCount = counter;
    Progress.Report(100);
}

// ---- writing -----------------------------------------------------------------------------------

namespace {

void PutLE16(std::uint8_t* p, int v) { rtl::StoreLE16(p, std::uint16_t(v)); }

bool AllOpaque(TIEBitmap& alpha)
{
    for (int y = 0; y < alpha.GetHeight(); ++y) {
        const std::uint8_t* row = alpha.ScanLine(y);
        if (!std::all_of(row, row + alpha.GetWidth(), [](std::uint8_t v) { return v == 255; }))
            return false;
    }
    return true;
}

}  // namespace

void WriteGIFStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress)
{
    Progress.Report(0);
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    const int width = Bitmap->GetWidth();
    const int height = Bitmap->GetHeight();
    const int left = std::max(Params.GIFXPos, 0);
    const int top = std::max(Params.GIFYPos, 0);
    // The screen holds the frame where it is placed.
    if (std::int64_t(left) + width > kMaxSide || std::int64_t(top) + height > kMaxSide) {
        Progress.Abort();
        return;
    }
    const TGIFLZWCompressFunc encode = Params.GIFLZWCompress ? Params.GIFLZWCompress : DefGIFLZWCompress;
    if (!encode) {
        Progress.Abort();
        return;
    }

    // An alpha channel that is all opaque (every GIF read has one) costs no palette entry.
    TIEBitmap* alpha = Bitmap->HasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr;
    if (alpha && (alpha->GetWidth() != width || alpha->GetHeight() != height || AllOpaque(*alpha)))
        alpha = nullptr;
    int bits = std::clamp(Params.BitsPerSample, 1, 8);
    if (alpha && bits == 1)
        bits = 2;  // two colours and the transparent one
    const int colors = 1 << bits;

    std::vector<TRGB> palette(static_cast<std::size_t>(colors));
    std::vector<std::uint8_t> indexes(std::size_t(width) * std::size_t(height));
    int background = 0;
    int transparent = 0;
    if (bits == 1) {
        std::unique_ptr<TIEBitmap> copy;
        TIEBitmap* source = Bitmap;
        palette = {kBlack, kWhite};
        if (Bitmap->GetPixelFormat() != ie1g) {
            copy = detail::IEBilevelCopy(*Bitmap, palette[0], palette[1]);
            source = copy.get();
        }
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = source->ScanLine(y);
            std::uint8_t* out = indexes.data() + std::size_t(y) * std::size_t(width);
            for (int x = 0; x < width; ++x)
                out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        background = NearestPaletteIndex(palette.data(), 2, Params.GIFBackground);
        transparent = NearestPaletteIndex(palette.data(), 2, Params.GIFTranspColor);
    } else {
        std::unique_ptr<TIEBitmap> copy;
        TIEBitmap* source = Bitmap;
        const TIEPixelFormat format = Bitmap->GetPixelFormat();
        if (format != ie8p && format != ie8g && format != ie24RGB) {
            copy = detail::IEConvertedCopy(*Bitmap, ie24RGB);
            source = copy.get();
        }
        const int reserved = alpha ? colors - 1 : -1;
        detail::TIEIndexedImage indexed(*source, alpha ? colors - 1 : colors);
        std::copy(indexed.Palette().begin(), indexed.Palette().end(), palette.begin());
        for (int y = 0; y < height; ++y) {
            std::uint8_t* out = indexes.data() + std::size_t(y) * std::size_t(width);
            indexed.IndexRow(y, out);
            if (alpha) {
                const std::uint8_t* a = alpha->ScanLine(y);
                for (int x = 0; x < width; ++x)
                    if (a[x] != 255)
                        out[x] = std::uint8_t(reserved);
            }
        }
        background = indexed.IndexOf(Params.GIFBackground);
        transparent = alpha ? reserved : indexed.IndexOf(Params.GIFTranspColor);
    }
    if (alpha) {
        Params.GIFTransparent = 1;
        Params.GIFTranspColor = palette[std::size_t(transparent)];
    }

    // Extensions need the newer version; a file asked for as the older one without anything an
    // extension would carry stays the older one.
    const bool extensions = Params.GIFVersion != "GIF87a" || Params.GIFTransparent != 0 ||
                            Params.GIFDelayTime != 0 || Params.GIFComments.Count() > 0;
    detail::TIECheckedStream out(Stream, Progress);
    std::uint8_t screen[kScreenDescriptorSize];
    std::memcpy(screen, extensions ? "GIF89a" : "GIF87a", 6);
    PutLE16(screen + 6, left + width);
    PutLE16(screen + 8, top + height);
    screen[10] = std::uint8_t(0x80 | (bits - 1) << 4 | (bits - 1));
    screen[11] = std::uint8_t(background);
    screen[12] = 0;
    out.Write(screen, kScreenDescriptorSize);
    std::vector<std::uint8_t> table(std::size_t(colors) * 3);
    for (int i = 0; i < colors; ++i) {
        table[std::size_t(3 * i)] = palette[std::size_t(i)].r;
        table[std::size_t(3 * i + 1)] = palette[std::size_t(i)].g;
        table[std::size_t(3 * i + 2)] = palette[std::size_t(i)].b;
    }
    out.Write(table.data(), std::int32_t(table.size()));

    if (extensions) {
        std::uint8_t control[8] = {kExtensionIntroducer, kGraphicControlLabel, kGraphicControlSize};
        control[3] = std::uint8_t((Params.GIFTransparent ? 1 : 0) | kDisposeToBackground << 2);
        PutLE16(control + 4, std::clamp(Params.GIFDelayTime, 0, kMaxSide));
        control[6] = std::uint8_t(transparent);
        control[7] = 0;
        out.Write(control, 8);
    }

    std::uint8_t descriptor[1 + kImageDescriptorSize] = {kImageSeparator};
    PutLE16(descriptor + 1, left);
    PutLE16(descriptor + 3, top);
    PutLE16(descriptor + 5, width);
    PutLE16(descriptor + 7, height);
    descriptor[9] = std::uint8_t(Params.GIFInterlaced ? 0x40 : 0);
    out.Write(descriptor, sizeof descriptor);
    if (!Progress.Aborted())
        encode(out, height, width, bits, indexes.data(), Params.GIFInterlaced != 0);

    if (extensions) {
        const std::uint8_t intro[2] = {kExtensionIntroducer, kCommentLabel};
        out.Write(intro, 2);
        // A line longer than a sub-block goes on in the next one; nothing of it is cut.
        for (int i = 0; i < Params.GIFComments.Count(); ++i) {
            const std::string line = Params.GIFComments.Get(i);
            for (std::size_t at = 0; at < line.size(); at += 255) {
                const std::uint8_t length = std::uint8_t(std::min<std::size_t>(255, line.size() - at));
                out.Write(&length, 1);
                out.Write(line.data() + at, length);
            }
        }
        const std::uint8_t terminator = 0;
        out.Write(&terminator, 1);
    }
    const std::uint8_t trailer = kTrailer;
    out.Write(&trailer, 1);
    Progress.Report(100);
}

void WriteGIFFile(const std::string& FileName, TIEBitmap* Bitmap, TIOParamsVals& Params,
                  TProgressRecord& Progress)
{
    rtl::TFileStream file(FileName, rtl::fmCreate);
    WriteGIFStream(file, Bitmap, Params, Progress);
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

// The frames drawn one over the other on the logical screen, as a viewer shows frame R.
class TFrameComposer {
public:
    TFrameComposer(TIOParamsVals& params) : params_(params) {}

    // False when the screen would pass the size limit.
    bool Add(TIEBitmap& frame, TIEMask* mask)
    {
        if (previous_.disposal == kDisposeToBackground)
            FillRect(previous_.x, previous_.y, previous_.w, previous_.h);
        const int x = params_.GIFXPos;
        const int y = params_.GIFYPos;
        const int w = frame.GetWidth();
        const int h = frame.GetHeight();
        if (!Fit(std::max(params_.GIFWinWidth, x + w), std::max(params_.GIFWinHeight, y + h)))
            return false;
        if (w > 0 && h > 0) {
            frame.SetPixelFormat(ie24RGB);
            for (int row = 0; row < h; ++row) {
                const TRGB* src = reinterpret_cast<const TRGB*>(frame.ScanLine(row));
                const std::uint8_t* a = mask ? mask->ScanLine(row) : nullptr;
                TRGB* dst = reinterpret_cast<TRGB*>(image_.ScanLine(y + row)) + x;
                std::uint8_t* da = alpha_->ScanLine(y + row) + x;
                for (int col = 0; col < w; ++col)
                    if (!a || a[col] != 0) {
                        dst[col] = src[col];
                        da[col] = 255;
                    }
            }
        }
        previous_ = TRect{x, y, w, h, params_.GIFDisposalMethod};
        return true;
    }

    bool Empty() { return image_.GetWidth() == 0; }
    void MoveTo(TIEBitmap& bitmap, std::unique_ptr<TIEBitmap>& alpha)
    {
        image_.MoveTo(&bitmap);
        alpha = std::move(alpha_);
    }

private:
    struct TRect {
        int x = 0, y = 0, w = 0, h = 0;
        int disposal = 0;
    };

    // Grows the screen to at least w x h, the new part background and transparent.
    bool Fit(int w, int h)
    {
        const int oldW = image_.GetWidth();
        const int oldH = image_.GetHeight();
        if (w <= oldW && h <= oldH)
            return true;
        w = std::max(w, oldW);
        h = std::max(h, oldH);
        if (std::int64_t(w) * h * 3 > IEGifMaxImageBytes)
            return false;
        TIEBitmap grown;
        grown.Allocate(w, h, ie24RGB);
        auto grownAlpha = std::make_unique<TIEBitmap>();
        grownAlpha->Allocate(w, h, ie8g);
        const TRGB background = params_.GIFBackground;
        for (int row = 0; row < h; ++row) {
            TRGB* dst = reinterpret_cast<TRGB*>(grown.ScanLine(row));
            std::fill(dst, dst + w, background);
            if (row < oldH && oldW > 0) {
                std::memcpy(dst, image_.ScanLine(row), std::size_t(oldW) * 3);
                std::memcpy(grownAlpha->ScanLine(row), alpha_->ScanLine(row), std::size_t(oldW));
            }
        }
        grown.MoveTo(&image_);
        alpha_ = std::move(grownAlpha);
        return true;
    }

    void FillRect(int x, int y, int w, int h)
    {
        const int right = std::min(x + w, image_.GetWidth());
        const int bottom = std::min(y + h, image_.GetHeight());
        for (int row = y; row < bottom; ++row) {
            TRGB* dst = reinterpret_cast<TRGB*>(image_.ScanLine(row));
            std::fill(dst + x, dst + right, params_.GIFBackground);
            std::uint8_t* a = alpha_->ScanLine(row);
            std::fill(a + x, a + right, std::uint8_t(0));
        }
    }

    TIOParamsVals& params_;
    TIEBitmap image_;
    std::unique_ptr<TIEBitmap> alpha_;
    TRect previous_;
};

std::unique_ptr<TIEBitmap> MaskToAlpha(TIEMask* mask)
{
    if (!mask || mask->Width() == 0)
        return nullptr;
    auto alpha = std::make_unique<TIEBitmap>();
    alpha->CopyFromTIEMask(mask);
    return alpha;
}

void LoadGif(TIELoadJob& Job)
{
    TIOParamsVals& params = Job.Params;
    int count = 0;
    if (Job.ParamsOnly) {
        std::unique_ptr<TIEMask> mask;
        ReadGIFStream(Job.Stream, &Job.Bitmap, count, true, mask, true, Job.Progress, params);
        Job.Result = count;
        return;
    }
    const int wanted = params.GIFImageIndex;
    const std::int64_t start = Job.Stream.Position();
    // The frames report nothing themselves; the step reports per frame.
    TProgressRecord quiet;
    quiet.Aborting = Job.Progress.Aborting;
    TFrameComposer composer(params);
    bool composed = false;
    try {
        for (int i = 0;; ++i) {
            Job.Stream.SetPosition(start);
            params.GIFImageIndex = i;
            TIEBitmap frame;
            std::unique_ptr<TIEMask> mask;
            ReadGIFStream(Job.Stream, &frame, count, false, mask, false, quiet, params);
            if (Job.Progress.Aborted())
                break;
            if (count >= 2) {
                if (!composer.Add(frame, mask.get())) {
                    Job.Progress.Abort();
                    break;
                }
                composed = true;
            } else if (count == 1) {
                frame.MoveTo(&Job.Bitmap);
                Job.Alpha = MaskToAlpha(mask.get());
            }
            if (count > 0)
                Job.Progress.Report(int(i * (100.0 / count)));
            if (i >= wanted || i + 1 >= count)
                break;
        }
    } catch (const rtl::Exception&) {
        Job.Progress.Abort();
    }
    if (composed && !composer.Empty())
        composer.MoveTo(Job.Bitmap, Job.Alpha);
    params.GIFImageIndex = wanted;
    Job.Result = count;
    Job.Background = SwapRedBlue(params.GIFTransparent ? params.GIFTranspColor : params.GIFBackground);
}

void SaveGif(TIESaveJob& Job) { WriteGIFStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress); }

}  // namespace

extern const TIEFormatSteps kGIFSteps = {
    .FileType = ioGIF,
    .Load = LoadGif,
    .Save = SaveGif,
    .ViewDpiFile = false,
    .ViewDpiStream = false,
    .SavesAnyPixelFormat = true,
};

}  // namespace imaging
