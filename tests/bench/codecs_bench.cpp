// Codec speed on files the peers' own tools made (tests/bench/make-bench-images): our TIFF LZW,
// CCITT Group 4 and GIF LZW decoders and encoders against libtiff and giflib on the same data in the
// same run. Each pair does the same work: whole images, from compressed bytes in memory to pixels
// in a buffer (libtiff reads the memory-mapped file, so its strip reads copy nothing) and back.
// Before timing, every decoder's output is checked against the peer's, and every encoder's output (ours
// and the peer's) must decode with the peer to the input; a mismatch fails the run. The encoders
// report the bytes they write (counter "bytes": the compressed data alone, without file headers).
#include "imaging/io/giflzw.h"
#include "imaging/io/tifccitt.h"
#include "imaging/io/tiflzw.h"
#include "tests/imaging/io/gif_test_util.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string DataPath(const std::string& name) { return std::string(VA_BENCH_DATA_DIR) + "/" + name; }

Bytes ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// A TIFF as both sides see it: libtiff keeps the file open (memory-mapped), we get its raw strips.
struct TiffFile {
    TIFF* tif = nullptr;
    std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
    std::uint16_t compression = 0, samples = 1, bits = 8, photometric = 0;
    std::size_t rowBytes = 0;
    std::vector<Bytes> raw;
    Bytes pixels;  // libtiff's decoding, all strips in order

    std::uint32_t RowsIn(std::size_t strip) const
    {
        const std::uint32_t first = static_cast<std::uint32_t>(strip) * rowsPerStrip;
        return std::min(rowsPerStrip, height - first);
    }
};

