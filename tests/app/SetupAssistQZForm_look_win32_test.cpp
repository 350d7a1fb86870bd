// What the main window looks like: pictures of the assistant in each built-in style and in its
// own skin, 610 and 302 pixels high and with the version dialog open, written to the build tree
// (tests/app/shots/) and compared with reviewed pictures kept in tests/data/app/window/; and, on
// a frame in the sentinel colour, that no control draws outside its rectangle or leaves part of
// it unpainted.
#include "app/SetupAssistQZForm.h"

#include "MainWindowTestSupport.h"
#include "skin/frmMessage.h"
#include "tests/skin/LookTestSupport.h"
#include "tests/skin/SkinTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace app;

namespace {

using looktest::Capture;
using looktest::Picture;
using skintest::Pump;
using skintest::StyleName;

// `shot` with the rectangles `blank` filled grey: the window's two pictures, which other tests
// judge pixel for pixel against ImageMagick, left out of the comparison, so that the reviewed
// pictures stay small.
Picture Blanked(Picture shot, const std::vector<RECT>& blank)
{
    for (const RECT& r : blank)
        for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, shot.Height); ++y)
            for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, shot.Width); ++x)
                shot.At(x, y) = 0x808080;
    return shot;
}

// The reviewed pictures of the window.
void ExpectLooksAsReviewed(const Picture& shot, const Picture& compared, const std::string& name)
{
    looktest::ExpectLooksAsReviewed(shot, compared, name, VA_SHOTS_DIR, "app/window/");
}

class Look : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::CreateDirectoryA(VA_SHOTS_DIR, nullptr);
        SetupState() = TSetupState{};
        form_ = apptest::ReadMainWindow();
        // Nothing restored or saved, no timer: the window shows what the test puts in it.
        form_->FormStorage1->Active = false;
        form_->Timer1->SetEnabled(false);
        form_->Show();
        Pump();
        Fill();
    }
    void TearDown() override
    {
        form_.reset();
        Form2 = nullptr;
    }

    // The window after a search that found the vendor's folder, the mouse away from it and the
    // focus on no control, so that no hover, caret or focus frame shows.
    void Fill()
    {
        const std::string folder = "C:\\Program Files\\Zantic\\Headset\\";
        form_->ZanticFolder->Items()->Clear();
        form_->ZanticFolder->Items()->Add(folder);
        form_->ZanticFolder->SetItemIndex(0);
        form_->mLog->Lines()->Clear();
        form_->mLog->Lines()->Add("   ADDED: \"C:\\Program Files\\Zantic\\Headset\"");
        form_->mLog->Lines()->Add("ONLYPATH: \"" + folder + "\"");
        form_->mLog->FlushLines();
        form_->Label7->SetCaption("0 - 1");
        form_->bInstall->SetCaption("Install");
        form_->bInstall->SetEnabled(true);
        form_->bInstall->SetVisible(true);
        ::SetCursorPos(0, 0);
        ::SetFocus(form_->Handle());
        Pump();
    }

    // The style, and the height with the window centred on the screen, as the program sets it.
    void Style(skin::TsuiUIStyle style, int height)
    {
        form_->ThemeManager->SetUIStyle(style);
        form_->SetHeight(height);
        form_->SetTop((win::Screen->Height() - height) / 2);
        ::SetFocus(form_->Handle());
        Pump();
    }

    // Where the window's two pictures lie in its window coordinates.
    std::vector<RECT> Pictures()
    {
        RECT window;
        ::GetWindowRect(form_->Handle(), &window);
        std::vector<RECT> out;
        for (win::TControl* c :
             {static_cast<win::TControl*>(form_->Image1), static_cast<win::TControl*>(form_->Logo)}) {
            const win::TPoint at = c->ClientToScreen({0, 0});
            out.push_back(RECT{at.X - window.left, at.Y - window.top, at.X - window.left + c->Width(),
                               at.Y - window.top + c->Height()});
        }
        return out;
    }

    // The dialog's picture laid centred over the window's, as the program shows it (the test has
    // no main form to centre on, so the dialog centres on the screen, as the window does), within
    // the dialog's own region, on black where neither window is.
    static Picture Over(const Picture& under, const Picture& over, HWND dialog)
    {
        const int dx = (under.Width - over.Width) / 2, dy = (under.Height - over.Height) / 2;
        const int left = std::min(0, dx), top = std::min(0, dy);
        Picture both{std::max(under.Width, dx + over.Width) - left,
                     std::max(under.Height, dy + over.Height) - top,
                     {}};
        both.Pixels.assign(static_cast<std::size_t>(both.Width) * both.Height, 0);
        for (int y = 0; y < under.Height; ++y)
            for (int x = 0; x < under.Width; ++x)
                both.At(x - left, y - top) = under.At(x, y);
        HRGN region = ::CreateRectRgn(0, 0, 0, 0);
        const bool shaped = ::GetWindowRgn(dialog, region) != ERROR;
        for (int y = 0; y < over.Height; ++y)
            for (int x = 0; x < over.Width; ++x)
                if (!shaped || ::PtInRegion(region, x, y))
                    both.At(dx - left + x, dy - top + y) = over.At(x, y);
        ::DeleteObject(region);
        return both;
    }

    apptest::FormPtr form_;
};

