// PDF writer and its object model.
#include "imaging/io/iepdf.h"

#include "imaging/io/detail/iepsfilters.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <cstring>

namespace imaging {

namespace {

// The largest offset the cross-reference table's ten digits hold.
constexpr std::int64_t kMaxOffset = 9999999999;

enum TPDFCompression { pdfNone = 0, pdfRunLength = 1, pdfGroup4 = 2, pdfGroup3 = 3, pdfDCT = 4 };

void Put(rtl::TStream& stream, const std::string& text)
{
    stream.WriteBuffer(text.data(), std::int32_t(text.size()));
}

std::string Hex2(unsigned v)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[v >> 4 & 15], kDigits[v & 15]};
}

std::unique_ptr<TIEPDFObject> Ref(const TIEPDFObject* target)
{
    return std::make_unique<TIEPDFRefObject>(target->Number);
}
std::unique_ptr<TIEPDFObject> Name(std::string name)
{
    return std::make_unique<TIEPDFNameObject>(std::move(name));
}
std::unique_ptr<TIEPDFObject> Numeric(double v) { return std::make_unique<TIEPDFNumericObject>(v); }

std::string Digits(std::int64_t v, int width)
{
    std::string s = std::to_string(v);
    return std::string(std::size_t(std::max<int>(0, width - int(s.size()))), '0') + s;
}

}  // namespace

// ---- the object model ----------------------------------------------------------------------------

void TIEPDFRefObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    Put(Stream, std::to_string(ObjectNumber) + " " + std::to_string(Generation) + " R");
}

void TIEPDFBooleanObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    Put(Stream, Value ? "true" : "false");
}

void TIEPDFNumericObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    Put(Stream, detail::IENumberText(Value));
}

void TIEPDFStringObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    const bool ascii = std::all_of(Value.begin(), Value.end(), [](char c) { return (unsigned char)c < 128; });
    std::string text;
    if (!ascii) {
        text = "<FEFF";
        for (char16_t c : rtl::AnsiToUtf16(Value))
            text += Hex2(c >> 8) + Hex2(c & 0xFF);
        Put(Stream, text + ">");
        return;
    }
    text = "(";
    for (char c : Value) {
        switch (c) {
        case '\r': text += "\\r"; break;
        case '\n': text += "\\n"; break;
        case '\t': text += "\\t"; break;
        case '\b': text += "\\b"; break;
        case '\f': text += "\\f"; break;
        case '(':
        case ')':
        case '\\':
            text += '\\';
            text += c;
            break;
        default: text += c;
        }
    }
    Put(Stream, text + ")");
}

void TIEPDFNameObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    std::string text = "/";
    for (unsigned char c : Value) {
        if (c < 33 || c > 126 || std::strchr("#()<>[]{}/%", c))
            text += "#" + Hex2(c);
        else
            text += char(c);
    }
    Put(Stream, text);
}

void TIEPDFArrayObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    Put(Stream, "[");
    for (auto& item : Items) {
        item->WriteTo(Stream);
        Put(Stream, " ");
    }
    Put(Stream, "]");
}

TIEPDFArrayObject& TIEPDFArrayObject::Add(std::unique_ptr<TIEPDFObject> Item)
{
    Items.push_back(std::move(Item));
    return *this;
}

void TIEPDFDictionaryObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    Put(Stream, "<< ");
    for (auto& [key, value] : Items) {
        TIEPDFNameObject(key).WriteTo(Stream);
        Put(Stream, " ");
        value->WriteTo(Stream);
        Put(Stream, "\n");
    }
    Put(Stream, ">>");
}

TIEPDFDictionaryObject& TIEPDFDictionaryObject::Set(const std::string& Key,
                                                    std::unique_ptr<TIEPDFObject> Value)
{
    for (auto& item : Items)
        if (item.first == Key) {
            item.second = std::move(Value);
            return *this;
        }
    Items.emplace_back(Key, std::move(Value));
    return *this;
}

TIEPDFObject* TIEPDFDictionaryObject::Get(const std::string& Key) const
{
    for (const auto& item : Items)
        if (item.first == Key)
            return item.second.get();
    return nullptr;
}

TIEPDFStreamObject::TIEPDFStreamObject() { Dictionary.Set("Length", Numeric(0)); }

void TIEPDFStreamObject::WriteTo(rtl::TStream& Stream)
{
    Offset = Stream.Position();
    Dictionary.Set("Length", Numeric(double(Data.size())));
    Dictionary.WriteTo(Stream);
    Put(Stream, "\nstream\n");
    // Large images go out in pieces the stream's 32-bit counts can carry.
    constexpr std::size_t kPiece = std::size_t(1) << 30;
    for (std::size_t at = 0; at < Data.size(); at += kPiece)
        Stream.WriteBuffer(Data.data() + at, std::int32_t(std::min(kPiece, Data.size() - at)));
    Put(Stream, "\nendstream");
}

// ---- the writer ----------------------------------------------------------------------------------

