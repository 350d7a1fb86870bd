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

struct ActionFixture : ::testing::Test {
    void SetUp() override
    {
        form = std::make_unique<TForm>(Application);
        form->SetBounds(60, 60, 320, 200);
        action = new TAction(form.get());
        action->SetCaption("Install");
        action->OnExecute = [this](rtl::TObject* sender) {
            ++executed;
            EXPECT_EQ(sender, action);
        };
        form->Show();
    }
    TButton* AddButton(const std::string& caption, int top)
    {
        auto* b = new TButton(form.get());
        b->SetBounds(10, top, 100, 25);
        b->SetCaption(caption);
        b->SetParent(form.get());
        return b;
    }
    static std::string WindowText(TWinControl* c)
    {
        char text[64] = {};
        ::GetWindowTextA(c->Handle(), text, sizeof text);
        return text;
    }
    std::unique_ptr<TForm> form;
    TAction* action = nullptr;
    int executed = 0;
};

}  // namespace

TEST_F(ActionFixture, ControlsTakeTheActionsValuesAndFollowItsChanges)
{
    TButton* blank = AddButton("", 10);
    TButton* own = AddButton("Start", 40);
    TButton* disabled = AddButton("", 70);
    disabled->SetEnabled(false);
    action->SetEnabled(false);
    for (TButton* b : {blank, own, disabled})
        b->SetAction(action);
    // On assignment only what still has its default takes the action's value.
    EXPECT_EQ(WindowText(blank), "Install");
    EXPECT_EQ(WindowText(own), "Start") << "a caption of its own stays";
    EXPECT_FALSE(blank->Enabled()) << "an enabled control takes the disabled state";
    EXPECT_FALSE(::IsWindowEnabled(blank->Handle()));
    EXPECT_EQ(action->ClientCount(), 3);
    // A change reaches every control, whatever it had.
    action->SetCaption("Reinstall");
    action->SetEnabled(true);
    for (TButton* b : {blank, own, disabled}) {
        EXPECT_EQ(WindowText(b), "Reinstall");
        EXPECT_TRUE(::IsWindowEnabled(b->Handle()));
    }
}

TEST_F(ActionFixture, AClickRunsTheActionUnlessTheControlHasAHandlerOfItsOwn)
{
    TButton* button = AddButton("", 10);
    button->SetAction(action);
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(executed, 1);
    action->SetEnabled(false);
    EXPECT_FALSE(action->Execute()) << "a disabled action runs nothing";
    button->Click();
    EXPECT_EQ(executed, 1);
    action->SetEnabled(true);
    int ownClicks = 0;
    button->OnClick = [&](rtl::TObject*) { ++ownClicks; };
    ::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(ownClicks, 1);
    EXPECT_EQ(executed, 1);
    TAction idle(nullptr);
    EXPECT_FALSE(idle.Execute()) << "an action without OnExecute runs nothing";
}

TEST_F(ActionFixture, EitherSideMayGoFirst)
{
    TButton* button = AddButton("", 10);
    TButton* other = AddButton("", 40);
    button->SetAction(action);
    other->SetAction(action);
    delete other;
    EXPECT_EQ(action->ClientCount(), 1);
    action->SetCaption("Repair");  // must not reach the freed button
    EXPECT_EQ(WindowText(button), "Repair");
    delete action;
    action = nullptr;
    EXPECT_EQ(button->Action(), nullptr);
    EXPECT_EQ(WindowText(button), "Repair") << "the control keeps what it showed";
    button->Click();  // with no action left, nothing runs
    EXPECT_EQ(executed, 0);
    // Moving to another action lets go of the first one.
    TAction first(nullptr), second(nullptr);
    button->SetAction(&first);
    button->SetAction(&second);
    EXPECT_EQ(first.ClientCount(), 0);
    EXPECT_EQ(second.ClientCount(), 1);
    button->SetAction(nullptr);
    EXPECT_EQ(second.ClientCount(), 0);
}
