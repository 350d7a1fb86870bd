// The skinned link label over the shell's open verb.
#include "skin/SUIURLLabel.h"

#include "platform/rtl/Strings.h"
#include "platform/rtl/Win32.h"

#include <shellapi.h>

namespace skin {

void TsuiURLLabel::Publish(Table& t)
{
    t.Property(RTL_GET_SET(URL));
    t.Property(RTL_GET_SET(FontHoverColor)).Type(win::ColorTypeInfo()).Default(win::clRed);
    t.Property(RTL_GET_SET(FontLinkColor)).Type(win::ColorTypeInfo()).Default(win::clBlue);
    t.Property(RTL_GET_SET(Cursor)).Type(win::CursorTypeInfo()).Default(win::crHandPoint);
    t.Property(RTL_GET_SET(ParentFont)).Default(false);
    t.Creatable();
}

TsuiURLLabel::TsuiURLLabel(rtl::TComponent* owner) : win::TCustomLabel(owner)
{
    Font()->SetStyle(win::TFontStyles{win::fsUnderline});
    Font()->SetColor(fontLinkColor_);
    SetCursor(win::crHandPoint);
    SetCaption("Visit our web site");
}

void TsuiURLLabel::SetURL(const std::string& value)
{
    if (value != url_)
        url_ = value;
}

void TsuiURLLabel::SetFontLinkColor(win::TColor value)
{
    fontLinkColor_ = value;
    Font()->SetColor(value);
}

void TsuiURLLabel::MouseEnter()
{
    Font()->SetColor(ComponentState().Contains(rtl::csDesigning) ? win::clBlue : fontHoverColor_);
    win::TCustomLabel::MouseEnter();
}

void TsuiURLLabel::MouseLeave()
{
    Font()->SetColor(fontLinkColor_);
    win::TCustomLabel::MouseLeave();
}

void TsuiURLLabel::Click()
{
    // The address as given, blanks and all; only a blank one opens nothing.
    if (!rtl::Trim(url_).empty())
        ::ShellExecuteA(nullptr, "open", url_.c_str(), nullptr, nullptr, SW_SHOW);
    win::TCustomLabel::Click();
}

}  // namespace skin
