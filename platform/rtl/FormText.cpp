// Text form parser and printer over the binary form stream's reader and writer.
#include "platform/rtl/FormText.h"

#include "platform/rtl/FormStream.h"

#include <charconv>
#include <cmath>
#include <map>
#include <mutex>

namespace rtl {

namespace {

struct DirectiveRegistry {
    std::mutex lock;
    std::map<std::string, TBinaryDirective> directives;
};

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

std::string ResolvePath(const std::string& path, const std::string& baseDir)
{
    bool absolute =
        !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
    return absolute || baseDir.empty() ? path : baseDir + "/" + path;
}

DirectiveRegistry& Directives()
{
    static DirectiveRegistry registry;
    static bool builtins = [] {
        registry.directives["file"] = [](const std::string& argument, const std::string& baseDir,
                                         TStream& out) {
            TFileStream file(ResolvePath(argument, baseDir), fmOpenRead | fmShareDenyWrite);
            out.CopyFrom(file, 0);
        };
        // A picture's "Data": the graphic class name as a byte-length string, the file's size
        // as 32 bits, then the file, as bitmaps and the image library's pictures store it.
        registry.directives["picture"] = [](const std::string& argument, const std::string& baseDir,
                                            TStream& out) {
            std::size_t space = argument.find_first_of(" \t");
            std::size_t pathStart =
                space == std::string::npos ? space : argument.find_first_not_of(" \t", space);
            if (space == 0 || space > 255 || pathStart == std::string::npos)
                throw Exception("expected a graphic class name and a file");
            std::string className = argument.substr(0, space);
            TFileStream file(ResolvePath(argument.substr(pathStart), baseDir), fmOpenRead | fmShareDenyWrite);
            std::int64_t size = file.Size();
            if (size > 0x7FFFFFFF)
                throw Exception("picture file larger than 2 GB");
            std::uint8_t len = static_cast<std::uint8_t>(className.size());
            out.WriteBuffer(&len, 1);
            out.WriteBuffer(className.data(), len);
            std::uint8_t b[4] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                 static_cast<std::uint8_t>(size >> 16),
                                 static_cast<std::uint8_t>(size >> 24)};
            out.WriteBuffer(b, 4);
            out.CopyFrom(file, 0);
        };
        return true;
    }();
    (void)builtins;
    return registry;
}

bool SameWord(const std::string& a, const char* b) { return Lower(a) == Lower(b); }

// --- text to binary ---

class TextParser {
public:
    TextParser(std::string source, TStream& output, std::string baseDir)
        : src_(std::move(source)), writer_(output), baseDir_(std::move(baseDir))
    {
        Next();
    }

    void Convert()
    {
        writer_.WriteSignature();
        ParseObject(0);
        if (tok_ != Tok::End)
            Error("end of text expected but " + Describe() + " found");
    }

private:
    enum class Tok { End, Symbol, Integer, Float, String, Char };

    [[noreturn]] void Error(const std::string& message)
    {
        throw EParserError("line " + std::to_string(tokLine_) + ": " + message);
    }

    std::string Describe() const
    {
        switch (tok_) {
        case Tok::End: return "end of text";
        case Tok::Symbol: return "'" + text_ + "'";
        case Tok::Integer:
        case Tok::Float: return "number " + text_;
        case Tok::String: return "string";
        case Tok::Char: return "'" + text_ + "'";
        }
        return "?";
    }

    bool IsChar(char c) const { return tok_ == Tok::Char && text_.size() == 1 && text_[0] == c; }
    bool IsSymbol(const char* word) const { return tok_ == Tok::Symbol && SameWord(text_, word); }

    void ExpectChar(char c)
    {
        if (!IsChar(c))
            Error(std::string("'") + c + "' expected but " + Describe() + " found");
        Next();
    }

    std::string ExpectSymbol(const char* what)
    {
        if (tok_ != Tok::Symbol)
            Error(std::string(what) + " expected but " + Describe() + " found");
        std::string s = text_;
        Next();
        return s;
    }

    static bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

    void SkipBlanks()
    {
        while (pos_ < src_.size()) {
            char c = src_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else {
                break;
            }
        }
    }

