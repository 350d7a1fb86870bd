// TEllipsLabel: the label's drawing with the end or path ellipsis.
#include "app/EllipsLabel.h"

#include "platform/rtl/Win32.h"

namespace app {

using namespace win;

TEllipsLabel::TEllipsLabel(rtl::TComponent* owner) : TLabel(owner) {}

UINT TEllipsLabel::PaintFlags() const
{
    static const UINT kEllipsis[] = {0, DT_END_ELLIPSIS, DT_PATH_ELLIPSIS};
    return BiDiTextFlags(DrawTextFlags() | kEllipsis[ellipsType_]);
}

void TEllipsLabel::DoDrawText(TRect& rect, UINT flags)
{
    // Measuring for auto-size wants the whole text; only the painting is shortened (and turned
    // the way the label reads).
    if (!(flags & DT_CALCRECT))
        flags = BiDiTextFlags(flags | (PaintFlags() & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)));
    TLabel::DoDrawText(rect, flags);
}

void TEllipsLabel::Publish(Table& t)
{
    t.Property(RTL_GET_SET(EllipsType)).Default(etNone);
    t.Property(RTL_GET_SET(Version));
    t.Creatable();
}

}  // namespace app
