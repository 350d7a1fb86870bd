// The skin library's units: the classes window descriptions name, and the menu tick.
#pragma once

#include "platform/rtl/Units.h"

namespace skin {

// Every published class of the library: the themes and theme manager, the frame, title bar and
// menus, and the skinned controls.
void RegisterClasses();
// The control layer's units (the runtime's first), then this library's.
rtl::TUnitTable UnitTable();

}  // namespace skin
