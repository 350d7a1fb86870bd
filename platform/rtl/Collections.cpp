// Collections: item ownership, IDs, ordering, assignment and update notifications.
#include "platform/rtl/Collections.h"

#include <algorithm>

namespace rtl {

// --- TCollectionItem ---

void TCollectionItem::Publish(Table&) {}

TCollectionItem::TCollectionItem(TCollection* collection) { SetCollection(collection); }

TCollectionItem::~TCollectionItem() { SetCollection(nullptr); }

void TCollectionItem::SetCollection(TCollection* collection)
{
    if (collection_ == collection)
        return;
    if (collection_)
        collection_->RemoveItem(this);
    if (collection)
        collection->InsertItem(this);
}

std::int32_t TCollectionItem::Index() const
{
    if (!collection_)
        return -1;
    auto& items = collection_->items_;
    auto it = std::find(items.begin(), items.end(), this);
    return it == items.end() ? -1 : static_cast<std::int32_t>(it - items.begin());
}

void TCollectionItem::SetIndex(std::int32_t value)
{
    std::int32_t current = Index();
    if (current < 0)
        return;
    auto& items = collection_->items_;
    value = std::clamp<std::int32_t>(value, 0, static_cast<std::int32_t>(items.size()) - 1);
    if (value == current)
        return;
    items.erase(items.begin() + current);
    items.insert(items.begin() + value, this);
    Changed(true);
}

std::string TCollectionItem::DisplayName() const { return ClassName(); }

std::string TCollectionItem::GetNamePath() const
{
    if (!collection_)
        return ClassName();
    return collection_->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

void TCollectionItem::Changed(bool allItems)
{
    if (collection_ && collection_->updateCount_ == 0)
        collection_->Update(allItems ? nullptr : this);
}

// --- TCollection ---

void TCollection::Publish(Table&) {}

void TOwnedCollection::Publish(Table&) {}

TCollection::TCollection(TCollectionItemFactory itemClass) : itemClass_(std::move(itemClass)) {}

TCollection::~TCollection()
{
    ++updateCount_;  // no Update calls into a half-destroyed descendant
    Clear();
}

TCollectionItem* TCollection::Items(std::int32_t index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<std::size_t>(index)];
}

TCollectionItem* TCollection::Add()
{
    TCollectionItem* item = itemClass_(this);
    if (item->collection_ != this) {
        item->SetCollection(this);
    }
    Changed();
    return item;
}

TCollectionItem* TCollection::Insert(std::int32_t index)
{
    BeginUpdate();
    TCollectionItem* item = nullptr;
    try {
        item = Add();
        item->SetIndex(index);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
    return item;
}

void TCollection::Delete(std::int32_t index)
{
    delete Items(index);  // the item's destructor removes it and reports the change
}

void TCollection::Clear()
{
    if (items_.empty())
        return;
    BeginUpdate();
    while (!items_.empty())
        delete items_.back();
    EndUpdate();
}

TCollectionItem* TCollection::FindItemID(std::int32_t id) const
{
    for (TCollectionItem* item : items_)
        if (item->id_ == id)
            return item;
    return nullptr;
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate()
{
    if (updateCount_ > 0 && --updateCount_ == 0)
        Changed();
}

void TCollection::Changed()
{
    if (updateCount_ == 0)
        Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item)
{
    items_.push_back(item);
    item->collection_ = this;
    item->id_ = nextId_++;
    Notify(item, true);
}

void TCollection::RemoveItem(TCollectionItem* item)
{
    Notify(item, false);
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
    item->collection_ = nullptr;
    Changed();
}

void TCollection::Assign(TPersistent* source)
{
    auto* other = dynamic_cast<TCollection*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    BeginUpdate();
    try {
        Clear();
        for (TCollectionItem* item : other->items_)
            Add()->Assign(item);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

std::string TCollection::PropName() const
{
    TPersistent* owner = GetOwner();
    if (!owner)
        return std::string();
    for (const TPropInfo* p : owner->ClassInfo().AllProps())
        if (p->Kind() == tkClass && p->GetObj && p->GetObj(*owner) == this)
            return p->Name;
    return std::string();
}

std::string TCollection::GetNamePath() const
{
    TPersistent* owner = GetOwner();
    std::string prop = PropName();
    if (!owner || prop.empty())
        return ClassName();
    std::string ownerPath = owner->GetNamePath();
    return ownerPath.empty() ? prop : ownerPath + "." + prop;
}

}  // namespace rtl
