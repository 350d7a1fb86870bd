// The image library's I/O units off Windows: the runtime's, then the I/O component's class (there
// are no picture classes without the control layer).
#include "imaging/io/Units.h"

#include "imaging/io/vodiradio.h"

namespace imaging {

void RegisterIOClasses() { rtl::RegisterClass(TVodirAdIO::StaticClassInfo()); }

rtl::TUnitTable IOUnitTable()
{
    rtl::TUnitTable table = rtl::UnitTable();
    table.push_back({"vodiradio", RegisterIOClasses, nullptr});
    return table;
}

}  // namespace imaging
