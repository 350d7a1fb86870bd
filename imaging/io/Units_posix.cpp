// The image library's I/O units off Windows: the core's, then the I/O component's class (there are
// no picture classes without the control layer).
#include "imaging/io/Units.h"

#include "imaging/core/Units.h"

#include "imaging/io/vodiradio.h"

namespace imaging {

void RegisterIOClasses() { rtl::RegisterClass(TVodirAdIO::StaticClassInfo()); }

rtl::TUnitTable IOUnitTable()
{
    rtl::TUnitTable table = UnitTable();  // the library core's units first
    table.push_back({"vodiradio", RegisterIOClasses, nullptr});
    return table;
}

}  // namespace imaging
