// The assistant's units: the classes its window description names, and the program's unit table.
#pragma once

#include "platform/rtl/Units.h"

namespace app {

// Every component class of the assistant, the main window's own class included.
void RegisterClasses();
// The program's unit table: the placement library's (the runtime's and the control layer's
// first), the image library's and the skin library's, then the assistant's units.
rtl::TUnitTable UnitTable();

}  // namespace app