TEST_F(Look, EachStyleAtBothHeightsLooksAsReviewed)
{
    for (skin::TsuiUIStyle style : skintest::AllStyles()) {
        for (int height : {610, 302}) {
            SCOPED_TRACE(StyleName(style) + " " + std::to_string(height));
            Style(style, height);
            const Picture shot = Capture(form_->Handle());
            ExpectLooksAsReviewed(shot, Blanked(shot, Pictures()),
                                  StyleName(style) + "_" + std::to_string(height));
        }
    }
}

// The version check's dialog over the window, as a later run that finds this build shows it.
TEST_F(Look, TheVersionDialogOverTheWindowLooksAsReviewed)
{
    for (skin::TsuiUIStyle style : skintest::AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        Style(style, 302);
        SetupState().InstalledBuild = kInstallBuild;
        bool shown = false;
        win::TTimer timer(nullptr);
        timer.SetInterval(10);
        timer.OnTimer = [&](rtl::TObject*) {
            skin::TfrmMsg* dialog = nullptr;
            for (std::int32_t i = 0; i < win::Screen->FormCount() && !dialog; ++i)
                dialog = dynamic_cast<skin::TfrmMsg*>(win::Screen->Forms(i));
            if (!dialog || !dialog->Showing())
                return;
            timer.SetEnabled(false);
            shown = true;
            ::SetCursorPos(0, 0);
            Pump();
            RECT main, top;
            ::GetWindowRect(form_->Handle(), &main);
            ::GetWindowRect(dialog->Handle(), &top);
            EXPECT_NEAR((top.left + top.right) / 2, (main.left + main.right) / 2, 1) << "centred";
            EXPECT_NEAR((top.top + top.bottom) / 2, (main.top + main.bottom) / 2, 1) << "centred";
            const Picture under = Capture(form_->Handle());
            const Picture over = Capture(dialog->Handle());
            ExpectLooksAsReviewed(Over(under, over, dialog->Handle()),
                                  Over(Blanked(under, Pictures()), over, dialog->Handle()),
                                  StyleName(style) + "_302_dialog");
            dialog->SetModalResult(win::mrCancel);
        };
        form_->FormStorage1RestorePlacement(nullptr);
        EXPECT_TRUE(shown);
        // Cancel asks the timer to close the window: this test keeps it.
        SetupState() = TSetupState{};
        form_->Timer1->SetEnabled(false);
        Fill();
    }
}

// The frame in the sentinel colour (MacOS and Protein fill theirs with a picture, so their controls
// are seen on a DeepBlue frame): around every control the frame shows, and within the opaque ones
// it shows nowhere.
TEST_F(Look, NoControlDrawsOutsideItsRectangleOrLeavesAnyOfItUnpainted)
{
    for (skin::TsuiUIStyle style : skintest::AllStyles()) {
        SCOPED_TRACE(StyleName(style));
        Style(style, 610);
        skin::TsuiForm* frame = form_->suiForm1;
        if (style == skin::MacOS || style == skin::Protein)
            frame->SetUIStyle(skin::DeepBlue);
        frame->SetColor(skintest::kSentinelColor);
        Pump();
        const skintest::Shot shot(form_->Handle());
        std::vector<win::TControl*> opaque = {form_->ZanticFolder, form_->mLog,     form_->Image1,
                                              form_->Logo,         form_->bInstall, form_->bCancel};
        for (win::TControl* c : opaque) {
            skintest::ExpectNothingOutside(shot, skintest::RectOf(*c), c->Name());
            skintest::ExpectAllPainted(shot, skintest::RectOf(*c), c->Name());
        }
        // The title bar fills the top of the frame; below it the frame shows.
        const RECT bar = skintest::RectOf(*frame->TitleBar());
        skintest::ExpectAllPainted(shot, bar, "title bar");
        EXPECT_EQ(
            shot.Count(RECT{bar.left + 4, bar.bottom, bar.right - 4, bar.bottom + 1}, skintest::kSentinel),
            bar.right - bar.left - 8)
            << "the title bar draws below itself";
        // The labels keep their text inside their boxes.
        const std::vector<win::TControl*> labels = {form_->Label1,      form_->Label2, form_->Label7,
                                                    form_->Label8,      form_->Label9, form_->lbUrl,
                                                    form_->suiURLLabel1};
        for (win::TControl* label : labels)
            skintest::ExpectNothingOutside(shot, skintest::RectOf(*label), label->Name());
    }
}

}  // namespace