    void Next()
    {
        SkipBlanks();
        tokLine_ = line_;
        text_.clear();
        if (pos_ >= src_.size()) {
            tok_ = Tok::End;
            return;
        }
        char c = src_[pos_];
        if (IsIdentStart(c)) {
            std::size_t start = pos_;
            while (pos_ < src_.size() && (IsIdentStart(src_[pos_]) || IsDigit(src_[pos_])))
                ++pos_;
            text_ = src_.substr(start, pos_ - start);
            tok_ = Tok::Symbol;
            return;
        }
        if (c == '\'' || c == '#') {
            ScanString();
            return;
        }
        if (c == '$') {
            std::size_t start = ++pos_;
            while (pos_ < src_.size() && IsHex(src_[pos_]))
                ++pos_;
            if (start == pos_)
                Error("hexadecimal digits expected after '$'");
            std::uint64_t v = 0;
            auto [p, ec] = std::from_chars(src_.data() + start, src_.data() + pos_, v, 16);
            if (ec != std::errc())
                Error("number " + src_.substr(start, pos_ - start) + " out of range");
            (void)p;
            intValue_ = v;
            text_ = "$" + src_.substr(start, pos_ - start);
            tok_ = Tok::Integer;
            return;
        }
        if (IsDigit(c)) {
            ScanNumber();
            return;
        }
        text_ = std::string(1, c);
        ++pos_;
        tok_ = Tok::Char;
    }

    void ScanNumber()
    {
        std::size_t start = pos_;
        bool isFloat = false;
        while (pos_ < src_.size() && IsDigit(src_[pos_]))
            ++pos_;
        if (pos_ + 1 < src_.size() && src_[pos_] == '.' && IsDigit(src_[pos_ + 1])) {
            isFloat = true;
            ++pos_;
            while (pos_ < src_.size() && IsDigit(src_[pos_]))
                ++pos_;
        }
        if (pos_ < src_.size() && (src_[pos_] == 'e' || src_[pos_] == 'E')) {
            std::size_t e = pos_ + 1;
            if (e < src_.size() && (src_[e] == '+' || src_[e] == '-'))
                ++e;
            if (e < src_.size() && IsDigit(src_[e])) {
                isFloat = true;
                pos_ = e;
                while (pos_ < src_.size() && IsDigit(src_[pos_]))
                    ++pos_;
            }
        }
        text_ = src_.substr(start, pos_ - start);
        floatSuffix_ = 0;
        if (pos_ < src_.size()) {
            char s = src_[pos_];
            if (s == 's' || s == 'S' || s == 'c' || s == 'C' || s == 'd' || s == 'D') {
                std::size_t after = pos_ + 1;
                if (after >= src_.size() || !(IsIdentStart(src_[after]) || IsDigit(src_[after]))) {
                    floatSuffix_ = static_cast<char>(s | 0x20);
                    isFloat = true;
                    ++pos_;
                }
            }
        }
        if (isFloat) {
            auto [p, ec] = std::from_chars(text_.data(), text_.data() + text_.size(), floatValue_);
            if (ec != std::errc() || p != text_.data() + text_.size())
                Error("invalid number " + text_);
            tok_ = Tok::Float;
        } else {
            std::uint64_t v = 0;
            auto [p, ec] = std::from_chars(text_.data(), text_.data() + text_.size(), v);
            if (ec != std::errc() || p != text_.data() + text_.size())
                Error("number " + text_ + " out of range");
            intValue_ = v;
            tok_ = Tok::Integer;
        }
    }

    void ScanString()
    {
        std::string value;
        while (pos_ < src_.size()) {
            char c = src_[pos_];
            if (c == '\'') {
                ++pos_;
                for (;;) {
                    if (pos_ >= src_.size() || src_[pos_] == '\n' || src_[pos_] == '\r')
                        Error("unterminated string");
                    if (src_[pos_] == '\'') {
                        if (pos_ + 1 < src_.size() && src_[pos_ + 1] == '\'') {
                            value += '\'';
                            pos_ += 2;
                            continue;
                        }
                        ++pos_;
                        break;
                    }
                    value += src_[pos_++];
                }
            } else if (c == '#') {
                std::size_t start = ++pos_;
                int base = 10;
                if (pos_ < src_.size() && src_[pos_] == '$') {
                    base = 16;
                    start = ++pos_;
                }
                while (pos_ < src_.size() && (base == 16 ? IsHex(src_[pos_]) : IsDigit(src_[pos_])))
                    ++pos_;
                unsigned code = 0;
                auto [p, ec] = std::from_chars(src_.data() + start, src_.data() + pos_, code, base);
                if (start == pos_ || ec != std::errc() || code > 255)
                    Error("character code out of range");
                (void)p;
                value += static_cast<char>(code);
            } else {
                break;
            }
        }
        text_ = std::move(value);
        tok_ = Tok::String;
    }

