// Skinned frames on MDI children under Wine, with a plain and a skinned MDI parent: the children
// maximized, minimized, activated and closed, judged by their geometry, their hit tests, their
// window regions and, where only the pixels tell, by what the windows show.
#include "skin/SUIForm.h"

#include "SkinFormTestSupport.h"
#include "skin/SUI2Define.h"
#include "skin/SUIMainMenu.h"
#include "skin/SUIPublic.h"
#include "tests/platform/win/MDITestSupport.h"
#include "tests/platform/win/WindowGeometry.h"

#include <gtest/gtest.h>

#include <string>

using namespace skintest;
using skin::TsuiForm;
using wintest::MDIParent;
using wintest::RectInParent;
using wintest::WindowRectOf;

namespace {

LRESULT HitAt(HWND wnd, int x, int y)
{
    const RECT w = WindowRectOf(wnd);
    return ::SendMessageA(wnd, WM_NCHITTEST, 0, MAKELPARAM(w.left + x, w.top + y));
}

// A red panel along the top of the frame's content and an edit placed below it.
const char* const kContent =
    "    object Strip: TPanel\n"
    "      Align = alTop\n      Height = 20\n"
    "      BevelOuter = bvNone\n      Color = clRed\n      ParentColor = False\n"
    "    end\n"
    "    object Edit1: TEdit\n      Left = 10\n      Top = 70\n      Width = 80\n    end\n";

class MDIFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        theme_ = new skin::TsuiFileTheme(parent_.Form());
        theme_->SetThemeFile(VA_SKIN_FILE_PATH);
        ASSERT_TRUE(theme_->Ready());
    }
    // A skinned MDI child read from a description, shown; in the program's skin when `skinned`.
    win::TForm* AddChild(const std::string& name, const std::string& formProps = "", bool skinned = false)
    {
        win::TForm* child =
            parent_.Keep(ReadFramedForm(kContent, "  FormStyle = fsMDIChild\n" + formProps, name).release());
        if (skinned) {
            FrameOf(*child)->SetFileTheme(theme_);
            FrameOf(*child)->SetUIStyle(skin::FromThemeFile);
        }
        child->Show();
        Pump();
        return child;
    }
    static win::TControl* Part(win::TForm* child, const char* name)
    {
        return static_cast<win::TControl*>(child->FindComponent(name));
    }

    MDIParent parent_;
    skin::TsuiFileTheme* theme_ = nullptr;
};

}  // namespace

TEST_F(MDIFrames, AChildFrameShowsNoMenuBarAndLeavesItsBorderToTheSystem)
{
    win::TForm* child = AddChild("Child", "", true);
    TsuiForm* frame = FrameOf(*child);
    auto* menu = new skin::TsuiMainMenu(child);
    menu->Items()->Add(new win::TMenuItem(child));
    frame->SetMenu(menu);
    EXPECT_EQ(frame->Menu(), menu);
    EXPECT_EQ(frame->MenuBar(), nullptr) << "an MDI child's menu is its parent's business";
    // The thin strip of the window outside the client is the system's frame, not the skin's left
    // border, which a plain form with the same frame shows there.
    FormPtr plain = ReadFramedForm(kContent);
    FrameOf(*plain)->SetFileTheme(theme_);
    FrameOf(*plain)->SetUIStyle(skin::FromThemeFile);
    plain->Show();
    const std::uint32_t skinEdge = BitmapPixel(*theme_->GetBitmap(skin::SKIN2_FORMLEFTBORDER - 32), 0, 0);
    for (HWND wnd : {plain->Handle(), child->Handle()})
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    const Capture plainShot = CaptureWindow(plain->Handle());
    const Capture childShot = CaptureWindow(child->Handle());
    EXPECT_EQ(plainShot.At(0, plainShot.Height / 2), skinEdge);
    EXPECT_NE(childShot.At(0, childShot.Height / 2), skinEdge);
}

