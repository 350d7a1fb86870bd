// Proves that the test prefix has a working registry and private profile (INI) files.
#include "platform/win/Win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr wchar_t kTestKey[] = L"Software\\VarneloSmokeTest";

class RegistryKey {
public:
    ~RegistryKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

class Registry : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
};

TEST_F(Registry, StringAndDwordSurviveCloseAndReopen)
{
    const std::wstring text = L"Z:\\Program Files\\Zantic";
    const DWORD number = 143;
    {
        RegistryKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(),
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.Get(), L"Folder", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 DWORD((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.Get(), L"Build", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                 sizeof(number)),
                  ERROR_SUCCESS);
    }
    RegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, key.Out()), ERROR_SUCCESS);

    wchar_t buffer[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    ASSERT_EQ(RegQueryValueExW(key.Get(), L"Folder", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, DWORD((text.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(std::wstring(buffer), text);

    DWORD readBack = 0;
    size = sizeof(readBack);
    ASSERT_EQ(
        RegQueryValueExW(key.Get(), L"Build", nullptr, &type, reinterpret_cast<BYTE*>(&readBack), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(readBack, number);
}

TEST_F(Registry, MissingValueReportsNotFound)
{
    RegistryKey key;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_READ, nullptr, key.Out(), nullptr),
        ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key.Get(), L"Absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

// A fresh folder under the temp path, removed with its files afterwards.
class IniFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        folder_ = std::wstring(temp) + L"va_smoke_ini_" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        path_ = folder_ + L"\\Setup.ini";
        DeleteFileW(path_.c_str());
    }
    void TearDown() override
    {
        DeleteFileW(path_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring ReadValue(const wchar_t* section, const wchar_t* name, const wchar_t* fallback) const
    {
        wchar_t buffer[256] = {};
        GetPrivateProfileStringW(section, name, fallback, buffer, 256, path_.c_str());
        return buffer;
    }

    std::string FileBytes() const
    {
        std::ifstream in(path_.c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::wstring folder_;
    std::wstring path_;
};

TEST_F(IniFile, WrittenValuesReadBackAndReachTheDisk)
{
    ASSERT_TRUE(WritePrivateProfileStringW(L"Placement", L"Folder", L"C:\\Zantic", path_.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"Placement", L"Build", L"143", path_.c_str()));
    // Flushes Wine's profile cache so the file on disk is complete.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path_.c_str());

    EXPECT_EQ(ReadValue(L"Placement", L"Folder", L"none"), L"C:\\Zantic");
    EXPECT_EQ(GetPrivateProfileIntW(L"Placement", L"Build", -1, path_.c_str()), 143u);

    const std::string bytes = FileBytes();
    EXPECT_NE(bytes.find("[Placement]"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Folder=C:\\Zantic"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Build=143"), std::string::npos) << bytes;
}

TEST_F(IniFile, OverwriteReplacesAndDeleteRemoves)
{
    ASSERT_TRUE(WritePrivateProfileStringW(L"S", L"Key", L"first", path_.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"S", L"Key", L"second", path_.c_str()));
    EXPECT_EQ(ReadValue(L"S", L"Key", L""), L"second");

    ASSERT_TRUE(WritePrivateProfileStringW(L"S", L"Key", nullptr, path_.c_str()));
    EXPECT_EQ(ReadValue(L"S", L"Key", L"gone"), L"gone");
}

TEST_F(IniFile, MissingFileGivesTheDefault)
{
    EXPECT_EQ(ReadValue(L"Placement", L"Folder", L"fallback"), L"fallback");
    EXPECT_EQ(GetPrivateProfileIntW(L"Placement", L"Build", 7, path_.c_str()), 7u);
}

}  // namespace
