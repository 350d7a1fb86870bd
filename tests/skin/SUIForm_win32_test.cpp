// The skinned frame on a real form under Wine: client rectangle, region, hit testing, painting of
// the frame against the skin's pictures, maximizing, keys and a second frame.
#include "skin/SUIForm.h"

#include "SkinFormTestSupport.h"
#include "skin/SUI2Define.h"
#include "skin/SUIMenu.h"
#include "skin/SUIPublic.h"
#include "tests/platform/win/WindowGeometry.h"

#include <gtest/gtest.h>

using namespace skintest;
using skin::TsuiForm;
using wintest::WindowRectOf;

namespace {

// The client rectangle in window coordinates.
RECT ClientInWindow(HWND wnd)
{
    RECT w = WindowRectOf(wnd), c;
    ::GetClientRect(wnd, &c);
    POINT o{0, 0};
    ::ClientToScreen(wnd, &o);
    ::OffsetRect(&c, o.x - w.left, o.y - w.top);
    return c;
}

class SkinFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        form_ = ReadFramedForm();
        theme_ = new skin::TsuiFileTheme(form_.get());
        theme_->SetThemeFile(VA_SKIN_FILE_PATH);
        ASSERT_TRUE(theme_->Ready());
        frame_ = FrameOf(*form_);
    }
    void UseSkin()
    {
        frame_->SetFileTheme(theme_);
        frame_->SetUIStyle(skin::FromThemeFile);
    }
    FormPtr form_;
    skin::TsuiFileTheme* theme_ = nullptr;
    TsuiForm* frame_ = nullptr;
};

}  // namespace

// ---- client rectangle ----

TEST_F(SkinFile, ClientRectangleFollowsEachStyleAndTheSkin)
{
    form_->Show();
    Pump();
    HWND wnd = form_->Handle();
    ASSERT_TRUE(frame_->Active());
    EXPECT_EQ(::GetWindowLongA(wnd, GWL_STYLE) & WS_CAPTION, 0) << "the frame draws the caption itself";
    for (skin::TsuiUIStyle style : kBuiltInStyles) {
        frame_->SetUIStyle(style);
        Pump();
        const RECT w = WindowRectOf(wnd);
        const RECT c = ClientInWindow(wnd);
        const int width = skin::GetBuiltInThemeValue(style, skin::SUI_THEME_FORM_BORDERWIDTH);
        EXPECT_EQ(c.left, 0) << int(style);
        EXPECT_EQ(c.top, 0) << int(style);
        EXPECT_EQ(c.right, w.right - w.left) << int(style);
        // Width 3 keeps the whole window; 1 would reach a pixel past it and stops at its edge.
        EXPECT_EQ(c.bottom, w.bottom - w.top) << int(style) << " border " << width;
        EXPECT_EQ(frame_->BoundsRect(), win::Rect(0, 0, c.right - c.left, c.bottom - c.top)) << int(style);
    }
    UseSkin();
    Pump();
    const RECT w = WindowRectOf(wnd);
    const RECT c = ClientInWindow(wnd);
    const int left = theme_->GetBitmap(skin::SKIN2_FORMLEFTBORDER - 32)->Width();
    const int right = theme_->GetBitmap(skin::SKIN2_FORMRIGHTBORDER - 32)->Width();
    const int bottom = theme_->GetBitmap(skin::SKIN2_FORMBOTTOMBORDER1 - 32)->Height();
    EXPECT_EQ(c.left, std::max(left, 4) - 3);
    EXPECT_EQ(c.right, (w.right - w.left) - std::max(right, 4) + 3);
    EXPECT_EQ(c.bottom, (w.bottom - w.top) - std::max(bottom, 4) + 3);
    EXPECT_EQ(c.top, 0);
}

