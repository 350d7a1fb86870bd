// Start-up and shut-down of a program: its units' initialisations run in the order of its unit
// table when main begins, and their finalisations in reverse when main returns. Nothing runs
// before main; each library lists its units in UnitTable() after those of the libraries it uses.
#pragma once

#include <cstddef>
#include <vector>

namespace rtl {

// One unit's start-up and shut-down; either may be null.
struct TUnit {
    const char* Name;
    void (*Initialization)();
    void (*Finalization)();
};

using TUnitTable = std::vector<TUnit>;

// Runs the initialisations of `table` in order when made, and the finalisations of the units
// whose initialisation ran, in reverse, when destroyed. A unit named twice (two libraries built
// on the same one both list its units) runs once, at its first place. An initialisation that
// throws first finalises the units before it, then the exception goes on to the caller. One per
// program, made first thing in main (or in a test program's main).
class TUnitScope {
public:
    explicit TUnitScope(TUnitTable table);
    ~TUnitScope();
    TUnitScope(const TUnitScope&) = delete;
    TUnitScope& operator=(const TUnitScope&) = delete;

private:
    void FinalizeStarted();

    TUnitTable table_;
    std::size_t started_ = 0;
};

// The runtime's classes a description may name (TComponent).
void RegisterClasses();
// The runtime's units: claiming the thread that runs main as the main thread, and its classes.
TUnitTable UnitTable();

}  // namespace rtl
