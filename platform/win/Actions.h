// TAction: something the user can run from several controls, which show its caption and enabled
// state.
#pragma once

#include "platform/rtl/Component.h"

#include <string>
#include <vector>

namespace win {

class TControl;

// Controls point at an action through their Action property (see TControl). A change of Caption
// or Enabled reaches every such control at once; a click on one runs OnExecute.
class TAction : public rtl::TComponent {
    RTL_DECLARE_CLASS(TAction, rtl::TComponent)

public:
    // Freed, it leaves its controls with the values they show.
    explicit TAction(rtl::TComponent* owner) : TComponent(owner) {}

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v) { rtl::SetAndNotify(caption_, v, this, &Self::Changed); }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v) { rtl::SetAndNotify(enabled_, v, this, &Self::Changed); }

    rtl::TNotifyEvent OnExecute;

    // Runs OnExecute; false, with nothing run, when the action is disabled or has no handler.
    virtual bool Execute();
    // The controls showing the action, in the order they took it.
    std::int32_t ClientCount() const { return static_cast<std::int32_t>(clients_.size()); }

protected:
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;

private:
    friend class TControl;
    void Changed();
    // A control takes the action or lets go of it; the action is told when it is freed first.
    void AddClient(TControl* control);
    void RemoveClient(TControl* control);

    std::string caption_;
    bool enabled_ = true;
    std::vector<TControl*> clients_;  // not owned
};

}  // namespace win
