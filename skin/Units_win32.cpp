// The skin library's units.
#include "skin/Units.h"

#include "platform/win/Units.h"
#include "skin/SUIMgr.h"
// --- skinned controls
#include "skin/SUIButton.h"
#include "skin/SUIComboBox.h"
#include "skin/SUIImagePanel.h"
#include "skin/SUIMemo.h"
#include "skin/SUIScrollBar.h"
#include "skin/SUITrackBar.h"
#include "skin/SUIURLLabel.h"
// --- end skinned controls

namespace skin {

void RegisterClasses()
{
    for (const rtl::TClassInfo* info :
         {&TsuiFileTheme::StaticClassInfo(), &TsuiBuiltInFileTheme::StaticClassInfo(),
          &TsuiThemeManager::StaticClassInfo()})
        rtl::RegisterClass(*info);
}

// --- skinned controls
void RegisterControlClasses()
{
    for (const rtl::TClassInfo* info :
         {&TsuiButton::StaticClassInfo(), &TsuiImageButton::StaticClassInfo(),
          &TsuiScrollBar::StaticClassInfo(), &TsuiMemo::StaticClassInfo(), &TsuiTrackBar::StaticClassInfo(),
          &TsuiScrollTrackBar::StaticClassInfo(), &TsuiImagePanel::StaticClassInfo(),
          &TsuiComboBox::StaticClassInfo(), &TsuiURLLabel::StaticClassInfo()})
        rtl::RegisterClass(*info);
}
// --- end skinned controls

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = win::UnitTable();
    table.push_back({"SUIMgr", RegisterClasses, nullptr});
    table.push_back({"SUIControls", RegisterControlClasses, nullptr});
    return table;
}

}  // namespace skin
