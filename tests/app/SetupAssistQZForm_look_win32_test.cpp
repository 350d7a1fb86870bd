// What the main window looks like: pictures of the assistant in each built-in style and in its
// own skin, 610 and 302 pixels high and with the version dialog open, written to the build tree
// (tests/app/shots/) and compared with reviewed pictures kept in tests/data/app/window/; and, on
// a frame in the sentinel colour, that no control draws outside its rectangle or leaves part of
// it unpainted.
#include "app/SetupAssistQZForm.h"

#include "MainWindowTestSupport.h"
#include "skin/frmMessage.h"
#include "tests/skin/SkinTestSupport.h"

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace app;

namespace {

using skintest::Pump;
using skintest::StyleName;

// A picture as 0x00RRGGBB pixels, top row first.
struct Picture {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t& At(int x, int y) { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
    std::uint32_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

// The whole of `wnd` as it shows, frame included; what lies outside its window region is black.
Picture Capture(HWND wnd)
{
    ::RedrawWindow(wnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    const skintest::Shot shot = skintest::Shot::Window(wnd);
    Picture p{shot.Width(), shot.Height(), {}};
    p.Pixels.resize(static_cast<std::size_t>(p.Width) * p.Height);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    const bool shaped = ::GetWindowRgn(wnd, region) != ERROR;
    for (int y = 0; y < p.Height; ++y) {
        for (int x = 0; x < p.Width; ++x) {
            const COLORREF c = shot.At(x, y);
            p.At(x, y) = shaped && !::PtInRegion(region, x, y)
                             ? 0
                             : (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    }
    ::DeleteObject(region);
    return p;
}

bool SavePng(const Picture& p, const std::string& path)
{
    std::vector<std::uint8_t> rgb;
    rgb.reserve(p.Pixels.size() * 3);
    for (std::uint32_t v : p.Pixels) {
        rgb.push_back(static_cast<std::uint8_t>(v >> 16));
        rgb.push_back(static_cast<std::uint8_t>(v >> 8));
        rgb.push_back(static_cast<std::uint8_t>(v));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(p.Width);
    image.height = static_cast<png_uint_32>(p.Height);
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

// False when the file is missing or is no PNG.
bool LoadPng(const std::string& path, Picture& p)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return false;
    p.Width = static_cast<int>(image.width);
    p.Height = static_cast<int>(image.height);
    p.Pixels.resize(static_cast<std::size_t>(p.Width) * p.Height);
    for (std::size_t i = 0; i < p.Pixels.size(); ++i)
        p.Pixels[i] = (rgb[3 * i] << 16) | (rgb[3 * i + 1] << 8) | rgb[3 * i + 2];
    return true;
}

// The tolerance: a pixel counts as different when a channel is more than 16 levels off, and a
// picture passes with at most 1 in 2000 of its pixels different. That leaves room for anti-aliased
// glyph edges rendered a shade apart by another FreeType and for a caret caught mid-blink, while a
// control moved by one pixel, drawn in another colour or missing changes thousands of pixels.
constexpr int kChannelTolerance = 16;
constexpr int kDifferentPer2000Pixels = 1;

bool Differs(std::uint32_t a, std::uint32_t b)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
            kChannelTolerance)
            return true;
    return false;
}

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

// Writes `shot` to the build tree as `name`.png and `compared` (the same, blanked) as
// `name`.compared.png, and compares the latter with the reviewed picture of that name. A mismatch
// also writes `name`.diff.png, the differing pixels red on the picture in grey.
void ExpectLooksAsReviewed(const Picture& shot, const Picture& compared, const std::string& name)
{
    const std::string path = std::string(VA_SHOTS_DIR) + name + ".png";
    ASSERT_TRUE(SavePng(shot, path)) << "cannot write " << path;
    const std::string comparedPath = std::string(VA_SHOTS_DIR) + name + ".compared.png";
    ASSERT_TRUE(SavePng(compared, comparedPath)) << "cannot write " << comparedPath;
    const std::string diffPath = std::string(VA_SHOTS_DIR) + name + ".diff.png";
    ::DeleteFileA(diffPath.c_str());  // an earlier run's
    Picture golden;
    if (!LoadPng(std::string(VA_GOLDEN_DIR) + name + ".png", golden)) {
        ADD_FAILURE() << "no reviewed picture " << name << ".png: look at " << path << " and copy "
                      << comparedPath << " to tests/data/app/window/" << name << ".png once it is right";
        return;
    }
    ASSERT_EQ(golden.Width, compared.Width) << name;
    ASSERT_EQ(golden.Height, compared.Height) << name;
    Picture diff = compared;
    int different = 0;
    for (int y = 0; y < compared.Height; ++y) {
        for (int x = 0; x < compared.Width; ++x) {
            const std::uint32_t v = compared.At(x, y);
            const std::uint32_t grey = (((v >> 16) & 0xFF) + ((v >> 8) & 0xFF) + (v & 0xFF)) / 6 + 64;
            const bool off = Differs(v, golden.At(x, y));
            different += off;
            diff.At(x, y) = off ? 0xFF0000 : (grey << 16) | (grey << 8) | grey;
        }
    }
    const int allowed = compared.Width * compared.Height * kDifferentPer2000Pixels / 2000;
    if (different > allowed) {
        SavePng(diff, diffPath);
        ADD_FAILURE() << name << ": " << different << " pixels differ from the reviewed picture (" << allowed
                      << " allowed); see " << name << ".diff.png";
    }
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
