// TThread's life cycle and the main-thread call queue.
#include "platform/rtl/Thread.h"

#include "platform/rtl/Strings.h"

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace rtl {

namespace {

struct SyncRecord {
    std::function<void()> fn;
    const void* owner = nullptr;
    bool synchronous = false;
    bool done = false;
    std::exception_ptr error;
};

// One lock guards the queue, the finish flags seen by WaitFor and the wake-up hook; the one
// condition variable wakes the main thread for either a new call or a finished thread.
struct SyncState {
    // Whoever touches the queue first is main until the runtime's unit initialisation says.
    SyncState() : mainThreadId(CurrentThreadId()) {}

    std::mutex mutex;
    std::condition_variable wakeMain;  // queue not empty, or a thread finished
    std::condition_variable doneCv;    // a synchronous call completed
    std::deque<std::shared_ptr<SyncRecord>> queue;
    std::function<void()> wake;
    std::atomic<std::uint32_t> mainThreadId;
};

SyncState& State()
{
    static SyncState state;
    return state;
}

void Post(std::shared_ptr<SyncRecord> record)
{
    SyncState& s = State();
    std::function<void()> wake;
    {
        std::lock_guard lock(s.mutex);
        // Only the first call into an empty queue wakes the main thread: a drain takes the whole
        // queue, so the wake already on its way covers every call behind it. A wake a call (a
        // window message under Windows) costs a round trip through the system each; a worker
        // reporting tens of thousands of lines would spend its time in them.
        if (s.queue.empty())
            wake = s.wake;
        s.queue.push_back(std::move(record));
    }
    s.wakeMain.notify_all();
    if (wake)
        wake();
}

// Wakes the main thread for what is queued already: after a drain that left calls behind.
void WakeForQueued(SyncState& s)
{
    std::function<void()> wake;
    {
        std::lock_guard lock(s.mutex);
        if (!s.queue.empty())
            wake = s.wake;
    }
    if (wake)
        wake();
}

// Waits until `finished` is set. On the main thread it keeps draining the queue meanwhile, so a
// worker blocked in Synchronize cannot deadlock the wait.
void AwaitFinished(const std::atomic<bool>& finished)
{
    SyncState& s = State();
    if (!IsMainThread()) {
        std::unique_lock lock(s.mutex);
        s.wakeMain.wait(lock, [&] { return finished.load(); });
        return;
    }
    while (!finished.load()) {
        CheckSynchronize(0);
        std::unique_lock lock(s.mutex);
        s.wakeMain.wait(lock, [&] { return finished.load() || !s.queue.empty(); });
    }
}

}  // namespace

// ---- main-thread queue ----

void SetMainThread() { State().mainThreadId.store(CurrentThreadId()); }
bool IsMainThread() { return CurrentThreadId() == State().mainThreadId.load(); }
std::uint32_t CurrentThreadId() { return detail::NativeCurrentThreadId(); }

void Synchronize(const std::function<void()>& fn)
{
    if (!fn)
        return;
    if (IsMainThread()) {
        fn();
        return;
    }
    auto record = std::make_shared<SyncRecord>();
    record->fn = fn;
    record->synchronous = true;
    Post(record);
    SyncState& s = State();
    std::unique_lock lock(s.mutex);
    s.doneCv.wait(lock, [&] { return record->done; });
    if (record->error)
        std::rethrow_exception(record->error);
}

void ForceQueue(std::function<void()> fn, const void* owner)
{
    if (!fn)
        return;
    auto record = std::make_shared<SyncRecord>();
    record->fn = std::move(fn);
    record->owner = owner;
    Post(std::move(record));
}

void Queue(std::function<void()> fn, const void* owner)
{
    if (fn && IsMainThread()) {
        fn();
        return;
    }
    ForceQueue(std::move(fn), owner);
}

void RemoveQueuedEvents(const void* owner)
{
    if (!owner)
        return;
    SyncState& s = State();
    std::lock_guard lock(s.mutex);
    std::erase_if(s.queue,
                  [&](const std::shared_ptr<SyncRecord>& r) { return !r->synchronous && r->owner == owner; });
}

bool CheckSynchronize(int timeoutMs)
{
    if (!IsMainThread())
        throw EThread(Format("CheckSynchronize called from thread $%X, which is NOT the main thread",
                             CurrentThreadId()));
    SyncState& s = State();
    std::deque<std::shared_ptr<SyncRecord>> batch;
    {
        std::unique_lock lock(s.mutex);
        if (s.queue.empty() && timeoutMs > 0)
            s.wakeMain.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !s.queue.empty(); });
        batch.swap(s.queue);
    }
    bool ran = false;
    while (!batch.empty()) {
        std::shared_ptr<SyncRecord> record = std::move(batch.front());
        batch.pop_front();
        ran = true;
        if (record->synchronous) {
            try {
                record->fn();
            } catch (...) {
                record->error = std::current_exception();
            }
            {
                std::lock_guard lock(s.mutex);
                record->done = true;
            }
            s.doneCv.notify_all();
            continue;
        }
        try {
            record->fn();
        } catch (...) {
            // Keep what was behind the failing call, ahead of anything queued since.
            {
                std::lock_guard lock(s.mutex);
                s.queue.insert(s.queue.begin(), batch.begin(), batch.end());
            }
            WakeForQueued(s);
            throw;
        }
    }
    return ran;
}

