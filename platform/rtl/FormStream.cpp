// Binary form streams: value encoding, the component reader with fixups, and the writer.
#include "platform/rtl/FormStream.h"

#include "platform/rtl/Collections.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>

namespace rtl {

namespace {

struct IntegerConsts {
    TIdentToInt identToInt;
    TIntToIdent intToIdent;
};

struct StreamRegistry {
    std::mutex lock;
    std::map<const TTypeInfo*, IntegerConsts> integerConsts;
    std::vector<TObjectDefiner> definers;
};

StreamRegistry& TheStreamRegistry()
{
    static StreamRegistry registry;
    return registry;
}

std::vector<TObjectDefiner> Definers()
{
    StreamRegistry& r = TheStreamRegistry();
    std::lock_guard guard(r.lock);
    return r.definers;
}

// String lists stream their lines as the list property "Strings".
void DefineStrings(TObject& instance, TFiler& filer)
{
    auto* strings = dynamic_cast<TStrings*>(&instance);
    if (!strings)
        return;
    filer.DefineProperty(
        "Strings",
        [strings](TReader& reader) {
            strings->BeginUpdate();
            try {
                strings->Clear();
                reader.ReadListBegin();
                while (!reader.EndOfList())
                    strings->Add(reader.ReadString());
                reader.ReadListEnd();
            } catch (...) {
                strings->EndUpdate();
                throw;
            }
            strings->EndUpdate();
        },
        [strings](TWriter& writer) {
            writer.WriteListBegin();
            for (std::int32_t i = 0; i < strings->Count(); ++i)
                writer.WriteString(strings->Strings(i));
            writer.WriteListEnd();
        },
        strings->Count() > 0);
}

// 8-bit text from the wide and UTF-8 string values: code points above 255 become "?".
std::string NarrowCodePoints(const std::vector<std::uint32_t>& cps)
{
    std::string out;
    out.reserve(cps.size());
    for (std::uint32_t cp : cps)
        out += cp < 256 ? static_cast<char>(cp) : '?';
    return out;
}

std::string Utf8ToAnsi(const std::string& s)
{
    std::vector<std::uint32_t> cps;
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
            cps.push_back('?');
            ++i;
            continue;
        }
        std::uint32_t cp = extra == 0 ? c : (c & (0x3Fu >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) {
            cps.push_back('?');
            ++i;
            continue;
        }
        cps.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return NarrowCodePoints(cps);
}

}  // namespace

void RegisterIntegerConsts(const TTypeInfo& type, TIdentToInt identToInt, TIntToIdent intToIdent)
{
    StreamRegistry& r = TheStreamRegistry();
    std::lock_guard guard(r.lock);
    r.integerConsts[&type] = IntegerConsts{std::move(identToInt), std::move(intToIdent)};
}

const TIdentToInt* FindIdentToInt(const TTypeInfo& type)
{
    StreamRegistry& r = TheStreamRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.integerConsts.find(&type);
    return it == r.integerConsts.end() || !it->second.identToInt ? nullptr : &it->second.identToInt;
}

const TIntToIdent* FindIntToIdent(const TTypeInfo& type)
{
    StreamRegistry& r = TheStreamRegistry();
    std::lock_guard guard(r.lock);
    auto it = r.integerConsts.find(&type);
    return it == r.integerConsts.end() || !it->second.intToIdent ? nullptr : &it->second.intToIdent;
}

void RegisterObjectDefiner(TObjectDefiner definer)
{
    StreamRegistry& r = TheStreamRegistry();
    std::lock_guard guard(r.lock);
    r.definers.push_back(std::move(definer));
}

// --- 80-bit extended floats ---

void DoubleToExtended(double value, std::uint8_t out[10])
{
    std::memset(out, 0, 10);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    bool negative = bits >> 63;
    int exponent = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t fraction = bits & 0xFFFFFFFFFFFFFull;
    std::uint64_t mantissa = 0;
    int extExponent = 0;
    if (exponent == 0 && fraction == 0) {
        // zero keeps exponent and mantissa 0
    } else if (exponent == 0x7FF) {
        extExponent = 0x7FFF;
        mantissa = 0x8000000000000000ull | (fraction << 11);
    } else if (exponent == 0) {
        // Subnormal double: normalise into the wider exponent range.
        int shift = 0;
        while (!(fraction & (1ull << 52))) {
            fraction <<= 1;
            ++shift;
        }
        extExponent = 1 - 1023 - shift + 16383;
        mantissa = fraction << 11;
    } else {
        extExponent = exponent - 1023 + 16383;
        mantissa = 0x8000000000000000ull | (fraction << 11);
    }
    StoreLE64(out, mantissa);
    StoreLE16(out + 8, static_cast<std::uint16_t>(extExponent | (negative ? 0x8000 : 0)));
}

double ExtendedToDouble(const std::uint8_t in[10])
{
    const std::uint64_t mantissa = LoadLE64(in);
    const int se = LoadLE16(in + 8);
    bool negative = se & 0x8000;
    int exponent = se & 0x7FFF;
    double result;
    if (exponent == 0x7FFF) {
        result = (mantissa << 1) == 0 ? HUGE_VAL : std::nan("");
    } else if (mantissa == 0) {
        result = 0.0;
    } else {
        // ldexp rounds and saturates to infinity or zero for values a double cannot hold.
        result = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    }
    return negative ? -result : result;
}

// --- TReader ---

struct TReader::Fixup {
    TObject* instance;
    const TPropInfo* prop;
    std::string name;
    std::string context;
    TPersistent* holder;  // the component or collection item whose property list named it
};

class TReader::DepthGuard {
public:
    explicit DepthGuard(TReader& reader) : reader_(reader)
    {
        if (++reader_.depth_ > kMaxFormNesting) {
            --reader_.depth_;
            reader_.Fail("nesting deeper than " + std::to_string(kMaxFormNesting) + " levels");
        }
    }
    ~DepthGuard() { --reader_.depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    TReader& reader_;
};

TReader::TReader(TStream& stream) : TFiler(stream) {}

TReader::~TReader() = default;

void TReader::Fail(const std::string& message)
{
    std::int64_t at = stream_.Position();
    throw EReadError(message + " at offset " + std::to_string(at));
}

std::int64_t TReader::Remaining()
{
    std::int64_t left = stream_.Size() - stream_.Position();
    return left < 0 ? 0 : left;
}

void TReader::ReadBytes(void* buffer, std::int64_t count)
{
    if (count < 0 || count > Remaining())
        Fail("form stream ends inside a value");
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        auto chunk = static_cast<std::int32_t>(std::min<std::int64_t>(count, 1 << 30));
        if (stream_.Read(p, chunk) != chunk)
            Fail("form stream ends inside a value");
        p += chunk;
        count -= chunk;
    }
}

void TReader::SkipBytes(std::int64_t count)
{
    if (count < 0 || count > Remaining())
        Fail("form stream ends inside a value");
    stream_.Seek(count, soCurrent);
}

std::uint8_t TReader::ReadByte()
{
    std::uint8_t b = 0;
    ReadBytes(&b, 1);
    return b;
}

void TReader::ReadSignature()
{
    char sig[4] = {};
    if (Remaining() < 4)
        throw EReadError("Invalid stream format");
    ReadBytes(sig, 4);
    if (std::memcmp(sig, kFormSignature, 4) != 0)
        throw EReadError("Invalid stream format");
}

void TReader::ReadPrefix(TFilerFlags& flags, std::int32_t& childPos)
{
    flags = TFilerFlags();
    childPos = -1;
    if (Remaining() > 0 && (static_cast<std::uint8_t>(NextValue()) & 0xF0) == 0xF0) {
        std::uint8_t prefix = ReadByte();
        if (prefix & 0x08)
            Fail("invalid component prefix");
        flags = TFilerFlags::FromBits(prefix & 0x07u);
        if (flags.Contains(ffChildPos))
            childPos = ReadInteger();
    }
}

TValueType TReader::ReadValue()
{
    std::uint8_t b = ReadByte();
    if (b > kLastValueType)
        Fail("unknown value tag " + std::to_string(b));
    return static_cast<TValueType>(b);
}

TValueType TReader::NextValue()
{
    std::uint8_t b = ReadByte();
    stream_.Seek(-1, soCurrent);
    return static_cast<TValueType>(b);
}

bool TReader::EndOfList() { return NextValue() == vaNull; }

void TReader::ReadListBegin() { CheckValue(vaList); }

void TReader::ReadListEnd() { CheckValue(vaNull); }

void TReader::CheckValue(TValueType expected)
{
    if (ReadValue() != expected) {
        stream_.Seek(-1, soCurrent);
        Fail("Invalid property value");
    }
}

std::int32_t TReader::ReadInteger()
{
    TValueType t = ReadValue();
    std::uint8_t b[4] = {};
    switch (t) {
    case vaInt8: ReadBytes(b, 1); return static_cast<std::int8_t>(b[0]);
    case vaInt16: ReadBytes(b, 2); return static_cast<std::int16_t>(LoadLE16(b));
    case vaInt32: ReadBytes(b, 4); return static_cast<std::int32_t>(LoadLE32(b));
    default: stream_.Seek(-1, soCurrent); Fail("Invalid property value");
    }
}

std::int64_t TReader::ReadInt64()
{
    if (NextValue() != vaInt64)
        return ReadInteger();
    ReadValue();
    std::uint8_t b[8];
    ReadBytes(b, 8);
    return static_cast<std::int64_t>(LoadLE64(b));
}

bool TReader::ReadBoolean()
{
    TValueType t = ReadValue();
    if (t == vaTrue)
        return true;
    if (t == vaFalse)
        return false;
    stream_.Seek(-1, soCurrent);
    Fail("Invalid property value");
}

char TReader::ReadChar()
{
    std::string s = ReadString();
    if (s.size() != 1)
        Fail("Invalid property value");
    return s[0];
}

double TReader::ReadFloat()
{
    TValueType t = ReadValue();
    switch (t) {
    case vaExtended: {
        std::uint8_t b[10];
        ReadBytes(b, 10);
        return ExtendedToDouble(b);
    }
    case vaSingle: {
        std::uint8_t b[4];
        ReadBytes(b, 4);
        std::uint32_t bits = LoadLE32(b);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    case vaCurrency:
    case vaDate: {
        std::uint8_t b[8];
        ReadBytes(b, 8);
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= static_cast<std::uint64_t>(b[i]) << (8 * i);
        if (t == vaCurrency)  // 64-bit integer scaled by 10000
            return static_cast<double>(static_cast<std::int64_t>(bits)) / 10000.0;
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    default: stream_.Seek(-1, soCurrent); return static_cast<double>(ReadInt64());
    }
}

std::string TReader::ReadStr()
{
    std::uint8_t len = ReadByte();
    std::string s(len, '\0');
    ReadBytes(s.data(), len);
    return s;
}

std::string TReader::ReadString()
{
    TValueType t = ReadValue();
    std::uint32_t len = 0;
    switch (t) {
    case vaString: len = ReadByte(); break;
    case vaLString:
    case vaWString:
    case vaUTF8String: {
        std::uint8_t b[4];
        ReadBytes(b, 4);
        len = LoadLE32(b);
        break;
    }
    default: stream_.Seek(-1, soCurrent); Fail("Invalid property value");
    }
    std::uint64_t bytes = t == vaWString ? std::uint64_t{len} * 2 : len;
    if (bytes > static_cast<std::uint64_t>(Remaining()))
        Fail("string length " + std::to_string(len) + " exceeds the form stream");
    std::string raw(static_cast<std::size_t>(bytes), '\0');
    ReadBytes(raw.data(), static_cast<std::int64_t>(bytes));
    if (t == vaWString) {
        std::vector<std::uint32_t> cps;
        cps.reserve(len);
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
            cps.push_back(LoadLE16(raw.data() + i));
        return NarrowCodePoints(cps);
    }
    if (t == vaUTF8String)
        return Utf8ToAnsi(raw);
    return raw;
}

std::string TReader::ReadIdent()
{
    TValueType t = ReadValue();
    switch (t) {
    case vaIdent: return ReadStr();
    case vaFalse: return "False";
    case vaTrue: return "True";
    case vaNil: return "nil";
    case vaNull: return "Null";
    default: stream_.Seek(-1, soCurrent); Fail("Invalid property value");
    }
}

Variant TReader::ReadVariant()
{
    switch (NextValue()) {
    case vaNil: ReadValue(); return Variant();
    case vaNull: ReadValue(); return Variant::Null();
    case vaInt8:
    case vaInt16:
    case vaInt32: return Variant(ReadInteger());
    case vaInt64: return Variant(ReadInt64());
    case vaFalse:
    case vaTrue: return Variant(ReadBoolean());
    case vaExtended:
    case vaSingle:
    case vaCurrency:
    case vaDate: return Variant(ReadFloat());
    case vaString:
    case vaLString:
    case vaWString:
    case vaUTF8String: return Variant(ReadString());
    default: Fail("Invalid property value");
    }
}

std::string TReader::ReadBinaryData()
{
    CheckValue(vaBinary);
    std::uint8_t b[4];
    ReadBytes(b, 4);
    std::uint32_t count = LoadLE32(b);
    if (count > static_cast<std::uint64_t>(Remaining()))
        Fail("binary value of " + std::to_string(count) + " bytes exceeds the form stream");
    std::string bytes(count, '\0');
    ReadBytes(bytes.data(), count);
    return bytes;
}

void TReader::SkipValue()
{
    DepthGuard guard(*this);
    TValueType t = ReadValue();
    switch (t) {
    case vaNull:
    case vaFalse:
    case vaTrue:
    case vaNil: return;
    case vaList:
        while (!EndOfList())
            SkipValue();
        ReadListEnd();
        return;
    case vaInt8: SkipBytes(1); return;
    case vaInt16: SkipBytes(2); return;
    case vaInt32: SkipBytes(4); return;
    case vaExtended: SkipBytes(10); return;
    case vaSingle: SkipBytes(4); return;
    case vaCurrency:
    case vaDate:
    case vaInt64: SkipBytes(8); return;
    case vaString:
    case vaIdent: SkipBytes(ReadByte()); return;
    case vaLString:
    case vaWString:
    case vaUTF8String:
    case vaBinary: {
        std::uint8_t b[4];
        ReadBytes(b, 4);
        std::uint64_t len = LoadLE32(b);
        if (t == vaWString)
            len *= 2;
        if (len > static_cast<std::uint64_t>(Remaining()))
            Fail("value length " + std::to_string(len) + " exceeds the form stream");
        SkipBytes(static_cast<std::int64_t>(len));
        return;
    }
    case vaSet:
        while (!ReadStr().empty()) {
        }
        return;
    case vaCollection:
        while (!EndOfList()) {
            if (NextValue() == vaInt8 || NextValue() == vaInt16 || NextValue() == vaInt32)
                ReadInteger();
            ReadListBegin();
            while (!EndOfList()) {
                ReadStr();
                SkipValue();
            }
            ReadListEnd();
        }
        ReadListEnd();
        return;
    }
}

void TReader::DefineProperty(const std::string& name, TReaderProc readData, TWriterProc, bool)
{
    if (propHandled_ || !readData || !SameText(name, propName_))
        return;
    propHandled_ = true;
    readData(*this);
}

void TReader::DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc, bool)
{
    if (propHandled_ || !readData || !SameText(name, propName_))
        return;
    propHandled_ = true;
    CheckValue(vaBinary);
    std::uint8_t b[4];
    ReadBytes(b, 4);
    std::uint32_t count = LoadLE32(b);
    if (count > static_cast<std::uint64_t>(Remaining()))
        Fail("binary value of " + std::to_string(count) + " bytes exceeds the form stream");
    TMemoryStream data;
    data.SetSize(count);
    if (count > 0)
        ReadBytes(data.Memory(), count);
    data.SetPosition(0);
    readData(data);
}

void TReader::DefineFor(TObject& instance)
{
    if (auto* p = dynamic_cast<TPersistent*>(&instance))
        p->DefineProperties(*this);
    if (!propHandled_)
        DefineStrings(instance, *this);
    if (!propHandled_)
        for (const TObjectDefiner& definer : Definers()) {
            definer(instance, *this);
            if (propHandled_)
                break;
        }
}

void TReader::ReadProperty(TPersistent* instance)
{
    holder_ = instance;
    std::string path = ReadStr();
    if (path.empty())
        Fail("empty property name");
    try {
        TObject* target = instance;
        std::size_t start = 0;
        for (;;) {
            std::size_t dot = path.find('.', start);
            std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            if (part.empty())
                throw EPropertyError("Invalid property path " + path);
            const TPropInfo* prop = GetPropInfo(*target, part);
            if (dot == std::string::npos) {
                if (prop) {
                    ReadPropValue(*target, *prop);
                } else {
                    propName_ = part;
                    propHandled_ = false;
                    DefineFor(*target);
                    bool handled = propHandled_;
                    propHandled_ = false;
                    propName_.clear();
                    if (!handled)
                        throw EPropertyError("Property " + part + " does not exist");
                }
                return;
            }
            if (!prop)
                throw EPropertyError("Property " + part + " does not exist");
            if (prop->Kind() != tkClass)
                throw EPropertyError("Invalid property path " + path);
            TObject* next = GetObjectProp(*target, *prop);
            // A reference to another component is not a sub-object to write into.
            auto* asComponent = dynamic_cast<TComponent*>(next);
            if (!next || (asComponent && !(asComponent->IsSubComponent() && asComponent->Owner() == target)))
                throw EPropertyError("Invalid property path " + path);
            target = next;
            start = dot + 1;
        }
    } catch (Exception& e) {
        if (e.Message().rfind("Error reading ", 0) == 0)
            throw;  // already names the innermost property
        std::string message = "Error reading " + context_ + "." + path + ": " + e.Message();
        // Failures of the property layer are read errors; a setter's own exception keeps
        // its class so that callers can still tell it apart.
        if (dynamic_cast<EPropertyError*>(&e))
            throw EReadError(message);
        e.SetMessage(message);
        throw;
    }
}

void TReader::ReadPropValue(TObject& instance, const TPropInfo& prop)
{
    const TTypeInfo& type = *prop.PropType;
    switch (type.Kind) {
    case tkInteger: {
        std::int64_t v;
        if (NextValue() == vaIdent) {
            std::string ident = ReadIdent();
            const TIdentToInt* conv = FindIdentToInt(type);
            if (!conv || !(*conv)(ident, v))
                throw EPropertyError("Invalid property value");
        } else {
            v = ReadInt64();
        }
        SetOrdProp(instance, prop, v);
        return;
    }
    case tkChar: {
        TValueType t = NextValue();
        if (t == vaInt8 || t == vaInt16 || t == vaInt32)
            SetOrdProp(instance, prop, ReadInteger() & 0xFF);
        else
            SetOrdProp(instance, prop, static_cast<unsigned char>(ReadChar()));
        return;
    }
    case tkEnumeration: {
        std::string ident = ReadIdent();
        std::int64_t v = GetEnumValue(type, ident);
        if (v < 0)
            throw EPropertyError("Invalid property value");
        SetOrdProp(instance, prop, v);
        return;
    }
    case tkSet: {
        CheckValue(vaSet);
        std::uint32_t bits = 0;
        for (;;) {
            std::string member = ReadStr();
            if (member.empty())
                break;
            std::int64_t v = GetEnumValue(*type.CompType, member);
            if (v < 0 || v > 31)
                throw EPropertyError("Invalid property value");
            bits |= 1u << v;
        }
        SetOrdProp(instance, prop, bits);
        return;
    }
    case tkFloat: SetFloatProp(instance, prop, ReadFloat()); return;
    case tkString:
    case tkLString:
    case tkWString: SetStrProp(instance, prop, ReadString()); return;
    case tkInt64: SetInt64Prop(instance, prop, ReadInt64()); return;
    case tkVariant: SetVariantProp(instance, prop, ReadVariant()); return;
    case tkClass: {
        TValueType t = NextValue();
        if (t == vaCollection) {
            auto* collection = dynamic_cast<TCollection*>(GetObjectProp(instance, prop));
            if (!collection)
                throw EPropertyError("Invalid property value");
            std::string saved = context_;
            context_ += "." + prop.Name;
            ReadCollection(*collection);
            context_ = saved;
            return;
        }
        if (t == vaNil) {
            ReadValue();
            SetObjectProp(instance, prop, nullptr);
            return;
        }
        std::string name = ReadIdent();
        if (!prop.SetObj)
            throw EPropertyError("Property " + prop.Name + " is read-only");
        fixups_.push_back(Fixup{&instance, &prop, name, context_ + "." + prop.Name, holder_});
        return;
    }
    case tkMethod: {
        if (NextValue() == vaNil) {
            ReadValue();
            SetMethodProp(instance, prop, TMethod{});
            return;
        }
        std::string name = ReadIdent();
        if (!root_)
            throw EPropertyError("Method " + name + " does not exist");
        SetMethodProp(instance, prop, TMethod{root_, name});
        return;
    }
    default: throw EPropertyError("Invalid property type: " + prop.Name);
    }
}

void TReader::ReadCollection(TCollection& collection)
{
    DepthGuard guard(*this);
    CheckValue(vaCollection);
    collection.BeginUpdate();
    try {
        if (!EndOfList()) {
            // Items about to be freed must not keep pending references.
            fixups_.erase(std::remove_if(fixups_.begin(), fixups_.end(),
                                         [&collection](const Fixup& f) {
                                             auto* item = dynamic_cast<TCollectionItem*>(f.holder);
                                             return item && item->Collection() == &collection;
                                         }),
                          fixups_.end());
            collection.Clear();
        }
        std::string base = context_;
        while (!EndOfList()) {
            TValueType t = NextValue();
            if (t == vaInt8 || t == vaInt16 || t == vaInt32)
                ReadInteger();  // the item's order; items are read in stream order
            TCollectionItem* item = collection.Add();
            context_ = base + "[" + std::to_string(collection.Count() - 1) + "]";
            ReadListBegin();
            while (!EndOfList())
                ReadProperty(item);
            ReadListEnd();
            context_ = base;
        }
        ReadListEnd();
        context_ = base;
    } catch (...) {
        collection.EndUpdate();
        throw;
    }
    collection.EndUpdate();
}

void TReader::ReadData(TComponent* instance)
{
    std::string saved = context_;
    context_ = instance->Name().empty() ? instance->ClassName() : instance->Name();
    while (!EndOfList())
        ReadProperty(instance);
    ReadListEnd();
    context_ = saved;

    TComponent* oldOwner = owner_;
    TComponent* oldParent = parent_;
    owner_ = instance->GetChildOwner();
    if (!owner_)
        owner_ = root_;
    parent_ = instance->GetChildParent();
    try {
        while (!EndOfList())
            ReadComponent(nullptr);
        ReadListEnd();
    } catch (...) {
        owner_ = oldOwner;
        parent_ = oldParent;
        throw;
    }
    owner_ = oldOwner;
    parent_ = oldParent;
}

TComponent* TReader::ReadComponent(TComponent* component)
{
    DepthGuard guard(*this);
    TFilerFlags flags;
    std::int32_t childPos = -1;
    ReadPrefix(flags, childPos);
    std::string className = ReadStr();
    std::string name = ReadStr();
    if (className.empty())
        Fail("empty class name");

    TComponent* result = component;
    bool created = false;
    if (!result) {
        if (flags.Contains(ffInherited)) {
            result = owner_ ? owner_->FindComponent(name) : nullptr;
            if (!result)
                throw EReadError("Ancestor for '" + name + "' not found");
        } else {
            const TClassInfo* cls = GetClass(className);
            if (!cls)
                throw EReadError("Class " + className + " not found");
            if (!cls->CreateComponent)
                throw EReadError("Class " + className + " cannot be created");
            result = cls->CreateComponent(owner_);
            created = true;
        }
    }
    try {
        result->SetState(csLoading, true);
        result->SetState(csReading, true);
        if (created) {
            try {
                result->SetName(name);
            } catch (const Exception& e) {
                throw EReadError("Error reading " + className + ": " + e.Message());
            }
        }
        if (parent_ && result->HasParent())
            result->SetParentComponent(parent_);
        result->ReadState(*this);
        result->SetState(csReading, false);
        if (std::find(loaded_.begin(), loaded_.end(), result) == loaded_.end())
            loaded_.push_back(result);
    } catch (...) {
        if (created) {
            // Forget whatever the failed component (or its owned children) registered.
            loaded_.erase(std::remove(loaded_.begin(), loaded_.end(), result), loaded_.end());
            delete result;
        }
        throw;
    }
    return result;
}

void TReader::ResolveFixups()
{
    std::vector<Fixup> pending;
    pending.swap(fixups_);
    for (const Fixup& f : pending) {
        TComponent* target = nullptr;
        std::string name = f.name;
        std::size_t dot = name.find('.');
        if (dot != std::string::npos) {
            if (root_ && SameText(name.substr(0, dot), root_->Name()))
                target = root_->FindComponent(name.substr(dot + 1));
        } else if (root_) {
            target = SameText(name, root_->Name()) ? root_ : root_->FindComponent(name);
        }
        if (!target)
            throw EReadError("Error reading " + f.context + ": component " + name + " not found");
        try {
            SetObjectProp(*f.instance, *f.prop, target);
        } catch (const Exception& e) {
            throw EReadError("Error reading " + f.context + ": " + e.Message());
        }
    }
}

TComponent* TReader::ReadRootComponent(TComponent* root)
{
    ReadSignature();
    TFilerFlags flags;
    std::int32_t childPos = -1;
    ReadPrefix(flags, childPos);
    std::string className = ReadStr();
    std::string name = ReadStr();
    bool created = false;
    if (!root) {
        const TClassInfo* cls = GetClass(className);
        if (!cls)
            throw EReadError("Class " + className + " not found");
        if (!cls->CreateComponent)
            throw EReadError("Class " + className + " cannot be created");
        root = cls->CreateComponent(nullptr);
        created = true;
    }
    root_ = root;
    owner_ = root;
    parent_ = nullptr;
    loaded_.clear();
    fixups_.clear();
    try {
        root->SetState(csLoading, true);
        root->SetState(csReading, true);
        try {
            root->SetName(name);
        } catch (const Exception& e) {
            throw EReadError("Error reading " + className + ": " + e.Message());
        }
        loaded_.push_back(root);
        root->ReadState(*this);
        root->SetState(csReading, false);
        ResolveFixups();
    } catch (...) {
        fixups_.clear();
        loaded_.clear();
        if (created) {
            delete root;
        } else {
            // Components that were read stay owned by the root; none of them is left loading.
            std::vector<TComponent*> stack{root};
            while (!stack.empty()) {
                TComponent* c = stack.back();
                stack.pop_back();
                c->SetState(csLoading, false);
                c->SetState(csReading, false);
                for (std::int32_t i = 0; i < c->ComponentCount(); ++i)
                    stack.push_back(c->Components(i));
            }
        }
        root_ = nullptr;
        throw;
    }
    std::vector<TComponent*> loaded;
    loaded.swap(loaded_);
    try {
        for (TComponent* c : loaded) {
            c->Loaded();
            c->SetState(csLoading, false);
        }
    } catch (...) {
        root_ = nullptr;
        if (created) {
            delete root;
        } else {
            for (TComponent* c : loaded)
                c->SetState(csLoading, false);
        }
        throw;
    }
    root_ = nullptr;
    return root;
}

// --- TWriter ---

TWriter::TWriter(TStream& stream) : TFiler(stream) {}

TWriter::~TWriter() = default;

void TWriter::WriteBuffer(const void* data, std::int64_t count)
{
    if (count > 0)
        stream_.WriteBuffer(data, static_cast<std::int32_t>(count));
}

void TWriter::WriteSignature() { WriteBuffer(kFormSignature, 4); }

void TWriter::WritePrefix(TFilerFlags flags, std::int32_t childPos)
{
    if (flags.Empty())
        return;
    std::uint8_t prefix = static_cast<std::uint8_t>(0xF0 | (flags.Bits() & 0x07));
    WriteBuffer(&prefix, 1);
    if (flags.Contains(ffChildPos))
        WriteInteger(childPos);
}

void TWriter::WriteValue(TValueType value)
{
    auto b = static_cast<std::uint8_t>(value);
    WriteBuffer(&b, 1);
}

void TWriter::WriteListBegin() { WriteValue(vaList); }

void TWriter::WriteListEnd() { WriteValue(vaNull); }

// A value tag, then the low `size` bytes of the value, least significant first.
void TWriter::WriteTagged(TValueType tag, std::uint64_t bits, int size)
{
    std::uint8_t b[9];
    b[0] = tag;
    for (int i = 0; i < size; ++i)
        b[1 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    WriteBuffer(b, 1 + size);
}

void TWriter::WriteInteger(std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    if (value >= -128 && value <= 127)
        WriteTagged(vaInt8, bits, 1);
    else if (value >= -32768 && value <= 32767)
        WriteTagged(vaInt16, bits, 2);
    else if (value >= INT32_MIN && value <= INT32_MAX)
        WriteTagged(vaInt32, bits, 4);
    else
        WriteTagged(vaInt64, bits, 8);
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? vaTrue : vaFalse); }

void TWriter::WriteChar(char value) { WriteString(std::string(1, value)); }

void TWriter::WriteFloat(double value)
{
    std::uint8_t b[11];
    b[0] = vaExtended;
    DoubleToExtended(value, b + 1);
    WriteBuffer(b, 11);
}

void TWriter::WriteSingle(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    WriteTagged(vaSingle, bits, 4);
}

void TWriter::WriteCurrency(double value)
{
    double scaled = std::nearbyint(value * 10000.0);
    std::int64_t v = 0;
    if (scaled >= -9.2e18 && scaled <= 9.2e18)
        v = static_cast<std::int64_t>(scaled);
    WriteTagged(vaCurrency, static_cast<std::uint64_t>(v), 8);
}

void TWriter::WriteDate(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    WriteTagged(vaDate, bits, 8);
}

void TWriter::WriteStr(const std::string& value)
{
    if (value.size() > 255)
        throw EWriteError("name longer than 255 characters: " + value.substr(0, 32) + "...");
    auto len = static_cast<std::uint8_t>(value.size());
    WriteBuffer(&len, 1);
    WriteBuffer(value.data(), len);
}

void TWriter::WriteString(const std::string& value)
{
    if (value.size() <= 255) {
        WriteValue(vaString);
        WriteStr(value);
        return;
    }
    if (value.size() > 0x7FFFFFFF)
        throw EWriteError("string too long for a form stream");
    WriteValue(vaLString);
    auto len = static_cast<std::uint32_t>(value.size());
    std::uint8_t b[4];
    StoreLE32(b, len);
    WriteBuffer(b, 4);
    WriteBuffer(value.data(), static_cast<std::int64_t>(value.size()));
}

void TWriter::WriteIdent(const std::string& ident)
{
    if (SameText(ident, "False"))
        WriteValue(vaFalse);
    else if (SameText(ident, "True"))
        WriteValue(vaTrue);
    else if (SameText(ident, "Null"))
        WriteValue(vaNull);
    else if (SameText(ident, "nil"))
        WriteValue(vaNil);
    else {
        WriteValue(vaIdent);
        WriteStr(ident);
    }
}

void TWriter::WriteVariant(const Variant& value)
{
    switch (value.VarType()) {
    case varEmpty: WriteValue(vaNil); return;
    case varNull: WriteValue(vaNull); return;
    case varInteger:
    case varInt64: WriteInteger(value.AsInt64()); return;
    case varDouble: WriteFloat(value.AsDouble()); return;
    case varString: WriteString(value.AsString()); return;
    case varBoolean: WriteBoolean(value.AsBoolean()); return;
    }
    throw EWriteError("Invalid variant type");
}

void TWriter::WriteCollection(TCollection& collection)
{
    WriteValue(vaCollection);
    for (std::int32_t i = 0; i < collection.Count(); ++i) {
        WriteListBegin();
        std::string saved = propPath_;
        propPath_.clear();
        WriteProperties(collection.Items(i));
        propPath_ = saved;
        WriteListEnd();
    }
    WriteListEnd();
}

void TWriter::WritePropName(const std::string& name) { WriteStr(propPath_ + name); }

void TWriter::WriteProperty(TObject& instance, const TPropInfo& prop)
{
    if (!prop.IsStored(instance))
        return;
    const TTypeInfo& type = *prop.PropType;
    switch (type.Kind) {
    case tkInteger:
    case tkChar:
    case tkEnumeration:
    case tkSet: {
        std::int64_t v = prop.GetOrd(instance);
        if (prop.Default != kNoDefault && v == prop.Default)
            return;
        WritePropName(prop.Name);
        if (type.Kind == tkInteger) {
            std::string ident;
            const TIntToIdent* conv = FindIntToIdent(type);
            if (conv && (*conv)(v, ident))
                WriteIdent(ident);
            else
                WriteInteger(v);
        } else if (type.Kind == tkChar) {
            WriteChar(static_cast<char>(v));
        } else if (type.Kind == tkEnumeration) {
            WriteIdent(GetEnumName(type, v));
        } else {
            WriteValue(vaSet);
            for (unsigned bit = 0; bit < 32; ++bit)
                if ((static_cast<std::uint64_t>(v) >> bit) & 1u)
                    WriteStr(GetEnumName(*type.CompType, bit));
            WriteStr(std::string());
        }
        return;
    }
    case tkInt64: {
        std::int64_t v = prop.GetOrd(instance);
        if (v == (prop.Default == kNoDefault ? 0 : prop.Default))
            return;
        WritePropName(prop.Name);
        WriteInteger(v);
        return;
    }
    case tkFloat: {
        double v = prop.GetFloat(instance);
        if (v == 0)
            return;
        WritePropName(prop.Name);
        if (type.FloatType == ftSingle)
            WriteSingle(detail::NarrowFloat<float>(v));
        else if (type.FloatType == ftCurr)
            WriteCurrency(v);
        else if (type.IsDateTime)
            WriteDate(v);
        else
            WriteFloat(v);
        return;
    }
    case tkString:
    case tkLString:
    case tkWString: {
        std::string v = prop.GetStr(instance);
        if (v.empty())
            return;
        WritePropName(prop.Name);
        WriteString(v);
        return;
    }
    case tkVariant: {
        Variant v = prop.GetVar(instance);
        if (v.IsEmpty())
            return;
        WritePropName(prop.Name);
        WriteVariant(v);
        return;
    }
    case tkMethod: {
        TMethod m = prop.GetMethod(instance);
        if (!m.Assigned() || m.Name.empty())
            return;  // handlers set from code have no name to store
        WritePropName(prop.Name);
        WriteIdent(m.Name);
        return;
    }
    case tkClass: {
        TObject* value = prop.GetObj(instance);
        if (!value)
            return;
        if (auto* collection = dynamic_cast<TCollection*>(value)) {
            if (collection->Count() == 0)
                return;
            WritePropName(prop.Name);
            WriteCollection(*collection);
            return;
        }
        auto* component = dynamic_cast<TComponent*>(value);
        if (component && !(component->IsSubComponent() && component->Owner() == &instance)) {
            // A reference: by name within the root, "Root.Name" when owned elsewhere.
            if (component->Name().empty())
                return;
            std::string ref = component->Name();
            if (component != lookupRoot_ && component->Owner() && component->Owner() != lookupRoot_) {
                if (component->Owner()->Name().empty())
                    return;
                ref = component->Owner()->Name() + "." + ref;
            }
            WritePropName(prop.Name);
            WriteIdent(ref);
            return;
        }
        // A sub-object: its properties under "Prop.".
        std::string saved = propPath_;
        propPath_ += prop.Name + ".";
        WriteObjectProps(*value);
        propPath_ = saved;
        return;
    }
    default: return;
    }
}

void TWriter::WriteObjectProps(TObject& instance)
{
    for (const TPropInfo* p : GetPropList(instance))
        WriteProperty(instance, *p);
    if (auto* persistent = dynamic_cast<TPersistent*>(&instance))
        persistent->DefineProperties(*this);
    DefineStrings(instance, *this);
    for (const TObjectDefiner& definer : Definers())
        definer(instance, *this);
}

void TWriter::WriteProperties(TPersistent* instance) { WriteObjectProps(*instance); }

void TWriter::DefineProperty(const std::string& name, TReaderProc, TWriterProc writeData, bool hasData)
{
    if (!hasData || !writeData)
        return;
    WritePropName(name);
    writeData(*this);
}

void TWriter::DefineBinaryProperty(const std::string& name, TStreamProc, TStreamProc writeData, bool hasData)
{
    if (!hasData || !writeData)
        return;
    TMemoryStream data;
    writeData(data);
    if (data.Size() > 0x7FFFFFFF)
        throw EWriteError("binary property " + name + " too large");
    WritePropName(name);
    WriteValue(vaBinary);
    auto count = static_cast<std::uint32_t>(data.Size());
    std::uint8_t b[4];
    StoreLE32(b, count);
    WriteBuffer(b, 4);
    WriteBuffer(data.Memory(), count);
}

void TWriter::WriteData(TComponent* instance)
{
    WritePrefix(TFilerFlags(), 0);
    WriteStr(instance->ClassName());
    WriteStr(instance->Name());
    std::string saved = propPath_;
    propPath_.clear();
    WriteProperties(instance);
    propPath_ = saved;
    WriteListEnd();
    instance->GetChildren([this](TComponent* child) { WriteComponent(child); }, root_);
    WriteListEnd();
}

void TWriter::WriteComponent(TComponent* component)
{
    component->SetState(csWriting, true);
    try {
        component->WriteState(*this);
    } catch (...) {
        component->SetState(csWriting, false);
        throw;
    }
    component->SetState(csWriting, false);
}

void TWriter::WriteRootComponent(TComponent* root)
{
    root_ = root;
    lookupRoot_ = root;
    WriteSignature();
    WriteComponent(root);
    root_ = nullptr;
    lookupRoot_ = nullptr;
}

TComponent* ReadComponentRes(TStream& stream, TComponent* root)
{
    TReader reader(stream);
    return reader.ReadRootComponent(root);
}

void WriteComponentRes(TStream& stream, TComponent* root)
{
    TWriter writer(stream);
    writer.WriteRootComponent(root);
}

}  // namespace rtl
