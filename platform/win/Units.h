// The control layer's units: the classes a window description may name, and the application
// object with the screen.
#pragma once

#include "platform/rtl/Units.h"

namespace win {

// Every control class a stored description may name, and the forms.
void RegisterClasses();
// The runtime's units, then the layer's: its classes, then Application and Screen.
rtl::TUnitTable UnitTable();

}  // namespace win