std::unique_ptr<TIEPDFDocument> PDFBeginDocument()
{
    auto doc = std::make_unique<TIEPDFDocument>();
    auto catalog = std::make_unique<TIEPDFDictionaryObject>();
    catalog->Set("Type", Name("Catalog"));
    doc->Catalog = doc->Add(std::move(catalog));
    auto procSet = std::make_unique<TIEPDFArrayObject>();
    procSet->Add(Name("PDF")).Add(Name("ImageB"));
    auto resources = std::make_unique<TIEPDFDictionaryObject>();
    resources->Set("ProcSet", std::move(procSet));
    resources->Set("XObject", std::make_unique<TIEPDFDictionaryObject>());
    doc->Resources = doc->Add(std::move(resources));
    return doc;
}

namespace {

// The bilevel image's rows, filtered as the compression asks; a compression bilevel pixels cannot
// take (DCT) is run-length coded.
bool BilevelImage(TIEBitmap& b, int compression, TProgressRecord& Progress, TIEPDFStreamObject& image)
{
    const int w = b.GetWidth(), h = b.GetHeight();
    auto& dict = image.Dictionary;
    if (compression == pdfGroup4 || compression == pdfGroup3) {
        if (!detail::IEEncodeFaxPage(b, compression == pdfGroup4, Progress, image.Data))
            return false;
        auto parms = std::make_unique<TIEPDFDictionaryObject>();
        // The rows are coded black on white, the filter's default, and every Group 3 row after the
        // first is two-dimensional, so K covers them all.
        parms->Set("K", Numeric(compression == pdfGroup4 ? -1 : std::max(h, 1)));
        parms->Set("Columns", Numeric(w)).Set("Rows", Numeric(h));
        parms->Set("EndOfLine", std::make_unique<TIEPDFBooleanObject>(false));
        parms->Set("Uncompressed", std::make_unique<TIEPDFBooleanObject>(true));
        parms->Set("EncodedByteAlign", std::make_unique<TIEPDFBooleanObject>(false));
        parms->Set("EndOfBlock", std::make_unique<TIEPDFBooleanObject>(false));
        dict.Set("Filter", Name("CCITTFaxDecode"));
        dict.Set("DecodeParms", std::move(parms));
    } else {
        std::vector<std::uint8_t> rows;
        if (!detail::IEBilevelRows(b, Progress, rows))
            return false;
        if (compression == pdfRunLength || compression == pdfDCT) {
            detail::IERunLengthEncode(rows.data(), rows.size(), image.Data);
            auto filters = std::make_unique<TIEPDFArrayObject>();
            filters->Add(Name("RunLengthDecode"));
            dict.Set("Filter", std::move(filters));
        } else {
            image.Data = std::move(rows);
        }
    }
    dict.Set("ColorSpace", Name("DeviceGray"));
    dict.Set("BitsPerComponent", Numeric(1));
    return true;
}

bool ColourImage(TIEBitmap& b, TProgressRecord& Progress, TIEPDFStreamObject& image)
{
    const int w = b.GetWidth(), h = b.GetHeight();
    image.Data.reserve(std::size_t(w) * 3 * std::size_t(h));
    Progress.per = 100.0 / h;
    for (int y = 0; y < h; ++y) {
        if (Progress.Aborted())
            return false;
        const std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < w; ++x)
            image.Data.insert(image.Data.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        Progress.Report(int(Progress.per * (y + 1)));
    }
    image.Dictionary.Set("ColorSpace", Name("DeviceRGB"));
    image.Dictionary.Set("BitsPerComponent", Numeric(8));
    return true;
}

// "D:" and the local time as yyyymmddhhmmss.
std::string CreationDate()
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    rtl::DecodeDateTime(rtl::Now(), year, month, day, hour, minute, second, msec);
    return "D:" + Digits(year, 4) + Digits(month, 2) + Digits(day, 2) + Digits(hour, 2) + Digits(minute, 2) +
           Digits(second, 2);
}

}  // namespace

