// Format registry and content detection.
#include "imaging/io/iefileformats.h"

#include "imaging/io/detail/ieprobes.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Strings.h"

#include <cstring>
#include <memory>
#include <vector>

namespace imaging {

namespace {

constexpr std::size_t kMaxRecordText = 80;

// The component reads and writes the built-in formats itself; their rows exist for the names,
// extensions and dialog pages. Reaching one of these means no reader was wired for the type, so
// they report failure rather than an empty success.
void PlaceholderRead(rtl::TStream&, TIEBitmap*, TIOParamsVals&, TProgressRecord& Progress, bool)
{
    Progress.Abort();
}

void PlaceholderWrite(rtl::TStream&, TIEBitmap*, TIOParamsVals&, TProgressRecord& Progress)
{
    Progress.Abort();
}

bool PlaceholderTry(rtl::TStream&) { return false; }

using TRegistry = std::vector<std::unique_ptr<TIOFileFormat>>;

void AddRow(TRegistry& rows, const TIOFileFormat& format)
{
    auto row = std::make_unique<TIOFileFormat>(format);
    if (row->FullName.size() > kMaxRecordText)
        row->FullName.resize(kMaxRecordText);
    if (row->Extensions.size() > kMaxRecordText)
        row->Extensions.resize(kMaxRecordText);
    rows.push_back(std::move(row));
}

TRegistry BuildRegistry()
{
    struct Row {
        int type;
        const char* name;
        const char* exts;
        std::uint16_t page;
        bool read;
        bool write;
    };
    static constexpr Row kBuiltIn[] = {
        {ioTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F", ppTIFF, true, true},
        {ioGIF, "CompuServe Bitmap", "GIF", ppGIF, true, true},
        {ioJPEG, "JPEG Bitmap", "JPG;JPEG;JPE", ppJPEG, true, true},
        {ioPCX, "PaintBrush", "PCX", ppPCX, true, true},
        {ioBMP, "Windows Bitmap", "BMP;DIB;RLE", ppBMP, true, true},
        {ioICO, "Windows Icon", "ICO", 0, true, true},
        {ioCUR, "Windows Cursor", "CUR", 0, true, false},
        {ioPNG, "Portable Network Graphics", "PNG", ppPNG, true, true},
        {ioWMF, "Windows Metafile", "WMF", 0, true, false},
        {ioEMF, "Enhanced Windows Metafile", "EMF", 0, true, false},
        {ioTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", ppTGA, true, true},
        {ioPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
        {ioWBMP, "Wireless Bitmap", "WBMP", 0, true, true},
        {ioJP2, "JPEG2000", "JP2", ppJ2000, true, true},
        {ioJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", ppJ2000, true, true},
        {ioPS, "PostScript Level 2", "PS;EPS", 0, false, true},
        {ioPDF, "Adobe PDF", "PDF", 0, false, true},
    };
    TRegistry rows;
    for (const Row& r : kBuiltIn) {
        TIOFileFormat f;
        f.FileType = r.type;
        f.FullName = r.name;
        f.Extensions = r.exts;
        f.DialogPage = r.page;
        f.ReadFunction = r.read ? PlaceholderRead : nullptr;
        f.WriteFunction = r.write ? PlaceholderWrite : nullptr;
        f.TryFunction = PlaceholderTry;
        AddRow(rows, f);
    }
    return rows;
}

TRegistry& Registry()
{
    static TRegistry rows = BuildRegistry();
    return rows;
}

// Items of an extension list: each ends at the next ';', the last is what remains.
template <class Visit>
void ForEachExtension(std::string_view list, Visit visit)
{
    while (true) {
        auto semi = list.find(';');
        if (semi == std::string_view::npos) {
            visit(list);
            return;
        }
        if (!visit(list.substr(0, semi)))
            return;
        list.remove_prefix(semi + 1);
    }
}

// The bytes at the saved position, when at least Count + 1 of them remain ("size > n").
bool ReadHead(rtl::TStream& stream, std::uint8_t* buffer, std::int32_t count)
{
    detail::TProbeCursor cur(stream);
    return cur.Remaining() > count && cur.Read(buffer, count);
}

// Manufacturer 10 and version at most 5 alone let many other headers through (a TGA with a 10-byte
// ID starts with 10, 0); the encoding, depth and plane count of a real PCX header narrow it down.
bool LooksLikePcxHeader(const std::uint8_t* head)
{
    const int encoding = head[2];
    const int bitsPerPixel = head[3];
    const int planes = head[65];
    const bool depthKnown = bitsPerPixel == 1 || bitsPerPixel == 2 || bitsPerPixel == 4 || bitsPerPixel == 8;
    return head[0] == 10 && head[1] <= 5 && encoding <= 1 && depthKnown && planes >= 1 && planes <= 4;
}

// The byte-order mark and then the answer 42 in that byte order.
bool LooksLikeTiffHeader(const std::uint8_t* head)
{
    if (head[0] == 'I' && head[1] == 'I')
        return rtl::LoadLE16(head + 2) == 42;
    if (head[0] == 'M' && head[1] == 'M')
        return rtl::LoadBE16(head + 2) == 42;
    return false;
}

int BuiltInFormat(rtl::TStream& stream)
{
    std::uint8_t head[128];
    if (ReadHead(stream, head, 12) && std::memcmp(head, "JFIF", 5) == 0)
        return ioJPEG;
    if (ReadHead(stream, head, 13) && std::memcmp(head, "GIF", 3) == 0)
        return ioGIF;
    if (ReadHead(stream, head, 12) && std::memcmp(head, "PCX2", 5) == 0)
        return ioPCX;
    if (ReadHead(stream, head, 4) && std::memcmp(head, "PCX", 4) == 0)
        return ioPCX;
    if (ReadHead(stream, head, 14) && head[0] == 'B' && head[1] == 'M')
        return ioBMP;
    if (ReadHead(stream, head, 128) && LooksLikePcxHeader(head))
        return ioPCX;
    if (ReadHead(stream, head, 12) && std::memcmp(head, "TIFF", 5) == 0)
        return ioTIFF;
    if (ReadHead(stream, head, 8) && LooksLikeTiffHeader(head))
        return ioTIFF;
    if (ReadHead(stream, head, 8) && TryPNG(stream))
        return ioPNG;
    if (TryICO(stream))
        return ioICO;
    if (TryCUR(stream))
        return ioCUR;
    if (TryTGA(stream))
        return ioTGA;
    if (TryPXM(stream))
        return ioPXM;
    if (FindJpegSOI(stream) >= 0)
        return ioJPEG;
    if (TryJP2(stream))
        return ioJP2;
    if (TryJ2K(stream))
        return ioJ2K;
    if (TryAVI(stream))
        return ioAVI;
    return ioUnknown;
}

}  // namespace

void AddFileFormat(const TIOFileFormat& Format) { AddRow(Registry(), Format); }

const TIOFileFormat* FindFileFormatByType(int FileType)
{
    for (const auto& row : Registry()) {
        if (row->FileType == FileType)
            return row.get();
    }
    return nullptr;
}

int FileFormatExtensionCount(int FileType)
{
    const TIOFileFormat* format = FindFileFormatByType(FileType);
    if (!format)
        return 0;
    int count = 0;
    ForEachExtension(format->Extensions, [&](std::string_view) {
        ++count;
        return true;
    });
    return count;
}

std::string FileFormatExtension(int FileType, int Index)
{
    const TIOFileFormat* format = FindFileFormatByType(FileType);
    if (!format || Index < 0)
        return {};
    std::string result;
    int i = 0;
    ForEachExtension(format->Extensions, [&](std::string_view item) {
        if (i++ == Index) {
            result = std::string(item);
            return false;
        }
        return true;
    });
    return result;
}

const TIOFileFormat* FindFileFormatByExtension(std::string_view Ext)
{
    const std::string wanted = rtl::UpperCase(Ext);
    for (const auto& row : Registry()) {
        bool found = false;
        ForEachExtension(row->Extensions, [&](std::string_view item) {
            found = rtl::UpperCase(item) == wanted;
            return !found;
        });
        if (found)
            return row.get();
    }
    return nullptr;
}

int FindStreamFormat(rtl::TStream& Stream)
{
    std::int64_t start = 0;
    try {
        start = Stream.Position();
    } catch (...) {
        return ioUnknown;
    }
    int result = ioUnknown;
    try {
        for (const auto& row : Registry()) {
            if (!row->TryFunction)
                continue;
            Stream.Seek(start, rtl::soBeginning);
            if (row->TryFunction(Stream)) {
                result = row->FileType;
                break;
            }
        }
        Stream.Seek(start, rtl::soBeginning);
        if (result == ioUnknown)
            result = BuiltInFormat(Stream);
    } catch (...) {
        // A probe that throws counts as no match; what was found before stands.
    }
    try {
        Stream.Seek(start, rtl::soBeginning);
    } catch (...) {
    }
    return result;
}

int FindFileFormat(const std::string& FileName, bool VerifyExtension)
{
    int result = ioUnknown;
    {
        rtl::TFileStream file(FileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
        result = FindStreamFormat(file);
    }
    if (!VerifyExtension || result == ioUnknown)
        return result;
    std::string ext = rtl::LowerCase(rtl::ExtractFileExt(FileName));
    if (!ext.empty() && ext[0] == '.')
        ext.erase(0, 1);
    const TIOFileFormat* format = FindFileFormatByExtension(ext);
    if (!format)
        return ioUnknown;
    // Icons and cursors share one directory layout, so the probe cannot tell them apart.
    const bool iconFamily = result == ioICO || result == ioCUR;
    if (iconFamily && (format->FileType == ioICO || format->FileType == ioCUR))
        return format->FileType;
    return result == format->FileType ? result : ioUnknown;
}

}  // namespace imaging
