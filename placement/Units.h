// The placement library's units: its component classes, its cursors and date settings, and the
// shut-down of its window hooks and module settings.
#pragma once

#include "platform/rtl/Units.h"

namespace placement {

// TFormPlacement, TFormStorage and TRxWindowHook.
void RegisterClasses();
// The control layer's units (the runtime's first), then this library's.
rtl::TUnitTable UnitTable();

}  // namespace placement
