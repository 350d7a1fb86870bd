// Published property tables, the class registry and access to properties by name and as text.
#include "platform/rtl/TypeInfo.h"

#include "platform/rtl/Component.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

namespace rtl {

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    return true;
}

std::string UpperKey(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        c = AsciiUpper(c);
    return r;
}

struct Registry {
    std::mutex lock;
    std::map<std::string, const TClassInfo*> classes;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

[[noreturn]] void Unknown(const std::string& name)
{
    throw EPropertyError("Property " + name + " does not exist");
}

[[noreturn]] void WrongKind(const TPropInfo& prop)
{
    throw EPropertyError("Invalid property type: " + prop.Name);
}

[[noreturn]] void ReadOnly(const TPropInfo& prop)
{
    throw EPropertyError("Property " + prop.Name + " is read-only");
}

const TPropInfo& NeedProp(const TObject& instance, const std::string& name)
{
    const TPropInfo* p = GetPropInfo(instance, name);
    if (!p)
        Unknown(name);
    return *p;
}

bool ParseInt64(const std::string& text, std::int64_t& out)
{
    const char* b = text.data();
    const char* e = b + text.size();
    while (b < e && (*b == ' ' || *b == '\t'))
        ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t'))
        --e;
    bool negative = false;
    if (b < e && (*b == '-' || *b == '+')) {
        negative = *b == '-';
        ++b;
    }
    int base = 10;
    if (b < e && *b == '$') {
        base = 16;
        ++b;
    } else if (e - b > 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) {
        base = 16;
        b += 2;
    }
    if (b == e)
        return false;
    std::uint64_t magnitude = 0;
    auto [ptr, ec] = std::from_chars(b, e, magnitude, base);
    if (ec != std::errc() || ptr != e)
        return false;
    if (negative) {
        if (magnitude > 0x8000000000000000ull)
            return false;
        out = static_cast<std::int64_t>(0 - magnitude);
    } else {
        if (base == 10 && magnitude > 0x7FFFFFFFFFFFFFFFull)
            return false;
        out = static_cast<std::int64_t>(magnitude);
    }
    return true;
}

}  // namespace

// --- TClassInfo ---

bool TClassInfo::InheritsFrom(const TClassInfo& other) const
{
    for (const TClassInfo* c = this; c; c = c->Parent())
        if (c == &other)
            return true;
    return false;
}

std::vector<const TPropInfo*> TClassInfo::AllProps() const
{
    std::vector<const TClassInfo*> chain;
    for (const TClassInfo* c = this; c; c = c->Parent())
        chain.push_back(c);
    std::vector<const TPropInfo*> result;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const TPropInfo& p : (*it)->Props) {
            // A redeclared property replaces the base one in place.
            bool replaced = false;
            for (auto& existing : result)
                if (SameName(existing->Name, p.Name)) {
                    existing = &p;
                    replaced = true;
                    break;
                }
            if (!replaced)
                result.push_back(&p);
        }
    return result;
}

const TPropInfo* TClassInfo::FindProp(const std::string& name) const
{
    for (const TClassInfo* c = this; c; c = c->Parent())
        for (const TPropInfo& p : c->Props)
            if (SameName(p.Name, name))
                return &p;
    return nullptr;
}

const TMethodEntry* TClassInfo::FindMethod(const std::string& name) const
{
    for (const TClassInfo* c = this; c; c = c->Parent())
        for (const TMethodEntry& m : c->Methods)
            if (SameName(m.Name, name))
                return &m;
    return nullptr;
}

const TFieldEntry* TClassInfo::FindField(const std::string& name) const
{
    for (const TClassInfo* c = this; c; c = c->Parent())
        for (const TFieldEntry& f : c->Fields)
            if (SameName(f.Name, name))
                return &f;
    return nullptr;
}

// --- registry ---

void RegisterClass(const TClassInfo& info)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    r.classes[UpperKey(info.Name)] = &info;
}

void UnRegisterClass(const TClassInfo& info)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.classes.find(UpperKey(info.Name));
    if (it != r.classes.end() && it->second == &info)
        r.classes.erase(it);
}

const TClassInfo* GetClass(const std::string& name)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.classes.find(UpperKey(name));
    return it == r.classes.end() ? nullptr : it->second;
}

std::vector<const TClassInfo*> RegisteredClasses()
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    std::vector<const TClassInfo*> result;
    for (const auto& entry : r.classes)
        result.push_back(entry.second);
    return result;
}

