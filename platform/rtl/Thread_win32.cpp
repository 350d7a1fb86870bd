// Operating-system thread primitives over Win32 threads, so Handle() is a real thread HANDLE.
#include "platform/rtl/Thread.h"

#include "platform/rtl/Win32.h"

#include <process.h>

namespace rtl::detail {

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
