// INI files over the profile functions, and registry access with an INI-style layer.
#include "platform/win/IniFiles.h"

#include "platform/rtl/Strings.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace win {

// --- TCustomIniFile ---

std::int32_t TCustomIniFile::ReadInteger(const std::string& section, const std::string& ident,
                                         std::int32_t defaultValue)
{
    std::string text = ReadString(section, ident, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = "$" + text.substr(2);
    return rtl::StrToIntDef(text, defaultValue);
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& ident, std::int32_t value)
{
    WriteString(section, ident, rtl::IntToStr(value));
}

bool TCustomIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue)
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(const std::string& section, const std::string& ident, double defaultValue)
{
    const std::string text = ReadString(section, ident, "");
    double value;
    return !text.empty() && rtl::TryStrToFloat(text, value) ? value : defaultValue;
}

void TCustomIniFile::WriteFloat(const std::string& section, const std::string& ident, double value)
{
    WriteString(section, ident, rtl::FloatToStr(value));
}

bool TCustomIniFile::SectionExists(const std::string& section)
{
    rtl::TStringList keys;
    ReadSection(section, keys);
    return keys.Count() > 0;
}

bool TCustomIniFile::ValueExists(const std::string& section, const std::string& ident)
{
    rtl::TStringList keys;
    ReadSection(section, keys);
    return keys.IndexOf(ident) >= 0;
}

// --- TIniFile ---

namespace {

// GetPrivateProfileString into a buffer that grows until the answer fits, or that holds at
// most `maxLength` characters when it is not 0. `listMode` answers (section and key lists) end
// in two NULs and signal truncation with size - 2.
std::string ProfileString(const char* section, const char* key, const char* defaultValue,
                          const std::string& file, bool listMode, std::size_t maxLength = 0)
{
    if (maxLength > 0 && !listMode) {
        std::vector<char> buffer(maxLength + 1);
        const DWORD n = ::GetPrivateProfileStringA(section, key, defaultValue, buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), file.c_str());
        return std::string(buffer.data(), std::min<std::size_t>(n, maxLength));
    }
    std::vector<char> buffer(2048);
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringA(section, key, defaultValue, buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), file.c_str());
        const DWORD full = static_cast<DWORD>(buffer.size()) - (listMode ? 2 : 1);
        if (n < full || buffer.size() >= (1u << 26))
            return std::string(buffer.data(), std::min<std::size_t>(n, buffer.size()));
        buffer.resize(buffer.size() * 4);
    }
}

void SplitNulList(const std::string& list, rtl::TStrings& strings)
{
    strings.BeginUpdate();
    try {
        strings.Clear();
        std::size_t start = 0;
        while (start < list.size()) {
            std::size_t end = list.find('\0', start);
            if (end == std::string::npos)
                end = list.size();
            if (end > start)
                strings.Add(list.substr(start, end - start));
            start = end + 1;
        }
    } catch (...) {
        strings.EndUpdate();
        throw;
    }
    strings.EndUpdate();
}

}  // namespace