const TClassInfo& FindClass(const std::string& name)
{
    const TClassInfo* c = GetClass(name);
    if (!c)
        throw EClassNotFound("Class " + name + " not found");
    return *c;
}

// --- type information of the built-in types ---

TTypeInfo MakeEnumTypeInfo(const char* name, std::initializer_list<const char*> names)
{
    TTypeInfo t;
    t.Kind = tkEnumeration;
    t.Name = name;
    t.MinValue = 0;
    t.MaxValue = static_cast<std::int64_t>(names.size()) - 1;
    t.OrdType = names.size() <= 256 ? otUByte : otUWord;
    for (const char* n : names)
        t.EnumNames.emplace_back(n);
    return t;
}

namespace detail {

const TTypeInfo& IntegerTypeInfo(TOrdType ot)
{
    static const std::array<TTypeInfo, 6> infos = [] {
        const std::int64_t ranges[6][2] = {
            {-128, 127},      {0, 255}, {-32768, 32767}, {0, 65535}, {-2147483648LL, 2147483647LL},
            {0, 4294967295LL}};
        const char* names[6] = {"ShortInt", "Byte", "SmallInt", "Word", "Integer", "Cardinal"};
        std::array<TTypeInfo, 6> a;
        for (int i = 0; i < 6; ++i) {
            a[i].Kind = tkInteger;
            a[i].OrdType = static_cast<TOrdType>(i);
            a[i].MinValue = ranges[i][0];
            a[i].MaxValue = ranges[i][1];
            a[i].Name = names[i];
        }
        return a;
    }();
    return infos[ot];
}

const TTypeInfo& BooleanTypeInfo()
{
    static const TTypeInfo info = [] {
        TTypeInfo t = MakeEnumTypeInfo("Boolean", {"False", "True"});
        return t;
    }();
    return info;
}

const TTypeInfo& CharTypeInfo()
{
    static const TTypeInfo info = [] {
        TTypeInfo t;
        t.Kind = tkChar;
        t.Name = "Char";
        t.OrdType = otUByte;
        t.MinValue = -128;  // char may be signed; both halves are accepted
        t.MaxValue = 255;
        return t;
    }();
    return info;
}

const TTypeInfo& Int64TypeInfo()
{
    static const TTypeInfo info = [] {
        TTypeInfo t;
        t.Kind = tkInt64;
        t.Name = "Int64";
        t.MinValue = std::numeric_limits<std::int64_t>::min();
        t.MaxValue = std::numeric_limits<std::int64_t>::max();
        return t;
    }();
    return info;
}

const TTypeInfo& FloatTypeInfo(TFloatType ft)
{
    static const TTypeInfo infos[5] = {
        [] {
            TTypeInfo t;
            t.Kind = tkFloat;
            t.Name = "Single";
            t.FloatType = ftSingle;
            return t;
        }(),
        [] {
            TTypeInfo t;
            t.Kind = tkFloat;
            t.Name = "Double";
            t.FloatType = ftDouble;
            return t;
        }(),
        [] {
            TTypeInfo t;
            t.Kind = tkFloat;
            t.Name = "Extended";
            t.FloatType = ftExtended;
            return t;
        }(),
        [] {
            TTypeInfo t;
            t.Kind = tkFloat;
            t.Name = "Comp";
            t.FloatType = ftComp;
            return t;
        }(),
        [] {
            TTypeInfo t;
            t.Kind = tkFloat;
            t.Name = "Currency";
            t.FloatType = ftCurr;
            return t;
        }(),
    };
    return infos[ft];
}

const TTypeInfo& StringTypeInfo()
{
    static const TTypeInfo info = [] {
        TTypeInfo t;
        t.Kind = tkLString;
        t.Name = "string";
        return t;
    }();
    return info;
}

const TTypeInfo& VariantTypeInfo()
{
    static const TTypeInfo info = [] {
        TTypeInfo t;
        t.Kind = tkVariant;
        t.Name = "Variant";
        return t;
    }();
    return info;
}

TTypeInfo MakeSetTypeInfo(const TTypeInfo& comp)
{
    TTypeInfo t;
    t.Kind = tkSet;
    t.Name = "set of " + comp.Name;
    t.CompType = &comp;
    t.OrdType = otULong;
    return t;
}

void ThrowOrdinalRange(const TTypeInfo& type, std::int64_t value)
{
    throw EPropertyError("Value " + std::to_string(value) + " out of range for " + type.Name);
}

}  // namespace detail

