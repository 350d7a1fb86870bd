// Waiting for threads that are still starting before the process ends: Wine crashes a process
// that ends while one of its threads is setting itself up.
#include "platform/rtl/Thread.h"
#include "platform/rtl/Win32.h"

#include <gtest/gtest.h>

namespace {

DWORD WINAPI WaitForEvent(LPVOID event)
{
    ::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

TEST(StartingThreads, AThreadNotYetStartedIsWaitedForAndARunningOneIsNot)
{
    const HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(release, nullptr);
    // Created suspended, it cannot start before it is resumed.
    const HANDLE thread = ::CreateThread(nullptr, 0, WaitForEvent, release, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_FALSE(rtl::detail::WaitForStartingThreads(50));
    ::ResumeThread(thread);
    // Once it has started, it may go on running (here: waiting) while the process ends.
    EXPECT_TRUE(rtl::detail::WaitForStartingThreads(60000));
    EXPECT_EQ(::WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    ::SetEvent(release);
    EXPECT_EQ(::WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(rtl::detail::WaitForStartingThreads(0));
    ::CloseHandle(thread);
    ::CloseHandle(release);
}

}  // namespace
