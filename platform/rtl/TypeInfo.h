// Published properties: type information, per-class property tables, the class registry.
//
// A class names itself and its published parent once, in RTL_DECLARE_CLASS, and lists what it
// publishes in Publish(), one row per property, in declaration order:
//
//   class TGauge : public TGraphicControl {
//       RTL_DECLARE_CLASS(TGauge, TGraphicControl)
//   public:
//       std::int32_t Progress() const { return progress_; }
//       void SetProgress(std::int32_t v) { rtl::SetAndNotify(progress_, v, this, &Self::Invalidate); }
//       TColor ForeColor = clBlack;  // no side effect: a plain data member
//       rtl::TNotifyEvent OnChange;
//   private:
//       std::int32_t progress_ = 0;
//   };
//
//   void TGauge::Publish(Table& t)
//   {
//       t.Property(RTL_GET_SET(Progress)).Default(0);
//       t.Property(RTL_MEMBER(ForeColor)).Type(ColorTypeInfo()).Default(clBlack);
//       t.Event(RTL_MEMBER(OnChange));
//       t.Creatable();
//   }
//
// A default is stated once, in its row; the test of the class registry creates every creatable
// class and checks each default against the fresh instance, so a member initialiser cannot drift
// from it. Enumerations get their member names with RTL_ENUM_INFO(TAlign, "alNone", ...) placed
// in the enumeration's own namespace.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Variant.h"

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace rtl {

class TPersistent;
class TComponent;
struct TClassInfo;

// Raised for unknown properties, values a property cannot take, and wrong kinds.
class EPropertyError : public Exception {
public:
    explicit EPropertyError(std::string message) : Exception(std::move(message)) {}
};

enum TTypeKind : std::uint8_t {
    tkUnknown,
    tkInteger,
    tkChar,
    tkEnumeration,
    tkFloat,
    tkString,
    tkSet,
    tkClass,
    tkMethod,
    tkWChar,
    tkLString,
    tkWString,
    tkVariant,
    tkArray,
    tkRecord,
    tkInterface,
    tkInt64,
    tkDynArray
};
enum TOrdType : std::uint8_t { otSByte, otUByte, otSWord, otUWord, otSLong, otULong };
enum TFloatType : std::uint8_t { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };

// Ordinal default meaning "always stored".
inline constexpr std::int64_t kNoDefault = std::numeric_limits<std::int64_t>::min();

struct TTypeInfo {
    TTypeKind Kind = tkUnknown;
    std::string Name;
    TOrdType OrdType = otSLong;  // integer, char, enumeration
    std::int64_t MinValue = 0;   // integer, char, enumeration, int64
    std::int64_t MaxValue = 0;
    std::vector<std::string> EnumNames;   // enumeration: name of MinValue + i
    const TTypeInfo* CompType = nullptr;  // set: the member enumeration
    TFloatType FloatType = ftDouble;
    bool IsDateTime = false;                       // float stored as a date
    const TClassInfo& (*ClassTypeFn)() = nullptr;  // class; null for classes without tables
    const std::type_info* Signature = nullptr;     // method: std::function type of the handler

    const TClassInfo* ClassType() const { return ClassTypeFn ? &ClassTypeFn() : nullptr; }
    bool IsOrdinal() const
    {
        return Kind == tkInteger || Kind == tkChar || Kind == tkEnumeration || Kind == tkSet;
    }
};

// A method reference as the property system sees it: the object and the published method's
// name. An event assigned from code with a lambda reports Data set and an empty Name.
struct TMethod {
    TObject* Data = nullptr;  // not owned
    std::string Name;
    bool Assigned() const { return Data != nullptr || !Name.empty(); }
};

struct TPropInfo {
    std::string Name;
    const TTypeInfo* PropType = nullptr;
    std::int64_t Default = kNoDefault;     // ordinal kinds only
    std::function<bool(TObject&)> Stored;  // empty: always stored
    // Only the pair matching the kind is set; a missing setter means read-only.
    std::function<std::int64_t(TObject&)> GetOrd;  // ordinals, sets, int64
    std::function<void(TObject&, std::int64_t)> SetOrd;
    std::function<double(TObject&)> GetFloat;
    std::function<void(TObject&, double)> SetFloat;
    std::function<std::string(TObject&)> GetStr;
    std::function<void(TObject&, const std::string&)> SetStr;
    std::function<Variant(TObject&)> GetVar;
    std::function<void(TObject&, const Variant&)> SetVar;
    std::function<TObject*(TObject&)> GetObj;
    std::function<void(TObject&, TObject*)> SetObj;
    std::function<TMethod(TObject&)> GetMethod;
    std::function<void(TObject&, const TMethod&)> SetMethod;

    TTypeKind Kind() const { return PropType->Kind; }
    bool Writable() const { return SetOrd || SetFloat || SetStr || SetVar || SetObj || SetMethod; }
    bool IsStored(TObject& instance) const { return !Stored || Stored(instance); }
};

// A published method of a form-like class: the reader binds "OnClick = Button1Click" by
// asking the root for Button1Click and handing the event a bound std::function.
struct TMethodEntry {
    std::string Name;
    const std::type_info* Signature = nullptr;
    std::function<std::any(TObject&)> Bind;
};

// A published field of a root: the reader points it at the component of the same name.
struct TFieldEntry {
    std::string Name;
    // Returns false when the component is not of the field's class.
    std::function<bool(TObject& root, TComponent* value)> Set;
};

struct TClassInfo {
    std::string Name;
    const TClassInfo& (*ParentFn)() = nullptr;
    std::vector<TPropInfo> Props;  // own properties, declaration order
    std::vector<TMethodEntry> Methods;
    std::vector<TFieldEntry> Fields;
    std::function<TComponent*(TComponent* owner)> CreateComponent;  // empty: not creatable
    // A fresh instance of a class with a default constructor (fonts, pens); empty for others.
    // What its published defaults describe, where an owner may have changed its own copy.
    std::function<TPersistent*()> CreateInstance;

    const TClassInfo* Parent() const { return ParentFn ? &ParentFn() : nullptr; }
    bool InheritsFrom(const TClassInfo& other) const;
    // Properties of the whole chain, base class first. Pointers stay valid for the program.
    std::vector<const TPropInfo*> AllProps() const;
    const TPropInfo* FindProp(const std::string& name) const;       // case-insensitive
    const TMethodEntry* FindMethod(const std::string& name) const;  // case-insensitive
    const TFieldEntry* FindField(const std::string& name) const;    // case-insensitive
};

// --- class registry: the form reader creates components by class name ---

void RegisterClass(const TClassInfo& info);  // registering twice is harmless
void UnRegisterClass(const TClassInfo& info);
const TClassInfo* GetClass(const std::string& name);  // nullptr when unknown
std::vector<const TClassInfo*> RegisteredClasses();   // ordered by name
// Raises EClassNotFound "Class X not found".
const TClassInfo& FindClass(const std::string& name);

class EClassNotFound : public Exception {
public:
    explicit EClassNotFound(std::string message) : Exception(std::move(message)) {}
};

// --- type information for C++ types ---

TTypeInfo MakeEnumTypeInfo(const char* name, std::initializer_list<const char*> names);

// Enumerations name their members with this macro, in the enumeration's namespace.
#define RTL_ENUM_INFO(Enum, ...)                                                            \
    inline const ::rtl::TTypeInfo& TypeInfoOfEnum(Enum*)                                    \
    {                                                                                       \
        static const ::rtl::TTypeInfo info = ::rtl::MakeEnumTypeInfo(#Enum, {__VA_ARGS__}); \
        return info;                                                                        \
    }

// Set of up to 32 members of an enumeration whose ordinals start at 0; bit n is ordinal n.
template <class E>
class TSet {
    static_assert(std::is_enum_v<E>);

public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members)
    {
        for (E m : members)
            Include(m);
    }
    static constexpr TSet FromBits(std::uint32_t bits)
    {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr std::uint32_t Bits() const { return bits_; }
    constexpr bool Contains(E m) const { return (bits_ >> Ord(m)) & 1u; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TSet& Include(E m)
    {
        bits_ |= 1u << Ord(m);
        return *this;
    }
    constexpr TSet& Exclude(E m)
    {
        bits_ &= ~(1u << Ord(m));
        return *this;
    }
    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
    friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }

private:
    static constexpr unsigned Ord(E m) { return static_cast<unsigned>(m) & 31u; }
    std::uint32_t bits_ = 0;
};

// An event: a method reference that remembers, when bound by name, which published method
// it is, so that forms can be written back. Calling an unassigned event does nothing (and
// returns a value-initialised result); Assigned() tells code that must know.
template <class Sig>
class TEvent;

template <class R, class... A>
class TEvent<R(A...)> {
public:
    using Function = std::function<R(A...)>;

    TEvent() = default;
    TEvent(std::nullptr_t) {}
    template <class F, class = std::enable_if_t<std::is_constructible_v<Function, F> &&
                                                !std::is_same_v<std::decay_t<F>, TEvent>>>
    TEvent(F&& f) : fn_(std::forward<F>(f))
    {
    }

    bool Assigned() const { return static_cast<bool>(fn_); }
    friend bool operator==(const TEvent& e, std::nullptr_t) { return !e.Assigned(); }
    // Same handler: bound to the same method of the same object.
    friend bool operator==(const TEvent& a, const TEvent& b)
    {
        return a.Assigned() == b.Assigned() && a.data_ == b.data_ && a.name_ == b.name_ &&
               (!a.Assigned() || !a.name_.empty());
    }

    R operator()(A... args) const
    {
        if (!fn_)
            return R();
        return fn_(std::forward<A>(args)...);
    }

    void Bind(TObject* data, std::string name, Function fn)
    {
        fn_ = std::move(fn);
        data_ = fn_ ? data : nullptr;
        name_ = fn_ ? std::move(name) : std::string();
    }
    TObject* Data() const { return data_; }
    const std::string& MethodName() const { return name_; }
    const Function& Target() const { return fn_; }

private:
    Function fn_;
    TObject* data_ = nullptr;  // not owned
    std::string name_;
};

using TNotifyEvent = TEvent<void(TObject* Sender)>;

// The body of a setter that stores the value and reports the change, and does nothing else:
//   void SetLayout(TTextLayout v) { rtl::SetAndNotify(layout_, v, this, &Self::Invalidate); }
// The report (a member function of `object`, or any callable) runs only when the value differs
// from the field's.
template <class T, class V, class F>
void SetAndNotify(T& field, V&& value, F&& changed)
{
    if (field == value)
        return;
    field = std::forward<V>(value);
    std::forward<F>(changed)();
}
template <class T, class V, class C, class M>
void SetAndNotify(T& field, V&& value, C* object, M changed)
{
    SetAndNotify(field, std::forward<V>(value), [object, changed] { (object->*changed)(); });
}

namespace detail {

template <class T>
struct IsSet : std::false_type {
};
template <class E>
struct IsSet<TSet<E>> : std::true_type {
    using Enum = E;
};
template <class T>
struct IsEvent : std::false_type {
};
template <class S>
struct IsEvent<TEvent<S>> : std::true_type {
};

template <class T, class = void>
struct HasClassInfo : std::false_type {
};
template <class T>
struct HasClassInfo<T, std::void_t<decltype(&T::StaticClassInfo)>> : std::true_type {
};

const TTypeInfo& IntegerTypeInfo(TOrdType ot);
const TTypeInfo& BooleanTypeInfo();
const TTypeInfo& CharTypeInfo();
const TTypeInfo& Int64TypeInfo();
const TTypeInfo& FloatTypeInfo(TFloatType ft);
const TTypeInfo& StringTypeInfo();
const TTypeInfo& VariantTypeInfo();
TTypeInfo MakeSetTypeInfo(const TTypeInfo& comp);
[[noreturn]] void ThrowOrdinalRange(const TTypeInfo& type, std::int64_t value);

// A double narrowed to a float type; values beyond its range become infinities instead of the
// undefined conversion.
template <class F>
F NarrowFloat(double v)
{
    if constexpr (std::is_same_v<F, float>) {
        if (v > static_cast<double>(std::numeric_limits<float>::max()))
            return std::numeric_limits<float>::infinity();
        if (v < -static_cast<double>(std::numeric_limits<float>::max()))
            return -std::numeric_limits<float>::infinity();
    }
    return static_cast<F>(v);
}

}  // namespace detail

// The type information of a C++ value type used by a property.
template <class T>
const TTypeInfo& TypeInfoOf()
{
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, bool>) {
        return detail::BooleanTypeInfo();
    } else if constexpr (std::is_same_v<U, char>) {
        return detail::CharTypeInfo();
    } else if constexpr (std::is_integral_v<U> && sizeof(U) == 8) {
        return detail::Int64TypeInfo();
    } else if constexpr (std::is_integral_v<U>) {
        using L = std::numeric_limits<U>;
        constexpr TOrdType ot = sizeof(U) == 1   ? (L::is_signed ? otSByte : otUByte)
                                : sizeof(U) == 2 ? (L::is_signed ? otSWord : otUWord)
                                                 : (L::is_signed ? otSLong : otULong);
        return detail::IntegerTypeInfo(ot);
    } else if constexpr (std::is_same_v<U, float>) {
        return detail::FloatTypeInfo(ftSingle);
    } else if constexpr (std::is_same_v<U, double>) {
        return detail::FloatTypeInfo(ftDouble);
    } else if constexpr (std::is_same_v<U, long double>) {
        return detail::FloatTypeInfo(ftExtended);
    } else if constexpr (std::is_same_v<U, std::string>) {
        return detail::StringTypeInfo();
    } else if constexpr (std::is_same_v<U, Variant>) {
        return detail::VariantTypeInfo();
    } else if constexpr (std::is_enum_v<U>) {
        return TypeInfoOfEnum(static_cast<U*>(nullptr));
    } else if constexpr (detail::IsSet<U>::value) {
        static const TTypeInfo info = detail::MakeSetTypeInfo(TypeInfoOf<typename detail::IsSet<U>::Enum>());
        return info;
    } else if constexpr (detail::IsEvent<U>::value) {
        static const TTypeInfo info = [] {
            TTypeInfo t;
            t.Kind = tkMethod;
            t.Name = "TMethod";
            t.Signature = &typeid(typename U::Function);
            return t;
        }();
        return info;
    } else if constexpr (std::is_pointer_v<U> && std::is_class_v<std::remove_pointer_t<U>>) {
        using C = std::remove_cv_t<std::remove_pointer_t<U>>;
        static_assert(std::is_base_of_v<TObject, C>, "class properties hold TObject descendants");
        static const TTypeInfo info = [] {
            TTypeInfo t;
            t.Kind = tkClass;
            t.Name = "TObject";
            if constexpr (detail::HasClassInfo<C>::value)
                t.ClassTypeFn = &C::StaticClassInfo;
            return t;
        }();
        return info;
    } else {
        static_assert(sizeof(U) == 0, "type cannot be published");
    }
}

// A row's name and accessors, spelled once. RTL_GET_SET(Caption) names the getter Caption()
// and the setter SetCaption(); RTL_MEMBER(X) names one member: a data member (read and written
// directly), an event, a read-only getter, a published field or a published method. Both are
// used inside the class's Publish(), where Self is the class.
#define RTL_GET_SET(Name) #Name, &Self::Name, &Self::Set##Name
#define RTL_MEMBER(Name) #Name, &Self::Name

// A root's published fields (the components the reader sets by name) and handler methods, each
// named once in a list that the class body and its table both expand:
//   #define TFORM2_COMPONENTS(X) X(win::TLabel, Label1) X(win::TTimer, Timer1)
//   #define TFORM2_HANDLERS(X) X(Timer1Timer, rtl::TObject* Sender)
//   class TForm2 : public win::TForm { ... TFORM2_COMPONENTS(RTL_DECLARE_FIELD) ... };
//   void TForm2::Publish(Table& t) { TFORM2_COMPONENTS(RTL_PUBLISH_FIELD) ... }
// Handlers return nothing.
#define RTL_DECLARE_FIELD(Type, Name) Type* Name = nullptr;
#define RTL_DECLARE_METHOD(Name, ...) void Name(__VA_ARGS__);
#define RTL_PUBLISH_FIELD(Type, Name) t.Field(RTL_MEMBER(Name));
#define RTL_PUBLISH_METHOD(Name, ...) t.Method(RTL_MEMBER(Name));

// Builds the table of one class. C is the class, Base its published parent (void for the
// root of the tree). Each Property/Event/Method call appends in declaration order;
// Type, Default and Stored modify the property added last.
template <class C, class Base = void>
class TClassBuilder {
public:
    explicit TClassBuilder(std::string name)
    {
        info_.Name = std::move(name);
        if constexpr (!std::is_void_v<Base>)
            info_.ParentFn = &Base::StaticClassInfo;
        if constexpr (std::is_default_constructible_v<C> && !std::is_abstract_v<C>)
            info_.CreateInstance = []() -> TPersistent* { return new C(); };
    }

    // The table of class `name`, filled in by its Publish function.
    static TClassInfo Make(std::string name, void (*publish)(TClassBuilder&))
    {
        TClassBuilder table(std::move(name));
        publish(table);
        return std::move(table.info_);
    }

    template <class G, class S>
    TClassBuilder& Property(std::string name, G getter, S setter)
    {
        using T = std::decay_t<std::invoke_result_t<G, C&>>;
        TPropInfo p;
        p.Name = std::move(name);
        p.PropType = &TypeInfoOf<T>();
        AddAccessors<T>(p, getter, setter);
        info_.Props.push_back(std::move(p));
        return *this;
    }
    // A data member is read and written directly; a getter alone makes the property read-only.
    template <class G>
    TClassBuilder& Property(std::string name, G getter)
    {
        if constexpr (std::is_member_object_pointer_v<G>)
            return Property(std::move(name), getter, getter);
        else
            return Property(std::move(name), getter, nullptr);
    }
    // Events are data members of type TEvent<...>.
    template <class Sig>
    TClassBuilder& Event(std::string name, TEvent<Sig> C::*member)
    {
        return Property(std::move(name), member, member);
    }
    template <class V>
    TClassBuilder& Default(V value)
    {
        info_.Props.back().Default = ToOrd(value);
        return *this;
    }
    // Gives the property added last a named type of the same kind, e.g. an integer type
    // with identifiers of its own ("TColor").
    TClassBuilder& Type(const TTypeInfo& type)
    {
        TPropInfo& p = info_.Props.back();
        if (type.Kind != p.PropType->Kind)
            throw EPropertyError("Type " + type.Name + " does not fit property " + p.Name);
        p.PropType = &type;
        return *this;
    }
    template <class P>
    TClassBuilder& Stored(P predicate)
    {
        if constexpr (std::is_same_v<P, bool>) {
            info_.Props.back().Stored = [predicate](TObject&) { return predicate; };
        } else {
            info_.Props.back().Stored = [predicate](TObject& o) {
                return std::invoke(predicate, static_cast<C&>(o));
            };
        }
        return *this;
    }
    // A handler the reader can bind by name, e.g. Method("Button1Click", &TForm2::Button1Click).
    template <class R, class... A>
    TClassBuilder& Method(std::string name, R (C::*fn)(A...))
    {
        TMethodEntry m;
        m.Name = std::move(name);
        m.Signature = &typeid(std::function<R(A...)>);
        m.Bind = [fn](TObject& self) -> std::any {
            C* target = &static_cast<C&>(self);
            return std::function<R(A...)>(
                [target, fn](A... args) -> R { return (target->*fn)(std::forward<A>(args)...); });
        };
        info_.Methods.push_back(std::move(m));
        return *this;
    }
    // A component field the reader sets when it creates the component of that name.
    template <class T>
    TClassBuilder& Field(std::string name, T* C::*member)
    {
        TFieldEntry f;
        f.Name = std::move(name);
        f.Set = [member](TObject& root, TComponent* value) {
            T* typed = nullptr;
            if (value) {
                typed = dynamic_cast<T*>(value);
                if (!typed)
                    return false;
            }
            static_cast<C&>(root).*member = typed;
            return true;
        };
        info_.Fields.push_back(std::move(f));
        return *this;
    }
    // The class can be created by name with an owner (components only).
    TClassBuilder& Creatable()
    {
        info_.CreateComponent = [](TComponent* owner) -> TComponent* { return new C(owner); };
        return *this;
    }

private:
    template <class V>
    static std::int64_t ToOrd(V value)
    {
        if constexpr (detail::IsSet<V>::value)
            return value.Bits();
        else
            return static_cast<std::int64_t>(value);
    }

    template <class T, class G>
    static T Get(G getter, TObject& o)
    {
        return std::invoke(getter, static_cast<C&>(o));
    }
    template <class T, class S>
    static void Set(S setter, TObject& o, T value)
    {
        if constexpr (std::is_member_object_pointer_v<S>)
            static_cast<C&>(o).*setter = std::move(value);
        else
            std::invoke(setter, static_cast<C&>(o), std::move(value));
    }

    template <class T, class G, class S>
    static void AddAccessors(TPropInfo& p, G getter, S setter)
    {
        constexpr bool hasSetter = !std::is_same_v<S, std::nullptr_t>;
        const TTypeInfo* type = p.PropType;
        if constexpr (detail::IsSet<T>::value) {
            p.GetOrd = [getter](TObject& o) { return static_cast<std::int64_t>(Get<T>(getter, o).Bits()); };
            if constexpr (hasSetter)
                p.SetOrd = [setter, type](TObject& o, std::int64_t v) {
                    std::uint64_t limit = type->CompType->MaxValue >= 31
                                              ? 0xFFFFFFFFull
                                              : (2ull << type->CompType->MaxValue) - 1;
                    if (v < 0 || static_cast<std::uint64_t>(v) > limit)
                        detail::ThrowOrdinalRange(*type, v);
                    Set<T>(setter, o, T::FromBits(static_cast<std::uint32_t>(v)));
                };
        } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
            p.GetOrd = [getter](TObject& o) { return static_cast<std::int64_t>(Get<T>(getter, o)); };
            if constexpr (hasSetter && (std::is_enum_v<T> || std::is_same_v<T, bool>)) {
                p.SetOrd = [setter, type](TObject& o, std::int64_t v) {
                    if (v < type->MinValue || v > type->MaxValue)
                        detail::ThrowOrdinalRange(*type, v);
                    Set<T>(setter, o, static_cast<T>(v));
                };
            } else if constexpr (hasSetter) {
                // Integers narrower than the value wrap, as a typed store would.
                p.SetOrd = [setter](TObject& o, std::int64_t v) { Set<T>(setter, o, static_cast<T>(v)); };
            }
        } else if constexpr (std::is_floating_point_v<T>) {
            p.GetFloat = [getter](TObject& o) { return static_cast<double>(Get<T>(getter, o)); };
            if constexpr (hasSetter)
                p.SetFloat = [setter](TObject& o, double v) { Set<T>(setter, o, detail::NarrowFloat<T>(v)); };
        } else if constexpr (std::is_same_v<T, std::string>) {
            p.GetStr = [getter](TObject& o) { return Get<T>(getter, o); };
            if constexpr (hasSetter)
                p.SetStr = [setter](TObject& o, const std::string& v) { Set<T>(setter, o, v); };
        } else if constexpr (std::is_same_v<T, Variant>) {
            p.GetVar = [getter](TObject& o) { return Get<T>(getter, o); };
            if constexpr (hasSetter)
                p.SetVar = [setter](TObject& o, const Variant& v) { Set<T>(setter, o, v); };
        } else if constexpr (detail::IsEvent<T>::value) {
            p.GetMethod = [getter](TObject& o) {
                const T& e = std::invoke(getter, static_cast<C&>(o));
                return TMethod{e.Data(), e.MethodName()};
            };
            if constexpr (hasSetter)
                p.SetMethod = [setter](TObject& o, const TMethod& m) {
                    T e;
                    if (m.Data && !m.Name.empty())
                        e.Bind(m.Data, m.Name, ResolveMethod<typename T::Function>(*m.Data, m.Name));
                    Set<T>(setter, o, std::move(e));
                };
        } else if constexpr (std::is_pointer_v<T>) {
            using P = std::remove_pointer_t<T>;
            p.GetObj = [getter](TObject& o) -> TObject* { return Get<T>(getter, o); };
            if constexpr (hasSetter)
                p.SetObj = [setter](TObject& o, TObject* v) {
                    P* typed = nullptr;
                    if (v) {
                        typed = dynamic_cast<P*>(v);
                        if (!typed)
                            throw EPropertyError("Invalid property value");
                    }
                    Set<T>(setter, o, typed);
                };
        }
    }

    template <class F>
    static F ResolveMethod(TObject& data, const std::string& name);

    TClassInfo info_;
};

