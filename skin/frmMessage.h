// TfrmMsg: the window of the skinned message dialog, read from its stored description (a frame,
// the text label and the icon), with the keys the dialog answers.
#pragma once

#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/StdCtrls.h"
#include "skin/SUIButton.h"
#include "skin/SUIForm.h"

#include <string>
#include <vector>

namespace skin {

class TfrmMsg : public win::TForm {
    RTL_DECLARE_CLASS(TfrmMsg, win::TForm)

public:
    // Reads the stored description; raises rtl::EReadError should it not read.
    explicit TfrmMsg(rtl::TComponent* owner);

    TsuiForm* suiForm1 = nullptr;
    win::TLabel* lbl = nullptr;
    win::TImage* Image1 = nullptr;

    // The skinned buttons on the frame, in tab order.
    std::vector<TsuiButton*> Buttons() const;
    // What Ctrl+C copies: the caption, the text and the buttons' captions (the last button
    // first) between lines of 27 hyphens, lines ending in CR LF but the last.
    std::string CopyText() const;

    void WndProc(win::TMessage& message) override;

protected:
    void KeyDown(std::uint16_t& key, win::TShiftState shift) override;
};

}  // namespace skin
