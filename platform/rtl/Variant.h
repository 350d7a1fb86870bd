// A small tagged value for stored properties: empty, null, integer, 64-bit integer, float,
// string or Boolean, with the conversions between them.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

namespace rtl {

class EVariantError : public Exception {
public:
    explicit EVariantError(std::string message) : Exception(std::move(message)) {}
};
// "Could not convert variant of type (String) into type (Integer)"
class EVariantTypeCastError : public EVariantError {
public:
    explicit EVariantTypeCastError(std::string message) : EVariantError(std::move(message)) {}
};
// "Overflow while converting variant of type (Double) into type (Integer)"
class EVariantOverflowError : public EVariantError {
public:
    explicit EVariantOverflowError(std::string message) : EVariantError(std::move(message)) {}
};

enum TVarType { varEmpty, varNull, varInteger, varInt64, varDouble, varString, varBoolean };

// Conversions follow the platform's variants: Empty reads as 0, "" and False; Null converts to
// nothing (EVariantTypeCastError) except through VarToStr, which gives ""; True is -1 as a number
// and "True" as text; floats become integers by Round (ties to even); strings are parsed as
// integers, then floats, then "True"/"False". Out-of-range results raise EVariantOverflowError.
class Variant {
public:
    Variant() = default;
    Variant(std::int32_t v) : value_(v) {}
    Variant(std::int64_t v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(bool v) : value_(v) {}
    // Other integer types (long, size_t, short...) take the narrowest of the two that holds
    // the type; unsigned 64-bit values above the signed range wrap.
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, std::int32_t> &&
             !std::is_same_v<T, std::int64_t>) Variant(T v)
    {
        if constexpr (sizeof(T) < 4 || (sizeof(T) == 4 && std::is_signed_v<T>))
            value_ = static_cast<std::int32_t>(v);
        else
            value_ = static_cast<std::int64_t>(v);
    }
    Variant(float v) : value_(static_cast<double>(v)) {}
    Variant(std::string v) : value_(std::move(v)) {}
    Variant(const char* v) : value_(std::string(v ? v : "")) {}
    static Variant Null();

    TVarType VarType() const;
    // "Empty", "Null", "Integer", "Int64", "Double", "String", "Boolean".
    static const char* TypeName(TVarType type);
    bool IsEmpty() const { return VarType() == varEmpty; }
    bool IsNull() const { return VarType() == varNull; }
    void Clear() { value_ = std::monostate(); }

    std::int32_t AsInteger() const;
    std::int64_t AsInt64() const;
    double AsDouble() const;
    bool AsBoolean() const;
    std::string AsString() const;

    // Same type and same value; a Null equals only Null.
    bool operator==(const Variant& other) const;

private:
    struct NullTag {
        bool operator==(const NullTag&) const { return true; }
    };
    explicit Variant(NullTag tag) : value_(tag) {}
    [[noreturn]] void CastError(TVarType to) const;

    // Order matches TVarType.
    std::variant<std::monostate, NullTag, std::int32_t, std::int64_t, double, std::string, bool> value_;
};

// The text of a variant; "" for Empty and Null.
std::string VarToStr(const Variant& v);
// Empty or Null.
inline bool VarIsEmptyOrNull(const Variant& v) { return v.IsEmpty() || v.IsNull(); }

}  // namespace rtl