void PDFAddPage(TIEPDFDocument* Context, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress)
{
    TIEBitmap converted;
    TIEBitmap* source = detail::IESaveSource(Bitmap, converted);
    if (!Context || !source) {
        Progress.Abort();
        return;
    }
    const bool bilevel = source->GetPixelFormat() == ie1g;
    const int w = source->GetWidth(), h = source->GetHeight();
    auto image = std::make_unique<TIEPDFStreamObject>();
    bool ok = false;
    if (bilevel) {
        ok = BilevelImage(*source, Params.PDFCompression, Progress, *image);
    } else if (Params.PDFCompression == pdfDCT) {
        ok = detail::IEEncodeDCTPage(*source, Params, Progress, image->Data);
        image->Dictionary.Set("Filter", Name("DCTDecode"));
        image->Dictionary.Set("ColorSpace", Name("DeviceRGB"));
        image->Dictionary.Set("BitsPerComponent", Numeric(8));
    } else {
        ok = ColourImage(*source, Progress, *image);
    }
    if (!ok || Progress.Aborted()) {
        Progress.Abort();
        return;
    }
    image->Dictionary.Set("Type", Name("XObject")).Set("Subtype", Name("Image"));
    image->Dictionary.Set("Width", Numeric(w)).Set("Height", Numeric(h));
    const std::size_t k = Context->Images.size();
    Context->Images.push_back(Context->Add(std::move(image)));

    const int pageW = std::max(Params.PDFPaperWidth, 1), pageH = std::max(Params.PDFPaperHeight, 1);
    const detail::TIEPageFit fit = detail::IEFitToPage(pageW, pageH, w, h);
    const std::string name = "lm" + std::to_string(k);
    const std::string text = "q\n" + std::to_string(fit.Width) + " 0 0 " + std::to_string(fit.Height) +
                             " 0 " + std::to_string(pageH - fit.Height) + " cm\n/" + name + " Do\nQ";
    auto content = std::make_unique<TIEPDFStreamObject>();
    content->Data.assign(text.begin(), text.end());
    Context->Contents.push_back(Context->Add(std::move(content)));

    static_cast<TIEPDFDictionaryObject*>(Context->Resources->Get("XObject"))
        ->Set(name, Ref(Context->Images.back()));

    auto box = std::make_unique<TIEPDFArrayObject>();
    box->Add(Numeric(0)).Add(Numeric(0)).Add(Numeric(pageW)).Add(Numeric(pageH));
    auto page = std::make_unique<TIEPDFDictionaryObject>();
    page->Set("Type", Name("Page"));
    page->Set("Resources", Ref(Context->Resources));
    page->Set("MediaBox", std::move(box));
    page->Set("Contents", Ref(Context->Contents.back()));
    Context->Pages.push_back(Context->Add(std::move(page)));
}

bool PDFEndDocument(std::unique_ptr<TIEPDFDocument> Context, rtl::TStream& Stream, TIOParamsVals& Params)
{
    if (!Context)
        return true;
    TIEPDFDocument& doc = *Context;
    auto kids = std::make_unique<TIEPDFArrayObject>();
    for (const TIEPDFDictionaryObject* page : doc.Pages)
        kids->Add(Ref(page));
    auto pages = std::make_unique<TIEPDFDictionaryObject>();
    pages->Set("Type", Name("Pages"));
    pages->Set("Kids", std::move(kids));
    pages->Set("Count", Numeric(double(doc.Pages.size())));
    const TIEPDFDictionaryObject* tree = doc.Add(std::move(pages));
    for (TIEPDFDictionaryObject* page : doc.Pages)
        page->Set("Parent", Ref(tree));
    doc.Catalog->Set("Pages", Ref(tree));

    auto info = std::make_unique<TIEPDFDictionaryObject>();
    for (const auto& [key, value] : {std::pair{"Title", &Params.PDFTitle},
                                     {"Author", &Params.PDFAuthor},
                                     {"Subject", &Params.PDFSubject},
                                     {"Keywords", &Params.PDFKeywords},
                                     {"Creator", &Params.PDFCreator},
                                     {"Producer", &Params.PDFProducer}})
        if (!value->empty())
            info->Set(key, std::make_unique<TIEPDFStringObject>(*value));
    info->Set("CreationDate", std::make_unique<TIEPDFStringObject>(CreationDate()));
    const TIEPDFDictionaryObject* infoObject = doc.Add(std::move(info));

    try {
        const std::int64_t start = Stream.Position();
        // The comment after the version holds four bytes above 127, so transfers treat the file as
        // binary.
        Put(Stream, "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");
        for (auto& object : doc.Objects) {
            const std::int64_t at = Stream.Position();
            Put(Stream, std::to_string(object->Number) + " 0 obj\n");
            object->WriteTo(Stream);
            object->Offset = at - start;
            Put(Stream, "\nendobj\n");
        }
        const std::int64_t xref = Stream.Position() - start;
        const std::string count = std::to_string(doc.Objects.size() + 1);
        std::string text = "xref\n0 " + count + "\n0000000000 65535 f \n";
        for (const auto& object : doc.Objects) {
            if (object->Offset > kMaxOffset)
                return false;
            text += Digits(object->Offset, 10) + " 00000 n \n";
        }
        text += "trailer\n<< /Size " + count + "\n/Root " + std::to_string(doc.Catalog->Number) +
                " 0 R\n/Info " + std::to_string(infoObject->Number) + " 0 R\n>>\nstartxref\n" +
                std::to_string(xref) + "\n%%EOF\n";
        Put(Stream, text);
    } catch (const rtl::EStreamError&) {
        return false;
    }
    return true;
}

void WritePDFStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress)
{
    std::unique_ptr<TIEPDFDocument> doc = PDFBeginDocument();
    PDFAddPage(doc.get(), Bitmap, Params, Progress);
    if (Progress.Aborted() || !PDFEndDocument(std::move(doc), Stream, Params))
        Progress.Abort();
}

namespace {

void SavePDF(TIESaveJob& Job) { WritePDFStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress); }

}  // namespace

extern const TIEFormatSteps kPDFSteps = {
    .FileType = ioPDF,
    .Save = SavePDF,
};

}  // namespace imaging
