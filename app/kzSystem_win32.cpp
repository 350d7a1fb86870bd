// Operating-system and process facts from the kernel, recorded at start-up.
#include "app/kzSystem.h"

#include "platform/rtl/Thread.h"
#include "platform/rtl/Win32.h"

#include <bit>
#include <exception>

namespace app {

const std::array<const char*, 7> kShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const std::array<const char*, 12> kShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::int32_t CountProcessors(std::uint32_t mask) { return std::popcount(mask); }

bool IsWindowsNT()
{
    OSVERSIONINFOA info{};
    static_assert(sizeof(info) == 148, "the version structure is the 148-byte form");
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
    return ok && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

namespace {

TSystemFacts RecordFacts()
{
    TSystemFacts facts;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const DWORD version = GetVersion();
#pragma GCC diagnostic pop
    facts.NewVersion = ((version >> 8) & 0xFF) >= 0x5F;
    facts.IsNT = IsWindowsNT();
    facts.ProcessHandle = reinterpret_cast<std::uintptr_t>(GetCurrentProcess());
    facts.ThreadHandle = reinterpret_cast<std::uintptr_t>(GetCurrentThread());
    facts.ProcessId = GetCurrentProcessId();
    facts.ThreadId = GetCurrentThreadId();
    DWORD_PTR processMask = 0, systemMask = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) {
        facts.ProcessAffinityMask = static_cast<std::uint32_t>(processMask);
        facts.SystemAffinityMask = static_cast<std::uint32_t>(systemMask);
    }
    facts.ProcessorCount = CountProcessors(facts.SystemAffinityMask);
    return facts;
}

struct SystemUnit {
    rtl::TCriticalSection lock;
    TSystemFacts facts;

    SystemUnit()
    {
        try {
            facts = RecordFacts();
        } catch (const std::exception&) {
            MessageBoxA(nullptr, "Error initialising kzSystem library", nullptr, MB_OK);
        }
    }
};

SystemUnit& Unit()
{
    static SystemUnit unit;
    return unit;
}

}  // namespace

void InitializeKzSystem() { Unit(); }

const TSystemFacts& SystemFacts() { return Unit().facts; }

void EnterSystemLock() { Unit().lock.Enter(); }

void LeaveSystemLock() { Unit().lock.Leave(); }

}  // namespace app
