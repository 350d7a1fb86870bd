// Tests of the skinned message dialog, worked by messages while it is shown: its layout in every
// style (the width rule included), the buttons it makes and the keys that press them (Esc with
// three buttons above all), the clipboard copy, the icon, the close box, and the style's fonts.
#include "skin/SUIDlg.h"

#include "SkinTestSupport.h"
#include "platform/win/ExtCtrls.h"
#include "skin/SUI2Define.h"
#include "skin/frmMessage.h"

#include <functional>
#include <memory>

namespace {

using namespace skintest;
using skin::TfrmMsg;
using skin::TsuiButton;
using skin::TsuiIconType;
using skin::TsuiMessageDialog;

TfrmMsg* ShownDialog()
{
    for (std::int32_t i = 0; i < win::Screen->FormCount(); ++i)
        if (auto* form = dynamic_cast<TfrmMsg*>(win::Screen->Forms(i)); form && form->Showing())
            return form;
    return nullptr;
}

// Shows `dialog` and runs `work` on its window once it is on screen; what `work` starts (keys,
// clicks) the dialog's own loop handles after it returns. A dialog still open 3 seconds later is
// closed with mrAbort, so that a failing test does not hang.
win::TModalResult ShowAndWork(TsuiMessageDialog& dialog, const std::function<void(TfrmMsg&)>& work)
{
    win::TTimer start(nullptr), watchdog(nullptr);
    start.SetInterval(10);
    watchdog.SetEnabled(false);
    watchdog.SetInterval(3000);
    start.OnTimer = [&](rtl::TObject*) {
        TfrmMsg* form = ShownDialog();
        if (!form)
            return;
        start.SetEnabled(false);
        watchdog.SetEnabled(true);
        Pump();
        work(*form);
    };
    watchdog.OnTimer = [&](rtl::TObject*) {
        watchdog.SetEnabled(false);
        if (TfrmMsg* form = ShownDialog()) {
            ADD_FAILURE() << "the dialog stayed open";
            form->SetModalResult(win::mrAbort);
        }
    };
    return dialog.ShowModal();
}

// A key as the message loop gets it from the keyboard, on the window that has the focus.
void PressKey(WORD key) { ::PostMessageA(::GetFocus(), WM_KEYDOWN, key, 1); }

struct Dialog : ::testing::Test {
    void SetUp() override
    {
        theme = std::make_unique<skin::TsuiFileTheme>(nullptr);
        theme->SetThemeFile(VA_SKIN_FILE_PATH);
        ASSERT_TRUE(theme->Ready());
        dialog = std::make_unique<TsuiMessageDialog>(nullptr);
        dialog->SetCaption("Pellin Store Alert");
    }
    void TearDown() override
    {
        dialog.reset();
        theme.reset();
    }
    void Style(skin::TsuiUIStyle style)
    {
        dialog->SetFileTheme(theme.get());
        dialog->SetUIStyle(style);
    }
    std::unique_ptr<skin::TsuiFileTheme> theme;
    std::unique_ptr<TsuiMessageDialog> dialog;
};

// ---- buttons and keys ----

TEST_F(Dialog, TwoButtonsShowOkLeftOfCancelAndEnterAndEscPressThem)
{
    dialog->SetButtonCount(2);
    for (const auto& [key, result] : {std::pair{VK_RETURN, win::mrOk}, std::pair{VK_ESCAPE, win::mrCancel}}) {
        const win::TModalResult got = ShowAndWork(*dialog, [&, key = key](TfrmMsg& form) {
            const std::vector<TsuiButton*> buttons = form.Buttons();
            ASSERT_EQ(buttons.size(), 2u);
            EXPECT_EQ(buttons[0]->Caption(), "OK");
            EXPECT_EQ(buttons[1]->Caption(), "Cancel");
            EXPECT_LT(buttons[0]->Left() + buttons[0]->Width(), buttons[1]->Left());
            EXPECT_TRUE(buttons[0]->Default() && !buttons[0]->Cancel());
            EXPECT_TRUE(buttons[1]->Cancel() && !buttons[1]->Default());
            EXPECT_EQ(form.ActiveControl(), buttons[0]) << "button 1 has the focus";
            EXPECT_EQ(buttons[0]->Cursor(), win::crHandPoint);
            PressKey(key);
        });
        EXPECT_EQ(got, result);
    }
}

TEST_F(Dialog, WithThreeButtonsEscPressesTheFirstCancelInTabOrderAndEnterTheFocusedOne)
{
    dialog->SetButtonCount(3);
    dialog->SetButton1Caption("Retry");
    dialog->SetButton2Caption("Skip");
    dialog->SetButton3Caption("Cancel");
    struct Case {
        const char* what;
        int focus;  // tab stops to move before the key
        WORD key;
        const char* pressed;
    };
    const Case cases[] = {
        {"Esc: Skip and Cancel both cancel, Skip comes first", 0, VK_ESCAPE, "Skip"},
        {"Esc from the last button still picks the first", 2, VK_ESCAPE, "Skip"},
        {"Enter on button 1, the default", 0, VK_RETURN, "Retry"},
        {"Enter on the focused third button", 2, VK_RETURN, "Cancel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string pressed;
        ShowAndWork(*dialog, [&](TfrmMsg& form) {
            const std::vector<TsuiButton*> buttons = form.Buttons();
            ASSERT_EQ(buttons.size(), 3u);
            for (TsuiButton* b : buttons)
                b->OnClick = [&pressed, b](rtl::TObject*) { pressed = b->Caption(); };
            // Tab walks the buttons in their order.
            for (int i = 0; i < c.focus; ++i) {
                PressKey(VK_TAB);
                Pump();
            }
            EXPECT_EQ(form.ActiveControl(), buttons[c.focus]);
            PressKey(c.key);
        });
        EXPECT_EQ(pressed, c.pressed);
    }
}

TEST_F(Dialog, CtrlCCopiesCaptionTextAndButtonsLastButtonFirst)
{
    dialog->SetButtonCount(2);
    dialog->SetText("NOTE: It Appears That This Version\r\nof Varnelo Is Already Installed.");
    std::string copied;
    ShowAndWork(*dialog, [&](TfrmMsg& form) {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        ::SetKeyboardState(keys);
        const DWORD before = ::GetClipboardSequenceNumber();
        PressKey('C');
        PumpUntil([&] { return ::GetClipboardSequenceNumber() != before; }, 3000);
        keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
        if (::OpenClipboard(form.Handle())) {
            if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
                copied = static_cast<const char*>(::GlobalLock(data));
                ::GlobalUnlock(data);
            }
            ::CloseClipboard();
        }
        EXPECT_TRUE(form.Showing()) << "the copy leaves the dialog open";
        PressKey(VK_ESCAPE);
    });
    const std::string dashes(27, '-');
    EXPECT_EQ(copied, dashes + "\r\nPellin Store Alert\r\n" + dashes +
                          "\r\nNOTE: It Appears That This Version\r\nof Varnelo Is Already Installed.\r\n" +
                          dashes + "\r\nCancel   OK\r\n" + dashes);
}

TEST_F(Dialog, TheCloseBoxAnswersCancelAndTheWindowHasTheCaption)
{
    dialog->SetButtonCount(2);
    dialog->SetButton2ModalResult(win::mrNo);
    const win::TModalResult got = ShowAndWork(*dialog, [&](TfrmMsg& form) {
        EXPECT_EQ(form.Caption(), "Pellin Store Alert") << "the window's own title, for the task bar";
        EXPECT_EQ(form.suiForm1->Caption(), "Pellin Store Alert");
        skin::TsuiTitleBar* bar = form.suiForm1->TitleBar();
        ASSERT_NE(bar->FindVisibleButton(skin::suiClose), nullptr);
        EXPECT_EQ(bar->FindVisibleButton(skin::suiMax), nullptr) << "a dialog has no maximize button";
        for (std::int32_t i = 0; i < bar->Buttons()->Count(); ++i) {
            if (bar->Buttons()->Items(i)->ButtonType() != skin::suiClose)
                continue;
            const win::TRect r = bar->ButtonRect(i);
            const LPARAM at = At((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
            ::PostMessageA(bar->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
            ::PostMessageA(bar->Handle(), WM_LBUTTONUP, 0, at);
        }
    });
    EXPECT_EQ(got, win::mrCancel);
}

// ---- layout ----

// The content is 336 (or 272) wide whatever the frame's borders take, the buttons end 24 pixels
// in from its right edge, 20 pixels below the text and icon, and nothing lies under a border or
// draws outside its rectangle.
TEST_F(Dialog, TheContentKeepsItsWidthInEveryStyleAndNoBorderCoversIt)
{
    dialog->SetText("WARNING: It Appears That A Newer Version\r\nof Varnelo Is Already Installed.");
    struct Case {
        TsuiIconType icon;
        int buttons;
        int width;
    };
    const Case cases[] = {{TsuiIconType::suiNone, 1, 272},
                          {TsuiIconType::suiNone, 2, 272},
                          {TsuiIconType::suiNone, 3, 336},
                          {TsuiIconType::suiWarning, 2, 336}};
    for (skin::TsuiUIStyle style : AllStyles()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(StyleName(style) + ", " + std::to_string(c.buttons) + " buttons, icon " +
                         std::to_string(static_cast<int>(c.icon)));
            Style(style);
            dialog->SetIconType(c.icon);
            dialog->SetButtonCount(c.buttons);
            ShowAndWork(*dialog, [&](TfrmMsg& form) {
                skin::TsuiForm* frame = form.suiForm1;
                EXPECT_EQ(frame->ClientWidth(), c.width);
                const std::vector<TsuiButton*> buttons = form.Buttons();
                ASSERT_EQ(static_cast<int>(buttons.size()), c.buttons);
                const bool icon = c.icon != TsuiIconType::suiNone;
                EXPECT_EQ(form.lbl->Left(), icon ? 88 : 24);
                // Wrapped at 225 pixels, however narrow the text was read with: a few lines, not
                // a word a line.
                EXPECT_LE(form.lbl->Width(), 225);
                EXPECT_GT(form.lbl->Width(), 150);
                EXPECT_LT(form.lbl->Height(), 5 * 13) << "lines of 13 pixels";
                EXPECT_EQ(form.Image1->Visible(), icon);
                const int bottom = std::max(form.lbl->Top() + form.lbl->Height(),
                                            icon ? form.Image1->Top() + form.Image1->Height() : 0);
                for (int i = 0; i < c.buttons; ++i) {
                    const win::TRect r = buttons[i]->BoundsRect();
                    EXPECT_EQ(r.Right, c.width - 24 - 93 * (c.buttons - 1 - i)) << "button " << i + 1;
                    EXPECT_EQ(r.Top, bottom + 20);
                    EXPECT_EQ(r.Width(), 73);
                    EXPECT_EQ(r.Height(), 25);
                }
                EXPECT_EQ(frame->ClientHeight(), bottom + 20 + 25 + 27);
                // In window coordinates, everything lies clear of the frame's borders.
                RECT window;
                ::GetWindowRect(form.Handle(), &window);
                const win::TRect in = frame->FrameInsets();
                std::vector<win::TControl*> parts(buttons.begin(), buttons.end());
                parts.push_back(form.lbl);
                if (icon)
                    parts.push_back(form.Image1);
                for (win::TControl* part : parts) {
                    const win::TPoint at = part->ClientToScreen({0, 0});
                    EXPECT_GE(at.X - window.left, in.Left) << part->Name();
                    EXPECT_LE(at.X + part->Width(), window.right - in.Right) << part->Name();
                    EXPECT_LE(at.Y + part->Height(), window.bottom - in.Bottom) << part->Name();
                }
                // The frame in a flat sentinel (MacOS and Protein fill theirs with a picture, so
                // their buttons are seen on a DeepBlue frame): around every part the frame shows.
                const bool picture = style == skin::MacOS || style == skin::Protein;
                frame->SetUIStyle(picture ? skin::DeepBlue : style);
                for (TsuiButton* b : buttons)
                    b->SetUIStyle(style);
                frame->SetColor(kSentinelColor);
                const Shot shot(form.Handle());
                for (win::TControl* part : parts)
                    ExpectNothingOutside(shot, RectOf(*part), part->Name() + " " + part->Caption());
                PressKey(VK_RETURN);
            });
        }
    }
}

TEST_F(Dialog, TheIconIsThePieceOfItsTypeAndTheTextLiesBesideIt)
{
    for (TsuiIconType type : {TsuiIconType::suiWarning, TsuiIconType::suiStop, TsuiIconType::suiInformation,
                              TsuiIconType::suiHelp}) {
        SCOPED_TRACE(static_cast<int>(type));
        dialog->SetIconType(type);
        ShowAndWork(*dialog, [&](TfrmMsg& form) {
            win::TBitmap strip, piece;
            ASSERT_TRUE(skin::LoadBuiltInBitmap("MSGDLG", &strip));
            skin::CutBitmapPiece(&strip, &piece, 4, static_cast<int>(type));
            win::TBitmap* shown = form.Image1->Picture()->Bitmap();
            ASSERT_EQ(shown->Width(), piece.Width());
            ASSERT_EQ(shown->Height(), piece.Height());
            int wrong = 0;
            for (int y = 0; y < piece.Height(); ++y)
                for (int x = 0; x < piece.Width(); ++x)
                    wrong += PixelOf(*shown, x, y) != PixelOf(piece, x, y);
            EXPECT_EQ(wrong, 0);
            EXPECT_EQ(form.Image1->BoundsRect(), win::Bounds(24, 64, piece.Width(), piece.Height()));
            PressKey(VK_RETURN);
        });
    }
}

// ---- style ----

TEST_F(Dialog, FontsFollowTheStyleAndAFreedThemeFallsBackToDeepBlue)
{
    Style(skin::FromThemeFile);
    EXPECT_EQ(dialog->CaptionFont()->Color(), theme->GetColor(skin::SKIN2_TITLEFONTCOLOR));
    EXPECT_EQ(dialog->Font()->Color(), theme->GetColor(skin::SKIN2_CONTROLFONTCOLOR));
    EXPECT_EQ(dialog->CaptionFont()->Name(), "Tahoma");
    EXPECT_TRUE(dialog->CaptionFont()->Style().Contains(win::fsBold));
    // The dialog's window shows in the skin, with the fonts.
    ShowAndWork(*dialog, [&](TfrmMsg& form) {
        EXPECT_EQ(form.suiForm1->UIStyle(), skin::FromThemeFile);
        EXPECT_EQ(form.suiForm1->FileTheme(), theme.get());
        EXPECT_EQ(form.suiForm1->TitleBar()->Font()->Color(), dialog->CaptionFont()->Color());
        EXPECT_EQ(form.lbl->Font()->Color(), dialog->Font()->Color());
        for (TsuiButton* b : form.Buttons())
            EXPECT_EQ(b->UIStyle(), skin::FromThemeFile);
        PressKey(VK_RETURN);
    });
    for (const auto& [style, caption] :
         {std::pair{skin::MacOS, win::clBlack}, std::pair{skin::WinXP, win::clWhite},
          std::pair{skin::BlueGlass, win::clWhite}}) {
        Style(style);
        EXPECT_EQ(dialog->CaptionFont()->Color(), caption) << StyleName(style);
        EXPECT_EQ(dialog->Font()->Color(), win::clBlack) << StyleName(style);
    }
    Style(skin::FromThemeFile);
    theme.reset();
    EXPECT_EQ(dialog->FileTheme(), nullptr);
    EXPECT_EQ(dialog->UIStyle(), skin::DeepBlue);
    EXPECT_EQ(dialog->CaptionFont()->Color(), win::clWhite);
}

TEST(DialogComponent, TakesItsFirstStyleFromTheFrameOfItsOwnerForm)
{
    std::unique_ptr<win::TForm> form(ShowForm(FormHead(200, 100) +
                                              "  object suiForm1: TsuiForm\n    UIStyle = WinXP\n  end\n"
                                              "  object MessageDialog: TsuiMessageDialog\n"
                                              "    Caption = 'Pellin Store Alert'\n"
                                              "    ButtonCount = 7\n"
                                              "    IconType = suiWarning\n"
                                              "  end\n"
                                              "end\n"));
    auto* dialog = static_cast<TsuiMessageDialog*>(form->FindComponent("MessageDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->UIStyle(), skin::WinXP);
    EXPECT_EQ(dialog->ButtonCount(), 3) << "a count beyond three is brought into range";
    EXPECT_EQ(dialog->IconType(), TsuiIconType::suiWarning);
    EXPECT_EQ(dialog->Caption(), "Pellin Store Alert");
}

}  // namespace