const TiffFile& Tiff(const std::string& name)
{
    static std::map<std::string, TiffFile> files;
    auto it = files.find(name);
    if (it != files.end())
        return it->second;
    TiffFile f;
    f.tif = TIFFOpen(DataPath(name).c_str(), "r");
    if (!f.tif)
        throw std::runtime_error("libtiff cannot open " + name);
    TIFFGetField(f.tif, TIFFTAG_IMAGEWIDTH, &f.width);
    TIFFGetField(f.tif, TIFFTAG_IMAGELENGTH, &f.height);
    TIFFGetFieldDefaulted(f.tif, TIFFTAG_ROWSPERSTRIP, &f.rowsPerStrip);
    TIFFGetFieldDefaulted(f.tif, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetFieldDefaulted(f.tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
    TIFFGetFieldDefaulted(f.tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetFieldDefaulted(f.tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
    f.rowsPerStrip = std::min(f.rowsPerStrip, f.height);
    f.rowBytes = static_cast<std::size_t>(TIFFScanlineSize(f.tif));
    const tstrip_t strips = TIFFNumberOfStrips(f.tif);
    const tmsize_t stripSize = TIFFStripSize(f.tif);
    Bytes buf(static_cast<std::size_t>(stripSize));
    for (tstrip_t s = 0; s < strips; ++s) {
        const toff_t* counts = nullptr;
        TIFFGetField(f.tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
        Bytes raw(static_cast<std::size_t>(counts[s]));
        if (TIFFReadRawStrip(f.tif, s, raw.data(), static_cast<tmsize_t>(raw.size())) < 0)
            throw std::runtime_error("libtiff cannot read a raw strip of " + name);
        f.raw.push_back(std::move(raw));
        const tmsize_t n = TIFFReadEncodedStrip(f.tif, s, buf.data(), stripSize);
        if (n < 0)
            throw std::runtime_error("libtiff cannot decode " + name);
        f.pixels.insert(f.pixels.end(), buf.begin(), buf.begin() + n);
    }
    return files.emplace(name, std::move(f)).first->second;
}

void Fail(benchmark::State& state, const std::string& what)
{
    state.SkipWithError(what.c_str());
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    std::exit(1);
}

// --- TIFF LZW decoding

void OursLzwDecodeInto(const TiffFile& f, Bytes& out)
{
    std::size_t at = 0;
    for (std::size_t s = 0; s < f.raw.size(); ++s) {
        imaging::TIFFLZWDecodeStatePtr state;
        const std::int32_t rowLength = static_cast<std::int32_t>(f.rowBytes);
        for (std::uint32_t r = 0; r < f.RowsIn(s); ++r) {
            std::int32_t got = 0;
            const std::uint8_t* row = imaging::TIFFLZWDecompress(
                f.raw[s].data(), static_cast<std::int64_t>(f.raw[s].size()), rowLength, state, &got);
            if (!row || got != rowLength)
                return;
            std::memcpy(out.data() + at, row, f.rowBytes);
            at += f.rowBytes;
        }
        imaging::TIFFLZWDecompress(nullptr, 0, rowLength, state);
    }
}

void OursTiffLzwDecode(benchmark::State& state, const std::string& name)
{
    const TiffFile& f = Tiff(name);
    Bytes out(f.pixels.size());
    OursLzwDecodeInto(f, out);
    if (out != f.pixels)
        Fail(state, "our LZW decoding of " + name + " differs from libtiff's");
    for (auto _ : state) {
        OursLzwDecodeInto(f, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

void LibtiffDecode(benchmark::State& state, const std::string& name)
{
    const TiffFile& f = Tiff(name);
    const tmsize_t stripSize = TIFFStripSize(f.tif);
    Bytes out(f.pixels.size() + static_cast<std::size_t>(stripSize));
    for (auto _ : state) {
        std::size_t at = 0;
        for (tstrip_t s = 0; s < f.raw.size(); ++s)
            at += static_cast<std::size_t>(TIFFReadEncodedStrip(f.tif, s, out.data() + at, stripSize));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.pixels.size()));
}

// --- CCITT Group 4 decoding. libtiff hands out the file's bits; with min-is-black ours are
// their complement (our rows always hold 1 for white).

void OursG4DecodeInto(const TiffFile& f, Bytes& out)
{
    std::size_t at = 0;
    imaging::TCCITTDecodeState state;
    for (std::size_t s = 0; s < f.raw.size(); ++s) {
        state.Restart();
        std::int64_t bit = 0;
        for (std::uint32_t r = 0; r < f.RowsIn(s); ++r) {
            bit = imaging::CCITTDecode2DRow(f.raw[s].data(), static_cast<std::int64_t>(f.raw[s].size()), bit,
                                            out.data() + at, state, static_cast<std::int32_t>(f.width), 1,
                                            false);
            at += f.rowBytes;
        }
    }
}

void OursG4Decode(benchmark::State& state, const std::string& name)
{
    const TiffFile& f = Tiff(name);
    Bytes out(f.pixels.size());
    OursG4DecodeInto(f, out);
    Bytes expected = f.pixels;
    if (f.photometric == PHOTOMETRIC_MINISBLACK)
        for (auto& b : expected)
            b = static_cast<std::uint8_t>(~b);
    if (out != expected)
        Fail(state, "our Group 4 decoding of " + name + " differs from libtiff's");
    for (auto _ : state) {
        OursG4DecodeInto(f, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

// --- Encoding. libtiff writes through client procedures into memory, so neither side touches a
// file; each iteration writes one whole image.

struct MemFile {
    Bytes data;
    toff_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n)
{
    auto* m = static_cast<MemFile*>(h);
    const toff_t avail = m->pos < m->data.size() ? m->data.size() - m->pos : 0;
    const tmsize_t k = std::min<tmsize_t>(n, static_cast<tmsize_t>(avail));
    std::memcpy(buf, m->data.data() + m->pos, static_cast<std::size_t>(k));
    m->pos += static_cast<toff_t>(k);
    return k;
}
tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t n)
{
    auto* m = static_cast<MemFile*>(h);
    if (m->pos + static_cast<toff_t>(n) > m->data.size())
        m->data.resize(static_cast<std::size_t>(m->pos + static_cast<toff_t>(n)));
    std::memcpy(m->data.data() + m->pos, buf, static_cast<std::size_t>(n));
    m->pos += static_cast<toff_t>(n);
    return n;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence)
{
    auto* m = static_cast<MemFile*>(h);
    m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->data.size() + off;
    return m->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemFile*>(h)->data.size(); }
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

// A TIFF of f's layout in `compression`, opened with libtiff for writing into `mem`.
TIFF* LibtiffOpenForWriting(const TiffFile& f, MemFile& mem, std::uint16_t compression,
                            std::uint32_t rowsPerStrip)
{
    TIFF* out =
        TIFFClientOpen("mem", "w", &mem, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, f.width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, f.height);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, f.bits);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, f.samples);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC,
                 compression == COMPRESSION_CCITTFAX4 ? PHOTOMETRIC_MINISWHITE : f.photometric);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(out, TIFFTAG_COMPRESSION, compression);
    if (f.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<std::uint16_t> map(256, 0);
        TIFFSetField(out, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    return out;
}

// Writes `pixels` (rows of f's layout) with libtiff in `compression`; returns the strip bytes.
std::size_t LibtiffEncode(const TiffFile& f, const Bytes& pixels, std::uint16_t compression, MemFile& mem)
{
    mem.data.clear();
    mem.pos = 0;
    TIFF* out = LibtiffOpenForWriting(f, mem, compression, f.rowsPerStrip);
    std::size_t at = 0;
    for (tstrip_t s = 0; s < f.raw.size(); ++s) {
        const std::size_t n = f.RowsIn(s) * f.rowBytes;
        TIFFWriteEncodedStrip(out, s, const_cast<std::uint8_t*>(pixels.data() + at),
                              static_cast<tmsize_t>(n));
        at += n;
    }
    std::size_t bytes = 0;
    for (tstrip_t s = 0; s < f.raw.size(); ++s)
        bytes += static_cast<std::size_t>(TIFFRawStripSize(out, s));
    TIFFClose(out);
    return bytes;
}

// Reads every strip of a TIFF in memory back with libtiff.
Bytes LibtiffDecodeAll(MemFile& mem)
{
    mem.pos = 0;
    TIFF* in =
        TIFFClientOpen("mem", "r", &mem, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
    if (!in)
        return {};
    Bytes pixels, buf(static_cast<std::size_t>(TIFFStripSize(in)));
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(in); ++s) {
        const tmsize_t n = TIFFReadEncodedStrip(in, s, buf.data(), static_cast<tmsize_t>(buf.size()));
        if (n < 0) {
            pixels.clear();
            break;
        }
        pixels.insert(pixels.end(), buf.begin(), buf.begin() + n);
    }
    TIFFClose(in);
    return pixels;
}

// Our encoded strips (`ends` are their end offsets in `data`) in a TIFF of f's layout, decoded by libtiff.
Bytes LibtiffDecodeStrips(const TiffFile& f, const std::uint8_t* data, const std::vector<std::size_t>& ends,
                          std::uint16_t compression, std::uint32_t rowsPerStrip)
{
    MemFile mem;
    TIFF* out = LibtiffOpenForWriting(f, mem, compression, rowsPerStrip);
    std::size_t at = 0;
    for (tstrip_t s = 0; s < ends.size(); ++s) {
        TIFFWriteRawStrip(out, s, const_cast<std::uint8_t*>(data + at), static_cast<tmsize_t>(ends[s] - at));
        at = ends[s];
    }
    TIFFClose(out);
    return LibtiffDecodeAll(mem);
}

void OursTiffLzwEncode(benchmark::State& state, const std::string& name)
{
    const TiffFile& f = Tiff(name);
    rtl::TMemoryStream out;
    // Every strip of the image; `ends`, when given, takes the end offset of each.
    auto encode = [&](std::vector<std::size_t>* ends) {
        out.SetSize(0);
        std::size_t at = 0;
        for (std::size_t s = 0; s < f.raw.size(); ++s) {
            imaging::TIFFLZWEncodeStatePtr st;
            for (std::uint32_t r = 0; r < f.RowsIn(s); ++r, at += f.rowBytes)
                imaging::TIFFLZWCompress(f.pixels.data() + at, static_cast<std::int64_t>(f.rowBytes), out,
                                         st);
            imaging::TIFFLZWCompress(nullptr, 0, out, st);
            if (ends)
                ends->push_back(static_cast<std::size_t>(out.Size()));
        }
    };
    std::vector<std::size_t> ends;
    encode(&ends);
    if (LibtiffDecodeStrips(f, static_cast<const std::uint8_t*>(out.Memory()), ends, COMPRESSION_LZW,
                            f.rowsPerStrip) != f.pixels)
        Fail(state, "libtiff does not decode our LZW encoding of " + name + " to its pixels");
    state.counters["bytes"] = double(out.Size());
    for (auto _ : state) {
        encode(nullptr);
        benchmark::DoNotOptimize(out.Memory());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.pixels.size()));
}

void LibtiffLzwEncode(benchmark::State& state, const std::string& name)
{
    const TiffFile& f = Tiff(name);
    MemFile mem;
    state.counters["bytes"] = double(LibtiffEncode(f, f.pixels, COMPRESSION_LZW, mem));
    if (LibtiffDecodeAll(mem) != f.pixels)
        Fail(state, "libtiff does not decode its own LZW encoding of " + name + " to its pixels");
    for (auto _ : state)
        benchmark::DoNotOptimize(LibtiffEncode(f, f.pixels, COMPRESSION_LZW, mem));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.pixels.size()));
}

// Our encoder takes 1 for black, libtiff's min-is-white rows too.
const Bytes& BlackIsOne(const TiffFile& f)
{
    static std::map<const TiffFile*, Bytes> cache;
    auto it = cache.find(&f);
    if (it == cache.end()) {
        Bytes b = f.pixels;
        if (f.photometric == PHOTOMETRIC_MINISBLACK)
            for (auto& v : b)
                v = static_cast<std::uint8_t>(~v);
        it = cache.emplace(&f, std::move(b)).first;
    }
    return it->second;
}

void OursG4Encode(benchmark::State& state, const std::string& name)
{
    const TiffFile& f = Tiff(name);
    const Bytes& rows = BlackIsOne(f);
    rtl::TMemoryStream out;
    {
        imaging::TCCITTEncodeState st;
        for (std::uint32_t r = 0; r < f.height; ++r)
            imaging::CCITTEncodeG4Row(rows.data() + r * f.rowBytes, static_cast<std::int32_t>(f.width), out,
                                      st);
        imaging::CCITTEncodeG4Row(nullptr, static_cast<std::int32_t>(f.width), out, st);
        // One strip of the whole image: ours codes every row against the one before it.
        if (LibtiffDecodeStrips(f, static_cast<const std::uint8_t*>(out.Memory()),
                                std::vector<std::size_t>{static_cast<std::size_t>(out.Size())},
                                COMPRESSION_CCITTFAX4, f.height) != rows)
            Fail(state, "libtiff does not decode our Group 4 encoding of " + name + " to its pixels");
        state.counters["bytes"] = double(out.Size());
    }
    for (auto _ : state) {
        out.SetSize(0);
        imaging::TCCITTEncodeState st;
        for (std::uint32_t r = 0; r < f.height; ++r)
            imaging::CCITTEncodeG4Row(rows.data() + r * f.rowBytes, static_cast<std::int32_t>(f.width), out,
                                      st);
        imaging::CCITTEncodeG4Row(nullptr, static_cast<std::int32_t>(f.width), out, st);
        benchmark::DoNotOptimize(out.Memory());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rows.size()));
}

void LibtiffG4Encode(benchmark::State& state, const std::string& name)
{
    const TiffFile& f = Tiff(name);
    const Bytes& rows = BlackIsOne(f);
    MemFile mem;
    state.counters["bytes"] = double(LibtiffEncode(f, rows, COMPRESSION_CCITTFAX4, mem));
    if (LibtiffDecodeAll(mem) != rows)
        Fail(state, "libtiff does not decode its own Group 4 encoding of " + name + " to its pixels");
    for (auto _ : state)
        benchmark::DoNotOptimize(LibtiffEncode(f, rows, COMPRESSION_CCITTFAX4, mem));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rows.size()));
}

// --- GIF: the whole LZW image data, decoded to one index per pixel and encoded from them.

struct GifFile {
    Bytes file;
    int width = 0, height = 0;
    bool interlaced = false;
    std::size_t dataOffset = 0;
    Bytes indices;  // giflib's decoding
};

struct MemCursor {
    const Bytes* data;
    std::size_t pos;
};

int GifReadMem(GifFileType* g, GifByteType* buf, int n)
{
    auto* c = static_cast<MemCursor*>(g->UserData);
    const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n), c->data->size() - c->pos);
    std::memcpy(buf, c->data->data() + c->pos, k);
    c->pos += k;
    return static_cast<int>(k);
}

