// TsuiMainMenu: a main menu drawn in skin colours, shown on a skinned frame's menu bar.
#pragma once

#include "platform/win/ImgList.h"
#include "skin/SUIMenu.h"

namespace skin {

class TsuiForm;

// Owner-drawn main menu. A skinned frame whose Menu it is links itself here, so a change of
// font choice reaches the frame's menu bar.
class TsuiMainMenu : public TsuiSkinnedMenu<win::TMainMenu> {
    RTL_DECLARE_CLASS(TsuiMainMenu, win::TMainMenu)

public:
    explicit TsuiMainMenu(rtl::TComponent* owner);
    ~TsuiMainMenu() override;

    // Pictures by the items' ImageIndex, drawn in the bar beside the items (greyed for disabled
    // ones); an index outside the list draws none.
    win::TCustomImageList* Images() const { return Look().Images; }
    void SetImages(win::TCustomImageList* value);
    // Also gives the frame's menu bar the new font.
    void SetUseSystemFont(bool value) override;
    void SetUIStyle(TsuiUIStyle value) override;

    // The frame that shows this menu (not owned); set by the frame.
    TsuiForm* Form() const { return form_; }
    void SetForm(TsuiForm* form) { form_ = form; }

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    TsuiForm* form_ = nullptr;  // not owned
};

}  // namespace skin
