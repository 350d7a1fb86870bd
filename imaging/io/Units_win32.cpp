// The image library's I/O units in the Windows build.
#include "imaging/io/Units.h"

#include "imaging/core/Units.h"
#include "imaging/io/iegraphic_win32.h"
#include "imaging/io/vodiradio.h"
#include "imaging/io/vodiradio_viewhooks_win32.h"

namespace imaging {

void RegisterIOClasses() { rtl::RegisterClass(TVodirAdIO::StaticClassInfo()); }

rtl::TUnitTable IOUnitTable()
{
    rtl::TUnitTable table = UnitTable();  // the library core's units first
    table.push_back({"vodiradio", RegisterIOClasses, nullptr});
    // Image views make their I/O component through the hooks.
    table.push_back({"vodiradio_view", IEInstallViewIOHooks, IERemoveViewIOHooks});
    // Pictures in the library's formats, found by file extension and by stored class name.
    table.push_back({"iegraphic", IERegisterGraphicClasses, IEUnregisterGraphicClasses});
    return table;
}

}  // namespace imaging
