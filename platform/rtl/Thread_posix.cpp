// Operating-system thread primitives over std::thread, for the native build.
#include "platform/rtl/Thread.h"

#include <thread>

namespace rtl::detail {

namespace {
std::atomic<std::uint32_t> gNextId{1};
thread_local std::uint32_t tCurrentId = 0;
}  // namespace

std::intptr_t StartNativeThread(void (*entry)(void*), void* arg, std::uint32_t& threadId)
{
    threadId = gNextId.fetch_add(1);
    try {
        return reinterpret_cast<std::intptr_t>(new std::thread(entry, arg));
    } catch (const std::system_error& e) {
        throw EThread(std::string("Thread creation error: ") + e.what());
    }
}

void JoinNativeThread(std::intptr_t handle)
{
    auto* t = reinterpret_cast<std::thread*>(handle);
    if (t->joinable())
        t->join();
    delete t;
}

void DetachNativeThread(std::intptr_t handle)
{
    auto* t = reinterpret_cast<std::thread*>(handle);
    if (t->joinable())
        t->detach();
    delete t;
}

void SetNativePriority(std::intptr_t /*handle*/, TThreadPriority /*priority*/) {}

bool WaitForStartingThreads(std::uint32_t /*timeoutMs*/) { return true; }

std::uint32_t NativeCurrentThreadId()
{
    if (tCurrentId == 0)
        tCurrentId = gNextId.fetch_add(1);
    return tCurrentId;
}

void AdoptThreadId(std::uint32_t id) { tCurrentId = id; }

}  // namespace rtl::detail
