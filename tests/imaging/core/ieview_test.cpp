// Tests of the followers' list of the image views: ids, removal during a dispatch, the last call.
#include "imaging/core/ieview.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace imaging;

namespace {

struct TLog {
    std::vector<std::string> calls;
    TIEBitmapChangeEvent Recorder(std::string name)
    {
        return
            [this, name](rtl::TObject*, bool destroying) { calls.push_back(name + (destroying ? "!" : "")); };
    }
};

TEST(BitmapChangeList, HandlesAreSmallIdsAndNoneAndUnknownOnesAreIgnored)
{
    TIEBitmapChangeList list;
    TLog log;
    const TIECallbackHandle a = list.Add(log.Recorder("a"));
    const TIECallbackHandle b = list.Add(log.Recorder("b"));
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(list.Add(nullptr), kIENoCallback);
    for (TIECallbackHandle bad : {kIENoCallback, -7, 2, 1 << 30})
        list.Remove(bad);
    list.Remove(a);
    list.Remove(a);  // twice is harmless
    EXPECT_EQ(list.Count(), 1);
    EXPECT_FALSE(list.Contains(a));
    EXPECT_TRUE(list.Contains(b));
    // A freed id is not handed out again while counting up.
    EXPECT_EQ(list.Add(log.Recorder("c")), 2);
}

TEST(BitmapChangeList, ChangeReachesEveryEntryInOrderAndKeepsThem)
{
    TIEBitmapChangeList list;
    TLog log;
    list.Add(log.Recorder("a"));
    list.Add(log.Recorder("b"));
    list.CallChanged(nullptr);
    list.CallChanged(nullptr);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a", "b", "a", "b"}));
    EXPECT_EQ(list.Count(), 2);
}

// A follower that detaches, or detaches another, while it is being told.
TEST(BitmapChangeList, RemovalDuringAChangeSkipsOnlyTheRemovedEntry)
{
    struct TCase {
        const char* name;
        int remover;         // index of the entry that removes
        int removed;         // index of the entry it removes
        const char* expect;  // calls of the first dispatch
    };
    const TCase cases[] = {
        {"removes itself", 1, 1, "abc"},
        {"removes a later one", 0, 2, "ab"},
        {"removes an earlier one", 2, 0, "abc"},
        {"removes the next one", 1, 2, "ab"},
    };
    for (const TCase& c : cases) {
        TIEBitmapChangeList list;
        std::string calls;
        TIECallbackHandle handles[3];
        for (int i = 0; i < 3; ++i) {
            const char name = char('a' + i);
            handles[i] = list.Add([&, i, name](rtl::TObject*, bool) {
                calls += name;
                if (i == c.remover)
                    list.Remove(handles[c.removed]);
            });
        }
        list.CallChanged(nullptr);
        EXPECT_EQ(calls, c.expect) << c.name;
        EXPECT_EQ(list.Count(), 2) << c.name;
    }
}

TEST(BitmapChangeList, EntriesAddedDuringADispatchWaitForTheNextOne)
{
    TIEBitmapChangeList list;
    TLog log;
    bool added = false;
    list.Add([&](rtl::TObject*, bool) {
        log.calls.push_back("a");
        if (!added) {
            added = true;
            list.Add(log.Recorder("late"));
        }
    });
    list.CallChanged(nullptr);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a"}));
    list.CallChanged(nullptr);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a", "a", "late"}));
}

TEST(BitmapChangeList, DestroyingIsHeardOnceByEachRemainingFollower)
{
    TIEBitmapChangeList list;
    TLog log;
    TIECallbackHandle c = kIENoCallback;
    list.Add(log.Recorder("a"));
    // b removes itself (already unlinked: harmless) and c, which must then not be told.
    const TIECallbackHandle b = list.Add(nullptr);
    TIECallbackHandle bHandle = list.Add([&](rtl::TObject*, bool destroying) {
        log.calls.push_back(destroying ? "b!" : "b");
        list.Remove(bHandle);
        list.Remove(c);
    });
    c = list.Add(log.Recorder("c"));
    list.Add(log.Recorder("d"));
    const TIECallbackHandle removed = list.Add(log.Recorder("gone"));
    list.Remove(removed);
    EXPECT_EQ(b, kIENoCallback);
    list.CallDestroying(nullptr);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a!", "b!", "d!"}));
    EXPECT_EQ(list.Count(), 0);
    list.CallDestroying(nullptr);
    EXPECT_EQ(log.calls.size(), 3u);
}

TEST(BitmapChangeList, ACallbackThatDropsItsOwnClosureStillFinishes)
{
    TIEBitmapChangeList list;
    auto text = std::make_shared<std::string>("kept");
    std::string seen;
    TIECallbackHandle self = kIENoCallback;
    self = list.Add([&, text](rtl::TObject*, bool) {
        list.Remove(self);  // destroys the list's copy of this closure
        seen = *text;       // the closure's captures must still be alive
    });
    text.reset();
    list.CallChanged(nullptr);
    EXPECT_EQ(seen, "kept");
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