TEST_F(SkinFile, ClientRectangleNeverReachesPastTheWindowAndIsFinal)
{
    form_->Show();
    Pump();
    HWND wnd = form_->Handle();
    for (int width : {0, 1, 2, 3, 6}) {
        frame_->SetBorderWidth(width);
        Pump();
        const RECT w = WindowRectOf(wnd);
        const RECT c = ClientInWindow(wnd);
        EXPECT_GE(c.left, 0) << width;
        EXPECT_LE(c.right, w.right - w.left) << width;
        EXPECT_LE(c.bottom, w.bottom - w.top) << width;
        const int expected = width == 3 ? 0 : std::max(width - 2, 0);
        EXPECT_EQ((w.bottom - w.top) - c.bottom, expected) << width;
    }
    // The computed rectangle is what the window gets: no system frame is taken off it afterwards.
    RECT proposed{10, 20, 310, 220};
    ::SendMessageA(wnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&proposed));
    const win::TRect expected = frame_->ClientFor(win::Rect(10, 20, 310, 220));
    EXPECT_EQ(win::FromRECT(proposed), expected);
    // A window too small for its frame gets an empty client area, not one turned inside out.
    UseSkin();
    const win::TRect tiny = frame_->ClientFor(win::Rect(0, 0, 3, 2));
    EXPECT_LE(tiny.Left, tiny.Right);
    EXPECT_LE(tiny.Top, tiny.Bottom);
    EXPECT_GE(tiny.Left, 0);
    EXPECT_LE(tiny.Right, 3);
    EXPECT_LE(tiny.Bottom, 2);
}

// ---- region ----

TEST_F(SkinFile, RegionRoundsTheCornersOfEachStyleAndFollowsTheSkinTitle)
{
    form_->Show();
    Pump();
    HWND wnd = form_->Handle();
    for (skin::TsuiUIStyle style : kBuiltInStyles) {
        frame_->SetUIStyle(style);
        Pump();
        const RECT w = WindowRectOf(wnd);
        const int width = w.right - w.left, height = w.bottom - w.top;
        HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(::GetWindowRgn(wnd, rgn), ERROR) << int(style);
        const int corner = skin::GetBuiltInThemeValue(style, skin::SUI_THEME_FORM_ROUNDCORNER);
        EXPECT_EQ(::PtInRegion(rgn, 0, 0) != 0, corner == 0) << int(style);
        EXPECT_EQ(::PtInRegion(rgn, width - 1, 0) != 0, corner == 0) << int(style);
        EXPECT_TRUE(::PtInRegion(rgn, width / 2, 0)) << int(style);
        // The bottom corners are square in every built-in style.
        EXPECT_TRUE(::PtInRegion(rgn, 0, height - 1)) << int(style);
        EXPECT_TRUE(::PtInRegion(rgn, width - 1, height - 1)) << int(style);
        EXPECT_FALSE(::PtInRegion(rgn, width, height / 2)) << int(style) << ": nothing past the window";
        RECT box;
        ::GetRgnBox(rgn, &box);
        EXPECT_EQ(box.right, width) << int(style);
        EXPECT_EQ(box.bottom, height) << int(style);
        ::DeleteObject(rgn);
    }
    // Without corners the region is the full rectangle.
    frame_->SetUIStyle(skin::DeepBlue);
    frame_->SetRoundCorner(0);
    frame_->SetRoundCornerBottom(0);
    Pump();
    const RECT w = WindowRectOf(wnd);
    win::TRegion full = frame_->BuildRegion(w.right - w.left, w.bottom - w.top);
    EXPECT_TRUE(full == win::TRegion(win::Rect(0, 0, w.right - w.left, w.bottom - w.top)));

    UseSkin();
    Pump();
    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(wnd, rgn), ERROR);
    // The skin's title pictures key out their top corners.
    EXPECT_FALSE(::PtInRegion(rgn, 0, 0));
    EXPECT_FALSE(::PtInRegion(rgn, (w.right - w.left) - 1, 0));
    EXPECT_TRUE(::PtInRegion(rgn, 5, 5));
    EXPECT_TRUE(::PtInRegion(rgn, 0, 20));
    EXPECT_TRUE(::PtInRegion(rgn, 0, (w.bottom - w.top) - 1));
    ::DeleteObject(rgn);
}

