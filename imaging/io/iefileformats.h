// Format registry: the library-wide table of image file types, lookup by code and extension, and
// detection of a stream's format by its content.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace imaging {

// File-type codes, as kept in TIOParamsVals::FileType.
inline constexpr int ioUnknown = 0;
inline constexpr int ioTIFF = 1;
inline constexpr int ioGIF = 2;
inline constexpr int ioJPEG = 3;
inline constexpr int ioPCX = 4;
inline constexpr int ioBMP = 5;
inline constexpr int ioICO = 6;
inline constexpr int ioCUR = 7;
inline constexpr int ioPNG = 8;
inline constexpr int ioWMF = 9;
inline constexpr int ioEMF = 10;
inline constexpr int ioTGA = 11;
inline constexpr int ioPXM = 12;
inline constexpr int ioJP2 = 13;
inline constexpr int ioJ2K = 14;
inline constexpr int ioAVI = 15;
inline constexpr int ioWBMP = 16;
inline constexpr int ioPS = 17;
inline constexpr int ioPDF = 18;

// Pages of the parameters dialog that apply to a format.
inline constexpr std::uint16_t ppJPEG = 4;
inline constexpr std::uint16_t ppTIFF = 8;
inline constexpr std::uint16_t ppGIF = 16;
inline constexpr std::uint16_t ppBMP = 32;
inline constexpr std::uint16_t ppPCX = 64;
inline constexpr std::uint16_t ppPNG = 128;
inline constexpr std::uint16_t ppTGA = 256;
inline constexpr std::uint16_t ppJ2000 = 512;

// Preview true asks for the parameters only.
using TIEReadFunction = void (*)(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                 TProgressRecord& Progress, bool Preview);
using TIEWriteFunction = void (*)(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                  TProgressRecord& Progress);
// True when the stream, from its position, holds this format; must restore the position.
using TIETryFunction = bool (*)(rtl::TStream& Stream);

struct TIOFileFormat {
    int FileType = 0;
    std::string FullName;    // at most 80 characters are kept
    std::string Extensions;  // upper case, no dots, separated by ';'; at most 80 characters are kept
    std::uint16_t DialogPage = 0;
    TIEReadFunction ReadFunction = nullptr;
    TIEWriteFunction WriteFunction = nullptr;
    TIETryFunction TryFunction = nullptr;
};

// Appends a copy of Format after every row already there (so its probe runs after theirs and
// before the built-in signature tests). Not for use while readers run on other threads.
void AddFileFormat(const TIOFileFormat& Format);
// Null when the type is not registered. The record stays valid for the life of the program.
const TIOFileFormat* FindFileFormatByType(int FileType);
int FileFormatExtensionCount(int FileType);
// The Index-th extension (from 0) of the type, or "" when there is none.
std::string FileFormatExtension(int FileType, int Index);
// Ext without its dot, compared without regard to case; the first record listing it, or null.
const TIOFileFormat* FindFileFormatByExtension(std::string_view Ext);

// The file-type code of the stream's content from its position, or 0. Registered probes run
// first, then the built-in signature tests. Empty, short and unreadable streams give 0; nothing
// is thrown and the position is restored.
int FindStreamFormat(rtl::TStream& Stream);
// Opens the file (share-deny-write) and detects its content. With VerifyExtension the file's
// extension must name the detected type: none gives 0, an icon or cursor takes the extension's
// type, any other mismatch gives 0. A file that cannot be opened raises rtl::EFOpenError.
int FindFileFormat(const std::string& FileName, bool VerifyExtension);

}  // namespace imaging
