// The component model: assignment, ownership, names, free notification and component state.
#include "platform/rtl/Component.h"

#include "platform/rtl/FormStream.h"
#include "platform/rtl/Strings.h"

#include <algorithm>

namespace rtl {

bool IsValidIdent(const std::string& name)
{
    if (name.empty())
        return false;
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!alpha(name[0]))
        return false;
    for (char c : name)
        if (!alpha(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

// --- TPersistent ---

const TClassInfo& TPersistent::StaticClassInfo()
{
    static const TClassInfo info =
        TClassBuilder<TPersistent>::Make("TPersistent", [](TClassBuilder<TPersistent>&) {});
    return info;
}

void TPersistent::Assign(TPersistent* source)
{
    if (source)
        source->AssignTo(this);
    else
        AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const
{
    std::string sourceName = source ? source->ClassName() : "nil";
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

// --- TComponent ---

void TComponent::Publish(Table& t)
{
    t.Property(RTL_GET_SET(Name)).Stored(false);
    t.Property(RTL_GET_SET(Tag)).Default(0);
    t.Creatable();
}

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    Destroying();
    // Tell everyone holding a reference; they drop it in Notification.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& theirs = other->freeNotifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, opRemove);
    }
    DestroyComponents();
    if (owner_)
        owner_->RemoveComponent(this);
}

void TComponent::Destroying()
{
    if (state_.Contains(csDestroying))
        return;
    state_.Include(csDestroying);
    for (TComponent* c : components_)
        c->Destroying();
}

void TComponent::DestroyComponents()
{
    while (!components_.empty()) {
        TComponent* c = components_.back();
        // Detach first so the child's destructor does not look for its owner.
        c->SetReference(false);
        Remove(c);
        delete c;
    }
}

TComponent* TComponent::Components(std::int32_t index) const
{
    if (index < 0 || index >= ComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return components_[static_cast<std::size_t>(index)];
}

std::int32_t TComponent::ComponentIndex() const
{
    if (!owner_)
        return -1;
    auto& list = owner_->components_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<std::int32_t>(it - list.begin());
}

TComponent* TComponent::FindComponent(const std::string& name) const
{
    if (name.empty())
        return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, name))
            return c;
    return nullptr;
}

void TComponent::ValidateRename(TComponent* component, const std::string& curName, const std::string& newName)
{
    if (component && !SameText(curName, newName) && FindComponent(newName))
        throw EComponentError("A component named " + newName + " already exists");
}

void TComponent::SetName(const std::string& name)
{
    if (name_ == name)
        return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("'" + name + "' is not a valid component name");
    if (owner_)
        owner_->ValidateRename(this, name_, name);
    else
        ValidateRename(nullptr, name_, name);
    SetReference(false);
    name_ = name;
    SetReference(true);
}

// A root with a published field of the component's name keeps that field pointing at it.
void TComponent::SetReference(bool enable)
{
    if (!owner_ || name_.empty())
        return;
    if (const TFieldEntry* field = owner_->ClassInfo().FindField(name_))
        field->Set(*owner_, enable ? this : nullptr);
}

void TComponent::InsertComponent(TComponent* component)
{
    if (!component)
        return;
    if (component->owner_)
        component->owner_->RemoveComponent(component);
    ValidateRename(component, std::string(), component->name_);
    Insert(component);
    component->SetReference(true);
    if (state_.Contains(csDesigning))
        component->SetDesigning(true);
    Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    if (!component || component->owner_ != this)
        return;
    component->SetReference(false);
    Notification(component, opRemove);
    Remove(component);
}

void TComponent::Insert(TComponent* component)
{
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::Remove(TComponent* component)
{
    components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
    component->owner_ = nullptr;
}

void TComponent::Notification(TComponent* component, TOperation operation)
{
    if (operation == opRemove && component)
        RemoveFreeNotification(component);
    // Copy: a handler may free or insert components while we walk.
    std::vector<TComponent*> snapshot = components_;
    for (TComponent* c : snapshot) {
        if (c == component)
            continue;
        if (std::find(components_.begin(), components_.end(), c) != components_.end())
            c->Notification(component, operation);
    }
}

void TComponent::FreeNotification(TComponent* component)
{
    if (!component || component == this)
        return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
        freeNotifies_.push_back(component);
        component->FreeNotification(this);
    }
    state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component)
{
    if (!component)
        return;
    auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), component);
    if (it == freeNotifies_.end())
        return;
    freeNotifies_.erase(it);
    component->RemoveFreeNotification(this);
}

void TComponent::SetDesigning(bool value, bool setChildren)
{
    SetState(csDesigning, value);
    if (setChildren)
        for (TComponent* c : components_)
            c->SetDesigning(value, true);
}

void TComponent::SetState(TComponentStateFlag flag, bool on)
{
    if (on)
        state_.Include(flag);
    else
        state_.Exclude(flag);
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root)
{
    // Only a root writes what it owns: other components keep internal helpers there.
    // Components with a parent are written inside their parent instead.
    if (root != this)
        return;
    for (TComponent* c : std::vector<TComponent*>(components_))
        if (!c->HasParent() && !c->IsSubComponent())
            proc(c);
}

void TComponent::ReadState(TReader& reader) { reader.ReadData(this); }

void TComponent::WriteState(TWriter& writer) { writer.WriteData(this); }

}  // namespace rtl
