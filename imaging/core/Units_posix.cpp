// The image library's units in the portable build: the runtime's, then the library's.
#include "imaging/core/Units.h"

namespace imaging {

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = rtl::UnitTable();
    table.push_back({"vodiradproc", RegisterClasses, nullptr});
    return table;
}

}  // namespace imaging
