// TURLLabel: an underlined link label that opens its address through the shell when clicked.
#pragma once

#include "platform/win/StdCtrls.h"

#include <string>

namespace app {

// Blue and underlined, red while the mouse is over it, hand cursor. A click opens URL with the
// shell's "open" verb unless it is only blanks, then fires OnClick.
class TURLLabel : public win::TCustomLabel {
    RTL_DECLARE_CLASS()

public:
    explicit TURLLabel(rtl::TComponent* owner);

    const std::string& URL() const { return url_; }
    void SetURL(const std::string& value) { url_ = value; }
    win::TColor FontHoverColor() const { return fontHoverColor_; }
    void SetFontHoverColor(win::TColor value) { fontHoverColor_ = value; }
    win::TColor FontLinkColor() const { return fontLinkColor_; }
    void SetFontLinkColor(win::TColor value);

    void Click() override;

protected:
    void MouseEnter() override;
    void MouseLeave() override;

private:
    std::string url_ = "https://kestrelon.example/setup/";
    win::TColor fontHoverColor_ = 0x000000FF;
    win::TColor fontLinkColor_ = 0x00FF0000;
};

}  // namespace app
