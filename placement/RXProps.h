// Published properties of components turned into text entries of a sectioned store and back.
#pragma once

#include "platform/rtl/Collections.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace placement {

// Joins a component name and a property name into a store key: "ZanticFolder_Text".
inline constexpr const char* kPropNameDelimiter = "_";

// The published properties of an object that can be stored (every kind but unknown and
// method), sorted by name without regard to case.
class TPropInfoList : public rtl::TObject {
public:
    explicit TPropInfoList(const rtl::TObject& object);

    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    // Raises rtl::EListError "List index out of bounds (i)" for a bad index.
    const rtl::TPropInfo* Items(std::int32_t index) const;
    // nullptr when absent; case-insensitive.
    const rtl::TPropInfo* Find(const std::string& name) const;

private:
    std::vector<const rtl::TPropInfo*> items_;  // not owned: class tables live for the program
};

using TReadStrEvent = rtl::TEvent<std::string(const std::string& ASection, const std::string& Item,
                                              const std::string& Default)>;
using TWriteStrEvent =
    rtl::TEvent<void(const std::string& ASection, const std::string& Item, const std::string& Value)>;
using TEraseSectEvent = rtl::TEvent<void(const std::string& ASection)>;

// Writes and reads published properties as text through three events, so that the caller
// decides where the text goes (an INI file, the registry, a test's map).
//
// Text forms by kind: integers and 64-bit integers in decimal (0 when unreadable), characters
// as themselves, enumerations by member name (unknown names leave the property alone), floats
// in general format with "." as separator, strings as they are, sets as "[a,b]" (unknown
// member names ignored), variants as their text, component references by name ("(null)" for
// none). String lists, collections and other objects get a section of their own:
// "<Section>.<item name>", holding "Count" and "Item0".. for lists, "Count" and the items'
// properties under the prefix "Item<i>_" for collections, and the object's own properties for
// other objects.
class TPropsStorage : public rtl::TObject {
public:
    TPropsStorage() = default;

    rtl::TObject* AObject = nullptr;   // not owned: the object whose properties are handled
    rtl::TComponent* Owner = nullptr;  // not owned: resolves component references
    std::string Prefix;
    std::string Section;
    TReadStrEvent OnReadString;
    TWriteStrEvent OnWriteString;
    TEraseSectEvent OnEraseSection;

    // The text of a property as it would be stored; "" for object properties.
    std::string PropertyText(const rtl::TPropInfo& prop);
    void StoreAnyProperty(const rtl::TPropInfo& prop);
    // Raises rtl::EConvertError for a stored float that is not a number.
    void LoadAnyProperty(const rtl::TPropInfo& prop);
    // The properties of AObject named in `propList`; unknown names are skipped.
    void StoreProperties(const rtl::TStrings& propList);
    void LoadProperties(const rtl::TStrings& propList);
    // Every well-formed entry of `storedList` whose bound component (the entry's object)
    // publishes that property. Loading skips, and leaves alone, a property whose stored text
    // cannot be converted, so one bad value does not stop the others.
    void StoreObjectsProps(rtl::TComponent* form, const rtl::TStrings& storedList);
    void LoadObjectsProps(rtl::TComponent* form, const rtl::TStrings& storedList);

protected:
    // Through the events; without OnReadString every value reads as empty.
    virtual std::string ReadString(const std::string& section, const std::string& item,
                                   const std::string& defaultValue)
    {
        return OnReadString(section, item, defaultValue);
    }
    virtual void WriteString(const std::string& section, const std::string& item, const std::string& value)
    {
        OnWriteString(section, item, value);
    }
    virtual void EraseSection(const std::string& section) { OnEraseSection(section); }
    virtual std::string GetItemName(const std::string& propName);
    // A storage of the same class with the same events and owner, for nested objects.
    virtual std::unique_ptr<TPropsStorage> CreateInfo();

private:
    template <class Action>
    void ForEachStoredProperty(rtl::TComponent* form, const rtl::TStrings& storedList, Action action);
    void StoreObjectProperty(rtl::TObject* object, const std::string& itemName);
    void LoadObjectProperty(rtl::TObject* object, const std::string& itemName);
    void StoreStrings(const std::string& section, rtl::TStrings& list);
    void LoadStrings(const std::string& section, rtl::TStrings& list);
    void StoreCollection(const std::string& section, rtl::TCollection& collection);
    void LoadCollection(const std::string& section, rtl::TCollection& collection);
    std::unique_ptr<TPropsStorage> Nested(rtl::TObject* object, const std::string& section,
                                          const std::string& prefix);
    std::string ComponentText(rtl::TComponent* component) const;
    rtl::TComponent* FindReference(const std::string& text) const;

    std::int32_t depth_ = 0;  // nesting of objects; cyclic object graphs stop at a limit
};

// Splits "Component.Property" (blanks around either part ignored). False when there is no
// "." or either part is empty.
bool ParseStoredItem(const std::string& item, std::string& compName, std::string& propName);
std::string CreateStoredItem(const std::string& compName, const std::string& propName);
// The entry with its component part replaced; the entry unchanged when it is malformed.
std::string ReplaceComponentName(const std::string& item, const std::string& compName);
// Walks the list from the last entry to the first and removes malformed entries. From the
// form: binds each entry to the form's component of that name (as the entry's object) and
// removes entries naming no component. To the form: rewrites each entry with the current
// name of its bound component and removes entries without one.
void UpdateStoredList(rtl::TComponent* form, rtl::TStrings& storedList, bool fromForm);

}  // namespace placement