std::string IniFilePath(const std::string& fileName)
{
    std::vector<char> buffer(MAX_PATH + 1);
    if (fileName.find_first_of("\\/:") == std::string::npos) {
        const UINT n = ::GetWindowsDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
        std::string folder = n > 0 && n < buffer.size() ? std::string(buffer.data(), n) : std::string();
        if (!folder.empty() && folder.back() != '\\')
            folder += '\\';
        return folder + fileName;
    }
    for (;;) {
        const DWORD n =
            ::GetFullPathNameA(fileName.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (n == 0)
            return fileName;  // no path the system can make of it: the name is all there is
        if (n < buffer.size())
            return std::string(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue)
{
    return ProfileString(section.c_str(), ident.c_str(), defaultValue.c_str(), FileName(), false,
                         maxValueLength_);
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    if (!::WritePrivateProfileStringA(section.c_str(), ident.c_str(), value.c_str(), FileName().c_str()))
        throw EIniFileException("Unable to write to " + IniFilePath(FileName()));
}

void TIniFile::ReadSection(const std::string& section, rtl::TStrings& strings)
{
    SplitNulList(ProfileString(section.c_str(), nullptr, "", FileName(), true), strings);
}

void TIniFile::ReadSections(rtl::TStrings& strings)
{
    SplitNulList(ProfileString(nullptr, nullptr, "", FileName(), true), strings);
}

void TIniFile::ReadSectionValues(const std::string& section, rtl::TStrings& strings)
{
    rtl::TStringList keys;
    ReadSection(section, keys);
    strings.BeginUpdate();
    try {
        strings.Clear();
        for (std::int32_t i = 0; i < keys.Count(); ++i)
            strings.Add(keys[i] + "=" + ReadString(section, keys[i], ""));
    } catch (...) {
        strings.EndUpdate();
        throw;
    }
    strings.EndUpdate();
}

void TIniFile::EraseSection(const std::string& section)
{
    if (!::WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, FileName().c_str()))
        throw EIniFileException("Unable to write to " + IniFilePath(FileName()));
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    ::WritePrivateProfileStringA(section.c_str(), ident.c_str(), nullptr, FileName().c_str());
}

void TIniFile::UpdateFile() { ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, FileName().c_str()); }

// --- TRegistry ---

namespace {

bool IsRelative(const std::string& key) { return key.empty() || key[0] != '\\'; }

std::string StripLeadingBackslash(const std::string& key) { return IsRelative(key) ? key : key.substr(1); }

// Reads a value whatever its size; false when it is missing or cannot be read.
bool QueryValue(HKEY key, const std::string& name, DWORD& type, std::vector<std::uint8_t>& data)
{
    data.resize(64);
    // The size can change between the calls when another process writes the value.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = static_cast<DWORD>(data.size());
        const LONG rc = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (rc == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (rc != ERROR_MORE_DATA)
            return false;
        data.resize(static_cast<std::size_t>(size) + 1);
    }
    return false;
}

void SetValue(HKEY key, const std::string& name, const void* data, DWORD size, DWORD type)
{
    if (!key ||
        ::RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
        throw ERegistryException("Failed to set data for '" + name + "'");
}

// Stored strings usually end in a NUL, but nothing guarantees it.
std::string StringFromData(const std::vector<std::uint8_t>& data)
{
    std::size_t len = 0;
    while (len < data.size() && data[len] != 0)
        ++len;
    return std::string(reinterpret_cast<const char*>(data.data()), len);
}

// Names the registry hands out one index at a time, until the first failure. The length comes
// back from the system, so a name is cut to what the buffer holds.
template <class EnumAt>
std::vector<std::string> EnumNames(std::size_t bufferSize, EnumAt enumAt)
{
    std::vector<std::string> names;
    std::vector<char> buffer(bufferSize);
    for (DWORD i = 0;; ++i) {
        DWORD len = static_cast<DWORD>(buffer.size());
        if (enumAt(i, buffer.data(), &len) != ERROR_SUCCESS)
            break;
        names.emplace_back(buffer.data(), std::min<std::size_t>(len, buffer.size()));
    }
    return names;
}

// Key names are at most 255 characters.
std::vector<std::string> SubkeyNames(HKEY key)
{
    return EnumNames(256, [key](DWORD i, char* name, DWORD* len) {
        return ::RegEnumKeyExA(key, i, name, len, nullptr, nullptr, nullptr, nullptr);
    });
}

void EnumValueNames(HKEY key, rtl::TStrings& strings)
{
    // Value names may be up to 16383 characters.
    const auto names = EnumNames(16384, [key](DWORD i, char* name, DWORD* len) {
        return ::RegEnumValueA(key, i, name, len, nullptr, nullptr, nullptr, nullptr);
    });
    for (const auto& name : names)
        strings.Add(name);
}

}  // namespace

TRegistry::TRegistry() = default;

TRegistry::TRegistry(REGSAM access) : access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY root)
{
    if (root != rootKey_) {
        CloseKey();
        rootKey_ = root;
    }
}

HKEY TRegistry::BaseKey(const std::string& key) const
{
    return !IsRelative(key) || !currentKey_ ? rootKey_ : currentKey_.Get();
}

void TRegistry::ChangeKey(HKEY key, const std::string& path)
{
    CloseKey();
    currentKey_.Reset(key);
    currentPath_ = path;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    const bool relative = IsRelative(key);
    const std::string sub = StripLeadingBackslash(key);
    HKEY base = BaseKey(key);
    HKEY result = nullptr;
    LONG rc;
    if (canCreate && !sub.empty()) {
        DWORD disposition = 0;
        rc = ::RegCreateKeyExA(base, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_, nullptr,
                               &result, &disposition);
    } else {
        rc = ::RegOpenKeyExA(base, sub.empty() ? nullptr : sub.c_str(), 0, access_, &result);
    }
    if (rc != ERROR_SUCCESS)
        return false;
    std::string path = sub;
    if (relative && currentKey_ && !currentPath_.empty())
        path = sub.empty() ? currentPath_ : currentPath_ + "\\" + sub;
    ChangeKey(result, path);
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key)
{
    const REGSAM saved = access_;
    access_ = KEY_READ;
    const bool ok = OpenKey(key, false);
    // Keep read access for what follows on this key, as the caller asked for.
    if (!ok)
        access_ = saved;
    return ok;
}

void TRegistry::CloseKey()
{
    if (currentKey_) {
        if (!lazyWrite_)
            ::RegFlushKey(currentKey_.Get());
        currentKey_.Reset();
        currentPath_.clear();
    }
}

HKEY TRegistry::GetKey(const std::string& key)
{
    const std::string sub = StripLeadingBackslash(key);
    HKEY result = nullptr;
    if (::RegOpenKeyExA(BaseKey(key), sub.empty() ? nullptr : sub.c_str(), 0, access_, &result) !=
        ERROR_SUCCESS)
        return nullptr;
    return result;
}

bool TRegistry::CreateKey(const std::string& key)
{
    const std::string sub = StripLeadingBackslash(key);
    if (sub.empty())
        return false;
    HKEY result = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(BaseKey(key), sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &result, &disposition) != ERROR_SUCCESS)
        throw ERegistryException("Failed to create key " + key);
    ::RegCloseKey(result);
    return true;
}

