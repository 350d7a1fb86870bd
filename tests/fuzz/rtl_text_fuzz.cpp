// Fuzz target: the runtime's text parsers and formatters on arbitrary text, with round-trip checks.
#include "platform/rtl/Lists.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/Variant.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Number parsers: either a value or the named error, and parsed integers print back the same.
    std::int64_t i64;
    if (rtl::TryStrToInt64(text, i64))
        Check(rtl::StrToInt64(rtl::IntToStr(i64)) == i64);
    std::int32_t i32;
    if (rtl::TryStrToInt(text, i32))
        Check(rtl::StrToInt(rtl::IntToStr(i32)) == i32);
    double d;
    if (rtl::TryStrToFloat(text, d)) {
        Check(std::isfinite(d));
        Check(rtl::StrToFloat(rtl::FloatToStrF(d, rtl::ffGeneral, 17, 0)) == d);
    }
    try {
        rtl::StrToBool(text);
    } catch (const rtl::EConvertError&) {
    }

    // Format with the input as the format string and a fixed mix of arguments.
    try {
        rtl::Format(text, 42, "str", 2.5, std::int64_t{-7}, 'c', std::uint32_t{9}, 1, 2, 3);
    } catch (const rtl::EConvertError&) {
    }

    // Any 8 bytes as a double print and parse back exactly.
    if (size >= 8) {
        double v;
        std::memcpy(&v, data, 8);
        if (std::isfinite(v))
            Check(rtl::StrToFloat(rtl::FloatToStrF(v, rtl::ffGeneral, 17, 0)) == v);
        rtl::FloatToStrF(v, rtl::ffFixed, static_cast<int>(data[0] % 20), static_cast<int>(data[1] % 20));
        rtl::FloatToStrF(v, rtl::ffExponent, static_cast<int>(data[2] % 20), static_cast<int>(data[3] % 5));
    }

    // String-list text forms: the lines read back from what a list writes are the same lines.
    rtl::TStringList lines;
    lines.SetText(text);
    rtl::TStringList again;
    again.SetText(lines.Text());
    Check(again.Equals(lines));
    again.SetCommaText(lines.CommaText());
    Check(again.Equals(lines));
    lines.SetCommaText(text);
    lines.SetDelimiter(';');
    lines.SetStrictDelimiter(true);
    lines.SetDelimitedText(text);
    again.SetDelimiter(';');
    again.SetStrictDelimiter(true);
    again.SetDelimitedText(lines.DelimitedText());
    Check(again.Equals(lines));
    lines.Values(text);
    lines.SetSorted(true);
    lines.IndexOf(text);

    // Variant conversions from text.
    const rtl::Variant v(text);
    try {
        v.AsInt64();
    } catch (const rtl::EVariantError&) {
    }
    try {
        v.AsDouble();
    } catch (const rtl::EVariantError&) {
    }

    // Quoting round trip and path helpers stay in bounds.
    Check(rtl::AnsiDequotedStr(rtl::QuotedStr(text), '\'') == text);
    rtl::ExtractFileDir(text);
    rtl::ExtractFileDrive(text);
    rtl::ChangeFileExt(text, ".x");
    rtl::StringReplace(text, text.substr(0, size / 3), "ab", rtl::rfReplaceAll | rtl::rfIgnoreCase);
    return 0;
}