std::any BindPublishedMethod(TObject& data, const std::string& name, const std::type_info& signature)
{
    const TClassInfo* info = ClassInfoOf(data);
    const TMethodEntry* m = info ? info->FindMethod(name) : nullptr;
    if (!m)
        throw EPropertyError("Method " + name + " does not exist");
    if (*m->Signature != signature)
        throw EPropertyError("Method " + name + " has another signature than the event");
    return m->Bind(data);
}

// --- access ---

const TClassInfo* ClassInfoOf(const TObject& instance)
{
    auto* p = dynamic_cast<const TPersistent*>(&instance);
    return p ? &p->ClassInfo() : nullptr;
}

std::vector<const TPropInfo*> GetPropList(const TObject& instance)
{
    const TClassInfo* info = ClassInfoOf(instance);
    return info ? info->AllProps() : std::vector<const TPropInfo*>{};
}

const TPropInfo* GetPropInfo(const TObject& instance, const std::string& name)
{
    const TClassInfo* info = ClassInfoOf(instance);
    return info ? info->FindProp(name) : nullptr;
}

bool IsPublishedProp(const TObject& instance, const std::string& name)
{
    return GetPropInfo(instance, name) != nullptr;
}

TTypeKind PropType(const TObject& instance, const std::string& name)
{
    return NeedProp(instance, name).Kind();
}

std::int64_t GetOrdProp(TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetOrd)
        WrongKind(prop);
    return prop.GetOrd(instance);
}

void SetOrdProp(TObject& instance, const TPropInfo& prop, std::int64_t value)
{
    if (!prop.GetOrd)
        WrongKind(prop);
    if (!prop.SetOrd)
        ReadOnly(prop);
    prop.SetOrd(instance, value);
}

double GetFloatProp(TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetFloat)
        WrongKind(prop);
    return prop.GetFloat(instance);
}

void SetFloatProp(TObject& instance, const TPropInfo& prop, double value)
{
    if (!prop.GetFloat)
        WrongKind(prop);
    if (!prop.SetFloat)
        ReadOnly(prop);
    prop.SetFloat(instance, value);
}

std::string GetStrProp(TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetStr)
        WrongKind(prop);
    return prop.GetStr(instance);
}

void SetStrProp(TObject& instance, const TPropInfo& prop, const std::string& value)
{
    if (!prop.GetStr)
        WrongKind(prop);
    if (!prop.SetStr)
        ReadOnly(prop);
    prop.SetStr(instance, value);
}

std::int64_t GetInt64Prop(TObject& instance, const TPropInfo& prop) { return GetOrdProp(instance, prop); }

void SetInt64Prop(TObject& instance, const TPropInfo& prop, std::int64_t value)
{
    SetOrdProp(instance, prop, value);
}

Variant GetVariantProp(TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetVar)
        WrongKind(prop);
    return prop.GetVar(instance);
}

void SetVariantProp(TObject& instance, const TPropInfo& prop, const Variant& value)
{
    if (!prop.GetVar)
        WrongKind(prop);
    if (!prop.SetVar)
        ReadOnly(prop);
    prop.SetVar(instance, value);
}

TObject* GetObjectProp(TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetObj)
        WrongKind(prop);
    return prop.GetObj(instance);
}

void SetObjectProp(TObject& instance, const TPropInfo& prop, TObject* value)
{
    if (!prop.GetObj)
        WrongKind(prop);
    if (!prop.SetObj)
        ReadOnly(prop);
    prop.SetObj(instance, value);
}

TMethod GetMethodProp(TObject& instance, const TPropInfo& prop)
{
    if (!prop.GetMethod)
        WrongKind(prop);
    return prop.GetMethod(instance);
}

void SetMethodProp(TObject& instance, const TPropInfo& prop, const TMethod& value)
{
    if (!prop.GetMethod)
        WrongKind(prop);
    if (!prop.SetMethod)
        ReadOnly(prop);
    prop.SetMethod(instance, value);
}

