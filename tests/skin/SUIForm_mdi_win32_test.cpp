// Skinned frames on MDI children under Wine, with a plain and a skinned MDI parent: the children
// maximized, minimized, activated and closed, judged by their geometry, their hit tests, their
// window regions and, where only the pixels tell, by what the client shows.
#include "skin/SUIForm.h"

#include "SkinFormTestSupport.h"
#include "skin/SUI2Define.h"
#include "skin/SUIMainMenu.h"
#include "skin/SUIPublic.h"
#include "tests/platform/win/WindowGeometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace skintest;
using skin::TsuiForm;
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
        previousMain_ = win::Application->MainForm();
        parent_ = new win::TForm(win::Application);
        parent_->SetFormStyle(win::fsMDIForm);
        parent_->SetBounds(20, 20, 820, 620);
        parent_->SetCaption("Parent");
        win::Application->SetMainForm(parent_);
        parent_->Show();
        theme_ = new skin::TsuiFileTheme(parent_);
        theme_->SetThemeFile(VA_SKIN_FILE_PATH);
        ASSERT_TRUE(theme_->Ready());
        Pump();
    }
    void TearDown() override
    {
        for (win::TForm* child : children_)
            if (Alive(child))
                delete child;
        delete parent_;
        win::Application->SetMainForm(previousMain_);
        Pump();
    }
    // A skinned MDI child read from a description, shown.
    win::TForm* AddChild(const std::string& name, const std::string& formProps = "",
                         const std::string& frameProps = kContent)
    {
        win::TForm* child =
            ReadFramedForm(frameProps, "  FormStyle = fsMDIChild\n" + formProps, name).release();
        child->SetCaption(name);
        children_.push_back(child);
        child->Show();
        Pump();
        return child;
    }
    void UseSkin(win::TForm* child)
    {
        FrameOf(*child)->SetFileTheme(theme_);
        FrameOf(*child)->SetUIStyle(skin::FromThemeFile);
        Pump();
    }
    static bool Alive(win::TCustomForm* form)
    {
        for (std::int32_t i = 0; i < win::Screen->FormCount(); ++i)
            if (win::Screen->Forms(i) == form)
                return true;
        return false;
    }
    HWND ActiveChild() const
    {
        return reinterpret_cast<HWND>(::SendMessageA(parent_->ClientHandle(), WM_MDIGETACTIVE, 0, 0));
    }
    static win::TControl* Part(win::TForm* child, const char* name)
    {
        return static_cast<win::TControl*>(child->FindComponent(name));
    }

    win::TForm* parent_ = nullptr;
    skin::TsuiFileTheme* theme_ = nullptr;

private:
    win::TCustomForm* previousMain_ = nullptr;
    std::vector<win::TForm*> children_;  // deleted at the end unless already gone
};

}  // namespace

TEST_F(MDIFrames, AChildFrameShowsNoMenuBarAndLeavesItsBorderToTheSystem)
{
    win::TForm* child = AddChild("Child");
    UseSkin(child);
    TsuiForm* frame = FrameOf(*child);
    auto* menu = new skin::TsuiMainMenu(child);
    auto* file = new win::TMenuItem(child);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    frame->SetMenu(menu);
    EXPECT_EQ(frame->Menu(), menu);
    EXPECT_EQ(frame->MenuBar(), nullptr) << "an MDI child's menu is its parent's business";
    EXPECT_EQ(Part(child, "Strip")->Top(), frame->TitleBar()->Height()) << "no bar below the title";
    // The thin strip of the window outside the client is the system's frame, not the skin's left
    // border, which a plain form with the same frame shows there.
    FormPtr plain = ReadFramedForm(kContent);
    FrameOf(*plain)->SetFileTheme(theme_);
    FrameOf(*plain)->SetUIStyle(skin::FromThemeFile);
    plain->Show();
    Pump();
    win::TBitmap* left = theme_->GetBitmap(skin::SKIN2_FORMLEFTBORDER - 32);
    ASSERT_NE(left, nullptr);
    const std::uint32_t skinEdge = BitmapPixel(*left, 0, 0);
    for (HWND wnd : {plain->Handle(), child->Handle()})
        ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    const Capture plainShot = CaptureWindow(plain->Handle());
    const Capture childShot = CaptureWindow(child->Handle());
    const int y = plainShot.Height / 2;
    EXPECT_EQ(plainShot.At(0, y), skinEdge);
    EXPECT_NE(childShot.At(0, childShot.Height / 2), skinEdge);
}

