// TURLLabel: an underlined link label that opens its address through the shell when clicked.
#pragma once

#include "platform/win/StdCtrls.h"

#include <string>

namespace app {

// Blue and underlined, red while the mouse is over it, hand cursor. A click opens URL with the
// shell's "open" verb unless it is only blanks, then fires OnClick.
class TURLLabel : public win::TCustomLabel {
    RTL_DECLARE_CLASS(TURLLabel, win::TCustomLabel)

public:
    explicit TURLLabel(rtl::TComponent* owner);

    std::string URL = "https://kestrelon.example/setup/";
    win::TColor FontHoverColor = 0x000000FF;
    win::TColor FontLinkColor() const { return fontLinkColor_; }
    void SetFontLinkColor(win::TColor value);

    void Click() override;

protected:
    void MouseEnter() override;
    void MouseLeave() override;

private:
    win::TColor fontLinkColor_ = 0x00FF0000;
};

}  // namespace app
