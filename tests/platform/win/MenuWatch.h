// Watches for a popup menu while a menu's own loop runs (the test's code is stuck in the call that
// shows it): once the menu window shows, `shown` gets it, then the menu is closed. A menu that
// never shows is closed after about five seconds anyway, so the test goes on and fails on what it
// did not see.
#pragma once

#include "platform/win/ExtCtrls.h"
#include "platform/win/Menus.h"

#include <functional>

namespace wintest {

// The popup menu `owner` holds for the while (a tool bar drops a button's items down from one), or
// nullptr.
inline win::TPopupMenu* HeldPopup(rtl::TComponent& owner)
{
    for (std::int32_t i = 0; i < owner.ComponentCount(); ++i)
        if (auto* popup = dynamic_cast<win::TPopupMenu*>(owner.Components(i)))
            return popup;
    return nullptr;
}

class MenuWatch {
public:
    explicit MenuWatch(std::function<void(HWND menu)> shown) : shown_(std::move(shown)), timer_(nullptr)
    {
        timer_.SetInterval(50);
        timer_.OnTimer = [this](rtl::TObject*) {
            HWND menu = ::FindWindowA("#32768", nullptr);
            if (menu && ::IsWindowVisible(menu)) {
                ++seen;
                shown_(menu);
                ::EndMenu();
            } else if (++ticks_ > 100) {
                ::EndMenu();
            }
        };
    }
    // How many times a menu was seen; how long it waited for one.
    int seen = 0;
    int Ticks() const { return ticks_; }

private:
    std::function<void(HWND)> shown_;
    win::TTimer timer_;
    int ticks_ = 0;
};

}  // namespace wintest