TEST(BitmapBandRegion, ScanIsClampedToThePicture)
{
    win::TBitmap image;
    image.SetPixelFormat(win::pf24bit);
    image.SetSize(8, 6);
    image.Canvas()->Brush()->SetColor(win::clWhite);
    image.Canvas()->FillRect(win::Rect(0, 0, 8, 6));
    image.Canvas()->SetPixels(0, 0, win::clFuchsia);
    image.Canvas()->SetPixels(7, 5, win::clFuchsia);
    struct Case {
        int minY, maxY;
        bool topLeftIn, bottomRightIn;
    };
    // Limits past the picture, negative limits and limits the wrong way round all stay inside it.
    const Case cases[] = {{-1, 500, false, false}, {0, 0, false, false},  {3, 1, true, false},
                          {-7, -3, false, true},   {40, 90, true, false}, {2, 5, true, false}};
    for (const Case& c : cases) {
        win::TRegion r = skin::BitmapBandRegion(image, c.minY, c.maxY, win::clFuchsia, 10);
        EXPECT_EQ(r.Contains(0, 10), c.topLeftIn) << c.minY << ".." << c.maxY;
        EXPECT_EQ(r.Contains(7, 15), c.bottomRightIn) << c.minY << ".." << c.maxY;
        EXPECT_TRUE(r.Contains(3, 12));
        const win::TRect b = r.Bounds();
        EXPECT_GE(b.Top, 10);
        EXPECT_LE(b.Bottom, 16);
        EXPECT_LE(b.Right, 8);
    }
    win::TBitmap empty;
    EXPECT_TRUE(skin::BitmapBandRegion(empty, 0, 10, win::clFuchsia, 0).IsEmpty());
}

// ---- hit testing ----

TEST_F(SkinFile, HitTestingGivesSizingBordersOnlyToASizeableRestoredForm)
{
    form_->Show();
    Pump();
    HWND wnd = form_->Handle();
    auto hit = [&](int x, int y) {
        const RECT w = WindowRectOf(wnd);
        return ::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(w.left + x, w.top + y));
    };
    const RECT w = WindowRectOf(wnd);
    const int width = w.right - w.left, height = w.bottom - w.top;
    EXPECT_EQ(hit(0, height / 2), HTLEFT);
    EXPECT_EQ(hit(width - 1, height / 2), HTRIGHT);
    EXPECT_EQ(hit(width / 2, height - 1), HTBOTTOM);
    EXPECT_EQ(hit(width / 2, 0), HTTOP);
    EXPECT_EQ(hit(0, 0), HTTOPLEFT);
    EXPECT_EQ(hit(width - 1, height - 1), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(width / 2, height / 2), HTCLIENT);
    // Over the child windows the border still belongs to the form: the panel and the title bar
    // let the test through.
    POINT edge{w.left + 1, w.top + height / 2};
    EXPECT_EQ(::SendMessageA(frame_->Handle(), WM_NCHITTEST, 0, MAKELPARAM(edge.x, edge.y)), HTTRANSPARENT);
    EXPECT_EQ(
        ::SendMessageA(frame_->TitleBar()->Handle(), WM_NCHITTEST, 0, MAKELPARAM(w.left + width / 2, w.top)),
        HTTRANSPARENT);
    EXPECT_EQ(::WindowFromPoint(edge), wnd);

    form_->SetWindowState(win::wsMaximized);
    Pump();
    const RECT m = WindowRectOf(wnd);
    EXPECT_EQ(hit(0, (m.bottom - m.top) / 2), HTCLIENT) << "a maximized form has no sizing border";
}

