// Actions under Wine: the controls that point at one show its caption and enabled state, follow
// its changes, run it when clicked, and outlive it (or it them) cleanly.
#include "platform/win/Actions.h"

#include "TestForms.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace win;
using namespace wintest;

namespace {

std::string WindowText(TWinControl* c)
{
    char text[64] = {};
    ::GetWindowTextA(c->Handle(), text, sizeof text);
    return text;
}

TButton* AddButton(TForm& form, const std::string& caption)
{
    auto* b = new TButton(&form);
    b->SetBounds(10, 10 + 30 * form.ControlCount(), 100, 25);
    b->SetCaption(caption);
    b->SetParent(&form);
    return b;
}

}  // namespace

TEST(Actions, ControlsShowTheActionFollowItsChangesAndRunIt)
{
    TForm form(Application);
    form.Show();
    TAction* action = new TAction(&form);
    action->SetCaption("Install");
    action->SetEnabled(false);
    int executed = 0;
    action->OnExecute = [&](rtl::TObject* sender) {
        ++executed;
        EXPECT_EQ(sender, action);
    };
    TButton* blank = AddButton(form, "");
    TButton* own = AddButton(form, "Start");
    blank->SetAction(action);
    own->SetAction(action);
    // Assigned, the action fills in only what still has its default.
    EXPECT_EQ(WindowText(blank), "Install");
    EXPECT_EQ(WindowText(own), "Start") << "a caption of its own stays";
    EXPECT_FALSE(::IsWindowEnabled(blank->Handle()));
    // A change reaches every control, whatever it had.
    action->SetCaption("Repair");
    action->SetEnabled(true);
    for (TButton* b : {blank, own}) {
        EXPECT_EQ(WindowText(b), "Repair");
        EXPECT_TRUE(::IsWindowEnabled(b->Handle()));
    }
    ::SendMessageA(blank->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(executed, 1) << "a click runs it";
    int ownClicks = 0;
    own->OnClick = [&](rtl::TObject*) { ++ownClicks; };
    ::SendMessageA(own->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(ownClicks, 1) << "unless the control has a handler of its own";
    EXPECT_EQ(executed, 1);
    action->SetEnabled(false);
    EXPECT_FALSE(action->Execute()) << "a disabled action runs nothing";
    EXPECT_FALSE(TAction(nullptr).Execute()) << "nor one without OnExecute";
    EXPECT_EQ(executed, 1);
}

TEST(Actions, EitherSideMayGoFirst)
{
    TForm form(Application);
    TAction* action = new TAction(&form);
    TButton* button = AddButton(form, "");
    TButton* other = AddButton(form, "");
    button->SetAction(action);
    other->SetAction(action);
    delete other;
    EXPECT_EQ(action->ClientCount(), 1);
    action->SetCaption("Repair");  // must not reach the freed button
    delete action;
    EXPECT_EQ(button->Action(), nullptr);
    EXPECT_EQ(button->Caption(), "Repair") << "the control keeps what it showed";
    button->Click();  // nothing left to run
    TAction first(nullptr), second(nullptr);
    button->SetAction(&first);
    button->SetAction(&second);
    EXPECT_EQ(first.ClientCount(), 0) << "moving to another action lets go of the first";
    button->SetAction(nullptr);
    EXPECT_EQ(second.ClientCount(), 0);
}
