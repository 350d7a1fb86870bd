// Conversions of the tagged Variant value.
#include "platform/rtl/Variant.h"

#include "platform/rtl/Numeric.h"
#include "platform/rtl/Strings.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace rtl {

namespace {

// "True" and "False" in any case, blanks around, as the numbers -1 and 0.
std::optional<std::int64_t> BooleanTextValue(const std::string& s)
{
    const std::string t = Trim(s);
    if (SameText(t, "True"))
        return -1;
    if (SameText(t, "False"))
        return 0;
    return std::nullopt;
}

// Rounds to Int64, reporting a value out of range as the variant's overflow.
std::int64_t RoundToInt64(double d, const char* fromType)
{
    try {
        return Round(d);
    } catch (const EInvalidOp&) {
        throw EVariantOverflowError(std::string("Overflow while converting variant of type (") + fromType +
                                    ") into type (Int64)");
    }
}

}  // namespace

Variant Variant::Null() { return Variant(NullTag{}); }

bool Variant::operator==(const Variant& other) const { return value_ == other.value_; }

TVarType Variant::VarType() const { return static_cast<TVarType>(value_.index()); }

const char* Variant::TypeName(TVarType type)
{
    switch (type) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varInteger: return "Integer";
    case varInt64: return "Int64";
    case varDouble: return "Double";
    case varString: return "String";
    case varBoolean: return "Boolean";
    }
    return "Unknown";
}

void Variant::CastError(TVarType to) const
{
    throw EVariantTypeCastError(std::string("Could not convert variant of type (") + TypeName(VarType()) +
                                ") into type (" + TypeName(to) + ")");
}

std::int64_t Variant::AsInt64() const
{
    switch (VarType()) {
    case varEmpty: return 0;
    case varInteger: return std::get<std::int32_t>(value_);
    case varInt64: return std::get<std::int64_t>(value_);
    case varBoolean: return std::get<bool>(value_) ? -1 : 0;
    case varDouble: return RoundToInt64(std::get<double>(value_), "Double");
    case varString: {
        const std::string& s = std::get<std::string>(value_);
        std::int64_t i;
        if (TryStrToInt64(s, i))
            return i;
        double d;
        if (TryStrToFloat(s, d))
            return RoundToInt64(d, "String");
        if (const auto b = BooleanTextValue(s))
            return *b;
        break;
    }
    case varNull: break;
    }
    CastError(varInt64);
}

std::int32_t Variant::AsInteger() const
{
    if (VarType() == varNull)
        CastError(varInteger);
    std::int64_t v;
    try {
        v = AsInt64();
    } catch (const EVariantTypeCastError&) {
        CastError(varInteger);
    }
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        throw EVariantOverflowError(std::string("Overflow while converting variant of type (") +
                                    TypeName(VarType()) + ") into type (Integer)");
    return static_cast<std::int32_t>(v);
}

double Variant::AsDouble() const
{
    switch (VarType()) {
    case varEmpty: return 0;
    case varInteger: return std::get<std::int32_t>(value_);
    case varInt64: return static_cast<double>(std::get<std::int64_t>(value_));
    case varDouble: return std::get<double>(value_);
    case varBoolean: return std::get<bool>(value_) ? -1 : 0;
    case varString: {
        const std::string& s = std::get<std::string>(value_);
        double d;
        if (TryStrToFloat(s, d))
            return d;
        std::int64_t i;
        if (TryStrToInt64(s, i))  // "$FF" is a number too
            return static_cast<double>(i);
        if (const auto b = BooleanTextValue(s))
            return static_cast<double>(*b);
        break;
    }
    case varNull: break;
    }
    CastError(varDouble);
}

bool Variant::AsBoolean() const
{
    switch (VarType()) {
    case varEmpty: return false;
    case varBoolean: return std::get<bool>(value_);
    case varInteger: return std::get<std::int32_t>(value_) != 0;
    case varInt64: return std::get<std::int64_t>(value_) != 0;
    case varDouble: return std::get<double>(value_) != 0;
    case varString: {
        bool b;
        if (TryStrToBool(std::get<std::string>(value_), b))
            return b;
        break;
    }
    case varNull: break;
    }
    CastError(varBoolean);
}

std::string Variant::AsString() const
{
    switch (VarType()) {
    case varEmpty: return {};
    case varInteger: return IntToStr(std::get<std::int32_t>(value_));
    case varInt64: return IntToStr(std::get<std::int64_t>(value_));
    case varDouble: return FloatToStr(std::get<double>(value_));
    case varBoolean: return BoolToStr(std::get<bool>(value_), true);
    case varString: return std::get<std::string>(value_);
    case varNull: break;
    }
    CastError(varString);
}

std::string VarToStr(const Variant& v) { return v.IsNull() ? std::string() : v.AsString(); }

}  // namespace rtl