// Maximized, a child hides its title bar and lifts its content by the bar's height less 3, its
// buttons 3 pixels higher; restored or minimized it shows them again. One child at a time does:
// the one maximized in another's place takes it over.
TEST_F(MDIFrames, AMaximizedChildHidesItsTitleBarAndLiftsItsContent)
{
    win::TForm* other = AddChild("Other");
    win::TForm* child = AddChild("Child");
    TsuiForm* frame = FrameOf(*child);
    skin::TsuiTitleBar* bar = frame->TitleBar();
    const int titleH = bar->Height();
    const int top = bar->Buttons()->Items(0)->Top();
    struct State {
        win::TWindowState state;
        bool hidden;
    };
    for (const State& s : {State{win::wsMaximized, true}, State{win::wsNormal, false},
                           State{win::wsMaximized, true}, State{win::wsMinimized, false}}) {
        SCOPED_TRACE(s.state);
        child->SetWindowState(s.state);
        Pump();
        EXPECT_EQ(bar->Visible(), !s.hidden);
        EXPECT_EQ(frame->TitleHiddenByMaximize(), s.hidden);
        EXPECT_EQ(Part(child, "Strip")->Top(), s.hidden ? 3 : titleH) << "aligned content";
        EXPECT_EQ(Part(child, "Edit1")->Top(), s.hidden ? 70 - (titleH - 3) : 70) << "the rest";
        EXPECT_EQ(bar->Buttons()->Items(0)->Top(), s.hidden ? top - 3 : top);
    }
    // What the client shows at its top is the maximized child's content, no title.
    child->SetWindowState(win::wsMaximized);
    Pump();
    const Capture shot = CaptureWindow(parent_.Client());
    const int edge = (shot.Width - wintest::ClientRectOf(parent_.Client()).right) / 2;
    EXPECT_EQ(shot.At(shot.Width / 2, edge), 0xFF0000u);
    // Activating another child maximizes it in this one's place.
    other->Show();
    Pump();
    ASSERT_TRUE(::IsZoomed(other->Handle()));
    EXPECT_TRUE(FrameOf(*other)->TitleHiddenByMaximize());
    EXPECT_FALSE(frame->TitleHiddenByMaximize());
    EXPECT_TRUE(bar->Visible());
    EXPECT_EQ(Part(child, "Edit1")->Top(), 70);
}

TEST_F(MDIFrames, ActivationShowsInTheTitleBarsAndInWhatDrawsAsActive)
{
    win::TForm* first = AddChild("First");
    win::TForm* second = AddChild("Second");
    auto activate = [&](win::TForm* active) {
        active->Show();
        Pump();
        ASSERT_EQ(parent_.ActiveChild(), active->Handle());
    };
    for (win::TForm* active : {first, second}) {
        activate(active);
        for (win::TForm* child : {first, second})
            EXPECT_EQ(FrameOf(*child)->TitleBar()->FormActive(), child == active) << child->Name();
    }
    // With the parent the active window (whose title bars then follow whether it is the foreground
    // window too), the parent and its active child draw as active.
    ::SetActiveWindow(parent_.Form()->Handle());
    Pump();
    ASSERT_EQ(::GetActiveWindow(), parent_.Form()->Handle());
    EXPECT_TRUE(skin::IsFormActive(parent_.Form()));
    for (win::TForm* active : {first, second}) {
        activate(active);
        for (win::TForm* child : {first, second})
            EXPECT_EQ(skin::IsFormActive(child), child == active) << child->Name();
    }
}

TEST_F(MDIFrames, ASingleBorderedChildsSizingEdgesAreBorder)
{
    struct Case {
        const char* border;
        bool mdi;
        LRESULT edge, corner;
    };
    // The client gives every child a sizing frame; only a single border keeps the child its size.
    const Case cases[] = {{"bsSingle", true, HTBORDER, HTBORDER},
                          {"bsSizeable", true, HTLEFT, HTBOTTOMRIGHT},
                          {"bsDialog", true, HTLEFT, HTBOTTOMRIGHT},
                          {"bsSingle", false, HTCLIENT, HTCLIENT}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.border) + (c.mdi ? " MDI child" : " form"));
        const std::string props = std::string("  BorderStyle = ") + c.border + "\n";
        FormPtr plain;
        win::TForm* form = c.mdi ? AddChild("Child" + std::to_string(n++), props) : nullptr;
        if (!c.mdi) {
            plain = ReadFramedForm("", props, "Plain");
            plain->Show();
            form = plain.get();
        }
        const RECT w = WindowRectOf(form->Handle());
        EXPECT_EQ(HitAt(form->Handle(), 1, (w.bottom - w.top) / 2), c.edge);
        EXPECT_EQ(HitAt(form->Handle(), w.right - w.left - 1, w.bottom - w.top - 1), c.corner);
    }
}

