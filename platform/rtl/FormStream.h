// Binary form streams: the filer, the reader that builds components from a stream and the writer.
//
// Layout: "TPF0", then the root component. A component is an optional prefix byte
// (0xF0 | flags, followed by an integer when ffChildPos is set), its class name and its name
// (byte-length strings), its properties (name string + typed value) ended by a 0 byte, its
// child components, and a 0 byte. Values start with a TValueType tag; integers and lengths
// are little-endian.
#pragma once

#include "platform/rtl/Component.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypeInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rtl {

class TCollection;

enum TValueType : std::uint8_t {
    vaNull,
    vaList,
    vaInt8,
    vaInt16,
    vaInt32,
    vaExtended,
    vaString,
    vaIdent,
    vaFalse,
    vaTrue,
    vaBinary,
    vaSet,
    vaLString,
    vaNil,
    vaCollection,
    vaSingle,
    vaCurrency,
    vaDate,
    vaWString,
    vaInt64,
    vaUTF8String
};
inline constexpr std::uint8_t kLastValueType = vaUTF8String;

enum TFilerFlag { ffInherited, ffChildPos, ffInline };
RTL_ENUM_INFO(TFilerFlag, "ffInherited", "ffChildPos", "ffInline")
using TFilerFlags = TSet<TFilerFlag>;

inline constexpr char kFormSignature[4] = {'T', 'P', 'F', '0'};

// Nesting of components, lists and collections that a reader accepts.
inline constexpr int kMaxFormNesting = 64;

using TReaderProc = std::function<void(TReader&)>;
using TWriterProc = std::function<void(TWriter&)>;
using TStreamProc = std::function<void(TStream&)>;

// Integer identifiers for integer types such as colours ("clBtnFace"). Both directions
// return false when they have no answer. Registered per type information object.
using TIdentToInt = std::function<bool(const std::string& ident, std::int64_t& value)>;
using TIntToIdent = std::function<bool(std::int64_t value, std::string& ident)>;
void RegisterIntegerConsts(const TTypeInfo& type, TIdentToInt identToInt, TIntToIdent intToIdent);
const TIdentToInt* FindIdentToInt(const TTypeInfo& type);
const TIntToIdent* FindIntToIdent(const TTypeInfo& type);

// Objects outside the TPersistent tree (string lists) can still define streamed data:
// the handler is offered every object and defines its properties when it knows the object.
using TObjectDefiner = std::function<void(TObject& instance, TFiler& filer)>;
void RegisterObjectDefiner(TObjectDefiner definer);

class TFiler : public TObject {
public:
    explicit TFiler(TStream& stream) : stream_(stream) {}

    // Offers an unpublished property: the reader calls readData when the stream holds a
    // property of that name; the writer calls writeData when hasData.
    virtual void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData,
                                bool hasData) = 0;
    // The same for a blob: the reader hands readData a memory stream holding exactly the
    // stored bytes, positioned at 0; the writer gives writeData a stream to fill.
    virtual void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                                      bool hasData) = 0;

    TStream& Stream() { return stream_; }
    TComponent* Root() const { return root_; }

protected:
    TStream& stream_;
    TComponent* root_ = nullptr;  // not owned
};

// Reads components from a form stream. Malformed input raises EReadError ("Error reading
// Form1.Left: ..." when a property was being read); an exception raised by a property setter
// keeps its class and gets the same prefix, one raised by Loaded passes through unchanged.
// Components the reader created before the failure are freed, and nothing is read past the
// stream's end.
class TReader : public TFiler {
public:
    explicit TReader(TStream& stream);
    ~TReader() override;

    // Reads a whole form. With `root` given, its properties and children are read into it
    // (class name ignored); with nullptr, the root is created by class name with no owner and
    // the caller owns the result.
    TComponent* ReadRootComponent(TComponent* root);
    // Reads one component inside the current one; with nullptr it is created.
    TComponent* ReadComponent(TComponent* component);
    // Properties and children of `instance` (called from TComponent::ReadState).
    void ReadData(TComponent* instance);

