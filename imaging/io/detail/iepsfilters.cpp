// Codings and text shared by the PostScript and PDF writers.
#include "imaging/io/detail/iepsfilters.h"

#include "imaging/io/detail/iepackbits.h"
#include "imaging/io/jpegfilt.h"
#include "imaging/io/tifccitt.h"
#include "platform/rtl/Streams.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace imaging::detail {

namespace {

constexpr std::uint8_t kEndOfData = 128;
constexpr std::size_t kLineLength = 75;
constexpr double kLargest = 1e15;

}  // namespace

void IERunLengthEncode(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out)
{
    IEPackBits(Data, Count, 2, Out);
    Out.push_back(kEndOfData);
}

void IEASCII85Encode(const std::uint8_t* Data, std::size_t Count, std::string& Out)
{
    std::size_t line = 0;
    for (std::size_t i = 0; i < Count; i += 4) {
        const std::size_t n = std::min<std::size_t>(4, Count - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k)
            v = v << 8 | (k < n ? Data[i + k] : 0);
        if (n == 4 && v == 0) {
            Out += 'z';
            ++line;
        } else {
            char digits[5];
            for (int k = 4; k >= 0; --k) {
                digits[k] = char('!' + v % 85);
                v /= 85;
            }
            Out.append(digits, n + 1);
            line += n + 1;
        }
        if (line >= kLineLength) {
            Out += "\r\n";
            line = 0;
        }
    }
    Out += "~>\r\n";
}

bool IEBilevelRows(TIEBitmap& Bitmap, TProgressRecord& Progress, std::vector<std::uint8_t>& Out)
{
    const int h = Bitmap.GetHeight();
    const std::size_t rowBytes = (std::size_t(Bitmap.GetWidth()) + 7) / 8;
    Out.reserve(Out.size() + rowBytes * std::size_t(h));
    Progress.per = 100.0 / h;
    for (int y = 0; y < h; ++y) {
        if (Progress.Aborted())
            return false;
        const std::uint8_t* row = Bitmap.ScanLine(y);
        Out.insert(Out.end(), row, row + rowBytes);
        Progress.Report(int(Progress.per * (y + 1)));
    }
    return true;
}

bool IEEncodeFaxPage(TIEBitmap& Bitmap, bool Group4, TProgressRecord& Progress,
                     std::vector<std::uint8_t>& Out)
{
    const int w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    const std::size_t rowBytes = (std::size_t(w) + 7) / 8;
    // The encoder's rows are 1 for black, the bitmap's 1 for white.
    std::vector<std::uint8_t> row(rowBytes);
    rtl::TMemoryStream coded;
    TCCITTEncodeState state;
    Progress.per = 100.0 / h;
    for (int y = 0; y < h; ++y) {
        if (Progress.Aborted())
            return false;
        const std::uint8_t* src = Bitmap.ScanLine(y);
        std::transform(src, src + rowBytes, row.begin(), [](std::uint8_t b) { return std::uint8_t(~b); });
        if (Group4)
            CCITTEncodeG4Row(row.data(), w, coded, state);
        else
            CCITTEncodeG3Row(row.data(), w, coded, state);
        Progress.Report(int(Progress.per * (y + 1)));
    }
    if (Group4)
        CCITTEncodeG4Row(nullptr, w, coded, state);
    else
        CCITTEncodeG3Row(nullptr, w, coded, state);
    Out.assign(coded.Bytes().begin(), coded.Bytes().end());
    return true;
}

bool IEEncodeDCTPage(TIEBitmap& Bitmap, const TIOParamsVals& Params, TProgressRecord& Progress,
                     std::vector<std::uint8_t>& Out)
{
    TIOParamsVals settings(nullptr);
    settings.Assign(&Params);
    // The page's filters read three components, and its markers belong to the image's own file.
    settings.JPEGColorSpace = 2;
    settings.JPEGMarkerList.Clear();
    rtl::TMemoryStream coded;
    try {
        EncodeJpegStream(coded, &Bitmap, settings, Progress);
    } catch (const EIEJpegException&) {
        return false;
    }
    if (Progress.Aborted())
        return false;
    Out.assign(coded.Bytes().begin(), coded.Bytes().end());
    return true;
}

TIEPageFit IEFitToPage(int PageWidth, int PageHeight, int ImageWidth, int ImageHeight)
{
    // Whole-number arithmetic, so a side that fills the page is exactly the page.
    const std::int64_t pw = std::max(PageWidth, 1), ph = std::max(PageHeight, 1);
    const std::int64_t w = std::max(ImageWidth, 1), h = std::max(ImageHeight, 1);
    TIEPageFit fit;
    if (pw * h <= ph * w) {
        fit.Width = int(pw);
        fit.Height = int(std::max<std::int64_t>(1, h * pw / w));
    } else {
        fit.Height = int(ph);
        fit.Width = int(std::max<std::int64_t>(1, w * ph / h));
    }
    return fit;
}

std::string IENumberText(double Value)
{
    if (!std::isfinite(Value))
        return "0";
    // Beyond what a page description means; keeps the digits within the buffer.
    Value = std::clamp(Value, -kLargest, kLargest);
    char text[64];
    const double whole = std::round(Value);
    std::to_chars_result r;
    if (whole == Value) {
        r = std::to_chars(text, text + sizeof text, static_cast<std::int64_t>(whole));
    } else {
        r = std::to_chars(text, text + sizeof text, Value, std::chars_format::fixed, 6);
        while (r.ptr[-1] == '0')
            --r.ptr;
        if (r.ptr[-1] == '.')
            --r.ptr;
    }
    std::string s(text, r.ptr);
    return s == "-0" ? "0" : s;
}

}  // namespace imaging::detail
