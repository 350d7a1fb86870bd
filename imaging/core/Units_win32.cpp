// The image library's units in the Windows build: the control layer's, then the library's.
#include "imaging/core/Units.h"

#include "platform/win/Units.h"

namespace imaging {

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = win::UnitTable();
    table.push_back({"vodiradproc", RegisterClasses, nullptr});
    return table;
}

}  // namespace imaging
