// Form placement and form storage: components that keep a form's window placement, chosen
// published properties and named values in an INI file or the registry.
#pragma once

#include "placement/RXConst.h"
#include "placement/RxHook.h"
#include "platform/rtl/Collections.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Variant.h"
#include "platform/win/Forms.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace placement {

class TFormPlacement;

enum TPlacementOption { fpState, fpPosition, fpActiveControl };
RTL_ENUM_INFO(TPlacementOption, "fpState", "fpPosition", "fpActiveControl")
using TPlacementOptions = rtl::TSet<TPlacementOption>;

enum TPlacementRegRoot { prCurrentUser, prLocalMachine, prCurrentConfig, prClassesRoot, prUsers, prDynData };
RTL_ENUM_INFO(TPlacementRegRoot, "prCurrentUser", "prLocalMachine", "prCurrentConfig", "prClassesRoot",
              "prUsers", "prDynData")

// Size limits applied through the window hook; 0 means "not set". Changing a value makes the
// placement component re-apply its window state and re-check whether it needs the hook.
class TWinMinMaxInfo : public rtl::TPersistent {
    RTL_DECLARE_CLASS(TWinMinMaxInfo, rtl::TPersistent)

public:
    explicit TWinMinMaxInfo(TFormPlacement* owner) : owner_(owner) {}

    std::int32_t MaxPosLeft() const { return v_[0]; }
    std::int32_t MaxPosTop() const { return v_[1]; }
    std::int32_t MaxSizeHeight() const { return v_[2]; }
    std::int32_t MaxSizeWidth() const { return v_[3]; }
    std::int32_t MaxTrackHeight() const { return v_[4]; }
    std::int32_t MaxTrackWidth() const { return v_[5]; }
    std::int32_t MinTrackHeight() const { return v_[6]; }
    std::int32_t MinTrackWidth() const { return v_[7]; }
    void SetMaxPosLeft(std::int32_t v) { SetValue(0, v); }
    void SetMaxPosTop(std::int32_t v) { SetValue(1, v); }
    void SetMaxSizeHeight(std::int32_t v) { SetValue(2, v); }
    void SetMaxSizeWidth(std::int32_t v) { SetValue(3, v); }
    void SetMaxTrackHeight(std::int32_t v) { SetValue(4, v); }
    void SetMaxTrackWidth(std::int32_t v) { SetValue(5, v); }
    void SetMinTrackHeight(std::int32_t v) { SetValue(6, v); }
    void SetMinTrackWidth(std::int32_t v) { SetValue(7, v); }
    // All eight are 0.
    bool DefaultMinMaxInfo() const;
    void Assign(rtl::TPersistent* source) override;

private:
    void SetValue(int index, std::int32_t v) { rtl::SetAndNotify(v_[index], v, this, &Self::Modified); }
    void Modified();

    TFormPlacement* owner_;  // not owned
    std::int32_t v_[8] = {};
};

// A component told when its placement component saves or restores.
class TIniLink : public rtl::TObject {
public:
    TIniLink() = default;
    ~TIniLink() override;
    TFormPlacement* Storage() const { return storage_; }
    // Links to (or with nullptr unlinks from) a placement component.
    void SetStorage(TFormPlacement* value);
    rtl::TNotifyEvent OnSave;
    rtl::TNotifyEvent OnLoad;

private:
    friend class TFormPlacement;
    TFormPlacement* storage_ = nullptr;  // not owned
};

// Saves its owner form's window placement when the form closes and restores it when the form
// is shown. It attaches itself (in Loaded) by replacing the form's OnShow, OnCloseQuery and
// OnDestroy and chaining to the handlers it found; the form's OnCreate has therefore run
// before any restore. Failures while saving or restoring from these events go to the
// application's exception handler; the form still shows or closes.
class TFormPlacement : public rtl::TComponent {
    RTL_DECLARE_CLASS(TFormPlacement, rtl::TComponent)

public:
    explicit TFormPlacement(rtl::TComponent* owner);
    ~TFormPlacement() override;

