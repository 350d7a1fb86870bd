// TsuiPopupMenu: a popup menu drawn in skin colours.
#pragma once

#include "skin/SUIMenu.h"

namespace skin {

// Owner-drawn popup menu; its items take the menu's look as they arrive.
class TsuiPopupMenu : public TsuiSkinnedMenu<win::TPopupMenu> {
    RTL_DECLARE_CLASS(TsuiPopupMenu, win::TPopupMenu)

public:
    explicit TsuiPopupMenu(rtl::TComponent* owner) : TsuiSkinnedMenu(owner) {}
};

}  // namespace skin