void SetWakeMainThread(std::function<void()> wake)
{
    SyncState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.wake = std::move(wake);
    }
    // Calls queued before the hook came had no one to wake.
    WakeForQueued(s);
}

// ---- TThread ----

TThread::TThread() { handle_ = detail::StartNativeThread(&TThread::Entry, this, threadId_); }

TThread::~TThread()
{
    RemoveQueuedEvents(this);
    if (handle_ == 0)
        return;
    if (detail::NativeCurrentThreadId() == threadId_) {
        // FreeOnTerminate: the thread is deleting itself at the end of Run.
        ReleaseNative(false);
        return;
    }
    bool wasStarted;
    {
        std::lock_guard lock(gateMutex_);
        wasStarted = started_;
        if (!started_)
            abandoned_ = true;
    }
    if (!wasStarted) {
        gate_.notify_all();
        ReleaseNative(true);
        return;
    }
    if (!finished_.load()) {
        Terminate();
        // Like WaitFor, but also for FreeOnTerminate threads, which cannot be here while running
        // unless someone deletes them by mistake. A destructor must not throw: a queued call that
        // fails meanwhile is raised again from the queue once the wait is over.
        std::vector<std::exception_ptr> failures;
        for (;;) {
            try {
                AwaitFinished(finished_);
                break;
            } catch (...) {
                failures.push_back(std::current_exception());
            }
        }
        for (const std::exception_ptr& failure : failures)
            ForceQueue([failure] { std::rethrow_exception(failure); });
    }
    ReleaseNative(true);
}

void TThread::ReleaseNative(bool wait)
{
    if (released_)
        return;
    released_ = true;
    if (wait)
        detail::JoinNativeThread(handle_);
    else
        detail::DetachNativeThread(handle_);
}

void TThread::Start()
{
    {
        std::lock_guard lock(gateMutex_);
        if (started_)
            throw EThread("Cannot call Start on a running or finished thread");
        started_ = true;
    }
    gate_.notify_all();
}

void TThread::Resume()
{
    {
        std::lock_guard lock(gateMutex_);
        if (started_)
            return;
        started_ = true;
    }
    gate_.notify_all();
}

void TThread::SetPriority(TThreadPriority value)
{
    priority_ = value;
    detail::SetNativePriority(handle_, value);
}

std::int32_t TThread::WaitFor()
{
    if (detail::NativeCurrentThreadId() == threadId_)
        throw EThread("Thread cannot wait for itself");
    if (FreeOnTerminate())
        throw EThread("Cannot call WaitFor on a FreeOnTerminate thread");
    {
        std::lock_guard lock(gateMutex_);
        if (!started_)
            throw EThread("Cannot call WaitFor on a thread that was never started");
    }
    AwaitFinished(finished_);
    return ReturnValue();
}

void TThread::DoTerminate()
{
    if (OnTerminate)
        rtl::Synchronize([this] { OnTerminate(this); });
}

void TThread::Entry(void* self) { static_cast<TThread*>(self)->Run(); }

void TThread::Run()
{
    detail::AdoptThreadId(threadId_);
    {
        std::unique_lock lock(gateMutex_);
        gate_.wait(lock, [&] { return started_ || abandoned_; });
        if (abandoned_)
            return;
    }
    try {
        if (!Terminated())
            Execute();
    } catch (...) {
        fatalException_ = std::current_exception();
    }
    const bool freeThread = FreeOnTerminate();
    try {
        DoTerminate();
    } catch (...) {
        if (!fatalException_)
            fatalException_ = std::current_exception();
    }
    {
        SyncState& s = State();
        std::lock_guard lock(s.mutex);
        finished_.store(true);
    }
    State().wakeMain.notify_all();
    if (freeThread)
        delete this;
}

// ---- TSimpleEvent ----

void TSimpleEvent::SetEvent()
{
    {
        std::lock_guard lock(mutex_);
        signaled_ = true;
    }
    cv_.notify_all();
}

void TSimpleEvent::ResetEvent()
{
    std::lock_guard lock(mutex_);
    signaled_ = false;
}

TWaitResult TSimpleEvent::WaitFor(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    if (timeoutMs < 0)
        cv_.wait(lock, [&] { return signaled_; });
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return signaled_; }))
        return wrTimeout;
    if (!manualReset_)
        signaled_ = false;
    return wrSignaled;
}

}  // namespace rtl
