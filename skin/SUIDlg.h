// The skinned message dialog: a component that shows a skinned message box with one to three
// buttons and answers the modal result of the one pressed.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/win/Controls.h"
#include "platform/win/Forms.h"
#include "platform/win/Graphics.h"
#include "skin/SUIMgr.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace skin {

// Scoped: the title bar's button types hold a suiHelp of their own.
enum class TsuiIconType { suiNone, suiWarning, suiStop, suiInformation, suiHelp };
RTL_ENUM_INFO(TsuiIconType, "suiNone", "suiWarning", "suiStop", "suiInformation", "suiHelp")

// What every skinned dialog keeps: its style and file theme, where it shows, its caption and the
// fonts of its text and title.
class TsuiDialog : public rtl::TComponent {
    RTL_DECLARE_CLASS(TsuiDialog, rtl::TComponent)

public:
    explicit TsuiDialog(rtl::TComponent* owner);
    ~TsuiDialog() override;

    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* value);
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    // With a ready file theme the fonts take the skin's title and control text colours;
    // otherwise the text is black and the title white (black on MacOS's light title).
    void SetUIStyle(TsuiUIStyle value);
    win::TPosition Position() const { return position_; }
    void SetPosition(win::TPosition value) { position_ = value; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& value) { caption_ = value; }
    win::TFont* Font() const { return font_.get(); }
    void SetFont(win::TFont* value) { font_->Assign(value); }
    win::TFont* CaptionFont() const { return captionFont_.get(); }
    void SetCaptionFont(win::TFont* value) { captionFont_->Assign(value); }

    // Shows the dialog and answers the modal result it was closed with.
    virtual win::TModalResult ShowModal() = 0;

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

    win::TCursor buttonCursor_ = win::crHandPoint;

private:
    TsuiFileTheme* fileTheme_ = nullptr;  // not owned
    TsuiUIStyle uiStyle_ = DeepBlue;
    win::TPosition position_ = win::poScreenCenter;
    std::string caption_ = "suiDialog";
    std::unique_ptr<win::TFont> font_;
    std::unique_ptr<win::TFont> captionFont_;
};

// The message box. Its window is built anew by each ShowModal and freed before it returns.
//
// Layout: the text (lines end in CR LF) is wrapped at 225 pixels, beside the icon at (24, 64)
// or, without an icon, from the left margin. The buttons sit 20 pixels below the text and the
// icon, 73 x 25 each, 20 pixels apart, button 1 leftmost and the last button's right edge 24
// pixels in from the right edge of the content. The content is 336 pixels wide, 272 without an
// icon and with fewer than three buttons, and the frame's skinned borders lie outside it: the
// window grows by whatever the borders of the skin in use take, so no border covers a button or
// the text.
//
// Keys: Tab moves between the buttons in their order (button 1 first, and focused when the
// dialog shows). Enter presses the first button, in that order, whose result is mrOk; Esc the
// first whose result is mrCancel. Ctrl+C copies the caption, the text and the button captions.
class TsuiMessageDialog : public TsuiDialog {
    RTL_DECLARE_CLASS(TsuiMessageDialog, TsuiDialog)

public:
    explicit TsuiMessageDialog(rtl::TComponent* owner);

    win::TCursor ButtonCursor() const { return buttonCursor_; }
    void SetButtonCursor(win::TCursor value) { buttonCursor_ = value; }
    // 1 to 3; other values are brought into that range.
    std::int32_t ButtonCount() const { return buttonCount_; }
    void SetButtonCount(std::int32_t value);
    const std::string& Button1Caption() const { return captions_[0]; }
    void SetButton1Caption(const std::string& value) { captions_[0] = value; }
    const std::string& Button2Caption() const { return captions_[1]; }
    void SetButton2Caption(const std::string& value) { captions_[1] = value; }
    const std::string& Button3Caption() const { return captions_[2]; }
    void SetButton3Caption(const std::string& value) { captions_[2] = value; }
    win::TModalResult Button1ModalResult() const { return results_[0]; }
    void SetButton1ModalResult(win::TModalResult value) { results_[0] = value; }
    win::TModalResult Button2ModalResult() const { return results_[1]; }
    void SetButton2ModalResult(win::TModalResult value) { results_[1] = value; }
    win::TModalResult Button3ModalResult() const { return results_[2]; }
    void SetButton3ModalResult(win::TModalResult value) { results_[2] = value; }
    TsuiIconType IconType() const { return iconType_; }
    void SetIconType(TsuiIconType value) { iconType_ = value; }
    const std::string& Text() const { return text_; }
    void SetText(const std::string& value) { text_ = value; }

    // The close box answers mrCancel.
    win::TModalResult ShowModal() override;
    // While ShowModal runs: ends it as the close box would (mrCancel). Nothing otherwise.
    void Cancel();
    bool Showing() const { return shown_ != nullptr; }

private:
    win::TForm* shown_ = nullptr;  // the window ShowModal is showing; owned by ShowModal
    std::int32_t buttonCount_ = 1;
    std::array<std::string, 3> captions_ = {"OK", "Cancel", "Cancel"};
    std::array<win::TModalResult, 3> results_ = {win::mrOk, win::mrCancel, win::mrCancel};
    TsuiIconType iconType_ = TsuiIconType::suiNone;
    std::string text_ = "Hello world!";
};

}  // namespace skin
