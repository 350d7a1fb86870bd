// The image library's I/O units.
#pragma once

#include "platform/rtl/Units.h"

namespace imaging {

// The control layer's units, then the picture classes (Windows build; elsewhere the runtime's
// units alone).
rtl::TUnitTable IOUnitTable();

}  // namespace imaging
