// Running a unit table, and the runtime's own units.
#include "platform/rtl/Units.h"

#include "platform/rtl/Component.h"
#include "platform/rtl/Thread.h"

#include <algorithm>
#include <cstring>

namespace rtl {

TUnitScope::TUnitScope(TUnitTable table)
{
    for (const TUnit& unit : table)
        if (std::none_of(table_.begin(), table_.end(),
                         [&](const TUnit& u) { return std::strcmp(u.Name, unit.Name) == 0; }))
            table_.push_back(unit);
    try {
        for (; started_ < table_.size(); ++started_)
            if (table_[started_].Initialization)
                table_[started_].Initialization();
    } catch (...) {
        FinalizeStarted();
        throw;
    }
}

TUnitScope::~TUnitScope()
{
    FinalizeStarted();
    // The process ends when main returns: a thread that is only starting (the test framework's
    // watcher of main's thread, a worker started at the last moment) must be set up by then.
    // Starting takes milliseconds; the bound only keeps a thread created suspended and left so
    // from holding the exit forever.
    detail::WaitForStartingThreads(10000);
}

void TUnitScope::FinalizeStarted()
{
    while (started_ > 0) {
        const TUnit& unit = table_[--started_];
        if (unit.Finalization)
            unit.Finalization();
    }
}

void RegisterClasses() { RegisterClass(TComponent::StaticClassInfo()); }

TUnitTable UnitTable()
{
    return {{"Classes",
             [] {
                 // Queued calls and Synchronize run on this thread from now on.
                 SetMainThread();
                 RegisterClasses();
             },
             nullptr}};
}

}  // namespace rtl