// Decodes the first image with DGifGetLine into `out`; returns false on any giflib error.
bool GiflibDecode(const Bytes& file, Bytes& out)
{
    MemCursor cur{&file, 0};
    int err = 0;
    GifFileType* g = DGifOpen(&cur, GifReadMem, &err);
    if (!g)
        return false;
    bool ok = false;
    GifRecordType type;
    while (DGifGetRecordType(g, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            DGifGetExtension(g, &code, &ext);
            while (ext)
                DGifGetExtensionNext(g, &ext);
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(g) != GIF_OK)
            break;
        const int w = g->Image.Width, h = g->Image.Height;
        out.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        ok = true;
        static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        if (g->Image.Interlace) {
            for (int p = 0; p < 4 && ok; ++p)
                for (int y = kStart[p]; y < h && ok; y += kStep[p])
                    ok = DGifGetLine(g, out.data() + static_cast<std::size_t>(y) * w, w) == GIF_OK;
        } else {
            for (int y = 0; y < h && ok; ++y)
                ok = DGifGetLine(g, out.data() + static_cast<std::size_t>(y) * w, w) == GIF_OK;
        }
        break;
    }
    DGifCloseFile(g, &err);
    return ok;
}

const GifFile& Gif(const std::string& name)
{
    static std::map<std::string, GifFile> files;
    auto it = files.find(name);
    if (it != files.end())
        return it->second;
    GifFile f;
    f.file = ReadFile(DataPath(name));
    const codectest::GifImage parsed = codectest::ParseGif(f.file);
    f.width = parsed.width;
    f.height = parsed.height;
    f.interlaced = parsed.interlaced;
    f.dataOffset = parsed.dataOffset;
    if (!GiflibDecode(f.file, f.indices))
        throw std::runtime_error("giflib cannot decode " + name);
    return files.emplace(name, std::move(f)).first->second;
}

