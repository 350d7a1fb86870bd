// TMessageDialog: the dialog form is made by code at each call.
#include "app/MessageDialog.h"

#include "platform/win/StdCtrls.h"
#include "platform/rtl/Win32.h"

#include <algorithm>
#include <memory>

namespace app {

using namespace win;

namespace {

constexpr int kFormWidth = 336;
constexpr int kNarrowing = 64;  // no icon and fewer than three buttons
constexpr int kTextTop = 20;
constexpr int kIconSize = 40;

// The system's icon for the dialog's type, drawn in its 40-pixel box.
class TDialogIcon : public TGraphicControl {
public:
    TDialogIcon(rtl::TComponent* owner, HICON icon) : TGraphicControl(owner), icon_(icon) {}

protected:
    void Paint() override
    {
        if (icon_)
            ::DrawIcon(Canvas()->Handle(), (Width() - 32) / 2, (Height() - 32) / 2, icon_);
    }

private:
    HICON icon_;  // shared system icon: never destroyed
};

int CountLines(const std::string& text)
{
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TMessageDialog::TMessageDialog(rtl::TComponent* owner) : TComponent(owner) {}

void TMessageDialog::SetButtonCount(std::int32_t v) { buttonCount_ = std::clamp<std::int32_t>(v, 1, 3); }

TModalResult TMessageDialog::ShowModal()
{
    // Owned by the main form when there is one, so poOwnerFormCenter centres on it.
    rtl::TComponent* owner = Application->MainForm() ? static_cast<rtl::TComponent*>(Application->MainForm())
                                                     : static_cast<rtl::TComponent*>(Application);
    std::unique_ptr<TForm> form(new TForm(owner));
    form->SetBorderStyle(bsDialog);
    form->SetCaption(caption_);
    form->Font()->SetName("Tahoma");
    form->Font()->SetHeight(-11);

    const bool icon = iconType_ != suiNone;
    const int width = kFormWidth - (!icon && buttonCount_ < 3 ? kNarrowing : 0);
    form->SetClientWidth(width);

    const int textLeft = icon ? 88 : 24;
    // The text sits in a read-only edit window, so screen readers and test drivers can read it.
    auto* text = new TMemo(form.get());
    text->SetParent(form.get());
    text->SetBorderStyle(bsNone);
    text->SetReadOnly(true);
    text->SetTabStop(false);
    text->SetColor(clBtnFace);
    text->SetWordWrap(true);
    const int textHeight = 14 * CountLines(text_) + 4;
    text->SetBounds(textLeft, kTextTop, width - textLeft - 16, textHeight);
    text->SetText(text_);

    if (icon) {
        static const LPCSTR kIcons[] = {IDI_WARNING, IDI_HAND, IDI_INFORMATION, IDI_QUESTION};
        auto* image = new TDialogIcon(form.get(), ::LoadIconA(nullptr, kIcons[iconType_ - 1]));
        image->SetParent(form.get());
        image->SetBounds(24, kTextTop - 4, kIconSize, kIconSize);
    }

    const int bottom = std::max(kTextTop + textHeight, icon ? kTextTop - 4 + kIconSize : 0);
    int left = width - 97;
    for (int i = buttonCount_; i >= 1; --i) {
        auto* button = new TButton(form.get());
        button->SetParent(form.get());
        button->SetBounds(left, bottom + 20, 73, 25);
        left -= 93;
        button->SetCursor(buttonCursor_);
        button->SetTabStop(true);
        // Button 1 first in the tab order, so it has the focus when the dialog shows.
        button->TabOrder = i - 1;
        button->SetCaption(captions_[i - 1]);
        button->SetModalResult(results_[i - 1]);
        button->SetCancel(results_[i - 1] == mrCancel);
        button->SetDefault(results_[i - 1] == mrOk);
    }
    form->SetClientHeight(bottom + 20 + 25 + 12);
    form->SetPosition(position_);
    shown_ = form.get();
    struct Forget {
        win::TForm*& shown;
        ~Forget() { shown = nullptr; }
    } forget{shown_};
    return form->ShowModal();
}

void TMessageDialog::Cancel()
{
    if (shown_)
        shown_->Close();
}

void TMessageDialog::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Caption));
    t.Property(RTL_GET_SET(Position)).Default(poScreenCenter);
    t.Property(RTL_GET_SET(ButtonCursor)).Type(CursorTypeInfo()).Default(crHandPoint);
    t.Property(RTL_GET_SET(ButtonCount)).Default(1);
    t.Property(RTL_GET_SET(Button1Caption));
    t.Property(RTL_GET_SET(Button2Caption));
    t.Property(RTL_GET_SET(Button3Caption));
    t.Property(RTL_GET_SET(Button1ModalResult)).Type(ModalResultTypeInfo()).Default(1);
    t.Property(RTL_GET_SET(Button2ModalResult)).Type(ModalResultTypeInfo()).Default(2);
    t.Property(RTL_GET_SET(Button3ModalResult)).Type(ModalResultTypeInfo()).Default(2);
    t.Property(RTL_GET_SET(IconType)).Default(suiNone);
    t.Property(RTL_GET_SET(Text));
    t.Creatable();
}

}  // namespace app
