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

// Skips data sub-blocks through the terminator, each block one read and one seek; false when the
// stream ends first.
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

// Signature, logical screen descriptor and global colour table.
struct TGifScreen {
    std::uint8_t descriptor[kScreenDescriptorSize] = {};
    TColorTable global{};

    int Width() const { return rtl::LoadLE16(descriptor + 6); }
    int Height() const { return rtl::LoadLE16(descriptor + 8); }
    bool HasGlobal() const { return (descriptor[10] & 0x80) != 0; }
    int GlobalBits() const { return (descriptor[10] & 7) + 1; }
    TRGB Background() const { return global[descriptor[11]]; }
    bool operator==(const TGifScreen& o) const
    {
        return std::memcmp(descriptor, o.descriptor, sizeof descriptor) == 0 && global == o.global;
    }
};

// One image descriptor as the walk over the blocks found it, with the control block before it.
struct TGifFrame {
    std::int64_t at = 0;  // the 9 bytes after the separator
    std::uint8_t descriptor[kImageDescriptorSize] = {};
    TGraphicControl control;

    int Left() const { return rtl::LoadLE16(descriptor); }
    int Top() const { return rtl::LoadLE16(descriptor + 2); }
    int Width() const { return rtl::LoadLE16(descriptor + 4); }
    int Height() const { return rtl::LoadLE16(descriptor + 6); }
    bool HasLocal() const { return (descriptor[8] & 0x80) != 0; }
    bool Interlaced() const { return (descriptor[8] & 0x40) != 0; }
    int LocalEntries() const { return 2 << (descriptor[8] & 7); }
};

// Everything of a file but the pixels: read once, then each frame is decoded where it lies.
struct TGifBlocks {
    TGifScreen screen;
    // Frames whose descriptor and colour table are whole; their data are judged when decoded.
    std::vector<TGifFrame> frames;
    std::vector<std::string> comments;
    // The file ends inside a block: frames past the last listed may be lost.
    bool cut = false;
    std::int64_t end = 0;  // where the walk stopped
};

// Reads the screen at the stream's position; false when the stream is no GIF, ends inside the
// screen or its table, or ends right after them.
bool ReadScreen(rtl::TStream& stream, std::int64_t size, TGifScreen& screen)
{
    if (!ReadExact(stream, screen.descriptor, kScreenDescriptorSize) ||
        std::memcmp(screen.descriptor, "GIF", 3) != 0)
        return false;
    if (screen.HasGlobal() && !ReadColorTable(stream, 2 << (screen.descriptor[10] & 7), screen.global))
        return false;
    return stream.Position() < size;
}

// Walks the blocks from the stream's position to the trailer, the end of the stream, or the first
// block the stream ends inside. Frames are skipped, not decoded; a stream that ends inside a
// frame's data still lists the frame.
void WalkBlocks(rtl::TStream& stream, std::int64_t size, TGifBlocks& blocks, TProgressRecord& progress)
{
    TGraphicControl control;
    bool whole = true;
    while (whole && !progress.Aborted()) {
        std::uint8_t block = 0;
        if (stream.Read(&block, 1) != 1 || block == kTrailer)
            break;
        if (block == kExtensionIntroducer) {
            std::uint8_t label = 0;
            if (stream.Read(&label, 1) != 1) {
                whole = false;
            } else if (label == kGraphicControlLabel) {
                // The last control block before a frame applies to it.
                control = TGraphicControl{};
                whole = ReadSubBlocks(stream, [&](const std::uint8_t* data, int length) {
                    if (control.present || length < kGraphicControlSize)
                        return;
                    control.present = true;
                    control.flags = data[0];
                    control.delay = rtl::LoadLE16(data + 1);
                    control.transparentIndex = data[3];
                });
            } else if (label == kCommentLabel) {
                whole = ReadSubBlocks(stream, [&](const std::uint8_t* data, int length) {
                    blocks.comments.emplace_back(reinterpret_cast<const char*>(data), std::size_t(length));
                });
            } else {
                whole = SkipSubBlocks(stream, size);
            }
            continue;
        }
        if (block != kImageSeparator)
            continue;
        TGifFrame frame;
        frame.at = stream.Position();
        frame.control = control;
        control = TGraphicControl{};
        if (!ReadExact(stream, frame.descriptor, kImageDescriptorSize) ||
            (frame.HasLocal() && stream.Seek(3 * frame.LocalEntries(), rtl::soCurrent) > size)) {
            whole = false;
            break;
        }
        blocks.frames.push_back(frame);
        // The code size byte, then the data.
        std::uint8_t codeSize = 0;
        whole = stream.Read(&codeSize, 1) == 1 && SkipSubBlocks(stream, size);
    }
    blocks.cut = !whole;
    blocks.end = std::min(stream.Position(), size);
}