TEST_F(MDIFrames, AMaximizedChildHidesItsTitleBarAndLiftsItsContent)
{
    win::TForm* child = AddChild("Child");
    TsuiForm* frame = FrameOf(*child);
    skin::TsuiTitleBar* bar = frame->TitleBar();
    win::TControl* strip = Part(child, "Strip");
    win::TControl* edit = Part(child, "Edit1");
    const int titleH = bar->Height();
    ASSERT_GT(titleH, 3);
    const int top = bar->Buttons()->Items(0)->Top();
    EXPECT_EQ(strip->Top(), titleH);
    EXPECT_EQ(edit->Top(), 70);

    child->SetWindowState(win::wsMaximized);
    Pump();
    ASSERT_TRUE(::IsZoomed(child->Handle()));
    EXPECT_FALSE(bar->Visible());
    EXPECT_TRUE(frame->TitleHiddenByMaximize());
    EXPECT_EQ(strip->Top(), 3) << "the aligned content rises by the title's height less 3";
    EXPECT_EQ(edit->Top(), 70 - (titleH - 3)) << "and the rest by as much";
    for (std::int32_t i = 0; i < bar->Buttons()->Count(); ++i)
        EXPECT_EQ(bar->Buttons()->Items(i)->Top(), top - 3) << "buttons 3 pixels higher";
    // What the client shows at its top is the child's content, no title.
    const Capture shot = CaptureWindow(parent_->ClientHandle());
    RECT inner;
    ::GetClientRect(parent_->ClientHandle(), &inner);
    const int edge = (shot.Width - (inner.right - inner.left)) / 2;  // the client's own sunken edge
    EXPECT_EQ(shot.At(shot.Width / 2, edge), 0xFF0000u);
    EXPECT_EQ(shot.At(shot.Width / 2, edge + 10), 0xFF0000u);

    child->SetWindowState(win::wsNormal);
    Pump();
    EXPECT_TRUE(bar->Visible());
    EXPECT_FALSE(frame->TitleHiddenByMaximize());
    EXPECT_EQ(strip->Top(), titleH);
    EXPECT_EQ(edit->Top(), 70);
    EXPECT_EQ(bar->Buttons()->Items(0)->Top(), top);
}

TEST_F(MDIFrames, AMinimizedChildKeepsItsTitleBar)
{
    win::TForm* child = AddChild("Child");
    TsuiForm* frame = FrameOf(*child);
    child->SetWindowState(win::wsMaximized);
    Pump();
    child->SetWindowState(win::wsMinimized);
    Pump();
    ASSERT_TRUE(::IsIconic(child->Handle()));
    EXPECT_TRUE(frame->TitleBar()->Visible()) << "only a maximized child hides it";
    EXPECT_FALSE(frame->TitleHiddenByMaximize());
    EXPECT_EQ(Part(child, "Edit1")->Top(), 70);
    // The title bar button there minimizes through the client, not the application.
    child->SetWindowState(win::wsNormal);
    Pump();
    frame->TitleBar()->Minimize();
    Pump();
    EXPECT_TRUE(::IsIconic(child->Handle()));
    EXPECT_FALSE(::IsIconic(parent_->Handle()));
}

