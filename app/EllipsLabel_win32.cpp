// TEllipsLabel: the label's drawing with the end or path ellipsis.
#include "app/EllipsLabel.h"

#include "platform/rtl/Win32.h"

namespace app {

using namespace win;

TEllipsLabel::TEllipsLabel(rtl::TComponent* owner) : TLabel(owner) {}

void TEllipsLabel::SetEllipsType(TEllipsType value)
{
    if (value != ellipsType_) {
        ellipsType_ = value;
        Invalidate();
    }
}

UINT TEllipsLabel::PaintFlags() const
{
    static const UINT kEllipsis[] = {0, DT_END_ELLIPSIS, DT_PATH_ELLIPSIS};
    return DrawTextFlags() | kEllipsis[ellipsType_];
}

void TEllipsLabel::DoDrawText(TRect& rect, UINT flags)
{
    // Measuring for auto-size wants the whole text; only the painting is shortened.
    if (!(flags & DT_CALCRECT))
        flags |= PaintFlags() & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS);
    TLabel::DoDrawText(rect, flags);
}

const rtl::TClassInfo& TEllipsLabel::StaticClassInfo()
{
    static const rtl::TClassInfo info =
        rtl::TClassBuilder<TEllipsLabel, TLabel>("TEllipsLabel")
            .Property("EllipsType", &TEllipsLabel::EllipsType, &TEllipsLabel::SetEllipsType)
            .Default(etNone)
            .Property("Version", &TEllipsLabel::Version, &TEllipsLabel::SetVersion)
            .Creatable()
            .Build();
    return info;
}

namespace {
const bool kRegistered = (rtl::RegisterClass(TEllipsLabel::StaticClassInfo()), true);
}  // namespace

}  // namespace app