// The screen and the walk over every block; false as ReadScreen.
bool ReadBlocks(rtl::TStream& stream, TGifBlocks& blocks, TProgressRecord& progress)
{
    const std::int64_t size = stream.Size();
    if (!ReadScreen(stream, size, blocks.screen))
        return false;
    WalkBlocks(stream, size, blocks, progress);
    return true;
}

void ScreenParams(const TGifBlocks& blocks, TIOParamsVals& params)
{
    params.GIFVersion.assign(reinterpret_cast<const char*>(blocks.screen.descriptor), 6);
    params.GIFWinWidth = blocks.screen.Width();
    params.GIFWinHeight = blocks.screen.Height();
    params.SetDpiX(IEDefaultDpiX);
    params.SetDpiY(IEDefaultDpiY);
    params.SamplesPerPixel = 1;
    params.GIFBackground = blocks.screen.Background();
    for (const std::string& line : blocks.comments)
        params.GIFComments.Add(line);
    params.GIFImageCount = int(blocks.frames.size());
}

// A frame's colour table: the local one, else the global one, else none (every index black).
struct TFrameColors {
    TColorTable table{};
    int bits = 8;
};

// Reads the frame's descriptor again and its colour table; false when the descriptor is no longer
// the one the walk found or the table is cut. The stream is left at the frame's data.
bool ReadFrameColors(rtl::TStream& stream, const TGifScreen& screen, const TGifFrame& frame,
                     TFrameColors& colors)
{
    std::uint8_t descriptor[kImageDescriptorSize];
    if (stream.Seek(frame.at, rtl::soBeginning) != frame.at ||
        !ReadExact(stream, descriptor, sizeof descriptor) ||
        std::memcmp(descriptor, frame.descriptor, sizeof descriptor) != 0)
        return false;
    if (frame.HasLocal()) {
        colors.bits = (frame.descriptor[8] & 7) + 1;
        return ReadColorTable(stream, frame.LocalEntries(), colors.table);
    }
    if (screen.HasGlobal()) {
        colors.bits = screen.GlobalBits();
        colors.table = screen.global;
    }
    return true;
}

void FrameParams(const TGifFrame& frame, const TFrameColors& colors, TIOParamsVals& params)
{
    params.GIFTranspColor = colors.table[frame.control.transparentIndex];
    params.GIFXPos = frame.Left();
    params.GIFYPos = frame.Top();
    params.Width = frame.Width();
    params.Height = frame.Height();
    params.GIFDelayTime = frame.control.delay;
    params.GIFTransparent = frame.control.Transparent() ? 1 : 0;
    params.GIFInterlaced = frame.Interlaced() ? 1 : 0;
    params.GIFDisposalMethod = frame.control.Disposal();
    params.BitsPerSample = colors.bits;
    params.SetColorMap(colors.table.data(), 1 << colors.bits);
}

bool FrameFitsLimit(const TGifFrame& frame)
{
    return std::int64_t(frame.Width()) * frame.Height() * 3 <= IEGifMaxImageBytes;
}

// The frame's indexes, from the stream's position at its data (0 past an early end code); false when
// they cannot be decoded.
bool DecodeFrame(rtl::TStream& stream, const TGifFrame& frame, const TIOParamsVals& params,
                 std::vector<std::uint8_t>& indexes)
{
    const TGIFLZWDecompressFunc decode =
        params.GIFLZWDecompress ? params.GIFLZWDecompress : DefGIFLZWDecompress;
    indexes.assign(std::size_t(frame.Width()) * std::size_t(frame.Height()), 0);
    return decode && decode(stream, frame.Height(), frame.Width(), indexes.data(), frame.Interlaced());
}

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
    const TIEAccessScope writeOnly(bitmap, 2);
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
}

// 255 everywhere, 0 where the frame has its transparent index.
void StoreMask(const std::vector<std::uint8_t>& indexes, const TGifFrame& frame, TIEMask& mask)
{
    const int width = frame.Width();
    const int height = frame.Height();
    mask.AllocateBits(width, height, 8);
    mask.Fill(255);
    if (!frame.control.Transparent())
        return;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = indexes.data() + std::size_t(y) * std::size_t(width);
        std::uint8_t* out = mask.ScanLine(y);
        for (int x = 0; x < width; ++x)
            if (in[x] == frame.control.transparentIndex) {
                out[x] = 0;
                mask.Full = false;
            }
    }
}

}  // namespace

