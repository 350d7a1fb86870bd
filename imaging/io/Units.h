// The image library's I/O units.
#pragma once

#include "platform/rtl/Units.h"

namespace imaging {

// The I/O component's class, for descriptions that name it.
void RegisterIOClasses();
// The library core's units, then the I/O component's class and, in the Windows build, the picture
// classes.
rtl::TUnitTable IOUnitTable();

}  // namespace imaging