// Maximized, a skinned child is not shaped, even with its title bar put back by code.
TEST_F(MDIFrames, AMaximizedSkinnedChildIsNotShaped)
{
    win::TForm* child = AddChild("Child", "", true);
    HWND wnd = child->Handle();
    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(wnd, rgn), ERROR);
    EXPECT_FALSE(::PtInRegion(rgn, 0, 0)) << "the skin keys out the title's corners";
    child->SetWindowState(win::wsMaximized);
    FrameOf(*child)->SetTitleBarVisible(true);
    Pump();
    const RECT w = WindowRectOf(wnd);
    // No region at all leaves the window whole too.
    if (::GetWindowRgn(wnd, rgn) != ERROR) {
        for (POINT p : {POINT{0, 0}, POINT{w.right - w.left - 1, 0}})
            EXPECT_TRUE(::PtInRegion(rgn, p.x, p.y)) << p.x;
    }
    ::DeleteObject(rgn);
}

TEST_F(MDIFrames, TheLastMaximizedChildClosedLeavesNothingBehind)
{
    win::TForm* child = AddChild("Child");
    child->SetWindowState(win::wsMaximized);
    Pump();
    child->Close();
    ASSERT_TRUE(PumpUntil([&] { return !MDIParent::Alive(child); }));
    EXPECT_EQ(parent_.ActiveChild(), nullptr);
    char caption[64] = {};
    ::GetWindowTextA(parent_.Form()->Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Parent") << "no child's name left in the parent's caption";
    // The next child opens in its own size and, maximized, hides its own title bar: nothing of the
    // closed one stands in the way.
    win::TForm* next = AddChild("Next");
    EXPECT_FALSE(::IsZoomed(next->Handle()));
    next->SetWindowState(win::wsMaximized);
    Pump();
    EXPECT_TRUE(FrameOf(*next)->TitleHiddenByMaximize());
}

TEST_F(MDIFrames, ASkinnedParentShowsItsChildrenBelowItsTitleBar)
{
    auto* frame = new TsuiForm(parent_.Form());
    frame->SetParent(parent_.Form());
    Pump();
    win::TForm* child = AddChild("Child");
    const RECT client = RectInParent(parent_.Client());
    EXPECT_EQ(client.top, frame->TitleBar()->Height());
    EXPECT_GT(client.bottom - client.top, 100);
    const RECT c = WindowRectOf(child->Handle());
    HWND at = ::WindowFromPoint(POINT{(c.left + c.right) / 2, (c.top + c.bottom) / 2});
    EXPECT_TRUE(at == child->Handle() || ::IsChild(child->Handle(), at)) << "the child shows";
    frame->SetTitleBarVisible(false);
    Pump();
    EXPECT_LT(RectInParent(parent_.Client()).top, client.top) << "the client follows the frame's content";
    // A menu bar made higher moves the frame's content alone, not the form's frame.
    auto* menu = new skin::TsuiMainMenu(parent_.Form());
    menu->Items()->Add(new win::TMenuItem(parent_.Form()));
    frame->SetMenu(menu);
    frame->SetMenuBarHeight(40);
    Pump();
    ASSERT_NE(frame->MenuBar(), nullptr);
    EXPECT_EQ(RectInParent(parent_.Client()).top, RectInParent(frame->MenuBar()->Handle()).bottom);
    frame->SetMenuBarHeight(60);
    Pump();
    EXPECT_EQ(RectInParent(parent_.Client()).top, RectInParent(frame->MenuBar()->Handle()).bottom);
}
