// MDI forms under Wine: the parent's client window, children made inside it, their activation,
// states and closing through the client, and the default procedures both sides hand over to.
#include "TestForms.h"
#include "WindowGeometry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace win;
using namespace wintest;

namespace {

class MDIFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousMain_ = Application->MainForm();
        parent = new TForm(Application);
        parent->SetFormStyle(fsMDIForm);
        parent->SetBounds(40, 40, 640, 480);
        parent->SetCaption("Parent");
        Application->SetMainForm(parent);
        parent->Show();
        Pump();
    }
    void TearDown() override
    {
        for (TForm* child : children_)
            if (Alive(child))
                delete child;
        delete parent;
        Application->SetMainForm(previousMain_);
        Pump();
    }
    TForm* AddChild(const std::string& caption, int left, int top)
    {
        auto* child = new TForm(Application);
        child->SetFormStyle(fsMDIChild);
        child->SetBounds(left, top, 240, 160);
        child->SetCaption(caption);
        child->OnActivate = [this, child](rtl::TObject*) { log.push_back("activate " + child->Caption()); };
        child->OnDeactivate = [this, child](rtl::TObject*) {
            log.push_back("deactivate " + child->Caption());
        };
        children_.push_back(child);
        child->Show();
        Pump();
        return child;
    }
    static bool Alive(TForm* form)
    {
        for (std::int32_t i = 0; i < Screen->FormCount(); ++i)
            if (Screen->Forms(i) == form)
                return true;
        return false;
    }
    HWND Active() const
    {
        return reinterpret_cast<HWND>(::SendMessageA(parent->ClientHandle(), WM_MDIGETACTIVE, 0, 0));
    }

    TForm* parent = nullptr;
    std::vector<std::string> log;

private:
    TCustomForm* previousMain_ = nullptr;
    std::vector<TForm*> children_;  // deleted at the end unless already gone
};

}  // namespace

TEST_F(MDIFixture, ParentsClientWindowTakesWhatItsAlignedControlsLeave)
{
    HWND client = parent->ClientHandle();
    ASSERT_NE(client, nullptr);
    char cls[32] = {};
    ::GetClassNameA(client, cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, "MDIClient");
    EXPECT_EQ(::GetParent(client), parent->Handle());
    RECT area = ClientRectOf(parent->Handle());
    RECT r = RectInParent(client);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, area.right);
    EXPECT_EQ(r.bottom, area.bottom);
    // A bar along the top pushes the client down, and a new size reaches it.
    auto* bar = new TPanel(parent);
    bar->SetHeight(30);
    bar->SetAlign(alTop);
    bar->SetParent(parent);
    parent->SetBounds(40, 40, 500, 400);
    Pump();
    area = ClientRectOf(parent->Handle());
    r = RectInParent(client);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right, area.right);
    EXPECT_EQ(r.bottom, area.bottom);
    EXPECT_EQ(ClientRectOf(parent->Handle()).right, area.right);
    TForm plain(nullptr);
    EXPECT_EQ(plain.ClientHandle(), nullptr);
    EXPECT_EQ(plain.MDIChildCount(), 0);
}

TEST_F(MDIFixture, ChildrenLiveInTheClientAndActivateThroughIt)
{
    TForm* first = AddChild("One", 10, 10);
    TForm* second = AddChild("Two", 60, 50);
    for (TForm* child : {first, second}) {
        EXPECT_EQ(::GetParent(child->Handle()), parent->ClientHandle());
        EXPECT_NE(::GetWindowLongA(child->Handle(), GWL_EXSTYLE) & WS_EX_MDICHILD, 0);
        EXPECT_TRUE(::IsWindowVisible(child->Handle()));
    }
    EXPECT_EQ(RectInParent(first->Handle()).left, 10) << "placed in the client's coordinates";
    EXPECT_EQ(RectInParent(second->Handle()).top, 50);
    EXPECT_EQ(parent->MDIChildCount(), 2);
    EXPECT_EQ(Active(), second->Handle()) << "the last one shown is active";
    EXPECT_EQ(parent->ActiveMDIChild(), second);
    EXPECT_TRUE(second->Active());
    EXPECT_FALSE(first->Active());
    log.clear();
    first->Show();
    Pump();
    EXPECT_EQ(Active(), first->Handle());
    EXPECT_TRUE(first->Active());
    EXPECT_FALSE(second->Active());
    const std::vector<std::string> expected = {"deactivate Two", "activate One"};
    EXPECT_EQ(log, expected);
}