// The published method `name` of `data`, as the handler type F. Raises EPropertyError when
// the object publishes no such method or its signature differs.
std::any BindPublishedMethod(TObject& data, const std::string& name, const std::type_info& signature);

template <class C, class Base>
template <class F>
F TClassBuilder<C, Base>::ResolveMethod(TObject& data, const std::string& name)
{
    return std::any_cast<F>(BindPublishedMethod(data, name, typeid(F)));
}

// --- access by name (EPropertyError "Property X does not exist" when unknown) ---

// Class table of an instance; nullptr for objects without one (plain TObjects).
const TClassInfo* ClassInfoOf(const TObject& instance);
std::vector<const TPropInfo*> GetPropList(const TObject& instance);
const TPropInfo* GetPropInfo(const TObject& instance, const std::string& name);  // nullptr when absent
bool IsPublishedProp(const TObject& instance, const std::string& name);
TTypeKind PropType(const TObject& instance, const std::string& name);

std::int64_t GetOrdProp(TObject& instance, const TPropInfo& prop);
void SetOrdProp(TObject& instance, const TPropInfo& prop, std::int64_t value);
double GetFloatProp(TObject& instance, const TPropInfo& prop);
void SetFloatProp(TObject& instance, const TPropInfo& prop, double value);
std::string GetStrProp(TObject& instance, const TPropInfo& prop);
void SetStrProp(TObject& instance, const TPropInfo& prop, const std::string& value);
std::int64_t GetInt64Prop(TObject& instance, const TPropInfo& prop);
void SetInt64Prop(TObject& instance, const TPropInfo& prop, std::int64_t value);
Variant GetVariantProp(TObject& instance, const TPropInfo& prop);
void SetVariantProp(TObject& instance, const TPropInfo& prop, const Variant& value);
TObject* GetObjectProp(TObject& instance, const TPropInfo& prop);
void SetObjectProp(TObject& instance, const TPropInfo& prop, TObject* value);
TMethod GetMethodProp(TObject& instance, const TPropInfo& prop);
void SetMethodProp(TObject& instance, const TPropInfo& prop, const TMethod& value);

