// Tests of ownership, names, free notification, component state and assignment.
#include "TestComponents.h"

#include "platform/rtl/Component.h"

#include <gtest/gtest.h>

#include <string>

using namespace rtltest;

namespace {

struct Registered : ::testing::Test {
    void SetUp() override { RegisterTestClasses(); }
};

using ComponentOwnership = Registered;

TEST_F(ComponentOwnership, OwnerFreesItsComponentsInItsDestructor)
{
    int before = TWidget::Live();
    {
        auto owner = std::make_unique<TWidget>(nullptr);
        auto* a = new TWidget(owner.get());
        new TWidget(a);  // grandchild, owned by a
        EXPECT_EQ(owner->ComponentCount(), 1);
        EXPECT_EQ(a->Owner(), owner.get());
        EXPECT_EQ(TWidget::Live(), before + 3);
    }
    EXPECT_EQ(TWidget::Live(), before);
}

TEST_F(ComponentOwnership, ComponentDestroyedEarlyLeavesItsOwner)
{
    auto owner = std::make_unique<TWidget>(nullptr);
    auto* a = new TWidget(owner.get());
    auto* b = new TWidget(owner.get());
    a->SetName("A");
    b->SetName("B");
    delete a;
    ASSERT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(owner->Components(0), b);
    EXPECT_EQ(owner->FindComponent("A"), nullptr);
    EXPECT_EQ(b->ComponentIndex(), 0);
}

TEST_F(ComponentOwnership, InsertAndRemoveMoveComponentsAndNotifyTheOwner)
{
    auto first = std::make_unique<TWidget>(nullptr);
    auto second = std::make_unique<TWidget>(nullptr);
    auto* c = new TWidget(first.get());
    c->SetName("C");
    second->InsertComponent(c);
    EXPECT_EQ(first->ComponentCount(), 0);
    EXPECT_EQ(c->Owner(), second.get());
    EXPECT_EQ(first->notifications.back(), "remove C");
    EXPECT_EQ(second->notifications.back(), "insert C");
    second->RemoveComponent(c);
    EXPECT_EQ(c->Owner(), nullptr);
    delete c;
}

TEST_F(ComponentOwnership, ComponentsIndexOutOfRangeRaisesListError)
{
    TWidget owner(nullptr);
    EXPECT_THROW(owner.Components(0), rtl::EListError);
    EXPECT_THROW(owner.Components(-1), rtl::EListError);
}

using ComponentNames = Registered;

TEST_F(ComponentNames, DuplicateNameIgnoringCaseIsRejectedAndNameKept)
{
    TWidget owner(nullptr);
    auto* a = new TWidget(&owner);
    auto* b = new TWidget(&owner);
    a->SetName("Button1");
    b->SetName("Other");
    try {
        b->SetName("BUTTON1");
        FAIL() << "duplicate accepted";
    } catch (const rtl::EComponentError& e) {
        EXPECT_EQ(e.Message(), "A component named BUTTON1 already exists");
    }
    EXPECT_EQ(b->Name(), "Other");
    EXPECT_EQ(owner.FindComponent("button1"), a);
    a->SetName("button1");  // same component, other case: allowed
    EXPECT_EQ(a->Name(), "button1");
}

TEST_F(ComponentNames, InvalidIdentifierIsRejected)
{
    TWidget w(nullptr);
    EXPECT_THROW(w.SetName("1abc"), rtl::EComponentError);
    EXPECT_THROW(w.SetName("a b"), rtl::EComponentError);
    EXPECT_THROW(w.SetName("a.b"), rtl::EComponentError);
    w.SetName("_ok9");
    w.SetName("");
    EXPECT_EQ(w.Name(), "");
}

TEST_F(ComponentNames, PublishedFieldFollowsTheComponentOfItsName)
{
    TTestForm form(nullptr);
    auto* w = new TWidget(&form);
    w->SetName("Button1");
    EXPECT_EQ(form.Button1, w);
    w->SetName("Renamed");
    EXPECT_EQ(form.Button1, nullptr);
    w->SetName("Button1");
    delete w;
    EXPECT_EQ(form.Button1, nullptr) << "field left dangling after the component died";
}

using FreeNotification = Registered;

TEST_F(FreeNotification, ReferenceIsClearedWhenTheTargetDies)
{
    auto holder = std::make_unique<TWidget>(nullptr);
    auto* target = new TWidget(nullptr);
    target->SetName("T");
    holder->SetBuddy(target);
    delete target;
    EXPECT_EQ(holder->Buddy(), nullptr);
    EXPECT_EQ(holder->notifications.back(), "remove T");
}

TEST_F(FreeNotification, HolderDyingFirstLeavesNoDanglingEntryInTheTarget)
{
    auto target = std::make_unique<TWidget>(nullptr);
    auto* holder = new TWidget(nullptr);
    holder->SetBuddy(target.get());
    delete holder;
    // The target would call into the freed holder here if the link were one-sided.
    target.reset();
    SUCCEED();
}

TEST_F(FreeNotification, RemovedNotificationIsNotDelivered)
{
    auto holder = std::make_unique<TWidget>(nullptr);
    auto* target = new TWidget(nullptr);
    target->SetName("T");
    holder->SetBuddy(target);
    holder->SetBuddy(nullptr);
    holder->notifications.clear();
    delete target;
    EXPECT_TRUE(holder->notifications.empty());
}

TEST_F(FreeNotification, SiblingsLearnOfAnOwnedComponentDyingWithTheOwner)
{
    int before = TWidget::Live();
    {
        TWidget owner(nullptr);
        auto* a = new TWidget(&owner);
        auto* b = new TWidget(&owner);
        a->SetName("A");
        b->SetName("B");
        b->SetBuddy(a);
        // Destroying the owner frees B last-first: B first, then A; either order must not
        // leave B's reference dangling while A dies.
    }
    EXPECT_EQ(TWidget::Live(), before);
}

TEST_F(FreeNotification, OwnerDestructionMarksChildrenDestroying)
{
    struct Probe : TWidget {
        explicit Probe(rtl::TComponent* o, bool& flag) : TWidget(o), flag_(flag) {}
        ~Probe() override { flag_ = ComponentState().Contains(rtl::csDestroying); }
        bool& flag_;
    };
    bool sawDestroying = false;
    {
        TWidget owner(nullptr);
        new Probe(&owner, sawDestroying);
    }
    EXPECT_TRUE(sawDestroying);
}

using Assignment = Registered;

TEST_F(Assignment, UnrelatedClassesRaiseConvertErrorNamingBoth)
{
    TFont font;
    TWidget w(nullptr);
    try {
        font.Assign(&w);
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TWidget to a TFont");
    }
    try {
        font.Assign(nullptr);
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a nil to a TFont");
    }
}

TEST_F(Assignment, SameClassCopiesValues)
{
    TFont a, b;
    b.Name = "Arial";
    b.Size = 12;
    b.Style = {fsBold};
    a.Assign(&b);
    EXPECT_EQ(a.Name, "Arial");
    EXPECT_EQ(a.Size, 12);
    EXPECT_TRUE(a.Style.Contains(fsBold));
}

TEST(ComponentEvents, UnassignedDoesNothingWhenCalledAndBoundOneCallsItsHandler)
{
    rtl::TNotifyEvent e;
    EXPECT_TRUE(e == nullptr);
    e(nullptr);
    rtl::TEvent<std::string(int)> text;
    EXPECT_EQ(text(7), "");
    int calls = 0;
    e = [&](rtl::TObject*) { ++calls; };
    EXPECT_FALSE(e == nullptr);
    e(nullptr);
    EXPECT_EQ(calls, 1);
    e = nullptr;
    EXPECT_FALSE(e.Assigned());
}

TEST(ComponentEvents, ClassNamesComeFromTheClassTable)
{
    TWidget w(nullptr);
    TTestForm f(nullptr);
    EXPECT_EQ(w.ClassName(), "TWidget");
    EXPECT_EQ(f.ClassName(), "TTestForm");
    EXPECT_TRUE(f.InheritsFrom(rtl::TComponent::StaticClassInfo()));
    EXPECT_FALSE(w.InheritsFrom(TTestForm::StaticClassInfo()));
}

}  // namespace
