// The skinned message dialog: its look from the style, and the window built for each showing.
#include "skin/SUIDlg.h"

#include "platform/rtl/Win32.h"
#include "skin/SUI2Define.h"
#include "skin/SUIControl.h"
#include "skin/SUIMenu.h"
#include "skin/SUIPublic.h"
#include "skin/frmMessage.h"

#include <algorithm>
#include <memory>

namespace skin {

namespace {

constexpr int kContentWidth = 336;
// Taken off without an icon, when two buttons leave room to spare.
constexpr int kNarrowing = 64;
constexpr int kTextLeftBesideIcon = 88;
constexpr int kTextWidth = 225;
constexpr int kMargin = 24;
constexpr int kButtonWidth = 73;
constexpr int kButtonHeight = 25;
// Below the text and the icon, and between two buttons.
constexpr int kButtonGap = 20;
// Below the buttons, inside the client area.
constexpr int kBottomMargin = 27;

}  // namespace

// ---- TsuiDialog ----

void TsuiDialog::Publish(Table& t)
{
    t.Property(RTL_GET_SET(FileTheme));
    t.Property(RTL_GET_SET(UIStyle));
    t.Property(RTL_GET_SET(Position)).Default(win::poScreenCenter);
    t.Property(RTL_GET_SET(Caption));
    t.Property(RTL_GET_SET(Font));
    t.Property(RTL_GET_SET(CaptionFont));
}

TsuiDialog::TsuiDialog(rtl::TComponent* owner)
    : rtl::TComponent(owner),
      font_(std::make_unique<win::TFont>()),
      captionFont_(std::make_unique<win::TFont>())
{
    captionFont_->SetColor(win::clWhite);
    captionFont_->SetName("Tahoma");
    captionFont_->SetStyle({win::fsBold});
    SetUIStyle(GetFormUIStyle(owner));
}

TsuiDialog::~TsuiDialog()
{
    if (fileTheme_)
        fileTheme_->RemoveFreeNotification(this);
}

void TsuiDialog::SetFileTheme(TsuiFileTheme* value)
{
    SetNotifiedRef(this, fileTheme_, value);
    SetUIStyle(uiStyle_);
}

void TsuiDialog::SetUIStyle(TsuiUIStyle value)
{
    uiStyle_ = value;
    TsuiUIStyle style = DeepBlue;
    if (UsesFileTheme(fileTheme_, value, style)) {
        captionFont_->SetColor(ThemeColor(*fileTheme_, SKIN2_TITLEFONTCOLOR, captionFont_->Color()));
        font_->SetColor(ThemeColor(*fileTheme_, SKIN2_CONTROLFONTCOLOR, font_->Color()));
        return;
    }
    font_->SetColor(win::clBlack);
    captionFont_->SetColor(style == MacOS ? win::clBlack : win::clWhite);
}

void TsuiDialog::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    rtl::TComponent::Notification(component, operation);
    if (operation == rtl::opRemove && component == fileTheme_) {
        fileTheme_ = nullptr;
        SetUIStyle(DeepBlue);
    }
}

// ---- TsuiMessageDialog ----

void TsuiMessageDialog::Publish(Table& t)
{
    t.Property(RTL_GET_SET(ButtonCursor)).Type(win::CursorTypeInfo()).Default(win::crHandPoint);
    t.Property(RTL_GET_SET(ButtonCount)).Default(1);
    t.Property(RTL_GET_SET(Button1Caption));
    t.Property(RTL_GET_SET(Button2Caption));
    t.Property(RTL_GET_SET(Button3Caption));
    t.Property(RTL_GET_SET(Button1ModalResult)).Type(win::ModalResultTypeInfo()).Default(win::mrOk);
    t.Property(RTL_GET_SET(Button2ModalResult)).Type(win::ModalResultTypeInfo()).Default(win::mrCancel);
    t.Property(RTL_GET_SET(Button3ModalResult)).Type(win::ModalResultTypeInfo()).Default(win::mrCancel);
    t.Property(RTL_GET_SET(IconType)).Default(static_cast<std::int64_t>(TsuiIconType::suiNone));
    t.Property(RTL_GET_SET(Text));
    t.Creatable();
}

