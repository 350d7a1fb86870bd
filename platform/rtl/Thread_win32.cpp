// Operating-system thread primitives over Win32 threads, so Handle() is a real thread HANDLE.
#include "platform/rtl/Thread.h"

#include "platform/rtl/Win32.h"

#include <tlhelp32.h>

#include <algorithm>
#include <process.h>
#include <vector>

namespace rtl::detail {

namespace {

// Threads that have finished starting: the loader reports each to the program's TLS callback
// once the thread is set up, before its own code runs, and again as it ends; the main thread is
// reported as the program is loaded.
SRWLOCK gStartedLock = SRWLOCK_INIT;
std::vector<DWORD>* gStarted = nullptr;  // never freed: threads may end after static destruction
HANDLE gStartedEvent = nullptr;

void NTAPI OnThreadEvent(PVOID /*module*/, DWORD reason, PVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_DETACH)
        return;
    const DWORD id = ::GetCurrentThreadId();
    ::AcquireSRWLockExclusive(&gStartedLock);
    if (!gStarted)
        gStarted = new (std::nothrow) std::vector<DWORD>;
    if (gStarted) {
        if (reason != DLL_THREAD_DETACH) {
            gStarted->push_back(id);
        } else {
            const auto at = std::find(gStarted->begin(), gStarted->end(), id);
            if (at != gStarted->end())
                gStarted->erase(at);
        }
    }
    // Under the lock: the waiter closes the event only after taking it away under the lock.
    if (gStartedEvent)
        ::SetEvent(gStartedEvent);
    ::ReleaseSRWLockExclusive(&gStartedLock);
}

bool Started(DWORD id)
{
    ::AcquireSRWLockShared(&gStartedLock);
    const bool started = gStarted && std::find(gStarted->begin(), gStarted->end(), id) != gStarted->end();
    ::ReleaseSRWLockShared(&gStartedLock);
    return started;
}

// A thread of this process that has not finished starting, or 0.
DWORD StartingThread()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    const DWORD process = ::GetCurrentProcessId(), self = ::GetCurrentThreadId();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more && !found;
         more = ::Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == process && entry.th32ThreadID != self && !Started(entry.th32ThreadID))
            found = entry.th32ThreadID;
    ::CloseHandle(snapshot);
    return found;
}

}  // namespace

}  // namespace rtl::detail

// The callback sits between the C runtime's first and last entries of the TLS callback table.
extern "C" __attribute__((used, section(".CRT$XLF"))) const PIMAGE_TLS_CALLBACK vaThreadEventCallback =
    rtl::detail::OnThreadEvent;

namespace rtl::detail {

bool WaitForStartingThreads(std::uint32_t timeoutMs)
{
    const HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event)
        return false;
    ::AcquireSRWLockExclusive(&gStartedLock);
    gStartedEvent = event;
    ::ReleaseSRWLockExclusive(&gStartedLock);
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    DWORD id = StartingThread(), unopened = 0;
    for (; id != 0; id = StartingThread()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            break;
        const HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, id);
        if (!thread) {
            // Gone since the snapshot, most likely; a thread that cannot be opened twice is let be.
            if (id == unopened)
                break;
            unopened = id;
            continue;
        }
        // Woken when any thread starts or ends, or when this one ends without starting.
        const HANDLE handles[] = {event, thread};
        ::WaitForMultipleObjects(2, handles, FALSE, DWORD(deadline - now));
        ::CloseHandle(thread);
    }
    ::AcquireSRWLockExclusive(&gStartedLock);
    gStartedEvent = nullptr;
    ::ReleaseSRWLockExclusive(&gStartedLock);
    ::CloseHandle(event);
    return id == 0;
}

namespace {

struct StartInfo {
    void (*entry)(void*);
    void* arg;
};

unsigned __stdcall ThreadMain(void* p)
{
    const StartInfo info = *static_cast<StartInfo*>(p);
    delete static_cast<StartInfo*>(p);
    info.entry(info.arg);
    return 0;
}

}  // namespace

std::intptr_t StartNativeThread(void (*entry)(void*), void* arg, std::uint32_t& threadId)
{
    auto* info = new StartInfo{entry, arg};
    unsigned id = 0;
    // _beginthreadex, not CreateThread, so the C runtime sets up its per-thread data.
    const std::uintptr_t h = _beginthreadex(nullptr, 0, &ThreadMain, info, 0, &id);
    if (h == 0) {
        delete info;
        throw EThread("Thread creation error: " + std::to_string(::GetLastError()));
    }
    threadId = id;
    return static_cast<std::intptr_t>(h);
}

void JoinNativeThread(std::intptr_t handle)
{
    ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle), INFINITE);
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

void DetachNativeThread(std::intptr_t handle) { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

void SetNativePriority(std::intptr_t handle, TThreadPriority priority)
{
    static constexpr int kPriorities[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                          THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                          THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                          THREAD_PRIORITY_TIME_CRITICAL};
    if (handle != 0 && priority >= tpIdle && priority <= tpTimeCritical)
        ::SetThreadPriority(reinterpret_cast<HANDLE>(handle), kPriorities[priority]);
}

std::uint32_t NativeCurrentThreadId() { return ::GetCurrentThreadId(); }

void AdoptThreadId(std::uint32_t /*id*/) {}

}  // namespace rtl::detail
