// The image library's units: the classes its components publish.
#pragma once

#include "platform/rtl/Units.h"

namespace imaging {

// The processing component.
void RegisterClasses();
// The runtime's units (and in the Windows build the control layer's), then this library's.
rtl::TUnitTable UnitTable();

}  // namespace imaging
