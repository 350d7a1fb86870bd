// TURLLabel: link label over the shell's open verb.
#include "app/URLLabel.h"

#include "app/KzFunc.h"
#include "platform/rtl/Strings.h"
#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

namespace app {

using namespace win;

TURLLabel::TURLLabel(rtl::TComponent* owner) : TCustomLabel(owner)
{
    Font()->SetStyle(TFontStyles{fsUnderline});
    Font()->SetColor(fontLinkColor_);
    SetCursor(crHandPoint);
    SetCaption("Visit Kestrelon - Setup Info");
}

void TURLLabel::SetFontLinkColor(TColor value)
{
    fontLinkColor_ = value;
    if (!MouseInControl())
        Font()->SetColor(value);
}

void TURLLabel::Click()
{
    if (!rtl::Trim(url_).empty())
        ShellOpen(url_, "", "", SW_SHOW);
    TCustomLabel::Click();
}

void TURLLabel::MouseEnter()
{
    Font()->SetColor(fontHoverColor_);
    TCustomLabel::MouseEnter();
}

void TURLLabel::MouseLeave()
{
    Font()->SetColor(fontLinkColor_);
    TCustomLabel::MouseLeave();
}

const rtl::TClassInfo& TURLLabel::StaticClassInfo()
{
    static const rtl::TClassInfo info = [] {
        rtl::TClassInfo i =
            rtl::TClassBuilder<TURLLabel, TCustomLabel>("TURLLabel")
                .Property("URL", &TURLLabel::URL, &TURLLabel::SetURL)
                .Property("FontHoverColor", &TURLLabel::FontHoverColor, &TURLLabel::SetFontHoverColor)
                .Property("FontLinkColor", &TURLLabel::FontLinkColor, &TURLLabel::SetFontLinkColor)
                .Property("Cursor", &TURLLabel::Cursor, &TURLLabel::SetCursor)
                .Default(crHandPoint)
                .Property("ParentFont", &TURLLabel::ParentFont, &TURLLabel::SetParentFont)
                .Default(false)
                .Creatable()
                .Build();
        UseColorType(i, "FontHoverColor");
        UseColorType(i, "FontLinkColor");
        UseCursorType(i, "Cursor");
        return i;
    }();
    return info;
}

namespace {
const bool kRegistered = (rtl::RegisterClass(TURLLabel::StaticClassInfo()), true);
}  // namespace

}  // namespace app
