// Published properties of components turned into text entries of a sectioned store and back.
#include "placement/RXProps.h"

#include "placement/rxStrUtils.h"
#include "platform/rtl/Strings.h"

#include <algorithm>

namespace placement {

namespace {

// Deeper nesting than this is a cycle in the object graph, not data.
constexpr std::int32_t kMaxDepth = 16;
// A stored "Count" beyond this is damage and is refused as a whole: clamping it would still read
// tens of thousands of missing keys.
constexpr std::int32_t kMaxStoredItems = 32767;

const char kNull[] = "(null)";

bool IsStringKind(rtl::TTypeKind kind)
{
    return kind == rtl::tkString || kind == rtl::tkLString || kind == rtl::tkWString;
}

bool IsCharKind(rtl::TTypeKind kind) { return kind == rtl::tkChar || kind == rtl::tkWChar; }

std::int64_t EnumValueOf(const rtl::TTypeInfo& type, const std::string& name)
{
    for (std::size_t i = 0; i < type.EnumNames.size(); ++i)
        if (rtl::AnsiSameText(type.EnumNames[i], name))
            return type.MinValue + static_cast<std::int64_t>(i);
    return -1;
}

std::int32_t ReadCount(const std::string& text)
{
    std::int32_t n = 0;
    if (!rtl::TryStrToInt(text, n) || n < 0 || n > kMaxStoredItems)
        return -1;
    return n;
}

}  // namespace

// ---- TPropInfoList ----

TPropInfoList::TPropInfoList(const rtl::TObject& object)
{
    for (const rtl::TPropInfo* p : rtl::GetPropList(object))
        if (p->Kind() != rtl::tkUnknown && p->Kind() != rtl::tkMethod)
            items_.push_back(p);
    std::stable_sort(items_.begin(), items_.end(), [](const rtl::TPropInfo* a, const rtl::TPropInfo* b) {
        return rtl::AnsiCompareText(a->Name, b->Name) < 0;
    });
}

const rtl::TPropInfo* TPropInfoList::Items(std::int32_t index) const
{
    if (index < 0 || index >= Count())
        throw rtl::EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<std::size_t>(index)];
}

const rtl::TPropInfo* TPropInfoList::Find(const std::string& name) const
{
    for (const rtl::TPropInfo* p : items_)
        if (rtl::AnsiSameText(p->Name, name))
            return p;
    return nullptr;
}

// ---- TPropsStorage: the store ----

std::string TPropsStorage::GetItemName(const std::string& propName) { return Prefix + propName; }

std::unique_ptr<TPropsStorage> TPropsStorage::CreateInfo()
{
    auto s = std::make_unique<TPropsStorage>();
    s->OnReadString = OnReadString;
    s->OnWriteString = OnWriteString;
    s->OnEraseSection = OnEraseSection;
    return s;
}

std::unique_ptr<TPropsStorage> TPropsStorage::Nested(rtl::TObject* object, const std::string& section,
                                                     const std::string& prefix)
{
    std::unique_ptr<TPropsStorage> s = CreateInfo();
    s->AObject = object;
    s->Owner = Owner;
    s->Section = section;
    s->Prefix = prefix;
    s->depth_ = depth_ + 1;
    return s;
}

// ---- text of a value ----

std::string TPropsStorage::ComponentText(rtl::TComponent* component) const
{
    if (!component)
        return kNull;
    rtl::TComponent* owner = component->Owner();
    if (owner && owner != Owner) {
        std::string ownerName = owner->Name();
        if (ownerName.empty()) {
            ownerName = owner->ClassName();
            if (!ownerName.empty() && (ownerName[0] == 'T' || ownerName[0] == 't'))
                ownerName.erase(0, 1);
        }
        return rtl::Format("%s.%s", ownerName, component->Name());
    }
    return component->Name();
}

rtl::TComponent* TPropsStorage::FindReference(const std::string& text) const
{
    if (!Owner)
        return nullptr;
    std::size_t dot = text.find('.');
    if (dot == std::string::npos)
        return Owner->FindComponent(text);
    std::string rootName = text.substr(0, dot);
    std::string name = text.substr(dot + 1);
    auto matches = [&rootName](rtl::TComponent* c) {
        if (!c)
            return false;
        if (!c->Name().empty())
            return rtl::AnsiSameText(c->Name(), rootName);
        std::string cls = c->ClassName();
        if (!cls.empty() && (cls[0] == 'T' || cls[0] == 't'))
            cls.erase(0, 1);
        return rtl::AnsiSameText(cls, rootName);
    };
    rtl::TComponent* root = nullptr;
    if (matches(Owner)) {
        root = Owner;
    } else if (rtl::TComponent* top = Owner->Owner()) {
        for (std::int32_t i = 0; i < top->ComponentCount() && !root; ++i)
            if (matches(top->Components(i)))
                root = top->Components(i);
    }
    if (!root)
        root = Owner->FindComponent(rootName);
    return root ? root->FindComponent(name) : nullptr;
}

