// The component model: persistent objects with published properties, and owned components.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rtl {

class TFiler;
class TReader;
class TWriter;

// Invalid or duplicate component names, bad component indexes.
class EComponentError : public Exception {
public:
    explicit EComponentError(std::string message) : Exception(std::move(message)) {}
};

// Declares a published class: its name and published parent, and its table, which the class's
// .cpp fills in with `void Class::Publish(Table& t)` (see TypeInfo.h).
#define RTL_DECLARE_CLASS(Class, Base)                                       \
public:                                                                      \
    using Self = Class;                                                      \
    using Table = ::rtl::TClassBuilder<Class, Base>;                         \
    static void Publish(Table& t);                                           \
    static const ::rtl::TClassInfo& StaticClassInfo()                        \
    {                                                                        \
        static const ::rtl::TClassInfo info = Table::Make(#Class, &Publish); \
        return info;                                                         \
    }                                                                        \
    const ::rtl::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

// An object whose published properties can be streamed, listed and copied.
class TPersistent : public TObject {
public:
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;

    static const TClassInfo& StaticClassInfo();
    virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
    const std::string& ClassName() const { return ClassInfo().Name; }
    bool InheritsFrom(const TClassInfo& other) const { return ClassInfo().InheritsFrom(other); }

    // Copies from `source` by asking it to AssignTo this object. A nil source or a pair that
    // does not know each other raises EConvertError "Cannot assign a X to a Y".
    virtual void Assign(TPersistent* source);
    // Unpublished data streamed through the filer (binary blobs, string lists).
    virtual void DefineProperties(TFiler& filer) {}
    // The name the object is known by in its root: "Form1.Button1", "DataStore.Items[0]".
    virtual std::string GetNamePath() const { return ClassName(); }
    // The object that owns this one for naming and streaming purposes; nullptr at the top.
    virtual TPersistent* GetOwner() const { return nullptr; }

protected:
    virtual void AssignTo(TPersistent* dest);
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag {
    csLoading,
    csReading,
    csWriting,
    csDestroying,
    csDesigning,
    csAncestor,
    csUpdating,
    csFixups,
    csFreeNotification,
    csInline,
    csDesignInstance
};
RTL_ENUM_INFO(TComponentStateFlag, "csLoading", "csReading", "csWriting", "csDestroying", "csDesigning",
              "csAncestor", "csUpdating", "csFixups", "csFreeNotification", "csInline", "csDesignInstance")
using TComponentState = TSet<TComponentStateFlag>;

// A named, owned object. The owner frees its components in its own destructor; a component
// destroyed first removes itself from its owner and tells every component that asked for a
// free notification. Create components with `new T(owner)`; with an owner, never delete them
// from outside unless you mean to destroy them early.
class TComponent : public TPersistent {
    RTL_DECLARE_CLASS(TComponent, TPersistent)

public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    // Raises EComponentError "'X' is not a valid component name" or
    // "A component named X already exists" (names compare without regard to case).
    void SetName(const std::string& name);
    std::int32_t Tag() const { return tag_; }
    void SetTag(std::int32_t tag) { tag_ = tag; }

    std::int32_t ComponentCount() const { return static_cast<std::int32_t>(components_.size()); }
    // Raises EListError "List index out of bounds (i)" for a bad index.
    TComponent* Components(std::int32_t index) const;
    std::int32_t ComponentIndex() const;
    // nullptr when absent or when `name` is empty; case-insensitive.
    TComponent* FindComponent(const std::string& name) const;

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Frees every owned component, last first.
    void DestroyComponents();
    // Marks this component and its owned ones as being destroyed. The destructor calls it;
    // a derived destructor that wants csDestroying visible earlier calls it first.
    void Destroying();

    // Asks for Notification(component, opRemove) when `component` is destroyed. Symmetric.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    TComponentState ComponentState() const { return state_; }
    // A sub-component is owned by the component that publishes it (a title bar inside a
    // frame): forms store its properties under the owner's ("TitleBar.Caption") instead of
    // storing a reference or a child of its own.
    void SetSubComponent(bool value) { subComponent_ = value; }
    bool IsSubComponent() const { return subComponent_; }
    void SetDesigning(bool value, bool setChildren = true);

    // Streaming hooks. GetChildren lists the components written inside this one; the base
    // lists, for the root only, its owned components that have no parent and are not
    // sub-components.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    virtual TComponent* GetChildOwner() { return nullptr; }
    virtual TComponent* GetChildParent() { return this; }
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent* parent) {}
    virtual void ReadState(TReader& reader);
    virtual void WriteState(TWriter& writer);

    std::string GetNamePath() const override { return name_; }
    TPersistent* GetOwner() const override { return owner_; }

protected:
    // Called for every component inserted into or removed from the owner, and for removals
    // of components this one asked to be told about. The base forwards to owned components.
    virtual void Notification(TComponent* component, TOperation operation);
    // Called once after the whole form has been read; clears csLoading.
    virtual void Loaded();
    virtual void ValidateRename(TComponent* component, const std::string& curName,
                                const std::string& newName);

    void SetState(TComponentStateFlag flag, bool on);

private:
    friend class TReader;
    friend class TWriter;

    void Insert(TComponent* component);
    void Remove(TComponent* component);
    void SetReference(bool enable);

    TComponent* owner_ = nullptr;  // not owned
    std::string name_;
    std::int32_t tag_ = 0;
    std::vector<TComponent*> components_;    // owned: freed by ~TComponent
    std::vector<TComponent*> freeNotifies_;  // not owned
    TComponentState state_;
    bool subComponent_ = false;
};

// True for names the form streaming accepts: a letter or "_" then letters, digits, "_".
bool IsValidIdent(const std::string& name);

}  // namespace rtl
