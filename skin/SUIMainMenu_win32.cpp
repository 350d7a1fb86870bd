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
    if (images_)
        images_->RemoveFreeNotification(this);
}

void TsuiMainMenu::SetImages(win::TCustomImageList* value)
{
    if (images_ && images_ != value)
        images_->RemoveFreeNotification(this);
    images_ = value;
    if (value)
        value->FreeNotification(this);
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
    if (operation == rtl::opRemove && component == images_)
        images_ = nullptr;
}

}  // namespace skin