    void ParseObject(int depth)
    {
        if (depth > kMaxFormNesting)
            Error("objects nested too deeply");
        TFilerFlags flags;
        if (IsSymbol("inherited"))
            flags.Include(ffInherited);
        else if (IsSymbol("inline"))
            flags.Include(ffInline);
        else if (!IsSymbol("object"))
            Error("'object' expected but " + Describe() + " found");
        Next();
        std::string first = ExpectSymbol("name");
        std::string name, className = first;
        if (IsChar(':')) {
            Next();
            name = first;
            className = ExpectSymbol("class name");
        }
        std::int32_t childPos = 0;
        if (IsChar('[')) {
            Next();
            childPos = static_cast<std::int32_t>(ParseSignedInteger(INT32_MIN, INT32_MAX));
            flags.Include(ffChildPos);
            ExpectChar(']');
        }
        writer_.WritePrefix(flags, childPos);
        writer_.WriteStr(className);
        writer_.WriteStr(name);
        while (!IsSymbol("end") && !IsObjectStart()) {
            if (tok_ == Tok::End)
                Error("'end' expected but end of text found");
            ParseProperty(depth);
        }
        writer_.WriteListEnd();
        while (IsObjectStart())
            ParseObject(depth + 1);
        writer_.WriteListEnd();
        if (!IsSymbol("end"))
            Error("'end' expected but " + Describe() + " found");
        Next();
    }

    bool IsObjectStart() const { return IsSymbol("object") || IsSymbol("inherited") || IsSymbol("inline"); }

    void ParseProperty(int depth)
    {
        std::string name = ExpectSymbol("property name");
        while (IsChar('.')) {
            Next();
            name += "." + ExpectSymbol("property name");
        }
        if (name.size() > 255)
            Error("property name longer than 255 characters");
        ExpectChar('=');
        writer_.WriteStr(name);
        ParseValue(depth + 1);
    }

    std::int64_t ParseSignedInteger(std::int64_t minValue, std::int64_t maxValue)
    {
        bool negative = false;
        if (IsChar('-')) {
            negative = true;
            Next();
        }
        if (tok_ != Tok::Integer)
            Error("integer expected but " + Describe() + " found");
        std::int64_t v = 0;
        if (!ToInt64(intValue_, negative, v) || v < minValue || v > maxValue)
            Error("number " + text_ + " out of range");
        Next();
        return v;
    }

    static bool ToInt64(std::uint64_t magnitude, bool negative, std::int64_t& out)
    {
        if (negative) {
            if (magnitude > 0x8000000000000000ull)
                return false;
            out = static_cast<std::int64_t>(0 - magnitude);
        } else {
            if (magnitude > 0x7FFFFFFFFFFFFFFFull)
                return false;
            out = static_cast<std::int64_t>(magnitude);
        }
        return true;
    }