    void ReadSignature();
    void ReadPrefix(TFilerFlags& flags, std::int32_t& childPos);

    TValueType ReadValue();
    TValueType NextValue();  // peeks
    bool EndOfList();
    void ReadListBegin();
    void ReadListEnd();
    void CheckValue(TValueType expected);

    std::int32_t ReadInteger();
    std::int64_t ReadInt64();
    bool ReadBoolean();
    char ReadChar();
    double ReadFloat();
    std::string ReadString();
    std::string ReadIdent();
    // A raw byte-length string as used for names.
    std::string ReadStr();
    Variant ReadVariant();
    // The bytes of a vaBinary value.
    std::string ReadBinaryData();
    void ReadCollection(TCollection& collection);
    void SkipValue();

    void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                              bool hasData) override;

    TComponent* Owner() const { return owner_; }
    TComponent* Parent() const { return parent_; }

private:
    struct Fixup;
    class DepthGuard;

    void ReadProperty(TPersistent* instance);
    void ReadPropValue(TObject& instance, const TPropInfo& prop);
    void DefineFor(TObject& instance);
    void ResolveFixups();
    [[noreturn]] void Fail(const std::string& message);
    void ReadBytes(void* buffer, std::int64_t count);
    std::int64_t Remaining();
    std::uint8_t ReadByte();
    void SkipBytes(std::int64_t count);

    TComponent* owner_ = nullptr;      // not owned
    TComponent* parent_ = nullptr;     // not owned
    std::vector<TComponent*> loaded_;  // not owned
    std::vector<Fixup> fixups_;
    std::string propName_;
    bool propHandled_ = false;
    TPersistent* holder_ = nullptr;  // not owned
    int depth_ = 0;
    std::string context_;
};

// Writes components as a form stream: published properties that differ from their defaults,
// defined properties, then children.
class TWriter : public TFiler {
public:
    explicit TWriter(TStream& stream);
    ~TWriter() override;

    void WriteRootComponent(TComponent* root);  // writes the signature too
    void WriteComponent(TComponent* component);
    void WriteData(TComponent* instance);  // called from TComponent::WriteState
    void WriteSignature();
    void WritePrefix(TFilerFlags flags, std::int32_t childPos);

    void WriteValue(TValueType value);
    void WriteListBegin();
    void WriteListEnd();
    void WriteInteger(std::int64_t value);  // smallest form that holds it
    void WriteBoolean(bool value);
    void WriteChar(char value);
    void WriteFloat(double value);  // vaExtended
    void WriteSingle(float value);
    void WriteCurrency(double value);
    void WriteDate(double value);
    void WriteString(const std::string& value);  // vaString up to 255 bytes, else vaLString
    void WriteIdent(const std::string& ident);   // True/False/nil/Null get their own tags
    void WriteStr(const std::string& value);     // raw byte-length string; at most 255 bytes
    void WriteVariant(const Variant& value);
    void WriteCollection(TCollection& collection);
    void WriteProperties(TPersistent* instance);

    void DefineProperty(const std::string& name, TReaderProc readData, TWriterProc writeData,
                        bool hasData) override;
    void DefineBinaryProperty(const std::string& name, TStreamProc readData, TStreamProc writeData,
                              bool hasData) override;

private:
    void WriteProperty(TObject& instance, const TPropInfo& prop);
    void WritePropName(const std::string& name);
    void WriteObjectProps(TObject& instance);
    void WriteBuffer(const void* data, std::int64_t count);
    void WriteTagged(TValueType tag, std::uint64_t bits, int size);

    std::string propPath_;
    TComponent* lookupRoot_ = nullptr;  // not owned
};

// Encodes and decodes the 10-byte extended float of vaExtended.
void DoubleToExtended(double value, std::uint8_t out[10]);
double ExtendedToDouble(const std::uint8_t in[10]);

// Convenience: the whole form in `stream` read into `root` (or created when nullptr).
TComponent* ReadComponentRes(TStream& stream, TComponent* root);
void WriteComponentRes(TStream& stream, TComponent* root);

}  // namespace rtl
