// The image library's I/O units off Windows: no picture classes, so the runtime's alone.
#include "imaging/io/Units.h"

namespace imaging {

rtl::TUnitTable IOUnitTable() { return rtl::UnitTable(); }

}  // namespace imaging
