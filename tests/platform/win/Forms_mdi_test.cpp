// MDI forms under Wine: the parent's client window, children made inside it, activated, put in
// their states and freed through it, and the MDI default procedures both sides hand over to.
#include "MDITestSupport.h"
#include "TestForms.h"
#include "WindowGeometry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace win;
using namespace wintest;

namespace {

TForm* AddChild(MDIParent& parent, const std::string& caption, int left, std::vector<std::string>& log)
{
    auto* child = parent.Keep(new TForm(Application));
    child->SetFormStyle(fsMDIChild);
    child->SetBounds(left, 30, 240, 160);
    child->SetCaption(caption);
    child->OnActivate = [&log, child](rtl::TObject*) { log.push_back("activate " + child->Caption()); };
    child->OnDeactivate = [&log, child](rtl::TObject*) { log.push_back("deactivate " + child->Caption()); };
    child->Show();
    Pump();
    return child;
}

}  // namespace

TEST(MDIForms, TheClientWindowTakesWhatTheParentsAlignedControlsLeave)
{
    MDIParent parent;
    HWND client = parent.Client();
    ASSERT_NE(client, nullptr);
    char cls[32] = {};
    ::GetClassNameA(client, cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, "MDIClient");
    auto* bar = new TPanel(parent.Form());
    bar->SetHeight(30);
    bar->SetAlign(alTop);
    bar->SetParent(parent.Form());
    parent.Form()->SetBounds(40, 40, 500, 400);
    Pump();
    const RECT area = ClientRectOf(parent.Form()->Handle());
    const RECT r = RectInParent(client);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.right, area.right);
    EXPECT_EQ(r.bottom, area.bottom);
    TForm plain(nullptr);
    EXPECT_EQ(plain.ClientHandle(), nullptr);
}

TEST(MDIForms, ChildrenLiveInTheClientAndChangeStateThroughIt)
{
    MDIParent parent;
    std::vector<std::string> log;
    TForm* first = AddChild(parent, "One", 10, log);
    TForm* second = AddChild(parent, "Two", 50, log);
    EXPECT_EQ(::GetParent(first->Handle()), parent.Client());
    EXPECT_EQ(RectInParent(first->Handle()).left, 10) << "placed in the client's coordinates";
    EXPECT_EQ(parent.Form()->MDIChildCount(), 2);
    EXPECT_EQ(parent.Form()->ActiveMDIChild(), second) << "the last one shown is active";
    log.clear();
    first->Show();
    Pump();
    EXPECT_EQ(parent.ActiveChild(), first->Handle());
    EXPECT_EQ(log, (std::vector<std::string>{"deactivate Two", "activate One"}));
    // The states, and back: a child minimized from maximized comes back in its own size.
    const RECT normal = RectInParent(first->Handle());
    const RECT inner = ClientRectOf(parent.Client());
    first->SetWindowState(wsMaximized);
    Pump();
    BOOL maximized = FALSE;
    ::SendMessageA(parent.Client(), WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized));
    EXPECT_TRUE(maximized) << "the client knows its child is maximized";
    EXPECT_EQ(ClientRectOf(first->Handle()).right, inner.right) << "the child covers the client";
    first->SetWindowState(wsMinimized);
    Pump();
    EXPECT_EQ(first->WindowState(), wsMinimized);
    EXPECT_GT(RectInParent(first->Handle()).top, inner.bottom / 2) << "the icon at the client's bottom";
    first->SetWindowState(wsNormal);
    Pump();
    EXPECT_EQ(first->WindowState(), wsNormal);
    const RECT back = RectInParent(first->Handle());
    EXPECT_TRUE(::EqualRect(&normal, &back));
    // The MDI child procedure turns the next-window command into the client's own message; the
    // frame procedure turns a child's identifier (as the window menu sends it) into its activation.
    ::SendMessageA(first->Handle(), WM_SYSCOMMAND, SC_NEXTWINDOW, 0);
    Pump();
    EXPECT_EQ(parent.ActiveChild(), second->Handle());
    ::SendMessageA(parent.Form()->Handle(), WM_COMMAND, static_cast<WPARAM>(::GetDlgCtrlID(first->Handle())),
                   0);
    Pump();
    EXPECT_EQ(parent.ActiveChild(), first->Handle());
    // Closed, a child goes for good and the client activates another.
    first->Close();
    ASSERT_TRUE(PumpUntil([&] { return !MDIParent::Alive(first); }));
    EXPECT_EQ(parent.Form()->MDIChildCount(), 1);
    EXPECT_EQ(parent.ActiveChild(), second->Handle());
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
