// The image library's units in the portable build: the runtime's, then the library's.
#include "imaging/core/Units.h"

#include "imaging/core/ievector.h"

namespace imaging {

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = rtl::UnitTable();
    table.push_back({"vodiradproc", RegisterClasses, nullptr});
    table.push_back({"ievector", IEInitializeVectorUnit, IEFinalizeVectorUnit});
    return table;
}

}  // namespace imaging