std::string TPropsStorage::PropertyText(const rtl::TPropInfo& prop)
{
    if (!AObject)
        return {};
    rtl::TObject& o = *AObject;
    const rtl::TTypeInfo& type = *prop.PropType;
    switch (type.Kind) {
    case rtl::tkInteger: return rtl::IntToStr(rtl::GetOrdProp(o, prop));
    case rtl::tkChar:
    case rtl::tkWChar: {
        std::int64_t c = rtl::GetOrdProp(o, prop);
        return c == 0 ? std::string() : std::string(1, static_cast<char>(c));
    }
    case rtl::tkEnumeration: return rtl::GetEnumName(type, rtl::GetOrdProp(o, prop));
    case rtl::tkFloat: return rtl::FloatToText(rtl::GetFloatProp(o, prop), rtl::FloatDigits(type.FloatType));
    case rtl::tkString:
    case rtl::tkLString:
    case rtl::tkWString: return rtl::GetStrProp(o, prop);
    case rtl::tkSet:
        return rtl::SetToString(type, static_cast<std::uint32_t>(rtl::GetOrdProp(o, prop)), true);
    case rtl::tkVariant: return rtl::VarToStr(rtl::GetVariantProp(o, prop));
    case rtl::tkInt64: return rtl::IntToStr(rtl::GetInt64Prop(o, prop));
    case rtl::tkClass: {
        rtl::TObject* value = rtl::GetObjectProp(o, prop);
        if (!value)
            return kNull;
        if (auto* c = dynamic_cast<rtl::TComponent*>(value))
            return ComponentText(c);
        return {};
    }
    default: return {};
    }
}

// ---- storing ----

void TPropsStorage::StoreAnyProperty(const rtl::TPropInfo& prop)
{
    if (!AObject || prop.Kind() == rtl::tkUnknown || prop.Kind() == rtl::tkMethod)
        return;
    std::string itemName = GetItemName(prop.Name);
    if (prop.Kind() == rtl::tkClass) {
        rtl::TObject* value = rtl::GetObjectProp(*AObject, prop);
        if (value && !dynamic_cast<rtl::TComponent*>(value)) {
            StoreObjectProperty(value, itemName);
            return;
        }
    }
    WriteString(Section, itemName, PropertyText(prop));
}

void TPropsStorage::StoreObjectProperty(rtl::TObject* object, const std::string& itemName)
{
    if (depth_ >= kMaxDepth)
        return;
    std::string section = rtl::Format("%s.%s", Section, itemName);
    if (auto* list = dynamic_cast<rtl::TStrings*>(object)) {
        StoreStrings(section, *list);
    } else if (auto* collection = dynamic_cast<rtl::TCollection*>(object)) {
        StoreCollection(section, *collection);
    } else {
        std::unique_ptr<TPropsStorage> nested = Nested(object, section, std::string());
        TPropInfoList props(*object);
        for (std::int32_t i = 0; i < props.Count(); ++i)
            nested->StoreAnyProperty(*props.Items(i));
    }
}

void TPropsStorage::StoreStrings(const std::string& section, rtl::TStrings& list)
{
    EraseSection(section);
    // An emptied list writes its count too: without one, loading keeps the lines the list had.
    WriteString(section, "Count", rtl::IntToStr(list.Count()));
    for (std::int32_t i = 0; i < list.Count(); ++i)
        WriteString(section, rtl::Format("Item%d", i), list.Get(i));
}

void TPropsStorage::StoreCollection(const std::string& section, rtl::TCollection& collection)
{
    EraseSection(section);
    WriteString(section, "Count", rtl::IntToStr(collection.Count()));
    for (std::int32_t i = 0; i < collection.Count(); ++i) {
        rtl::TCollectionItem* item = collection.Items(i);
        std::unique_ptr<TPropsStorage> nested =
            Nested(item, section, rtl::Format("Item%d", i) + kPropNameDelimiter);
        TPropInfoList props(*item);
        for (std::int32_t p = 0; p < props.Count(); ++p)
            nested->StoreAnyProperty(*props.Items(p));
    }
}

// ---- loading ----

