// The skin library's units.
#include "skin/Units.h"

#include "platform/win/Units.h"
#include "skin/SUIForm.h"
#include "skin/SUIMainMenu.h"
#include "skin/SUIMenu.h"
#include "skin/SUIMgr.h"
#include "skin/SUIPopupMenu.h"
#include "skin/SUITitleBar.h"

namespace skin {

void RegisterClasses()
{
    for (const rtl::TClassInfo* info :
         {&TsuiFileTheme::StaticClassInfo(), &TsuiBuiltInFileTheme::StaticClassInfo(),
          &TsuiThemeManager::StaticClassInfo()})
        rtl::RegisterClass(*info);
}

namespace {

// The frame, title bar and menus; the menu unit also holds the process-wide menu tick.
void InitializeFrameUnits()
{
    for (const rtl::TClassInfo* info :
         {&TsuiForm::StaticClassInfo(), &TsuiMenuBar::StaticClassInfo(), &TsuiTitleBar::StaticClassInfo(),
          &TsuiTitleBarPopupMenu::StaticClassInfo(), &TsuiPopupMenu::StaticClassInfo(),
          &TsuiMainMenu::StaticClassInfo()})
        rtl::RegisterClass(*info);
    InitializeMenuUnit();
}

}  // namespace

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = win::UnitTable();
    table.push_back({"SUIMgr", RegisterClasses, nullptr});
    // --- frame, title bar and menus
    table.push_back({"SUIForm", InitializeFrameUnits, FinalizeMenuUnit});
    // --- end frame, title bar and menus
    return table;
}

}  // namespace skin