std::int64_t GetOrdProp(TObject& i, const std::string& n) { return GetOrdProp(i, NeedProp(i, n)); }
void SetOrdProp(TObject& i, const std::string& n, std::int64_t v) { SetOrdProp(i, NeedProp(i, n), v); }
double GetFloatProp(TObject& i, const std::string& n) { return GetFloatProp(i, NeedProp(i, n)); }
void SetFloatProp(TObject& i, const std::string& n, double v) { SetFloatProp(i, NeedProp(i, n), v); }
std::string GetStrProp(TObject& i, const std::string& n) { return GetStrProp(i, NeedProp(i, n)); }
void SetStrProp(TObject& i, const std::string& n, const std::string& v) { SetStrProp(i, NeedProp(i, n), v); }
std::int64_t GetInt64Prop(TObject& i, const std::string& n) { return GetInt64Prop(i, NeedProp(i, n)); }
void SetInt64Prop(TObject& i, const std::string& n, std::int64_t v) { SetInt64Prop(i, NeedProp(i, n), v); }
Variant GetVariantProp(TObject& i, const std::string& n) { return GetVariantProp(i, NeedProp(i, n)); }
void SetVariantProp(TObject& i, const std::string& n, const Variant& v)
{
    SetVariantProp(i, NeedProp(i, n), v);
}
TObject* GetObjectProp(TObject& i, const std::string& n) { return GetObjectProp(i, NeedProp(i, n)); }
void SetObjectProp(TObject& i, const std::string& n, TObject* v) { SetObjectProp(i, NeedProp(i, n), v); }
TMethod GetMethodProp(TObject& i, const std::string& n) { return GetMethodProp(i, NeedProp(i, n)); }
void SetMethodProp(TObject& i, const std::string& n, const TMethod& v)
{
    SetMethodProp(i, NeedProp(i, n), v);
}

// --- enumerations and sets ---

std::string GetEnumName(const TTypeInfo& type, std::int64_t value)
{
    if (type.Kind == tkInteger || type.Kind == tkChar || type.Kind == tkInt64)
        return std::to_string(value);
    if (type.Kind != tkEnumeration || value < type.MinValue || value > type.MaxValue)
        return std::string();
    auto index = static_cast<std::size_t>(value - type.MinValue);
    return index < type.EnumNames.size() ? type.EnumNames[index] : std::string();
}

std::int64_t GetEnumValue(const TTypeInfo& type, const std::string& name)
{
    if (type.Kind == tkInteger) {
        std::int64_t v = 0;
        return ParseInt64(name, v) ? v : -1;
    }
    for (std::size_t i = 0; i < type.EnumNames.size(); ++i)
        if (SameName(type.EnumNames[i], name))
            return type.MinValue + static_cast<std::int64_t>(i);
    return -1;
}

std::string SetToString(const TTypeInfo& setType, std::uint32_t value, bool brackets)
{
    std::string result;
    const TTypeInfo& comp = *setType.CompType;
    for (unsigned bit = 0; bit < 32; ++bit) {
        if (!((value >> bit) & 1u))
            continue;
        if (!result.empty())
            result += ',';
        std::string n = GetEnumName(comp, bit);
        result += n.empty() ? std::to_string(bit) : n;
    }
    return brackets ? "[" + result + "]" : result;
}

std::uint32_t StringToSet(const TTypeInfo& setType, const std::string& text, bool ignoreUnknown)
{
    std::uint32_t result = 0;
    std::size_t i = 0;
    auto isSep = [](char c) { return c == ' ' || c == ',' || c == '[' || c == ']' || c == '\t'; };
    while (i < text.size()) {
        while (i < text.size() && isSep(text[i]))
            ++i;
        std::size_t start = i;
        while (i < text.size() && !isSep(text[i]))
            ++i;
        if (start == i)
            break;
        std::string word = text.substr(start, i - start);
        std::int64_t v = GetEnumValue(*setType.CompType, word);
        if (v < 0 || v > 31) {
            if (ignoreUnknown)
                continue;
            throw EPropertyError("Invalid property element: " + word);
        }
        result |= 1u << v;
    }
    return result;
}

// --- floats ---

int FloatDigits(TFloatType type)
{
    switch (type) {
    case ftSingle: return 7;
    case ftDouble: return 15;
    case ftExtended: return 18;
    case ftComp: return 18;
    case ftCurr: return 19;
    }
    return 15;
}

std::string FloatToText(double value, int digits)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";
    if (digits < 1)
        digits = 1;
    if (digits > 17)
        digits = 17;  // a double holds no more
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
    std::string s = buf;
    std::size_t ePos = s.find('e');
    int exponent = std::atoi(s.c_str() + ePos + 1);
    std::string mantissa = s.substr(0, ePos);
    bool negative = mantissa[0] == '-';
    if (negative)
        mantissa.erase(0, 1);
    std::string digitsOnly;
    for (char c : mantissa)
        if (c != '.')
            digitsOnly += c;
    while (digitsOnly.size() > 1 && digitsOnly.back() == '0')
        digitsOnly.pop_back();
    std::string out;
    if (exponent >= digits || exponent < -4) {
        out = digitsOnly.substr(0, 1);
        if (digitsOnly.size() > 1)
            out += "." + digitsOnly.substr(1);
        out += "E";
        if (exponent < 0)
            out += "-";
        out += std::to_string(exponent < 0 ? -exponent : exponent);
    } else if (exponent < 0) {
        out = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digitsOnly;
    } else {
        auto intLen = static_cast<std::size_t>(exponent + 1);
        if (digitsOnly.size() <= intLen) {
            out = digitsOnly + std::string(intLen - digitsOnly.size(), '0');
        } else {
            out = digitsOnly.substr(0, intLen) + "." + digitsOnly.substr(intLen);
        }
    }
    return negative ? "-" + out : out;
}