// Asked about a point of the title bar, the form answers as a system caption would: the code of
// the caption button there, else the caption. (The bar's own window takes the mouse itself.)
TEST_F(SkinFile, OverTheTitleBarTheFormAnswersItsCaptionButtons)
{
    for (skin::TsuiUIStyle style : {skin::FromThemeFile, skin::MacOS, skin::WinXP}) {
        SCOPED_TRACE(static_cast<int>(style));
        UseSkin();
        frame_->SetUIStyle(style);
        form_->Show();
        Pump();
        HWND wnd = form_->Handle();
        skin::TsuiTitleBar* bar = frame_->TitleBar();
        RECT b;
        ::GetWindowRect(bar->Handle(), &b);
        const std::pair<skin::TsuiTitleBarBtnType, LRESULT> codes[] = {{skin::suiClose, HTCLOSE},
                                                                       {skin::suiMax, HTMAXBUTTON},
                                                                       {skin::suiMin, HTMINBUTTON},
                                                                       {skin::suiControlBox, HTSYSMENU}};
        int right = 0;
        for (std::int32_t i = 0; i < bar->Buttons()->Count(); ++i) {
            const win::TRect r = bar->ButtonRect(i);
            ASSERT_FALSE(r.IsEmpty());
            right = std::max(right, static_cast<int>(r.Right));
            for (const auto& [type, code] : codes) {
                if (bar->Buttons()->Items(i)->ButtonType() != type)
                    continue;
                EXPECT_EQ(::SendMessageA(
                              wnd, WM_NCHITTEST, 0,
                              MAKELPARAM(b.left + (r.Left + r.Right) / 2, b.top + (r.Top + r.Bottom) / 2)),
                          code)
                    << i;
            }
        }
        // Between the caption and the buttons, away from the sizing strip along the top.
        EXPECT_EQ(
            ::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(b.left + (b.right - b.left) / 2, b.bottom - 3)),
            HTCAPTION);
        // The bar's window itself keeps the mouse: clicks reach its buttons.
        EXPECT_EQ(
            ::SendMessageA(bar->Handle(), WM_NCHITTEST, 0, MAKELPARAM(b.left + right - 3, b.bottom - 5)),
            HTCLIENT);
        form_->Hide();
    }
}

TEST(FrameHitTest, DialogFormsHaveNoSizingBorder)
{
    FormPtr form = ReadFramedForm("", "  BorderStyle = bsSingle\n");
    EXPECT_EQ(form->BorderStyle(), win::bsDialog) << "a single-line form runs as a dialog under the frame";
    form->Show();
    Pump();
    HWND wnd = form->Handle();
    const RECT w = WindowRectOf(wnd);
    EXPECT_EQ(::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(w.left, w.top + 100)), HTCLIENT);
}

// ---- painting ----