std::int64_t GetOrdProp(TObject& instance, const std::string& name);
void SetOrdProp(TObject& instance, const std::string& name, std::int64_t value);
double GetFloatProp(TObject& instance, const std::string& name);
void SetFloatProp(TObject& instance, const std::string& name, double value);
std::string GetStrProp(TObject& instance, const std::string& name);
void SetStrProp(TObject& instance, const std::string& name, const std::string& value);
std::int64_t GetInt64Prop(TObject& instance, const std::string& name);
void SetInt64Prop(TObject& instance, const std::string& name, std::int64_t value);
Variant GetVariantProp(TObject& instance, const std::string& name);
void SetVariantProp(TObject& instance, const std::string& name, const Variant& value);
TObject* GetObjectProp(TObject& instance, const std::string& name);
void SetObjectProp(TObject& instance, const std::string& name, TObject* value);
TMethod GetMethodProp(TObject& instance, const std::string& name);
void SetMethodProp(TObject& instance, const std::string& name, const TMethod& value);

// Text forms: integers in decimal, characters as themselves, enumerations by name, floats in
// general format ("." separator, 7/15/18/18/19 digits by float type), sets as "[a,b]",
// components by name ("" for nil), methods by name. Setting parses the same forms; an
// enumeration name matches without regard to case.
std::string GetPropValue(TObject& instance, const std::string& name);
void SetPropValue(TObject& instance, const std::string& name, const std::string& value);
std::string GetPropText(TObject& instance, const TPropInfo& prop);
void SetPropText(TObject& instance, const TPropInfo& prop, const std::string& value);

// Enumeration names; GetEnumName of an ordinal out of range is "", GetEnumValue of an unknown
// name is -1.
std::string GetEnumName(const TTypeInfo& type, std::int64_t value);
std::int64_t GetEnumValue(const TTypeInfo& type, const std::string& name);
// "[a,b]" for set types; StringToSet accepts words separated by blanks, commas or brackets and
// raises EPropertyError for an unknown member name unless told to skip it.
std::string SetToString(const TTypeInfo& setType, std::uint32_t value, bool brackets = true);
std::uint32_t StringToSet(const TTypeInfo& setType, const std::string& text, bool ignoreUnknown = false);

// Floats in general format with `digits` significant digits and "." as separator.
std::string FloatToText(double value, int digits);
int FloatDigits(TFloatType type);

}  // namespace rtl