TEST_F(MDIFrames, OneChildAtATimeHidesItsTitleBar)
{
    win::TForm* first = AddChild("First");
    win::TForm* second = AddChild("Second");
    first->Show();
    Pump();
    first->SetWindowState(win::wsMaximized);
    Pump();
    EXPECT_TRUE(FrameOf(*first)->TitleHiddenByMaximize());
    // Activating another child maximizes it in the first one's place.
    second->Show();
    Pump();
    ASSERT_EQ(ActiveChild(), second->Handle());
    ASSERT_TRUE(::IsZoomed(second->Handle()));
    EXPECT_TRUE(FrameOf(*second)->TitleHiddenByMaximize());
    EXPECT_FALSE(FrameOf(*first)->TitleHiddenByMaximize());
    EXPECT_TRUE(FrameOf(*first)->TitleBar()->Visible());
    EXPECT_EQ(Part(first, "Edit1")->Top(), 70);
}

TEST_F(MDIFrames, ActivationShowsInTheTitleBars)
{
    win::TForm* first = AddChild("First");
    win::TForm* second = AddChild("Second");
    ASSERT_EQ(ActiveChild(), second->Handle());
    EXPECT_TRUE(FrameOf(*second)->TitleBar()->FormActive());
    EXPECT_FALSE(FrameOf(*first)->TitleBar()->FormActive());
    first->Show();
    Pump();
    ASSERT_EQ(ActiveChild(), first->Handle());
    EXPECT_TRUE(FrameOf(*first)->TitleBar()->FormActive());
    EXPECT_FALSE(FrameOf(*second)->TitleBar()->FormActive());
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
        win::TForm* form = nullptr;
        if (c.mdi) {
            form = AddChild("Child" + std::to_string(n++), props);
        } else {
            plain = ReadFramedForm("", props, "Plain");
            plain->Show();
            Pump();
            form = plain.get();
        }
        const RECT w = WindowRectOf(form->Handle());
        EXPECT_EQ(HitAt(form->Handle(), 1, (w.bottom - w.top) / 2), c.edge);
        EXPECT_EQ(HitAt(form->Handle(), w.right - w.left - 1, w.bottom - w.top - 1), c.corner);
        EXPECT_EQ(HitAt(form->Handle(), (w.right - w.left) / 2, (w.bottom - w.top) / 2), HTCLIENT);
    }
}

TEST_F(MDIFrames, AMaximizedSkinnedChildIsNotShaped)
{
    win::TForm* child = AddChild("Child");
    UseSkin(child);
    HWND wnd = child->Handle();
    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(wnd, rgn), ERROR);
    EXPECT_FALSE(::PtInRegion(rgn, 0, 0)) << "the skin keys out the title's corners";
    child->SetWindowState(win::wsMaximized);
    Pump();
    const RECT w = WindowRectOf(wnd);
    const int width = w.right - w.left, height = w.bottom - w.top;
    // Whatever shows of the child, its title bar too (put back by code), nothing is cut away.
    for (bool titleShown : {false, true}) {
        FrameOf(*child)->SetTitleBarVisible(titleShown);
        Pump();
        if (::GetWindowRgn(wnd, rgn) == ERROR)
            continue;
        for (POINT p : {POINT{0, 0}, POINT{width - 1, 0}, POINT{0, height - 1}, POINT{width - 1, height - 1}})
            EXPECT_TRUE(::PtInRegion(rgn, p.x, p.y))
                << p.x << "," << p.y << (titleShown ? " with" : " without") << " the title bar";
    }
    child->SetWindowState(win::wsNormal);
    Pump();
    ASSERT_NE(::GetWindowRgn(wnd, rgn), ERROR);
    EXPECT_FALSE(::PtInRegion(rgn, 0, 0)) << "restored, it is shaped again";
    ::DeleteObject(rgn);
}

TEST_F(MDIFrames, AStyleChangeLeavesAChildWhereItIs)
{
    win::TForm* child = AddChild("Child");
    child->SetBounds(30, 40, 500, 320);
    Pump();
    const RECT before = RectInParent(child->Handle());
    for (skin::TsuiUIStyle style :
         {skin::MacOS, skin::WinXP, skin::Protein, skin::BlueGlass, skin::DeepBlue}) {
        FrameOf(*child)->SetUIStyle(style);
        Pump();
        const RECT now = RectInParent(child->Handle());
        EXPECT_EQ(now.left, before.left) << int(style);
        EXPECT_EQ(now.top, before.top) << int(style);
        EXPECT_EQ(now.right, before.right) << int(style);
        EXPECT_EQ(now.bottom, before.bottom) << int(style);
    }
}