void OursGifDecode(benchmark::State& state, const std::string& name)
{
    const GifFile& f = Gif(name);
    Bytes out(f.indices.size());
    rtl::TReadOnlyMemoryStream in(f.file.data(), static_cast<std::int64_t>(f.file.size()));
    auto decode = [&] {
        in.SetPosition(static_cast<std::int64_t>(f.dataOffset));
        return imaging::GIFLZWDecompress(in, f.height, f.width, out.data(), f.interlaced);
    };
    if (!decode() || out != f.indices)
        Fail(state, "our GIF decoding of " + name + " differs from giflib's");
    for (auto _ : state) {
        decode();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

void GiflibGifDecode(benchmark::State& state, const std::string& name)
{
    const GifFile& f = Gif(name);
    Bytes out;
    for (auto _ : state) {
        GiflibDecode(f.file, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.indices.size()));
}

int GifWriteMem(GifFileType* g, const GifByteType* buf, int n)
{
    auto* out = static_cast<Bytes*>(g->UserData);
    out->insert(out->end(), buf, buf + n);
    return n;
}

// giflib's header before the image data (signature, screen, 256-colour table, image descriptor) and
// its trailer after it.
constexpr std::size_t kGiflibFraming = 6 + 7 + 768 + 10 + 1;

// Our image data (code size byte, sub-blocks, terminator) in a GIF of giflib's framing.
Bytes WrapGif(const GifFile& f, const std::uint8_t* data, std::size_t size)
{
    Bytes g = {'G', 'I', 'F', '8', '9', 'a'};
    auto le16 = [&g](int v) {
        g.push_back(static_cast<std::uint8_t>(v & 0xFF));
        g.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    le16(f.width), le16(f.height);
    g.insert(g.end(), {0xF7, 0, 0});
    g.resize(g.size() + 768, 0);
    g.push_back(0x2C);
    le16(0), le16(0), le16(f.width), le16(f.height);
    g.push_back(0);
    g.insert(g.end(), data, data + size);
    g.push_back(0x3B);
    return g;
}

void OursGifEncode(benchmark::State& state, const std::string& name)
{
    const GifFile& f = Gif(name);
    rtl::TMemoryStream out;
    {
        imaging::GIFLZWCompress(out, f.height, f.width, 8, f.indices.data(), false);
        Bytes decoded;
        const auto* data = static_cast<const std::uint8_t*>(out.Memory());
        if (!GiflibDecode(WrapGif(f, data, static_cast<std::size_t>(out.Size())), decoded) ||
            decoded != f.indices)
            Fail(state, "giflib does not decode our GIF encoding of " + name + " to its indices");
        state.counters["bytes"] = double(out.Size());
    }
    for (auto _ : state) {
        out.SetSize(0);
        imaging::GIFLZWCompress(out, f.height, f.width, 8, f.indices.data(), false);
        benchmark::DoNotOptimize(out.Memory());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.indices.size()));
}

// giflib's encoder needs a screen and image descriptor; the header it writes is a few dozen bytes.
void GiflibGifEncode(benchmark::State& state, const std::string& name)
{
    const GifFile& f = Gif(name);
    Bytes out;
    GifColorType colors[256] = {};
    bool checked = false;
    for (auto _ : state) {
        out.clear();
        int err = 0;
        GifFileType* g = EGifOpen(&out, GifWriteMem, &err);
        ColorMapObject* map = GifMakeMapObject(256, colors);
        EGifPutScreenDesc(g, f.width, f.height, 8, 0, map);
        EGifPutImageDesc(g, 0, 0, f.width, f.height, false, nullptr);
        for (int y = 0; y < f.height; ++y)
            EGifPutLine(g, const_cast<GifByteType*>(f.indices.data() + static_cast<std::size_t>(y) * f.width),
                        f.width);
        EGifCloseFile(g, &err);
        GifFreeMapObject(map);
        benchmark::DoNotOptimize(out.data());
        if (!checked) {
            Bytes decoded;
            if (!GiflibDecode(out, decoded) || decoded != f.indices || out.size() < kGiflibFraming)
                Fail(state, "giflib does not decode its own GIF encoding of " + name + " to its indices");
            state.counters["bytes"] = double(out.size() - kGiflibFraming);
            checked = true;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.indices.size()));
}

template <typename Fn>
void Pair(const std::string& work, const std::string& peer, Fn ours, Fn theirs, const std::string& file)
{
    benchmark::RegisterBenchmark(("ours/" + work + "/" + file).c_str(), ours, file)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((peer + "/" + work + "/" + file).c_str(), theirs, file)
        ->Unit(benchmark::kMillisecond);
}

using BenchFn = void (*)(benchmark::State&, const std::string&);

void Register()
{
    for (const char* img : {"photo", "rose"}) {
        const std::string i = img;
        for (const char* layout : {"-lzw-1strip.tif", "-lzw-8rows.tif", "-pal-lzw.tif"}) {
            Pair<BenchFn>("tiff_lzw_decode", "libtiff", OursTiffLzwDecode, LibtiffDecode, i + layout);
            Pair<BenchFn>("tiff_lzw_encode", "libtiff", OursTiffLzwEncode, LibtiffLzwEncode, i + layout);
        }
        for (const char* kind : {"-thr-g4.tif", "-dith-g4.tif"}) {
            Pair<BenchFn>("g4_decode", "libtiff", OursG4Decode, LibtiffDecode, i + kind);
            Pair<BenchFn>("g4_encode", "libtiff", OursG4Encode, LibtiffG4Encode, i + kind);
        }
        for (const char* kind : {".gif", "-im.gif"}) {
            Pair<BenchFn>("gif_lzw_decode", "giflib", OursGifDecode, GiflibGifDecode, i + kind);
            Pair<BenchFn>("gif_lzw_encode", "giflib", OursGifEncode, GiflibGifEncode, i + kind);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