// --- text forms ---

std::string GetPropText(TObject& instance, const TPropInfo& prop)
{
    const TTypeInfo& type = *prop.PropType;
    switch (type.Kind) {
    case tkInteger:
    case tkInt64: return std::to_string(GetOrdProp(instance, prop));
    case tkChar: return std::string(1, static_cast<char>(GetOrdProp(instance, prop)));
    case tkEnumeration: return GetEnumName(type, GetOrdProp(instance, prop));
    case tkSet: return SetToString(type, static_cast<std::uint32_t>(GetOrdProp(instance, prop)));
    case tkFloat: return FloatToText(GetFloatProp(instance, prop), FloatDigits(type.FloatType));
    case tkString:
    case tkLString:
    case tkWString: return GetStrProp(instance, prop);
    case tkVariant: return VarToStr(GetVariantProp(instance, prop));
    case tkClass: {
        auto* c = dynamic_cast<TComponent*>(GetObjectProp(instance, prop));
        return c ? c->Name() : std::string();
    }
    case tkMethod: return GetMethodProp(instance, prop).Name;
    default: WrongKind(prop);
    }
}

void SetPropText(TObject& instance, const TPropInfo& prop, const std::string& value)
{
    const TTypeInfo& type = *prop.PropType;
    switch (type.Kind) {
    case tkInteger:
    case tkInt64: {
        std::int64_t v = 0;
        if (!ParseInt64(value, v))
            throw EConvertError("'" + value + "' is not a valid integer value");
        SetOrdProp(instance, prop, v);
        return;
    }
    case tkChar: SetOrdProp(instance, prop, value.empty() ? 0 : static_cast<unsigned char>(value[0])); return;
    case tkEnumeration: {
        std::int64_t v = GetEnumValue(type, value);
        if (v < 0)
            throw EPropertyError("Invalid property value: " + value);
        SetOrdProp(instance, prop, v);
        return;
    }
    case tkSet: SetOrdProp(instance, prop, StringToSet(type, value)); return;
    case tkFloat: {
        double d = 0;
        const char* b = value.data();
        const char* e = b + value.size();
        while (b < e && *b == ' ')
            ++b;
        while (e > b && e[-1] == ' ')
            --e;
        if (b < e && *b == '+')
            ++b;
        auto [ptr, ec] = std::from_chars(b, e, d);
        if (ec != std::errc() || ptr != e || b == e)
            throw EConvertError("'" + value + "' is not a valid floating point value");
        SetFloatProp(instance, prop, d);
        return;
    }
    case tkString:
    case tkLString:
    case tkWString: SetStrProp(instance, prop, value); return;
    case tkVariant: SetVariantProp(instance, prop, Variant(value)); return;
    case tkClass: {
        if (value.empty()) {
            SetObjectProp(instance, prop, nullptr);
            return;
        }
        // Look the name up where the form streaming would: the instance's owners.
        TComponent* found = nullptr;
        for (auto* c = dynamic_cast<TComponent*>(&instance); c && !found; c = c->Owner()) {
            if (c->Owner())
                found = c->Owner()->FindComponent(value);
            else if (SameName(c->Name(), value))
                found = c;
        }
        if (!found)
            throw EPropertyError("Component " + value + " not found");
        SetObjectProp(instance, prop, found);
        return;
    }
    case tkMethod: {
        TObject* root = &instance;
        for (auto* c = dynamic_cast<TComponent*>(&instance); c; c = c->Owner())
            root = c;
        SetMethodProp(instance, prop, value.empty() ? TMethod{} : TMethod{root, value});
        return;
    }
    default: WrongKind(prop);
    }
}

std::string GetPropValue(TObject& instance, const std::string& name)
{
    return GetPropText(instance, NeedProp(instance, name));
}

void SetPropValue(TObject& instance, const std::string& name, const std::string& value)
{
    SetPropText(instance, NeedProp(instance, name), value);
}

}  // namespace rtl