TEST_F(MDIFrames, TheLastMaximizedChildClosedLeavesNothingBehind)
{
    win::TForm* child = AddChild("Child");
    child->SetWindowState(win::wsMaximized);
    Pump();
    ASSERT_TRUE(FrameOf(*child)->TitleHiddenByMaximize());
    child->Close();
    ASSERT_TRUE(PumpUntil([&] { return !Alive(child); }));
    EXPECT_EQ(ActiveChild(), nullptr);
    char caption[64] = {};
    ::GetWindowTextA(parent_->Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Parent") << "the parent's caption has no child's name left in it";
    // The next child maximized hides its own title bar: nothing of the closed one stands in the way.
    win::TForm* next = AddChild("Next");
    EXPECT_FALSE(::IsZoomed(next->Handle())) << "opens in its own size";
    next->SetWindowState(win::wsMaximized);
    Pump();
    EXPECT_TRUE(FrameOf(*next)->TitleHiddenByMaximize());
    EXPECT_FALSE(FrameOf(*next)->TitleBar()->Visible());
}

TEST_F(MDIFrames, ASkinnedParentShowsItsChildrenBelowItsTitleBar)
{
    auto* frame = new TsuiForm(parent_);
    frame->SetParent(parent_);
    frame->SetUIStyle(skin::DeepBlue);
    Pump();
    win::TForm* child = AddChild("Child");
    const RECT client = RectInParent(parent_->ClientHandle());
    EXPECT_EQ(client.top, frame->TitleBar()->Height()) << "below the parent's title bar";
    RECT area;
    ::GetClientRect(parent_->Handle(), &area);
    EXPECT_GE(client.left, 0);
    EXPECT_LE(client.right, area.right);
    EXPECT_GT(client.bottom - client.top, 100);
    // The child is what shows at its own middle.
    const RECT c = WindowRectOf(child->Handle());
    HWND at = ::WindowFromPoint(POINT{(c.left + c.right) / 2, (c.top + c.bottom) / 2});
    EXPECT_TRUE(at == child->Handle() || ::IsChild(child->Handle(), at));
    // A bar hidden takes the client up with it.
    frame->SetTitleBarVisible(false);
    Pump();
    EXPECT_LT(RectInParent(parent_->ClientHandle()).top, client.top);
}

TEST_F(MDIFrames, DestroyedOutsideItsClientTheLastMaximizedChildGivesTheMenuBack)
{
    auto* menu = new win::TMainMenu(parent_);
    auto* file = new win::TMenuItem(parent_);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    parent_->SetMenu(menu);
    Pump();
    HMENU bar = ::GetMenu(parent_->Handle());
    const int items = ::GetMenuItemCount(bar);
    win::TForm* child = AddChild("Child");
    child->SetWindowState(win::wsMaximized);
    Pump();
    EXPECT_GT(::GetMenuItemCount(::GetMenu(parent_->Handle())), items) << "the maximized child's buttons";
    ::DestroyWindow(child->Handle());
    Pump();
    EXPECT_EQ(::GetMenuItemCount(::GetMenu(parent_->Handle())), items);
    delete child;
}

TEST_F(MDIFrames, OnlyTheActiveChildAndTheParentDrawAsActive)
{
    win::TForm* first = AddChild("First");
    win::TForm* second = AddChild("Second");
    ::SetActiveWindow(parent_->Handle());
    Pump();
    ASSERT_EQ(::GetActiveWindow(), parent_->Handle());
    EXPECT_TRUE(skin::IsFormActive(parent_));
    EXPECT_TRUE(skin::IsFormActive(second));
    EXPECT_FALSE(skin::IsFormActive(first));
    first->Show();
    Pump();
    EXPECT_TRUE(skin::IsFormActive(first));
    EXPECT_FALSE(skin::IsFormActive(second));
}