    bool Active = true;
    // Empty reads as the default: the program's name with ".INI", or the default registry
    // key when UseRegistry.
    std::string IniFileName() const;
    void SetIniFileName(const std::string& v) { iniFileName_ = v; }
    // Empty reads as the owner's default section.
    std::string IniSection() const;
    void SetIniSection(const std::string& v) { iniSection_ = v; }
    TWinMinMaxInfo* MinMaxInfo() const { return minMaxInfo_.get(); }
    void SetMinMaxInfo(TWinMinMaxInfo* v) { minMaxInfo_->Assign(v); }
    TPlacementOptions Options;
    bool PreventResize() const { return preventResize_; }
    void SetPreventResize(bool v);
    TPlacementRegRoot RegistryRoot = prCurrentUser;
    bool UseRegistry = false;
    std::int32_t Version = 0;
    // Values read from an INI file are cut to this many characters, the rest ignored (0: whole
    // values): a stored value can be no longer than what it is restored into.
    std::size_t MaxValueLength() const { return maxValueLength_; }
    void SetMaxValueLength(std::size_t v) { maxValueLength_ = v; }

    rtl::TNotifyEvent OnSavePlacement;
    rtl::TNotifyEvent OnRestorePlacement;

    // Writes "FormVersion", the placement and whatever descendants add. Does nothing while
    // Active and nothing has been restored yet.
    void SaveFormPlacement();
    // Reads the placement back when the stored "FormVersion" is at least Version, then fires
    // OnRestorePlacement. A missing file or key reads as defaults.
    void RestoreFormPlacement();

    // Strings and integers in the placement's section. Without an open INI object one is
    // opened for the call (read-only for reads).
    std::string ReadString(const std::string& ident, const std::string& defaultValue);
    void WriteString(const std::string& ident, const std::string& value);
    std::int32_t ReadInteger(const std::string& ident, std::int32_t defaultValue);
    void WriteInteger(const std::string& ident, std::int32_t value);
    void EraseSections();

    // The open INI object (win::TIniFile or win::TRegIniFile) during a save or restore, else nullptr.
    rtl::TObject* IniFileObject() const { return iniFile_.get(); }
    bool IsSaved() const { return saved_; }
    bool IsRestored() const { return restored_; }
    TRxWindowHook* WinHook() const { return winHook_.get(); }

    // Re-applies the window state (maximized position) after a restore or a change of the
    // size limits; only when PreventResize is off and MinMaxInfo is default.
    void UpdatePlacement();

protected:
    void Loaded() override;
    virtual void SavePlacement();
    virtual void RestorePlacement();
    virtual std::string DoReadString(const std::string& section, const std::string& ident,
                                     const std::string& defaultValue);
    virtual void DoWriteString(const std::string& section, const std::string& ident,
                               const std::string& value);
    virtual void Save() { OnSavePlacement(this); }
    virtual void Restore() { OnRestorePlacement(this); }
    win::TCustomForm* Form() const;
    bool destroying_ = false;
    bool restored_ = false;

private:
    friend class TWinMinMaxInfo;
    friend class TIniLink;
    bool IsIniFileNameStored() const { return !iniFileName_.empty(); }
    bool IsIniSectionStored() const { return !iniSection_.empty(); }
    bool IsOptionsStored() const;
    void SetEvents();
    void RestoreEvents();
    void FormShow(rtl::TObject* sender);
    void FormCloseQuery(rtl::TObject* sender, bool& canClose);
    void FormDestroy(rtl::TObject* sender);
    void WndMessage(rtl::TObject* sender, win::TMessage& msg, bool& handled);
    void UpdatePreventResize();
    void CheckToggleHook();
    void MinMaxInfoModified();
    void IniOpen(bool readOnly);
    void IniFree();
    void NotifyLinks(bool save);

    std::string iniFileName_;
    std::string iniSection_;
    std::unique_ptr<TWinMinMaxInfo> minMaxInfo_;
    bool preventResize_ = false;
    std::size_t maxValueLength_ = 0;

