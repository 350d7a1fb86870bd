// The skin library's units.
#include "skin/Units.h"

#include "platform/win/Units.h"
#include "skin/SUIButton.h"
#include "skin/SUIComboBox.h"
#include "skin/SUIDlg.h"
#include "skin/SUIForm.h"
#include "skin/SUIImagePanel.h"
#include "skin/SUIMainMenu.h"
#include "skin/SUIMemo.h"
#include "skin/SUIMenu.h"
#include "skin/SUIMgr.h"
#include "skin/SUIPopupMenu.h"
#include "skin/SUIScrollBar.h"
#include "skin/SUITitleBar.h"
#include "skin/SUITrackBar.h"
#include "skin/SUIURLLabel.h"
#include "skin/frmMessage.h"

namespace skin {

void RegisterClasses()
{
    for (const rtl::TClassInfo* info : {&TsuiFileTheme::StaticClassInfo(),
                                        &TsuiBuiltInFileTheme::StaticClassInfo(),
                                        &TsuiThemeManager::StaticClassInfo(),
                                        &TsuiForm::StaticClassInfo(),
                                        &TsuiMenuBar::StaticClassInfo(),
                                        &TsuiTitleBar::StaticClassInfo(),
                                        &TsuiTitleBarPopupMenu::StaticClassInfo(),
                                        &TsuiPopupMenu::StaticClassInfo(),
                                        &TsuiMainMenu::StaticClassInfo(),
                                        &TsuiButton::StaticClassInfo(),
                                        &TsuiImageButton::StaticClassInfo(),
                                        &TsuiScrollBar::StaticClassInfo(),
                                        &TsuiMemo::StaticClassInfo(),
                                        &TsuiTrackBar::StaticClassInfo(),
                                        &TsuiScrollTrackBar::StaticClassInfo(),
                                        &TsuiImagePanel::StaticClassInfo(),
                                        &TsuiComboBox::StaticClassInfo(),
                                        &TsuiURLLabel::StaticClassInfo(),
                                        &TsuiMessageDialog::StaticClassInfo(),
                                        &TfrmMsg::StaticClassInfo()})
        rtl::RegisterClass(*info);
}

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = win::UnitTable();
    table.push_back({"SUIMgr", RegisterClasses, nullptr});
    // The menu unit holds the process-wide menu tick.
    table.push_back({"SUIMenu", InitializeMenuUnit, FinalizeMenuUnit});
    return table;
}

}  // namespace skin
