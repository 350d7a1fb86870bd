// The skin library's units.
#include "skin/Units.h"

#include "platform/win/Units.h"
#include "skin/SUIMgr.h"

namespace skin {

void RegisterClasses()
{
    for (const rtl::TClassInfo* info :
         {&TsuiFileTheme::StaticClassInfo(), &TsuiBuiltInFileTheme::StaticClassInfo(),
          &TsuiThemeManager::StaticClassInfo()})
        rtl::RegisterClass(*info);
}

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = win::UnitTable();
    table.push_back({"SUIMgr", RegisterClasses, nullptr});
    return table;
}

}  // namespace skin