    std::unique_ptr<rtl::TObject> iniFile_;  // open only during one operation
    std::int32_t iniOpenCount_ = 0;
    bool saved_ = false;
    bool defMaximize_ = false;
    bool eventsSet_ = false;
    std::unique_ptr<TRxWindowHook> winHook_;
    rtl::TNotifyEvent saveFormShow_;
    win::TCloseQueryEvent saveFormCloseQuery_;
    rtl::TNotifyEvent saveFormDestroy_;
    std::vector<TIniLink*> links_;  // not owned; each unlinks itself
};

class TStoredValue;
class TStoredValues;
class TFormStorage;

using TStoredValueEvent = rtl::TEvent<void(TStoredValue* Sender, rtl::Variant& Value)>;

// A named value kept in the placement's section as text; KeyString, when set, XOR-encodes it.
class TStoredValue : public rtl::TCollectionItem {
    RTL_DECLARE_CLASS(TStoredValue, rtl::TCollectionItem)

public:
    explicit TStoredValue(rtl::TCollection* collection);

    const std::string& Name() const { return name_; }
    // Raises rtl::Exception "String list does not allow duplicates" when another item has the
    // name (without regard to case); a change of case alone is always allowed.
    void SetName(const std::string& v);
    rtl::Variant Value;
    std::string KeyString;

    TStoredValueEvent OnSave;
    TStoredValueEvent OnRestore;

    void Assign(rtl::TPersistent* source) override;
    std::string DisplayName() const override;
    TFormStorage* Storage() const;
    // Writes the value (after OnSave) under Name; an OnSave that empties the value (Clear)
    // leaves the stored entry as it is. Restore reads it back (with the current value as the
    // default) and hands it to OnRestore.
    void Save();
    void Restore();

private:
    bool IsValueStored() const { return !Value.IsEmpty(); }

    std::string name_;
};

class TStoredValues : public rtl::TOwnedCollection {
    RTL_DECLARE_CLASS(TStoredValues, rtl::TOwnedCollection)

public:
    explicit TStoredValues(rtl::TPersistent* owner);

    TFormStorage* Storage() const { return storage_; }
    void SetStorage(TFormStorage* v) { storage_ = v; }
    // Without regard to case; -1 when absent.
    std::int32_t IndexOf(const std::string& name) const;
    TStoredValue* Items(std::int32_t index) const;
    TStoredValue* Add() { return static_cast<TStoredValue*>(TOwnedCollection::Add()); }
    // The value of the named item; Empty when there is none. Setting an unknown name adds it.
    rtl::Variant StoredValue(const std::string& name) const;
    void SetStoredValue(const std::string& name, const rtl::Variant& value);
    void SaveValues();
    void RestoreValues();

private:
    TFormStorage* storage_ = nullptr;  // not owned
};

// TFormPlacement plus published properties of the form's components (StoredProps, entries
// "Component.Property") and named values (StoredValues). Restoring runs, in order: the
// placement, the stored properties, each stored value's restore, then OnRestorePlacement.
class TFormStorage : public TFormPlacement {
    RTL_DECLARE_CLASS(TFormStorage, TFormPlacement)

public:
    explicit TFormStorage(rtl::TComponent* owner);
    ~TFormStorage() override;

    rtl::TStrings* StoredProps() const { return storedProps_.get(); }
    void SetStoredProps(rtl::TStrings* v);
    TStoredValues* StoredValues() const { return storedValues_.get(); }
    void SetStoredValues(TStoredValues* v);
    rtl::Variant StoredValue(const std::string& name) const { return storedValues_->StoredValue(name); }
    void SetStoredValue(const std::string& name, const rtl::Variant& v)
    {
        storedValues_->SetStoredValue(name, v);
    }

    void SaveProps();
    void RestoreProps();

protected:
    void Loaded() override;
    void WriteState(rtl::TWriter& writer) override;
    void Notification(rtl::TComponent* component, rtl::TOperation operation) override;
    void SavePlacement() override;
    void RestorePlacement() override;

private:
    friend class TStoredValue;
    std::unique_ptr<rtl::TStringList> storedProps_;
    std::unique_ptr<TStoredValues> storedValues_;
};

}  // namespace placement
