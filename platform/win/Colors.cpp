// Colours and character sets: their identifiers in form text, and their type information.
#include "platform/win/Graphics.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/Strings.h"

namespace win {

namespace {

struct ColorName {
    TColor Value;
    const char* Name;
};

constexpr ColorName kColorNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"},
    {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clHotLight, "clHotLight"},
    {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"},
    {clMenu, "clMenu"},
    {clMenuBar, "clMenuBar"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuText, "clMenuText"},
    {clNone, "clNone"},
    {clScrollBar, "clScrollBar"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"},
};

struct CharsetName {
    std::int32_t Value;
    const char* Name;
};

constexpr CharsetName kCharsetNames[] = {
    {ANSI_CHARSET, "ANSI_CHARSET"},
    {DEFAULT_CHARSET, "DEFAULT_CHARSET"},
    {SYMBOL_CHARSET, "SYMBOL_CHARSET"},
    {MAC_CHARSET, "MAC_CHARSET"},
    {SHIFTJIS_CHARSET, "SHIFTJIS_CHARSET"},
    {HANGEUL_CHARSET, "HANGEUL_CHARSET"},
    {JOHAB_CHARSET, "JOHAB_CHARSET"},
    {GB2312_CHARSET, "GB2312_CHARSET"},
    {CHINESEBIG5_CHARSET, "CHINESEBIG5_CHARSET"},
    {GREEK_CHARSET, "GREEK_CHARSET"},
    {TURKISH_CHARSET, "TURKISH_CHARSET"},
    {VIETNAMESE_CHARSET, "VIETNAMESE_CHARSET"},
    {HEBREW_CHARSET, "HEBREW_CHARSET"},
    {ARABIC_CHARSET, "ARABIC_CHARSET"},
    {BALTIC_CHARSET, "BALTIC_CHARSET"},
    {RUSSIAN_CHARSET, "RUSSIAN_CHARSET"},
    {THAI_CHARSET, "THAI_CHARSET"},
    {EASTEUROPE_CHARSET, "EASTEUROPE_CHARSET"},
    {OEM_CHARSET, "OEM_CHARSET"},
};

}  // namespace

COLORREF ColorToRGB(TColor color)
{
    if (color < 0)
        return ::GetSysColor(color & 0xFF);
    return static_cast<COLORREF>(color);
}

bool ColorToIdent(TColor color, std::string& ident)
{
    for (const auto& c : kColorNames) {
        if (c.Value == color) {
            ident = c.Name;
            return true;
        }
    }
    return false;
}

bool IdentToColor(const std::string& ident, TColor& color)
{
    for (const auto& c : kColorNames) {
        if (rtl::SameText(ident, c.Name)) {
            color = c.Value;
            return true;
        }
    }
    return false;
}

std::string ColorToString(TColor color)
{
    std::string ident;
    if (ColorToIdent(color, ident))
        return ident;
    return "$" + rtl::IntToHex(static_cast<std::uint32_t>(color), 8);
}

TColor StringToColor(const std::string& text)
{
    TColor color;
    if (IdentToColor(text, color))
        return color;
    std::int64_t value;
    if (!rtl::TryStrToInt64(text, value) || value < INT32_MIN || value > UINT32_MAX)
        throw rtl::EConvertError("'" + text + "' is not a valid colour");
    return static_cast<TColor>(static_cast<std::uint32_t>(value));
}

bool CharsetToIdent(std::int32_t charset, std::string& ident)
{
    for (const auto& c : kCharsetNames) {
        if (c.Value == charset) {
            ident = c.Name;
            return true;
        }
    }
    return false;
}

bool IdentToCharset(const std::string& ident, std::int32_t& charset)
{
    for (const auto& c : kCharsetNames) {
        if (rtl::SameText(ident, c.Name)) {
            charset = c.Value;
            return true;
        }
    }
    return false;
}

const rtl::TTypeInfo& ColorTypeInfo()
{
    static const rtl::TTypeInfo& info = []() -> const rtl::TTypeInfo& {
        static rtl::TTypeInfo t = rtl::TypeInfoOf<std::int32_t>();
        t.Name = "TColor";
        rtl::RegisterIntegerConsts(
            t,
            [](const std::string& ident, std::int64_t& value) {
                TColor c;
                if (!IdentToColor(ident, c))
                    return false;
                value = c;
                return true;
            },
            [](std::int64_t value, std::string& ident) {
                return ColorToIdent(static_cast<TColor>(value), ident);
            });
        return t;
    }();
    return info;
}

const rtl::TTypeInfo& CharsetTypeInfo()
{
    static const rtl::TTypeInfo& info = []() -> const rtl::TTypeInfo& {
        static rtl::TTypeInfo t = rtl::TypeInfoOf<std::uint8_t>();
        t.Name = "TFontCharset";
        rtl::RegisterIntegerConsts(
            t,
            [](const std::string& ident, std::int64_t& value) {
                std::int32_t c;
                if (!IdentToCharset(ident, c))
                    return false;
                value = c;
                return true;
            },
            [](std::int64_t value, std::string& ident) {
                return CharsetToIdent(static_cast<std::int32_t>(value), ident);
            });
        return t;
    }();
    return info;
}

}  // namespace win
