// The image library's units in the Windows build: the control layer's, then the library's.
#include "imaging/core/Units.h"

#include "imaging/core/ievector.h"
#include "imaging/core/vodiradview_win32.h"
#include "platform/win/Units.h"

namespace imaging {

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = win::UnitTable();
    table.push_back({"vodiradproc", RegisterClasses, nullptr});
    // The vector objects' measure-unit and DXF section names.
    table.push_back({"ievector", IEInitializeVectorUnit, IEFinalizeVectorUnit});
    // Screen facts, clipboard formats and cursors of the image views.
    table.push_back({"vodiradview", IEInitializeViewUnit, IEFinalizeViewUnit});
    return table;
}

}  // namespace imaging
