// Worker threads (TThread), the main-thread call queue that workers use to reach the user
// interface, and small synchronisation objects.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/TypeInfo.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>

namespace rtl {

// ---- main-thread queue ----

// The main thread is the one that ran the runtime's unit initialisation (main's thread; see
// Units.h), or without it the first to use the queue; tests may claim it with SetMainThread.
bool IsMainThread();
void SetMainThread();
// Identifier of the calling thread; a TThread's ThreadID() is the value its Execute sees here.
std::uint32_t CurrentThreadId();

// Runs `fn` on the main thread and waits for it to finish; called on the main thread it just runs
// it. An exception thrown by `fn` is raised again in the caller. The main thread must be draining
// the queue (CheckSynchronize, or a message loop that calls it when woken), or this waits forever.
void Synchronize(const std::function<void()>& fn);
// Hands `fn` to the main thread without waiting; calls from one thread run in the order queued.
// On the main thread it runs at once. `owner`, when given, lets RemoveQueuedEvents drop the call.
void Queue(std::function<void()> fn, const void* owner = nullptr);
// As Queue, but always queued, even from the main thread.
void ForceQueue(std::function<void()> fn, const void* owner = nullptr);
// Drops calls queued with this owner that have not started yet.
void RemoveQueuedEvents(const void* owner);
// Main thread only (EThread otherwise): runs every call waiting in the queue, first waiting up to
// `timeoutMs` for one to arrive. Returns true when it ran anything. When a queued call throws,
// the calls behind it stay queued and the exception propagates.
bool CheckSynchronize(int timeoutMs = 0);
// Called (on the posting thread) after every Synchronize or Queue, so that a message loop blocked
// in the operating system can wake and drain. The Windows layer sets it once at start-up.
void SetWakeMainThread(std::function<void()> wake);

// ---- TThread ----

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
RTL_ENUM_INFO(TThreadPriority, "tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest",
              "tpTimeCritical")

// A worker running Execute once. A thread is created suspended (C++ cannot run a virtual Execute
// before the derived constructor has finished) and runs after Start or Resume. Handle and
// ThreadID exist from construction.
//
// After Execute returns (or throws: the exception is kept in FatalException), OnTerminate runs on
// the main thread through Synchronize; then, with FreeOnTerminate (read after Execute, so Execute
// may set it), the thread deletes itself. Destroying a running thread sets Terminated and waits for
// it (on the main thread draining the queue; a queued call that fails meanwhile is queued again to
// raise its exception later, since a destructor cannot); destroying one that never started ends it
// without running Execute. A derived class whose
// Execute uses its own members must Terminate and WaitFor in its own destructor, since those
// members die before this base destructor runs.
class TThread : public TObject {
public:
    TThread();
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Raises EThread "Cannot call Start on a running or finished thread" the second time.
    void Start();
    // Start for a thread that has not started; no effect afterwards.
    void Resume();
    bool Suspended() const { return !started_; }

    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    bool Finished() const { return finished_.load(); }

    // Waits for Execute and OnTerminate to finish and returns ReturnValue. On the main thread it
    // keeps draining the queue meanwhile, so a worker blocked in Synchronize cannot deadlock it.
    // Raises EThread for a thread that never started, for FreeOnTerminate threads (they may be
    // gone by the time the wait ends) and for a thread waiting for itself.
    std::int32_t WaitFor();

    bool FreeOnTerminate() const { return freeOnTerminate_.load(); }
    void SetFreeOnTerminate(bool value) { freeOnTerminate_.store(value); }
    TThreadPriority Priority() const { return priority_; }
    // Applied to the operating-system thread on Windows; recorded only elsewhere.
    void SetPriority(TThreadPriority value);
    std::int32_t ReturnValue() const { return returnValue_.load(); }
    // The exception that ended Execute, or null.
    std::exception_ptr FatalException() const { return fatalException_; }

    // The operating-system thread: a HANDLE on Windows (valid while this object lives).
    std::intptr_t Handle() const { return handle_; }
    std::uint32_t ThreadID() const { return threadId_; }

    // Runs on the main thread with Sender = this thread, after Execute.
    std::function<void(TObject* sender)> OnTerminate;

protected:
    virtual void Execute() = 0;
    // Runs OnTerminate through Synchronize when it is set.
    virtual void DoTerminate();
    void SetReturnValue(std::int32_t value) { returnValue_.store(value); }
    // Calls owned by this thread, dropped if the thread is destroyed before they run.
    void Synchronize(const std::function<void()>& fn) { rtl::Synchronize(fn); }
    void Queue(std::function<void()> fn) { rtl::Queue(std::move(fn), this); }

private:
    static void Entry(void* self);
    void Run();
    void ReleaseNative(bool wait);

    std::mutex gateMutex_;
    std::condition_variable gate_;
    bool started_ = false;
    bool abandoned_ = false;

    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> freeOnTerminate_{false};
    std::atomic<std::int32_t> returnValue_{0};
    TThreadPriority priority_ = tpNormal;
    std::exception_ptr fatalException_;
    std::intptr_t handle_ = 0;
    std::uint32_t threadId_ = 0;
    bool released_ = false;
};

// ---- synchronisation objects ----

// The one critical section of the system: a lock its holder may enter again, left as often as
// entered. Every layer uses this type, the Windows one included.
class TCriticalSection : public TObject {
public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }
    void Acquire() { Enter(); }
    void Release() { Leave(); }
    // The standard lock names, so std::lock_guard and std::unique_lock can hold it.
    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    std::recursive_mutex mutex_;
};

enum TWaitResult { wrSignaled, wrTimeout };

// A manual- or auto-reset event between threads.
class TSimpleEvent : public TObject {
public:
    explicit TSimpleEvent(bool manualReset = true, bool initialState = false)
        : manualReset_(manualReset), signaled_(initialState)
    {
    }
    void SetEvent();
    void ResetEvent();
    // timeoutMs < 0 waits forever.
    TWaitResult WaitFor(int timeoutMs = -1);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool manualReset_;
    bool signaled_;
};

namespace detail {
// Operating-system thread primitives, one implementation per platform.
std::intptr_t StartNativeThread(void (*entry)(void*), void* arg, std::uint32_t& threadId);
void JoinNativeThread(std::intptr_t handle);
void DetachNativeThread(std::intptr_t handle);
void SetNativePriority(std::intptr_t handle, TThreadPriority priority);
std::uint32_t NativeCurrentThreadId();
// POSIX threads have no small numeric id; the new thread adopts the one chosen at creation.
void AdoptThreadId(std::uint32_t id);
// Before the process ends: waits up to timeoutMs until every other thread of the process has
// finished starting (those running may stay); false when one has not. Wine ends a process by
// signalling its other threads, and a thread signalled before it has set itself up crashes the
// whole process as it exits. Windows needs no wait, and POSIX none either (true at once).
bool WaitForStartingThreads(std::uint32_t timeoutMs);
}  // namespace detail

}  // namespace rtl
