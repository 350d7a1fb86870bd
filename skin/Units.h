// The skin library's units: the classes of its themes, which window descriptions name.
#pragma once

#include "platform/rtl/Units.h"

namespace skin {

// TsuiFileTheme, TsuiBuiltInFileTheme and TsuiThemeManager.
void RegisterClasses();
// The skinned controls: buttons, scroll bar, memo, track bar, image panel, combo box and link
// label.
void RegisterControlClasses();
// The control layer's units (the runtime's first), then this library's.
rtl::TUnitTable UnitTable();

}  // namespace skin
