// PostScript writer: DSC-conforming Level 2 documents of image pages.
#include "imaging/io/bmpfiltps.h"

#include "imaging/io/detail/iepsfilters.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <string>
#include <vector>

namespace imaging {

namespace {

constexpr const char* kEol = "\r\n";
constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// The page count is written padded to this width, so the line can be rewritten in place.
constexpr std::size_t kPageCountWidth = 6;

enum TPSCompression { psRunLength = 0, psGroup4 = 1, psGroup3 = 2, psDCT = 3 };

bool Put(rtl::TStream& stream, TIEPSDocument& doc, const std::string& text)
{
    // In pieces the stream's 32-bit counts can carry.
    constexpr std::size_t kPiece = std::size_t(1) << 30;
    for (std::size_t at = 0; at < text.size() && !doc.Failed; at += kPiece) {
        const auto n = std::int32_t(std::min(kPiece, text.size() - at));
        doc.Failed = stream.Write(text.data() + at, n) != n;
    }
    return !doc.Failed;
}

std::string Line(const std::string& text) { return text + kEol; }

std::string Two(int v) { return std::string(1, char('0' + v / 10 % 10)) + char('0' + v % 10); }

// "Mon Jan 05 13:04:05 2024", in English whatever the user's settings.
std::string CreationDate()
{
    const rtl::TDateTime now = rtl::Now();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    rtl::DecodeDateTime(now, year, month, day, hour, minute, second, msec);
    return std::string(kDayNames[rtl::DayOfWeek(now) - 1]) + " " + kMonthNames[month - 1] + " " + Two(day) +
           " " + Two(hour) + ":" + Two(minute) + ":" + Two(second) + " " + std::to_string(year);
}

// The title on one line of 7-bit text: control characters become blanks and bytes above 126
// octal escapes, which DSC readers turn back into the character.
std::string TitleText(const std::string& title)
{
    std::string out;
    for (unsigned char c : title) {
        if (c < 32) {
            out += ' ';
        } else if (c < 127) {
            out += char(c);
        } else {
            out += '\\';
            out += char('0' + (c >> 6));
            out += char('0' + (c >> 3 & 7));
            out += char('0' + (c & 7));
        }
    }
    return out;
}

std::string PagesLineText(int pages)
{
    std::string count = std::to_string(pages);
    count.resize(std::max(count.size(), kPageCountWidth), ' ');
    return Line("%%Pages: " + count);
}

// ---- page data ---------------------------------------------------------------------------------

// Each row's red, green and blue planes, run-length coded and in base 85 on their own, so each
// of colorimage's three procedures reads one plane row through filters of its own.
bool ColourRunLength(TIEBitmap& b, TProgressRecord& Progress, std::string& data)
{
    const int w = b.GetWidth(), h = b.GetHeight();
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(w));
    std::vector<std::uint8_t> coded;
    Progress.per = 100.0 / h;
    for (int y = 0; y < h; ++y) {
        if (Progress.Aborted())
            return false;
        const std::uint8_t* row = b.ScanLine(y);
        for (int channel = 2; channel >= 0; --channel) {  // B, G, R in memory
            for (int x = 0; x < w; ++x)
                plane[std::size_t(x)] = row[3 * x + channel];
            coded.clear();
            detail::IERunLengthEncode(plane.data(), plane.size(), coded);
            detail::IEASCII85Encode(coded.data(), coded.size(), data);
        }
        Progress.Report(int(Progress.per * (y + 1)));
    }
    return true;
}

bool BilevelRunLength(TIEBitmap& b, TProgressRecord& Progress, std::string& data)
{
    std::vector<std::uint8_t> rows;
    if (!detail::IEBilevelRows(b, Progress, rows))
        return false;
    std::vector<std::uint8_t> coded;
    detail::IERunLengthEncode(rows.data(), rows.size(), coded);
    detail::IEASCII85Encode(coded.data(), coded.size(), data);
    return true;
}

std::string FaxFilter(int w, int h, bool group4)
{
    // Every row after the first is two-dimensional, so a Group 3 K must cover them all.
    const std::string k = group4 ? "-1" : std::to_string(std::max(h, 1));
    return "currentfile /ASCII85Decode filter << /K " + k + " /Columns " + std::to_string(w) + " /Rows " +
           std::to_string(h) +
           " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >> "
           "/CCITTFaxDecode filter";
}

}  // namespace

std::unique_ptr<TIEPSDocument> PSBeginDocument(rtl::TStream& Stream, TIOParamsVals& Params, bool Encapsulated)
{
    auto doc = std::make_unique<TIEPSDocument>();
    std::string text = Line(Encapsulated ? "%!PS-Adobe-3.0 EPSF-3.0" : "%!PS-Adobe-3.0");
    text += Line("%%Creator: VodirAd by ViZuduradure");
    text += Line("%%Title: " + TitleText(Params.PSTitle));
    text += Line("%%CreationDate: " + CreationDate());
    text += Line("%%DocumentData: Clean7Bit");
    text += Line("%%LanguageLevel: 2");
    Put(Stream, *doc, text);
    doc->PagesLine = Stream.Position();
    text = PagesLineText(0);
    // The marks reach the page's far edges, so the box ends at the page size itself.
    text += Line("%%BoundingBox: 0 0 " + std::to_string(std::max(Params.PSPaperWidth, 1)) + " " +
                 std::to_string(std::max(Params.PSPaperHeight, 1)));
    text += Line("%%EndComments");
    text += Line("%%BeginProlog");
    text += Line("10 dict begin");
    text += Line("%%EndProlog");
    Put(Stream, *doc, text);
    doc->End = Stream.Position();
    return doc;
}