void TPropsStorage::LoadAnyProperty(const rtl::TPropInfo& prop)
{
    if (!AObject || prop.Kind() == rtl::tkUnknown || prop.Kind() == rtl::tkMethod)
        return;
    rtl::TObject& o = *AObject;
    rtl::TTypeKind kind = prop.Kind();
    std::string itemName = GetItemName(prop.Name);
    if (kind == rtl::tkClass) {
        rtl::TObject* value = rtl::GetObjectProp(o, prop);
        if (value && !dynamic_cast<rtl::TComponent*>(value)) {
            LoadObjectProperty(value, itemName);
            return;
        }
    }
    if (!prop.Writable())
        return;
    std::string def = PropertyText(prop);
    // Only texts may legitimately be empty; an empty default elsewhere means "no value".
    if (def.empty() && !IsStringKind(kind) && !IsCharKind(kind) && kind != rtl::tkClass)
        return;
    std::string s = rtl::Trim(ReadString(Section, itemName, def));
    const rtl::TTypeInfo& type = *prop.PropType;
    switch (kind) {
    case rtl::tkInteger: {
        std::int64_t v = 0;
        if (!rtl::TryStrToInt64(s, v) || v < type.MinValue || v > type.MaxValue)
            v = 0;
        rtl::SetOrdProp(o, prop, v);
        break;
    }
    case rtl::tkChar:
    case rtl::tkWChar:
        if (!s.empty())
            rtl::SetOrdProp(o, prop, static_cast<unsigned char>(s[0]));
        break;
    case rtl::tkEnumeration: {
        std::int64_t v = EnumValueOf(type, s);
        if (v >= 0)
            rtl::SetOrdProp(o, prop, v);
        break;
    }
    case rtl::tkFloat: {
        std::string local = ReplaceStr(s, ".", std::string(1, rtl::DecimalSeparator()));
        rtl::SetFloatProp(o, prop, rtl::StrToFloat(local));
        break;
    }
    case rtl::tkString:
    case rtl::tkLString:
    case rtl::tkWString: rtl::SetStrProp(o, prop, s); break;
    case rtl::tkSet: {
        static const TCharSet kDelims = CharSet(" ,[]");
        std::uint32_t bits = 0;
        const rtl::TTypeInfo* comp = type.CompType;
        for (std::int32_t i = 1, n = WordCount(s, kDelims); comp && i <= n; ++i) {
            std::int64_t v = EnumValueOf(*comp, ExtractWord(i, s, kDelims));
            if (v >= 0 && v <= 31)
                bits |= 1u << v;
        }
        rtl::SetOrdProp(o, prop, bits);
        break;
    }
    case rtl::tkVariant: rtl::SetVariantProp(o, prop, rtl::Variant(s)); break;
    case rtl::tkInt64: rtl::SetInt64Prop(o, prop, rtl::StrToInt64Def(s, 0)); break;
    case rtl::tkClass:
        if (rtl::SameText(s, kNull)) {
            rtl::SetObjectProp(o, prop, nullptr);
        } else if (rtl::TComponent* c = FindReference(s)) {
            rtl::SetObjectProp(o, prop, c);
        }
        break;
    default: break;
    }
}

void TPropsStorage::LoadObjectProperty(rtl::TObject* object, const std::string& itemName)
{
    if (depth_ >= kMaxDepth)
        return;
    std::string section = rtl::Format("%s.%s", Section, itemName);
    if (auto* list = dynamic_cast<rtl::TStrings*>(object)) {
        LoadStrings(section, *list);
    } else if (auto* collection = dynamic_cast<rtl::TCollection*>(object)) {
        LoadCollection(section, *collection);
    } else {
        std::unique_ptr<TPropsStorage> nested = Nested(object, section, std::string());
        TPropInfoList props(*object);
        for (std::int32_t i = 0; i < props.Count(); ++i)
            nested->LoadAnyProperty(*props.Items(i));
    }
}

void TPropsStorage::LoadStrings(const std::string& section, rtl::TStrings& list)
{
    // No count (or a damaged one) means nothing usable was stored: the list keeps what it has.
    std::int32_t n = ReadCount(ReadString(section, "Count", ""));
    if (n < 0)
        return;
    list.BeginUpdate();
    try {
        list.Clear();
        // The list ends at the first item that is not stored: a damaged count up to the limit must
        // not read every missing key. An item is missing when neither of two defaults comes back
        // changed; a stored item reads once unless it happens to hold the first default.
        for (std::int32_t i = 0; i < n; ++i) {
            const std::string key = rtl::Format("Item%d", i);
            std::string value = ReadString(section, key, "\x01");
            if (value == "\x01" && ReadString(section, key, "\x02") == "\x02")
                break;
            list.Add(value);
        }
    } catch (...) {
        list.EndUpdate();
        throw;
    }
    list.EndUpdate();
}

