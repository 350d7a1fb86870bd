// Collections: lists of persistent items with IDs, display names and update notifications.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rtl {

class TCollection;

// One item; created with its collection, which then owns it. Destroying an item (delete)
// removes it from its collection first.
class TCollectionItem : public TPersistent {
    RTL_DECLARE_CLASS(TCollectionItem, TPersistent)

public:
    explicit TCollectionItem(TCollection* collection);
    ~TCollectionItem() override;

    TCollection* Collection() const { return collection_; }
    // Moves the item into another collection (nullptr: none; the caller then owns it).
    void SetCollection(TCollection* collection);
    std::int32_t ID() const { return id_; }
    std::int32_t Index() const;
    // Moves the item within its collection; out-of-range values are clamped.
    void SetIndex(std::int32_t value);
    // The class name unless a descendant names the item.
    virtual std::string DisplayName() const;
    std::string GetNamePath() const override;
    TPersistent* GetOwner() const override;

protected:
    // Tells the collection the item changed; allItems for changes that affect its siblings.
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;  // not owned
    std::int32_t id_ = 0;
};

// Creates a new item in the given collection (which takes ownership).
using TCollectionItemFactory = std::function<TCollectionItem*(TCollection*)>;

template <class T>
TCollectionItemFactory ItemClass()
{
    return [](TCollection* c) -> TCollectionItem* { return new T(c); };
}

class TCollection : public TPersistent {
    RTL_DECLARE_CLASS(TCollection, TPersistent)

public:
    explicit TCollection(TCollectionItemFactory itemClass);
    ~TCollection() override;

    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    // Raises EListError "List index out of bounds (i)" for a bad index.
    TCollectionItem* Items(std::int32_t index) const;
    TCollectionItem* Add();
    TCollectionItem* Insert(std::int32_t index);
    void Delete(std::int32_t index);
    void Clear();
    TCollectionItem* FindItemID(std::int32_t id) const;

    void BeginUpdate();
    void EndUpdate();
    std::int32_t UpdateCount() const { return updateCount_; }

    // Copies items from another collection: clears this one and adds an item per source item,
    // each assigned from its source.
    void Assign(TPersistent* source) override;
    std::string GetNamePath() const override;
    // The property name under which the owner publishes this collection.
    std::string PropName() const;
    const TCollectionItemFactory& ItemFactory() const { return itemClass_; }

protected:
    // Called after changes; item is nullptr when the whole collection changed. Not called
    // while updates are suspended.
    virtual void Update(TCollectionItem* item) {}
    virtual void Notify(TCollectionItem* item, bool added) {}
    void Changed();

private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem* item);
    void RemoveItem(TCollectionItem* item);

    TCollectionItemFactory itemClass_;
    std::vector<TCollectionItem*> items_;  // owned: freed in Clear and ~TCollection
    std::int32_t nextId_ = 0;
    std::int32_t updateCount_ = 0;
};

// A collection that reports an owner, for name paths and loading/design tests.
class TOwnedCollection : public TCollection {
    RTL_DECLARE_CLASS(TOwnedCollection, TCollection)

public:
    TOwnedCollection(TPersistent* owner, TCollectionItemFactory itemClass)
        : TCollection(std::move(itemClass)), owner_(owner)
    {
    }
    TPersistent* GetOwner() const override { return owner_; }

private:
    TPersistent* owner_;  // not owned
};

}  // namespace rtl