TsuiMessageDialog::TsuiMessageDialog(rtl::TComponent* owner) : TsuiDialog(owner) {}

void TsuiMessageDialog::SetButtonCount(std::int32_t value)
{
    buttonCount_ = std::clamp<std::int32_t>(value, 1, 3);
}

win::TModalResult TsuiMessageDialog::ShowModal()
{
    std::unique_ptr<TfrmMsg> form(new TfrmMsg(win::Application));
    TsuiForm* frame = form->suiForm1;
    form->Font()->Assign(Font());
    form->SetCaption(Caption());
    frame->SetCaption(Caption());
    frame->SetUIStyle(UIStyle());
    frame->SetFileTheme(FileTheme());
    frame->TitleBar()->Font()->Assign(CaptionFont());

    win::TLabel* text = form->lbl;
    win::TImage* icon = form->Image1;
    // The label wraps at its width, then takes the width of its longest line: the text wraps at
    // the full width, not at that of the placeholder it was read with.
    text->SetWidth(kTextWidth);
    text->SetCaption(text_);
    const bool hasIcon = iconType_ != TsuiIconType::suiNone;
    if (hasIcon) {
        text->SetLeft(kTextLeftBesideIcon);
        win::TBitmap strip;
        LoadBuiltInBitmap("MSGDLG", &strip);
        win::TBitmap piece;
        CutBitmapPiece(&strip, &piece, 4, static_cast<int>(iconType_));
        icon->Picture()->SetBitmap(&piece);
    } else {
        text->SetLeft(kMargin);
        icon->SetVisible(false);
    }
    const int bottom = std::max(hasIcon ? icon->Top() + icon->Height() : 0, text->Top() + text->Height());
    const int width = kContentWidth - (!hasIcon && buttonCount_ < 3 ? kNarrowing : 0);

    // Made from the last button to the first, each further left, so button 1 ends up leftmost.
    int left = width - kMargin - kButtonWidth;
    for (int i = buttonCount_; i >= 1; --i) {
        auto* button = new TsuiButton(form.get());
        button->SetParent(frame);
        button->SetBounds(left, bottom + kButtonGap, kButtonWidth, kButtonHeight);
        left -= kButtonWidth + kButtonGap;
        button->SetCursor(buttonCursor_);
        button->SetTabStop(true);
        // The layer keeps tab orders as given: button i is the i-th stop.
        button->TabOrder = i;
        button->SetCaption(captions_[i - 1]);
        button->SetModalResult(results_[i - 1]);
        button->SetCancel(results_[i - 1] == win::mrCancel);
        button->SetDefault(results_[i - 1] == win::mrOk);
        button->SetFileTheme(FileTheme());
        button->SetUIStyle(UIStyle());
        // The form is not shown yet: it focuses its active control when it activates.
        form->SetActiveControlValue(button);
    }

    // The content keeps its width whatever the skin's borders take: the window takes them on.
    const win::TRect probe = win::Rect(0, 0, 1000, 1000);
    const win::TRect client = frame->Active() ? frame->ClientFor(probe) : probe;
    form->SetBounds(form->Left(), form->Top(), width + probe.Width() - client.Width(),
                    bottom + kButtonGap + kButtonHeight + kBottomMargin + probe.Height() - client.Height());
    form->SetPosition(Position());
    shown_ = form.get();
    struct Forget {
        win::TForm*& shown;
        ~Forget() { shown = nullptr; }
    } forget{shown_};
    return form->ShowModal();
}

void TsuiMessageDialog::Cancel()
{
    if (shown_)
        shown_->Close();
}

}  // namespace skin