void TPropsStorage::LoadCollection(const std::string& section, rtl::TCollection& collection)
{
    std::int32_t n = ReadCount(ReadString(section, "Count", ""));
    if (n < 0)
        return;
    collection.BeginUpdate();
    try {
        while (collection.Count() > n)
            collection.Delete(collection.Count() - 1);
        while (collection.Count() < n)
            collection.Add();
        for (std::int32_t i = 0; i < n; ++i) {
            rtl::TCollectionItem* item = collection.Items(i);
            std::unique_ptr<TPropsStorage> nested =
                Nested(item, section, rtl::Format("Item%d", i) + kPropNameDelimiter);
            TPropInfoList props(*item);
            for (std::int32_t p = 0; p < props.Count(); ++p)
                nested->LoadAnyProperty(*props.Items(p));
        }
    } catch (...) {
        collection.EndUpdate();
        throw;
    }
    collection.EndUpdate();
}

// ---- lists of properties ----

void TPropsStorage::StoreProperties(const rtl::TStrings& propList)
{
    if (!AObject)
        return;
    TPropInfoList props(*AObject);
    for (std::int32_t i = 0; i < propList.Count(); ++i)
        if (const rtl::TPropInfo* p = props.Find(rtl::Trim(propList.Get(i))))
            StoreAnyProperty(*p);
}

void TPropsStorage::LoadProperties(const rtl::TStrings& propList)
{
    if (!AObject)
        return;
    TPropInfoList props(*AObject);
    for (std::int32_t i = 0; i < propList.Count(); ++i)
        if (const rtl::TPropInfo* p = props.Find(rtl::Trim(propList.Get(i))))
            LoadAnyProperty(*p);
}

// Points the storage at each listed component's property in turn (entries that are malformed,
// unbound or name no property are passed over) and hands the property to the action.
template <class Action>
void TPropsStorage::ForEachStoredProperty(rtl::TComponent* form, const rtl::TStrings& storedList,
                                          Action action)
{
    if (form)
        Owner = form;
    for (std::int32_t i = 0; i < storedList.Count(); ++i) {
        std::string compName, propName;
        if (!ParseStoredItem(storedList.Get(i), compName, propName))
            continue;
        auto* component = dynamic_cast<rtl::TComponent*>(storedList.Objects(i));
        if (!component)
            continue;
        const rtl::TPropInfo* p = TPropInfoList(*component).Find(propName);
        if (!p)
            continue;
        AObject = component;
        Prefix = component->Name() + kPropNameDelimiter;
        action(*p);
    }
}

void TPropsStorage::StoreObjectsProps(rtl::TComponent* form, const rtl::TStrings& storedList)
{
    ForEachStoredProperty(form, storedList, [this](const rtl::TPropInfo& p) { StoreAnyProperty(p); });
}

void TPropsStorage::LoadObjectsProps(rtl::TComponent* form, const rtl::TStrings& storedList)
{
    ForEachStoredProperty(form, storedList, [this](const rtl::TPropInfo& p) {
        try {
            LoadAnyProperty(p);
        } catch (const rtl::EConvertError&) {
            // A damaged value leaves its property alone; the rest still load.
        } catch (const rtl::EPropertyError&) {
        }
    });
}

// ---- stored lists ----

bool ParseStoredItem(const std::string& item, std::string& compName, std::string& propName)
{
    std::size_t dot = item.find('.');
    if (dot == std::string::npos)
        return false;
    std::string comp = rtl::Trim(std::string_view(item).substr(0, dot));
    std::string prop = rtl::Trim(std::string_view(item).substr(dot + 1));
    if (comp.empty() || prop.empty())
        return false;
    compName = std::move(comp);
    propName = std::move(prop);
    return true;
}

std::string CreateStoredItem(const std::string& compName, const std::string& propName)
{
    if (compName.empty() || propName.empty())
        return {};
    return compName + "." + propName;
}

std::string ReplaceComponentName(const std::string& item, const std::string& compName)
{
    std::string comp, prop;
    if (!ParseStoredItem(item, comp, prop) || compName.empty())
        return item;
    return CreateStoredItem(compName, prop);
}

void UpdateStoredList(rtl::TComponent* form, rtl::TStrings& storedList, bool fromForm)
{
    for (std::int32_t i = storedList.Count() - 1; i >= 0; --i) {
        std::string comp, prop;
        if (!ParseStoredItem(storedList.Get(i), comp, prop)) {
            storedList.Delete(i);
            continue;
        }
        if (fromForm) {
            rtl::TComponent* c = form ? form->FindComponent(comp) : nullptr;
            if (!c)
                storedList.Delete(i);
            else
                storedList.PutObject(i, c);
        } else {
            auto* c = dynamic_cast<rtl::TComponent*>(storedList.Objects(i));
            if (!c || c->Name().empty())
                storedList.Delete(i);
            else
                storedList.Put(i, ReplaceComponentName(storedList.Get(i), c->Name()));
        }
    }
}

}  // namespace placement