void ReadGIFStream(rtl::TStream& Stream, TIEBitmap* Bitmap, int& ImageCount, bool IgnoreAlpha,
                   std::unique_ptr<TIEMask>& AlphaMask, bool ParamsOnly, TProgressRecord& Progress,
                   TIOParamsVals& Params)
{
    ImageCount = 0;
    Progress.Report(0);
    TGifBlocks blocks;
    if (!ReadBlocks(Stream, blocks, Progress)) {
        Progress.Abort();
        return;
    }
    ScreenParams(blocks, Params);
    const int count = int(blocks.frames.size());
    ImageCount = count;
    const int wanted = Params.GIFImageIndex;
    if (wanted >= count || wanted < 0) {
        // Past the last frame of a whole file there is nothing to read; in a cut file the frame
        // may have been there.
        if (blocks.cut && wanted >= count)
            Progress.Abort();
        Stream.Seek(blocks.end, rtl::soBeginning);
        Progress.Report(100);
        return;
    }
    const TGifFrame& frame = blocks.frames[std::size_t(wanted)];
    Progress.Report(30);
    try {
        TFrameColors colors;
        if (!ReadFrameColors(Stream, blocks.screen, frame, colors)) {
            Progress.Abort();
            return;
        }
        FrameParams(frame, colors, Params);
        // A frame of no pixels has nothing to decode; its bitmap stays empty.
        if (ParamsOnly || !Bitmap || frame.Width() == 0 || frame.Height() == 0) {
            if (Bitmap && !ParamsOnly)
                Bitmap->FreeImage();
        } else {
            std::vector<std::uint8_t> indexes;
            if (!FrameFitsLimit(frame) || !DecodeFrame(Stream, frame, Params, indexes)) {
                Progress.Abort();
                return;
            }
            Progress.Report(70);
            StoreFrame(indexes, frame.Width(), frame.Height(), colors.table, colors.bits,
                       Params.NativePixelFormat != 0, *Bitmap);
            if (!IgnoreAlpha) {
                if (!AlphaMask)
                    AlphaMask = std::make_unique<TIEMask>();
                StoreMask(indexes, frame, *AlphaMask);
            }
        }
    } catch (const rtl::Exception&) {
        Progress.Abort();
        return;
    }
    Stream.Seek(blocks.end, rtl::soBeginning);
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

// Where a file's blocks came from. A stream is the same one while it is the same object at the
// same place with the same size; a file while it has the same name, size and write time. Either
// must still begin with the same screen, and every frame read must still have its descriptor.
struct TGifSource {
    const rtl::TStream* stream = nullptr;  // not owned; null for files
    std::string fileName;
    std::uint64_t writeTime = 0;
    std::int64_t start = 0;
    std::int64_t size = 0;
    TGIFLZWDecompressFunc decode = nullptr;

    bool operator==(const TGifSource& o) const
    {
        return stream == o.stream && fileName == o.fileName && writeTime == o.writeTime && start == o.start &&
               size == o.size && decode == o.decode;
    }
};

TGifSource SourceOf(rtl::TStream& stream, const TIOParamsVals& params)
{
    TGifSource source;
    if (const auto* file = dynamic_cast<const rtl::TFileStream*>(&stream)) {
        source.fileName = file->FileName();
        source.writeTime = file->WriteTime();
    } else {
        source.stream = &stream;
    }
    source.start = stream.Position();
    source.size = stream.Size();
    source.decode = params.GIFLZWDecompress ? params.GIFLZWDecompress : DefGIFLZWDecompress;
    return source;
}

// The frames of one file drawn one over the other on the logical screen, as a viewer shows them,
// kept between loads: the next frame is drawn over the last one shown rather than all frames
// again from the first.
class TGifComposition final : public TIELoadMemo {
public:
    explicit TGifComposition(const TGifSource& source) : source_(source) {}

    const TGifSource& Source() const { return source_; }
    TGifBlocks& Blocks() { return blocks_; }
    // The last frame on the screen, or -1.
    int Composed() const { return composed_; }

    void Restart()
    {
        composed_ = -1;
        image_.FreeImage();
        alpha_.FreeImage();
        previous_ = TRect{};
    }

    // Draws the next frame: the disposal of the one before it, then its pixels but the transparent
    // ones. False when the screen would pass the size limit.
    bool Add(const TGifFrame& frame, const TFrameColors& colors, const std::vector<std::uint8_t>& indexes)
    {
        if (previous_.disposal == kDisposeToBackground)
            FillRect(previous_.x, previous_.y, previous_.w, previous_.h);
        const int x = frame.Left();
        const int y = frame.Top();
        const int w = frame.Width();
        const int h = frame.Height();
        if (!Fit(std::max(blocks_.screen.Width(), x + w), std::max(blocks_.screen.Height(), y + h)))
            return false;
        const bool transparent = frame.control.Transparent();
        const std::uint8_t key = frame.control.transparentIndex;
        for (int row = 0; row < h; ++row) {
            const std::uint8_t* in = indexes.data() + std::size_t(row) * std::size_t(w);
            TRGB* dst = reinterpret_cast<TRGB*>(image_.ScanLine(y + row)) + x;
            std::uint8_t* da = alpha_.ScanLine(y + row) + x;
            if (!transparent) {
                for (int col = 0; col < w; ++col)
                    dst[col] = colors.table[in[col]];
                std::memset(da, 255, std::size_t(w));
                continue;
            }
            for (int col = 0; col < w; ++col)
                if (in[col] != key) {
                    dst[col] = colors.table[in[col]];
                    da[col] = 255;
                }
        }
        previous_ = TRect{x, y, w, h, frame.control.Disposal()};
        ++composed_;
        return true;
    }

    // A copy of the screen as it stands, and its alpha when some of it is transparent.
    void CopyTo(TIEBitmap& bitmap, std::unique_ptr<TIEBitmap>& alpha)
    {
        bitmap.Assign(&image_);
        alpha.reset();
        for (int row = 0; row < alpha_.GetHeight(); ++row) {
            const std::uint8_t* a = alpha_.ScanLine(row);
            if (std::any_of(a, a + alpha_.GetWidth(), [](std::uint8_t v) { return v != 255; })) {
                alpha = std::make_unique<TIEBitmap>();
                alpha->Assign(&alpha_);
                return;
            }
        }
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
        TIEBitmap grownAlpha;
        grownAlpha.Allocate(w, h, ie8g);
        const TRGB background = blocks_.screen.Background();
        for (int row = 0; row < h; ++row) {
            TRGB* dst = reinterpret_cast<TRGB*>(grown.ScanLine(row));
            std::fill(dst, dst + w, background);
            if (row < oldH && oldW > 0) {
                std::memcpy(dst, image_.ScanLine(row), std::size_t(oldW) * 3);
                std::memcpy(grownAlpha.ScanLine(row), alpha_.ScanLine(row), std::size_t(oldW));
            }
        }
        grown.MoveTo(&image_);
        grownAlpha.MoveTo(&alpha_);
        return true;
    }

    void FillRect(int x, int y, int w, int h)
    {
        const TRGB background = blocks_.screen.Background();
        const int right = std::min(x + w, image_.GetWidth());
        const int bottom = std::min(y + h, image_.GetHeight());
        for (int row = y; row < bottom; ++row) {
            TRGB* dst = reinterpret_cast<TRGB*>(image_.ScanLine(row));
            std::fill(dst + x, dst + right, background);
            std::uint8_t* a = alpha_.ScanLine(row);
            std::fill(a + x, a + right, std::uint8_t(0));
        }
    }

    TGifSource source_;
    TGifBlocks blocks_;
    int composed_ = -1;
    TIEBitmap image_;
    TIEBitmap alpha_;
    TRect previous_;
};

// The composition kept from the component's last load when it is of this file and can go on to
// frame `last`; else a new one over the file's blocks, or null when the stream is no GIF or the
// walk was aborted.
TGifComposition* Composition(TIELoadJob& Job, std::unique_ptr<TIELoadMemo>& memo, int last, bool& kept)
{
    const TGifSource source = SourceOf(Job.Stream, Job.Params);
    auto* held = dynamic_cast<TGifComposition*>(memo.get());
    kept = held && held->Source() == source;
    if (kept) {
        TGifScreen screen;
        kept = ReadScreen(Job.Stream, source.size, screen) && screen == held->Blocks().screen;
        if (kept) {
            if (held->Composed() > last)
                held->Restart();
            return held;
        }
        Job.Stream.Seek(source.start, rtl::soBeginning);
    }
    memo.reset();
    auto made = std::make_unique<TGifComposition>(source);
    if (!ReadBlocks(Job.Stream, made->Blocks(), Job.Progress) || Job.Progress.Aborted())
        return nullptr;
    memo = std::move(made);
    return static_cast<TGifComposition*>(memo.get());
}

enum class TLoaded { Done, Failed, Stale };

// Frame `wanted` as a viewer shows it: a file of one frame as that frame in the pixel format the
// parameters ask for, with alpha only when it is transparent; frames of an animation drawn one
// over the other from the first on a 24-bit screen. Frames past the last give the last. Stale: the
// kept composition's file has changed under it.
TLoaded LoadFrames(TIELoadJob& Job, std::unique_ptr<TIELoadMemo>& memo, int wanted)
{
    bool kept = false;
    TGifComposition* composition = Composition(Job, memo, wanted, kept);
    if (!composition)
        return TLoaded::Failed;
    const TGifBlocks& blocks = composition->Blocks();
    const int count = int(blocks.frames.size());
    Job.Result = count;
    ScreenParams(blocks, Job.Params);
    // A load that yields no picture fails, and so does one of a frame the file was cut before.
    if (count == 0 || (blocks.cut && wanted >= count))
        return TLoaded::Failed;
    const int last = std::clamp(wanted, 0, count - 1);
    std::vector<std::uint8_t> indexes;
    TFrameColors colors;
    // The frame's parameters and, unless only those are wanted, its indexes.
    auto read = [&](int i, bool decode) {
        const TGifFrame& frame = blocks.frames[std::size_t(i)];
        colors = TFrameColors{};
        if (!ReadFrameColors(Job.Stream, blocks.screen, frame, colors))
            return kept ? TLoaded::Stale : TLoaded::Failed;
        FrameParams(frame, colors, Job.Params);
        if (decode && !(FrameFitsLimit(frame) && DecodeFrame(Job.Stream, frame, Job.Params, indexes)))
            return TLoaded::Failed;
        return TLoaded::Done;
    };

    if (count == 1) {
        const TGifFrame& frame = blocks.frames[0];
        if (frame.Width() == 0 || frame.Height() == 0)
            return TLoaded::Failed;
        if (const TLoaded r = read(0, true); r != TLoaded::Done)
            return r;
        StoreFrame(indexes, frame.Width(), frame.Height(), colors.table, colors.bits,
                   Job.Params.NativePixelFormat != 0, Job.Bitmap);
        if (frame.control.Transparent()) {
            TIEMask mask;
            StoreMask(indexes, frame, mask);
            Job.Alpha = std::make_unique<TIEBitmap>();
            Job.Alpha->CopyFromTIEMask(&mask);
        }
    } else {
        if (composition->Composed() == last)
            if (const TLoaded r = read(last, false); r != TLoaded::Done)
                return r;
        for (int i = composition->Composed() + 1; i <= last; ++i) {
            if (Job.Progress.Aborted())
                return TLoaded::Failed;
            // A frame that does not decode leaves the screen as the frames before it made it.
            if (const TLoaded r = read(i, true); r != TLoaded::Done)
                return r;
            if (!composition->Add(blocks.frames[std::size_t(i)], colors, indexes))
                return TLoaded::Failed;
            Job.Progress.Report(int(i * (100.0 / count)));
        }
        composition->CopyTo(Job.Bitmap, Job.Alpha);
    }
    Job.Stream.Seek(blocks.end, rtl::soBeginning);
    return TLoaded::Done;
}

void LoadGif(TIELoadJob& Job)
{
    TIOParamsVals& params = Job.Params;
    if (Job.ParamsOnly) {
        std::unique_ptr<TIEMask> mask;
        ReadGIFStream(Job.Stream, &Job.Bitmap, Job.Result, true, mask, true, Job.Progress, params);
        return;
    }
    std::unique_ptr<TIELoadMemo> own;
    std::unique_ptr<TIELoadMemo>& memo = Job.Memo ? *Job.Memo : own;
    const std::int64_t start = Job.Stream.Position();
    TLoaded loaded = TLoaded::Failed;
    try {
        loaded = LoadFrames(Job, memo, params.GIFImageIndex);
        if (loaded == TLoaded::Stale) {
            memo.reset();
            Job.Stream.Seek(start, rtl::soBeginning);
            // The first try listed the comments of the file as it was; a load starts with none.
            params.GIFComments.Clear();
            loaded = LoadFrames(Job, memo, params.GIFImageIndex);
        }
    } catch (const rtl::Exception&) {
        loaded = TLoaded::Failed;
    }
    // What a failed load drew is no state to go on from.
    if (loaded != TLoaded::Done) {
        Job.Progress.Abort();
        memo.reset();
    }
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
