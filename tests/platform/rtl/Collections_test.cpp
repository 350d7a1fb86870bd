// Tests of collections: ownership of items, IDs, order, assignment and update notices.
#include "TestComponents.h"

#include "platform/rtl/Collections.h"

#include <gtest/gtest.h>

using namespace rtltest;

namespace {

class CountingCollection : public rtl::TCollection {
public:
    CountingCollection() : rtl::TCollection(rtl::ItemClass<TItem>()) {}
    int updates = 0;
    int added = 0;
    int removed = 0;

protected:
    void Update(rtl::TCollectionItem*) override { ++updates; }
    void Notify(rtl::TCollectionItem*, bool isAdded) override { (isAdded ? added : removed)++; }
};

TEST(Collections, ItemsGetIncreasingIdsThatAreNeverReused)
{
    CountingCollection c;
    auto* a = c.Add();
    auto* b = c.Add();
    EXPECT_EQ(a->ID(), 0);
    EXPECT_EQ(b->ID(), 1);
    c.Delete(0);
    auto* d = c.Add();
    EXPECT_EQ(d->ID(), 2);
    EXPECT_EQ(c.FindItemID(1), b);
    EXPECT_EQ(c.FindItemID(0), nullptr);
    EXPECT_EQ(b->Index(), 0);
}

TEST(Collections, DeletingAnItemDirectlyRemovesItFromItsCollection)
{
    CountingCollection c;
    auto* a = c.Add();
    c.Add();
    delete a;
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(c.removed, 1);
}

TEST(Collections, InsertPlacesTheItemAtTheIndex)
{
    CountingCollection c;
    auto* a = c.Add();
    auto* b = c.Add();
    auto* x = c.Insert(1);
    EXPECT_EQ(c.Items(0), a);
    EXPECT_EQ(c.Items(1), x);
    EXPECT_EQ(c.Items(2), b);
    EXPECT_THROW(c.Items(3), rtl::EListError);
}

TEST(Collections, EachChangeIsReportedOnce)
{
    CountingCollection c;
    c.Add();
    c.Add();
    EXPECT_EQ(c.updates, 2);
    c.Delete(0);
    EXPECT_EQ(c.updates, 3);
    c.Clear();
    EXPECT_EQ(c.updates, 4) << "a clear is one change";
}

TEST(Collections, UpdatesAreHeldBackUntilTheOutermostEndUpdate)
{
    CountingCollection c;
    c.BeginUpdate();
    c.BeginUpdate();
    c.Add();
    c.Add();
    c.EndUpdate();
    EXPECT_EQ(c.updates, 0);
    c.EndUpdate();
    EXPECT_EQ(c.updates, 1);
}

TEST(Collections, AssignReplacesItemsWithCopies)
{
    CountingCollection a, b;
    static_cast<TItem*>(a.Add())->Name = "Varnelo.exe";
    a.Add();
    b.Add();
    b.Add();
    b.Add();
    b.Assign(&a);
    ASSERT_EQ(b.Count(), 2) << "items replaced, not appended";
    EXPECT_EQ(b.Items(0)->DisplayName(), "Varnelo.exe");
    EXPECT_EQ(b.Items(1)->DisplayName(), "TItem");
    EXPECT_NE(b.Items(0), a.Items(0));
}

TEST(Collections, AssigningFromAnotherClassRaisesConvertError)
{
    CountingCollection c;
    TFont font;
    EXPECT_THROW(c.Assign(&font), rtl::EConvertError);
}

TEST(Collections, OwnedCollectionNamePathUsesItsPropertyName)
{
    RegisterTestClasses();
    TWidget w(nullptr);
    w.SetName("DataStore");
    w.Items()->Add();
    EXPECT_EQ(w.Items()->GetOwner(), &w);
    EXPECT_EQ(w.Items()->GetNamePath(), "DataStore.Items");
    EXPECT_EQ(w.Items()->Items(0)->GetNamePath(), "DataStore.Items[0]");
}

}  // namespace
