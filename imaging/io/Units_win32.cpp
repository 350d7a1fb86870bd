// The image library's I/O units in the Windows build.
#include "imaging/io/Units.h"

#include "imaging/core/Units.h"
#include "imaging/io/detail/vodiradio_http_win32.h"
#include "imaging/io/iegraphic_win32.h"
#include "imaging/io/vodiradio.h"
#include "imaging/io/vodiradio_viewhooks_win32.h"

namespace imaging {

void RegisterIOClasses() { rtl::RegisterClass(TVodirAdIO::StaticClassInfo()); }

namespace {

// The HTTP library goes with the program, when it was loaded.
void FinalizeIO() { detail::IEFreeHttpLibrary(); }

}  // namespace

rtl::TUnitTable IOUnitTable()
{
    rtl::TUnitTable table = UnitTable();  // the library core's units first
    table.push_back({"vodiradio", RegisterIOClasses, FinalizeIO});
    // Image views make their I/O component through the hooks.
    table.push_back({"vodiradio_view", IEInstallViewIOHooks, IERemoveViewIOHooks});
    // Pictures in the library's formats, found by file extension and by stored class name.
    table.push_back({"iegraphic", IERegisterGraphicClasses, IEUnregisterGraphicClasses});
    return table;
}

}  // namespace imaging
