// Running a unit table, and the runtime's own units.
#include "platform/rtl/Units.h"

#include "platform/rtl/Component.h"
#include "platform/rtl/Thread.h"

#include <utility>

namespace rtl {

TUnitScope::TUnitScope(TUnitTable table) : table_(std::move(table))
{
    try {
        for (; started_ < table_.size(); ++started_)
            if (table_[started_].Initialization)
                table_[started_].Initialization();
    } catch (...) {
        FinalizeStarted();
        throw;
    }
}

TUnitScope::~TUnitScope() { FinalizeStarted(); }

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
