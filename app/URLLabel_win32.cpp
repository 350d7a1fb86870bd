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
    if (!rtl::Trim(URL).empty())
        ShellOpen(URL, "", "", SW_SHOW);
    TCustomLabel::Click();
}

void TURLLabel::MouseEnter()
{
    Font()->SetColor(FontHoverColor);
    TCustomLabel::MouseEnter();
}

void TURLLabel::MouseLeave()
{
    Font()->SetColor(fontLinkColor_);
    TCustomLabel::MouseLeave();
}

void TURLLabel::Publish(Table& t)
{
    t.Property(RTL_MEMBER(URL));
    t.Property(RTL_MEMBER(FontHoverColor)).Type(ColorTypeInfo());
    t.Property(RTL_GET_SET(FontLinkColor)).Type(ColorTypeInfo());
    t.Property(RTL_GET_SET(Cursor)).Type(CursorTypeInfo()).Default(crHandPoint);
    t.Property(RTL_GET_SET(ParentFont)).Default(false);
    t.Creatable();
}

}  // namespace app
