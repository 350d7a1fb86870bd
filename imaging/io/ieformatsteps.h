// What the I/O component runs for each file format: the reader and writer, and the steps around
// them that differ between formats. One unit per format defines its steps (kBMPSteps in bmpfilt.cpp)
// and adds one row to the table in ieformatsteps.cpp; the component finds them by file-type code
// and never names a format's routines itself. A type without a row fails cleanly: loads and saves
// set the abort flag, change no image and write nothing.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace imaging {

// What a format keeps from one load of a component for the next (the frames of an animation
// composed so far), so that stepping through a file's frames does not start over at each. The
// component holds one and lends it to its loads, one at a time; a format that finds one of another
// kind or of another file replaces it.
class TIELoadMemo {
public:
    virtual ~TIELoadMemo() = default;
};

// One read, on whichever thread runs the job. The reader fills Bitmap (a private bitmap the
// component hands to its working bitmap afterwards) and Params, and reports bad data through
// Progress's abort flag.
struct TIELoadJob {
    rtl::TStream& Stream;  // positioned at the image
    TIEBitmap& Bitmap;
    TIOParamsVals& Params;
    TProgressRecord& Progress;
    bool FromFile = false;
    // Only the parameters are wanted (ReadParamsFromFile and ReadParamsFromStream); Bitmap stays.
    bool ParamsOnly = false;
    // Bytes that belong to the image: the file's size, a stream header's length, or 0 (unknown).
    std::int64_t BlockSize = 0;
    // An alpha plane (ie8g, the image's size) the reader found, or null.
    std::unique_ptr<TIEBitmap> Alpha;
    // The component's background colour, for formats that carry one (in and out).
    TColor Background = 0;
    // The image count, for formats that have several.
    int Result = 0;
    // The component's memo, or null when the load keeps nothing for the next.
    std::unique_ptr<TIELoadMemo>* Memo = nullptr;
};

// One write. Bitmap is the working bitmap itself, or a copy where a worker, a handler or a pixel
// format conversion needs one; the writer reads it and never changes it. Alpha is its alpha
// channel when it has one, else null.
struct TIESaveJob {
    rtl::TStream& Stream;
    TIEBitmap& Bitmap;
    TIOParamsVals& Params;
    TProgressRecord& Progress;
    TIEBitmap* Alpha = nullptr;
    // The file being written, for formats whose content depends on its name (".eps"); empty for
    // stream saves.
    std::string_view FileName = {};
};

struct TIEFormatSteps {
    int FileType = 0;
    void (*Load)(TIELoadJob& Job) = nullptr;  // null: the format cannot be read
    void (*Save)(TIESaveJob& Job) = nullptr;  // null: the format cannot be written
    // A view attached to the component takes the image's resolution after a file or stream load.
    bool ViewDpiFile = false;
    bool ViewDpiStream = false;
    // The writer takes every pixel format; otherwise it gets a copy converted to ie24RGB (ie1g
    // passes unconverted).
    bool SavesAnyPixelFormat = false;
    // With the component's StreamHeaders, stream saves put a 12-byte header with this magic
    // ("TIFF", "PCX2", "JFIF") and the data's length before the image, and stream loads expect it.
    const char* StreamHeader = nullptr;
    // A stream without the header is read plainly (JPEG) rather than refused (TIFF).
    bool StreamHeaderOptional = false;
    // The older 4-byte header, "PCX" and a zero, is accepted too.
    bool OldPcxHeader = false;
};

// The steps of a type, or null when no unit provides them.
const TIEFormatSteps* IEFormatSteps(int FileType);
// Adds a row at run time, replacing one of the same type; for formats a program brings itself.
// Not while jobs run.
void IEAddFormatSteps(const TIEFormatSteps& Steps);

}  // namespace imaging
