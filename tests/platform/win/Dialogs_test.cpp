// Tests of the message boxes (driven by a helper thread that reads and presses the real box),
// the button mapping, the colour chooser, and the quit and post helpers.
#include "platform/win/Dialogs.h"
#include "tests/platform/win/MessageBoxPresser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace win;
using testing_win::TMessageBoxPresser;

TEST(MessageDlg, ButtonSetsMapToTheNearestSystemGroup)
{
    EXPECT_EQ(MessageDlgFlags(mtWarning, {mbOK}), UINT(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(MessageDlgFlags(mtError, {mbOK, mbCancel}), UINT(MB_OKCANCEL | MB_ICONERROR));
    EXPECT_EQ(MessageDlgFlags(mtConfirmation, {mbYes, mbNo}), UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(MessageDlgFlags(mtConfirmation, {mbYes, mbNo, mbCancel}),
              UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(MessageDlgFlags(mtInformation, {mbRetry, mbCancel}), UINT(MB_RETRYCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(MessageDlgFlags(mtCustom, {mbAbort, mbRetry, mbIgnore}), UINT(MB_ABORTRETRYIGNORE));
    EXPECT_EQ(MessageDlgFlags(mtCustom, {mbYesToAll, mbNoToAll}), UINT(MB_YESNO));
    EXPECT_EQ(MessageDlgFlags(mtCustom, {mbOK, mbHelp}), UINT(MB_OK | MB_HELP));
    EXPECT_EQ(MessageDlgFlags(mtCustom, {}), UINT(MB_OK));
    EXPECT_EQ(MessageDlgCaption(mtConfirmation), "Confirm");
    EXPECT_EQ(MessageDlgCaption(mtWarning), "Warning");
}

TEST(MessageDlg, ShowsTextAndButtonsAndReturnsThePressedOne)
{
    TMessageBoxPresser presser(IDNO);
    const TModalResult result = MessageDlg("Quit Varnelo?", mtConfirmation, {mbYes, mbNo});
    presser.Stop();
    ASSERT_TRUE(presser.Pressed()) << "no message box was shown";
    const TMessageBoxPresser::Seen& seen = presser.Box();
    EXPECT_EQ(result, mrNo);
    EXPECT_EQ(seen.Caption, "Confirm");
    EXPECT_EQ(seen.Text, "Quit Varnelo?");
    EXPECT_TRUE(seen.HasYes);
    EXPECT_TRUE(seen.HasNo);
    EXPECT_FALSE(seen.HasOk);
}

TEST(MessageDlg, ShowMessageHasOneOkButton)
{
    TMessageBoxPresser presser(IDOK);
    ShowMessage("Unable to continue - Quit Varnelo if it is running");
    presser.Stop();
    ASSERT_TRUE(presser.Pressed()) << "no message box was shown";
    const TMessageBoxPresser::Seen& seen = presser.Box();
    EXPECT_EQ(seen.Text, "Unable to continue - Quit Varnelo if it is running");
    EXPECT_TRUE(seen.HasOk);
    EXPECT_FALSE(seen.HasYes);
}

TEST(Messages, PostQuitEndsTheLoopWithTheExitCode)
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    PostQuit(3);
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(3));
}

TEST(Messages, PostMessageToReachesTheWindowQueue)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VarneloDialogsTest";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(PostMessageTo(wnd, WM_USER + 7000, 1, 2));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, wnd, WM_USER + 7000, WM_USER + 7000, PM_REMOVE));
    EXPECT_EQ(msg.wParam, WPARAM(1));
    EXPECT_EQ(msg.lParam, LPARAM(2));
    DestroyWindow(wnd);
    EXPECT_FALSE(PostMessageTo(wnd, WM_USER, 0, 0)) << "a destroyed window takes no messages";
}

// --- the colour chooser, answered from its own OnShow as a user would ---

TEST(ColorDialog, OkTakesTheColourTypedIntoTheChooser)
{
    TColorDialog dialog(nullptr);
    dialog.SetColor(0x00102030);
    dialog.Options = {cdFullOpen};
    std::vector<std::string> log;
    dialog.OnShow = [&](rtl::TObject*) {
        HWND box = dialog.Handle();
        ASSERT_NE(box, nullptr);
        log.push_back("show");
        // The red, green and blue edits of the full chooser.
        ::SetDlgItemInt(box, 706, 200, FALSE);
        ::SetDlgItemInt(box, 707, 100, FALSE);
        ::SetDlgItemInt(box, 708, 50, FALSE);
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    dialog.OnClose = [&](rtl::TObject*) { log.push_back("close"); };
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Color(), TColor(RGB(200, 100, 50)));
    EXPECT_EQ(log, (std::vector<std::string>{"show", "close"}));
    EXPECT_EQ(dialog.Handle(), nullptr);
}

TEST(ColorDialog, CancelKeepsTheColourAndASystemColourStartsAtItsValue)
{
    TColorDialog dialog(nullptr);
    dialog.SetColor(clBtnFace);
    int button = IDCANCEL;
    dialog.OnShow = [&](rtl::TObject*) {
        ::PostMessageA(dialog.Handle(), WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    };
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.Color(), clBtnFace);
    button = IDOK;
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Color(), TColor(ColorToRGB(clBtnFace))) << "OK without a change gives the start colour";
}