    void ParseValue(int depth)
    {
        if (depth > kMaxFormNesting)
            Error("values nested too deeply");
        bool negative = false;
        if (IsChar('-')) {
            negative = true;
            Next();
            if (tok_ != Tok::Integer && tok_ != Tok::Float)
                Error("number expected after '-'");
        }
        switch (tok_) {
        case Tok::Integer: {
            std::int64_t v = 0;
            // "$FFFFFFFF" is the 32-bit pattern, as colour constants are written.
            bool hex = !text_.empty() && text_[0] == '$';
            if (hex && !negative && intValue_ > 0x7FFFFFFF && intValue_ <= 0xFFFFFFFF)
                v = static_cast<std::int32_t>(static_cast<std::uint32_t>(intValue_));
            else if (!ToInt64(intValue_, negative, v))
                Error("number " + text_ + " out of range");
            writer_.WriteInteger(v);
            Next();
            return;
        }
        case Tok::Float: {
            double v = negative ? -floatValue_ : floatValue_;
            if (floatSuffix_ == 's')
                writer_.WriteSingle(detail::NarrowFloat<float>(v));
            else if (floatSuffix_ == 'c')
                writer_.WriteCurrency(v);
            else if (floatSuffix_ == 'd')
                writer_.WriteDate(v);
            else
                writer_.WriteFloat(v);
            Next();
            return;
        }
        case Tok::String: {
            std::string value = text_;
            Next();
            while (IsChar('+')) {
                Next();
                if (tok_ != Tok::String)
                    Error("string expected after '+'");
                value += text_;
                Next();
            }
            writer_.WriteString(value);
            return;
        }
        case Tok::Symbol: {
            if (IsSymbol("end") || IsObjectStart())
                Error("value expected but " + Describe() + " found");
            std::string ident = text_;
            Next();
            while (IsChar('.')) {
                Next();
                ident += "." + ExpectSymbol("identifier");
            }
            if (ident.size() > 255)
                Error("identifier longer than 255 characters");
            writer_.WriteIdent(ident);
            return;
        }
        case Tok::Char: break;
        case Tok::End: Error("value expected but end of text found");
        }
        if (IsChar('[')) {
            Next();
            writer_.WriteValue(vaSet);
            while (!IsChar(']')) {
                std::string member = ExpectSymbol("set member");
                if (member.size() > 255)
                    Error("identifier longer than 255 characters");
                writer_.WriteStr(member);
                if (IsChar(','))
                    Next();
                else if (!IsChar(']'))
                    Error("',' or ']' expected but " + Describe() + " found");
            }
            writer_.WriteStr(std::string());
            Next();
            return;
        }
        if (IsChar('(')) {
            Next();
            writer_.WriteListBegin();
            while (!IsChar(')')) {
                if (tok_ == Tok::End)
                    Error("')' expected but end of text found");
                ParseValue(depth + 1);
            }
            writer_.WriteListEnd();
            Next();
            return;
        }
        if (IsChar('<')) {
            Next();
            writer_.WriteValue(vaCollection);
            while (!IsChar('>')) {
                if (!IsSymbol("item"))
                    Error("'item' expected but " + Describe() + " found");
                Next();
                if (IsChar('[')) {
                    Next();
                    writer_.WriteInteger(ParseSignedInteger(INT32_MIN, INT32_MAX));
                    ExpectChar(']');
                }
                writer_.WriteListBegin();
                while (!IsSymbol("end")) {
                    if (tok_ == Tok::End)
                        Error("'end' expected but end of text found");
                    ParseProperty(depth + 1);
                }
                writer_.WriteListEnd();
                Next();
            }
            writer_.WriteListEnd();
            Next();
            return;
        }
        if (IsChar('{')) {
            ParseBinary();
            return;
        }
        Error("value expected but " + Describe() + " found");
    }

    // The tokenizer stopped right after '{'; binary text is scanned raw up to '}'.
    void ParseBinary()
    {
        std::size_t close = src_.find('}', pos_);
        if (close == std::string::npos)
            Error("'}' expected but end of text found");
        std::string body = src_.substr(pos_, close - pos_);
        int lines = 0;
        for (char c : body)
            lines += c == '\n';
        std::size_t first = body.find_first_not_of(" \t\r\n");
        TMemoryStream data;
        if (first != std::string::npos && body[first] == '@') {
            std::size_t colon = body.find(':', first);
            if (colon == std::string::npos)
                Error("':' expected after the directive name");
            std::string name = Lower(Trim(body.substr(first + 1, colon - first - 1)));
            std::string argument = Trim(body.substr(colon + 1));
            TBinaryDirective directive;
            {
                DirectiveRegistry& r = Directives();
                std::lock_guard guard(r.lock);
                auto it = r.directives.find(name);
                if (it != r.directives.end())
                    directive = it->second;
            }
            if (!directive)
                Error("unknown binary directive @" + name);
            try {
                directive(argument, baseDir_, data);
            } catch (const Exception& e) {
                Error("@" + name + ": " + e.Message());
            }
        } else {
            std::string hex;
            for (char c : body) {
                if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                    continue;
                if (!IsHex(c))
                    Error("invalid binary data");
                hex += c;
            }
            if (hex.size() % 2 != 0)
                Error("odd number of hexadecimal digits in binary data");
            data.SetSize(static_cast<std::int64_t>(hex.size() / 2));
            for (std::size_t i = 0; i < hex.size(); i += 2) {
                unsigned v = 0;
                std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
                data.Memory()[i / 2] = static_cast<std::uint8_t>(v);
            }
        }
        if (data.Size() > 0x7FFFFFFF)
            Error("binary data larger than 2 GB");
        writer_.WriteValue(vaBinary);
        auto count = static_cast<std::uint32_t>(data.Size());
        std::uint8_t b[4] = {static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                             static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)};
        writer_.Stream().WriteBuffer(b, 4);
        if (count > 0)
            writer_.Stream().WriteBuffer(data.Memory(), static_cast<std::int32_t>(count));
        line_ += lines;
        pos_ = close + 1;
        Next();
    }

