// The skinned main menu.
#include "skin/SUIMainMenu.h"

#include "skin/SUIForm.h"

namespace skin {

void TsuiMainMenu::Publish(Table& t)
{
    PublishLook<Self>(t);
    t.Property(RTL_GET_SET(Images));
    t.Creatable();
}

TsuiMainMenu::TsuiMainMenu(rtl::TComponent* owner) : TsuiSkinnedMenu(owner) {}

TsuiMainMenu::~TsuiMainMenu()
{
    if (Images())
        Images()->RemoveFreeNotification(this);
}

void TsuiMainMenu::SetImages(win::TCustomImageList* value)
{
    SetNotifiedRef(this, MutableLook().Images, value);
    MenuChanged();
}

void TsuiMainMenu::SetUseSystemFont(bool value)
{
    TsuiSkinnedMenu::SetUseSystemFont(value);
    if (form_)
        form_->MenuBarFontChanged();
}

void TsuiMainMenu::SetUIStyle(TsuiUIStyle value)
{
    TsuiSkinnedMenu::SetUIStyle(value);
    if (form_)
        form_->MenuBarFontChanged();
}

void TsuiMainMenu::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    TsuiSkinnedMenu::Notification(component, operation);
    if (operation == rtl::opRemove && component == Images())
        MutableLook().Images = nullptr;
}

}  // namespace skin