TEST_F(MDIFixture, StatesGoThroughTheClient)
{
    TForm* child = AddChild("One", 20, 30);
    const RECT normal = RectInParent(child->Handle());
    child->SetWindowState(wsMaximized);
    Pump();
    EXPECT_TRUE(::IsZoomed(child->Handle()));
    EXPECT_EQ(child->WindowState(), wsMaximized);
    BOOL maximized = FALSE;
    ::SendMessageA(parent->ClientHandle(), WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized));
    EXPECT_TRUE(maximized) << "the client knows its child is maximized";
    // The child's client area covers the MDI client's.
    RECT inner = ClientRectOf(child->Handle());
    RECT outer = ClientRectOf(parent->ClientHandle());
    EXPECT_EQ(inner.right - inner.left, outer.right - outer.left);
    EXPECT_EQ(inner.bottom - inner.top, outer.bottom - outer.top);
    child->SetWindowState(wsMinimized);
    Pump();
    EXPECT_TRUE(::IsIconic(child->Handle()));
    EXPECT_EQ(child->WindowState(), wsMinimized);
    EXPECT_GT(RectInParent(child->Handle()).bottom, outer.bottom / 2)
        << "the icon sits at the client's bottom";
    child->SetWindowState(wsNormal);
    Pump();
    EXPECT_FALSE(::IsIconic(child->Handle()));
    EXPECT_FALSE(::IsZoomed(child->Handle()));
    const RECT back = RectInParent(child->Handle());
    EXPECT_EQ(back.left, normal.left);
    EXPECT_EQ(back.top, normal.top);
    EXPECT_EQ(back.right, normal.right);
    EXPECT_EQ(back.bottom, normal.bottom);
}

TEST_F(MDIFixture, AChildShownMaximizedOpensMaximized)
{
    auto* child = new TForm(Application);
    child->SetFormStyle(fsMDIChild);
    child->SetWindowState(wsMaximized);
    child->Show();
    Pump();
    EXPECT_TRUE(::IsZoomed(child->Handle()));
    EXPECT_EQ(Active(), child->Handle());
    delete child;
}

TEST_F(MDIFixture, DefaultProceduresAreTheMDIOnes)
{
    TForm* first = AddChild("One", 10, 10);
    TForm* second = AddChild("Two", 40, 40);
    ASSERT_EQ(Active(), second->Handle());
    // The MDI child procedure turns the next-window command into the client's own message; the
    // plain default procedure would ignore it.
    ::SendMessageA(second->Handle(), WM_SYSCOMMAND, SC_NEXTWINDOW, 0);
    Pump();
    EXPECT_EQ(Active(), first->Handle());
    // The frame procedure turns a command with a child's identifier (as the window menu sends
    // it) into that child's activation.
    const int id = ::GetDlgCtrlID(second->Handle());
    ASSERT_GE(id, 0xFF00) << "the client numbers its children";
    ::SendMessageA(parent->Handle(), WM_COMMAND, static_cast<WPARAM>(id), 0);
    Pump();
    EXPECT_EQ(Active(), second->Handle());
}

TEST_F(MDIFixture, ClosingAChildFreesItAndActivatesAnother)
{
    TForm* first = AddChild("One", 10, 10);
    TForm* second = AddChild("Two", 40, 40);
    bool destroyed = false;
    second->OnDestroy = [&](rtl::TObject*) { destroyed = true; };
    second->Close();
    ASSERT_TRUE(PumpUntil([&] { return !Alive(second); }));
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(parent->MDIChildCount(), 1);
    EXPECT_EQ(Active(), first->Handle());
    EXPECT_TRUE(first->Active());
}

TEST_F(MDIFixture, TheLastMaximizedChildClosedLeavesTheClientRestored)
{
    TForm* child = AddChild("One", 10, 10);
    child->SetWindowState(wsMaximized);
    Pump();
    child->Close();
    ASSERT_TRUE(PumpUntil([&] { return !Alive(child); }));
    EXPECT_EQ(parent->MDIChildCount(), 0);
    EXPECT_EQ(Active(), nullptr);
    // A new child opens in its own size, not maximized after the one that went.
    TForm* next = AddChild("Two", 30, 30);
    EXPECT_FALSE(::IsZoomed(next->Handle()));
}

TEST(MDIForms, AChildNeedsAnMDIParentAsTheMainForm)
{
    TCustomForm* previous = Application->MainForm();
    TForm plain(Application);
    Application->SetMainForm(&plain);
    auto child = std::make_unique<TForm>(Application);
    child->SetFormStyle(fsMDIChild);
    try {
        child->Show();
        ADD_FAILURE() << "an MDI child was made without an MDI parent";
    } catch (const rtl::EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Cannot create an MDI child: the main form is no MDI parent");
    }
    EXPECT_FALSE(child->HandleAllocated());
    Application->SetMainForm(previous);
}
