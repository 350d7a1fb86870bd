// INI files over the profile functions, the registry, and INI-style access to registry keys.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Object.h"
#include "platform/win/Handles.h"
#include "platform/rtl/Win32.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace win {

class EIniFileException : public rtl::Exception {
public:
    explicit EIniFileException(std::string message) : Exception(std::move(message)) {}
};

class ERegistryException : public rtl::Exception {
public:
    explicit ERegistryException(std::string message) : Exception(std::move(message)) {}
};

// Sections of keys with text values. Integers, Booleans and floats are stored as text and
// read back with the given default when missing or malformed.
class TCustomIniFile : public rtl::TObject {
public:
    explicit TCustomIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string& FileName() const { return fileName_; }

    virtual std::string ReadString(const std::string& section, const std::string& ident,
                                   const std::string& defaultValue) = 0;
    virtual void WriteString(const std::string& section, const std::string& ident,
                             const std::string& value) = 0;
    // Decimal, or hexadecimal written "$1F" or "0x1F".
    virtual std::int32_t ReadInteger(const std::string& section, const std::string& ident,
                                     std::int32_t defaultValue);
    virtual void WriteInteger(const std::string& section, const std::string& ident, std::int32_t value);
    // "0" is false, any other integer true; text that is no integer gives the default.
    virtual bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue);
    // Written as "1" or "0".
    virtual void WriteBool(const std::string& section, const std::string& ident, bool value);
    virtual double ReadFloat(const std::string& section, const std::string& ident, double defaultValue);
    virtual void WriteFloat(const std::string& section, const std::string& ident, double value);

    bool SectionExists(const std::string& section);
    virtual bool ValueExists(const std::string& section, const std::string& ident);
    // Each fills `strings` after clearing it.
    virtual void ReadSection(const std::string& section, rtl::TStrings& strings) = 0;
    virtual void ReadSections(rtl::TStrings& strings) = 0;
    // "name=value" lines.
    virtual void ReadSectionValues(const std::string& section, rtl::TStrings& strings) = 0;
    virtual void EraseSection(const std::string& section) = 0;
    virtual void DeleteKey(const std::string& section, const std::string& ident) = 0;
    // Writes any cached changes to the file.
    virtual void UpdateFile() = 0;

private:
    std::string fileName_;
};

// The file the profile functions use for `fileName`: a bare name (no folder, no drive) lives in
// the Windows folder, any other name is taken as the system takes a path. No extension is added.
std::string IniFilePath(const std::string& fileName);

// An INI file through GetPrivateProfileString and WritePrivateProfileString, on IniFilePath of its
// name. Write failures raise EIniFileException "Unable to write to <that path>". Values have no
// length limit unless MaxValueLength is set; the profile functions strip one pair of surrounding
// quotes when reading.
class TIniFile : public TCustomIniFile {
public:
    using TCustomIniFile::TCustomIniFile;
    ~TIniFile() override;

    // Reads give at most this many characters of a value and ignore the rest (0: whole values),
    // so a value far longer than its reader can use costs no more than one it can.
    std::size_t MaxValueLength() const { return maxValueLength_; }
    void SetMaxValueLength(std::size_t value) { maxValueLength_ = value; }

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue) override;
    void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
    void ReadSection(const std::string& section, rtl::TStrings& strings) override;
    void ReadSections(rtl::TStrings& strings) override;
    void ReadSectionValues(const std::string& section, rtl::TStrings& strings) override;
    void EraseSection(const std::string& section) override;
    void DeleteKey(const std::string& section, const std::string& ident) override;
    void UpdateFile() override;

private:
    std::size_t maxValueLength_ = 0;
};

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

struct TRegKeyInfo {
    std::uint32_t NumSubKeys = 0;
    std::uint32_t MaxSubKeyLen = 0;
    std::uint32_t NumValues = 0;
    std::uint32_t MaxValueLen = 0;
    std::uint32_t MaxDataLen = 0;
};