namespace {

// RegDeleteKey refuses keys with subkeys; remove the tree bottom-up.
bool DeleteTree(HKEY parent, const std::string& name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return false;
    for (const auto& child : SubkeyNames(key))
        DeleteTree(key, child);
    ::RegCloseKey(key);
    return ::RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

}  // namespace

bool TRegistry::DeleteKey(const std::string& key)
{
    const std::string sub = StripLeadingBackslash(key);
    if (sub.empty())
        return false;
    return DeleteTree(BaseKey(key), sub);
}

bool TRegistry::DeleteValue(const std::string& name)
{
    return currentKey_ && ::RegDeleteValueA(currentKey_.Get(), name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::KeyExists(const std::string& key)
{
    const REGSAM saved = access_;
    access_ = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
    HKEY k = GetKey(key);
    access_ = saved;
    if (!k)
        return false;
    ::RegCloseKey(k);
    return true;
}

bool TRegistry::ValueExists(const std::string& name)
{
    return currentKey_ && ::RegQueryValueExA(currentKey_.Get(), name.c_str(), nullptr, nullptr, nullptr,
                                             nullptr) == ERROR_SUCCESS;
}

bool TRegistry::GetKeyInfo(TRegKeyInfo& info)
{
    info = {};
    if (!currentKey_)
        return false;
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueLen = 0, maxDataLen = 0;
    if (::RegQueryInfoKeyA(currentKey_.Get(), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLen, nullptr,
                           &values, &maxValueLen, &maxDataLen, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    info = {subKeys, maxSubKeyLen, values, maxValueLen, maxDataLen};
    return true;
}

bool TRegistry::HasSubKeys()
{
    TRegKeyInfo info;
    return GetKeyInfo(info) && info.NumSubKeys > 0;
}

void TRegistry::GetKeyNames(rtl::TStrings& strings)
{
    strings.Clear();
    if (!currentKey_)
        return;
    for (const auto& name : SubkeyNames(currentKey_.Get()))
        strings.Add(name);
}

void TRegistry::GetValueNames(rtl::TStrings& strings)
{
    strings.Clear();
    if (currentKey_)
        EnumValueNames(currentKey_.Get(), strings);
}

TRegDataType TRegistry::GetDataType(const std::string& name)
{
    DWORD type = 0;
    if (!currentKey_ || ::RegQueryValueExA(currentKey_.Get(), name.c_str(), nullptr, &type, nullptr,
                                           nullptr) != ERROR_SUCCESS)
        return rdUnknown;
    switch (type) {
    case REG_SZ: return rdString;
    case REG_EXPAND_SZ: return rdExpandString;
    case REG_DWORD: return rdInteger;
    case REG_BINARY: return rdBinary;
    default: return rdUnknown;
    }
}

std::int32_t TRegistry::GetDataSize(const std::string& name)
{
    DWORD size = 0;
    if (!currentKey_ || ::RegQueryValueExA(currentKey_.Get(), name.c_str(), nullptr, nullptr, nullptr,
                                           &size) != ERROR_SUCCESS)
        return -1;
    return static_cast<std::int32_t>(size);
}

std::vector<std::uint8_t> TRegistry::GetData(const std::string& name, DWORD& type)
{
    std::vector<std::uint8_t> data;
    if (!currentKey_ || !QueryValue(currentKey_.Get(), name, type, data))
        throw ERegistryException("Failed to get data for '" + name + "'");
    return data;
}

void TRegistry::PutData(const std::string& name, const void* data, DWORD size, DWORD type)
{
    SetValue(currentKey_.Get(), name, data, size, type);
}

std::string TRegistry::ReadString(const std::string& name)
{
    if (GetDataSize(name) < 0)
        return std::string();
    DWORD type = 0;
    auto data = GetData(name, type);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + name + "'");
    return StringFromData(data);
}

std::int32_t TRegistry::ReadInteger(const std::string& name)
{
    DWORD type = 0;
    auto data = GetData(name, type);
    if (type != REG_DWORD || data.size() != 4)
        throw ERegistryException("Invalid data type for '" + name + "'");
    std::int32_t v;
    std::memcpy(&v, data.data(), 4);
    return v;
}

bool TRegistry::ReadBool(const std::string& name) { return ReadInteger(name) != 0; }

double TRegistry::ReadFloat(const std::string& name)
{
    DWORD type = 0;
    auto data = GetData(name, type);
    if (type != REG_BINARY || data.size() != sizeof(double))
        throw ERegistryException("Invalid data type for '" + name + "'");
    double v;
    std::memcpy(&v, data.data(), sizeof v);
    return v;
}

std::int32_t TRegistry::ReadBinaryData(const std::string& name, void* buffer, std::int32_t size)
{
    DWORD type = 0;
    auto data = GetData(name, type);
    if (type != REG_BINARY)
        throw ERegistryException("Invalid data type for '" + name + "'");
    if (size < 0 || data.size() > static_cast<std::size_t>(size))
        throw ERegistryException("Failed to get data for '" + name + "'");
    if (!data.empty())
        std::memcpy(buffer, data.data(), data.size());
    return static_cast<std::int32_t>(data.size());
}

std::vector<std::uint8_t> TRegistry::ReadBinary(const std::string& name)
{
    DWORD type = 0;
    auto data = GetData(name, type);
    if (type != REG_BINARY)
        throw ERegistryException("Invalid data type for '" + name + "'");
    return data;
}

void TRegistry::WriteString(const std::string& name, const std::string& value)
{
    PutData(name, value.c_str(), static_cast<DWORD>(value.size() + 1), REG_SZ);
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value)
{
    PutData(name, value.c_str(), static_cast<DWORD>(value.size() + 1), REG_EXPAND_SZ);
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value)
{
    PutData(name, &value, sizeof value, REG_DWORD);
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::WriteFloat(const std::string& name, double value)
{
    PutData(name, &value, sizeof value, REG_BINARY);
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, std::int32_t size)
{
    if (size < 0)
        throw ERegistryException("Failed to set data for '" + name + "'");
    PutData(name, buffer, static_cast<DWORD>(size), REG_BINARY);
}

void TRegistry::RenameValue(const std::string& oldName, const std::string& newName)
{
    if (!ValueExists(oldName) || ValueExists(newName))
        return;
    DWORD type = 0;
    auto data = GetData(oldName, type);
    PutData(newName, data.data(), static_cast<DWORD>(data.size()), type);
    DeleteValue(oldName);
}

// --- TRegIniFile ---

TRegIniFile::TRegIniFile(const std::string& fileName, REGSAM access) : TRegistry(access), fileName_(fileName)
{
    if (!fileName.empty())
        OpenKey(fileName, (access & KEY_SET_VALUE) != 0 || (access & KEY_CREATE_SUB_KEY) != 0);
}

template <class F>
bool TRegIniFile::WithSection(const std::string& section, bool create, F fn)
{
    if (!CurrentKey())
        return false;
    if (section.empty()) {
        fn(CurrentKey());
        return true;
    }
    HKEY key = nullptr;
    LONG rc;
    if (create) {
        DWORD disposition = 0;
        rc = ::RegCreateKeyExA(CurrentKey(), section.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access(),
                               nullptr, &key, &disposition);
    } else {
        rc = ::RegOpenKeyExA(CurrentKey(), section.c_str(), 0, Access() & (KEY_READ | KEY_WRITE), &key);
    }
    if (rc != ERROR_SUCCESS)
        return false;
    OwnedKey owned(key);
    fn(key);
    return true;
}

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& defaultValue)
{
    std::string result = defaultValue;
    WithSection(section, false, [&](HKEY key) {
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        if (QueryValue(key, ident, type, data) && (type == REG_SZ || type == REG_EXPAND_SZ))
            result = StringFromData(data);
    });
    return result;
}

void TRegIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    if (!WithSection(section, true, [&](HKEY key) {
            SetValue(key, ident, value.c_str(), static_cast<DWORD>(value.size() + 1), REG_SZ);
        }))
        throw ERegistryException("Failed to create key " + section);
}

std::int32_t TRegIniFile::ReadInteger(const std::string& section, const std::string& ident,
                                      std::int32_t defaultValue)
{
    std::int32_t result = defaultValue;
    WithSection(section, false, [&](HKEY key) {
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        if (!QueryValue(key, ident, type, data))
            return;
        if (type == REG_DWORD && data.size() == 4)
            std::memcpy(&result, data.data(), 4);
        else if (type == REG_SZ || type == REG_EXPAND_SZ)
            result = rtl::StrToIntDef(StringFromData(data), defaultValue);
    });
    return result;
}

void TRegIniFile::WriteInteger(const std::string& section, const std::string& ident, std::int32_t value)
{
    WriteString(section, ident, rtl::IntToStr(value));
}

bool TRegIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue)
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TRegIniFile::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteInteger(section, ident, value ? 1 : 0);
}

void TRegIniFile::ReadSection(const std::string& section, rtl::TStrings& strings)
{
    strings.Clear();
    WithSection(section, false, [&](HKEY key) { EnumValueNames(key, strings); });
}

void TRegIniFile::ReadSections(rtl::TStrings& strings) { GetKeyNames(strings); }

void TRegIniFile::ReadSectionValues(const std::string& section, rtl::TStrings& strings)
{
    rtl::TStringList names;
    ReadSection(section, names);
    strings.Clear();
    for (std::int32_t i = 0; i < names.Count(); ++i)
        strings.Add(names[i] + "=" + ReadString(section, names[i], ""));
}

void TRegIniFile::EraseSection(const std::string& section)
{
    if (CurrentKey() && !section.empty())
        DeleteTree(CurrentKey(), section);
}

void TRegIniFile::DeleteKey(const std::string& section, const std::string& ident)
{
    WithSection(section, false, [&](HKEY key) { ::RegDeleteValueA(key, ident.c_str()); });
}

}  // namespace win
