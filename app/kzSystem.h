// Facts about the operating system and the process, recorded once when the program starts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace app {

struct TSystemFacts {
    bool NewVersion = false;           // the minor version number (bits 8-15 of GetVersion) is >= 95
    bool IsNT = false;                 // the platform id is VER_PLATFORM_WIN32_NT
    std::uintptr_t ProcessHandle = 0;  // pseudo-handles: valid in this process only
    std::uintptr_t ThreadHandle = 0;   // the thread that started the program
    std::uint32_t ProcessId = 0;
    std::uint32_t ThreadId = 0;
    std::uint32_t ProcessAffinityMask = 0;
    std::uint32_t SystemAffinityMask = 0;
    // Set bits among the 32 bits of the system affinity mask.
    std::int32_t ProcessorCount = 0;
};

// Recorded by the unit's start-up (InitializeKzSystem), on the thread that runs main, or else
// by the first call; later calls return the same record.
const TSystemFacts& SystemFacts();
void InitializeKzSystem();

// "Sun" to "Sat" (index 0 to 6) and "Jan" to "Dec" (index 0 to 11).
extern const std::array<const char*, 7> kShortDayNames;
extern const std::array<const char*, 12> kShortMonthNames;

// True when GetVersionEx succeeds and reports the NT platform.
bool IsWindowsNT();

// Set bits among the 32 bits of `mask`.
std::int32_t CountProcessors(std::uint32_t mask);

// The unit's lock, a critical section that may be entered again by its holder.
void EnterSystemLock();
void LeaveSystemLock();

}  // namespace app