// One open key under a root. Key paths starting with "\" are taken from the root, others
// from the open key (or the root when none is open). Reads of values of the wrong type and
// failed writes raise ERegistryException; a missing string value reads as "".
class TRegistry : public rtl::TObject {
public:
    TRegistry();
    explicit TRegistry(REGSAM access);
    ~TRegistry() override;
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return rootKey_; }
    // Closes the open key.
    void SetRootKey(HKEY root);
    REGSAM Access() const { return access_; }
    void SetAccess(REGSAM access) { access_ = access; }
    // nullptr when no key is open. Not owned by the caller.
    HKEY CurrentKey() const { return currentKey_.Get(); }
    const std::string& CurrentPath() const { return currentPath_; }
    // Flushes on close when off (RegFlushKey); on by default.
    bool LazyWrite() const { return lazyWrite_; }
    void SetLazyWrite(bool value) { lazyWrite_ = value; }

    // Opens (and with canCreate creates) a key with Access. False when it cannot.
    bool OpenKey(const std::string& key, bool canCreate);
    // Opens with read access only, never creating.
    bool OpenKeyReadOnly(const std::string& key);
    void CloseKey();
    bool CreateKey(const std::string& key);
    // Deletes the key with all its subkeys.
    bool DeleteKey(const std::string& key);
    bool DeleteValue(const std::string& name);
    bool KeyExists(const std::string& key);
    bool ValueExists(const std::string& name);
    bool HasSubKeys();
    bool GetKeyInfo(TRegKeyInfo& info);
    void GetKeyNames(rtl::TStrings& strings);
    void GetValueNames(rtl::TStrings& strings);
    TRegDataType GetDataType(const std::string& name);
    // Bytes of the value's data, or -1 when it does not exist.
    std::int32_t GetDataSize(const std::string& name);
    void RenameValue(const std::string& oldName, const std::string& newName);

    std::string ReadString(const std::string& name);
    std::int32_t ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name);
    double ReadFloat(const std::string& name);
    // Copies at most `size` bytes; returns how many the value holds. A value larger than the
    // buffer raises ERegistryException.
    std::int32_t ReadBinaryData(const std::string& name, void* buffer, std::int32_t size);
    std::vector<std::uint8_t> ReadBinary(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBool(const std::string& name, bool value);
    void WriteFloat(const std::string& name, double value);
    void WriteBinaryData(const std::string& name, const void* buffer, std::int32_t size);

protected:
    // The key that relative paths start from.
    HKEY BaseKey(const std::string& key) const;
    // Opens `key` and returns it without making it current; nullptr when it cannot.
    HKEY GetKey(const std::string& key);
    void ChangeKey(HKEY key, const std::string& path);

private:
    std::vector<std::uint8_t> GetData(const std::string& name, DWORD& type);
    void PutData(const std::string& name, const void* data, DWORD size, DWORD type);

    HKEY rootKey_ = HKEY_CURRENT_USER;
    OwnedKey currentKey_;
    std::string currentPath_;
    REGSAM access_ = KEY_ALL_ACCESS;
    bool lazyWrite_ = true;
};

// INI-style access to a registry key: sections are subkeys of the key named at creation,
// idents are their values. Integers are written as text and read from text or DWORD values.
// Reading a missing section or value gives the default; no key is created by reading.
class TRegIniFile : public TRegistry {
public:
    // Opens `fileName` under HKEY_CURRENT_USER (creating it only when `access` allows
    // writing). An empty name leaves no key open.
    explicit TRegIniFile(const std::string& fileName, REGSAM access = KEY_ALL_ACCESS);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue);
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    std::int32_t ReadInteger(const std::string& section, const std::string& ident, std::int32_t defaultValue);
    void WriteInteger(const std::string& section, const std::string& ident, std::int32_t value);
    bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue);
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    void ReadSection(const std::string& section, rtl::TStrings& strings);
    void ReadSections(rtl::TStrings& strings);
    void ReadSectionValues(const std::string& section, rtl::TStrings& strings);
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& ident);

    using TRegistry::DeleteKey;
    using TRegistry::ReadBool;
    using TRegistry::ReadInteger;
    using TRegistry::ReadString;
    using TRegistry::WriteBool;
    using TRegistry::WriteInteger;
    using TRegistry::WriteString;

private:
    // Runs `fn` with the section's subkey open (current key when section is empty);
    // false when it cannot be opened.
    template <class F>
    bool WithSection(const std::string& section, bool create, F fn);

    std::string fileName_;
};

}  // namespace win
