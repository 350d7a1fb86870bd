// The skinned popup menu's published table.
#include "skin/SUIPopupMenu.h"

namespace skin {

void TsuiPopupMenu::Publish(Table& t)
{
    PublishLook<Self>(t);
    t.Creatable();
}

}  // namespace skin