TEST_F(SkinFile, FrameOfEachStyleIsPaintedWhereItsRulesPutIt)
{
    form_->Show();
    Pump();
    HWND wnd = form_->Handle();
    for (skin::TsuiUIStyle style : kBuiltInStyles) {
        frame_->SetUIStyle(style);
        ::RedrawWindow(wnd, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump();
        const Capture shot = CaptureWindow(wnd);
        const int bw = frame_->BorderWidth();
        const std::uint32_t border = Rgb(frame_->BorderColor());
        const std::uint32_t face = Rgb(frame_->Color());
        const int titleH = frame_->TitleBar()->Height();
        for (int y = titleH + 2; y < shot.Height - 4; y += 7) {
            for (int x = 0; x < bw; ++x) {
                EXPECT_EQ(shot.At(x, y), border) << int(style) << " left border at " << x << "," << y;
                EXPECT_EQ(shot.At(shot.Width - 1 - x, y), border) << int(style) << " right border";
            }
            for (int x = bw; x < 3; ++x)
                EXPECT_EQ(shot.At(x, y), face) << int(style) << " inner strip at " << x << "," << y;
        }
        for (int x = 12; x < shot.Width - 12; x += 9)
            for (int y = 0; y < bw; ++y)
                EXPECT_EQ(shot.At(x, shot.Height - 1 - y), border) << int(style) << " bottom border at " << x;
        // The title bar's left end lands at the window's top-left, pixel for pixel.
        win::TBitmap left;
        skin::LoadBuiltInThemeBitmap(style, skin::SUI_THEME_TITLEBAR_LEFT_IMAGE, &left);
        ASSERT_FALSE(left.Empty());
        int same = 0, total = 0;
        const int corner = frame_->RoundCorner();
        skin::TsuiTitleBar* bar = frame_->TitleBar();
        const win::TRect box = bar->ButtonRect(0);  // the control box lies over the left end
        for (int y = 0; y < left.Height(); ++y)
            for (int x = corner; x < std::min(left.Width(), corner + 8); ++x) {
                if (x >= box.Left && x < box.Right && y >= box.Top && y < box.Bottom)
                    continue;
                ++total;
                same += shot.At(x, y) == BitmapPixel(left, x, y);
            }
        EXPECT_GT(total, 20) << int(style);
        EXPECT_EQ(same, total) << int(style) << ": the title's left end";
        // The middle background between the title and the bottom border is the face colour.
        EXPECT_EQ(shot.At(shot.Width / 2, shot.Height / 2), Rgb(frame_->Color())) << int(style);
    }
}

TEST_F(SkinFile, SkinFrameShowsTheSkinsBorderPictures)
{
    UseSkin();
    form_->Show();
    Pump();
    HWND wnd = form_->Handle();
    ::RedrawWindow(wnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump();
    const Capture shot = CaptureWindow(wnd);
    win::TBitmap* left = theme_->GetBitmap(skin::SKIN2_FORMLEFTBORDER - 32);
    win::TBitmap* right = theme_->GetBitmap(skin::SKIN2_FORMRIGHTBORDER - 32);
    win::TBitmap* bottom = theme_->GetBitmap(skin::SKIN2_FORMBOTTOMBORDER1 - 32);
    const int titleH = frame_->TitleBar()->TitleImage()->Height();
    for (int y = titleH + 1; y < shot.Height - bottom->Height(); y += 5) {
        for (int x = 0; x < left->Width(); ++x)
            EXPECT_EQ(shot.At(x, y), BitmapPixel(*left, x, 0)) << "left border at " << x << "," << y;
        for (int x = 0; x < right->Width(); ++x)
            EXPECT_EQ(shot.At(shot.Width - right->Width() + x, y), BitmapPixel(*right, x, 0))
                << "right border";
    }
    const int piece = bottom->Width() / 3;
    for (int y = 0; y < bottom->Height(); ++y)
        for (int x = piece; x < shot.Width - piece; x += 11)
            EXPECT_EQ(shot.At(x, shot.Height - bottom->Height() + y), BitmapPixel(*bottom, piece + 1, y))
                << "bottom middle at " << x << "," << y;
    // The title's first picture at the window's top-left, outside its keyed-out corner.
    win::TBitmap* title = theme_->GetBitmap(skin::SKIN2_TITLEBAR1 - 32);
    for (int y = 6; y < title->Height(); ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(shot.At(x, y), BitmapPixel(*title, x, y)) << "title at " << x << "," << y;
}

// ---- size limits ----

// The form cannot be made lower than its bottom border (none with a built-in style), title bar and
// menu bar's height together, plus 3.
TEST_F(SkinFile, MinimumHeightIsTheBottomBorderTitleBarAndMenuBarHeight)
{
    form_->Show();
    Pump();
    std::vector<std::pair<skin::TsuiUIStyle, int>> cases;
    for (skin::TsuiUIStyle style : kBuiltInStyles)
        cases.push_back({style, 0});
    cases.push_back({skin::FromThemeFile, theme_->GetBitmap(skin::SKIN2_FORMBOTTOMBORDER1 - 32)->Height()});
    frame_->SetFileTheme(theme_);
    for (auto [style, bottom] : cases) {
        SCOPED_TRACE(int(style));
        for (int menuBar : {22, 5}) {
            frame_->SetMenuBarHeight(menuBar);
            frame_->SetUIStyle(style);
            Pump();
            const int expected = bottom + frame_->TitleBar()->Height() + menuBar + 3;
            EXPECT_EQ(form_->Constraints()->MinHeight(), expected) << "menu bar " << menuBar;
            form_->SetHeight(1);
            Pump();
            EXPECT_EQ(WindowRectOf(form_->Handle()).bottom - WindowRectOf(form_->Handle()).top, expected)
                << "menu bar " << menuBar;
            form_->SetHeight(300);
        }
    }
}

// ---- maximizing ----

TEST_F(SkinFile, MaximizingFillsTheWorkAreaWithoutResizingForEver)
{
    form_->Show();
    Pump();
    int sizes = 0;
    const win::TWndMethod inner = form_->WindowProc;
    form_->WindowProc = [&](win::TMessage& m) {
        if (m.Msg == WM_SIZE)
            ++sizes;
        inner(m);
    };
    form_->SetWindowState(win::wsMaximized);
    Pump();
    form_->WindowProc = inner;
    win::TRect work;
    skin::GetWorkAreaRect(work);
    const RECT w = WindowRectOf(form_->Handle());
    EXPECT_EQ(w.left, work.Left - 2);
    EXPECT_EQ(w.top, work.Top - 2);
    EXPECT_EQ(w.right, work.Right + 2);
    EXPECT_EQ(w.bottom, work.Bottom - 1);
    EXPECT_LE(sizes, 4) << "each WM_SIZE may resize the window once at most";
    EXPECT_TRUE(::IsZoomed(form_->Handle()));
}

// ---- a second frame ----

TEST(SecondFrame, StaysAPlainPanelAndLeavesTheFirstInCharge)
{
    FormPtr form = ReadFramedForm();
    TsuiForm* first = FrameOf(*form);
    auto* second = new TsuiForm(form.get());
    second->SetParent(form.get());
    EXPECT_TRUE(first->Active());
    EXPECT_FALSE(second->Active());
    form->Show();
    Pump();
    delete second;
    Pump();
    HWND wnd = form->Handle();
    EXPECT_EQ(::GetWindowLongA(wnd, GWL_STYLE) & WS_CAPTION, 0) << "the first frame still skins the form";
    RECT proposed{0, 0, 200, 100};
    ::SendMessageA(wnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&proposed));
    EXPECT_EQ(win::FromRECT(proposed), first->ClientFor(win::Rect(0, 0, 200, 100)));
    // A frame on something that is not a form is a panel too.
    win::TPanel host(nullptr);
    TsuiForm loose(&host);
    EXPECT_FALSE(loose.Active());
}

TEST(FrameRemoval, PutsTheCaptionAndTheWindowProcedureBack)
{
    FormPtr form = ReadFramedForm();
    form->Show();
    Pump();
    HWND wnd = form->Handle();
    delete FrameOf(*form);
    Pump();
    EXPECT_NE(::GetWindowLongA(wnd, GWL_STYLE) & WS_CAPTION, 0);
    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(wnd, rgn), ERROR) << "no region is left on the window";
    ::DeleteObject(rgn);
}

TEST(FrameProperties, VersionIsFixedAndTheFormPanelCannotBeTheFrame)
{
    FormPtr form = ReadFramedForm();
    TsuiForm* frame = FrameOf(*form);
    frame->SetVersion("7.1");
    EXPECT_EQ(frame->Version(), "6.0");
    EXPECT_EQ(rtl::GetStrProp(*frame, "Version"), "6.0");
    auto* panel = new win::TPanel(form.get());
    panel->SetParent(frame);
    panel->SetCaption("content");
    frame->SetFormPanel(panel);
    EXPECT_EQ(frame->FormPanel(), panel);
    EXPECT_EQ(panel->Align(), win::alClient);
    EXPECT_EQ(panel->BevelOuter(), win::bvNone);
    EXPECT_EQ(panel->Caption(), "");
    delete panel;
    EXPECT_EQ(frame->FormPanel(), nullptr);
}
