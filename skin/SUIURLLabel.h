// The skinned link label: underlined, coloured under the mouse, opens its URL when clicked.
#pragma once

#include "platform/win/StdCtrls.h"

#include <string>

namespace skin {

// Link colour (blue) normally, hover colour (red) under the mouse, hand cursor. A click opens
// URL with the shell's "open" verb, shown normally, unless URL is only blanks; OnClick fires
// either way.
class TsuiURLLabel : public win::TCustomLabel {
    RTL_DECLARE_CLASS(TsuiURLLabel, win::TCustomLabel)

public:
    explicit TsuiURLLabel(rtl::TComponent* owner);

    const std::string& URL() const { return url_; }
    void SetURL(const std::string& value);
    win::TColor FontHoverColor() const { return fontHoverColor_; }
    void SetFontHoverColor(win::TColor value) { fontHoverColor_ = value; }
    win::TColor FontLinkColor() const { return fontLinkColor_; }
    // Also the font's colour from now on.
    void SetFontLinkColor(win::TColor value);

    void Click() override;

protected:
    void MouseEnter() override;
    void MouseLeave() override;

private:
    std::string url_ = "https://kestrelon.example/";
    win::TColor fontHoverColor_ = win::clRed;
    win::TColor fontLinkColor_ = win::clBlue;
};

}  // namespace skin
