// Tests of TThread and the main-thread queue: ordering, blocking calls, termination, ownership.
#include "platform/rtl/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

using namespace rtl;

namespace {

// A thread running a given function, so each test states its body inline.
class FnThread : public TThread {
public:
    explicit FnThread(std::function<void(FnThread&)> body) : body_(std::move(body)) {}
    ~FnThread() override
    {
        // Execute uses body_; it must be done before body_ dies.
        if (!Suspended() && !Finished() && !FreeOnTerminate()) {
            Terminate();
            WaitFor();
        }
    }
    using TThread::Queue;
    using TThread::SetReturnValue;
    using TThread::Synchronize;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(FnThread&)> body_;
};

// Drains the queue until `done` holds or the time runs out; returns whether it held.
bool DrainUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        CheckSynchronize(5);
    }
    return true;
}

// Leaves no stray calls behind for the next test.
class ThreadTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        while (CheckSynchronize(0)) {
        }
        SetWakeMainThread(nullptr);
    }
};

}  // namespace

TEST_F(ThreadTest, QueuedCallsArriveInOrderWhileMainThreadDrains)
{
    std::vector<int> seen;
    std::atomic<bool> posted{false};
    FnThread t([&](FnThread&) {
        for (int i = 0; i < 2000; ++i)
            Queue([&seen, i] { seen.push_back(i); });
        posted = true;
    });
    t.Start();
    ASSERT_TRUE(DrainUntil([&] { return posted && seen.size() == 2000; }));
    t.WaitFor();
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST_F(ThreadTest, SynchronizeFromManyThreadsRunsEachCallOnTheMainThreadOnce)
{
    int counter = 0;  // deliberately not atomic: only the main thread may touch it
    std::atomic<int> offMain{0};
    std::vector<std::unique_ptr<FnThread>> threads;
    for (int k = 0; k < 8; ++k) {
        threads.push_back(std::make_unique<FnThread>([&](FnThread& self) {
            for (int i = 0; i < 200; ++i)
                self.Synchronize([&] {
                    if (!IsMainThread())
                        ++offMain;
                    ++counter;
                });
        }));
        threads.back()->Start();
    }
    for (auto& t : threads)
        t->WaitFor();  // drains the queue meanwhile
    EXPECT_EQ(counter, 1600);
    EXPECT_EQ(offMain, 0);
}

TEST_F(ThreadTest, SynchronizeWaitsForTheCallAndRethrowsInTheWorker)
{
    std::atomic<int> stage{0};
    std::string caught;
    FnThread t([&](FnThread& self) {
        self.Synchronize([&] { stage = 1; });
        stage = stage == 1 ? 2 : -1;  // the call must have run before Synchronize returned
        try {
            self.Synchronize([] { throw EAbort("from main"); });
        } catch (const EAbort& e) {
            caught = e.Message();
        }
    });
    t.Start();
    t.WaitFor();
    EXPECT_EQ(stage, 2);
    EXPECT_EQ(caught, "from main");
}

TEST_F(ThreadTest, SynchronizeOnTheMainThreadRunsDirectly)
{
    bool ran = false;
    Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    ran = false;
    Queue([&] { ran = true; });
    EXPECT_TRUE(ran);
    ran = false;
    ForceQueue([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(CheckSynchronize(0));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(CheckSynchronize(0));
}

TEST_F(ThreadTest, OnTerminateRunsOnTheMainThreadAfterExecute)
{
    std::atomic<bool> executed{false};
    bool onMain = false, afterExecute = false;
    TObject* sender = nullptr;
    FnThread t([&](FnThread& self) {
        self.SetReturnValue(42);
        executed = true;
    });
    t.OnTerminate = [&](TObject* s) {
        onMain = IsMainThread();
        afterExecute = executed;
        sender = s;
    };
    t.Start();
    EXPECT_EQ(t.WaitFor(), 42);
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(afterExecute);
    EXPECT_EQ(sender, &t);
    EXPECT_TRUE(t.Finished());
}

namespace {
std::atomic<int> gLiveSelfFreeing{0};
class SelfFreeing : public TThread {
public:
    explicit SelfFreeing(bool setInsideExecute) : setInsideExecute_(setInsideExecute)
    {
        ++gLiveSelfFreeing;
        buffer_ = std::make_unique<std::vector<int>>(1000);  // something for ASan to see leak
        if (!setInsideExecute)
            SetFreeOnTerminate(true);
    }
    ~SelfFreeing() override { --gLiveSelfFreeing; }

protected:
    void Execute() override
    {
        (*buffer_)[0] = 1;
        if (setInsideExecute_)
            SetFreeOnTerminate(true);  // the I/O workers decide only at the end
    }

private:
    bool setInsideExecute_;
    std::unique_ptr<std::vector<int>> buffer_;
};
}  // namespace

TEST_F(ThreadTest, FreeOnTerminateThreadsDeleteThemselvesAfterOnTerminate)
{
    gLiveSelfFreeing = 0;
    std::atomic<int> terminated{0};
    for (int i = 0; i < 20; ++i) {
        auto* t = new SelfFreeing(i % 2 == 0);
        t->OnTerminate = [&](TObject*) { ++terminated; };
        t->Start();
    }
    ASSERT_TRUE(DrainUntil([&] { return gLiveSelfFreeing == 0; }));
    EXPECT_EQ(terminated, 20);
}

TEST_F(ThreadTest, ExceptionInExecuteIsKeptAndTerminationStillFollows)
{
    bool terminatedCalled = false;
    FnThread t([](FnThread&) { throw EReadError("bad"); });
    t.OnTerminate = [&](TObject*) { terminatedCalled = true; };
    t.Start();
    t.WaitFor();
    EXPECT_TRUE(terminatedCalled);
    ASSERT_TRUE(t.FatalException());
    EXPECT_THROW(std::rethrow_exception(t.FatalException()), EReadError);
}

TEST_F(ThreadTest, DestroyingANeverStartedThreadSkipsExecute)
{
    std::atomic<bool> ran{false};
    {
        FnThread t([&](FnThread&) { ran = true; });
        EXPECT_TRUE(t.Suspended());
        EXPECT_NE(t.Handle(), 0);
    }
    EXPECT_FALSE(ran);
}

TEST_F(ThreadTest, DestroyingARunningThreadTerminatesAndWaits)
{
    std::atomic<bool> started{false}, left{false};
    auto t = std::make_unique<FnThread>([&](FnThread& self) {
        started = true;
        while (!self.Terminated())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        left = true;
    });
    t->Start();
    while (!started)
        std::this_thread::yield();
    t.reset();
    EXPECT_TRUE(left);
}

TEST_F(ThreadTest, DestroyingWhileTheWorkerSynchronizesDoesNotDeadlock)
{
    std::atomic<bool> started{false};
    int calls = 0;
    auto t = std::make_unique<FnThread>([&](FnThread& self) {
        started = true;
        // One call at least, whenever Terminate lands: the destructor's wait must serve it.
        do
            self.Synchronize([&] { ++calls; });
        while (!self.Terminated());
    });
    t->Start();
    while (!started)
        std::this_thread::yield();
    t.reset();
    EXPECT_GE(calls, 1);
}

TEST_F(ThreadTest, AQueuedCallFailingWhileTheDestructorWaitsIsRaisedLaterNotFatal)
{
    class Idle : public TThread {
    protected:
        void Execute() override
        {
            while (!Terminated())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    auto* t = new Idle;
    bool terminated = false;
    t->OnTerminate = [&](TObject*) { terminated = true; };
    t->Start();
    // Queued before OnTerminate's call, so the destructor's drain runs it first.
    ForceQueue([] { throw EThread("queued failure"); });
    delete t;
    EXPECT_TRUE(terminated);
    try {
        CheckSynchronize(0);
        ADD_FAILURE() << "the failure of the queued call was lost";
    } catch (const EThread& e) {
        EXPECT_EQ(e.Message(), "queued failure");
    }
}

TEST_F(ThreadTest, MisuseRaisesThreadErrors)
{
    FnThread never([](FnThread&) {});
    EXPECT_THROW(never.WaitFor(), EThread);
    FnThread t([](FnThread&) {});
    t.Start();
    EXPECT_THROW(t.Start(), EThread);
    t.Resume();  // harmless once started
    t.WaitFor();
    std::string selfWait;
    FnThread self([&](FnThread& me) {
        try {
            me.WaitFor();
        } catch (const EThread& e) {
            selfWait = e.Message();
        }
        try {
            CheckSynchronize(0);
        } catch (const EThread& e) {
            selfWait += "|" + e.Message().substr(0, 35);
        }
    });
    self.Start();
    self.WaitFor();
    EXPECT_EQ(selfWait, "Thread cannot wait for itself|CheckSynchronize called from thread");
}

TEST_F(ThreadTest, ThreadIdIsWhatExecuteSeesAsCurrent)
{
    std::atomic<std::uint32_t> inside{0};
    FnThread t([&](FnThread&) { inside = CurrentThreadId(); });
    t.Start();
    t.WaitFor();
    EXPECT_EQ(inside, t.ThreadID());
    EXPECT_NE(t.ThreadID(), CurrentThreadId());
}

// The main thread is woken when a call lands in an empty queue: a drain takes every call queued,
// so calls behind the first need no wake of their own; calls a failing drain leaves behind, and
// calls queued before the hook existed, get one.
TEST_F(ThreadTest, WakeHookFiresWhenTheQueueStopsBeingEmpty)
{
    std::atomic<int> wakes{0};
    int ran = 0;
    ForceQueue([&] { ++ran; }, nullptr);
    SetWakeMainThread([&] { ++wakes; });
    EXPECT_EQ(wakes, 1) << "a call queued before the hook";
    ForceQueue([&] { ++ran; }, nullptr);
    EXPECT_EQ(wakes, 1);
    EXPECT_TRUE(CheckSynchronize());
    EXPECT_EQ(ran, 2);

    FnThread t([&](FnThread& self) {
        self.Queue([&] { ++ran; });
        self.Queue([&] { ++ran; });
        self.Synchronize([&] { ++ran; });
    });
    t.Start();
    t.WaitFor();
    CheckSynchronize();
    EXPECT_EQ(ran, 5);
    EXPECT_GE(wakes, 2);
    EXPECT_LE(wakes, 4);

    wakes = 0;
    ForceQueue([] { throw std::runtime_error("failing call"); }, nullptr);
    ForceQueue([&] { ++ran; }, nullptr);
    EXPECT_EQ(wakes, 1);
    EXPECT_THROW(CheckSynchronize(), std::runtime_error);
    EXPECT_EQ(wakes, 2) << "the call left behind wakes the main thread again";
    EXPECT_TRUE(CheckSynchronize());
    EXPECT_EQ(ran, 6);
}

TEST_F(ThreadTest, RemoveQueuedEventsDropsOnlyThatOwnersCalls)
{
    int a = 0, b = 0;
    const int ownerA = 1, ownerB = 2;
    ForceQueue([&] { ++a; }, &ownerA);
    ForceQueue([&] { ++b; }, &ownerB);
    ForceQueue([&] { ++a; }, &ownerA);
    RemoveQueuedEvents(&ownerA);
    CheckSynchronize(0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
}

TEST_F(ThreadTest, AFailingQueuedCallKeepsTheCallsBehindIt)
{
    std::vector<int> order;
    ForceQueue([&] { order.push_back(1); });
    ForceQueue([] { throw EAbort(); });
    ForceQueue([&] { order.push_back(3); });
    EXPECT_THROW(CheckSynchronize(0), EAbort);
    ForceQueue([&] { order.push_back(4); });
    CheckSynchronize(0);
    EXPECT_EQ(order, (std::vector<int>{1, 3, 4}));
}

TEST_F(ThreadTest, CheckSynchronizeTimesOutWhenIdle)
{
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(CheckSynchronize(30));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(25));
}

TEST_F(ThreadTest, PriorityIsRecorded)
{
    FnThread t([](FnThread&) {});
    t.SetPriority(tpLower);
    EXPECT_EQ(t.Priority(), tpLower);
    t.Start();
    t.WaitFor();
}

TEST(SyncObjects, CriticalSectionIsRecursiveAndExcludesOthers)
{
    TCriticalSection cs;
    cs.Enter();
    cs.Enter();
    std::atomic<bool> got{true};
    std::thread([&] { got = cs.TryEnter(); }).join();
    EXPECT_FALSE(got);
    cs.Leave();
    cs.Leave();
    std::thread([&] {
        got = cs.TryEnter();
        if (got)
            cs.Leave();
    }).join();
    EXPECT_TRUE(got);
}

TEST(SyncObjects, EventsSignalAndTimeOut)
{
    TSimpleEvent manual(true, false);
    EXPECT_EQ(manual.WaitFor(10), wrTimeout);
    std::thread([&] { manual.SetEvent(); }).join();
    EXPECT_EQ(manual.WaitFor(), wrSignaled);
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);  // stays set
    TSimpleEvent autoReset(false, true);
    EXPECT_EQ(autoReset.WaitFor(0), wrSignaled);
    EXPECT_EQ(autoReset.WaitFor(0), wrTimeout);
}
