// TAction: running the action and telling its controls of changes.
#include "platform/win/Actions.h"

#include "platform/win/Controls.h"

#include <algorithm>

namespace win {

void TAction::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Caption));
    t.Property(RTL_GET_SET(Enabled)).Default(true);
    t.Event(RTL_MEMBER(OnExecute));
    t.Creatable();
}

bool TAction::Execute()
{
    if (!enabled_ || !OnExecute.Assigned())
        return false;
    OnExecute(this);
    return true;
}

void TAction::Changed()
{
    // A copy: a control may drop the action while it takes the change.
    const std::vector<TControl*> clients = clients_;
    for (TControl* c : clients)
        if (std::find(clients_.begin(), clients_.end(), c) != clients_.end())
            c->ActionChange(this, false);
}

void TAction::AddClient(TControl* control)
{
    clients_.push_back(control);
    control->FreeNotification(this);
}

void TAction::RemoveClient(TControl* control)
{
    clients_.erase(std::remove(clients_.begin(), clients_.end(), control), clients_.end());
    control->RemoveFreeNotification(this);
}

void TAction::Notification(rtl::TComponent* component, rtl::TOperation operation)
{
    rtl::TComponent::Notification(component, operation);
    if (operation == rtl::opRemove)
        clients_.erase(std::remove(clients_.begin(), clients_.end(), component), clients_.end());
}

}  // namespace win