    static std::string Trim(const std::string& s)
    {
        std::size_t b = s.find_first_not_of(" \t\r\n");
        if (b == std::string::npos)
            return std::string();
        std::size_t e = s.find_last_not_of(" \t\r\n");
        return s.substr(b, e - b + 1);
    }

    std::string src_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int tokLine_ = 1;
    Tok tok_ = Tok::End;
    std::string text_;
    std::uint64_t intValue_ = 0;
    double floatValue_ = 0;
    char floatSuffix_ = 0;
    TWriter writer_;
    std::string baseDir_;
};

// --- binary to text ---

class TextPrinter {
public:
    TextPrinter(TStream& input, TStream& output) : reader_(input), out_(output) {}

    void Convert()
    {
        reader_.ReadSignature();
        ConvertObject(0, 0);
        Flush();
    }

private:
    void Emit(const std::string& s)
    {
        buffer_ += s;
        if (buffer_.size() > 65536)
            Flush();
    }
    void Flush()
    {
        if (!buffer_.empty())
            out_.WriteBuffer(buffer_.data(), static_cast<std::int32_t>(buffer_.size()));
        buffer_.clear();
    }
    void Indent(int n) { Emit(std::string(static_cast<std::size_t>(n), ' ')); }

    void Deeper(int depth)
    {
        if (depth > kMaxFormNesting)
            throw EReadError("nesting deeper than " + std::to_string(kMaxFormNesting) + " levels");
    }

    void ConvertObject(int indent, int depth)
    {
        Deeper(depth);
        TFilerFlags flags;
        std::int32_t childPos = 0;
        reader_.ReadPrefix(flags, childPos);
        std::string className = reader_.ReadStr();
        std::string name = reader_.ReadStr();
        Indent(indent);
        if (flags.Contains(ffInherited))
            Emit("inherited ");
        else if (flags.Contains(ffInline))
            Emit("inline ");
        else
            Emit("object ");
        if (!name.empty())
            Emit(name + ": ");
        Emit(className);
        if (flags.Contains(ffChildPos))
            Emit(" [" + std::to_string(childPos) + "]");
        Emit("\n");
        while (!reader_.EndOfList())
            ConvertProperty(indent + 2, depth + 1);
        reader_.ReadListEnd();
        while (!reader_.EndOfList())
            ConvertObject(indent + 2, depth + 1);
        reader_.ReadListEnd();
        Indent(indent);
        Emit("end\n");
    }

    void ConvertProperty(int indent, int depth)
    {
        std::string name = reader_.ReadStr();
        Indent(indent);
        Emit(name + " = ");
        ConvertValue(indent, depth);
        Emit("\n");
    }

