// PDF 1.4 documents of image pages: a small object model and the writer that builds a document in
// memory, page by page, and serialises it with its cross-reference table when it is ended.
// Portable.
#pragma once

#include "imaging/core/iebitmap.h"
#include "imaging/io/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace imaging {

// ---- the object model --------------------------------------------------------------------------

// A PDF object. Containers own their members; an object numbered by a document (Indirect) is owned
// by the document and reached from others through a TIEPDFRefObject.
class TIEPDFObject {
public:
    virtual ~TIEPDFObject() = default;
    // Records the stream's position in Offset, then writes the object's text. A short write raises
    // rtl::EWriteError.
    virtual void WriteTo(rtl::TStream& Stream) = 0;

    std::uint32_t Number = 0;  // set when a document numbers the object
    std::int64_t Offset = 0;   // of the object's header line, or of its text
    bool Indirect = false;
};

class TIEPDFRefObject : public TIEPDFObject {
public:
    explicit TIEPDFRefObject(std::uint32_t ObjectNumber, std::uint32_t Generation = 0)
        : ObjectNumber(ObjectNumber), Generation(Generation)
    {
    }
    void WriteTo(rtl::TStream& Stream) override;
    std::uint32_t ObjectNumber;
    std::uint32_t Generation;
};

class TIEPDFBooleanObject : public TIEPDFObject {
public:
    explicit TIEPDFBooleanObject(bool Value) : Value(Value) {}
    void WriteTo(rtl::TStream& Stream) override;
    bool Value;
};

// Written in plain decimals whatever the locale: "595", "0.5", never an exponent.
class TIEPDFNumericObject : public TIEPDFObject {
public:
    explicit TIEPDFNumericObject(double Value) : Value(Value) {}
    void WriteTo(rtl::TStream& Stream) override;
    double Value;
};

// A text string in the system's ANSI code page. ASCII text is written in parentheses with CR, LF,
// tab, backspace, form feed, parentheses and backslashes escaped; text with any other byte as
// UTF-16BE with a byte-order mark, so readers see the characters meant.
class TIEPDFStringObject : public TIEPDFObject {
public:
    explicit TIEPDFStringObject(std::string Value) : Value(std::move(Value)) {}
    void WriteTo(rtl::TStream& Stream) override;
    std::string Value;
};

// "/" and the name; blanks, delimiters, "#" and bytes outside 33..126 as "#" and two hex digits.
class TIEPDFNameObject : public TIEPDFObject {
public:
    explicit TIEPDFNameObject(std::string Value) : Value(std::move(Value)) {}
    void WriteTo(rtl::TStream& Stream) override;
    std::string Value;
};

class TIEPDFArrayObject : public TIEPDFObject {
public:
    void WriteTo(rtl::TStream& Stream) override;
    TIEPDFArrayObject& Add(std::unique_ptr<TIEPDFObject> Item);
    std::vector<std::unique_ptr<TIEPDFObject>> Items;
};

// Keys in the order they were first set.
class TIEPDFDictionaryObject : public TIEPDFObject {
public:
    void WriteTo(rtl::TStream& Stream) override;
    // Replaces the value of an existing key in its place, or appends the key.
    TIEPDFDictionaryObject& Set(const std::string& Key, std::unique_ptr<TIEPDFObject> Value);
    // Null when the key is absent.
    TIEPDFObject* Get(const std::string& Key) const;
    std::vector<std::pair<std::string, std::unique_ptr<TIEPDFObject>>> Items;
};

// A dictionary and its bytes; writing sets the dictionary's Length to the byte count.
class TIEPDFStreamObject : public TIEPDFObject {
public:
    TIEPDFStreamObject();
    void WriteTo(rtl::TStream& Stream) override;
    TIEPDFDictionaryObject Dictionary;
    std::vector<std::uint8_t> Data;
};

// ---- the writer ----------------------------------------------------------------------------------

// A document being built: every object numbered in the order added (the Catalog is 1, the shared
// resources 2), and the pages, images and contents among them.
struct TIEPDFDocument {
    std::vector<std::unique_ptr<TIEPDFObject>> Objects;
    std::vector<TIEPDFDictionaryObject*> Pages;  // each not owned
    std::vector<TIEPDFStreamObject*> Images;
    std::vector<TIEPDFStreamObject*> Contents;
    TIEPDFDictionaryObject* Catalog = nullptr;
    TIEPDFDictionaryObject* Resources = nullptr;

    // Numbers the object, takes it over and returns it.
    template <class T>
    T* Add(std::unique_ptr<T> Object)
    {
        T* raw = Object.get();
        raw->Indirect = true;
        raw->Number = std::uint32_t(Objects.size() + 1);
        Objects.push_back(std::move(Object));
        return raw;
    }
};

std::unique_ptr<TIEPDFDocument> PDFBeginDocument();

// Adds the bitmap as a page of PDFPaperWidth x PDFPaperHeight points, fitted with its aspect kept
// at the top left. An ie1g bitmap is a bilevel image (Params.PDFCompression 1 and 4 RunLength, 2
// Group 4, 3 Group 3; anything else unfiltered rows), any other 8-bit RGB (4 DCT, anything else
// unfiltered). A missing context, an empty bitmap or an abort set the abort flag and add nothing.
void PDFAddPage(TIEPDFDocument* Context, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress);

// Completes the document (page tree, Info from Params' PDF strings and the local time) and writes
// the whole file from the stream's position; frees the document in every case. False when a write
// fell short. A null context writes nothing and returns true.
bool PDFEndDocument(std::unique_ptr<TIEPDFDocument> Context, rtl::TStream& Stream, TIOParamsVals& Params);

// A document of the one page.
void WritePDFStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                    TProgressRecord& Progress);

}  // namespace imaging
