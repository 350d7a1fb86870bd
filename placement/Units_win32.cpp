// The placement library's units.
#include "placement/Units.h"

#include "placement/RXConst.h"
#include "placement/RxHook.h"
#include "placement/rxAppUtils.h"
#include "placement/rxDateUtil.h"
#include "placement/rxPlacemnt.h"
#include "platform/win/Units.h"

namespace placement {

void RegisterClasses()
{
    for (const rtl::TClassInfo* info : {&TFormPlacement::StaticClassInfo(), &TFormStorage::StaticClassInfo(),
                                        &TRxWindowHook::StaticClassInfo()})
        rtl::RegisterClass(*info);
}

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = win::UnitTable();
    // The cursors go into the screen's table, so after the forms unit.
    table.push_back({"RXConst", InitializeRXConst, nullptr});
    table.push_back({"rxDateUtil", InitializeRxDateUtil, nullptr});
    // Shut down before the forms unit, while the application's windows still exist.
    table.push_back({"RxHook", nullptr, FinalizeRxHook});
    table.push_back({"rxAppUtils", nullptr, FinalizeRxAppUtils});
    table.push_back({"rxPlacemnt", RegisterClasses, nullptr});
    return table;
}

}  // namespace placement