    static std::string Quote(const std::string& s, int indent)
    {
        if (s.empty())
            return "''";
        std::string out;
        bool inQuote = false;
        std::size_t sinceBreak = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            auto c = static_cast<unsigned char>(s[i]);
            if (sinceBreak >= 64 && i + 1 < s.size()) {
                if (inQuote)
                    out += '\'';
                inQuote = false;
                out += " +\n" + std::string(static_cast<std::size_t>(indent + 2), ' ');
                sinceBreak = 0;
            }
            if (c >= 32 && c != 127) {
                if (!inQuote)
                    out += '\'';
                inQuote = true;
                out += static_cast<char>(c);
                if (c == '\'')
                    out += '\'';
            } else {
                if (inQuote)
                    out += '\'';
                inQuote = false;
                out += "#" + std::to_string(c);
            }
            ++sinceBreak;
        }
        if (inQuote)
            out += '\'';
        return out;
    }

    static std::string FloatText(double v)
    {
        if (!std::isfinite(v))
            throw EReadError("float value is not finite");
        char buf[64];
        auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
        std::string s(buf, p);
        if (s.find_first_of(".e") == std::string::npos)
            s += ".0";
        return s;
    }

    void ConvertValue(int indent, int depth)
    {
        Deeper(depth);
        TValueType t = reader_.NextValue();
        switch (t) {
        case vaList:
            reader_.ReadValue();
            Emit("(");
            while (!reader_.EndOfList()) {
                Emit("\n");
                Indent(indent + 2);
                ConvertValue(indent + 2, depth + 1);
            }
            reader_.ReadListEnd();
            Emit(")");
            return;
        case vaInt8:
        case vaInt16:
        case vaInt32:
        case vaInt64: Emit(std::to_string(reader_.ReadInt64())); return;
        case vaExtended: Emit(FloatText(reader_.ReadFloat())); return;
        case vaSingle: Emit(FloatText(reader_.ReadFloat()) + "s"); return;
        case vaCurrency: Emit(FloatText(reader_.ReadFloat()) + "c"); return;
        case vaDate: Emit(FloatText(reader_.ReadFloat()) + "d"); return;
        case vaString:
        case vaLString:
        case vaWString:
        case vaUTF8String: Emit(Quote(reader_.ReadString(), indent)); return;
        case vaIdent:
        case vaFalse:
        case vaTrue:
        case vaNil:
        case vaNull: Emit(reader_.ReadIdent()); return;
        case vaBinary: {
            std::string bytes = reader_.ReadBinaryData();
            static const char kHex[] = "0123456789ABCDEF";
            Emit("{");
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (i % 32 == 0) {
                    Emit("\n");
                    Indent(indent + 2);
                }
                auto c = static_cast<unsigned char>(bytes[i]);
                char pair[2] = {kHex[c >> 4], kHex[c & 15]};
                Emit(std::string(pair, 2));
            }
            Emit("}");
            return;
        }
        case vaSet: {
            reader_.ReadValue();
            Emit("[");
            bool first = true;
            for (;;) {
                std::string member = reader_.ReadStr();
                if (member.empty())
                    break;
                if (!first)
                    Emit(", ");
                first = false;
                Emit(member);
            }
            Emit("]");
            return;
        }
        case vaCollection: {
            reader_.ReadValue();
            Emit("<");
            while (!reader_.EndOfList()) {
                Emit("\n");
                Indent(indent + 2);
                Emit("item");
                TValueType n = reader_.NextValue();
                if (n == vaInt8 || n == vaInt16 || n == vaInt32)
                    Emit(" [" + std::to_string(reader_.ReadInteger()) + "]");
                Emit("\n");
                reader_.ReadListBegin();
                while (!reader_.EndOfList())
                    ConvertProperty(indent + 4, depth + 1);
                reader_.ReadListEnd();
                Indent(indent + 2);
                Emit("end");
            }
            reader_.ReadListEnd();
            Emit(">");
            return;
        }
        default:
            reader_.ReadValue();  // raises for unknown tags
            throw EReadError("Invalid property value");
        }
    }

    TReader reader_;
    TStream& out_;
    std::string buffer_;
};

}  // namespace

void RegisterBinaryDirective(const std::string& name, TBinaryDirective directive)
{
    DirectiveRegistry& r = Directives();
    std::lock_guard guard(r.lock);
    r.directives[Lower(name)] = std::move(directive);
}

void ObjectTextToBinary(TStream& input, TStream& output, const std::string& baseDir)
{
    std::int64_t size = input.Size() - input.Position();
    if (size < 0 || size > 0x7FFFFFFF)
        throw EParserError("text form too large");
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0)
        input.ReadBuffer(text.data(), static_cast<std::int32_t>(size));
    TextParser parser(std::move(text), output, baseDir);
    parser.Convert();
}

void ObjectBinaryToText(TStream& input, TStream& output)
{
    TextPrinter printer(input, output);
    printer.Convert();
}

}  // namespace rtl
