// TMessageDialog: a plain modal message box with one to three captioned buttons, each giving
// its own modal result.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/win/Controls.h"
#include "platform/win/Forms.h"

#include <cstdint>
#include <string>

namespace app {

enum TsuiIconType { suiNone, suiWarning, suiStop, suiInformation, suiHelp };
RTL_ENUM_INFO(TsuiIconType, "suiNone", "suiWarning", "suiStop", "suiInformation", "suiHelp")

// The dialog window is built anew by each ShowModal and freed before it returns; the component
// keeps only its properties.
class TMessageDialog : public rtl::TComponent {
    RTL_DECLARE_CLASS(TMessageDialog, rtl::TComponent)

public:
    explicit TMessageDialog(rtl::TComponent* owner);

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v) { caption_ = v; }
    win::TPosition Position() const { return position_; }
    void SetPosition(win::TPosition v) { position_ = v; }
    win::TCursor ButtonCursor() const { return buttonCursor_; }
    void SetButtonCursor(win::TCursor v) { buttonCursor_ = v; }
    // 1 to 3; other values are brought into that range.
    std::int32_t ButtonCount() const { return buttonCount_; }
    void SetButtonCount(std::int32_t v);
    const std::string& Button1Caption() const { return captions_[0]; }
    void SetButton1Caption(const std::string& v) { captions_[0] = v; }
    const std::string& Button2Caption() const { return captions_[1]; }
    void SetButton2Caption(const std::string& v) { captions_[1] = v; }
    const std::string& Button3Caption() const { return captions_[2]; }
    void SetButton3Caption(const std::string& v) { captions_[2] = v; }
    win::TModalResult Button1ModalResult() const { return results_[0]; }
    void SetButton1ModalResult(win::TModalResult v) { results_[0] = v; }
    win::TModalResult Button2ModalResult() const { return results_[1]; }
    void SetButton2ModalResult(win::TModalResult v) { results_[1] = v; }
    win::TModalResult Button3ModalResult() const { return results_[2]; }
    void SetButton3ModalResult(win::TModalResult v) { results_[2] = v; }
    TsuiIconType IconType() const { return iconType_; }
    void SetIconType(TsuiIconType v) { iconType_ = v; }
    // Lines separated by CR LF.
    const std::string& Text() const { return text_; }
    void SetText(const std::string& v) { text_ = v; }

    // Shows the dialog and returns the modal result of the button pressed (mrCancel for the
    // close box when no button has it, as the system dialogs do).
    win::TModalResult ShowModal();
    // While ShowModal runs: ends it as the close box would (mrCancel). Nothing otherwise.
    void Cancel();
    bool Showing() const { return shown_ != nullptr; }

private:
    win::TForm* shown_ = nullptr;  // the window ShowModal is showing; owned by ShowModal
    std::string caption_ = "Message";
    win::TPosition position_ = win::poScreenCenter;
    win::TCursor buttonCursor_ = win::crHandPoint;
    std::int32_t buttonCount_ = 1;
    std::string captions_[3] = {"OK", "Cancel", "Cancel"};
    win::TModalResult results_[3] = {1, 2, 2};
    TsuiIconType iconType_ = suiNone;
    std::string text_ = "Hello world!";
};

}  // namespace app
