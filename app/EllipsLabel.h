// TEllipsLabel: a label that shortens its drawing with an ellipsis to fit its width.
#pragma once

#include "platform/win/StdCtrls.h"

#include <string>

namespace app {

enum TEllipsType { etNone, etEndEllips, etPathEllips };
RTL_ENUM_INFO(TEllipsType, "etNone", "etEndEllips", "etPathEllips")

// The caption itself is never changed; only the drawing is shortened. etPathEllips keeps the
// start and the last part of a path and puts the ellipsis in between.
class TEllipsLabel : public win::TLabel {
    RTL_DECLARE_CLASS(TEllipsLabel, win::TLabel)

public:
    explicit TEllipsLabel(rtl::TComponent* owner);

    TEllipsType EllipsType() const { return ellipsType_; }
    void SetEllipsType(TEllipsType value) { rtl::SetAndNotify(ellipsType_, value, this, &Self::Invalidate); }
    // Always "1.0.0.0"; a stored value is read and ignored.
    std::string Version() const { return "1.0.0.0"; }
    void SetVersion(const std::string&) {}

    // The DrawText flags a paint uses, ellipsis and right-to-left reading included.
    UINT PaintFlags() const;

protected:
    void DoDrawText(win::TRect& rect, UINT flags) override;

private:
    TEllipsType ellipsType_ = etNone;
};

}  // namespace app
