// The control layer's units.
#include "platform/win/Units.h"

#include "platform/win/Actions.h"
#include "platform/win/ComCtrls.h"
#include "platform/win/Dialogs.h"
#include "platform/win/ExtCtrls.h"
#include "platform/win/Forms.h"
#include "platform/win/ImgList.h"
#include "platform/win/Menus.h"
#include "platform/win/StdCtrls.h"

namespace win {

void RegisterClasses()
{
    for (const rtl::TClassInfo* info :
         {&TLabel::StaticClassInfo(), &TButton::StaticClassInfo(), &TEdit::StaticClassInfo(),
          &TMemo::StaticClassInfo(), &TComboBox::StaticClassInfo(), &TScrollBar::StaticClassInfo(),
          &TTimer::StaticClassInfo(), &TImage::StaticClassInfo(), &TPanel::StaticClassInfo(),
          &TTrackBar::StaticClassInfo(), &TMainMenu::StaticClassInfo(), &TPopupMenu::StaticClassInfo(),
          &TMenuItem::StaticClassInfo(), &TForm::StaticClassInfo(), &TApplicationEvents::StaticClassInfo(),
          &TImageList::StaticClassInfo(), &TToolBar::StaticClassInfo(), &TToolButton::StaticClassInfo()})
        rtl::RegisterClass(*info);
    for (const rtl::TClassInfo* info :
         {&TCheckBox::StaticClassInfo(), &TGroupBox::StaticClassInfo(), &TUpDown::StaticClassInfo(),
          &TProgressBar::StaticClassInfo(), &TPageControl::StaticClassInfo(), &TTabSheet::StaticClassInfo(),
          &TColorDialog::StaticClassInfo(), &TAction::StaticClassInfo()})
        rtl::RegisterClass(*info);
}

rtl::TUnitTable UnitTable()
{
    rtl::TUnitTable table = rtl::UnitTable();
    table.push_back({"Controls", RegisterClasses, nullptr});
    table.push_back({"Forms", InitializeForms, FinalizeForms});
    return table;
}

}  // namespace win