void PSAddPage(TIEPSDocument* Context, rtl::TStream& Stream, TIEBitmap* Bitmap, TProgressRecord& Progress,
               TIOParamsVals& Params)
{
    TIEBitmap converted;
    TIEBitmap* source = detail::IESaveSource(Bitmap, converted);
    if (!Context || Context->Failed || !source) {
        Progress.Abort();
        return;
    }
    const bool bilevel = source->GetPixelFormat() == ie1g;
    Params.BitsPerSample = bilevel ? 1 : 8;
    Params.SamplesPerPixel = bilevel ? 1 : 3;
    const int w = source->GetWidth(), h = source->GetHeight();
    const int pageW = std::max(Params.PSPaperWidth, 1), pageH = std::max(Params.PSPaperHeight, 1);
    const detail::TIEPageFit fit = detail::IEFitToPage(pageW, pageH, w, h);
    const std::string sw = std::to_string(w), sh = std::to_string(h);

    const int page = Context->Pages + 1;
    std::string text = Line("%%Page: " + std::to_string(page) + " " + std::to_string(page));
    text += Line("0 " + std::to_string(pageH) + " translate");
    text += Line(std::to_string(fit.Width) + " -" + std::to_string(fit.Height) + " scale");
    text += Line(sw + " " + sh + " " + (bilevel ? "1" : "8"));
    text += Line("[ " + sw + " 0 0 " + sh + " 0 0 ]");

    std::string data;
    bool ok = false;
    std::string op;
    // A page the asked compression cannot code (a colour page for the fax filters, a bilevel one
    // for DCT) is run-length coded.
    const int compression = Params.PSCompression;
    if (bilevel && (compression == psGroup4 || compression == psGroup3)) {
        std::vector<std::uint8_t> coded;
        ok = detail::IEEncodeFaxPage(*source, compression == psGroup4, Progress, coded);
        detail::IEASCII85Encode(coded.data(), coded.size(), data);
        text += Line(FaxFilter(w, h, compression == psGroup4));
        op = "image";
    } else if (bilevel) {
        ok = BilevelRunLength(*source, Progress, data);
        text += Line("currentfile /ASCII85Decode filter /RunLengthDecode filter");
        op = "image";
    } else if (compression == psDCT) {
        std::vector<std::uint8_t> coded;
        ok = detail::IEEncodeDCTPage(*source, Params, Progress, coded);
        detail::IEASCII85Encode(coded.data(), coded.size(), data);
        text += Line("currentfile /ASCII85Decode filter << >> /DCTDecode filter");
        text += Line("false 3");
        op = "colorimage";
    } else {
        ok = ColourRunLength(*source, Progress, data);
        for (const char* s : {"/rstr ", "/gstr ", "/bstr "})
            text += Line(s + sw + " string def");
        for (const char* s : {"rstr", "gstr", "bstr"})
            text += Line(std::string("{currentfile /ASCII85Decode filter /RunLengthDecode filter ") + s +
                         " readstring pop}");
        text += Line("true 3");
        op = "colorimage";
    }
    if (!ok || Progress.Aborted()) {
        Progress.Abort();
        return;
    }
    text += Line("%%BeginData:      " + std::to_string(data.size()) + " ASCII Bytes");
    text += Line(op);

    ++Context->Pages;
    Stream.Seek(Context->PagesLine, rtl::soBeginning);
    Put(Stream, *Context, PagesLineText(Context->Pages));
    Stream.Seek(Context->End, rtl::soBeginning);
    Put(Stream, *Context, text);
    Put(Stream, *Context, data);
    Put(Stream, *Context, Line("%%EndData") + Line("showpage"));
    Context->End = Stream.Position();
    if (Context->Failed)
        Progress.Abort();
}

bool PSEndDocument(std::unique_ptr<TIEPSDocument> Context, rtl::TStream& Stream)
{
    if (!Context)
        return true;
    Stream.Seek(Context->End, rtl::soBeginning);
    return Put(Stream, *Context, Line("%%Trailer") + Line("end") + Line("%%EOF"));
}

void WritePSStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   bool Encapsulated)
{
    std::unique_ptr<TIEPSDocument> doc = PSBeginDocument(Stream, Params, Encapsulated);
    PSAddPage(doc.get(), Stream, Bitmap, Progress, Params);
    if (!PSEndDocument(std::move(doc), Stream))
        Progress.Abort();
}

namespace {

void SavePS(TIESaveJob& Job)
{
    const bool eps = rtl::LowerCase(rtl::ExtractFileExt(std::string(Job.FileName))) == ".eps";
    WritePSStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress, eps);
}

}  // namespace

extern const TIEFormatSteps kPSSteps = {
    .FileType = ioPS,
    .Save = SavePS,
};

}  // namespace imaging
